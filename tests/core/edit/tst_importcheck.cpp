// The check of workbook rows before an import: rule, health and width findings by row number,
// and persons the register already holds found by identity number or by sound and birth date.
#include <QTemporaryDir>
#include <QTest>
#include <set>

#include "core/edit/importcheck.h"
#include "core/register/person.h"
#include "core/register/store.h"
#include "core/register/text.h"
#include "samplegen.h"

using namespace reg;
using exchange::ImportFinding;
using Kind = ImportFinding::Kind;

class TestImportCheck : public QObject {
    Q_OBJECT

  private slots:
    void cutKeepsWholeCharacters() {
        const std::string two = gb("张晓明");  // 6 bytes
        QCOMPARE(exchange::cutToWidth(two, 5), two.substr(0, 4));
        QCOMPARE(exchange::cutToWidth(two, 6), two);
        QCOMPARE(exchange::cutToWidth("abc", 2), std::string("ab"));
        const std::string four = gb("a𠮷");  // 1 + 4 bytes
        QCOMPARE(exchange::cutToWidth(four, 4), std::string("a"));
    }

    void rowsAreCheckedAgainstTheRegister() {
        QTemporaryDir dir;
        std::vector<sample::Person> people = sample::generate(80, 7);
        people[0][F姓名 - 1] = gb("张晓明");
        const QString path = dir.filePath("r.wav");
        QVERIFY(sample::writeRegister(path, {people.begin(), people.begin() + 50}));
        // A head of a household the register does not hold yet: a clean row.
        size_t fresh = 50;
        while (people[fresh][F与户主关系 - 1] != "1") ++fresh;

        auto with = [](std::vector<std::string> v, Field f, const QString& value) {
            v[size_t(f - 1)] = toGb(value);
            return v;
        };
        auto other = [&](std::vector<std::string> v) {  // another person's serial and number
            v[F序号 - 1] = "9999";
            v[F公民身份号码 - 1].clear();
            return v;
        };
        struct Case {
            const char* what;
            std::vector<std::string> row;
            std::set<Kind> kinds;
        };
        const std::vector<Case> cases = {
            {"clean", people[fresh], {}},
            {"again", people[3], {Kind::Rule, Kind::SameIdentity}},
            {"homophone, same birth",
             with(other(people[0]), F姓名, QStringLiteral("张小明")),
             {Kind::Rule, Kind::SameNameBirth}},
            {"homophone, other birth",
             with(with(other(people[0]), F姓名, QStringLiteral("张小明")), F出生日期,
                  QStringLiteral("19000101")),
             {Kind::Rule}},
            {"no name", with(people[fresh], F姓名, {}), {Kind::Rule}},
            {"bad birth",
             with(people[fresh], F出生日期, QStringLiteral("19801332")),
             {Kind::Rule, Kind::Health}},
            {"long remark", with(people[fresh], F备注, QString(30, QChar(u'长'))), {Kind::TooLong}},
        };
        for (const Case& c : cases) {
            // Each case alone behind two clean rows: its findings name workbook row 4.
            std::vector<std::vector<std::string>> rows = {people[fresh + 0], c.row};
            rows[0][F序号 - 1] = "8888";
            rows[0][F公民身份号码 - 1].clear();
            rows[0][F房屋详址 - 1] = gb("别处1号");
            rows[0][F户主姓名 - 1] = rows[0][F姓名 - 1];
            rows.insert(rows.begin(), rows[0]);
            rows[1][F序号 - 1] = "8889";
            rows[1][F房屋详址 - 1] = gb("别处2号");
            RecordStore store;
            QVERIFY(store.OpenTable(path));
            const auto check = exchange::checkRows(rows, fieldNames(), store, "20240630");
            QVERIFY(store.CloseAllTables());
            std::set<Kind> kinds;
            for (const ImportFinding& f : check.findings) {
                QVERIFY2(f.row == 4, c.what);
                kinds.insert(f.kind);
            }
            QVERIFY2(kinds == c.kinds, c.what);
            const bool known = c.kinds.count(Kind::SameIdentity) > 0;
            QCOMPARE(check.known.size(), size_t(known ? 1 : 0));
            if (known) {
                QCOMPARE(check.known[0].row, size_t(2));
                QCOMPARE(check.known[0].before, people[3]);
            }
        }
        // Rows read past blank ones keep their own numbers in the findings.
        RecordStore store;
        QVERIFY(store.OpenTable(path));
        const auto check = exchange::checkRows({people[fresh], with(people[fresh], F姓名, {})},
                                               fieldNames(), store, "20240630", {5, 9});
        QVERIFY(store.CloseAllTables());
        QVERIFY(!check.findings.empty());
        for (const ImportFinding& f : check.findings) QCOMPARE(f.row, 9L);
    }
};

QTEST_GUILESS_MAIN(TestImportCheck)
#include "tst_importcheck.moc"

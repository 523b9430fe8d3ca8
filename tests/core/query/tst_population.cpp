// The population at a date and the three papers, on a generated village whose ten years of
// changes are known, and on small registers whose odd histories must still add up.
#include <QTemporaryDir>
#include <QTest>
#include <map>

#include "core/query/population.h"
#include "core/register/history.h"
#include "core/register/person.h"
#include "core/register/safetycopy.h"
#include "core/register/text.h"
#include "core/register/workfiles.h"
#include "samplehistory.h"

using namespace reg;
using query::Report;
using query::ReportRow;

namespace {

const QDate kFirst(2016, 1, 1);

// Row label to its four counts (男, 女, 性别不详, 合计).
std::map<QString, std::array<long, 4>> countsOf(const Report& r) {
    std::map<QString, std::array<long, 4>> out;
    for (const ReportRow& row : r.rows) {
        std::array<long, 4> c{};
        for (size_t i = 0; i < 4; ++i) c[i] = row.cells[i + 1].toLong();
        out[row.cells[0]] = c;
    }
    return out;
}

// 期初 + every 增加 − every 减少 = 期末, in each column; the sums rows agree.
void verifyBalance(const Report& r) {
    const auto c = countsOf(r);
    for (size_t col = 0; col < 4; ++col) {
        long more = 0, less = 0;
        for (const auto& [label, n] : c) {
            if (label.startsWith(QStringLiteral("增加："))) more += n[col];
            if (label.startsWith(QStringLiteral("减少："))) less += n[col];
        }
        QCOMPARE(c.at(QStringLiteral("增加合计"))[col], more);
        QCOMPARE(c.at(QStringLiteral("减少合计"))[col], less);
        QCOMPARE(c.at(QStringLiteral("期初人数"))[col] + more - less,
                 c.at(QStringLiteral("期末人数"))[col]);
    }
}

QString kindName(int kind) {
    return fromGb(codeTableOf(F户籍变动类型)->names[size_t(kind - 1)]);
}

}  // namespace

class TestPopulation : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    QString folder;
    QString registerPath;
    sample::Village village;

    // The day of the first entry: the history knows the register from the end of the day before.
    QDate historyStart() const {
        return QDate::fromString(village.entries.front().time.left(10), Qt::ISODate);
    }

    long residentsAt(QDate day) {
        const auto s =
            query::computeStatisticsAt(folder, registerPath, day, query::yearPeriod(2020));
        return s ? s->persons : -1;
    }

  private slots:
    void initTestCase() {
        folder = dir.filePath(QStringLiteral("village"));
        QVERIFY(QDir().mkpath(folder));
        registerPath = pathIn(folder, names::kRegister);
        village = sample::liveVillage(800, kFirst, QDate::currentDate(), 11);
        QVERIFY(sample::writeVillage(folder, village));
        QVERIFY(village.changes.size() > 300);
    }

    // Residents counted from the known changes: at the history's start, plus every move in
    // and birth, minus every move out and death up to the day.
    void residentsAtFiveDates_data() {
        QTest::addColumn<QDate>("day");
        QTest::addColumn<bool>("exact");
        QTest::newRow("before the history") << kFirst.addYears(-1).addDays(-1) << false;
        QTest::newRow("the history's start") << historyStart() << true;
        QTest::newRow("between changes") << QDate(2021, 6, 15) << true;
        QTest::newRow("today") << QDate::currentDate() << true;
        QTest::newRow("the future") << QDate::currentDate().addYears(1) << true;
    }
    void residentsAtFiveDates() {
        QFETCH(QDate, day);
        QFETCH(bool, exact);
        long expected = 0;
        for (const auto& p : village.start)
            expected += query::presenceAt(p, kFirst.addDays(-1)) == query::Presence::Resident;
        if (day < kFirst) expected += village.diedBefore - village.bornBefore;
        for (const auto& c : village.changes) {
            if (c.day > day) continue;
            expected += (c.kind >= 2 && c.kind <= 6) || c.kind == 12;
            expected -= (c.kind >= 7 && c.kind <= 11) || c.kind == 13;
        }
        QCOMPARE(residentsAt(day), expected);
        const auto at = query::registerAt(folder, registerPath, day);
        QVERIFY(at);
        QCOMPARE(at->exact, exact);
        QCOMPARE(at->historyStart, historyStart());
        QCOMPARE(query::historyNote(*at, day).isEmpty(), exact);
    }

    // The history tells of the folder's register only: another file beside it has none.
    void otherFileHasNoHistory() {
        const QString other = dir.filePath(QStringLiteral("village/other.wav"));
        QVERIFY(QFile::copy(registerPath, other));
        const auto at = query::registerAt(folder, other, QDate(2019, 1, 1));
        QVERIFY(at);
        QVERIFY(!at->exact);
        QVERIFY(!at->historyStart.isValid());
        QCOMPARE(at->records.size(), village.today.size());
    }

    // Each year's report balances and holds exactly the generated changes, by kind and sex.
    void changeReportMatchesTheHistory() {
        for (int year = kFirst.year() - 1; year < QDate::currentDate().year(); ++year) {
            const auto r = query::changeReport(folder, registerPath, query::yearPeriod(year));
            QVERIFY(r);
            verifyBalance(*r);
            std::map<QString, std::array<long, 4>> expected;
            for (const auto& c : village.changes) {
                if (c.day.year() != year || c.kind == 1) continue;
                const QString label =
                    c.kind == 12   ? QStringLiteral("增加：出生")
                    : c.kind == 13 ? QStringLiteral("减少：死亡")
                    : c.kind <= 6  ? QStringLiteral("增加：迁入（%1）").arg(kindName(c.kind))
                                  : QStringLiteral("减少：迁出（%1）").arg(kindName(c.kind));
                ++expected[label][size_t(c.sex)];
                ++expected[label][3];
            }
            if (year < kFirst.year()) {
                expected[QStringLiteral("增加：出生")][3] = village.bornBefore;
                expected[QStringLiteral("减少：死亡")][3] = village.diedBefore;
            }
            const auto got = countsOf(*r);
            // Sixteen fixed rows: no difference rows where the history explains everything.
            QCOMPARE(r->rows.size(), size_t(16));
            for (const auto& [label, n] : got) {
                if (label.startsWith(QStringLiteral("增加：")) ||
                    label.startsWith(QStringLiteral("减少："))) {
                    QCOMPARE(n[3], expected[label][3]);
                    if (year >= kFirst.year()) QCOMPARE(n, expected[label]);
                }
            }
            // The start of a period the history does not reach is said in a note.
            const bool reached = QDate(year, 1, 1) >= historyStart();
            QCOMPARE(r->notes.size(), size_t(reached ? 1 : 2));
        }
    }

    // The book lists each change once, in date order; a later edit of the same person that
    // leaves the change as it was adds no line.
    void changeBookListsEachChangeOnce() {
        const int year = 2020;
        const auto book = query::changeBook(folder, registerPath, query::yearPeriod(year));
        QVERIFY(book);
        long expected = 0;
        for (const auto& c : village.changes) expected += c.day.year() == year;
        QCOMPARE(long(book->rows.size()), expected);
        QCOMPARE(book->columns.size(), size_t(9));
        QDate previous;
        for (const ReportRow& row : book->rows) {
            const QDate day = QDate::fromString(row.cells[0], QStringLiteral("yyyy年M月d日"));
            QVERIFY(day.isValid() && day.year() == year);
            QVERIFY(!previous.isValid() || previous <= day);
            previous = day;
        }
    }

    // A change put right later (its date, or its kind) is one change; two events of one person
    // in a period are two.
    void changeBookCountsACorrectionOnce_data() {
        QTest::addColumn<QString>("second");  // kind and date of the second edit
        QTest::addColumn<int>("lines");
        QTest::newRow("date corrected") << "13 20200305" << 1;
        QTest::newRow("kind corrected") << "9 20200301" << 1;
        QTest::newRow("then moved away") << "9 20200901" << 2;
    }
    void changeBookCountsACorrectionOnce() {
        QFETCH(QString, second);
        QFETCH(int, lines);
        QTemporaryDir d;
        const QString path = pathIn(d.path(), names::kRegister);
        sample::Person p(kFieldCount);
        p[F与户主关系 - 1] = "1";
        p[F姓名 - 1] = gb("周五");
        p[F出生日期 - 1] = "19500101";
        sample::Person died = p, later = p;
        died[F户籍变动类型 - 1] = "13";
        died[F户籍变动日期 - 1] = "20200301";
        later[F户籍变动类型 - 1] = second.section(' ', 0, 0).toStdString();
        later[F户籍变动日期 - 1] = second.section(' ', 1, 1).toStdString();
        std::vector<history::Entry> entries(2);
        const sample::Person* values[][2] = {{&p, &died}, {&died, &later}};
        for (size_t n = 0; n < 2; ++n) {
            entries[n].action = history::Action::Modify;
            entries[n].time =
                n ? QStringLiteral("2020-09-02 09:00:00") : QStringLiteral("2020-03-02 09:00:00");
            entries[n].before = *values[n][0];
            entries[n].after = *values[n][1];
        }
        QVERIFY(sample::writeRegister(path, {later}));
        std::vector<history::Pending> begun = history::begin(d.path(), entries, path);
        QVERIFY(history::Pending::finishAll(begun, true));
        const auto book = query::changeBook(d.path(), path, query::yearPeriod(2020));
        QVERIFY(book);
        QCOMPARE(int(book->rows.size()), lines);
    }

    // With the import's safety copy gone the history cannot be followed past the import: the
    // counts before it rest on the change fields and say so, and still add up.
    void missingCopyStopsTheRebuild() {
        QTemporaryDir other;
        sample::Village v = sample::liveVillage(300, kFirst, QDate(2020, 12, 31), 5);
        QVERIFY(sample::writeVillage(other.path(), v));
        QVERIFY(QFile::remove(safety::pathOf(other.path(), v.importCopy)));
        const QString path = pathIn(other.path(), names::kRegister);
        const auto at = query::registerAt(other.path(), path, QDate(2017, 1, 1));
        QVERIFY(at);
        QVERIFY(!at->exact);
        QCOMPARE(at->historyStart, v.importDay);
        QVERIFY(query::historyNote(*at, QDate(2017, 1, 1)).contains(query::dateText(v.importDay)));
        const auto r = query::changeReport(other.path(), path, query::yearPeriod(2017));
        QVERIFY(r);
        verifyBalance(*r);
        QVERIFY(!r->notes.back().isEmpty());
    }

    // Changes the register shows without a change of the period are rows that say so.
    void differencesAreRowsOfTheirOwn_data() {
        QTest::addColumn<QString>("what");
        QTest::addColumn<QString>("row");
        QTest::newRow("added without change") << "add"
                                              << "增加：新增或改动的记录，无期内出生或迁入";
        QTest::newRow("deleted without death") << "delete"
                                               << "减少：删除的记录，无期内死亡或迁出";
        QTest::newRow("birth of last year") << "late"
                                            << "增加：期前出生或迁入，期内登记";
        QTest::newRow("death without date") << "undated"
                                            << "减少：死亡或迁出未填或填错变动日期";
        QTest::newRow("sex corrected") << "sex"
                                       << "增加：更正性别后计入";
    }
    void differencesAreRowsOfTheirOwn() {
        QFETCH(QString, what);
        QFETCH(QString, row);
        QTemporaryDir d;
        const QString path = pathIn(d.path(), names::kRegister);
        sample::Person a(kFieldCount), b(kFieldCount);
        for (auto* p : {&a, &b}) {
            (*p)[F房屋详址 - 1] = gb("东街1号");
            (*p)[F与户主关系 - 1] = "1";
            (*p)[F性别 - 1] = "1";
            (*p)[F出生日期 - 1] = "19700101";
        }
        b[F序号 - 1] = "2";
        history::Entry e;
        e.time = QStringLiteral("2024-05-01 09:00:00");
        std::vector<sample::Person> today{a};
        if (what == "add") {
            e.action = history::Action::Add;
            e.after = b;
            today.push_back(b);
        } else if (what == "delete") {
            e.action = history::Action::Delete;
            e.before = b;
        } else {
            e.action = history::Action::Modify;
            e.before = b;
            e.after = b;
            if (what == "late") {
                e.before.clear();
                e.action = history::Action::Add;
                e.after[F出生日期 - 1] = e.after[F户籍变动日期 - 1] = "20231230";
                e.after[F户籍变动类型 - 1] = "12";
            } else if (what == "undated") {
                e.after[F户籍变动类型 - 1] = "13";
            } else {
                e.after[F性别 - 1] = "2";
            }
            today.push_back(e.after);
        }
        QVERIFY(sample::writeRegister(path, today));
        std::vector<history::Pending> begun =
            history::begin(d.path(), std::vector<history::Entry>{e}, path);
        QVERIFY(history::Pending::finishAll(begun, true));
        const auto r = query::changeReport(d.path(), path, query::yearPeriod(2024));
        QVERIFY(r);
        verifyBalance(*r);
        QCOMPARE(countsOf(*r)[row][3], 1L);
    }

    // Households in the order of their first 序号, the head first, then by relation, then by
    // 序号; codes as names; the middle of identity numbers hidden on request.
    void rosterGroupsHouseholds() {
        QTemporaryDir d;
        const QString path = d.filePath(QStringLiteral("r.wav"));
        struct P {
            const char* serial;
            const char* address;
            const char* relation;
            const char* name;
            const char* change;
        };
        const P people[] = {
            {"5", "乙村2号", "3", "钱小", ""},   {"1", "甲村1号", "3", "赵二", ""},
            {"2", "甲村1号", "1", "赵大", ""},   {"3", "甲村1号", "2", "孙氏", ""},
            {"4", "乙村2号", "1", "钱老", "13"}, {"6", "甲村1号", "3", "赵一", ""},
        };
        std::vector<sample::Person> rows;
        for (const P& p : people) {
            sample::Person v(kFieldCount);
            v[F序号 - 1] = p.serial;
            v[F房屋详址 - 1] = gb(p.address);
            v[F与户主关系 - 1] = p.relation;
            v[F姓名 - 1] = gb(p.name);
            v[F户主姓名 - 1] = gb(std::string_view(p.address).starts_with("甲") ? "赵大" : "钱老");
            v[F性别 - 1] = "2";
            v[F出生日期 - 1] = "19900102";
            v[F公民身份号码 - 1] = "110101199001021234";
            v[F户籍变动类型 - 1] = p.change;
            rows.push_back(v);
        }
        QVERIFY(sample::writeRegister(path, rows));
        query::RosterChoice choice;
        choice.maskIdentity = true;
        auto r = query::roster(path, choice);
        QVERIFY(r);
        QStringList seen;
        for (const ReportRow& row : r->rows)
            seen << (row.kind == ReportRow::Kind::Group ? row.cells[0] : row.cells[1]);
        QCOMPARE(seen, QStringList({"户主：赵大  地址：甲村1号", "赵大", "孙氏", "赵二", "赵一",
                                    "户主：钱老  地址：乙村2号", "钱老", "钱小"}));
        QCOMPARE(r->rows[1].cells[2], QStringLiteral("本人"));
        QCOMPARE(r->rows[1].cells[3], QStringLiteral("女"));
        QCOMPARE(r->rows[1].cells[4], QStringLiteral("1990年1月2日"));
        QCOMPARE(r->rows[1].cells[5], QStringLiteral("110101********1234"));

        choice.persons = query::RosterChoice::Persons::Registered;  // 钱老 has died
        r = query::roster(path, choice);
        QCOMPARE(r->rows.size(), size_t(7));
        QCOMPARE(r->rows[5].cells[0], QStringLiteral("户主：钱老  地址：乙村2号"));

        choice.persons = query::RosterChoice::Persons::AddressPrefix;
        choice.addressPrefix = gb("乙村");
        QList<int> progress;
        r = query::roster(path, choice, [&](int p) { progress << p; });
        QCOMPARE(r->rows.size(), size_t(3));
        QCOMPARE(progress.back(), 100);
    }

    void maskIdentity_data() {
        QTest::addColumn<QString>("number");
        QTest::addColumn<QString>("masked");
        QTest::newRow("18") << "11010119900102123X"
                            << "110101********123X";
        QTest::newRow("15") << "110101900102123"
                            << "110101*****2123";
        QTest::newRow("short") << "1234567890"
                               << "**********";
        QTest::newRow("empty") << ""
                               << "";
    }
    void maskIdentity() {
        QFETCH(QString, number);
        QFETCH(QString, masked);
        QCOMPARE(fromGb(query::maskIdentity(toGb(number))), masked);
    }
};

QTEST_GUILESS_MAIN(TestPopulation)
#include "tst_population.moc"

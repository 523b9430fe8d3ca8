// Statistics of hand-made registers whose answers are known, and of a generated one whose tables
// must add up.
#include <QTemporaryDir>
#include <QTest>

#include "core/query/statistics.h"
#include "core/register/person.h"
#include "core/register/programfolder.h"
#include "core/register/text.h"
#include "samplegen.h"

using namespace reg;
using query::Period;
using query::Statistics;

namespace {

struct P {
    const char* address;
    const char* relation;
    const char* sex;
    const char* birth;
    const char* nation;
    const char* change;
    const char* changeDate;
};

const QDate kReference(2024, 6, 30);

long tallyOf(const query::Tally& t, const char* utf8Label) {
    for (size_t i = 0; i < t.labels.size(); ++i)
        if (t.labels[i] == gb(utf8Label)) return t.counts[i];
    return -1;
}

// Every table of `s` counts each person once.
void verifySums(const Statistics& s) {
    long ages = 0;
    for (const auto& band : s.sexByAge)
        for (long n : band) ages += n;
    QCOMPARE(ages, s.persons);
    for (const auto& t : s.coded) QCOMPARE(t.total(), s.persons);
    QCOMPARE(s.changes.total(), s.changeDates[0]);
    // The changes count every person record, also those taken off or not yet here.
    QCOMPARE(s.changeDates[0] + s.changeDates[1] + s.changeDates[2] + s.changeDates[3],
             s.persons + s.deregistered + s.notYetHere);
    QCOMPARE(s.sexByAge[query::kAgeBands][0] + s.sexByAge[query::kAgeBands][1] +
                 s.sexByAge[query::kAgeBands][2] + s.sexByAge[query::kAgeBands][3],
             s.badBirthDates);
}

}  // namespace

class TestStatistics : public QObject {
    Q_OBJECT

    QTemporaryDir dir;

    Statistics count(const std::vector<P>& people, const Period& period) {
        std::vector<sample::Person> rows;
        int serial = 0;
        for (const P& p : people) {
            sample::Person v(kFieldCount);
            v[F序号 - 1] = std::to_string(++serial);
            v[F房屋详址 - 1] = gb(p.address);
            v[F与户主关系 - 1] = p.relation;
            v[F性别 - 1] = p.sex;
            v[F出生日期 - 1] = p.birth;
            v[F民族 - 1] = p.nation;
            v[F户籍变动类型 - 1] = p.change;
            v[F户籍变动日期 - 1] = p.changeDate;
            rows.push_back(v);
        }
        const QString path = dir.filePath(QStringLiteral("r.wav"));
        [&] { QVERIFY(sample::writeRegister(path, rows)); }();
        const auto s = query::computeStatistics(path, kReference, period);
        [&] { QVERIFY(s.has_value()); }();
        return s.value_or(Statistics{});
    }

  private slots:
    void handMade() {
        const Statistics s = count(
            {
                {"甲村1号", "1", "1", "19800101", "1", "12", "20240101"},   // 44, in the period
                {"甲村1号", "2", "2", "19820630", "1", "5", "20240331"},    // 42 on the day
                {"甲村1号", "3", "2", "20240630", "2", "12", "20240401"},   // born that day: 0
                {"甲村1号", "0", "1", "19500101", "1", "", ""},             // no person
                {"乙村2号", "3", "1", "20250101", "14", "13", "20231231"},  // future birth
                {"乙村2号", "1", "3", "19230630", "-1", "99", "20240215"},  // 101, odd codes
                {"丙村3号", "1", "", "19800230", "", "1", "2024013"},       // no real day
                {"丙村3号", "1", "2", "", "0", "", "abc"},
            },
            query::quarterPeriod(2024, 1));
        QCOMPARE(s.records, 8L);
        QCOMPARE(s.persons, 6L);
        QCOMPARE(s.notYetHere, 1L);  // born after the reference: not yet born, no bad date
        QCOMPARE(s.deregistered, 0L);
        QCOMPARE(s.heads, 4L);
        QCOMPARE(s.households, 3L);
        QCOMPARE(s.headless, 0L);
        QCOMPARE(s.severalHeads, 1L);
        QCOMPARE(s.badBirthDates, 2L);
        QCOMPARE(s.sexByAge[8][query::kMale], 1L);  // 40-44
        QCOMPARE(s.sexByAge[8][query::kFemale], 1L);
        QCOMPARE(s.sexByAge[0][query::kFemale], 1L);
        QCOMPARE(s.sexByAge[20][query::kSexOther], 1L);  // 100 and over, sex "3"
        QCOMPARE(s.sexByAge[query::kAgeBands][query::kMale], 0L);
        QCOMPARE(s.sexByAge[query::kAgeBands][query::kSexUnset], 1L);
        QCOMPARE(s.sexByAge[query::kAgeBands][query::kFemale], 1L);
        const query::Tally& nation = s.coded[5];
        QCOMPARE(nation.title, gb("民族"));
        QCOMPARE(tallyOf(nation, "汉族"), 2L);
        QCOMPARE(tallyOf(nation, "蒙古族"), 1L);
        QCOMPARE(tallyOf(nation, "未填"), 3L);
        QCOMPARE(tallyOf(nation, "表外代码"), 0L);  // the one "14" is not born yet
        // In the first quarter: 20240101, 20240331 and 20240215; 20231231 and 20240401 are not.
        QCOMPARE(s.changeDates, (std::array<long, 4>{3, 2, 0, 2}));
        QCOMPARE(tallyOf(s.changes, "出生"), 1L);
        QCOMPARE(tallyOf(s.changes, "自国内省外迁入"), 1L);
        QCOMPARE(tallyOf(s.changes, "表外代码"), 1L);
        verifySums(s);
    }

    void headlessHousehold() {
        const Statistics s = count(
            {{"甲", "2", "1", "19900101", "1", "", ""}, {"乙", "1", "1", "19900101", "1", "", ""}},
            query::yearPeriod(2024));
        QCOMPARE(s.households, 2L);
        QCOMPARE(s.headless, 1L);
    }

    void periodBoundaries_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("last");
        QTest::newRow("month") << "m"
                               << "20240201"
                               << "20240229";
        QTest::newRow("quarter") << "q"
                                 << "20240401"
                                 << "20240630";
        QTest::newRow("year") << "y"
                              << "20240101"
                              << "20241231";
        QTest::newRow("two dates") << "d"
                                   << "20240310"
                                   << "20240920";
    }
    void periodBoundaries() {
        QFETCH(QString, kind);
        QFETCH(QString, first);
        QFETCH(QString, last);
        const QDate a = query::parseDate(first.toStdString());
        const QDate b = query::parseDate(last.toStdString());
        const Period p = kind == "m"   ? query::monthPeriod(2024, 2)
                         : kind == "q" ? query::quarterPeriod(2024, 2)
                         : kind == "y" ? query::yearPeriod(2024)
                                       : query::periodBetween(b, a);
        const auto text = [](QDate d) { return d.toString("yyyyMMdd").toStdString(); };
        const std::string before = text(a.addDays(-1)), after = text(b.addDays(1));
        const Statistics s = count({{"甲", "1", "1", "19900101", "1", "12", before.c_str()},
                                    {"甲", "2", "2", "19900101", "1", "12", text(a).c_str()},
                                    {"甲", "3", "2", "19900101", "1", "13", text(b).c_str()},
                                    {"甲", "3", "2", "19900101", "1", "13", after.c_str()}},
                                   p);
        QCOMPARE(s.changeDates[0], 2L);
        QCOMPARE(s.changeDates[1], 2L);
        QCOMPARE(tallyOf(s.changes, "出生"), 1L);
        QCOMPARE(tallyOf(s.changes, "死亡"), 1L);
    }

    // A generated register with odd records mixed in: every table still adds up, and the odd
    // ones are counted where they belong.
    void generatedRegisterAddsUp() {
        auto people = sample::generate(5000, 7);
        const char* const badDates[] = {"", "19800230", "2030010", "20990101", "abcdefgh"};
        long heads = 0, removedHeads = 0;
        for (size_t i = 0; i < people.size(); ++i) {
            auto& p = people[i];
            if (i % 7 == 0) p[F出生日期 - 1] = badDates[i / 7 % 5];
            if (i % 11 == 0) p[F民族 - 1] = "99";
            if (i % 13 == 0) p[F户籍变动日期 - 1] = "20231301";
            if (isHead(p[F与户主关系 - 1]) && i % 17 == 0) {
                p[F与户主关系 - 1] = "11";  // the household loses its head
                ++removedHeads;
            }
            heads += isHead(p[F与户主关系 - 1]) &&
                     query::presenceAt(p, kReference) == query::Presence::Resident;
        }
        const QString path = dir.filePath(QStringLiteral("g.wav"));
        QVERIFY(sample::writeRegister(path, people));
        const auto s = query::computeStatistics(path, kReference, query::yearPeriod(2023));
        QVERIFY(s);
        QCOMPARE(s->persons + s->deregistered + s->notYetHere, 5000L);
        QVERIFY(s->notYetHere >= 5000L / 35);  // 20990101
        QCOMPARE(s->heads, heads);
        // Also the households whose head has died or moved away.
        QVERIFY(s->headless >= removedHeads);
        QVERIFY(s->badBirthDates > 0 && s->badBirthDates < (5000L + 6) / 7);
        QVERIFY(tallyOf(s->coded[5], "表外代码") <= (5000L + 10) / 11);
        QVERIFY(s->changeDates[0] > 0);
        QVERIFY(s->changeDates[3] >= (5000L + 12) / 13);
        verifySums(*s);
        // Every sheet's last row is its total, the persons counted in it.
        const auto sheets = query::statisticsSheets(*s);
        QCOMPARE(sheets.size(), size_t(11));
        for (size_t i = 1; i + 1 < sheets.size(); ++i)
            QCOMPARE(sheets[i].rows.back().back(), QString::number(s->persons));
    }

    // Who is here at the reference date 20240630: the rule every count rests on.
    void presence_data() {
        QTest::addColumn<QString>("relation");
        QTest::addColumn<QString>("birth");
        QTest::addColumn<QString>("change");
        QTest::addColumn<QString>("changeDate");
        QTest::addColumn<int>("expected");
        using Pr = query::Presence;
        const auto row = [](const char* name, const char* r, const char* b, const char* c,
                            const char* d,
                            Pr p) { QTest::newRow(name) << r << b << c << d << int(p); };
        row("plain", "1", "19900101", "", "", Pr::Resident);
        row("born that day", "3", "20240630", "12", "20240630", Pr::Resident);
        row("born after", "3", "20240701", "12", "20240701", Pr::NotYetHere);
        row("bad birth date counts", "3", "19900230", "", "", Pr::Resident);
        row("moved in after", "2", "19900101", "4", "20240701", Pr::NotYetHere);
        row("moved in before", "2", "19900101", "4", "20240101", Pr::Resident);
        row("moved in undated", "2", "19900101", "4", "", Pr::Resident);
        row("died before", "1", "19300101", "13", "20240630", Pr::Deregistered);
        row("died after", "1", "19300101", "13", "20240701", Pr::Resident);
        row("moved out undated", "1", "19300101", "9", "", Pr::Deregistered);
        row("no person", "0", "19900101", "", "", Pr::NotPerson);
    }
    void presence() {
        QFETCH(QString, relation);
        QFETCH(QString, birth);
        QFETCH(QString, change);
        QFETCH(QString, changeDate);
        QFETCH(int, expected);
        sample::Person v(kFieldCount);
        v[F与户主关系 - 1] = relation.toStdString();
        v[F出生日期 - 1] = birth.toStdString();
        v[F户籍变动类型 - 1] = change.toStdString();
        v[F户籍变动日期 - 1] = changeDate.toStdString();
        QCOMPARE(int(query::presenceAt(v, kReference)), expected);
    }

    void noTable() {
        QVERIFY(
            !query::computeStatistics(dir.filePath("none"), kReference, query::yearPeriod(2024)));
    }
};

QTEST_GUILESS_MAIN(TestStatistics)
#include "tst_statistics.moc"

// Quick find: every kind of needle against a small register whose names are chosen to tell the
// kinds apart, the ranking between them, the readings of rare name characters, and the index
// built from a real register file.
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

#include "core/query/homophone.h"
#include "core/query/pinyin_table.h"
#include "core/query/quickfind.h"
#include "core/register/person.h"
#include "core/register/store.h"
#include "core/register/text.h"
#include "samplegen.h"

using namespace query;
using reg::gb;

namespace {

// 序号, 姓名, 公民身份号码: 章晓鸣 sounds like 张小明, 单 reads shan, dan and chan, 吕 and 绿 are
// typed lv or lu, 䶮 and 𠮷 lie outside GB2312 (𠮷 outside two-byte GB18030 too).
const char* const kPersons[][3] = {
    {"3", "张小明", "110101199003071234"}, {"1", "章晓鸣", "11010119850512567X"},
    {"2", "王小明", "320102197001013456"}, {"4", "单田芳", "220102195012129876"},
    {"5", "刘䶮", "440301200001015555"},   {"6", "𠮷祥", "440301200102026666"},
    {"7", "吕小绿", "440301200203037777"}, {"1234", "赵四", "510101196606068888"},
    {"8", "张晓", "510101196606069999"},   {"9", "小明", "510101196606060000"},
};

QuickFind fixture() {
    QuickFind index;
    for (const auto& p : kPersons) index.add(p[0], gb(p[1]), gb("青石路1号"), "19900307", p[2]);
    return index;
}

// The hits as "序号 rank" pairs, rank as its number, in the order found.
QString listed(const FindResult& result) {
    QStringList out;
    for (const FindHit& h : result.hits)
        out << QStringLiteral("%1:%2").arg(h.serial).arg(static_cast<int>(h.rank));
    return out.join(QLatin1Char(' '));
}

}  // namespace

class TestQuickFind : public QObject {
    Q_OBJECT

  private slots:
    void everyKindOfNeedle_data() {
        QTest::addColumn<QString>("needle");
        QTest::addColumn<QString>("expected");
        // Ranks: 0 name, 1 part of the name, 2 homophone, 3 pinyin, 4 序号, 5 identity number.
        const char* const rows[][3] = {
            {"exact name, then homophone", "张小明", "3:0 1:2"},
            {"exact, part, homophone", "小明", "9:0 2:1 3:1 1:2"},
            {"blanks around", " 小明　", "9:0 2:1 3:1 1:2"},
            {"polyphone: 善 sounds like 单 (shan)", "善田芳", "4:2"},
            {"rare two-byte character by itself", "䶮", "5:1"},
            {"four-byte character by itself", "𠮷", "6:1"},
            {"initials", "zxm", "1:3 3:3"},
            {"initials, capitals", "ZXM", "1:3 3:3"},
            {"full-width letters", "ｚｘｍ", "1:3 3:3"},
            {"full pinyin", "zhangxiaoming", "1:3 3:3"},
            {"full pinyin with blanks", "zhang xiao ming", "1:3 3:3"},
            {"mixed full and initials", "zhangxm", "1:3 3:3"},
            {"zh as an initial", "zhxm", "1:3 3:3"},
            {"last syllable being typed", "zhangx", "1:3 3:3 8:3"},
            {"from the middle of the name", "xiaoming", "1:3 2:3 3:3 9:3"},
            {"单 as shan", "shantianfang", "4:3"},
            {"单 as dan", "dantf", "4:3"},
            {"单 as chan", "chan", "4:3"},
            {"䶮 by its reading", "liuyan", "5:3"},
            {"𠮷 by its reading", "jixiang", "6:3"},
            {"ü typed as v", "lvxiaolv", "7:3"},
            {"ü typed as u", "luxl", "7:3"},
            {"ü typed as ü", "lüxiaolü", "7:3"},
            {"no such reading", "zxq", ""},
            {"序号 before identity fragment", "1234", "1234:4 3:5"},
            {"序号 alone", "4", "4:4"},
            {"identity fragment", "9876", "4:5"},
            {"full-width digits", "９８７６", "4:5"},
            {"check letter, either case", "567x", "1:5"},
            {"three digits are no fragment", "987", ""},
            {"blank needle", "  ", ""},
        };
        for (const auto& r : rows)
            QTest::newRow(r[0]) << QString::fromUtf8(r[1]) << QString::fromUtf8(r[2]);
    }
    void everyKindOfNeedle() {
        QFETCH(QString, needle);
        QFETCH(QString, expected);
        QCOMPARE(listed(fixture().find(reg::toGb(needle), 50)), expected);
    }

    void limitKeepsTheBestAndCountsAll() {
        const FindResult r = fixture().find(gb("小明"), 2);
        QCOMPARE(listed(r), QStringLiteral("9:0 2:1"));
        QCOMPARE(r.total, std::size_t(4));
        const FindHit& h = r.hits[0];
        QCOMPARE(h.serialText, std::string("9"));
        QCOMPARE(h.name, gb("小明"));
        QCOMPARE(h.address, gb("青石路1号"));
        QCOMPARE(h.birth, std::string("19900307"));
    }

    void rareNameCharactersHaveReadings_data() {
        QTest::addColumn<QString>("character");
        QTest::addColumn<QString>("reading");
        const char* const rows[][3] = {
            {"䶮 (FE 9F)", "䶮", "yan"},
            {"𠮷 (95 34 B2 35)", "𠮷", "ji"},
            {"㛃 (four bytes)", "㛃", "jie"},
            {"堃 (GBK)", "堃", "kun"},
            {"喆 (GBK)", "喆", "zhe"},
            {"张 (GB2312)", "张", "zhang"},
            {"ASCII", "a", ""},
            {"full-width sign", "，", ""},
        };
        for (const auto& r : rows)
            QTest::newRow(r[0]) << QString::fromUtf8(r[1]) << QString::fromUtf8(r[2]);
    }

    void rareNameCharactersHaveReadings() {
        QFETCH(QString, character);
        QFETCH(QString, reading);
        const Readings r = readingsOf(reg::toGb(character));
        QCOMPARE(r.count, reading.isEmpty() ? 0 : 1);
        if (r.count) QCOMPARE(QString::fromLatin1(spellingOf(r.code[0])), reading);
    }

    // The look-up halves the table: one entry out of order hides its neighbours.
    void supplementIsAscending() {
        QVERIFY(kPinyinSupplementCount > 1000);
        for (std::size_t i = 1; i < kPinyinSupplementCount; ++i)
            QVERIFY(kPinyinSupplement[i - 1].character < kPinyinSupplement[i].character);
    }

    // From a register file: deleted persons are not found; each person is found by name and by
    // the last six digits of the identity number.
    void fromRegisterFile() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("register.wav"));
        std::vector<sample::Person> people = sample::generate(300, 7);
        QVERIFY(sample::writeRegister(path, people));
        reg::RecordStore store;
        QVERIFY(store.OpenTable(path));
        store.GoTo(10);
        QVERIFY(store.MarkDeleted());
        QVERIFY(store.CloseAllTables());

        QVERIFY(store.OpenTable(path));
        const QuickFind index = QuickFind::fromStore(store);
        static_cast<void>(store.CloseAllTables());
        QCOMPARE(index.size(), std::size_t(299));
        for (std::size_t i = 0; i < people.size(); ++i) {
            const sample::Person& p = people[i];
            const long serial = std::stol(p[reg::F序号 - 1]);
            auto has = [&](const FindResult& r) {
                return std::any_of(r.hits.begin(), r.hits.end(),
                                   [&](const FindHit& h) { return h.serial == serial; });
            };
            const std::string& id = p[reg::F公民身份号码 - 1];
            const bool deleted = i == 9;
            QCOMPARE(has(index.find(p[reg::F姓名 - 1], 1000)), !deleted);
            QCOMPARE(has(index.find(id.substr(id.size() - 6), 1000)), !deleted);
        }
    }
};

QTEST_GUILESS_MAIN(TestQuickFind)
#include "tst_quickfind.moc"

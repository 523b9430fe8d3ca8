// The pronunciation table and the homophone match: the readings a clerk relies on, the table's
// own consistency, and the byte-level rules of the match on GB18030 text.
#include <QTest>

#include <algorithm>
#include <set>

#include "core/query/homophone.h"
#include "core/query/pinyin_table.h"
#include "core/register/text.h"

using namespace query;
using reg::gb;

namespace {

const char* const kElements[] = {
    "",    "zh",  "ch",  "sh", "b",  "p",  "m",  "f",  "d",    "t",    "n",    "l",   "g",   "k",
    "h",   "j",   "q",   "x",  "r",  "z",  "c",  "s",  "y",    "w",    "ang",  "eng", "an",  "ai",
    "ao",  "ou",  "er",  "en", "ei", "a",  "o",  "e",  "uang", "iang", "iong", "ing", "ong", "uai",
    "uan", "iao", "ian", "ui", "iu", "ie", "ue", "in", "un",   "ia",   "ua",   "uo",  "i",   "u"};
constexpr unsigned kFirstFinal = 24;
constexpr unsigned kLastElement = 55;

std::string spell(std::uint16_t code) {
    return std::string(kElements[code & 0xFF]) + kElements[code >> 8];
}

// The readings of a character (UTF-8 literal) as a sorted set of spellings.
std::set<std::string> readingsOf(const char* utf8) {
    std::set<std::string> out;
    for (std::uint16_t c : pronunciation(gb(utf8))) out.insert(spell(c));
    return out;
}

std::uint16_t entryOf(const char* utf8) {
    const std::string c = gb(utf8);
    const auto lead = static_cast<unsigned char>(c[0]);
    const auto trail = static_cast<unsigned char>(c[1]);
    return kPinyinEntries[(lead - kPinyinLeadFirst) * kPinyinColumns + trail - kPinyinTrailFirst];
}

bool match(const char* q, const char* f) {
    return homophoneMatch(gb(q), gb(f));
}

// A reading is an initial followed by a final, or one element alone; never two initials,
// never an initial after a final.
bool validReading(std::uint16_t code) {
    const unsigned low = code & 0xFF, high = code >> 8;
    if (low == 0 || low > kLastElement) return false;
    if (high == 0) return true;
    return low < kFirstFinal && high >= kFirstFinal && high <= kLastElement;
}

}  // namespace

class TestHomophone : public QObject {
    Q_OBJECT

  private slots:
    void tellingEntries_data() {
        QTest::addColumn<QString>("character");
        QTest::addColumn<int>("entry");
        QTest::newRow("啊 a") << "啊" << 0x0021;
        QTest::newRow("安 an") << "安" << 0x001A;
        QTest::newRow("张 zhang") << "张" << 0x1801;
        QTest::newRow("章 zhang") << "章" << 0x1801;
        QTest::newRow("王 wang") << "王" << 0x1817;
        QTest::newRow("汪 wang") << "汪" << 0x1817;
        QTest::newRow("李 li") << "李" << 0x360B;
        QTest::newRow("吕 lu") << "吕" << 0x370B;
        QTest::newRow("绿 lu") << "绿" << 0x370B;
        QTest::newRow("女 nu") << "女" << 0x370A;
    }
    void tellingEntries() {
        QFETCH(QString, character);
        QFETCH(int, entry);
        QCOMPARE(int(entryOf(character.toUtf8().constData())), entry);
    }

    void tellingLists() {
        using S = std::set<std::string>;
        QCOMPARE(readingsOf("长"), (S{"chang", "zhang"}));
        QCOMPARE(readingsOf("曾"), (S{"ceng", "zeng"}));
        QCOMPARE(readingsOf("单"), (S{"dan", "chan", "shan"}));
        QCOMPARE(readingsOf("行"), (S{"xing", "hang", "heng"}));
        // The most used reading comes first.
        QCOMPARE(spell(pronunciation(gb("行")).code[0]), std::string("xing"));
        QCOMPARE(spell(pronunciation(gb("单")).code[0]), std::string("dan"));
    }

    // Every entry and list decodes to valid readings, lists hold two or three distinct ones with
    // empty slots only at the end, every list is used, and only the unassigned positions of the
    // block lack a reading.
    void tableIsConsistent() {
        std::vector<bool> used(kPinyinListCount, false);
        int empty = 0;
        for (unsigned i = 0; i < kPinyinBlockSize; ++i) {
            const std::uint16_t e = kPinyinEntries[i];
            if (e == 0) {
                ++empty;
                continue;
            }
            if (!(e & kPinyinListBit)) {
                QVERIFY2(validReading(e), qPrintable(QString::number(i)));
                continue;
            }
            const std::size_t index = e & ~kPinyinListBit;
            QVERIFY(index < kPinyinListCount);
            used[index] = true;
            const std::uint16_t* l = kPinyinLists[index];
            QVERIFY(validReading(l[0]) && validReading(l[1]));
            QVERIFY(l[2] == 0 || validReading(l[2]));
            QVERIFY(l[0] != l[1] && l[1] != l[2] && l[0] != l[2]);
        }
        QVERIFY(std::all_of(used.begin(), used.end(), [](bool u) { return u; }));
        QCOMPARE(empty, 5);
        for (unsigned trail = 0xFA; trail <= 0xFE; ++trail)
            QCOMPARE(int(kPinyinEntries[(0xD7 - kPinyinLeadFirst) * kPinyinColumns + trail -
                                        kPinyinTrailFirst]),
                     0);
    }

    void lookupOutsideTheBlock() {
        QCOMPARE(pronunciation("a").count, 0);
        QCOMPARE(pronunciation("").count, 0);
        QCOMPARE(pronunciation(gb("Ａ")).count, 0);  // full-width letter, A3C1
        QCOMPARE(pronunciation(gb("丂")).count, 0);  // GBK extension, 8140
        QCOMPARE(pronunciation(gb("𠮷")).count, 0);  // four bytes
        QCOMPARE(pronunciation(std::string("\xD7\xFA", 2)).count, 0);
        QCOMPARE(pronunciation(std::string("\xB0", 1)).count, 0);
    }

    void sharedReadingsMatch() {
        // One reading of 单 each.
        QVERIFY(match("单", "单"));
        QVERIFY(match("单", "丹"));
        QVERIFY(match("单", "产"));
        QVERIFY(match("单", "山"));
        QVERIFY(match("山", "单"));
        // Two readings and three: the rule is the same.
        QVERIFY(match("长", "常"));
        QVERIFY(match("长", "掌"));
        QVERIFY(match("曾", "增"));
        QVERIFY(match("曾", "层"));
        QVERIFY(match("行", "星"));
        QVERIFY(match("行", "杭"));
        QVERIFY(match("行", "衡"));
        QVERIFY(match("长", "行") == false);
        // Tones differ, u-umlaut folded.
        QVERIFY(match("李", "理"));
        QVERIFY(match("吕", "路"));
        QVERIFY(match("女", "努"));
        // A whole name, character by character.
        QVERIFY(match("章三", "张三"));
        QVERIFY(match("王小明", "汪晓鸣"));
        QVERIFY(!match("王小明", "汪晓龙"));
    }

    void noSharedReadingNoMatch() {
        QVERIFY(!match("张", "单"));
        QVERIFY(!match("单", "张"));
        QVERIFY(!match("王", "于"));
        QVERIFY(!match("女", "如"));
        QVERIFY(!match("吕", "女"));
        // Common surnames kept apart although a rare reading would join them.
        QVERIFY(!match("沈", "陈"));
        QVERIFY(!match("陶", "姚"));
        QVERIFY(!match("丁", "郑"));
        QVERIFY(!match("叶", "谢"));
        QVERIFY(!match("庄", "彭"));
    }

    void lengthsInBytes() {
        QVERIFY(!match("张", "章三"));
        QVERIFY(!match("张三", "章三丰"));
        QVERIFY(!match("", "张"));
        QVERIFY(match("", ""));
        // Same character count, other byte count.
        QVERIFY(!match("张a", "张三"));
    }

    void asciiIsExactAndCaseSensitive() {
        QVERIFY(match("ab", "ab"));
        QVERIFY(!match("ab", "AB"));
        QVERIFY(!match("AB", "ab"));
        QVERIFY(match("3号张", "3号章"));
        QVERIFY(!match("3号张", "4号章"));
        // An ASCII byte never pairs with a byte of a Chinese character.
        QVERIFY(!match("ab", "张"));
        QVERIFY(!match("张", "ab"));
    }

    void charactersOutsideTheBlockMatchOnlyThemselves() {
        QVERIFY(match("Ａ", "Ａ"));
        QVERIFY(!match("Ａ", "ａ"));
        QVERIFY(!match("张", "Ａ"));
        QVERIFY(!match("Ａ", "张"));
        QVERIFY(match("丂", "丂"));
        QVERIFY(!match("丂", "考"));  // the same sound, but outside the block
        QVERIFY(!match("考", "丂"));
    }

    void fourByteCharacters() {
        QCOMPARE(gb("𠮷").size(), std::size_t(4));
        QVERIFY(match("𠮷", "𠮷"));
        QVERIFY(match("张𠮷", "章𠮷"));
        QVERIFY(match("𠮷张", "𠮷章"));
        QVERIFY(!match("𠮷", "𠮶"));
        QVERIFY(!match("𠮷", "吉吉"));  // four bytes either way
        QVERIFY(!match("吉吉", "𠮷"));
        QVERIFY(!match("𠮷张", "吉吉张"));
        // 䶮 is a two-byte character of GB18030 outside the block.
        QVERIFY(match("刘䶮", "留䶮"));
        QVERIFY(!match("䶮", "岩"));
    }

    void noReadingIsAlikeWithTheBlock() {
        const std::string none("\xD7\xFA", 2);
        QVERIFY(homophoneMatch(none, gb("张")));
        QVERIFY(homophoneMatch(gb("张"), none));
        QVERIFY(homophoneMatch(gb("王") + none, gb("汪啊")));
        QVERIFY(!homophoneMatch(none, gb("Ａ")));
        QVERIFY(!homophoneMatch(none, "ab"));
    }

    // Broken bytes must not crash the match, and a text still matches itself.
    void strayBytes() {
        const std::string lone("\xB0", 1);
        QVERIFY(homophoneMatch(lone, lone));
        QVERIFY(!homophoneMatch(lone, std::string("\xB1", 1)));
        QVERIFY(homophoneMatch("a\x80", "a\x80"));
        QVERIFY(!homophoneMatch("a\x80", "a\x81"));
        QVERIFY(!homophoneMatch(gb("张") + lone, gb("章") + "a"));
    }

    // The match agrees with the lookup and is symmetric, over every pair of the first rows.
    void matchAgreesWithLookup() {
        std::vector<std::string> chars;
        for (unsigned lead = 0xB0; lead <= 0xB3; ++lead)
            for (unsigned trail = 0xA1; trail <= 0xFE; ++trail)
                chars.push_back({char(lead), char(trail)});
        for (const std::string& a : chars) {
            const Readings ra = pronunciation(a);
            for (const std::string& b : chars) {
                const Readings rb = pronunciation(b);
                bool shared = a == b;
                for (auto x : ra)
                    for (auto y : rb) shared = shared || x == y;
                if (homophoneMatch(a, b) != shared || homophoneMatch(b, a) != shared)
                    QFAIL(qPrintable(QString::fromStdString(reg::gbToUtf8(a + b))));
            }
        }
    }
};

QTEST_APPLESS_MAIN(TestHomophone)
#include "tst_homophone.moc"

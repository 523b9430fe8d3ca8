// The six operators of the query rows on GB18030 byte strings, and their chains.
#include <QTemporaryDir>
#include <QTest>

#include "core/query/conditions.h"
#include "core/register/person.h"
#include "core/register/programfolder.h"
#include "core/register/text.h"

using namespace reg;
using query::Row;

namespace {
bool row(int op, const char* q, const char* f) {
    return query::holds({F姓名, op, gb(q)}, gb(f));
}
}  // namespace

class TestConditions : public QObject {
    Q_OBJECT
  private slots:
    void homophonesAndExactInequality() {
        QVERIFY(row(query::Homophone, "张三", "章三"));
        QVERIFY(row(query::Homophone, "张三", "张叁"));
        QVERIFY(!row(query::Homophone, "张三", "张三丰"));
        QVERIFY(!row(query::Homophone, "张三", "张 三"));
        QVERIFY(!row(query::Homophone, "ab", "AB"));
        // "≠" is byte inequality, not the negation of "==".
        QVERIFY(row(query::NotEqual, "张三", "章三"));
        QVERIFY(!row(query::NotEqual, "张三", "张三"));
    }

    void orderIsByteOrder() {
        QVERIFY(row(query::AtLeast, "19800101", "19851231"));
        QVERIFY(row(query::AtMost, "19891231", "19851231"));
        QVERIFY(!row(query::AtMost, "19891231", "19900101"));
        // 10 sorts before 9 byte by byte, and so do 19 and 100.
        for (const char* serial : {"10", "19", "100", "9", ""})
            QVERIFY2(row(query::AtMost, "9", serial), serial);
        QVERIFY(!row(query::AtMost, "9", "91"));
        QVERIFY(row(query::AtLeast, "", ""));
        // Unsigned bytes: Chinese text sorts after ASCII.
        QVERIFY(row(query::AtLeast, "z", "张"));
    }

    void containsSearchesWholeCharacters() {
        QVERIFY(query::occursIn("ab", "xABy"));
        QVERIFY(query::occursIn(gb("村"), gb("甲村1号")));
        QVERIFY(!query::occursIn(gb("村"), gb("甲镇1号")));
        // 啊 is B0 A1 and 、 is A1 A2: the bytes A1 A1 straddle two characters and are no 　.
        QVERIFY(!query::occursIn(gb("　"), gb("啊、")));
        QVERIFY(query::occursIn(gb("、"), gb("啊、")));
        // The trail byte of 䶮 (FE 9F) is never a place to start.
        QVERIFY(!query::occursIn(std::string("\x9F"), gb("䶮")));
        QVERIFY(query::occursIn(gb("𠮷"), gb("王𠮷")));
        // An empty text occurs in every non-empty field and not in an empty one.
        QVERIFY(query::occursIn("", "x"));
        QVERIFY(!query::occursIn("", ""));
        QVERIFY(row(query::Lacks, "", ""));
        QVERIFY(!row(query::Lacks, "", "x"));
        QVERIFY(row(query::Lacks, "ab", "xyz"));
        QVERIFY(!query::occursIn("abc", "ab"));
        // Only whole ASCII letters are folded, never a trail byte in 0x41-0x5A.
        const std::pair<const char*, const char*> distinct[] = {
            {"旿", "昷"}, {"丄", "乤"}, {"a旿", "A昷"}, {"旿z", "昷Z"}};
        for (const auto& [condition, field] : distinct) {
            QVERIFY2(!query::occursIn(gb(condition), gb(field)), condition);
            QVERIFY2(row(query::Lacks, condition, field), condition);
        }
        QVERIFY(query::occursIn(gb("a旿Z"), gb("甲A旿z")));
    }

    void conditionTexts() {
        QCOMPARE(query::conditionText(true, gb("1 居住在本村居"), ""), std::string("1"));
        QCOMPARE(query::conditionText(true, gb("10兄弟姐妹"), ""), std::string("10"));
        QCOMPARE(query::conditionText(true, "0 ", ""), std::string("0"));
        QCOMPARE(query::conditionText(false, "", gb(" 张　三 ")), gb("张三"));
        // The hint left in the box is itself the condition text.
        QCOMPARE(query::conditionText(false, "", gb("（须从列表项目中选择）")),
                 gb("（须从列表项目中选择）"));
        // 女 typed instead of choosing "2 女" queries the text 女.
        QCOMPARE(query::conditionText(false, gb("2 女"), gb("女")), gb("女"));
    }

    void chainsStopAtTheFirstRowThatFails() {
        QTemporaryDir dir;
        const QString path = dir.filePath("r.wav");
        QVERIFY(createRegisterIfMissing(path));
        RecordStore s;
        QVERIFY(s.OpenTable(path));
        const char* births[] = {"19791231", "19800101", "19851111", "19891231", "19900101"};
        for (const char* b : births) {
            std::vector<std::string> v(kFieldCount);
            v[F姓名 - 1] = gb("章三");
            v[F出生日期 - 1] = b;
            v[F性别 - 1] = "2";
            QVERIFY(s.AppendRecord(v));
        }
        const Row born80s = {F出生日期, query::AtLeast, "19800101"};
        const Row before90 = {F出生日期, query::AtMost, "19891231"};
        const Row zhangsan = {F姓名, query::Homophone, gb("张三")};
        QCOMPARE(s.CountMatching(query::chain(s, {born80s, before90})), 3L);
        QCOMPARE(s.CountMatching(query::chain(s, {born80s, before90, zhangsan})), 3L);
        QCOMPARE(s.CountMatching(query::chain(s, {zhangsan, {F性别, query::Homophone, "1"}})), 0L);
        QCOMPARE(s.CountMatching(query::chain(s, {{F性别, query::NotEqual, gb("女")}})), 5L);
        QCOMPARE(s.CountMatching(query::chain(s, {})), 5L);
    }
};

QTEST_GUILESS_MAIN(TestConditions)
#include "tst_conditions.moc"

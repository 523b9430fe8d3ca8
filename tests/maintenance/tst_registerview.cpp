// The tree of households and the counters, collected from real register files.
#include <QTemporaryDir>
#include <QTest>

#include "maintenance/registerview.h"
#include "register/person.h"
#include "register/programfolder.h"
#include "register/text.h"
#include "register/workfiles.h"

using namespace reg;
using maint::TreeItem;

namespace {

struct P {
    const char* serial;
    const char* address;
    const char* relation;
    const char* name;
};

// Tree items written as "A:address" and "P:label", in UTF-8, for readable comparisons.
std::vector<std::string> shown(const std::vector<TreeItem>& items) {
    std::vector<std::string> out;
    for (const auto& i : items) out.push_back((i.level ? "P " : "A ") + gbToUtf8(i.text));
    return out;
}

}  // namespace

class TestRegisterView : public QObject {
    Q_OBJECT

    QTemporaryDir dir;

    maint::RegisterDisplay display(const std::vector<P>& people) {
        const QString path = pathIn(dir.path(), names::kRegister);
        QFile::remove(path);
        createRegisterIfMissing(path);
        RecordStore s;
        s.OpenTable(path);
        for (const P& p : people) {
            std::vector<std::string> v(kFieldCount);
            v[F序号 - 1] = p.serial;
            v[F房屋详址 - 1] = gb(p.address);
            v[F与户主关系 - 1] = p.relation;
            v[F姓名 - 1] = gb(p.name);
            v[F户主姓名 - 1] = gb("户主");
            s.AppendRecord(v);
        }
        s.CloseAllTables();
        return maint::rebuildAndCollect(s, dir.path());
    }

  private slots:
    void emptyRegister() {
        const auto d = display({});
        QVERIFY(d.items.empty());
        QCOMPARE(d.counts.persons, 0L);
        QCOMPARE(d.counts.heads, 0L);
        QCOMPARE(gbToUtf8(maint::counterText(0)), std::string("0  名"));
    }

    void missingRegister() {
        QFile::remove(pathIn(dir.path(), names::kRegister));
        RecordStore s;
        const auto d = maint::rebuildAndCollect(s, dir.path());
        QVERIFY(d.items.empty());
        QCOMPARE(d.counts.persons, 0L);
    }

    void oneRecord() {
        const auto d = display({{"1", "甲村", "1", "张三"}});
        QCOMPARE(shown(d.items), (std::vector<std::string>{"A 甲村", "P 1:户主:张三"}));
        QCOMPARE(d.counts.persons, 1L);
        QCOMPARE(d.counts.heads, 1L);
    }

    void householdsInSerialOrder() {
        // Stored out of order: the rebuild sorts by number, "9" before "10".
        const auto d = display({{"10", "乙村", "1", "c"},
                                {"2", "甲村", "2", "b"},
                                {"1", "甲村", "1", "a"},
                                {"9", "乙村", "0", "x"},
                                {"11", "丙村", "-1", "d"}});
        QCOMPARE(shown(d.items),
                 (std::vector<std::string>{"A 甲村", "P 1:户主:a", "P 2:户主:b", "A 乙村",
                                           "P 9:户主:x", "P 10:户主:c", "A 丙村", "P 11:户主:d"}));
        // The last record alone at a new address got its own node; "0" and "-1" count as
        // neither persons nor heads.
        QCOMPARE(d.counts.persons, 3L);
        QCOMPARE(d.counts.heads, 2L);
    }

    void splitHouseholdIsListedTwice() {
        const auto d =
            display({{"1", "甲村", "1", "a"}, {"2", "乙村", "1", "b"}, {"3", "甲村", "3", "c"}});
        QCOMPARE(shown(d.items), (std::vector<std::string>{"A 甲村", "P 1:户主:a", "A 乙村",
                                                           "P 2:户主:b", "A 甲村", "P 3:户主:c"}));
    }

    void keysOfListLines() {
        QCOMPARE(maint::keyOf(gb("12:张三:李四")), std::string_view("12"));
        QCOMPARE(maint::keyOf(gb("甲村1号")), std::string_view());
        // An address with a colon is looked up by the text before it.
        QCOMPARE(maint::keyOf("7:village"), std::string_view("7"));
        QCOMPARE(maint::keyOf(":x"), std::string_view(""));
    }

    void anAddressWithAColonIsStillOneNode() {
        const auto d = display({{"1", "甲村:1号", "1", "a"}, {"2", "甲村:1号", "2", "b"}});
        QCOMPARE(d.items.size(), size_t(3));
        QCOMPARE(gbToUtf8(std::string(maint::keyOf(d.items[0].text))), std::string("甲村"));
    }
};

QTEST_GUILESS_MAIN(TestRegisterView)
#include "tst_registerview.moc"

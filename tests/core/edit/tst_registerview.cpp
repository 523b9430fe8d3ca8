// The tree of households and the counters, collected from real register files.
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <map>
#include <set>

#include "core/edit/registerview.h"
#include "core/register/person.h"
#include "core/register/programfolder.h"
#include "core/register/text.h"
#include "core/register/workfiles.h"

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

// Items written as "=address" and "label": {"=a", "1:h:x", "2:h:y", "=b", "3:k:z"}.
std::vector<TreeItem> items(const std::vector<std::string>& texts) {
    std::vector<TreeItem> out;
    for (const auto& t : texts)
        out.push_back(t[0] == '=' ? TreeItem{t.substr(1), 0} : TreeItem{t, 1});
    return out;
}

// The tree in the same notation, pre-order.
std::vector<std::string> treeOf(const maint::RegisterView& v) {
    std::vector<std::string> out;
    for (const auto& h : v.households()) {
        out.push_back("=" + h.address);
        out.insert(out.end(), h.persons.begin(), h.persons.end());
    }
    return out;
}

// The list in the same notation: lines without a ":" are addresses.
std::vector<std::string> notation(std::vector<std::string> lines) {
    for (auto& l : lines)
        if (l.find(':') == std::string::npos) l = "=" + l;
    return lines;
}

// Applies the changes as the window does, to plain copies of the tree and the list.
void replay(const std::vector<maint::ViewEdit>& edits,
            std::vector<maint::RegisterView::Household>& tree, std::vector<std::string>& lines) {
    using E = maint::ViewEdit;
    for (const E& e : edits) {
        auto h = tree.begin() + std::max(e.household, 0);
        switch (e.kind) {
            case E::AddHousehold:
                tree.push_back({e.text, {}});
                break;
            case E::AddPerson:
                h->persons.push_back(e.text);
                break;
            case E::RemovePerson:
                h->persons.erase(h->persons.begin() + e.person);
                break;
            case E::RemoveHousehold:
                tree.erase(h);
                break;
            case E::RelabelPerson:
                h->persons[size_t(e.person)] = e.text;
                break;
            case E::ExpandHousehold:
                break;
            case E::InsertLine:
                lines.insert(lines.begin() + e.line, e.text);
                break;
            case E::RemoveLine:
                lines.erase(lines.begin() + e.line);
                break;
            case E::RelabelLine:
                lines[size_t(e.line)] = e.text;
                break;
        }
    }
}

// Per address, the person labels under all of its nodes.
using Households = std::map<std::string, std::multiset<std::string>>;
Households merged(const std::vector<maint::RegisterView::Household>& tree) {
    Households out;
    for (const auto& h : tree) out[h.address].insert(h.persons.begin(), h.persons.end());
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
        bool written = s.OpenTable(path);
        for (const P& p : people) {
            std::vector<std::string> v(kFieldCount);
            v[F序号 - 1] = p.serial;
            v[F房屋详址 - 1] = gb(p.address);
            v[F与户主关系 - 1] = p.relation;
            v[F姓名 - 1] = gb(p.name);
            v[F户主姓名 - 1] = gb("户主");
            written = s.AppendRecord(v) && written;
        }
        if (!s.CloseAllTables() || !written) qFatal("the test register could not be written");
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

    void updateRules_data();
    void updateRules();
    void randomEditsMatchAFreshRebuild();

    void anAddressWithAColonIsStillOneNode() {
        const auto d = display({{"1", "甲村:1号", "1", "a"}, {"2", "甲村:1号", "2", "b"}});
        QCOMPARE(d.items.size(), size_t(3));
        QCOMPARE(gbToUtf8(std::string(maint::keyOf(d.items[0].text))), std::string("甲村"));
    }
};

// The in-place updates after each kind of edit, on the view alone.
void TestRegisterView::updateRules_data() {
    QTest::addColumn<std::vector<std::string>>("before");
    QTest::addColumn<int>("selected");  // pre-order number
    QTest::addColumn<QString>("edit");  // add, modify, delete, clear
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("label");
    QTest::addColumn<std::vector<std::string>>("tree");
    QTest::addColumn<std::vector<std::string>>("lines");
    QTest::addColumn<int>("selectedAfter");  // -1: nothing
    using V = std::vector<std::string>;
    const V two{"=a", "1:h:x", "2:h:y", "=b", "3:k:z"};
    QTest::newRow("add to the selected household")
        << two << 1 << "add"
        << "a"
        << "9:h:n" << V{"=a", "1:h:x", "2:h:y", "9:h:n", "=b", "3:k:z"}
        << V{"=a", "1:h:x", "9:h:n", "2:h:y", "=b", "3:k:z"} << 1;
    QTest::newRow("add to another listed household")
        << two << 4 << "add"
        << "a"
        << "9:h:n" << V{"=a", "1:h:x", "2:h:y", "9:h:n", "=b", "3:k:z"}
        << V{"=a", "9:h:n", "1:h:x", "2:h:y", "=b", "3:k:z"} << 5;
    QTest::newRow("add a new household at the end")
        << two << 2 << "add"
        << "0"
        << "0.5:m:m" << V{"=a", "1:h:x", "2:h:y", "=b", "3:k:z", "=0", "0.5:m:m"}
        << V{"=a", "1:h:x", "2:h:y", "=b", "3:k:z", "=0", "0.5:m:m"} << 2;
    QTest::newRow("modify in place") << two << 2 << "modify"
                                     << "a"
                                     << "2:h:w" << V{"=a", "1:h:x", "2:h:w", "=b", "3:k:z"}
                                     << V{"=a", "1:h:x", "2:h:w", "=b", "3:k:z"} << 2;
    QTest::newRow("modify into another household")
        << two << 1 << "modify"
        << "b"
        << "3.5:k:x" << V{"=a", "2:h:y", "=b", "3:k:z", "3.5:k:x"}
        << V{"=a", "2:h:y", "=b", "3.5:k:x", "3:k:z"} << -1;
    QTest::newRow("modify the last member to a new address")
        << two << 4 << "modify"
        << "c"
        << "3:z:z" << V{"=a", "1:h:x", "2:h:y", "=c", "3:z:z"}
        << V{"=a", "1:h:x", "2:h:y", "=c", "3:z:z"} << -1;
    QTest::newRow("delete one of several")
        << two << 1 << "delete"
        << ""
        << "" << V{"=a", "2:h:y", "=b", "3:k:z"} << V{"=a", "2:h:y", "=b", "3:k:z"} << -1;
    QTest::newRow("delete the last member")
        << two << 4 << "delete"
        << ""
        << "" << V{"=a", "1:h:x", "2:h:y"} << V{"=a", "1:h:x", "2:h:y"} << -1;
    QTest::newRow("clear") << two << 2 << "clear"
                           << ""
                           << "2::" << V{"=a", "1:h:x", "2::", "=b", "3:k:z"}
                           << V{"=a", "1:h:x", "2::", "=b", "3:k:z"} << 2;
    QTest::newRow("an address node is no person to delete") << two << 3 << "delete"
                                                            << ""
                                                            << "" << two << two << 3;
}

void TestRegisterView::updateRules() {
    QFETCH(std::vector<std::string>, before);
    QFETCH(int, selected);
    QFETCH(QString, edit);
    QFETCH(QString, address);
    QFETCH(QString, label);
    maint::RegisterView v;
    v.install(items(before), true);
    v.select(v.placeOf(selected));
    auto tree = v.households();
    auto lines = v.lines();
    const std::string a = address.toStdString(), l = label.toStdString();
    const auto edits = edit == "add"      ? v.addPerson(a, l)
                       : edit == "modify" ? v.modifySelected(a, l)
                       : edit == "delete" ? v.removeSelected()
                                          : v.relabelSelected(l);
    QTEST(treeOf(v), "tree");
    QTEST(notation(v.lines()), "lines");
    QTEST(v.selected() ? v.numberOf(*v.selected()) : -1, "selectedAfter");
    // The window's replay of the changes shows the same.
    replay(edits, tree, lines);
    QCOMPARE(merged(tree), merged(v.households()));
    QCOMPARE(tree.size(), v.households().size());
    QCOMPARE(lines, v.lines());
}

// A long random sequence of edits: after each the view describes the same households and
// persons as a fresh rebuild of the register would, and every address line stands at its node.
void TestRegisterView::randomEditsMatchAFreshRebuild() {
    struct Rec {
        double serial;
        std::string address, label;
    };
    std::vector<Rec> reg;
    for (int i = 1; i <= 40; ++i)
        reg.push_back({double(i), "a" + std::to_string(i / 3), std::to_string(i) + ":h:p"});
    auto rebuild = [&] {
        std::stable_sort(reg.begin(), reg.end(),
                         [](const Rec& x, const Rec& y) { return x.serial < y.serial; });
        std::vector<TreeItem> out;
        for (size_t i = 0; i < reg.size(); ++i) {
            if (i == 0 || reg[i].address != reg[i - 1].address) out.push_back({reg[i].address, 0});
            out.push_back({reg[i].label, 1});
        }
        return out;
    };
    maint::RegisterView v;
    v.install(rebuild(), true);
    QRandomGenerator rng(7);
    int next = 100;
    for (int step = 0; step < 400; ++step) {
        std::vector<maint::RegisterView::Place> persons;
        for (int h = 0; h < int(v.households().size()); ++h)
            for (int p = 0; p < int(v.households()[size_t(h)].persons.size()); ++p)
                persons.push_back({h, p});
        if (!persons.empty()) v.select(persons[rng.bounded(int(persons.size()))]);
        auto find = [&](const std::string& label) {
            return std::find_if(reg.begin(), reg.end(),
                                [&](const Rec& r) { return r.label == label; });
        };
        const int op = persons.empty() ? 0 : int(rng.bounded(4));
        const std::string serial = std::to_string(++next);
        auto tree = v.households();
        auto lines = v.lines();
        std::vector<maint::ViewEdit> edits;
        if (op == 0) {  // a new household, or a member of some household
            const std::string address =
                rng.bounded(2) ? "n" + serial : "a" + std::to_string(rng.bounded(16));
            reg.push_back({double(next), address, serial + ":h:p"});
            edits = v.addPerson(address, serial + ":h:p");
        } else if (op == 1) {  // a new employer (same label), or a move with a new number
            auto r = find(v.selectedText());
            if (rng.bounded(2)) {
                edits = v.modifySelected(r->address, r->label);
            } else {
                *r = {double(next), "a" + std::to_string(rng.bounded(16)), serial + ":m:m"};
                edits = v.modifySelected(r->address, r->label);
            }
        } else if (op == 2) {
            reg.erase(find(v.selectedText()));
            edits = v.removeSelected();
        } else {
            auto r = find(v.selectedText());
            r->label = r->label.substr(0, r->label.find(':')) + "::";
            edits = v.relabelSelected(r->label);
        }
        replay(edits, tree, lines);
        QCOMPARE(lines, v.lines());
        QCOMPARE(merged(tree), merged(v.households()));
        maint::RegisterView fresh;
        fresh.install(rebuild(), true);
        QCOMPARE(merged(v.households()), merged(fresh.households()));
        for (int h = 0; h < int(v.households().size()); ++h)
            QCOMPARE(v.lines()[size_t(v.numberOf({h, -1}))], v.households()[size_t(h)].address);
        QCOMPARE(v.lines().size(), size_t(v.numberOf({int(v.households().size()) - 1, -1}) + 1 +
                                          (v.empty() ? 0 : v.households().back().persons.size())));
    }
}

QTEST_GUILESS_MAIN(TestRegisterView)
#include "tst_registerview.moc"

// The counter's business without windows: the relation table, each business's records on a
// small register, the check against the register as the business leaves it, and the write and
// undo as one operation each, with their refusals.
#include <QTemporaryDir>
#include <QTest>

#include "core/edit/business.h"
#include "core/edit/registereditor.h"
#include "core/register/history.h"
#include "core/register/person.h"
#include "core/register/store.h"
#include "core/register/text.h"
#include "core/register/workfiles.h"
#include "samplegen.h"

using namespace reg;
using edit::Business;

namespace {

const char* const kToday = "20250101";

sample::Person person(const char* serial, const char* address, const char* head, int relation,
                      const char* name, int sex, const char* born) {
    sample::Person v(kFieldCount);
    v[F序号 - 1] = serial;
    v[F房屋详址 - 1] = gb(address);
    v[F居住类型 - 1] = "1";
    v[F居住详址 - 1] = gb(address);
    v[F户主姓名 - 1] = gb(head);
    v[F与户主关系 - 1] = std::to_string(relation);
    v[F姓名 - 1] = gb(name);
    v[F性别 - 1] = std::to_string(sex);
    v[F出生日期 - 1] = born;
    v[F民族 - 1] = "1";
    v[F户籍登记类型 - 1] = "1";
    v[F籍贯 - 1] = gb("江苏");
    return v;
}

// Three households: a family of three generations with the head's father, a father and son,
// and one person alone.
std::vector<sample::Person> family() {
    return {person("1", "东街1号", "王建国", 1, "王建国", 1, "19600101"),
            person("2", "东街1号", "王建国", 2, "李秀英", 2, "19620101"),
            person("3", "东街1号", "王建国", 3, "王小明", 1, "19850101"),
            person("4", "东街1号", "王建国", 7, "张丽", 2, "19860101"),
            person("5", "东街1号", "王建国", 4, "王一一", 1, "20100101"),
            person("6", "东街1号", "王建国", 5, "王老汉", 1, "19350101"),
            person("7", "东街2号", "赵大", 1, "赵大", 1, "19700101"),
            person("8", "东街2号", "赵大", 3, "赵二", 1, "19950101"),
            person("9", "东街3号", "钱三", 1, "钱三", 2, "19800101")};
}

std::vector<sample::Person> records(const QString& path) {
    RecordStore store;
    std::vector<sample::Person> out;
    static_cast<void>(store.OpenTable(path));
    for (long n = 1; n <= store.RecordCount(); ++n) {
        store.GoTo(n);
        out.push_back(history::currentValues(store));
    }
    static_cast<void>(store.CloseAllTables());
    return out;
}

// A planned record in a few words: 序号 before→after, then 与户主关系 (with ? to check),
// 户主姓名, 房屋详址 and 户籍变动类型 after.
QString brief(const edit::PlannedRecord& r) {
    const auto& a = r.after;
    const bool check = std::count(r.toCheck.begin(), r.toCheck.end(), int(F与户主关系)) > 0;
    return QStringLiteral("%1→%2 %3%4 %5 %6 %7")
        .arg(r.before.empty() ? QStringLiteral("新") : fromGb(r.before[F序号 - 1]),
             fromGb(a[F序号 - 1]), fromGb(a[F与户主关系 - 1]),
             check ? QStringLiteral("?") : QString(), fromGb(a[F户主姓名 - 1]),
             fromGb(a[F房屋详址 - 1]), fromGb(a[F户籍变动类型 - 1]));
}

edit::Request request(Business b, const char* household, std::vector<std::string> members = {},
                      const char* newHead = "", const char* target = "") {
    edit::Request r;
    r.business = b;
    r.household = gb(household);
    r.members = std::move(members);
    r.newHead = newHead;
    r.target = gb(target);
    r.date = "20240601";
    return r;
}

struct Folder {
    QTemporaryDir dir;
    QString registerPath() const { return pathIn(dir.path(), names::kRegister); }
    edit::Planned plan(const edit::Request& r) {
        RecordStore store;
        static_cast<void>(store.OpenTable(registerPath()));
        edit::Planned p = edit::plan(store, r, kToday);
        static_cast<void>(store.CloseAllTables());
        return p;
    }
};

}  // namespace

Q_DECLARE_METATYPE(edit::Request)

class TestBusiness : public QObject {
    Q_OBJECT

  private slots:
    void relations_data() {
        QTest::addColumn<int>("member");
        QTest::addColumn<int>("newHead");
        QTest::addColumn<int>("sex");       // the new head's; 0 unknown
        QTest::addColumn<int>("children");  // 子女 and 媳婿 of the old head
        QTest::addColumn<int>("inLaws");
        QTest::addColumn<int>("code");
        QTest::addColumn<bool>("check");
        // A 子女 takes over.
        QTest::newRow("old head → 父母") << 1 << 3 << 1 << 2 << 0 << 5 << false;
        QTest::newRow("spouse → 父母") << 2 << 3 << 1 << 2 << 0 << 5 << false;
        QTest::newRow("other 子女 → 兄弟姐妹") << 3 << 3 << 1 << 2 << 0 << 10 << false;
        QTest::newRow("孙子女: child or nephew") << 4 << 3 << 1 << 2 << 0 << 3 << true;
        QTest::newRow("父母 → 祖父母") << 5 << 3 << 1 << 1 << 0 << 6 << false;
        QTest::newRow("the one 媳婿 → 配偶") << 7 << 3 << 1 << 1 << 1 << 2 << false;
        QTest::newRow("媳婿 of two 子女") << 7 << 3 << 1 << 2 << 1 << 2 << true;
        // The spouse takes over: the old head's parents are in-laws by the new head's sex.
        QTest::newRow("old head → 配偶") << 1 << 2 << 2 << 1 << 0 << 2 << false;
        QTest::newRow("子女 stay") << 3 << 2 << 2 << 1 << 0 << 3 << false;
        QTest::newRow("父母 of a wife's husband") << 5 << 2 << 2 << 0 << 0 << 8 << false;
        QTest::newRow("父母 of a husband's wife") << 5 << 2 << 1 << 0 << 0 << 9 << false;
        QTest::newRow("父母, sex unknown") << 5 << 2 << 0 << 0 << 0 << 8 << true;
        // No rule: 其他, to check.
        QTest::newRow("兄弟姐妹 of the spouse") << 10 << 2 << 1 << 0 << 0 << 11 << true;
        QTest::newRow("其他 under 其他") << 6 << 11 << 1 << 0 << 0 << 11 << true;
    }
    void relations() {
        QFETCH(int, member);
        QFETCH(int, newHead);
        QFETCH(int, sex);
        QFETCH(int, children);
        QFETCH(int, inLaws);
        QFETCH(int, code);
        QFETCH(bool, check);
        const edit::RelationProposal p =
            edit::reexpress(member, newHead, edit::RelationContext{sex, children, inLaws});
        QCOMPARE(p.code, code);
        QCOMPARE(p.check, check);
    }

    void childRelation() {
        const std::vector<std::pair<int, edit::RelationProposal>> table = {
            {1, {3, false}}, {2, {3, false}},  {3, {4, false}},
            {7, {4, false}}, {10, {11, true}}, {0, {11, true}}};
        for (const auto& [parent, expected] : table)
            QCOMPARE(edit::childRelation(parent), expected);
    }

    // Every business's records on the small register, or its refusal.
    void plans_data() {
        QTest::addColumn<edit::Request>("request");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QStringList>("records");  // empty: refused with `title`
        const auto rows = [](const char* s) { return QString::fromUtf8(s).split('|'); };

        QTest::newRow("change head to the son")
            << request(Business::ChangeHead, "东街1号", {}, "3")
            << QStringLiteral("变更户主 王建国户")
            << rows(
                   "1→1 5 王小明 东街1号 |2→2 5 王小明 东街1号 |3→3 1 王小明 东街1号 |"
                   "4→4 2 王小明 东街1号 |5→5 3? 王小明 东街1号 |6→6 6 王小明 东街1号 ");
        QTest::newRow("split the young family")
            << request(Business::Split, "东街1号", {"3", "4", "5"}, "3", "西街9号")
            << QStringLiteral("分户 王建国户")
            << rows("3→6.4 1 王小明 西街9号 1|4→6.5 2 王小明 西街9号 1|5→6.6 3? 王小明 西街9号 1");
        QTest::newRow("join between households")
            << request(Business::Join, "东街2号", {"8"}, "", "东街1号")
            << QStringLiteral("并入他户 赵大户") << rows("8→6.5 11? 王建国 东街1号 1");
        edit::Request birth = request(Business::Birth, "东街1号", {"3"});
        birth.newcomers = {person("", "", "", 0, "王二二", 2, "20240301")};
        birth.newcomers[0][F房屋详址 - 1].clear();
        QTest::newRow("a grandchild born")
            << birth << QStringLiteral("出生登记 王建国户") << rows("新→6.5 4 王建国 东街1号 12");
        edit::Request out = request(Business::MoveOut, "东街1号", {"1"}, "2");
        out.kind = "10";
        out.place = gb("上海");
        QTest::newRow("the head moves out, the wife takes over")
            << out << QStringLiteral("迁出注销 王建国户")
            << rows(
                   "1→1 2 李秀英 东街1号 10|2→2 1 李秀英 东街1号 |3→3 3 李秀英 东街1号 |"
                   "4→4 7 李秀英 东街1号 |5→5 4 李秀英 东街1号 |6→6 8 李秀英 东街1号 ");
        QTest::newRow("a death") << request(Business::Death, "东街1号", {"6"})
                                 << QStringLiteral("死亡注销 王建国户")
                                 << rows("6→6 5 王建国 东街1号 13");
        edit::Request in = request(Business::MoveIn, "", {}, "", "南街1号");
        in.kind = "5";
        in.place = gb("浙江");
        in.newcomers = {person("", "", "", 0, "孙五", 1, "19900101")};
        QTest::newRow("a newcomer's own household")
            << in << QStringLiteral("迁入登记 孙五户") << rows("新→10 1 孙五 南街1号 5");

        out.newHead.clear();
        QTest::newRow("head leaves without a new one")
            << out << QStringLiteral("户主离开后此户还有其他成员，请选择新户主！") << QStringList();
        edit::Request early = request(Business::Death, "东街1号", {"5"});
        early.date = "20090101";
        QTest::newRow("died before born")
            << early << QStringLiteral("王一一：日期早于出生日期！") << QStringList();
        early.date = "20300101";
        QTest::newRow("died in the future")
            << early << QStringLiteral("日期不能晚于今天！") << QStringList();
        QTest::newRow("split to a house in use")
            << request(Business::Split, "东街1号", {"3"}, "3", "东街3号")
            << QStringLiteral("房屋详址“东街3号”已有人居住！请另选房屋详址！") << QStringList();
        QTest::newRow("no such household")
            << request(Business::ChangeHead, "北街1号", {}, "3")
            << QStringLiteral("户籍数据中没有房屋详址为“北街1号”的户！") << QStringList();
    }
    void plans() {
        QFETCH(edit::Request, request);
        QFETCH(QString, title);
        QFETCH(QStringList, records);
        Folder f;
        QVERIFY(sample::writeRegister(f.registerPath(), family()));
        const edit::Planned p = f.plan(request);
        if (records.isEmpty()) {
            QVERIFY(!p.plan);
            QCOMPARE(fromGb(p.refusal), title);
            return;
        }
        QVERIFY2(p.plan, qPrintable(fromGb(p.refusal)));
        QCOMPARE(fromGb(p.plan->title), title);
        QStringList got;
        for (const auto& r : p.plan->records) got << brief(r);
        QCOMPARE(got, records);
    }

    // The rules see the register as the business leaves it: the members of a household split
    // off name a head that exists only afterwards; one record breaking a rule refuses all.
    void checkAgainstTheRegisterAfter() {
        Folder f;
        QVERIFY(sample::writeRegister(f.registerPath(), family()));
        edit::RegisterEditor ed(f.dir.path());
        QVERIFY(ed.settle().setAside.isEmpty());
        ed.reload();
        edit::Planned p =
            f.plan(request(Business::Split, "东街1号", {"3", "4", "5"}, "3", "西街9号"));
        QVERIFY(p.plan);
        QVERIFY(ed.checkBusiness(*p.plan).done());
        p.plan->records[1].after[F性别 - 1] = "0";
        const edit::Outcome broken = ed.checkBusiness(*p.plan);
        QCOMPARE(int(broken.kind), int(edit::Outcome::Kind::Refused));
        QCOMPARE(broken.message, QStringLiteral("张丽：请选择性别！"));
        // Another household's 序号 taken by a planned record.
        p.plan->records[1].after[F性别 - 1] = "2";
        p.plan->records[2].after[F序号 - 1] = "9";
        QCOMPARE(ed.checkBusiness(*p.plan).message, QStringLiteral("王一一：序号已存在！"));
        QCOMPARE(records(f.registerPath()), family());
    }

    // A split written as one operation, undone whole; a later change of another record survives
    // the undo, a later change of one of its records refuses it.
    void applyAndUndo() {
        Folder f;
        QVERIFY(sample::writeRegister(f.registerPath(), family()));
        edit::RegisterEditor ed(f.dir.path());
        QVERIFY(ed.settle().setAside.isEmpty());
        ed.reload();
        const edit::Planned p =
            f.plan(request(Business::Split, "东街1号", {"3", "4", "5"}, "3", "西街9号"));
        QVERIFY(p.plan);
        const edit::Outcome done = ed.applyBusiness(*p.plan);
        QVERIFY2(done.done(), qPrintable(done.message));
        QCOMPARE(done.counts->persons, 9L);
        QCOMPARE(done.counts->heads, 4L);
        // The new household right after its old one, in the tree as in the register, and the
        // tree's hidden list mirrors it line for line.
        const auto& households = ed.view().households();
        QCOMPARE(households.size(), size_t(4));
        QCOMPARE(households[1].address, gb("西街9号"));
        QCOMPARE(households[1].persons,
                 (std::vector<std::string>{gb("6.4:王小明:王小明"), gb("6.5:王小明:张丽"),
                                           gb("6.6:王小明:王一一")}));
        std::vector<std::string> lines;
        for (const auto& h : households) {
            lines.push_back(h.address);
            lines.insert(lines.end(), h.persons.begin(), h.persons.end());
        }
        QCOMPARE(ed.view().lines(), lines);
        std::vector<std::string> serials;
        for (const auto& r : records(f.registerPath())) serials.push_back(r[F序号 - 1]);
        QCOMPARE(serials,
                 (std::vector<std::string>{"1", "2", "6", "6.4", "6.5", "6.6", "7", "8", "9"}));
        // One business in the history, its three records as its parts.
        const auto entry = history::entry(f.dir.path(), done.entry);
        QVERIFY(entry);
        QCOMPARE(int(entry->action), int(history::Action::Business));
        QCOMPARE(entry->file, QStringLiteral("分户 王建国户"));
        QCOMPARE(history::parts(f.dir.path(), done.entry).size(), size_t(3));

        // A later change of a record the business did not touch.
        auto qian = family()[8];
        qian[F工作单位 - 1] = gb("农机站");
        QVERIFY(ed.applyChanges({{edit::RecordChange::Kind::Modify, "9", qian}}).done());
        QVERIFY(!ed.businessUndoRefusal(done.entry));
        const edit::Outcome undone = ed.undoBusiness(done.entry);
        QVERIFY2(undone.done(), qPrintable(undone.message));
        auto expected = family();
        expected[8] = qian;
        QCOMPARE(records(f.registerPath()), expected);
        QCOMPARE(ed.view().households().size(), size_t(3));
        QCOMPARE(ed.view().households()[0].persons.size(), size_t(6));
        const auto undo = history::entry(f.dir.path(), undone.entry);
        QVERIFY(undo);
        QCOMPARE(int(undo->action), int(history::Action::Undo));
        QCOMPARE(undo->undoes, done.entry);
        QCOMPARE(history::parts(f.dir.path(), undone.entry).size(), size_t(3));
        QVERIFY(ed.businessUndoRefusal(done.entry));
        QCOMPARE(int(ed.undoBusiness(done.entry).kind), int(edit::Outcome::Kind::Refused));

        // Again, and one of its records changed afterwards: the undo is refused, nothing moves.
        const edit::Planned again =
            f.plan(request(Business::Split, "东街1号", {"3", "4", "5"}, "3", "西街9号"));
        const edit::Outcome second = ed.applyBusiness(*again.plan);
        QVERIFY(second.done());
        auto moved = again.plan->records[0].after;
        moved[F工作单位 - 1] = gb("县医院");
        QVERIFY(ed.applyChanges({{edit::RecordChange::Kind::Modify, "6.4", moved}}).done());
        const auto changed = records(f.registerPath());
        const auto why = ed.businessUndoRefusal(second.entry);
        QVERIFY(why && why->contains(QStringLiteral("王小明")));
        QCOMPARE(int(ed.undoBusiness(second.entry).kind), int(edit::Outcome::Kind::Refused));
        QCOMPARE(records(f.registerPath()), changed);
    }

    // Undoing a business is no undo of a restore: the restore before it stays undoable.
    void restoreStaysUndoable() {
        Folder f;
        QVERIFY(sample::writeRegister(f.registerPath(), family()));
        const QString backup = f.dir.filePath(QStringLiteral("备份.bak"));
        QVERIFY(sample::writeRegister(backup, family()));
        edit::RegisterEditor ed(f.dir.path());
        QVERIFY(ed.settle().setAside.isEmpty());
        ed.reload();
        QVERIFY(ed.restore(backup).done());
        const auto restored = ed.undoable();
        QVERIFY(restored);
        const edit::Planned p = f.plan(request(Business::Death, "东街1号", {"6"}));
        const edit::Outcome done = ed.applyBusiness(*p.plan);
        QVERIFY(done.done());
        QVERIFY(ed.undoBusiness(done.entry).done());
        QVERIFY(ed.undoable());
        QCOMPARE(ed.undoable()->id, restored->id);
    }

    // A plan made on a register that changed since is not written.
    void stalePlan() {
        Folder f;
        QVERIFY(sample::writeRegister(f.registerPath(), family()));
        edit::RegisterEditor ed(f.dir.path());
        QVERIFY(ed.settle().setAside.isEmpty());
        ed.reload();
        edit::Planned p = f.plan(request(Business::Death, "东街1号", {"6"}));
        QVERIFY(p.plan);
        p.plan->records[0].before[F工作单位 - 1] = gb("别处");
        QCOMPARE(int(ed.applyBusiness(*p.plan).kind), int(edit::Outcome::Kind::Refused));
        QCOMPARE(records(f.registerPath()), family());
        QVERIFY(history::entries(f.dir.path()).empty());
    }
};

QTEST_GUILESS_MAIN(TestBusiness)
#include "tst_business.moc"

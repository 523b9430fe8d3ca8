// The counter's business through the real windows: the tree's submenu, the business window's
// pages, the clerk's corrections of the plan and what the register and the tree show afterwards.
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QTableWidget>
#include <QTest>
#include <QTreeWidget>

#include "common/lookup.h"
#include "common/programfolder.h"
#include "common/scripteddialogs.h"
#include "common/typing.h"
#include "core/edit/health.h"
#include "core/register/history.h"
#include "core/register/person.h"
#include "core/register/programfolder.h"
#include "core/register/store.h"
#include "core/register/text.h"
#include "core/register/workfiles.h"
#include "gui/info/businesswindow.h"
#include "gui/info/infowindow.h"

using namespace reg;
using hjtest::click;
using hjtest::find;
using hjtest::records;
using maint::BusinessWindow;
using maint::InfoWindow;

namespace {

// A person of 甲村1号 (head 张三) with its relation to the head.
std::vector<std::string> member(const char* serial, const char* name, const char* relation,
                                const char* change = "0", const char* changed = "") {
    std::vector<std::string> v(kFieldCount);
    v[F序号 - 1] = serial;
    v[F房屋详址 - 1] = gb("甲村1号");
    v[F居住类型 - 1] = "1";
    v[F居住详址 - 1] = gb("甲村1号");
    v[F户主姓名 - 1] = gb("张三");
    v[F与户主关系 - 1] = relation;
    v[F姓名 - 1] = gb(name);
    v[F性别 - 1] = "1";
    v[F出生日期 - 1] = "19800101";
    v[F受教育程度 - 1] = "0";
    v[F婚姻类型 - 1] = "0";
    v[F民族 - 1] = "1";
    v[F户籍登记类型 - 1] = "1";
    v[F户籍变动类型 - 1] = change;
    v[F户籍变动日期 - 1] = changed;
    return v;
}

QTreeWidget* tree(const InfoWindow& w) {
    return find<QTreeWidget>(&w, "树型框");
}

QTreeWidgetItem* personItem(const InfoWindow& w, const QString& serial) {
    for (int i = 0; i < tree(w)->topLevelItemCount(); ++i)
        for (int c = 0; c < tree(w)->topLevelItem(i)->childCount(); ++c)
            if (tree(w)->topLevelItem(i)->child(c)->text(0).section(':', 0, 0) == serial)
                return tree(w)->topLevelItem(i)->child(c);
    return nullptr;
}

QMenu* businessMenu(const InfoWindow& w) {
    for (QAction* a : tree(w)->actions())
        if (a->text() == QStringLiteral("户籍业务")) return a->menu();
    return nullptr;
}

BusinessWindow* businessWindow() {
    for (QWidget* top : QApplication::topLevelWidgets())
        if (auto* b = qobject_cast<BusinessWindow*>(top)) return b;
    return nullptr;
}

// The business of that name chosen from the tree's menu on the person with `serial` (none: no
// choice in the tree); the business window it opened.
BusinessWindow* choose(const InfoWindow& w, const QString& business, const QString& serial) {
    if (!serial.isEmpty()) {
        tree(w)->setCurrentItem(personItem(w, serial));
        emit tree(w)->itemPressed(personItem(w, serial), 0);
    }
    for (QAction* a : businessMenu(w)->actions())
        if (a->text() == business) a->trigger();
    return businessWindow();
}

void chooseData(QComboBox* combo, const QString& data) {
    combo->setCurrentIndex(combo->findData(data));
}

// The plan table's relation box and check mark of the record with `serial`.
int planRow(BusinessWindow* b, const QString& serial) {
    auto* plan = find<QTableWidget>(b, "变更方案");
    for (int r = 0; r < plan->rowCount(); ++r)
        if (plan->item(r, 0)->text() == serial) return r;
    return -1;
}

// A confirmation as the window words it: lines joined by CR LF.
QString lines(const QStringList& text) {
    return text.join(QStringLiteral("\r\n"));
}

const QString kAsk = QStringLiteral("       确认办理吗？");

}  // namespace

class TestBusiness : public QObject {
    Q_OBJECT

    hjtest::ProgramFolder folder;
    hjtest::ScriptedDialogs dialogs;

    QString reg_() const { return folder.file(names::kRegister); }

    void start(const std::vector<std::vector<std::string>>& people) {
        QFile::remove(reg_());
        QFile::remove(folder.file(history::kFileName));
        QVERIFY(createRegisterIfMissing(reg_()));
        RecordStore s;
        QVERIFY(s.OpenTable(reg_()));
        for (const auto& p : people) QVERIFY(s.AppendRecord(p));
        QVERIFY(s.CloseAllTables());
    }

  private slots:
    void cleanup() {
        const QString problems = dialogs.takeProblems();
        QVERIFY2(problems.isEmpty(), qPrintable(problems));
    }

    void theSubmenuNamesTheSevenBusinessesAndNeedsAChoice() {
        start({member("1", "张三", "1")});
        InfoWindow w(folder.path(), dialogs);
        QStringList names;
        for (QAction* a : businessMenu(w)->actions()) names << a->text();
        QCOMPARE(names, (QStringList{"出生登记", "迁入登记", "迁出注销", "死亡注销", "变更户主",
                                     "分户", "并入他户"}));
        dialogs.expectWarning(QStringLiteral("请先在左侧列表中选择一户或其中一人！"));
        QVERIFY(!choose(w, QStringLiteral("分户"), QString()));
    }

    // The window opens on the chosen page and person's household.
    void eachEntryOpensItsPage() {
        start({member("1", "张三", "1"), member("2", "张四", "3")});
        InfoWindow w(folder.path(), dialogs);
        const QStringList pages{"出生登记", "迁入登记", "迁出注销", "死亡注销",
                                "变更户主", "分户",     "并入他户"};
        for (int i = 0; i < pages.size(); ++i) {
            BusinessWindow* b = choose(w, pages[i], QStringLiteral("2"));
            QVERIFY(b);
            QCOMPARE(int(b->business()), i);
            QCOMPARE(b->address(), gb("甲村1号"));
        }
    }

    // 出生登记: the relation is proposed from the parent, the clerk confirms every value, the
    // register gets the child and the history one entry.
    void aBirthAddsTheChildAsProposed() {
        start({member("1", "张三", "1"), member("2", "张四", "3")});
        InfoWindow w(folder.path(), dialogs);
        BusinessWindow* b = choose(w, QStringLiteral("出生登记"), QStringLiteral("1"));
        chooseData(find<QComboBox>(b, "出生登记:父亲或母亲"), QStringLiteral("2"));
        hjtest::typeInto(find<QLineEdit>(b, "出生登记:姓名"), QStringLiteral("张小"));
        find<QComboBox>(b, "出生登记:性别")->setCurrentIndex(2);
        hjtest::typeInto(find<QLineEdit>(b, "出生登记:出生日期"), QStringLiteral("20200101"));
        b->propose();
        QVERIFY(b->shownPlan());
        QCOMPARE(b->shownPlan()->records.size(), size_t(1));
        const std::vector<std::string> child = b->shownPlan()->records[0].after;
        QCOMPARE(child[F与户主关系 - 1], std::string("4"));  // 孙子女 of the head
        QCOMPARE(child[F姓名 - 1], gb("张小"));
        QCOMPARE(child[F性别 - 1], std::string("2"));

        // A new record shows every value it gets, codes by their names.
        dialogs.expectQuestion(
            lines({"出生登记 张三户：将变更以下 1 条记录", "", "新增 序号3 张小", "    序号：3",
                   "    房屋详址：甲村1号", "    居住类型：居住在本村居", "    居住详址：甲村1号",
                   "    户主姓名：张三", "    与户主关系：孙子女", "    姓名：张小", "    性别：女",
                   "    出生日期：20200101", "    民族：汉族", "    户籍登记类型：本村居",
                   "    户籍变动类型：出生", "    户籍变动日期：20200101", "", kAsk}),
            true);
        dialogs.expectNotice(QStringLiteral("  办理成功"));
        click(b, "确定按钮");
        const auto after = records(reg_());
        QCOMPARE(after.size(), size_t(3));
        QVERIFY(std::find(after.begin(), after.end(), child) != after.end());
        long businesses = 0;
        for (const history::Entry& e : history::entries(folder.path()))
            businesses += e.action == history::Action::Business;
        QCOMPARE(businesses, 1L);
        // The tree shows the child, and the household's head is chosen.
        QVERIFY(personItem(w, fromGb(child[F序号 - 1])));
        QCOMPARE(tree(w)->currentItem(), personItem(w, QStringLiteral("1")));
    }

    // What the plan refuses, and what the entry rules refuse in the corrected plan, is warned
    // about and nothing is written.
    void refusalsWarnAndWriteNothing_data() {
        QTest::addColumn<QString>("business");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("warning");
        QTest::newRow("the plan: a move out without its kind")
            << QStringLiteral("迁出注销") << QString() << QString()
            << QStringLiteral("请选择迁出类型！");
        QTest::newRow("the rules: a birth without a name")
            << QStringLiteral("出生登记") << QString() << QString()
            << QStringLiteral("3：请输入姓名！");
        QTest::newRow("the rules: a sex the clerk took away")
            << QStringLiteral("出生登记") << QStringLiteral("性别") << QStringLiteral("0")
            << QStringLiteral("张小：请选择性别！");
    }
    void refusalsWarnAndWriteNothing() {
        QFETCH(QString, business);
        QFETCH(QString, field);
        QFETCH(QString, value);
        QFETCH(QString, warning);
        start({member("1", "张三", "1"), member("2", "张四", "3")});
        const auto before = records(reg_());
        InfoWindow w(folder.path(), dialogs);
        BusinessWindow* b = choose(w, business, QStringLiteral("1"));
        if (business == QStringLiteral("迁出注销")) {
            find<QTableWidget>(b, "迁出注销:本户人员")->item(1, 0)->setCheckState(Qt::Checked);
            find<QLineEdit>(b, "迁出注销:迁往何地")->setText(QStringLiteral("广州市"));
        }
        if (!field.isEmpty() || business == QStringLiteral("出生登记")) {
            chooseData(find<QComboBox>(b, "出生登记:父亲或母亲"), QStringLiteral("1"));
            find<QComboBox>(b, "出生登记:性别")->setCurrentIndex(1);
            find<QLineEdit>(b, "出生登记:出生日期")->setText(QStringLiteral("20200101"));
        }
        if (!field.isEmpty()) {
            find<QLineEdit>(b, "出生登记:姓名")->setText(QStringLiteral("张小"));
            b->propose();
            // The clerk empties the sex in the record's grid.
            auto* grid = find<QTableWidget>(b, "记录各项");
            static_cast<QComboBox*>(grid->cellWidget(F性别 - 1, 1))->setCurrentIndex(value.toInt());
        }
        dialogs.expectWarning(warning);
        click(b, "确定按钮");
        QCOMPARE(records(reg_()), before);
    }

    // A relation the register cannot settle is marked for the clerk; the clerk's choice is what
    // is confirmed and written.
    void aMarkedRelationIsWrittenAsTheClerkCorrectedIt() {
        start({member("1", "张三", "1"), member("2", "张四", "3"), member("3", "张小", "4")});
        InfoWindow w(folder.path(), dialogs);
        BusinessWindow* b = choose(w, QStringLiteral("变更户主"), QStringLiteral("1"));
        chooseData(find<QComboBox>(b, "变更户主:新户主"), QStringLiteral("2"));
        b->propose();
        auto* plan = find<QTableWidget>(b, "变更方案");
        const int row = planRow(b, QStringLiteral("3"));
        QVERIFY(row >= 0);
        QCOMPARE(plan->item(row, 4)->text(), QStringLiteral("请核对"));
        QCOMPARE(plan->item(planRow(b, QStringLiteral("2")), 4)->text(), QString());
        // A nephew of the new head: 其他.
        static_cast<QComboBox*>(plan->cellWidget(row, 3))->setCurrentIndex(11);
        // Changed fields only, before and after, and the mark the clerk was shown.
        dialogs.expectQuestion(
            lines({"变更户主 张三户：将变更以下 3 条记录", "", "修改 序号1 张三",
                   "    户主姓名：张三 → 张四", "    与户主关系：本人 → 父母", "",
                   "修改 序号2 张四", "    户主姓名：张三 → 张四", "    与户主关系：子女 → 本人",
                   "", "修改 序号3 张小", "    户主姓名：张三 → 张四",
                   "    与户主关系：孙子女 → 其他", "    请核对：与户主关系", "", kAsk}),
            true);
        dialogs.expectNotice(QStringLiteral("  办理成功"));
        click(b, "确定按钮");
        const auto after = records(reg_());
        QCOMPARE(after[2][F与户主关系 - 1], std::string("11"));
        QCOMPARE(after[1][F与户主关系 - 1], std::string("1"));
        QCOMPARE(tree(w)->currentItem(), personItem(w, QStringLiteral("2")));
    }

    // Persons taken off the register are grey in the tree: from the start, after a death is
    // recorded, and no longer once it is undone.
    void deregisteredPersonsAreGrey() {
        start({member("1", "张三", "1"), member("2", "张四", "3", "10", "20200101"),
               member("3", "张五", "3")});
        InfoWindow w(folder.path(), dialogs);
        const QColor grey(0x80, 0x80, 0x80);
        QCOMPARE(personItem(w, "2")->foreground(0).color(), grey);
        QVERIFY(personItem(w, "3")->foreground(0).color() != grey);
        BusinessWindow* b = choose(w, QStringLiteral("死亡注销"), QStringLiteral("3"));
        find<QTableWidget>(b, "死亡注销:本户人员")->item(2, 0)->setCheckState(Qt::Checked);
        const QString today = fromGb(health::today());
        dialogs.expectQuestion(lines({"死亡注销 张三户：将变更以下 1 条记录", "", "修改 序号3 张五",
                                      "    户籍变动类型：（空） → 死亡",
                                      "    户籍变动日期：（空） → " + today, "", kAsk}),
                               true);
        dialogs.expectNotice(QStringLiteral("  办理成功"));
        click(b, "确定按钮");
        QCOMPARE(personItem(w, "3")->foreground(0).color(), grey);
        QVERIFY(personItem(w, "1")->foreground(0).color() != grey);

        // The death undone from the history: on the register again, no longer grey.
        std::optional<history::Entry> death;
        for (const history::Entry& e : history::entries(folder.path()))
            if (e.action == history::Action::Business) death = e;
        QVERIFY(death);
        dialogs.expectQuestion(
            QStringLiteral("       将撤销 %1 办理的“%2”，其中的每条记录都回到办理之前的样子。"
                           "确认撤销吗？")
                .arg(death->time, death->file),
            true);
        dialogs.expectNotice(QStringLiteral("  撤销成功"));
        w.undoBusiness(death->id);
        QVERIFY(personItem(w, "3")->foreground(0).color() != grey);
        QCOMPARE(personItem(w, "2")->foreground(0).color(), grey);
    }
};

QTEST_MAIN(TestBusiness)
#include "tst_business.moc"

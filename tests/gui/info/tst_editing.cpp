// Add, modify, delete and clear through the real window, with every message checked, and a long
// random sequence of edits after each of which the tree must still describe the register.
#include <sqlite3.h>

#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTest>
#include <QTreeWidget>
#include <map>
#include <set>

#include "common/lookup.h"
#include "common/programfolder.h"
#include "common/scripteddialogs.h"
#include "common/typing.h"
#include "core/edit/registerview.h"
#include "core/register/person.h"
#include "core/register/programfolder.h"
#include "core/register/store.h"
#include "core/register/text.h"
#include "core/register/workfiles.h"
#include "gui/info/infowindow.h"
#include "samplegen.h"

using namespace reg;
using maint::InfoWindow;

namespace {

using hjtest::click;
using hjtest::find;

QString editName(int pos) {
    return QStringLiteral("编辑框%1").arg(pos, 2, 10, QChar('0'));
}
QString comboName(int pos) {
    static const char* const names[] = {"组合框033", "组合框066", "组合框088", "组合框100",
                                        "组合框111", "组合框155", "组合框166", "组合框199"};
    const auto& coded = codedFields();
    for (size_t i = 0; i < coded.size(); ++i)
        if (coded[i] == pos) return QString::fromUtf8(names[i]);
    return {};
}

// A valid person: head of `address` when `head` is the own name, else a child of `head`.
std::vector<std::string> person(const std::string& serial, const char* address, const char* head,
                                const char* name) {
    std::vector<std::string> v(kFieldCount);
    v[F序号 - 1] = serial;
    v[F房屋详址 - 1] = gb(address);
    v[F居住类型 - 1] = "1";
    v[F居住详址 - 1] = gb(address);
    v[F户主姓名 - 1] = gb(head);
    v[F与户主关系 - 1] = std::string(head) == name ? "1" : "3";
    v[F姓名 - 1] = gb(name);
    v[F性别 - 1] = "1";
    v[F出生日期 - 1] = "19800101";
    v[F受教育程度 - 1] = "0";
    v[F婚姻类型 - 1] = "0";
    v[F民族 - 1] = "1";
    v[F户籍登记类型 - 1] = "1";
    v[F户籍变动类型 - 1] = "0";
    return v;
}

// Puts a person's values into the form, as the clerk would type and choose them.
void fill(const InfoWindow& w, const std::vector<std::string>& values) {
    for (int pos = 1; pos <= kFieldCount; ++pos) {
        const std::string& v = values[size_t(pos - 1)];
        if (codeTableOf(pos))
            find<QComboBox>(&w, comboName(pos))->setCurrentIndex(std::stoi(v.empty() ? "0" : v));
        else
            find<QLineEdit>(&w, editName(pos))->setText(fromGb(v));
    }
}

using hjtest::records;
using hjtest::serials;

QTreeWidgetItem* personItem(QTreeWidget* tree, const QString& serial) {
    for (int i = 0; i < tree->topLevelItemCount(); ++i)
        for (int c = 0; c < tree->topLevelItem(i)->childCount(); ++c)
            if (tree->topLevelItem(i)->child(c)->text(0).section(':', 0, 0) == serial)
                return tree->topLevelItem(i)->child(c);
    return nullptr;
}

QTreeWidgetItem* addressItem(QTreeWidget* tree, const QString& address) {
    for (int i = 0; i < tree->topLevelItemCount(); ++i)
        if (tree->topLevelItem(i)->text(0) == address) return tree->topLevelItem(i);
    return nullptr;
}

QStringList labelsOf(QTreeWidgetItem* node) {
    QStringList out;
    for (int c = 0; node && c < node->childCount(); ++c) out << node->child(c)->text(0);
    return out;
}

// Per address, the person labels the tree shows (all nodes of that address together).
using Households = std::map<QString, std::multiset<QString>>;

Households fromTree(QTreeWidget* tree) {
    Households h;
    for (int i = 0; i < tree->topLevelItemCount(); ++i) {
        auto& labels = h[tree->topLevelItem(i)->text(0)];
        for (const QString& l : labelsOf(tree->topLevelItem(i))) labels.insert(l);
    }
    return h;
}

}  // namespace

class TestEditing : public QObject {
    Q_OBJECT

    hjtest::ProgramFolder folder;
    hjtest::ScriptedDialogs dialogs;

    QString reg_() const { return folder.file(names::kRegister); }

    void start(const std::vector<std::vector<std::string>>& people) {
        QFile::remove(reg_());
        QVERIFY(createRegisterIfMissing(reg_()));
        RecordStore s;
        QVERIFY(s.OpenTable(reg_()));
        for (const auto& p : people) QVERIFY(s.AppendRecord(p));
        QVERIFY(s.CloseAllTables());
    }

    static QTreeWidget* tree(const InfoWindow& w) { return find<QTreeWidget>(&w, "树型框"); }
    // A click on a tree item: it becomes current and its record is shown.
    static void select(const InfoWindow& w, QTreeWidgetItem* item) {
        tree(w)->setCurrentItem(item);
        emit tree(w)->itemPressed(item, 0);
    }
    static QListWidget* list(const InfoWindow& w) { return find<QListWidget>(&w, "列表框"); }
    static QString counter(const InfoWindow& w, const char* name) {
        return find<QLabel>(&w, QString::fromUtf8(name))->text();
    }
    static QStringList lines(const InfoWindow& w) {
        QStringList out;
        for (int i = 0; i < list(w)->count(); ++i) out << list(w)->item(i)->text();
        return out;
    }
    // Every address line of the hidden list stands at the position of its address node.
    static bool addressesAligned(const InfoWindow& w) {
        int number = 0;
        for (int i = 0; i < tree(w)->topLevelItemCount(); ++i) {
            QTreeWidgetItem* top = tree(w)->topLevelItem(i);
            if (number >= list(w)->count() || list(w)->item(number)->text() != top->text(0))
                return false;
            std::multiset<QString> nodes, lineSet;
            for (int c = 0; c < top->childCount(); ++c) {
                nodes.insert(top->child(c)->text(0));
                lineSet.insert(list(w)->item(number + 1 + c)->text());
            }
            if (nodes != lineSet) return false;
            number += 1 + top->childCount();
        }
        return number == list(w)->count();
    }

  private slots:
    void cleanup() {
        const QString problems = dialogs.takeProblems();
        QVERIFY2(problems.isEmpty(), qPrintable(problems));
    }

    void addingTheFirstPersonOfAnEmptyRegister() {
        start({});
        InfoWindow w(folder.path(), dialogs);
        fill(w, person("1", "甲村1号", "张三", "张三"));
        find<QLineEdit>(&w, editName(F姓名))->setText(QStringLiteral("张 三"));
        find<QLineEdit>(&w, editName(F户主姓名))->setText(QStringLiteral("张　三"));
        // No at the question: nothing is written.
        dialogs.expectQuestion(QStringLiteral("       确认添加吗？"), false);
        click(w, "添加按钮");
        QCOMPARE(records(reg_()).size(), size_t(0));
        QCOMPARE(find<QLineEdit>(&w, editName(F姓名))->text(), QStringLiteral("张三"));
        dialogs.expectQuestion(QStringLiteral("       确认添加吗？"), true);
        dialogs.expectNotice(QStringLiteral("  添加成功"));
        click(w, "添加按钮");
        QCOMPARE(records(reg_()).size(), size_t(1));
        QCOMPARE(records(reg_())[0][F姓名 - 1], gb("张三"));
        QCOMPARE(lines(w), (QStringList{"甲村1号", "1:张三:张三"}));
        QCOMPARE(labelsOf(addressItem(tree(w), "甲村1号")), (QStringList{"1:张三:张三"}));
        QCOMPARE(counter(w, "透明标签B01"), QStringLiteral("1  名"));
        QCOMPARE(counter(w, "透明标签B02"), QStringLiteral("1  名"));
        QVERIFY(!find<QPushButton>(&w, "添加按钮")->isEnabled());
        QCOMPARE(find<QLineEdit>(&w, editName(F序号))->text(), QString());  // no hint
        QCOMPARE(find<QComboBox>(&w, comboName(F性别))->currentIndex(), 0);
    }

    void addingFollowsTheThreeHouseholdCases() {
        start({person("1", "甲村1号", "张三", "张三"), person("2", "甲村1号", "张三", "张四"),
               person("10", "乙村2号", "王五", "王五")});
        InfoWindow w(folder.path(), dialogs);
        QTreeWidgetItem* selected = personItem(tree(w), "1");
        select(w, selected);
        QVERIFY(find<QPushButton>(&w, "添加按钮")->isEnabled());
        // The selected household: last child, the selection stays.
        fill(w, person("9", "甲村1号", "张三", "张小"));
        dialogs.expectQuestion(QStringLiteral("       确认添加吗？"), true);
        dialogs.expectNotice(QStringLiteral("  添加成功"));
        click(w, "添加按钮");
        QCOMPARE(labelsOf(addressItem(tree(w), "甲村1号")).last(), QStringLiteral("9:张三:张小"));
        QCOMPARE(tree(w)->currentItem(), selected);
        // On disk in numeric order, "9" before "10".
        QCOMPARE(serials(reg_()), (std::vector<std::string>{"1", "2", "9", "10"}));
        QVERIFY(addressesAligned(w));

        // Another listed household: under its node, expanded.
        select(w, selected);
        fill(w, person("11", "乙村2号", "王五", "王小"));
        dialogs.expectQuestion(QStringLiteral("       确认添加吗？"), true);
        dialogs.expectNotice(QStringLiteral("  添加成功"));
        click(w, "添加按钮");
        QTreeWidgetItem* other = addressItem(tree(w), "乙村2号");
        QCOMPARE(labelsOf(other), (QStringList{"10:王五:王五", "11:王五:王小"}));
        QVERIFY(other->isExpanded());
        QVERIFY(addressesAligned(w));

        // A new household: a new node at the end, even with a small serial number.
        select(w, selected);
        fill(w, person("0.5", "丙村3号", "赵六", "赵六"));
        dialogs.expectQuestion(QStringLiteral("       确认添加吗？"), true);
        dialogs.expectNotice(QStringLiteral("  添加成功"));
        click(w, "添加按钮");
        QCOMPARE(tree(w)->topLevelItem(tree(w)->topLevelItemCount() - 1)->text(0),
                 QStringLiteral("丙村3号"));
        QCOMPARE(serials(reg_()).front(), std::string("0.5"));
        QCOMPARE(counter(w, "透明标签B02"), QStringLiteral("3  名"));
        QVERIFY(addressesAligned(w));

        // A rule that fails: its warning, nothing written.
        select(w, selected);
        fill(w, person("2", "甲村1号", "张三", "张五"));
        dialogs.expectWarning(QStringLiteral("序号已存在！"));
        click(w, "添加按钮");
        QCOMPARE(records(reg_()).size(), size_t(6));
    }

    // The health checks speak above the confirmation and never refuse; No writes nothing.
    void confirmationsShowWhatTheChecksFind_data() {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("id");
        QTest::addColumn<QString>("birth");
        QTest::addColumn<QString>("question");
        const QString add = QStringLiteral("       确认添加吗？");
        const QString modify = QStringLiteral("       确认修改吗？");
        const QString checkDigit = QStringLiteral(
            "公民身份号码的校验码（第18位）应为“4”，现为“5”，号码中可能有输错的数字");
        QTest::newRow("add, sound") << "添加按钮"
                                    << "440524188001010014"
                                    << "18800101" << add;
        QTest::newRow("modify, sound") << "修改按钮"
                                       << ""
                                       << "19800101" << modify;
        QTest::newRow("add, one finding") << "添加按钮"
                                          << "440524188001010015"
                                          << "18800101" << checkDigit + "\r\n\r\n" + add;
        QTest::newRow("modify, three findings")
            << "修改按钮"
            << "440524188001010015"
            << "20130231"
            << QStringLiteral("公民身份号码中的出生日期18800101与出生日期20130231不同\r\n") +
                   checkDigit +
                   QStringLiteral(
                       "\r\n出生日期“20130231”不是有效的日期（应为年＋月＋日八位数字）"
                       "\r\n\r\n") +
                   modify;
    }
    void confirmationsShowWhatTheChecksFind() {
        QFETCH(QString, button);
        QFETCH(QString, id);
        QFETCH(QString, birth);
        QFETCH(QString, question);
        start({person("1", "甲村1号", "张三", "张三")});
        const auto before = records(reg_());
        InfoWindow w(folder.path(), dialogs);
        select(w, personItem(tree(w), "1"));
        const bool adding = button == QStringLiteral("添加按钮");
        auto values = person(adding ? "2" : "1", "甲村1号", "张三", adding ? "张四" : "张三");
        values[F公民身份号码 - 1] = toGb(id);
        values[F出生日期 - 1] = toGb(birth);
        fill(w, values);
        dialogs.expectQuestion(question, false);
        click(w, button.toUtf8().constData());
        QCOMPARE(records(reg_()), before);
    }

    void modifyingInPlaceAndMovingAway() {
        start({person("1", "甲村1号", "张三", "张三"), person("2", "甲村1号", "张三", "张四"),
               person("3", "乙村2号", "王五", "王五")});
        InfoWindow w(folder.path(), dialogs);
        // An address node selected: no record.
        select(w, addressItem(tree(w), "甲村1号"));
        dialogs.expectWarning(QStringLiteral("请选中左侧列表中所要修改的记录的编号！"));
        click(w, "修改按钮");

        select(w, personItem(tree(w), "2"));
        QCOMPARE(find<QLineEdit>(&w, editName(F姓名))->text(), QStringLiteral("张四"));
        find<QLineEdit>(&w, editName(F工作单位))->setText(QStringLiteral("县 农 机 站"));
        dialogs.expectQuestion(QStringLiteral("       确认修改吗？"), true);
        dialogs.expectNotice(QStringLiteral("  修改成功"));
        click(w, "修改按钮");
        QCOMPARE(records(reg_())[1][F工作单位 - 1], gb("县农机站"));
        QCOMPARE(tree(w)->currentItem()->text(0), QStringLiteral("2:张三:张四"));
        QCOMPARE(find<QLineEdit>(&w, editName(F工作单位))->text(), QStringLiteral("县农机站"));

        // Into a household that has its own group, number unchanged: refused by rule 6b.
        find<QLineEdit>(&w, editName(F房屋详址))->setText(QStringLiteral("乙村2号"));
        find<QLineEdit>(&w, editName(F户主姓名))->setText(QStringLiteral("王五"));
        dialogs.expectWarning(
            QStringLiteral("此人将在左侧列表中已存在的房屋详址之间切换！但是序号尚未更改！"
                           "请根据切换后的房屋详址更改序号！"));
        click(w, "修改按钮");
        // With a new number it moves, last child of the target household.
        find<QLineEdit>(&w, editName(F序号))->setText(QStringLiteral("3.5"));
        dialogs.expectQuestion(QStringLiteral("       确认修改吗？"), true);
        dialogs.expectNotice(QStringLiteral("  修改成功"));
        click(w, "修改按钮");
        QCOMPARE(labelsOf(addressItem(tree(w), "乙村2号")),
                 (QStringList{"3:王五:王五", "3.5:王五:张四"}));
        QCOMPARE(labelsOf(addressItem(tree(w), "甲村1号")), (QStringList{"1:张三:张三"}));
        QCOMPARE(serials(reg_()), (std::vector<std::string>{"1", "3", "3.5"}));
        QVERIFY(addressesAligned(w));

        // The sole person of an address moved to a new address: asked first, then the old
        // address node is gone and a new one stands at the end.
        select(w, personItem(tree(w), "1"));
        fill(w, person("1", "丁村4号", "张三", "张三"));
        const QString sole =
            QStringLiteral(
                "\r\n本房屋详址下只有一条记录，除非本房屋详址今后不再使用，否则请使用"
                "<添加>按钮和<清空>按钮在本房屋详址下添加一条空记录后再进行修改操作。"
                "\r\n\r\n\r\n") +
            QString(58, ' ') + QStringLiteral("继续本次操作吗？");
        dialogs.expectQuestion(sole, false);
        click(w, "修改按钮");
        QCOMPARE(records(reg_())[0][F房屋详址 - 1], gb("甲村1号"));
        dialogs.expectQuestion(sole, true);
        dialogs.expectQuestion(QStringLiteral("       确认修改吗？"), true);
        dialogs.expectNotice(QStringLiteral("  修改成功"));
        click(w, "修改按钮");
        QVERIFY(!addressItem(tree(w), "甲村1号"));
        QCOMPARE(tree(w)->topLevelItem(tree(w)->topLevelItemCount() - 1)->text(0),
                 QStringLiteral("丁村4号"));
        QVERIFY(tree(w)->topLevelItem(tree(w)->topLevelItemCount() - 1)->isExpanded());
        QVERIFY(addressesAligned(w));
        QVERIFY(!tree(w)->currentItem());

        // A head turned into a member with a new name, the head's name kept: its own stored
        // record is the head record the rules find.
        select(w, personItem(tree(w), "3"));
        find<QLineEdit>(&w, editName(F姓名))->setText(QStringLiteral("王大"));
        find<QComboBox>(&w, comboName(F与户主关系))->setCurrentIndex(3);
        dialogs.expectQuestion(QStringLiteral("       确认修改吗？"), true);
        dialogs.expectNotice(QStringLiteral("  修改成功"));
        click(w, "修改按钮");
        QCOMPARE(counter(w, "透明标签B02"), QStringLiteral("1  名"));
    }

    void deletingAndClearing() {
        start({person("1", "甲村1号", "张三", "张三"), person("2", "甲村1号", "张三", "张四"),
               person("3", "乙村2号", "王五", "王五")});
        InfoWindow w(folder.path(), dialogs);
        const QString sure = QStringLiteral("本操作将把所选记录从数据库中删除！确认删除吗？");
        const QString last = QStringLiteral(
            "本房屋详址下只有一条记录，除非本房屋详址今后不再使用，否则请勿删除并使用<清空>按钮"
            "进行操作。继续本次操作吗？");
        select(w, addressItem(tree(w), "甲村1号"));
        dialogs.expectWarning(QStringLiteral("请选中左侧列表中所要删除的记录的编号！"));
        click(w, "删除按钮");
        dialogs.expectWarning(QStringLiteral("请选中左侧列表中所要清空的记录的编号！"));
        click(w, "清空按钮");

        // One of several members: only that node goes.
        select(w, personItem(tree(w), "1"));
        dialogs.expectQuestion(sure, false);
        click(w, "删除按钮");
        QCOMPARE(records(reg_()).size(), size_t(3));
        dialogs.expectQuestion(sure, true);
        dialogs.expectNotice(QStringLiteral("  删除成功"));
        click(w, "删除按钮");
        QCOMPARE(serials(reg_()), (std::vector<std::string>{"2", "3"}));
        QCOMPARE(labelsOf(addressItem(tree(w), "甲村1号")), (QStringList{"2:张三:张四"}));
        QCOMPARE(counter(w, "透明标签B02"), QStringLiteral("1  名"));
        QCOMPARE(find<QLineEdit>(&w, editName(F姓名))->text(), QString());
        QVERIFY(!find<QPushButton>(&w, "添加按钮")->isEnabled());
        QVERIFY(addressesAligned(w));

        // Clearing keeps the number, the address and the remark typed into the form.
        select(w, personItem(tree(w), "2"));
        find<QLineEdit>(&w, editName(F备注))->setText(QStringLiteral("已迁出"));
        const QString clear = QStringLiteral(
                                  "\r\n本操作将把所选记录除序号、房屋详址、备注外的其它数据清空 "
                                  "\r\n\r\n   所选记录仍保留在数据库中并且序号和房屋详址保持不变 "
                                  "\r\n\r\n\r\n") +
                              QString(22, ' ') + QStringLiteral("确认清空吗？");
        dialogs.expectQuestion(clear, true);
        dialogs.expectNotice(QStringLiteral("  清空成功"));
        click(w, "清空按钮");
        const auto cleared = records(reg_())[0];
        QCOMPARE(cleared[F序号 - 1], std::string("2"));
        QCOMPARE(cleared[F房屋详址 - 1], gb("甲村1号"));
        QCOMPARE(cleared[F备注 - 1], gb("已迁出"));
        QCOMPARE(cleared[F姓名 - 1], std::string());
        QCOMPARE(cleared[F性别 - 1], std::string("0"));
        QCOMPARE(tree(w)->currentItem()->text(0), QStringLiteral("2::"));
        QCOMPARE(lines(w).at(1), QStringLiteral("2::"));
        QCOMPARE(counter(w, "透明标签B01"), QStringLiteral("1  名"));
        QVERIFY(addressItem(tree(w), "甲村1号"));  // the household keeps its node

        // The last records of the register: the tree empties and adding is possible again.
        for (const char* serial : {"2", "3"}) {
            select(w, personItem(tree(w), serial));
            dialogs.expectQuestion(last, true);
            dialogs.expectQuestion(sure, true);
            dialogs.expectNotice(QStringLiteral("  删除成功"));
            click(w, "删除按钮");
        }
        QCOMPARE(tree(w)->topLevelItemCount(), 0);
        QCOMPARE(list(w)->count(), 0);
        QVERIFY(find<QPushButton>(&w, "添加按钮")->isEnabled());
        QCOMPARE(records(reg_()).size(), size_t(0));
    }

    void writesThatFailChangeNothing() {
        start({person("1", "甲村1号", "张三", "张三"), person("2", "甲村1号", "张三", "张四")});
        InfoWindow w(folder.path(), dialogs);
        // The register refuses every write (as a full disk would): each edit says so and the
        // register, the tree and the counters stay as they were.
        RecordStore s;
        QVERIFY(s.OpenTable(reg_()));
        QVERIFY(s.CloseAllTables());
        sqlite3* db = nullptr;
        QVERIFY(sqlite3_open(QFile::encodeName(reg_()).constData(), &db) == SQLITE_OK);
        QVERIFY(sqlite3_exec(db,
                             "CREATE TRIGGER no_insert BEFORE INSERT ON records BEGIN "
                             "SELECT RAISE(ABORT, 'full'); END; "
                             "CREATE TRIGGER no_update BEFORE UPDATE ON records BEGIN "
                             "SELECT RAISE(ABORT, 'full'); END;",
                             nullptr, nullptr, nullptr) == SQLITE_OK);
        sqlite3_close(db);
        const auto before = records(reg_());
        const QStringList shown = lines(w);

        select(w, personItem(tree(w), "1"));
        fill(w, person("3", "甲村1号", "张三", "张五"));
        dialogs.expectQuestion(QStringLiteral("       确认添加吗？"), true);
        dialogs.expectWarning(QStringLiteral("添加失败！"));
        click(w, "添加按钮");

        select(w, personItem(tree(w), "2"));
        find<QLineEdit>(&w, editName(F工作单位))->setText(QStringLiteral("县农机站"));
        dialogs.expectQuestion(QStringLiteral("       确认修改吗？"), true);
        dialogs.expectWarning(QStringLiteral("修改失败！"));
        click(w, "修改按钮");

        dialogs.expectQuestion(QStringLiteral("本操作将把所选记录从数据库中删除！确认删除吗？"),
                               true);
        dialogs.expectWarning(QStringLiteral("删除失败！"));
        click(w, "删除按钮");

        select(w, personItem(tree(w), "2"));
        dialogs.expectQuestion(
            QStringLiteral("\r\n本操作将把所选记录除序号、房屋详址、备注外的其它数据清空 "
                           "\r\n\r\n   所选记录仍保留在数据库中并且序号和房屋详址保持不变 "
                           "\r\n\r\n\r\n") +
                QString(22, ' ') + QStringLiteral("确认清空吗？"),
            true);
        dialogs.expectWarning(QStringLiteral("清空失败！"));
        click(w, "清空按钮");

        QCOMPARE(records(reg_()), before);
        QCOMPARE(lines(w), shown);
        QCOMPARE(counter(w, "透明标签B01"), QStringLiteral("2  名"));
    }

    void aSortThatCannotBeWrittenLeavesTheRecordKept() {
        start({person("5", "甲村1号", "张三", "张三")});
        InfoWindow w(folder.path(), dialogs);
        // Something that is no file stands where the sorted copy goes.
        QVERIFY(QDir(folder.path()).mkdir(names::kSorted));
        select(w, personItem(tree(w), "5"));
        fill(w, person("1", "乙村2号", "王五", "王五"));
        dialogs.expectQuestion(QStringLiteral("       确认添加吗？"), true);
        dialogs.expectNotice(QStringLiteral("  添加成功"));
        click(w, "添加按钮");
        QCOMPARE(serials(reg_()), (std::vector<std::string>{"5", "1"}));
        // The next rebuild that can write puts it in order.
        QVERIFY(QDir(folder.path()).rmdir(names::kSorted));
        QTest::mouseClick(find<QPushButton>(&w, "刷新按钮"), Qt::LeftButton);
        QCOMPARE(serials(reg_()), (std::vector<std::string>{"1", "5"}));
    }

    void randomEditsKeepTheTreeTrueToTheRegister() {
        auto people = sample::generate(60, 21);
        QVERIFY(sample::writeRegister(reg_(), people));
        // The random sequence cannot know which rule a random edit breaks.
        hjtest::ScriptedDialogs yes(hjtest::ScriptedDialogs::Mode::YesToAll);
        InfoWindow w(folder.path(), yes);
        QRandomGenerator rng(99);
        int next = 1000, done = 0;
        for (int step = 0; step < 250; ++step) {
            QTreeWidget* t = tree(w);
            std::vector<QTreeWidgetItem*> persons;
            for (int i = 0; i < t->topLevelItemCount(); ++i)
                for (int c = 0; c < t->topLevelItem(i)->childCount(); ++c)
                    persons.push_back(t->topLevelItem(i)->child(c));
            QTreeWidgetItem* chosen =
                persons.empty() ? nullptr : persons[rng.bounded(int(persons.size()))];
            t->setCurrentItem(chosen);
            if (chosen) emit t->itemPressed(chosen, 0);
            yes.reset();
            const int op = rng.bounded(persons.empty() ? 1 : 5);
            if (op == 0) {  // add: a new household, or a member of the chosen one
                const std::string serial = std::to_string(++next);
                if (chosen && rng.bounded(2)) {
                    auto values = records(reg_())[0];
                    fill(w, person(serial, "", "", "成员"));
                    const QString address = chosen->parent()->text(0);
                    find<QLineEdit>(&w, editName(F房屋详址))->setText(address);
                    // Name the household's head as it is recorded, if it has one.
                    for (const auto& r : records(reg_()))
                        if (fromGb(r[F房屋详址 - 1]) == address && r[F与户主关系 - 1] == "1")
                            find<QLineEdit>(&w, editName(F户主姓名))
                                ->setText(fromGb(r[F户主姓名 - 1]));
                } else {
                    const std::string address = "新村" + serial + "号";
                    fill(w, person(serial, address.c_str(), "新户", "新户"));
                }
                click(w, "添加按钮");
            } else if (op == 1) {  // modify: another employer, or a move with a new number
                if (rng.bounded(2)) {
                    find<QLineEdit>(&w, editName(F工作单位))
                        ->setText(QStringLiteral("单位%1").arg(step));
                } else {
                    find<QLineEdit>(&w, editName(F序号))->setText(QString::number(++next));
                    find<QLineEdit>(&w, editName(F房屋详址))
                        ->setText(QStringLiteral("迁入村%1号").arg(rng.bounded(5)));
                    find<QLineEdit>(&w, editName(F户主姓名))
                        ->setText(find<QLineEdit>(&w, editName(F姓名))->text());
                    find<QComboBox>(&w, comboName(F与户主关系))->setCurrentIndex(1);
                }
                click(w, "修改按钮");
            } else if (op == 2 || op == 3) {
                click(w, "删除按钮");
            } else {
                click(w, "清空按钮");
            }
            done += yes.boxes().size() && yes.boxes().last().startsWith(QStringLiteral("N:"));

            // The tree and the hidden list describe the same households and persons as a
            // fresh rebuild of the register would, and the counters agree with the file.
            QVERIFY2(addressesAligned(w), qPrintable(QStringLiteral("step %1").arg(step)));
            RecordStore s;
            QVERIFY(s.OpenTable(reg_()));
            Households expected;
            for (const auto& item : maint::collectTree(s))
                if (item.level == 0) expected[fromGb(item.text)];
            std::string address;
            for (long n = 1; n <= s.RecordCount(); ++n) {
                s.GoTo(n);
                expected[fromGb(s.ReadField(F房屋详址))].insert(fromGb(maint::personLabel(s)));
            }
            const maint::Counts counts = maint::countPeople(s);
            QVERIFY(s.CloseAllTables());
            QCOMPARE(fromTree(tree(w)), expected);
            QCOMPARE(counter(w, "透明标签B01"), QStringLiteral("%1  名").arg(counts.persons));
            QCOMPARE(counter(w, "透明标签B02"), QStringLiteral("%1  名").arg(counts.heads));
            std::vector<std::string> order = serials(reg_());
            for (size_t i = 1; i < order.size(); ++i)
                QVERIFY(leadingNumber(order[i - 1]) <= leadingNumber(order[i]));
        }
        qInfo("%d of 250 edits went through", done);
        QVERIFY(done > 80);
    }
};

QTEST_MAIN(TestEditing)
#include "tst_editing.moc"

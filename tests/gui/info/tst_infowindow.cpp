// The information-management window driven offscreen: start-up, the tree, the form, the hints,
// the query rows' first states and the close paths.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTreeWidget>

#include "common/lookup.h"
#include "common/programfolder.h"
#include "common/scripteddialogs.h"
#include "common/typing.h"
#include "core/register/files.h"
#include "core/register/person.h"
#include "core/register/text.h"
#include "core/register/workfiles.h"
#include "gui/info/entryform.h"
#include "gui/info/infowindow.h"
#include "samplegen.h"

using namespace reg;
using maint::InfoWindow;

namespace {

using hjtest::find;

QTreeWidget* treeOf(const InfoWindow& w) {
    return find<QTreeWidget>(&w, "树型框");
}
QListWidget* listOf(const InfoWindow& w) {
    return find<QListWidget>(&w, "列表框");
}

// The tree's texts in pre-order.
QStringList preorder(QTreeWidget* tree) {
    QStringList out;
    for (int i = 0; i < tree->topLevelItemCount(); ++i) {
        QTreeWidgetItem* top = tree->topLevelItem(i);
        out << top->text(0);
        for (int c = 0; c < top->childCount(); ++c) out << top->child(c)->text(0);
    }
    return out;
}

QStringList lines(QListWidget* list) {
    QStringList out;
    for (int i = 0; i < list->count(); ++i) out << list->item(i)->text();
    return out;
}

void clickItem(QTreeWidget* tree, QTreeWidgetItem* item) {
    tree->scrollToItem(item);
    const QRect r = tree->visualItemRect(item);
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, r.center());
}

}  // namespace

class TestInfoWindow : public QObject {
    Q_OBJECT

    hjtest::ProgramFolder folder;
    hjtest::ScriptedDialogs dialogs;

    QString registerPath() const { return folder.file(names::kRegister); }

  private slots:
    void cleanup() {
        const QString problems = dialogs.takeProblems();
        QVERIFY2(problems.isEmpty(), qPrintable(problems));
    }

    void emptyRegisterOpensReadyToAdd() {
        InfoWindow w(folder.path(), dialogs);
        QCOMPARE(w.windowTitle(), QStringLiteral("澄禾社区户籍管理系统-信息管理   青石听雨 制作"));
        QCOMPARE(treeOf(w)->topLevelItemCount(), 0);
        QCOMPARE(listOf(w)->count(), 0);
        QVERIFY(listOf(w)->isHidden());
        QCOMPARE(find<QLabel>(&w, "透明标签B01")->text(), QStringLiteral("0  名"));
        QCOMPARE(find<QLabel>(&w, "透明标签B02")->text(), QStringLiteral("0  名"));
        QVERIFY(find<QPushButton>(&w, "添加按钮")->isEnabled());
        QVERIFY(w.inRegisterView());
        // The query rows: only row 1's switch usable, every row's boxes disabled.
        QVERIFY(find<QCheckBox>(&w, "选择框101")->isEnabled());
        for (int k = 102; k <= 108; ++k)
            QVERIFY(!find<QCheckBox>(&w, QStringLiteral("选择框%1").arg(k))->isEnabled());
        QVERIFY(!find<QComboBox>(&w, "组合框A01")->isEnabled());
        QVERIFY(!find<QPushButton>(&w, "导出按钮")->isEnabled());
        QVERIFY(find<QProgressBar>(&w, "进度显示")->isHidden());
        QCOMPARE(find<QComboBox>(&w, "组合框A08")->count(), kFieldCount);
        QCOMPARE(find<QComboBox>(&w, "组合框B01")->itemText(5), QStringLiteral("不含"));
        // The index is built even for an empty register.
        QVERIFY(files::exists(folder.file(names::kIndex)));
    }

    void formShowsHintsAndTakesThemAway() {
        InfoWindow w(folder.path(), dialogs);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        auto* serial = find<QLineEdit>(&w, "编辑框01");
        auto* address = find<QLineEdit>(&w, "编辑框02");
        auto* moved = find<QLineEdit>(&w, "编辑框21");
        QCOMPARE(serial->text(), maint::kSerialHint);
        QCOMPARE(address->text(), maint::kAddressHint);
        QCOMPARE(moved->text(), maint::kMovedHint);
        QTest::mouseClick(serial, Qt::LeftButton);
        QCOMPARE(serial->text(), QString());
        address->setFocus();  // the serial box loses the focus, empty: its hint comes back
        QCOMPARE(serial->text(), maint::kSerialHint);
        QCOMPARE(address->text(), QString());
        hjtest::typeInto(address, QStringLiteral("甲村"));
        moved->setFocus();
        QCOMPARE(address->text(), QStringLiteral("甲村"));
        QCOMPARE(moved->text(), QString());
        address->setFocus();
        QCOMPARE(moved->text(), QString());  // no hint back for this one
        // Input rules: bytes, digits, upper case.
        auto* id = find<QLineEdit>(&w, "编辑框14");
        id->clear();
        QTest::keyClicks(id, QStringLiteral("11010519491231002x"));
        QCOMPARE(id->text(), QStringLiteral("11010519491231002X"));
        auto* name = find<QLineEdit>(&w, "编辑框07");
        hjtest::typeInto(name, QStringLiteral("欧阳王小明"));  // 10 bytes, then 12
        hjtest::typeInto(name, QStringLiteral("明"));
        QCOMPARE(name->text(), QStringLiteral("欧阳王小明明"));
        QTest::keyClicks(name, QStringLiteral("x"));
        QCOMPARE(name->text(), QStringLiteral("欧阳王小明明"));
        auto* birth = find<QLineEdit>(&w, "编辑框09");
        QTest::keyClicks(birth, QStringLiteral("1980a0101"));
        QCOMPARE(birth->text(), QStringLiteral("19800101"));
        QCOMPARE(name->palette().color(QPalette::Base), QColor(0, 255, 255));
    }

    void treeMirrorsTheRegisterAndCountsItsPeople() {
        auto people = sample::generate(300, 7);
        people[5][F与户主关系 - 1] = "0";  // a cleared placeholder: neither person nor head
        sample::shuffle(people, 3);
        QVERIFY(sample::writeRegister(registerPath(), people));
        long persons = 0, heads = 0;
        for (const auto& p : people) {
            persons += isPerson(p[F与户主关系 - 1]);
            heads += isHead(p[F与户主关系 - 1]);
        }
        InfoWindow w(folder.path(), dialogs);
        QTreeWidget* tree = treeOf(w);
        QCOMPARE(preorder(tree), lines(listOf(w)));
        QCOMPARE(preorder(tree).size(), 300 + tree->topLevelItemCount());
        QCOMPARE(find<QLabel>(&w, "透明标签B01")->text(), QStringLiteral("%1  名").arg(persons));
        QCOMPARE(find<QLabel>(&w, "透明标签B02")->text(), QStringLiteral("%1  名").arg(heads));
        QVERIFY(!find<QPushButton>(&w, "添加按钮")->isEnabled());
        // The register was re-sorted on disk: person labels run 1, 2, 3 ...
        QCOMPARE(tree->topLevelItem(0)->child(0)->text(0).section(':', 0, 0), QStringLiteral("1"));
        QVERIFY(!tree->topLevelItem(0)->isExpanded());
    }

    void clickingAPersonShowsTheWholeRecord() {
        auto people = sample::generate(40, 11);
        // Codes the form must show as positions, or as nothing.
        people[2][F民族 - 1] = "0";
        people[2][F户籍变动类型 - 1] = "14";
        people[2][F受教育程度 - 1] = "-1";
        people[2][F婚姻类型 - 1] = "";
        QVERIFY(sample::writeRegister(registerPath(), people));
        InfoWindow w(folder.path(), dialogs);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QTreeWidget* tree = treeOf(w);
        // Find the item of 序号 3 (people[2]).
        QTreeWidgetItem* third = nullptr;
        for (int i = 0; i < tree->topLevelItemCount() && !third; ++i)
            for (int c = 0; c < tree->topLevelItem(i)->childCount(); ++c)
                if (tree->topLevelItem(i)->child(c)->text(0).startsWith(QStringLiteral("3:")))
                    third = tree->topLevelItem(i)->child(c);
        QVERIFY(third);
        tree->expandItem(third->parent());
        clickItem(tree, third);
        QCOMPARE(tree->currentItem(), third);
        QCOMPARE(listOf(w)->currentRow(), w.itemNumber(third));
        QCOMPARE(listOf(w)->currentItem()->text(), third->text(0));
        const auto& p = people[2];
        for (int pos = 1; pos <= kFieldCount; ++pos) {
            if (codeTableOf(pos)) continue;
            const QString edit = QStringLiteral("编辑框%1").arg(pos, 2, 10, QChar('0'));
            QCOMPARE(toGb(find<QLineEdit>(&w, edit)->text()), p[size_t(pos - 1)]);
        }
        QCOMPARE(find<QComboBox>(&w, "组合框066")->currentIndex(), std::stoi(p[F与户主关系 - 1]));
        QCOMPARE(find<QComboBox>(&w, "组合框088")->currentIndex(), std::stoi(p[F性别 - 1]));
        QCOMPARE(find<QComboBox>(&w, "组合框155")->currentIndex(), 0);   // "0"
        QCOMPARE(find<QComboBox>(&w, "组合框199")->currentIndex(), -1);  // beyond the table
        QCOMPARE(find<QComboBox>(&w, "组合框100")->currentIndex(), -1);  // "-1"
        QCOMPARE(find<QComboBox>(&w, "组合框111")->currentIndex(), 0);   // empty
        QVERIFY(find<QPushButton>(&w, "添加按钮")->isEnabled());

        // An address node empties the form and takes the add button away.
        clickItem(tree, third->parent());
        QCOMPARE(find<QLineEdit>(&w, "编辑框07")->text(), QString());
        QCOMPARE(find<QLineEdit>(&w, "编辑框01")->text(), QString());
        QCOMPARE(find<QComboBox>(&w, "组合框066")->currentIndex(), 0);
        QVERIFY(!find<QPushButton>(&w, "添加按钮")->isEnabled());
    }

    void anActivatedWindowKeepsItsHintsAndChoosesNobody() {
        QVERIFY(sample::writeRegister(registerPath(), 20, 5));
        InfoWindow w(folder.path(), dialogs);
        w.show();
        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        QCOMPARE(find<QLineEdit>(&w, "编辑框01")->text(), maint::kSerialHint);
        QCOMPARE(find<QLineEdit>(&w, "编辑框02")->text(), maint::kAddressHint);
        QCOMPARE(find<QLineEdit>(&w, "编辑框21")->text(), maint::kMovedHint);
        dialogs.expectWarning(QStringLiteral("请选中左侧列表中所要删除的记录的编号！"));
        QTest::mouseClick(find<QPushButton>(&w, "删除按钮"), Qt::LeftButton);
    }

    void aClickBesideTheItemsLeavesNobodyToEdit() {
        QVERIFY(sample::writeRegister(registerPath(), 20, 5));
        InfoWindow w(folder.path(), dialogs);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QTreeWidget* tree = treeOf(w);
        QTreeWidgetItem* person = tree->topLevelItem(0)->child(0);
        tree->expandItem(person->parent());
        clickItem(tree, person);
        QVERIFY(person->isSelected());
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {},
                          {20, tree->viewport()->height() - 5});
        // Either the highlight stays on the chosen person, or nothing is current.
        QVERIFY(!tree->currentItem() || tree->currentItem()->isSelected());
        if (tree->currentItem()) return;
        for (const char* action : {"修改", "删除", "清空"}) {
            dialogs.expectWarning(QStringLiteral("请选中左侧列表中所要%1的记录的编号！")
                                      .arg(QString::fromUtf8(action)));
            QTest::mouseClick(find<QPushButton>(&w, QString::fromUtf8(action) + "按钮"),
                              Qt::LeftButton);
        }
        QVERIFY(!find<QPushButton>(&w, "添加按钮")->isEnabled());
    }

    void aSplitHouseholdIsListedTwice() {
        auto people = sample::generate(3, 1);
        for (int i = 0; i < 3; ++i) {
            people[size_t(i)][F序号 - 1] = std::to_string(i + 1);
            people[size_t(i)][F房屋详址 - 1] = gb(i == 1 ? "乙村" : "甲村");
        }
        QVERIFY(sample::writeRegister(registerPath(), people));
        InfoWindow w(folder.path(), dialogs);
        QCOMPARE(treeOf(w)->topLevelItemCount(), 3);
        QCOMPARE(treeOf(w)->topLevelItem(2)->text(0), QStringLiteral("甲村"));
        QCOMPARE(lines(listOf(w)).count(QStringLiteral("甲村")), 2);
    }

    void querySwitchChainAsTheClerkClicksIt() {
        InfoWindow w(folder.path(), dialogs);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        auto sw = [&](int k) {
            return find<QCheckBox>(&w, QStringLiteral("选择框%1").arg(100 + k));
        };
        QTest::mouseClick(sw(1), Qt::LeftButton);
        QVERIFY(sw(1)->isChecked());
        QVERIFY(sw(2)->isEnabled());
        QVERIFY(!sw(3)->isEnabled());
        QVERIFY(find<QComboBox>(&w, "组合框A01")->isEnabled());
        QTest::mouseClick(sw(2), Qt::LeftButton);
        QVERIFY(sw(3)->isEnabled());
        // Coded field: the list of codes with its hint; a text field: a plain empty box.
        auto* item = find<QComboBox>(&w, "组合框A01");
        auto* value = find<QComboBox>(&w, "组合框C01");
        item->setCurrentIndex(F性别 - 1);
        emit item->activated(F性别 - 1);
        QCOMPARE(value->count(), 3);
        QCOMPARE(value->itemText(0), QStringLiteral("0 "));
        QCOMPARE(value->itemText(2), QStringLiteral("2 女"));
        QCOMPARE(value->currentText(), QStringLiteral("（须从列表项目中选择）"));
        item->setCurrentIndex(F姓名 - 1);
        emit item->activated(F姓名 - 1);
        QCOMPARE(value->count(), 0);
        QCOMPARE(value->currentText(), QString());
        value->setEditText(QStringLiteral("张三"));
        // Switching row 1 off takes every later row with it and empties the values.
        QTest::mouseClick(sw(1), Qt::LeftButton);
        for (int k = 2; k <= 8; ++k) {
            QVERIFY(!sw(k)->isEnabled());
            QVERIFY(!sw(k)->isChecked());
        }
        QVERIFY(!item->isEnabled());
        QCOMPARE(item->currentIndex(), -1);
        QCOMPARE(value->currentText(), QString());
        QTest::mouseClick(sw(1), Qt::LeftButton);
        QVERIFY(sw(2)->isEnabled());
        QVERIFY(!sw(2)->isChecked());
        QVERIFY(!sw(3)->isEnabled());
    }

    void closingDeletesTheWorkingFilesAndSaysSo() {
        QVERIFY(sample::writeRegister(registerPath(), 20, 5));
        for (const QString& name : {names::kQueryResult, names::kSorted, names::kRestoreStage})
            folder.write(name, "x");
        for (bool byButton : {true, false}) {
            auto* w = new InfoWindow(folder.path(), dialogs);
            w->setAttribute(Qt::WA_DeleteOnClose);
            QSignalSpy closed(w, &InfoWindow::closed);
            QVERIFY(files::exists(folder.file(names::kIndex)));
            w->show();
            if (byButton)
                QTest::mouseClick(find<QPushButton>(w, "关闭按钮"), Qt::LeftButton);
            else
                w->close();  // the title bar's close
            QCOMPARE(closed.count(), 1);
            for (const QString& name : names::kWorkingFiles)
                QVERIFY2(!files::exists(folder.file(name)), qPrintable(name));
            QVERIFY(files::exists(registerPath()));
        }
    }

    void layoutStandsAsDesigned() {
        InfoWindow w(folder.path(), dialogs);
        const std::pair<const char*, QRect> places[] = {
            {"树型框", {20, 5, 205, 578}},        {"编辑框01", {355, 15, 145, 20}},
            {"组合框199", {355, 470, 145, 20}},   {"编辑框22", {355, 540, 280, 20}},
            {"选择框108", {655, 505, 15, 20}},    {"组合框C08", {815, 505, 155, 20}},
            {"透明标签M08", {815, 493, 155, 12}}, {"透明标签N07", {950, 460, 20, 40}},
            {"查询按钮", {670, 540, 80, 20}},     {"关闭按钮", {890, 580, 80, 30}},
            {"透明标签Q24", {505, 458, 80, 12}},  {"透明标签B02", {95, 600, 125, 15}},
        };
        for (const auto& [name, place] : places)
            QCOMPARE(find<QWidget>(&w, QString::fromUtf8(name))->geometry(), place);
        QCOMPARE(find<QLabel>(&w, "透明标签Q15")->text(), QStringLiteral("自何地迁入或迁往何地"));
        QCOMPARE(find<QPushButton>(&w, "恢复按钮")->text(), QStringLiteral("恢复数据"));
        QVERIFY(find<QLabel>(&w, "透明标签X01")->text().startsWith(QStringLiteral("序\n\n号")));
    }
};

QTEST_MAIN(TestInfoWindow)
#include "tst_infowindow.moc"

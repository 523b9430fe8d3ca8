// Quick find as the clerk uses it: Ctrl+F in the information-management window, typing, the
// arrows and Enter; the chosen person selected in the tree with the record in the form, a query
// result without him, and the index following a change of the register.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include "common/lookup.h"
#include "common/programfolder.h"
#include "common/scripteddialogs.h"
#include "common/typing.h"
#include "core/register/person.h"
#include "core/register/store.h"
#include "core/register/text.h"
#include "core/register/workfiles.h"
#include "gui/info/infowindow.h"
#include "gui/info/quickfind.h"
#include "samplegen.h"

using namespace reg;
using maint::InfoWindow;
using maint::QuickFindWindow;

namespace {

using hjtest::find;

// 张小明 is person 序号 8; 欧阳娜娜 is the only one a query for her name finds.
std::vector<sample::Person> people() {
    auto people = sample::generate(40, 11);
    people[7][F姓名 - 1] = gb("张小明");
    people[12][F姓名 - 1] = gb("欧阳娜娜");
    return people;
}

QuickFindWindow* openFind(InfoWindow& w) {
    QTest::keyClick(&w, Qt::Key_F, Qt::ControlModifier);
    auto* box = w.findChild<QuickFindWindow*>();
    return box && QTest::qWaitForWindowExposed(box) ? box : nullptr;
}

// Types `text` into the box and walks the list with the arrows to the row of 序号 `serial`.
bool typeAndWalkTo(QuickFindWindow* box, const QString& text, const QString& serial) {
    auto* edit = find<QLineEdit>(box, "查找框");
    auto* hits = find<QTreeWidget>(box, "结果列表");
    edit->clear();
    hjtest::typeInto(edit, text);
    for (int row = 0; row < hits->topLevelItemCount(); ++row) {
        if (hits->currentItem()->text(1) == serial) return true;
        QTest::keyClick(edit, Qt::Key_Down);
    }
    return false;
}

}  // namespace

class TestQuickFindWindow : public QObject {
    Q_OBJECT

    hjtest::ProgramFolder folder;
    hjtest::ScriptedDialogs dialogs;

  private slots:
    void initTestCase() { QVERIFY(sample::writeRegister(folder.file(names::kRegister), people())); }
    void cleanup() {
        const QString problems = dialogs.takeProblems();
        QVERIFY2(problems.isEmpty(), qPrintable(problems));
    }

    void ctrlFTypeInitialsEnterSelectsAndShows() {
        InfoWindow w(folder.path(), dialogs);
        w.show();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        auto* tree = find<QTreeWidget>(&w, "树型框");
        QAction* action = find<QAction>(tree, "快速查找");
        QCOMPARE(action->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_F));
        QVERIFY(tree->actions().contains(action));

        QuickFindWindow* box = openFind(w);
        QVERIFY(box);
        QCOMPARE(box->windowTitle(),
                 QStringLiteral("澄禾社区户籍管理系统-快速查找   青石听雨 制作"));
        auto* hits = find<QTreeWidget>(box, "结果列表");
        QCOMPARE(hits->headerItem()->text(0), QStringLiteral("姓名"));
        QCOMPARE(hits->headerItem()->text(3), QStringLiteral("出生日期"));
        QCOMPARE(find<QLineEdit>(box, "查找框")->accessibleName(), QStringLiteral("查找内容"));
        QCOMPARE(hits->accessibleName(), QStringLiteral("查找结果"));

        QVERIFY(typeAndWalkTo(box, QStringLiteral("zxm"), QStringLiteral("8")));
        const QTreeWidgetItem* row = hits->currentItem();
        QCOMPARE(row->text(0), QStringLiteral("张小明"));
        QCOMPARE(toGb(row->text(2)), people()[7][F房屋详址 - 1]);
        QCOMPARE(toGb(row->text(3)), people()[7][F出生日期 - 1]);
        QTest::keyClick(find<QLineEdit>(box, "查找框"), Qt::Key_Return);

        QTreeWidgetItem* chosen = tree->currentItem();
        QVERIFY(chosen && chosen->isSelected());
        QVERIFY(chosen->text(0).startsWith(QStringLiteral("8:")));
        QVERIFY(chosen->parent()->isExpanded());
        QCOMPARE(find<QLineEdit>(&w, "编辑框07")->text(), QStringLiteral("张小明"));
        QCOMPARE(find<QLineEdit>(&w, "编辑框01")->text(), QStringLiteral("8"));
        QCOMPARE(toGb(find<QLineEdit>(&w, "编辑框14")->text()), people()[7][F公民身份号码 - 1]);

        // Nothing found: the clerk is told so.
        find<QLineEdit>(box, "查找框")->setText(QStringLiteral("qqqqq"));
        QCOMPARE(hits->topLevelItemCount(), 0);
        QCOMPARE(find<QLabel>(box, "透明标签Q02")->text(),
                 QStringLiteral("没有找到符合的人员，请换一种写法再试"));
    }

    void personOutsideAQueryResultIsNamedNotLost() {
        InfoWindow w(folder.path(), dialogs);
        w.show();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        // A query that lists 欧阳娜娜 alone.
        QTest::mouseClick(find<QCheckBox>(&w, "选择框101"), Qt::LeftButton);
        auto* item = find<QComboBox>(&w, "组合框A01");
        item->setCurrentIndex(F姓名 - 1);
        emit item->activated(F姓名 - 1);
        find<QComboBox>(&w, "组合框B01")->setCurrentIndex(0);
        find<QComboBox>(&w, "组合框C01")->setEditText(QStringLiteral("欧阳娜娜"));
        dialogs.expectQuestion(
            QStringLiteral("\r\n") + QString(10, ' ') +
                QStringLiteral("运算符为<==>时支持同音查询，其它运算符不支持同音查询 \r\n\r\n"
                               "查询数据后，若要进行<添加>、<删除>、<清空>、<修改>操作，请单击<"
                               "刷新列表> \r\n\r\n\r\n") +
                QString(30, ' ') + QStringLiteral("继续查询吗？"),
            true);
        dialogs.expectNotice(QStringLiteral("符合查询条件的记录数： 1 条 "));
        QTest::mouseClick(find<QPushButton>(&w, "查询按钮"), Qt::LeftButton);
        QVERIFY(!w.inRegisterView());

        QuickFindWindow* box = openFind(w);
        QVERIFY(typeAndWalkTo(box, QStringLiteral("张小明"), QStringLiteral("8")));
        dialogs.expectWarning(
            QStringLiteral("所选人员不在当前列表中！请先单击<刷新列表>显示全部户籍，再查找。"));
        QTest::keyClick(find<QLineEdit>(box, "查找框"), Qt::Key_Return);
        QVERIFY(dialogs.done());

        // 欧阳娜娜 is in the result, and is selected there.
        QVERIFY(typeAndWalkTo(box, QStringLiteral("oynn"), QStringLiteral("13")));
        QTest::keyClick(find<QLineEdit>(box, "查找框"), Qt::Key_Return);
        QCOMPARE(find<QLineEdit>(&w, "编辑框07")->text(), QStringLiteral("欧阳娜娜"));

        QTest::mouseClick(find<QPushButton>(&w, "刷新按钮"), Qt::LeftButton);
        QVERIFY(typeAndWalkTo(box, QStringLiteral("zhangxiaoming"), QStringLiteral("8")));
        QTest::keyClick(find<QLineEdit>(box, "查找框"), Qt::Key_Return);
        QCOMPARE(find<QLineEdit>(&w, "编辑框07")->text(), QStringLiteral("张小明"));

        // Closing the window closes its box.
        QTest::mouseClick(find<QPushButton>(&w, "关闭按钮"), Qt::LeftButton);
        QVERIFY(box->isHidden());
    }

    // With a 序号 given twice the chosen person's own line is selected, as a click on it would.
    void serialGivenTwice() {
        auto twice = people();
        twice[3][F序号 - 1] = twice[7][F序号 - 1];  // 张小明's, sorted before him
        QVERIFY(sample::writeRegister(folder.file(names::kRegister), twice));
        {
            InfoWindow w(folder.path(), dialogs);
            w.show();
            QVERIFY(QTest::qWaitForWindowActive(&w));
            QuickFindWindow* box = openFind(w);
            QVERIFY(typeAndWalkTo(box, QStringLiteral("张小明"), QStringLiteral("8")));
            QTest::keyClick(find<QLineEdit>(box, "查找框"), Qt::Key_Return);
            const QTreeWidgetItem* chosen = find<QTreeWidget>(&w, "树型框")->currentItem();
            QVERIFY(chosen && chosen->text(0).startsWith(QStringLiteral("8:")));
            QVERIFY(chosen->text(0).endsWith(QStringLiteral(":张小明")));
        }
        QVERIFY(sample::writeRegister(folder.file(names::kRegister), people()));
    }

    // A register changed behind the box is read again when the box is next used, also when the
    // change keeps the file's size and falls within its time's resolution.
    void indexFollowsTheRegister() {
        QuickFindWindow box(folder.file(names::kRegister));
        box.open();
        auto* hits = find<QTreeWidget>(&box, "结果列表");
        find<QLineEdit>(&box, "查找框")->setText(QStringLiteral("欧阳娜娜"));
        QCOMPARE(hits->topLevelItemCount(), 1);
        {
            RecordStore store;
            QVERIFY(store.OpenTable(folder.file(names::kRegister)));
            store.GoTo(13);
            QVERIFY(store.WriteField(gb("姓名"), gb("欧阳菲菲")));
            store.GoTo(20);
            QVERIFY(store.WriteField(gb("姓名"), gb("欧阳娜娜")));
            QVERIFY(store.CloseAllTables());
        }
        box.refreshIndex();
        QCOMPARE(hits->topLevelItemCount(), 1);
        QCOMPARE(hits->topLevelItem(0)->text(1), QStringLiteral("20"));
        // Put the register back for the other tests.
        QVERIFY(sample::writeRegister(folder.file(names::kRegister), people()));
    }
};

QTEST_MAIN(TestQuickFindWindow)
#include "tst_quickfind.moc"

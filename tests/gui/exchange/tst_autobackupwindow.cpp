// The automatic backup window, opened from the import/export window and driven through its
// controls: the list, 立即备份, the second folder, and 从此恢复 undone by 撤销恢复/导入.
#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include "common/programfolder.h"
#include "common/scripteddialogs.h"
#include "common/typing.h"
#include "core/edit/registereditor.h"
#include "core/register/autobackup.h"
#include "core/register/replacement.h"
#include "core/register/workfiles.h"
#include "gui/exchange/autobackupwindow.h"
#include "gui/exchange/exchangewindow.h"
#include "samplegen.h"

using namespace reg;
namespace ab = reg::autobackup;
using hjtest::click;

namespace {

exchange::AutoBackupWindow* openFrom(exchange::ExchangeWindow& w) {
    click(&w, "自动备份按钮");
    for (QWidget* top : QApplication::topLevelWidgets())
        if (auto* found = qobject_cast<exchange::AutoBackupWindow*>(top);
            found && found->isVisible())
            return found;
    qFatal("no automatic backup window");
}

}  // namespace

class TestAutoBackupWindow : public QObject {
    Q_OBJECT

  private slots:
    void restoreFromABackupAndUndoIt() {
        hjtest::ProgramFolder pf;
        hjtest::ScriptedDialogs dialogs;
        const QString registerPath = pf.file(names::kRegister);
        QVERIFY(sample::writeRegister(registerPath, 30, 5));
        // A day ago: the keep rule after 立即备份 keeps it.
        const QDateTime now = QDateTime::currentDateTime();
        const QDateTime dayAgo(now.date().addDays(-1),
                               QTime(now.time().hour(), now.time().minute()));
        QCOMPARE(ab::backUp(pf.path(), dayAgo).persons, 30L);
        QVERIFY(sample::writeRegister(registerPath, 40, 5));
        exchange::ExchangeWindow exchangeWindow(pf.path(), dialogs);
        exchangeWindow.show();
        exchange::AutoBackupWindow* w = openFrom(exchangeWindow);
        QCOMPARE(w->windowTitle(), QStringLiteral("澄禾社区户籍管理系统-自动备份   青石听雨 制作"));
        auto* list = w->findChild<QTreeWidget*>(QStringLiteral("备份列表框"));
        QCOMPARE(list->topLevelItemCount(), 1);

        dialogs.expectNotice(QStringLiteral("  自动备份成功（共 40 人）"));
        click(w, "立即备份按钮");
        QCOMPARE(list->topLevelItemCount(), 2);
        const QString when = dayAgo.toString(QStringLiteral("yyyy-MM-dd HH:mm"));
        QCOMPARE(list->topLevelItem(1)->text(0), when);
        QCOMPARE(list->topLevelItem(1)->text(1), QStringLiteral("30"));
        QCOMPARE(list->topLevelItem(1)->text(3), QStringLiteral("已校验"));

        // Declined, then accepted.
        const QString question =
            QStringLiteral(
                "       将用 %1 的自动备份（共 30 人）替换现在的户籍数据。"
                "替换前的户籍数据另存在安全副本中，可以用“撤销恢复/导入”撤销。确认恢复吗？")
                .arg(when);
        list->setCurrentItem(list->topLevelItem(1));
        dialogs.expectQuestion(question, false);
        click(w, "从此恢复按钮");
        QCOMPARE(ab::personsIn(registerPath), 40L);
        dialogs.expectQuestion(question, true);
        dialogs.expectNotice(edit::msg::kRestored);
        click(w, "从此恢复按钮");
        QCOMPARE(ab::personsIn(registerPath), 30L);

        auto* undo = exchangeWindow.findChild<QPushButton*>(QStringLiteral("撤销按钮"));
        QVERIFY(undo->isEnabled());
        const auto target = exchange::undoTarget(pf.path());
        QVERIFY(target && target->file == list->topLevelItem(1)
                                              ->data(0, Qt::UserRole)
                                              .toString()
                                              .section(QLatin1Char('/'), -1));
        dialogs.expectQuestion(exchange::undoQuestion(pf.path(), *target), true);
        dialogs.expectNotice(exchange::msg::kUndone);
        click(&exchangeWindow, "撤销按钮");
        QCOMPARE(ab::personsIn(registerPath), 40L);
        QVERIFY2(dialogs.done(), qPrintable(dialogs.pendingText()));
    }

    void secondFolderAndNothingChosen() {
        hjtest::ProgramFolder pf;
        hjtest::ScriptedDialogs dialogs;
        exchange::ExchangeWindow exchangeWindow(pf.path(), dialogs);
        exchangeWindow.show();
        exchange::AutoBackupWindow* w = openFrom(exchangeWindow);
        dialogs.expectWarning(exchange::msg::kNoBackupChosen);
        click(w, "从此恢复按钮");

        auto* edit = w->findChild<QLineEdit*>(QStringLiteral("第二文件夹编辑框"));
        const QString stick = pf.file(QStringLiteral("u"));
        QVERIFY(QDir().mkpath(stick));
        dialogs.expectFolder(QString());  // cancelled: nothing changes
        click(w, "选择文件夹按钮");
        QVERIFY(edit->text().isEmpty());
        dialogs.expectFolder(stick);
        click(w, "选择文件夹按钮");
        QCOMPARE(edit->text(), QDir::toNativeSeparators(stick));
        QCOMPARE(ab::secondFolder(pf.path()), stick);
        dialogs.expectNotice(QStringLiteral("  自动备份成功（共 0 人）"));
        click(w, "立即备份按钮");
        QCOMPARE(ab::listIn(stick).size(), size_t(1));
        click(w, "清除文件夹按钮");
        QVERIFY(edit->text().isEmpty());
        QVERIFY(ab::secondFolder(pf.path()).isEmpty());
        QVERIFY2(dialogs.done(), qPrintable(dialogs.pendingText()));
    }
};

QTEST_MAIN(TestAutoBackupWindow)
#include "tst_autobackupwindow.moc"

// Backing the register up to a file of the clerk's choice, and putting such a copy back.
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QPushButton>
#include <QTreeWidget>

#include "core/edit/registereditor.h"
#include "core/register/sealed.h"
#include "gui/info/infowindow.h"

namespace maint {

namespace {

// `title` as the other dialogs have it: 另存为 to save, 打开 to open.
ui::FileRequest backupFiles(const QString& title) {
#ifdef Q_OS_WIN
    const QString folder = QStringLiteral("D:\\");
#else
    const QString folder = QDir::homePath();
#endif
    return {title, QStringLiteral("*.bak (*.bak)"), folder, QStringLiteral("bak")};
}

const QString kAskPassphrase =
    QStringLiteral("请输入加密备份的密码（至少%1个字符）：").arg(reg::sealed::kMinimumPassphrase);
const QString kAskAgain = QStringLiteral("请再次输入同一个密码：");
const QString kTooShort =
    QStringLiteral("密码太短，至少要%1个字符！没有备份。").arg(reg::sealed::kMinimumPassphrase);
const QString kNotSame = QStringLiteral("两次输入的密码不一致！没有备份。");
const QString kAskToOpen = QStringLiteral("这是一份加密备份，请输入它的密码：");

// Argon2id takes a second or so on purpose: the clerk sees the program is at work.
template <typename Work>
auto busy(Work work) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    auto result = work();
    QApplication::restoreOverrideCursor();
    return result;
}

}  // namespace

void InfoWindow::addSealedBackup(QPushButton* backupButton) {
    auto* action = new QAction(QStringLiteral("加密备份..."), backupButton);
    action->setObjectName(QStringLiteral("加密备份"));
    connect(action, &QAction::triggered, this, &InfoWindow::backUpSealed);
    backupButton->setContextMenuPolicy(Qt::ActionsContextMenu);
    backupButton->addAction(action);
}

void InfoWindow::backUpSealed() {
    // Cancelling any step is the clerk's choice: nothing is written and nothing said.
    const QString target = dialogs_.saveFile(backupFiles(QStringLiteral("另存为")));
    if (target.isEmpty()) return;
    const std::optional<QString> first = dialogs_.secret(kAskPassphrase);
    if (!first) return;
    if (first->size() < reg::sealed::kMinimumPassphrase) return dialogs_.warning(kTooShort);
    const std::optional<QString> again = dialogs_.secret(kAskAgain);
    if (!again) return;
    if (*again != *first) return dialogs_.warning(kNotSame);
    const edit::Outcome copied =
        busy([&] { return editor_.backUpSealed(target, first->toUtf8()); });
    if (copied.done())
        dialogs_.notice(copied.message);
    else
        dialogs_.warning(copied.message);
}

void InfoWindow::backUp() {
    const edit::Outcome copied =
        editor_.backUp(dialogs_.saveFile(backupFiles(QStringLiteral("另存为"))));
    if (copied.done())
        dialogs_.notice(copied.message);
    else
        dialogs_.warning(copied.message);
}

void InfoWindow::restore() {
    const QString chosen = dialogs_.openFile(backupFiles(QStringLiteral("打开")));
    edit::Outcome restored;
    if (reg::sealed::isSealed(chosen)) {
        const std::optional<QString> passphrase = dialogs_.secret(kAskToOpen);
        if (!passphrase) return;  // cancelled: the register untouched, nothing to say
        restored = busy([&] { return editor_.restoreSealed(chosen, passphrase->toUtf8()); });
    } else {
        restored = editor_.restore(chosen);
    }
    if (!restored.done()) return dialogs_.warning(restored.message);
    if (restored.wholeView) {
        paintTree(true);
        showCounts(*restored.counts);
    } else {
        rebuildAndDisplay();
    }
    decideAddButton(view_.empty());
    dialogs_.notice(restored.message);
}

}  // namespace maint

// Backing the register up to a file of the clerk's choice, and putting such a copy back.
#include <QDir>
#include <QPushButton>
#include <QTreeWidget>

#include "core/edit/registereditor.h"
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

}  // namespace

void InfoWindow::backUp() {
    const edit::Outcome copied =
        editor_.backUp(dialogs_.saveFile(backupFiles(QStringLiteral("另存为"))));
    if (copied.done())
        dialogs_.notice(copied.message);
    else
        dialogs_.warning(copied.message);
}

void InfoWindow::restore() {
    const edit::Outcome restored =
        editor_.restore(dialogs_.openFile(backupFiles(QStringLiteral("打开"))));
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

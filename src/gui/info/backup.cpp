// Backing the register up to a file of the clerk's choice, and putting such a copy back.
#include <QDir>
#include <QPushButton>
#include <QTreeWidget>

#include "core/register/files.h"
#include "core/register/programfolder.h"
#include "core/register/replacement.h"
#include "core/register/workfiles.h"
#include "gui/info/infowindow.h"

namespace maint {

using namespace reg;

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
    const QString target = dialogs_.saveFile(backupFiles(QStringLiteral("另存为")));
    // No register, no copy: CopyTo on no table answers false.
    static_cast<void>(store_.OpenTable(pathIn(folder_, names::kRegister)));
    const bool copied = store_.CopyTo(target);
    static_cast<void>(store_.CloseAllTables());  // the register was only read
    if (copied)
        dialogs_.notice(QStringLiteral("数据备份成功 "));
    else
        dialogs_.warning(QStringLiteral("数据备份失败！"));
}

void InfoWindow::restore() {
    const bool copied =
        exchange::restoreRegister(folder_, dialogs_.openFile(backupFiles(QStringLiteral("打开"))));
    if (!copied) return dialogs_.warning(QStringLiteral("数据恢复失败！"));
    rebuildAndDisplay();
    decideAddButton(view_.empty());
    dialogs_.notice(QStringLiteral("数据恢复成功 "));
}

}  // namespace maint

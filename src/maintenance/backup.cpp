// Backing the register up to a file of the clerk's choice, and putting such a copy back.
#include <QDir>
#include <QPushButton>
#include <QTreeWidget>

#include "maintenance/infowindow.h"
#include "register/files.h"
#include "register/programfolder.h"
#include "register/workfiles.h"

namespace maintenance {

using namespace reg;

namespace {

ui::FileRequest backupFiles() {
#ifdef Q_OS_WIN
    const QString folder = QStringLiteral("D:\\");
#else
    const QString folder = QDir::homePath();
#endif
    return {QString(), QStringLiteral("*.bak (*.bak)"), folder, QStringLiteral("bak")};
}

// A backup must hold the person record's fields, in order: any other table put in the
// register's place would leave the clerk with a register the program cannot use.
bool holdsPersonRecords(const RecordStore& store) {
    const auto fields = personFieldSpecs();
    if (store.FieldCount() != int(fields.size())) return false;
    for (int pos = 1; pos <= store.FieldCount(); ++pos)
        if (store.FieldName(pos) != fields[size_t(pos - 1)].name) return false;
    return true;
}

}  // namespace

void InfoWindow::backUp() {
    const QString target = dialogs_.saveFile(backupFiles());
    store_.OpenTable(pathIn(folder_, names::kRegister));
    const bool copied = store_.CopyTo(target);
    store_.CloseAllTables();
    if (copied)
        dialogs_.notice(QStringLiteral("数据备份成功 "));
    else
        dialogs_.warning(QStringLiteral("数据备份失败！"));
}

void InfoWindow::restore() {
    const QString chosen = dialogs_.openFile(backupFiles());
    const QString stage = pathIn(folder_, names::kRestoreStage);
    // A staging copy left by an interrupted restore must never stand in for the chosen file.
    files::remove(stage);
    if (!chosen.isEmpty()) files::copy(chosen, stage);
    const bool opened = store_.OpenTable(stage);
    // The register is replaced in one step, only by a complete copy of a register.
    const bool copied =
        opened && holdsPersonRecords(store_) && store_.CopyTo(pathIn(folder_, names::kRegister));
    store_.CloseAllTables();
    files::remove(stage);
    if (!copied) return dialogs_.warning(QStringLiteral("数据恢复失败！"));
    rebuildAndDisplay();
    decideAddButton(view_.empty());
    dialogs_.notice(QStringLiteral("数据恢复成功 "));
}

}  // namespace maintenance

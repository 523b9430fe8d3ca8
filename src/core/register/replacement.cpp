#include "core/register/replacement.h"

#include <QFileInfo>

#include "core/register/files.h"
#include "core/register/programfolder.h"
#include "core/register/safetycopy.h"
#include "core/register/store.h"
#include "core/register/workfiles.h"

namespace exchange {

using namespace reg;
namespace history = reg::history;

namespace {

// A backup must hold the person record's fields, in order: any other table put in the
// register's place would leave the clerk with a register the program cannot use.
bool holdsPersonRecords(const RecordStore& store) {
    const auto fields = personFieldSpecs();
    if (store.FieldCount() != int(fields.size())) return false;
    for (int pos = 1; pos <= store.FieldCount(); ++pos)
        if (store.FieldName(pos) != fields[size_t(pos - 1)].name) return false;
    return true;
}

// Stages `source` as 临时备份.bak and copies it over the register, after a safety copy of the
// register and with `entry` recorded around the replacement.
bool replaceRegister(const QString& folder, const QString& source, history::Entry entry) {
    const QString stage = pathIn(folder, names::kRestoreStage);
    const QString registerPath = pathIn(folder, names::kRegister);
    // A staging copy left by an interrupted restore must never stand in for the chosen file.
    files::remove(stage);
    if (!source.isEmpty()) files::copy(source, stage);
    RecordStore store;
    bool copied = store.OpenTable(stage) && holdsPersonRecords(store);
    history::Pending record;
    if (copied) {
        const std::optional<QString> copy = safety::keep(folder);
        entry.copy = copy.value_or(QString());
        entry.countBefore = history::recordCount(registerPath);
        if (copy) record = history::begin(folder, entry, registerPath);
        // The register is replaced in one step, only by a complete copy of a register.
        copied = record && store.CopyTo(registerPath);
    }
    const long after = copied ? store.CountMatching() : -1;
    (void)store.CloseAllTables();
    files::remove(stage);
    record.finish(copied, after);
    return copied;
}

}  // namespace

bool restoreRegister(const QString& folder, const QString& chosen) {
    history::Entry entry;
    entry.action = history::Action::Restore;
    entry.file = QFileInfo(chosen).fileName();
    return replaceRegister(folder, chosen, entry);
}

std::optional<history::Entry> undoTarget(const QString& folder) {
    return history::undoable(folder);
}

QString undoQuestion(const QString& folder, const history::Entry& target) {
    const QString what = target.action == history::Action::Import
                             ? QStringLiteral("导入（表格文件 %1，导入后共 %2 条记录）")
                                   .arg(target.file)
                                   .arg(target.countAfter)
                             : QStringLiteral("数据恢复（备份文件 %1，恢复后共 %2 条记录）")
                                   .arg(target.file)
                                   .arg(target.countAfter);
    QString text =
        QStringLiteral("       将撤销 %1 的%2，户籍数据回到这次操作之前的样子（共 %3 条记录）。")
            .arg(target.time, what)
            .arg(target.countBefore);
    if (const long later = history::entriesAfter(folder, target.id); later > 0)
        text += QStringLiteral("此后所做的 %1 项修改也一并撤销。").arg(later);
    return text + QStringLiteral("撤销前的户籍数据另存在安全副本中。确认撤销吗？");
}

bool undoReplacement(const QString& folder, const history::Entry& target) {
    history::Entry entry;
    entry.action = history::Action::Undo;
    entry.file = target.copy;
    entry.undoes = target.id;
    return replaceRegister(folder, safety::pathOf(folder, target.copy), entry);
}

}  // namespace exchange

#include "core/register/replacement.h"

#include <QFileInfo>
#include <cerrno>

#include "core/register/files.h"
#include "core/register/log.h"
#include "core/register/programfolder.h"
#include "core/register/safetycopy.h"
#include "core/register/sqlitedb.h"
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

// Why the last step failed: SQLite's words when it gave some, else the system's for `path`.
QString causeFor(const QString& path) {
    const QString sqlite = log::sqliteError();
    return sqlite.isEmpty() ? files::whyNotWritable(path) : sqlite;
}

Replacement failed(const QString& step, const QString& reason) {
    Replacement r;
    r.result = Replacement::Result::Failed;
    r.step = step;
    r.reason = reason;
    return r;
}

// Stages `source` as 临时备份.bak and copies it over the register, after a safety copy of the
// register and with `entry` recorded around the replacement. `mustBeThere`: a source that does
// not open as a register is a failure (an undo's safety copy), not the clerk's wrong choice.
Replacement replaceRegister(const QString& folder, const QString& source, history::Entry entry,
                            bool mustBeThere) {
    const QString stage = pathIn(folder, names::kRestoreStage);
    const QString registerPath = pathIn(folder, names::kRegister);
    // A staging copy left by an interrupted restore must never stand in for the chosen file.
    files::remove(stage);
    Replacement out;
    out.result = Replacement::Result::NotARegister;
    if (source.isEmpty() && !mustBeThere) return out;
    log::clearSqliteError();
    if (!files::copy(source, stage)) {
        files::remove(stage);
        if (!files::exists(source) && !mustBeThere) return out;
        // A copy that cannot be read, or a program folder that takes no new file.
        return files::exists(source)
                   ? failed(QStringLiteral("暂存%1").arg(names::kRestoreStage),
                            files::whyNotWritable(folder))
                   : failed(QStringLiteral("打开安全副本"), log::errnoText(ENOENT));
    }
    // A damaged copy would pass for a register until some page of it is read; it is refused
    // before anything is replaced.
    QString damage;
    if (!sqlite::quickCheck(stage, &damage)) {
        files::remove(stage);
        if (mustBeThere) return failed(QStringLiteral("检查安全副本"), damage);
        // The clerk's refusal is logged by no one else; the reason is SQLite's, never data.
        log::failure(QStringLiteral("检查备份文件"), damage);
        return out;
    }
    RecordStore store;
    if (!store.OpenTable(stage) || !holdsPersonRecords(store)) {
        (void)store.CloseAllTables();  // only read
        files::remove(stage);
        return mustBeThere ? failed(QStringLiteral("打开安全副本"),
                                    QStringLiteral("不是完整的户籍数据文件"))
                           : out;
    }
    const std::optional<QString> copy = safety::keep(folder);
    if (!copy)
        out = failed(QStringLiteral("写入安全副本"), causeFor(pathIn(folder, safety::kCopyFolder)));
    history::Pending record;
    if (copy) {
        entry.copy = *copy;
        entry.countBefore = history::recordCount(registerPath);
        log::clearSqliteError();
        record = history::begin(folder, entry, registerPath);
        if (!record)
            out = failed(QStringLiteral("写入变更记录"),
                         causeFor(pathIn(folder, history::kFileName)));
    }
    // The register is replaced in one step, only by a complete copy of a register.
    log::clearSqliteError();
    const bool copied = record && store.CopyTo(registerPath);
    if (record && !copied) out = failed(QStringLiteral("替换户籍数据"), causeFor(registerPath));
    const long after = copied ? store.CountMatching() : -1;
    (void)store.CloseAllTables();  // only read
    files::remove(stage);
    const long long id = record.id();
    record.finish(copied, after);
    if (!copied) return out;
    out.result = Replacement::Result::Replaced;
    out.entry = id;
    out.countAfter = after;
    return out;
}

}  // namespace

Replacement restoreRegister(const QString& folder, const QString& chosen,
                            const QString& shownName) {
    history::Entry entry;
    entry.action = history::Action::Restore;
    entry.file = shownName.isEmpty() ? QFileInfo(chosen).fileName() : shownName;
    return replaceRegister(folder, chosen, entry, false);
}

std::optional<history::Entry> undoTarget(const QString& folder) {
    return history::undoable(folder);
}

QString undoQuestion(const QString& folder, const history::Entry& target) {
    // A batch's own records, recorded right after it, are no later changes.
    long members = 0, updated = 0;
    if (target.action == history::Action::Batch)
        for (const history::Entry& e : history::entries(folder))
            members +=
                e.id > target.id && e.action != history::Action::Batch && e.copy == target.copy;
    // The known persons an import updated after its rows name its copy: part of it, no later
    // changes.
    if (target.action == history::Action::Import && !target.copy.isEmpty())
        for (const history::Entry& e : history::entries(folder))
            updated +=
                e.id > target.id && e.action == history::Action::Modify && e.copy == target.copy;
    const QString what =
        target.action == history::Action::Import && updated > 0
            ? QStringLiteral("导入（表格文件 %1，更新已有人员 %2 人，导入后共 %3 条记录）")
                  .arg(target.file)
                  .arg(updated)
                  .arg(target.countAfter)
        : target.action == history::Action::Import
            ? QStringLiteral("导入（表格文件 %1，导入后共 %2 条记录）")
                  .arg(target.file)
                  .arg(target.countAfter)
        : target.action == history::Action::Batch
            ? QStringLiteral("批量变更（%1 条记录，变更后共 %2 条记录）")
                  .arg(members)
                  .arg(target.countAfter)
            : QStringLiteral("数据恢复（备份文件 %1，恢复后共 %2 条记录）")
                  .arg(target.file)
                  .arg(target.countAfter);
    QString text =
        QStringLiteral("       将撤销 %1 的%2，户籍数据回到这次操作之前的样子（共 %3 条记录）。")
            .arg(target.time, what)
            .arg(target.countBefore);
    if (const long later = history::entriesAfter(folder, target.id) - members - updated; later > 0)
        text += QStringLiteral("此后所做的 %1 项修改也一并撤销。").arg(later);
    return text + QStringLiteral("撤销前的户籍数据另存在安全副本中。确认撤销吗？");
}

Replacement undoReplacement(const QString& folder, const history::Entry& target) {
    history::Entry entry;
    entry.action = history::Action::Undo;
    entry.file = target.copy;
    entry.undoes = target.id;
    if (target.copy.isEmpty())
        return failed(QStringLiteral("打开安全副本"), QStringLiteral("这次操作没有安全副本"));
    return replaceRegister(folder, safety::pathOf(folder, target.copy), entry, true);
}

}  // namespace exchange

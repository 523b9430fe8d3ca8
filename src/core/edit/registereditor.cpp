#include "core/edit/registereditor.h"

#include <QFileInfo>
#include <map>
#include <set>
#include "core/edit/editorsteps.h"

#include "core/edit/editorsteps.h"
#include "core/register/autobackup.h"
#include "core/register/files.h"
#include "core/register/log.h"
#include "core/register/person.h"
#include "core/register/programfolder.h"
#include "core/register/replacement.h"
#include "core/register/retention.h"
#include "core/register/safetycopy.h"
#include "core/register/sealed.h"
#include "core/register/text.h"
#include "core/register/workfiles.h"

namespace edit {

using namespace reg;
namespace history = reg::history;

QString detail::causeFor(const QString& path) {
    const QString sqlite = log::sqliteError();
    return sqlite.isEmpty() ? files::whyNotWritable(path) : sqlite;
}

std::string detail::label(const std::vector<std::string>& values) {
    std::string text = values[F序号 - 1];
    text.append(":").append(values[F户主姓名 - 1]).append(":").append(values[F姓名 - 1]);
    return text;
}

namespace {

// The steps a change can fail in, as the log names them.
const QString kWriteHistory = QStringLiteral("写入变更记录");
const QString kWriteRegister = QStringLiteral("写入户籍数据");
const QString kOpenRegister = QStringLiteral("打开户籍数据");
const QString kWriteSafetyCopy = QStringLiteral("写入安全副本");

using detail::causeFor;
using detail::label;

Outcome doneWith(const QString& notice, long long entry) {
    Outcome out;
    out.message = notice;
    out.entry = entry;
    return out;
}

}  // namespace

RegisterEditor::RegisterEditor(QString folder) : folder_(std::move(folder)) {}

QString RegisterEditor::registerPath() const {
    return pathIn(folder_, names::kRegister);
}

history::Health RegisterEditor::settle() {
    history::Health health = history::settle(folder_);
    // What has outlived its keeping goes once the history is sound again.
    static_cast<void>(retention::apply(folder_, QDateTime::currentDateTime()));  // logs itself
    return health;
}

maint::Counts RegisterEditor::reload() {
    const maint::RegisterDisplay d = maint::rebuildAndCollect(store_, folder_);
    view_.install(d.items, true);
    viewLoaded_ = true;
    return d.counts;
}

Outcome RegisterEditor::refused(const QString& message) const {
    Outcome out;
    out.kind = Outcome::Kind::Refused;
    out.message = message;
    return out;
}

Outcome RegisterEditor::failed(const QString& what, const QString& message, const QString& step,
                               const QString& cause) const {
    Outcome out;
    out.kind = Outcome::Kind::Failed;
    out.message = message;
    out.reason = step + QStringLiteral("（") +
                 (cause.isEmpty() ? QStringLiteral("原因不明") : cause) + QStringLiteral("）");
    log::failure(what, out.reason);
    return out;
}

Outcome RegisterEditor::reinstalled(Outcome done) {
    if (viewLoaded_) {
        done.counts = reload();
        done.wholeView = true;
    }
    return done;
}

bool RegisterEditor::openSelected() {
    // Without the index nothing is found below.
    static_cast<void>(store_.OpenTable(registerPath(), pathIn(folder_, names::kIndex)));
    // Only a person node names a record; an address that holds a ":" is no person.
    if (view_.personSelected() && store_.SeekKey(maint::keyOf(view_.selectedText()))) return true;
    static_cast<void>(store_.CloseAllTables());  // nothing was written
    return false;
}

maint::Counts RegisterEditor::resort() {
    rebuildRegisterOrder(store_, folder_);
    const maint::Counts counts = maint::countPeople(store_);
    // The change is kept already; the rebuild only reorders it.
    static_cast<void>(store_.CloseAllTables());
    return counts;
}

Outcome RegisterEditor::checkAdd(maint::EntryForm& form) {
    // Without the register the rules find nothing, and the write then says it failed.
    static_cast<void>(store_.OpenTable(registerPath()));
    const auto broken = maint::validateEntry(maint::Mode::Add, form, store_, view_.lines());
    static_cast<void>(store_.CloseAllTables());  // nothing was written
    return broken ? refused(fromGb(*broken)) : Outcome{};
}

Outcome RegisterEditor::add(const maint::EntryForm& form) {
    const QString what = QStringLiteral("添加记录");
    const std::vector<std::string> values = form.values();
    log::clearSqliteError();
    // A change the history cannot take is not made.
    history::Pending record = history::beginEdit(folder_, history::Action::Add, {}, values);
    if (!record)
        return failed(what, msg::kAddFailed, kWriteHistory,
                      causeFor(pathIn(folder_, history::kFileName)));
    log::clearSqliteError();
    // With its index, which the new record then joins at once.
    static_cast<void>(store_.OpenTable(registerPath(), pathIn(folder_, names::kIndex)));
    const bool written = store_.AppendRecord(values);
    const bool added = store_.CloseAllTables() && written;
    const QString why = added ? QString() : causeFor(registerPath());
    const long long id = record.id();
    record.finish(added);
    if (!added) return failed(what, msg::kAddFailed, kWriteRegister, why);
    Outcome done = doneWith(msg::kAdded, id);
    done.counts = resort();
    done.edits = view_.addPerson(form[F房屋详址], label(values));
    return done;
}

bool RegisterEditor::selectedFound() {
    if (!openSelected()) return false;
    static_cast<void>(store_.CloseAllTables());  // nothing was written
    return true;
}

std::optional<long> RegisterEditor::selectedHouseholdSize() {
    if (!openSelected()) return std::nullopt;
    const std::string address = view_.selectedHouseholdLine();
    const long count = store_.CountMatching([&] { return store_.ReadField(F房屋详址) == address; });
    static_cast<void>(store_.CloseAllTables());  // nothing was written
    return count;
}

Outcome RegisterEditor::checkModify(maint::EntryForm& form,
                                    const std::function<bool()>& confirmSoleMove) {
    if (!openSelected()) return refused(msg::kSelectToModify);
    // One reading of the register for the count and the rules: each new opening reads the whole
    // file into a fresh cache, a tenth of a second at 100,000 persons.
    if (confirmSoleMove) {
        const std::string address = view_.selectedHouseholdLine();
        const long atAddress =
            store_.CountMatching([&] { return store_.ReadField(F房屋详址) == address; });
        if (atAddress <= 1 && form[F房屋详址] != address) {
            static_cast<void>(store_.CloseAllTables());  // nothing was written
            if (!confirmSoleMove()) {
                Outcome no;
                no.kind = Outcome::Kind::Cancelled;
                return no;
            }
            if (!openSelected()) return refused(msg::kSelectToModify);
        }
    }
    const auto broken = maint::validateEntry(maint::Mode::Modify, form, store_, view_.lines(),
                                             view_.selectedText());
    static_cast<void>(store_.CloseAllTables());  // nothing was written
    return broken ? refused(fromGb(*broken)) : Outcome{};
}

Outcome RegisterEditor::modify(const maint::EntryForm& form) {
    const QString what = QStringLiteral("修改记录");
    if (!openSelected()) return refused(msg::kSelectToModify);
    const std::vector<std::string> values = form.values();
    log::clearSqliteError();
    history::Pending record = history::beginEdit(folder_, history::Action::Modify,
                                                 history::currentValues(store_), values);
    QString step = kWriteHistory;
    QString why = record ? QString() : causeFor(pathIn(folder_, history::kFileName));
    if (record) log::clearSqliteError();
    const bool written = record && store_.OverwriteRecord(values);
    const bool modified = store_.CloseAllTables() && written;
    if (record && !modified) {
        step = kWriteRegister;
        why = causeFor(registerPath());
    }
    const long long id = record.id();
    record.finish(modified);
    if (!modified) return failed(what, msg::kModifyFailed, step, why);
    Outcome done = doneWith(msg::kModified, id);
    done.counts = resort();
    done.edits = view_.modifySelected(form[F房屋详址], label(values));
    return done;
}

Outcome RegisterEditor::remove() {
    const QString what = QStringLiteral("删除记录");
    if (!openSelected()) return refused(msg::kSelectToDelete);
    log::clearSqliteError();
    history::Pending record =
        history::beginEdit(folder_, history::Action::Delete, history::currentValues(store_), {});
    QString step = kWriteHistory;
    QString why = record ? QString() : causeFor(pathIn(folder_, history::kFileName));
    if (record) log::clearSqliteError();
    const bool removed = record && store_.MarkDeleted() && store_.Pack();
    const maint::Counts counts = maint::countPeople(store_);
    // A delete that could not be kept leaves the register and the view as they were.
    const bool deleted = store_.CloseAllTables() && removed;
    if (record && !deleted) {
        step = kWriteRegister;
        why = causeFor(registerPath());
    }
    const long long id = record.id();
    record.finish(deleted);
    if (!deleted) return failed(what, msg::kDeleteFailed, step, why);
    Outcome done = doneWith(msg::kDeleted, id);
    done.counts = counts;
    done.edits = view_.removeSelected();
    return done;
}

Outcome RegisterEditor::clear(const std::string& remark) {
    const QString what = QStringLiteral("清空记录");
    if (!openSelected()) return refused(msg::kSelectToClear);
    // Codes "0" (nothing chosen), texts empty.
    std::vector<std::string> placeholder;
    for (int pos = 1; pos <= kFieldCount; ++pos)
        placeholder.emplace_back(codeTableOf(pos) ? 1 : 0, '0');
    placeholder[F序号 - 1] = store_.ReadField(F序号);
    placeholder[F房屋详址 - 1] = store_.ReadField(F房屋详址);
    placeholder[F备注 - 1] = remark;
    log::clearSqliteError();
    history::Pending record = history::beginEdit(folder_, history::Action::Clear,
                                                 history::currentValues(store_), placeholder);
    QString step = kWriteHistory;
    QString why = record ? QString() : causeFor(pathIn(folder_, history::kFileName));
    if (record) log::clearSqliteError();
    const bool written = record && store_.OverwriteRecord(placeholder);
    const maint::Counts counts = maint::countPeople(store_);
    const bool cleared = store_.CloseAllTables() && written;
    if (record && !cleared) {
        step = kWriteRegister;
        why = causeFor(registerPath());
    }
    const long long id = record.id();
    record.finish(cleared);
    Outcome out =
        cleared ? doneWith(msg::kCleared, id) : failed(what, msg::kClearFailed, step, why);
    out.values = placeholder;
    if (!cleared) return out;
    out.counts = counts;
    out.edits = view_.relabelSelected(placeholder[F序号 - 1] + "::");
    return out;
}

Outcome RegisterEditor::backUp(const QString& target) {
    return backUpThrough(target, {});
}

Outcome RegisterEditor::backUpSealed(const QString& target, const QByteArray& passphrase) {
    return backUpThrough(target, passphrase);
}

Outcome RegisterEditor::backUpThrough(const QString& target, const QByteArray& passphrase) {
    const bool sealing = !passphrase.isEmpty();
    const QString what = sealing ? QStringLiteral("加密备份") : QStringLiteral("备份数据");
    if (target.isEmpty()) return refused(msg::kBackupFailed);  // the clerk cancelled
    log::clearSqliteError();
    if (!store_.OpenTable(registerPath())) {
        const QString why = causeFor(registerPath());
        static_cast<void>(store_.CloseAllTables());  // nothing open
        return failed(what, msg::kBackupFailed, kOpenRegister, why);
    }
    const long persons = store_.CountMatching();
    // A sealed backup is first a plain copy in the program folder (private, like the register),
    // which never leaves it: the file the clerk chose only ever holds the sealed bytes.
    const QString copy =
        sealing ? files::temporaryNameBeside(pathIn(folder_, names::kRestoreStage)) : target;
    const bool copied = store_.CopyTo(copy);
    const QString why = copied ? QString() : causeFor(QFileInfo(copy).absolutePath());
    static_cast<void>(store_.CloseAllTables());  // the register was only read
    if (!copied) {
        if (sealing) files::remove(copy);
        return failed(what, msg::kBackupFailed, QStringLiteral("写入备份文件"), why);
    }
    if (sealing) {
        const sealed::Answer sealedCopy = sealed::seal(copy, target, passphrase, sealCost_);
        files::remove(copy);
        if (!sealedCopy.done())
            return failed(what, msg::kBackupFailed, QStringLiteral("写入加密备份"),
                          sealedCopy.reason);
    }
    autobackup::noteCopy(folder_, target, QDateTime::currentDateTime());
    // A backup carries every person out of the program: on record, as the exports are.
    static_cast<void>(history::recordAccess(
        folder_, history::Action::Backup,
        sealing ? QStringLiteral("全部数据（加密）") : QStringLiteral("全部数据"), target,
        persons));
    return doneWith(sealing ? msg::kSealedBackedUp : msg::kBackedUp, 0);
}

Outcome RegisterEditor::restore(const QString& backup) {
    return restoredBy(exchange::restoreRegister(folder_, backup));
}

Outcome RegisterEditor::restoreSealed(const QString& backup, const QByteArray& passphrase) {
    // Opened into a private file of the program folder, then restored from there like a plain
    // backup; that file goes again whatever happens (and is swept at start after a crash).
    const QString plain = files::temporaryNameBeside(pathIn(folder_, names::kRestoreStage));
    const sealed::Answer opened = sealed::open(backup, plain, passphrase, sealCost_);
    switch (opened.result) {
        case sealed::Result::Done:
            break;
        case sealed::Result::WrongPassphrase:
            return refused(msg::kWrongPassphrase);
        case sealed::Result::Damaged:
            return refused(msg::kSealedDamaged);
        case sealed::Result::NotSealed:
            return refused(msg::kRestoreFailed);
        case sealed::Result::Failed:
            return failed(QStringLiteral("恢复数据"), msg::kRestoreFailed,
                          QStringLiteral("解开加密备份"), opened.reason);
    }
    const Outcome restored =
        restoredBy(exchange::restoreRegister(folder_, plain, QFileInfo(backup).fileName()));
    files::remove(plain);
    return restored;
}

Outcome RegisterEditor::restoredBy(const exchange::Replacement& r) {
    switch (r.result) {
        case exchange::Replacement::Result::NotARegister:
            return refused(msg::kRestoreFailed);
        case exchange::Replacement::Result::Failed:
            return failed(QStringLiteral("恢复数据"), msg::kRestoreFailed, r.step, r.reason);
        case exchange::Replacement::Result::Replaced:
            break;
    }
    return reinstalled(doneWith(msg::kRestored, r.entry));
}

Outcome RegisterEditor::import(exchange::ImportRequest request,
                               const std::function<void()>& started,
                               const std::function<void()>& animate) {
    // The register as it was is kept and the import recorded before any row is written.
    history::Pending record;
    QString step, why;
    const QString target = request.storePath;
    request.beforeWriting = [&] {
        history::Entry entry;
        entry.action = history::Action::Import;
        entry.file = QFileInfo(request.workbookPath).fileName();
        entry.countBefore = history::recordCount(registerPath());
        log::clearSqliteError();
        const std::optional<QString> copy = safety::keep(folder_);
        if (!copy) {
            step = kWriteSafetyCopy;
            why = causeFor(pathIn(folder_, safety::kCopyFolder));
            return false;
        }
        entry.copy = *copy;
        log::clearSqliteError();
        record = history::begin(folder_, entry, target);
        if (!record) {
            step = kWriteHistory;
            why = causeFor(pathIn(folder_, history::kFileName));
            return false;
        }
        log::clearSqliteError();
        return true;
    };
    const exchange::Outcome outcome = exchange::importWorkbook(request, started, animate);
    if (!outcome.ok && record) {
        step = kWriteRegister;
        why = causeFor(target);
    }
    const long long id = record.id();
    record.finish(outcome.ok, outcome.ok ? history::recordCount(registerPath()) : -1);
    if (outcome.ok) return reinstalled(doneWith(outcome.message, id));
    if (outcome.message == exchange::msg::kImportFailed)
        return failed(QStringLiteral("导入"), outcome.message, step, why);
    // The workbook or the chosen table was not what an import needs: nothing was written.
    return refused(outcome.message);
}

std::optional<history::Entry> RegisterEditor::undoable() const {
    return exchange::undoTarget(folder_);
}

Outcome RegisterEditor::undo(const history::Entry& target) {
    const exchange::Replacement r = exchange::undoReplacement(folder_, target);
    if (r.result != exchange::Replacement::Result::Replaced)
        return failed(QStringLiteral("撤销"), exchange::msg::kUndoFailed, r.step, r.reason);
    return reinstalled(doneWith(exchange::msg::kUndone, r.entry));
}

Outcome RegisterEditor::applyChanges(const std::vector<RecordChange>& changes,
                                     const std::optional<history::Entry>& partOf) {
    using Kind = RecordChange::Kind;
    const QString what = QStringLiteral("批量变更");
    if (changes.empty()) return refused(msg::kNothingToChange);
    for (const RecordChange& c : changes)
        if (c.kind != Kind::Delete && c.values.size() != size_t(kFieldCount))
            return refused(msg::kBadValues);

    // The records as they are: where each 序号 stands (the first record that has it) and its
    // values, for the checks and the history.
    log::clearSqliteError();
    RecordStore store;
    if (!store.OpenTable(registerPath()))
        return failed(what, msg::kChangeFailed, kOpenRegister, causeFor(registerPath()));
    std::map<std::string, long> numberOf;
    long countBefore = 0;
    for (long n = 1; n <= store.RecordCount(); ++n) {
        store.GoTo(n);
        if (store.IsDeleted()) continue;
        ++countBefore;
        numberOf.emplace(store.ReadField(F序号), n);
    }
    // Where each change writes: its record when it names one, else the first with its 序号.
    std::vector<long> place(changes.size(), 0);
    std::set<long> targets;
    std::set<std::string> freed, added;
    for (size_t i = 0; i < changes.size(); ++i) {
        const RecordChange& c = changes[i];
        if (c.kind == Kind::Add) continue;
        if (c.record > 0) {
            bool holds = c.record <= store.RecordCount();
            if (holds) {
                store.GoTo(c.record);
                holds = !store.IsDeleted() && store.ReadField(F序号) == c.serial;
            }
            if (!holds) return refused(msg::kNoSuchSerial.arg(fromGb(c.serial)));
            place[i] = c.record;
        } else {
            if (!numberOf.count(c.serial)) return refused(msg::kNoSuchSerial.arg(fromGb(c.serial)));
            place[i] = numberOf[c.serial];
        }
        if (!targets.insert(place[i]).second) return refused(msg::kTwice.arg(fromGb(c.serial)));
        freed.insert(c.serial);
    }
    for (const RecordChange& c : changes) {
        if (c.kind == Kind::Delete) continue;
        const std::string& serial = c.values[F序号 - 1];
        if (!maint::isSerialNumber(serial)) return refused(msg::kBadSerial.arg(fromGb(serial)));
        if ((numberOf.count(serial) && !freed.count(serial)) || !added.insert(serial).second)
            return refused(msg::kSerialTaken);
    }

    // One entry for the batch, naming the safety copy that undoes it, and one for each record.
    history::Entry batch;
    batch.action = history::Action::Batch;
    batch.countBefore = countBefore;
    std::vector<history::Entry> entries;
    if (!partOf) entries.push_back(batch);
    for (size_t i = 0; i < changes.size(); ++i) {
        const RecordChange& c = changes[i];
        history::Entry e;
        e.action = c.kind == Kind::Add      ? history::Action::Add
                   : c.kind == Kind::Modify ? history::Action::Modify
                                            : history::Action::Delete;
        if (c.kind != Kind::Add) {
            store.GoTo(place[i]);
            e.before = history::currentValues(store);
        }
        e.after = c.values;
        const auto& person = e.after.empty() ? e.before : e.after;
        e.serial = person[F序号 - 1];
        e.name = person[F姓名 - 1];
        // Part of an import: its workbook named, which tells the entry from a batch's record.
        if (partOf) e.file = partOf->file;
        entries.push_back(std::move(e));
    }
    static_cast<void>(store.CloseAllTables());  // only read

    const std::optional<QString> copy = partOf ? partOf->copy : safety::keep(folder_);
    if (!copy)
        return failed(what, msg::kChangeFailed, kWriteSafetyCopy,
                      causeFor(pathIn(folder_, safety::kCopyFolder)));
    for (history::Entry& e : entries) e.copy = *copy;
    log::clearSqliteError();
    std::vector<history::Pending> records = history::begin(folder_, entries, registerPath());
    if (records.empty())
        return failed(what, msg::kChangeFailed, kWriteHistory,
                      causeFor(pathIn(folder_, history::kFileName)));

    // Every write in one transaction, committed by CloseAllTables: a crash or a failed write
    // before it leaves the register as it was. Records keep their numbers until the adds are
    // appended after them and the deleted ones are packed away last.
    log::clearSqliteError();
    bool committed = false;
    long countAfter = -1;
    {
        RecordStore writer;
        bool ok = writer.OpenTable(registerPath());
        bool anyDeleted = false;
        for (size_t i = 0; i < changes.size(); ++i) {
            const RecordChange& c = changes[i];
            if (!ok || c.kind == Kind::Add) continue;
            writer.GoTo(place[i]);
            ok = c.kind == Kind::Modify ? writer.OverwriteRecord(c.values) : writer.MarkDeleted();
            anyDeleted = anyDeleted || c.kind == Kind::Delete;
        }
        for (const RecordChange& c : changes)
            if (ok && c.kind == Kind::Add) ok = writer.AppendRecord(c.values);
        if (ok && anyDeleted) ok = writer.Pack();
        if (ok) countAfter = writer.CountMatching();
        // A failed write is never committed: a store dropped unclosed keeps none of its writes.
        committed = ok && writer.CloseAllTables();
    }
    const QString why = committed ? QString() : causeFor(registerPath());
    const long long id = records.front().id();
    // The batch's entry carries the count; the records of an import's update carry none.
    for (history::Pending& r : records)
        r.finish(committed, r.id() == id && !partOf ? countAfter : -1);
    if (!committed) return failed(what, msg::kChangeFailed, kWriteRegister, why);

    Outcome done = doneWith(msg::kChanged, id);
    if (viewLoaded_) return reinstalled(std::move(done));
    done.counts = resort();
    return done;
}

}  // namespace edit

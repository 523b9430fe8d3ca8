#pragma once
// The one place that changes the register of a program folder: it owns the open register, the
// change history and the register view, and runs every change in the same order: the rules, the
// history entry begun, the write, the commit, the re-sort, the entry finished. The windows ask the
// clerk, call it and paint what it answers; it shows nothing itself.
//
// Each change answers an Outcome: done (with the designed notice), refused (nothing was written;
// the designed message says why) or failed (nothing was changed; the designed failure message,
// and the reason, which is also written to the run log without any person's data).
#include <QString>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/edit/business.h"
#include "core/edit/registerview.h"
#include "core/edit/rules.h"
#include "core/edit/transfer.h"
#include "core/register/history.h"
#include "core/register/replacement.h"
#include "core/register/sealed.h"
#include "core/register/store.h"

namespace edit {

namespace msg {
inline const QString kAdded = QStringLiteral("  添加成功");
inline const QString kAddFailed = QStringLiteral("添加失败！");
inline const QString kModified = QStringLiteral("  修改成功");
inline const QString kModifyFailed = QStringLiteral("修改失败！");
inline const QString kDeleted = QStringLiteral("  删除成功");
inline const QString kDeleteFailed = QStringLiteral("删除失败！");
inline const QString kCleared = QStringLiteral("  清空成功");
inline const QString kClearFailed = QStringLiteral("清空失败！");
inline const QString kSelectToModify = QStringLiteral("请选中左侧列表中所要修改的记录的编号！");
inline const QString kSelectToDelete = QStringLiteral("请选中左侧列表中所要删除的记录的编号！");
inline const QString kSelectToClear = QStringLiteral("请选中左侧列表中所要清空的记录的编号！");
inline const QString kBackedUp = QStringLiteral("数据备份成功 ");
inline const QString kBackupFailed = QStringLiteral("数据备份失败！");
inline const QString kRestored = QStringLiteral("数据恢复成功 ");
inline const QString kRestoreFailed = QStringLiteral("数据恢复失败！");
// Encrypted backups.
inline const QString kSealedBackedUp =
    QStringLiteral("数据备份成功（已加密）。请记住这个密码：没有它，这份备份无法恢复。");
inline const QString kWrongPassphrase =
    QStringLiteral("密码不对，无法打开这份加密备份！户籍数据没有改动。");
inline const QString kSealedDamaged =
    QStringLiteral("这份加密备份已损坏或不完整，数据恢复失败！户籍数据没有改动。");
// A change of several records.
inline const QString kChanged = QStringLiteral("  变更成功");
inline const QString kChangeFailed = QStringLiteral("变更失败，户籍数据没有改变！");
inline const QString kNothingToChange = QStringLiteral("没有要变更的记录！");
inline const QString kSerialTaken = QStringLiteral("序号已存在！");
inline const QString kNoSuchSerial = QStringLiteral("序号%1不存在！");
inline const QString kBadSerial = QStringLiteral("序号“%1”不是有效的序号！");
inline const QString kTwice = QStringLiteral("序号%1在一次变更中出现了两次！");
inline const QString kBadValues = QStringLiteral("每条记录应有22项数据！");
}  // namespace msg

struct Outcome {
    // Cancelled: the clerk said no to a question asked on the way; nothing to show.
    enum class Kind { Done, Refused, Failed, Cancelled };
    Kind kind = Kind::Done;
    // Done: the notice; Refused: why; Failed: the action's failure message. Empty: say nothing.
    QString message;
    // Failed: the step that failed and why, as logged.
    QString reason;
    // Done: the changes of the tree and its hidden list, in order, that show the view again.
    std::vector<maint::ViewEdit> edits;
    // Done: the view was installed anew from the register (after a replacement or a batch while
    // the view shows the register); the window paints all of it.
    bool wholeView = false;
    // The counters after the change, when it changes them.
    std::optional<maint::Counts> counts;
    // Clear: the record as the form shows it (also when the write failed).
    std::vector<std::string> values;
    // Done: the history entry of the change (a batch: the entry that undoes it).
    long long entry = 0;

    bool done() const { return kind == Kind::Done; }
};

// One record of a change of several: added (values with its 序号), modified (the record with
// 序号 `serial` gets `values`, which may hold another 序号) or deleted.
struct RecordChange {
    enum class Kind { Add, Modify, Delete };
    Kind kind = Kind::Add;
    std::string serial;               // GB18030; Modify and Delete: the record's 序号 now
    std::vector<std::string> values;  // GB18030; Add and Modify: the 22 values after
    // Modify and Delete: when not 0, the physical record number, which must hold `serial`; it
    // tells apart records that share a 序号 (a workbook imported twice).
    long record = 0;
};

class RegisterEditor {
  public:
    explicit RegisterEditor(QString folder);
    RegisterEditor(const RegisterEditor&) = delete;
    RegisterEditor& operator=(const RegisterEditor&) = delete;

    const QString& folder() const { return folder_; }
    // For reading only (the form, the query); every read closes it again.
    reg::RecordStore& store() { return store_; }
    maint::RegisterView& view() { return view_; }
    const maint::RegisterView& view() const { return view_; }

    // Settles an action cut short before anything touches the register; the history files set
    // aside, for the window's warnings.
    [[nodiscard]] reg::history::Health settle();
    // Rebuilds the register order and installs the register in the view (tree and list); from
    // now on a replacement or a batch installs it anew. The counters.
    maint::Counts reload();

    // One person. The checks apply the entry rules (removing blanks from the form) and write
    // nothing; the changes run after the clerk confirmed, without checking again.
    [[nodiscard]] Outcome checkAdd(maint::EntryForm& form);
    [[nodiscard]] Outcome add(const maint::EntryForm& form);
    // True when a person is selected in the view and its record is found.
    [[nodiscard]] bool selectedFound();
    // How many records share the selected person's house address; nothing when no person is
    // selected or its record is not found.
    [[nodiscard]] std::optional<long> selectedHouseholdSize();
    // The rules for a modify of the selected person. With `confirmSoleMove`, the person's
    // household is counted in the same reading of the register, and when the form moves the
    // only person of a house address away, the clerk is asked through it (with the register
    // closed) before the rules run; No answers Cancelled.
    [[nodiscard]] Outcome checkModify(maint::EntryForm& form,
                                      const std::function<bool()>& confirmSoleMove = {});
    [[nodiscard]] Outcome modify(const maint::EntryForm& form);
    [[nodiscard]] Outcome remove();
    // Keeps 序号, 房屋详址 and `remark` (GB18030); codes "0", texts empty.
    [[nodiscard]] Outcome clear(const std::string& remark);

    // A copy of the register to `target`; nothing is changed.
    [[nodiscard]] Outcome backUp(const QString& target);
    // The same copy sealed with `passphrase` (see core/register/sealed.h); only the sealed bytes
    // reach `target`.
    [[nodiscard]] Outcome backUpSealed(const QString& target, const QByteArray& passphrase);
    // The whole register replaced: by a backup, by the register as it was before the import,
    // restore or batch of `target` (see undoable()), or extended by an import (its messages are
    // the import's).
    [[nodiscard]] Outcome restore(const QString& backup);
    // A sealed backup: a wrong passphrase or a damaged file is refused, the register untouched.
    [[nodiscard]] Outcome restoreSealed(const QString& backup, const QByteArray& passphrase);
    // How hard sealed backups' keys are made (tests make them cheaply).
    void setSealCost(const reg::sealed::Cost& cost) { sealCost_ = cost; }
    [[nodiscard]] Outcome import(exchange::ImportRequest request,
                                 const std::function<void()>& started = {},
                                 const std::function<void()>& animate = {});
    // The restore or import that 撤销恢复/导入 reverses now, if any.
    [[nodiscard]] std::optional<reg::history::Entry> undoable() const;
    [[nodiscard]] Outcome undo(const reg::history::Entry& target);

    // Several records changed as one: one transaction of the register, so that after a crash
    // either all of them are changed or none, and one history entry (action Batch) that names
    // a safety copy of the register as it was, which undo() puts back. Refused without a write
    // when a record is missing, a 序号 would be taken twice or is no 序号, or values are not 22.
    // With `partOf` (the import just made), the changes belong to it: no batch and no safety copy
    // of their own, their entries name the import's copy, and undoing the import undoes them.
    [[nodiscard]] Outcome applyChanges(const std::vector<RecordChange>& changes,
                                       const std::optional<reg::history::Entry>& partOf = {});

    // A business (business.h) as the clerk corrected it. The check runs the entry rules on
    // every record after it, against the register as the whole business leaves it; the first
    // failure names the person ("王小明：请选择性别！") and nothing is written.
    [[nodiscard]] Outcome checkBusiness(const Plan& plan);
    // The business as one operation: one transaction of the register (all or nothing across a
    // crash) and one history entry (action Business, named by the plan's title) with an entry
    // for each record, so that the history shows it as one business and can undo it whole.
    [[nodiscard]] Outcome applyBusiness(const Plan& plan);
    // Why the business of history entry `id` cannot be undone now (one of its records changed
    // since, or it was undone already), as the warning says it; nothing when it can.
    [[nodiscard]] std::optional<QString> businessUndoRefusal(long long id);
    // Puts every record of the business back as it was before it, as one operation of its own
    // (recorded as an undo of entry `id`); refused with businessUndoRefusal's reason.
    [[nodiscard]] Outcome undoBusiness(long long id);

  private:
    bool openSelected();
    maint::Counts resort();
    Outcome refused(const QString& message) const;
    Outcome failed(const QString& what, const QString& message, const QString& step,
                   const QString& cause) const;
    Outcome reinstalled(Outcome done);
    // The register opened with its index, rebuilding both when the index no longer fits.
    bool openIndexed(reg::RecordStore& store);
    // A business (or its undo) written: the counters, and the view's edits record by record.
    // `inOrder`: the records were written in place keeping the register's order.
    Outcome paintBusiness(Outcome done, const std::vector<PlannedRecord>& records, bool inOrder);
    QString registerPath() const;
    // A plain backup with an empty passphrase, a sealed one otherwise.
    Outcome backUpThrough(const QString& target, const QByteArray& passphrase);
    Outcome restoredBy(const exchange::Replacement& r);

    QString folder_;
    reg::sealed::Cost sealCost_ = reg::sealed::standardCost();
    reg::RecordStore store_;
    maint::RegisterView view_;
    bool viewLoaded_ = false;
};

}  // namespace edit

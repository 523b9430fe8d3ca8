#pragma once
// Replacing the register as a whole: the restore from a backup file, and the undo of the last
// restore or import (or of a change of several records). Both keep a safety copy of the register
// they replace and record themselves in the change history; neither shows anything, the window
// decides what to tell.
#include <QString>
#include <optional>

#include "core/register/history.h"

namespace exchange {

// What a replacement did.
struct Replacement {
    enum class Result {
        Replaced,
        NotARegister,  // no file chosen, or one that holds no person records: nothing changed
        Failed,        // a step could not be done: nothing changed
    };
    Result result = Result::Failed;
    QString step;         // Failed: the step, in words for the log
    QString reason;       // Failed: why (SQLite's message or errno's text), when known
    long long entry = 0;  // Replaced: the history entry
    long countAfter = -1;
};

// Puts the backup file `chosen` in place of the register of `folder`: staged as 临时备份.bak,
// accepted only when it holds the person record's fields, copied over the register in one step.
// The history names the file `shownName` when given (an encrypted backup opened into `chosen`).
Replacement restoreRegister(const QString& folder, const QString& chosen,
                            const QString& shownName = {});

// The restore or import an undo would reverse now, if any.
std::optional<reg::history::Entry> undoTarget(const QString& folder);
// The question that names what the undo reverses and when it happened.
QString undoQuestion(const QString& folder, const reg::history::Entry& target);
// Puts back the safety copy made before `target` (a restore, an import or a batch of changes), by
// the rules of a restore; a copy that is gone or no register is a failure here.
Replacement undoReplacement(const QString& folder, const reg::history::Entry& target);

namespace msg {
inline const QString kUndone = QStringLiteral("  撤销成功");
inline const QString kUndoFailed = QStringLiteral("撤销失败！");
}  // namespace msg

}  // namespace exchange

#pragma once
// Replacing the register as a whole: the restore from a backup file, and the undo of the last
// restore or import. Both keep a safety copy of the register they replace and record themselves
// in the change history; neither shows anything, the window decides what to tell.
#include <QString>
#include <optional>

#include "core/register/history.h"

namespace exchange {

// Puts the backup file `chosen` in place of the register of `folder`: staged as 临时备份.bak,
// accepted only when it holds the person record's fields, copied over the register in one step.
// True when the register was replaced.
bool restoreRegister(const QString& folder, const QString& chosen);

// The restore or import an undo would reverse now, if any.
std::optional<reg::history::Entry> undoTarget(const QString& folder);
// The question that names what the undo reverses and when it happened.
QString undoQuestion(const QString& folder, const reg::history::Entry& target);
// Puts back the safety copy made before `target`, by the rules of a restore. True when done.
bool undoReplacement(const QString& folder, const reg::history::Entry& target);

namespace msg {
inline const QString kUndone = QStringLiteral("  撤销成功");
inline const QString kUndoFailed = QStringLiteral("撤销失败！");
}  // namespace msg

}  // namespace exchange

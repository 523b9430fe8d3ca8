#pragma once
// Erasing a person who has left the register from everything else the program keeps: the change
// history (the entries stay as facts, 已清除), the safety copies, the automatic backups (in the
// program folder and the second folder) and the certificate log. Files are compacted afterwards,
// so that no freed page keeps the person's values. The erasure is recorded without any data.
#include <QString>
#include <optional>

#include "core/register/history.h"

namespace edit::erasure {

using Person = reg::history::Person;

// The person `entry` (read with its values) is about, when they can be erased: no record of the
// register of `folder` is that person any more. Nothing when the entry names nobody, the person
// is still there, or the register cannot be read.
std::optional<Person> erasable(const QString& folder, const reg::history::Entry& entry);

struct Result {
    bool ok = false;
    long entries = 0;      // history entries cleared
    int copies = 0;        // safety copies rewritten or removed
    int backups = 0;       // automatic backups rewritten or removed
    int certificates = 0;  // certificates cleared in the certificate log
    QString step, reason;  // not ok: what failed and why, for the run log
};

// Erases `person` (see erasable()); what was cleared. Stops at the first file that cannot be
// written, which is named in `step`.
Result erase(const QString& folder, const Person& person);

// "12条变更记录、3个安全副本、0个自动备份、1张证明"
QString describe(const Result& result);

}  // namespace edit::erasure

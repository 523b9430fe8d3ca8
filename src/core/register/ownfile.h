#pragma once
// An SQLite file of ours beside the register (the change history, the certificate log): made
// under a temporary name and renamed into place, opened for one action, and when it is damaged
// or foreign kept under a new name (never deleted) while a new one is started.
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <functional>

#include "core/register/sqlitedb.h"

namespace reg::ownfile {

struct Kind {
    const char* schema = nullptr;  // makes the empty file's tables
    // The application id and the tables answer as ours (read before any quick check).
    std::function<bool(sqlite::Database&)> ours;
    QString what;  // the file's name in the run log, e.g. "变更记录"
    // Readable by its owner only, and a symbolic link at its name is refused.
    bool personal = false;
};

// Opens the file at `path` for reading and writing with a rollback journal, making it when
// missing. One that does not open or is not ours (with `thorough`, also by PRAGMA quick_check)
// is set aside under "<name>-损坏-<now>.wav" with its journal, its new name appended to
// `setAsideNames`, and a new one made. An unopened Database when none can be had (logged).
sqlite::Database open(const QString& path, const Kind& kind, bool thorough, const QDateTime& now,
                      QStringList& setAsideNames);

}  // namespace reg::ownfile

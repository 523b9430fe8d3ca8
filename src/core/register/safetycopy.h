#pragma once
// Safety copies: before a restore or an undo replaces the register and before an import appends
// to it, the register as it was is kept as a dated, complete register file in the folder
// 安全副本 of the program folder. The newest 20 are kept, and of those only the ones younger than
// the retention's age (see retention.h).
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <optional>

namespace reg::safety {

inline const QString kCopyFolder = QStringLiteral("安全副本");
constexpr int kKept = 20;

// The path of the copy named `name` in `folder`'s 安全副本.
QString pathOf(const QString& folder, const QString& name);

// Copies the register of `folder` into a new dated file (by the store's own copy: temporary name,
// flush, rename) and removes copies beyond the newest 20. The copy's file name; an empty name
// when there is no register to keep; nullopt when the copy could not be written.
std::optional<QString> keep(const QString& folder);

// The copies there are, oldest first.
QStringList copies(const QString& folder);
// The copies whose name says they were made before `time` (a name that tells no time is never
// among them).
QStringList madeBefore(const QString& folder, const QDateTime& time);

}  // namespace reg::safety

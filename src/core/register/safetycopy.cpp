#include "core/register/safetycopy.h"

#include <QDateTime>
#include <QDir>
#include <cerrno>

#include "core/register/files.h"
#include "core/register/log.h"
#include "core/register/retention.h"
#include "core/register/store.h"
#include "core/register/workfiles.h"

namespace reg::safety {

namespace {

const QString kPrefix = QStringLiteral("户籍数据-");

}  // namespace

QString pathOf(const QString& folder, const QString& name) {
    return pathIn(folder, kCopyFolder) + QLatin1Char('/') + name;
}

QStringList copies(const QString& folder) {
    // The dated names sort in the order they were made.
    return QDir(pathIn(folder, kCopyFolder))
        .entryList({kPrefix + QStringLiteral("*.wav")}, QDir::Files, QDir::Name);
}

QStringList madeBefore(const QString& folder, const QDateTime& time) {
    QStringList out;
    for (const QString& name : copies(folder)) {
        const QDateTime made = QDateTime::fromString(name.mid(kPrefix.size(), 19),
                                                     QStringLiteral("yyyyMMdd-HHmmss-zzz"));
        if (made.isValid() && made < time) out << name;
    }
    return out;
}

std::optional<QString> keep(const QString& folder) {
    const QString registerPath = pathIn(folder, names::kRegister);
    if (!files::exists(registerPath)) return QString();
    const QString dir = pathIn(folder, kCopyFolder);
    if (!QDir().mkpath(dir)) {
        log::failure(QStringLiteral("建立安全副本文件夹"), log::errnoText(errno));
        return std::nullopt;
    }
    const QString stamp =
        QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss-zzz"));
    QString name;
    for (int n = 1;; ++n) {
        name = kPrefix + stamp + (n > 1 ? QStringLiteral("-%1").arg(n) : QString()) +
               QStringLiteral(".wav");
        if (!files::exists(pathOf(folder, name))) break;
    }
    RecordStore store;
    // A register that does not open is kept byte for byte: it is still what would be lost. The
    // store notes why a copy of its own failed.
    bool copied = false;
    if (store.OpenTable(registerPath)) {
        copied = store.CopyTo(pathOf(folder, name));
    } else {
        copied = files::copy(registerPath, pathOf(folder, name));
        if (!copied) log::failure(QStringLiteral("保留安全副本 ") + name, log::errnoText(errno));
    }
    (void)store.CloseAllTables();
    if (!copied) return std::nullopt;

    const QStringList all = copies(folder);
    for (qsizetype i = 0; i + kKept < all.size(); ++i) files::remove(pathOf(folder, all[i]));
    static_cast<void>(retention::apply(folder, QDateTime::currentDateTime()));  // logs itself
    // Temporary files of a copy cut short by a crash.
    for (const QString& left :
         QDir(dir).entryList({QStringLiteral(".*.tmp")}, QDir::Files | QDir::Hidden))
        files::remove(dir + QLatin1Char('/') + left);
    return name;
}

}  // namespace reg::safety

#include "core/register/ownfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>

#include "core/register/files.h"
#include "core/register/log.h"

namespace reg::ownfile {

using sqlite::Access;
using sqlite::Database;
using sqlite::Statement;

namespace {

void logFailure(const Kind& kind, const QString& action, const QString& reason) {
    log::failure(action + kind.what, reason);
}

// A new, empty file written under a temporary name, flushed and renamed into place.
bool createFresh(const QString& path, const Kind& kind) {
    const QString tmp = files::temporaryNameBeside(path);
    Database db;
    const bool written = db.open(tmp, Access::Create) && db.exec("PRAGMA journal_mode=DELETE") &&
                         db.begin() && db.exec(kind.schema) && db.commit();
    if (!db.close() || !written) {
        logFailure(kind, QStringLiteral("建立"), db.error());
        files::remove(tmp);
        return false;
    }
    if (kind.personal) QFile::setPermissions(tmp, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    if (!files::syncFile(tmp) || !files::move(tmp, path)) {
        logFailure(kind, QStringLiteral("建立"), log::errnoText(errno));
        files::remove(tmp);
        return false;
    }
    return true;
}

// A damaged or foreign file keeps its content under a new name; its journal goes with it, so
// that the new file never picks up the old one's pages.
QString setAside(const QString& path, const Kind& kind, const QDateTime& now) {
    const QFileInfo info(path);
    const QString stamp = now.toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString name;
    for (int n = 1;; ++n) {
        name = info.completeBaseName() + QStringLiteral("-损坏-") + stamp +
               (n > 1 ? QStringLiteral("-%1").arg(n) : QString()) + QStringLiteral(".wav");
        if (!files::exists(info.dir().filePath(name))) break;
    }
    const QString target = info.dir().filePath(name);
    if (!files::move(path, target)) {
        logFailure(kind, QStringLiteral("改名保存损坏的"), log::errnoText(errno));
        return {};
    }
    if (files::exists(path + QStringLiteral("-journal")))
        files::move(path + QStringLiteral("-journal"), target + QStringLiteral("-journal"));
    return name;
}

bool looksOurs(Database& db, const Kind& kind, bool thorough) {
    if (!kind.ours(db)) return false;
    if (!thorough) return true;
    Statement check = db.prepare("PRAGMA quick_check");
    return check.row() && check.string(0) == QLatin1String("ok");
}

}  // namespace

Database open(const QString& path, const Kind& kind, bool thorough, const QDateTime& now,
              QStringList& setAsideNames) {
    // A fixed name is never followed elsewhere.
    if (kind.personal && QFileInfo(path).isSymLink()) {
        logFailure(kind, QStringLiteral("打开"), QStringLiteral("是符号链接"));
        return Database();
    }
    if (!files::exists(path) && !createFresh(path, kind)) return Database();
    Database db;
    const bool opened = db.open(path, Access::ReadWrite);
    if (opened && db.exec("PRAGMA journal_mode=DELETE") && looksOurs(db, kind, thorough)) return db;
    const QString reason = db.error();
    // A file that cannot even be opened for writing is not ours to move.
    if (!opened && !QFileInfo(path).isWritable()) {
        logFailure(kind, QStringLiteral("打开"), reason);
        return Database();
    }
    db = Database();
    logFailure(kind, QStringLiteral("打开"),
               reason.isEmpty() ? QStringLiteral("已损坏或不是本程序的文件") : reason);
    const QString aside = setAside(path, kind, now.isValid() ? now : QDateTime::currentDateTime());
    if (aside.isEmpty() || !createFresh(path, kind)) return Database();
    setAsideNames.append(aside);
    if (!db.open(path, Access::ReadWrite)) logFailure(kind, QStringLiteral("打开"), db.error());
    return db;
}

}  // namespace reg::ownfile

#include "core/session/privacy.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <algorithm>

#include "core/edit/certificatelog.h"
#include "core/register/history.h"
#include "core/register/log.h"
#include "core/register/ownfile.h"
#include "core/register/safetycopy.h"
#include "core/register/workfiles.h"

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace shell {

namespace {

#ifdef Q_OS_UNIX
// Drops group and other bits of a file or folder named `path` that is no link: opened without
// following one, then changed through the descriptor, so a link swapped in meanwhile is never
// followed either.
bool tighten(const QString& path) {
    const QByteArray name = QFile::encodeName(path);
    struct stat st;
    if (::lstat(name.constData(), &st) != 0 || S_ISLNK(st.st_mode)) return false;
    if (!(st.st_mode & (S_IRWXG | S_IRWXO))) return false;
    const int fd = ::open(name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat opened;
    bool changed = false;
    if (::fstat(fd, &opened) == 0 && opened.st_ino == st.st_ino && opened.st_dev == st.st_dev &&
        (S_ISREG(opened.st_mode) || S_ISDIR(opened.st_mode)))
        changed = ::fchmod(fd, opened.st_mode & S_IRWXU) == 0;
    ::close(fd);
    return changed;
}
#endif

const QRegularExpression& leftoverPattern() {
    // files::temporaryNameBeside: a dot, the target's name, eight hex digits, ".tmp".
    static const QRegularExpression pattern(QStringLiteral("^\\..+\\.[0-9a-f]{8}\\.tmp$"));
    return pattern;
}

constexpr int kSettingsAppId = 0x48484A53;  // "HHJS"

const char* const kSettingsSchema =
    "PRAGMA application_id = 1212697171;"
    "PRAGMA user_version = 1;"
    "CREATE TABLE settings(key TEXT PRIMARY KEY, value TEXT NOT NULL);";

bool settingsAreOurs(reg::sqlite::Database& db) {
    return db.pragmaInt("application_id") == kSettingsAppId &&
           bool(db.prepare("SELECT key, value FROM settings LIMIT 0"));
}

reg::sqlite::Database openSettings(const QString& folder) {
    static const reg::ownfile::Kind kind{kSettingsSchema, settingsAreOurs,
                                         QStringLiteral("程序设置"), true};
    QStringList setAside;  // the run log names a set-aside file; the clerk loses only a setting
    return reg::ownfile::open(reg::pathIn(folder, kSettingsFileName), kind, false,
                              QDateTime::currentDateTime(), setAside);
}

constexpr char kIdleKey[] = "idle_lock_minutes";

}  // namespace

int idleLockMinutes(const QString& folder) {
    // Reading never makes the file: a folder where nothing was set keeps the default.
    if (!QFileInfo::exists(reg::pathIn(folder, kSettingsFileName))) return kDefaultIdleLockMinutes;
    reg::sqlite::Database db = openSettings(folder);
    reg::sqlite::Statement st = db.prepare("SELECT value FROM settings WHERE key = ?");
    st.bindText(1, std::string_view(kIdleKey));
    bool ok = false;
    const int minutes = st && st.row() ? st.string(0).toInt(&ok) : 0;
    return ok && minutes >= 0 && minutes <= kMaxIdleLockMinutes ? minutes : kDefaultIdleLockMinutes;
}

bool saveIdleLockMinutes(const QString& folder, int minutes) {
    reg::sqlite::Database db = openSettings(folder);
    reg::sqlite::Statement st =
        db.prepare("INSERT OR REPLACE INTO settings(key, value) VALUES(?, ?)");
    st.bindText(1, std::string_view(kIdleKey));
    st.bindText(2, QString::number(std::clamp(minutes, 0, kMaxIdleLockMinutes)));
    if (st && st.run()) return true;
    reg::log::failure(QStringLiteral("保存程序设置"), db.error());
    return false;
}

void restrictNewFiles() {
#ifdef Q_OS_UNIX
    ::umask(S_IRWXG | S_IRWXO);
#endif
}

QStringList tightenPrivateFiles(const QString& folder) {
    QStringList tightened;
#ifdef Q_OS_UNIX
    QStringList names = {reg::names::kRegister,   reg::names::kPassword,    reg::history::kFileName,
                         reg::log::kFileName,     reg::log::kOlderFileName, cert::kLogFileName,
                         reg::safety::kCopyFolder};
    // Whatever lies in the copies' folder is a register or part of one.
    for (const QString& copy : QDir(reg::pathIn(folder, reg::safety::kCopyFolder))
                                   .entryList(QDir::Files | QDir::Hidden | QDir::System))
        names << reg::safety::kCopyFolder + QLatin1Char('/') + copy;
    for (const QString& name : names)
        if (tighten(reg::pathIn(folder, name))) tightened << name;
#else
    Q_UNUSED(folder);
#endif
    return tightened;
}

int removeLeftoverTemporaries(const QString& folder) {
    int removed = 0;
    for (const QString& dir : {folder, reg::pathIn(folder, reg::safety::kCopyFolder)}) {
        const QDir d(dir);
        for (const QFileInfo& info :
             d.entryInfoList({QStringLiteral(".*.tmp")}, QDir::Files | QDir::Hidden | QDir::System))
            if (!info.isSymLink() && leftoverPattern().match(info.fileName()).hasMatch() &&
                QFile::remove(info.filePath()))
                ++removed;
    }
    return removed;
}

void protectFolderAtStart(const QString& folder) {
    restrictNewFiles();
    const QStringList tightened = tightenPrivateFiles(folder);
    if (!tightened.isEmpty())
        reg::log::event(QStringLiteral("收紧文件权限：%1").arg(tightened.join(u'、')));
    if (const int removed = removeLeftoverTemporaries(folder))
        reg::log::event(QStringLiteral("删除遗留的临时文件 %1 个").arg(removed));
}

}  // namespace shell

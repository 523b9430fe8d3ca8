#include "core/session/privacy.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <algorithm>

#include "core/edit/certificatelog.h"
#include "core/register/history.h"
#include "core/register/log.h"
#include "core/register/safetycopy.h"
#include "core/register/settings.h"
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

constexpr char kIdleKey[] = "idle_lock_minutes";

}  // namespace

int idleLockMinutes(const QString& folder) {
    bool ok = false;
    const int minutes = reg::settings::value(folder, kIdleKey).value_or(QString()).toInt(&ok);
    return ok && minutes >= 0 && minutes <= kMaxIdleLockMinutes ? minutes : kDefaultIdleLockMinutes;
}

bool saveIdleLockMinutes(const QString& folder, int minutes) {
    return reg::settings::setValue(folder, kIdleKey,
                                   QString::number(std::clamp(minutes, 0, kMaxIdleLockMinutes)));
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

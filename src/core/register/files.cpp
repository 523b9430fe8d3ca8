#include "core/register/files.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryFile>
#include <cerrno>

#include "core/register/log.h"

#ifdef Q_OS_WIN
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cstdio>
#include <cstdlib>
#endif

namespace reg::files {

namespace {

#ifndef Q_OS_WIN
QByteArray native(const QString& path) {
    return QFile::encodeName(path);
}
#endif

}  // namespace

bool exists(const QString& path) {
    return !path.isEmpty() && QFileInfo::exists(path);
}

int64_t size(const QString& path) {
    QFileInfo info(path);
    return info.exists() ? info.size() : -1;
}

bool remove(const QString& path) {
    if (path.isEmpty()) return false;
    setCleared(path);
    return QFile::remove(path);
}

bool move(const QString& from, const QString& to) {
    if (from.isEmpty() || to.isEmpty()) return false;
#ifdef Q_OS_WIN
    return MoveFileExW(reinterpret_cast<LPCWSTR>(QDir::toNativeSeparators(from).utf16()),
                       reinterpret_cast<LPCWSTR>(QDir::toNativeSeparators(to).utf16()),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
#else
    if (::rename(native(from).constData(), native(to).constData()) != 0) return false;
    syncFolder(QFileInfo(to).absolutePath());
    return true;
#endif
}

bool copy(const QString& from, const QString& to) {
    if (from.isEmpty() || to.isEmpty()) return false;
    QFile in(from);
    if (!in.open(QIODevice::ReadOnly)) return false;
    const QString tmp = temporaryNameBeside(to);
    {
        QFile out(tmp);
        if (!out.open(QIODevice::WriteOnly | QIODevice::NewOnly)) return false;
        char buffer[1 << 16];
        for (;;) {
            qint64 n = in.read(buffer, sizeof buffer);
            if (n < 0 || (n > 0 && out.write(buffer, n) != n)) {
                out.close();
                QFile::remove(tmp);
                return false;
            }
            if (n == 0) break;
        }
        if (!out.flush()) {
            out.close();
            QFile::remove(tmp);
            return false;
        }
    }
    if (!syncFile(tmp) || !move(tmp, to)) {
        QFile::remove(tmp);
        return false;
    }
    return true;
}

QString whyNotWritable(const QString& path) {
    // A folder is written by making a file in it; that file goes again at once.
    const bool folder = QFileInfo(path).isDir();
#ifdef Q_OS_WIN
    const QString probe =
        folder ? path + QStringLiteral("/.probe-%1").arg(QRandomGenerator::global()->generate())
               : path;
    const int fd =
        folder ? _wopen(reinterpret_cast<const wchar_t*>(probe.utf16()),
                        _O_CREAT | _O_EXCL | _O_RDWR | _O_TEMPORARY, _S_IREAD | _S_IWRITE)
               : _wopen(reinterpret_cast<const wchar_t*>(probe.utf16()), _O_RDWR | _O_BINARY);
    if (fd >= 0) _close(fd);
#else
    QByteArray name = QFile::encodeName(folder ? path + QStringLiteral("/.probe-XXXXXX") : path);
    const int fd = folder ? mkstemp(name.data()) : ::open(name.constData(), O_RDWR | O_CLOEXEC);
    if (fd >= 0) {
        ::close(fd);
        if (folder) ::unlink(name.constData());
    }
#endif
    return fd >= 0 ? QString() : log::errnoText(errno);
}

bool canWriteIn(const QString& folder) {
    if (!QFileInfo(folder).isDir()) return false;
    QTemporaryFile probe(folder + QStringLiteral("/.probe-XXXXXX"));
    return probe.open();  // removed again when `probe` goes
}

bool syncFile(const QString& path) {
#ifdef Q_OS_WIN
    HANDLE h = CreateFileW(reinterpret_cast<LPCWSTR>(QDir::toNativeSeparators(path).utf16()),
                           GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    bool ok = FlushFileBuffers(h) != 0;
    CloseHandle(h);
    return ok;
#else
    int fd = ::open(native(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
#endif
}

bool syncFolder(const QString& folder) {
#ifdef Q_OS_WIN
    Q_UNUSED(folder);
    return true;  // MOVEFILE_WRITE_THROUGH already flushed the rename
#else
    int fd = ::open(native(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
#endif
}

QString temporaryNameBeside(const QString& target) {
    QFileInfo info(target);
    const QString dir = info.absolutePath();
    for (;;) {
        QString name = QStringLiteral("%1/.%2.%3.tmp")
                           .arg(dir, info.fileName())
                           .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'));
        if (!QFileInfo::exists(name)) return name;
    }
}

#ifndef Q_OS_WIN
namespace {
// Changes the mode of the file named `path` unless the name is a symbolic link: opened without
// following one and changed through the descriptor, so no link swapped in is followed either.
template <typename Change>
void changeModeUnfollowed(const QString& path, Change change) {
    const QByteArray name = native(path);
    const int fd = ::open(name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        // A file we may not read (mode 0200) is still ours to change, by name once it is known
        // to be no link.
        struct stat st;
        if (errno == EACCES && ::lstat(name.constData(), &st) == 0 && S_ISREG(st.st_mode) &&
            ::chmod(name.constData(), change(st.st_mode) & 07777) != 0) {
            // as below
        }
        return;
    }
    struct stat st;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        if (::fchmod(fd, change(st.st_mode) & 07777) != 0) {
            // Modes are a courtesy to the clerk here; the callers check what they need.
        }
    }
    ::close(fd);
}
}  // namespace
#endif

void setProtected(const QString& path) {
#ifdef Q_OS_WIN
    SetFileAttributesW(reinterpret_cast<LPCWSTR>(QDir::toNativeSeparators(path).utf16()),
                       FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                           FILE_ATTRIBUTE_ARCHIVE);
#else
    changeModeUnfollowed(path,
                         [](mode_t mode) { return mode & ~mode_t(S_IWUSR | S_IWGRP | S_IWOTH); });
#endif
}

void setCleared(const QString& path) {
#ifdef Q_OS_WIN
    SetFileAttributesW(reinterpret_cast<LPCWSTR>(QDir::toNativeSeparators(path).utf16()),
                       FILE_ATTRIBUTE_NORMAL);
#else
    changeModeUnfollowed(path, [](mode_t mode) { return mode | S_IWUSR; });
#endif
}

bool isProtected(const QString& path) {
    QFileInfo info(path);
    return info.exists() && !(info.permissions() & QFileDevice::WriteOwner);
}

}  // namespace reg::files

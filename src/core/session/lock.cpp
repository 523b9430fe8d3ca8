#include "core/session/lock.h"

#include <QFile>
#include <cerrno>
#include <cstring>

#include "core/register/files.h"

#ifdef _WIN32
#include <windows.h>
#include <QDir>
#include <QFileInfo>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace shell {

#ifdef _WIN32

bool ProgramLock::acquire(const QString& path) {
    release();
    heldElsewhere_ = false;
    failure_.clear();
    reg::files::remove(path);
    // A file that cannot be deleted is held open by a running copy.
    if (reg::files::exists(path)) {
        heldElsewhere_ = !QFileInfo(path).isDir();
        if (!heldElsewhere_) failure_ = QStringLiteral("同名的文件夹挡住了它");
        return false;
    }
    HANDLE h =
        CreateFileW(reinterpret_cast<LPCWSTR>(QDir::toNativeSeparators(path).utf16()),
                    GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        heldElsewhere_ = error == ERROR_SHARING_VIOLATION;
        if (!heldElsewhere_) failure_ = QStringLiteral("错误代码 %1").arg(error);
        return false;
    }
    handle_ = h;
    return true;
}

void ProgramLock::release() {
    if (handle_) CloseHandle(static_cast<HANDLE>(handle_));
    handle_ = nullptr;
}

bool ProgramLock::held() const {
    return handle_ != nullptr;
}

#else

bool ProgramLock::acquire(const QString& path) {
    release();
    heldElsewhere_ = false;
    failure_.clear();
    const QByteArray name = QFile::encodeName(path);
    removedLink_ = false;
    // A link planted at the lock's name could make the program truncate whatever it points to.
    // It is never followed: the link itself goes (what it points to stays untouched) and the
    // program starts with a lock file of its own, as the clerk needs to work; the caller logs it.
    struct stat planted;
    if (::lstat(name.constData(), &planted) == 0 && S_ISLNK(planted.st_mode))
        removedLink_ = ::unlink(name.constData()) == 0;
    // Deleting the file would not stop a running copy on Linux, and a copy starting at the same
    // moment could lock a file that is then deleted under it. So the lock is taken on whatever
    // file stands under the name, and kept only when that file is still the one under the name.
    for (int attempt = 0; attempt < 100; ++attempt) {
        constexpr int kFlags = O_CREAT | O_NOFOLLOW | O_CLOEXEC;
        int fd = ::open(name.constData(), O_RDWR | kFlags, 0600);
        if (fd < 0 && errno != ELOOP) fd = ::open(name.constData(), O_RDONLY | kFlags, 0600);
        if (fd < 0) {
            failure_ = errno == ELOOP ? QStringLiteral("该名称是一个符号链接，不能使用")
                                      : QString::fromLocal8Bit(std::strerror(errno));
            return false;
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int error = errno;
            ::close(fd);
            heldElsewhere_ = error == EWOULDBLOCK;  // another copy holds it
            if (!heldElsewhere_) failure_ = QString::fromLocal8Bit(std::strerror(error));
            return false;
        }
        struct stat opened, named;
        if (::fstat(fd, &opened) == 0 && ::lstat(name.constData(), &named) == 0 &&
            opened.st_dev == named.st_dev && opened.st_ino == named.st_ino) {
            // An empty file is only tidiness; the lock is what counts. A file with other names
            // (a hard link planted there) is someone's data and is left as it is.
            if (S_ISREG(opened.st_mode) && opened.st_nlink == 1 && ::ftruncate(fd, 0) != 0) {
            }
            fd_ = fd;
            return true;
        }
        ::close(fd);  // the file was replaced or removed meanwhile; try the new one
    }
    heldElsewhere_ = true;  // another copy keeps replacing it
    return false;
}

void ProgramLock::release() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

bool ProgramLock::held() const {
    return fd_ >= 0;
}

#endif

}  // namespace shell

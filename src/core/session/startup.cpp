#include "core/session/startup.h"

#include <QDir>
#include <QFileInfo>
#include <iterator>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "core/register/files.h"
#include "core/register/log.h"
#include "core/register/programfolder.h"
#include "core/register/workfiles.h"
#include "core/session/password.h"
#include "core/session/privacy.h"

namespace shell {

using reg::pathIn;
namespace names = reg::names;
namespace files = reg::files;

bool prepareStart(const QString& folder, ProgramLock& lock) {
    files::setProtected(pathIn(folder, names::kPassword));

    const QString cleared[] = {names::kHelp,         names::kExecutable,   names::kTemplate,
                               names::kRegister,     names::kQueryResult,  names::kSorted,
                               names::kExportCopy,   names::kExportSorted, names::kIndex,
                               names::kRestoreStage, names::kLock};
    for (const QString& name : cleared) files::setCleared(pathIn(folder, name));

    const QString lockPath = pathIn(folder, names::kLock);
    if (!lock.acquire(lockPath)) {
        files::setProtected(lockPath);
        return false;
    }
    files::setProtected(lockPath);
    reg::log::setFolder(folder);
    reg::log::event(QStringLiteral("程序启动"));
    if (lock.removedLink())
        reg::log::failure(QStringLiteral("锁文件"),
                          QStringLiteral("该位置上有一个符号链接，已删除该链接（未跟随）"));
    protectFolderAtStart(folder);
    return true;
}

QString folderProblem(const QString& folder, const WriteCheck& canWrite) {
    if (!QFileInfo(folder).isDir()) return QStringLiteral("无法创建该文件夹。");
    if (!canWrite(folder)) return QStringLiteral("该文件夹不能写入。");
    return {};
}

FolderChoice chooseProgramFolder(const QString& named, const QString& executableFolder,
                                 const QString& dataFolder, const WriteCheck& canWrite) {
    const QString installed = reg::installedFilesFolder(executableFolder);
    const bool isInstalled =
        QFileInfo(executableFolder).fileName() == u"bin" && QFileInfo(installed).isDir();
    QString folder;
    if (!named.isEmpty()) {
        folder = QDir::cleanPath(QDir(named).absolutePath());
    } else {
        if (!isInstalled && canWrite(executableFolder)) return {executableFolder, {}};
        folder = dataFolder;
    }
    if (QDir(folder).canonicalPath() == QDir(executableFolder).canonicalPath())
        return {folder, folderProblem(folder, canWrite)};

    QDir().mkpath(folder);
    if (QString problem = folderProblem(folder, canWrite); !problem.isEmpty())
        return {folder, problem};
    QStringList failed = reg::fillFromInstalled(folder, isInstalled ? installed : executableFolder);
    const QString registerPath = pathIn(folder, names::kRegister);
    if (!files::exists(registerPath) && !reg::createRegisterIfMissing(registerPath) &&
        !failed.contains(names::kRegister))
        failed << names::kRegister;
    if (!files::exists(pathIn(folder, names::kPassword)) && !createPasswordFileIfMissing(folder) &&
        !failed.contains(names::kPassword))
        failed << names::kPassword;
    if (!failed.isEmpty())
        return {folder, QStringLiteral("无法写入程序文件：%1。").arg(failed.join(u'、'))};
    return {folder, {}};
}

void keepFreedMemory() {
#if defined(__GLIBC__)
    // The heap then grows to the program's peak and stays there; it is never larger than that
    // peak. Blocks below the mapping threshold come from the heap, so they are reused too.
    mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 512 * 1024 * 1024);
#endif
}

void clearAtExit(const QString& folder, ProgramLock& lock) {
    reg::log::event(QStringLiteral("程序结束"));
    reg::log::setFolder({});
    lock.release();
    QString paths[1 + std::size(names::kWorkingFiles)];
    paths[0] = pathIn(folder, names::kLock);
    for (size_t i = 0; i < std::size(names::kWorkingFiles); ++i)
        paths[i + 1] = pathIn(folder, names::kWorkingFiles[i]);
    for (const QString& path : paths) files::setCleared(path);
    for (const QString& path : paths) files::remove(path);
}

}  // namespace shell

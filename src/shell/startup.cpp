#include "shell/startup.h"

#include <iterator>

#include "register/files.h"
#include "register/workfiles.h"

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
    return true;
}

void clearAtExit(const QString& folder, ProgramLock& lock) {
    lock.release();
    QString paths[1 + std::size(names::kWorkingFiles)];
    paths[0] = pathIn(folder, names::kLock);
    for (size_t i = 0; i < std::size(names::kWorkingFiles); ++i)
        paths[i + 1] = pathIn(folder, names::kWorkingFiles[i]);
    for (const QString& path : paths) files::setCleared(path);
    for (const QString& path : paths) files::remove(path);
}

}  // namespace shell

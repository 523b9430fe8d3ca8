#pragma once
// Start-up preparation and the file work of the exit routine. Qt Core only.
#include <QString>
#include <functional>

#include "core/session/lock.h"

namespace shell {

// Protects the password file, clears the attributes of the program's other files and takes the
// lock file, leaving it protected; the run log is written in `folder` from then on. False when
// another copy of the program holds the lock; the caller then ends at once without showing
// anything.
bool prepareStart(const QString& folder, ProgramLock& lock);

// Whether a new file can be made in a folder; tests replace it, since a root user can write
// where the permission bits say no.
using WriteCheck = std::function<bool(const QString& folder)>;

struct FolderChoice {
    QString folder;
    QString problem;  // why the folder cannot be used; empty when it can
};

// Where the program folder is. `named` (the --folder option) when given. Otherwise the
// executable's folder when it can be written and is no installed tree's bin/ (a folder named
// bin with ../share/澄禾户籍 beside it: an installed program must never write beside its
// executable, not even when run by root or unpacked somewhere writable). Otherwise
// `dataFolder`. A folder other than the executable's is created when missing and filled from
// the installed program files (or, without an installed tree, from the executable's folder);
// what is there already is never overwritten, and a register or password file that has no
// source is made new.
FolderChoice chooseProgramFolder(const QString& named, const QString& executableFolder,
                                 const QString& dataFolder, const WriteCheck& canWrite);

// Why `folder` cannot serve as the program folder (missing, not writable), or an empty text.
QString folderProblem(const QString& folder, const WriteCheck& canWrite);

// Keeps memory the program frees for its own reuse instead of handing it back to the system at
// once. Every action of the clerk opens the register anew, and SQLite reads it into a new page
// cache each time (tens of megabytes at 100,000 persons); when those pages go back to the system
// at every close, the next action faults them in again, which costs more than the reading
// itself. Call once at the start of the program, before anything is allocated in earnest.
void keepFreedMemory();

// Closes the lock file, then clears and deletes the lock file and the six working files. The
// register file is never touched.
void clearAtExit(const QString& folder, ProgramLock& lock);

}  // namespace shell

#pragma once
// Start-up preparation and the file work of the exit routine. Qt Core only.
#include <QString>

#include "shell/lock.h"

namespace shell {

// Protects the password file, clears the attributes of the program's other files and takes the
// lock file, leaving it protected. False when another copy of the program holds the lock; the
// caller then ends at once without showing anything.
bool prepareStart(const QString& folder, ProgramLock& lock);

// Closes the lock file, then clears and deletes the lock file and the six working files. The
// register file is never touched.
void clearAtExit(const QString& folder, ProgramLock& lock);

}  // namespace shell

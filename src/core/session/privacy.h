#pragma once
// Keeping the clerk's files private to the account that runs the program: new files and folders
// readable by that account only, the personal files made so before tightened, and temporary
// copies a crash left behind removed. Qt Core only; nothing to do on Windows, where the user's
// own data folder is private already.
#include <QString>
#include <QStringList>

#include "core/register/settings.h"

namespace shell {

// New files 0600 and new folders 0700 from now on (the process umask 077). Call first thing.
void restrictNewFiles();

// The personal files of `folder` (register, change history, safety copies, run logs,
// certificate log, password file) and the safety copy folder lose every permission of group and
// others. A symbolic link is never followed, nor its target changed. Answers the names tightened.
QStringList tightenPrivateFiles(const QString& folder);

// Removes the temporary copies our own writes leave when cut short (".<name>.<8 hex>.tmp") in
// `folder` and its safety copy folder; nothing else, and never through a link. Only while the
// program lock is held, so that no running copy's write is taken away. Answers the count removed.
int removeLeftoverTemporaries(const QString& folder);

// Both of the above, with a line in the run log when something was found.
void protectFolderAtStart(const QString& folder);

// The program's own settings file in the program folder.
inline const QString kSettingsFileName = reg::settings::kFileName;
// Minutes without input before every window is locked; 0: never.
constexpr int kDefaultIdleLockMinutes = 15;
constexpr int kMaxIdleLockMinutes = 480;
// The clerk's choice, or the default when none was saved or the file cannot be read.
int idleLockMinutes(const QString& folder);
// Saves the choice (clamped to 0..kMaxIdleLockMinutes); false when it could not be written.
[[nodiscard]] bool saveIdleLockMinutes(const QString& folder, int minutes);

}  // namespace shell

#pragma once
// What a new program folder holds, and the rebuild of the register order.
#include <QString>
#include <vector>

#include "core/register/store.h"

namespace reg {

// The 22 person fields with their declared widths.
std::vector<FieldSpec> personFieldSpecs();
// Writes an empty register file with the 22 fields at `path`, unless a file is already there.
bool createRegisterIfMissing(const QString& path);
// Gives a new program folder the files the program needs; existing files are never touched.
void layoutProgramFolder(const QString& folder);

// The read-only program files of an installed tree: `<prefix>/share/澄禾户籍` beside the
// executable's `<prefix>/bin`.
QString installedFilesFolder(const QString& executableFolder);
// The user's own data folder: $XDG_DATA_HOME/澄禾户籍 (%LOCALAPPDATA%\澄禾户籍 on Windows).
QString userDataFolder();
// Fills `folder` from the program files in `source`: the register and the password file only
// when missing (they are the clerk's data), the template and the help when missing or different
// from the source's (a newer installation brings newer ones). A file missing in `source` is
// skipped. Answers the names that could not be copied.
QStringList fillFromInstalled(const QString& folder, const QString& source);

// The numeric value of 序号 of the current record; a text that is no number counts 0.
double serialKey(RecordStore& store);

// Rebuild of the register order: opens the register of `folder`, sorts it by the numeric 序号
// into 临时排序.wav (equal keys keep their order), moves that over the register and opens it
// again, then builds 临时索引.enx on 序号. The register is left open and current for the
// caller's walk, which ends with CloseAllTables. A sort or move that fails leaves the register
// as it was, still open.
void rebuildRegisterOrder(RecordStore& store, const QString& folder);

}  // namespace reg

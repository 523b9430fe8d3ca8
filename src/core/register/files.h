#pragma once
// File operations on the program folder. None of them reports failure to the clerk; the results
// are there for callers and tests that need them.
#include <QString>
#include <cstdint>

namespace reg::files {

bool exists(const QString& path);
// Size in bytes, -1 when the file does not exist.
int64_t size(const QString& path);
// Deletes a file; deleting one that does not exist is harmless.
bool remove(const QString& path);
// Moves `from` to `to`, replacing `to` in one step (a rename over it, never a delete first).
bool move(const QString& from, const QString& to);
// Copies `from` to `to`, replacing `to` only once the whole copy is on disk.
bool copy(const QString& from, const QString& to);
// Flushes a file's content, then its folder's entry, to the disk.
bool syncFile(const QString& path);
bool syncFolder(const QString& folder);
// Whether a new file can be made in `folder`, found out by making one and removing it: the
// permission bits alone do not tell (a read-only mount, an access list, a root user).
bool canWriteIn(const QString& folder);
// Why `path` cannot be opened for writing (a folder: no file can be made in it), in the system's
// words (errno's text); empty when it can. Nothing stays behind: for the log's reason after a
// write failed.
QString whyNotWritable(const QString& path);
// A name for a new file in the folder of `target`, not used by any file there.
QString temporaryNameBeside(const QString& target);

// Protected: read-only (on Windows also hidden, system and archive). Cleared: writable, no
// attributes.
void setProtected(const QString& path);
void setCleared(const QString& path);
bool isProtected(const QString& path);

}  // namespace reg::files

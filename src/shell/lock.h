#pragma once
// The single-instance lock: the lock file held open for the whole run. On Linux it carries an
// exclusive advisory lock, which a second copy cannot take; on Windows the open itself refuses
// any sharing, so the second copy cannot delete the file.
#include <QString>

namespace shell {

class ProgramLock {
  public:
    ProgramLock() = default;
    ~ProgramLock() { release(); }
    ProgramLock(const ProgramLock&) = delete;
    ProgramLock& operator=(const ProgramLock&) = delete;

    // Takes the lock file at `path`, leaving it empty. False when another copy holds it.
    bool acquire(const QString& path);
    // Closes the lock file; the file itself stays where it is.
    void release();
    bool held() const;

  private:
#ifdef _WIN32
    void* handle_ = nullptr;
#else
    int fd_ = -1;
#endif
};

}  // namespace shell

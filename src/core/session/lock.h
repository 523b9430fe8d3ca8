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

    // Takes the lock file at `path`, leaving it empty. False when another copy holds it or the
    // file cannot be made; heldElsewhere() then tells the two apart.
    bool acquire(const QString& path);
    // Whether the last acquire failed because another copy holds the lock.
    bool heldElsewhere() const { return heldElsewhere_; }
    // The system's reason when the last acquire failed otherwise.
    const QString& failure() const { return failure_; }
    // Whether the last acquire found a symbolic link at the name and removed it unfollowed.
    bool removedLink() const { return removedLink_; }
    // Closes the lock file; the file itself stays where it is.
    void release();
    bool held() const;

  private:
    bool heldElsewhere_ = false;
    bool removedLink_ = false;
    QString failure_;
#ifdef _WIN32
    void* handle_ = nullptr;
#else
    int fd_ = -1;
#endif
};

}  // namespace shell

#pragma once
// Automatic backups: complete copies of the register in 自动备份 of the program folder, named
// 户籍数据-YYYYMMDD-HHMM.bak, so that a register lost to a failing disk or a crash can be put
// back. A copy is written under a temporary name, flushed, checked (quick_check and the count of
// persons) and only then renamed; old copies go only after a new one stands. Optionally each new
// copy also goes to a second folder (a USB stick, a network share). Qt Core only: the windows ask
// the questions and call in here.
#include <QDateTime>
#include <QString>
#include <functional>
#include <optional>
#include <vector>

namespace reg::autobackup {

inline const QString kFolder = QStringLiteral("自动备份");
// Suffix of a copy still being written: never counted as a backup, removed when found.
inline const QString kPartSuffix = QStringLiteral(".part");

// A backup's file name for the minute `time`.
QString nameFor(const QDateTime& time);
// The minute a backup's file name stands for; nullopt for any other name.
std::optional<QDateTime> timeOf(const QString& name);

// Keep rule: of the backup times given, the ones to keep at `now`: for each of the last 7 days,
// the last 8 weeks (from Monday) and the last 12 months, the newest backup made in it. Times
// after `now` (a clock set back) are always kept. Answers indexes into `times`.
std::vector<size_t> kept(const std::vector<QDateTime>& times, const QDateTime& now);

struct Backup {
    QString name;
    QString path;
    QDateTime time;
    qint64 bytes = 0;
};
// The finished backups in `dir` (a 自动备份 folder or the second folder), newest first.
std::vector<Backup> listIn(const QString& dir);
// The program folder's backups, newest first.
std::vector<Backup> list(const QString& folder);
// Persons in a register file (its records not marked deleted); -1 when it does not open.
long personsIn(const QString& path);

// Whether the register differs from the newest backup (or there is none), byte for byte.
bool changedSinceNewest(const QString& folder);

struct Outcome {
    enum class Result {
        Written,
        Unchanged,   // the newest backup already holds this register: nothing written
        NoRegister,  // no register file to keep
        Failed,      // nothing new stands; the old backups are all still there
    };
    Result result = Result::Failed;
    QString name;          // Written: the new backup's name
    long persons = -1;     // Written: persons in it
    QString step, reason;  // Failed: what failed and why, as logged
    bool secondCopied = false;
};

// Writes a backup of the register of `folder` made at `now` (unless `always` is false and the
// register has not changed), then removes the backups the keep rule lets go, here and in the
// second folder, and copies the new one into the second folder when it can be written there.
// Every failure is logged; nothing is shown.
Outcome backUp(const QString& folder, const QDateTime& now, bool always = false);

// Removes copies a killed backup left behind (*.bak.part and the temporary copies of the file
// helpers) in `dir`. Answers the count removed.
int removeLeftovers(const QString& dir);

// The second folder chosen by the clerk, empty when none.
QString secondFolder(const QString& folder);
// Saves (an empty text: forgets) the second folder; false (logged) when it could not be saved.
[[nodiscard]] bool setSecondFolder(const QString& folder, const QString& second);
// Notes a copy of the register the clerk wrote to `target` (备份数据): one outside the program
// folder counts against the reminder.
void noteCopy(const QString& folder, const QString& target, const QDateTime& now);
// When a copy last went outside the program folder (the second folder); invalid when never.
QDateTime lastCopyOutside(const QString& folder);

// The register's check at start.
struct Damage {
    QString why;                  // SQLite's complaint
    std::optional<Backup> sound;  // the newest backup that passes quick_check
    long persons = -1;            // persons in it
};
// nullopt when the register is sound (or missing: the designed start deals with that).
std::optional<Damage> checkRegister(const QString& folder);
// The question that offers `damage.sound`.
QString recoveryQuestion(const Damage& damage);
// Sets the damaged register aside as 户籍数据-损坏-<now>.wav (with its journal; never deleted),
// then puts the backup in its place by a rename over it. The set-aside name; empty when nothing
// was changed (logged).
QString putInPlace(const QString& folder, const Backup& backup, const QDateTime& now);

// The start: the register's check (asking `ask` when damaged, a question answered true for
// Yes), then a backup when the newest is older than a day and the register changed.
void atStart(const QString& folder, const QDateTime& now,
             const std::function<bool(const QString&)>& ask);
// The clean exit: a backup when the register changed; then, at most once a week, `remind` with
// a reminder when no copy went outside the program folder for 30 days.
void atExit(const QString& folder, const QDateTime& now,
            const std::function<void(const QString&)>& remind);

namespace msg {
inline const QString kRemind = QStringLiteral(
    "       已有 30 天没有把户籍数据备份到本机以外的地方了。电脑损坏时，程序文件夹里的自动备份会"
    "一起丢失。请在“导入导出”窗口的“自动备份”中选择一个第二备份文件夹（例如U盘），"
    "或用“备份数据”把户籍数据备份到U盘。");
}  // namespace msg

}  // namespace reg::autobackup

#pragma once
// How long the program keeps what it keeps of people besides the register: safety copies are
// removed after a number of days (besides the newest-20 rule), history entries after a number of
// years when the clerk sets one. Saved in the settings; applied when the information-management
// window opens, after each new safety copy, and when the clerk sets the limits.
#include <QDateTime>
#include <QString>
#include <QStringList>

namespace reg::retention {

inline constexpr int kDefaultCopyDays = 365;
inline constexpr int kMostCopyDays = 3650;
inline constexpr int kMostHistoryYears = 100;

struct Policy {
    int copyDays = kDefaultCopyDays;  // 0: no age limit
    int historyYears = 0;             // 0: the history keeps everything
    bool operator==(const Policy&) const = default;
};

// The saved policy (the defaults when none was saved or the saved one is out of range).
Policy policy(const QString& folder);
// Saves `policy`; false (logged) when it could not be written or is out of range.
[[nodiscard]] bool setPolicy(const QString& folder, const Policy& policy);

// What `policy` would remove at `now`: the safety copies by name, and the history entries.
struct Due {
    QStringList copies;
    long entries = 0;
    QString before;  // history entries before this time ('yyyy-MM-dd HH:mm:ss'); empty: none
};
Due due(const QString& folder, const Policy& policy, const QDateTime& now);

// Removes what the saved policy makes due at `now`; what was removed.
Due apply(const QString& folder, const QDateTime& now);

// The policy in words, for the window: "安全副本保存365天，变更记录一直保存".
QString describe(const Policy& policy);

}  // namespace reg::retention

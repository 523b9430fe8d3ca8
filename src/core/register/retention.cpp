#include "core/register/retention.h"

#include <algorithm>

#include "core/register/files.h"
#include "core/register/history.h"
#include "core/register/log.h"
#include "core/register/safetycopy.h"
#include "core/register/settings.h"

namespace reg::retention {

namespace {

constexpr char kCopyDaysKey[] = "retention_copy_days";
constexpr char kHistoryYearsKey[] = "retention_history_years";

int saved(const QString& folder, const char* key, int fallback, int most) {
    bool ok = false;
    const int n = settings::value(folder, key).value_or(QString()).toInt(&ok);
    return ok && n >= 0 && n <= most ? n : fallback;
}

}  // namespace

Policy policy(const QString& folder) {
    return {saved(folder, kCopyDaysKey, kDefaultCopyDays, kMostCopyDays),
            saved(folder, kHistoryYearsKey, 0, kMostHistoryYears)};
}

bool setPolicy(const QString& folder, const Policy& p) {
    if (p.copyDays < 0 || p.copyDays > kMostCopyDays || p.historyYears < 0 ||
        p.historyYears > kMostHistoryYears)
        return false;
    return settings::setValue(folder, kCopyDaysKey, QString::number(p.copyDays)) &&
           settings::setValue(folder, kHistoryYearsKey, QString::number(p.historyYears));
}

Due due(const QString& folder, const Policy& p, const QDateTime& now) {
    Due out;
    if (p.copyDays > 0) out.copies = safety::madeBefore(folder, now.addDays(-p.copyDays));
    if (p.historyYears > 0) {
        out.before = now.addYears(-p.historyYears).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        out.entries = std::max(0L, history::countBefore(folder, out.before));
    }
    return out;
}

Due apply(const QString& folder, const QDateTime& now) {
    Due out = due(folder, policy(folder), now);
    QStringList removed;
    for (const QString& name : out.copies)
        if (files::remove(safety::pathOf(folder, name))) removed << name;
    out.copies = removed;
    if (out.entries > 0) out.entries = std::max(0L, history::removeBefore(folder, out.before));
    // Counts only: what was removed is nobody's data.
    if (!out.copies.isEmpty() || out.entries > 0)
        log::event(QStringLiteral("按保存期限删除了%1个安全副本、%2条变更记录")
                       .arg(out.copies.size())
                       .arg(out.entries));
    return out;
}

QString describe(const Policy& p) {
    const QString copies = p.copyDays > 0 ? QStringLiteral("安全副本保存%1天").arg(p.copyDays)
                                          : QStringLiteral("安全副本不按时间删除");
    const QString history = p.historyYears > 0
                                ? QStringLiteral("变更记录保存%1年").arg(p.historyYears)
                                : QStringLiteral("变更记录一直保存");
    return copies + QStringLiteral("，") + history;
}

}  // namespace reg::retention

#pragma once
// The population of the register at a date and over a period, and the three papers built on it:
// the change report (人口变动情况统计表), the change book (户籍变动登记簿) and the roster (花名册).
//
// A person lives here at a reference date R when born on or before R, not taken off the register
// (注销) on or before R, and not come later (a last change of a move in or a birth dated after R).
// Where the change history reaches back to R the register is first rebuilt as it stood at R;
// before that the change fields of today's records are used, and the answer says so.
#include <QDate>
#include <QString>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/query/report.h"
#include "core/query/statistics.h"

namespace query {

// Percent done, 0 to 100.
using ReportProgress = std::function<void(int percent)>;

// The register's records (22 values each, GB18030) as they stood at the end of `day`.
struct RegisterAt {
    std::vector<std::vector<std::string>> records;
    bool exact = false;  // rebuilt from the change history
    QDate historyStart;  // the first day the history knows; invalid when there is none
};

// `folder` holds the change history; `registerPath` the register. nullopt when the register
// does not open.
std::optional<RegisterAt> registerAt(const QString& folder, const QString& registerPath, QDate day);

// "变更记录始于2024年3月1日，此前按户籍变动情况推算" when `day` lies before the history's start,
// empty when the history reaches back to it.
QString historyNote(const RegisterAt& at, QDate day);

// 人口变动情况统计表 for `period`: 期初人数, 增加 (出生, 迁入 by kind), 减少 (死亡, 迁出 by kind),
// 期末人数, by sex and in total; any difference that keeps 期初 + 增加 − 减少 from 期末 is a row
// of its own that says what it is.
std::optional<Report> changeReport(const QString& folder, const QString& registerPath,
                                   const Period& period);

// 户籍变动登记簿: each change of `period` in date order.
std::optional<Report> changeBook(const QString& folder, const QString& registerPath,
                                 const Period& period);

// Who a roster lists.
struct RosterChoice {
    enum class Persons { All, Registered, AddressPrefix, Given };
    Persons persons = Persons::All;
    std::string addressPrefix;                    // GB18030, for AddressPrefix
    std::vector<std::vector<std::string>> given;  // 22 values each, for Given (a query result)
    std::vector<int> columns;                     // 1-based field positions, in order
    bool maskIdentity = false;  // 公民身份号码 as its first six and last four digits only
    QDate reference;            // for Registered; today when invalid
};

// 序号, 姓名, 与户主关系, 性别, 出生日期, 公民身份号码, 民族, 受教育程度, 婚姻类型.
std::vector<int> defaultRosterColumns();

// "110101********1234": the first six and last four kept; a text of ten or fewer characters is
// masked whole.
std::string maskIdentity(const std::string& number);

// 花名册: grouped by household (a Group row with the head's name and the address), the head
// first, then by relation. nullopt when the register does not open.
std::optional<Report> roster(const QString& registerPath, const RosterChoice& choice,
                             const ReportProgress& progress = {});

}  // namespace query

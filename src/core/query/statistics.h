#pragma once
// Statistics of a register at a reference date: the counters, sex by five-year age band, every
// coded field by name, and the registration changes of a period. Every table counts the persons
// living here at the reference date (在册: 与户主关系 above "0", born by then, not taken off the
// register and not come later) and adds up to their number: what cannot be placed is counted in
// rows of its own, never guessed.
#include <QDate>
#include <QString>
#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/register/store.h"

namespace query {

// A closed range of days, first and last included.
struct Period {
    QDate first;
    QDate last;
    bool contains(QDate day) const { return day >= first && day <= last; }
};

Period monthPeriod(int year, int month);
Period quarterPeriod(int year, int quarter);  // quarter 1..4
Period yearPeriod(int year);
// Two dates in either order.
Period periodBetween(QDate a, QDate b);
// "2024年1月1日至2024年3月31日".
QString periodText(const Period& period);
// "1980年1月1日".
QString dateText(QDate day);

// An eight-digit YYYYMMDD text that names a real day; an invalid QDate for anything else.
QDate parseDate(std::string_view text);

// Where a record stands at a reference date.
enum class Presence {
    Resident,      // 在册
    Deregistered,  // 注销 on or before the date
    NotYetHere,    // born after it, or a last change of a move in or a birth dated after it
    NotPerson,     // 与户主关系 not above "0"
};
// A record of 22 values (GB18030, column order). A birth date that is no real day cannot say
// the person was not born yet: such a person counts as here.
Presence presenceAt(const std::vector<std::string>& values, QDate reference);
// The same with the reference also given as its YYYYMMDD text, for a walk over many records.
Presence presenceAt(const std::vector<std::string>& values, QDate reference, std::string_view day);

// Five-year bands 0-4 .. 95-99, then 100 and over.
constexpr int kAgeBands = 21;
// "0-4岁" .. "95-99岁", "100岁以上".
QString ageBandName(int band);

// Rows of a tally: the names of a code table, then "未填" (0, -1 or empty), then "表外代码" (any
// other text). Labels are GB18030.
struct Tally {
    std::string title;  // GB18030: the field's name
    std::vector<std::string> labels;
    std::vector<long> counts;
    long total() const;
};

// Columns of the sex by age table.
enum SexColumn { kMale, kFemale, kSexUnset, kSexOther, kSexColumns };

struct Statistics {
    QDate reference;
    Period period;

    long records = 0;        // unmarked records
    long persons = 0;        // 在册 at the reference date
    long deregistered = 0;   // 注销 on or before it
    long notYetHere = 0;     // born or come after it
    long heads = 0;          // 与户主关系 "1"
    long households = 0;     // distinct 房屋详址 among the persons
    long headless = 0;       // households without a head
    long severalHeads = 0;   // households with more than one head
    long badBirthDates = 0;  // persons whose 出生日期 is no real day on or before the reference

    // Row kAgeBands counts the persons whose birth date is bad ("出生日期有误").
    std::array<std::array<long, kSexColumns>, kAgeBands + 1> sexByAge{};

    std::vector<Tally> coded;  // the eight coded fields in column order

    // 户籍变动类型 of the person records (here, taken off or not yet here) whose 户籍变动日期
    // falls in the period.
    Tally changes;
    // Where every person record's 户籍变动日期 stands: in the period, outside it, empty, not a
    // real day. Adds up to persons + deregistered + notYetHere.
    std::array<long, 4> changeDates{};

    // Empty when the register was known as it stood at the reference date; otherwise what the
    // counts rest on ("变更记录始于…，此前按户籍变动情况推算").
    QString note;
};

// "出生日期有误".
QString badBirthDateLabel();
// The labels of Statistics::changeDates: "期内", "期外", "未填", "有误".
QString changeDateLabel(int row);

// Counts records one at a time, for callers that hold them in a shape of their own.
class StatisticsCounter {
  public:
    StatisticsCounter(QDate reference, const Period& period);
    void add(const std::vector<std::string>& values);  // 22 values, GB18030, column order
    Statistics finish();

  private:
    std::string day_;  // the reference as YYYYMMDD
    Statistics s_;
    std::vector<int> codedSizes_;
    int changeSize_ = 0;
    std::unordered_map<std::string, long> households_;  // heads of each
};

// Counts records given as 22 values each (GB18030, column order).
Statistics computeStatistics(const std::vector<std::vector<std::string>>& records, QDate reference,
                             const Period& period);

// Walks the current table once. Fields are found by name, so any table of ours can be counted; a
// field it lacks reads as empty.
Statistics computeStatistics(reg::RecordStore& store, QDate reference, const Period& period);
// Opens `path`, counts and closes; nullopt when it is no table.
std::optional<Statistics> computeStatistics(const QString& path, QDate reference,
                                            const Period& period);

// The register of `registerPath` as it stood at the reference date, rebuilt from the change
// history of `folder` where it reaches back so far (see query::registerAt); `note` says when it
// does not. nullopt when the register does not open.
std::optional<Statistics> computeStatisticsAt(const QString& folder, const QString& registerPath,
                                              QDate reference, const Period& period);

// One table as rows of cells (Unicode), heading row first, for a window or a workbook sheet.
struct Sheet {
    QString name;
    std::vector<std::vector<QString>> rows;
};
// Every table: totals, sex by age, the coded fields, the changes of the period.
std::vector<Sheet> statisticsSheets(const Statistics& s);

}  // namespace query

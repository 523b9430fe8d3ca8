#pragma once
// A report as the clerk sends it upward: a title, what it covers, a table of columns and rows,
// and notes under it. The windows print it (headings on every page), save it as PDF and as a
// workbook; the report itself knows nothing of pages.
#include <QString>
#include <vector>

namespace query {

struct ReportColumn {
    QString heading;
    int weight = 1;           // share of the page's width
    bool alignRight = false;  // numbers
};

struct ReportRow {
    enum class Kind {
        Data,   // one cell per column
        Group,  // a line across the table (a household with its address): cells[0]
        Total,  // one cell per column, drawn bold
    };
    Kind kind = Kind::Data;
    std::vector<QString> cells;
};

struct Report {
    QString title;     // "人口变动情况统计表"
    QString subtitle;  // what it covers: the period, the reference date or the persons chosen
    std::vector<ReportColumn> columns;
    std::vector<ReportRow> rows;
    std::vector<QString> notes;  // lines under the table
    bool landscape = false;      // too wide for an upright A4 page
    long persons = -1;           // persons named in it (a roster, a change book); -1: counts only
};

// The report with the middle of every 公民身份号码 in its column hidden (first six and last four
// kept), for a paper that leaves the office.
void maskIdentityColumn(Report& report);

}  // namespace query

#pragma once
// A report as a workbook: the title in the first row, the subtitle under it, then the column
// headings, the rows and the notes, written through the one table writer (.xls or .xlsx by the
// name saved to).
#include <QString>

#include "core/query/report.h"
#include "core/workbook/tablewriter.h"

namespace exchange {

// Writes `report` at `path`, replacing a file there only once the new one is complete. A report
// longer than one worksheet holds goes on in worksheets "Sheet2" ... (each starting with the
// title row). False when nothing was written.
[[nodiscard]] bool writeReportWorkbook(const QString& path, const query::Report& report,
                                       const Progress& progress = {});

// The lines of the sheet below its first row (the title): the subtitle, the headings, the rows
// (a Group row in the first column), the notes; each `columns` cells wide.
std::vector<std::vector<QString>> reportLines(const query::Report& report);

}  // namespace exchange

#pragma once
// The check of a whole register file and the workbook that reports it, free of widgets: the
// window asks for the file name and shows what came out.
#include <QString>
#include <functional>
#include <string>
#include <vector>

#include "core/edit/health.h"
#include "core/workbook/spreadsheet.h"

namespace exchange {

struct RegisterHealth {
    bool opened = false;  // false when the file is no table of ours
    long records = 0;
    std::vector<reg::health::Finding> findings;
};

// Reads every unmarked record of the table at `path` and checks it. Fields are found by name, so a
// table with other columns is checked for what it holds. `progress` gets 0..100 while it reads.
RegisterHealth checkRegisterFile(const QString& path,
                                 const std::function<void(int percent)>& progress = {},
                                 const std::string& today = reg::health::today());

enum class ReportResult { Saved, NoSpreadsheet, SaveFailed };

// The report: headings 序号, 房屋详址, 姓名, 类别, 说明 in row 1, then one row per finding in the
// order given; rows beyond one worksheet of the kind the name asks for go on in "Sheet2",
// "Sheet3" ... with the same headings.
ReportResult writeHealthReport(const std::vector<reg::health::Finding>& findings,
                               const QString& path,
                               const SpreadsheetFactory& factory = createSpreadsheet);

// The notice after a check: how many records, and the findings by kind.
QString healthSummary(const RegisterHealth& health);

}  // namespace exchange

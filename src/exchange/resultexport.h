#pragma once
// The result export as the information-management window runs it: the query result of the
// program folder to a workbook, with the window's progress bar shown while it runs.
#include <QString>

#include "exchange/spreadsheet.h"
#include "ui/dialogs.h"

class QProgressBar;

namespace exchange {

// Shows `bar` (may be null) once the spreadsheet is created, moves it with the export, and sets
// it to 0 and hides it at the end. Messages and the save dialog go through `dialogs`.
void exportResult(const QString& folder, ui::Dialogs& dialogs, QProgressBar* bar,
                  const SpreadsheetFactory& factory = createSpreadsheet);

}  // namespace exchange

#pragma once
// The window side of the exchange pipelines: the save dialog they call for, the message they
// answer shown in the window's style, and the result export as the information-management window
// runs it.
#include <QString>
#include <functional>

#include "core/edit/healthreport.h"
#include "core/edit/transfer.h"
#include "core/workbook/spreadsheet.h"
#include "gui/ui/dialogs.h"

class QProgressBar;

namespace exchange {

// Shows the pipeline's message, if any, in its style.
void show(ui::Dialogs& dialogs, const Outcome& outcome);
// Shows why a report workbook was not saved; nothing when it was.
void show(ui::Dialogs& dialogs, ReportResult result);

// The pipelines run through `dialogs`: the save dialog asked when the sheets are written and the
// answer shown at the end, in the order the pipeline met them.
void exportRegister(const QString& folder, const QString& registerPath, ui::Dialogs& dialogs,
                    const Progress& progress, const std::function<void()>& started = {},
                    const SpreadsheetFactory& factory = createSpreadsheet);
void exportQueryResult(const QString& folder, ui::Dialogs& dialogs, const Progress& progress,
                       const std::function<void()>& started = {},
                       const SpreadsheetFactory& factory = createSpreadsheet,
                       bool maskIdentity = false);
// True when "  导入成功" was shown.
bool importWorkbook(const ImportRequest& request, ui::Dialogs& dialogs,
                    const std::function<void()>& started = {},
                    const std::function<void()>& animate = {});

// Shows `bar` (may be null) once the spreadsheet is created, moves it with the export, and sets
// it to 0 and hides it at the end. Messages and the save dialog go through `dialogs`.
// With `maskIdentity` the middle of each identity number is hidden (see transfer.h).
void exportResult(const QString& folder, ui::Dialogs& dialogs, QProgressBar* bar,
                  const SpreadsheetFactory& factory = createSpreadsheet, bool maskIdentity = false);

}  // namespace exchange

#pragma once
// Drawing a report on A4 pages: the title, what it covers, the village and the date printed on
// top; the column headings repeated on every page; a household line across the table; totals
// bold; the notes under the table; "第 n 页 共 N 页" at the foot.
#include <QDate>
#include <QString>
#include <functional>

#include "core/query/report.h"
#include "gui/reports/cardprint.h"

class QPagedPaintDevice;
class QWidget;

namespace maint {

struct ReportHeader {
    QString village;  // the village's name; left out when empty
    QDate printed;
};

// Percent done, 0 to 100.
using PaperProgress = std::function<void(int percent)>;

// The pages the report takes: the table's lines and the notes under it.
int reportPages(const query::Report& report);

// Draws the report on A4 pages of `device` (landscape when the report says so); false when the
// device could not be painted on.
bool paintReport(QPagedPaintDevice& device, const query::Report& report, const ReportHeader& header,
                 const PaperProgress& progress = {});

// Writes the report as a PDF file at `path` with its fonts embedded, replacing a file there only
// once the new one is complete. Safe off the window's thread.
bool writeReportPdf(const QString& path, const query::Report& report, const ReportHeader& header,
                    const PaperProgress& progress = {});

// Asks for a printer through the print dialog and prints.
// `printerName`, when given, gets the printer's name (or the file printed to) once printed.
PrintResult printReport(QWidget* parent, const query::Report& report, const ReportHeader& header,
                        QString* printerName = nullptr);

}  // namespace maint

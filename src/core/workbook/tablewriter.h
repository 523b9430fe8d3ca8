#pragma once
// The one way the exports write a table: a heading row, then the rows below it, as many to a
// worksheet as the kind of workbook holds; a longer table goes on in worksheets "Sheet2",
// "Sheet3" ... that start with the same heading row.
#include <QString>
#include <functional>
#include <vector>

#include "core/workbook/spreadsheet.h"

namespace exchange {

// Rows one .xls worksheet holds below its heading row (65,536 rows in all).
constexpr int kPersonsPerSheet = 65535;

// Rows below the heading row that one worksheet of `kind` holds.
long rowsPerSheet(WorkbookKind kind);

// Percent done, 0 to 100.
using Progress = std::function<void(int percent)>;

struct TableColumn {
    QString heading;
    double width = 0;  // in characters of the default font
};

// How a table looks beyond its headings and widths; each export keeps the look it has always had.
struct TableLook {
    // The heading cells centred.
    bool centredHeadings = false;
    // The block from a1 to this many columns across and every row of the sheet centred both ways
    // and wrapped; 0 for none.
    int centredColumns = 0;
    // Every value written with the spreadsheet's mark for "keep this as text", so that a value
    // that begins with an apostrophe keeps it.
    bool textMark = true;
};

struct Table {
    std::vector<TableColumn> columns;
    TableLook look;
    long rows = 0;
    // Appends the text of the cell at `row` (0-based, below the headings) and `column` (0-based)
    // to `text`.
    std::function<void(long row, int column, QString& text)> cell;
};

// Writes `table` into the new workbook `book` (its first worksheet active), `perSheet` rows to a
// worksheet, and leaves the first worksheet active. `progress` gets the percent of rows written
// whenever it changes. False when the workbook refused a worksheet.
[[nodiscard]] bool writeTable(Spreadsheet& book, const Table& table, long perSheet,
                              const Progress& progress = {});

// Saves `book` at `path` (see Spreadsheet::saveAs). A failure is written to the run log, with the
// kind of workbook but not the name, which may be a person's.
[[nodiscard]] bool saveWorkbook(Spreadsheet& book, const QString& path);

}  // namespace exchange

#include "core/edit/reportbook.h"

#include <algorithm>

#include "core/workbook/spreadsheet.h"

namespace exchange {

namespace {

size_t widthOf(const query::Report& report) {
    return std::max<size_t>(report.columns.size(), 1);
}

}  // namespace

std::vector<std::vector<QString>> reportLines(const query::Report& report) {
    const size_t width = widthOf(report);
    std::vector<std::vector<QString>> lines;
    lines.reserve(report.rows.size() + report.notes.size() + 2);
    const auto line = [&lines, width](std::vector<QString> cells) {
        cells.resize(width);
        lines.push_back(std::move(cells));
    };
    line({report.subtitle});
    std::vector<QString> headings;
    for (const query::ReportColumn& c : report.columns) headings.push_back(c.heading);
    line(std::move(headings));
    for (const query::ReportRow& row : report.rows) {
        // A Group row names a household across the table: its text stays in the first cell.
        if (row.kind == query::ReportRow::Kind::Group)
            line({row.cells.empty() ? QString() : row.cells.front()});
        else
            line(row.cells);
    }
    for (const QString& note : report.notes) line({note});
    return lines;
}

bool writeReportWorkbook(const QString& path, const query::Report& report,
                         const Progress& progress) {
    std::unique_ptr<Spreadsheet> book = createSpreadsheet();
    if (!book) return false;
    book->setVisible(false);
    const std::vector<std::vector<QString>> lines = reportLines(report);
    Table table;
    for (size_t c = 0; c < widthOf(report); ++c) {
        const int weight = c < report.columns.size() ? std::max(report.columns[c].weight, 1) : 1;
        table.columns.push_back({c == 0 ? report.title : QString(), 4.0 + 6.0 * weight});
    }
    table.rows = long(lines.size());
    table.cell = [&lines](long row, int column, QString& text) {
        text += lines[size_t(row)][size_t(column)];
    };
    // The title row opens every worksheet; the rest are as many as the kind of workbook holds.
    const bool written = book->addWorkbook() &&
                         writeTable(*book, table, rowsPerSheet(workbookKindOf(path)), progress) &&
                         saveWorkbook(*book, path);
    book->quit();
    book->close();
    return written;
}

}  // namespace exchange

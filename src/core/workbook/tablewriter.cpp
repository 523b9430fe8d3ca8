#include "core/workbook/tablewriter.h"

#include <algorithm>
#include <string>

#include "core/register/log.h"

namespace exchange {

namespace {

// The heading row and the look of the active worksheet, which will hold `rows` rows below it.
void startSheet(Spreadsheet& book, const Table& table, long rows) {
    if (table.look.centredColumns > 0) {
        Range block =
            book.range("a1", columnLetter(table.look.centredColumns) + std::to_string(rows + 1));
        block.setHorizontalAlignment(kAlignCentre);
        block.setVerticalAlignment(kAlignCentre);
        block.setWrapText(true);
    }
    for (size_t c = 0; c < table.columns.size(); ++c) {
        Range cell = book.range(columnLetter(int(c) + 1) + "1");
        cell.setColumnWidth(table.columns[c].width);
        if (table.look.centredHeadings) cell.setHorizontalAlignment(kAlignCentre);
        cell.setValue(table.columns[c].heading);
    }
}

}  // namespace

long rowsPerSheet(WorkbookKind kind) {
    return maxSheetRows(kind) - 1;
}

bool writeTable(Spreadsheet& book, const Table& table, long perSheet, const Progress& progress) {
    perSheet = std::max(perSheet, 1L);
    const long n = table.rows;
    std::vector<std::string> letters;
    for (size_t c = 1; c <= table.columns.size(); ++c) letters.push_back(columnLetter(int(c)));
    QString value;
    startSheet(book, table, std::min(n, perSheet));
    int shown = -1;
    for (long r = 0; r < n; ++r) {
        const long inSheet = r % perSheet + 1;
        if (inSheet == 1 && r > 0) {
            if (!book.addWorksheet(QStringLiteral("Sheet%1").arg(r / perSheet + 1))) return false;
            startSheet(book, table, std::min(n - r, perSheet));
        }
        const std::string row = std::to_string(inSheet + 1);
        for (size_t c = 0; c < letters.size(); ++c) {
            value.clear();
            if (table.look.textMark) value += u'\'';
            table.cell(r, int(c), value);
            book.range(letters[c] + row).setValue(value);
        }
        const int percent = int((r + 1) * 100 / n);
        if (progress && percent != shown) progress(shown = percent);
    }
    return book.selectWorksheet(0);
}

bool saveWorkbook(Spreadsheet& book, const QString& path) {
    if (book.saveAs(path)) return true;
    reg::log::failure(
        QStringLiteral("导出表格"),
        workbookKindOf(path) == WorkbookKind::Xlsx
            ? QStringLiteral(".xlsx 工作簿未能写入所选位置")
            : QStringLiteral(".xls 工作簿未能写入所选位置（或一个工作表超过 65536 行）"));
    return false;
}

}  // namespace exchange

#include "core/edit/statisticsbook.h"

#include "core/workbook/biff8.h"
#include "core/workbook/tablewriter.h"

namespace exchange {

bool writeStatisticsWorkbook(const QString& path, const query::Statistics& statistics) {
    Biff8Spreadsheet book;
    if (!book.addWorkbook()) return false;
    bool first = true;
    for (const query::Sheet& sheet : query::statisticsSheets(statistics)) {
        if (first ? !book.renameWorksheet(sheet.name) : !book.addWorksheet(sheet.name))
            return false;
        first = false;
        book.range("a1").setValue(QStringLiteral("统计期间"));
        book.range("b1").setValue(query::periodText(statistics.period));
        book.range("a2").setValue(QStringLiteral("基准日期"));
        book.range("b2").setValue(query::dateText(statistics.reference));
        if (!statistics.note.isEmpty()) {
            book.range("a3").setValue(QStringLiteral("说明"));
            book.range("b3").setValue(statistics.note);
        }
        book.range("a", "a").setColumnWidth(18);
        int row = 4;
        for (const std::vector<QString>& cells : sheet.rows) {
            for (size_t c = 0; c < cells.size(); ++c)
                book.range(columnLetter(int(c) + 1) + std::to_string(row)).setValue(cells[c]);
            ++row;
        }
    }
    const bool saved = saveWorkbook(book, path);
    book.quit();
    return saved;
}

}  // namespace exchange

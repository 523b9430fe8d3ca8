#pragma once
// Reading workbooks for the import, .xls here and .xlsx in xlsxreader.h, told apart by their
// first bytes: the headings of the first worksheet and the rows of the
// worksheet named sheet1, every cell turned into a GB18030 text. Cell values come from FreeXL;
// truth values, error values and the cached results of formulas, which FreeXL does not give,
// come from a walk over the worksheet's own records.
#include <QByteArray>
#include <QString>
#include <string>
#include <vector>

namespace exchange {

// At most this many columns can be listed and imported (the column letters a to z).
constexpr int kMaxImportColumns = 26;
// Rows of a worksheet in the .xls format; a sheet1 this full goes on in the sheets after it.
constexpr int kMaxSheetRows = 65536;

enum class ReadStatus {
    Ok,
    NotWorkbook,     // missing, not a workbook, damaged, encrypted
    NoSheet1,        // no worksheet named sheet1 (in any letter case)
    EmptySheet,      // the worksheet holds no cell at all
    TooManyColumns,  // more columns than can be listed
};

struct HeadingList {
    ReadStatus status = ReadStatus::NotWorkbook;
    std::vector<std::string> headings;  // row 1, columns 1..n of the first worksheet
};

struct RowList {
    ReadStatus status = ReadStatus::NotWorkbook;
    // Rows 2.. of sheet1 that hold at least one value, each `columns` texts wide. When sheet1
    // is full, the rows 2.. of the sheets after it that repeat its heading row follow.
    std::vector<std::vector<std::string>> rows;
    // Each row's number in its worksheet, the heading row being 1: rows without a value are
    // left out, so a row's index alone would name the wrong line of the workbook.
    std::vector<long> rowNumbers;
};

HeadingList readHeadings(const QString& path);
RowList readRows(const QString& path, int columns);

// The text of a date or time as FreeXL gives it ("YYYY-MM-DD", "YYYY-MM-DD HH:MM:SS" or
// "HH:MM:SS"): "1980年1月1日", with "8时", "8时5分" or "8时5分9秒" after it when not midnight.
std::string dateText(const std::string& iso);
// A number of floating kind: at most 13 significant digits, no trailing zeros.
std::string numberText(double value);

}  // namespace exchange

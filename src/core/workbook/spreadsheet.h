#pragma once
// The spreadsheet the exports write through: an application object that is created, hidden, given
// a new workbook, filled range by range, saved under a name and quit. The export reads the same
// way whatever writes the file; the one in use keeps the cells in memory and writes them as .xls
// (BIFF8 records of its own, biff8.h) or as .xlsx (libxlsxwriter), by the name saved to.
#include <QString>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace exchange {

// Alignment constants of the spreadsheet's automation vocabulary.
constexpr int kAlignCentre = -4108;
constexpr int kAlignLeft = -4131;
constexpr int kAlignRight = -4152;
constexpr int kAlignTop = -4160;

// The column letter of the exports and the heading reader: 1 -> "a" ... 26 -> "z", anything else
// the empty text (so an address made from it names no cell).
std::string columnLetter(int column);

// The rows an address may name: those of the larger kind of workbook.
constexpr int kMaxXlsxRows = 1048576;

// A rectangle of cells, 0-based and inclusive. Whole columns span every row.
struct CellRect {
    int firstRow = 0;
    int firstColumn = 0;
    int lastRow = 0;
    int lastColumn = 0;
    bool wholeColumns = false;
};

// Parses a cell address ("a1", "V11") or a column ("a"): false for anything else, e.g. "1".
bool parseAddress(std::string_view address, int& row, int& column, bool& wholeColumn);

class Spreadsheet;

// Range(from, to) of the active worksheet; every setter of an invalid range does nothing.
class Range {
  public:
    Range(Spreadsheet& sheet, std::string_view from, std::string_view to);

    bool isValid() const { return valid_; }
    // The value as text. A leading apostrophe, the spreadsheet's mark for "keep this as text",
    // is not part of the cell; every value is stored as a text cell either way.
    void setValue(QStringView value);
    void setValue(const QString& value) { setValue(QStringView(value)); }
    void setHorizontalAlignment(int alignment);
    void setVerticalAlignment(int alignment);
    void setWrapText(bool wrap);
    // In characters of the default font, as the spreadsheet counts column widths.
    void setColumnWidth(double width);
    // "@" (text) or "General".
    void setNumberFormat(const QString& format);

  private:
    Spreadsheet& sheet_;
    CellRect rect_;
    bool valid_ = false;
};

class Spreadsheet {
  public:
    virtual ~Spreadsheet() = default;

    virtual void setVisible(bool visible) = 0;
    // A new workbook with one worksheet "Sheet1", which becomes the active worksheet.
    [[nodiscard]] virtual bool addWorkbook() = 0;
    // Adds a worksheet after the last one and makes it active.
    [[nodiscard]] virtual bool addWorksheet(const QString& name) = 0;
    // Makes the worksheet at `index` (0-based) active.
    [[nodiscard]] virtual bool selectWorksheet(int index) = 0;

    Range range(std::string_view from, std::string_view to = {}) { return Range(*this, from, to); }

    // Writes the workbook to `path`, replacing a file there only once the new one is complete.
    [[nodiscard]] virtual bool saveAs(const QString& path) = 0;
    // Closes the workbook without saving; harmless when there is none.
    virtual void close() = 0;
    // Ends the application; harmless when repeated.
    virtual void quit() = 0;

  protected:
    friend class Range;
    virtual void setValue(const CellRect& rect, QStringView value) = 0;
    virtual void setHorizontalAlignment(const CellRect& rect, int alignment) = 0;
    virtual void setVerticalAlignment(const CellRect& rect, int alignment) = 0;
    virtual void setWrapText(const CellRect& rect, bool wrap) = 0;
    virtual void setColumnWidth(const CellRect& rect, double width) = 0;
    virtual void setNumberFormat(const CellRect& rect, const QString& format) = 0;
};

// Creates the spreadsheet application; null when it cannot be created.
using SpreadsheetFactory = std::function<std::unique_ptr<Spreadsheet>()>;

// The workbook writer of this program. Use: addWorkbook(), fill ranges (addWorksheet for more
// sheets), then saveAs(path): a name ending in ".xlsx" (any case) writes .xlsx, any other .xls.
// saveAs answers false, and leaves no file, when a sheet has more rows than that kind holds
// (maxSheetRows) or the file cannot be written.
std::unique_ptr<Spreadsheet> createSpreadsheet();

enum class WorkbookKind { Xls, Xlsx };
// The kind saveAs writes for `path`.
WorkbookKind workbookKindOf(const QString& path);
// Rows one worksheet of that kind holds, the heading row included: 65,536 or 1,048,576.
int maxSheetRows(WorkbookKind kind);
// Characters one cell holds; saveAs refuses a longer text (.xlsx: the writer library refuses it).
constexpr int kMaxCellText = 32767;

}  // namespace exchange

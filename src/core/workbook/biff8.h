#pragma once
// The .xls writer: BIFF8 records of our own inside an OLE2 compound file written by libgsf. Every
// cell is a text cell in the shared string table; formats are kept per rectangle and folded into
// XF records when the workbook is saved.
#include <QByteArray>
#include <QString>
#include <memory>

#include "core/workbook/spreadsheet.h"

namespace exchange {

// The largest sheet the format holds.
constexpr int kMaxRows = 65536;
constexpr int kMaxColumns = 256;

class Biff8Spreadsheet : public Spreadsheet {
  public:
    Biff8Spreadsheet();
    ~Biff8Spreadsheet() override;

    void setVisible(bool visible) override;
    [[nodiscard]] bool addWorkbook() override;
    [[nodiscard]] bool addWorksheet(const QString& name) override;
    [[nodiscard]] bool selectWorksheet(int index) override;
    // Renames the active worksheet.
    [[nodiscard]] bool renameWorksheet(const QString& name);
    [[nodiscard]] bool saveAs(const QString& path) override;
    void close() override;
    void quit() override;

    // The BIFF8 workbook stream as saveAs puts it into the compound file.
    QByteArray workbookStream() const;

  protected:
    void setValue(const CellRect& rect, QStringView value) override;
    void setHorizontalAlignment(const CellRect& rect, int alignment) override;
    void setVerticalAlignment(const CellRect& rect, int alignment) override;
    void setWrapText(const CellRect& rect, bool wrap) override;
    void setColumnWidth(const CellRect& rect, double width) override;
    void setNumberFormat(const CellRect& rect, const QString& format) override;

  private:
    struct Book;
    std::unique_ptr<Book> book_;
    int active_ = 0;
};

// Writes `stream` as the "Workbook" stream of a new compound file at `path` (replacing a file
// there only once the new one is complete, and on the disk before that when `durable`).
bool writeCompoundFile(const QString& path, const QByteArray& stream, bool durable = true);

}  // namespace exchange

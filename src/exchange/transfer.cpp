#include "exchange/transfer.h"

#include <QDir>
#include <QFileInfo>

#include "exchange/workbookreader.h"
#include "register/files.h"
#include "register/person.h"
#include "register/programfolder.h"
#include "register/store.h"
#include "register/text.h"
#include "register/workfiles.h"

namespace exchange {

namespace {

// ---- Export ----

// Codes to names in every record of the open copy: for each coded field the codes "-1", "0",
// "1", "2" ... in this order. A name never equals a later code, so no value changes twice.
void codesToNames(reg::RecordStore& store) {
    for (const reg::CodeTable& table : reg::codeTables()) {
        const std::string& field = table.name;
        auto replace = [&](const std::string& code, const std::string& name) {
            store.ReplaceMatching([&] { return store.ReadField(field) == code; }, field, name);
        };
        replace("-1", std::string());
        replace("0", std::string());
        for (size_t k = 1; k <= table.names.size(); ++k)
            replace(std::to_string(k), table.names[k - 1]);
    }
}

// Heading row and the centred, wrapped block a1 .. v(rows + 1) of the active worksheet.
void startSheet(Spreadsheet& sheet, reg::RecordStore& store, int fields, long persons) {
    Range block = sheet.range("a1", "v" + std::to_string(persons + 1));
    block.setHorizontalAlignment(kAlignCentre);
    block.setVerticalAlignment(kAlignCentre);
    block.setWrapText(true);
    for (int i = 1; i <= fields; ++i) {
        Range cell = sheet.range(columnLetter(i) + "1");
        cell.setColumnWidth(store.FieldSize(i));
        cell.setValue(reg::fromGb(store.FieldName(i)));
    }
}

QString saveFolder() {
#ifdef Q_OS_WIN
    return QStringLiteral("D:\\");
#else
    return QDir::homePath();
#endif
}

// The sheet pipeline from the code-to-name translation on. The first copy is open and current.
void writeSheets(Spreadsheet& sheet, reg::RecordStore& store, const QString& firstCopy,
                 const QString& sortedCopy, ui::Dialogs& dialogs, const Progress& progress) {
    codesToNames(store);
    reg::files::remove(sortedCopy);
    store.SortTo(sortedCopy, [&store] { return reg::serialKey(store); });
    store.CloseAllTables();
    store.OpenTable(sortedCopy);

    const long n = store.CountMatching();
    const int fields = store.FieldCount();
    long sheetPersons = std::min<long>(n, kPersonsPerSheet);
    startSheet(sheet, store, fields, sheetPersons);
    for (long r = 1; r <= n; ++r) {
        const long inSheet = (r - 1) % kPersonsPerSheet + 1;
        if (inSheet == 1 && r > 1) {
            sheet.addWorksheet(QStringLiteral("Sheet%1").arg((r - 1) / kPersonsPerSheet + 1));
            sheetPersons = std::min<long>(n - r + 1, kPersonsPerSheet);
            startSheet(sheet, store, fields, sheetPersons);
        }
        const std::string row = std::to_string(inSheet + 1);
        for (int i = 1; i <= fields; ++i) {
            Range cell = sheet.range(columnLetter(i) + row);
            cell.setColumnWidth(store.FieldSize(i));
            cell.setValue(QLatin1Char('\'') + reg::fromGb(store.ReadField(i)));
        }
        store.GoTo(r + 1);
        if (progress) progress(int(r * 100 / n));
    }
    sheet.selectWorksheet(0);
    store.CloseAllTables();
    reg::files::remove(firstCopy);
    reg::files::remove(sortedCopy);

    const QString path = dialogs.saveFile(
        {QStringLiteral("另存为"), QStringLiteral("*.xls"), saveFolder(), QStringLiteral("xls")});
    // A save that fails is reported: otherwise the clerk would look for a workbook that is not
    // there.
    if (!path.isEmpty() && !sheet.saveAs(path)) dialogs.warning(msg::kSaveFailed);
}

// ---- Import ----

// Names to codes in every record of the open register, 64 replacements in code order. A value
// that is already a number, empty, or spelled another way stays as it is.
void namesToCodes(reg::RecordStore& store, bool& ok) {
    for (const reg::CodeTable& table : reg::codeTables()) {
        const std::string& field = table.name;
        for (size_t k = 1; k <= table.names.size(); ++k) {
            const std::string& name = table.names[k - 1];
            ok = store.ReplaceMatching([&] { return store.ReadField(field) == name; }, field,
                                       std::to_string(k)) &&
                 ok;
        }
    }
}

bool sameFile(const QString& a, const QString& b) {
    const QString ca = QFileInfo(a).canonicalFilePath();
    return !ca.isEmpty() && ca == QFileInfo(b).canonicalFilePath();
}

}  // namespace

void exportRegister(const QString& folder, const QString& registerPath, ui::Dialogs& dialogs,
                    const Progress& progress, const std::function<void()>& started,
                    const SpreadsheetFactory& factory) {
    const QString firstCopy = reg::pathIn(folder, reg::names::kExportCopy);
    const QString sortedCopy = reg::pathIn(folder, reg::names::kExportSorted);
    reg::files::remove(firstCopy);
    reg::RecordStore store;
    if (!store.OpenTable(registerPath)) {
        dialogs.warning(msg::kChooseRegister);
        return;
    }
    std::unique_ptr<Spreadsheet> sheet = factory ? factory() : nullptr;
    if (!sheet) {
        store.CloseAllTables();
        dialogs.warning(msg::kNoSpreadsheet);
        return;
    }
    if (started) started();
    sheet->setVisible(false);
    sheet->addWorkbook();
    store.CopyTo(firstCopy);
    store.CloseAllTables();
    store.OpenTable(firstCopy);
    writeSheets(*sheet, store, firstCopy, sortedCopy, dialogs, progress);
    sheet->quit();
    sheet->close();
}

void exportQueryResult(const QString& folder, ui::Dialogs& dialogs, const Progress& progress,
                       const std::function<void()>& started, const SpreadsheetFactory& factory) {
    std::unique_ptr<Spreadsheet> sheet = factory ? factory() : nullptr;
    if (!sheet) {
        dialogs.warning(msg::kNoSpreadsheet);
        return;
    }
    if (started) started();
    const QString firstCopy = reg::pathIn(folder, reg::names::kQueryResult);
    const QString sortedCopy = reg::pathIn(folder, reg::names::kSorted);
    sheet->setVisible(false);
    sheet->addWorkbook();
    reg::RecordStore store;
    store.OpenTable(firstCopy);
    writeSheets(*sheet, store, firstCopy, sortedCopy, dialogs, progress);
    sheet->quit();
    sheet->close();
}

bool importWorkbook(const ImportRequest& request, ui::Dialogs& dialogs,
                    const std::function<void()>& started, const std::function<void()>& animate) {
    // Without listed headings no value would reach any field.
    if (request.headings.empty()) {
        dialogs.warning(msg::kOpenWorkbook);
        return false;
    }
    // The whole sheet is read before anything is written, so a bad workbook changes nothing.
    const RowList sheet = readRows(request.workbookPath, int(request.headings.size()));
    switch (sheet.status) {
        case ReadStatus::Ok:
            break;
        case ReadStatus::NoSheet1:
            dialogs.warning(msg::kNoSheet1);
            return false;
        case ReadStatus::EmptySheet:
            dialogs.warning(msg::kEmptySheet);
            return false;
        default:
            dialogs.warning(msg::kOpenWorkbook);
            return false;
    }

    // A store that is dropped without CloseAllTables keeps none of its writes.
    reg::RecordStore store;
    if (!store.OpenTable(request.storePath)) {
        dialogs.warning(msg::kOpenRegister);
        return false;
    }
    if (started) started();

    // Heading i names the field that column i goes to; a later column of the same heading wins,
    // and a heading that names no field is dropped.
    const int fieldCount = store.FieldCount();
    std::vector<int> target(request.headings.size(), 0);
    for (size_t i = 0; i < request.headings.size(); ++i)
        for (int f = 1; f <= fieldCount; ++f)
            if (store.FieldName(f) == request.headings[i]) target[i] = f;
    bool ok = true;
    std::vector<std::string> values(size_t(std::max(fieldCount, 0)));
    for (const auto& row : sheet.rows) {
        std::fill(values.begin(), values.end(), std::string());
        for (size_t i = 0; i < target.size() && i < row.size(); ++i)
            if (target[i] > 0) values[size_t(target[i] - 1)] = row[i];
        if (!store.AppendRecord(values)) {
            ok = false;
            break;
        }
    }
    if (!ok) {
        dialogs.warning(msg::kImportFailed);
        return false;
    }
    if (animate) animate();

    // When the rows went into the register itself, the conversion runs in the same transaction.
    const QString registerPath = reg::pathIn(request.folder, reg::names::kRegister);
    if (!sameFile(request.storePath, registerPath)) {
        if (!store.CloseAllTables()) {
            dialogs.warning(msg::kImportFailed);
            return false;
        }
        // Without a register in the program folder there is nothing to convert.
        if (!store.OpenTable(registerPath)) {
            dialogs.notice(msg::kImported);
            return true;
        }
    }
    namesToCodes(store, ok);
    if (!store.CloseAllTables() || !ok) {
        dialogs.warning(msg::kImportFailed);
        return false;
    }
    dialogs.notice(msg::kImported);
    return true;
}

}  // namespace exchange

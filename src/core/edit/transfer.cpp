#include "core/edit/transfer.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <unordered_map>

#include "core/edit/importcheck.h"
#include "core/query/population.h"
#include "core/register/files.h"
#include "core/register/history.h"
#include "core/register/log.h"
#include "core/register/person.h"
#include "core/register/programfolder.h"
#include "core/register/store.h"
#include "core/register/text.h"
#include "core/register/workfiles.h"
#include "core/workbook/workbookreader.h"

namespace exchange {

namespace {

// ---- Export ----

// The records the export writes, read once from the store: every value of a record in one
// buffer, so that a register of 100,000 persons stays small in memory.
struct Record {
    std::string data;
    std::vector<uint32_t> ends;
    std::string_view field(size_t i) const {
        const uint32_t from = i == 0 ? 0 : ends[i - 1];
        return std::string_view(data).substr(from, ends[i] - from);
    }
};

struct Sheet {
    std::vector<std::string> names;
    std::vector<int> widths;
    std::vector<Record> records;
};

// The unmarked records of the open table, as CopyTo would copy them, with every code turned
// into its name. This does in one pass what the 80 replacements "field = code -> name" do for
// the codes "-1", "0", "1", "2" ... of each coded field: a name never equals a later code, so
// each value is translated at most once, by codeToName.
Sheet readForExport(reg::RecordStore& store, bool maskIdentity) {
    Sheet sheet;
    const int fields = store.FieldCount();
    std::vector<const reg::CodeTable*> tables(size_t(std::max(fields, 0)), nullptr);
    const int identity = maskIdentity ? store.FieldNumber(reg::fieldName(reg::F公民身份号码)) : 0;
    for (int i = 1; i <= fields; ++i) {
        sheet.names.push_back(store.FieldName(i));
        sheet.widths.push_back(store.FieldSize(i));
        for (const reg::CodeTable& table : reg::codeTables())
            if (table.name == sheet.names.back()) tables[size_t(i - 1)] = &table;
    }
    const long count = store.RecordCount();
    sheet.records.reserve(size_t(std::max(count, 0L)));
    for (long n = 1; n <= count; ++n) {
        store.GoTo(n);
        if (store.IsDeleted()) continue;
        Record record;
        record.ends.reserve(size_t(fields));
        for (int i = 1; i <= fields; ++i) {
            const std::string value =
                i == identity ? query::maskIdentity(store.ReadField(i)) : store.ReadField(i);
            const reg::CodeTable* table = tables[size_t(i - 1)];
            record.data += table ? reg::codeToName(*table, value) : value;
            record.ends.push_back(uint32_t(record.data.size()));
        }
        sheet.records.push_back(std::move(record));
    }
    return sheet;
}

// Ascending by the numeric value of 序号 (a text that is no number counts 0); equal keys keep
// their order.
void sortBySerial(Sheet& sheet) {
    if (sheet.names.empty()) return;
    std::vector<std::pair<double, size_t>> keys;
    keys.reserve(sheet.records.size());
    for (size_t r = 0; r < sheet.records.size(); ++r)
        keys.emplace_back(reg::leadingNumber(sheet.records[r].field(0)), r);
    std::stable_sort(keys.begin(), keys.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<Record> sorted;
    sorted.reserve(keys.size());
    for (const auto& [key, r] : keys) sorted.push_back(std::move(sheet.records[r]));
    sheet.records = std::move(sorted);
}

// GB18030 to Unicode once per distinct text: households share addresses, and names of codes
// repeat in every record. ASCII texts (serials, identity numbers, dates) are mostly distinct and
// need no decoding, so they are appended as they are and never cached.
class Decoder {
  public:
    void appendTo(QString& out, std::string_view gb) {
        if (reg::isAscii(gb)) {
            out.append(QLatin1StringView(gb.data(), qsizetype(gb.size())));
            return;
        }
        auto it = cache_.find(gb);
        if (it == cache_.end()) it = cache_.emplace(std::string(gb), reg::fromGb(gb)).first;
        out.append(it->second);
    }

  private:
    struct Hash {
        using is_transparent = void;
        size_t operator()(std::string_view s) const { return std::hash<std::string_view>()(s); }
    };
    std::unordered_map<std::string, QString, Hash, std::equal_to<>> cache_;
};

// The persons of `sheet` as a table: the field names over their declared widths, every value a
// text cell, the whole block centred and wrapped.
Table tableOf(const Sheet& sheet, Decoder& decode) {
    Table table;
    for (size_t i = 0; i < sheet.names.size(); ++i)
        table.columns.push_back({reg::fromGb(sheet.names[i]), double(sheet.widths[i])});
    table.look.centredColumns = reg::kFieldCount;
    table.rows = long(sheet.records.size());
    table.cell = [&sheet, &decode](long row, int column, QString& text) {
        decode.appendTo(text, sheet.records[size_t(row)].field(size_t(column)));
    };
    return table;
}

// The first text that one cell cannot hold (in either kind of workbook), as the message that names
// its person and field; empty when every text fits. Byte counts bound character counts, so only a
// long value is decoded.
QString tooLongForCell(const Sheet& sheet) {
    for (const Record& r : sheet.records)
        for (size_t i = 0; i < sheet.names.size(); ++i) {
            const std::string_view value = r.field(i);
            if (value.size() <= size_t(kMaxCellText) || reg::fromGb(value).size() <= kMaxCellText)
                continue;
            auto text = [&](int field) {
                for (size_t k = 0; k < sheet.names.size(); ++k)
                    if (sheet.names[k] == reg::fieldName(field)) return reg::fromGb(r.field(k));
                return QString();
            };
            return msg::textTooLongForCell(text(reg::F序号), text(reg::F姓名),
                                           reg::fromGb(sheet.names[i]));
        }
    return {};
}

// The sheet pipeline from the open table on: read, translate, sort, write, save.
// What an export was, for the access fact of the change history.
struct Leaving {
    QString folder, what;
};

Outcome writeSheets(Spreadsheet& book, reg::RecordStore& store, const QString& firstCopy,
                    const QString& sortedCopy, const SavePath& savePath, const Progress& progress,
                    const Leaving& leaving, bool maskIdentity = false) {
    Sheet sheet = readForExport(store, maskIdentity);
    static_cast<void>(store.CloseAllTables());  // read only
    sortBySerial(sheet);
    Decoder decode;
    const Table table = tableOf(sheet, decode);
    // The kind is known only once the clerk names the file. The sheets are laid out for .xlsx,
    // which holds 1,048,575 persons in one worksheet, and laid out again for .xls when a longer
    // register must go on in more worksheets there.
    const bool longRegister = table.rows > kPersonsPerSheet;
    bool written = writeTable(
        book, table,
        longRegister ? rowsPerSheet(WorkbookKind::Xlsx) : rowsPerSheet(WorkbookKind::Xls),
        progress);
    reg::files::remove(firstCopy);
    reg::files::remove(sortedCopy);

    const QString path = savePath ? savePath() : QString();
    if (path.isEmpty()) return {};
    if (const QString tooLong = tooLongForCell(sheet); !tooLong.isEmpty())
        return Outcome::warning(tooLong);
    if (longRegister && workbookKindOf(path) == WorkbookKind::Xls) {
        book.close();
        written = book.addWorkbook() && writeTable(book, table, rowsPerSheet(WorkbookKind::Xls));
    }
    // A save that fails is reported: otherwise the clerk would look for a workbook that is not
    // there.
    if (!written)
        reg::log::failure(QStringLiteral("导出表格"), QStringLiteral("工作表未能加入工作簿"));
    if (!written || !saveWorkbook(book, path)) return Outcome::warning(msg::kSaveFailed);
    static_cast<void>(reg::history::recordAccess(leaving.folder, reg::history::Action::Export,
                                                 leaving.what, path, table.rows));
    return {true, Outcome::Kind::Silent, {}};
}

// ---- Import ----

// The code tables of the open table's columns, by field name; null for a text column.
std::vector<const reg::CodeTable*> codedColumns(reg::RecordStore& store) {
    std::vector<const reg::CodeTable*> tables(size_t(std::max(store.FieldCount(), 0)), nullptr);
    for (const reg::CodeTable& table : reg::codeTables())
        if (const int column = store.FieldNumber(table.name)) tables[size_t(column - 1)] = &table;
    return tables;
}

// Names to codes in the records `from`..`to` of the open register. This is what the 64
// replacements "field = name -> code" do, in one pass: a code never equals a later name, so each
// value changes at most once, to nameToCode of it. A value that is already a number, empty, or
// spelled another way stays as it is; marked records are left alone.
bool namesToCodes(reg::RecordStore& store, long from, long to) {
    const auto tables = codedColumns(store);
    for (long n = from; n <= to; ++n) {
        store.GoTo(n);
        if (store.IsDeleted()) continue;
        for (size_t i = 0; i < tables.size(); ++i) {
            if (!tables[i]) continue;
            const auto code = reg::nameToCode(*tables[i], store.ReadField(int(i) + 1));
            if (code && !store.WriteField(tables[i]->name, *code)) return false;
        }
    }
    return true;
}

bool sameFile(const QString& a, const QString& b) {
    const QString ca = QFileInfo(a).canonicalFilePath();
    return !ca.isEmpty() && ca == QFileInfo(b).canonicalFilePath();
}

}  // namespace

QString msg::textTooLongForCell(const QString& serial, const QString& name, const QString& field) {
    return QStringLiteral("序号为%1的%2的“%3”超过%4个字，表格的一格存不下，没有导出。请先改短！")
        .arg(serial, name, field)
        .arg(kMaxCellText);
}

Outcome exportRegister(const QString& folder, const QString& registerPath, const SavePath& savePath,
                       const Progress& progress, const std::function<void()>& started,
                       const SpreadsheetFactory& factory) {
    const QString firstCopy = reg::pathIn(folder, reg::names::kExportCopy);
    const QString sortedCopy = reg::pathIn(folder, reg::names::kExportSorted);
    reg::files::remove(firstCopy);
    reg::RecordStore store;
    if (!store.OpenTable(registerPath)) return Outcome::warning(msg::kChooseRegister);
    std::unique_ptr<Spreadsheet> sheet = factory ? factory() : nullptr;
    if (!sheet) {
        static_cast<void>(store.CloseAllTables());  // read only
        return Outcome::warning(msg::kNoSpreadsheet);
    }
    if (started) started();
    sheet->setVisible(false);
    // A new workbook of this writer is always made; a refusal would show at saveAs.
    static_cast<void>(sheet->addWorkbook());
    // The records are read straight from the chosen table: the translation and the sort happen
    // in memory, so no working copy is needed.
    const Outcome outcome = writeSheets(*sheet, store, firstCopy, sortedCopy, savePath, progress,
                                        {folder, QStringLiteral("全部数据")});
    sheet->quit();
    sheet->close();
    return outcome;
}

Outcome exportQueryResult(const QString& folder, const SavePath& savePath, const Progress& progress,
                          const std::function<void()>& started, const SpreadsheetFactory& factory,
                          bool maskIdentity) {
    std::unique_ptr<Spreadsheet> sheet = factory ? factory() : nullptr;
    if (!sheet) return Outcome::warning(msg::kNoSpreadsheet);
    if (started) started();
    const QString firstCopy = reg::pathIn(folder, reg::names::kQueryResult);
    const QString sortedCopy = reg::pathIn(folder, reg::names::kSorted);
    sheet->setVisible(false);
    // A new workbook of this writer is always made; a refusal would show at saveAs.
    static_cast<void>(sheet->addWorkbook());
    reg::RecordStore store;
    static_cast<void>(store.OpenTable(firstCopy));  // an unreadable result exports no rows
    const Outcome outcome =
        writeSheets(*sheet, store, firstCopy, sortedCopy, savePath, progress,
                    {folder, maskIdentity ? QStringLiteral("查询结果（隐藏身份证号中间位）")
                                          : QStringLiteral("查询结果")},
                    maskIdentity);
    sheet->quit();
    sheet->close();
    return outcome;
}

Outcome importWorkbook(const ImportRequest& request, const std::function<void()>& started,
                       const std::function<void()>& animate) {
    const Outcome imported{true, Outcome::Kind::Notice, msg::kImported};
    // Without listed headings no value would reach any field.
    if (request.headings.empty()) return Outcome::warning(msg::kOpenWorkbook);
    // The whole sheet is read before anything is written, so a bad workbook changes nothing.
    const RowList sheet = readRows(request.workbookPath, int(request.headings.size()));
    switch (sheet.status) {
        case ReadStatus::Ok:
            break;
        case ReadStatus::NoSheet1:
            return Outcome::warning(msg::kNoSheet1);
        case ReadStatus::EmptySheet:
            return Outcome::warning(msg::kEmptySheet);
        default:
            return Outcome::warning(msg::kOpenWorkbook);
    }

    // A store that is dropped without CloseAllTables keeps none of its writes.
    reg::RecordStore store;
    if (!store.OpenTable(request.storePath)) return Outcome::warning(msg::kOpenRegister);
    if (started) started();
    if (request.beforeWriting && !request.beforeWriting())
        return Outcome::warning(msg::kImportFailed);

    // Heading i names the field that column i goes to; a later column of the same heading wins,
    // and a heading that names no field is dropped.
    const int fieldCount = store.FieldCount();
    std::vector<int> target(request.headings.size(), 0);
    for (size_t i = 0; i < request.headings.size(); ++i)
        target[i] = store.FieldNumber(request.headings[i]);
    // When the rows go into the register itself, their names are turned into codes as they are
    // appended, and the conversion pass only needs to visit the records that were there before.
    const QString registerPath = reg::pathIn(request.folder, reg::names::kRegister);
    const bool intoRegister = sameFile(request.storePath, registerPath);
    const long before = store.RecordCount();
    const auto tables =
        intoRegister ? codedColumns(store) : std::vector<const reg::CodeTable*>(size_t(fieldCount));
    bool ok = true;
    std::vector<std::string> values(size_t(std::max(fieldCount, 0)));
    for (size_t r = 0; r < sheet.rows.size(); ++r) {
        if (r < request.leaveOut.size() && request.leaveOut[r]) continue;
        const auto& row = sheet.rows[r];
        std::fill(values.begin(), values.end(), std::string());
        for (size_t i = 0; i < target.size() && i < row.size(); ++i)
            if (target[i] > 0) values[size_t(target[i] - 1)] = row[i];
        for (size_t f = 0; f < values.size(); ++f)
            if (tables[f])
                if (auto code = reg::nameToCode(*tables[f], values[f])) values[f] = *code;
        for (size_t f = 0; f < values.size(); ++f)
            if (const int width = store.FieldSize(int(f) + 1); values[f].size() > size_t(width))
                values[f] = cutToWidth(values[f], width);
        if (!store.AppendRecord(values)) {
            ok = false;
            break;
        }
    }
    if (!ok) return Outcome::warning(msg::kImportFailed);
    if (animate) animate();

    // Into another table: the rows are committed there, and the register is converted after.
    long last = before;
    if (!intoRegister) {
        if (!store.CloseAllTables()) return Outcome::warning(msg::kImportFailed);
        // Without a register in the program folder there is nothing to convert.
        if (!store.OpenTable(registerPath)) return imported;
        last = store.RecordCount();
    }
    ok = namesToCodes(store, 1, last);
    if (!store.CloseAllTables() || !ok) return Outcome::warning(msg::kImportFailed);
    return imported;
}

}  // namespace exchange

#pragma once
// The rows of a workbook checked before an import writes them: the entry rules, the health
// checks, texts wider than their field, and persons the register already holds (the same
// identity number, or a name of the same sound with the same birth date). Nothing is written.
#include <QString>
#include <string>
#include <vector>

#include "core/edit/healthreport.h"
#include "core/edit/transfer.h"
#include "core/register/store.h"

namespace exchange {

struct ImportFinding {
    enum class Kind { Rule, Health, TooLong, SameIdentity, SameNameBirth };
    Kind kind = Kind::Rule;
    long row = 0;      // the workbook row, counting the heading row as 1
    std::string name;  // 姓名 of the row, GB18030
    std::string text;  // what was found, GB18030
};

// A row that names a person already in the register by identity number.
struct KnownPerson {
    size_t row = 0;                   // index into the rows read
    std::vector<std::string> before;  // the record's 22 stored values
    std::vector<std::string> after;   // the same with the row's non-empty values over them
};

struct ImportCheck {
    bool read = false;  // the workbook and the register could be read; otherwise the import
                        // itself reports why
    long rows = 0;
    std::vector<ImportFinding> findings;  // by row
    std::vector<KnownPerson> known;
};

// How the clerk lets an import with findings go on.
enum class ImportChoice {
    All,          // every row, as without a check
    SkipKnown,    // rows naming a person of the register by identity number left out
    UpdateKnown,  // those persons' records given the rows' values instead, as one change
    Cancel        // nothing written
};

// `text` shortened to at most `width` bytes without splitting a GB18030 character.
std::string cutToWidth(const std::string& text, int width);

// The row as the 22 stored values: columns placed by heading (a later column of the same heading
// wins), names of coded fields turned into codes.
std::vector<std::string> rowValues(const std::vector<std::string>& headings,
                                   const std::vector<std::string>& row);

// Checks rows against an open register table; `today` as YYYYMMDD. `rowNumbers` are the rows'
// numbers in the workbook (RowList::rowNumbers); without them row i is taken as row i + 2.
ImportCheck checkRows(const std::vector<std::vector<std::string>>& rows,
                      const std::vector<std::string>& headings, reg::RecordStore& registerStore,
                      const std::string& today, const std::vector<long>& rowNumbers = {});

// Reads the request's workbook and checks it against the register of its folder.
ImportCheck checkImport(const ImportRequest& request);

// What each kind of finding is called in the preview and the report.
QString findingKindName(ImportFinding::Kind kind);

// The findings as a workbook: 行号, 姓名, 类别, 说明.
ReportResult writeImportReport(const std::vector<ImportFinding>& findings, const QString& path,
                               const SpreadsheetFactory& factory = createSpreadsheet);

}  // namespace exchange

#include "core/edit/importcheck.h"

#include <QFileInfo>
#include <algorithm>
#include <unordered_map>
#include <unordered_set>

#include "core/edit/health.h"
#include "core/edit/rules.h"
#include "core/query/homophone.h"
#include "core/register/person.h"
#include "core/register/programfolder.h"
#include "core/register/text.h"
#include "core/register/workfiles.h"
#include "core/workbook/tablewriter.h"
#include "core/workbook/workbookreader.h"

namespace exchange {

namespace {

using reg::Field;

std::string gb(const QString& text) {
    return reg::toGb(text);
}

size_t characterLength(const std::string& text, size_t at) {
    const auto lead = static_cast<unsigned char>(text[at]);
    if (lead < 0x80 || at + 1 >= text.size()) return 1;
    const auto second = static_cast<unsigned char>(text[at + 1]);
    return second >= 0x30 && second <= 0x39 ? 4 : 2;
}

// The register as the rules and the matching need it: every unmarked record's few fields, and
// indexes so that each row meets only the records sharing its identity number or birth date.
struct Register {
    struct Person {
        long record = 0;
        std::string name;
    };
    std::unordered_map<std::string, std::vector<long>> byIdentity;
    std::unordered_map<std::string, std::vector<Person>> byBirth;
    std::unordered_map<std::string, long> atAddress;
    std::unordered_map<std::string, long> heads;  // address + '\n' + head name
    std::unordered_set<std::string> serials;

    // `record` 0: a row of the workbook, seen by the rules but never matched against.
    void add(const std::vector<std::string>& v, long record) {
        auto at = [&v](Field f) -> const std::string& { return v[size_t(f - 1)]; };
        if (record && !at(reg::F公民身份号码).empty())
            byIdentity[at(reg::F公民身份号码)].push_back(record);
        if (record && !at(reg::F出生日期).empty() && !at(reg::F姓名).empty())
            byBirth[at(reg::F出生日期)].push_back({record, at(reg::F姓名)});
        ++atAddress[at(reg::F房屋详址)];
        if (at(reg::F与户主关系) == "1" && at(reg::F姓名) == at(reg::F户主姓名))
            ++heads[at(reg::F房屋详址) + '\n' + at(reg::F姓名)];
        serials.insert(at(reg::F序号));
    }
};

// The rules see the register with the rows before this one added, as the import leaves it.
class RowFacts : public maint::RegisterFacts {
  public:
    explicit RowFacts(const Register& r) : r_(r) {}
    long othersAt(const std::string& address) override { return find(r_.atAddress, address); }
    long headsAt(const std::string& address, const std::string& headName) override {
        return find(r_.heads, address + '\n' + headName);
    }
    std::string currentField(reg::Field) override { return {}; }
    bool serialTaken(const std::string& serial) override { return r_.serials.count(serial) > 0; }

  private:
    static long find(const std::unordered_map<std::string, long>& map, const std::string& key) {
        const auto it = map.find(key);
        return it == map.end() ? 0 : it->second;
    }
    const Register& r_;
};

std::vector<std::string> readRecord(reg::RecordStore& store) {
    std::vector<std::string> values(static_cast<size_t>(reg::kFieldCount));
    for (int f = 1; f <= reg::kFieldCount; ++f) values[size_t(f - 1)] = store.ReadField(f);
    return values;
}

}  // namespace

std::string cutToWidth(const std::string& text, int width) {
    if (width <= 0 || text.size() <= size_t(width)) return text;
    size_t end = 0;
    while (end < text.size()) {
        const size_t next = end + characterLength(text, end);
        if (next > size_t(width)) break;
        end = next;
    }
    return text.substr(0, end);
}

std::vector<std::string> rowValues(const std::vector<std::string>& headings,
                                   const std::vector<std::string>& row) {
    std::vector<std::string> values(static_cast<size_t>(reg::kFieldCount));
    for (size_t i = 0; i < headings.size() && i < row.size(); ++i)
        if (const int f = reg::fieldPosition(headings[i])) values[size_t(f - 1)] = row[i];
    for (int f = 1; f <= reg::kFieldCount; ++f)
        if (const reg::CodeTable* table = reg::codeTableOf(f))
            if (auto code = reg::nameToCode(*table, values[size_t(f - 1)]))
                values[size_t(f - 1)] = *code;
    return values;
}

ImportCheck checkRows(const std::vector<std::vector<std::string>>& rows,
                      const std::vector<std::string>& headings, reg::RecordStore& store,
                      const std::string& today, const std::vector<long>& rowNumbers) {
    ImportCheck check;
    check.read = true;
    check.rows = long(rows.size());
    Register known;
    const long count = store.RecordCount();
    for (long n = 1; n <= count; ++n) {
        store.GoTo(n);
        if (store.IsDeleted()) continue;
        std::vector<std::string> v(static_cast<size_t>(reg::kFieldCount));
        for (Field f : {reg::F序号, reg::F房屋详址, reg::F户主姓名, reg::F与户主关系, reg::F姓名,
                        reg::F出生日期, reg::F公民身份号码})
            v[size_t(f - 1)] = store.ReadField(f);
        known.add(v, n);
    }
    const auto& byIdentity = known.byIdentity;
    const auto& byBirth = known.byBirth;
    const auto& defs = reg::fieldDefs();
    for (size_t i = 0; i < rows.size(); ++i) {
        const long rowNumber = i < rowNumbers.size() ? rowNumbers[i] : long(i) + 2;
        std::vector<std::string> values = rowValues(headings, rows[i]);
        const std::string name = values[size_t(reg::F姓名 - 1)];
        auto note = [&](ImportFinding::Kind kind, const std::string& text) {
            check.findings.push_back({kind, rowNumber, name, text});
        };
        for (int f = 1; f <= reg::kFieldCount; ++f) {
            const std::string& value = values[size_t(f - 1)];
            const int width = defs[size_t(f - 1)].width;
            if (value.size() > size_t(width))
                note(ImportFinding::Kind::TooLong,
                     gb(QStringLiteral("%1有%2字节，超过%3字节，导入时截去超出的部分")
                            .arg(reg::fromGb(reg::fieldName(f)))
                            .arg(value.size())
                            .arg(width)));
        }
        maint::EntryForm form = maint::formOf(values);
        RowFacts facts(known);
        if (auto broken = maint::validateEntry(maint::Mode::Add, form, facts, {}))
            note(ImportFinding::Kind::Rule, *broken);
        for (const auto& h : reg::health::checkRecord(values, today))
            if (h.kind != reg::health::Kind::Placeholder) note(ImportFinding::Kind::Health, h.text);

        const std::string& id = values[size_t(reg::F公民身份号码 - 1)];
        std::vector<long> sameId;
        if (auto it = byIdentity.find(id); !id.empty() && it != byIdentity.end())
            sameId = it->second;
        for (long record : sameId) {
            store.GoTo(record);
            KnownPerson person{i, readRecord(store), {}};
            person.after = person.before;
            for (size_t f = 1; f < values.size(); ++f)  // the register keeps its 序号
                if (!values[f].empty()) person.after[f] = cutToWidth(values[f], defs[f].width);
            note(ImportFinding::Kind::SameIdentity,
                 gb(QStringLiteral("公民身份号码与户籍中序号%1的%2相同")
                        .arg(reg::fromGb(person.before[0]), reg::fromGb(person.before[6]))));
            check.known.push_back(std::move(person));
        }
        const std::string& birth = values[size_t(reg::F出生日期 - 1)];
        if (auto it = byBirth.find(birth); !birth.empty() && !name.empty() && it != byBirth.end())
            for (const auto& person : it->second) {
                if (std::find(sameId.begin(), sameId.end(), person.record) != sameId.end())
                    continue;
                if (!query::homophoneMatch(name, person.name)) continue;
                store.GoTo(person.record);
                note(ImportFinding::Kind::SameNameBirth,
                     gb(QStringLiteral("姓名读音和出生日期与户籍中序号%1的%2相同")
                            .arg(reg::fromGb(store.ReadField(reg::F序号)),
                                 reg::fromGb(person.name))));
            }
        known.add(values, 0);
    }
    return check;
}

ImportCheck checkImport(const ImportRequest& request) {
    ImportCheck none;
    if (request.headings.empty()) return none;
    // Only an import into the register itself can meet its persons.
    const QString registerPath = reg::pathIn(request.folder, reg::names::kRegister);
    if (QFileInfo(request.storePath).canonicalFilePath() !=
        QFileInfo(registerPath).canonicalFilePath())
        return none;
    const RowList sheet = readRows(request.workbookPath, int(request.headings.size()));
    if (sheet.status != ReadStatus::Ok) return none;
    reg::RecordStore store;
    if (!store.OpenTable(request.storePath)) return none;
    ImportCheck check =
        checkRows(sheet.rows, request.headings, store, reg::health::today(), sheet.rowNumbers);
    static_cast<void>(store.CloseAllTables());  // read only
    return check;
}

QString findingKindName(ImportFinding::Kind kind) {
    switch (kind) {
        case ImportFinding::Kind::Rule:
            return QStringLiteral("录入规则");
        case ImportFinding::Kind::Health:
            return QStringLiteral("户籍检查");
        case ImportFinding::Kind::TooLong:
            return QStringLiteral("内容过长");
        case ImportFinding::Kind::SameIdentity:
            return QStringLiteral("已有此人");
        case ImportFinding::Kind::SameNameBirth:
            return QStringLiteral("可能重复");
    }
    return {};
}

ReportResult writeImportReport(const std::vector<ImportFinding>& findings, const QString& path,
                               const SpreadsheetFactory& factory) {
    std::unique_ptr<Spreadsheet> book = factory ? factory() : nullptr;
    if (!book) return ReportResult::NoSpreadsheet;
    book->setVisible(false);
    Table table;
    table.columns = {{QStringLiteral("行号"), 8},
                     {QStringLiteral("姓名"), 12},
                     {QStringLiteral("类别"), 12},
                     {QStringLiteral("说明"), 60}};
    table.look.centredHeadings = true;
    table.rows = long(findings.size());
    table.cell = [&findings](long row, int column, QString& text) {
        const ImportFinding& f = findings[size_t(row)];
        switch (column) {
            case 0:
                text += QString::number(f.row);
                break;
            case 1:
                text += reg::fromGb(f.name);
                break;
            case 2:
                text += findingKindName(f.kind);
                break;
            default:
                text += reg::fromGb(f.text);
        }
    };
    const bool saved = book->addWorkbook() &&
                       writeTable(*book, table, rowsPerSheet(workbookKindOf(path))) &&
                       saveWorkbook(*book, path);
    book->quit();
    book->close();
    return saved ? ReportResult::Saved : ReportResult::SaveFailed;
}

}  // namespace exchange

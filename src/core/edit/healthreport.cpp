#include "core/edit/healthreport.h"

#include <QStringList>
#include <array>

#include "core/register/person.h"
#include "core/register/store.h"
#include "core/register/text.h"
#include "core/workbook/tablewriter.h"

namespace exchange {

namespace {

using reg::health::Finding;
using reg::health::Kind;

struct Column {
    const char16_t* heading;
    double width;  // in characters
};
const std::array<Column, 5> kColumns = {{
    {u"序号", 10},
    {u"房屋详址", 30},
    {u"姓名", 12},
    {u"类别", 10},
    {u"说明", 80},
}};

}  // namespace

RegisterHealth checkRegisterFile(const QString& path, const std::function<void(int)>& progress,
                                 const std::string& today) {
    RegisterHealth health;
    reg::RecordStore store;
    if (!store.OpenTable(path)) return health;
    health.opened = true;

    // Where each field of the person record lies in this table (0: it has no such column).
    std::array<int, reg::kFieldCount> column{};
    for (int f = 1; f <= reg::kFieldCount; ++f)
        column[size_t(f - 1)] = store.FieldNumber(reg::fieldName(f));

    reg::health::RegisterCheck check(today);
    std::vector<std::string> values(reg::kFieldCount);
    const long count = store.RecordCount();
    int shown = -1;
    for (long n = 1; n <= count; ++n) {
        store.GoTo(n);
        if (store.IsDeleted()) continue;
        for (size_t f = 0; f < values.size(); ++f)
            values[f] = column[f] ? store.ReadField(column[f]) : std::string();
        check.add(values);
        const int percent = int(n * 100 / count);
        if (progress && percent != shown) progress(shown = percent);
    }
    static_cast<void>(store.CloseAllTables());  // read only
    health.records = check.records();
    health.findings = check.finish();
    return health;
}

ReportResult writeHealthReport(const std::vector<Finding>& findings, const QString& path,
                               const SpreadsheetFactory& factory) {
    std::unique_ptr<Spreadsheet> book = factory ? factory() : nullptr;
    if (!book) return ReportResult::NoSpreadsheet;
    book->setVisible(false);
    Table table;
    for (const Column& c : kColumns)
        table.columns.push_back({QString::fromUtf16(c.heading), c.width});
    table.look.centredHeadings = true;
    table.rows = long(findings.size());
    // Every value a text cell, so that serial numbers stay as they were typed.
    table.cell = [&findings](long row, int column, QString& text) {
        const Finding& f = findings[size_t(row)];
        const std::array<const std::string*, 5> cells = {&f.serial, &f.address, &f.name,
                                                         &reg::health::kindName(f.kind), &f.text};
        text += reg::fromGb(*cells[size_t(column)]);
    };
    const bool saved = book->addWorkbook() &&
                       writeTable(*book, table, rowsPerSheet(workbookKindOf(path))) &&
                       saveWorkbook(*book, path);
    book->quit();
    book->close();
    return saved ? ReportResult::Saved : ReportResult::SaveFailed;
}

QString healthSummary(const RegisterHealth& health) {
    const auto counts = reg::health::countByKind(health.findings);
    const long placeholders = counts[size_t(Kind::Placeholder)];
    const long problems = long(health.findings.size()) - placeholders;
    QStringList lines;
    if (problems == 0) {
        lines << QStringLiteral("户籍检查完成：共检查%1条记录，未发现问题。").arg(health.records);
    } else {
        lines << QStringLiteral("户籍检查完成：共检查%1条记录，发现%2处问题，其中")
                     .arg(health.records)
                     .arg(problems);
        for (Kind kind : {Kind::IdentityNumber, Kind::Date, Kind::Duplicate, Kind::Household})
            lines << QStringLiteral("    %1：%2处")
                         .arg(reg::fromGb(reg::health::kindName(kind)))
                         .arg(counts[size_t(kind)]);
    }
    if (placeholders > 0)
        lines << QStringLiteral("另有空记录%1条（已清空的记录），仅供参考。").arg(placeholders);
    return lines.join(QStringLiteral("\r\n"));
}

}  // namespace exchange

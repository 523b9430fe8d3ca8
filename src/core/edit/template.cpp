// The template workbook that shows the clerk how a workbook for the import is laid out.
#include <QStringList>

#include "core/edit/transfer.h"
#include "core/register/person.h"
#include "core/register/text.h"
#include "core/workbook/biff8.h"

namespace exchange {

namespace {

struct Note {
    int field;
    const char* text;
};

// What each column holds; coded columns get their names listed after this.
const Note kNotes[] = {
    {reg::F序号, "人员的序号，正整数，各人不能相同"},
    {reg::F房屋详址, "房屋详细地址；地址文字完全相同的人员为同一户"},
    {reg::F居住类型, "居住类型"},
    {reg::F居住详址, "居住详细地址"},
    {reg::F户主姓名, "本户户主的姓名"},
    {reg::F与户主关系, "与户主的关系；户主本人填“本人”"},
    {reg::F姓名, "姓名"},
    {reg::F性别, "性别"},
    {reg::F出生日期, "出生日期，写成八位数字，如19800101"},
    {reg::F受教育程度, "受教育程度"},
    {reg::F婚姻类型, "婚姻状况"},
    {reg::F婚姻变更日期, "婚姻变更日期，写成八位数字，如20050501"},
    {reg::F工作单位, "工作单位"},
    {reg::F公民身份号码,
     "公民身份号码，15位或18位；单元格必须是文本格式（本表已设为文本，或在号码前加英文单引号'），"
     "否则号码会被当成数字而丢失末几位"},
    {reg::F民族, "民族"},
    {reg::F户籍登记类型, "户籍登记地"},
    {reg::F户籍登记详址, "户籍登记详细地址"},
    {reg::F籍贯, "籍贯"},
    {reg::F户籍变动类型, "最近一次户籍变动的类型"},
    {reg::F户籍变动日期, "户籍变动日期，写成八位数字，如20100315"},
    {reg::F迁自迁往何地, "迁自何地或迁往何地"},
    {reg::F备注, "备注"},
};

const char* const kGeneral[] = {
    "导入时读取名为Sheet1的工作表：第一行是列名，从第二行起每行一人。",
    "列名必须与下表“列名”一栏的文字完全相同，列的先后次序不限，最多26列；不需要的列可以删去。",
    "所有单元格请用文本格式；日期写成八位数字（如19800101），不要使用日期格式的单元格。",
    "带代码的列可以填写下表所列的名称，也可以填写名称的序号数字（1表示第一个名称）。",
    "单元格中不要使用公式。",
};

QString q(const std::string& gbText) {
    return reg::fromGb(gbText);
}

}  // namespace

bool writeTemplate(const QString& path) {
    Biff8Spreadsheet book;
    if (!book.addWorkbook()) return false;
    // Every column of the sheet to fill is a text column, so that typed identity numbers, dates
    // and serial numbers stay as they were typed.
    const std::string last = columnLetter(reg::kFieldCount);
    book.range("a", last).setNumberFormat(QStringLiteral("@"));
    Range head = book.range("a1", last + "1");
    head.setHorizontalAlignment(kAlignCentre);
    head.setVerticalAlignment(kAlignCentre);
    for (int i = 1; i <= reg::kFieldCount; ++i) {
        Range cell = book.range(columnLetter(i) + "1");
        cell.setColumnWidth(reg::fieldDefs()[size_t(i - 1)].width);
        cell.setValue(q(reg::fieldName(i)));
    }

    if (!book.addWorksheet(QStringLiteral("说明"))) return false;
    int row = 1;
    for (const char* line : kGeneral)
        book.range("a" + std::to_string(row++)).setValue(QString::fromUtf8(line));
    ++row;
    const std::string headRow = std::to_string(row);
    book.range("a" + headRow).setValue(QStringLiteral("列名"));
    book.range("b" + headRow).setValue(QStringLiteral("内容"));
    book.range("c" + headRow).setValue(QStringLiteral("可以填写的名称"));
    const int first = ++row;
    for (const Note& note : kNotes) {
        const std::string r = std::to_string(row++);
        book.range("a" + r).setValue(q(reg::fieldName(note.field)));
        book.range("b" + r).setValue(QString::fromUtf8(note.text));
        if (const reg::CodeTable* table = reg::codeTableOf(note.field)) {
            QStringList names;
            for (size_t k = 0; k < table->names.size(); ++k)
                names << QStringLiteral("%1 %2").arg(k + 1).arg(q(table->names[k]));
            book.range("c" + r).setValue(names.join(QStringLiteral("、")));
        }
    }
    Range notes = book.range("a" + std::to_string(first), "c" + std::to_string(row - 1));
    notes.setVerticalAlignment(kAlignCentre);
    notes.setWrapText(true);
    book.range("a1").setColumnWidth(14);
    book.range("b1").setColumnWidth(50);
    book.range("c1").setColumnWidth(60);
    return book.selectWorksheet(0) && book.saveAs(path);
}

}  // namespace exchange

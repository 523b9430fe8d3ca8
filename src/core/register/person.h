#pragma once
// The person record: 22 text fields in a fixed column order, eight of them holding the 1-based
// position of a name in a fixed code table as decimal text.
#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace reg {

constexpr int kFieldCount = 22;

// 1-based field positions, in column order.
enum Field : int {
    F序号 = 1,
    F房屋详址,
    F居住类型,
    F居住详址,
    F户主姓名,
    F与户主关系,
    F姓名,
    F性别,
    F出生日期,
    F受教育程度,
    F婚姻类型,
    F婚姻变更日期,
    F工作单位,
    F公民身份号码,
    F民族,
    F户籍登记类型,
    F户籍登记详址,
    F籍贯,
    F户籍变动类型,
    F户籍变动日期,
    F迁自迁往何地,
    F备注
};

enum class InputKind { Text, Decimal, Integer, UpperCase, Code };

struct FieldDef {
    const char* utf8Name;  // the column name
    int width;             // declared storage width in GB18030 bytes
    int formLimit;         // longest input the entry form accepts, in bytes (0 for a list)
    InputKind input;
    const char* meaning;
};

struct CodeTable {
    std::string name;                // GB18030, e.g. 与户主关系
    std::vector<std::string> names;  // GB18030, code k is names[k-1]
};

// The 22 field definitions, index 0 is field 1.
const std::array<FieldDef, kFieldCount>& fieldDefs();
// GB18030 name of field `pos` (1-based); empty for a position out of range.
const std::string& fieldName(int pos);
// 1-based position of a GB18030 field name, 0 when no field has it.
int fieldPosition(std::string_view name);
// All 22 GB18030 field names in column order.
const std::vector<std::string>& fieldNames();

// The eight code tables, in the column order of their fields.
const std::vector<CodeTable>& codeTables();
// The code table of field `pos`, or nullptr for a text field.
const CodeTable* codeTableOf(int pos);
// Positions of the eight coded fields, in column order.
const std::array<int, 8>& codedFields();

// Form list: entry 0 empty, entry k the name of code k.
std::vector<std::string> formList(const CodeTable& table);
// List text of code k: a two-character number column then the name ("1 本人", "10兄弟姐妹");
// k = 0 gives "0 ".
std::string listText(const CodeTable& table, int code);
std::vector<std::string> listTexts(const CodeTable& table);

// The number at the start of a text: optional minus, decimal digits, optional fraction.
// Anything else gives 0. Used for code numbers and for the numeric order of 序号.
double leadingNumber(std::string_view text);
// Stored code to form-list position for a list of `listSize` entries (empty entry included):
// -1 when nothing is to be selected.
int codeToListPosition(std::string_view stored, int listSize);
// List position (-1 for no selection) to the stored text.
std::string listPositionToStored(int position);
// Code to the name written to spreadsheets: "1".."n" the name, "0"/"-1" empty, else unchanged.
std::string codeToName(const CodeTable& table, std::string_view code);
// Bare name to its code ("k"); nullopt when no name of the table equals it.
std::optional<std::string> nameToCode(const CodeTable& table, std::string_view name);

// A person: 与户主关系 compares greater than "0" byte for byte ("1".."11").
bool isPerson(std::string_view relation);
// A head of a household: 与户主关系 is "1" (本人).
bool isHead(std::string_view relation);

}  // namespace reg

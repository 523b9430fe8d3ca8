#include "core/register/person.h"

#include <charconv>
#include <cmath>

#include "core/register/text.h"

namespace reg {

namespace {

// Code fields are declared wide enough to hold the longest name of any table, because the
// spreadsheet import writes bare names into them before turning them into codes.
constexpr int kCodeWidth = 20;

const std::array<FieldDef, kFieldCount> kFields = {{
    {"序号", 12, 12, InputKind::Decimal, "serial number of the person"},
    {"房屋详址", 40, 40, InputKind::Text, "house address; identical text = same household"},
    {"居住类型", kCodeWidth, 0, InputKind::Code, "residence type"},
    {"居住详址", 40, 40, InputKind::Text, "residence address"},
    {"户主姓名", 12, 12, InputKind::Text, "name of the head of the household"},
    {"与户主关系", kCodeWidth, 0, InputKind::Code, "relation to the head; 1 marks the head"},
    {"姓名", 12, 12, InputKind::Text, "the person's name"},
    {"性别", kCodeWidth, 0, InputKind::Code, "sex"},
    {"出生日期", 8, 8, InputKind::Integer, "date of birth, YYYYMMDD"},
    {"受教育程度", kCodeWidth, 0, InputKind::Code, "education level"},
    {"婚姻类型", kCodeWidth, 0, InputKind::Code, "marital status"},
    {"婚姻变更日期", 8, 8, InputKind::Integer, "date of the last change of marital status"},
    {"工作单位", 40, 40, InputKind::Text, "employer"},
    {"公民身份号码", 18, 18, InputKind::UpperCase, "citizen identity number"},
    {"民族", kCodeWidth, 0, InputKind::Code, "ethnic group"},
    {"户籍登记类型", kCodeWidth, 0, InputKind::Code, "where the registration is held"},
    {"户籍登记详址", 40, 40, InputKind::Text, "registration address"},
    {"籍贯", 40, 40, InputKind::Text, "place of origin"},
    {"户籍变动类型", kCodeWidth, 0, InputKind::Code, "kind of the last registration change"},
    {"户籍变动日期", 8, 8, InputKind::Integer, "date of that change"},
    {"迁自迁往何地", 40, 40, InputKind::Text, "place moved from or to"},
    {"备注", 40, 40, InputKind::Text, "remarks"},
}};

struct RawTable {
    int field;
    std::vector<const char*> names;
};

const std::vector<RawTable> kRawTables = {
    {F居住类型,
     {"居住在本村居", "居住在本乡镇其他村居", "居住在本县市其他乡镇", "居住在本省其他县市",
      "居住在国内省外", "居住在其他国家或地区"}},
    {F与户主关系,
     {"本人", "配偶", "子女", "孙子女", "父母", "祖父母", "媳婿", "公爹公婆", "岳父岳母",
      "兄弟姐妹", "其他"}},
    {F性别, {"男", "女"}},
    {F受教育程度, {"未上学", "小学", "初中", "高中中专", "大学专科", "大学本科", "大学本科以上"}},
    {F婚姻类型, {"未婚", "初婚", "再婚", "复婚", "离异", "丧偶", "其他"}},
    {F民族,
     {"汉族", "蒙古族", "回族", "藏族", "维吾尔族", "壮族", "朝鲜族", "满族", "傣族", "高山族",
      "其他"}},
    {F户籍登记类型,
     {"本村居", "本乡镇其他村居", "本县市其他乡镇", "本省其他县市", "国内省外", "其他国家或地区",
      "未落户"}},
    {F户籍变动类型,
     {"本村居内部迁移", "自本乡镇其他村居迁入", "自本县市其他乡镇迁入", "自本省其他县市迁入",
      "自国内省外迁入", "自其他国家或地区迁入", "迁往本乡镇其他村居", "迁往本县市其他乡镇",
      "迁往本省其他县市", "迁往国内省外", "迁往其他国家或地区", "出生", "死亡"}},
};

}  // namespace

const std::array<FieldDef, kFieldCount>& fieldDefs() {
    return kFields;
}

const std::vector<std::string>& fieldNames() {
    static const std::vector<std::string> names = [] {
        std::vector<std::string> v;
        for (const auto& f : kFields) v.push_back(gb(f.utf8Name));
        return v;
    }();
    return names;
}

const std::string& fieldName(int pos) {
    static const std::string none;
    if (pos < 1 || pos > kFieldCount) return none;
    return fieldNames()[size_t(pos - 1)];
}

int fieldPosition(std::string_view name) {
    const auto& names = fieldNames();
    for (size_t i = 0; i < names.size(); ++i)
        if (names[i] == name) return int(i) + 1;
    return 0;
}

const std::vector<CodeTable>& codeTables() {
    static const std::vector<CodeTable> tables = [] {
        std::vector<CodeTable> v;
        for (const auto& raw : kRawTables) {
            CodeTable t{fieldName(raw.field), {}};
            for (const char* n : raw.names) t.names.push_back(gb(n));
            v.push_back(std::move(t));
        }
        return v;
    }();
    return tables;
}

const std::array<int, 8>& codedFields() {
    static const std::array<int, 8> fields = {F居住类型, F与户主关系, F性别,         F受教育程度,
                                              F婚姻类型, F民族,       F户籍登记类型, F户籍变动类型};
    return fields;
}

const CodeTable* codeTableOf(int pos) {
    const auto& fields = codedFields();
    for (size_t i = 0; i < fields.size(); ++i)
        if (fields[i] == pos) return &codeTables()[i];
    return nullptr;
}

std::vector<std::string> formList(const CodeTable& table) {
    std::vector<std::string> list{std::string()};
    list.insert(list.end(), table.names.begin(), table.names.end());
    return list;
}

std::string listText(const CodeTable& table, int code) {
    if (code <= 0 || code > int(table.names.size())) return code == 0 ? "0 " : std::string();
    std::string number = std::to_string(code);
    if (number.size() < 2) number += ' ';
    return number + table.names[size_t(code - 1)];
}

std::vector<std::string> listTexts(const CodeTable& table) {
    std::vector<std::string> list;
    for (int k = 0; k <= int(table.names.size()); ++k) list.push_back(listText(table, k));
    return list;
}

double leadingNumber(std::string_view text) {
    size_t i = 0;
    bool negative = false;
    if (i < text.size() && text[i] == '-') {
        negative = true;
        ++i;
    }
    double value = 0;
    bool digits = false;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        digits = true;
    }
    if (i < text.size() && text[i] == '.') {
        double scale = 0.1;
        for (++i; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, scale /= 10) {
            value += (text[i] - '0') * scale;
            digits = true;
        }
    }
    if (!digits) return 0;
    return negative ? -value : value;
}

int codeToListPosition(std::string_view stored, int listSize) {
    double n = std::trunc(leadingNumber(stored));
    if (n < 0 || n >= listSize) return -1;
    return int(n);
}

std::string listPositionToStored(int position) {
    return std::to_string(position);
}

std::string codeToName(const CodeTable& table, std::string_view code) {
    if (code == "0" || code == "-1") return std::string();
    for (size_t k = 1; k <= table.names.size(); ++k)
        if (code == std::to_string(k)) return table.names[k - 1];
    return std::string(code);
}

std::optional<std::string> nameToCode(const CodeTable& table, std::string_view name) {
    for (size_t k = 1; k <= table.names.size(); ++k)
        if (table.names[k - 1] == name) return std::to_string(k);
    return std::nullopt;
}

bool isPerson(std::string_view relation) {
    return relation > std::string_view("0");
}

bool isHead(std::string_view relation) {
    return relation == "1";
}

}  // namespace reg

#include "core/edit/rules.h"

#include <algorithm>

#include "core/register/text.h"

namespace maint {

using namespace reg;

std::vector<std::string> EntryForm::values() const {
    std::vector<std::string> v;
    for (int pos = 1; pos <= kFieldCount; ++pos)
        v.push_back(codeTableOf(pos) ? listPositionToStored(position[size_t(pos - 1)])
                                     : text[size_t(pos - 1)]);
    return v;
}

void removeBlanks(EntryForm& form) {
    for (int pos = 1; pos <= kFieldCount; ++pos)
        if (!codeTableOf(pos))
            form.text[size_t(pos - 1)] = withoutBlanks(form.text[size_t(pos - 1)]);
}

bool isEightDigitDate(std::string_view t) {
    return t.size() == 8 && t.substr(0, 4) >= "1800" && t.substr(4, 2) >= "01" &&
           t.substr(4, 2) <= "12" && t.substr(6, 2) >= "01" && t.substr(6, 2) <= "31" &&
           t.find('-') == std::string_view::npos;
}

bool isSerialNumber(std::string_view t) {
    return leadingNumber(t) > 1e-7 && t.find('-') == std::string_view::npos &&
           t.find('.') == t.rfind('.') && (t.empty() || t[0] != '.');
}

namespace {

std::optional<std::string> fail(const char* utf8) {
    return gb(utf8);
}

// The store as it is: for Modify positioned on the selected record, which still counts at its
// old address and holds its old serial.
class StoreFacts : public RegisterFacts {
  public:
    StoreFacts(Mode mode, RecordStore& store, std::string_view selectedTreeText)
        : mode_(mode), store_(store), selected_(selectedTreeText) {}
    long othersAt(const std::string& address) override {
        return store_.CountMatching([&] { return store_.ReadField(F房屋详址) == address; });
    }
    long headsAt(const std::string& address, const std::string& headName) override {
        return store_.CountMatching([&] {
            return store_.ReadField(F房屋详址) == address && store_.ReadField(F姓名) == headName &&
                   store_.ReadField(F户主姓名) == headName && store_.ReadField(F与户主关系) == "1";
        });
    }
    std::string currentField(Field field) override { return store_.ReadField(field); }
    bool serialTaken(const std::string& serial) override {
        if (mode_ == Mode::Add) {
            store_.GoFirst();
            for (long n = 1; n <= store_.RecordCount(); ++n) {
                store_.GoTo(n);
                if (store_.ReadField(F序号) == serial) return true;
            }
            return false;
        }
        const long holders =
            store_.CountMatching([&] { return store_.ReadField(F序号) == serial; });
        const std::string label =
            serial + ":" + store_.ReadField(F户主姓名) + ":" + store_.ReadField(F姓名);
        return holders >= 2 || (holders == 1 && selected_ != label);
    }

  private:
    Mode mode_;
    RecordStore& store_;
    std::string_view selected_;
};

}  // namespace

EntryForm formOf(const std::vector<std::string>& values) {
    EntryForm form;
    for (int pos = 1; pos <= kFieldCount && size_t(pos) <= values.size(); ++pos) {
        const std::string& value = values[size_t(pos - 1)];
        if (const CodeTable* table = codeTableOf(pos))
            form.position[size_t(pos - 1)] =
                codeToListPosition(value, int(table->names.size()) + 1);
        else
            form.text[size_t(pos - 1)] = value;
    }
    return form;
}

std::optional<std::string> validateEntry(Mode mode, EntryForm& form, RecordStore& store,
                                         const std::vector<std::string>& listLines,
                                         std::string_view selectedTreeText) {
    StoreFacts facts(mode, store, selectedTreeText);
    return validateEntry(mode, form, facts, listLines);
}

std::optional<std::string> validateEntry(Mode mode, EntryForm& form, RegisterFacts& facts,
                                         const std::vector<std::string>& listLines) {
    removeBlanks(form);
    const std::string& serial = form[F序号];
    const std::string& address = form[F房屋详址];
    const std::string& headName = form[F户主姓名];
    const std::string& name = form[F姓名];
    const int relation = form.choice(F与户主关系);

    if (!isSerialNumber(serial))
        return fail("请正确输入序号！序号应按房屋详址升序编排！序号只能为正数且不能重复使用！");
    if (relation > 1) {
        if (facts.othersAt(address) == 0) return fail("此人为新户的第一人！必须为户主！");
        if (facts.headsAt(address, headName) == 0)
            return fail("此户无户主或户主信息存在逻辑错误！请正确设定户主！");
    }
    if (address.empty() || address.find(':') != std::string::npos)
        return fail("请正确输入房屋详址！房屋详址中不能包含英文符号中的冒号！");
    const auto sameAddress = std::count(listLines.begin(), listLines.end(), address);
    if (sameAddress > 1) return fail("此户房屋详址在左侧列表中存在多处！请查找并纠正！");
    if (mode == Mode::Modify && sameAddress >= 1 && facts.currentField(F房屋详址) != address &&
        facts.currentField(F序号) == serial)
        return fail(
            "此人将在左侧列表中已存在的房屋详址之间切换！但是序号尚未更改！"
            "请根据切换后的房屋详址更改序号！");
    if (form.choice(F居住类型) <= 0) return fail("请选择居住类型！");
    if (form[F居住详址].empty()) return fail("请输入居住详址！");
    if (headName.empty()) return fail("请输入户主姓名！");
    if (relation <= 0) return fail("请选择与户主关系！");
    if (name.empty()) return fail("请输入姓名！");
    if (headName == name && relation != 1) return fail("请正确选择与户主关系！");
    if (headName != name && relation == 1) return fail("请正确选择与户主关系！");
    if (form.choice(F性别) <= 0) return fail("请选择性别！");
    if (!isEightDigitDate(form[F出生日期]))
        return fail("请正确输入出生日期！即年＋月＋日形成的八位数字！");
    const int marriage = form.choice(F婚姻类型);
    const std::string& marriageDate = form[F婚姻变更日期];
    if (marriage > 1 && !isEightDigitDate(marriageDate))
        return fail("请正确输入婚姻变更日期！即年＋月＋日形成的八位数字！");
    if (!marriageDate.empty() && marriage <= 1) return fail("请正确选择婚姻类型！");
    const std::string& id = form[F公民身份号码];
    if (!id.empty() && ((id.size() != 15 && id.size() != 18) || id.find('-') != std::string::npos))
        return fail("请正确输入十五位或十八位公民身份号码！");
    if (form.choice(F户籍登记类型) <= 0) return fail("请选择户籍登记类型！");
    const bool changeChosen = form.choice(F户籍变动类型) > 0;
    const std::string& changeDate = form[F户籍变动日期];
    if (changeChosen && !isEightDigitDate(changeDate))
        return fail("请正确输入户籍变动日期！即年＋月＋日形成的八位数字！");
    if (!changeDate.empty() && !changeChosen) return fail("请选择户籍变动类型！");
    if (facts.serialTaken(serial)) return fail("序号已存在！");
    return std::nullopt;
}

}  // namespace maint

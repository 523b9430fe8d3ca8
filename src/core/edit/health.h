#pragma once
// Health checks of person records: what the entry rules cannot see because they test the shape of
// a record, not its truth. An identity number carries its own check digit, birth date and sex;
// households need one head whom every member names; one number belongs to one person. The checks
// only report: nothing here refuses a record or changes one.
//
// Texts in and out are GB18030, like every stored text.
#include <array>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace reg::health {

enum class Kind { IdentityNumber, Date, Duplicate, Household, Placeholder };
constexpr int kKindCount = 5;

// The kind as the report and the notice name it, e.g. "身份号码".
const std::string& kindName(Kind kind);

struct Finding {
    Kind kind;
    std::string serial;   // 序号 of the record it is about
    std::string address;  // 房屋详址
    std::string name;     // 姓名; empty when it is about a household as a whole
    std::string text;     // what is wrong, in plain words
};

// Today as eight digits YYYYMMDD, the upper bound of every date.
std::string today();

// A date of eight digits that names a day of the calendar (20130231 does not).
bool isCalendarDate(std::string_view text);

// The check character of an 18-character identity number from its first 17 characters
// (ISO 7064 MOD 11-2): '0'..'9' or 'X'; 0 when they are not 17 digits.
char identityCheckCharacter(std::string_view first17);

// The checks that need the record alone: its identity number and its dates. `values` are the 22
// fields in column order (missing ones count as empty). A cleared record (a placeholder) gives
// one Placeholder finding and nothing else. Findings come in a fixed order.
std::vector<Finding> checkRecord(const std::vector<std::string>& values, std::string_view today);

// The findings as lines of a message, one line each, joined by CR LF.
std::string findingLines(const std::vector<Finding>& findings);

// The checks of a whole register: every record alone, and across records the duplicates and the
// households. Records may come in any order.
class RegisterCheck {
  public:
    explicit RegisterCheck(std::string today);
    ~RegisterCheck();
    RegisterCheck(const RegisterCheck&) = delete;
    RegisterCheck& operator=(const RegisterCheck&) = delete;

    // One record, 22 values in column order.
    void add(const std::vector<std::string>& values);
    long records() const;
    // Every finding, ascending by the numeric 序号 (a record's own findings in their order), the
    // placeholders after all the others. The check is spent afterwards.
    std::vector<Finding> finish();

  private:
    struct State;
    std::unique_ptr<State> state_;
};

// How many findings of each kind, indexed by Kind.
std::array<long, kKindCount> countByKind(const std::vector<Finding>& findings);

}  // namespace reg::health

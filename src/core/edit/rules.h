#pragma once
// The entry rules that add and modify apply to the entry form before they write. They know no
// widgets: the form's values, the store, the mirror list's lines and the selected tree text come
// in, the first failing rule's message (or nothing) goes out.
#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/register/person.h"
#include "core/register/store.h"

namespace maint {

enum class Mode { Add, Modify };

// The entry form's content, indexed by field position - 1. Text fields use `text` (GB18030);
// coded fields use `position` (0 the empty entry, k the code k, -1 no selection).
struct EntryForm {
    std::array<std::string, reg::kFieldCount> text;
    std::array<int, reg::kFieldCount> position{};

    std::string& operator[](reg::Field f) { return text[size_t(f - 1)]; }
    const std::string& operator[](reg::Field f) const { return text[size_t(f - 1)]; }
    int& choice(reg::Field f) { return position[size_t(f - 1)]; }
    int choice(reg::Field f) const { return position[size_t(f - 1)]; }
    // The 22 values in column order as they are stored: texts, and positions as decimal text.
    std::vector<std::string> values() const;
};

// Step 0: blank removal in the fourteen text fields.
void removeBlanks(EntryForm& form);

// YYYYMMDD by text comparison: eight bytes, year from "1800", month 01-12, day 01-31, no "-".
bool isEightDigitDate(std::string_view text);
// A positive number (above 1e-7), no "-", at most one ".", not starting with ".".
bool isSerialNumber(std::string_view text);

// What the rules ask of the register beyond the form: the register the record is checked
// against (the store as it is, or as a change of several records would leave it).
class RegisterFacts {
  public:
    virtual ~RegisterFacts() = default;
    // Records at `address` other than the one checked.
    virtual long othersAt(const std::string& address) = 0;
    // Heads at `address` named `headName` (姓名 and 户主姓名, 与户主关系 "1").
    virtual long headsAt(const std::string& address, const std::string& headName) = 0;
    // Modify: the record's 房屋详址 and 序号 as they are now.
    virtual std::string currentField(reg::Field field) = 0;
    // Another record holds `serial`.
    virtual bool serialTaken(const std::string& serial) = 0;
};

// Every rule in order against `facts` (blanks removed first), as validateEntry below.
std::optional<std::string> validateEntry(Mode mode, EntryForm& form, RegisterFacts& facts,
                                         const std::vector<std::string>& listLines);

// The form of a stored record: texts as they are, codes as list positions.
EntryForm formOf(const std::vector<std::string>& values);

// Blank removal, then every rule in order. For Modify the store is positioned on the selected
// record and `selectedTreeText` is the text of the selected tree item. The store is only read;
// the cursor is where it was afterwards, except that the add-mode serial check walks it.
// Answers the message of the first failing rule (GB18030), or nothing when all pass.
std::optional<std::string> validateEntry(Mode mode, EntryForm& form, reg::RecordStore& store,
                                         const std::vector<std::string>& listLines,
                                         std::string_view selectedTreeText = {});

}  // namespace maint

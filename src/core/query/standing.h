#pragma once
// Whether a person is on the register (在册) or was taken off it (注销) at a date. A person is
// taken off from the date of a last change of kind 迁往… (codes 7 to 11) or 死亡 (13) and stays
// on the register in every other case: the record itself stays, as the register keeps it.
#include <string>
#include <string_view>
#include <vector>

namespace query {

enum class Standing { Registered, Deregistered };

// The change kind (户籍变动类型, a stored code) takes a person off the register: 7 to 11 or 13.
bool deregisters(std::string_view changeCode);

// The standing of a record (22 values in column order, GB18030) on `date` (YYYYMMDD). A change
// that deregisters without a date (older registers have such) counts from any date; a change
// dated after `date` has not happened yet.
Standing standingAt(const std::vector<std::string>& values, std::string_view date);

// The chinese word for a standing: "在册" or "注销" (GB18030).
const std::string& standingName(Standing standing);

}  // namespace query

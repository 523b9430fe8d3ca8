#pragma once
// The conditions of the query rows: one field, one of six operators and a condition text per
// row, joined by and. Texts are GB18030 byte strings.
#include <string>
#include <string_view>
#include <vector>

#include "core/register/store.h"

namespace query {

// Operator numbers, in the order the operator lists show them.
enum Op : int { Homophone = 1, NotEqual, AtMost, AtLeast, Contains, Lacks };

struct Row {
    int field = 0;  // 1-based column
    int op = 0;     // Op
    std::string text;
};

// Whether `condition` occurs in `field`, tried only where a character of `field` begins, ASCII
// letters compared without regard to case. An empty condition occurs in every non-empty field.
bool occursIn(std::string_view condition, std::string_view field);
// Whether one row holds for the field text `value`.
bool holds(const Row& row, std::string_view value);
// The condition function for the first `rows.size()` rows: true when all hold, tested in order
// and stopping at the first that does not.
reg::Condition chain(reg::RecordStore& store, std::vector<Row> rows);

// The condition text of a query value box: the number column of a chosen list entry ("1 男"
// gives "1", "10兄弟姐妹" gives "10"), else the box's text; blanks removed either way.
std::string conditionText(bool entryChosen, std::string_view entryText, std::string_view boxText);

}  // namespace query

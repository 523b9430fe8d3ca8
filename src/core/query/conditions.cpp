#include "core/query/conditions.h"

#include "core/query/homophone.h"
#include "core/register/text.h"

namespace query {

namespace {

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

// `b` holds at least a.size() bytes and starts where a character of its text does. Only a
// character of one byte is folded: the trail bytes of GBK characters (0x41-0x5A among them)
// are compared as they are, so 旿 (95 4A) is never 昷 (95 6A).
bool sameIgnoringAsciiCase(std::string_view a, std::string_view b) {
    for (size_t i = 0; i < a.size();) {
        const size_t n = size_t(reg::gbCharLength(a.substr(i)));
        if (n == 1 ? lower(a[i]) != lower(b[i]) : a.substr(i, n) != b.substr(i, n)) return false;
        i += n;
    }
    return true;
}

}  // namespace

bool occursIn(std::string_view condition, std::string_view field) {
    if (field.empty()) return false;
    for (size_t at = 0; at < field.size(); at += size_t(reg::gbCharLength(field.substr(at))))
        if (field.size() - at >= condition.size() &&
            sameIgnoringAsciiCase(condition, field.substr(at, condition.size())))
            return true;
    return false;
}

bool holds(const Row& row, std::string_view value) {
    switch (row.op) {
        case Homophone:
            return homophoneMatch(row.text, value);
        case NotEqual:
            return value != row.text;
        case AtMost:
            return value <= row.text;
        case AtLeast:
            return value >= row.text;
        case Contains:
            return occursIn(row.text, value);
        case Lacks:
            return !occursIn(row.text, value);
        default:
            return false;
    }
}

reg::Condition chain(reg::RecordStore& store, std::vector<Row> rows) {
    return [&store, rows = std::move(rows)] {
        for (const Row& row : rows)
            if (!holds(row, store.ReadField(row.field))) return false;
        return true;
    };
}

std::string conditionText(bool entryChosen, std::string_view entryText, std::string_view boxText) {
    return reg::withoutBlanks(entryChosen ? entryText.substr(0, 2) : boxText);
}

}  // namespace query

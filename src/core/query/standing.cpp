#include "core/query/standing.h"

#include "core/register/person.h"
#include "core/register/text.h"

namespace query {

bool deregisters(std::string_view changeCode) {
    // Read as the form reads a stored code: the integer part of its leading number.
    const int code = int(reg::leadingNumber(changeCode));
    return (code >= 7 && code <= 11) || code == 13;
}

Standing standingAt(const std::vector<std::string>& values, std::string_view date) {
    const auto field = [&](int pos) -> std::string_view {
        return size_t(pos) <= values.size() ? std::string_view(values[size_t(pos - 1)])
                                            : std::string_view();
    };
    if (!deregisters(field(reg::F户籍变动类型))) return Standing::Registered;
    const std::string_view changed = field(reg::F户籍变动日期);
    // Eight digits compare as dates; anything else is an unknown date, counted as long ago.
    const bool dated =
        changed.size() == 8 && changed.find_first_not_of("0123456789") == std::string_view::npos;
    if (dated && date.size() == 8 && changed > date) return Standing::Registered;
    return Standing::Deregistered;
}

const std::string& standingName(Standing standing) {
    static const std::string registered = reg::toGb(QStringLiteral("在册"));
    static const std::string deregistered = reg::toGb(QStringLiteral("注销"));
    return standing == Standing::Registered ? registered : deregistered;
}

}  // namespace query

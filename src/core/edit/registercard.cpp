#include "core/edit/registercard.h"

#include <algorithm>

#include "core/edit/registerview.h"
#include "core/register/person.h"
#include "core/register/text.h"

namespace maint {

using namespace reg;

QString cardDate(std::string_view stored) {
    bool digits = stored.size() == 8;
    for (char c : stored) digits = digits && c >= '0' && c <= '9';
    if (digits) {
        const auto number = [&](size_t at, size_t n) {
            int v = 0;
            for (size_t i = at; i < at + n; ++i) v = v * 10 + (stored[i] - '0');
            return v;
        };
        const QDate day(number(0, 4), number(4, 2), number(6, 2));
        if (day.isValid() && day.year() > 0)
            return QStringLiteral("%1年%2月%3日").arg(day.year()).arg(day.month()).arg(day.day());
    }
    return fromGb(stored);
}

namespace {

struct Member {
    std::vector<std::string> values;  // the 22 fields
    double serial;
    bool head;
};

CardMember cardOf(const std::vector<std::string>& v) {
    const auto text = [&](int field) { return fromGb(v[size_t(field - 1)]); };
    const auto code = [&](int field) {
        return fromGb(codeToName(*codeTableOf(field), v[size_t(field - 1)]));
    };
    const auto date = [&](int field) { return cardDate(v[size_t(field - 1)]); };
    const auto pair = [](const char* caption, QString value) {
        return std::make_pair(QString::fromUtf8(caption), std::move(value));
    };
    CardMember m;
    m.lines = {
        {pair("姓名", text(F姓名)), pair("与户主关系", code(F与户主关系)),
         pair("性别", code(F性别))},
        {pair("出生日期", date(F出生日期)), pair("民族", code(F民族)),
         pair("受教育程度", code(F受教育程度))},
        {pair("公民身份号码", text(F公民身份号码)), pair("婚姻状况", code(F婚姻类型)),
         pair("婚姻变更日期", date(F婚姻变更日期))},
        {pair("居住类型", code(F居住类型)), pair("户籍登记类型", code(F户籍登记类型)),
         pair("序号", text(F序号))},
        {pair("户籍变动类型", code(F户籍变动类型)), pair("户籍变动日期", date(F户籍变动日期)),
         pair("", QString())},
        {pair("籍贯", text(F籍贯))},
        {pair("工作单位", text(F工作单位))},
        {pair("居住详址", text(F居住详址))},
        {pair("户籍登记详址", text(F户籍登记详址))},
        {pair("迁自迁往何地", text(F迁自迁往何地))},
        {pair("备注", text(F备注))},
    };
    return m;
}

}  // namespace

std::optional<RegisterCard> registerCardFor(RecordStore& store, std::string_view line,
                                            QDate printed) {
    std::vector<int> columns;  // by name, so that a table in another column order still reads
    for (int field = 1; field <= kFieldCount; ++field)
        columns.push_back(store.FieldNumber(fieldName(field)));
    const auto read = [&](int field) {
        const int col = columns[size_t(field - 1)];
        return col ? store.ReadField(col) : std::string();
    };

    // The address of the household: the line itself, or the address of the person it names.
    std::string address(line);
    if (const std::string_view key = keyOf(line); !key.empty()) {
        bool found = false;
        // A walk over every record; the count itself is not wanted.
        static_cast<void>(store.CountMatching([&] {
            if (!found && read(F序号) == key) {
                address = read(F房屋详址);
                found = true;
            }
            return false;
        }));
        if (!found) return std::nullopt;
    }

    std::vector<Member> members;
    static_cast<void>(store.CountMatching([&] {
        if (read(F房屋详址) != address) return false;
        Member m;
        for (int field = 1; field <= kFieldCount; ++field) m.values.push_back(read(field));
        m.serial = leadingNumber(m.values[F序号 - 1]);
        m.head = isHead(m.values[F与户主关系 - 1]);
        members.push_back(std::move(m));
        return false;
    }));
    if (members.empty()) return std::nullopt;
    std::stable_sort(members.begin(), members.end(), [](const Member& a, const Member& b) {
        if (a.head != b.head) return a.head;
        return a.serial < b.serial;
    });

    RegisterCard card;
    card.address = fromGb(address);
    card.hasHead = members.front().head;
    card.headName =
        fromGb(members.front().values[size_t(card.hasHead ? F姓名 - 1 : F户主姓名 - 1)]);
    card.printed = printed;
    for (const Member& m : members) card.members.push_back(cardOf(m.values));
    return card;
}

}  // namespace maint

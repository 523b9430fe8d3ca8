#include "core/edit/health.h"

#include <QDate>
#include <QString>
#include <algorithm>
#include <span>
#include <tuple>

#include "core/query/standing.h"
#include "core/register/person.h"
#include "core/register/text.h"

namespace reg::health {

namespace {

using Values = std::vector<std::string>;

std::string_view field(const Values& v, Field f) {
    const size_t i = size_t(f - 1);
    return i < v.size() ? std::string_view(v[i]) : std::string_view();
}

QString q(std::string_view gbText) {
    return fromGb(gbText);
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

bool allDigits(std::string_view text) {
    return std::all_of(text.begin(), text.end(), isDigit);
}

// Characters, not bytes, so that a Chinese character counts once.
int characterCount(std::string_view text) {
    int n = 0;
    for (size_t i = 0; i < text.size(); i += size_t(gbCharLength(text.substr(i)))) ++n;
    return n;
}

Finding about(Kind kind, const Values& v, const QString& text) {
    return {kind, std::string(field(v, F序号)), std::string(field(v, F房屋详址)),
            std::string(field(v, F姓名)), toGb(text)};
}

// A cleared record keeps 序号, 房屋详址 and 备注; every other field is empty, and a coded one may
// hold "0" or "-1", the two ways of "nothing chosen".
bool isPlaceholder(const Values& v) {
    if (!field(v, F姓名).empty()) return false;  // nearly every record: settled at once
    for (int pos = 1; pos <= kFieldCount; ++pos) {
        if (pos == F序号 || pos == F房屋详址 || pos == F备注) continue;
        const std::string_view value = field(v, Field(pos));
        if (value.empty()) continue;
        if (codeTableOf(pos) && (value == "0" || value == "-1")) continue;
        return false;
    }
    return true;
}

// 1 for a man, 2 for a woman, 0 when 性别 names neither; by the names of the code table, so that
// the parity rule does not hang on the order of the table.
int sexOf(const Values& v) {
    static const std::string male = gb("男"), female = gb("女");
    const std::string name = codeToName(*codeTableOf(F性别), field(v, F性别));
    return name == male ? 1 : name == female ? 2 : 0;
}

// The parts of an identity number: where they start, how long they are, what they are called.
struct Part {
    size_t from, length;
    const char16_t* name;
};
const Part kParts18[] = {{0, 6, u"地区码（第1至6位）"},
                         {6, 8, u"出生日期码（第7至14位）"},
                         {14, 3, u"顺序码（第15至17位）"},
                         {17, 1, u"校验码（第18位）"}};
const Part kParts15[] = {{0, 6, u"地区码（第1至6位）"},
                         {6, 6, u"出生日期码（第7至12位）"},
                         {12, 3, u"顺序码（第13至15位）"}};

void checkIdentity(const Values& v, std::string_view today, std::vector<Finding>& out) {
    const std::string_view id = field(v, F公民身份号码);
    if (id.empty()) return;
    auto say = [&](const QString& text) { out.push_back(about(Kind::IdentityNumber, v, text)); };
    const size_t n = id.size();
    if (n != 15 && n != 18) {
        say(QStringLiteral("公民身份号码应为15位或18位，现为%1位").arg(characterCount(id)));
        return;
    }
    const bool long18 = n == 18;
    // The first character that is no digit; a final X of an 18-digit number is one.
    size_t bad = n;
    for (size_t i = 0; i < n && bad == n; ++i)
        if (!isDigit(id[i]) && !(long18 && i == 17 && id[i] == 'X')) bad = i;
    const std::span<const Part> parts =
        long18 ? std::span<const Part>(kParts18) : std::span<const Part>(kParts15);
    auto clean = [&](const Part& p) { return bad < p.from || bad >= p.from + p.length; };
    if (bad < n) {
        const std::string_view c = id.substr(bad, size_t(gbCharLength(id.substr(bad))));
        const int position = characterCount(id.substr(0, bad)) + 1;
        const Part* part = &parts.front();
        for (const Part& p : parts)
            if (!clean(p)) part = &p;
        const QString partName = QString::fromUtf16(part->name);
        if (long18 && bad == 17 && c == "x")
            say(QStringLiteral("公民身份号码末位的小写x应为大写X"));
        else if ((c[0] >= 'A' && c[0] <= 'Z') || (c[0] >= 'a' && c[0] <= 'z'))
            say(QStringLiteral(
                    "公民身份号码的%1含有字母“%2”（第%3位），只有十八位号码的末位可以是X")
                    .arg(partName, q(c))
                    .arg(position));
        else
            say(QStringLiteral("公民身份号码的%1含有不是数字的字符“%2”（第%3位）")
                    .arg(partName, q(c))
                    .arg(position));
    }

    const Part& datePart = parts[1];
    if (clean(datePart)) {
        const std::string date = (long18 ? std::string() : std::string("19")) +
                                 std::string(id.substr(6, datePart.length));
        const std::string_view birth = field(v, F出生日期);
        if (!isCalendarDate(date))
            say(QStringLiteral("公民身份号码中的出生日期%1不是有效的日期").arg(q(date)));
        else if (date > today)
            say(QStringLiteral("公民身份号码中的出生日期%1晚于今天").arg(q(date)));
        else if (!birth.empty() && birth != date)
            say(QStringLiteral("公民身份号码中的出生日期%1与出生日期%2不同")
                    .arg(q(date), q(birth)));
    }

    const Part& sequence = parts[2];
    const int sex = sexOf(v);
    if (clean(sequence) && sex != 0) {
        const size_t last = sequence.from + sequence.length - 1;
        const bool odd = (id[last] - '0') % 2 == 1;
        if (odd != (sex == 1))
            say(QStringLiteral("公民身份号码第%1位是%2数，表示%3性，与性别“%4”不符")
                    .arg(int(last) + 1)
                    .arg(odd ? QStringLiteral("奇") : QStringLiteral("偶"),
                         odd ? QStringLiteral("男") : QStringLiteral("女"),
                         sex == 1 ? QStringLiteral("男") : QStringLiteral("女")));
    }

    if (long18 && (bad == n || (bad == 17 && id[17] == 'x'))) {
        const char expected = identityCheckCharacter(id.substr(0, 17));
        const char actual = id[17] == 'x' ? 'X' : id[17];
        if (actual != expected)
            say(QStringLiteral(
                    "公民身份号码的校验码（第18位）应为“%1”，现为“%2”，号码中可能有输错的数字")
                    .arg(QChar(expected))
                    .arg(QChar(actual)));
    }
}

// The dates of a record: which field, whether it may be empty, whether it may come before birth.
struct DateRule {
    Field field;
    bool optional;
    bool afterBirth;
};
const DateRule kDateRules[] = {
    {F出生日期, false, false},
    {F婚姻变更日期, true, true},
    {F户籍变动日期, true, true},
};

void checkDates(const Values& v, std::string_view today, std::vector<Finding>& out) {
    const std::string_view birth = field(v, F出生日期);
    for (const DateRule& rule : kDateRules) {
        const std::string_view date = field(v, rule.field);
        auto say = [&](const QString& text) { out.push_back(about(Kind::Date, v, text)); };
        auto label = [&] { return fromGb(fieldName(rule.field)); };
        if (date.empty()) {
            if (!rule.optional) say(QStringLiteral("%1为空").arg(label()));
        } else if (!isCalendarDate(date)) {
            say(QStringLiteral("%1“%2”不是有效的日期（应为年＋月＋日八位数字）")
                    .arg(label(), q(date)));
        } else if (date > today) {
            say(QStringLiteral("%1%2晚于今天").arg(label(), q(date)));
        } else if (rule.afterBirth && isCalendarDate(birth) && date < birth) {
            say(QStringLiteral("%1%2早于出生日期%3").arg(label(), q(date), q(birth)));
        }
    }
}

// The checks of one record alone, in the order their findings are listed.
using RecordCheckFn = void (*)(const Values&, std::string_view, std::vector<Finding>&);
const RecordCheckFn kRecordChecks[] = {checkIdentity, checkDates};

const QString kPlaceholderText =
    QStringLiteral("已清空的记录，只保留序号、房屋详址和备注，不计为人员");

}  // namespace

const std::string& kindName(Kind kind) {
    static const std::array<std::string, kKindCount> names = {
        gb("身份号码"), gb("日期"), gb("重复登记"), gb("户主与户"), gb("空记录")};
    return names[size_t(kind)];
}

std::string today() {
    return QDate::currentDate().toString(QStringLiteral("yyyyMMdd")).toStdString();
}

bool isCalendarDate(std::string_view text) {
    if (text.size() != 8 || !allDigits(text)) return false;
    auto number = [&](size_t from, size_t length) {
        int n = 0;
        for (size_t i = from; i < from + length; ++i) n = n * 10 + (text[i] - '0');
        return n;
    };
    return QDate::isValid(number(0, 4), number(4, 2), number(6, 2));
}

// Written out here: it is a weighted sum of 17 digits, and no packaged C++ library carries it.
char identityCheckCharacter(std::string_view first17) {
    static const int weights[17] = {7, 9, 10, 5, 8, 4, 2, 1, 6, 3, 7, 9, 10, 5, 8, 4, 2};
    if (first17.size() != 17 || !allDigits(first17)) return 0;
    int sum = 0;
    for (size_t i = 0; i < 17; ++i) sum += (first17[i] - '0') * weights[i];
    return "10X98765432"[sum % 11];
}

std::vector<Finding> checkRecord(const Values& values, std::string_view today) {
    std::vector<Finding> out;
    if (isPlaceholder(values)) {
        out.push_back(about(Kind::Placeholder, values, kPlaceholderText));
        return out;
    }
    for (RecordCheckFn check : kRecordChecks) check(values, today, out);
    return out;
}

std::string findingLines(const std::vector<Finding>& findings) {
    std::string lines;
    for (const Finding& f : findings) {
        if (!lines.empty()) lines += "\r\n";
        lines += f.text;
    }
    return lines;
}

std::array<long, kKindCount> countByKind(const std::vector<Finding>& findings) {
    std::array<long, kKindCount> counts{};
    for (const Finding& f : findings) ++counts[size_t(f.kind)];
    return counts;
}

// ---- The whole register ----

namespace {

// What the checks across records need of one record.
// The texts point into the check's Texts, which keeps them as long as the check lives.
struct Entry {
    std::string_view serial, address, name, head, relation, birth, id;
    double key = 0;  // numeric 序号
    bool placeholder = false;
    bool deregistered = false;  // 注销 today: moved away or died
};

// Texts copied into large blocks that never move: one allocation per megabyte instead of one
// per text, at 100,000 records several hundred thousand fewer.
class Texts {
  public:
    std::string_view keep(std::string_view text) {
        if (text.empty()) return {};
        if (blocks_.empty() || used_ + text.size() > kBlock) {
            blocks_.push_back(std::make_unique<char[]>(std::max(kBlock, text.size())));
            used_ = 0;
        }
        char* at = blocks_.back().get() + used_;
        std::copy(text.begin(), text.end(), at);
        used_ += text.size();
        return {at, text.size()};
    }

  private:
    static constexpr size_t kBlock = 1 << 20;
    std::vector<std::unique_ptr<char[]>> blocks_;
    size_t used_ = 0;
};

// "序号12（张三）、序号15（李四）等5条": the other records of a group, at most three named.
QString others(const std::vector<Entry>& entries, std::span<const size_t> group, size_t self) {
    QStringList named;
    for (size_t i : group) {
        if (i == self) continue;
        if (named.size() == 3) {
            return named.join(QStringLiteral("、")) +
                   QStringLiteral("等%1条").arg(qsizetype(group.size()) - 1);
        }
        const Entry& e = entries[i];
        named << QStringLiteral("序号%1（%2）").arg(q(e.serial), q(e.name));
    }
    return named.join(QStringLiteral("、"));
}

// Calls `visit(group)` for every set of `items` (records in serial order) that are equal by
// `less`, members in serial order. Groups are found by sorting their hashes, a sort of integers:
// at 100,000 records sorting the texts themselves, or hash tables of small vectors, cost several
// times more. Equal hashes of unequal texts are split apart again.
template <class Hash, class Less, class Visit>
void forEachGroup(const std::vector<size_t>& items, Hash hash, Less less, Visit visit) {
    std::vector<std::pair<size_t, size_t>> keyed;  // hash, place in `items`
    keyed.reserve(items.size());
    for (size_t k = 0; k < items.size(); ++k) keyed.emplace_back(hash(items[k]), k);
    std::sort(keyed.begin(), keyed.end());
    std::vector<size_t> run;
    for (size_t from = 0, to = 0; from < keyed.size(); from = to) {
        run.clear();
        for (to = from; to < keyed.size() && keyed[to].first == keyed[from].first; ++to)
            run.push_back(items[keyed[to].second]);
        if (run.size() > 1) std::stable_sort(run.begin(), run.end(), less);
        for (size_t a = 0, b = 0; a < run.size(); a = b) {
            for (b = a + 1; b < run.size() && !less(run[a], run[b]);) ++b;
            visit(std::span<const size_t>(run).subspan(a, b - a));
        }
    }
}

size_t hashOf(std::string_view text) {
    return std::hash<std::string_view>()(text);
}

}  // namespace

struct RegisterCheck::State {
    std::string today;
    Texts texts;
    std::vector<Entry> entries;
    // Each finding with the record it is about.
    std::vector<std::pair<size_t, Finding>> findings;

    void note(size_t record, Kind kind, const QString& text, bool named = true) {
        const Entry& e = entries[record];
        findings.push_back(
            {record, Finding{kind, std::string(e.serial), std::string(e.address),
                             std::string(named ? e.name : std::string_view()), toGb(text)}});
    }

    // `order`: the records in serial order; `rank`: each record's place in it.
    void checkSplitAddress(std::span<const size_t> household, const std::vector<size_t>& order,
                           const std::vector<size_t>& rank);
    void checkHousehold(std::span<const size_t> household);
    void checkDuplicates(const std::vector<size_t>& order);
};

RegisterCheck::RegisterCheck(std::string today) : state_(std::make_unique<State>()) {
    state_->today = std::move(today);
}

RegisterCheck::~RegisterCheck() = default;

long RegisterCheck::records() const {
    return long(state_->entries.size());
}

void RegisterCheck::add(const Values& values) {
    State& s = *state_;
    const size_t record = s.entries.size();
    Entry e;
    e.serial = s.texts.keep(field(values, F序号));
    e.address = s.texts.keep(field(values, F房屋详址));
    e.name = s.texts.keep(field(values, F姓名));
    e.head = s.texts.keep(field(values, F户主姓名));
    e.relation = s.texts.keep(field(values, F与户主关系));
    e.birth = s.texts.keep(field(values, F出生日期));
    // One number whatever the case of its final X.
    std::string id(field(values, F公民身份号码));
    if (!id.empty() && id.back() == 'x') id.back() = 'X';
    e.id = s.texts.keep(id);
    e.key = leadingNumber(e.serial);
    e.placeholder = isPlaceholder(values);
    e.deregistered = query::standingAt(values, s.today) == query::Standing::Deregistered;
    s.entries.push_back(std::move(e));
    for (Finding& f : checkRecord(values, s.today)) s.findings.emplace_back(record, std::move(f));
}

// The tree starts a new address node whenever 房屋详址 differs from that of the record before it
// in serial order; an address whose records are interrupted shows up more than once. The
// household's records come in serial order: a gap in their ranks is an interruption.
void RegisterCheck::State::checkSplitAddress(std::span<const size_t> household,
                                             const std::vector<size_t>& order,
                                             const std::vector<size_t>& rank) {
    for (size_t k = 1; k < household.size(); ++k) {
        const size_t before = rank[household[k - 1]];
        if (rank[household[k]] == before + 1) continue;
        const Entry& between = entries[order[before + 1]];
        note(household[k], Kind::Household,
             QStringLiteral("本户的序号不连续：序号%1起是其他房屋详址“%2”的记录，"
                            "左侧列表中本户出现多处，须调整序号后才能添加或修改本户人员")
                 .arg(q(between.serial), q(between.address)),
             false);
    }
}

// One address's records in serial order; placeholders keep the address but are nobody.
void RegisterCheck::State::checkHousehold(std::span<const size_t> household) {
    std::vector<size_t> members, heads;
    for (size_t i : household) {
        if (entries[i].placeholder) continue;
        members.push_back(i);
        if (isHead(entries[i].relation)) heads.push_back(i);
    }
    if (members.empty()) return;
    if (heads.empty()) {
        note(members.front(), Kind::Household,
             QStringLiteral("本户没有户主：没有一条与户主关系为“本人”的记录"), false);
        return;
    }
    const Entry& first = entries[heads.front()];
    for (size_t h : heads) {
        const Entry& head = entries[h];
        if (h != heads.front())
            note(h, Kind::Household,
                 QStringLiteral("本户另有户主%1（序号%2），一户只能有一名户主")
                     .arg(q(first.name), q(first.serial)));
        if (head.head != head.name)
            note(h, Kind::Household,
                 QStringLiteral("户主的户主姓名“%1”与本人姓名不同").arg(q(head.head)));
    }
    // A head who moved away or died still heads the persons who stay: they need a new head.
    const bool anyRegistered = std::any_of(members.begin(), members.end(),
                                           [&](size_t m) { return !entries[m].deregistered; });
    if (anyRegistered)
        for (size_t h : heads)
            if (entries[h].deregistered)
                note(h, Kind::Household,
                     QStringLiteral("户主已注销（迁出或死亡），本户仍有在册人员，须变更户主"));
    for (size_t m : members) {
        if (isHead(entries[m].relation)) continue;
        const bool named = std::any_of(heads.begin(), heads.end(), [&](size_t h) {
            return entries[h].name == entries[m].head;
        });
        if (!named)
            note(m, Kind::Household,
                 QStringLiteral("户主姓名“%1”与本户户主%2的姓名不同")
                     .arg(q(entries[m].head), q(first.name)));
    }
}

void RegisterCheck::State::checkDuplicates(const std::vector<size_t>& order) {
    std::vector<size_t> withId, named;
    for (size_t i : order) {
        if (entries[i].placeholder) continue;
        if (!entries[i].id.empty()) withId.push_back(i);
        if (!entries[i].name.empty()) named.push_back(i);
    }
    forEachGroup(
        withId, [&](size_t i) { return hashOf(entries[i].id); },
        [&](size_t a, size_t b) { return entries[a].id < entries[b].id; },
        [&](std::span<const size_t> group) {
            if (group.size() < 2) return;
            for (size_t i : group)
                note(i, Kind::Duplicate,
                     QStringLiteral("公民身份号码与%1的记录相同").arg(others(entries, group, i)));
        });
    forEachGroup(
        named,
        [&](size_t i) {
            const Entry& e = entries[i];
            return hashOf(e.address) ^ (hashOf(e.name) * 31) ^ (hashOf(e.birth) * 961);
        },
        [&](size_t a, size_t b) {
            const Entry &x = entries[a], &y = entries[b];
            return std::tie(x.address, x.name, x.birth) < std::tie(y.address, y.name, y.birth);
        },
        [&](std::span<const size_t> group) {
            if (group.size() < 2) return;
            for (size_t i : group)
                note(i, Kind::Duplicate,
                     QStringLiteral("同一房屋详址下，%1的姓名和出生日期与本记录相同，可能重复登记")
                         .arg(others(entries, group, i)));
        });
}

std::vector<Finding> RegisterCheck::finish() {
    State& s = *state_;
    // Serial order as the register keeps it: by the numeric 序号, equal ones as they came.
    std::vector<size_t> order(s.entries.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(),
                     [&](size_t a, size_t b) { return s.entries[a].key < s.entries[b].key; });
    std::vector<size_t> rank(order.size());
    for (size_t k = 0; k < order.size(); ++k) rank[order[k]] = k;

    forEachGroup(
        order, [&](size_t i) { return hashOf(s.entries[i].address); },
        [&](size_t a, size_t b) { return s.entries[a].address < s.entries[b].address; },
        [&](std::span<const size_t> household) {
            s.checkSplitAddress(household, order, rank);
            s.checkHousehold(household);
        });
    s.checkDuplicates(order);

    std::stable_sort(s.findings.begin(), s.findings.end(), [&](const auto& a, const auto& b) {
        const bool pa = a.second.kind == Kind::Placeholder, pb = b.second.kind == Kind::Placeholder;
        if (pa != pb) return pb;
        return rank[a.first] < rank[b.first];
    });
    std::vector<Finding> out;
    out.reserve(s.findings.size());
    for (auto& [record, f] : s.findings) out.push_back(std::move(f));
    s.findings.clear();
    s.entries.clear();
    return out;
}

}  // namespace reg::health

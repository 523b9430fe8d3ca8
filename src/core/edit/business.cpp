#include "core/edit/business.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <set>

#include "core/edit/rules.h"
#include "core/query/standing.h"
#include "core/register/person.h"
#include "core/register/text.h"

namespace edit {

using namespace reg;

namespace {

// The relation codes, as the table below names them.
enum : int {
    kSelf = 1,
    kSpouse,
    kChild,
    kGrandchild,
    kParent,
    kGrandparent,
    kChildInLaw,
    kHusbandsParent,  // 公爹公婆
    kWifesParent,     // 岳父岳母
    kSibling,
    kOther
};

constexpr RelationProposal sure(int code) {
    return {code, false};
}
constexpr RelationProposal check(int code) {
    return {code, true};
}

// The codes alone: rows the new head's relation to the old head, columns the member's. A member
// the rule cannot place for sure is marked; a pair with no rule answers 其他 to check.
RelationProposal byCodes(int m, int h) {
    if (h == kSelf) return sure(m);
    switch (h) {
        case kSpouse:
            switch (m) {
                case kSelf:
                    return sure(kSpouse);
                case kChild:
                    return sure(kChild);
                case kGrandchild:
                    return sure(kGrandchild);
                case kChildInLaw:
                    return sure(kChildInLaw);
                // Which of the two depends on the new head's sex.
                case kParent:
                    return check(kHusbandsParent);
                case kHusbandsParent:
                case kWifesParent:
                    return sure(kParent);
            }
            break;
        case kChild:
            switch (m) {
                case kSelf:
                case kSpouse:
                    return sure(kParent);
                case kChild:
                    return sure(kSibling);
                // The new head's child or a nephew.
                case kGrandchild:
                    return check(kChild);
                case kParent:
                    return sure(kGrandparent);
                // The new head's spouse, or a sibling's.
                case kChildInLaw:
                    return check(kSpouse);
                // The spouse's parents: grandparents unless the new head is a step-child.
                case kHusbandsParent:
                case kWifesParent:
                    return check(kGrandparent);
            }
            break;
        case kGrandchild:
            switch (m) {
                case kSelf:
                case kSpouse:
                    return sure(kGrandparent);
                case kChild:
                case kChildInLaw:
                    return check(kParent);
                case kGrandchild:
                    return check(kSibling);
            }
            break;
        case kParent:
            switch (m) {
                case kSelf:
                    return sure(kChild);
                case kSpouse:
                    return sure(kChildInLaw);
                case kChild:
                    return sure(kGrandchild);
                case kParent:
                    return check(kSpouse);
                case kGrandparent:
                    return check(kParent);
                case kSibling:
                    return check(kChild);
            }
            break;
        case kGrandparent:
            switch (m) {
                case kSelf:
                    return sure(kGrandchild);
                case kParent:
                    return check(kChild);
                case kGrandparent:
                    return check(kSpouse);
                case kSibling:
                    return check(kGrandchild);
            }
            break;
        case kChildInLaw:
            switch (m) {
                // Which of the two depends on the new head's sex.
                case kSelf:
                case kSpouse:
                    return check(kHusbandsParent);
                case kChild:
                    return check(kSpouse);
                case kGrandchild:
                    return check(kChild);
            }
            break;
        case kHusbandsParent:
        case kWifesParent:
            switch (m) {
                case kSelf:
                    return sure(kChildInLaw);
                case kSpouse:
                    return sure(kChild);
                case kChild:
                    return sure(kGrandchild);
                case kHusbandsParent:
                case kWifesParent:
                    return check(kSpouse);
            }
            break;
        case kSibling:
            switch (m) {
                case kSelf:
                    return sure(kSibling);
                case kParent:
                    return check(kParent);
                case kGrandparent:
                    return check(kGrandparent);
                case kSibling:
                    return check(kSibling);
            }
            break;
    }
    return check(kOther);
}

const char* const kNames[kBusinessCount] = {"出生登记", "迁入登记", "迁出注销", "死亡注销",
                                            "变更户主", "分户",     "并入他户"};

int code(std::string_view stored) {
    return int(leadingNumber(stored));
}

std::string& at(std::vector<std::string>& values, int field) {
    return values[size_t(field - 1)];
}
const std::string& at(const std::vector<std::string>& values, int field) {
    return values[size_t(field - 1)];
}

// What plan reads of the whole register in one pass: every record's 序号 and 房屋详址, and the
// full values of the households it names.
struct Snapshot {
    struct Row {
        double key;
        std::string serial, address;
        long number;
    };
    std::vector<Row> rows;
    std::set<std::string> addresses;

    explicit Snapshot(RecordStore& store) {
        rows.reserve(size_t(store.RecordCount()));
        for (long n = 1; n <= store.RecordCount(); ++n) {
            store.GoTo(n);
            if (store.IsDeleted()) continue;
            Row r{0, store.ReadField(F序号), store.ReadField(F房屋详址), n};
            r.key = leadingNumber(r.serial);
            addresses.insert(r.address);
            rows.push_back(std::move(r));
        }
    }
    bool inUse(const std::string& address) const { return addresses.count(address) != 0; }
    // The members of `address` in 序号 order.
    std::vector<std::vector<std::string>> household(RecordStore& store,
                                                    std::string_view address) const {
        std::vector<std::pair<double, long>> found;
        for (const Row& r : rows)
            if (r.address == address) found.emplace_back(r.key, r.number);
        std::stable_sort(found.begin(), found.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        std::vector<std::vector<std::string>> out;
        for (const auto& [key, number] : found) {
            store.GoTo(number);
            std::vector<std::string> values;
            for (int pos = 1; pos <= kFieldCount; ++pos) values.push_back(store.ReadField(pos));
            out.push_back(std::move(values));
        }
        return out;
    }
    std::vector<std::string> freeSerials(std::string_view address, int count) const;
};

// `k` / 10^digits as the serial rule reads it.
std::string decimalText(long long k, int digits) {
    std::string text = std::to_string(k);
    if (digits == 0) return text;
    if (int(text.size()) <= digits) text.insert(0, size_t(digits + 1 - int(text.size())), '0');
    text.insert(text.size() - size_t(digits), ".");
    return text;
}

std::vector<std::string> Snapshot::freeSerials(std::string_view address, int count) const {
    std::vector<std::string> out;
    if (count <= 0) return out;
    double last = 0, maxAll = 0;
    bool member = false;
    for (const Row& r : rows) {
        maxAll = std::max(maxAll, r.key);
        if (r.address == address && (!member || r.key > last)) {
            last = r.key;
            member = true;
        }
    }
    // After every record: whole numbers.
    std::optional<double> next;
    if (member)
        for (const Row& r : rows)
            if (r.address != address && r.key > last && (!next || r.key < *next)) next = r.key;
    if (!member || !next) {
        const long long first = (long long)std::floor((member ? last : maxAll) + 1e-9) + 1;
        for (int i = 0; i < count; ++i) out.push_back(std::to_string(first + i));
        return out;
    }
    // Between the household's last and the next one's first: as few decimals as leave room,
    // in the middle of the gap (12 and 13 give 12.5), never a text like 12.0 that reads as 12.
    for (int digits = 0; digits <= 6; ++digits) {
        const double scale = std::pow(10.0, digits);
        const long long lo = (long long)std::floor(last * scale + 1e-6) + 1;
        const long long hi = (long long)std::ceil(*next * scale - 1e-6) - 1;
        if (hi < lo) continue;
        std::vector<long long> room;
        for (long long k = lo; k <= hi && room.size() < 100000; ++k)
            if (digits == 0 || k % 10 != 0) room.push_back(k);
        if (room.size() < size_t(count)) continue;
        const size_t start = digits == 0 ? 0 : (room.size() - size_t(count)) / 2;
        for (int i = 0; i < count; ++i) out.push_back(decimalText(room[start + size_t(i)], digits));
        // The field holds 12 bytes; longer ones have no room at all.
        if (out.back().size() > size_t(fieldDefs()[F序号 - 1].width)) out.clear();
        return out;
    }
    return out;
}

std::string message(const char* utf8) {
    return gb(utf8);
}
std::string message(const char* utf8, const std::string& arg) {
    return toGb(QString::fromUtf8(utf8).arg(fromGb(arg)));
}

Planned refuse(std::string why) {
    Planned p;
    p.refusal = std::move(why);
    return p;
}

bool isChange(int kind, int from, int to) {
    return kind >= from && kind <= to;
}

// The facts of a household that settle what the codes leave open.
RelationContext contextOf(const std::vector<std::vector<std::string>>& members,
                          const std::vector<std::string>& newHead) {
    RelationContext c;
    c.newHeadSex = code(at(newHead, F性别));
    for (const auto& m : members) {
        c.children += code(at(m, F与户主关系)) == kChild;
        c.childrenInLaw += code(at(m, F与户主关系)) == kChildInLaw;
    }
    return c;
}

// The planner's work space: the household the business starts from, and what it changes.
struct Planner {
    RecordStore& store;
    const Request& request;
    std::string_view today;
    Snapshot snapshot;
    std::vector<std::vector<std::string>> members;  // the household, in 序号 order
    int head = -1;                                  // its head among members
    // The records changed, by their index in members; new records apart.
    std::map<int, PlannedRecord> changed;
    std::vector<PlannedRecord> added;

    Planner(RecordStore& s, const Request& r, std::string_view t)
        : store(s), request(r), today(t), snapshot(s) {}

    PlannedRecord& change(int i) {
        auto it = changed.find(i);
        if (it == changed.end())
            it =
                changed.emplace(i, PlannedRecord{members[size_t(i)], members[size_t(i)], {}}).first;
        return it->second;
    }
    const std::vector<std::string>& now(int i) {
        auto it = changed.find(i);
        return it == changed.end() ? members[size_t(i)] : it->second.after;
    }

    std::optional<std::string> load() {
        members = snapshot.household(store, request.household);
        if (members.empty())
            return message("户籍数据中没有房屋详址为“%1”的户！", request.household);
        for (size_t i = 0; i < members.size(); ++i)
            if (isHead(at(members[i], F与户主关系))) head = int(i);
        if (head < 0) return message("此户无户主或户主信息存在逻辑错误！请正确设定户主！");
        return std::nullopt;
    }
    const std::string& headName() const { return at(members[size_t(head)], F姓名); }

    // The member with 序号 `serial`, or -1.
    int find(const std::string& serial) const {
        for (size_t i = 0; i < members.size(); ++i)
            if (at(members[i], F序号) == serial) return int(i);
        return -1;
    }
    bool registered(int i, std::string_view date) const {
        return query::standingAt(members[size_t(i)], date) == query::Standing::Registered;
    }

    std::optional<std::string> checkDate() const {
        if (!maint::isEightDigitDate(request.date))
            return message("请正确输入日期！即年＋月＋日形成的八位数字！");
        if (!today.empty() && request.date > today) return message("日期不能晚于今天！");
        return std::nullopt;
    }

    // The chosen members, each once, in 序号 order.
    std::optional<std::string> chosen(std::vector<int>& out) const {
        if (request.members.empty()) return message("请选择要办理的人员！");
        std::set<int> seen;
        for (const std::string& serial : request.members) {
            const int i = find(serial);
            if (i < 0) return message("序号%1不在此户中！", serial);
            seen.insert(i);
        }
        out.assign(seen.begin(), seen.end());
        return std::nullopt;
    }

    // Every member of `group` re-expressed relative to `newHead` (one of them), with the head's
    // name: what 变更户主 does, and what the staying part of a household gets when its head
    // leaves. A member deregistered stays a record of the household and is re-expressed too.
    void rehead(const std::vector<int>& group, int newHead) {
        std::vector<std::vector<std::string>> people;
        for (int i : group) people.push_back(members[size_t(i)]);
        const int h = code(at(members[size_t(newHead)], F与户主关系));
        const RelationContext context = contextOf(people, members[size_t(newHead)]);
        const std::string& name = at(members[size_t(newHead)], F姓名);
        for (int i : group) {
            PlannedRecord& r = change(i);
            at(r.after, F户主姓名) = name;
            RelationProposal p{kSelf, false};
            if (i != newHead) p = reexpress(code(at(members[size_t(i)], F与户主关系)), h, context);
            at(r.after, F与户主关系) = std::to_string(p.code);
            if (p.check) r.toCheck.push_back(F与户主关系);
        }
    }

    // When the head is among `leaving` and registered members stay, `newHead` (序号) must name
    // one of those who stay; the rest of the household is then re-expressed relative to it.
    std::optional<std::string> keepHousehold(const std::vector<int>& leaving,
                                             const std::string& newHead, bool leaversStay) {
        const std::set<int> gone(leaving.begin(), leaving.end());
        if (!gone.count(head)) return std::nullopt;
        bool anyStays = false;
        for (size_t i = 0; i < members.size(); ++i)
            anyStays = anyStays || (!gone.count(int(i)) && registered(int(i), request.date));
        if (!anyStays) return std::nullopt;
        if (newHead.empty()) return message("户主离开后此户还有其他成员，请选择新户主！");
        const int chosenHead = find(newHead);
        if (chosenHead < 0 || gone.count(chosenHead) || !registered(chosenHead, request.date))
            return message("新户主应是此户留下的在册成员！");
        std::vector<int> group;
        for (size_t i = 0; i < members.size(); ++i)
            if (leaversStay || !gone.count(int(i))) group.push_back(int(i));
        rehead(group, chosenHead);
        return std::nullopt;
    }

    // Empty fields of a newcomer to this household proposed from its head.
    void fromHead(std::vector<std::string>& values) const {
        const auto& h = members[size_t(head)];
        at(values, F房屋详址) = request.household;
        for (int f : {F居住类型, F居住详址, F户主姓名, F户籍登记类型, F户籍登记详址, F籍贯, F民族})
            if (at(values, f).empty() || (codeTableOf(f) && code(at(values, f)) <= 0))
                at(values, f) = at(h, f);
    }

    Planned birth();
    Planned moveIn();
    Planned leave(bool death);
    Planned changeHead();
    Planned split();
    Planned join();
    Planned finish(const std::string& titleName);
};

std::vector<std::string> newcomer(const std::vector<std::string>& typed) {
    std::vector<std::string> v = typed;
    v.resize(kFieldCount);
    return v;
}

Planned Planner::birth() {
    if (auto why = load()) return refuse(*why);
    if (request.newcomers.size() != 1) return refuse(message("出生登记只登记一名新生儿！"));
    std::vector<std::string> baby = newcomer(request.newcomers.front());
    if (at(baby, F出生日期).empty()) at(baby, F出生日期) = request.date;
    const std::string born = at(baby, F出生日期);
    if (!maint::isEightDigitDate(born))
        return refuse(message("请正确输入出生日期！即年＋月＋日形成的八位数字！"));
    if (!today.empty() && born > today) return refuse(message("出生日期不能晚于今天！"));
    fromHead(baby);
    PlannedRecord r;
    if (code(at(baby, F与户主关系)) <= 0) {
        RelationProposal p = check(kChild);
        if (!request.members.empty()) {
            const int parent = find(request.members.front());
            if (parent < 0) return refuse(message("序号%1不在此户中！", request.members.front()));
            p = childRelation(code(at(members[size_t(parent)], F与户主关系)));
        }
        at(baby, F与户主关系) = std::to_string(p.code);
        if (p.check) r.toCheck.push_back(F与户主关系);
    }
    if (at(baby, F序号).empty()) at(baby, F序号) = snapshot.freeSerials(request.household, 1)[0];
    at(baby, F户籍变动类型) = "12";
    at(baby, F户籍变动日期) = born;
    r.after = std::move(baby);
    added.push_back(std::move(r));
    return finish(headName());
}

Planned Planner::moveIn() {
    if (auto why = checkDate()) return refuse(*why);
    const int kind = code(request.kind);
    if (!isChange(kind, 1, 6)) return refuse(message("请选择迁入类型！"));
    if (request.place.empty()) return refuse(message("请输入迁自何地！"));
    if (request.newcomers.empty()) return refuse(message("请输入迁入人员！"));
    std::vector<std::vector<std::string>> people;
    for (const auto& typed : request.newcomers) people.push_back(newcomer(typed));
    std::vector<std::vector<int>> checks(people.size());
    std::string address, title;
    if (!request.household.empty()) {
        if (auto why = load()) return refuse(*why);
        address = request.household;
        title = headName();
        for (size_t i = 0; i < people.size(); ++i) {
            fromHead(people[i]);
            // The register cannot know how a newcomer is related to the head.
            if (code(at(people[i], F与户主关系)) <= 0) {
                at(people[i], F与户主关系) = std::to_string(kOther);
                checks[i].push_back(F与户主关系);
            }
        }
    } else {
        address = request.target;
        if (address.empty() || address.find(':') != std::string::npos)
            return refuse(message("请正确输入房屋详址！房屋详址中不能包含英文符号中的冒号！"));
        if (snapshot.inUse(address))
            return refuse(message("房屋详址“%1”已有人居住！请另选房屋详址！", address));
        int newHead = -1;
        for (size_t i = 0; i < people.size(); ++i)
            if (code(at(people[i], F与户主关系)) == kSelf) {
                if (newHead >= 0) return refuse(message("新户只能有一名户主！"));
                newHead = int(i);
            }
        if (newHead < 0 && people.size() == 1) {
            newHead = 0;
            at(people[0], F与户主关系) = "1";
        }
        if (newHead < 0) return refuse(message("新户须有一名户主（与户主关系为本人）！"));
        title = at(people[size_t(newHead)], F姓名);
        for (size_t i = 0; i < people.size(); ++i) {
            at(people[i], F房屋详址) = address;
            if (at(people[i], F居住详址).empty()) at(people[i], F居住详址) = address;
            at(people[i], F户主姓名) = title;
            if (code(at(people[i], F与户主关系)) <= 0) {
                at(people[i], F与户主关系) = std::to_string(kOther);
                checks[i].push_back(F与户主关系);
            }
        }
    }
    int unnumbered = 0;
    for (const auto& p : people) unnumbered += at(p, F序号).empty();
    const std::vector<std::string> serials = snapshot.freeSerials(address, unnumbered);
    size_t next = 0;
    for (size_t i = 0; i < people.size(); ++i) {
        if (at(people[i], F序号).empty() && next < serials.size())
            at(people[i], F序号) = serials[next++];
        at(people[i], F户籍变动类型) = std::to_string(kind);
        at(people[i], F户籍变动日期) = request.date;
        at(people[i], F迁自迁往何地) = request.place;
        added.push_back({{}, std::move(people[i]), std::move(checks[i])});
    }
    return finish(title);
}

Planned Planner::leave(bool death) {
    if (auto why = load()) return refuse(*why);
    if (auto why = checkDate()) return refuse(*why);
    const int kind = death ? 13 : code(request.kind);
    if (!death && !isChange(kind, 7, 11)) return refuse(message("请选择迁出类型！"));
    if (!death && request.place.empty()) return refuse(message("请输入迁往何地！"));
    std::vector<int> leaving;
    if (auto why = chosen(leaving)) return refuse(*why);
    for (int i : leaving) {
        const auto& m = members[size_t(i)];
        if (!registered(i, request.date))
            return refuse(message("%1已经注销，不能再办理！", at(m, F姓名)));
        if (maint::isEightDigitDate(at(m, F出生日期)) && request.date < at(m, F出生日期))
            return refuse(message("%1：日期早于出生日期！", at(m, F姓名)));
    }
    // The records stay in the register, and with them the household's shape.
    if (auto why = keepHousehold(leaving, request.newHead, true)) return refuse(*why);
    for (int i : leaving) {
        PlannedRecord& r = change(i);
        at(r.after, F户籍变动类型) = std::to_string(kind);
        at(r.after, F户籍变动日期) = request.date;
        if (!death) at(r.after, F迁自迁往何地) = request.place;
    }
    return finish(headName());
}

Planned Planner::changeHead() {
    if (auto why = load()) return refuse(*why);
    const int newHead = find(request.newHead);
    if (newHead < 0) return refuse(message("请在此户中选择新户主！"));
    if (newHead == head) return refuse(message("所选的人已是户主！"));
    if (!registered(newHead, today.empty() ? std::string_view("99991231") : today))
        return refuse(message("%1已经注销，不能做户主！", at(members[size_t(newHead)], F姓名)));
    std::vector<int> all;
    for (size_t i = 0; i < members.size(); ++i) all.push_back(int(i));
    rehead(all, newHead);
    return finish(headName());
}

Planned Planner::split() {
    if (auto why = load()) return refuse(*why);
    if (auto why = checkDate()) return refuse(*why);
    std::vector<int> leaving;
    if (auto why = chosen(leaving)) return refuse(*why);
    const std::string& target = request.target;
    if (target.empty() || target.find(':') != std::string::npos)
        return refuse(message("请正确输入房屋详址！房屋详址中不能包含英文符号中的冒号！"));
    if (snapshot.inUse(target))
        return refuse(message("房屋详址“%1”已有人居住！请另选房屋详址！", target));
    const int newHead = find(request.newHead);
    if (newHead < 0 || std::find(leaving.begin(), leaving.end(), newHead) == leaving.end())
        return refuse(message("请在分出的人员中选择新户的户主！"));
    for (int i : leaving)
        if (!registered(i, request.date))
            return refuse(message("%1已经注销，不能分户！", at(members[size_t(i)], F姓名)));
    if (auto why = keepHousehold(leaving, request.remainingHead, false)) return refuse(*why);
    rehead(leaving, newHead);
    // Right after the old household: the records then stay where they stand in the register,
    // and the new household beside its old one; after every record when there is no room.
    std::vector<std::string> serials = snapshot.freeSerials(request.household, int(leaving.size()));
    if (serials.size() != leaving.size())
        serials = snapshot.freeSerials(target, int(leaving.size()));
    for (size_t n = 0; n < leaving.size(); ++n) {
        PlannedRecord& r = change(leaving[n]);
        // A residence that was the old house moves with the household.
        if (at(r.after, F居住详址) == request.household) at(r.after, F居住详址) = target;
        at(r.after, F房屋详址) = target;
        at(r.after, F序号) = serials[n];
        at(r.after, F户籍变动类型) = "1";
        at(r.after, F户籍变动日期) = request.date;
    }
    return finish(headName());
}

Planned Planner::join() {
    if (auto why = load()) return refuse(*why);
    if (auto why = checkDate()) return refuse(*why);
    std::vector<int> leaving;
    if (auto why = chosen(leaving)) return refuse(*why);
    if (request.target == request.household) return refuse(message("请选择要并入的另一户！"));
    const auto target = snapshot.household(store, request.target);
    const auto targetHead = std::find_if(target.begin(), target.end(),
                                         [](const auto& v) { return isHead(at(v, F与户主关系)); });
    if (target.empty())
        return refuse(message("户籍数据中没有房屋详址为“%1”的户！", request.target));
    if (targetHead == target.end()) return refuse(message("要并入的户无户主！请先为其设定户主！"));
    for (int i : leaving)
        if (!registered(i, request.date))
            return refuse(message("%1已经注销，不能并入他户！", at(members[size_t(i)], F姓名)));
    if (auto why = keepHousehold(leaving, request.remainingHead, false)) return refuse(*why);
    const std::vector<std::string> serials =
        snapshot.freeSerials(request.target, int(leaving.size()));
    if (serials.size() != leaving.size()) return refuse(message("要并入的户已没有空余的序号！"));
    for (size_t n = 0; n < leaving.size(); ++n) {
        PlannedRecord& r = change(leaving[n]);
        // How a newcomer is related to the other household's head only the clerk knows.
        at(r.after, F与户主关系) = std::to_string(kOther);
        r.toCheck.push_back(F与户主关系);
        at(r.after, F户主姓名) = at(*targetHead, F姓名);
        if (at(r.after, F居住详址) == request.household)
            at(r.after, F居住详址) = at(*targetHead, F居住详址);
        at(r.after, F房屋详址) = request.target;
        at(r.after, F序号) = serials[n];
        at(r.after, F户籍变动类型) = "1";
        at(r.after, F户籍变动日期) = request.date;
    }
    return finish(headName());
}

Planned Planner::finish(const std::string& titleName) {
    Plan p;
    p.business = request.business;
    p.title = toGb(businessName(request.business)) + " " + titleName + gb("户");
    // The household first, in 序号 order (members are), then the new records.
    for (auto& [i, r] : changed) {
        std::sort(r.toCheck.begin(), r.toCheck.end());
        r.toCheck.erase(std::unique(r.toCheck.begin(), r.toCheck.end()), r.toCheck.end());
        if (r.after != r.before) p.records.push_back(std::move(r));
    }
    for (PlannedRecord& r : added) p.records.push_back(std::move(r));
    if (p.records.empty()) return refuse(message("没有要变更的记录！"));
    Planned out;
    out.plan = std::move(p);
    return out;
}

}  // namespace

QString businessName(Business business) {
    const int i = int(business);
    return i >= 0 && i < kBusinessCount ? QString::fromUtf8(kNames[i]) : QString();
}

RelationProposal reexpress(int memberToOldHead, int newHeadToOldHead) {
    return byCodes(memberToOldHead, newHeadToOldHead);
}

RelationProposal reexpress(int m, int h, const RelationContext& c) {
    const bool sexKnown = c.newHeadSex == 1 || c.newHeadSex == 2;
    // A wife's parents-in-law are 公爹公婆, a husband's 岳父岳母.
    const int inLawParent = c.newHeadSex == 2 ? kHusbandsParent : kWifesParent;
    if (sexKnown &&
        ((h == kSpouse && m == kParent) || (h == kChildInLaw && (m == kSelf || m == kSpouse))))
        return sure(inLawParent);
    // The one 子女 and the one 媳婿 are each other's spouse.
    const bool onePair = c.children == 1 && c.childrenInLaw == 1;
    if (onePair && ((h == kChild && m == kChildInLaw) || (h == kChildInLaw && m == kChild)))
        return sure(kSpouse);
    return byCodes(m, h);
}

RelationProposal childRelation(int parentToHead) {
    switch (parentToHead) {
        case kSelf:
        case kSpouse:
            return sure(kChild);
        case kChild:
        case kChildInLaw:
            return sure(kGrandchild);
        // A child of the head's parent: a sibling, or a half-sibling.
        case kParent:
            return check(kSibling);
    }
    return check(kOther);
}

Planned plan(RecordStore& store, const Request& request, std::string_view today) {
    Planner p(store, request, today);
    switch (request.business) {
        case Business::Birth:
            return p.birth();
        case Business::MoveIn:
            return p.moveIn();
        case Business::MoveOut:
            return p.leave(false);
        case Business::Death:
            return p.leave(true);
        case Business::ChangeHead:
            return p.changeHead();
        case Business::Split:
            return p.split();
        case Business::Join:
            return p.join();
    }
    return refuse(message("未知的户籍业务！"));
}

std::vector<std::vector<std::string>> household(RecordStore& store, std::string_view address) {
    return Snapshot(store).household(store, address);
}

std::vector<std::string> freeSerials(RecordStore& store, std::string_view address, int count) {
    return Snapshot(store).freeSerials(address, count);
}

}  // namespace edit

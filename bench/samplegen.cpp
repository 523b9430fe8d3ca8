#include "samplegen.h"

#include <algorithm>
#include <cstdio>
#include <initializer_list>
#include <unordered_set>

#include "core/register/files.h"
#include "core/register/person.h"
#include "core/register/programfolder.h"
#include "core/register/store.h"
#include "core/register/text.h"

namespace sample {

namespace {

// The day the sample describes (30 June of this year); fixed so that a seed always gives the
// same ages, whenever it runs.
constexpr int kThisYear = 2024;
constexpr int kThisMonth = 6;

// splitmix64: small, fast and defined bit for bit, unlike the standard distributions, whose
// results differ between standard libraries.
class Rng {
  public:
    explicit Rng(uint64_t seed) : state_(seed) {}
    uint64_t next() {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // lo..hi, both included.
    int between(int lo, int hi) { return lo + int(next() % uint64_t(hi - lo + 1)); }
    bool percent(int p) { return between(1, 100) <= p; }
    template <class T>
    const T& pick(const std::vector<T>& v) {
        return v[size_t(between(0, int(v.size()) - 1))];
    }
    // 1-based position chosen with these weights (a code number when the weights follow a
    // code table); 0 when every weight is 0.
    int weighted(std::initializer_list<int> weights) {
        int total = 0;
        for (int w : weights) total += w;
        if (total <= 0) return 0;
        int x = between(1, total);
        int k = 0;
        for (int w : weights) {
            ++k;
            if ((x -= w) <= 0) return k;
        }
        return k;
    }

  private:
    uint64_t state_;
};

std::vector<std::string> gbList(std::initializer_list<const char*> utf8) {
    std::vector<std::string> v;
    for (const char* s : utf8) v.push_back(reg::gb(s));
    return v;
}

struct Origin {
    std::string place;  // 籍贯, GB18030
    const char* area;   // the six digits an identity number issued there begins with
};

// Every text the generator puts together, converted to GB18030 once.
struct Pools {
    std::vector<std::string> surnames = gbList(
        {"王", "李", "张", "刘", "陈", "杨", "黄", "赵", "吴", "周", "徐", "孙", "马", "朱",
         "胡", "郭", "何", "高", "林", "罗", "郑", "梁", "谢", "宋", "唐", "许", "韩", "冯",
         "邓", "曹", "彭", "曾", "肖", "田", "董", "袁", "潘", "于", "蒋", "蔡", "余", "杜",
         "叶", "程", "苏", "魏", "吕", "丁", "任", "沈", "姚", "卢", "姜", "崔", "钟", "谭",
         "陆", "汪", "范", "金", "石", "廖", "贾", "夏", "韦", "付", "方", "白", "邹", "孟",
         "熊", "秦", "邱", "江", "尹", "薛", "闫", "段", "雷", "侯", "龙", "史", "陶", "黎",
         "贺", "顾", "毛", "郝", "龚", "邵", "万", "钱", "严", "覃", "武", "戴", "莫", "孔"});
    std::vector<std::string> compoundSurnames = gbList({"欧阳", "司马", "诸葛", "上官"});
    std::vector<std::string> maleChars = gbList(
        {"伟", "强", "磊", "军", "勇", "杰", "涛", "明", "超", "刚", "平", "辉", "鹏", "华",
         "飞", "鑫", "波", "斌", "宇", "浩", "凯", "健", "俊", "帆", "帅", "旭", "宁", "龙",
         "林", "国", "建", "志", "文", "海", "东", "德", "荣", "根", "福", "祥", "金", "峰"});
    std::vector<std::string> femaleChars = gbList(
        {"芳", "娜", "敏", "静", "丽", "艳", "娟", "霞", "秀", "英", "华", "慧", "巧", "美",
         "玲", "桂", "兰", "红", "梅", "琳", "雪", "倩", "婷", "颖", "露", "瑶", "怡", "佳",
         "欣", "月", "萍", "燕", "琴", "云", "凤", "珍", "莉", "洁", "春", "菊", "妹", "雯"});
    // Real names hold characters beyond the common set: 䶮 and 㛃 lie outside GBK's two-byte
    // table, 𠮷 is outside the Basic Multilingual Plane (four bytes in GB18030).
    std::vector<std::string> rareChars = gbList({"䶮", "𠮷", "㛃", "堃", "喆", "淼", "燚"});
    std::string village = reg::gb("青石村");
    std::string group = reg::gb("组");
    std::string number = reg::gb("号");
    std::vector<Origin> origins = {
        {reg::gb("浙江嘉善"), "330421"}, {reg::gb("浙江海宁"), "330481"},
        {reg::gb("浙江桐乡"), "330483"}, {reg::gb("江苏吴江"), "320509"},
        {reg::gb("上海金山"), "310116"}, {reg::gb("安徽阜阳"), "341204"},
        {reg::gb("江西上饶"), "361102"}, {reg::gb("河南信阳"), "411502"},
        {reg::gb("四川广安"), "511602"}, {reg::gb("贵州毕节"), "520502"},
        {reg::gb("湖南邵阳"), "430502"}, {reg::gb("山东临沂"), "371302"},
    };
    // Places for the coded kinds 2..6 (其他村居, 其他乡镇, 其他县市, 省外, 国外) of 居住类型,
    // 户籍登记类型 and the moves of 户籍变动类型.
    std::vector<std::vector<std::string>> places = {
        {},
        {},
        gbList({"红星村3组12号", "东湖村5组8号", "永丰村2组31号", "新塘村7组4号"}),
        gbList({"天凝镇光明路18号", "干窑镇南星村4组", "西塘镇塘东街66号", "姚庄镇丁栅村"}),
        gbList({"杭州市西湖区文三路90号", "宁波市鄞州区中河街道", "嘉兴市南湖区建设街道",
                "湖州市吴兴区爱山街道"}),
        gbList({"上海市松江区九亭镇", "江苏省苏州市工业园区", "广东省深圳市宝安区西乡街道",
                "北京市朝阳区望京街道"}),
        gbList({"日本东京都新宿区", "意大利米兰", "美国加利福尼亚州", "新加坡"}),
    };
    std::vector<std::string> employers =
        gbList({"务农", "务农", "务农", "青石村村民委员会", "嘉善县人民医院", "天凝镇中心小学",
                "浙江嘉善精密机械有限公司", "个体经营", "外出务工", "嘉善县供电公司", "待业",
                "嘉兴市交通运输集团", "青石村股份经济合作社", ""});
    std::string primarySchool = reg::gb("天凝镇中心小学");
    std::string middleSchool = reg::gb("天凝镇中学");
    std::string farming = reg::gb("务农");
    std::vector<std::string> remarks =
        gbList({"独生子女", "退伍军人", "党员", "低保户", "五保户", "残疾人", "新居民", "空挂户"});
};

const Pools& pools() {
    static const Pools p;
    return p;
}

struct Date {
    int y = 0, m = 0, d = 0;
};

int daysIn(int y, int m) {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    return m == 2 && leap ? 29 : days[m - 1];
}

Date randomDate(Rng& r, int fromYear, int toYear) {
    toYear = std::min(toYear, kThisYear);
    fromYear = std::min(fromYear, toYear);
    Date d;
    d.y = r.between(fromYear, toYear);
    d.m = r.between(1, d.y == kThisYear ? kThisMonth : 12);
    d.d = r.between(1, daysIn(d.y, d.m));
    return d;
}

std::string dateText(const Date& d) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04d%02d%02d", d.y, d.m, d.d);
    return buf;
}

// A household member before it becomes a record.
struct Member {
    int relation = 1;
    int sex = 1;  // 1 男, 2 女
    Date birth;
    std::string surname;
    const Origin* origin = nullptr;
    Date married;  // y == 0: never married
};

enum Relation {
    Head = 1,
    Spouse,
    Child,
    Grandchild,
    Parent,
    Grandparent,
    InLaw,
    Sibling = 10,
    Other
};

std::string surnameFor(Rng& r, const Pools& p) {
    return r.percent(2) ? r.pick(p.compoundSurnames) : r.pick(p.surnames);
}

std::string otherSurname(Rng& r, const Pools& p, const std::string& avoid) {
    for (;;) {
        std::string s = surnameFor(r, p);
        if (s != avoid) return s;
    }
}

const Origin* originFor(Rng& r, const Pools& p, int localPercent) {
    return r.percent(localPercent) ? &p.origins[0]
                                   : &p.origins[size_t(r.between(1, int(p.origins.size()) - 1))];
}

std::string givenName(Rng& r, const Pools& p, int sex) {
    const auto& chars = sex == 1 ? p.maleChars : p.femaleChars;
    const int length = r.percent(30) ? 1 : 2;
    std::string name;
    for (int i = 0; i < length; ++i) name += r.percent(1) ? r.pick(p.rareChars) : r.pick(chars);
    return name;
}

// Household sizes 1..8, most of them 2 to 4 persons.
int householdSize(Rng& r) {
    return r.weighted({12, 22, 26, 19, 11, 6, 3, 1});
}

// Who lives in one household of `size` persons: the head first, the others after it.
std::vector<Member> household(Rng& r, const Pools& p, int size) {
    std::vector<Member> members;
    Member head;
    head.relation = Head;
    head.sex = r.percent(75) ? 1 : 2;
    head.birth = randomDate(r, 1938, 2001);
    head.surname = surnameFor(r, p);
    head.origin = originFor(r, p, 80);
    const int hy = head.birth.y;
    // Children carry the father's surname.
    std::string lineage = head.surname;
    members.push_back(head);

    if (size >= 2 && hy <= 1998 && r.percent(85)) {
        Member spouse;
        spouse.relation = Spouse;
        spouse.sex = 3 - head.sex;
        const int gap = r.between(0, 5);
        spouse.birth = randomDate(r, spouse.sex == 1 ? hy - gap : hy + gap - 1,
                                  spouse.sex == 1 ? hy - gap : hy + gap);
        spouse.surname = otherSurname(r, p, head.surname);
        spouse.origin = originFor(r, p, 55);
        if (spouse.sex == 1) lineage = spouse.surname;
        const Date wedding =
            randomDate(r, std::max(hy, spouse.birth.y) + 21, std::max(hy, spouse.birth.y) + 32);
        members[0].married = wedding;
        spouse.married = wedding;
        members.push_back(spouse);
    } else if (kThisYear - hy >= 30 && r.percent(65)) {
        members[0].married = randomDate(r, hy + 21, hy + 35);  // divorced or widowed since
    }

    int parents = 0, parentSex = 0, grandparents = 0, inLaws = 0;
    std::vector<int> adultChildYears;
    while (int(members.size()) < size) {
        Member m;
        const bool childFits = hy + 20 <= kThisYear;
        m.relation =
            r.weighted({0, 0, childFits ? 10 : 0, adultChildYears.empty() ? 0 : 3,
                        parents < 2 && hy >= 1955 ? 3 : 0, grandparents < 2 && hy >= 1980 ? 1 : 0,
                        inLaws < int(adultChildYears.size()) ? 2 : 0, 0, 0, 1, 1});
        m.sex = r.percent(50) ? 1 : 2;
        m.surname = lineage;
        m.origin = head.origin;
        switch (m.relation) {
            case Child:
                m.birth = randomDate(r, hy + 20, hy + 38);
                if (m.birth.y <= kThisYear - 22) adultChildYears.push_back(m.birth.y);
                break;
            case Grandchild: {
                const int cy = r.pick(adultChildYears);
                m.birth = randomDate(r, cy + 20, cy + 32);
                break;
            }
            case Parent:
                m.birth = randomDate(r, hy - 35, hy - 20);
                m.sex = parentSex ? 3 - parentSex : m.sex;
                parentSex = m.sex;
                m.surname = m.sex == 1 ? head.surname : otherSurname(r, p, head.surname);
                ++parents;
                break;
            case Grandparent:
                m.birth = randomDate(r, hy - 62, hy - 45);
                m.surname = surnameFor(r, p);
                ++grandparents;
                break;
            case InLaw: {
                const int cy = adultChildYears[size_t(inLaws)];
                m.birth = randomDate(r, cy - 3, cy + 3);
                m.surname = otherSurname(r, p, lineage);
                m.origin = originFor(r, p, 50);
                ++inLaws;
                break;
            }
            case Sibling:
                m.birth = randomDate(r, hy - 8, hy + 8);
                m.surname = head.surname;
                break;
            default:
                m.relation = Other;
                m.birth = randomDate(r, 1945, 2015);
                m.surname = surnameFor(r, p);
                m.origin = originFor(r, p, 60);
                break;
        }
        if (m.relation != Child && m.relation != Grandchild && m.relation != Sibling &&
            m.relation != Other && kThisYear - m.birth.y >= 20)
            m.married = randomDate(r, m.birth.y + 20, m.birth.y + 35);
        else if (kThisYear - m.birth.y >= 24 && r.percent(60))
            m.married = randomDate(r, m.birth.y + 21, m.birth.y + 35);
        members.push_back(m);
    }
    return members;
}

int educationFor(Rng& r, const Date& birth) {
    const int age = kThisYear - birth.y;
    if (age < 7) return 1;
    if (age < 13) return 2;
    if (age < 16) return 3;
    if (age < 19) return 4;
    if (birth.y < 1960) return r.weighted({25, 35, 25, 12, 2, 1, 0});
    if (birth.y < 1980) return r.weighted({5, 20, 40, 22, 8, 4, 1});
    return r.weighted({1, 4, 25, 25, 20, 20, 5});
}

int maritalFor(Rng& r, const Member& m, bool hasSpouse) {
    if (m.married.y == 0) return 1;
    if (m.relation == Head && !hasSpouse) return r.weighted({0, 0, 0, 0, 45, 55, 0});
    if (m.relation == Parent || m.relation == Grandparent)
        return r.weighted({0, 60, 0, 0, 0, 40, 0});
    return r.weighted({0, 86, 9, 2, 0, 0, 3});
}

std::string employerFor(Rng& r, const Pools& p, const Date& birth) {
    const int age = kThisYear - birth.y;
    if (age < 6) return {};
    if (age < 13) return p.primarySchool;
    if (age < 19) return p.middleSchool;
    if (age > 60) return r.percent(50) ? p.farming : std::string();
    return r.pick(p.employers);
}

// An 18-character identity number for this birth date and sex that no earlier person holds.
std::string identityNumber(Rng& r, const Member& m, std::unordered_set<std::string>& used) {
    for (;;) {
        // The sequence number is odd for men and even for women.
        int sequence = r.between(0, 499) * 2 + (m.sex == 1 ? 1 : 0);
        char buf[24];
        std::snprintf(buf, sizeof buf, "%s%s%03d", m.origin->area, dateText(m.birth).c_str(),
                      sequence);
        std::string id(buf);
        if (!used.insert(id).second) continue;
        id += idCheckCharacter(id);
        return id;
    }
}

// 户籍变动类型, 户籍变动日期 and 迁自迁往何地 of one person.
void registrationChange(Rng& r, const Pools& p, const Member& m, Person& rec) {
    int code = 0;
    Date when;
    std::string place;
    const bool movedIn = m.origin != &p.origins[0] &&
                         (m.relation == Spouse || m.relation == InLaw || m.relation == Other);
    if ((m.relation == Child || m.relation == Grandchild) && m.birth.y >= 1985 &&
        m.origin == &p.origins[0]) {
        code = 12;  // 出生
        when = m.birth;
    } else if (movedIn) {
        code = r.between(2, 6);  // 自…迁入
        when = m.married.y ? m.married : randomDate(r, m.birth.y + 16, kThisYear);
        place = r.pick(p.places[size_t(code)]);
    } else if (m.relation != Head && r.percent(3) && kThisYear - m.birth.y >= 18) {
        // A head who left or died would leave the others without one: the generated
        // registers are sound ones.
        code = r.between(7, 11);  // 迁往…
        when = randomDate(r, kThisYear - 6, kThisYear);
        place = r.pick(p.places[size_t(code - 5)]);
    } else if (r.percent(2) && m.birth.y < kThisYear) {
        code = 1;  // 本村居内部迁移
        when = randomDate(r, std::max(m.birth.y + 1, 1990), kThisYear);
    } else if (m.relation != Head && m.birth.y < 1945 && r.percent(4)) {
        code = 13;  // 死亡
        when = randomDate(r, kThisYear - 2, kThisYear);
    }
    rec[reg::F户籍变动类型 - 1] = std::to_string(code);
    rec[reg::F户籍变动日期 - 1] = when.y ? dateText(when) : std::string();
    rec[reg::F迁自迁往何地 - 1] = place;
}

}  // namespace

char idCheckCharacter(std::string_view first17) {
    static const int weights[17] = {7, 9, 10, 5, 8, 4, 2, 1, 6, 3, 7, 9, 10, 5, 8, 4, 2};
    if (first17.size() != 17) return 0;
    int sum = 0;
    for (size_t i = 0; i < 17; ++i) {
        if (first17[i] < '0' || first17[i] > '9') return 0;
        sum += (first17[i] - '0') * weights[i];
    }
    return "10X98765432"[sum % 11];
}

std::vector<int> plantFaults(std::vector<Person>& people, int percent, uint32_t seed) {
    Rng r(uint64_t(seed) ^ 0x4641554C5453ull);
    std::vector<int> planted(kFaultKinds, 0);
    auto at = [&people](size_t i, int field) -> std::string& {
        return people[i][size_t(field - 1)];
    };
    for (size_t i = 1; i < people.size(); ++i) {
        if (!r.percent(percent)) continue;
        const auto fault = Fault(r.between(0, kFaultKinds - 1));
        std::string& id = at(i, reg::F公民身份号码);
        switch (fault) {
            case Fault::CheckDigit:
                id.back() = id.back() == '0' ? '1' : '0';
                break;
            case Fault::IdDate: {
                std::string& birth = at(i, reg::F出生日期);
                birth.back() = birth.back() == '1' ? '2' : '1';
                break;
            }
            case Fault::IdSex:
                at(i, reg::F性别) = at(i, reg::F性别) == "1" ? "2" : "1";
                break;
            case Fault::IdLetter:
                id[2] = 'A';
                break;
            case Fault::IdLength:
                id.resize(16);
                break;
            case Fault::BadDate:
                at(i, reg::F出生日期) = "20130231";
                break;
            case Fault::FutureDate:
                at(i, reg::F户籍变动类型) = "1";
                at(i, reg::F户籍变动日期) = "20991231";
                break;
            case Fault::MarriedBeforeBirth:
                at(i, reg::F婚姻类型) = "2";
                at(i, reg::F婚姻变更日期) = "18991231";
                break;
            case Fault::SameId:
                id = at(i - 1, reg::F公民身份号码);
                break;
            case Fault::SamePerson:
                at(i, reg::F房屋详址) = at(i - 1, reg::F房屋详址);
                at(i, reg::F姓名) = at(i - 1, reg::F姓名);
                at(i, reg::F出生日期) = at(i - 1, reg::F出生日期);
                break;
            case Fault::NoHead:
            case Fault::SecondHead:
                at(i, reg::F与户主关系) = fault == Fault::NoHead ? "3" : "1";
                break;
            case Fault::WrongHeadName:
                at(i, reg::F户主姓名) = reg::gb("无此人");
                break;
            case Fault::SplitAddress:
                std::swap(at(i, reg::F序号), at(size_t(r.between(0, int(i) - 1)), reg::F序号));
                break;
            case Fault::Cleared:
                for (int pos = 1; pos <= reg::kFieldCount; ++pos)
                    if (pos != reg::F序号 && pos != reg::F房屋详址 && pos != reg::F备注)
                        at(i, pos) = reg::codeTableOf(pos) ? "0" : "";
                break;
        }
        ++planted[size_t(fault)];
    }
    return planted;
}

std::vector<Person> generate(int persons, uint32_t seed) {
    const Pools& p = pools();
    Rng r(seed);
    std::vector<Person> people;
    people.reserve(size_t(std::max(persons, 0)));
    std::unordered_set<std::string> usedIds;
    // About 150 households a group, as in a real village; the house numbers count up per group.
    const int groups = std::max(6, persons / 500);
    std::vector<int> nextNumber(size_t(groups) + 1, 1);

    while (int(people.size()) < persons) {
        const int size = std::min(householdSize(r), persons - int(people.size()));
        const int group = r.between(1, groups);
        const std::string address = p.village + std::to_string(group) + p.group +
                                    std::to_string(nextNumber[size_t(group)]++) + p.number;
        const std::vector<Member> members = household(r, p, size);
        const bool hasSpouse = members.size() > 1 && members[1].relation == Spouse;
        const std::string headName = members[0].surname + givenName(r, p, members[0].sex);

        for (const Member& m : members) {
            Person rec(reg::kFieldCount);
            auto set = [&rec](int field, std::string value) {
                rec[size_t(field - 1)] = std::move(value);
            };
            const std::string name =
                m.relation == Head ? headName : m.surname + givenName(r, p, m.sex);
            set(reg::F序号, std::to_string(people.size() + 1));
            set(reg::F房屋详址, address);
            const int residence = kThisYear - m.birth.y >= 18 ? r.weighted({85, 3, 3, 4, 4, 1}) : 1;
            set(reg::F居住类型, std::to_string(residence));
            set(reg::F居住详址, residence == 1 ? address : r.pick(p.places[size_t(residence)]));
            set(reg::F户主姓名, headName);
            set(reg::F与户主关系, std::to_string(m.relation));
            set(reg::F姓名, name);
            set(reg::F性别, std::to_string(m.sex));
            set(reg::F出生日期, dateText(m.birth));
            set(reg::F受教育程度, std::to_string(educationFor(r, m.birth)));
            const int marital = maritalFor(r, m, hasSpouse);
            set(reg::F婚姻类型, std::to_string(marital));
            set(reg::F婚姻变更日期, marital == 1 ? std::string() : dateText(m.married));
            set(reg::F工作单位, employerFor(r, p, m.birth));
            set(reg::F公民身份号码, identityNumber(r, m, usedIds));
            set(reg::F民族, std::to_string(r.weighted({930, 8, 12, 3, 3, 12, 5, 10, 2, 1, 14})));
            const int held = r.weighted({92, 2, 2, 1, 1, 1, 1});
            set(reg::F户籍登记类型, std::to_string(held));
            set(reg::F户籍登记详址, held == 1   ? address
                                    : held == 7 ? std::string()
                                                : r.pick(p.places[size_t(held)]));
            set(reg::F籍贯, m.origin->place);
            registrationChange(r, p, m, rec);
            set(reg::F备注, r.percent(12) ? r.pick(p.remarks) : std::string());
            people.push_back(std::move(rec));
        }
    }
    return people;
}

void shuffle(std::vector<Person>& people, uint32_t seed) {
    Rng r(uint64_t(seed) ^ 0x53485546464C45ull);
    for (size_t i = people.size(); i > 1; --i)
        std::swap(people[i - 1], people[size_t(r.between(0, int(i) - 1))]);
}

bool writeRegister(const QString& path, const std::vector<Person>& people) {
    if (path.isEmpty()) return false;
    // Written beside the target and renamed over it: an unfinished register never stands
    // under the real name, and a failure leaves any file there as it was.
    const QString tmp = reg::files::temporaryNameBeside(path);
    if (!reg::createRegisterIfMissing(tmp)) return false;
    reg::RecordStore store;
    bool ok = store.OpenTable(tmp);
    for (size_t i = 0; ok && i < people.size(); ++i) ok = store.AppendRecord(people[i]);
    ok = store.CloseAllTables() && ok;
    ok = ok && reg::files::syncFile(tmp) && reg::files::move(tmp, path);
    if (!ok) reg::files::remove(tmp);
    return ok;
}

bool mayReplaceQuietly(const QString& path) {
    if (!reg::files::exists(path)) return true;
    reg::RecordStore store;
    const bool empty = store.OpenTable(path) && store.RecordCount() == 0;
    static_cast<void>(store.CloseAllTables());  // read only
    return empty;
}

bool writeRegister(const QString& path, int persons, uint32_t seed, bool shuffled) {
    std::vector<Person> people = generate(persons, seed);
    if (shuffled) shuffle(people, seed);
    return writeRegister(path, people);
}

}  // namespace sample

#include "samplehistory.h"

#include <QDir>
#include <algorithm>
#include <random>

#include "core/query/statistics.h"
#include "core/register/person.h"
#include "core/register/safetycopy.h"
#include "core/register/text.h"
#include "core/register/workfiles.h"

namespace sample {

namespace {

using reg::gb;
namespace history = reg::history;

std::string dayText(QDate day) {
    return day.toString(QStringLiteral("yyyyMMdd")).toStdString();
}

class Life {
  public:
    Life(Village& v, uint32_t seed) : v_(v), rng_(seed) {}

    int below(int n) { return int(std::uniform_int_distribution<int>(0, n - 1)(rng_)); }
    int poisson(double mean) { return mean <= 0 ? 0 : std::poisson_distribution<int>(mean)(rng_); }

    // A record living here on `day` whose last change is not of `day`'s year, so that no
    // person has two changes in one year; -1 when none was found.
    int pickResident(QDate day, bool grownChild = false) {
        for (int tries = 0; tries < 2000; ++tries) {
            const int i = below(int(state_.size()));
            const Person& p = state_[size_t(i)];
            if (gone_[size_t(i)] || query::presenceAt(p, day) != query::Presence::Resident)
                continue;
            const QDate changed = query::parseDate(p[reg::F户籍变动日期 - 1]);
            if (changed.isValid() && changed.year() == day.year()) continue;
            if (grownChild) {
                const QDate born = query::parseDate(p[reg::F出生日期 - 1]);
                if (p[reg::F与户主关系 - 1] != "3" || !born.isValid() || born.addYears(20) > day)
                    continue;
            }
            return i;
        }
        return -1;
    }

    Person newcomer(QDate day, QDate born, int sex) {
        Person p(reg::kFieldCount);
        p[reg::F序号 - 1] = std::to_string(nextSerial_++);
        p[reg::F居住类型 - 1] = "1";
        p[reg::F姓名 - 1] = gb(kSurnames[below(8)]) + gb(kGiven[below(8)]) + gb(kGiven[below(8)]);
        p[reg::F性别 - 1] = std::to_string(sex);
        p[reg::F出生日期 - 1] = dayText(born);
        const std::string first17 =
            "330483" + dayText(born) + std::to_string(100 + below(450) * 2 + (sex == 1 ? 1 : 0));
        p[reg::F公民身份号码 - 1] = first17 + idCheckCharacter(first17);
        p[reg::F民族 - 1] = "1";
        p[reg::F户籍登记类型 - 1] = "1";
        p[reg::F受教育程度 - 1] = "1";
        p[reg::F婚姻类型 - 1] = "1";
        (void)day;
        return p;
    }

    void record(history::Action action, QDate day, const Person& before, const Person& after) {
        history::Entry e;
        e.action = action;
        e.time = day.toString(QStringLiteral("yyyy-MM-dd")) + QStringLiteral(" 10:00:00");
        const Person& p = after.empty() ? before : after;
        e.serial = p[reg::F序号 - 1];
        e.name = p[reg::F姓名 - 1];
        e.before = before;
        e.after = after;
        v_.entries.push_back(std::move(e));
    }

    void add(QDate day, Person p, int kind) {
        p[reg::F户籍变动类型 - 1] = std::to_string(kind);
        p[reg::F户籍变动日期 - 1] = dayText(day);
        record(history::Action::Add, day, {}, p);
        v_.changes.push_back({day, kind, p[reg::F性别 - 1] == "1" ? 0 : 1});
        state_.push_back(std::move(p));
        gone_.push_back(false);
    }

    void modify(int i, QDate day, const Person& after) {
        record(history::Action::Modify, day, state_[size_t(i)], after);
        state_[size_t(i)] = after;
    }

    void birth(QDate day) {
        const int parent = pickResident(day);
        if (parent < 0) return;
        const Person& h = state_[size_t(parent)];
        Person p = newcomer(day, day, 1 + below(2));
        for (int f : {reg::F房屋详址, reg::F居住详址, reg::F户主姓名})
            p[size_t(f - 1)] = h[size_t(f - 1)];
        p[reg::F与户主关系 - 1] = reg::isHead(h[reg::F与户主关系 - 1]) ? "3" : "4";
        p[reg::F受教育程度 - 1] = "";
        add(day, std::move(p), 12);
    }

    Person arrival(QDate day, int kind) {
        const int sex = 1 + below(2);
        Person p = newcomer(day, QDate(1950 + below(50), 1 + below(12), 1 + below(28)), sex);
        p[reg::F迁自迁往何地 - 1] = gb(kPlaces[below(4)]);
        const int household = below(3) == 0 ? pickResident(day) : -1;
        if (household >= 0) {
            const Person& h = state_[size_t(household)];
            for (int f : {reg::F房屋详址, reg::F居住详址, reg::F户主姓名})
                p[size_t(f - 1)] = h[size_t(f - 1)];
            p[reg::F与户主关系 - 1] = "10";
        } else {
            const std::string address = gb("澄禾新村") + std::to_string(++newAddresses_) + gb("号");
            p[reg::F房屋详址 - 1] = address;
            p[reg::F居住详址 - 1] = address;
            p[reg::F户主姓名 - 1] = p[reg::F姓名 - 1];
            p[reg::F与户主关系 - 1] = "1";
        }
        p[reg::F户籍变动类型 - 1] = std::to_string(kind);
        p[reg::F户籍变动日期 - 1] = dayText(day);
        return p;
    }

    void leave(QDate day, int kind) {
        const int i = pickResident(day);
        if (i < 0) return;
        Person p = state_[size_t(i)];
        p[reg::F户籍变动类型 - 1] = std::to_string(kind);
        p[reg::F户籍变动日期 - 1] = dayText(day);
        if (kind != 13) p[reg::F迁自迁往何地 - 1] = gb(kPlaces[below(4)]);
        v_.changes.push_back({day, kind, p[reg::F性别 - 1] == "1" ? 0 : 1});
        modify(i, day, p);
    }

    void split(QDate day) {
        const int i = pickResident(day, true);
        if (i < 0) return;
        Person p = state_[size_t(i)];
        p[reg::F房屋详址 - 1] += gb("之") + std::to_string(++newAddresses_);
        p[reg::F居住详址 - 1] = p[reg::F房屋详址 - 1];
        p[reg::F户主姓名 - 1] = p[reg::F姓名 - 1];
        p[reg::F与户主关系 - 1] = "1";
        p[reg::F户籍变动类型 - 1] = "1";
        p[reg::F户籍变动日期 - 1] = dayText(day);
        v_.changes.push_back({day, 1, p[reg::F性别 - 1] == "1" ? 0 : 1});
        modify(i, day, p);
    }

    // A name spelt again: no change of residence, the change fields stay.
    void correct(QDate day) {
        const int i = below(int(state_.size()));
        if (gone_[size_t(i)]) return;
        Person p = state_[size_t(i)];
        p[reg::F备注 - 1] = gb("姓名已核对");
        if (p == state_[size_t(i)]) return;
        modify(i, day, p);
    }

    // The record of a person dead for more than a year is taken out of the register.
    void removeDead(QDate day) {
        for (int tries = 0; tries < 200; ++tries) {
            const int i = below(int(state_.size()));
            const Person& p = state_[size_t(i)];
            const QDate died = query::parseDate(p[reg::F户籍变动日期 - 1]);
            if (gone_[size_t(i)] || p[reg::F户籍变动类型 - 1] != "13" || !died.isValid() ||
                died.addYears(1) > day)
                continue;
            record(history::Action::Delete, day, p, {});
            gone_[size_t(i)] = true;
            return;
        }
    }

    // Newcomers appended from a workbook: one entry naming the copy of the register before.
    void import(QDate day) {
        v_.importDay = day;
        v_.beforeImport = current();
        v_.importCopy = QStringLiteral("户籍数据-%1-100000-000.wav").arg(dayText(day).c_str());
        history::Entry e;
        e.action = history::Action::Import;
        e.time = day.toString(QStringLiteral("yyyy-MM-dd")) + QStringLiteral(" 10:00:00");
        e.file = QStringLiteral("迁入人员.xls");
        e.copy = v_.importCopy;
        e.countBefore = long(v_.beforeImport.size());
        for (int n = 0; n < 20; ++n) {
            Person p = arrival(day, 4);
            v_.changes.push_back({day, 4, p[reg::F性别 - 1] == "1" ? 0 : 1});
            state_.push_back(std::move(p));
            gone_.push_back(false);
        }
        v_.entries.push_back(std::move(e));
    }

    std::vector<Person> current() const {
        std::vector<Person> out;
        for (size_t i = 0; i < state_.size(); ++i)
            if (!gone_[i]) out.push_back(state_[i]);
        return out;
    }

    void begin(std::vector<Person> start) {
        state_ = std::move(start);
        gone_.assign(state_.size(), false);
        nextSerial_ = long(state_.size()) + 1;
    }

    size_t size() const { return state_.size(); }

  private:
    static constexpr const char* kSurnames[] = {"王", "李", "张", "刘", "陈", "杨", "赵", "黄"};
    static constexpr const char* kGiven[] = {"明", "华", "芳", "伟", "静", "强", "丽", "军"};
    static constexpr const char* kPlaces[] = {"浙江桐乡", "江苏吴江", "四川广安", "贵州毕节"};

    Village& v_;
    std::mt19937 rng_;
    std::vector<Person> state_;
    std::vector<bool> gone_;
    long nextSerial_ = 1;
    int newAddresses_ = 0;
};

}  // namespace

Village liveVillage(int persons, QDate first, QDate last, uint32_t seed) {
    Village v;
    v.first = first;
    std::vector<Person> start = generate(persons, seed);
    std::mt19937 rng(seed + 1);
    const QDate yearBefore = first.addYears(-1);
    const auto dayOfYearBefore = [&] {
        return yearBefore.addDays(std::uniform_int_distribution<int>(0, 364)(rng));
    };
    // The change fields hold only what the year before the history knew: some births and
    // deaths of that year.
    for (size_t i = 0; i < start.size(); ++i) {
        Person& p = start[i];
        p[reg::F户籍变动类型 - 1].clear();
        p[reg::F户籍变动日期 - 1].clear();
        p[reg::F迁自迁往何地 - 1].clear();
        const QDate born = query::parseDate(p[reg::F出生日期 - 1]);
        if (!born.isValid() || born >= yearBefore) p[reg::F出生日期 - 1] = "20000101";
        if (i % 97 == 5 && p[reg::F与户主关系 - 1] == "3") {
            const std::string day = dayText(dayOfYearBefore());
            p[reg::F出生日期 - 1] = day;
            p[reg::F户籍变动类型 - 1] = "12";
            p[reg::F户籍变动日期 - 1] = day;
            ++v.bornBefore;
        } else if (i % 131 == 7) {
            p[reg::F户籍变动类型 - 1] = "13";
            p[reg::F户籍变动日期 - 1] = dayText(dayOfYearBefore());
            ++v.diedBefore;
        }
    }
    v.start = start;

    Life life(v, seed + 2);
    life.begin(std::move(start));
    const int months = (last.year() - first.year()) * 12 + last.month() - first.month() + 1;
    for (int m = 0; m < months; ++m) {
        const QDate monthStart = first.addMonths(m);
        const double perMonth = double(life.size()) / 12.0;
        struct Event {
            QDate day;
            int what;
        };
        std::vector<Event> events;
        const double rates[] = {0.012, 0.008, 0.006, 0.006, 0.001, 0.001, 0.0005};
        for (int what = 0; what < 7; ++what)
            for (int n = life.poisson(perMonth * rates[what]); n > 0; --n) {
                const QDate day = monthStart.addDays(life.below(monthStart.daysInMonth()));
                if (day <= last) events.push_back({day, what});
            }
        if (m == months / 2) events.push_back({monthStart.addDays(14), 7});
        // The history is written in the order things happen.
        std::stable_sort(events.begin(), events.end(),
                         [](const Event& a, const Event& b) { return a.day < b.day; });
        for (const Event& e : events) {
            switch (e.what) {
                case 0:
                    life.birth(e.day);
                    break;
                case 1:
                    life.leave(e.day, 13);
                    break;
                case 2: {
                    const int kind = 2 + life.below(5);
                    life.add(e.day, life.arrival(e.day, kind), kind);
                    break;
                }
                case 3:
                    life.leave(e.day, 7 + life.below(5));
                    break;
                case 4:
                    life.split(e.day);
                    break;
                case 5:
                    life.correct(e.day);
                    break;
                case 6:
                    life.removeDead(e.day);
                    break;
                default:
                    life.import(e.day);
                    break;
            }
        }
    }
    v.today = life.current();
    return v;
}

bool writeVillage(const QString& folder, const Village& village) {
    if (!writeRegister(reg::pathIn(folder, reg::names::kRegister), village.today)) return false;
    if (!village.importCopy.isEmpty()) {
        if (!QDir().mkpath(reg::pathIn(folder, reg::safety::kCopyFolder))) return false;
        if (!writeRegister(reg::safety::pathOf(folder, village.importCopy), village.beforeImport))
            return false;
    }
    std::vector<history::Pending> begun =
        history::begin(folder, village.entries, reg::pathIn(folder, reg::names::kRegister));
    if (begun.size() != village.entries.size()) return false;
    return history::Pending::finishAll(begun, true);
}

}  // namespace sample

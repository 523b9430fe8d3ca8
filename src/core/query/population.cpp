#include "core/query/population.h"

#include <algorithm>
#include <array>
#include <map>
#include <tuple>
#include <unordered_map>
#include <unordered_set>

#include "core/query/standing.h"
#include "core/register/files.h"
#include "core/register/history.h"
#include "core/register/person.h"
#include "core/register/safetycopy.h"
#include "core/register/store.h"
#include "core/register/text.h"

namespace query {

namespace {

namespace history = reg::history;
using Values = std::vector<std::string>;

const std::string& fieldOf(const Values& v, int pos) {
    static const std::string none;
    return size_t(pos) <= v.size() ? v[size_t(pos - 1)] : none;
}

int changeKind(const Values& v) {
    return int(reg::leadingNumber(fieldOf(v, reg::F户籍变动类型)));
}

QDate changeDay(const Values& v) {
    return parseDate(fieldOf(v, reg::F户籍变动日期));
}

bool movesIn(int kind) {
    return kind >= 2 && kind <= 6;
}
bool movesOut(int kind) {
    return kind >= 7 && kind <= 11;
}
constexpr int kBirth = 12;
constexpr int kDeath = 13;

QDate dayOf(const history::Entry& e) {
    return QDate::fromString(e.time.left(10), QStringLiteral("yyyy-MM-dd"));
}

// The unmarked records of a register file, as the history writes them. `progress` gets the
// share read, 0 to 1.
std::optional<std::vector<Values>> readRecords(const QString& path,
                                               const std::function<void(double)>& progress = {}) {
    reg::RecordStore store;
    if (!store.OpenTable(path)) return std::nullopt;
    std::vector<Values> out;
    const long count = store.RecordCount();
    out.reserve(size_t(std::max(count, 0L)));
    long seen = 0;
    static_cast<void>(store.CountMatching([&] {
        out.push_back(history::currentValues(store));
        if (progress && ++seen % 4096 == 0) progress(double(seen) / double(count));
        return false;
    }));
    static_cast<void>(store.CloseAllTables());  // read only
    return out;
}

std::string keyOf(const Values& v) {
    std::string key;
    for (const std::string& f : v) {
        key += f;
        key.push_back('\0');
    }
    return key;
}

// The register as a multiset of records, each with an id that lasts while the history steps it
// back: a modify keeps the record's id, so one person can be followed across dates.
class Rebuild {
  public:
    explicit Rebuild(std::vector<Values> records) {
        for (Values& r : records) put(std::move(r), fresh());
    }
    int fresh() { return next_++; }
    void put(Values v, int id) {
        index_.emplace(keyOf(v), id);
        live_[id] = std::move(v);
    }
    // Removes one record equal to `v`: its id, 0 when there is none.
    int take(const Values& v) {
        const auto it = index_.find(keyOf(v));
        if (it == index_.end()) return 0;
        const int id = it->second;
        index_.erase(it);
        live_.erase(id);
        return id;
    }
    // Every record replaced by `records`; one equal to a record there keeps that one's id.
    // Calls `added` for each record that was not there.
    template <class Added>
    void replace(std::vector<Values> records, Added&& added) {
        auto before = std::move(index_);
        index_.clear();
        live_.clear();
        for (Values& r : records) {
            std::string key = keyOf(r);
            int id = 0;
            if (const auto it = before.find(key); it != before.end()) {
                id = it->second;
                before.erase(it);
            } else {
                id = fresh();
                added(id, r);
            }
            index_.emplace(std::move(key), id);
            live_[id] = std::move(r);
        }
    }
    const std::unordered_map<int, Values>& live() const { return live_; }
    std::vector<Values> records() const {
        std::vector<Values> out;
        out.reserve(live_.size());
        for (const auto& [id, v] : live_) out.push_back(v);
        return out;
    }

  private:
    std::unordered_map<int, Values> live_;
    std::unordered_multimap<std::string, int> index_;
    int next_ = 1;
};

// Steps the register back through the change history, newest entry first.
class Walker {
  public:
    // `seen`: a record (id, values) that the step back brings back, or a record entry reversed
    // (id of the record after it, the entry).
    using Seen = std::function<void(int id, const Values& values)>;
    using Reversed = std::function<void(int id, const history::Entry& e)>;

    Walker(QString folder, std::vector<Values> records)
        : folder_(std::move(folder)),
          state_(std::move(records)),
          entries_(history::entries(folder_, true)) {}

    // Reverses every entry recorded after the end of `day`.
    void backTo(QDate day) {
        while (!blocked_ && next_ < entries_.size() && dayOf(entries_[next_]) > day) {
            reverse(entries_[next_]);
            if (!blocked_) ++next_;
        }
    }

    // The register stands as it did at the end of `day` (after backTo(day)).
    bool exactAt(QDate day) const {
        if (mismatched_ || blocked_) return false;
        if (next_ < entries_.size()) return true;  // stopped at an entry of `day` or before
        if (entries_.empty()) return day >= QDate::currentDate();
        // Past the first entry: the day before it is the last one the history knows.
        return day >= dayOf(entries_.back()).addDays(-1);
    }

    // The first day the history knows; invalid without history.
    QDate historyStart() const {
        if (entries_.empty()) return {};
        return dayOf(blocked_ ? entries_[next_] : entries_.back());
    }

    const Rebuild& state() const { return state_; }
    const std::vector<history::Entry>& entries() const { return entries_; }
    void onSeen(Seen seen) { seen_ = std::move(seen); }
    void onReversed(Reversed reversed) { reversed_ = std::move(reversed); }

  private:
    void bringBack(const Values& v, int id) {
        if (seen_) seen_(id, v);
        state_.put(v, id);
    }

    void reverse(const history::Entry& e) {
        using A = history::Action;
        switch (e.action) {
            case A::Add: {
                const int id = e.after.empty() ? 0 : state_.take(e.after);
                mismatched_ |= id == 0;
                if (id && reversed_) reversed_(id, e);
                break;
            }
            case A::Modify:
            case A::Clear: {
                int id = e.after.empty() ? 0 : state_.take(e.after);
                if (id && reversed_) reversed_(id, e);
                // A record changed outside the history: its values after are not there.
                mismatched_ |= id == 0;
                if (!id) id = state_.fresh();
                if (e.before.empty())
                    mismatched_ = true;
                else
                    bringBack(e.before, id);
                break;
            }
            case A::Delete:
                if (e.before.empty())
                    mismatched_ = true;
                else
                    bringBack(e.before, state_.fresh());
                break;
            case A::Import:
            case A::Restore:
            case A::Undo: {
                // The undo of a business is undone by its own record entries.
                if (e.action == A::Undo && e.copy.isEmpty()) break;
                std::optional<std::vector<Values>> before;
                if (e.copy.isEmpty())
                    before.emplace();  // there was no register to keep
                else if (const QString copy = reg::safety::pathOf(folder_, e.copy);
                         reg::files::exists(copy))
                    before = readRecords(copy);
                if (!before) {
                    // The copy is gone: what the register held before cannot be known.
                    blocked_ = true;
                    return;
                }
                state_.replace(std::move(*before), [this](int id, const Values& v) {
                    if (seen_) seen_(id, v);
                });
                break;
            }
            case A::Batch:  // its record entries carry its changes
            case A::Business:
            case A::Password:
            case A::Certificate:
                break;
        }
    }

    QString folder_;
    Rebuild state_;
    std::vector<history::Entry> entries_;  // newest first
    size_t next_ = 0;                      // the next entry to reverse
    bool blocked_ = false;
    bool mismatched_ = false;
    Seen seen_;
    Reversed reversed_;
};

QString num(long n) {
    return QString::number(n);
}

// Column of the change report: 0 男, 1 女, 2 性别不详.
int sexColumn(const Values& v) {
    const std::string& sex = fieldOf(v, reg::F性别);
    return sex == "1" ? 0 : sex == "2" ? 1 : 2;
}

QString changeKindName(int kind) {
    const reg::CodeTable& table = *reg::codeTableOf(reg::F户籍变动类型);
    return reg::fromGb(table.names[size_t(kind - 1)]);
}

// A date as the statistics print it, or the stored text when it is no real day.
QString dateCell(const std::string& text) {
    const QDate day = parseDate(text);
    return day.isValid() ? dateText(day) : reg::fromGb(text);
}

// A coded field's name, or the stored text when it is outside the table.
QString cellOf(const Values& v, int pos) {
    const std::string& text = fieldOf(v, pos);
    if (const reg::CodeTable* table = reg::codeTableOf(pos))
        return reg::fromGb(reg::codeToName(*table, text));
    if (pos == reg::F出生日期 || pos == reg::F婚姻变更日期 || pos == reg::F户籍变动日期)
        return dateCell(text);
    return reg::fromGb(text);
}

}  // namespace

std::optional<RegisterAt> registerAt(const QString& folder, const QString& registerPath,
                                     QDate day) {
    std::optional<std::vector<Values>> records = readRecords(registerPath);
    if (!records) return std::nullopt;
    Walker walk(folder, std::move(*records));
    walk.backTo(day);
    RegisterAt at;
    at.records = walk.state().records();
    at.exact = walk.exactAt(day);
    at.historyStart = walk.historyStart();
    return at;
}

QString historyNote(const RegisterAt& at, QDate day) {
    if (at.exact) return {};
    if (!at.historyStart.isValid()) return QStringLiteral("没有变更记录，按户籍变动情况推算");
    if (day < at.historyStart)
        return QStringLiteral("变更记录始于%1，此前按户籍变动情况推算")
            .arg(dateText(at.historyStart));
    // Records changed without an entry, so the history does not lead back to them exactly.
    return QStringLiteral("变更记录与户籍数据不尽相符，按户籍变动情况推算");
}

std::optional<Statistics> computeStatisticsAt(const QString& folder, const QString& registerPath,
                                              QDate reference, const Period& period) {
    const std::optional<RegisterAt> at = registerAt(folder, registerPath, reference);
    if (!at) return std::nullopt;
    Statistics s = computeStatistics(at->records, reference, period);
    s.note = historyNote(*at, reference);
    return s;
}

namespace {

// Rows of the change report in their order; counts by sex column.
struct ChangeRows {
    using Counts = std::array<long, 3>;
    Counts start{}, end{}, births{}, deaths{};
    std::array<Counts, 5> movesIn{}, movesOut{};  // kinds 2..6 and 7..11
    // Differences that are no registered change of the period, by what they are.
    std::map<QString, Counts> moreOther, lessOther;
};

const QString kLateIn = QStringLiteral("增加：期前出生或迁入，期内登记");
const QString kUndatedIn = QStringLiteral("增加：出生或迁入未填或填错变动日期");
const QString kUnregisteredIn = QStringLiteral("增加：新增或改动的记录，无期内出生或迁入");
const QString kSexIn = QStringLiteral("增加：更正性别后计入");
const QString kLateOut = QStringLiteral("减少：期前死亡或迁出，期内登记");
const QString kUndatedOut = QStringLiteral("减少：死亡或迁出未填或填错变动日期");
const QString kDeletedOut = QStringLiteral("减少：删除的记录，无期内死亡或迁出");
const QString kUnregisteredOut = QStringLiteral("减少：改动的记录，无期内死亡或迁出");
const QString kSexOut = QStringLiteral("减少：更正性别前计出");

void countIncrease(ChangeRows& rows, const Values& v, const Period& period) {
    const int column = sexColumn(v);
    const int kind = changeKind(v);
    const QDate day = changeDay(v);
    const bool arrival = movesIn(kind) || kind == kBirth;
    if (arrival && day.isValid() && period.contains(day)) {
        ++(kind == kBirth ? rows.births : rows.movesIn[size_t(kind - 2)])[size_t(column)];
        return;
    }
    const QString& why = !arrival             ? kUnregisteredIn
                         : !day.isValid()     ? kUndatedIn
                         : day < period.first ? kLateIn
                                              : kUnregisteredIn;
    ++rows.moreOther[why][size_t(column)];
}

// `latest`: the person's values as last known in the period; `column`: the sex counted at the
// start; `deleted`: the record is gone by the period's end.
void countDecrease(ChangeRows& rows, const Values& latest, int column, bool deleted,
                   const Period& period) {
    const int kind = changeKind(latest);
    const QDate day = changeDay(latest);
    const bool leaving = movesOut(kind) || kind == kDeath;
    if (leaving && day.isValid() && period.contains(day)) {
        ++(kind == kDeath ? rows.deaths : rows.movesOut[size_t(kind - 7)])[size_t(column)];
        return;
    }
    const QString& why = deleted              ? kDeletedOut
                         : !leaving           ? kUnregisteredOut
                         : !day.isValid()     ? kUndatedOut
                         : day < period.first ? kLateOut
                                              : kUnregisteredOut;
    ++rows.lessOther[why][size_t(column)];
}

ReportRow countsRow(const QString& label, const ChangeRows::Counts& c,
                    ReportRow::Kind kind = ReportRow::Kind::Data) {
    return {kind, {label, num(c[0]), num(c[1]), num(c[2]), num(c[0] + c[1] + c[2])}};
}

void addTo(ChangeRows::Counts& sum, const ChangeRows::Counts& c) {
    for (size_t i = 0; i < sum.size(); ++i) sum[i] += c[i];
}

}  // namespace

std::optional<Report> changeReport(const QString& folder, const QString& registerPath,
                                   const Period& period) {
    std::optional<std::vector<Values>> records = readRecords(registerPath);
    if (!records) return std::nullopt;
    Walker walk(folder, std::move(*records));
    const QDate before = period.first.addDays(-1);

    walk.backTo(period.last);
    const std::unordered_map<int, Values> end = walk.state().live();
    const bool exactEnd = walk.exactAt(period.last);
    // Records gone by the period's end, as they last stood in it: the step back meets the
    // latest values first.
    std::unordered_map<int, Values> gone;
    walk.onSeen([&](int id, const Values& v) {
        if (!end.count(id)) gone.try_emplace(id, v);
    });
    walk.backTo(before);
    const std::unordered_map<int, Values>& start = walk.state().live();

    ChangeRows rows;
    for (const auto& [id, v] : start) {
        if (presenceAt(v, before) != Presence::Resident) continue;
        const int column = sexColumn(v);
        ++rows.start[size_t(column)];
        const auto there = end.find(id);
        if (there != end.end() && presenceAt(there->second, period.last) == Presence::Resident) {
            const int now = sexColumn(there->second);
            if (now != column) {
                ++rows.lessOther[kSexOut][size_t(column)];
                ++rows.moreOther[kSexIn][size_t(now)];
            }
            continue;
        }
        const bool deleted = there == end.end();
        const auto last = gone.find(id);
        const Values& latest = !deleted ? there->second : last != gone.end() ? last->second : v;
        countDecrease(rows, latest, column, deleted, period);
    }
    for (const auto& [id, v] : end) {
        if (presenceAt(v, period.last) != Presence::Resident) continue;
        ++rows.end[size_t(sexColumn(v))];
        const auto was = start.find(id);
        if (was == start.end() || presenceAt(was->second, before) != Presence::Resident)
            countIncrease(rows, v, period);
    }

    Report report;
    report.title = QStringLiteral("人口变动情况统计表");
    report.subtitle = periodText(period);
    report.columns.push_back({QStringLiteral("项目"), 5, false});
    for (const char* heading : {"男", "女", "性别不详", "合计"})
        report.columns.push_back({QString::fromUtf8(heading), 1, true});

    ChangeRows::Counts more{}, less{};
    report.rows.push_back(
        countsRow(QStringLiteral("期初人数"), rows.start, ReportRow::Kind::Total));
    report.rows.push_back(countsRow(QStringLiteral("增加：出生"), rows.births));
    addTo(more, rows.births);
    for (int kind = 2; kind <= 6; ++kind) {
        const auto& c = rows.movesIn[size_t(kind - 2)];
        report.rows.push_back(
            countsRow(QStringLiteral("增加：迁入（%1）").arg(changeKindName(kind)), c));
        addTo(more, c);
    }
    for (const auto& [label, c] : rows.moreOther) {
        report.rows.push_back(countsRow(label, c));
        addTo(more, c);
    }
    report.rows.push_back(countsRow(QStringLiteral("增加合计"), more, ReportRow::Kind::Total));
    report.rows.push_back(countsRow(QStringLiteral("减少：死亡"), rows.deaths));
    addTo(less, rows.deaths);
    for (int kind = 7; kind <= 11; ++kind) {
        const auto& c = rows.movesOut[size_t(kind - 7)];
        report.rows.push_back(
            countsRow(QStringLiteral("减少：迁出（%1）").arg(changeKindName(kind)), c));
        addTo(less, c);
    }
    for (const auto& [label, c] : rows.lessOther) {
        report.rows.push_back(countsRow(label, c));
        addTo(less, c);
    }
    report.rows.push_back(countsRow(QStringLiteral("减少合计"), less, ReportRow::Kind::Total));
    report.rows.push_back(countsRow(QStringLiteral("期末人数"), rows.end, ReportRow::Kind::Total));

    report.notes.push_back(QStringLiteral("期初人数为%1的人数，期末人数为%2的人数；"
                                          "期初人数＋增加合计－减少合计＝期末人数。")
                               .arg(dateText(before), dateText(period.last)));
    if (!rows.moreOther.empty() || !rows.lessOther.empty())
        report.notes.push_back(
            QStringLiteral("“增加：”“减少：”后不是出生、迁入、死亡、迁出的行，"
                           "是户籍数据中未按期登记变动的增减，请核对。"));
    RegisterAt at;
    at.historyStart = walk.historyStart();
    at.exact = walk.exactAt(before) && exactEnd;
    if (const QString note = historyNote(at, before); !note.isEmpty())
        report.notes.push_back(note + QStringLiteral("。"));
    return report;
}

namespace {

// Entries whose changes no longer stand: those an undo reversed, and the record entries of an
// undo itself, which only put the old values back.
std::unordered_set<long long> revokedEntries(const std::vector<history::Entry>& newestFirst) {
    std::map<long long, const history::Entry*> byId;
    for (const history::Entry& e : newestFirst) byId[e.id] = &e;
    std::unordered_set<long long> out;
    const auto recordEntry = [](const history::Entry& e) {
        using A = history::Action;
        return e.action == A::Add || e.action == A::Modify || e.action == A::Delete ||
               e.action == A::Clear;
    };
    // The record entries begun right after `head` that name its title.
    const auto partsOf = [&](const history::Entry& head) {
        for (auto it = byId.upper_bound(head.id);
             it != byId.end() && recordEntry(*it->second) && it->second->file == head.file; ++it)
            out.insert(it->first);
    };
    for (const auto& [id, e] : byId) {
        if (e->action != history::Action::Undo) continue;
        if (e->copy.isEmpty()) partsOf(*e);
        const auto target = byId.find(e->undoes);
        if (target == byId.end()) continue;
        out.insert(target->first);
        if (target->second->action == history::Action::Business) {
            partsOf(*target->second);
        } else {
            // A replacement put back the register as it was before the target: every change
            // recorded in between went with it.
            for (auto it = byId.upper_bound(target->first); it != byId.end() && it->first < id;
                 ++it)
                out.insert(it->first);
        }
    }
    return out;
}

struct BookLine {
    QDate day;
    double serial = 0;
    Values values;
};

}  // namespace

std::optional<Report> changeBook(const QString& folder, const QString& registerPath,
                                 const Period& period) {
    std::optional<std::vector<Values>> records = readRecords(registerPath);
    if (!records) return std::nullopt;
    Walker walk(folder, std::move(*records));

    // One change is a record (followed by its id across the history), a kind and a date.
    std::map<std::tuple<int, int, QDate>, BookLine> lines;
    const auto note = [&](int id, const Values& v) {
        const int kind = changeKind(v);
        const QDate day = changeDay(v);
        if (kind <= 0 || !day.isValid() || !period.contains(day)) return;
        lines.try_emplace({id, kind, day},
                          BookLine{day, reg::leadingNumber(fieldOf(v, reg::F序号)), v});
    };
    // The register as it is names the latest values of each change it still carries.
    for (const auto& [id, v] : walk.state().live()) note(id, v);

    const std::unordered_set<long long> revoked = revokedEntries(walk.entries());
    walk.onReversed([&](int id, const history::Entry& e) {
        if (revoked.count(e.id)) return;
        const bool sameChange =
            !e.before.empty() &&
            fieldOf(e.before, reg::F户籍变动类型) == fieldOf(e.after, reg::F户籍变动类型) &&
            fieldOf(e.before, reg::F户籍变动日期) == fieldOf(e.after, reg::F户籍变动日期);
        if (!sameChange) note(id, e.after);
    });
    // Changes are entered after they happen: the whole history may name one of the period.
    walk.backTo(QDate(1, 1, 1));

    std::vector<const BookLine*> ordered;
    for (const auto& [key, line] : lines) ordered.push_back(&line);
    std::stable_sort(ordered.begin(), ordered.end(), [](const BookLine* a, const BookLine* b) {
        return a->day != b->day ? a->day < b->day : a->serial < b->serial;
    });

    Report report;
    report.title = QStringLiteral("户籍变动登记簿");
    report.subtitle = periodText(period);
    report.landscape = true;
    const std::pair<const char*, int> headings[] = {
        {"变动日期", 3},     {"变动类型", 4},      {"姓名", 2},     {"性别", 1},    {"出生日期", 3},
        {"公民身份号码", 4}, {"迁自/迁往何地", 4}, {"户主姓名", 2}, {"房屋详址", 4}};
    for (const auto& [heading, weight] : headings)
        report.columns.push_back({QString::fromUtf8(heading), weight, false});
    static constexpr int kFields[] = {reg::F户籍变动日期, reg::F户籍变动类型, reg::F姓名,
                                      reg::F性别,         reg::F出生日期,     reg::F公民身份号码,
                                      reg::F迁自迁往何地, reg::F户主姓名,     reg::F房屋详址};
    for (const BookLine* line : ordered) {
        ReportRow row;
        for (int pos : kFields) row.cells.push_back(cellOf(line->values, pos));
        report.rows.push_back(std::move(row));
    }
    report.notes.push_back(QStringLiteral("共%1项变动。").arg(ordered.size()));
    if (const QDate start = walk.historyStart(); !start.isValid() || period.first < start)
        report.notes.push_back(
            start.isValid()
                ? QStringLiteral("变更记录始于%1，此前的变动按户籍数据中的户籍变动情况列出，"
                                 "每人只有最近一次变动。")
                      .arg(dateText(start))
                : QStringLiteral("没有变更记录，变动按户籍数据中的户籍变动情况列出，"
                                 "每人只有最近一次变动。"));
    return report;
}

std::vector<int> defaultRosterColumns() {
    return {reg::F序号,         reg::F姓名, reg::F与户主关系, reg::F性别,    reg::F出生日期,
            reg::F公民身份号码, reg::F民族, reg::F受教育程度, reg::F婚姻类型};
}

std::string maskIdentity(const std::string& number) {
    // Counted in characters, so that a number typed with wide digits is masked the same way.
    const QString text = reg::fromGb(number);
    if (text.size() <= 10) return std::string(size_t(text.size()), '*');
    return reg::toGb(text.left(6) + QString(text.size() - 10, QLatin1Char('*')) + text.right(4));
}

std::optional<Report> roster(const QString& registerPath, const RosterChoice& choice,
                             const ReportProgress& progress) {
    const auto report = [&](int percent) {
        if (progress) progress(percent);
    };
    report(0);
    std::optional<std::vector<Values>> read;
    if (choice.persons != RosterChoice::Persons::Given) {
        read = readRecords(registerPath, [&](double share) { report(int(share * 60)); });
        if (!read) return std::nullopt;
    }
    const std::vector<Values>& all = read ? *read : choice.given;
    const QDate reference = choice.reference.isValid() ? choice.reference : QDate::currentDate();

    // Households in the order of their first person's 序号, persons inside in the order shown.
    struct Member {
        const Values* values;
        int relation;  // the head's 1 first; nothing chosen or a text outside the table last
        double serial;
    };
    struct Household {
        double first;
        std::vector<Member> members;
    };
    std::unordered_map<std::string, Household> households;
    for (const Values& v : all) {
        if (!reg::isPerson(fieldOf(v, reg::F与户主关系))) continue;
        switch (choice.persons) {
            case RosterChoice::Persons::Registered:
                if (presenceAt(v, reference) != Presence::Resident) continue;
                break;
            case RosterChoice::Persons::AddressPrefix:
                if (!std::string_view(fieldOf(v, reg::F房屋详址)).starts_with(choice.addressPrefix))
                    continue;
                break;
            default:
                break;
        }
        const double serial = reg::leadingNumber(fieldOf(v, reg::F序号));
        int relation = int(reg::leadingNumber(fieldOf(v, reg::F与户主关系)));
        if (relation < 1 || relation > 11) relation = 99;
        auto [it, added] =
            households.try_emplace(fieldOf(v, reg::F房屋详址), Household{serial, {}});
        it->second.first = std::min(it->second.first, serial);
        it->second.members.push_back({&v, relation, serial});
    }
    report(70);

    std::vector<std::pair<const std::string*, Household*>> order;
    order.reserve(households.size());
    for (auto& [address, h] : households) order.emplace_back(&address, &h);
    std::sort(order.begin(), order.end(), [](const auto& a, const auto& b) {
        return a.second->first != b.second->first ? a.second->first < b.second->first
                                                  : *a.first < *b.first;
    });

    Report out;
    out.title = QStringLiteral("花名册");
    switch (choice.persons) {
        case RosterChoice::Persons::All:
            out.subtitle = QStringLiteral("全部人员");
            break;
        case RosterChoice::Persons::Registered:
            out.subtitle = QStringLiteral("%1在册人员").arg(dateText(reference));
            break;
        case RosterChoice::Persons::AddressPrefix:
            out.subtitle =
                QStringLiteral("房屋详址以“%1”开头的人员").arg(reg::fromGb(choice.addressPrefix));
            break;
        case RosterChoice::Persons::Given:
            out.subtitle = QStringLiteral("查询结果中的人员");
            break;
    }
    const std::vector<int> columns =
        choice.columns.empty() ? defaultRosterColumns() : choice.columns;
    int weights = 0;
    for (int pos : columns) {
        const int width =
            pos >= 1 && pos <= reg::kFieldCount ? reg::fieldDefs()[size_t(pos - 1)].width : 8;
        const int weight = std::clamp(width / 6, 1, 6);
        weights += weight;
        out.columns.push_back({reg::fromGb(reg::fieldName(pos)), weight, pos == reg::F序号});
    }
    out.landscape = weights > 24;

    long persons = 0;
    for (size_t i = 0; i < order.size(); ++i) {
        Household& h = *order[i].second;
        std::stable_sort(h.members.begin(), h.members.end(), [](const Member& a, const Member& b) {
            return a.relation != b.relation ? a.relation < b.relation : a.serial < b.serial;
        });
        const Values& first = *h.members.front().values;
        const std::string& head = h.members.front().relation == 1 ? fieldOf(first, reg::F姓名)
                                                                  : fieldOf(first, reg::F户主姓名);
        out.rows.push_back({ReportRow::Kind::Group,
                            {QStringLiteral("户主：%1  地址：%2")
                                 .arg(reg::fromGb(head), reg::fromGb(*order[i].first))}});
        for (const Member& m : h.members) {
            ReportRow row;
            row.cells.reserve(columns.size());
            for (int pos : columns) {
                if (pos == reg::F公民身份号码 && choice.maskIdentity)
                    row.cells.push_back(reg::fromGb(maskIdentity(fieldOf(*m.values, pos))));
                else
                    row.cells.push_back(cellOf(*m.values, pos));
            }
            out.rows.push_back(std::move(row));
            ++persons;
        }
        if (i % 1024 == 0) report(70 + int(30 * i / order.size()));
    }
    out.notes.push_back(QStringLiteral("共%1户，%2人。").arg(order.size()).arg(persons));
    report(100);
    return out;
}

}  // namespace query

#include "core/query/population.h"

#include <QFileInfo>
#include <algorithm>
#include <array>
#include <future>
#include <map>
#include <set>
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
#include "core/register/workfiles.h"

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

// The day of an entry's time "yyyy-MM-dd HH:mm:ss"; invalid for anything else.
QDate dayOf(const history::Entry& e) {
    const QString& t = e.time;
    if (t.size() < 10 || t[4] != u'-' || t[7] != u'-') return {};
    int digits[8];
    const int at[] = {0, 1, 2, 3, 5, 6, 8, 9};
    for (int i = 0; i < 8; ++i) {
        const char16_t c = t[at[i]].unicode();
        if (c < u'0' || c > u'9') return {};
        digits[i] = c - u'0';
    }
    return QDate(digits[0] * 1000 + digits[1] * 100 + digits[2] * 10 + digits[3],
                 digits[4] * 10 + digits[5], digits[6] * 10 + digits[7]);
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

// The change history of `folder` tells of its register only, not of another file beside it.
std::vector<history::Entry> historyOf(const QString& folder, const QString& registerPath,
                                      bool withValues) {
    if (QFileInfo(registerPath).absoluteFilePath() !=
        QFileInfo(reg::pathIn(folder, reg::names::kRegister)).absoluteFilePath())
        return {};
    return history::entries(folder, withValues);
}

size_t hashOf(const Values& v) {
    size_t h = 1469598103934665603ULL;
    for (const std::string& f : v)
        h ^= std::hash<std::string_view>{}(f) + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2);
    return h;
}

// The register as a multiset of records, each with an id that lasts while the history steps it
// back: a modify keeps the record's id, so one person can be followed across dates. Ids are
// dense, so that callers can keep what they learn of each in a plain vector.
class Rebuild {
  public:
    explicit Rebuild(std::vector<Values> records) {
        slots_.reserve(records.size() + records.size() / 4);
        for (Values& r : records) put(std::move(r), fresh());
    }
    int fresh() {
        slots_.emplace_back();
        alive_.push_back(false);
        return int(slots_.size()) - 1;
    }
    void put(Values v, int id) {
        index_.emplace(hashOf(v), id);
        slots_[size_t(id)] = std::move(v);
        alive_[size_t(id)] = true;
    }
    // Removes one record equal to `v`: its id, -1 when there is none.
    int take(const Values& v) {
        const auto [first, last] = index_.equal_range(hashOf(v));
        for (auto it = first; it != last; ++it) {
            const int id = it->second;
            if (slots_[size_t(id)] != v) continue;
            index_.erase(it);
            alive_[size_t(id)] = false;
            Values().swap(slots_[size_t(id)]);
            return id;
        }
        return -1;
    }
    // Every record replaced by `records`; one equal to a record there keeps that one's id.
    // Calls `added` for each record that was not there.
    template <class Added>
    void replace(std::vector<Values> records, Added&& added) {
        auto before = std::move(index_);
        index_.clear();
        for (Values& r : records) {
            const size_t h = hashOf(r);
            int id = -1;
            const auto [first, last] = before.equal_range(h);
            for (auto it = first; it != last; ++it)
                if (slots_[size_t(it->second)] == r) {
                    id = it->second;
                    before.erase(it);
                    break;
                }
            if (id >= 0) {
                index_.emplace(h, id);
                continue;
            }
            id = fresh();
            added(id, r);
            put(std::move(r), id);
        }
        for (const auto& [h, id] : before) {
            alive_[size_t(id)] = false;
            Values().swap(slots_[size_t(id)]);
        }
    }
    size_t size() const { return slots_.size(); }  // ids are below it
    bool alive(int id) const { return size_t(id) < alive_.size() && alive_[size_t(id)]; }
    const Values& at(int id) const { return slots_[size_t(id)]; }
    template <class Visit>
    void forEach(Visit&& visit) const {
        for (size_t id = 0; id < slots_.size(); ++id)
            if (alive_[id]) visit(int(id), slots_[id]);
    }
    std::vector<Values> records() const {
        std::vector<Values> out;
        forEach([&](int, const Values& v) { out.push_back(v); });
        return out;
    }

  private:
    std::vector<Values> slots_;
    std::vector<bool> alive_;
    std::unordered_multimap<size_t, int> index_;  // hash of the values to ids
};

// Steps the register back through the change history, newest entry first.
class Walker {
  public:
    // `seen`: a record (id, values) that the step back brings back, or a record entry reversed
    // (id of the record after it, the entry).
    using Seen = std::function<void(int id, const Values& values)>;
    using Reversed = std::function<void(int id, const history::Entry& e)>;

    // Reads the register and the history side by side, and meanwhile the first safety copy a
    // step back to `earliest` will need. nullopt when the register does not open.
    static std::optional<Walker> open(const QString& folder, const QString& registerPath,
                                      QDate earliest) {
        auto reading =
            std::async(std::launch::async, [registerPath] { return readRecords(registerPath); });
        std::vector<history::Entry> entries = historyOf(folder, registerPath, true);
        std::vector<QDate> days;
        days.reserve(entries.size());
        for (const history::Entry& e : entries) days.push_back(dayOf(e));
        Prefetched copy;
        for (size_t i = 0; i < entries.size() && days[i] > earliest; ++i) {
            const history::Entry& e = entries[i];
            using A = history::Action;
            if ((e.action == A::Import || e.action == A::Restore || e.action == A::Undo) &&
                !e.copy.isEmpty()) {
                copy.name = e.copy;
                copy.records = readCopy(folder, e.copy);
                break;
            }
        }
        std::optional<std::vector<Values>> records = reading.get();
        if (!records) return std::nullopt;
        return Walker(folder, std::move(*records), std::move(entries), std::move(days),
                      std::move(copy));
    }

    // Reverses every entry recorded after the end of `day`.
    void backTo(QDate day) {
        while (!blocked_ && next_ < entries_.size() && days_[next_] > day) {
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
        return day >= days_.back().addDays(-1);
    }

    // The first day the history knows; invalid without history.
    QDate historyStart() const {
        if (entries_.empty()) return {};
        return blocked_ ? days_[next_] : days_.back();
    }

    const Rebuild& state() const { return state_; }
    const std::vector<history::Entry>& entries() const { return entries_; }
    void onSeen(Seen seen) { seen_ = std::move(seen); }
    void onReversed(Reversed reversed) { reversed_ = std::move(reversed); }

  private:
    struct Prefetched {
        QString name;
        std::optional<std::vector<Values>> records;
    };

    Walker(QString folder, std::vector<Values> records, std::vector<history::Entry> entries,
           std::vector<QDate> days, Prefetched copy)
        : folder_(std::move(folder)),
          state_(std::move(records)),
          entries_(std::move(entries)),
          days_(std::move(days)),
          prefetched_(std::move(copy)) {}

    // The records of a safety copy; nullopt when it is gone or does not open.
    static std::optional<std::vector<Values>> readCopy(const QString& folder, const QString& name) {
        const QString path = reg::safety::pathOf(folder, name);
        if (!reg::files::exists(path)) return std::nullopt;
        return readRecords(path);
    }

    void bringBack(const Values& v, int id) {
        if (seen_) seen_(id, v);
        state_.put(v, id);
    }

    void reverse(const history::Entry& e) {
        using A = history::Action;
        switch (e.action) {
            case A::Add: {
                const int id = e.after.empty() ? -1 : state_.take(e.after);
                mismatched_ |= id < 0;
                if (id >= 0 && reversed_) reversed_(id, e);
                break;
            }
            case A::Modify:
            case A::Clear: {
                int id = e.after.empty() ? -1 : state_.take(e.after);
                if (id >= 0 && reversed_) reversed_(id, e);
                // A record changed outside the history: its values after are not there.
                mismatched_ |= id < 0;
                if (id < 0) id = state_.fresh();
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
                if (e.copy.isEmpty()) {
                    before.emplace();  // there was no register to keep
                } else if (e.copy == prefetched_.name) {
                    before = std::move(prefetched_.records);
                    prefetched_ = {};
                } else {
                    before = readCopy(folder_, e.copy);
                }
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
            case A::Export:  // facts: the register was not changed
            case A::Backup:
            case A::Print:
            case A::Erase:
                break;
        }
    }

    QString folder_;
    Rebuild state_;
    std::vector<history::Entry> entries_;  // newest first
    std::vector<QDate> days_;              // of each entry
    Prefetched prefetched_;
    size_t next_ = 0;  // the next entry to reverse
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
    std::optional<Walker> opened = Walker::open(folder, registerPath, day);
    if (!opened) return std::nullopt;
    Walker& walk = *opened;
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
    // Nothing recorded after the reference: the register as it is stood then, and the plain walk
    // of the file reads less.
    const std::vector<history::Entry> recorded = historyOf(folder, registerPath, false);
    if (recorded.empty() ? reference >= QDate::currentDate() : dayOf(recorded.front()) <= reference)
        return computeStatistics(registerPath, reference, period);
    std::optional<Walker> opened = Walker::open(folder, registerPath, reference);
    if (!opened) return std::nullopt;
    Walker& walk = *opened;
    walk.backTo(reference);
    StatisticsCounter counter(reference, period);
    walk.state().forEach([&](int, const Values& v) { counter.add(v); });
    Statistics s = counter.finish();
    RegisterAt at;
    at.exact = walk.exactAt(reference);
    at.historyStart = walk.historyStart();
    s.note = historyNote(at, reference);
    return s;
}

namespace {

using Counts = std::array<long, 3>;  // by sex column

// The rows of the change report that increase: 出生, the five kinds of 迁入, then what is no
// registered change of the period.
enum More { kBorn, kCame = 1, kLateIn = 6, kUndatedIn, kUnregisteredIn, kMoreRows };
// The rows that decrease: 死亡, the five kinds of 迁出, then the others.
enum Less { kDied, kLeft = 1, kLateOut = 6, kUndatedOut, kDeletedOut, kUnregisteredOut, kLessRows };

const char* const kOtherMore[] = {"增加：期前出生或迁入，期内登记",
                                  "增加：出生或迁入未填或填错变动日期",
                                  "增加：新增或改动的记录，无期内出生或迁入"};
const char* const kOtherLess[] = {
    "减少：期前死亡或迁出，期内登记", "减少：死亡或迁出未填或填错变动日期",
    "减少：删除的记录，无期内死亡或迁出", "减少：改动的记录，无期内死亡或迁出"};

// The row a person here at the period's end but not at its start is counted in.
int moreRow(const Values& v, const Period& period) {
    const int kind = changeKind(v);
    const QDate day = changeDay(v);
    const bool arrival = movesIn(kind) || kind == kBirth;
    if (!arrival) return kUnregisteredIn;
    if (!day.isValid()) return kUndatedIn;
    if (period.contains(day)) return kind == kBirth ? kBorn : kCame + kind - 2;
    return day < period.first ? kLateIn : kUnregisteredIn;
}

// The row a person here at the start but not at the end is counted in; `latest`: the values as
// last known in the period; `deleted`: the record is gone by its end.
int lessRow(const Values& latest, bool deleted, const Period& period) {
    const int kind = changeKind(latest);
    const QDate day = changeDay(latest);
    const bool leaving = movesOut(kind) || kind == kDeath;
    if (leaving && day.isValid() && period.contains(day))
        return kind == kDeath ? kDied : kLeft + kind - 7;
    if (deleted) return kDeletedOut;
    if (!leaving) return kUnregisteredOut;
    if (!day.isValid()) return kUndatedOut;
    return day < period.first ? kLateOut : kUnregisteredOut;
}

// What the period's end knows of a record.
struct AtEnd {
    bool present = false;
    bool resident = false;
    signed char sex = 0;
    signed char more = 0;  // its row if it is an increase
    signed char less = 0;  // its row if it is a decrease
};

ReportRow countsRow(const QString& label, const Counts& c,
                    ReportRow::Kind kind = ReportRow::Kind::Data) {
    return {kind, {label, num(c[0]), num(c[1]), num(c[2]), num(c[0] + c[1] + c[2])}};
}

void addTo(Counts& sum, const Counts& c) {
    for (size_t i = 0; i < sum.size(); ++i) sum[i] += c[i];
}

}  // namespace

std::optional<Report> changeReport(const QString& folder, const QString& registerPath,
                                   const Period& period) {
    std::optional<Walker> opened = Walker::open(folder, registerPath, period.first.addDays(-1));
    if (!opened) return std::nullopt;
    Walker& walk = *opened;
    const QDate before = period.first.addDays(-1);

    const std::string lastDay = period.last.toString(QStringLiteral("yyyyMMdd")).toStdString();
    const std::string dayBefore = before.toString(QStringLiteral("yyyyMMdd")).toStdString();
    walk.backTo(period.last);
    const bool exactEnd = walk.exactAt(period.last);
    std::vector<AtEnd> end(walk.state().size());
    walk.state().forEach([&](int id, const Values& v) {
        AtEnd& e = end[size_t(id)];
        e.present = true;
        e.resident = presenceAt(v, period.last, lastDay) == Presence::Resident;
        e.sex = static_cast<signed char>(sexColumn(v));
        e.more = static_cast<signed char>(moreRow(v, period));
        e.less = static_cast<signed char>(lessRow(v, false, period));
    });
    // Records gone by the period's end, as they last stood in it: the step back meets the
    // latest values first.
    std::unordered_map<int, int> gone;  // id to its row of decrease
    walk.onSeen([&](int id, const Values& v) {
        if (size_t(id) < end.size() && end[size_t(id)].present) return;
        gone.try_emplace(id, lessRow(v, true, period));
    });
    walk.backTo(before);

    Counts start{}, finish{};
    std::array<Counts, kMoreRows> more{};
    std::array<Counts, kLessRows> less{};
    Counts sexIn{}, sexOut{};  // persons here throughout whose sex was corrected
    std::vector<bool> wasHere(walk.state().size(), false);
    walk.state().forEach([&](int id, const Values& v) {
        if (presenceAt(v, before, dayBefore) != Presence::Resident) return;
        wasHere[size_t(id)] = true;
        const int column = sexColumn(v);
        ++start[size_t(column)];
        const AtEnd* e =
            size_t(id) < end.size() && end[size_t(id)].present ? &end[size_t(id)] : nullptr;
        if (e && e->resident) {
            if (e->sex != column) {
                ++sexOut[size_t(column)];
                ++sexIn[size_t(e->sex)];
            }
            return;
        }
        int row = e ? int(e->less) : int(kDeletedOut);
        if (!e)
            if (const auto g = gone.find(id); g != gone.end()) row = g->second;
        ++less[size_t(row)][size_t(column)];
    });
    for (size_t id = 0; id < end.size(); ++id) {
        const AtEnd& e = end[id];
        if (!e.resident) continue;
        ++finish[size_t(e.sex)];
        if (!wasHere[id]) ++more[size_t(e.more)][size_t(e.sex)];
    }

    Report report;
    report.title = QStringLiteral("人口变动情况统计表");
    report.subtitle = periodText(period);
    report.columns.push_back({QStringLiteral("项目"), 5, false});
    for (const char* heading : {"男", "女", "性别不详", "合计"})
        report.columns.push_back({QString::fromUtf8(heading), 1, true});

    bool differences = false;
    Counts moreSum{}, lessSum{};
    const auto add = [&](const QString& label, const Counts& c, Counts& sum, bool always) {
        const bool any = c[0] || c[1] || c[2];
        if (!always && !any) return;
        differences |= !always;
        report.rows.push_back(countsRow(label, c));
        addTo(sum, c);
    };
    report.rows.push_back(countsRow(QStringLiteral("期初人数"), start, ReportRow::Kind::Total));
    add(QStringLiteral("增加：出生"), more[kBorn], moreSum, true);
    for (int kind = 2; kind <= 6; ++kind)
        add(QStringLiteral("增加：迁入（%1）").arg(changeKindName(kind)),
            more[size_t(kCame + kind - 2)], moreSum, true);
    for (int row = kLateIn; row < kMoreRows; ++row)
        add(QString::fromUtf8(kOtherMore[row - kLateIn]), more[size_t(row)], moreSum, false);
    add(QStringLiteral("增加：更正性别后计入"), sexIn, moreSum, false);
    report.rows.push_back(countsRow(QStringLiteral("增加合计"), moreSum, ReportRow::Kind::Total));
    add(QStringLiteral("减少：死亡"), less[kDied], lessSum, true);
    for (int kind = 7; kind <= 11; ++kind)
        add(QStringLiteral("减少：迁出（%1）").arg(changeKindName(kind)),
            less[size_t(kLeft + kind - 7)], lessSum, true);
    for (int row = kLateOut; row < kLessRows; ++row)
        add(QString::fromUtf8(kOtherLess[row - kLateOut]), less[size_t(row)], lessSum, false);
    add(QStringLiteral("减少：更正性别前计出"), sexOut, lessSum, false);
    report.rows.push_back(countsRow(QStringLiteral("减少合计"), lessSum, ReportRow::Kind::Total));
    report.rows.push_back(countsRow(QStringLiteral("期末人数"), finish, ReportRow::Kind::Total));

    report.notes.push_back(QStringLiteral("期初人数为%1的人数，期末人数为%2的人数；"
                                          "期初人数＋增加合计－减少合计＝期末人数。")
                               .arg(dateText(before), dateText(period.last)));
    if (differences)
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
    std::optional<Walker> opened = Walker::open(folder, registerPath, QDate(1, 1, 1));
    if (!opened) return std::nullopt;
    Walker& walk = *opened;

    // One change is a record (followed by its id across the history), a kind and a date.
    std::map<std::tuple<int, int, QDate>, BookLine> lines;
    // Changes an edit put right: the same kind on another day, or another kind on the same day.
    std::set<std::tuple<int, int, QDate>> corrected;
    const auto note = [&](int id, const Values& v) {
        const int kind = changeKind(v);
        const QDate day = changeDay(v);
        if (kind <= 0 || !day.isValid() || !period.contains(day)) return;
        if (corrected.count({id, kind, day})) return;
        lines.try_emplace({id, kind, day},
                          BookLine{day, reg::leadingNumber(fieldOf(v, reg::F序号)), v});
    };
    // The register as it is names the latest values of each change it still carries.
    walk.state().forEach(note);

    const std::unordered_set<long long> revoked = revokedEntries(walk.entries());
    walk.onReversed([&](int id, const history::Entry& e) {
        if (revoked.count(e.id)) return;
        const bool sameChange =
            !e.before.empty() &&
            fieldOf(e.before, reg::F户籍变动类型) == fieldOf(e.after, reg::F户籍变动类型) &&
            fieldOf(e.before, reg::F户籍变动日期) == fieldOf(e.after, reg::F户籍变动日期);
        if (sameChange) return;
        note(id, e.after);
        if (e.before.empty()) return;
        // Newest first: the correction is met before the change it put right.
        const int was = changeKind(e.before), is = changeKind(e.after);
        const QDate wasDay = changeDay(e.before), isDay = changeDay(e.after);
        if (was > 0 && (was == is || wasDay == isDay)) corrected.insert({id, was, wasDay});
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
    report.persons = long(ordered.size());
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

void maskIdentityColumn(Report& report) {
    const QString heading = reg::fromGb(reg::fieldName(reg::F公民身份号码));
    for (size_t c = 0; c < report.columns.size(); ++c) {
        if (report.columns[c].heading != heading) continue;
        for (ReportRow& row : report.rows)
            if (row.kind == ReportRow::Kind::Data && c < row.cells.size())
                row.cells[c] = reg::fromGb(maskIdentity(reg::toGb(row.cells[c])));
    }
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
    const std::string referenceDay = reference.toString(QStringLiteral("yyyyMMdd")).toStdString();

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
                if (presenceAt(v, reference, referenceDay) != Presence::Resident) continue;
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
    out.persons = persons;
    report(100);
    return out;
}

}  // namespace query

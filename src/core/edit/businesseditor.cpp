// The counter's business through the editing service: its check against the register as the
// whole business leaves it, its write as one operation, and its undo.
#include <QFileInfo>
#include <algorithm>
#include <map>
#include <set>
#include <unordered_map>

#include "core/edit/editorsteps.h"
#include "core/edit/registereditor.h"
#include "core/register/files.h"
#include "core/register/log.h"
#include "core/register/person.h"
#include "core/register/programfolder.h"
#include "core/register/text.h"
#include "core/register/workfiles.h"

namespace edit {

using namespace reg;
namespace history = reg::history;

namespace {

const QString kStale = QStringLiteral("办理期间户籍数据已有变化，请重新办理此业务！");
const QString kBusinessFailed = QStringLiteral("户籍业务办理失败，户籍数据没有改变！");
const QString kBusinessDone = QStringLiteral("  办理成功");
const QString kUndone = QStringLiteral("  撤销成功");
const QString kUndoFailed = QStringLiteral("撤销失败，户籍数据没有改变！");

const std::string& field(const std::vector<std::string>& values, int f) {
    return values[size_t(f - 1)];
}

using detail::causeFor;
using detail::label;

// The register as a business leaves it, as far as the entry rules look at it: how many records
// stand at each address, the heads by address and name, the holders of each serial. One pass
// over the store, then the planned records moved from their before to their after.
class AfterBusiness : public maint::RegisterFacts {
  public:
    void count(const std::vector<std::string>& v, int by) {
        atAddress_[field(v, F房屋详址)] += by;
        serials_[field(v, F序号)] += by;
        if (field(v, F姓名) == field(v, F户主姓名) && field(v, F与户主关系) == "1")
            heads_[field(v, F房屋详址) + '\n' + field(v, F姓名)] += by;
    }
    void checking(const PlannedRecord& r) { record_ = &r; }

    long othersAt(const std::string& address) override {
        return get(atAddress_, address) - (field(record_->after, F房屋详址) == address);
    }
    long headsAt(const std::string& address, const std::string& headName) override {
        return get(heads_, address + '\n' + headName);
    }
    std::string currentField(Field f) override {
        return record_->before.empty() ? std::string() : field(record_->before, f);
    }
    bool serialTaken(const std::string& serial) override {
        return get(serials_, serial) - (field(record_->after, F序号) == serial) > 0;
    }

  private:
    static long get(const std::unordered_map<std::string, long>& m, const std::string& key) {
        const auto it = m.find(key);
        return it == m.end() ? 0 : it->second;
    }
    std::unordered_map<std::string, long> atAddress_, serials_, heads_;
    const PlannedRecord* record_ = nullptr;
};

bool wellFormed(const Plan& plan) {
    if (plan.records.empty()) return false;
    for (const PlannedRecord& r : plan.records)
        if (r.after.size() != size_t(kFieldCount) ||
            (!r.before.empty() && r.before.size() != size_t(kFieldCount)))
            return false;
    return true;
}

// One record's write: the record `number` gets `after` (none: it goes), number 0 is new.
struct Write {
    long number;
    std::vector<std::string> after;
};

double keyOf(const std::vector<std::string>& values) {
    return leadingNumber(field(values, F序号));
}

// Changed records only, whose new 序号 stay near the old (a household split off right after
// its old one, a new head): the block of records between them is written again in 序号 order
// in place, so that a register in order stays in order without moving any other record.
// False when the block would be large; nothing is written then.
bool rewriteBlock(RecordStore& store, const std::vector<Write>& writes) {
    constexpr long kMostRewritten = 256;
    std::map<long, const std::vector<std::string>*> changed;
    double low = 0, high = 0;
    for (const Write& w : writes) {
        if (w.number <= 0 || w.after.empty()) return false;
        const double k = keyOf(w.after);
        low = changed.empty() ? k : std::min(low, k);
        high = changed.empty() ? k : std::max(high, k);
        changed[w.number] = &w.after;
    }
    if (changed.empty()) return false;
    long first = changed.begin()->first, last = changed.rbegin()->first;
    const auto keyAt = [&](long n) {
        store.GoTo(n);
        return leadingNumber(store.ReadField(F序号));
    };
    while (last < store.RecordCount() && last - first < kMostRewritten && keyAt(last + 1) < high)
        ++last;
    while (first > 1 && last - first < kMostRewritten && keyAt(first - 1) > low) --first;
    if (last - first >= kMostRewritten) return false;
    std::vector<std::vector<std::string>> now, block;
    for (long n = first; n <= last; ++n) {
        store.GoTo(n);
        if (store.IsDeleted()) return false;
        now.push_back(history::currentValues(store));
        const auto c = changed.find(n);
        block.push_back(c == changed.end() ? now.back() : *c->second);
    }
    std::stable_sort(block.begin(), block.end(),
                     [](const auto& a, const auto& b) { return keyOf(a) < keyOf(b); });
    for (long n = first; n <= last; ++n) {
        if (block[size_t(n - first)] == now[size_t(n - first)]) continue;
        store.GoTo(n);
        if (!store.OverwriteRecord(block[size_t(n - first)])) return false;
    }
    return true;
}

// The writes in the open register, in its one transaction. Where a block rewrite cannot keep
// it in order, a record that keeps its 序号 is written in place, one that takes a new 序号 goes
// and comes back at the end with the new ones (after every record, a household of its own stays
// in order), and the records left behind are packed away last.
bool write(RecordStore& store, const std::vector<Write>& writes, bool* inPlace) {
    *inPlace = rewriteBlock(store, writes);
    if (*inPlace) return true;
    bool ok = true, anyGone = false;
    std::vector<const std::vector<std::string>*> appended;
    for (const Write& w : writes) {
        if (!ok) break;
        if (w.number <= 0) {
            appended.push_back(&w.after);
            continue;
        }
        store.GoTo(w.number);
        if (!w.after.empty() && history::currentValues(store)[F序号 - 1] == field(w.after, F序号)) {
            ok = store.OverwriteRecord(w.after);
            continue;
        }
        ok = store.MarkDeleted();
        anyGone = true;
        if (!w.after.empty()) appended.push_back(&w.after);
    }
    std::stable_sort(appended.begin(), appended.end(),
                     [](const auto* a, const auto* b) { return keyOf(*a) < keyOf(*b); });
    for (const auto* values : appended)
        if (ok) ok = store.AppendRecord(*values);
    return ok && (!anyGone || store.Pack());
}

}  // namespace

bool RegisterEditor::openIndexed(RecordStore& store) {
    if (store.OpenTable(registerPath(), pathIn(folder_, names::kIndex))) return true;
    // Without an index that fits, the order is rebuilt and the index with it.
    static_cast<void>(store.CloseAllTables());  // nothing was written
    rebuildRegisterOrder(store, folder_);
    return store.FieldCount() > 0;
}

Outcome RegisterEditor::checkBusiness(const Plan& plan) {
    if (!wellFormed(plan)) return refused(msg::kNothingToChange);
    AfterBusiness after;
    RecordStore store;
    if (!store.OpenTable(registerPath())) return refused(kStale);
    // Only the addresses and 序号 the business touches matter to the rules: the other records
    // are read for two fields each.
    std::set<std::string> addresses, serials;
    for (const PlannedRecord& r : plan.records) {
        addresses.insert(field(r.after, F房屋详址));
        serials.insert(field(r.after, F序号));
    }
    std::vector<std::string> values(kFieldCount);
    const auto countRecord = [&](long n) {
        store.GoTo(n);
        if (store.IsDeleted()) return;
        values[F序号 - 1] = store.ReadField(F序号);
        values[F房屋详址 - 1] = store.ReadField(F房屋详址);
        const bool there = addresses.count(values[F房屋详址 - 1]) != 0;
        if (!there && !serials.count(values[F序号 - 1])) return;
        for (int f : {F户主姓名, F与户主关系, F姓名})
            values[size_t(f - 1)] = there ? store.ReadField(f) : std::string();
        after.count(values, 1);
    };
    // The engine finds those records; a walk reads every one when it cannot.
    const auto atAddresses =
        store.RecordsWith(fieldName(F房屋详址), {addresses.begin(), addresses.end()});
    const auto withSerials = store.RecordsWith(fieldName(F序号), {serials.begin(), serials.end()});
    if (atAddresses && withSerials) {
        std::set<long> found(atAddresses->begin(), atAddresses->end());
        found.insert(withSerials->begin(), withSerials->end());
        for (long n : found) countRecord(n);
    } else {
        for (long n = 1; n <= store.RecordCount(); ++n) countRecord(n);
    }
    static_cast<void>(store.CloseAllTables());  // only read
    for (const PlannedRecord& r : plan.records) {
        if (!r.before.empty()) after.count(r.before, -1);
        after.count(r.after, 1);
    }
    for (const PlannedRecord& r : plan.records) {
        maint::EntryForm form = maint::formOf(r.after);
        after.checking(r);
        const auto broken = maint::validateEntry(
            r.before.empty() ? maint::Mode::Add : maint::Mode::Modify, form, after, view_.lines());
        if (broken) {
            const std::string& name = field(r.after, F姓名);
            return refused(fromGb(name.empty() ? field(r.after, F序号) : name) +
                           QStringLiteral("：") + fromGb(*broken));
        }
    }
    return Outcome{};
}

namespace {

// Where each planned record stands now: its record number (0 for a new one). Empty when one of
// them is gone or differs from what the business was planned on, or an after 序号 is taken by a
// record the business does not free.
std::optional<std::vector<long>> locate(RecordStore& store, const std::vector<PlannedRecord>& rs) {
    std::vector<long> numbers;
    std::set<std::string> freed;
    for (const PlannedRecord& r : rs) {
        if (r.before.empty()) {
            numbers.push_back(0);
            continue;
        }
        if (!store.SeekKey(field(r.before, F序号))) return std::nullopt;
        if (history::currentValues(store) != r.before) return std::nullopt;
        numbers.push_back(store.RecordNumber());
        freed.insert(field(r.before, F序号));
    }
    std::set<std::string> taken;
    for (const PlannedRecord& r : rs) {
        const std::string& serial = field(r.after, F序号);
        if (!taken.insert(serial).second) return std::nullopt;
        if (!freed.count(serial) && store.SeekKey(serial)) return std::nullopt;
    }
    return numbers;
}

}  // namespace

Outcome RegisterEditor::applyBusiness(const Plan& plan) {
    const QString what = QStringLiteral("户籍业务");
    if (!wellFormed(plan)) return refused(msg::kNothingToChange);
    const QString indexPath = pathIn(folder_, names::kIndex);
    log::clearSqliteError();
    std::optional<std::vector<long>> numbers;
    {
        RecordStore reader;
        if (!openIndexed(reader))
            return failed(what, kBusinessFailed, QStringLiteral("打开户籍数据"),
                          causeFor(registerPath()));
        numbers = locate(reader, plan.records);
        static_cast<void>(reader.CloseAllTables());  // only read
    }
    if (!numbers) return refused(kStale);

    // The business's entry and one for each record, begun together right after it.
    const QString title = fromGb(plan.title);
    std::vector<history::Entry> entries(1);
    entries[0].action = history::Action::Business;
    entries[0].file = title;
    for (const PlannedRecord& r : plan.records) {
        history::Entry e;
        e.action = r.before.empty() ? history::Action::Add : history::Action::Modify;
        e.before = r.before;
        e.after = r.after;
        e.serial = field(r.after, F序号);
        e.name = field(r.after, F姓名);
        e.file = title;
        entries.push_back(std::move(e));
    }
    std::vector<history::Pending> records = history::begin(folder_, entries, registerPath());
    if (records.empty())
        return failed(what, kBusinessFailed, QStringLiteral("写入变更记录"),
                      causeFor(pathIn(folder_, history::kFileName)));

    std::vector<Write> writes;
    for (size_t i = 0; i < plan.records.size(); ++i)
        writes.push_back({(*numbers)[i], plan.records[i].after});
    log::clearSqliteError();
    bool committed = false, inPlace = false;
    {
        RecordStore writer;
        committed = writer.OpenTable(registerPath(), indexPath) &&
                    write(writer, writes, &inPlace) && writer.CloseAllTables();
    }
    const QString why = committed ? QString() : causeFor(registerPath());
    const long long id = records.front().id();
    history::Pending::finishAll(records, committed);
    if (!committed) return failed(what, kBusinessFailed, QStringLiteral("写入户籍数据"), why);

    Outcome done;
    done.message = kBusinessDone;
    done.entry = id;
    return paintBusiness(std::move(done), plan.records, inPlace);
}

Outcome RegisterEditor::paintBusiness(Outcome done, const std::vector<PlannedRecord>& records,
                                      bool inOrder) {
    if (viewLoaded_ && !view_.inRegisterView()) return reinstalled(std::move(done));
    if (inOrder) {
        // Written in place in order, with its index open: only the counters are read.
        static_cast<void>(store_.OpenTable(registerPath()));
        done.counts = maint::countPeople(store_);
        static_cast<void>(store_.CloseAllTables());  // only read
    } else {
        done.counts = resort();
    }
    if (!viewLoaded_) return done;
    // Every household the business touches shown anew, where its 序号 put it.
    std::vector<std::pair<std::string, std::vector<std::string>>> households;
    const auto labelsAt = [&](const std::string& address) -> std::vector<std::string>& {
        for (auto& h : households)
            if (h.first == address) return h.second;
        std::vector<std::string> labels;
        for (const auto& h : view_.households())
            if (h.address == address) labels = h.persons;
        return households.emplace_back(address, std::move(labels)).second;
    };
    for (const PlannedRecord& r : records) {
        if (r.before.empty()) continue;
        auto& labels = labelsAt(field(r.before, F房屋详址));
        const auto gone = std::find(labels.begin(), labels.end(), label(r.before));
        if (gone != labels.end()) labels.erase(gone);
    }
    for (const PlannedRecord& r : records)
        if (!r.after.empty()) labelsAt(field(r.after, F房屋详址)).push_back(label(r.after));
    auto edits = view_.replaceHouseholds(households);
    if (!edits) return reinstalled(std::move(done));
    done.edits = std::move(*edits);
    return done;
}

std::optional<QString> RegisterEditor::businessUndoRefusal(long long id) {
    const std::optional<history::Entry> business = history::entry(folder_, id);
    if (!business || business->action != history::Action::Business)
        return QStringLiteral("所选的记录不是户籍业务，不能撤销！");
    if (const auto undo = history::undoneBy(folder_, id))
        return QStringLiteral("此次业务已在第 %1 条记录中撤销过了！").arg(*undo);
    const std::vector<history::Entry> parts = history::parts(folder_, id);
    // A part whose values were erased (彻底清除) cannot be put back either.
    const bool whole = std::all_of(parts.begin(), parts.end(), [](const history::Entry& e) {
        return e.after.size() == size_t(kFieldCount) &&
               (e.before.empty() || e.before.size() == size_t(kFieldCount));
    });
    if (parts.empty() || !whole) return QStringLiteral("此次业务的变更记录不完整，不能撤销！");
    RecordStore store;
    if (!openIndexed(store)) return QStringLiteral("户籍数据无法打开，不能撤销此次业务！");
    std::optional<QString> refusal;
    for (const history::Entry& e : parts) {
        const bool found = store.SeekKey(field(e.after, F序号));
        if (!found || history::currentValues(store) != e.after) {
            refusal = QStringLiteral(
                          "%1（序号%2）的记录在此次业务之后已被修改或删除，"
                          "不能撤销此次业务！请逐条修改。")
                          .arg(fromGb(field(e.after, F姓名)), fromGb(field(e.after, F序号)));
            break;
        }
    }
    static_cast<void>(store.CloseAllTables());  // only read
    return refusal;
}

Outcome RegisterEditor::undoBusiness(long long id) {
    const QString what = QStringLiteral("撤销户籍业务");
    if (const auto why = businessUndoRefusal(id)) return refused(*why);
    const std::optional<history::Entry> business = history::entry(folder_, id);
    // The undo is a business of its own: every record put back as it was before.
    Plan back;
    back.business = Business::Birth;
    back.title = business ? toGb(business->file) : std::string();
    std::vector<history::Entry> entries(1);
    entries[0].action = history::Action::Undo;
    entries[0].undoes = id;
    entries[0].file = business ? business->file : QString();
    for (const history::Entry& e : history::parts(folder_, id)) {
        history::Entry u;
        u.action = e.before.empty() ? history::Action::Delete : history::Action::Modify;
        u.before = e.after;
        u.after = e.before;
        const auto& person = e.before.empty() ? e.after : e.before;
        u.serial = field(person, F序号);
        u.name = field(person, F姓名);
        u.file = entries[0].file;
        entries.push_back(std::move(u));
        back.records.push_back({e.after, e.before, {}});
    }
    std::vector<history::Pending> records = history::begin(folder_, entries, registerPath());
    if (records.empty())
        return failed(what, kUndoFailed, QStringLiteral("写入变更记录"),
                      causeFor(pathIn(folder_, history::kFileName)));

    log::clearSqliteError();
    bool committed = false, inPlace = false;
    {
        RecordStore writer;
        bool ok = openIndexed(writer);
        std::vector<Write> writes;
        for (const PlannedRecord& r : back.records) {
            ok = ok && writer.SeekKey(field(r.before, F序号));
            if (ok) writes.push_back({writer.RecordNumber(), r.after});
        }
        committed = ok && write(writer, writes, &inPlace) && writer.CloseAllTables();
    }
    const QString why = committed ? QString() : causeFor(registerPath());
    const long long undoId = records.front().id();
    history::Pending::finishAll(records, committed);
    if (!committed) return failed(what, kUndoFailed, QStringLiteral("写入户籍数据"), why);

    Outcome done;
    done.message = kUndone;
    done.entry = undoId;
    // The view: the records added by the business go, the others come back.
    return paintBusiness(std::move(done), back.records, inPlace);
}

}  // namespace edit

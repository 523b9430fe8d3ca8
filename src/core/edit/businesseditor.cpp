// The counter's business through the editing service: its check against the register as the
// whole business leaves it, its write as one operation, and its undo.
#include <QFileInfo>
#include <set>
#include <unordered_map>

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

std::string label(const std::vector<std::string>& values) {
    return field(values, F序号) + ":" + field(values, F户主姓名) + ":" + field(values, F姓名);
}

QString causeFor(const QString& path) {
    const QString sqlite = log::sqliteError();
    return sqlite.isEmpty() ? files::whyNotWritable(path) : sqlite;
}

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

// Where the tree shows the record with these values: by its label, in its household.
std::optional<maint::RegisterView::Place> placeOf(const maint::RegisterView& view,
                                                  const std::vector<std::string>& values) {
    const std::string was = label(values);
    const auto& households = view.households();
    for (size_t h = 0; h < households.size(); ++h) {
        if (households[h].address != field(values, F房屋详址)) continue;
        const auto& persons = households[h].persons;
        for (size_t p = 0; p < persons.size(); ++p)
            if (persons[p] == was) return maint::RegisterView::Place{int(h), int(p)};
    }
    return std::nullopt;
}

bool wellFormed(const Plan& plan) {
    if (plan.records.empty()) return false;
    for (const PlannedRecord& r : plan.records)
        if (r.after.size() != size_t(kFieldCount) ||
            (!r.before.empty() && r.before.size() != size_t(kFieldCount)))
            return false;
    return true;
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
    std::vector<std::string> values(kFieldCount);
    for (long n = 1; n <= store.RecordCount(); ++n) {
        store.GoTo(n);
        if (store.IsDeleted()) continue;
        for (int f : {F序号, F房屋详址, F户主姓名, F与户主关系, F姓名})
            values[size_t(f - 1)] = store.ReadField(f);
        after.count(values, 1);
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

    // One transaction. A record that keeps its 序号 is written in place; one that takes a new
    // 序号 (a household split off or joined to another) and every new one are appended, so that
    // a register in order stays in order when the new 序号 come after every record, and the
    // records left behind are packed away last.
    log::clearSqliteError();
    bool committed = false;
    {
        RecordStore writer;
        bool ok = writer.OpenTable(registerPath(), indexPath);
        bool anyMoved = false;
        std::vector<const PlannedRecord*> appended;
        for (size_t i = 0; ok && i < plan.records.size(); ++i) {
            const PlannedRecord& r = plan.records[i];
            if (r.before.empty() || field(r.before, F序号) != field(r.after, F序号)) {
                appended.push_back(&r);
                if (r.before.empty()) continue;
                writer.GoTo((*numbers)[i]);
                ok = writer.MarkDeleted();
                anyMoved = true;
                continue;
            }
            writer.GoTo((*numbers)[i]);
            ok = writer.OverwriteRecord(r.after);
        }
        std::stable_sort(appended.begin(), appended.end(), [](const auto* a, const auto* b) {
            return leadingNumber(field(a->after, F序号)) < leadingNumber(field(b->after, F序号));
        });
        for (const PlannedRecord* r : appended)
            if (ok) ok = writer.AppendRecord(r->after);
        if (ok && anyMoved) ok = writer.Pack();
        committed = ok && writer.CloseAllTables();
    }
    const QString why = committed ? QString() : causeFor(registerPath());
    const long long id = records.front().id();
    for (history::Pending& r : records) r.finish(committed);
    if (!committed) return failed(what, kBusinessFailed, QStringLiteral("写入户籍数据"), why);

    Outcome done;
    done.message = kBusinessDone;
    done.entry = id;
    return paintBusiness(std::move(done), plan.records);
}

Outcome RegisterEditor::paintBusiness(Outcome done, const std::vector<PlannedRecord>& records) {
    if (viewLoaded_ && !view_.inRegisterView()) return reinstalled(std::move(done));
    done.counts = resort();
    if (!viewLoaded_) return done;
    // Each record as the single edits show it: found by its label in its household.
    for (const PlannedRecord& r : records) {
        std::vector<maint::ViewEdit> edits;
        if (r.after.empty()) {
            const auto place = placeOf(view_, r.before);
            if (!place) return reinstalled(std::move(done));
            view_.select(place);
            edits = view_.removeSelected();
        } else if (r.before.empty()) {
            edits = view_.addPerson(field(r.after, F房屋详址), label(r.after), false);
        } else {
            const auto place = placeOf(view_, r.before);
            // A view that no longer shows the record is shown anew.
            if (!place) return reinstalled(std::move(done));
            view_.select(place);
            edits = view_.modifySelected(field(r.after, F房屋详址), label(r.after));
        }
        done.edits.insert(done.edits.end(), edits.begin(), edits.end());
    }
    view_.select(std::nullopt);
    return done;
}

std::optional<QString> RegisterEditor::businessUndoRefusal(long long id) {
    const std::optional<history::Entry> business = history::entry(folder_, id);
    if (!business || business->action != history::Action::Business)
        return QStringLiteral("所选的记录不是户籍业务，不能撤销！");
    if (const auto undo = history::undoneBy(folder_, id))
        return QStringLiteral("此次业务已在第 %1 条记录中撤销过了！").arg(*undo);
    const std::vector<history::Entry> parts = history::parts(folder_, id);
    if (parts.empty()) return QStringLiteral("此次业务的变更记录不完整，不能撤销！");
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
    bool committed = false;
    {
        RecordStore writer;
        bool ok = openIndexed(writer);
        bool anyDeleted = false;
        std::vector<const PlannedRecord*> appended;
        for (const PlannedRecord& r : back.records) {
            if (!ok) break;
            ok = writer.SeekKey(field(r.before, F序号));
            if (!ok) break;
            if (!r.after.empty() && field(r.before, F序号) == field(r.after, F序号)) {
                ok = writer.OverwriteRecord(r.after);
                continue;
            }
            ok = writer.MarkDeleted();
            anyDeleted = true;
            if (!r.after.empty()) appended.push_back(&r);
        }
        std::stable_sort(appended.begin(), appended.end(), [](const auto* a, const auto* b) {
            return leadingNumber(field(a->after, F序号)) < leadingNumber(field(b->after, F序号));
        });
        for (const PlannedRecord* r : appended)
            if (ok) ok = writer.AppendRecord(r->after);
        if (ok && anyDeleted) ok = writer.Pack();
        committed = ok && writer.CloseAllTables();
    }
    const QString why = committed ? QString() : causeFor(registerPath());
    const long long undoId = records.front().id();
    for (history::Pending& r : records) r.finish(committed);
    if (!committed) return failed(what, kUndoFailed, QStringLiteral("写入户籍数据"), why);

    Outcome done;
    done.message = kUndone;
    done.entry = undoId;
    // The view: the records added by the business go, the others come back.
    return paintBusiness(std::move(done), back.records);
}

}  // namespace edit

#include "core/register/history.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <algorithm>
#include <set>

#include "core/register/files.h"
#include "core/register/log.h"
#include "core/register/ownfile.h"
#include "core/register/person.h"
#include "core/register/safetycopy.h"
#include "core/register/sqlitedb.h"
#include "core/register/store.h"
#include "core/register/text.h"
#include "core/register/workfiles.h"

namespace reg::history {

namespace {

constexpr int kHistoryAppId = 0x48484A48;  // "HHJH"

const char* const kSchema =
    "PRAGMA application_id = 1212697160;"
    "PRAGMA user_version = 1;"
    "CREATE TABLE entries("
    " id INTEGER PRIMARY KEY,"
    " state INTEGER NOT NULL,"
    " time TEXT NOT NULL,"
    " action INTEGER NOT NULL,"
    " action_name TEXT NOT NULL,"
    " serial TEXT NOT NULL DEFAULT '',"
    " name TEXT NOT NULL DEFAULT '',"
    " before TEXT, after TEXT,"
    " count_before INTEGER, count_after INTEGER,"
    " file TEXT, copy TEXT, undoes INTEGER,"
    " target TEXT, target_a INTEGER, target_b INTEGER);"
    "CREATE INDEX begun ON entries(state) WHERE state = 0;";

// Entries whose action failed but which could not be removed then (the disk refused): they go
// at the next write, before the register's identity can move on and make them look made.
std::set<std::pair<QString, long long>>& abandoned() {
    static std::set<std::pair<QString, long long>> ids;
    return ids;
}

// History files set aside during writes, told at the next settle.
QStringList& setAsideUntold() {
    static QStringList names;
    return names;
}

using sqlite::Access;
using sqlite::Database;
using sqlite::Statement;

const QString kWhat = QStringLiteral("变更记录");

// The run log's line for a failure of the history (its file has a fixed name, so none is given).
void logFailure(const QString& action, const QString& reason) {
    log::failure(action + kWhat, reason);
}

// The history's application id and its table.
bool looksOurs(Database& db) {
    return db.pragmaInt("application_id") == kHistoryAppId &&
           db.prepare(
               "SELECT id, state, time, action, action_name, serial, name, before, after, "
               "count_before, count_after, file, copy, undoes, target, target_a, target_b "
               "FROM entries LIMIT 0");
}

// The history of `folder`, opened for one action; a damaged or foreign one is set aside and a
// new one started.
Database open(const QString& folder, bool thorough = false) {
    static const ownfile::Kind kind{kSchema, looksOurs, kWhat};
    return ownfile::open(pathIn(folder, kFileName), kind, thorough, QDateTime(), setAsideUntold());
}

uint32_t bigEndian32(const char* p) {
    const auto* u = reinterpret_cast<const unsigned char*>(p);
    return uint32_t(u[0]) << 24 | uint32_t(u[1]) << 16 | uint32_t(u[2]) << 8 | uint32_t(u[3]);
}

struct Identity {
    bool present = false;
    qint64 a = 0, b = 0;
    bool operator==(const Identity&) const = default;
};

// What tells one state of a file from the next. An SQLite table: its user_version, new with
// every file written anew, and its change counter, raised by every commit. Any other file (the
// password file): its size and modification time.
Identity identityOf(const QString& path) {
    if (path.isEmpty() || !files::exists(path)) return {false, 0, 0};
    // A journal left by a crash is rolled back first: until then the header may show pages of
    // a commit that never happened.
    if (files::exists(path + QStringLiteral("-journal"))) {
        RecordStore store;
        (void)store.OpenTable(path);
        (void)store.CloseAllTables();
    }
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {true, -1, -1};
    const QByteArray h = f.read(100);
    if (h.size() == 100 && h.startsWith(QByteArrayLiteral("SQLite format 3")))
        return {true, qint64(int32_t(bigEndian32(h.constData() + 60))),
                qint64(bigEndian32(h.constData() + 24))};
    return {true, f.size(), QFileInfo(path).lastModified().toMSecsSinceEpoch()};
}

QString valuesJson(const std::vector<std::string>& values) {
    QJsonArray array;
    for (const std::string& v : values) array.append(fromGb(v));
    return QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Compact));
}

std::vector<std::string> valuesOf(const QString& json) {
    std::vector<std::string> out;
    for (const auto& v : QJsonDocument::fromJson(json.toUtf8()).array())
        out.push_back(toGb(v.toString()));
    return out;
}

bool replaces(Action a) {
    return a == Action::Import || a == Action::Restore || a == Action::Undo;
}

void dropAbandoned(const QString& folder, Database& db) {
    auto& ids = abandoned();
    for (auto it = ids.begin(); it != ids.end();) {
        if (it->first != folder) {
            ++it;
            continue;
        }
        Statement del = db.prepare("DELETE FROM entries WHERE id = ? AND state = 0");
        del.bindInt(1, it->second);
        it = del.done() ? ids.erase(it) : std::next(it);
    }
}

// Every entry left begun: made when its file has moved on from the identity it had.
void settleBegun(const QString& folder, Database& db) {
    dropAbandoned(folder, db);
    struct Begun {
        long long id;
        Action action;
        QString target;
        Identity was;
    };
    std::vector<Begun> begun;
    {
        Statement st = db.prepare(
            "SELECT id, action, target, target_a IS NOT NULL, target_a, target_b "
            "FROM entries WHERE state = 0");
        while (st.row())
            begun.push_back({st.integer(0),
                             Action(st.integer(1)),
                             st.string(2),
                             {st.integer(3) != 0, st.integer(4), st.integer(5)}});
    }
    for (Begun& b : begun) {
        const QString target = b.target.isEmpty() || QFileInfo(b.target).isAbsolute()
                                   ? b.target
                                   : pathIn(folder, b.target);
        const bool made = !(identityOf(target) == b.was);
        if (made) {
            Statement up = db.prepare("UPDATE entries SET state = 1, count_after = ? WHERE id = ?");
            up.bindInt(1, replaces(b.action) ? recordCount(pathIn(folder, names::kRegister)) : -1);
            up.bindInt(2, b.id);
            if (!up.done()) logFailure(QStringLiteral("整理"), db.error());
        } else {
            Statement del = db.prepare("DELETE FROM entries WHERE id = ?");
            del.bindInt(1, b.id);
            if (!del.done()) logFailure(QStringLiteral("整理"), db.error());
        }
    }
}

Entry readEntry(const Statement& st, bool withValues) {
    Entry e;
    e.id = st.integer(0);
    e.time = st.string(1);
    e.action = Action(st.integer(2));
    e.serial = toGb(st.string(3));
    e.name = toGb(st.string(4));
    e.countBefore = long(st.integer(5));
    e.countAfter = long(st.integer(6));
    e.file = st.string(7);
    e.copy = st.string(8);
    e.undoes = st.integer(9);
    if (withValues) {
        e.before = valuesOf(st.string(10));
        e.after = valuesOf(st.string(11));
    }
    return e;
}

constexpr const char* kColumns =
    "SELECT id, time, action, serial, name, coalesce(count_before, -1), "
    "coalesce(count_after, -1), coalesce(file, ''), coalesce(copy, ''), coalesce(undoes, 0)";

}  // namespace

QString actionName(Action action) {
    switch (action) {
        case Action::Add:
            return QStringLiteral("添加");
        case Action::Modify:
            return QStringLiteral("修改");
        case Action::Delete:
            return QStringLiteral("删除");
        case Action::Clear:
            return QStringLiteral("清空");
        case Action::Import:
            return QStringLiteral("导入");
        case Action::Restore:
            return QStringLiteral("恢复数据");
        case Action::Undo:
            return QStringLiteral("撤销恢复/导入");
        case Action::Password:
            return QStringLiteral("修改密码");
        case Action::Batch:
            return QStringLiteral("批量变更");
        case Action::Business:
            return QStringLiteral("户籍业务");
        case Action::Certificate:
            return QStringLiteral("开具证明");
        case Action::Export:
            return QStringLiteral("导出");
        case Action::Backup:
            return QStringLiteral("备份数据");
        case Action::Print:
            return QStringLiteral("打印");
        case Action::Erase:
            return QStringLiteral("彻底清除");
    }
    return {};
}

QString actionName(const Entry& entry) {
    if (entry.action == Action::Undo && entry.copy.isEmpty() && !entry.file.isEmpty())
        return QStringLiteral("撤销户籍业务");
    return actionName(entry.action);
}

QString setAsideWarning(const QString& name) {
    return QStringLiteral(
               "变更记录文件已损坏或不是本软件的文件，已改名为“%1”保存，"
               "并开始了新的变更记录。")
        .arg(name);
}

long recordCount(const QString& registerPath) {
    RecordStore store;
    if (!store.OpenTable(registerPath)) return -1;
    const long n = store.CountMatching();
    (void)store.CloseAllTables();
    return n;
}

Health settle(const QString& folder) {
    Health health;
    {
        Database db = open(folder, true);
        if (db) {
            sqlite::Transaction settling(db, true);
            if (settling.active()) settleBegun(folder, db);
            if (!settling.active() || !settling.commit())
                logFailure(QStringLiteral("整理"), db.error());
        }
    }
    health.setAside.swap(setAsideUntold());
    return health;
}

Pending begin(const QString& folder, const Entry& entry, const QString& target) {
    std::vector<Pending> begun = begin(folder, std::vector<Entry>{entry}, target);
    return begun.empty() ? Pending() : std::move(begun.front());
}

std::vector<Pending> begin(const QString& folder, const std::vector<Entry>& entries,
                           const QString& target) {
    Database db = open(folder);
    if (!db) return {};
    sqlite::Transaction recording(db, true);
    if (!recording.active()) {
        logFailure(QStringLiteral("记录"), db.error());
        return {};
    }
    settleBegun(folder, db);
    // The target is kept by its name in the program folder; the identity is taken as late as
    // possible, right before the change.
    const QFileInfo info(target);
    const QString relative = target.isEmpty() ? QString()
                             : info.absolutePath() == QFileInfo(folder).absoluteFilePath()
                                 ? info.fileName()
                                 : info.absoluteFilePath();
    const Identity id = identityOf(target);
    const QString now =
        QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    std::vector<Pending> begun;
    // All entries or none: a change of several records settles as one.
    for (const Entry& entry : entries) {
        Statement st = db.prepare(
            "INSERT INTO entries(state, time, action, action_name, serial, name, before, after, "
            "count_before, count_after, file, copy, undoes, target, target_a, target_b) "
            "VALUES(0, ?, ?, ?, ?, ?, ?, ?, ?, NULL, ?, ?, ?, ?, ?, ?)");
        st.bindText(1, entry.time.isEmpty() ? now : entry.time);
        st.bindInt(2, int(entry.action));
        st.bindText(3, actionName(entry));
        st.bindText(4, fromGb(entry.serial));
        st.bindText(5, fromGb(entry.name));
        if (!entry.before.empty()) st.bindText(6, valuesJson(entry.before));
        if (!entry.after.empty()) st.bindText(7, valuesJson(entry.after));
        if (entry.countBefore >= 0) st.bindInt(8, entry.countBefore);
        if (!entry.file.isEmpty()) st.bindText(9, entry.file);
        if (!entry.copy.isEmpty()) st.bindText(10, entry.copy);
        if (entry.undoes > 0) st.bindInt(11, entry.undoes);
        st.bindText(12, relative);
        if (id.present) {
            st.bindInt(13, id.a);
            st.bindInt(14, id.b);
        }
        if (!st.done()) {
            logFailure(QStringLiteral("记录"), db.error());
            return {};  // the transaction rolls back
        }
        begun.emplace_back(folder, db.lastInsertId());
    }
    if (!recording.commit()) {
        logFailure(QStringLiteral("记录"), db.error());
        return {};
    }
    return begun;
}

bool recordFact(const QString& folder, const Entry& entry) {
    Database db = open(folder);
    if (!db) return false;
    sqlite::Transaction recording(db, true);
    Statement there =
        db.prepare("SELECT 1 FROM entries WHERE state = 1 AND action = ? AND file = ? LIMIT 1");
    there.bindInt(1, int(entry.action));
    there.bindText(2, entry.file);
    const bool recorded = recording.active() && there.row();
    there.reset();
    if (recorded) return true;
    Statement st = db.prepare(
        "INSERT INTO entries(state, time, action, action_name, serial, name, file) "
        "VALUES(1, ?, ?, ?, ?, ?, ?)");
    st.bindText(1, entry.time.isEmpty() ? QDateTime::currentDateTime().toString(
                                              QStringLiteral("yyyy-MM-dd HH:mm:ss"))
                                        : entry.time);
    st.bindInt(2, int(entry.action));
    st.bindText(3, actionName(entry.action));
    st.bindText(4, fromGb(entry.serial));
    st.bindText(5, fromGb(entry.name));
    st.bindText(6, entry.file);
    if (!recording.active() || !st.done() || !recording.commit()) {
        logFailure(QStringLiteral("记录"), db.error());
        return false;
    }
    return true;
}

namespace {
const QString kAccessSeparator = QStringLiteral("：");
}

bool recordAccess(const QString& folder, Action kind, const QString& what, const QString& where,
                  long persons, const std::string& serial, const std::string& name) {
    Database db = open(folder);
    if (!db) return false;
    Statement st = db.prepare(
        "INSERT INTO entries(state, time, action, action_name, serial, name, count_after, file) "
        "VALUES(1, ?, ?, ?, ?, ?, ?, ?)");
    st.bindText(1, QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
    st.bindInt(2, int(kind));
    st.bindText(3, actionName(kind));
    st.bindText(4, fromGb(serial));
    st.bindText(5, fromGb(name));
    if (persons >= 0) st.bindInt(6, persons);  // else NULL: counts only
    st.bindText(7, what + kAccessSeparator + where);
    if (!st.done()) {
        logFailure(QStringLiteral("记录"), db.error());
        return false;
    }
    return true;
}

QString accessWhat(const Entry& entry) {
    return entry.file.section(kAccessSeparator, 0, 0);
}

QString accessWhere(const Entry& entry) {
    return entry.file.section(kAccessSeparator, 1);
}

const std::vector<Kind>& kinds() {
    static const std::vector<Kind> all{
        {QStringLiteral("全部类别"), {}},
        {QStringLiteral("登记变更"),
         {Action::Add, Action::Modify, Action::Delete, Action::Clear, Action::Batch}},
        {QStringLiteral("户籍业务"), {Action::Business}},
        {QStringLiteral("导入、恢复与撤销"), {Action::Import, Action::Restore, Action::Undo}},
        {QStringLiteral("开具证明"), {Action::Certificate}},
        {QStringLiteral("导出与打印"), {Action::Export, Action::Print}},
        {QStringLiteral("备份数据"), {Action::Backup}},
        {QStringLiteral("修改密码"), {Action::Password}},
        {QStringLiteral("彻底清除"), {Action::Erase}},
    };
    return all;
}

bool isOfKind(const Entry& entry, const Kind& kind) {
    if (kind.actions.empty()) return true;
    // The records of a business (an add, modify or delete naming its title, without a safety
    // copy) and the undo of one are shown with the businesses.
    const bool record = entry.action == Action::Add || entry.action == Action::Modify ||
                        entry.action == Action::Delete || entry.action == Action::Undo;
    const Action action =
        record && entry.copy.isEmpty() && !entry.file.isEmpty() ? Action::Business : entry.action;
    return std::find(kind.actions.begin(), kind.actions.end(), action) != kind.actions.end();
}

Pending beginEdit(const QString& folder, Action action, const std::vector<std::string>& before,
                  const std::vector<std::string>& after) {
    Entry e;
    e.action = action;
    e.before = before;
    e.after = after;
    const auto& person = after.empty() || action == Action::Clear ? before : after;
    if (person.size() >= size_t(kFieldCount)) {
        e.serial = person[F序号 - 1];
        e.name = person[F姓名 - 1];
    }
    return begin(folder, e, pathIn(folder, names::kRegister));
}

std::vector<std::string> currentValues(RecordStore& store) {
    std::vector<std::string> values;
    for (int pos = 1; pos <= kFieldCount; ++pos) values.push_back(store.ReadField(pos));
    return values;
}

bool Pending::finish(bool made, long countAfter, const std::vector<std::string>& after) {
    if (id_ <= 0) return false;
    bool ok = false;
    {
        Database db = open(folder_);
        if (made) {
            Statement st = db.prepare(
                after.empty() ? "UPDATE entries SET state = 1, count_after = ? WHERE id = ?"
                              : "UPDATE entries SET state = 1, count_after = ?, after = ? "
                                "WHERE id = ?");
            if (countAfter >= 0) st.bindInt(1, countAfter);
            if (!after.empty()) st.bindText(2, valuesJson(after));
            st.bindInt(after.empty() ? 2 : 3, id_);
            ok = st.done();
        } else {
            Statement st = db.prepare("DELETE FROM entries WHERE id = ?");
            st.bindInt(1, id_);
            ok = st.done();
            if (!ok) abandoned().insert({folder_, id_});
        }
        // Without a history open(), which could not be opened, has told why already.
        if (!ok && db) logFailure(QStringLiteral("完成"), db.error());
    }
    id_ = 0;
    return ok;
}

bool Pending::finishAll(std::vector<Pending>& begun, bool made) {
    if (begun.empty()) return true;
    bool ok = false;
    {
        Database db = open(begun.front().folder_);
        sqlite::Transaction finishing(db, true);
        ok = finishing.active();
        for (const Pending& p : begun) {
            if (!ok || p.id_ <= 0) continue;
            Statement st = db.prepare(made ? "UPDATE entries SET state = 1 WHERE id = ?"
                                           : "DELETE FROM entries WHERE id = ?");
            st.bindInt(1, p.id_);
            ok = st.done();
        }
        ok = ok && finishing.commit();
        if (!ok && db) logFailure(QStringLiteral("完成"), db.error());
    }
    // What the history could not take is done one by one, as ever.
    for (Pending& p : begun)
        if (!ok)
            (void)p.finish(made);
        else
            p.id_ = 0;
    return ok;
}

std::vector<Entry> entries(const QString& folder, bool withValues) {
    std::vector<Entry> out;
    Database db = open(folder);
    const std::string sql = std::string(kColumns) +
                            (withValues ? ", coalesce(before, '[]'), coalesce(after, '[]')" : "") +
                            " FROM entries WHERE state = 1 ORDER BY id DESC";
    Statement st = db.prepare(sql);
    Statement::Step step;
    while ((step = st.step()) == Statement::Step::Row) out.push_back(readEntry(st, withValues));
    if (step == Statement::Step::Failed && db) logFailure(QStringLiteral("读取"), db.error());
    return out;
}

std::optional<Entry> entry(const QString& folder, long long id) {
    Database db = open(folder);
    const std::string sql = std::string(kColumns) +
                            ", coalesce(before, '[]'), coalesce(after, '[]') FROM entries "
                            "WHERE state = 1 AND id = ?";
    Statement st = db.prepare(sql);
    st.bindInt(1, id);
    if (!st.row()) return std::nullopt;
    return readEntry(st, true);
}

std::optional<Entry> undoable(const QString& folder) {
    Database db = open(folder);
    const std::string sql = std::string(kColumns) +
                            " FROM entries WHERE state = 1 AND action IN (5, 6, 7, 9) "
                            // An undone business puts records back, not a register.
                            "AND NOT (action = 7 AND undoes IN "
                            "(SELECT id FROM entries WHERE action = 10)) "
                            "ORDER BY id DESC LIMIT 1";
    Statement st = db.prepare(sql);
    if (!st.row()) return std::nullopt;
    Entry e = readEntry(st, false);
    if (e.action == Action::Undo || e.copy.isEmpty()) return std::nullopt;
    if (!files::exists(safety::pathOf(folder, e.copy))) return std::nullopt;
    return e;
}

std::vector<Entry> parts(const QString& folder, long long id) {
    std::vector<Entry> out;
    Database db = open(folder);
    Statement head = db.prepare(
        "SELECT action, coalesce(file, '') FROM entries "
        "WHERE state = 1 AND id = ?");
    head.bindInt(1, id);
    if (!head.row()) return out;
    const Action action = Action(head.integer(0));
    const QString title = head.string(1);
    if ((action != Action::Business && action != Action::Undo) || title.isEmpty()) return out;
    // Begun in one transaction right after it: the ids that follow, as long as they are record
    // entries naming the same title.
    const std::string sql = std::string(kColumns) +
                            ", coalesce(before, '[]'), coalesce(after, '[]') FROM entries "
                            "WHERE state = 1 AND id > ? ORDER BY id";
    Statement st = db.prepare(sql);
    st.bindInt(1, id);
    for (long long expected = id + 1; st.row(); ++expected) {
        Entry e = readEntry(st, true);
        const bool record =
            e.action == Action::Add || e.action == Action::Modify || e.action == Action::Delete;
        if (e.id != expected || !record || e.file != title || !e.copy.isEmpty()) break;
        out.push_back(std::move(e));
    }
    return out;
}

std::optional<long long> undoneBy(const QString& folder, long long id) {
    Database db = open(folder);
    Statement st = db.prepare(
        "SELECT id FROM entries WHERE state = 1 AND action = 7 AND "
        "undoes = ? ORDER BY id LIMIT 1");
    st.bindInt(1, id);
    if (!st.row()) return std::nullopt;
    return st.integer(0);
}

long entriesAfter(const QString& folder, long long id) {
    Database db = open(folder);
    // Facts that changed no register (a password, a certificate, an export) are no changes.
    Statement st = db.prepare(
        "SELECT count(*) FROM entries WHERE state = 1 AND id > ? "
        "AND action NOT IN (8, 11, 12, 13, 14, 15)");
    st.bindInt(1, id);
    return st.row() ? long(st.integer(0)) : 0;
}

long countBefore(const QString& folder, const QString& time) {
    Database db = open(folder);
    if (!db) return -1;
    Statement st = db.prepare("SELECT count(*) FROM entries WHERE state = 1 AND time < ?");
    st.bindText(1, time);
    return st.row() ? long(st.integer(0)) : -1;
}

long removeBefore(const QString& folder, const QString& time) {
    const long due = countBefore(folder, time);
    if (due <= 0) return due;
    Database db = open(folder);
    if (!db) return -1;
    Statement st = db.prepare("DELETE FROM entries WHERE state = 1 AND time < ?");
    st.bindText(1, time);
    if (!st.done()) {
        logFailure(QStringLiteral("按保存期限删除"), db.error());
        return -1;
    }
    return due;
}

bool isPerson(const std::vector<std::string>& values, const Person& person) {
    if (values.size() != size_t(kFieldCount)) return false;
    if (!person.id.empty() && values[F公民身份号码 - 1] == person.id) return true;
    return values[F序号 - 1] == person.serial && values[F姓名 - 1] == person.name;
}

long erasePerson(const QString& folder, const Person& person) {
    Database db = open(folder);
    if (!db) return -1;
    std::vector<long long> theirs;
    {
        Statement st = db.prepare(std::string(kColumns) +
                                  ", coalesce(before, '[]'), coalesce(after, '[]') FROM entries");
        Statement::Step step;
        while ((step = st.step()) == Statement::Step::Row) {
            const Entry e = readEntry(st, true);
            if ((e.serial == person.serial && e.name == person.name) ||
                isPerson(e.before, person) || isPerson(e.after, person))
                theirs.push_back(e.id);
        }
        if (step == Statement::Step::Failed) {
            logFailure(QStringLiteral("清除"), db.error());
            return -1;
        }
    }
    if (!db.begin()) return -1;
    // A certificate's fact names its person in `file`; a business's parts keep their title there.
    Statement clear = db.prepare(
        "UPDATE entries SET before = NULL, after = NULL, serial = '', name = ?, "
        "file = CASE WHEN action = 11 THEN NULL ELSE file END WHERE id = ?");
    for (long long id : theirs) {
        clear.bindText(1, kErased);
        clear.bindInt(2, id);
        if (!clear.done()) {
            logFailure(QStringLiteral("清除"), db.error());
            db.rollback();
            return -1;
        }
        clear.reset();
    }
    if (!db.commit() || !db.exec("VACUUM")) {
        logFailure(QStringLiteral("清除"), db.error());
        return -1;
    }
    return long(theirs.size());
}

bool recordErasure(const QString& folder, const QString& what) {
    return recordAccess(folder, Action::Erase, what, QString(), -1);
}

}  // namespace reg::history

#include "core/register/history.h"

#include <sqlite3.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <set>

#include "core/register/files.h"
#include "core/register/person.h"
#include "core/register/safetycopy.h"
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

class Db {
  public:
    explicit Db(sqlite3* db = nullptr) : db_(db) {}
    Db(Db&& o) noexcept : db_(o.db_) { o.db_ = nullptr; }
    Db& operator=(Db&& o) noexcept {
        std::swap(db_, o.db_);
        return *this;
    }
    ~Db() { sqlite3_close(db_); }
    explicit operator bool() const { return db_ != nullptr; }
    sqlite3* get() const { return db_; }
    bool exec(const char* sql) const {
        return db_ && sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
    }

  private:
    sqlite3* db_;
};

struct Stmt {
    sqlite3_stmt* s = nullptr;
    Stmt(const Db& db, const char* sql) {
        if (sqlite3_prepare_v2(db.get(), sql, -1, &s, nullptr) != SQLITE_OK) {
            sqlite3_finalize(s);
            s = nullptr;
        }
    }
    Stmt(const Stmt&) = delete;
    Stmt& operator=(const Stmt&) = delete;
    ~Stmt() { sqlite3_finalize(s); }
    explicit operator bool() const { return s != nullptr; }
    bool row() { return s && sqlite3_step(s) == SQLITE_ROW; }
    bool done() { return s && sqlite3_step(s) == SQLITE_DONE; }
    void text(int i, const QString& v) {
        const QByteArray u = v.toUtf8();
        sqlite3_bind_text(s, i, u.constData(), int(u.size()), SQLITE_TRANSIENT);
    }
    void gbText(int i, const std::string& v) { text(i, fromGb(v)); }
    void integer(int i, sqlite3_int64 v) { sqlite3_bind_int64(s, i, v); }
    sqlite3_int64 integer(int col) const { return sqlite3_column_int64(s, col); }
    QString text(int col) const {
        const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(s, col));
        return p ? QString::fromUtf8(p, sqlite3_column_bytes(s, col)) : QString();
    }
};

sqlite3* openFile(const QString& path, int flags) {
    sqlite3* db = nullptr;
    // UTF-8 on every platform, as SQLite expects (never the local code page).
    if (sqlite3_open_v2(path.toUtf8().constData(), &db, flags, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        return nullptr;
    }
    sqlite3_busy_timeout(db, 2000);
    sqlite3_db_config(db, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
    return db;
}

// A new, empty history file, written under a temporary name and renamed into place.
bool createFresh(const QString& path) {
    const QString tmp = files::temporaryNameBeside(path);
    bool ok = false;
    {
        Db db(openFile(tmp, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE));
        ok = db && db.exec("PRAGMA journal_mode=DELETE") && db.exec("BEGIN") && db.exec(kSchema) &&
             db.exec("COMMIT");
    }
    ok = ok && files::syncFile(tmp) && files::move(tmp, path);
    if (!ok) files::remove(tmp);
    return ok;
}

// A damaged or foreign file keeps its content under a new name; its journal goes with it, so
// that the new history never picks up the old file's pages.
QString setAside(const QString& path) {
    const QFileInfo info(path);
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString name;
    for (int n = 1;; ++n) {
        name = info.completeBaseName() + QStringLiteral("-损坏-") + stamp +
               (n > 1 ? QStringLiteral("-%1").arg(n) : QString()) + QStringLiteral(".wav");
        if (!files::exists(info.dir().filePath(name))) break;
    }
    const QString target = info.dir().filePath(name);
    if (!files::move(path, target)) return {};
    if (files::exists(path + QStringLiteral("-journal")))
        files::move(path + QStringLiteral("-journal"), target + QStringLiteral("-journal"));
    return name;
}

bool looksOurs(const Db& db, bool thorough) {
    Stmt id(db, "PRAGMA application_id");
    if (!id.row() || id.integer(0) != kHistoryAppId) return false;
    Stmt table(db,
               "SELECT id, state, time, action, action_name, serial, name, before, after, "
               "count_before, count_after, file, copy, undoes, target, target_a, target_b "
               "FROM entries LIMIT 0");
    if (!table) return false;
    if (!thorough) return true;
    Stmt check(db, "PRAGMA quick_check");
    return check.row() && check.text(0) == QLatin1String("ok");
}

// The history of `folder`, opened for one action; a damaged or foreign one is set aside and a
// new one started.
Db open(const QString& folder, bool thorough = false) {
    const QString path = pathIn(folder, kFileName);
    if (!files::exists(path) && !createFresh(path)) return Db();
    Db db(openFile(path, SQLITE_OPEN_READWRITE));
    if (db && db.exec("PRAGMA journal_mode=DELETE") && looksOurs(db, thorough)) return db;
    // A file that cannot even be opened for writing is not ours to move.
    if (!db && !QFileInfo(path).isWritable()) return Db();
    db = Db();
    const QString aside = setAside(path);
    if (aside.isEmpty() || !createFresh(path)) return Db();
    setAsideUntold().append(aside);
    return Db(openFile(path, SQLITE_OPEN_READWRITE));
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

void dropAbandoned(const QString& folder, const Db& db) {
    auto& ids = abandoned();
    for (auto it = ids.begin(); it != ids.end();) {
        if (it->first != folder) {
            ++it;
            continue;
        }
        Stmt del(db, "DELETE FROM entries WHERE id = ? AND state = 0");
        del.integer(1, it->second);
        it = del.done() ? ids.erase(it) : std::next(it);
    }
}

// Every entry left begun: made when its file has moved on from the identity it had.
void settleBegun(const QString& folder, const Db& db) {
    dropAbandoned(folder, db);
    struct Begun {
        long long id;
        Action action;
        QString target;
        Identity was;
    };
    std::vector<Begun> begun;
    {
        Stmt st(db,
                "SELECT id, action, target, target_a IS NOT NULL, target_a, target_b "
                "FROM entries WHERE state = 0");
        while (st.row())
            begun.push_back({st.integer(0),
                             Action(st.integer(1)),
                             st.text(2),
                             {st.integer(3) != 0, st.integer(4), st.integer(5)}});
    }
    for (Begun& b : begun) {
        const QString target = b.target.isEmpty() || QFileInfo(b.target).isAbsolute()
                                   ? b.target
                                   : pathIn(folder, b.target);
        const bool made = !(identityOf(target) == b.was);
        if (made) {
            Stmt up(db, "UPDATE entries SET state = 1, count_after = ? WHERE id = ?");
            up.integer(1, replaces(b.action) ? recordCount(pathIn(folder, names::kRegister)) : -1);
            up.integer(2, b.id);
            (void)up.done();
        } else {
            Stmt del(db, "DELETE FROM entries WHERE id = ?");
            del.integer(1, b.id);
            (void)del.done();
        }
    }
}

Entry readEntry(Stmt& st, bool withValues) {
    Entry e;
    e.id = st.integer(0);
    e.time = st.text(1);
    e.action = Action(st.integer(2));
    e.serial = toGb(st.text(3));
    e.name = toGb(st.text(4));
    e.countBefore = long(st.integer(5));
    e.countAfter = long(st.integer(6));
    e.file = st.text(7);
    e.copy = st.text(8);
    e.undoes = st.integer(9);
    if (withValues) {
        e.before = valuesOf(st.text(10));
        e.after = valuesOf(st.text(11));
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
    }
    return {};
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
        const Db db = open(folder, true);
        if (db && db.exec("BEGIN IMMEDIATE")) {
            settleBegun(folder, db);
            if (!db.exec("COMMIT")) db.exec("ROLLBACK");
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
    const Db db = open(folder);
    if (!db || !db.exec("BEGIN IMMEDIATE")) return {};
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
    for (const Entry& entry : entries) {
        Stmt st(db,
                "INSERT INTO entries(state, time, action, action_name, serial, name, before, "
                "after, count_before, count_after, file, copy, undoes, target, target_a, "
                "target_b) VALUES(0, ?, ?, ?, ?, ?, ?, ?, ?, NULL, ?, ?, ?, ?, ?, ?)");
        st.text(1, entry.time.isEmpty() ? now : entry.time);
        st.integer(2, int(entry.action));
        st.text(3, actionName(entry.action));
        st.gbText(4, entry.serial);
        st.gbText(5, entry.name);
        if (!entry.before.empty()) st.text(6, valuesJson(entry.before));
        if (!entry.after.empty()) st.text(7, valuesJson(entry.after));
        if (entry.countBefore >= 0) st.integer(8, entry.countBefore);
        if (!entry.file.isEmpty()) st.text(9, entry.file);
        if (!entry.copy.isEmpty()) st.text(10, entry.copy);
        if (entry.undoes > 0) st.integer(11, entry.undoes);
        st.text(12, relative);
        if (id.present) {
            st.integer(13, id.a);
            st.integer(14, id.b);
        }
        if (!st.done()) {
            db.exec("ROLLBACK");
            return {};
        }
        begun.emplace_back(folder, sqlite3_last_insert_rowid(db.get()));
    }
    if (!db.exec("COMMIT")) {
        db.exec("ROLLBACK");
        return {};
    }
    return begun;
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
        const Db db = open(folder_);
        if (made) {
            Stmt st(db, after.empty() ? "UPDATE entries SET state = 1, count_after = ? WHERE id = ?"
                                      : "UPDATE entries SET state = 1, count_after = ?, after = ? "
                                        "WHERE id = ?");
            if (countAfter >= 0) st.integer(1, countAfter);
            if (!after.empty()) st.text(2, valuesJson(after));
            st.integer(after.empty() ? 2 : 3, id_);
            ok = st.done();
        } else {
            Stmt st(db, "DELETE FROM entries WHERE id = ?");
            st.integer(1, id_);
            ok = st.done();
            if (!ok) abandoned().insert({folder_, id_});
        }
    }
    id_ = 0;
    return ok;
}

std::vector<Entry> entries(const QString& folder, bool withValues) {
    std::vector<Entry> out;
    const Db db = open(folder);
    const std::string sql = std::string(kColumns) +
                            (withValues ? ", coalesce(before, '[]'), coalesce(after, '[]')" : "") +
                            " FROM entries WHERE state = 1 ORDER BY id DESC";
    Stmt st(db, sql.c_str());
    while (st.row()) out.push_back(readEntry(st, withValues));
    return out;
}

std::optional<Entry> entry(const QString& folder, long long id) {
    const Db db = open(folder);
    const std::string sql = std::string(kColumns) +
                            ", coalesce(before, '[]'), coalesce(after, '[]') FROM entries "
                            "WHERE state = 1 AND id = ?";
    Stmt st(db, sql.c_str());
    st.integer(1, id);
    if (!st.row()) return std::nullopt;
    return readEntry(st, true);
}

std::optional<Entry> undoable(const QString& folder) {
    const Db db = open(folder);
    const std::string sql = std::string(kColumns) +
                            " FROM entries WHERE state = 1 AND action IN (5, 6, 7) "
                            "ORDER BY id DESC LIMIT 1";
    Stmt st(db, sql.c_str());
    if (!st.row()) return std::nullopt;
    Entry e = readEntry(st, false);
    if (e.action == Action::Undo || e.copy.isEmpty()) return std::nullopt;
    if (!files::exists(safety::pathOf(folder, e.copy))) return std::nullopt;
    return e;
}

long entriesAfter(const QString& folder, long long id) {
    const Db db = open(folder);
    Stmt st(db, "SELECT count(*) FROM entries WHERE state = 1 AND id > ?");
    st.integer(1, id);
    return st.row() ? long(st.integer(0)) : 0;
}

}  // namespace reg::history

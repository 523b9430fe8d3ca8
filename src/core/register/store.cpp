#include "core/register/store.h"

#include <QFile>
#include <QFileInfo>
#include <QUrl>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>

#include "core/register/files.h"
#include "core/register/log.h"
#include "core/register/person.h"
#include "core/register/sqlitedb.h"
#include "core/register/text.h"

namespace reg {

namespace {

using sqlite::Access;
using sqlite::Database;
using sqlite::Statement;

// Marks our files; anything else opens as false.
constexpr int kTableAppId = 0x48484A31;  // "HHJ1"
constexpr int kIndexAppId = 0x48484A58;  // "HHJX"

// ---- the run log ---------------------------------------------------------------------------

// "<what> <file name>": the log names the file an action failed on, never what it holds.
void logFailure(const QString& what, const QString& path, const QString& reason) {
    log::failure(what + QLatin1Char(' ') + QFileInfo(path).fileName(), reason);
}

const QString kNotOurs = QStringLiteral("不是本程序的数据文件");

// ---- small SQLite helpers ----------------------------------------------------------------

std::string sqlName(std::string_view identifier) {
    std::string q = "\"";
    for (char c : identifier) {
        q += c;
        if (c == '"') q += '"';
    }
    return q + "\"";
}

bool openDatabase(Database& db, const QString& path, Access access, bool uri = false) {
    if (!db.open(path, access, uri)) return false;
    // Room for a whole register: an action that rewrites much of it (a renumbering Pack) then
    // never spills half-done pages, with a flush of the journal each time, before it commits;
    // a sort made inside the engine also stays in memory. Only a hint: a refusal changes nothing.
    (void)db.exec("PRAGMA cache_size=-131072");
    return true;
}

uint32_t bigEndian32(const unsigned char* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}

// The database header of a file: false when the file is no complete SQLite database (too short,
// or shorter than the page count its header states), which catches a truncated register before
// the engine trips over it.
bool readHeader(const QString& path, uint32_t* changeCounter, bool* rollbackJournal = nullptr) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return false;
    const qint64 size = f.size();
    unsigned char h[100];
    if (f.read(reinterpret_cast<char*>(h), 100) != 100) return false;
    if (std::memcmp(h, "SQLite format 3\0", 16) != 0) return false;
    uint32_t pageSize = uint32_t(h[16]) << 8 | h[17];
    if (pageSize == 1) pageSize = 65536;
    if (pageSize < 512 || (pageSize & (pageSize - 1)) != 0) return false;
    const uint32_t counter = bigEndian32(h + 24);
    const uint32_t pages = bigEndian32(h + 28);
    const uint32_t validFor = bigEndian32(h + 92);
    // A writer killed inside its commit leaves a hot journal beside a file whose first page may
    // already count pages not written yet; the engine puts the file back from the journal when
    // it is next opened, so its size is no sign of a foreign file then.
    const QFileInfo journal(path + QStringLiteral("-journal"));
    const bool hotJournal = journal.exists() && journal.size() > 0;
    if (!hotJournal && size % pageSize != 0) return false;
    if (!hotJournal && pages != 0 && validFor == counter && qint64(pages) * pageSize > size)
        return false;
    if (changeCounter) *changeCounter = counter;
    // Read and write versions 1: the file was last written with a rollback journal, which
    // counts every commit in the change counter (WAL mode need not).
    if (rollbackJournal) *rollbackJournal = h[18] == 1 && h[19] == 1;
    return true;
}

// Attaches a table file read-only as schema "src" (a URI, so that the engine never writes it).
bool attachReadOnly(Database& db, const QString& path) {
    Statement st = db.prepare("ATTACH ? AS src");
    if (!st) return false;
    const QByteArray uri = QUrl::fromLocalFile(path).toEncoded() + "?mode=ro";
    st.bindText(1, std::string_view(uri.constData(), size_t(uri.size())));
    return st.run();
}

// An unmarked record in SQL, read as the reader reads the mark (as an integer, NULL counting 0).
constexpr const char* kUnmarked = "coalesce(CAST(deleted AS INTEGER), 0) = 0";

// A new table or index file is written completely under a temporary name, flushed, and only
// then renamed over the target: a partial file never stands under a real name.
class NewFile {
  public:
    // `what` names the action in the run log. With a source, that table file is attached
    // read-only as "src" for a copy made inside the engine; the engine refuses ATTACH inside a
    // transaction, so it comes first.
    NewFile(QString what, const QString& target, const QString& source = QString())
        : what_(std::move(what)), target_(target) {
        if (target.isEmpty()) return;
        // An absolute name, so never taken for a URI.
        tmp_ = files::temporaryNameBeside(target);
        // The file is private until renamed; durability comes from the flush before the rename.
        // hj_leading_number orders numeric keys for sorts made inside the engine: leadingNumber
        // reads ASCII bytes from the start and stops at the first other byte, so the UTF-8 text
        // gives what the GB18030 text gives (NULL counting 0).
        if (openDatabase(db_, tmp_, Access::Create, !source.isEmpty()) &&
            !(db_.exec("PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF;") &&
              (source.isEmpty() || attachReadOnly(db_, source)) &&
              db_.defineFunction("hj_leading_number", leadingNumber) && db_.begin()))
            db_.close();
        if (!db_) QFile::remove(tmp_);
    }
    ~NewFile() {
        if (db_) {
            db_.close();
            QFile::remove(tmp_);
        }
    }
    NewFile(const NewFile&) = delete;
    NewFile& operator=(const NewFile&) = delete;

    Database& db() { return db_; }
    // Notes in the run log why the file could not be written (its engine's reason unless
    // another is given) and answers false.
    bool fail(const QString& reason = QString()) {
        if (!target_.isEmpty()) logFailure(what_, target_, reason.isEmpty() ? db_.error() : reason);
        return false;
    }
    // Commits, closes, flushes and renames over the target.
    bool finish() {
        if (!db_) return fail();
        const bool committed = db_.commit();
        if (!db_.close() || !committed) {
            QFile::remove(tmp_);
            return fail();
        }
        if (!files::syncFile(tmp_) || !files::move(tmp_, target_)) {
            const int error = errno;
            QFile::remove(tmp_);
            return fail(log::errnoText(error));
        }
        return true;
    }

  private:
    QString what_, target_, tmp_;
    Database db_;
};

bool createTableSchema(Database& db, const std::vector<FieldSpec>& fields, uint32_t fileId) {
    std::string sql = "PRAGMA application_id=" + std::to_string(kTableAppId) +
                      "; PRAGMA user_version=" + std::to_string(int32_t(fileId)) +
                      "; CREATE TABLE fields(pos INTEGER PRIMARY KEY, name TEXT NOT NULL, "
                      "width INTEGER NOT NULL);"
                      " CREATE TABLE records(recno INTEGER PRIMARY KEY, deleted INTEGER NOT NULL "
                      "DEFAULT 0";
    for (const auto& f : fields) sql += ", " + sqlName(gbToUtf8(f.name)) + " TEXT";
    sql += ");";
    if (!db.exec(sql)) return false;
    Statement ins = db.prepare("INSERT INTO fields(pos, name, width) VALUES(?, ?, ?)");
    if (!ins) return false;
    for (size_t i = 0; i < fields.size(); ++i) {
        ins.bindInt(1, int64_t(i + 1));
        ins.bindText(2, gbToUtf8(fields[i].name));
        ins.bindInt(3, fields[i].width);
        if (!ins.run()) return false;
    }
    return true;
}

uint32_t newFileId() {
    uint32_t id = 0;
    sqlite::randomness(&id, sizeof id);
    return id ? id : 1;
}

std::string insertSql(size_t fieldCount) {
    std::string sql = "INSERT INTO records VALUES(?, 0";
    for (size_t i = 0; i < fieldCount; ++i) sql += ", ?";
    return sql + ")";
}

// What failed, as the run log names it.
const QString kOpenTable = QStringLiteral("打开数据表");
const QString kSaveTable = QStringLiteral("保存数据表");
const QString kReadTable = QStringLiteral("读取数据表");
const QString kWriteTable = QStringLiteral("写入数据表");
const QString kPackTable = QStringLiteral("整理数据表");
const QString kOpenIndex = QStringLiteral("打开索引");
const QString kWriteIndex = QStringLiteral("写入索引");
const QString kSaveIndex = QStringLiteral("保存索引");

}  // namespace

// ---- tables and indexes ------------------------------------------------------------------

struct RecordStore::Index {
    Database db;
    QString path;
    int keyColumn = 0;   // 1-based field position
    bool dirty = false;  // written since opened: stamp it when the table has committed
    bool stale = false;  // a write to it failed: refilled before its next use, never stamped
    Statement find, insert, update, remove;

    ~Index() { close(false); }
    // Notes `what` failed on the index in the run log, with its engine's reason unless another
    // is given; answers false.
    bool fail(const QString& what, const QString& reason = QString()) {
        logFailure(what, path, reason.isEmpty() ? db.error() : reason);
        return false;
    }
    // Notes a write that follows one of the table's. Should it fail, the table's write stands
    // and the index is put right from the table instead.
    void track(bool ok) {
        if (!ok && !stale) fail(kWriteIndex);
        dirty = true;
        stale = stale || !ok;
    }
    void close(bool commit) {
        find = Statement();
        insert = Statement();
        update = Statement();
        remove = Statement();
        if (db) {
            // Should the commit fail, the index keeps a stamp that no longer fits the committed
            // table (or it had nothing to commit), so it is rebuilt when next opened.
            if (!commit)
                db.rollback();
            else if (!db.commit() && dirty)
                fail(kSaveIndex);
            db.close();
        }
    }
    bool prepare() {
        find = db.prepare("SELECT recno FROM entries WHERE key = ? ORDER BY recno LIMIT 1");
        insert = db.prepare("INSERT INTO entries(key, recno) VALUES(?, ?)");
        update = db.prepare("UPDATE entries SET key = ? WHERE recno = ?");
        remove = db.prepare("DELETE FROM entries WHERE recno = ?");
        return find && insert && update && remove && db.begin();
    }
};

struct RecordStore::Table {
    Database db;
    QString path;
    std::vector<FieldSpec> fields;
    std::vector<std::string> utf8Names;
    int64_t fileId = 0;  // user_version: tells two files at the same path apart
    // The file's change counter when opened; -1 when its header could not vouch for every write.
    int64_t openCounter = -1;
    long count = 0;
    long pos = 1;
    bool wrote = false;
    bool readFailureLogged = false;  // a damaged file would fail every read: noted once
    Statement row;                   // sequential reader: positioned on record rowAt when rowAt > 0
    long rowAt = 0;
    std::unique_ptr<Index> index;

    ~Table() { close(false); }

    // Notes `what` failed on this table in the run log, with its engine's reason unless another
    // is given; answers false.
    bool fail(const QString& what, const QString& reason = QString()) {
        logFailure(what, path, reason.isEmpty() ? db.error() : reason);
        return false;
    }

    // ---- opening, step by step: each step answers false when the file cannot be used as a
    // table, noting why in the run log when there is something to tell.

    // Opens the file read and write, in one transaction that lasts until the table is closed.
    // A missing or empty file is simply no table.
    bool openFile(const QString& file) {
        const QFileInfo info(file);
        if (file.isEmpty() || !info.isFile() || info.size() == 0) return false;
        path = info.absoluteFilePath();
        bool rollbackJournal = false;
        uint32_t counter = 0;
        if (!readHeader(path, &counter, &rollbackJournal)) return fail(kOpenTable, kNotOurs);
        // Only then does the change counter show every write made since the index was stamped.
        if (rollbackJournal && !QFileInfo::exists(path + "-wal") &&
            !QFileInfo::exists(path + "-journal"))
            openCounter = counter;
        // Any journal mode but the rollback journal would keep part of the file beside it.
        return (openDatabase(db, path, Access::ReadWrite) &&
                db.exec("PRAGMA journal_mode=DELETE") && db.begin()) ||
               fail(kOpenTable);
    }

    // Our table files carry our application id.
    bool checkOurs() {
        bool answered = false;
        const int64_t id = db.pragmaInt("application_id", &answered);
        if (!answered) return fail(kOpenTable);
        if (id != kTableAppId) return fail(kOpenTable, kNotOurs);
        fileId = db.pragmaInt("user_version");
        return true;
    }

    // The fields, at positions 1, 2, ... without a gap.
    bool readFields() {
        Statement st = db.prepare("SELECT pos, name, width FROM fields ORDER BY pos");
        if (!st) return fail(kOpenTable);
        while (st.row()) {
            if (st.integer(0) != int64_t(fields.size() + 1)) return fail(kOpenTable, kNotOurs);
            utf8Names.emplace_back(st.text(1));
            fields.push_back({utf8ToGb(st.text(1)), int(st.integer(2))});
        }
        return !fields.empty() || fail(kOpenTable, kNotOurs);
    }

    // The number of records: the one the index was stamped with when that still fits, else
    // counted. Gaps another tool left in the numbering are closed in this action.
    bool countRecords(const QString& indexPath) {
        const long stamped =
            openCounter >= 0 && !indexPath.isEmpty() ? stampedCount(indexPath) : -1;
        if (stamped >= 0) {
            count = stamped;
        } else {
            // Three statements: min and max alone are a lookup each, together a scan.
            Statement st = db.prepare("SELECT count(*) FROM records");
            Statement mx = db.prepare("SELECT coalesce(max(recno), 0) FROM records");
            Statement mn = db.prepare("SELECT coalesce(min(recno), 1) FROM records");
            if (!(st && mx && mn && st.row() && mx.row() && mn.row())) return fail(kOpenTable);
            count = long(st.integer(0));
            if (mx.integer(0) != count || mn.integer(0) != 1) {
                st = Statement();
                mx = Statement();
                mn = Statement();
                if (!begin() || !renumberFrom(1)) return fail(kOpenTable);
            }
        }
        // The first record must read: a file damaged there is refused now, not at each read
        // (the reader notes why).
        const bool readable = fetch(1) == (count > 0);
        invalidate();
        return readable;
    }

    // The index: a real file beside the table. One that no longer fits its table is rebuilt.
    // A missing one is simply not there.
    bool openIndex(const QString& indexPath) {
        auto ix = std::make_unique<Index>();
        ix->path = QFileInfo(indexPath).absoluteFilePath();
        if (!QFileInfo(ix->path).isFile()) return false;
        if (!readHeader(ix->path, nullptr)) return ix->fail(kOpenIndex, kNotOurs);
        if (!openDatabase(ix->db, ix->path, Access::ReadWrite)) return ix->fail(kOpenIndex);
        bool answered = false;
        const int64_t appId = ix->db.pragmaInt("application_id", &answered);
        if (!answered) return ix->fail(kOpenIndex);
        if (appId != kIndexAppId) return ix->fail(kOpenIndex, kNotOurs);
        if (!ix->prepare()) return ix->fail(kOpenIndex);
        Statement about =
            ix->db.prepare("SELECT key_field, table_id, table_counter, records FROM about");
        const Statement::Step step = about.step();
        if (step != Statement::Step::Row)
            return ix->fail(kOpenIndex, step == Statement::Step::Done ? kNotOurs : QString());
        ix->keyColumn = column(utf8ToGb(about.text(0)));
        if (ix->keyColumn == 0) return ix->fail(kOpenIndex, kNotOurs);
        const Identity id = identity();
        const bool fits = about.integer(1) == id.fileId && about.integer(2) == id.counter &&
                          about.integer(3) == id.records;
        about = Statement();
        if (!fits && !fillIndex(*ix)) return false;
        index = std::move(ix);
        return true;
    }

    // ---- closing

    // True when the table's writes are on disk (or there were none to keep).
    bool close(bool commit) {
        row = Statement();
        if (index && !commit) index->close(false);
        bool committed = true;
        if (db) {
            if (commit) {
                committed = db.commit();
                if (!committed && wrote) fail(kSaveTable);
            } else {
                db.rollback();
                committed = false;
            }
            db.close();
            if (index) index->close(committed && stamp(*index));
        }
        index.reset();
        return committed || !wrote;
    }

    // What an index records about its table, to tell at opening whether it is still right.
    struct Identity {
        int64_t fileId = 0;
        int64_t counter = 0;
        int64_t records = 0;
    };
    Identity identity() {
        Identity id;
        uint32_t counter = 0;
        readHeader(path, &counter);
        id.counter = counter;
        id.fileId = fileId;
        id.records = count;
        return id;
    }
    // Stamps the index with the table as just committed. False when the index is not to be
    // kept: its writes are then rolled back, and its old stamp no longer fits the table (whose
    // writes changed the file), so it is rebuilt when next opened.
    bool stamp(Index& ix) {
        if (!ix.db || !(ix.dirty || wrote)) return true;
        uint32_t counter = 0;
        if (ix.stale || !readHeader(path, &counter)) return false;
        Statement st =
            ix.db.prepare("UPDATE about SET table_id = ?, table_counter = ?, records = ?");
        if (!st) return ix.fail(kSaveIndex);
        st.bindInt(1, fileId);
        st.bindInt(2, counter);
        st.bindInt(3, count);
        return st.run() || ix.fail(kSaveIndex);
    }

    // The record count that the index at `indexPath` was stamped with when this table last
    // committed, or -1 when the stamp does not fit the table as it is now. It spares counting
    // every record at each look-up; a file written since by anyone has another change counter.
    long stampedCount(const QString& indexPath) {
        if (!readHeader(indexPath, nullptr)) return -1;
        long n = -1;
        {
            Database ix;
            if (!openDatabase(ix, indexPath, Access::ReadOnly)) return -1;
            uint32_t counter = 0;
            if (ix.pragmaInt("application_id") == kIndexAppId && readHeader(path, &counter)) {
                Statement about = ix.prepare("SELECT table_id, table_counter, records FROM about");
                if (about && about.row() && about.integer(0) == fileId &&
                    about.integer(1) == int64_t(counter) && about.integer(2) >= 0)
                    n = long(about.integer(2));
            }
        }
        // The numbering must still run from 1 to the stamped count (min and max alone are a
        // lookup each, unlike count).
        if (n >= 0) {
            Statement mx = db.prepare("SELECT max(recno) FROM records");
            Statement mn = db.prepare("SELECT min(recno) FROM records");
            if (!mx || !mn || !mx.row() || !mn.row()) return -1;
            if (mx.integer(0) != n || mn.integer(0) != (n > 0 ? 1 : 0)) return -1;
        }
        return n;
    }

    // ---- reading

    int column(std::string_view gbName) const {
        for (size_t i = 0; i < fields.size(); ++i)
            if (fields[i].name == gbName) return int(i) + 1;
        return 0;
    }

    void invalidate() {
        row.reset();
        rowAt = 0;
    }

    // Positions the reader on record `n`; stepping forward when it stands on n-1 keeps a walk
    // through the table at the engine's sequential speed.
    bool fetch(long n) {
        if (n < 1 || n > count) return false;
        if (rowAt == n) return true;
        if (!row) {
            std::string sql = "SELECT recno, deleted";
            for (const auto& name : utf8Names) sql += ", " + sqlName(name);
            sql += " FROM records WHERE recno >= ? ORDER BY recno";
            row = db.prepare(sql);
            if (!row) return readFailed();
        }
        if (rowAt == 0 || rowAt != n - 1) {
            row.reset();
            row.bindInt(1, n);
        }
        rowAt = 0;
        const Statement::Step step = row.step();
        if (step != Statement::Step::Row || row.integer(0) != n) {
            row.reset();
            return step == Statement::Step::Failed ? readFailed() : false;
        }
        rowAt = n;
        return true;
    }
    bool readFailed() {
        if (!readFailureLogged) fail(kReadTable);
        readFailureLogged = true;
        return false;
    }

    std::string_view raw(int field) const { return row.text(field + 1); }
    bool deleted() const { return row.integer(1) != 0; }

    // ---- writing

    bool begin() {
        invalidate();
        wrote = true;
        return true;
    }

    bool renumberFrom(long first) {
        invalidate();
        const std::string f = std::to_string(first);
        const std::string sql =
            "DROP TABLE IF EXISTS temp.renumber;"
            " CREATE TEMP TABLE renumber(old INTEGER PRIMARY KEY, new INTEGER NOT NULL);"
            " INSERT INTO temp.renumber SELECT recno, " +
            f + " - 1 + row_number() OVER (ORDER BY recno) FROM records WHERE recno >= " + f +
            "; UPDATE records SET recno = -(SELECT new FROM temp.renumber WHERE old = "
            "records.recno) WHERE recno >= " +
            f + "; UPDATE records SET recno = -recno WHERE recno < 0; DROP TABLE temp.renumber;";
        if (!db.exec(sql)) return false;
        Statement st = db.prepare("SELECT count(*) FROM records");
        if (!st || !st.row()) return false;
        count = long(st.integer(0));
        return true;
    }

    // Fills an index's entries from the table's unmarked records.
    bool fillIndex(Index& ix) {
        const int key = ix.keyColumn;
        if (!ix.db.exec("DELETE FROM entries")) return ix.fail(kWriteIndex);
        for (long n = 1; n <= count; ++n) {
            if (!fetch(n)) return false;
            if (deleted()) continue;
            ix.insert.bindText(1, raw(key));
            ix.insert.bindInt(2, n);
            if (!ix.insert.run()) return ix.fail(kWriteIndex);
        }
        ix.dirty = true;
        ix.stale = false;
        return true;
    }

    // ---- new files from this table

    // True when `db`, with this table's file attached as "src", reads what this table shows:
    // this connection holds no writes of its own (the file would not show them), and the file
    // at the path is the one opened, unchanged (the table's own read lock keeps it so).
    bool engineMayRead() const { return !wrote && openCounter >= 0; }
    bool sameFileAttached(Database& other) {
        if (!engineMayRead()) return false;
        bool ok = false;
        const int64_t id = other.pragmaInt("src.user_version", &ok);  // takes the read lock
        uint32_t counter = 0;
        bool rollbackJournal = false;
        return ok && id == fileId && readHeader(path, &counter, &rollbackJournal) &&
               rollbackJournal && int64_t(counter) == openCounter;
    }

    // Writes the unmarked records into a new table file inside the engine, in `order` (an SQL
    // ordering over src.records), numbered 1..N as written. It spares converting and binding
    // every text, which is most of a copy's time. No answer when it cannot be done this way.
    std::optional<bool> copyInEngine(const QString& what, const QString& target,
                                     const std::string& order) {
        return copyInEngine(what, target, std::vector<std::string>{"ORDER BY " + order});
    }
    // The same in parts, one after the other: each a condition on src.records (or none) and its
    // ordering ("recno BETWEEN 1 AND 40 ORDER BY recno").
    std::optional<bool> copyInEngine(const QString& what, const QString& target,
                                     const std::vector<std::string>& parts) {
        if (!engineMayRead()) return std::nullopt;
        NewFile out(what, target, path);
        // A small cache: the engine then sorts in runs of that size, which stay in the processor's
        // cache, and merges them (measured: about a sixth less time than one run in memory).
        if (!out.db() || !sameFileAttached(out.db()) ||
            !out.db().exec("PRAGMA main.cache_size=-2000") ||
            !createTableSchema(out.db(), fields, newFileId()))
            return std::nullopt;
        std::string columns;
        for (const auto& name : utf8Names) columns += ", " + sqlName(name);
        for (const std::string& part : parts) {
            const bool condition = !part.starts_with("ORDER BY");
            const std::string sql = "INSERT INTO main.records(deleted" + columns + ") SELECT 0" +
                                    columns + " FROM src.records WHERE " + kUnmarked +
                                    (condition ? " AND " : " ") + part;
            if (!out.db().exec(sql)) return std::nullopt;
        }
        return out.finish();
    }

    // Writes a new index file on field `key` with an entry for every unmarked record. Inside the
    // engine it carries this table's stamp at once (the table holds no writes to commit);
    // otherwise it is stamped when the table commits. No answer when the engine could not do it.
    std::optional<bool> writeIndex(const QString& target, int key, bool inEngine) {
        if (inEngine && !engineMayRead()) return std::nullopt;
        NewFile out(QStringLiteral("建立索引"), target, inEngine ? path : QString());
        if (inEngine && (!out.db() || !sameFileAttached(out.db()))) return std::nullopt;
        if (!out.db()) return out.fail();
        const std::string schema =
            "PRAGMA application_id=" + std::to_string(kIndexAppId) +
            "; CREATE TABLE about(key_field TEXT NOT NULL, table_id INTEGER NOT NULL, "
            "table_counter INTEGER NOT NULL, records INTEGER NOT NULL);"
            " CREATE TABLE entries(key TEXT NOT NULL, recno INTEGER NOT NULL);";
        if (!out.db().exec(schema)) return out.fail();
        Statement about = out.db().prepare("INSERT INTO about VALUES(?, ?, ?, ?)");
        if (!about) return out.fail();
        about.bindText(1, utf8Names[size_t(key - 1)]);
        about.bindInt(2, inEngine ? fileId : 0);
        about.bindInt(3, inEngine ? openCounter : 0);
        about.bindInt(4, inEngine ? count : -1);
        if (!about.run()) return out.fail();
        about = Statement();
        if (inEngine) {
            const std::string sql = "INSERT INTO main.entries(key, recno) SELECT coalesce(CAST(" +
                                    sqlName(utf8Names[size_t(key - 1)]) +
                                    " AS TEXT), ''), recno FROM src.records WHERE " + kUnmarked +
                                    " ORDER BY recno";
            if (!out.db().exec(sql)) return std::nullopt;
        } else {
            Statement ins = out.db().prepare("INSERT INTO entries(key, recno) VALUES(?, ?)");
            if (!ins) return out.fail();
            for (long n = 1; n <= count; ++n) {
                if (!fetch(n)) return false;
                if (deleted()) continue;
                ins.bindText(1, raw(key));
                ins.bindInt(2, n);
                if (!ins.run()) return out.fail();
            }
        }
        if (!out.db().exec("CREATE INDEX entries_by_key ON entries(key, recno)")) return out.fail();
        return out.finish();
    }

    // Field texts of records kept in memory: one buffer, and where each text ends in it.
    struct Held {
        std::string bytes;
        std::vector<size_t> ends;
        void add(const Table& t) {
            for (size_t i = 1; i <= t.fields.size(); ++i) {
                bytes += t.raw(int(i));
                ends.push_back(bytes.size());
            }
        }
        std::string_view text(size_t record, size_t field, size_t fieldCount) const {
            const size_t k = record * fieldCount + field;
            const size_t from = k == 0 ? 0 : ends[k - 1];
            return std::string_view(bytes).substr(from, ends[k] - from);
        }
    };

    // Writes a new table file with the same fields holding the records in `order`: record
    // numbers of this table, or positions in `held` when the records are held in memory.
    bool writeCopy(const QString& what, const QString& target, const std::vector<long>& order,
                   const Held* held = nullptr) {
        NewFile out(what, target);
        if (!out.db() || !createTableSchema(out.db(), fields, newFileId())) return out.fail();
        Statement ins = out.db().prepare(insertSql(fields.size()));
        if (!ins) return out.fail();
        long recno = 0;
        for (long n : order) {
            if (!held && !fetch(n)) return false;
            ins.bindInt(1, ++recno);
            for (size_t i = 0; i < fields.size(); ++i)
                ins.bindStaticText(
                    int(i) + 2, held ? held->text(size_t(n), i, fields.size()) : raw(int(i) + 1));
            if (!ins.run()) return out.fail();
        }
        ins = Statement();
        return out.finish();
    }
};

// ---- the store ---------------------------------------------------------------------------

RecordStore::RecordStore() = default;

RecordStore::~RecordStore() {
    static_cast<void>(CloseAllTables());  // nobody is left to tell
}

bool RecordStore::OpenTable(const QString& path, const QString& indexPath) {
    current_ = nullptr;
    auto t = std::make_unique<Table>();
    if (!t->openFile(path) || !t->checkOurs() || !t->readFields() || !t->countRecords(indexPath))
        return false;
    tables_.push_back(std::move(t));
    current_ = tables_.back().get();
    // The table stays open and current even when its index cannot be opened.
    return indexPath.isEmpty() || current_->openIndex(indexPath);
}

bool RecordStore::CloseAllTables() {
    // Readers first: a reader's lock on a file that another open table has written would keep
    // that writer from committing.
    bool ok = true;
    for (auto& t : tables_)
        if (!t->wrote) t->close(true);
    for (auto& t : tables_) ok = t->close(true) && ok;
    tables_.clear();
    current_ = nullptr;
    return ok;
}

long RecordStore::RecordCount() const {
    return current_ ? current_->count : 0;
}

void RecordStore::GoFirst() {
    if (current_) current_->pos = 1;
}

bool RecordStore::Skip(long count) {
    if (!current_) return false;
    Table& t = *current_;
    const long target = std::clamp(t.pos + count, 1L, t.count + 1);
    const bool moved = target != t.pos && target <= t.count;
    t.pos = target;
    return moved;
}

long RecordStore::RecordNumber() const {
    return current_ ? current_->pos : 0;
}

void RecordStore::GoTo(long number) {
    if (current_ && number >= 1 && number <= current_->count) current_->pos = number;
}

std::string RecordStore::ReadField(std::string_view name) {
    return current_ ? ReadField(current_->column(name)) : std::string();
}

std::string RecordStore::ReadField(int number) {
    if (!current_ || number < 1 || number > int(current_->fields.size())) return {};
    if (!current_->fetch(current_->pos)) return {};
    return utf8ToGb(current_->raw(number));
}

bool RecordStore::WriteField(std::string_view name, std::string_view value) {
    if (!current_) return false;
    Table& t = *current_;
    const int col = t.column(name);
    if (col == 0 || t.pos < 1 || t.pos > t.count || !t.begin()) return false;
    Statement st = t.db.prepare("UPDATE records SET " + sqlName(t.utf8Names[size_t(col - 1)]) +
                                " = ? WHERE recno = ?");
    if (!st) return t.fail(kWriteTable);
    const std::string utf8 = gbToUtf8(value);
    st.bindText(1, utf8);
    st.bindInt(2, t.pos);
    if (!st.run()) return t.fail(kWriteTable);
    if (t.index && t.index->keyColumn == col) {
        t.index->update.bindText(1, utf8);
        t.index->update.bindInt(2, t.pos);
        t.index->track(t.index->update.run());
    }
    return true;
}

bool RecordStore::AppendRecord(const std::vector<std::string>& values) {
    if (!current_) return false;
    Table& t = *current_;
    if (values.size() > t.fields.size() || !t.begin()) return false;
    Statement st = t.db.prepare(insertSql(t.fields.size()));
    if (!st) return t.fail(kWriteTable);
    st.bindInt(1, t.count + 1);
    std::vector<std::string> utf8(t.fields.size());
    for (size_t i = 0; i < values.size(); ++i) utf8[i] = gbToUtf8(values[i]);
    for (size_t i = 0; i < utf8.size(); ++i) st.bindText(int(i) + 2, utf8[i]);
    if (!st.run()) return t.fail(kWriteTable);
    ++t.count;
    t.pos = t.count;
    if (t.index) {
        t.index->insert.bindText(1, utf8[size_t(t.index->keyColumn - 1)]);
        t.index->insert.bindInt(2, t.count);
        t.index->track(t.index->insert.run());
    }
    return true;
}

bool RecordStore::OverwriteRecord(const std::vector<std::string>& values) {
    if (!current_) return false;
    Table& t = *current_;
    if (t.pos < 1 || t.pos > t.count || values.size() > t.fields.size()) return false;
    if (values.empty()) return true;
    std::string sql = "UPDATE records SET ";
    for (size_t i = 0; i < values.size(); ++i)
        sql += (i ? ", " : "") + sqlName(t.utf8Names[i]) + " = ?";
    sql += " WHERE recno = ?";
    if (!t.begin()) return false;
    Statement st = t.db.prepare(sql);
    if (!st) return t.fail(kWriteTable);
    std::vector<std::string> utf8;
    for (const auto& v : values) utf8.push_back(gbToUtf8(v));
    for (size_t i = 0; i < utf8.size(); ++i) st.bindText(int(i) + 1, utf8[i]);
    st.bindInt(int(utf8.size()) + 1, t.pos);
    if (!st.run()) return t.fail(kWriteTable);
    if (t.index && t.index->keyColumn <= int(utf8.size())) {
        t.index->update.bindText(1, utf8[size_t(t.index->keyColumn - 1)]);
        t.index->update.bindInt(2, t.pos);
        t.index->track(t.index->update.run());
    }
    return true;
}

bool RecordStore::MarkDeleted() {
    if (!current_) return false;
    Table& t = *current_;
    if (t.pos < 1 || t.pos > t.count || !t.begin()) return false;
    Statement st = t.db.prepare("UPDATE records SET deleted = 1 WHERE recno = ?");
    if (!st) return t.fail(kWriteTable);
    st.bindInt(1, t.pos);
    if (!st.run()) return t.fail(kWriteTable);
    if (t.index) {
        t.index->remove.bindInt(1, t.pos);
        t.index->track(t.index->remove.run());
    }
    return true;
}

bool RecordStore::IsDeleted() {
    return current_ && current_->fetch(current_->pos) && current_->deleted();
}

bool RecordStore::Pack() {
    if (!current_) return false;
    Table& t = *current_;
    std::vector<long> marked;
    {
        Statement st = t.db.prepare("SELECT recno FROM records WHERE deleted <> 0 ORDER BY recno");
        if (!st) return t.fail(kPackTable);
        while (st.row()) marked.push_back(long(st.integer(0)));
    }
    if (!marked.empty()) {
        if (!t.begin() || !t.db.exec("DELETE FROM records WHERE deleted <> 0"))
            return t.fail(kPackTable);
        // A few records (the clerk deletes one at a time): close each gap by moving the records
        // after it down one, the table and its index alike. Should the engine refuse a move,
        // the statement changes nothing and the general renumbering below does the work.
        bool closed = marked.size() <= 8;
        for (auto d = marked.rbegin(); closed && d != marked.rend(); ++d)
            closed = t.db.exec("UPDATE records SET recno = recno - 1 WHERE recno > " +
                               std::to_string(*d));
        if (closed) {
            t.count -= long(marked.size());
            if (t.index) {
                for (auto d = marked.rbegin(); closed && d != marked.rend(); ++d) {
                    const std::string n = std::to_string(*d);
                    closed = t.index->db.exec("DELETE FROM entries WHERE recno = " + n +
                                              "; UPDATE entries SET recno = recno - 1 "
                                              "WHERE recno > " +
                                              n);
                }
                t.index->dirty = true;
                if (!closed && !t.fillIndex(*t.index)) return false;
            }
        } else {
            if (!t.renumberFrom(marked.front())) return t.fail(kPackTable);
            if (t.index && !t.fillIndex(*t.index)) return false;
        }
        t.invalidate();
    }
    t.pos = 1;
    return true;
}

long RecordStore::CountMatching(const Condition& condition) {
    if (!current_) return 0;
    Table& t = *current_;
    const long saved = t.pos;
    long n = 0;
    for (long r = 1; r <= t.count; ++r) {
        if (!t.fetch(r)) break;
        if (t.deleted()) continue;
        t.pos = r;
        if (!condition || condition()) ++n;
    }
    t.pos = saved;
    return n;
}

std::optional<std::vector<long>> RecordStore::RecordsWith(std::string_view field,
                                                          const std::vector<std::string>& values) {
    if (!current_ || !current_->engineMayRead()) return std::nullopt;
    Table& t = *current_;
    const int col = t.column(field);
    if (col == 0) return std::nullopt;
    std::vector<long> out;
    if (values.empty()) return out;
    std::string marks;
    for (size_t i = 0; i < values.size(); ++i) marks += i ? ",?" : "?";
    Statement st = t.db.prepare("SELECT recno FROM records WHERE " + std::string(kUnmarked) +
                                " AND coalesce(" + sqlName(t.utf8Names[size_t(col - 1)]) +
                                ", '') IN (" + marks + ") ORDER BY recno");
    if (!st) return std::nullopt;
    for (size_t i = 0; i < values.size(); ++i) st.bindText(int(i) + 1, gbToUtf8(values[i]));
    for (Statement::Step step; (step = st.step()) != Statement::Step::Done;) {
        if (step == Statement::Step::Failed) return std::nullopt;
        out.push_back(long(st.integer(0)));
    }
    return out;
}

std::optional<std::vector<std::pair<std::string, long>>> RecordStore::ValueCounts(
    std::string_view field) {
    if (!current_ || !current_->engineMayRead()) return std::nullopt;
    Table& t = *current_;
    const int col = t.column(field);
    if (col == 0) return std::nullopt;
    const std::string name = sqlName(t.utf8Names[size_t(col - 1)]);
    Statement st = t.db.prepare("SELECT coalesce(" + name + ", ''), count(*) FROM records WHERE " +
                                kUnmarked + " GROUP BY 1");
    if (!st) return std::nullopt;
    std::vector<std::pair<std::string, long>> out;
    for (Statement::Step step; (step = st.step()) != Statement::Step::Done;) {
        if (step == Statement::Step::Failed) return std::nullopt;
        out.emplace_back(utf8ToGb(st.text(0)), long(st.integer(1)));
    }
    return out;
}

bool RecordStore::ReplaceMatching(const Condition& condition, std::string_view field,
                                  std::string_view value) {
    if (!current_) return false;
    Table& t = *current_;
    const int col = t.column(field);
    if (col == 0) return false;
    const long saved = t.pos;
    std::vector<long> hits;
    for (long r = 1; r <= t.count; ++r) {
        if (!t.fetch(r)) return t.pos = saved, false;
        if (t.deleted()) continue;
        t.pos = r;
        if (!condition || condition()) hits.push_back(r);
    }
    t.pos = saved;
    if (hits.empty()) return true;
    if (!t.begin()) return false;
    Statement st = t.db.prepare("UPDATE records SET " + sqlName(t.utf8Names[size_t(col - 1)]) +
                                " = ? WHERE recno = ?");
    if (!st) return t.fail(kWriteTable);
    const std::string utf8 = gbToUtf8(value);
    for (long r : hits) {
        st.bindText(1, utf8);
        st.bindInt(2, r);
        if (!st.run()) return t.fail(kWriteTable);
    }
    if (t.index && t.index->keyColumn == col) return t.fillIndex(*t.index);
    return true;
}

bool RecordStore::CopyTo(const QString& path, const Condition& condition) {
    if (!current_ || path.isEmpty()) return false;
    Table& t = *current_;
    const QString what = QStringLiteral("复制数据表到");
    if (!condition)
        if (auto done = t.copyInEngine(what, path, "recno")) return *done;
    const long saved = t.pos;
    std::vector<long> order;
    for (long r = 1; r <= t.count; ++r) {
        if (!t.fetch(r)) return t.pos = saved, false;
        if (t.deleted()) continue;
        t.pos = r;
        if (!condition || condition()) order.push_back(r);
    }
    t.pos = saved;
    return t.writeCopy(what, path, order);
}

bool RecordStore::SortTo(const QString& path, const SortKey& key) {
    if (!current_ || path.isEmpty()) return false;
    Table& t = *current_;
    const long saved = t.pos;
    // The records are held in memory while their keys are read: written in key order straight
    // from the file, they would be read from all over it, one seek each.
    Table::Held held;
    std::vector<double> keys;
    for (long r = 1; r <= t.count; ++r) {
        if (!t.fetch(r)) return t.pos = saved, false;
        if (t.deleted()) continue;
        t.pos = r;
        keys.push_back(key ? key() : 0.0);
        if (!t.fetch(r)) return t.pos = saved, false;
        held.add(t);
    }
    t.pos = saved;
    std::vector<long> order(keys.size());
    for (size_t k = 0; k < order.size(); ++k) order[k] = long(k);
    std::stable_sort(order.begin(), order.end(),
                     [&](long a, long b) { return keys[size_t(a)] < keys[size_t(b)]; });
    return t.writeCopy(QStringLiteral("排序数据表到"), path, order, &held);
}

bool RecordStore::SortTo(const QString& path, std::string_view keyField) {
    if (!current_ || path.isEmpty()) return false;
    Table& t = *current_;
    const int col = t.column(keyField);
    if (col == 0) return false;
    // Inside the engine when it can; recno keeps equal keys in their order.
    const std::string order =
        "hj_leading_number(" + sqlName(t.utf8Names[size_t(col - 1)]) + "), recno";
    if (auto done = t.copyInEngine(QStringLiteral("排序数据表到"), path, order)) return *done;
    return SortTo(path, [this, col] { return leadingNumber(ReadField(col)); });
}

bool RecordStore::MergeSortTo(const QString& path, std::string_view keyField, long ordered) {
    if (!current_ || path.isEmpty()) return false;
    Table& t = *current_;
    const int col = t.column(keyField);
    // Beyond a few, each found by halving, one sort is as quick.
    constexpr long kMostMerged = 64;
    if (col == 0 || ordered < 0 || ordered > t.count || t.count - ordered > kMostMerged ||
        !t.engineMayRead())
        return SortTo(path, keyField);
    const long saved = t.pos;
    struct Later {
        double key;
        long recno;
        long after = 0;  // ordered records that go before it
    };
    std::vector<Later> later;
    for (long r = ordered + 1; r <= t.count; ++r) {
        if (!t.fetch(r)) return t.pos = saved, false;
        if (!t.deleted()) later.push_back({leadingNumber(t.raw(col)), r});
    }
    std::stable_sort(later.begin(), later.end(),
                     [](const Later& a, const Later& b) { return a.key < b.key; });
    // After every ordered record of an equal key, as a stable sort by key puts it.
    for (Later& x : later) {
        long lo = 0, hi = ordered;
        while (lo < hi) {
            const long mid = (lo + hi + 1) / 2;
            if (!t.fetch(mid)) return t.pos = saved, false;
            if (leadingNumber(t.raw(col)) <= x.key)
                lo = mid;
            else
                hi = mid - 1;
        }
        x.after = lo;
    }
    t.pos = saved;
    std::vector<std::string> parts;
    long from = 1;
    const auto run = [&](long last) {
        if (last >= from)
            parts.push_back("recno BETWEEN " + std::to_string(from) + " AND " +
                            std::to_string(last) + " ORDER BY recno");
        from = std::max(from, last + 1);
    };
    for (const Later& x : later) {
        run(x.after);
        parts.push_back("recno = " + std::to_string(x.recno));
    }
    run(ordered);
    if (auto done = t.copyInEngine(QStringLiteral("排序数据表到"), path, parts)) return *done;
    return SortTo(path, keyField);
}

bool RecordStore::CreateIndex(const QString& indexFile, std::string_view keyField) {
    if (!current_ || indexFile.isEmpty()) return false;
    Table& t = *current_;
    const int col = t.column(keyField);
    if (col == 0) return false;
    QString path = indexFile;
    if (!indexFile.contains(QLatin1Char('/')) && !indexFile.contains(QLatin1Char('\\')))
        path = QFileInfo(t.path).absolutePath() + QLatin1Char('/') + indexFile;
    path = QFileInfo(path).absoluteFilePath();

    // The old index, if it is this one, must let go of the file before it is replaced.
    if (t.index) {
        t.index->close(false);
        t.index.reset();
    }
    std::optional<bool> built = t.writeIndex(path, col, true);
    const bool stamped = built.has_value();
    if (!built) built = t.writeIndex(path, col, false);
    if (!*built) return false;
    auto ix = std::make_unique<Index>();
    ix->path = path;
    ix->keyColumn = col;
    if (!openDatabase(ix->db, path, Access::ReadWrite) || !ix->prepare())
        return ix->fail(kOpenIndex);
    // Otherwise stamped with the table's identity when the table commits at CloseAllTables.
    ix->dirty = !stamped;
    t.index = std::move(ix);
    return true;
}

bool RecordStore::SeekKey(std::string_view key) {
    if (!current_ || !current_->index || key.empty()) return false;
    Table& t = *current_;
    Index& ix = *t.index;
    if (ix.stale && !t.fillIndex(ix)) return false;
    const std::string utf8 = gbToUtf8(key);
    // The hit is checked against the record itself; an index that disagrees is rebuilt once.
    for (int attempt = 0; attempt < 2; ++attempt) {
        ix.find.bindText(1, utf8);
        const bool found = ix.find.row();
        const long recno = found ? long(ix.find.integer(0)) : 0;
        ix.find.reset();
        if (!found) return false;
        if (t.fetch(recno) && !t.deleted() && t.raw(ix.keyColumn) == utf8) {
            t.pos = recno;
            return true;
        }
        if (attempt == 0 && !t.fillIndex(ix)) return false;
    }
    return false;
}

int RecordStore::FieldCount() const {
    return current_ ? int(current_->fields.size()) : 0;
}

int RecordStore::FieldNumber(std::string_view name) const {
    return current_ ? current_->column(name) : 0;
}

std::string RecordStore::FieldName(int position) const {
    if (!current_ || position < 1 || position > FieldCount()) return {};
    return current_->fields[size_t(position - 1)].name;
}

int RecordStore::FieldSize(int position) const {
    if (!current_ || position < 1 || position > FieldCount()) return 0;
    return current_->fields[size_t(position - 1)].width;
}

bool RecordStore::CreateTable(const QString& path, const std::vector<FieldSpec>& fields) {
    if (fields.empty()) return false;
    NewFile out(QStringLiteral("建立数据表"), path);
    if (!out.db() || !createTableSchema(out.db(), fields, newFileId())) return out.fail();
    return out.finish();
}

}  // namespace reg

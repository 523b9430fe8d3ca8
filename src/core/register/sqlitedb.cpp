#include "core/register/sqlitedb.h"

#include <sqlite3.h>

#include <utility>

namespace reg::sqlite {

struct Database::Connection {
    sqlite3* db = nullptr;
    QString error;

    // Keeps the engine's message for the failure just reported on `handle` (or, without one,
    // for the result code).
    void noteFailure(sqlite3* handle, int rc) {
        const int code = handle ? sqlite3_extended_errcode(handle) : rc;
        error = QString::fromUtf8(handle ? sqlite3_errmsg(handle) : sqlite3_errstr(rc)) +
                QStringLiteral(" (SQLite %1)").arg(code);
    }
};

namespace {

using NumberFunction = double (*)(std::string_view);

void callNumberFunction(sqlite3_context* context, int, sqlite3_value** argv) {
    const auto function = *static_cast<NumberFunction*>(sqlite3_user_data(context));
    const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(argv[0]));
    const auto size = size_t(sqlite3_value_bytes(argv[0]));
    sqlite3_result_double(context, text ? function(std::string_view(text, size)) : 0.0);
}

void deleteNumberFunction(void* function) {
    delete static_cast<NumberFunction*>(function);
}

}  // namespace

// ---- Database ------------------------------------------------------------------------------

Database::Database() = default;

Database::~Database() {
    close();
}

Database::Database(Database&& other) noexcept = default;

Database& Database::operator=(Database&& other) noexcept {
    if (this != &other) {
        close();
        c_ = std::move(other.c_);
    }
    return *this;
}

bool Database::open(const QString& path, Access access, bool uri) {
    close();
    c_ = std::make_shared<Connection>();
    // A connection is only ever used by one thread at a time.
    int flags = SQLITE_OPEN_NOMUTEX | (uri ? SQLITE_OPEN_URI : 0);
    switch (access) {
        case Access::ReadWrite:
            flags |= SQLITE_OPEN_READWRITE;
            break;
        case Access::ReadOnly:
            flags |= SQLITE_OPEN_READONLY;
            break;
        case Access::Create:
            flags |= SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
            break;
    }
    sqlite3* db = nullptr;
    // UTF-8 on every platform, as SQLite expects, never the local code page (GBK on a Chinese
    // Windows, which would not find a file named in Chinese).
    const int rc = sqlite3_open_v2(path.toUtf8().constData(), &db, flags, nullptr);
    if (rc != SQLITE_OK) {
        c_->noteFailure(db, rc);
        sqlite3_close(db);
        return false;
    }
    c_->db = db;
    sqlite3_extended_result_codes(db, 1);
    sqlite3_busy_timeout(db, 2000);
    sqlite3_db_config(db, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
    // Freed pages are overwritten, so a deleted person's data does not linger in the file
    // whatever the library was built with; and a file from outside (a backup being restored)
    // cannot run its own views or triggers with our functions. Neither reads the file, so they
    // do not fail on one that is no database: that is found by the first real statement.
    sqlite3_exec(db, "PRAGMA secure_delete=ON; PRAGMA trusted_schema=OFF", nullptr, nullptr,
                 nullptr);
    return true;
}

bool Database::close() {
    if (!c_ || !c_->db) return true;
    const int rc = sqlite3_close_v2(c_->db);
    if (rc != SQLITE_OK) c_->noteFailure(c_->db, rc);
    c_->db = nullptr;
    return rc == SQLITE_OK;
}

bool Database::isOpen() const {
    return c_ && c_->db;
}

bool Database::exec(const char* sql) {
    if (!isOpen()) return false;
    const int rc = sqlite3_exec(c_->db, sql, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) c_->noteFailure(c_->db, rc);
    return rc == SQLITE_OK;
}

void Database::rollback() {
    if (isOpen()) sqlite3_exec(c_->db, "ROLLBACK", nullptr, nullptr, nullptr);
}

Statement Database::prepare(std::string_view sql) {
    return isOpen() ? Statement(c_, sql) : Statement();
}

int64_t Database::pragmaInt(std::string_view pragma, bool* ok) {
    Statement st = prepare(std::string("PRAGMA ").append(pragma));
    const bool good = st && st.row();
    if (ok) *ok = good;
    return good ? st.integer(0) : 0;
}

int64_t Database::lastInsertId() const {
    return isOpen() ? sqlite3_last_insert_rowid(c_->db) : 0;
}

bool Database::defineFunction(const char* name, double (*function)(std::string_view)) {
    if (!isOpen()) return false;
    const int rc = sqlite3_create_function_v2(c_->db, name, 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC,
                                              new NumberFunction(function), callNumberFunction,
                                              nullptr, nullptr, deleteNumberFunction);
    if (rc != SQLITE_OK) c_->noteFailure(c_->db, rc);
    return rc == SQLITE_OK;
}

QString Database::error() const {
    return c_ ? c_->error : QString();
}

// ---- Statement -----------------------------------------------------------------------------

Statement::Statement(std::shared_ptr<Database::Connection> connection, std::string_view sql)
    : c_(std::move(connection)) {
    const int rc = sqlite3_prepare_v2(c_->db, sql.data(), int(sql.size()), &s_, nullptr);
    if (rc != SQLITE_OK) {
        c_->noteFailure(c_->db, rc);
        sqlite3_finalize(s_);
        s_ = nullptr;
    }
}

Statement::~Statement() {
    sqlite3_finalize(s_);
}

Statement::Statement(Statement&& other) noexcept
    : c_(std::move(other.c_)), s_(std::exchange(other.s_, nullptr)) {}

Statement& Statement::operator=(Statement&& other) noexcept {
    std::swap(c_, other.c_);
    std::swap(s_, other.s_);
    return *this;
}

Statement::Step Statement::step() {
    if (!s_) return Step::Failed;
    const int rc = sqlite3_step(s_);
    if (rc == SQLITE_ROW) return Step::Row;
    if (rc == SQLITE_DONE) return Step::Done;
    c_->noteFailure(sqlite3_db_handle(s_), rc);
    return Step::Failed;
}

bool Statement::run() {
    const Step result = step();
    if (s_) sqlite3_reset(s_);
    return result != Step::Failed;
}

void Statement::reset() {
    if (!s_) return;
    sqlite3_reset(s_);
    sqlite3_clear_bindings(s_);
}

void Statement::bindText(int index, std::string_view value) {
    if (s_)
        sqlite3_bind_text(s_, index, value.data() ? value.data() : "", int(value.size()),
                          SQLITE_TRANSIENT);
}

void Statement::bindText(int index, const QString& value) {
    const QByteArray utf8 = value.toUtf8();
    bindText(index, std::string_view(utf8.constData(), size_t(utf8.size())));
}

void Statement::bindStaticText(int index, std::string_view value) {
    if (s_) sqlite3_bind_text(s_, index, value.data(), int(value.size()), SQLITE_STATIC);
}

void Statement::bindInt(int index, int64_t value) {
    if (s_) sqlite3_bind_int64(s_, index, value);
}

int64_t Statement::integer(int column) const {
    return s_ ? sqlite3_column_int64(s_, column) : 0;
}

std::string_view Statement::text(int column) const {
    if (!s_) return {};
    const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(s_, column));
    return p ? std::string_view(p, size_t(sqlite3_column_bytes(s_, column))) : std::string_view();
}

QString Statement::string(int column) const {
    const std::string_view t = text(column);
    return t.data() ? QString::fromUtf8(t.data(), qsizetype(t.size())) : QString();
}

// ---- Transaction ---------------------------------------------------------------------------

Transaction::Transaction(Database& db, bool immediate) : db_(db) {
    active_ = immediate ? db_.beginImmediate() : db_.begin();
}

Transaction::~Transaction() {
    if (active_) db_.rollback();
}

bool Transaction::commit() {
    if (!active_ || !db_.commit()) return false;
    active_ = false;
    return true;
}

bool quickCheck(const QString& path, QString* why) {
    Database db;
    if (!db.open(path, Access::ReadOnly)) {
        if (why) *why = db.error();
        return false;
    }
    Statement st = db.prepare("PRAGMA quick_check(1)");
    if (!st || !st.row()) {
        if (why) *why = db.error();
        return false;
    }
    const QString answer = st.string(0);
    if (answer == QLatin1String("ok")) return true;
    if (why) *why = answer;
    return false;
}

void randomness(void* buffer, int bytes) {
    sqlite3_randomness(bytes, buffer);
}

}  // namespace reg::sqlite

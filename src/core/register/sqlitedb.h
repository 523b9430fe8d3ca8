#pragma once
// The one way into SQLite: a connection, its prepared statements and transactions, each closed
// or finalized by its destructor. Every failure keeps SQLite's message, so that whoever reports
// it (the run log) can say why. The record store and the change history are its users; nothing
// else includes <sqlite3.h>.
#include <QString>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

namespace reg::sqlite {

// How a file is opened.
enum class Access {
    ReadWrite,  // an existing file
    ReadOnly,   // an existing file, never written
    Create,     // read and write, made when missing
};

class Statement;

class Database {
  public:
    Database();
    ~Database();
    Database(Database&& other) noexcept;
    Database& operator=(Database&& other) noexcept;
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    // Opens `path` (closing what was open): with a busy timeout, the defensive configuration and
    // extended result codes. With `uri` the name may be a file: URI. False with error() telling
    // why.
    [[nodiscard]] bool open(const QString& path, Access access, bool uri = false);
    // False when the engine reported a failure while closing; the connection is gone either way
    // (statements still alive close it when they are finalized).
    bool close();
    [[nodiscard]] bool isOpen() const;
    explicit operator bool() const { return isOpen(); }

    [[nodiscard]] bool exec(const char* sql);
    [[nodiscard]] bool exec(const std::string& sql) { return exec(sql.c_str()); }
    // An empty statement (false) when the SQL does not prepare; error() tells why.
    [[nodiscard]] Statement prepare(std::string_view sql);
    // The integer a pragma (or any one-value query) answers; `ok` tells whether it answered.
    int64_t pragmaInt(std::string_view pragma, bool* ok = nullptr);

    [[nodiscard]] bool begin() { return exec("BEGIN"); }
    // Takes the write lock at once, so that nothing can slip in between a read and the write.
    [[nodiscard]] bool beginImmediate() { return exec("BEGIN IMMEDIATE"); }
    [[nodiscard]] bool commit() { return exec("COMMIT"); }
    // Leaves error() as it was, which tells why the transaction is given up. Nothing to tell
    // when it fails: the engine rolls back by itself at close.
    void rollback();

    [[nodiscard]] int64_t lastInsertId() const;
    // Registers a deterministic SQL function of one text argument answering a number.
    [[nodiscard]] bool defineFunction(const char* name, double (*function)(std::string_view));

    // SQLite's message for the last failure seen on this connection (or of its opening), with
    // its extended result code; empty when there was none.
    [[nodiscard]] QString error() const;

    struct Connection;

  private:
    // Shared with its statements, which note their failures in it.
    std::shared_ptr<Connection> c_;
};

// A prepared statement; default-constructed, or when its SQL did not prepare, it is empty and
// every step fails.
class Statement {
  public:
    enum class Step { Row, Done, Failed };

    Statement() = default;
    ~Statement();
    Statement(Statement&& other) noexcept;
    Statement& operator=(Statement&& other) noexcept;
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    explicit operator bool() const { return s_ != nullptr; }

    Step step();
    // One step that gives a row / that finishes the statement.
    [[nodiscard]] bool row() { return step() == Step::Row; }
    [[nodiscard]] bool done() { return step() == Step::Done; }
    // Steps once and rewinds, keeping the bindings: true when it ran.
    [[nodiscard]] bool run();
    // Rewinds and clears the bindings.
    void reset();

    // A text never binds as NULL, also when it comes from a NULL column. Copied by SQLite.
    void bindText(int index, std::string_view value);
    void bindText(int index, const QString& value);
    // Not copied: the bytes must stay until the statement has run. A view without data (what
    // text() gives for a NULL column) binds NULL, so that a copied NULL stays NULL.
    void bindStaticText(int index, std::string_view value);
    void bindInt(int index, int64_t value);

    [[nodiscard]] int64_t integer(int column) const;
    // UTF-8 as stored; valid until the next step or reset.
    [[nodiscard]] std::string_view text(int column) const;
    [[nodiscard]] QString string(int column) const;

  private:
    friend class Database;
    Statement(std::shared_ptr<Database::Connection> connection, std::string_view sql);
    std::shared_ptr<Database::Connection> c_;
    sqlite3_stmt* s_ = nullptr;
};

// A transaction that is rolled back unless committed.
class Transaction {
  public:
    Transaction(Database& db, bool immediate);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    [[nodiscard]] bool active() const { return active_; }
    [[nodiscard]] bool commit();

  private:
    Database& db_;
    bool active_ = false;
};

// PRAGMA quick_check on the SQLite file at `path`, opened read-only: true when the engine finds
// it sound. `why` gets the engine's first complaint (or why the file did not open) otherwise.
// Used before a copy replaces the register and on the register at start.
[[nodiscard]] bool quickCheck(const QString& path, QString* why = nullptr);

// Random bytes from SQLite's generator.
void randomness(void* buffer, int bytes);

}  // namespace reg::sqlite

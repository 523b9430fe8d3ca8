#pragma once
// The record store: single-table record files with a cursor. Any number of tables can be open;
// the one opened last is current and every operation acts on it. Operations answer true/false or
// a number and never throw; on no table they answer false, 0 or an empty text.
//
// A table file is an SQLite 3 database laid out as docs/file-format.md describes. Writes made
// while a table is open form one transaction, committed by CloseAllTables; a crash before that
// leaves the file as it was. New table files (CopyTo, SortTo, CreateIndex) are written under a
// temporary name beside the target and renamed over it when complete.
#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace reg {

// Evaluated with the record under test as the current record; reads fields with ReadField.
using Condition = std::function<bool()>;
// Evaluated the same way; gives the number the record is ordered by.
using SortKey = std::function<double()>;

struct FieldSpec {
    std::string name;  // GB18030
    int width;         // declared width in bytes
};

class RecordStore {
  public:
    RecordStore();
    ~RecordStore();
    RecordStore(const RecordStore&) = delete;
    RecordStore& operator=(const RecordStore&) = delete;

    // Opens a table file read and write; it becomes current, positioned on record 1. With an
    // index path the index is opened as the current index; the answer is then true only when
    // both opened (the table stays open and current even when the index could not be opened).
    // A missing, empty, foreign or damaged file answers false and leaves no current table.
    [[nodiscard]] bool OpenTable(const QString& path, const QString& indexPath = QString());
    // Commits and closes every open table and index; false when a table's writes could not be
    // committed (they are then gone, and the file is as it was before them).
    [[nodiscard]] bool CloseAllTables();

    // Number of physical records, marked ones included.
    [[nodiscard]] long RecordCount() const;
    void GoFirst();
    // Moves the cursor by `count` (at most to one past the last record); true when it now stands
    // on another record.
    [[nodiscard]] bool Skip(long count = 1);
    // The current record's number; RecordCount()+1 past the end; 0 with no table.
    [[nodiscard]] long RecordNumber() const;
    // Moves to record `number`; a number outside 1..RecordCount() leaves the cursor alone.
    void GoTo(long number);

    // A field of the current record, by GB18030 name or 1-based column; empty when there is none.
    [[nodiscard]] std::string ReadField(std::string_view name);
    [[nodiscard]] std::string ReadField(int number);
    [[nodiscard]] bool WriteField(std::string_view name, std::string_view value);
    // Adds a record at the end with values in column order (missing ones empty); it becomes
    // current. More values than fields is refused.
    [[nodiscard]] bool AppendRecord(const std::vector<std::string>& values = {});
    // Replaces fields 1..values.size() of the current record.
    [[nodiscard]] bool OverwriteRecord(const std::vector<std::string>& values);
    [[nodiscard]] bool MarkDeleted();
    [[nodiscard]] bool IsDeleted();
    // Removes marked records, renumbers the rest without gaps, keeps the open index right and
    // puts the cursor on record 1.
    [[nodiscard]] bool Pack();

    // Records not marked deleted for which the condition holds (all of them without one). The
    // cursor is where it was afterwards.
    [[nodiscard]] long CountMatching(const Condition& condition = {});
    // Asked of the engine, for a table without writes waiting to be committed (nullopt otherwise,
    // and for an unknown field; the caller then walks).
    // The unmarked records whose `field` holds one of `values` (GB18030), in record order.
    [[nodiscard]] std::optional<std::vector<long>> RecordsWith(
        std::string_view field, const std::vector<std::string>& values);
    // How many unmarked records hold each value of `field` (GB18030), in no particular order.
    [[nodiscard]] std::optional<std::vector<std::pair<std::string, long>>> ValueCounts(
        std::string_view field);
    // Sets `field` to `value` in every unmarked record for which the condition holds.
    [[nodiscard]] bool ReplaceMatching(const Condition& condition, std::string_view field,
                                       std::string_view value);
    // Writes a new table file at `path` with the same fields and the unmarked records for which
    // the condition holds, in their order, replacing any file there. The current table stays
    // current and unchanged.
    [[nodiscard]] bool CopyTo(const QString& path, const Condition& condition = {});
    // Like CopyTo with every unmarked record, ascending by the key; equal keys keep their order.
    [[nodiscard]] bool SortTo(const QString& path, const SortKey& key);
    // The same, ascending by the number that `keyField` begins with (a text that is no number
    // counts 0), as leadingNumber reads it; the engine then sorts by itself. An unknown field is
    // refused.
    [[nodiscard]] bool SortTo(const QString& path, std::string_view keyField);
    // The same for a table whose first `ordered` records are unmarked and in key order (as the
    // caller has read them): the few records after them are merged in without sorting the rest,
    // which a register kept in order gives after an append. Sorts all when more than a few follow.
    [[nodiscard]] bool MergeSortTo(const QString& path, std::string_view keyField, long ordered);
    // Builds an index of the current table on `keyField` and makes it the current index. A bare
    // file name is placed in the folder of the current table's file.
    [[nodiscard]] bool CreateIndex(const QString& indexFile, std::string_view keyField);
    // Exact search in the current index; when found, that record becomes current. An empty key
    // finds nothing.
    [[nodiscard]] bool SeekKey(std::string_view key);

    [[nodiscard]] int FieldCount() const;
    // The 1-based position of the field with this GB18030 name (the first, should two share
    // it); 0 when the current table has none, or there is no table.
    [[nodiscard]] int FieldNumber(std::string_view name) const;
    [[nodiscard]] std::string FieldName(int position) const;
    [[nodiscard]] int FieldSize(int position) const;

    // Writes a new, empty table file with these fields (replacing any file at `path`).
    [[nodiscard]] static bool CreateTable(const QString& path,
                                          const std::vector<FieldSpec>& fields);

    struct Table;
    struct Index;

  private:
    Table* current() const { return current_; }
    std::vector<std::unique_ptr<Table>> tables_;
    Table* current_ = nullptr;
};

}  // namespace reg

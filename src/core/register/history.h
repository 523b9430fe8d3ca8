#pragma once
// The change history: every change to the register (and each password change, without the
// password) as one entry of 户籍变更记录.wav, an SQLite file of its own beside the register, so
// that a restore, which replaces the register, keeps the history.
//
// An action and its entry stay in agreement across crashes this way: the entry is written as
// begun, with the identity of the file the action changes (an SQLite table's user_version and
// change counter, which every commit and every replacement changes), before anything is changed;
// the action then changes the file and finishes the entry. An entry left begun by a crash is
// settled at the next start: the file still has the identity it had, so the change was not made
// and the entry goes; or it has another, so the change was made and the entry stands.
#include <QString>
#include <QStringList>
#include <optional>
#include <string>
#include <vector>

namespace reg {
class RecordStore;
}

namespace reg::history {

inline const QString kFileName = QStringLiteral("户籍变更记录.wav");

// Batch: a change of several records as one action (批量变更). Its entry names the safety copy
// taken before it, which an undo puts back; each record it changed has an Add, Modify or Delete
// entry of its own, begun together with it and naming the same copy.
// Business: a life event or household change (户籍业务); its entry's `file` holds the business's
// title ("分户 王建国户"), and each record it changed has an Add, Modify or Delete entry of its
// own, begun in the same transaction right after it (consecutive ids) and naming the same title
// in `file`, without a copy. Its undo is an Undo entry (undoes = the business, file = the title)
// followed by its record entries the same way.
// Certificate: a certificate issued (开具证明); the register is not changed. Its entry's `file`
// holds the template's name and the certificate's number, never the certificate's text.
// Export, Backup, Print: the register's data left the program (an access fact, see recordAccess);
// the register is not changed.
enum class Action {
    Add = 1,
    Modify,
    Delete,
    Clear,
    Import,
    Restore,
    Undo,
    Password,
    Batch,
    Business,
    Certificate,
    Export,
    Backup,
    Print,
    Erase  // 彻底清除: a person's data removed from everything kept; the fact only
};

// The action's Chinese name as the history window shows it.
QString actionName(Action action);

struct Entry {
    long long id = 0;  // order of recording, from 1
    QString time;      // local time, yyyy-MM-dd HH:mm:ss
    Action action = Action::Add;
    std::string serial, name;                // GB18030: the person's 序号 and 姓名
    std::vector<std::string> before, after;  // GB18030: 22 values each, or none
    long countBefore = -1, countAfter = -1;  // persons in the register; -1 when not counted
    QString file;          // the workbook or backup file the action read (its name)
    QString copy;          // the safety copy made before the action (file name in 安全副本)
    long long undoes = 0;  // an undo: the entry it reverses
};

// The name an entry is shown and stored with: its action's, except that the undo of a business
// (an Undo without a safety copy) is 撤销户籍业务.
QString actionName(const Entry& entry);

// What the history looks like to the windows when they open.
struct Health {
    // A damaged or foreign history file set aside under this name (in the program folder) since
    // the last look; a new history was started. Empty when none was.
    QStringList setAside;
};

// The warning a window shows for a history file set aside.
QString setAsideWarning(const QString& name);

// Settles entries left begun by an interrupted action and checks the history file, setting a
// damaged or foreign one aside. Every window that changes the register calls this before it
// first touches the register.
Health settle(const QString& folder);

// An entry being written: begun before the change, finished after it.
class Pending {
  public:
    Pending() = default;
    Pending(QString folder, long long id) : folder_(std::move(folder)), id_(id) {}
    explicit operator bool() const { return id_ > 0; }
    long long id() const { return id_; }
    // The action's outcome: made (with the count after it, when counted) keeps the entry,
    // not made removes it. False when the history could not take it; the next settle then does.
    bool finish(bool made, long countAfter = -1, const std::vector<std::string>& after = {});
    // Entries begun together finished together, in one transaction of the history: one opening
    // of its file instead of one each.
    static bool finishAll(std::vector<Pending>& begun, bool made);

  private:
    QString folder_;
    long long id_ = 0;
};

// Writes `entry` as begun, with the identity of `target` (the file the action changes) as it is
// now. An empty Pending when the history cannot be written: the caller then makes no change.
Pending begin(const QString& folder, const Entry& entry, const QString& target);

// Several entries of one action (a batch and its records), begun in one transaction with the
// same identity of `target`: a crash leaves all of them or none, and settle finishes or removes
// them together. One Pending each, in order; none when the history cannot be written.
std::vector<Pending> begin(const QString& folder, const std::vector<Entry>& entries,
                           const QString& target);

// A fact that changes no file (a certificate issued), written finished at once. When a finished
// entry of the same action and `file` is there already, it is kept and nothing is written, so
// that recording the fact again after a crash is harmless. False when the history cannot take it.
bool recordFact(const QString& folder, const Entry& entry);

// That the register's data left the program: `what` (全部数据, 花名册, 户籍登记表 ...) written
// to the file `where` (Export, Backup) or sent to the printer `where` (Print), naming `persons`
// persons (-1 when it holds counts only) and, when it is about one person or household, that
// person's 序号 and 姓名. Written finished at once; every occasion is a fact of its own. False when
// the history could not take it (the output is made all the same: it is already out).
bool recordAccess(const QString& folder, Action kind, const QString& what, const QString& where,
                  long persons, const std::string& serial = {}, const std::string& name = {});
// What an access fact's `file` holds: "<what>：<where>".
QString accessWhat(const Entry& entry);
QString accessWhere(const Entry& entry);

// The kinds the history window filters by, each a set of actions; the first is every entry.
struct Kind {
    QString name;
    std::vector<Action> actions;  // empty: every action
};
const std::vector<Kind>& kinds();
bool isOfKind(const Entry& entry, const Kind& kind);

// The entry of an add, modify, delete or clear of the register of `folder`, begun: 序号 and 姓名
// from the record after the change (before it for a delete or clear).
Pending beginEdit(const QString& folder, Action action, const std::vector<std::string>& before,
                  const std::vector<std::string>& after);

// The 22 values of the store's current record.
std::vector<std::string> currentValues(RecordStore& store);

// The finished entries, newest first. `withValues` also reads the 22 values before and after.
std::vector<Entry> entries(const QString& folder, bool withValues = false);
std::optional<Entry> entry(const QString& folder, long long id);

// The restore, import or batch (a change of several records, such as a merge of two persons)
// that an undo would reverse: the last recorded, when it was not undone yet and its safety copy
// is still there.
std::optional<Entry> undoable(const QString& folder);
// The record entries of the business (or the undo of one) recorded as entry `id`: those begun
// with it, whose ids follow it without a gap and which name its title in `file`; with values.
std::vector<Entry> parts(const QString& folder, long long id);
// The undo that reversed entry `id`, if one did.
std::optional<long long> undoneBy(const QString& folder, long long id);

// Finished changes of the register recorded after `id` (facts such as exports not counted).
long entriesAfter(const QString& folder, long long id);

// Finished entries recorded before `time` ('yyyy-MM-dd HH:mm:ss'), and their removal (the space
// they took is zeroed); -1 when the history could not be read or written. An entry still begun is
// never removed: it may stand for a change under way.
long countBefore(const QString& folder, const QString& time);
long removeBefore(const QString& folder, const QString& time);

// A person as the erasure finds them: GB18030 序号, 姓名 and 公民身份号码 (may be empty).
struct Person {
    std::string serial, name, id;
};
// Whether these 22 values are the person's: the same 公民身份号码 (when the person has one), or
// the same 序号 and 姓名.
bool isPerson(const std::vector<std::string>& values, const Person& person);
// Removes the person from every entry that names them or holds their values: the values, 序号 and
// 姓名 (shown as 已清除) go, the entry stays as a fact. The file is then compacted, so that no
// freed page keeps them. The number of entries cleared; -1 when the history could not be written.
long erasePerson(const QString& folder, const Person& person);
// The erasure itself, on record without the person's data: `what` says how much was cleared.
[[nodiscard]] bool recordErasure(const QString& folder, const QString& what);
inline const QString kErased = QStringLiteral("已清除");

// Records in a register file; -1 when it does not open.
long recordCount(const QString& registerPath);

}  // namespace reg::history

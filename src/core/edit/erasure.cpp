#include "core/edit/erasure.h"

#include <QDir>
#include <QFileInfo>

#include "core/edit/certificatelog.h"
#include "core/register/autobackup.h"
#include "core/register/files.h"
#include "core/register/log.h"
#include "core/register/person.h"
#include "core/register/safetycopy.h"
#include "core/register/sqlitedb.h"
#include "core/register/text.h"
#include "core/register/workfiles.h"

namespace edit::erasure {

using namespace reg;
using sqlite::Access;
using sqlite::Database;
using sqlite::Statement;

namespace {

// A person's record in a table file of the register's shape: ?1 公民身份号码 (never matching when
// empty), ?2 序号, ?3 姓名.
constexpr const char* kTheirs =
    "(\"公民身份号码\" = ?1 AND ?1 <> '') OR (\"序号\" = ?2 AND \"姓名\" = ?3)";

void bindPerson(Statement& st, const Person& p) {
    st.bindText(1, fromGb(p.id));
    st.bindText(2, fromGb(p.serial));
    st.bindText(3, fromGb(p.name));
}

enum class Cleared { Failed, None, Rewritten, Removed };

// Removes the person's records from the table file at `path`; a file left with no record goes.
// A file that is no table of the register's shape is left as it is.
Cleared clearTable(const QString& path, const Person& p, QString& why) {
    Database db;
    if (!db.open(path, Access::ReadWrite)) {
        why = db.error();
        return Cleared::Failed;
    }
    bool empty = false;
    {
        // Statements end before VACUUM, which refuses to run beside one still stepping.
        Statement count = db.prepare(std::string("SELECT count(*) FROM records WHERE ") + kTheirs);
        if (!count) return Cleared::None;
        bindPerson(count, p);
        if (!count.row() || count.integer(0) == 0) return Cleared::None;
        Statement drop = db.prepare(std::string("DELETE FROM records WHERE ") + kTheirs);
        bindPerson(drop, p);
        if (!drop.done()) {
            why = db.error();
            return Cleared::Failed;
        }
        Statement left = db.prepare("SELECT count(*) FROM records");
        empty = left.row() && left.integer(0) == 0;
    }
    if (!empty && !db.exec("VACUUM")) {
        why = db.error();
        return Cleared::Failed;
    }
    static_cast<void>(db.close());  // nothing is pending
    if (empty && !files::remove(path)) {
        why = files::whyNotWritable(path);
        return Cleared::Failed;
    }
    return empty ? Cleared::Removed : Cleared::Rewritten;
}

// Clears every table file of `paths`; false with `step` set at the first that fails.
bool clearAll(const QStringList& paths, const Person& p, int& cleared, Result& r,
              const QString& what) {
    for (const QString& path : paths) {
        QString why;
        const Cleared c = clearTable(path, p, why);
        if (c == Cleared::Failed) {
            r.step = what + QStringLiteral(" ") + QFileInfo(path).fileName();
            r.reason = why;
            return false;
        }
        cleared += c != Cleared::None;
    }
    return true;
}

QStringList backupsIn(const QString& dir) {
    QStringList out;
    if (dir.isEmpty()) return out;
    const QDir d(dir);
    for (const QString& name : d.entryList({QStringLiteral("*.bak")}, QDir::Files, QDir::Name))
        if (autobackup::timeOf(name)) out << d.filePath(name);
    return out;
}

// The certificates issued for the person (first or second person) keep their number, time and
// state; the person, the text and its digest go.
int clearCertificates(const QString& folder, const Person& p, QString& why) {
    const QString path = pathIn(folder, cert::kLogFileName);
    if (!files::exists(path)) return 0;
    Database db;
    if (!db.open(path, Access::ReadWrite) || !db.begin()) {
        why = db.error();
        return -1;
    }
    int cleared = 0;
    for (const char* side : {"a", "b"}) {
        const std::string s(side);
        Statement st = db.prepare(
            "UPDATE certificates SET serial_" + s + " = '', name_" + s + " = '已清除', id_" + s +
            " = '', text = '已清除', digest = '' WHERE (id_" + s +
            " = ?1 AND ?1 <> '') OR (serial_" + s + " = ?2 AND name_" + s + " = ?3)");
        bindPerson(st, p);
        if (!st.done()) {
            why = db.error();
            db.rollback();
            return -1;
        }
        Statement changed = db.prepare("SELECT changes()");
        cleared += changed.row() ? int(changed.integer(0)) : 0;
    }
    if (!db.commit() || !db.exec("VACUUM")) {
        why = db.error();
        return -1;
    }
    return cleared;
}

}  // namespace

std::optional<Person> erasable(const QString& folder, const history::Entry& entry) {
    Person p;
    const std::vector<std::string>& values =
        entry.before.size() == size_t(kFieldCount) ? entry.before : entry.after;
    if (values.size() == size_t(kFieldCount)) {
        p = {values[F序号 - 1], values[F姓名 - 1], values[F公民身份号码 - 1]};
    } else {
        p = {entry.serial, entry.name, {}};
    }
    // 序号 alone would also match the emptied record a 清空 leaves behind.
    if (p.id.empty() && (p.serial.empty() || p.name.empty())) return std::nullopt;
    Database db;
    if (!db.open(pathIn(folder, names::kRegister), Access::ReadOnly)) return std::nullopt;
    Statement st = db.prepare(std::string("SELECT count(*) FROM records WHERE deleted = 0 AND (") +
                              kTheirs + ")");
    if (!st) return std::nullopt;
    bindPerson(st, p);
    if (!st.row() || st.integer(0) != 0) return std::nullopt;
    return p;
}

Result erase(const QString& folder, const Person& person) {
    Result r;
    // The history goes last: while it still names the person, an erasure cut short can be done
    // again from the same entry.
    QStringList copies;
    for (const QString& name : safety::copies(folder)) copies << safety::pathOf(folder, name);
    QString why;
    if (clearAll(copies, person, r.copies, r, QStringLiteral("清除安全副本")) &&
        clearAll(backupsIn(pathIn(folder, autobackup::kFolder)) +
                     backupsIn(autobackup::secondFolder(folder)),
                 person, r.backups, r, QStringLiteral("清除自动备份"))) {
        r.certificates = clearCertificates(folder, person, why);
        if (r.certificates < 0) {
            r.certificates = 0;
            r.step = QStringLiteral("清除证明开具记录");
            r.reason = why;
        }
    }
    if (r.step.isEmpty()) {
        log::clearSqliteError();
        r.entries = history::erasePerson(folder, person);
        if (r.entries < 0) {
            r.entries = 0;
            r.step = QStringLiteral("清除变更记录");
            r.reason = log::sqliteError();
        }
    }
    r.ok = r.step.isEmpty();
    const QString what = QStringLiteral("彻底清除");
    if (!r.ok) log::failure(what, r.step + QStringLiteral("（") + r.reason + QStringLiteral("）"));
    // On record even when cut short: what was cleared is gone.
    if (!history::recordErasure(folder, describe(r)))
        log::failure(what, QStringLiteral("写入变更记录"));
    return r;
}

QString describe(const Result& r) {
    return QStringLiteral("%1条变更记录、%2个安全副本、%3个自动备份、%4张证明")
        .arg(r.entries)
        .arg(r.copies)
        .arg(r.backups)
        .arg(r.certificates);
}

}  // namespace edit::erasure

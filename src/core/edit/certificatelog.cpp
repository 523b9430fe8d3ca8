#include "core/edit/certificatelog.h"

#include <set>

#include "core/register/files.h"
#include "core/register/history.h"
#include "core/register/log.h"
#include "core/register/ownfile.h"
#include "core/register/person.h"
#include "core/register/sqlitedb.h"
#include "core/register/text.h"
#include "core/register/workfiles.h"

namespace cert {

namespace {

using reg::sqlite::Access;
using reg::sqlite::Database;
using reg::sqlite::Statement;
using reg::sqlite::Transaction;

constexpr int kLogAppId = 0x48484A5A;  // "HHJZ"

const char* const kSchema =
    "PRAGMA application_id = 1212697178;"
    "PRAGMA user_version = 1;"
    "CREATE TABLE settings(key TEXT PRIMARY KEY, value TEXT NOT NULL);"
    "CREATE TABLE templates("
    " name TEXT PRIMARY KEY, kind INTEGER NOT NULL, title TEXT NOT NULL,"
    " subtitle TEXT NOT NULL, body TEXT NOT NULL, closing TEXT NOT NULL);"
    "CREATE TABLE certificates("
    " id INTEGER PRIMARY KEY,"
    " number TEXT NOT NULL UNIQUE,"
    " year INTEGER NOT NULL, serial INTEGER NOT NULL,"
    " time TEXT NOT NULL,"
    " template TEXT NOT NULL,"
    " serial_a TEXT NOT NULL, name_a TEXT NOT NULL, id_a TEXT NOT NULL,"
    " serial_b TEXT, name_b TEXT, id_b TEXT,"
    " reason TEXT NOT NULL,"
    " text TEXT NOT NULL, digest TEXT NOT NULL,"
    " state INTEGER NOT NULL,"
    " void_reason TEXT, void_time TEXT,"
    " recorded INTEGER NOT NULL DEFAULT 0,"
    " UNIQUE(year, serial));"
    "CREATE INDEX issuing ON certificates(state) WHERE state = 0;"
    "CREATE TABLE reprints("
    " id INTEGER PRIMARY KEY,"
    " certificate INTEGER NOT NULL REFERENCES certificates(id),"
    " time TEXT NOT NULL, state INTEGER NOT NULL, reason TEXT);"
    "CREATE INDEX reprinted ON reprints(certificate);";

const QString kWhat = QStringLiteral("证明开具记录");
const QString kWriteFailed = QStringLiteral("证明开具记录写入失败！");
const QString kTimeFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss");

// Numbers taken by this process whose output is still under way: a settle leaves them alone.
// A crash ends the process, so the next start settles them.
std::set<std::pair<QString, long long>>& inFlight() {
    static std::set<std::pair<QString, long long>> ids;
    return ids;
}

QStringList& setAsideUntold() {
    static QStringList names;
    return names;
}

void logFailure(const QString& action, const QString& reason) {
    reg::log::failure(action + kWhat, reason);
}

Answer refused(const QString& message) {
    return {Answer::Kind::Refused, message, {}};
}

Answer failed(const QString& step, const QString& reason) {
    logFailure(step, reason);
    return {Answer::Kind::Failed, kWriteFailed, step + kWhat + QStringLiteral("：") + reason};
}

QString logPath(const QString& folder) {
    return reg::pathIn(folder, kLogFileName);
}

// The log's application id and its four tables.
bool looksOurs(Database& db) {
    if (db.pragmaInt("application_id") != kLogAppId) return false;
    for (const char* probe :
         {"SELECT key, value FROM settings LIMIT 0",
          "SELECT name, kind, title, subtitle, body, closing FROM templates LIMIT 0",
          "SELECT id, number, year, serial, time, template, serial_a, name_a, id_a, serial_b, "
          "name_b, id_b, reason, text, digest, state, void_reason, void_time, recorded "
          "FROM certificates LIMIT 0",
          "SELECT id, certificate, time, state, reason FROM reprints LIMIT 0"})
        if (!db.prepare(probe)) return false;
    return true;
}

// The log of `folder`, opened for one operation. A damaged or foreign one is set aside (named
// with `now`, the clock of a settle; else the current time) and a new one started.
Database open(const QString& folder, bool thorough = false, const QDateTime& now = {}) {
    static const reg::ownfile::Kind kind{kSchema, looksOurs, kWhat, true};
    return reg::ownfile::open(logPath(folder), kind, thorough, now, setAsideUntold());
}

QString setting(Database& db, const char* key) {
    Statement st = db.prepare("SELECT value FROM settings WHERE key = ?");
    st.bindText(1, std::string_view(key));
    return st.row() ? st.string(0) : QString();
}

bool hasControl(const QString& text) {
    for (const QChar c : text)
        if (c.category() == QChar::Other_Control) return true;
    return false;
}

constexpr const char* kRecordColumns =
    "SELECT c.id, number, year, serial, c.time, template, serial_a, name_a, id_a, serial_b, "
    "name_b, id_b, reason, text, digest, c.state, coalesce(void_reason, ''), "
    "coalesce(void_time, ''), "
    "(SELECT count(*) FROM reprints r WHERE r.certificate = c.id AND r.state = 1) "
    "FROM certificates c ";

Record readRecord(const Statement& st) {
    Record r;
    r.id = st.integer(0);
    r.number = st.string(1);
    r.year = int(st.integer(2));
    r.serial = int(st.integer(3));
    r.time = st.string(4);
    r.templateName = st.string(5);
    r.person = {st.string(6), st.string(7), st.string(8)};
    if (st.text(9).data()) r.second = Party{st.string(9), st.string(10), st.string(11)};
    r.reason = st.string(12);
    r.text = st.string(13);
    r.digest = st.string(14);
    r.state = State(st.integer(15));
    r.voidReason = st.string(16);
    r.voidTime = st.string(17);
    r.reprints = int(st.integer(18));
    return r;
}

std::optional<Record> recordById(Database& db, long long id) {
    Statement st = db.prepare(std::string(kRecordColumns) + "WHERE c.id = ?");
    st.bindInt(1, id);
    if (!st.row()) return std::nullopt;
    return readRecord(st);
}

Party partyOf(const std::vector<std::string>& v) {
    return {reg::fromGb(v[reg::F序号 - 1]), reg::fromGb(v[reg::F姓名 - 1]),
            reg::fromGb(v[reg::F公民身份号码 - 1])};
}

// The change history's fact of an issued certificate; then it is marked as recorded. Left
// unmarked when the history does not take it, for the next settle.
void recordFact(const QString& folder, Database& db, const Record& r) {
    reg::history::Entry e;
    e.action = reg::history::Action::Certificate;
    e.time = r.time;
    e.serial = reg::toGb(r.person.serial);
    e.name = reg::toGb(r.person.name);
    e.file = r.templateName + QLatin1Char(' ') + r.number;
    if (!reg::history::recordFact(folder, e)) return;
    Statement st = db.prepare("UPDATE certificates SET recorded = 1 WHERE id = ?");
    st.bindInt(1, r.id);
    if (!st.done()) logFailure(QStringLiteral("记录"), db.error());
}

}  // namespace

QString stateName(State state) {
    switch (state) {
        case State::Issuing:
            return QStringLiteral("开具中");
        case State::Issued:
            return QStringLiteral("已开具");
        case State::Void:
            return QStringLiteral("作废");
    }
    return {};
}

QString verdictText(Verdict verdict) {
    switch (verdict) {
        case Verdict::Matches:
            return QStringLiteral("记录相符");
        case Verdict::NoSuchNumber:
            return QStringLiteral("编号不存在");
        case Verdict::ContentDiffers:
            return QStringLiteral("内容不符");
        case Verdict::Void:
            return QStringLiteral("已作废");
    }
    return {};
}

QString setAsideWarning(const QString& name) {
    return QStringLiteral(
               "证明开具记录文件已损坏或不是本软件的文件，已改名为“%1”保存，"
               "并开始了新的证明开具记录。")
        .arg(name);
}

QDate Record::date() const {
    return QDateTime::fromString(time, kTimeFormat).date();
}

QString Record::qr() const {
    return qrPayload(number, date(), person.name, digest);
}

Settings settings(const QString& folder) {
    Database db = open(folder);
    return {setting(db, "village"), setting(db, "prefix")};
}

Answer saveSettings(const QString& folder, const Settings& s) {
    const QString village = s.village.trimmed(), prefix = s.prefix.trimmed();
    if (village.isEmpty()) return refused(QStringLiteral("请输入村居名称！"));
    if (prefix.isEmpty()) return refused(QStringLiteral("请输入编号前缀！"));
    if (village.size() > 40 || hasControl(village))
        return refused(QStringLiteral("村居名称不能超过40个字！"));
    if (prefix.size() > 10 || hasControl(prefix) || prefix.contains(QLatin1Char('|')) ||
        prefix.contains(QChar(u'〔')))
        return refused(QStringLiteral("编号前缀最多10个字，不能含有“|”和“〔”！"));
    Database db = open(folder);
    Transaction saving(db, true);
    Statement st = db.prepare("INSERT OR REPLACE INTO settings(key, value) VALUES(?, ?)");
    st.bindText(1, std::string_view("village"));
    st.bindText(2, village);
    const bool first = saving.active() && st.run();
    st.bindText(1, std::string_view("prefix"));
    st.bindText(2, prefix);
    if (!first || !st.done() || !saving.commit())
        return failed(QStringLiteral("写入设置到"), db.error());
    return {};
}

std::vector<Template> templates(const QString& folder) {
    std::vector<Template> all = builtInTemplates();
    Database db = open(folder);
    Statement st = db.prepare(
        "SELECT name, kind, title, subtitle, body, closing FROM templates ORDER BY name");
    while (st.row()) {
        const int kind = int(st.integer(1));
        if (kind < 0 || kind >= kKindCount) continue;
        all.push_back({st.string(0), Kind(kind), st.string(2), st.string(3), st.string(4),
                       st.string(5), false});
    }
    return all;
}

Answer saveTemplate(const QString& folder, const Template& tpl) {
    const QString name = tpl.name.trimmed();
    if (name.isEmpty()) return refused(QStringLiteral("请输入模板名称！"));
    for (const Template& b : builtInTemplates())
        if (b.name == name) return refused(QStringLiteral("不能使用内置模板的名称！"));
    if (name.size() > 20 || hasControl(name))
        return refused(QStringLiteral("模板名称不能超过20个字！"));
    if (tpl.title.trimmed().isEmpty()) return refused(QStringLiteral("请输入证明标题！"));
    const QStringList unknown = unknownPlaceholders(tpl);
    if (!unknown.isEmpty())
        return refused(QStringLiteral("模板中有无法识别的占位符：{%1}").arg(unknown.join("}、{")));
    const auto lines = [](const QString& t) {
        return QString(t).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    };
    Database db = open(folder);
    Statement st = db.prepare(
        "INSERT OR REPLACE INTO templates(name, kind, title, subtitle, body, closing) "
        "VALUES(?, ?, ?, ?, ?, ?)");
    st.bindText(1, name);
    st.bindInt(2, int(tpl.kind));
    st.bindText(3, tpl.title.trimmed());
    st.bindText(4, tpl.subtitle.trimmed());
    st.bindText(5, lines(tpl.body));
    st.bindText(6, lines(tpl.closing));
    if (!st.done()) return failed(QStringLiteral("保存模板到"), db.error());
    return {};
}

Answer removeTemplate(const QString& folder, const QString& name) {
    Database db = open(folder);
    Statement there = db.prepare("SELECT 1 FROM templates WHERE name = ?");
    there.bindText(1, name);
    if (!there.row()) return refused(QStringLiteral("没有这个自定义模板！"));
    there.reset();
    Statement st = db.prepare("DELETE FROM templates WHERE name = ?");
    st.bindText(1, name);
    if (!st.done()) return failed(QStringLiteral("删除模板于"), db.error());
    return {};
}

LogHealth settle(const QString& folder, const QDateTime& now) {
    LogHealth health;
    {
        Database db = open(folder, true, now);
        if (db) {
            Transaction settling(db, true);
            // Numbers and reprints left under way, but not those of this process.
            const auto underWay = [&](const char* sql, long long sign) {
                std::vector<long long> ids;
                Statement st = db.prepare(sql);
                while (settling.active() && st.row())
                    if (!inFlight().count({folder, sign * st.integer(0)}))
                        ids.push_back(st.integer(0));
                return ids;
            };
            const std::vector<long long> issuing =
                underWay("SELECT id FROM certificates WHERE state = 0", 1);
            const std::vector<long long> reprinting =
                underWay("SELECT id FROM reprints WHERE state = 0", -1);
            bool ok = settling.active();
            Statement up = db.prepare(
                "UPDATE certificates SET state = 2, void_reason = ?, void_time = ? WHERE id = ?");
            up.bindText(1, kInterrupted);
            up.bindText(2, now.toString(kTimeFormat));
            for (long long id : issuing) {
                up.bindInt(3, id);
                ok = ok && up.run();
            }
            Statement notPrinted =
                db.prepare("UPDATE reprints SET state = 2, reason = ? WHERE id = ?");
            notPrinted.bindText(1, kInterrupted);
            for (long long id : reprinting) {
                notPrinted.bindInt(2, id);
                ok = ok && notPrinted.run();
            }
            ok = ok && settling.commit();
            if (!ok)
                logFailure(QStringLiteral("整理"), db.error());
            else
                health.interrupted = int(issuing.size());
        }
        if (db) {
            std::vector<Record> unrecorded;
            Statement st =
                db.prepare(std::string(kRecordColumns) + "WHERE c.state = 1 AND c.recorded = 0");
            while (st.row()) unrecorded.push_back(readRecord(st));
            st.reset();
            for (const Record& r : unrecorded) recordFact(folder, db, r);
        }
    }
    health.setAside.swap(setAsideUntold());
    return health;
}

QString nextNumber(const QString& folder, QDate date) {
    Database db = open(folder);
    const QString prefix = setting(db, "prefix");
    if (prefix.isEmpty()) return {};
    Statement st =
        db.prepare("SELECT coalesce(max(serial), 0) + 1 FROM certificates WHERE year = ?");
    st.bindInt(1, date.year());
    return st.row() ? numberText(prefix, date.year(), int(st.integer(0))) : QString();
}

Taken take(const QString& folder, const Template& tpl, const Subject& subject,
           const QDateTime& at) {
    Taken taken;
    if (subject.person.size() != size_t(reg::kFieldCount) ||
        (!subject.second.empty() && subject.second.size() != size_t(reg::kFieldCount))) {
        taken.answer = refused(QStringLiteral("请选择要开具证明的人员！"));
        return taken;
    }
    const std::string today = at.date().toString(QStringLiteral("yyyyMMdd")).toStdString();
    if (!fits(tpl.kind, subject.person, today)) {
        taken.answer = refused(QStringLiteral("“%1”不适用于此人（%2）！")
                                   .arg(tpl.name, reg::fromGb(subject.person[reg::F姓名 - 1])));
        return taken;
    }
    Database db = open(folder);
    Transaction taking(db, true);
    if (!taking.active()) {
        taken.answer = failed(QStringLiteral("编号写入"), db.error());
        return taken;
    }
    const Settings s{setting(db, "village"), setting(db, "prefix")};
    if (!s.complete()) {
        taken.answer = refused(QStringLiteral("请先设置村居名称和编号前缀！"));
        return taken;
    }
    const int year = at.date().year();
    Statement next =
        db.prepare("SELECT coalesce(max(serial), 0) + 1 FROM certificates WHERE year = ?");
    next.bindInt(1, year);
    if (!next.row()) {
        taken.answer = failed(QStringLiteral("读取"), db.error());
        return taken;
    }
    const int serial = int(next.integer(0));
    next.reset();
    taken.number = numberText(s.prefix, year, serial);
    taken.page = render(tpl, subject, {taken.number, s.village, at.date()});
    const QString text = renderedToText(taken.page);
    const QString digest = digestOf(text);
    const Party a = partyOf(subject.person);
    Statement st = db.prepare(
        "INSERT INTO certificates(number, year, serial, time, template, serial_a, name_a, id_a, "
        "serial_b, name_b, id_b, reason, text, digest, state) "
        "VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, 0)");
    st.bindText(1, taken.number);
    st.bindInt(2, year);
    st.bindInt(3, serial);
    st.bindText(4, at.toString(kTimeFormat));
    st.bindText(5, tpl.name);
    st.bindText(6, a.serial);
    st.bindText(7, a.name);
    st.bindText(8, a.identity);
    if (!subject.second.empty()) {
        const Party b = partyOf(subject.second);
        st.bindText(9, b.serial);
        st.bindText(10, b.name);
        st.bindText(11, b.identity);
    }
    st.bindText(12, subject.reason.trimmed());
    st.bindText(13, text);
    st.bindText(14, digest);
    if (!st.done()) {
        taken.answer = failed(QStringLiteral("编号写入"), db.error());
        return taken;
    }
    taken.id = db.lastInsertId();
    if (!taking.commit()) {
        taken.answer = failed(QStringLiteral("编号写入"), db.error());
        taken.id = 0;
        return taken;
    }
    inFlight().insert({folder, taken.id});
    taken.qr = qrPayload(taken.number, at.date(), a.name, digest);
    return taken;
}

Answer markIssued(const QString& folder, long long id) {
    Database db = open(folder);
    std::optional<Record> r;
    {
        Transaction marking(db, true);
        if (!marking.active()) return failed(QStringLiteral("标记已开具于"), db.error());
        r = recordById(db, id);
        if (!r) return refused(QStringLiteral("编号不存在！"));
        if (r->state == State::Void) return refused(QStringLiteral("该证明已作废！"));
        if (r->state == State::Issuing) {
            Statement st = db.prepare("UPDATE certificates SET state = 1 WHERE id = ?");
            st.bindInt(1, id);
            if (!st.done() || !marking.commit())
                return failed(QStringLiteral("标记已开具于"), db.error());
        }
    }
    inFlight().erase({folder, id});
    recordFact(folder, db, *r);
    return {};
}

Answer markVoid(const QString& folder, long long id, const QString& reason, const QDateTime& at) {
    const QString why = reason.trimmed();
    if (why.isEmpty()) return refused(QStringLiteral("请输入作废原因！"));
    Database db = open(folder);
    Transaction voiding(db, true);
    if (!voiding.active()) return failed(QStringLiteral("作废写入"), db.error());
    const std::optional<Record> r = recordById(db, id);
    if (!r) return refused(QStringLiteral("编号不存在！"));
    if (r->state == State::Void) return refused(QStringLiteral("该证明已作废！"));
    Statement st = db.prepare(
        "UPDATE certificates SET state = 2, void_reason = ?, void_time = ? WHERE id = ?");
    st.bindText(1, why);
    st.bindText(2, at.toString(kTimeFormat));
    st.bindInt(3, id);
    if (!st.done() || !voiding.commit()) return failed(QStringLiteral("作废写入"), db.error());
    inFlight().erase({folder, id});
    return {};
}

Reprint takeReprint(const QString& folder, const QString& number, const QDateTime& at) {
    Reprint out;
    Database db = open(folder);
    Transaction taking(db, true);
    Statement find = db.prepare(std::string(kRecordColumns) + "WHERE number = ?");
    find.bindText(1, number.trimmed());
    if (!taking.active() || !find.row()) {
        out.answer = taking.active() ? refused(QStringLiteral("编号不存在！"))
                                     : failed(QStringLiteral("补打写入"), db.error());
        return out;
    }
    out.record = readRecord(find);
    find.reset();
    if (out.record.state != State::Issued) {
        out.answer = refused(QStringLiteral("该证明未开具或已作废，不能补打！"));
        return out;
    }
    // What is printed again is what was certified: a log whose text was altered prints nothing.
    if (digestOf(out.record.text) != out.record.digest) {
        out.answer = refused(QStringLiteral("该证明的记录内容与摘要不符，不能补打！"));
        return out;
    }
    Statement st = db.prepare("INSERT INTO reprints(certificate, time, state) VALUES(?, ?, 0)");
    st.bindInt(1, out.record.id);
    st.bindText(2, at.toString(kTimeFormat));
    if (!st.done()) {
        out.answer = failed(QStringLiteral("补打写入"), db.error());
        return out;
    }
    out.id = db.lastInsertId();
    if (!taking.commit()) {
        out.answer = failed(QStringLiteral("补打写入"), db.error());
        out.id = 0;
        return out;
    }
    // Reprints are kept in flight as negative ids, apart from the numbers.
    inFlight().insert({folder, -out.id});
    out.page = textToRendered(out.record.text);
    return out;
}

Answer finishReprint(const QString& folder, long long reprintId, bool printed,
                     const QString& reason) {
    Database db = open(folder);
    Statement st = db.prepare("UPDATE reprints SET state = ?, reason = ? WHERE id = ?");
    st.bindInt(1, printed ? 1 : 2);
    if (!printed) st.bindText(2, reason.trimmed().isEmpty() ? QStringLiteral("未打印") : reason);
    st.bindInt(3, reprintId);
    if (!st.done()) return failed(QStringLiteral("补打写入"), db.error());
    inFlight().erase({folder, -reprintId});
    return {};
}

std::vector<Record> records(const QString& folder) {
    std::vector<Record> out;
    Database db = open(folder);
    Statement st = db.prepare(std::string(kRecordColumns) + "ORDER BY c.id DESC");
    Statement::Step step;
    while ((step = st.step()) == Statement::Step::Row) out.push_back(readRecord(st));
    if (step == Statement::Step::Failed && db) logFailure(QStringLiteral("读取"), db.error());
    return out;
}

std::optional<Record> record(const QString& folder, const QString& number) {
    Database db = open(folder);
    Statement st = db.prepare(std::string(kRecordColumns) + "WHERE number = ?");
    st.bindText(1, number.trimmed());
    if (!st.row()) return std::nullopt;
    return readRecord(st);
}

Verification verify(const QString& folder, const QString& input) {
    const QString text = input.trimmed();
    QrFields qr;
    const bool isQr = text.contains(QLatin1Char('|'));
    const bool parsed = isQr && parseQrPayload(text, &qr);
    const QString number = isQr ? text.left(text.indexOf(QLatin1Char('|'))).trimmed() : text;
    Verification v;
    v.record = record(folder, number);
    // A number still 开具中, or in a state this program does not know, was never issued.
    if (!v.record || (v.record->state != State::Issued && v.record->state != State::Void)) {
        v.verdict = Verdict::NoSuchNumber;
        return v;
    }
    if (v.record->state == State::Void) {
        v.verdict = Verdict::Void;
        return v;
    }
    const Record& r = *v.record;
    const bool intact = digestOf(r.text) == r.digest;
    const bool sameQr = !isQr || (parsed && qr.date == r.date() && qr.name == r.person.name &&
                                  qr.digest == r.digest);
    v.verdict = intact && sameQr ? Verdict::Matches : Verdict::ContentDiffers;
    return v;
}

}  // namespace cert

#include "core/register/autobackup.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <algorithm>
#include <cerrno>
#include <map>

#include "core/register/files.h"
#include "core/register/history.h"
#include "core/register/log.h"
#include "core/register/settings.h"
#include "core/register/sqlitedb.h"
#include "core/register/workfiles.h"

namespace reg::autobackup {

namespace {

const QString kPrefix = QStringLiteral("户籍数据-");
constexpr char kSecondKey[] = "autobackup_second_folder";
constexpr char kOutsideKey[] = "autobackup_copied_outside";
constexpr char kRemindedKey[] = "autobackup_reminded";
constexpr int kRemindAfterDays = 30;
constexpr int kRemindEveryDays = 7;

const QRegularExpression& namePattern() {
    static const QRegularExpression pattern(QStringLiteral("^户籍数据-(\\d{8})-(\\d{4})\\.bak$"));
    return pattern;
}

const QRegularExpression& leftoverPattern() {
    // files::temporaryNameBeside: a dot, the target's name, eight hex digits, ".tmp".
    static const QRegularExpression pattern(QStringLiteral("^\\..+\\.[0-9a-f]{8}\\.tmp$"));
    return pattern;
}

QString dirOf(const QString& folder) {
    return pathIn(folder, kFolder);
}

void makePrivate(const QString& path, bool folder) {
    QFileDevice::Permissions mode = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
    if (folder) mode |= QFileDevice::ExeOwner;
    QFile::setPermissions(path, mode);
}

// A register left with a hot journal by a crash is rolled back by its first reader; a byte copy
// or a read-only check made before that would see the half-written pages.
void settle(const QString& registerPath) {
    if (!files::exists(registerPath + QStringLiteral("-journal"))) return;
    sqlite::Database db;
    if (db.open(registerPath, sqlite::Access::ReadWrite)) (void)db.pragmaInt("schema_version");
}

bool sameBytes(const QString& a, const QString& b) {
    if (files::size(a) != files::size(b)) return false;
    QFile fa(a), fb(b);
    if (!fa.open(QIODevice::ReadOnly) || !fb.open(QIODevice::ReadOnly)) return false;
    constexpr qint64 kChunk = 1 << 20;
    for (;;) {
        const QByteArray x = fa.read(kChunk);
        const QByteArray y = fb.read(kChunk);
        if (x != y) return false;
        if (x.isEmpty()) return true;
    }
}

// Whether `dir` lies inside the program folder (a copy there is lost with the PC).
bool insideFolder(const QString& dir, const QString& folder) {
    const QString d = QDir(dir).canonicalPath();
    const QString f = QDir(folder).canonicalPath();
    return !d.isEmpty() && (d == f || d.startsWith(f + QLatin1Char('/')));
}

void applyKeepRule(const QString& dir, const QDateTime& now) {
    const std::vector<Backup> all = listIn(dir);
    std::vector<QDateTime> times;
    for (const Backup& b : all) times.push_back(b.time);
    const std::vector<size_t> keep = kept(times, now);
    for (size_t i = 0; i < all.size(); ++i)
        if (!std::binary_search(keep.begin(), keep.end(), i) && !files::remove(all[i].path))
            log::failure(QStringLiteral("删除旧的自动备份 ") + all[i].name, log::errnoText(errno));
}

bool copyToSecond(const QString& folder, const Backup& made, const QDateTime& now) {
    const QString second = secondFolder(folder);
    if (second.isEmpty()) return false;
    // A stick that is not plugged in, a share that is offline or read-only: skipped, no message.
    if (!QFileInfo(second).isDir()) {
        log::event(QStringLiteral("第二备份文件夹不在，本次未复制"));
        return false;
    }
    if (!files::canWriteIn(second)) {
        log::failure(QStringLiteral("复制自动备份到第二备份文件夹"), files::whyNotWritable(second));
        return false;
    }
    removeLeftovers(second);
    const QString target = second + QLatin1Char('/') + made.name;
    if (!files::copy(made.path, target)) {
        const QString why = files::whyNotWritable(second);
        log::failure(QStringLiteral("复制自动备份到第二备份文件夹"),
                     why.isEmpty() ? log::errnoText(errno) : why);
        return false;
    }
    makePrivate(target, false);
    applyKeepRule(second, now);
    if (!insideFolder(second, folder))
        (void)settings::setValue(folder, kOutsideKey, now.toString(Qt::ISODate));
    return true;
}

Outcome failed(const QString& step, const QString& reason) {
    log::failure(step, reason);
    Outcome o;
    o.step = step;
    o.reason = reason;
    return o;
}

}  // namespace

QString nameFor(const QDateTime& time) {
    return kPrefix + time.toString(QStringLiteral("yyyyMMdd-HHmm")) + QStringLiteral(".bak");
}

std::optional<QDateTime> timeOf(const QString& name) {
    const QRegularExpressionMatch m = namePattern().match(name);
    if (!m.hasMatch()) return std::nullopt;
    const QDateTime t =
        QDateTime::fromString(m.captured(1) + m.captured(2), QStringLiteral("yyyyMMddHHmm"));
    if (!t.isValid()) return std::nullopt;
    return t;
}

std::vector<size_t> kept(const std::vector<QDateTime>& times, const QDateTime& now) {
    const QDate today = now.date();
    const auto mondayOf = [](QDate d) { return d.addDays(1 - d.dayOfWeek()); };
    const auto monthOf = [](QDate d) { return d.year() * 12 + d.month() - 1; };
    const QDate firstDay = today.addDays(-6);
    const QDate firstWeek = mondayOf(today).addDays(-7 * 7);
    const int firstMonth = monthOf(today) - 11;
    // Calendar buckets, so that the one kept for a past day, week or month never changes.
    std::map<qint64, size_t> days, weeks, months;
    std::vector<size_t> out;
    const auto newest = [&](std::map<qint64, size_t>& bucket, qint64 key, size_t i) {
        auto [at, added] = bucket.try_emplace(key, i);
        if (!added && times[at->second] < times[i]) at->second = i;
    };
    for (size_t i = 0; i < times.size(); ++i) {
        const QDateTime& t = times[i];
        if (t > now) {
            out.push_back(i);
            continue;
        }
        const QDate d = t.date();
        if (d >= firstDay) newest(days, d.toJulianDay(), i);
        if (mondayOf(d) >= firstWeek) newest(weeks, mondayOf(d).toJulianDay(), i);
        if (monthOf(d) >= firstMonth) newest(months, monthOf(d), i);
    }
    for (const auto* bucket : {&days, &weeks, &months})
        for (const auto& [key, i] : *bucket) out.push_back(i);
    std::sort(out.begin(), out.end());
    out.erase(std::unique(out.begin(), out.end()), out.end());
    return out;
}

std::vector<Backup> listIn(const QString& dir) {
    std::vector<Backup> out;
    if (dir.isEmpty()) return out;
    for (const QFileInfo& info :
         QDir(dir).entryInfoList({kPrefix + QStringLiteral("*.bak")}, QDir::Files | QDir::System)) {
        if (info.isSymLink()) continue;
        if (const auto time = timeOf(info.fileName()))
            out.push_back({info.fileName(), info.filePath(), *time, info.size()});
    }
    std::sort(out.begin(), out.end(),
              [](const Backup& a, const Backup& b) { return a.time > b.time; });
    return out;
}

std::vector<Backup> list(const QString& folder) {
    return listIn(dirOf(folder));
}

long personsIn(const QString& path) {
    sqlite::Database db;
    if (!files::exists(path) || !db.open(path, sqlite::Access::ReadOnly)) return -1;
    sqlite::Statement st =
        db.prepare("SELECT count(*) FROM records WHERE coalesce(CAST(deleted AS INTEGER), 0) = 0");
    return st && st.row() ? long(st.integer(0)) : -1;
}

bool changedSinceNewest(const QString& folder) {
    const std::vector<Backup> all = list(folder);
    return all.empty() || !sameBytes(pathIn(folder, names::kRegister), all.front().path);
}

int removeLeftovers(const QString& dir) {
    int removed = 0;
    for (const QFileInfo& info :
         QDir(dir).entryInfoList(QDir::Files | QDir::Hidden | QDir::System)) {
        const QString name = info.fileName();
        // Only our own names: the second folder may hold the clerk's files too.
        const bool part = name.startsWith(kPrefix) && name.endsWith(kPartSuffix);
        const bool copy =
            name.startsWith(QLatin1Char('.') + kPrefix) && leftoverPattern().match(name).hasMatch();
        if (!info.isSymLink() && (part || copy) && files::remove(info.filePath())) ++removed;
    }
    if (removed) log::event(QStringLiteral("删除中断的自动备份 %1 个").arg(removed));
    return removed;
}

Outcome backUp(const QString& folder, const QDateTime& now, bool always) {
    const QString registerPath = pathIn(folder, names::kRegister);
    Outcome out;
    if (!files::exists(registerPath)) {
        out.result = Outcome::Result::NoRegister;
        return out;
    }
    const QString dir = dirOf(folder);
    if (!QDir().mkpath(dir))
        return failed(QStringLiteral("建立自动备份文件夹"), log::errnoText(errno));
    makePrivate(dir, true);
    removeLeftovers(dir);
    settle(registerPath);
    if (!always && !changedSinceNewest(folder)) {
        out.result = Outcome::Result::Unchanged;
        return out;
    }

    Backup made;
    made.name = nameFor(now);
    made.path = dir + QLatin1Char('/') + made.name;
    made.time = *timeOf(made.name);
    const QString part = made.path + kPartSuffix;
    files::remove(part);
    if (!files::copy(registerPath, part)) {
        const QString why = files::whyNotWritable(dir);
        files::remove(part);
        return failed(QStringLiteral("写入自动备份"), why.isEmpty() ? log::errnoText(errno) : why);
    }
    makePrivate(part, false);
    // Only a copy that reads as a sound register with every person stands as a backup.
    QString why;
    const long persons = personsIn(part);
    if (!sqlite::quickCheck(part, &why) || persons < 0 || persons != personsIn(registerPath)) {
        files::remove(part);
        return failed(QStringLiteral("检查自动备份"),
                      why.isEmpty() ? QStringLiteral("人数与户籍数据不符") : why);
    }
    if (!files::move(part, made.path)) {
        const QString reason = log::errnoText(errno);
        files::remove(part);
        return failed(QStringLiteral("写入自动备份"), reason);
    }
    made.bytes = files::size(made.path);
    out.result = Outcome::Result::Written;
    out.name = made.name;
    out.persons = persons;
    log::event(QStringLiteral("自动备份 %1（%2 人）").arg(made.name).arg(persons));
    applyKeepRule(dir, now);
    out.secondCopied = copyToSecond(folder, made, now);
    // The second folder is outside the program (a stick, a share): the copy is on record there,
    // as a backup the clerk makes is.
    if (out.secondCopied)
        static_cast<void>(
            history::recordAccess(folder, history::Action::Backup, QStringLiteral("自动备份"),
                                  secondFolder(folder) + QLatin1Char('/') + made.name, persons));
    return out;
}

QString secondFolder(const QString& folder) {
    return settings::value(folder, kSecondKey).value_or(QString());
}

bool setSecondFolder(const QString& folder, const QString& second) {
    return second.isEmpty() ? settings::remove(folder, kSecondKey)
                            : settings::setValue(folder, kSecondKey, second);
}

void noteCopy(const QString& folder, const QString& target, const QDateTime& now) {
    if (!insideFolder(QFileInfo(target).absolutePath(), folder))
        (void)settings::setValue(folder, kOutsideKey, now.toString(Qt::ISODate));
}

QDateTime lastCopyOutside(const QString& folder) {
    return QDateTime::fromString(settings::value(folder, kOutsideKey).value_or(QString()),
                                 Qt::ISODate);
}

std::optional<Damage> checkRegister(const QString& folder) {
    const QString registerPath = pathIn(folder, names::kRegister);
    if (!files::exists(registerPath)) return std::nullopt;
    settle(registerPath);
    Damage damage;
    if (sqlite::quickCheck(registerPath, &damage.why)) return std::nullopt;
    log::failure(QStringLiteral("检查户籍数据"), damage.why);
    for (const Backup& b : list(folder)) {
        QString why;
        const long persons = sqlite::quickCheck(b.path, &why) ? personsIn(b.path) : -1;
        if (persons >= 0) {
            damage.sound = b;
            damage.persons = persons;
            break;
        }
        log::failure(QStringLiteral("检查自动备份 ") + b.name,
                     why.isEmpty() ? QStringLiteral("不是户籍数据文件") : why);
    }
    return damage;
}

QString recoveryQuestion(const Damage& damage) {
    return QStringLiteral(
               "       户籍数据文件已损坏，无法正常使用。最近一份完好的自动备份是 %1 的备份，"
               "共 %2 人。要用这份备份替换损坏的户籍数据吗？损坏的文件将改名保存，不会删除。")
        .arg(damage.sound ? damage.sound->time.toString(QStringLiteral("yyyy年M月d日 HH:mm"))
                          : QString())
        .arg(damage.persons);
}

QString putInPlace(const QString& folder, const Backup& backup, const QDateTime& now) {
    const QString registerPath = pathIn(folder, names::kRegister);
    const QString journal = registerPath + QStringLiteral("-journal");
    const QString what = QStringLiteral("用自动备份替换损坏的户籍数据");
    // The backup is staged beside the register and checked there, so the rename that puts it in
    // place cannot cross file systems and never brings a damaged copy.
    const QString stage = files::temporaryNameBeside(registerPath);
    QString why;
    if (!files::copy(backup.path, stage) || !sqlite::quickCheck(stage, &why)) {
        files::remove(stage);
        log::failure(what, why.isEmpty() ? files::whyNotWritable(folder) : why);
        return {};
    }
    const QString stamp = now.toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString aside;
    for (int n = 1;; ++n) {
        aside = QStringLiteral("户籍数据-损坏-") + stamp +
                (n > 1 ? QStringLiteral("-%1").arg(n) : QString()) + QStringLiteral(".wav");
        if (!files::exists(pathIn(folder, aside))) break;
    }
    // The damaged file is kept by a complete copy first; its journal goes with it, so that the
    // backup put in place never picks up the old file's pages.
    if (!files::copy(registerPath, pathIn(folder, aside))) {
        files::remove(stage);
        log::failure(what, files::whyNotWritable(folder));
        return {};
    }
    makePrivate(pathIn(folder, aside), false);
    const bool hadJournal = files::exists(journal);
    if (hadJournal && !files::move(journal, pathIn(folder, aside) + QStringLiteral("-journal"))) {
        files::remove(stage);
        log::failure(what, log::errnoText(errno));
        return {};
    }
    if (!files::move(stage, registerPath)) {
        const QString reason = log::errnoText(errno);
        files::remove(stage);
        if (hadJournal) files::move(pathIn(folder, aside) + QStringLiteral("-journal"), journal);
        log::failure(what, reason);
        return {};
    }
    makePrivate(registerPath, false);
    log::event(QStringLiteral("户籍数据已损坏，已用自动备份 %1 替换，损坏的文件另存为 %2")
                   .arg(backup.name, aside));
    return aside;
}

void atStart(const QString& folder, const QDateTime& now,
             const std::function<bool(const QString&)>& ask) {
    if (const std::optional<Damage> damage = checkRegister(folder)) {
        // A damaged register is never backed up: it would push sound backups out.
        if (!damage->sound)
            log::failure(QStringLiteral("恢复户籍数据"), QStringLiteral("没有完好的自动备份"));
        else if (ask(recoveryQuestion(*damage)))
            (void)putInPlace(folder, *damage->sound, now);
        else
            log::event(QStringLiteral("户籍数据已损坏，操作员选择不用自动备份替换"));
        return;
    }
    const std::vector<Backup> all = list(folder);
    if (all.empty() || all.front().time.addDays(1) < now) (void)backUp(folder, now);
}

void atExit(const QString& folder, const QDateTime& now,
            const std::function<void(const QString&)>& remind) {
    (void)backUp(folder, now);
    // Since when nothing went outside: the last copy there, else the oldest backup here.
    QDateTime since = lastCopyOutside(folder);
    if (!since.isValid()) {
        const std::vector<Backup> all = list(folder);
        if (all.empty()) return;
        since = all.back().time;
    }
    if (since.addDays(kRemindAfterDays) > now) return;
    const QDateTime reminded = QDateTime::fromString(
        settings::value(folder, kRemindedKey).value_or(QString()), Qt::ISODate);
    if (reminded.isValid() && reminded.addDays(kRemindEveryDays) > now) return;
    (void)settings::setValue(folder, kRemindedKey, now.toString(Qt::ISODate));
    remind(msg::kRemind);
}

}  // namespace reg::autobackup

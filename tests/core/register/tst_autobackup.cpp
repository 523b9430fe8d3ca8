// Automatic backups: the keep rule over a year, the checks that let only a sound copy stand,
// recovery of a damaged register at start, the second folder and a killed backup's leftovers.
#include <sys/stat.h>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "core/register/autobackup.h"
#include "core/register/files.h"
#include "core/register/history.h"
#include "core/register/log.h"
#include "core/register/workfiles.h"
#include "samplegen.h"

using namespace reg;
namespace ab = reg::autobackup;

namespace {

const QDateTime kStart(QDate(2025, 1, 6), QTime(9, 0));

QString regPath(const QTemporaryDir& d) {
    return pathIn(d.path(), names::kRegister);
}

void corrupt(const QString& path, const QString& how) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadWrite));
    const qint64 size = f.size();
    if (how == u"truncated") {
        QVERIFY(f.resize(size / 2 + 100));
    } else if (how == u"page") {
        // The second page (the records' root or the fields table) overwritten with noise.
        f.seek(4096);
        QByteArray noise(4096, '\0');
        for (int i = 0; i < noise.size(); ++i) noise[i] = char((i * 131 + 7) % 251);
        f.write(noise);
    } else {  // header wiped
        f.write(QByteArray(100, '\0'));
    }
}

mode_t modeOf(const QString& path) {
    struct stat st;
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & 07777 : 0;
}

}  // namespace

class TestAutoBackup : public QObject {
    Q_OBJECT

  private slots:
    void keepRuleOverAYear_data() {
        QTest::addColumn<int>("everyHours");
        QTest::newRow("every day") << 24;
        QTest::newRow("three a day") << 8;
        QTest::newRow("every third day") << 72;
    }
    void keepRuleOverAYear() {
        QFETCH(int, everyHours);
        std::vector<QDateTime> times;
        QDateTime now = kStart;
        for (int h = 0; h <= 400 * 24; h += everyHours) {
            now = kStart.addSecs(qint64(h) * 3600);
            times.push_back(now);
            const std::vector<size_t> keep = ab::kept(times, now);
            QVERIFY(!keep.empty() && keep.back() == times.size() - 1);  // the newest stays
            std::vector<QDateTime> next;
            for (size_t i : keep) next.push_back(times[i]);
            times.swap(next);
        }
        QVERIFY2(times.size() <= 7 + 8 + 12, qPrintable(QString::number(times.size())));
        // Every day of the last week, every week of the last 8, every month of the last 12 that
        // had a backup still has one.
        const auto has = [&](auto inBucket) {
            return std::any_of(times.begin(), times.end(), inBucket);
        };
        for (int d = 0; d < 7; d += std::max(1, everyHours / 24))
            QVERIFY(has([&](const QDateTime& t) { return t.date() == now.date().addDays(-d); }));
        for (int w = 1; w < 8; ++w)
            QVERIFY(has([&](const QDateTime& t) {
                const qint64 ago = t.date().daysTo(now.date());
                return ago >= 7 * w - 6 && ago <= 7 * w + 6;
            }));
        for (int m = 1; m < 12; ++m)
            QVERIFY(has([&](const QDateTime& t) {
                const QDate d = now.date().addMonths(-m);
                return t.date().year() == d.year() && t.date().month() == d.month();
            }));
        QVERIFY(!has([&](const QDateTime& t) { return t.date() < now.date().addMonths(-12); }));
        // A clock set back never costs the backups made "later".
        QCOMPARE(ab::kept({now.addDays(5), now}, now.addDays(-30)).size(), size_t(2));
    }

    void backupIsVerifiedPrivateAndOnlyWhenChanged() {
        QTemporaryDir d;
        QVERIFY(sample::writeRegister(regPath(d), 300, 7));
        const ab::Outcome first = ab::backUp(d.path(), kStart);
        QCOMPARE(first.result, ab::Outcome::Result::Written);
        QCOMPARE(first.name, QStringLiteral("户籍数据-20250106-0900.bak"));
        QCOMPARE(first.persons, 300L);
        QCOMPARE(modeOf(pathIn(d.path(), ab::kFolder)), mode_t(0700));
        QCOMPARE(modeOf(ab::list(d.path()).front().path), mode_t(0600));
        QCOMPARE(ab::backUp(d.path(), kStart.addSecs(3600)).result, ab::Outcome::Result::Unchanged);
        QVERIFY(sample::writeRegister(regPath(d), 301, 7));
        QVERIFY(ab::changedSinceNewest(d.path()));
        // The same day keeps its newest only; the next day's stands beside it.
        QCOMPARE(ab::backUp(d.path(), kStart.addSecs(7200)).persons, 301L);
        QCOMPARE(ab::list(d.path()).size(), size_t(1));
        QVERIFY(sample::writeRegister(regPath(d), 302, 7));
        QCOMPARE(ab::backUp(d.path(), kStart.addDays(1)).persons, 302L);
        QCOMPARE(ab::list(d.path()).size(), size_t(2));
    }

    // A damaged register never stands as a backup, and the sound ones stay.
    void damagedRegisterNeverPushesOutBackups() {
        QTemporaryDir d;
        QVERIFY(sample::writeRegister(regPath(d), 300, 7));
        QCOMPARE(ab::backUp(d.path(), kStart).result, ab::Outcome::Result::Written);
        corrupt(regPath(d), QStringLiteral("page"));
        QCOMPARE(ab::backUp(d.path(), kStart.addDays(1)).result, ab::Outcome::Result::Failed);
        QCOMPARE(ab::list(d.path()).size(), size_t(1));
        QVERIFY(QDir(pathIn(d.path(), ab::kFolder)).entryList(QDir::Files | QDir::Hidden).size() ==
                1);
    }

    void recoveryAtStart_data() {
        QTest::addColumn<QString>("damage");
        QTest::addColumn<bool>("newestDamaged");
        QTest::addColumn<bool>("accept");
        for (const char* how : {"truncated", "page", "header"}) {
            QTest::addRow("%s, accepted", how) << QString::fromLatin1(how) << false << true;
            QTest::addRow("%s, newest backup damaged", how)
                << QString::fromLatin1(how) << true << true;
        }
        QTest::newRow("declined") << QStringLiteral("header") << false << false;
    }
    void recoveryAtStart() {
        QFETCH(QString, damage);
        QFETCH(bool, newestDamaged);
        QFETCH(bool, accept);
        QTemporaryDir d;
        QVERIFY(sample::writeRegister(regPath(d), 2000, 3));
        QCOMPARE(ab::backUp(d.path(), kStart).persons, 2000L);
        QVERIFY(sample::writeRegister(regPath(d), 2100, 3));
        QCOMPARE(ab::backUp(d.path(), kStart.addDays(1)).persons, 2100L);
        if (newestDamaged) corrupt(ab::list(d.path()).front().path, damage);
        corrupt(regPath(d), damage);
        const QByteArray damagedBytes = [&] {
            QFile f(regPath(d));
            return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        }();

        QStringList asked;
        ab::atStart(d.path(), kStart.addDays(3), [&](const QString& q) {
            asked << q;
            return accept;
        });
        QCOMPARE(asked.size(), 1);
        const long expected = newestDamaged ? 2000 : 2100;
        QVERIFY2(asked[0].contains(QStringLiteral("共 %1 人").arg(expected)), qPrintable(asked[0]));
        QVERIFY(asked[0].contains(newestDamaged ? u"2025年1月6日 09:00" : u"2025年1月7日 09:00"));
        const QStringList aside = QDir(d.path()).entryList({QStringLiteral("户籍数据-损坏-*.wav")});
        if (!accept) {
            QVERIFY(aside.isEmpty());
            QFile f(regPath(d));
            QVERIFY(f.open(QIODevice::ReadOnly));
            QCOMPARE(f.readAll(), damagedBytes);
            return;
        }
        QCOMPARE(ab::personsIn(regPath(d)), expected);
        QCOMPARE(aside, QStringList{QStringLiteral("户籍数据-损坏-20250109-090000.wav")});
        QFile f(pathIn(d.path(), aside[0]));
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), damagedBytes);
        // Recovered, the register is checked sound the next time and nothing is asked.
        ab::atStart(d.path(), kStart.addDays(3), [](const QString&) { return false; });
        QVERIFY(!ab::checkRegister(d.path()));
    }

    void secondFolder_data() {
        QTest::addColumn<QString>("state");
        QTest::addColumn<bool>("copied");
        QTest::newRow("present") << QStringLiteral("present") << true;
        QTest::newRow("absent") << QStringLiteral("absent") << false;
        QTest::newRow("read-only") << QStringLiteral("read-only") << false;
    }
    void secondFolder() {
        QFETCH(QString, state);
        QFETCH(bool, copied);
        QTemporaryDir d, stick;
        QVERIFY(sample::writeRegister(regPath(d), 50, 1));
        const QString second = stick.filePath(QStringLiteral("备份"));
        if (state != u"absent") QVERIFY(QDir().mkpath(second));
        if (state == u"read-only")
            QFile::setPermissions(second, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        if (state == u"read-only" && files::canWriteIn(second)) QSKIP("root writes anywhere");
        QVERIFY(ab::setSecondFolder(d.path(), second));
        QCOMPARE(ab::secondFolder(d.path()), second);
        const ab::Outcome o = ab::backUp(d.path(), kStart);
        QCOMPARE(o.result, ab::Outcome::Result::Written);  // the backup here stands either way
        QCOMPARE(o.secondCopied, copied);
        QCOMPARE(ab::listIn(second).size(), size_t(copied ? 1 : 0));
        QCOMPARE(ab::lastCopyOutside(d.path()).isValid(), copied);
        // A copy that left the program folder is on record; the one inside it is not.
        const auto facts = history::entries(d.path());
        QCOMPARE(facts.size(), size_t(copied ? 1 : 0));
        if (copied) QCOMPARE(history::accessWhere(facts[0]), ab::listIn(second)[0].path);
        QFile::setPermissions(
            second, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        QVERIFY(ab::setSecondFolder(d.path(), QString()));
        QVERIFY(ab::secondFolder(d.path()).isEmpty());
    }

    // A backup killed while writing leaves a .part (or the copy's own temporary file): never
    // counted, removed by the next backup.
    void leftoversOfAKilledBackup() {
        QTemporaryDir d;
        QVERIFY(sample::writeRegister(regPath(d), 50, 1));
        const QString dir = pathIn(d.path(), ab::kFolder);
        QVERIFY(QDir().mkpath(dir));
        QVERIFY(QFile::copy(regPath(d), dir + QStringLiteral("/户籍数据-20250105-0800.bak.part")));
        QVERIFY(QFile::copy(regPath(d), dir + QStringLiteral("/.户籍数据-20250105-0800.bak.part."
                                                             "0badcafe.tmp")));
        QVERIFY(ab::list(d.path()).empty());
        QVERIFY(ab::changedSinceNewest(d.path()));
        QCOMPARE(ab::backUp(d.path(), kStart).result, ab::Outcome::Result::Written);
        QCOMPARE(QDir(dir).entryList(QDir::Files | QDir::Hidden),
                 QStringList{QStringLiteral("户籍数据-20250106-0900.bak")});
    }

    void reminderAtMostWeekly() {
        QTemporaryDir d;
        QVERIFY(sample::writeRegister(regPath(d), 20, 1));
        int reminded = 0;
        const auto remind = [&](const QString& text) {
            QCOMPARE(text, ab::msg::kRemind);
            ++reminded;
        };
        ab::atExit(d.path(), kStart, remind);  // the first backup: nothing went out yet
        for (int day = 1; day <= 44; ++day) ab::atExit(d.path(), kStart.addDays(day), remind);
        QCOMPARE(reminded, 3);  // days 30, 37, 44
    }
};

QTEST_GUILESS_MAIN(TestAutoBackup)
#include "tst_autobackup.moc"

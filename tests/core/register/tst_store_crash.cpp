// A child process is killed at random moments inside store operations; the files it leaves must
// hold the records of before or of after, and no partial file may stand under a real name.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <functional>

#include "core/register/files.h"
#include "core/register/person.h"
#include "core/register/programfolder.h"
#include "core/register/store.h"
#include "core/register/text.h"
#include "core/register/workfiles.h"

using namespace reg;

namespace {

constexpr int kRecords = 1500;

std::vector<std::string> serials(const QString& path) {
    RecordStore s;
    std::vector<std::string> out;
    if (!s.OpenTable(path)) return {"<does not open>"};
    for (long n = 1; n <= s.RecordCount(); ++n) {
        s.GoTo(n);
        out.push_back(s.ReadField(F序号));
    }
    return out;
}

// Serial numbers kRecords..1, so that sorting changes every position.
std::vector<std::string> descending(int count) {
    std::vector<std::string> v;
    for (int i = count; i >= 1; --i) v.push_back(std::to_string(i));
    return v;
}

std::vector<std::string> ascending(int count) {
    std::vector<std::string> v;
    for (int i = 1; i <= count; ++i) v.push_back(std::to_string(i));
    return v;
}

void fillRegister(const QString& path, const std::vector<std::string>& order) {
    files::remove(path);
    QVERIFY(createRegisterIfMissing(path));
    RecordStore s;
    QVERIFY(s.OpenTable(path));
    for (const auto& serial : order) {
        std::vector<std::string> v(kFieldCount, gb("某村某组"));
        v[F序号 - 1] = serial;
        v[F姓名 - 1] = gb("王𠮷") + serial;
        QVERIFY(s.AppendRecord(v));
    }
}

// Runs `work` over and over in a child and kills it after a random delay; true when the child
// was killed rather than finished by itself.
bool killDuring(const std::function<void()>& work, int maxDelayUs) {
    const pid_t pid = fork();
    if (pid < 0) qFatal("fork failed");
    if (pid == 0) {
        for (;;) work();
    }
    usleep(useconds_t(QRandomGenerator::global()->bounded(maxDelayUs)));
    kill(pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFSIGNALED(status);
}

}  // namespace

class TestStoreCrash : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    QString reg_, target_;

  private slots:
    void initTestCase() {
        QVERIFY(dir.isValid());
        reg_ = pathIn(dir.path(), names::kRegister);
        target_ = dir.filePath("target.wav");
    }

    void sortToAndCopyToNeverLeaveAPartialTarget() {
        fillRegister(reg_, descending(kRecords));
        const auto before = descending(kRecords);
        const auto sorted = ascending(kRecords);
        for (int round = 0; round < 40; ++round) {
            const bool sort = round % 2 == 0;
            killDuring(
                [&] {
                    // Killed at any moment: the parent judges what the files hold.
                    RecordStore s;
                    static_cast<void>(s.OpenTable(reg_));
                    if (sort)
                        static_cast<void>(s.SortTo(target_, [&s] { return serialKey(s); }));
                    else
                        static_cast<void>(s.CopyTo(target_));
                    static_cast<void>(s.CloseAllTables());
                },
                60000);
            QCOMPARE(serials(reg_), before);
            if (files::exists(target_)) {
                const auto got = serials(target_);
                QVERIFY2(got == sorted || got == before, "a partial target");
            }
            files::remove(target_);
        }
    }

    void aKilledRebuildLeavesTheRegisterBeforeOrAfter() {
        const auto before = descending(kRecords);
        const auto after = ascending(kRecords);
        int sawBefore = 0, sawAfter = 0;
        for (int round = 0; round < 40; ++round) {
            fillRegister(reg_, before);
            killDuring(
                [&] {
                    RecordStore s;
                    rebuildRegisterOrder(s, dir.path());
                    static_cast<void>(s.CloseAllTables());
                },
                80000);
            const auto got = serials(reg_);
            QVERIFY2(got == before || got == after, "the register is neither before nor after");
            (got == before ? sawBefore : sawAfter)++;
            // Whatever was interrupted, the next rebuild puts it right.
            RecordStore s;
            rebuildRegisterOrder(s, dir.path());
            QVERIFY(s.SeekKey("1"));
            QCOMPARE(s.RecordNumber(), 1L);
            QVERIFY(s.CloseAllTables());
            QCOMPARE(serials(reg_), after);
        }
        qInfo("killed before the move %d times, after it %d times", sawBefore, sawAfter);
    }

    void aKilledActionKeepsAllOrNothingOfItsWrites() {
        fillRegister(reg_, ascending(200));
        int killed = 0;
        for (int round = 0; round < 40; ++round) {
            const auto before = serials(reg_);
            killed += killDuring(
                [&] {
                    RecordStore s;
                    static_cast<void>(s.OpenTable(reg_));
                    // One action: mark and pack one record, append 300, rewrite the first.
                    s.GoTo(1);
                    static_cast<void>(s.MarkDeleted());
                    static_cast<void>(s.Pack());
                    for (int i = 0; i < 300; ++i) static_cast<void>(s.AppendRecord({"x"}));
                    s.GoTo(1);
                    static_cast<void>(s.OverwriteRecord({"y"}));
                    static_cast<void>(s.CloseAllTables());
                    _exit(0);  // one action, then stop: the parent looks at the result
                },
                30000);
            const auto got = serials(reg_);
            QVERIFY2(got == before || (got.size() == before.size() + 299 && got[0] == "y"),
                     "a part of the action was kept");
            if (got.size() > 2000) fillRegister(reg_, ascending(200));
        }
        qInfo("killed %d of 40 actions before they ended", killed);
        QVERIFY(killed > 0);
    }

    void noTemporaryFileIsMistakenForATable() {
        // Leftovers of killed writes are hidden temporary names, never the real ones.
        const QStringList names = QDir(dir.path()).entryList(QDir::Files);
        for (const QString& n : names)
            QVERIFY2(n == names::kRegister || n == names::kIndex || n == "target.wav" ||
                         n.endsWith("-journal"),
                     qPrintable(n));
    }
};

QTEST_GUILESS_MAIN(TestStoreCrash)
#include "tst_store_crash.moc"

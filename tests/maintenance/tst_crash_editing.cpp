// The edit driver, the real window code in a process of its own, is killed at random moments
// while it adds, modifies, deletes and clears. Afterwards the register opens, holds every record
// as it was before the interrupted op or as it is after it, and is in order after a rebuild.
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <sstream>

#include "crashops.h"
#include "register/programfolder.h"
#include "register/store.h"
#include "register/workfiles.h"
#include "samplegen.h"

using namespace reg;

namespace {

crashops::Register readRegister(const QString& path, bool* opened) {
    RecordStore s;
    crashops::Register out;
    *opened = s.OpenTable(path);
    for (long n = 1; n <= s.RecordCount(); ++n) {
        s.GoTo(n);
        crashops::Record r;
        for (int pos = 1; pos <= kFieldCount; ++pos) r.push_back(s.ReadField(pos));
        out[r[F序号 - 1]] = r;
    }
    return out;
}

}  // namespace

class TestCrashEditing : public QObject {
    Q_OBJECT
  private slots:
    void killedEditsLoseNothing() {
        QTemporaryDir dir;
        const QString registerPath = pathIn(dir.path(), names::kRegister);
        QVERIFY(sample::writeRegister(registerPath, 300, 8));
        QRandomGenerator rng(4242);
        int interrupted = 0, completed = 0;
        const int rounds = qEnvironmentVariableIntValue("HJ_CRASH_ROUNDS") > 0
                               ? qEnvironmentVariableIntValue("HJ_CRASH_ROUNDS")
                               : 20;
        for (int round = 1; round <= rounds; ++round) {
            bool opened = false;
            crashops::Register before = readRegister(registerPath, &opened);
            QVERIFY(opened);
            const QString journal = dir.filePath(QStringLiteral("journal%1").arg(round));
            QProcess driver;
            driver.start(QStringLiteral(HJ_EDIT_DRIVER),
                         {dir.path(), journal, QString::number(round)});
            QVERIFY(driver.waitForStarted());
            QThread::msleep(300 + rng.bounded(1500));
            driver.kill();
            QVERIFY(driver.waitForFinished());

            // Replay the journal: every op that ended, then the one that was cut short.
            QFile f(journal);
            QVERIFY(f.open(QIODevice::ReadOnly));
            std::istringstream lines(f.readAll().toStdString());
            std::string kind, op, serial, value;
            crashops::Register after = before;
            bool open = false;
            std::string line;
            while (std::getline(lines, line)) {
                std::istringstream words(line);
                words >> kind;
                if (kind == "B") {
                    words >> op >> serial >> value;
                    open = true;
                } else if (kind == "E") {
                    crashops::apply(before, op, serial, value);
                    open = false;
                    ++completed;
                } else if (kind == "F") {
                    open = false;
                }
            }
            after = before;
            if (open) {
                crashops::apply(after, op, serial, value);
                ++interrupted;
            }
            const crashops::Register now = readRegister(registerPath, &opened);
            QVERIFY2(opened,
                     qPrintable(QStringLiteral("round %1: the register does not open").arg(round)));
            QVERIFY2(
                now == before || now == after,
                qPrintable(QStringLiteral("round %1: %2 %3 left the register neither before "
                                          "nor after it")
                               .arg(round)
                               .arg(QString::fromStdString(op), QString::fromStdString(serial))));

            // The next rebuild puts it in order.
            RecordStore s;
            rebuildRegisterOrder(s, dir.path());
            double previous = -1e300;
            for (long n = 1; n <= s.RecordCount(); ++n) {
                s.GoTo(n);
                QVERIFY(serialKey(s) >= previous);
                previous = serialKey(s);
            }
            QVERIFY(s.CloseAllTables());
        }
        qInfo("%d ops completed, %d interrupted by the kill", completed, interrupted);
        QVERIFY(completed > 0);
    }
};

QTEST_GUILESS_MAIN(TestCrashEditing)
#include "tst_crash_editing.moc"

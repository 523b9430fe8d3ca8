// The real executable in a temporary program folder: one copy at a time, and nothing left
// behind when it ends.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include "core/register/files.h"
#include "core/register/store.h"
#include "core/register/workfiles.h"

namespace names = reg::names;
namespace files = reg::files;

namespace {

// A program folder with its own copy of the executable, laid out by the install step.
struct Installed {
    QTemporaryDir dir;
    QString program;

    Installed() {
        program = dir.filePath(QFileInfo(QStringLiteral(HJ_PROGRAM)).fileName());
        if (!QFile::copy(QStringLiteral(HJ_PROGRAM), program)) qFatal("cannot copy the program");
        if (QProcess::execute(QStringLiteral(HJ_LAYOUT), {dir.path()}) != 0)
            qFatal("layout failed");
    }
    QString file(const QString& name) const { return reg::pathIn(dir.path(), name); }

    // Starts a copy of the program, windows offscreen.
    void start(QProcess& process, const QStringList& args = {}, const QString& home = {}) const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        if (!home.isEmpty()) {
            env.insert(QStringLiteral("HOME"), home);
            env.remove(QStringLiteral("XDG_DATA_HOME"));
        }
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(QDir::tempPath());  // the program must not rely on it
        process.start(program, args);
    }

    // Waits until the running copy holds its lock file (in `folder`, by default its own).
    bool waitForLock(QProcess& process, const QString& folder = {}) const {
        const QString lock =
            folder.isEmpty() ? file(names::kLock) : reg::pathIn(folder, names::kLock);
        for (int i = 0; i < 200; ++i) {
            if (files::exists(lock) && files::isProtected(lock)) return true;
            if (process.state() == QProcess::NotRunning) return false;
            QTest::qWait(50);
        }
        return false;
    }
};

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

}  // namespace

class TestProcess : public QObject {
    Q_OBJECT
  private slots:
    void installWritesTheFirstPasswordOnce();
    void helpFileIsCompiledWithEveryPage();
    void secondCopyEndsSilentlyWhileTheFirstRuns();
    void endingLeavesNoLockOrWorkingFile();
    void folderNamedOrInstalled_data();
    void folderNamedOrInstalled();
};

void TestProcess::installWritesTheFirstPasswordOnce() {
    Installed in;
    QCOMPARE(files::size(in.file(names::kPassword)), 4);
    QVERIFY(files::exists(in.file(names::kRegister)));

    // Laying out the folder again keeps a changed password file.
    files::setCleared(in.file(names::kPassword));
    {
        QFile f(in.file(names::kPassword));
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write("12345678");
    }
    QCOMPARE(QProcess::execute(QStringLiteral(HJ_LAYOUT), {in.dir.path()}), 0);
    QCOMPARE(readAll(in.file(names::kPassword)), QByteArray("12345678"));
}

void TestProcess::helpFileIsCompiledWithEveryPage() {
#ifdef HJ_HELP_FILE
    const QByteArray chm = readAll(QString::fromUtf8(HJ_HELP_FILE));
    QVERIFY(chm.startsWith("ITSF"));
    for (const char* page :
         {"/index.html", "/login.html", "/password.html", "/tree.html", "/edit.html", "/rules.html",
          "/query.html", "/exchange.html", "/backup.html", "/toc.hhc"})
        QVERIFY2(chm.contains(page), page);
#else
    QSKIP("chmcmd was not found when the build was configured");
#endif
}

void TestProcess::secondCopyEndsSilentlyWhileTheFirstRuns() {
    Installed in;
    QProcess first;
    in.start(first);
    QVERIFY(first.waitForStarted());
    QVERIFY(in.waitForLock(first));

    QProcess second;
    in.start(second);
    QVERIFY(second.waitForFinished(15000));
    QCOMPARE(second.exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.exitCode(), 0);
    QCOMPARE(second.readAllStandardOutput(), QByteArray());

    QTest::qWait(200);
    QCOMPARE(first.state(), QProcess::Running);
    QVERIFY(files::exists(in.file(names::kLock)));

    first.terminate();
    QVERIFY(first.waitForFinished(15000));
    QCOMPARE(first.exitCode(), 0);
}

void TestProcess::endingLeavesNoLockOrWorkingFile() {
    Installed in;
    const QByteArray registerBytes = readAll(in.file(names::kRegister));
    QProcess first;
    in.start(first);
    QVERIFY(in.waitForLock(first));
    for (const QString& name : names::kWorkingFiles) {
        QFile f(in.file(name));
        QVERIFY(f.open(QIODevice::WriteOnly));
    }

    // The desktop ending the session: the program runs its exit routine.
    first.terminate();
    QVERIFY(first.waitForFinished(15000));
    QCOMPARE(first.exitStatus(), QProcess::NormalExit);
    QCOMPARE(first.exitCode(), 0);
    QVERIFY(!files::exists(in.file(names::kLock)));
    for (const QString& name : names::kWorkingFiles)
        QVERIFY2(!files::exists(in.file(name)), qPrintable(name));
    QCOMPARE(readAll(in.file(names::kRegister)), registerBytes);
    QCOMPARE(files::size(in.file(names::kPassword)), 4);

    // A new copy starts at once and keeps running.
    QProcess next;
    in.start(next);
    QVERIFY(in.waitForLock(next));
    QTest::qWait(300);
    QCOMPARE(next.state(), QProcess::Running);
    next.terminate();
    QVERIFY(next.waitForFinished(15000));
    QCOMPARE(next.exitCode(), 0);
    QVERIFY(!files::exists(in.file(names::kLock)));
}

void TestProcess::folderNamedOrInstalled_data() {
    QTest::addColumn<bool>("installedTree");
    QTest::newRow("--folder") << false;
    QTest::newRow("unpacked installed tree, fresh home") << true;
}

void TestProcess::folderNamedOrInstalled() {
    QFETCH(bool, installedTree);
    Installed in;
    QStringList args;
    QString home, folder;
    if (installedTree) {
        // <root>/usr/bin/<program> and its read-only files in <root>/usr/share/澄禾户籍.
        const QString bin = in.dir.filePath(QStringLiteral("usr/bin"));
        const QString share = in.dir.filePath(QStringLiteral("usr/share/澄禾户籍"));
        QVERIFY(QDir().mkpath(bin) && QDir().mkpath(share));
        QVERIFY(QFile::rename(in.program, bin + u'/' + QFileInfo(in.program).fileName()));
        in.program = bin + u'/' + QFileInfo(in.program).fileName();
        QCOMPARE(QProcess::execute(QStringLiteral(HJ_LAYOUT), {share}), 0);
        home = in.dir.filePath(QStringLiteral("home"));
        folder = home + QStringLiteral("/.local/share/澄禾户籍");
    } else {
        folder = in.dir.filePath(QStringLiteral("选定/户籍"));
        args << QStringLiteral("--folder") << folder;
    }
    QProcess copy;
    in.start(copy, args, home);
    QVERIFY(in.waitForLock(copy, folder));
    QVERIFY(!files::exists(in.file(names::kLock)));
    QCOMPARE(files::size(reg::pathIn(folder, names::kPassword)), 4);
    copy.terminate();
    QVERIFY(copy.waitForFinished(15000));
    QCOMPARE(copy.exitCode(), 0);
    reg::RecordStore store;
    QVERIFY(store.OpenTable(reg::pathIn(folder, names::kRegister)));
    QCOMPARE(store.FieldCount(), 22);
    QVERIFY(store.CloseAllTables());
    if (installedTree)  // nothing written beside the executable
        QCOMPARE(QDir(QFileInfo(in.program).absolutePath()).entryList(QDir::Files).size(), 1);
}

QTEST_MAIN(TestProcess)
#include "tst_process.moc"

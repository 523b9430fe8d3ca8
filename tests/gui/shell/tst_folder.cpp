// Where the program folder is, how a new one is filled, and a folder that cannot be used.
#include <QDir>
#include <QTemporaryDir>
#include <cerrno>
#include <cstring>

#include "core/register/programfolder.h"
#include "core/register/store.h"
#include "core/session/startup.h"
#include "fixture.h"

#ifndef _WIN32
#include <unistd.h>
#endif

namespace names = reg::names;
namespace files = reg::files;

namespace {

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    files::setCleared(path);
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

// An executable's folder holding the program files, and a data folder not made yet, all in
// one temporary folder (an installed tree's share/ beside bin/ must not leak into others').
struct Places {
    QTemporaryDir home;
    QString exe = home.filePath(QStringLiteral("bin"));
    QString data = home.filePath(QStringLiteral("data/澄禾户籍"));
    bool exeWritable = true;
    shell::WriteCheck canWrite = [this](const QString& folder) {
        return (exeWritable || folder != exe) && files::canWriteIn(folder);
    };

    Places() {
        reg::layoutProgramFolder(exe);
        shell::createPasswordFileIfMissing(exe);
        writeFile(in(exe, names::kTemplate), "template v2");
        writeFile(in(exe, names::kHelp), "ITSF v2");
        writeFile(in(exe, names::kHelpFirstPage), "<html>v2</html>");
    }
    static QString in(const QString& folder, const QString& name) {
        return reg::pathIn(folder, name);
    }
    shell::FolderChoice choose(const QString& named = {}) const {
        return shell::chooseProgramFolder(named, exe, data, canWrite);
    }
};

}  // namespace

class TestFolder : public QObject {
    Q_OBJECT
  private slots:
    void choice_data();
    void choice();
    void filledFolderLogsInWith7402();
    void clerksFilesAreNeverOverwritten();
    void unusableFolderIsSaidAndEnds_data();
    void unusableFolderIsSaidAndEnds();
};

void TestFolder::choice_data() {
    QTest::addColumn<bool>("exeWritable");
    QTest::addColumn<bool>("installedTree");
    QTest::addColumn<QString>("named");  // relative to the home folder
    QTest::addColumn<QString>("expected");
    QTest::newRow("writable executable folder") << true << false << QString() << "exe";
    QTest::newRow("unwritable: the data folder") << false << false << QString() << "data";
    QTest::newRow("installed tree: never beside bin/") << true << true << QString() << "data";
    QTest::newRow("--folder") << true << false << "管理员/户籍"
                              << "named";
}

void TestFolder::choice() {
    QFETCH(bool, exeWritable);
    QFETCH(bool, installedTree);
    QFETCH(QString, named);
    QFETCH(QString, expected);
    Places p;
    p.exeWritable = exeWritable;
    if (installedTree) QVERIFY(QDir().mkpath(reg::installedFilesFolder(p.exe)));
    const QString namedPath = named.isEmpty() ? QString() : p.home.filePath(named);

    const shell::FolderChoice choice = p.choose(namedPath);
    QCOMPARE(choice.problem, QString());
    const QString folder = expected == u"exe" ? p.exe : expected == u"data" ? p.data : namedPath;
    QCOMPARE(choice.folder, folder);
    QCOMPARE(QFileInfo::exists(p.data), expected == u"data");
    if (expected == u"exe") return;
    // A new folder holds a sound register and the first password.
    reg::RecordStore store;
    QVERIFY(store.OpenTable(reg::pathIn(folder, names::kRegister)));
    QCOMPARE(store.FieldCount(), 22);
    QVERIFY(store.CloseAllTables());
    QCOMPARE(files::size(reg::pathIn(folder, names::kPassword)), 4);
    if (installedTree) return;  // the empty installed tree has nothing more to give
    for (const QString& name : {names::kTemplate, names::kHelp, names::kHelpFirstPage})
        QCOMPARE(readAll(reg::pathIn(folder, name)), readAll(p.in(p.exe, name)));
}

void TestFolder::filledFolderLogsInWith7402() {
    Places p;
    p.exeWritable = false;
    const shell::FolderChoice choice = p.choose();
    QCOMPARE(choice.folder, p.data);
    hjtest::ScriptedDialogs dialogs;
    shell::Session session(
        choice.folder, dialogs, [] {}, [](const QUrl&) {});
    shell::LoginWindow login(session);
    QVERIFY(login.started());
    login.show();
    type(&login, u"密码编辑框", QStringLiteral("7402"));
    click(&login, u"登录");
    QVERIFY(login.mainWindow());
    QVERIFY2(dialogs.done(), qPrintable(dialogs.pendingText()));
    session.exitProgram(true);
}

void TestFolder::clerksFilesAreNeverOverwritten() {
    Places p;
    p.exeWritable = false;
    QVERIFY(QDir().mkpath(p.data));
    const QString registerPath = reg::pathIn(p.data, names::kRegister);
    QVERIFY(reg::createRegisterIfMissing(registerPath));
    {
        reg::RecordStore store;
        QVERIFY(store.OpenTable(registerPath));
        QVERIFY(store.AppendRecord({"1", "青石村1号"}));
        QVERIFY(store.AppendRecord({"2", "青石村1号"}));
        QVERIFY(store.CloseAllTables());
    }
    const QString passwordPath = reg::pathIn(p.data, names::kPassword);
    QVERIFY(writeFile(passwordPath, "changed!"));
    QVERIFY(writeFile(reg::pathIn(p.data, names::kHelp), "ITSF v1"));
    const QByteArray registerBytes = readAll(registerPath);

    for (int run = 0; run < 2; ++run) {
        const shell::FolderChoice choice = p.choose();
        QCOMPARE(choice.problem, QString());
        QCOMPARE(readAll(registerPath), registerBytes);
        QCOMPARE(readAll(passwordPath), QByteArray("changed!"));
        // The help is no data of the clerk's: a newer installation's replaces it.
        QCOMPARE(readAll(reg::pathIn(p.data, names::kHelp)), QByteArray("ITSF v2"));
    }
}

void TestFolder::unusableFolderIsSaidAndEnds_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("reason");
    QTest::newRow("cannot be made") << "under a file"
                                    << "无法创建该文件夹。";
    QTest::newRow("lock file cannot be made") << "lock is a folder"
                                              << "无法创建锁文件 CHHJTEMP：%1。";
    QTest::newRow("problem found when chosen") << "chosen"
                                               << "无法写入程序文件：户籍数据.wav。";
#ifndef _WIN32
    // Permission bits stop every user but root.
    if (::geteuid() != 0)
        QTest::newRow("cannot be written") << "read-only"
                                           << "该文件夹不能写入。";
#endif
}

void TestFolder::unusableFolderIsSaidAndEnds() {
    QFETCH(QString, kind);
    QFETCH(QString, reason);
    hjtest::ProgramFolder base;
    QString folder = base.path();
    if (kind == u"under a file") {
        folder = base.file(names::kRegister) + QStringLiteral("/户籍");
        const shell::FolderChoice choice =
            shell::chooseProgramFolder(folder, base.path(), base.path(), files::canWriteIn);
        QCOMPARE(choice.problem, reason);
    } else if (kind == u"lock is a folder") {
        QVERIFY(QDir().mkpath(base.file(names::kLock)));
        reason = reason.arg(QString::fromLocal8Bit(std::strerror(EISDIR)));
    } else if (kind == u"read-only") {
        // A lock file left behind once made the program start and then fail at every click.
        QVERIFY(writeFile(base.file(names::kLock), {}));
        QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner));
    }
    const QByteArray registerBytes = base.read(names::kRegister);

    hjtest::ScriptedDialogs dialogs;
    int quits = 0;
    shell::Session session(
        folder, dialogs, [&] { ++quits; }, [](const QUrl&) {});
    if (kind == u"chosen") session.setFolderProblem(reason);
    dialogs.expectWarning(QStringLiteral("程序文件夹无法使用：\n%1\n%2")
                              .arg(QDir::toNativeSeparators(folder), reason));
    shell::LoginWindow login(session);
    QFile::setPermissions(base.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QVERIFY2(dialogs.done(), qPrintable(dialogs.pendingText()));
    QCOMPARE(dialogs.shown().front().title, QStringLiteral("警告"));
    QVERIFY(!login.started());
    QVERIFY(login.folderUnusable());

    // Ending leaves the folder as it was.
    session.exitProgram(true);
    QCOMPARE(quits, 1);
    QCOMPARE(base.read(names::kRegister), registerBytes);
    if (kind == u"lock is a folder") QVERIFY(QFileInfo(base.file(names::kLock)).isDir());
}

QTEST_MAIN(TestFolder)
#include "tst_folder.moc"

// The login window: start-up, the login check with each of its messages, Enter, 取消.
#include <QDir>

#include "core/register/autobackup.h"
#include "fixture.h"

namespace names = reg::names;
namespace files = reg::files;

class TestLogin : public QObject {
    Q_OBJECT
  private slots:
    void startUpTakesTheLockAndShowsNothing();
    void secondCopyEndsSilently();
    void fileSizeDecidesDamage_data();
    void fileSizeDecidesDamage();
    void missingFileIsReportedAndNotCreated();
    void emptyBoxBeforeWrongPassword();
    void wrongPasswordKeepsTheWindowAndText();
    void rightPasswordOpensTheMainWindow();
    void chineseAndZeroBytePasswords();
    void enterInTheBoxAndOnTheButton();
    void otherKeysDoNothingSpecial();
    void titleBarCloseIsRefused();
    void cancelRunsTheExitRoutine();
    void damagedRegisterIsOfferedABackupAfterLogin();
};

void TestLogin::startUpTakesTheLockAndShowsNothing() {
    ShellFixture f;
    f.folder.write(names::kIndex, "work");
    shell::LoginWindow login(f.session);
    QVERIFY(login.started());
    QVERIFY(files::isProtected(f.file(names::kLock)));
    QVERIFY(files::isProtected(f.passwordFile()));
    // Working files are only cleared at start-up; the exit routine deletes them.
    QVERIFY(files::exists(f.file(names::kIndex)));
    QVERIFY(f.dialogs.shown().empty());
    QCOMPARE(find<QLineEdit>(&login, u"密码编辑框")->echoMode(), QLineEdit::Password);
}

void TestLogin::secondCopyEndsSilently() {
    ShellFixture f;
    shell::LoginWindow first(f.session);
    QVERIFY(first.started());

    hjtest::ScriptedDialogs quiet;
    int quits = 0;
    shell::Session other(
        f.folder.path(), quiet, [&] { ++quits; }, [](const QUrl&) {});
    shell::LoginWindow second(other);
    QVERIFY(!second.started());
    QVERIFY(quiet.shown().empty());
    QCOMPARE(quits, 0);  // nothing to clean up: the files belong to the first copy
    QVERIFY(f.session.lock().held());
    QVERIFY(files::exists(f.file(names::kLock)));
}

void TestLogin::fileSizeDecidesDamage_data() {
    QTest::addColumn<QString>("stored");
    QTest::addColumn<bool>("damaged");
    QTest::newRow("3 bytes") << QStringLiteral("abc") << true;
    QTest::newRow("4 bytes") << QStringLiteral("abcd") << false;
    QTest::newRow("16 bytes") << QStringLiteral("abcdefghijklmnop") << false;
    QTest::newRow("17 bytes") << QStringLiteral("abcdefghijklmnopq") << true;
}

void TestLogin::fileSizeDecidesDamage() {
    QFETCH(QString, stored);
    QFETCH(bool, damaged);
    ShellFixture f;
    f.setPassword(stored);
    shell::LoginWindow login(f.session);
    login.show();
    // The box takes at most 16 bytes, so with 17 stored bytes the typed text is their first 16.
    type(&login, u"密码编辑框", stored);
    QCOMPARE(find<QLineEdit>(&login, u"密码编辑框")->text(), stored.left(16));
    if (damaged)
        f.dialogs.expectWarning(QStringLiteral("文件损坏！请备份<户籍数据.wav>然后运行安装程序！"));
    click(&login, u"登录");
    QVERIFY2(f.dialogs.done(), qPrintable(f.dialogs.pendingText()));
    QCOMPARE(login.mainWindow() != nullptr, !damaged);
    QCOMPARE(login.isVisible(), damaged);
    QVERIFY(files::isProtected(f.passwordFile()));
}

void TestLogin::missingFileIsReportedAndNotCreated() {
    ShellFixture f;
    files::remove(f.passwordFile());
    shell::LoginWindow login(f.session);
    login.show();
    QVERIFY(!files::exists(f.passwordFile()));
    type(&login, u"密码编辑框", QStringLiteral("7402"));
    f.dialogs.expectWarning(QStringLiteral("缺少文件！请备份<户籍数据.wav>然后运行安装程序！"));
    click(&login, u"登录");
    QVERIFY2(f.dialogs.done(), qPrintable(f.dialogs.pendingText()));
    QVERIFY(!files::exists(f.passwordFile()));
    QVERIFY(login.isVisible());
    QVERIFY(!login.mainWindow());
    QCOMPARE(f.dialogs.shown().front().title, QStringLiteral("警告"));
}

void TestLogin::emptyBoxBeforeWrongPassword() {
    ShellFixture f;
    shell::LoginWindow login(f.session);
    login.show();
    f.dialogs.expectWarning(QStringLiteral("请输入密码！"));
    click(&login, u"登录");
    QVERIFY2(f.dialogs.done(), qPrintable(f.dialogs.pendingText()));
    QVERIFY(files::isProtected(f.passwordFile()));

    // A damaged file is reported before the empty box.
    f.setPasswordBytes("abc");
    f.dialogs.expectWarning(QStringLiteral("文件损坏！请备份<户籍数据.wav>然后运行安装程序！"));
    click(&login, u"登录");
    QVERIFY2(f.dialogs.done(), qPrintable(f.dialogs.pendingText()));
}

void TestLogin::wrongPasswordKeepsTheWindowAndText() {
    ShellFixture f;
    shell::LoginWindow login(f.session);
    login.show();
    // Attempts are not limited; each gives the same message and keeps the typed text.
    for (const QString& wrong : {QStringLiteral("7403"), QStringLiteral("740"),
                                 QStringLiteral("74020"), QStringLiteral("7402 ")}) {
        type(&login, u"密码编辑框", wrong);
        f.dialogs.expectWarning(QStringLiteral("密码错误！"));
        click(&login, u"登录");
        QVERIFY2(f.dialogs.done(), qPrintable(f.dialogs.pendingText()));
        QCOMPARE(find<QLineEdit>(&login, u"密码编辑框")->text(), wrong);
        QVERIFY(login.isVisible());
        QVERIFY(!login.mainWindow());
        QVERIFY(files::isProtected(f.passwordFile()));
    }
    // Case counts.
    f.setPassword(QStringLiteral("Abcd"));
    type(&login, u"密码编辑框", QStringLiteral("abcd"));
    f.dialogs.expectWarning(QStringLiteral("密码错误！"));
    click(&login, u"登录");
    QVERIFY2(f.dialogs.done(), qPrintable(f.dialogs.pendingText()));
}

void TestLogin::rightPasswordOpensTheMainWindow() {
    ShellFixture f;
    shell::LoginWindow login(f.session);
    login.show();
    type(&login, u"密码编辑框", QStringLiteral("7402"));
    click(&login, u"登录");
    QVERIFY(f.dialogs.shown().empty());
    QVERIFY(login.mainWindow());
    QVERIFY(login.mainWindow()->isVisible());
    QVERIFY(!login.mainWindow()->parentWidget());
    QVERIFY(!login.isVisible());
    QVERIFY(files::isProtected(f.passwordFile()));
    QVERIFY(files::exists(f.file(names::kLock)));  // the lock is held for the whole run
    QCOMPARE(f.quits, 0);
}

void TestLogin::chineseAndZeroBytePasswords() {
    {
        ShellFixture f;
        f.setPassword(QStringLiteral("户籍𠮷a"));  // 2 + 2 + 4 + 1 bytes
        shell::LoginWindow login(f.session);
        login.show();
        type(&login, u"密码编辑框", QStringLiteral("户籍𠮷a"));
        click(&login, u"登录");
        QVERIFY2(f.dialogs.done(), qPrintable(f.dialogs.pendingText()));
        QVERIFY(login.mainWindow());
    }
    {
        // A deciphered zero byte ends the password: the file says "74".
        ShellFixture f;
        f.setPasswordBytes(
            shell::encodePassword(std::string("74\0"
                                              "2",
                                              4)));
        shell::LoginWindow login(f.session);
        login.show();
        type(&login, u"密码编辑框", QStringLiteral("7402"));
        f.dialogs.expectWarning(QStringLiteral("密码错误！"));
        click(&login, u"登录");
        QVERIFY2(f.dialogs.done(), qPrintable(f.dialogs.pendingText()));
        type(&login, u"密码编辑框", QStringLiteral("74"));
        click(&login, u"登录");
        QVERIFY2(f.dialogs.done(), qPrintable(f.dialogs.pendingText()));
        QVERIFY(login.mainWindow());
    }
}

void TestLogin::enterInTheBoxAndOnTheButton() {
    for (int key : {int(Qt::Key_Return), int(Qt::Key_Enter)}) {
        ShellFixture f;
        shell::LoginWindow login(f.session);
        login.show();
        auto* box = find<QLineEdit>(&login, u"密码编辑框");
        auto* button = find<QPushButton>(&login, u"登录");

        // Exactly one check per key press.
        type(&login, u"密码编辑框", QStringLiteral("1111"));
        f.dialogs.expectWarning(QStringLiteral("密码错误！"));
        QTest::keyClick(box, Qt::Key(key));
        QVERIFY2(f.dialogs.done(), qPrintable(f.dialogs.pendingText()));
        QCOMPARE(f.dialogs.shown().size(), size_t(1));

        f.dialogs.expectWarning(QStringLiteral("密码错误！"));
        QTest::keyClick(button, Qt::Key(key));
        QVERIFY2(f.dialogs.done(), qPrintable(f.dialogs.pendingText()));
        QCOMPARE(f.dialogs.shown().size(), size_t(2));

        type(&login, u"密码编辑框", QStringLiteral("7402"));
        QTest::keyClick(button, Qt::Key(key));
        QVERIFY(login.mainWindow());
        QVERIFY(!login.isVisible());
    }
    ShellFixture f;
    shell::LoginWindow login(f.session);
    login.show();
    type(&login, u"密码编辑框", QStringLiteral("7402"));
    QTest::keyClick(find<QLineEdit>(&login, u"密码编辑框"), Qt::Key_Return);
    QVERIFY(login.mainWindow());
    QVERIFY(f.dialogs.shown().empty());
}

void TestLogin::otherKeysDoNothingSpecial() {
    ShellFixture f;
    shell::LoginWindow login(f.session);
    login.show();
    auto* box = find<QLineEdit>(&login, u"密码编辑框");
    QTest::keyClick(box, Qt::Key_Tab);
    QTest::keyClick(box, Qt::Key_Escape);
    QTest::keyClick(find<QPushButton>(&login, u"登录"), Qt::Key_A);
    QTest::keyClick(find<QPushButton>(&login, u"登录"), Qt::Key_Escape);
    QVERIFY(f.dialogs.shown().empty());
    QVERIFY(login.isVisible());
    QVERIFY(!login.mainWindow());
}

void TestLogin::titleBarCloseIsRefused() {
    ShellFixture f;
    shell::LoginWindow login(f.session);
    login.show();
    QVERIFY(!login.close());
    QVERIFY(login.isVisible());
    QCOMPARE(f.quits, 0);
    QVERIFY(f.dialogs.shown().empty());
}

void TestLogin::cancelRunsTheExitRoutine() {
    ShellFixture f;
    shell::LoginWindow login(f.session);
    login.show();
    for (const QString& name : names::kWorkingFiles) f.folder.write(name, "work");
    const QByteArray registerBytes = f.folder.read(names::kRegister);
    QVERIFY(!registerBytes.isEmpty());

    click(&login, u"取消");
    QCOMPARE(f.quits, 1);
    QVERIFY(f.session.ended());
    QVERIFY(!f.session.lock().held());
    QVERIFY(!files::exists(f.file(names::kLock)));
    for (const QString& name : names::kWorkingFiles)
        QVERIFY2(!files::exists(f.file(name)), qPrintable(name));
    QCOMPARE(f.folder.read(names::kRegister), registerBytes);
    QVERIFY(files::exists(f.passwordFile()));
    QVERIFY(f.dialogs.shown().empty());
}

// Asked only once the password is right; accepted, the backup stands and the damaged file is kept.
// A clean exit then backs the register up again when no backup holds it.
void TestLogin::damagedRegisterIsOfferedABackupAfterLogin() {
    namespace ab = reg::autobackup;
    ShellFixture f;
    const QDateTime made(QDate::currentDate().addDays(-2), QTime(10, 30));
    QCOMPARE(ab::backUp(f.folder.path(), made).result, ab::Outcome::Result::Written);
    QByteArray bytes = f.folder.read(names::kRegister);
    bytes.replace(0, 100, QByteArray(100, '\0'));
    QVERIFY(f.folder.write(names::kRegister, bytes));
    shell::LoginWindow login(f.session);
    login.show();
    QVERIFY(f.dialogs.shown().empty());
    ab::Damage damage;
    damage.sound = ab::list(f.folder.path()).front();
    damage.persons = 0;
    f.dialogs.expectQuestion(ab::recoveryQuestion(damage), true);
    type(&login, u"密码编辑框", QStringLiteral("7402"));
    click(&login, u"登录");
    QVERIFY2(f.dialogs.done(), qPrintable(f.dialogs.pendingText()));
    QVERIFY(!ab::checkRegister(f.folder.path()));
    QCOMPARE(QDir(f.folder.path()).entryList({QStringLiteral("户籍数据-损坏-*.wav")}).size(), 1);

    QVERIFY(files::remove(damage.sound->path));
    f.session.exitProgram(true);
    QCOMPARE(ab::list(f.folder.path()).size(), size_t(1));
}

QTEST_MAIN(TestLogin)
#include "tst_login.moc"

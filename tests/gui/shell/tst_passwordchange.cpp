// The password-change window: every message in its order, the new file, the next login.
#include <QPointer>

#include "fixture.h"
#include "gui/shell/passwordwindow.h"

namespace names = reg::names;
namespace files = reg::files;

namespace {

// Opens the password-change window from a main window, as the clerk does.
struct ChangeFixture : ShellFixture {
    shell::MainWindow main{session};
    QPointer<QWidget> window;

    ChangeFixture() {
        main.show();
        click(&main, u"密码修改");
        window = main.workingWindow();
        if (!window) qFatal("no password-change window");
    }

    void fill(const QString& old, const QString& fresh, const QString& repeat) {
        type(window, u"编辑框1", old);
        type(window, u"编辑框2", fresh);
        type(window, u"编辑框3", repeat);
    }

    QStringList boxes() const {
        return {find<QLineEdit>(window, u"编辑框1")->text(),
                find<QLineEdit>(window, u"编辑框2")->text(),
                find<QLineEdit>(window, u"编辑框3")->text()};
    }

    // Runs the login check in a new login window on the same folder.
    bool loginAccepts(const QString& password) {
        shell::LoginWindow login(session);
        login.show();
        type(&login, u"密码编辑框", password);
        if (password.isEmpty())
            dialogs.expectWarning(QStringLiteral("请输入密码！"));
        else
            dialogs.expectWarning(QStringLiteral("密码错误！"));
        click(&login, u"登录");
        if (login.mainWindow()) {
            dialogs.reset();
            return true;
        }
        return false;
    }
};

}  // namespace

class TestPasswordChange : public QObject {
    Q_OBJECT
  private slots:
    void boxesAreMasked();
    void failuresInTheirOrder_data();
    void failuresInTheirOrder();
    void boxesHoldAtMostSixteenBytes();
    void newPasswordsAreAcceptedByTheLogin_data();
    void newPasswordsAreAcceptedByTheLogin();
    void missingPasswordFile();
    void failedWriteIsReported();
};

void TestPasswordChange::boxesAreMasked() {
    ChangeFixture f;
    for (const char16_t* name : {u"编辑框1", u"编辑框2", u"编辑框3"}) {
        auto* box = find<QLineEdit>(f.window, name);
        QCOMPARE(box->echoMode(), QLineEdit::Password);
        QTest::keyClicks(box, "ab");
        QCOMPARE(box->displayText(), QStringLiteral("**"));
    }
}

void TestPasswordChange::failuresInTheirOrder_data() {
    QTest::addColumn<QString>("old");
    QTest::addColumn<QString>("fresh");
    QTest::addColumn<QString>("repeat");
    QTest::addColumn<QString>("message");
    const QString wrongOld = QStringLiteral("原密码错误！");
    const QString tooShort = QStringLiteral("密码长度最低四位最高十六位！");
    const QString differ = QStringLiteral("新密码两次输入不一致！");
    QTest::newRow("old wrong, new too short") << "7403"
                                              << "abc"
                                              << "abc" << wrongOld;
    QTest::newRow("old empty") << ""
                               << "abcd"
                               << "abcd" << wrongOld;
    QTest::newRow("old longer") << "74021"
                                << "abcd"
                                << "abcd" << wrongOld;
    QTest::newRow("new 3 bytes twice") << "7402"
                                       << "abc"
                                       << "abc" << tooShort;
    QTest::newRow("repeat 3 bytes") << "7402"
                                    << "abcd"
                                    << "abc" << tooShort;
    QTest::newRow("new empty") << "7402"
                               << ""
                               << "abcd" << tooShort;
    QTest::newRow("short before different") << "7402"
                                            << "abc"
                                            << "abcdef" << tooShort;
    QTest::newRow("one Chinese character") << "7402"
                                           << "户"
                                           << "户" << tooShort;
    QTest::newRow("different") << "7402"
                               << "abcd"
                               << "abce" << differ;
    QTest::newRow("case differs") << "7402"
                                  << "abcd"
                                  << "ABCD" << differ;
}

void TestPasswordChange::failuresInTheirOrder() {
    QFETCH(QString, old);
    QFETCH(QString, fresh);
    QFETCH(QString, repeat);
    QFETCH(QString, message);
    ChangeFixture f;
    const QByteArray before = f.folder.read(names::kPassword);
    f.fill(old, fresh, repeat);
    f.dialogs.expectWarning(message);
    click(f.window, u"修改按钮");
    QVERIFY2(f.dialogs.done(), qPrintable(f.dialogs.pendingText()));
    QCOMPARE(f.dialogs.shown().front().title, QStringLiteral("警告"));
    settle();
    QVERIFY(f.window && f.window->isVisible());
    QVERIFY(!f.main.isVisible());
    QCOMPARE(f.boxes(), QStringList({old, fresh, repeat}));
    QCOMPARE(f.folder.read(names::kPassword), before);
    QVERIFY(files::isProtected(f.passwordFile()));
}

void TestPasswordChange::boxesHoldAtMostSixteenBytes() {
    ChangeFixture f;
    type(f.window, u"编辑框2", QStringLiteral("abcdefghijklmnopq"));
    QCOMPARE(find<QLineEdit>(f.window, u"编辑框2")->text(), QStringLiteral("abcdefghijklmnop"));
    type(f.window, u"编辑框3", QStringLiteral("一二三四五六七八九"));
    QCOMPARE(find<QLineEdit>(f.window, u"编辑框3")->text(), QStringLiteral("一二三四五六七八"));
    type(f.window, u"编辑框1", QStringLiteral("一二三四五六七a𠮷"));  // 15 bytes, then 4 more
    QCOMPARE(find<QLineEdit>(f.window, u"编辑框1")->text(), QStringLiteral("一二三四五六七a"));
}

void TestPasswordChange::newPasswordsAreAcceptedByTheLogin_data() {
    QTest::addColumn<QString>("password");
    QTest::addColumn<int>("bytes");
    QTest::newRow("4 bytes") << QStringLiteral("ab1Z") << 4;
    QTest::newRow("two Chinese characters") << QStringLiteral("户籍") << 4;
    QTest::newRow("16 bytes") << QStringLiteral("户籍管理abcd1234") << 16;
    QTest::newRow("rare character") << QStringLiteral("𠮷䶮") << 6;
}

void TestPasswordChange::newPasswordsAreAcceptedByTheLogin() {
    QFETCH(QString, password);
    QFETCH(int, bytes);
    ChangeFixture f;
    f.fill(QStringLiteral("7402"), password, password);
    f.dialogs.expectNotice(QStringLiteral("密码修改成功 "));
    click(f.window, u"修改按钮");
    QVERIFY2(f.dialogs.done(), qPrintable(f.dialogs.pendingText()));
    QCOMPARE(f.dialogs.shown().front().title, QStringLiteral("提示"));
    // The window is gone and the main window is back.
    settle();
    QVERIFY(!f.window);
    QVERIFY(f.main.isVisible());
    QCOMPARE(files::size(f.passwordFile()), bytes);
    QVERIFY(files::isProtected(f.passwordFile()));

    QVERIFY(f.loginAccepts(password));
    QVERIFY(!f.loginAccepts(QStringLiteral("7402")));
    QVERIFY2(f.dialogs.done(), qPrintable(f.dialogs.pendingText()));
}

void TestPasswordChange::missingPasswordFile() {
    ChangeFixture f;
    files::remove(f.passwordFile());
    // A missing file decodes as an empty old password: 7402 is wrong and creates nothing.
    f.fill(QStringLiteral("7402"), QStringLiteral("abcd"), QStringLiteral("abcd"));
    f.dialogs.expectWarning(QStringLiteral("原密码错误！"));
    click(f.window, u"修改按钮");
    QVERIFY2(f.dialogs.done(), qPrintable(f.dialogs.pendingText()));
    QVERIFY(!files::exists(f.passwordFile()));

    type(f.window, u"编辑框1", QString());
    f.dialogs.expectNotice(QStringLiteral("密码修改成功 "));
    click(f.window, u"修改按钮");
    QVERIFY2(f.dialogs.done(), qPrintable(f.dialogs.pendingText()));
    QCOMPARE(files::size(f.passwordFile()), 4);
    QVERIFY(f.loginAccepts(QStringLiteral("abcd")));
}

void TestPasswordChange::failedWriteIsReported() {
    ChangeFixture f;
    // A folder entry that no file can replace: the write fails, and the clerk is told so
    // instead of being told the password changed.
    files::remove(f.passwordFile());
    QVERIFY(QDir().mkdir(f.passwordFile()));
    f.fill(QString(), QStringLiteral("abcd"), QStringLiteral("abcd"));
    f.dialogs.expectWarning(QStringLiteral("密码文件写入失败，密码未修改！"));
    click(f.window, u"修改按钮");
    QVERIFY2(f.dialogs.done(), qPrintable(f.dialogs.pendingText()));
    settle();
    QVERIFY(f.window && f.window->isVisible());
    QCOMPARE(f.boxes(), QStringList({QString(), QStringLiteral("abcd"), QStringLiteral("abcd")}));
    QVERIFY(!f.main.isVisible());
    // No temporary file is left behind.
    QCOMPARE(QDir(f.folder.path()).entryList(QDir::Files | QDir::Hidden).filter(".tmp").size(), 0);
}

QTEST_MAIN(TestPasswordChange)
#include "tst_passwordchange.moc"

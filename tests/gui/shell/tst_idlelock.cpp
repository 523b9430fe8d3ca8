// The idle lock over real windows: it comes after the idle time, covers every open window, keeps
// a half-typed form, and opens only with the right password. And the first-password reminder.
#include <QApplication>
#include <QLabel>

#include "fixture.h"
#include "gui/shell/idlelock.h"

using namespace std::chrono_literals;

class TestIdleLock : public QObject {
    Q_OBJECT
  private slots:
    void lockKeepsTheFormAndOpensOnlyWithThePassword();
    void reminderOnlyWhileTheFirstPassword_data();
    void reminderOnlyWhileTheFirstPassword();
};

void TestIdleLock::lockKeepsTheFormAndOpensOnlyWithThePassword() {
    ShellFixture f;
    shell::MainWindow main(f.session);
    main.show();
    click(main, u"信息管理");
    QPointer<QWidget> info = main.workingWindow();
    QVERIFY(info);
    QLineEdit* name = find<QLineEdit>(info, u"编辑框05");
    hjtest::typeInto(name, QStringLiteral("张三"));

    shell::IdleLock& lock = main.idleLock();
    lock.setIdleTime(30ms);
    QTRY_VERIFY(lock.locked());
    QWidget* window = lock.lockWindow();
    QCOMPARE(QApplication::activeModalWidget(), window);
    QCOMPARE(window->windowTitle(),
             QStringLiteral("澄禾社区户籍管理系统-程序锁定   青石听雨 制作"));
    auto* cover = info->findChild<QWidget*>(QStringLiteral("锁定遮盖"));
    QVERIFY(cover && cover->isVisible());
    QCOMPARE(cover->geometry(), info->rect());

    const struct {
        QString typed, warning;
    } wrong[] = {
        {QString(), QStringLiteral("请输入密码！")},
        {QStringLiteral("1234"), QStringLiteral("密码错误！")},
        {QStringLiteral("74021"), QStringLiteral("密码错误！")},
    };
    for (const auto& attempt : wrong) {
        f.dialogs.expectWarning(attempt.warning);
        type(window, u"密码框", attempt.typed);
        click(window, u"解锁按钮");
        QVERIFY2(lock.locked(), qPrintable(attempt.typed));
    }
    QVERIFY(f.dialogs.done());

    type(window, u"密码框", QStringLiteral("7402"));
    click(window, u"解锁按钮");
    settle();
    QVERIFY(!lock.locked());
    QVERIFY(!info->findChild<QWidget*>(QStringLiteral("锁定遮盖")));
    QCOMPARE(name->text(), QStringLiteral("张三"));
    QCOMPARE(f.quits, 0);
    // The count starts again after the lock.
    QTRY_VERIFY(lock.locked());
    lock.setIdleTime(0ms);
    type(lock.lockWindow(), u"密码框", QStringLiteral("7402"));
    click(lock.lockWindow(), u"解锁按钮");
    settle();
    QTest::qWait(60);
    QVERIFY(!lock.locked());  // turned off
}

void TestIdleLock::reminderOnlyWhileTheFirstPassword_data() {
    QTest::addColumn<QString>("password");
    QTest::addColumn<bool>("shown");
    QTest::newRow("first password") << QStringLiteral("7402") << true;
    QTest::newRow("changed") << QStringLiteral("青石2026") << false;
}

void TestIdleLock::reminderOnlyWhileTheFirstPassword() {
    QFETCH(QString, password);
    QFETCH(bool, shown);
    ShellFixture f;
    f.setPassword(password);
    shell::MainWindow main(f.session);
    main.show();
    auto* reminder = find<QLabel>(&main, u"初始密码提示");
    QCOMPARE(reminder->isVisible(), shown);
    QVERIFY(reminder->text().contains(QStringLiteral("密码修改")));
    // Nothing of the designed window lies under it.
    for (auto* other : main.findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        if (other != reminder && other->isVisible())
            QVERIFY2(!other->geometry().intersects(reminder->geometry()),
                     qPrintable(other->objectName()));
}

QTEST_MAIN(TestIdleLock)
#include "tst_idlelock.moc"

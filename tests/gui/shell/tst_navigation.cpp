// The main window: its controls, the working windows it opens and gets back from, help, exit.
#include <QDir>
#include <QLabel>
#include <QPointer>

#include "fixture.h"

namespace names = reg::names;
namespace files = reg::files;

namespace {

const QString kInfoFiles[] = {names::kQueryResult, names::kSorted, names::kIndex,
                              names::kRestoreStage};
const QString kExchangeFiles[] = {names::kExportCopy, names::kExportSorted};

void writeWorkingFiles(const ShellFixture& f) {
    for (const QString& name : names::kWorkingFiles) f.folder.write(name, "work");
}

}  // namespace

class TestNavigation : public QObject {
    Q_OBJECT
  private slots:
    void mainWindowControls();
    void workingWindowsHideAndShowTheMainWindow_data();
    void workingWindowsHideAndShowTheMainWindow();
    void workingWindowsCanBeOpenedAgain();
    void helpMissingAndPresent();
    void helpWithoutAViewer_data();
    void helpWithoutAViewer();
    void exitButtonAndTitleBarEndTheProgram_data();
    void exitButtonAndTitleBarEndTheProgram();
    void closingTheMainWindowTakesAWorkingWindowAlong();
};

void TestNavigation::mainWindowControls() {
    ShellFixture f;
    shell::MainWindow main(f.session);
    QCOMPARE(main.windowTitle(), QStringLiteral("澄禾社区户籍管理系统   青石听雨 制作"));
    const std::pair<const char16_t*, QString> buttons[] = {
        {u"信息管理", QStringLiteral("信 息 管 理")},
        {u"导入导出", QStringLiteral("导 入 导 出")},
        {u"密码修改", QStringLiteral("密 码 修 改")},
        {u"打开帮助", QStringLiteral("打 开 帮 助")},
        {u"退出系统", QStringLiteral("退 出 系 统")}};
    for (const auto& [name, text] : buttons) QCOMPARE(find<QPushButton>(&main, name)->text(), text);
    QCOMPARE(find<QLabel>(&main, u"透明标签1")->text(),
             QStringLiteral("澄 禾 社 区 户 籍 管 理 系 统"));
    QCOMPARE(find<QLabel>(&main, u"透明标签3")->text(), QStringLiteral("V 3.0"));
    auto* picture = find<QLabel>(&main, u"图片框");
    QCOMPARE(picture->pixmap().size(), QSize(400, 300));
    // A painted picture, not an empty one.
    const QImage image = picture->pixmap().toImage();
    QVERIFY(image.pixelColor(200, 10) != image.pixelColor(200, 290));
}

void TestNavigation::workingWindowsHideAndShowTheMainWindow_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QSize>("outer");
    QTest::addColumn<QString>("closeButton");  // empty: the title bar
    QTest::addColumn<QStringList>("deleted");

    const QStringList info(std::begin(kInfoFiles), std::end(kInfoFiles));
    const QStringList exchange(std::begin(kExchangeFiles), std::end(kExchangeFiles));
    const QString infoCaption = QStringLiteral("澄禾社区户籍管理系统-信息管理   青石听雨 制作");
    const QString exchangeCaption = QStringLiteral("澄禾社区户籍管理系统-导入导出   青石听雨 制作");
    const QString passwordCaption = QStringLiteral("澄禾社区户籍管理系统-密码修改   青石听雨 制作");
    QTest::newRow("info, 关闭按钮") << QStringLiteral("信息管理") << infoCaption << QSize(990, 650)
                                    << QStringLiteral("关闭按钮") << info;
    QTest::newRow("info, title bar")
        << QStringLiteral("信息管理") << infoCaption << QSize(990, 650) << QString() << info;
    QTest::newRow("exchange, 关闭") << QStringLiteral("导入导出") << exchangeCaption
                                    << QSize(790, 520) << QStringLiteral("关闭") << exchange;
    QTest::newRow("exchange, title bar") << QStringLiteral("导入导出") << exchangeCaption
                                         << QSize(790, 520) << QString() << exchange;
    QTest::newRow("password, 取消按钮")
        << QStringLiteral("密码修改") << passwordCaption << QSize(400, 300)
        << QStringLiteral("取消按钮") << QStringList();
    QTest::newRow("password, title bar") << QStringLiteral("密码修改") << passwordCaption
                                         << QSize(400, 300) << QString() << QStringList();
}

void TestNavigation::workingWindowsHideAndShowTheMainWindow() {
    QFETCH(QString, button);
    QFETCH(QString, caption);
    QFETCH(QSize, outer);
    QFETCH(QString, closeButton);
    QFETCH(QStringList, deleted);
    ShellFixture f;
    shell::MainWindow main(f.session);
    main.show();

    QTest::mouseClick(ui::control<QPushButton>(&main, button), Qt::LeftButton);
    QPointer<QWidget> working = main.workingWindow();
    QVERIFY(working);
    QVERIFY(working->isVisible());
    QVERIFY(!working->parentWidget());
    QVERIFY(!main.isVisible());
    QCOMPARE(working->windowTitle(), caption);
    QCOMPARE(working->size(), ui::clientSizeFor(outer));
    // Whatever the window made of them, every working file is there when it closes.
    writeWorkingFiles(f);

    if (closeButton.isEmpty())
        working->close();
    else
        QTest::mouseClick(ui::control<QPushButton>(working, closeButton), Qt::LeftButton);
    settle();
    QVERIFY(!working);
    QVERIFY(main.isVisible());
    for (const QString& name : names::kWorkingFiles)
        QVERIFY2(files::exists(f.file(name)) != deleted.contains(name), qPrintable(name));
    QVERIFY(files::exists(f.file(names::kRegister)));
    QCOMPARE(f.quits, 0);
    QVERIFY(f.dialogs.shown().empty());
}

void TestNavigation::workingWindowsCanBeOpenedAgain() {
    ShellFixture f;
    shell::MainWindow main(f.session);
    main.show();
    for (int round = 0; round < 3; ++round) {
        for (const char16_t* button : {u"信息管理", u"导入导出", u"密码修改"}) {
            click(&main, button);
            QVERIFY(!main.isVisible());
            QPointer<QWidget> working = main.workingWindow();
            working->close();
            settle();
            QVERIFY(!working);
            QVERIFY(main.isVisible());
        }
    }
}

void TestNavigation::helpMissingAndPresent() {
    ShellFixture f;
    shell::MainWindow main(f.session);
    main.show();
    files::remove(f.file(names::kHelp));
    f.dialogs.expectWarning(QStringLiteral("找不到帮助文档！"));
    click(&main, u"打开帮助");
    QVERIFY2(f.dialogs.done(), qPrintable(f.dialogs.pendingText()));
    QCOMPARE(f.dialogs.shown().back().title, QStringLiteral("警告"));
    QVERIFY(f.opened.isEmpty());
    QVERIFY(main.isVisible());

    // Still usable: another button works right after.
    click(&main, u"密码修改");
    QVERIFY(!main.isVisible());
    main.workingWindow()->close();
    settle();

    f.folder.write(names::kHelp, "ITSF");
    click(&main, u"打开帮助");
    QCOMPARE(f.opened.size(), 1);
    QCOMPARE(f.opened.front(), QUrl::fromLocalFile(f.file(names::kHelp)));
    QVERIFY(main.isVisible());
    QCOMPARE(f.dialogs.shown().size(), size_t(1));
}

void TestNavigation::exitButtonAndTitleBarEndTheProgram_data() {
    QTest::addColumn<bool>("titleBar");
    QTest::newRow("退出系统") << false;
    QTest::newRow("title bar") << true;
}

void TestNavigation::exitButtonAndTitleBarEndTheProgram() {
    QFETCH(bool, titleBar);
    ShellFixture f;
    shell::LoginWindow login(f.session);  // takes the lock like the program
    login.show();
    type(&login, u"密码编辑框", QStringLiteral("7402"));
    click(&login, u"登录");
    shell::MainWindow* main = login.mainWindow();
    QVERIFY(main);
    writeWorkingFiles(f);
    const QByteArray registerBytes = f.folder.read(names::kRegister);

    bool storesClosed = false;
    f.session.addStoreCloser([&] { storesClosed = true; });
    if (titleBar)
        main->close();
    else
        click(main, u"退出系统");
    QCOMPARE(f.quits, 1);
    QVERIFY(storesClosed);
    QVERIFY(!files::exists(f.file(names::kLock)));
    for (const QString& name : names::kWorkingFiles)
        QVERIFY2(!files::exists(f.file(name)), qPrintable(name));
    QCOMPARE(f.folder.read(names::kRegister), registerBytes);

    // A new copy can start at once.
    hjtest::ScriptedDialogs quiet;
    shell::Session next(
        f.folder.path(), quiet, [] {}, [](const QUrl&) {});
    shell::LoginWindow again(next);
    QVERIFY(again.started());
}

void TestNavigation::closingTheMainWindowTakesAWorkingWindowAlong() {
    ShellFixture f;
    QPointer<QWidget> working;
    {
        shell::MainWindow main(f.session);
        main.show();
        click(&main, u"信息管理");
        working = main.workingWindow();
        QVERIFY(working);
    }
    QVERIFY(!working);
    QCOMPARE(f.quits, 0);
}

void TestNavigation::helpWithoutAViewer_data() {
    QTest::addColumn<bool>("chmViewer");
    QTest::addColumn<bool>("browser");
    QTest::addColumn<bool>("pages");
    QTest::addColumn<QString>("opened");  // the file handed to the desktop
    QTest::addColumn<QString>("warning");
    const QString none = QStringLiteral("本机没有能打开帮助文档的程序！");
    QTest::newRow("viewer") << true << true << true << names::kHelp << QString();
    QTest::newRow("browser shows the pages")
        << false << true << true << names::kHelpFirstPage << QString();
    QTest::newRow("nothing to show them") << false << false << true << QString() << none;
}

void TestNavigation::helpWithoutAViewer() {
    QFETCH(bool, chmViewer);
    QFETCH(bool, browser);
    QFETCH(bool, pages);
    QFETCH(QString, opened);
    QFETCH(QString, warning);
    ShellFixture f;
    f.folder.write(names::kHelp, "ITSF");
    if (pages) {
        QVERIFY(QDir().mkpath(f.file(names::kHelpPages)));
        f.folder.write(names::kHelpFirstPage, "<html></html>");
    }
    f.session.setOpenCheck(
        [&](const QUrl& url) { return url.path().endsWith(u".chm") ? chmViewer : browser; });
    shell::MainWindow main(f.session);
    main.show();
    if (!warning.isEmpty()) f.dialogs.expectWarning(warning);
    click(&main, u"打开帮助");
    QVERIFY2(f.dialogs.done(), qPrintable(f.dialogs.pendingText()));
    QCOMPARE(f.opened.size(), opened.isEmpty() ? 0 : 1);
    if (!opened.isEmpty()) QCOMPARE(f.opened.front(), QUrl::fromLocalFile(f.file(opened)));
}

QTEST_MAIN(TestNavigation)
#include "tst_navigation.moc"

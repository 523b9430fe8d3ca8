// The ui layer: edit-box rules, the font, the real message boxes and the scripted ones.
#include <QApplication>
#include <QFontInfo>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "common/scripteddialogs.h"
#include "common/typing.h"
#include "gui/ui/desktop.h"
#include "gui/ui/dialogs.h"
#include "gui/ui/widgets.h"

using ui::EditRules;
using ui::Input;

Q_DECLARE_METATYPE(ui::Box)

class TestUi : public QObject {
    Q_OBJECT
  private slots:
    void bytesAreCountedInGb18030();
    void editRules_data();
    void editRules();
    void commitsAndPastesAreCutToFit_data();
    void commitsAndPastesAreCutToFit();
    void passwordBoxShowsStars();
    void fontFallsBackToAnInstalledCjkFont();
    void realMessageBoxes_data();
    void realMessageBoxes();
    void scriptAnswersInOrder();
    void unexpectedBoxesFailTheTest();
    void missingBoxesFailTheTest();
    void desktopHandlers_data();
    void desktopHandlers();
    void qtTextsInChinese();
};

void TestUi::bytesAreCountedInGb18030() {
    QCOMPARE(ui::gbLength(QStringLiteral("a")), 1);
    QCOMPARE(ui::gbLength(QStringLiteral("中")), 2);
    QCOMPARE(ui::gbLength(QStringLiteral("䶮")), 2);  // FE 9F
    QCOMPARE(ui::gbLength(QStringLiteral("㐀")), 4);
    QCOMPARE(ui::gbLength(QStringLiteral("𠮷")), 4);
    QCOMPARE(ui::gbLength(QStringLiteral("　")), 2);  // full-width blank
}

void TestUi::editRules_data() {
    QTest::addColumn<int>("maxBytes");
    QTest::addColumn<int>("input");
    QTest::addColumn<bool>("upper");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("kept");
    QTest::newRow("ascii at the limit") << 4 << 0 << false << "abcdef"
                                        << "abcd";
    QTest::newRow("Chinese counts 2") << 5 << 0 << false << "户籍数据"
                                      << "户籍";
    QTest::newRow("Chinese after ascii") << 5 << 0 << false << "a户籍数"
                                         << "a户籍";
    QTest::newRow("rare counts 4") << 5 << 0 << false << "𠮷𠮷a"
                                   << "𠮷a";
    QTest::newRow("rare does not fit in 3") << 6 << 0 << false << "ab𠮷c"
                                            << "ab𠮷";
    QTest::newRow("no limit") << 0 << 0 << false << "户籍数据户籍数据户籍数据"
                              << "户籍数据户籍数据户籍数据";
    QTest::newRow("integer") << 0 << int(Input::Integer) << false << "1a2.3-4 5"
                             << "12345";
    QTest::newRow("integer within bytes") << 3 << int(Input::Integer) << false << "98765"
                                          << "987";
    QTest::newRow("decimal") << 0 << int(Input::Decimal) << false << "1.2.3x"
                             << "1.23";
    QTest::newRow("decimal point first") << 0 << int(Input::Decimal) << false << ".5"
                                         << ".5";
    QTest::newRow("upper case") << 0 << 0 << true << "x1a户b"
                                << "X1A户B";
    QTest::newRow("upper case within bytes") << 3 << 0 << true << "abcd"
                                             << "ABC";
}

void TestUi::editRules() {
    QFETCH(int, maxBytes);
    QFETCH(int, input);
    QFETCH(bool, upper);
    QFETCH(QString, typed);
    QFETCH(QString, kept);
    QLineEdit edit;
    ui::applyRules(&edit, {.maxBytes = maxBytes, .input = Input(input), .upperCase = upper});
    edit.show();
    hjtest::typeInto(&edit, typed);
    QCOMPARE(edit.text(), kept);
}

void TestUi::commitsAndPastesAreCutToFit_data() {
    QTest::addColumn<int>("maxBytes");
    QTest::addColumn<int>("input");
    QTest::addColumn<QString>("before");
    QTest::addColumn<int>("cursor");
    QTest::addColumn<QString>("added");
    QTest::addColumn<QString>("kept");
    const int any = int(Input::Any), integer = int(Input::Integer);
    QTest::newRow("word cut at whole characters") << 5 << any << "" << 0 << "户籍数据"
                                                  << "户籍";
    QTest::newRow("inside the text already there") << 6 << any << "ab" << 1 << "户籍数"
                                                   << "a户籍b";
    QTest::newRow("rare character never split") << 6 << any << "a" << 1 << "𠮷𠮷"
                                                << "a𠮷";
    QTest::newRow("full-width digits cut") << 3 << integer << "9" << 1 << "１２３"
                                           << "912";
    QTest::newRow("full-width point") << 0 << int(Input::Decimal) << "" << 0 << "３．５"
                                      << "3.5";
    QTest::newRow("full-width stays in text boxes") << 4 << any << "" << 0 << "１２３"
                                                    << "１２";
    QTest::newRow("a letter refuses the whole paste") << 0 << integer << "7" << 1 << "１a"
                                                      << "7";
}

void TestUi::commitsAndPastesAreCutToFit() {
    QFETCH(int, maxBytes);
    QFETCH(int, input);
    QFETCH(QString, before);
    QFETCH(int, cursor);
    QFETCH(QString, added);
    QFETCH(QString, kept);
    for (const bool paste : {false, true}) {
        QLineEdit edit;
        ui::applyRules(&edit, {.maxBytes = maxBytes, .input = Input(input)});
        edit.show();
        edit.setText(before);
        edit.setCursorPosition(cursor);
        if (paste) {
            edit.insert(added);  // what a paste does with the clipboard's text
        } else {
            QInputMethodEvent commit;  // an input method commits the whole word at once
            commit.setCommitString(added);
            QCoreApplication::sendEvent(&edit, &commit);
        }
        QVERIFY2(edit.text() == kept, qPrintable(edit.text()));
    }
}

void TestUi::passwordBoxShowsStars() {
    QLineEdit edit;
    ui::makePassword(&edit, 16);
    edit.show();
    hjtest::typeInto(&edit, QStringLiteral("a户b"));
    QCOMPARE(edit.text(), QStringLiteral("a户b"));
    QCOMPARE(edit.displayText(), QStringLiteral("***"));
    hjtest::typeInto(&edit, QStringLiteral("1234567890123"));
    QCOMPARE(ui::gbLength(edit.text()), 16);
}

void TestUi::fontFallsBackToAnInstalledCjkFont() {
    const QFont font = ui::uiFont();
    QCOMPARE(font.families().constFirst(), QStringLiteral("宋体"));
    const QString used = QFontInfo(font).family();
    QVERIFY2(used.contains(QLatin1String("CJK")) || used.contains(QStringLiteral("宋体")) ||
                 used.contains(QLatin1String("SimSun")),
             qPrintable(used));
    QWidget window;
    ui::setUpWindow(&window, QStringLiteral("标题"), {400, 300});
    QCOMPARE(window.font().families().constFirst(), QStringLiteral("宋体"));
    QCOMPARE(window.size(), ui::clientSizeFor({400, 300}));
}

void TestUi::realMessageBoxes_data() {
    QTest::addColumn<ui::Box>("style");
    QTest::addColumn<QString>("title");
    QTest::addColumn<int>("icon");
    QTest::addColumn<int>("buttons");
    QTest::addColumn<int>("press");
    QTest::addColumn<bool>("answer");
    const int ok = QMessageBox::Ok, yes = QMessageBox::Yes, no = QMessageBox::No;
    QTest::newRow("warning") << ui::Box::Warning << "警告" << int(QMessageBox::Warning) << ok << ok
                             << false;
    QTest::newRow("question yes") << ui::Box::Question << "提示" << int(QMessageBox::NoIcon)
                                  << (yes | no) << yes << true;
    QTest::newRow("question no") << ui::Box::Question << "提示" << int(QMessageBox::NoIcon)
                                 << (yes | no) << no << false;
    QTest::newRow("notice") << ui::Box::Notice << "提示" << int(QMessageBox::NoIcon) << ok << ok
                            << false;
}

void TestUi::realMessageBoxes() {
    QFETCH(ui::Box, style);
    QFETCH(QString, title);
    QFETCH(int, icon);
    QFETCH(int, buttons);
    QFETCH(int, press);
    QFETCH(bool, answer);
    const QString text = QStringLiteral("       确认修改吗？");
    bool seen = false;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        QVERIFY(box);
        seen = true;
        QCOMPARE(box->windowTitle(), title);
        QCOMPARE(box->text(), text);
        QCOMPARE(int(box->icon()), icon);
        QCOMPARE(int(box->standardButtons()), buttons);
        QTest::mouseClick(box->button(QMessageBox::StandardButton(press)), Qt::LeftButton);
    });
    ui::QtDialogs dialogs;
    bool result = false;
    switch (style) {
        case ui::Box::Warning:
            dialogs.warning(text);
            break;
        case ui::Box::Question:
            result = dialogs.question(text);
            break;
        case ui::Box::Notice:
            dialogs.notice(text);
            break;
    }
    QVERIFY(seen);
    QCOMPARE(result, answer);
}

void TestUi::scriptAnswersInOrder() {
    hjtest::ScriptedDialogs dialogs;
    ui::Dialogs& d = dialogs;
    dialogs.expectQuestion(QStringLiteral("       确认删除吗？"), true);
    dialogs.expectQuestion(QStringLiteral("       确认删除吗？"), false);
    dialogs.expectSave(QStringLiteral("/tmp/x.bak"));
    dialogs.expectNotice(QStringLiteral("  删除成功"));
    QVERIFY(!dialogs.done());
    QVERIFY(d.question(QStringLiteral("       确认删除吗？")));
    QVERIFY(!d.question(QStringLiteral("       确认删除吗？")));
    QCOMPARE(d.saveFile({QStringLiteral("备份"), QStringLiteral("备份文件 (*.bak)"),
                         QStringLiteral("/tmp"), QStringLiteral("bak")}),
             QStringLiteral("/tmp/x.bak"));
    d.notice(QStringLiteral("  删除成功"));
    QVERIFY(dialogs.done());
    QCOMPARE(dialogs.shown().size(), size_t(4));
    QCOMPARE(dialogs.shown()[0].title, QStringLiteral("提示"));
    QCOMPARE(dialogs.shown()[3].text, QStringLiteral("  删除成功"));
    QCOMPARE(dialogs.fileRequests().front().defaultSuffix, QStringLiteral("bak"));
}

void TestUi::unexpectedBoxesFailTheTest() {
    hjtest::ScriptedDialogs dialogs;
    dialogs.expectWarning(QStringLiteral("请输入密码！"));
    QEXPECT_FAIL("", "a notice where a warning was expected", Continue);
    dialogs.notice(QStringLiteral("请输入密码！"));
    QEXPECT_FAIL("", "the text differs by a blank", Continue);
    dialogs.warning(QStringLiteral("请输入密码！ "));
    dialogs.warning(QStringLiteral("请输入密码！"));
    QEXPECT_FAIL("", "nothing more was expected", Continue);
    QVERIFY(!dialogs.question(QStringLiteral("       确认添加吗？")));
    QVERIFY(!dialogs.done());
}

void TestUi::missingBoxesFailTheTest() {
    hjtest::ScriptedDialogs dialogs;
    dialogs.expectNotice(QStringLiteral("  添加成功"));
    QEXPECT_FAIL("", "the expected notice never came", Continue);
}

void TestUi::desktopHandlers_data() {
    QTest::addColumn<QString>("list");  // below the data folder; config/ for the config folder
    QTest::addColumn<QString>("content");
    QTest::addColumn<bool>("handled");
    const QString cache = QStringLiteral("applications/mimeinfo.cache");
    QTest::newRow("cache names a viewer")
        << cache << "[MIME Cache]\napplication/vnd.ms-htmlhelp=viewer.desktop;\n"
        << true;
    QTest::newRow("by its alias, among others")
        << cache << "[MIME Cache]\napplication/x-chm=gone.desktop;viewer.desktop;\n"
        << true;
    QTest::newRow("viewer no longer installed")
        << cache << "[MIME Cache]\napplication/vnd.ms-htmlhelp=gone.desktop;\n"
        << false;
    QTest::newRow("user's default")
        << "config/mimeapps.list"
        << "[Default Applications]\napplication/vnd.ms-htmlhelp=viewer.desktop\n"
        << true;
}

void TestUi::desktopHandlers() {
    QFETCH(QString, list);
    QFETCH(QString, content);
    QFETCH(bool, handled);
    QTemporaryDir root;
    const QString data = root.filePath(QStringLiteral("data"));
    const QString config = root.filePath(QStringLiteral("config"));
    QVERIFY(QDir().mkpath(data + QStringLiteral("/applications")) && QDir().mkpath(config));
    QFile entry(data + QStringLiteral("/applications/viewer.desktop"));
    QVERIFY(entry.open(QIODevice::WriteOnly));
    QFile file(list.startsWith(u"config/") ? root.filePath(list) : data + u'/' + list);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content.toUtf8());
    file.close();
    const QStringList types = {QStringLiteral("application/vnd.ms-htmlhelp"),
                               QStringLiteral("application/x-chm")};
    QCOMPARE(ui::handlerListed(types, {data}, {config}), handled);
}

void TestUi::qtTextsInChinese() {
    // The copy in a program folder serves where Qt's own translations are missing.
    QTemporaryDir folder;
    const QString qm = QStringLiteral("/qtbase_zh_CN.qm");
    if (!QFile::copy(QLibraryInfo::path(QLibraryInfo::TranslationsPath) + qm, folder.path() + qm))
        QSKIP("qt6-translations-l10n is not installed");
    QVERIFY(!ui::loadQtTranslation({folder.filePath(QStringLiteral("none"))}));
    QVERIFY(ui::loadQtTranslation({folder.filePath(QStringLiteral("none")), folder.path()}));
    QMessageBox box;
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    QVERIFY2(box.button(QMessageBox::Yes)->text().startsWith(u'是'),
             qPrintable(box.button(QMessageBox::Yes)->text()));
    QVERIFY(box.button(QMessageBox::No)->text().startsWith(u'否'));
}

QTEST_MAIN(TestUi)
#include "tst_ui.moc"

// Issuing a certificate through the real window: the number logged before the output and
// settled after it, the PDF read back (text, QR code, fonts), and the log window's verification.
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QRawFont>
#include <QStandardItemModel>
#include <QStandardPaths>
#include <QTableView>
#include <QTest>
#include <QTreeView>
#include <QTreeWidget>

#include "common/lookup.h"
#include "common/programfolder.h"
#include "common/scripteddialogs.h"
#include "core/edit/certificatelog.h"
#include "core/register/person.h"
#include "core/register/text.h"
#include "core/register/workfiles.h"
#include "gui/exchange/exchangewindow.h"
#include "gui/history/historywindow.h"
#include "gui/info/infowindow.h"
#include "gui/reports/certificatelogwindow.h"
#include "gui/reports/certificatewindow.h"
#include "gui/ui/widgets.h"
#include "samplegen.h"

using namespace reg;
namespace msg = maint::certmsg;

namespace {

// A household of two, complete: 王建国 the head (序号 1) and 王小明 his son (序号 2).
std::vector<sample::Person> household() {
    sample::Person son(kFieldCount);
    const std::pair<int, const char*> fields[] = {{F序号, "2"},
                                                  {F房屋详址, "澄禾村一组8号"},
                                                  {F居住类型, "1"},
                                                  {F居住详址, "澄禾村一组8号"},
                                                  {F户主姓名, "王建国"},
                                                  {F与户主关系, "3"},
                                                  {F姓名, "王小明"},
                                                  {F性别, "1"},
                                                  {F出生日期, "20010305"},
                                                  {F民族, "1"},
                                                  {F公民身份号码, "110101200103050013"},
                                                  {F户籍登记详址, "澄禾村一组8号"},
                                                  {F户籍登记类型, "1"},
                                                  {F户籍变动类型, "12"},
                                                  {F户籍变动日期, "20010305"}};
    for (const auto& [pos, value] : fields) son[size_t(pos - 1)] = gb(value);
    sample::Person head = son;
    head[F序号 - 1] = "1";
    head[F姓名 - 1] = gb("王建国");
    head[F与户主关系 - 1] = "1";
    head[F出生日期 - 1] = "19751120";
    head[F公民身份号码 - 1] = "110101197511200019";
    return {head, son};
}

QString run(const QString& program, const QStringList& args) {
    QProcess p;
    p.start(program, args);
    p.waitForFinished(60000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

// Qt's PDF names a glyph that the font shares between an ideograph and a Kangxi radical by the
// radical (户 reads back as U+2F3E); this maps such radicals back to the drawn ideographs.
QString undoRadicals(QString text, const QString& drawn) {
    const QRawFont raw = QRawFont::fromFont(ui::fontWithFallback(QStringLiteral("宋体"), 9),
                                            QFontDatabase::SimplifiedChinese);
    const auto glyph = [&](QChar c) {
        const auto g = raw.glyphIndexesForString(QString(c));
        return g.isEmpty() ? 0u : g[0];
    };
    QHash<quint32, QChar> byGlyph;
    for (QChar c : drawn) byGlyph.insert(glyph(c), c);
    for (QChar& c : text)
        if (c.unicode() >= 0x2E80 && c.unicode() <= 0x2FDF) c = byGlyph.value(glyph(c), c);
    return text;
}

QString tool(const char* name) {
    const QString path = QStandardPaths::findExecutable(QString::fromLatin1(name));
    if (path.isEmpty()) qWarning("%s is not installed", name);
    return path;
}

}  // namespace

class TestCertificateWindow : public QObject {
    Q_OBJECT
    hjtest::ProgramFolder pf_;
    hjtest::ScriptedDialogs dialogs_;

    // The window for 王小明 with the settings saved and a 事由 typed.
    std::unique_ptr<maint::CertificateWindow> window() {
        auto w = std::make_unique<maint::CertificateWindow>(pf_.path(), dialogs_, "2");
        hjtest::find<QLineEdit>(w.get(), QStringLiteral("事由编辑框"))->setText("办理入学");
        return w;
    }

  private slots:
    void initTestCase() { QVERIFY(sample::writeRegister(pf_.file(names::kRegister), household())); }
    void cleanup() { QVERIFY2(dialogs_.takeProblems().isEmpty(), "unexpected boxes"); }

    // Settings are asked for on first use, and nothing is numbered before they are saved.
    void settingsFirst() {
        dialogs_.expectNotice(msg::kFirstUse);
        auto w = window();
        dialogs_.expectWarning(msg::kNoSettings);
        w->issue(true);
        QVERIFY(cert::records(pf_.path()).empty());
        hjtest::find<QLineEdit>(w.get(), QStringLiteral("村居名称编辑框"))
            ->setText("澄禾社区居民委员会");
        hjtest::find<QLineEdit>(w.get(), QStringLiteral("编号前缀编辑框"))->setText("澄禾证");
        dialogs_.expectNotice(msg::kSaved);
        hjtest::find<QPushButton>(w.get(), QStringLiteral("保存设置按钮"))->click();
        QCOMPARE(cert::settings(pf_.path()).prefix, QStringLiteral("澄禾证"));
    }

    // 户籍证明 to PDF: the text names the person and the number, the QR code holds the logged
    // payload, every font is embedded.
    void issuedToPdf() {
        const QString pdftotext = tool("pdftotext"), pdftoppm = tool("pdftoppm"),
                      zbarimg = tool("zbarimg"), pdffonts = tool("pdffonts");
        if (pdftotext.isEmpty() || zbarimg.isEmpty() || pdftoppm.isEmpty())
            QSKIP("poppler-utils or zbar-tools is not installed");
        auto w = window();
        QCOMPARE(hjtest::find<QComboBox>(w.get(), QStringLiteral("模板选择框"))->currentText(),
                 QStringLiteral("户籍证明"));
        const QString number = cert::nextNumber(pf_.path(), QDate::currentDate());
        const QString pdf = pf_.file(QStringLiteral("证明.pdf"));
        dialogs_.expectSave(pdf);
        dialogs_.expectNotice(msg::kIssued.arg(number));
        w->issue(true);
        const auto logged = cert::record(pf_.path(), number);
        QVERIFY(logged);
        QCOMPARE(logged->state, cert::State::Issued);
        // The change history names the certificate, not its text.
        maint::HistoryWindow history(pf_.path(), dialogs_);
        const QAbstractItemModel* facts = history.findChild<QTreeView*>()->model();
        QCOMPARE(facts->rowCount(), 1);
        QCOMPARE(facts->index(0, 4).data().toString(), "户籍证明 " + number);

        const QString text =
            undoRadicals(run(pdftotext, {pdf, "-"}), "王小明" + number).remove(' ');
        QVERIFY2(text.contains("王小明"), qPrintable(text));
        QVERIFY2(text.contains(number), qPrintable(text));
        const QString png = pf_.file(QStringLiteral("page"));
        run(pdftoppm, {"-r", "300", "-png", "-singlefile", pdf, png});
        const QString decoded = run(zbarimg, {"--raw", "-q", png + ".png"}).trimmed();
        QCOMPARE(decoded, logged->qr());
        QCOMPARE(cert::verify(pf_.path(), decoded).verdict, cert::Verdict::Matches);
        const QString fonts = run(pdffonts, {pdf});
        QVERIFY2(fonts.contains("CJK"), qPrintable(fonts));
        for (const QString& line : fonts.split('\n').mid(2, -1))
            if (!line.isEmpty()) QVERIFY2(line.contains(" yes "), qPrintable(line));
    }

    // A cancelled save dialog voids the number taken, with the reason; the next one follows it.
    void cancelledSaveVoids() {
        auto w = window();
        const QString number = cert::nextNumber(pf_.path(), QDate::currentDate());
        dialogs_.expectSave(QString());
        dialogs_.expectWarning(msg::kVoided.arg(number, msg::kCancelSave));
        w->issue(true);
        const auto logged = cert::record(pf_.path(), number);
        QVERIFY(logged);
        QCOMPARE(logged->state, cert::State::Void);
        QCOMPARE(logged->voidReason, msg::kCancelSave);
        QVERIFY(cert::nextNumber(pf_.path(), QDate::currentDate()) != number);
    }

    // The log window's verification of what the two tests before left: the first number issued,
    // the second void.
    void logVerifies_data() {
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("answer");
        const auto all = cert::records(pf_.path());  // newest first
        QVERIFY(all.size() == 2);
        const cert::Record &issued = all[1], &voided = all[0];
        QTest::newRow("number") << issued.number << "记录相符";
        QTest::newRow("QR text") << issued.qr() << "记录相符";
        QTest::newRow("void") << voided.number << "已作废";
        QTest::newRow("unknown") << cert::numberText("澄禾证", 2026, 9999) << "编号不存在";
        QString forged = issued.qr();
        forged[forged.size() - 1] = forged.endsWith('0') ? '1' : '0';
        QTest::newRow("other digest") << forged << "内容不符";
    }
    void logVerifies() {
        QFETCH(QString, input);
        QFETCH(QString, answer);
        maint::CertificateLogWindow w(pf_.path(), dialogs_);
        hjtest::find<QLineEdit>(&w, QStringLiteral("核验编辑框"))->setText(input);
        hjtest::find<QPushButton>(&w, QStringLiteral("核验按钮"))->click();
        QVERIFY2(hjtest::find<QLabel>(&w, QStringLiteral("核验结果"))->text().startsWith(answer),
                 qPrintable(hjtest::find<QLabel>(&w, QStringLiteral("核验结果"))->text()));
    }

    // 作废 in the log window needs a reason and a Yes; the certificate stays listed.
    void logVoids() {
        maint::CertificateLogWindow w(pf_.path(), dialogs_);
        auto* list = hjtest::find<QTableView>(&w, QStringLiteral("证明列表"));
        QCOMPARE(list->model()->rowCount(), 2);
        list->selectRow(1);
        const QString number = list->model()->index(1, 0).data().toString();
        auto* voidButton = hjtest::find<QPushButton>(&w, QStringLiteral("作废按钮"));
        dialogs_.expectWarning(maint::logmsg::kNeedReason);
        voidButton->click();
        hjtest::find<QLineEdit>(&w, QStringLiteral("作废原因编辑框"))->setText("当事人退回");
        dialogs_.expectQuestion(maint::logmsg::kConfirmVoid.arg(number), true);
        dialogs_.expectNotice(maint::logmsg::kVoidDone);
        voidButton->click();
        QCOMPARE(cert::record(pf_.path(), number)->voidReason, QStringLiteral("当事人退回"));
        QCOMPARE(list->model()->rowCount(), 2);
    }

    // 证明记录 in the free space of the import/export window opens the log.
    void logFromTheExchangeWindow() {
        exchange::ExchangeWindow w(pf_.path(), dialogs_);
        auto* button = hjtest::find<QPushButton>(&w, QStringLiteral("证明记录按钮"));
        QCOMPARE(button->geometry(), QRect(410, 280, 90, 30));
        QCOMPARE(button->text(), QStringLiteral("证明记录"));
        button->click();
        QPointer<maint::CertificateLogWindow> opened;
        for (QWidget* top : QApplication::topLevelWidgets())
            if (auto* c = qobject_cast<maint::CertificateLogWindow*>(top)) opened = c;
        QVERIFY(opened);
        QCOMPARE(opened->windowTitle(),
                 QStringLiteral("澄禾社区户籍管理系统-证明记录   青石听雨 制作"));
        w.close();
        QTRY_VERIFY(!opened);
    }

    // A template that does not fit the person is offered greyed; an own template is saved
    // under a new name, a built-in name refused, an own name overwritten only after a Yes.
    void ownTemplates() {
        auto w = window();
        auto* box = hjtest::find<QComboBox>(w.get(), QStringLiteral("模板选择框"));
        const auto* model = qobject_cast<const QStandardItemModel*>(box->model());
        QStringList greyed;
        for (int i = 0; i < box->count(); ++i)
            if (!model->item(i)->isEnabled()) greyed << box->itemText(i);
        QCOMPARE(greyed, (QStringList{"迁出证明", "死亡情况证明"}));
        auto* name = hjtest::find<QLineEdit>(w.get(), QStringLiteral("新模板名称编辑框"));
        auto* save = hjtest::find<QPushButton>(w.get(), QStringLiteral("另存模板按钮"));
        name->setText("户籍证明");
        dialogs_.expectWarning(msg::kBuiltInName);
        save->click();
        name->setText("入学户籍证明");
        dialogs_.expectNotice(msg::kSaved);
        save->click();
        QCOMPARE(box->currentText(), QStringLiteral("入学户籍证明（自定义）"));
        dialogs_.expectQuestion(msg::kOverwrite.arg("入学户籍证明"), false);
        save->click();
        QCOMPARE(int(cert::templates(pf_.path()).size()), 6);
    }

    // The tree's menu entry and its shortcut.
    void fromTheTreesMenu() {
        maint::InfoWindow w(pf_.path(), dialogs_);
        auto* tree = hjtest::find<QTreeWidget>(&w, QStringLiteral("树型框"));
        QAction* action = hjtest::find<QAction>(tree, QStringLiteral("开具证明"));
        QCOMPARE(action->text(), QStringLiteral("开具证明"));
        QCOMPARE(action->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_K));
        tree->setCurrentItem(tree->topLevelItem(0));  // an address: no person
        dialogs_.expectWarning(msg::kChoosePerson);
        action->trigger();
        // On a person: the window opens for them, and goes with the window it came from.
        tree->setCurrentItem(tree->topLevelItem(0)->child(1));
        action->trigger();
        QPointer<maint::CertificateWindow> opened;
        for (QWidget* top : QApplication::topLevelWidgets())
            if (auto* c = qobject_cast<maint::CertificateWindow*>(top)) opened = c;
        QVERIFY(opened);
        QCOMPARE(hjtest::find<QLabel>(opened, QStringLiteral("当事人显示"))->text(),
                 QStringLiteral("2 王小明"));
        opened->close();
        QTRY_VERIFY(!opened);
    }
};

QTEST_MAIN(TestCertificateWindow)
#include "tst_certificatewindow.moc"

// A household's register card: who is on it and in which order, its dates, and the PDF read back
// with the tools of poppler-utils.
#include <QAbstractItemView>
#include <QAction>
#include <QProcess>
#include <QRawFont>
#include <QStandardPaths>
#include <QTest>
#include <QTreeWidget>

#include "common/lookup.h"
#include "common/programfolder.h"
#include "common/scripteddialogs.h"
#include "core/edit/registercard.h"
#include "core/register/person.h"
#include "core/register/text.h"
#include "core/register/workfiles.h"
#include "gui/info/infowindow.h"
#include "gui/reports/cardprint.h"
#include "gui/ui/widgets.h"
#include "samplegen.h"

using namespace reg;
using maint::RegisterCard;

namespace {

// serial, address, head's name, relation, name, sex, birth
using Row = std::array<const char*, 7>;

std::vector<sample::Person> people(const std::vector<Row>& rows) {
    std::vector<sample::Person> out;
    for (const Row& r : rows) {
        sample::Person v(kFieldCount);
        const int fields[] = {F序号, F房屋详址, F户主姓名, F与户主关系, F姓名, F性别, F出生日期};
        for (size_t i = 0; i < 7; ++i) v[size_t(fields[i] - 1)] = gb(r[i]);
        v[F民族 - 1] = "1";
        v[F户籍变动类型 - 1] = "14";
        out.push_back(v);
    }
    return out;
}

const std::vector<Row> kRegister = {
    {"1", "甲村1号", "王大", "3", "王二", "1", "20100230"},
    {"2", "甲村1号", "王大", "1", "王大", "1", "19800101"},
    {"3", "甲村1号", "王大", "2", "李芳", "2", "19821231"},
    {"4", "乙村2号", "张三", "2", "赵四", "2", "19900505"},
    {"5", "甲村1号", "王大", "5", "王老", "1", "19500701"},
};

QStringList namesOn(const RegisterCard& card) {
    QStringList out;
    for (const auto& m : card.members) out << m.lines[0][0].second;
    return out;
}

QString run(const QString& program, const QStringList& args) {
    QProcess p;
    p.start(program, args);
    p.waitForFinished(30000);
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

}  // namespace

class TestRegisterCard : public QObject {
    Q_OBJECT

    hjtest::ProgramFolder pf_;
    QString path_ = pf_.file(names::kRegister);

    std::optional<RegisterCard> cardFor(const char* line) {
        RecordStore store;
        if (!store.OpenTable(path_)) qFatal("the test register does not open");
        auto card = maint::registerCardFor(store, gb(line), QDate(2026, 1, 2));
        static_cast<void>(store.CloseAllTables());  // read only
        return card;
    }

  private slots:
    void initTestCase() { QVERIFY(sample::writeRegister(path_, people(kRegister))); }

    void dates_data() {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("shown");
        QTest::newRow("real day") << "19800101"
                                  << "1980年1月1日";
        QTest::newRow("leap day") << "20000229"
                                  << "2000年2月29日";
        QTest::newRow("no such day") << "19800230"
                                     << "19800230";
        QTest::newRow("seven digits") << "1980010"
                                      << "1980010";
        QTest::newRow("year zero") << "00000101"
                                   << "00000101";
        QTest::newRow("empty") << ""
                               << "";
    }
    void dates() {
        QFETCH(QString, stored);
        QFETCH(QString, shown);
        QCOMPARE(maint::cardDate(stored.toStdString()), shown);
    }

    void membersHeadFirstThenBySerial_data() {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<bool>("hasHead");
        QTest::newRow("a member's label")
            << "3:王大:李芳" << QStringList{"王大", "王二", "李芳", "王老"} << true;
        QTest::newRow("the address")
            << "甲村1号" << QStringList{"王大", "王二", "李芳", "王老"} << true;
        QTest::newRow("no head") << "4:张三:赵四" << QStringList{"赵四"} << false;
        QTest::newRow("unknown serial") << "9:x:y" << QStringList{} << false;
        QTest::newRow("unknown address") << "丙村" << QStringList{} << false;
    }
    void membersHeadFirstThenBySerial() {
        QFETCH(QString, line);
        QFETCH(QStringList, names);
        QFETCH(bool, hasHead);
        const auto card = cardFor(line.toUtf8().constData());
        QCOMPARE(card.has_value(), !names.isEmpty());
        if (!card) return;
        QCOMPARE(namesOn(*card), names);
        QCOMPARE(card->hasHead, hasHead);
        QCOMPARE(card->headName, hasHead ? QStringLiteral("王大") : QStringLiteral("张三"));
    }

    // The PDF's text read back: every member in order, codes as names, dates written out, the
    // printing date at the foot of both pages; and the Chinese font inside the file.
    void pdfReadsBack() {
        const QString pdftotext = QStandardPaths::findExecutable("pdftotext");
        if (pdftotext.isEmpty()) QSKIP("pdftotext (poppler-utils) is not installed");
        const QString pdf = pf_.file(QStringLiteral("card.pdf"));
        QVERIFY(maint::writeCardPdf(pdf, *cardFor("甲村1号")));

        const QStringList expected = {"澄禾社区户籍登记表",
                                      "户主姓名：王大",
                                      "房屋详址：甲村1号",
                                      "姓名",
                                      "王大",
                                      "本人",
                                      "男",
                                      "1980年1月1日",
                                      "汉族",
                                      "王二",
                                      "子女",
                                      "20100230",
                                      "李芳",
                                      "配偶",
                                      "女",
                                      "1982年12月31日",
                                      "14",
                                      "打印日期：2026年1月2日",
                                      "第1页共2页",
                                      "王老",
                                      "父母",
                                      "1950年7月1日",
                                      "打印日期：2026年1月2日",
                                      "第2页共2页"};
        const QString text = undoRadicals(run(pdftotext, {"-layout", pdf, "-"}), expected.join(""))
                                 .simplified()
                                 .remove(' ');
        qsizetype at = 0;
        for (const QString& piece : expected) {
            const qsizetype found = text.indexOf(piece, at);
            QVERIFY2(found >= 0, qPrintable(piece + " missing after " + text.mid(at, 40)));
            at = found + piece.size();
        }
        const QString fonts = run(QStandardPaths::findExecutable("pdffonts"), {pdf});
        QVERIFY2(fonts.contains("CJK"), qPrintable(fonts));
        for (const QString& line : fonts.split('\n').mid(2, -1))
            if (!line.isEmpty()) QVERIFY2(line.contains(" yes "), qPrintable(line));
    }

    void savedFromTheTreesMenu() {
        hjtest::ScriptedDialogs dialogs;
        maint::InfoWindow w(pf_.path(), dialogs);
        auto* tree = hjtest::find<QTreeWidget>(&w, QStringLiteral("树型框"));
        QCOMPARE(tree->contextMenuPolicy(), Qt::ActionsContextMenu);
        QAction* print = hjtest::find<QAction>(tree, QStringLiteral("打印本户登记表"));
        QCOMPARE(print->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_P));
        QAction* save = hjtest::find<QAction>(tree, QStringLiteral("本户登记表存为PDF"));

        // Ctrl+P anywhere in the window; with nothing chosen it stops before the print dialog.
        w.show();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        tree->setCurrentItem(nullptr);
        dialogs.expectWarning(QStringLiteral("请先在左侧列表中选择一户或其中一人！"));
        QTest::keyClick(&w, Qt::Key_P, Qt::ControlModifier);
        QVERIFY(dialogs.done());

        const QString pdf = pf_.file(QStringLiteral("menu.pdf"));
        tree->setCurrentItem(tree->topLevelItem(0)->child(0));
        dialogs.expectSave(pdf);
        dialogs.expectNotice(QStringLiteral("  保存成功"));
        save->trigger();
        QVERIFY(QFile(pdf).size() > 1000);
        QVERIFY2(dialogs.done(), qPrintable(dialogs.takeProblems()));
    }
};

QTEST_MAIN(TestRegisterCard)
#include "tst_registercard.moc"

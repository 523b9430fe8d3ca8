// The papers sent upward: a report drawn on pages (headings on every page, page numbers, a
// household line), its PDF's fonts, its workbook read back, and the ways the windows open.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTreeWidget>

#include "common/lookup.h"
#include "common/programfolder.h"
#include "common/scripteddialogs.h"
#include "core/edit/reportbook.h"
#include "core/register/files.h"
#include "core/register/history.h"
#include "core/register/person.h"
#include "core/register/text.h"
#include "core/register/workfiles.h"
#include "core/workbook/workbookreader.h"
#include "gui/info/infowindow.h"
#include "gui/reports/reportprint.h"
#include "gui/reports/reportwindow.h"
#include "gui/reports/statisticswindow.h"
#include "samplegen.h"

using hjtest::find;

namespace {

// Households of four persons each under a Group line, a bold total, two notes.
query::Report sampleReport(int households, bool landscape) {
    query::Report r;
    r.title = QStringLiteral("花名册");
    r.subtitle = QStringLiteral("整个户籍");
    r.landscape = landscape;
    for (const char* h : {"序号", "姓名", "性别", "公民身份号码"})
        r.columns.push_back({QString::fromUtf8(h), 1, false});
    r.columns[3].weight = 3;
    int n = 0;
    for (int h = 1; h <= households; ++h) {
        r.rows.push_back(
            {query::ReportRow::Kind::Group, {QStringLiteral("户主：张%1  青石村1组%1号").arg(h)}});
        for (int p = 0; p < 4; ++p, ++n)
            r.rows.push_back({query::ReportRow::Kind::Data,
                              {QString::number(n + 1), QStringLiteral("张%1").arg(n),
                               QStringLiteral("男"), QStringLiteral("110101********%1").arg(n)}});
    }
    r.rows.push_back({query::ReportRow::Kind::Total,
                      {QStringLiteral("合计"), QString::number(n), QString(), QString()}});
    r.notes = {QStringLiteral("注：身份证号已隐藏中间位。"), QStringLiteral("制表人：")};
    return r;
}

// The CJK fonts of the test machine share one glyph between a radical and its ideograph, and the
// PDF's text map may name the radical: folded back before the text is compared.
QString folded(QString text) {
    text = text.normalized(QString::NormalizationForm_KC);
    static const std::vector<std::pair<QChar, QChar>> kRadicals{
        {QChar(0x2EA0), QChar(0x6C11)}, {QChar(0x2ED8), QChar(0x9752)},
        {QChar(0x2EC4), QChar(0x897F)}, {QChar(0x2ED3), QChar(0x957F)},
        {QChar(0x2EDA), QChar(0x9875)}, {QChar(0x2ECB), QChar(0x8F66)},
        {QChar(0x6236), QChar(0x6237)}};
    for (const auto& r : kRadicals) text.replace(r.first, r.second);
    return text;
}

QString run(const QString& program, const QStringList& args) {
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(60000)) return {};
    return QString::fromUtf8(p.readAllStandardOutput());
}

}  // namespace

class TestReports : public QObject {
    Q_OBJECT

    hjtest::ProgramFolder pf_;
    hjtest::ScriptedDialogs dialogs_;
    const QString kNoReport = QStringLiteral("户籍数据文件无法打开，未能生成报表！");

    QString registerPath() const { return reg::pathIn(pf_.path(), reg::names::kRegister); }

  private slots:
    void initTestCase() { QVERIFY(sample::writeRegister(registerPath(), 60, 5)); }
    void cleanup() {
        const QString problems = dialogs_.takeProblems();
        QVERIFY2(problems.isEmpty(), qPrintable(problems));
    }

    void pagesRepeatHeadingsAndCount_data() {
        QTest::addColumn<int>("households");
        QTest::addColumn<bool>("landscape");
        QTest::newRow("one page") << 2 << false;
        QTest::newRow("upright, many") << 40 << false;
        QTest::newRow("landscape, many") << 40 << true;
    }
    void pagesRepeatHeadingsAndCount() {
        QFETCH(int, households);
        QFETCH(bool, landscape);
        const query::Report report = sampleReport(households, landscape);
        const QString pdf = pf_.file(QStringLiteral("r.pdf"));
        QVERIFY(maint::writeReportPdf(pdf, report, {QStringLiteral("青石村"), QDate(2026, 3, 1)}));
        const QString text =
            folded(run(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, "-"}));
        QStringList pages = text.split(QChar('\f'));
        if (pages.last().trimmed().isEmpty()) pages.removeLast();
        const int n = maint::reportPages(report);
        QCOMPARE(pages.size(), n);
        QCOMPARE(n > 1, households > 2);
        for (int i = 0; i < n; ++i) {
            const QString& page = pages[i];
            for (const query::ReportColumn& c : report.columns)
                QVERIFY2(page.contains(folded(c.heading)), qPrintable(c.heading));
            // pdftotext closes the narrow gaps between the number and the characters around it.
            QVERIFY(QString(page).remove(' ').contains(
                QStringLiteral("第%1页共%2页").arg(i + 1).arg(n)));
            QVERIFY(page.contains(folded(QStringLiteral("单位：青石村"))));
            // A household line goes over to the next page with its members.
            const QStringList lines = page.split('\n');
            qsizetype lastGroup = -1, lastMember = -1;
            for (qsizetype l = 0; l < lines.size(); ++l) {
                if (lines[l].contains(folded(QStringLiteral("户主：")))) lastGroup = l;
                if (lines[l].contains(QStringLiteral("110101"))) lastMember = l;
            }
            QVERIFY(lastGroup < lastMember);
            QVERIFY(page.contains(QStringLiteral("2026年3月1日")));
        }
        // Every household line and the last note reach the paper.
        QVERIFY(text.contains(folded(QStringLiteral("户主：张%1").arg(households))));
        QVERIFY(pages.last().contains(folded(QStringLiteral("制表人："))));
        const QString info = run(QStringLiteral("pdfinfo"), {pdf});
        QVERIFY2(info.contains(landscape ? QStringLiteral("842 x 595 pts")
                                         : QStringLiteral("595 x 842 pts")),
                 qPrintable(info));
        // Every font embedded: pdffonts' column "emb" says yes on each line below its heading.
        const QStringList fonts =
            run(QStringLiteral("pdffonts"), {pdf}).split('\n', Qt::SkipEmptyParts);
        QVERIFY(fonts.size() > 2);
        for (int i = 2; i < fonts.size(); ++i) {
            const QStringList cells = fonts[i].split(' ', Qt::SkipEmptyParts);
            QVERIFY2(cells.size() >= 5 && cells[cells.size() - 5] == QStringLiteral("yes"),
                     qPrintable(fonts[i]));
        }
    }

    void workbookReadsBack_data() {
        QTest::addColumn<QString>("name");
        QTest::newRow("xls") << QStringLiteral("r.xls");
        QTest::newRow("xlsx") << QStringLiteral("r.XLSX");
    }
    void workbookReadsBack() {
        QFETCH(QString, name);
        const query::Report report = sampleReport(3, false);
        const QString path = pf_.file(name);
        QVERIFY(exchange::writeReportWorkbook(path, report));
        const exchange::HeadingList head = exchange::readHeadings(path);
        QCOMPARE(head.status, exchange::ReadStatus::Ok);
        QCOMPARE(reg::fromGb(head.headings.front()), report.title);
        const exchange::RowList rows = exchange::readRows(path, int(report.columns.size()));
        QCOMPARE(rows.status, exchange::ReadStatus::Ok);
        const auto lines = exchange::reportLines(report);
        QCOMPARE(rows.rows.size(), lines.size());
        for (size_t r = 0; r < lines.size(); ++r)
            for (size_t c = 0; c < lines[r].size(); ++c)
                QCOMPARE(reg::fromGb(rows.rows[r][c]), lines[r][c]);
        // Subtitle, headings, a household across the first cell, the notes last.
        QCOMPARE(lines[0][0], report.subtitle);
        QCOMPARE(lines[1][3], QStringLiteral("公民身份号码"));
        QCOMPARE(lines[2][0], report.rows[0].cells[0]);
        QVERIFY(lines[2][1].isEmpty());
        QCOMPARE(lines.back()[0], QStringLiteral("制表人："));
    }

    void reportWindowSavesPdfAndWorkbook() {
        maint::ReportWindow w(sampleReport(3, false), QStringLiteral("人口变动表"), pf_.path(),
                              dialogs_);
        w.show();
        QCOMPARE(w.windowTitle(),
                 QStringLiteral("澄禾社区户籍管理系统-人口变动表   青石听雨 制作"));
        const QString pdf = pf_.file(QStringLiteral("w.pdf"));
        const QString book = pf_.file(QStringLiteral("w.xlsx"));
        const QString refused = pf_.file(QStringLiteral("no/such/folder/w.pdf"));
        dialogs_.expectSave(pdf);
        dialogs_.expectNotice(QStringLiteral("  保存成功"));
        QTest::mouseClick(find<QPushButton>(&w, QStringLiteral("保存PDF按钮")), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!w.paper().busy(), 30000);
        dialogs_.expectSave(book);
        dialogs_.expectNotice(QStringLiteral("  导出成功"));
        QTest::mouseClick(find<QPushButton>(&w, QStringLiteral("保存表格按钮")), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!w.paper().busy(), 30000);
        // A place that cannot be written is said, not reported as saved.
        dialogs_.expectSave(refused);
        dialogs_.expectWarning(QStringLiteral("PDF文件未能写入所选位置！"));
        QTest::mouseClick(find<QPushButton>(&w, QStringLiteral("保存PDF按钮")), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!w.paper().busy(), 30000);
        QVERIFY(reg::files::size(pdf) > 0 && reg::files::size(book) > 0);
        QVERIFY(!QFile::exists(refused));
    }

    void reportWindowMasksIdentityAndRecordsEachPaper() {
        query::Report report = sampleReport(2, false);
        int n = 0;
        for (auto& row : report.rows)
            if (row.kind == query::ReportRow::Kind::Data)
                row.cells[3] = QStringLiteral("11010119800101%1").arg(1000 + n++);
        maint::ReportWindow w(report, QStringLiteral("花名册"), pf_.path(), dialogs_);
        reg::files::remove(pf_.file(reg::history::kFileName));  // earlier tests' papers
        const QString whole = pf_.file(QStringLiteral("whole.xls"));
        const QString masked = pf_.file(QStringLiteral("masked.xls"));
        for (const QString& path : {whole, masked}) {
            // Ticked, the identity numbers keep their first six and last four only.
            find<QCheckBox>(&w, QStringLiteral("隐藏身份证号中间位复选框"))
                ->setChecked(path == masked);
            dialogs_.expectSave(path);
            dialogs_.expectNotice(QStringLiteral("  导出成功"));
            QTest::mouseClick(find<QPushButton>(&w, QStringLiteral("保存表格按钮")),
                              Qt::LeftButton);
            QTRY_VERIFY_WITH_TIMEOUT(!w.paper().busy(), 30000);
            const exchange::RowList rows = exchange::readRows(path, int(report.columns.size()));
            QCOMPARE(rows.rows.size(), exchange::reportLines(report).size());
            const QString first = reg::fromGb(rows.rows[3][3]);
            QCOMPARE(first, path == masked ? QStringLiteral("110101********1000")
                                           : QStringLiteral("110101198001011000"));
        }
        // Each paper saved is on record: what, where, how many persons.
        const auto facts = reg::history::entries(pf_.path());
        QCOMPARE(facts.size(), size_t(2));
        QCOMPARE(reg::history::accessWhat(facts[0]), QStringLiteral("花名册"));
        QCOMPARE(reg::history::accessWhere(facts[0]), masked);
        QCOMPARE(reg::history::accessWhere(facts[1]), whole);
    }

    void statisticsButtonsOpenThePapers() {
        exchange::StatisticsWindow s(registerPath(), dialogs_);
        s.show();
        QTRY_VERIFY_WITH_TIMEOUT(!s.counting(), 30000);
        const query::Period year = query::yearPeriod(QDate::currentDate().year());
        struct Case {
            QString button, title;
            std::optional<query::Report> report;
        };
        const std::vector<Case> cases{
            {QStringLiteral("人口变动表按钮"), QStringLiteral("人口变动表"),
             query::changeReport(pf_.path(), registerPath(), year)},
            {QStringLiteral("变动登记簿按钮"), QStringLiteral("变动登记簿"),
             query::changeBook(pf_.path(), registerPath(), year)},
        };
        for (const Case& c : cases) {
            // Opened when the register gives the paper, refused with a word when it does not.
            if (!c.report) dialogs_.expectWarning(kNoReport);
            QTest::mouseClick(find<QPushButton>(&s, c.button), Qt::LeftButton);
            maint::ReportWindow* w = nullptr;
            for (auto* r : s.findChildren<maint::ReportWindow*>())
                if (r->windowTitle().contains(c.title)) w = r;
            QCOMPARE(w != nullptr, c.report.has_value());
            if (w) QCOMPARE(w->report().title, c.report->title);
        }
        QTest::mouseClick(find<QPushButton>(&s, QStringLiteral("花名册按钮")), Qt::LeftButton);
        auto* roster = s.findChild<maint::RosterWindow*>();
        QVERIFY(roster && roster->isVisible());
        QCOMPARE(roster->windowTitle(),
                 QStringLiteral("澄禾社区户籍管理系统-花名册   青石听雨 制作"));

        // The default columns ticked in order; 下移 moves the first after the second.
        auto choice = roster->choice();
        QVERIFY(choice);
        QCOMPARE(choice->columns, query::defaultRosterColumns());
        QCOMPARE(choice->persons, query::RosterChoice::Persons::Registered);
        QVERIFY(!find<QRadioButton>(roster, QStringLiteral("查询结果单选钮"))->isEnabled());
        QTest::mouseClick(find<QPushButton>(roster, QStringLiteral("下移按钮")), Qt::LeftButton);
        std::vector<int> moved = query::defaultRosterColumns();
        std::swap(moved[0], moved[1]);
        QCOMPARE(roster->choice()->columns, moved);
        // An address prefix chosen but not typed, and no column ticked, are refused.
        find<QRadioButton>(roster, QStringLiteral("地址开头单选钮"))->setChecked(true);
        dialogs_.expectWarning(QStringLiteral("请输入地址开头，例如“青石村1组”！"));
        QVERIFY(!roster->choice());
        find<QRadioButton>(roster, QStringLiteral("整个户籍单选钮"))->setChecked(true);
        auto* list = find<QListWidget>(roster, QStringLiteral("列列表框"));
        for (int i = 0; i < list->count(); ++i) list->item(i)->setCheckState(Qt::Unchecked);
        dialogs_.expectWarning(QStringLiteral("请至少勾选一列！"));
        QVERIFY(!roster->choice());
    }

    void resultMenuOpensTheRosterOnTheResult() {
        maint::InfoWindow w(pf_.path(), dialogs_);
        auto* print = find<QAction>(find<QTreeWidget>(&w, QStringLiteral("树型框")),
                                    QStringLiteral("打印花名册"));
        dialogs_.expectWarning(QStringLiteral("请先查询，花名册列出查询结果中的人员！"));
        print->trigger();
        QVERIFY(!w.findChild<maint::RosterWindow*>());
        // A result of the whole register on show, as a query leaves it.
        QVERIFY(QFile::copy(registerPath(), pf_.file(reg::names::kQueryResult)));
        w.setRegisterView(false);
        print->trigger();
        auto* roster = w.findChild<maint::RosterWindow*>();
        QVERIFY(roster);
        const auto choice = roster->choice();
        QCOMPARE(choice->persons, query::RosterChoice::Persons::Given);
        QCOMPARE(choice->given.size(), size_t(60));
        QCOMPARE(choice->given.front().size(), size_t(reg::kFieldCount));
        w.setRegisterView(true);
    }

    void resultMenuExportsWithTheIdentityMiddleHidden() {
        maint::InfoWindow w(pf_.path(), dialogs_);
        auto* masked = find<QAction>(find<QTreeWidget>(&w, QStringLiteral("树型框")),
                                     QStringLiteral("导出查询结果隐藏身份证号"));
        dialogs_.expectWarning(QStringLiteral("请先查询，再导出查询结果！"));
        masked->trigger();
        QVERIFY(QFile::copy(registerPath(), pf_.file(reg::names::kQueryResult)));
        w.setRegisterView(false);
        find<QPushButton>(&w, QStringLiteral("导出按钮"))->setEnabled(true);  // a query listed
        const QString book = pf_.path() + "/masked.xls";
        dialogs_.expectSave(book);
        masked->trigger();
        QVERIFY(dialogs_.done());
        const exchange::RowList rows = exchange::readRows(book, reg::kFieldCount);
        QCOMPARE(rows.rows.size(), size_t(60));
        int numbers = 0;
        for (const auto& row : rows.rows) {
            const QString id = reg::fromGb(row[reg::F公民身份号码 - 1]);
            if (id.isEmpty()) continue;
            ++numbers;
            QVERIFY2(id.mid(6, id.size() - 10) == QString(id.size() - 10, '*'), qPrintable(id));
        }
        QVERIFY(numbers > 0);
        QVERIFY(!find<QPushButton>(&w, QStringLiteral("导出按钮"))->isEnabled());
        w.setRegisterView(true);
    }
};

QTEST_MAIN(TestReports)
#include "tst_reports.moc"

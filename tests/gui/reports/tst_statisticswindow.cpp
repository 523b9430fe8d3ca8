// The statistics window opened from the import/export window: what it counts, its period
// picker, and what its two buttons write.
#include <QApplication>
#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>

#include "common/lookup.h"
#include "common/programfolder.h"
#include "common/scripteddialogs.h"
#include "core/register/text.h"
#include "core/register/workfiles.h"
#include "core/workbook/workbookreader.h"
#include "gui/exchange/exchangewindow.h"
#include "gui/reports/statisticswindow.h"
#include "samplegen.h"

using exchange::StatisticsWindow;
using hjtest::find;

class TestStatisticsWindow : public QObject {
    Q_OBJECT

    hjtest::ProgramFolder pf_;
    hjtest::ScriptedDialogs dialogs_;

    StatisticsWindow* open(exchange::ExchangeWindow& from) {
        auto* button = find<QPushButton>(&from, QStringLiteral("统计报表按钮"));
        [&] { QCOMPARE(button->geometry(), QRect(410, 200, 90, 30)); }();
        QTest::mouseClick(button, Qt::LeftButton);
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* s = qobject_cast<StatisticsWindow*>(w); s && s->isVisible()) return s;
        return nullptr;
    }

  private slots:
    void init() {
        QVERIFY(sample::writeRegister(reg::pathIn(pf_.path(), reg::names::kRegister), 3000, 11));
    }
    void cleanup() {
        const QString problems = dialogs_.takeProblems();
        QVERIFY2(problems.isEmpty(), qPrintable(problems));
    }

    void countsThePeriodPicked() {
        exchange::ExchangeWindow from(pf_.path(), dialogs_);
        from.show();
        StatisticsWindow* w = open(from);
        QVERIFY(w);
        QTRY_VERIFY_WITH_TIMEOUT(!w->counting(), 30000);
        QCOMPARE(w->windowTitle(), QStringLiteral("澄禾社区户籍管理系统-统计报表   青石听雨 制作"));
        // Those who died or moved away are counted beside the persons here, not among them.
        const query::Statistics& now = *w->statistics();
        QCOMPARE(now.persons + now.deregistered + now.notYetHere, 3000L);
        QVERIFY(now.deregistered > 0);
        QVERIFY(find<QLabel>(w, QStringLiteral("透明标签S5"))->text().isEmpty());

        find<QDateEdit>(w, QStringLiteral("日期框S1"))->setDate(QDate(2024, 6, 30));
        find<QSpinBox>(w, QStringLiteral("数字框S1"))->setValue(2023);
        find<QComboBox>(w, QStringLiteral("组合框S1"))->setCurrentIndex(1);  // quarters
        find<QComboBox>(w, QStringLiteral("组合框S2"))->setCurrentIndex(3);
        QTRY_VERIFY_WITH_TIMEOUT(!w->counting(), 30000);
        QCOMPARE(w->statistics()->period.first, QDate(2023, 10, 1));
        QCOMPARE(w->statistics()->period.last, QDate(2023, 12, 31));
        QCOMPARE(w->statistics()->reference, QDate(2024, 6, 30));
        // No change history: a past date rests on the change fields, and the window says so.
        QCOMPARE(find<QLabel>(w, QStringLiteral("透明标签S5"))->text(),
                 QStringLiteral("没有变更记录，按户籍变动情况推算"));

        const QString book = pf_.file(QStringLiteral("统计.xls"));
        dialogs_.expectSave(book);
        dialogs_.expectNotice(QStringLiteral("  导出成功"));
        QTest::mouseClick(find<QPushButton>(w, QStringLiteral("导出报表按钮")), Qt::LeftButton);
        const auto head = exchange::readHeadings(book);
        QCOMPARE(head.status, exchange::ReadStatus::Ok);
        QCOMPARE(reg::fromGb(head.headings.at(1)), QStringLiteral("2023年10月1日至2023年12月31日"));

        const QString png = pf_.file(QStringLiteral("统计.png"));
        dialogs_.expectSave(png);
        dialogs_.expectNotice(QStringLiteral("  保存成功"));
        QTest::mouseClick(find<QPushButton>(w, QStringLiteral("保存图表按钮")), Qt::LeftButton);
        QVERIFY(QImage(png).width() > 1000);

        from.close();  // takes the statistics window with it
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        for (QWidget* t : QApplication::topLevelWidgets())
            QVERIFY(!qobject_cast<StatisticsWindow*>(t));
    }

    void unreadableFileWarns() {
        QVERIFY(pf_.write(QStringLiteral("x.wav"), "not a register"));
        dialogs_.expectWarning(QStringLiteral("所选文件不是户籍数据文件，无法统计！"));
        StatisticsWindow w(pf_.file(QStringLiteral("x.wav")), dialogs_);
        const auto counted = [&w] { QTRY_VERIFY_WITH_TIMEOUT(!w.counting(), 30000); };
        counted();
        QCOMPARE(w.statistics()->persons, 0L);
        // Said once: turning the pickers does not say it again, until the file has been read.
        auto* kind = w.findChild<QComboBox*>(QStringLiteral("组合框S1"));
        kind->setCurrentIndex(0);
        kind->setCurrentIndex(1);
        counted();
        QVERIFY(sample::writeRegister(pf_.file(QStringLiteral("x.wav")), 10, 1));
        kind->setCurrentIndex(0);
        counted();
        QCOMPARE(w.statistics()->persons, 10L);
        QVERIFY(pf_.write(QStringLiteral("x.wav"), "not a register"));
        dialogs_.expectWarning(QStringLiteral("所选文件不是户籍数据文件，无法统计！"));
        kind->setCurrentIndex(1);
        counted();
    }

    void goesWithTheWindowItWasOpenedFrom() {
        // As the main window deletes a working window still open when the program ends.
        auto* from = new exchange::ExchangeWindow(pf_.path(), dialogs_);
        from->show();
        StatisticsWindow* w = open(*from);
        QVERIFY(w);
        QTRY_VERIFY_WITH_TIMEOUT(!w->counting(), 30000);
        delete from;
        for (QWidget* t : QApplication::topLevelWidgets())
            QVERIFY(!qobject_cast<StatisticsWindow*>(t));
    }
};

QTEST_MAIN(TestStatisticsWindow)
#include "tst_statisticswindow.moc"

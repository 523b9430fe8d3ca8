// The import/export window driven through its controls: the lists, the import and export with
// their messages, progress bars and button states, and the close paths.
#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <functional>

#include "common/programfolder.h"
#include "common/scripteddialogs.h"
#include "common/typing.h"
#include "common/workbookfacts.h"
#include "core/edit/healthreport.h"
#include "core/edit/transfer.h"
#include "core/register/files.h"
#include "core/register/person.h"
#include "core/register/replacement.h"
#include "core/register/workfiles.h"
#include "core/workbook/workbookreader.h"
#include "gui/exchange/duplicatewindow.h"
#include "gui/exchange/exchangewindow.h"
#include "gui/exchange/importpreview.h"
#include "gui/exchange/resultexport.h"
#include "gui/history/historywindow.h"
#include "samplegen.h"

using namespace reg;
using exchange::ExchangeWindow;
namespace msg = exchange::msg;
using hjtest::click;
using hjtest::ProgramFolder;

namespace {

template <class T = QWidget>
T* find(const QWidget* w, const char* name) {
    T* c = w->findChild<T*>(QString::fromUtf8(name));
    if (!c) qFatal("no control %s", name);
    return c;
}

// 户籍检查 reads the register off the window's thread: a click, then the wait for its end.
void check(ExchangeWindow* w) {
    QSignalSpy finished(&w->healthCheck(), &ui::Background::finished);
    click(w, "户籍检查B1");
    QVERIFY(finished.wait(30000));
}

// 查找重复 clicked, the finder's scan waited for.
exchange::DuplicateWindow* openFinder(ExchangeWindow* w) {
    click(w, "查找重复按钮");
    exchange::DuplicateWindow* finder = nullptr;
    for (QWidget* top : QApplication::topLevelWidgets())
        if (auto* d = qobject_cast<exchange::DuplicateWindow*>(top); d && d->isVisible())
            finder = d;
    if (finder && !QTest::qWaitFor([finder] { return !finder->scanner().busy(); }, 30000))
        return nullptr;
    return finder;
}

QStringList lines(const QListWidget* list) {
    QStringList out;
    for (int i = 0; i < list->count(); ++i) out << list->item(i)->text();
    return out;
}

}  // namespace

class TestExchangeWindow : public QObject {
    Q_OBJECT

    ProgramFolder* pf_ = nullptr;
    hjtest::ScriptedDialogs* dialogs_ = nullptr;
    ExchangeWindow* window_ = nullptr;

  private slots:
    void init() {
        pf_ = new ProgramFolder;
        dialogs_ = new hjtest::ScriptedDialogs;
        window_ = new ExchangeWindow(pf_->path(), *dialogs_);
        window_->setAnimationStep(1);
        window_->show();
    }
    void cleanup() {
        QVERIFY2(dialogs_->done(), qPrintable(dialogs_->pendingText()));
        delete window_;
        delete dialogs_;
        delete pf_;
    }

    void headingsAreListedWithTheirColumnNumbers() {
        const QString book = pf_->path() + "/in.xls";
        QVERIFY(xtest::writeBook(book, {{"Sheet1", {{"姓名", "说明", "序号"}}}}));
        dialogs_->expectOpen(book);
        click(window_, "浏览A1");
        auto* list = find<QListWidget>(window_, "列表框A1");
        QCOMPARE(lines(list), QStringList({"姓名", "说明", "序号"}));
        QCOMPARE(list->item(2)->data(Qt::UserRole).toInt(), 3);
        QCOMPARE(find<QLineEdit>(window_, "编辑框A1")->text(), book);
        QCOMPARE(dialogs_->fileRequests().back().filter, QStringLiteral("*.xls *.xlsx"));

        // Cancelling the dialog goes on with the workbook chosen before.
        dialogs_->expectOpen(QString());
        click(window_, "浏览A1");
        QCOMPARE(find<QLineEdit>(window_, "编辑框A1")->text(), book);
        QCOMPARE(list->count(), 3);
    }

    void workbooksThatCannotBeListedSaySo() {
        QStringList wide;
        for (int i = 0; i < 27; ++i) wide << QStringLiteral("列%1").arg(i);
        const QString book = pf_->path() + "/wide.xls";
        QVERIFY(xtest::writeBook(book, {{"Sheet1", {wide}}}));
        dialogs_->expectOpen(book);
        dialogs_->expectWarning(msg::kTooManyColumns);
        click(window_, "浏览A1");
        QCOMPARE(find<QListWidget>(window_, "列表框A1")->count(), 0);

        QVERIFY(pf_->write("text.xls", "not a workbook"));
        dialogs_->expectOpen(pf_->file("text.xls"));
        dialogs_->expectWarning(msg::kOpenWorkbook);
        click(window_, "浏览A1");
        // With no headings listed the import refuses to run.
        dialogs_->expectWarning(msg::kOpenWorkbook);
        click(window_, "开始导入A1");
    }

    void importingTwiceFindsEveryPersonAgain() {
        std::vector<sample::Person> people = sample::generate(3, 5);
        std::vector<QStringList> rows;
        QStringList head;
        for (const std::string& n : fieldNames()) head << fromGb(n);
        rows.push_back(head);
        for (const auto& p : people) {
            QStringList row;
            for (const std::string& v : p) row << fromGb(v);
            rows.push_back(row);
        }
        const QString book = pf_->path() + "/twice.xls";
        QVERIFY(xtest::writeBook(book, {{"Sheet1", rows}}));
        dialogs_->expectOpen(book);
        click(window_, "浏览A1");
        dialogs_->expectOpen(pf_->file(names::kRegister));
        click(window_, "浏览A2");
        dialogs_->expectNotice(msg::kImported);
        click(window_, "开始导入A1");
        if (window_->findChild<exchange::ImportPreview*>()) click(window_, "全部导入A1");
        QCOMPARE(int(xtest::records(pf_->file(names::kRegister)).size()), 3);

        struct Step {
            const char* button;
            QString notice;
        };
        const Step steps[] = {
            {"跳过已有人员A1", QStringLiteral("没有新的人员需要导入，户籍数据没有改变！")},
            {"更新已有人员A1", edit::msg::kChanged}};
        for (const Step& step : steps) {
            if (step.notice == edit::msg::kChanged) {  // the workbook now says more of person 2
                rows[2][F备注 - 1] = QStringLiteral("新备注");
                QVERIFY(xtest::writeBook(book, {{"Sheet1", rows}}));
            }
            click(window_, "开始导入A1");
            auto* preview = window_->findChild<exchange::ImportPreview*>();
            QVERIFY(preview);
            int known = 0;
            for (const auto& f : preview->check().findings)
                known += f.kind == exchange::ImportFinding::Kind::SameIdentity;
            QCOMPARE(known, 3);
            if (step.notice != edit::msg::kChanged) {
                // The saved findings name persons: on record like an export.
                const QString report = pf_->path() + "/findings.xls";
                dialogs_->expectSave(report);
                click(preview, "保存报告A1");
                QCOMPARE(history::accessWhere(history::entries(pf_->path()).front()), report);
            }
            dialogs_->expectNotice(step.notice);
            click(window_, step.button);
            const auto rs = xtest::records(pf_->file(names::kRegister));
            QCOMPARE(int(rs.size()), 3);
            for (size_t i = 0; i < 3; ++i)
                QCOMPARE(fromGb(rs[i][F备注 - 1]), i == 1 && step.notice == edit::msg::kChanged
                                                       ? QStringLiteral("新备注")
                                                       : fromGb(people[i][F备注 - 1]));
            QCoreApplication::processEvents();
        }

        // Known persons updated and a new one added: one import to the clerk, one undo for both.
        const auto before = xtest::records(pf_->file(names::kRegister));
        rows[3][F备注 - 1] = QStringLiteral("又一新备注");
        QStringList newcomer = rows[1];
        newcomer[F序号 - 1] = QStringLiteral("900");
        newcomer[F公民身份号码 - 1] = QStringLiteral("110101199001011237");
        newcomer[F姓名 - 1] = QStringLiteral("欧阳新");
        rows.push_back(newcomer);
        QVERIFY(xtest::writeBook(book, {{"Sheet1", rows}}));
        click(window_, "开始导入A1");
        dialogs_->expectNotice(msg::kImported);
        click(window_, "更新已有人员A1");
        QCOMPARE(int(xtest::records(pf_->file(names::kRegister)).size()), 4);
        const auto target = exchange::undoTarget(pf_->path());
        QVERIFY(target && target->action == history::Action::Import);
        const QString question = exchange::undoQuestion(pf_->path(), *target);
        QVERIFY2(question.contains(QStringLiteral("更新已有人员 1 人")), qPrintable(question));
        {
            // The update is named in the history as the import's, not as a batch's.
            maint::HistoryWindow h(pf_->path(), *dialogs_);
            auto* list = find<QAbstractItemView>(&h, "记录列表");
            QStringList remarks;
            for (int r = 0; r < list->model()->rowCount(); ++r)
                remarks << list->model()->index(r, 4).data().toString();
            QVERIFY2(
                remarks.contains(
                    QStringLiteral("导入时更新（表格文件 %1）").arg(QFileInfo(book).fileName())),
                qPrintable(remarks.join('|')));
        }
        dialogs_->expectQuestion(question, true);
        dialogs_->expectNotice(exchange::msg::kUndone);
        click(window_, "撤销按钮");
        QCOMPARE(xtest::records(pf_->file(names::kRegister)), before);
    }

    void registerFieldsAreListed() {
        dialogs_->expectOpen(pf_->file(names::kRegister));
        click(window_, "浏览A2");
        QStringList expected;
        for (const std::string& n : fieldNames()) expected << fromGb(n);
        QCOMPARE(lines(find<QListWidget>(window_, "列表框A2")), expected);
        dialogs_->expectOpen(pf_->file("CHSYSCFG.wav"));
        click(window_, "浏览A2");
        QCOMPARE(find<QListWidget>(window_, "列表框A2")->count(), 0);
    }

    void importAppendsWithAnimationAndButtonState() {
        const QString book = pf_->path() + "/in.xls";
        QVERIFY(xtest::writeBook(
            book, {{"Sheet1", {{"序号", "姓名", "性别", "民族"}, {"3", "张三", "女", "汉族"}}}}));
        dialogs_->expectOpen(book);
        click(window_, "浏览A1");
        dialogs_->expectOpen(pf_->file(names::kRegister));
        click(window_, "浏览A2");
        auto* button = find<QPushButton>(window_, "开始导入A1");
        auto* bar = find<QProgressBar>(window_, "进度条A1");
        bool enabledAtBox = true;
        int barAtBox = -1;
        dialogs_->atBox = [&] {
            enabledAtBox = button->isEnabled();
            barAtBox = bar->value();
        };
        dialogs_->expectNotice(msg::kImported);
        click(window_, "开始导入A1");
        // The row breaks the entry rules: the preview lets the clerk import it all the same.
        click(window_, "全部导入A1");
        QVERIFY(!enabledAtBox);
        QCOMPARE(barAtBox, 100);
        QVERIFY(button->isEnabled());
        QCOMPARE(bar->value(), 0);
        const auto rs = xtest::records(pf_->file(names::kRegister));
        QCOMPARE(int(rs.size()), 1);
        QCOMPARE(rs[0][F性别 - 1], std::string("2"));
        QCOMPARE(rs[0][F民族 - 1], std::string("1"));

        // A register that is no register: the Part's message, the button stays usable.
        QVERIFY(pf_->write("bad.wav", "nothing"));
        dialogs_->expectOpen(pf_->file("bad.wav"));
        click(window_, "浏览A2");
        enabledAtBox = false;
        dialogs_->expectWarning(msg::kOpenRegister);
        click(window_, "开始导入A1");
        QVERIFY(enabledAtBox);
        QCOMPARE(int(xtest::records(pf_->file(names::kRegister)).size()), 1);
    }

    void exportWritesTheChosenRegister() {
        QVERIFY(sample::writeRegister(pf_->file(names::kRegister), 40, 9, true));
        dialogs_->expectOpen(pf_->file(names::kRegister));
        click(window_, "浏览B1");
        QCOMPARE(find<QLineEdit>(window_, "编辑框B1")->text(), pf_->file(names::kRegister));
        auto* button = find<QPushButton>(window_, "开始导出B1");
        auto* bar = find<QProgressBar>(window_, "进度条B1");
        bool enabledAtBox = true;
        int barAtBox = -1;
        dialogs_->atBox = [&] {
            enabledAtBox = button->isEnabled();
            barAtBox = bar->value();
        };
        const QString book = pf_->path() + "/out.xls";
        dialogs_->expectSave(book);
        click(window_, "开始导出B1");
        QVERIFY(!enabledAtBox);
        QCOMPARE(barAtBox, 100);
        QVERIFY(button->isEnabled());
        QCOMPARE(bar->value(), 0);
        QVERIFY(files::exists(book));
        const auto& request = dialogs_->fileRequests().back();
        QCOMPARE(request.filter, QStringLiteral("*.xls;;*.xlsx"));
        QCOMPARE(request.defaultSuffix, QStringLiteral("xls"));
    }

    void exportFailuresKeepTheButtonEnabled() {
        auto* button = find<QPushButton>(window_, "开始导出B1");
        bool enabledAtBox = false;
        dialogs_->atBox = [&] { enabledAtBox = button->isEnabled(); };
        dialogs_->expectWarning(msg::kChooseRegister);
        click(window_, "开始导出B1");
        QVERIFY(enabledAtBox);

        window_->setSpreadsheetFactory([] { return std::unique_ptr<exchange::Spreadsheet>(); });
        dialogs_->expectOpen(pf_->file(names::kRegister));
        click(window_, "浏览B1");
        dialogs_->expectWarning(msg::kNoSpreadsheet);
        click(window_, "开始导出B1");
        QVERIFY(button->isEnabled());
        QVERIFY(!files::exists(pf_->file(names::kExportCopy)));
    }

    void resultExportShowsItsProgressBarOnlyWhileItRuns() {
        QVERIFY(sample::writeRegister(pf_->file(names::kQueryResult), 12, 4, true));
        QProgressBar bar(window_);
        bar.hide();
        bool shownAtBox = false;
        int valueAtBox = -1;
        dialogs_->atBox = [&] {
            shownAtBox = bar.isVisible();
            valueAtBox = bar.value();
        };
        const QString book = pf_->path() + "/result.xls";
        dialogs_->expectSave(book);
        exchange::exportResult(pf_->path(), *dialogs_, &bar);
        QVERIFY(shownAtBox);
        QCOMPARE(valueAtBox, 100);
        QVERIFY(!bar.isVisible());
        QCOMPARE(bar.value(), 0);
        QVERIFY(files::exists(book));
        QVERIFY(!files::exists(pf_->file(names::kQueryResult)));
        QVERIFY(!files::exists(pf_->file(names::kSorted)));

        // Without the spreadsheet the bar never shows.
        shownAtBox = true;
        dialogs_->expectWarning(msg::kNoSpreadsheet);
        exchange::exportResult(pf_->path(), *dialogs_, &bar,
                               [] { return std::unique_ptr<exchange::Spreadsheet>(); });
        QVERIFY(!shownAtBox);
    }

    void healthCheckReportsAndChangesNothing() {
        auto* button = find<QPushButton>(window_, "户籍检查B1");
        QCOMPARE(button->geometry(), QRect(410, 160, 90, 30));
        // With 编辑框B1 empty the program folder's register is checked; an empty one is sound.
        dialogs_->expectNotice(QStringLiteral("户籍检查完成：共检查0条记录，未发现问题。"));
        check(window_);

        std::vector<sample::Person> people = sample::generate(3, 5);
        people[1][F公民身份号码 - 1].back() ^= 1;
        for (int pos = 1; pos <= kFieldCount; ++pos)
            if (pos != F序号 && pos != F房屋详址 && pos != F备注)
                people[2][size_t(pos - 1)] = codeTableOf(pos) ? "0" : "";
        std::swap(people[0], people[2]);
        QVERIFY(sample::writeRegister(pf_->file(names::kRegister), people));
        const QByteArray before = pf_->read(names::kRegister);
        bool enabledAtBox = true;
        int barAtBox = -1;
        dialogs_->atBox = [&] {
            enabledAtBox = button->isEnabled();
            barAtBox = find<QProgressBar>(window_, "进度条B1")->value();
        };
        const QString book = pf_->path() + "/check.xls";
        const QString summary = QStringLiteral(
            "户籍检查完成：共检查3条记录，发现1处问题，其中\r\n    身份号码：1处\r\n"
            "    日期：0处\r\n    重复登记：0处\r\n    户主与户：0处\r\n"
            "另有空记录1条（已清空的记录），仅供参考。");
        dialogs_->expectSave(book);
        dialogs_->expectNotice(summary);
        check(window_);
        QVERIFY(!enabledAtBox);
        QCOMPARE(barAtBox, 100);
        QVERIFY(button->isEnabled());
        QCOMPARE(pf_->read(names::kRegister), before);
        QCOMPARE(dialogs_->fileRequests().back().filter, QStringLiteral("*.xls;;*.xlsx"));
        // The finding first, the placeholder (stored first) after it.
        const auto rows = exchange::readRows(book, 5).rows;
        QCOMPARE(int(rows.size()), 2);
        QCOMPARE(rows[0][0], std::string("2"));
        QCOMPARE(fromGb(rows[0][3]), QStringLiteral("身份号码"));
        QVERIFY(fromGb(rows[0][4]).contains(QStringLiteral("校验码")));
        QCOMPARE(rows[1][0], std::string("3"));
        QCOMPARE(fromGb(rows[1][3]), QStringLiteral("空记录"));

        // A file that is no register, and a report that cannot be written.
        dialogs_->expectOpen(pf_->file(names::kPassword));
        click(window_, "浏览B1");
        dialogs_->expectWarning(msg::kChooseRegister);
        check(window_);
        QVERIFY(button->isEnabled());
        dialogs_->expectOpen(pf_->file(names::kRegister));
        click(window_, "浏览B1");
        dialogs_->expectSave(pf_->path() + "/no/such/folder/check.xls");
        dialogs_->expectWarning(msg::kSaveFailed);
        dialogs_->expectNotice(summary);
        check(window_);
    }

    void healthCheckLeavesTheWindowResponsive() {
        QVERIFY(sample::writeRegister(pf_->file(names::kRegister), 20000, 7, true));
        const exchange::RegisterHealth expected =
            exchange::checkRegisterFile(pf_->file(names::kRegister));
        if (!expected.findings.empty()) dialogs_->expectSave(QString());
        dialogs_->expectNotice(exchange::healthSummary(expected));
        auto* button = find<QPushButton>(window_, "户籍检查B1");
        QSignalSpy finished(&window_->healthCheck(), &ui::Background::finished);
        click(window_, "户籍检查B1");
        // The click has returned with the check under way; the window's events are served.
        QVERIFY(!button->isEnabled());
        QVERIFY(dialogs_->shown().empty());
        bool servedWhileBusy = false;
        QTimer::singleShot(0, window_, [&] {
            servedWhileBusy = window_->healthCheck().busy() && !button->isEnabled();
        });
        QVERIFY(finished.wait(30000));
        QVERIFY(servedWhileBusy);
        QVERIFY(button->isEnabled());
    }

    void duplicateFinderDismissesMergesAndUndoes() {
        std::vector<sample::Person> people = sample::generate(6, 11);
        // One person entered twice with the same 序号 (a workbook imported twice), another
        // under a homophone of the name.
        sample::Person twin = people[0], homophone = people[1];
        twin[F工作单位 - 1] = toGb(QStringLiteral("新单位"));
        people[1][F姓名 - 1] = toGb(QStringLiteral("张晓明"));
        homophone[F姓名 - 1] = toGb(QStringLiteral("张小明"));
        homophone[F序号 - 1] = std::string(2, '9');
        homophone[F公民身份号码 - 1].clear();
        people.push_back(std::move(twin));
        people.push_back(std::move(homophone));
        QVERIFY(sample::writeRegister(pf_->file(names::kRegister), people));
        auto* finder = openFinder(window_);
        QVERIFY(finder);
        auto* list = find<QTableWidget>(finder, "重复列表");
        QCOMPARE(list->rowCount(), 2);
        QCOMPARE(list->item(0, 1)->text(), QStringLiteral("身份号码相同"));
        QCOMPARE(list->item(1, 1)->text(), QStringLiteral("姓名同音，出生日期相同"));
        // Not one person: gone, and still gone when the finder opens again.
        list->selectRow(1);
        QVERIFY(list->item(1, 3)->text().startsWith(QStringLiteral("张小明")));
        click(finder, "不是同一人按钮");
        QCOMPARE(list->rowCount(), 1);
        click(finder, "关闭按钮");
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        finder = openFinder(window_);
        list = find<QTableWidget>(finder, "重复列表");
        QCOMPARE(list->rowCount(), 1);

        // Merged with 乙's 工作单位: one record left of the two, and the undo brings both back.
        auto* work = find<QComboBox>(finder, "取值框13");
        QVERIFY(!finder->findChild<QComboBox*>(QStringLiteral("取值框07")));  // the names agree
        work->setCurrentIndex(1);
        dialogs_->expectQuestion(finder->mergeQuestion(0), true);
        dialogs_->expectNotice(edit::msg::kChanged);
        click(finder, "合并按钮");
        QTRY_VERIFY(!finder->scanner().busy());
        QCOMPARE(list->rowCount(), 0);
        auto merged = xtest::records(pf_->file(names::kRegister));
        QCOMPARE(merged.size(), people.size() - 1);
        QCOMPARE(std::count_if(merged.begin(), merged.end(),
                               [&](const auto& r) {
                                   return r[F公民身份号码 - 1] == people[0][F公民身份号码 - 1];
                               }),
                 std::ptrdiff_t(1));
        QVERIFY(std::find(merged.begin(), merged.end(), people[6]) != merged.end());
        const auto target = exchange::undoTarget(pf_->path());
        QVERIFY(target);
        dialogs_->expectQuestion(exchange::undoQuestion(pf_->path(), *target), true);
        dialogs_->expectNotice(exchange::msg::kUndone);
        click(window_, "撤销按钮");
        auto undone = xtest::records(pf_->file(names::kRegister));
        std::sort(undone.begin(), undone.end());
        std::sort(people.begin(), people.end());
        QCOMPARE(undone, people);
        QTRY_COMPARE(list->rowCount(), 1);  // the open finder sees the undo
    }

    void duplicateFinderSaysWhenThereIsNothing() {
        QVERIFY(sample::writeRegister(pf_->file(names::kRegister), 30, 5));
        dialogs_->expectNotice(exchange::dupmsg::kNone);
        auto* finder = openFinder(window_);
        QCOMPARE(find<QTableWidget>(finder, "重复列表")->rowCount(), 0);
        QVERIFY(!find<QPushButton>(finder, "合并按钮")->isEnabled());
    }

    void closePathsRemoveWorkingFiles() {
        QSignalSpy closed(window_, &ExchangeWindow::closed);
        QVERIFY(pf_->write(names::kExportCopy, "x"));
        QVERIFY(pf_->write(names::kExportSorted, "x"));
        click(window_, "关闭");
        QCOMPARE(closed.count(), 1);
        QVERIFY(!window_->isVisible());
        QVERIFY(!files::exists(pf_->file(names::kExportCopy)));
        QVERIFY(!files::exists(pf_->file(names::kExportSorted)));
    }
};

QTEST_MAIN(TestExchangeWindow)
#include "tst_exchangewindow.moc"

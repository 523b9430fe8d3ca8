// The change history, the safety copies and the undo of the last restore or import, driven
// through the real windows.
#include <sqlite3.h>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDirIterator>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTableWidget>
#include <QTest>
#include <QTreeWidget>

#include "common/crashops.h"
#include "common/lookup.h"
#include "common/programfolder.h"
#include "common/scripteddialogs.h"
#include "common/typing.h"
#include "common/workbookfacts.h"
#include "core/edit/business.h"
#include "core/edit/registereditor.h"
#include "core/edit/transfer.h"
#include "core/register/autobackup.h"
#include "core/register/files.h"
#include "core/register/history.h"
#include "core/register/replacement.h"
#include "core/register/retention.h"
#include "core/register/safetycopy.h"
#include "core/register/workfiles.h"
#include "gui/exchange/exchangewindow.h"
#include "gui/history/historywindow.h"
#include "gui/info/infowindow.h"
#include "gui/shell/passwordwindow.h"
#include "samplegen.h"

using namespace reg;
namespace history = reg::history;
using hjtest::click;
using hjtest::find;

namespace {

// Yes to every question; file dialogs answer from the queue; every box is kept.
hjtest::ScriptedDialogs answering() {
    return hjtest::ScriptedDialogs(hjtest::ScriptedDialogs::Mode::YesToAll);
}

// Selects member `child` of the first household that has more than one.
void selectPerson(const maint::InfoWindow& w, int child) {
    auto* tree = find<QTreeWidget>(&w, QStringLiteral("树型框"));
    int top = 0;
    while (tree->topLevelItem(top)->childCount() < 2) ++top;
    QTreeWidgetItem* item = tree->topLevelItem(top)->child(child);
    tree->setCurrentItem(item);
    emit tree->itemPressed(item, 0);
}

void fill(const maint::InfoWindow& w, const crashops::Record& v) {
    for (int pos = 1; pos <= kFieldCount; ++pos) {
        if (codeTableOf(pos)) {
            const QString name =
                QStringLiteral("组合框%1%2").arg(pos, 2, 10, QChar('0')).arg(pos % 10);
            find<QComboBox>(&w, name)->setCurrentIndex(std::stoi(v[size_t(pos - 1)]));
        } else {
            find<QLineEdit>(&w, QStringLiteral("编辑框%1").arg(pos, 2, 10, QChar('0')))
                ->setText(fromGb(v[size_t(pos - 1)]));
        }
    }
}

// Lists the workbook's headings and the register's fields, then imports.
void import(exchange::ExchangeWindow& w, hjtest::ScriptedDialogs& d, const QString& book,
            const QString& reg) {
    w.setAnimationStep(0);
    d.expectOpen(book);
    d.expectOpen(reg);
    click(w, "浏览A1");
    click(w, "浏览A2");
    click(w, "开始导入A1");
}

}  // namespace

class TestHistory : public QObject {
    Q_OBJECT

    // A program folder with 30 generated persons, a backup of 12 others and a workbook of two.
    struct Village {
        hjtest::ProgramFolder pf;
        QString backup = pf.file(QStringLiteral("旧.bak"));
        QString book = pf.file(QStringLiteral("新户.xls"));
        Village() {
            sample::writeRegister(pf.file(names::kRegister), 30, 5);
            sample::writeRegister(backup, 12, 6);
            xtest::Sheet rows(1);
            for (int pos = 1; pos <= kFieldCount; ++pos) rows[0] << fromGb(fieldName(pos));
            for (const auto& serial : {"501", "502"}) {
                rows.emplace_back();
                for (const auto& value : crashops::newHead(serial)) rows.back() << fromGb(value);
            }
            xtest::writeBook(book, {{QStringLiteral("sheet1"), rows}});
        }
        QString path() const { return pf.path(); }
        QString registerPath() const { return pf.file(names::kRegister); }
    };

  private slots:
    void eachActionWritesItsEntry_data() {
        QTest::addColumn<QString>("action");
        QTest::addColumn<int>("expected");  // history::Action
        QTest::addColumn<bool>("values");   // before and after recorded
        QTest::addColumn<bool>("copy");     // a safety copy named
        for (auto [name, action, values, copy] :
             {std::tuple{"add", history::Action::Add, true, false},
              {"modify", history::Action::Modify, true, false},
              {"delete", history::Action::Delete, true, false},
              {"clear", history::Action::Clear, true, false},
              {"import", history::Action::Import, false, true},
              {"restore", history::Action::Restore, false, true},
              {"undo", history::Action::Undo, false, true},
              {"password", history::Action::Password, false, false}})
            QTest::newRow(name) << QString::fromLatin1(name) << int(action) << values << copy;
    }

    void eachActionWritesItsEntry() {
        QFETCH(QString, action);
        QFETCH(int, expected);
        QFETCH(bool, values);
        QFETCH(bool, copy);
        Village v;
        hjtest::ScriptedDialogs d = answering();
        const long before = history::recordCount(v.registerPath());
        std::string serial;
        {
            maint::InfoWindow w(v.path(), d);
            if (action == "add") {
                selectPerson(w, 0);
                fill(w, crashops::newHead("900"));
                click(w, "添加按钮");
                serial = "900";
            } else if (action == "modify" || action == "delete" || action == "clear") {
                selectPerson(w, 1);
                serial = find<QLineEdit>(&w, QStringLiteral("编辑框01"))->text().toStdString();
                find<QLineEdit>(&w, QStringLiteral("编辑框13"))->setText(QStringLiteral("农机站"));
                click(w, action == "modify"   ? "修改按钮"
                         : action == "delete" ? "删除按钮"
                                              : "清空按钮");
            } else if (action == "restore") {
                d.expectOpen(v.backup);
                click(w, "恢复按钮");
            }
        }
        if (action == "import" || action == "undo") {
            exchange::ExchangeWindow x(v.path(), d);
            import(x, d, v.book, v.registerPath());
            if (action == "undo") click(x, "撤销按钮");
        }
        if (action == "password") {
            shell::PasswordWindow p(v.path(), d);
            find<QLineEdit>(&p, QStringLiteral("编辑框1"))->setText(QStringLiteral("7402"));
            find<QLineEdit>(&p, QStringLiteral("编辑框2"))->setText(QStringLiteral("秘密7777"));
            find<QLineEdit>(&p, QStringLiteral("编辑框3"))->setText(QStringLiteral("秘密7777"));
            click(p, "修改按钮");
        }
        QVERIFY2(!d.boxes().filter(QStringLiteral("W:")).size(), qPrintable(d.boxes().join('|')));

        const auto all = history::entries(v.path(), true);
        QCOMPARE(all.size(), size_t(action == "undo" ? 2 : 1));
        const history::Entry& e = all.front();
        QCOMPARE(int(e.action), expected);
        QVERIFY(!e.time.isEmpty());
        QCOMPARE(e.serial, serial);
        QCOMPARE(!e.before.empty() || !e.after.empty(), values);
        QCOMPARE(!e.copy.isEmpty(), copy);
        if (copy) {
            QVERIFY(files::exists(safety::pathOf(v.path(), e.copy)));
            QCOMPARE(e.countBefore, action == "undo" ? before + 2 : before);
            QCOMPARE(e.countAfter, history::recordCount(v.registerPath()));
            QVERIFY(!e.file.isEmpty());
        }
        if (action == "password") {
            // The fact only: nothing of the password anywhere in the history file.
            const QByteArray file = xtest::fileBytes(v.pf.file(history::kFileName));
            QVERIFY(!file.contains(QStringLiteral("秘密7777").toUtf8()));
            QVERIFY(!file.contains(QByteArrayLiteral("7777")));
        }
        if (action == "modify") {
            QCOMPARE(fromGb(e.after[F工作单位 - 1]), QStringLiteral("农机站"));
            QVERIFY(e.before[F工作单位 - 1] != e.after[F工作单位 - 1]);
        }
    }

    void safetyCopiesKeepTheNewestTwenty() {
        Village v;
        QStringList made;
        for (int i = 0; i < safety::kKept + 3; ++i) made << safety::keep(v.path()).value_or("?");
        QCOMPARE(safety::copies(v.path()), made.mid(3));
        // Each one a complete register that opens.
        QCOMPARE(hjtest::records(safety::pathOf(v.path(), made.back())),
                 hjtest::records(v.registerPath()));
    }

    void undoPutsBackWhatRestoreAndImportReplaced() {
        for (const bool restoring : {true, false}) {
            Village v;
            hjtest::ScriptedDialogs d = answering();
            const auto original = hjtest::records(v.registerPath());
            exchange::ExchangeWindow x(v.path(), d);
            auto* undo = find<QPushButton>(&x, QStringLiteral("撤销按钮"));
            QVERIFY(!undo->isEnabled());
            if (restoring) {
                maint::InfoWindow w(v.path(), d);
                d.expectOpen(v.backup);
                click(w, "恢复按钮");
                exchange::ExchangeWindow again(v.path(), d);
                QVERIFY(find<QPushButton>(&again, QStringLiteral("撤销按钮"))->isEnabled());
                click(again, "撤销按钮");
            } else {
                import(x, d, v.book, v.registerPath());
                QVERIFY(undo->isEnabled());
                click(x, "撤销按钮");
                QVERIFY(!undo->isEnabled());
            }
            QCOMPARE(hjtest::records(v.registerPath()), original);
            // The question names what and when; the replaced register is kept too.
            const QString question = d.boxes().filter(QStringLiteral("将撤销")).join('|');
            QVERIFY2(question.contains(restoring ? QStringLiteral("旧.bak")
                                                 : QStringLiteral("新户.xls")),
                     qPrintable(question));
            QVERIFY(question.contains(history::entries(v.path()).back().time));
            QVERIFY(d.boxes().contains(QStringLiteral("N:  撤销成功")));
            QCOMPARE(safety::copies(v.path()).size(), 2);
        }
    }

    void aDamagedHistoryIsSetAsideAndANewOneStarted() {
        // A damaged file, and a foreign one: a register is a good SQLite file, but no history.
        for (const bool foreign : {false, true}) {
            Village v;
            const QString path = v.pf.file(history::kFileName);
            QVERIFY(foreign ? files::copy(v.registerPath(), path)
                            : v.pf.write(history::kFileName, "not a database at all"));
            const QByteArray was = xtest::fileBytes(path);
            hjtest::ScriptedDialogs d = answering();
            {
                maint::InfoWindow w(v.path(), d);
                selectPerson(w, 0);
                fill(w, crashops::newHead("900"));
                click(w, "添加按钮");
            }
            QCOMPARE(d.boxes().size(), 3);  // the warning, the question, the notice
            QVERIFY(d.boxes()[0].startsWith(QStringLiteral("W:变更记录文件已损坏")));
            const QString aside =
                d.boxes()[0].section(QStringLiteral("“"), 1).section(QStringLiteral("”"), 0, 0);
            QCOMPARE(xtest::fileBytes(v.pf.file(aside)), was);
            QCOMPARE(history::entries(v.path()).size(), size_t(1));
        }
    }

    void aHistoryThatTakesNothingStopsTheChange() {
        Village v;
        hjtest::ScriptedDialogs d = answering();
        QVERIFY(history::settle(v.path()).setAside.isEmpty());
        // The history refuses every new entry, as a full disk would.
        {
            sqlite3* db = nullptr;
            sqlite3_open(QFile::encodeName(v.pf.file(history::kFileName)).constData(), &db);
            sqlite3_exec(db,
                         "CREATE TRIGGER full BEFORE INSERT ON entries BEGIN "
                         "SELECT RAISE(ABORT, 'full'); END;",
                         nullptr, nullptr, nullptr);
            sqlite3_close(db);
        }
        const auto original = hjtest::records(v.registerPath());
        {
            maint::InfoWindow w(v.path(), d);
            selectPerson(w, 0);
            fill(w, crashops::newHead("900"));
            click(w, "添加按钮");
            d.expectOpen(v.backup);
            click(w, "恢复按钮");
        }
        exchange::ExchangeWindow x(v.path(), d);
        import(x, d, v.book, v.registerPath());
        QCOMPARE(hjtest::records(v.registerPath()), original);
        QCOMPARE(d.boxes().filter(QStringLiteral("W:")),
                 QStringList({QStringLiteral("W:添加失败！"), QStringLiteral("W:数据恢复失败！"),
                              QStringLiteral("W:导入失败，户籍数据没有改变！")}));
    }

    // A business is one line of the history, its records its parts; 撤销此次业务 on its line
    // undoes it through the information-management window, once.
    void aBusinessIsOneLineAndUndoneFromTheWindow() {
        Village v;
        hjtest::ScriptedDialogs d = answering();
        const QString registerPath = v.pf.file(names::kRegister);
        const auto original = hjtest::records(registerPath);
        maint::InfoWindow w(v.path(), d);
        auto* tree = find<QTreeWidget>(&w, QStringLiteral("树型框"));
        std::optional<edit::Plan> plan;
        for (int i = 0; !plan && i < tree->topLevelItemCount(); ++i) {
            const QTreeWidgetItem* household = tree->topLevelItem(i);
            if (household->childCount() < 2) continue;
            edit::Request r;
            r.business = edit::Business::ChangeHead;
            r.household = toGb(household->text(0));
            r.newHead = toGb(household->child(1)->text(0).section(QLatin1Char(':'), 0, 0));
            RecordStore store;
            QVERIFY(store.OpenTable(registerPath));
            plan = edit::plan(store, r, "20991231").plan;
            QVERIFY(store.CloseAllTables());
        }
        QVERIFY(plan);
        QVERIFY(w.runBusiness(*plan).done());
        QVERIFY(hjtest::records(registerPath) != original);

        w.findChild<QAction*>(QStringLiteral("查看变更记录"))->trigger();
        maint::HistoryWindow* h = nullptr;
        for (QWidget* top : QApplication::topLevelWidgets())
            if (auto* found = qobject_cast<maint::HistoryWindow*>(top)) h = found;
        QVERIFY(h);
        h->showSerial(QString());
        auto* list = find<QAbstractItemView>(h, QStringLiteral("记录列表"));
        auto* undo = find<QPushButton>(h, QStringLiteral("撤销业务按钮"));
        const auto rowOf = [&](const QString& action) {
            for (int row = 0; row < list->model()->rowCount(); ++row)
                if (list->model()->index(row, 1).data().toString() == action) return row;
            return -1;
        };
        const int business = rowOf(QStringLiteral("户籍业务"));
        QVERIFY(business >= 0);
        QCOMPARE(list->model()->index(business, 4).data().toString(), fromGb(plan->title));
        QCOMPARE(list->model()->rowCount(), int(plan->records.size()) + 1);
        QCOMPARE(list->model()->index(0, 4).data().toString(), QStringLiteral("户籍业务的一项"));
        list->setCurrentIndex(list->model()->index(0, 0));
        QVERIFY(!undo->isEnabled());
        list->setCurrentIndex(list->model()->index(business, 0));
        QVERIFY(undo->isEnabled());

        d.reset();
        undo->click();
        QCOMPARE(d.boxes().size(), 2);
        QVERIFY(d.boxes().front().startsWith(QStringLiteral("Q:")));
        QCOMPARE(d.boxes().back(), QStringLiteral("N:  撤销成功"));
        QCOMPARE(hjtest::records(registerPath), original);
        QVERIFY(rowOf(QStringLiteral("撤销户籍业务")) >= 0);

        // Once only.
        d.reset();
        list->setCurrentIndex(list->model()->index(rowOf(QStringLiteral("户籍业务")), 0));
        undo->click();
        QCOMPARE(d.boxes().size(), 1);
        QVERIFY(d.boxes().front().contains(QStringLiteral("撤销过了")));
        h->close();
    }

    void theWindowListsFiltersAndShowsOneEntry() {
        Village v;
        hjtest::ScriptedDialogs d = answering();
        {
            maint::InfoWindow w(v.path(), d);
            selectPerson(w, 0);
            find<QLineEdit>(&w, QStringLiteral("编辑框13"))->setText(QStringLiteral("农机站"));
            click(w, "修改按钮");
            fill(w, crashops::newHead("900"));
            click(w, "添加按钮");
        }
        maint::HistoryWindow h(v.path(), d);
        auto* list = find<QAbstractItemView>(&h, QStringLiteral("记录列表"));
        QCOMPARE(list->model()->rowCount(), 2);
        QCOMPARE(list->model()->index(0, 2).data().toString(), QStringLiteral("900"));
        // 韩 and 寒 sound alike: the name filter matches as the query's "==" does.
        find<QLineEdit>(&h, QStringLiteral("编辑框H1"))->setText(QStringLiteral("寒900"));
        click(h, "筛选按钮");
        QCOMPARE(list->model()->rowCount(), 1);
        list->setCurrentIndex(list->model()->index(0, 0));
        auto* values = find<QTableWidget>(&h, QStringLiteral("对照表"));
        QCOMPARE(values->item(F姓名 - 1, 2)->text(), QStringLiteral("韩900"));
        const QString xls = v.pf.file(QStringLiteral("记录.xls"));
        d.expectSave(xls);
        QSignalSpy exported(&h.exporter(), &ui::Background::finished);
        click(h, "导出按钮");
        QVERIFY(exported.wait(30000));
        QVERIFY(d.boxes().contains(QStringLiteral("N:  导出成功")));
        const QString facts = xtest::xlrdFacts(xls);
        if (!facts.isEmpty()) QVERIFY2(facts.contains(QStringLiteral("韩900")), qPrintable(facts));
    }

    // A backup and exports are facts of their own: what, where, how many persons. They are no
    // changes (an undo does not count them) and the kind filter finds them.
    void dataLeavingIsOnRecordAndFilteredByKind() {
        Village v;
        hjtest::ScriptedDialogs d = answering();
        {
            exchange::ExchangeWindow x(v.path(), d);
            import(x, d, v.book, v.registerPath());
        }
        const QString bak = v.pf.file(QStringLiteral("今天.bak"));
        {
            maint::InfoWindow w(v.path(), d);
            d.expectSave(bak);
            click(w, "备份按钮");
        }
        const QString xls = v.pf.file(QStringLiteral("全部.xls"));
        QVERIFY(exchange::exportRegister(v.path(), v.registerPath(), [&] { return xls; }, {}).ok);
        QVERIFY2(!d.boxes().filter(QStringLiteral("W:")).size(), qPrintable(d.boxes().join('|')));

        const auto all = history::entries(v.path());
        QCOMPARE(all.size(), size_t(3));
        const struct {
            history::Action action;
            QString what, where;
        } expected[] = {{history::Action::Export, QStringLiteral("全部数据"), xls},
                        {history::Action::Backup, QStringLiteral("全部数据"), bak}};
        for (size_t i = 0; i < std::size(expected); ++i) {
            QCOMPARE(all[i].action, expected[i].action);
            QCOMPARE(history::accessWhat(all[i]), expected[i].what);
            QCOMPARE(history::accessWhere(all[i]), expected[i].where);
            QCOMPARE(all[i].countAfter, 32L);
        }
        const auto target = history::undoable(v.path());
        QVERIFY(target);
        QVERIFY(!exchange::undoQuestion(v.path(), *target).contains(QStringLiteral("此后所做")));

        maint::HistoryWindow h(v.path(), d);
        auto* list = find<QAbstractItemView>(&h, QStringLiteral("记录列表"));
        auto* kind = find<QComboBox>(&h, QStringLiteral("类别框H1"));
        for (auto [name, rows] : {std::pair{"导出与打印", 1},
                                  {"备份数据", 1},
                                  {"导入、恢复与撤销", 1},
                                  {"登记变更", 0},
                                  {"全部类别", 3}}) {
            kind->setCurrentText(QString::fromUtf8(name));
            QCOMPARE(list->model()->rowCount(), rows);
        }
    }

    void oldCopiesAndEntriesGoByTheKeepingLimits() {
        Village v;
        const QDateTime now = QDateTime::currentDateTime();
        const auto copyMade = [&](int daysAgo) {
            const QString name = QStringLiteral("户籍数据-%1.wav")
                                     .arg(now.addDays(-daysAgo).toString("yyyyMMdd-HHmmss-zzz"));
            QDir().mkpath(pathIn(v.path(), safety::kCopyFolder));
            QFile f(safety::pathOf(v.path(), name));
            f.open(QIODevice::WriteOnly);
            f.write("x");
            return name;
        };
        const QString old = copyMade(400), month = copyMade(40), fresh = copyMade(3);
        copyMade(0);  // no time in its name is never due
        QFile::rename(safety::pathOf(v.path(), safety::copies(v.path()).back()),
                      safety::pathOf(v.path(), QStringLiteral("户籍数据-无日期.wav")));
        QVERIFY(history::recordAccess(v.path(), history::Action::Export, "全部数据", "a.xls", 30));
        QVERIFY(history::recordAccess(v.path(), history::Action::Export, "全部数据", "b.xls", 30));
        sqlite3* db = nullptr;
        sqlite3_open(qPrintable(pathIn(v.path(), history::kFileName)), &db);
        const QString backdated =
            QStringLiteral("UPDATE entries SET time = '%1' WHERE id = 1")
                .arg(now.addYears(-6).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
        QCOMPARE(sqlite3_exec(db, qPrintable(backdated), nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(db);

        const struct {
            retention::Policy policy;
            QStringList copies;
            long entries;
        } cases[] = {{{365, 0}, {old}, 0},
                     {{30, 10}, {old, month}, 0},
                     {{0, 5}, {}, 1},
                     {{1, 1}, {old, month, fresh}, 1}};
        for (const auto& c : cases) {
            const retention::Due due = retention::due(v.path(), c.policy, now);
            QCOMPARE(due.copies, c.copies);
            QCOMPARE(due.entries, c.entries);
        }
        QVERIFY(!retention::setPolicy(v.path(), {-1, 0}));

        // The window shows the defaults and removes, after asking, what the new limits make due.
        hjtest::ScriptedDialogs d;
        maint::HistoryWindow h(v.path(), d);
        auto* days = find<QSpinBox>(&h, QStringLiteral("保存天数框"));
        auto* years = find<QSpinBox>(&h, QStringLiteral("保存年数框"));
        QCOMPARE(days->value(), 365);
        QCOMPARE(years->text(), QStringLiteral("一直保存"));
        days->setValue(30);
        years->setValue(5);
        const QString question =
            QStringLiteral(
                "将删除30天以前的2个安全副本和%1以前的1条变更记录，删除后不能恢复。确定吗？")
                .arg(now.addYears(-5).toString(QStringLiteral("yyyy-MM-dd")));
        d.expectQuestion(question, false);
        click(h, "保存期限按钮");
        QCOMPARE(days->value(), 365);  // said no: nothing saved, nothing removed
        QCOMPARE(safety::copies(v.path()).size(), 4);
        days->setValue(30);
        years->setValue(5);
        d.expectQuestion(question, true);
        d.expectNotice(QStringLiteral("保存期限已设定：安全副本保存30天，变更记录保存5年。"));
        click(h, "保存期限按钮");
        QCOMPARE(safety::copies(v.path()),
                 (QStringList{fresh, QStringLiteral("户籍数据-无日期.wav")}));
        QCOMPARE(history::entries(v.path()).size(), size_t(1));
        QCOMPARE(retention::policy(v.path()), (retention::Policy{30, 5}));
        QVERIFY2(d.done(), qPrintable(d.pendingText()));
    }

    void anErasedPersonIsNowhereInTheProgramFolder() {
        Village v;
        hjtest::ScriptedDialogs d = answering();
        // Kept beside the register: a safety copy and an automatic backup made while the person
        // was still there.
        QVERIFY(safety::keep(v.path()).has_value());
        QCOMPARE(autobackup::backUp(v.path(), QDateTime::currentDateTime(), true).result,
                 autobackup::Outcome::Result::Written);
        long long business = 0;
        {
            maint::InfoWindow w(v.path(), d);
            // A business on the household changes every member's record, the person's too.
            auto* tree = find<QTreeWidget>(&w, QStringLiteral("树型框"));
            int top = 0;
            while (tree->topLevelItem(top)->childCount() < 2) ++top;
            edit::Request r;
            r.business = edit::Business::ChangeHead;
            r.household = toGb(tree->topLevelItem(top)->text(0));
            r.newHead = toGb(tree->topLevelItem(top)->child(1)->text(0).section(':', 0, 0));
            RecordStore store;
            QVERIFY(store.OpenTable(v.registerPath()));
            const auto plan = edit::plan(store, r, "20991231").plan;
            QVERIFY(store.CloseAllTables());
            QVERIFY(plan && w.runBusiness(*plan).done());
            for (const history::Entry& e : history::entries(v.path()))
                if (e.action == history::Action::Business) business = e.id;
            selectPerson(w, 0);
            find<QLineEdit>(&w, QStringLiteral("编辑框13"))->setText(QStringLiteral("农机站"));
            click(w, "修改按钮");
            selectPerson(w, 1);
            click(w, "删除按钮");
        }
        const history::Entry deleted = history::entries(v.path(), true).front();
        QCOMPARE(deleted.action, history::Action::Delete);
        const QByteArray id = QByteArray::fromStdString(deleted.before[F公民身份号码 - 1]);
        QCOMPARE(id.size(), 18);
        const auto holding = [&] {
            QStringList found;
            QDirIterator it(v.path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
            while (it.hasNext()) {
                QFile f(it.next());
                if (f.open(QIODevice::ReadOnly) && f.readAll().contains(id))
                    found << it.fileInfo().fileName();
            }
            return found;
        };
        QVERIFY(holding().size() >= 3);

        maint::HistoryWindow h(v.path(), d);
        auto* list = find<QTreeView>(&h, QStringLiteral("记录列表"));
        // A person still in the register is not erased.
        list->setCurrentIndex(list->model()->index(list->model()->rowCount() - 1, 0));
        d.reset();
        click(h, "彻底清除按钮");
        QCOMPARE(d.boxes().size(), 1);
        QVERIFY(d.boxes()[0].startsWith(QStringLiteral("W:请先在列表中选中")));
        list->setCurrentIndex(list->model()->index(0, 0));
        d.reset();
        click(h, "彻底清除按钮");
        QCOMPARE(d.boxes().size(), 3);
        QVERIFY2(d.boxes()[2].startsWith(QStringLiteral("N:彻底清除完成")),
                 qPrintable(d.boxes().join('|')));
        QCOMPARE(holding(), QStringList());
        const auto all = history::entries(v.path(), true);
        QCOMPARE(all.front().action, history::Action::Erase);
        QVERIFY(!history::accessWhat(all.front()).contains(fromGb(deleted.name)));
        QCOMPARE(all[1].name, toGb(history::kErased));
        QVERIFY(all[1].before.empty());
        // The business can no longer be put back as a whole (its parts lost the person's values).
        edit::RegisterEditor editor(v.path());
        QCOMPARE(editor.businessUndoRefusal(business),
                 QStringLiteral("此次业务的变更记录不完整，不能撤销！"));
    }
};

QTEST_MAIN(TestHistory)
#include "tst_history.moc"

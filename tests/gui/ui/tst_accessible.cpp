// Every window as a screen reader meets it: each control the keyboard reaches, and each box or
// list it reads, says a name; and the keyboard moves through a window as it is read.
#include <QAccessible>
#include <QTest>
#include <optional>

#include "gui/exchange/duplicatewindow.h"
#include "gui/exchange/exchangewindow.h"
#include "gui/history/historywindow.h"
#include "gui/info/businesswindow.h"
#include "gui/info/infowindow.h"
#include "gui/info/quickfind.h"
#include "gui/reports/certificatelogwindow.h"
#include "gui/reports/certificatewindow.h"
#include "gui/reports/reportwindow.h"
#include "gui/reports/statisticswindow.h"
#include "gui/shell/fixture.h"
#include "gui/shell/passwordwindow.h"
#include "samplegen.h"

namespace {

// The window of that name, shown, over a program folder holding a small register.
std::unique_ptr<QWidget> open(ShellFixture& f, const QString& name) {
    const QString folder = f.folder.path(), book = f.file(reg::names::kRegister);
    if (!sample::writeRegister(book, 12, 3)) return nullptr;
    std::unique_ptr<QWidget> w;
    if (name == "login") w = std::make_unique<shell::LoginWindow>(f.session);
    if (name == "main") w = std::make_unique<shell::MainWindow>(f.session);
    if (name == "password") w = std::make_unique<shell::PasswordWindow>(folder, f.dialogs);
    if (name == "info") w = std::make_unique<maint::InfoWindow>(folder, f.dialogs);
    if (name == "exchange") w = std::make_unique<exchange::ExchangeWindow>(folder, f.dialogs);
    if (name == "statistics") w = std::make_unique<exchange::StatisticsWindow>(book, f.dialogs);
    if (name == "history") w = std::make_unique<maint::HistoryWindow>(folder, f.dialogs);
    if (name == "quickfind") w = std::make_unique<maint::QuickFindWindow>(book);
    if (name.startsWith(QStringLiteral("business"))) {
        // Each page of the business window on the first household, the editor outliving it.
        static std::optional<edit::RegisterEditor> editor;
        editor.emplace(folder);
        std::string address;
        reg::RecordStore store;
        if (store.OpenTable(book)) address = store.ReadField(reg::F房屋详址);
        static_cast<void>(store.CloseAllTables());  // only read
        auto business = std::make_unique<maint::BusinessWindow>(*editor, f.dialogs);
        business->open(edit::Business(name.back().digitValue()), address);
        w = std::move(business);
    }
    if (name == "certificate") {
        f.dialogs.expectNotice(maint::certmsg::kFirstUse);
        w = std::make_unique<maint::CertificateWindow>(folder, f.dialogs, "1");
    }
    if (name == "duplicates") {
        // A person entered twice, so that the pair's comparison and choices are shown.
        std::vector<sample::Person> people = sample::generate(12, 3);
        sample::Person twin = people[0];
        twin[reg::F备注 - 1].push_back('x');
        people.push_back(std::move(twin));
        if (!sample::writeRegister(book, people)) return nullptr;
        static std::optional<edit::RegisterEditor> editor;
        editor.emplace(folder);
        auto finder = std::make_unique<exchange::DuplicateWindow>(*editor, f.dialogs);
        auto* scan = &finder->scanner();
        if (!QTest::qWaitFor([scan] { return !scan->busy(); }, 30000)) return nullptr;
        w = std::move(finder);
    }
    if (name == "certificatelog")
        w = std::make_unique<maint::CertificateLogWindow>(folder, f.dialogs);
    if (name == "report") {
        query::Report r{QStringLiteral("人口变动情况统计表"),
                        QStringLiteral("2026年"),
                        {{QStringLiteral("项目")}, {QStringLiteral("合计")}},
                        {},
                        {},
                        false};
        r.rows.push_back({query::ReportRow::Kind::Data, {QStringLiteral("出生"), "1"}});
        w = std::make_unique<maint::ReportWindow>(r, QStringLiteral("人口变动表"), folder,
                                                  f.dialogs);
    }
    if (name == "roster") w = std::make_unique<maint::RosterWindow>(folder, book, f.dialogs);
    w->show();
    return w;
}

// Controls below `a` that a screen reader announces without a name. Rows and cells of lists,
// trees and tables are read by their own text.
void collectUnnamed(QAccessibleInterface* a, QStringList& out) {
    for (int i = 0; i < a->childCount(); ++i) {
        QAccessibleInterface* c = a->child(i);
        if (!c || c->state().invisible) continue;
        const bool view = c->role() == QAccessible::List || c->role() == QAccessible::Tree ||
                          c->role() == QAccessible::Table;
        const bool control = view || c->state().focusable || c->role() == QAccessible::ComboBox ||
                             c->role() == QAccessible::EditableText;
        if (control && c->text(QAccessible::Name).trimmed().isEmpty())
            out << c->object()->objectName() + QLatin1Char('<') + a->object()->objectName();
        if (!view) collectUnnamed(c, out);
    }
}

}  // namespace

class TestAccessible : public QObject {
    Q_OBJECT
  private slots:
    void everyControlHasAName_data() {
        QTest::addColumn<QString>("window");
        for (const char* w :
             {"login", "main", "password", "info", "exchange", "statistics", "history", "quickfind",
              "certificate", "certificatelog", "report", "roster", "duplicates"})
            QTest::newRow(w) << QString::fromUtf8(w);
        for (int b = 0; b < edit::kBusinessCount; ++b) {
            const QString name = QStringLiteral("business%1").arg(b);
            QTest::newRow(qPrintable(name)) << name;
        }
    }
    void everyControlHasAName() {
        QFETCH(QString, window);
        ShellFixture f;
        const auto w = open(f, window);
        QStringList unnamed;
        collectUnnamed(QAccessible::queryAccessibleInterface(w.get()), unnamed);
        QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join(QStringLiteral(", "))));
        if (window == "login")
            QCOMPARE(find<QLineEdit>(w.get(), u"密码编辑框")->accessibleName(),
                     QStringLiteral("登录密码"));
    }

    // Controls placed out of reading order are put back in it.
    void keyboardFollowsTheLayout_data() {
        QTest::addColumn<QString>("window");
        QTest::addColumn<QStringList>("run");
        QTest::newRow("form, its buttons, query")
            << "info"
            << QStringList{"编辑框22", "添加按钮", "删除按钮", "清空按钮", "修改按钮", "选择框101"};
        QTest::newRow("export column")
            << "exchange" << QStringList{"户籍检查B1",   "统计报表按钮", "撤销按钮", "证明记录按钮",
                                         "查找重复按钮", "自动备份按钮", "关闭"};
        QTest::newRow("the papers before the export")
            << "statistics"
            << QStringList{"人口变动表按钮", "变动登记簿按钮", "花名册按钮", "导出报表按钮"};
    }
    void keyboardFollowsTheLayout() {
        QFETCH(QString, window);
        QFETCH(QStringList, run);
        ShellFixture f;
        const auto w = open(f, window);
        QStringList chain;  // the controls the Tab key visits, in its order
        for (QWidget* c = w->nextInFocusChain(); c != w.get(); c = c->nextInFocusChain())
            if ((c->focusPolicy() & Qt::TabFocus) && !c->focusProxy() && c->isVisibleTo(w.get()))
                chain << c->objectName();
        QVERIFY2(chain.join(u' ').contains(run.join(u' ')), qPrintable(chain.join(u' ')));
    }
};

QTEST_MAIN(TestAccessible)
#include "tst_accessible.moc"

// The query as the clerk runs it in the information-management window.
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include "common/lookup.h"
#include "common/programfolder.h"
#include "common/scripteddialogs.h"
#include "core/register/files.h"
#include "core/register/person.h"
#include "core/register/text.h"
#include "core/register/workfiles.h"
#include "gui/info/infowindow.h"
#include "samplegen.h"

using namespace reg;
using maint::InfoWindow;

namespace {

using hjtest::find;

QString ask() {
    return QStringLiteral("\r\n") + QString(10, ' ') +
           QStringLiteral(
               "运算符为<==>时支持同音查询，其它运算符不支持同音查询 \r\n\r\n"
               "查询数据后，若要进行<添加>、<删除>、<清空>、<修改>操作，请单击<刷新列表> "
               "\r\n\r\n\r\n") +
           QString(30, ' ') + QStringLiteral("继续查询吗？");
}

QString found(int n) {
    return QStringLiteral("符合查询条件的记录数： %1 条 ").arg(n);
}

}  // namespace

class TestQuery : public QObject {
    Q_OBJECT

    hjtest::ProgramFolder folder;
    hjtest::ScriptedDialogs dialogs;

    // Ticks row k (1-based) and sets its item, operator and value.
    static void setRow(InfoWindow& w, int k, Field field, int op, const QString& value,
                       int entry = -1) {
        auto* sw = find<QCheckBox>(&w, QStringLiteral("选择框%1").arg(100 + k));
        if (!sw->isChecked()) QTest::mouseClick(sw, Qt::LeftButton);
        auto* item = find<QComboBox>(&w, QStringLiteral("组合框A%1").arg(k, 2, 10, QChar('0')));
        item->setCurrentIndex(field - 1);
        emit item->activated(field - 1);
        find<QComboBox>(&w, QStringLiteral("组合框B%1").arg(k, 2, 10, QChar('0')))
            ->setCurrentIndex(op - 1);
        auto* v = find<QComboBox>(&w, QStringLiteral("组合框C%1").arg(k, 2, 10, QChar('0')));
        if (entry >= 0)
            v->setCurrentIndex(entry);
        else
            v->setEditText(value);
    }

    static void run(InfoWindow& w) {
        QTest::mouseClick(find<QPushButton>(&w, "查询按钮"), Qt::LeftButton);
    }
    static QTreeWidget* tree(InfoWindow& w) { return find<QTreeWidget>(&w, "树型框"); }
    static int persons(InfoWindow& w) {
        int n = 0;
        for (int i = 0; i < tree(w)->topLevelItemCount(); ++i)
            n += tree(w)->topLevelItem(i)->childCount();
        return n;
    }
    static bool editingEnabled(InfoWindow& w) {
        for (const char* b : {"添加按钮", "删除按钮", "清空按钮", "修改按钮"})
            if (find<QPushButton>(&w, QString::fromUtf8(b))->isEnabled()) return true;
        return false;
    }

  private slots:
    void init() {
        auto people = sample::generate(400, 17);
        // Names the homophone query must and must not find.
        const char* names[] = {"张三", "章三", "张叁", "张三丰", "张 三"};
        for (int i = 0; i < 5; ++i) people[size_t(10 + i)][F姓名 - 1] = gb(names[i]);
        QVERIFY(sample::writeRegister(folder.file(names::kRegister), people));
    }
    void cleanup() {
        const QString problems = dialogs.takeProblems();
        QVERIFY2(problems.isEmpty(), qPrintable(problems));
    }

    void noRowOrAnIncompleteRowIsRefused() {
        InfoWindow w(folder.path(), dialogs);
        dialogs.expectQuestion(ask(), false);
        run(w);  // No: nothing at all happens
        dialogs.expectQuestion(ask(), true);
        dialogs.expectWarning(QStringLiteral("请选择查询项目和运算符！"));
        run(w);
        QVERIFY(!find<QPushButton>(&w, "导出按钮")->isEnabled());
        QVERIFY(w.inRegisterView());
        QTest::mouseClick(find<QCheckBox>(&w, "选择框101"), Qt::LeftButton);  // no item chosen
        dialogs.expectQuestion(ask(), true);
        dialogs.expectWarning(QStringLiteral("请选择查询项目和运算符！"));
        run(w);
        QVERIFY(!files::exists(folder.file(names::kQueryResult)));
    }

    void aResultThatCannotBeWrittenIsNoResult() {
        InfoWindow w(folder.path(), dialogs);
        const int registerPersons = persons(w);
        // Something that is no file stands where the result goes.
        QVERIFY(QDir(folder.path()).mkdir(names::kQueryResult));
        setRow(w, 1, F姓名, 1, QStringLiteral("张三"));
        dialogs.expectQuestion(ask(), true);
        dialogs.expectWarning(QStringLiteral("查询失败！查询结果无法写入。"));
        run(w);
        QVERIFY(w.inRegisterView());
        QVERIFY(editingEnabled(w));
        QCOMPARE(persons(w), registerPersons);
        QVERIFY(!find<QPushButton>(&w, "导出按钮")->isEnabled());
        QVERIFY(QDir(folder.path()).rmdir(names::kQueryResult));
    }

    void homophonesByPronunciationUntilRefresh() {
        InfoWindow w(folder.path(), dialogs);
        const int registerItems = tree(w)->topLevelItemCount();
        const int lines = find<QListWidget>(&w, "列表框")->count();
        setRow(w, 1, F姓名, 1, QStringLiteral("张三"));
        dialogs.expectQuestion(ask(), true);
        dialogs.expectNotice(found(3));
        run(w);
        QCOMPARE(persons(w), 3);
        QVERIFY(!w.inRegisterView());
        QVERIFY(!editingEnabled(w));
        QVERIFY(find<QPushButton>(&w, "导出按钮")->isEnabled());
        QVERIFY(files::exists(folder.file(names::kQueryResult)));
        QVERIFY(!files::exists(folder.file(names::kSorted)));
        QCOMPARE(find<QListWidget>(&w, "列表框")->count(), lines);  // still the whole register
        QVERIFY(tree(w)->topLevelItem(0)->isExpanded());
        // A click in the result keeps the editing buttons off.
        QTreeWidgetItem* person = tree(w)->topLevelItem(0)->child(0);
        tree(w)->setCurrentItem(person);
        emit tree(w)->itemPressed(person, 0);
        QVERIFY(!editingEnabled(w));
        // The result to a workbook: the export button stays off afterwards.
        const QString book = folder.file(QStringLiteral("result.xls"));
        dialogs.expectSave(book);
        QTest::mouseClick(find<QPushButton>(&w, "导出按钮"), Qt::LeftButton);
        QVERIFY(files::size(book) > 0);
        QVERIFY(!find<QPushButton>(&w, "导出按钮")->isEnabled());
        QVERIFY(find<QProgressBar>(&w, "进度显示")->isHidden());
        QVERIFY(!files::exists(folder.file(names::kQueryResult)));
        // Back to the register.
        QTest::mouseClick(find<QPushButton>(&w, "刷新按钮"), Qt::LeftButton);
        QVERIFY(w.inRegisterView());
        QCOMPARE(tree(w)->topLevelItemCount(), registerItems);
        QVERIFY(find<QPushButton>(&w, "修改按钮")->isEnabled());
        QVERIFY(!find<QPushButton>(&w, "导出按钮")->isEnabled());
    }

    void codedFieldsAndSeveralRows() {
        InfoWindow w(folder.path(), dialogs);
        // "2 女" chosen from the list queries the code 2; typing 女 finds nothing.
        setRow(w, 1, F性别, 1, QString(), 2);
        RecordStore s;
        QVERIFY(s.OpenTable(folder.file(names::kRegister)));
        const long women = s.CountMatching([&] { return s.ReadField(F性别) == "2"; });
        const long eighties = s.CountMatching([&] {
            const std::string b = s.ReadField(F出生日期);
            return s.ReadField(F性别) == "2" && b >= "19800101" && b <= "19891231";
        });
        QVERIFY(s.CloseAllTables());
        dialogs.expectQuestion(ask(), true);
        dialogs.expectNotice(found(int(women)));
        run(w);
        setRow(w, 1, F性别, 1, QStringLiteral("女"));
        dialogs.expectQuestion(ask(), true);
        dialogs.expectNotice(found(0));
        run(w);
        QCOMPARE(tree(w)->topLevelItemCount(), 0);
        QVERIFY(!find<QPushButton>(&w, "导出按钮")->isEnabled());
        QCOMPARE(find<QLabel>(&w, "透明标签B01")->text(), QStringLiteral("0  名"));
        // Three rows joined by and.
        setRow(w, 1, F性别, 1, QString(), 2);
        setRow(w, 2, F出生日期, 4, QStringLiteral("19800101"));
        setRow(w, 3, F出生日期, 3, QStringLiteral("19891231"));
        dialogs.expectQuestion(ask(), true);
        dialogs.expectNotice(found(int(eighties)));
        run(w);
        QCOMPARE(persons(w), int(eighties));
    }

    void largeResultsStayCollapsed() {
        InfoWindow w(folder.path(), dialogs);
        // 序号 of the generated register run 1..400: "≤" compares bytes, so count by text.
        for (int limit : {200, 201}) {
            RecordStore s;
            QVERIFY(s.OpenTable(folder.file(names::kRegister)));
            // Pick a bound whose byte-wise result has exactly `limit` records.
            std::vector<std::string> keys;
            for (long n = 1; n <= s.RecordCount(); ++n) {
                s.GoTo(n);
                keys.push_back(s.ReadField(F序号));
            }
            QVERIFY(s.CloseAllTables());
            std::sort(keys.begin(), keys.end());
            setRow(w, 1, F序号, 3, fromGb(keys[size_t(limit - 1)]));
            dialogs.expectQuestion(ask(), true);
            dialogs.expectNotice(found(limit));
            run(w);
            QCOMPARE(persons(w), limit);
            QCOMPARE(tree(w)->topLevelItem(0)->isExpanded(), limit <= 200);
        }
    }
};

QTEST_MAIN(TestQuery)
#include "tst_query.moc"

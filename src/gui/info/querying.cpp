// The query run and the display of its result in the information-management window.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>

#include "core/query/conditions.h"
#include "core/register/files.h"
#include "core/register/programfolder.h"
#include "core/register/text.h"
#include "core/register/workfiles.h"
#include "gui/info/infowindow.h"
#include "gui/info/queryrows.h"

namespace maint {

using namespace reg;

namespace {

// Larger results are shown with their households collapsed.
constexpr long kExpandLimit = 200;

QString askBeforeQuery() {
    const QString crlf = QStringLiteral("\r\n");
    return crlf + QString(10, QLatin1Char(' ')) +
           QStringLiteral("运算符为<==>时支持同音查询，其它运算符不支持同音查询 ") +
           crlf.repeated(2) +
           QStringLiteral(
               "查询数据后，若要进行<添加>、<删除>、<清空>、<修改>操作，请单击<刷新列表> ") +
           crlf.repeated(3) + QString(30, QLatin1Char(' ')) + QStringLiteral("继续查询吗？");
}

}  // namespace

std::vector<query::Row> InfoWindow::queryRows() const {
    std::vector<query::Row> rows;
    for (int k = 0; k < maint::QueryRows::kRows; ++k) {
        QComboBox* value = query_->value(k);
        const int chosen = value->currentIndex();
        const bool entryChosen = chosen >= 0 && value->currentText() == value->itemText(chosen);
        rows.push_back({query_->item(k)->currentIndex() + 1, query_->op(k)->currentIndex() + 1,
                        query::conditionText(entryChosen, toGb(value->itemText(chosen)),
                                             toGb(value->currentText()))});
    }
    return rows;
}

void InfoWindow::runQuery() {
    if (!dialogs_.question(askBeforeQuery())) return;
    files::remove(pathIn(folder_, names::kQueryResult));
    std::vector<query::Row> rows = queryRows();
    QPushButton* exportButton = query_->exportButton();
    exportButton->setEnabled(true);

    int ticked = 0;
    while (ticked < maint::QueryRows::kRows && query_->rowSwitch(ticked)->isChecked()) ++ticked;
    for (int k = ticked; k < maint::QueryRows::kRows; ++k)
        if (query_->rowSwitch(k)->isChecked()) return;  // not a leading run: nothing to do
    bool complete = ticked > 0;
    for (int k = 0; k < ticked; ++k)
        complete =
            complete && query_->item(k)->currentIndex() >= 0 && query_->op(k)->currentIndex() >= 0;
    if (!complete) {
        exportButton->setEnabled(false);
        return dialogs_.warning(QStringLiteral("请选择查询项目和运算符！"));
    }
    rows.resize(size_t(ticked));

    const bool copied =
        store_.OpenTable(pathIn(folder_, names::kRegister)) &&
        store_.CopyTo(pathIn(folder_, names::kQueryResult), query::chain(store_, std::move(rows)));
    static_cast<void>(store_.CloseAllTables());  // nothing was written to the register
    // A result that could not be written is no result: the tree, its mode and the counters stay
    // as they were; the earlier result file is gone, so nothing is left to export.
    if (!copied) {
        exportButton->setEnabled(false);
        return dialogs_.warning(QStringLiteral("查询失败！查询结果无法写入。"));
    }
    for (QPushButton* b : {add_, delete_, clear_, modify_}) b->setEnabled(false);
    setRegisterView(false);
    showResult();
}

void InfoWindow::showResult() {
    const QString sorted = pathIn(folder_, names::kSorted);
    // An unreadable result shows as an empty one.
    static_cast<void>(store_.OpenTable(pathIn(folder_, names::kQueryResult)));
    files::remove(sorted);
    if (store_.RecordCount() > 0 && store_.SortTo(sorted, [this] { return serialKey(store_); })) {
        static_cast<void>(store_.CloseAllTables());   // read only
        static_cast<void>(store_.OpenTable(sorted));  // just written; else shown empty
    }
    const long found = store_.RecordCount();
    installTree(maint::collectTree(store_), false);
    showCounts(maint::countPeople(store_));
    static_cast<void>(store_.CloseAllTables());  // read only
    query_->exportButton()->setEnabled(!view_.empty());
    if (found <= kExpandLimit) {
        tree_->expandAll();
        if (QTreeWidgetItem* first = tree_->topLevelItem(0)) tree_->scrollToItem(first);
    }
    dialogs_.notice(QStringLiteral("符合查询条件的记录数： %1 条 ").arg(found));
    files::remove(sorted);
}

}  // namespace maint

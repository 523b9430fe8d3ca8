// The ways from the information-management window's query result to paper and to a workbook
// that leaves the office: 打印花名册 in the tree's context menu opens the roster window on the
// persons on show, and the result export is offered with the identity numbers' middle hidden.
#include <QAction>
#include <QPushButton>
#include <QTreeWidget>

#include "core/register/history.h"
#include "core/register/store.h"
#include "core/register/workfiles.h"
#include "gui/exchange/resultexport.h"
#include "gui/info/infowindow.h"
#include "gui/info/queryrows.h"
#include "gui/reports/reportwindow.h"

namespace maint {

namespace {

const QString kQueryFirst = QStringLiteral("请先查询，花名册列出查询结果中的人员！");
const QString kNothingFound = QStringLiteral("查询结果中没有人员，无法打印花名册！");
const QString kExportQueryFirst = QStringLiteral("请先查询，再导出查询结果！");

}  // namespace

void InfoWindow::setUpRosterAccess() {
    auto* action = new QAction(QStringLiteral("打印花名册"), tree_);
    action->setObjectName(QStringLiteral("打印花名册"));
    connect(action, &QAction::triggered, this, [this] {
        if (inRegisterView()) return dialogs_.warning(kQueryFirst);
        // The result file holds what the grey tree shows; a store of its own leaves the
        // window's store as it is.
        reg::RecordStore result;
        std::vector<std::vector<std::string>> persons;
        if (result.OpenTable(reg::pathIn(folder_, reg::names::kQueryResult))) {
            for (long n = 1; n <= result.RecordCount(); ++n) {
                result.GoTo(n);
                if (!result.IsDeleted()) persons.push_back(reg::history::currentValues(result));
            }
            static_cast<void>(result.CloseAllTables());  // read only
        }
        if (persons.empty()) return dialogs_.warning(kNothingFound);
        openRoster(this, dialogs_, folder_, reg::pathIn(folder_, reg::names::kRegister),
                   std::move(persons));
    });
    tree_->setContextMenuPolicy(Qt::ActionsContextMenu);
    tree_->addAction(action);

    // The designed export button, with the middle of each 公民身份号码 hidden: the same rule
    // for when it can run (a query that listed someone, not exported yet).
    auto* masked = new QAction(QStringLiteral("导出查询结果（隐藏身份证号中间位）"), tree_);
    masked->setObjectName(QStringLiteral("导出查询结果隐藏身份证号"));
    connect(masked, &QAction::triggered, this, [this] {
        if (inRegisterView() || !query_->exportButton()->isEnabled())
            return dialogs_.warning(kExportQueryFirst);
        query_->exportButton()->setEnabled(false);
        exchange::exportResult(folder_, dialogs_, query_->progress(), exchange::createSpreadsheet,
                               true);
    });
    tree_->addAction(masked);
}

}  // namespace maint

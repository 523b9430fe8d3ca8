// The way from the information-management window to the counter's business: a submenu of the
// tree's context menu with an entry for each business, on the chosen person's household.
#include <QAction>
#include <QMenu>
#include <QTreeWidget>

#include "core/edit/business.h"
#include "core/edit/health.h"
#include "core/edit/registereditor.h"
#include "core/query/standing.h"
#include "core/register/person.h"
#include "core/register/text.h"
#include "gui/info/businesswindow.h"
#include "gui/info/infowindow.h"

namespace maint {

namespace {

const QString kChooseFirst = QStringLiteral("请先在左侧列表中选择一户或其中一人！");

// The tree label of a record written with these values.
std::string labelOf(const std::vector<std::string>& values) {
    return values[reg::F序号 - 1] + ":" + values[reg::F户主姓名 - 1] + ":" + values[reg::F姓名 - 1];
}

}  // namespace

void InfoWindow::setUpBusinessAccess() {
    auto* menu = new QMenu(tree_);
    menu->setObjectName(QStringLiteral("户籍业务菜单"));
    for (int b = 0; b < edit::kBusinessCount; ++b) {
        const auto business = edit::Business(b);
        QAction* action = menu->addAction(edit::businessName(business));
        action->setObjectName(edit::businessName(business));
        connect(action, &QAction::triggered, this, [this, business] { openBusiness(business); });
    }
    auto* entry = new QAction(QStringLiteral("户籍业务"), tree_);
    entry->setObjectName(QStringLiteral("户籍业务"));
    entry->setMenu(menu);
    tree_->setContextMenuPolicy(Qt::ActionsContextMenu);
    tree_->addAction(entry);
}

void InfoWindow::openBusiness(edit::Business business) {
    const QTreeWidgetItem* item = tree_->currentItem();
    if (!item) return dialogs_.warning(kChooseFirst);
    const QTreeWidgetItem* household = item->parent() ? item->parent() : item;
    auto* window = qobject_cast<BusinessWindow*>(business_.data());
    if (!window) {
        business_ = window = new BusinessWindow(editor_, dialogs_);
        window->setAttribute(Qt::WA_DeleteOnClose);
        window->applied = [this](const edit::Outcome& outcome, const edit::Plan& plan,
                                 const std::string& head) { showBusiness(outcome, plan, head); };
    }
    window->open(business, reg::toGb(household->text(0)));
    window->show();
    window->raise();
    window->activateWindow();
}

void InfoWindow::showBusiness(const edit::Outcome& outcome, const edit::Plan& plan,
                              const std::string& head) {
    // Painted as a restore is when the editor installed the whole view anew, else as the
    // single edits are, with the standing of every record the business wrote.
    if (outcome.wholeView) {
        paintTree(true);
    } else {
        const std::string today = reg::health::today();
        for (const edit::PlannedRecord& record : plan.records)
            view_.setDeregistered(labelOf(record.after), query::standingAt(record.after, today) ==
                                                             query::Standing::Deregistered);
        paint(outcome.edits);
    }
    if (outcome.counts) showCounts(*outcome.counts);
    decideAddButton(view_.empty());
    dialogs_.notice(outcome.message);
    if (head.empty()) return;
    for (int h = 0; h < tree_->topLevelItemCount(); ++h) {
        QTreeWidgetItem* top = tree_->topLevelItem(h);
        for (int p = 0; p < top->childCount(); ++p)
            if (maint::keyOf(reg::toGb(top->child(p)->text(0))) == head) {
                tree_->setCurrentItem(top->child(p));
                tree_->scrollToItem(top->child(p));
                return;
            }
    }
}

}  // namespace maint

// The way from the information-management window to the counter's business: a submenu of the
// tree's context menu with an entry for each business, on the chosen person's household.
#include <QAction>
#include <QMenu>
#include <QTreeWidget>

#include "core/edit/business.h"
#include "core/edit/registereditor.h"
#include "core/register/text.h"
#include "gui/info/businesswindow.h"
#include "gui/info/infowindow.h"

namespace maint {

namespace {

const QString kChooseFirst = QStringLiteral("请先在左侧列表中选择一户或其中一人！");

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
        window->applied = [this](const edit::Outcome& outcome, const std::string& head) {
            showBusiness(outcome, head);
        };
    }
    window->open(business, reg::toGb(household->text(0)));
    window->show();
    window->raise();
    window->activateWindow();
}

void InfoWindow::showBusiness(const edit::Outcome& outcome, const std::string& head) {
    paintOutcome(outcome);
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

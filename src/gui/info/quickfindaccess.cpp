// The way from the information-management window to quick find, beside its designed controls:
// the tree's context menu and Ctrl+F; a person chosen there is selected in the tree.
#include <QAction>
#include <QTreeWidget>

#include "core/edit/registerview.h"
#include "core/register/text.h"
#include "core/register/workfiles.h"
#include "gui/info/infowindow.h"
#include "gui/info/quickfind.h"

namespace maint {

void InfoWindow::setUpQuickFind() {
    auto* action = new QAction(QStringLiteral("快速查找"), tree_);
    action->setObjectName(QStringLiteral("快速查找"));
    action->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F));
    action->setShortcutVisibleInContextMenu(true);
    action->setShortcutContext(Qt::WindowShortcut);
    connect(action, &QAction::triggered, this, [this] {
        auto* window = qobject_cast<QuickFindWindow*>(quickFind_.data());
        if (!window) {
            quickFind_ = window =
                new QuickFindWindow(reg::pathIn(folder_, reg::names::kRegister), this);
            connect(window, &QuickFindWindow::chosen, this, &InfoWindow::selectPerson);
            // The box belongs to this window and goes with it.
            connect(this, &InfoWindow::closed, window, &QWidget::close);
        }
        window->open();
    });
    tree_->setContextMenuPolicy(Qt::ActionsContextMenu);
    tree_->addAction(action);
}

void InfoWindow::selectPerson(const QString& serial, const QString& name) {
    const std::string key = reg::toGb(serial), ending = ":" + reg::toGb(name);
    // The line of this 序号 and name; a register with a 序号 given twice (an import can bring
    // one) still leads to the right person.
    std::optional<RegisterView::Place> place, sameSerial;
    const auto& households = view_.households();
    for (std::size_t h = 0; h < households.size() && !place; ++h)
        for (std::size_t p = 0; p < households[h].persons.size(); ++p) {
            const std::string_view line = households[h].persons[p];
            if (keyOf(line) != key) continue;
            const RegisterView::Place here{int(h), int(p)};
            if (!sameSerial) sameSerial = here;
            if (line.size() >= ending.size() &&
                line.substr(line.size() - ending.size()) == ending) {
                place = here;
                break;
            }
        }
    if (!place) place = sameSerial;
    QTreeWidgetItem* item = itemAt(place);
    if (!item) {
        // A query result lists only some persons; the clerk is told how to see them all.
        dialogs_.warning(
            inRegisterView()
                ? QStringLiteral("所选人员已不在户籍数据中！")
                : QStringLiteral(
                      "所选人员不在当前列表中！请先单击<刷新列表>显示全部户籍，再查找。"));
        return;
    }
    if (QTreeWidgetItem* household = item->parent()) household->setExpanded(true);
    tree_->scrollToItem(item);
    // The same way as a click: the tree's own handler shows the record when the current item
    // changes; choosing the person already current shows it again.
    if (tree_->currentItem() == item && item->isSelected())
        showSelected();
    else
        tree_->setCurrentItem(item);
}

}  // namespace maint

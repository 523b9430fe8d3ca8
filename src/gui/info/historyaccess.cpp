// The way from the information-management window to the change history, beside its designed
// controls: the tree's context menu on a person, and Ctrl+H.
#include <QAction>
#include <QTreeWidget>

#include "core/edit/registerview.h"
#include "core/register/history.h"
#include "core/register/text.h"
#include "gui/history/historywindow.h"
#include "gui/info/entryform.h"
#include "gui/info/infowindow.h"

namespace maint {

void InfoWindow::setUpHistoryAccess() {
    // One entry of the tree's menu, and its shortcut anywhere in the window: the selected
    // person's changes, or all of them when no person is selected.
    auto* action = new QAction(QStringLiteral("查看变更记录"), tree_);
    action->setObjectName(QStringLiteral("查看变更记录"));
    action->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_H));
    action->setShortcutVisibleInContextMenu(true);
    action->setShortcutContext(Qt::WindowShortcut);
    connect(action, &QAction::triggered, this, [this] {
        const QTreeWidgetItem* item = tree_->currentItem();
        openHistory(item && item->parent()
                        ? reg::fromGb(std::string(maint::keyOf(reg::toGb(item->text(0)))))
                        : QString());
    });
    tree_->setContextMenuPolicy(Qt::ActionsContextMenu);
    tree_->addAction(action);
}

void InfoWindow::openHistory(const QString& serial) {
    auto* window = qobject_cast<HistoryWindow*>(history_.data());
    if (!window) {
        history_ = window = new HistoryWindow(folder_, dialogs_);
        window->setAttribute(Qt::WA_DeleteOnClose);
        connect(window, &HistoryWindow::undoBusinessRequested, this, &InfoWindow::undoBusiness);
    }
    window->showSerial(serial);
    history_->show();
    history_->raise();
    history_->activateWindow();
}

void InfoWindow::paintOutcome(const edit::Outcome& outcome) {
    // A query result on show gives way to the register, as after 刷新.
    if (outcome.wholeView && !inRegisterView()) return refresh();
    if (outcome.wholeView) {
        paintTree(true);
    } else {
        // A business or its undo may take persons off the register or put them back.
        markStanding(outcome.edits);
        paint(outcome.edits);
    }
    if (outcome.counts) showCounts(*outcome.counts);
    decideAddButton(view_.empty());
}

void InfoWindow::undoBusiness(long long id) {
    if (const auto why = editor_.businessUndoRefusal(id)) return dialogs_.warning(*why);
    const auto business = reg::history::entry(folder_, id);
    const QString title = business ? business->file : QString();
    if (!dialogs_.question(
            QStringLiteral("       将撤销 %1 办理的“%2”，其中的每条记录都回到办理之前的样子。"
                           "确认撤销吗？")
                .arg(business ? business->time : QString(), title)))
        return;
    const edit::Outcome undone = editor_.undoBusiness(id);
    if (!undone.done()) return dialogs_.warning(undone.message);
    paintOutcome(undone);
    form_->clear();
    if (auto* window = qobject_cast<HistoryWindow*>(history_.data())) window->reload();
    dialogs_.notice(undone.message);
}

}  // namespace maint

// The way from the information-management window to the change history, beside its designed
// controls: the tree's context menu on a person, and Ctrl+H.
#include <QAction>
#include <QMenu>
#include <QTreeWidget>

#include "maintenance/historywindow.h"
#include "maintenance/infowindow.h"
#include "maintenance/registerview.h"
#include "register/text.h"

namespace maintenance {

void InfoWindow::setUpHistoryAccess() {
    auto* shortcut = new QAction(QStringLiteral("查看变更记录"), this);
    shortcut->setObjectName(QStringLiteral("变更记录快捷键"));
    shortcut->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_H));
    shortcut->setShortcutContext(Qt::WindowShortcut);
    addAction(shortcut);
    connect(shortcut, &QAction::triggered, this, [this] { openHistory(QString()); });

    tree_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(tree_, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        QTreeWidgetItem* item = tree_->itemAt(at);
        // Only a person node names a person.
        if (!item || !item->parent()) return;
        const QString serial =
            reg::fromGb(std::string(maint::keyOf(reg::toGb(item->text(0)))));
        QMenu menu(this);
        menu.setObjectName(QStringLiteral("树型框菜单"));
        connect(menu.addAction(QStringLiteral("查看变更记录\tCtrl+H")), &QAction::triggered, this,
                [this, serial] { openHistory(serial); });
        menu.exec(tree_->viewport()->mapToGlobal(at));
    });
}

void InfoWindow::openHistory(const QString& serial) {
    auto* window = qobject_cast<HistoryWindow*>(history_.data());
    if (!window) {
        history_ = window = new HistoryWindow(folder_, dialogs_);
        window->setAttribute(Qt::WA_DeleteOnClose);
    }
    window->showSerial(serial);
    history_->show();
    history_->raise();
    history_->activateWindow();
}

}  // namespace maintenance

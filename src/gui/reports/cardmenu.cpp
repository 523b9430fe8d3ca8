#include "gui/reports/cardmenu.h"

#include <QAbstractItemView>
#include <QAction>

#include "core/register/history.h"
#include "core/register/store.h"
#include "core/register/text.h"
#include "core/register/workfiles.h"
#include "gui/reports/cardprint.h"

namespace maint {

namespace {

const QString kChooseFirst = QStringLiteral("请先在左侧列表中选择一户或其中一人！");
const QString kGone = QStringLiteral("所选的户在户籍数据中不存在！");
const QString kNotPrinted = QStringLiteral("登记表未能打印！");
const QString kNotWritten = QStringLiteral("登记表未能写入所选文件！");
const QString kSaved = QStringLiteral("  保存成功");

// The card of the current line's household; nullopt after telling the clerk why not.
std::optional<RegisterCard> currentCard(QAbstractItemView* tree, const QString& folder,
                                        ui::Dialogs& dialogs) {
    const QModelIndex index = tree->currentIndex();
    if (!index.isValid()) {
        dialogs.warning(kChooseFirst);
        return std::nullopt;
    }
    reg::RecordStore store;
    std::optional<RegisterCard> card;
    if (store.OpenTable(reg::pathIn(folder, reg::names::kRegister)))
        card = registerCardFor(store, reg::toGb(index.data().toString()), QDate::currentDate());
    static_cast<void>(store.CloseAllTables());  // read only
    if (!card) dialogs.warning(kGone);
    return card;
}

}  // namespace

void addCardActions(QWidget* window, QAbstractItemView* tree, const QString& folder,
                    ui::Dialogs& dialogs) {
    // A card names a household's persons: printed or saved, it is on record in the history.
    const auto recordLeaving = [folder](reg::history::Action kind, const RegisterCard& card,
                                        const QString& where) {
        static_cast<void>(reg::history::recordAccess(
            folder, kind, QStringLiteral("户籍登记表 ") + card.address, where,
            long(card.members.size()), {}, reg::toGb(card.headName)));
    };
    auto print = [=, &dialogs] {
        if (const auto card = currentCard(tree, folder, dialogs)) {
            QString printer;
            // A cancelled print dialog is no failure; only a printer that refused is.
            const PrintResult printed = printCard(window, *card, &printer);
            if (printed == PrintResult::Failed) dialogs.warning(kNotPrinted);
            if (printed == PrintResult::Printed)
                recordLeaving(reg::history::Action::Print, *card, printer);
        }
    };
    auto save = [=, &dialogs] {
        const auto card = currentCard(tree, folder, dialogs);
        if (!card) return;
        const QString path =
            dialogs.saveFile({QStringLiteral("本户登记表存为PDF"),
                              QStringLiteral("PDF文件 (*.pdf)"), QString(), QStringLiteral("pdf")});
        if (path.isEmpty()) return;
        if (writeCardPdf(path, *card)) {
            recordLeaving(reg::history::Action::Export, *card, path);
            dialogs.notice(kSaved);
        } else
            dialogs.warning(kNotWritten);
    };

    auto* printAction = new QAction(QStringLiteral("打印本户登记表"), tree);
    printAction->setObjectName(QStringLiteral("打印本户登记表"));
    printAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
    printAction->setShortcutVisibleInContextMenu(true);
    printAction->setShortcutContext(Qt::WindowShortcut);  // anywhere in the window
    QObject::connect(printAction, &QAction::triggered, tree, print);
    auto* saveAction = new QAction(QStringLiteral("本户登记表存为PDF"), tree);
    saveAction->setObjectName(QStringLiteral("本户登记表存为PDF"));
    QObject::connect(saveAction, &QAction::triggered, tree, save);
    // The menu lists the tree's actions, so that other entries can join it the same way.
    tree->setContextMenuPolicy(Qt::ActionsContextMenu);
    tree->addAction(printAction);
    tree->addAction(saveAction);
}

}  // namespace maint

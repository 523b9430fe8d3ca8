#pragma once
// The information-management window: the register tree, the entry form and their buttons.
#include <QPointer>
#include <QWidget>
#include <optional>

#include "core/edit/registereditor.h"
#include "core/edit/registerview.h"
#include "core/query/conditions.h"
#include "core/register/store.h"
#include "gui/ui/dialogs.h"

class QLabel;
class QListWidget;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace maint {

class FormControls;
class QueryRows;

class InfoWindow : public QWidget {
    Q_OBJECT
  public:
    InfoWindow(QString folder, ui::Dialogs& dialogs, QWidget* parent = nullptr);
    ~InfoWindow() override;

    // The register view has a white tree; a query result is shown on grey.
    bool inRegisterView() const;
    void setRegisterView(bool registerView);
    // The pre-order number of a tree item, which names the same line of the hidden list.
    int itemNumber(const QTreeWidgetItem* item) const;

    // A business the clerk confirmed, as one operation: the rules on every record as the whole
    // business leaves them, the write, the tree and counters painted, the notice or warning.
    edit::Outcome runBusiness(const edit::Plan& plan);
    // An outcome of several records painted: the whole view when it was installed anew, else
    // its edits; the counters.
    void paintOutcome(const edit::Outcome& outcome);
    // 撤销此次业务 from the change history: asked, undone (or refused, and why), painted, and
    // the history read again.
    void undoBusiness(long long id);

  signals:
    // Emitted on every way the window closes; the main window shows itself again.
    void closed();

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    // Window start-up: query rows in their first state, hints in the form, the register shown.
    void startUp();
    // Rebuilds the register order, then the tree, the hidden list and the counters.
    void rebuildAndDisplay();
    // Replaces the tree's content in one step; the hidden list mirrors it when asked to.
    void installTree(const std::vector<maint::TreeItem>& items, bool mirror);
    // Makes the tree (and the hidden list, when `mirror`) show the whole view.
    void paintTree(bool mirror);
    void showCounts(const maint::Counts& counts);
    // A person's node, grey when the person is taken off the register.
    QTreeWidgetItem* personNode(const std::string& label) const;
    // The standing of the record written with `values` for the persons these edits add or
    // relabel, before they are painted.
    void markStanding(const std::vector<maint::ViewEdit>& edits,
                      const std::vector<std::string>& values);
    // The same for edits of several records, read from the register as written.
    void markStanding(const std::vector<maint::ViewEdit>& edits);
    // A click on the tree: the selected record into the form.
    void showSelected();
    // Back to the register view.
    void refresh();
    // 添加按钮 is usable in the register view when a person is selected or the register is
    // empty.
    void decideAddButton(bool registerEmpty);

    // The query: every row's settings, the run and the display of its result.
    std::vector<query::Row> queryRows() const;
    void runQuery();
    void showResult();

    // Backup to a file of the clerk's choice, and restore from one.
    void backUp();
    void restore();
    // The same backup sealed with a passphrase: from the backup button's context menu.
    void addSealedBackup(QPushButton* backupButton);
    void backUpSealed();

    // The editing buttons.
    void addPerson();
    void modifyPerson();
    void deletePerson();
    void clearPerson();

    // The tree's selection taken away (a click on its empty space): nothing is chosen then.
    void dropSelection();
    // Makes the tree and the hidden list show the view again after these changes, and its
    // selection.
    void paint(const std::vector<maint::ViewEdit>& edits);
    void paintSelection();
    // The view's place of a tree item, and the tree item of a place.
    std::optional<maint::RegisterView::Place> placeOf(const QTreeWidgetItem* item) const;
    QTreeWidgetItem* itemAt(const std::optional<maint::RegisterView::Place>& place) const;

    // The change history: the tree's context menu on a person and Ctrl+H open its window.
    void setUpHistoryAccess();
    void openHistory(const QString& serial);

    // Quick find: the tree's context menu and Ctrl+F open its box; the person chosen there is
    // selected in the tree as by a click.
    void setUpQuickFind();
    void selectPerson(const QString& serial, const QString& name);
    QPointer<QWidget> quickFind_;  // the quick-find box, once opened
    // The counter's business: the tree's submenu 户籍业务 opens its window on the chosen
    // household; what the window had the editor write is painted here.
    void setUpBusinessAccess();
    void openBusiness(edit::Business business);
    void showBusiness(const edit::Outcome& outcome, const std::string& head);

    // 打印花名册 in the tree's context menu: the roster window on the persons of the query result
    // on show.
    void setUpRosterAccess();

    // Deletes the working files this window creates while it is open.
    void releaseWorkingFiles();

    QString folder_;
    ui::Dialogs& dialogs_;
    // Every change of the register goes through the editor; the window reads the register and
    // the view it owns.
    edit::RegisterEditor editor_{folder_};
    reg::RecordStore& store_ = editor_.store();
    maint::RegisterView& view_ = editor_.view();
    maint::FormControls* form_ = nullptr;
    maint::QueryRows* query_ = nullptr;
    QTreeWidget* tree_ = nullptr;
    QListWidget* list_ = nullptr;
    QLabel* persons_ = nullptr;
    QLabel* heads_ = nullptr;
    QPushButton *add_ = nullptr, *delete_ = nullptr, *clear_ = nullptr, *modify_ = nullptr;
    QTreeWidgetItem* justShown_ = nullptr;
    bool released_ = false;
    QPointer<QWidget> history_;   // the change-history window, while it is open
    QPointer<QWidget> business_;  // the business window, while it is open
};

}  // namespace maint

#pragma once
// The information-management window: the register tree, the entry form and their buttons.
#include <QPointer>
#include <QWidget>

#include "maintenance/registerview.h"
#include "query/conditions.h"
#include "register/store.h"
#include "ui/dialogs.h"

class QLabel;
class QListWidget;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace maint {
class FormControls;
class QueryRows;
}  // namespace maint

namespace maintenance {

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
    void showCounts(const maint::Counts& counts);
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

    // The editing buttons.
    void addPerson();
    void modifyPerson();
    void deletePerson();
    void clearPerson();

    // Opens the register with its index and finds the record of the selected person node;
    // false (all closed) when no person node is selected or its record is not found.
    bool openSelectedRecord();
    // The register's order, counters and index after a write; then all tables are closed.
    void resortAndCount();
    // The hidden list's lines (GB18030), which the entry rules search.
    std::vector<std::string> listLines() const;
    // The hidden list's selection follows the tree's: the line of the selected item.
    void mirrorSelection();
    // The tree item with pre-order number `number`, null past the end.
    QTreeWidgetItem* itemAt(int number) const;
    // The first line of the hidden list equal to `text`, -1 when none is.
    int firstLine(const QString& text) const;
    // Adds a person node with `label` for a person at `address`: under the selected household
    // when it is that address, else under the first node of that address, else under a new
    // address node at the end. The hidden list gets the same lines.
    void insertPerson(const QString& address, const QString& label, bool mayUseSelected);
    // Removes the selected person node and its line; an address left empty goes too.
    void removeSelectedPerson();
    // Text of the selected person's line, in the tree and in the hidden list.
    void relabelSelected(const QString& label);

    // The change history: the tree's context menu on a person and Ctrl+H open its window.
    void setUpHistoryAccess();
    void openHistory(const QString& serial);

    // Deletes the working files this window creates while it is open.
    void releaseWorkingFiles();

    QString folder_;
    ui::Dialogs& dialogs_;
    reg::RecordStore store_;
    maint::FormControls* form_ = nullptr;
    maint::QueryRows* query_ = nullptr;
    QTreeWidget* tree_ = nullptr;
    QListWidget* list_ = nullptr;
    QLabel* persons_ = nullptr;
    QLabel* heads_ = nullptr;
    QPushButton *add_ = nullptr, *delete_ = nullptr, *clear_ = nullptr, *modify_ = nullptr;
    QTreeWidgetItem* justShown_ = nullptr;
    bool released_ = false;
    QPointer<QWidget> history_;  // the change-history window, while it is open
};

}  // namespace maintenance

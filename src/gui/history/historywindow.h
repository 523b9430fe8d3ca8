#pragma once
// The change-history window: the history newest first, a filter by name (alike in sound, as the
// query's "=="), 序号 or kind, one entry's values before and after side by side, and the list
// exported as an .xls workbook.
#include <QWidget>
#include <memory>
#include <optional>
#include <vector>

#include "core/register/history.h"
#include "gui/ui/background.h"
#include "gui/ui/dialogs.h"

class QAction;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QSpinBox;
class QPushButton;
class QTableWidget;
class QTreeView;

namespace maint {

class HistoryModel;

class HistoryWindow : public QWidget {
    Q_OBJECT
  public:
    HistoryWindow(QString folder, ui::Dialogs& dialogs, QWidget* parent = nullptr);
    ~HistoryWindow() override;

    // Reads the history again and shows the entries of the person with this 序号 (all of them
    // for an empty one).
    void showSerial(const QString& serial);
    // Writes 导出记录's workbook off the window's thread; finished() once its message is shown.
    ui::Background& exporter() { return *exporting_; }
    // Reads the history again, keeping the filter.
    void reload();

  signals:
    // 撤销此次业务 on the line of the business recorded as entry `id`; the window that owns
    // the editor asks, undoes and calls reload().
    void undoBusinessRequested(long long id);

  private:
    void requestUndo();
    // The entry id of the selected line when it is a business.
    std::optional<long long> selectedBusiness() const;
    void applyFilter();
    void showEntry();
    void exportList();
    // The keeping limits of safety copies and history, saved and applied after the clerk agreed
    // to what they remove now.
    void setRetention();
    // 彻底清除: the selected entry's person, when no longer in the register, erased from all that
    // is kept, after two questions.
    void erasePerson();
    void showRetention();

    QString folder_;
    ui::Dialogs& dialogs_;
    std::unique_ptr<HistoryModel> model_;
    ui::Background* exporting_;
    QLineEdit* name_;
    QLineEdit* serial_;
    QComboBox* kind_;
    QSpinBox* copyDays_ = nullptr;
    QSpinBox* historyYears_ = nullptr;
    QLabel* summary_;
    QTreeView* list_;
    QTableWidget* values_;
    QPushButton* exportButton_;
    QPushButton* undoButton_;
    QAction* undoAction_;
    QProgressBar* exportBar_;
};

}  // namespace maint

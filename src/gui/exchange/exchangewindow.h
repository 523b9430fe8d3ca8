#pragma once
// The import/export window: spreadsheet import on the left, register export on the right.
#include <QPointer>
#include <QWidget>
#include <vector>

#include "core/edit/importcheck.h"
#include "core/edit/registereditor.h"
#include "core/workbook/spreadsheet.h"
#include "gui/ui/background.h"
#include "gui/ui/dialogs.h"

class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;

namespace exchange {

struct RegisterHealth;

class ExchangeWindow : public QWidget {
    Q_OBJECT
  public:
    ExchangeWindow(QString folder, ui::Dialogs& dialogs, QWidget* parent = nullptr);
    ~ExchangeWindow() override;

    // What creates the spreadsheet for the export; tests hand in one that fails.
    void setSpreadsheetFactory(SpreadsheetFactory factory) { factory_ = std::move(factory); }
    // Runs 户籍检查's reading of the register; finished() once its messages have been shown.
    ui::Background& healthCheck() { return *checking_; }
    // The pause between the ten steps of the import's progress animation (100 ms).
    void setAnimationStep(int milliseconds) { animationStep_ = milliseconds; }

  signals:
    // Emitted on every way the window closes; the main window shows itself again.
    void closed();

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void chooseWorkbook();
    void chooseImportTable();
    void runImport();
    // The import itself, once the rows are checked (and the clerk chose, when there were findings).
    // `updates`: the known persons' new values, written after the rows as part of the import.
    void startImport(const ImportRequest& request,
                     const std::vector<edit::RecordChange>& updates = {});
    void afterPreview(ImportRequest request, const ImportCheck& check, ImportChoice choice);
    void chooseExportTable();
    void runExport();
    void runHealthCheck();
    void showHealth(const RegisterHealth& health);
    void openStatistics();
    void animateImport();
    // 撤销恢复/导入: usable while the history names a restore or import to undo.
    void undoLast();
    void decideUndo();
    // Deletes the working files this window creates while it is open.
    void releaseWorkingFiles();

    QString folder_;
    ui::Dialogs& dialogs_;
    // The import and the undo change the register through it.
    edit::RegisterEditor editor_{folder_};
    SpreadsheetFactory factory_ = createSpreadsheet;
    int animationStep_ = 100;

    QLineEdit* workbookEdit_;  // 编辑框A1
    QListWidget* headings_;    // 列表框A1
    QLineEdit* importEdit_;    // 编辑框A2
    QListWidget* fields_;      // 列表框A2
    QPushButton* importButton_;
    QProgressBar* importBar_;
    QLineEdit* exportEdit_;  // 编辑框B1
    QPushButton* exportButton_;
    QProgressBar* exportBar_;
    QPushButton* checkButton_;  // 户籍检查B1
    ui::Background* checking_;  // the check's worker
    std::vector<QPointer<QWidget>>
        statistics_;  // the statistics and certificate-log windows opened here
    QPushButton* undo_;
    // 查找重复's window while it is open.
    QPointer<QWidget> duplicates_;
    // What each open dialog held when it last closed: a cancelled dialog keeps its file name.
    QString lastWorkbook_, lastImportTable_, lastExportTable_;
};

}  // namespace exchange

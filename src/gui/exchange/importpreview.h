#pragma once
// What the check of a workbook found, shown before the import writes anything; the clerk
// chooses how the import goes on, or stops it.
#include <QWidget>

#include "core/edit/importcheck.h"
#include "gui/ui/dialogs.h"

class QLabel;
class QTableWidget;

namespace exchange {

class ImportPreview : public QWidget {
    Q_OBJECT
  public:
    using Choice = ImportChoice;

    ImportPreview(ImportCheck check, ui::Dialogs& dialogs, SpreadsheetFactory factory,
                  QWidget* parent = nullptr);
    const ImportCheck& check() const { return check_; }

  signals:
    // Once, whichever way the window closes (closing it is 取消).
    void chosen(exchange::ImportChoice choice);
    // 保存报告 wrote the findings to `path` (they name the workbook's persons and the register's).
    void reportSaved(const QString& path);

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void choose(Choice choice);
    void saveReport();

    ImportCheck check_;
    ui::Dialogs& dialogs_;
    SpreadsheetFactory factory_;
    bool decided_ = false;
};

}  // namespace exchange

#pragma once
// The import/export window: spreadsheet import on the left, register export on the right.
#include <QWidget>

#include "ui/dialogs.h"

namespace exchange {

class ExchangeWindow : public QWidget {
    Q_OBJECT
  public:
    ExchangeWindow(QString folder, ui::Dialogs& dialogs, QWidget* parent = nullptr);

  signals:
    // Emitted on every way the window closes; the main window shows itself again.
    void closed();

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    // Deletes the working files this window creates while it is open.
    void releaseWorkingFiles();

    QString folder_;
    ui::Dialogs& dialogs_;
};

}  // namespace exchange

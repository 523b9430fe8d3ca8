#pragma once
// The information-management window: the register tree, the entry form and their buttons.
#include <QWidget>

#include "ui/dialogs.h"

namespace maintenance {

class InfoWindow : public QWidget {
    Q_OBJECT
  public:
    InfoWindow(QString folder, ui::Dialogs& dialogs, QWidget* parent = nullptr);

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

}  // namespace maintenance

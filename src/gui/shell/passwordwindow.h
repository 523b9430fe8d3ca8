#pragma once
// Replaces the login password after checking the old one; also sets the idle lock's time.
#include <QWidget>

#include "gui/ui/dialogs.h"

class QLineEdit;
class QSpinBox;

namespace shell {

class PasswordWindow : public QWidget {
    Q_OBJECT
  public:
    PasswordWindow(QString folder, ui::Dialogs& dialogs, QWidget* parent = nullptr);

    // The change procedure of 修改按钮.
    void changePassword();

  signals:
    // Emitted on every way the window closes; the main window shows itself again.
    void closed();

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    QString folder_;
    ui::Dialogs& dialogs_;
    QLineEdit* old_;
    QLineEdit* new_;
    QLineEdit* repeat_;
    QSpinBox* idleMinutes_;
};

}  // namespace shell

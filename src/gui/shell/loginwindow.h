#pragma once
// The start-up window: takes the lock when it is created, then asks for the password.
#include <QWidget>
#include <memory>

#include "gui/shell/session.h"

class QLineEdit;

namespace shell {

class MainWindow;

class LoginWindow : public QWidget {
    Q_OBJECT
  public:
    // The running program's login window, with a session of its own.
    LoginWindow();
    // A login window in the given session (tests hand in a temporary folder and scripted dialogs).
    explicit LoginWindow(Session& session);
    ~LoginWindow() override;

    // False when the start-up preparation found another copy running (the program then ends at
    // once, silently) or the program folder unusable (the clerk was told why); this window is
    // then never shown.
    bool started() const { return started_; }
    // True when the program folder could not be used; the program ends with a failure code.
    bool folderUnusable() const { return unusable_; }
    // The main window, once the login has succeeded.
    MainWindow* mainWindow() const { return main_.get(); }

    // The login check against the password file.
    void checkPassword();

  protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void build();
    void start();

    std::unique_ptr<Session> ownSession_;
    Session& session_;
    std::unique_ptr<MainWindow> main_;
    QLineEdit* password_ = nullptr;
    bool started_ = false;
    bool unusable_ = false;
    bool loggedIn_ = false;
};

}  // namespace shell

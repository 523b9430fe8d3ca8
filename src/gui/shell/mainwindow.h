#pragma once
// The hub after the login: opens one working window at a time and stays hidden while it is open.
#include <QPointer>
#include <QWidget>

class QLabel;

namespace shell {

class IdleLock;
class Session;

class MainWindow : public QWidget {
    Q_OBJECT
  public:
    explicit MainWindow(Session& session);
    ~MainWindow() override;

    // The lock that covers the program's windows after a time without input.
    IdleLock& idleLock() const { return *idle_; }

    // The working window now open, if any.
    QWidget* workingWindow() const { return working_; }

    void openInfoWindow();
    void openExchangeWindow();
    void openPasswordWindow();
    void openHelp();

  protected:
    // Closing the main window ends the program like 退出系统.
    void closeEvent(QCloseEvent* event) override;
    // The reminder and the idle time follow what was changed in a working window.
    void showEvent(QShowEvent* event) override;

  private:
    template <class Window>
    void openWorking(Window* window);

    Session& session_;
    QPointer<QWidget> working_;
    IdleLock* idle_ = nullptr;
    QLabel* firstPasswordReminder_ = nullptr;
};

}  // namespace shell

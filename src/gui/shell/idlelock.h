#pragma once
// The lock of an unattended program: after a set time without a key or the mouse, every open
// window of the program is covered and one small window asks for the login password. What the
// windows hold (a half-typed form included) stays as it was; while locked no input reaches them,
// so nothing can be changed or written.
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <chrono>
#include <vector>

class QLineEdit;
class QWidget;

namespace shell {

class Session;

class IdleLock : public QObject {
    Q_OBJECT
  public:
    // `idle` zero: never locks.
    IdleLock(Session& session, std::chrono::milliseconds idle, QObject* parent = nullptr);
    ~IdleLock() override;

    // A new idle time, counted from now; zero turns the lock off (an open lock stays).
    void setIdleTime(std::chrono::milliseconds idle);
    bool locked() const { return window_ != nullptr; }
    // The window asking for the password while locked.
    QWidget* lockWindow() const { return window_; }
    void lockNow();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void tryUnlock();
    void unlock();

    Session& session_;
    QTimer timer_;
    std::chrono::milliseconds idle_{0};
    QPointer<QWidget> window_;
    QPointer<QLineEdit> password_;
    std::vector<QPointer<QWidget>> covers_;
};

}  // namespace shell

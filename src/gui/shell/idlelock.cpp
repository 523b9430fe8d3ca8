#include "gui/shell/idlelock.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QWidget>

#include "core/session/password.h"
#include "gui/shell/session.h"
#include "gui/ui/widgets.h"

namespace shell {

namespace {

// The lock's own window refuses to close: only the right password ends the lock.
class LockWindow : public QWidget {
  public:
    void closeEvent(QCloseEvent* event) override {
        if (closable)
            event->accept();
        else
            event->ignore();
    }
    bool closable = false;
};

bool isInput(QEvent::Type type) {
    switch (type) {
        case QEvent::KeyPress:
        case QEvent::MouseButtonPress:
        case QEvent::MouseMove:
        case QEvent::Wheel:
        case QEvent::TouchBegin:
        case QEvent::TabletPress:
            return true;
        default:
            return false;
    }
}

}  // namespace

IdleLock::IdleLock(Session& session, std::chrono::milliseconds idle, QObject* parent)
    : QObject(parent), session_(session) {
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, &IdleLock::lockNow);
    qApp->installEventFilter(this);
    setIdleTime(idle);
}

IdleLock::~IdleLock() {
    qApp->removeEventFilter(this);
    unlock();
}

void IdleLock::setIdleTime(std::chrono::milliseconds idle) {
    timer_.stop();
    idle_ = idle;
    if (idle_.count() > 0) {
        timer_.setInterval(idle_);
        if (!locked()) timer_.start();
    }
}

bool IdleLock::eventFilter(QObject* watched, QEvent* event) {
    // Any input while unlocked starts the count again; input to the lock window does not.
    if (!locked() && timer_.isActive() && isInput(event->type())) timer_.start();
    return QObject::eventFilter(watched, event);
}

void IdleLock::lockNow() {
    if (locked()) return;
    timer_.stop();
    // Covers hide what the windows show; they hold no focus, so the windows keep theirs.
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (!window->isVisible() || window->windowType() == Qt::ToolTip) continue;
        auto* cover = new QWidget(window);
        cover->setObjectName(QStringLiteral("锁定遮盖"));
        cover->setAutoFillBackground(true);
        cover->setFocusPolicy(Qt::NoFocus);
        cover->setGeometry(window->rect());
        cover->raise();
        cover->show();
        covers_.emplace_back(cover);
    }

    auto* w = new LockWindow;
    w->setAttribute(Qt::WA_DeleteOnClose);
    ui::setUpWindow(w, QStringLiteral("澄禾社区户籍管理系统-程序锁定   青石听雨 制作"), {400, 200});
    // Input to every other window waits until the lock ends.
    w->setWindowModality(Qt::ApplicationModal);
    ui::addLabel(w, QStringLiteral("锁定说明"),
                 QStringLiteral("程序已锁定。未保存的内容仍在，请输入登录密码解锁。"),
                 {35, 40, 330, 20});
    ui::addLabel(w, QStringLiteral("密码标签"), QStringLiteral("密码"), {35, 80, 60, 20});
    password_ =
        ui::addEdit(w, QStringLiteral("密码框"), {105, 80, 200, 20}, QStringLiteral("解锁密码"));
    ui::makePassword(password_, kMaxPasswordBytes);
    auto* button =
        ui::addButton(w, QStringLiteral("解锁按钮"), QStringLiteral("解锁"), {160, 125, 80, 30});
    connect(button, &QPushButton::clicked, this, &IdleLock::tryUnlock);
    connect(password_, &QLineEdit::returnPressed, this, &IdleLock::tryUnlock);
    window_ = w;
    w->show();
    w->activateWindow();
    password_->setFocus();
}

void IdleLock::tryUnlock() {
    if (!locked()) return;
    // The login's own check and its own words; the typed text stays after a failure, as there.
    const QString refusal = passwordRefusal(session_.folder(), password_->text());
    if (!refusal.isEmpty()) {
        session_.dialogs().warning(refusal);
        return;
    }
    unlock();
    if (idle_.count() > 0) timer_.start();
}

void IdleLock::unlock() {
    for (const QPointer<QWidget>& cover : covers_) delete cover.data();
    covers_.clear();
    if (window_) {
        auto* w = static_cast<LockWindow*>(window_.data());
        w->closable = true;
        w->close();  // deletes itself
    }
    window_ = nullptr;
}

}  // namespace shell

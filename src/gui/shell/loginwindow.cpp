#include "gui/shell/loginwindow.h"

#include <QCloseEvent>
#include <QDateTime>
#include <QDir>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "core/register/autobackup.h"
#include "core/register/files.h"
#include "core/register/text.h"
#include "core/register/workfiles.h"
#include "core/session/password.h"
#include "core/session/startup.h"
#include "gui/shell/mainwindow.h"
#include "gui/ui/widgets.h"

namespace shell {

namespace files = reg::files;

LoginWindow::LoginWindow() : ownSession_(Session::forProgram()), session_(*ownSession_) {
    build();
}

LoginWindow::LoginWindow(Session& session) : session_(session) {
    build();
}

LoginWindow::~LoginWindow() = default;

void LoginWindow::build() {
    ui::setUpWindow(this, QStringLiteral("澄禾社区户籍管理系统-用户登录   青石听雨 制作"),
                    {395, 225});
    ui::addLabel(this, QStringLiteral("透明标签1"), QStringLiteral("输入社区户籍管理系统登录密码"),
                 {90, 20, 210, 20});
    password_ = ui::addEdit(this, QStringLiteral("密码编辑框"), {120, 55, 150, 20},
                            QStringLiteral("登录密码"));
    ui::makePassword(password_, kMaxPasswordBytes);
    ui::addLabel(this, QStringLiteral("透明标签2"), QStringLiteral("初始密码 7402"),
                 {90, 90, 210, 20});
    auto* login =
        ui::addButton(this, QStringLiteral("登录"), QStringLiteral("登录"), {80, 135, 70, 30});
    auto* cancel =
        ui::addButton(this, QStringLiteral("取消"), QStringLiteral("取消"), {240, 135, 70, 30});
    connect(login, &QPushButton::clicked, this, &LoginWindow::checkPassword);
    // 取消 comes before any record store is opened, so there is none to close.
    connect(cancel, &QPushButton::clicked, this, [this] { session_.exitProgram(false); });
    password_->installEventFilter(this);
    login->installEventFilter(this);

    start();
}

void LoginWindow::start() {
    const QString& folder = session_.folder();
    QString problem = session_.folderProblem();
    if (problem.isEmpty()) problem = folderProblem(folder, files::canWriteIn);
    if (problem.isEmpty()) {
        started_ = prepareStart(folder, session_.lock());
        // Only a copy that really runs ends silently; any other failure is said.
        if (started_ || session_.lock().heldElsewhere()) return;
        problem = QStringLiteral("无法创建锁文件 %1：%2。")
                      .arg(reg::names::kLock, session_.lock().failure());
    }
    unusable_ = true;
    session_.leaveFolderAlone();
    session_.dialogs().warning(QStringLiteral("程序文件夹无法使用：\n%1\n%2")
                                   .arg(QDir::toNativeSeparators(folder), problem));
}

bool LoginWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) checkPassword();
    }
    return QWidget::eventFilter(watched, event);  // the key keeps its normal effect
}

void LoginWindow::checkPassword() {
    if (loggedIn_) return;
    if (const QString refusal = passwordRefusal(session_.folder(), password_->text());
        !refusal.isEmpty()) {
        session_.dialogs().warning(refusal);
        return;
    }
    // Only the clerk, logged in, is asked whether a damaged register is replaced by a backup.
    if (started_)
        reg::autobackup::atStart(
            session_.folder(), QDateTime::currentDateTime(),
            [this](const QString& q) { return session_.dialogs().question(q); });
    main_ = std::make_unique<MainWindow>(session_);
    main_->show();
    loggedIn_ = true;
    close();
}

void LoginWindow::closeEvent(QCloseEvent* event) {
    // Only a successful login closes this window; 取消 ends the program instead.
    if (loggedIn_)
        event->accept();
    else
        event->ignore();
}

}  // namespace shell

#include "gui/shell/mainwindow.h"

#include <QCloseEvent>
#include <QLabel>
#include <QPushButton>

#include "core/register/files.h"
#include "core/register/workfiles.h"
#include "core/session/password.h"
#include "core/session/privacy.h"
#include "gui/exchange/exchangewindow.h"
#include "gui/info/infowindow.h"
#include "gui/shell/idlelock.h"
#include "gui/shell/passwordwindow.h"
#include "gui/shell/picture.h"
#include "gui/shell/session.h"
#include "gui/ui/widgets.h"

namespace shell {

namespace {

std::chrono::milliseconds idleTime(const QString& folder) {
    return std::chrono::minutes(idleLockMinutes(folder));
}

}  // namespace

MainWindow::MainWindow(Session& session) : session_(session) {
    ui::setUpWindow(this, QStringLiteral("澄禾社区户籍管理系统   青石听雨 制作"), {805, 600});

    struct Entry {
        const char16_t* name;
        const char16_t* text;
        int top;
        void (MainWindow::*action)();
    };
    const Entry buttons[] = {
        {u"信息管理", u"信 息 管 理", 180, &MainWindow::openInfoWindow},
        {u"导入导出", u"导 入 导 出", 245, &MainWindow::openExchangeWindow},
        {u"密码修改", u"密 码 修 改", 310, &MainWindow::openPasswordWindow},
        {u"打开帮助", u"打 开 帮 助", 375, &MainWindow::openHelp},
    };
    for (const Entry& entry : buttons) {
        auto* button = ui::addButton(this, QString::fromUtf16(entry.name),
                                     QString::fromUtf16(entry.text), {70, entry.top, 150, 40});
        connect(button, &QPushButton::clicked, this, entry.action);
    }
    auto* quit = ui::addButton(this, QStringLiteral("退出系统"), QStringLiteral("退 出 系 统"),
                               {70, 440, 150, 40});
    connect(quit, &QPushButton::clicked, this, [this] { session_.exitProgram(true); });

    auto* title = ui::addLabel(this, QStringLiteral("透明标签1"),
                               QStringLiteral("澄 禾 社 区 户 籍 管 理 系 统"), {120, 50, 560, 60});
    title->setFont(ui::fontWithFallback(QStringLiteral("华文彩云"), 26));
    title->setAlignment(Qt::AlignCenter);
    auto* version = ui::addLabel(this, QStringLiteral("透明标签3"), QStringLiteral("V 3.0"),
                                 {120, 510, 560, 30});
    version->setAlignment(Qt::AlignCenter);

    auto* picture = new QLabel(this);
    picture->setObjectName(QStringLiteral("图片框"));
    picture->setGeometry(330, 180, 400, 300);
    picture->setPixmap(drawPicture({400, 300}));

    // In the free band between the title and the buttons; it only reminds, nothing waits on it.
    firstPasswordReminder_ = ui::addLabel(
        this, QStringLiteral("初始密码提示"),
        QStringLiteral("当前仍是初始密码 7402，为保护户籍信息，请用“密码修改”设置新密码。"),
        {120, 140, 560, 25});
    firstPasswordReminder_->setAlignment(Qt::AlignCenter);
    QPalette warn = firstPasswordReminder_->palette();
    warn.setColor(QPalette::WindowText, Qt::red);
    firstPasswordReminder_->setPalette(warn);

    idle_ = new IdleLock(session_, idleTime(session_.folder()), this);
}

void MainWindow::showEvent(QShowEvent* event) {
    firstPasswordReminder_->setVisible(stillFirstPassword(session_.folder()));
    idle_->setIdleTime(idleTime(session_.folder()));
    QWidget::showEvent(event);
}

MainWindow::~MainWindow() {
    // A working window still open goes with the main window, without showing it again.
    if (working_) {
        disconnect(working_, nullptr, this, nullptr);
        delete working_.data();
    }
}

template <class Window>
void MainWindow::openWorking(Window* window) {
    window->setAttribute(Qt::WA_DeleteOnClose);
    connect(window, &Window::closed, this, &QWidget::show);
    working_ = window;
    window->show();
    hide();
}

void MainWindow::openInfoWindow() {
    openWorking(new maint::InfoWindow(session_.folder(), session_.dialogs()));
}

void MainWindow::openExchangeWindow() {
    openWorking(new exchange::ExchangeWindow(session_.folder(), session_.dialogs()));
}

void MainWindow::openPasswordWindow() {
    openWorking(new PasswordWindow(session_.folder(), session_.dialogs()));
}

void MainWindow::openHelp() {
    // The compiled help where the desktop shows it, else its HTML pages in the browser.
    const QString help = reg::pathIn(session_.folder(), reg::names::kHelp);
    const QString pages = reg::pathIn(session_.folder(), reg::names::kHelpFirstPage);
    for (const QString& path : {help, pages}) {
        const QUrl url = QUrl::fromLocalFile(path);
        if (reg::files::exists(path) && session_.canOpen(url)) {
            session_.openDocument(url);
            return;
        }
    }
    if (!reg::files::exists(help) && !reg::files::exists(pages))
        session_.dialogs().warning(QStringLiteral("找不到帮助文档！"));
    else
        session_.dialogs().warning(QStringLiteral("本机没有能打开帮助文档的程序！"));
}

void MainWindow::closeEvent(QCloseEvent* event) {
    session_.exitProgram(true);
    event->accept();
}

}  // namespace shell

#include "gui/shell/passwordwindow.h"

#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>

#include "core/register/files.h"
#include "core/register/history.h"
#include "core/register/text.h"
#include "core/register/workfiles.h"
#include "core/session/password.h"
#include "core/session/privacy.h"
#include "gui/ui/widgets.h"

namespace shell {

namespace files = reg::files;

PasswordWindow::PasswordWindow(QString folder, ui::Dialogs& dialogs, QWidget* parent)
    : QWidget(parent), folder_(std::move(folder)), dialogs_(dialogs) {
    ui::setUpWindow(this, QStringLiteral("澄禾社区户籍管理系统-密码修改   青石听雨 制作"),
                    {400, 300});
    ui::addLabel(this, QStringLiteral("标签1"), QStringLiteral("原密码"), {35, 50, 60, 20});
    old_ =
        ui::addEdit(this, QStringLiteral("编辑框1"), {105, 50, 200, 20}, QStringLiteral("原密码"));
    ui::addLabel(this, QStringLiteral("标签2"), QStringLiteral("新密码"), {35, 100, 60, 20});
    new_ =
        ui::addEdit(this, QStringLiteral("编辑框2"), {105, 100, 200, 20}, QStringLiteral("新密码"));
    ui::addLabel(this, QStringLiteral("标签3"), QStringLiteral("重复新密码"), {35, 150, 60, 20});
    repeat_ = ui::addEdit(this, QStringLiteral("编辑框3"), {105, 150, 200, 20},
                          QStringLiteral("重复新密码"));
    for (QLineEdit* edit : {old_, new_, repeat_}) ui::makePassword(edit, kMaxPasswordBytes);

    auto* change =
        ui::addButton(this, QStringLiteral("修改按钮"), QStringLiteral("修改"), {105, 210, 80, 30});
    auto* cancel =
        ui::addButton(this, QStringLiteral("取消按钮"), QStringLiteral("取消"), {225, 210, 80, 30});
    connect(change, &QPushButton::clicked, this, &PasswordWindow::changePassword);
    connect(cancel, &QPushButton::clicked, this, &QWidget::close);

    // The idle lock's time, in the free band below the buttons: it guards the same door.
    ui::addLabel(this, QStringLiteral("锁定标签"), QStringLiteral("无操作锁定"), {35, 242, 70, 20});
    idleMinutes_ = ui::addControl<QSpinBox>(this, QStringLiteral("锁定分钟"), {105, 242, 100, 20},
                                            QStringLiteral("无操作多少分钟后锁定，0 为不锁定"));
    idleMinutes_->setRange(0, kMaxIdleLockMinutes);
    idleMinutes_->setSuffix(QStringLiteral(" 分钟"));
    idleMinutes_->setSpecialValueText(QStringLiteral("不锁定"));
    idleMinutes_->setValue(idleLockMinutes(folder_));
    auto* setIdle = ui::addButton(this, QStringLiteral("锁定设定按钮"), QStringLiteral("设定"),
                                  {225, 240, 80, 24});
    connect(setIdle, &QPushButton::clicked, this, [this] {
        if (saveIdleLockMinutes(folder_, idleMinutes_->value()))
            dialogs_.notice(QStringLiteral("锁定时间已设定"));
        else
            dialogs_.warning(QStringLiteral("锁定时间设定失败！"));
    });
}

void PasswordWindow::changePassword() {
    const QString path = reg::pathIn(folder_, reg::names::kPassword);
    const std::string oldPassword = decodePassword(readPasswordFile(path));
    files::setCleared(path);

    const std::string typedOld = reg::toGb(old_->text());
    const std::string typedNew = reg::toGb(new_->text());
    const std::string typedRepeat = reg::toGb(repeat_->text());
    const char* failure = nullptr;
    if (typedOld != oldPassword)
        failure = "原密码错误！";
    else if (typedNew.size() < size_t(kMinPasswordBytes) ||
             typedRepeat.size() < size_t(kMinPasswordBytes))
        failure = "密码长度最低四位最高十六位！";
    else if (typedNew != typedRepeat)
        failure = "新密码两次输入不一致！";
    if (failure) {
        files::setProtected(path);
        dialogs_.warning(QString::fromUtf8(failure));
        return;
    }

    // A password that did not reach the disk must not be reported as changed: the clerk would
    // be locked out at the next login.
    // The history keeps the fact only, never a password.
    reg::history::Entry entry;
    entry.action = reg::history::Action::Password;
    reg::history::Pending record = reg::history::begin(folder_, entry, path);
    const bool written = record && writePasswordFile(path, typedRepeat);
    record.finish(written);
    files::setProtected(path);
    if (!written) {
        dialogs_.warning(QStringLiteral("密码文件写入失败，密码未修改！"));
        return;
    }
    old_->clear();
    new_->clear();
    repeat_->clear();
    dialogs_.notice(QStringLiteral("密码修改成功 "));
    close();
}

void PasswordWindow::closeEvent(QCloseEvent* event) {
    emit closed();
    event->accept();
}

}  // namespace shell

#include "gui/exchange/autobackupwindow.h"

#include <QDateTime>
#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>

#include "core/register/autobackup.h"
#include "gui/ui/widgets.h"

namespace exchange {

namespace ab = reg::autobackup;

namespace {

QString sizeText(qint64 bytes) {
    return bytes >= 1024 * 1024
               ? QStringLiteral("%1 MB").arg(double(bytes) / (1024 * 1024), 0, 'f', 1)
               : QStringLiteral("%1 KB").arg((bytes + 1023) / 1024);
}

}  // namespace

AutoBackupWindow::AutoBackupWindow(QString folder, ui::Dialogs& dialogs, QWidget* parent)
    : QWidget(parent, Qt::Window), folder_(std::move(folder)), dialogs_(dialogs) {
    ui::setUpWindow(this, QStringLiteral("澄禾社区户籍管理系统-自动备份   青石听雨 制作"),
                    {640, 450});
    ui::addLabel(this, QStringLiteral("透明标签1"),
                 QStringLiteral("程序文件夹下<自动备份>中的备份（新的在前）"), {20, 10, 500, 20});
    list_ = ui::addControl<QTreeWidget>(this, QStringLiteral("备份列表框"), {20, 35, 590, 220},
                                        QStringLiteral("自动备份列表"));
    list_->setHeaderLabels({QStringLiteral("备份时间"), QStringLiteral("人数"),
                            QStringLiteral("大小"), QStringLiteral("校验")});
    list_->setRootIsDecorated(false);
    list_->header()->resizeSection(0, 200);
    ui::addLabel(this, QStringLiteral("透明标签2"),
                 QStringLiteral("第二备份文件夹（例如U盘，不在时跳过）"), {20, 265, 400, 20});
    second_ = ui::addEdit(this, QStringLiteral("第二文件夹编辑框"), {20, 288, 400, 24},
                          QStringLiteral("第二备份文件夹"));
    second_->setReadOnly(true);
    auto* choose = ui::addButton(this, QStringLiteral("选择文件夹按钮"), QStringLiteral("选择"),
                                 {430, 286, 80, 28});
    auto* clear = ui::addButton(this, QStringLiteral("清除文件夹按钮"), QStringLiteral("清除"),
                                {520, 286, 80, 28});
    auto* now = ui::addButton(this, QStringLiteral("立即备份按钮"), QStringLiteral("立即备份"),
                              {20, 330, 90, 30});
    auto* restore = ui::addButton(this, QStringLiteral("从此恢复按钮"), QStringLiteral("从此恢复"),
                                  {120, 330, 90, 30});
    auto* close =
        ui::addButton(this, QStringLiteral("关闭"), QStringLiteral("关闭"), {520, 330, 80, 30});
    QLabel* note = ui::addLabel(
        this, QStringLiteral("透明标签3"),
        QStringLiteral(
            "户籍数据有改变时，退出程序时自动备份；每天保留一份（7天）、每周一份（8周）、"
            "每月一份（12个月）。"),
        {20, 370, 590, 40});
    note->setWordWrap(true);

    connect(choose, &QPushButton::clicked, this, &AutoBackupWindow::chooseSecond);
    connect(clear, &QPushButton::clicked, this, &AutoBackupWindow::clearSecond);
    connect(now, &QPushButton::clicked, this, &AutoBackupWindow::backUpNow);
    connect(restore, &QPushButton::clicked, this, &AutoBackupWindow::restoreChosen);
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    fill();
}

void AutoBackupWindow::fill() {
    list_->clear();
    // Only a copy that passed its checks is ever renamed to a backup's name.
    for (const ab::Backup& b : ab::list(folder_)) {
        const long persons = ab::personsIn(b.path);
        auto* item = new QTreeWidgetItem(
            list_, {b.time.toString(QStringLiteral("yyyy-MM-dd HH:mm")),
                    persons < 0 ? QStringLiteral("?") : QString::number(persons), sizeText(b.bytes),
                    persons < 0 ? QStringLiteral("无法读取") : QStringLiteral("已校验")});
        item->setData(0, Qt::UserRole, b.path);
        item->setData(1, Qt::UserRole, qlonglong(persons));
    }
    second_->setText(QDir::toNativeSeparators(ab::secondFolder(folder_)));
}

void AutoBackupWindow::backUpNow() {
    const ab::Outcome made = ab::backUp(folder_, QDateTime::currentDateTime(), true);
    fill();
    if (made.result != ab::Outcome::Result::Written)
        return dialogs_.warning(msg::kAutoBackupFailed);
    QString text = QStringLiteral("  自动备份成功（共 %1 人）").arg(made.persons);
    if (!ab::secondFolder(folder_).isEmpty() && !made.secondCopied)
        text += QStringLiteral("，第二备份文件夹不在或不能写入，没有复制过去");
    dialogs_.notice(text);
}

void AutoBackupWindow::restoreChosen() {
    const QTreeWidgetItem* item = list_->currentItem();
    if (!item) return dialogs_.warning(msg::kNoBackupChosen);
    const QString question =
        QStringLiteral(
            "       将用 %1 的自动备份（共 %2 人）替换现在的户籍数据。替换前的户籍数据"
            "另存在安全副本中，可以用“撤销恢复/导入”撤销。确认恢复吗？")
            .arg(item->text(0), item->text(1));
    if (!dialogs_.question(question)) return;
    const edit::Outcome done = editor_.restore(item->data(0, Qt::UserRole).toString());
    if (!done.done()) return dialogs_.warning(done.message);
    emit restored();
    dialogs_.notice(done.message);
}

void AutoBackupWindow::chooseSecond() {
    const QString chosen = dialogs_.openFolder(
        {QStringLiteral("选择第二备份文件夹"), QString(), QDir::homePath(), QString()});
    if (chosen.isEmpty()) return;
    if (!ab::setSecondFolder(folder_, QDir::cleanPath(chosen)))
        return dialogs_.warning(msg::kSecondNotSaved);
    fill();
}

void AutoBackupWindow::clearSecond() {
    if (!ab::setSecondFolder(folder_, QString())) return dialogs_.warning(msg::kSecondNotSaved);
    fill();
}

}  // namespace exchange

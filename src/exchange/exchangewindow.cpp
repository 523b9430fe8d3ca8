#include "exchange/exchangewindow.h"

#include <QCloseEvent>
#include <QPushButton>

#include "register/files.h"
#include "register/workfiles.h"
#include "ui/widgets.h"

namespace exchange {

ExchangeWindow::ExchangeWindow(QString folder, ui::Dialogs& dialogs, QWidget* parent)
    : QWidget(parent), folder_(std::move(folder)), dialogs_(dialogs) {
    ui::setUpWindow(this, QStringLiteral("澄禾社区户籍管理系统-导入导出   青石听雨 制作"),
                    {790, 520});
    auto* close =
        ui::addButton(this, QStringLiteral("关闭"), QStringLiteral("关闭"), {680, 440, 80, 30});
    connect(close, &QPushButton::clicked, this, &QWidget::close);
}

void ExchangeWindow::releaseWorkingFiles() {
    for (const QString& name : {reg::names::kExportCopy, reg::names::kExportSorted})
        reg::files::remove(reg::pathIn(folder_, name));
}

void ExchangeWindow::closeEvent(QCloseEvent* event) {
    releaseWorkingFiles();
    emit closed();
    event->accept();
}

}  // namespace exchange

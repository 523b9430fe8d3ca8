#include "maintenance/infowindow.h"

#include <QCloseEvent>
#include <QPushButton>

#include "register/files.h"
#include "register/workfiles.h"
#include "ui/widgets.h"

namespace maintenance {

InfoWindow::InfoWindow(QString folder, ui::Dialogs& dialogs, QWidget* parent)
    : QWidget(parent), folder_(std::move(folder)), dialogs_(dialogs) {
    ui::setUpWindow(this, QStringLiteral("澄禾社区户籍管理系统-信息管理   青石听雨 制作"),
                    {990, 650});
    auto* close = ui::addButton(this, QStringLiteral("关闭按钮"), QStringLiteral("关闭窗口"),
                                {890, 580, 80, 30});
    connect(close, &QPushButton::clicked, this, &QWidget::close);
}

void InfoWindow::releaseWorkingFiles() {
    namespace names = reg::names;
    for (const QString& name :
         {names::kQueryResult, names::kSorted, names::kIndex, names::kRestoreStage})
        reg::files::remove(reg::pathIn(folder_, name));
}

void InfoWindow::closeEvent(QCloseEvent* event) {
    releaseWorkingFiles();
    emit closed();
    event->accept();
}

}  // namespace maintenance

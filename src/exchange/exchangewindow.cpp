#include "exchange/exchangewindow.h"

#include <QCloseEvent>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>

#include "exchange/resultexport.h"
#include "exchange/transfer.h"
#include "exchange/workbookreader.h"
#include "register/files.h"
#include "register/store.h"
#include "register/text.h"
#include "register/workfiles.h"
#include "ui/widgets.h"

namespace exchange {

namespace {

inline const QString kEmptyFirstSheet = QStringLiteral("表格文件的第一个工作表是空的！");

QListWidget* addList(QWidget* parent, const QString& name, QRect place) {
    auto* list = new QListWidget(parent);
    list->setObjectName(name);
    list->setGeometry(place);
    return list;
}

QProgressBar* addProgress(QWidget* parent, const QString& name, QRect place) {
    auto* bar = new QProgressBar(parent);
    bar->setObjectName(name);
    bar->setGeometry(place);
    bar->setRange(0, 100);
    bar->setValue(0);
    bar->setTextVisible(false);
    return bar;
}

QLineEdit* addPathEdit(QWidget* parent, const QString& name, QRect place) {
    QLineEdit* edit = ui::addEdit(parent, name, place);
    edit->setReadOnly(true);
    return edit;
}

void setBar(QProgressBar* bar, int value) {
    if (bar->value() == value) return;
    bar->setValue(value);
    bar->repaint();
}

}  // namespace

ExchangeWindow::ExchangeWindow(QString folder, ui::Dialogs& dialogs, QWidget* parent)
    : QWidget(parent), folder_(std::move(folder)), dialogs_(dialogs) {
    ui::setUpWindow(this, QStringLiteral("澄禾社区户籍管理系统-导入导出   青石听雨 制作"),
                    {790, 520});

    // The import half.
    QLabel* heading = ui::addLabel(this, QStringLiteral("透明标签7"), QStringLiteral("数 据 导 入"),
                                   {20, 10, 360, 30});
    heading->setFont(ui::uiFont(14));
    heading->setAlignment(Qt::AlignCenter);
    ui::addLabel(this, QStringLiteral("透明标签1"), QStringLiteral("打开需要导入的表格文件"),
                 {20, 45, 300, 20});
    workbookEdit_ = addPathEdit(this, QStringLiteral("编辑框A1"), {20, 68, 290, 24});
    auto* browseA1 =
        ui::addButton(this, QStringLiteral("浏览A1"), QStringLiteral("浏览"), {316, 66, 64, 28});
    headings_ = addList(this, QStringLiteral("列表框A1"), {20, 98, 360, 110});
    ui::addLabel(this, QStringLiteral("透明标签2"),
                 QStringLiteral("打开本软件安装目录下<户籍数据>"), {20, 214, 300, 20});
    importEdit_ = addPathEdit(this, QStringLiteral("编辑框A2"), {20, 237, 290, 24});
    auto* browseA2 =
        ui::addButton(this, QStringLiteral("浏览A2"), QStringLiteral("浏览"), {316, 235, 64, 28});
    fields_ = addList(this, QStringLiteral("列表框A2"), {20, 267, 360, 110});
    importButton_ = ui::addButton(this, QStringLiteral("开始导入A1"), QStringLiteral("开始导入"),
                                  {20, 384, 90, 30});
    importBar_ = addProgress(this, QStringLiteral("进度条A1"), {120, 389, 260, 20});
    QLabel* note = ui::addLabel(
        this, QStringLiteral("透明标签9"),
        QStringLiteral("导入表格文件时应先将表格文件按本软件安装目录下<户籍表格>的说明编排"),
        {20, 420, 360, 40});
    note->setWordWrap(true);

    // The export half.
    QLabel* exportHeading = ui::addLabel(this, QStringLiteral("透明标签8"),
                                         QStringLiteral("数 据 导 出"), {410, 10, 360, 30});
    exportHeading->setFont(ui::uiFont(14));
    exportHeading->setAlignment(Qt::AlignCenter);
    ui::addLabel(this, QStringLiteral("透明标签3"),
                 QStringLiteral("打开本软件安装目录下<户籍数据>"), {410, 45, 300, 20});
    exportEdit_ = addPathEdit(this, QStringLiteral("编辑框B1"), {410, 68, 290, 24});
    auto* browseB1 =
        ui::addButton(this, QStringLiteral("浏览B1"), QStringLiteral("浏览"), {706, 66, 64, 28});
    exportButton_ = ui::addButton(this, QStringLiteral("开始导出B1"), QStringLiteral("开始导出"),
                                  {410, 104, 90, 30});
    exportBar_ = addProgress(this, QStringLiteral("进度条B1"), {510, 109, 260, 20});

    auto* close =
        ui::addButton(this, QStringLiteral("关闭"), QStringLiteral("关闭"), {680, 440, 80, 30});
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    connect(browseA1, &QPushButton::clicked, this, &ExchangeWindow::chooseWorkbook);
    connect(browseA2, &QPushButton::clicked, this, &ExchangeWindow::chooseImportTable);
    connect(importButton_, &QPushButton::clicked, this, &ExchangeWindow::runImport);
    connect(browseB1, &QPushButton::clicked, this, &ExchangeWindow::chooseExportTable);
    connect(exportButton_, &QPushButton::clicked, this, &ExchangeWindow::runExport);
}

void ExchangeWindow::chooseWorkbook() {
    const QString chosen =
        dialogs_.openFile({QStringLiteral("打开"), QStringLiteral("*.xls *.xlsx"), QString(), QString()});
    if (!chosen.isEmpty()) lastWorkbook_ = chosen;
    workbookEdit_->setText(lastWorkbook_);
    const HeadingList list = readHeadings(lastWorkbook_);
    headings_->clear();
    switch (list.status) {
        case ReadStatus::Ok:
            break;
        case ReadStatus::TooManyColumns:
            dialogs_.warning(msg::kTooManyColumns);
            return;
        case ReadStatus::EmptySheet:
            dialogs_.warning(kEmptyFirstSheet);
            return;
        default:
            if (!lastWorkbook_.isEmpty()) dialogs_.warning(msg::kOpenWorkbook);
            return;
    }
    for (size_t i = 0; i < list.headings.size(); ++i) {
        auto* item = new QListWidgetItem(reg::fromGb(list.headings[i]), headings_);
        item->setData(Qt::UserRole, int(i) + 1);
    }
}

void ExchangeWindow::chooseImportTable() {
    const QString chosen =
        dialogs_.openFile({QStringLiteral("打开"), QString(), QString(), QString()});
    if (!chosen.isEmpty()) lastImportTable_ = chosen;
    importEdit_->setText(lastImportTable_);
    reg::RecordStore store;
    store.OpenTable(lastImportTable_);
    fields_->clear();
    for (int i = 1; i <= store.FieldCount(); ++i) fields_->addItem(reg::fromGb(store.FieldName(i)));
    store.CloseAllTables();
}

void ExchangeWindow::animateImport() {
    setBar(importBar_, 0);
    for (int step = 1; step <= 10; ++step) {
        setBar(importBar_, step * 10);
        QThread::msleep(unsigned(animationStep_));
    }
}

void ExchangeWindow::runImport() {
    ImportRequest request{folder_, workbookEdit_->text(), importEdit_->text(), {}};
    for (int i = 0; i < headings_->count(); ++i)
        request.headings.push_back(reg::toGb(headings_->item(i)->text()));
    importWorkbook(
        request, dialogs_, [this] { importButton_->setEnabled(false); },
        [this] { animateImport(); });
    setBar(importBar_, 0);
    importButton_->setEnabled(true);
}

void ExchangeWindow::chooseExportTable() {
    const QString chosen =
        dialogs_.openFile({QStringLiteral("打开"), QString(), QString(), QString()});
    if (!chosen.isEmpty()) lastExportTable_ = chosen;
    exportEdit_->setText(lastExportTable_);
}

void ExchangeWindow::runExport() {
    exportRegister(
        folder_, exportEdit_->text(), dialogs_,
        [this](int percent) { setBar(exportBar_, percent); },
        [this] { exportButton_->setEnabled(false); }, factory_);
    setBar(exportBar_, 0);
    exportButton_->setEnabled(true);
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

#include "gui/exchange/exchangewindow.h"

#include <QCloseEvent>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <algorithm>

#include "core/edit/healthreport.h"
#include "core/edit/registereditor.h"
#include "core/edit/transfer.h"
#include "core/register/files.h"
#include "core/register/history.h"
#include "core/register/replacement.h"
#include "core/register/safetycopy.h"
#include "core/register/store.h"
#include "core/register/text.h"
#include "core/register/workfiles.h"
#include "core/workbook/workbookreader.h"
#include "gui/exchange/autobackupwindow.h"
#include "gui/exchange/duplicatewindow.h"
#include "gui/exchange/importpreview.h"
#include "gui/exchange/resultexport.h"
#include "gui/reports/certificatelogwindow.h"
#include "gui/reports/statisticswindow.h"
#include "gui/ui/background.h"
#include "gui/ui/widgets.h"

namespace exchange {

namespace {

inline const QString kNothingNew = QStringLiteral("没有新的人员需要导入，户籍数据没有改变！");
inline const QString kEmptyFirstSheet = QStringLiteral("表格文件的第一个工作表是空的！");

QProgressBar* addProgress(QWidget* parent, const QString& name, QRect place,
                          const QString& spoken) {
    auto* bar = ui::addControl<QProgressBar>(parent, name, place, spoken);
    bar->setRange(0, 100);
    bar->setValue(0);
    bar->setTextVisible(false);
    return bar;
}

QLineEdit* addPathEdit(QWidget* parent, const QString& name, QRect place, const QString& spoken) {
    QLineEdit* edit = ui::addEdit(parent, name, place, spoken);
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
    : QWidget(parent),
      folder_(std::move(folder)),
      dialogs_(dialogs),
      checking_(new ui::Background(this)) {
    ui::setUpWindow(this, QStringLiteral("澄禾社区户籍管理系统-导入导出   青石听雨 制作"),
                    {790, 520});

    // The import half.
    QLabel* heading = ui::addLabel(this, QStringLiteral("透明标签7"), QStringLiteral("数 据 导 入"),
                                   {20, 10, 360, 30});
    heading->setFont(ui::uiFont(14));
    heading->setAlignment(Qt::AlignCenter);
    ui::addLabel(this, QStringLiteral("透明标签1"), QStringLiteral("打开需要导入的表格文件"),
                 {20, 45, 300, 20});
    workbookEdit_ = addPathEdit(this, QStringLiteral("编辑框A1"), {20, 68, 290, 24},
                                QStringLiteral("打开需要导入的表格文件"));
    auto* browseA1 =
        ui::addButton(this, QStringLiteral("浏览A1"), QStringLiteral("浏览"), {316, 66, 64, 28});
    headings_ = ui::addControl<QListWidget>(this, QStringLiteral("列表框A1"), {20, 98, 360, 110},
                                            QStringLiteral("表格文件的列标题"));
    ui::addLabel(this, QStringLiteral("透明标签2"),
                 QStringLiteral("打开本软件安装目录下<户籍数据>"), {20, 214, 300, 20});
    importEdit_ = addPathEdit(this, QStringLiteral("编辑框A2"), {20, 237, 290, 24},
                              QStringLiteral("打开本软件安装目录下<户籍数据>"));
    auto* browseA2 =
        ui::addButton(this, QStringLiteral("浏览A2"), QStringLiteral("浏览"), {316, 235, 64, 28});
    fields_ = ui::addControl<QListWidget>(this, QStringLiteral("列表框A2"), {20, 267, 360, 110},
                                          QStringLiteral("户籍数据的字段"));
    importButton_ = ui::addButton(this, QStringLiteral("开始导入A1"), QStringLiteral("开始导入"),
                                  {20, 384, 90, 30});
    importBar_ = addProgress(this, QStringLiteral("进度条A1"), {120, 389, 260, 20},
                             QStringLiteral("导入进度"));
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
    exportEdit_ = addPathEdit(this, QStringLiteral("编辑框B1"), {410, 68, 290, 24},
                              QStringLiteral("打开本软件安装目录下<户籍数据>"));
    auto* browseB1 =
        ui::addButton(this, QStringLiteral("浏览B1"), QStringLiteral("浏览"), {706, 66, 64, 28});
    exportButton_ = ui::addButton(this, QStringLiteral("开始导出B1"), QStringLiteral("开始导出"),
                                  {410, 104, 90, 30});
    exportBar_ = addProgress(this, QStringLiteral("进度条B1"), {510, 109, 260, 20},
                             QStringLiteral("导出进度"));
    checkButton_ = ui::addButton(this, QStringLiteral("户籍检查B1"), QStringLiteral("户籍检查"),
                                 {410, 160, 90, 30});

    undo_ = ui::addButton(this, QStringLiteral("撤销按钮"), QStringLiteral("撤销恢复/导入"),
                          {410, 240, 130, 30});
    connect(undo_, &QPushButton::clicked, this, &ExchangeWindow::undoLast);

    auto* close =
        ui::addButton(this, QStringLiteral("关闭"), QStringLiteral("关闭"), {680, 440, 80, 30});
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    connect(browseA1, &QPushButton::clicked, this, &ExchangeWindow::chooseWorkbook);
    connect(browseA2, &QPushButton::clicked, this, &ExchangeWindow::chooseImportTable);
    connect(importButton_, &QPushButton::clicked, this, &ExchangeWindow::runImport);
    connect(browseB1, &QPushButton::clicked, this, &ExchangeWindow::chooseExportTable);
    connect(exportButton_, &QPushButton::clicked, this, &ExchangeWindow::runExport);
    // Before the register is first touched: an action cut short is settled in the history.
    for (const QString& name : reg::history::settle(folder_).setAside)
        dialogs_.warning(reg::history::setAsideWarning(name));
    decideUndo();
    connect(checkButton_, &QPushButton::clicked, this, &ExchangeWindow::runHealthCheck);

    auto* statistics = ui::addButton(this, QStringLiteral("统计报表按钮"),
                                     QStringLiteral("统计报表"), {410, 200, 90, 30});
    // Placed last, read where it stands: between 户籍检查 and 撤销.
    setTabOrder(checkButton_, statistics);
    connect(statistics, &QPushButton::clicked, this, &ExchangeWindow::openStatistics);

    auto* autoBackup = ui::addButton(this, QStringLiteral("自动备份按钮"),
                                     QStringLiteral("自动备份"), {410, 360, 90, 30});
    // Read where it stands, below 查找重复 (both placed below) and before 关闭.
    connect(autoBackup, &QPushButton::clicked, this, [this] {
        auto* window = new AutoBackupWindow(folder_, dialogs_);
        window->setAttribute(Qt::WA_DeleteOnClose);
        connect(this, &ExchangeWindow::closed, window, &QWidget::close);
        connect(window, &AutoBackupWindow::restored, this, &ExchangeWindow::decideUndo);
        statistics_.emplace_back(window);
        window->show();
    });

    // In the free space below 撤销恢复/导入, read last in its column.
    auto* certificates = ui::addButton(this, QStringLiteral("证明记录按钮"),
                                       QStringLiteral("证明记录"), {410, 280, 90, 30});
    setTabOrder(undo_, certificates);
    connect(certificates, &QPushButton::clicked, this, [this] {
        auto* window = new maint::CertificateLogWindow(folder_, dialogs_);
        window->setAttribute(Qt::WA_DeleteOnClose);
        connect(this, &ExchangeWindow::closed, window, &QWidget::close);
        statistics_.emplace_back(window);
        window->show();
    });

    // Below 证明记录, read after it. One finder at a time: it changes the register through
    // this window's editor.
    auto* duplicates = ui::addButton(this, QStringLiteral("查找重复按钮"),
                                     QStringLiteral("查找重复"), {410, 320, 90, 30});
    setTabOrder(certificates, duplicates);
    connect(duplicates, &QPushButton::clicked, this, [this] {
        if (duplicates_) {
            duplicates_->raise();
            duplicates_->activateWindow();
            return;
        }
        auto* window = new DuplicateWindow(editor_, dialogs_);
        window->setAttribute(Qt::WA_DeleteOnClose);
        connect(this, &ExchangeWindow::closed, window, &QWidget::close);
        connect(window, &DuplicateWindow::changed, this, &ExchangeWindow::decideUndo);
        duplicates_ = window;
        statistics_.emplace_back(window);
        window->show();
    });
    setTabOrder(duplicates, autoBackup);
    setTabOrder(autoBackup, close);
}

void ExchangeWindow::openStatistics() {
    // The register chosen for the export, or the program's own.
    const QString path = exportEdit_->text().isEmpty() ? reg::pathIn(folder_, reg::names::kRegister)
                                                       : exportEdit_->text();
    auto* window = new StatisticsWindow(path, dialogs_);
    window->setAttribute(Qt::WA_DeleteOnClose);
    // It lives no longer than the window it was opened from: closed with it, and deleted with it
    // when the program ends with both open (it is a top-level window, so no child of this one).
    connect(this, &ExchangeWindow::closed, window, &QWidget::close);
    statistics_.emplace_back(window);
    window->show();
}

ExchangeWindow::~ExchangeWindow() {
    for (const QPointer<QWidget>& window : statistics_) delete window.data();
}

void ExchangeWindow::chooseWorkbook() {
    const QString chosen = dialogs_.openFile(
        {QStringLiteral("打开"), QStringLiteral("*.xls *.xlsx"), QString(), QString()});
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
    // A file that is no table lists no fields.
    static_cast<void>(store.OpenTable(lastImportTable_));
    fields_->clear();
    for (int i = 1; i <= store.FieldCount(); ++i) fields_->addItem(reg::fromGb(store.FieldName(i)));
    static_cast<void>(store.CloseAllTables());  // read only
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
    // Every row is checked before anything is written; a clean workbook goes in as always.
    ImportCheck check = checkImport(request);
    if (check.findings.empty()) return startImport(request);
    importButton_->setEnabled(false);
    auto* preview = new ImportPreview(std::move(check), dialogs_, factory_, this);
    preview->setAttribute(Qt::WA_DeleteOnClose);
    connect(preview, &ImportPreview::reportSaved, this, [this, preview](const QString& path) {
        static_cast<void>(reg::history::recordAccess(
            folder_, reg::history::Action::Export,
            QStringLiteral("导入预览报告（%1条）").arg(preview->check().findings.size()), path,
            -1));
    });
    connect(preview, &ImportPreview::chosen, this, [this, preview, request](ImportChoice choice) {
        afterPreview(request, preview->check(), choice);
    });
    preview->show();
}

void ExchangeWindow::afterPreview(ImportRequest request, const ImportCheck& check,
                                  ImportChoice choice) {
    importButton_->setEnabled(true);
    if (choice == ImportChoice::Cancel) return;
    if (choice == ImportChoice::All) return startImport(request);
    request.leaveOut.assign(size_t(check.rows), false);
    for (const KnownPerson& person : check.known) request.leaveOut[person.row] = true;
    const bool rest = std::count(request.leaveOut.begin(), request.leaveOut.end(), false) > 0;
    std::vector<edit::RecordChange> changes;
    if (choice == ImportChoice::UpdateKnown) {
        // One record matched by two rows takes the later row.
        for (const KnownPerson& person : check.known) {
            auto same = std::find_if(changes.begin(), changes.end(), [&](const auto& c) {
                return c.serial == person.before.front();
            });
            if (same != changes.end()) changes.erase(same);
            if (person.after != person.before)
                changes.push_back(
                    {edit::RecordChange::Kind::Modify, person.before.front(), person.after});
        }
    }
    if (!rest && !changes.empty()) {
        const edit::Outcome updated = editor_.applyChanges(changes);
        if (updated.done())
            dialogs_.notice(updated.message);
        else if (!updated.message.isEmpty())
            dialogs_.warning(updated.message);
        return decideUndo();
    }
    if (!rest) return dialogs_.notice(kNothingNew);
    startImport(request, changes);
}

void ExchangeWindow::startImport(const ImportRequest& request,
                                 const std::vector<edit::RecordChange>& updates) {
    const edit::Outcome imported = editor_.import(
        request, [this] { importButton_->setEnabled(false); }, [this] { animateImport(); });
    // The known persons' updates belong to the import: one undo takes back both.
    const std::optional<reg::history::Entry> import =
        imported.done() && !updates.empty() ? editor_.undoable() : std::nullopt;
    const edit::Outcome updated = import ? editor_.applyChanges(updates, import) : edit::Outcome{};
    if (imported.done())
        dialogs_.notice(imported.message);
    else if (!imported.message.isEmpty())
        dialogs_.warning(imported.message);
    if (import && !updated.done() && !updated.message.isEmpty()) dialogs_.warning(updated.message);
    setBar(importBar_, 0);
    importButton_->setEnabled(true);
    decideUndo();
}

void ExchangeWindow::decideUndo() {
    undo_->setEnabled(editor_.undoable().has_value());
    // Called after every change this window makes: an open finder lists what is there now.
    if (auto* finder = qobject_cast<DuplicateWindow*>(duplicates_.data())) finder->rescan();
}

void ExchangeWindow::undoLast() {
    const std::optional<reg::history::Entry> target = editor_.undoable();
    if (!target) return decideUndo();
    if (!dialogs_.question(undoQuestion(folder_, *target))) return;
    const edit::Outcome undone = editor_.undo(*target);
    decideUndo();
    if (undone.done())
        dialogs_.notice(undone.message);
    else
        dialogs_.warning(undone.message);
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

// Checks the register named in 编辑框B1 (the program folder's when the box is empty), offers the
// report for saving and tells how many findings of each kind there were. Nothing is refused or
// changed: the findings only inform. The check reads the whole register, so it runs off the
// window's thread with 进度条B1 showing how far it is.
void ExchangeWindow::runHealthCheck() {
    if (checking_->busy()) return;
    const QString path = exportEdit_->text().isEmpty() ? reg::pathIn(folder_, reg::names::kRegister)
                                                       : exportEdit_->text();
    checkButton_->setEnabled(false);
    checking_->run<RegisterHealth>(
        [path](const ui::Background::Progress& progress) {
            return checkRegisterFile(path, progress);
        },
        [this](int percent) { setBar(exportBar_, percent); },
        [this](RegisterHealth& health) { showHealth(health); });
}

void ExchangeWindow::showHealth(const RegisterHealth& health) {
    if (!health.opened) {
        checkButton_->setEnabled(true);
        return dialogs_.warning(msg::kChooseRegister);
    }
    if (!health.findings.empty()) {
        // The exports' save dialog: the report is a workbook like theirs.
        const QString report = dialogs_.saveFile(ui::workbookSaveRequest());
        if (!report.isEmpty()) {
            const exchange::ReportResult written =
                writeHealthReport(health.findings, report, factory_);
            // The report names persons: on record like an export.
            if (written == exchange::ReportResult::Saved)
                static_cast<void>(reg::history::recordAccess(
                    folder_, reg::history::Action::Export,
                    QStringLiteral("户籍检查报告（%1条）").arg(health.findings.size()), report,
                    -1));
            exchange::show(dialogs_, written);
        }
    }
    dialogs_.notice(healthSummary(health));
    setBar(exportBar_, 0);
    checkButton_->setEnabled(true);
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

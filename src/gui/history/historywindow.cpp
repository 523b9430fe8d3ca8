#include "gui/history/historywindow.h"

#include <QAbstractTableModel>
#include <QAction>
#include <QComboBox>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTreeView>

#include "core/edit/erasure.h"
#include "core/edit/transfer.h"
#include "core/query/homophone.h"
#include "core/register/files.h"
#include "core/register/person.h"
#include "core/register/retention.h"
#include "core/register/text.h"
#include "core/register/workfiles.h"
#include "core/workbook/spreadsheet.h"
#include "core/workbook/tablewriter.h"
#include "gui/ui/widgets.h"

namespace maint {

namespace history = reg::history;

namespace {

const QStringList kHeadings = {QStringLiteral("时间"), QStringLiteral("操作"),
                               QStringLiteral("序号"), QStringLiteral("姓名"),
                               QStringLiteral("说明")};

// What a replacement did, in a few words; the edits show their values side by side instead.
QString remark(const history::Entry& e) {
    const QString counts = e.countBefore >= 0 || e.countAfter >= 0
                               ? QStringLiteral("，记录 %1→%2").arg(e.countBefore).arg(e.countAfter)
                               : QString();
    switch (e.action) {
        case history::Action::Import:
            return QStringLiteral("表格文件 %1").arg(e.file) + counts;
        case history::Action::Restore:
            return QStringLiteral("备份文件 %1").arg(e.file) + counts;
        case history::Action::Undo:
            // An undone business puts its records back, no safety copy.
            if (e.copy.isEmpty() && !e.file.isEmpty())
                return QStringLiteral("撤销第 %1 条户籍业务 %2").arg(e.undoes).arg(e.file);
            return QStringLiteral("撤销第 %1 条，放回安全副本 %2").arg(e.undoes).arg(e.file) +
                   counts;
        case history::Action::Business:
            return e.file;
        case history::Action::Batch:
            return QStringLiteral("安全副本 %1").arg(e.copy) + counts;
        case history::Action::Certificate:
            // The certificate's template and person, as the log's fact names them.
            return e.file;
        case history::Action::Erase:
            return history::accessWhat(e);
        case history::Action::Export:
        case history::Action::Backup:
        case history::Action::Print:
            return history::accessWhat(e) + QStringLiteral("，") +
                   (e.action == history::Action::Print ? QStringLiteral("打印机 ")
                                                       : QStringLiteral("文件 ")) +
                   history::accessWhere(e) +
                   (e.countAfter >= 0 ? QStringLiteral("，%1 人").arg(e.countAfter) : QString());
        default:
            // A record of a batch names the batch's safety copy, one an import updated also the
            // import's workbook, one of a business only its title.
            if (!e.copy.isEmpty() && !e.file.isEmpty())
                return QStringLiteral("导入时更新（表格文件 %1）").arg(e.file);
            if (!e.copy.isEmpty()) return QStringLiteral("批量变更的一项");
            return e.file.isEmpty() ? QString() : QStringLiteral("户籍业务的一项");
    }
}

}  // namespace

// The entries as a table model: the list view asks only for the rows it shows, so a history of
// any length opens at once.
class HistoryModel : public QAbstractTableModel {
  public:
    std::vector<history::Entry> all;
    std::vector<size_t> shown;  // indices into `all`

    int rowCount(const QModelIndex& parent) const override {
        return parent.isValid() ? 0 : int(shown.size());
    }
    int columnCount(const QModelIndex&) const override { return int(kHeadings.size()); }
    QVariant headerData(int section, Qt::Orientation o, int role) const override {
        return o == Qt::Horizontal && role == Qt::DisplayRole ? QVariant(kHeadings[section])
                                                              : QVariant();
    }
    QVariant data(const QModelIndex& index, int role) const override {
        if (role != Qt::DisplayRole || !index.isValid()) return {};
        return text(at(index.row()), index.column());
    }
    const history::Entry& at(int row) const { return all[shown[size_t(row)]]; }
    static QString text(const history::Entry& e, int column) {
        switch (column) {
            case 0:
                return e.time;
            case 1:
                return history::actionName(e);
            case 2:
                return reg::fromGb(e.serial);
            case 3:
                return reg::fromGb(e.name);
            default:
                return remark(e);
        }
    }
    // Every entry anew, none shown until the next filter.
    void replace(std::vector<history::Entry> entries) {
        beginResetModel();
        all = std::move(entries);
        shown.clear();
        endResetModel();
    }
    void filter(const std::string& name, const std::string& serial, const history::Kind& kind) {
        beginResetModel();
        shown.clear();
        for (size_t i = 0; i < all.size(); ++i) {
            const history::Entry& e = all[i];
            if (!history::isOfKind(e, kind)) continue;
            if (!serial.empty() && e.serial != serial) continue;
            if (!name.empty() && !query::homophoneMatch(name, e.name)) continue;
            shown.push_back(i);
        }
        endResetModel();
    }
};

namespace {

// The list as a workbook, through the exports' table writer: the headings of the list over their
// widths, every value as the list shows it.
bool writeList(const std::vector<history::Entry>& entries, const QString& path,
               const exchange::Progress& progress) {
    std::unique_ptr<exchange::Spreadsheet> book = exchange::createSpreadsheet();
    if (!book) return false;
    exchange::Table table;
    for (int c = 0; c < int(kHeadings.size()); ++c)
        table.columns.push_back({kHeadings[c], c == 0 ? 20.0 : c == 4 ? 40.0 : 10.0});
    table.look.textMark = false;
    table.rows = long(entries.size());
    table.cell = [&entries](long row, int column, QString& text) {
        text += HistoryModel::text(entries[size_t(row)], column);
    };
    const bool saved =
        book->addWorkbook() &&
        exchange::writeTable(*book, table, exchange::rowsPerSheet(exchange::workbookKindOf(path)),
                             progress) &&
        exchange::saveWorkbook(*book, path);
    book->close();
    book->quit();
    return saved;
}

}  // namespace

HistoryWindow::HistoryWindow(QString folder, ui::Dialogs& dialogs, QWidget* parent)
    : QWidget(parent),
      folder_(std::move(folder)),
      dialogs_(dialogs),
      model_(std::make_unique<HistoryModel>()),
      exporting_(new ui::Background(this)) {
    ui::setUpWindow(this, QStringLiteral("澄禾社区户籍管理系统-变更记录   青石听雨 制作"),
                    {900, 660});
    ui::addLabel(this, QStringLiteral("透明标签H1"), QStringLiteral("姓名"), {20, 14, 36, 20});
    name_ =
        ui::addEdit(this, QStringLiteral("编辑框H1"), {56, 10, 110, 24}, QStringLiteral("姓名"));
    ui::addLabel(this, QStringLiteral("透明标签H2"), QStringLiteral("序号"), {180, 14, 36, 20});
    serial_ =
        ui::addEdit(this, QStringLiteral("编辑框H2"), {216, 10, 100, 24}, QStringLiteral("序号"));
    auto* filter =
        ui::addButton(this, QStringLiteral("筛选按钮"), QStringLiteral("筛选"), {330, 8, 70, 28});
    auto* all = ui::addButton(this, QStringLiteral("全部按钮"), QStringLiteral("全部显示"),
                              {410, 8, 80, 28});
    ui::addLabel(this, QStringLiteral("透明标签H4"), QStringLiteral("类别"), {500, 14, 36, 20});
    kind_ = ui::addControl<QComboBox>(this, QStringLiteral("类别框H1"), {536, 10, 150, 24},
                                      QStringLiteral("记录类别"));
    for (const history::Kind& k : history::kinds()) kind_->addItem(k.name);
    // Beside 导出记录, where the export's progress bar stands while it writes.
    summary_ = ui::addLabel(this, QStringLiteral("透明标签H3"), QString(), {120, 537, 300, 20});

    list_ = new QTreeView(this);
    list_->setObjectName(QStringLiteral("记录列表"));
    list_->setGeometry(20, 45, 540, 470);
    ui::nameForReaders(list_, QStringLiteral("变更记录列表"));
    list_->setRootIsDecorated(false);
    list_->setUniformRowHeights(true);
    list_->setAllColumnsShowFocus(true);
    list_->setModel(model_.get());
    list_->header()->resizeSection(0, 130);
    list_->header()->resizeSection(1, 90);
    list_->header()->resizeSection(2, 60);
    list_->header()->resizeSection(3, 70);

    values_ = new QTableWidget(reg::kFieldCount, 3, this);
    values_->setObjectName(QStringLiteral("对照表"));
    values_->setGeometry(570, 45, 310, 470);
    ui::nameForReaders(values_, QStringLiteral("变更前后对照"));
    values_->setHorizontalHeaderLabels(
        {QStringLiteral("字段"), QStringLiteral("变更前"), QStringLiteral("变更后")});
    values_->verticalHeader()->hide();
    values_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    values_->setColumnWidth(0, 86);
    values_->setColumnWidth(1, 100);
    values_->setColumnWidth(2, 100);

    exportButton_ = ui::addButton(this, QStringLiteral("导出按钮"), QStringLiteral("导出记录"),
                                  {20, 530, 90, 30});
    // Shown only while the list is being written.
    exportBar_ =
        ui::addControl<QProgressBar>(this, QStringLiteral("导出进度条"), {120, 535, 300, 20});
    exportBar_->setAccessibleName(QStringLiteral("导出进度"));
    exportBar_->setRange(0, 100);
    exportBar_->setTextVisible(false);
    exportBar_->hide();
    auto* close = ui::addButton(this, QStringLiteral("关闭按钮"), QStringLiteral("关闭窗口"),
                                {790, 530, 90, 30});
    // In the free space left of 关闭窗口, and in the list's menu: usable on a business's line.
    undoButton_ = ui::addButton(this, QStringLiteral("撤销业务按钮"),
                                QStringLiteral("撤销此次业务"), {670, 530, 110, 30});
    undoAction_ = new QAction(QStringLiteral("撤销此次业务"), list_);
    undoAction_->setObjectName(QStringLiteral("撤销此次业务"));
    list_->setContextMenuPolicy(Qt::ActionsContextMenu);
    list_->addAction(undoAction_);
    // A row of its own under the bottom row (the window is 40 taller for it): how long what is
    // kept of people besides the register stays, and the erasure of one person.
    ui::addLabel(this, QStringLiteral("透明标签H5"), QStringLiteral("安全副本保存"),
                 {20, 581, 78, 20});
    copyDays_ = ui::addControl<QSpinBox>(this, QStringLiteral("保存天数框"), {100, 577, 80, 24},
                                         QStringLiteral("安全副本保存天数"));
    copyDays_->setRange(0, reg::retention::kMostCopyDays);
    copyDays_->setSuffix(QStringLiteral(" 天"));
    copyDays_->setSpecialValueText(QStringLiteral("不限"));
    ui::addLabel(this, QStringLiteral("透明标签H6"), QStringLiteral("变更记录保存"),
                 {200, 581, 78, 20});
    historyYears_ = ui::addControl<QSpinBox>(this, QStringLiteral("保存年数框"), {280, 577, 90, 24},
                                             QStringLiteral("变更记录保存年数"));
    historyYears_->setRange(0, reg::retention::kMostHistoryYears);
    historyYears_->setSuffix(QStringLiteral(" 年"));
    historyYears_->setSpecialValueText(QStringLiteral("一直保存"));
    auto* retain = ui::addButton(this, QStringLiteral("保存期限按钮"),
                                 QStringLiteral("设定保存期限"), {390, 574, 110, 30});
    connect(retain, &QPushButton::clicked, this, &HistoryWindow::setRetention);
    auto* erase = ui::addButton(this, QStringLiteral("彻底清除按钮"), QStringLiteral("彻底清除"),
                                {520, 574, 100, 30});
    connect(erase, &QPushButton::clicked, this, &HistoryWindow::erasePerson);
    showRetention();
    connect(undoButton_, &QPushButton::clicked, this, &HistoryWindow::requestUndo);
    connect(undoAction_, &QAction::triggered, this, &HistoryWindow::requestUndo);
    connect(filter, &QPushButton::clicked, this, &HistoryWindow::applyFilter);
    connect(all, &QPushButton::clicked, this, [this] {
        name_->clear();
        serial_->clear();
        kind_->setCurrentIndex(0);
        applyFilter();
    });
    connect(kind_, &QComboBox::currentIndexChanged, this, &HistoryWindow::applyFilter);
    connect(exportButton_, &QPushButton::clicked, this, &HistoryWindow::exportList);
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    connect(list_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            &HistoryWindow::showEntry);
    reload();
}

HistoryWindow::~HistoryWindow() = default;

void HistoryWindow::showSerial(const QString& serial) {
    name_->clear();
    serial_->setText(serial);
    reload();
}

void HistoryWindow::reload() {
    model_->replace(history::entries(folder_));
    applyFilter();
}

void HistoryWindow::applyFilter() {
    // Blanks mean nothing in a name or a number, as in the entry form.
    const auto bare = [](QString t) { return reg::toGb(t.remove(QLatin1Char(' '))); };
    const auto& kinds = history::kinds();
    const int kind = std::clamp(kind_->currentIndex(), 0, int(kinds.size()) - 1);
    model_->filter(bare(name_->text()), bare(serial_->text()), kinds[size_t(kind)]);
    const auto size = reg::files::size(reg::pathIn(folder_, history::kFileName));
    summary_->setText(QStringLiteral("显示 %1 条，共 %2 条变更记录（%3 KB）")
                          .arg(model_->shown.size())
                          .arg(model_->all.size())
                          .arg((std::max<int64_t>(size, 0) + 1023) / 1024));
    showEntry();
}

std::optional<long long> HistoryWindow::selectedBusiness() const {
    const QModelIndex current = list_->currentIndex();
    if (!current.isValid()) return std::nullopt;
    const history::Entry& e = model_->at(current.row());
    if (e.action != history::Action::Business) return std::nullopt;
    return e.id;
}

void HistoryWindow::requestUndo() {
    if (const auto id = selectedBusiness()) emit undoBusinessRequested(*id);
}

void HistoryWindow::showEntry() {
    const bool business = selectedBusiness().has_value();
    undoButton_->setEnabled(business);
    undoAction_->setEnabled(business);
    const QModelIndex current = list_->currentIndex();
    std::optional<history::Entry> e;
    if (current.isValid()) e = history::entry(folder_, model_->at(current.row()).id);
    for (int pos = 1; pos <= reg::kFieldCount; ++pos) {
        const size_t i = size_t(pos - 1);
        const QString before = e && i < e->before.size() ? reg::fromGb(e->before[i]) : QString();
        const QString after = e && i < e->after.size() ? reg::fromGb(e->after[i]) : QString();
        values_->setItem(pos - 1, 0, new QTableWidgetItem(reg::fromGb(reg::fieldName(pos))));
        values_->setItem(pos - 1, 1, new QTableWidgetItem(before));
        auto* cell = new QTableWidgetItem(after);
        // What changed stands out.
        if (e && !e->before.empty() && !e->after.empty() && before != after)
            cell->setForeground(Qt::red);
        values_->setItem(pos - 1, 2, cell);
    }
}

void HistoryWindow::exportList() {
    if (exporting_->busy()) return;
    const QString path = dialogs_.saveFile(ui::workbookSaveRequest(QStringLiteral("导出变更记录")));
    if (path.isEmpty()) return;
    // The worker gets its own copy of the list shown: the window may filter again meanwhile.
    std::vector<history::Entry> entries;
    entries.reserve(model_->shown.size());
    for (size_t i : model_->shown) entries.push_back(model_->all[i]);
    exportButton_->setEnabled(false);
    exportBar_->setValue(0);
    summary_->hide();
    exportBar_->show();
    exporting_->run<bool>(
        [entries = std::move(entries), path](const ui::Background::Progress& progress) {
            return writeList(entries, path, progress);
        },
        [this](int percent) { exportBar_->setValue(percent); },
        [this, path](bool& saved) {
            exportBar_->hide();
            summary_->show();
            // The list names persons: its leaving is a fact like any export's.
            if (saved)
                static_cast<void>(history::recordAccess(folder_, history::Action::Export,
                                                        QStringLiteral("变更记录"), path, -1));
            if (saved)
                dialogs_.notice(QStringLiteral("  导出成功"));
            else
                dialogs_.warning(exchange::msg::kSaveFailed);
            exportButton_->setEnabled(true);
        });
}

void HistoryWindow::showRetention() {
    const reg::retention::Policy saved = reg::retention::policy(folder_);
    copyDays_->setValue(saved.copyDays);
    historyYears_->setValue(saved.historyYears);
}

void HistoryWindow::setRetention() {
    namespace retention = reg::retention;
    const retention::Policy wanted{copyDays_->value(), historyYears_->value()};
    const QDateTime now = QDateTime::currentDateTime();
    const retention::Due due = retention::due(folder_, wanted, now);
    QStringList removed;
    if (!due.copies.isEmpty())
        removed
            << QStringLiteral("%1天以前的%2个安全副本").arg(wanted.copyDays).arg(due.copies.size());
    if (due.entries > 0)
        removed << QStringLiteral("%1以前的%2条变更记录").arg(due.before.left(10)).arg(due.entries);
    if (!removed.isEmpty() &&
        !dialogs_.question(QStringLiteral("将删除%1，删除后不能恢复。确定吗？")
                               .arg(removed.join(QStringLiteral("和"))))) {
        showRetention();
        return;
    }
    if (!retention::setPolicy(folder_, wanted)) {
        showRetention();
        return dialogs_.warning(QStringLiteral("保存期限设定失败！"));
    }
    static_cast<void>(retention::apply(folder_, now));  // logs itself
    reload();
    dialogs_.notice(QStringLiteral("保存期限已设定：%1。").arg(retention::describe(wanted)));
}

void HistoryWindow::erasePerson() {
    namespace erasure = edit::erasure;
    const QModelIndex current = list_->currentIndex();
    std::optional<history::Entry> e;
    if (current.isValid()) e = history::entry(folder_, model_->at(current.row()).id);
    const std::optional<erasure::Person> person = e ? erasure::erasable(folder_, *e) : std::nullopt;
    if (!person)
        return dialogs_.warning(
            QStringLiteral("请先在列表中选中一条已不在户籍中的人员的记录（删除或清空的记录）！"));
    const QString who =
        QStringLiteral("%1（序号 %2）").arg(reg::fromGb(person->name), reg::fromGb(person->serial));
    if (!dialogs_.question(
            QStringLiteral("将从变更记录、安全副本、自动备份和证明开具记录中彻底清除%1的全部信息，"
                           "只留下“已清除”的记录。清除后无法找回，也不能撤销。确定吗？")
                .arg(who)))
        return;
    if (!dialogs_.question(QStringLiteral("请再次确认：彻底清除%1的信息吗？").arg(who))) return;
    const erasure::Result r = erasure::erase(folder_, *person);
    reload();
    if (!r.ok)
        return dialogs_.warning(
            QStringLiteral("彻底清除没有全部完成（%1）！已清除：%2。原因已写入运行日志，"
                           "请检查后再按一次彻底清除。")
                .arg(r.step, erasure::describe(r)));
    dialogs_.notice(QStringLiteral("彻底清除完成，已清除：%1。").arg(erasure::describe(r)));
}

}  // namespace maint

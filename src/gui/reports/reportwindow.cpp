#include "gui/reports/reportwindow.h"

#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <algorithm>
#include <memory>

#include "core/edit/certificatelog.h"
#include "core/edit/reportbook.h"
#include "core/register/history.h"
#include "core/register/person.h"
#include "core/register/text.h"
#include "gui/ui/widgets.h"

namespace maint {

namespace {

const QString kNoReport = QStringLiteral("户籍数据文件无法打开，未能生成报表！");
const QString kPdfSaved = QStringLiteral("  保存成功");
const QString kPdfFailed = QStringLiteral("PDF文件未能写入所选位置！");
const QString kBookSaved = QStringLiteral("  导出成功");
const QString kBookFailed = QStringLiteral("表格未能写入所选位置！");
const QString kPrintFailed = QStringLiteral("报表未能打印，请检查打印机！");
const QString kNoPrefix = QStringLiteral("请输入地址开头，例如“青石村1组”！");
const QString kNoColumns = QStringLiteral("请至少勾选一列！");

QString titleFor(const QString& name) {
    return QStringLiteral("澄禾社区户籍管理系统-") + name + QStringLiteral("   青石听雨 制作");
}

enum Answer { kNoRegister, kDone, kFailed };

// The report's table as it will print: a household line spans the table, totals are bold.
void fillPreview(QTableWidget* table, const query::Report& report) {
    table->setColumnCount(int(report.columns.size()));
    QStringList headings;
    for (const query::ReportColumn& c : report.columns) headings << c.heading;
    table->setHorizontalHeaderLabels(headings);
    table->setRowCount(int(report.rows.size()));
    for (size_t r = 0; r < report.rows.size(); ++r) {
        const query::ReportRow& row = report.rows[r];
        const int cells = row.kind == query::ReportRow::Kind::Group
                              ? std::min<int>(1, int(row.cells.size()))
                              : std::min<int>(int(row.cells.size()), table->columnCount());
        for (int c = 0; c < cells; ++c) {
            auto* item = new QTableWidgetItem(row.cells[size_t(c)]);
            if (row.kind != query::ReportRow::Kind::Data) {
                QFont font = table->font();
                font.setBold(true);
                item->setFont(font);
            }
            if (size_t(c) < report.columns.size() && report.columns[size_t(c)].alignRight &&
                row.kind != query::ReportRow::Kind::Group)
                item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            table->setItem(int(r), c, item);
        }
        if (row.kind == query::ReportRow::Kind::Group && table->columnCount() > 1)
            table->setSpan(int(r), 0, 1, table->columnCount());
    }
}

// A window of the papers belongs to the window it was opened from.
template <class W>
W* adopt(W* window, QWidget* from) {
    window->setParent(from, Qt::Window);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->show();
    window->raise();
    window->activateWindow();
    return window;
}

}  // namespace

// ---- The three buttons ----

PaperButtons::PaperButtons(QWidget* window, ui::Dialogs& dialogs, QString folder, int x, int y,
                           Prepare prepare)
    : QObject(window),
      window_(window),
      dialogs_(dialogs),
      folder_(std::move(folder)),
      prepare_(std::move(prepare)),
      worker_(new ui::Background(this)) {
    bar_ = ui::addControl<QProgressBar>(window, QStringLiteral("报表进度条"),
                                        {10, y + 5, std::max(x - 20, 50), 20});
    bar_->setAccessibleName(QStringLiteral("报表进度"));
    bar_->setRange(0, 100);
    bar_->hide();
    const std::vector<std::pair<QString, Out>> kinds{{QStringLiteral("打印"), Out::Print},
                                                     {QStringLiteral("保存PDF"), Out::Pdf},
                                                     {QStringLiteral("保存表格"), Out::Workbook}};
    for (const auto& kind : kinds) {
        auto* button =
            ui::addButton(window, kind.first + QStringLiteral("按钮"), kind.first, {x, y, 90, 30});
        const Out out = kind.second;
        connect(button, &QPushButton::clicked, this, [this, out] { run(out); });
        buttons_.push_back(button);
        x += 100;
    }
}

void PaperButtons::enable(bool on) {
    for (QPushButton* b : buttons_) b->setEnabled(on);
    bar_->setVisible(!on);
    bar_->setValue(0);
}

void PaperButtons::run(Out out) {
    if (worker_->busy()) return;
    Build build = prepare_ ? prepare_() : Build();
    if (!build) return;
    QString path;
    if (out == Out::Pdf)
        path = dialogs_.saveFile({QStringLiteral("保存PDF"), QStringLiteral("PDF文件 (*.pdf)"),
                                  QString(), QStringLiteral("pdf")});
    if (out == Out::Workbook)
        path = dialogs_.saveFile(ui::workbookSaveRequest(QStringLiteral("保存表格")));
    if (out != Out::Print && path.isEmpty()) return;
    const ReportHeader header{cert::settings(folder_).village, QDate::currentDate()};
    // The report is kept for the print dialog, which only the window's thread may show.
    auto built = std::make_shared<std::optional<query::Report>>();
    enable(false);
    worker_->run<int>(
        [build, out, path, header, built](const ui::Background::Progress& progress) {
            // Building is the first half of the bar, writing the second.
            *built = build([&progress, out](int p) { progress(out == Out::Print ? p : p / 2); });
            if (!*built) return int(kNoRegister);
            const auto second = [&progress](int p) { progress(50 + p / 2); };
            if (out == Out::Pdf)
                return int(writeReportPdf(path, **built, header, second) ? kDone : kFailed);
            if (out == Out::Workbook)
                return int(exchange::writeReportWorkbook(path, **built, second) ? kDone : kFailed);
            return int(kDone);
        },
        [this](int percent) { bar_->setValue(percent); },
        [this, out, built, path](int& answer) { finish(out, answer, built, path); });
}

void PaperButtons::finish(Out out, int answer, std::shared_ptr<std::optional<query::Report>> built,
                          const QString& path) {
    enable(true);
    if (answer == kNoRegister) return dialogs_.warning(kNoReport);
    // Every paper that leaves the program is on record: what, for how many persons, where.
    const auto recordLeaving = [this, &built](reg::history::Action kind, const QString& where) {
        static_cast<void>(
            reg::history::recordAccess(folder_, kind, (*built)->title, where, (*built)->persons));
    };
    if (out != Out::Print && answer == kDone) recordLeaving(reg::history::Action::Export, path);
    switch (out) {
        case Out::Print: {
            QString printer;
            const PrintResult printed =
                printReport(window_, **built,
                            {cert::settings(folder_).village, QDate::currentDate()}, &printer);
            if (printed == PrintResult::Failed) dialogs_.warning(kPrintFailed);
            if (printed == PrintResult::Printed)
                recordLeaving(reg::history::Action::Print, printer);
            return;
        }
        case Out::Pdf:
            return answer == kDone ? dialogs_.notice(kPdfSaved) : dialogs_.warning(kPdfFailed);
        case Out::Workbook:
            return answer == kDone ? dialogs_.notice(kBookSaved) : dialogs_.warning(kBookFailed);
    }
}

// ---- A report as it will print ----

ReportWindow::ReportWindow(query::Report report, const QString& name, QString folder,
                           ui::Dialogs& dialogs, QWidget* parent)
    : QWidget(parent), report_(std::move(report)) {
    ui::setUpWindow(this, titleFor(name), {808, 600});
    auto* title =
        ui::addLabel(this, QStringLiteral("报表标题标签"), report_.title, {10, 8, 780, 24});
    title->setAlignment(Qt::AlignCenter);
    QFont big = title->font();
    big.setPointSize(14);
    big.setBold(true);
    title->setFont(big);
    auto* subtitle =
        ui::addLabel(this, QStringLiteral("报表说明标签"), report_.subtitle, {10, 34, 780, 20});
    subtitle->setAlignment(Qt::AlignCenter);
    auto* table = ui::addControl<QTableWidget>(this, QStringLiteral("报表表格框"),
                                               {10, 58, 780, 380}, report_.title);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->verticalHeader()->hide();
    table->verticalHeader()->setDefaultSectionSize(20);
    table->horizontalHeader()->setStretchLastSection(true);
    fillPreview(table, report_);
    table->resizeColumnsToContents();
    QString notes;
    for (const QString& n : report_.notes) notes += (notes.isEmpty() ? QString() : "\n") + n;
    auto* noteLabel = ui::addLabel(this, QStringLiteral("报表附注标签"), notes, {10, 442, 780, 70});
    noteLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    noteLabel->setWordWrap(true);

    auto shared = std::make_shared<query::Report>(report_);
    // A paper naming persons can leave the office with their identity numbers masked.
    const QString identity = reg::fromGb(reg::fieldName(reg::F公民身份号码));
    const bool namesPersons =
        std::any_of(report_.columns.begin(), report_.columns.end(),
                    [&identity](const query::ReportColumn& c) { return c.heading == identity; });
    if (namesPersons) {
        mask_ = ui::addControl<QCheckBox>(this, QStringLiteral("隐藏身份证号中间位复选框"),
                                          {10, 562, 300, 24}, QStringLiteral("隐藏身份证号中间位"));
        mask_->setText(QStringLiteral("打印、保存时隐藏身份证号中间位"));
    }
    paper_ = new PaperButtons(this, dialogs, std::move(folder), 390, 520, [this, shared] {
        const bool mask = mask_ && mask_->isChecked();
        return PaperButtons::Build([shared, mask](const PaperProgress&) {
            std::optional<query::Report> out(*shared);
            if (mask) query::maskIdentityColumn(*out);
            return out;
        });
    });
    auto* close =
        ui::addButton(this, QStringLiteral("关闭按钮"), QStringLiteral("关闭"), {700, 520, 90, 30});
    connect(close, &QPushButton::clicked, this, &QWidget::close);
}

// ---- 花名册 ----

RosterWindow::RosterWindow(QString folder, QString registerPath, ui::Dialogs& dialogs,
                           std::vector<std::vector<std::string>> given, QWidget* parent)
    : QWidget(parent),
      registerPath_(std::move(registerPath)),
      dialogs_(dialogs),
      given_(std::move(given)) {
    ui::setUpWindow(this, titleFor(QStringLiteral("花名册")), {528, 500});
    ui::addLabel(this, QStringLiteral("人员标签"), QStringLiteral("列入人员"), {10, 10, 100, 20});
    const auto radio = [this](const QString& name, const QString& text, QRect place) {
        auto* button = ui::addControl<QRadioButton>(this, name, place, text);
        button->setText(text);
        return button;
    };
    all_ = radio(QStringLiteral("整个户籍单选钮"), QStringLiteral("整个户籍"), {20, 34, 120, 24});
    registered_ =
        radio(QStringLiteral("仅在册单选钮"), QStringLiteral("仅在册"), {150, 34, 100, 24});
    result_ = radio(QStringLiteral("查询结果单选钮"),
                    QStringLiteral("查询结果（%1人）").arg(given_.size()), {260, 34, 240, 24});
    prefix_ =
        radio(QStringLiteral("地址开头单选钮"), QStringLiteral("地址开头为"), {20, 64, 110, 24});
    prefixEdit_ = ui::addEdit(this, QStringLiteral("地址开头框"), {130, 63, 250, 26},
                              QStringLiteral("地址开头"));
    result_->setEnabled(!given_.empty());
    (given_.empty() ? registered_ : result_)->setChecked(true);
    connect(prefixEdit_, &QLineEdit::textEdited, this, [this] { prefix_->setChecked(true); });

    ui::addLabel(this, QStringLiteral("列标签"), QStringLiteral("列（勾选并排序）"),
                 {10, 100, 200, 20});
    columns_ = ui::addControl<QListWidget>(this, QStringLiteral("列列表框"), {20, 124, 240, 270},
                                           QStringLiteral("花名册的列"));
    // The default columns first in their order and ticked, then every other field.
    std::vector<int> order = query::defaultRosterColumns();
    const size_t ticked = order.size();
    for (int pos = 1; pos <= reg::kFieldCount; ++pos)
        if (std::find(order.begin(), order.end(), pos) == order.end()) order.push_back(pos);
    for (size_t i = 0; i < order.size(); ++i) {
        auto* item = new QListWidgetItem(reg::fromGb(reg::fieldName(order[i])), columns_);
        item->setData(Qt::UserRole, order[i]);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(i < ticked ? Qt::Checked : Qt::Unchecked);
    }
    columns_->setCurrentRow(0);
    auto* up =
        ui::addButton(this, QStringLiteral("上移按钮"), QStringLiteral("上移"), {270, 124, 80, 30});
    auto* down =
        ui::addButton(this, QStringLiteral("下移按钮"), QStringLiteral("下移"), {270, 164, 80, 30});
    connect(up, &QPushButton::clicked, this, [this] { move(-1); });
    connect(down, &QPushButton::clicked, this, [this] { move(1); });
    mask_ = ui::addControl<QCheckBox>(this, QStringLiteral("隐藏身份证号中间位复选框"),
                                      {270, 214, 230, 24}, QStringLiteral("隐藏身份证号中间位"));
    mask_->setText(QStringLiteral("隐藏身份证号中间位"));

    paper_ = new PaperButtons(this, dialogs, std::move(folder), 110, 410, [this] {
        const std::optional<query::RosterChoice> chosen = choice();
        if (!chosen) return PaperButtons::Build();
        return PaperButtons::Build([path = registerPath_, c = *chosen](const PaperProgress& p) {
            return query::roster(path, c, p);
        });
    });
    // The bar goes in the free space under the check box, wider than beside the buttons.
    ui::control<QProgressBar>(this, QStringLiteral("报表进度条"))->setGeometry(270, 370, 230, 20);
    auto* close =
        ui::addButton(this, QStringLiteral("关闭按钮"), QStringLiteral("关闭"), {410, 410, 90, 30});
    connect(close, &QPushButton::clicked, this, &QWidget::close);
}

void RosterWindow::move(int by) {
    const int row = columns_->currentRow();
    const int to = row + by;
    if (row < 0 || to < 0 || to >= columns_->count()) return;
    QListWidgetItem* item = columns_->takeItem(row);
    columns_->insertItem(to, item);
    columns_->setCurrentRow(to);
}

std::optional<query::RosterChoice> RosterWindow::choice() {
    query::RosterChoice c;
    if (registered_->isChecked()) c.persons = query::RosterChoice::Persons::Registered;
    if (result_->isChecked()) {
        c.persons = query::RosterChoice::Persons::Given;
        c.given = given_;
    }
    if (prefix_->isChecked()) {
        c.persons = query::RosterChoice::Persons::AddressPrefix;
        c.addressPrefix = reg::toGb(prefixEdit_->text().trimmed());
        if (c.addressPrefix.empty()) {
            dialogs_.warning(kNoPrefix);
            return std::nullopt;
        }
    }
    for (int i = 0; i < columns_->count(); ++i)
        if (columns_->item(i)->checkState() == Qt::Checked)
            c.columns.push_back(columns_->item(i)->data(Qt::UserRole).toInt());
    if (c.columns.empty()) {
        dialogs_.warning(kNoColumns);
        return std::nullopt;
    }
    c.maskIdentity = mask_->isChecked();
    c.reference = QDate::currentDate();
    return c;
}

// ---- Opening ----

ReportWindow* openChangeReport(QWidget* from, ui::Dialogs& dialogs, const QString& folder,
                               const QString& registerPath, const query::Period& period) {
    std::optional<query::Report> report = query::changeReport(folder, registerPath, period);
    if (!report) {
        dialogs.warning(kNoReport);
        return nullptr;
    }
    return adopt(
        new ReportWindow(std::move(*report), QStringLiteral("人口变动表"), folder, dialogs), from);
}

ReportWindow* openChangeBook(QWidget* from, ui::Dialogs& dialogs, const QString& folder,
                             const QString& registerPath, const query::Period& period) {
    std::optional<query::Report> report = query::changeBook(folder, registerPath, period);
    if (!report) {
        dialogs.warning(kNoReport);
        return nullptr;
    }
    return adopt(
        new ReportWindow(std::move(*report), QStringLiteral("变动登记簿"), folder, dialogs), from);
}

RosterWindow* openRoster(QWidget* from, ui::Dialogs& dialogs, const QString& folder,
                         const QString& registerPath, std::vector<std::vector<std::string>> given) {
    return adopt(new RosterWindow(folder, registerPath, dialogs, std::move(given)), from);
}

}  // namespace maint

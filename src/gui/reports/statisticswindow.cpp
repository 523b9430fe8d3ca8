#include "gui/reports/statisticswindow.h"

#include <QBarCategoryAxis>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QDateEdit>
#include <QFileInfo>
#include <QHeaderView>
#include <QHorizontalBarSeries>
#include <QHorizontalStackedBarSeries>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QValueAxis>
#include <algorithm>

#include "core/edit/statisticsbook.h"
#include "core/query/population.h"
#include "core/register/history.h"
#include "core/register/person.h"
#include "core/register/text.h"
#include "gui/reports/reportwindow.h"
#include "gui/ui/widgets.h"

namespace exchange {

namespace {

const QString kCannotRead = QStringLiteral("所选文件不是户籍数据文件，无法统计！");
const QString kExported = QStringLiteral("  导出成功");
const QString kNotExported = QStringLiteral("统计报表未能写入所选文件！");
const QString kSaved = QStringLiteral("  保存成功");
const QString kNotSaved = QStringLiteral("图表未能写入所选文件！");

enum PeriodKind { kMonth, kQuarter, kYear, kDates };

QDateEdit* addDate(QWidget* parent, const QString& name, QRect place, const QString& spoken) {
    auto* edit = ui::addControl<QDateEdit>(parent, name, place, spoken);
    edit->setDisplayFormat(QStringLiteral("yyyy年M月d日"));
    edit->setCalendarPopup(true);
    edit->setDateRange(QDate(1000, 1, 1), QDate(9999, 12, 31));
    return edit;
}

QTableWidget* addTable(QWidget* parent, const QString& name, QRect place, const QString& spoken) {
    auto* table = ui::addControl<QTableWidget>(parent, name, place, spoken);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->verticalHeader()->hide();
    table->verticalHeader()->setDefaultSectionSize(20);
    table->horizontalHeader()->setStretchLastSection(true);
    return table;
}

QChartView* addChart(QWidget* parent, const QString& name, QRect place, const QString& spoken) {
    auto* view = ui::addControl<QChartView>(parent, name, place, spoken);
    view->setRenderHint(QPainter::Antialiasing);
    return view;
}

// Replaces the chart a view shows; the view gives the old one back to be deleted.
void install(QChartView* view, QChart* chart, const QString& title) {
    chart->setTitle(title);
    chart->setTitleFont(ui::uiFont(10));
    chart->legend()->setFont(ui::uiFont(8));
    chart->setMargins(QMargins(2, 2, 2, 2));
    for (QAbstractAxis* axis : chart->axes()) {
        axis->setLabelsFont(ui::uiFont(7));
        axis->setTruncateLabels(false);
    }
    QChart* old = view->chart();
    view->setChart(chart);
    delete old;
}

// Horizontal bars: a row per category down the left, counts from `low` to `high` along the foot.
QChart* barChart(QAbstractBarSeries* series, const QStringList& categories, double low,
                 double high) {
    auto* chart = new QChart;
    chart->addSeries(series);
    auto* rows = new QBarCategoryAxis;
    rows->append(categories);
    chart->addAxis(rows, Qt::AlignLeft);
    series->attachAxis(rows);
    auto* values = new QValueAxis;
    values->setRange(low, high);
    values->applyNiceNumbers();
    values->setLabelFormat(QStringLiteral("%d"));
    chart->addAxis(values, Qt::AlignBottom);
    series->attachAxis(values);
    return chart;
}

// A horizontal bar per row of a tally, so that long names read across.
QChart* tallyChart(const query::Tally& t) {
    auto* set = new QBarSet(QStringLiteral("人数"));
    QStringList names;
    long most = 0;
    for (size_t i = 0; i < t.labels.size(); ++i) {
        *set << double(t.counts[i]);
        names << reg::fromGb(t.labels[i]);
        most = std::max(most, t.counts[i]);
    }
    auto* series = new QHorizontalBarSeries;
    series->append(set);
    QChart* chart = barChart(series, names, 0, double(std::max(most, 4L)));
    chart->legend()->hide();
    return chart;
}

// The pyramid: men to the left as negative lengths, women to the right.
QChart* pyramidChart(const query::Statistics& s) {
    auto* men = new QBarSet(QStringLiteral("男"));
    auto* women = new QBarSet(QStringLiteral("女"));
    QStringList bands;
    long widest = 4;
    for (int band = 0; band < query::kAgeBands; ++band) {
        const long m = s.sexByAge[size_t(band)][query::kMale];
        const long w = s.sexByAge[size_t(band)][query::kFemale];
        *men << -double(m);
        *women << double(w);
        bands << query::ageBandName(band);
        widest = std::max({widest, m, w});
    }
    auto* series = new QHorizontalStackedBarSeries;
    series->append(men);
    series->append(women);
    series->setBarWidth(0.9);
    QChart* chart = barChart(series, bands, -double(widest), double(widest));
    QAbstractAxis* values = chart->axes(Qt::Horizontal).front();
    values->setTitleText(QStringLiteral("← 男    人数    女 →"));
    values->setTitleFont(ui::uiFont(8));
    chart->legend()->setAlignment(Qt::AlignRight);
    return chart;
}

void fill(QTableWidget* table, const query::Sheet& sheet) {
    table->clear();
    if (sheet.rows.empty()) return;
    const auto& head = sheet.rows.front();
    table->setColumnCount(int(head.size()));
    table->setRowCount(int(sheet.rows.size()) - 1);
    QStringList headings;
    for (const QString& h : head) headings << h;
    table->setHorizontalHeaderLabels(headings);
    for (size_t r = 1; r < sheet.rows.size(); ++r)
        for (size_t c = 0; c < sheet.rows[r].size(); ++c)
            table->setItem(int(r) - 1, int(c), new QTableWidgetItem(sheet.rows[r][c]));
}

}  // namespace

StatisticsWindow::StatisticsWindow(QString registerPath, ui::Dialogs& dialogs, QWidget* parent)
    : QWidget(parent),
      path_(std::move(registerPath)),
      dialogs_(dialogs),
      counter_(new ui::Background(this)) {
    ui::setUpWindow(this, QStringLiteral("澄禾社区户籍管理系统-统计报表   青石听雨 制作"),
                    {1008, 754});
    const QDate today = QDate::currentDate();

    ui::addLabel(this, QStringLiteral("透明标签S1"), QStringLiteral("基准日期"), {10, 14, 60, 20});
    reference_ =
        addDate(this, QStringLiteral("日期框S1"), {70, 10, 125, 26}, QStringLiteral("基准日期"));
    reference_->setDate(today);
    ui::addLabel(this, QStringLiteral("透明标签S2"), QStringLiteral("统计期间"), {210, 14, 60, 20});
    periodKind_ = ui::addControl<QComboBox>(this, QStringLiteral("组合框S1"), {270, 10, 100, 26},
                                            QStringLiteral("统计期间"));
    periodKind_->addItems({QStringLiteral("按月"), QStringLiteral("按季度"), QStringLiteral("按年"),
                           QStringLiteral("按起止日期")});
    year_ = new QSpinBox(this);
    year_->setObjectName(QStringLiteral("数字框S1"));
    year_->setGeometry(380, 10, 80, 26);
    ui::nameForReaders(year_, QStringLiteral("统计年份"));
    year_->setRange(1000, 9999);
    year_->setSuffix(QStringLiteral("年"));
    year_->setValue(today.year());
    part_ = ui::addControl<QComboBox>(this, QStringLiteral("组合框S2"), {470, 10, 90, 26},
                                      QStringLiteral("统计月份或季度"));
    from_ =
        addDate(this, QStringLiteral("日期框S2"), {570, 10, 125, 26}, QStringLiteral("起始日期"));
    ui::addLabel(this, QStringLiteral("透明标签S3"), QStringLiteral("至"), {700, 14, 20, 20});
    to_ = addDate(this, QStringLiteral("日期框S3"), {720, 10, 125, 26}, QStringLiteral("截止日期"));
    from_->setDate(QDate(today.year(), 1, 1));
    to_->setDate(today);

    totals_ =
        addTable(this, QStringLiteral("表格框S1"), {10, 45, 300, 310}, QStringLiteral("总数"));
    pyramid_ = addChart(this, QStringLiteral("图表框S1"), {320, 45, 670, 310},
                        QStringLiteral("人口金字塔"));
    ui::addLabel(this, QStringLiteral("透明标签S4"), QStringLiteral("分项统计"), {10, 369, 60, 20});
    field_ = ui::addControl<QComboBox>(this, QStringLiteral("组合框S3"), {70, 365, 150, 26},
                                       QStringLiteral("分项统计"));
    for (int pos : reg::codedFields()) field_->addItem(reg::fromGb(reg::fieldName(pos)));
    // On Linux a combo box is read by its current text and its label through the buddy.
    ui::control<QLabel>(this, QStringLiteral("透明标签S2"))->setBuddy(periodKind_);
    ui::control<QLabel>(this, QStringLiteral("透明标签S4"))->setBuddy(field_);
    codedChart_ = addChart(this, QStringLiteral("图表框S2"), {10, 395, 480, 280},
                           QStringLiteral("分项统计图"));
    changes_ = addTable(this, QStringLiteral("表格框S2"), {500, 365, 222, 310},
                        QStringLiteral("期间变动"));
    changesChart_ = addChart(this, QStringLiteral("图表框S3"), {728, 365, 262, 310},
                             QStringLiteral("期间变动图"));

    exportButton_ = ui::addButton(this, QStringLiteral("导出报表按钮"), QStringLiteral("导出报表"),
                                  {600, 682, 100, 30});
    saveButton_ = ui::addButton(this, QStringLiteral("保存图表按钮"), QStringLiteral("保存图表"),
                                {710, 682, 100, 30});
    // Moves to and fro while the register is counted; the walk has no fixed length to show.
    countingBar_ =
        ui::addControl<QProgressBar>(this, QStringLiteral("统计进度条"), {10, 687, 300, 20});
    countingBar_->setAccessibleName(QStringLiteral("统计进度"));
    countingBar_->setRange(0, 0);
    countingBar_->setTextVisible(false);
    countingBar_->hide();
    auto* close =
        ui::addButton(this, QStringLiteral("关闭按钮"), QStringLiteral("关闭"), {900, 682, 90, 30});
    // Says when the counts rest on the change fields instead of the register as it stood.
    historyNote_ = ui::addLabel(this, QStringLiteral("透明标签S5"), QString(), {320, 682, 275, 30});
    historyNote_->setWordWrap(true);
    historyNote_->setAccessibleName(QStringLiteral("统计依据说明"));

    connect(close, &QPushButton::clicked, this, &QWidget::close);
    connect(exportButton_, &QPushButton::clicked, this, &StatisticsWindow::exportWorkbook);
    connect(saveButton_, &QPushButton::clicked, this, &StatisticsWindow::saveCharts);
    connect(periodKind_, &QComboBox::currentIndexChanged, this,
            &StatisticsWindow::periodKindChanged);
    connect(field_, &QComboBox::currentIndexChanged, this, &StatisticsWindow::showCodedField);
    for (QDateEdit* edit : {reference_, from_, to_})
        connect(edit, &QDateEdit::dateChanged, this, &StatisticsWindow::refresh);
    connect(year_, &QSpinBox::valueChanged, this, &StatisticsWindow::refresh);
    connect(part_, &QComboBox::currentIndexChanged, this, &StatisticsWindow::refresh);

    periodKind_->setCurrentIndex(kYear);
    settingUp_ = false;
    periodKindChanged();

    // The three papers sent upward, in the free space beside the progress bar: the change report
    // and book for the period the pickers hold. The change history is the one kept beside the
    // register.
    const QString folder = QFileInfo(path_).absolutePath();
    auto* changeReport = ui::addButton(this, QStringLiteral("人口变动表按钮"),
                                       QStringLiteral("人口变动表"), {318, 682, 90, 30});
    auto* changeBook = ui::addButton(this, QStringLiteral("变动登记簿按钮"),
                                     QStringLiteral("变动登记簿"), {412, 682, 90, 30});
    auto* roster = ui::addButton(this, QStringLiteral("花名册按钮"), QStringLiteral("花名册"),
                                 {506, 682, 86, 30});
    // Read where they stand: after the tables and charts, before 导出报表.
    setTabOrder(changesChart_, changeReport);
    setTabOrder(changeReport, changeBook);
    setTabOrder(changeBook, roster);
    connect(changeReport, &QPushButton::clicked, this, [this, folder] {
        maint::openChangeReport(this, dialogs_, folder, path_, pickedPeriod());
    });
    connect(changeBook, &QPushButton::clicked, this, [this, folder] {
        maint::openChangeBook(this, dialogs_, folder, path_, pickedPeriod());
    });
    connect(roster, &QPushButton::clicked, this,
            [this, folder] { maint::openRoster(this, dialogs_, folder, path_); });
}

query::Period StatisticsWindow::pickedPeriod() const {
    const int part = std::max(part_->currentIndex(), 0) + 1;
    switch (periodKind_->currentIndex()) {
        case kMonth:
            return query::monthPeriod(year_->value(), part);
        case kQuarter:
            return query::quarterPeriod(year_->value(), part);
        case kDates:
            return query::periodBetween(from_->date(), to_->date());
        default:
            return query::yearPeriod(year_->value());
    }
}

void StatisticsWindow::periodKindChanged() {
    if (settingUp_) return;
    const int kind = periodKind_->currentIndex();
    {
        const QSignalBlocker block(part_);
        part_->clear();
        if (kind == kMonth)
            for (int m = 1; m <= 12; ++m) part_->addItem(QStringLiteral("%1月").arg(m));
        if (kind == kQuarter)
            for (int q = 1; q <= 4; ++q) part_->addItem(QStringLiteral("第%1季度").arg(q));
        if (part_->count()) part_->setCurrentIndex(0);
    }
    year_->setEnabled(kind != kDates);
    part_->setEnabled(kind == kMonth || kind == kQuarter);
    from_->setEnabled(kind == kDates);
    to_->setEnabled(kind == kDates);
    refresh();
}

void StatisticsWindow::refresh() {
    if (settingUp_) return;
    if (counter_->busy()) {
        again_ = true;
        return;
    }
    const query::Period period = pickedPeriod();
    const QDate reference = reference_->date();
    // What is written or saved matches what the pickers show, so both wait for the count.
    exportButton_->setEnabled(false);
    saveButton_->setEnabled(false);
    countingBar_->show();
    counter_->run<std::optional<query::Statistics>>(
        [path = path_, reference, period](const ui::Background::Progress&) {
            // The change history lies beside the register.
            return query::computeStatisticsAt(QFileInfo(path).absolutePath(), path, reference,
                                              period);
        },
        {},
        [this, reference, period](std::optional<query::Statistics>& counted) {
            showStatistics(counted, reference, period);
        });
}

void StatisticsWindow::showStatistics(std::optional<query::Statistics>& counted, QDate reference,
                                      const query::Period& period) {
    countingBar_->hide();
    exportButton_->setEnabled(true);
    saveButton_->setEnabled(true);
    stats_ = std::move(counted);
    if (!stats_) {
        // An unreadable file still gets a window of zeros, so that the pickers stay usable.
        stats_ = query::Statistics{};
        stats_->reference = reference;
        stats_->period = period;
        if (!warnedUnreadable_) dialogs_.warning(kCannotRead);
        warnedUnreadable_ = true;
    } else {
        warnedUnreadable_ = false;
    }
    const query::Statistics& s = *stats_;
    const std::vector<query::Sheet> sheets = query::statisticsSheets(s);
    fill(totals_, sheets.front());
    totals_->setColumnWidth(0, 190);
    fill(changes_, sheets.back());
    changes_->setColumnWidth(0, 134);

    install(pyramid_, pyramidChart(s),
            QStringLiteral("人口金字塔（%1，出生日期有误%2人另计）")
                .arg(query::dateText(s.reference))
                .arg(s.badBirthDates));

    historyNote_->setText(s.note);

    install(changesChart_, tallyChart(s.changes),
            QStringLiteral("期间变动<br>") + query::periodText(s.period));
    showCodedField();
    if (again_) {
        again_ = false;
        refresh();
    }
}

void StatisticsWindow::showCodedField() {
    if (settingUp_ || !stats_ || stats_->coded.empty()) return;
    const int index = std::clamp(field_->currentIndex(), 0, int(stats_->coded.size()) - 1);
    const query::Tally& t = stats_->coded[size_t(index)];
    install(codedChart_, tallyChart(t), reg::fromGb(t.title));
}

QImage StatisticsWindow::chartsImage() const {
    // Each chart drawn at twice its size in the window, side by side.
    const std::vector<QChartView*> views{pyramid_, codedChart_, changesChart_};
    int width = 0, height = 0;
    for (QChartView* v : views) {
        width += v->width() * 2;
        height = std::max(height, v->height() * 2);
    }
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    int x = 0;
    for (QChartView* v : views) {
        const QRect target(x, 0, v->width() * 2, v->height() * 2);
        v->render(&painter, target);
        x += target.width();
    }
    return image;
}

void StatisticsWindow::exportWorkbook() {
    if (!stats_) return;
    const QString path = dialogs_.saveFile(ui::workbookSaveRequest(QStringLiteral("导出统计报表")));
    if (path.isEmpty()) return;
    if (writeStatisticsWorkbook(path, *stats_)) {
        static_cast<void>(reg::history::recordAccess(QFileInfo(path_).absolutePath(),
                                                     reg::history::Action::Export,
                                                     QStringLiteral("统计报表"), path, -1));
        dialogs_.notice(kExported);
    } else
        dialogs_.warning(kNotExported);
}

void StatisticsWindow::saveCharts() {
    const QString path =
        dialogs_.saveFile({QStringLiteral("保存图表"), QStringLiteral("PNG图片 (*.png)"), QString(),
                           QStringLiteral("png")});
    if (path.isEmpty()) return;
    if (chartsImage().save(path, "PNG"))
        dialogs_.notice(kSaved);
    else
        dialogs_.warning(kNotSaved);
}

}  // namespace exchange

#include "gui/reports/certificatelogwindow.h"

#include <QAbstractTableModel>
#include <QComboBox>
#include <QDateEdit>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <set>

#include "core/edit/certificatelog.h"
#include "core/register/history.h"
#include "core/workbook/spreadsheet.h"
#include "core/workbook/tablewriter.h"
#include "gui/reports/certificateprint.h"
#include "gui/ui/widgets.h"

namespace maint {

namespace {

const QStringList kHeadings = {
    QStringLiteral("编号"), QStringLiteral("开具时间"),     QStringLiteral("证明模板"),
    QStringLiteral("姓名"), QStringLiteral("公民身份号码"), QStringLiteral("事由"),
    QStringLiteral("状态"), QStringLiteral("补打次数"),     QStringLiteral("作废原因"),
};

const QString kAll = QStringLiteral("全部模板");

}  // namespace

class CertificateLogModel : public QAbstractTableModel {
  public:
    std::vector<cert::Record> all;
    std::vector<size_t> shown;

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
    const cert::Record& at(int row) const { return all[shown[size_t(row)]]; }
    static QString text(const cert::Record& r, int column) {
        switch (column) {
            case 0:
                return r.number;
            case 1:
                return r.time;
            case 2:
                return r.templateName;
            case 3:
                return r.second ? r.person.name + QLatin1Char('/') + r.second->name : r.person.name;
            case 4:
                return r.person.identity;
            case 5:
                return r.reason;
            case 6:
                return cert::stateName(r.state);
            case 7:
                return QString::number(r.reprints);
            default:
                return r.voidReason;
        }
    }
    void replace(std::vector<cert::Record> records) {
        beginResetModel();
        all = std::move(records);
        shown.clear();
        endResetModel();
    }
    void filter(const QString& name, const QString& number, QDate from, QDate to,
                const QString& tpl) {
        beginResetModel();
        shown.clear();
        // Times are stored as yyyy-MM-dd HH:mm:ss: their day compares as text, which spares
        // parsing 10,000 dates on every filter.
        const QString first = from.toString(Qt::ISODate), last = to.toString(Qt::ISODate);
        for (size_t i = 0; i < all.size(); ++i) {
            const cert::Record& r = all[i];
            if (!name.isEmpty() && !r.person.name.contains(name) &&
                !(r.second && r.second->name.contains(name)))
                continue;
            if (!number.isEmpty() && !r.number.contains(number)) continue;
            const QStringView day = QStringView(r.time).left(10);
            if (day < first || day > last) continue;
            if (!tpl.isEmpty() && r.templateName != tpl) continue;
            shown.push_back(i);
        }
        endResetModel();
    }
};

CertificateLogWindow::CertificateLogWindow(QString folder, ui::Dialogs& dialogs, QWidget* parent)
    : QWidget(parent),
      folder_(std::move(folder)),
      dialogs_(dialogs),
      model_(std::make_unique<CertificateLogModel>()) {
    ui::setUpWindow(this, QStringLiteral("澄禾社区户籍管理系统-证明记录   青石听雨 制作"),
                    {830, 580});
    // The filters.
    ui::addLabel(this, QStringLiteral("姓名标签"), QStringLiteral("姓名"), {15, 15, 35, 24});
    name_ =
        ui::addEdit(this, QStringLiteral("姓名编辑框"), {50, 15, 90, 24}, QStringLiteral("姓名"));
    ui::addLabel(this, QStringLiteral("编号标签"), QStringLiteral("编号"), {150, 15, 35, 24});
    number_ =
        ui::addEdit(this, QStringLiteral("编号编辑框"), {185, 15, 150, 24}, QStringLiteral("编号"));
    ui::addLabel(this, QStringLiteral("日期标签"), QStringLiteral("日期"), {345, 15, 35, 24});
    from_ = ui::addControl<QDateEdit>(this, QStringLiteral("起始日期框"), {380, 15, 105, 24},
                                      QStringLiteral("起始日期"));
    ui::addLabel(this, QStringLiteral("至标签"), QStringLiteral("至"), {490, 15, 20, 24});
    to_ = ui::addControl<QDateEdit>(this, QStringLiteral("截止日期框"), {510, 15, 105, 24},
                                    QStringLiteral("截止日期"));
    for (QDateEdit* d : {from_, to_}) {
        d->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
        d->setCalendarPopup(true);
    }
    from_->setDate(QDate(2000, 1, 1));
    to_->setDate(QDate::currentDate());
    template_ = ui::addControl<QComboBox>(this, QStringLiteral("模板筛选框"), {625, 15, 110, 24},
                                          QStringLiteral("证明模板"));
    auto* search =
        ui::addButton(this, QStringLiteral("查询按钮"), QStringLiteral("查询"), {745, 13, 70, 28});

    list_ = ui::addControl<QTableView>(this, QStringLiteral("证明列表"), {15, 50, 800, 320},
                                       QStringLiteral("证明记录列表"));
    list_->setModel(model_.get());
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->verticalHeader()->hide();
    list_->verticalHeader()->setDefaultSectionSize(22);
    const int widths[] = {170, 135, 90, 70, 150, 90, 55, 60, 80};
    for (int c = 0; c < int(kHeadings.size()); ++c) list_->setColumnWidth(c, widths[c]);
    summary_ = ui::addLabel(this, QStringLiteral("统计标签"), QString(), {15, 375, 400, 22});

    // What can be done with the selected certificate.
    auto* reprint =
        ui::addButton(this, QStringLiteral("补打按钮"), QStringLiteral("补打"), {15, 405, 80, 30});
    ui::addLabel(this, QStringLiteral("作废原因标签"), QStringLiteral("作废原因"),
                 {110, 408, 60, 24});
    voidReason_ = ui::addEdit(this, QStringLiteral("作废原因编辑框"), {170, 408, 220, 24},
                              QStringLiteral("作废原因"));
    auto* voidButton =
        ui::addButton(this, QStringLiteral("作废按钮"), QStringLiteral("作废"), {395, 405, 70, 30});
    auto* exportButton = ui::addButton(this, QStringLiteral("导出按钮"), QStringLiteral("导出记录"),
                                       {480, 405, 90, 30});

    // Verification of a paper brought back.
    ui::addLabel(this, QStringLiteral("核验标签"),
                 QStringLiteral("核验（输入或扫描编号、二维码内容）"), {15, 450, 300, 22});
    check_ = ui::addEdit(this, QStringLiteral("核验编辑框"), {15, 475, 450, 24},
                         QStringLiteral("核验（输入或扫描编号、二维码内容）"));
    auto* checkButton =
        ui::addButton(this, QStringLiteral("核验按钮"), QStringLiteral("核验"), {475, 472, 70, 30});
    answer_ = ui::addLabel(this, QStringLiteral("核验结果"), QString(), {15, 505, 700, 24});
    answer_->setFont(ui::uiFont(12));
    auto* close =
        ui::addButton(this, QStringLiteral("关闭"), QStringLiteral("关闭"), {735, 515, 80, 30});

    connect(search, &QPushButton::clicked, this, &CertificateLogWindow::applyFilter);
    connect(name_, &QLineEdit::returnPressed, this, &CertificateLogWindow::applyFilter);
    connect(number_, &QLineEdit::returnPressed, this, &CertificateLogWindow::applyFilter);
    connect(reprint, &QPushButton::clicked, this, &CertificateLogWindow::reprint);
    connect(voidButton, &QPushButton::clicked, this, &CertificateLogWindow::voidSelected);
    connect(exportButton, &QPushButton::clicked, this, &CertificateLogWindow::exportList);
    // A scanner types the code and presses Enter.
    connect(check_, &QLineEdit::returnPressed, this, &CertificateLogWindow::verify);
    connect(checkButton, &QPushButton::clicked, this, &CertificateLogWindow::verify);
    connect(close, &QPushButton::clicked, this, &QWidget::close);

    for (const QString& name : cert::settle(folder_, QDateTime::currentDateTime()).setAside)
        dialogs_.warning(cert::setAsideWarning(name));
    reload();
}

CertificateLogWindow::~CertificateLogWindow() = default;

void CertificateLogWindow::reload() {
    model_->replace(cert::records(folder_));
    const QString chosen = template_->currentText();
    std::set<QString> names;
    for (const cert::Record& r : model_->all) names.insert(r.templateName);
    const QSignalBlocker block(template_);
    template_->clear();
    template_->addItem(kAll);
    for (const QString& n : names) template_->addItem(n);
    template_->setCurrentIndex(std::max(0, template_->findText(chosen)));
    // The newest certificate may be today's, after the window opened.
    if (to_->date() < QDate::currentDate()) to_->setDate(QDate::currentDate());
    applyFilter();
}

void CertificateLogWindow::applyFilter() {
    const QString tpl = template_->currentIndex() > 0 ? template_->currentText() : QString();
    model_->filter(name_->text().trimmed(), number_->text().trimmed(), from_->date(), to_->date(),
                   tpl);
    summary_->setText(
        QStringLiteral("共 %1 份，显示 %2 份").arg(model_->all.size()).arg(model_->shown.size()));
}

QString CertificateLogWindow::selectedNumber() const {
    const QModelIndex index = list_->currentIndex();
    return index.isValid() && list_->selectionModel()->isSelected(index)
               ? model_->at(index.row()).number
               : QString();
}

void CertificateLogWindow::reprint() {
    const QString number = selectedNumber();
    if (number.isEmpty()) {
        dialogs_.warning(logmsg::kChooseFirst);
        return;
    }
    const cert::Reprint taken = cert::takeReprint(folder_, number, QDateTime::currentDateTime());
    if (!taken.answer.done()) {
        dialogs_.warning(taken.answer.message);
        return;
    }
    const CertificatePage page{taken.page, taken.record.qr(), taken.record.number,
                               QStringLiteral("补打")};
    const PrintResult result = printCertificate(this, page);
    const bool printed = result == PrintResult::Printed;
    const cert::Answer answer =
        cert::finishReprint(folder_, taken.id, printed,
                            printed                            ? QString()
                            : result == PrintResult::Cancelled ? QStringLiteral("取消打印")
                                                               : QStringLiteral("打印失败"));
    if (!answer.done())
        dialogs_.warning(answer.message);
    else if (printed)
        dialogs_.notice(logmsg::kReprinted);
    else if (result == PrintResult::Failed)
        dialogs_.warning(logmsg::kNotReprinted);
    reload();
}

void CertificateLogWindow::voidSelected() {
    const QString number = selectedNumber();
    if (number.isEmpty()) {
        dialogs_.warning(logmsg::kChooseFirst);
        return;
    }
    const QString reason = voidReason_->text().trimmed();
    if (reason.isEmpty()) {
        dialogs_.warning(logmsg::kNeedReason);
        voidReason_->setFocus();
        return;
    }
    if (!dialogs_.question(logmsg::kConfirmVoid.arg(number))) return;
    const auto r = cert::record(folder_, number);
    const cert::Answer answer =
        r ? cert::markVoid(folder_, r->id, reason, QDateTime::currentDateTime())
          : cert::Answer{cert::Answer::Kind::Refused, verdictText(cert::Verdict::NoSuchNumber), {}};
    if (answer.done()) {
        dialogs_.notice(logmsg::kVoidDone);
        voidReason_->clear();
    } else {
        dialogs_.warning(answer.message);
    }
    reload();
}

void CertificateLogWindow::exportList() {
    const QString path = dialogs_.saveFile(ui::workbookSaveRequest(QStringLiteral("导出证明记录")));
    if (path.isEmpty()) return;
    std::unique_ptr<exchange::Spreadsheet> book = exchange::createSpreadsheet();
    bool saved = false;
    if (book) {
        exchange::Table table;
        for (int c = 0; c < int(kHeadings.size()); ++c)
            table.columns.push_back({kHeadings[c], c == 0 || c == 4 ? 24.0 : c == 1 ? 20.0 : 10.0});
        table.look.textMark = false;
        table.rows = long(model_->shown.size());
        table.cell = [this](long row, int column, QString& text) {
            text += CertificateLogModel::text(model_->at(int(row)), column);
        };
        saved = book->addWorkbook() &&
                exchange::writeTable(*book, table,
                                     exchange::rowsPerSheet(exchange::workbookKindOf(path))) &&
                exchange::saveWorkbook(*book, path);
        book->close();
        book->quit();
    }
    if (saved)
        static_cast<void>(reg::history::recordAccess(folder_, reg::history::Action::Export,
                                                     QStringLiteral("证明记录"), path, -1));
    if (saved)
        dialogs_.notice(logmsg::kExported);
    else
        dialogs_.warning(logmsg::kNotExported);
}

void CertificateLogWindow::verify() {
    const QString input = check_->text().trimmed();
    if (input.isEmpty()) {
        answer_->clear();
        return;
    }
    const cert::Verification v = cert::verify(folder_, input);
    QString text = cert::verdictText(v.verdict);
    if (v.record)
        text += QStringLiteral("：%1  %2  %3  %4")
                    .arg(v.record->number, v.record->templateName, v.record->person.name,
                         v.record->time);
    if (v.verdict == cert::Verdict::Void && v.record && !v.record->voidReason.isEmpty())
        text += QStringLiteral("（作废原因：%1）").arg(v.record->voidReason);
    answer_->setText(text);
    answer_->setStyleSheet(v.verdict == cert::Verdict::Matches ? QStringLiteral("color: green")
                                                               : QStringLiteral("color: red"));
}

}  // namespace maint

#include "gui/reports/reportprint.h"

#include <QFontMetricsF>
#include <QPageLayout>
#include <QPainter>
#include <QPdfWriter>
#include <QPrintDialog>
#include <QPrinter>
#include <QSaveFile>
#include <algorithm>

#include "gui/ui/widgets.h"

namespace maint {

namespace {

constexpr double kMargin = 15;     // mm
constexpr double kTop = 24;        // mm of title, subtitle and the village line
constexpr double kFoot = 8;        // mm of the page number line
constexpr double kHeadingRow = 8;  // mm
constexpr double kRow = 6;         // mm per line of the table or a note
constexpr double kTextSize = 9;    // points
constexpr double kSmallest = 5;    // points: a value is shrunk no further, then clipped

QSizeF pageSize(const query::Report& report) {
    return report.landscape ? QSizeF(297, 210) : QSizeF(210, 297);
}

// Table lines and notes a page holds below the headings.
int linesPerPage(const query::Report& report) {
    const double body = pageSize(report).height() - 2 * kMargin - kTop - kFoot - kHeadingRow;
    return std::max(1, int(body / kRow));
}

QString pageText(int page, int pages) {
    return QStringLiteral("第 %1 页 共 %2 页").arg(page).arg(pages);
}

QString dayText(QDate day) {
    return QStringLiteral("%1年%2月%3日").arg(day.year()).arg(day.month()).arg(day.day());
}

class ReportPainter {
  public:
    ReportPainter(QPainter& painter, QPagedPaintDevice& device, const query::Report& report)
        : p_(painter),
          device_(device),
          report_(report),
          unit_(device.logicalDpiY() / 25.4),
          width_(pageSize(report).width() - 2 * kMargin),
          plain_(ui::fontWithFallback(QStringLiteral("宋体"), int(kTextSize))),
          bold_(plain_) {
        bold_.setBold(true);
        int weights = 0;
        for (const query::ReportColumn& c : report.columns) weights += std::max(c.weight, 1);
        double x = 0;
        for (const query::ReportColumn& c : report.columns) {
            lefts_.push_back(x);
            x += width_ * std::max(c.weight, 1) / std::max(weights, 1);
        }
        lefts_.push_back(width_);
    }

    QRectF mm(double x, double y, double w, double h) const {
        return {(kMargin + x) * unit_, (kMargin + y) * unit_, w * unit_, h * unit_};
    }

    // Text in a box, shrunk in one step until it fits (down to kSmallest) so that a long value
    // is not cut off where it can be helped.
    void text(const QRectF& box, const QString& s, const QFont& font, int flags) {
        const QRectF inner = box.adjusted(1.0 * unit_, 0, -1.0 * unit_, 0);
        const double wide = QFontMetricsF(font, &device_).horizontalAdvance(s);
        if (wide > inner.width() && wide > 0) {
            QFont smaller = font;
            smaller.setPointSizeF(
                std::max(kSmallest, font.pointSizeF() * inner.width() / wide * 0.98));
            p_.setFont(smaller);
        } else {
            p_.setFont(font);
        }
        p_.drawText(inner, flags | Qt::AlignVCenter | Qt::TextSingleLine, s);
    }

    void top(const ReportHeader& header) {
        QFont title = ui::fontWithFallback(QStringLiteral("宋体"), 16);
        title.setBold(true);
        text(mm(0, 0, width_, 10), report_.title, title, Qt::AlignHCenter);
        text(mm(0, 10, width_, 7), report_.subtitle, plain_, Qt::AlignHCenter);
        if (!header.village.isEmpty())
            text(mm(0, 17, width_ / 2, 7), QStringLiteral("单位：") + header.village, plain_,
                 Qt::AlignLeft);
        text(mm(width_ / 2, 17, width_ / 2, 7),
             QStringLiteral("打印日期：") + dayText(header.printed), plain_, Qt::AlignRight);
    }

    void headings() {
        for (size_t c = 0; c < report_.columns.size(); ++c) {
            const QRectF box = mm(lefts_[c], kTop, lefts_[c + 1] - lefts_[c], kHeadingRow);
            p_.fillRect(box, QColor(235, 235, 235));
            p_.drawRect(box);
            text(box, report_.columns[c].heading, bold_, Qt::AlignHCenter);
        }
    }

    // The table line or note at `line` of the page.
    void line(size_t index, int line) {
        const double y = kTop + kHeadingRow + kRow * line;
        if (index >= report_.rows.size()) {
            text(mm(0, y, width_, kRow), report_.notes[index - report_.rows.size()], plain_,
                 Qt::AlignLeft);
            return;
        }
        const query::ReportRow& row = report_.rows[index];
        if (row.kind == query::ReportRow::Kind::Group) {
            const QRectF box = mm(0, y, width_, kRow);
            p_.fillRect(box, QColor(245, 245, 245));
            p_.drawRect(box);
            text(box, row.cells.empty() ? QString() : row.cells.front(), bold_, Qt::AlignLeft);
            return;
        }
        const QFont& font = row.kind == query::ReportRow::Kind::Total ? bold_ : plain_;
        for (size_t c = 0; c < report_.columns.size(); ++c) {
            const QRectF box = mm(lefts_[c], y, lefts_[c + 1] - lefts_[c], kRow);
            p_.drawRect(box);
            if (c < row.cells.size())
                text(box, row.cells[c], font,
                     report_.columns[c].alignRight ? Qt::AlignRight : Qt::AlignLeft);
        }
    }

    void foot(int page, int pages) {
        const double y = pageSize(report_).height() - 2 * kMargin - kFoot;
        text(mm(0, y, width_, kFoot), pageText(page, pages), plain_, Qt::AlignHCenter);
    }

  private:
    QPainter& p_;
    QPagedPaintDevice& device_;
    const query::Report& report_;
    double unit_;  // device units per mm
    double width_;
    QFont plain_, bold_;
    std::vector<double> lefts_;  // mm from the left margin, one more than the columns
};

// The first line of each page. A household line never ends a page: it goes over with its
// members.
std::vector<size_t> pageStarts(const query::Report& report) {
    const size_t lines = report.rows.size() + report.notes.size();
    const size_t per = size_t(linesPerPage(report));
    std::vector<size_t> starts{0};
    while (lines - starts.back() > per) {
        size_t next = starts.back() + per;
        const size_t last = next - 1;
        if (per > 1 && last < report.rows.size() &&
            report.rows[last].kind == query::ReportRow::Kind::Group)
            next = last;
        starts.push_back(next);
    }
    return starts;
}

}  // namespace

int reportPages(const query::Report& report) {
    return int(pageStarts(report).size());
}

bool paintReport(QPagedPaintDevice& device, const query::Report& report, const ReportHeader& header,
                 const PaperProgress& progress) {
    device.setPageLayout(QPageLayout(
        QPageSize(QPageSize::A4), report.landscape ? QPageLayout::Landscape : QPageLayout::Portrait,
        QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter));
    QPainter painter;
    if (!painter.begin(&device)) return false;
    painter.setPen(QPen(Qt::black, 0.2 * device.logicalDpiY() / 25.4));
    ReportPainter drawer(painter, device, report);
    const size_t lines = report.rows.size() + report.notes.size();
    const std::vector<size_t> starts = pageStarts(report);
    const int pages = int(starts.size());
    int shown = -1;
    for (int page = 0; page < pages; ++page) {
        if (page > 0 && !device.newPage()) return false;
        drawer.top(header);
        drawer.headings();
        const size_t first = starts[size_t(page)];
        const size_t end = page + 1 < pages ? starts[size_t(page) + 1] : lines;
        for (size_t i = first; i < end; ++i) drawer.line(i, int(i - first));
        drawer.foot(page + 1, pages);
        const int percent = (page + 1) * 100 / pages;
        if (progress && percent != shown) progress(shown = percent);
    }
    return painter.end();
}

bool writeReportPdf(const QString& path, const query::Report& report, const ReportHeader& header,
                    const PaperProgress& progress) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return false;
    {
        QPdfWriter pdf(&file);
        pdf.setTitle(report.title);
        pdf.setCreator(QStringLiteral("澄禾社区户籍管理系统"));
        pdf.setResolution(600);
        if (!paintReport(pdf, report, header, progress)) {
            file.cancelWriting();
            return false;
        }
    }
    return file.commit();
}

PrintResult printReport(QWidget* parent, const query::Report& report, const ReportHeader& header,
                        QString* printerName) {
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(report.title);
    QPrintDialog dialog(&printer, parent);
    dialog.setWindowTitle(QStringLiteral("打印") + report.title);
    if (dialog.exec() != QDialog::Accepted) return PrintResult::Cancelled;
    if (!paintReport(printer, report, header)) return PrintResult::Failed;
    if (printerName)
        *printerName =
            printer.outputFileName().isEmpty() ? printer.printerName() : printer.outputFileName();
    return PrintResult::Printed;
}

}  // namespace maint

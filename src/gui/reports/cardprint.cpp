#include "gui/reports/cardprint.h"

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

constexpr double kMargin = 15;   // mm
constexpr double kWidth = 180;   // mm of text width on A4
constexpr double kRow = 6;       // mm per line of a member's block
constexpr double kCaption = 22;  // mm of a caption cell
constexpr double kBlockGap = 4;  // mm between two members

QString pageText(int page, int pages) {
    return QStringLiteral("第%1页 共%2页").arg(page).arg(pages);
}

class CardPainter {
  public:
    CardPainter(QPainter& painter, QPagedPaintDevice& device)
        : p_(painter), unit_(device.logicalDpiY() / 25.4) {}

    QRectF mm(double x, double y, double w, double h) const {
        return {(kMargin + x) * unit_, (kMargin + y) * unit_, w * unit_, h * unit_};
    }

    // Text in a cell, shrunk until it fits so that nothing of a value is cut off.
    void cell(const QRectF& box, const QString& text, bool frame, int flags = Qt::AlignLeft) {
        if (frame) p_.drawRect(box);
        const QRectF inner = box.adjusted(1.2 * unit_, 0, -1.2 * unit_, 0);
        QFont font = ui::fontWithFallback(QStringLiteral("宋体"), 9);
        for (double size = 9; size > 5; size -= 0.5) {
            font.setPointSizeF(size);
            if (QFontMetricsF(font, p_.device()).horizontalAdvance(text) <= inner.width()) break;
        }
        p_.setFont(font);
        p_.drawText(inner, flags | Qt::AlignVCenter, text);
    }

    void page(const RegisterCard& card, int first, int last, int page, int pages) {
        QFont title = ui::fontWithFallback(QStringLiteral("宋体"), 16);
        title.setBold(true);
        p_.setFont(title);
        p_.drawText(mm(0, 0, kWidth, 12), Qt::AlignCenter, QStringLiteral("澄禾社区户籍登记表"));
        QString head = QStringLiteral("户主姓名：") + card.headName;
        if (!card.hasHead) head += QStringLiteral("（本户无户主记录）");
        cell(mm(0, 14, 70, 7), head, false);
        cell(mm(70, 14, kWidth - 70, 7), QStringLiteral("房屋详址：") + card.address, false);

        p_.setPen(QPen(Qt::black, 0.2 * unit_));
        double y = 24;
        for (int i = first; i < last; ++i) {
            for (const CardLine& line : card.members[size_t(i)].lines) {
                const double share = kWidth / double(line.size());
                for (size_t c = 0; c < line.size(); ++c) {
                    const double x = share * double(c);
                    cell(mm(x, y, kCaption, kRow), line[c].first, true);
                    cell(mm(x + kCaption, y, share - kCaption, kRow), line[c].second, true);
                }
                y += kRow;
            }
            y += kBlockGap;
        }
        const double foot = 297 - 2 * kMargin - 7;
        cell(mm(0, foot, 90, 7),
             QStringLiteral("打印日期：%1年%2月%3日")
                 .arg(card.printed.year())
                 .arg(card.printed.month())
                 .arg(card.printed.day()),
             false);
        cell(mm(90, foot, 90, 7), pageText(page, pages), false, Qt::AlignRight);
    }

  private:
    QPainter& p_;
    double unit_;  // device units per mm
};

}  // namespace

bool paintCard(QPagedPaintDevice& device, const RegisterCard& card) {
    device.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                     QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter));
    QPainter painter;
    if (!painter.begin(&device)) return false;
    CardPainter drawer(painter, device);
    const int members = int(card.members.size());
    const int pages = std::max(1, (members + kMembersPerPage - 1) / kMembersPerPage);
    for (int page = 0; page < pages; ++page) {
        if (page > 0 && !device.newPage()) return false;
        drawer.page(card, page * kMembersPerPage, std::min(members, (page + 1) * kMembersPerPage),
                    page + 1, pages);
    }
    return painter.end();
}

bool writeCardPdf(const QString& path, const RegisterCard& card) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return false;
    {
        QPdfWriter pdf(&file);
        pdf.setTitle(QStringLiteral("户籍登记表 ") + card.address);
        pdf.setCreator(QStringLiteral("澄禾社区户籍管理系统"));
        pdf.setResolution(600);
        if (!paintCard(pdf, card)) {
            file.cancelWriting();
            return false;
        }
    }
    return file.commit();
}

PrintResult printCard(QWidget* parent, const RegisterCard& card, QString* printerName) {
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(QStringLiteral("户籍登记表"));
    QPrintDialog dialog(&printer, parent);
    dialog.setWindowTitle(QStringLiteral("打印本户登记表"));
    if (dialog.exec() != QDialog::Accepted) return PrintResult::Cancelled;
    if (!paintCard(printer, card)) return PrintResult::Failed;
    if (printerName)
        *printerName =
            printer.outputFileName().isEmpty() ? printer.printerName() : printer.outputFileName();
    return PrintResult::Printed;
}

}  // namespace maint

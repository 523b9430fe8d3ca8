#include "gui/reports/certificateprint.h"

#include <algorithm>

#include <qrencode.h>

#include <QFontMetricsF>
#include <QPageLayout>
#include <QPainter>
#include <QPdfWriter>
#include <QPrintDialog>
#include <QPrinter>
#include <QSaveFile>
#include <QTextLayout>

#include "gui/ui/widgets.h"

namespace maint {

namespace {

constexpr double kLeft = 25;    // mm
constexpr double kWidth = 160;  // mm of text width on A4
constexpr double kPageHeight = 297;
constexpr double kQrSize = 28;  // mm
// The members' table: the share of the width each column takes.
constexpr double kColumns[] = {0.16, 0.16, 0.1, 0.2, 0.38};

class PagePainter {
  public:
    PagePainter(QPainter& painter, double unit) : p_(painter), unit_(unit) {}

    QRectF mm(double x, double y, double w, double h) const {
        return {x * unit_, y * unit_, w * unit_, h * unit_};
    }

    void draw(const CertificatePage& page) {
        p_.setPen(QPen(Qt::black, 0.25 * unit_));
        QFont title = font(22);
        title.setBold(true);
        p_.setFont(title);
        p_.drawText(mm(kLeft, 28, kWidth, 16), Qt::AlignCenter, page.page.title);
        double y = 48;
        if (!page.page.subtitle.isEmpty()) {
            p_.setFont(font(12));
            p_.drawText(mm(kLeft, y, kWidth, 8), Qt::AlignRight | Qt::AlignVCenter,
                        page.page.subtitle);
        }
        y += 14;
        // A large household's table shares the room above the closing lines (and a paragraph or
        // two after it) instead of running off the foot of the page.
        roomEnd_ = kPageHeight - 25 - (double(page.page.closing.size()) * 10 + 12) - 20;
        for (const cert::Block& block : page.page.body)
            y = block.isTable ? table(block.rows, y) : paragraph(block.text, y);
        closing(page.page.closing, y + 12);
        if (!page.qr.isEmpty()) qr(page.qr, page.number);
        if (!page.mark.isEmpty()) {
            QFont mark = font(14);
            mark.setBold(true);
            p_.setFont(mark);
            p_.drawText(mm(kLeft, 12, kWidth, 10), Qt::AlignRight | Qt::AlignVCenter, page.mark);
        }
    }

  private:
    QFont font(double points) const {
        QFont f = ui::fontWithFallback(QStringLiteral("宋体"), 12);
        f.setPointSizeF(points);
        return f;
    }

    // A paragraph wrapped to the width, its first line indented by two characters; returns
    // where the next block starts.
    double paragraph(const QString& text, double y) {
        const QFont f = font(14);
        const QFontMetricsF metrics(f, p_.device());
        const double indent = metrics.horizontalAdvance(QStringLiteral("　　"));
        const double line = 10 * unit_;  // a generous line spacing, as certificates are set
        QTextLayout layout(text, f, p_.device());
        layout.beginLayout();
        double top = y * unit_;
        bool first = true;
        for (QTextLine l = layout.createLine(); l.isValid(); l = layout.createLine()) {
            const double x = kLeft * unit_ + (first ? indent : 0);
            l.setLineWidth(kWidth * unit_ - (first ? indent : 0));
            l.setPosition(QPointF(x, top + (line - l.height()) / 2));
            top += line;
            first = false;
        }
        layout.endLayout();
        layout.draw(&p_, QPointF(0, 0));
        return top / unit_ + 2;
    }

    double table(const std::vector<cert::MemberRow>& rows, double y) {
        const double kRow = std::clamp((roomEnd_ - y) / double(rows.size() + 1), 5.0, 8.0);
        const auto row = [&](const QStringList& cells, bool heading) {
            double x = kLeft;
            for (int c = 0; c < cells.size() && c < 5; ++c) {
                const double w = kWidth * kColumns[c];
                const QRectF box = mm(x, y, w, kRow);
                p_.drawRect(box);
                QFont f = font(11);
                f.setBold(heading);
                // Shrunk until it fits, so that nothing of a value is cut off.
                const QRectF inner = box.adjusted(unit_, 0, -unit_, 0);
                for (double size = 11; size > 6; size -= 0.5) {
                    f.setPointSizeF(size);
                    if (QFontMetricsF(f, p_.device()).horizontalAdvance(cells[c]) <= inner.width())
                        break;
                }
                p_.setFont(f);
                p_.drawText(inner, Qt::AlignCenter, cells[c]);
                x += w;
            }
            y += kRow;
        };
        row(cert::memberTableHeading(), true);
        for (const cert::MemberRow& r : rows)
            row({r.name, r.relation, r.sex, r.birth, r.identity}, false);
        return y + 4;
    }

    void closing(const QStringList& lines, double y) {
        p_.setFont(font(14));
        const double top = y;
        for (const QString& line : lines) {
            p_.drawText(mm(kLeft, y, kWidth - 10, 10), Qt::AlignRight | Qt::AlignVCenter, line);
            y += 10;
        }
        // The stamp goes over the village's name: a dashed circle marks where.
        const double d = 40;
        const QRectF seal = mm(kLeft + kWidth - 10 - d - 5, top - 12, d, d);
        p_.save();
        p_.setPen(QPen(Qt::gray, 0.3 * unit_, Qt::DashLine));
        p_.drawEllipse(seal);
        p_.setFont(font(10));
        p_.drawText(seal.adjusted(0, 0, 0, -d * unit_ * 0.1), Qt::AlignHCenter | Qt::AlignBottom,
                    QStringLiteral("（盖章）"));
        p_.restore();
    }

    void qr(const QString& text, const QString& number) {
        const QImage code = qrImage(text);
        if (code.isNull()) return;
        const double top = kPageHeight - 25 - kQrSize - 8;
        const double module = kQrSize / code.width();
        p_.save();
        p_.setPen(Qt::NoPen);
        p_.setBrush(Qt::black);
        // Modules as rectangles: sharp at any printer's resolution.
        for (int y = 0; y < code.height(); ++y)
            for (int x = 0; x < code.width(); ++x)
                if (code.pixelIndex(x, y) == 1)
                    p_.drawRect(mm(kLeft + x * module, top + y * module, module, module));
        p_.restore();
        p_.setFont(font(9));
        p_.drawText(mm(kLeft - 10, top + kQrSize + 1, kQrSize + 20, 6), Qt::AlignCenter, number);
    }

    QPainter& p_;
    double unit_;
    double roomEnd_ = kPageHeight;  // mm: where the body's room ends
};

}  // namespace

QImage qrImage(const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    QRcode* code = QRcode_encodeData(int(utf8.size()),
                                     reinterpret_cast<const unsigned char*>(utf8.constData()), 0,
                                     QR_ECLEVEL_M);
    if (!code) return {};
    QImage image(code->width, code->width, QImage::Format_Mono);
    image.setColor(0, qRgb(255, 255, 255));
    image.setColor(1, qRgb(0, 0, 0));
    for (int y = 0; y < code->width; ++y)
        for (int x = 0; x < code->width; ++x)
            image.setPixel(x, y, code->data[y * code->width + x] & 1 ? 1 : 0);
    QRcode_free(code);
    return image;
}

void drawCertificate(QPainter& painter, double unit, const CertificatePage& page) {
    PagePainter(painter, unit).draw(page);
}

QImage certificateImage(const CertificatePage& page, int width) {
    const double unit = width / 210.0;
    QImage image(width, int(kPageHeight * unit), QImage::Format_RGB32);
    image.fill(Qt::white);
    // The fonts' sizes are in points: the image says how many pixels an inch holds.
    image.setDotsPerMeterX(int(unit * 1000));
    image.setDotsPerMeterY(int(unit * 1000));
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    drawCertificate(painter, unit, page);
    return image;
}

bool paintCertificate(QPagedPaintDevice& device, const CertificatePage& page) {
    device.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                     QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter));
    QPainter painter;
    if (!painter.begin(&device)) return false;
    drawCertificate(painter, device.logicalDpiY() / 25.4, page);
    return painter.end();
}

bool writeCertificatePdf(const QString& path, const CertificatePage& page) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return false;
    {
        QPdfWriter pdf(&file);
        pdf.setTitle(page.page.title + QLatin1Char(' ') + page.number);
        pdf.setCreator(QStringLiteral("澄禾社区户籍管理系统"));
        pdf.setResolution(600);
        if (!paintCertificate(pdf, page)) {
            file.cancelWriting();
            return false;
        }
    }
    return file.commit();
}

PrintResult printCertificate(QWidget* parent, const CertificatePage& page) {
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(page.page.title);
    QPrintDialog dialog(&printer, parent);
    dialog.setWindowTitle(QStringLiteral("打印证明"));
    if (dialog.exec() != QDialog::Accepted) return PrintResult::Cancelled;
    return paintCertificate(printer, page) ? PrintResult::Printed : PrintResult::Failed;
}

}  // namespace maint

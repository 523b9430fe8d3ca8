#pragma once
// Drawing a certificate on an A4 page: on paper, into a PDF file, or onto an image for the
// window's preview.
#include <QImage>
#include <QString>

#include "core/edit/certificate.h"
#include "gui/reports/cardprint.h"

class QPagedPaintDevice;
class QPainter;
class QWidget;

namespace maint {

// What goes on the page: the filled-in template, and the QR code's text with the number
// printed under it (both empty for a preview before a number is taken).
struct CertificatePage {
    cert::Rendered page;
    QString qr;
    QString number;
    // Printed in the top right corner: "补打" on a reprint.
    QString mark;
};

// The QR code of `text` as black modules on white, one pixel a module, with no quiet zone;
// a null image when the text cannot be encoded.
QImage qrImage(const QString& text);

// Draws the page with `unit` device units per millimetre, the page's top left at 0,0.
void drawCertificate(QPainter& painter, double unit, const CertificatePage& page);

// The page as an image of `width` pixels, for the preview.
QImage certificateImage(const CertificatePage& page, int width);

// One A4 page on `device`; false when the device could not be painted on.
bool paintCertificate(QPagedPaintDevice& device, const CertificatePage& page);

// Writes the page as a PDF file at `path` with its fonts embedded, replacing a file there only
// once the new one is complete.
bool writeCertificatePdf(const QString& path, const CertificatePage& page);

// Asks for a printer through the print dialog and prints.
PrintResult printCertificate(QWidget* parent, const CertificatePage& page);

}  // namespace maint

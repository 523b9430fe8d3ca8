#include "gui/shell/picture.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <cmath>

namespace shell {

namespace {

// One terrace: a band between two gently waving edges across the whole width.
QPainterPath terrace(double w, double top, double bottom, double phase) {
    QPainterPath path;
    const int steps = 40;
    path.moveTo(0, top);
    for (int i = 1; i <= steps; ++i) {
        const double x = w * i / steps;
        path.lineTo(x, top + 6 * std::sin(x / w * 6.28 + phase));
    }
    for (int i = steps; i >= 0; --i) {
        const double x = w * i / steps;
        path.lineTo(x, bottom + 7 * std::sin(x / w * 6.28 + phase + 0.6));
    }
    path.closeSubpath();
    return path;
}

}  // namespace

QPixmap drawPicture(QSize size) {
    QPixmap pixmap(size);
    const double w = size.width(), h = size.height();
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);

    QLinearGradient sky(0, 0, 0, h * 0.55);
    sky.setColorAt(0, QColor(116, 172, 222));
    sky.setColorAt(1, QColor(250, 226, 180));
    p.fillRect(QRectF(0, 0, w, h), sky);

    QRadialGradient sun(w * 0.78, h * 0.2, h * 0.12);
    sun.setColorAt(0, QColor(255, 250, 220));
    sun.setColorAt(0.6, QColor(255, 214, 120));
    sun.setColorAt(1, QColor(255, 214, 120, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(sun);
    p.drawEllipse(QPointF(w * 0.78, h * 0.2), h * 0.12, h * 0.12);

    // Distant hills, paler the farther they are.
    const QColor hills[] = {QColor(150, 178, 170), QColor(112, 150, 128)};
    for (int k = 0; k < 2; ++k) {
        QPainterPath hill;
        hill.moveTo(0, h);
        for (int i = 0; i <= 50; ++i) {
            const double x = w * i / 50;
            hill.lineTo(x, h * (0.38 + 0.08 * k) - 30 * std::sin(x / w * (3.1 + k) + k * 1.7) -
                               12 * std::sin(x / w * 11 + k));
        }
        hill.lineTo(w, h);
        hill.closeSubpath();
        p.setBrush(hills[k]);
        p.drawPath(hill);
    }

    // Terraced fields: ripe gold far away, young green close by.
    const QColor fields[] = {QColor(214, 188, 92), QColor(196, 184, 80), QColor(160, 176, 74),
                             QColor(124, 166, 70), QColor(94, 150, 66),  QColor(72, 132, 60)};
    double top = h * 0.52;
    for (int k = 0; k < 6; ++k) {
        const double bottom = top + h * (0.05 + 0.015 * k);
        p.setBrush(fields[k]);
        p.setPen(QPen(QColor(240, 232, 200, 160), 1.5));
        p.drawPath(terrace(w, top, k == 5 ? h + 10 : bottom, k * 0.9));
        top = bottom;
    }

    // A farmhouse on the far terraces.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(238, 232, 218));
    p.drawRect(QRectF(w * 0.16, h * 0.47, w * 0.09, h * 0.06));
    QPainterPath roof;
    roof.moveTo(w * 0.145, h * 0.475);
    roof.lineTo(w * 0.205, h * 0.42);
    roof.lineTo(w * 0.265, h * 0.475);
    roof.closeSubpath();
    p.setBrush(QColor(92, 96, 108));
    p.drawPath(roof);

    // Rice stalks in the front field.
    p.setPen(QPen(QColor(46, 104, 46), 1.6));
    for (int i = 0; i < 60; ++i) {
        const double x = 4 + i * (w - 8) / 59;
        const double base = h - 4 - (i % 3) * 5;
        const double lean = 5 * std::sin(i * 1.3);
        p.drawLine(QPointF(x, base), QPointF(x + lean, base - 26 - (i % 4) * 4));
        p.drawLine(QPointF(x, base), QPointF(x - lean * 0.6 + 3, base - 18 - (i % 5) * 3));
    }
    p.end();
    return pixmap;
}

}  // namespace shell

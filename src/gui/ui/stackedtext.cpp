#include "gui/ui/stackedtext.h"

#include <QPainter>
#include <QRegularExpression>

namespace ui {

StackedText::StackedText(const QString& text, int linePitch, QWidget* parent)
    : QLabel(text, parent), pitch_(linePitch) {
    setAttribute(Qt::WA_TranslucentBackground);
}

void StackedText::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setFont(font());
    painter.setPen(palette().color(QPalette::WindowText));
    const QStringList lines = text().split(QLatin1Char('\n'));
    for (int i = 0; i < lines.size(); ++i)
        painter.drawText(QRect(0, i * pitch_, width(), pitch_), Qt::AlignCenter, lines[i]);
}

StackedText* addStackedText(QWidget* parent, const QString& name, const QString& text, QRect place,
                            int linePitch) {
    auto* label = new StackedText(text, linePitch, parent);
    label->setObjectName(name);
    label->setGeometry(place);
    // Read as words, not a character at a time: a wider gap parts two phrases.
    label->setAccessibleName(
        QString(text)
            .replace(QRegularExpression(QStringLiteral("\n{3,}")), QStringLiteral(" "))
            .remove(QLatin1Char('\n')));
    return label;
}

}  // namespace ui

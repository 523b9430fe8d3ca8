#pragma once
// Typing into windows and clicking their buttons in tests, Chinese included.
#include <QCoreApplication>
#include <QInputMethodEvent>
#include <QPushButton>
#include <QTest>

namespace hjtest {

// Types `text` into the widget as the clerk would: latin characters as keys, others committed by
// an input method, one character (surrogate pairs whole) at a time, each through the validator.
inline void typeInto(QWidget* widget, const QString& text) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.unicode() < 0x80) {
            QTest::keyClick(widget, c.toLatin1());
            continue;
        }
        const qsizetype n = c.isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        QInputMethodEvent commit;
        commit.setCommitString(text.mid(i, n));
        QCoreApplication::sendEvent(widget, &commit);
        i += n - 1;
    }
}

// A control's name as tests spell it: a UTF-8 or UTF-16 literal, or a QString.
struct ControlName {
    QString text;
    ControlName(const char* name) : text(QString::fromUtf8(name)) {}
    ControlName(const char16_t* name) : text(QString::fromUtf16(name)) {}
    ControlName(const QString& name) : text(name) {}
};

// Clicks the button of that name with the mouse, as the clerk would; a test that names a button
// the window lacks stops at once.
inline void click(const QWidget* window, const ControlName& button) {
    auto* control = window->findChild<QPushButton*>(button.text);
    if (!control) qFatal("no button %s", qPrintable(button.text));
    QTest::mouseClick(control, Qt::LeftButton);
}
inline void click(const QWidget& window, const ControlName& button) {
    click(&window, button);
}

}  // namespace hjtest

#pragma once
// Typing into windows in tests, Chinese included.
#include <QCoreApplication>
#include <QInputMethodEvent>
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

}  // namespace hjtest

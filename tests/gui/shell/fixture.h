#pragma once
// One program of the shell inside a test: a new program folder, scripted dialogs, and a session
// whose quit and opener only record what they were asked.
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QUrl>

#include "common/programfolder.h"
#include "common/scripteddialogs.h"
#include "common/typing.h"
#include "core/register/files.h"
#include "core/register/text.h"
#include "core/register/workfiles.h"
#include "core/session/password.h"
#include "gui/shell/loginwindow.h"
#include "gui/shell/mainwindow.h"
#include "gui/shell/session.h"
#include "gui/ui/widgets.h"

struct ShellFixture {
    hjtest::ProgramFolder folder;
    hjtest::ScriptedDialogs dialogs;
    int quits = 0;
    QList<QUrl> opened;
    shell::Session session{folder.path(), dialogs, [this] { ++quits; },
                           [this](const QUrl& url) { opened << url; }};

    QString file(const QString& name) const { return folder.file(name); }
    QString passwordFile() const { return file(reg::names::kPassword); }
    // Writes the password file with these raw bytes.
    void setPasswordBytes(const std::string& bytes) const {
        folder.write(reg::names::kPassword, QByteArray::fromStdString(bytes));
    }
    void setPassword(const QString& password) const {
        setPasswordBytes(shell::encodePassword(reg::toGb(password)));
    }
};

template <class T = QWidget>
T* find(const QWidget* window, const char16_t* name) {
    T* control = ui::control<T>(window, QString::fromUtf16(name));
    if (!control) qFatal("no control %s", qPrintable(QString::fromUtf16(name)));
    return control;
}

using hjtest::click;

// Empties an edit box and types `text` into it.
inline void type(const QWidget* window, const char16_t* edit, const QString& text) {
    QLineEdit* box = find<QLineEdit>(window, edit);
    box->clear();
    hjtest::typeInto(box, text);
}

// Runs deferred deletions, so that windows closed with delete-on-close are gone.
inline void settle() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
}

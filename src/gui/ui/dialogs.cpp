#include "gui/ui/dialogs.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QRegularExpression>

#include "gui/ui/widgets.h"

namespace ui {

QString titleOf(Box style) {
    return style == Box::Warning ? QStringLiteral("警告") : QStringLiteral("提示");
}

namespace {

QMessageBox::StandardButton show(Box style, const QString& text) {
    QMessageBox box(QApplication::activeWindow());
    box.setWindowTitle(titleOf(style));
    box.setText(text);
    box.setFont(uiFont());
    box.setTextFormat(Qt::PlainText);
    box.setWindowModality(Qt::ApplicationModal);
    switch (style) {
        case Box::Warning:
            box.setIcon(QMessageBox::Warning);
            box.setStandardButtons(QMessageBox::Ok);
            break;
        case Box::Question:
            box.setIcon(QMessageBox::NoIcon);
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
            box.setDefaultButton(QMessageBox::Yes);
            box.setEscapeButton(QMessageBox::No);
            break;
        case Box::Notice:
            box.setIcon(QMessageBox::NoIcon);
            box.setStandardButtons(QMessageBox::Ok);
            break;
    }
    return QMessageBox::StandardButton(box.exec());
}

QString runFileDialog(const FileRequest& request, QFileDialog::AcceptMode mode) {
    QFileDialog dialog(QApplication::activeWindow(), request.title, request.folder, request.filter);
    dialog.setAcceptMode(mode);
    dialog.setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile
                                                       : QFileDialog::AnyFile);
    dialog.setDefaultSuffix(request.defaultSuffix);
    // With several kinds offered, a name typed without a suffix takes the chosen kind's.
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog](const QString& f) {
        static const QRegularExpression suffix(QStringLiteral("\\*\\.(\\w+)"));
        const QRegularExpressionMatch m = suffix.match(f);
        if (m.hasMatch() && !dialog.defaultSuffix().isEmpty())
            dialog.setDefaultSuffix(m.captured(1));
    });
    dialog.setWindowModality(Qt::ApplicationModal);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().constFirst();
}

}  // namespace

void QtDialogs::warning(const QString& text) {
    show(Box::Warning, text);
}

bool QtDialogs::question(const QString& text) {
    return show(Box::Question, text) == QMessageBox::Yes;
}

void QtDialogs::notice(const QString& text) {
    show(Box::Notice, text);
}

QString QtDialogs::openFile(const FileRequest& request) {
    return runFileDialog(request, QFileDialog::AcceptOpen);
}

QString QtDialogs::saveFile(const FileRequest& request) {
    return runFileDialog(request, QFileDialog::AcceptSave);
}

FileRequest workbookSaveRequest(const QString& title) {
#ifdef Q_OS_WIN
    const QString folder = QStringLiteral("D:\\");
#else
    const QString folder = QDir::homePath();
#endif
    return {title, QStringLiteral("*.xls;;*.xlsx"), folder, QStringLiteral("xls")};
}

}  // namespace ui

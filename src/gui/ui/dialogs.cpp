#include "gui/ui/dialogs.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
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

// A message box grows with its text and would run off the screen: a long question (a business
// that changes many records) is shown in a read-only text that scrolls, with the same answers.
constexpr int kLongQuestionLines = 24;

bool askLong(const QString& text) {
    QDialog dialog(QApplication::activeWindow());
    dialog.setWindowTitle(titleOf(Box::Question));
    dialog.setFont(uiFont());
    dialog.setWindowModality(Qt::ApplicationModal);
    dialog.setFixedSize(600, 480);
    auto* view = new QPlainTextEdit(text, &dialog);
    view->setObjectName(QStringLiteral("提示内容"));
    view->setGeometry(10, 10, 580, 420);
    view->setReadOnly(true);
    nameForReaders(view, QStringLiteral("提示内容"));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Yes | QDialogButtonBox::No, &dialog);
    buttons->setGeometry(10, 440, 580, 30);
    buttons->button(QDialogButtonBox::Yes)->setDefault(true);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    return dialog.exec() == QDialog::Accepted;
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
    if (text.count(QLatin1Char('\n')) >= kLongQuestionLines) return askLong(text);
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

QString QtDialogs::openFolder(const FileRequest& request) {
    QFileDialog dialog(QApplication::activeWindow(), request.title, request.folder);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    dialog.setWindowModality(Qt::ApplicationModal);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().constFirst();
}

std::optional<QString> QtDialogs::secret(const QString& prompt) {
    QDialog dialog(QApplication::activeWindow());
    dialog.setWindowTitle(titleOf(Box::Question));
    dialog.setFont(uiFont());
    dialog.setWindowModality(Qt::ApplicationModal);
    dialog.setFixedSize(420, 120);
    auto* label = new QLabel(prompt, &dialog);
    label->setGeometry(15, 10, 390, 30);
    label->setWordWrap(true);
    auto* edit = new QLineEdit(&dialog);
    edit->setObjectName(QStringLiteral("密码框"));
    edit->setGeometry(15, 45, 390, 24);
    edit->setEchoMode(QLineEdit::Password);
    nameForReaders(edit, prompt);
    label->setBuddy(edit);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    buttons->setGeometry(15, 80, 390, 30);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    edit->setFocus();
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return edit->text();
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

#pragma once
// Message boxes and file dialogs. Every window receives one Dialogs object when it is created
// and shows all its boxes through it, so tests can hand in a scripted one.
#include <QString>
#include <optional>

class QWidget;

namespace ui {

// The three message styles: a warning has the warning icon, OK and the title "警告"; a question
// has Yes and No, no icon and the title "提示"; a notice has OK, no icon and the title "提示".
enum class Box { Warning, Question, Notice };

QString titleOf(Box style);

// What a file dialog is asked for. `filter` uses Qt's syntax ("备份文件 (*.bak)"), `folder` is
// where the dialog starts, `defaultSuffix` ("bak", no dot) is added to a name typed without one.
struct FileRequest {
    QString title;
    QString filter;
    QString folder;
    QString defaultSuffix;
};

class Dialogs {
  public:
    virtual ~Dialogs() = default;

    virtual void warning(const QString& text) = 0;
    // True only for Yes.
    virtual bool question(const QString& text) = 0;
    virtual void notice(const QString& text) = 0;

    // The chosen file's path, or an empty text when the clerk cancelled.
    virtual QString openFile(const FileRequest& request) = 0;
    virtual QString saveFile(const FileRequest& request) = 0;
    // A folder chosen in a dialog that shows folders only (title and start folder from
    // `request`), or an empty text when the clerk cancelled.
    virtual QString openFolder(const FileRequest& request) = 0;
    // A text typed unseen (a passphrase), asked with `prompt` in a box titled "提示"; nothing when
    // the clerk cancelled.
    virtual std::optional<QString> secret(const QString& prompt) = 0;
};

// The real thing: modal QMessageBox and QFileDialog over the active window.
class QtDialogs : public Dialogs {
  public:
    void warning(const QString& text) override;
    bool question(const QString& text) override;
    void notice(const QString& text) override;
    QString openFile(const FileRequest& request) override;
    QString saveFile(const FileRequest& request) override;
    QString openFolder(const FileRequest& request) override;
    std::optional<QString> secret(const QString& prompt) override;
};

// The save dialog of every export to a workbook: "*.xls" first, then "*.xlsx", and the name
// chosen decides the kind. Titled "另存为" unless an export names itself.
FileRequest workbookSaveRequest(const QString& title = QStringLiteral("另存为"));

}  // namespace ui

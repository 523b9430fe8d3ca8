#pragma once
// What the windows of one running program share: its folder, its dialogs, the lock, and the ways
// it touches the desktop (ending the program, opening a document), which tests replace.
#include <QString>
#include <QUrl>
#include <functional>
#include <memory>
#include <vector>

#include "core/session/lock.h"
#include "gui/ui/dialogs.h"

namespace shell {

class Session {
  public:
    using Action = std::function<void()>;
    using Opener = std::function<void(const QUrl&)>;
    using OpenCheck = std::function<bool(const QUrl&)>;

    // `quit` ends the event loop once the exit routine has cleaned up; `open` hands a document
    // to the desktop.
    Session(QString folder, ui::Dialogs& dialogs, Action quit, Opener open);
    ~Session();

    // The running program: its folder (chosen by chooseProgramFolder, `--folder DIR` in the
    // arguments naming it), real message boxes, QCoreApplication::exit, the desktop's opener.
    // On Linux a termination signal (logout, kill) runs the exit routine too, so that no lock
    // file or working file is left behind.
    static std::unique_ptr<Session> forProgram();

    const QString& folder() const { return folder_; }
    ui::Dialogs& dialogs() const { return dialogs_; }
    ProgramLock& lock() { return lock_; }
    void openDocument(const QUrl& url) const { open_(url); }
    // Whether the desktop has a program that shows the document; every document until a check
    // is set.
    bool canOpen(const QUrl& url) const { return !canOpen_ || canOpen_(url); }
    void setOpenCheck(OpenCheck check) { canOpen_ = std::move(check); }

    // Why the folder cannot be used, found when it was chosen; empty when nothing was found.
    const QString& folderProblem() const { return folderProblem_; }
    void setFolderProblem(QString problem) { folderProblem_ = std::move(problem); }

    // A window that holds record stores registers how to close them; the exit routine calls it.
    void addStoreCloser(Action closer) { storeClosers_.push_back(std::move(closer)); }

    // The exit routine: close the record stores when asked to, close the lock file, delete it
    // and the working files, end the program with exit code 0. Runs once; later calls are
    // ignored, since the program is already ending. With `closeStores` the register is backed up
    // when it changed; `ask` false (a logout, a signal) shows no reminder.
    void exitProgram(bool closeStores, bool ask = true);
    // This copy does not own the folder (it could not be used): the exit routine leaves its
    // files alone and only ends the program.
    void leaveFolderAlone() { ownsFolder_ = false; }
    bool ended() const { return ended_; }

  private:
    QString folder_;
    ui::Dialogs& dialogs_;
    Action quit_;
    Opener open_;
    OpenCheck canOpen_;
    QString folderProblem_;
    ProgramLock lock_;
    std::vector<Action> storeClosers_;
    std::unique_ptr<ui::Dialogs> ownDialogs_;
    bool ended_ = false;
    bool ownsFolder_ = true;
};

}  // namespace shell

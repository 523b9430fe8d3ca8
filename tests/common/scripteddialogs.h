#pragma once
// Dialogs for window tests: every box is checked against a script of expected boxes (style and
// exact text) and answered from it; a box the script does not expect fails the running test, and
// so does an expected box still missing when the object goes. Runs that cannot know their boxes
// in advance (random edits, drivers killed at random) answer Yes to everything instead.
#include <QString>
#include <QStringList>
#include <deque>
#include <functional>
#include <optional>
#include <vector>

#include "gui/ui/dialogs.h"

namespace hjtest {

class ScriptedDialogs : public ui::Dialogs {
  public:
    enum class Kind { Warning, Question, Notice, Open, Save, Folder, Secret };

    struct Shown {
        Kind kind;
        QString title;  // empty for file dialogs
        QString text;   // the message, or the file dialog's title
    };

    enum class Mode {
        Scripted,  // each box as the script says, anything else fails the test
        YesToAll,  // no box fails: questions Yes, file dialogs from the expected paths in order
                   // (none left: cancelled), messages only kept
    };

    explicit ScriptedDialogs(Mode mode = Mode::Scripted) : mode_(mode) {}
    ~ScriptedDialogs() override;

    // Expectations are met in the order they were given.
    void expectWarning(const QString& text);
    void expectQuestion(const QString& text, bool answerYes);
    void expectNotice(const QString& text);
    // The next open / save dialog answers `path` (empty: cancelled).
    void expectOpen(const QString& path);
    void expectSave(const QString& path);
    // The next folder dialog answers `path` (empty: cancelled).
    void expectFolder(const QString& path);
    // The next secret asked with `prompt` answers `typed` (nothing: cancelled).
    void expectSecret(const QString& prompt, std::optional<QString> typed);

    // True when every expected box has been shown and nothing unexpected came.
    bool done() const { return pending_.empty() && unexpected_ == 0; }
    // What is still expected, for a test's failure message.
    QString pendingText() const;
    // Forgets the script and what was shown.
    void reset();
    // What went wrong since the last reset (empty when nothing did), then a reset: the check a
    // window test's cleanup makes, so that one test's leftovers never fail the next.
    QString takeProblems();

    const std::vector<Shown>& shown() const { return shown_; }
    // The messages shown since the last reset, as "W:text", "Q:text" or "N:text".
    QStringList boxes() const;
    // Called as each box comes up, before it is answered: a test looks at the window then.
    std::function<void()> atBox;
    const std::vector<ui::FileRequest>& fileRequests() const { return requests_; }

    void warning(const QString& text) override;
    bool question(const QString& text) override;
    void notice(const QString& text) override;
    QString openFile(const ui::FileRequest& request) override;
    QString saveFile(const ui::FileRequest& request) override;
    QString openFolder(const ui::FileRequest& request) override;
    std::optional<QString> secret(const QString& prompt) override;

  private:
    struct Expected {
        Kind kind;
        QString text;  // message text; unused for file dialogs
        bool yes = false;
        QString path;
        std::optional<QString> typed;
    };
    // Takes the next expectation when it matches; otherwise fails the test and answers null.
    const Expected* take(Kind kind, const QString& text);

    Mode mode_;
    std::deque<Expected> pending_;
    Expected current_;
    std::vector<Shown> shown_;
    std::vector<ui::FileRequest> requests_;
    int unexpected_ = 0;
};

}  // namespace hjtest

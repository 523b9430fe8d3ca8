#include "common/scripteddialogs.h"

#include <QTest>
#include <algorithm>

namespace hjtest {

namespace {

const char* kindName(ScriptedDialogs::Kind kind) {
    switch (kind) {
        case ScriptedDialogs::Kind::Warning:
            return "warning";
        case ScriptedDialogs::Kind::Question:
            return "question";
        case ScriptedDialogs::Kind::Notice:
            return "notice";
        case ScriptedDialogs::Kind::Open:
            return "open dialog";
        case ScriptedDialogs::Kind::Save:
            return "save dialog";
        case ScriptedDialogs::Kind::Folder:
            return "folder dialog";
        case ScriptedDialogs::Kind::Secret:
            return "secret";
    }
    return "?";
}

QString titleFor(ScriptedDialogs::Kind kind) {
    switch (kind) {
        case ScriptedDialogs::Kind::Warning:
            return ui::titleOf(ui::Box::Warning);
        case ScriptedDialogs::Kind::Question:
            return ui::titleOf(ui::Box::Question);
        case ScriptedDialogs::Kind::Notice:
        case ScriptedDialogs::Kind::Secret:
            return ui::titleOf(ui::Box::Notice);
        default:
            return {};
    }
}

bool isFileDialog(ScriptedDialogs::Kind kind) {
    return kind == ScriptedDialogs::Kind::Open || kind == ScriptedDialogs::Kind::Save ||
           kind == ScriptedDialogs::Kind::Folder;
}

}  // namespace

ScriptedDialogs::~ScriptedDialogs() {
    // An expected box that never came is a fault of the window as much as an unexpected one.
    if (!pending_.empty() && QTest::currentTestFunction() && !QTest::currentTestFailed()) {
        const QByteArray message =
            QStringLiteral("expected but never shown: %1").arg(pendingText()).toUtf8();
        QTest::qFail(message.constData(), __FILE__, __LINE__);
    }
}

void ScriptedDialogs::expectWarning(const QString& text) {
    pending_.push_back({Kind::Warning, text, false, {}, std::nullopt});
}
void ScriptedDialogs::expectQuestion(const QString& text, bool answerYes) {
    pending_.push_back({Kind::Question, text, answerYes, {}, std::nullopt});
}
void ScriptedDialogs::expectNotice(const QString& text) {
    pending_.push_back({Kind::Notice, text, false, {}, std::nullopt});
}
void ScriptedDialogs::expectOpen(const QString& path) {
    pending_.push_back({Kind::Open, {}, false, path, std::nullopt});
}
void ScriptedDialogs::expectSave(const QString& path) {
    pending_.push_back({Kind::Save, {}, false, path, std::nullopt});
}

void ScriptedDialogs::expectFolder(const QString& path) {
    pending_.push_back({Kind::Folder, {}, false, path, std::nullopt});
}

void ScriptedDialogs::expectSecret(const QString& prompt, std::optional<QString> typed) {
    pending_.push_back({Kind::Secret, prompt, false, {}, std::move(typed)});
}

QString ScriptedDialogs::pendingText() const {
    QStringList parts;
    for (const Expected& e : pending_)
        parts << QStringLiteral("%1 \"%2\"").arg(QLatin1String(kindName(e.kind)), e.text);
    if (unexpected_) parts << QStringLiteral("%1 unexpected box(es) shown").arg(unexpected_);
    return parts.join(QStringLiteral("; "));
}

QString ScriptedDialogs::takeProblems() {
    const QString problems = done() ? QString() : pendingText();
    reset();
    return problems;
}

void ScriptedDialogs::reset() {
    pending_.clear();
    shown_.clear();
    requests_.clear();
    unexpected_ = 0;
}

QStringList ScriptedDialogs::boxes() const {
    QStringList out;
    for (const Shown& s : shown_) {
        if (s.kind == Kind::Warning) out << QStringLiteral("W:") + s.text;
        if (s.kind == Kind::Question) out << QStringLiteral("Q:") + s.text;
        if (s.kind == Kind::Notice) out << QStringLiteral("N:") + s.text;
    }
    return out;
}

const ScriptedDialogs::Expected* ScriptedDialogs::take(Kind kind, const QString& text) {
    if (atBox) atBox();
    shown_.push_back({kind, titleFor(kind), text});
    if (mode_ == Mode::YesToAll) {
        current_ = {kind, text, true, {}, std::nullopt};
        if (isFileDialog(kind)) {
            const auto next = std::find_if(pending_.begin(), pending_.end(),
                                           [kind](const Expected& e) { return e.kind == kind; });
            if (next != pending_.end()) {
                current_.path = next->path;
                pending_.erase(next);
            }
        }
        return &current_;
    }
    const bool matches = !pending_.empty() && pending_.front().kind == kind &&
                         (isFileDialog(kind) || pending_.front().text == text);
    if (!matches) {
        ++unexpected_;
        const QString expected =
            pending_.empty()
                ? QStringLiteral("no box")
                : QStringLiteral("%1 \"%2\"")
                      .arg(QLatin1String(kindName(pending_.front().kind)), pending_.front().text);
        const QByteArray message = QStringLiteral("unexpected %1 \"%2\" (expected %3)")
                                       .arg(QLatin1String(kindName(kind)), text, expected)
                                       .toUtf8();
        QTest::qFail(message.constData(), __FILE__, __LINE__);
        return nullptr;
    }
    current_ = pending_.front();
    pending_.pop_front();
    return &current_;
}

void ScriptedDialogs::warning(const QString& text) {
    take(Kind::Warning, text);
}

bool ScriptedDialogs::question(const QString& text) {
    const Expected* e = take(Kind::Question, text);
    return e && e->yes;
}

void ScriptedDialogs::notice(const QString& text) {
    take(Kind::Notice, text);
}

QString ScriptedDialogs::openFile(const ui::FileRequest& request) {
    requests_.push_back(request);
    const Expected* e = take(Kind::Open, request.title);
    return e ? e->path : QString();
}

QString ScriptedDialogs::saveFile(const ui::FileRequest& request) {
    requests_.push_back(request);
    const Expected* e = take(Kind::Save, request.title);
    return e ? e->path : QString();
}

QString ScriptedDialogs::openFolder(const ui::FileRequest& request) {
    requests_.push_back(request);
    const Expected* e = take(Kind::Folder, request.title);
    return e ? e->path : QString();
}

std::optional<QString> ScriptedDialogs::secret(const QString& prompt) {
    const Expected* e = take(Kind::Secret, prompt);
    return e ? e->typed : std::nullopt;
}

}  // namespace hjtest

#pragma once
// The dialogs of the window benchmarks: every question answered Yes, every message taken
// silently, no file chosen, no passphrase typed.
#include "gui/ui/dialogs.h"

class QuietDialogs : public ui::Dialogs {
  public:
    void warning(const QString&) override {}
    bool question(const QString&) override { return true; }
    void notice(const QString&) override {}
    QString openFile(const ui::FileRequest&) override { return {}; }
    QString saveFile(const ui::FileRequest&) override { return {}; }
    QString openFolder(const ui::FileRequest&) override { return {}; }
    std::optional<QString> secret(const QString&) override { return std::nullopt; }
};

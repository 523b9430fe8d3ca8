#include "gui/exchange/resultexport.h"

#include <QPointer>
#include <QProgressBar>

namespace exchange {

void show(ui::Dialogs& dialogs, const Outcome& outcome) {
    if (outcome.kind == Outcome::Kind::Warning) dialogs.warning(outcome.message);
    if (outcome.kind == Outcome::Kind::Notice) dialogs.notice(outcome.message);
}

void show(ui::Dialogs& dialogs, ReportResult result) {
    if (result == ReportResult::NoSpreadsheet) dialogs.warning(msg::kNoSpreadsheet);
    if (result == ReportResult::SaveFailed) dialogs.warning(msg::kSaveFailed);
}

void exportRegister(const QString& folder, const QString& registerPath, ui::Dialogs& dialogs,
                    const Progress& progress, const std::function<void()>& started,
                    const SpreadsheetFactory& factory) {
    show(dialogs, exportRegister(
                      folder, registerPath,
                      [&dialogs] { return dialogs.saveFile(ui::workbookSaveRequest()); }, progress,
                      started, factory));
}

void exportQueryResult(const QString& folder, ui::Dialogs& dialogs, const Progress& progress,
                       const std::function<void()>& started, const SpreadsheetFactory& factory,
                       bool maskIdentity) {
    show(dialogs, exportQueryResult(
                      folder, [&dialogs] { return dialogs.saveFile(ui::workbookSaveRequest()); },
                      progress, started, factory, maskIdentity));
}

bool importWorkbook(const ImportRequest& request, ui::Dialogs& dialogs,
                    const std::function<void()>& started, const std::function<void()>& animate) {
    const Outcome outcome = importWorkbook(request, started, animate);
    show(dialogs, outcome);
    return outcome.ok;
}

void exportResult(const QString& folder, ui::Dialogs& dialogs, QProgressBar* bar,
                  const SpreadsheetFactory& factory, bool maskIdentity) {
    QPointer<QProgressBar> guard(bar);
    exportQueryResult(
        folder, dialogs,
        [guard](int percent) {
            if (guard && guard->value() != percent) {
                guard->setValue(percent);
                guard->repaint();
            }
        },
        [guard] {
            if (guard) guard->show();
        },
        factory, maskIdentity);
    if (guard) {
        guard->setValue(0);
        guard->hide();
    }
}

}  // namespace exchange

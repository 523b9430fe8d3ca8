#include "exchange/resultexport.h"

#include <QPointer>
#include <QProgressBar>

#include "exchange/transfer.h"

namespace exchange {

void exportResult(const QString& folder, ui::Dialogs& dialogs, QProgressBar* bar,
                  const SpreadsheetFactory& factory) {
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
        factory);
    if (guard) {
        guard->setValue(0);
        guard->hide();
    }
}

}  // namespace exchange

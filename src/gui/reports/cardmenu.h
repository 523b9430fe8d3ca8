#pragma once
// The register card offered from the information-management window's tree.
#include <QString>

#include "gui/ui/dialogs.h"

class QAbstractItemView;
class QWidget;

namespace maint {

// Adds "打印本户登记表" (also Ctrl+P anywhere in the window) and "本户登记表存为PDF" to the
// context menu of `tree`; both act on the household of the tree's current line, read from the
// register file in `folder`. `window` owns the print dialog.
void addCardActions(QWidget* window, QAbstractItemView* tree, const QString& folder,
                    ui::Dialogs& dialogs);

}  // namespace maint

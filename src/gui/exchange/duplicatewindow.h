#pragma once
// 查找重复: pairs of persons in the register that are likely one, the two records side by side,
// and the clerk's decision on each: two persons (remembered), or one (merged as one undoable
// change through the editor), or left for later.
#include <QWidget>
#include <string>
#include <vector>

#include "core/edit/duplicates.h"
#include "core/edit/registereditor.h"
#include "gui/ui/background.h"
#include "gui/ui/dialogs.h"

class QComboBox;
class QLabel;
class QPushButton;
class QTableWidget;

namespace exchange {

namespace dupmsg {
inline const QString kNone = QStringLiteral("没有发现可能重复的人员。");
inline const QString kNoRegister = QStringLiteral("户籍数据打不开，无法查找重复人员！");
inline const QString kChangedSince =
    QStringLiteral("户籍数据在查找之后有了改变，已重新查找，请再核对一遍。");
inline const QString kNotRemembered =
    QStringLiteral("“不是同一人”没能记下（重复核对记录写不进去），下次查找还会列出这一对。");
}  // namespace dupmsg

class DuplicateWindow : public QWidget {
    Q_OBJECT
  public:
    DuplicateWindow(edit::RegisterEditor& editor, ui::Dialogs& dialogs, QWidget* parent = nullptr);

    // The register's scan runs off the window's thread; finished() once the list is shown.
    ui::Background& scanner() { return *scanning_; }
    // Reads and scans the register again (after another window changed it); not while a scan
    // runs.
    void rescan();
    // The question asked before a merge of the pair on row `row`.
    QString mergeQuestion(int row) const;

  signals:
    // The register was changed by a merge.
    void changed();

  private:
    struct Scan {
        bool opened = false;
        std::vector<std::vector<std::string>> persons;
        std::vector<long> records;
        std::vector<edit::dup::Pair> pairs;
    };
    void showScan(Scan& scan);
    void showPair();
    void notSame();
    void merge();
    int selectedRow() const;
    // Index into persons_ of 甲 (0) or 乙 (1) of the pair on `row`.
    size_t side(int row, int which) const;

    edit::RegisterEditor& editor_;
    ui::Dialogs& dialogs_;
    edit::dup::Dismissals dismissals_;
    ui::Background* scanning_;
    bool firstScan_ = true;

    std::vector<std::vector<std::string>> persons_;
    std::vector<long> records_;
    std::vector<edit::dup::Pair> pairs_;  // those shown, in the list's order

    QLabel* summary_;
    QTableWidget* list_;
    QTableWidget* compare_;
    std::vector<QComboBox*> choices_;  // one per field; null where the two agree
    QPushButton* notSame_;
    QPushButton* merge_;
};

}  // namespace exchange

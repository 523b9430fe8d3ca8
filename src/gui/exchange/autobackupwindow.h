#pragma once
// The automatic backups: the list in 自动备份, the second folder, a backup now and a restore from
// one of them (by the restore of 恢复数据: a safety copy first, undone by 撤销恢复/导入).
#include <QWidget>

#include "core/edit/registereditor.h"
#include "gui/ui/dialogs.h"

class QLineEdit;
class QPushButton;
class QTreeWidget;

namespace exchange {

class AutoBackupWindow : public QWidget {
    Q_OBJECT
  public:
    AutoBackupWindow(QString folder, ui::Dialogs& dialogs, QWidget* parent = nullptr);

  signals:
    // The register was replaced by a backup: 撤销恢复/导入 has something to undo.
    void restored();

  private:
    void fill();
    void backUpNow();
    void restoreChosen();
    void chooseSecond();
    void clearSecond();

    QString folder_;
    ui::Dialogs& dialogs_;
    edit::RegisterEditor editor_{folder_};
    QTreeWidget* list_;
    QLineEdit* second_;
};

namespace msg {
inline const QString kNoBackupChosen = QStringLiteral("请先在列表中选择一份自动备份！");
inline const QString kAutoBackupFailed = QStringLiteral("自动备份失败！");
inline const QString kSecondNotSaved = QStringLiteral("第二备份文件夹没有保存！");
}  // namespace msg

}  // namespace exchange

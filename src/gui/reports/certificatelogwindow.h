#pragma once
// The certificate log: every certificate issued or void, filtered by name, number, dates and
// template; 补打 of the stored text, 作废 with a reason, the list as a workbook, and the
// verification of a number or a QR code's text.
#include <QWidget>
#include <memory>

#include "gui/ui/dialogs.h"

class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QTableView;

namespace maint {

namespace logmsg {
inline const QString kChooseFirst = QStringLiteral("请先在列表中选择一份证明！");
inline const QString kNeedReason = QStringLiteral("请先填写作废原因！");
// %1: the number.
inline const QString kConfirmVoid = QStringLiteral("确定将编号 %1 的证明作废吗？作废后不能恢复。");
inline const QString kVoidDone = QStringLiteral("  已作废");
inline const QString kReprinted = QStringLiteral("  补打完成");
inline const QString kNotReprinted = QStringLiteral("证明未能补打！");
inline const QString kExported = QStringLiteral("  导出成功");
inline const QString kNotExported = QStringLiteral("证明记录未能写入所选文件！");
}  // namespace logmsg

class CertificateLogModel;

class CertificateLogWindow : public QWidget {
    Q_OBJECT
  public:
    CertificateLogWindow(QString folder, ui::Dialogs& dialogs, QWidget* parent = nullptr);
    ~CertificateLogWindow() override;

    // Reads the log again and applies the filters.
    void reload();
    // Checks what the verification box holds and shows the answer.
    void verify();

  private:
    void applyFilter();
    QString selectedNumber() const;
    void reprint();
    void voidSelected();
    void exportList();

    QString folder_;
    ui::Dialogs& dialogs_;
    std::unique_ptr<CertificateLogModel> model_;
    QLineEdit* name_;
    QLineEdit* number_;
    QDateEdit* from_;
    QDateEdit* to_;
    QComboBox* template_;
    QTableView* list_;
    QLabel* summary_;
    QLineEdit* voidReason_;
    QLineEdit* check_;
    QLabel* answer_;
};

}  // namespace maint

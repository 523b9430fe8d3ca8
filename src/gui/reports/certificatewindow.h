#pragma once
// The window that issues a certificate for the person selected in the register tree: the
// template, a second person for a relation, 事由, a preview of the page, print or PDF; the
// settings a certificate needs; and the clerk's own templates, copied from one shown and saved
// under a new name.
#include <QString>
#include <QWidget>
#include <string>
#include <vector>

#include "core/edit/certificatelog.h"
#include "gui/ui/dialogs.h"

class QAbstractItemView;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;

namespace maint {

namespace certmsg {
inline const QString kChoosePerson = QStringLiteral("请先在左侧列表中选择一人！");
inline const QString kGone = QStringLiteral("所选的人在户籍数据中不存在！");
inline const QString kFirstUse =
    QStringLiteral("首次开具证明，请先填写村居名称和编号前缀，然后点击“保存设置”。");
inline const QString kNoSettings = QStringLiteral("请先填写村居名称和编号前缀并保存设置！");
inline const QString kNotFitting = QStringLiteral("所选模板不适用于此人！");
// %1: the empty placeholders.
inline const QString kEmptyValues =
    QStringLiteral("以下内容在户籍数据中为空，将印成空白横线，由经办人手写：\n%1\n是否继续？");
// %1: the number.
inline const QString kIssued = QStringLiteral("证明已开具，编号：%1");
// %1: the number, %2: why it is void.
inline const QString kVoided = QStringLiteral("证明未开具，编号 %1 已作废：%2");
inline const QString kCancelPrint = QStringLiteral("取消打印");
inline const QString kCancelSave = QStringLiteral("取消保存");
inline const QString kPrintFailed = QStringLiteral("打印失败");
inline const QString kPdfFailed = QStringLiteral("PDF文件未能写入");
inline const QString kSaved = QStringLiteral("  保存成功");
inline const QString kBuiltInName = QStringLiteral("内置模板不能覆盖，请另取一个名称！");
// %1: the template's name.
inline const QString kOverwrite = QStringLiteral("模板“%1”已存在，是否覆盖？");
}  // namespace certmsg

class CertificateWindow : public QWidget {
    Q_OBJECT
  public:
    // For the person of 序号 `serial` (GB18030) in the register of `folder`.
    CertificateWindow(QString folder, ui::Dialogs& dialogs, const std::string& serial,
                      QWidget* parent = nullptr);

    // Whether the person was found in the register.
    bool hasPerson() const { return !person_.empty(); }
    // The output buttons, and what a test fills in.
    void issue(bool pdf);

  private:
    void loadPerson(const std::string& serial);
    void loadTemplates(const QString& select = QString());
    const cert::Template* currentTemplate() const;
    cert::Subject subject() const;
    void templateChosen();
    void updatePreview();
    void saveSettings();
    void saveTemplate();
    void insertPlaceholder();

    QString folder_;
    ui::Dialogs& dialogs_;
    std::vector<std::string> person_;
    std::vector<std::vector<std::string>> household_;
    std::vector<cert::Template> templates_;
    QComboBox* template_;
    QLabel* personLabel_;
    QComboBox* second_;
    QLineEdit* reason_;
    QLineEdit* village_;
    QLineEdit* prefix_;
    QLabel* next_;
    QLabel* preview_;
    QPlainTextEdit* editor_;
    QListWidget* placeholders_;
    QLineEdit* newName_;
};

// Adds "开具证明" (also Ctrl+K anywhere in `window`) to the context menu of `tree`: a
// certificate for the person of the tree's current line, from the register in `folder`.
void addCertificateAction(QWidget* window, QAbstractItemView* tree, const QString& folder,
                          ui::Dialogs& dialogs);

}  // namespace maint

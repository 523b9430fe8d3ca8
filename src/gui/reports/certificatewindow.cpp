#include "gui/reports/certificatewindow.h"

#include <QAbstractItemView>
#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QStandardItemModel>
#include <algorithm>

#include "core/edit/registerview.h"
#include "core/register/person.h"
#include "core/register/store.h"
#include "core/register/text.h"
#include "core/register/workfiles.h"
#include "gui/reports/certificateprint.h"
#include "gui/ui/widgets.h"

namespace maint {

namespace {

constexpr int kPreviewWidth = 310;

QString today() {
    return QDate::currentDate().toString(QStringLiteral("yyyyMMdd"));
}

// A template as the editor shows it: the title, the number's line, the paragraphs, an empty
// line, then the lines under the body.
QString templateText(const cert::Template& t) {
    return t.title + QLatin1Char('\n') + t.subtitle + QLatin1Char('\n') + t.body +
           QStringLiteral("\n\n") + t.closing;
}

cert::Template templateFrom(const QString& text, const QString& name, cert::Kind kind) {
    QStringList lines = text.split(QLatin1Char('\n'));
    cert::Template t;
    t.name = name;
    t.kind = kind;
    t.title = lines.value(0).trimmed();
    t.subtitle = lines.value(1).trimmed();
    QStringList body, closing;
    bool inClosing = false;
    for (int i = 2; i < lines.size(); ++i) {
        const QString line = lines[i].trimmed();
        if (line.isEmpty()) {
            // The first empty line after some text ends the body.
            if (!body.isEmpty()) inClosing = true;
            continue;
        }
        (inClosing ? closing : body) << line;
    }
    t.body = body.join(QLatin1Char('\n'));
    t.closing = closing.join(QLatin1Char('\n'));
    return t;
}

QString gbField(const std::vector<std::string>& v, int field) {
    return v.size() == size_t(reg::kFieldCount) ? reg::fromGb(v[size_t(field - 1)]) : QString();
}

}  // namespace

CertificateWindow::CertificateWindow(QString folder, ui::Dialogs& dialogs,
                                     const std::string& serial, QWidget* parent)
    : QWidget(parent), folder_(std::move(folder)), dialogs_(dialogs) {
    ui::setUpWindow(this, QStringLiteral("澄禾社区户籍管理系统-开具证明   青石听雨 制作"),
                    {910, 640});
    const auto label = [this](const QString& name, const QString& text, QRect place) {
        return ui::addLabel(this, name, text, place);
    };

    // The certificate: template, persons, 事由.
    label(QStringLiteral("模板标签"), QStringLiteral("证明模板"), {15, 15, 75, 24});
    template_ = ui::addControl<QComboBox>(this, QStringLiteral("模板选择框"), {95, 15, 190, 24},
                                          QStringLiteral("证明模板"));
    label(QStringLiteral("当事人标签"), QStringLiteral("当事人"), {15, 50, 75, 24});
    personLabel_ = label(QStringLiteral("当事人显示"), QString(), {95, 50, 190, 24});
    label(QStringLiteral("第二人标签"), QStringLiteral("关系人"), {15, 85, 75, 24});
    second_ = ui::addControl<QComboBox>(this, QStringLiteral("第二人选择框"), {95, 85, 190, 24},
                                        QStringLiteral("关系人"));
    label(QStringLiteral("事由标签"), QStringLiteral("事由"), {15, 120, 75, 24});
    reason_ =
        ui::addEdit(this, QStringLiteral("事由编辑框"), {95, 120, 190, 24}, QStringLiteral("事由"));
    ui::applyRules(reason_, {200, ui::Input::Any, false});

    // The settings every certificate needs.
    label(QStringLiteral("村居名称标签"), QStringLiteral("村居名称"), {15, 170, 75, 24});
    village_ = ui::addEdit(this, QStringLiteral("村居名称编辑框"), {95, 170, 190, 24},
                           QStringLiteral("村居名称"));
    label(QStringLiteral("编号前缀标签"), QStringLiteral("编号前缀"), {15, 205, 75, 24});
    prefix_ = ui::addEdit(this, QStringLiteral("编号前缀编辑框"), {95, 205, 100, 24},
                          QStringLiteral("编号前缀"));
    auto* saveSettings = ui::addButton(this, QStringLiteral("保存设置按钮"),
                                       QStringLiteral("保存设置"), {200, 203, 85, 28});
    next_ = label(QStringLiteral("下一编号显示"), QString(), {15, 240, 270, 24});

    auto* print =
        ui::addButton(this, QStringLiteral("打印按钮"), QStringLiteral("打印"), {15, 285, 80, 30});
    auto* pdf = ui::addButton(this, QStringLiteral("保存PDF按钮"), QStringLiteral("保存PDF"),
                              {105, 285, 90, 30});
    auto* close =
        ui::addButton(this, QStringLiteral("关闭"), QStringLiteral("关闭"), {205, 285, 80, 30});
    QLabel* note = label(QStringLiteral("说明标签"),
                         QStringLiteral("先取编号并记入证明记录，再打印或保存；取消或失败时该编号"
                                        "作废并记明原因。预览中的编号为下一个可用编号。"),
                         {15, 330, 270, 80});
    note->setWordWrap(true);

    // The page as it will print.
    preview_ = label(QStringLiteral("预览"), QString(), {300, 15, kPreviewWidth, 600});
    preview_->setAlignment(Qt::AlignTop | Qt::AlignHCenter);
    ui::nameForReaders(preview_, QStringLiteral("证明预览"));

    // The clerk's own templates.
    QLabel* how = label(QStringLiteral("模板内容标签"),
                        QStringLiteral("模板内容：第一行标题，第二行编号行，其后每行一段，"
                                       "空一行后为落款各行"),
                        {625, 15, 270, 40});
    how->setWordWrap(true);
    editor_ = ui::addControl<QPlainTextEdit>(this, QStringLiteral("模板编辑框"),
                                             {625, 58, 270, 280}, QStringLiteral("模板内容"));
    label(QStringLiteral("占位符标签"), QStringLiteral("可插入的内容（双击插入）"),
          {625, 345, 270, 22});
    placeholders_ = ui::addControl<QListWidget>(
        this, QStringLiteral("占位符列表"), {625, 368, 270, 160}, QStringLiteral("可插入的内容"));
    for (const QString& name : cert::placeholderNames())
        placeholders_->addItem(QLatin1Char('{') + name + QLatin1Char('}'));
    auto* insert =
        ui::addButton(this, QStringLiteral("插入按钮"), QStringLiteral("插入"), {625, 534, 80, 28});
    label(QStringLiteral("新模板名称标签"), QStringLiteral("新模板名称"), {625, 572, 80, 24});
    newName_ = ui::addEdit(this, QStringLiteral("新模板名称编辑框"), {705, 572, 100, 24},
                           QStringLiteral("新模板名称"));
    auto* saveTemplate = ui::addButton(this, QStringLiteral("另存模板按钮"),
                                       QStringLiteral("另存模板"), {810, 570, 85, 28});

    connect(template_, &QComboBox::currentIndexChanged, this, &CertificateWindow::templateChosen);
    connect(second_, &QComboBox::currentIndexChanged, this, &CertificateWindow::updatePreview);
    connect(reason_, &QLineEdit::textChanged, this, &CertificateWindow::updatePreview);
    connect(saveSettings, &QPushButton::clicked, this, &CertificateWindow::saveSettings);
    connect(print, &QPushButton::clicked, this, [this] { issue(false); });
    connect(pdf, &QPushButton::clicked, this, [this] { issue(true); });
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    connect(insert, &QPushButton::clicked, this, &CertificateWindow::insertPlaceholder);
    connect(placeholders_, &QListWidget::itemDoubleClicked, this,
            &CertificateWindow::insertPlaceholder);
    connect(saveTemplate, &QPushButton::clicked, this, &CertificateWindow::saveTemplate);

    // What a crash left is settled before a number is taken.
    for (const QString& name : cert::settle(folder_, QDateTime::currentDateTime()).setAside)
        dialogs_.warning(cert::setAsideWarning(name));
    const cert::Settings settings = cert::settings(folder_);
    village_->setText(settings.village);
    prefix_->setText(settings.prefix);
    loadPerson(serial);
    loadTemplates();
    if (!settings.complete() && hasPerson()) {
        dialogs_.notice(certmsg::kFirstUse);
        village_->setFocus();
    }
}

void CertificateWindow::loadPerson(const std::string& serial) {
    reg::RecordStore store;
    if (store.OpenTable(reg::pathIn(folder_, reg::names::kRegister))) {
        std::vector<int> columns;  // by name, so that a table in another column order still reads
        for (int field = 1; field <= reg::kFieldCount; ++field)
            columns.push_back(store.FieldNumber(reg::fieldName(field)));
        std::vector<std::vector<std::string>> all;
        static_cast<void>(store.CountMatching([&] {
            std::vector<std::string> v;
            for (int c : columns) v.push_back(c ? store.ReadField(c) : std::string());
            all.push_back(std::move(v));
            return false;
        }));
        for (const auto& v : all)
            if (v[reg::F序号 - 1] == serial) person_ = v;
        if (!person_.empty()) {
            for (const auto& v : all)
                if (v[reg::F房屋详址 - 1] == person_[reg::F房屋详址 - 1]) household_.push_back(v);
            std::stable_sort(household_.begin(), household_.end(),
                             [](const auto& a, const auto& b) {
                                 return reg::leadingNumber(a[reg::F序号 - 1]) <
                                        reg::leadingNumber(b[reg::F序号 - 1]);
                             });
        }
    }
    static_cast<void>(store.CloseAllTables());  // read only
    personLabel_->setText(person_.empty() ? QString()
                                          : gbField(person_, reg::F序号) + QLatin1Char(' ') +
                                                gbField(person_, reg::F姓名));
    second_->addItem(QStringLiteral("（无）"), -1);
    for (size_t i = 0; i < household_.size(); ++i)
        if (household_[i] != person_)
            second_->addItem(gbField(household_[i], reg::F序号) + QLatin1Char(' ') +
                                 gbField(household_[i], reg::F姓名),
                             int(i));
}

void CertificateWindow::loadTemplates(const QString& select) {
    const QSignalBlocker block(template_);
    templates_ = cert::templates(folder_);
    template_->clear();
    auto* model = qobject_cast<QStandardItemModel*>(template_->model());
    int first = -1, chosen = -1;
    for (size_t i = 0; i < templates_.size(); ++i) {
        const cert::Template& t = templates_[i];
        template_->addItem(t.builtIn ? t.name : t.name + QStringLiteral("（自定义）"));
        // Templates that do not fit the person stay listed, greyed, so the clerk sees why.
        const bool fits = !person_.empty() && cert::fits(t.kind, person_, reg::toGb(today()));
        if (model) model->item(int(i))->setEnabled(fits);
        if (fits && first < 0) first = int(i);
        if (fits && t.name == select) chosen = int(i);
    }
    template_->setCurrentIndex(chosen >= 0 ? chosen : std::max(first, 0));
    templateChosen();
}

const cert::Template* CertificateWindow::currentTemplate() const {
    const int i = template_->currentIndex();
    return i >= 0 && size_t(i) < templates_.size() ? &templates_[size_t(i)] : nullptr;
}

cert::Subject CertificateWindow::subject() const {
    cert::Subject s;
    s.person = person_;
    s.household = household_;
    s.reason = reason_->text().trimmed();
    const cert::Template* t = currentTemplate();
    const int second = second_->currentData().toInt();
    if (t && t->kind == cert::Kind::Kinship && second >= 0) s.second = household_[size_t(second)];
    return s;
}

void CertificateWindow::templateChosen() {
    const cert::Template* t = currentTemplate();
    second_->setEnabled(t && t->kind == cert::Kind::Kinship);
    if (t) editor_->setPlainText(templateText(*t));
    updatePreview();
}

void CertificateWindow::updatePreview() {
    const cert::Template* t = currentTemplate();
    const QDate date = QDate::currentDate();
    const QString number = cert::nextNumber(folder_, date);
    next_->setText(number.isEmpty() ? QStringLiteral("下一编号：（未设置编号前缀）")
                                    : QStringLiteral("下一编号：") + number);
    if (!t || person_.empty()) {
        preview_->clear();
        return;
    }
    CertificatePage page;
    page.page = cert::render(*t, subject(), {number, village_->text().trimmed(), date});
    preview_->setPixmap(QPixmap::fromImage(certificateImage(page, kPreviewWidth)));
}

void CertificateWindow::saveSettings() {
    const cert::Answer answer =
        cert::saveSettings(folder_, {village_->text().trimmed(), prefix_->text().trimmed()});
    if (!answer.done()) {
        dialogs_.warning(answer.message);
        return;
    }
    dialogs_.notice(certmsg::kSaved);
    updatePreview();
}

void CertificateWindow::issue(bool pdf) {
    const cert::Settings settings = cert::settings(folder_);
    if (!settings.complete()) {
        dialogs_.warning(certmsg::kNoSettings);
        village_->setFocus();
        return;
    }
    if (person_.empty()) {
        dialogs_.warning(certmsg::kGone);
        return;
    }
    const cert::Template* t = currentTemplate();
    const QDateTime now = QDateTime::currentDateTime();
    if (!t || !cert::fits(t->kind, person_, reg::toGb(now.date().toString("yyyyMMdd")))) {
        dialogs_.warning(certmsg::kNotFitting);
        return;
    }
    const cert::Subject s = subject();
    // The number is not taken yet; the next one stands in so that it is not listed as empty.
    const cert::Rendered draft =
        cert::render(*t, s, {cert::nextNumber(folder_, now.date()), settings.village, now.date()});
    // Blanks print as lines to fill by hand; the clerk decides whether that will do.
    if (!draft.empty.isEmpty() &&
        !dialogs_.question(certmsg::kEmptyValues.arg(draft.empty.join(QStringLiteral("、")))))
        return;

    // The number is logged before anything leaves the program.
    const cert::Taken taken = cert::take(folder_, *t, s, now);
    if (!taken.answer.done()) {
        dialogs_.warning(taken.answer.message);
        return;
    }
    const CertificatePage page{taken.page, taken.qr, taken.number, QString()};
    QString voidReason;
    if (pdf) {
        const QString path =
            dialogs_.saveFile({QStringLiteral("证明存为PDF"), QStringLiteral("PDF文件 (*.pdf)"),
                               QString(), QStringLiteral("pdf")});
        if (path.isEmpty())
            voidReason = certmsg::kCancelSave;
        else if (!writeCertificatePdf(path, page))
            voidReason = certmsg::kPdfFailed;
    } else {
        switch (printCertificate(this, page)) {
            case PrintResult::Cancelled:
                voidReason = certmsg::kCancelPrint;
                break;
            case PrintResult::Failed:
                voidReason = certmsg::kPrintFailed;
                break;
            case PrintResult::Printed:
                break;
        }
    }
    const cert::Answer answer = voidReason.isEmpty() ? cert::markIssued(folder_, taken.id)
                                                     : cert::markVoid(folder_, taken.id, voidReason,
                                                                      QDateTime::currentDateTime());
    if (!answer.done())
        dialogs_.warning(answer.message);
    else if (voidReason.isEmpty())
        dialogs_.notice(certmsg::kIssued.arg(taken.number));
    else
        dialogs_.warning(certmsg::kVoided.arg(taken.number, voidReason));
    updatePreview();
}

void CertificateWindow::insertPlaceholder() {
    if (const QListWidgetItem* item = placeholders_->currentItem()) {
        editor_->insertPlainText(item->text());
        editor_->setFocus();
    }
}

void CertificateWindow::saveTemplate() {
    const cert::Template* shown = currentTemplate();
    const QString name = newName_->text().trimmed();
    if (!shown) return;
    for (const cert::Template& t : templates_) {
        if (t.name != name) continue;
        if (t.builtIn) {
            dialogs_.warning(certmsg::kBuiltInName);
            return;
        }
        if (!dialogs_.question(certmsg::kOverwrite.arg(name))) return;
    }
    const cert::Answer answer =
        cert::saveTemplate(folder_, templateFrom(editor_->toPlainText(), name, shown->kind));
    if (!answer.done()) {
        dialogs_.warning(answer.message);
        return;
    }
    dialogs_.notice(certmsg::kSaved);
    loadTemplates(name);
}

void addCertificateAction(QWidget* window, QAbstractItemView* tree, const QString& folder,
                          ui::Dialogs& dialogs) {
    auto open = [=, &dialogs] {
        const QModelIndex index = tree->currentIndex();
        const std::string line = index.isValid() ? reg::toGb(index.data().toString()) : "";
        const std::string serial(keyOf(line));
        if (serial.empty()) {
            dialogs.warning(certmsg::kChoosePerson);
            return;
        }
        auto* w = new CertificateWindow(folder, dialogs, serial);
        w->setAttribute(Qt::WA_DeleteOnClose);
        if (!w->hasPerson()) {
            dialogs.warning(certmsg::kGone);
            delete w;
            return;
        }
        // It lives no longer than the window it was opened from.
        QObject::connect(window, &QObject::destroyed, w, &QObject::deleteLater);
        w->show();
    };
    auto* action = new QAction(QStringLiteral("开具证明"), tree);
    action->setObjectName(QStringLiteral("开具证明"));
    action->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_K));
    action->setShortcutVisibleInContextMenu(true);
    action->setShortcutContext(Qt::WindowShortcut);  // anywhere in the window
    QObject::connect(action, &QAction::triggered, tree, open);
    tree->setContextMenuPolicy(Qt::ActionsContextMenu);
    tree->addAction(action);
}

}  // namespace maint

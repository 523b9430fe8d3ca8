#include "gui/info/entryform.h"

#include <QComboBox>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>

#include "core/register/text.h"
#include "gui/ui/widgets.h"

namespace maint {

using namespace reg;

namespace {

struct Caption {
    const char* name;
    const char* text;
    QRect place;
};

// Captions of the form, including the small ones over the paired inputs.
const Caption kCaptions[] = {
    {"透明标签Q01", "序号（必填）", {230, 15, 120, 20}},
    {"透明标签Q02", "房屋详址（必填）", {230, 50, 120, 20}},
    {"透明标签Q03", "居住类型（必填）", {230, 85, 120, 20}},
    {"透明标签Q04", "居住详址（必填）", {230, 120, 120, 20}},
    {"透明标签Q05", "户主姓名（必填）", {230, 155, 120, 20}},
    {"透明标签Q06", "姓名（必填）", {230, 190, 120, 20}},
    {"透明标签Q07", "出生日期（必填）", {230, 225, 120, 20}},
    {"透明标签Q08", "婚姻状况", {230, 260, 120, 20}},
    {"透明标签Q09", "工作单位", {230, 295, 120, 20}},
    {"透明标签Q10", "公民身份号码", {230, 330, 120, 20}},
    {"透明标签Q11", "户籍登记类型（必填）", {230, 365, 120, 20}},
    {"透明标签Q12", "户籍登记详址", {230, 400, 120, 20}},
    {"透明标签Q13", "籍贯", {230, 435, 120, 20}},
    {"透明标签Q14", "户籍变动情况", {230, 470, 120, 20}},
    {"透明标签Q15", "自何地迁入或迁往何地", {230, 505, 120, 20}},
    {"透明标签Q16", "备注", {230, 540, 120, 20}},
    {"透明标签Q17", "与户主关系（必填）", {445, 155, 110, 20}},
    {"透明标签Q18", "性别（必填）", {445, 190, 110, 20}},
    {"透明标签Q19", "受教育程度", {440, 225, 90, 20}},
    {"透明标签Q20", "民族", {525, 330, 30, 20}},
    {"透明标签Q21", "婚姻类型", {355, 248, 80, 12}},
    {"透明标签Q22", "变更日期", {440, 248, 80, 12}},
    {"透明标签Q23", "变动类型", {355, 458, 145, 12}},
    {"透明标签Q24", "变动日期", {505, 458, 80, 12}},
};

// The input of each field, in column order: its control name, place and the caption that
// labels it. Column order is also reading order, so the keyboard follows the form.
struct Input {
    const char* name;
    QRect place;
    const char* label;
};

const Input kInputs[kFieldCount] = {
    {"编辑框01", {355, 15, 145, 20}, "透明标签Q01"},
    {"编辑框02", {355, 50, 280, 20}, "透明标签Q02"},
    {"组合框033", {355, 85, 145, 20}, "透明标签Q03"},
    {"编辑框04", {355, 120, 280, 20}, "透明标签Q04"},
    {"编辑框05", {355, 155, 80, 20}, "透明标签Q05"},
    {"组合框066", {560, 155, 75, 20}, "透明标签Q17"},
    {"编辑框07", {355, 190, 80, 20}, "透明标签Q06"},
    {"组合框088", {560, 190, 75, 20}, "透明标签Q18"},
    {"编辑框09", {355, 225, 80, 20}, "透明标签Q07"},
    {"组合框100", {535, 225, 100, 20}, "透明标签Q19"},
    {"组合框111", {355, 260, 80, 20}, "透明标签Q21"},
    {"编辑框12", {440, 260, 80, 20}, "透明标签Q22"},
    {"编辑框13", {355, 295, 280, 20}, "透明标签Q09"},
    {"编辑框14", {355, 330, 145, 20}, "透明标签Q10"},
    {"组合框155", {560, 330, 75, 20}, "透明标签Q20"},
    {"组合框166", {355, 365, 145, 20}, "透明标签Q11"},
    {"编辑框17", {355, 400, 280, 20}, "透明标签Q12"},
    {"编辑框18", {355, 435, 280, 20}, "透明标签Q13"},
    {"组合框199", {355, 470, 145, 20}, "透明标签Q23"},
    {"编辑框20", {505, 470, 80, 20}, "透明标签Q24"},
    {"编辑框21", {355, 505, 280, 20}, "透明标签Q15"},
    {"编辑框22", {355, 540, 280, 20}, "透明标签Q16"},
};

// The mark of a required field in its caption; a screen reader says it after the name.
const QString kRequired = QStringLiteral("（必填）");

ui::Input inputKind(InputKind kind) {
    switch (kind) {
        case InputKind::Decimal:
            return ui::Input::Decimal;
        case InputKind::Integer:
            return ui::Input::Integer;
        default:
            return ui::Input::Any;
    }
}

}  // namespace

FormControls::FormControls(QWidget* window) : QObject(window) {
    for (const Caption& c : kCaptions)
        ui::addLabel(window, QString::fromUtf8(c.name), QString::fromUtf8(c.text), c.place);
    for (int pos = 1; pos <= kFieldCount; ++pos) {
        const Input& in = kInputs[pos - 1];
        const FieldDef& def = fieldDefs()[size_t(pos - 1)];
        QLabel* label = ui::control<QLabel>(window, QString::fromUtf8(in.label));
        const QString caption = label->text();
        const QString spoken = QString(caption).remove(kRequired);
        QWidget* input = nullptr;
        if (const CodeTable* table = codeTableOf(pos)) {
            auto* combo =
                ui::addControl<QComboBox>(window, QString::fromUtf8(in.name), in.place, spoken);
            for (const std::string& name : formList(*table)) combo->addItem(fromGb(name));
            combos_[size_t(pos - 1)] = combo;
            input = combo;
        } else {
            QLineEdit* edit = ui::addEdit(window, QString::fromUtf8(in.name), in.place, spoken);
            ui::applyRules(edit, {.maxBytes = def.formLimit,
                                  .input = inputKind(def.input),
                                  .upperCase = def.input == InputKind::UpperCase});
            edits_[size_t(pos - 1)] = edit;
            input = edit;
        }
        if (caption.endsWith(kRequired)) input->setAccessibleDescription(QStringLiteral("必填"));
        // On Linux a combo box is read by its current text and its label through this relation.
        label->setBuddy(input);
    }
    QPalette aqua = edit(F姓名)->palette();
    aqua.setColor(QPalette::Base, QColor(0x00, 0xFF, 0xFF));
    edit(F姓名)->setPalette(aqua);
    for (Field f : {F序号, F房屋详址, F迁自迁往何地}) edit(f)->installEventFilter(this);
}

EntryForm FormControls::read() const {
    EntryForm form;
    for (int pos = 1; pos <= kFieldCount; ++pos) {
        if (QLineEdit* e = edits_[size_t(pos - 1)]) form.text[size_t(pos - 1)] = toGb(e->text());
        if (QComboBox* c = combos_[size_t(pos - 1)])
            form.position[size_t(pos - 1)] = c->currentIndex();
    }
    return form;
}

void FormControls::writeTexts(const EntryForm& form) {
    for (int pos = 1; pos <= kFieldCount; ++pos)
        if (QLineEdit* e = edits_[size_t(pos - 1)]) e->setText(fromGb(form.text[size_t(pos - 1)]));
}

void FormControls::show(const std::vector<std::string>& values) {
    for (int pos = 1; pos <= kFieldCount; ++pos) {
        const std::string& value = size_t(pos) <= values.size() ? values[size_t(pos - 1)] : "";
        if (QLineEdit* e = edits_[size_t(pos - 1)]) e->setText(fromGb(value));
        if (QComboBox* c = combos_[size_t(pos - 1)])
            c->setCurrentIndex(codeToListPosition(value, c->count()));
    }
}

void FormControls::clear() {
    for (QLineEdit* e : edits_)
        if (e) e->clear();
    for (QComboBox* c : combos_)
        if (c) c->setCurrentIndex(0);
}

void FormControls::showHints() {
    edit(F序号)->setText(kSerialHint);
    edit(F房屋详址)->setText(kAddressHint);
    edit(F迁自迁往何地)->setText(kMovedHint);
}

bool FormControls::eventFilter(QObject* watched, QEvent* event) {
    auto* e = qobject_cast<QLineEdit*>(watched);
    if (!e) return false;
    const QEvent::Type type = event->type();
    // The serial box gives up its hint on a mouse press, the others when they get the focus;
    // the moved-from box never gets its hint back.
    if (e == edit(F序号)) {
        if (type == QEvent::MouseButtonPress && e->text() == kSerialHint) e->clear();
        if (type == QEvent::FocusOut && e->text().isEmpty()) e->setText(kSerialHint);
    } else if (e == edit(F房屋详址)) {
        if (type == QEvent::FocusIn && e->text() == kAddressHint) e->clear();
        if (type == QEvent::FocusOut && e->text().isEmpty()) e->setText(kAddressHint);
    } else if (e == edit(F迁自迁往何地)) {
        if (type == QEvent::FocusIn && e->text() == kMovedHint) e->clear();
    }
    return false;
}

}  // namespace maint

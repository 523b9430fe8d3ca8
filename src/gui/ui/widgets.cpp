#include "gui/ui/widgets.h"

#include <QAbstractScrollArea>
#include <QChildEvent>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>

#include "core/register/text.h"

namespace ui {

namespace {

// An ordinary frame: borders left and right, a title bar and a border above, a border below.
constexpr int kFrameWidth = 8;
constexpr int kFrameHeight = 34;

// A combo box made editable after it was placed gets its inner edit box then; the edit box
// takes the combo box's name as it is polished, before it is ever shown.
class InnerEditNamer : public QObject {
  public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::ChildPolished) {
            if (auto* edit = qobject_cast<QLineEdit*>(static_cast<QChildEvent*>(event)->child()))
                edit->setAccessibleName(static_cast<QWidget*>(watched)->accessibleName());
        }
        return false;
    }
};

}  // namespace

void nameForReaders(QWidget* control, const QString& spoken) {
    control->setAccessibleName(spoken);
    if (auto* area = qobject_cast<QAbstractScrollArea*>(control))
        area->viewport()->setAccessibleName(spoken);
    if (auto* combo = qobject_cast<QComboBox*>(control)) {
        if (combo->lineEdit()) combo->lineEdit()->setAccessibleName(spoken);
        combo->installEventFilter(new InnerEditNamer(combo));
    }
}

QFont fontWithFallback(const QString& family, int pointSize) {
    QFont font;
    font.setFamilies({family, QStringLiteral("宋体"), QStringLiteral("SimSun"),
                      QStringLiteral("NSimSun"), QStringLiteral("Noto Serif CJK SC"),
                      QStringLiteral("Noto Sans CJK SC"), QStringLiteral("Noto Sans CJK")});
    font.setPointSize(pointSize);
    return font;
}

QFont uiFont(int pointSize) {
    return fontWithFallback(QStringLiteral("宋体"), pointSize);
}

QSize clientSizeFor(QSize outer) {
    return {outer.width() - kFrameWidth, outer.height() - kFrameHeight};
}

void setUpWindow(QWidget* window, const QString& caption, QSize outer) {
    window->setWindowTitle(caption);
    window->setFont(uiFont());
    window->setFixedSize(clientSizeFor(outer));
}

QPushButton* addButton(QWidget* parent, const QString& name, const QString& text, QRect place) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(name);
    button->setGeometry(place);
    nameForReaders(button, text);
    return button;
}

QLabel* addLabel(QWidget* parent, const QString& name, const QString& text, QRect place) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setGeometry(place);
    label->setAttribute(Qt::WA_TranslucentBackground);
    return label;
}

QLineEdit* addEdit(QWidget* parent, const QString& name, QRect place, const QString& spoken) {
    return addControl<QLineEdit>(parent, name, place, spoken);
}

int gbLength(const QString& text) {
    return int(reg::toGb(text).size());
}

EditValidator::EditValidator(EditRules rules, QObject* parent)
    : QValidator(parent), rules_(rules) {}

QValidator::State EditValidator::validate(QString& input, int& pos) const {
    if (rules_.upperCase) {
        for (QChar& c : input)
            if (c >= u'a' && c <= u'z') c = QChar(c.unicode() - u'a' + u'A');
    }
    if (rules_.input != Input::Any) {
        // A Chinese input method in full-width mode, or text pasted from a Chinese document,
        // gives full-width digits and point.
        for (QChar& c : input) {
            if (c >= u'０' && c <= u'９')
                c = QChar(c.unicode() - u'０' + u'0');
            else if (c == u'．')
                c = u'.';
        }
        bool point = false;
        for (QChar c : input) {
            if (c >= u'0' && c <= u'9') continue;
            if (c == u'.' && rules_.input == Input::Decimal && !point) {
                point = true;
                continue;
            }
            return Invalid;
        }
    }
    // An input method commits whole words and a paste brings whole texts: what does not fit is
    // cut, whole characters at a time, from the end of the new text (it ends at the cursor),
    // so the text already there stays and the start of the new text is kept.
    while (rules_.maxBytes > 0 && gbLength(input) > rules_.maxBytes) {
        const int end = pos > 0 && pos <= input.size() ? pos : int(input.size());
        const int n =
            end >= 2 && input.at(end - 1).isLowSurrogate() && input.at(end - 2).isHighSurrogate()
                ? 2
                : 1;
        input.remove(end - n, n);
        if (pos > 0) pos = end - n;
    }
    return Acceptable;
}

void applyRules(QLineEdit* edit, EditRules rules) {
    edit->setValidator(new EditValidator(rules, edit));
}

void makePassword(QLineEdit* edit, int maxBytes) {
    applyRules(edit, {.maxBytes = maxBytes});
    edit->setEchoMode(QLineEdit::Password);
    // The style's own mask may be a dot; the program's boxes show '*'.
    edit->setStyleSheet(QStringLiteral("QLineEdit { lineedit-password-character: 42; }"));
}

}  // namespace ui

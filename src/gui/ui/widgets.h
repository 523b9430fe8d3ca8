#pragma once
// Building windows: fonts, outer sizes, controls by name, and the rules of edit boxes.
#include <QFont>
#include <QLineEdit>
#include <QSize>
#include <QString>
#include <QValidator>
#include <QWidget>

class QLabel;
class QPushButton;

namespace ui {

// 宋体, with the CJK fonts of a Linux desktop behind it for machines without it.
QFont uiFont(int pointSize = 9);
// Any family with the same fallbacks behind it.
QFont fontWithFallback(const QString& family, int pointSize);

// Window sizes are given with the frame and title bar included; the client area is what is
// left inside an ordinary frame.
QSize clientSizeFor(QSize outer);
// Gives a top-level window its caption, fixed outer size and the program font.
void setUpWindow(QWidget* window, const QString& caption, QSize outer);

// The name a screen reader says for a control (its accessible name): `spoken`, the caption of
// the label beside the control. An editable combo box's inner edit box and a scroll area's
// viewport are read as parts of their own, so they carry the same name.
void nameForReaders(QWidget* control, const QString& spoken);

// Controls at client positions, named so that tests find them with findChild. A button is read
// by its caption; an edit box by `spoken`, the caption of its label. The keyboard visits the
// controls of a window in the order they are placed, so windows place them as they are read.
QPushButton* addButton(QWidget* parent, const QString& name, const QString& text, QRect place);
QLabel* addLabel(QWidget* parent, const QString& name, const QString& text, QRect place);
QLineEdit* addEdit(QWidget* parent, const QString& name, QRect place,
                   const QString& spoken = QString());

// A control of kind T at a client position, named so that tests find it, and read by a screen
// reader as `spoken` (the caption of its label).
template <class T>
T* addControl(QWidget* parent, const QString& name, QRect place,
              const QString& spoken = QString()) {
    auto* control = new T(parent);
    control->setObjectName(name);
    control->setGeometry(place);
    if (!spoken.isEmpty()) nameForReaders(control, spoken);
    return control;
}

// The control of that name; null when the window has none.
template <class T>
T* control(const QWidget* window, const QString& name) {
    return window->findChild<T*>(name);
}

// Bytes of the text in GB18030, the measure of every length in the program.
int gbLength(const QString& text);

enum class Input { Any, Integer, Decimal };

struct EditRules {
    int maxBytes = 0;  // 0: no limit
    Input input = Input::Any;
    bool upperCase = false;
};

// Keeps an edit box within its rules as the clerk types: at most maxBytes GB18030 bytes (a
// Chinese character counts 2, a rare one 4), only digits (Integer) or digits with one point
// (Decimal), latin letters turned to upper case.
class EditValidator : public QValidator {
  public:
    explicit EditValidator(EditRules rules, QObject* parent = nullptr);
    State validate(QString& input, int& pos) const override;
    EditRules rules() const { return rules_; }

  private:
    EditRules rules_;
};

void applyRules(QLineEdit* edit, EditRules rules);
// Password input: every character shown as '*', at most maxBytes bytes.
void makePassword(QLineEdit* edit, int maxBytes);

}  // namespace ui

#pragma once
// The entry form of the information-management window: one input per field of the person
// record, built from a table of field definitions, with the hint texts some boxes show.
#include <QObject>
#include <QString>
#include <array>

#include "core/edit/rules.h"

class QComboBox;
class QLineEdit;
class QWidget;

namespace maint {

inline const QString kSerialHint = QStringLiteral("（按房屋详址升序编排）");
inline const QString kAddressHint = QStringLiteral("（同房屋详址人员的此栏填写须完全相同）");
inline const QString kMovedHint = QStringLiteral("（跨村居迁移人员填写此栏）");

class FormControls : public QObject {
    Q_OBJECT
  public:
    // Creates the captions and inputs on `window` at their places.
    explicit FormControls(QWidget* window);

    // The edit box of a text field, the selection list of a coded field (null otherwise).
    QLineEdit* edit(reg::Field f) const { return edits_[size_t(f - 1)]; }
    QComboBox* combo(reg::Field f) const { return combos_[size_t(f - 1)]; }

    // The form's content as GB18030 texts and selection positions.
    EntryForm read() const;
    // Writes the texts back (after blank removal); selections are left alone.
    void writeTexts(const EntryForm& form);
    // Shows a stored record: texts into the boxes, codes as list positions.
    void show(const std::vector<std::string>& values);
    // Every edit box empty (no hint texts), every list on its empty entry.
    void clear();
    // The hint texts of the boxes that have one, as when the window opens.
    void showHints();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    std::array<QLineEdit*, reg::kFieldCount> edits_{};
    std::array<QComboBox*, reg::kFieldCount> combos_{};
};

}  // namespace maint

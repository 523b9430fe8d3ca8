#pragma once
// The eight query rows of the information-management window and the buttons under them: a row
// switch, a query item, an operator and a query value per row. Only a leading run of rows can be
// switched on.
#include <QObject>
#include <QString>
#include <array>

class QCheckBox;
class QComboBox;
class QPushButton;
class QProgressBar;
class QWidget;

namespace maint {

inline const QString kChooseFromList = QStringLiteral("（须从列表项目中选择）");

class QueryRows : public QObject {
    Q_OBJECT
  public:
    static constexpr int kRows = 8;

    explicit QueryRows(QWidget* window);

    QCheckBox* rowSwitch(int row) const { return switches_[size_t(row)]; }
    QComboBox* item(int row) const { return items_[size_t(row)]; }
    QComboBox* op(int row) const { return ops_[size_t(row)]; }
    QComboBox* value(int row) const { return values_[size_t(row)]; }
    QPushButton* queryButton() const { return query_; }
    QPushButton* refreshButton() const { return refresh_; }
    QPushButton* exportButton() const { return export_; }
    QProgressBar* progress() const { return progress_; }

    // Only a leading run of ticked switches stays; the switch after it is the only other one
    // enabled.
    void runSwitchChain();
    // Rows that are switched on get usable white boxes; the others are disabled and emptied.
    void enableRows();
    // Refills row `row`'s value box for its query item: the code list of a coded field, or an
    // empty plain box.
    void refillValue(int row);

  private:
    // Plain (style 0) or a list to choose from (style 1).
    void setValueStyle(int row, bool list);
    void setWhite(QWidget* w, bool white);

    std::array<QCheckBox*, kRows> switches_{};
    std::array<QComboBox*, kRows> items_{}, ops_{}, values_{};
    QPushButton *query_ = nullptr, *refresh_ = nullptr, *export_ = nullptr;
    QProgressBar* progress_ = nullptr;
};

}  // namespace maint

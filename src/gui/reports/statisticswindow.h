#pragma once
// The statistics window: the counts of a register at a reference date, with charts, the changes
// of a period, and their export as a workbook or as a picture.
#include <QWidget>
#include <optional>

#include "core/query/statistics.h"
#include "gui/ui/background.h"
#include "gui/ui/dialogs.h"

class QChart;
class QChartView;
class QComboBox;
class QDateEdit;
class QLabel;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QTableWidget;

namespace exchange {

class StatisticsWindow : public QWidget {
    Q_OBJECT
  public:
    // Counts the register at `registerPath` with today as the reference date and this year as
    // the period.
    StatisticsWindow(QString registerPath, ui::Dialogs& dialogs, QWidget* parent = nullptr);

    // The counts last shown; empty until the first count has finished.
    const std::optional<query::Statistics>& statistics() const { return stats_; }
    // True while the register is being counted off the window's thread; counting() emits
    // finished() each time a count has been shown.
    bool counting() const { return counter_->busy(); }
    ui::Background& counter() { return *counter_; }
    // The charts side by side on one picture, as 保存图表 writes it.
    QImage chartsImage() const;

  private:
    // Counts again with what the pickers hold, and shows it once counted.
    void refresh();
    void showStatistics(std::optional<query::Statistics>& counted, QDate reference,
                        const query::Period& period);
    void showCodedField();
    query::Period pickedPeriod() const;
    void periodKindChanged();
    void exportWorkbook();
    void saveCharts();

    QString path_;
    ui::Dialogs& dialogs_;
    std::optional<query::Statistics> stats_;
    bool settingUp_ = true;
    bool warnedUnreadable_ = false;  // said once, not again at every turn of a picker
    ui::Background* counter_;
    bool again_ = false;  // a picker turned while counting: count again when done

    QDateEdit* reference_;
    QComboBox* periodKind_;
    QSpinBox* year_;
    QComboBox* part_;  // month or quarter
    QDateEdit* from_;
    QDateEdit* to_;
    QTableWidget* totals_;
    QChartView* pyramid_;
    QComboBox* field_;
    QChartView* codedChart_;
    QTableWidget* changes_;
    QChartView* changesChart_;
    QPushButton* exportButton_;
    QPushButton* saveButton_;
    QProgressBar* countingBar_;
    QLabel* historyNote_;
};

}  // namespace exchange

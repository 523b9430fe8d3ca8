#pragma once
// The three papers a village sends upward: the change report and the change book shown as they
// will print, and the roster with its choice of persons and columns. Each prints, saves as PDF
// and saves as a workbook.
#include <QWidget>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/query/population.h"
#include "gui/reports/reportprint.h"
#include "gui/ui/background.h"
#include "gui/ui/dialogs.h"

class QCheckBox;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;
class QRadioButton;

namespace maint {

// 打印, 保存PDF and 保存表格 of a window, with its progress bar. The report is built off the
// window's thread each time it is asked for, then printed or written.
class PaperButtons : public QObject {
    Q_OBJECT
  public:
    // Builds the report; runs off the window's thread. nullopt when the register does not open.
    using Build = std::function<std::optional<query::Report>(const PaperProgress&)>;
    // Asked on the window's thread before anything is built: the report to build, or an empty
    // Build after the window said what is missing.
    using Prepare = std::function<Build()>;

    // The buttons from `x` at `y`, the progress bar from 10 at `y` + 5 up to `x` - 10.
    PaperButtons(QWidget* window, ui::Dialogs& dialogs, QString folder, int x, int y,
                 Prepare prepare);

    bool busy() const { return worker_->busy(); }
    ui::Background& worker() { return *worker_; }

  private:
    enum class Out { Print, Pdf, Workbook };
    void run(Out out);
    void finish(Out out, int answer, std::shared_ptr<std::optional<query::Report>> built,
                const QString& path);
    void enable(bool on);

    QWidget* window_;
    ui::Dialogs& dialogs_;
    QString folder_;
    Prepare prepare_;
    ui::Background* worker_;
    QProgressBar* bar_;
    std::vector<QPushButton*> buttons_;
};

// A report shown as a table, as it will print: 人口变动表 and 变动登记簿.
class ReportWindow : public QWidget {
    Q_OBJECT
  public:
    // `name` ends the window's title ("人口变动表").
    ReportWindow(query::Report report, const QString& name, QString folder, ui::Dialogs& dialogs,
                 QWidget* parent = nullptr);
    const query::Report& report() const { return report_; }
    PaperButtons& paper() { return *paper_; }

  private:
    query::Report report_;
    PaperButtons* paper_;
    QCheckBox* mask_ = nullptr;  // only on a paper with identity numbers
};

// 花名册: who is listed, which columns in which order, the identity numbers whole or masked.
class RosterWindow : public QWidget {
    Q_OBJECT
  public:
    // `given` (22 values each) are the persons of a query result, offered and chosen first when
    // not empty.
    RosterWindow(QString folder, QString registerPath, ui::Dialogs& dialogs,
                 std::vector<std::vector<std::string>> given = {}, QWidget* parent = nullptr);
    // What the controls hold; nullopt after telling the clerk what is missing.
    std::optional<query::RosterChoice> choice();
    PaperButtons& paper() { return *paper_; }

  private:
    void move(int by);

    QString registerPath_;
    ui::Dialogs& dialogs_;
    std::vector<std::vector<std::string>> given_;
    QRadioButton* all_;
    QRadioButton* registered_;
    QRadioButton* prefix_;
    QRadioButton* result_;
    QLineEdit* prefixEdit_;
    QListWidget* columns_;
    QCheckBox* mask_;
    PaperButtons* paper_;
};

// The windows as the statistics window and the information window open them: a child window of
// `from`, shown, closed and deleted with it. The change report and book are built at once and
// not shown when the register does not open (the clerk is told).
ReportWindow* openChangeReport(QWidget* from, ui::Dialogs& dialogs, const QString& folder,
                               const QString& registerPath, const query::Period& period);
ReportWindow* openChangeBook(QWidget* from, ui::Dialogs& dialogs, const QString& folder,
                             const QString& registerPath, const query::Period& period);
RosterWindow* openRoster(QWidget* from, ui::Dialogs& dialogs, const QString& folder,
                         const QString& registerPath,
                         std::vector<std::vector<std::string>> given = {});

}  // namespace maint

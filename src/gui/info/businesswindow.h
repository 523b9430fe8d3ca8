#pragma once
// The counter's business (户籍业务): one window with a page for each business, on the household
// of the person chosen in the tree. It gathers what the clerk asks for, shows the plan the core
// makes of it with what must be checked, takes the clerk's corrections, confirms every change
// and hands the plan to the editor: it never writes the register itself.
#include <QWidget>
#include <array>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "core/edit/business.h"
#include "core/edit/registereditor.h"
#include "gui/ui/dialogs.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QTabWidget;
class QTableWidget;
class QTimer;

namespace maint {

class BusinessWindow : public QWidget {
    Q_OBJECT
  public:
    BusinessWindow(edit::RegisterEditor& editor, ui::Dialogs& dialogs, QWidget* parent = nullptr);

    // Shows the page of `business` for the household at `address` (GB18030), read anew.
    void open(edit::Business business, const std::string& address);
    edit::Business business() const;
    const std::string& address() const { return address_; }

    // Called after the editor wrote a business, with its outcome and the 序号 of the head the
    // tree shows afterwards (empty: none): the information window paints it.
    std::function<void(const edit::Outcome&, const std::string&)> applied;

    // The plan as the clerk sees it now (corrections applied); empty while it is refused.
    const std::optional<edit::Plan>& shownPlan() const { return shown_; }
    // Makes the plan of what the page asks for now and shows it (otherwise done shortly after
    // each change of the page).
    void propose();

  private:
    // The controls of one page; those a business does not use stay null.
    struct Page {
        QWidget* widget = nullptr;
        QTableWidget* members = nullptr;  // the household, with a tick each
        QComboBox* parent = nullptr;      // 出生登记: the father or mother
        QLineEdit* name = nullptr;
        QComboBox* sex = nullptr;
        QLineEdit* born = nullptr;
        QLineEdit* serial = nullptr;
        QTableWidget* newcomers = nullptr;  // 迁入登记: one row a person
        QCheckBox* newHousehold = nullptr;
        QComboBox* kind = nullptr;
        QLineEdit* place = nullptr;
        QComboBox* target = nullptr;
        QComboBox* newHead = nullptr;
        QComboBox* remainingHead = nullptr;
        QLineEdit* date = nullptr;
    };
    // A correction the clerk made to one field of a planned record: kept while the plan still
    // proposes the same value there, so a changed request brings its new proposal.
    struct Correction {
        std::string proposed;
        std::string value;
    };

    void buildPage(edit::Business business);
    void fillMembers();
    void updateHeads();
    void addNewcomer();
    edit::Request request() const;
    Page& page() { return pages_[size_t(business())]; }
    const Page& page() const { return pages_[size_t(business())]; }
    std::vector<std::string> ticked() const;
    // The plan with the clerk's corrections applied; nullopt after warning with its refusal
    // (`warn`) or showing it in the window.
    std::optional<edit::Plan> corrected(bool warn);
    static std::string keyOf(const edit::PlannedRecord& record, int newIndex);
    void showPlan();
    void showRecord();
    void correct(int row, int field, const std::string& value);
    QString confirmation(const edit::Plan& plan) const;
    void accept();
    void schedule();

    edit::RegisterEditor& editor_;
    ui::Dialogs& dialogs_;
    std::string address_;
    std::vector<std::vector<std::string>> household_;
    std::vector<std::string> addresses_;  // every house address of the register
    QLabel* heading_ = nullptr;
    QTabWidget* tabs_ = nullptr;
    std::array<Page, edit::kBusinessCount> pages_;
    QTableWidget* plan_ = nullptr;
    QTableWidget* fields_ = nullptr;
    QLabel* state_ = nullptr;
    QTimer* later_ = nullptr;
    std::optional<edit::Plan> shown_;
    std::vector<std::vector<std::string>> proposed_;  // the plan's values before corrections
    std::vector<std::string> keys_;                   // each planned record's key
    std::map<std::string, std::map<int, Correction>> corrections_;
    bool filling_ = false;
};

}  // namespace maint

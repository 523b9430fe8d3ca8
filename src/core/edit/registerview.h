#pragma once
// What the information-management window shows of a table, collected without widgets: the tree
// of households in pre-order (mirrored line for line by the hidden list) and the two counters.
#include <QString>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "core/register/store.h"

namespace maint {

struct TreeItem {
    std::string text;  // an address, or a person label
    int level;         // 0 an address node, 1 a person node
    // A person taken off the register (注销) today; the tree shows such persons in grey.
    bool deregistered = false;
    bool operator==(const TreeItem&) const = default;
};

struct Counts {
    long persons = 0;  // 与户主关系 above "0"
    long heads = 0;    // 与户主关系 "1"
};

struct RegisterDisplay {
    std::vector<TreeItem> items;
    Counts counts;
};

// 序号:户主姓名:姓名 of the current record.
std::string personLabel(reg::RecordStore& store);
// The key a list line is looked up by: its text before the first ":" (empty for an address).
std::string_view keyOf(std::string_view line);

// Walks the current table from record 1: an address node whenever the house address differs
// from the previous record's, a person node for every record. A household whose serial numbers
// are interrupted by another address is therefore listed under two address nodes.
std::vector<TreeItem> collectTree(reg::RecordStore& store);
Counts countPeople(reg::RecordStore& store);

// Rebuilds the register order in `folder`, collects the tree and the counters, and closes.
RegisterDisplay rebuildAndCollect(reg::RecordStore& store, const QString& folder);

// The counter text: the count, two blanks and 名 (GB18030).
std::string counterText(long count);

// One change the window makes to its tree or its hidden list so that they show the view again.
// Tree places are (household, person) with person -1 for the address node itself.
struct ViewEdit {
    enum Kind {
        AddHousehold,  // a new address node at place `household` (the end after an add)
        AddPerson,     // a person node, last in its household
        RemovePerson,
        RemoveHousehold,
        RelabelPerson,
        ExpandHousehold,
        InsertLine,
        RemoveLine,
        RelabelLine,
    };
    Kind kind;
    int household = -1;  // tree edits
    int person = -1;
    int line = -1;  // list edits
    std::string text = {};
    bool operator==(const ViewEdit&) const = default;
};

// What the information-management window shows, without its widgets: the households of the
// tree, the hidden list that mirrors the whole register line for line (the entry rules search
// it), the selected item and the view mode. After a rebuild line i of the list names item i of
// the tree in pre-order; the in-place updates after an edit keep every address line at the
// place of its address node, while persons inside one household may stand in another order in
// the list than in the tree until the next rebuild.
class RegisterView {
  public:
    struct Household {
        std::string address;
        std::vector<std::string> persons;  // person labels, in the tree's order
    };
    struct Place {
        int household = -1;
        int person = -1;  // -1: the address node
        bool operator==(const Place&) const = default;
    };

    // Replaces the tree's content; the list too when `mirror` (a query result is shown in the
    // tree only, while the list keeps the register). Nothing is selected afterwards.
    void install(const std::vector<TreeItem>& items, bool mirror);

    const std::vector<Household>& households() const { return households_; }
    const std::vector<std::string>& lines() const { return lines_; }
    bool empty() const { return households_.empty(); }

    // The register is shown, or a query result.
    bool inRegisterView() const { return registerView_; }
    void setRegisterView(bool registerView) { registerView_ = registerView; }

    // The pre-order number of a tree place and back; -1 / no place outside the tree.
    int numberOf(Place place) const;
    std::optional<Place> placeOf(int number) const;
    const std::string& textAt(Place place) const;

    // Whether the person of a label is taken off the register (注销), as the tree colours it.
    // The in-place updates know only labels, so the window marks what it added or relabelled.
    bool deregistered(const std::string& label) const { return deregistered_.count(label) > 0; }
    void setDeregistered(const std::string& label, bool deregistered);

    // The clerk's choice: the list's selection follows it (the line of the same person within
    // its household, since the list's order there may differ).
    void select(std::optional<Place> place);
    const std::optional<Place>& selected() const { return selected_; }
    int selectedLine() const { return selectedLine_; }
    bool personSelected() const { return selected_ && selected_->person >= 0; }
    // The selected item's text; empty with nothing selected.
    std::string selectedText() const;
    // The list line standing at the selected person's address node (its address).
    std::string selectedHouseholdLine() const;
    // 添加 is usable in the register view with a person selected or an empty register.
    bool addAllowed(bool registerEmpty) const;

    // The in-place updates after a successful write. Each answers the changes the window must
    // make, in order, to show the view again.
    //
    // A new person at `address`: the last member of the selected household when that is its
    // address (and `mayUseSelected`), else of the first household listed with that address
    // (which is then expanded), else of a new household at the end (expanded).
    std::vector<ViewEdit> addPerson(const std::string& address, const std::string& label,
                                    bool mayUseSelected = true);
    // The selected person, written anew: relabelled in place when its address is unchanged,
    // else added under its new address as above and removed from the old one.
    std::vector<ViewEdit> modifySelected(const std::string& address, const std::string& label);
    // The selected person goes, and its household with it when it was the last member. Nothing
    // is selected afterwards, so that no later edit falls on a person the clerk did not choose.
    std::vector<ViewEdit> removeSelected();
    // The selected person's new label.
    std::vector<ViewEdit> relabelSelected(const std::string& label);
    // The households at these addresses shown anew with these person labels, in 序号 order (no
    // labels: the household goes), each placed before the first household whose first 序号 is
    // greater, as a rebuild places it. Nothing is selected afterwards. Empty when an address
    // stands at more than one node: only a rebuild shows such a register right.
    std::optional<std::vector<ViewEdit>> replaceHouseholds(
        const std::vector<std::pair<std::string, std::vector<std::string>>>& households);

  private:
    void mirrorSelection();
    int firstLine(const std::string& text) const;

    std::vector<Household> households_;
    std::vector<std::string> lines_;
    std::set<std::string> deregistered_;  // person labels
    std::optional<Place> selected_;
    int selectedLine_ = -1;
    bool registerView_ = true;
};

}  // namespace maint

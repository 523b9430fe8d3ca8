#include "core/edit/registerview.h"

#include <algorithm>

#include "core/edit/health.h"
#include "core/query/standing.h"
#include "core/register/person.h"
#include "core/register/programfolder.h"
#include "core/register/text.h"

namespace maint {

using namespace reg;

std::string personLabel(RecordStore& store) {
    return store.ReadField(F序号) + ":" + store.ReadField(F户主姓名) + ":" + store.ReadField(F姓名);
}

std::string_view keyOf(std::string_view line) {
    const size_t colon = line.find(':');
    return colon == std::string_view::npos ? std::string_view() : line.substr(0, colon);
}

std::vector<TreeItem> collectTree(RecordStore& store) {
    std::vector<TreeItem> items;
    const long n = store.RecordCount();
    items.reserve(size_t(n) + size_t(n) / 2);
    std::string address;
    const std::string today = health::today();
    std::vector<std::string> change(kFieldCount);
    store.GoFirst();
    for (long r = 1; r <= n; ++r, static_cast<void>(store.Skip())) {
        std::string here = store.ReadField(F房屋详址);
        if (r == 1 || here != address) {
            items.push_back({here, 0});
            address = std::move(here);
        }
        // Only the change's kind and date decide the standing; the date is read only when the
        // kind takes the person off.
        change[F户籍变动类型 - 1] = store.ReadField(F户籍变动类型);
        bool off = query::deregisters(change[F户籍变动类型 - 1]);
        if (off) {
            change[F户籍变动日期 - 1] = store.ReadField(F户籍变动日期);
            off = query::standingAt(change, today) == query::Standing::Deregistered;
        }
        items.push_back({personLabel(store), 1, off});
    }
    store.GoFirst();
    return items;
}

Counts countPeople(RecordStore& store) {
    Counts c;
    // Asked of the engine: a tally of the few values of one field instead of a walk.
    if (const auto tally = store.ValueCounts(fieldName(F与户主关系))) {
        for (const auto& [relation, n] : *tally) {
            c.persons += isPerson(relation) ? n : 0;
            c.heads += isHead(relation) ? n : 0;
        }
        return c;
    }
    // One walk for both counters; the same records CountMatching would count.
    static_cast<void>(store.CountMatching([&] {
        const std::string relation = store.ReadField(F与户主关系);
        c.persons += isPerson(relation);
        c.heads += isHead(relation);
        return false;
    }));
    return c;
}

RegisterDisplay rebuildAndCollect(RecordStore& store, const QString& folder) {
    RegisterDisplay d;
    rebuildRegisterOrder(store, folder);
    d.items = collectTree(store);
    d.counts = countPeople(store);
    static_cast<void>(store.CloseAllTables());  // read only
    return d;
}

std::string counterText(long count) {
    return std::to_string(count) + "  " + gb("名");
}

}  // namespace maint

namespace maint {

void RegisterView::install(const std::vector<TreeItem>& items, bool mirror) {
    households_.clear();
    for (const TreeItem& item : items) {
        // A person before any address (no walk gives one) gets a node of its own text.
        if (item.level == 0 || households_.empty()) households_.push_back({item.text, {}});
        if (item.level != 0) households_.back().persons.push_back(item.text);
    }
    deregistered_.clear();
    for (const TreeItem& item : items)
        if (item.level != 0 && item.deregistered) deregistered_.insert(item.text);
    if (mirror) {
        lines_.clear();
        lines_.reserve(items.size());
        for (const TreeItem& item : items) lines_.push_back(item.text);
    }
    selected_.reset();
    selectedLine_ = -1;
}

void RegisterView::setDeregistered(const std::string& label, bool deregistered) {
    if (deregistered)
        deregistered_.insert(label);
    else
        deregistered_.erase(label);
}

int RegisterView::numberOf(Place place) const {
    if (place.household < 0 || size_t(place.household) >= households_.size()) return -1;
    int number = 0;
    for (int h = 0; h < place.household; ++h)
        number += 1 + int(households_[size_t(h)].persons.size());
    return number + 1 + place.person;
}

std::optional<RegisterView::Place> RegisterView::placeOf(int number) const {
    for (size_t h = 0; h < households_.size() && number >= 0; ++h) {
        const int persons = int(households_[h].persons.size());
        if (number <= persons) return Place{int(h), number - 1};
        number -= 1 + persons;
    }
    return std::nullopt;
}

const std::string& RegisterView::textAt(Place place) const {
    const Household& h = households_.at(size_t(place.household));
    return place.person < 0 ? h.address : h.persons.at(size_t(place.person));
}

void RegisterView::select(std::optional<Place> place) {
    if (place && numberOf(*place) < 0) place.reset();
    selected_ = place;
    mirrorSelection();
}

void RegisterView::mirrorSelection() {
    int row = selected_ ? numberOf(*selected_) : -1;
    // Inside a household the lines may stand in another order than the nodes since an edit;
    // the line of the same person is the one to select.
    if (personSelected()) {
        const Household& h = households_[size_t(selected_->household)];
        const int first = numberOf({selected_->household, -1}) + 1;
        const std::string& text = textAt(*selected_);
        for (int i = first; i < first + int(h.persons.size()) && i < int(lines_.size()); ++i)
            if (lines_[size_t(i)] == text) {
                row = i;
                break;
            }
    }
    selectedLine_ = row < int(lines_.size()) ? row : -1;
}

std::string RegisterView::selectedText() const {
    return selected_ ? textAt(*selected_) : std::string();
}

std::string RegisterView::selectedHouseholdLine() const {
    if (!personSelected()) return {};
    const int line = numberOf({selected_->household, -1});
    return line < int(lines_.size()) ? lines_[size_t(line)] : std::string();
}

bool RegisterView::addAllowed(bool registerEmpty) const {
    return registerView_ && (personSelected() || registerEmpty);
}

int RegisterView::firstLine(const std::string& text) const {
    for (size_t i = 0; i < lines_.size(); ++i)
        if (lines_[i] == text) return int(i);
    return -1;
}

std::vector<ViewEdit> RegisterView::addPerson(const std::string& address, const std::string& label,
                                              bool mayUseSelected) {
    std::vector<ViewEdit> edits;
    auto addTo = [&](int h) {
        auto& persons = households_[size_t(h)].persons;
        persons.push_back(label);
        edits.push_back({ViewEdit::AddPerson, h, int(persons.size()) - 1, -1, label});
    };
    auto insertLine = [&](int line, const std::string& text) {
        lines_.insert(lines_.begin() + line, text);
        edits.push_back({ViewEdit::InsertLine, -1, -1, line, text});
    };
    if (mayUseSelected && personSelected() &&
        households_[size_t(selected_->household)].address == address) {
        insertLine(selectedLine_ + 1, label);
        addTo(selected_->household);
        mirrorSelection();
        return edits;
    }
    const int k = firstLine(address);
    // The address line stands where its address node does.
    if (const auto node = k >= 0 ? placeOf(k) : std::nullopt) {
        insertLine(k + 1, label);
        addTo(node->household);
        edits.push_back({ViewEdit::ExpandHousehold, node->household});
        mirrorSelection();
        return edits;
    }
    insertLine(int(lines_.size()), address);
    insertLine(int(lines_.size()), label);
    households_.push_back({address, {}});
    const int h = int(households_.size()) - 1;
    edits.push_back({ViewEdit::AddHousehold, h, -1, -1, address});
    addTo(h);
    edits.push_back({ViewEdit::ExpandHousehold, h});
    return edits;
}

std::vector<ViewEdit> RegisterView::removeSelected() {
    std::vector<ViewEdit> edits;
    if (!personSelected()) return edits;
    const Place at = *selected_;
    if (selectedLine_ >= 0) {
        lines_.erase(lines_.begin() + selectedLine_);
        edits.push_back({ViewEdit::RemoveLine, -1, -1, selectedLine_});
    }
    auto& persons = households_[size_t(at.household)].persons;
    persons.erase(persons.begin() + at.person);
    edits.push_back({ViewEdit::RemovePerson, at.household, at.person});
    if (persons.empty()) {
        const int line = numberOf({at.household, -1});
        if (line < int(lines_.size())) {
            lines_.erase(lines_.begin() + line);
            edits.push_back({ViewEdit::RemoveLine, -1, -1, line});
        }
        households_.erase(households_.begin() + at.household);
        edits.push_back({ViewEdit::RemoveHousehold, at.household});
    }
    selected_.reset();
    selectedLine_ = -1;
    return edits;
}

std::vector<ViewEdit> RegisterView::relabelSelected(const std::string& label) {
    std::vector<ViewEdit> edits;
    if (!personSelected()) return edits;
    households_[size_t(selected_->household)].persons[size_t(selected_->person)] = label;
    edits.push_back({ViewEdit::RelabelPerson, selected_->household, selected_->person, -1, label});
    if (selectedLine_ >= 0) {
        lines_[size_t(selectedLine_)] = label;
        edits.push_back({ViewEdit::RelabelLine, -1, -1, selectedLine_, label});
    }
    return edits;
}

std::optional<std::vector<ViewEdit>> RegisterView::replaceHouseholds(
    const std::vector<std::pair<std::string, std::vector<std::string>>>& households) {
    const auto key = [](const std::string& label) { return leadingNumber(keyOf(label)); };
    // Named references, not structured bindings: clang 14 refuses lambdas that capture those.
    for (const auto& household : households) {
        const std::string& address = household.first;
        if (std::count_if(households_.begin(), households_.end(),
                          [&](const Household& h) { return h.address == address; }) > 1)
            return std::nullopt;
    }
    std::vector<ViewEdit> edits;
    selected_.reset();
    selectedLine_ = -1;
    for (const auto& household : households) {
        const std::string& address = household.first;
        const auto at = std::find_if(households_.begin(), households_.end(),
                                     [&](const Household& h) { return h.address == address; });
        if (at == households_.end()) continue;
        const int h = int(at - households_.begin());
        const int first = numberOf({h, -1});
        for (size_t n = 0; n <= at->persons.size() && first < int(lines_.size()); ++n) {
            lines_.erase(lines_.begin() + first);
            edits.push_back({ViewEdit::RemoveLine, -1, -1, first});
        }
        households_.erase(at);
        edits.push_back({ViewEdit::RemoveHousehold, h});
    }
    for (const auto& [address, labels] : households) {
        if (labels.empty()) continue;
        std::vector<std::string> persons = labels;
        std::stable_sort(persons.begin(), persons.end(),
                         [&](const auto& a, const auto& b) { return key(a) < key(b); });
        const double first = key(persons.front());
        int h = 0;
        while (h < int(households_.size()) &&
               (households_[size_t(h)].persons.empty() ||
                key(households_[size_t(h)].persons.front()) <= first))
            ++h;
        int line = h < int(households_.size()) ? numberOf({h, -1}) : int(lines_.size());
        line = std::min(line, int(lines_.size()));
        households_.insert(households_.begin() + h, Household{address, persons});
        edits.push_back({ViewEdit::AddHousehold, h, -1, -1, address});
        lines_.insert(lines_.begin() + line, address);
        edits.push_back({ViewEdit::InsertLine, -1, -1, line, address});
        for (size_t p = 0; p < persons.size(); ++p) {
            edits.push_back({ViewEdit::AddPerson, h, int(p), -1, persons[p]});
            lines_.insert(lines_.begin() + line + 1 + int(p), persons[p]);
            edits.push_back({ViewEdit::InsertLine, -1, -1, line + 1 + int(p), persons[p]});
        }
        edits.push_back({ViewEdit::ExpandHousehold, h});
    }
    return edits;
}

std::vector<ViewEdit> RegisterView::modifySelected(const std::string& address,
                                                   const std::string& label) {
    if (!personSelected()) return {};
    if (households_[size_t(selected_->household)].address == address) return relabelSelected(label);
    std::vector<ViewEdit> edits = addPerson(address, label, false);
    for (ViewEdit& e : removeSelected()) edits.push_back(std::move(e));
    return edits;
}

}  // namespace maint

#include "maintenance/registerview.h"

#include "register/person.h"
#include "register/programfolder.h"
#include "register/text.h"

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
    store.GoFirst();
    for (long r = 1; r <= n; ++r, store.Skip()) {
        std::string here = store.ReadField(F房屋详址);
        if (r == 1 || here != address) {
            items.push_back({here, 0});
            address = std::move(here);
        }
        items.push_back({personLabel(store), 1});
    }
    store.GoFirst();
    return items;
}

Counts countPeople(RecordStore& store) {
    Counts c;
    // One walk for both counters; the same records CountMatching would count.
    store.CountMatching([&] {
        const std::string relation = store.ReadField(F与户主关系);
        c.persons += isPerson(relation);
        c.heads += isHead(relation);
        return false;
    });
    return c;
}

RegisterDisplay rebuildAndCollect(RecordStore& store, const QString& folder) {
    RegisterDisplay d;
    rebuildRegisterOrder(store, folder);
    d.items = collectTree(store);
    d.counts = countPeople(store);
    store.CloseAllTables();
    return d;
}

std::string counterText(long count) {
    return std::to_string(count) + "  " + gb("名");
}

}  // namespace maint

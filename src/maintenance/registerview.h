#pragma once
// What the information-management window shows of a table, collected without widgets: the tree
// of households in pre-order (mirrored line for line by the hidden list) and the two counters.
#include <QString>
#include <string>
#include <string_view>
#include <vector>

#include "register/store.h"

namespace maint {

struct TreeItem {
    std::string text;  // an address, or a person label
    int level;         // 0 an address node, 1 a person node
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

}  // namespace maint

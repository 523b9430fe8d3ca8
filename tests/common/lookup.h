#pragma once
// Small look-ups that window and register tests share: a control by name, and what a register
// file holds.
#include <QString>
#include <QWidget>
#include <string>
#include <vector>

#include "core/register/person.h"
#include "core/register/store.h"

namespace hjtest {

// The control of that name; a test that asks for one the window lacks stops at once.
template <class T = QWidget>
T* find(const QWidget* window, const QString& name) {
    T* control = window->findChild<T*>(name);
    if (!control) qFatal("no control %s", qPrintable(name));
    return control;
}

// Every record of a table file, 22 values each, in record order; empty when it does not open.
inline std::vector<std::vector<std::string>> records(const QString& path) {
    reg::RecordStore store;
    std::vector<std::vector<std::string>> out;
    static_cast<void>(store.OpenTable(path));  // none when it does not open
    for (long n = 1; n <= store.RecordCount(); ++n) {
        store.GoTo(n);
        std::vector<std::string> record;
        for (int pos = 1; pos <= store.FieldCount(); ++pos) record.push_back(store.ReadField(pos));
        out.push_back(std::move(record));
    }
    return out;
}

// The serial numbers of a table file in record order.
inline std::vector<std::string> serials(const QString& path) {
    std::vector<std::string> out;
    for (const auto& record : records(path)) out.push_back(record[reg::F序号 - 1]);
    return out;
}

}  // namespace hjtest

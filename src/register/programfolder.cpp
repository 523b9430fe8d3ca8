#include "register/programfolder.h"

#include <QDir>

#include "register/files.h"
#include "register/person.h"
#include "register/workfiles.h"

namespace reg {

std::vector<FieldSpec> personFieldSpecs() {
    std::vector<FieldSpec> specs;
    for (int pos = 1; pos <= kFieldCount; ++pos)
        specs.push_back({fieldName(pos), fieldDefs()[size_t(pos - 1)].width});
    return specs;
}

bool createRegisterIfMissing(const QString& path) {
    if (files::exists(path)) return false;
    return RecordStore::CreateTable(path, personFieldSpecs());
}

void layoutProgramFolder(const QString& folder) {
    QDir().mkpath(folder);
    createRegisterIfMissing(pathIn(folder, names::kRegister));
}

double serialKey(RecordStore& store) {
    return leadingNumber(store.ReadField(F序号));
}

namespace {

// True when the open register is already in order and holds no marked record, so that
// rewriting it would give the same records in the same order.
bool alreadyInOrder(RecordStore& store) {
    double previous = 0;
    for (long n = 1; n <= store.RecordCount(); ++n) {
        store.GoTo(n);
        const double key = serialKey(store);
        if ((n > 1 && key < previous) || store.IsDeleted()) return false;
        previous = key;
    }
    store.GoFirst();
    return true;
}

}  // namespace

void rebuildRegisterOrder(RecordStore& store, const QString& folder) {
    const QString registerPath = pathIn(folder, names::kRegister);
    const QString sorted = pathIn(folder, names::kSorted);
    const QString indexPath = pathIn(folder, names::kIndex);
    store.OpenTable(registerPath);
    files::remove(sorted);
    if (store.RecordCount() != 0 && !alreadyInOrder(store)) {
        if (store.SortTo(sorted, fieldName(F序号))) {
            store.CloseAllTables();
            if (!files::move(sorted, registerPath)) files::remove(sorted);
            store.OpenTable(registerPath);
        }
    } else if (files::exists(indexPath)) {
        // The same file in the same order: its index is opened, and rebuilt only when it no
        // longer fits the register.
        store.CloseAllTables();
        if (store.OpenTable(registerPath, indexPath)) return;
    }
    store.CreateIndex(names::kIndex, fieldName(F序号));
}

}  // namespace reg

#include "core/register/programfolder.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QStandardPaths>

#include "core/register/files.h"
#include "core/register/person.h"
#include "core/register/workfiles.h"

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

QString installedFilesFolder(const QString& executableFolder) {
    return QDir::cleanPath(executableFolder + QStringLiteral("/../share/澄禾户籍"));
}

QString userDataFolder() {
    // GenericDataLocation is $XDG_DATA_HOME (~/.local/share) on Linux and %LOCALAPPDATA% on
    // Windows, without the organisation and application names Qt would add to AppDataLocation.
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/澄禾户籍");
}

namespace {

bool sameContent(const QString& a, const QString& b) {
    if (files::size(a) != files::size(b)) return false;
    QFile fa(a), fb(b);
    if (!fa.open(QIODevice::ReadOnly) || !fb.open(QIODevice::ReadOnly)) return false;
    while (!fa.atEnd())
        if (fa.read(1 << 16) != fb.read(1 << 16)) return false;
    return true;
}

}  // namespace

QStringList fillFromInstalled(const QString& folder, const QString& source) {
    QStringList failed;
    if (QDir(folder).canonicalPath() == QDir(source).canonicalPath()) return failed;
    // `relative` names a file below both folders; `refresh` replaces a copy that differs.
    auto place = [&](const QString& relative, bool refresh) {
        const QString from = source + QLatin1Char('/') + relative;
        const QString to = folder + QLatin1Char('/') + relative;
        if (!files::exists(from)) return;
        if (files::exists(to) && (!refresh || sameContent(from, to))) return;
        QDir().mkpath(QFileInfo(to).absolutePath());
        files::setCleared(to);
        // files::copy writes a temporary file and renames it over the target.
        if (!files::copy(from, to)) failed << relative;
    };
    place(names::kRegister, false);
    place(names::kPassword, false);
    place(names::kTemplate, true);
    place(names::kHelp, true);
    const QString pages = source + QLatin1Char('/') + names::kHelpPages;
    QDirIterator it(pages, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) place(QDir(source).relativeFilePath(it.next()), true);
    return failed;
}

double serialKey(RecordStore& store) {
    return leadingNumber(store.ReadField(F序号));
}

namespace {

// How many records from the first on are unmarked and in order. All of them: rewriting the
// register would give the same records in the same order.
long orderedRecords(RecordStore& store) {
    double previous = 0;
    for (long n = 1; n <= store.RecordCount(); ++n) {
        store.GoTo(n);
        const double key = serialKey(store);
        if ((n > 1 && key < previous) || store.IsDeleted()) return n - 1;
        previous = key;
    }
    store.GoFirst();
    return store.RecordCount();
}

}  // namespace

void rebuildRegisterOrder(RecordStore& store, const QString& folder) {
    const QString registerPath = pathIn(folder, names::kRegister);
    const QString sorted = pathIn(folder, names::kSorted);
    const QString indexPath = pathIn(folder, names::kIndex);
    // A register that cannot be opened has no records: nothing is sorted and the index below
    // is not built, so nothing is found in it.
    static_cast<void>(store.OpenTable(registerPath));
    files::remove(sorted);
    const long ordered = orderedRecords(store);
    if (ordered != store.RecordCount()) {
        // An add or a business appends after an ordered register: only those are placed.
        if (store.MergeSortTo(sorted, fieldName(F序号), ordered)) {
            static_cast<void>(store.CloseAllTables());  // nothing was written
            if (!files::move(sorted, registerPath)) files::remove(sorted);
            static_cast<void>(store.OpenTable(registerPath));  // as above
        }
    } else if (files::exists(indexPath)) {
        // The same file in the same order: its index is opened, and rebuilt only when it no
        // longer fits the register.
        static_cast<void>(store.CloseAllTables());  // nothing was written
        if (store.OpenTable(registerPath, indexPath)) return;
    }
    // Without an index nothing is found by serial number: the window then shows no record and
    // refuses edits, which is all it can do.
    static_cast<void>(store.CreateIndex(names::kIndex, fieldName(F序号)));
}

}  // namespace reg

// Writes a generated register of N persons, for exploring the program or trying it with a
// register of realistic size.
#include <QCoreApplication>
#include <QTextStream>

#include "register/files.h"
#include "register/store.h"
#include "samplegen.h"

namespace {

constexpr int kMaxPersons = 1000000;

int usage() {
    QTextStream(stderr)
        << "usage: hj-sample [--replace] [--shuffled] N FILE [SEED]\n"
           "Writes a generated register of N persons (1.."
        << kMaxPersons
        << ") to FILE; the same SEED (default 1) gives the same register.\n"
           "An existing file that holds records, or is no register, is only replaced with "
           "--replace.\n"
           "--shuffled stores the persons out of serial order (for trying the sort).\n";
    return 2;
}

// What stands at the path now may be replaced without asking: nothing, or an empty register.
bool holdsNothing(const QString& path) {
    if (!reg::files::exists(path)) return true;
    reg::RecordStore store;
    const bool empty = store.OpenTable(path) && store.RecordCount() == 0;
    store.CloseAllTables();
    return empty;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    const bool replace = args.removeAll(QStringLiteral("--replace")) > 0;
    const bool shuffled = args.removeAll(QStringLiteral("--shuffled")) > 0;
    if (args.size() < 2 || args.size() > 3) return usage();

    bool ok = false;
    const int persons = args[0].toInt(&ok);
    if (!ok || persons < 1 || persons > kMaxPersons) return usage();
    uint32_t seed = 1;
    if (args.size() == 3) {
        seed = args[2].toUInt(&ok);
        if (!ok) return usage();
    }
    const QString path = args[1];

    QTextStream err(stderr);
    if (!replace && !holdsNothing(path)) {
        err << path << " already holds records or is no register; it is left as it is.\n"
            << "Pass --replace to write the sample over it.\n";
        return 1;
    }
    if (!sample::writeRegister(path, persons, seed, shuffled)) {
        err << "could not write " << path << "\n";
        return 1;
    }
    QTextStream(stdout) << "wrote " << persons << " persons (seed " << seed << ") to " << path
                        << "\n";
    return 0;
}

// Writes a generated register of N persons, for exploring the program or trying it with a
// register of realistic size.
#include <QCoreApplication>
#include <QTextStream>

#include "samplegen.h"

namespace {

constexpr int kMaxPersons = 1000000;

int usage() {
    QTextStream(stderr)
        << "usage: hj-sample [--replace] [--shuffled] [--faults] N FILE [SEED]\n"
           "Writes a generated register of N persons (1.."
        << kMaxPersons
        << ") to FILE; the same SEED (default 1) gives the same register.\n"
           "An existing file that holds records, or is no register, is only replaced with "
           "--replace.\n"
           "--shuffled stores the persons out of serial order (for trying the sort).\n"
           "--faults plants a fault of every kind the register check finds into about 10% of "
           "the persons.\n";
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    const bool replace = args.removeAll(QStringLiteral("--replace")) > 0;
    const bool shuffled = args.removeAll(QStringLiteral("--shuffled")) > 0;
    const bool faults = args.removeAll(QStringLiteral("--faults")) > 0;
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
    if (!replace && !sample::mayReplaceQuietly(path)) {
        err << path << " already holds records or is no register; it is left as it is.\n"
            << "Pass --replace to write the sample over it.\n";
        return 1;
    }
    std::vector<sample::Person> people = sample::generate(persons, seed);
    if (faults) sample::plantFaults(people, 10, seed);
    if (shuffled) sample::shuffle(people, seed);
    if (!sample::writeRegister(path, people)) {
        err << "could not write " << path << "\n";
        return 1;
    }
    QTextStream(stdout) << "wrote " << persons << " persons (seed " << seed << ") to " << path
                        << "\n";
    return 0;
}

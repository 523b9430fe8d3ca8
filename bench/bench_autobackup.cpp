// Automatic backups at 100,000 persons: a backup (copy, flush, quick_check, count, rename, keep
// rule), the register's check at start and the comparison that decides whether a backup is due,
// each against a plain file copy of the same register measured in the same run.
#include <benchmark/benchmark.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "core/register/autobackup.h"
#include "core/register/files.h"
#include "core/register/sealed.h"
#include "core/register/workfiles.h"
#include "samplegen.h"

namespace {

namespace ab = reg::autobackup;

QTemporaryDir& workDir() {
    static QTemporaryDir dir;
    return dir;
}

// A program folder holding a generated register of `persons`, made on first use.
QString folderWith(int persons) {
    const QString folder = workDir().filePath(QString::number(persons));
    const QString path = reg::pathIn(folder, reg::names::kRegister);
    if (!QFile::exists(path)) {
        QDir().mkpath(folder);
        if (!sample::writeRegister(path, persons, 20240630)) return {};
    }
    return folder;
}

// The floor: the register copied by the file helper (temporary name, flush, rename).
void BM_PlainCopy(benchmark::State& state) {
    const QString folder = folderWith(int(state.range(0)));
    const QString from = reg::pathIn(folder, reg::names::kRegister);
    const QString to = workDir().filePath(QStringLiteral("plain.bak"));
    for (auto _ : state)
        if (!reg::files::copy(from, to)) state.SkipWithError("copy failed");
    state.counters["MB"] = double(reg::files::size(from)) / (1024 * 1024);
}

void BM_AutoBackup(benchmark::State& state) {
    const QString folder = folderWith(int(state.range(0)));
    QDateTime at(QDate(2025, 1, 1), QTime(8, 0));
    for (auto _ : state) {
        at = at.addDays(1);  // a new name each time; the keep rule then has work too
        if (ab::backUp(folder, at, true).result != ab::Outcome::Result::Written)
            state.SkipWithError("backup failed");
    }
}

// The start: quick_check of a sound register (nothing damaged, so nothing else runs).
void BM_CheckAtStart(benchmark::State& state) {
    const QString folder = folderWith(int(state.range(0)));
    for (auto _ : state)
        if (ab::checkRegister(folder)) state.SkipWithError("register reported damaged");
}

// Whether the register changed since the newest backup (unchanged: the whole file compared).
void BM_ChangedSinceNewest(benchmark::State& state) {
    const QString folder = folderWith(int(state.range(0)));
    (void)ab::backUp(folder, QDateTime(QDate(2030, 1, 1), QTime(8, 0)), true);
    for (auto _ : state)
        if (ab::changedSinceNewest(folder)) state.SkipWithError("reported changed");
}

// An encrypted backup of the register and its opening again, at the cost the program uses (the
// key derivation, about the same for any register, is part of each).
void BM_SealBackup(benchmark::State& state) {
    const QString folder = folderWith(int(state.range(0)));
    const QString from = reg::pathIn(folder, reg::names::kRegister);
    const QString to = workDir().filePath(QStringLiteral("sealed.bak"));
    for (auto _ : state)
        if (!reg::sealed::seal(from, to, "村委会备份2026").done())
            state.SkipWithError("seal failed");
}

void BM_OpenSealedBackup(benchmark::State& state) {
    const QString folder = folderWith(int(state.range(0)));
    const QString sealedCopy = workDir().filePath(QStringLiteral("sealed-open.bak"));
    const QString out = workDir().filePath(QStringLiteral("opened.wav"));
    if (!reg::sealed::seal(reg::pathIn(folder, reg::names::kRegister), sealedCopy, "村委会备份2026")
             .done())
        return state.SkipWithError("seal failed");
    for (auto _ : state) {
        reg::files::remove(out);
        if (!reg::sealed::open(sealedCopy, out, "村委会备份2026").done())
            state.SkipWithError("open failed");
    }
}

}  // namespace

BENCHMARK(BM_SealBackup)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenSealedBackup)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainCopy)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AutoBackup)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CheckAtStart)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ChangedSinceNewest)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();

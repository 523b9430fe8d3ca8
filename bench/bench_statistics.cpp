// Statistics of generated registers, against the counters' own walk over the same file as the
// baseline measured in the same run; and the statistics window opened on them (offscreen).
// The population papers on a village of 100,000 with ten years of recorded changes, against the
// present statistics walk of the same register.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>

#include <malloc.h>
#include <sys/resource.h>

#include "core/edit/registerview.h"
#include "core/query/population.h"
#include "core/query/statistics.h"
#include "core/register/files.h"
#include "core/register/workfiles.h"
#include "gui/reports/statisticswindow.h"
#include "quietdialogs.h"
#include "samplegen.h"
#include "samplehistory.h"

namespace {

constexpr uint32_t kSeed = 20240630;
const QDate kReference(2024, 6, 30);

QString registerOf(int persons) {
    static QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("%1.wav").arg(persons));
    if (!reg::files::exists(path)) sample::writeRegister(path, persons, kSeed);
    return path;
}

// Baseline: the walk the window's person and head counters make.
void Counters(benchmark::State& state) {
    const QString path = registerOf(int(state.range(0)));
    for (auto _ : state) {
        reg::RecordStore store;
        static_cast<void>(store.OpenTable(path));
        benchmark::DoNotOptimize(maint::countPeople(store));
        static_cast<void>(store.CloseAllTables());
    }
}

void Statistics(benchmark::State& state) {
    const QString path = registerOf(int(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(
            query::computeStatistics(path, kReference, query::yearPeriod(2023)));
}

void OpenStatisticsWindow(benchmark::State& state) {
    const QString path = registerOf(int(state.range(0)));
    QuietDialogs dialogs;
    for (auto _ : state) {
        exchange::StatisticsWindow w(path, dialogs);
        w.show();
        QApplication::processEvents();  // laid out and painted once
        benchmark::DoNotOptimize(&w);
    }
}

// A program folder holding a village of 100,000 and its changes since 2016.
QString villageFolder() {
    static QTemporaryDir dir;
    static const bool written = sample::writeVillage(
        dir.path(), sample::liveVillage(100000, QDate(2016, 1, 1), QDate::currentDate(), kSeed));
    return written ? dir.path() : QString();
}

// Forgets the process's largest resident memory so far (Linux), so that the next reading is
// the peak of what runs after: the village's generation needs more than what is measured.
void resetPeak() {
    malloc_trim(0);  // what was freed goes back first
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly)) clear.write("5");
}

// Largest resident memory of the process since the last reset, in MB.
double peakMegabytes() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly))
        for (const QByteArray& line : status.readAll().split('\n'))
            if (line.startsWith("VmHWM:"))
                return line.mid(6).trimmed().split(' ')[0].toDouble() / 1024.0;
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) / 1024.0;
}

// Baseline: the present walk of today's register, history unread.
void VillageStatisticsToday(benchmark::State& state) {
    const QString folder = villageFolder();
    const QString path = reg::pathIn(folder, reg::names::kRegister);
    for (auto _ : state)
        benchmark::DoNotOptimize(
            query::computeStatistics(path, QDate::currentDate(), query::yearPeriod(2020)));
}

void VillageStatisticsPast(benchmark::State& state) {
    const QString folder = villageFolder();
    const QString path = reg::pathIn(folder, reg::names::kRegister);
    for (auto _ : state)
        benchmark::DoNotOptimize(
            query::computeStatisticsAt(folder, path, QDate(2019, 6, 30), query::yearPeriod(2019)));
}

void VillageChangeReportYear(benchmark::State& state) {
    const QString folder = villageFolder();
    const QString path = reg::pathIn(folder, reg::names::kRegister);
    for (auto _ : state)
        benchmark::DoNotOptimize(query::changeReport(folder, path, query::yearPeriod(2020)));
}

void VillageChangeBookYear(benchmark::State& state) {
    const QString folder = villageFolder();
    const QString path = reg::pathIn(folder, reg::names::kRegister);
    for (auto _ : state)
        benchmark::DoNotOptimize(query::changeBook(folder, path, query::yearPeriod(2020)));
}

// The roster's Report only; printing it is the window's.
void Roster(benchmark::State& state) {
    const int persons = int(state.range(0));
    const QString path = persons == 100000 ? reg::pathIn(villageFolder(), reg::names::kRegister)
                                           : registerOf(persons);
    query::RosterChoice choice;
    choice.maskIdentity = true;
    size_t rows = 0;
    resetPeak();
    for (auto _ : state) {
        const auto r = query::roster(path, choice, [](int) {});
        rows = r ? r->rows.size() : 0;
    }
    state.counters["rows"] = double(rows);
    state.counters["peak_MB"] = peakMegabytes();
}

void sizes(benchmark::internal::Benchmark* b) {
    b->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->UseRealTime();
}

BENCHMARK(Counters)->Apply(sizes)->Iterations(5);
BENCHMARK(Statistics)->Apply(sizes)->Iterations(5);
BENCHMARK(OpenStatisticsWindow)->Apply(sizes)->Iterations(3);
BENCHMARK(VillageStatisticsToday)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(VillageStatisticsPast)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(VillageChangeReportYear)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(VillageChangeBookYear)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(Roster)
    ->Arg(3000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);

}  // namespace

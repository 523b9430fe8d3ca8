// Statistics of generated registers, against the counters' own walk over the same file as the
// baseline measured in the same run; and the statistics window opened on them (offscreen).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QTemporaryDir>

#include "core/edit/registerview.h"
#include "core/query/statistics.h"
#include "core/register/files.h"
#include "gui/reports/statisticswindow.h"
#include "quietdialogs.h"
#include "samplegen.h"

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

void sizes(benchmark::internal::Benchmark* b) {
    b->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->UseRealTime();
}

BENCHMARK(Counters)->Apply(sizes)->Iterations(5);
BENCHMARK(Statistics)->Apply(sizes)->Iterations(5);
BENCHMARK(OpenStatisticsWindow)->Apply(sizes)->Iterations(3);

}  // namespace

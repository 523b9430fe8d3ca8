// The register health checks: one record as add and modify check it, and the whole register as
// 户籍检查 checks it, sound and with every kind of fault planted. The baseline is the walk that
// reads every field of every record and checks nothing, measured in the same run.
#include <benchmark/benchmark.h>

#include <QDir>
#include <QTemporaryDir>
#include <map>

#include "core/edit/health.h"
#include "core/edit/healthreport.h"
#include "core/register/person.h"
#include "core/register/store.h"
#include "samplegen.h"

namespace {

constexpr uint32_t kSeed = 20240630;

QTemporaryDir& workDir() {
    static QTemporaryDir dir;
    return dir;
}

// A generated register of `persons`, stored out of serial order, with faults in `percent` % of
// the persons; made on first use.
QString registerFile(int persons, int percent) {
    static std::map<std::pair<int, int>, QString> made;
    if (auto it = made.find({persons, percent}); it != made.end()) return it->second;
    std::vector<sample::Person> people = sample::generate(persons, kSeed);
    sample::plantFaults(people, percent, kSeed);
    sample::shuffle(people, kSeed);
    const QString path =
        workDir().filePath(QStringLiteral("register-%1-%2.wav").arg(persons).arg(percent));
    if (!sample::writeRegister(path, people)) return {};
    return made[{persons, percent}] = path;
}

// The floor: every field of every unmarked record read as the check reads it.
void BM_ReadEveryField(benchmark::State& state) {
    const QString path = registerFile(int(state.range(0)), 0);
    for (auto _ : state) {
        reg::RecordStore store;
        if (!store.OpenTable(path)) state.SkipWithError("no register");
        size_t bytes = 0;
        for (long n = 1; n <= store.RecordCount(); ++n) {
            store.GoTo(n);
            if (store.IsDeleted()) continue;
            for (int f = 1; f <= reg::kFieldCount; ++f) bytes += store.ReadField(f).size();
        }
        static_cast<void>(store.CloseAllTables());  // read only
        benchmark::DoNotOptimize(bytes);
    }
}
BENCHMARK(BM_ReadEveryField)->Arg(100000)->Unit(benchmark::kMillisecond)->UseRealTime();

// The whole check: open, read, check, findings sorted. range(1): percent of persons with a fault.
void BM_CheckRegisterFile(benchmark::State& state) {
    const QString path = registerFile(int(state.range(0)), int(state.range(1)));
    size_t findings = 0;
    for (auto _ : state) {
        const exchange::RegisterHealth health = exchange::checkRegisterFile(path);
        if (!health.opened) state.SkipWithError("no register");
        findings = health.findings.size();
    }
    state.counters["findings"] = double(findings);
}
BENCHMARK(BM_CheckRegisterFile)
    ->Args({10000, 0})
    ->Args({100000, 0})
    ->Args({100000, 10})
    ->Args({100000, 100})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The checks alone, on persons already in memory: the whole check less the reading.
void BM_CheckInMemory(benchmark::State& state) {
    std::vector<sample::Person> people = sample::generate(int(state.range(0)), kSeed);
    sample::plantFaults(people, int(state.range(1)), kSeed);
    sample::shuffle(people, kSeed);
    const std::string today = reg::health::today();
    for (auto _ : state) {
        reg::health::RegisterCheck check(today);
        for (const auto& p : people) check.add(p);
        benchmark::DoNotOptimize(check.finish());
    }
}
BENCHMARK(BM_CheckInMemory)
    ->Args({100000, 0})
    ->Args({100000, 100})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The report written as a workbook; with a fault in every person it takes three worksheets.
void BM_WriteReport(benchmark::State& state) {
    const exchange::RegisterHealth health =
        exchange::checkRegisterFile(registerFile(int(state.range(0)), int(state.range(1))));
    const QString book = workDir().filePath(QStringLiteral("report.xls"));
    for (auto _ : state)
        if (exchange::writeHealthReport(health.findings, book) != exchange::ReportResult::Saved)
            state.SkipWithError("not saved");
    state.counters["rows"] = double(health.findings.size());
}
BENCHMARK(BM_WriteReport)
    ->Args({100000, 10})
    ->Args({100000, 100})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// One record as add and modify check it before their question: sound, and with four findings.
void BM_CheckRecord(benchmark::State& state) {
    std::vector<std::string> record = sample::generate(1, kSeed).front();
    if (state.range(0)) {
        record[reg::F公民身份号码 - 1].back() ^= 1;
        record[reg::F性别 - 1] = record[reg::F性别 - 1] == "1" ? "2" : "1";
        record[reg::F出生日期 - 1] = "20130231";
    }
    const std::string today = reg::health::today();
    size_t findings = 0;
    for (auto _ : state) findings = reg::health::checkRecord(record, today).size();
    state.counters["findings"] = double(findings);
}
BENCHMARK(BM_CheckRecord)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();

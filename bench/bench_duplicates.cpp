// The duplicate scan over a generated register read into memory, against the same-run floor of
// sorting one key per person.
#include <benchmark/benchmark.h>

#include <algorithm>

#include "core/edit/duplicates.h"
#include "core/register/person.h"
#include "samplegen.h"

namespace {

const std::vector<sample::Person>& people(int persons) {
    static std::vector<sample::Person> made;
    if (made.size() != size_t(persons)) {
        made = sample::generate(persons, 20240630);
        sample::plantFaults(made, 2, 20240630);
    }
    return made;
}

void BM_SortIdentityNumbers(benchmark::State& state) {
    const auto& all = people(int(state.range(0)));
    for (auto _ : state) {
        std::vector<std::string> ids;
        ids.reserve(all.size());
        for (const auto& p : all) ids.push_back(p[reg::F公民身份号码 - 1]);
        std::sort(ids.begin(), ids.end());
        benchmark::DoNotOptimize(ids.data());
    }
}

void BM_FindPairs(benchmark::State& state) {
    const auto& all = people(int(state.range(0)));
    size_t found = 0;
    for (auto _ : state) found = edit::dup::findPairs(all).size();
    state.counters["pairs"] = double(found);
}

}  // namespace

BENCHMARK(BM_SortIdentityNumbers)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FindPairs)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();

// The homophone match against a plain byte comparison of the same texts: one condition text
// against every name or house address of a generated register, as a query scans it.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "core/query/homophone.h"
#include "core/register/person.h"
#include "core/register/text.h"
#include "samplegen.h"

namespace {

constexpr uint32_t kSeed = 20240630;
constexpr int kPersons = 10000;

struct Column {
    std::vector<std::string> values;
    std::vector<std::string> conditions;
};

// The register's values of one field; the conditions are values of the register with their
// first character replaced by a homophone where one is given, so some rows match.
Column column(int field, bool sameLengthOnly, std::size_t length) {
    static const std::vector<sample::Person> people = sample::generate(kPersons, kSeed);
    Column c;
    for (const sample::Person& p : people) {
        const std::string& v = p[field - 1];
        if (!sameLengthOnly || v.size() == length) c.values.push_back(v);
    }
    const std::string from[] = {reg::gb("张"), reg::gb("王"), reg::gb("李"), reg::gb("青")};
    const std::string to[] = {reg::gb("章"), reg::gb("汪"), reg::gb("理"), reg::gb("清")};
    for (std::size_t i = 0; i < c.values.size() && c.conditions.size() < 16; i += 613) {
        std::string q = c.values[i];
        for (int k = 0; k < 4; ++k)
            if (q.compare(0, from[k].size(), from[k]) == 0) q.replace(0, from[k].size(), to[k]);
        c.conditions.push_back(q);
    }
    return c;
}

template <typename Compare>
void scan(benchmark::State& state, const Column& c, Compare compare) {
    std::size_t next = 0;
    for (auto _ : state) {
        const std::string& q = c.conditions[next++ % c.conditions.size()];
        int hits = 0;
        for (const std::string& f : c.values) hits += compare(q, f);
        benchmark::DoNotOptimize(hits);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(c.values.size()));
}

bool plain(std::string_view q, std::string_view f) {
    return q == f;
}

const Column& names() {
    static const Column c = column(reg::F姓名, false, 0);
    return c;
}
const Column& threeCharacterNames() {
    static const Column c = column(reg::F姓名, true, 6);
    return c;
}
const Column& addresses() {
    static const Column c = column(reg::F房屋详址, false, 0);
    return c;
}

void BM_Names_Plain(benchmark::State& s) {
    scan(s, names(), plain);
}
void BM_Names_Homophone(benchmark::State& s) {
    scan(s, names(), query::homophoneMatch);
}
void BM_ThreeCharacterNames_Plain(benchmark::State& s) {
    scan(s, threeCharacterNames(), plain);
}
void BM_ThreeCharacterNames_Homophone(benchmark::State& s) {
    scan(s, threeCharacterNames(), query::homophoneMatch);
}
void BM_Addresses_Plain(benchmark::State& s) {
    scan(s, addresses(), plain);
}
void BM_Addresses_Homophone(benchmark::State& s) {
    scan(s, addresses(), query::homophoneMatch);
}

BENCHMARK(BM_Names_Plain);
BENCHMARK(BM_Names_Homophone);
BENCHMARK(BM_ThreeCharacterNames_Plain);
BENCHMARK(BM_ThreeCharacterNames_Homophone);
BENCHMARK(BM_Addresses_Plain);
BENCHMARK(BM_Addresses_Homophone);

}  // namespace

BENCHMARK_MAIN();

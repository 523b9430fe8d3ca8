// Quick find on generated registers: building the index from the register file (once per opening
// of the find box and after every change), and one keystroke's query of each kind of needle.
#include <benchmark/benchmark.h>

#include <QTemporaryDir>
#include <map>

#include "core/query/homophone.h"
#include "core/query/quickfind.h"
#include "core/register/files.h"
#include "core/register/person.h"
#include "core/register/store.h"
#include "core/register/text.h"
#include "samplegen.h"

namespace {

constexpr uint32_t kSeed = 20240630;
// As many hits as the find box lists.
constexpr std::size_t kLimit = 200;

QString registerOf(int persons) {
    static QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("%1.wav").arg(persons));
    if (!reg::files::exists(path)) sample::writeRegister(path, persons, kSeed);
    return path;
}

const query::QuickFind& indexOf(int persons) {
    static std::map<int, query::QuickFind> built;
    auto it = built.find(persons);
    if (it == built.end()) {
        reg::RecordStore store;
        static_cast<void>(store.OpenTable(registerOf(persons)));
        it = built.emplace(persons, query::QuickFind::fromStore(store)).first;
        static_cast<void>(store.CloseAllTables());
    }
    return it->second;
}

// The first reading of each character of a name, whole or as its first letter.
std::string pinyinOf(std::string_view name, bool initials) {
    std::string out;
    for (std::size_t pos = 0; pos < name.size();) {
        const query::Readings r = query::readingsOf(name.substr(pos));
        if (r.count) {
            const std::string_view s = query::spellingOf(r.code[0]);
            out += initials ? s.substr(0, 1) : s;
        }
        pos += static_cast<std::size_t>(reg::gbCharLength(name.substr(pos)));
    }
    return out;
}

enum Kind { Name, Homophone, FullPinyin, Initials, Partial, FirstLetter, IdFragment, Serial };

// The needles of one kind, taken from persons of the first thousand so that every size has them.
std::string needle(Kind kind) {
    static const std::vector<sample::Person> people = sample::generate(1000, kSeed);
    const sample::Person& p = people[499];
    const std::string& name = p[reg::F姓名 - 1];
    switch (kind) {
        case Name:
            return name;
        case Homophone: {
            // A name that begins with 张, written with 章.
            for (const sample::Person& q : people)
                if (q[reg::F姓名 - 1].rfind(reg::gb("张"), 0) == 0)
                    return reg::gb("章") + q[reg::F姓名 - 1].substr(2);
            return name;
        }
        case FullPinyin:
            return pinyinOf(name, false);
        case Initials:
            return pinyinOf(name, true);
        case Partial: {
            const std::string full = pinyinOf(name, false);
            return full.substr(0, full.size() - 1);
        }
        case FirstLetter:
            return pinyinOf(name, true).substr(0, 1);
        case IdFragment:
            return p[reg::F公民身份号码 - 1].substr(10, 6);
        case Serial:
            return p[reg::F序号 - 1];
    }
    return {};
}

void BuildIndex(benchmark::State& state) {
    const QString path = registerOf(int(state.range(0)));
    for (auto _ : state) {
        reg::RecordStore store;
        static_cast<void>(store.OpenTable(path));
        const query::QuickFind index = query::QuickFind::fromStore(store);
        static_cast<void>(store.CloseAllTables());
        benchmark::DoNotOptimize(index.size());
    }
}

void Keystroke(benchmark::State& state, Kind kind) {
    const query::QuickFind& index = indexOf(int(state.range(0)));
    const std::string n = needle(kind);
    std::size_t total = 0;
    for (auto _ : state) {
        const query::FindResult r = index.find(n, kLimit);
        total = r.total;
        benchmark::DoNotOptimize(r.hits.data());
    }
    state.counters["hits"] = double(total);
}

void sizes(benchmark::internal::Benchmark* b) {
    b->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->UseRealTime();
}

BENCHMARK(BuildIndex)->Apply(sizes)->Iterations(3);
BENCHMARK_CAPTURE(Keystroke, Name, Name)->Apply(sizes);
BENCHMARK_CAPTURE(Keystroke, Homophone, Homophone)->Apply(sizes);
BENCHMARK_CAPTURE(Keystroke, FullPinyin, FullPinyin)->Apply(sizes);
BENCHMARK_CAPTURE(Keystroke, Initials, Initials)->Apply(sizes);
BENCHMARK_CAPTURE(Keystroke, PartialPinyin, Partial)->Apply(sizes);
BENCHMARK_CAPTURE(Keystroke, FirstLetter, FirstLetter)->Apply(sizes);
BENCHMARK_CAPTURE(Keystroke, IdFragment, IdFragment)->Apply(sizes);
BENCHMARK_CAPTURE(Keystroke, Serial, Serial)->Apply(sizes);

}  // namespace

BENCHMARK_MAIN();

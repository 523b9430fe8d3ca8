// The record store on registers of realistic size, doing what the windows do with them.
// Each size's registers are generated once into a temporary folder and reused by every case.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <map>

#include "core/register/files.h"
#include "core/register/person.h"
#include "core/register/programfolder.h"
#include "core/register/store.h"
#include "core/register/workfiles.h"
#include "samplegen.h"

namespace {

constexpr uint32_t kSeed = 20240630;

QTemporaryDir& workDir() {
    static QTemporaryDir dir;
    return dir;
}

// A folder for one size and purpose, made on first use.
QString folder(int persons, const char* purpose) {
    const QString f = workDir().filePath(QStringLiteral("%1-%2").arg(persons).arg(purpose));
    QDir().mkpath(f);
    return f;
}

// The generated register of `persons`, in serial order or shuffled; written on first use.
QString sampleRegister(int persons, bool shuffled) {
    static std::map<std::pair<int, bool>, QString> made;
    auto it = made.find({persons, shuffled});
    if (it != made.end()) return it->second;
    const QString path = workDir().filePath(
        QStringLiteral("%1-%2.wav").arg(persons).arg(shuffled ? "shuffled" : "sorted"));
    if (!sample::writeRegister(path, persons, kSeed, shuffled)) return {};
    made[{persons, shuffled}] = path;
    return path;
}

// A program folder holding a copy of the sample register, for the cases that rewrite it.
QString programFolderWith(int persons, bool shuffled, const char* purpose) {
    const QString f = folder(persons, purpose);
    reg::files::copy(sampleRegister(persons, shuffled), reg::pathIn(f, reg::names::kRegister));
    return f;
}

bool isWoman(reg::RecordStore& s) {
    return s.ReadField(reg::F性别) == "2";
}

// Serial numbers to look up: spread over the whole register, the same every run.
std::vector<std::string> lookupKeys(int persons) {
    std::vector<std::string> keys;
    uint64_t x = 88172645463325252ull;
    for (int i = 0; i < 1024; ++i) {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        keys.push_back(std::to_string(1 + x % uint64_t(persons)));
    }
    return keys;
}

bool prepared(benchmark::State& state, const QString& path) {
    if (!path.isEmpty()) return true;
    state.SkipWithError("could not write the sample register");
    return false;
}

void BM_Open(benchmark::State& state) {
    const QString path = sampleRegister(int(state.range(0)), false);
    if (!prepared(state, path)) return;
    reg::RecordStore store;
    for (auto _ : state) {
        static_cast<void>(store.OpenTable(path));
        benchmark::DoNotOptimize(store.RecordCount());
        static_cast<void>(store.CloseAllTables());
    }
}

// The tree fill: every record's 序号, 房屋详址, 户主姓名 and 姓名, by field name.
void BM_Walk(benchmark::State& state) {
    const QString path = sampleRegister(int(state.range(0)), false);
    if (!prepared(state, path)) return;
    const std::string serial = reg::fieldName(reg::F序号), address = reg::fieldName(reg::F房屋详址),
                      head = reg::fieldName(reg::F户主姓名), name = reg::fieldName(reg::F姓名);
    reg::RecordStore store;
    static_cast<void>(store.OpenTable(path));
    for (auto _ : state) {
        size_t bytes = 0;
        store.GoFirst();
        for (long n = store.RecordCount(); n > 0; --n) {
            bytes += store.ReadField(serial).size() + store.ReadField(address).size() +
                     store.ReadField(head).size() + store.ReadField(name).size();
            static_cast<void>(store.Skip());
        }
        benchmark::DoNotOptimize(bytes);
    }
    state.SetItemsProcessed(state.iterations() * store.RecordCount());
    static_cast<void>(store.CloseAllTables());
}

// SortTo of a shuffled register, by the key function or by the field itself, which the engine
// then sorts by (as the rebuild does).
void sortTo(benchmark::State& state, bool byField) {
    const QString path = sampleRegister(int(state.range(0)), true);
    if (!prepared(state, path)) return;
    const QString target = reg::pathIn(folder(int(state.range(0)), "sort"), reg::names::kSorted);
    reg::RecordStore store;
    static_cast<void>(store.OpenTable(path));
    for (auto _ : state) {
        const bool sorted = byField
                                ? store.SortTo(target, reg::fieldName(reg::F序号))
                                : store.SortTo(target, [&store] { return reg::serialKey(store); });
        if (!sorted) state.SkipWithError("SortTo failed");
    }
    static_cast<void>(store.CloseAllTables());
}
void BM_SortTo(benchmark::State& state) {
    sortTo(state, false);
}
void BM_SortToByField(benchmark::State& state) {
    sortTo(state, true);
}

// The engine's floor: the statement of bench/sqlite-floor.sh, run by the library with its
// defaults and no code of ours, into a new file each round (removing it is not timed).
void BM_EngineFloor(benchmark::State& state) {
    const QString path = sampleRegister(int(state.range(0)), true);
    if (!prepared(state, path)) return;
    const QString target = folder(int(state.range(0)), "floor") + QStringLiteral("/sorted.wav");
    sqlite3* db = nullptr;
    sqlite3_open_v2(QFile::encodeName(path).constData(), &db,
                    SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    const std::string attach = "ATTACH '" + QFile::encodeName(target).toStdString() +
                               "' AS sorted; PRAGMA sorted.journal_mode=OFF;"
                               " PRAGMA sorted.synchronous=OFF;";
    const char* copy =
        "CREATE TABLE sorted.records AS SELECT * FROM records ORDER BY CAST(序号 AS REAL)";
    for (auto _ : state) {
        state.PauseTiming();
        sqlite3_exec(db, "DETACH sorted", nullptr, nullptr, nullptr);
        QFile::remove(target);
        const bool ready = sqlite3_exec(db, attach.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
        state.ResumeTiming();
        if (!ready || sqlite3_exec(db, copy, nullptr, nullptr, nullptr) != SQLITE_OK)
            state.SkipWithError(sqlite3_errmsg(db));
    }
    sqlite3_close(db);
}

// The whole rebuild of the register order, as the information-management window runs it when
// it opens and after every add and modify: on a register out of order (each round starts from
// a fresh shuffled copy, not timed) and on one already in order.
void BM_RebuildShuffled(benchmark::State& state) {
    const int persons = int(state.range(0));
    const QString shuffled = sampleRegister(persons, true);
    if (!prepared(state, shuffled)) return;
    const QString f = folder(persons, "rebuild-shuffled");
    const QString registerPath = reg::pathIn(f, reg::names::kRegister);
    reg::RecordStore store;
    for (auto _ : state) {
        state.PauseTiming();
        reg::files::copy(shuffled, registerPath);
        state.ResumeTiming();
        reg::rebuildRegisterOrder(store, f);
        static_cast<void>(store.CloseAllTables());
    }
}

void BM_RebuildInOrder(benchmark::State& state) {
    const int persons = int(state.range(0));
    if (!prepared(state, sampleRegister(persons, false))) return;
    const QString f = programFolderWith(persons, false, "rebuild-sorted");
    reg::RecordStore store;
    for (auto _ : state) {
        reg::rebuildRegisterOrder(store, f);
        static_cast<void>(store.CloseAllTables());
    }
}

// A query for the women of the register into 临时数据.wav.
void BM_CopyTo(benchmark::State& state) {
    const QString path = sampleRegister(int(state.range(0)), false);
    if (!prepared(state, path)) return;
    const QString target =
        reg::pathIn(folder(int(state.range(0)), "copy"), reg::names::kQueryResult);
    reg::RecordStore store;
    static_cast<void>(store.OpenTable(path));
    for (auto _ : state) {
        if (!store.CopyTo(target, [&store] { return isWoman(store); }))
            state.SkipWithError("CopyTo failed");
    }
    static_cast<void>(store.CloseAllTables());
}

// The head count shown beside the tree.
void BM_CountMatching(benchmark::State& state) {
    const QString path = sampleRegister(int(state.range(0)), false);
    if (!prepared(state, path)) return;
    reg::RecordStore store;
    static_cast<void>(store.OpenTable(path));
    for (auto _ : state) {
        benchmark::DoNotOptimize(store.CountMatching(
            [&store] { return reg::isHead(store.ReadField(reg::F与户主关系)); }));
    }
    static_cast<void>(store.CloseAllTables());
}

void BM_CreateIndex(benchmark::State& state) {
    const int persons = int(state.range(0));
    if (!prepared(state, sampleRegister(persons, false))) return;
    const QString f = programFolderWith(persons, false, "index");
    reg::RecordStore store;
    static_cast<void>(store.OpenTable(reg::pathIn(f, reg::names::kRegister)));
    for (auto _ : state) {
        if (!store.CreateIndex(reg::names::kIndex, reg::fieldName(reg::F序号)))
            state.SkipWithError("CreateIndex failed");
    }
    static_cast<void>(store.CloseAllTables());
}

// A program folder whose register has a fitting 临时索引.enx, as after a rebuild.
QString indexedFolder(int persons) {
    const QString f = programFolderWith(persons, false, "seek");
    reg::RecordStore store;
    reg::rebuildRegisterOrder(store, f);
    static_cast<void>(store.CloseAllTables());
    return f;
}

// Looking up the record of a selected list line: open with the index, seek, read, close.
void BM_SeekAfterOpen(benchmark::State& state) {
    const int persons = int(state.range(0));
    if (!prepared(state, sampleRegister(persons, false))) return;
    const QString f = indexedFolder(persons);
    const QString registerPath = reg::pathIn(f, reg::names::kRegister);
    const QString indexPath = reg::pathIn(f, reg::names::kIndex);
    const auto keys = lookupKeys(persons);
    reg::RecordStore store;
    size_t i = 0;
    for (auto _ : state) {
        static_cast<void>(store.OpenTable(registerPath, indexPath));
        if (!store.SeekKey(keys[i++ % keys.size()])) state.SkipWithError("SeekKey missed");
        benchmark::DoNotOptimize(store.ReadField(reg::F姓名));
        static_cast<void>(store.CloseAllTables());
    }
}

// The same, timing only the first SeekKey after each open.
void BM_FirstSeekAfterOpen(benchmark::State& state) {
    const int persons = int(state.range(0));
    if (!prepared(state, sampleRegister(persons, false))) return;
    const QString f = indexedFolder(persons);
    const QString registerPath = reg::pathIn(f, reg::names::kRegister);
    const QString indexPath = reg::pathIn(f, reg::names::kIndex);
    const auto keys = lookupKeys(persons);
    reg::RecordStore store;
    size_t i = 0;
    for (auto _ : state) {
        state.PauseTiming();
        static_cast<void>(store.OpenTable(registerPath, indexPath));
        state.ResumeTiming();
        if (!store.SeekKey(keys[i++ % keys.size()])) state.SkipWithError("SeekKey missed");
        state.PauseTiming();
        static_cast<void>(store.CloseAllTables());
        state.ResumeTiming();
    }
}

void BM_Seek(benchmark::State& state) {
    const int persons = int(state.range(0));
    if (!prepared(state, sampleRegister(persons, false))) return;
    const QString f = indexedFolder(persons);
    const auto keys = lookupKeys(persons);
    reg::RecordStore store;
    static_cast<void>(
        store.OpenTable(reg::pathIn(f, reg::names::kRegister), reg::pathIn(f, reg::names::kIndex)));
    size_t i = 0;
    for (auto _ : state) {
        if (!store.SeekKey(keys[i++ % keys.size()])) state.SkipWithError("SeekKey missed");
    }
    static_cast<void>(store.CloseAllTables());
}

// Wall-clock time: the cases wait for the disk, which the clerk waits for too.
void sizes(benchmark::internal::Benchmark* b) {
    b->Arg(1000)->Arg(10000)->Arg(100000)->UseRealTime();
}

BENCHMARK(BM_Open)->Apply(sizes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Walk)->Apply(sizes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SortTo)->Apply(sizes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SortToByField)->Apply(sizes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EngineFloor)->Apply(sizes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RebuildShuffled)->Apply(sizes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RebuildInOrder)->Apply(sizes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CopyTo)->Apply(sizes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CountMatching)->Apply(sizes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CreateIndex)->Apply(sizes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SeekAfterOpen)->Apply(sizes)->Unit(benchmark::kMicrosecond);
// Few rounds: each one opens the register untimed.
BENCHMARK(BM_FirstSeekAfterOpen)->Apply(sizes)->Iterations(300)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Seek)->Apply(sizes)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();

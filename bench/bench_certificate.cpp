// Certificates: one rendered from its template, one taken and marked issued (the log's two
// commits and the history's fact, each synced to disk), and the whole log read as the log window
// will read it, at 10,000 certificates.
#include <benchmark/benchmark.h>

#include <QTemporaryDir>

#include "core/edit/certificate.h"
#include "core/edit/certificatelog.h"
#include "core/register/person.h"
#include "core/register/sqlitedb.h"
#include "core/register/text.h"
#include "samplegen.h"

namespace {

const QDateTime kAt(QDate(2026, 12, 8), QTime(9, 30));

// A generated household: its members' values, the first one the person.
std::vector<std::vector<std::string>> household() {
    std::vector<std::vector<std::string>> members;
    for (const sample::Person& v : sample::generate(8, 7)) {
        if (members.empty() || v[reg::F房屋详址 - 1] == members.front()[reg::F房屋详址 - 1])
            members.push_back(v);
    }
    return members;
}

cert::Subject subject() {
    const auto members = household();
    return {members.front(), {}, members, QStringLiteral("办理入学")};
}

void configure(const QString& folder) {
    if (!cert::saveSettings(folder,
                            {QStringLiteral("澄禾社区居民委员会"), QStringLiteral("澄禾证")})
             .done())
        qFatal("settings not saved");
}

void BM_Render(benchmark::State& state) {
    const cert::Subject s = subject();
    const cert::Template& t = cert::builtInTemplate(cert::Kind::Kinship);
    for (auto _ : state) {
        const cert::Rendered r = cert::render(
            t, s, {QStringLiteral("澄禾证〔2026〕第0001号"), QStringLiteral("澄禾"), kAt.date()});
        benchmark::DoNotOptimize(cert::digestOf(cert::renderedToText(r)));
    }
}
BENCHMARK(BM_Render)->Unit(benchmark::kMicrosecond);

void BM_TakeAndIssue(benchmark::State& state) {
    QTemporaryDir dir;
    configure(dir.path());
    const cert::Subject s = subject();
    for (auto _ : state) {
        const cert::Taken t =
            cert::take(dir.path(), cert::builtInTemplate(cert::Kind::Household), s, kAt);
        if (!t.answer.done() || !cert::markIssued(dir.path(), t.id).done())
            state.SkipWithError("not issued");
    }
}
BENCHMARK(BM_TakeAndIssue)->Unit(benchmark::kMillisecond)->UseRealTime();

// The log of range(0) certificates: one issued for real, copied with new serials in one
// transaction, then read whole.
void BM_ReadLog(benchmark::State& state) {
    QTemporaryDir dir;
    configure(dir.path());
    const cert::Taken t =
        cert::take(dir.path(), cert::builtInTemplate(cert::Kind::Kinship), subject(), kAt);
    if (!t.answer.done() || !cert::markIssued(dir.path(), t.id).done())
        state.SkipWithError("not issued");
    {
        reg::sqlite::Database db;
        if (!db.open(dir.filePath(cert::kLogFileName), reg::sqlite::Access::ReadWrite) ||
            !db.exec("WITH RECURSIVE n(k) AS (SELECT 2 UNION ALL SELECT k + 1 FROM n WHERE k < " +
                     std::to_string(state.range(0)) +
                     ") INSERT INTO certificates(number, year, serial, time, template, serial_a, "
                     "name_a, id_a, reason, text, digest, state, recorded) SELECT 'N' || k, year, "
                     "k, time, template, serial_a, name_a, id_a, reason, text, digest, 1, 1 "
                     "FROM certificates, n"))
            state.SkipWithError(qPrintable(db.error()));
    }
    for (auto _ : state) {
        const auto all = cert::records(dir.path());
        if (all.size() != size_t(state.range(0))) state.SkipWithError("wrong count");
    }
}
BENCHMARK(BM_ReadLog)->Arg(10000)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();

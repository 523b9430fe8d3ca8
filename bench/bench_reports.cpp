// A roster of N persons drawn into a PDF (fonts embedded), as the roster window writes it, with
// the peak memory of the process; the statistics walk over a register of the same size is the
// baseline of the same run.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <QDir>
#include <QTemporaryDir>
#include <map>

#include "core/query/statistics.h"
#include "core/register/person.h"
#include "core/register/text.h"
#include "gui/reports/reportprint.h"
#include "samplegen.h"

namespace {

// A household line with its address, then its members: the shape of a roster.
query::Report rosterOf(int persons) {
    std::map<std::string, std::vector<sample::Person>> households;
    for (sample::Person& p : sample::generate(persons, 7))
        households[p[reg::F房屋详址 - 1]].push_back(std::move(p));
    query::Report r;
    r.title = QStringLiteral("花名册");
    r.subtitle = QStringLiteral("整个户籍");
    const std::vector<int> fields{reg::F姓名,      reg::F与户主关系,   reg::F性别,
                                  reg::F出生日期,  reg::F公民身份号码, reg::F民族,
                                  reg::F受教育程度};
    r.columns.push_back({QStringLiteral("序号"), 1, true});
    for (int f : fields)
        r.columns.push_back({reg::fromGb(reg::fieldName(f)), f == reg::F公民身份号码 ? 3 : 2});
    r.rows.reserve(size_t(persons) + households.size());
    int n = 0;
    for (const auto& household : households) {
        r.rows.push_back({query::ReportRow::Kind::Group, {reg::fromGb(household.first)}});
        for (const sample::Person& p : household.second) {
            query::ReportRow row{query::ReportRow::Kind::Data, {QString::number(++n)}};
            for (int f : fields) row.cells.push_back(reg::fromGb(p[size_t(f) - 1]));
            r.rows.push_back(std::move(row));
        }
    }
    return r;
}

double peakMegabytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) / 1024.0;
}

void BM_RosterPdf(benchmark::State& state) {
    QTemporaryDir dir;
    const query::Report report = rosterOf(int(state.range(0)));
    const QString path = QDir(dir.path()).filePath(QStringLiteral("roster.pdf"));
    for (auto _ : state)
        if (!maint::writeReportPdf(path, report, {QStringLiteral("澄禾社区"), QDate(2026, 12, 9)}))
            state.SkipWithError("not written");
    state.counters["pages"] = maint::reportPages(report);
    state.counters["peak_MB"] = peakMegabytes();
}
BENCHMARK(BM_RosterPdf)->Arg(3000)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_RosterPdf)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_StatisticsWalk(benchmark::State& state) {
    QTemporaryDir dir;
    const QString path = QDir(dir.path()).filePath(QStringLiteral("register.wav"));
    if (!sample::writeRegister(path, int(state.range(0)), 7)) state.SkipWithError("no register");
    const QDate day(2026, 12, 9);
    for (auto _ : state)
        benchmark::DoNotOptimize(query::computeStatistics(path, day, query::yearPeriod(2026)));
}
BENCHMARK(BM_StatisticsWalk)->Arg(3000)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace

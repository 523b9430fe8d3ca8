// The certificate's windows and page: one certificate (the kinship one, with its members'
// table) written as a PDF with its QR code, and the log window opened on 10,000 certificates.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>

#include "core/edit/certificatelog.h"
#include "core/register/person.h"
#include "core/register/sqlitedb.h"
#include "gui/reports/certificatelogwindow.h"
#include "gui/reports/certificateprint.h"
#include "quietdialogs.h"
#include "samplegen.h"

namespace {

const QDateTime kAt(QDate(2026, 12, 8), QTime(9, 30));

cert::Subject subject() {
    std::vector<std::vector<std::string>> members;
    for (const sample::Person& v : sample::generate(8, 7))
        if (members.empty() || v[reg::F房屋详址 - 1] == members.front()[reg::F房屋详址 - 1])
            members.push_back(v);
    return {members.front(), {}, members, QStringLiteral("办理入学")};
}

// A log holding one certificate issued for real, or `count` of them copied from it.
void makeLog(const QString& folder, long count, cert::Taken* taken) {
    if (!cert::saveSettings(folder,
                            {QStringLiteral("澄禾社区居民委员会"), QStringLiteral("澄禾证")})
             .done())
        qFatal("settings not saved");
    *taken = cert::take(folder, cert::builtInTemplate(cert::Kind::Kinship), subject(), kAt);
    if (!taken->answer.done() || !cert::markIssued(folder, taken->id).done()) qFatal("not issued");
    if (count < 2) return;
    reg::sqlite::Database db;
    if (!db.open(QDir(folder).filePath(cert::kLogFileName), reg::sqlite::Access::ReadWrite) ||
        !db.exec("WITH RECURSIVE n(k) AS (SELECT 2 UNION ALL SELECT k + 1 FROM n WHERE k < " +
                 std::to_string(count) +
                 ") INSERT INTO certificates(number, year, serial, time, template, serial_a, "
                 "name_a, id_a, reason, text, digest, state, recorded) SELECT 'N' || k, year, "
                 "k, time, template, serial_a, name_a, id_a, reason, text, digest, 1, 1 "
                 "FROM certificates, n"))
        qFatal("log not filled");
}

void BM_CertificatePdf(benchmark::State& state) {
    QTemporaryDir dir;
    cert::Taken t;
    makeLog(dir.path(), 1, &t);
    const maint::CertificatePage page{t.page, t.qr, t.number, QString()};
    for (auto _ : state)
        if (!maint::writeCertificatePdf(dir.filePath(QStringLiteral("证明.pdf")), page))
            state.SkipWithError("not written");
}
BENCHMARK(BM_CertificatePdf)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);

void BM_OpenLogWindow(benchmark::State& state) {
    QTemporaryDir dir;
    cert::Taken t;
    makeLog(dir.path(), state.range(0), &t);
    QuietDialogs dialogs;
    for (auto _ : state) {
        maint::CertificateLogWindow w(dir.path(), dialogs);
        w.show();
        QCoreApplication::processEvents();
    }
}
BENCHMARK(BM_OpenLogWindow)
    ->Arg(10000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);

// What the window does before it lists: a crash's leftovers settled.
void BM_SettleLog(benchmark::State& state) {
    QTemporaryDir dir;
    cert::Taken t;
    makeLog(dir.path(), state.range(0), &t);
    for (auto _ : state) benchmark::DoNotOptimize(cert::settle(dir.path(), kAt));
}
BENCHMARK(BM_SettleLog)->Arg(10000)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace

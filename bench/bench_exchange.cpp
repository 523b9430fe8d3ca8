// Spreadsheet export and import on generated registers, and the .xls writer against
// libxlsxwriter writing the same sheet as .xlsx.
#include <benchmark/benchmark.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUrl>
#include <cstdio>
#include <cstring>
#include <map>

#include "core/edit/transfer.h"
#include "core/register/files.h"
#include "core/register/person.h"
#include "core/register/programfolder.h"
#include "core/register/text.h"
#include "core/register/workfiles.h"
#include "core/workbook/biff8.h"
#include "core/workbook/workbookreader.h"
#include "samplegen.h"

#ifdef HJ_HAVE_XLSXWRITER
#include <xlsxwriter.h>
#endif

namespace {

constexpr uint32_t kSeed = 20240630;

QTemporaryDir& workDir() {
    static QTemporaryDir dir;
    return dir;
}

// The suffix of the workbooks a benchmark writes: state.range(1) is 1 for .xlsx.
QString suffix(int xlsx) {
    return xlsx ? QStringLiteral("xlsx") : QStringLiteral("xls");
}

bool exportTo(const QString& folder, const QString& book) {
    return exchange::exportRegister(folder, reg::pathIn(folder, reg::names::kRegister),
                                    [&] { return book; }, {})
        .ok;
}

// A program folder holding a generated, shuffled register of `persons`; made on first use.
QString registerFolder(int persons) {
    static std::map<int, QString> made;
    if (auto it = made.find(persons); it != made.end()) return it->second;
    const QString folder = workDir().filePath(QStringLiteral("register-%1").arg(persons));
    QDir().mkpath(folder);
    if (!sample::writeRegister(reg::pathIn(folder, reg::names::kRegister), persons, kSeed, true))
        return {};
    return made[persons] = folder;
}

// The export of that register, made on first use.
QString exportedBook(int persons, int xlsx) {
    static std::map<std::pair<int, int>, QString> made;
    if (auto it = made.find({persons, xlsx}); it != made.end()) return it->second;
    const QString book =
        workDir().filePath(QStringLiteral("book-%1.%2").arg(persons).arg(suffix(xlsx)));
    exportTo(registerFolder(persons), book);
    return made[{persons, xlsx}] = book;
}

void BM_ExportRegister(benchmark::State& state) {
    const int persons = int(state.range(0));
    const QString folder = registerFolder(persons);
    const QString book = workDir().filePath(
        QStringLiteral("export-%1.%2").arg(persons).arg(suffix(int(state.range(1)))));
    bool ok = true;
    for (auto _ : state) ok = exportTo(folder, book) && ok;
    if (!ok) state.SkipWithError("the export failed");
    state.SetItemsProcessed(state.iterations() * persons);
}
BENCHMARK(BM_ExportRegister)
    ->Args({10000, 0})
    ->Args({100000, 0})
    ->Args({100000, 1})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);

// The whole import click: every row of the workbook appended to an empty register, names
// turned into codes, committed.
void BM_ImportWorkbook(benchmark::State& state) {
    const int persons = int(state.range(0));
    const QString book = exportedBook(persons, int(state.range(1)));
    const auto headings = exchange::readHeadings(book).headings;
    const QString folder = workDir().filePath(QStringLiteral("import-%1").arg(persons));
    bool ok = true;
    for (auto _ : state) {
        state.PauseTiming();
        QDir(folder).removeRecursively();
        reg::layoutProgramFolder(folder);
        state.ResumeTiming();
        ok = exchange::importWorkbook(
                 {folder, book, reg::pathIn(folder, reg::names::kRegister), headings})
                 .ok &&
             ok;
    }
    if (!ok) state.SkipWithError("the import failed");
    state.SetItemsProcessed(state.iterations() * persons);
}
BENCHMARK(BM_ImportWorkbook)
    ->Args({10000, 0})
    ->Args({100000, 0})
    ->Args({100000, 1})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);

// The sheet both writers write: the persons' texts with names for codes, in UTF-16 for ours and
// UTF-8 for libxlsxwriter, converted before timing.
struct SheetText {
    std::vector<QString> headings;
    std::vector<std::vector<QString>> rows;
};

const SheetText& sheetText(int persons) {
    static std::map<int, SheetText> made;
    if (auto it = made.find(persons); it != made.end()) return it->second;
    SheetText t;
    for (const std::string& n : reg::fieldNames()) t.headings.push_back(reg::fromGb(n));
    for (const sample::Person& p : sample::generate(persons, kSeed)) {
        std::vector<QString> row;
        for (int f = 1; f <= reg::kFieldCount; ++f) {
            const reg::CodeTable* table = reg::codeTableOf(f);
            const std::string& v = p[size_t(f - 1)];
            row.push_back(reg::fromGb(table ? reg::codeToName(*table, v) : v));
        }
        t.rows.push_back(std::move(row));
    }
    return made[persons] = std::move(t);
}

void BM_WriterXls(benchmark::State& state) {
    const SheetText& text = sheetText(int(state.range(0)));
    const QString path = workDir().filePath(QStringLiteral("writer.xls"));
    for (auto _ : state) {
        exchange::Biff8Spreadsheet book;
        if (!book.addWorkbook()) state.SkipWithError("no workbook");
        exchange::Range block = book.range("a1", "v" + std::to_string(text.rows.size() + 1));
        block.setHorizontalAlignment(exchange::kAlignCentre);
        block.setVerticalAlignment(exchange::kAlignCentre);
        block.setWrapText(true);
        for (int c = 0; c < reg::kFieldCount; ++c) {
            exchange::Range cell = book.range(exchange::columnLetter(c + 1) + "1");
            cell.setColumnWidth(reg::fieldDefs()[size_t(c)].width);
            cell.setValue(text.headings[size_t(c)]);
        }
        for (size_t r = 0; r < text.rows.size(); ++r) {
            const std::string row = std::to_string(r + 2);
            for (int c = 0; c < reg::kFieldCount; ++c)
                book.range(exchange::columnLetter(c + 1) + row).setValue(text.rows[r][size_t(c)]);
        }
        if (!book.saveAs(path)) state.SkipWithError("save failed");
    }
    state.SetItemsProcessed(state.iterations() * int64_t(text.rows.size()));
}
BENCHMARK(BM_WriterXls)->Arg(10000)->Arg(65535)->Unit(benchmark::kMillisecond)->UseRealTime();

#ifdef HJ_HAVE_XLSXWRITER
void BM_WriterXlsxLibxlsxwriter(benchmark::State& state) {
    const SheetText& text = sheetText(int(state.range(0)));
    std::vector<std::string> heads;
    for (const QString& h : text.headings) heads.push_back(h.toStdString());
    std::vector<std::vector<std::string>> rows;
    for (const auto& r : text.rows) {
        std::vector<std::string> out;
        for (const QString& v : r) out.push_back(v.toStdString());
        rows.push_back(std::move(out));
    }
    const std::string path = workDir().filePath(QStringLiteral("writer.xlsx")).toStdString();
    for (auto _ : state) {
        lxw_workbook* wb = workbook_new(path.c_str());
        lxw_worksheet* ws = workbook_add_worksheet(wb, "Sheet1");
        lxw_format* centred = workbook_add_format(wb);
        format_set_align(centred, LXW_ALIGN_CENTER);
        format_set_align(centred, LXW_ALIGN_VERTICAL_CENTER);
        format_set_text_wrap(centred);
        for (int c = 0; c < reg::kFieldCount; ++c) {
            worksheet_set_column(ws, lxw_col_t(c), lxw_col_t(c), reg::fieldDefs()[size_t(c)].width,
                                 nullptr);
            worksheet_write_string(ws, 0, lxw_col_t(c), heads[size_t(c)].c_str(), centred);
        }
        for (size_t r = 0; r < rows.size(); ++r)
            for (int c = 0; c < reg::kFieldCount; ++c) {
                const std::string& v = rows[r][size_t(c)];
                // An empty text is a blank cell with the format, as our writer writes it.
                if (v.empty())
                    worksheet_write_blank(ws, lxw_row_t(r + 1), lxw_col_t(c), centred);
                else
                    worksheet_write_string(ws, lxw_row_t(r + 1), lxw_col_t(c), v.c_str(), centred);
            }
        if (workbook_close(wb) != LXW_NO_ERROR) state.SkipWithError("save failed");
    }
    state.SetItemsProcessed(state.iterations() * int64_t(rows.size()));
}
BENCHMARK(BM_WriterXlsxLibxlsxwriter)
    ->Arg(10000)
    ->Arg(65535)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
#endif

// Resident memory in MiB: the current figure, or the process's peak so far.
double residentMiB(const char* field) {
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly)) return 0;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(qsizetype(strlen(field))).trimmed().split(' ')[0].toDouble() / 1024;
    return 0;
}

// The reader's peak memory, rows read included, measured in a process of its own (this program
// started again with --read-peak): in this one, pages freed by the benchmarks before are reused
// without showing in the resident size.
double readPeakMiB(const QString& book) {
    QProcess child;
    child.start(QFile::symLinkTarget(QStringLiteral("/proc/self/exe")),
                {QStringLiteral("--read-peak"), book});
    if (!child.waitForFinished(-1) || child.exitCode() != 0) return -1;
    return child.readAllStandardOutput().trimmed().toDouble();
}

// The reader alone on a workbook, timed here; its memory is measured apart.
void readAndMeasure(benchmark::State& state, const QString& book, size_t expectRows) {
    for (auto _ : state) {
        const exchange::RowList rows = exchange::readRows(book, 22);
        if (rows.rows.size() != expectRows) state.SkipWithError("wrong number of rows");
    }
    state.counters["peak_MiB"] = readPeakMiB(book);
}

void BM_ReadRows(benchmark::State& state) {
    const int persons = int(state.range(0));
    readAndMeasure(state, exportedBook(persons, int(state.range(1))), size_t(persons));
}
BENCHMARK(BM_ReadRows)
    ->Args({100000, 0})
    ->Args({100000, 1})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);

// LibreOffice converting the same workbook to CSV, start-up included, as a general spreadsheet
// program's reading to compare the reader with; skipped when soffice is not installed.
void BM_LibreOfficeToCsv(benchmark::State& state) {
    const QString soffice = QStandardPaths::findExecutable(QStringLiteral("soffice"));
    if (soffice.isEmpty()) {
        state.SkipWithError("soffice is not installed");
        for (auto _ : state) {
        }
        return;
    }
    const QString book = exportedBook(int(state.range(0)), int(state.range(1)));
    const QString out = workDir().filePath(QStringLiteral("csv"));
    // A profile of its own, made by one untimed run, so that a desktop's LibreOffice is not met.
    const QStringList args = {
        QStringLiteral("-env:UserInstallation=") +
            QUrl::fromLocalFile(workDir().filePath(QStringLiteral("lo-profile"))).toString(),
        QStringLiteral("--headless"),
        QStringLiteral("--convert-to"),
        QStringLiteral("csv"),
        QStringLiteral("--outdir"),
        out,
        book};
    auto convert = [&] {
        QProcess lo;
        lo.start(soffice, args);
        return lo.waitForFinished(600000) && lo.exitCode() == 0;
    };
    bool ok = convert();
    for (auto _ : state) ok = convert() && ok;
    if (!ok) state.SkipWithError("the conversion failed");
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_LibreOfficeToCsv)
    ->Args({100000, 1})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(2);

// A workbook read again and again, as a clerk retries one or goes through a folder of them: the
// resident size after 1,000 reads against after the first few. A small sound workbook is the
// baseline; the damaged one once made the library behind the reader keep its cells every time.
void BM_ReadAgain(benchmark::State& state) {
    const QString book = state.range(0) ? QStringLiteral(HJ_DAMAGED_WORKBOOK) : exportedBook(20, 0);
    auto read = [&] {
        static_cast<void>(exchange::readHeadings(book));
        static_cast<void>(exchange::readRows(book, 22));
    };
    for (int i = 0; i < 5; ++i) read();
    const double before = residentMiB("VmRSS:");
    for (auto _ : state) read();
    state.counters["growth_MiB"] = residentMiB("VmRSS:") - before;
}
BENCHMARK(BM_ReadAgain)->Arg(0)->Arg(1)->Iterations(1000)->Unit(benchmark::kMicrosecond);

#ifdef HJ_HAVE_XLSXWRITER
// A sheet formatted down to its last row, one person in it: a row element for each of 1,048,576
// rows, as a spreadsheet program leaves behind.
void BM_ReadMillionEmptyRows(benchmark::State& state) {
    static const QString book = [] {
        const QString path = workDir().filePath(QStringLiteral("empty-rows.xlsx"));
        lxw_workbook* wb = workbook_new(QFile::encodeName(path).constData());
        lxw_worksheet* ws = workbook_add_worksheet(wb, "Sheet1");
        lxw_format* f = workbook_add_format(wb);
        format_set_align(f, LXW_ALIGN_CENTER);
        worksheet_write_string(ws, 0, 0, "序号", nullptr);
        worksheet_write_string(ws, 1, 0, "1", nullptr);
        for (lxw_row_t r = 2; r < 1048576; ++r) worksheet_set_row(ws, r, LXW_DEF_ROW_HEIGHT, f);
        workbook_close(wb);
        return path;
    }();
    readAndMeasure(state, book, 1);
}
BENCHMARK(BM_ReadMillionEmptyRows)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
#endif

}  // namespace

// With --read-peak FILE: read FILE's rows and print the peak resident memory above what the
// process held before reading, in MiB.
int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--read-peak") == 0) {
        const double before = residentMiB("VmRSS:");
        const exchange::RowList rows = exchange::readRows(QString::fromLocal8Bit(argv[2]), 22);
        std::printf("%.1f\n", residentMiB("VmHWM:") - before);
        return rows.status == exchange::ReadStatus::Ok ? 0 : 1;
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

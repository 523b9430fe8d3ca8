// The export and import pipelines on real register files: the round trip, the sheet the export
// writes, the conversions both ways, and every bad input leaving the register as it was.
#include <freexl.h>
#include <QtGlobal>
#ifdef Q_OS_UNIX
#include <sys/resource.h>
#endif
#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <csignal>

#include "common/programfolder.h"
#include "common/scripteddialogs.h"
#include "common/workbookfacts.h"
#include "core/edit/transfer.h"
#include "core/register/files.h"
#include "core/register/person.h"
#include "core/register/programfolder.h"
#include "core/register/workfiles.h"
#include "core/workbook/workbookreader.h"
#include "gui/exchange/resultexport.h"
#include "samplegen.h"

using namespace reg;
using namespace exchange;
using hjtest::ProgramFolder;
using hjtest::ScriptedDialogs;
using xtest::records;

namespace {

std::vector<std::string> person(const char* serial,
                                std::initializer_list<std::pair<int, const char*>> set) {
    std::vector<std::string> v(kFieldCount);
    v[F序号 - 1] = serial;
    for (auto [field, value] : set) v[size_t(field - 1)] = gb(value);
    return v;
}

bool writeRecords(const QString& path, const std::vector<std::vector<std::string>>& people) {
    return sample::writeRegister(path, people);
}

// Exports the register of `pf` to `out` and answers what the export showed.
void exportTo(const ProgramFolder& pf, const QString& out, std::vector<int>* progress = nullptr) {
    ScriptedDialogs dialogs;
    dialogs.expectSave(out);
    exportRegister(pf.path(), pf.file(names::kRegister), dialogs, [&](int p) {
        if (progress) progress->push_back(p);
    });
    QVERIFY2(dialogs.done(), qPrintable(dialogs.pendingText()));
}

// The cells of one sheet as FreeXL reports them: text only, anything else marked.
std::vector<QStringList> freexlCells(const QString& path, unsigned sheet = 0) {
    std::vector<QStringList> rows;
    const void* h = nullptr;
    if (freexl_open(QFile::encodeName(path).constData(), &h) != FREEXL_OK) return rows;
    unsigned nrows = 0;
    unsigned short ncols = 0;
    freexl_select_active_worksheet(h, uint16_t(sheet));
    freexl_worksheet_dimensions(h, &nrows, &ncols);
    for (unsigned r = 0; r < nrows; ++r) {
        QStringList row;
        for (unsigned short c = 0; c < ncols; ++c) {
            FreeXL_CellValue v;
            freexl_get_cell_value(h, r, c, &v);
            if (v.type == FREEXL_CELL_SST_TEXT || v.type == FREEXL_CELL_TEXT)
                row << QString::fromUtf8(v.value.text_value);
            else if (v.type == FREEXL_CELL_NULL)
                row << QString();
            else
                row << QStringLiteral("<not text %1>").arg(v.type);
        }
        rows.push_back(row);
    }
    freexl_close(h);
    return rows;
}

ImportRequest requestFor(const ProgramFolder& pf, const QString& workbook) {
    return {pf.path(), workbook, pf.file(names::kRegister), readHeadings(workbook).headings};
}

// "0" and "-1" mean nothing chosen, as an empty code does; the workbook carries all three empty.
std::vector<std::vector<std::string>> nothingChosenEmpty(std::vector<std::vector<std::string>> rs) {
    for (auto& r : rs)
        for (int f : codedFields())
            if (r[size_t(f - 1)] == "0" || r[size_t(f - 1)] == "-1") r[size_t(f - 1)].clear();
    return rs;
}

}  // namespace

class TestTransfer : public QObject {
    Q_OBJECT

  private slots:
    void roundTripKeepsEveryRecord_data() {
        QTest::addColumn<QString>("suffix");
        QTest::newRow("xls") << "xls";
        QTest::newRow("xlsx") << "xlsx";
    }
    void roundTripKeepsEveryRecord() {
        QFETCH(QString, suffix);
        ProgramFolder from, to;
        auto people = sample::generate(700, 11);
        // Rare characters beyond GBK, long texts and both identity number lengths travel too.
        people[3][F姓名 - 1] = gb("王䶮");
        people[4][F备注 - 1] = gb("𠮷野家，") + std::string(30, 'x');
        people[5][F公民身份号码 - 1] = "110101800101123";
        sample::shuffle(people, 5);
        QVERIFY(writeRecords(from.file(names::kRegister), people));
        const QString book = from.path() + "/out." + suffix;
        std::vector<int> progress;
        exportTo(from, book, &progress);
        QCOMPARE(progress.back(), 100);
        QVERIFY(std::is_sorted(progress.begin(), progress.end()));

        ScriptedDialogs dialogs;
        dialogs.expectNotice(msg::kImported);
        QVERIFY(importWorkbook(requestFor(to, book), dialogs));
        QVERIFY(dialogs.done());

        std::stable_sort(people.begin(), people.end(), [](const auto& a, const auto& b) {
            return leadingNumber(a[0]) < leadingNumber(b[0]);
        });
        const auto back = records(to.file(names::kRegister));
        QCOMPARE(back.size(), people.size());
        QVERIFY(back == nothingChosenEmpty(people));
        // The source register is untouched and no working copy is left.
        for (const QString& n : {names::kExportCopy, names::kExportSorted})
            QVERIFY(!files::exists(from.file(n)));
    }

    void registerLongerThanOneSheetTravelsWhole_data() {
        QTest::addColumn<QString>("suffix");
        QTest::newRow("xls") << "xls";
        QTest::newRow("xlsx") << "xlsx";
    }
    void registerLongerThanOneSheetTravelsWhole() {
        // One .xls worksheet holds 65,535 persons; the rest go on in Sheet2 and come back in.
        // A .xlsx worksheet holds them all.
        QFETCH(QString, suffix);
        ProgramFolder from, to;
        const int persons = kPersonsPerSheet + 7;
        QVERIFY(sample::writeRegister(from.file(names::kRegister), persons, 3, true));
        const QString book = from.path() + "/long." + suffix;
        exportTo(from, book);
        const QString facts = xtest::xlrdFacts(book);
        if (!facts.isEmpty() && suffix == "xls") {
            QVERIFY(facts.contains(QStringLiteral("sheet Sheet1 65536 22\n")));
            QVERIFY(facts.contains(QStringLiteral("sheet Sheet2 8 22\n")));
        } else if (!facts.isEmpty()) {
            QVERIFY(facts.contains(QStringLiteral("sheet Sheet1 65543 22\n")));
            QVERIFY(!facts.contains(QStringLiteral("sheet Sheet2")));
        }
        ScriptedDialogs dialogs;
        dialogs.expectNotice(msg::kImported);
        QVERIFY(importWorkbook(requestFor(to, book), dialogs));
        const auto back = records(to.file(names::kRegister));
        QCOMPARE(int(back.size()), persons);
        for (int i = 0; i < persons; ++i)
            QCOMPARE(back[size_t(i)][F序号 - 1], std::to_string(i + 1));
    }

    void exportWritesTextCellsInSerialOrderWithNames() {
        ProgramFolder pf;
        const std::string id = "11010119800101123X";
        QVERIFY(writeRecords(
            pf.file(names::kRegister),
            {person("10", {{F性别, "0"}, {F民族, "-1"}, {F户籍变动类型, "13"}}),
             person("2", {{F性别, "2"}, {F户籍变动类型, "14"}, {F公民身份号码, id.c_str()}}),
             person("9", {{F与户主关系, "11"}, {F居住类型, "abc"}})}));
        const QString book = pf.path() + "/x.xls";
        exportTo(pf, book);
        const auto cells = freexlCells(book);
        QCOMPARE(int(cells.size()), 4);
        QCOMPARE(cells[0].size(), kFieldCount);
        for (int f = 1; f <= kFieldCount; ++f) QCOMPARE(cells[0][f - 1], fromGb(fieldName(f)));
        QCOMPARE(cells[1][F序号 - 1], QStringLiteral("2"));
        QCOMPARE(cells[2][F序号 - 1], QStringLiteral("9"));
        QCOMPARE(cells[3][F序号 - 1], QStringLiteral("10"));
        QCOMPARE(cells[1][F性别 - 1], QStringLiteral("女"));
        QCOMPARE(cells[1][F户籍变动类型 - 1], QStringLiteral("14"));
        QCOMPARE(cells[1][F公民身份号码 - 1], QString::fromStdString(id));
        QCOMPARE(cells[2][F与户主关系 - 1], QStringLiteral("其他"));
        QCOMPARE(cells[2][F居住类型 - 1], QStringLiteral("abc"));
        QCOMPARE(cells[3][F性别 - 1], QString());
        QCOMPARE(cells[3][F民族 - 1], QString());
        QCOMPARE(cells[3][F户籍变动类型 - 1], QStringLiteral("死亡"));
        // The register itself still holds codes.
        QCOMPARE(records(pf.file(names::kRegister))[0][F户籍变动类型 - 1], std::string("13"));
    }

    void independentReaderSeesTextCentredWrappedAndWidths_data() {
        QTest::addColumn<QString>("suffix");
        QTest::newRow("xls") << "xls";
        QTest::newRow("xlsx") << "xlsx";
    }
    void independentReaderSeesTextCentredWrappedAndWidths() {
        // python3-xlrd reads the .xls, python3-openpyxl the .xlsx.
        QFETCH(QString, suffix);
        ProgramFolder pf;
        QVERIFY(writeRecords(pf.file(names::kRegister),
                             {person("1", {{F公民身份号码, "110101198001011234"}})}));
        const QString book = pf.path() + "/x." + suffix;
        exportTo(pf, book);
        const QString facts = xtest::xlrdFacts(book);
        if (facts.isEmpty()) QSKIP("python3-xlrd or python3-openpyxl is not installed");
        QVERIFY(facts.contains(QStringLiteral("sheet Sheet1 2 22\n")));
        // Every cell of the block is text (blank when empty), centred (2) both ways (1) and
        // wrapped.
        for (int r = 0; r < 2; ++r)
            for (int c = 0; c < kFieldCount; ++c)
                QVERIFY2(facts.contains(QRegularExpression(
                             QStringLiteral("cell 0 %1 %2 (text|blank) 2 1 1 \\|").arg(r).arg(c))),
                         qPrintable(QStringLiteral("cell %1 %2").arg(r).arg(c)));
        QVERIFY(facts.contains(QStringLiteral("cell 0 1 13 text 2 1 1 | 110101198001011234\n")));
        for (int f = 1; f <= kFieldCount; ++f)
            QVERIFY(facts.contains(QStringLiteral("width 0 %1 %2\n")
                                       .arg(f - 1)
                                       .arg(fieldDefs()[size_t(f - 1)].width * 256)));
    }

    void emptyRegisterGivesHeadingRowOnly() {
        ProgramFolder pf;
        const QString book = pf.path() + "/x.xls";
        std::vector<int> progress;
        exportTo(pf, book, &progress);
        QVERIFY(progress.empty());
        const auto cells = freexlCells(book);
        QCOMPARE(int(cells.size()), 1);
        QCOMPARE(cells[0][0], QStringLiteral("序号"));
        const QString facts = xtest::xlrdFacts(book);
        if (!facts.isEmpty())
            QVERIFY(facts.contains(QStringLiteral("cell 0 0 21 text 2 1 1 | 备注")));
    }

    void failuresAndCancelWriteNothing() {
        ProgramFolder pf;
        QVERIFY(writeRecords(pf.file(names::kRegister), sample::generate(20, 3)));
        const QByteArray before = pf.read(names::kRegister);
        {  // not a table
            ScriptedDialogs d;
            d.expectWarning(msg::kChooseRegister);
            exportRegister(pf.path(), pf.path() + "/nothing.wav", d, {});
            QVERIFY(d.done());
        }
        {  // the spreadsheet cannot be created
            ScriptedDialogs d;
            d.expectWarning(msg::kNoSpreadsheet);
            bool started = false;
            exportRegister(
                pf.path(), pf.file(names::kRegister), d, {}, [&] { started = true; },
                [] { return std::unique_ptr<Spreadsheet>(); });
            QVERIFY(d.done());
            QVERIFY(!started);
        }
        {  // save dialog cancelled
            ScriptedDialogs d;
            d.expectSave(QString());
            exportRegister(pf.path(), pf.file(names::kRegister), d, {});
            QVERIFY(d.done());
        }
        {  // a save that fails is reported
            ScriptedDialogs d;
            d.expectSave(pf.path() + "/no/such/folder/x.xls");
            d.expectWarning(msg::kSaveFailed);
            exportRegister(pf.path(), pf.file(names::kRegister), d, {});
            QVERIFY(d.done());
        }
        QCOMPARE(pf.read(names::kRegister), before);
        for (const QString& n : {names::kExportCopy, names::kExportSorted})
            QVERIFY(!files::exists(pf.file(n)));
        QCOMPARE(QDir(pf.path()).entryList({"*.xls"}, QDir::Files).size(), 0);
    }

    void resultExportRemovesItsWorkingFiles() {
        ProgramFolder pf;
        QVERIFY(writeRecords(pf.file(names::kQueryResult),
                             {person("3", {{F性别, "1"}}), person("1", {{F性别, "2"}})}));
        ScriptedDialogs d;
        const QString book = pf.path() + "/r.xls";
        d.expectSave(book);
        int shown = 0;
        exportQueryResult(pf.path(), d, {}, [&] { ++shown; });
        QVERIFY(d.done());
        QCOMPARE(shown, 1);
        QVERIFY(!files::exists(pf.file(names::kQueryResult)));
        QVERIFY(!files::exists(pf.file(names::kSorted)));
        const auto cells = freexlCells(book);
        QCOMPARE(int(cells.size()), 3);
        QCOMPARE(cells[1][F性别 - 1], QStringLiteral("女"));

        ScriptedDialogs fail;
        fail.expectWarning(msg::kNoSpreadsheet);
        exportQueryResult(
            pf.path(), fail, {}, [&] { ++shown; }, [] { return std::unique_ptr<Spreadsheet>(); });
        QVERIFY(fail.done());
        QCOMPARE(shown, 1);
    }

    void textTooLongForACellIsRefusedByName() {
        // Neither kind of workbook holds it: nothing written, the person and field named.
        const std::string address(size_t(exchange::kMaxCellText) + 1, 'x');
        for (const QString& kind : {QStringLiteral("xls"), QStringLiteral("xlsx")}) {
            ProgramFolder pf;
            QVERIFY(writeRecords(pf.file(names::kQueryResult),
                                 {person("7", {{F姓名, "张三"}, {F房屋详址, address.c_str()}})}));
            const QString book = pf.path() + "/long." + kind;
            ScriptedDialogs d;
            d.expectSave(book);
            d.expectWarning(QStringLiteral(
                "序号为7的张三的“房屋详址”超过32767个字，表格的一格存不下，没有导出。请先改短！"));
            exportQueryResult(pf.path(), d, {});
            QVERIFY(d.done());
            QVERIFY(!files::exists(book));
        }
    }

    void importConvertsNamesAndMatchesColumnsByHeading() {
        ProgramFolder pf;
        // A record from before the import holding a name is converted too.
        QVERIFY(writeRecords(pf.file(names::kRegister), {person("1", {{F与户主关系, "其他"}})}));
        const QString book = pf.path() + "/in.xls";
        QVERIFY(xtest::writeBook(book, {{QStringLiteral("Sheet1"),
                                         {{"姓名", "说明", "性别", "民族", "序号", "性别"},
                                          {"张三", "x", "男", "汉族", "7", "女"},
                                          {"李四", "y", "", "汉", "8", "2"},
                                          {"", "", "", "", "", ""},
                                          {"王五", "", "", "汉族 ", "9", "本人"}}}}));
        ScriptedDialogs d;
        d.expectNotice(msg::kImported);
        QVERIFY(importWorkbook(requestFor(pf, book), d));
        QVERIFY(d.done());
        const auto rs = records(pf.file(names::kRegister));
        QCOMPARE(int(rs.size()), 4);
        QCOMPARE(rs[0][F与户主关系 - 1], std::string("11"));
        QCOMPARE(rs[1][F姓名 - 1], gb("张三"));
        QCOMPARE(rs[1][F序号 - 1], std::string("7"));
        QCOMPARE(rs[1][F性别 - 1], std::string("2"));  // the later column of the same heading
        QCOMPARE(rs[1][F民族 - 1], std::string("1"));
        QCOMPARE(rs[1][F房屋详址 - 1], std::string());
        QCOMPARE(rs[2][F民族 - 1], gb("汉"));
        QCOMPARE(rs[2][F性别 - 1], std::string("2"));
        QCOMPARE(rs[3][F民族 - 1], gb("汉族 "));
        QCOMPARE(rs[3][F性别 - 1], gb("本人"));  // a name of another table stays

        // The same workbook again appends everyone again.
        ScriptedDialogs again;
        again.expectNotice(msg::kImported);
        QVERIFY(importWorkbook(requestFor(pf, book), again));
        QCOMPARE(int(records(pf.file(names::kRegister)).size()), 7);
    }

    void headingRowOnlyImportsNothingButConverts() {
        ProgramFolder pf;
        QVERIFY(writeRecords(pf.file(names::kRegister), {person("1", {{F性别, "女"}})}));
        const QString book = pf.path() + "/in.xls";
        QVERIFY(xtest::writeBook(book, {{QStringLiteral("sheet1"), {{"序号", "姓名"}}}}));
        ScriptedDialogs d;
        d.expectNotice(msg::kImported);
        QVERIFY(importWorkbook(requestFor(pf, book), d));
        const auto rs = records(pf.file(names::kRegister));
        QCOMPARE(int(rs.size()), 1);
        QCOMPARE(rs[0][F性别 - 1], std::string("2"));
    }

    void importIntoAnotherTableConvertsTheRegister() {
        ProgramFolder pf;
        QVERIFY(writeRecords(pf.file(names::kRegister), {person("1", {{F性别, "男"}})}));
        const QString other = pf.path() + "/other.wav";
        QVERIFY(writeRecords(other, {}));
        const QString book = pf.path() + "/in.xls";
        QVERIFY(
            xtest::writeBook(book, {{QStringLiteral("Sheet1"), {{"序号", "性别"}, {"5", "女"}}}}));
        ImportRequest r = requestFor(pf, book);
        r.storePath = other;
        ScriptedDialogs d;
        d.expectNotice(msg::kImported);
        QVERIFY(importWorkbook(r, d));
        QCOMPARE(records(other).at(0)[F性别 - 1], gb("女"));
        QCOMPARE(records(pf.file(names::kRegister)).at(0)[F性别 - 1], std::string("1"));
    }

    void badInputChangesNothing_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("message");
        QTest::newRow("not a workbook") << "text" << msg::kOpenWorkbook;
        QTest::newRow("damaged workbook") << "damaged" << msg::kOpenWorkbook;
        QTest::newRow("no workbook chosen") << "none" << msg::kOpenWorkbook;
        QTest::newRow("no sheet1") << "nosheet1" << msg::kNoSheet1;
        QTest::newRow("empty sheet1") << "empty" << msg::kEmptySheet;
        QTest::newRow("register is no register") << "badstore" << msg::kOpenRegister;
        QTest::newRow("no headings listed") << "noheadings" << msg::kOpenWorkbook;
    }
    void badInputChangesNothing() {
        QFETCH(QString, kind);
        QFETCH(QString, message);
        ProgramFolder pf;
        QVERIFY(writeRecords(pf.file(names::kRegister), {person("1", {{F性别, "女"}})}));
        const QByteArray before = pf.read(names::kRegister);
        const QString good = pf.path() + "/good.xls";
        QVERIFY(
            xtest::writeBook(good, {{QStringLiteral("Sheet1"), {{"序号", "性别"}, {"5", "男"}}}}));
        ImportRequest r = requestFor(pf, good);
        QString book = pf.path() + "/in.xls";
        if (kind == "text") {
            QVERIFY(pf.write("in.xls", "序号,性别\n5,男\n"));
        } else if (kind == "damaged") {
            QByteArray bytes = xtest::fileBytes(good);
            bytes.truncate(bytes.size() / 2);
            QVERIFY(pf.write("in.xls", bytes));
        } else if (kind == "none") {
            book.clear();
        } else if (kind == "nosheet1") {
            QVERIFY(xtest::writeBook(book, {{QStringLiteral("名单"), {{"序号"}, {"5"}}},
                                            {QStringLiteral("sheet2"), {{"序号"}, {"6"}}}}));
        } else if (kind == "empty") {
            QVERIFY(xtest::writeBook(book, {{QStringLiteral("Sheet1"), {}}}));
        } else if (kind == "badstore") {
            book = good;
            QVERIFY(pf.write("bad.wav", "SQLite format 3"));
            r.storePath = pf.file("bad.wav");
        } else if (kind == "noheadings") {
            book = good;
            r.headings.clear();
        }
        r.workbookPath = book;
        ScriptedDialogs d;
        d.expectWarning(message);
        bool started = false;
        QVERIFY(!importWorkbook(r, d, [&] { started = true; }));
        QVERIFY2(d.done(), qPrintable(d.pendingText()));
        QVERIFY(!started);
        QCOMPARE(pf.read(names::kRegister), before);
    }

    void importThatCannotBeWrittenLeavesTheRegisterAsItWas() {
        // The disk runs full part-way through: a limit on file sizes, which holds for every
        // user, stops the register from growing.
#ifndef Q_OS_UNIX
        QSKIP("needs a POSIX file-size limit");
#else
        ProgramFolder pf;
        const std::vector<std::vector<std::string>> old = {person("1", {{F性别, "女"}}),
                                                           person("2", {{F民族, "其他"}})};
        QVERIFY(writeRecords(pf.file(names::kRegister), old));
        xtest::Sheet rows = {{"序号", "姓名", "性别", "备注"}};
        for (int i = 0; i < 4000; ++i)
            rows.push_back({QString::number(i + 10), "某某", "男", QString(60, QChar(u'注'))});
        const QString book = pf.path() + "/in.xls";
        QVERIFY(xtest::writeBook(book, {{QStringLiteral("Sheet1"), rows}}));
        const ImportRequest request = requestFor(pf, book);

        struct Limit {
            rlimit saved{};
            explicit Limit(rlim_t bytes) {
                std::signal(SIGXFSZ, SIG_IGN);
                getrlimit(RLIMIT_FSIZE, &saved);
                rlimit l = saved;
                l.rlim_cur = bytes;
                setrlimit(RLIMIT_FSIZE, &l);
            }
            ~Limit() { setrlimit(RLIMIT_FSIZE, &saved); }
        };
        ScriptedDialogs d;
        d.expectWarning(msg::kImportFailed);
        bool ok;
        {
            // Room for the reader's copy of the workbook, not for the rows in the register.
            Limit limit(rlim_t(files::size(book) + 65536));
            ok = importWorkbook(request, d);
        }
        QVERIFY(!ok);
        QVERIFY2(d.done(), qPrintable(d.pendingText()));
        // Nothing of the import, not even the conversion of the old records, stayed.
        QVERIFY(records(pf.file(names::kRegister)) == old);
#endif
    }

    void headingReaderLimitsAndStates() {
        QTemporaryDir dir;
        const QString wide = dir.path() + "/wide.xls";
        QStringList heads;
        for (int i = 0; i < 27; ++i) heads << QStringLiteral("h%1").arg(i);
        QVERIFY(xtest::writeBook(wide, {{QStringLiteral("Sheet1"), {heads}}}));
        QCOMPARE(readHeadings(wide).status, ReadStatus::TooManyColumns);
        heads.removeLast();
        QVERIFY(xtest::writeBook(wide, {{QStringLiteral("Sheet1"), {heads}}}));
        QCOMPARE(readHeadings(wide).headings.size(), size_t(26));
        // Headings come from the first worksheet, whatever its name.
        const QString two = dir.path() + "/two.xls";
        QVERIFY(xtest::writeBook(two, {{QStringLiteral("名单"), {{"姓名"}}},
                                       {QStringLiteral("SHEET1"), {{"序号"}, {"1"}}}}));
        QCOMPARE(readHeadings(two).headings, std::vector<std::string>{gb("姓名")});
        QCOMPARE(readRows(two, 1).rows.size(), size_t(1));
        QCOMPARE(readHeadings(dir.path() + "/missing.xls").status, ReadStatus::NotWorkbook);
    }

    void cellTextRules() {
        QCOMPARE(numberText(1), std::string("1"));
        QCOMPARE(numberText(19800101), std::string("19800101"));
        QCOMPARE(numberText(0.1 + 0.2), std::string("0.3"));
        QCOMPARE(numberText(110101198001011234.0), std::string("1.10101198001e+17"));
        QCOMPARE(dateText("1980-01-02"), gb("1980年1月2日"));
        QCOMPARE(dateText("1980-01-02 00:00:00"), gb("1980年1月2日"));
        QCOMPARE(dateText("1980-01-02 08:00:00"), gb("1980年1月2日8时"));
        QCOMPARE(dateText("1980-01-02 08:05:00"), gb("1980年1月2日8时5分"));
        QCOMPARE(dateText("1980-01-02 08:00:09"), gb("1980年1月2日8时0分9秒"));
    }
};

QTEST_GUILESS_MAIN(TestTransfer)
#include "tst_transfer.moc"

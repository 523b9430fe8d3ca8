// The .xls writer and reader on their own: what other readers see in our workbooks, cell kinds
// written by other programs, formula results, and damaged files that must never crash.
#include <freexl.h>
#include <QDir>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include "common/residentmemory.h"
#include "common/workbookfacts.h"
#include "core/edit/transfer.h"
#include "core/register/person.h"
#include "core/register/text.h"
#include "core/workbook/biff8.h"
#include "core/workbook/tablewriter.h"
#include "core/workbook/workbookreader.h"

using namespace exchange;
using reg::gb;

namespace {

const QString kFixtures = QStringLiteral(HJ_WORKBOOK_TEST_DIR "/fixtures");

QByteArray record(uint16_t id, const QByteArray& body) {
    QByteArray r;
    r.append(char(id & 0xFF)).append(char(id >> 8));
    r.append(char(body.size() & 0xFF)).append(char(body.size() >> 8));
    return r + body;
}

QByteArray le16(unsigned v) {
    QByteArray b;
    b.append(char(v & 0xFF)).append(char((v >> 8) & 0xFF));
    return b;
}

// A FORMULA record at (row, col) with an 8-byte cached result and a one-token formula.
QByteArray formula(unsigned row, unsigned col, const QByteArray& result) {
    QByteArray body = le16(row) + le16(col) + le16(15) + result + le16(0) + QByteArray(4, '\0');
    body += le16(1) + QByteArray(1, '\x17');  // cce 1; the token is never evaluated
    return record(0x0006, body);
}

QByteArray specialResult(uint8_t kind, uint8_t value = 0) {
    QByteArray v(8, '\0');
    v[0] = char(kind);
    v[2] = char(value);
    v[6] = char(0xFF);
    v[7] = char(0xFF);
    return v;
}

QByteArray numberResult(double d) {
    QByteArray v(8, '\0');
    std::memcpy(v.data(), &d, 8);
    return v;
}

// Inserts sheet records just before the WINDOW2 record of the last sheet of a stream written by
// our writer; nothing before the last sheet moves, so no offset changes.
QByteArray insertIntoLastSheet(QByteArray stream, const QByteArray& records) {
    qsizetype at = 0, window2 = -1;
    while (at + 4 <= stream.size()) {
        const unsigned id = uint8_t(stream[at]) | (uint8_t(stream[at + 1]) << 8);
        const unsigned len = uint8_t(stream[at + 2]) | (uint8_t(stream[at + 3]) << 8);
        if (id == 0x023E) window2 = at;
        if (id == 0 && len == 0) break;  // padding
        at += 4 + len;
    }
    stream.insert(window2, records);
    return stream;
}

}  // namespace

class TestWorkbook : public QObject {
    Q_OBJECT

  private slots:
    void sharedStringsSurviveContinueRecords() {
        // Enough long texts, wide and narrow, that strings are split across CONTINUE records.
        QTemporaryDir dir;
        const QString path = dir.path() + "/many.xls";
        Biff8Spreadsheet book;
        QVERIFY(book.addWorkbook());
        std::vector<QString> texts;
        for (int i = 0; i < 3000; ++i) {
            QString t = (i % 3 == 0) ? QStringLiteral("序号𠮷王䶮%1").arg(i).repeated(1 + i % 40)
                                     : QStringLiteral("latin-é-%1 ").arg(i).repeated(1 + i % 50);
            texts.push_back(t);
            book.range("a" + std::to_string(i + 1)).setValue(t);
            book.range("b" + std::to_string(i + 1)).setValue(texts[size_t(i / 2)]);
        }
        QVERIFY(book.saveAs(path));
        const void* h = nullptr;
        QCOMPARE(freexl_open(QFile::encodeName(path).constData(), &h), FREEXL_OK);
        freexl_select_active_worksheet(h, 0);
        for (unsigned r = 0; r < 3000; ++r) {
            FreeXL_CellValue a, b;
            QCOMPARE(freexl_get_cell_value(h, r, 0, &a), FREEXL_OK);
            QCOMPARE(freexl_get_cell_value(h, r, 1, &b), FREEXL_OK);
            QCOMPARE(a.type, uint8_t(FREEXL_CELL_SST_TEXT));
            QCOMPARE(QString::fromUtf8(a.value.text_value), texts[r]);
            QCOMPARE(QString::fromUtf8(b.value.text_value), texts[r / 2]);
        }
        freexl_close(h);
        const QString facts = xtest::xlrdFacts(path);
        if (!facts.isEmpty()) QVERIFY(facts.contains(QStringLiteral("sheet Sheet1 3000 2\n")));
    }

    void templateHasHeadingsTextColumnsAndNotes() {
        QTemporaryDir dir;
        const QString path = dir.path() + "/t.xls";
        QVERIFY(writeTemplate(path));
        const HeadingList heads = readHeadings(path);
        QCOMPARE(heads.status, ReadStatus::Ok);
        QCOMPARE(heads.headings, reg::fieldNames());
        // Filled in as the template asks, it imports: the rows below the headings are its rows.
        QCOMPARE(readRows(path, reg::kFieldCount).rows.size(), size_t(0));
        const QString facts = xtest::xlrdFacts(path);
        if (facts.isEmpty()) QSKIP("python3-xlrd is not installed");
        QVERIFY(facts.contains(QStringLiteral("sheet Sheet1 1 22\n")));
        QVERIFY(facts.contains(QStringLiteral("sheet 说明 ")));
        for (const reg::CodeTable& t : reg::codeTables())
            QVERIFY2(facts.contains(reg::fromGb(t.names.back())), t.name.c_str());
    }

    void tablesGoOnInSheetsWithTheSameHeadings_data() {
        QTest::addColumn<int>("rows");
        QTest::addColumn<QStringList>("sheets");  // "name rows columns" as xlrd counts them
        QTest::newRow("no rows") << 0 << QStringList{"Sheet1 1 2"};
        QTest::newRow("one full sheet") << 3 << QStringList{"Sheet1 4 2"};
        QTest::newRow("one row more") << 4 << QStringList{"Sheet1 4 2", "Sheet2 2 2"};
        QTest::newRow("three sheets") << 7 << QStringList{"Sheet1 4 2", "Sheet2 4 2", "Sheet3 2 2"};
    }
    void tablesGoOnInSheetsWithTheSameHeadings() {
        QFETCH(int, rows);
        QFETCH(QStringList, sheets);
        QTemporaryDir dir;
        const QString path = dir.path() + "/t.xls";
        Table table;
        table.columns = {{QStringLiteral("序号"), 8}, {QStringLiteral("说明"), 30}};
        table.rows = rows;
        // A value that begins with the text mark keeps it.
        table.cell = [](long row, int column, QString& text) {
            text += column == 0 ? QString::number(row + 1) : QStringLiteral("'备注%1").arg(row);
        };
        std::vector<int> progress;
        Biff8Spreadsheet book;
        QVERIFY(book.addWorkbook());
        QVERIFY(writeTable(book, table, 3, [&](int p) { progress.push_back(p); }));
        QVERIFY(saveWorkbook(book, path));
        QVERIFY(std::is_sorted(progress.begin(), progress.end()));
        QCOMPARE(progress.empty() ? 100 : progress.back(), 100);
        const QString facts = xtest::xlrdFacts(path);
        if (facts.isEmpty()) QSKIP("python3-xlrd is not installed");
        QCOMPARE(facts.count(QStringLiteral("sheet ")), sheets.size());
        for (int s = 0; s < sheets.size(); ++s) {
            QVERIFY2(facts.contains(QStringLiteral("sheet %1\n").arg(sheets[s])),
                     qPrintable(facts));
            QVERIFY(facts.contains(QStringLiteral("cell %1 0 1 text 0 2 0 | 说明\n").arg(s)));
            QVERIFY(facts.contains(QStringLiteral("width %1 1 7680\n").arg(s)));
        }
        if (rows > 0) QVERIFY(facts.contains(QStringLiteral("cell 0 1 1 text 0 2 0 | '备注0\n")));
    }

    void cellKindsWrittenByAnotherProgram_data() {
        QTest::addColumn<QString>("name");
        QTest::newRow("xls") << "kinds.xls";
        QTest::newRow("xlsx") << "kinds.xlsx";
    }
    void cellKindsWrittenByAnotherProgram() {
        // Made by LibreOffice from kinds.fods: a formula, dates, a truth value shown as a number
        // format, a boolean formula, an identity number stored as a number, an empty formula.
        QFETCH(QString, name);
        const QString path = kFixtures + "/" + name;
        const HeadingList heads = readHeadings(path);
        QCOMPARE(heads.status, ReadStatus::Ok);
        QCOMPARE(heads.headings.size(), size_t(7));
        const RowList rows = readRows(path, 7);
        QCOMPARE(rows.status, ReadStatus::Ok);
        QCOMPARE(rows.rows.size(), size_t(2));
        const auto& a = rows.rows[0];
        const auto& b = rows.rows[1];
        QCOMPARE(a[0], std::string("2"));  // =1+1, its cached result
        QCOMPARE(a[1], gb("张三"));
        QCOMPARE(a[2], gb("1980年1月2日"));
        QCOMPARE(a[4], std::string("1.10101198001e+17"));  // a number loses digits, as designed
        QCOMPARE(a[5], std::string("2.5"));
        QCOMPARE(b[2], gb("1980年1月2日8时5分"));
        QCOMPARE(b[3], gb("假"));  // =1=2
        QCOMPARE(b[4], std::string("110101198001011234"));
        QCOMPARE(b[5], std::string());  // ="" is empty indeed
    }

    void formulaResultsAndTruthValuesAreRead() {
        QTemporaryDir dir;
        Biff8Spreadsheet book;
        QVERIFY(book.addWorkbook());
        for (const char* cell : {"a1", "b1", "c1", "d1", "e1", "f1"})
            book.range(cell).setValue("h");
        book.range("a2").setValue(QStringLiteral("x"));
        QByteArray stringBody = le16(3) + QByteArray(1, '\x01');
        for (QChar c : QStringLiteral("王小明")) stringBody += le16(c.unicode());
        QByteArray boolerr = le16(1) + le16(3) + le16(15);
        boolerr.append(char(1)).append(char(0));
        QByteArray error = le16(1) + le16(4) + le16(15);
        error.append(char(0x07)).append(char(1));
        const QByteArray extra = formula(1, 1, specialResult(0)) + record(0x0207, stringBody) +
                                 formula(1, 2, numberResult(19800101)) + record(0x0205, boolerr) +
                                 record(0x0205, error) + formula(1, 5, specialResult(1, 1));
        const QString path = dir.path() + "/f.xls";
        QVERIFY(writeCompoundFile(path, insertIntoLastSheet(book.workbookStream(), extra)));
        const RowList rows = readRows(path, 6);
        QCOMPARE(rows.status, ReadStatus::Ok);
        QCOMPARE(rows.rows.size(), size_t(1));
        const auto& r = rows.rows[0];
        QCOMPARE(r[0], std::string("x"));
        QCOMPARE(r[1], gb("王小明"));
        QCOMPARE(r[2], std::string("19800101"));
        QCOMPARE(r[3], gb("真"));
        QCOMPARE(r[4], std::string("#DIV/0!"));
        QCOMPARE(r[5], gb("真"));

        // A string result whose STRING record is missing is refused, not read as empty.
        const QString broken = dir.path() + "/broken.xls";
        QVERIFY(writeCompoundFile(
            broken, insertIntoLastSheet(book.workbookStream(), formula(1, 1, specialResult(0)))));
        QCOMPARE(readRows(broken, 6).status, ReadStatus::NotWorkbook);
    }

    void libreOfficeOpensAnExport_data() {
        QTest::addColumn<QString>("kind");
        QTest::newRow("xls") << QStringLiteral("xls");
        QTest::newRow("xlsx") << QStringLiteral("xlsx");
    }
    void libreOfficeOpensAnExport() {
        QFETCH(QString, kind);
        const QString soffice = QStandardPaths::findExecutable(QStringLiteral("soffice"));
        if (soffice.isEmpty()) QSKIP("LibreOffice (libreoffice-calc-nogui) is not installed");
        QTemporaryDir dir;
        Biff8Spreadsheet book;
        QVERIFY(book.addWorkbook());
        book.range("a1").setValue(QStringLiteral("公民身份号码"));
        book.range("b1").setValue(QStringLiteral("姓名"));
        book.range("a2").setValue(QStringLiteral("'110101198001011234"));
        book.range("b2").setValue(QStringLiteral("王䶮"));
        book.range("a3").setValue(QStringLiteral("'00012"));
        const QString path = dir.path() + "/x." + kind;
        QVERIFY(book.saveAs(path));
        QProcess p;
        p.start(soffice, {"-env:UserInstallation=file://" + dir.path() + "/profile", "--headless",
                          "--convert-to", "csv:Text - txt - csv (StarCalc):44,34,76,1", "--outdir",
                          dir.path(), path});
        QVERIFY(p.waitForFinished(120000));
        // LibreOffice quotes the cells it read as text.
        const QString csv = QString::fromUtf8(xtest::fileBytes(dir.path() + "/x.csv"));
        QCOMPARE(csv,
                 QStringLiteral(
                     "\"公民身份号码\",\"姓名\"\n\"110101198001011234\",\"王䶮\"\n\"00012\",\n"));
    }

    void workbooksThatBrokeTheReaderAreRefused() {
        // Found by fuzzing: a compound-file directory entry with a huge name length, a shared
        // string longer than its table, a sheet with two DIMENSIONS records. Each made the
        // library behind the reader read or free memory it did not own.
        const QStringList found = QDir(kFixtures + "/damaged").entryList({"*.xls"}, QDir::Files);
        QVERIFY(found.size() >= 3);
        for (const QString& name : found) {
            const QString path = kFixtures + "/damaged/" + name;
            QCOMPARE(readHeadings(path).status, ReadStatus::NotWorkbook);
            QCOMPARE(readRows(path, 3).status, ReadStatus::NotWorkbook);
        }
    }

    void streamsFreeXlEndsEarlyAreRefused() {
        // Found by fuzzing: past 4 KiB, FreeXL ends its pass at a record of kind 0 and length 0
        // or at one longer than its buffer; the sheets it never reached were then given cells
        // over those of the sheet read last, which were never freed.
        const auto bof = [](unsigned kind) {
            return record(0x0809, le16(0x0600) + le16(kind) + QByteArray(12, '\0'));
        };
        const auto sheetEntry = [](qsizetype offset, const QByteArray& name) {
            return record(0x0085, le16(unsigned(offset)) + le16(unsigned(offset >> 16)) + le16(0) +
                                      char(name.size()) + char(0) + name);
        };
        const QByteArray dimensions =
            record(0x0200, QByteArray(4, '\0') + le16(2) + le16(0) + le16(0) + le16(2) + le16(0));
        const QByteArray filler = record(0x00E1, QByteArray(4200, '\0'));
        const QByteArray eof = record(0x000A, {});
        struct Case {
            const char* name;
            QByteArray first, between, second;
            bool refused;
        };
        const QByteArray full = bof(0x10) + dimensions + filler + eof;
        const QByteArray bare = bof(0x10) + filler + eof;
        const QByteArray other = bof(0x10) + dimensions + eof;
        for (const Case& k :
             {Case{"sound", full, {}, other, false},
              Case{"zero record", full, record(0, {}), other, true},
              Case{"record past the buffer", full, record(0x00E1, QByteArray(9000, '\0')), other,
                   true},
              Case{"padding before a sheet", bare, QByteArray(8, '\0'), {}, true}}) {
            const qsizetype globals = 20 + 2 * (4 + 14) + 4;
            const qsizetype second = globals + k.first.size() + k.between.size();
            const QByteArray stream = bof(0x05) + sheetEntry(globals, "Sheet1") +
                                      sheetEntry(second, "Sheet2") + eof + k.first + k.between +
                                      k.second;
            QTemporaryDir dir;
            const QString path = dir.path() + "/w.xls";
            QVERIFY(writeCompoundFile(path, stream, false));
            QVERIFY2((readHeadings(path).status == ReadStatus::NotWorkbook) == k.refused, k.name);
            QVERIFY2((readRows(path, 2).status == ReadStatus::NotWorkbook) == k.refused, k.name);
        }
    }

    void longTextsRoundTripOrAreRefused() {
        // A cell of an .xls holds 32,767 characters: a text over that is refused and no file is
        // left, never a broken workbook reported as saved. Texts of a few thousand characters,
        // spread over several records, come back whole (FreeXL gives up on longer ones).
        QTemporaryDir dir;
        struct Case {
            int length;
            QChar c;
            bool saved, readBack;
        };
        for (const Case& k : {Case{8000, 'a', true, true}, Case{8000, QChar(0x4E2D), true, true},
                              Case{kMaxCellText, QChar(0x6587), true, false},
                              Case{kMaxCellText + 1, 'c', false, false},
                              Case{70000, QChar(0x5B57), false, false}}) {
            const QString path = dir.path() + QStringLiteral("/t%1.xls").arg(k.length);
            const QString text(k.length, k.c);
            const bool saved =
                xtest::writeBook(path, {{QStringLiteral("Sheet1"), {{"说明"}, {text}}}});
            QCOMPARE(saved, k.saved);
            QCOMPARE(QFile::exists(path), k.saved);
            if (!k.readBack) continue;
            const RowList rows = readRows(path, 1);
            QCOMPARE(rows.status, ReadStatus::Ok);
            QCOMPARE(reg::fromGb(rows.rows.at(0).at(0)), text);
        }
    }

    void damagedWorkbooksKeepNoMemory() {
        // The fourth made the library drop a sheet's cells without freeing them, tens of
        // megabytes a read: a clerk retrying such a file made the program grow until it swapped.
        if (!xtest::kResidentSizeMeaningful) QSKIP("the leak checker judges this build");
        for (const QString& name : QDir(kFixtures + "/damaged").entryList({"*.xls"}, QDir::Files)) {
            const QString path = kFixtures + "/damaged/" + name;
            const long growth = xtest::growthOverReads(
                [&] {
                    readHeadings(path);
                    readRows(path, 3);
                },
                300, 8192);
            QVERIFY2(growth <= 8192, qPrintable(name + ": " + QString::number(growth) + " KiB"));
        }
    }

    void damagedWorkbooksNeverCrash() {
        // Bytes changed at random in a real workbook: every read ends with an answer.
        QTemporaryDir dir;
        const QString good = dir.path() + "/good.xls";
        QVERIFY(xtest::writeBook(
            good, {{QStringLiteral("Sheet1"), {{"序号", "姓名", "性别"}, {"1", "张三", "男"}}}}));
        const QByteArray bytes = xtest::fileBytes(good);
        QRandomGenerator rng(42);
        const QString bad = dir.path() + "/bad.xls";
        for (int round = 0; round < 300; ++round) {
            QByteArray copy = bytes;
            const int changes = 1 + int(rng.bounded(8));
            for (int k = 0; k < changes; ++k)
                copy[qsizetype(rng.bounded(uint32_t(copy.size())))] = char(rng.bounded(256));
            if (round % 10 == 0) copy.truncate(qsizetype(rng.bounded(uint32_t(copy.size()))));
            QFile f(bad);
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write(copy);
            f.close();
            const HeadingList h = readHeadings(bad);
            const RowList r = readRows(bad, 3);
            QVERIFY(h.status == ReadStatus::Ok || h.headings.empty());
            QVERIFY(r.status == ReadStatus::Ok || r.rows.empty());
        }
    }
};

QTEST_GUILESS_MAIN(TestWorkbook)
#include "tst_workbook.moc"

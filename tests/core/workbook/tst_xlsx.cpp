// The .xlsx reader on packages made here, part by part: every kind of cell read as the .xls
// reader reads it, and every bad package refused with an answer, never a crash or a hang.
#include <QFile>
#include <QFileInfo>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>
#include <functional>

#include "common/residentmemory.h"
#include "common/workbookfacts.h"
#include "core/register/text.h"
#include "core/workbook/biff8.h"
#include "core/workbook/workbookreader.h"
#include "core/workbook/xlsxreader.h"

using namespace exchange;
using reg::gb;

namespace {

// A .xlsx package around one sheet1 (and, unless empty, shared strings and styles), any part
// replaceable: the workbook's parts as a writer of them lays them out.
std::vector<std::pair<QString, QByteArray>> package(const QByteArray& sheetData,
                                                    const QByteArray& strings = {},
                                                    const QByteArray& styles = {},
                                                    const QByteArray& workbookPr = {}) {
    const QByteArray ns =
        R"( xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships")";
    const QByteArray rel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/";
    QByteArray rels = "<Relationships><Relationship Id=\"rId1\" Type=\"" + rel +
                      "worksheet\" Target=\"worksheets/sheet1.xml\"/>";
    std::vector<std::pair<QString, QByteArray>> parts = {
        {"_rels/.rels", "<Relationships><Relationship Id=\"rId1\" Type=\"" + rel +
                            "officeDocument\" Target=\"xl/workbook.xml\"/></Relationships>"},
        {"xl/workbook.xml", "<workbook" + ns + ">" + workbookPr +
                                "<sheets><sheet name=\"Sheet1\" sheetId=\"1\" r:id=\"rId1\"/>"
                                "</sheets></workbook>"},
        {"xl/worksheets/sheet1.xml",
         "<worksheet" + ns + "><sheetData>" + sheetData + "</sheetData></worksheet>"}};
    if (!strings.isEmpty()) {
        rels += "<Relationship Id=\"rId2\" Type=\"" + rel +
                "sharedStrings\" Target=\"sharedStrings.xml\"/>";
        parts.push_back({"xl/sharedStrings.xml", "<sst" + ns + ">" + strings + "</sst>"});
    }
    if (!styles.isEmpty()) {
        rels += "<Relationship Id=\"rId3\" Type=\"" + rel + "styles\" Target=\"styles.xml\"/>";
        parts.push_back({"xl/styles.xml", "<styleSheet" + ns + ">" + styles + "</styleSheet>"});
    }
    parts.push_back({"xl/_rels/workbook.xml.rels", rels + "</Relationships>"});
    return parts;
}

// Row 1 holds the headings; each cell of row 2 is one kind, with the text it reads as.
std::vector<std::pair<QByteArray, std::string>> kindCells() {
    return {
        {R"(<c t="s"><v>0</v></c>)", gb("张三")},
        {R"(<c t="s"><v>1</v></c>)", gb("王小明")},  // rich text, without its phonetic guide
        {R"(<c t="inlineStr"><is><r><t>甲</t></r><r><t xml:space="preserve"> 乙</t></r></is></c>)",
         gb("甲 乙")},
        {R"(<c><v>42</v></c>)", "42"},
        {R"(<c><v>2.5</v></c>)", "2.5"},
        {R"(<c><v>110101198001011234</v></c>)", "1.10101198001e+17"},
        {R"(<c><v>1E-3</v></c>)", "0.001"},
        {R"(<c t="b"><v>1</v></c>)", gb("真")},
        {R"(<c t="b"><f>1=2</f><v>0</v></c>)", gb("假")},
        {R"(<c t="e"><f>1/0</f><v>#DIV/0!</v></c>)", "#DIV/0!"},
        {R"(<c t="str"><f>"a"&amp;"b"</f><v>ab</v></c>)", "ab"},
        {R"(<c s="1"><v>29222</v></c>)", gb("1980年1月2日")},
        {R"(<c s="2"><v>29222.3368055556</v></c>)", gb("1980年1月2日8时5分")},
        {R"(<c s="3"><v>0.5</v></c>)", gb("1899年12月30日12时")},
        {R"(<c s="4"><v>29222</v></c>)", gb("1980年1月2日")},  // a custom date format
        {R"(<c s="5"><v>29222</v></c>)", "29222"},             // a custom number format
        {R"(<c t="d"><v>1980-01-02T08:05:00</v></c>)", gb("1980年1月2日8时5分")},
    };
}

// Two shared strings, the second rich text with a phonetic guide; the styles of kindCells().
const QByteArray kStrings =
    "<si><t>张三</t></si><si><r><t>王</t></r><r><t>小明</t></r>"
    "<rPh sb=\"0\" eb=\"1\"><t>wang</t></rPh></si>";
const QByteArray kStyles =
    R"(<numFmts><numFmt numFmtId="164" formatCode="yyyy&quot;年&quot;m&quot;月&quot;d&quot;日&quot;"/>)"
    R"(<numFmt numFmtId="165" formatCode="[Red]0.00_);&quot;day&quot;0"/></numFmts>)"
    R"(<cellXfs><xf numFmtId="0"/><xf numFmtId="14"/><xf numFmtId="22"/><xf numFmtId="21"/>)"
    R"(<xf numFmtId="164"/><xf numFmtId="165"/></cellXfs>)";

// The peak resident size, in KiB, while `read` runs, above the size before it.
long peakGrowthKiB(const std::function<void()>& read) {
    auto status = [](const char* field) {
        QFile f(QStringLiteral("/proc/self/status"));
        if (!f.open(QIODevice::ReadOnly)) return 0L;
        for (const QByteArray& line : f.readAll().split('\n'))
            if (line.startsWith(field))
                return line.mid(qsizetype(strlen(field))).trimmed().toLong();
        return 0L;
    };
    QFile reset(QStringLiteral("/proc/self/clear_refs"));  // the peak starts again from here
    if (!reset.open(QIODevice::WriteOnly) || reset.write("5") != 1) return -1;
    reset.close();
    const long before = status("VmRSS:");
    read();
    return status("VmHWM:") - before;
}

}  // namespace

class TestXlsx : public QObject {
    Q_OBJECT

  private slots:
    void cellsReadAsTheOlderFormatReadsThem() {
        const auto cells = kindCells();
        QByteArray head = "<row r=\"1\">", row = "<row r=\"2\">";
        for (size_t i = 0; i < cells.size(); ++i) {
            head +=
                "<c t=\"inlineStr\"><is><t>h" + QByteArray::number(qulonglong(i)) + "</t></is></c>";
            row += cells[i].first;
        }
        QTemporaryDir dir;
        const QString path = dir.path() + "/kinds.data";
        QVERIFY(
            xtest::writeZip(path, package(head + "</row>" + row + "</row>", kStrings, kStyles)));
        const HeadingList heads = readHeadings(path);
        QCOMPARE(heads.status, ReadStatus::Ok);
        QCOMPARE(heads.headings.size(), cells.size());
        const RowList rows = readRows(path, int(cells.size()));
        QCOMPARE(rows.status, ReadStatus::Ok);
        QCOMPARE(rows.rows.size(), size_t(1));
        for (size_t i = 0; i < cells.size(); ++i)
            QVERIFY2(rows.rows[0][i] == cells[i].second, cells[i].first.constData());
    }

    void badPackagesAreRefused_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("headings");  // ReadStatus of the heading reader
        QTest::addColumn<int>("rows");      // and of the row reader
        const int no = int(ReadStatus::NotWorkbook);
        QTest::newRow("not a zip") << "text" << no << no;
        QTest::newRow("a zip of no workbook") << "other" << no << no;
        QTest::newRow("sheet part missing") << "nosheet" << no << no;
        QTest::newRow("sheet part cut off") << "cut" << no << no;
        QTest::newRow("shared string index past the table") << "index" << no << no;
        QTest::newRow("entity expansion") << "entities" << no << no;
        QTest::newRow("formula without its result") << "formula" << no << no;
        QTest::newRow("rows out of order") << "order" << no << no;
        QTest::newRow("part inflating past the limit") << "bomb" << no << no;
        QTest::newRow("cells past column Z")
            << "wide" << int(ReadStatus::TooManyColumns) << int(ReadStatus::Ok);
        QTest::newRow("no sheet1")
            << "nosheet1" << int(ReadStatus::Ok) << int(ReadStatus::NoSheet1);
        QTest::newRow("empty sheet1")
            << "empty" << int(ReadStatus::EmptySheet) << int(ReadStatus::EmptySheet);
        QTest::newRow("a DOCTYPE without entities") << "doctype" << no << no;
        QTest::newRow("an entity no DOCTYPE declares") << "entity" << no << no;
        QTest::newRow("XML 1.1") << "version" << no << no;
    }
    void badPackagesAreRefused() {
        QFETCH(QString, kind);
        QFETCH(int, headings);
        QFETCH(int, rows);
        const QByteArray good = R"(<row r="1"><c t="inlineStr"><is><t>序号</t></is></c></row>)"
                                R"(<row r="2"><c><v>5</v></c></row>)";
        auto parts = package(good);
        QTemporaryDir dir;
        const QString path = dir.path() + "/in.xlsx";
        if (kind == "text") {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("PK\3\4 and then no zip at all");
        } else if (kind == "other") {
            parts = {{"readme.txt", "hello"}};
        } else if (kind == "nosheet") {
            parts.erase(parts.begin() + 2);
        } else if (kind == "cut") {
            parts[2].second.chop(20);
        } else if (kind == "index") {
            parts = package(R"(<row r="1"><c t="s"><v>3</v></c></row>)", "<si><t>x</t></si>");
        } else if (kind == "entities") {
            parts[2].second.prepend(
                R"(<!DOCTYPE w [<!ENTITY a "aaaaaaaaaa"><!ENTITY b "&a;&a;&a;&a;&a;&a;&a;&a;">]>)");
            parts[2].second.replace("序号", "&b;");
        } else if (kind == "formula") {
            parts = package(good + R"(<row r="3"><c><f>1+1</f></c></row>)");
        } else if (kind == "order") {
            parts = package(good + R"(<row r="2"><c><v>6</v></c></row>)");
        } else if (kind == "bomb") {
            parts = package(good + QByteArray(70 << 20, ' '));
        } else if (kind == "wide") {
            parts = package(good + R"(<row r="3"><c r="AA3"><v>1</v></c></row>)");
        } else if (kind == "nosheet1") {
            parts[1].second.replace("name=\"Sheet1\"", "name=\"名单\"");
        } else if (kind == "empty") {
            parts = package({});
        } else if (kind == "doctype") {
            parts[2].second.prepend("<!DOCTYPE worksheet>");
        } else if (kind == "entity") {
            parts[2].second.replace("序号", "&nbsp;");
        } else if (kind == "version") {
            parts[2].second.prepend("<?xml version=\"1.1\"?>");
        }
        if (kind != "text") QVERIFY(xtest::writeZip(path, parts));
        QCOMPARE(int(readHeadings(path).status), headings);
        const RowList read = readRows(path, 1);
        QCOMPARE(int(read.status), rows);
        if (read.status == ReadStatus::Ok) QCOMPARE(read.rows.size(), size_t(1));
        // Read again and again, a bad package keeps nothing (the bomb is slow to refuse).
        if (xtest::kResidentSizeMeaningful && kind != "bomb") {
            const long growth = xtest::growthOverReads(
                [&] {
                    readHeadings(path);
                    readRows(path, 1);
                },
                200, 4096);
            QVERIFY2(growth <= 4096, qPrintable(QString::number(growth) + " KiB"));
        }
    }

    void partsInOtherEncodingsReadAsTheirTexts() {
        // expat reads UTF-8 and UTF-16 itself; a part declared in another encoding is converted.
        const std::pair<const char*, QString> cases[] = {{"GBK", QStringLiteral("王小明")},
                                                         {"GB18030", QStringLiteral("王䶮𠮷")},
                                                         {"UTF-16", QStringLiteral("王䶮𠮷")}};
        for (const auto& [encoding, text] : cases) {
            const QByteArray body =
                "<sst xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"><si><t>" +
                text.toUtf8() + "</t></si></sst>";
            const QByteArray decl =
                QByteArray("<?xml version=\"1.0\" encoding=\"") + encoding + "\"?>";
            auto parts = package(R"(<row r="1"><c t="s"><v>0</v></c></row>)", "<si/>");
            QStringEncoder to(encoding);
            parts[3].second = to(QString::fromUtf8(decl + body));
            QTemporaryDir dir;
            const QString path = dir.path() + "/enc.xlsx";
            QVERIFY(xtest::writeZip(path, parts));
            const HeadingList heads = readHeadings(path);
            QCOMPARE(heads.status, ReadStatus::Ok);
            QVERIFY2(heads.headings == std::vector<std::string>{reg::toGb(text)}, encoding);
        }
    }

    void packagesThatGrowInMemoryAreRefusedSmall_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("columns");   // asked of the row reader
        QTest::addColumn<int>("headings");  // ReadStatus of the heading reader
        QTest::addColumn<int>("rows");      // and of the row reader
        const int no = int(ReadStatus::NotWorkbook), ok = int(ReadStatus::Ok);
        // Empty strings cost no bytes but their bookkeeping: 10 MB of them deflate to kilobytes.
        QTest::newRow("shared strings past their count") << "empty strings" << 1 << no << no;
        QTest::newRow("shared strings at their count") << "strings at count" << 1 << ok << ok;
        QTest::newRow("shared strings past their bytes") << "long strings" << 1 << no << no;
        // One long shared string copied into every cell of every row.
        QTest::newRow("a long shared string in every cell") << "copies" << 26 << ok << no;
        // Rows of one value each, 26 columns kept: the cells' bookkeeping is the cost.
        QTest::newRow("rows past their budget") << "rows" << 26 << ok << no;
        QTest::newRow("as many rows in fewer columns") << "rows" << 1 << ok << ok;
    }
    void packagesThatGrowInMemoryAreRefusedSmall() {
        QFETCH(QString, kind);
        QFETCH(int, columns);
        QFETCH(int, headings);
        QFETCH(int, rows);
        const QByteArray head = R"(<row r="1"><c t="s"><v>0</v></c></row>)";
        QByteArray strings, sheet = head + R"(<row r="2"><c><v>5</v></c></row>)";
        if (kind == "empty strings" || kind == "strings at count") {
            const int n = kMaxSharedStrings + (kind == "empty strings" ? 1 : 0);
            strings.reserve(qsizetype(n) * 5);
            for (int i = 0; i < n; ++i) strings += "<si/>";
        } else if (kind == "long strings") {
            // Distinct texts, so that the part deflates too little to trip the part's own limit.
            const qint64 each = 64;
            const qint64 n = kMaxSharedStringBytes / (each + kSharedStringCost) + 1;
            strings.reserve(qsizetype(n * (each + 16)));
            for (qint64 i = 0; i < n; ++i)
                strings += "<si><t>" +
                           QByteArray::number(i * 2654435761U, 36).repeated(each).left(each) +
                           "</t></si>";
        } else if (kind == "copies") {
            strings = "<si><t>" + QByteArray(1 << 20, 'x') + "</t></si>";
            QByteArray row;
            for (int c = 0; c < 26; ++c) row += R"(<c t="s"><v>0</v></c>)";
            for (int r = 3; r <= 100; ++r) sheet += "<row>" + row + "</row>";
        } else if (kind == "rows") {
            for (int r = 3; r <= 100000; ++r) sheet += "<row><c><v>1</v></c></row>";
        }
        if (strings.isEmpty()) strings = "<si/>";
        QTemporaryDir dir;
        const QString path = dir.path() + "/grows.xlsx";
        QVERIFY(xtest::writeZip(path, package(sheet, strings)));
        QVERIFY(QFileInfo(path).size() < (kind == "long strings" ? 64 << 20 : 1 << 20));
        HeadingList heads;
        RowList read;
        const long peak = peakGrowthKiB([&] {
            heads = readHeadings(path);
            read = readRows(path, columns);
        });
        QCOMPARE(int(heads.status), headings);
        QCOMPARE(int(read.status), rows);
        if (read.status == ReadStatus::Ok) QVERIFY(!read.rows.empty());
        // Refused before the memory is taken (how fast is bench_exchange's to say, not a test's).
        if (xtest::kResidentSizeMeaningful && peak >= 0)
            QVERIFY2(peak < (kind == "long strings" ? 160 : 96) * 1024,
                     qPrintable(QString::number(peak) + " KiB"));
    }

    void rowsKeepTheirNumbersPastBlankOnes() {
        // A blank line between persons is left out, and the rows after it keep their numbers.
        QTemporaryDir dir;
        for (const char* kind : {"xls", "xlsx"}) {
            const QString path = dir.path() + "/rows." + kind;
            QVERIFY(
                xtest::writeBook(path, {{QStringLiteral("Sheet1"),
                                         {{"序号", "姓名"}, {"1", "甲"}, {"", ""}, {"3", "丙"}}}}));
            const RowList read = readRows(path, 2);
            QCOMPARE(read.status, ReadStatus::Ok);
            QCOMPARE(read.rows.size(), size_t(2));
            QCOMPARE(read.rowNumbers, (std::vector<long>{2, 4}));
        }
    }

    void millionEmptyRowsReadAsNone() {
        // Formatting dragged to the last row leaves a row element for each; only the rows with
        // a value come in (speed and memory: bench_exchange).
        QByteArray sheet = R"(<row r="1"><c t="inlineStr"><is><t>序号</t></is></c></row>)";
        sheet.reserve(40 << 20);
        for (int r = 2; r < kMaxXlsxRows; ++r)
            sheet += "<row r=\"" + QByteArray::number(r) + "\" s=\"1\" customFormat=\"1\"/>";
        sheet += "<row r=\"1048576\"><c><v>7</v></c></row>";
        QTemporaryDir dir;
        const QString path = dir.path() + "/long.xlsx";
        QVERIFY(xtest::writeZip(path, package(sheet)));
        const RowList read = readRows(path, 1);
        QCOMPARE(read.status, ReadStatus::Ok);
        QCOMPARE(read.rows, std::vector<std::vector<std::string>>{{"7"}});
    }

    void writerChoosesTheKindByName() {
        QTemporaryDir dir;
        for (const QString name : {"a.xls", "b.XLSX", "c.xlsx"}) {
            const QString path = dir.path() + "/" + name;
            QVERIFY(xtest::writeBook(
                path, {{QStringLiteral("Sheet1"), {{"序号", "姓名"}, {"1", "王䶮"}}}}));
            QCOMPARE(xtest::fileBytes(path).startsWith("PK"),
                     name.endsWith("x", Qt::CaseInsensitive));
            const RowList read = readRows(path, 2);
            QCOMPARE(read.rows, (std::vector<std::vector<std::string>>{{"1", gb("王䶮")}}));
        }
        // A sheet longer than .xls holds is refused there and written as .xlsx.
        Biff8Spreadsheet book;
        QVERIFY(book.addWorkbook());
        book.range("a70000").setValue(QStringLiteral("x"));
        QVERIFY(!book.saveAs(dir.path() + "/long.xls"));
        QVERIFY(!QFile::exists(dir.path() + "/long.xls"));
        QVERIFY(book.saveAs(dir.path() + "/long.xlsx"));
    }
};

QTEST_GUILESS_MAIN(TestXlsx)
#include "tst_xlsx.moc"

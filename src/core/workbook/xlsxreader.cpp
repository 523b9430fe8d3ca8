#include "core/workbook/xlsxreader.h"

#include <minizip/unzip.h>

#include <QDate>
#include <QFile>
#include <QXmlStreamReader>
#include <algorithm>
#include <cmath>
#include <map>
#include <optional>
#include <vector>

#include "core/register/text.h"
#include "core/workbook/spreadsheet.h"

namespace exchange {

namespace {

constexpr qint64 kSmallPart = qint64(64) << 20;
constexpr int kMaxColumn = 16384;  // XFD, the last column a sheet has

// ---- The container ----

class Package {
  public:
    explicit Package(const QString& path)
        : zip_(path.isEmpty() ? nullptr : unzOpen64(QFile::encodeName(path).constData())) {}
    ~Package() {
        if (zip_) unzClose(zip_);
    }
    Package(const Package&) = delete;
    Package& operator=(const Package&) = delete;

    bool isOpen() const { return zip_ != nullptr; }
    // Part names are compared ignoring case, as the package format asks.
    bool has(const QString& name) {
        return zip_ && unzLocateFile(zip_, name.toUtf8().constData(), 2) == UNZ_OK;
    }

    // Streams the part through `token`, called at every token after the document's start.
    // False when the part is missing, damaged, inflates too far, carries a DTD (no part of a
    // workbook has one, and entity expansion starts there), or `token` answers false.
    template <class Token>
    bool parse(const QString& name, Token token) {
        unz_file_info64 info;
        if (!has(name) ||
            unzGetCurrentFileInfo64(zip_, &info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK ||
            unzOpenCurrentFile(zip_) != UNZ_OK)
            return false;
        const qint64 limit = std::min(
            kMaxPartBytes, std::max(kSmallPart, qint64(info.compressed_size) * kMaxPartRatio));
        QXmlStreamReader xml;
        QByteArray chunk(1 << 16, Qt::Uninitialized);
        qint64 total = 0;
        bool ok = true;
        for (;;) {
            const int n = unzReadCurrentFile(zip_, chunk.data(), unsigned(chunk.size()));
            if (n < 0 || (total += n) > limit) {
                ok = false;
                break;
            }
            if (n == 0) break;
            xml.addData(QByteArray(chunk.constData(), n));
            while (ok && !xml.atEnd()) {
                const QXmlStreamReader::TokenType t = xml.readNext();
                if (t == QXmlStreamReader::Invalid) break;
                if (t == QXmlStreamReader::DTD || t == QXmlStreamReader::EntityReference ||
                    !token(xml))
                    ok = false;
            }
            if (!ok ||
                (xml.hasError() && xml.error() != QXmlStreamReader::PrematureEndOfDocumentError)) {
                ok = false;
                break;
            }
        }
        // A part whose checksum does not match, or a cut-off document, is damaged.
        const bool crc = unzCloseCurrentFile(zip_) == UNZ_OK;
        return ok && crc && !xml.hasError();
    }

  private:
    unzFile zip_;
};

bool is(const QXmlStreamReader& xml, QStringView name) {
    return xml.name() == name;
}

// "xl/worksheets/sheet1.xml" from a relationship target, relative to `base` ("xl/") or absolute.
QString partName(const QString& base, QString target) {
    if (target.startsWith(u'/')) return target.mid(1);
    QString path = base + target;
    // "../" steps, which some writers use.
    for (qsizetype up; (up = path.indexOf(QLatin1String("/../"))) > 0;) {
        const qsizetype start = path.lastIndexOf(u'/', up - 1);
        path.remove(start + 1, up + 4 - start - 1);
    }
    return path;
}

// Relationship id -> part, and type suffix -> part, of one .rels part.
struct Relations {
    std::map<QString, QString> byId;
    std::map<QString, QString> byType;  // the last word of the type ("sharedStrings")
};

bool readRelations(Package& zip, const QString& rels, const QString& base, Relations& out) {
    return zip.parse(rels, [&](QXmlStreamReader& xml) {
        if (xml.isStartElement() && is(xml, u"Relationship")) {
            const auto a = xml.attributes();
            const QString target = partName(base, a.value(QLatin1String("Target")).toString());
            const QString type = a.value(QLatin1String("Type")).toString();
            out.byId[a.value(QLatin1String("Id")).toString()] = target;
            out.byType[type.mid(type.lastIndexOf(u'/') + 1)] = target;
        }
        return true;
    });
}

// ---- Cell values ----

enum class DateKind { None, Date, Time, DateTime };

// What a number format shows a number as.
DateKind classify(int id, const std::map<int, QString>& custom) {
    if ((id >= 14 && id <= 17) || (id >= 27 && id <= 36) || (id >= 50 && id <= 58))
        return DateKind::Date;
    if ((id >= 18 && id <= 21) || (id >= 45 && id <= 47)) return DateKind::Time;
    if (id == 22) return DateKind::DateTime;
    const auto it = custom.find(id);
    if (it == custom.end()) return DateKind::None;
    // The letters outside quoted texts, brackets ([Red], [$-804]) and escaped characters.
    QString letters;
    bool quoted = false, bracket = false;
    const QString& code = it->second;
    for (qsizetype i = 0; i < code.size(); ++i) {
        const QChar c = code[i];
        if (c == u'"')
            quoted = !quoted;
        else if (quoted)
            continue;
        else if (c == u'[')
            bracket = true;
        else if (c == u']')
            bracket = false;
        else if (c == u'\\' || c == u'_' || c == u'*')
            ++i;
        else if (!bracket)
            letters += c.toLower();
    }
    const bool date = letters.contains(u'y') || letters.contains(u'd');
    const bool time = letters.contains(u'h') || letters.contains(u's');
    if (date && time) return DateKind::DateTime;
    if (date || (letters.contains(u'm') && !time)) return DateKind::Date;
    return time ? DateKind::Time : DateKind::None;
}

struct Styles {
    std::vector<DateKind> xfs;  // by the cell's s attribute
    bool date1904 = false;
    DateKind of(int style) const {
        return style >= 0 && size_t(style) < xfs.size() ? xfs[size_t(style)] : DateKind::None;
    }
};

// The date text the .xls reader gives for the same cell.
std::optional<std::string> serialDate(double serial, DateKind kind, bool date1904) {
    if (!(serial >= 0 && serial < 2958466)) return std::nullopt;  // before 1900 or after 9999
    double day = std::floor(serial);
    qint64 seconds = std::llround((serial - day) * 86400);
    if (seconds >= 86400) seconds -= 86400, day += 1;
    QDate date;
    if (date1904)
        date = QDate(1904, 1, 1).addDays(qint64(day));
    else  // day 60 is the 29th of February 1900 that never was
        date = day < 61 ? QDate(1899, 12, 31).addDays(qint64(day))
                        : QDate(1899, 12, 30).addDays(qint64(day));
    char buffer[64];
    const int h = int(seconds / 3600), mi = int(seconds / 60 % 60), s = int(seconds % 60);
    if (kind == DateKind::Time)
        std::snprintf(buffer, sizeof buffer, "%02d:%02d:%02d", h, mi, s);
    else if (kind == DateKind::Date)
        std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", date.year(), date.month(),
                      date.day());
    else
        std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d", date.year(),
                      date.month(), date.day(), h, mi, s);
    return dateText(buffer);
}

struct CellIn {
    QString type;    // the t attribute
    int style = -1;  // the s attribute
    QString value;   // <v>, or the texts of <is>
    bool hasValue = false;
    bool hasFormula = false;

    // Ready for the next cell, keeping the texts' storage: a sheet has millions of cells.
    void start(QStringView t, int s) {
        type.resize(0);
        type.append(t);
        style = s;
        value.resize(0);
        hasValue = hasFormula = false;
    }
};

// The cell's text by the import's rules; nullopt when it cannot be read: a formula without its
// result (it would come in empty), an index past the shared strings, a number that is none.
std::optional<std::string> cellText(const CellIn& c, const std::vector<std::string>& strings,
                                    const Styles& styles) {
    if (c.type == u"inlineStr") return reg::toGb(c.value);
    if (!c.hasValue) {
        if (c.hasFormula) return std::nullopt;
        return std::string();
    }
    if (c.type == u"s") {
        bool ok = false;
        const qulonglong i = c.value.trimmed().toULongLong(&ok);
        if (!ok || i >= strings.size()) return std::nullopt;
        return strings[size_t(i)];
    }
    if (c.type == u"str" || c.type == u"e") return reg::toGb(c.value);
    if (c.type == u"b") return reg::gb(c.value.trimmed() == u"0" ? "假" : "真");
    if (c.type == u"d") {
        QString iso = c.value.trimmed();
        iso.replace(u'T', u' ');
        return dateText(iso.left(19).toStdString());
    }
    bool ok = false;
    const double number = c.value.trimmed().toDouble(&ok);
    if (!ok) return std::nullopt;
    if (const DateKind kind = styles.of(c.style); kind != DateKind::None)
        if (auto date = serialDate(number, kind, styles.date1904)) return date;
    // A whole number that the older format would store as an integer reads as its digits.
    if (number == std::floor(number) && std::fabs(number) < 2147483648.0)
        return std::to_string(qint64(number));
    return numberText(number);
}

// "AB12" -> column 27 (0-based); -1 when it names no column.
int columnOf(QStringView ref) {
    int column = 0;
    qsizetype i = 0;
    for (; i < ref.size() && ref[i].isLetter(); ++i) {
        const char16_t c = ref[i].toUpper().unicode();
        if (c < u'A' || c > u'Z') return -1;
        column = column * 26 + (c - u'A' + 1);
        if (column > kMaxColumn) return -1;
    }
    return column - 1;
}

// ---- The workbook ----

struct SheetRef {
    QString name;
    QString part;
};

struct Book {
    Package zip;
    std::vector<SheetRef> sheets;
    std::vector<std::string> strings;
    Styles styles;
    bool ok = false;

    explicit Book(const QString& path) : zip(path) { ok = zip.isOpen() && load(); }
    Book(const Book&) = delete;
    Book& operator=(const Book&) = delete;

    bool load() {
        Relations root;
        if (!readRelations(zip, QStringLiteral("_rels/.rels"), QString(), root)) return false;
        const auto doc = root.byType.find(QStringLiteral("officeDocument"));
        if (doc == root.byType.end()) return false;
        const QString workbook = doc->second;
        const QString base = workbook.left(workbook.lastIndexOf(u'/') + 1);
        Relations rels;
        const QString relsName = base + QStringLiteral("_rels/") +
                                 workbook.mid(workbook.lastIndexOf(u'/') + 1) +
                                 QStringLiteral(".rels");
        if (!readRelations(zip, relsName, base, rels)) return false;
        std::vector<std::pair<QString, QString>> named;  // name, relationship id
        const bool read = zip.parse(workbook, [&](QXmlStreamReader& xml) {
            if (!xml.isStartElement()) return true;
            const auto a = xml.attributes();
            if (is(xml, u"sheet")) {
                QString id;
                for (const auto& at : a)
                    if (at.name() == u"id") id = at.value().toString();
                named.emplace_back(a.value(QLatin1String("name")).toString(), id);
            } else if (is(xml, u"workbookPr")) {
                const auto v = a.value(QLatin1String("date1904"));
                styles.date1904 = v == u"1" || v == u"true";
            }
            return true;
        });
        if (!read || named.empty()) return false;
        for (const auto& [name, id] : named) {
            const auto it = rels.byId.find(id);
            if (it == rels.byId.end()) return false;
            sheets.push_back({name, it->second});
        }
        const auto sst = rels.byType.find(QStringLiteral("sharedStrings"));
        if (sst != rels.byType.end() && !readStrings(sst->second)) return false;
        const auto st = rels.byType.find(QStringLiteral("styles"));
        return st == rels.byType.end() || readStyles(st->second);
    }

    // Each <si> flattened: the texts of its runs, without the phonetic guides.
    bool readStrings(const QString& part) {
        QString text;
        int phonetic = 0;
        bool inText = false;
        return zip.parse(part, [&](QXmlStreamReader& xml) {
            if (xml.isStartElement()) {
                if (is(xml, u"si"))
                    text.clear();
                else if (is(xml, u"rPh"))
                    ++phonetic;
                else if (is(xml, u"t"))
                    inText = phonetic == 0;
            } else if (xml.isEndElement()) {
                if (is(xml, u"si"))
                    strings.push_back(reg::toGb(text));
                else if (is(xml, u"rPh"))
                    --phonetic;
                else if (is(xml, u"t"))
                    inText = false;
            } else if (xml.isCharacters() && inText) {
                text += xml.text();
            }
            return true;
        });
    }

    bool readStyles(const QString& part) {
        std::map<int, QString> custom;
        std::vector<int> formats;
        bool inCellXfs = false;
        const bool read = zip.parse(part, [&](QXmlStreamReader& xml) {
            if (xml.isStartElement()) {
                const auto a = xml.attributes();
                if (is(xml, u"numFmt"))
                    custom[a.value(QLatin1String("numFmtId")).toInt()] =
                        a.value(QLatin1String("formatCode")).toString();
                else if (is(xml, u"cellXfs"))
                    inCellXfs = true;
                else if (is(xml, u"xf") && inCellXfs)
                    formats.push_back(a.value(QLatin1String("numFmtId")).toInt());
            } else if (xml.isEndElement() && is(xml, u"cellXfs")) {
                inCellXfs = false;
            }
            return true;
        });
        for (int id : formats) styles.xfs.push_back(classify(id, custom));
        return read;
    }

    // Reads a sheet: its extent (rows up to the last cell, columns up to the rightmost cell)
    // and, through `row`, every row with its first `keep` cells as texts. A row that holds no
    // cell element at all is never visited, so a million empty rows cost only their parsing.
    template <class Row>
    bool readSheet(size_t index, int keep, int& rows, int& columns, Row row) {
        rows = columns = 0;
        CellIn cell;
        int r = -1, c = -1, lastRow = -1;
        bool inCell = false, inValue = false, inInline = false;
        int phonetic = 0;
        std::vector<std::string> texts;
        bool any = false;
        auto flush = [&]() {
            if (r < 0 || !any) return true;
            any = false;
            return row(r, texts);
        };
        return zip.parse(sheets[index].part, [&](QXmlStreamReader& xml) {
            if (xml.isStartElement()) {
                const auto a = xml.attributes();
                if (is(xml, u"row")) {
                    if (!flush()) return false;
                    const auto ref = a.value(QLatin1String("r"));
                    bool ok = true;
                    r = ref.isEmpty() ? lastRow + 1 : ref.toInt(&ok) - 1;
                    if (!ok || r <= lastRow || r >= kMaxXlsxRows) return false;
                    lastRow = r;
                    c = -1;
                    texts.assign(size_t(keep), std::string());
                } else if (is(xml, u"c")) {
                    if (r < 0) return false;
                    const auto ref = a.value(QLatin1String("r"));
                    c = ref.isEmpty() ? c + 1 : columnOf(ref);
                    if (c < 0 || c >= kMaxColumn) return false;
                    cell.start(a.value(QLatin1String("t")),
                               a.hasAttribute(QLatin1String("s"))
                                   ? a.value(QLatin1String("s")).toInt()
                                   : -1);
                    inCell = true;
                } else if (inCell && is(xml, u"v")) {
                    inValue = true;
                    cell.hasValue = true;
                } else if (inCell && is(xml, u"f")) {
                    cell.hasFormula = true;
                } else if (inCell && is(xml, u"is")) {
                    inInline = true;
                } else if (inInline && is(xml, u"rPh")) {
                    ++phonetic;
                } else if (inInline && is(xml, u"t")) {
                    inValue = phonetic == 0;
                }
            } else if (xml.isEndElement()) {
                if (is(xml, u"c") && inCell) {
                    inCell = inValue = inInline = false;
                    const auto text = cellText(cell, strings, styles);
                    if (!text) return false;
                    rows = std::max(rows, r + 1);
                    columns = std::max(columns, c + 1);
                    if (c < keep) texts[size_t(c)] = std::move(*text);
                    any = true;
                } else if (is(xml, u"v") || is(xml, u"t")) {
                    inValue = false;
                } else if (is(xml, u"rPh")) {
                    --phonetic;
                } else if (is(xml, u"sheetData")) {
                    return flush();
                }
            } else if (xml.isCharacters() && inValue) {
                cell.value += xml.text();
            }
            return true;
        });
    }
};

}  // namespace

bool isZipFile(const QString& path) {
    QFile f(path);
    return !path.isEmpty() && f.open(QIODevice::ReadOnly) && f.read(4) == QByteArray("PK\3\4", 4);
}

HeadingList readXlsxHeadings(const QString& path) {
    HeadingList out;
    Book book(path);
    if (!book.ok) return out;
    int rows = 0, columns = 0;
    std::vector<std::string> first;
    const bool read = book.readSheet(0, kMaxImportColumns, rows, columns,
                                     [&](int r, const std::vector<std::string>& texts) {
                                         if (r == 0) first = texts;
                                         return true;
                                     });
    if (!read) return out;
    if (columns > kMaxImportColumns) {
        out.status = ReadStatus::TooManyColumns;
        return out;
    }
    if (rows == 0 || columns == 0) {
        out.status = ReadStatus::EmptySheet;
        return out;
    }
    first.resize(size_t(kMaxImportColumns));
    out.headings.assign(first.begin(), first.begin() + columns);
    out.status = ReadStatus::Ok;
    return out;
}

RowList readXlsxRows(const QString& path, int columns) {
    RowList out;
    Book book(path);
    if (!book.ok) return out;
    size_t index = 0;
    while (index < book.sheets.size() &&
           book.sheets[index].name.compare(QLatin1String("sheet1"), Qt::CaseInsensitive) != 0)
        ++index;
    if (index == book.sheets.size()) {
        out.status = ReadStatus::NoSheet1;
        return out;
    }
    const int keep = std::max(columns, 0);
    std::vector<std::string> heading;
    int rows = 0, width = 0;
    // Rows 2.. with a value; a continuation sheet goes on only if it repeats the heading row.
    auto readSheet = [&](size_t sheet, bool continuation) {
        bool follows = true, first = true;
        return book.readSheet(
                   sheet, keep, rows, width,
                   [&](int r, std::vector<std::string>& texts) {
                       if (continuation && first && (r != 0 || texts != heading)) follows = false;
                       first = false;
                       if (r == 0) {
                           heading = texts;
                           return true;
                       }
                       if (!follows) return true;
                       // Moved: the next row starts from empty texts anyway.
                       if (std::any_of(texts.begin(), texts.end(),
                                       [](const std::string& t) { return !t.empty(); })) {
                           out.rows.push_back(std::move(texts));
                           out.rowNumbers.push_back(long(r) + 1);
                       }
                       return true;
                   }) &&
               (follows || (rows = 0, true));
    };
    if (!readSheet(index, false)) return RowList{};
    if (rows == 0) {
        out.status = ReadStatus::EmptySheet;
        return out;
    }
    // As in the older format: a full sheet1 is followed into the sheets after it.
    while (rows == kMaxSheetRows && ++index < book.sheets.size())
        if (!readSheet(index, true)) return RowList{};
    out.status = ReadStatus::Ok;
    return out;
}

}  // namespace exchange

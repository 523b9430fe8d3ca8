#include "core/workbook/xlsxreader.h"

#include <expat.h>
#include <minizip/unzip.h>

#include <QDate>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <map>
#include <optional>
#include <string_view>
#include <vector>

#include "core/register/text.h"
#include "core/workbook/spreadsheet.h"

namespace exchange {

namespace {

constexpr qint64 kSmallPart = qint64(64) << 20;
constexpr int kMaxColumn = 16384;  // XFD, the last column a sheet has
// Expat joins a namespace and a local name with this: a character that XML 1.0 allows in no
// document, so no namespace (which may hold blanks) contains it.
constexpr char kNamespaceSeparator = '\x01';

// The local name of an element or attribute, whatever its namespace.
std::string_view localName(const char* name) {
    const char* separator = std::strrchr(name, kNamespaceSeparator);
    return separator ? separator + 1 : name;
}

// An attribute's value by its name as written without a prefix; null when it is not there.
const char* attribute(const char** atts, const char* name) {
    for (; *atts; atts += 2)
        if (std::strcmp(atts[0], name) == 0) return atts[1];
    return nullptr;
}

QString qs(const char* utf8) {
    return utf8 ? QString::fromUtf8(utf8) : QString();
}

// Qt's toInt on the text, with the common case (a few plain digits) done without a QString.
int toInt(const char* text, bool* ok = nullptr) {
    const size_t n = std::strlen(text);
    if (n > 0 && n <= 9 &&
        std::all_of(text, text + n, [](char c) { return c >= '0' && c <= '9'; })) {
        if (ok) *ok = true;
        int v = 0;
        for (size_t i = 0; i < n; ++i) v = v * 10 + (text[i] - '0');
        return v;
    }
    return QString::fromUtf8(text, qsizetype(n)).toInt(ok);
}

// ---- The container ----

// The encoding an XML declaration at the start of `head` names, when expat cannot read it
// itself; empty for UTF-8, UTF-16, Latin-1 and ASCII, and when there is no declaration.
QByteArray declaredEncoding(const QByteArray& head) {
    if (!head.startsWith("<?xml")) return {};
    const qsizetype close = head.indexOf("?>");
    const QByteArray decl = head.left(close < 0 ? 0 : close);
    const qsizetype at = decl.indexOf("encoding");
    if (at < 0) return {};
    qsizetype i = at + 8;
    while (i < decl.size() && (decl[i] == ' ' || decl[i] == '=' || decl[i] == '\t' ||
                               decl[i] == '\r' || decl[i] == '\n'))
        ++i;
    if (i >= decl.size() || (decl[i] != '"' && decl[i] != '\'')) return {};
    const qsizetype end = decl.indexOf(decl[i], i + 1);
    if (end < 0) return {};
    const QByteArray name = decl.mid(i + 1, end - i - 1);
    for (const char* known : {"utf-8", "utf-16", "utf-16le", "utf-16be", "iso-8859-1", "us-ascii"})
        if (name.compare(known, Qt::CaseInsensitive) == 0) return {};
    return name;
}

// What a part's reader is told, element by element; false from start or end stops the reading.
struct PartHandler {
    virtual ~PartHandler() = default;
    virtual bool start(std::string_view name, const char** atts) = 0;
    virtual bool end(std::string_view name) = 0;
    virtual void text(const char* s, int len) = 0;
};

// A handler from three callables, so the readers below stay in one place each.
template <class Start, class End, class Text>
struct Handlers : PartHandler {
    Start onStart;
    End onEnd;
    Text onText;
    Handlers(Start s, End e, Text t) : onStart(s), onEnd(e), onText(t) {}
    bool start(std::string_view name, const char** atts) override { return onStart(name, atts); }
    bool end(std::string_view name) override { return onEnd(name); }
    void text(const char* s, int len) override { onText(s, len); }
};

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
    // The stored size of the part last found by has().
    qint64 compressedSize() {
        unz_file_info64 info;
        return unzGetCurrentFileInfo64(zip_, &info, nullptr, 0, nullptr, 0, nullptr, 0) == UNZ_OK
                   ? qint64(info.compressed_size)
                   : -1;
    }

    // Streams the part through `handler` as it inflates, so a part is never held whole. False
    // when the part is missing, damaged, inflates too far, carries a DTD (no part of a workbook
    // has one, and entity expansion starts there), or the handler stops it.
    bool parse(const QString& name, PartHandler& handler) {
        if (!has(name)) return false;
        const qint64 compressed = compressedSize();
        if (compressed < 0 || unzOpenCurrentFile(zip_) != UNZ_OK) return false;
        const qint64 limit =
            std::min(kMaxPartBytes, std::max(kSmallPart, compressed * kMaxPartRatio));
        QByteArray chunk(1 << 16, Qt::Uninitialized);
        int n = unzReadCurrentFile(zip_, chunk.data(), unsigned(chunk.size()));
        // A part in an encoding expat does not know itself (GBK, windows-1252 ...) is turned
        // into UTF-8 on the way in, by Qt's converters, as the reader before read it.
        std::optional<QStringDecoder> decoder;
        if (n > 0)
            if (const QByteArray declared = declaredEncoding(chunk.left(n)); !declared.isEmpty())
                if (QStringDecoder d(declared.constData()); d.isValid())
                    decoder.emplace(std::move(d));
        XML_Parser xml = XML_ParserCreateNS(decoder ? "UTF-8" : nullptr, kNamespaceSeparator);
        if (!xml) {
            unzCloseCurrentFile(zip_);
            return false;
        }
        Run run{&handler, xml, false};
        XML_SetUserData(xml, &run);
        XML_SetElementHandler(xml, &Package::onStart, &Package::onEnd);
        XML_SetCharacterDataHandler(xml, &Package::onText);
        XML_SetXmlDeclHandler(xml, &Package::onDeclaration);
        XML_SetStartDoctypeDeclHandler(xml, &Package::onDoctype);
        XML_SetEntityDeclHandler(xml, &Package::onEntity);
        qint64 total = 0;
        bool ok = true;
        void* buffer = nullptr;
        for (;;) {
            if (n < 0 || (total += n) > limit) {
                ok = false;
                break;
            }
            // A part of no bytes at all reads as one without elements, as it always has.
            if (n == 0 && total == 0) break;
            XML_Status parsed;
            if (decoder) {
                const QByteArray utf8 =
                    QString(decoder->decode(QByteArrayView(chunk.constData(), n))).toUtf8();
                parsed = XML_Parse(xml, utf8.constData(), int(utf8.size()), n == 0);
            } else if (buffer) {  // inflated straight into expat's buffer
                parsed = XML_ParseBuffer(xml, n, n == 0);
            } else {  // the first chunk, read before the parser was made
                parsed = XML_Parse(xml, chunk.constData(), n, n == 0);
            }
            if (parsed != XML_STATUS_OK || run.stopped) {
                ok = false;
                break;
            }
            if (n == 0) break;
            if (!decoder && !(buffer = XML_GetBuffer(xml, int(chunk.size())))) {
                ok = false;
                break;
            }
            n = unzReadCurrentFile(zip_, decoder ? chunk.data() : buffer, unsigned(chunk.size()));
        }
        XML_ParserFree(xml);
        // A part whose checksum does not match, or a cut-off document, is damaged.
        const bool crc = unzCloseCurrentFile(zip_) == UNZ_OK;
        return ok && crc;
    }

  private:
    struct Run {
        PartHandler* handler;
        XML_Parser xml;
        bool stopped;
    };
    static void stop(Run* run) {
        if (!run->stopped) XML_StopParser(run->xml, XML_FALSE);
        run->stopped = true;
    }
    static void XMLCALL onStart(void* data, const XML_Char* name, const XML_Char** atts) {
        auto* run = static_cast<Run*>(data);
        if (!run->stopped && !run->handler->start(localName(name), atts)) stop(run);
    }
    static void XMLCALL onEnd(void* data, const XML_Char* name) {
        auto* run = static_cast<Run*>(data);
        if (!run->stopped && !run->handler->end(localName(name))) stop(run);
    }
    static void XMLCALL onText(void* data, const XML_Char* s, int len) {
        auto* run = static_cast<Run*>(data);
        if (!run->stopped) run->handler->text(s, len);
    }
    // Only XML 1.0, as before.
    static void XMLCALL onDeclaration(void* data, const XML_Char* version, const XML_Char*, int) {
        if (version && std::strcmp(version, "1.0") != 0) stop(static_cast<Run*>(data));
    }
    static void XMLCALL onDoctype(void* data, const XML_Char*, const XML_Char*, const XML_Char*,
                                  int) {
        stop(static_cast<Run*>(data));
    }
    static void XMLCALL onEntity(void* data, const XML_Char*, int, const XML_Char*, int,
                                 const XML_Char*, const XML_Char*, const XML_Char*,
                                 const XML_Char*) {
        stop(static_cast<Run*>(data));
    }

    unzFile zip_;
};

template <class Start, class End, class Text>
bool parsePart(Package& zip, const QString& name, Start s, End e, Text t) {
    Handlers<Start, End, Text> handler(s, e, t);
    return zip.parse(name, handler);
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
    return parsePart(
        zip, rels,
        [&](std::string_view name, const char** a) {
            if (name == "Relationship") {
                const QString target = partName(base, qs(attribute(a, "Target")));
                const QString type = qs(attribute(a, "Type"));
                out.byId[qs(attribute(a, "Id"))] = target;
                out.byType[type.mid(type.lastIndexOf(u'/') + 1)] = target;
            }
            return true;
        },
        [](std::string_view) { return true; }, [](const char*, int) {});
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
    std::string type;   // the t attribute
    int style = -1;     // the s attribute
    std::string value;  // <v>, or the texts of <is>, in UTF-8
    bool hasValue = false;
    bool hasFormula = false;

    // Ready for the next cell, keeping the texts' storage: a sheet has millions of cells.
    void start(const char* t, int s) {
        type.assign(t ? t : "");
        style = s;
        value.clear();
        hasValue = hasFormula = false;
    }
};

// The shared strings, in GB18030, one after another in one block: a table of hundreds of
// thousands of short texts costs its bytes and an offset each, not a string object each.
struct StringTable {
    std::string bytes;
    std::vector<quint32> ends;
    size_t size() const { return ends.size(); }
    std::string_view operator[](size_t i) const {
        const size_t from = i == 0 ? 0 : ends[i - 1];
        return std::string_view(bytes).substr(from, ends[i] - from);
    }
};

// Plain digits, as a whole number fits them: the common case, read without a QString.
bool plainDigits(std::string_view v, size_t most) {
    return !v.empty() && v.size() <= most &&
           std::all_of(v.begin(), v.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// A number as the older reader's QString::toDouble read it after trimming. A plain decimal
// ("-12.5", "1E-3") is read directly, correctly rounded as Qt does; anything else (blanks,
// a "+", "inf", other digits) takes Qt's own way, so the two can never disagree.
std::optional<double> numberOf(std::string_view v) {
    size_t i = 0;
    auto digits = [&] {
        const size_t from = i;
        while (i < v.size() && v[i] >= '0' && v[i] <= '9') ++i;
        return i > from;
    };
    if (i < v.size() && v[i] == '-') ++i;
    bool plain = digits();
    if (plain && i < v.size() && v[i] == '.') ++i, plain = digits();
    if (plain && i < v.size() && (v[i] == 'e' || v[i] == 'E')) {
        ++i;
        if (i < v.size() && (v[i] == '+' || v[i] == '-')) ++i;
        plain = digits();
    }
    if (plain && i == v.size()) {
        double number = 0;
        const auto [end, error] = std::from_chars(v.data(), v.data() + v.size(), number);
        if (error == std::errc() && end == v.data() + v.size()) return number;
    }
    bool ok = false;
    const double number = QString::fromUtf8(v.data(), qsizetype(v.size())).trimmed().toDouble(&ok);
    if (!ok) return std::nullopt;
    return number;
}

// The cell's text by the import's rules; nullopt when it cannot be read: a formula without its
// result (it would come in empty), an index past the shared strings, a number that is none.
std::optional<std::string> cellText(const CellIn& c, const StringTable& strings,
                                    const Styles& styles) {
    if (c.type == "inlineStr") return reg::utf8ToGb(c.value);
    if (!c.hasValue) {
        if (c.hasFormula) return std::nullopt;
        return std::string();
    }
    if (c.type == "s") {
        qulonglong i = 0;
        bool ok = true;
        if (plainDigits(c.value, 18))
            i = std::stoull(c.value);
        else
            i = QString::fromUtf8(c.value.data(), qsizetype(c.value.size()))
                    .trimmed()
                    .toULongLong(&ok);
        if (!ok || i >= strings.size()) return std::nullopt;
        return std::string(strings[size_t(i)]);
    }
    if (c.type == "str" || c.type == "e") return reg::utf8ToGb(c.value);
    const QString trimmed =
        c.type == "b" || c.type == "d"
            ? QString::fromUtf8(c.value.data(), qsizetype(c.value.size())).trimmed()
            : QString();
    if (c.type == "b") return reg::gb(trimmed == u"0" ? "假" : "真");
    if (c.type == "d") {
        QString iso = trimmed;
        iso.replace(u'T', u' ');
        return dateText(iso.left(19).toStdString());
    }
    const auto number = numberOf(c.value);
    if (!number) return std::nullopt;
    if (const DateKind kind = styles.of(c.style); kind != DateKind::None)
        if (auto date = serialDate(*number, kind, styles.date1904)) return date;
    // A whole number that the older format would store as an integer reads as its digits.
    if (*number == std::floor(*number) && std::fabs(*number) < 2147483648.0)
        return std::to_string(qint64(*number));
    return numberText(*number);
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

// The same for a reference as expat gives it; only one beyond ASCII needs Qt's letters.
int columnOf(const char* ref) {
    int column = 0;
    for (const char* p = ref; *p; ++p) {
        const unsigned char c = static_cast<unsigned char>(*p);
        if (c >= 0x80) return columnOf(QString::fromUtf8(ref));
        const int upper = c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c;
        if (upper < 'A' || upper > 'Z') break;
        column = column * 26 + (upper - 'A' + 1);
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
    StringTable strings;
    Styles styles;
    // What the rows handed out may hold in memory, and what they hold (rowCost).
    qint64 rowBudget = 0;
    qint64 held = 0;
    bool ok = false;

    explicit Book(const QString& path) : zip(path) {
        rowBudget =
            std::min(kMaxRowBytes, std::max(kSmallRowBytes, QFileInfo(path).size() * kMaxRowRatio));
        ok = zip.isOpen() && load();
    }
    Book(const Book&) = delete;
    Book& operator=(const Book&) = delete;

    // A row's cost: its texts' bytes and the bookkeeping around them, empty ones too.
    static qint64 rowCost(size_t cells, qint64 textBytes) {
        return qint64(sizeof(std::vector<std::string>) + sizeof(long) +
                      cells * sizeof(std::string)) +
               textBytes;
    }
    static qint64 rowCost(const std::vector<std::string>& texts) {
        qint64 bytes = 0;
        for (const std::string& t : texts) bytes += qint64(t.size());
        return rowCost(texts.size(), bytes);
    }

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
        const bool read = parsePart(
            zip, workbook,
            [&](std::string_view name, const char** a) {
                if (name == "sheet") {
                    // The relationship id, whatever prefix names its namespace.
                    QString id;
                    for (const char** at = a; *at; at += 2)
                        if (localName(at[0]) == "id") id = qs(at[1]);
                    named.emplace_back(qs(attribute(a, "name")), id);
                } else if (name == "workbookPr") {
                    const char* v = attribute(a, "date1904");
                    styles.date1904 =
                        v && (std::strcmp(v, "1") == 0 || std::strcmp(v, "true") == 0);
                }
                return true;
            },
            [](std::string_view) { return true; }, [](const char*, int) {});
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

    // Each <si> flattened: the texts of its runs, without the phonetic guides. A table past
    // its limits is refused before it can fill the memory: tens of millions of empty strings
    // fit in a few kilobytes of a zip.
    bool readStrings(const QString& part) {
        std::string text;
        int phonetic = 0;
        bool inText = false;
        return parsePart(
            zip, part,
            [&](std::string_view name, const char**) {
                if (name == "si")
                    text.clear();
                else if (name == "rPh")
                    ++phonetic;
                else if (name == "t")
                    inText = phonetic == 0;
                return true;
            },
            [&](std::string_view name) {
                if (name == "si") {
                    strings.bytes += reg::utf8ToGb(text);
                    strings.ends.push_back(quint32(strings.bytes.size()));
                    return strings.size() <= size_t(kMaxSharedStrings) &&
                           qint64(strings.bytes.size()) +
                                   qint64(strings.size()) * kSharedStringCost <=
                               kMaxSharedStringBytes;
                } else if (name == "rPh") {
                    --phonetic;
                } else if (name == "t") {
                    inText = false;
                }
                return true;
            },
            [&](const char* s, int len) {
                if (inText) text.append(s, size_t(len));
            });
    }

    bool readStyles(const QString& part) {
        std::map<int, QString> custom;
        std::vector<int> formats;
        bool inCellXfs = false;
        const bool read = parsePart(
            zip, part,
            [&](std::string_view name, const char** a) {
                if (name == "numFmt") {
                    const char* id = attribute(a, "numFmtId");
                    custom[id ? toInt(id) : 0] = qs(attribute(a, "formatCode"));
                } else if (name == "cellXfs") {
                    inCellXfs = true;
                } else if (name == "xf" && inCellXfs) {
                    const char* id = attribute(a, "numFmtId");
                    formats.push_back(id ? toInt(id) : 0);
                }
                return true;
            },
            [&](std::string_view name) {
                if (name == "cellXfs") inCellXfs = false;
                return true;
            },
            [](const char*, int) {});
        for (int id : formats) styles.xfs.push_back(classify(id, custom));
        return read;
    }

    // Reads a sheet: its extent (rows up to the last cell, columns up to the rightmost cell)
    // and, through `row`, every row with its first `keep` cells as texts. A row that holds no
    // cell element at all is never visited, so a million empty rows cost only their parsing.
    // A row whose texts would take the rows held past the budget stops the reading.
    template <class Row>
    bool readSheet(size_t index, int keep, int& rows, int& columns, Row row) {
        rows = columns = 0;
        CellIn cell;
        int r = -1, c = -1, lastRow = -1;
        bool inCell = false, inValue = false, inInline = false;
        int phonetic = 0;
        std::vector<std::string> texts;
        qint64 textBytes = 0;
        bool any = false;
        auto flush = [&]() {
            if (r < 0 || !any) return true;
            any = false;
            return row(r, texts);
        };
        return parsePart(
            zip, sheets[index].part,
            [&](std::string_view name, const char** a) {
                if (name == "row") {
                    if (!flush()) return false;
                    const char* ref = attribute(a, "r");
                    bool ok = true;
                    r = !ref || !*ref ? lastRow + 1 : toInt(ref, &ok) - 1;
                    if (!ok || r <= lastRow || r >= kMaxXlsxRows) return false;
                    lastRow = r;
                    c = -1;
                    texts.assign(size_t(keep), std::string());
                    textBytes = 0;
                } else if (name == "c") {
                    if (r < 0) return false;
                    const char* ref = attribute(a, "r");
                    c = !ref || !*ref ? c + 1 : columnOf(ref);
                    if (c < 0 || c >= kMaxColumn) return false;
                    const char* style = attribute(a, "s");
                    cell.start(attribute(a, "t"), style ? toInt(style) : -1);
                    inCell = true;
                } else if (inCell && name == "v") {
                    inValue = true;
                    cell.hasValue = true;
                } else if (inCell && name == "f") {
                    cell.hasFormula = true;
                } else if (inCell && name == "is") {
                    inInline = true;
                } else if (inInline && name == "rPh") {
                    ++phonetic;
                } else if (inInline && name == "t") {
                    inValue = phonetic == 0;
                }
                return true;
            },
            [&](std::string_view name) {
                if (name == "c" && inCell) {
                    inCell = inValue = inInline = false;
                    auto text = cellText(cell, strings, styles);
                    if (!text) return false;
                    rows = std::max(rows, r + 1);
                    columns = std::max(columns, c + 1);
                    if (c < keep) {
                        textBytes += qint64(text->size());
                        if (held + rowCost(size_t(keep), textBytes) > rowBudget) return false;
                        // The converter reserves for the UTF-8 length; a row is kept long.
                        if (text->capacity() > text->size() + 16) text->shrink_to_fit();
                        texts[size_t(c)] = std::move(*text);
                    }
                    any = true;
                } else if (name == "v" || name == "t") {
                    inValue = false;
                } else if (name == "rPh") {
                    --phonetic;
                } else if (name == "sheetData") {
                    return flush();
                }
                return true;
            },
            [&](const char* s, int len) {
                if (inValue) cell.value.append(s, size_t(len));
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
                           book.held += Book::rowCost(texts);
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

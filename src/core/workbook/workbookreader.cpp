#include "core/workbook/workbookreader.h"

#include <freexl.h>
#include <gsf/gsf-infile-msole.h>
#include <gsf/gsf-infile.h>
#include <gsf/gsf-input-stdio.h>
#include <gsf/gsf-input.h>
#include <gsf/gsf-utils.h>

#include <QFile>
#include <QTemporaryDir>
#ifdef _WIN32
#include <windows.h>
#include <QDir>
#include <string>
#endif
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

#include "core/register/text.h"
#include "core/workbook/biff8.h"
#include "core/workbook/biffcodes.h"
#include "core/workbook/xlsxreader.h"

namespace exchange {

namespace {

// ---- The worksheet's own records: truth values, error values and formula results. ----

uint16_t get16(const QByteArray& d, qsizetype at) {
    return uint16_t(uint8_t(d[at]) | (uint8_t(d[at + 1]) << 8));
}
uint32_t get32(const QByteArray& d, qsizetype at) {
    return uint32_t(get16(d, at)) | (uint32_t(get16(d, at + 2)) << 16);
}

struct Record {
    uint16_t id;
    qsizetype body;  // position of the body in the stream
    uint16_t length;
};

// Walks the records of a stream from `from`; stops at the end or at a truncated record.
class RecordWalk {
  public:
    RecordWalk(const QByteArray& stream, qsizetype from) : s_(stream), at_(from) {}
    std::optional<Record> next() {
        if (at_ < 0 || at_ + 4 > s_.size()) return std::nullopt;
        Record r{get16(s_, at_), at_ + 4, get16(s_, at_ + 2)};
        if (r.body + r.length > s_.size()) return std::nullopt;
        at_ = r.body + r.length;
        return r;
    }
    std::optional<Record> peek() const {
        RecordWalk copy(s_, at_);
        return copy.next();
    }

  private:
    const QByteArray& s_;
    qsizetype at_;
};

QByteArray workbookStream(const QString& path) {
    static std::once_flag once;
    std::call_once(once, [] { gsf_init(); });
    GError* error = nullptr;
    // GLib file names are UTF-8 on Windows too.
    GsfInput* file = gsf_input_stdio_new(path.toUtf8().constData(), &error);
    if (error) g_error_free(error), error = nullptr;
    if (!file) return {};
    QByteArray out;
    GsfInfile* ole = gsf_infile_msole_new(file, &error);
    if (error) g_error_free(error);
    g_object_unref(file);
    if (!ole) return {};
    GsfInput* stream = gsf_infile_child_by_name(ole, "Workbook");
    if (!stream) stream = gsf_infile_child_by_name(ole, "Book");
    if (stream) {
        const gsf_off_t size = gsf_input_size(stream);
        if (size > 0 && size < (gsf_off_t(1) << 31)) {
            out.resize(qsizetype(size));
            if (!gsf_input_read(stream, size_t(size), reinterpret_cast<guint8*>(out.data())))
                out.clear();
        }
        g_object_unref(stream);
    }
    g_object_unref(ole);
    return out;
}

bool sameNameIgnoringCase(const QString& a, const QString& b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

std::string errorText(uint8_t code) {
    switch (code) {
        case 0x00:
            return "#NULL!";
        case 0x07:
            return "#DIV/0!";
        case 0x0F:
            return "#VALUE!";
        case 0x17:
            return "#REF!";
        case 0x1D:
            return "#NAME?";
        case 0x24:
            return "#NUM!";
        case 0x2A:
            return "#N/A";
        default:
            return "#N/A";
    }
}

// A string result of a formula: a STRING record, possibly continued.
std::optional<std::string> stringRecord(const QByteArray& s, RecordWalk& walk, bool biff8) {
    auto rec = walk.next();
    while (rec && rec->id != Biff::kString && rec->id != Biff::kShrFmla) {
        // Shared formula and array records may stand between a formula and its string.
        if (rec->id != Biff::kArray && rec->id != Biff::kTable) return std::nullopt;
        rec = walk.next();
    }
    if (!rec || rec->id != Biff::kString || rec->length < 2) return std::nullopt;
    qsizetype at = rec->body;
    qsizetype end = rec->body + rec->length;
    const int chars = get16(s, at);
    at += 2;
    if (!biff8) {
        if (end - at < chars) return std::nullopt;
        return std::string(s.constData() + at, size_t(chars));  // the workbook's code page: GBK
    }
    if (at >= end) return chars == 0 ? std::optional<std::string>("") : std::nullopt;
    uint8_t flags = uint8_t(s[at++]);
    if (flags & 0x08) at += 2;  // rich text runs count
    if (flags & 0x04) at += 4;  // phonetic block size
    QString text;
    while (text.size() < chars) {
        if (at >= end) {
            const auto more = walk.peek();
            if (!more || more->id != Biff::kContinue || more->length < 1) return std::nullopt;
            walk.next();
            at = more->body;
            end = more->body + more->length;
            flags = uint8_t(s[at++]);
            continue;
        }
        if (flags & 0x01) {
            if (end - at < 2) return std::nullopt;
            text.append(QChar(get16(s, at)));
            at += 2;
        } else {
            text.append(QChar(uint8_t(s[at])));
            at += 1;
        }
    }
    return reg::toGb(text);
}

using CellTexts = std::map<std::pair<unsigned, unsigned>, std::string>;

// The cells of the worksheet named `name` whose text FreeXL cannot give. False when the
// workbook's records cannot be read or a formula result cannot be found.
bool specialCells(const QByteArray& s, const QString& name, CellTexts& cells) {
    if (s.size() < 8) return false;
    RecordWalk globals(s, 0);
    auto bof = globals.next();
    if (!bof || bof->id != Biff::kBof || bof->length < 2) return false;
    const bool biff8 = get16(s, bof->body) == Biff::kVersion8;
    qsizetype sheetAt = -1;
    while (auto rec = globals.next()) {
        if (rec->id == Biff::kEof) break;
        if (rec->id != Biff::kBoundSheet || rec->length < 8) continue;
        const qsizetype at = rec->body + 6;
        const int chars = uint8_t(s[at]);
        QString sheetName;
        if (biff8) {
            const bool wide = uint8_t(s[at + 1]) & 1;
            if (rec->length < 8 + chars * (wide ? 2 : 1)) continue;
            for (int k = 0; k < chars; ++k)
                sheetName.append(wide ? QChar(get16(s, at + 2 + 2 * k))
                                      : QChar(uint8_t(s[at + 2 + k])));
        } else {
            if (rec->length < 7 + chars) continue;
            sheetName = QString::fromLatin1(s.constData() + at + 1, chars);
        }
        if (sameNameIgnoringCase(sheetName, name)) {
            sheetAt = qsizetype(get32(s, rec->body));
            break;
        }
    }
    if (sheetAt < 0) return false;
    RecordWalk walk(s, sheetAt);
    auto first = walk.next();
    if (!first || first->id != Biff::kBof) return false;
    while (auto rec = walk.next()) {
        if (rec->id == Biff::kEof) return true;
        if (rec->id == Biff::kBoolErr && rec->length >= 8) {  // BOOLERR
            const auto key =
                std::make_pair(unsigned(get16(s, rec->body)), unsigned(get16(s, rec->body + 2)));
            const uint8_t value = uint8_t(s[rec->body + 6]);
            cells[key] = s[rec->body + 7] ? errorText(value) : reg::gb(value ? "真" : "假");
        } else if (rec->id == Biff::kFormula &&
                   rec->length >= 20) {  // FORMULA with its cached result
            const auto key =
                std::make_pair(unsigned(get16(s, rec->body)), unsigned(get16(s, rec->body + 2)));
            const qsizetype v = rec->body + 6;
            if (get16(s, v + 6) != 0xFFFF) {
                double number;
                const QByteArray bytes = s.mid(v, 8);
                std::memcpy(&number, bytes.constData(), 8);
                cells[key] = numberText(number);
                continue;
            }
            switch (uint8_t(s[v])) {
                case 0: {
                    auto text = stringRecord(s, walk, biff8);
                    if (!text) return false;
                    cells[key] = *text;
                    break;
                }
                case 1:
                    cells[key] = reg::gb(s[v + 2] ? "真" : "假");
                    break;
                case 2:
                    cells[key] = errorText(uint8_t(s[v + 2]));
                    break;
                default:
                    cells[key] = std::string();
                    break;
            }
        }
    }
    return false;  // no EOF: the sheet is cut off
}

// ---- FreeXL ----

// FreeXL opens with the C library's fopen. On Windows that takes the local code page, in which a
// name may have no spelling; the short 8.3 name (plain ASCII) is used when the volume has one.
QByteArray freexlPath(const QString& path) {
#ifdef _WIN32
    const std::wstring wide = QDir::toNativeSeparators(path).toStdWString();
    const DWORD need = GetShortPathNameW(wide.c_str(), nullptr, 0);
    if (need > 0) {
        std::wstring shortName(need, L'\0');
        const DWORD got = GetShortPathNameW(wide.c_str(), shortName.data(), need);
        if (got > 0 && got < need) {
            shortName.resize(got);
            return QString::fromStdWString(shortName).toLocal8Bit();
        }
    }
    return QDir::toNativeSeparators(path).toLocal8Bit();
#else
    return QFile::encodeName(path);
#endif
}

class FreeXl {
  public:
    explicit FreeXl(const QString& path) {
        if (path.isEmpty()) return;
        if (freexl_open(freexlPath(path).constData(), &handle_) != FREEXL_OK) close();
    }
    ~FreeXl() { close(); }
    FreeXl(const FreeXl&) = delete;
    FreeXl& operator=(const FreeXl&) = delete;

    bool isOpen() const { return handle_ != nullptr; }
    unsigned sheetCount() const {
        unsigned count = 0;
        if (freexl_get_info(handle_, FREEXL_BIFF_SHEET_COUNT, &count) != FREEXL_OK) return 0;
        return count;
    }
    QString sheetName(unsigned index) const {
        const char* name = nullptr;
        if (freexl_get_worksheet_name(handle_, uint16_t(index), &name) != FREEXL_OK || !name)
            return {};
        return QString::fromUtf8(name);
    }
    // Selects a sheet; its size in rows and columns (0 x 0 when it holds nothing).
    bool select(unsigned index, unsigned& rows, unsigned& columns) {
        unsigned short cols = 0;
        if (freexl_select_active_worksheet(handle_, uint16_t(index)) != FREEXL_OK ||
            freexl_worksheet_dimensions(handle_, &rows, &cols) != FREEXL_OK)
            return false;
        columns = cols;
        return true;
    }
    // The text of one cell by the import's rules; false when it cannot be read.
    bool text(unsigned row, unsigned column, std::string& out, bool& empty) {
        FreeXL_CellValue cell;
        empty = false;
        if (freexl_get_cell_value(handle_, row, uint16_t(column), &cell) != FREEXL_OK) return false;
        switch (cell.type) {
            case FREEXL_CELL_INT:
                out = std::to_string(cell.value.int_value);
                return true;
            case FREEXL_CELL_DOUBLE:
                out = numberText(cell.value.double_value);
                return true;
            case FREEXL_CELL_TEXT:
            case FREEXL_CELL_SST_TEXT:
                out = cell.value.text_value ? reg::utf8ToGb(cell.value.text_value) : std::string();
                return true;
            case FREEXL_CELL_DATE:
            case FREEXL_CELL_DATETIME:
            case FREEXL_CELL_TIME:
                out = cell.value.text_value ? dateText(cell.value.text_value) : std::string();
                return true;
            default:
                out.clear();
                empty = true;
                return true;
        }
    }

  private:
    void close() {
        if (handle_) freexl_close(handle_);
        handle_ = nullptr;
    }
    const void* handle_ = nullptr;
};

// The strings of the shared string table, followed across CONTINUE records: false when one
// claims more bytes than the table holds.
bool sstFits(const QByteArray& s, Record sst, RecordWalk walk) {
    qsizetype at = sst.body + 8, end = sst.body + sst.length;
    if (sst.length < 8) return false;
    const uint32_t unique = get32(s, sst.body + 4);
    // Moves to the next CONTINUE record when the current one is used up.
    auto more = [&]() {
        const auto next = walk.peek();
        if (!next || next->id != Biff::kContinue) return false;
        walk.next();
        at = next->body;
        end = next->body + next->length;
        return true;
    };
    // Skips `n` bytes that may run on into CONTINUE records.
    auto skip = [&](qint64 n) {
        while (n > 0) {
            if (at >= end && !more()) return false;
            const qint64 step = std::min<qint64>(n, end - at);
            at += step;
            n -= step;
        }
        return true;
    };
    for (uint32_t i = 0; i < unique; ++i) {
        if (at >= end && !more()) return false;
        if (end - at < 3) return false;
        const uint32_t chars = get16(s, at);
        uint8_t flags = uint8_t(s[at + 2]);
        at += 3;
        qint64 runs = 0, ext = 0;
        if (flags & 0x08) {
            if (end - at < 2) return false;
            runs = get16(s, at);
            at += 2;
        }
        if (flags & 0x04) {
            if (end - at < 4) return false;
            ext = get32(s, at);
            at += 4;
        }
        for (uint32_t left = chars; left > 0;) {
            if (at >= end) {
                if (!more() || at >= end) return false;
                flags = uint8_t(s[at++]);  // each piece of a split string has its own width
                continue;
            }
            const qint64 width = (flags & 1) ? 2 : 1;
            const qint64 fit = std::min<qint64>(left, (end - at) / width);
            if (fit == 0) return false;
            at += fit * width;
            left -= uint32_t(fit);
        }
        if (!skip(4 * runs) || !skip(ext)) return false;
    }
    return true;
}

// A text of `chars` characters at `at` with its width flag, inside a record ending at `end`.
bool textFits(const QByteArray& s, qsizetype at, qsizetype end, qsizetype chars) {
    if (end - at < 1) return chars == 0;
    const qsizetype width = (uint8_t(s[at]) & 1) ? 2 : 1;
    return end - at - 1 >= chars * width;
}

// After its first pass FreeXL gives cells to each sheet that had no DIMENSIONS record, but it
// allocates them for whichever sheet was read last, dropping what that sheet held without
// freeing it: a few lines of a damaged workbook cost up to 256 MB that the program never gets
// back. The pass is followed here as FreeXL makes it (a sheet is the one whose BOUNDSHEET offset
// a BOF right after an EOF stands at); the stream goes to FreeXL only when that allocation can
// happen at most once, for the sheet read last.
// A stream over the compound file's small-stream limit FreeXL reads sector by sector, and there
// a record of kind 0 and length 0, or one longer than its record buffer, ends the pass as the
// stream's end does (it never reads what follows); a smaller stream it reads to its last byte.
constexpr qsizetype kSmallStreamLimit = 4096;
constexpr uint16_t kFreeXlRecordBuffer = 8224;
bool cellsAllocatedOnce(const QByteArray& s) {
    struct Sheet {
        uint32_t offset;
        bool dimensioned = false;
    };
    std::vector<Sheet> sheets;
    size_t active = SIZE_MAX;  // none
    int expectBof = -1;        // -1 the workbook's own BOF, 0 a sheet's BOF, 1 inside a substream
    RecordWalk walk(s, 0);
    while (auto rec = walk.next()) {
        const qsizetype at = rec->body - 4;
        if (s.size() > kSmallStreamLimit &&
            ((rec->id == 0 && rec->length == 0) || rec->length > kFreeXlRecordBuffer))
            break;
        if (rec->id == Biff::kContinue) continue;
        if (expectBof != 1) {
            if (rec->id != Biff::kBof) return true;  // FreeXL gives up here and frees all
            if (expectBof == 0) {
                active = SIZE_MAX;
                for (size_t i = 0; i < sheets.size() && active == SIZE_MAX; ++i)
                    if (qsizetype(sheets[i].offset) == at) active = i;
            }
            expectBof = 1;
        } else if (rec->id == Biff::kEof) {
            expectBof = 0;
        } else if (rec->id == Biff::kBoundSheet && rec->length >= 4) {
            sheets.push_back({get32(s, rec->body)});
        } else if (rec->id == Biff::kDimensions && active != SIZE_MAX) {
            if (sheets[active].dimensioned) return false;
            sheets[active].dimensioned = true;
        }
    }
    for (size_t i = 0; i < sheets.size(); ++i)
        if (!sheets[i].dimensioned && i != active) return false;
    return true;
}

// FreeXL reads lengths from the records without checking them against the records (a crafted
// workbook makes it read past its buffers), so a stream goes to it only when every record and
// every text that it reads fits where it stands.
bool recordsFit(const QByteArray& s) {
    RecordWalk walk(s, 0);
    qsizetype seen = 0;
    // Tables that a reader allocates once must come once: one SST in the workbook, one
    // DIMENSIONS in each sheet.
    int tables = 0, dimensions = 0;
    while (auto rec = walk.next()) {
        seen = rec->body + rec->length;
        const qsizetype b = rec->body, end = b + rec->length;
        switch (rec->id) {
            case Biff::kBof:  // BOF
                dimensions = 0;
                break;
            case Biff::kDimensions:  // DIMENSIONS
                if (++dimensions > 1) return false;
                break;
            case Biff::kSst:  // SST
                if (++tables > 1 || !sstFits(s, *rec, walk)) return false;
                break;
            case Biff::kBoundSheet:  // BOUNDSHEET
                if (rec->length < 8 || !textFits(s, b + 7, end, uint8_t(s[b + 6]))) return false;
                break;
            case Biff::kFont:  // FONT
                if (rec->length < 16 || !textFits(s, b + 15, end, uint8_t(s[b + 14]))) return false;
                break;
            case Biff::kFormat:  // FORMAT
                if (rec->length < 5 || !textFits(s, b + 4, end, get16(s, b + 2))) return false;
                break;
            case Biff::kLabel:  // LABEL
                if (rec->length < 9 || !textFits(s, b + 8, end, get16(s, b + 6))) return false;
                break;
            default:
                break;
        }
    }
    // What follows the last whole record may only be padding.
    for (qsizetype i = seen; i < s.size(); ++i)
        if (s[i] != 0) return false;
    return cellsAllocatedOnce(s);
}

// FreeXL trusts the compound file's directory: a crafted entry makes it read past its buffers.
// So it only ever reads a compound file that libgsf wrote around the workbook stream that
// libgsf read out of the chosen file.
struct CleanCopy {
    QTemporaryDir dir;
    QByteArray stream;
    QString path;  // empty when the file holds no workbook stream

    explicit CleanCopy(const QString& source) : stream(workbookStream(source)) {
        const QString copy = dir.path() + QStringLiteral("/workbook.xls");
        if (dir.isValid() && !stream.isEmpty() && recordsFit(stream) &&
            writeCompoundFile(copy, stream, false))
            path = copy;
    }
};

// A cell's text: the special cells first, as FreeXL reports them as numbers or empty.
bool cellText(FreeXl& xl, const CellTexts& special, unsigned row, unsigned column, std::string& out,
              bool& empty) {
    const auto it = special.find({row, column});
    if (it != special.end()) {
        out = it->second;
        empty = false;
        return true;
    }
    return xl.text(row, column, out, empty);
}

}  // namespace

std::string numberText(double value) {
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%.13g", value);
    return buffer;
}

std::string dateText(const std::string& iso) {
    int y = 1899, mo = 12, d = 30, h = 0, mi = 0, s = 0;
    if (std::sscanf(iso.c_str(), "%d-%d-%d %d:%d:%d", &y, &mo, &d, &h, &mi, &s) < 3) {
        y = 1899, mo = 12, d = 30;
        if (std::sscanf(iso.c_str(), "%d:%d:%d", &h, &mi, &s) != 3) return iso;
    }
    char buffer[80];
    std::string text;
    std::snprintf(buffer, sizeof buffer, "%d年%d月%d日", y, mo, d);
    text = buffer;
    if (h != 0 || mi != 0 || s != 0) {
        if (s != 0)
            std::snprintf(buffer, sizeof buffer, "%d时%d分%d秒", h, mi, s);
        else if (mi != 0)
            std::snprintf(buffer, sizeof buffer, "%d时%d分", h, mi);
        else
            std::snprintf(buffer, sizeof buffer, "%d时", h);
        text += buffer;
    }
    return reg::utf8ToGb(text);
}

HeadingList readHeadings(const QString& path) {
    if (isZipFile(path)) return readXlsxHeadings(path);
    HeadingList out;
    const CleanCopy book(path);
    FreeXl xl(book.path);
    unsigned rows = 0, columns = 0;
    if (!xl.isOpen() || xl.sheetCount() == 0 || !xl.select(0, rows, columns)) return out;
    CellTexts special;
    if (!specialCells(book.stream, xl.sheetName(0), special)) return out;
    if (columns > unsigned(kMaxImportColumns)) {
        out.status = ReadStatus::TooManyColumns;
        return out;
    }
    if (rows == 0 || columns == 0) {
        out.status = ReadStatus::EmptySheet;
        return out;
    }
    for (unsigned c = 0; c < columns; ++c) {
        std::string text;
        bool empty;
        if (!cellText(xl, special, 0, c, text, empty)) return out;
        out.headings.push_back(text);
    }
    out.status = ReadStatus::Ok;
    return out;
}

RowList readRows(const QString& path, int columns) {
    if (isZipFile(path)) return readXlsxRows(path, columns);
    RowList out;
    const CleanCopy book(path);
    FreeXl xl(book.path);
    if (!xl.isOpen()) return out;
    const unsigned count = xl.sheetCount();
    unsigned index = 0;
    while (index < count && !sameNameIgnoringCase(xl.sheetName(index), QStringLiteral("sheet1")))
        ++index;
    if (count == 0) return out;
    if (index == count) {
        out.status = ReadStatus::NoSheet1;
        return out;
    }
    // Rows 1.. of one sheet, `columns` texts wide; false when a cell cannot be read.
    std::vector<std::string> heading;
    auto readSheet = [&](unsigned sheet, unsigned& rows, bool continuation) {
        unsigned sheetColumns = 0;
        CellTexts special;
        if (!xl.select(sheet, rows, sheetColumns) ||
            !specialCells(book.stream, xl.sheetName(sheet), special))
            return false;
        for (unsigned r = 0; r < rows; ++r) {
            std::vector<std::string> row(size_t(std::max(columns, 0)));
            bool any = false;
            for (unsigned c = 0; c < row.size() && c < sheetColumns; ++c) {
                bool empty;
                if (!cellText(xl, special, r, c, row[c], empty)) return false;
                any = any || !row[c].empty();
            }
            if (r == 0) {
                // A continuation sheet repeats the heading row of sheet1.
                if (continuation && row != heading) {
                    rows = 0;
                    return true;
                }
                heading = std::move(row);
                continue;
            }
            // A row without any value is no person, only formatting left behind.
            if (any) {
                out.rows.push_back(std::move(row));
                out.rowNumbers.push_back(long(r) + 1);
            }
        }
        return true;
    };
    unsigned rows = 0;
    if (!readSheet(index, rows, false)) return out;
    if (rows == 0) {
        out.status = ReadStatus::EmptySheet;
        return out;
    }
    // An export too long for one sheet goes on in the sheets after sheet1, each starting with
    // the same heading row; a full sheet1 is followed into them.
    while (rows == unsigned(kMaxSheetRows) && ++index < count)
        if (!readSheet(index, rows, true)) return RowList{};
    out.status = ReadStatus::Ok;
    return out;
}

}  // namespace exchange

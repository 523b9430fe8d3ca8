#include "core/workbook/biff8.h"

#include <gsf/gsf-infile.h>
#include <gsf/gsf-outfile-msole.h>
#include <gsf/gsf-outfile.h>
#include <gsf/gsf-output-stdio.h>
#include <gsf/gsf-utils.h>
#include <xlsxwriter.h>

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cmath>
#include <map>
#include <mutex>
#include <system_error>
#include <thread>
#include <tuple>
#include <vector>

#include "core/register/files.h"
#include "core/workbook/biffcodes.h"

namespace exchange {

namespace {

// Longest record body the format allows.
constexpr int kMaxRecordBody = 8224;
// Cell XFs start after the 15 style XFs and the default cell XF.
constexpr int kDefaultCellXf = 15;
// Builtin number format 49 is "@", text.
constexpr int kTextFormat = 49;

class Bytes {
  public:
    void u8(unsigned v) { data_.push_back(char(v & 0xFF)); }
    void u16(unsigned v) {
        u8(v);
        u8(v >> 8);
    }
    void u32(uint32_t v) {
        u16(v & 0xFFFF);
        u16(v >> 16);
    }
    void raw(const char* p, size_t n) { data_.append(p, qsizetype(n)); }
    void put16(qsizetype at, unsigned v) {
        data_[at] = char(v & 0xFF);
        data_[at + 1] = char((v >> 8) & 0xFF);
    }
    void put32(qsizetype at, uint32_t v) {
        put16(at, v & 0xFFFF);
        put16(at + 2, v >> 16);
    }
    qsizetype size() const { return data_.size(); }
    QByteArray& data() { return data_; }

    // Starts a record; its length is filled in by end().
    void begin(uint16_t id) {
        u16(id);
        lengthAt_ = size();
        u16(0);
    }
    void end() { put16(lengthAt_, unsigned(size() - lengthAt_ - 2)); }
    qsizetype bodyLength() const { return size() - lengthAt_ - 2; }

  private:
    QByteArray data_;
    qsizetype lengthAt_ = 0;
};

bool fitsLatin1(const QString& s) {
    return std::all_of(s.begin(), s.end(), [](QChar c) { return c.unicode() < 0x100; });
}

// A string with a one-byte length, as sheet and font names are written.
void shortString(Bytes& b, const QString& s) {
    const QString t = s.left(255);
    const bool wide = !fitsLatin1(t);
    b.u8(unsigned(t.size()));
    b.u8(wide ? 1 : 0);
    for (QChar c : t) wide ? b.u16(c.unicode()) : b.u8(c.unicode());
}

struct Style {
    int horizontal = 0;  // 0 general, 1 left, 2 centre, 3 right
    int vertical = 2;    // 0 top, 1 centre, 2 bottom
    bool wrap = false;
    bool text = false;
    bool operator<(const Style& o) const {
        return std::tie(horizontal, vertical, wrap, text) <
               std::tie(o.horizontal, o.vertical, o.wrap, o.text);
    }
    bool isDefault() const { return horizontal == 0 && vertical == 2 && !wrap && !text; }
};

int horizontalCode(int alignment) {
    switch (alignment) {
        case kAlignCentre:
            return Biff::kCentre;
        case kAlignLeft:
            return Biff::kLeft;
        case kAlignRight:
            return Biff::kRight;
        default:
            return Biff::kGeneral;
    }
}

int verticalCode(int alignment) {
    switch (alignment) {
        case kAlignCentre:
            return Biff::kMiddle;
        case kAlignTop:
            return Biff::kTop;
        default:
            return Biff::kBottom;
    }
}

struct FormatOp {
    enum What { Horizontal, Vertical, Wrap, Text } what;
    CellRect rect;
    int value;
    void apply(Style& s) const {
        switch (what) {
            case Horizontal:
                s.horizontal = value;
                break;
            case Vertical:
                s.vertical = value;
                break;
            case Wrap:
                s.wrap = value != 0;
                break;
            case Text:
                s.text = value != 0;
                break;
        }
    }
};

bool contains(const CellRect& r, int row, int column) {
    return column >= r.firstColumn && column <= r.lastColumn &&
           (r.wholeColumns || (row >= r.firstRow && row <= r.lastRow));
}

constexpr uint32_t kNoString = 0xFFFFFFFF;

struct Cell {
    uint16_t column;
    uint32_t string;
};

struct Sheet {
    QString name;
    std::vector<std::vector<Cell>> rows;
    std::vector<FormatOp> formats;
    std::vector<double> widths = std::vector<double>(kMaxColumns, -1);  // -1: not set

    void set(int row, int column, uint32_t string) {
        if (size_t(row) >= rows.size()) rows.resize(size_t(row) + 1);
        auto& cells = rows[size_t(row)];
        // Rows are mostly as wide as the one above: one allocation instead of a growing series.
        if (cells.empty() && row > 0) cells.reserve(rows[size_t(row) - 1].size());
        if (cells.empty() || cells.back().column < column) {
            cells.push_back({uint16_t(column), string});
            return;
        }
        auto it = std::lower_bound(cells.begin(), cells.end(), column,
                                   [](const Cell& c, int col) { return c.column < col; });
        if (it != cells.end() && it->column == column)
            it->string = string;
        else
            cells.insert(it, {uint16_t(column), string});
    }
};

}  // namespace

struct Biff8Spreadsheet::Book {
    std::vector<Sheet> sheets;
    std::vector<QString> strings;

    uint32_t intern(QStringView s) {
        const auto hash = uint32_t(qHash(s));
        const size_t mask = slots_.size() - 1;
        for (size_t i = hash & mask;; i = (i + 1) & mask) {
            Slot& slot = slots_[i];
            if (slot.number == 0) {
                strings.emplace_back(s.toString());
                slot = {hash, uint32_t(strings.size())};
                if (strings.size() * 2 > slots_.size()) grow();
                return uint32_t(strings.size() - 1);
            }
            if (slot.hash == hash && strings[slot.number - 1] == s) return slot.number - 1;
        }
    }

  private:
    // The index of `strings`: open addressing over plain slots, each a text's hash and its
    // number + 1 (0: free). A register of 100,000 persons holds some 600,000 distinct texts, and
    // a node per text made up most of the time spent laying the book out and freeing it.
    struct Slot {
        uint32_t hash = 0;
        uint32_t number = 0;
    };
    std::vector<Slot> slots_ = std::vector<Slot>(1024);

    void grow() {
        std::vector<Slot> old(slots_.size() * 2);
        old.swap(slots_);
        const size_t mask = slots_.size() - 1;
        for (const Slot& slot : old) {
            if (slot.number == 0) continue;
            size_t i = slot.hash & mask;
            while (slots_[i].number != 0) i = (i + 1) & mask;
            slots_[i] = slot;
        }
    }
};

Biff8Spreadsheet::Biff8Spreadsheet() = default;
Biff8Spreadsheet::~Biff8Spreadsheet() = default;

// The writer has no window; there is nothing to show or hide.
void Biff8Spreadsheet::setVisible(bool) {}

bool Biff8Spreadsheet::addWorkbook() {
    book_ = std::make_unique<Book>();
    book_->sheets.push_back(Sheet{QStringLiteral("Sheet1"), {}, {}});
    active_ = 0;
    return true;
}

bool Biff8Spreadsheet::addWorksheet(const QString& name) {
    if (!book_ || name.isEmpty()) return false;
    book_->sheets.push_back(Sheet{name.left(31), {}, {}});
    active_ = int(book_->sheets.size()) - 1;
    return true;
}

bool Biff8Spreadsheet::selectWorksheet(int index) {
    if (!book_ || index < 0 || index >= int(book_->sheets.size())) return false;
    active_ = index;
    return true;
}

bool Biff8Spreadsheet::renameWorksheet(const QString& name) {
    if (!book_ || name.isEmpty()) return false;
    book_->sheets[size_t(active_)].name = name.left(31);
    return true;
}

void Biff8Spreadsheet::close() {
    book_.reset();
}

void Biff8Spreadsheet::quit() {
    close();
}

void Biff8Spreadsheet::setValue(const CellRect& rect, QStringView value) {
    if (!book_ || rect.wholeColumns) return;
    Sheet& sheet = book_->sheets[size_t(active_)];
    // An empty text is written as a blank cell: readers of workbooks refuse empty shared strings.
    const uint32_t string = value.isEmpty() ? kNoString : book_->intern(value);
    for (int r = rect.firstRow; r <= rect.lastRow; ++r)
        for (int c = rect.firstColumn; c <= rect.lastColumn; ++c) sheet.set(r, c, string);
}

void Biff8Spreadsheet::setHorizontalAlignment(const CellRect& rect, int alignment) {
    if (book_)
        book_->sheets[size_t(active_)].formats.push_back(
            {FormatOp::Horizontal, rect, horizontalCode(alignment)});
}

void Biff8Spreadsheet::setVerticalAlignment(const CellRect& rect, int alignment) {
    if (book_)
        book_->sheets[size_t(active_)].formats.push_back(
            {FormatOp::Vertical, rect, verticalCode(alignment)});
}

void Biff8Spreadsheet::setWrapText(const CellRect& rect, bool wrap) {
    if (book_) book_->sheets[size_t(active_)].formats.push_back({FormatOp::Wrap, rect, wrap});
}

void Biff8Spreadsheet::setNumberFormat(const CellRect& rect, const QString& format) {
    if (book_)
        book_->sheets[size_t(active_)].formats.push_back(
            {FormatOp::Text, rect, format == QLatin1String("@")});
}

void Biff8Spreadsheet::setColumnWidth(const CellRect& rect, double width) {
    if (!book_ || !(width >= 0)) return;
    Sheet& sheet = book_->sheets[size_t(active_)];
    for (int c = rect.firstColumn; c <= rect.lastColumn; ++c)
        sheet.widths[c] = std::min(width, 255.0);
}

namespace {

void writeBof(Bytes& b, unsigned kind) {
    b.begin(Biff::kBof);
    b.u16(Biff::kVersion8);
    b.u16(kind);
    b.u16(0x0DBB);  // build
    b.u16(0x07CC);  // year
    b.u32(0);
    b.u32(0x00000006);
    b.end();
}

void writeEof(Bytes& b) {
    b.begin(Biff::kEof);
    b.end();
}

void writeFont(Bytes& b) {
    b.begin(Biff::kFont);
    b.u16(240);  // 12 points, in twips
    b.u16(0);
    b.u16(0x7FFF);  // automatic colour
    b.u16(400);     // normal weight
    b.u16(0);
    b.u8(0);
    b.u8(0);
    b.u8(134);  // GB2312 character set
    b.u8(0);
    shortString(b, QStringLiteral("宋体"));
    b.end();
}

void writeXf(Bytes& b, bool styleXf, const Style& s) {
    b.begin(Biff::kXf);
    b.u16(0);                          // font
    b.u16(s.text ? kTextFormat : 0);   // number format
    b.u16(styleXf ? 0xFFF5 : 0x0001);  // locked; style XFs have no parent
    b.u8(unsigned(s.horizontal | (s.wrap ? 0x08 : 0) | (s.vertical << 4)));
    b.u8(0);  // rotation
    b.u8(0);  // indent, shrink, reading order
    unsigned used = 0;
    if (styleXf) {
        used = 0xF4;
    } else {
        if (s.text) used |= 0x04;
        if (s.horizontal != 0 || s.vertical != 2 || s.wrap) used |= 0x10;
    }
    b.u8(used);
    b.u32(0);  // borders
    b.u32(0);
    b.u16(0x20C0);  // pattern colours: automatic
    b.end();
}

// The shared string table with its CONTINUE records and the EXTSST index over it.
void writeSst(Bytes& b, const std::vector<QString>& strings, uint32_t total) {
    const uint32_t unique = uint32_t(strings.size());
    const uint32_t perBucket = std::max<uint32_t>(8, (unique + 127) / 128);
    struct Bucket {
        uint32_t streamPos;
        uint16_t offset;
    };
    std::vector<Bucket> buckets;

    b.begin(Biff::kSst);
    b.u32(total);
    b.u32(unique);
    qsizetype recordStart = b.size() - 8 - 4;
    auto room = [&] { return kMaxRecordBody - int(b.bodyLength()); };
    auto next = [&] {
        b.end();
        recordStart = b.size();
        b.begin(Biff::kContinue);
    };
    for (uint32_t i = 0; i < unique; ++i) {
        const QString& s = strings[i];
        const bool wide = !fitsLatin1(s);
        const int charSize = wide ? 2 : 1;
        // A string's header and first character are never split from each other.
        if (room() < 3 + (s.isEmpty() ? 0 : charSize)) next();
        if (i % perBucket == 0)
            buckets.push_back({uint32_t(b.size()), uint16_t(b.size() - recordStart)});
        b.u16(unsigned(s.size()));
        b.u8(wide ? 1 : 0);
        qsizetype at = 0;
        while (at < s.size()) {
            int fit = room() / charSize;
            if (fit == 0) {
                next();
                b.u8(wide ? 1 : 0);  // a continued string repeats its option byte
                fit = room() / charSize;
            }
            const qsizetype n = std::min<qsizetype>(fit, s.size() - at);
            for (qsizetype k = 0; k < n; ++k) {
                const unsigned c = s[at + k].unicode();
                wide ? b.u16(c) : b.u8(c);
            }
            at += n;
        }
    }
    b.end();

    b.begin(Biff::kExtSst);
    b.u16(perBucket);
    for (const Bucket& k : buckets) {
        b.u32(k.streamPos);
        b.u16(k.offset);
        b.u16(0);
    }
    b.end();
}

struct SheetLayout {
    std::map<Style, int>* xfs;
    std::vector<Style>* order;

    int xfOf(const Style& s) {
        if (s.isDefault()) return kDefaultCellXf;
        auto [it, added] = xfs->try_emplace(s, kDefaultCellXf + 1 + int(order->size()));
        if (added) order->push_back(s);
        return it->second;
    }
};

Style columnStyle(const Sheet& sheet, int column) {
    Style s;
    for (const FormatOp& op : sheet.formats)
        if (op.rect.wholeColumns && contains(op.rect, 0, column)) op.apply(s);
    return s;
}

Style cellStyle(const Sheet& sheet, int row, int column) {
    Style s;
    for (const FormatOp& op : sheet.formats)
        if (contains(op.rect, row, column)) op.apply(s);
    return s;
}

// Every cell a sheet writes, row by row and left to right: the cells with a value, and the cells
// without one that a cell-level format covers (they are written blank, to carry the format).
template <class Visit>
void forEachCell(const Sheet& sheet, Visit visit) {
    // The cell-level formatted rectangles decide where blank cells carry a format.
    int lastRow = int(sheet.rows.size()) - 1;
    int firstBlankColumn = kMaxColumns, lastBlankColumn = -1;
    for (const FormatOp& op : sheet.formats) {
        if (op.rect.wholeColumns) continue;
        lastRow = std::max(lastRow, op.rect.lastRow);
        firstBlankColumn = std::min(firstBlankColumn, op.rect.firstColumn);
        lastBlankColumn = std::max(lastBlankColumn, op.rect.lastColumn);
    }
    auto formattedAt = [&](int row, int column) {
        for (const FormatOp& op : sheet.formats)
            if (!op.rect.wholeColumns && contains(op.rect, row, column)) return true;
        return false;
    };

    for (int r = 0; r <= lastRow; ++r) {
        static const std::vector<Cell> none;
        const auto& cells = size_t(r) < sheet.rows.size() ? sheet.rows[size_t(r)] : none;
        size_t k = 0;
        const int from =
            std::min(firstBlankColumn, cells.empty() ? kMaxColumns : int(cells.front().column));
        const int to = std::max(lastBlankColumn, cells.empty() ? -1 : int(cells.back().column));
        for (int c = from; c <= to; ++c) {
            const bool has = k < cells.size() && cells[k].column == c;
            if (has || formattedAt(r, c)) {
                visit(r, c, cellStyle(sheet, r, c), has ? cells[k].string : kNoString);
            }
            if (has) ++k;
        }
    }
}

// The cell records of one sheet, with a BLANK record for every formatted cell without a value.
void writeSheet(Bytes& b, const Sheet& sheet, bool first, SheetLayout& layout) {
    writeBof(b, 0x0010);
    b.begin(Biff::kDefColWidth);
    b.u16(8);
    b.end();

    std::vector<int> columns;
    for (int c = 0; c < kMaxColumns; ++c)
        if (sheet.widths[size_t(c)] >= 0) columns.push_back(c);
    for (const FormatOp& op : sheet.formats)
        if (op.rect.wholeColumns)
            for (int c = op.rect.firstColumn; c <= op.rect.lastColumn; ++c) columns.push_back(c);
    std::sort(columns.begin(), columns.end());
    columns.erase(std::unique(columns.begin(), columns.end()), columns.end());
    for (int c : columns) {
        const double w = sheet.widths[size_t(c)];
        b.begin(Biff::kColInfo);
        b.u16(unsigned(c));
        b.u16(unsigned(c));
        b.u16(w >= 0 ? unsigned(std::lround(w * 256)) : 8 * 256);
        b.u16(unsigned(layout.xfOf(columnStyle(sheet, c))));
        b.u16(w >= 0 ? 0 : 0x0002);  // width not set: the default one
        b.u16(0);
        b.end();
    }

    struct Out {
        int column;
        int xf;
        int64_t string;  // -1: blank
    };
    std::vector<std::vector<Out>> rows;
    int lastColumn = -1;
    forEachCell(sheet, [&](int r, int c, const Style& s, uint32_t string) {
        if (size_t(r) >= rows.size()) rows.resize(size_t(r) + 1);
        rows[size_t(r)].push_back(
            {c, layout.xfOf(s), string != kNoString ? int64_t(string) : int64_t(-1)});
        lastColumn = std::max(lastColumn, c);
    });
    int rowCount = 0;
    for (size_t r = 0; r < rows.size(); ++r)
        if (!rows[r].empty()) rowCount = int(r) + 1;

    size_t cellCount = 0;
    for (const auto& row : rows) cellCount += row.size();
    b.data().reserve(b.size() + qsizetype(cellCount) * 14 + 64);
    b.begin(Biff::kDimensions);
    b.u32(0);
    b.u32(uint32_t(rowCount));
    b.u16(0);
    b.u16(unsigned(lastColumn + 1));
    b.u16(0);
    b.end();

    for (size_t r = 0; r < rows.size(); ++r)
        for (const Out& o : rows[r]) {
            b.begin(o.string >= 0 ? Biff::kLabelSst : Biff::kBlank);
            b.u16(unsigned(r));
            b.u16(unsigned(o.column));
            b.u16(unsigned(o.xf));
            if (o.string >= 0) b.u32(uint32_t(o.string));
            b.end();
        }

    b.begin(Biff::kWindow2);
    b.u16(first ? 0x06B6 : 0x00B6);  // gridlines, headers, zeros, outline; the first is selected
    b.u16(0);
    b.u16(0);
    b.u32(64);  // gridline colour: automatic
    b.u16(0);
    b.u16(0);
    b.u32(0);
    b.end();
    writeEof(b);
}

}  // namespace

QByteArray Biff8Spreadsheet::workbookStream() const {
    if (!book_) return {};
    // Cell XFs are only known once the cells are laid out, so the sheets are written first and
    // the globals, which come first in the stream, after them.
    std::map<Style, int> xfs;
    std::vector<Style> order;
    SheetLayout layout{&xfs, &order};
    std::vector<Bytes> sheets(book_->sheets.size());
    uint32_t textCells = 0;
    for (size_t i = 0; i < book_->sheets.size(); ++i) {
        writeSheet(sheets[i], book_->sheets[i], i == 0, layout);
        for (const auto& row : book_->sheets[i].rows)
            for (const Cell& cell : row) textCells += cell.string != kNoString;
    }

    Bytes g;
    writeBof(g, 0x0005);
    g.begin(Biff::kCodepage);
    g.u16(1200);  // UTF-16
    g.end();
    g.begin(Biff::kWindow1);
    g.u16(0);
    g.u16(0);
    g.u16(0x4000);
    g.u16(0x2000);
    g.u16(0x0038);
    g.u16(0);
    g.u16(0);
    g.u16(1);
    g.u16(0x0258);
    g.end();
    g.begin(Biff::kDate1904);
    g.u16(0);
    g.end();
    for (int i = 0; i < 5; ++i) writeFont(g);
    for (int i = 0; i < 15; ++i) writeXf(g, true, Style{});
    writeXf(g, false, Style{});
    for (const Style& s : order) writeXf(g, false, s);
    g.begin(Biff::kStyle);
    g.u16(0x8000);  // builtin style on XF 0: Normal
    g.u8(0);
    g.u8(0xFF);
    g.end();
    std::vector<qsizetype> sheetPositions;
    for (const Sheet& sheet : book_->sheets) {
        g.begin(Biff::kBoundSheet);
        sheetPositions.push_back(g.size());
        g.u32(0);
        g.u8(0);
        g.u8(0);
        shortString(g, sheet.name);
        g.end();
    }
    writeSst(g, book_->strings, textCells);
    writeEof(g);

    QByteArray stream = g.data();
    for (size_t i = 0; i < sheets.size(); ++i) {
        const uint32_t at = uint32_t(stream.size());
        for (int k = 0; k < 4; ++k) stream[sheetPositions[i] + k] = char((at >> (8 * k)) & 0xFF);
        stream += sheets[i].data();
    }
    return stream;
}

namespace {

// The same sheets as .xlsx through libxlsxwriter, in its constant-memory mode: rows go out in
// order, texts as inline strings, so a sheet of a million rows needs no tree of them in memory.
bool writeXlsx(const QString& path, const std::vector<Sheet>& sheets,
               const std::vector<QString>& strings) {
    const QString tmp = reg::files::temporaryNameBeside(path);
    const QByteArray tmpName = QFile::encodeName(tmp);
    QByteArray tmpFolder = QFile::encodeName(QFileInfo(path).absolutePath());
    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE;
    options.tmpdir = tmpFolder.data();
    lxw_workbook* book = workbook_new_opt(tmpName.constData(), &options);
    if (!book) return false;
    std::map<Style, lxw_format*> formats;
    auto formatOf = [&](const Style& s) {
        auto [it, added] = formats.try_emplace(s, nullptr);
        if (added) {
            lxw_format* f = workbook_add_format(book);
            format_set_font_name(f, "宋体");
            format_set_font_size(f, 12);
            static constexpr uint8_t horizontal[] = {LXW_ALIGN_NONE, LXW_ALIGN_LEFT,
                                                     LXW_ALIGN_CENTER, LXW_ALIGN_RIGHT};
            static constexpr uint8_t vertical[] = {
                LXW_ALIGN_VERTICAL_TOP, LXW_ALIGN_VERTICAL_CENTER, LXW_ALIGN_VERTICAL_BOTTOM};
            if (s.horizontal > 0 && s.horizontal < 4) format_set_align(f, horizontal[s.horizontal]);
            if (s.vertical >= 0 && s.vertical < 2) format_set_align(f, vertical[s.vertical]);
            if (s.wrap) format_set_text_wrap(f);
            if (s.text) format_set_num_format(f, "@");
            it->second = f;
        }
        return it->second;
    };
    // UTF-8 once per distinct text.
    std::vector<std::string> utf8(strings.size());
    for (size_t i = 0; i < strings.size(); ++i) utf8[i] = strings[i].toStdString();

    bool ok = true;
    for (const Sheet& sheet : sheets) {
        lxw_worksheet* ws = workbook_add_worksheet(book, sheet.name.toUtf8().constData());
        if (!ws) {
            ok = false;
            break;
        }
        for (int c = 0; c < kMaxColumns; ++c) {
            const Style style = columnStyle(sheet, c);
            const double w = sheet.widths[size_t(c)];
            if (w >= 0 || !style.isDefault())
                worksheet_set_column(ws, lxw_col_t(c), lxw_col_t(c), w >= 0 ? w : LXW_DEF_COL_WIDTH,
                                     style.isDefault() ? nullptr : formatOf(style));
        }
        forEachCell(sheet, [&](int r, int c, const Style& style, uint32_t string) {
            lxw_error e =
                string == kNoString
                    ? worksheet_write_blank(ws, lxw_row_t(r), lxw_col_t(c), formatOf(style))
                    : worksheet_write_string(ws, lxw_row_t(r), lxw_col_t(c), utf8[string].c_str(),
                                             formatOf(style));
            if (e != LXW_NO_ERROR) ok = false;
        });
    }
    ok = workbook_close(book) == LXW_NO_ERROR && ok;
    ok = ok && reg::files::syncFile(tmp) && reg::files::move(tmp, path);
    if (!ok) reg::files::remove(tmp);
    return ok;
}

}  // namespace

WorkbookKind workbookKindOf(const QString& path) {
    return path.endsWith(QLatin1String(".xlsx"), Qt::CaseInsensitive) ? WorkbookKind::Xlsx
                                                                      : WorkbookKind::Xls;
}

int maxSheetRows(WorkbookKind kind) {
    return kind == WorkbookKind::Xlsx ? kMaxXlsxRows : kMaxRows;
}

bool Biff8Spreadsheet::saveAs(const QString& path) {
    if (!book_ || path.isEmpty()) return false;
    const WorkbookKind kind = workbookKindOf(path);
    // A sheet longer than the kind holds is refused, not cut short.
    for (const Sheet& sheet : book_->sheets) {
        int rows = int(sheet.rows.size());
        for (const FormatOp& op : sheet.formats)
            if (!op.rect.wholeColumns) rows = std::max(rows, op.rect.lastRow + 1);
        if (rows > maxSheetRows(kind)) return false;
    }
    // The format counts a text's characters in 16 bits and readers stop at 32,767: a longer
    // text would make a workbook that no reader opens whole.
    if (kind == WorkbookKind::Xls)
        for (const QString& s : book_->strings)
            if (s.size() > kMaxCellText) return false;
    if (kind == WorkbookKind::Xlsx) {
        // libxlsxwriter allocates and frees a few blocks for every cell. On the thread that laid
        // the book out, the allocator's heap is strewn with the book's small blocks and every one
        // of those allocations searches it; a thread of its own starts on a heap of its own. For
        // 100,000 persons the cells take 0.9 s that way instead of 1.7 s.
        bool saved = false;
        try {
            std::thread writer([&] { saved = writeXlsx(path, book_->sheets, book_->strings); });
            writer.join();
        } catch (const std::system_error&) {  // no thread to be had: write here, only slower
            saved = writeXlsx(path, book_->sheets, book_->strings);
        }
        return saved;
    }
    return writeCompoundFile(path, workbookStream());
}

bool writeCompoundFile(const QString& path, const QByteArray& stream, bool durable) {
    static std::once_flag once;
    std::call_once(once, [] { gsf_init(); });
    // Small streams would go to the compound file's mini stream, which some readers of workbooks
    // do not accept for the workbook; padding after the last EOF is ignored by all of them.
    QByteArray body = stream;
    if (body.size() < 4096) body.append(4096 - body.size(), '\0');

    const QString tmp = reg::files::temporaryNameBeside(path);
    GError* error = nullptr;
    // GLib file names are UTF-8 on Windows too.
    GsfOutput* sink = gsf_output_stdio_new(tmp.toUtf8().constData(), &error);
    if (!sink) {
        if (error) g_error_free(error);
        return false;
    }
    GsfOutfile* ole = gsf_outfile_msole_new(sink);
    g_object_unref(sink);
    bool ok = ole != nullptr;
    if (ok) {
        GsfOutput* child = gsf_outfile_new_child(ole, "Workbook", FALSE);
        ok = child && gsf_output_write(child, size_t(body.size()),
                                       reinterpret_cast<const guint8*>(body.constData()));
        if (child) {
            ok = gsf_output_close(child) && ok;
            g_object_unref(child);
        }
        ok = gsf_output_close(GSF_OUTPUT(ole)) && ok;
        g_object_unref(ole);
    }
    ok = ok && (!durable || reg::files::syncFile(tmp)) && reg::files::move(tmp, path);
    if (!ok) reg::files::remove(tmp);
    return ok;
}

std::string columnLetter(int column) {
    if (column < 1 || column > 26) return {};
    return std::string(1, char('a' + column - 1));
}

bool parseAddress(std::string_view address, int& row, int& column, bool& wholeColumn) {
    size_t i = 0;
    int col = 0;
    while (i < address.size() && std::isalpha(static_cast<unsigned char>(address[i]))) {
        col = col * 26 + (std::tolower(static_cast<unsigned char>(address[i])) - 'a' + 1);
        if (col > kMaxColumns) return false;
        ++i;
    }
    if (col == 0) return false;
    if (i == address.size()) {
        row = 0;
        column = col - 1;
        wholeColumn = true;
        return true;
    }
    long r = 0;
    for (; i < address.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(address[i]))) return false;
        r = r * 10 + (address[i] - '0');
        if (r > kMaxXlsxRows) return false;
    }
    if (r < 1) return false;
    row = int(r - 1);
    column = col - 1;
    wholeColumn = false;
    return true;
}

Range::Range(Spreadsheet& sheet, std::string_view from, std::string_view to) : sheet_(sheet) {
    int r0, c0, r1, c1;
    bool w0, w1;
    if (!parseAddress(from, r0, c0, w0)) return;
    if (to.empty()) {
        r1 = r0, c1 = c0, w1 = w0;
    } else if (!parseAddress(to, r1, c1, w1) || w0 != w1) {
        return;
    }
    rect_ = {std::min(r0, r1), std::min(c0, c1), std::max(r0, r1), std::max(c0, c1), w0};
    valid_ = true;
}

void Range::setValue(QStringView value) {
    if (valid_) sheet_.setValue(rect_, value.startsWith(u'\'') ? value.sliced(1) : value);
}
void Range::setHorizontalAlignment(int alignment) {
    if (valid_) sheet_.setHorizontalAlignment(rect_, alignment);
}
void Range::setVerticalAlignment(int alignment) {
    if (valid_) sheet_.setVerticalAlignment(rect_, alignment);
}
void Range::setWrapText(bool wrap) {
    if (valid_) sheet_.setWrapText(rect_, wrap);
}
void Range::setColumnWidth(double width) {
    if (valid_) sheet_.setColumnWidth(rect_, width);
}
void Range::setNumberFormat(const QString& format) {
    if (valid_) sheet_.setNumberFormat(rect_, format);
}

std::unique_ptr<Spreadsheet> createSpreadsheet() {
    return std::make_unique<Biff8Spreadsheet>();
}

}  // namespace exchange

#include "core/register/text.h"

#include <QStringDecoder>
#include <QStringEncoder>
#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>

namespace reg {

bool isAscii(std::string_view s) {
    for (unsigned char c : s)
        if (c >= 0x80) return false;
    return true;
}

namespace {

bool isAscii(QStringView s) {
    return std::all_of(s.begin(), s.end(), [](QChar c) { return c.unicode() < 0x80; });
}

QStringEncoder& encoder() {
    static thread_local QStringEncoder e("GB18030", QStringConverter::Flag::Stateless);
    return e;
}

QStringDecoder& decoder() {
    static thread_local QStringDecoder d("GB18030", QStringConverter::Flag::Stateless);
    return d;
}

// The GB18030 bytes of every character of the basic plane, made once by the encoder. Reading a
// register converts millions of short texts from the file's UTF-8, and the converter's cost per
// call, not per character, was most of a walk's time; GB18030 maps each character on its own, so
// a table gives the encoder's own bytes. Surrogates have none (length 0).
struct GbTable {
    std::array<std::array<char, 4>, 0x10000> bytes{};
    std::array<uint8_t, 0x10000> length{};
};

const GbTable& gbTable() {
    static std::unique_ptr<GbTable> table;
    static std::once_flag made;
    std::call_once(made, [] {
        auto t = std::make_unique<GbTable>();
        QString all;
        all.reserve(0x10000);
        for (char32_t c = 0x80; c < 0x10000; ++c)
            if (c < 0xD800 || c > 0xDFFF) all.append(QChar(char16_t(c)));
        QStringEncoder e("GB18030", QStringConverter::Flag::Stateless);
        const QByteArray out = e.encode(all);
        const std::string_view gb(out.constData(), size_t(out.size()));
        size_t at = 0;
        for (char32_t c = 0x80; c < 0x10000 && at < gb.size(); ++c) {
            if (c >= 0xD800 && c <= 0xDFFF) continue;
            const int n = gbCharLength(gb.substr(at));
            std::copy_n(gb.data() + at, n, t->bytes[c].data());
            t->length[c] = uint8_t(n);
            at += size_t(n);
        }
        // A table that does not come out even is not trusted: every text then takes the encoder.
        if (at != gb.size()) t->length.fill(0);
        table = std::move(t);
    });
    return *table;
}

// UTF-8 of the basic plane through the table; nothing for anything else (a character beyond it,
// a malformed sequence), which then takes the encoder.
std::optional<std::string> utf8ToGbByTable(std::string_view utf8) {
    const GbTable& t = gbTable();
    std::string out;
    out.reserve(utf8.size());
    const auto* p = reinterpret_cast<const unsigned char*>(utf8.data());
    const auto* end = p + utf8.size();
    const auto follows = [&](int k) { return p + k < end && (p[k] & 0xC0) == 0x80; };
    while (p < end) {
        char32_t c;
        if (*p < 0x80) {
            out.push_back(char(*p++));
            continue;
        } else if (*p >= 0xC2 && *p <= 0xDF && follows(1)) {
            c = char32_t(*p & 0x1F) << 6 | (p[1] & 0x3F);
            p += 2;
        } else if (*p >= 0xE0 && *p <= 0xEF && follows(1) && follows(2)) {
            c = char32_t(*p & 0x0F) << 12 | char32_t(p[1] & 0x3F) << 6 | (p[2] & 0x3F);
            if (c < 0x800) return std::nullopt;  // overlong
            p += 3;
        } else {
            return std::nullopt;
        }
        const int n = t.length[c];
        if (n == 0) return std::nullopt;
        out.append(t.bytes[c].data(), size_t(n));
    }
    return out;
}

}  // namespace

std::string toGb(QStringView text) {
    // Serials, identity numbers and dates are ASCII, which GB18030 keeps as it is.
    if (isAscii(text)) {
        std::string ascii(size_t(text.size()), '\0');
        std::transform(text.begin(), text.end(), ascii.begin(),
                       [](QChar c) { return char(c.unicode()); });
        return ascii;
    }
    QByteArray bytes = encoder().encode(text);
    return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

QString fromGb(std::string_view bytes) {
    if (isAscii(bytes)) return QString::fromLatin1(bytes.data(), qsizetype(bytes.size()));
    return decoder().decode(QByteArrayView(bytes.data(), qsizetype(bytes.size())));
}

std::string utf8ToGb(std::string_view utf8) {
    if (isAscii(utf8)) return std::string(utf8);
    if (auto fast = utf8ToGbByTable(utf8)) return std::move(*fast);
    return toGb(QString::fromUtf8(utf8.data(), qsizetype(utf8.size())));
}

std::string gbToUtf8(std::string_view gb) {
    if (isAscii(gb)) return std::string(gb);
    QByteArray u = fromGb(gb).toUtf8();
    return std::string(u.constData(), static_cast<size_t>(u.size()));
}

int gbCharLength(std::string_view s) {
    if (s.empty()) return 0;
    auto b = [&](size_t i) { return static_cast<unsigned char>(s[i]); };
    if (b(0) < 0x81 || b(0) == 0xFF) return 1;
    if (s.size() >= 4 && b(1) >= 0x30 && b(1) <= 0x39 && b(2) >= 0x81 && b(2) <= 0xFE &&
        b(3) >= 0x30 && b(3) <= 0x39)
        return 4;
    if (s.size() >= 2 && b(1) >= 0x40 && b(1) <= 0xFE && b(1) != 0x7F) return 2;
    return 1;
}

std::string withoutBlanks(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    while (!text.empty()) {
        const size_t n = size_t(gbCharLength(text));
        const bool blank = (n == 1 && text[0] == ' ') ||
                           (n == 2 && text.substr(0, 2) == std::string_view("\xA1\xA1", 2));
        if (!blank) out.append(text.substr(0, n));
        text.remove_prefix(n);
    }
    return out;
}

}  // namespace reg

#include "core/register/text.h"

#include <QStringDecoder>
#include <QStringEncoder>
#include <algorithm>

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

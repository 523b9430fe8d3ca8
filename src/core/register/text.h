#pragma once
// The one place where text changes encoding. Inside the program every text that is stored,
// compared or measured is a GB18030 byte string; windows, spreadsheets and the register file's
// columns are Unicode.
#include <QString>
#include <string>
#include <string_view>

namespace reg {

// Unicode to GB18030 bytes; lossless for every Unicode character.
std::string toGb(QStringView text);
// GB18030 bytes to Unicode. Bytes that are no valid sequence become U+FFFD.
QString fromGb(std::string_view bytes);

// True when every byte is ASCII, which GB18030, UTF-8 and Latin-1 all spell alike.
bool isAscii(std::string_view bytes);

// UTF-8 to GB18030 and back; pure ASCII passes through without a conversion.
std::string utf8ToGb(std::string_view utf8);
std::string gbToUtf8(std::string_view gb);

// A GB18030 text from a UTF-8 literal of the source code, e.g. gb("序号").
inline std::string gb(const char* utf8) {
    return utf8ToGb(utf8);
}

// Removes every ASCII blank and every full-width blank (A1 A1), character by character, so the
// bytes of two neighbouring characters are never taken for a blank.
std::string withoutBlanks(std::string_view text);

// The length of the first character of a GB18030 text: 1, 2 or 4 bytes (1 for a stray byte).
int gbCharLength(std::string_view bytes);

}  // namespace reg

#include "core/query/quickfind.h"

#include <algorithm>
#include <array>
#include <charconv>

#include "core/query/homophone.h"
#include "core/register/person.h"
#include "core/register/store.h"
#include "core/register/text.h"

namespace query {

namespace {

// The phonetic elements of pinyin_table.h, by number.
constexpr std::array<std::string_view, 56> kElements = {
    "",    "zh",  "ch",  "sh", "b",  "p",  "m",  "f",  "d",    "t",    "n",    "l",   "g",   "k",
    "h",   "j",   "q",   "x",  "r",  "z",  "c",  "s",  "y",    "w",    "ang",  "eng", "an",  "ai",
    "ao",  "ou",  "er",  "en", "ei", "a",  "o",  "e",  "uang", "iang", "iong", "ing", "ong", "uai",
    "uan", "iao", "ian", "ui", "iu", "ie", "ue", "in", "un",   "ia",   "ua",   "uo",  "i",   "u"};
constexpr unsigned kLastInitial = 23;  // w

// The spellings of every code, made once: a keystroke compares letters, never decodes.
const std::vector<std::string>& spellings() {
    static const std::vector<std::string> table = [] {
        std::vector<std::string> t(kElements.size() * kElements.size());
        for (std::size_t low = 1; low < kElements.size(); ++low)
            for (std::size_t high = 0; high < kElements.size(); ++high)
                t[low * kElements.size() + high] =
                    std::string(kElements[low]) + std::string(kElements[high]);
        return t;
    }();
    return table;
}

bool isLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// The clerk's letters as the table spells them: lower case, ü (typed as v, u or ü) as u. Empty
// when the needle holds anything but letters.
std::string pinyinLetters(std::string_view needle) {
    static const std::string umlaut = reg::gb("ü");
    std::string letters;
    for (std::size_t i = 0; i < needle.size();) {
        if (needle.compare(i, umlaut.size(), umlaut) == 0) {
            letters += 'u';
            i += umlaut.size();
            continue;
        }
        const char c = needle[i++];
        if (!isLetter(c)) return {};
        const char lower = static_cast<char>(c | 0x20);
        letters += lower == 'v' ? 'u' : lower;
    }
    return letters;
}

// Digits, perhaps with the identity number's check letter: the needle in upper case, or empty.
std::string numberNeedle(std::string_view needle) {
    std::string number;
    bool digit = false;
    for (char c : needle) {
        if (isDigit(c))
            digit = true;
        else if (c != 'x' && c != 'X')
            return {};
        number += c == 'x' ? 'X' : c;
    }
    return digit ? number : std::string();
}

// Full-width letters and digits (A3 C1.. in GB18030, as an input method in full-width mode
// types them) as ASCII; everything else as it is.
std::string halfWidth(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t pos = 0; pos < text.size();) {
        const auto length = static_cast<std::size_t>(reg::gbCharLength(text.substr(pos)));
        const auto lead = static_cast<unsigned char>(text[pos]);
        const auto trail = length == 2 ? static_cast<unsigned char>(text[pos + 1]) : 0u;
        const char ascii = static_cast<char>(trail - 0x80);
        if (lead == 0xA3 && length == 2 && (isLetter(ascii) || isDigit(ascii)))
            out += ascii;
        else
            out.append(text.substr(pos, length));
        pos += length;
    }
    return out;
}

// Every character boundary of `text` from which `length` bytes remain.
template <typename Visit>
bool anyBoundary(std::string_view text, std::size_t length, Visit visit) {
    for (std::size_t pos = 0; pos + length <= text.size();) {
        if (visit(pos)) return true;
        pos += static_cast<std::size_t>(reg::gbCharLength(text.substr(pos)));
    }
    return false;
}

long serialNumber(std::string_view text) {
    const double n = reg::leadingNumber(text);
    return n >= 0 && n < 2e9 ? static_cast<long>(n) : 0;
}

}  // namespace

std::string_view spellingOf(std::uint16_t code) {
    const unsigned low = code & 0xFF, high = code >> 8;
    if (low == 0 || low >= kElements.size() || high >= kElements.size()) return {};
    return spellings()[low * kElements.size() + high];
}

QuickFind QuickFind::fromStore(reg::RecordStore& store) {
    QuickFind index;
    const long count = store.RecordCount();
    index.persons_.reserve(static_cast<std::size_t>(count));
    for (long r = 1; r <= count; ++r) {
        store.GoTo(r);
        if (store.IsDeleted()) continue;
        index.add(store.ReadField(reg::F序号), store.ReadField(reg::F姓名),
                  store.ReadField(reg::F房屋详址), store.ReadField(reg::F出生日期),
                  store.ReadField(reg::F公民身份号码));
    }
    return index;
}

void QuickFind::add(std::string serial, std::string name, std::string address, std::string birth,
                    std::string idNumber) {
    const auto first = static_cast<std::uint32_t>(chars_.size());
    for (std::size_t pos = 0; pos < name.size() && chars_.size() - first < 255;) {
        const std::string_view rest = std::string_view(name).substr(pos);
        const Readings r = readingsOf(rest);
        Char c{};
        c.count = static_cast<std::uint8_t>(r.count);
        std::copy(r.begin(), r.end(), c.code);
        chars_.push_back(c);
        pos += static_cast<std::size_t>(reg::gbCharLength(rest));
    }
    // The check letter is found whether it was stored or typed in either case.
    std::transform(idNumber.begin(), idNumber.end(), idNumber.begin(),
                   [](char ch) { return ch == 'x' ? 'X' : ch; });
    const long number = serialNumber(serial);
    persons_.push_back(Person{number, std::move(serial), std::move(name), std::move(address),
                              std::move(birth), std::move(idNumber), first,
                              static_cast<std::uint8_t>(chars_.size() - first)});
}

bool QuickFind::pinyinFrom(std::uint32_t c, std::uint32_t end, std::string_view rest) const {
    if (rest.empty()) return true;
    if (c == end) return false;
    const Char& ch = chars_[c];
    for (int i = 0; i < ch.count; ++i) {
        const std::string_view spelling = spellingOf(ch.code[i]);
        if (spelling.empty() || spelling[0] != rest[0]) continue;
        // The needle ends inside this syllable: the clerk is still typing it.
        if (rest.size() <= spelling.size() && spelling.substr(0, rest.size()) == rest) return true;
        if (rest.substr(0, spelling.size()) == spelling &&
            pinyinFrom(c + 1, end, rest.substr(spelling.size())))
            return true;
        // The initial alone: its first letter, and zh, ch, sh in full.
        const unsigned low = ch.code[i] & 0xFF;
        if (low <= kLastInitial && kElements[low].size() == 2 && rest.size() >= 2 &&
            rest.substr(0, 2) == kElements[low] && pinyinFrom(c + 1, end, rest.substr(2)))
            return true;
        // A syllable of one letter was tried in full already.
        if (spelling.size() > 1 && pinyinFrom(c + 1, end, rest.substr(1))) return true;
    }
    return false;
}

bool QuickFind::pinyinMatch(const Person& p, std::string_view letters) const {
    const std::uint32_t end = p.firstChar + p.charCount;
    for (std::uint32_t c = p.firstChar; c < end; ++c)
        if (pinyinFrom(c, end, letters)) return true;
    return false;
}

FindResult QuickFind::find(std::string_view needle, std::size_t limit) const {
    FindResult result;
    const std::string text = halfWidth(reg::withoutBlanks(needle));
    if (text.empty()) return result;

    struct Candidate {
        FindRank rank;
        long serial;
        std::uint32_t index;
    };
    std::vector<Candidate> found;
    auto take = [&](std::size_t i, FindRank rank) {
        found.push_back({rank, persons_[i].serial, static_cast<std::uint32_t>(i)});
    };

    if (const std::string letters = pinyinLetters(text); !letters.empty()) {
        for (std::size_t i = 0; i < persons_.size(); ++i)
            if (pinyinMatch(persons_[i], letters)) take(i, FindRank::Pinyin);
    } else if (const std::string number = numberNeedle(text); !number.empty()) {
        long serial = -1;
        if (number.size() <= 9 && number.find('X') == std::string::npos)
            std::from_chars(number.data(), number.data() + number.size(), serial);
        // Three digits are in too many identity numbers to tell anybody apart.
        const bool idFragment = number.size() >= 4;
        for (std::size_t i = 0; i < persons_.size(); ++i) {
            const Person& p = persons_[i];
            if (serial >= 0 && p.serial == serial && !p.serialText.empty())
                take(i, FindRank::Serial);
            else if (idFragment && p.idNumber.find(number) != std::string::npos)
                take(i, FindRank::IdNumber);
        }
    } else {
        for (std::size_t i = 0; i < persons_.size(); ++i) {
            const std::string_view name = persons_[i].name;
            if (name.size() < text.size()) continue;
            if (name == text) {
                take(i, FindRank::Name);
            } else if (anyBoundary(name, text.size(), [&](std::size_t pos) {
                           return name.compare(pos, text.size(), text) == 0;
                       })) {
                take(i, FindRank::NamePart);
            } else if (anyBoundary(name, text.size(), [&](std::size_t pos) {
                           return homophoneMatch(text, name.substr(pos, text.size()));
                       })) {
                take(i, FindRank::Homophone);
            }
        }
    }

    result.total = found.size();
    const std::size_t shown = std::min(limit, found.size());
    std::partial_sort(found.begin(), found.begin() + static_cast<std::ptrdiff_t>(shown),
                      found.end(), [](const Candidate& a, const Candidate& b) {
                          if (a.rank != b.rank) return a.rank < b.rank;
                          if (a.serial != b.serial) return a.serial < b.serial;
                          return a.index < b.index;
                      });
    result.hits.reserve(shown);
    for (std::size_t k = 0; k < shown; ++k) {
        const Person& p = persons_[found[k].index];
        result.hits.push_back({p.serial, p.serialText, p.name, p.address, p.birth, found[k].rank});
    }
    return result;
}

}  // namespace query

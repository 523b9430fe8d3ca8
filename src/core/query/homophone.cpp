#include "core/query/homophone.h"

#include <QString>
#include <algorithm>
#include <cstring>

#include "core/query/pinyin_table.h"
#include "core/register/text.h"

namespace query {

namespace {

bool inBlock(unsigned lead, unsigned trail) {
    return lead >= kPinyinLeadFirst && lead <= kPinyinLeadLast && trail >= kPinyinTrailFirst &&
           trail <= kPinyinTrailLast;
}

std::uint16_t entryOf(unsigned lead, unsigned trail) {
    return kPinyinEntries[(lead - kPinyinLeadFirst) * kPinyinColumns + (trail - kPinyinTrailFirst)];
}

Readings expand(std::uint16_t entry, const std::uint16_t (*lists)[3] = kPinyinLists) {
    Readings r;
    if (entry == 0) return r;
    if (!(entry & kPinyinListBit)) {
        r.count = 1;
        r.code[0] = entry;
        return r;
    }
    const std::uint16_t* list = lists[entry & ~kPinyinListBit];
    for (int i = 0; i < 3 && list[i] != 0; ++i) r.code[r.count++] = list[i];
    return r;
}

// Two entries of the block: alike when either has no reading or they share one.
bool alike(std::uint16_t a, std::uint16_t b) {
    if (a == 0 || b == 0 || a == b) return true;
    // Two different single readings: the common case of two names that differ.
    if (!(a & kPinyinListBit) && !(b & kPinyinListBit)) return false;
    const Readings ra = expand(a);
    const Readings rb = expand(b);
    for (std::uint16_t x : ra)
        for (std::uint16_t y : rb)
            if (x == y) return true;
    return false;
}

}  // namespace

Readings pronunciation(std::string_view character) {
    if (character.size() < 2) return {};
    const auto lead = static_cast<unsigned char>(character[0]);
    const auto trail = static_cast<unsigned char>(character[1]);
    if (!inBlock(lead, trail)) return {};
    return expand(entryOf(lead, trail));
}

Readings readingsOf(std::string_view character) {
    if (character.empty() || static_cast<unsigned char>(character[0]) < 0x80) return {};
    const int length = reg::gbCharLength(character);
    if (length == 2 &&
        inBlock(static_cast<unsigned char>(character[0]), static_cast<unsigned char>(character[1])))
        return pronunciation(character);
    if (length < 2) return {};
    const QString text = reg::fromGb(character.substr(0, static_cast<std::size_t>(length)));
    if (text.isEmpty()) return {};
    const char32_t code = text.size() > 1 && text[0].isHighSurrogate()
                              ? QChar::surrogateToUcs4(text[0], text[1])
                              : text[0].unicode();
    const PinyinSupplementEntry* first = kPinyinSupplement;
    const PinyinSupplementEntry* last = kPinyinSupplement + kPinyinSupplementCount;
    const auto* found = std::lower_bound(
        first, last, code,
        [](const PinyinSupplementEntry& e, char32_t c) { return e.character < c; });
    if (found == last || found->character != code) return {};
    return expand(found->entry, kPinyinSupplementLists);
}

bool homophoneMatch(std::string_view condition, std::string_view field) {
    if (condition.size() != field.size()) return false;
    const auto* q = reinterpret_cast<const unsigned char*>(condition.data());
    const auto* f = reinterpret_cast<const unsigned char*>(field.data());
    const std::size_t n = condition.size();
    std::size_t i = 0;
    while (i < n) {
        if (q[i] < 0x80) {
            if (q[i] != f[i]) return false;
            ++i;
            continue;
        }
        if (f[i] < 0x80) return false;
        // A lead byte and trail byte of the block always make one two-byte character, whatever
        // follows; this is the common case and needs no length rule.
        if (i + 1 < n && inBlock(q[i], q[i + 1]) && inBlock(f[i], f[i + 1])) {
            if ((q[i] != f[i] || q[i + 1] != f[i + 1]) &&
                !alike(entryOf(q[i], q[i + 1]), entryOf(f[i], f[i + 1])))
                return false;
            i += 2;
            continue;
        }
        // Anything else (GBK characters outside the block, full-width signs, four-byte
        // characters, a stray byte) matches only the same character. Comparing lengths first
        // keeps a four-byte character from being paired with two two-byte ones.
        const int length = reg::gbCharLength(condition.substr(i));
        if (reg::gbCharLength(field.substr(i)) != length ||
            std::memcmp(q + i, f + i, static_cast<std::size_t>(length)) != 0)
            return false;
        i += static_cast<std::size_t>(length);
    }
    return true;
}

}  // namespace query

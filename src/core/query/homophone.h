#pragma once
// Matching Chinese text by pronunciation: the query operator "==" finds a resident whose name
// was written with another character of the same sound. Texts are GB18030 byte strings.
#include <cstdint>
#include <string_view>

namespace query {

// The toneless readings of one character, coded as in pinyin_table.h, the most used first.
struct Readings {
    int count = 0;
    std::uint16_t code[3] = {};

    const std::uint16_t* begin() const { return code; }
    const std::uint16_t* end() const { return code + count; }
};

// The readings of the two-byte character at the start of `character`: none when it lies
// outside the GB2312 character block or the block gives it no reading.
Readings pronunciation(std::string_view character);

// The readings of the character at the start of `character`, inside the block or not: a name
// character outside it (䶮, 𠮷, 堃) is read from the supplementary table of name characters.
// None for a character neither table reads (ASCII, signs, a stray byte).
Readings readingsOf(std::string_view character);

// Whether `condition` and `field` match character by character: identical characters match,
// and two characters of the GB2312 block match when they share a reading (a character without
// a reading is alike with any of the block). ASCII compares exactly, letters case-sensitively;
// any other character, including every four-byte one, matches only itself. Texts of different
// byte length never match.
bool homophoneMatch(std::string_view condition, std::string_view field);

}  // namespace query

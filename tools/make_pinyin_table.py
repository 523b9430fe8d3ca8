#!/usr/bin/env python3
"""Builds src/core/query/pinyin_table.cpp, the toneless readings of the 6,768 positions of the
GB2312 character block, from two published reading lists (see tools/README.md):

  pinyin-data  every reading of a character, with tones, its main reading first
               (Debian package golang-github-mozillazg-go-pinyin-dev)
  Luna Pinyin  how often each reading of a character is used, and a word list with the
               reading of every character in each word (Debian package rime-data-luna-pinyin)

Usage: tools/make_pinyin_table.py [OUTPUT [SUPPLEMENT]]
       (defaults: src/core/query/pinyin_table.cpp, src/core/query/pinyin_supplement.cpp)

The supplement gives the same kind of readings to name characters outside the block: those of
the 2013 general list of standard characters (Unihan's kTGH, the list new names are written
with) and the few in NAME_VARIANTS; see supplement() below. Unihan comes from the Debian
package unicode-data.

The rule, applied to every character:
  1. Its candidate readings are pinyin-data's, tones dropped and u-umlaut folded into u, in
     pinyin-data's order. The main reading is pinyin-data's first, except for the few
     characters in MAIN_READING, where that first reading is not the one in use.
  2. Luna Pinyin, made for traditional characters, sometimes describes another character
     written with the same glyph (庄 as péng, 芦 as hù, 叶 as xié). Its figures are set aside,
     and only the main reading kept, where it gives the main reading a share of 0 %, or a
     share below GLYPH_SHARE percent while none of its words holds the character.
  3. Otherwise any other candidate is kept when Luna gives it a share of at least MIN_SHARE
     percent, or, where Luna gives it no share, when at least one word of Luna's word list
     reads the character so. The main reading is always kept.
  4. The kept readings are ordered by Luna's share (readings without a share last), then by
     the number of words that read the character so, then by pinyin-data's order; the first
     three stay.
The table checks itself against the readings a clerk expects before it is written.
"""

import bz2
import collections
import os
import re
import subprocess
import sys
import unicodedata

PINYIN_DATA = "/usr/share/gocode/src/github.com/mozillazg/go-pinyin/pinyin_dict.go"
LUNA_DICT = "/usr/share/rime-data/luna_pinyin.dict.yaml"
UNIHAN = "/usr/share/unicode/Unihan_{}.txt.bz2"

# Readings with a share of at least this many percent are in everyday use (色 shai 0.09,
# 区 ou 0.09, 炮 bao 0.08, 单 chan 0.10); below it they are not, and common surnames would
# match through them (丁 zheng 0.07, 陶 yao 0.06, 沈 chen 0.01).
MIN_SHARE = 0.08
MAX_READINGS = 3
# Below this share of the main reading, a character that no word holds is taken to be
# described by Luna as another character of the same glyph.
GLYPH_SHARE = 5.0
# Characters whose first reading in pinyin-data is not the one in use; without this their
# everyday reading would be lost with Luna's figures (卜 is the surname Bu, 缪 the surname Miao).
MAIN_READING = {"卜": "bu", "缪": "miao", "靓": "liang", "嗲": "dia"}

# Name characters outside the block and outside the general list that have no reading of their
# own in either source: each is read as the character Unihan names as its variant (𠮷 is the
# variant of 吉 that a few families write their name with).
NAME_VARIANTS = ["𠮷"]
# Characters whose readings the supplement must give; it is not written otherwise.
SUPPLEMENT_EXPECTED = {"䶮": ["yan"], "𠮷": ["ji"], "㛃": ["jie"], "堃": ["kun"], "喆": ["zhe"],
                       "燚": ["yi"]}

INITIALS = ["zh", "ch", "sh", "b", "p", "m", "f", "d", "t", "n", "l", "g", "k", "h", "j",
            "q", "x", "r", "z", "c", "s", "y", "w"]
FINALS = ["ang", "eng", "an", "ai", "ao", "ou", "er", "en", "ei", "a", "o", "e", "uang",
          "iang", "iong", "ing", "ong", "uai", "uan", "iao", "ian", "ui", "iu", "ie", "ue",
          "in", "un", "ia", "ua", "uo", "i", "u"]
ELEMENT = {name: number for number, name in enumerate(INITIALS + FINALS, start=1)}

LEAD_FIRST, LEAD_LAST = 0xB0, 0xF7
TRAIL_FIRST, TRAIL_LAST = 0xA1, 0xFE
COLUMNS = TRAIL_LAST - TRAIL_FIRST + 1
ROWS = LEAD_LAST - LEAD_FIRST + 1


def fail(message):
    sys.exit("make_pinyin_table: " + message)


def toneless(reading):
    # NFD splits tone marks and the umlaut off their vowel; dropping the marks leaves
    # the toneless syllable with u-umlaut already folded into u.
    decomposed = unicodedata.normalize("NFD", reading.strip().lower())
    plain = "".join(c for c in decomposed if not unicodedata.combining(c))
    return plain.replace("v", "u")


def encode(syllable):
    """The 16-bit code of a toneless syllable, or None when it is no syllable of the scheme
    (the nasal interjections ng, hm, hng)."""
    if syllable in FINALS:
        return ELEMENT[syllable]
    for initial in INITIALS:
        if syllable.startswith(initial):
            rest = syllable[len(initial):]
            if rest == "":
                return ELEMENT[initial]  # m, n: a syllable of one element
            if rest in FINALS:
                return ELEMENT[initial] | ELEMENT[rest] << 8
            return None
    return None


def read_pinyin_data():
    try:
        text = open(PINYIN_DATA, encoding="utf-8").read()
    except OSError as e:
        fail(f"{e}; install golang-github-mozillazg-go-pinyin-dev")
    readings = {}
    for m in re.finditer(r'0x([0-9A-Fa-f]+): "([^"]*)"', text):
        seen = []
        for r in m.group(2).split(","):
            t = toneless(r)
            if t and t not in seen:
                seen.append(t)
        readings[chr(int(m.group(1), 16))] = seen
    if len(readings) < 20000:
        fail(f"{PINYIN_DATA} holds only {len(readings)} characters; not the expected list")
    return readings


def read_luna():
    """Shares {char: {reading: percent or None}} and word counts {char: Counter(reading)}."""
    try:
        lines = open(LUNA_DICT, encoding="utf-8").read().splitlines()
    except OSError as e:
        fail(f"{e}; install rime-data-luna-pinyin")
    try:
        start = lines.index("...") + 1
    except ValueError:
        fail(f"{LUNA_DICT} has no end of header")
    shares = collections.defaultdict(dict)
    words = collections.defaultdict(collections.Counter)
    for line in lines[start:]:
        if not line or line.startswith("#"):
            continue
        fields = line.split("\t")
        text, rest = fields[0], " ".join(fields[1:]).split()
        share = None
        if rest and rest[-1].endswith("%"):
            share = float(rest.pop()[:-1])
        elif rest and rest[-1].isdigit():
            rest.pop()  # an absolute weight says nothing about the share
        syllables = [toneless(s) for s in rest]
        if len(syllables) != len(text):
            continue
        if len(text) == 1:
            shares[text][syllables[0]] = share
        else:
            for c, s in zip(text, syllables):
                words[c][s] += 1
    return shares, words


def select(char, candidates, shares, words):
    candidates = [r for r in candidates if encode(r) is not None]
    if not candidates:
        return []
    main = MAIN_READING.get(char, candidates[0])
    if main not in candidates:
        fail(f"{char}: {main} is no reading of pinyin-data's")
    share = shares.get(char, {})
    main_share = share.get(main)
    other_glyph = main_share is not None and (
        main_share == 0.0 or (main_share < GLYPH_SHARE and not words[char]))
    kept = [main]
    if not other_glyph:
        for r in candidates:
            s = share.get(r)
            if r != main and ((s is not None and s >= MIN_SHARE) or
                              (s is None and words[char][r] >= 1)):
                kept.append(r)

    def order(r):
        s = share.get(r)
        return (-(s if s is not None else -1.0), -words[char][r], candidates.index(r))

    return sorted(kept, key=order)[:MAX_READINGS]


def block_chars():
    chars = []
    for lead in range(LEAD_FIRST, LEAD_LAST + 1):
        for trail in range(TRAIL_FIRST, TRAIL_LAST + 1):
            try:
                chars.append(bytes([lead, trail]).decode("gb2312"))
            except UnicodeDecodeError:
                chars.append(None)
    return chars


def check(table):
    """The readings a clerk expects; the table is not written unless all hold."""
    by_char = {c: readings for c, readings in table if c}
    errors = []

    def expect(c, want):
        got = by_char.get(c, [])
        if sorted(got) != sorted(want):
            errors.append(f"{c}: {got}, expected {want}")

    def entry_of(c):
        got = by_char.get(c, [])
        return encode(got[0]) if len(got) == 1 else None

    for c, entry in [("啊", 0x0021), ("安", 0x001A), ("张", 0x1801), ("章", 0x1801),
                     ("王", 0x1817), ("汪", 0x1817), ("李", 0x360B), ("吕", 0x370B),
                     ("绿", 0x370B), ("女", 0x370A)]:
        if entry_of(c) != entry:
            errors.append(f"{c}: {by_char.get(c)}, expected the one reading {entry:#06x}")
    expect("长", ["chang", "zhang"])
    expect("曾", ["ceng", "zeng"])
    expect("单", ["dan", "chan", "shan"])
    expect("行", ["xing", "hang", "heng"])
    # Common surnames that nobody calls alike.
    for a, b in ["王于", "女如", "沈陈", "陶姚", "丁郑", "叶谢", "万莫", "汤尚", "庄彭", "芦胡"]:
        shared = set(by_char[a]) & set(by_char[b])
        if shared:
            errors.append(f"{a} and {b} share {sorted(shared)}")
    # And surnames that are alike through a reading of their own.
    for a, b in ["单善", "卜布", "缪苗", "仇邱", "解谢", "区欧", "查扎", "朴嫖", "曾增", "长张"]:
        if not set(by_char[a]) & set(by_char[b]):
            errors.append(f"{a} and {b} share no reading")
    for trail in range(0xFA, 0xFF):
        if table[(0xD7 - LEAD_FIRST) * COLUMNS + trail - TRAIL_FIRST][1]:
            errors.append(f"D7{trail:02X} has a reading")
    if errors:
        fail("the table does not give what a clerk expects:\n  " + "\n  ".join(errors))


def read_unihan():
    """Unihan's toneless kMandarin readings, the characters of the general list (kTGH) and
    each character's variants, in the order of VARIANT_FIELDS."""
    mandarin, general, variants = {}, set(), collections.defaultdict(list)
    wanted = {"kMandarin", "kTGH"} | set(VARIANT_FIELDS)
    for part in ("Readings", "OtherMappings", "Variants"):
        try:
            lines = bz2.open(UNIHAN.format(part), "rt", encoding="utf-8").read().splitlines()
        except OSError as e:
            fail(f"{e}; install unicode-data")
        for line in lines:
            if line.startswith("#") or not line.strip():
                continue
            code, field, value = line.split("\t", 2)
            if field not in wanted:
                continue
            c = chr(int(code[2:], 16))
            if field == "kMandarin":
                mandarin[c] = [toneless(r) for r in value.split()]
            elif field == "kTGH":
                general.add(c)
            else:
                for v in value.split():
                    variants[c].append((VARIANT_FIELDS.index(field),
                                        chr(int(v.split("<")[0][2:], 16))))
    if len(general) != 8105:
        fail(f"Unihan lists {len(general)} characters of the general list, not 8105")
    return mandarin, general, {c: [v for _, v in sorted(vs)] for c, vs in variants.items()}


# The variants a character without readings of its own is read by, the closest kind first.
VARIANT_FIELDS = ["kSpoofingVariant", "kZVariant", "kSimplifiedVariant", "kTraditionalVariant",
                  "kSemanticVariant"]


def in_block(c):
    try:
        lead, trail = c.encode("gb2312")
    except (UnicodeEncodeError, ValueError):
        return False
    return LEAD_FIRST <= lead <= LEAD_LAST and TRAIL_FIRST <= trail <= TRAIL_LAST


def supplement(pinyin, shares, words):
    """[(character, readings)] for the name characters outside the block, by code point.
    Candidates are pinyin-data's readings, else Unihan's kMandarin, else (for NAME_VARIANTS
    only) those of the first variant that has any; the block's rule then chooses among them."""
    mandarin, general, variants = read_unihan()
    chars = sorted((c for c in general if not in_block(c)), key=ord)
    chars += [c for c in NAME_VARIANTS if c not in chars]
    table = []
    for c in sorted(chars, key=ord):
        candidates = pinyin.get(c) or mandarin.get(c, [])
        if not candidates and c in NAME_VARIANTS:
            for v in variants.get(c, []):
                candidates = pinyin.get(v) or mandarin.get(v, [])
                if candidates:
                    break
        readings = select(c, candidates, shares, words)
        if not readings:
            fail(f"{c} (U+{ord(c):04X}) has no reading in any source")
        table.append((c, readings))
    by_char = dict(table)
    for c, want in SUPPLEMENT_EXPECTED.items():
        if sorted(by_char.get(c, [])) != sorted(want):
            fail(f"the supplement gives {c} {by_char.get(c)}, expected {want}")
    return table


def write_lists(out, name, lists):
    out.append(f"const std::uint16_t {name}[][3] = {{")
    for i in range(0, len(lists), 4):
        out.append("    " + " ".join("{" + ", ".join(f"0x{v:04X}" for v in l) + "},"
                                     for l in lists[i:i + 4]))
    out.append("};")


def entries_of(table):
    """The 16-bit entries of a table of readings and its reading lists."""
    entries, lists = [], []
    for c, readings in table:
        codes = [encode(r) for r in readings]
        if not codes:
            entries.append(0)
        elif len(codes) == 1:
            entries.append(codes[0])
        else:
            entries.append(0x8000 | len(lists))
            lists.append(codes + [0] * (3 - len(codes)))
    # A reading never reaches bit 15 (elements are below 64), so bit 15 can mark a list.
    if len(lists) >= 0x8000:
        fail("too many reading lists for a 15-bit index")
    return entries, lists


def sources_header():
    return ["// Generated by tools/make_pinyin_table.py; do not edit. See tools/README.md.",
            "// Sources: pinyin-data (golang-github-mozillazg-go-pinyin-dev "
            + package_version("golang-github-mozillazg-go-pinyin-dev") + "),",
            "// Luna Pinyin (rime-data-luna-pinyin "
            + package_version("rime-data-luna-pinyin") + ")"]


def write_supplement(path, table):
    entries, lists = entries_of(table)
    out = sources_header()
    out[-1] += ","
    out.append("// Unihan (unicode-data " + package_version("unicode-data") + ").")
    out.append('#include "core/query/pinyin_table.h"')
    out.append("")
    out.append("namespace query {")
    out.append("")
    out.append("// Ascending by code point.")
    out.append("const PinyinSupplementEntry kPinyinSupplement[] = {")
    cells = [f"{{0x{ord(c):05X}, 0x{e:04X}}}," for (c, _), e in zip(table, entries)]
    for i in range(0, len(cells), 5):
        out.append("    " + " ".join(cells[i:i + 5]))
    out.append("};")
    out.append("")
    out.append(f"const std::size_t kPinyinSupplementCount = {len(table)};")
    out.append("")
    write_lists(out, "kPinyinSupplementLists", lists)
    out.append("")
    out.append("}  // namespace query")
    with open(path, "w", encoding="ascii") as f:
        f.write("\n".join(out) + "\n")


def package_version(name):
    try:
        out = subprocess.run(["dpkg-query", "-W", "-f=${Version}", name],
                             capture_output=True, text=True, check=True)
        return out.stdout.strip() or "unknown"
    except (OSError, subprocess.CalledProcessError):
        return "unknown"


def write(path, table):
    entries, lists = entries_of(table)
    out = sources_header()
    out[-1] += "."
    out.append('#include "core/query/pinyin_table.h"')
    out.append("")
    out.append("namespace query {")
    out.append("")
    out.append("// One row per lead byte, 94 entries per row.")
    out.append("const std::uint16_t kPinyinEntries[kPinyinBlockSize] = {")
    for row in range(ROWS):
        out.append(f"    // {LEAD_FIRST + row:02X}")
        cells = entries[row * COLUMNS:(row + 1) * COLUMNS]
        for i in range(0, COLUMNS, 10):
            out.append("    " + " ".join(f"0x{e:04X}," for e in cells[i:i + 10]))
    out.append("};")
    out.append("")
    out.append(f"const std::size_t kPinyinListCount = {len(lists)};")
    out.append("")
    write_lists(out, "kPinyinLists", lists)
    out.append("")
    out.append("}  // namespace query")
    with open(path, "w", encoding="ascii") as f:
        f.write("\n".join(out) + "\n")


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    path = sys.argv[1] if len(sys.argv) > 1 else os.path.join(root, "src/core/query/pinyin_table.cpp")
    extra = (sys.argv[2] if len(sys.argv) > 2 else
             os.path.join(root, "src/core/query/pinyin_supplement.cpp"))
    pinyin = read_pinyin_data()
    shares, words = read_luna()
    table = []
    for c in block_chars():
        table.append((c, select(c, pinyin.get(c, []), shares, words) if c else []))
    check(table)
    write(path, table)
    counts = collections.Counter(len(r) for _, r in table)
    print(f"{path}: {counts[1]} characters with one reading, {counts[2]} with two, "
          f"{counts[3]} with three, {counts[0]} positions without a reading", file=sys.stderr)
    extras = supplement(pinyin, shares, words)
    write_supplement(extra, extras)
    counts = collections.Counter(len(r) for _, r in extras)
    print(f"{extra}: {len(extras)} characters, {counts[2] + counts[3]} with several readings",
          file=sys.stderr)


if __name__ == "__main__":
    main()

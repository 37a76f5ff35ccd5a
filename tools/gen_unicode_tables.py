#!/usr/bin/env python3
"""Generates src/text/unicode_tables.{h,cpp} from the Unicode Character Database.

    tools/gen_unicode_tables.py [--ucd DIR] [--out DIR]

DIR defaults to /usr/share/unicode (Debian's unicode-data package) and the
output to src/text of this checkout. The output depends only on the UCD files,
so running the script twice gives identical files; both the script and its
output are committed, and a test checks that they still agree.

Every code point below kTableLimit maps, through a three-stage index, to one
record of a small deduplicated record table:

    stage1[cp >> (shift1 + shift2)]            -> block of stage2
    stage2[block << shift1 | (cp >> shift2) & mask1] -> block of stage3
    stage3[block << shift2 | cp & mask2]       -> record index

A record holds the offsets from the code point to the first code point of its
full lowercase and full uppercase mappings, and a byte of flags. Offsets rather
than targets let runs of letters with the same case distance share a record.
The few code points whose full lowercase is longer than one code point are
flagged and listed in a sorted side table. Above kTableLimit the database
assigns only private-use planes, which one branch covers.
"""

import argparse
import os
import re
import sys

FLAG_CASED = 1
FLAG_CASE_IGNORABLE = 2
FLAG_GRAPHEME_EXTEND = 4
FLAG_PRINTABLE = 8
FLAG_ASSIGNED = 16
FLAG_LOWER_EXPANDS = 32

MAX_CP = 0x110000
MAX_BLOCK = 1 << 12  # code points per stage-1 entry, at most
NOT_PRINTABLE = {"Cc", "Cf", "Co", "Cs", "Cn", "Zl", "Zp", "Zs"}


def data_lines(path):
    with open(path, encoding="utf-8") as f:
        for line in f:
            line = line.split("#", 1)[0].strip()
            if line:
                yield line


def version_of(path):
    with open(path, encoding="utf-8") as f:
        m = re.match(r"#\s*\S+-(\d+\.\d+\.\d+)\.txt", f.readline())
    if not m:
        sys.exit(f"cannot read the Unicode version from {path}")
    return m.group(1)


def read_unicode_data(ucd):
    category = ["Cn"] * MAX_CP
    simple_lower = {}
    simple_upper = {}
    range_start = None
    for line in data_lines(os.path.join(ucd, "UnicodeData.txt")):
        fields = line.split(";")
        cp = int(fields[0], 16)
        name, cat = fields[1], fields[2]
        if name.endswith(", First>"):
            range_start = cp
            continue
        if name.endswith(", Last>"):
            for c in range(range_start, cp + 1):
                category[c] = cat
            range_start = None
            continue
        category[cp] = cat
        if fields[12]:
            simple_upper[cp] = int(fields[12], 16)
        if fields[13]:
            simple_lower[cp] = int(fields[13], 16)
    return category, simple_lower, simple_upper


def read_special_casing(ucd):
    """Unconditional full mappings only: locale and context rules are not ours."""
    lower, upper = {}, {}
    for line in data_lines(os.path.join(ucd, "SpecialCasing.txt")):
        fields = [f.strip() for f in line.split(";")]
        if len(fields) > 4 and fields[4]:
            continue  # a condition list: Final_Sigma or a language tailoring
        cp = int(fields[0], 16)
        lower[cp] = [int(x, 16) for x in fields[1].split()]
        upper[cp] = [int(x, 16) for x in fields[3].split()]
    return lower, upper


def read_property(path, name):
    members = set()
    for line in data_lines(path):
        cps, prop = [f.strip() for f in line.split(";")[:2]]
        if prop != name:
            continue
        lo, _, hi = cps.partition("..")
        members.update(range(int(lo, 16), int(hi or lo, 16) + 1))
    return members


def build_records(ucd):
    category, simple_lower, simple_upper = read_unicode_data(ucd)
    special_lower, special_upper = read_special_casing(ucd)
    derived = os.path.join(ucd, "DerivedCoreProperties.txt")
    cased = read_property(derived, "Cased")
    case_ignorable = read_property(derived, "Case_Ignorable")
    grapheme_extend = read_property(derived, "Grapheme_Extend")

    def full_lower(cp):
        if cp in special_lower:
            return special_lower[cp]
        return [simple_lower.get(cp, cp)]

    def full_upper(cp):
        if cp in special_upper:
            return special_upper[cp]
        return [simple_upper.get(cp, cp)]

    records = []
    expansions = {}
    for cp in range(MAX_CP):
        lower = full_lower(cp)
        upper = full_upper(cp)
        cat = category[cp]
        flags = 0
        if cp in cased:
            flags |= FLAG_CASED
        if cp in case_ignorable:
            flags |= FLAG_CASE_IGNORABLE
        if cp in grapheme_extend:
            flags |= FLAG_GRAPHEME_EXTEND
        if cat not in NOT_PRINTABLE or cp == 0x20:
            flags |= FLAG_PRINTABLE
        if cat != "Cn":
            flags |= FLAG_ASSIGNED
        if len(lower) > 1:
            flags |= FLAG_LOWER_EXPANDS
            expansions[cp] = lower
        records.append((lower[0] - cp, upper[0] - cp, flags))
    return records, expansions


def check_ascii(records):
    """The C++ side answers ASCII without the tables; make sure it still may."""
    for cp in range(0x80):
        ch = chr(cp)
        lower = cp + 32 if "A" <= ch <= "Z" else cp
        upper = cp - 32 if "a" <= ch <= "z" else cp
        flags = FLAG_ASSIGNED
        if ch.isalpha():
            flags |= FLAG_CASED
        if ch in "'.:^`":
            flags |= FLAG_CASE_IGNORABLE
        if 0x20 <= cp < 0x7F:
            flags |= FLAG_PRINTABLE
        assert records[cp] == (lower - cp, upper - cp, flags), hex(cp)


def tail_record(cp):
    """What the records above the table limit must be: the private-use planes
    15 and 16 are assigned, their last two code points are noncharacters."""
    private = cp >= 0xF0000 and (cp & 0xFFFF) < 0xFFFE
    return (0, 0, FLAG_ASSIGNED) if private else (0, 0, 0)


def table_limit(records):
    limit = MAX_CP
    while limit > 0 and records[limit - 1] == tail_record(limit - 1):
        limit -= 1
    # A whole number of top-level blocks, whichever shifts best_layout picks.
    return (limit + MAX_BLOCK - 1) & ~(MAX_BLOCK - 1)


def split(values, shift):
    """Cuts values into blocks of 1 << shift and deduplicates them: returns
    (index of each block, concatenated distinct blocks)."""
    size = 1 << shift
    assert len(values) % size == 0
    seen = {}
    index, blocks = [], []
    for start in range(0, len(values), size):
        block = tuple(values[start:start + size])
        if block not in seen:
            seen[block] = len(blocks) // size
            blocks.extend(block)
        index.append(seen[block])
    return index, blocks


def int_type(values):
    top = max(values)
    if top < 1 << 8:
        return "std::uint8_t", 1
    if top < 1 << 16:
        return "std::uint16_t", 2
    return "std::uint32_t", 4


def best_layout(values):
    best = None
    for shift2 in range(4, 9):
        mid, leaves = split(values, shift2)
        for shift1 in range(2, 13 - shift2):
            top, middle = split(mid, shift1)
            size = sum(len(a) * int_type(a)[1] for a in (top, middle, leaves))
            if best is None or size < best[0]:
                best = (size, shift1, shift2, top, middle, leaves)
    return best


def format_array(ctype, name, values, per_line=16):
    lines = [f"const {ctype} {name}[{len(values)}] = {{"]
    for start in range(0, len(values), per_line):
        chunk = values[start:start + per_line]
        lines.append("    " + ", ".join(str(v) for v in chunk) + ",")
    lines.append("};")
    return "\n".join(lines)


def generate(ucd):
    version = version_of(os.path.join(ucd, "DerivedCoreProperties.txt"))
    records, expansions = build_records(ucd)
    check_ascii(records)
    limit = table_limit(records)
    for cp in range(limit, MAX_CP):
        assert records[cp] == tail_record(cp), hex(cp)

    distinct = {}
    # The tail records come first so that their indexes are fixed constants.
    for rec in [tail_record(0), tail_record(0xF0000)] + records[:limit]:
        distinct.setdefault(rec, len(distinct))
    record_index = [distinct[rec] for rec in records[:limit]]
    size, shift1, shift2, stage1, stage2, stage3 = best_layout(record_index)
    assert max(len(v) for v in expansions.values()) <= 3

    t1, t2, t3 = int_type(stage1)[0], int_type(stage2)[0], int_type(stage3)[0]
    record_rows = [f"    {{{lo}, {up}, {flags}}}," for (lo, up, flags) in distinct]
    expansion_rows = [
        "    {%d, {%s}, %d}," % (cp, ", ".join(str(c) for c in (m + [0, 0])[:3]), len(m))
        for cp, m in sorted(expansions.items())
    ]
    table_bytes = size + len(distinct) * 12 + len(expansions) * 16

    header = f"""\
// Generated by tools/gen_unicode_tables.py from the Unicode Character Database
// {version}. Do not edit: change the generator and run it again.
//
// About {table_bytes} bytes of tables. The lookup is three dependent loads into
// small arrays; callers handle ASCII before they get here.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tavrell::text::unicode_tables {{

inline constexpr const char* kUnicodeVersion = "{version}";

enum : std::uint8_t {{
  kCased = {FLAG_CASED},
  kCaseIgnorable = {FLAG_CASE_IGNORABLE},
  kGraphemeExtend = {FLAG_GRAPHEME_EXTEND},
  kPrintable = {FLAG_PRINTABLE},
  kAssigned = {FLAG_ASSIGNED},
  // The full lowercase mapping is longer than one code point: see kLowerExpansions.
  kLowerExpands = {FLAG_LOWER_EXPANDS},
}};

struct CharRecord {{
  std::int32_t lower_offset;  // first code point of the full lowercase, minus the code point
  std::int32_t upper_offset;  // first code point of the full uppercase, minus the code point
  std::uint8_t flags;
}};

struct LowerExpansion {{
  char32_t code_point;
  char32_t mapping[3];
  std::uint8_t length;
}};

inline constexpr char32_t kTableLimit = 0x{limit:X};
inline constexpr unsigned kShift1 = {shift1};
inline constexpr unsigned kShift2 = {shift2};
// Records of the code points at and above kTableLimit.
inline constexpr std::size_t kUnassignedRecord = 0;
inline constexpr std::size_t kPrivateUseRecord = 1;

extern const CharRecord kRecords[{len(distinct)}];
extern const {t1} kStage1[{len(stage1)}];
extern const {t2} kStage2[{len(stage2)}];
extern const {t3} kStage3[{len(stage3)}];
extern const LowerExpansion kLowerExpansions[{len(expansions)}];

inline const CharRecord& record_of(char32_t c) {{
  if (c >= kTableLimit) {{
    const bool private_use = c >= 0xF0000 && c < 0x110000 && (c & 0xFFFF) < 0xFFFE;
    return kRecords[private_use ? kPrivateUseRecord : kUnassignedRecord];
  }}
  const std::size_t mid = kStage1[c >> (kShift1 + kShift2)];
  const std::size_t leaf = kStage2[(mid << kShift1) | ((c >> kShift2) & ((1u << kShift1) - 1))];
  return kRecords[kStage3[(leaf << kShift2) | (c & ((1u << kShift2) - 1))]];
}}

}}  // namespace tavrell::text::unicode_tables
"""

    source = f"""\
// Generated by tools/gen_unicode_tables.py from the Unicode Character Database
// {version}. Do not edit: change the generator and run it again.
#include "text/unicode_tables.h"

// clang-format off
namespace tavrell::text::unicode_tables {{

const CharRecord kRecords[{len(distinct)}] = {{
{chr(10).join(record_rows)}
}};

{format_array(t1, "kStage1", stage1)}

{format_array(t2, "kStage2", stage2)}

{format_array(t3, "kStage3", stage3)}

// Sorted by code point.
const LowerExpansion kLowerExpansions[{len(expansions)}] = {{
{chr(10).join(expansion_rows)}
}};

}}  // namespace tavrell::text::unicode_tables
// clang-format on
"""
    return header, source


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--ucd", default="/usr/share/unicode", help="folder of the UCD text files")
    parser.add_argument("--out", default=os.path.join(root, "src", "text"), help="output folder")
    args = parser.parse_args()
    header, source = generate(args.ucd)
    for name, text in (("unicode_tables.h", header), ("unicode_tables.cpp", source)):
        with open(os.path.join(args.out, name), "w", encoding="utf-8", newline="\n") as f:
            f.write(text)


if __name__ == "__main__":
    main()

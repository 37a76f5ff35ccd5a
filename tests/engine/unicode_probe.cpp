// Exposes the Unicode tables to tests/test_text_core.py, which compares them
// with Python's own character database.
//
//   unicode_probe dump     writes, for every code point from 0 to 0x10FFFF, three
//                          little-endian uint32: lower_first, upper_first and
//                          a flag word (see kDump* below)
//   unicode_probe version  prints the Unicode version of the tables
//   unicode_probe lower    reads NUL-terminated UTF-8 texts from stdin and writes
//                          the lowercase_full of each, NUL-terminated
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <iterator>
#include <string>

#include "text/unicode.h"
#include "text/unicode_tables.h"
#include "text/utf8.h"

namespace {

using namespace tavrell::text;

enum : std::uint32_t {
  kDumpGraphemeExtend = 1,
  kDumpPrintable = 2,
  kDumpAssigned = 4,
  kDumpCased = 8,
  kDumpCaseIgnorable = 16,
};

void put_u32(std::string& out, std::uint32_t v) {
  for (int k = 0; k < 4; ++k) out.push_back(static_cast<char>((v >> (8 * k)) & 0xFF));
}

int dump() {
  std::string out;
  out.reserve(0x110000 * 12);
  for (char32_t c = 0; c < 0x110000; ++c) {
    const std::uint8_t raw = unicode_tables::record_of(c).flags;
    std::uint32_t flags = 0;
    if (is_grapheme_extend(c)) flags |= kDumpGraphemeExtend;
    if (is_printable(c)) flags |= kDumpPrintable;
    if (raw & unicode_tables::kAssigned) flags |= kDumpAssigned;
    if (raw & unicode_tables::kCased) flags |= kDumpCased;
    if (raw & unicode_tables::kCaseIgnorable) flags |= kDumpCaseIgnorable;
    put_u32(out, lower_first(c));
    put_u32(out, upper_first(c));
    put_u32(out, flags);
  }
  // Code points beyond Unicode must come back unchanged and unclassified.
  for (char32_t c : {char32_t{0x110000}, char32_t{0x7FFFFFFF}, char32_t{0xFFFFFFFF}}) {
    if (lower_first(c) != c || upper_first(c) != c || is_printable(c) || is_grapheme_extend(c)) {
      std::fprintf(stderr, "code point %#x out of range is not left alone\n",
                   static_cast<unsigned>(c));
      return 1;
    }
  }
  std::fwrite(out.data(), 1, out.size(), stdout);
  return 0;
}

int lower() {
  const std::string input{std::istreambuf_iterator<char>(std::cin), {}};
  std::string out;
  std::size_t start = 0;
  while (start < input.size()) {
    std::size_t end = input.find('\0', start);
    if (end == std::string::npos) end = input.size();
    for (char32_t c : lowercase_full(std::string_view(input).substr(start, end - start)))
      append_utf8(out, c);
    out.push_back('\0');
    start = end + 1;
  }
  std::fwrite(out.data(), 1, out.size(), stdout);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], "dump") == 0) return dump();
  if (argc == 2 && std::strcmp(argv[1], "lower") == 0) return lower();
  if (argc == 2 && std::strcmp(argv[1], "version") == 0) {
    std::printf("%s\n", unicode_tables::kUnicodeVersion);
    return 0;
  }
  std::fprintf(stderr, "usage: unicode_probe dump|lower\n");
  return 2;
}

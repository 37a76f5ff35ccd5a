// Exposes the replacement strategies below the Python surface, where each
// strategy's whole candidate list can be seen (through replace_content only the
// first usable candidate of the first strategy that has one shows).
//
//   strategy_probe          reads cases "<content hex> <find hex>" (an empty
//                           text is written "-"), one per line, and prints for
//                           each: one line per strategy in cascade order, the
//                           candidate count followed by the candidates in hex;
//                           then one line with normalize_whitespace,
//                           remove_common_indentation and unescape_string of
//                           the content.
//   strategy_probe bytes N  runs replace_content and the normal forms on N
//                           random byte strings (malformed UTF-8 included):
//                           nothing may crash or read out of bounds. Prints
//                           "ok".
#include <cstdio>
#include <cstring>
#include <iostream>
#include <optional>
#include <random>
#include <string>

#include "content_replacer/replace.h"
#include "content_replacer/strategies.h"

namespace {

using namespace tavrell::content_replacer;

using Routine = Candidates (*)(std::string_view, std::string_view);
constexpr Routine kCascade[] = {
    simple_replacer,
    line_trimmed_replacer,
    block_anchor_replacer,
    whitespace_normalized_replacer,
    indentation_flexible_replacer,
    escape_normalized_replacer,
    trimmed_boundary_replacer,
    context_aware_replacer,
};

std::string from_hex(const std::string& h) {
  std::string out;
  if (h == "-") return out;
  for (std::size_t i = 0; i + 1 < h.size(); i += 2) {
    out.push_back(static_cast<char>(std::stoi(h.substr(i, 2), nullptr, 16)));
  }
  return out;
}

std::string to_hex(std::string_view s) {
  if (s.empty()) return "-";
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : s) {
    out.push_back(digits[c >> 4]);
    out.push_back(digits[c & 15]);
  }
  return out;
}

int probe() {
  std::string content_hex, find_hex;
  while (std::cin >> content_hex >> find_hex) {
    const std::string content = from_hex(content_hex);
    const std::string find = from_hex(find_hex);
    for (Routine routine : kCascade) {
      const Candidates candidates = routine(content, find);
      std::cout << candidates.size();
      for (const std::string& c : candidates) std::cout << ' ' << to_hex(c);
      std::cout << '\n';
    }
    std::cout << to_hex(normalize_whitespace(content)) << ' '
              << to_hex(remove_common_indentation(content)) << ' '
              << to_hex(unescape_string(content)) << '\n';
  }
  return 0;
}

int random_bytes(long cases) {
  std::mt19937_64 rng(20240612);
  // Pieces that make lines, whitespace, escapes and brackets, whole and cut
  // multi-byte characters, stray continuation bytes and bytes never valid.
  static const std::string pieces[] = {
      "a",
      "b",
      " ",
      "\t",
      "\n",
      "\r",
      "\\",
      "n",
      "(",
      ":",
      ",",
      "\xc3\xa9",
      "\xc3",
      "\xa9",
      "\xe3\x80",
      "\xe3\x80\x80",
      "\xc2\xa0",
      "\xc2\x85",
      "\xf0\x9f\x98",
      "\xf0\x9f\x98\x80",
      "\xff",
      std::string(1, '\0'),
      "\xe2\x80\x83",
  };
  auto text = [&](unsigned max_pieces) {
    std::string s;
    for (unsigned n = rng() % (max_pieces + 1); n > 0; --n) s += pieces[rng() % std::size(pieces)];
    return s;
  };
  for (long i = 0; i < cases; ++i) {
    const std::string content = text(40);
    std::string old_string = text(10);
    if (rng() % 3 == 0 && !content.empty()) {
      // A piece of the content, possibly cut inside a character, with
      // whitespace around it: the looser strategies get to work.
      old_string = " " + content.substr(rng() % content.size(), rng() % 12) + "\n";
    }
    const std::string new_string = text(5);
    std::optional<std::uint32_t> hint;
    if (rng() % 3 == 0) hint = static_cast<std::uint32_t>(rng() % 5);
    replace_content(content, old_string, new_string, rng() % 3 == 0, hint);
    normalize_whitespace(content);
    remove_common_indentation(content);
    unescape_string(content);
  }
  std::printf("ok\n");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "bytes") == 0) return random_bytes(std::atol(argv[2]));
  return probe();
}

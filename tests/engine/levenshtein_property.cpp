// Checks the bit-parallel levenshtein_distance and levenshtein_distance_bounded
// against the textbook two-row dynamic programme, on random texts from a seeded
// generator: short and long (past one and two 64-row blocks), ASCII and
// multi-byte, unrelated and nearly equal. Exits non-zero at the first mismatch.
//
//   levenshtein_property [cases]
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "text/levenshtein.h"
#include "text/utf8.h"

namespace {

using tavrell::text::levenshtein_distance;
using tavrell::text::levenshtein_distance_bounded;

std::uint64_t reference_distance(const std::u32string& a, const std::u32string& b) {
  std::vector<std::uint64_t> row(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (std::size_t i = 0; i < a.size(); ++i) {
    std::uint64_t diag = row[0];
    row[0] = i + 1;
    for (std::size_t j = 0; j < b.size(); ++j) {
      const std::uint64_t up = row[j + 1];
      row[j + 1] = std::min({diag + (a[i] != b[j] ? 1u : 0u), row[j] + 1, up + 1});
      diag = up;
    }
  }
  return row[b.size()];
}

std::string encode(const std::u32string& s) {
  std::string out;
  for (char32_t c : s) tavrell::text::append_utf8(out, c);
  return out;
}

std::string show(const std::u32string& s) {
  std::string out = encode(s);
  return out.size() > 400 ? out.substr(0, 400) + "..." : out;
}

const std::vector<std::u32string> kAlphabets = {
    U"ab",                              // tiny: many matches, long runs
    U"abcd ",                           // small ASCII
    U"\u00e9\u4e2d\U0001F600e",         // é, 中, an emoji and e: one to four bytes
    U"ab\u00e9\u4e2d\U0001F600 {}();",  // mixed
    U"abcdefghijklmnopqrstuvwxyz0123456789 _.,;:(){}[]<>=+-*/\"'\n",  // code-like
};

class Generator {
 public:
  explicit Generator(std::uint32_t seed) : rng_(seed) {}

  std::size_t below(std::size_t n) {
    return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng_);
  }

  std::u32string text(const std::u32string& alphabet, std::size_t length) {
    std::u32string s;
    for (std::size_t i = 0; i < length; ++i) s.push_back(alphabet[below(alphabet.size())]);
    return s;
  }

  // A few random insertions, deletions and substitutions: keeps the distance
  // small, which is where the band of the bounded form matters.
  std::u32string mutate(std::u32string s, const std::u32string& alphabet, std::size_t edits) {
    for (std::size_t e = 0; e < edits; ++e) {
      const std::size_t kind = below(3);
      const char32_t c = alphabet[below(alphabet.size())];
      if (kind == 0 || s.empty()) {
        s.insert(s.begin() + static_cast<std::ptrdiff_t>(below(s.size() + 1)), c);
      } else if (kind == 1) {
        s.erase(s.begin() + static_cast<std::ptrdiff_t>(below(s.size())));
      } else {
        s[below(s.size())] = c;
      }
    }
    return s;
  }

  std::size_t length() {
    // Favour the block edges: 64 and 128 code points.
    static const std::size_t kEdges[] = {0, 1, 63, 64, 65, 127, 128, 129, 191, 192, 193};
    if (below(4) == 0) return kEdges[below(std::size(kEdges))];
    // Now and then a long one, where the band of the bounded form spans and
    // leaves many blocks.
    if (below(40) == 0) return 300 + below(1500);
    return below(301);
  }

 private:
  std::mt19937 rng_;
};

int failures = 0;

void fail(const char* what, const std::u32string& a, const std::u32string& b, std::uint64_t want,
          std::optional<std::uint64_t> got, std::uint64_t max) {
  ++failures;
  std::fprintf(stderr,
               "%s mismatch (max %llu): expected %llu, got %s\n  a = \"%s\"\n  b = \"%s\"\n", what,
               static_cast<unsigned long long>(max), static_cast<unsigned long long>(want),
               got ? std::to_string(*got).c_str() : "none", show(a).c_str(), show(b).c_str());
}

void check_pair(const std::u32string& a, const std::u32string& b) {
  const std::uint64_t want = reference_distance(a, b);
  const std::string ua = encode(a);
  const std::string ub = encode(b);
  const std::uint64_t full8 = levenshtein_distance(ua, ub);
  if (full8 != want) fail("levenshtein_distance(utf8)", a, b, want, full8, 0);
  const std::uint64_t full32 = levenshtein_distance(std::u32string_view(a), std::u32string_view(b));
  if (full32 != want) fail("levenshtein_distance(u32)", a, b, want, full32, 0);

  std::vector<std::uint64_t> maxes = {0, 1, want, want + 1, want + 5, UINT64_MAX};
  for (std::uint64_t below : {1, 2, 5}) {
    if (want >= below) maxes.push_back(want - below);
  }
  maxes.push_back(want / 2);
  for (std::uint64_t max : maxes) {
    // UINT64_MAX stands for "over the bound": no distance here comes near it.
    const std::uint64_t expected = want <= max ? want : UINT64_MAX;
    const auto got8 = levenshtein_distance_bounded(ua, ub, max);
    if (got8.value_or(UINT64_MAX) != expected) {
      fail("levenshtein_distance_bounded(utf8)", a, b, want, got8, max);
    }
    const auto got32 =
        levenshtein_distance_bounded(std::u32string_view(a), std::u32string_view(b), max);
    if (got32.value_or(UINT64_MAX) != expected) {
      fail("levenshtein_distance_bounded(u32)", a, b, want, got32, max);
    }
  }
}

void check_examples() {
  const struct {
    const char* a;
    const char* b;
    std::uint64_t want;
  } examples[] = {
      {"flaw", "lawn", 2},
      {"", "", 0},
      {"", "abc", 3},
      {"h\u00e9llo", "", 5},
      {"", "\u4e2d\U0001F600", 2},
      {"\u00e9", "e", 1},
      {"kitten", "sitting", 3},
  };
  for (const auto& ex : examples) {
    for (int swap = 0; swap < 2; ++swap) {
      const std::string a = swap ? ex.b : ex.a;
      const std::string b = swap ? ex.a : ex.b;
      const std::uint64_t got = levenshtein_distance(a, b);
      const auto bounded = levenshtein_distance_bounded(a, b, ex.want);
      const auto too_tight =
          ex.want ? levenshtein_distance_bounded(a, b, ex.want - 1) : std::nullopt;
      if (got != ex.want || bounded != ex.want || too_tight) {
        ++failures;
        std::fprintf(stderr, "example \"%s\" / \"%s\": expected %llu, got %llu\n", a.c_str(),
                     b.c_str(), static_cast<unsigned long long>(ex.want),
                     static_cast<unsigned long long>(got));
      }
    }
  }
}

// A pattern long enough and with enough distinct code points that the match
// bits are kept per block rather than per code point. Every code point of a
// occurs once and the substitutes occur nowhere in a, so the distance is the
// number of substitutions.
void check_large_alphabet() {
  std::u32string a;
  for (char32_t c = 0x4E00; c < 0x4E00 + 33000; ++c) a.push_back(c);
  std::u32string b = a;
  // From the first code point to the last, so that no shared prefix or suffix
  // shortens the pattern.
  for (std::size_t k = 0; k < 20; ++k)
    b[k * (a.size() - 1) / 19] = 0x10000 + static_cast<char32_t>(k);
  const std::u32string_view va(a), vb(b);
  const auto exact = levenshtein_distance_bounded(va, vb, 20);
  const auto over = levenshtein_distance_bounded(va, vb, 19);
  const auto loose = levenshtein_distance_bounded(encode(b), encode(a), 10000);
  if (exact != std::optional<std::uint64_t>(20) || over || loose != exact) {
    ++failures;
    std::fprintf(stderr, "large alphabet: expected 20, got %s / %s / %s\n",
                 exact ? std::to_string(*exact).c_str() : "none",
                 over ? std::to_string(*over).c_str() : "none",
                 loose ? std::to_string(*loose).c_str() : "none");
  }
}

}  // namespace

int main(int argc, char** argv) {
  const long cases = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 3000;
  check_examples();
  check_large_alphabet();
  Generator gen(20240611);
  for (long k = 0; k < cases && failures < 5; ++k) {
    const std::u32string& alphabet = kAlphabets[gen.below(kAlphabets.size())];
    const std::u32string a = gen.text(alphabet, gen.length());
    std::u32string b;
    switch (gen.below(3)) {
      case 0:
        b = gen.text(alphabet, gen.length());
        break;
      case 1:
        b = gen.mutate(a, alphabet, gen.below(8));
        break;
      default:
        b = gen.mutate(a, alphabet, gen.below(60));
        break;
    }
    check_pair(a, b);
  }
  if (failures > 0) {
    std::fprintf(stderr, "%d mismatches\n", failures);
    return 1;
  }
  std::printf("ok\n");
  return 0;
}

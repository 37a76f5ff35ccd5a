#include "fuzzy/fuzzy.h"

#include <algorithm>
#include <array>

#include "text/unicode.h"
#include "text/utf8.h"

namespace tavrell::fuzzy {
namespace {

// Scores wrap modulo 2^32: all arithmetic is done on unsigned values and read
// back as signed only where a comparison needs it.
inline std::uint32_t u(std::int32_t v) {
  return static_cast<std::uint32_t>(v);
}
inline std::int32_t s(std::uint32_t v) {
  return static_cast<std::int32_t>(v);
}

// What the scan needs to know of one character of instring.
struct CharInfo {
  char32_t lower;     // lower(c)
  bool lower_letter;  // c equals lower(c) and lower(c) differs from upper(c)
  bool upper_letter;  // c equals upper(c) and lower(c) differs from upper(c)
  bool separator;     // '_' or space
};

constexpr std::array<CharInfo, 128> make_ascii_info() {
  std::array<CharInfo, 128> t{};
  for (char32_t c = 0; c < 128; ++c) {
    const bool up = c >= 'A' && c <= 'Z';
    const bool low = c >= 'a' && c <= 'z';
    t[c] = {up ? c + 32 : c, low, up, c == U'_' || c == U' '};
  }
  return t;
}
// A table rather than range tests: on mixed-case text the tests are a steady
// source of branch mispredictions in the scoring loop.
constexpr std::array<CharInfo, 128> kAsciiInfo = make_ascii_info();

inline CharInfo info_of(char32_t c) {
  if (c < 0x80) return kAsciiInfo[c];
  const char32_t cl = text::lower_first(c);
  const char32_t cu = text::upper_first(c);
  return {cl, c == cl && cl != cu, c == cu && cl != cu, false};
}

}  // namespace

FuzzyPattern::FuzzyPattern(std::string_view pattern) {
  text::decode_into(pattern, lowered_);
  for (auto& c : lowered_) c = text::lower_first(c);
}

FuzzyScore fuzzy_match(const FuzzyPattern& pattern, std::string_view instring,
                       const FuzzyWeights& w) {
  if (pattern.empty()) return {false, 0};
  // The weights are read once into locals so that the loop keeps them in
  // registers instead of reloading them through the reference.
  const std::uint32_t adj_bonus = u(w.adj_bonus);
  const std::uint32_t sep_bonus = u(w.sep_bonus);
  const std::uint32_t camel_bonus = u(w.camel_bonus);
  const std::uint32_t lead_penalty = u(w.lead_penalty);
  const std::int32_t max_lead_penalty = w.max_lead_penalty;
  const std::uint32_t unmatched_penalty = u(w.unmatched_penalty);
  const std::size_t n = pattern.size();
  std::size_t pidx = 0;
  std::uint32_t score = 0;
  bool prev_matched = false;
  bool prev_lower = false;
  bool prev_separator = true;
  bool best_held = false;
  char32_t best_lower = 0;
  std::uint32_t best_score = 0;

  std::uint32_t k = 0;  // index of c, reduced modulo 2^32
  for (std::size_t i = 0; i < instring.size(); ++k) {
    const char32_t c = text::decode_next(instring, i);
    const CharInfo ci = info_of(c);
    const char32_t cl = ci.lower;
    const bool have_pattern_char = pidx < n;
    const char32_t pl = have_pattern_char ? pattern.lowered(pidx) : 0;
    const bool next_match = have_pattern_char && pl == cl;
    const bool rematch = best_held && best_lower == cl;
    const bool advanced = next_match && best_held;
    const bool pattern_repeat = best_held && have_pattern_char && best_lower == pl;

    if (advanced || pattern_repeat) {
      score += best_score;
      best_held = false;
      best_score = 0;
    }

    if (next_match || rematch) {
      if (pidx == 0) {
        const std::uint32_t lead = k * lead_penalty;
        score += u(std::max(s(lead), max_lead_penalty));
      }
      std::uint32_t bonus = 0;
      if (prev_matched) bonus += adj_bonus;
      if (prev_separator) bonus += sep_bonus;
      // c equals upper(c) and lower(c) differs from it: an uppercase letter.
      if (prev_lower && ci.upper_letter) bonus += camel_bonus;
      if (next_match) ++pidx;
      if (s(bonus) >= s(best_score)) {
        if (best_held) score += unmatched_penalty;
        best_held = true;
        best_lower = cl;
        best_score = bonus;
      }
      prev_matched = true;
    } else {
      score += unmatched_penalty;
      prev_matched = false;
    }

    prev_lower = ci.lower_letter;
    prev_separator = ci.separator;
  }
  if (best_held) score += best_score;
  return {pidx == n, s(score)};
}

FuzzyScore fuzzy_match(std::string_view pattern, std::string_view instring,
                       const FuzzyWeights& weights) {
  if (pattern.empty()) return {false, 0};
  return fuzzy_match(FuzzyPattern(pattern), instring, weights);
}

bool fuzzy_match_simple(std::string_view pattern, std::string_view instring, bool case_sensitive) {
  if (pattern.empty()) return true;
  if (instring.empty()) return false;
  const std::u32string p = case_sensitive ? text::decode(pattern) : text::lowercase_full(pattern);
  // instring is read one code point at a time rather than decoded or lowered
  // whole: the walk stops at the match, which in a long text often comes early.
  std::size_t i = 0;
  if (case_sensitive) {
    for (std::size_t pos = 0; pos < instring.size();) {
      if (text::decode_next(instring, pos) == p[i] && ++i == p.size()) return true;
    }
    return false;
  }
  text::LowercaseReader reader(instring);
  for (char32_t c; reader.next(c);) {
    if (c == p[i] && ++i == p.size()) return true;
  }
  return false;
}

std::vector<RankedCandidate> get_best_matches(std::string_view search,
                                              const std::vector<std::string_view>& candidates) {
  std::vector<RankedCandidate> kept;
  if (search.empty()) return kept;
  const FuzzyPattern pattern(search);
  const FuzzyWeights defaults;
  for (std::size_t i = 0; i < candidates.size(); ++i) {
    const FuzzyScore r = fuzzy_match(pattern, candidates[i], defaults);
    if (r.matched) kept.push_back({i, r.score});
  }
  std::stable_sort(
      kept.begin(), kept.end(),
      [](const RankedCandidate& a, const RankedCandidate& b) { return a.score > b.score; });
  return kept;
}

}  // namespace tavrell::fuzzy

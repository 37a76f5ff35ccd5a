// Fuzzy subsequence scoring, the plain subsequence test and candidate ranking.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tavrell::fuzzy {

struct FuzzyWeights {
  std::int32_t adj_bonus = 5;
  std::int32_t sep_bonus = 10;
  std::int32_t camel_bonus = 10;
  std::int32_t lead_penalty = -3;
  std::int32_t max_lead_penalty = -9;
  std::int32_t unmatched_penalty = -1;
};

struct FuzzyScore {
  bool matched = false;
  std::int32_t score = 0;
};

// A pattern decoded once and lowered per character, so that scoring many
// candidates against it does no per-call work on the pattern.
class FuzzyPattern {
 public:
  explicit FuzzyPattern(std::string_view pattern);
  bool empty() const { return lowered_.empty(); }
  std::size_t size() const { return lowered_.size(); }
  char32_t lowered(std::size_t i) const { return lowered_[i]; }

 private:
  std::u32string lowered_;
};

FuzzyScore fuzzy_match(const FuzzyPattern& pattern, std::string_view instring,
                       const FuzzyWeights& weights);
FuzzyScore fuzzy_match(std::string_view pattern, std::string_view instring,
                       const FuzzyWeights& weights = {});

bool fuzzy_match_simple(std::string_view pattern, std::string_view instring, bool case_sensitive);

struct RankedCandidate {
  std::size_t index;  // position in the caller's candidate list
  std::int32_t score;
};

// Scores every candidate with the default weights, keeps the matched ones and
// sorts them by score, best first; equal scores keep their input order.
std::vector<RankedCandidate> get_best_matches(std::string_view search,
                                              const std::vector<std::string_view>& candidates);

}  // namespace tavrell::fuzzy

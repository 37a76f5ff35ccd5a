#include "streaming_matcher/line_similarity.h"

#include <algorithm>
#include <bit>
#include <optional>

#include "text/levenshtein.h"
#include "text/utf8.h"

namespace tavrell::streaming {
namespace {

// True when a difference of `difference` (a length gap or an edit distance)
// leaves the lines less than 80% alike, measured against the longer byte
// length. Computed in double precision exactly as the similarity is defined;
// the division and subtraction round monotonically, so a lower bound of the
// difference that fails this test proves the real difference fails it too.
bool below_similarity(std::uint64_t difference, std::uint64_t longer) {
  return 1.0 - static_cast<double>(difference) / static_cast<double>(longer) < 0.8;
}

}  // namespace

LineSketch sketch_line(std::string_view trimmed) {
  LineSketch sketch;
  for (std::size_t i = 0; i < trimmed.size();) {
    const char32_t cp = text::decode_next(trimmed, i);
    const std::size_t bucket = cp & 63u;
    // Saturating keeps the bound valid: min(x, cap) - min(y, cap) never
    // exceeds x - y when positive.
    if (sketch.counts[bucket] != UINT32_MAX) ++sketch.counts[bucket];
    sketch.present |= std::uint64_t{1} << bucket;
  }
  for (std::uint32_t count : sketch.counts) sketch.total += count;
  return sketch;
}

std::uint64_t distance_lower_bound(const LineSketch& a, const LineSketch& b) {
  // The larger of the two surpluses, sum(max(x - y, 0)) and sum(max(y - x, 0)),
  // written as sum(max(x, y)) - min(sum x, sum y): one branch-free loop the
  // compiler vectorises.
  std::uint64_t larger = 0;
  for (std::size_t k = 0; k < a.counts.size(); ++k) larger += std::max(a.counts[k], b.counts[k]);
  return larger - std::min(a.total, b.total);
}

std::uint32_t trimmed_pair_cost(std::string_view a, const LineSketch& sa, std::string_view b,
                                const LineSketch& sb) {
  if (a == b) return kEqualLinesCost;
  if (a.empty() || b.empty()) return kDissimilarLinesCost;
  const std::uint64_t la = a.size();
  const std::uint64_t lb = b.size();
  const std::uint64_t longer = std::max(la, lb);
  // Lines of very different lengths cannot be similar: this cheap test comes
  // before any distance work.
  if (below_similarity(la > lb ? la - lb : lb - la, longer)) return kDissimilarLinesCost;

  // Two lower bounds of the distance, cheapest first.
  const auto only_a = static_cast<std::uint64_t>(std::popcount(sa.present & ~sb.present));
  const auto only_b = static_cast<std::uint64_t>(std::popcount(sb.present & ~sa.present));
  if (below_similarity(std::max(only_a, only_b), longer)) return kDissimilarLinesCost;
  if (below_similarity(distance_lower_bound(sa, sb), longer)) return kDissimilarLinesCost;

  // Any distance above longer / 5 + 1 is certainly below the threshold (the
  // margin of one absorbs the rounding of the double test), so the distance
  // computation may stop there; a distance within the bound is then judged
  // by the exact test.
  const std::optional<std::uint64_t> distance =
      text::levenshtein_distance_bounded(a, b, longer / 5 + 1);
  if (!distance || below_similarity(*distance, longer)) return kDissimilarLinesCost;
  return kSimilarLinesCost;
}

}  // namespace tavrell::streaming

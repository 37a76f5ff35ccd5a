// How much it costs to pair one query line with one source line.
//
// Lines are compared without their surrounding whitespace: equal lines cost 0,
// similar lines (at least 80% alike by edit distance, measured against the
// longer byte length) cost 1, everything else costs 13. The matcher evaluates
// this for every query line against every distinct source line, so each line
// carries a small sketch that rejects most dissimilar pairs without computing
// the edit distance.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace tavrell::streaming {

inline constexpr std::uint32_t kEqualLinesCost = 0;
inline constexpr std::uint32_t kSimilarLinesCost = 1;
inline constexpr std::uint32_t kDissimilarLinesCost = 13;

// Code point counts per bucket (code point modulo 64). Each edit changes the
// counts of at most two buckets by one, so the difference of two sketches is
// a lower bound of the edit distance of their lines. The counts are not
// clamped to a byte: long lines of different content must still be told
// apart here rather than by a distance computation quadratic in their length.
struct LineSketch {
  std::array<std::uint32_t, 64> counts{};
  std::uint64_t present = 0;  // bit k set when bucket k is not empty
  std::uint64_t total = 0;    // sum of counts
};

LineSketch sketch_line(std::string_view trimmed);

// A lower bound of the Levenshtein distance (in code points) of the two lines
// that the sketches describe.
std::uint64_t distance_lower_bound(const LineSketch& a, const LineSketch& b);

// The pair cost of two lines that are already trimmed, with their sketches.
std::uint32_t trimmed_pair_cost(std::string_view a, const LineSketch& sa, std::string_view b,
                                const LineSketch& sb);

}  // namespace tavrell::streaming

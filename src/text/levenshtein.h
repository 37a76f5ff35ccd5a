// Edit distance in Unicode code points with unit costs.
//
// Bit-parallel (64 cells per word operation); the bounded form also stops as
// soon as the distance is known to exceed its bound, which makes it much
// cheaper than the full distance on dissimilar texts. Callers that only need
// "is the similarity at least s" should use it.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace tavrell::text {

// The Levenshtein distance of a and b counted in code points.
std::uint64_t levenshtein_distance(std::string_view a, std::string_view b);
std::uint64_t levenshtein_distance(std::u32string_view a, std::u32string_view b);

// The distance when it is at most max_distance, otherwise nullopt. The value,
// when returned, is identical to levenshtein_distance.
std::optional<std::uint64_t> levenshtein_distance_bounded(std::string_view a, std::string_view b,
                                                          std::uint64_t max_distance);
// The same over decoded texts, for callers that compare one text many times.
std::optional<std::uint64_t> levenshtein_distance_bounded(std::u32string_view a,
                                                          std::u32string_view b,
                                                          std::uint64_t max_distance);

}  // namespace tavrell::text

// Edit distance in Unicode code points with unit costs.
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

}  // namespace tavrell::text

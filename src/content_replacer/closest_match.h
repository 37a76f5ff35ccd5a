// Internals shared by the failure reports: the closest-match search and the
// search for content lines that contain a text.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>
#include <vector>

#include "content_replacer/replace.h"

namespace tavrell::content_replacer::detail {

// Offset of the first occurrence of needle in hay at or after from, or npos.
std::size_t find_bytes(std::string_view hay, std::string_view needle, std::size_t from);

// Indexes of the lines that contain needle (a non-empty text without "\n"), in
// increasing order, at most limit of them. lines must be the lines of content
// as split_lines returns them (views into content).
std::vector<std::size_t> lines_containing(std::string_view content,
                                          const std::vector<std::string_view>& lines,
                                          std::string_view needle, std::size_t limit);

// The window of lines.size() - n + 1 candidates (n = number of lines of old)
// that is most similar to old, when one reaches a similarity of 0.8.
std::optional<FuzzyMatchInfo> find_closest_match(std::string_view content,
                                                 const std::vector<std::string_view>& lines,
                                                 std::string_view old);

}  // namespace tavrell::content_replacer::detail

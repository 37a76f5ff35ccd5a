// Choosing one region among the matcher's regions, and the text of a region.
#include <algorithm>

#include "streaming_matcher/streaming_matcher.h"
#include "text/utf8.h"

namespace tavrell::streaming {

std::optional<MatchRange> StreamingFuzzyMatcher::select_best_match() const {
  if (matches_.empty()) return std::nullopt;
  // A single region is the answer wherever the hint points.
  if (matches_.size() == 1) return matches_.front();
  if (!line_hint_) return std::nullopt;

  const std::uint64_t hint = *line_hint_;
  std::optional<MatchRange> chosen;
  std::uint64_t chosen_distance = 0;
  for (const MatchRange& m : matches_) {
    // The region's first line: the line that starts at m.start, or, for an
    // offset inside a line, the line containing it.
    const auto it = std::lower_bound(line_offsets_.begin(), line_offsets_.end(), m.start);
    auto line = static_cast<std::uint64_t>(it - line_offsets_.begin());
    if ((it == line_offsets_.end() || *it != m.start) && line > 0) --line;
    const std::uint64_t distance = line > hint ? line - hint : hint - line;
    if (distance > kLineHintWindow) continue;
    // Only a strictly nearer region replaces the choice: of equally near
    // regions the one ending earlier in the source wins.
    if (!chosen || distance < chosen_distance) {
      chosen = m;
      chosen_distance = distance;
    }
  }
  return chosen;
}

std::optional<std::string_view> StreamingFuzzyMatcher::get_text(const MatchRange& range) const {
  const std::string_view joined(joined_);
  const std::size_t start =
      static_cast<std::size_t>(std::min<std::uint64_t>(range.start, joined.size()));
  const std::size_t end =
      static_cast<std::size_t>(std::min<std::uint64_t>(range.end, joined.size()));
  // A range of another matcher may point inside a character of this text;
  // cutting it would return broken UTF-8.
  if (!text::is_char_boundary(joined, start) || !text::is_char_boundary(joined, end)) {
    return std::nullopt;
  }
  if (start >= end) return std::string_view();
  return joined.substr(start, end - start);
}

}  // namespace tavrell::streaming

// The replacement engine: finds what old_string meant in a file's content
// through a cascade of eight matching strategies and puts new_string there.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace tavrell::content_replacer {

struct ReplaceResult {
  std::string content;       // the whole new content ("\n" line breaks)
  std::string matched_text;  // the candidate that was replaced
  std::uint64_t start_line = 0;
  std::uint64_t end_line = 0;
  std::string strategy;
};

struct FuzzyMatchInfo {
  double similarity = 0.0;
  std::uint64_t start_line = 0;
  std::uint64_t end_line = 0;
  std::string text;
  std::string diff;
};

struct NotFound {
  std::string message;
  std::optional<FuzzyMatchInfo> closest_match;
};

struct MultipleMatches {
  std::string message;
  std::vector<std::uint64_t> locations;
};

struct NoChange {};

using ReplaceError = std::variant<NotFound, MultipleMatches, NoChange>;
using ReplaceOutcome = std::variant<ReplaceResult, ReplaceError>;

// Finds what old_string meant in content and puts new_string there. All three
// texts have their "\r\n" line breaks turned into "\n" first; the returned
// content and every line number refer to those normalised texts.
ReplaceOutcome replace_content(std::string_view content, std::string_view old_string,
                               std::string_view new_string, bool replace_all,
                               std::optional<std::uint32_t> line_hint);

// text with every "\r\n" replaced by "\n" in one left-to-right pass (a "\r"
// not followed by "\n" stays).
std::string normalize_line_breaks(std::string_view text);

}  // namespace tavrell::content_replacer

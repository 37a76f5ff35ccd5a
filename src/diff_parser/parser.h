// Parsing of locationless diffs: hunks of context (" "), removed ("-") and
// added ("+") lines without line numbers, bare or wrapped in a <diff> element
// or a fenced diff block, with or without unified-diff header lines.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tavrell::diff_parser {

// One parsed hunk. old_text is what the hunk expects to find in the file,
// new_text what replaces it, raw the hunk's own lines (markers included).
struct DiffHunk {
  std::string old_text;
  std::string new_text;
  std::string raw;
};

// The part of diff_text that holds the diff: the content of the first
// <diff>...</diff> element, then of the first ```diff ... ``` fence within
// it, each only where present, with line breaks trimmed from both ends.
// A view into diff_text.
std::string_view extract_diff_body(std::string_view diff_text);

// Splits diff_text into hunks, in text order. Never fails: text without any
// hunk gives an empty list.
std::vector<DiffHunk> parse_locationless_diff(std::string_view diff_text);

// Builds one hunk from its lines, each beginning with " ", "-" or "+".
DiffHunk parse_single_hunk(std::span<const std::string_view> lines);

}  // namespace tavrell::diff_parser

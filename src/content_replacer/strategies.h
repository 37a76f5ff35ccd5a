// The eight matching strategies of the replacement cascade and the normal
// forms they compare texts in.
//
// Every strategy takes the content and the text to find (both with "\r\n"
// already turned into "\n") and proposes candidate texts, in the order the
// driver tries them. A candidate is a piece of the content (or, for a few
// strategies, the text to find in a transformed form that the content holds),
// so that what the driver replaces is always text the file really contains.
//
// Each routine exists in two forms: one over plain strings, and one over a
// SearchContext that the driver shares between all strategies of one call, so
// that the content is split, trimmed and reduced only once per call.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "content_replacer/search_context.h"

namespace tavrell::content_replacer {

using Candidates = std::vector<std::string>;

// ---------------------------------------------------------------------------
// Strategy routines, in cascade order.

// The text itself, when the content contains it.
Candidates simple_replacer(std::string_view content, std::string_view find);
// Windows whose lines equal the lines of find once each side is trimmed.
Candidates line_trimmed_replacer(std::string_view content, std::string_view find);
// At most one block framed by the first and last lines of find, chosen by the
// similarity of the lines between them.
Candidates block_anchor_replacer(std::string_view content, std::string_view find);
// Windows equal to find once whitespace runs are collapsed and the spaces
// around brackets and separators are dropped.
Candidates whitespace_normalized_replacer(std::string_view content, std::string_view find);
// Windows equal to find once each side's common indentation is removed.
Candidates indentation_flexible_replacer(std::string_view content, std::string_view find);
// The unescaped find and the windows that unescape to it.
Candidates escape_normalized_replacer(std::string_view content, std::string_view find);
// The trimmed find and the windows that trim to it.
Candidates trimmed_boundary_replacer(std::string_view content, std::string_view find);
// Blocks framed by the first and last lines of find whose middle lines mostly
// match.
Candidates context_aware_replacer(std::string_view content, std::string_view find);

Candidates simple_replacer(SearchContext& ctx);
Candidates line_trimmed_replacer(SearchContext& ctx);
Candidates block_anchor_replacer(SearchContext& ctx);
Candidates whitespace_normalized_replacer(SearchContext& ctx);
Candidates indentation_flexible_replacer(SearchContext& ctx);
Candidates escape_normalized_replacer(SearchContext& ctx);
Candidates trimmed_boundary_replacer(SearchContext& ctx);
Candidates context_aware_replacer(SearchContext& ctx);

// ---------------------------------------------------------------------------
// Measures and normal forms.

// How alike the middle lines of content_lines[start..=end] and the first
// search_length search lines are, compared by position after trimming: the
// mean of 1 - distance / longer byte length over the pairs that are not both
// empty, or 1.0 when there is no such pair. Indices outside the lists are
// ignored.
double calculate_block_similarity(const std::vector<std::string_view>& content_lines,
                                  const std::vector<std::string_view>& search_lines,
                                  std::uint64_t start, std::uint64_t end,
                                  std::uint64_t search_length);

// Whitespace runs collapsed to one space (none at either end), then the space
// before and after each of ":;,()[]{}" removed.
std::string normalize_whitespace(std::string_view text);

// The lines of text with the indentation that all non-blank lines share
// removed, joined with "\n"; text itself when it has no non-blank line.
std::string remove_common_indentation(std::string_view text);

// Backslash escapes (\n \t \r \' \" \` \$ \\) turned into the characters they
// stand for, one kind after another in that order.
std::string unescape_string(std::string_view text);

}  // namespace tavrell::content_replacer

// The failure reports of the replacement engine: the messages an agent reads
// when its old_string could not be replaced, written so that it can correct the
// next attempt (where the text nearly occurs, which lines match, what to try).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "content_replacer/replace.h"

namespace tavrell::content_replacer {

// The not-found report: the message and, when a window of the content is
// similar enough to old_string, the closest match. content and old_string are
// the texts with "\r\n" already normalised to "\n".
NotFound not_found_report(std::string_view content, std::string_view old_string);

// The multiple-matches report. pattern is the first ambiguous candidate the
// driver recorded, or the normalised old_string when it recorded none; its
// occurrences give the listed line numbers.
MultipleMatches multiple_matches_report(std::string_view content, std::string_view old_string,
                                        std::string_view pattern);

// Byte offsets of every occurrence of pattern in text, overlapping ones
// included, in increasing order. After an occurrence the scan resumes at the
// character that follows its first character. The empty pattern occurs at
// every character boundary, 0 and text.size() included.
std::vector<std::size_t> find_occurrences(std::string_view text, std::string_view pattern);

// 1 + the number of '\n' bytes before offset (offset is clamped to the text).
std::uint64_t line_number_at(std::string_view text, std::size_t offset);

// The line-by-line comparison of old_string with a window of the content
// ("--- SEARCH\n+++ CLOSEST MATCH\n" and one or two lines per line pair). A
// text longer than 2000 bytes is cut at the last character boundary at or
// before byte 2000 and followed by "\n...(diff truncated)".
std::string comparison_text(std::string_view old_string, std::string_view window);

}  // namespace tavrell::content_replacer

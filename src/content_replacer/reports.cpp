// The two failure reports of the replacement engine. Their messages are read
// by the agent that asked for the edit, so every byte of them is fixed: the
// agent (and the tools around it) key on these exact words.
#include "content_replacer/reports.h"

#include <algorithm>
#include <charconv>
#include <cstring>

#include "content_replacer/closest_match.h"
#include "text/lines.h"
#include "text/utf8.h"
#include "text/whitespace.h"

namespace tavrell::content_replacer {
namespace {

constexpr std::string_view kNotFoundHead = "Search text not found in file.";
constexpr std::string_view kDebuggingTips =
    "\n\nDebugging tips:\n"
    "1. Check for exact whitespace/indentation match\n"
    "2. Verify line endings match the file (\\r\\n vs \\n)\n"
    "3. Ensure the search text hasn't been modified\n"
    "4. Try reading the file section first to get exact text";
constexpr std::string_view kMultipleTail =
    "\n\nTo fix, include more surrounding context in old_string to uniquely identify the target "
    "location, or use replace_all=True to replace all occurrences, or provide a line_hint to "
    "select the closest match.";
constexpr std::size_t kComparisonLimit = 2000;
constexpr std::string_view kComparisonCut = "\n...(diff truncated)";
constexpr std::size_t kPreviewCodePoints = 60;
constexpr std::size_t kListedLocations = 5;
// How many lines holding the first search line the not-found message names.
constexpr std::size_t kFirstLineHits = 3;

void append_number(std::string& out, std::uint64_t value) {
  char buf[24];
  const auto r = std::to_chars(buf, buf + sizeof buf, value);
  out.append(buf, r.ptr);
}

// The first line of text by the lines rule (empty when there is none).
std::string_view first_line(std::string_view text) {
  const std::size_t nl = text.find('\n');
  if (nl == std::string_view::npos) return text;
  std::size_t end = nl;
  if (end > 0 && text[end - 1] == '\r') --end;
  return text.substr(0, end);
}

// The first 60 code points of s, then "..." when s has more than 60 bytes. The
// cut counts characters but the mark counts bytes, so a short line of wide
// characters is shown whole and still marked.
void append_preview(std::string& out, std::string_view s) {
  out.append(s.substr(0, text::prefix_bytes_for_code_points(s, kPreviewCodePoints)));
  if (s.size() > kPreviewCodePoints) out.append("...");
}

// The content line (by the lines rule) that holds offset, or nothing when
// offset is where no line starts: the end of a content ending with "\n".
std::optional<std::string_view> line_holding(std::string_view content, std::size_t offset) {
  offset = std::min(offset, content.size());
  const std::size_t start = offset == 0 ? 0 : content.rfind('\n', offset - 1) + 1;
  if (start >= content.size()) return std::nullopt;
  std::size_t end = content.find('\n', start);
  if (end == std::string_view::npos) return content.substr(start);
  if (end > start && content[end - 1] == '\r') --end;
  return content.substr(start, end - start);
}

// Line numbers of increasing offsets, counting line feeds once overall.
std::vector<std::uint64_t> line_numbers(std::string_view text,
                                        const std::vector<std::size_t>& offsets) {
  std::vector<std::uint64_t> numbers;
  numbers.reserve(offsets.size());
  std::uint64_t line = 1;
  std::size_t counted = 0;
  for (std::size_t offset : offsets) {
    offset = std::min(offset, text.size());
    line +=
        static_cast<std::uint64_t>(std::count(text.begin() + counted, text.begin() + offset, '\n'));
    counted = offset;
    numbers.push_back(line);
  }
  return numbers;
}

}  // namespace

namespace detail {

std::size_t find_bytes(std::string_view hay, std::string_view needle, std::size_t from) {
  if (from > hay.size() || needle.size() > hay.size() - from) return std::string_view::npos;
  if (needle.empty()) return from;
  const void* hit = memmem(hay.data() + from, hay.size() - from, needle.data(), needle.size());
  if (hit == nullptr) return std::string_view::npos;
  return static_cast<std::size_t>(static_cast<const char*>(hit) - hay.data());
}

}  // namespace detail

std::vector<std::size_t> find_occurrences(std::string_view text, std::string_view pattern) {
  std::vector<std::size_t> found;
  if (pattern.empty()) {
    for (std::size_t i = 0; i < text.size();) {
      found.push_back(i);
      text::decode_next(text, i);
    }
    found.push_back(text.size());
    return found;
  }
  if (pattern.size() > text.size()) return found;
  // A pattern can only match again inside one of its own matches at a shift
  // that is a period of it. Matching bytes at every offset is the same as
  // resuming after the first character: the pattern starts with that
  // character's lead byte, which never equals a continuation byte.
  const std::size_t m = pattern.size();
  std::vector<std::size_t> border(m + 1, 0);
  for (std::size_t i = 1, k = 0; i < m; ++i) {
    while (k > 0 && pattern[i] != pattern[k]) k = border[k];
    if (pattern[i] == pattern[k]) ++k;
    border[i + 1] = k;
  }
  const std::size_t period = m - border[m];
  if (2 * period > m) {
    // Matches lie more than m / 2 apart, so restarting the (linear) search
    // one byte after each match stays linear overall, and is far faster than
    // a byte-by-byte automaton on ordinary text.
    for (std::size_t hit = detail::find_bytes(text, pattern, 0); hit != std::string_view::npos;
         hit = detail::find_bytes(text, pattern, hit + 1)) {
      found.push_back(hit);
    }
    return found;
  }
  // A highly periodic pattern ("aaaa", "abab...") can match at almost every
  // byte; the automaton keeps that linear too.
  std::size_t q = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    while (q > 0 && text[i] != pattern[q]) q = border[q];
    if (text[i] == pattern[q]) ++q;
    if (q == m) {
      found.push_back(i + 1 - m);
      q = border[m];
    }
  }
  return found;
}

std::uint64_t line_number_at(std::string_view text, std::size_t offset) {
  offset = std::min(offset, text.size());
  return 1 + static_cast<std::uint64_t>(std::count(text.begin(), text.begin() + offset, '\n'));
}

std::string comparison_text(std::string_view old_string, std::string_view window) {
  const std::vector<std::string_view> a = text::split_lines(old_string);
  const std::vector<std::string_view> b = text::split_lines(window);
  std::string out = "--- SEARCH\n+++ CLOSEST MATCH\n";
  const std::size_t rows = std::max(a.size(), b.size());
  for (std::size_t k = 0; k < rows && out.size() <= kComparisonLimit; ++k) {
    const std::string_view left = k < a.size() ? a[k] : std::string_view();
    const std::string_view right = k < b.size() ? b[k] : std::string_view();
    if (left == right) {
      out.push_back(' ');
      out.append(left);
      out.push_back('\n');
      continue;
    }
    if (k < a.size()) {
      out.push_back('-');
      out.append(left);
      out.push_back('\n');
    }
    if (k < b.size()) {
      out.push_back('+');
      out.append(right);
      out.push_back('\n');
    }
  }
  // Rows past the limit would be cut off anyway, so building stops there.
  if (out.size() > kComparisonLimit) {
    out.resize(text::floor_char_boundary(out, kComparisonLimit));
    out.append(kComparisonCut);
  }
  return out;
}

NotFound not_found_report(std::string_view content, std::string_view old_string) {
  NotFound report;
  std::string& message = report.message;
  message.append(kNotFoundHead);

  const std::vector<std::string_view> lines = text::split_lines(content);
  // Where the first search line stands tells the agent whether it is looking
  // at the right place at all; a blank first line says nothing, so it is left out.
  const std::string_view first = text::trim(first_line(old_string));
  if (!first.empty()) {
    const std::vector<std::size_t> hits =
        detail::lines_containing(content, lines, first, kFirstLineHits);
    message.append("\nFirst search line '");
    message.append(first);
    if (hits.empty()) {
      message.append("' not found anywhere in file");
    } else {
      message.append("' appears at line(s): ");
      for (std::size_t i = 0; i < hits.size(); ++i) {
        if (i > 0) message.append(", ");
        append_number(message, hits[i] + 1);
      }
    }
  }

  report.closest_match = detail::find_closest_match(content, lines, old_string);
  if (report.closest_match) {
    const FuzzyMatchInfo& match = *report.closest_match;
    char buf[64];
    const auto r =
        std::to_chars(buf, buf + sizeof buf, match.similarity * 100.0, std::chars_format::fixed, 1);
    message.append("\nClosest fuzzy match (");
    message.append(buf, r.ptr);
    message.append("% similar) at lines ");
    append_number(message, match.start_line);
    message.push_back('-');
    append_number(message, match.end_line);
    message.append(":\n");
    message.append(match.diff);
  }
  message.append(kDebuggingTips);
  return report;
}

MultipleMatches multiple_matches_report(std::string_view content, std::string_view old_string,
                                        std::string_view pattern) {
  MultipleMatches report;
  const std::vector<std::size_t> offsets = find_occurrences(content, pattern);
  report.locations = line_numbers(content, offsets);
  const std::vector<std::uint64_t>& lines = report.locations;
  const std::size_t listed = std::min(lines.size(), kListedLocations);

  std::string& message = report.message;
  message.append("Pattern found at multiple locations (lines: ");
  for (std::size_t i = 0; i < listed; ++i) {
    if (i > 0) message.append(", ");
    append_number(message, lines[i]);
  }
  if (lines.size() > kListedLocations) {
    message.append(", ... (");
    append_number(message, lines.size());
    message.append(" total)");
  }
  message.append(").\nSearch text starts with: \"");
  append_preview(message, first_line(old_string));
  message.append("\"\n\nMatch previews:");
  for (std::size_t i = 0; i < listed; ++i) {
    const std::optional<std::string_view> line = line_holding(content, offsets[i]);
    if (!line) continue;
    message.append("\n  Line ");
    append_number(message, lines[i]);
    message.append(": ");
    append_preview(message, *line);
  }
  if (lines.size() > kListedLocations) {
    message.append("\n  ... and ");
    append_number(message, lines.size() - kListedLocations);
    message.append(" more");
  }
  message.append(kMultipleTail);
  return report;
}

}  // namespace tavrell::content_replacer

// The strategies that compare texts in a normal form: whitespace_normalized,
// indentation_flexible and escape_normalized. Each proposes content windows
// unchanged, so that what the driver replaces is text the file holds.
//
// Normalising every window of a large file is what makes these strategies
// costly, so each window first passes a cheap necessary test (equal visible
// text, or equal unescaped lines), and only the few that pass are normalised
// and compared exactly as the definitions say.
#include <algorithm>
#include <deque>
#include <limits>
#include <unordered_set>

#include "content_replacer/strategies.h"
#include "text/lines.h"
#include "text/utf8.h"
#include "text/whitespace.h"

namespace tavrell::content_replacer {
namespace {

// One left-to-right pass that replaces every non-overlapping occurrence of
// from (not empty) by to.
void replace_pass(std::string& s, std::string_view from, std::string_view to) {
  std::size_t hit = find_text(s, from);
  if (hit == std::string_view::npos) return;
  std::string out;
  out.reserve(s.size());
  std::size_t pos = 0;
  while (hit != std::string_view::npos) {
    out.append(s, pos, hit - pos);
    out.append(to);
    pos = hit + from.size();
    hit = find_text(s, from, pos);
  }
  out.append(s, pos, std::string::npos);
  s = std::move(out);
}

// Whether join(lines) equals u, compared piece by piece without building the
// joined text.
bool joined_equals(const std::vector<std::string_view>& lines, std::size_t begin, std::size_t count,
                   std::string_view u) {
  std::size_t off = 0;
  for (std::size_t k = 0; k < count; ++k) {
    if (k > 0) {
      if (off >= u.size() || u[off] != '\n') return false;
      ++off;
    }
    const std::string_view piece = lines[begin + k];
    if (u.size() - off < piece.size() || u.compare(off, piece.size(), piece) != 0) return false;
    off += piece.size();
  }
  return off == u.size();
}

}  // namespace

std::string normalize_whitespace(std::string_view text) {
  // Collapse: the whitespace-free pieces of text separated by single spaces.
  std::string out;
  out.reserve(text.size());
  bool gap = false;
  std::size_t i = 0;
  while (i < text.size()) {
    const std::size_t start = i;
    const auto b = static_cast<unsigned char>(text[i]);
    const char32_t cp = b < 0x80 ? (++i, b) : text::decode_next(text, i);
    if (text::is_white_space(cp)) {
      gap = !out.empty();
      continue;
    }
    if (gap) out.push_back(' ');
    gap = false;
    out.append(text, start, i - start);
  }
  // Then drop the space before and after each bracket and separator, one
  // character after another in this order.
  for (const char c : std::string_view(":;,()[]{}")) {
    if (out.find(c) == std::string::npos) continue;
    const char before[2] = {' ', c};
    const char after[2] = {c, ' '};
    replace_pass(out, std::string_view(before, 2), std::string_view(&c, 1));
    replace_pass(out, std::string_view(after, 2), std::string_view(&c, 1));
  }
  return out;
}

std::string remove_common_indentation(std::string_view text) {
  const std::vector<std::string_view> lines = text::split_lines(text);
  std::size_t common = std::numeric_limits<std::size_t>::max();
  for (std::string_view line : lines) {
    const std::size_t indent = text::leading_white_space_bytes(line);
    if (indent < line.size()) common = std::min(common, indent);  // not blank
  }
  if (common == std::numeric_limits<std::size_t>::max()) return std::string(text);
  std::string out;
  out.reserve(text.size());
  for (std::size_t k = 0; k < lines.size(); ++k) {
    if (k > 0) out.push_back('\n');
    const std::string_view line = lines[k];
    if (text::is_blank(line)) {
      out.append(line);
      continue;
    }
    // The indentation is counted in bytes. Where lines are indented with
    // different multi-byte whitespace characters, byte `common` can fall inside
    // one of them; the cut then stays in front of that character, so no
    // character is ever split.
    out.append(line.substr(text::floor_char_boundary(line, common)));
  }
  return out;
}

std::string unescape_string(std::string_view text) {
  std::string out(text);
  if (out.find('\\') == std::string::npos) return out;
  static constexpr std::string_view kSteps[][2] = {
      {"\\n", "\n"},  {"\\t", "\t"}, {"\\r", "\r"}, {"\\'", "'"},
      {"\\\"", "\""}, {"\\`", "`"},  {"\\$", "$"},  {"\\\\", "\\"},
  };
  for (const auto& step : kSteps) replace_pass(out, step[0], step[1]);
  return out;
}

Candidates whitespace_normalized_replacer(SearchContext& ctx) {
  const std::string nf = normalize_whitespace(ctx.find());
  // The whole content first; its visible text must be that of find.
  if (ctx.content_visible_equals_find() && normalize_whitespace(ctx.content()) == nf) {
    return {std::string(ctx.content())};
  }
  const std::size_t lines = ctx.content_lines().size();
  const std::size_t n = ctx.find_lines().size();
  Candidates out;
  std::unordered_set<std::string> seen;
  auto propose = [&](std::size_t begin, std::size_t count) {
    if (!ctx.window_visible_equals_find(begin, count)) return;
    std::string window = ctx.window_text(begin, count);
    if (normalize_whitespace(window) != nf) return;
    if (seen.insert(window).second) out.push_back(std::move(window));
  };
  if (n < 2 || lines < n) {
    for (std::size_t i = 0; i < lines; ++i) propose(i, 1);
  } else {
    for (std::size_t i = 0; i + n <= lines; ++i) propose(i, n);
  }
  return out;
}

Candidates indentation_flexible_replacer(SearchContext& ctx) {
  const std::size_t n = ctx.find_lines().size();
  const std::size_t lines = ctx.content_lines().size();
  if (n == 0 || n > lines) return {};
  const std::string nf = remove_common_indentation(ctx.find());
  Candidates out;
  for (std::size_t i = 0; i + n <= lines; ++i) {
    // Removing indentation drops only whitespace.
    if (!ctx.window_visible_equals_find(i, n)) continue;
    std::string window = ctx.window_text(i, n);
    if (remove_common_indentation(window) == nf) out.push_back(std::move(window));
  }
  return out;
}

Candidates escape_normalized_replacer(SearchContext& ctx) {
  const std::string u = unescape_string(ctx.find());
  Candidates out;
  if (find_text(ctx.content(), u) != std::string_view::npos) out.push_back(u);
  const std::size_t n = text::split_lines(u).size();
  const auto& content = ctx.content_lines();
  if (n == 0 || content.size() < n) return out;

  // No escape sequence involves a line feed, so unescaping a window is
  // unescaping each of its lines: unescape the lines once, not once per window.
  std::deque<std::string> storage;
  std::vector<std::string_view> unescaped;
  unescaped.reserve(content.size());
  for (std::string_view line : content) {
    if (line.find('\\') == std::string_view::npos) {
      unescaped.push_back(line);
    } else {
      unescaped.push_back(storage.emplace_back(unescape_string(line)));
    }
  }
  for (std::size_t i = 0; i + n <= content.size(); ++i) {
    if (!joined_equals(unescaped, i, n, u)) continue;
    std::string window = ctx.window_text(i, n);
    if (unescape_string(window) != u) continue;
    if (std::find(out.begin(), out.end(), window) == out.end()) out.push_back(std::move(window));
  }
  return out;
}

Candidates whitespace_normalized_replacer(std::string_view content, std::string_view find) {
  SearchContext ctx(content, find);
  return whitespace_normalized_replacer(ctx);
}
Candidates indentation_flexible_replacer(std::string_view content, std::string_view find) {
  SearchContext ctx(content, find);
  return indentation_flexible_replacer(ctx);
}
Candidates escape_normalized_replacer(std::string_view content, std::string_view find) {
  SearchContext ctx(content, find);
  return escape_normalized_replacer(ctx);
}

}  // namespace tavrell::content_replacer

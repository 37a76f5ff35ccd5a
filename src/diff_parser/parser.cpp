#include "diff_parser/parser.h"

#include "text/lines.h"

namespace tavrell::diff_parser {
namespace {

// The two wrappers are found by plain string search. Each behaves exactly like
// the leftmost match of a lazy pattern: "<diff>(.*?)</diff>" and
// "```diff\n?(.*?)```" with "." matching line feeds too.
//
// Leftmost: a match can only start at an opening marker, and any later
// opening marker would need a closing marker even further right. So if the
// first opening marker has no closing marker after it, no opening marker has
// one, and there is no match at all. Neither opening marker can overlap a
// later copy of itself, which keeps that argument sound.
//
// Lazy: the content ends at the first closing marker after the opening one.

constexpr std::string_view kElementOpen = "<diff>";
constexpr std::string_view kElementClose = "</diff>";
constexpr std::string_view kFenceOpen = "```diff";
constexpr std::string_view kFence = "```";

// Content of the first <diff> element, or text itself when there is none.
std::string_view narrow_to_element(std::string_view text) {
  const std::size_t open = text.find(kElementOpen);
  if (open == std::string_view::npos) return text;
  const std::size_t begin = open + kElementOpen.size();
  const std::size_t close = text.find(kElementClose, begin);
  if (close == std::string_view::npos) return text;
  return text.substr(begin, close - begin);
}

// Content of the first diff fence, or text itself when there is none.
std::string_view narrow_to_fence(std::string_view text) {
  const std::size_t open = text.find(kFenceOpen);
  if (open == std::string_view::npos) return text;
  std::size_t begin = open + kFenceOpen.size();
  // The optional line feed is taken whenever it is there. Leaving it out could
  // only help if the closing fence started on that very line feed, which it
  // cannot, so there is nothing to backtrack to.
  if (begin < text.size() && text[begin] == '\n') ++begin;
  const std::size_t close = text.find(kFence, begin);
  if (close == std::string_view::npos) return text;
  return text.substr(begin, close - begin);
}

bool is_line_break(char c) {
  return c == '\n' || c == '\r';
}

bool is_header_line(std::string_view line) {
  return line.starts_with("---") || line.starts_with("+++") || line.starts_with("@@") ||
         line.starts_with("diff --git") || line.starts_with("index ");
}

bool is_hunk_line(std::string_view line) {
  const char c = line.front();
  return c == ' ' || c == '-' || c == '+';
}

}  // namespace

std::string_view extract_diff_body(std::string_view diff_text) {
  std::string_view body = narrow_to_fence(narrow_to_element(diff_text));
  while (!body.empty() && is_line_break(body.front())) body.remove_prefix(1);
  while (!body.empty() && is_line_break(body.back())) body.remove_suffix(1);
  return body;
}

std::vector<DiffHunk> parse_locationless_diff(std::string_view diff_text) {
  const std::vector<std::string_view> lines = text::split_lines(extract_diff_body(diff_text));

  std::vector<DiffHunk> hunks;
  std::vector<std::string_view> pending;
  auto flush = [&] {
    if (pending.empty()) return;
    hunks.push_back(parse_single_hunk(pending));
    pending.clear();
  };

  // The order of the tests is part of the format: a header test before the
  // hunk-line test means "---x" and "+++x" are skipped, never removed or
  // added; skipped headers do not end a hunk, so hunks joined by an "@@" line
  // form one hunk.
  for (const std::string_view line : lines) {
    if (line.empty()) {
      flush();
    } else if (is_header_line(line)) {
      continue;
    } else if (is_hunk_line(line)) {
      pending.push_back(line);
    } else {
      flush();
    }
  }
  flush();
  return hunks;
}

DiffHunk parse_single_hunk(std::span<const std::string_view> lines) {
  // Sized first so that each field is allocated once.
  std::size_t old_size = 0, new_size = 0;
  for (const std::string_view line : lines) {
    if (line.empty()) continue;
    if (line[0] != '+') old_size += line.size();
    if (line[0] != '-') new_size += line.size();
  }

  DiffHunk hunk;
  hunk.old_text.reserve(old_size);
  hunk.new_text.reserve(new_size);
  bool old_started = false, new_started = false;
  auto append = [](std::string& out, bool& started, std::string_view rest) {
    if (started) out.push_back('\n');
    out.append(rest);
    started = true;
  };
  for (const std::string_view line : lines) {
    if (line.empty()) continue;  // not a hunk line; the parser never passes one
    const std::string_view rest = line.substr(1);
    switch (line[0]) {
      case ' ':
        append(hunk.old_text, old_started, rest);
        append(hunk.new_text, new_started, rest);
        break;
      case '-':
        append(hunk.old_text, old_started, rest);
        break;
      case '+':
        append(hunk.new_text, new_started, rest);
        break;
      default:
        break;
    }
  }
  hunk.raw = text::join_lines(lines);
  return hunk;
}

}  // namespace tavrell::diff_parser

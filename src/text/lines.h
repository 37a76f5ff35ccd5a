// The lines rule shared by every subsystem.
//
// A text is cut after every "\n"; the "\n" is removed from each piece, and so is
// one "\r" directly before it. A text that ends with "\n" yields no empty last
// line, the empty text yields no lines, and a last piece without "\n" stays
// whole (a trailing "\r" included). Lines are views into the caller's text.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tavrell::text {

std::vector<std::string_view> split_lines(std::string_view text);

// Appends the lines of text to out (the same rule as split_lines).
void split_lines_into(std::string_view text, std::vector<std::string_view>& out);

// Joins lines with "\n" between them and no line break after the last.
template <class Range>
std::string join_lines(const Range& lines) {
  std::size_t total = 0;
  for (const auto& l : lines) total += std::string_view(l).size() + 1;
  std::string out;
  out.reserve(total);
  bool first = true;
  for (const auto& l : lines) {
    if (!first) out.push_back('\n');
    out.append(std::string_view(l));
    first = false;
  }
  return out;
}

// The text of lines[begin, end) joined by "\n". When the lines are views into
// one text that uses bare "\n" breaks between them, this is a plain copy.
std::string join_line_range(const std::vector<std::string_view>& lines, std::size_t begin,
                            std::size_t end);

}  // namespace tavrell::text

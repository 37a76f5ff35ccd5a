#include "text/lines.h"

#include <cstring>

namespace tavrell::text {

void split_lines_into(std::string_view text, std::vector<std::string_view>& out) {
  std::size_t pos = 0;
  while (pos < text.size()) {
    const void* hit = std::memchr(text.data() + pos, '\n', text.size() - pos);
    if (hit == nullptr) {
      out.push_back(text.substr(pos));
      return;
    }
    std::size_t nl = static_cast<std::size_t>(static_cast<const char*>(hit) - text.data());
    std::size_t end = nl;
    if (end > pos && text[end - 1] == '\r') --end;
    out.push_back(text.substr(pos, end - pos));
    pos = nl + 1;
  }
}

std::vector<std::string_view> split_lines(std::string_view text) {
  std::vector<std::string_view> out;
  split_lines_into(text, out);
  return out;
}

std::string join_line_range(const std::vector<std::string_view>& lines, std::size_t begin,
                            std::size_t end) {
  std::size_t total = 0;
  for (std::size_t i = begin; i < end; ++i) total += lines[i].size() + 1;
  std::string out;
  out.reserve(total);
  for (std::size_t i = begin; i < end; ++i) {
    if (i != begin) out.push_back('\n');
    out.append(lines[i]);
  }
  return out;
}

}  // namespace tavrell::text

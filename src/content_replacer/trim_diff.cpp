#include "content_replacer/trim_diff.h"

#include <algorithm>
#include <cstddef>
#include <limits>
#include <vector>

#include "text/lines.h"
#include "text/utf8.h"
#include "text/whitespace.h"

namespace tavrell::content_replacer {
namespace {

// A line that carries file content behind its one-byte marker. File headers
// ("---", "+++") start with a marker character too but are not content.
bool is_content_line(std::string_view line) {
  if (line.empty()) return false;
  const char c = line[0];
  if (c != ' ' && c != '-' && c != '+') return false;
  return !line.starts_with("---") && !line.starts_with("+++");
}

}  // namespace

std::string trim_diff(std::string_view diff_text) {
  const std::vector<std::string_view> lines = text::split_lines(diff_text);

  constexpr std::size_t kNone = std::numeric_limits<std::size_t>::max();
  std::size_t common = kNone;
  for (const std::string_view line : lines) {
    if (!is_content_line(line)) continue;
    const std::string_view body = line.substr(1);
    const std::size_t indent = text::leading_white_space_bytes(body);
    if (indent == body.size()) continue;  // blank bodies do not count
    common = std::min(common, indent);
  }
  if (common == kNone || common == 0) return std::string(diff_text);

  std::string out;
  out.reserve(diff_text.size());
  bool first = true;
  for (const std::string_view line : lines) {
    if (!first) out.push_back('\n');
    first = false;
    if (!is_content_line(line)) {
      out.append(line);
      continue;
    }
    const std::string_view body = line.substr(1);
    // Indentation is counted in bytes, so with multi-byte whitespace the cut
    // can fall inside a character (a no-break space in one line, a plain
    // space in another). Such a line is left whole rather than broken.
    if (body.size() < common || !text::is_char_boundary(body, common)) {
      out.append(line);
      continue;
    }
    out.push_back(line[0]);
    out.append(body.substr(common));
  }
  return out;
}

}  // namespace tavrell::content_replacer

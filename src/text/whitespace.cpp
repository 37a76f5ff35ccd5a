#include "text/whitespace.h"

#include "text/utf8.h"

namespace tavrell::text {

std::size_t leading_white_space_bytes(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size()) {
    const auto b = static_cast<unsigned char>(s[i]);
    if (b < 0x80) {
      if (!is_white_space(b)) break;
      ++i;
      continue;
    }
    std::size_t next = i;
    if (!is_white_space(decode_next(s, next))) break;
    i = next;
  }
  return i;
}

std::size_t trailing_white_space_bytes(std::string_view s) {
  std::size_t end = s.size();
  while (end > 0) {
    const auto b = static_cast<unsigned char>(s[end - 1]);
    if (b < 0x80) {
      if (!is_white_space(b)) break;
      --end;
      continue;
    }
    // Step back to the start of the multi-byte character ending at end.
    std::size_t start = end - 1;
    while (start > 0 && end - start < 4 && !is_char_boundary(s, start)) --start;
    std::size_t probe = start;
    char32_t cp = decode_next(s, probe);
    if (probe != end || !is_white_space(cp)) break;
    end = start;
  }
  return s.size() - end;
}

std::string_view trim_start(std::string_view s) {
  return s.substr(leading_white_space_bytes(s));
}

std::string_view trim_end(std::string_view s) {
  return s.substr(0, s.size() - trailing_white_space_bytes(s));
}

std::string_view trim(std::string_view s) {
  return trim_end(trim_start(s));
}

}  // namespace tavrell::text

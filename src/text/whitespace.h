// Whitespace is the Unicode White_Space property everywhere in the system.
#pragma once

#include <cstddef>
#include <string_view>

namespace tavrell::text {

constexpr bool is_white_space(char32_t c) {
  if (c <= 0x20) return c == 0x20 || (c >= 0x09 && c <= 0x0D);
  if (c < 0x85) return false;
  return c == 0x85 || c == 0xA0 || c == 0x1680 || (c >= 0x2000 && c <= 0x200A) || c == 0x2028 ||
         c == 0x2029 || c == 0x202F || c == 0x205F || c == 0x3000;
}

// Byte length of the whitespace run at the start of s.
std::size_t leading_white_space_bytes(std::string_view s);
// Byte length of the whitespace run at the end of s.
std::size_t trailing_white_space_bytes(std::string_view s);

std::string_view trim_start(std::string_view s);
std::string_view trim_end(std::string_view s);
std::string_view trim(std::string_view s);

// A blank text is empty once trimmed.
inline bool is_blank(std::string_view s) {
  return leading_white_space_bytes(s) == s.size();
}

}  // namespace tavrell::text

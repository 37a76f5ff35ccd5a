#include "text/utf8.h"

namespace tavrell::text {

std::size_t count_code_points(std::string_view s) {
  std::size_t n = 0;
  for (unsigned char c : s) n += (c & 0xC0u) != 0x80u;
  return n;
}

std::size_t prefix_bytes_for_code_points(std::string_view s, std::size_t n) {
  std::size_t i = 0;
  while (n > 0 && i < s.size()) {
    decode_next(s, i);
    --n;
  }
  return i;
}

void decode_into(std::string_view s, std::u32string& out) {
  out.clear();
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size();) out.push_back(decode_next(s, i));
}

std::u32string decode(std::string_view s) {
  std::u32string out;
  decode_into(s, out);
  return out;
}

void append_utf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

}  // namespace tavrell::text

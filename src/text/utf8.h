// UTF-8 decoding and boundary helpers.
//
// Text reaching the engine comes from Python's UTF-8 form of a str, which is
// always well formed. The decoder still never reads past the end of its input:
// a malformed or truncated sequence decodes as U+FFFD and consumes one byte, so
// no input can make it misbehave.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tavrell::text {

// Decodes the code point that starts at s[i] and advances i past it.
// Precondition: i < s.size().
inline char32_t decode_next(std::string_view s, std::size_t& i) {
  const auto b0 = static_cast<unsigned char>(s[i]);
  if (b0 < 0x80) {
    ++i;
    return b0;
  }
  const std::size_t left = s.size() - i;
  auto cont = [&](std::size_t k) { return static_cast<unsigned char>(s[i + k]) ^ 0x80u; };
  if (b0 >= 0xC2 && b0 < 0xE0 && left >= 2 && cont(1) < 0x40) {
    char32_t cp = ((b0 & 0x1Fu) << 6) | cont(1);
    i += 2;
    return cp;
  }
  if (b0 >= 0xE0 && b0 < 0xF0 && left >= 3 && cont(1) < 0x40 && cont(2) < 0x40) {
    char32_t cp = ((b0 & 0x0Fu) << 12) | (cont(1) << 6) | cont(2);
    if (cp >= 0x800) {
      i += 3;
      return cp;
    }
  } else if (b0 >= 0xF0 && b0 < 0xF5 && left >= 4 && cont(1) < 0x40 && cont(2) < 0x40 &&
             cont(3) < 0x40) {
    char32_t cp = ((b0 & 0x07u) << 18) | (cont(1) << 12) | (cont(2) << 6) | cont(3);
    if (cp >= 0x10000 && cp <= 0x10FFFF) {
      i += 4;
      return cp;
    }
  }
  ++i;
  return 0xFFFD;
}

// True when byte i of s starts a character (or i is the end of s).
inline bool is_char_boundary(std::string_view s, std::size_t i) {
  if (i >= s.size()) return i == s.size();
  return (static_cast<unsigned char>(s[i]) & 0xC0u) != 0x80u;
}

// The largest character boundary that is not after byte offset i.
inline std::size_t floor_char_boundary(std::string_view s, std::size_t i) {
  if (i >= s.size()) return s.size();
  while (i > 0 && !is_char_boundary(s, i)) --i;
  return i;
}

// Number of code points in s.
std::size_t count_code_points(std::string_view s);

// Byte length of the first n code points of s (all of s when it has fewer).
std::size_t prefix_bytes_for_code_points(std::string_view s, std::size_t n);

// Decodes s into code points.
std::u32string decode(std::string_view s);
void decode_into(std::string_view s, std::u32string& out);

// Appends the UTF-8 encoding of cp to out.
void append_utf8(std::string& out, char32_t cp);

}  // namespace tavrell::text

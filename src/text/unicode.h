// Unicode character data: case mappings and the classifications the system
// needs. The tables behind these functions are generated from the Unicode
// Character Database by tools/gen_unicode_tables.py; ASCII never reaches them.
//
// The per-character lookups are inline because fuzzy scoring calls three of
// them per character of every candidate.
#pragma once

#include <string>
#include <string_view>

#include "text/unicode_tables.h"

namespace tavrell::text {

// First code point of the full lowercase mapping of c (c when it has none).
inline char32_t lower_first(char32_t c) {
  if (c < 0x80) return (c >= 'A' && c <= 'Z') ? c + 32 : c;
  return c + static_cast<char32_t>(unicode_tables::record_of(c).lower_offset);
}

// First code point of the full uppercase mapping of c (c when it has none).
inline char32_t upper_first(char32_t c) {
  if (c < 0x80) return (c >= 'a' && c <= 'z') ? c - 32 : c;
  return c + static_cast<char32_t>(unicode_tables::record_of(c).upper_offset);
}

// Full lowercase of a whole text, code point by code point, with the
// Final_Sigma rule for U+03A3. No locale tailoring.
std::u32string lowercase_full(std::string_view text);

// The same lowercase, produced one code point at a time, so that a caller that
// may stop early (a subsequence test) neither lowers nor stores the whole text.
class LowercaseReader {
 public:
  explicit LowercaseReader(std::string_view text) : text_(text) {}
  // Stores the next code point of the lowercase in out; false at the end.
  bool next(char32_t& out);

 private:
  std::string_view text_;
  std::size_t pos_ = 0;
  // The last character read that is not case-ignorable was cased: the half of
  // the Final_Sigma rule that looks back, kept as the text is read.
  bool cased_before_ = false;
  // The rest of a lowercase mapping longer than one code point.
  char32_t pending_[2] = {};
  std::size_t pending_pos_ = 0;
  std::size_t pending_end_ = 0;
};

inline bool is_grapheme_extend(char32_t c) {
  return c >= 0x80 && (unicode_tables::record_of(c).flags & unicode_tables::kGraphemeExtend);
}

// Printable in the sense of a debug representation of strings: not a control,
// format, private-use, surrogate or unassigned code point, and not a separator
// other than the space.
inline bool is_printable(char32_t c) {
  if (c < 0x80) return c >= 0x20 && c != 0x7F;
  return unicode_tables::record_of(c).flags & unicode_tables::kPrintable;
}

}  // namespace tavrell::text

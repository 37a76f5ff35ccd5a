// Temporary ASCII-only implementation; replaced by the generated tables.
#include "text/unicode.h"

#include "text/utf8.h"

namespace tavrell::text {

char32_t lower_first(char32_t c) {
  return (c >= 'A' && c <= 'Z') ? c + 32 : c;
}
char32_t upper_first(char32_t c) {
  return (c >= 'a' && c <= 'z') ? c - 32 : c;
}

std::u32string lowercase_full(std::string_view text) {
  std::u32string out = decode(text);
  for (auto& c : out) c = lower_first(c);
  return out;
}

bool is_grapheme_extend(char32_t) {
  return false;
}
bool is_printable(char32_t c) {
  return c >= 0x20 && c != 0x7F;
}

}  // namespace tavrell::text

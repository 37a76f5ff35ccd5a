#include "text/unicode.h"

#include <algorithm>

#include "text/utf8.h"

namespace tavrell::text {
namespace {

namespace ut = unicode_tables;

constexpr char32_t kCapitalSigma = 0x03A3;
constexpr char32_t kSmallSigma = 0x03C3;
constexpr char32_t kFinalSigma = 0x03C2;

std::uint8_t flags_of(char32_t c) {
  if (c < 0x80) {
    // ASCII letters are cased; the apostrophe, full stop, colon, circumflex
    // and grave accent are case-ignorable.
    if ((c | 0x20) >= 'a' && (c | 0x20) <= 'z') return ut::kCased;
    return (c == '\'' || c == '.' || c == ':' || c == '^' || c == '`') ? ut::kCaseIgnorable : 0;
  }
  return ut::record_of(c).flags;
}

// The sigma at text[i] ends a word: a cased letter comes before it and none
// after it, case-ignorable characters in between skipped on both sides. A
// character that is both cased and case-ignorable is skipped, as Python's
// str.lower() does, so the two always agree.
bool is_final_sigma(const std::u32string& text, std::size_t i) {
  std::size_t j = i;
  std::uint8_t before = 0;
  while (j > 0) {
    before = flags_of(text[--j]);
    if (!(before & ut::kCaseIgnorable)) break;
  }
  if (j == i || (before & ut::kCaseIgnorable) || !(before & ut::kCased)) return false;
  for (std::size_t k = i + 1; k < text.size(); ++k) {
    const std::uint8_t after = flags_of(text[k]);
    if (!(after & ut::kCaseIgnorable)) return !(after & ut::kCased);
  }
  return true;
}

void append_lower(std::u32string& out, char32_t c) {
  const ut::CharRecord& rec = ut::record_of(c);
  if (!(rec.flags & ut::kLowerExpands)) {
    out.push_back(c + static_cast<char32_t>(rec.lower_offset));
    return;
  }
  const auto* end = std::end(ut::kLowerExpansions);
  const auto* it = std::lower_bound(
      std::begin(ut::kLowerExpansions), end, c,
      [](const ut::LowerExpansion& e, char32_t key) { return e.code_point < key; });
  if (it == end || it->code_point != c) {  // cannot happen with consistent tables
    out.push_back(c + static_cast<char32_t>(rec.lower_offset));
    return;
  }
  out.append(it->mapping, std::min<std::size_t>(it->length, std::size(it->mapping)));
}

}  // namespace

std::u32string lowercase_full(std::string_view text) {
  const std::u32string src = decode(text);
  std::u32string out;
  out.reserve(src.size());
  for (std::size_t i = 0; i < src.size(); ++i) {
    const char32_t c = src[i];
    if (c < 0x80) {
      out.push_back((c >= 'A' && c <= 'Z') ? c + 32 : c);
    } else if (c == kCapitalSigma) {
      out.push_back(is_final_sigma(src, i) ? kFinalSigma : kSmallSigma);
    } else {
      append_lower(out, c);
    }
  }
  return out;
}

}  // namespace tavrell::text

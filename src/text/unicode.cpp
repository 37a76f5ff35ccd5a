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

// The half of the Final_Sigma rule that looks ahead: no cased letter follows
// byte offset pos, case-ignorable characters skipped. A character that is both
// cased and case-ignorable is skipped, as Python's str.lower() does, so the two
// always agree. Each run of case-ignorable characters is read at most once
// more, by the sigma just before it, so lowering stays linear.
bool no_cased_after(std::string_view text, std::size_t pos) {
  while (pos < text.size()) {
    const std::uint8_t flags = flags_of(decode_next(text, pos));
    if (!(flags & ut::kCaseIgnorable)) return !(flags & ut::kCased);
  }
  return true;
}

const ut::LowerExpansion* find_expansion(char32_t c) {
  const auto* end = std::end(ut::kLowerExpansions);
  const auto* it = std::lower_bound(
      std::begin(ut::kLowerExpansions), end, c,
      [](const ut::LowerExpansion& e, char32_t key) { return e.code_point < key; });
  return it == end || it->code_point != c ? nullptr : it;
}

}  // namespace

bool LowercaseReader::next(char32_t& out) {
  if (pending_pos_ < pending_end_) {
    out = pending_[pending_pos_++];
    return true;
  }
  if (pos_ >= text_.size()) return false;
  const char32_t c = decode_next(text_, pos_);
  const std::uint8_t flags = flags_of(c);
  if (c < 0x80) {
    out = (c >= 'A' && c <= 'Z') ? c + 32 : c;
  } else if (c == kCapitalSigma) {
    out = cased_before_ && no_cased_after(text_, pos_) ? kFinalSigma : kSmallSigma;
  } else {
    const ut::CharRecord& rec = ut::record_of(c);
    out = c + static_cast<char32_t>(rec.lower_offset);
    if (rec.flags & ut::kLowerExpands) {
      // Only absent with inconsistent tables; the first code point stands then.
      if (const ut::LowerExpansion* e = find_expansion(c)) {
        const std::size_t length = std::min<std::size_t>(e->length, std::size(e->mapping));
        if (length > 0) out = e->mapping[0];
        pending_pos_ = 0;
        pending_end_ = length > 1 ? length - 1 : 0;
        for (std::size_t k = 0; k < pending_end_; ++k) pending_[k] = e->mapping[k + 1];
      }
    }
  }
  // The half of the rule that looks back: the last character that is not
  // case-ignorable decides.
  if (!(flags & ut::kCaseIgnorable)) cased_before_ = (flags & ut::kCased) != 0;
  return true;
}

std::u32string lowercase_full(std::string_view text) {
  std::u32string out;
  out.reserve(text.size());
  LowercaseReader reader(text);
  for (char32_t c; reader.next(c);) out.push_back(c);
  return out;
}

}  // namespace tavrell::text

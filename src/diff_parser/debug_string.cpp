#include "diff_parser/debug_string.h"

#include "text/unicode.h"
#include "text/utf8.h"

namespace tavrell::diff_parser {
namespace {

void append_code_point_escape(std::string& out, char32_t c) {
  static constexpr char kHex[] = "0123456789abcdef";
  out += "\\u{";
  int shift = 20;
  while (shift > 0 && ((c >> shift) & 0xF) == 0) shift -= 4;
  for (; shift >= 0; shift -= 4) out.push_back(kHex[(c >> shift) & 0xF]);
  out.push_back('}');
}

}  // namespace

void append_debug_string(std::string& out, std::string_view s) {
  out.reserve(out.size() + s.size() + 2);
  out.push_back('"');
  std::size_t i = 0;
  while (i < s.size()) {
    const char32_t c = text::decode_next(s, i);
    switch (c) {
      case U'\\':
        out += "\\\\";
        continue;
      case U'"':
        out += "\\\"";
        continue;
      case U'\0':
        out += "\\0";
        continue;
      case U'\t':
        out += "\\t";
        continue;
      case U'\r':
        out += "\\r";
        continue;
      case U'\n':
        out += "\\n";
        continue;
      default:
        break;
    }
    if (c >= 0x20 && c < 0x7F) {
      out.push_back(static_cast<char>(c));
    } else if (!text::is_printable(c) || text::is_grapheme_extend(c)) {
      append_code_point_escape(out, c);
    } else {
      // Re-encoded rather than copied: a malformed byte decodes as U+FFFD,
      // and the output must stay valid UTF-8 even then.
      text::append_utf8(out, c);
    }
  }
  out.push_back('"');
}

}  // namespace tavrell::diff_parser

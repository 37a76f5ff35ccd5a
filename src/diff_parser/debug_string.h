// The debug form of a string, as the hunk results show their messages: the
// text between double quotes with backslash escapes for the characters that
// would otherwise be invisible, ambiguous or break the line.
#pragma once

#include <string>
#include <string_view>

namespace tavrell::diff_parser {

// Appends s in its debug form to out: '"', the escaped text, '"'. Backslash
// and double quote are escaped, NUL, tab, CR and LF become \0 \t \r \n, and
// every other non-printable or Grapheme_Extend character becomes \u{hex}.
void append_debug_string(std::string& out, std::string_view s);

}  // namespace tavrell::diff_parser

// Unicode character data: case mappings and the classifications the system
// needs. The tables behind these functions are generated from the Unicode
// Character Database by tools/gen_unicode_tables.py; ASCII never reaches them.
#pragma once

#include <string>
#include <string_view>

namespace tavrell::text {

// First code point of the full lowercase mapping of c (c when it has none).
char32_t lower_first(char32_t c);
// First code point of the full uppercase mapping of c (c when it has none).
char32_t upper_first(char32_t c);

// Full lowercase of a whole text, code point by code point, with the
// Final_Sigma rule for U+03A3. No locale tailoring.
std::u32string lowercase_full(std::string_view text);

bool is_grapheme_extend(char32_t c);
// Printable in the sense of a debug representation of strings: not a control,
// format, private-use, surrogate or unassigned code point, and not a separator
// other than the space.
bool is_printable(char32_t c);

}  // namespace tavrell::text

// Removal of the indentation that all content lines of a unified diff share,
// so that a diff of deeply indented code reads well. A display aid only.
#pragma once

#include <string>
#include <string_view>

namespace tavrell::content_replacer {

// The diff with the common indentation removed just after each content line's
// marker. Returns diff_text unchanged, byte for byte, when there is nothing to
// remove; otherwise the lines are rejoined with "\n" and no final break.
std::string trim_diff(std::string_view diff_text);

}  // namespace tavrell::content_replacer

// What the strategies of one replacement call share: the content and the text
// to find, split into lines once, trimmed once and reduced to their visible
// characters once, each computed on first use.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tavrell::content_replacer {

// Byte offset of the first occurrence of pattern in text at or after from, or
// npos. The empty pattern occurs at from itself (when from <= text.size()).
std::size_t find_text(std::string_view text, std::string_view pattern, std::size_t from = 0);

// text with every whitespace character removed. Each normal form the
// strategies compare in only drops, collapses or moves whitespace and line
// breaks, so two texts can only be equal in normal form when their visible
// texts are equal: a cheap necessary test before the exact one.
std::string visible_text(std::string_view text);

class SearchContext {
 public:
  // Both texts must outlive the context.
  SearchContext(std::string_view content, std::string_view find) : content_(content), find_(find) {}
  SearchContext(const SearchContext&) = delete;
  SearchContext& operator=(const SearchContext&) = delete;

  std::string_view content() const { return content_; }
  std::string_view find() const { return find_; }

  // The lines of each text by the lines rule, and the same lines trimmed.
  const std::vector<std::string_view>& content_lines();
  const std::vector<std::string_view>& trimmed_content_lines();
  const std::vector<std::string_view>& find_lines();
  const std::vector<std::string_view>& trimmed_find_lines();

  // Ascending indices of the content lines whose trimmed text is t.
  std::vector<std::size_t> lines_trimmed_to(std::string_view t);

  // The text of the content lines [begin, begin + count) joined with "\n".
  std::string window_text(std::size_t begin, std::size_t count);

  // True when the visible text of the content lines [begin, begin + count)
  // equals the visible text of find.
  bool window_visible_equals_find(std::size_t begin, std::size_t count);
  // True when the visible text of the whole content equals that of find.
  bool content_visible_equals_find();

 private:
  void ensure_visible();

  std::string_view content_;
  std::string_view find_;
  std::optional<std::vector<std::string_view>> content_lines_;
  std::optional<std::vector<std::string_view>> trimmed_content_lines_;
  std::optional<std::vector<std::string_view>> find_lines_;
  std::optional<std::vector<std::string_view>> trimmed_find_lines_;
  // Visible text of all content lines back to back; line i owns the bytes
  // [visible_offsets_[i], visible_offsets_[i + 1]).
  bool visible_ready_ = false;
  std::string visible_;
  std::vector<std::size_t> visible_offsets_;
  std::string find_visible_;
};

}  // namespace tavrell::content_replacer

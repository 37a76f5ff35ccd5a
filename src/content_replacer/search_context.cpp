#include "content_replacer/search_context.h"

#include <cstring>

#include "text/lines.h"
#include "text/utf8.h"
#include "text/whitespace.h"

namespace tavrell::content_replacer {

std::size_t find_text(std::string_view text, std::string_view pattern, std::size_t from) {
  if (from > text.size()) return std::string_view::npos;
  if (pattern.empty()) return from;
  if (pattern.size() > text.size() - from) return std::string_view::npos;
#if defined(__GLIBC__)
  // glibc's memmem is a two-way search: linear and much faster than the
  // first-byte scan of string_view::find on texts full of spaces.
  const void* hit = memmem(text.data() + from, text.size() - from, pattern.data(), pattern.size());
  if (hit == nullptr) return std::string_view::npos;
  return static_cast<std::size_t>(static_cast<const char*>(hit) - text.data());
#else
  return text.find(pattern, from);
#endif
}

namespace {

void append_visible(std::string_view text, std::string& out) {
  std::size_t i = 0;
  while (i < text.size()) {
    const auto b = static_cast<unsigned char>(text[i]);
    if (b < 0x80) {
      if (!text::is_white_space(b)) out.push_back(static_cast<char>(b));
      ++i;
      continue;
    }
    const std::size_t start = i;
    if (!text::is_white_space(text::decode_next(text, i))) out.append(text, start, i - start);
  }
}

}  // namespace

std::string visible_text(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  append_visible(text, out);
  return out;
}

const std::vector<std::string_view>& SearchContext::content_lines() {
  if (!content_lines_) content_lines_ = text::split_lines(content_);
  return *content_lines_;
}

const std::vector<std::string_view>& SearchContext::find_lines() {
  if (!find_lines_) find_lines_ = text::split_lines(find_);
  return *find_lines_;
}

const std::vector<std::string_view>& SearchContext::trimmed_content_lines() {
  if (!trimmed_content_lines_) {
    const auto& lines = content_lines();
    std::vector<std::string_view> trimmed;
    trimmed.reserve(lines.size());
    for (std::string_view line : lines) trimmed.push_back(text::trim(line));
    trimmed_content_lines_ = std::move(trimmed);
  }
  return *trimmed_content_lines_;
}

const std::vector<std::string_view>& SearchContext::trimmed_find_lines() {
  if (!trimmed_find_lines_) {
    const auto& lines = find_lines();
    std::vector<std::string_view> trimmed;
    trimmed.reserve(lines.size());
    for (std::string_view line : lines) trimmed.push_back(text::trim(line));
    trimmed_find_lines_ = std::move(trimmed);
  }
  return *trimmed_find_lines_;
}

std::vector<std::size_t> SearchContext::lines_trimmed_to(std::string_view t) {
  const auto& trimmed = trimmed_content_lines();
  std::vector<std::size_t> out;
  for (std::size_t i = 0; i < trimmed.size(); ++i) {
    if (trimmed[i] == t) out.push_back(i);
  }
  return out;
}

std::string SearchContext::window_text(std::size_t begin, std::size_t count) {
  const auto& lines = content_lines();
  if (begin > lines.size()) begin = lines.size();
  if (count > lines.size() - begin) count = lines.size() - begin;
  return text::join_line_range(lines, begin, begin + count);
}

void SearchContext::ensure_visible() {
  if (visible_ready_) return;
  const auto& lines = content_lines();
  visible_.reserve(content_.size());
  visible_offsets_.reserve(lines.size() + 1);
  visible_offsets_.push_back(0);
  for (std::string_view line : lines) {
    append_visible(line, visible_);
    visible_offsets_.push_back(visible_.size());
  }
  find_visible_ = visible_text(find_);
  visible_ready_ = true;
}

bool SearchContext::window_visible_equals_find(std::size_t begin, std::size_t count) {
  ensure_visible();
  const std::size_t lines = visible_offsets_.size() - 1;
  if (begin > lines || count > lines - begin) return false;
  const std::size_t from = visible_offsets_[begin];
  const std::size_t size = visible_offsets_[begin + count] - from;
  return size == find_visible_.size() &&
         std::memcmp(visible_.data() + from, find_visible_.data(), size) == 0;
}

bool SearchContext::content_visible_equals_find() {
  ensure_visible();
  return visible_ == find_visible_;
}

}  // namespace tavrell::content_replacer

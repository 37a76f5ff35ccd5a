// The strategies that compare the content with the text to find line by line,
// each line trimmed: simple (exact), line_trimmed, block_anchor,
// trimmed_boundary and context_aware.
#include <algorithm>

#include "content_replacer/strategies.h"
#include "text/levenshtein.h"
#include "text/whitespace.h"

namespace tavrell::content_replacer {
namespace {

// The first index in the ascending list that is at least from, if any.
std::optional<std::size_t> first_at_or_after(const std::vector<std::size_t>& sorted,
                                             std::size_t from) {
  auto it = std::lower_bound(sorted.begin(), sorted.end(), from);
  if (it == sorted.end()) return std::nullopt;
  return *it;
}

// calculate_block_similarity over lines that are already trimmed.
double block_similarity(const std::vector<std::string_view>& content,
                        const std::vector<std::string_view>& search, std::uint64_t start,
                        std::uint64_t end, std::uint64_t search_length) {
  if (end < start) return 1.0;
  const std::uint64_t block_length = end - start + 1;
  if (block_length < 3 || search_length < 3) return 1.0;  // no middle line on one side
  const std::uint64_t middle = std::min(block_length, search_length) - 2;
  double sum = 0.0;
  std::int32_t count = 0;
  for (std::uint64_t k = 1; k <= middle; ++k) {
    if (start + k >= content.size() || k >= search.size()) break;
    const std::string_view a = content[start + k];
    const std::string_view b = search[k];
    const std::size_t longer = std::max(a.size(), b.size());
    if (longer == 0) continue;
    const std::uint64_t distance = a == b ? 0 : text::levenshtein_distance(a, b);
    sum += 1.0 - static_cast<double>(distance) / static_cast<double>(longer);
    ++count;
  }
  return count > 0 ? sum / count : 1.0;
}

}  // namespace

Candidates simple_replacer(SearchContext& ctx) {
  if (find_text(ctx.content(), ctx.find()) == std::string_view::npos) return {};
  return {std::string(ctx.find())};
}

Candidates line_trimmed_replacer(SearchContext& ctx) {
  const auto& search = ctx.find_lines();
  std::size_t m = search.size();
  if (m > 0 && search[m - 1].empty()) --m;
  if (m == 0) return {};
  const auto& content = ctx.trimmed_content_lines();
  const auto& wanted = ctx.trimmed_find_lines();
  if (content.size() < m) return {};
  Candidates out;
  for (std::size_t i = 0; i + m <= content.size(); ++i) {
    std::size_t k = 0;
    while (k < m && content[i + k] == wanted[k]) ++k;
    if (k == m) out.push_back(ctx.window_text(i, m));
  }
  return out;
}

Candidates block_anchor_replacer(SearchContext& ctx) {
  const auto& search = ctx.find_lines();
  if (search.size() < 3) return {};
  std::size_t m = search.size();
  if (search[m - 1].empty()) --m;
  const auto& wanted = ctx.trimmed_find_lines();
  const std::string_view first = wanted[0];
  const std::string_view last = wanted[m - 1];
  // A blank line stands in front of and behind nearly every block of a file:
  // anchoring on one would frame an arbitrary block, so it anchors nothing.
  if (first.empty() || last.empty()) return {};

  const std::vector<std::size_t> firsts = ctx.lines_trimmed_to(first);
  if (firsts.empty()) return {};
  const std::vector<std::size_t> lasts = first == last ? firsts : ctx.lines_trimmed_to(last);
  // Each first anchor pairs with its nearest last anchor at least two lines on.
  std::vector<std::pair<std::size_t, std::size_t>> pairs;
  for (std::size_t i : firsts) {
    if (auto j = first_at_or_after(lasts, i + 2)) pairs.emplace_back(i, *j);
  }
  if (pairs.empty()) return {};

  const auto& content = ctx.trimmed_content_lines();
  if (pairs.size() == 1) {
    const auto [i, j] = pairs[0];
    if (block_similarity(content, wanted, i, j, m) >= 0.6) return {ctx.window_text(i, j - i + 1)};
    return {};
  }
  double best = -1.0;
  std::optional<std::pair<std::size_t, std::size_t>> best_pair;
  for (const auto& pair : pairs) {
    const double similarity = block_similarity(content, wanted, pair.first, pair.second, m);
    if (similarity > best) {  // on a tie the earlier block stays
      best = similarity;
      best_pair = pair;
    }
  }
  if (best_pair && best >= 0.3) {
    return {ctx.window_text(best_pair->first, best_pair->second - best_pair->first + 1)};
  }
  return {};
}

Candidates trimmed_boundary_replacer(SearchContext& ctx) {
  const std::string_view find = ctx.find();
  const std::string_view t = text::trim(find);
  if (t.size() == find.size()) return {};  // nothing to trim: other strategies serve it
  Candidates out;
  if (find_text(ctx.content(), t) != std::string_view::npos) out.emplace_back(t);
  const std::size_t n = ctx.find_lines().size();
  const std::size_t lines = ctx.content_lines().size();
  if (n == 0 || lines < n) return out;
  for (std::size_t i = 0; i + n <= lines; ++i) {
    // Trimming drops only whitespace, so a block that trims to t has the
    // visible text of find.
    if (!ctx.window_visible_equals_find(i, n)) continue;
    std::string block = ctx.window_text(i, n);
    if (text::trim(block) != t) continue;
    if (std::find(out.begin(), out.end(), block) == out.end()) out.push_back(std::move(block));
  }
  return out;
}

Candidates context_aware_replacer(SearchContext& ctx) {
  const auto& search = ctx.find_lines();
  if (search.size() < 3) return {};
  const std::size_t n = search.size() - (search.back().empty() ? 1 : 0);
  const auto& wanted = ctx.trimmed_find_lines();
  const std::string_view first = wanted[0];
  const std::string_view last = wanted[n - 1];
  if (first.empty() || last.empty()) return {};  // a blank line anchors nothing

  const auto& content = ctx.trimmed_content_lines();
  const std::vector<std::size_t> firsts = ctx.lines_trimmed_to(first);
  if (firsts.empty()) return {};
  const std::vector<std::size_t> lasts = first == last ? firsts : ctx.lines_trimmed_to(last);
  Candidates out;
  for (std::size_t i : firsts) {
    if (i + 2 >= content.size()) continue;
    const auto j = first_at_or_after(lasts, i + 2);
    if (!j || *j - i + 1 != n) continue;
    std::int32_t total = 0;
    std::int32_t matched = 0;
    for (std::size_t k = 1; k + 1 < n; ++k) {
      const std::string_view a = content[i + k];
      const std::string_view b = wanted[k];
      if (a.empty() && b.empty()) continue;
      ++total;
      if (a == b) ++matched;
    }
    if (total == 0 || static_cast<double>(matched) / static_cast<double>(total) >= 0.5) {
      out.push_back(ctx.window_text(i, n));
    }
  }
  return out;
}

double calculate_block_similarity(const std::vector<std::string_view>& content_lines,
                                  const std::vector<std::string_view>& search_lines,
                                  std::uint64_t start, std::uint64_t end,
                                  std::uint64_t search_length) {
  std::vector<std::string_view> content, search;
  content.reserve(content_lines.size());
  search.reserve(search_lines.size());
  for (std::string_view line : content_lines) content.push_back(text::trim(line));
  for (std::string_view line : search_lines) search.push_back(text::trim(line));
  return block_similarity(content, search, start, end, search_length);
}

Candidates simple_replacer(std::string_view content, std::string_view find) {
  SearchContext ctx(content, find);
  return simple_replacer(ctx);
}
Candidates line_trimmed_replacer(std::string_view content, std::string_view find) {
  SearchContext ctx(content, find);
  return line_trimmed_replacer(ctx);
}
Candidates block_anchor_replacer(std::string_view content, std::string_view find) {
  SearchContext ctx(content, find);
  return block_anchor_replacer(ctx);
}
Candidates trimmed_boundary_replacer(std::string_view content, std::string_view find) {
  SearchContext ctx(content, find);
  return trimmed_boundary_replacer(ctx);
}
Candidates context_aware_replacer(std::string_view content, std::string_view find) {
  SearchContext ctx(content, find);
  return context_aware_replacer(ctx);
}

}  // namespace tavrell::content_replacer

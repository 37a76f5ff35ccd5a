#include "streaming_matcher/streaming_matcher.h"

#include <algorithm>
#include <limits>
#include <unordered_map>

#include "text/lines.h"
#include "text/whitespace.h"

namespace tavrell::streaming {
namespace {

constexpr std::uint32_t kMaxCost = std::numeric_limits<std::uint32_t>::max();

// Costs saturate instead of wrapping, so a huge query can never make a poor
// alignment look cheap.
inline std::uint32_t add_cost(std::uint32_t a, std::uint32_t b) {
  const std::uint32_t sum = a + b;
  return sum < a ? kMaxCost : sum;
}

inline std::uint32_t skipped_query_lines_cost(std::size_t lines) {
  if (lines > kMaxCost / kSkipQueryLineCost) return kMaxCost;
  return static_cast<std::uint32_t>(lines) * kSkipQueryLineCost;
}

// Makes room for n elements, growing geometrically, so that the pushes that
// follow cannot fail.
template <class T>
void reserve_at_least(std::vector<T>& v, std::size_t n) {
  if (n > v.capacity()) v.reserve(std::max(n, 2 * v.capacity()));
}

}  // namespace

StreamingFuzzyMatcher::StreamingFuzzyMatcher(std::string_view source_text) {
  const std::vector<std::string_view> lines = text::split_lines(source_text);

  std::size_t total = 0;
  for (std::string_view line : lines) total += line.size() + 1;
  joined_.reserve(total);
  line_offsets_.reserve(lines.size() + 1);
  std::uint64_t offset = 0;
  for (std::string_view line : lines) {
    line_offsets_.push_back(offset);
    if (offset != 0) joined_.push_back('\n');
    joined_.append(line);
    offset += line.size() + 1;
  }
  line_offsets_.push_back(offset);
  column_count_ = lines.size() + 1;

  // Intern the trimmed source lines. The map's keys view joined_, which is
  // complete and no longer changes; the map lives only during construction.
  std::unordered_map<std::string_view, std::size_t> ids;
  ids.reserve(lines.size());
  line_ids_.reserve(lines.size());
  for (std::size_t k = 0; k < lines.size(); ++k) {
    const std::string_view line = source_line(k);
    const std::size_t lead = text::leading_white_space_bytes(line);
    const std::string_view trimmed = text::trim_end(line.substr(lead));
    auto [it, inserted] = ids.try_emplace(trimmed, distinct_lines_.size());
    if (inserted) {
      distinct_lines_.push_back(DistinctLine{static_cast<std::size_t>(line_offsets_[k]) + lead,
                                             trimmed.size(), sketch_line(trimmed)});
    }
    line_ids_.push_back(it->second);
  }

  // Order the distinct lines by length and renumber the source lines.
  std::vector<std::size_t> order(distinct_lines_.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(), [&](std::size_t x, std::size_t y) {
    return distinct_lines_[x].size < distinct_lines_[y].size;
  });
  std::vector<std::size_t> new_id(order.size());
  std::vector<DistinctLine> sorted;
  sorted.reserve(order.size());
  for (std::size_t i = 0; i < order.size(); ++i) {
    new_id[order[i]] = i;
    sorted.push_back(distinct_lines_[order[i]]);
  }
  distinct_lines_ = std::move(sorted);
  for (std::size_t& id : line_ids_) id = new_id[id];
}

std::string_view StreamingFuzzyMatcher::source_line(std::size_t k) const {
  const auto start = static_cast<std::size_t>(line_offsets_[k]);
  const auto next = static_cast<std::size_t>(line_offsets_[k + 1]);
  return std::string_view(joined_).substr(start, next - start - 1);
}

MatrixCell StreamingFuzzyMatcher::cell(std::size_t r, std::size_t c) const {
  return MatrixCell{cost_rows_[r][c], step_rows_[r][c]};
}

std::size_t StreamingFuzzyMatcher::matrix_bytes() const {
  return static_cast<std::size_t>(rows_filled_ * column_count_) *
         (sizeof(std::uint32_t) + sizeof(Step));
}

std::optional<MatchRange> StreamingFuzzyMatcher::push(std::string_view chunk,
                                                      std::optional<std::uint32_t> line_hint) {
  // Every step that may run out of memory comes before the first change that
  // could not be undone, so a failed push leaves the query as it was.
  const std::size_t old_size = line_buffer_.size();
  line_buffer_.append(chunk);
  // The buffer held no "\n" before this chunk, so only the chunk is searched.
  const std::size_t found = std::string_view(line_buffer_).substr(old_size).rfind('\n');
  if (found != std::string_view::npos) {
    const std::size_t newline = old_size + found;
    std::vector<std::string> lines;
    try {
      for (std::string_view line :
           text::split_lines(std::string_view(line_buffer_).substr(0, newline + 1))) {
        lines.emplace_back(line);
      }
      reserve_at_least(query_lines_, query_lines_.size() + lines.size());
    } catch (...) {
      line_buffer_.resize(old_size);
      throw;
    }
    for (std::string& line : lines) query_lines_.push_back(std::move(line));
    line_buffer_.erase(0, newline + 1);
  }
  if (line_hint) line_hint_ = line_hint;
  if (rows_missing()) matches_ = resolve_location_fuzzy();
  if (std::optional<MatchRange> best = select_best_match()) return best;
  if (!matches_.empty()) return matches_.front();
  return std::nullopt;
}

std::vector<MatchRange> StreamingFuzzyMatcher::finish() {
  if (!line_buffer_.empty()) {
    // No "\n" follows the last piece, so it is kept whole, a final "\r" too.
    query_lines_.push_back(std::move(line_buffer_));
    line_buffer_.clear();
  }
  if (rows_missing()) matches_ = resolve_location_fuzzy();
  return matches_;
}

std::vector<MatchRange> StreamingFuzzyMatcher::resolve_location_fuzzy() {
  const std::size_t cols = static_cast<std::size_t>(column_count_);
  // A row joins the matrix only once it is complete, so running out of
  // memory part way leaves every stored row valid; the rows still missing
  // are computed by the next resolution.
  reserve_at_least(cost_rows_, query_lines_.size() + 1);
  reserve_at_least(step_rows_, query_lines_.size() + 1);
  if (cost_rows_.empty()) {
    // Row 0: an alignment may begin before any source line at no cost.
    auto costs = std::make_unique<std::uint32_t[]>(cols);
    auto steps = std::make_unique<Step[]>(cols);
    std::fill_n(steps.get(), cols, Step::PairLines);
    // A trace that reaches row 0 stops in the column it reached.
    std::vector<TraceEnd> ends(cols);
    for (std::size_t c = 0; c < cols; ++c) ends[c] = TraceEnd{c, 0};
    cost_rows_.push_back(std::move(costs));
    step_rows_.push_back(std::move(steps));
    trace_ends_ = std::move(ends);
    rows_filled_ = 1;
  }
  std::vector<std::uint8_t> pair_costs(distinct_lines_.size());
  while (cost_rows_.size() <= query_lines_.size()) {
    auto costs = std::make_unique_for_overwrite<std::uint32_t[]>(cols);
    auto steps = std::make_unique_for_overwrite<Step[]>(cols);
    fill_row(cost_rows_.size(), costs.get(), steps.get(), pair_costs);
    advance_trace_ends(steps.get());
    cost_rows_.push_back(std::move(costs));
    step_rows_.push_back(std::move(steps));
    rows_filled_ = cost_rows_.size();
  }
  return collect_regions();
}

void StreamingFuzzyMatcher::fill_row(std::size_t r, std::uint32_t* row, Step* steps,
                                     std::vector<std::uint8_t>& pair_costs) const {
  // The pair cost depends only on the trimmed texts, so it is computed once
  // per distinct source line rather than once per column. Lines whose length
  // is outside [0.8 La - 1, 1.25 La + 2] fail the length test for a query
  // line of La bytes; the exact test still decides the lines inside.
  const std::string_view query = text::trim(query_lines_[r - 1]);
  const LineSketch query_sketch = sketch_line(query);
  const std::size_t shortest = query.size() / 5 * 4 + query.size() % 5 * 4 / 5;
  const std::size_t longest = query.size() + query.size() / 4 + 2;
  auto by_size = [](const DistinctLine& d, std::size_t size) { return d.size < size; };
  const auto first = std::lower_bound(distinct_lines_.begin(), distinct_lines_.end(),
                                      shortest > 0 ? shortest - 1 : 0, by_size);
  const auto last = std::lower_bound(first, distinct_lines_.end(), longest + 1, by_size);
  std::fill(pair_costs.begin(), pair_costs.end(), static_cast<std::uint8_t>(kDissimilarLinesCost));
  const std::string_view joined(joined_);
  for (auto it = first; it != last; ++it) {
    pair_costs[static_cast<std::size_t>(it - distinct_lines_.begin())] = static_cast<std::uint8_t>(
        trimmed_pair_cost(query, query_sketch, joined.substr(it->offset, it->size), it->sketch));
  }

  const std::size_t cols = static_cast<std::size_t>(column_count_);
  const std::uint32_t* above = cost_rows_[r - 1].get();
  row[0] = skipped_query_lines_cost(r);
  steps[0] = Step::SkipQueryLine;
  std::uint32_t left = row[0];
  for (std::size_t c = 1; c < cols; ++c) {
    const std::uint32_t pair = add_cost(above[c - 1], pair_costs[line_ids_[c - 1]]);
    const std::uint32_t skip_source = add_cost(left, kSkipSourceLineCost);
    const std::uint32_t skip_query = add_cost(above[c], kSkipQueryLineCost);
    // Ties go to skipping the query line, then to skipping the source line;
    // a pairing wins only when strictly cheaper.
    std::uint32_t best = skip_query;
    Step step = Step::SkipQueryLine;
    if (skip_source < skip_query) {
      best = skip_source;
      step = Step::SkipSourceLine;
    }
    if (pair < best) {
      best = pair;
      step = Step::PairLines;
    }
    row[c] = best;
    steps[c] = step;
    left = best;
  }
}

void StreamingFuzzyMatcher::advance_trace_ends(const Step* steps) {
  const std::size_t cols = static_cast<std::size_t>(column_count_);
  // Updated in place from left to right: `diagonal` keeps the entry of the
  // row above for column c - 1 after it has been overwritten.
  TraceEnd diagonal = trace_ends_[0];
  trace_ends_[0] = TraceEnd{0, 0};  // a trace that reaches column 0 stops there
  for (std::size_t c = 1; c < cols; ++c) {
    const TraceEnd above = trace_ends_[c];
    switch (steps[c]) {
      case Step::SkipQueryLine:
        break;  // same as the cell above
      case Step::SkipSourceLine:
        trace_ends_[c] = trace_ends_[c - 1];
        break;
      case Step::PairLines:
        trace_ends_[c] = TraceEnd{diagonal.start, diagonal.paired + 1};
        break;
    }
    diagonal = above;
  }
}

std::vector<MatchRange> StreamingFuzzyMatcher::collect_regions() const {
  std::vector<MatchRange> regions;
  const std::size_t cols = static_cast<std::size_t>(column_count_);
  const std::size_t query_count = query_lines_.size();
  if (cols <= 1 || query_count == 0) return regions;

  const std::uint32_t* last = cost_rows_[query_count].get();
  const std::uint32_t best = *std::min_element(last + 1, last + cols);
  // An accepted region pairs at least 80% of the query lines (each unpaired
  // one costs 10) and skips at most a quarter as many source lines as it
  // pairs (3 each); its pairings cost at most 1 each. Such an alignment costs
  // at most 3.55 per query line, so above 4 per line every candidate would be
  // rejected and judging them (one per column when nothing matches) is
  // skipped.
  if (best > 4 * static_cast<std::uint64_t>(query_count)) return regions;

  for (std::size_t end = 1; end < cols; ++end) {
    if (last[end] != best) continue;
    // The trace-back from (Q, end), kept current row by row.
    const auto start = static_cast<std::size_t>(trace_ends_[end].start);
    const std::uint64_t paired = trace_ends_[end].paired;
    const std::uint64_t span = std::max<std::uint64_t>(end - start, query_count);
    const float coverage = static_cast<float>(paired) / static_cast<float>(span);
    if (!(coverage >= 0.8f)) continue;
    regions.push_back(MatchRange{line_offsets_[start], line_offsets_[end] - 1});
  }
  return regions;
}

}  // namespace tavrell::streaming

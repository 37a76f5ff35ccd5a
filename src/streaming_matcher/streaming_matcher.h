// The streaming matcher: finds where, in a fixed source text, a query text
// belongs while the query is still arriving in chunks (typically a language
// model's streamed copy of code it is about to edit).
//
// The source is split into lines once. Every query line completed by a chunk
// adds one row to an alignment matrix of query lines against source lines;
// rows are never recomputed, so each new line costs one pass over the source.
// After each batch of new lines the regions of the source that the query
// lines so far match are recomputed from the last row.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "streaming_matcher/line_similarity.h"

namespace tavrell::streaming {

// A half-open byte range into the source lines joined with "\n". It always
// covers whole source lines when a matcher made it.
struct MatchRange {
  std::uint64_t start = 0;
  std::uint64_t end = 0;
  friend bool operator==(const MatchRange&, const MatchRange&) = default;
};

// How an alignment reached a matrix cell.
enum class Step : std::uint8_t {
  SkipQueryLine = 0,   // the query line pairs with nothing (from the cell above)
  SkipSourceLine = 1,  // a source line inside the region is skipped (from the left)
  PairLines = 2,       // the query line is paired with the source line (diagonal)
};

// One cell of the alignment matrix as read back; stored as two parallel
// arrays so that a cell takes five bytes.
struct MatrixCell {
  std::uint32_t cost = 0;
  Step step = Step::PairLines;
};

inline constexpr std::uint32_t kSkipSourceLineCost = 3;
inline constexpr std::uint32_t kSkipQueryLineCost = 10;
// Regions nearer to the line hint than this many lines (inclusive) qualify.
inline constexpr std::uint64_t kLineHintWindow = 200;

class StreamingFuzzyMatcher {
 public:
  explicit StreamingFuzzyMatcher(std::string_view source_text);

  // Appends chunk to the query; completed lines are added and the regions
  // recomputed. A given line_hint replaces the stored one. Returns the best
  // match, else the first region, else nothing.
  std::optional<MatchRange> push(std::string_view chunk, std::optional<std::uint32_t> line_hint);

  // Turns a pending partial line into the last query line (recomputing the
  // regions) and returns a copy of all regions.
  std::vector<MatchRange> finish();

  // The only region; or, among several, the first one nearest to the line
  // hint within kLineHintWindow lines; otherwise nothing.
  std::optional<MatchRange> select_best_match() const;

  // The text of range in the joined source text, both offsets clamped to its
  // length. Nothing when a clamped offset falls inside a multi-byte
  // character, which only a range made by another matcher can do.
  std::optional<std::string_view> get_text(const MatchRange& range) const;

  // Read access.
  std::size_t source_line_count() const { return line_offsets_.size() - 1; }
  std::string_view source_line(std::size_t k) const;
  const std::vector<std::uint64_t>& line_offsets() const { return line_offsets_; }
  const std::vector<std::string>& query_lines() const { return query_lines_; }
  std::string_view line_buffer() const { return line_buffer_; }
  const std::vector<MatchRange>& matches() const { return matches_; }
  std::optional<std::uint32_t> line_hint() const { return line_hint_; }
  std::uint64_t column_count() const { return column_count_; }
  std::uint64_t rows_filled() const { return rows_filled_; }
  // Precondition: r < rows_filled(), c < column_count().
  MatrixCell cell(std::size_t r, std::size_t c) const;
  // Bytes held by the alignment matrix.
  std::size_t matrix_bytes() const;

 private:
  // Fills the rows of the query lines added since the previous call and
  // returns the regions the query lines now match.
  std::vector<MatchRange> resolve_location_fuzzy();
  // True when query lines have no row yet: new lines, or a resolution that
  // ran out of memory and must be completed by the next push or finish.
  // Without any query line there is nothing to resolve.
  bool rows_missing() const {
    return !query_lines_.empty() && rows_filled_ < query_lines_.size() + 1;
  }
  // Computes row r (query line r) into costs and steps from the row above.
  void fill_row(std::size_t r, std::uint32_t* costs, Step* steps,
                std::vector<std::uint8_t>& pair_costs) const;
  // Advances trace_ends_ from the row above to a newly filled row. Never
  // allocates, so it cannot fail half way.
  void advance_trace_ends(const Step* steps);
  std::vector<MatchRange> collect_regions() const;

  // The source lines joined with "\n"; every source line is a slice of it.
  std::string joined_;
  std::vector<std::uint64_t> line_offsets_;

  // Source lines interned by their trimmed text: many lines of code are
  // identical once trimmed ("}", blank lines, "end"), and the pair cost of a
  // query line needs computing only once per distinct trimmed line. Distinct
  // lines are sorted by length, so the lines that fail the length test for a
  // query line (most of them) are skipped as a block.
  struct DistinctLine {
    std::size_t offset;  // of the trimmed text in joined_
    std::size_t size;
    LineSketch sketch;
  };
  std::vector<DistinctLine> distinct_lines_;
  std::vector<std::size_t> line_ids_;  // per source line, index into distinct_lines_

  std::vector<std::string> query_lines_;
  std::string line_buffer_;
  std::vector<MatchRange> matches_;
  std::optional<std::uint32_t> line_hint_;

  // rows_filled_ rows of column_count_ cells, each row its own pair of
  // arrays: a new row never moves the earlier ones, so growing the matrix
  // costs no copy and no transient doubling of its memory.
  std::vector<std::unique_ptr<std::uint32_t[]>> cost_rows_;
  std::vector<std::unique_ptr<Step[]>> step_rows_;
  std::uint64_t column_count_ = 0;
  std::uint64_t rows_filled_ = 0;

  // Where the trace-back from each cell of the last filled row stops, and
  // how many lines it pairs on the way. A trace only follows the stored
  // steps, which never change, so the trace from a cell is the trace from
  // the cell its step points to, plus one pairing for a diagonal step: one
  // pass per new row keeps this current. Tracing every candidate end
  // afresh instead would cost up to Q steps for each of S ends on every
  // resolution (a block of identical lines gives that many ends).
  struct TraceEnd {
    std::uint64_t start;   // the column where the trace stops
    std::uint64_t paired;  // pairings on the way
  };
  std::vector<TraceEnd> trace_ends_;
};

}  // namespace tavrell::streaming

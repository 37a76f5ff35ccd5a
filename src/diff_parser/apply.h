// Application of a locationless diff: each parsed hunk, in order, goes through
// the replacement engine against the content the earlier hunks left.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace tavrell::diff_parser {

// The outcome of one hunk. On success strategy, start_line and end_line are
// set and error is not; on failure only error is set.
struct HunkResult {
  bool success = false;
  std::optional<std::string> strategy;
  std::optional<std::string> error;
  std::optional<std::uint64_t> start_line;
  std::optional<std::uint64_t> end_line;
};

// The outcome of a run in which at least one hunk was applied.
struct ApplyDiffResult {
  std::string content;
  std::uint64_t applied_count = 0;
  std::uint64_t total_count = 0;
  std::vector<HunkResult> hunk_results;
  bool all_applied = false;
};

// The diff text held no hunk.
struct NoHunksFound {};
// Hunks were found but none of them could be applied.
struct NoneApplied {
  std::string message;
};

using ApplyDiffError = std::variant<NoHunksFound, NoneApplied>;
using ApplyDiffOutcome = std::variant<ApplyDiffResult, ApplyDiffError>;

// Applies every hunk with replace_all and no line hint.
ApplyDiffOutcome apply_diff_hunks(std::string_view content, std::string_view diff_text,
                                  bool replace_all);

// Applies every hunk without replace_all, giving each the same line hint.
ApplyDiffOutcome apply_diff_hunks_with_hint(std::string_view content, std::string_view diff_text,
                                            std::optional<std::uint32_t> line_hint);

}  // namespace tavrell::diff_parser

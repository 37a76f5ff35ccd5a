#include "diff_parser/apply.h"

#include <type_traits>
#include <utility>

#include "content_replacer/replace.h"
#include "diff_parser/parser.h"
#include "text/whitespace.h"

namespace tavrell::diff_parser {
namespace {

namespace cr = content_replacer;

constexpr std::string_view kPureInsertion = "Pure insertion hunk (no context) - skipped";
constexpr std::string_view kIdentical = "old_text and new_text are identical";

HunkResult failure(std::string message) {
  HunkResult r;
  r.error = std::move(message);
  return r;
}

std::string none_applied_message(std::size_t hunk_count) {
  std::string m = "None of the ";
  m += std::to_string(hunk_count);
  m += " diff hunks could be applied. The context lines don't match the current file content. "
       "Please read the file again and provide accurate diff context.";
  return m;
}

// The error text a failed replacement leaves in the hunk's result.
std::string error_text(cr::ReplaceError&& error) {
  return std::visit(
      [](auto&& e) -> std::string {
        using E = std::decay_t<decltype(e)>;
        if constexpr (std::is_same_v<E, cr::NoChange>) {
          return std::string(kIdentical);
        } else {
          return std::move(e.message);
        }
      },
      std::move(error));
}

ApplyDiffOutcome run(std::string_view content, std::string_view diff_text, bool replace_all,
                     std::optional<std::uint32_t> line_hint) {
  std::vector<DiffHunk> hunks = parse_locationless_diff(diff_text);
  if (hunks.empty()) return ApplyDiffOutcome(std::in_place_type<ApplyDiffError>, NoHunksFound{});

  // The caller's content is read in place until the first hunk applies; from
  // then on the working content is the engine's result, moved, never copied.
  // A run where nothing applies therefore copies nothing at all.
  std::optional<std::string> working;
  std::vector<HunkResult> results;
  results.reserve(hunks.size());
  std::uint64_t applied = 0;

  for (const DiffHunk& hunk : hunks) {
    // A hunk without context has nothing to anchor it: searching for blank
    // text would match anywhere, so it is skipped rather than guessed at.
    if (text::is_blank(hunk.old_text)) {
      results.push_back(failure(std::string(kPureInsertion)));
      continue;
    }
    const std::string_view current = working ? std::string_view(*working) : content;
    cr::ReplaceOutcome outcome =
        cr::replace_content(current, hunk.old_text, hunk.new_text, replace_all, line_hint);
    if (auto* ok = std::get_if<cr::ReplaceResult>(&outcome)) {
      HunkResult r;
      r.success = true;
      r.strategy = std::move(ok->strategy);
      r.start_line = ok->start_line;
      r.end_line = ok->end_line;
      results.push_back(std::move(r));
      working = std::move(ok->content);
      ++applied;
    } else {
      results.push_back(failure(error_text(std::get<cr::ReplaceError>(std::move(outcome)))));
    }
  }

  if (applied == 0) {
    return ApplyDiffOutcome(std::in_place_type<ApplyDiffError>,
                            NoneApplied{none_applied_message(hunks.size())});
  }

  ApplyDiffResult result;
  result.content = std::move(*working);
  result.applied_count = applied;
  result.total_count = hunks.size();
  result.hunk_results = std::move(results);
  result.all_applied = result.applied_count == result.total_count;
  return result;
}

}  // namespace

ApplyDiffOutcome apply_diff_hunks(std::string_view content, std::string_view diff_text,
                                  bool replace_all) {
  return run(content, diff_text, replace_all, std::nullopt);
}

ApplyDiffOutcome apply_diff_hunks_with_hint(std::string_view content, std::string_view diff_text,
                                            std::optional<std::uint32_t> line_hint) {
  return run(content, diff_text, false, line_hint);
}

}  // namespace tavrell::diff_parser

// The replacement driver: runs the strategy cascade and decides which
// candidate, if any, is replaced and where.
#include "content_replacer/replace.h"

#include <algorithm>
#include <unordered_set>
#include <utility>

#include "content_replacer/reports.h"
#include "content_replacer/strategies.h"

namespace tavrell::content_replacer {
namespace {

using Strategy = Candidates (*)(SearchContext&);

struct StrategyEntry {
  const char* name;
  Strategy routine;
  // The candidates stand for an escaped old_string: new_string was escaped
  // the same way and is written unescaped.
  bool unescapes_replacement = false;
};

// From exact to loose; the first strategy whose candidate can be replaced wins.
constexpr StrategyEntry kStrategies[] = {
    {"simple", simple_replacer},
    {"line_trimmed", line_trimmed_replacer},
    {"block_anchor", block_anchor_replacer},
    {"whitespace_normalized", whitespace_normalized_replacer},
    {"indentation_flexible", indentation_flexible_replacer},
    {"escape_normalized", escape_normalized_replacer, true},
    {"trimmed_boundary", trimmed_boundary_replacer},
    {"context_aware", context_aware_replacer},
};

std::uint64_t count_line_feeds(std::string_view text) {
  return static_cast<std::uint64_t>(std::count(text.begin(), text.end(), '\n'));
}

// The content with the text at [pos, pos + length) replaced.
std::string splice(std::string_view content, std::size_t pos, std::size_t length,
                   std::string_view replacement) {
  std::string out;
  out.reserve(content.size() - length + replacement.size());
  out.append(content.substr(0, pos));
  out.append(replacement);
  out.append(content.substr(pos + length));
  return out;
}

// Every non-overlapping occurrence, from left to right, replaced. The first
// occurrence is at first.
std::string replace_every(std::string_view content, std::string_view candidate, std::size_t first,
                          std::string_view replacement) {
  std::string out;
  std::size_t pos = 0;
  for (std::size_t hit = first; hit != std::string_view::npos;
       hit = find_text(content, candidate, pos)) {
    out.append(content.substr(pos, hit - pos));
    out.append(replacement);
    pos = hit + candidate.size();
    if (candidate.empty()) break;  // only in the empty content: one occurrence
  }
  out.append(content.substr(pos));
  return out;
}

ReplaceResult success(std::string content, std::string_view matched, std::uint64_t start_line,
                      const char* strategy) {
  ReplaceResult r;
  r.content = std::move(content);
  r.matched_text = std::string(matched);
  r.start_line = start_line;
  r.end_line = start_line + count_line_feeds(matched);
  r.strategy = strategy;
  return r;
}

// The occurrence (overlapping ones included) whose line is nearest to the
// hint; the earlier one on equal distance.
std::size_t occurrence_nearest(std::string_view content, std::string_view candidate,
                               std::uint32_t hint, std::uint64_t& line_out) {
  const std::vector<std::size_t> hits = find_occurrences(content, candidate);
  std::size_t best = hits.empty() ? 0 : hits[0];
  std::uint64_t best_line = 0;
  std::uint64_t best_distance = ~std::uint64_t{0};
  std::uint64_t line = 1;
  std::size_t counted = 0;  // line holds the line number at byte offset counted
  for (std::size_t hit : hits) {
    line += count_line_feeds(content.substr(counted, hit - counted));
    counted = hit;
    const std::uint64_t distance = line > hint ? line - hint : hint - line;
    if (distance < best_distance) {
      best_distance = distance;
      best = hit;
      best_line = line;
    }
  }
  line_out = best_line;
  return best;
}

// An error outcome built in place: moving a whole error variant into the
// outcome makes g++ 12 warn, wrongly, about an uninitialised string.
template <class E, class... Args>
ReplaceOutcome failure(Args&&... args) {
  return ReplaceOutcome(std::in_place_type<ReplaceError>, std::in_place_type<E>,
                        std::forward<Args>(args)...);
}

}  // namespace

std::string normalize_line_breaks(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  std::size_t pos = 0;
  for (std::size_t hit = text.find("\r\n"); hit != std::string_view::npos;
       hit = text.find("\r\n", pos)) {
    out.append(text.substr(pos, hit - pos));
    out.push_back('\n');
    pos = hit + 2;
  }
  out.append(text.substr(pos));
  return out;
}

ReplaceOutcome replace_content(std::string_view content_in, std::string_view old_in,
                               std::string_view new_in, bool replace_all,
                               std::optional<std::uint32_t> line_hint) {
  if (old_in.empty()) return failure<NotFound>(NotFound{"Search text cannot be empty", {}});
  if (old_in == new_in) return failure<NoChange>();

  // Most files use "\n" alone; copy a text only when it has "\r\n" to remove.
  std::string content_store, old_store, new_store;
  auto normalized = [](std::string_view text, std::string& store) {
    if (text.find("\r\n") == std::string_view::npos) return text;
    store = normalize_line_breaks(text);
    return std::string_view(store);
  };
  const std::string_view content = normalized(content_in, content_store);
  const std::string_view old_string = normalized(old_in, old_store);
  const std::string_view new_string = normalized(new_in, new_store);

  SearchContext ctx(content, old_string);
  std::optional<std::string> ambiguous;  // the first ambiguous candidate met
  for (const StrategyEntry& strategy : kStrategies) {
    const Candidates candidates = strategy.routine(ctx);
    if (candidates.empty()) continue;

    // A text that came back from an escaped old_string goes in unescaped too.
    std::string unescaped_new;
    std::string_view replacement = new_string;
    if (strategy.unescapes_replacement) {
      unescaped_new = unescape_string(new_string);
      replacement = unescaped_new;
    }

    // A candidate equal to one already tried ends the same way; skip it.
    std::unordered_set<std::string_view> tried;
    for (const std::string& candidate : candidates) {
      if (!tried.insert(candidate).second) continue;
      // The empty text occurs at every character boundary: in a non-empty
      // content it locates nothing, and replacing it would insert new_string
      // at an arbitrary place. Only the empty content is matched by it.
      if (candidate.empty() && !content.empty()) continue;
      const std::size_t first = find_text(content, candidate);
      if (first == std::string_view::npos) continue;
      const std::uint64_t first_line = 1 + count_line_feeds(content.substr(0, first));

      if (replace_all) {
        return success(replace_every(content, candidate, first, replacement), candidate, first_line,
                       strategy.name);
      }
      const bool unique =
          candidate.empty() || find_text(content, candidate, first + 1) == std::string_view::npos;
      if (unique) {
        return success(splice(content, first, candidate.size(), replacement), candidate, first_line,
                       strategy.name);
      }
      if (!ambiguous) ambiguous = candidate;
      if (line_hint) {
        std::uint64_t line = 0;
        const std::size_t pos = occurrence_nearest(content, candidate, *line_hint, line);
        return success(splice(content, pos, candidate.size(), replacement), candidate, line,
                       strategy.name);
      }
    }
  }

  // Several matches only when a candidate really was ambiguous; candidates
  // that never occur (or the empty one) leave old_string simply not found.
  if (ambiguous) {
    return failure<MultipleMatches>(multiple_matches_report(content, old_string, *ambiguous));
  }
  return failure<NotFound>(not_found_report(content, old_string));
}

}  // namespace tavrell::content_replacer

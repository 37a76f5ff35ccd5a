// The closest-match search of the not-found report.
//
// Every window of n consecutive content lines (n = lines of old) near a line
// that holds the anchor is a candidate; the winner is the most similar window
// (the earliest one on a tie) whose similarity 1 - distance / max byte length
// reaches 0.8. An edit distance over a window of hundreds of lines is costly,
// so windows are first ranked by a cheap upper bound on their similarity (from
// the balance of their characters) and examined best first: once a good window
// is known, most others provably cannot beat it and are never measured, and
// the distances that are measured are bounded by what the window would need to
// win. When many windows stay in play (look-alike code, no close copy), a
// stronger bound from pieces of old settles most of them without a distance.
// The outcome (which window, its similarity) is the one of the plain scan in
// ascending order, because a window is only passed over when a lower bound on
// its distance shows it cannot win under that scan's own rule.
#include "content_replacer/closest_match.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <deque>
#include <string>

#include "content_replacer/reports.h"
#include "text/levenshtein.h"
#include "text/lines.h"
#include "text/utf8.h"
#include "text/whitespace.h"

namespace tavrell::content_replacer::detail {
namespace {

constexpr double kMinSimilarity = 0.8;
// Windows may start this many lines before or after a line holding the anchor.
constexpr std::size_t kAnchorReach = 5;
// Without any anchor line, only the first windows are examined.
constexpr std::size_t kFallbackWindows = 100;
// Distances measured before the piece bounds are worked out.
constexpr std::size_t kMeasuresBeforePieces = 8;

std::size_t offset_in(std::string_view content, std::string_view line) {
  return static_cast<std::size_t>(line.data() - content.data());
}

// The similarity exactly as the report defines it; every test below goes
// through this one expression so that bounds and results agree to the bit.
double similarity_of(std::uint64_t distance, std::uint64_t length) {
  return 1.0 - static_cast<double>(distance) / static_cast<double>(length);
}

// Window starts in ascending order, each once: those within reach of a line
// that contains the anchor or, when no line does, the first windows.
std::vector<std::size_t> window_starts(std::string_view content,
                                       const std::vector<std::string_view>& lines,
                                       std::string_view anchor, std::size_t windows) {
  std::vector<std::size_t> starts;
  const std::vector<std::size_t> anchor_lines =
      lines_containing(content, lines, anchor, static_cast<std::size_t>(-1));
  for (std::size_t j : anchor_lines) {
    std::size_t lo = j >= kAnchorReach ? j - kAnchorReach : 0;
    if (!starts.empty()) lo = std::max(lo, starts.back() + 1);
    const std::size_t hi = std::min(j + kAnchorReach, windows - 1);
    for (std::size_t s = lo; s <= hi; ++s) starts.push_back(s);
  }
  if (starts.empty()) {
    const std::size_t count = std::min(windows, kFallbackWindows);
    for (std::size_t s = 0; s < count; ++s) starts.push_back(s);
  }
  return starts;
}

// Code points fall into buckets: ASCII one each, the rest hashed into 128.
constexpr std::size_t kBuckets = 256;

std::size_t bucket_of(char32_t c) {
  if (c < 0x80) return c;
  return 0x80 + ((static_cast<std::uint32_t>(c) * 2654435761u) >> 25);
}

template <class F>
void for_each_bucket(std::string_view s, F&& f) {
  for (std::size_t i = 0; i < s.size();) {
    const auto b = static_cast<unsigned char>(s[i]);
    if (b < 0x80) {
      f(b);
      ++i;
    } else {
      f(bucket_of(text::decode_next(s, i)));
    }
  }
}

// A lower bound on the edit distance between old and a window, kept up to
// date while the window slides. An edit removes at most one surplus and one
// missing character from the character balance of the two texts, so the
// distance is at least the larger of the two totals. Merging characters into
// buckets only lowers both totals, so the bound stays valid.
class CharBalance {
 public:
  explicit CharBalance(std::string_view old) {
    base_.fill(0);
    for_each_bucket(old, [&](std::size_t b) {
      ++base_[b];
      ++old_chars_;
    });
  }

  // Starts over with an empty window.
  void clear() {
    diff_ = base_;
    surplus_ = old_chars_;
    missing_ = 0;
  }

  void add(std::string_view s) {
    for_each_bucket(s, [&](std::size_t b) { take(b); });
  }
  void add_newlines(std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) take('\n');
  }
  void remove(std::string_view s) {
    for_each_bucket(s, [&](std::size_t b) { give(b); });
  }

  std::uint64_t bound() const { return std::max(surplus_, missing_); }

 private:
  void take(std::size_t b) {
    if (diff_[b] > 0) {
      --surplus_;
    } else {
      ++missing_;
    }
    --diff_[b];
  }
  void give(std::size_t b) {
    if (diff_[b] < 0) {
      --missing_;
    } else {
      ++surplus_;
    }
    ++diff_[b];
  }

  std::array<std::int64_t, kBuckets> base_{};  // characters of old per bucket
  std::array<std::int64_t, kBuckets> diff_{};  // old minus window per bucket
  std::uint64_t old_chars_ = 0;
  std::uint64_t surplus_ = 0;  // characters old has beyond the window
  std::uint64_t missing_ = 0;  // characters the window has beyond old
};

struct Candidate {
  std::size_t start;
  std::uint64_t length;  // the greater byte length of old and the window
  std::uint64_t lower;   // lower bound on the distance
  double ceiling;        // similarity at that bound: no higher value is possible
};

// Line data needed per window, computed once per call.
class WindowTable {
 public:
  WindowTable(std::string_view content, const std::vector<std::string_view>& lines, std::size_t n)
      : content_(content), lines_(lines), n_(n) {
    bytes_before_.reserve(lines.size() + 1);
    lost_cr_before_.reserve(lines.size() + 1);
    bytes_before_.push_back(0);
    lost_cr_before_.push_back(0);
    for (std::size_t i = 0; i < lines.size(); ++i) {
      bytes_before_.push_back(bytes_before_.back() + lines[i].size());
      // A "\r\n" that survived the normalisation (from "\r\r\n") loses its
      // "\r" to the lines rule; such a window is not a plain slice of content.
      const bool lost_cr =
          i + 1 < lines.size() &&
          offset_in(content, lines[i + 1]) - offset_in(content, lines[i]) - lines[i].size() != 1;
      lost_cr_before_.push_back(lost_cr_before_.back() + (lost_cr ? 1 : 0));
    }
  }

  std::uint64_t bytes(std::size_t s) const {
    return bytes_before_[s + n_] - bytes_before_[s] + (n_ - 1);
  }

  // The window's lines joined with "\n": a view into the content when that is
  // the same text, else a copy kept in scratch.
  std::string_view text(std::size_t s, std::string& scratch) const {
    if (lost_cr_before_[s + n_ - 1] == lost_cr_before_[s]) {
      const std::size_t begin = offset_in(content_, lines_[s]);
      const std::string_view last = lines_[s + n_ - 1];
      return content_.substr(begin, offset_in(content_, last) + last.size() - begin);
    }
    scratch = text::join_line_range(lines_, s, s + n_);
    return scratch;
  }

 private:
  std::string_view content_;
  const std::vector<std::string_view>& lines_;
  std::size_t n_;
  std::vector<std::uint64_t> bytes_before_;
  std::vector<std::size_t> lost_cr_before_;
};

// Ranks the windows by the best similarity each could reach, dropping those
// that cannot reach the threshold at all.
std::vector<Candidate> rank_windows(std::string_view old,
                                    const std::vector<std::string_view>& lines,
                                    const WindowTable& table,
                                    const std::vector<std::size_t>& starts, std::size_t n) {
  std::vector<Candidate> ranked;
  CharBalance balance(old);
  bool placed = false;
  std::size_t current = 0;
  for (std::size_t s : starts) {
    const std::uint64_t window_bytes = table.bytes(s);
    if (window_bytes == 0) continue;  // an empty window is never a match
    if (!placed || s >= current + n) {
      balance.clear();
      balance.add_newlines(n - 1);
      for (std::size_t i = s; i < s + n; ++i) balance.add(lines[i]);
    } else {
      for (std::size_t i = current; i < s; ++i) balance.remove(lines[i]);
      for (std::size_t i = current + n; i < s + n; ++i) balance.add(lines[i]);
    }
    placed = true;
    current = s;
    const std::uint64_t length = std::max<std::uint64_t>(old.size(), window_bytes);
    const std::uint64_t lower = balance.bound();
    const double ceiling = similarity_of(lower, length);
    if (ceiling < kMinSimilarity) continue;
    ranked.push_back({s, length, lower, ceiling});
  }
  std::sort(ranked.begin(), ranked.end(), [](const Candidate& a, const Candidate& b) {
    if (a.ceiling != b.ceiling) return a.ceiling > b.ceiling;
    return a.start < b.start;
  });
  return ranked;
}

// The match bits of one piece of old (at most 64 code points): bit i of
// bits(c) is set when piece[i] == c.
class PieceBits {
 public:
  PieceBits() = default;
  explicit PieceBits(std::u32string_view piece) {
    ascii_.fill(0);
    for (std::size_t i = 0; i < piece.size(); ++i) {
      const std::uint64_t bit = std::uint64_t{1} << i;
      const char32_t c = piece[i];
      if (c < 0x80) {
        ascii_[c] |= bit;
        continue;
      }
      auto at = std::lower_bound(other_.begin(), other_.end(), c,
                                 [](const auto& e, char32_t v) { return e.first < v; });
      if (at == other_.end() || at->first != c) at = other_.insert(at, {c, 0});
      at->second |= bit;
    }
  }

  std::uint64_t bits(char32_t c) const {
    if (c < 0x80) return ascii_[c];
    auto at = std::lower_bound(other_.begin(), other_.end(), c,
                               [](const auto& e, char32_t v) { return e.first < v; });
    return at != other_.end() && at->first == c ? at->second : 0;
  }

 private:
  std::array<std::uint64_t, 0x80> ascii_{};
  std::vector<std::pair<char32_t, std::uint64_t>> other_;  // sorted by code point
};

// A second lower bound, far stronger on texts that merely look alike (code
// against other code of the same style). Cut old into pieces. An optimal
// alignment of old with a window aligns each piece with its own stretch of the
// window, and the costs add up to the distance; each cost is at least the
// distance from the piece to the best-matching stretch that ends anywhere
// inside the window. One bit-parallel pass per piece over the content (Myers'
// approximate matching: row 0 is all zeros, so a match may start anywhere)
// yields that best cost for every end position at once, and a sliding minimum
// turns it into a value per window.
//
// Longer pieces give a stronger bound (a short piece finds a cheap match
// almost anywhere in a file that repeats itself) at the same total cost: a
// pass costs one word step per 64 code points of the piece.
class PieceBounds {
 public:
  bool ready() const { return ready_; }

  std::uint64_t bound(std::size_t start) const {
    if (!ready_) return 0;
    auto at = std::lower_bound(starts_.begin(), starts_.end(), start);
    return at != starts_.end() && *at == start ? sums_[at - starts_.begin()] : 0;
  }

  // Works out the bound of every window that starts at one of starts.
  void compute(std::string_view old, const std::vector<std::string_view>& lines, std::size_t n,
               std::vector<std::size_t> starts) {
    ready_ = true;
    std::sort(starts.begin(), starts.end());
    starts_ = std::move(starts);
    sums_.assign(starts_.size(), 0);
    if (starts_.empty()) return;

    // The lines that these windows cover, in runs of consecutive lines,
    // decoded once and joined, each followed by "\n". A window lies within
    // one run, so a stretch that starts in an earlier run is no stretch of
    // it: the match restarts at each run, which only strengthens the bound.
    std::u32string joined;
    std::vector<std::size_t> line_ends;                      // per covered line
    std::vector<char> run_starts;                            // per covered line
    std::vector<std::size_t> first_covered(starts_.size());  // per window
    std::size_t next_line = 0;                               // first line not covered yet
    for (std::size_t w = 0; w < starts_.size(); ++w) {
      const std::size_t s = starts_[w];
      const bool new_run = line_ends.empty() || s >= next_line;
      first_covered[w] = new_run ? line_ends.size() : line_ends.size() - (next_line - s);
      for (std::size_t l = new_run ? s : next_line; l < s + n; ++l) {
        for (std::size_t k = 0; k < lines[l].size();) {
          joined.push_back(text::decode_next(lines[l], k));
        }
        joined.push_back(U'\n');
        line_ends.push_back(joined.size());
        run_starts.push_back(l == s && new_run);
      }
      next_line = s + n;
    }

    const std::u32string old_chars = text::decode(old);
    const std::size_t piece_count = (old_chars.size() + kPieceChars - 1) / kPieceChars;
    std::vector<std::uint16_t> line_best[kLanes];
    for (auto& best : line_best) best.resize(line_ends.size());
    std::vector<Piece> group;  // built per group: a piece's tables are not small
    for (std::size_t p = 0; p < piece_count; p += kLanes) {
      const std::size_t lanes = std::min(kLanes, piece_count - p);
      group.clear();
      for (std::size_t k = 0; k < lanes; ++k) {
        group.emplace_back(
            std::u32string_view(old_chars).substr((p + k) * kPieceChars, kPieceChars));
      }
      if (lanes == kLanes) {
        best_per_line<kLanes>(group.data(), joined, line_ends, run_starts, line_best);
      } else {
        for (std::size_t k = 0; k < lanes; ++k) {
          best_per_line<1>(&group[k], joined, line_ends, run_starts, &line_best[k]);
        }
      }
      for (std::size_t k = 0; k < lanes; ++k) add_window_minima(line_best[k], first_covered, n);
    }
  }

 private:
  static constexpr std::size_t kPieceWords = 4;
  static constexpr std::size_t kPieceChars = 64 * kPieceWords;
  // Pieces measured side by side: their steps are independent, so the
  // processor overlaps them.
  static constexpr std::size_t kLanes = 2;

  // One piece: its length and the match bits of each 64-row block.
  struct Piece {
    explicit Piece(std::u32string_view piece) : size(piece.size()) {
      words = (size + 63) / 64;
      for (std::size_t w = 0; w < words; ++w) block[w] = PieceBits(piece.substr(64 * w, 64));
    }
    std::size_t size;
    std::size_t words;
    std::array<PieceBits, kPieceWords> block;
  };

  // best[k][i] = least distance between pieces[k] and a stretch of text that
  // ends within line i (its line break included). Myers' block step; the
  // horizontal difference h carries from each block into the next one down.
  template <std::size_t K>
  static void best_per_line(const Piece* pieces, const std::u32string& text,
                            const std::vector<std::size_t>& line_ends,
                            const std::vector<char>& run_starts, std::vector<std::uint16_t>* best) {
    std::array<std::array<std::uint64_t, kPieceWords>, K> pv{}, mv{};
    std::array<std::uint64_t, K> last{}, score{}, least{};
    for (std::size_t k = 0; k < K; ++k) {
      last[k] = std::uint64_t{1} << ((pieces[k].size - 1) % 64);
    }
    std::size_t j = 0;
    for (std::size_t i = 0; i < line_ends.size(); ++i) {
      if (run_starts[i]) {  // column 0: D[r][0] = r
        for (std::size_t k = 0; k < K; ++k) {
          pv[k].fill(~std::uint64_t{0});
          mv[k].fill(0);
          score[k] = pieces[k].size;
        }
      }
      // No stretch at all costs the whole piece.
      for (std::size_t k = 0; k < K; ++k) least[k] = pieces[k].size;
      for (; j < line_ends[i]; ++j) {
        const char32_t c = text[j];
        for (std::size_t k = 0; k < K; ++k) {
          const Piece& piece = pieces[k];
          // Row 0 is all zeros: nothing enters the top block, so a stretch
          // may start at any column.
          std::uint64_t h_plus = 0;
          std::uint64_t h_minus = 0;
          for (std::size_t w = 0; w < piece.words; ++w) {
            const std::uint64_t high = w + 1 == piece.words ? last[k] : std::uint64_t{1} << 63;
            std::uint64_t eq = piece.block[w].bits(c);
            const std::uint64_t xv = eq | mv[k][w];
            eq |= h_minus;  // a decrease from above acts like a match in the first row
            const std::uint64_t xh = (((eq & pv[k][w]) + pv[k][w]) ^ pv[k][w]) | eq;
            std::uint64_t ph = mv[k][w] | ~(xh | pv[k][w]);
            std::uint64_t mh = pv[k][w] & xh;
            const std::uint64_t out_plus = (ph & high) != 0;
            const std::uint64_t out_minus = (mh & high) != 0;
            ph = (ph << 1) | h_plus;
            mh = (mh << 1) | h_minus;
            pv[k][w] = mh | ~(xv | ph);
            mv[k][w] = ph & xv;
            h_plus = out_plus;
            h_minus = out_minus;
          }
          score[k] = score[k] + h_plus - h_minus;
          least[k] = std::min(least[k], score[k]);
        }
      }
      for (std::size_t k = 0; k < K; ++k) best[k][i] = static_cast<std::uint16_t>(least[k]);
    }
  }

  // Adds to each window's bound the least value over its lines, sliding with
  // the start. It also counts stretches that end on the line break after the
  // window, which can only lower the bound.
  void add_window_minima(const std::vector<std::uint16_t>& line_best,
                         const std::vector<std::size_t>& first_covered, std::size_t n) {
    std::deque<std::size_t> window_min;
    std::size_t pushed = 0;
    for (std::size_t w = 0; w < starts_.size(); ++w) {
      const std::size_t first = first_covered[w];
      for (; pushed < first + n; ++pushed) {
        while (!window_min.empty() && line_best[window_min.back()] >= line_best[pushed]) {
          window_min.pop_back();
        }
        window_min.push_back(pushed);
      }
      while (window_min.front() < first) window_min.pop_front();
      sums_[w] += line_best[window_min.front()];
    }
  }

  bool ready_ = false;
  std::vector<std::size_t> starts_;  // ascending
  std::vector<std::uint64_t> sums_;  // lower bound per start
};

}  // namespace

std::vector<std::size_t> lines_containing(std::string_view content,
                                          const std::vector<std::string_view>& lines,
                                          std::string_view needle, std::size_t limit) {
  std::vector<std::size_t> found;
  if (needle.empty()) return found;
  std::size_t line = 0;
  std::size_t from = 0;
  while (line < lines.size() && found.size() < limit) {
    const std::size_t hit = find_bytes(content, needle, from);
    if (hit == std::string_view::npos) break;
    while (line + 1 < lines.size() && offset_in(content, lines[line + 1]) <= hit) ++line;
    // A hit that runs past the line's end covers the "\r" that the lines rule
    // took off a surviving "\r\n"; the line itself does not contain needle,
    // and no later hit in it can fit either, since needle holds no "\n".
    if (hit + needle.size() <= offset_in(content, lines[line]) + lines[line].size()) {
      found.push_back(line);
    }
    ++line;
    if (line < lines.size()) from = offset_in(content, lines[line]);
  }
  return found;
}

std::optional<FuzzyMatchInfo> find_closest_match(std::string_view content,
                                                 const std::vector<std::string_view>& lines,
                                                 std::string_view old) {
  const std::vector<std::string_view> old_lines = text::split_lines(old);
  const std::size_t n = old_lines.size();
  if (n == 0 || lines.size() < n) return std::nullopt;
  const auto anchor = std::find_if(old_lines.begin(), old_lines.end(),
                                   [](std::string_view l) { return !text::is_blank(l); });
  if (anchor == old_lines.end()) return std::nullopt;

  const std::size_t windows = lines.size() - n + 1;
  const WindowTable table(content, lines, n);
  const std::vector<Candidate> ranked =
      rank_windows(old, lines, table, window_starts(content, lines, *anchor, windows), n);

  bool found = false;
  double best = 0.0;
  std::size_t best_start = 0;
  std::string scratch;
  PieceBounds pieces;
  std::size_t measured = 0;
  for (const Candidate& c : ranked) {
    // Later candidates have no higher ceiling, so none of them can win either.
    if (found && c.ceiling < best) break;
    // Under the ascending scan a window wins when it reaches the threshold and
    // beats every earlier window, and no later window with the same value
    // displaces it: here, in any order, that is "higher, or equal and earlier".
    const auto wins = [&](std::uint64_t distance) {
      const double sim = similarity_of(distance, c.length);
      if (sim < kMinSimilarity) return false;
      return !found || sim > best || (sim == best && c.start < best_start);
    };
    std::uint64_t lower = std::max(c.lower, pieces.bound(c.start));
    if (!wins(lower)) continue;
    // A near copy of old ranks first and is settled by a few measurements;
    // when many windows remain in play, the piece bounds pay for themselves.
    if (!pieces.ready() && ++measured > kMeasuresBeforePieces) {
      // Only the windows still in play: this one and those after it that
      // could still win.
      std::vector<std::size_t> open;
      for (std::size_t k = static_cast<std::size_t>(&c - ranked.data()); k < ranked.size(); ++k) {
        if (found && ranked[k].ceiling < best) break;
        open.push_back(ranked[k].start);
      }
      pieces.compute(old, lines, n, std::move(open));
      lower = std::max(lower, pieces.bound(c.start));
      if (!wins(lower)) continue;
    }
    // The largest distance that still wins; similarity falls as the distance
    // grows, so the winning distances are exactly 0..limit. The estimate is
    // only a starting point: the exact test settles the value.
    const double needed = found ? std::max(best, kMinSimilarity) : kMinSimilarity;
    std::uint64_t limit = std::min<std::uint64_t>(
        c.length, static_cast<std::uint64_t>((1.0 - needed) * static_cast<double>(c.length)) + 1);
    limit = std::max(limit, lower);
    while (!wins(limit)) --limit;  // ends at lower at the latest
    while (limit < c.length && wins(limit + 1)) ++limit;

    const std::optional<std::uint64_t> distance =
        text::levenshtein_distance_bounded(old, table.text(c.start, scratch), limit);
    if (!distance || !wins(*distance)) continue;
    found = true;
    best = similarity_of(*distance, c.length);
    best_start = c.start;
  }
  if (!found) return std::nullopt;

  FuzzyMatchInfo info;
  info.similarity = best;
  info.start_line = best_start + 1;
  info.end_line = best_start + n;
  info.text = std::string(table.text(best_start, scratch));
  info.diff = comparison_text(old, info.text);
  return info;
}

}  // namespace tavrell::content_replacer::detail

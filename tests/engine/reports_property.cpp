// Checks the failure reports below the Python surface, on random inputs from a
// seeded generator:
//   - find_occurrences against a byte-by-byte scan (periodic patterns, the
//     empty pattern at every character boundary, malformed UTF-8);
//   - the closest match against the plain scan of every window in ascending
//     order with the full distance, on files of look-alike lines large enough
//     for the pruning bounds to decide;
//   - every report on arbitrary bytes (no crash, no read out of bounds under
//     the sanitizers), and a cut comparison text that stays valid UTF-8.
// Prints "ok" or the first failure and exits non-zero.
//
//   reports_property [cases]
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "content_replacer/reports.h"
#include "text/levenshtein.h"
#include "text/lines.h"
#include "text/utf8.h"
#include "text/whitespace.h"

namespace {

using namespace tavrell;
using namespace tavrell::content_replacer;

std::mt19937 rng(20240611);

std::size_t pick(std::size_t n) {
  return rng() % n;
}

[[noreturn]] void fail(const char* what, const std::string& a, const std::string& b) {
  std::printf("FAIL %s\n[%s]\n[%s]\n", what, a.substr(0, 300).c_str(), b.substr(0, 300).c_str());
  std::exit(1);
}

std::string normalize(const std::string& s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\r' && i + 1 < s.size() && s[i + 1] == '\n') continue;
    out += s[i];
  }
  return out;
}

void check_occurrences(const std::string& text, const std::string& pattern) {
  std::vector<std::size_t> want;
  if (pattern.empty()) {
    for (std::size_t i = 0; i < text.size();) {
      want.push_back(i);
      text::decode_next(text, i);
    }
    want.push_back(text.size());
  } else {
    for (std::size_t i = 0; i + pattern.size() <= text.size(); ++i) {
      if (text.compare(i, pattern.size(), pattern) == 0) want.push_back(i);
    }
  }
  if (find_occurrences(text, pattern) != want) fail("find_occurrences", text, pattern);
  for (std::size_t at : {std::size_t{0}, text.size() / 2, text.size(), text.size() + 5}) {
    const auto clamped = std::min(at, text.size());
    const auto lf = std::count(text.begin(), text.begin() + clamped, '\n');
    if (line_number_at(text, at) != 1 + static_cast<std::uint64_t>(lf)) {
      fail("line_number_at", text, std::to_string(at));
    }
  }
}

std::optional<FuzzyMatchInfo> exhaustive(const std::string& content, const std::string& old) {
  const auto lines = text::split_lines(content);
  const auto old_lines = text::split_lines(old);
  const std::size_t n = old_lines.size();
  if (n == 0 || lines.size() < n) return std::nullopt;
  auto anchor = std::find_if(old_lines.begin(), old_lines.end(),
                             [](std::string_view l) { return !text::is_blank(l); });
  if (anchor == old_lines.end()) return std::nullopt;
  const std::size_t windows = lines.size() - n + 1;
  std::set<std::size_t> starts;
  for (std::size_t j = 0; j < lines.size(); ++j) {
    if (lines[j].find(*anchor) == std::string_view::npos) continue;
    for (std::size_t s = j >= 5 ? j - 5 : 0; s <= j + 5 && s < windows; ++s) starts.insert(s);
  }
  if (starts.empty()) {
    for (std::size_t s = 0; s < std::min<std::size_t>(windows, 100); ++s) starts.insert(s);
  }
  std::optional<FuzzyMatchInfo> best;
  for (std::size_t s : starts) {
    const std::string window = text::join_line_range(lines, s, s + n);
    if (window.empty()) continue;
    const double sim = 1.0 - static_cast<double>(text::levenshtein_distance(old, window)) /
                                 static_cast<double>(std::max(old.size(), window.size()));
    if (sim >= 0.8 && (!best || sim > best->similarity)) {
      best = FuzzyMatchInfo{sim, s + 1, s + n, window, comparison_text(old, window)};
    }
  }
  return best;
}

std::string mutate(std::string s, std::size_t edits) {
  // ASCII edits at ASCII positions keep the text valid UTF-8.
  for (std::size_t e = 0; e < edits && !s.empty(); ++e) {
    const std::size_t at = pick(s.size());
    if (static_cast<unsigned char>(s[at]) >= 0x80) continue;
    switch (pick(3)) {
      case 0:
        s[at] = static_cast<char>('a' + pick(26));
        break;
      case 1:
        s.erase(at, 1);
        break;
      default:
        s.insert(at, 1, static_cast<char>('a' + pick(26)));
    }
  }
  return s;
}

void check_closest_match() {
  // The last two lines have three bytes per character: the distance counts
  // characters while the similarity divides by bytes.
  static const char* const kPool[] = {
      "    value = compute(a, b)",
      "    return value",
      "def handle(a, b):",
      "    if a > b:",
      "        a += 1",
      "",
      "    name = \xc3\xa9t\xc3\xa9",
      "\t# note \xe4\xb8\xad",
      "    return y  # done",
      "  z = [1, 2, 3]",
      "    \xe5\x90\x8d\xe5\x89\x8d = \xe8\xa8\x88\xe7\xae\x97(\xe5\x80\xa4)",
      "\t\xe8\xbf\x94\xe5\x9b\x9e \xe4\xb8\xad\xe6\x96\x87\xe5\xad\x97"};
  constexpr std::size_t kPoolSize = std::size(kPool);
  std::vector<std::string> lines;
  const std::size_t count = 20 + pick(220);
  for (std::size_t i = 0; i < count; ++i) {
    std::string l = kPool[pick(kPoolSize)];
    lines.push_back(pick(3) == 0 ? mutate(l, 1 + pick(3)) : l);
  }
  if (pick(5) == 0) {  // exact copies of one block: equal windows tie, the earliest wins
    const std::size_t block = 3 + pick(10);
    for (std::size_t i = block; i < lines.size(); ++i) lines[i] = lines[i - block];
  }
  std::string content;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (i > 0) content += pick(25) == 0 ? "\r\r\n" : (pick(10) == 0 ? "\r\n" : "\n");
    content += lines[i];
  }
  const std::size_t n = 2 + pick(40);
  const std::size_t start = pick(lines.size());
  std::string old;
  for (std::size_t i = start; i < std::min(lines.size(), start + n); ++i) {
    if (i > start) old += '\n';
    old += pick(2) ? mutate(lines[i], pick(6)) : lines[i];
  }
  if (pick(4) == 0) {  // look-alike lines in another order: no close window
    old.clear();
    for (std::size_t i = 0; i < n; ++i) old += std::string(i ? "\n" : "") + kPool[pick(kPoolSize)];
  }
  if (pick(5) == 0) old = mutate(old, 30);
  content = normalize(content);
  old = normalize(old);

  const NotFound report = not_found_report(content, old);
  const std::optional<FuzzyMatchInfo> want = exhaustive(content, old);
  const auto& got = report.closest_match;
  if (got.has_value() != want.has_value() ||
      (got &&
       (got->similarity != want->similarity || got->start_line != want->start_line ||
        got->end_line != want->end_line || got->text != want->text || got->diff != want->diff))) {
    fail("closest match differs from the plain scan", content, old);
  }
}

void check_arbitrary_bytes() {
  static const char* const kAtoms[] = {"a",
                                       "b",
                                       "\n",
                                       "\r",
                                       "\r\n",
                                       " ",
                                       "\xc3\xa9",
                                       "\xc3",
                                       "\xa9",
                                       "\xe4\xb8\xad",
                                       "\xf0\x9f\x98\x80",
                                       "\xf0\x9f",
                                       "\xff",
                                       "\x80",
                                       "ab\n",
                                       "  x\n"};
  auto gen = [](std::size_t max) {
    std::string s;
    for (std::size_t i = pick(max); i > 0; --i) s += kAtoms[pick(16)];
    return s;
  };
  const std::string content = gen(pick(8) == 0 ? 300 : 30);
  const std::string old = gen(pick(8) == 0 ? 150 : 12);
  const std::string pattern = gen(5);
  not_found_report(content, old);
  multiple_matches_report(content, old, pattern);
  comparison_text(old, content);
  check_occurrences(content, pattern);
}

void check_cut_keeps_characters() {
  static const char* const kChars[] = {"a", "\xc3\xa9", "\xe4\xb8\xad", "\xf0\x9f\x98\x80", "\n"};
  std::string old, window;
  for (std::size_t i = 500 + pick(800); i > 0; --i) old += kChars[pick(5)];
  for (std::size_t i = 500 + pick(800); i > 0; --i) window += kChars[pick(5)];
  const std::string diff = comparison_text(old, window);
  const std::string mark = "\n...(diff truncated)";
  if (diff.size() > 2000 && (diff.size() > 2000 + mark.size() ||
                             diff.compare(diff.size() - mark.size(), mark.size(), mark) != 0)) {
    fail("comparison text not cut at 2000 bytes", diff, "");
  }
  for (std::size_t i = 0; i < diff.size();) {
    if (text::decode_next(diff, i) == 0xFFFD) fail("comparison text cut a character", diff, "");
  }
}

}  // namespace

int main(int argc, char** argv) {
  const int cases = argc > 1 ? std::atoi(argv[1]) : 500;
  static const char* const kPieces[] = {"a", "b", "ab", "\xc3\xa9", "\n", "\xff"};
  for (int i = 0; i < cases * 4; ++i) {
    std::string text, pattern;
    for (std::size_t k = pick(60); k > 0; --k) text += kPieces[pick(pick(2) ? 2 : 6)];
    for (std::size_t k = pick(6); k > 0; --k) pattern += kPieces[pick(pick(2) ? 2 : 6)];
    check_occurrences(text, pattern);
  }
  for (int i = 0; i < cases; ++i) check_closest_match();
  for (int i = 0; i < cases * 4; ++i) check_arbitrary_bytes();
  for (int i = 0; i < cases / 4; ++i) check_cut_keeps_characters();
  std::printf("ok\n");
  return 0;
}

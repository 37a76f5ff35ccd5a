// Times levenshtein_distance and levenshtein_distance_bounded on code-like
// texts: the shapes of the replacement engine's not-found report (a search
// text of ~8,000 code points against windows of the same size, similarity
// threshold 0.8) and of the streaming matcher (short lines, threshold 0.8).
//
//   g++ -std=c++20 -O2 -I src bench/bench_levenshtein.cpp src/text/*.cpp -o /tmp/bench_lev
//   /tmp/bench_lev [source files to cut the texts from...]
//
// Without arguments the texts are cut from this checkout's own sources.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "text/levenshtein.h"
#include "text/utf8.h"

namespace {

using Clock = std::chrono::steady_clock;
using tavrell::text::count_code_points;
using tavrell::text::levenshtein_distance;
using tavrell::text::levenshtein_distance_bounded;
using tavrell::text::prefix_bytes_for_code_points;

std::string read_all(const char* path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string cut(const std::string& text, std::size_t from, std::size_t code_points) {
  const std::string_view rest = std::string_view(text).substr(from);
  return std::string(rest.substr(0, prefix_bytes_for_code_points(rest, code_points)));
}

// Seconds per call: the best of five batches of enough calls to take about
// 50 ms each, so that a busy machine disturbs the figure less.
double time_per_call(const std::function<std::uint64_t()>& call, std::uint64_t& sink) {
  std::size_t calls = 1;
  double best = 1e9;
  for (int batch = 0; batch < 5;) {
    const auto start = Clock::now();
    for (std::size_t k = 0; k < calls; ++k) sink += call();
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    if (elapsed < 0.05) {
      calls *= 2;
      continue;
    }
    best = std::min(best, elapsed / static_cast<double>(calls));
    ++batch;
  }
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<const char*> paths(argv + 1, argv + argc);
  if (paths.empty()) {
    paths = {"src/text/levenshtein.cpp", "src/text/unicode.cpp", "src/text/utf8.cpp",
             "src/fuzzy/fuzzy.cpp", "src/lib/binding.cpp"};
  }
  std::string corpus;
  for (const char* p : paths) corpus += read_all(p);
  if (count_code_points(corpus) < 20000) {
    std::fprintf(stderr, "need at least 20,000 code points of source text\n");
    return 1;
  }
  std::uint64_t sink = 0;

  const std::size_t n = 8000;
  const std::string a = cut(corpus, 0, n);
  const std::string b = cut(corpus, corpus.size() / 2, n);
  const std::uint64_t d = levenshtein_distance(a, b);
  const std::uint64_t max = n / 5;
  std::printf("two dissimilar %zu-code-point texts, distance %llu\n", n,
              static_cast<unsigned long long>(d));
  const double full = time_per_call([&] { return levenshtein_distance(a, b); }, sink);
  const double bounded =
      time_per_call([&] { return levenshtein_distance_bounded(a, b, max).value_or(0); }, sink);
  std::printf("  levenshtein_distance            %9.1f us\n", full * 1e6);
  std::printf("  levenshtein_distance_bounded    %9.1f us  (max %llu; x2000 windows: %.3f s)\n",
              bounded * 1e6, static_cast<unsigned long long>(max), bounded * 2000);

  // A near match: the same text with a few lines changed.
  std::string near = a;
  for (std::size_t at = 500; at + 20 < near.size(); at += 1500) near.replace(at, 10, "changed!!");
  const std::uint64_t dn = levenshtein_distance(a, near);
  const double near_bounded =
      time_per_call([&] { return levenshtein_distance_bounded(a, near, max).value_or(0); }, sink);
  std::printf("  near match (distance %llu), bounded %9.1f us\n",
              static_cast<unsigned long long>(dn), near_bounded * 1e6);

  // Short lines as the streaming matcher sees them.
  std::vector<std::string> lines;
  for (std::size_t i = 0, start = 0; i < corpus.size(); ++i) {
    if (corpus[i] != '\n') continue;
    if (i - start > 8) lines.push_back(corpus.substr(start, i - start));
    start = i + 1;
  }
  std::size_t pairs = 0;
  const auto start = Clock::now();
  for (int round = 0; round < 4; ++round) {
    for (std::size_t i = 0; i + 1 < lines.size(); ++i) {
      for (std::size_t k = 1; k <= 8 && i + k < lines.size(); ++k) {
        const std::string& x = lines[i];
        const std::string& y = lines[i + k];
        const std::uint64_t bound = std::max(x.size(), y.size()) / 5;
        sink += levenshtein_distance_bounded(x, y, bound).value_or(1);
        ++pairs;
      }
    }
  }
  const double per_pair = std::chrono::duration<double>(Clock::now() - start).count() / pairs;
  std::printf("short lines, bounded at 20%%: %.0f ns per pair (%zu pairs)\n", per_pair * 1e9,
              pairs);
  return sink == 42 ? 1 : 0;
}

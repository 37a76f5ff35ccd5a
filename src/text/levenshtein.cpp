// Temporary two-row implementation; replaced by the bit-parallel one.
#include "text/levenshtein.h"

#include <algorithm>
#include <string>
#include <vector>

#include "text/utf8.h"

namespace tavrell::text {

std::uint64_t levenshtein_distance(std::u32string_view a, std::u32string_view b) {
  if (a.empty()) return b.size();
  if (b.empty()) return a.size();
  std::vector<std::uint64_t> row(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (std::size_t i = 0; i < a.size(); ++i) {
    std::uint64_t diag = row[0];
    row[0] = i + 1;
    for (std::size_t j = 0; j < b.size(); ++j) {
      std::uint64_t up = row[j + 1];
      row[j + 1] = std::min({diag + (a[i] != b[j]), row[j] + 1, up + 1});
      diag = up;
    }
  }
  return row[b.size()];
}

std::uint64_t levenshtein_distance(std::string_view a, std::string_view b) {
  return levenshtein_distance(std::u32string_view(decode(a)), std::u32string_view(decode(b)));
}

std::optional<std::uint64_t> levenshtein_distance_bounded(std::string_view a, std::string_view b,
                                                          std::uint64_t max_distance) {
  std::uint64_t d = levenshtein_distance(a, b);
  if (d > max_distance) return std::nullopt;
  return d;
}

}  // namespace tavrell::text

// Bit-parallel Levenshtein distance over code points.
//
// The shorter text (the pattern, m code points) is laid along the rows of the
// dynamic-programming matrix D, the longer one (n code points) along the
// columns; D[i][j] is the distance between the first i pattern code points and
// the first j text code points. Each column is held as bit vectors of vertical
// differences D[i][j] - D[i-1][j], which lie in {-1, 0, +1}: VP marks the +1
// rows, VN the -1 rows. One text code point advances a whole 64-row block with
// a handful of word operations (Myers 1999, in Hyyrö's formulation), so a
// column costs ceil(m / 64) steps instead of m cell updates.
//
// The bounded form computes only the blocks that can still lie on an
// alignment of cost <= max. Call a cell useful when D[i][j] plus the least
// cost of reaching the corner, |(m - i) - (n - j)|, is at most max: every cell
// of an alignment of cost <= max is useful. Blocks without useful cells are
// skipped; a skipped block above the band feeds its neighbour as if its last
// row grew by one per column, and a block that joins the band at the bottom
// starts from the deletion path below its neighbour. Both can only overstate
// the cells they influence, and by induction along an alignment every useful
// cell is still computed exactly. When the band runs empty the distance
// exceeds max and the computation stops; for dissimilar texts that happens
// after a few multiples of max columns.
#include "text/levenshtein.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "text/utf8.h"

namespace tavrell::text {
namespace {

constexpr std::size_t kWordBits = 64;

// Fibonacci hashing: the top bits of the product depend on all bits of c.
inline std::uint32_t hash_code_point(char32_t c) {
  return static_cast<std::uint32_t>(c) * 2654435761u;
}

// The match bits of a pattern of at most 64 code points: bit i of get(c) is set
// when pattern[i] == c. Lives on the stack; the hash part is touched only when
// the pattern has a code point outside ASCII.
class WordMatch {
 public:
  template <class CharT>
  WordMatch(const CharT* p, std::size_t m) {
    for (std::size_t i = 0; i < m; ++i) {
      const char32_t c = p[i];
      const std::uint64_t bit = std::uint64_t{1} << i;
      if (c < 0x80) {
        ascii_[c] |= bit;
        continue;
      }
      if (!has_other_) {
        std::memset(keys_, 0, sizeof keys_);
        has_other_ = true;
      }
      std::size_t slot = hash_code_point(c) >> 25;
      while (keys_[slot] != 0 && keys_[slot] != c) slot = (slot + 1) & (kSlots - 1);
      if (keys_[slot] == 0) {
        keys_[slot] = c;
        values_[slot] = 0;
      }
      values_[slot] |= bit;
    }
  }

  std::uint64_t get(char32_t c) const {
    if (c < 0x80) return ascii_[c];
    if (!has_other_) return 0;
    // At most 64 of the 128 slots are taken, so the probe always meets a gap.
    for (std::size_t slot = hash_code_point(c) >> 25;; slot = (slot + 1) & (kSlots - 1)) {
      if (keys_[slot] == c) return values_[slot];
      if (keys_[slot] == 0) return 0;
    }
  }

 private:
  static constexpr std::size_t kSlots = 128;  // hash_code_point(c) >> 25 is below 128
  std::uint64_t ascii_[0x80] = {};
  bool has_other_ = false;
  char32_t keys_[kSlots];  // 0 marks a free slot (0 is ASCII, never stored here)
  std::uint64_t values_[kSlots];
};

// The match bits of a longer pattern, one row of words() 64-bit words per
// distinct code point; row 0 is all zeros and serves code points that do not
// occur in the pattern. Rows are numbered first, so that the caller can see the
// size before the bits are allocated: it grows with the number of distinct code
// points times the length.
class DenseBlockMatch {
 public:
  template <class CharT>
  DenseBlockMatch(const CharT* p, std::size_t m) : words_((m + kWordBits - 1) / kWordBits) {
    std::size_t other = 0;
    for (std::size_t i = 0; i < m; ++i) other += p[i] >= 0x80;
    if (other > 0) {
      unsigned bits = 4;
      while ((std::size_t{1} << bits) < 2 * other) ++bits;
      keys_.assign(std::size_t{1} << bits, 0);
      rows_of_keys_.assign(keys_.size(), 0);
      mask_ = keys_.size() - 1;
      shift_ = 64 - bits;
    }
    for (std::size_t i = 0; i < m; ++i) {
      std::uint32_t& row = row_slot(p[i]);
      if (row == 0) row = rows_++;
    }
  }

  std::size_t words() const { return words_; }
  std::size_t size_in_words() const { return std::size_t{rows_} * words_; }

  template <class CharT>
  void fill(const CharT* p, std::size_t m) {
    bits_.assign(size_in_words(), 0);
    for (std::size_t i = 0; i < m; ++i) {
      bits_[row_slot(p[i]) * words_ + i / kWordBits] |= std::uint64_t{1} << (i % kWordBits);
    }
  }

  // The match bits of c, block by block.
  struct Column {
    const std::uint64_t* row;
    std::uint64_t operator[](std::size_t block) const { return row[block]; }
  };
  Column column(char32_t c) const { return {bits_.data() + find_row(c) * words_}; }

 private:
  std::size_t find_row(char32_t c) const {
    if (c < 0x80) return ascii_rows_[c];
    if (keys_.empty()) return 0;
    for (std::size_t slot = first_slot(c);; slot = (slot + 1) & mask_) {
      if (keys_[slot] == c) return rows_of_keys_[slot];
      if (keys_[slot] == 0) return 0;
    }
  }

  std::size_t first_slot(char32_t c) const {
    return static_cast<std::size_t>((c * 0x9E3779B97F4A7C15ull) >> shift_);
  }

  // The row number of a pattern code point, 0 until one is given.
  std::uint32_t& row_slot(char32_t c) {
    if (c < 0x80) return ascii_rows_[c];
    std::size_t slot = first_slot(c);
    while (keys_[slot] != 0 && keys_[slot] != c) slot = (slot + 1) & mask_;
    keys_[slot] = c;
    return rows_of_keys_[slot];
  }

  std::size_t words_;
  std::uint32_t rows_ = 1;
  std::uint32_t ascii_rows_[0x80] = {};
  std::vector<char32_t> keys_;  // open addressing, at most half full; 0 marks a free slot
  std::vector<std::uint32_t> rows_of_keys_;
  std::size_t mask_ = 0;
  unsigned shift_ = 63;
  std::vector<std::uint64_t> bits_;
};

// The match bits of a long pattern with a large alphabet, where the dense rows
// would take too much memory: each block keeps its own (at most 64) code
// points, sorted, with their bits. Memory is linear in the pattern's length;
// a lookup is a binary search per block.
class SparseBlockMatch {
 public:
  template <class CharT>
  SparseBlockMatch(const CharT* p, std::size_t m) : words_((m + kWordBits - 1) / kWordBits) {
    starts_.reserve(words_ + 1);
    entries_.reserve(m);
    for (std::size_t b = 0; b < words_; ++b) {
      const std::size_t start = entries_.size();
      starts_.push_back(start);
      for (std::size_t i = b * kWordBits; i < std::min(m, (b + 1) * kWordBits); ++i) {
        entries_.push_back({p[i], std::uint64_t{1} << (i % kWordBits)});
      }
      const auto first = entries_.begin() + static_cast<std::ptrdiff_t>(start);
      std::sort(first, entries_.end(),
                [](const Entry& x, const Entry& y) { return x.code_point < y.code_point; });
      // Merge the entries of a repeated code point.
      auto out = first;
      for (auto it = first; it != entries_.end(); ++it) {
        if (out != first && (out - 1)->code_point == it->code_point) {
          (out - 1)->bits |= it->bits;
        } else {
          *out++ = *it;
        }
      }
      entries_.erase(out, entries_.end());
    }
    starts_.push_back(entries_.size());
  }

  std::size_t words() const { return words_; }

  struct Column {
    const SparseBlockMatch* match;
    char32_t c;
    std::uint64_t operator[](std::size_t block) const { return match->get(block, c); }
  };
  Column column(char32_t c) const { return {this, c}; }

 private:
  struct Entry {
    char32_t code_point;
    std::uint64_t bits;
  };

  std::uint64_t get(std::size_t block, char32_t c) const {
    const auto first = entries_.begin() + static_cast<std::ptrdiff_t>(starts_[block]);
    const auto last = entries_.begin() + static_cast<std::ptrdiff_t>(starts_[block + 1]);
    const auto it = std::lower_bound(
        first, last, c, [](const Entry& e, char32_t key) { return e.code_point < key; });
    return it != last && it->code_point == c ? it->bits : 0;
  }

  std::size_t words_;
  std::vector<std::size_t> starts_;
  std::vector<Entry> entries_;
};

// Above this many words (128 MB) the dense match bits give way to the sparse
// ones. Only patterns of tens of thousands of code points with thousands of
// distinct ones get there.
constexpr std::size_t kDenseLimitWords = std::size_t{1} << 24;

// The horizontal difference D[r][j] - D[r][j-1] at one row r, as two bits
// (+1: plus set, -1: minus set), so that advancing a block needs no branch.
struct Carry {
  std::uint64_t plus;
  std::uint64_t minus;
  int value() const { return static_cast<int>(plus) - static_cast<int>(minus); }
};

// Advances one block of rows by one column. eq holds the match bits of the
// column's code point for this block, in the difference entering at the top
// of the block (from the row above it), last the bit number of the block's
// last row. Returns the difference leaving at that last row.
inline Carry advance_block(std::uint64_t& vp, std::uint64_t& vn, std::uint64_t eq, Carry in,
                           unsigned last) {
  const std::uint64_t xv = eq | vn;
  eq |= in.minus;  // a decrease from above acts like a match in the first row
  const std::uint64_t xh = (((eq & vp) + vp) ^ vp) | eq;
  std::uint64_t ph = vn | ~(xh | vp);
  std::uint64_t mh = vp & xh;
  const Carry out{(ph >> last) & 1, (mh >> last) & 1};
  ph = (ph << 1) | in.plus;
  mh = (mh << 1) | in.minus;
  vp = mh | ~(xv | ph);
  vn = ph & xv;
  return out;
}

constexpr Carry kCarryUp{1, 0};  // row 0, D[0][j] = j, grows by one per column

using Score = std::int64_t;

// Least value of i + |t - i| over rows i in [first_row, ...): the rows beyond
// t only get dearer.
inline Score least_row_term(Score first_row, Score t) {
  return std::max(t, 2 * first_row - t);
}

// Least value of |i - j| + |i - t| over rows i in [a, b]: D[i][j] >= |i - j|
// holds for every cell, whatever was computed.
inline Score least_static_bound(Score a, Score b, Score j, Score t) {
  const Score p = std::min(j, t);
  const Score q = std::max(j, t);
  auto cost = [&](Score i) { return (i > j ? i - j : j - i) + (i > t ? i - t : t - i); };
  if (b < p) return cost(b);
  if (a > q) return cost(a);
  return q - p;
}

// Pattern of 1 to 64 code points, m <= n, n - m <= max.
template <class CharT>
std::optional<std::uint64_t> distance_one_word(const CharT* p, std::size_t m, const CharT* t,
                                               std::size_t n, Score max) {
  const WordMatch match(p, m);
  const auto last = static_cast<unsigned>(m - 1);
  std::uint64_t vp = ~std::uint64_t{0};
  std::uint64_t vn = 0;
  Score score = static_cast<Score>(m);
  const Score sm = static_cast<Score>(m);
  const Score sn = static_cast<Score>(n);
  for (std::size_t j = 0; j < n; ++j) {
    score += advance_block(vp, vn, match.get(t[j]), kCarryUp, last).value();
    // Every alignment crosses this column in row 0 or in a pattern row; if
    // none of them can still end within max, stop.
    const Score col = static_cast<Score>(j) + 1;
    const Score diag = sm - sn + col;
    const Score via_row0 = col + (diag < 0 ? -diag : diag);
    if (via_row0 > max && score - sm + least_row_term(1, diag) > max) return std::nullopt;
  }
  if (score > max) return std::nullopt;
  return static_cast<std::uint64_t>(score);
}

// Pattern of more than 64 code points, m <= n, n - m <= max. The vectors are
// the caller's so that several tries share one allocation.
template <class Match, class CharT>
std::optional<std::uint64_t> distance_blocks(const Match& match, std::size_t m, const CharT* t,
                                             std::size_t n, Score max,
                                             std::vector<std::uint64_t>& vp,
                                             std::vector<std::uint64_t>& vn,
                                             std::vector<Score>& score) {
  const std::size_t words = match.words();
  const Score sm = static_cast<Score>(m);
  const Score sn = static_cast<Score>(n);
  auto lo = [](std::size_t b) { return static_cast<Score>(b * kWordBits); };
  auto hi = [&](std::size_t b) { return std::min(static_cast<Score>((b + 1) * kWordBits), sm); };
  const auto last_of_last = static_cast<unsigned>((m - 1) % kWordBits);
  auto last_bit = [&](std::size_t b) {
    return b + 1 == words ? last_of_last : static_cast<unsigned>(kWordBits - 1);
  };

  vp.assign(words, ~std::uint64_t{0});
  vn.assign(words, 0);
  score.resize(words);  // D[hi(b)][j] for the blocks in the band
  for (std::size_t b = 0; b < words; ++b) score[b] = hi(b);

  // The band is blocks [first, end). Column 0 is D[i][0] = i.
  std::size_t first = 0;
  std::size_t end = 0;
  while (end < words && least_row_term(lo(end) + 1, sm - sn) <= max) ++end;

  auto useless = [&](std::size_t b, Score j, Score diag) {
    return score[b] - hi(b) + least_row_term(lo(b) + 1, diag) > max ||
           least_static_bound(lo(b) + 1, hi(b), j, diag) > max;
  };

  for (std::size_t col = 1; col <= n; ++col) {
    const Score j = static_cast<Score>(col);
    const Score diag = sm - sn + j;  // the row whose cell lies on the corner's diagonal
    const auto eq = match.column(t[col - 1]);

    // Row 0 (D[0][j] = j) enters the first block with +1; so does a block
    // dropped above the band, which is allowed to be overstated.
    Carry h = kCarryUp;
    for (std::size_t b = first; b < end; ++b) {
      h = advance_block(vp[b], vn[b], eq[b], h, last_bit(b));
      score[b] += h.value();
    }

    // Let blocks below the band join while a useful cell may lie in them. Such
    // a cell is reached from the band's last row at this column or the one
    // before, so D >= D[r][j] - 2 + (i - r) bounds it.
    while (end < words) {
      const Score above = end == 0 ? j : score[end - 1];
      const Score r = end == 0 ? 0 : hi(end - 1);
      if (above - r - 2 + least_row_term(lo(end) + 1, diag) > max ||
          least_static_bound(lo(end) + 1, hi(end), j, diag) > max) {
        break;
      }
      vp[end] = ~std::uint64_t{0};
      vn[end] = 0;
      score[end] = above - h.value() + (hi(end) - lo(end));  // deletion path at column j - 1
      h = advance_block(vp[end], vn[end], eq[end], h, last_bit(end));
      score[end] += h.value();
      ++end;
    }
    while (end > first && useless(end - 1, j, diag)) --end;

    // Blocks leave at the top for good only once row 0 itself is useless: until
    // then an alignment may still come down from it later.
    const Score via_row0 = j + (diag < 0 ? -diag : diag);
    if (via_row0 > max) {
      while (first < end && useless(first, j, diag)) ++first;
      if (first == end) return std::nullopt;
    }
  }
  if (end != words || first == end || score[words - 1] > max) return std::nullopt;
  return static_cast<std::uint64_t>(score[words - 1]);
}

// The band's width follows the bound, not the distance: a near match checked
// against a loose bound would sweep a wide band for nothing. Trying tighter
// bounds first, doubling them, costs at most about a third more when the
// distance is large, since each try costs about the square of its bound.
template <class Match, class CharT>
std::optional<std::uint64_t> distance_in_tries(const Match& match, std::size_t m, const CharT* t,
                                               std::size_t n, Score max) {
  std::vector<std::uint64_t> vp;
  std::vector<std::uint64_t> vn;
  std::vector<Score> score;
  Score tried = std::max<Score>(static_cast<Score>(n - m), 32);
  while (tried < max / 2) {
    if (auto d = distance_blocks(match, m, t, n, tried, vp, vn, score)) return d;
    tried *= 2;
  }
  return distance_blocks(match, m, t, n, max, vp, vn, score);
}

template <class CharT>
std::optional<std::uint64_t> bounded(const CharT* a, std::size_t na, const CharT* b, std::size_t nb,
                                     std::uint64_t max_distance) {
  // A shared prefix or suffix never changes the distance.
  while (na > 0 && nb > 0 && *a == *b) ++a, ++b, --na, --nb;
  while (na > 0 && nb > 0 && a[na - 1] == b[nb - 1]) --na, --nb;
  if (na > nb) {
    std::swap(a, b);
    std::swap(na, nb);
  }
  if (nb - na > max_distance) return std::nullopt;
  if (na == 0) return nb;
  // The distance never exceeds nb, so a larger bound is no bound.
  const Score max = static_cast<Score>(std::min<std::uint64_t>(max_distance, nb));
  if (na <= kWordBits) return distance_one_word(a, na, b, nb, max);
  DenseBlockMatch dense(a, na);
  if (dense.size_in_words() <= kDenseLimitWords) {
    dense.fill(a, na);
    return distance_in_tries(dense, na, b, nb, max);
  }
  return distance_in_tries(SparseBlockMatch(a, na), na, b, nb, max);
}

bool is_ascii(std::string_view s) {
  unsigned char bits = 0;
  for (unsigned char c : s) bits |= c;
  return bits < 0x80;
}

// Code points of a text, on the stack when it is short: the streaming matcher
// compares short lines millions of times.
class CodePoints {
 public:
  explicit CodePoints(std::string_view s) {
    char32_t* out = inline_.data();
    if (s.size() > inline_.size()) {
      heap_.resize(s.size());  // never fewer bytes than code points
      out = heap_.data();
    }
    data_ = out;
    for (std::size_t i = 0; i < s.size();) {
      const auto byte = static_cast<unsigned char>(s[i]);
      if (byte < 0x80) {
        out[size_++] = byte;
        ++i;
      } else {
        out[size_++] = decode_next(s, i);
      }
    }
  }
  CodePoints(const CodePoints&) = delete;
  CodePoints& operator=(const CodePoints&) = delete;

  const char32_t* data() const { return data_; }
  std::size_t size() const { return size_; }

 private:
  std::array<char32_t, 256> inline_;
  std::vector<char32_t> heap_;
  const char32_t* data_ = nullptr;
  std::size_t size_ = 0;
};

std::optional<std::uint64_t> bounded_utf8(std::string_view a, std::string_view b,
                                          std::uint64_t max_distance) {
  if (is_ascii(a) && is_ascii(b)) {
    // Bytes are code points: no decoding.
    return bounded(reinterpret_cast<const unsigned char*>(a.data()), a.size(),
                   reinterpret_cast<const unsigned char*>(b.data()), b.size(), max_distance);
  }
  const CodePoints ca(a);
  const CodePoints cb(b);
  return bounded(ca.data(), ca.size(), cb.data(), cb.size(), max_distance);
}

}  // namespace

std::uint64_t levenshtein_distance(std::u32string_view a, std::u32string_view b) {
  return *bounded(a.data(), a.size(), b.data(), b.size(), UINT64_MAX);
}

std::uint64_t levenshtein_distance(std::string_view a, std::string_view b) {
  return *bounded_utf8(a, b, UINT64_MAX);
}

std::optional<std::uint64_t> levenshtein_distance_bounded(std::string_view a, std::string_view b,
                                                          std::uint64_t max_distance) {
  return bounded_utf8(a, b, max_distance);
}

std::optional<std::uint64_t> levenshtein_distance_bounded(std::u32string_view a,
                                                          std::u32string_view b,
                                                          std::uint64_t max_distance) {
  return bounded(a.data(), a.size(), b.data(), b.size(), max_distance);
}

}  // namespace tavrell::text

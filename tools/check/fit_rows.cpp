// The rows, pixels and channels a group's differences keep to, where they tell of a loop.
#include <algorithm>
#include <cmath>

#include "fit_parts.h"

namespace {

// Which positions of `n` hold differences, as a loop would leave them.
enum class shape { none, last, first, even, odd, one };

struct positions {
  shape kind = shape::none;
  int from = 0, to = 0;  // the first and last position holding a difference
};

// Whether `differing` bytes, all within `held` of `n` positions, tell something: that many
// scattered at random would all fall there less than once in a million groups.
bool tells(int held, int n, size_t differing) {
  return static_cast<double>(differing) * std::log(static_cast<double>(held) / n) < std::log(1e-6);
}

positions shape_of(const size_t* count, int n, size_t differing) {
  positions p;
  int held = 0;
  p.from = n, p.to = -1;
  bool even = true, odd = true;
  for (int i = 0; i < n; ++i) {
    if (!count[i]) continue;
    ++held;
    p.from = std::min(p.from, i), p.to = std::max(p.to, i);
    (i % 2 ? even : odd) = false;
  }
  if (held == n || held == 0 || differing < 16 || !tells(held, n, differing)) return p;
  const bool contiguous = p.to - p.from + 1 == held;
  if (held == 1) {
    p.kind = p.to == n - 1 ? shape::last : p.from == 0 ? shape::first : shape::one;
  } else if (contiguous && p.to == n - 1) {
    p.kind = shape::last;
  } else if (contiguous && p.from == 0) {
    p.kind = shape::first;
  } else if (even && held == (n + 1) / 2) {
    p.kind = shape::even;
  } else if (odd && held == n / 2) {
    p.kind = shape::odd;
  }
  return p;
}

std::string span_text(const positions& p, const char* one, const char* many) {
  if (p.from == p.to) return std::string(one) + " " + std::to_string(p.from) + " only";
  return std::string(many) + " " + std::to_string(p.from) + " ... " + std::to_string(p.to) +
         " only";
}

std::string row_words(const positions& p, block_path path, int constant) {
  const int n = p.to - p.from + 1;
  const std::string count = n == 1 ? "row" : std::to_string(n) + " rows";
  switch (p.kind) {
    case shape::last: {
      std::string words = span_text(p, "row", "rows") + ": ";
      if (constant >= 0) {
        return words + "the block's last " + count + (n == 1 ? " is" : " are") +
               " not written (found " + std::to_string(constant) + " throughout)";
      }
      if (path == block_path::two_d) {
        return words + "the only rows that need intermediate rows " + std::to_string(19 - n) +
               " and beyond: is the intermediate kept for " + std::to_string(19 - n) +
               " rows, not 19?";
      }
      return words + "the block's last " + count +
             ": does the loop over rows stop short, or read rows that were not kept?";
    }
    case shape::first:
      return span_text(p, "row", "rows") + ": the block's first " + count +
             ": does the loop over rows start late, or read rows that were not kept?";
    case shape::even:
    case shape::odd:
      return std::string(p.kind == shape::even ? "even" : "odd") +
             " rows only: does the loop over rows step by 2, or take every other row elsewhere?";
    case shape::one:
      return span_text(p, "row", "rows");
    case shape::none:
      break;
  }
  return "";
}

std::string pixel_words(const positions& p) {
  const int n = p.to - p.from + 1;
  const std::string count = n == 1 ? "pixel" : std::to_string(n) + " pixels";
  switch (p.kind) {
    case shape::last:
      return span_text(p, "pixel", "pixels") + ": the last " + count +
             " of each row: does a loop's tail (a vector's remainder) do otherwise?";
    case shape::first:
      return span_text(p, "pixel", "pixels") + ": the first " + count +
             " of each row: does the loop over pixels start late?";
    case shape::even:
    case shape::odd:
      return std::string(p.kind == shape::even ? "even" : "odd") +
             " pixels only: does the loop over pixels step by 2, or the pixels pair up?";
    case shape::one:
      return span_text(p, "pixel", "pixels");
    case shape::none:
      break;
  }
  return "";
}

}  // namespace

std::string rows_story(const std::vector<block_view>& blocks, const group_key& key) {
  size_t row[16] = {}, pixel[16] = {}, channel[3] = {};
  size_t differing = 0;
  // The value found in every differing byte of each row, or -1 where they differ.
  int row_value[16];
  std::fill(row_value, row_value + 16, -2);
  for (const block_view& v : blocks) {
    for (size_t b = 0; b < block_bytes; ++b) {
      if (v.found[b] == v.expected[b]) continue;
      const size_t r = b / block_row_bytes;
      ++differing, ++row[r], ++pixel[b % block_row_bytes / 3], ++channel[b % 3];
      row_value[r] = row_value[r] == -2 || row_value[r] == v.found[b] ? v.found[b] : -1;
    }
  }
  std::vector<std::string> stories;
  const positions rows = shape_of(row, 16, differing);
  if (rows.kind != shape::none) {
    int constant = row_value[rows.from];
    for (int r = rows.from; r <= rows.to; ++r) {
      if (row[r] && row_value[r] != constant) constant = -1;
    }
    stories.push_back(row_words(rows, key.path, constant));
  }
  const positions pixels = shape_of(pixel, 16, differing);
  if (pixels.kind != shape::none) stories.push_back(pixel_words(pixels));
  const char* const names[] = {"0 (blue)", "1 (green)", "2 (red)"};
  int held = 0;
  std::string which;
  for (int c = 0; c < 3; ++c) {
    if (!channel[c]) continue;
    which += (which.empty() ? "" : " and ") + std::string(names[c]);
    ++held;
  }
  if (held > 0 && held < 3 && differing >= 16 && tells(held, 3, differing)) {
    stories.push_back((held == 1 ? "channel " : "channels ") + which +
                      " only: is a channel computed otherwise?");
  }
  std::string out;
  for (const std::string& s : stories) out += (out.empty() ? "" : "; ") + s;
  return out;
}

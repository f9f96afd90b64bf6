// The filters as plain integer arithmetic: the reference every other implementation matches.
// A block row is 48 bytes; the same channel of the neighbouring pixel lies 3 bytes away, so
// each loop runs over bytes and every channel is filtered alike.
#include <cstring>

#include "interpolate.h"
#include "levels.h"
#include "paths.h"
#include "taps.h"

const int32_t filter_taps[4][4] = {
    {tap_values[0][0], tap_values[0][1], tap_values[0][2], tap_values[0][3]},
    {tap_values[1][0], tap_values[1][1], tap_values[1][2], tap_values[1][3]},
    {tap_values[2][0], tap_values[2][1], tap_values[2][2], tap_values[2][3]},
    {tap_values[3][0], tap_values[3][1], tap_values[3][2], tap_values[3][3]},
};

namespace {

// One row of filter_taps, held in locals so the compiler can keep it in registers.
struct taps {
  int32_t c0, c1, c2, c3;
  explicit taps(int phase)
      : c0(filter_taps[phase][0]),
        c1(filter_taps[phase][1]),
        c2(filter_taps[phase][2]),
        c3(filter_taps[phase][3]) {}
  int32_t apply(int32_t a, int32_t b, int32_t c, int32_t d) const {
    return c0 * a + c1 * b + c2 * c + c3 * d;
  }
};

uint8_t clamp_byte(int32_t v) {
  return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
}

// The two one-dimensional filters differ only in the distance between taps. A sample is a byte
// as the plane holds it, or read as signed (sample int8_t).
template <typename sample>
void filter_1d(uint8_t* dst, const uint8_t* src, ptrdiff_t row, ptrdiff_t step, int phase) {
  const taps t(phase);
  for (int r = 0; r < block_size; ++r) {
    const sample* s = reinterpret_cast<const sample*>(src + r * row);
    uint8_t* d = dst + r * block_row_bytes;
    for (ptrdiff_t b = 0; b < ptrdiff_t{block_row_bytes}; ++b) {
      d[b] = clamp_byte((t.apply(s[b - step], s[b], s[b + step], s[b + 2 * step]) + 64) >> 7);
    }
  }
}

// Horizontal pass over the 19 rows the vertical taps reach, kept at 1/64 pixel scale (rounded
// at 1/2), then the vertical pass rounded at 1/8192 and clamped.
template <typename sample>
void two_d(uint8_t* dst, const uint8_t* src, ptrdiff_t row, int hx, int vy) {
  constexpr int rows = block_size + 3;
  int32_t t[rows][block_row_bytes];
  const taps h(hx);
  for (int j = 0; j < rows; ++j) {
    const sample* s = reinterpret_cast<const sample*>(src + (j - 1) * row);
    for (int b = 0; b < int{block_row_bytes}; ++b) {
      t[j][b] = (h.apply(s[b - 3], s[b], s[b + 3], s[b + 6]) + 1) >> 1;
    }
  }
  const taps v(vy);
  for (int r = 0; r < block_size; ++r) {
    uint8_t* d = dst + r * block_row_bytes;
    for (int b = 0; b < int{block_row_bytes}; ++b) {
      d[b] = clamp_byte((v.apply(t[r][b], t[r + 1][b], t[r + 2][b], t[r + 3][b]) + 4096) >> 13);
    }
  }
}

void horizontal_signed(uint8_t* dst, const uint8_t* src, ptrdiff_t row, int phase) {
  filter_1d<int8_t>(dst, src, row, 3, phase);
}
void vertical_signed(uint8_t* dst, const uint8_t* src, ptrdiff_t row, int phase) {
  filter_1d<int8_t>(dst, src, row, row, phase);
}
void two_d_signed(uint8_t* dst, const uint8_t* src, ptrdiff_t row, int hx, int vy) {
  two_d<int8_t>(dst, src, row, hx, vy);
}

}  // namespace

void copy_scalar(uint8_t* dst, const uint8_t* src, ptrdiff_t row) {
  for (int r = 0; r < block_size; ++r) {
    std::memcpy(dst + r * block_row_bytes, src + r * row, block_row_bytes);
  }
}

const filter_paths signed_scalar_paths = {copy_scalar, horizontal_signed, vertical_signed,
                                          two_d_signed};

void horizontal_scalar(uint8_t* dst, const uint8_t* src, ptrdiff_t row, int phase) {
  filter_1d<uint8_t>(dst, src, row, 3, phase);
}

void vertical_scalar(uint8_t* dst, const uint8_t* src, ptrdiff_t row, int phase) {
  filter_1d<uint8_t>(dst, src, row, row, phase);
}

void two_d_scalar(uint8_t* dst, const uint8_t* src, ptrdiff_t row, int hx, int vy) {
  two_d<uint8_t>(dst, src, row, hx, vy);
}

namespace {

constexpr kernel_form scalar_forms[] = {
    {block_path::copy, "memcpy", copy_scalar},
    {block_path::horizontal, "int32", horizontal_scalar},
    {block_path::vertical, "int32", vertical_scalar},
    {block_path::two_d, "int32", two_d_scalar},
};

}  // namespace

extern constexpr filter_level scalar_level = {"scalar", 0, scalar_forms};
static_assert(well_formed(scalar_level));

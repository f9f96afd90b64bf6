// The kernels behind interpolate_block: the types of its paths, and the scalar rendering, the
// reference that every level's kernels match. Each level's source defines its own kernels and
// lists them in its level (levels.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// A path fills the whole block from `src`, the block's top-left source pixel (sx, sy), in a
// plane whose rows are `row` bytes apart.
using copy_path = void (*)(uint8_t* dst, const uint8_t* src, ptrdiff_t row);
using filter_1d_path = void (*)(uint8_t* dst, const uint8_t* src, ptrdiff_t row, int phase);
using filter_2d_path = void (*)(uint8_t* dst, const uint8_t* src, ptrdiff_t row, int hx, int vy);

struct filter_paths {
  copy_path copy;             // hx == 0, vy == 0
  filter_1d_path horizontal;  // hx != 0, vy == 0
  filter_1d_path vertical;    // hx == 0, vy != 0
  filter_2d_path two_d;       // hx != 0, vy != 0
};

// Runs the path of `paths` that the phases select; false where `paths` has none.
inline bool run_filter_path(const filter_paths& paths, uint8_t* dst, const uint8_t* src,
                            ptrdiff_t row, int hx, int vy) {
  if (hx == 0 && vy == 0) {
    if (paths.copy) paths.copy(dst, src, row);
    return paths.copy != nullptr;
  }
  filter_1d_path one_d = vy == 0 ? paths.horizontal : hx == 0 ? paths.vertical : nullptr;
  if (one_d) {
    one_d(dst, src, row, vy == 0 ? hx : vy);
    return true;
  }
  if (hx != 0 && vy != 0 && paths.two_d) {
    paths.two_d(dst, src, row, hx, vy);
    return true;
  }
  return false;
}

// The reference: the formulas written out in plain integer arithmetic.
void copy_scalar(uint8_t* dst, const uint8_t* src, ptrdiff_t row);
void horizontal_scalar(uint8_t* dst, const uint8_t* src, ptrdiff_t row, int phase);
void vertical_scalar(uint8_t* dst, const uint8_t* src, ptrdiff_t row, int phase);
void two_d_scalar(uint8_t* dst, const uint8_t* src, ptrdiff_t row, int hx, int vy);

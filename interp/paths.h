// The kernels behind interpolate_block: its four paths, their types, and the scalar rendering,
// the reference that every level's kernels match. Each level's source defines its own kernels
// and lists them in its level (levels.h).
#pragma once

#include <cstddef>
#include <cstdint>

// The paths, as the phases choose them (model.h): hx and vy both 0, only hx, only vy, both not.
enum class block_path { copy, horizontal, vertical, two_d };
inline constexpr size_t path_count = 4;
inline constexpr block_path every_path[path_count] = {block_path::copy, block_path::horizontal,
                                                      block_path::vertical, block_path::two_d};

// A kernel fills the whole block from `src`, the block's top-left source pixel (sx, sy), in a
// plane whose rows are `row` bytes apart.
using copy_path = void (*)(uint8_t* dst, const uint8_t* src, ptrdiff_t row);
using filter_1d_path = void (*)(uint8_t* dst, const uint8_t* src, ptrdiff_t row, int phase);
using filter_2d_path = void (*)(uint8_t* dst, const uint8_t* src, ptrdiff_t row, int hx, int vy);

// A kernel for each path, or null where a level leaves a path to a lower one.
struct filter_paths {
  copy_path copy;
  filter_1d_path horizontal;
  filter_1d_path vertical;
  filter_2d_path two_d;
};

// The reference: the formulas written out in plain integer arithmetic.
void copy_scalar(uint8_t* dst, const uint8_t* src, ptrdiff_t row);
void horizontal_scalar(uint8_t* dst, const uint8_t* src, ptrdiff_t row, int phase);
void vertical_scalar(uint8_t* dst, const uint8_t* src, ptrdiff_t row, int phase);
void two_d_scalar(uint8_t* dst, const uint8_t* src, ptrdiff_t row, int hx, int vy);

// The same formulas over bytes read as signed, b - 256 where b >= 128 (a copy keeps the bits):
// what the checking tools render for a port that reads its plane so.
extern const filter_paths signed_scalar_paths;

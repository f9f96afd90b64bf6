// The implementations behind interpolate_block, for its dispatch, its tests and its benchmarks.
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

struct filter_impl {
  const char* name;
  filter_paths paths;  // null where the implementation leaves a path to an earlier one
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

// 128-bit vectors, one pixel's three channels per register.
void two_d_sse2(uint8_t* dst, const uint8_t* src, ptrdiff_t row, int hx, int vy);

// 256-bit vectors, a block row at a time.
void horizontal_avx2(uint8_t* dst, const uint8_t* src, ptrdiff_t row, int phase);
void vertical_avx2(uint8_t* dst, const uint8_t* src, ptrdiff_t row, int phase);
void two_d_avx2(uint8_t* dst, const uint8_t* src, ptrdiff_t row, int hx, int vy);

// 512-bit vectors: masked row loads, byte permutes and dot products. Two forms of three paths,
// for cores that run some operations at half rate: whole stores or masked ones, gathers in
// byte order with more two-source permutes, a second pass of multiply-adds instead of dot
// products.
void copy_avx512(uint8_t* dst, const uint8_t* src, ptrdiff_t row);
void copy_avx512_masked(uint8_t* dst, const uint8_t* src, ptrdiff_t row);
void horizontal_avx512(uint8_t* dst, const uint8_t* src, ptrdiff_t row, int phase);
void horizontal_avx512_in_order(uint8_t* dst, const uint8_t* src, ptrdiff_t row, int phase);
void vertical_avx512(uint8_t* dst, const uint8_t* src, ptrdiff_t row, int phase);
void two_d_avx512(uint8_t* dst, const uint8_t* src, ptrdiff_t row, int hx, int vy);
void two_d_avx512_madd(uint8_t* dst, const uint8_t* src, ptrdiff_t row, int hx, int vy);

// 128-bit Advanced SIMD on 64-bit Arm, a block row at a time.
void horizontal_neon(uint8_t* dst, const uint8_t* src, ptrdiff_t row, int phase);
void vertical_neon(uint8_t* dst, const uint8_t* src, ptrdiff_t row, int phase);
void two_d_neon(uint8_t* dst, const uint8_t* src, ptrdiff_t row, int hx, int vy);

// Every implementation this build holds and this processor runs, the scalar one first, lowest
// level to highest; the processor's features are read once.
const std::vector<filter_impl>& filter_impls();

// The levels this processor family knows, lowest first: what BLOCKWALK_ISA may name.
const std::vector<const char*>& known_levels();

// How many of `impls` (lowest first) a cap of `cap` admits: those up to the level it names;
// all for none (null or empty). A name that is no level of this processor family admits the
// scalar rendering alone, and says so in `*unknown`.
size_t admitted_impls(const std::vector<filter_impl>& impls, const char* cap, bool* unknown);

// The paths of the first `count` implementations: each entry from the last one that has it.
filter_paths combine_paths(const std::vector<filter_impl>& impls, size_t count);

// The paths interpolate_block calls: every implementation up to the level BLOCKWALK_ISA names,
// read once; the name of the highest of them.
const filter_paths& active_paths();
const char* active_level();

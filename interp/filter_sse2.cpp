// The two-dimensional filter on 128-bit vectors, one pixel's three channels per register (the
// fourth lane carries nothing). Gives exactly the bytes of two_d_scalar.
#include <emmintrin.h>

#include <cstring>

#include "interpolate.h"
#include "levels.h"
#include "paths.h"
#include "taps.h"

namespace {

struct alignas(16) sse2_constants {
  int16_t pairs[4][2][8];   // per phase: (c0, c1) and (c2, c3), repeated in 16-bit lane pairs
  int32_t first_round[4];   // 1: rounds the horizontal pass at 1/2
  int32_t second_round[4];  // 4096: rounds the vertical pass at 1/8192
  int32_t upper[4];         // 255; as 16-bit lanes 255, 0, ... which clamps a 32-bit lane's halves
};

// Built by the compiler: nothing in this source runs before the processor has been asked.
constexpr sse2_constants make_constants() {
  sse2_constants k{};
  for (int p = 0; p < 4; ++p) {
    for (int lane = 0; lane < 8; ++lane) {
      k.pairs[p][0][lane] = static_cast<int16_t>(tap_values[p][lane % 2]);
      k.pairs[p][1][lane] = static_cast<int16_t>(tap_values[p][2 + lane % 2]);
    }
  }
  for (int lane = 0; lane < 4; ++lane) {
    k.first_round[lane] = 1;
    k.second_round[lane] = 4096;
    k.upper[lane] = 255;
  }
  return k;
}

constexpr sse2_constants constants = make_constants();

__m128i load(const void* p) {
  return _mm_loadu_si128(static_cast<const __m128i*>(p));
}

// Exactly the 12 bytes of four pixels. A 16-byte load for output pixel i reaches 4 bytes past
// source pixel sx + 2 + i: for the last two pixels of a row that is beyond the block's footprint,
// which may end the plane, so those load 12 bytes instead and the caller needs no slack.
constexpr int wide_loads = block_size - 2;
__m128i load_12(const uint8_t* p) {
  int32_t tail;
  std::memcpy(&tail, p + 8, sizeof tail);
  return _mm_unpacklo_epi64(
      _mm_loadl_epi64(static_cast<const __m128i*>(static_cast<const void*>(p))),
      _mm_cvtsi32_si128(tail));
}

// Pixels p0 ... p3 (12 bytes from `px`) through one phase's taps, rounded at 1/2.
__m128i horizontal_taps(__m128i px, __m128i a, __m128i b, __m128i round) {
  const __m128i zero = _mm_setzero_si128();
  // (p0.ch0, p1.ch0, p0.ch1, p1.ch1, p0.ch2, p1.ch2, -, -) as 16-bit lanes; likewise p2, p3.
  const __m128i p01 = _mm_unpacklo_epi8(_mm_unpacklo_epi8(px, _mm_srli_si128(px, 3)), zero);
  const __m128i p23 =
      _mm_unpacklo_epi8(_mm_unpacklo_epi8(_mm_srli_si128(px, 6), _mm_srli_si128(px, 9)), zero);
  const __m128i sum = _mm_add_epi32(_mm_madd_epi16(p01, a), _mm_madd_epi16(p23, b));
  return _mm_srai_epi32(_mm_add_epi32(sum, round), 1);
}

// The intermediate entries of two rows, narrowed to 16 bits and interleaved lane by lane.
__m128i interleave_rows(const int32_t* upper, const int32_t* lower) {
  const __m128i u = load(upper);
  const __m128i l = load(lower);
  return _mm_unpacklo_epi16(_mm_packs_epi32(u, u), _mm_packs_epi32(l, l));
}

}  // namespace

void two_d_sse2_madd(uint8_t* dst, const uint8_t* src, ptrdiff_t row, int hx, int vy) {
  constexpr int rows = block_size + 3;
  constexpr int entry_row = block_size * 3;  // 32-bit entries per intermediate row
  // Each entry is stored with a 16-byte write at a 12-byte step: one entry of slack at the end.
  int32_t t[rows * entry_row + 1];

  const __m128i ha = _mm_load_si128(reinterpret_cast<const __m128i*>(constants.pairs[hx][0]));
  const __m128i hb = _mm_load_si128(reinterpret_cast<const __m128i*>(constants.pairs[hx][1]));
  const __m128i first_round = load(constants.first_round);
  for (int j = 0; j < rows; ++j) {
    const uint8_t* s = src + (j - 1) * row - 3;
    int32_t* e = t + j * entry_row;
    int i = 0;
    for (; i < wide_loads; ++i) {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(e + 3 * i),
                       horizontal_taps(load(s + 3 * i), ha, hb, first_round));
    }
    for (; i < block_size; ++i) {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(e + 3 * i),
                       horizontal_taps(load_12(s + 3 * i), ha, hb, first_round));
    }
  }

  const __m128i va = _mm_load_si128(reinterpret_cast<const __m128i*>(constants.pairs[vy][0]));
  const __m128i vb = _mm_load_si128(reinterpret_cast<const __m128i*>(constants.pairs[vy][1]));
  const __m128i second_round = load(constants.second_round);
  const __m128i upper = load(constants.upper);
  const __m128i zero = _mm_setzero_si128();
  for (int r = 0; r < block_size; ++r) {
    uint8_t* d = dst + r * block_row_bytes;
    for (int i = 0; i < block_size; ++i) {
      const int32_t* e = t + r * entry_row + 3 * i;
      const __m128i sum =
          _mm_add_epi32(_mm_madd_epi16(interleave_rows(e, e + entry_row), va),
                        _mm_madd_epi16(interleave_rows(e + 2 * entry_row, e + 3 * entry_row), vb));
      __m128i out = _mm_srai_epi32(_mm_add_epi32(sum, second_round), 13);
      // Every value lies in -72 ... 327, so clamping both 16-bit halves clamps the 32-bit lane.
      out = _mm_min_epi16(_mm_max_epi16(out, zero), upper);
      out = _mm_packus_epi16(_mm_packs_epi32(out, out), zero);
      const int32_t bytes = _mm_cvtsi128_si32(out);
      std::memcpy(d + 3 * i, &bytes, 3);  // x86 is little-endian: the three channels come first
    }
  }
}

namespace {

constexpr kernel_form sse2_forms[] = {{block_path::two_d, "madd", two_d_sse2_madd}};

}  // namespace

extern constexpr filter_level sse2_level = {"sse2", feature_sse2, sse2_forms};
static_assert(well_formed(sse2_level));

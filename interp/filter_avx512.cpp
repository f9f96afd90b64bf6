// The filters on 512-bit vectors. A row is read with a masked load of exactly the bytes its
// filter uses, so nothing beyond the footprint is touched; byte permutes gather each output's
// taps (3 bytes apart along a row) from it, and multiply-adds of unsigned bytes by signed taps
// form the sums. The horizontal and two-dimensional filters store groups of four block rows
// (192 bytes) in three 64-byte stores. Gives exactly the bytes of the scalar rendering.
//
// Every loop here runs a fixed number of times and is unrolled, whatever the optimisation
// level: its arrays of vectors must live in registers, and its choices of table resolve at
// compile time. Left to -O2, they lived in memory and the kernels ran 2 to 3 times slower.
//
// This source alone is compiled for AVX-512 (F, BW, VL, VBMI, VNNI): it defines no inline
// function that other sources share, and its tables are constants, built by the compiler, so
// that nothing here runs before the processor has been asked.
//
// GCC 12's AVX-512 headers seed some intrinsics with a self-initialised "undefined" vector,
// which its own warnings then flag.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <immintrin.h>
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

#include "interpolate.h"
#include "levels.h"
#include "paths.h"

namespace {

constexpr __mmask64 row_mask = (__mmask64{1} << block_row_bytes) - 1;
// A fractional row's footprint: bytes -3 ... 53 around its 48, so that byte k of the load is
// source byte k - 3, and output byte x takes its taps from load bytes x, x + 3, x + 6, x + 9.
constexpr __mmask64 footprint_mask = (__mmask64{1} << (block_row_bytes + 9)) - 1;
constexpr int group_rows = 4;

struct byte_table {
  alignas(64) uint8_t at[64];
};
struct tables {
  // Horizontal filter: six registers of 32 outputs per group of four rows, each two 16-byte
  // chunks of the group's twelve (chunk t is row t / 3, bytes 16 (t % 3) ...); for each, the
  // byte pairs of taps (c0, c1) and (c2, c3), from the rows of its two chunks (the second at
  // +64).
  byte_table pairs[6][2];
  // Or in byte order: registers 2g and 2g + 1 hold the outputs whose pack is store g's 64 bytes
  // in order (the first eight bytes of each 128-bit lane, and the last eight), their byte pairs
  // from rows g and g + 1 of the group (the second at +64).
  byte_table in_order_pairs[6][2];
  // Two-dimensional filter, first pass: the taps of a chunk's 16 outputs in two rows, the
  // outputs of one column side by side.
  byte_table two_row_pairs[3][2];
  // The 16-bit values of rows j and j + 1 side by side, from those of rows j - 1, j and
  // j + 1, j + 2.
  byte_table shifted_rows;
  // Whole 32-bit results of two registers of 16 outputs to their high 16-bit halves, in order.
  byte_table high_halves;
  // A 64-byte store from the pack of two registers of 32 outputs: pack order to byte order.
  byte_table unpack;
};

// Word w of a pair table holds the taps (c0, c1) of the output whose c0 is load byte `from`,
// and its (c2, c3) six bytes on.
constexpr void set_pairs(byte_table (&pair)[2], int w, int from) {
  for (int half = 0; half < 2; ++half) {
    pair[half].at[2 * w] = static_cast<uint8_t>(from + 6 * half);
    pair[half].at[2 * w + 1] = static_cast<uint8_t>(from + 6 * half + 3);
  }
}

constexpr tables make_tables() {
  tables t{};
  for (int i = 0; i < 6; ++i) {
    const int first_row = 2 * i / 3;
    for (int w = 0; w < 32; ++w) {
      const int chunk = 2 * i + w / 16;
      set_pairs(t.pairs[i], w, (chunk / 3 == first_row ? 0 : 64) + 16 * (chunk % 3) + w % 16);
      // Output byte o of the group lies in row o / 48.
      const int o = 64 * (i / 2) + 16 * (w / 8) + 8 * (i % 2) + w % 8;
      set_pairs(t.in_order_pairs[i], w, (o / 48 == i / 2 ? 0 : 64) + o % 48);
    }
  }
  for (int c = 0; c < 3; ++c) {
    for (int w = 0; w < 32; ++w) set_pairs(t.two_row_pairs[c], w, 64 * (w % 2) + 16 * c + w / 2);
  }
  // 16-bit indices, little-endian: word w is the high half of 32-bit lane w of the first
  // register (w < 16), or of lane w - 16 of the second.
  for (int w = 0; w < 32; ++w) {
    const int word = w < 16 ? 2 * w + 1 : 32 + 2 * (w - 16) + 1;
    t.high_halves.at[2 * w] = static_cast<uint8_t>(word);
  }
  for (int w = 0; w < 32; ++w) {
    t.shifted_rows.at[2 * w] = static_cast<uint8_t>(w % 2 ? 32 + w - 1 : w + 1);
  }
  // A pack of registers X and Y puts, in 128-bit lane l, X's words 8l ... 8l + 7 and then Y's.
  for (int p = 0; p < 64; ++p) {
    const int word = p % 32;
    t.unpack.at[p] = static_cast<uint8_t>(16 * (word / 8) + 8 * (p / 32) + word % 8);
  }
  return t;
}

constexpr tables table = make_tables();

__m512i load(const byte_table& t) {
  return _mm512_load_si512(t.at);
}

// One phase's taps as signed byte pairs (c0, c1) and (c2, c3), repeated in every 16-bit lane;
// the outer taps as magnitudes when `reflected`.
struct byte_pair_taps {
  __m512i c01, c23;
  byte_pair_taps(int phase, bool reflected) {
    const int32_t* c = filter_taps[phase];
    const int32_t outer = reflected ? -1 : 1;
    c01 = pair(outer * c[0], c[1]);
    c23 = pair(c[2], outer * c[3]);
  }
  static __m512i pair(int32_t a, int32_t b) {
    return _mm512_set1_epi16(
        static_cast<int16_t>((static_cast<uint32_t>(b) << 8) | (static_cast<uint32_t>(a) & 0xFF)));
  }
};

// 32 outputs of a one-dimensional filter from their taps' byte pairs. Each pair sum fits in
// 16 bits; their saturating sum is exact up to 32767, and anything above clamps to 255 anyway.
// (x * 256 + 2^14) >> 15, the rounding high multiply, is (x + 64) >> 7 exactly.
__m512i filter_32(__m512i ab, __m512i cd, const byte_pair_taps& t) {
  const __m512i sum =
      _mm512_adds_epi16(_mm512_maddubs_epi16(ab, t.c01), _mm512_maddubs_epi16(cd, t.c23));
  return _mm512_mulhrs_epi16(sum, _mm512_set1_epi16(256));
}

// Two registers of 32 results (16-bit, signed) as 64 bytes in order, clamped to 0 ... 255.
__m512i to_bytes(__m512i first, __m512i second) {
  return _mm512_permutexvar_epi8(load(table.unpack), _mm512_packus_epi16(first, second));
}

}  // namespace

// Four block rows are 192 contiguous bytes of the block: three whole 64-byte stores, each
// filled by two masked loads, the second merged above the first. A masked load touches only
// the bytes it keeps, so each reads just its part of a row. This serves cores that store a
// whole register twice as fast as a masked part (Intel's); others do better row by row.
void copy_avx512_whole_stores(uint8_t* dst, const uint8_t* src, ptrdiff_t row) {
  // Register g holds block bytes 64g ... 64g + 63 of the group: the end of one row, then the
  // start of the next (the first begins a row, the last ends one).
  constexpr int split[3] = {48, 32, 16};  // bytes of the register taken from the earlier row
#pragma GCC unroll 16
  for (int r = 0; r < block_size; r += group_rows) {
    const uint8_t* s = src + r * row;
#pragma GCC unroll 16
    for (int g = 0; g < 3; ++g) {
      const uint8_t* earlier = s + g * row + 16 * g;  // its bytes 48 - split ... 47
      const uint8_t* later = s + (g + 1) * row;       // its bytes 0 ... 63 - split
      const __mmask64 low = (__mmask64{1} << split[g]) - 1;
      const __m512i part = _mm512_maskz_loadu_epi8(low, earlier);
      _mm512_storeu_si512(dst + r * block_row_bytes + 64 * g,
                          _mm512_mask_loadu_epi8(part, ~low, later - split[g]));
    }
  }
}

void copy_avx512_masked_stores(uint8_t* dst, const uint8_t* src, ptrdiff_t row) {
#pragma GCC unroll 16
  for (int r = 0; r < block_size; ++r) {
    _mm512_mask_storeu_epi8(dst + r * block_row_bytes, row_mask,
                            _mm512_maskz_loadu_epi8(row_mask, src + r * row));
  }
}

namespace {

// Gathers in byte order read two rows for every register, and need no permute after the pack;
// gathers of one chunk's row read one row for four registers of six, but need a permute to
// byte order. A two-source permute costs twice a one-source one on some cores, Sapphire Rapids
// among them, and the same on others.
template <bool in_order>
void horizontal(uint8_t* dst, const uint8_t* src, ptrdiff_t row, int phase) {
  const byte_pair_taps taps(phase, false);
#pragma GCC unroll 16
  for (int r = 0; r < block_size; r += group_rows) {
    __m512i rows[group_rows];
#pragma GCC unroll 16
    for (int k = 0; k < group_rows; ++k) {
      rows[k] = _mm512_maskz_loadu_epi8(footprint_mask, src + (r + k) * row - 3);
    }
    // Chunks 2i and 2i + 1 lie in one row, but for i = 1 and 4: the last of one row and the
    // first of the next.
    const auto gather = [&](int i, int half) {
      if (in_order) {
        return _mm512_permutex2var_epi8(rows[i / 2], load(table.in_order_pairs[i][half]),
                                        rows[i / 2 + 1]);
      }
      const __m512i a = rows[2 * i / 3], b = rows[(2 * i + 1) / 3];
      const __m512i index = load(table.pairs[i][half]);
      return i % 3 == 1 ? _mm512_permutex2var_epi8(a, index, b) : _mm512_permutexvar_epi8(index, a);
    };
    __m512i out[6];
#pragma GCC unroll 16
    for (int i = 0; i < 6; ++i) out[i] = filter_32(gather(i, 0), gather(i, 1), taps);
    uint8_t* d = dst + r * block_row_bytes;
#pragma GCC unroll 16
    for (int g = 0; g < 3; ++g) {
      const __m512i first = out[2 * g], second = out[2 * g + 1];
      _mm512_storeu_si512(d + 64 * g,
                          in_order ? _mm512_packus_epi16(first, second) : to_bytes(first, second));
    }
  }
}

}  // namespace

void horizontal_avx512_permb(uint8_t* dst, const uint8_t* src, ptrdiff_t row, int phase) {
  horizontal<false>(dst, src, row, phase);
}

void horizontal_avx512_permt2b(uint8_t* dst, const uint8_t* src, ptrdiff_t row, int phase) {
  horizontal<true>(dst, src, row, phase);
}

// Rows j and j + 1 interleaved byte by byte are the taps (c0, c1) of output row j + 1 and
// (c2, c3) of output row j - 1. A row's 48 bytes fill three of the four 128-bit lanes.
void vertical_avx512_maddubs(uint8_t* dst, const uint8_t* src, ptrdiff_t row, int phase) {
  const byte_pair_taps taps(phase, false);
  struct interleaved {
    __m512i lo, hi;  // in lane l, bytes 16l ... 16l + 7 and 16l + 8 ... 16l + 15
  };
  const auto load_row = [&](int j) { return _mm512_maskz_loadu_epi8(row_mask, src + j * row); };
  const auto interleave = [](__m512i a, __m512i b) {
    return interleaved{_mm512_unpacklo_epi8(a, b), _mm512_unpackhi_epi8(a, b)};
  };
  __m512i here = load_row(0), below = load_row(1);
  interleaved upper = interleave(load_row(-1), here), middle = interleave(here, below);
#pragma GCC unroll 16
  for (int r = 0; r < block_size; ++r) {
    const __m512i next = load_row(r + 2);
    const interleaved lower = interleave(below, next);
    // The pack puts each lane's low and high halves back in byte order.
    const __m512i bytes = _mm512_packus_epi16(filter_32(upper.lo, lower.lo, taps),
                                              filter_32(upper.hi, lower.hi, taps));
    _mm512_mask_storeu_epi8(dst + r * block_row_bytes, row_mask, bytes);
    upper = middle;
    middle = lower;
    below = next;
  }
}

namespace {

// First pass: reflected outer taps make both pair sums non-negative, so an unsigned average
// forms (sum + 1) >> 1, plus half the reflection. Its 16-bit results for two rows share a
// register, those of one column side by side: rows j - 1 and j give the pairs (c0, c1) of
// output row j, rows j + 1 and j + 2 its pairs (c2, c3).
//
// Second pass: vertical taps scaled by 8 make each 32-bit lane 8 * (sum + 4096), whose high 16
// bits are the result before clamping, (sum + 4096) >> 13. With `vnni`, dot products add the
// pairs to an accumulator that starts at 8 * 4096 less what the reflection added. Without, for
// cores that run them at half rate (Zen 4), plain multiply-adds and one addition: the first
// pass then takes away all but 32 of the reflection, and the vertical taps, which sum to 128,
// turn those 32 into the 4096.
template <bool vnni>
void two_d(uint8_t* dst, const uint8_t* src, ptrdiff_t row, int hx, int vy) {
  constexpr int last_row = block_size + 1;  // of the footprint, which starts at row -1
  const byte_pair_taps h(hx, true);
  const int32_t reflection_half = 255 * -(filter_taps[hx][0] + filter_taps[hx][3]) / 2;
  const __m512i flip_a = _mm512_set1_epi16(0x00FF);
  const __m512i flip_d = _mm512_set1_epi16(static_cast<int16_t>(0xFF00));
  const __m512i bias = _mm512_set1_epi16(static_cast<int16_t>(reflection_half - 32));
  const auto load_row = [&](int j) {
    return _mm512_maskz_loadu_epi8(footprint_mask, src + j * row - 3);
  };
  // Rows j and j + 1 (j odd), chunk by chunk; past the footprint the second row repeats the
  // first and is never used.
  const auto first_pass = [&](int j, __m512i* out) {
    const __m512i upper = load_row(j);
    const __m512i lower = j < last_row ? load_row(j + 1) : upper;
#pragma GCC unroll 16
    for (int c = 0; c < 3; ++c) {
      const __m512i ab = _mm512_xor_si512(
          _mm512_permutex2var_epi8(upper, load(table.two_row_pairs[c][0]), lower), flip_a);
      const __m512i cd = _mm512_xor_si512(
          _mm512_permutex2var_epi8(upper, load(table.two_row_pairs[c][1]), lower), flip_d);
      out[c] = _mm512_avg_epu16(_mm512_maddubs_epi16(ab, h.c01), _mm512_maddubs_epi16(cd, h.c23));
      if (!vnni) out[c] = _mm512_sub_epi16(out[c], bias);
    }
  };
  // Rows j and j + 1 for even j, from the registers before and after.
  const auto between = [](const __m512i* before, const __m512i* after, __m512i* out) {
#pragma GCC unroll 16
    for (int c = 0; c < 3; ++c) {
      out[c] = _mm512_permutex2var_epi16(before[c], load(table.shifted_rows), after[c]);
    }
  };

  const auto pair = [](int32_t a, int32_t b) {
    return _mm512_set1_epi32(static_cast<int32_t>((static_cast<uint32_t>(8 * b) << 16) |
                                                  (static_cast<uint32_t>(8 * a) & 0xFFFF)));
  };
  const __m512i v01 = pair(filter_taps[vy][0], filter_taps[vy][1]);
  const __m512i v23 = pair(filter_taps[vy][2], filter_taps[vy][3]);
  const __m512i start = _mm512_set1_epi32(8 * 4096 - 8 * 128 * reflection_half);

  // t[k]: first-pass rows r - 1 + k and r + k, for the group of output rows r ... r + 3; the
  // first three come from the group before.
  __m512i t[7][3];
  first_pass(-1, t[0]);
  first_pass(1, t[2]);
  between(t[0], t[2], t[1]);
#pragma GCC unroll 4
  for (int r = 0; r < block_size; r += group_rows) {
    first_pass(r + 3, t[4]);
    first_pass(r + 5, t[6]);
    between(t[2], t[4], t[3]);
    between(t[4], t[6], t[5]);
    // Chunk c of group row k in sums[3k + c]; 32-bit lane i is column 16c + i.
    __m512i sums[3 * group_rows];
#pragma GCC unroll 16
    for (int k = 0; k < group_rows; ++k) {
#pragma GCC unroll 16
      for (int c = 0; c < 3; ++c) {
        sums[3 * k + c] =
            vnni ? _mm512_dpwssd_epi32(_mm512_dpwssd_epi32(start, t[k][c], v01), t[k + 2][c], v23)
                 : _mm512_add_epi32(_mm512_madd_epi16(t[k][c], v01),
                                    _mm512_madd_epi16(t[k + 2][c], v23));
      }
    }
    uint8_t* d = dst + r * block_row_bytes;
#pragma GCC unroll 16
    for (int g = 0; g < 3; ++g) {
      const __m512i high_halves = load(table.high_halves);
      const __m512i first = _mm512_permutex2var_epi16(sums[4 * g], high_halves, sums[4 * g + 1]);
      const __m512i second =
          _mm512_permutex2var_epi16(sums[4 * g + 2], high_halves, sums[4 * g + 3]);
      _mm512_storeu_si512(d + 64 * g, to_bytes(first, second));
    }
#pragma GCC unroll 16
    for (int c = 0; c < 3; ++c) {
      t[0][c] = t[4][c];
      t[1][c] = t[5][c];
      t[2][c] = t[6][c];
    }
  }
}

}  // namespace

void two_d_avx512_dpwssd(uint8_t* dst, const uint8_t* src, ptrdiff_t row, int hx, int vy) {
  two_d<true>(dst, src, row, hx, vy);
}

void two_d_avx512_madd(uint8_t* dst, const uint8_t* src, ptrdiff_t row, int hx, int vy) {
  two_d<false>(dst, src, row, hx, vy);
}

// The cores differ in what they run at half rate, as llvm-mca's models of them and measurements
// on Zen 5 chose: Intel's store whole registers at twice the rate of masked parts and run
// two-source permutes as two operations; Zen 4 runs dot products at half rate.
namespace {

constexpr kernel_form avx512_forms[] = {
    {block_path::copy, "masked_stores", copy_avx512_masked_stores, trait_fast_masked_stores},
    {block_path::copy, "whole_stores", copy_avx512_whole_stores},
    {block_path::horizontal, "permt2b", horizontal_avx512_permt2b, trait_fast_two_source_permutes},
    {block_path::horizontal, "permb", horizontal_avx512_permb},
    {block_path::vertical, "maddubs", vertical_avx512_maddubs},
    {block_path::two_d, "dpwssd", two_d_avx512_dpwssd, trait_full_rate_dot_products},
    {block_path::two_d, "madd", two_d_avx512_madd},
};

}  // namespace

extern constexpr filter_level avx512_level = {"avx512", feature_avx512, avx512_forms};
static_assert(well_formed(avx512_level));

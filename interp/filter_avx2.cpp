// The filters on 256-bit vectors: a block row is 48 contiguous bytes, and the taps of every byte
// lie 3 bytes apart along a row (the same channel of the neighbouring pixel) or a row apart
// across rows. Byte pairs meet their tap pairs in one unsigned-by-signed multiply-add. Two block
// rows are 96 contiguous bytes of the block, three whole registers. Gives exactly the bytes of
// the scalar rendering.
//
// This source alone is compiled for AVX2: it must not define inline functions that other sources
// share (the linker could keep this AVX2 copy for a processor without it), so it uses intrinsics
// and its own helpers only.
#include <immintrin.h>

#include "interpolate.h"
#include "levels.h"
#include "paths.h"
#include "taps.h"

namespace {

// The tap pairs (c0, c1) and (c2, c3) of each phase as 16-bit words of two signed bytes, low
// byte first; and reflected: the outer taps (negative in every fractional phase) turned positive,
// to apply to 255 - byte instead, so that every pair sum is non-negative and the sum grows by
// 255 (|c0| + |c3|).
struct tap_words {
  int16_t pair[2][4][2];  // [reflected][phase][(c0, c1), (c2, c3)]
  int32_t wide[4][2];     // the same pairs as two 16-bit halves, for 16-bit values
};
constexpr int16_t word(int32_t low, int32_t high) {
  return static_cast<int16_t>(static_cast<uint16_t>((low & 0xFF) | (high & 0xFF) << 8));
}
constexpr tap_words make_tap_words() {
  tap_words w{};
  for (int reflected = 0; reflected < 2; ++reflected) {
    for (int phase = 0; phase < 4; ++phase) {
      const int32_t* c = tap_values[phase];
      const int32_t outer = reflected ? -1 : 1;
      w.pair[reflected][phase][0] = word(outer * c[0], c[1]);
      w.pair[reflected][phase][1] = word(c[2], outer * c[3]);
    }
  }
  for (int phase = 0; phase < 4; ++phase) {
    for (int k = 0; k < 2; ++k) {
      const int32_t* c = tap_values[phase] + 2 * k;
      w.wide[phase][k] = static_cast<int32_t>(static_cast<uint32_t>(c[0] & 0xFFFF) |
                                              static_cast<uint32_t>(c[1] & 0xFFFF) << 16);
    }
  }
  return w;
}
constexpr tap_words tap_table = make_tap_words();

struct pair_taps {
  __m256i c01, c23;
  int32_t reflection = 0;  // what reflecting adds to a sum
  pair_taps(int phase, bool reflected)
      : c01(_mm256_set1_epi16(tap_table.pair[reflected][phase][0])),
        c23(_mm256_set1_epi16(tap_table.pair[reflected][phase][1])),
        reflection(reflected ? 255 * -(tap_values[phase][0] + tap_values[phase][3]) : 0) {}
};

__m256i load_32(const uint8_t* p) {
  return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

// 32 bytes made of the 16 at `lo` and the 16 at `hi`; one load when they are contiguous.
template <bool contiguous>
__m256i load_halves(const uint8_t* lo, const uint8_t* hi) {
  if (contiguous) return load_32(lo);
  return _mm256_inserti128_si256(
      _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(lo))),
      _mm_loadu_si128(reinterpret_cast<const __m128i*>(hi)), 1);
}

void store_32(uint8_t* p, __m256i v) {
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v);
}

void store_16(uint8_t* p, __m128i v) {
  _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
}

// Neighbouring rows (or taps) a and b interleaved byte by byte: `lo` holds bytes 0 ... 7 of each
// 128-bit lane, `hi` bytes 8 ... 15, the order a pack turns back into byte order.
struct byte_pairs {
  __m256i lo, hi;
  byte_pairs(__m256i a, __m256i b)
      : lo(_mm256_unpacklo_epi8(a, b)), hi(_mm256_unpackhi_epi8(a, b)) {}
};

// The two pair sums, (c0, c1) and (c2, c3), of 32 output bytes along a row: the 16 from `lo` on
// and the 16 from `hi` on. Each pair sum stays within the signed 16-bit range.
struct pair_sums {
  __m256i lo01, lo23, hi01, hi23;
};
template <bool contiguous, bool reflected>
pair_sums along_row(const pair_taps& t, const uint8_t* lo, const uint8_t* hi) {
  const __m256i flip = _mm256_set1_epi8(static_cast<char>(reflected ? 0xFF : 0));
  const byte_pairs ab(_mm256_xor_si256(load_halves<contiguous>(lo - 3, hi - 3), flip),
                      load_halves<contiguous>(lo, hi));
  const byte_pairs cd(load_halves<contiguous>(lo + 3, hi + 3),
                      _mm256_xor_si256(load_halves<contiguous>(lo + 6, hi + 6), flip));
  return {_mm256_maddubs_epi16(ab.lo, t.c01), _mm256_maddubs_epi16(cd.lo, t.c23),
          _mm256_maddubs_epi16(ab.hi, t.c01), _mm256_maddubs_epi16(cd.hi, t.c23)};
}

// One axis's (sum + 64) >> 7 of 16 outputs from their pair sums. The sum lies in -4080 ...
// 36720: added with saturation, a sum beyond 32767 still gives 255 after the pack; and a multiply
// by 256 with rounding, (x * 256 + 2^14) >> 15, is exactly (x + 64) >> 7.
__m256i round_1d(__m256i s01, __m256i s23) {
  return _mm256_mulhrs_epi16(_mm256_adds_epi16(s01, s23), _mm256_set1_epi16(256));
}

// 32 output bytes of a one-dimensional filter, in byte order; the pack clamps to 0 ... 255.
__m256i output_1d(const pair_sums& s) {
  return _mm256_packus_epi16(round_1d(s.lo01, s.lo23), round_1d(s.hi01, s.hi23));
}

}  // namespace

// Two block rows at a time: three whole stores, the middle one made of the first row's last 16
// bytes and the second row's first 16.
void copy_avx2_whole_stores(uint8_t* dst, const uint8_t* src, ptrdiff_t row) {
  for (int r = 0; r < block_size; r += 2) {
    const uint8_t* s = src + r * row;
    uint8_t* d = dst + r * block_row_bytes;
    store_32(d, load_32(s));
    store_32(d + 32, load_halves<false>(s + 32, s + row));
    store_32(d + 64, load_32(s + row + 16));
  }
}

// Two rows at a time, as the copy goes.
void horizontal_avx2_maddubs(uint8_t* dst, const uint8_t* src, ptrdiff_t row, int phase) {
  const pair_taps t(phase, false);
#pragma GCC unroll 8
  for (int r = 0; r < block_size; r += 2) {
    const uint8_t* s = src + r * row;
    uint8_t* d = dst + r * block_row_bytes;
    store_32(d, output_1d(along_row<true, false>(t, s, s + 16)));
    store_32(d + 32, output_1d(along_row<false, false>(t, s + 32, s + row)));
    store_32(d + 64, output_1d(along_row<true, false>(t, s + row + 16, s + row + 32)));
  }
}

// Down the block in two strips. Each source row is loaded once, and each pair of neighbouring
// rows interleaved once: the pair meets the taps (c2, c3) for one output row and (c0, c1) for
// the row two below it. Bytes 0 ... 31 take a row a register; bytes 32 ... 47 of two rows share
// one.
void vertical_avx2_maddubs(uint8_t* dst, const uint8_t* src, ptrdiff_t row, int phase) {
  const pair_taps t(phase, false);
  const auto output = [&t](const byte_pairs& upper, const byte_pairs& lower) {
    return output_1d({_mm256_maddubs_epi16(upper.lo, t.c01), _mm256_maddubs_epi16(lower.lo, t.c23),
                      _mm256_maddubs_epi16(upper.hi, t.c01),
                      _mm256_maddubs_epi16(lower.hi, t.c23)});
  };
  // Output row r takes the pairs of rows (r - 1, r) and (r + 1, r + 2).
  __m256i last = load_32(src + row);
  byte_pairs p0(load_32(src - row), load_32(src)), p1(load_32(src), last);
#pragma GCC unroll 16
  for (int r = 0; r < block_size; ++r) {
    const __m256i next = load_32(src + (r + 2) * row);
    const byte_pairs p2(last, next);
    store_32(dst + r * block_row_bytes, output(p0, p2));
    p0 = p1;
    p1 = p2;
    last = next;
  }
  // z(j) holds bytes 32 ... 47 of rows j - 1 and j: output rows r and r + 1 take z(r) ... z(r + 3).
  const auto z = [&](int j) {
    return load_halves<false>(src + (j - 1) * row + 32, src + j * row + 32);
  };
  byte_pairs q0(z(0), z(1));
#pragma GCC unroll 8
  for (int r = 0; r < block_size; r += 2) {
    const byte_pairs q2(z(r + 2), z(r + 3));
    const __m256i both = output(q0, q2);
    store_16(dst + r * block_row_bytes + 32, _mm256_castsi256_si128(both));
    store_16(dst + (r + 1) * block_row_bytes + 32, _mm256_extracti128_si256(both, 1));
    q0 = q2;
  }
}

namespace {

// acc + the dot products of the 16-bit pairs of `a` and `b`, 32 bits a lane: a multiply-add and an
// add, or, with `vnni`, one VEX-coded dot product (AVX-VNNI). It is written out, as this source is
// compiled for AVX2 alone: only processors that have AVX-VNNI run the form that takes it.
template <bool vnni>
__m256i dot_add(__m256i acc, __m256i a, __m256i b) {
  if (!vnni) return _mm256_add_epi32(acc, _mm256_madd_epi16(a, b));
  __asm__("%{vex%} vpdpwssd %2, %1, %0" : "+x"(acc) : "x"(a), "x"(b));
  return acc;
}

// The intermediate keeps 16 bits: it lies within -2040 ... 18360. Each row holds three runs of
// 16 values, in the order of the horizontal pass's registers: bytes 0 ... 7 and 16 ... 23, bytes
// 8 ... 15 and 24 ... 31, bytes 32 ... 47.
template <bool vnni>
void two_d(uint8_t* dst, const uint8_t* src, ptrdiff_t row, int hx, int vy) {
  constexpr int rows = block_size + 3;
  alignas(32) int16_t t[rows + 1][block_row_bytes];  // one row to spare for the paired tails

  // Reflected taps make both pair sums non-negative, so one unsigned average forms
  // (sum + 1) >> 1 without overflow, plus half the reflection (an even number). T is stored as
  // T + 32: since the vertical taps sum to 128, that adds the vertical pass's rounding constant
  // 4096 to its sums for free.
  const pair_taps h(hx, true);
  const __m256i unreflect = _mm256_set1_epi16(static_cast<int16_t>(h.reflection / 2 - 32));
  const auto halve = [&](__m256i s01, __m256i s23) {
    return _mm256_sub_epi16(_mm256_avg_epu16(s01, s23), unreflect);
  };
  const auto store = [&t](int j, int run, __m256i v) {
    _mm256_store_si256(reinterpret_cast<__m256i*>(&t[j][16 * run]), v);
  };
#pragma GCC unroll 10
  for (int j = 0; j < rows; j += 2) {
    const uint8_t* s = src + (j - 1) * row;
    for (int k = 0; k < 2 && j + k < rows; ++k) {
      const uint8_t* sk = s + k * row;
      const pair_sums m = along_row<true, true>(h, sk, sk + 16);
      store(j + k, 0, halve(m.lo01, m.lo23));
      store(j + k, 1, halve(m.hi01, m.hi23));
    }
    // The last pair's second row is the spare one: its source row would lie past the footprint.
    const uint8_t* next = j + 1 < rows ? s + row : s;
    const pair_sums tails = along_row<false, true>(h, s + 32, next + 32);
    const __m256i lo = halve(tails.lo01, tails.lo23);
    const __m256i hi = halve(tails.hi01, tails.hi23);
    store(j, 2, _mm256_permute2x128_si256(lo, hi, 0x20));
    store(j + 1, 2, _mm256_permute2x128_si256(lo, hi, 0x31));
  }

  // Vertical pass in 32 bits, down each run: the values of rows j and j + 1 interleaved, lane
  // by lane, meet the tap pair (v2, v3) for output row j - 2 and (v0, v1) for output row j.
  const __m256i v01 = _mm256_set1_epi32(tap_table.wide[vy][0]);
  const __m256i v23 = _mm256_set1_epi32(tap_table.wide[vy][1]);
  const auto load = [&t](int j, int run) {
    return _mm256_load_si256(reinterpret_cast<const __m256i*>(&t[j][16 * run]));
  };
  struct word_pairs {
    __m256i lo, hi;
    word_pairs(__m256i a, __m256i b)
        : lo(_mm256_unpacklo_epi16(a, b)), hi(_mm256_unpackhi_epi16(a, b)) {}
  };
  // Values lie in -72 ... 327: the signed pack to 16 bits loses nothing.
  const auto output = [&](const word_pairs& upper, const word_pairs& lower) {
    const __m256i lo = dot_add<vnni>(_mm256_madd_epi16(upper.lo, v01), lower.lo, v23);
    const __m256i hi = dot_add<vnni>(_mm256_madd_epi16(upper.hi, v01), lower.hi, v23);
    return _mm256_packs_epi32(_mm256_srai_epi32(lo, 13), _mm256_srai_epi32(hi, 13));
  };
  // The first two runs, a row's first 32 bytes: the pack clamps to 0 ... 255 and puts the runs
  // back in byte order.
  word_pairs a0(load(0, 0), load(1, 0)), a1(load(1, 0), load(2, 0));
  word_pairs b0(load(0, 1), load(1, 1)), b1(load(1, 1), load(2, 1));
#pragma GCC unroll 16
  for (int r = 0; r < block_size; ++r) {
    const word_pairs a2(load(r + 2, 0), load(r + 3, 0)), b2(load(r + 2, 1), load(r + 3, 1));
    store_32(dst + r * block_row_bytes, _mm256_packus_epi16(output(a0, a2), output(b0, b2)));
    a0 = a1, a1 = a2, b0 = b1, b1 = b2;
  }
  // The last run, of two rows at once.
  word_pairs c0(load(0, 2), load(1, 2)), c1(load(1, 2), load(2, 2));
#pragma GCC unroll 8
  for (int r = 0; r < block_size; r += 2) {
    const word_pairs c2(load(r + 2, 2), load(r + 3, 2)), c3(load(r + 3, 2), load(r + 4, 2));
    const __m256i both =
        _mm256_permute4x64_epi64(_mm256_packus_epi16(output(c0, c2), output(c1, c3)), 0xD8);
    store_16(dst + r * block_row_bytes + 32, _mm256_castsi256_si128(both));
    store_16(dst + (r + 1) * block_row_bytes + 32, _mm256_extracti128_si256(both, 1));
    c0 = c2, c1 = c3;
  }
}

}  // namespace

void two_d_avx2_madd(uint8_t* dst, const uint8_t* src, ptrdiff_t row, int hx, int vy) {
  two_d<false>(dst, src, row, hx, vy);
}

void two_d_avx2_dpwssd(uint8_t* dst, const uint8_t* src, ptrdiff_t row, int hx, int vy) {
  two_d<true>(dst, src, row, hx, vy);
}

// The dot-product form, measured 6 to 9 per cent faster on Zen 5 and modelled 9 per cent faster on
// Alder Lake, on processors that have AVX-VNNI and run dot products at full rate.
namespace {

constexpr kernel_form avx2_forms[] = {
    {block_path::copy, "whole_stores", copy_avx2_whole_stores},
    {block_path::horizontal, "maddubs", horizontal_avx2_maddubs},
    {block_path::vertical, "maddubs", vertical_avx2_maddubs},
    {block_path::two_d, "dpwssd", two_d_avx2_dpwssd, trait_full_rate_dot_products,
     feature_avx_vnni},
    {block_path::two_d, "madd", two_d_avx2_madd},
};

}  // namespace

extern constexpr filter_level avx2_level = {"avx2", feature_avx2, avx2_forms};
static_assert(well_formed(avx2_level));

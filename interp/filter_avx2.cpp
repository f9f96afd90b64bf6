// The filters on 256-bit vectors, row by row: a block row is 48 contiguous bytes, and the taps
// of every byte lie 3 bytes apart along a row (the same channel of the neighbouring pixel) or a
// row apart across rows. Byte pairs meet their tap pairs in one unsigned-by-signed multiply-add.
// A row's first 32 bytes fill one register; its last 16 share a register with the next row's.
// Gives exactly the bytes of the scalar rendering.
//
// This source alone is compiled for AVX2: it must not define inline functions that other sources
// share (the linker could keep this AVX2 copy for a processor without it), so it uses intrinsics
// and its own helpers only.
#include <immintrin.h>

#include "interpolate.h"
#include "levels.h"
#include "paths.h"

namespace {

// One-dimensional tap sums are computed modulo 2^16. The exact sum lies in -4080 ... 36720 (taps
// of -8 twice, or 105 + 35, on bytes of 255), so adding `lift` = 4096 makes it an unsigned 16-bit
// value that a logical shift divides exactly; lift is a multiple of 128, so the quotient is the
// true one plus lift >> shift.
constexpr int lift = 4096;

// (c0, c1) and (c2, c3) of one phase as signed byte pairs. Reflected, the outer taps (negative
// in every fractional phase) turn positive and apply to 255 - byte instead: every pair sum is
// then non-negative, and the sum grows by 255 (|c0| + |c3|).
struct pair_taps {
  __m256i c01, c23;
  int32_t reflection = 0;  // what reflecting adds to a sum
  pair_taps(int phase, bool reflected) {
    const auto pair = [](int32_t a, int32_t b) {
      return _mm256_set1_epi16(static_cast<int16_t>((static_cast<uint32_t>(b) << 8) |
                                                    (static_cast<uint32_t>(a) & 0xFF)));
    };
    const int32_t* c = filter_taps[phase];
    const int32_t outer = reflected ? -1 : 1;
    c01 = pair(outer * c[0], c[1]);
    c23 = pair(c[2], outer * c[3]);
    if (reflected) reflection = 255 * -(c[0] + c[3]);
  }
};

// 32 bytes made of the 16 at `lo` and the 16 at `hi`; one load when they are contiguous.
template <bool contiguous>
__m256i load_halves(const uint8_t* lo, const uint8_t* hi) {
  if (contiguous) return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(lo));
  return _mm256_inserti128_si256(
      _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(lo))),
      _mm_loadu_si128(reinterpret_cast<const __m128i*>(hi)), 1);
}

// The two pair sums, (c0, c1) and (c2, c3), of 32 output bytes: the 16 from `lo` on and the 16
// from `hi` on, with taps `step` apart. In each 128-bit lane, `first` holds the sums of bytes
// 0 ... 7 and `second` those of bytes 8 ... 15, the order a pack turns back into byte order.
// Each pair sum stays within the signed 16-bit range.
struct pair_sums {
  __m256i first01, first23, second01, second23;
};
template <bool contiguous, bool reflected>
pair_sums tap_pairs(const pair_taps& t, const uint8_t* lo, const uint8_t* hi, ptrdiff_t step) {
  const __m256i flip = _mm256_set1_epi8(static_cast<char>(reflected ? 0xFF : 0));
  const __m256i a = _mm256_xor_si256(load_halves<contiguous>(lo - step, hi - step), flip);
  const __m256i b = load_halves<contiguous>(lo, hi);
  const __m256i c = load_halves<contiguous>(lo + step, hi + step);
  const __m256i d = _mm256_xor_si256(load_halves<contiguous>(lo + 2 * step, hi + 2 * step), flip);
  return {_mm256_maddubs_epi16(_mm256_unpacklo_epi8(a, b), t.c01),
          _mm256_maddubs_epi16(_mm256_unpacklo_epi8(c, d), t.c23),
          _mm256_maddubs_epi16(_mm256_unpackhi_epi8(a, b), t.c01),
          _mm256_maddubs_epi16(_mm256_unpackhi_epi8(c, d), t.c23)};
}

// (sum + round) >> shift for a lifted 16-bit sum, less `unlift`.
template <int shift>
__m256i divide(__m256i sum, __m256i round_and_lift, __m256i unlift) {
  return _mm256_sub_epi16(_mm256_srli_epi16(_mm256_add_epi16(sum, round_and_lift), shift), unlift);
}

void store_16(uint8_t* p, __m128i v) {
  _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
}

void filter_1d(uint8_t* dst, const uint8_t* src, ptrdiff_t row, ptrdiff_t step, int phase) {
  const pair_taps t(phase, false);
  const __m256i round = _mm256_set1_epi16(64 + lift);
  const __m256i unlift = _mm256_set1_epi16(lift >> 7);
  // Full sums modulo 2^16, lifted and divided; the pack clamps to 0 ... 255.
  const auto rounded = [&](const pair_sums& s) {
    return _mm256_packus_epi16(divide<7>(_mm256_add_epi16(s.first01, s.first23), round, unlift),
                               divide<7>(_mm256_add_epi16(s.second01, s.second23), round, unlift));
  };
  for (int r = 0; r < block_size; r += 2) {
    const uint8_t* s = src + r * row;
    uint8_t* d = dst + r * block_row_bytes;
    for (int k = 0; k < 2; ++k) {
      const uint8_t* sk = s + k * row;
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + k * block_row_bytes),
                          rounded(tap_pairs<true, false>(t, sk, sk + 16, step)));
    }
    const __m256i tails = rounded(tap_pairs<false, false>(t, s + 32, s + row + 32, step));
    store_16(d + 32, _mm256_castsi256_si128(tails));
    store_16(d + block_row_bytes + 32, _mm256_extracti128_si256(tails, 1));
  }
}

}  // namespace

void horizontal_avx2(uint8_t* dst, const uint8_t* src, ptrdiff_t row, int phase) {
  filter_1d(dst, src, row, 3, phase);
}

void vertical_avx2(uint8_t* dst, const uint8_t* src, ptrdiff_t row, int phase) {
  filter_1d(dst, src, row, row, phase);
}

// The intermediate keeps 16 bits: it lies within -2040 ... 18360. Each row holds three runs of
// 16 values, in the order of the horizontal pass's registers: bytes 0 ... 7 and 16 ... 23, bytes
// 8 ... 15 and 24 ... 31, bytes 32 ... 47.
void two_d_avx2(uint8_t* dst, const uint8_t* src, ptrdiff_t row, int hx, int vy) {
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
  for (int j = 0; j < rows; j += 2) {
    const uint8_t* s = src + (j - 1) * row;
    for (int k = 0; k < 2 && j + k < rows; ++k) {
      const uint8_t* sk = s + k * row;
      const pair_sums m = tap_pairs<true, true>(h, sk, sk + 16, 3);
      store(j + k, 0, halve(m.first01, m.first23));
      store(j + k, 1, halve(m.second01, m.second23));
    }
    // The last pair's second row is the spare one: its source row would lie past the footprint.
    const uint8_t* next = j + 1 < rows ? s + row : s;
    const pair_sums tails = tap_pairs<false, true>(h, s + 32, next + 32, 3);
    const __m256i first = halve(tails.first01, tails.first23);
    const __m256i second = halve(tails.second01, tails.second23);
    store(j, 2, _mm256_permute2x128_si256(first, second, 0x20));
    store(j + 1, 2, _mm256_permute2x128_si256(first, second, 0x31));
  }

  // Vertical pass in 32 bits: rows r, r + 1 and r + 2, r + 3 interleaved lane by lane meet their
  // tap pairs in one multiply-add each.
  const auto pair = [](int32_t a, int32_t b) {
    return _mm256_set1_epi32(static_cast<int32_t>((static_cast<uint32_t>(b) << 16) |
                                                  (static_cast<uint32_t>(a) & 0xFFFF)));
  };
  const __m256i v01 = pair(filter_taps[vy][0], filter_taps[vy][1]);
  const __m256i v23 = pair(filter_taps[vy][2], filter_taps[vy][3]);
  const auto load = [&t](int j, int run) {
    return _mm256_load_si256(reinterpret_cast<const __m256i*>(&t[j][16 * run]));
  };
  // Values lie in -72 ... 327: the signed pack to 16 bits loses nothing.
  const auto vertical = [&](int r, int run) {
    const __m256i a = load(r, run), b = load(r + 1, run), c = load(r + 2, run),
                  d = load(r + 3, run);
    const __m256i lo = _mm256_add_epi32(_mm256_madd_epi16(_mm256_unpacklo_epi16(a, b), v01),
                                        _mm256_madd_epi16(_mm256_unpacklo_epi16(c, d), v23));
    const __m256i hi = _mm256_add_epi32(_mm256_madd_epi16(_mm256_unpackhi_epi16(a, b), v01),
                                        _mm256_madd_epi16(_mm256_unpackhi_epi16(c, d), v23));
    return _mm256_packs_epi32(_mm256_srai_epi32(lo, 13), _mm256_srai_epi32(hi, 13));
  };
  for (int r = 0; r < block_size; r += 2) {
    uint8_t* d = dst + r * block_row_bytes;
    for (int k = 0; k < 2; ++k) {
      // The pack clamps to 0 ... 255 and puts the first two runs back in byte order.
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + k * block_row_bytes),
                          _mm256_packus_epi16(vertical(r + k, 0), vertical(r + k, 1)));
    }
    const __m256i tails =
        _mm256_permute4x64_epi64(_mm256_packus_epi16(vertical(r, 2), vertical(r + 1, 2)), 0xD8);
    store_16(d + 32, _mm256_castsi256_si128(tails));
    store_16(d + block_row_bytes + 32, _mm256_extracti128_si256(tails, 1));
  }
}

extern constexpr filter_level avx2_level = {
    "avx2",
    feature_avx2,
    {
        {"", 0, {nullptr, horizontal_avx2, nullptr, nullptr}},
        {"", 0, {nullptr, nullptr, vertical_avx2, nullptr}},
        {"", 0, {nullptr, nullptr, nullptr, two_d_avx2}},
    },
};

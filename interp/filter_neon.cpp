// The filters on 128-bit Advanced SIMD vectors (every 64-bit Arm processor has them), row by
// row. Along a row, the taps of a byte lie 3 bytes apart (the same channel of the neighbouring
// pixel): loads of the row shifted by -3, 0, +3 and +6 bytes put each output's four taps in one
// lane of four registers. Across rows the taps are whole rows apart. Gives exactly the bytes of
// the scalar rendering.
//
// The taps of every fractional phase have the signs -, +, +, -: widening multiplies form the
// positive and the negative part of each sum apart, as unsigned 16-bit values that cannot
// overflow (at most 144 * 255 and 16 * 255).
#include <arm_neon.h>

#include "interpolate.h"
#include "levels.h"
#include "paths.h"

namespace {

// The magnitudes of one phase's taps.
struct tap_magnitudes {
  uint8x16_t a, b, c, d;  // |c0|, c1, c2, |c3|
  explicit tap_magnitudes(int phase)
      : a(vdupq_n_u8(static_cast<uint8_t>(-filter_taps[phase][0]))),
        b(vdupq_n_u8(static_cast<uint8_t>(filter_taps[phase][1]))),
        c(vdupq_n_u8(static_cast<uint8_t>(filter_taps[phase][2]))),
        d(vdupq_n_u8(static_cast<uint8_t>(-filter_taps[phase][3]))) {}
};

// The positive and negative parts of 8 sums: the low or high halves of the tap bytes.
struct sum_parts {
  uint16x8_t positive, negative;
};
// The widening multiplies of the low halves, written out. For rows held in registers across
// steps, as the vertical filter holds them, GCC 12 copies the low half of each row register to
// a register of its own before vmull_u8(vget_low_u8(x), ...), an instruction for every row and
// tap; for rows loaded just before, it loads the halves directly, and the intrinsics schedule
// better.
uint16x8_t mul_low(uint8x16_t x, uint8x16_t y) {
  uint16x8_t r;
  asm("umull %0.8h, %1.8b, %2.8b" : "=w"(r) : "w"(x), "w"(y));
  return r;
}
uint16x8_t mla_low(uint16x8_t acc, uint8x16_t x, uint8x16_t y) {
  asm("umlal %0.8h, %1.8b, %2.8b" : "+w"(acc) : "w"(x), "w"(y));
  return acc;
}

// The same for the second pass of the two-dimensional filter, by one lane of the taps.
template <int lane>
int32x4_t mul_low_lane(int16x8_t x, int16x4_t taps) {
  int32x4_t r;
  asm("smull %0.4s, %1.4h, %2.h[%c3]" : "=w"(r) : "w"(x), "x"(taps), "i"(lane));
  return r;
}
template <int lane>
int32x4_t mla_low_lane(int32x4_t acc, int16x8_t x, int16x4_t taps) {
  asm("smlal %0.4s, %1.4h, %2.h[%c3]" : "+w"(acc) : "w"(x), "x"(taps), "i"(lane));
  return acc;
}

template <bool held>
sum_parts parts_low(uint8x16_t a, uint8x16_t b, uint8x16_t c, uint8x16_t d,
                    const tap_magnitudes& t) {
  if (held) return {mla_low(mul_low(b, t.b), c, t.c), mla_low(mul_low(a, t.a), d, t.d)};
  return {vmlal_u8(vmull_u8(vget_low_u8(b), vget_low_u8(t.b)), vget_low_u8(c), vget_low_u8(t.c)),
          vmlal_u8(vmull_u8(vget_low_u8(a), vget_low_u8(t.a)), vget_low_u8(d), vget_low_u8(t.d))};
}
sum_parts parts_high(uint8x16_t a, uint8x16_t b, uint8x16_t c, uint8x16_t d,
                     const tap_magnitudes& t) {
  return {vmlal_high_u8(vmull_high_u8(b, t.b), c, t.c),
          vmlal_high_u8(vmull_high_u8(a, t.a), d, t.d)};
}

// 16 outputs of a one-dimensional filter from the bytes under each tap: a saturating
// difference maps every negative sum to 0, and a rounding narrowing shift gives
// (sum + 64) >> 7 clamped to 255.
template <bool held>
uint8x16_t filter_16(uint8x16_t a, uint8x16_t b, uint8x16_t c, uint8x16_t d,
                     const tap_magnitudes& t) {
  const sum_parts lo = parts_low<held>(a, b, c, d, t), hi = parts_high(a, b, c, d, t);
  return vqrshrn_high_n_u16(vqrshrn_n_u16(vqsubq_u16(lo.positive, lo.negative), 7),
                            vqsubq_u16(hi.positive, hi.negative), 7);
}

// The bytes under each tap of a block row's 48 outputs: the row at -3, 0, +3 and +6 bytes, as
// single-register loads that leave the registers free to be allocated.
struct tap_bytes {
  uint8x16_t a[3], b[3], c[3], d[3];
  explicit tap_bytes(const uint8_t* s) {
    for (int k = 0; k < 3; ++k) {
      a[k] = vld1q_u8(s + 16 * k - 3);
      b[k] = vld1q_u8(s + 16 * k);
      c[k] = vld1q_u8(s + 16 * k + 3);
      d[k] = vld1q_u8(s + 16 * k + 6);
    }
  }
};

// Rows as three separate 16-byte vectors: loads and stores of single registers leave the
// registers free to be allocated, where multi-register ones would need them in sequence.
struct row_bytes {
  uint8x16_t part[3];
};

}  // namespace

void horizontal_neon_umlal(uint8_t* dst, const uint8_t* src, ptrdiff_t row, int phase) {
  const tap_magnitudes t(phase);
  for (int r = 0; r < block_size; ++r) {
    const tap_bytes taps(src + r * row);
    for (int k = 0; k < 3; ++k) {
      vst1q_u8(dst + r * block_row_bytes + 16 * k,
               filter_16<false>(taps.a[k], taps.b[k], taps.c[k], taps.d[k], t));
    }
  }
}

void vertical_neon_umlal(uint8_t* dst, const uint8_t* src, ptrdiff_t row, int phase) {
  const tap_magnitudes t(phase);
  const auto load = [&](int j) {
    const uint8_t* s = src + j * row;
    return row_bytes{{vld1q_u8(s), vld1q_u8(s + 16), vld1q_u8(s + 32)}};
  };
  // Row r + 2 replaces row r - 1: four steps name the four rows in turn, so the window slides
  // without copies.
  const auto step = [&](int r, const row_bytes& a, const row_bytes& b, const row_bytes& c,
                        row_bytes& d) {
    d = load(r + 2);
    for (int k = 0; k < 3; ++k) {
      vst1q_u8(dst + r * block_row_bytes + 16 * k,
               filter_16<true>(a.part[k], b.part[k], c.part[k], d.part[k], t));
    }
  };
  row_bytes w = load(-1), x = load(0), y = load(1), z;
  for (int r = 0; r < block_size; r += 4) {
    step(r, w, x, y, z);
    step(r + 1, x, y, z, w);
    step(r + 2, y, z, w, x);
    step(r + 3, z, w, x, y);
  }
}

// First pass: a halving subtract forms floor((negative - positive) / 2) exactly, which is -T
// for T = (sum + 1) >> 1. The second pass runs down the rows, 16 columns of a block row at a
// time, and applies the vertical taps negated, widening to 32 bits. A rounding narrowing shift
// that saturates to unsigned 16 bits gives (sum + 4096) >> 13 clamped below at 0, a saturating
// narrowing clamps above at 255. The first pass makes each row of the 16 columns just before
// the second needs it, so that the intermediate never leaves the registers.
void two_d_neon_umlal(uint8_t* dst, const uint8_t* src, ptrdiff_t row, int hx, int vy) {
  const tap_magnitudes h(hx);
  int16_t v[4];
  for (int k = 0; k < 4; ++k) v[k] = static_cast<int16_t>(-filter_taps[vy][k]);
  const int16x4_t taps = vld1_s16(v);
  for (int col = 0; col < int{block_row_bytes}; col += 16) {
    // -T of intermediate row j (source row j - 1), columns col ... col + 15.
    const auto first_pass = [&](int j) {
      const uint8_t* s = src + (j - 1) * row + col;
      const uint8x16_t a = vld1q_u8(s - 3), b = vld1q_u8(s), c = vld1q_u8(s + 3),
                       d = vld1q_u8(s + 6);
      const sum_parts lo = parts_low<false>(a, b, c, d, h), hi = parts_high(a, b, c, d, h);
      return int16x8x2_t{{vreinterpretq_s16_u16(vhsubq_u16(lo.negative, lo.positive)),
                          vreinterpretq_s16_u16(vhsubq_u16(hi.negative, hi.positive))}};
    };
    // As in the vertical filter, four steps name the four rows of the window in turn.
    const auto step = [&](int r, const int16x8x2_t& a, const int16x8x2_t& b, const int16x8x2_t& c,
                          int16x8x2_t& d) {
      d = first_pass(r + 3);
      uint16x8_t narrowed[2];
      for (int half = 0; half < 2; ++half) {
        int32x4_t lo = mul_low_lane<0>(a.val[half], taps);
        int32x4_t hi = vmull_high_lane_s16(a.val[half], taps, 0);
        lo = mla_low_lane<1>(lo, b.val[half], taps);
        hi = vmlal_high_lane_s16(hi, b.val[half], taps, 1);
        lo = mla_low_lane<2>(lo, c.val[half], taps);
        hi = vmlal_high_lane_s16(hi, c.val[half], taps, 2);
        lo = mla_low_lane<3>(lo, d.val[half], taps);
        hi = vmlal_high_lane_s16(hi, d.val[half], taps, 3);
        narrowed[half] = vqrshrun_high_n_s32(vqrshrun_n_s32(lo, 13), hi, 13);
      }
      vst1q_u8(dst + r * block_row_bytes + col,
               vqmovn_high_u16(vqmovn_u16(narrowed[0]), narrowed[1]));
    };
    int16x8x2_t w = first_pass(0), x = first_pass(1), y = first_pass(2), z;
    for (int r = 0; r < block_size; r += 4) {
      step(r, w, x, y, z);
      step(r + 1, x, y, z, w);
      step(r + 2, y, z, w, x);
      step(r + 3, z, w, x, y);
    }
  }
}

namespace {

constexpr kernel_form neon_forms[] = {
    {block_path::horizontal, "umlal", horizontal_neon_umlal},
    {block_path::vertical, "umlal", vertical_neon_umlal},
    {block_path::two_d, "umlal", two_d_neon_umlal},
};

}  // namespace

extern constexpr filter_level neon_level = {"neon", feature_neon, neon_forms};
static_assert(well_formed(neon_level));

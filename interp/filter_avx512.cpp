// The filters on 512-bit vectors. A row is read within exactly the bytes its filter uses, by a
// masked load of its footprint or by plain loads of parts of it, so nothing beyond the footprint
// is touched; byte permutes gather each output's taps (3 bytes apart along a row) from the rows
// read, and multiply-adds or dot products of unsigned bytes by signed taps form the sums. The
// horizontal filter stores groups of four block rows (192 bytes) in three 64-byte stores, the
// two-dimensional filter pairs of rows (96 bytes) in three 32-byte ones. Gives exactly the bytes
// of the scalar rendering.
//
// Every loop here runs a fixed number of times and is unrolled, whatever the optimisation
// level: its arrays of vectors must live in registers, and its choices of table resolve at
// compile time. Left to -O2, they lived in memory and the kernels ran 2 to 3 times slower.
//
// This source alone is compiled for AVX-512 (F, BW, VL, VBMI, VBMI2, VNNI): it defines no inline
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
// A row's 48 output bytes are three chunks of 16. Where a chunk's taps are read apart from the
// rest of the row, they are the 32 bytes from chunk_start, which lie within the row's footprint
// (-3 ... 53): the last chunk's start is moved back 7 bytes, so that its load ends where the
// footprint does.
constexpr int chunks = 3;
constexpr int chunk_start[chunks] = {-3, 13, 22};

// Byte `at` (0 ... 56) of a row's footprint, in the 32 bytes read for chunk c, in the low half
// of a register (second = 0) or the high half.
constexpr uint8_t in_window(int c, int second, int at) {
  return static_cast<uint8_t>(32 * second + at - chunk_start[c] - 3);
}

struct byte_table {
  alignas(64) uint8_t at[64];
};
struct tables {
  // Horizontal filter: six registers of 32 outputs per group of four rows, each two chunks of
  // the group's twelve (chunk t is row t / 3, chunk t % 3); for each (i and i + 3 alike), the
  // byte pairs of taps (c0, c1) and (c2, c3) from its row's footprint, or, for the last chunk of
  // one row and the first of the next (i = 1), from the last 32 bytes of the one's and the first
  // 32 of the other's in one register.
  byte_table pairs[3][2];
  // Or in byte order: registers 2g and 2g + 1 hold the outputs whose pack is store g's 64 bytes
  // in order (the first eight bytes of each 128-bit lane, and the last eight), their byte pairs
  // from rows g and g + 1 of the group (the second at +64).
  byte_table in_order_pairs[6][2];
  // Two-dimensional filter, first pass, strip s, from rows j and j + 1. For dot products, from
  // one register of the strip's 32 bytes of each row (the first in the low half): each 32-bit
  // lane a column's four taps in one row, the rows alternating, in the order whose pack puts
  // column c of both rows in 32-bit lane c. For byte pairs, from two registers of the rows'
  // footprints (the second at +64): each 16-bit lane a column's taps (c0, c1) or (c2, c3) in
  // one row, the rows alternating.
  byte_table strip_windows[chunks][2];
  byte_table strip_pairs[chunks][2];
  // The high bytes of the 16-bit halves of two registers of 32-bit sums, packed: the results
  // of their 16 columns each, in order.
  byte_table high_bytes;
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
    for (int w = 0; w < 32; ++w) {
      const int at = 16 * ((2 * i + w / 16) % chunks) + w % 16;
      if (i < 3) set_pairs(t.pairs[i], w, at + (i == 1 ? (w < 16 ? -32 : 32) : 0));
      // Output byte o of the group lies in row o / 48.
      const int o = 64 * (i / 2) + 16 * (w / 8) + 8 * (i % 2) + w % 8;
      set_pairs(t.in_order_pairs[i], w, (o / 48 == i / 2 ? 0 : 64) + o % 48);
    }
  }
  for (int s = 0; s < chunks; ++s) {
    // A pack of X and Y puts, in 128-bit lane l, X's lanes 4l ... 4l + 3, then Y's.
    for (int lane = 0; lane < 16; ++lane) {
      const int l = lane / 4, q = lane % 4;
      for (int half = 0; half < 2; ++half) {
        const int column = 16 * s + 4 * l + 2 * half + q / 2;
        for (int k = 0; k < 4; ++k) {
          t.strip_windows[s][half].at[4 * lane + k] = in_window(s, q % 2, column + 3 * k);
        }
      }
    }
    for (int w = 0; w < 32; ++w) set_pairs(t.strip_pairs[s], w, 64 * (w % 2) + 16 * s + w / 2);
  }
  // A pack of two registers of 32-bit lanes puts lane d's halves of the first at bytes
  // 16 (d / 4) + 2 (d % 4) and + 1, those of the second 8 bytes on.
  for (int b = 0; b < 32; ++b) {
    const int d = b % 16;
    t.high_bytes.at[b] = static_cast<uint8_t>(16 * (d / 4) + 8 * (b / 16) + 2 * (d % 4) + 1);
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

// Row by row, each row a masked load and a masked store of its 48 bytes: for cores that store a
// masked part as fast as a whole register (AMD's). Intel's store it at half the rate and load it
// with an operation more; there the AVX2 level's copy, of whole 32-byte loads and stores, was
// measured faster on Sapphire Rapids (7.2 against 11.9 ns per block for three whole 64-byte
// stores, each filled by two masked loads) and is modelled as fast on Ice Lake, so this level
// leaves them the copy.
void copy_avx512_masked_stores(uint8_t* dst, const uint8_t* src, ptrdiff_t row) {
#pragma GCC unroll 16
  for (int r = 0; r < block_size; ++r) {
    _mm512_mask_storeu_epi8(dst + r * block_row_bytes, row_mask,
                            _mm512_maskz_loadu_epi8(row_mask, src + r * row));
  }
}

namespace {

// Each row's footprint is read once, by a masked load. Gathers in byte order read two rows for
// every register, and need no permute after the pack. Gathers of one chunk's row (four
// registers of six; the other two read one register made of the end of one row and the start
// of the next) need a permute to byte order. A two-source permute costs twice a one-source one
// on some cores, Sapphire Rapids among them, and the same on others.
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
    const auto gather = [&](int i, int half) {
      if (in_order) {
        return _mm512_permutex2var_epi8(rows[i / 2], load(table.in_order_pairs[i][half]),
                                        rows[i / 2 + 1]);
      }
      // Chunks 2i and 2i + 1 lie in one row, but for i = 1 and 4: 128-bit lanes 2 and 3 of the
      // one row, then 0 and 1 of the next.
      const __m512i a = rows[2 * i / 3];
      const __m512i both = i % 3 == 1 ? _mm512_shuffle_i64x2(a, rows[(2 * i + 1) / 3], 0x4E) : a;
      return _mm512_permutexvar_epi8(load(table.pairs[i % 3][half]), both);
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

// Down the block in three strips of 16 columns (output bytes), two output rows at a time. The
// first-pass values of rows j and j + 1 side by side in each 32-bit lane, lane c for column c,
// are the pairs (v0, v1) of output row j + 1 and (v2, v3) of output row j - 1; those of rows
// j + 1 and j + 2 come from the registers of j and j + 2 by a funnel shift.
//
// With `dots`, for cores that run dot products at full rate (Intel's, Zen 5): a strip's two
// rows are read into one register, each the strip's 32 bytes from chunk_start (plain loads,
// inside the footprint), and one-source permutes gather from it; in the first pass, dot
// products of each column's four bytes and taps, started at 1 + 2 * 2040 so that the sum is
// never negative and, halved, lies in 0 ... 20400: an unsigned pack to 16 bits loses nothing,
// and a shift halves it to T + 2040. Without (Zen 4, whose dot products run at half rate and
// whose two-source permutes at full rate): each row's footprint is read once, by a masked load,
// and two-source permutes gather from two rows; reflected outer taps make both byte-pair sums
// non-negative, so an unsigned average forms (sum + 1) >> 1, plus half the reflection, of which
// all but 32 is taken away.
//
// Second pass: vertical taps scaled by 8 make each 32-bit lane 8 * (sum + 4096), whose high 16
// bits are the result before clamping, (sum + 4096) >> 13; the unsigned byte pack of those
// halves clamps it, and one permute picks them. The vertical taps sum to 128, so T + 32 brings
// the 4096 with it; with `dots`, dot products start at 8 * 4096 less what 2040 brought.
template <bool dots>
void two_d(uint8_t* dst, const uint8_t* src, ptrdiff_t row, int hx, int vy) {
  constexpr int lift = 2040;  // first-pass values are T + lift with dots, else T + 32
  const int32_t* h = filter_taps[hx];
  const __m512i h_taps = _mm512_set1_epi32(static_cast<int32_t>(
      (static_cast<uint32_t>(h[0]) & 0xFF) | (static_cast<uint32_t>(h[1]) & 0xFF) << 8 |
      (static_cast<uint32_t>(h[2]) & 0xFF) << 16 | static_cast<uint32_t>(h[3]) << 24));
  const __m512i h_start = _mm512_set1_epi32(1 + 2 * lift);
  const byte_pair_taps h_pairs(hx, true);
  const int32_t reflection_half = 255 * -(h[0] + h[3]) / 2;
  const __m512i unreflect = _mm512_set1_epi16(static_cast<int16_t>(reflection_half - 32));
  const __m512i flip_a = _mm512_set1_epi16(0x00FF);
  const __m512i flip_d = _mm512_set1_epi16(static_cast<int16_t>(0xFF00));

  // Rows j and j + 1 as a pass's gathers read them: without `dots`, each row's footprint, read
  // once for every strip; with, nothing yet, as each strip reads its own. Where `last`, row
  // j + 1 lies past the footprint, and the values of its half are never used.
  struct row_pair {
    __m512i upper, lower;
  };
  const auto rows_of = [&](int j, bool last) {
    row_pair rows{};
    if (!dots) {
      const auto footprint = [&](int k) {
        return _mm512_maskz_loadu_epi8(footprint_mask, src + k * row - 3);
      };
      rows.upper = footprint(j);
      rows.lower = last ? rows.upper : footprint(j + 1);
    }
    return rows;
  };
  // The first-pass values of rows j and j + 1 in strip s.
  const auto first_pass = [&](const row_pair& rows, int j, int s, bool last) {
    __m512i both{};
    if (dots) {
      const uint8_t* p = src + j * row + chunk_start[s];
      const __m256i upper = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
      both = last ? _mm512_zextsi256_si512(upper)
                  : _mm512_inserti64x4(
                        _mm512_castsi256_si512(upper),
                        _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + row)), 1);
    }
    if (dots) {
      const auto dot = [&](int half) {
        const __m512i index = load(table.strip_windows[s][half]);
        return _mm512_dpbusd_epi32(h_start, _mm512_permutexvar_epi8(index, both), h_taps);
      };
      return _mm512_srli_epi16(_mm512_packus_epi32(dot(0), dot(1)), 1);
    }
    const auto sum = [&](int half, __m512i flip, __m512i taps) {
      const __m512i index = load(table.strip_pairs[s][half]);
      const __m512i pairs = _mm512_permutex2var_epi8(rows.upper, index, rows.lower);
      return _mm512_maddubs_epi16(_mm512_xor_si512(pairs, flip), taps);
    };
    return _mm512_sub_epi16(
        _mm512_avg_epu16(sum(0, flip_a, h_pairs.c01), sum(1, flip_d, h_pairs.c23)), unreflect);
  };

  const auto pair = [](int32_t a, int32_t b) {
    return _mm512_set1_epi32(static_cast<int32_t>((static_cast<uint32_t>(8 * b) << 16) |
                                                  (static_cast<uint32_t>(8 * a) & 0xFFFF)));
  };
  const int32_t* v = filter_taps[vy];
  const __m512i v01 = pair(v[0], v[1]), v23 = pair(v[2], v[3]);
  const __m512i v_start = _mm512_set1_epi32(8 * 4096 - 8 * 128 * lift);
  // 8 * (sum + 4096) of one output row from its pairs of rows (r - 1, r) and (r + 1, r + 2).
  const auto second_pass = [&](__m512i upper, __m512i lower) {
    if (dots) return _mm512_dpwssd_epi32(_mm512_dpwssd_epi32(v_start, upper, v01), lower, v23);
    return _mm512_add_epi32(_mm512_madd_epi16(upper, v01), _mm512_madd_epi16(lower, v23));
  };

  // For output rows r and r + 1 of each strip: the pairs of rows (r - 1, r), (r, r + 1) and
  // (r + 1, r + 2).
  __m512i above[chunks], middle[chunks], below[chunks];
  const row_pair first_rows = rows_of(-1, false), second_rows = rows_of(1, false);
#pragma GCC unroll 16
  for (int s = 0; s < chunks; ++s) {
    above[s] = first_pass(first_rows, -1, s, false);
    below[s] = first_pass(second_rows, 1, s, false);
    middle[s] = _mm512_shrdi_epi32(above[s], below[s], 16);
  }
#pragma GCC unroll 16
  for (int r = 0; r < block_size; r += 2) {
    // Rows r and r + 1, strip by strip: sums[s] and sums[chunks + s].
    __m512i sums[2 * chunks];
    const bool last = r + 3 == block_size + 1;
    const row_pair rows = rows_of(r + 3, last);
#pragma GCC unroll 16
    for (int s = 0; s < chunks; ++s) {
      const __m512i next = first_pass(rows, r + 3, s, last);           // rows r + 3, r + 4
      const __m512i between = _mm512_shrdi_epi32(below[s], next, 16);  // rows r + 2, r + 3
      sums[s] = second_pass(above[s], below[s]);
      sums[chunks + s] = second_pass(middle[s], between);
      above[s] = below[s];
      middle[s] = between;
      below[s] = next;
    }
    // The two rows are 96 contiguous bytes of the block, each register's 16 columns a third
    // of a row: three 32-byte stores.
    uint8_t* d = dst + r * block_row_bytes;
#pragma GCC unroll 16
    for (int k = 0; k < 3; ++k) {
      const __m512i bytes = _mm512_permutexvar_epi8(
          load(table.high_bytes), _mm512_packus_epi16(sums[2 * k], sums[2 * k + 1]));
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + 32 * k), _mm512_castsi512_si256(bytes));
    }
  }
}

}  // namespace

void two_d_avx512_dpbusd(uint8_t* dst, const uint8_t* src, ptrdiff_t row, int hx, int vy) {
  two_d<true>(dst, src, row, hx, vy);
}

void two_d_avx512_madd(uint8_t* dst, const uint8_t* src, ptrdiff_t row, int hx, int vy) {
  two_d<false>(dst, src, row, hx, vy);
}

// The cores differ in what they run at half rate, as llvm-mca's models of them and measurements
// on Zen 5 and Sapphire Rapids chose: Intel's store whole registers at twice the rate of masked
// parts and run two-source permutes as two operations; Zen 4 runs dot products at half rate. A
// path without a form for the processor's traits (the copy on Intel's) comes from the AVX2
// level.
namespace {

constexpr kernel_form avx512_forms[] = {
    {block_path::copy, "masked_stores", copy_avx512_masked_stores, trait_fast_masked_stores},
    {block_path::horizontal, "permt2b", horizontal_avx512_permt2b, trait_fast_two_source_permutes},
    {block_path::horizontal, "permb", horizontal_avx512_permb},
    {block_path::vertical, "maddubs", vertical_avx512_maddubs},
    {block_path::two_d, "dpbusd", two_d_avx512_dpbusd, trait_full_rate_dot_products},
    {block_path::two_d, "madd", two_d_avx512_madd},
};

}  // namespace

extern constexpr filter_level avx512_level = {"avx512", feature_avx512, avx512_forms};
static_assert(well_formed(avx512_level));

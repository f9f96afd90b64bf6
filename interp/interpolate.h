// Quarter-pixel interpolation of a 16 x 16 block of a 24-bit picture.
//
// The source is a pixel plane: 3 bytes per pixel (channels filtered independently), rows of
// `stride` pixels back to back. The block's origin lies 16 pixels into the plane: for a vector
// (mvx, mvy) in quarter pixels, its top-left source pixel is (x + 16 + (mvx >> 2), y + 16 +
// (mvy >> 2)) and its phases are mvx & 3, mvy & 3. A whole-pixel vector copies the 16 x 16
// pixels there. A fractional one first clamps that whole-pixel position into -15 ... stride - 2
// horizontally and -15 ... height - 2 vertically, then filters with the 4-tap row of
// filter_taps for each fractional axis (taps at -1, 0, +1, +2 pixels). One fractional axis
// rounds once, at 1/128; two round after each pass, at 1/2 and then at 1/8192.
//
// The caller guarantees that the plane holds every pixel the block reads: columns sx - 1 ...
// sx + 17 and rows sy - 1 ... sy + 17 around the (clamped) origin (sx, sy) for a fractional
// vector, columns and rows sx ... sx + 15, sy ... sy + 15 for a whole one. Columns beyond the
// row's end address the following row; nothing beyond that footprint is read.
//
// Results are exact integer arithmetic: every implementation (scalar or vector) gives the same
// bytes.
//
// Valid C99 and C++17; the functions and the table have C linkage.
#ifndef BLOCKWALK_INTERPOLATE_H
#define BLOCKWALK_INTERPOLATE_H

#include "blockwalk_api.h"

#ifdef __cplusplus
#include <cstddef>
#include <cstdint>

inline constexpr int32_t block_size = 16;    // pixels per block side
inline constexpr int32_t block_margin = 16;  // the origin's offset into the plane, both axes
inline constexpr size_t block_row_bytes = block_size * 3;
inline constexpr size_t block_bytes = block_size * block_row_bytes;

extern "C" {
#else
#include <stddef.h>
#include <stdint.h>

// The same constants for C, where only enumerators are constant expressions (of type int).
enum { block_size = 16, block_margin = 16, block_row_bytes = 48, block_bytes = 768 };
#endif

// Four phases (0, 1/4, 1/2, 3/4 pixel) of four taps; every row sums to 128.
BLOCKWALK_API extern const int32_t filter_taps[4][4];

// Fills `dst` (block_bytes, rows of 48 bytes) with the block of `src` at (x, y) + (mvx, mvy) / 4.
BLOCKWALK_API void interpolate_block(int32_t stride, uint8_t* dst, const uint8_t* src,
                                     int32_t height, int32_t x, int32_t y, int32_t mvx,
                                     int32_t mvy);

// The bytes of its plane a call of interpolate_block with these arguments reads, as offsets from
// the plane's start: every byte it reads lies between *first and *last (rows of 3 * stride bytes
// run on into each other), so a plane of more than *last bytes serves it. Returns 1; or 0, the
// offsets untouched, where a byte would lie before the plane's start or beyond 64 bits, or the
// stride is below 1. For a plane the library did not lay out itself: a simulator's memory, a
// file's bytes.
BLOCKWALK_API int blockwalk_footprint(int32_t stride, int32_t height, int32_t x, int32_t y,
                                      int32_t mvx, int32_t mvy, uint64_t* first, uint64_t* last);

#ifdef __cplusplus
}
#endif

#endif

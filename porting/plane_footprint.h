// Whether a plane holds every byte interpolate_block reads for a call: its footprint after the
// clamp, a column past the row's end running on into the next row. For what hands the library
// a plane it did not make itself, from a file or a simulator: the DPI package's C side, the
// OpenCL host example. Valid C99 and C++17.
#ifndef BLOCKWALK_PLANE_FOOTPRINT_H
#define BLOCKWALK_PLANE_FOOTPRINT_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// A fractional vector's whole-pixel position: the low bound first, then the high one, which
// wins where they cross.
static inline int64_t blockwalk_clamped_position(int64_t p, int64_t high) {
  if (p < -15) p = -15;
  if (p > high) p = high;
  return p;
}

// Whether a plane of `bytes` bytes (rows of `stride` 3-byte pixels, back to back) holds the
// footprint of interpolate_block(stride, block, plane, height, x, y, mvx, mvy); 0 for a stride
// below 1.
static inline int blockwalk_footprint_fits(int32_t stride, int32_t height, int32_t x, int32_t y,
                                           int32_t mvx, int32_t mvy, uint64_t bytes) {
  const int h = (mvx & 3) != 0, v = (mvy & 3) != 0;
  // In 64 bits: positions and the pixel numbers below cannot overflow there.
  int64_t px = (int64_t)x + (mvx >> 2), py = (int64_t)y + (mvy >> 2);
  if (stride < 1) return 0;
  if (h || v) {
    px = blockwalk_clamped_position(px, (int64_t)stride - 2);
    py = blockwalk_clamped_position(py, (int64_t)height - 2);
  }
  // The origin lies 16 pixels in. Rows lie back to back: the first and the last pixel read
  // bound the footprint; a one-dimensional filter reads beyond the block along its axis only.
  const int64_t first = (py + 16 - v) * stride + px + 16 - h;
  const int64_t last = (py + 31 + 2 * v) * stride + px + 31 + 2 * h;
  return first >= 0 && (uint64_t)last < bytes / 3;
}

#ifdef __cplusplus
}
#endif

#endif

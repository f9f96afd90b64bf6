// Source planes for the interpolation tests.
#pragma once

#include <cstdint>
#include <random>
#include <vector>

#include "interpolate.h"

// A plane whose last byte is the last byte the bottom-right clamped block reads (pixel
// (stride + 31, height + 31)): under the address sanitizer any read beyond a block's footprint
// there fails.
struct test_plane {
  int32_t stride, height;
  std::vector<uint8_t> bytes;

  test_plane(int32_t stride_, int32_t height_)
      : stride(stride_),
        height(height_),
        bytes(3 * ((static_cast<size_t>(height_) + 32) * static_cast<size_t>(stride_) + 32)) {}

  ptrdiff_t row() const { return ptrdiff_t{stride} * 3; }
  size_t index(int32_t c, int32_t r) const { return 3 * (static_cast<size_t>(r) * stride + c); }
  // The top-left source pixel (sx, sy) of the block at whole-pixel position (x, y).
  const uint8_t* origin(int32_t x, int32_t y) const {
    return bytes.data() + index(x + block_margin, y + block_margin);
  }
  // Sets every byte of every pixel from value(column, row, channel).
  template <typename F>
  void paint(F value) {
    for (size_t i = 0; i < bytes.size(); ++i) {
      const size_t pixel = i / 3;
      bytes[i] = static_cast<uint8_t>(value(static_cast<int32_t>(pixel % stride),
                                            static_cast<int32_t>(pixel / stride),
                                            static_cast<int>(i % 3)));
    }
  }
  void randomise(uint32_t seed) {
    std::mt19937 engine(seed);
    for (uint8_t& b : bytes) b = static_cast<uint8_t>(engine() >> 24);
  }
};

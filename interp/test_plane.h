// Source planes for the interpolation tests.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <functional>
#include <new>
#include <random>

#include "interpolate.h"

// Bytes between two inaccessible pages, placed against one of them: a read or write beyond that
// end faults at once, in any build.
class guarded_bytes {
 public:
  enum side { end_guarded, start_guarded };

  guarded_bytes(size_t size, side placed) : size_(size) {
    const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    const size_t inner = (size + page - 1) / page * page;
    mapped_ = inner + 2 * page;
    void* base = mmap(nullptr, mapped_, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (base == MAP_FAILED) throw std::bad_alloc();
    base_ = static_cast<uint8_t*>(base);
    mprotect(base_ + page, inner, PROT_READ | PROT_WRITE);
    data_ = base_ + page + (placed == end_guarded ? inner - size : 0);
  }
  guarded_bytes(const guarded_bytes&) = delete;
  guarded_bytes& operator=(const guarded_bytes&) = delete;
  ~guarded_bytes() { munmap(base_, mapped_); }

  uint8_t* data() { return data_; }
  const uint8_t* data() const { return data_; }
  size_t size() const { return size_; }
  uint8_t* begin() { return data_; }
  uint8_t* end() { return data_ + size_; }
  uint8_t& operator[](size_t i) { return data_[i]; }
  const uint8_t& operator[](size_t i) const { return data_[i]; }

 private:
  size_t size_, mapped_;
  uint8_t* base_;
  uint8_t* data_;
};

// A plane whose last byte is the last byte the bottom-right clamped block reads (pixel
// (stride + 31, height + 31)), against a guard page; or whose first byte, the first the top-left
// clamped block reads, follows one.
struct test_plane {
  int32_t stride, height;
  guarded_bytes bytes;

  test_plane(int32_t stride_, int32_t height_,
             guarded_bytes::side guarded = guarded_bytes::end_guarded)
      : stride(stride_),
        height(height_),
        bytes(3 * ((static_cast<size_t>(height_) + 32) * static_cast<size_t>(stride_) + 32),
              guarded) {}

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

// 1 where a run of four starting at k = 0 (mod 4) has its positive taps: 0 1 1 0.
inline int signs(int32_t k) {
  return (k % 4 == 1 || k % 4 == 2) ? 1 : 0;
}

// Sources that drive the filters to their extremes: the taps' overshoot and undershoot push
// both clamps, and the intermediate to its widest range.
inline const std::pair<const char*, std::function<int(int32_t, int32_t, int)>> extreme_sources[] = {
    {"all 0", [](int32_t, int32_t, int) { return 0; }},
    {"all 255", [](int32_t, int32_t, int) { return 255; }},
    {"column stripes", [](int32_t c, int32_t, int) { return c % 2 * 255; }},
    {"row stripes", [](int32_t, int32_t r, int) { return r % 2 * 255; }},
    {"checkerboard", [](int32_t c, int32_t r, int) { return (c + r) % 2 * 255; }},
    {"channel checkerboard", [](int32_t c, int32_t r, int ch) { return (c + r + ch) % 2 * 255; }},
    {"pairs 0 255 255 0", [](int32_t c, int32_t r, int) { return (c + r) % 4 / 2 * 255; }},
    // 255 under the positive taps and 0 under the negative ones, or the reverse: every phase's
    // sums reach their limits along the rows, down the columns, and (alternating rows of
    // highest and lowest first-pass sums) in both.
    {"rows 0 255 255 0", [](int32_t c, int32_t, int) { return signs(c) * 255; }},
    {"rows 255 0 0 255", [](int32_t c, int32_t, int) { return (1 - signs(c)) * 255; }},
    {"columns 0 255 255 0", [](int32_t, int32_t r, int) { return signs(r) * 255; }},
    {"columns 255 0 0 255", [](int32_t, int32_t r, int) { return (1 - signs(r)) * 255; }},
    {"both 0 255 255 0", [](int32_t c, int32_t r, int) { return (signs(c) ^ 1 ^ signs(r)) * 255; }},
    {"both 255 0 0 255", [](int32_t c, int32_t r, int) { return (signs(c) ^ signs(r)) * 255; }},
    {"random 0 or 255",
     [](int32_t c, int32_t r, int ch) {
       return (static_cast<uint32_t>(c * 7919 + r * 104729 + ch * 1299709) * 2654435761u >> 31) *
              255;
     }},
};

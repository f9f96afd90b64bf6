#include "interpolate.h"

#include <cstring>

#include "paths.h"

const int32_t filter_taps[4][4] = {
    {0, 128, 0, 0},
    {-7, 105, 35, -5},
    {-8, 72, 72, -8},
    {-5, 35, 105, -7},
};

const std::vector<filter_impl>& filter_impls() {
  static const std::vector<filter_impl> impls = [] {
    std::vector<filter_impl> found{{"scalar", {horizontal_scalar, vertical_scalar, two_d_scalar}}};
#if BLOCKWALK_HAVE_SSE2
    found.push_back({"sse2", {nullptr, nullptr, two_d_sse2}});
#endif
#if BLOCKWALK_HAVE_AVX2
    if (__builtin_cpu_supports("avx2")) {
      found.push_back({"avx2", {horizontal_avx2, vertical_avx2, two_d_avx2}});
    }
#endif
    return found;
  }();
  return impls;
}

const filter_paths& active_paths() {
  static const filter_paths active = [] {
    filter_paths paths{};
    for (const filter_impl& impl : filter_impls()) {
      if (impl.paths.horizontal) paths.horizontal = impl.paths.horizontal;
      if (impl.paths.vertical) paths.vertical = impl.paths.vertical;
      if (impl.paths.two_d) paths.two_d = impl.paths.two_d;
    }
    return paths;
  }();
  return active;
}

void interpolate_block(int32_t stride, uint8_t* dst, const uint8_t* src, int32_t height, int32_t x,
                       int32_t y, int32_t mvx, int32_t mvy) {
  // 64-bit positions: no vector or stride, however odd, can overflow them.
  int64_t px = int64_t{x} + (mvx >> 2);
  int64_t py = int64_t{y} + (mvy >> 2);
  const int hx = mvx & 3;
  const int vy = mvy & 3;
  const ptrdiff_t row = static_cast<ptrdiff_t>(stride) * 3;
  const auto origin = [&] { return src + (py + block_margin) * row + (px + block_margin) * 3; };

  if (hx == 0 && vy == 0) {
    const uint8_t* s = origin();
    for (int r = 0; r < block_size; ++r) {
      std::memcpy(dst + r * block_row_bytes, s + r * row, block_row_bytes);
    }
    return;
  }

  // A fractional block stays where its footprint touches the picture; the upper bound wins.
  if (px < -15) px = -15;
  if (py < -15) py = -15;
  if (px > int64_t{stride} - 2) px = int64_t{stride} - 2;
  if (py > int64_t{height} - 2) py = int64_t{height} - 2;

  run_filter_path(active_paths(), dst, origin(), row, hx, vy);
}

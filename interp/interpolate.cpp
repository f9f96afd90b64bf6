// interpolate_block: the vector's split, the clamp, and the call of the chosen path.
#include "interpolate.h"

#include <atomic>

#include "levels.h"

namespace {

// The paths interpolate_block calls, once chosen: a single load on every call after the first.
// What they point to is made once, thread-safely; any thread may find it and store it.
std::atomic<const filter_paths*> chosen{nullptr};

}  // namespace

// The first call chooses, then starts again; apart, so that the calls after it save nothing.
[[gnu::noinline, gnu::cold]] static void choose_and_interpolate(int32_t stride, uint8_t* dst,
                                                                const uint8_t* src, int32_t height,
                                                                int32_t x, int32_t y, int32_t mvx,
                                                                int32_t mvy) {
  chosen.store(&active_paths(), std::memory_order_release);
  interpolate_block(stride, dst, src, height, x, y, mvx, mvy);
}

void interpolate_block(int32_t stride, uint8_t* dst, const uint8_t* src, int32_t height, int32_t x,
                       int32_t y, int32_t mvx, int32_t mvy) {
  // The scalar rendering gives every path, so none is missing.
  const filter_paths* paths = chosen.load(std::memory_order_acquire);
  if (!paths) return choose_and_interpolate(stride, dst, src, height, x, y, mvx, mvy);
  // 64-bit positions: no vector or stride, however odd, can overflow them.
  int64_t px = int64_t{x} + (mvx >> 2);
  int64_t py = int64_t{y} + (mvy >> 2);
  const int hx = mvx & 3;
  const int vy = mvy & 3;
  const ptrdiff_t row = static_cast<ptrdiff_t>(stride) * 3;
  const auto origin = [&] { return src + (py + block_margin) * row + (px + block_margin) * 3; };

  if (hx == 0 && vy == 0) return paths->copy(dst, origin(), row);

  // A fractional block stays where its footprint touches the picture; the upper bound wins.
  if (px < -15) px = -15;
  if (py < -15) py = -15;
  if (px > int64_t{stride} - 2) px = int64_t{stride} - 2;
  if (py > int64_t{height} - 2) py = int64_t{height} - 2;

  if (vy == 0) return paths->horizontal(dst, origin(), row, hx);
  if (hx == 0) return paths->vertical(dst, origin(), row, vy);
  paths->two_d(dst, origin(), row, hx, vy);
}

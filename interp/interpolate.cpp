// interpolate_block: the call placed as the model says (model.h), then the chosen path's kernel.
#include "interpolate.h"

#include <atomic>

#include "levels.h"
#include "model.h"

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
  const filter_paths* paths = chosen.load(std::memory_order_acquire);
  if (!paths) return choose_and_interpolate(stride, dst, src, height, x, y, mvx, mvy);
  const placement p = place({stride, height, x, y, mvx, mvy});
  const ptrdiff_t row = static_cast<ptrdiff_t>(stride) * 3;
  const uint8_t* origin = src + p.source(axis_v) * row + p.source(axis_h) * 3;
  // Every path has a kernel: the scalar rendering gives them all.
  call_path(*paths, p.path, p.phase[axis_h], p.phase[axis_v], dst, origin, row);
}

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

// The first call chooses, then runs the chosen kernel: apart, and with the block already
// placed, so that the calls after it save nothing and keep none of their arguments past the
// placing.
[[gnu::noinline, gnu::cold]] static void choose_and_run(block_path path, int hx, int vy,
                                                        uint8_t* dst, const uint8_t* src,
                                                        ptrdiff_t row) {
  const filter_paths* paths = &active_paths();
  chosen.store(paths, std::memory_order_release);
  call_path(*paths, path, hx, vy, dst, src, row);
}

void interpolate_block(int32_t stride, uint8_t* dst, const uint8_t* src, int32_t height, int32_t x,
                       int32_t y, int32_t mvx, int32_t mvy) {
  const placement p = place({stride, height, x, y, mvx, mvy});
  const ptrdiff_t row = static_cast<ptrdiff_t>(stride) * 3;
  const uint8_t* origin = src + p.source(axis_v) * row + p.source(axis_h) * 3;
  const int hx = p.phase[axis_h], vy = p.phase[axis_v];
  const filter_paths* paths = chosen.load(std::memory_order_acquire);
  if (!paths) return choose_and_run(p.path, hx, vy, dst, origin, row);
  // Every path has a kernel: the scalar rendering gives them all.
  call_path(*paths, p.path, hx, vy, dst, origin, row);
}

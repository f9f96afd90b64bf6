// Arbitrary planes, positions and vectors: every kernel (each path in each form) against the
// scalar rendering, and interpolate_block's clamp, on a plane that ends exactly where the
// footprint of the bottom-right clamped block ends.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "interpolate.h"
#include "levels.h"
#include "model.h"

namespace {

// Takes bytes from the front of the input; zeros once it runs out.
struct input {
  const uint8_t* data;
  size_t size;
  uint8_t byte() {
    if (size == 0) return 0;
    --size;
    return *data++;
  }
  int32_t in(int32_t low, int32_t high) {  // a value in low ... high
    const uint32_t raw = uint32_t{byte()} | uint32_t{byte()} << 8;
    return low + static_cast<int32_t>(raw % static_cast<uint32_t>(high - low + 1));
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  input in{data, size};
  const int32_t stride = in.in(1, 70), height = in.in(1, 40);
  const int hx = in.byte() & 3, vy = in.byte() & 3;
  const int32_t x = in.in(-15, stride - 2), y = in.in(-15, height - 2);
  const int32_t far_x = in.in(-1000, 1000), far_y = in.in(-1000, 1000);

  std::vector<uint8_t> plane(3 * ((static_cast<size_t>(height) + 32) * stride + 32));
  for (size_t i = 0; i < plane.size(); ++i)
    plane[i] = in.size ? in.byte() : static_cast<uint8_t>(i * 97);

  const ptrdiff_t row = ptrdiff_t{stride} * 3;
  const uint8_t* origin = plane.data() + (y + 16) * row + (x + 16) * 3;
  uint8_t want[block_bytes], got[block_bytes];
  run_filter_path(filter_impls().front().paths, want, origin, row, hx, vy);
  for (const kernel& k : every_kernel()) {
    if (k.runs_here && run_filter_path(k.paths, got, origin, row, hx, vy) &&
        std::memcmp(got, want, block_bytes) != 0) {
      std::abort();
    }
  }
  // Any whole-pixel position of a fractional vector, however far outside, is clamped into the
  // plane (a whole-pixel vector is copied from where it points).
  if (hx != 0 || vy != 0)
    interpolate_block(stride, got, plane.data(), height, far_x, far_y, hx, vy);
  return 0;
}

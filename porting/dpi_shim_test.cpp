// The DPI package's C side on open arrays as simulators hand them over: the library's block where
// the array holds the call's footprint from its base on, and a block of zeros with -1 wherever a
// bench's array, base or call would have it read outside.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "blockwalk_dpi.h"
#include "interpolate.h"

namespace {

// An open array as the simulator describes it.
struct open_array {
  std::vector<uint8_t> bytes;
  int left = 0, dimensions = 1;
  bool c_layout = true;  // else svGetArrayPtr has no pointer to give
};

const open_array& array_of(const svOpenArrayHandle h) {
  return *static_cast<open_array*>(h);
}

}  // namespace

extern "C" {
void* svGetArrayPtr(const svOpenArrayHandle h) {
  open_array& a = *static_cast<open_array*>(h);
  return a.c_layout ? a.bytes.data() : nullptr;
}
int svSize(const svOpenArrayHandle h, int) {
  return static_cast<int>(array_of(h).bytes.size());
}
int svDimensions(const svOpenArrayHandle h) {
  return array_of(h).dimensions;
}
int svLeft(const svOpenArrayHandle h, int) {
  return array_of(h).left;
}
}

namespace {

TEST(dpi_shim, gives_the_librarys_block_or_refuses_what_would_read_outside) {
  // Two planes back to back, 40 x 50 and 64 x 64 pixels.
  const int first = 40 * 50 * 3, second = 64 * 64 * 3;
  open_array planes;
  std::mt19937 rng(9);
  for (int i = 0; i < first + second; ++i) planes.bytes.push_back(static_cast<uint8_t>(rng()));
  const struct {
    const char* what;
    int stride, base, height, x, y, mvx, mvy;
    int left, dimensions;
    bool c_layout, made;
  } cases[] = {
      {"a call on the first plane", 40, 0, 17, 3, 5, 1, 2, 0, 1, true, true},
      {"the worked call, on the second plane", 64, first, 31, -20, 10, -3, 6, 0, 1, true, true},
      {"a copy at the second plane's last pixels", 64, first, 31, 32, 32, 0, 0, 0, 1, true, true},
      {"a copy a pixel beyond them", 64, first, 31, 33, 32, 0, 0, 0, 1, true, false},
      // The array's end bounds a call, not its plane's: the package knows no planes.
      {"the first plane's call reading into the second", 40, 0, 40, 3, 45, 1, 2, 0, 1, true, true},
      {"a call clamped at a row below the array", 64, first, 33, 3, 40, 1, 2, 0, 1, true, false},
      {"a base before the array", 40, -3, 17, 3, 5, 1, 2, 0, 1, true, false},
      {"a base beyond the array", 40, first + second + 1, 17, 3, 5, 1, 2, 0, 1, true, false},
      {"a stride of 0", 0, 0, 17, 3, 5, 1, 2, 0, 1, true, false},
      {"an array indexed downwards", 40, 0, 17, 3, 5, 1, 2, first + second - 1, 1, true, false},
      {"an array of two dimensions", 40, 0, 17, 3, 5, 1, 2, 0, 2, true, false},
      {"an array not in C's layout", 40, 0, 17, 3, 5, 1, 2, 0, 1, false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    planes.left = c.left;
    planes.dimensions = c.dimensions;
    planes.c_layout = c.c_layout;
    std::vector<uint8_t> block(block_bytes, 0xAA), want(block_bytes, 0);
    const int made = blockwalk_dpi_interpolate_block(c.stride, block.data(), &planes, c.base,
                                                     c.height, c.x, c.y, c.mvx, c.mvy);
    EXPECT_EQ(made, c.made ? 0 : -1);
    if (c.made) {
      interpolate_block(c.stride, want.data(), planes.bytes.data() + c.base, c.height, c.x, c.y,
                        c.mvx, c.mvy);
    }
    EXPECT_EQ(block, want);
  }
}

}  // namespace

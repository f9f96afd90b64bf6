// The C header's footprint against the checking tools' model of a call, each byte count at the
// edge of fitting: two computations of the clamp, the paths and the run-on rows.
#include "plane_footprint.h"

#include <gtest/gtest.h>

#include <climits>
#include <random>

#include "call.h"

namespace {

// The fewest bytes a plane may have to hold the call's footprint, by the model; 0 where no plane
// does (the footprint begins before the plane).
uint64_t fewest_bytes(const block_call& call) {
  uint64_t low = 0, high = uint64_t{1} << 62;
  if (!footprint_fits(call, high)) return 0;
  while (low + 1 < high) {
    const uint64_t middle = low + (high - low) / 2;
    (footprint_fits(call, middle) ? high : low) = middle;
  }
  return high;
}

TEST(plane_footprint, is_the_models_at_the_edge_of_every_call) {
  std::mt19937 rng(5);
  const auto between = [&](int64_t low, int64_t high) {
    return static_cast<int32_t>(std::uniform_int_distribution<int64_t>(low, high)(rng));
  };
  const int32_t extremes[] = {INT32_MIN,     INT32_MIN + 3, -(1 << 29),
                              (1 << 29) + 1, INT32_MAX - 2, INT32_MAX};
  size_t fitting = 0, never = 0;
  for (int n = 0; n < 200000; ++n) {
    block_call call;
    call.stride = n % 7 == 0 ? between(1, 3) : between(1, 700);
    call.height = between(-20, 700);
    // Positions about the plane and its clamp bounds, and at 32-bit extremes.
    const bool far = n % 5 == 0;
    call.x = far ? extremes[between(0, 5)] : between(-60, call.stride + 40);
    call.y = far ? extremes[between(0, 5)] : between(-60, call.height + 40);
    call.mvx = far && n % 2 ? extremes[between(0, 5)] : between(-12, 12);
    call.mvy = far && n % 3 ? extremes[between(0, 5)] : between(-12, 12);
    SCOPED_TRACE(testing::Message() << call.stride << ", " << call.height << ", " << call.x << ", "
                                    << call.y << ", " << call.mvx << ", " << call.mvy);
    const auto fits = [&](uint64_t bytes) {
      return blockwalk_footprint_fits(call.stride, call.height, call.x, call.y, call.mvx, call.mvy,
                                      bytes) != 0;
    };
    const uint64_t fewest = fewest_bytes(call);
    if (fewest == 0) {
      ++never;
      ASSERT_FALSE(fits(uint64_t{1} << 62));
      ASSERT_FALSE(fits(UINT64_MAX));
    } else {
      ++fitting;
      ASSERT_FALSE(fits(fewest - 1));
      ASSERT_TRUE(fits(fewest));
      ASSERT_TRUE(fits(UINT64_MAX));
    }
  }
  EXPECT_GT(fitting, 150000u);
  EXPECT_GT(never, 2000u);
}

TEST(plane_footprint, refuses_a_stride_below_one) {
  for (const int32_t stride : {0, -1, INT32_MIN}) {
    EXPECT_FALSE(blockwalk_footprint_fits(stride, 100, 0, 0, 0, 0, UINT64_MAX)) << stride;
  }
}

}  // namespace

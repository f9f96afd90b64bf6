// interpolate_block itself: the vector's split, the clamp and the choice of path.
#include "interpolate.h"

#include <gtest/gtest.h>

#include <cstring>

#include "test_plane.h"

namespace {

std::vector<uint8_t> block_at(const test_plane& plane, int32_t x, int32_t y, int32_t mvx,
                              int32_t mvy) {
  std::vector<uint8_t> block(block_bytes);
  interpolate_block(plane.stride, block.data(), plane.bytes.data(), plane.height, x, y, mvx, mvy);
  return block;
}

// The 16 x 16 pixels whose top-left pixel is plane pixel (c, r), as a block.
std::vector<uint8_t> region(const test_plane& plane, int32_t c, int32_t r) {
  std::vector<uint8_t> block(block_bytes);
  for (int row = 0; row < block_size; ++row) {
    std::memcpy(&block[row * block_row_bytes], &plane.bytes[plane.index(c, r + row)],
                block_row_bytes);
  }
  return block;
}

TEST(interpolate_block, lands_on_linear_ramps_at_the_quarter_pixel_position) {
  // Every filter reproduces a ramp exactly, so the block shows where it was taken: a channel
  // rising by 4 per column moves by 1 per quarter pixel. Channel 0 rises along the columns,
  // channel 1 along the rows, channel 2 along both.
  test_plane plane(56, 40);
  plane.paint([](int32_t c, int32_t r, int ch) {
    const int v = ch == 0 ? 4 * c : ch == 1 ? 4 * r : 4 * (c + r) - 100;
    return std::clamp(v, 0, 255);
  });
  for (int hx = 0; hx < 4; ++hx) {
    for (int vy = 0; vy < 4; ++vy) {
      for (const int whole : {-1, 0, 1}) {
        const int32_t mvx = 4 * whole + hx, mvy = 4 * -whole + vy;
        const std::vector<uint8_t> block = block_at(plane, 0, 0, mvx, mvy);
        for (int r = 0; r < block_size; ++r) {
          for (int i = 0; i < block_size; ++i) {
            const uint8_t* p = &block[r * block_row_bytes + 3 * i];
            // Pixel (i, r) comes from quarter-pixel position 4 * (16 + i) + mvx, 4 * (16 + r) +
            // mvy.
            const int qx = 4 * (block_margin + i) + mvx, qy = 4 * (block_margin + r) + mvy;
            ASSERT_EQ(p[0], qx) << "mv (" << mvx << ", " << mvy << "), pixel " << i << ", row "
                                << r;
            ASSERT_EQ(p[1], qy) << "mv (" << mvx << ", " << mvy << "), pixel " << i << ", row "
                                << r;
            ASSERT_EQ(p[2], qx + qy - 100) << "mv (" << mvx << ", " << mvy << ")";
          }
        }
      }
    }
  }
}

TEST(interpolate_block, keeps_a_uniform_source_on_every_path) {
  test_plane plane(20, 20);
  for (const int v : {0, 1, 127, 254, 255}) {
    plane.paint([v](int32_t, int32_t, int) { return v; });
    for (int32_t mv = 0; mv < 16; ++mv) {
      const std::vector<uint8_t> block = block_at(plane, 2, 3, mv % 4, mv / 4);
      EXPECT_EQ(block, std::vector<uint8_t>(block_bytes, static_cast<uint8_t>(v)))
          << "value " << v << ", phases (" << mv % 4 << ", " << mv / 4 << ")";
    }
  }
}

TEST(interpolate_block, copies_whole_pixel_positions_without_clamping) {
  test_plane plane(40, 30);
  plane.randomise(3);
  struct copy_case {
    int32_t x, y, mvx, mvy;
  };
  // Positions a fractional vector would clamp, and whole parts carried by the vector.
  const copy_case cases[] = {{-16, -16, 0, 0}, {-16, 0, 0, 0}, {0, 0, 4, 0},
                             {0, 0, 0, 4},     {5, 5, -8, -4}, {30, 20, 0, 0},
                             {39, 0, 0, 0},    {0, 31, 0, 0},  {10, 10, 12, -20}};
  for (const copy_case& c : cases) {
    const int32_t sx = c.x + 16 + c.mvx / 4, sy = c.y + 16 + c.mvy / 4;
    EXPECT_EQ(block_at(plane, c.x, c.y, c.mvx, c.mvy), region(plane, sx, sy))
        << "(" << c.x << ", " << c.y << ") + (" << c.mvx << ", " << c.mvy << ") / 4";
  }
}

TEST(interpolate_block, clamps_fractional_positions_after_adding_the_whole_part) {
  test_plane plane(36, 28);
  plane.randomise(11);
  const int32_t right = plane.stride - 2, bottom = plane.height - 2;
  struct clamp_case {
    int32_t x, y, mvx, mvy;  // behaves as ...
    int32_t as_x, as_y;      // ... this position with the vector's phases alone
  };
  const clamp_case cases[] = {
      {-40, 3, 1, 0, -15, 3},
      {-40, 3, 2, 2, -15, 3},
      {3, -40, 0, 3, 3, -15},
      {3, -40, 1, 3, 3, -15},
      {-40, -40, 3, 3, -15, -15},
      {plane.stride + 50, 3, 1, 0, right, 3},
      {3, plane.height + 50, 0, 2, 3, bottom},
      {plane.stride + 50, plane.height + 50, 3, 1, right, bottom},
      {-14, 3, -8 + 1, 0, -15, 3},
      {right - 1, 3, 8 + 2, 0, right, 3},
      {3, bottom, 3, 4 + 1, 3, bottom},
      {-20, plane.height + 1, 2 - 40, 3 + 40, -15, bottom},
  };
  for (const clamp_case& c : cases) {
    EXPECT_EQ(block_at(plane, c.x, c.y, c.mvx, c.mvy),
              block_at(plane, c.as_x, c.as_y, c.mvx & 3, c.mvy & 3))
        << "(" << c.x << ", " << c.y << ") + (" << c.mvx << ", " << c.mvy << ") / 4";
  }
  // Inside the range nothing moves: a neighbouring position gives another block.
  EXPECT_NE(block_at(plane, -14, 3, 1, 0), block_at(plane, -15, 3, 1, 0));
  EXPECT_NE(block_at(plane, right - 1, 3, 1, 1), block_at(plane, right, 3, 1, 1));
}

}  // namespace

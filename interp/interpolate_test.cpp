// interpolate_block itself: the vector's split, the clamp and the choice of path.
#include "interpolate.h"

#include <gtest/gtest.h>

#include <cstring>

#include "model.h"
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

// Calls of every path, inside the clamp's range, clamped at each bound and far beyond it, with
// negative vectors, and copies, which are never clamped; on a plane of 37 x 29.
const block_call footprint_calls[] = {
    {37, 29, 5, 6, 0, 0},     {37, 29, -16, -16, 0, 0},     {37, 29, 20, 13, 4, -8},
    {37, 29, 5, 6, 1, 0},     {37, 29, -40, 6, 2, 0},       {37, 29, 60, 28, -1, 0},
    {37, 29, 5, 6, 0, 3},     {37, 29, 5, -40, 0, -2},      {37, 29, 36, 90, 0, 1},
    {37, 29, 5, 6, 1, 3},     {37, 29, -15, -15, 2, 2},     {37, 29, 35, 27, 3, 1},
    {37, 29, -90, 90, -3, 6}, {37, 29, 0, 0, INT32_MIN, 1}, {37, 29, 0, 0, 2, INT32_MAX},
    {37, 29, 3, 3, 1, 0},     {37, 29, 12, 2, 0, 1},        {37, 29, 36, 27, 3, 3},
};

// A plane whose bytes are the call's footprint and no more, against a guard page at one end:
// `src` is where the plane's byte 0 would lie. `short_by` leaves out that many of the
// footprint's bytes at the guarded end.
struct footprint_plane {
  guarded_bytes bytes;
  const uint8_t* src;
  footprint_plane(uint64_t first, uint64_t last, guarded_bytes::side side, size_t short_by)
      : bytes(last - first + 1 - short_by, side),
        src(bytes.data() - first - (side == guarded_bytes::start_guarded ? short_by : 0)) {
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 13);
  }
};

uint64_t footprint_size(const block_call& c) {
  uint64_t first = 0, last = 0;
  EXPECT_TRUE(footprint_bytes(c, &first, &last));
  return last - first + 1;
}

void interpolate_on(const footprint_plane& plane, const block_call& c) {
  uint8_t block[block_bytes];
  interpolate_block(c.stride, block, plane.src, c.height, c.x, c.y, c.mvx, c.mvy);
}

TEST(footprint, holds_every_byte_interpolate_block_reads) {
  // CTest runs this suite under each level's cap: the footprint bounds every level's reads.
  for (const block_call& c : footprint_calls) {
    uint64_t first = 0, last = 0;
    ASSERT_TRUE(footprint_bytes(c, &first, &last));
    for (const auto side : {guarded_bytes::end_guarded, guarded_bytes::start_guarded}) {
      const footprint_plane plane(first, last, side, 0);
      interpolate_on(plane, c);
    }
  }
  // A fractional block reads 19 rows and columns (a filtered axis) or 16, a copy 16 by 16.
  const placement two_d = place(footprint_calls[9]), copy = place(footprint_calls[0]);
  const pixel_area a = footprint(two_d), b = footprint(copy);
  EXPECT_EQ(a.last[axis_h] - a.first[axis_h], 18);
  EXPECT_EQ(a.last[axis_v] - a.first[axis_v], 18);
  EXPECT_EQ(b.last[axis_h] - b.first[axis_h], 15);
  EXPECT_EQ(a.first[axis_h], two_d.source(axis_h) - 1);
  EXPECT_EQ(footprint_size(footprint_calls[0]), (15 * 37 + 16) * 3u);
}

TEST(footprint, ends_at_the_first_and_last_bytes_interpolate_block_reads) {
  // One byte fewer at either end of the footprint, and the routine reads into the guard page:
  // the bound is no looser than the reads.
  for (const size_t k : {0, 3, 6, 9}) {  // a copy, horizontal, vertical and two-dimensional block
    const block_call& c = footprint_calls[k];
    uint64_t first = 0, last = 0;
    ASSERT_TRUE(footprint_bytes(c, &first, &last));
    SCOPED_TRACE(path_name(place(c).path));
    for (const auto side : {guarded_bytes::end_guarded, guarded_bytes::start_guarded}) {
      EXPECT_DEATH(interpolate_on(footprint_plane(first, last, side, 1), c), "");
    }
  }
}

TEST(footprint, fits_a_plane_only_where_it_lies_inside) {
  const block_call c{37, 29, 5, 6, 1, 3};
  uint64_t first = 0, last = 0;
  ASSERT_TRUE(footprint_bytes(c, &first, &last));
  EXPECT_TRUE(footprint_fits(c, last + 1));
  EXPECT_FALSE(footprint_fits(c, last));
  // A copy may point before the plane or far beyond what 64 bits address.
  EXPECT_FALSE(footprint_fits({37, 29, -17, -16, 0, 0}, size_t{1} << 40));
  EXPECT_FALSE(footprint_fits({INT32_MAX, 29, INT32_MAX, INT32_MAX, INT32_MAX - 3, 0}, SIZE_MAX));
  EXPECT_FALSE(footprint_fits({0, 29, 0, 0, 1, 1}, SIZE_MAX)) << "no rows without a stride";
}

}  // namespace

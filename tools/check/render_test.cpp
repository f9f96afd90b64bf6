// The checking tools' rendering: with every switch off, the library's scalar rendering; with
// one switch on, a port with that fault, written apart from it.
#include "render.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "faulty_port.h"
#include "levels.h"
#include "test_plane.h"

namespace {

// The whole block of a call, byte by byte; false where its footprint leaves the plane.
bool render_block(const plane_view& plane, const block_call& call, const fault_switches& faults,
                  uint8_t* block) {
  const placement where = faulty_place(call, faults);
  byte_derivation d;
  for (int r = 0; r < block_size; ++r) {
    for (int i = 0; i < block_size; ++i) {
      for (int ch = 0; ch < 3; ++ch) {
        if (!derive_byte(plane, call, where, faults, r, i, ch, &d)) return false;
        block[r * block_row_bytes + 3 * i + ch] = static_cast<uint8_t>(d.value);
      }
    }
  }
  return true;
}

block_call call_on(const test_plane& plane, int32_t x, int32_t y, int32_t mvx, int32_t mvy) {
  return {plane.stride, plane.height, x, y, mvx, mvy};
}

plane_view view(const test_plane& plane) {
  return {plane.bytes.data(), plane.bytes.size()};
}

// The sources: seeded random planes, then every extreme of the filter tests.
template <typename F>
void for_each_source(test_plane& plane, F check) {
  for (uint32_t seed = 1; seed <= 6; ++seed) {
    plane.randomise(seed);
    check("random, seed " + std::to_string(seed));
  }
  for (const auto& [name, value] : extreme_sources) {
    plane.paint(value);
    check(name);
  }
}

TEST(render, with_every_switch_off_is_the_scalar_rendering) {
  const filter_paths scalar = filter_impls().front().paths;
  test_plane plane(37, 29);
  std::mt19937 positions(11);
  for_each_source(plane, [&](const std::string& source) {
    for (int hx = 0; hx < 4; ++hx) {
      for (int vy = 0; vy < 4; ++vy) {
        // The extremes of the clamped range, then anywhere in it.
        for (int p = 0; p < 6; ++p) {
          const int32_t x = p < 4 ? (p % 2 ? plane.stride - 2 : -15)
                                  : std::uniform_int_distribution<int32_t>(-15, 35)(positions);
          const int32_t y = p < 4 ? (p / 2 ? plane.height - 2 : -15)
                                  : std::uniform_int_distribution<int32_t>(-15, 27)(positions);
          uint8_t want[block_bytes], got[block_bytes];
          ASSERT_TRUE(run_filter_path(scalar, want, plane.origin(x, y), plane.row(), hx, vy));
          ASSERT_TRUE(render_block(view(plane), call_on(plane, x, y, hx, vy), {}, got));
          ASSERT_TRUE(std::equal(got, got + block_bytes, want))
              << source << ", phases (" << hx << ", " << vy << "), position (" << x << ", " << y
              << ")";
        }
      }
    }
  });
}

TEST(render, clamps_fractional_vectors_as_interpolate_block_does) {
  test_plane plane(37, 29);
  plane.randomise(5);
  // Whole parts that reach beyond either bound, by a little or by anything a vector can say.
  const int32_t vectors[] = {0, 1, 2, 3, 4, -1, -2, -3, -4, -5, -97, 131, INT32_MIN, INT32_MAX};
  for (const int32_t mvx : vectors) {
    for (const int32_t mvy : vectors) {
      for (const auto& [x, y] : {std::pair{-40, 3}, {3, -16}, {36, 28}, {60, 30}, {0, 0}}) {
        // A copy reads where it points, and may leave the plane; the library's tests hold that.
        if (!(mvx & 3) && !(mvy & 3)) continue;
        uint8_t want[block_bytes], got[block_bytes];
        interpolate_block(plane.stride, want, plane.bytes.data(), plane.height, x, y, mvx, mvy);
        ASSERT_TRUE(render_block(view(plane), call_on(plane, x, y, mvx, mvy), {}, got));
        ASSERT_TRUE(std::equal(got, got + block_bytes, want))
            << "position (" << x << ", " << y << "), vector (" << mvx << ", " << mvy << ")";
      }
    }
  }
}

TEST(render, with_a_switch_on_is_a_port_with_that_fault) {
  // Each switch set by name, as the tests' port and faulty_walk take it; the rendering and the
  // port, written apart, must agree on every block.
  struct fault_case {
    std::string name;
    std::vector<int> values;
  };
  std::vector<fault_case> cases;
  for (const int offset : {0, 2}) cases.push_back({"rounding", {1, offset}});
  for (const int offset : {0, 4095, 8192}) cases.push_back({"rounding", {2, offset}});
  cases.push_back({"no_clamp", {}});
  for (int axis = 0; axis < 2; ++axis) {
    for (int phase = 0; phase < 4; ++phase) cases.push_back({"taps", {axis, phase}});
  }
  for (const auto& [dx, dy] : {std::pair{-2, 0}, {1, 0}, {0, 2}, {-1, -1}, {2, 1}}) {
    cases.push_back({"source_offset", {dx, dy}});
  }
  cases.push_back({"row_order", {}});
  cases.push_back({"channel_order", {}});
  for (int axis = 0; axis < 2; ++axis) {
    cases.push_back({"vector_split", {axis}});
    for (int bound = 0; bound < 2; ++bound) {
      for (const int delta : {-1, 1}) cases.push_back({"clamp_bounds", {axis, bound, delta}});
    }
  }
  for (const char* name : {"phases_swapped", "no_position_clamp", "copy_clamp", "two_pass_1d"}) {
    cases.push_back({name, {}});
  }
  std::vector<std::pair<std::string, fault_switches>> switches;
  for (const fault_case& c : cases) {
    std::string name = c.name;
    for (const int v : c.values) name += " " + std::to_string(v);
    switches.push_back({name, injected(c.name, c.values)});
  }
  // Float, hardware and C ports, in faulty_walk's words.
  std::vector<std::vector<std::string>> ports = {
      {"division"},
      {"exact_intermediate", "half_up"},
      {"narrow_intermediate", "8", "h"},
      {"narrow_intermediate", "8", "v"},
      {"narrow_intermediate", "16"},
      {"row_stride", "padded"},
      {"row_stride", "-3"},
      {"row_stride", "6"},
  };
  for (const char* mode : {"half_even", "half_away_from_zero", "toward_zero"}) {
    for (const char* pass : {"1", "2", "both"}) ports.push_back({"rounding_mode", pass, mode});
    ports.push_back({"exact_intermediate", mode});
  }
  for (const auto& words : ports) {
    std::string name;
    for (const std::string& w : words) name += w + " ";
    int shift = 0;
    switches.push_back({name, injected_words(words, &shift)});
  }
  // The one-dimensional filters' rounding alone, which no name sets apart.
  for (const int offset : {63, 65}) {
    fault_switches s;
    s.rounding_1d = offset;
    switches.push_back({"one-dimensional rounding " + std::to_string(offset), s});
  }
  EXPECT_THROW(injected("rounding_offset"), std::invalid_argument) << "a fault that has no name";

  // Room around the clamped footprints, so that displaced and unclamped blocks have something
  // to read; positions inside, at and beyond both bounds, vectors of both signs.
  test_plane plane(40, 30);
  plane.randomise(9);
  const int32_t xs[] = {-20, -15, 10, 38, 45}, ys[] = {-17, 3, 31};
  const int32_t vectors[] = {0, 1, 2, 3, -1, -3, -7};
  for (const auto& [name, faults] : switches) {
    size_t rendered = 0;
    for (const int32_t x : xs) {
      for (const int32_t y : ys) {
        for (const int32_t mvx : vectors) {
          for (const int32_t mvy : vectors) {
            uint8_t want[block_bytes], got[block_bytes];
            const bool port =
                faulty_interpolate(plane.stride, want, plane.bytes.data(), plane.bytes.size(),
                                   plane.height, x, y, mvx, mvy, faults);
            const bool ours =
                render_block(view(plane), call_on(plane, x, y, mvx, mvy), faults, got);
            ASSERT_EQ(ours, port) << name << " at (" << x << ", " << y << ") + (" << mvx << ", "
                                  << mvy << ")";
            if (!ours) continue;
            ++rendered;
            ASSERT_TRUE(std::equal(got, got + block_bytes, want))
                << name << " at (" << x << ", " << y << ") + (" << mvx << ", " << mvy << ")";
          }
        }
      }
    }
    EXPECT_GT(rendered, 200u) << name << ": most blocks lie inside the plane";
  }
}

TEST(render, keeps_every_step_of_a_byte) {
  // A single 255 on 0 at phases (1/2, 1/2), four pixels into the block along both axes: the
  // byte of block pixel (3, 3) takes it through the third tap of both passes.
  test_plane plane(48, 40);
  const int32_t x = 5, y = 7;
  plane.paint([&](int32_t c, int32_t r, int ch) {
    return c == x + block_margin + 4 && r == y + block_margin + 4 && ch == 1 ? 255 : 0;
  });
  const block_call call = call_on(plane, x, y, 2, 2);
  byte_derivation d;
  ASSERT_TRUE(derive_byte(view(plane), call, place(call), {}, 3, 3, 1, &d));
  EXPECT_EQ(d.rows, 4);
  EXPECT_EQ(d.columns, 4);
  EXPECT_EQ(d.index[2][2], static_cast<int64_t>(plane.index(x + 20, y + 20)) + 1);
  EXPECT_EQ(d.source[2][2], 255);
  EXPECT_EQ(d.pass1_sum[2], 72 * 255);
  EXPECT_EQ(d.pass1[2], 9180);  // (18360 + 1) >> 1
  EXPECT_EQ(d.sum, 72 * 9180);
  EXPECT_EQ(d.rounded, 81);  // (660960 + 4096) >> 13
  EXPECT_EQ(d.value, 81);
}

}  // namespace

// The grammar of a port's arithmetic: ours is the library, a canonical point gives the bytes of
// every point it stands for, the grammar holds each once, and the catalogue's arithmetic faults
// are the points they are.
#include "structure.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <map>
#include <random>
#include <set>

#include "faulty_port.h"
#include "render.h"
#include "test_plane.h"

namespace {

// Byte (row, pixel, channel) of the block the call places, under `s` with these taps, its
// source read from the plane at the layout's offsets.
int render_byte(const test_plane& plane, const block_call& call, const structure& s,
                const tap_layout& taps, int row, int pixel, int channel) {
  const placement where = place(call);
  const int64_t row_bytes = int64_t{plane.stride} * 3;
  const int64_t own =
      (where.source(axis_v) + row) * row_bytes + 3 * (where.source(axis_h) + pixel) + channel;
  neighbourhood n;
  for (int j = 0; j < 4; ++j) {
    for (int k = 0; k < 4; ++k) {
      n.source[j][k] = plane.bytes[static_cast<size_t>(own + taps.offsets[axis_v][j] * row_bytes +
                                                       taps.offsets[axis_h][k])];
    }
  }
  return structure_value(s, taps, n);
}

// Neighbourhoods that reach what the folding rules turn on: every value a byte, but many at 0
// or 255, so that sums reach their extremes, below 0 and beyond 16 bits.
std::vector<neighbourhood> sources(size_t count, uint32_t seed) {
  std::mt19937 engine(seed);
  std::vector<neighbourhood> all;
  for (const int fill : {0, 255}) {
    neighbourhood n;
    for (auto& row : n.source) std::fill(std::begin(row), std::end(row), fill);
    all.push_back(n);
  }
  // 255 under positive taps and 0 under negative ones, and the reverse, along both axes.
  for (int pattern = 0; pattern < 4; ++pattern) {
    neighbourhood n;
    for (int j = 0; j < 4; ++j) {
      for (int k = 0; k < 4; ++k) {
        const bool middle_k = k == 1 || k == 2, middle_j = j == 1 || j == 2;
        const bool on = pattern < 2 ? (middle_k == middle_j) : middle_k;
        n.source[j][k] = (on != (pattern % 2 == 1)) ? 255 : 0;
      }
    }
    all.push_back(n);
  }
  while (all.size() < count) {
    neighbourhood n;
    for (auto& row : n.source) {
      for (int32_t& v : row) {
        const uint32_t pick = engine() % 3;
        v = pick == 0 ? 0 : pick == 1 ? 255 : static_cast<int32_t>(engine() % 256);
      }
    }
    all.push_back(n);
  }
  return all;
}

// Every point the grammar's choices make on a path, canonical or not.
std::vector<structure> raw_points(block_path path) {
  std::vector<structure> raw;
  const pass_rounding roundings[] = {pass_rounding::none,      pass_rounding::floor,
                                     pass_rounding::half_up,   pass_rounding::half_even,
                                     pass_rounding::half_away, pass_rounding::toward_zero,
                                     pass_rounding::c_division};
  const value_storage storages[] = {
      value_storage::exact,  value_storage::int16_wrap,  value_storage::int16_saturate,
      value_storage::uint16, value_storage::uint8_clamp, value_storage::fp16,
      value_storage::fp32};
  for (const value_storage kept : storages) {
    for (const pass_rounding r1 : roundings) {
      for (const int first : {axis_h, axis_v}) {
        for (int32_t s1 = 0; s1 <= 14; ++s1) {
          for (const pass_rounding r2 : roundings) {
            raw.push_back({true, first, {s1, 14 - s1}, {r1, r2}, kept});
          }
        }
      }
      if (path != block_path::two_d) {
        structure one = our_one_pass(path == block_path::vertical ? axis_v : axis_h);
        one.rounding[0] = r1;
        one.kept = kept;
        raw.push_back(one);
      }
    }
  }
  return raw;
}

// The tap layouts a search meets: ours at phases along one axis or both, and taps of a port's
// own, stepped by bytes.
struct layout_case {
  const char* name;
  block_path path;
  tap_layout taps;
};

std::vector<layout_case> layouts() {
  std::vector<layout_case> all = {
      {"horizontal 1/4", block_path::horizontal, our_layout(1, 0)},
      {"horizontal 1/2", block_path::horizontal, our_layout(2, 0)},
      {"vertical 3/4", block_path::vertical, our_layout(0, 3)},
      {"two_d 1/4 1/4", block_path::two_d, our_layout(1, 1)},
      {"two_d 1/2 3/4", block_path::two_d, our_layout(2, 3)},
      {"two_d 1/2 1/2", block_path::two_d, our_layout(2, 2)},
  };
  layout_case bytes{"two_d 3/4 1/4, taps a byte apart", block_path::two_d, our_layout(3, 1)};
  for (int k = 0; k < 4; ++k) bytes.taps.offsets[axis_h][k] = k - 1;
  all.push_back(bytes);
  return all;
}

TEST(structure, ours_renders_the_librarys_blocks) {
  test_plane plane(37, 29);
  for (uint32_t seed = 1; seed <= 3; ++seed) {
    plane.randomise(seed);
    for (int hx = 0; hx < 4; ++hx) {
      for (int vy = 0; vy < 4; ++vy) {
        if (!hx && !vy) continue;
        const block_path path = path_of(hx, vy);
        // The extremes of the clamped range and inside it.
        for (const auto& [x, y] : {std::pair{-15, -15}, {35, 27}, {3, 8}, {-40, 60}}) {
          const block_call call{plane.stride, plane.height, x, y, hx, vy};
          uint8_t want[block_bytes];
          interpolate_block(plane.stride, want, plane.bytes.data(), plane.height, x, y, hx, vy);
          for (size_t b = 0; b < block_bytes; ++b) {
            const int row = static_cast<int>(b / 48), pixel = static_cast<int>(b % 48 / 3);
            ASSERT_EQ(render_byte(plane, call, ours_for(path), our_layout(hx, vy), row, pixel,
                                  static_cast<int>(b % 3)),
                      want[b])
                << "phases (" << hx << ", " << vy << ") at (" << x << ", " << y << "), byte " << b;
          }
        }
      }
    }
  }
}

TEST(structure, canonical_points_give_the_bytes_of_the_points_they_stand_for) {
  const std::vector<neighbourhood> tried = sources(600, 5);
  for (const layout_case& l : layouts()) {
    SCOPED_TRACE(l.name);
    const std::vector<structure> grammar = grammar_points(l.path, l.taps);
    std::set<structure> made;
    std::vector<pass_sums> sums;
    for (const neighbourhood& n : tried) sums.push_back(first_pass_sums(l.taps, n));
    for (const structure& raw : raw_points(l.path)) {
      const std::optional<structure> c = canonical(raw, l.path, l.taps);
      if (!c) continue;
      made.insert(*c);
      ASSERT_EQ(canonical(*c, l.path, l.taps), c) << structure_text(raw) << " is canonical once";
      for (size_t k = 0; k < sums.size(); ++k) {
        ASSERT_EQ(value_of_sums(raw, l.taps, sums[k]), value_of_sums(*c, l.taps, sums[k]))
            << structure_text(raw) << " as " << structure_text(*c) << ", source " << k;
      }
    }
    // The grammar is exactly the canonical points, in order.
    EXPECT_EQ(grammar, std::vector<structure>(made.begin(), made.end()));
    EXPECT_TRUE(std::binary_search(grammar.begin(), grammar.end(),
                                   *canonical(ours_for(l.path), l.path, l.taps)));
  }
}

TEST(structure, rounds_as_exact_division_does) {
  // Each mode against its definition on the exact quotient v / 2^shift.
  for (int32_t shift = 0; shift <= 14; ++shift) {
    for (int64_t v = -40000; v <= 40000; v += 1 + (v % 7 == 0) * 13) {
      const long double q = static_cast<long double>(v) / (int64_t{1} << shift);
      const int64_t down = static_cast<int64_t>(std::floor(q));
      const bool half = q - down == 0.5L;
      const auto trace = [&] { return std::to_string(v) + " >> " + std::to_string(shift); };
      EXPECT_EQ(round_shift(v, shift, pass_rounding::floor), down) << trace();
      EXPECT_EQ(round_shift(v, shift, pass_rounding::half_up),
                static_cast<int64_t>(std::floor(q + 0.5L)))
          << trace();
      EXPECT_EQ(round_shift(v, shift, pass_rounding::half_even),
                half ? down + (down & 1) : static_cast<int64_t>(std::floor(q + 0.5L)))
          << trace();
      EXPECT_EQ(round_shift(v, shift, pass_rounding::half_away),
                static_cast<int64_t>(std::round(static_cast<double>(q))))
          << trace();
      EXPECT_EQ(round_shift(v, shift, pass_rounding::toward_zero), static_cast<int64_t>(q))
          << trace();
      // C's division truncates toward zero.
      const int64_t offset = shift ? int64_t{1} << (shift - 1) : 0;
      EXPECT_EQ(round_shift(v, shift, pass_rounding::c_division),
                static_cast<int64_t>(static_cast<long double>(v + offset) / (int64_t{1} << shift)))
          << trace();
    }
  }
}

TEST(structure, keeps_values_as_their_registers_do) {
  for (int64_t v = -70000; v <= 70000; ++v) {
    const uint16_t bits = static_cast<uint16_t>(v);
    int16_t wrapped = 0;
    std::memcpy(&wrapped, &bits, sizeof wrapped);
    ASSERT_EQ(keep_value(v, value_storage::int16_wrap), wrapped) << v;
    ASSERT_EQ(keep_value(v, value_storage::uint16), bits) << v;
    ASSERT_EQ(keep_value(v, value_storage::int16_saturate), std::clamp<int64_t>(v, -32768, 32767));
    ASSERT_EQ(keep_value(v, value_storage::uint8_clamp), std::clamp<int64_t>(v, 0, 255));
    // Half precision as the faulty port rounds a float to it, from its bits; in its range.
    if (std::abs(v) <= 65504) {
      ASSERT_EQ(keep_value(v, value_storage::fp16),
                static_cast<int64_t>(half_precision(static_cast<float>(v))))
          << v;
    }
  }
  std::mt19937 engine(3);
  for (int n = 0; n < 100000; ++n) {
    const int64_t v = static_cast<int32_t>(engine()) >> (engine() % 8);
    ASSERT_EQ(keep_value(v, value_storage::fp32), static_cast<int64_t>(static_cast<float>(v))) << v;
  }
}

// The catalogue's arithmetic faults, by the names and forms the diagnosis gives them, and the
// points they are.
TEST(structure, names_the_catalogues_arithmetic_faults_by_their_points) {
  const struct {
    int hx, vy;
    std::string fault, point;
  } cases[] = {
      {1, 1, "exact_intermediate (mode half_even)", "{h, [0, 14], [none, half_even], exact}"},
      {1, 1, "exact_intermediate (mode toward_zero)", "{h, [0, 14], [none, floor], exact}"},
      {1, 3, "narrow_intermediate (bits 8, first v)",
       "{v, [7, 7], [half_up, half_up], uint8_clamp}"},
      {3, 1, "narrow_intermediate (bits 16)", "{h, [0, 14], [none, half_up], int16_saturate}"},
      {1, 2, "division (pass 1)", "{h, [1, 13], [c_division, half_up], exact}"},
      {3, 3, "rounding_mode (pass both, mode half_away_from_zero)",
       "{h, [1, 13], [half_away, half_up], exact}"},
      {1, 1, "rounding_mode (pass 2, mode half_even)", "{h, [1, 13], [half_up, half_even], exact}"},
      {1, 0, "two_pass_1d", "{h, [1, 13], [half_up, half_up], exact}"},
      {0, 3, "rounding_mode (pass 1, mode half_even)", "{half_even, exact}"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.fault);
    group_key key;
    key.phase[0] = c.hx, key.phase[1] = c.vy;
    key.path = path_of(c.hx, c.vy);
    bool found = false;
    for (const structure& s : grammar_points(key.path, our_layout(c.hx, c.vy))) {
      for (const diagnosed_fault& f : catalogue_names(s, key)) {
        if (fault_text(f) != c.fault) continue;
        EXPECT_EQ(structure_text(s), c.point);
        found = true;
      }
    }
    EXPECT_TRUE(found);
  }
}

// Every form of those faults the diagnosis tries, on every phase pair: its point, rendered, gives
// the bytes the catalogue's rendering gives it.
TEST(structure, renders_each_catalogue_form_as_the_catalogue_does) {
  test_plane plane(40, 30);
  plane.randomise(23);
  const plane_view view{plane.bytes.data(), plane.bytes.size()};
  for (int hx = 0; hx < 4; ++hx) {
    for (int vy = 0; vy < 4; ++vy) {
      if (!hx && !vy) continue;
      group_key key;
      key.phase[0] = hx, key.phase[1] = vy;
      key.path = path_of(hx, vy);
      const tap_layout taps = our_layout(hx, vy);
      const structure ours = *canonical(ours_for(key.path), key.path, taps);
      for (const char* name : {"rounding_mode", "exact_intermediate", "narrow_intermediate",
                               "division", "two_pass_1d"}) {
        for (std::vector<field_value>& form : fault(name).forms(key)) {
          const diagnosed_fault f = make_fault(fault(name), std::move(form));
          SCOPED_TRACE(fault_text(f) + " at (" + std::to_string(hx) + ", " + std::to_string(vy) +
                       ")");
          const std::optional<structure> raw = structure_of(f.switches, key.path);
          ASSERT_TRUE(raw) << "every form of the arithmetic's faults is a point";
          const structure point = *canonical(*raw, key.path, taps);
          const std::vector<diagnosed_fault> names = catalogue_names(point, key);
          const bool named = std::any_of(names.begin(), names.end(), [&](const diagnosed_fault& n) {
            return fault_text(n) == fault_text(f);
          });
          // Named by it, unless it gives our bytes on this path.
          EXPECT_EQ(named, point != ours) << structure_text(point);
          for (const auto& [x, y] : {std::pair{-15, 2}, {5, 7}, {38, 28}}) {
            const block_call call{plane.stride, plane.height, x, y, hx, vy};
            byte_derivation d;
            for (size_t b = 0; b < block_bytes; ++b) {
              const int row = static_cast<int>(b / 48), pixel = static_cast<int>(b % 48 / 3);
              ASSERT_TRUE(derive_byte(view, call, faulty_place(call, f.switches), f.switches, row,
                                      pixel, static_cast<int>(b % 3), &d));
              ASSERT_EQ(render_byte(plane, call, point, taps, row, pixel, static_cast<int>(b % 3)),
                        d.value)
                  << structure_text(point) << " at (" << x << ", " << y << "), byte " << b;
            }
          }
        }
      }
    }
  }
}

}  // namespace

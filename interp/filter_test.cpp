// Every implementation of every filter path, held against the scalar rendering and against
// values worked out by hand.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <sstream>
#include <string>

#include "paths.h"
#include "test_plane.h"

namespace {

constexpr int guard = 64;  // bytes checked on either side of the destination block
constexpr uint8_t guard_value = 0xA5;

// Runs the path that the phases select, if `paths` has it, into a block with guard bytes
// around it; returns the block without the guards.
bool run_path(const filter_paths& paths, const uint8_t* origin, ptrdiff_t row, int hx, int vy,
              std::vector<uint8_t>* block) {
  std::vector<uint8_t> guarded(block_bytes + 2 * guard, guard_value);
  uint8_t* dst = guarded.data() + guard;
  if (!run_filter_path(paths, dst, origin, row, hx, vy)) return false;
  const auto intact = [](uint8_t b) { return b == guard_value; };
  EXPECT_TRUE(std::all_of(guarded.begin(), guarded.begin() + guard, intact)) << "wrote before";
  EXPECT_TRUE(std::all_of(guarded.end() - guard, guarded.end(), intact)) << "wrote after";
  block->assign(dst, dst + block_bytes);
  return true;
}

std::string first_difference(const std::vector<uint8_t>& got, const std::vector<uint8_t>& want) {
  const auto at = std::mismatch(got.begin(), got.end(), want.begin()).first - got.begin();
  std::ostringstream s;
  s << "first difference at row " << at / 48 << ", pixel " << at % 48 / 3 << ", channel " << at % 3
    << ": " << int{got[at]} << " instead of " << int{want[at]};
  return s.str();
}

TEST(filter_impls, holds_every_implementation_the_build_asked_for) {
  // Those built, less any this processor cannot run.
  std::string expected;
  std::istringstream built(BLOCKWALK_BUILT_IMPLS);
  for (std::string name; built >> name;) {
#if defined(__x86_64__) || defined(__i386__)
    if (name == "avx2" && !__builtin_cpu_supports("avx2")) continue;
#endif
    expected += (expected.empty() ? "" : " ") + name;
  }
  std::string names;
  for (const filter_impl& impl : filter_impls()) {
    names += (names.empty() ? "" : " ") + std::string(impl.name);
  }
  EXPECT_EQ(names, expected);
}

// Sources that drive the filters to their extremes: the taps' overshoot and undershoot push
// both clamps, and the intermediate to its widest range.
const std::pair<const char*, std::function<int(int32_t, int32_t, int)>> extreme_sources[] = {
    {"all 0", [](int32_t, int32_t, int) { return 0; }},
    {"all 255", [](int32_t, int32_t, int) { return 255; }},
    {"column stripes", [](int32_t c, int32_t, int) { return c % 2 * 255; }},
    {"row stripes", [](int32_t, int32_t r, int) { return r % 2 * 255; }},
    {"checkerboard", [](int32_t c, int32_t r, int) { return (c + r) % 2 * 255; }},
    {"channel checkerboard", [](int32_t c, int32_t r, int ch) { return (c + r + ch) % 2 * 255; }},
    {"pairs 0 255 255 0", [](int32_t c, int32_t r, int) { return (c + r) % 4 / 2 * 255; }},
    {"random 0 or 255",
     [](int32_t c, int32_t r, int ch) {
       return (static_cast<uint32_t>(c * 7919 + r * 104729 + ch * 1299709) * 2654435761u >> 31) *
              255;
     }},
};

void match_on_plane(guarded_bytes::side guarded);

TEST(filter_impls, match_the_scalar_rendering) {
  // Each plane is checked against a guard page at its end and at its start.
  for (const auto guarded : {guarded_bytes::end_guarded, guarded_bytes::start_guarded}) {
    SCOPED_TRACE(guarded == guarded_bytes::end_guarded ? "guard page after" : "guard page before");
    match_on_plane(guarded);
  }
}

void match_on_plane(guarded_bytes::side guarded) {
  const filter_paths reference = filter_impls().front().paths;
  test_plane plane(37, 29, guarded);  // a width whose rows are not 4-byte multiples
  std::mt19937 positions(7);
  const int32_t xs[] = {-15, plane.stride - 2};
  const int32_t ys[] = {-15, plane.height - 2};

  const int random_sources = 24;
  const int sources = random_sources + static_cast<int>(std::size(extreme_sources));
  for (int source = 0; source < sources; ++source) {
    const uint32_t seed = 1000 + source;
    std::string name;
    if (source < random_sources) {
      plane.randomise(seed);
      name = "random, seed " + std::to_string(seed);
    } else {
      const auto& extreme = extreme_sources[source - random_sources];
      plane.paint(extreme.second);
      name = extreme.first;
    }
    for (int hx = 0; hx < 4; ++hx) {
      for (int vy = 0; vy < 4; ++vy) {
        if (hx == 0 && vy == 0) continue;
        // The four clamped corners, then positions anywhere in the clamped range.
        for (int p = 0; p < 8; ++p) {
          const int32_t x =
              p < 4 ? xs[p % 2]
                    : std::uniform_int_distribution<int32_t>(-15, plane.stride - 2)(positions);
          const int32_t y =
              p < 4 ? ys[p / 2]
                    : std::uniform_int_distribution<int32_t>(-15, plane.height - 2)(positions);
          std::vector<uint8_t> want;
          ASSERT_TRUE(run_path(reference, plane.origin(x, y), plane.row(), hx, vy, &want));
          for (const filter_impl& impl : filter_impls()) {
            std::vector<uint8_t> got;
            if (!run_path(impl.paths, plane.origin(x, y), plane.row(), hx, vy, &got)) continue;
            ASSERT_EQ(got, want) << impl.name << " on " << name << ", phases (" << hx << ", " << vy
                                 << "), position (" << x << ", " << y
                                 << "): " << first_difference(got, want);
          }
        }
      }
    }
  }
}

// A block value worked out by hand; -1 where the case says nothing.
using expectation = std::function<int(int row, int column)>;

struct worked_case {
  const char* what;
  std::vector<std::pair<int, int>> phases;
  std::function<int(int32_t c, int32_t r)> source;  // c, r relative to the block's origin
  std::function<expectation(int hx, int vy)> expected;
};

int edge_value(int phase) {
  return phase == 1 ? 60 : phase == 2 ? 128 : 195;
}

const worked_case worked_cases[] = {
    {"row 1 0 2 0, rounded twice",
     {{1, 1}, {1, 2}, {1, 3}},
     [](int32_t c, int32_t) { return c == -1  ? 1
                                     : c == 1 ? 2
                                              : 0; },
     [](int, int) -> expectation { return [](int, int i) { return i == 0 ? 1 : -1; }; }},
    {"row 1 0 2 0, rounded once",
     {{1, 0}},
     [](int32_t c, int32_t) { return c == -1  ? 1
                                     : c == 1 ? 2
                                              : 0; },
     [](int, int) -> expectation { return [](int, int i) { return i == 0 ? 0 : -1; }; }},
    {"single 255 pixel",
     {{2, 2}},
     [](int32_t c, int32_t r) { return c == 4 && r == 4 ? 255 : 0; },
     [](int, int) -> expectation {
       return [](int r, int i) {
         if ((r == 3 || r == 4) && (i == 3 || i == 4)) return 81;
         if ((r == 2 || r == 5) && (i == 2 || i == 5)) return 1;
         return 0;
       };
     }},
    {"vertical edge",
     {{1, 1}, {2, 2}, {3, 3}, {1, 0}, {2, 0}, {3, 0}},
     [](int32_t c, int32_t) { return c >= 4 ? 255 : 0; },
     [](int hx, int) -> expectation {
       return [hx](int, int i) { return i < 3 ? 0 : i == 3 ? edge_value(hx) : 255; };
     }},
    {"horizontal edge",
     {{0, 1}, {0, 2}, {0, 3}},
     [](int32_t, int32_t r) { return r >= 4 ? 255 : 0; },
     [](int, int vy) -> expectation {
       return [vy](int r, int) { return r < 3 ? 0 : r == 3 ? edge_value(vy) : 255; };
     }},
};

TEST(filter_impls, give_the_values_worked_by_hand) {
  test_plane plane(48, 40);
  const int32_t x = 5, y = 7;
  for (const worked_case& c : worked_cases) {
    plane.paint([&](int32_t col, int32_t row, int) {
      return c.source(col - x - block_margin, row - y - block_margin);
    });
    for (const auto& [hx, vy] : c.phases) {
      const expectation expected = c.expected(hx, vy);
      for (const filter_impl& impl : filter_impls()) {
        std::vector<uint8_t> block;
        if (!run_path(impl.paths, plane.origin(x, y), plane.row(), hx, vy, &block)) continue;
        for (size_t b = 0; b < block_bytes; ++b) {
          const int want = expected(static_cast<int>(b / 48), static_cast<int>(b % 48 / 3));
          if (want < 0) continue;
          ASSERT_EQ(block[b], want) << impl.name << ", " << c.what << " at phases (" << hx << ", "
                                    << vy << "), row " << b / 48 << ", pixel " << b % 48 / 3;
        }
      }
    }
  }
}

}  // namespace

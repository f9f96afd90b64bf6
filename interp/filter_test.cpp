// Every kernel of every level, each path in each of its forms, held against the scalar rendering
// and against values worked out by hand; and the choice among levels and forms.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <sstream>
#include <string>

#include "levels.h"
#include "model.h"
#include "test_plane.h"

// Test names and messages show a kernel by its name (found beside the type, in this namespace).
static void PrintTo(const kernel& k, std::ostream* out) {
  *out << k.name;
}

namespace {

// Kernels with other addresses than the scalar ones, for the choice among forms.
void copy_avx512_stand_in(uint8_t* dst, const uint8_t* src, ptrdiff_t row) {
  copy_scalar(dst, src, row);
}
void two_d_stand_in(uint8_t* dst, const uint8_t* src, ptrdiff_t row, int hx, int vy) {
  two_d_scalar(dst, src, row, hx, vy);
}
void two_d_vnni_stand_in(uint8_t* dst, const uint8_t* src, ptrdiff_t row, int hx, int vy) {
  two_d_stand_in(dst, src, row, hx, vy);
}

constexpr int guard = 64;  // bytes checked on either side of the destination block
constexpr uint8_t guard_value = 0xA5;

// Runs the path that the phases select, if `paths` has it, into a block with guard bytes
// around it; returns the block without the guards.
bool run_guarded(const filter_paths& paths, const uint8_t* origin, ptrdiff_t row, int hx, int vy,
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

bool processor_runs(const filter_level& level) {
  return (level.needs & this_cpu().features) == level.needs;
}

TEST(filter_levels, holds_every_level_the_build_asked_for) {
  // Those built, less any this processor cannot run; the test's output names both.
  std::string expected, skipped;
  std::istringstream built(BLOCKWALK_BUILT_LEVEL_NAMES);
  for (std::string name; built >> name;) {
    const auto level = std::find_if(built_levels().begin(), built_levels().end(),
                                    [&](const filter_level* l) { return l->name == name; });
    ASSERT_NE(level, built_levels().end()) << name << " was built but holds no level";
    std::string& list = processor_runs(**level) ? expected : skipped;
    list += (list.empty() ? "" : " ") + name;
  }
  std::string names;
  for (const filter_impl& impl : filter_impls()) {
    names += (names.empty() ? "" : " ") + std::string(impl.name);
  }
  EXPECT_EQ(names, expected);
  std::printf("levels tested: %s; built but not run by this processor: %s\n", names.c_str(),
              skipped.empty() ? "none" : skipped.c_str());
}

TEST(filter_levels, choose_each_paths_form_by_the_processors_traits) {
  // A level of two forms for two paths, the scalar kernels standing in for both forms.
  // A form that needs a feature beyond the level's is chosen only where the processor has it.
  static constexpr kernel_form forms[] = {
      {block_path::copy, "masked_stores", copy_scalar, trait_fast_masked_stores},
      {block_path::copy, "whole_stores", copy_avx512_stand_in},
      {block_path::two_d, "avx_vnni", two_d_vnni_stand_in, trait_full_rate_dot_products,
       feature_avx_vnni},
      {block_path::two_d, "dpwssd", two_d_scalar, trait_full_rate_dot_products},
      {block_path::two_d, "madd", two_d_stand_in},
  };
  // The scalar kernels' addresses are known only at link time here: checked as the program runs.
  const filter_level level{"test", 0, forms};
  EXPECT_TRUE(well_formed(level));
  const uint32_t all =
      trait_fast_masked_stores | trait_full_rate_dot_products | trait_fast_two_source_permutes;
  const struct {
    uint32_t features, traits;
    copy_path copy;
    filter_2d_path two_d;
  } cases[] = {
      {0, 0, copy_avx512_stand_in, two_d_stand_in},
      {0, trait_fast_masked_stores, copy_scalar, two_d_stand_in},
      {0, trait_full_rate_dot_products, copy_avx512_stand_in, two_d_scalar},
      {0, all, copy_scalar, two_d_scalar},
      {feature_avx_vnni, all, copy_scalar, two_d_vnni_stand_in},
      {feature_avx_vnni, trait_fast_masked_stores, copy_scalar, two_d_stand_in},
  };
  for (const auto& c : cases) {
    const filter_paths p = chosen_paths(level, cpu_info{c.features, c.traits});
    EXPECT_EQ(p.copy, c.copy) << c.traits;
    EXPECT_EQ(p.two_d, c.two_d) << c.traits;
    EXPECT_EQ(p.horizontal, nullptr);
  }
}

TEST(level_cap, admits_the_levels_up_to_the_one_named) {
  const filter_paths none{};
  const std::vector<filter_impl> all = {
      {"scalar", none}, {"sse2", none}, {"avx2", none}, {"avx512", none}};
  const std::vector<filter_impl> without_avx512(all.begin(), all.end() - 1);
  struct cap_case {
    const std::vector<filter_impl>* impls;
    const char* cap;
    size_t admitted;
    bool unknown;
  };
  const cap_case x86_cases[] = {
      {&all, nullptr, 4, false},
      {&all, "", 4, false},
      {&all, "scalar", 1, false},
      {&all, "sse2", 2, false},
      {&all, "avx2", 3, false},
      {&all, "avx512", 4, false},
      {&without_avx512, "avx512", 3, false},  // the highest this processor has
      {&all, "avx512-other", 1, true},        // a form is no level to name
      {&all, "AVX2", 1, true},
      {&all, "avx9", 1, true},
      {&all, "neon", 1, true},
      {&all, "avx2 ", 1, true},
  };
  const std::vector<filter_impl> arm = {{"scalar", none}, {"neon", none}};
  const cap_case arm_cases[] = {
      {&arm, nullptr, 2, false},   {&arm, "scalar", 1, false}, {&arm, "neon", 2, false},
      {&arm, "dotprod", 2, false},  // the levels above neon cap nothing more here
      {&arm, "i8mm", 2, false},    {&arm, "avx2", 1, true},    {&arm, "NEON", 1, true},
  };
#if defined(__aarch64__)
  const auto& cases = arm_cases;
  (void)x86_cases;
#else
  const auto& cases = x86_cases;
  (void)arm_cases;
#endif
  for (const cap_case& c : cases) {
    bool unknown = !c.unknown;
    EXPECT_EQ(admitted_impls(*c.impls, c.cap, &unknown), c.admitted) << (c.cap ? c.cap : "none");
    EXPECT_EQ(unknown, c.unknown) << (c.cap ? c.cap : "none");
  }
}

TEST(level_cap, holds_interpolate_block_to_the_level_named) {
  // CTest runs this suite once under each level's name in BLOCKWALK_ISA; without one, the
  // highest level this processor runs is used.
  const auto& impls = filter_impls();
  const char* cap = std::getenv("BLOCKWALK_ISA");
  if (!cap) cap = impls.back().name;
  const auto named = std::find_if(impls.begin(), impls.end(), [&](const filter_impl& impl) {
    return std::string(impl.name) == cap;
  });
  if (named == impls.end()) GTEST_SKIP() << "this processor or build has no level " << cap;
  EXPECT_STREQ(active_level(), cap);
  // The named level's own paths, where it has them; the others from below it.
  const filter_paths& active = active_paths();
  const filter_paths& own = named->paths;
  const auto own_or_none = [](auto got, auto want) { return !want || got == want; };
  EXPECT_TRUE(own_or_none(active.copy, own.copy));
  EXPECT_TRUE(own_or_none(active.horizontal, own.horizontal));
  EXPECT_TRUE(own_or_none(active.vertical, own.vertical));
  EXPECT_TRUE(own_or_none(active.two_d, own.two_d));
  for (auto above = named + 1; above != impls.end(); ++above) {
    EXPECT_NE(active.two_d, above->paths.two_d) << above->name << " is above the cap";
  }
}

class each_kernel : public testing::TestWithParam<kernel> {
 protected:
  void SetUp() override {
    const kernel& k = GetParam();
    if (!k.runs_here) GTEST_SKIP() << "this processor lacks " << k.lacks << " (" << k.name << ")";
  }
  const filter_paths& paths() const { return GetParam().paths; }
  void match_on_plane(guarded_bytes::side guarded);
};

TEST_P(each_kernel, matches_the_scalar_rendering) {
  // Each plane is checked against a guard page at its end and at its start.
  for (const auto guarded : {guarded_bytes::end_guarded, guarded_bytes::start_guarded}) {
    SCOPED_TRACE(guarded == guarded_bytes::end_guarded ? "guard page after" : "guard page before");
    match_on_plane(guarded);
  }
}

void each_kernel::match_on_plane(guarded_bytes::side guarded) {
  const filter_paths reference = chosen_paths(*built_levels().front(), cpu_info{});
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
        // The four clamped corners, then positions anywhere in the clamped range.
        for (int p = 0; p < 8; ++p) {
          const int32_t x =
              p < 4 ? xs[p % 2]
                    : std::uniform_int_distribution<int32_t>(-15, plane.stride - 2)(positions);
          const int32_t y =
              p < 4 ? ys[p / 2]
                    : std::uniform_int_distribution<int32_t>(-15, plane.height - 2)(positions);
          std::vector<uint8_t> want, got;
          if (!run_guarded(paths(), plane.origin(x, y), plane.row(), hx, vy, &got)) continue;
          ASSERT_TRUE(run_guarded(reference, plane.origin(x, y), plane.row(), hx, vy, &want));
          ASSERT_EQ(got, want) << GetParam().name << " on " << name << ", phases (" << hx << ", "
                               << vy << "), position (" << x << ", " << y
                               << "): " << first_difference(got, want);
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

TEST_P(each_kernel, gives_the_values_worked_by_hand) {
  test_plane plane(48, 40);
  const int32_t x = 5, y = 7;
  size_t checked = 0;
  for (const worked_case& c : worked_cases) {
    plane.paint([&](int32_t col, int32_t row, int) {
      return c.source(col - x - block_margin, row - y - block_margin);
    });
    for (const auto& [hx, vy] : c.phases) {
      const expectation expected = c.expected(hx, vy);
      std::vector<uint8_t> block;
      if (!run_guarded(paths(), plane.origin(x, y), plane.row(), hx, vy, &block)) continue;
      ++checked;
      for (size_t b = 0; b < block_bytes; ++b) {
        const int want = expected(static_cast<int>(b / 48), static_cast<int>(b % 48 / 3));
        if (want < 0) continue;
        ASSERT_EQ(block[b], want) << GetParam().name << ", " << c.what << " at phases (" << hx
                                  << ", " << vy << "), row " << b / 48 << ", pixel " << b % 48 / 3;
      }
    }
  }
  // A copy has no worked case; every filter has several.
  EXPECT_EQ(checked > 0, paths().copy == nullptr) << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(built, each_kernel, testing::ValuesIn(every_kernel()),
                         [](const testing::TestParamInfo<kernel>& info) {
                           return info.param.name;
                         });

}  // namespace

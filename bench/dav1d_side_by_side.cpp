// Our kernels and interpolate_block side by side with dav1d's hand-written put kernels of its
// sharp 8-tap filter (16 x 16 blocks, 8 bits), at one level: the one interpolate_block uses
// (BLOCKWALK_ISA=avx2 in front for the AVX2 level), and dav1d's flags capped to match. In one
// process, in rounds that take turns, each contender runs the walk's positions once at each of
// the destination's 64 places (block_runs.h); a place keeps its fastest pass over the rounds.
// Printed: ns per block at the fastest place and at the median one, and per multiply-accumulate
// (MAC) against dav1d's: our block is 3 channels of 48-byte rows under 4 taps (3,072 MACs one
// way, 6,720 both), dav1d's 1 channel under 8 (2,048 and 4,992); the copy per byte (768, 256).
//
// Built only where dav1d's source and build are given: -DBLOCKWALK_DAV1D=SOURCE
// -DBLOCKWALK_DAV1D_BUILD=BUILD. Usage: dav1d_side_by_side [ROUNDS], 15 by default.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <list>
#include <random>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "block_runs.h"
#include "dav1d_table.h"
#include "interpolate.h"
#include "levels.h"
#include "model.h"

namespace {

constexpr int32_t side = 600;
constexpr ptrdiff_t row = ptrdiff_t{side} * 3;

const std::vector<uint8_t>& plane() {
  static const std::vector<uint8_t> bytes = [] {
    std::vector<uint8_t> b(size_t{3} * side * side);
    std::mt19937 engine(1);
    for (uint8_t& v : b) v = static_cast<uint8_t>(engine() >> 24);
    return b;
  }();
  return bytes;
}

// A block's top-left source pixel at the walk's whole position: ours, and the same bytes for
// dav1d, whose pixel is one byte.
const uint8_t* origin(int whole) {
  return plane().data() + (whole + block_margin) * (row + 3);
}

using pass_fn = std::function<void(uint8_t* dst, const std::vector<int>& positions)>;

struct contender {
  contender(std::string name_, double work_, pass_fn pass_)
      : name(std::move(name_)), work(work_), pass(std::move(pass_)) {}
  std::string name;
  double work;   // MACs per block (bytes for the copy)
  pass_fn pass;  // one pass over the walk's positions into dst
  destination_places places;
};

// A pass over the positions of `block(path, dst, n, hx, vy)`, with the phases of path P and P
// itself as a constant, so that every contender's loop is as tight as the others'.
template <block_path P, typename F>
pass_fn pass_on(F block) {
  return [block](uint8_t* dst, const std::vector<int>& positions) {
    for (const int n : positions) {
      block(std::integral_constant<block_path, P>{}, dst, n, filters_h(P) ? n % 4 : 0,
            filters_v(P) ? n % 4 : 0);
    }
  };
}
template <typename F>
pass_fn pass_on(block_path p, F block) {
  switch (p) {
    case block_path::copy:
      return pass_on<block_path::copy>(block);
    case block_path::horizontal:
      return pass_on<block_path::horizontal>(block);
    case block_path::vertical:
      return pass_on<block_path::vertical>(block);
    case block_path::two_d:
      return pass_on<block_path::two_d>(block);
  }
  return {};
}

// Whether `k` is the kernel interpolate_block calls for its path.
bool is_chosen(const kernel& k) {
  const filter_paths& a = active_paths();
  const filter_paths& f = k.paths;
  switch (k.path) {
    case block_path::copy:
      return f.copy == a.copy;
    case block_path::horizontal:
      return f.horizontal == a.horizontal;
    case block_path::vertical:
      return f.vertical == a.vertical;
    case block_path::two_d:
      return f.two_d == a.two_d;
  }
  return false;
}

void run_round(contender& c, const std::vector<int>& positions) {
  for (size_t place = 0; place < destination_places::count; ++place) {
    uint8_t* dst = c.places.at(place);
    const auto start = std::chrono::steady_clock::now();
    c.pass(dst, positions);
    const std::chrono::duration<double, std::nano> took = std::chrono::steady_clock::now() - start;
    c.places.record(place, took.count() / static_cast<double>(positions.size()));
  }
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::atoi(argv[1]) : 15;
  if (argc > 2 || rounds < 1) {
    std::fprintf(stderr, "usage: dav1d_side_by_side [ROUNDS]\n");
    return 2;
  }
  const std::string level = active_level();
  if (level != "avx2" && level != "avx512") {
    std::fprintf(stderr, "dav1d_side_by_side: level %s has no dav1d counterpart here\n",
                 level.c_str());
    return 1;
  }
  const blockwalk_dav1d_put dav1d = blockwalk_dav1d_sharp_put(level == "avx512");
  if (!dav1d) {
    std::fprintf(stderr, "dav1d_side_by_side: dav1d has no %s kernels on this processor\n",
                 level.c_str());
    return 1;
  }
  std::printf(
      "level %s, %d rounds; ns per block at the fastest and the median of 64 places, and "
      "per MAC (per byte for the copy) against dav1d's sharp filter\n",
      level.c_str(), rounds);
  for (const block_path p : every_path) {
    const bool copy = p == block_path::copy;
    const double ours = copy ? block_bytes : p == block_path::two_d ? 6720 : 3072;
    const double theirs = copy ? 256 : p == block_path::two_d ? 4992 : 2048;
    // A list, as a contender's places are not to be copied.
    std::list<contender> contenders;
    contenders.emplace_back("dav1d sharp", theirs,
                            pass_on(p, [dav1d](auto, uint8_t* dst, int n, int hx, int vy) {
                              dav1d(dst, 16, origin(n / 4), row, 16, 16, 4 * hx, 4 * vy);
                            }));
    contenders.emplace_back(
        "interpolate_block", ours, pass_on(p, [](auto, uint8_t* dst, int n, int hx, int vy) {
          interpolate_block(side, dst, plane().data(), side, n / 4, n / 4, hx, vy);
        }));
    // Every form of the level's kernel for this path, and the kernel interpolate_block calls
    // (a lower level's where this one leaves the path to it), each through its own type.
    for (const kernel& k : every_kernel()) {
      if (k.path != p || !k.runs_here || (k.level != level && !is_chosen(k))) continue;
      const filter_paths f = k.paths;
      contenders.emplace_back(k.name + (is_chosen(k) ? " (chosen)" : ""), ours,
                              pass_on(p, [f](auto path, uint8_t* dst, int n, int hx, int vy) {
                                call_path(f, decltype(path)::value, hx, vy, dst, origin(n / 4),
                                          row);
                              }));
    }
    const std::vector<int> positions = walk_positions(!copy);
    for (int r = 0; r < rounds; ++r) {
      for (contender& c : contenders) run_round(c, positions);
    }
    const contender& anchor = contenders.front();
    std::printf("\n%-10s %-32s %9s %9s %9s %9s\n", path_name(p), "", "fastest", "median",
                "÷ fastest", "÷ median");
    for (const contender& c : contenders) {
      const double fastest = c.places.fastest() / c.work * anchor.work / anchor.places.fastest();
      const double median = c.places.median() / c.work * anchor.work / anchor.places.median();
      std::printf("%-10s %-32s %9.1f %9.1f %9.2f %9.2f\n", "", c.name.c_str(), c.places.fastest(),
                  c.places.median(), fastest, median);
    }
  }
  return 0;
}

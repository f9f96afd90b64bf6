// ns per block for every kernel this processor runs (each level's paths in each of their forms),
// and for interpolate_block, at the walk's positions over a 600 x 600 plane of random bytes. One
// iteration is one block.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "interpolate.h"
#include "levels.h"
#include "walk.h"

namespace {

constexpr int32_t side = 600;

const std::vector<uint8_t>& plane() {
  static const std::vector<uint8_t> bytes = [] {
    std::vector<uint8_t> b(size_t{3} * side * side);
    std::mt19937 engine(1);
    for (uint8_t& v : b) v = static_cast<uint8_t>(engine() >> 24);
    return b;
  }();
  return bytes;
}

// The walk's whole-pixel positions n / 4 with their phase n % 4: whole ones for the copy,
// fractional ones for the filters.
std::vector<int> walk_positions(bool fractional) {
  std::vector<int> n;
  for (int i = walk_first; i <= walk_last; ++i) {
    if ((i % 4 != 0) == fractional) n.push_back(i);
  }
  return n;
}

enum class path { copy, horizontal, vertical, two_d };
const char* const path_names[] = {"copy", "horizontal", "vertical", "two_d"};

void phases_of(path p, int n, int* hx, int* vy) {
  *hx = p == path::horizontal || p == path::two_d ? n % 4 : 0;
  *vy = p == path::vertical || p == path::two_d ? n % 4 : 0;
}

template <typename F>
void run_blocks(benchmark::State& state, path p, F block) {
  const std::vector<int> positions = walk_positions(p != path::copy);
  alignas(64) uint8_t dst[block_bytes];
  size_t i = 0;
  for (auto _ : state) {
    const int n = positions[i];
    i = i + 1 == positions.size() ? 0 : i + 1;
    int hx, vy;
    phases_of(p, n, &hx, &vy);
    block(dst, n / 4, hx, vy);
    benchmark::DoNotOptimize(dst);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * block_bytes));
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}

// One implementation's path, called directly at the block's origin.
void bench_path(benchmark::State& state, path p, filter_paths paths) {
  const ptrdiff_t row = ptrdiff_t{side} * 3;
  run_blocks(state, p, [&](uint8_t* dst, int whole, int hx, int vy) {
    const uint8_t* origin = plane().data() + (whole + block_margin) * (row + 3);
    run_filter_path(paths, dst, origin, row, hx, vy);
  });
}

// The whole routine, as a caller sees it: split, clamp, dispatch.
void bench_interpolate_block(benchmark::State& state, path p) {
  run_blocks(state, p, [](uint8_t* dst, int whole, int hx, int vy) {
    interpolate_block(side, dst, plane().data(), side, whole, whole, hx, vy);
  });
}

// The floor for the copy: sixteen 48-byte memcpy calls.
void bench_memcpy(benchmark::State& state) {
  const ptrdiff_t row = ptrdiff_t{side} * 3;
  run_blocks(state, path::copy, [&](uint8_t* dst, int whole, int, int) {
    const uint8_t* s = plane().data() + (whole + block_margin) * (row + 3);
    for (int r = 0; r < block_size; ++r) std::memcpy(dst + r * block_row_bytes, s + r * row, 48);
  });
}

const bool registered = [] {
  benchmark::RegisterBenchmark("copy/memcpy", bench_memcpy);
  for (const path p : {path::copy, path::horizontal, path::vertical, path::two_d}) {
    const std::string name = path_names[static_cast<int>(p)];
    benchmark::RegisterBenchmark((name + "/interpolate_block").c_str(), bench_interpolate_block, p);
    for (const kernel& k : every_kernel()) {
      if (!k.runs_here || name != k.path) continue;
      // "two_d/avx512_madd": the path, then the level and the form.
      const std::string form = k.name.substr(std::string(k.level).size() + 1 + name.size());
      benchmark::RegisterBenchmark((name + "/" + k.level + form).c_str(), bench_path, p, k.paths);
    }
  }
  return true;
}();

}  // namespace

BENCHMARK_MAIN();

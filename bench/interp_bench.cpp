// ns per block for every kernel this processor runs (each level's paths in each of their forms),
// called directly, and for interpolate_block, at the walk's positions over a 600 x 600 plane of
// random bytes. One iteration is one block; the destination moves through 64 places in its page
// (block_runs.h), and the counters fastest_ns and median_ns give the fastest place's time and the
// median place's.
#include <benchmark/benchmark.h>
#include <sys/mman.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "block_runs.h"
#include "interpolate.h"
#include "levels.h"
#include "model.h"

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

void phases_of(block_path p, int n, int* hx, int* vy) {
  *hx = filters_h(p) ? n % 4 : 0;
  *vy = filters_v(p) ? n % 4 : 0;
}

// Passes over the walk's positions (whole ones for the copy, fractional ones for the filters),
// each at the next place of the destination.
template <typename F>
void run_blocks(benchmark::State& state, block_path p, F block) {
  const std::vector<int> positions = walk_positions(p != block_path::copy);
  destination_places places;
  size_t place = 0;
  while (state.KeepRunningBatch(static_cast<benchmark::IterationCount>(positions.size()))) {
    uint8_t* dst = places.at(place);
    const auto start = std::chrono::steady_clock::now();
    for (const int n : positions) {
      int hx, vy;
      phases_of(p, n, &hx, &vy);
      block(dst, n / 4, hx, vy);
      benchmark::DoNotOptimize(dst);
      benchmark::ClobberMemory();
    }
    const std::chrono::duration<double, std::nano> took = std::chrono::steady_clock::now() - start;
    places.record(place, took.count() / static_cast<double>(positions.size()));
    place = (place + 1) % destination_places::count;
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * block_bytes));
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
  state.counters["fastest_ns"] = places.fastest();
  state.counters["median_ns"] = places.median();
}

const uint8_t* origin(int whole) {
  const ptrdiff_t row = ptrdiff_t{side} * 3;
  return plane().data() + (whole + block_margin) * (row + 3);
}

// One kernel, called directly at the block's origin through its own type.
void bench_kernel(benchmark::State& state, const kernel& k) {
  const ptrdiff_t row = ptrdiff_t{side} * 3;
  const filter_paths& f = k.paths;
  switch (k.path) {
    case block_path::copy:
      return run_blocks(state, k.path, [&](uint8_t* dst, int whole, int, int) {
        f.copy(dst, origin(whole), row);
      });
    case block_path::horizontal:
      return run_blocks(state, k.path, [&](uint8_t* dst, int whole, int hx, int) {
        f.horizontal(dst, origin(whole), row, hx);
      });
    case block_path::vertical:
      return run_blocks(state, k.path, [&](uint8_t* dst, int whole, int, int vy) {
        f.vertical(dst, origin(whole), row, vy);
      });
    case block_path::two_d:
      return run_blocks(state, k.path, [&](uint8_t* dst, int whole, int hx, int vy) {
        f.two_d(dst, origin(whole), row, hx, vy);
      });
  }
}

// The whole routine, as a caller sees it: split, clamp, dispatch.
void bench_interpolate_block(benchmark::State& state, block_path p) {
  run_blocks(state, p, [](uint8_t* dst, int whole, int hx, int vy) {
    interpolate_block(side, dst, plane().data(), side, whole, whole, hx, vy);
  });
}

// The calls of the batch benchmark, the same as bench/python_batch.py's: all paths, vectors of
// both signs, over the plane's middle.
constexpr size_t batch_calls = 100000;
int32_t batch_call(size_t i, int k) {
  switch (k) {
    case 0:
      return static_cast<int32_t>(16 + i * 7919 % 500);
    case 1:
      return static_cast<int32_t>(16 + i * 104729 % 500);
    case 2:
      return static_cast<int32_t>(i % 17) - 8;
  }
  return static_cast<int32_t>(i / 17 % 17) - 8;
}

// An array for a batch's blocks as NumPy makes one (which is what interpolate_blocks returns):
// not zeroed, and on Linux in huge pages where the array is large, which spares a batch most of
// its page faults and address translations.
struct batch_array {
  uint8_t* bytes = nullptr;
  explicit batch_array(size_t size) {
    if (posix_memalign(reinterpret_cast<void**>(&bytes), size_t{1} << 21, size) != 0) {
      throw std::bad_alloc();
    }
    madvise(bytes, size, MADV_HUGEPAGE);
  }
  ~batch_array() { std::free(bytes); }
  batch_array(const batch_array&) = delete;
  batch_array& operator=(const batch_array&) = delete;
};

// 100,000 calls of interpolate_block into one array, as the Python module's interpolate_blocks
// makes them: the floor it is held to. One iteration is the whole batch, into an array made
// for it (`fresh`, as interpolate_blocks without out=) or into the same one each time.
void bench_batch(benchmark::State& state, bool fresh) {
  std::vector<int32_t> calls(4 * batch_calls);
  for (size_t i = 0; i < batch_calls; ++i) {
    for (int k = 0; k < 4; ++k) calls[4 * i + k] = batch_call(i, k);
  }
  const batch_array kept(batch_calls * block_bytes);
  for (auto _ : state) {
    std::optional<batch_array> made;
    if (fresh) made.emplace(batch_calls * block_bytes);
    uint8_t* blocks = fresh ? made->bytes : kept.bytes;
    for (size_t i = 0; i < batch_calls; ++i) {
      const int32_t* c = &calls[4 * i];
      interpolate_block(side, blocks + i * block_bytes, plane().data(), side, c[0], c[1], c[2],
                        c[3]);
    }
    benchmark::DoNotOptimize(blocks);
    benchmark::ClobberMemory();
  }
  state.counters["ns_per_block"] =
      benchmark::Counter(1e-9 * batch_calls, benchmark::Counter::kIsIterationInvariantRate |
                                                 benchmark::Counter::kInvert);
}

// The floor for the copy: sixteen 48-byte memcpy calls.
void bench_memcpy(benchmark::State& state) {
  const ptrdiff_t row = ptrdiff_t{side} * 3;
  run_blocks(state, block_path::copy, [&](uint8_t* dst, int whole, int, int) {
    const uint8_t* s = origin(whole);
    for (int r = 0; r < block_size; ++r) std::memcpy(dst + r * block_row_bytes, s + r * row, 48);
  });
}

const bool registered = [] {
  benchmark::RegisterBenchmark("copy/memcpy", bench_memcpy);
  benchmark::RegisterBenchmark("batch/fresh_array", bench_batch, true)
      ->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("batch/same_array", bench_batch, false)
      ->Unit(benchmark::kMillisecond);
  for (const block_path p : every_path) {
    const std::string name = path_name(p);
    benchmark::RegisterBenchmark((name + "/interpolate_block").c_str(), bench_interpolate_block, p);
    for (const kernel& k : every_kernel()) {
      if (!k.runs_here || p != k.path) continue;
      // "two_d/avx512_madd": the path, then the level and the form.
      benchmark::RegisterBenchmark((name + "/" + k.level + "_" + k.variant).c_str(), bench_kernel,
                                   k);
    }
  }
  return true;
}();

}  // namespace

BENCHMARK_MAIN();

// What the fit of a port's arithmetic (fit.h) adds to a check: for the walk over a random picture
// and make_vectors' default set, each written by a faulty port, the check as it runs today
// (compared, grouped, diagnosed) and the fit of every group that differs. One iteration is the
// whole check, or the fit of all its differing groups.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

#include "check.h"
#include "faulty_port.h"
#include "fit.h"
#include "manifest.h"
#include "picture.h"
#include "vector_set.h"

namespace {

check_set walk_over_random_picture() {
  picture_options options;
  options.content = picture_content::random;
  return walk_set("picture.bmp", make_bitmap_picture(options));
}

check_set default_set() {
  char pattern[] = "/tmp/blockwalk_fit_bench_XXXXXX";
  if (!mkdtemp(pattern)) throw std::runtime_error("no scratch directory");
  const std::string dir = pattern;
  std::string summary, error;
  check_set set;
  if (!make_vector_set(dir, {}, &summary, &error) || !read_manifest(dir, &set, &error)) {
    throw std::runtime_error(error);
  }
  std::system(("rm -rf '" + dir + "'").c_str());
  return set;
}

const check_set& set_of(int64_t which) {
  static const check_set walk = walk_over_random_picture(), set = default_set();
  return which ? set : walk;
}

// Ports: the vertical pass first and an unsigned intermediate (points of the grammar), taps a
// byte apart (every byte differs: weights fitted, the search run twice), sums shifted logically
// (no point: the range), a float port of the catalogue.
const std::vector<std::vector<std::string>> ports = {{"vertical_first"},
                                                     {"uint16_intermediate"},
                                                     {"byte_taps"},
                                                     {"logical_shift"},
                                                     {"exact_intermediate", "half_even"}};

std::vector<uint8_t> blocks_of(const check_set& set, const std::vector<std::string>& port) {
  const port_faults faults = injected_port(port);
  std::vector<uint8_t> blocks(set.cases.size() * block_bytes);
  for (size_t n = 0; n < set.cases.size(); ++n) {
    const check_case& c = set.cases[n];
    const std::vector<uint8_t>& plane = set.pictures[c.picture].bitmap.plane;
    faulty_interpolate(c.call.stride, &blocks[n * block_bytes], plane.data(), plane.size(),
                       c.call.height, c.call.x, c.call.y, c.call.mvx, c.call.mvy, faults.switches,
                       faults.own, faults.arithmetic);
  }
  return blocks;
}

std::string label(const benchmark::State& state) {
  std::string words = state.range(0) ? "set" : "walk";
  for (const std::string& w : ports[static_cast<size_t>(state.range(1))]) words += " " + w;
  return words;
}

void check(benchmark::State& state) {
  const check_set& set = set_of(state.range(0));
  const std::vector<uint8_t> blocks = blocks_of(set, ports[static_cast<size_t>(state.range(1))]);
  for (auto _ : state) benchmark::DoNotOptimize(check_stream(set, blocks));
  state.SetLabel(label(state));
}

void fit(benchmark::State& state) {
  const check_set& set = set_of(state.range(0));
  const comparison compared =
      compare_stream(set, blocks_of(set, ports[static_cast<size_t>(state.range(1))]));
  const std::vector<group_report> groups = group_blocks(set, compared);
  size_t differing = 0;
  for (auto _ : state) {
    differing = 0;
    for (const group_report& g : groups) {
      if (!g.differing_bytes) continue;
      benchmark::DoNotOptimize(fit_group(set, compared, g));
      ++differing;
    }
  }
  state.SetLabel(label(state) + ", " + std::to_string(differing) + " groups fitted");
}

void every_port(benchmark::internal::Benchmark* b) {
  for (int64_t which = 0; which < 2; ++which) {
    for (int64_t p = 0; p < static_cast<int64_t>(ports.size()); ++p) b->Args({which, p});
  }
  b->Unit(benchmark::kMillisecond);
}

BENCHMARK(check)->Apply(every_port);
BENCHMARK(fit)->Apply(every_port);

}  // namespace

BENCHMARK_MAIN();

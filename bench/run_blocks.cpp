// Interpolates N blocks with one path of one implementation, at the walk's first 300 positions
// over a 160 x 160 plane of pseudo-random bytes: a fixed amount of work for counting
// instructions under an emulator, where time means nothing (and the start-up is kept small). Usage:
// run_blocks IMPLEMENTATION PATH N, PATH one of copy, horizontal, vertical, two_d; IMPLEMENTATION
// one of filter_impls() or interpolate_block.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "interpolate.h"
#include "levels.h"
#include "model.h"
#include "walk.h"

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: run_blocks IMPLEMENTATION PATH N\n");
    return 2;
  }
  const std::string impl_name = argv[1], path = argv[2];
  const long count = std::strtol(argv[3], nullptr, 10);
  constexpr int32_t side = 160;  // holds the footprint of position 399: pixels up to 133
  constexpr int last = walk_first + 299;
  std::vector<uint8_t> plane(size_t{3} * side * side);
  uint32_t state = 1;
  for (uint8_t& v : plane) {
    state ^= state << 13, state ^= state >> 17, state ^= state << 5;
    v = static_cast<uint8_t>(state >> 24);
  }

  const filter_impl* impl = nullptr;
  for (const filter_impl& i : filter_impls()) {
    if (impl_name == i.name) impl = &i;
  }
  if (!impl && impl_name != "interpolate_block") {
    std::fprintf(stderr, "run_blocks: no implementation %s here\n", impl_name.c_str());
    return 1;
  }
  const auto named = std::find_if(std::begin(every_path), std::end(every_path),
                                  [&](block_path p) { return path == path_name(p); });
  if (named == std::end(every_path)) {
    std::fprintf(stderr, "run_blocks: no path %s\n", path.c_str());
    return 1;
  }
  const bool copy = *named == block_path::copy;
  const bool horizontal = filters_h(*named);
  const bool vertical = filters_v(*named);
  const ptrdiff_t row = ptrdiff_t{side} * 3;
  uint8_t block[block_bytes];
  unsigned checksum = 0;
  int n = walk_first;
  for (long i = 0; i < count; ++i) {
    // The walk's positions with a whole phase for the copy, fractional ones for the filters.
    do n = n == last ? walk_first : n + 1;
    while ((n % 4 == 0) != copy);
    const int hx = horizontal ? n % 4 : 0;
    const int vy = vertical ? n % 4 : 0;
    const int whole = n / 4;
    if (!impl) {
      interpolate_block(side, block, plane.data(), side, whole, whole, hx, vy);
    } else if (!run_filter_path(impl->paths, block,
                                plane.data() + (whole + block_margin) * (row + 3), row, hx, vy)) {
      std::fprintf(stderr, "run_blocks: %s has no %s path\n", impl->name, path.c_str());
      return 1;
    }
    checksum = checksum * 31 + block[i % block_bytes];
  }
  std::printf("%u\n", checksum);
  return 0;
}

// What the benchmarks share: the walk's positions, and the places their blocks are written to.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <new>
#include <vector>

#include "walk.h"

// The walk's positions n: whole ones (n % 4 == 0) for the copy, fractional ones for the filters.
inline std::vector<int> walk_positions(bool fractional) {
  std::vector<int> n;
  for (int i = walk_first; i <= walk_last; ++i) {
    if ((i % 4 != 0) == fractional) n.push_back(i);
  }
  return n;
}

// The destination moves through 64 places, 64 bytes apart, across a 4 KiB page. Where a block's
// stores fall within their page, against the loads of the next block, moves a kernel's time (a
// load whose address matches an earlier store's in its low 12 bits waits for it): a destination
// on the stack lies where the process's stack happens to, and one AVX-512 kernel measured 15.0
// ns in one process and 19.7 ns in another. Each place keeps its fastest pass; the fastest
// place and the median one are what a run reports.
class destination_places {
 public:
  static constexpr size_t count = 64, step = 64, page = 4096;

  destination_places() : bytes_(static_cast<uint8_t*>(std::aligned_alloc(page, 2 * page))) {
    if (!bytes_) throw std::bad_alloc();
    fastest_.assign(count, std::numeric_limits<double>::infinity());
  }
  ~destination_places() { std::free(bytes_); }
  destination_places(const destination_places&) = delete;
  destination_places& operator=(const destination_places&) = delete;

  uint8_t* at(size_t place) const { return bytes_ + step * place; }
  // A pass at `place` took `ns_per_block`.
  void record(size_t place, double ns_per_block) {
    fastest_[place] = std::min(fastest_[place], ns_per_block);
  }
  double fastest() const { return *std::min_element(fastest_.begin(), fastest_.end()); }
  double median() const {
    std::vector<double> sorted = fastest_;
    std::sort(sorted.begin(), sorted.end());
    return (sorted[count / 2 - 1] + sorted[count / 2]) / 2;
  }

 private:
  uint8_t* bytes_;  // two pages: a block of 768 bytes at the last place runs into the second
  std::vector<double> fastest_;
};

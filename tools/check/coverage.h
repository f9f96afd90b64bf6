// What a set of blocks exercises of interpolate_block: the summary that reports end with, and the
// coverage table of make_vectors.
#pragma once

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "check_set.h"
#include "compare.h"

// Which paths, phase pairs and clamps (at "h low", "h high", "v low", "v high") the calls of a
// set ran and never ran, and whether any of them had a negative vector.
struct coverage_summary {
  std::vector<block_path> paths, paths_never;
  std::vector<std::pair<int, int>> phase_pairs, phase_pairs_never;
  std::vector<std::string> clamps, clamps_never;
  bool negative = false;
};

// Of the set's calls, or of those whose blocks `compared` read where it read some but not all
// (a stream cut short): what a check that passes vouches for.
coverage_summary summarize_coverage(const check_set& set, const comparison* compared = nullptr);

// Whether `compared` read some blocks of the set but not all.
bool partly_checked(const check_set& set, const comparison& compared);

// Prints, for each path and phase pair, the vectors in each pair of clamp states (horizontal /
// vertical) as non-negative + negative; then the positions exactly at a bound, the negative
// vectors of each phase, the whole parts far outside the picture and the 32-bit extremes, the
// positions whose quarter-pixel form overflows 32 bits, the vectors whose components' whole
// parts differ, and the copies at the corners of the area a copy may read.
void write_coverage_counts(const check_set& set, std::FILE* to);

// What a set of vectors exercises of interpolate_block: the coverage table of make_vectors.
#pragma once

#include <cstdio>

#include "check.h"

// Prints, for each path and phase pair, the vectors in each pair of clamp states (horizontal /
// vertical) as non-negative + negative; then the positions exactly at a bound, the negative
// vectors of each phase, the whole parts far outside the picture and the 32-bit extremes, and
// the copies at the corners of the area a copy may read.
void write_coverage_table(const check_set& set, std::FILE* to);

// The directories make_vectors writes. A set of reference vectors that covers the whole of
// interpolate_block, beyond what the walk exercises: every phase pair, both signs of vector,
// every clamp, vectors far outside the picture, and copies at the edges of what a copy may read;
// the Python module writes it too. And the walk's calls over a picture, written as a set's are,
// so that a test bench runs the walk as it runs a set.
#pragma once

#include <cstdint>
#include <string>

#include "stimulus.h"

struct vector_set_options {
  std::string picture;  // a picture of the user's, or empty for the two generated ones
  uint32_t seed = 1;    // of the random picture and the positions
  set_formats formats;
};

// Writes the set into `out` (made if missing): its pictures, its manifest, the expected blocks
// under expected/, and the planes and calls, in the formats asked for (see write_bench_files).
// An `out` that holds block files the set names (an earlier run's) is refused and nothing
// written. False, with why in `error`; otherwise `summary` says what went where.
bool make_vector_set(const std::string& out, const vector_set_options& options,
                     std::string* summary, std::string* error);

// Writes into `out` (made if missing) blockwalk's walk over the picture at `picture`: the
// picture as out/picture.bmp, where check_walk finds it, and the walk's expected blocks, plane
// and calls, in `formats`. A picture blockwalk refuses is refused with its message, and so is an
// `out` that holds block files of an earlier run or a set's manifest (which check_walk would
// check instead); then nothing is written. False, with why in `error`; otherwise `summary` says
// what went where.
bool make_walk_files(const std::string& picture, const std::string& out, const set_formats& formats,
                     std::string* summary, std::string* error);

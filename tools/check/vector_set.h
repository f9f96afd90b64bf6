// A set of reference vectors that covers the whole of interpolate_block, beyond what the walk
// exercises: every phase pair, both signs of vector, every clamp, vectors far outside the
// picture, and copies at the edges of what a copy may read. make_vectors writes it; so does the
// Python module.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "stream.h"

// What a set is written as besides its manifest and pictures.
struct set_formats {
  bool bitmaps = true;                 // the expected blocks as block files under expected/
  std::vector<stream_format> streams;  // the expected blocks as one stream, and each plane
};

// Reads a list of formats, "bmp,npy": bmp, bin, npy and memh, each once, apart by commas.
bool parse_set_formats(const std::string& list, set_formats* formats);

struct vector_set_options {
  std::string picture;  // a picture of the user's, or empty for the two generated ones
  uint32_t seed = 1;    // of the random picture and the positions
  set_formats formats;
};

// Writes the set into `out` (made if missing): its pictures, its manifest, the expected blocks
// under expected/ and the planes, in the formats asked for. An `out` that holds block files the
// set names (an earlier run's) is refused and nothing written. False, with why in `error`;
// otherwise `summary` says what went where.
bool make_vector_set(const std::string& out, const vector_set_options& options,
                     std::string* summary, std::string* error);

// Vector sets: a manifest of interpolate_block calls, each with the block file that holds its
// result and the picture whose plane it reads, all in one directory.
#pragma once

#include <string>
#include <vector>

#include "check_set.h"

inline constexpr const char* manifest_name = "vectors.csv";
// Where make_vectors puts the expected blocks, out of the way of those the implementation writes.
inline constexpr const char* expected_dir = "expected";
inline constexpr size_t max_vectors = 100000;
inline constexpr size_t max_manifest_bytes = size_t{64} << 20;

// Reads DIR/vectors.csv (a regular file of at most max_manifest_bytes) and the pictures it names
// into `set`; see parse_manifest.
bool read_manifest(const std::string& dir, check_set* set, std::string* error);

// The blocks a directory holds: its vector set where it has a manifest, otherwise the walk over
// `picture` (DIR/picture.bmp if empty). False, with why in `error` as the tools print it:
// "DIR/vectors.csv line 3: ...", "DIR/picture.bmp: error -1! (...)".
bool read_check_set(const std::string& dir, const std::string& picture, check_set* set,
                    std::string* error);

// Parses a manifest's bytes, loading the pictures it names from `dir`. A bad manifest is
// refused, with "vectors.csv line N: why" in `error`: a missing call column (the derived ones,
// path, hx, vy, clamp_x and clamp_y, may be left out), a field that is not a number, a file
// name that is not a plain name in the directory, a picture that is not an uncompressed 24-bit
// bitmap, a derived column that the vector contradicts, a vector whose footprint the picture's
// plane cannot hold, or more than max_vectors vectors. A leading byte-order mark is skipped.
bool parse_manifest(const std::vector<uint8_t>& bytes, const std::string& dir, check_set* set,
                    std::string* error);

// A column of the manifest that says something of each case's picture: one value per picture.
struct picture_column {
  std::string name;
  std::vector<std::string> values;
};

// The manifest of `set`: a header naming the columns, then one line per case; `more` columns at
// the end, which the parser passes over.
std::string manifest_text(const check_set& set, const std::vector<picture_column>& more = {});

// Whether `name` names a file in the set's own directory: letters, digits and . _ + - only,
// not beginning with a dot.
bool plain_file_name(const std::string& name);

// Vector sets: a manifest of interpolate_block calls, each with the block file that holds its
// result and the picture whose plane it reads, all in one directory.
#pragma once

#include <string>

#include "check.h"

inline constexpr const char* manifest_name = "vectors.csv";
inline constexpr size_t max_vectors = 100000;

// Reads DIR/vectors.csv and the pictures it names into `set`. A bad manifest is refused, with
// "vectors.csv line N: why" in `error`: a missing column, a field that is not a number, a
// file name that is not a plain name in the directory, a picture that is not an uncompressed
// 24-bit bitmap, a path, phase or clamp column that the vector contradicts, or a vector whose
// footprint the picture's plane cannot hold.
bool read_manifest(const std::string& dir, check_set* set, std::string* error);

// The manifest of `set`: a header naming the columns, then one line per case.
std::string manifest_text(const check_set& set);

// Whether `name` names a file in the set's own directory: letters, digits and . _ + - only,
// not beginning with a dot.
bool plain_file_name(const std::string& name);

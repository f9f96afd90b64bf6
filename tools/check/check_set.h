// The blocks a check compares: the pictures, and for each block the file that should hold it
// and the interpolate_block call that makes it. A walk's, or a vector set's (manifest.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "bitmap.h"
#include "block_file.h"
#include "call.h"

struct check_picture {
  std::string name;       // as reports name it
  bitmap_picture bitmap;  // an uncompressed 24-bit picture, with its plane
  block_layout layout;    // of its block files
};

// One block: the file that should hold it, and the interpolate_block call that makes it.
struct check_case {
  std::string file;  // within the checked directory, or as a stream's block is named
  size_t picture = 0;
  block_call call;
  size_t line = 0;  // of the manifest that names it; 0 in a walk
};

struct check_set {
  std::vector<check_picture> pictures;
  std::vector<check_case> cases;
  bool walk = false;  // blockwalk's own walk, rather than a set of vectors
};

// blockwalk's walk over a picture that suits it: block0100.bmp ... block1999.bmp.
check_set walk_set(const std::string& name, bitmap_picture picture);

// The walk over the picture at `path`, read as blockwalk reads it. False where blockwalk would
// refuse it, with what blockwalk prints and why in `error`: "error -1! (cannot be opened: a
// directory)".
bool read_walk_set(const std::string& path, check_set* set, std::string* error);

// Names each case by its place in a stream of the set's blocks and the file it stands for, as
// reports then name it: "block 150 (vector0151.bmp, manifest line 152)", "block 0 (block0100.bmp)".
void name_by_stream_place(check_set* set);

// One block file as a checked implementation wrote it, against the file blockwalk writes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "bitmap.h"

// The bytes every block file of one picture holds besides its pixels.
struct block_layout {
  std::vector<uint8_t> prefix;     // file header and info block; the pixels follow
  std::vector<uint8_t> profile;    // a colour profile after the pixels, or nothing
  bool profile_reference = false;  // the info block refers to a profile
  size_t file_size() const;
};

// The layout of the block files of `picture` (whose info block is at least min_info_size).
block_layout make_block_layout(const bitmap_picture& picture);

// A header field that differs; bytes of the info block or the profile are "fields" too, named
// after their first differing byte.
struct field_difference {
  const char* field;
  size_t at;  // its first byte in the file
  int64_t expected, found;
};

// What a file's bytes are, next to a block file of `layout`.
struct block_comparison {
  std::string problem;  // "not a bitmap", "too short" or "too long"; empty if comparable
  std::vector<field_difference> fields;
};

// Compares the bytes of a file (at most layout.file_size() + 1 of them) with a block file of
// `layout`. Pixels lie at prefix.size() whatever the file's own header says; a comparable file
// has exactly the expected size.
block_comparison compare_block_file(const block_layout& layout, const uint8_t* found,
                                    size_t found_size);

// The header fields in the order reports list them.
const std::vector<const char*>& field_names();

enum class file_state { read, missing, unreadable };

// Reads at most `limit` bytes of the regular file at `path` into `bytes`. Anything else is
// reported, not followed or waited on: no entry (missing), or, as `reason`, what it is (a
// directory, a named pipe, a dangling symbolic link, ...) or why it cannot be read.
file_state read_regular_file(const std::string& path, size_t limit, std::vector<uint8_t>* bytes,
                             std::string* reason);

// The first stage of a check: each block's file read and compared with the file blockwalk
// writes, header, info block, profile and pixels.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "block_file.h"
#include "check_set.h"

struct case_outcome {
  file_state state = file_state::missing;
  std::string reason;                    // why an unreadable file is
  size_t size = 0;                       // bytes read, up to one beyond the expected size
  std::vector<uint8_t> expected, found;  // the pixels, where compared
  bool differs = false;                  // anywhere in the file
};

// A header field that differs in some files, and the first of them.
struct header_report {
  const char* field = nullptr;
  size_t files = 0;
  size_t first_case = 0;
  field_difference first{};
};

struct comparison {
  bool pixels_only = false;            // blocks from a stream, which has no headers
  std::vector<case_outcome> outcomes;  // one per case
  size_t checked = 0, differing = 0;
  std::vector<size_t> missing, unreadable;  // cases
  std::vector<header_report> headers;       // fields that differ somewhere, in field order
};

// Reads each case's file from `dir` and compares it with the file blockwalk writes, its pixels
// from interpolate_block.
comparison compare_files(const check_set& set, const std::string& dir);

// Compares the blocks of a stream (block_bytes each, in set order) with interpolate_block's,
// pixels only; the cases beyond its last block are missing.
comparison compare_stream(const check_set& set, const std::vector<uint8_t>& blocks);

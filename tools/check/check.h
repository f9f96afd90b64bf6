// Checking another implementation's block files against the ones blockwalk writes: the blocks to
// check, and everything the check found in them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "bitmap.h"
#include "block_file.h"
#include "render.h"

struct check_picture {
  std::string name;       // as reports name it
  bitmap_picture bitmap;  // an uncompressed 24-bit picture, with its plane
  block_layout layout;    // of its block files
};

// One block: the file that should hold it, and the interpolate_block call that makes it.
struct check_case {
  std::string file;  // within the checked directory
  size_t picture = 0;
  block_call call;
};

struct check_set {
  std::vector<check_picture> pictures;
  std::vector<check_case> cases;
  bool walk = false;  // blockwalk's own walk, rather than a set of vectors
};

// blockwalk's walk over a picture that suits it: block0100.bmp ... block1999.bmp.
check_set walk_set(const std::string& name, bitmap_picture picture);

// The walk over the picture at `path`, read as blockwalk reads it; returns blockwalk's status
// for it: bitmap_ok, or the status blockwalk refuses it with (unusable_picture among them), and
// for a picture that cannot be opened, why in `problem` (empty if it is missing).
int32_t read_walk_set(const std::string& path, check_set* set, std::string* problem = nullptr);

// Blocks that share a path, phases, clamp states and the sign of their vector.
struct group_key {
  block_path path = block_path::copy;
  int phase[2] = {0, 0};
  clamp_state clamp[2] = {clamp_state::none, clamp_state::none};
  bool negative = false;  // either component of the vector is negative
  bool operator<(const group_key& other) const;
};

group_key group_of(const block_call& call);

// A fault that reproduces a group's bytes, with the fields that say which form of it.
struct diagnosed_fault {
  std::string name;
  std::vector<std::pair<std::string, std::variant<int64_t, std::string>>> fields;
  fault_switches switches;  // one setting that reproduces the bytes
};

struct pixel_difference {
  size_t case_index = 0;
  int row = 0, pixel = 0, channel = 0;
  int expected = 0, found = 0;
};

struct group_report {
  group_key key;
  std::vector<size_t> cases;  // its blocks that were compared
  size_t differing_blocks = 0, differing_bytes = 0;
  int max_difference = 0;                          // in absolute value
  size_t plus_one = 0, minus_one = 0, larger = 0;  // differences found - expected
  std::optional<pixel_difference> first;           // in set order, then byte order
  std::vector<diagnosed_fault> diagnosis;          // for a group with differences
};

struct header_report {
  const char* field = nullptr;
  size_t files = 0;
  size_t first_case = 0;
  field_difference first{};
};

struct case_outcome {
  file_state state = file_state::missing;
  std::string reason;                    // why an unreadable file is
  size_t size = 0;                       // bytes read, up to one beyond the expected size
  std::vector<uint8_t> expected, found;  // the pixels, where compared
  bool differs = false;                  // anywhere in the file
};

struct check_report {
  std::vector<case_outcome> outcomes;  // one per case
  size_t checked = 0, differing = 0;
  std::vector<size_t> missing, unreadable;  // cases
  std::vector<header_report> headers;       // fields that differ somewhere, in field order
  std::vector<group_report> groups;         // every group that has blocks, in key order
  bool identical() const { return differing == 0 && missing.empty() && unreadable.empty(); }
};

// Reads each case's file from `dir`, compares it with the file blockwalk writes (its pixels
// from interpolate_block), and diagnoses every group whose pixels differ.
check_report run_check(const check_set& set, const std::string& dir);

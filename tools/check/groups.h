// The second stage of a check: the compared blocks grouped by path, phases, clamp states and
// sign of vector, with how their pixels differ.
#pragma once

#include <cstddef>
#include <optional>
#include <vector>

#include "compare.h"
#include "faults.h"

struct pixel_difference {
  size_t case_index = 0;
  int row = 0, pixel = 0, channel = 0;
  int expected = 0, found = 0;
};

// How often a pair of values, the one expected and the one found, stands for a differing byte.
struct value_pair {
  int expected = 0, found = 0;
  size_t bytes = 0;
};

struct group_report {
  group_key key;
  std::vector<size_t> cases;  // its blocks that were compared
  size_t differing_blocks = 0, differing_bytes = 0;
  int max_difference = 0;                          // in absolute value
  size_t plus_one = 0, minus_one = 0, larger = 0;  // differences found - expected
  std::optional<pixel_difference> first;           // in set order, then byte order
  std::optional<pixel_difference> worst;           // the first of the largest difference
  size_t rows[16] = {}, columns[16] = {};          // differing bytes by block row, pixel column
  std::vector<value_pair> pairs;                   // the commonest pairs of values, most first
  std::vector<diagnosed_fault> diagnosis;          // filled by the diagnosis, where bytes differ
};

// Every group that has blocks in the set, in key order, with the pixels of its compared blocks
// counted.
std::vector<group_report> group_blocks(const check_set& set, const comparison& compared);

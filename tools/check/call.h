// The calls of a check as reports group and describe them: the model of a call (model.h), the
// group a block belongs to, and the words for paths, phases and clamps.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "model.h"

// The offset of byte `channel` of pixel (column c, row r) in a plane of `plane_size` bytes whose
// rows are `row_bytes` apart, or -1 where it lies outside (however far: positions need not have
// been clamped).
int64_t plane_byte(size_t plane_size, int64_t row_bytes, int64_t c, int64_t r, int channel);

// Blocks that share a path, phases, clamp states and the sign of their vector.
struct group_key {
  block_path path = block_path::copy;
  int phase[2] = {0, 0};
  clamp_state clamp[2] = {clamp_state::none, clamp_state::none};
  bool negative = false;  // either component of the vector is negative
  bool operator<(const group_key& other) const;
};

group_key group_of(const block_call& call);

const char* phase_text(int phase);  // 0, 1/4, 1/2, 3/4
// "(1/4, 3/4)", and "two_d (1/4, 3/4)"
std::string phases_text(const int phase[2]);
std::string path_and_phases(const group_key& key);
const char* clamp_name(clamp_state state);  // none, low, high

// The model of an interpolate_block call, as the checking tools group, place and describe it:
// its arguments, the path and phases they choose, where the clamp puts the block, and the
// group it belongs to in a report.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "faults.h"

enum class block_path { copy, horizontal, vertical, two_d };
enum class clamp_state { none, low, high };

// An interpolate_block call without its buffers.
struct block_call {
  int32_t stride = 0, height = 0, x = 0, y = 0, mvx = 0, mvy = 0;
};

// Axis 0 is horizontal (x, mvx, columns), axis 1 vertical (y, mvy, rows).
inline constexpr int axis_h = 0, axis_v = 1;

// Where a call's block comes from: its path and phases, and its whole-pixel position after the
// vector and the clamp (the top-left source pixel lies block_margin further on).
struct placement {
  block_path path = block_path::copy;
  int phase[2] = {0, 0};
  int64_t whole[2] = {0, 0};
  clamp_state clamp[2] = {clamp_state::none, clamp_state::none};
};

// As the routine places it, or a port with `faults`.
placement place_block(const block_call& call, const fault_switches& faults);
placement place_block(const block_call& call);

// The offset of byte `channel` of pixel (column c, row r) in a plane of `plane_size` bytes whose
// rows are `row_bytes` apart, or -1 where it lies outside (however far: positions need not have
// been clamped).
int64_t plane_byte(size_t plane_size, int64_t row_bytes, int64_t c, int64_t r, int channel);

// Whether a plane of `plane_size` bytes holds every byte the library reads for this call, after
// its clamp.
bool footprint_fits(const block_call& call, size_t plane_size);

// Blocks that share a path, phases, clamp states and the sign of their vector.
struct group_key {
  block_path path = block_path::copy;
  int phase[2] = {0, 0};
  clamp_state clamp[2] = {clamp_state::none, clamp_state::none};
  bool negative = false;  // either component of the vector is negative
  bool operator<(const group_key& other) const;
};

group_key group_of(const block_call& call);

const char* path_name(block_path path);  // copy, horizontal, vertical, two_d
const char* phase_text(int phase);       // 0, 1/4, 1/2, 3/4
// "(1/4, 3/4)", and "two_d (1/4, 3/4)"
std::string phases_text(const int phase[2]);
std::string path_and_phases(const group_key& key);
const char* clamp_name(clamp_state state);  // none, low, high

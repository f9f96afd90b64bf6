// The checking tools' own rendering of the interpolation: the formulas once more, byte by byte
// with every step kept for --explain, and with a switch for each fault that ports of the routine
// commonly have, for the diagnosis. The expected blocks themselves come from the library.
#pragma once

#include <cstddef>
#include <cstdint>

enum class block_path { copy, horizontal, vertical, two_d };
enum class clamp_state { none, low, high };

// An interpolate_block call without its buffers.
struct block_call {
  int32_t stride = 0, height = 0, x = 0, y = 0, mvx = 0, mvy = 0;
};

// A plane's bytes; rows of 3 * stride bytes, but a footprint may run from one into the next.
struct plane_view {
  const uint8_t* data = nullptr;
  size_t size = 0;
};

// Axis 0 is horizontal (x, mvx, columns), axis 1 vertical (y, mvy, rows).
inline constexpr int axis_h = 0, axis_v = 1;

// Every switch off is the routine itself.
struct fault_switches {
  int32_t round_1d = 64;    // rounding offset of the one-dimensional filters
  int32_t round_pass1 = 1;  // and of the two-dimensional filter's passes
  int32_t round_pass2 = 4096;
  bool wrap = false;             // results modulo 256 instead of clamped to 0 ... 255
  int taps[2] = {-1, -1};        // per axis, the taps of this phase instead of its own
  int32_t displace[2] = {0, 0};  // per axis, the source displaced by whole pixels
  bool rows_reversed = false;    // the block's rows stored in the other order
  bool red_blue_swapped = false;
  bool truncating_split[2] = {false, false};  // whole part mv / 4, phase still mv & 3
  bool phases_swapped = false;
  bool no_position_clamp = false;
  int32_t bound_delta[2][2] = {{0, 0}, {0, 0}};  // per axis, the low and high clamp bound moved
  bool copy_clamped = false;  // whole-pixel copies clamped like fractional blocks
  bool two_pass_1d = false;   // one fractional axis filtered as two, phase 0 on the other
};

// Where a call's block comes from: its path and phases, and its whole-pixel position after the
// vector and the clamp (the top-left source pixel lies block_margin further on).
struct placement {
  block_path path = block_path::copy;
  int phase[2] = {0, 0};
  int64_t whole[2] = {0, 0};
  clamp_state clamp[2] = {clamp_state::none, clamp_state::none};
};

placement place_block(const block_call& call, const fault_switches& faults = {});

// One byte of a block and how it came about. The source pixels form a grid of one row or four
// (vertical taps) by one column or four (horizontal taps); what the path does not use is left
// as it was.
struct byte_derivation {
  int rows = 1, columns = 1;
  int64_t index[4][4] = {};   // [row][column]: the source bytes' offsets in the plane
  int32_t source[4][4] = {};  // and their values
  int32_t h_taps[4] = {}, v_taps[4] = {};
  int32_t pass1_sum[4] = {}, pass1[4] = {};  // the two-dimensional filter's first pass, per row
  int32_t sum = 0;                           // the last sum, before its rounding
  int32_t offset = 0, shift = 0;             // which is (sum + offset) >> shift
  int32_t rounded = 0;
  int value = 0;  // the byte: rounded, clamped (or wrapped)
};

// Derives byte (row, pixel, channel) of the block at `where`; false where a source byte lies
// outside the plane.
bool derive_byte(const plane_view& plane, const block_call& call, const placement& where,
                 const fault_switches& faults, int row, int pixel, int channel, byte_derivation* d);

// Whether the plane holds every byte the library reads for this call, after its clamp.
bool footprint_fits(const block_call& call, size_t plane_size);

// Renders the whole block (block_bytes); false where its footprint leaves the plane.
bool render_block(const plane_view& plane, const block_call& call, const fault_switches& faults,
                  uint8_t* block);

const char* path_name(block_path path);     // copy, horizontal, vertical, two_d
const char* clamp_name(clamp_state state);  // none, low, high

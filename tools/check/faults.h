// The faults that ports of interpolate_block commonly have, under one set of names: the
// diagnosis names them, the rendering applies them, the reports print them and the tests'
// faulty port injects them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <variant>
#include <vector>

enum class fault_kind {
  rounding,           // a pass rounds with another offset
  no_clamp,           // results wrap modulo 256
  taps,               // an axis takes another phase's taps
  source_offset,      // the source displaced by whole pixels
  row_order,          // the block's rows in the other order
  channel_order,      // blue and red exchanged
  vector_split,       // the whole part taken as mv / 4
  phases_swapped,     // the axes' phases exchanged
  no_position_clamp,  // a fractional vector's position not clamped
  clamp_bounds,       // a clamp bound off by one
  copy_clamp,         // whole-pixel copies clamped too
  two_pass_1d,        // one fractional axis filtered as the two-dimensional filter
};
inline constexpr size_t fault_kinds = 12;

// "no_clamp"; and the kind a name names, if any.
const char* fault_name(fault_kind kind);
bool fault_named(const std::string& name, fault_kind* kind);

// Faults as the rendering applies them, each field named after its fault; all off, the routine
// itself.
struct fault_switches {
  // rounding: the offset of a one-dimensional filter's pass, and of the two-dimensional
  // filter's first and second
  int32_t rounding_1d = 64, rounding_pass1 = 1, rounding_pass2 = 4096;
  bool no_clamp = false;
  int taps[2] = {-1, -1};             // per axis, the phase whose taps it takes; -1 its own
  int32_t source_offset[2] = {0, 0};  // per axis, in whole pixels
  bool row_order = false;
  bool channel_order = false;
  bool vector_split[2] = {false, false};  // per axis
  bool phases_swapped = false;
  bool no_position_clamp = false;
  int32_t clamp_bounds[2][2] = {{0, 0}, {0, 0}};  // per axis, the low and the high bound moved
  bool copy_clamp = false;
  bool two_pass_1d = false;
};

// A fault as the diagnosis found it: its kind, the fields that say which form of it (as reports
// print them and the JSON holds them), and one setting of the switches that gives its bytes.
using fault_field = std::pair<std::string, std::variant<int64_t, std::string>>;
struct diagnosed_fault {
  fault_kind kind;
  std::vector<fault_field> fields;
  fault_switches switches;
};

// "rounding (pass 2, offset_min 0, offset_max 0)"
std::string fault_text(const diagnosed_fault& fault);

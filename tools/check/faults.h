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
  rounding,             // a pass rounds with another offset
  no_clamp,             // results wrap modulo 256
  taps,                 // an axis takes another phase's taps
  source_offset,        // the source displaced by whole pixels
  row_order,            // the block's rows in the other order
  channel_order,        // blue and red exchanged
  vector_split,         // the whole part taken as mv / 4
  phases_swapped,       // the axes' phases exchanged
  no_position_clamp,    // a fractional vector's position not clamped
  clamp_bounds,         // a clamp bound off by one
  copy_clamp,           // whole-pixel copies clamped too
  two_pass_1d,          // one fractional axis filtered as the two-dimensional filter
  division,             // a pass divides with C's /, truncating toward zero
  rounding_mode,        // a pass rounds Σ / 2^shift another way than half up
  exact_intermediate,   // the first pass neither halved nor rounded; one rounding at the end
  narrow_intermediate,  // the intermediate narrowed to 8 or 16 bits
  row_stride,           // the plane's rows taken at another distance
  shifted_files,        // each file holds another position's block (found for the whole check)
};
inline constexpr size_t fault_kinds = 18;

// How a float or hardware port rounds a quotient Σ / 2^shift, besides ours, half up (toward +∞).
enum class round_mode { ours, half_up, half_even, half_away_from_zero, toward_zero };
const char* round_mode_name(round_mode mode);  // "half_even"; "" for ours

// Σ / 2^shift rounded as `mode` says (ours: half up, as `(Σ + 2^(shift-1)) >> shift`).
int64_t round_quotient(int64_t sum, int shift, round_mode mode);

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
  bool division = false;  // the two-dimensional filter's first pass: (Σ + offset) / 2, truncating
  // rounding_mode: per pass, one-dimensional, two-dimensional first and second; `ours` keeps the
  // offset of `rounding`
  round_mode rounding_mode[3] = {round_mode::ours, round_mode::ours, round_mode::ours};
  round_mode exact_intermediate = round_mode::ours;  // ours: off; else the final rounding's mode
  int narrow_intermediate = 0;     // 0: off; 8: two one-dimensional passes, 16: saturated, unhalved
  int narrow_first = 0;            // for 8 bits, the axis that runs first (0 h, 1 v)
  int32_t row_stride = 0;          // bytes more between the plane's rows than 3 x stride
  bool row_stride_padded = false;  // or the rows at the file's padded length
};

// A fault as the diagnosis found it: its kind, the fields that say which form of it (as reports
// print them and the JSON holds them), and one setting of the switches that gives its bytes.
using fault_field = std::pair<std::string, std::variant<int64_t, std::string>>;
struct diagnosed_fault {
  fault_kind kind;
  std::vector<fault_field> fields;
  fault_switches switches;
  std::vector<diagnosed_fault> pair;  // two faults together, where no one alone reproduces
};

// Two faults at once: both settings, where they set different switches; false where they clash.
bool combine_switches(const fault_switches& a, const fault_switches& b, fault_switches* both);

// "rounding (pass 2, offset_min 0, offset_max 0)"; a pair "A + B"
std::string fault_text(const diagnosed_fault& fault);

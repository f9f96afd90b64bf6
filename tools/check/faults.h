// The faults that ports of interpolate_block commonly have, one descriptor each: its name, its
// fields, how it sets the rendering's switches, the forms in which the diagnosis tries it on a
// group, and its row of the README's catalogue. The diagnosis, faulty_walk's parser, the text
// and the JSON of reports and --explain all read the faults from here.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <tuple>
#include <variant>
#include <vector>

#include "call.h"

// How a float or hardware port rounds a quotient Σ / 2^shift, besides ours, half up (toward +∞).
enum class round_mode { ours, half_up, half_even, half_away_from_zero, toward_zero };
const char* round_mode_name(round_mode mode);  // "half_even"; "" for ours

// Σ / 2^shift rounded as `mode` says (ours: half up, as `(Σ + 2^(shift-1)) >> shift`).
int64_t round_quotient(int64_t sum, int shift, round_mode mode);

// Faults as the rendering applies them; all off, the routine itself. Each switch is named after
// the fault that sets it.
struct fault_switches {
  // rounding: the offset of a one-dimensional filter's pass, and of the two-dimensional
  // filter's first and second
  int32_t rounding_1d = 64, rounding_pass1 = 1, rounding_pass2 = 4096;
  bool no_clamp = false;
  std::array<int, 2> taps = {-1, -1};             // per axis, the phase whose taps it takes
  std::array<int32_t, 2> source_offset = {0, 0};  // per axis, in whole pixels
  bool row_order = false;
  bool channel_order = false;
  std::array<bool, 2> vector_split = {false, false};  // per axis
  bool phases_swapped = false;
  bool no_position_clamp = false;
  std::array<std::array<int32_t, 2>, 2> clamp_bounds = {};  // [axis]: low and high bound moved
  bool copy_clamp = false;
  bool two_pass_1d = false;
  bool division = false;  // the two-dimensional filter's first pass: (Σ + offset) / 2, truncating
  // rounding_mode: per pass, one-dimensional, two-dimensional first and second; `ours` keeps the
  // offset of `rounding`
  std::array<round_mode, 3> rounding_mode = {round_mode::ours, round_mode::ours, round_mode::ours};
  round_mode exact_intermediate = round_mode::ours;  // ours: off; else the final rounding's mode
  int narrow_intermediate = 0;     // 0: off; 8: two one-dimensional passes, 16: saturated, unhalved
  int narrow_first = 0;            // for 8 bits, the axis that runs first (0 h, 1 v)
  int32_t row_stride = 0;          // bytes more between the plane's rows than 3 x stride
  bool row_stride_padded = false;  // or the rows at the file's padded length
  // Not a fault of the catalogue but a view the location searches: bytes of 128 and more read as
  // negative; a copy keeps the bits.
  bool signed_bytes = false;

  // Every switch, for comparing and combining them one by one (faults.cpp checks that none is
  // left out).
  template <typename Self>
  static auto members(Self& s) {
    return std::tie(s.rounding_1d, s.rounding_pass1, s.rounding_pass2, s.no_clamp, s.taps,
                    s.source_offset, s.row_order, s.channel_order, s.vector_split, s.phases_swapped,
                    s.no_position_clamp, s.clamp_bounds, s.copy_clamp, s.two_pass_1d, s.division,
                    s.rounding_mode, s.exact_intermediate, s.narrow_intermediate, s.narrow_first,
                    s.row_stride, s.row_stride_padded, s.signed_bytes);
  }
  auto tie() const { return members(*this); }
  auto tie() { return members(*this); }
  bool operator==(const fault_switches& other) const { return tie() == other.tie(); }
};

// Two faults at once: both settings, where they set different switches; false where they clash.
bool combine_switches(const fault_switches& a, const fault_switches& b, fault_switches* both);

// The value of a fault's field: a number or a word, as reports print it and the JSON holds it.
using field_value = std::variant<int64_t, std::string>;

// One field of a fault and the values it takes: words, or numbers in low ... high; with
// `numbered`, a number k stands for words[k] (an axis 0 or 1 is h or v).
struct field_spec {
  const char* name;
  std::vector<const char*> words;
  int64_t low = 0, high = -1;  // no numbers where low > high
  bool numbered = false;
  // One end of an interval of values that give the same bytes (a rounding's offsets): two faults
  // whose intervals overlap are one, found where both are.
  bool interval = false;
};

struct fault_descriptor {
  const char* name;
  std::vector<field_spec> fields;
  size_t required;  // the fields a port's description must give; the rest may be left out
  // The switches of a port with the fault in the form `values` gives (at least `required`).
  void (*apply)(const std::vector<field_value>& values, fault_switches* s);
  // The forms tried by rendering on a group of this key: none where it cannot show there.
  std::vector<std::vector<field_value>> (*forms)(const group_key& key);
  const char* readme_row;  // its row of the README's catalogue, verbatim
};

// Every fault, in the order the diagnosis tries them and reports name them.
const std::vector<fault_descriptor>& fault_catalogue();
// The fault of that name, or null.
const fault_descriptor* find_fault(const std::string& name);
// The descriptor of a fault named in the catalogue by a name it holds: fault("rounding").
const fault_descriptor& fault(const char* name);

// A fault as the diagnosis found it, or as a port's description names it: the form of it its
// field values give, and the switches that give its bytes. Two together, where no one alone
// reproduces, form a pair (and have no descriptor of their own).
struct diagnosed_fault {
  const fault_descriptor* fault = nullptr;
  std::vector<field_value> values;  // in the order of its fields
  fault_switches switches;
  std::vector<diagnosed_fault> pair;
};

// A fault in the form `values` gives, its switches applied.
diagnosed_fault make_fault(const fault_descriptor& fault, std::vector<field_value> values);

// A fault as words name it, "taps h 3" split: its name, then its fields' values in order, each
// a word of the field or a number. False, with why in `error`, for a name or value it does not
// take.
bool parse_fault(const std::vector<std::string>& words, diagnosed_fault* fault, std::string* error);

// "rounding (pass 2, offset_min 0, offset_max 0)"; a pair "A + B"
std::string fault_text(const diagnosed_fault& fault);

// Whether `a` and `b` name one fault: the same form, or, for fields that bound an interval,
// overlapping intervals, to which `a` is then narrowed.
bool same_fault(diagnosed_fault* a, const diagnosed_fault& b);

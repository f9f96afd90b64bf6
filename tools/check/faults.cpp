#include "faults.h"

#include <iterator>

namespace {

const char* const names[] = {
    "rounding",
    "no_clamp",
    "taps",
    "source_offset",
    "row_order",
    "channel_order",
    "vector_split",
    "phases_swapped",
    "no_position_clamp",
    "clamp_bounds",
    "copy_clamp",
    "two_pass_1d",
    "division",
    "rounding_mode",
    "exact_intermediate",
    "narrow_intermediate",
    "row_stride",
    "shifted_files",
};
static_assert(std::size(names) == fault_kinds, "a name for every fault");

}  // namespace

const char* fault_name(fault_kind kind) {
  return names[static_cast<size_t>(kind)];
}

bool fault_named(const std::string& name, fault_kind* kind) {
  for (size_t k = 0; k < fault_kinds; ++k) {
    if (name == names[k]) {
      *kind = static_cast<fault_kind>(k);
      return true;
    }
  }
  return false;
}

const char* round_mode_name(round_mode mode) {
  static const char* const modes[] = {"", "half_up", "half_even", "half_away_from_zero",
                                      "toward_zero"};
  return modes[static_cast<int>(mode)];
}

int64_t round_quotient(int64_t sum, int shift, round_mode mode) {
  const int64_t unit = int64_t{1} << shift, half = unit >> 1;
  const int64_t floor = sum >> shift, rest = sum - floor * unit;
  switch (mode) {
    case round_mode::ours:
    case round_mode::half_up:
      return (sum + half) >> shift;
    case round_mode::half_even:
      return rest > half ? floor + 1 : rest < half ? floor : floor + (floor & 1);
    case round_mode::half_away_from_zero:
      return sum >= 0 ? (sum + half) >> shift : -((-sum + half) >> shift);
    case round_mode::toward_zero:
      return sum >= 0 || rest == 0 ? floor : floor + 1;
  }
  return floor;
}

bool combine_switches(const fault_switches& a, const fault_switches& f, fault_switches* both) {
  // Each switch of f that is on must be off in a: the pair sets both.
  fault_switches s = a;
  const fault_switches none;
  bool clash = false;
  const auto take = [&](auto& to, const auto& from, const auto& off) {
    if (from == off) return;
    clash |= !(to == off);
    to = from;
  };
  take(s.rounding_1d, f.rounding_1d, none.rounding_1d);
  take(s.rounding_pass1, f.rounding_pass1, none.rounding_pass1);
  take(s.rounding_pass2, f.rounding_pass2, none.rounding_pass2);
  take(s.no_clamp, f.no_clamp, none.no_clamp);
  for (int k = 0; k < 2; ++k) {
    take(s.taps[k], f.taps[k], none.taps[k]);
    take(s.source_offset[k], f.source_offset[k], none.source_offset[k]);
    take(s.vector_split[k], f.vector_split[k], none.vector_split[k]);
    take(s.clamp_bounds[k][0], f.clamp_bounds[k][0], none.clamp_bounds[k][0]);
    take(s.clamp_bounds[k][1], f.clamp_bounds[k][1], none.clamp_bounds[k][1]);
  }
  take(s.row_order, f.row_order, none.row_order);
  take(s.channel_order, f.channel_order, none.channel_order);
  take(s.phases_swapped, f.phases_swapped, none.phases_swapped);
  take(s.no_position_clamp, f.no_position_clamp, none.no_position_clamp);
  take(s.copy_clamp, f.copy_clamp, none.copy_clamp);
  take(s.two_pass_1d, f.two_pass_1d, none.two_pass_1d);
  take(s.division, f.division, none.division);
  for (int k = 0; k < 3; ++k) take(s.rounding_mode[k], f.rounding_mode[k], none.rounding_mode[k]);
  take(s.exact_intermediate, f.exact_intermediate, none.exact_intermediate);
  take(s.narrow_intermediate, f.narrow_intermediate, none.narrow_intermediate);
  take(s.narrow_first, f.narrow_first, none.narrow_first);
  take(s.row_stride, f.row_stride, none.row_stride);
  take(s.row_stride_padded, f.row_stride_padded, none.row_stride_padded);
  if (clash) return false;
  *both = s;
  return true;
}

std::string fault_text(const diagnosed_fault& fault) {
  if (!fault.pair.empty()) {
    return fault_text(fault.pair[0]) + " + " + fault_text(fault.pair[1]);
  }
  std::string fields;
  for (const auto& [key, value] : fault.fields) {
    fields += (fields.empty() ? "" : ", ") + key + " " +
              (std::holds_alternative<int64_t>(value) ? std::to_string(std::get<int64_t>(value))
                                                      : std::get<std::string>(value));
  }
  return fields.empty() ? fault_name(fault.kind) : fault_name(fault.kind) + (" (" + fields + ")");
}

// The catalogue's arithmetic faults as points of the grammar.
#include "structure.h"

namespace {

std::optional<pass_rounding> rounding_of_mode(round_mode m) {
  switch (m) {
    case round_mode::ours:
      return std::nullopt;
    case round_mode::half_up:
      return pass_rounding::half_up;
    case round_mode::half_even:
      return pass_rounding::half_even;
    case round_mode::half_away_from_zero:
      return pass_rounding::half_away;
    case round_mode::toward_zero:
      return pass_rounding::toward_zero;
  }
  return std::nullopt;
}

// A pass's rounding as the switches set it: a mode, or an offset that is ours (`half`) or 0.
std::optional<pass_rounding> rounding_of(round_mode mode, int32_t offset, int32_t half) {
  if (const std::optional<pass_rounding> r = rounding_of_mode(mode)) return r;
  if (offset == half) return pass_rounding::half_up;
  if (offset == 0) return pass_rounding::floor;
  return std::nullopt;
}

// The two-dimensional filter as render.cpp applies the switches to it.
std::optional<structure> two_d_of(const fault_switches& f) {
  structure s = our_two_d();
  if (f.narrow_intermediate == 8) {
    s.first = f.narrow_first;
    s.shifts = {7, 7};
    s.kept = value_storage::uint8_clamp;
    return s;
  }
  const bool exact = f.exact_intermediate != round_mode::ours;
  if (exact || f.narrow_intermediate == 16) {
    // The first pass whole (saturated, unless kept exact), the 2^14 taken at once.
    s.shifts = {0, 14};
    s.rounding = {pass_rounding::none, f.narrow_intermediate == 16
                                           ? pass_rounding::half_up
                                           : *rounding_of_mode(f.exact_intermediate)};
    if (!exact) s.kept = value_storage::int16_saturate;
    return s;
  }
  const std::optional<pass_rounding> r1 =
      f.division ? (f.rounding_pass1 == 1 ? std::optional(pass_rounding::c_division) : std::nullopt)
                 : rounding_of(f.rounding_mode[1], f.rounding_pass1, 1);
  const std::optional<pass_rounding> r2 = rounding_of(f.rounding_mode[2], f.rounding_pass2, 4096);
  if (!r1 || !r2) return std::nullopt;
  s.rounding = {*r1, *r2};
  return s;
}

}  // namespace

std::optional<structure> structure_of(const fault_switches& faults, block_path path) {
  // Only the arithmetic's switches may be on.
  fault_switches rest = faults;
  const fault_switches off;
  rest.rounding_1d = off.rounding_1d;
  rest.rounding_pass1 = off.rounding_pass1;
  rest.rounding_pass2 = off.rounding_pass2;
  rest.two_pass_1d = off.two_pass_1d;
  rest.division = off.division;
  rest.rounding_mode = off.rounding_mode;
  rest.exact_intermediate = off.exact_intermediate;
  rest.narrow_intermediate = off.narrow_intermediate;
  rest.narrow_first = off.narrow_first;
  if (!(rest == off) || path == block_path::copy) return std::nullopt;
  // The two-dimensional filter, horizontal pass first, serves a one-dimensional path too where
  // two_pass_1d asks for it.
  if (path == block_path::two_d || faults.two_pass_1d) return two_d_of(faults);
  const std::optional<pass_rounding> r =
      rounding_of(faults.rounding_mode[0], faults.rounding_1d, 64);
  if (!r) return std::nullopt;
  structure s = our_one_pass(path == block_path::vertical ? axis_v : axis_h);
  s.rounding[0] = *r;
  return s;
}

std::vector<diagnosed_fault> catalogue_names(const structure& s, const group_key& key) {
  std::vector<diagnosed_fault> names;
  const tap_layout taps = our_layout(key.phase[0], key.phase[1]);
  const std::optional<structure> ours = canonical(ours_for(key.path), key.path, taps);
  for (const char* name :
       {"rounding_mode", "exact_intermediate", "narrow_intermediate", "division", "two_pass_1d"}) {
    const fault_descriptor& f = fault(name);
    for (std::vector<field_value>& form : f.forms(key)) {
      diagnosed_fault named = make_fault(f, std::move(form));
      const std::optional<structure> raw = structure_of(named.switches, key.path);
      const std::optional<structure> c = raw ? canonical(*raw, key.path, taps) : std::nullopt;
      // A form that gives our bytes on this path is no fault here.
      if (c && *c == s && c != ours) names.push_back(std::move(named));
    }
  }
  return names;
}

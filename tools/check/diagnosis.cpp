#include "diagnosis.h"

#include <algorithm>

#include "interpolate.h"
#include "render.h"

namespace {

const char* axis_name(int axis) {
  return axis == axis_h ? "h" : "v";
}

plane_view plane_of(const check_set& set, const check_case& c) {
  const std::vector<uint8_t>& plane = set.pictures[c.picture].bitmap.plane;
  return {plane.data(), plane.size()};
}

// Whether the fault gives every byte of the group that it can tell: a port with it would read
// some bytes from outside the plane (a vector not clamped, a source displaced at the edge), and
// those could be anything. It must tell at least one of the bytes that differ.
bool reproduces(const check_set& set, const comparison& compared, const group_report& group,
                const fault_switches& faults) {
  bool evidence = false;
  byte_derivation d;
  for (const size_t i : group.cases) {
    const check_case& c = set.cases[i];
    const placement where = place_block(c.call, faults);
    const case_outcome& outcome = compared.outcomes[i];
    for (size_t b = 0; b < block_bytes; ++b) {
      const int row = static_cast<int>(b / block_row_bytes), pixel = static_cast<int>(b % 48 / 3);
      if (!derive_byte(plane_of(set, c), c.call, where, faults, row, pixel, b % 3, &d)) continue;
      if (d.value != outcome.found[b]) return false;
      evidence |= outcome.found[b] != outcome.expected[b];
    }
  }
  return evidence;
}

// The offsets o of the last rounding, 0 ... its divisor, for which clamp((S + o) >> shift) gives
// every byte found, S being the byte's exact sum: an interval, each byte bounding it on one side
// or both. False where it is empty.
bool last_rounding(const check_set& set, const comparison& compared, const group_report& group,
                   int64_t* low, int64_t* high) {
  const int shift = group.key.path == block_path::two_d ? 13 : 7;
  *low = 0;
  *high = int64_t{1} << shift;
  byte_derivation d;
  for (const size_t i : group.cases) {
    const check_case& c = set.cases[i];
    const placement where = place_block(c.call);
    const std::vector<uint8_t>& found = compared.outcomes[i].found;
    for (size_t b = 0; b < block_bytes; ++b) {
      const int row = static_cast<int>(b / block_row_bytes), pixel = static_cast<int>(b % 48 / 3);
      if (!derive_byte(plane_of(set, c), c.call, where, {}, row, pixel, b % 3, &d)) return false;
      narrow_rounding(d.sum, shift, found[b], low, high);
      if (*low > *high) return false;
    }
  }
  return true;
}

}  // namespace

void narrow_rounding(int64_t sum, int shift, int found, int64_t* low, int64_t* high) {
  const int64_t f = found;
  if (f > 0) *low = std::max(*low, (f << shift) - sum);
  if (f < 255) *high = std::min(*high, ((f + 1) << shift) - 1 - sum);
}

std::vector<diagnosed_fault> rendered_faults(const group_key& key) {
  std::vector<diagnosed_fault> faults;
  const auto add = [&](fault_kind kind, std::vector<fault_field> fields, fault_switches switches) {
    faults.push_back({kind, std::move(fields), switches});
  };
  fault_switches s;
  if (key.path == block_path::two_d) {
    for (const int32_t offset : {0, 2}) {
      s = {};
      s.rounding_pass1 = offset;
      add(fault_kind::rounding, {{"pass", 1}, {"offset_min", offset}, {"offset_max", offset}}, s);
    }
  }
  if (key.path != block_path::copy) {
    s = {};
    s.no_clamp = true;
    add(fault_kind::no_clamp, {}, s);
  }
  for (int axis = 0; axis < 2; ++axis) {
    for (int phase = 0; phase < 4 && key.phase[axis]; ++phase) {
      if (phase == key.phase[axis]) continue;
      s = {};
      s.taps[axis] = phase;
      add(fault_kind::taps, {{"axis", axis_name(axis)}, {"phase", phase}}, s);
    }
  }
  for (int32_t dy = -2; dy <= 2; ++dy) {
    for (int32_t dx = -2; dx <= 2; ++dx) {
      if (!dx && !dy) continue;
      s = {};
      s.source_offset[axis_h] = dx;
      s.source_offset[axis_v] = dy;
      add(fault_kind::source_offset, {{"dx", dx}, {"dy", dy}}, s);
    }
  }
  s = {};
  s.row_order = true;
  add(fault_kind::row_order, {}, s);
  s = {};
  s.channel_order = true;
  add(fault_kind::channel_order, {}, s);

  // What only vectors beyond the walk's reveal, tried where the group can show it.
  for (int axis = 0; axis < 2 && key.negative; ++axis) {
    if (!key.phase[axis]) continue;  // a multiple of 4 splits alike either way
    s = {};
    s.vector_split[axis] = true;
    add(fault_kind::vector_split, {{"axis", axis_name(axis)}}, s);
  }
  if (key.phase[0] != key.phase[1]) {
    s = {};
    s.phases_swapped = true;
    add(fault_kind::phases_swapped, {}, s);
  }
  if (key.clamp[0] != clamp_state::none || key.clamp[1] != clamp_state::none) {
    s = {};
    s.no_position_clamp = true;
    add(fault_kind::no_position_clamp, {}, s);
  }
  for (int axis = 0; axis < 2 && key.path != block_path::copy; ++axis) {
    for (int bound = 0; bound < 2; ++bound) {
      for (const int32_t delta : {-1, 1}) {
        s = {};
        s.clamp_bounds[axis][bound] = delta;
        add(fault_kind::clamp_bounds,
            {{"axis", axis_name(axis)}, {"bound", bound ? "high" : "low"}, {"delta", delta}}, s);
      }
    }
  }
  s = {};
  if (key.path == block_path::copy) {
    s.copy_clamp = true;
    add(fault_kind::copy_clamp, {}, s);
  } else if (key.path != block_path::two_d) {
    s.two_pass_1d = true;
    add(fault_kind::two_pass_1d, {}, s);
  }
  return faults;
}

std::vector<diagnosed_fault> diagnose(const check_set& set, const comparison& compared,
                                      const group_report& group) {
  // The last pass's rounding, worked out, follows the first pass's, tried by rendering.
  std::vector<diagnosed_fault> last;
  int64_t low = 0, high = 0;
  if (group.key.path != block_path::copy && last_rounding(set, compared, group, &low, &high)) {
    fault_switches s;
    const bool two_d = group.key.path == block_path::two_d;
    (two_d ? s.rounding_pass2 : s.rounding_1d) = static_cast<int32_t>(low);
    last.push_back({fault_kind::rounding,
                    {{"pass", two_d ? 2 : 1}, {"offset_min", low}, {"offset_max", high}},
                    s});
  }
  std::vector<diagnosed_fault> found;
  for (diagnosed_fault& fault : rendered_faults(group.key)) {
    if (fault.kind != fault_kind::rounding && !last.empty())
      found.push_back(std::move(last.back())), last.clear();
    if (reproduces(set, compared, group, fault.switches)) found.push_back(std::move(fault));
  }
  return found;
}

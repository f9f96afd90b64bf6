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
// The trial begins at the group's first difference, where a wrong fault most likely shows.
bool reproduces(const check_set& set, const comparison& compared, const group_report& group,
                const fault_switches& faults) {
  bool evidence = false;
  byte_derivation d;
  const size_t count = group.cases.size();
  const size_t first_case = static_cast<size_t>(
      std::find(group.cases.begin(), group.cases.end(), group.first->case_index) -
      group.cases.begin());
  const size_t first_byte = static_cast<size_t>(group.first->row) * block_row_bytes +
                            3 * static_cast<size_t>(group.first->pixel) +
                            static_cast<size_t>(group.first->channel);
  for (size_t n = 0; n < count; ++n) {
    const size_t i = group.cases[(first_case + n) % count];
    const check_case& c = set.cases[i];
    const placement where = place_block(c.call, faults);
    const case_outcome& outcome = compared.outcomes[i];
    const size_t start = n == 0 ? first_byte : 0;
    for (size_t k = 0; k < block_bytes; ++k) {
      const size_t b = (start + k) % block_bytes;
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

std::optional<int> shifted_files(const check_set& set, const comparison& compared) {
  // The blocks the cases should hold, made where a shift asks for one not compared.
  std::vector<std::vector<uint8_t>> expected(set.cases.size());
  const auto expected_of = [&](size_t j) -> const std::vector<uint8_t>& {
    if (!compared.outcomes[j].expected.empty()) return compared.outcomes[j].expected;
    if (expected[j].empty()) {
      const check_case& c = set.cases[j];
      expected[j].resize(block_bytes);
      interpolate_block(c.call.stride, expected[j].data(),
                        set.pictures[c.picture].bitmap.plane.data(), c.call.height, c.call.x,
                        c.call.y, c.call.mvx, c.call.mvy);
    }
    return expected[j];
  };
  for (int distance = 1; distance <= 8; ++distance) {
    for (const int by : {distance, -distance}) {
      size_t held = 0;
      bool explains = false, holds = true;
      for (size_t i = 0; i < set.cases.size() && holds; ++i) {
        const case_outcome& o = compared.outcomes[i];
        const int64_t j = static_cast<int64_t>(i) - by;
        if (o.state != file_state::read || j < 0 || j >= static_cast<int64_t>(set.cases.size())) {
          continue;
        }
        holds = o.found == expected_of(static_cast<size_t>(j));
        held += holds;
        explains |= o.found != o.expected;
      }
      // Most of the files, not a few that happen to agree.
      if (holds && explains && 2 * held >= compared.checked) return by;
    }
  }
  return std::nullopt;
}

void narrow_rounding(int64_t sum, int shift, int found, int64_t* low, int64_t* high) {
  const int64_t f = found;
  if (f > 0) *low = std::max(*low, (f << shift) - sum);
  if (f < 255) *high = std::min(*high, ((f + 1) << shift) - 1 - sum);
}

std::vector<diagnosed_fault> rendered_faults(const group_key& key) {
  std::vector<diagnosed_fault> faults;
  const auto add = [&](fault_kind kind, std::vector<fault_field> fields, fault_switches switches) {
    faults.push_back({kind, std::move(fields), switches, {}});
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

  // What float, hardware and C ports do with the arithmetic. A mode that gives our bytes
  // wherever a pass can show it is not tried there: half away from zero differs from ours only
  // below zero, and toward zero is truncation above it, which a later clamp hides or `rounding`
  // names.
  const round_mode modes[] = {round_mode::half_even, round_mode::half_away_from_zero,
                              round_mode::toward_zero};
  const auto mode_field = [](round_mode m) { return fault_field{"mode", round_mode_name(m)}; };
  if (key.path == block_path::two_d) {
    s = {};
    s.division = true;
    add(fault_kind::division, {{"pass", 1}}, s);
    for (const round_mode m : modes) {
      s = {};
      s.rounding_mode[1] = m;
      add(fault_kind::rounding_mode, {{"pass", 1}, mode_field(m)}, s);
    }
    s = {};
    s.rounding_mode[2] = round_mode::half_even;
    add(fault_kind::rounding_mode, {{"pass", 2}, mode_field(round_mode::half_even)}, s);
    for (const round_mode m : modes) {
      s = {};
      s.rounding_mode[1] = s.rounding_mode[2] = m;
      add(fault_kind::rounding_mode, {{"pass", "both"}, mode_field(m)}, s);
    }
    for (const round_mode m :
         {round_mode::half_up, round_mode::half_even, round_mode::toward_zero}) {
      s = {};
      s.exact_intermediate = m;
      add(fault_kind::exact_intermediate, {mode_field(m)}, s);
    }
    for (int axis = 0; axis < 2; ++axis) {
      s = {};
      s.narrow_intermediate = 8;
      s.narrow_first = axis;
      add(fault_kind::narrow_intermediate, {{"bits", 8}, {"first", axis_name(axis)}}, s);
    }
    s = {};
    s.narrow_intermediate = 16;
    add(fault_kind::narrow_intermediate, {{"bits", 16}}, s);
  } else if (key.path != block_path::copy) {
    // A one-dimensional filter's one pass is its first, and every pass of a port that rounds
    // them all alike.
    s = {};
    s.rounding_mode[0] = round_mode::half_even;
    add(fault_kind::rounding_mode, {{"pass", 1}, mode_field(round_mode::half_even)}, s);
    add(fault_kind::rounding_mode, {{"pass", "both"}, mode_field(round_mode::half_even)}, s);
  }
  s = {};
  s.row_stride_padded = true;
  add(fault_kind::row_stride, {{"rows", "padded"}}, s);
  for (const int32_t delta : {-3, 3}) {
    s = {};
    s.row_stride = delta;
    add(fault_kind::row_stride, {{"rows", delta}}, s);
  }
  return faults;
}

std::vector<diagnosed_fault> diagnose(const check_set& set, const comparison& compared,
                                      const group_report& group, bool pairs) {
  // The last pass's rounding, worked out, follows the first pass's, tried by rendering.
  std::vector<diagnosed_fault> last;
  int64_t low = 0, high = 0;
  if (group.key.path != block_path::copy && last_rounding(set, compared, group, &low, &high)) {
    fault_switches s;
    const bool two_d = group.key.path == block_path::two_d;
    (two_d ? s.rounding_pass2 : s.rounding_1d) = static_cast<int32_t>(low);
    last.push_back({fault_kind::rounding,
                    {{"pass", two_d ? 2 : 1}, {"offset_min", low}, {"offset_max", high}},
                    s,
                    {}});
  }
  const std::vector<diagnosed_fault> candidates = rendered_faults(group.key);
  std::vector<diagnosed_fault> found;
  for (const diagnosed_fault& fault : candidates) {
    if (fault.kind != fault_kind::rounding && !last.empty())
      found.push_back(std::move(last.back())), last.clear();
    if (reproduces(set, compared, group, fault.switches)) found.push_back(fault);
  }
  if (!found.empty() || !pairs) return found;
  // Where no fault alone gives the bytes, two together may.
  for (size_t a = 0; a < candidates.size(); ++a) {
    for (size_t b = a + 1; b < candidates.size(); ++b) {
      fault_switches both;
      if (combine_switches(candidates[a].switches, candidates[b].switches, &both) &&
          reproduces(set, compared, group, both)) {
        found.push_back({candidates[a].kind, {}, both, {candidates[a], candidates[b]}});
      }
    }
  }
  return found;
}

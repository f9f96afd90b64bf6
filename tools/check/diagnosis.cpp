#include "diagnosis.h"

#include <algorithm>

#include "interpolate.h"
#include "render.h"

namespace {

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
    const placement where = faulty_place(c.call, faults);
    if (reads_nothing(plane_of(set, c), c.call, where, faults)) continue;
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
    const placement where = place(c.call);
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
  for (const fault_descriptor& f : fault_catalogue()) {
    for (std::vector<field_value>& form : f.forms(key)) {
      faults.push_back(make_fault(f, std::move(form)));
    }
  }
  return faults;
}

std::vector<diagnosed_fault> diagnose(const check_set& set, const comparison& compared,
                                      const group_report& group, bool pairs) {
  // The last pass's rounding, worked out from the sums, follows the first pass's, rendered.
  std::vector<diagnosed_fault> last;
  int64_t low = 0, high = 0;
  if (group.key.path != block_path::copy && last_rounding(set, compared, group, &low, &high)) {
    last.push_back(
        make_fault(fault("rounding"), {group.key.path == block_path::two_d ? 2 : 1, low, high}));
  }
  const std::vector<diagnosed_fault> candidates = rendered_faults(group.key);
  std::vector<diagnosed_fault> found;
  const fault_descriptor* rounding = &fault("rounding");
  for (const diagnosed_fault& candidate : candidates) {
    if (candidate.fault != rounding && !last.empty())
      found.push_back(std::move(last.back())), last.clear();
    if (reproduces(set, compared, group, candidate.switches)) found.push_back(candidate);
  }
  if (!found.empty() || !pairs) return found;
  // Where no fault alone gives the bytes, two together may.
  for (size_t a = 0; a < candidates.size(); ++a) {
    for (size_t b = a + 1; b < candidates.size(); ++b) {
      diagnosed_fault both;
      if (combine_switches(candidates[a].switches, candidates[b].switches, &both.switches) &&
          reproduces(set, compared, group, both.switches)) {
        both.pair = {candidates[a], candidates[b]};
        found.push_back(std::move(both));
      }
    }
  }
  return found;
}

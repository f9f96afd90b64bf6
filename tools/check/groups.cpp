#include "groups.h"

#include <algorithm>
#include <cstdlib>
#include <map>

#include "interpolate.h"

namespace {

// Adds a compared block's pixels to its group.
void count_pixels(size_t index, const case_outcome& outcome, group_report* group) {
  bool differs = false;
  for (size_t b = 0; b < block_bytes; ++b) {
    const int want = outcome.expected[b], got = outcome.found[b];
    if (want == got) continue;
    differs = true;
    const int d = got - want;
    ++group->differing_bytes;
    group->max_difference = std::max(group->max_difference, std::abs(d));
    ++(d == 1 ? group->plus_one : d == -1 ? group->minus_one : group->larger);
    if (!group->first) {
      const int b_ = static_cast<int>(b);
      group->first = pixel_difference{index, b_ / 48, b_ % 48 / 3, b_ % 3, want, got};
    }
  }
  group->differing_blocks += differs;
}

}  // namespace

std::vector<group_report> group_blocks(const check_set& set, const comparison& compared) {
  std::map<group_key, group_report> groups;
  for (size_t i = 0; i < set.cases.size(); ++i) {
    const group_key key = group_of(set.cases[i].call);
    group_report& group = groups[key];
    group.key = key;
    if (compared.outcomes[i].state != file_state::read) continue;
    group.cases.push_back(i);
    count_pixels(i, compared.outcomes[i], &group);
  }
  std::vector<group_report> list;
  for (auto& [key, group] : groups) list.push_back(std::move(group));
  return list;
}

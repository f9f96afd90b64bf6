#include "groups.h"

#include <algorithm>
#include <cstdlib>
#include <map>
#include <unordered_map>

#include "interpolate.h"

namespace {

// The pairs of values kept: those that stand for most differing bytes.
constexpr size_t kept_pairs = 5;

// Adds a compared block's pixels to its group, and its pairs of values to `pairs`.
void count_pixels(size_t index, const case_outcome& outcome, group_report* group,
                  std::unordered_map<int, size_t>* pairs) {
  bool differs = false;
  for (size_t b = 0; b < block_bytes; ++b) {
    const int want = outcome.expected[b], got = outcome.found[b];
    if (want == got) continue;
    differs = true;
    const int d = got - want;
    ++group->differing_bytes;
    const int b_ = static_cast<int>(b);
    const pixel_difference here{index, b_ / 48, b_ % 48 / 3, b_ % 3, want, got};
    if (!group->first) group->first = here;
    if (std::abs(d) > group->max_difference) group->worst = here;
    group->max_difference = std::max(group->max_difference, std::abs(d));
    ++(d == 1 ? group->plus_one : d == -1 ? group->minus_one : group->larger);
    ++group->rows[here.row];
    ++group->columns[here.pixel];
    ++(*pairs)[256 * want + got];
  }
  group->differing_blocks += differs;
}

std::vector<value_pair> commonest(const std::unordered_map<int, size_t>& pairs) {
  std::vector<value_pair> list;
  for (const auto& [values, bytes] : pairs) list.push_back({values / 256, values % 256, bytes});
  // The most first, then by their values: an order that does not hang on the map's.
  std::sort(list.begin(), list.end(), [](const value_pair& a, const value_pair& b) {
    return a.bytes != b.bytes
               ? a.bytes > b.bytes
               : std::make_pair(a.expected, a.found) < std::make_pair(b.expected, b.found);
  });
  if (list.size() > kept_pairs) list.resize(kept_pairs);
  return list;
}

}  // namespace

std::vector<group_report> group_blocks(const check_set& set, const comparison& compared) {
  std::map<group_key, group_report> groups;
  std::map<group_key, std::unordered_map<int, size_t>> pairs;
  for (size_t i = 0; i < set.cases.size(); ++i) {
    const group_key key = group_of(set.cases[i].call);
    group_report& group = groups[key];
    group.key = key;
    if (compared.outcomes[i].state != file_state::read) continue;
    group.cases.push_back(i);
    count_pixels(i, compared.outcomes[i], &group, &pairs[key]);
  }
  std::vector<group_report> list;
  for (auto& [key, group] : groups) {
    group.pairs = commonest(pairs[key]);
    list.push_back(std::move(group));
  }
  return list;
}

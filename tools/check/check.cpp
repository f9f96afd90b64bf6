#include "check.h"

#include <algorithm>
#include <cstdlib>
#include <map>
#include <tuple>

#include "diagnosis.h"
#include "interpolate.h"
#include "walk.h"

namespace {

auto tied(const group_key& k) {
  return std::make_tuple(k.path, k.phase[0], k.phase[1], k.clamp[0], k.clamp[1], k.negative);
}

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

bool group_key::operator<(const group_key& other) const {
  return tied(*this) < tied(other);
}

group_key group_of(const block_call& call) {
  const placement where = place_block(call);
  group_key key;
  key.path = where.path;
  for (int a = 0; a < 2; ++a) {
    key.phase[a] = where.phase[a];
    key.clamp[a] = where.clamp[a];
  }
  key.negative = call.mvx < 0 || call.mvy < 0;
  return key;
}

check_set walk_set(const std::string& name, bitmap_picture picture) {
  check_set set;
  set.walk = true;
  const block_call base{picture.width, picture.height, 0, 0, 0, 0};
  block_layout layout = make_block_layout(picture);
  set.pictures.push_back({name, std::move(picture), std::move(layout)});
  for (int n = walk_first; n <= walk_last; ++n) {
    block_call call = base;
    call.x = call.y = n / 4;
    call.mvx = call.mvy = n % 4;
    set.cases.push_back({block_file_name(n), 0, call});
  }
  return set;
}

int32_t read_walk_set(const std::string& path, check_set* set, std::string* problem) {
  bitmap_picture picture;
  const int32_t status = read_bitmap_file(path.c_str(), &picture, problem);
  if (status != bitmap_ok) return status;
  if (!suits_walk(picture.width, picture.height, picture.bits_per_pixel, picture.info)) {
    return unusable_picture;
  }
  *set = walk_set(path, std::move(picture));
  return bitmap_ok;
}

check_report run_check(const check_set& set, const std::string& dir) {
  check_report report;
  report.outcomes.resize(set.cases.size());
  std::map<group_key, group_report> groups;
  std::map<std::string, header_report> headers;
  std::vector<uint8_t> bytes;
  for (size_t i = 0; i < set.cases.size(); ++i) {
    const check_case& c = set.cases[i];
    const check_picture& picture = set.pictures[c.picture];
    const block_layout& layout = picture.layout;
    case_outcome& outcome = report.outcomes[i];
    const group_key key = group_of(c.call);
    group_report& group = groups[key];
    group.key = key;

    outcome.state =
        read_regular_file(dir + "/" + c.file, layout.file_size() + 1, &bytes, &outcome.reason);
    outcome.size = bytes.size();
    if (outcome.state == file_state::missing) {
      report.missing.push_back(i);
      continue;
    }
    block_comparison comparison;
    if (outcome.state == file_state::read) {
      comparison = compare_block_file(layout, bytes.data(), bytes.size());
      if (!comparison.problem.empty()) {
        outcome.state = file_state::unreadable;
        outcome.reason = comparison.problem;
      }
    }
    if (outcome.state == file_state::unreadable) {
      report.unreadable.push_back(i);
      continue;
    }

    ++report.checked;
    outcome.expected.resize(block_bytes);
    interpolate_block(c.call.stride, outcome.expected.data(), picture.bitmap.plane.data(),
                      c.call.height, c.call.x, c.call.y, c.call.mvx, c.call.mvy);
    const auto pixels = bytes.begin() + static_cast<ptrdiff_t>(layout.prefix.size());
    outcome.found.assign(pixels, pixels + block_bytes);
    for (const field_difference& f : comparison.fields) {
      header_report& h = headers[f.field];
      if (h.files++ == 0) h = {f.field, 1, i, f};
    }
    group.cases.push_back(i);
    count_pixels(i, outcome, &group);
    outcome.differs = !comparison.fields.empty() || outcome.found != outcome.expected;
    report.differing += outcome.differs;
  }

  for (const char* field : field_names()) {
    const auto h = headers.find(field);
    if (h != headers.end()) report.headers.push_back(h->second);
  }
  for (auto& [key, group] : groups) {
    if (group.differing_bytes) group.diagnosis = diagnose(set, report, group);
    report.groups.push_back(std::move(group));
  }
  return report;
}

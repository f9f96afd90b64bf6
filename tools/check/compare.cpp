#include "compare.h"

#include <map>

#include "interpolate.h"

namespace {

// Case i's block as interpolate_block makes it, beside the one found.
void compare_pixels(const check_set& set, size_t i, const uint8_t* found, comparison* report) {
  const check_case& c = set.cases[i];
  case_outcome& outcome = report->outcomes[i];
  ++report->checked;
  outcome.expected.resize(block_bytes);
  interpolate_block(c.call.stride, outcome.expected.data(),
                    set.pictures[c.picture].bitmap.plane.data(), c.call.height, c.call.x, c.call.y,
                    c.call.mvx, c.call.mvy);
  outcome.found.assign(found, found + block_bytes);
  outcome.differs = outcome.found != outcome.expected;
}

}  // namespace

comparison compare_stream(const check_set& set, const std::vector<uint8_t>& blocks) {
  comparison report;
  report.pixels_only = true;
  report.outcomes.resize(set.cases.size());
  for (size_t i = 0; i < set.cases.size(); ++i) {
    if ((i + 1) * block_bytes > blocks.size()) {
      report.missing.push_back(i);
      continue;
    }
    report.outcomes[i].state = file_state::read;
    report.outcomes[i].size = block_bytes;
    compare_pixels(set, i, &blocks[i * block_bytes], &report);
    report.differing += report.outcomes[i].differs;
  }
  return report;
}

comparison compare_files(const check_set& set, const std::string& dir) {
  comparison report;
  report.outcomes.resize(set.cases.size());
  std::map<std::string, header_report> headers;
  std::vector<uint8_t> bytes;
  for (size_t i = 0; i < set.cases.size(); ++i) {
    const check_case& c = set.cases[i];
    const check_picture& picture = set.pictures[c.picture];
    const block_layout& layout = picture.layout;
    case_outcome& outcome = report.outcomes[i];
    outcome.state =
        read_regular_file(dir + "/" + c.file, layout.file_size() + 1, &bytes, &outcome.reason);
    outcome.size = bytes.size();
    if (outcome.state == file_state::missing) {
      report.missing.push_back(i);
      continue;
    }
    block_comparison fields;
    if (outcome.state == file_state::read) {
      fields = compare_block_file(layout, bytes.data(), bytes.size());
      if (!fields.problem.empty()) {
        outcome.state = file_state::unreadable;
        outcome.reason = fields.problem;
      }
    }
    if (outcome.state == file_state::unreadable) {
      report.unreadable.push_back(i);
      continue;
    }

    compare_pixels(set, i, bytes.data() + layout.prefix.size(), &report);
    for (const field_difference& f : fields.fields) {
      header_report& h = headers[f.field];
      if (h.files++ == 0) h = {f.field, 1, i, f};
    }
    outcome.differs |= !fields.fields.empty();
    report.differing += outcome.differs;
  }
  for (const char* field : field_names()) {
    const auto h = headers.find(field);
    if (h != headers.end()) report.headers.push_back(h->second);
  }
  return report;
}

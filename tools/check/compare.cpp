#include "compare.h"

#include <map>

#include "interpolate.h"

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

    ++report.checked;
    outcome.expected.resize(block_bytes);
    interpolate_block(c.call.stride, outcome.expected.data(), picture.bitmap.plane.data(),
                      c.call.height, c.call.x, c.call.y, c.call.mvx, c.call.mvy);
    const auto pixels = bytes.begin() + static_cast<ptrdiff_t>(layout.prefix.size());
    outcome.found.assign(pixels, pixels + block_bytes);
    for (const field_difference& f : fields.fields) {
      header_report& h = headers[f.field];
      if (h.files++ == 0) h = {f.field, 1, i, f};
    }
    outcome.differs = !fields.fields.empty() || outcome.found != outcome.expected;
    report.differing += outcome.differs;
  }
  for (const char* field : field_names()) {
    const auto h = headers.find(field);
    if (h != headers.end()) report.headers.push_back(h->second);
  }
  return report;
}

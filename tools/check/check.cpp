#include "check.h"

#include <utility>

#include "diagnosis.h"

namespace {

// The stages after the comparison, on the blocks compared.
check_report check_compared(const check_set& set, comparison compared) {
  check_report report;
  report.compared = std::move(compared);
  report.groups = group_blocks(set, report.compared);
  if (!report.identical()) report.shifted_by = shifted_files(set, report.compared);
  if (!report.identical()) report.located = locate_blocks(set, report.compared, report.groups);
  // Files shifted explain every group: pairs would only be coincidences.
  for (group_report& group : report.groups) {
    if (group.differing_bytes) {
      group.diagnosis = diagnose(set, report.compared, group, !report.shifted_by);
    }
  }
  return report;
}

}  // namespace

check_report run_check(const check_set& set, const std::string& dir) {
  return check_compared(set, compare_files(set, dir));
}

check_report check_stream(const check_set& set, const std::vector<uint8_t>& blocks) {
  return check_compared(set, compare_stream(set, blocks));
}

#include "check.h"

#include <algorithm>
#include <atomic>
#include <set>
#include <string>
#include <thread>
#include <utility>

#include "diagnosis.h"

namespace {

// The arithmetic of each differing group whose blocks lie where ours do: a relation of the
// location, or files shifted, explain the others; and where a relation that explains others
// would read outside the plane, where the port's bytes came from cannot be told, nor so its
// arithmetic. Each group's fit is apart from the others', so they share the cores.
void fit_groups(const check_set& set, check_report* report) {
  report->fits.assign(report->groups.size(), std::nullopt);
  if (report->shifted_by) return;
  const std::vector<group_location>& located = report->located.groups;
  std::set<std::string> told;  // the relations that explain some group
  for (const group_location& g : located) {
    if (g.relation) told.insert(*g.relation);
  }
  std::vector<size_t> todo;
  for (size_t k = 0; k < report->groups.size(); ++k) {
    const bool related = k < located.size() &&
                         (located[k].relation ||
                          std::any_of(located[k].unknowable.begin(), located[k].unknowable.end(),
                                      [&](const std::string& r) { return told.count(r) != 0; }));
    if (report->groups[k].differing_bytes && !related) todo.push_back(k);
  }
  std::atomic<size_t> next{0};
  const auto work = [&] {
    for (size_t t = next++; t < todo.size(); t = next++) {
      report->fits[todo[t]] = fit_group(set, report->compared, report->groups[todo[t]]);
    }
  };
  const size_t threads =
      std::min<size_t>(todo.size(), std::max(1u, std::thread::hardware_concurrency()));
  std::vector<std::thread> others;
  for (size_t n = 1; n < threads; ++n) others.emplace_back(work);
  work();
  for (std::thread& t : others) t.join();
}

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
  fit_groups(set, &report);
  return report;
}

}  // namespace

check_report run_check(const check_set& set, const std::string& dir) {
  return check_compared(set, compare_files(set, dir));
}

check_report check_stream(const check_set& set, const std::vector<uint8_t>& blocks) {
  return check_compared(set, compare_stream(set, blocks));
}

#include "report.h"

#include <algorithm>
#include <cstdlib>
#include <map>
#include <set>

#include "coverage.h"
#include "facets.h"
#include "leads.h"

namespace {

std::string join(const std::vector<std::string>& parts, const char* separator) {
  std::string out;
  for (const std::string& p : parts) out += (out.empty() ? "" : separator) + p;
  return out;
}

// Up to ten names, then how many more.
std::string some_files(const check_set& set, const std::vector<size_t>& cases) {
  std::vector<std::string> names;
  for (size_t k = 0; k < cases.size() && k < 10; ++k) names.push_back(set.cases[cases[k]].file);
  if (cases.size() > 10) names.push_back("and " + std::to_string(cases.size() - 10) + " more");
  return join(names, ", ");
}

// "a", "a and b", "a, b and c"
std::string listed(const std::vector<std::string>& items) {
  std::string out;
  for (size_t k = 0; k < items.size(); ++k) {
    out += (k == 0 ? "" : k + 1 == items.size() ? " and " : ", ") + items[k];
  }
  return out;
}

// "{h, [1, 13], [half_up, half_up], uint16} (the intermediate kept in ...)"
std::string point_words(const check_report& report, const lead& l) {
  const group_key& key = report.groups[l.named_by].key;
  const std::string gloss =
      structure_gloss(*l.point, key.path, applied_taps(*report.fits[l.named_by], key));
  return structure_text(*l.point) + (gloss.empty() ? "" : " (" + gloss + ")");
}

size_t differing_groups(const check_report& report) {
  return static_cast<size_t>(
      std::count_if(report.groups.begin(), report.groups.end(),
                    [](const group_report& g) { return g.differing_bytes; }));
}

// What the groups that differ have in common, and which faults reproduce how many of them: a
// fault that shows only where vectors are negative, or only on one path, says so here.
void write_summary(const check_report& report, std::FILE* to) {
  std::vector<const group_report*> differ, same;
  for (const group_report& g : report.groups) (g.differing_bytes ? differ : same).push_back(&g);
  const auto all = [&](const std::vector<const group_report*>& groups, auto trait) {
    return std::all_of(groups.begin(), groups.end(),
                       [&](const group_report* g) { return trait(*g); });
  };
  const auto any = [&](const std::vector<const group_report*>& groups, auto trait) {
    return !all(groups, [&](const group_report& g) { return !trait(g); });
  };
  std::vector<std::string> common;
  const auto negative = [](const group_report& g) { return g.key.negative; };
  if (all(differ, negative) && !all(same, negative)) common.push_back("with negative vectors");
  const auto clamped = [](const group_report& g) {
    return g.key.clamp[0] != clamp_state::none || g.key.clamp[1] != clamp_state::none;
  };
  if (all(differ, clamped) && any(same, [&](const group_report& g) { return !clamped(g); })) {
    common.push_back("clamped");
  }
  const block_path path = differ.front()->key.path;
  const auto on_path = [&](const group_report& g) { return g.key.path == path; };
  if (all(differ, on_path) && !all(same, on_path)) {
    common.push_back(std::string("on the ") + path_name(path) + " path");
  }
  std::vector<std::string> reproduced;
  if (report.shifted_by) {
    reproduced.push_back("shifted_files (by " + std::to_string(*report.shifted_by) +
                         ") reproduces all of them");
  }
  // Every lead that explains them all, and the first few of those that explain fewer.
  size_t partial = 0, unsaid = 0;
  for (const lead& l : ranked_leads(report)) {
    const std::string n = std::to_string(l.groups.size());
    const bool part = l.groups.size() + l.unknowable < differ.size();
    if (part && ++partial > 3) {
      ++unsaid;
      continue;
    }
    std::string text = l.relation ? *l.relation + ", in " + n + " of them"
                       : l.fault  ? fault_text(*l.fault) + " reproduces " + n + " of them"
                       : l.finding
                           ? "the fit, in " + n + " of them: " + *l.finding
                           : "fit " + point_words(report, l) + " reproduces " + n + " of them";
    if (l.unknowable) {
      text += " (the other " + std::to_string(l.unknowable) + " it would read outside the plane)";
    }
    if (part) text += " (partial: " + n + " of " + std::to_string(differ.size()) + " groups)";
    reproduced.push_back(text);
  }
  if (unsaid) {
    reproduced.push_back(std::to_string(unsaid) + " more lead" + (unsaid == 1 ? "" : "s") +
                         " on fewer groups, in the JSON's summary");
  }
  std::fprintf(to, "  in all: %zu of %zu groups differ%s%s; %s\n", differ.size(),
               report.groups.size(), common.empty() ? "" : ", every one ", listed(common).c_str(),
               reproduced.empty() ? "no known fault reproduces any of them"
                                  : join(reproduced, "; ").c_str());
}

// How many of a group's differing blocks were located, and where: the one relation that covers
// them, or a few of them as they are.
std::string location_line(const check_set& set, const check_report& report, size_t k) {
  const group_location& where = report.located.groups[k];
  const group_report& g = report.groups[k];
  std::string line = "located: " + std::to_string(where.located) + " of " +
                     std::to_string(g.differing_blocks) + " differing blocks";
  if (where.relation) return line + ", " + *where.relation;
  std::vector<std::string> facts;
  for (const size_t b : where.facts) {
    const block_location& l = report.located.blocks[b];
    const check_case& c = set.cases[l.case_index];
    std::string fact =
        c.file + ": ours " + placement_text(place(c.call)) + ", found " +
        (l.other_case ? "as the block of " + set.cases[*l.other_case].file + ", " : "") +
        source_text(*l.source);
    facts.push_back(fact);
  }
  return line + "; no one relation covers them: " + join(facts, "; ");
}

void write_pixels(const check_set& set, const check_report& report, std::FILE* to) {
  bool titled = false;
  for (const group_report& g : report.groups) {
    if (!g.differing_bytes) continue;
    if (!titled) {
      std::fprintf(to,
                   "pixels (row 0 is the first row the file stores, pixel 0 the leftmost; "
                   "channel 0 blue, 1 green, 2 red):\n");
      titled = true;
    }
    std::fprintf(to,
                 "  %s: %zu blocks, %zu differ; %zu bytes differ, by at most %d "
                 "(+1: %zu, -1: %zu, larger: %zu)\n",
                 group_label(set, g.key).c_str(), g.cases.size(), g.differing_blocks,
                 g.differing_bytes, g.max_difference, g.plus_one, g.minus_one, g.larger);
    const pixel_difference& f = *g.first;
    std::fprintf(to, "    first: %s\n", difference_text(set, f).c_str());
    for (const std::string& line : group_facet_lines(set, report, g)) {
      std::fprintf(to, "    %s\n", line.c_str());
    }
    const size_t k = static_cast<size_t>(&g - report.groups.data());
    if (k < report.located.groups.size() && report.located.groups[k].located) {
      std::fprintf(to, "    %s\n", location_line(set, report, k).c_str());
    }
    std::vector<std::string> faults;
    for (const diagnosed_fault& fault : g.diagnosis) faults.push_back(fault_text(fault));
    if (faults.empty() && report.shifted_by) {
      faults.push_back("shifted_files (by " + std::to_string(*report.shifted_by) +
                       "), as every file is (below)");
    }
    std::fprintf(to, "    diagnosis: %s\n",
                 faults.empty() ? "no known fault reproduces these" : join(faults, "; ").c_str());
    if (k < report.fits.size() && report.fits[k]) {
      for (const std::string& line : fit_lines(*report.fits[k], g.key)) {
        std::fprintf(to, "    %s\n", line.c_str());
      }
    }
  }
  if (!titled) return;
  write_summary(report, to);
  std::fprintf(to, "  %s\n", facets_line(set, facets_of(set, report)).c_str());
}

void write_headers(const check_set& set, const check_report& report, std::FILE* to) {
  if (report.compared.headers.empty()) return;
  std::fprintf(to, "headers:\n");
  for (const header_report& h : report.compared.headers) {
    std::fprintf(to, "  %s: in %zu file%s; first %s at byte %zu: expected %lld, found %lld\n",
                 h.field, h.files, h.files == 1 ? "" : "s", set.cases[h.first_case].file.c_str(),
                 h.first.at, static_cast<long long>(h.first.expected),
                 static_cast<long long>(h.first.found));
  }
}

void write_files(const check_set& set, const check_report& report, std::FILE* to) {
  std::map<std::string, std::vector<size_t>> by_reason;
  for (const size_t i : report.compared.unreadable)
    by_reason[report.compared.outcomes[i].reason].push_back(i);
  if (report.compared.missing.empty() && by_reason.empty()) return;
  std::fprintf(to, "files:\n");
  if (!report.compared.missing.empty()) {
    std::fprintf(to, "  missing: %zu (%s)\n", report.compared.missing.size(),
                 some_files(set, report.compared.missing).c_str());
  }
  for (const auto& [reason, cases] : by_reason) {
    std::fprintf(to, "  %s: %zu (%s)\n", reason.c_str(), cases.size(),
                 some_files(set, cases).c_str());
  }
}

std::string paths_text(const std::vector<block_path>& paths) {
  std::vector<std::string> names;
  for (const block_path p : paths) names.push_back(path_name(p));
  return "the " + listed(names) + (names.size() > 1 ? " paths" : " path");
}

// What the blocks exercised and what they never did, whatever the implementation made of them.
void write_coverage_summary(const check_set& set, const check_report& report, std::FILE* to) {
  const coverage_summary c = summarize_coverage(set, &report.compared);
  std::vector<std::string> pair_names;
  for (const auto& [h, v] : c.phase_pairs) {
    const int phase[2] = {h, v};
    pair_names.push_back(phases_text(phase));
  }
  std::vector<std::string> ran, never;
  ran.push_back(paths_text(c.paths));
  const size_t pairs = c.phase_pairs.size();
  ran.push_back(pairs == 16 ? "all 16 phase pairs"
                            : std::to_string(pairs) + " of the 16 phase pairs (" +
                                  join(pair_names, " ") + ")");
  if (!c.paths_never.empty()) never.push_back(paths_text(c.paths_never));
  if (pairs < 16) never.push_back("the other " + std::to_string(16 - pairs) + " phase pairs");
  if (!c.clamps.empty()) ran.push_back("the clamp at " + join(c.clamps, ", "));
  if (c.clamps_never.size() == 4) {
    never.push_back("the clamp at any edge of the picture");
  } else if (!c.clamps_never.empty()) {
    never.push_back("the clamp at " + join(c.clamps_never, ", "));
  }
  (c.negative ? ran : never).push_back("a negative vector");
  const std::string what = partly_checked(set, report.compared)
                               ? "the " + std::to_string(report.compared.checked) +
                                     " blocks checked of " + (set.walk ? "the walk" : "the set")
                           : set.walk ? "the walk"
                                      : "the set";
  std::fprintf(to, "coverage: %s ran %s.\n", what.c_str(), join(ran, "; ").c_str());
  if (never.empty()) return;
  std::fprintf(to, "  It never ran %s.\n", join(never, "; ").c_str());
  std::fprintf(to, "  An implementation that passes %s may still be wrong there%s.\n", what.c_str(),
               set.walk ? "; make_vectors writes a set of vectors that covers it all" : "");
}

json_value names_json(const std::vector<std::string>& names) {
  return json_array(names.begin(), names.end());
}

json_value paths_json(const std::vector<block_path>& paths) {
  json_array names;
  for (const block_path p : paths) names.push_back(path_name(p));
  return names;
}

json_value pairs_json(const std::vector<std::pair<int, int>>& pairs) {
  json_array items;
  for (const auto& [h, v] : pairs) items.push_back(json_array{h, v});
  return items;
}

// "coverage": what write_coverage_summary says, for scripts.
json_value coverage_json(const check_set& set, const check_report& report) {
  const coverage_summary c = summarize_coverage(set, &report.compared);
  return json_object{{"paths", paths_json(c.paths)},
                     {"paths_never", paths_json(c.paths_never)},
                     {"phase_pairs", pairs_json(c.phase_pairs)},
                     {"phase_pairs_never", pairs_json(c.phase_pairs_never)},
                     {"clamps", names_json(c.clamps)},
                     {"clamps_never", names_json(c.clamps_never)},
                     {"negative_vectors", c.negative}};
}

// {"fault": "taps", "axis": "h", "phase": 3}; a pair {"fault": "pair", "faults": [..., ...]}
json_value fault_json(const diagnosed_fault& fault) {
  if (!fault.pair.empty()) {
    return json_object{
        {"fault", "pair"},
        {"faults", json_array{fault_json(fault.pair[0]), fault_json(fault.pair[1])}}};
  }
  json_object fields = {{"fault", fault.fault->name}};
  for (size_t k = 0; k < fault.values.size(); ++k) {
    const field_value& v = fault.values[k];
    fields.push_back({fault.fault->fields[k].name, std::holds_alternative<int64_t>(v)
                                                       ? json_value(std::get<int64_t>(v))
                                                       : json_value(std::get<std::string>(v))});
  }
  return fields;
}

json_value files_json(const check_set& set, const std::vector<size_t>& cases) {
  json_array names;
  for (const size_t i : cases) names.push_back(set.cases[i].file);
  return names;
}

json_value group_json(const check_set& set, const check_report& report, size_t k) {
  const group_report& g = report.groups[k];
  json_array diagnosis;
  for (const diagnosed_fault& fault : g.diagnosis) diagnosis.push_back(fault_json(fault));
  json_object o = {{"path", path_name(g.key.path)},
                   {"phases", json_array{g.key.phase[0], g.key.phase[1]}},
                   {"clamp_x", clamp_name(g.key.clamp[0])},
                   {"clamp_y", clamp_name(g.key.clamp[1])},
                   {"negative", g.key.negative},
                   {"blocks", g.cases.size()},
                   {"differing_blocks", g.differing_blocks},
                   {"differing_bytes", g.differing_bytes},
                   {"max_abs_difference", g.max_difference},
                   {"plus_one", g.plus_one},
                   {"minus_one", g.minus_one},
                   {"larger", g.larger},
                   {"first", g.first ? difference_json(set, *g.first) : json_value()},
                   {"diagnosis", diagnosis}};
  add_group_facets_json(set, g, &o);
  const bool located = k < report.located.groups.size();
  o.push_back({"located", located ? report.located.groups[k].located : 0});
  o.push_back({"relation", located && report.located.groups[k].relation
                               ? json_value(*report.located.groups[k].relation)
                               : json_value()});
  o.push_back(
      {"fit", k < report.fits.size() && report.fits[k] ? fit_json(*report.fits[k]) : json_value()});
  return o;
}

json_value source_json(const block_source& s) {
  return json_object{{"view", view_name(s.view)},    {"written", written_name(s.written)},
                     {"sx", s.where.source(axis_h)}, {"sy", s.where.source(axis_v)},
                     {"hx", s.where.phase[axis_h]},  {"vy", s.where.phase[axis_v]}};
}

// Every differing block: its name, place, group and differing bytes, and where it was found.
json_value differences_json(const check_set& set, const check_report& report) {
  std::map<size_t, size_t> group_of_case;
  for (size_t k = 0; k < report.groups.size(); ++k) {
    for (const size_t i : report.groups[k].cases) group_of_case[i] = k;
  }
  json_array list;
  for (const block_location& l : report.located.blocks) {
    const case_outcome& o = report.compared.outcomes[l.case_index];
    size_t bytes = 0;
    for (size_t b = 0; b < block_bytes; ++b) bytes += o.found[b] != o.expected[b];
    json_value located;
    if (l.source) {
      json_object s = std::get<json_object>(source_json(*l.source).value);
      if (l.other_case) s.push_back({"other", *l.other_case});
      located = s;
    }
    list.push_back(json_object{{"block", set.cases[l.case_index].file},
                               {"place", l.case_index},
                               {"group", group_of_case[l.case_index]},
                               {"bytes", bytes},
                               {"located", located}});
  }
  return list;
}

}  // namespace

const char* channel_name(int channel) {
  static const char* const names[] = {"blue", "green", "red"};
  return names[channel];
}

std::string group_label(const check_set& set, const group_key& key) {
  const std::string label = path_and_phases(key);
  if (set.walk) return label;
  return label + ", clamp " + clamp_name(key.clamp[0]) + "/" + clamp_name(key.clamp[1]) +
         (key.negative ? ", negative" : ", non-negative");
}

std::string verdict(const check_set& set, const check_report& report, const std::string& dir) {
  const std::string blocks = std::to_string(set.cases.size());
  if (report.identical()) {
    return "identical: all " + blocks +
           (report.compared.pixels_only ? " blocks' pixels are as blockwalk makes them"
                                        : " blocks are as blockwalk writes them");
  }
  const std::string missing = std::to_string(report.compared.missing.size());
  const std::string unreadable = std::to_string(report.compared.unreadable.size());
  // Most likely the implementation never ran, or wrote elsewhere.
  if (report.compared.checked == 0) {
    return "nothing checked: " + missing + " of " + blocks + " missing, " + unreadable +
           " unreadable; has the implementation run, and written its files into " + dir + "?";
  }
  return "different: " + std::to_string(report.compared.differing) + " of " + blocks +
         " blocks differ; " + missing + " missing, " + unreadable + " unreadable";
}

void write_text_report(const check_set& set, const check_report& report, std::FILE* to,
                       const std::string& dir) {
  std::fprintf(to, "%s\n", verdict(set, report, dir).c_str());
  if (report.compared.pixels_only) {
    std::fprintf(to, "pixels only: the blocks came from a stream, which holds no headers\n");
  }
  if (report.shifted_by) {
    const int by = *report.shifted_by;
    std::fprintf(to,
                 "shifted_files (by %d): every file compared holds the block of the file %d %s it "
                 "in %s order\n",
                 by, by < 0 ? -by : by, by > 0 ? "before" : "after",
                 set.walk ? "walk" : "manifest");
  }
  write_pixels(set, report, to);
  write_headers(set, report, to);
  write_files(set, report, to);
  write_coverage_summary(set, report, to);
}

json_value report_json(const check_set& set, const check_report& report) {
  json_array unreadable, headers, groups, summary;
  for (const size_t i : report.compared.unreadable) {
    unreadable.push_back(
        json_object{{"file", set.cases[i].file}, {"reason", report.compared.outcomes[i].reason}});
  }
  for (const header_report& h : report.compared.headers) {
    headers.push_back(json_object{{"field", h.field},
                                  {"files", h.files},
                                  {"first", json_object{{"file", set.cases[h.first_case].file},
                                                        {"at", h.first.at},
                                                        {"expected", h.first.expected},
                                                        {"found", h.first.found}}}});
  }
  for (size_t k = 0; k < report.groups.size(); ++k) groups.push_back(group_json(set, report, k));
  // What explains how many differing groups, the most first.
  const size_t differ = differing_groups(report);
  for (const lead& l : ranked_leads(report)) {
    json_object entry = {{"groups", l.groups.size()},
                         {"partial", l.groups.size() + l.unknowable < differ}};
    if (l.relation) {
      entry.push_back({"unknowable", l.unknowable});
      entry.push_back({"located", *l.relation});
    } else if (l.fault) {
      entry.push_back({"diagnosis", fault_json(*l.fault)});
    } else {
      entry.push_back(
          {"fit", json_object{{"structure", l.point ? structure_json(*l.point) : json_value()},
                              {"finding", l.finding ? json_value(*l.finding) : json_value()}}});
    }
    summary.push_back(entry);
  }
  json_value shifted;
  if (report.shifted_by) shifted = json_object{{"by", *report.shifted_by}};
  return json_object{{"identical", report.identical()},
                     {"pixels_only", report.compared.pixels_only},
                     {"blocks", set.cases.size()},
                     {"blocks_checked", report.compared.checked},
                     {"blocks_differing", report.compared.differing},
                     {"missing", files_json(set, report.compared.missing)},
                     {"unreadable", unreadable},
                     {"header_differences", headers},
                     {"groups", groups},
                     {"differences", differences_json(set, report)},
                     {"facets", facets_json(facets_of(set, report))},
                     {"summary", summary},
                     {"shifted_files", shifted},
                     {"coverage", coverage_json(set, report)}};
}

std::string json_report(const check_set& set, const check_report& report) {
  return json_text(report_json(set, report));
}

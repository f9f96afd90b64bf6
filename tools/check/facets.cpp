#include "facets.h"

#include <set>

#include "report.h"

namespace {

// "13 … 15", "0 and 15", "0 … 2, 7 and 9 … 15": the indices k of `counts` that are not 0.
std::string ranges_text(const size_t counts[16]) {
  std::vector<std::string> runs;
  for (int k = 0; k < 16; ++k) {
    if (!counts[k]) continue;
    int end = k;
    while (end + 1 < 16 && counts[end + 1]) ++end;
    runs.push_back(end == k ? std::to_string(k) : std::to_string(k) + " … " + std::to_string(end));
    k = end;
  }
  std::string text;
  for (size_t k = 0; k < runs.size(); ++k) {
    text += (k == 0 ? "" : k + 1 == runs.size() ? " and " : ", ") + runs[k];
  }
  return text;
}

size_t used(const size_t counts[16]) {
  size_t n = 0;
  for (int k = 0; k < 16; ++k) n += counts[k] != 0;
  return n;
}

json_value counts_json(const size_t counts[16]) {
  return json_array(counts, counts + 16);
}

json_value map_json(const check_facets::counts& counts) {
  json_object o;
  for (const auto& [name, n] : counts) o.push_back({name, n});
  return o;
}

std::string counted(const check_facets::counts& counts) {
  std::string text;
  for (const auto& [name, n] : counts) {
    text += (text.empty() ? "" : ", ") + name + " " + std::to_string(n);
  }
  return text;
}

}  // namespace

std::string difference_text(const check_set& set, const pixel_difference& d) {
  return set.cases[d.case_index].file + " row " + std::to_string(d.row) + " pixel " +
         std::to_string(d.pixel) + " channel " + std::to_string(d.channel) + " (" +
         channel_name(d.channel) + "): expected " + std::to_string(d.expected) + ", found " +
         std::to_string(d.found);
}

json_value difference_json(const check_set& set, const pixel_difference& d) {
  return json_object{{"file", set.cases[d.case_index].file},
                     {"row", d.row},
                     {"pixel", d.pixel},
                     {"channel", d.channel},
                     {"expected", d.expected},
                     {"found", d.found}};
}

std::vector<std::string> group_facet_lines(const check_set& set, const check_report& report,
                                           const group_report& g) {
  std::vector<std::string> lines;
  if (g.worst && (g.worst->case_index != g.first->case_index || g.worst->row != g.first->row ||
                  g.worst->pixel != g.first->pixel || g.worst->channel != g.first->channel)) {
    lines.push_back("worst: " + difference_text(set, *g.worst));
  }
  std::vector<std::string> confined;
  if (used(g.rows) < 16) confined.push_back("rows " + ranges_text(g.rows));
  if (used(g.columns) < 16) confined.push_back("pixels " + ranges_text(g.columns));
  if (!confined.empty()) {
    lines.push_back("the differing bytes lie in " + confined[0] +
                    (confined.size() > 1 ? " and " + confined[1] : "") + " only");
  }
  // A few pairs of values that stand for every differing byte tell a saturation or a wrap.
  size_t covered = 0;
  std::string pairs;
  for (size_t k = 0; k < g.pairs.size() && k < 3 && covered < g.differing_bytes; ++k) {
    const value_pair& p = g.pairs[k];
    covered += p.bytes;
    pairs += (k ? "; " : "") +
             ("expected " + std::to_string(p.expected) + ", found " + std::to_string(p.found)) +
             (g.pairs.size() > 1 ? " (" + std::to_string(p.bytes) + ")" : "");
  }
  if (covered == g.differing_bytes) {
    lines.push_back((g.pairs.size() == 1 ? "every differing byte: " : "the differing bytes: ") +
                    pairs);
  }
  std::set<size_t> all, differing;
  for (const size_t i : g.cases) {
    all.insert(set.cases[i].picture);
    const case_outcome& o = report.compared.outcomes[i];
    if (o.found != o.expected) differing.insert(set.cases[i].picture);
  }
  if (all.size() > 1 && differing.size() == 1) {
    lines.push_back("the differing blocks are all of " + set.pictures[*differing.begin()].name);
  }
  return lines;
}

check_facets facets_of(const check_set& set, const check_report& report) {
  std::vector<size_t> pictures(set.pictures.size()), paths(path_count);
  size_t clamps[5] = {};  // h low, h high, v low, v high, none
  for (const group_report& g : report.groups) {
    for (const size_t i : g.cases) {
      const case_outcome& o = report.compared.outcomes[i];
      if (o.found == o.expected) continue;
      ++pictures[set.cases[i].picture];
      ++paths[static_cast<size_t>(g.key.path)];
      bool clamped = false;
      for (const int axis : {axis_h, axis_v}) {
        if (g.key.clamp[axis] == clamp_state::none) continue;
        clamped = true;
        ++clamps[2 * axis + (g.key.clamp[axis] == clamp_state::high)];
      }
      clamps[4] += !clamped;
    }
  }
  check_facets f;
  for (size_t k = 0; k < pictures.size() && set.pictures.size() > 1; ++k) {
    f.pictures.push_back({set.pictures[k].name, pictures[k]});
  }
  for (const block_path p : every_path) {
    if (paths[static_cast<size_t>(p)])
      f.paths.push_back({path_name(p), paths[static_cast<size_t>(p)]});
  }
  const char* const bounds[] = {"h low", "h high", "v low", "v high", "none"};
  for (size_t k = 0; k < 5; ++k) {
    if (clamps[k]) f.clamps.push_back({bounds[k], clamps[k]});
  }
  return f;
}

std::string facets_line(const check_set& set, const check_facets& f) {
  std::string line = "differing blocks";
  if (set.pictures.size() > 1) line += " by picture: " + counted(f.pictures) + ";";
  return line + " by path: " + counted(f.paths) + "; by clamp: " + counted(f.clamps);
}

json_value facets_json(const check_facets& f) {
  return json_object{{"pictures", map_json(f.pictures)},
                     {"paths", map_json(f.paths)},
                     {"clamps", map_json(f.clamps)}};
}

void add_group_facets_json(const check_set& set, const group_report& g, json_object* o) {
  json_array pairs;
  for (const value_pair& p : g.pairs) {
    pairs.push_back(json_object{{"expected", p.expected}, {"found", p.found}, {"bytes", p.bytes}});
  }
  o->push_back({"rows", counts_json(g.rows)});
  o->push_back({"columns", counts_json(g.columns)});
  o->push_back({"worst", g.worst ? difference_json(set, *g.worst) : json_value()});
  o->push_back({"pairs", pairs});
}

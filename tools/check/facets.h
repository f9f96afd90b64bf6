// The facts a porter looks for beside the groups: where in a block the bytes differ, the worst
// of them, the values they take, and for the whole check the differing blocks by picture, path
// and clamp bound.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <vector>

#include "check.h"
#include "json.h"

// The lines a group's report adds under its first difference, each indented by four: the worst
// byte where it is not the first, the rows or columns where the differing bytes are confined,
// the pairs of values where a few of them cover every differing byte, the pictures where a
// set's differing blocks are confined.
std::vector<std::string> group_facet_lines(const check_set& set, const check_report& report,
                                           const group_report& group);

// The differing blocks of the whole check, counted by picture (a set's), by path and by clamp
// ("h low", "h high", "v low", "v high" apart, or "none").
struct check_facets {
  using counts = std::vector<std::pair<std::string, size_t>>;  // in the order of the set, the
                                                               // paths, the clamp bounds
  counts pictures, paths, clamps;
};
check_facets facets_of(const check_set& set, const check_report& report);

// "differing blocks by picture: random.bmp 120, extremes.bmp 30; by path: ...; by clamp: ..."
std::string facets_line(const check_set& set, const check_facets& facets);

json_value facets_json(const check_facets& facets);
// A group's "rows", "columns", "worst" and "pairs".
void add_group_facets_json(const check_set& set, const group_report& group, json_object* g);

// "vector0152.bmp row 0 pixel 0 channel 0 (blue): expected 111, found 46"
std::string difference_text(const check_set& set, const pixel_difference& d);
json_value difference_json(const check_set& set, const pixel_difference& d);

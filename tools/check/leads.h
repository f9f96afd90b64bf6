// What explains the differing groups of a check, each lead with the groups it explains: a
// relation the location found, a fault of the catalogue, or what the fit found (a point of the
// arithmetic that reproduces groups, or its weights, range or rows in words).
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "check.h"

struct lead {
  std::optional<std::string> relation;
  std::optional<diagnosed_fault> fault;
  std::optional<structure> point;      // a point of the fit,
  size_t named_by = 0;                 // canonical on the path of this group, whose fit named it
  std::optional<std::string> finding;  // what the fit found otherwise
  std::vector<size_t> groups;          // indices of the differing groups it explains
  size_t unknowable = 0;  // groups a relation can tell nothing of: it reads outside the plane
};

// The leads, the most groups first, then relations, faults and the fit's, each in order of first
// appearance: a lead on a few groups cannot hide what explains them all. The fit's points are
// chosen one by one, each the point that reproduces the most groups still unexplained; a lead of
// the fit whose groups a fault of the catalogue explains too is left out, as saying no more.
std::vector<lead> ranked_leads(const check_report& report);

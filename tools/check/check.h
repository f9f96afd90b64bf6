// A whole check of another implementation's block files, in the stages it runs one way: the
// set read (check_set.h, manifest.h), its files compared (compare.h), the blocks grouped
// (groups.h), each group that differs diagnosed (diagnosis.h), its blocks located (locate.h) and
// its arithmetic fitted (fit.h); then written as text, JSON, a sheet or an explanation
// (report.h, difference_sheet.h, explain.h).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "compare.h"
#include "fit.h"
#include "groups.h"
#include "locate.h"

// What each stage found.
struct check_report {
  comparison compared;
  std::vector<group_report> groups;  // every group that has blocks, in key order
  std::optional<int> shifted_by;     // each file holds the block of the case this many before
  location_report located;           // where each differing block came from
  // One per group: the arithmetic of a differing group whose blocks lie where ours do (no
  // relation of the location covers them or reads outside the plane for them, the files are
  // not shifted).
  std::vector<std::optional<group_fit>> fits;
  bool identical() const {
    return compared.differing == 0 && compared.missing.empty() && compared.unreadable.empty();
  }
};

// The whole check of the files in `dir`.
check_report run_check(const check_set& set, const std::string& dir);

// The whole check of a stream's blocks (block_bytes each, in set order), pixels only.
check_report check_stream(const check_set& set, const std::vector<uint8_t>& blocks);

// What arithmetic a port applied, fitted from the bytes of one differing group whose blocks lie
// where ours do: the weights of its filter, the point of the arithmetic's grammar (structure.h)
// that reproduces every byte, where values give out when none does, and the rows and columns
// its differences keep to.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "groups.h"
#include "json.h"
#include "structure.h"

// The fitted weights along one axis, scaled so that ours read as the phase's taps.
struct axis_weights {
  int axis = axis_h;
  // offset from the output byte's own source byte (bytes along the row, rows down the column)
  // -> weight, the offsets whose weight is not 0: rounded so that they keep their sum, or the
  // taps of a phase where they lie within 1.5 (or 4 standard errors) of them
  std::vector<std::pair<int32_t, int64_t>> weights;
  double error = 0;     // the largest standard error of a weight
  bool told = true;     // error small enough for the rounded weights to be the port's
  bool ours = true;     // within 1 (or 4 standard errors) of our taps at every offset
  std::string finding;  // what they are instead, "the taps step by bytes, not pixels"
};

// A stage of the formulas whose values the differing bytes have beyond a range.
enum class fit_stage {
  sum,          // a one-dimensional filter's sum before its rounding
  first_pass,   // the two-dimensional filter's T, as the formula gives it
  second_pass,  // its second pass's sum before the rounding
};
const char* stage_name(fit_stage stage);

struct value_range {
  fit_stage stage = fit_stage::sum;
  std::optional<int64_t> low, high;  // nothing: open on that side
  std::string words;
};

struct group_fit {
  // Where a point of the grammar reproduces the group with our taps, the weights are ours and
  // not fitted; otherwise fitted, each filtered axis, or none where the bytes do not tell them.
  bool fitted = false;
  std::vector<axis_weights> weights;
  double residual = 0;                // the fit's root mean square error, in bytes
  bool fitted_taps = false;           // the structures apply the fitted weights as their taps
  std::vector<structure> structures;  // every canonical point that gives every byte
  std::optional<value_range> range;   // where none does
  std::string rows;  // the rows, pixels or channels the differences keep to, where they tell
};

// The fit of a group that has differing bytes, its blocks placed as ours. Groups may be fitted
// on several threads at once: what they share, the grammar's points for each path and taps, is
// made once under a lock.
group_fit fit_group(const check_set& set, const comparison& compared, const group_report& group);

// Whether the point `s`, as some group's fit names it, gives every byte of this group too: its
// canonical form on this group's path, with the taps the fit's structures apply, is among them.
// The one point of a port is canonical otherwise on other paths and phases: this is how it is
// counted over the groups.
bool reproduces_group(const group_fit& fit, const group_key& key, const structure& s);

// The taps the fit's structures apply: the fitted weights, or ours.
tap_layout applied_taps(const group_fit& fit, const group_key& key);

// The points that reproduce the group, the nearest ours first (the fewest choices made
// otherwise).
std::vector<structure> nearest_points(const group_fit& fit, const group_key& key);

// The lines a report prints for it, "fit: ..." each.
std::vector<std::string> fit_lines(const group_fit& fit, const group_key& key);

// What the fit found, but for a point that gives the bytes with our taps, in words: how the
// weights differ from ours, else where values give out, else the rows the differences keep to;
// empty where it found none of these.
std::string fit_finding(const group_fit& fit);

// {"weights": {"h": {"-3": -7, ...}, "v": ...} or null, "weights_fitted": bool,
//  "structures": [...], "taps": "ours" | "fitted", "range": {"stage", "low", "high"} or null,
//  "rows": str or null}
json_value fit_json(const group_fit& fit);

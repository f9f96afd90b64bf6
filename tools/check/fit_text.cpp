// A group's fit in words and as JSON.
#include <algorithm>
#include <cstdio>

#include "fit.h"
#include "fit_parts.h"

namespace {

std::string list(const std::vector<std::string>& items, const char* separator) {
  std::string out;
  for (const std::string& i : items) out += (out.empty() ? "" : separator) + i;
  return out;
}

// "byte offsets -1, 0, 1, 2 (-7, 105, 35, -5)"
std::string weights_text(const axis_weights& a) {
  std::vector<std::string> offsets, weights;
  for (const auto& [offset, weight] : a.weights) {
    offsets.push_back(std::to_string(offset));
    weights.push_back(std::to_string(weight));
  }
  return std::string(a.axis == axis_h ? "byte offsets " : "rows ") + list(offsets, ", ") + " (" +
         list(weights, ", ") + ")";
}

// How many of its choices a point makes otherwise than ours, for listing the nearest first: a
// choice counts as ours where it is ours as written or as canonical with these taps (at phase
// 1/2 the first pass rounds nothing, or keeps the sum whole); then, of those as near, the fewest
// otherwise than ours as written.
std::pair<int, int> distance(const structure& s, block_path path, const tap_layout& taps) {
  const structure raw = s.two_d ? our_two_d() : ours_for(path);
  const std::optional<structure> canonical_ours = canonical(raw, path, taps);
  const structure c = canonical_ours && canonical_ours->two_d == s.two_d ? *canonical_ours : raw;
  const auto off = [&](auto field) { return field(s) != field(raw) && field(s) != field(c); };
  const auto off_raw = [&](auto field) { return field(s) != field(raw); };
  const auto count = [&](auto differs) {
    return (s.two_d != (path == block_path::two_d)) +
           differs([](const structure& p) { return p.first; }) +
           differs([](const structure& p) { return p.shifts; }) +
           differs([](const structure& p) { return p.rounding[0]; }) +
           differs([](const structure& p) { return p.rounding[1]; }) +
           differs([](const structure& p) { return p.kept; });
  };
  return {count(off), count(off_raw)};
}

// "{v, [1, 13], [half_up, half_up], exact} (the vertical pass first)", with the catalogue's names
// of it where the taps are ours.
std::string point_text(const structure& s, const group_key& key, bool ours_taps,
                       const tap_layout& taps) {
  std::vector<std::string> words;
  if (s == canonical(ours_for(key.path), key.path, taps)) {
    words.push_back("ours");
  } else if (const std::string gloss = structure_gloss(s, key.path, taps); !gloss.empty()) {
    words.push_back(gloss);
  }
  if (ours_taps) {
    for (const diagnosed_fault& f : catalogue_names(s, key)) words.push_back(fault_text(f));
  }
  return structure_text(s) + (words.empty() ? "" : " (" + list(words, "; ") + ")");
}

// How the other points differ from the first of them, field by field with the values they
// take: "in the first pass's rounding (half_away, c_division) or the second's (half_even)".
std::string differences(const std::vector<structure>& points) {
  const structure& lead = points.front();
  std::vector<std::string> form, first, shifts, r1, r2, kept;
  const auto add = [](std::vector<std::string>* values, const std::string& v) {
    if (std::find(values->begin(), values->end(), v) == values->end()) values->push_back(v);
  };
  for (size_t k = 1; k < points.size(); ++k) {
    const structure& s = points[k];
    if (s.two_d != lead.two_d) {
      add(&form, s.two_d ? "the two-dimensional filter's" : "one pass");
      continue;
    }
    if (s.first != lead.first) add(&first, s.first == axis_h ? "h" : "v");
    if (s.shifts != lead.shifts) {
      add(&shifts, "[" + std::to_string(s.shifts[0]) + ", " + std::to_string(s.shifts[1]) + "]");
    }
    if (s.rounding[0] != lead.rounding[0]) add(&r1, rounding_name(s.rounding[0]));
    if (s.rounding[1] != lead.rounding[1]) add(&r2, rounding_name(s.rounding[1]));
    if (s.kept != lead.kept) add(&kept, storage_name(s.kept));
  }
  std::vector<std::string> fields;
  const auto field = [&](const char* name, const std::vector<std::string>& values) {
    if (!values.empty()) fields.push_back(std::string(name) + " (" + list(values, ", ") + ")");
  };
  field("form", form);
  field("first axis", first);
  field("shifts", shifts);
  field(lead.two_d ? "first rounding" : "rounding", r1);
  field("second rounding", r2);
  field(lead.two_d ? "intermediate" : "sum", kept);
  return list(fields, ", ");
}

json_value weights_json(const std::vector<axis_weights>& weights) {
  if (weights.empty()) return nullptr;
  json_object axes;
  for (const axis_weights& a : weights) {
    json_object w;
    for (const auto& [offset, weight] : a.weights) w.push_back({std::to_string(offset), weight});
    axes.push_back({a.axis == axis_h ? "h" : "v", w});
  }
  return axes;
}

}  // namespace

const char* stage_name(fit_stage stage) {
  static const char* const names[] = {"sum", "first_pass", "second_pass"};
  return names[static_cast<int>(stage)];
}

std::vector<structure> nearest_points(const group_fit& fit, const group_key& key) {
  std::vector<structure> nearest = fit.structures;
  const tap_layout taps = applied_taps(fit, key);
  std::stable_sort(nearest.begin(), nearest.end(), [&](const structure& a, const structure& b) {
    return distance(a, key.path, taps) < distance(b, key.path, taps);
  });
  return nearest;
}

std::vector<std::string> fit_lines(const group_fit& fit, const group_key& key) {
  std::vector<std::string> lines;
  if (fit.fitted) {
    std::vector<std::string> axes;
    for (const axis_weights& a : fit.weights) {
      if (a.ours) continue;
      const std::vector<axis_weights> ours = our_weights(key);
      const auto mine = std::find_if(ours.begin(), ours.end(),
                                     [&](const axis_weights& o) { return o.axis == a.axis; });
      std::string line = std::string(a.axis == axis_h ? "horizontal" : "vertical") +
                         " weights at " + weights_text(a) + ", ours at " + weights_text(*mine);
      if (a.told) {
        line += ": " + a.finding;
      } else {
        char error[32];
        std::snprintf(error, sizeof error, "%.1f", a.error);
        line += std::string(", each uncertain by up to ") + error +
                ": the bytes do not tell them closely";
      }
      axes.push_back(line);
    }
    if (fit.weights.empty()) {
      axes.push_back("the source bytes around these do not tell the weights apart");
    } else if (axes.empty()) {
      axes.push_back("the weights fitted to these bytes are ours");
    }
    if (fit.residual > 1) {
      char miss[96];
      std::snprintf(miss, sizeof miss, "the bytes miss the fit by %.1f on average", fit.residual);
      axes.push_back(miss);
    }
    for (const std::string& a : axes) lines.push_back("fit: " + a);
  }
  if (!fit.structures.empty()) {
    const std::vector<structure> nearest = nearest_points(fit, key);
    const std::string taps = fit.fitted_taps ? "with the fitted weights as taps, " : "";
    std::string line = "fit: " + taps +
                       point_text(nearest.front(), key, !fit.fitted_taps, applied_taps(fit, key)) +
                       " reproduces every byte";
    // The rest, which these bytes do not tell from it, in a word.
    if (nearest.size() == 2) {
      line += "; so does 1 more point, which differs from it in " + differences(nearest);
    } else if (nearest.size() > 2) {
      line += "; so do " + std::to_string(nearest.size() - 1) +
              " more points, which differ from it in " + differences(nearest);
    }
    lines.push_back(line);
  } else if (key.path != block_path::copy) {
    lines.push_back("fit: no point of the arithmetic reproduces these" +
                    (fit.range ? ": " + fit.range->words
                               : std::string("; no stage's values set the differing bytes apart")));
  }
  if (!fit.rows.empty()) lines.push_back("fit: " + fit.rows);
  return lines;
}

std::string fit_finding(const group_fit& fit) {
  std::vector<std::string> findings;
  for (const axis_weights& a : fit.weights) {
    if (fit.fitted && !a.ours && a.told) findings.push_back(a.finding);
  }
  if (!findings.empty()) return list(findings, "; ");
  if (fit.structures.empty() && fit.range) return fit.range->words;
  return fit.rows;
}

json_value fit_json(const group_fit& fit) {
  json_array structures;
  for (const structure& s : fit.structures) structures.push_back(structure_json(s));
  json_value range;
  if (fit.range) {
    range = json_object{{"stage", stage_name(fit.range->stage)},
                        {"low", fit.range->low ? json_value(*fit.range->low) : json_value()},
                        {"high", fit.range->high ? json_value(*fit.range->high) : json_value()}};
  }
  return json_object{{"weights", weights_json(fit.weights)},
                     {"weights_fitted", fit.fitted},
                     {"structures", structures},
                     {"taps", fit.fitted_taps ? "fitted" : "ours"},
                     {"range", range},
                     {"rows", fit.rows.empty() ? json_value() : json_value(fit.rows)}};
}

#include "explain.h"

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "diagnosis.h"
#include "fit_parts.h"
#include "interpolate.h"
#include "render.h"
#include "report.h"
#include "views.h"

namespace {

// "-7*12 + 105*200 + 35*37 - 5*44", a negative value in brackets: "72*(-146)"
std::string weighted(const int32_t taps[4], const int32_t values[4]) {
  std::string s;
  for (int k = 0; k < 4; ++k) {
    const int32_t t = taps[k];
    s += k == 0 ? (t < 0 ? "-" : "") : (t < 0 ? " - " : " + ");
    const std::string v = std::to_string(values[k]);
    s += std::to_string(t < 0 ? -t : t) + "*" + (values[k] < 0 ? "(" + v + ")" : v);
  }
  return s;
}

void write_axis(const block_call& call, const placement& where, int axis, std::FILE* to) {
  const char* name = axis == axis_h ? "x" : "y";
  const int32_t position = axis == axis_h ? call.x : call.y;
  const int32_t mv = axis == axis_h ? call.mvx : call.mvy;
  const int64_t moved = int64_t{position} + (mv >> 2);
  std::fprintf(to, "  %s %d + whole part %d of mv%s %d (phase %s) = %lld", name, position, mv >> 2,
               name, mv, phase_text(mv & 3), static_cast<long long>(moved));
  if (where.path == block_path::copy) {
    std::fprintf(to, ", not clamped (a copy never is)\n");
    return;
  }
  const int64_t high = int64_t{axis == axis_h ? call.stride : call.height} - 2;
  std::fprintf(to, "; bounds -15 ... %lld: ", static_cast<long long>(high));
  if (where.clamp[axis] == clamp_state::none) {
    std::fprintf(to, "not clamped\n");
  } else {
    std::fprintf(to, "clamped to the %s bound, %lld\n", clamp_name(where.clamp[axis]),
                 static_cast<long long>(where.whole[axis]));
  }
}

// Source byte (j, k) as plane coordinates: where a footprint runs past a row's end, the pixel
// of the following row that it reads.
std::string plane_pixel(const block_call& call, const byte_derivation& d, int j, int k) {
  const int64_t pixel = d.index[j][k] / 3;
  return "(" + std::to_string(pixel % call.stride) + ", " + std::to_string(pixel / call.stride) +
         "): " + std::to_string(d.source[j][k]);
}

void write_steps(const block_call& call, const placement& where, const byte_derivation& d,
                 std::FILE* to) {
  std::fprintf(to, "source bytes, plane (column, row): value:\n");
  for (int j = 0; j < d.rows; ++j) {
    std::string line;
    for (int k = 0; k < d.columns; ++k) line += "  " + plane_pixel(call, d, j, k);
    std::fprintf(to, "%s\n", line.c_str());
  }
  const std::string rounding = "(" + std::to_string(d.sum) + " + " + std::to_string(d.offset) +
                               ") >> " + std::to_string(d.shift) + " = " +
                               std::to_string(d.rounded);
  switch (where.path) {
    case block_path::copy:
      std::fprintf(to, "copy: the byte is the source byte, %d\n", d.value);
      return;
    case block_path::horizontal:
    case block_path::vertical: {
      const bool h = where.path == block_path::horizontal;
      const int32_t* taps = h ? d.h_taps : d.v_taps;
      int32_t values[4];
      for (int k = 0; k < 4; ++k) values[k] = h ? d.source[0][k] : d.source[k][0];
      std::fprintf(to, "taps (%s, phase %s): %d %d %d %d\n", h ? "horizontal" : "vertical",
                   phase_text(where.phase[h ? 0 : 1]), taps[0], taps[1], taps[2], taps[3]);
      std::fprintf(to, "sum: %s = %d\n", weighted(taps, values).c_str(), d.sum);
      std::fprintf(to, "rounded once: %s\n", rounding.c_str());
      break;
    }
    case block_path::two_d:
      std::fprintf(to, "taps: horizontal (phase %s) %d %d %d %d, vertical (phase %s) %d %d %d %d\n",
                   phase_text(where.phase[0]), d.h_taps[0], d.h_taps[1], d.h_taps[2], d.h_taps[3],
                   phase_text(where.phase[1]), d.v_taps[0], d.v_taps[1], d.v_taps[2], d.v_taps[3]);
      for (int j = 0; j < 4; ++j) {
        std::fprintf(to, "pass 1, source row %d: %s = %d; (%d + 1) >> 1 = %d\n", j,
                     weighted(d.h_taps, d.source[j]).c_str(), d.pass1_sum[j], d.pass1_sum[j],
                     d.pass1[j]);
      }
      std::fprintf(to, "pass 2: %s = %d; %s\n", weighted(d.v_taps, d.pass1).c_str(), d.sum,
                   rounding.c_str());
      break;
  }
  std::fprintf(to, "clamped to 0 ... 255: %d\n", d.value);
}

// Where the check located the block, that source's derivation of the byte the port wrote.
void write_found_source(const check_set& set, const check_report& report, size_t index, int row,
                        int pixel, int channel, std::FILE* to) {
  const auto l = std::find_if(report.located.blocks.begin(), report.located.blocks.end(),
                              [&](const block_location& b) { return b.case_index == index; });
  if (l == report.located.blocks.end() || !l->source) return;
  const block_source& s = *l->source;
  const check_case& c = set.cases[index];
  const bitmap_picture& picture = set.pictures[c.picture].bitmap;
  const int64_t rows = static_cast<int64_t>(picture.plane.size() / 3) / picture.width;
  const view_plane view = make_view_plane(picture.plane, picture.width, rows, s.view);
  // The port's byte is the source's byte where the block was written rearranged.
  const int source_row = s.written == written_form::rows_reversed ? block_size - 1 - row : row;
  const int source_channel = s.written == written_form::channels_reversed ? 2 - channel : channel;
  placement in_plane = s.where;
  for (const int axis : {axis_h, axis_v}) in_plane.whole[axis] += view.margin;
  fault_switches reading;
  reading.signed_bytes = s.view == source_view::signed_bytes;
  const block_call as_read{static_cast<int32_t>(view.row_pixels), 0, 0, 0, 0, 0};
  byte_derivation d;
  if (!derive_byte({view.bytes.data(), view.bytes.size()}, as_read, in_plane, reading, source_row,
                   pixel, source_channel, &d)) {
    return;
  }
  std::fprintf(to, "found as ours %s%s: its row %d, pixel %d, channel %d\n",
               l->other_case ? ("for " + set.cases[*l->other_case].file + ", ").c_str() : "",
               source_text(s).c_str(), source_row, pixel, source_channel);
  for (size_t k = 0; k < report.groups.size(); ++k) {
    const std::vector<size_t>& cases = report.groups[k].cases;
    if (std::find(cases.begin(), cases.end(), index) == cases.end()) continue;
    const std::optional<std::string>& relation = report.located.groups[k].relation;
    if (relation) std::fprintf(to, "as its group's blocks are: %s\n", relation->c_str());
  }
  if (view.margin) {
    std::fprintf(to, "(the view's plane has %lld pixels of margin on every side)\n",
                 static_cast<long long>(view.margin));
  }
  write_steps(as_read, in_plane, d, to);
}

// "1, -2, 3, 4": four values of a pass.
template <typename T>
std::string four(const T* values) {
  std::string out;
  for (int i = 0; i < 4; ++i) out += (i ? ", " : "") + std::to_string(values[i]);
  return out;
}

// Where the fit found the point of the arithmetic that gives the block's whole group, that
// point's derivation of the byte; otherwise what the fit found.
void write_fitted(const check_set& set, const check_report& report, size_t index, int row,
                  int pixel, int channel, std::FILE* to) {
  for (size_t k = 0; k < report.groups.size() && k < report.fits.size(); ++k) {
    const std::vector<size_t>& cases = report.groups[k].cases;
    if (!report.fits[k] || std::find(cases.begin(), cases.end(), index) == cases.end()) continue;
    const group_fit& fit = *report.fits[k];
    const group_key& key = report.groups[k].key;
    if (fit.structures.empty()) {
      const std::string finding = fit_finding(fit);
      if (!finding.empty()) std::fprintf(to, "the fit, of the group: %s\n", finding.c_str());
      return;
    }
    const structure s = nearest_points(fit, key).front();
    const tap_layout taps = applied_taps(fit, key);
    const size_t b = static_cast<size_t>(row) * block_row_bytes + 3 * pixel + channel;
    neighbourhood n;
    if (!gather(block_view_of(set, report.compared, index), b, taps, false, &n)) return;
    const pass_sums sums = first_pass_sums(taps, n);
    const std::array<int64_t, 4> kept = first_pass_values(s, sums);
    const std::string gloss = structure_gloss(s, key.path, taps);
    std::fprintf(to, "the fit's arithmetic, which gives every byte of the group%s: %s%s\n",
                 fit.fitted_taps ? " with the fitted weights as taps" : "",
                 structure_text(s).c_str(), gloss.empty() ? "" : (" (" + gloss + ")").c_str());
    if (s.two_d) {
      const bool rows = s.first == axis_h;
      std::fprintf(to, "  first pass along %s %s: sums %s; kept %s\n",
                   rows ? "rows" : "the columns at byte offsets",
                   four(taps.offsets[1 - s.first]).c_str(), four(sums.sums[s.first]).c_str(),
                   four(kept.data()).c_str());
    } else {
      std::fprintf(to, "  its sum %lld, kept %lld\n", static_cast<long long>(sums.sums[s.first][1]),
                   static_cast<long long>(kept[0]));
    }
    std::fprintf(to, "  gives %d, as found\n", value_of_sums(s, taps, sums));
    return;
  }
}

// First the faults that reproduce the whole group, this byte with it; then, as weak hints,
// those that give this byte alone.
void write_faults(const check_set& set, const check_report& report, size_t index, int row,
                  int pixel, int channel, const byte_derivation& d, int found, std::FILE* to) {
  const check_case& c = set.cases[index];
  const std::vector<uint8_t>& bytes = set.pictures[c.picture].bitmap.plane;
  const plane_view plane{bytes.data(), bytes.size()};
  const placement where = place(c.call);
  const group_key key = group_of(c.call);
  std::vector<std::string> strong;
  for (const group_report& g : report.groups) {
    if (g.key < key || key < g.key) continue;
    for (const diagnosed_fault& fault : g.diagnosis) strong.push_back(fault_text(fault));
  }
  for (const std::string& fault : strong) {
    std::fprintf(to, "explained by %s, which reproduces every byte of the group\n", fault.c_str());
  }
  if (strong.empty()) std::fprintf(to, "no known fault reproduces this block's group\n");
  if (report.shifted_by) {
    std::fprintf(to,
                 "the files are shifted: each holds the block of the file %d %s it "
                 "(shifted_files, by %d)\n",
                 std::abs(*report.shifted_by), *report.shifted_by > 0 ? "before" : "after",
                 *report.shifted_by);
  }
  std::vector<std::string> weak;
  int64_t low = 0, high = int64_t{1} << d.shift;
  narrow_rounding(d.sum, d.shift, found, &low, &high);
  if (where.path != block_path::copy && low <= high) {
    weak.push_back(fault_text(
        make_fault(fault("rounding"), {where.path == block_path::two_d ? 2 : 1, low, high})));
  }
  for (const diagnosed_fault& fault : rendered_faults(key)) {
    byte_derivation faulty;
    if (derive_byte(plane, c.call, faulty_place(c.call, fault.switches), fault.switches, row, pixel,
                    channel, &faulty) &&
        faulty.value == found) {
      weak.push_back(fault_text(fault));
    }
  }
  std::string hints;
  for (const std::string& w : weak) {
    if (std::find(strong.begin(), strong.end(), w) == strong.end()) hints += "\n  " + w;
  }
  std::fprintf(to, "weak hints, faults that give this byte alone but not its whole group:%s\n",
               hints.empty() ? " none" : hints.c_str());
}

}  // namespace

void write_explanation(const check_set& set, const check_report& report, size_t index, int row,
                       int pixel, int channel, std::FILE* to) {
  const check_case& c = set.cases[index];
  const std::vector<uint8_t>& bytes = set.pictures[c.picture].bitmap.plane;
  const plane_view plane{bytes.data(), bytes.size()};
  const placement where = place(c.call);
  std::fprintf(to, "%s, row %d (0 is the first row the file stores), pixel %d, channel %d (%s)\n",
               c.file.c_str(), row, pixel, channel, channel_name(channel));
  if (set.pictures.size() > 1)
    std::fprintf(to, "picture: %s\n", set.pictures[c.picture].name.c_str());
  std::fprintf(to,
               "position: interpolate_block(stride %d, height %d, x %d, y %d, mvx %d, mvy %d)\n",
               c.call.stride, c.call.height, c.call.x, c.call.y, c.call.mvx, c.call.mvy);
  write_axis(c.call, where, axis_h, to);
  write_axis(c.call, where, axis_v, to);
  std::fprintf(to, "path: %s; the block's top-left source pixel is plane (%lld, %lld)\n",
               group_label(set, group_of(c.call)).c_str(),
               static_cast<long long>(where.whole[0] + block_margin),
               static_cast<long long>(where.whole[1] + block_margin));
  byte_derivation d;
  derive_byte(plane, c.call, where, {}, row, pixel, channel, &d);
  write_steps(c.call, where, d, to);

  const case_outcome& outcome = report.compared.outcomes[index];
  if (outcome.state == file_state::missing) {
    std::fprintf(to, "expected %d; the file is missing\n", d.value);
    return;
  }
  if (outcome.state == file_state::unreadable) {
    std::fprintf(to, "expected %d; the file is unreadable: %s\n", d.value, outcome.reason.c_str());
    return;
  }
  const int found = outcome.found[static_cast<size_t>(row) * block_row_bytes + 3 * pixel + channel];
  if (found == d.value) {
    std::fprintf(to, "expected %d, found %d: equal\n", d.value, found);
    return;
  }
  std::fprintf(to, "expected %d, found %d: %+d\n", d.value, found, found - d.value);
  write_found_source(set, report, index, row, pixel, channel, to);
  write_fitted(set, report, index, row, pixel, channel, to);
  write_faults(set, report, index, row, pixel, channel, d, found, to);
}

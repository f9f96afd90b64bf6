#include "fit.h"

#include <algorithm>

#include "fit_parts.h"

namespace {

// The bytes a search holds points to, with the sums of their sources.
struct byte_batch {
  std::vector<pass_sums> sums;
  std::vector<int16_t> found;  // -1 where the source lies outside the plane: anything goes
  void add(const block_view& v, size_t b, const tap_layout& taps, bool inside) {
    neighbourhood n;
    const bool told = gather(v, b, taps, inside, &n);
    sums.push_back(told ? first_pass_sums(taps, n) : pass_sums{});
    found.push_back(static_cast<int16_t>(told ? v.found[b] : -1));
  }
  void keep_agreeing(std::vector<structure>* points, const tap_layout& taps) {
    drop_disagreeing(points, taps, sums.data(), found.data(), found.size());
    sums.clear(), found.clear();
  }
};

// Every point of the grammar that gives every byte of the blocks under `taps`. The group's first
// differing bytes go first, where most points die, then bytes spread over the group, where those
// near ours die; the few left are held to every byte, a block at a time.
std::vector<structure> reproducing(const std::vector<block_view>& blocks, block_path path,
                                   const tap_layout& taps) {
  std::vector<structure> alive = grammar_points(path, taps);
  byte_batch batch;
  for (size_t k = 0; k < blocks.size() && batch.found.size() < 64; ++k) {
    for (size_t b = 0; b < block_bytes && batch.found.size() < 64; ++b) {
      if (blocks[k].found[b] != blocks[k].expected[b]) batch.add(blocks[k], b, taps, false);
    }
  }
  batch.keep_agreeing(&alive, taps);
  const size_t total = blocks.size() * block_bytes, step = spread_step(total, 512);
  for (size_t g = 0; g < total && !alive.empty(); g += step) {
    batch.add(blocks[g / block_bytes], g % block_bytes, taps, false);
  }
  batch.keep_agreeing(&alive, taps);
  int64_t low = 0, high = 0;
  for (size_t k = 0; k < blocks.size() && !alive.empty(); ++k) {
    const block_view& v = blocks[k];
    layout_reach(taps, v.row_bytes, &low, &high);
    const bool inside = v.reaches(low, high);
    for (size_t b = 0; b < block_bytes; ++b) batch.add(v, b, taps, inside);
    batch.keep_agreeing(&alive, taps);
  }
  return alive;
}

}  // namespace

size_t spread_step(size_t total, size_t wanted) {
  size_t step = std::max<size_t>(1, total / wanted);
  while (step > 1 && (step % 2 == 0 || step % 3 == 0)) ++step;
  return step;
}

block_view block_view_of(const check_set& set, const comparison& compared, size_t i) {
  const check_case& c = set.cases[i];
  const std::vector<uint8_t>& plane = set.pictures[c.picture].bitmap.plane;
  const placement where = place(c.call);
  block_view v;
  v.plane = plane.data();
  v.plane_size = plane.size();
  v.row_bytes = int64_t{c.call.stride} * 3;
  v.origin = where.source(axis_v) * v.row_bytes + 3 * where.source(axis_h);
  v.found = compared.outcomes[i].found.data();
  v.expected = compared.outcomes[i].expected.data();
  return v;
}

std::vector<block_view> block_views(const check_set& set, const comparison& compared,
                                    const group_report& group) {
  std::vector<block_view> views;
  for (const size_t i : group.cases) views.push_back(block_view_of(set, compared, i));
  return views;
}

void layout_reach(const tap_layout& taps, int64_t row_bytes, int64_t* low, int64_t* high) {
  const auto [h_low, h_high] = std::minmax_element(taps.offsets[axis_h], taps.offsets[axis_h] + 4);
  const auto [v_low, v_high] = std::minmax_element(taps.offsets[axis_v], taps.offsets[axis_v] + 4);
  *low = *v_low * row_bytes + *h_low;
  *high = *v_high * row_bytes + *h_high;
}

bool gather(const block_view& v, size_t b, const tap_layout& taps, bool inside, neighbourhood* n) {
  const int64_t own = v.own(b);
  for (int j = 0; j < 4; ++j) {
    const int64_t row = own + taps.offsets[axis_v][j] * v.row_bytes;
    for (int k = 0; k < 4; ++k) {
      const int64_t at = row + taps.offsets[axis_h][k];
      if (!inside && (at < 0 || at >= static_cast<int64_t>(v.plane_size))) return false;
      n->source[j][k] = v.plane[at];
    }
  }
  return true;
}

group_fit fit_group(const check_set& set, const comparison& compared, const group_report& group) {
  group_fit fit;
  const std::vector<block_view> blocks = block_views(set, compared, group);
  fit.rows = rows_story(blocks, group.key);
  const block_path path = group.key.path;
  if (path == block_path::copy) return fit;
  fit.structures = reproducing(blocks, path, our_layout(group.key.phase[0], group.key.phase[1]));
  if (!fit.structures.empty()) {
    // A point with our taps gives every byte: the weights are ours.
    fit.weights = our_weights(group.key);
    return fit;
  }
  fit.fitted = true;
  fit.weights = fit_weights(blocks, group.key, &fit.residual);
  if (const std::optional<tap_layout> taps = fitted_layout(fit.weights, group.key)) {
    fit.structures = reproducing(blocks, path, *taps);
    fit.fitted_taps = !fit.structures.empty();
  }
  if (fit.structures.empty()) fit.range = find_range(blocks, group.key);
  return fit;
}

tap_layout applied_taps(const group_fit& fit, const group_key& key) {
  return fit.fitted_taps ? *fitted_layout(fit.weights, key)
                         : our_layout(key.phase[0], key.phase[1]);
}

bool reproduces_group(const group_fit& fit, const group_key& key, const structure& s) {
  if (fit.structures.empty()) return false;
  const std::optional<structure> c = canonical(s, key.path, applied_taps(fit, key));
  return c && std::find(fit.structures.begin(), fit.structures.end(), *c) != fit.structures.end();
}

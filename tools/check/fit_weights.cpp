// The weights of a port's filter, fitted by least squares from its bytes.
#include <algorithm>
#include <cmath>
#include <numeric>

#include "fit_parts.h"
#include "interpolate.h"
#include "least_squares.h"

namespace {

// The window fitted around each output byte's own source byte: bytes along the row, rows down
// the column, a little wider than ours (-3 ... 6 bytes, -1 ... 2 rows) on either side.
constexpr int32_t window_low[2] = {-6, -2}, window_high[2] = {8, 3};
// Rounded weights are likely the port's where a weight's standard error stays below this; the
// search with them as taps tells for certain.
constexpr double told_error = 0.5;

int32_t window_size(int axis) {
  return window_high[axis] - window_low[axis] + 1;
}

// Where our taps lie along an axis, from the own source byte: a pixel (3 bytes) or a row apart.
int32_t tap_step(int axis) {
  return axis == axis_h ? 3 : 1;
}

// Taps `phase` stepped `step` apart from offset `shift` - step, as weights over the window;
// false where they leave it.
bool kernel(int axis, int phase, int32_t step, int32_t shift, std::vector<double>* k) {
  k->assign(static_cast<size_t>(window_size(axis)), 0.0);
  for (int t = 0; t < 4; ++t) {
    const int32_t at = (t - 1) * step + shift - window_low[axis];
    if (at < 0 || at >= window_size(axis)) return false;
    (*k)[static_cast<size_t>(at)] = filter_taps[phase][t];
  }
  return true;
}

bool near(const std::vector<double>& a, const std::vector<double>& b, double within) {
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::fabs(a[i] - b[i]) >= within) return false;
  }
  return true;
}

// Weights over the window as offset -> weight, those not 0.
std::vector<std::pair<int32_t, int64_t>> listed(int axis, const std::vector<int64_t>& w) {
  std::vector<std::pair<int32_t, int64_t>> list;
  for (int32_t i = 0; i < window_size(axis); ++i) {
    if (w[static_cast<size_t>(i)])
      list.push_back({i + window_low[axis], w[static_cast<size_t>(i)]});
  }
  return list;
}

// Rounded, the rounding that moves least taking the total where the weights' sum rounds.
std::vector<int64_t> rounded(const std::vector<double>& w) {
  std::vector<int64_t> r(w.size());
  int64_t total = 0;
  for (size_t i = 0; i < w.size(); ++i) total += r[i] = std::llround(w[i]);
  int64_t off = total - std::llround(std::accumulate(w.begin(), w.end(), 0.0));
  while (off != 0) {
    const int64_t step = off > 0 ? -1 : 1;
    size_t best = 0;
    double gain = -1;
    for (size_t i = 0; i < w.size(); ++i) {
      const double g = std::fabs(w[i] - static_cast<double>(r[i])) -
                       std::fabs(w[i] - static_cast<double>(r[i] + step));
      if (g > gain) gain = g, best = i;
    }
    r[best] += step;
    off += step;
  }
  return r;
}

// What the weights of an axis are instead of ours: another phase's taps, displaced, stepped by
// bytes, in words and as the taps; or what they sum to.
void find(int axis, int ours, const std::vector<double>& w, double within, axis_weights* a) {
  const char* const phase_names[] = {"0", "1/4", "1/2", "3/4"};
  std::vector<double> k;
  // A pixel apart first, then a byte apart along the row.
  for (const int32_t step : {tap_step(axis), 1}) {
    if (step == 1 && axis == axis_v) break;
    for (int32_t shift = window_low[axis]; shift <= window_high[axis]; ++shift) {
      for (int phase = 0; phase < 4; ++phase) {
        if (!kernel(axis, phase, step, shift, &k) || !near(w, k, within)) continue;
        std::string words;
        if (step != tap_step(axis)) words = "the taps step by bytes, not pixels";
        if (phase != ours) {
          words += std::string(words.empty() ? "" : ", with ") + "the taps of phase " +
                   phase_names[phase] + (phase == 0 ? " (no filter)" : "") + ", not " +
                   phase_names[ours];
        }
        if (shift != 0) {
          const bool pixels = axis == axis_h && shift % 3 == 0;
          const int32_t by = pixels ? shift / 3 : shift;
          const char* unit = axis == axis_v ? " row" : pixels ? " pixel" : " byte";
          words += std::string(words.empty() ? "" : ", ") + "displaced by " + std::to_string(by) +
                   unit + (by == 1 || by == -1 ? "" : "s");
        }
        a->finding = words;
        std::vector<int64_t> taps(k.size());
        std::transform(k.begin(), k.end(), taps.begin(), [](double t) { return std::llround(t); });
        a->weights = listed(axis, taps);
        return;
      }
    }
  }
  const long long total = std::llround(std::accumulate(w.begin(), w.end(), 0.0));
  a->finding = total < 126 || total > 130 ? "they sum to " + std::to_string(total) + ", not 128"
                                          : "none of the filter's phases";
}

axis_weights weights_of(int axis, int phase, const std::vector<double>& w, double error) {
  axis_weights a;
  a.axis = axis;
  a.error = error;
  a.told = error <= told_error;
  a.weights = listed(axis, rounded(w));
  const double within = std::max(1.0, 4 * error);
  std::vector<double> ours;
  kernel(axis, phase, tap_step(axis), 0, &ours);
  a.ours = near(w, ours, within);
  if (!a.ours && a.told) find(axis, phase, w, std::max(1.5, 4 * error), &a);
  return a;
}

}  // namespace

std::vector<axis_weights> our_weights(const group_key& key) {
  std::vector<axis_weights> all;
  for (const int axis : {axis_h, axis_v}) {
    if (!key.phase[axis]) continue;
    std::vector<double> ours;
    kernel(axis, key.phase[axis], tap_step(axis), 0, &ours);
    all.push_back(weights_of(axis, key.phase[axis], ours, 0));
  }
  return all;
}

std::vector<axis_weights> fit_weights(const std::vector<block_view>& blocks, const group_key& key,
                                      double* residual) {
  // The window along each axis the path filters; a single byte or row along the other.
  const bool along[2] = {key.phase[axis_h] != 0, key.phase[axis_v] != 0};
  int32_t low[2], high[2], size[2];
  for (int axis = 0; axis < 2; ++axis) {
    low[axis] = along[axis] ? window_low[axis] : 0;
    high[axis] = along[axis] ? window_high[axis] : 0;
    size[axis] = high[axis] - low[axis] + 1;
  }
  const size_t columns = static_cast<size_t>(size[axis_h] * size[axis_v]);

  // Some thousand equations (fewer for the two-dimensional filter, whose normal equations cost
  // 90^2 a byte), spread over the group's bytes; only the bytes the final clamp leaves alone say
  // what the sum was.
  const size_t total = blocks.size() * block_bytes;
  const size_t step = spread_step(total, columns > 32 ? 640 : 2048);
  std::vector<uint8_t> x;
  std::vector<int32_t> y;
  x.reserve((total / step + 1) * columns);
  y.reserve(total / step + 1);
  for (size_t g = 0; g < total; g += step) {
    const block_view& v = blocks[g / block_bytes];
    const size_t b = g % block_bytes;
    const int found = v.found[b];
    if (found == 0 || found == 255) continue;
    const int64_t own = v.own(b);
    if (own + low[axis_v] * v.row_bytes + low[axis_h] < 0 ||
        own + high[axis_v] * v.row_bytes + high[axis_h] >= static_cast<int64_t>(v.plane_size)) {
      continue;
    }
    for (int32_t d = low[axis_v]; d <= high[axis_v]; ++d) {
      for (int32_t o = low[axis_h]; o <= high[axis_h]; ++o) {
        x.push_back(v.plane[own + d * v.row_bytes + o]);
      }
    }
    y.push_back(found);
  }
  std::optional<linear_fit> fit = fit_linear(x, y, columns);
  if (!fit) return {};
  // Once more without the bytes it misses by more than rounding can: a few rows computed
  // otherwise should not bend the weights of the rest.
  if (fit->rms > 0.75) {
    std::vector<uint8_t> kept_x;
    std::vector<int32_t> kept_y;
    for (size_t e = 0; e < y.size(); ++e) {
      double r = y[e] - fit->intercept;
      for (size_t k = 0; k < columns; ++k) r -= fit->weights[k] * x[e * columns + k];
      if (std::fabs(r) > 1.5) continue;
      kept_x.insert(kept_x.end(), x.begin() + static_cast<ptrdiff_t>(e * columns),
                    x.begin() + static_cast<ptrdiff_t>((e + 1) * columns));
      kept_y.push_back(y[e]);
    }
    if (2 * kept_y.size() >= y.size() && kept_y.size() < y.size()) {
      if (std::optional<linear_fit> again = fit_linear(kept_x, kept_y, columns)) fit = again;
    }
  }
  *residual = fit->rms;

  // Each axis's weights: the fitted kernel summed along the other, at 128 to the taps' scale,
  // and how far each may be off.
  std::vector<axis_weights> all;
  for (const int axis : {axis_h, axis_v}) {
    if (!along[axis]) continue;
    std::vector<double> w(static_cast<size_t>(window_size(axis)), 0.0);
    double error = 0;
    for (int32_t at = 0; at < window_size(axis); ++at) {
      std::vector<double> c(columns, 0.0);
      for (int32_t d = 0; d < size[axis_v]; ++d) {
        for (int32_t o = 0; o < size[axis_h]; ++o) {
          if ((axis == axis_h ? o : d) != at) continue;
          const size_t k = static_cast<size_t>(d * size[axis_h] + o);
          c[k] = 128;
          w[static_cast<size_t>(at)] += 128 * fit->weights[k];
        }
      }
      error = std::max(error, combination_error(*fit, c));
    }
    all.push_back(weights_of(axis, key.phase[axis], w, error));
  }
  return all;
}

std::optional<tap_layout> fitted_layout(const std::vector<axis_weights>& weights,
                                        const group_key& key) {
  tap_layout taps = our_layout(key.phase[axis_h], key.phase[axis_v]);
  bool ours = true;
  for (const axis_weights& a : weights) {
    if (a.ours) continue;
    const std::vector<std::pair<int32_t, int64_t>>& w = a.weights;
    if (!a.told || w.size() > 4) return std::nullopt;
    ours = false;
    for (size_t k = 0; k < 4; ++k) {
      const bool held = k < w.size();
      taps.offsets[a.axis][k] = held ? w[k].first : 0;
      taps.taps[a.axis][k] = held ? static_cast<int32_t>(w[k].second) : 0;
    }
  }
  if (weights.empty() || ours) return std::nullopt;
  return taps;
}

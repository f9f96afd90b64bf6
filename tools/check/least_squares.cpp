#include "least_squares.h"

#include <algorithm>
#include <cmath>

namespace {

// Sums of products of bytes, exact: a float holds every integer up to 2^24, and 256 products of
// two bytes stay below it; each such run goes into the doubles.
constexpr size_t run = 256;
constexpr size_t lanes = 8;

// a[j][k] += sum over the rows of x[j] * x[k], k <= j rounded up to whole lanes, for rows of
// `width` floats (a multiple of lanes).
void add_products(const float* rows, size_t count, size_t width, float* a) {
  for (size_t e = 0; e < count; ++e) {
    const float* x = rows + e * width;
    for (size_t j = 0; j < width; ++j) {
      const float xj = x[j];
      float* aj = a + j * width;
      for (size_t k = 0; k <= j; k += lanes) {
        // Eight at a time, which the compiler makes vector operations of.
        for (size_t l = 0; l < lanes; ++l) aj[k + l] += xj * x[k + l];
      }
    }
  }
}

}  // namespace

std::optional<linear_fit> fit_linear(const std::vector<uint8_t>& x, const std::vector<int32_t>& y,
                                     size_t columns) {
  const size_t n = columns, equations = y.size();
  if (n == 0 || equations < 2 * (n + 1) || x.size() != equations * n) return std::nullopt;
  const size_t width = (n + lanes - 1) / lanes * lanes;

  // The products of the columns with each other and with y, and their sums.
  std::vector<double> products(width * width, 0.0), sum(n, 0.0), with_y(n, 0.0);
  double y_sum = 0;
  std::vector<float> rows(run * width, 0.0f), part(width * width);
  for (size_t from = 0; from < equations; from += run) {
    const size_t count = std::min(run, equations - from);
    for (size_t e = 0; e < count; ++e) {
      for (size_t k = 0; k < n; ++k) rows[e * width + k] = x[(from + e) * n + k];
    }
    std::fill(part.begin(), part.end(), 0.0f);
    add_products(rows.data(), count, width, part.data());
    for (size_t i = 0; i < width * width; ++i) products[i] += part[i];
  }
  for (size_t e = 0; e < equations; ++e) {
    y_sum += y[e];
    for (size_t k = 0; k < n; ++k) {
      sum[k] += x[e * n + k];
      with_y[k] += static_cast<double>(x[e * n + k]) * y[e];
    }
  }

  // Centred, and scaled to a unit diagonal, so that the pivots measure how far each column lies
  // from the span of those before it.
  const double count = static_cast<double>(equations);
  std::vector<double> a(n * n), b(n), mean(n), scale(n);
  for (size_t k = 0; k < n; ++k) mean[k] = sum[k] / count;
  const double y_mean = y_sum / count;
  for (size_t j = 0; j < n; ++j) {
    for (size_t k = 0; k <= j; ++k) a[j * n + k] = products[j * width + k] - sum[j] * mean[k];
    b[j] = with_y[j] - sum[j] * y_mean;
    if (a[j * n + j] <= 0) return std::nullopt;
    scale[j] = 1 / std::sqrt(a[j * n + j]);
  }
  for (size_t j = 0; j < n; ++j) {
    for (size_t k = 0; k <= j; ++k) a[j * n + k] *= scale[j] * scale[k];
    b[j] *= scale[j];
  }
  // Cholesky: a = L L', L in the lower triangle.
  for (size_t j = 0; j < n; ++j) {
    for (size_t k = 0; k <= j; ++k) {
      double s = a[j * n + k];
      for (size_t i = 0; i < k; ++i) s -= a[j * n + i] * a[k * n + i];
      if (k < j) {
        a[j * n + k] = s / a[k * n + k];
      } else {
        if (s < 1e-9) return std::nullopt;
        a[j * n + j] = std::sqrt(s);
      }
    }
  }
  // L z = b, then L' w = z.
  std::vector<double> w(b);
  for (size_t j = 0; j < n; ++j) {
    for (size_t i = 0; i < j; ++i) w[j] -= a[j * n + i] * w[i];
    w[j] /= a[j * n + j];
  }
  for (size_t j = n; j-- > 0;) {
    for (size_t i = j + 1; i < n; ++i) w[j] -= a[i * n + j] * w[i];
    w[j] /= a[j * n + j];
  }

  linear_fit fit;
  fit.weights.resize(n);
  fit.scale = scale;
  fit.freedom = count - static_cast<double>(n) - 1;
  fit.intercept = y_mean;
  for (size_t k = 0; k < n; ++k) {
    fit.weights[k] = w[k] * scale[k];
    fit.intercept -= fit.weights[k] * mean[k];
  }
  double squares = 0;
  for (size_t e = 0; e < equations; ++e) {
    double r = y[e] - fit.intercept;
    for (size_t k = 0; k < n; ++k) r -= fit.weights[k] * x[e * n + k];
    squares += r * r;
  }
  fit.rms = std::sqrt(squares / count);
  fit.factor = std::move(a);
  return fit;
}

double combination_error(const linear_fit& fit, const std::vector<double>& c) {
  // c' (X'X)^-1 c = |L^-1 D c|^2, X'X being D^-1 L L' D^-1.
  const size_t n = fit.weights.size();
  std::vector<double> z(n);
  double squares = 0;
  for (size_t j = 0; j < n; ++j) {
    double v = c[j] * fit.scale[j];
    for (size_t i = 0; i < j; ++i) v -= fit.factor[j * n + i] * z[i];
    z[j] = v / fit.factor[j * n + j];
    squares += z[j] * z[j];
  }
  const double variance =
      fit.rms * fit.rms * (fit.freedom + static_cast<double>(n) + 1) / std::max(fit.freedom, 1.0);
  return std::sqrt(variance * squares);
}

// Least squares by the normal equations: the weights of known data, their errors as a single
// regressor's closed form gives them, and the systems it refuses to solve.
#include "least_squares.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace {

struct equations {
  std::vector<uint8_t> x;
  std::vector<int32_t> y;
};

// `count` equations over `columns` random bytes, y = f(row).
template <typename F>
equations make(size_t count, size_t columns, uint32_t seed, F f) {
  std::mt19937 engine(seed);
  equations e;
  for (size_t n = 0; n < count; ++n) {
    const size_t at = e.x.size();
    for (size_t k = 0; k < columns; ++k) e.x.push_back(static_cast<uint8_t>(engine() >> 24));
    e.y.push_back(f(&e.x[at]));
  }
  return e;
}

TEST(least_squares, recovers_the_weights_of_exact_data) {
  const equations e = make(500, 3, 1, [](const uint8_t* x) { return 3 * x[0] - 2 * x[1] + 7; });
  const std::optional<linear_fit> fit = fit_linear(e.x, e.y, 3);
  ASSERT_TRUE(fit);
  EXPECT_NEAR(fit->weights[0], 3, 1e-9);
  EXPECT_NEAR(fit->weights[1], -2, 1e-9);
  EXPECT_NEAR(fit->weights[2], 0, 1e-9);
  EXPECT_NEAR(fit->intercept, 7, 1e-7);
  EXPECT_LT(fit->rms, 1e-7);
}

TEST(least_squares, recovers_a_filters_taps_through_its_rounding) {
  // A byte of the one-dimensional filter, rounded and clamped as the routine does: the weights,
  // at 128 to the taps' scale, are the taps within a few hundredths.
  const int taps[4] = {-7, 105, 35, -5};
  const equations all = make(3000, 4, 2, [&](const uint8_t* x) {
    int sum = 64;
    for (int k = 0; k < 4; ++k) sum += taps[k] * x[k];
    return std::clamp(sum >> 7, 0, 255);
  });
  equations told;  // the bytes the clamp leaves alone
  for (size_t n = 0; n < all.y.size(); ++n) {
    if (all.y[n] == 0 || all.y[n] == 255) continue;
    told.x.insert(told.x.end(), all.x.begin() + 4 * n, all.x.begin() + 4 * n + 4);
    told.y.push_back(all.y[n]);
  }
  const std::optional<linear_fit> fit = fit_linear(told.x, told.y, 4);
  ASSERT_TRUE(fit);
  for (int k = 0; k < 4; ++k) EXPECT_NEAR(128 * fit->weights[k], taps[k], 0.05) << k;
  EXPECT_NEAR(fit->rms, std::sqrt(1.0 / 12), 0.03) << "a rounding's spread";
}

TEST(least_squares, gives_the_error_of_a_weight_as_its_closed_form) {
  std::mt19937 engine(7);
  const equations e = make(400, 1, 3, [&](const uint8_t* x) {
    return static_cast<int32_t>(2 * x[0] + engine() % 41) - 20;
  });
  const std::optional<linear_fit> fit = fit_linear(e.x, e.y, 1);
  ASSERT_TRUE(fit);
  // One regressor: the error of its weight is s / sqrt(sum (x - mean)^2), s^2 = RSS / (n - 2).
  double mean = 0, spread = 0, squares = 0;
  for (const uint8_t v : e.x) mean += v;
  mean /= static_cast<double>(e.x.size());
  for (size_t n = 0; n < e.x.size(); ++n) {
    spread += (e.x[n] - mean) * (e.x[n] - mean);
    const double r = e.y[n] - fit->intercept - fit->weights[0] * e.x[n];
    squares += r * r;
  }
  const double s = std::sqrt(squares / static_cast<double>(e.x.size() - 2));
  EXPECT_NEAR(combination_error(*fit, {1.0}), s / std::sqrt(spread), 1e-9);
  EXPECT_NEAR(combination_error(*fit, {128.0}), 128 * s / std::sqrt(spread), 1e-7);
}

TEST(least_squares, refuses_what_the_equations_do_not_tell) {
  const equations twin = make(300, 2, 4, [](const uint8_t* x) { return x[0]; });
  equations same = twin;
  for (size_t n = 0; n < same.y.size(); ++n) same.x[2 * n + 1] = same.x[2 * n];
  EXPECT_FALSE(fit_linear(same.x, same.y, 2)) << "two columns alike";
  equations flat = twin;
  for (size_t n = 0; n < flat.y.size(); ++n) flat.x[2 * n + 1] = 9;
  EXPECT_FALSE(fit_linear(flat.x, flat.y, 2)) << "a column that does not vary";
  // One column the sum of two others; and the same but for a byte in a thousand, which the
  // equations solve, their weights' errors saying how little they tell.
  for (const int rare : {0, 1}) {
    equations sum = make(3000, 3, 5, [](const uint8_t* x) { return x[0]; });
    for (size_t n = 0; n < sum.y.size(); ++n) {
      uint8_t* x = &sum.x[3 * n];
      x[0] /= 2, x[1] /= 2;
      x[2] = static_cast<uint8_t>(x[0] + x[1] + (n % 1000 == 0) * rare);
      sum.y[n] = x[0] + (n % 7 == 0);
    }
    const std::optional<linear_fit> fit = fit_linear(sum.x, sum.y, 3);
    if (!rare) {
      EXPECT_FALSE(fit) << "collinear";
      continue;
    }
    ASSERT_TRUE(fit) << "all but collinear";
    // Against the same equations without the third column.
    equations two;
    for (size_t n = 0; n < sum.y.size(); ++n) {
      two.x.insert(two.x.end(), sum.x.begin() + 3 * n, sum.x.begin() + 3 * n + 2);
    }
    two.y = sum.y;
    const std::optional<linear_fit> apart = fit_linear(two.x, two.y, 2);
    ASSERT_TRUE(apart);
    EXPECT_GT(combination_error(*fit, {1, 0, 0}), 100 * combination_error(*apart, {1, 0}));
  }
  const equations few = make(5, 2, 6, [](const uint8_t* x) { return x[0]; });
  EXPECT_FALSE(fit_linear(few.x, few.y, 2)) << "fewer equations than twice the unknowns";
  EXPECT_TRUE(fit_linear(twin.x, twin.y, 2));
}

}  // namespace

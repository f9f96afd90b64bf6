// Ordinary least squares on a few thousand equations, by the normal equations in double.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

struct linear_fit {
  std::vector<double> weights;  // one per column
  double intercept = 0;
  double rms = 0;  // of the residuals
  // For the errors of the weights: the columns' scales and the Cholesky factor of their
  // correlation matrix (lower triangle, row-major), and the residuals' degrees of freedom.
  std::vector<double> scale, factor;
  double freedom = 0;
};

// The weights w and intercept c that minimise the sum over equations e of
// (y[e] - c - sum over k of w[k] x[e][k])^2, row e of x being its `columns` bytes. The data
// are centred first, and the normal equations solved by Cholesky's factorisation of their
// correlation matrix: nothing where a squared pivot falls below 1e-9 of its diagonal's 1 (a
// column that does not vary, or varies as others do: the equations do not tell its weight
// apart), or where there are fewer equations than twice the unknowns.
std::optional<linear_fit> fit_linear(const std::vector<uint8_t>& x, const std::vector<int32_t>& y,
                                     size_t columns);

// The standard error of the sum over k of c[k] w[k] (one c per column): the residuals' spread
// through the inverse of the normal equations.
double combination_error(const linear_fit& fit, const std::vector<double>& c);

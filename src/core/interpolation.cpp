#include "core/interpolation.h"
#include <cmath>
#include <limits>

namespace {
// Phi(x) - 0.5 at the 35 abscissae that follow, in the layout that InterpolateTable reads.
// The abscissae are literals: 0.1 * k is not always the decimal value, and a query that hits
// a node must return the node's value. The last ordinate is kept as published (the true
// value is 0.4999997133).
constexpr int32_t NormalTablePoints = 35;
constexpr double NormalTable[2 * NormalTablePoints + 1] = {
    0.0,  // unused element 0
    0.0, 0.03983, 0.07926, 0.11791, 0.15542, 0.19146, 0.22575, 0.25804, 0.28814, 0.31594,
    0.34134, 0.36433, 0.38493, 0.4032, 0.41924, 0.43319, 0.4452, 0.45543, 0.46407, 0.47128,
    0.47725, 0.48214, 0.4861, 0.48928, 0.4918, 0.49379, 0.49534, 0.49653, 0.49744, 0.49813,
    0.49865, 0.49977, 0.49997, 0.499997, 0.49999997,
    0.0, 0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 0.7, 0.8, 0.9,
    1.0, 1.1, 1.2, 1.3, 1.4, 1.5, 1.6, 1.7, 1.8, 1.9,
    2.0, 2.1, 2.2, 2.3, 2.4, 2.5, 2.6, 2.7, 2.8, 2.9,
    3.0, 3.5, 4.0, 4.5, 5.0};

double Linear(double x1, double y1, double x2, double y2, double x) {
  double h = x2 - x1;
  if (h == 0.0) return y1;
  return y1 + (y2 - y1) * (x - x1) / h;
}

bool Monotonic(double a, double b, double c, double d) {
  return (a <= b && b <= c && c <= d) || (a >= b && b >= c && c >= d);
}
}  // namespace

void InterpolateTable(const double* table, int32_t size, int32_t n, double& y, double x) {
  if (n < 1 || 2 * static_cast<int64_t>(n) > size) {
    y = 0.0;
    return;
  }
  const double* ys = table;      // ordinates ys[1..n]
  const double* xs = table + n;  // abscissae xs[1..n]
  if (n == 1) {
    y = ys[1];
    return;
  }
  if (std::isnan(x)) {
    y = std::numeric_limits<double>::quiet_NaN();
    return;
  }
  if (x <= xs[1]) {
    y = Linear(xs[1], ys[1], xs[2], ys[2], x);
    return;
  }
  if (x >= xs[n]) {
    y = Linear(xs[n - 1], ys[n - 1], xs[n], ys[n], x);
    return;
  }
  // xs[j] <= x < xs[j + 1], 1 <= j < n (bisection; a table that is not ascending still
  // gives an index inside it).
  int32_t lo = 1, hi = n;
  while (hi - lo > 1) {
    int32_t mid = lo + (hi - lo) / 2;
    if (xs[mid] <= x) lo = mid;
    else hi = mid;
  }
  int32_t j = lo;
  if (j == 1 || j == n - 1 || Monotonic(ys[j - 1], ys[j], ys[j + 1], ys[j + 2])) {
    y = Linear(xs[j], ys[j], xs[j + 1], ys[j + 1], x);
    return;
  }
  // Natural cubic spline through points j-1..j+2: second derivatives 0 at the outer points,
  // M1 and M2 at the inner points from the two spline equations.
  double h0 = xs[j] - xs[j - 1];
  double h = xs[j + 1] - xs[j];
  double h2 = xs[j + 2] - xs[j + 1];
  if (!(h0 > 0.0 && h > 0.0 && h2 > 0.0)) {
    y = Linear(xs[j], ys[j], xs[j + 1], ys[j + 1], x);
    return;
  }
  double r1 = 6.0 * ((ys[j + 1] - ys[j]) / h - (ys[j] - ys[j - 1]) / h0);
  double r2 = 6.0 * ((ys[j + 2] - ys[j + 1]) / h2 - (ys[j + 1] - ys[j]) / h);
  double a11 = 2.0 * (h0 + h), a12 = h, a21 = h, a22 = 2.0 * (h + h2);
  double det = a11 * a22 - a12 * a21;  // > 0 for positive steps
  double m1 = (r1 * a22 - a12 * r2) / det;
  double m2 = (a11 * r2 - a21 * r1) / det;
  double left = xs[j + 1] - x, right = x - xs[j];
  y = m1 * left * left * left / (6.0 * h) + m2 * right * right * right / (6.0 * h) +
      (ys[j] - m1 * h * h / 6.0) * left / h + (ys[j + 1] - m2 * h * h / 6.0) * right / h;
}

void NormalDistribution(double& p, double& density, double x) {
  double t;
  InterpolateTable(NormalTable, 2 * NormalTablePoints, NormalTablePoints, t, std::fabs(x));
  // Beyond the last node the straight line through the last two nodes would exceed 0.5.
  if (t > 0.5) t = 0.5;
  if (t < 0.0) t = 0.0;
  p = x >= 0.0 ? 0.5 + t : 0.5 - t;
  if (std::isnan(x)) p = x;
  density = 0.3989423 * std::exp(-std::fmin(277.0, x * x / 2.0));
}

double Erf(double x) {
  if (std::isnan(x)) return x;
  double ax = std::fabs(x);
  if (ax > 3.9) return x <= 0.0 ? -1.0 : 1.0;
  // Terms x^(2k+1) (-1)^k / (k! (2k+1)), each power derived from the one before.
  double power = x, sum = x;
  double limit = 1e-7 * ax;
  if (x != 0.0) {  // the series of a zero is that zero, sign and all
    double x2 = x * x;
    for (int32_t k = 1; k < 60; ++k) {
      power *= -x2 / k;
      double term = power / (2 * k + 1);
      sum += term;
      if (std::fabs(term) <= limit) break;
    }
  }
  return sum * 1.128379;
}

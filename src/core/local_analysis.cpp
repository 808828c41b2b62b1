#include "core/local_analysis.h"
#include <algorithm>
#include <cmath>
#include "core/array_tools.h"
#include "core/interpolation.h"
#include "core/numeric_arrays.h"
#include "core/small_routines.h"
#include "core/toolbox.h"

namespace {
// Private work space of the filter (the passes and the baseline nodes), so that the shared
// arrays hold only what the routines promise to leave there.
double FilterPass[ScratchSize + 1];
double BaselineNodes[ScratchSize + 1];
}  // namespace

void LocalDerivativesOf(const double* y, int32_t n, int32_t i, double& value, double& slope,
                        double& curvature) {
  value = slope = curvature = 0.0;
  if (i < 1 || i > n) return;
  if (n >= 5 && i >= 3 && i <= n - 2) {
    value = (12.0 * (y[i - 1] + y[i + 1]) - 3.0 * (y[i - 2] + y[i + 2]) + 17.0 * y[i]) / 35.0;
    slope = (2.0 * (y[i + 2] - y[i - 2]) + (y[i + 1] - y[i - 1])) / 10.0;
    curvature = (2.0 * (y[i + 2] + y[i - 2]) - (y[i + 1] + y[i - 1]) - 2.0 * y[i]) / 7.0;
  } else if (n >= 5 && (i == 2 || i == n - 1)) {
    value = (y[i - 1] + y[i + 1]) / 2.0;
    slope = (y[i + 1] - y[i - 1]) / 2.0;
    curvature = y[i + 1] - 2.0 * y[i] + y[i - 1];
  } else {
    value = y[i];
  }
}

void LocalDerivatives(int32_t n, int32_t i, double& value, double& slope, double& curvature) {
  LocalDerivativesOf(ScratchArray1, MinI(n, ScratchSize), i, value, slope, curvature);
}

void SmoothingFilter(int32_t n, int32_t passes, int32_t errors, double width, int32_t mode) {
  if (n < 1 || !ArrayLengthFits(n)) return;
  double* y = ScratchArray1;
  for (int32_t i = 1; i <= n; ++i)
    if (y[i] < 0.0) y[i] = 0.0;
  for (int32_t p = 0; p < passes; ++p) {
    double slope, curvature;
    for (int32_t i = 1; i <= n; ++i) LocalDerivativesOf(y, n, i, FilterPass[i], slope, curvature);
    std::copy(FilterPass + 1, FilterPass + n + 1, y + 1);
  }
  if (errors != 0)
    for (int32_t i = 1; i <= n; ++i) WorkArrays[1][i] = std::sqrt(std::fabs(y[i]) + 1.0);
  if (mode == 0) return;

  double* base = ScratchArray2;
  if (n <= 25) {
    for (int32_t i = 1; i <= n; ++i)
      base[i] = n == 1 ? y[1] : y[1] + (y[n] - y[1]) * (i - 1) / static_cast<double>(n - 1);
  } else {
    // Windows of about max(25, 8 width) points over the data less 10 points at each end; the
    // minimum of each window is a node of the baseline.
    int32_t span = 25;
    if (std::isfinite(width) && 8.0 * width > 25.0)
      span = 8.0 * width >= n ? n : RoundHalfEven(8.0 * width);
    int32_t k = MaxI(1, n / span);
    int32_t length = (n - 20) / k;
    for (int32_t j = 1; j <= k; ++j) {
      int32_t first = 10 + (j - 1) * length + 1;
      int32_t imin, imax;
      double lo, hi;
      MinMaxOfRange(y, n, first, imin, imax, lo, hi, first + length - 1);
      BaselineNodes[j] = lo;
      BaselineNodes[k + j] = imin;
    }
    for (int32_t i = 1; i <= n; ++i) InterpolateTable(BaselineNodes, 2 * k, k, base[i], i);
  }
  for (int32_t i = 1; i <= n; ++i) base[i] = std::fmax(0.0, std::fmin(base[i], y[i]));
}

void MinMaxOfRange(const double* a, int32_t size, int32_t first, int32_t& imin, int32_t& imax,
                   double& min, double& max, int32_t last) {
  if (size < 1) {
    imin = imax = first;
    min = max = 0.0;
    return;
  }
  if (first <= 0) {
    imin = imax = 1;
    min = max = a[1];
    return;
  }
  last = MinI(last, size);
  imin = imax = first;
  min = max = a[MinI(first, size)];
  for (int32_t i = first + 1; i <= last; ++i) {
    if (a[i] < min) {
      min = a[i];
      imin = i;
    }
    if (a[i] > max) {
      max = a[i];
      imax = i;
    }
  }
}

void PeakHalfWidthAt(const double* a, int32_t size, int32_t i, double& width, int32_t n) {
  width = -1.0;
  n = MinI(n, size);
  if (i < 1 || i > n) return;
  int32_t k = i;
  if (i > 1 && a[i - 1] > a[k]) k = i - 1;
  if (i < n && a[i + 1] > a[k]) k = i + 1;
  double half = a[k] / 2.0;
  double left = -1.0, right = -1.0;
  for (int32_t j = k - 1; j >= 1; --j) {
    if (std::fabs(a[j]) < half) {
      double d = a[j + 1] - a[j];
      if (std::fabs(d) > 0.0001) left = k - (j + (half - a[j]) / d);
      break;
    }
  }
  for (int32_t j = k + 1; j <= n; ++j) {
    if (std::fabs(a[j]) < half) {
      double d = a[j - 1] - a[j];
      if (std::fabs(d) > 0.001) right = (j - (half - a[j]) / d) - k;
      break;
    }
  }
  if (left < 0.0 || right < 0.0) return;
  double w = left + right;
  if (w >= 0.25) width = w;
}

void RefinePeakPosition(const double* a, int32_t size, int32_t n, int32_t& ok, double& sum,
                        double& position) {
  double height;
  RefinePeakPosition(a, size, n, ok, sum, position, height);
}

void RefinePeakPosition(const double* a, int32_t size, int32_t n, int32_t& ok, double& sum,
                        double& position, double& height) {
  ok = 0;
  sum = 0.0;
  height = 0.0;
  n = MinI(n, size);
  if (n < 1 || !std::isfinite(position)) return;
  if (position < 1.0 || position > n) return;
  int32_t p = RoundHalfEven(position);
  int32_t imin, m;
  double lo, top;
  MinMaxOfRange(a, n, MaxI(1, p - 5), imin, m, lo, top, MinI(n, p + 5));
  height = top;

  double s0 = 0.0, s1 = 0.0;
  for (int32_t i = MaxI(1, m - 2); i <= MinI(n, m + 2); ++i) {
    s0 += a[i];
    s1 += i * a[i];
  }
  position = s0 <= 0.01 ? m : s1 / s0;

  // Edges: the nearest points not above either neighbour.
  int32_t left = MaxI(1, m - 48), right = MinI(n, m + 48);
  for (int32_t j = m - 1; j >= MaxI(2, m - 48); --j)
    if (a[j] <= a[j - 1] && a[j] <= a[j + 1]) {
      left = j;
      break;
    }
  for (int32_t j = m + 1; j <= MinI(n - 1, m + 48); ++j)
    if (a[j] <= a[j - 1] && a[j] <= a[j + 1]) {
      right = j;
      break;
    }
  if (!(top > 3.0 * std::sqrt(std::fabs(top))) || left == right) return;

  // Net values above the straight line through the edges.
  double net = 0.0;
  for (int32_t i = left; i <= right; ++i) {
    double line = a[left] + (a[right] - a[left]) * (i - left) / static_cast<double>(right - left);
    double v = std::fmax(0.0, a[i] - line);
    NumberBuffer[i - left + 1] = v;
    sum += v;
    net = std::fmax(net, v);
  }
  if (!(net / 2.0 > std::sqrt(std::fabs(top)))) return;
  double width;
  PeakHalfWidthAt(NumberBuffer, NumberBufferSize, m - left + 1, width, right - left + 1);
  if (width > 0.0) ok = 1;
}

void Median(const double* a, int32_t size, int32_t n, double& m) {
  m = 0.0;
  n = MinI(n, size);
  if (n < 1 || !ArrayLengthFits(n)) return;
  std::copy(a + 1, a + n + 1, ScratchArray2 + 1);
  SortUnique(ScratchArray2, ScratchSize, n, 1);  // ascending, NaN last
  m = n % 2 == 1 ? ScratchArray2[(n + 1) / 2] : (ScratchArray2[n / 2] + ScratchArray2[n / 2 + 1]) / 2.0;
}

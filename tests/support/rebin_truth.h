// The rebinning of a spectrum onto equidistant channels worked out on its own, for the tests'
// expectations: source j covers the range between the midpoints to its neighbours (the end ones
// half a step beyond), new channel m the step about x0 + m step; they share the length l_jm.
// A value per unit x rebinned as the mean over each new channel's range has
//   y_m = sum_j l_jm Y_j / L_m (L_m the covered length),
//   true variance sum_j l_jm^2 E_j^2 / L_m^2 with independent sources,
// and the error that counts each source's information once states sum_j l_jm b_j E_j^2 / L_m^2
// (a part l of a bin b measures the mean with b / l times its variance).
#pragma once
#include <algorithm>
#include <cstddef>
#include <utility>
#include <vector>

struct RebinOverlaps {
  std::vector<double> binWidth;                              // b_j
  std::vector<std::vector<std::pair<size_t, double>>> parts;  // per new channel: (j, l_jm)
};

// x: the source positions (rising); m new channels from x0 in steps of step.
inline RebinOverlaps Overlaps(const std::vector<double>& x, double x0, double step, size_t m) {
  const size_t n = x.size();
  RebinOverlaps o;
  o.binWidth.resize(n);
  o.parts.resize(m);
  for (size_t j = 0; j < n; ++j) {
    const double lo = j > 0 ? 0.5 * (x[j - 1] + x[j]) : 1.5 * x[0] - 0.5 * x[1];
    const double hi = j + 1 < n ? 0.5 * (x[j] + x[j + 1]) : 1.5 * x[n - 1] - 0.5 * x[n - 2];
    o.binWidth[j] = hi - lo;
    for (size_t k = 0; k < m; ++k) {
      const double c = x0 + static_cast<double>(k) * step;
      const double l = std::min(hi, c + 0.5 * step) - std::max(lo, c - 0.5 * step);
      if (l > 0) o.parts[k].emplace_back(j, l);
    }
  }
  return o;
}

// The sum over the new channels of true variance / stated variance: the expected chi^2 of the
// rebinned data about their true values (before any parameter is fitted).
inline double ExpectedChiSquare(const RebinOverlaps& o, const std::vector<double>& sigma) {
  double sum = 0;
  for (const auto& parts : o.parts) {
    double actual = 0, stated = 0;
    for (const auto& [j, l] : parts) {
      const double v = sigma[j] * sigma[j];
      actual += l * l * v, stated += l * o.binWidth[j] * v;
    }
    if (stated > 0) sum += actual / stated;
  }
  return sum;
}

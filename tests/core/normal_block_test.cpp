// The normal matrix gathered a block of points at a time against the same sums taken one point at
// a time in long double: profile-like patterns (a window of columns sliding along the points,
// background columns always on), points with only a few columns, dense points and fixed rows.
#include <gtest/gtest.h>
#include <cmath>
#include <vector>
#include "core/fit_engine.h"

namespace {

struct Point {
  std::vector<int32_t> columns;
  std::vector<double> d;
  double w;
};

// Columns 1..n: 1..4 on everywhere, a window of `width` sliding over the rest, every 97th point
// dense and every 13th with three columns only.
std::vector<Point> Points(int32_t n, int32_t count, int32_t width) {
  std::vector<Point> out;
  uint64_t seed = 12345;
  auto uniform = [&] {
    seed = seed * 6364136223846793005ull + 1442695040888963407ull;
    return double(seed >> 11) * 0x1.0p-53;
  };
  for (int32_t p = 0; p < count; ++p) {
    Point pt;
    pt.w = 0.1 + 10 * uniform();
    if (p % 97 == 0) {
      for (int32_t k = 1; k <= n; ++k) pt.columns.push_back(k);
    } else if (p % 13 == 0) {
      pt.columns = {1, 5 + p % (n - 5), n};
    } else {
      for (int32_t k = 1; k <= 4; ++k) pt.columns.push_back(k);
      const int32_t from = 5 + (p * (n - 4 - width)) / count;
      for (int32_t k = from; k < from + width; ++k) pt.columns.push_back(k);
    }
    for (size_t a = 0; a < pt.columns.size(); ++a) pt.d.push_back(uniform() - 0.3);
    out.push_back(std::move(pt));
  }
  return out;
}

TEST(NormalBlocks, SumsMatchPointByPointLongDouble) {
  for (int32_t compressed : {1, 0}) {
    const int32_t n = 150;
    TParameter fit(n, 1, n);
    fit.ResetParameterRecords();
    fit.CompressedMatrix = compressed;
    for (int32_t i = 1; i <= n; ++i) fit.Records[i].value = i;
    if (!compressed) fit.Records[40].lower = fit.Records[40].upper = 40;  // a fixed row in full order
    fit.PrepareFit();
    const int32_t order = fit.NFree;
    std::vector<long double> want(static_cast<size_t>(n + 1) * (n + 1), 0.0L);
    const auto points = Points(n, 6000, 37);
    fit.ClearNormalEquations();
    for (const Point& pt : points) {
      for (int32_t i = 1; i <= n; ++i) fit.Records[i].Derivative = 0;
      for (size_t a = 0; a < pt.columns.size(); ++a) fit.Records[pt.columns[a]].Derivative = pt.d[a];
      fit.AccumulatePoint(pt.w, 0, 0);
      for (size_t a = 0; a < pt.columns.size(); ++a)
        for (size_t b = 0; b < pt.columns.size(); ++b)
          want[pt.columns[a] * (n + 1) + pt.columns[b]] += (long double)pt.w * pt.d[a] * pt.d[b];
    }
    fit.SymmetrizeMatrix();
    // Record r is matrix row r here: no dependents, and compression drops only fixed records.
    ASSERT_EQ(order, compressed ? n : n);
    double worst = 0;
    for (int32_t i = 1; i <= n; ++i)
      for (int32_t j = 1; j <= n; ++j) {
        if (!compressed && (i == 40 || j == 40)) continue;  // identity row and column
        double got;
        fit.GetMatrixElement(i, j, got);
        const long double scale = std::sqrt(want[i * (n + 1) + i] * want[j * (n + 1) + j]);
        worst = std::max(worst, double(std::fabs(got - want[i * (n + 1) + j]) / scale));
      }
    EXPECT_LT(worst, 1e-13) << "compressed " << compressed;
  }
}

}  // namespace

// The normal matrix gathered a block of points at a time against the same sums taken one point at
// a time in long double: profile-like patterns (a window of columns sliding along the points,
// background columns always on), points with only a few columns, dense points and fixed rows;
// points reached by changing sets of phases (each phase its own columns), which spread over
// several open blocks.
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

// The largest difference of the engine's matrix from the long-double sums of the points, each
// relative to the root of its two diagonal elements; row `fixedRow` (0: none) is fixed in full order.
double WorstRelative(const std::vector<Point>& points, int32_t n, int32_t compressed, int32_t fixedRow) {
  TParameter fit(n, 1, n);
  fit.ResetParameterRecords();
  fit.CompressedMatrix = compressed;
  for (int32_t i = 1; i <= n; ++i) fit.Records[i].value = i;
  if (fixedRow) fit.Records[fixedRow].lower = fit.Records[fixedRow].upper = fixedRow;
  fit.PrepareFit();
  // Record r is matrix row r here: no dependents, and compression drops only fixed records.
  EXPECT_EQ(fit.NFree, n);
  std::vector<long double> want(static_cast<size_t>(n + 1) * (n + 1), 0.0L);
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
  double worst = 0;
  for (int32_t i = 1; i <= n; ++i)
    for (int32_t j = 1; j <= n; ++j) {
      if (i == fixedRow || j == fixedRow) continue;  // identity row and column
      double got;
      fit.GetMatrixElement(i, j, got);
      const long double scale = std::sqrt(want[i * (n + 1) + i] * want[j * (n + 1) + j]);
      worst = std::max(worst, double(std::fabs(got - want[i * (n + 1) + j]) / scale));
    }
  return worst;
}

TEST(NormalBlocks, SumsMatchPointByPointLongDouble) {
  const auto points = Points(150, 6000, 37);
  EXPECT_LT(WorstRelative(points, 150, 1, 0), 1e-13) << "compressed";
  EXPECT_LT(WorstRelative(points, 150, 0, 40), 1e-13) << "full order, row 40 fixed";
}

// Rows 1..8 shared, then four phases of 36 rows each; a point is reached by a set of phases that
// changes in runs of 1..300 points (all fifteen sets, more than the blocks open at once), a few of
// its phase's rows zero now and then, and every 50th point with rows of one phase only.
TEST(NormalBlocks, PhaseSetsSpreadOverBlocksMatch) {
  const int32_t n = 8 + 4 * 36;
  uint64_t seed = 777;
  auto next = [&] {
    seed = seed * 6364136223846793005ull + 1442695040888963407ull;
    return seed >> 33;
  };
  std::vector<Point> points;
  uint32_t set = 1;
  for (int32_t p = 0, run = 0; p < 9000; ++p, --run) {
    if (run <= 0) {
      set = 1 + next() % 15;
      run = 1 + static_cast<int32_t>(next() % 300);
    }
    Point pt;
    pt.w = 0.5 + double(next() % 1000) / 100;
    if (p % 50 != 0)
      for (int32_t k = 1; k <= 8; ++k) pt.columns.push_back(k);
    for (int32_t phase = 0; phase < 4; ++phase)
      if (set >> phase & 1)
        for (int32_t k = 0; k < 36; ++k)
          if (next() % 40 != 0) pt.columns.push_back(9 + 36 * phase + k);
    for (size_t a = 0; a < pt.columns.size(); ++a) pt.d.push_back(double(next() % 2001) / 1000 - 1.2);
    points.push_back(std::move(pt));
  }
  EXPECT_LT(WorstRelative(points, n, 1, 0), 1e-13) << "compressed";
  EXPECT_LT(WorstRelative(points, n, 0, 20), 1e-13) << "full order, row 20 fixed";
}

}  // namespace

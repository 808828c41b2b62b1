// Faults mended in the numerical library, and bad input: every routine stays inside its arrays
// (the sanitizer watches the exact-size vectors) and refuses what does not fit.
#include <gtest/gtest.h>
#include <cmath>
#include <complex>
#include <limits>
#include <numbers>
#include <numeric>
#include <utility>
#include "core/abandon.h"
#include "core/numeric_library.h"
#include "support/scripted_fixture.h"

namespace {
constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
std::vector<std::string> TooLong(int count) { return std::vector<std::string>(count, "Too long array"); }
}  // namespace

class NumericFaults : public ScriptedTest {};

TEST_F(NumericFaults, NormalDistributionStaysAProbabilityFarOut) {
  // The line through the last two nodes (4.5 and 5) would carry Phi past 1 (1.00003 at x = 10).
  double p, d;
  for (double x : {10.0, 1e300}) {
    NormalDistribution(p, d, x);
    EXPECT_EQ(p, 1.0) << x;
    NormalDistribution(p, d, -x);
    EXPECT_EQ(p, 0.0) << x;
  }
  NormalDistribution(p, d, 5.0);
  EXPECT_DOUBLE_EQ(p, 0.99999997);  // the published last node, kept
}

TEST_F(NumericFaults, RebinningKeepsTheSumAndRefusesWhatWouldOverrun) {
  for (int i = 1; i <= 100; ++i) ScratchArray1[i] = i % 7 + 0.5;
  const double total = std::accumulate(ScratchArray1 + 1, ScratchArray1 + 101, 0.0);
  int32_t m = 0;
  for (double factor : {2.0, 3.0, 1.5, 1.0, 7.3}) {  // every part falls into a bin
    RebinArray(100, m, factor);
    EXPECT_NEAR(std::accumulate(ScratchArray2 + 1, ScratchArray2 + m + 1, 0.0), total, 1e-9) << factor;
  }
  // More than 8192 points, a factor that is not positive, or 8192 / 0.25 + 2 bins.
  m = 77;
  const std::pair<int32_t, double> bad[] = {{8193, 2.0}, {100, 0.0}, {100, -3.0}, {100, NaN}, {8192, 0.25}};
  for (auto [n, factor] : bad) RebinArray(n, m, factor);
  EXPECT_EQ(m, 77);
  EXPECT_EQ(ui.Messages(), TooLong(5));
  RebinArray(8000, m, 0.5);  // 16002 bins fit
  EXPECT_EQ(m, 16002);
}

TEST_F(NumericFaults, FourierFactorsArePositiveAndBadLengthsRefused) {
  // Below n = 16 the candidates round(sqrt n) +- 3 reach 0 and below: the transform must still
  // use positive factors and equal the direct sum over its k1 k2 points.
  for (int32_t n = 1; n <= 15; ++n) {
    for (int j = 1; j <= n; ++j) {
      WorkArrays[5][j] = j % 3 - 0.5;
      WorkArrays[6][j] = 0.25 * j;
    }
    int32_t k1 = 0, k2 = 0;
    FourierTransform(n, k1, k2, 1.0);
    const int total = k1 * k2;
    ASSERT_TRUE(k1 >= 1 && k2 >= 1 && total <= n) << n << ": " << k1 << " x " << k2;
    for (int k = 0; k < total; ++k) {
      std::complex<double> sum = 0;
      for (int j = 0; j < total; ++j)
        sum += std::complex(WorkArrays[5][j + 1], WorkArrays[6][j + 1]) *
               std::polar(1.0, -2 * std::numbers::pi * j * k / total);
      EXPECT_NEAR(WorkArrays[7][k + 1], sum.real() / total, 1e-14) << n << " " << k;
      EXPECT_NEAR(WorkArrays[8][k + 1], sum.imag() / total, 1e-14) << n << " " << k;
    }
  }
  int32_t k1 = -2, k2 = -5;  // negative factors are chosen anew
  FourierTransform(10, k1, k2, 1.0);
  EXPECT_EQ(std::pair(k1, k2), std::pair(2, 5));
  for (int32_t n : {0, -4, ScratchSize + 1}) {
    k1 = k2 = 5;
    FourierTransform(n, k1, k2, 1.0);
    EXPECT_EQ(std::pair(k1, k2), std::pair(0, 0)) << n;
  }
  EXPECT_EQ(ui.Messages(), TooLong(1));  // the overlong one only
}

TEST_F(NumericFaults, ExponentialDeviateOfRateZeroAbandons) {
  EXPECT_THROW(ExponentialDeviate(0.0), OperationAbandoned);
}

TEST_F(NumericFaults, SortingPutsNaNLastBothWays) {
  for (int32_t mode : {1, -1}) {
    double a[] = {0, NaN, 2, NaN, 1, 3};
    int32_t n = 5;
    SortUnique(a, 5, n, mode);
    const double low = mode > 0 ? 1 : 3;
    EXPECT_EQ(std::vector<double>(a + 1, a + 4), (std::vector<double>{low, 2, 4 - low}));
    EXPECT_TRUE(std::isnan(a[4]) && std::isnan(a[5])) << mode;
  }
}

TEST_F(NumericFaults, InterpolationReadsOnlyItsTable) {
  const std::vector<double> t = {0, 1, 4, 9, 0, 1, 2};  // 1, 4, 9 at 0, 1, 2
  double y = -1;
  // Four points would need t[8]; no point gives 0, one point its ordinate everywhere.
  for (auto [n, want] : {std::pair{4, 0.0}, {0, 0.0}, {1, 1.0}}) {
    InterpolateTable(t.data(), 6, n, y, 100.0);
    EXPECT_EQ(y, want) << n;
  }
  InterpolateTable(t.data(), 6, 3, y, NaN);
  EXPECT_TRUE(std::isnan(y));
  // Repeated abscissae do not divide by zero.
  const std::vector<double> flat = {0, 0, 5, -3, 4, 1, 0, 1, 1, 1, 2};
  InterpolateTable(flat.data(), 10, 5, y, 0.99);
  EXPECT_TRUE(std::isfinite(y));
}

TEST_F(NumericFaults, EmptyOnePointSingularAndOverlongInput) {
  const std::vector<double> one = {0, 3};
  double v, s, c, m, m0, w, x0, slope, level, sum, position = 1.0;
  int32_t ok = 7, edge = 0;
  ScratchArray1[1] = 3.0;
  LocalDerivatives(1, 1, v, s, c);
  Median(one.data(), 1, 1, m);
  Median(one.data(), 1, 0, m0);
  PeakHalfWidthAt(one.data(), 1, 1, w, 1);  // no half-height crossing
  RefinePeakPosition(one.data(), 1, 1, ok, sum, position);
  FitLineToSideRanges(one.data(), 1, 1, x0, slope, level, 1, 2, 9);  // one point, and none
  EXPECT_EQ(std::vector<double>({v, s, c, m, m0, w, double(ok), x0, slope, level}),
            std::vector<double>({3, 0, 0, 3, 0, -1, 0, 1, 0, 3}));
  for (int32_t n : {0, 1}) {
    ScratchArray2[1] = -1.0;
    LowerEnvelope(n, 10, 0.5, 0.5, 0.1);
    SmoothArray(n, 0, v, s, 1.0);
    SmoothingFilter(n, 1, 1, 3.0, 1);
    PrepareSmoothing(n, edge, 2.0, 1.0);
    EXPECT_EQ(edge, 1) << n;  // its maximum lies at an end
  }
  EXPECT_EQ(ScratchArray2[1], 3.0);
  // A singular matrix is left as it was; so is a line through points at one abscissa.
  const double singular[9] = {1, 2, 3, 4, 5, 6, 2, 4, 6};  // row 3 = 2 row 1
  for (int i = 0; i < 9; ++i) WorkMatrix[i / 3 + 1][i % 3 + 1] = singular[i];
  Invert3x3(ok, 0, v);
  EXPECT_EQ(std::pair(ok, v), std::pair(0, 0.0));
  for (int i = 0; i < 9; ++i) EXPECT_EQ(WorkMatrix[i / 3 + 1][i % 3 + 1], singular[i]);
  for (int i = 1; i <= 3; ++i) LineFitPoints[i] = {4.0, double(i), 1.0};
  TLineFit r;
  FitStraightLine(3, 0, r, " Auto-calibr", LogFile);
  EXPECT_EQ(r.ok, 0);
  EXPECT_EQ(LogLines(), (std::vector<std::string>{" Auto-calibr", "not ok  det= 0"}));
  FitStraightLine(0, 0, r, "none", LogFile);
  EXPECT_EQ(r.ok, 0);
  EXPECT_TRUE(ui.Messages().empty());
  // Past the scratch arrays: refused with the message.
  std::vector<double> big(ScratchSize + 2, 1.0);
  Median(big.data(), ScratchSize + 1, ScratchSize + 1, m);
  LowerEnvelope(ScratchSize + 1, 10, 0.5, 0.5, 0.1);
  SmoothArray(ScratchSize + 1, 0, v, s, 1.0);
  PrepareSmoothing(ScratchSize + 1, edge, 2.0, 1.0);
  SmoothingFilter(ScratchSize + 1, 1, 1, 3.0, 1);
  FitStraightLine(LineFitCapacity + 1, 0, r, "too many", LogFile);
  EXPECT_EQ(ui.Messages(), TooLong(6));
}

// Local analysis and the small array tools on shapes whose answers are known exactly: a triangle
// (linear interpolation of its half-height crossings is exact), a noise-free Gaussian (its samples
// sum to A sigma sqrt(2 pi)), a straight background under narrow peaks.
#include <gtest/gtest.h>
#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>
#include "core/numeric_library.h"
#include "core/toolbox.h"

namespace {
// A peak of height h at c on a flat background, sampled at 1..n (element 0 unused).
std::vector<double> Gaussian(int n, double c, double sigma, double h, double background) {
  std::vector<double> a(n + 1, 0.0);
  for (int i = 1; i <= n; ++i) a[i] = background + h * std::exp(-0.5 * std::pow((i - c) / sigma, 2));
  return a;
}
}  // namespace

TEST(NumericLocal, HalfWidthOfTriangleAndGaussian) {
  std::vector<double> tri(61, 0.0);  // apex 100 at 30, base from 20 to 40: full width at half 10
  for (int i = 20; i <= 40; ++i) tri[i] = 100.0 - 10.0 * std::abs(i - 30);
  double w = 0;
  for (int start : {29, 30, 31}) {  // a start beside the apex moves to it
    PeakHalfWidthAt(tri.data(), 60, start, w, 60);
    EXPECT_NEAR(w, 10.0, 1e-12) << start;
  }
  for (double sigma : {3.0, 5.0, 12.0}) {  // FWHM = 2 sqrt(2 ln 2) sigma, to the chord error
    auto g = Gaussian(300, 150, sigma, 1000, 0);
    PeakHalfWidthAt(g.data(), 300, 150, w, 300);
    EXPECT_NEAR(w, 2 * std::sqrt(2 * std::log(2.0)) * sigma, 0.01 * sigma) << sigma;
  }
  std::vector<double> ramp(51);
  for (int i = 1; i <= 50; ++i) ramp[i] = i;  // no crossing on the right
  PeakHalfWidthAt(ramp.data(), 50, 50, w, 50);
  EXPECT_EQ(w, -1.0);
}

TEST(NumericLocal, PeakPositionAreaAndRejections) {
  auto g = Gaussian(300, 150, 4, 1000, 20);
  int32_t ok = 0;
  double sum = 0, position = 147.6;  // the maximum is searched within 5 points of 148
  std::fill(NumberBuffer, NumberBuffer + NumberBufferSize + 1, 0.0);
  RefinePeakPosition(g.data(), 300, 300, ok, sum, position);
  EXPECT_EQ(ok, 1);
  EXPECT_NEAR(position, 150.0, 1e-9);
  EXPECT_NEAR(sum, 1000 * 4 * std::sqrt(2 * std::numbers::pi), 1e-6);
  EXPECT_NEAR(*std::max_element(NumberBuffer + 1, NumberBuffer + 98), 1000.0, 1e-9);  // net values
  // Too small for its own counting error (4 <= 3 sqrt 4), and too low above a high background
  // (half the net height 15 <= sqrt 1030).
  for (auto [height, background] : {std::pair{4.0, 0.0}, {30.0, 1000.0}}) {
    g = Gaussian(300, 150, 4, height, background);
    position = 150;
    RefinePeakPosition(g.data(), 300, 300, ok, sum, position);
    EXPECT_EQ(ok, 0) << height;
  }
}

TEST(NumericLocal, FilterBaselineFollowsTheBackgroundUnderPeaks) {
  const int n = 400;
  auto line = [](int i) { return 50.0 + 0.1 * i; };
  for (int i = 1; i <= n; ++i)
    ScratchArray1[i] = line(i) + 800 * std::exp(-0.5 * std::pow((i - 150) / 3.0, 2)) +
                       300 * std::exp(-0.5 * std::pow((i - 300) / 3.0, 2));
  ScratchArray1[5] = -40;  // negative counts are taken as 0 first
  SmoothingFilter(n, 1, 1, 7.0, 1);
  EXPECT_NEAR(ScratchArray1[5], (12 * (line(4) + line(6)) - 3 * (line(3) + line(7))) / 35, 1e-9);
  for (int i = 1; i <= n; ++i) {
    ASSERT_LE(ScratchArray2[i], ScratchArray1[i]) << i;
    EXPECT_DOUBLE_EQ(WorkArrays[1][i], std::sqrt(ScratchArray1[i] + 1)) << i;
    if (std::abs(i - 5) > 3) { EXPECT_NEAR(ScratchArray2[i], line(i), 1e-3) << i; }
  }
  // Up to 25 points: the straight line through the first and the last point.
  for (int i = 1; i <= 11; ++i) ScratchArray1[i] = i == 6 ? 90 : 10 + 2 * i;
  SmoothingFilter(11, 0, 0, 3.0, 1);
  for (int i = 1; i <= 11; ++i) EXPECT_DOUBLE_EQ(ScratchArray2[i], 10 + 2 * i) << i;
}

TEST(NumericLocal, ArrayToolsEdgeConventions) {
  const double a[] = {0, 5, 1, 5, 1, 9};
  struct Case { int32_t first, last, imin, imax; double min, max; };
  for (Case c : {Case{1, 4, 2, 1, 1, 5}, {1, 5, 2, 5, 1, 9}, {0, 5, 1, 1, 5, 5}, {4, 2, 4, 4, 1, 1}}) {
    int32_t imin = -1, imax = -1;
    double mn = -1, mx = -1;
    MinMaxOfRange(a, 5, c.first, imin, imax, mn, mx, c.last);
    EXPECT_EQ(std::vector<double>({double(imin), double(imax), mn, mx}),
              std::vector<double>({double(c.imin), double(c.imax), c.min, c.max}))
        << c.first << ".." << c.last;
  }
  const std::vector<std::vector<double>> kept = {{0, 3, 0, 4}, {-2, 3, -0.5, 4}, {-2, 0, -0.5, 0},
                                                 {-2, 0, 3, -0.5, 0, 4}};
  for (int32_t mode : {-1, 0, 1, 5}) {
    double b[] = {0, -2, 0, 3, -0.5, 0, 4};
    int32_t n = 6;
    CompactBySign(b, 6, n, mode);
    EXPECT_EQ(std::vector<double>(b + 1, b + 1 + n), kept[mode == 5 ? 3 : mode + 1]) << mode;
  }
  for (auto [x, want] : {std::pair{2.98, 0.0}, {-0.25, 0.75}, {3.25, 0.25}, {-1.5, 0.5}, {0.99, 0.0},
                         {1.0, 0.0}, {-0.02, 0.0}, {0.5, 0.5}})
    EXPECT_NEAR(FractionalPart(x), want, 1e-12) << x;

  // The end indices get half and one and a half times the weight of the others (kept so that
  // random starts stay what they were).
  int counts[4] = {0, 0, 0, 0};
  for (int k = 0; k < 200000; ++k) {
    int32_t i = RandomIndex(4);
    ASSERT_TRUE(i >= 0 && i <= 3) << i;
    ++counts[i];
  }
  EXPECT_NEAR(counts[0] / 50000.0, 0.5, 0.03);
  EXPECT_NEAR(counts[1] / 50000.0, 1.0, 0.03);
  EXPECT_NEAR(counts[3] / 50000.0, 1.5, 0.03);
  EXPECT_EQ(RandomIndex(1) + RandomIndex(0), 0);
  SetRandomSeeds(InitialRandomSeed1, InitialRandomSeed2);
}

// FindPeaksInArray on periodograms with peaks at known indices.
#include <gtest/gtest.h>
#include <cmath>
#include "core/toolbox.h"
#include "peaks/peaks_setup.h"

namespace {
// NumberBuffer[1..n]: a level of 5 and Gaussian bumps (sigma 1) of the given heights at whole
// indices, symmetric about them.
void Periodogram(int32_t n, std::initializer_list<std::pair<int32_t, double>> bumps) {
  for (int32_t i = 1; i <= n; ++i) {
    NumberBuffer[i] = 5.0;
    for (auto [at, height] : bumps) NumberBuffer[i] += height * std::exp(-0.5 * (i - at) * (i - at));
  }
}
}  // namespace

class PeriodPeaksTest : public PeaksTest {};

TEST_F(PeriodPeaksTest, PeriodsOfKnownPeaksAndOneMerge) {
  constexpr int32_t n = 200, N = n - 2;
  Periodogram(n, {{20, 400.0}, {35, 300.0}});
  PeakResolution = 0.5;
  FindPeaksInArray(n, 3.0, 1.0, 2.5);
  EXPECT_EQ(PeakResolution, 1.0);
  ASSERT_EQ(PeriodPeakCount, 2);
  // A symmetric bump has its centroid on its index; the 1e-10 i tilt moves it by far less than
  // 1e-6.
  for (int32_t k : {1, 2}) {
    const double at = k == 1 ? 20.0 : 35.0;
    EXPECT_NEAR(PeriodPeaks[k].position, at, 1e-6);
    EXPECT_NEAR(PeriodPeaks[k].period, 2.0 * N * 2.5 / (at - 1.0), 1e-5);
  }

  // Two bumps 3 apart: half their period difference, 198 * 3 / (32 * 29) = 0.64, is below the
  // merge factor 3, so they become one record: summed areas, the area-weighted position.
  Periodogram(n, {{30, 400.0}, {33, 200.0}});
  FindPeaksInArray(n, 0.0, 1.0, 1.0);  // factor 0 merges nothing
  ASSERT_EQ(PeriodPeakCount, 2);
  const TPeriodPeak a = PeriodPeaks[1], b = PeriodPeaks[2];
  Periodogram(n, {{30, 400.0}, {33, 200.0}});
  FindPeaksInArray(n, 3.0, 1.0, 1.0);
  ASSERT_EQ(PeriodPeakCount, 1);
  const double position = (a.area * a.position + b.area * b.position) / (a.area + b.area);
  EXPECT_DOUBLE_EQ(PeriodPeaks[1].area, a.area + b.area);
  EXPECT_DOUBLE_EQ(PeriodPeaks[1].position, position);
  EXPECT_DOUBLE_EQ(PeriodPeaks[1].width, std::max(a.width, b.width));
  EXPECT_DOUBLE_EQ(PeriodPeaks[1].period, 2.0 * N / (position - 1.0));

  // MinRatio drops the long positions (N / (position - 1) must exceed it); a flat array returns
  // at once.
  Periodogram(n, {{20, 400.0}, {150, 400.0}});
  FindPeaksInArray(n, 3.0, 5.0, 1.0);
  ASSERT_EQ(PeriodPeakCount, 1);
  EXPECT_NEAR(PeriodPeaks[1].position, 20.0, 1e-6);
  Periodogram(n, {});
  FindPeaksInArray(n, 3.0, 1.0, 1.0);
  EXPECT_EQ(PeriodPeakCount, 0);
}

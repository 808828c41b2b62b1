// The outlier filter on hand-computed cases and on Poisson spectra with planted spikes and
// dropouts.
#include <gtest/gtest.h>
#include <cmath>
#include <random>
#include <vector>
#include "core/outlier_correction.h"
#include "core/spectrum.h"

class OutlierCorrection : public ::testing::Test {
protected:
  std::unique_ptr<TSpectrum> sp = std::make_unique<TSpectrum>("DUMMY");
  int32_t zeros = -1, count = -1;
  void Fill(const std::vector<double>& y, int32_t first, double error = -1) {  // error -1: sqrt(y)
    for (size_t k = 0; k < y.size(); ++k) sp->Y[first + k] = y[k], sp->E[first + k] = error < 0 ? std::sqrt(y[k]) : error;
  }
};

TEST_F(OutlierCorrection, HandComputedCases) {
  struct Case { double background, error, planted, y, e; int32_t count, zeros; };
  // 10000 is a spike (ratio 22.9); 1000 is not (ratio 7.24) but is replaced in the second pass
  // (chi 980) with its error kept; a dropout in a field of 100 is replaced (chi 100).
  for (Case c : {Case{10, -1, 10000, 10, std::sqrt(5.0), 1, 0}, Case{10, -1, 1000, 10, std::sqrt(1000.0), 1, 0},
                 Case{100, 10, 0, 100, 10, 1, 1}}) {
    std::vector<double> y(11, c.background);  // channels 100..110, the planted one at 105
    y[5] = c.planted, Fill(y, 100, c.error);
    CorrectOutliers(*sp, 100, 110, zeros, count);
    EXPECT_EQ(sp->Y[105], c.y) << c.planted;
    EXPECT_DOUBLE_EQ(sp->E[105], c.e) << c.planted;
    EXPECT_EQ(count * 10 + zeros, c.count * 10 + c.zeros) << c.planted;
  }
}

// Counts and errors near the largest double (the effective spectrum after an absorption
// correction and a normalization, then a real peak model from it): a spike between errors whose
// squares overflow, and a dropout between counts whose sum overflows, never leave a count or an
// error that is not finite.
TEST_F(OutlierCorrection, HugeCountsStayFinite) {
  const double big = 1.5e308, spike = 1e300;
  Fill({big, big, big, big, big}, 1, 1e306);
  sp->Y[3] = spike, sp->E[3] = 0;  // a spike against neighbours of no weight at all
  CorrectOutliers(*sp, 1, 5, zeros, count);
  for (int32_t c = 1; c <= 5; ++c) EXPECT_TRUE(std::isfinite(sp->Y[c]) && std::isfinite(sp->E[c])) << c;
  Fill({4e154, 1e300, 4e154, 1e300, 4e154}, 1, 1e154);
  sp->Y[3] = 1e300, sp->E[3] = 1;
  CorrectOutliers(*sp, 1, 5, zeros, count);
  for (int32_t c = 1; c <= 5; ++c) EXPECT_TRUE(std::isfinite(sp->Y[c]) && std::isfinite(sp->E[c])) << c;
  // A dropout between counts whose sum overflows keeps its count (the estimate was infinite).
  Fill({big, big, 0, big, big}, 1, 1);
  CorrectOutliers(*sp, 1, 5, zeros, count);
  for (int32_t c = 1; c <= 5; ++c) EXPECT_TRUE(std::isfinite(sp->Y[c])) << c;
  EXPECT_EQ(sp->Y[3], 0);
}

TEST_F(OutlierCorrection, GenuinePeakAndShortIntervals) {
  const std::vector<double> peak = {100, 100, 100, 200, 600, 1200, 1500, 1200, 600, 200, 100, 100, 100};
  Fill(peak, 1), CorrectOutliers(*sp, 1, 13, zeros, count);
  EXPECT_EQ(std::vector<double>(sp->Y + 1, sp->Y + 14), peak);
  // The channels next to the ends are always judged against their neighbours' mean.
  CorrectOutliers(*sp, 3, 11, zeros, count);
  EXPECT_EQ(sp->Y[4] + sp->Y[10], 700);
  Fill({10, 5000, 10}, 1), CorrectOutliers(*sp, 1, 2, zeros, count);
  EXPECT_EQ(sp->Y[2], 5000);
  CorrectOutliers(*sp, -4, 3, zeros, count);  // held to the channels of the spectrum
  EXPECT_EQ(sp->Y[2], 10);
}

TEST_F(OutlierCorrection, PoissonSpectraLoseTheirSpikesAndLittleElse) {
  const int32_t n = 4000;
  std::mt19937 engine(20240611);
  std::vector<double> mean(n + 1), clean(n + 1);
  for (int32_t c = 1; c <= n; ++c) {
    double d = std::fmod(c, 400.0) - 200.0;  // peaks of 3000 counts, sigma 5, every 400 channels
    mean[c] = 40.0 + 0.01 * c + 3000.0 * std::exp(-d * d / 50.0);
    clean[c] = std::poisson_distribution<int>(mean[c])(engine);
  }
  Fill(clean, 0), CorrectOutliers(*sp, 1, n, zeros, count);
  EXPECT_LE(count, n / 200) << "clean data";
  Fill(clean, 0);
  std::vector<int32_t> planted;  // spikes and dropouts (every third) away from the peaks
  for (int32_t c = 37; c < n; c += 97)
    if (std::fabs(std::fmod(c, 400.0) - 200.0) >= 20) sp->Y[c] = planted.size() % 3 ? 20 * mean[c] + 500 : 0.0, planted.push_back(c);
  CorrectOutliers(*sp, 1, n, zeros, count);
  for (int32_t c : planted) EXPECT_NEAR(sp->Y[c], mean[c], 5 * std::sqrt(mean[c])) << c;
  EXPECT_LE(count - static_cast<int32_t>(planted.size()), n / 200);
  EXPECT_GE(zeros, static_cast<int32_t>(planted.size() / 3));
}

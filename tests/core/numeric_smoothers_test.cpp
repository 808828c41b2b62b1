// The regularised smoothers have no library twin: their properties on a seeded spectrum.
#include <gtest/gtest.h>
#include <algorithm>
#include <cmath>
#include <vector>
#include "core/numeric_library.h"

namespace {
// A sloping background 50 + 0.05 i, two peaks and counting noise, loaded into ScratchArray1.
std::vector<double> LoadSpectrum(int n) {
  SetRandomSeeds(4711, 815);
  std::vector<double> y(n + 1);
  for (int i = 1; i <= n; ++i) {
    double mean = 50.0 + 0.05 * i + 800.0 * std::exp(-std::pow((i - 0.35 * n) / 4.0, 2)) +
                  400.0 * std::exp(-std::pow((i - 0.7 * n) / 3.0, 2));
    double g1, g2;
    GaussianPair(g1, g2);
    y[i] = ScratchArray1[i] = std::fmax(0.0, std::nearbyint(mean + g1 * std::sqrt(mean)));
  }
  SetRandomSeeds(InitialRandomSeed1, InitialRandomSeed2);
  return y;
}
double Roughness(const double* s, int n) {
  double r = 0;
  for (int i = 2; i < n; ++i) r += std::pow(s[i - 1] - 2 * s[i] + s[i + 1], 2);
  return r;
}
}  // namespace

TEST(NumericSmoothers, EnvelopeStaysBelowTheDataAndUnderThePeaks) {
  const int n = 2000, top = 700;  // the larger peak
  for (double smoother : {0.01, 0.001, 1e-5}) {
    auto y = LoadSpectrum(n);
    LowerEnvelope(n, 10, 0.5, 0.5, smoother);
    for (int i = 1; i <= n; ++i) ASSERT_LE(ScratchArray2[i], y[i]) << smoother << " " << i;
    EXPECT_LT(Roughness(ScratchArray2, n), 0.05 * Roughness(y.data(), n)) << smoother;
    EXPECT_NEAR(ScratchArray2[top], 50.0 + 0.05 * top, 50.0) << smoother;
  }
}

TEST(NumericSmoothers, SmoothArrayStartsAtTheDataAndKeepsLines) {
  const int n = 4001;  // odd: the last pair of the elimination holds one value
  auto y = LoadSpectrum(n);
  double fit, rough, lastFit = -1, lastRough = 1e300;
  SmoothArray(n, 0, fit, rough, 1e-12);  // a vanishing smoother gives the data back
  for (int i = 1; i <= n; ++i) ASSERT_NEAR(ScratchArray2[i], y[i], 1e-3 * (y[i] + 1)) << i;
  // Fit and roughness are monotone in the smoother.
  for (double smoother : {0.001, 0.01, 0.1, 1.0, 10.0, 100.0}) {
    SmoothArray(n, 0, fit, rough, smoother);
    EXPECT_GT(fit, lastFit) << smoother;
    EXPECT_LT(rough, lastRough) << smoother;
    lastFit = fit;
    lastRough = rough;
  }
  // A line has no second differences: it stays, whatever the smoother, also past an outlier of
  // weight 0 (weights from ScratchArray2 in mode 1).
  for (int i = 1; i <= n; ++i) {
    ScratchArray1[i] = i == 100 ? 5000.0 : 3.0 + 0.25 * i;
    ScratchArray2[i] = i == 100 ? 0.0 : 1.0;
  }
  SmoothArray(n, 1, fit, rough, 50.0);
  for (int i = 1; i <= n; ++i) ASSERT_NEAR(ScratchArray2[i], 3.0 + 0.25 * i, 1e-6) << i;
}

// The two searches: the envelope start keeps the smoother of smallest roughness among 0.1 and its
// 14 halvings and leaves it in the place of Q2; the smoothing preparation ends with a smoother
// whose fit lies in its window, on data it hands back unchanged.
TEST(NumericSmoothers, SearchesKeepTheirBestSmoother) {
  const int n = 600;
  auto y = LoadSpectrum(n);
  double best = 0, bestQ2 = 1e300;
  for (double s = 0.1; s > 0.1 / 20000; s /= 2) {
    LowerEnvelope(n, 10, 0.5, 0.5, s);
    if (EnvelopeRoughness < bestQ2) bestQ2 = EnvelopeRoughness, best = s;
  }
  LowerEnvelope(n, 10, 0.5, 0.5, best);
  const std::vector<double> envelope(ScratchArray2 + 1, ScratchArray2 + n + 1);
  LowerEnvelopeStart(n, 10);
  EXPECT_EQ(ProposedSmoother, best);
  EXPECT_EQ(EnvelopeRoughness, best);
  EXPECT_EQ(std::vector<double>(ScratchArray2 + 1, ScratchArray2 + n + 1), envelope);

  int32_t edge = -1;
  const double target = 2.0;
  PrepareSmoothing(n, edge, target, 1.0);
  EXPECT_EQ(edge, 0);
  EXPECT_EQ(std::vector<double>(ScratchArray1 + 1, ScratchArray1 + n + 1), std::vector<double>(y.begin() + 1, y.end()));
  const std::vector<double> smoothed(ScratchArray2 + 1, ScratchArray2 + n + 1);
  const double top = *std::max_element(y.begin(), y.end()), proposed = ProposedSmoother;
  for (int i = 1; i <= n; ++i) ScratchArray1[i] = y[i] * 1000 / top;  // the scale it works on
  double fit, rough;
  SmoothArray(n, 0, fit, rough, proposed);
  EXPECT_TRUE(fit >= 0.25 * target && fit <= target) << fit;
  for (int i = 1; i <= n; ++i) ASSERT_NEAR(smoothed[i - 1], ScratchArray2[i] * top / 1000, 1e-9 * top) << i;
  // Blend 0 hands the data back; a maximum at an end flags the data as bad.
  LoadSpectrum(n);
  ScratchArray1[n] = 5000;
  PrepareSmoothing(n, edge, target, 0.0);
  EXPECT_EQ(edge, 1);
  for (int i = 1; i <= n; ++i) ASSERT_NEAR(ScratchArray2[i], ScratchArray1[i], 1e-9 * 5000) << i;
}

// The simple interpolation of spectra whose Y is a value per unit X (reduced time-of-flight data
// on a logarithmic grid, and equidistant channels) onto equidistant channels: an even spectrum
// stays even, value x width sums to the same count, and the errors are honest: straight lines
// fitted to noisy rebinned data of a known density give parameter errors equal to the scatter of
// the parameters over many noise draws, and chi^2 its expected value from the rebinning of
// independent source noises (tests/support/rebin_truth.h), when each new channel averages a few
// source bins and when one source bin spreads over several new channels.
#include <gtest/gtest.h>
#include <cmath>
#include <random>
#include <string>
#include <vector>
#include "core/dialog_state.h"
#include "core/neighbour_services.h"
#include "core/spectrum.h"
#include "spectrum/spectrum_functions.h"
#include "support/keep_values.h"
#include "support/rebin_truth.h"
#include "support/scripted_fixture.h"

namespace {

const std::string TooMany = "Warning, N of new channels > N of source channels";

class RebinningTest : public ScriptedTest {
protected:
  void SetUp() override {
    ScriptedTest::SetUp();
    CurrentSpectrum = 1;
  }
  static TSpectrum& Sp(int32_t i) { return *SpectrumList[static_cast<size_t>(i)]; }

  // Spectrum 1 on n channels at the times t0 r^k (us), or on an equidistant axis 1..n, its Y
  // the mean density over each channel's bin from the density's integral (counts), its error
  // that of the bin's Poisson count as a density.
  template <class Integral>
  static std::vector<double> Source(int32_t n, double t0, double ratio, Integral integral) {
    TSpectrum& s = Sp(1);
    s.AxisKind = AxisTimeOfFlight;
    s.FirstChannel = s.WorkFirst = 1, s.LastChannel = s.WorkLast = n;
    for (int32_t k = 1; k <= n; ++k) s.X[k] = ratio > 0 ? t0 * std::pow(1 + ratio, k - 1) : k;
    std::vector<double> x(s.X + 1, s.X + n + 1);
    const RebinOverlaps o = Overlaps(x, x[0], 1, 0);
    for (int32_t k = 1; k <= n; ++k) {
      const double b = o.binWidth[k - 1], lo = k > 1 ? 0.5 * (x[k - 2] + x[k - 1]) : x[0] - 0.5 * b;
      const double count = integral(lo + b) - integral(lo);
      s.Y[k] = count / b, s.E[k] = std::sqrt(std::max(count, 1.0)) / b;
    }
    return x;
  }
  // Spectrum 1 onto channels 1..m of spectrum 2, with the warning when m > n.
  void Rebin(int32_t n, int32_t m) {
    DialogNumbers[2] = 1, DialogNumbers[3] = n;
    if (m > n) ui.ExpectMessage(TooMany);
    SimpleInterpolation(2, 1, m);
  }
  FreshSpectra spectra;
};

// Constant densities stay constant on every channel, ends included, whether the new channels
// average source bins or split them, on the logarithmic and on an equidistant axis. A peak of
// 20000 counts between empty ends keeps sum(value x width) and its centroid.
TEST_F(RebinningTest, EvenSpectrumStaysEvenAndValueTimesWidthIsKept) {
  constexpr int32_t n = 600;
  for (double ratio : {1e-3, 0.0}) {
    for (int32_t m : {n / 3, n - 7, 2 * n}) {
      SCOPED_TRACE(std::to_string(ratio) + " " + std::to_string(m));
      Source(n, 10000, ratio, [](double t) { return 5 * t; });
      Rebin(n, m);
      for (int32_t k = 1; k <= m; ++k) ASSERT_NEAR(Sp(2).Y[k], 5.0, 1e-11) << k;
      EXPECT_EQ(Sp(2).FirstChannel, 1);
      EXPECT_EQ(Sp(2).LastChannel, m);

      const double centre = ratio > 0 ? 10000 * std::pow(1 + ratio, n / 2) : n / 2.0, sigma = ratio > 0 ? 40 : 6;
      const std::vector<double> x = Source(n, 10000, ratio, [&](double t) {
        return 20000 * 0.5 * (1 + std::erf((t - centre) / (sigma * std::sqrt(2.0))));
      });
      Rebin(n, m);
      const double step = (x.back() - x.front()) / (m - 1);
      double sum = 0, moment = 0, source = 0;
      for (int32_t k = 1; k <= m; ++k) {
        sum += Sp(2).Y[k] * step;
        moment += Sp(2).Y[k] * step * (x.front() + (k - 1) * step);
      }
      const RebinOverlaps o = Overlaps(x, x.front(), step, 0);
      for (int32_t k = 1; k <= n; ++k) source += Sp(1).Y[k] * o.binWidth[k - 1];
      EXPECT_NEAR(sum, source, 1e-9 * source);
      EXPECT_NEAR(sum, 20000, 1e-6);
      EXPECT_NEAR(moment / sum, centre, 0.01 * sigma);
    }
  }
}

// Counts on an uneven d axis (1.0, 1.1, 1.3, 1.6, 2.0 A) onto five channels 0.25 A apart: each
// source channel, alone holding 100 counts (error 10), spreads over the new channels by the share
// of its range (half-way to its neighbours, the end ones as far beyond) that each covers, and
// each part's error is 10 sqrt(share); the part beyond the last channel is lost. By hand:
// source 3 covers 1.2..1.45, new channel 2 covers 1.125..1.375: 0.175 / 0.25 = 0.7.
TEST_F(RebinningTest, CountsOnAnUnevenDAxisSpreadByTheShareEachChannelCovers) {
  const double d[6] = {0, 1.0, 1.1, 1.3, 1.6, 2.0};
  const struct {
    int32_t source;
    double share[5];
  } cases[] = {{1, {1, 0, 0, 0, 0}},   {2, {0.5, 0.5, 0, 0, 0}},      {3, {0, 0.7, 0.3, 0, 0}},
               {4, {0, 0, 0.5, 0.5, 0}}, {5, {0, 0, 0, 0.1875, 0.625}}};
  TSpectrum& s = Sp(1);
  s.FirstChannel = s.WorkFirst = 1, s.LastChannel = s.WorkLast = 5;
  s.FlightPath = 20, s.Theta = 70;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.source);
    for (int32_t k = 1; k <= 5; ++k) s.X[k] = d[k], s.Y[k] = k == c.source ? 100 : 0, s.E[k] = k == c.source ? 10 : 0;
    DialogNumbers[2] = 1, DialogNumbers[3] = 5;
    InterpolateChanToD(2, 1, 5, 0);
    for (int32_t m = 1; m <= 5; ++m) {
      EXPECT_NEAR(Sp(2).Y[m], 100 * c.share[m - 1], 1e-9) << m;
      EXPECT_NEAR(Sp(2).E[m], 10 * std::sqrt(c.share[m - 1]), 1e-9) << m;
    }
  }
}

// A density 50 + 10 s (s from -1 to 1 over the range) on 300 logarithmic bins of 20 to 36 us,
// Gaussian noise of each bin's Poisson sigma, 2000 draws rebinned onto 100 channels (3 to 5 bins
// each) and onto 900 (each bin over 2 to 4 channels), the line fitted by weighted least squares
// with the rebinned errors. The errors that keep a whole source error on each piece of a split
// bin would make the stated errors of the fit sqrt(3) too small there.
TEST_F(RebinningTest, ErrorsCountEachSourceOnce) {
  constexpr int32_t n = 300, draws = 2000;
  const double t0 = 10000, ratio = 2e-3;
  const std::vector<double> x = Source(n, t0, ratio, [](double) { return 0.0; });
  const double mid = 0.5 * (x.front() + x.back()), half = 0.5 * (x.back() - x.front());
  // The density's integral and each bin's mean and sigma.
  auto integral = [&](double t) { return 50 * t + 10 * (t - mid) * (t - mid) / (2 * half); };
  Source(n, t0, ratio, integral);
  const std::vector<double> mean(Sp(1).Y + 1, Sp(1).Y + n + 1), sigma(Sp(1).E + 1, Sp(1).E + n + 1);
  std::mt19937_64 random(55);
  std::normal_distribution<double> normal;
  for (int32_t m : {100, 900}) {
    SCOPED_TRACE(m);
    const double step = (x.back() - x.front()) / (m - 1);
    const RebinOverlaps o = Overlaps(x, x.front(), step, static_cast<size_t>(m));
    // The map of the source values onto the channels and the errors stated for each channel.
    std::vector<double> covered(m, 0.0), stated(m, 0.0), s(m);
    for (int32_t k = 0; k < m; ++k) {
      for (const auto& [j, l] : o.parts[k]) covered[k] += l, stated[k] += l * o.binWidth[j] * sigma[j] * sigma[j];
      stated[k] /= covered[k] * covered[k];
      s[k] = (x.front() + k * step - mid) / half;
    }
    // The weighted normal matrix of the line and its inverse G: the stated covariance.
    double n00 = 0, n01 = 0, n11 = 0;
    for (int32_t k = 0; k < m; ++k) n00 += 1 / stated[k], n01 += s[k] / stated[k], n11 += s[k] * s[k] / stated[k];
    const double det = n00 * n11 - n01 * n01, g00 = n11 / det, g01 = -n01 / det, g11 = n00 / det;
    // Expected chi^2 = sum over sources of sigma_j^2 |W^1/2 (I - H) a_j|^2, a_j source j's column
    // of the map and H the hat matrix of the weighted fit.
    double expected = 0;
    std::vector<double> a(m);
    for (int32_t j = 0; j < n; ++j) {
      std::fill(a.begin(), a.end(), 0.0);
      double v0 = 0, v1 = 0;
      for (int32_t k = 0; k < m; ++k)
        for (const auto& [i, l] : o.parts[k])
          if (static_cast<int32_t>(i) == j) a[k] = l / covered[k], v0 += a[k] / stated[k], v1 += s[k] * a[k] / stated[k];
      const double c0 = g00 * v0 + g01 * v1, c1 = g01 * v0 + g11 * v1;
      double sum = 0;
      for (int32_t k = 0; k < m; ++k) sum += std::pow(a[k] - c0 - c1 * s[k], 2) / stated[k];
      expected += sigma[j] * sigma[j] * sum;
    }
    double sumA = 0, sumA2 = 0, sumChi = 0, sumChi2 = 0, esd = 0;
    for (int32_t draw = 0; draw < draws; ++draw) {
      for (int32_t j = 1; j <= n; ++j) Sp(1).Y[j] = mean[j - 1] + sigma[j - 1] * normal(random);
      Rebin(n, m);
      double r0 = 0, r1 = 0;
      for (int32_t k = 0; k < m; ++k) {
        ASSERT_NEAR(Sp(2).E[k + 1], std::sqrt(stated[k]), 1e-9 * std::sqrt(stated[k])) << k;
        const double w = 1 / (Sp(2).E[k + 1] * Sp(2).E[k + 1]);
        r0 += w * Sp(2).Y[k + 1], r1 += w * s[k] * Sp(2).Y[k + 1];
      }
      const double A = g00 * r0 + g01 * r1, B = g01 * r0 + g11 * r1;
      double chi = 0;
      for (int32_t k = 0; k < m; ++k) chi += std::pow((Sp(2).Y[k + 1] - A - B * s[k]) / Sp(2).E[k + 1], 2);
      sumA += A, sumA2 += A * A, sumChi += chi, sumChi2 += chi * chi;
      esd += std::sqrt(g00);
    }
    const double scatter = std::sqrt((sumA2 - sumA * sumA / draws) / (draws - 1)), meanChi = sumChi / draws;
    const double chiSpread = std::sqrt((sumChi2 - sumChi * meanChi) / (draws - 1));
    std::cout << m << " channels: stated esd / scatter " << esd / draws / scatter << ", chi2 " << meanChi
              << " expected " << expected << " (" << m - 2 << " points less 2)\n";
    // The sample deviation of 2000 draws is within 4 / sqrt(2 x 2000) = 0.063 of the true one.
    EXPECT_NEAR(esd / draws / scatter, 1.0, 4 / std::sqrt(2.0 * draws));
    EXPECT_NEAR(sumA / draws, 50.0, 4 * scatter / std::sqrt(draws));
    EXPECT_NEAR(meanChi, expected, 4 * chiSpread / std::sqrt(draws));
  }
}

}  // namespace

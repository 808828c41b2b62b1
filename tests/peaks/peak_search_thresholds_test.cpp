// The thresholds of a search section's tests, each met by a pair of Gaussians set just inside and
// just outside it from their physics (heights, widths and distances): the curvature of a top, the
// sensed area over its window, and the isolation of a broad weak peak.
#include <gtest/gtest.h>
#include <cmath>
#include <vector>
#include "peaks/peak_search.h"
#include "peaks/peaks_setup.h"

namespace {

constexpr double FourLn2 = 2.772588722239781;

struct Gaussian {
  double position, height, fwhm;
};

class SectionThresholdsTest : public PeaksTest {
protected:
  // A section of m points (compression 1, sensitivity 1, expected width w everywhere) holding the
  // sum of the Gaussians over zero, every point with the error e, and the peaks at the given points.
  TPeakSection Section(int32_t m, double w, double e, const std::vector<Gaussian>& g, const std::vector<double>& at) {
    PeakSearchFirst = 1, PeakWidthIntercept = w, PeakWidthSlope = 0;
    TPeakSection s;
    s.m = m, s.f = 1, s.sensitivity = 1, s.sectionMax = s.rawMax = 1000;
    double* y = TPeakSection::Y();
    for (int32_t i = 1; i <= m; ++i) {
      y[i] = 0;
      for (const Gaussian& p : g) y[i] += p.height * std::exp(-FourLn2 * std::pow((i - p.position) / p.fwhm, 2));
      TPeakSection::Errors()[i] = e;
    }
    s.n = static_cast<int32_t>(at.size());
    for (size_t j = 0; j < at.size(); ++j) TPeakSection::Positions()[j + 1] = at[j];
    return s;
  }
  std::vector<double> Peaks(const TPeakSection& s) {
    return {TPeakSection::Positions() + 1, TPeakSection::Positions() + 1 + s.n};
  }
};

}  // namespace

// A top is a peak where the curvature of the counts is below -1.5 per point^2. A Gaussian's is
// -8 ln2 H / w^2 at its centre (the 3- and 5-point forms come 3 and 9 % short of it at w = 8):
// -1.85 and -1.45 lie on either side of the threshold with room for the stencils.
TEST_F(SectionThresholdsTest, TopCurvatureOfMinusOneAndAHalf) {
  const double w = 8;
  auto height = [&](double curvature) { return -curvature * w * w / (2 * FourLn2); };
  TPeakSection s = Section(160, w, 1.0, {{40, height(-1.85), w}, {120, height(-1.45), w}}, {});
  s.QuasiCurvatureTest(w);
  EXPECT_EQ(Peaks(s), std::vector<double>{40});
}

// A peak is sensed when the sum of its points within 0.75 widths exceeds three standard deviations
// of that sum. Gaussians of full width 8 over errors 10, their window sums 2.93 and 3.07 standard
// deviations: the first is deleted, the second kept. A window of half a width would sense the first
// (its sum 3.04 deviations there), one of a whole width lose the second (2.81).
TEST_F(SectionThresholdsTest, SensedOverThreeDeviationsInAWindowOfThreeQuarterWidths) {
  const double w = 8, e = 10;
  auto ratio = [&](double h, double half) {  // the window's sum over its standard deviation
    double sum = 0;
    for (int32_t i = -static_cast<int32_t>(half); i <= half; ++i) sum += h * std::exp(-FourLn2 * (i / w) * (i / w));
    return sum / (e * std::sqrt(2 * half + 1));
  };
  const double unit = ratio(1, 0.75 * w);
  const double weak = 2.93 / unit, strong = 3.07 / unit;
  EXPECT_GT(ratio(weak, 0.5 * w), 3.0);
  EXPECT_LT(ratio(strong, 1.0 * w), 3.0);
  TPeakSection s = Section(160, w, e, {{40, weak, w}, {120, strong, w}}, {40, 120});
  s.DeleteWeakPeaks(1.0, w);
  EXPECT_EQ(Peaks(s), std::vector<double>{120});
}

// A peak neither significant (250 against three errors of 100) nor of the expected width (11
// against 8, accuracy 2) stays only when isolated: no other peak within two expected widths. Beside
// a narrow strong peak 2.2 widths away it stays, 1.8 widths away it goes; the strong one stays.
TEST_F(SectionThresholdsTest, WeakBroadPeakStaysOnlyBeyondTwoWidths) {
  const double w = 8;
  for (double distance : {2.2, 1.8}) {
    const double partner = 40 + std::round(distance * w);
    TPeakSection s = Section(160, w, 100, {{40, 250, 11}, {partner, 3000, 4}}, {40, partner});
    s.widthAccuracy = 2;
    s.CalibrateWidths();
    const std::vector<double> kept = distance > 2 ? std::vector<double>{40, partner} : std::vector<double>{partner};
    EXPECT_EQ(Peaks(s), kept) << distance;
  }
}

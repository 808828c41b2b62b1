// The spectrum functions against numpy (transform, smoothing by the transform, compression), the
// metamorphic laws of the tuned smoothers, the background through marked points and the
// rebinning identities, with the mended faults of each.
#include <gtest/gtest.h>
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <string>
#include <vector>
#include "core/cell_geometry.h"
#include "core/dialog_state.h"
#include "core/neighbour_services.h"
#include "core/spectra_utilities.h"
#include "core/spectrum.h"
#include "crystal/refinement_results.h"
#include "spectrum/spectrum_functions.h"
#include "support/golden_files.h"
#include "support/keep_values.h"
#include "support/scripted_fixture.h"
#include "support/temp_path.h"

namespace {

constexpr const char* Golden = "spectrum_functions_golden.txt";

class SpectrumFunctionsTest : public ScriptedTest {
protected:
  void SetUp() override {
    ScriptedTest::SetUp();
    CurrentSpectrum = 1;
    MarkedPointCount = 0;
    FourierFindPeriods = FourierSmooth = FourierMakeReal = 0;
    SubtractEnvelope = 0;
    Smoother = 1.0;
  }
  void TearDown() override {
    MarkedPointCount = 0;
    ScriptedTest::TearDown();
  }
  static TSpectrum& Sp(int32_t i) { return *SpectrumList[static_cast<size_t>(i)]; }
  // The generator's spectrum on channels first..last of spectrum i, the working range the same.
  static void Fill(int32_t i, int32_t first, int32_t last) {
    TSpectrum& s = Sp(i);
    for (int32_t k = first; k <= last; ++k) {
      s.Y[k] = 100 + 50 * std::sin(2 * M_PI * k / 50) + 30 * std::cos(2 * M_PI * k / 120) + (7919 * k) % 13;
      s.E[k] = 1 + 0.5 * (k % 7);
    }
    s.FirstChannel = s.WorkFirst = first;
    s.LastChannel = s.WorkLast = last;
  }
  static void Mark(std::initializer_list<double> points) {
    MarkedPointCount = 0;
    for (double p : points) MarkedPoints[++MarkedPointCount] = p;
  }
  static double Roughness(const TSpectrum& s, int32_t a, int32_t b) {
    double q = 0;
    for (int32_t k = a + 1; k < b; ++k) q += std::pow(s.Y[k - 1] - 2 * s.Y[k] + s.Y[k + 1], 2);
    return q;
  }
  static double Misfit(const TSpectrum& a, const TSpectrum& b, int32_t first, int32_t last) {
    double q = 0;
    for (int32_t k = first; k <= last; ++k) q += std::fabs(a.Y[k] - b.Y[k]);
    return q;
  }
  FreshSpectra spectra;
};

// |F| and Re F of the working interval against numpy for even, odd and the largest N.
TEST_F(SpectrumFunctionsTest, FourierAgainstNumpy) {
  for (const auto& row : GoldenRows(Golden, "spectrum")) {
    if (row[0] != "fft") continue;
    const int32_t len = std::stoi(row[1]), n = std::stoi(row[2]), k = std::stoi(row[3]);
    for (uint8_t real : {0, 1}) {
      FourierMakeReal = real;
      Fill(1, 1, len);
      CopySpectrum(1, 2);
      if (len >= 16384) ui.ExpectQuestion("Interval too long. Set it to 16384 ?", true);
      FourierPeriodicities(2);
      ASSERT_EQ(Sp(2).LastChannel, n / 2) << len;
      // Direct sums of N terms of size ~200: rounding stays far below 1e-8.
      EXPECT_NEAR(Sp(2).Y[k], std::stod(row[real ? 5 : 4]), 1e-8) << len << " k=" << k << " real=" << int(real);
    }
  }
}

// Fourier smoothing: fraction 1 against numpy's inverse with the band removed; fraction 0 with
// odd N gives the data back in spectrum 3.
TEST_F(SpectrumFunctionsTest, FourierSmoothingAgainstNumpy) {
  FourierSmooth = 1;
  KeepValues<double> keep(&FourierSmoothFraction, 1);
  FourierSmoothFraction = 1.0;
  for (int32_t len : {1000, 961}) {
    Fill(1, 1, len);
    CopySpectrum(1, 2);
    FourierPeriodicities(2);
    int32_t checked = 0;
    for (const auto& row : GoldenRows(Golden, "spectrum"))
      if (row[0] == "smooth" && std::stoi(row[1]) == len) {
        const int32_t k = std::stoi(row[3]);
        EXPECT_NEAR(Sp(4).Y[k], std::stod(row[4]), 1e-7) << len << " " << k;
        EXPECT_NEAR(Sp(3).Y[k], std::stod(row[5]), 1e-7) << len << " " << k;
        ++checked;
      }
    EXPECT_GT(checked, 10);
  }
  FourierSmoothFraction = 0.0;
  Fill(1, 1, 961);
  CopySpectrum(1, 2);
  FourierPeriodicities(2);
  for (int32_t k = 1; k <= 961; k += 37) EXPECT_NEAR(Sp(3).Y[k], Sp(1).Y[k], 1e-8) << k;
}

// Compression against numpy's block sums; the header by hand; the end of the arrays.
TEST_F(SpectrumFunctionsTest, CompressionAgainstNumpyAndAtTheArrayEnd) {
  for (const auto& row : GoldenRows(Golden, "spectrum")) {
    if (row[0] != "compress") continue;
    const int32_t m = std::stoi(row[1]), k = std::stoi(row[2]);
    Fill(1, 1, 1000);
    CopySpectrum(1, 2);
    CompressSpectrum(m, 2, 0);
    EXPECT_NEAR(Sp(2).Y[k], std::stod(row[3]), 1e-9) << m << " " << k;
    EXPECT_NEAR(Sp(2).E[k], std::stod(row[4]), 1e-9) << m << " " << k;
  }
  TSpectrum& c = Sp(1);
  Fill(1, 1, 1000);
  c.WorkFirst = 3, c.WorkLast = 998, c.ChanWidth = 4, c.Delay = 10, c.W0 = 6, c.SpectrumCorrection = 2;
  double total = 0;
  for (int32_t k = 1; k <= 1000; ++k) total += c.Y[k];
  CopySpectrum(1, 2);
  CompressSpectrum(3, 2, 1);
  const TSpectrum& r = Sp(2);
  EXPECT_EQ(r.FirstChannel, 1);
  EXPECT_EQ(r.LastChannel, 334);
  EXPECT_EQ(r.WorkFirst, 1);
  EXPECT_EQ(r.WorkLast, 333);
  EXPECT_DOUBLE_EQ(r.ChanWidth, 12);
  EXPECT_DOUBLE_EQ(r.Delay, 10.0 / 3);
  EXPECT_DOUBLE_EQ(r.W0, 2);
  EXPECT_DOUBLE_EQ(r.SpectrumCorrection, 2.0 / 3);
  double sum = 0;
  for (int32_t k = 1; k <= 334; ++k) sum += r.Y[k];
  EXPECT_NEAR(sum, total, 1e-9 * total);
  EXPECT_DOUBLE_EQ(r.Y[334], c.Y[1000]);  // channels 1001, 1002 count as 0
  // Past channel 32768 lies E[0] of the object: a read past the arrays would add it.
  Fill(1, 32760, 32768);
  c.E[0] = 1e12;
  CopySpectrum(1, 2);
  CompressSpectrum(7, 2, 0);
  EXPECT_EQ(Sp(2).LastChannel, 4682);
  EXPECT_DOUBLE_EQ(Sp(2).Y[4682], c.Y[32768]);
  ui.ExpectMessage("Wrong compression factor");
  CompressSpectrum(0, 2, 0);
  EXPECT_EQ(DialogOk, 0);
}

// Background: the line between two points held outside; shuffled, repeated and stray points give
// the same; the current spectrum 2 or 4 keeps its data; Yes subtracts once.
TEST_F(SpectrumFunctionsTest, BackgroundByMarkedPoints) {
  auto run = [&](int32_t c, bool yes) {
    CurrentSpectrum = c;
    ui.ExpectQuestion("Should the background be subtracted from spectrum?", yes);
    BuildBackgroundByMarkedPoints();
  };
  Fill(1, 1, 500);
  Mark({100, 300});
  run(1, false);
  const double y100 = Sp(1).Y[100], y300 = Sp(1).Y[300];
  EXPECT_DOUBLE_EQ(Sp(2).Y[50], y100);
  EXPECT_DOUBLE_EQ(Sp(2).Y[450], y300);
  EXPECT_NEAR(Sp(2).Y[200], (y100 + y300) / 2, 1e-9);
  EXPECT_DOUBLE_EQ(Sp(4).Y[200], std::max(Sp(1).Y[200] - Sp(2).Y[200], 0.0));

  Mark({50, 200, 420});
  run(1, false);
  const std::vector<double> sorted(Sp(2).Y + 1, Sp(2).Y + 501);
  Mark({420.2, 50, 200, 49.6, 200, 9000, -3});
  run(1, false);
  EXPECT_EQ(std::vector<double>(Sp(2).Y + 1, Sp(2).Y + 501), sorted);

  for (int32_t c : {2, 4})
    for (bool yes : {false, true}) {
      Fill(c, 1, 500);
      const std::vector<double> data(Sp(c).Y + 1, Sp(c).Y + 501);
      run(c, yes);
      for (int32_t k = 1; k <= 500; k += 7) {
        const double b = sorted[static_cast<size_t>(k - 1)], d = std::max(data[static_cast<size_t>(k - 1)] - b, 0.0);
        EXPECT_DOUBLE_EQ(Sp(4).Y[k], d) << c << yes << k;
        EXPECT_DOUBLE_EQ(Sp(2).Y[k], c == 2 && yes ? d : b) << c << yes << k;
      }
    }
  Mark({70, 70.3});
  ui.ExpectMessage("Too few (or no) marked points");
  BuildBackgroundByMarkedPoints();
}

// The tuned smoothers: the steps move the roughness the right way in both modes; with r = c the
// snapshot makes Less then More return the first result; the envelope stays under the data and
// the spectrum minus it adds back to the data; a straight line is smoothed into itself.
TEST_F(SpectrumFunctionsTest, SmoothingTuningLaws) {
  auto smooth = [&](int32_t mode, int32_t r, std::vector<int32_t> choices) {
    Fill(1, 1, 600);
    CopySpectrum(1, r);
    Smoother = 1.0;
    for (int32_t ch : choices) ui.ExpectDialog(" Graph of both spectra").Radio(ch).Ok();
    SmoothSpectrum(mode, r, 2);
    return std::vector<double>(Sp(r).Y + 1, Sp(r).Y + 601);
  };
  for (int32_t mode : {0, 1}) {
    // The smoothing's roughness; the envelope starts at the smoother of least roughness, so its
    // law is the distance from the data (a larger smoother follows the data more).
    auto measure = [&] { return mode == 0 ? Roughness(Sp(2), 1, 599) : Misfit(Sp(1), Sp(2), 1, 599); };
    smooth(mode, 2, {3});
    const double r0 = measure();
    smooth(mode, 2, {2, 3});
    const double more = measure();
    smooth(mode, 2, {1, 3});
    const double less = measure();
    EXPECT_LT(mode == 0 ? more : less, r0) << mode;
    EXPECT_GT(mode == 0 ? less : more, r0) << mode;
    const std::vector<double> first = smooth(mode, 2, {3});
    const std::vector<double> back = smooth(mode, 1, {1, 2, 3});
    for (size_t k = 0; k + 1 < first.size(); ++k) EXPECT_NEAR(back[k], first[k], 1e-6 * std::fabs(first[k])) << mode << k;
  }
  SubtractEnvelope = 1;
  Fill(1, 1, 600);
  const std::vector<double> data(Sp(1).Y + 1, Sp(1).Y + 601);
  CopySpectrum(1, 2);
  ui.ExpectDialog(" Graph of both spectra").Radio(3).Ok();
  SmoothSpectrum(1, 2, 1);
  EXPECT_EQ(StatusText, "Envelope from below put to spectrum 2");
  // The spectrum minus its envelope, plus the envelope, is the spectrum on every channel; the
  // envelope leaves the data between the peaks, so the difference is not zero there.
  double lifted = 0.0;
  for (int32_t k = 1; k <= 600; ++k) {
    EXPECT_LE(Sp(2).Y[k], data[static_cast<size_t>(k - 1)] + 1e-9) << k;
    EXPECT_GE(Sp(1).Y[k], 0.0) << k;
    EXPECT_NEAR(Sp(1).Y[k] + Sp(2).Y[k], data[static_cast<size_t>(k - 1)], 1e-9 * data[static_cast<size_t>(k - 1)]) << k;
    lifted += Sp(1).Y[k];
  }
  EXPECT_GT(lifted, 600 * 10.0);
  // A straight line has no second differences: the smoothing returns it on every channel, the
  // first and the last too, into a spectrum that held other counts.
  for (int32_t k = 1; k <= 600; ++k) Sp(1).Y[k] = 50.0 + 0.25 * k, Sp(2).Y[k] = -1.0;
  ui.ExpectDialog(" Graph of both spectra").Radio(3).Ok();
  SmoothSpectrum(0, 2, 2);
  for (int32_t k = 1; k <= 600; ++k) EXPECT_NEAR(Sp(2).Y[k], 50.0 + 0.25 * k, 1e-6) << k;
}

// Rebinning identities: the same bounds reproduce the data; the d-to-channel conversion keeps the
// count and the c = r = 4 case equals the conversion into spectrum 2; the special analysis keeps
// every count; typed rows outside the spectrum are clipped, reversed ones refused.
TEST_F(SpectrumFunctionsTest, RebinningIdentities) {
  Fill(1, 1, 400);
  DialogNumbers[2] = 1, DialogNumbers[3] = 400;
  CopySpectrum(1, 2);
  SimpleInterpolation(2, 1, 400);
  for (int32_t k = 1; k <= 400; k += 11) EXPECT_NEAR(Sp(2).Y[k], Sp(1).Y[k], 1e-9) << k;

  auto dSpectrum = [&](int32_t i) {
    Fill(i, 1, 400);
    for (int32_t k = 1; k <= 400; ++k) Sp(i).X[k] = 0.5 + k * 0.01;
  };
  dSpectrum(4);
  CurrentSpectrum = 4;
  DialogNumbers[2] = -50, DialogNumbers[3] = 400;  // clipped to channel 1
  double total = 0;
  for (int32_t k = 1; k <= 400; ++k) total += Sp(4).Y[k];
  InterpolateChanToD(2, 1, 1200, 0);
  const std::vector<double> into2(Sp(2).Y + 1, Sp(2).Y + 1201);
  double sum = 0;
  for (double v : into2) sum += v;
  EXPECT_NEAR(sum, total, 1e-9 * total);
  // One linear map: old position x and new position s (x - 0.005 - 1) + 1 have the same time.
  const double s = 1200.0 / 400.0, x = 250.0;
  EXPECT_NEAR((s * (x - 1.005) + 1 + Sp(2).Delay) * Sp(2).ChanWidth, (x + Sp(4).Delay) * Sp(4).ChanWidth, 1e-9);
  ui.ExpectQuestion("Current spectrum is output one. Can spectrum 4 be used as buffer? If no, abort.", true);
  InterpolateChanToD(4, 1, 1200, 0);
  EXPECT_EQ(std::vector<double>(Sp(4).Y + 1, Sp(4).Y + 1201), into2);
  CurrentSpectrum = 1;
  Fill(1, 1, 400);
  total = 0;
  for (int32_t k = 1; k <= 400; ++k) total += Sp(1).Y[k];
  ui.ExpectDialog(" Special analysis").Radio(2).Field(1, 1, "5000").Ok();
  SpecialAnalysis(2, 1, 100);
  sum = 0;
  for (int32_t k = 1; k <= MaxChannels; ++k) sum += Sp(2).Y[k];
  EXPECT_NEAR(sum, total, 1e-9 * total);
  ui.ExpectDialog(" Special analysis").Radio(3).Ok();
  ui.ExpectMessage("This mode has no formula");
  SpecialAnalysis(2, 1, 100);
  DialogNumbers[2] = 300, DialogNumbers[3] = 200;
  ui.ExpectMessage("Wrong spectrum bounds");
  SimpleInterpolation(2, 1, 100);

  // 20000 channels are cut to 16384: the same bounds still reproduce the data (mended: the
  // 2 x 16384 nodes overran NumberBuffer and every interval from 8192 channels gave zeros), and
  // the special analysis spreads exactly the counts of the first 16384 channels.
  Fill(1, 1, 20000);
  DialogNumbers[2] = 1, DialogNumbers[3] = 20000;
  ui.ExpectMessage("Interpolated array too long; cut to 16384");
  SimpleInterpolation(2, 1, 16384);
  for (int32_t k = 1; k <= 16384; k += 97) EXPECT_NEAR(Sp(2).Y[k], Sp(1).Y[k], 1e-9) << k;
  total = 0;
  for (int32_t k = 1; k <= 16384; ++k) total += Sp(1).Y[k];
  ui.ExpectMessage("Interpolated array too long; cut to 16384");
  ui.ExpectDialog(" Special analysis").Radio(2).Field(1, 1, "20000").Ok();
  SpecialAnalysis(2, 1, 100);
  sum = 0;
  for (int32_t k = 1; k <= MaxChannels; ++k) sum += Sp(2).Y[k];
  EXPECT_NEAR(sum, total, 1e-9 * total);
}

}  // namespace

namespace {

// Two sinusoids of periods 50 and 120 channels: the list names those periods.
TEST_F(SpectrumFunctionsTest, PeriodicitiesOfTwoSinusoids) {
  FourierFindPeriods = 1;
  for (int32_t k = 1; k <= 1000; ++k)
    Sp(1).Y[k] = 500 + 100 * std::sin(2 * M_PI * k / 50) + 80 * std::sin(2 * M_PI * k / 120);
  Sp(1).FirstChannel = Sp(1).WorkFirst = 1;
  Sp(1).LastChannel = Sp(1).WorkLast = 1000;
  CopySpectrum(1, 2);
  ui.ExpectDialog("Periods detected").Ok();
  FourierPeriodicities(2);
  std::vector<double> periods;
  for (int32_t i = 1; i <= PeriodPeakCount; ++i) periods.push_back(PeriodPeaks[i].period);
  for (double want : {50.0, 120.0})
    EXPECT_TRUE(std::any_of(periods.begin(), periods.end(), [&](double p) { return std::fabs(p - want) < 0.03 * want; }))
        << want << " among " << ::testing::PrintToString(periods);
}

}  // namespace

namespace {

// The committed goldens are what the generators write now (numpy's FFT and polyfit may differ in
// the last digits between versions: 1e-9 relative, far below the tests' tolerances).
TEST(SpectrumFunctionsGolden, GeneratorsReproduceTheCommittedFiles) {
  VKEST_REQUIRE_PYTHON("numpy");
  for (const auto& [script, name] : {std::pair{"gen_spectrum_functions_golden.py", "spectrum_functions_golden.txt"},
                                     std::pair{"gen_events_golden.py", "events_golden.txt"}}) {
    const std::string dir = TestTempPath(std::string("golden_") + name);
    std::filesystem::create_directories(dir);
    const std::string out = dir + "/" + name;
    ASSERT_EQ(RunTool(script, out), 0) << script;
    const auto tolerance = [](const Tokens& row, size_t col) {
      double x = 0;
      return TokenNumber(row[col], x) ? 1e-9 * std::fabs(x) + LastDigitUnit(row[col]) : std::nan("");
    };
    for (const std::string& m : TokenMismatches(TokenRows(out), GoldenRows(name, "spectrum"), tolerance))
      ADD_FAILURE() << name << ": " << m;
    std::filesystem::remove_all(dir);
  }
}

}  // namespace

namespace {

// A time-of-flight spectrum on a logarithmic grid (dt/t = 1e-3, the times in X) of a density of 5
// counts per microsecond under a Gaussian peak of 20000 counts at 12000 us, sigma 15 us: each
// channel holds the mean density over its bin (between the midpoints to its neighbours), as
// reduced files give it. The simple interpolation puts it on equidistant channels of the coarsest
// step: the background density stays 5 on every channel, value x width sums to the same count,
// the peak's area and centroid unchanged, the header telling each channel's time. The
// d-to-channel conversion of the counts per bin in d keeps every count.
TEST_F(SpectrumFunctionsTest, LogarithmicGridRebinnedInX) {
  constexpr int32_t n = 600;
  TSpectrum& src = Sp(1);
  src.AxisKind = AxisTimeOfFlight, src.FirstChannel = src.WorkFirst = 1, src.LastChannel = src.WorkLast = n;
  for (int32_t k = 1; k <= n + 1; ++k) src.X[k] = 10000 * std::pow(1.001, k - 1);
  auto cumulative = [](double t) { return 5 * t + 20000 * 0.5 * (1 + std::erf((t - 12000) / (15 * std::sqrt(2.0)))); };
  double total = 0;
  for (int32_t k = 1; k <= n; ++k) {
    const double lo = k > 1 ? 0.5 * (src.X[k - 1] + src.X[k]) : 1.5 * src.X[1] - 0.5 * src.X[2];
    const double hi = k < n ? 0.5 * (src.X[k] + src.X[k + 1]) : 1.5 * src.X[n] - 0.5 * src.X[n - 1];
    src.Y[k] = (cumulative(hi) - cumulative(lo)) / (hi - lo), src.E[k] = std::sqrt(src.Y[k] / (hi - lo));
    total += cumulative(hi) - cumulative(lo);
  }
  ASSERT_TRUE(NonEquidistantAxis(src, 1, n));
  const double coarsest = src.X[n] - src.X[n - 1];
  const int32_t m = static_cast<int32_t>((src.X[n] - src.X[1]) / coarsest) + 1;
  DialogNumbers[2] = 1, DialogNumbers[3] = n;
  SimpleInterpolation(2, 1, m);
  const TSpectrum& r = Sp(2);
  const double step = (src.X[n] - src.X[1]) / (m - 1);
  EXPECT_NEAR(r.ChanWidth, step, 1e-9 * step);
  double sum = 0, peak = 0, moment = 0;
  for (int32_t k = 1; k <= m; ++k) {
    EXPECT_NEAR((k + r.Delay) * r.ChanWidth, r.X[k], 1e-6) << k;
    sum += r.Y[k] * step;
    const double bg = 5;
    if (std::fabs(r.X[k] - 12000) < 150) peak += (r.Y[k] - bg) * step, moment += (r.Y[k] - bg) * step * r.X[k];
    if (std::fabs(r.X[k] - 12000) > 150) {
      EXPECT_NEAR(r.Y[k], bg, 1e-9 * bg) << k;
    }
  }
  // The end channels reach half a step beyond the data's bins: their covered part counts.
  const double ends = 5 * 0.5 * ((step - (src.X[2] - src.X[1])) + (step - (src.X[n] - src.X[n - 1])));
  EXPECT_NEAR(sum - ends, total, 1e-9 * total);
  EXPECT_NEAR(peak, 20000, 1.0);
  EXPECT_NEAR(moment / peak, 12000, 0.03 * step);  // bins about as wide as sigma
  EXPECT_FALSE(NonEquidistantAxis(r, 1, m));

  // The same counts over d (t = 505.556 L sin(theta) d): equidistant in d and in time.
  CopySpectrum(1, 3);
  TSpectrum& d = Sp(3);
  d.FlightPath = 20, d.Theta = 70;
  const double perD = TofConstant * d.FlightPath * std::sin(d.Theta / RadToDeg);
  for (int32_t k = 1; k <= n + 1; ++k) d.X[k] = src.X[k] / perD;
  for (int32_t k = 1; k <= n; ++k) {
    const double lo = k > 1 ? 0.5 * (src.X[k - 1] + src.X[k]) : 1.5 * src.X[1] - 0.5 * src.X[2];
    const double hi = k < n ? 0.5 * (src.X[k] + src.X[k + 1]) : 1.5 * src.X[n] - 0.5 * src.X[n - 1];
    d.Y[k] = src.Y[k] * (hi - lo);
  }
  CurrentSpectrum = 3;
  InterpolateChanToD(2, 1, m, 0);
  sum = 0;
  for (int32_t k = 1; k <= m; ++k) {
    sum += r.Y[k];
    EXPECT_NEAR((k + r.Delay) * r.ChanWidth, r.X[k] * perD, 1e-6) << k;
  }
  EXPECT_NEAR(sum, total, 1e-9 * total);
  EXPECT_NEAR(r.ChanWidth, step, 1e-9 * step);
}

}  // namespace

// Loading and correcting one spectrum of the sequence: compression sums, the variance name of
// "sp/var", the effective-spectrum identity, the exponential background and the width law.
#include <gtest/gtest.h>
#include <cmath>
#include <tuple>
#include "core/model_tables.h"
#include "core/spectra_utilities.h"
#include "evolution/sequence_loading.h"
#include "evolution/sequence_view.h"
#include "peaks/peak_search.h"
#include "trevo_fixture.h"

class SequenceLoading : public TrevoTest {
protected:
  TSpectrum& Sp() { return *SpectrumList[1]; }
  // Two files a.dat and b.dat (and a.err, b.err) in a fresh folder, entered as the sequence.
  void TwoFiles(const std::vector<double>& a, const std::vector<double>& b) {
    SpectrumDir = Folder();
    WriteValues(SpectrumDir + "/a.dat", a), WriteValues(SpectrumDir + "/b.dat", b);
    SequenceFileNames[1] = "a.dat", SequenceFileNames[2] = "b.dat", SequenceCount = 2;
    Sp().FileType = 3, Sp().FirstChannel = 1, CorrectForEffectiveSpectrum = 0;
  }
};

TEST_F(SequenceLoading, CompressionSumsGroupsOfChannels) {
  struct Case {
    int32_t first, last, c;
    std::vector<double> y;  // channels first..
    int32_t newFirst, newLast;
  } cases[] = {{1, 8, 2, {3, 7, 11, 15}, 1, 4},
               {5, 8, 2, {11, 15}, 3, 4},     // new channel 3 sums 5..6, not 9..10
               {1, 7, 3, {6, 15, 7}, 1, 3}};  // the last group clipped at the last channel
  for (const Case& k : cases) {
    for (int32_t i = 1; i <= 8; ++i) Sp().Y[i] = i, Sp().E[i] = 1;
    Sp().FirstChannel = k.first, Sp().LastChannel = k.last, Sp().WorkFirst = k.first, Sp().WorkLast = k.last;
    CompressSpectrumChannels(Sp(), k.c);
    EXPECT_EQ(std::make_pair(Sp().FirstChannel, Sp().LastChannel), std::make_pair(k.newFirst, k.newLast));
    for (size_t j = 0; j < k.y.size(); ++j) EXPECT_EQ(Sp().Y[k.newFirst + j], k.y[j]) << k.first << " " << j;
  }
  EXPECT_DOUBLE_EQ(Sp().E[1], std::sqrt(3.0 + 1.0));  // three channels of error 1, plus 1
}

TEST_F(SequenceLoading, CompressedStepsKeepTheirRangeAndAskOnce) {
  std::vector<double> a(8), b(8);
  for (int32_t i = 0; i < 8; ++i) a[i] = i + 1, b[i] = 10 * (i + 1);
  TwoFiles(a, b);
  Sp().WorkFirst = 2, Sp().WorkLast = 8;
  compr = 2;
  ui.ExpectDialog("").Ok();  // " Correct for compression:", once in the run
  for (int32_t index : {1, 2}) {
    LoadSequenceSpectrum(index);
    ASSERT_EQ(DialogOk, 1);
    CorrectForCompression();
    EXPECT_EQ(Sp().LastChannel, 4) << index;
    EXPECT_EQ(Sp().Y[2], index == 1 ? 7 : 70) << index;
  }
  EXPECT_EQ(std::make_pair(Sp().WorkFirst, Sp().WorkLast), std::make_pair(1, 4));
  // A factor that rounds to 1 sums nothing and moves no channel, but asks once.
  compr = 1.4, CompressionAsked = 0, Sp().WorkFirst = 2, Sp().WorkLast = 8;
  ui.ExpectDialog("").Ok();
  LoadSequenceSpectrum(1);
  CorrectForCompression();
  EXPECT_EQ(std::make_tuple(Sp().LastChannel, Sp().Y[3], Sp().WorkFirst, Sp().WorkLast), std::make_tuple(8, 3.0, 2, 8));
}

TEST_F(SequenceLoading, VarianceAndMissingFiles) {
  SpectrumDir = Folder();
  SpectraOnlySequence = 0, SequenceCount = 10, CorrectForEffectiveSpectrum = 0, Sp().FileType = 3;
  for (int32_t i = 1; i <= 20; ++i) SequenceFileNames[i] = "n" + std::to_string(i);
  for (int32_t i : {3, 4, 13}) WriteValues(SpectrumDir + "/n" + std::to_string(i), {100.0 * i, 4.0 * i});
  LoadSequenceSpectrum(3);
  EXPECT_EQ(std::make_pair(Sp().Y[1], Sp().E[2]), std::make_pair(300.0, 52.0));  // errors of spectrum 3: name 13
  ui.ExpectMessage("File doesnt exist " + (std::filesystem::path(SpectrumDir) / "n14").string());
  LoadSequenceSpectrum(4);
  EXPECT_EQ(DialogOk, 0);
}

// A time-of-flight step is divided by the effective spectrum; an angular one (the effective
// spectrum and the absorption law are functions of the time of flight) keeps the counts and errors
// as read, and the run says so once, however many steps it loads; so does each run of the view.
TEST_F(SequenceLoading, NormalisationDividesByTheEffectiveSpectrum) {
  std::vector<double> counts(200);
  for (int32_t j = 1; j <= 200; ++j) counts[j - 1] = 50 + 30 * std::sin(j / 7.0) + j;
  TwoFiles(counts, counts);
  LoadSequenceSpectrum(1);
  const std::vector<double> errors(Sp().E + 1, Sp().E + 201);  // as read
  TSpectrum& eff = *SpectrumList[0];
  eff.FirstChannel = 1, eff.LastChannel = 200;
  for (int32_t j = 1; j <= 200; ++j) eff.Y[j] = 1000 + 400 * std::cos(j / 11.0);
  CorrectForEffectiveSpectrum = 1;
  Sp().Abs1 = Sp().Abs2 = 0;  // no absorption: transmission 1
  LoadSequenceSpectrum(1);
  // (Y' - B) e / S + B gives the counts back, B the smallest count and S the largest e.
  const double B = *std::min_element(counts.begin(), counts.end());
  double S = 0;
  for (int32_t j = 1; j <= 200; ++j) S = std::max(S, eff.Y[j]);
  for (int32_t j = 1; j <= 200; j += 13) EXPECT_NEAR((Sp().Y[j] - B) * eff.Y[j] / S + B, counts[j - 1], 1e-9) << j;
  EXPECT_EQ(Sp().NormalizedFlag, 1);
  const std::string refusal = "Spectrum is angular, no normalization";
  auto said = [&] {
    const std::vector<std::string> shown = ui.Messages();
    return std::count(shown.begin(), shown.end(), refusal);
  };
  for (const int32_t axis : {AxisAngular, AxisAny}) {
    Sp().AxisKind = axis, Sp().Abs1 = 0.00147, Sp().Abs2 = 0.00893, AngularCorrectionSaid = 0;
    ui.ExpectMessage(refusal);
    for (const int32_t index : {1, 2, 1}) {
      LoadSequenceSpectrum(index);
      ASSERT_EQ(DialogOk, 1);
      for (int32_t j = 1; j <= 200; ++j) ASSERT_EQ(std::make_pair(Sp().Y[j], Sp().E[j]), std::make_pair(counts[j - 1], errors[j - 1])) << j;
      EXPECT_EQ(std::make_pair(Sp().NormalizedFlag, Sp().AbsorptionCorrectedFlag), std::make_pair(uint8_t{0}, uint8_t{0}));
    }
    EXPECT_EQ(said(), axis == AxisAngular ? 1 : 2);  // once a run
  }
  // Each run of the view says it again, once.
  TrevoMode = 0;
  ui.ExpectDialog("").Ok();
  ui.ExpectMessage(refusal);
  ui.ExpectDialog("Viewing the spectrum sequence").Ok();
  int32_t count = 0;
  ViewSpectrumSequence(count);
  EXPECT_EQ(std::make_tuple(Sp().Y[1], LastStep, said()), std::make_tuple(counts[0], 2, 3));
}

TEST_F(SequenceLoading, ExponentialBackgroundRecoversTauOrSkips) {
  const int32_t f = 101, l = 300;
  auto fill = [&](double A, double tau) {
    for (int32_t c = 1; c <= 400; ++c) Sp().Y[c] = A * std::exp(-(c - f) / tau);
  };
  fill(1e12, 60);
  double A = 0, tau = 0;
  ASSERT_TRUE(EstimateExpBackground(Sp(), f, l, 6, A, tau));
  EXPECT_NEAR(tau, 60, 60 * 1e-6);
  // A width that rounds to 0, equal log counts, a rising spectrum: nothing is subtracted.
  Sp().WorkFirst = f, Sp().WorkLast = l, SuppressExponentialBackground = 1;
  for (const auto& [w0, amplitude, decay] : {std::array<double, 3>{0.4, 1e6, 60}, {6, 500, 1e300}, {6, 10, -40}}) {
    fill(amplitude, decay);
    Sp().W0 = w0;
    const double before = Sp().Y[150];
    SuppressExpBackground();
    EXPECT_EQ(Sp().Y[150], before) << w0 << " " << decay;
  }
  EXPECT_EQ(LogWith("not suppressed").size(), 3u);
}

TEST_F(SequenceLoading, OneChannelIntervalAndTheLastSixtyPeaks) {
  // 75 separated peaks: the search finds them all, the last 60 stay.
  for (int32_t c = 1; c <= 3200; ++c) Sp().Y[c] = 20, Sp().E[c] = std::sqrt(20.0);
  for (int32_t p = 1; p <= 75; ++p)
    for (int32_t c = 40 * p - 12; c <= 40 * p + 12; ++c) Sp().Y[c] += 3000 * std::exp(-0.5 * std::pow((c - 40.0 * p) / 2.0, 2));
  Sp().FirstChannel = 1, Sp().LastChannel = 3200, Sp().WorkFirst = 10, Sp().WorkLast = 3100;
  Sp().W0 = Sp().W1 = 5, Sp().Dw0 = 2;
  SetSpectrumRange();
  ASSERT_EQ(std::make_pair(MaxPeaksFound, MarkedPointCount), std::make_pair(75, 60));
  EXPECT_NEAR(MarkedPoints[1], 40 * 16, 0.5);
  EXPECT_NEAR(MarkedPoints[60], 40 * 75, 0.5);
  Sp().WorkFirst = Sp().WorkLast = 500;
  SetSpectrumRange();
  EXPECT_TRUE(std::isfinite(PeakWidthSlope));
}

// The fit summary lines, the stage-4 model of each mode, the sampling of the fitted curve, and
// the Fourier amplitudes against numpy.angle.
#include <gtest/gtest.h>
#include <cmath>
#include <limits>
#include <numbers>
#include <string>
#include <vector>
#include "core/dialog_state.h"
#include "crystal/fit_summary.h"
#include "crystal/peak_fit_models.h"
#include "crystal/profile_model.h"
#include "crystal/profile_setup.h"

namespace {
constexpr double Pi = std::numbers::pi;

class FitSummaryTest : public PeakFitTest {
protected:
  void SetUp() override {
    PeakFitTest::SetUp();
    InfoLines = LBREC{};
  }
  static std::vector<std::string> Lines(int32_t from, int32_t to) {
    return {InfoLines.lines.begin() + from, InfoLines.lines.begin() + to + 1};
  }

private:
  KeepValues<LBREC> info_{&InfoLines, 1};
  KeepValues<int32_t> iterations_{&TotalFitIterations, 1};
  KeepValues<THklRecord> hkls_{&HklTable[0][0], 13 * (MaxPhases + 1)};
};

// The count is the index of the last line written, the blank first line included.
TEST_F(FitSummaryTest, SummaryLinesWithAndWithoutWarnings) {
  TParameter& fp = *FitParameters;
  fp.CompressionNote = ".... Compression: from   20  to   18";
  fp.ChiDf = 1.2345, fp.ChiPlus = -0.456, fp.Eps = 0.0432;
  TotalFitIterations = 7;
  InfoLines.count = 2;
  int32_t n = 3;
  PrintFitSummary(n);
  const std::vector<std::string> quiet = {" ", fp.CompressionNote, " ", "  Ch2/df= 1.23     Ch+= -0.46",
                                          "  Eps= 0.0       Iterations=     7"};
  EXPECT_EQ(std::vector<int32_t>({n, InfoLines.count}), std::vector<int32_t>({7, 7}));
  EXPECT_EQ(Lines(3, 7), quiet);
  for (auto& f : fp.QualityFlags) f = 1;
  fp.ParOnB = 1;
  n = 1;
  PrintFitSummary(n);
  EXPECT_EQ(std::vector<int32_t>({n, InfoLines.count}), std::vector<int32_t>({9, 9}));
  EXPECT_EQ(Lines(1, 9), (std::vector<std::string>{" ", fp.CompressionNote, "++++ The process hasn't converged",
                                                   "++++ The matrix can't be inverted",
                                                   ".... The fitting quality is not good",
                                                   ".... Parameter(s) hit the boundary:", " ", quiet[3], quiet[4]}));
  // The fifth flag alone also says the quality is not good; other ParOnB values say nothing.
  for (auto& f : fp.QualityFlags) f = 0;
  fp.QualityFlags[4] = 1, fp.ParOnB = 2;
  n = 1;
  PrintFitSummary(n);
  EXPECT_EQ(n, 6);
  EXPECT_EQ(InfoLines.lines[3], ".... The fitting quality is not good");
  // Beyond the capacity the lines are dropped; the count stays at the capacity.
  n = InfoLineCapacity - 1;
  PrintFitSummary(n);
  EXPECT_EQ(std::vector<int32_t>({n, InfoLines.count}), std::vector<int32_t>({InfoLineCapacity + 4, InfoLineCapacity}));
  EXPECT_EQ(Lines(InfoLineCapacity - 1, InfoLineCapacity), (std::vector<std::string>{" ", fp.CompressionNote}));
}

// The closing dialog names every record on a bound with the bound hit, and says when the fit
// diverged and went back to its best point.
TEST_F(FitSummaryTest, SummaryNamesTheBoundsAndADivergence) {
  TParameter& fp = *FitParameters;
  struct Keep { TParameter& f; int32_t npar; ~Keep() { f.Diverged = 0, f.ParOnB = 0, f.NPar = npar; } } keep{fp, fp.NPar};
  fp.NPar = 3;
  fp.ResetParameterRecords();
  fp.Records[2].Name = "W0", fp.Records[2].lower = 0.5, fp.Records[2].value = fp.Records[2].upper = 3;
  fp.Records[3].lower = fp.Records[3].value = fp.Records[3].upper = 7;  // fixed: not a bound hit
  fp.ParOnB = 1, fp.Diverged = 1;
  for (auto& f : fp.QualityFlags) f = 0;
  fp.QualityFlags[0] = 1;
  int32_t n = 1;
  PrintFitSummary(n);
  EXPECT_EQ(Lines(2, 6), (std::vector<std::string>{fp.CompressionNote, "++++ The fit diverged: back to its best point",
                                                   "++++ The process hasn't converged",
                                                   ".... Parameter(s) hit the boundary:",
                                                   "    2     3.000 W0 upper 3"}));
}

// Rietveld in modes 0 and 2; in mode 3 ExpGaussModel with FiveParameterFit, the paired model for
// every paired variant, else PeakFitModel; the peak-fit switches do not reach the profile modes.
TEST_F(FitSummaryTest, Stage4ModelOfEachMode) {
  struct Case {
    int32_t mode;
    uint8_t paired, five;
    ModelFunction model;
  } cases[] = {{0, 0, 0, &RietveldModel},      {1, 0, 0, nullptr},
               {2, 0, 0, &RietveldModel},      {3, 0, 0, &PeakFitModel},
               {3, 1, 0, &PairedPeakFitModel}, {3, 2, 0, &PairedPeakFitModel},
               {3, 3, 0, &PairedPeakFitModel}, {3, 3, 1, &ExpGaussModel},
               {0, 3, 1, &RietveldModel}};
  for (const Case& c : cases) {
    MainMode = c.mode, PairedPeakMode = c.paired, FiveParameterFit = c.five;
    EXPECT_EQ(Stage4Model(), c.model) << c.mode << " " << int(c.paired) << " " << int(c.five);
  }
}

// Three sub-points per channel of the working range (none beyond its last channel), each the
// stage-4 value of the mode's model (paired variant 2 included); with NonEquidistantChannels from
// X[ch], non-finite points skipped.
TEST_F(FitSummaryTest, SamplingStaysInTheWorkingRangeAndUsesTheModeModel) {
  SetShape(2, ModelLorentz);
  LayOutPeaks({1}, {1000}, {250}, {4}, {10});
  std::vector<TModelSample> out;
  SampleFittedCurve(1, 1024, out);
  ASSERT_EQ(out.size(), 3u * 299 + 1);
  for (const TModelSample& p : out) ASSERT_TRUE(p.x >= 101 && p.x <= 400) << p.x;
  EXPECT_NEAR(out[1].x - out[0].x, 0.3333, 1e-12);
  const TModelSample& top = out[3 * (250 - 101)];
  EXPECT_EQ(std::vector<double>({top.x, top.background, out.back().x}), std::vector<double>({250, 10, 400}));
  EXPECT_NEAR(top.model, 10 + 1000 / Pi, 1e-9);
  SampleFittedCurve(150, 160, out);
  EXPECT_EQ(out.size(), 33u);
  PairedPeakMode = 2;
  SetRecords({800, 250, 3});  // one peak: amplitude, centre, width
  SampleFittedCurve(240, 260, out);
  bool paired = !out.empty(), differs = false;
  for (const TModelSample& p : out) {
    paired = paired && p.model == ModelAt(&PairedPeakFitModel, p.x, true);
    differs = differs || p.model != ModelAt(&PeakFitModel, p.x, true);
  }
  EXPECT_TRUE(paired && differs);
  MainMode = 1;
  SampleFittedCurve(1, 1024, out);
  EXPECT_TRUE(out.empty());

  MainMode = 3, PairedPeakMode = 0, NonEquidistantChannels = 1;
  for (int32_t ch = 1; ch <= 1024; ++ch) Sp(1).X[ch] = 0.5 * ch + 30;
  Sp(1).X[200] = std::numeric_limits<double>::quiet_NaN();
  LayOutPeaks({1}, {1000}, {155}, {2}, {10});
  SampleFittedCurve(1, 1024, out);
  ASSERT_EQ(out.size(), 3u * 299 + 1 - 3);
  EXPECT_EQ(out.front().x, 80.5);
  EXPECT_NEAR(out[2].x, 80.5 + 0.6666, 1e-12);
  for (const TModelSample& p : out) ASSERT_TRUE(std::isfinite(p.model));
  EXPECT_EQ(out[3 * (250 - 101) - 3].x, 155);  // channel 250
  EXPECT_NEAR(out[3 * (250 - 101) - 3].model, 10 + 1000 / Pi, 1e-9);
}

// Fr + i Fi = sqrt|I| exp(i angle(A + iB)) against numpy.angle in every quadrant (F16); a
// centrosymmetric phase keeps the sign of A; no intensities or indices outside: 0 and 0.
TEST_F(FitSummaryTest, FourierAmplitudeTakesThePhaseOfTheCalculatedFactor) {
  const auto rows = GoldenNumbers("peakfit_golden.txt", "fourier");  // A B I Fr Fi
  ASSERT_EQ(rows.size(), 12u);
  MainMode = 2, ParameterArrayMode = 2, PhaseCount = 2;
  PhaseTable[1].ReflectionCount = 12, PhaseTable[2].ReflectionCount = 3;
  PhaseTable[2].Centrosymmetric = 1;
  for (int32_t j = 1; j <= 12; ++j)
    HklTable[j][1].A = rows[j - 1][0], HklTable[j][1].B = rows[j - 1][1], parar[10 + 10 + j].value = rows[j - 1][2];
  const double a[3] = {-2.5, 0.7, 0};  // phase 2 follows the 22 records of phase 1
  for (int32_t j = 1; j <= 3; ++j) HklTable[j][2].A = a[j - 1], HklTable[j][2].B = 5, parar[32 + 10 + j].value = 16;
  auto amplitude = [](int32_t j, int32_t k) {
    double fr = 9, fi = 9;
    FourierAmplitude(j, k, fr, fi);
    return std::pair{fr, fi};
  };
  for (int32_t j = 1; j <= 12; ++j) {
    const auto& r = rows[j - 1];
    const auto [fr, fi] = amplitude(j, 1);
    EXPECT_NEAR(fr, r[3], 1e-14 * std::sqrt(std::fabs(r[2]))) << j;
    EXPECT_NEAR(fi, r[4], 1e-14 * std::sqrt(std::fabs(r[2]))) << j;
  }
  for (int32_t j = 1; j <= 3; ++j) EXPECT_EQ(amplitude(j, 2), std::pair(j == 1 ? -4.0 : 4.0, 0.0)) << j;
  const std::pair<double, double> zero{0, 0};
  for (auto [j, k] : {std::pair{0, 1}, {13, 1}, {4, 2}, {1, 3}, {1, 0}, {1, 7}})
    EXPECT_EQ(amplitude(j, k), zero) << j << k;
  EXPECT_NE(amplitude(1, 1), zero);
  ParameterArrayMode = 0;
  EXPECT_EQ(amplitude(1, 1), zero);
  ParameterArrayMode = 2, MainMode = 0;
  EXPECT_EQ(amplitude(1, 1), zero);
}

}  // namespace

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
#include "peak_fit_setup.h"
#include "support/golden_files.h"

namespace {
constexpr double Pi = std::numbers::pi;
}

class FitSummaryTest : public PeakFitTest {
protected:
  void SetUp() override {
    PeakFitTest::SetUp();
    savedInfo_ = InfoLines;
    InfoLines = LBREC{};
  }
  void TearDown() override {
    InfoLines = savedInfo_;
    PeakFitTest::TearDown();
  }
  static std::vector<std::string> Lines(int32_t from, int32_t to) {
    return {InfoLines.lines.begin() + from, InfoLines.lines.begin() + to + 1};
  }

private:
  LBREC savedInfo_;
  KeepValues<int32_t> iterations_{&TotalFitIterations, 1};
  KeepValues<THklRecord> hkls_{&HklTable[0][0], 13 * (MaxPhases + 1)};
};

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
  EXPECT_EQ(n, 7);
  EXPECT_EQ(InfoLines.count, 7);
  EXPECT_EQ(Lines(3, 7), quiet);

  for (auto& f : fp.QualityFlags) f = 1;
  fp.ParOnB = 1;
  n = 1;
  PrintFitSummary(n);
  EXPECT_EQ(n, 9);
  EXPECT_EQ(InfoLines.count, 9);
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
  EXPECT_EQ(n, InfoLineCapacity + 4);
  EXPECT_EQ(InfoLines.count, InfoLineCapacity);
  EXPECT_EQ(Lines(InfoLineCapacity - 1, InfoLineCapacity), (std::vector<std::string>{" ", fp.CompressionNote}));
}

TEST_F(FitSummaryTest, Stage4ModelOfEachMode) {
  const std::pair<int32_t, ModelFunction> plain[] = {{0, &RietveldModel}, {1, nullptr}, {2, &RietveldModel},
                                                     {3, &PeakFitModel}};
  for (auto [mode, model] : plain) {
    MainMode = mode;
    EXPECT_EQ(Stage4Model(), model) << mode;
  }
  MainMode = 3;
  for (uint8_t variant : {1, 2, 3}) {
    PairedPeakMode = variant;
    EXPECT_EQ(Stage4Model(), &PairedPeakFitModel) << int(variant);
  }
  FiveParameterFit = 1;
  EXPECT_EQ(Stage4Model(), &ExpGaussModel);
  MainMode = 0;
  EXPECT_EQ(Stage4Model(), &RietveldModel);  // the peak-fit switches do not reach the profile modes
}

// Three sub-points per channel of the working range (none beyond its last channel), each the
// stage-4 value of the mode's model.
TEST_F(FitSummaryTest, SamplingStaysInTheWorkingRangeAndUsesTheModeModel) {
  SetShape(2, ModelLorentz);
  LayOutPeaks({1}, {1000}, {250}, {4}, {10});
  std::vector<TModelSample> out;
  SampleFittedCurve(1, 1024, out);
  ASSERT_EQ(out.size(), 3u * 299 + 1);
  for (const TModelSample& p : out) {
    ASSERT_GE(p.x, 101);
    ASSERT_LE(p.x, 400);
  }
  EXPECT_EQ(out.front().x, 101);
  EXPECT_NEAR(out[1].x - out[0].x, 0.3333, 1e-12);
  EXPECT_EQ(out.back().x, 400);
  const TModelSample& top = out[3 * (250 - 101)];
  EXPECT_EQ(top.x, 250);
  EXPECT_NEAR(top.model, 10 + 1000 / Pi, 1e-9);
  EXPECT_EQ(top.background, 10);
  SampleFittedCurve(150, 160, out);
  EXPECT_EQ(out.size(), 33u);

  // Each mode's model: the samples equal a direct stage-4 call of that model, and differ from
  // the peak-fit model's.
  auto sampledBy = [&](ModelFn model) {
    SampleFittedCurve(240, 260, out);
    bool same = !out.empty(), differsFromPeakFit = false;
    for (const TModelSample& p : out) {
      same = same && p.model == ModelValue(model, p.x, true);
      differsFromPeakFit = differsFromPeakFit || p.model != ModelValue(&PeakFitModel, p.x, true);
    }
    return same && (model == &PeakFitModel || differsFromPeakFit);
  };
  EXPECT_TRUE(sampledBy(&PeakFitModel));
  PairedPeakMode = 2;
  SetRecords({800, 250, 3});  // one peak: amplitude, centre, width
  EXPECT_TRUE(sampledBy(&PairedPeakFitModel));
  FiveParameterFit = 1;
  SetRecords({12, 1000, 25, 3, 10});
  EXPECT_TRUE(sampledBy(&ExpGaussModel));
  MainMode = 0, PhaseCount = 1;
  std::vector<double> profile(20, 0.0);
  profile[0] = 21.13, profile[3] = 40, profile[4] = 7;  // flight path, background
  SetRecords(profile);
  EXPECT_TRUE(sampledBy(&RietveldModel));
  MainMode = 1;
  SampleFittedCurve(1, 1024, out);
  EXPECT_TRUE(out.empty());
}

TEST_F(FitSummaryTest, SamplingFollowsTheAbscissaeAndSkipsNonFinitePoints) {
  SetShape(2, ModelLorentz);
  NonEquidistantChannels = 1;
  for (int32_t ch = 1; ch <= 1024; ++ch) Sp(1).X[ch] = 0.5 * ch + 30;
  Sp(1).X[200] = std::numeric_limits<double>::quiet_NaN();
  LayOutPeaks({1}, {1000}, {155}, {2}, {10});
  std::vector<TModelSample> out;
  SampleFittedCurve(1, 1024, out);
  ASSERT_EQ(out.size(), 3u * 299 + 1 - 3);
  EXPECT_EQ(out.front().x, 80.5);
  EXPECT_NEAR(out[2].x, 80.5 + 0.6666, 1e-12);
  for (const TModelSample& p : out) ASSERT_TRUE(std::isfinite(p.model));
  const TModelSample& top = out[3 * (250 - 101) - 3];  // X = 155 at channel 250
  EXPECT_EQ(top.x, 155);
  EXPECT_NEAR(top.model, 10 + 1000 / Pi, 1e-9);
}

// Fr + i Fi = sqrt|I| exp(i angle(A + iB)) against numpy.angle in every quadrant; a
// centrosymmetric phase keeps the sign of A.
TEST_F(FitSummaryTest, FourierAmplitudeTakesThePhaseOfTheCalculatedFactor) {
  std::vector<std::vector<double>> rows;
  for (const Tokens& row : GoldenRows("peakfit_golden.txt", "crystal"))
    if (!row.empty() && row[0] == "fourier") {
      rows.emplace_back();
      for (size_t i = 1; i < row.size(); ++i) rows.back().push_back(std::stod(row[i]));
    }
  ASSERT_EQ(rows.size(), 12u);
  MainMode = 2, ParameterArrayMode = 2, PhaseCount = 2;
  PhaseTable[1].ReflectionCount = 12, PhaseTable[2].ReflectionCount = 3;
  PhaseTable[2].Centrosymmetric = 1;
  for (int32_t j = 1; j <= 12; ++j) {
    const auto& r = rows[j - 1];  // A B I Fr Fi
    HklTable[j][1].A = r[0], HklTable[j][1].B = r[1];
    parar[10 + 10 + j].value = r[2];
  }
  for (int32_t j = 1; j <= 12; ++j) {
    const auto& r = rows[j - 1];
    double fr = 9, fi = 9;
    FourierAmplitude(j, 1, fr, fi);
    EXPECT_NEAR(fr, r[3], 1e-14 * std::sqrt(std::fabs(r[2]))) << j;
    EXPECT_NEAR(fi, r[4], 1e-14 * std::sqrt(std::fabs(r[2]))) << j;
  }
  // Phase 2 follows the 22 records of phase 1.
  const double a[3] = {-2.5, 0.7, 0};
  for (int32_t j = 1; j <= 3; ++j) HklTable[j][2].A = a[j - 1], HklTable[j][2].B = 5, parar[32 + 10 + j].value = 16;
  for (int32_t j = 1; j <= 3; ++j) {
    double fr = 9, fi = 9;
    FourierAmplitude(j, 2, fr, fi);
    EXPECT_EQ(fr, j == 1 ? -4 : 4) << j;
    EXPECT_EQ(fi, 0);
  }
  // Indices outside the tables and a layout without intensities: 0 and 0.
  auto zero = [](int32_t j, int32_t k) {
    double fr = 9, fi = 9;
    FourierAmplitude(j, k, fr, fi);
    return fr == 0 && fi == 0;
  };
  EXPECT_TRUE(zero(0, 1) && zero(13, 1) && zero(4, 2) && zero(1, 3) && zero(1, 0) && zero(1, 7));
  EXPECT_FALSE(zero(1, 1));
  ParameterArrayMode = 0;
  EXPECT_TRUE(zero(1, 1));
  ParameterArrayMode = 2, MainMode = 0;
  EXPECT_TRUE(zero(1, 1));
}

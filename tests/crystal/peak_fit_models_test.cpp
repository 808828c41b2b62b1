// The peak-fit models: every analytic derivative against central differences through the model,
// the layout of the background and the peaks (F15), the deconvoluted width, the paired peaks, the
// exponential models against scipy, and the bad-input guards.
#include <gtest/gtest.h>
#include <cstdio>
#include <limits>
#include <numbers>
#include <ostream>
#include "crystal/peak_fit_models.h"
#include "crystal/profile_setup.h"
#include "support/temp_path.h"

namespace {
constexpr double Pi = std::numbers::pi;
constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

// ---- the derivative harness of the peak-fit family ----

struct PeakFitConfig {
  const char* name;
  ModelFn model = &PeakFitModel;
  int32_t shape = ModelLorentz;  // of the peaks: the analytic Lorentz or the table Gauss
  int32_t background = 0;        // 0 Legendre, 1 the table shape, 2 the two decays (TrevoAutoRun)
  int32_t widthMode = 0;         // 0 per model, -1 per peak
  bool deconvolution = false, m2 = false, nonEquidistant = false /* X[ch] = 0.5 ch + 30 */;
  int32_t expMode = 0;
};
void PrintTo(const PeakFitConfig& c, std::ostream* os) { *os << c.name; }

class PeakFitDerivatives : public PeakFitTest, public ::testing::WithParamInterface<PeakFitConfig> {};

TEST_P(PeakFitDerivatives, EveryRecordMatchesCentralDifferences) {
  const PeakFitConfig& c = GetParam();
  std::vector<double> points, sub;  // stage 1 and stage 4 between channels
  std::vector<int32_t> idle;        // records F does not read
  int32_t n = 0;
  if (c.model == &ExpGaussModel) {
    FiveParameterFit = 1, ExpFitMode = c.expMode;
    SetRecords({12, 1000, 25, 3, 10.4});
    n = 5;
    for (int32_t p = 12; p <= 200; p += 3) points.push_back(p);
    if (c.expMode == 0) idle = {5};  // the onset only gates mode 0
  } else if (c.model == &PairedPeakFitModel) {
    SetShape(2, ModelLorentz);
    PairedPeakMode = 1;
    MarkedPointCount = 3;  // pairs at c +- d_i, one peak at c: amplitudes, half distances, centre, widths
    SetRecords({300, 500, 800, 40, 90, 250, 6, 8, 5});
    n = 9;
    for (int32_t p = 1; p <= 300; p += 2) points.push_back(p);
    for (double x = 120.3; x < 380; x += 3.7) sub.push_back(x);
  } else {
    SetShape(1, ModelGauss), SetShape(2, c.shape), SetShape(3, c.shape);  // background, peak models 1, 2
    WidthMode = c.widthMode;
    BackgroundMode = c.background == 0 ? 0 : 1;
    TrevoAutoRun = c.background == 2;
    DeconvolutionMode = c.deconvolution, ResolutionWidth = 2.5, ConvolutionType = 0.35;
    M2Mode = c.m2, NonEquidistantChannels = c.nonEquidistant;
    const double k = c.nonEquidistant ? 0.5 : 1.0, off = c.nonEquidistant ? 30 : 0;  // abscissa = k ch + off
    for (int32_t ch = 1; ch <= 1024; ++ch) Sp(1).X[ch] = k * ch + off;
    const std::vector<double> bg[3] = {
        {20, 5, -3, 2, 1, -0.5}, {15, 200, 30, 250 * k + off, 120 * k, 10 * k}, {300, 150, 0, 120, 40000, 0}};
    const double w1 = c.widthMode == -1 || c.shape == ModelGauss ? 0 : 0.8 * k;
    n = LayOutPeaks({1, 2, 1}, {500, 800, 300}, {180 * k + off, 230 * k + off, 300 * k + off}, {6 * k, 9 * k, 4.5 * k},
                    bg[c.background], w1, 0.7, -0.4);
    for (int32_t p = 1; p <= 300; p += 3) points.push_back(p);
    for (double x = 150.37; x < 320 && !c.nonEquidistant; x += 4.91) sub.push_back(x);
    for (int32_t r = 1; r <= n; ++r)  // two decay records; unused widths of models 3..6 up to the M2 pair
      if ((c.background == 2 && (r == 3 || r == 6)) ||
          (c.widthMode == 0 && ((r >= 15 && r <= 18) || (r >= 21 && r <= 24) || (w1 == 0 && r >= 19 && r <= 20))))
        idle.push_back(r);
  }
  std::vector<int32_t> records;
  for (int32_t r = 1; r <= n; ++r) records.push_back(r);
  const std::vector<double> scale = ExpectDerivativesAgree(c.model, points, false, records, "stage 1");
  if (!sub.empty()) ExpectDerivativesAgree(c.model, sub, true, records, "stage 4");
  for (int32_t r = 1; r <= n; ++r) {  // every record F reads acts on it
    if (std::find(idle.begin(), idle.end(), r) == idle.end()) {
      EXPECT_GT(scale[r - 1], 0) << "record " << r;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Configurations, PeakFitDerivatives,
    ::testing::Values(
        PeakFitConfig{.name = "LorentzLegendrePerModel"},
        PeakFitConfig{.name = "LorentzPerPeakDeconvolutionM2", .widthMode = -1, .deconvolution = true, .m2 = true},
        PeakFitConfig{.name = "LorentzTwoDecaysDeconvolutionM2", .background = 2, .deconvolution = true, .m2 = true},
        PeakFitConfig{.name = "GaussTableBackgroundShapeM2", .shape = ModelGauss, .background = 1, .m2 = true},
        PeakFitConfig{.name = "LorentzNonEquidistantDeconvolution", .background = 1, .deconvolution = true,  //
                      .nonEquidistant = true},
        PeakFitConfig{.name = "PairedPeaks", .model = &PairedPeakFitModel},
        PeakFitConfig{.name = "ExpGaussErrorFunction", .model = &ExpGaussModel, .expMode = 0},
        PeakFitConfig{.name = "ExpGaussModified", .model = &ExpGaussModel, .expMode = 1}),
    [](const ::testing::TestParamInfo<PeakFitConfig>& p) { return std::string(p.param.name); });

// ---- PeakFitModel ----

class PeakFitModelTest : public PeakFitTest {
protected:
  void SetUp() override {
    PeakFitTest::SetUp();
    SetShape(2, ModelLorentz), SetShape(3, ModelLorentz);
  }
};

// The background is records 1..6 and the amplitudes start at record 7: with three peaks the
// background never multiplies an amplitude, and records 1..3 carry the background's terms.
TEST_F(PeakFitModelTest, BackgroundAndAmplitudesKeepApart) {
  LayOutPeaks({1, 1, 2}, {400, 900, 250}, {200, 260, 350}, {5, 7}, {10, 4, 0, 0, 0, 0});
  for (int32_t ch : {101, 200, 300, 400}) {
    const double u = (2.0 * ch - 501) / 299;
    ModelAt(&PeakFitModel, ch, true);
    EXPECT_DOUBLE_EQ(ModelOutput[0], 10 + 4 * u) << ch;
    EXPECT_EQ(std::vector<double>({Rec(1).Derivative, Rec(2).Derivative}), std::vector<double>({1, u}));
    EXPECT_DOUBLE_EQ(Rec(3).Derivative, 1.5 * u * u - 0.5);
    for (int32_t i = 1; i <= 3; ++i) {  // amplitude i's derivative is its peak's shape alone
      const double z = (ch - Rec(9 + i).value) / (i == 3 ? 7 : 5);
      EXPECT_DOUBLE_EQ(Rec(6 + i).Derivative, std::fabs(z) < 15 ? 1 / (Pi * (1 + z * z)) : 0) << i;
    }
  }
  const double f = ModelAt(&PeakFitModel, 251.5, true);
  EXPECT_NEAR(ModelOutput[0] + ModelOutput[2] + ModelOutput[3] + ModelOutput[4], f, 1e-12 * f);
  EXPECT_EQ(ModelOutput[1], f);
  // Beyond 15 half widths of every peak the amplitudes do not matter.
  const double far = ModelAt(&PeakFitModel, 101, true);
  Rec(7).value = Rec(8).value = Rec(9).value = 1e6;
  EXPECT_NEAR(ModelAt(&PeakFitModel, 101, true) - far, 0, 1e-12);
}

// Far peaks are passed over; the pass ends exactly at each shape's own cut (15 half widths, the
// table's half range): one rounding step inside it a peak still counts, one step beyond adds 0.
TEST_F(PeakFitModelTest, FarPeaksEndExactlyAtTheCut) {
  SetShape(2, ModelGauss);  // model 1 the Gauss table, model 2 the Lorentz
  LayOutPeaks({1, 2}, {400, 900}, {150, 250}, {5, 7}, {10});
  for (int32_t i : {1, 2}) {
    const TPeakModel& shape = *PeakModels[i + 1];
    const double w = i == 1 ? 5 : 7, cut = i == 1 ? shape.HalfWidth : 15, x = 500, keep = Rec(8 + i).value;
    for (double side : {-1.0, 1.0})
      for (double e : {-1e-9, -1e-12, -4e-16, 0.0, 4e-16, 1e-12, 1.5e-12, 1e-9}) {
        Rec(8 + i).value = x - side * cut * w * (1 + e);
        ModelAt(&PeakFitModel, x, true);
        const double z = (x - Rec(8 + i).value) / w;
        double f0 = 0, f1 = 0, f2 = 0;
        if (std::fabs(z) < cut) shape.PeakModelValue(f0, f1, f2, z);
        EXPECT_EQ(ModelOutput[1 + i], Rec(6 + i).value * f0) << i << " " << z;
        EXPECT_EQ(Rec(6 + i).Derivative, f0) << i << " " << z;
      }
    Rec(8 + i).value = keep;
  }
}

// Two overlapping peaks of the Lorentz (half width 4, reach 60 channels) and of a Pseudo-Voigt
// table (full width 10), counts from the model with a smooth distortion: swept along a position,
// W0 and W1, each step's change of chi^2 is the trapezoid of its analytic gradient within 1e-3 of
// the largest change (a step at the reach makes a channel crossing it change chi^2 by as much as a
// step), and chi^2 has one minimum.
TEST_F(PeakFitModelTest, Chi2AlongPositionAndWidthIsSmoothWithOneMinimum) {
  for (const int32_t model : {ModelLorentz, ModelPseudoVoigt}) {
    if (model == ModelPseudoVoigt) SetPseudoVoigtShape(2);
    const double w = model == ModelLorentz ? 4 : 10;
    LayOutPeaks({1, 1}, {3000, 1500}, {221.3, 262.8}, {w}, {20, 3}, 0.2);
    TSpectrum& sp = Sp(1);
    const int32_t n = sp.WorkLast - sp.WorkFirst + 1;
    for (int32_t point = 1; point <= n; ++point) {
      const int32_t ch = sp.WorkFirst + point - 1;
      sp.Y[ch] = ModelAt(&PeakFitModel, point) * (1 + 0.05 * std::sin(0.21 * point));
      sp.E[ch] = std::sqrt(sp.Y[ch]);
    }
    // Position 1, W0 and W1 of model 1 (2 peaks: records 9, 11, 17).
    for (const auto& [record, step] : {std::pair{9, 0.05}, {11, 4e-3 * w}, {17, 4e-3 * w}}) {
      const Chi2Sweep c = SweepChi2(&PeakFitModel, n, record, step);
      ASSERT_GT(c.scale, 0) << model << " record " << record;
      EXPECT_LT(c.worst, 1e-3 * c.scale) << model << " record " << record << " worst " << c.worst;
      EXPECT_EQ(c.minima, 1) << model << " record " << record;
    }
  }
}

// w' = eta (w + R) + (1 - eta) sqrt(w^2 + R^2), at least 0.1: the Lorentz half maximum lies at
// P +- w'; a width of 0 is held at 0.1 and has no derivative there.
TEST_F(PeakFitModelTest, DeconvolutedWidthPutsTheHalfMaximumWhereTheFormulaSays) {
  WidthMode = -1, DeconvolutionMode = 1, ResolutionWidth = 3;
  LayOutPeaks({2}, {1000}, {200}, {4}, {});
  for (auto [eta, w] : {std::pair{0.0, 5.0}, {1.0, 7.0}, {0.25, 5.5}}) {
    ConvolutionType = eta;
    EXPECT_NEAR(ModelAt(&PeakFitModel, 200, true), 1000 / Pi, 1e-9) << eta;
    EXPECT_NEAR(ModelAt(&PeakFitModel, 200 + w, true), 1000 / (2 * Pi), 1e-9) << eta;
    EXPECT_NEAR(ModelAt(&PeakFitModel, 200 - w, true), 1000 / (2 * Pi), 1e-9) << eta;
  }
  DeconvolutionMode = 0;
  Rec(9).value = 0;
  EXPECT_NEAR(ModelAt(&PeakFitModel, 200.1, true), 1000 / (2 * Pi), 1e-9);
  EXPECT_EQ(Rec(9).Derivative, 0);
}

// Stage 1 at a point is stage 4 at its channel; a one-channel working range has u = 0 (F19).
TEST_F(PeakFitModelTest, StagesAndOneChannelRange) {
  LayOutPeaks({1, 2}, {400, 900}, {150, 250}, {5, 7}, {10, 4, 1, 0, 0, 0}, 0.5);
  Sp(1).Y[230] = 17, Sp(1).E[230] = 4;
  double W = 0;
  const double f1 = ModelAt(&PeakFitModel, 130, false, &W);  // point 130 = channel 230
  EXPECT_EQ(W, 1.0 / 16);
  EXPECT_EQ(ModelAt(&PeakFitModel, 230, true), f1);
  Sp(1).WorkFirst = Sp(1).WorkLast = 250;
  EXPECT_NEAR(ModelAt(&PeakFitModel, 1), 10 - 0.5 + 900 / Pi, 1e-9);  // u = 0: P2(0) = -0.5
  EXPECT_EQ(Rec(2).Derivative, 0);
  EXPECT_EQ(Rec(6 + 4 + 6 + 2).Derivative, 0);  // W1 of model 2 multiplies u
}

TEST_F(PeakFitModelTest, BadInputIsRefusedWithoutReadingPastATable) {
  LayOutPeaks({1, 7, 2}, {400, 900, 300}, {150, 250, 350}, {5, 7}, {10});
  for (int32_t p = 1; p <= 50; ++p) ModelAt(&PeakFitModel, p * 5);
  ASSERT_EQ(ui.Messages(), std::vector<std::string>({"Error, peak model index 7 outside 1..6"}));  // once
  const double f = ModelAt(&PeakFitModel, 250, true);
  EXPECT_EQ(ModelOutput[3], 0);  // the refused peak adds nothing
  EXPECT_NEAR(f, 10 + ModelOutput[2] + ModelOutput[4], 1e-12);
  for (int32_t m : {0, 2, -3}) MarkedPointModels[2] = m, ModelAt(&PeakFitModel, 250, true);
  EXPECT_EQ(ui.Messages().size(), 2u);  // shown again only after a valid call
  MarkedPointModels[2] = 2;
  // Abscissae outside the channels take Y and W from the nearest end of the channel table.
  NonEquidistantChannels = 1;
  Sp(1).X[150] = 1e9, Sp(1).X[151] = -5, Sp(1).X[152] = NaN;
  Sp(1).Y[MaxChannels] = 77, Sp(1).Y[1] = 11;
  double Y = 0, W = 0, F = 0;
  PeakFitModel(Y, W, F, 50, 1);
  EXPECT_EQ(Y, 77);
  PeakFitModel(Y, W, F, 51, 1);
  EXPECT_EQ(Y, 11);
  PeakFitModel(Y, W, F, 52, 1);
  EXPECT_TRUE(std::isnan(F));
  NonEquidistantChannels = 0;
  // Non-finite records give a non-finite F.
  for (int32_t r : {1, 2, 7, 9, 10, 13, 14}) {
    const double keep = Rec(r).value;
    Rec(r).value = r == 7 || r == 9 ? HUGE_VAL : NaN;
    EXPECT_FALSE(std::isfinite(ModelAt(&PeakFitModel, 250, true))) << r;
    Rec(r).value = keep;
  }
  // Stage 4 outside the channels, a missing spectrum: nothing.
  for (double c : {0.0, 40000.0, NaN}) {
    double w = 1;
    const double g = ModelAt(&PeakFitModel, c, true, &w);
    EXPECT_EQ(std::vector<double>({g, w, ModelOutput[1]}), std::vector<double>(3, 0.0)) << c;
  }
  auto sp = std::move(SpectrumList[1]);
  EXPECT_EQ(ModelAt(&PeakFitModel, 250, true), 0);
  SpectrumList[1] = std::move(sp);
  // A layout that the records cannot hold.
  WidthMode = -1;
  MarkedPointCount = MarkedPointCapacity;
  EXPECT_TRUE(std::isnan(ModelAt(&PeakFitModel, 250, true)));
}

// Pairs about the centre are symmetric in x; n = 1 is one peak at the centre, n = 0 nothing.
// Weights 1 while iterating and 1/E^2 in the final pass.
TEST_F(PeakFitModelTest, PairedPeaksSymmetryAndWeights) {
  PairedPeakMode = 1;
  MarkedPointCount = 2;
  SetRecords({300, 800, 40, 250.5, 6, 5});
  for (double s : {0.0, 3.25, 40.0, 71.5})
    EXPECT_NEAR(ModelAt(&PairedPeakFitModel, 250.5 + s, true), ModelAt(&PairedPeakFitModel, 250.5 - s, true), 1e-12);
  MarkedPointCount = 1;
  SetRecords({800, 250, 5});
  EXPECT_NEAR(ModelAt(&PairedPeakFitModel, 255, true), 800 / (2 * Pi), 1e-9);
  EXPECT_EQ(ModelOutput[1], ModelOutput[2]);
  Sp(1).E[150] = 4, Sp(1).E[151] = 0;
  double Y = 0, W = 0, F = 0;
  const std::array<double, 3> expected = {1, 1.0 / 16, 0};
  for (int32_t k = 0; k < 3; ++k) {
    PairedPeakFitModel(Y, W, F, 50 + k / 2, k ? 3 : 1);
    EXPECT_EQ(W, expected[k]) << k;
  }
  MarkedPointCount = 0;
  EXPECT_EQ(ModelAt(&PairedPeakFitModel, 255, true), 0);
}

// ---- ExpGaussModel ----

// Mode 1 against A exp(-sigma^2/2tau^2 - t0/tau) scipy.stats.exponnorm.pdf, mode 0 against
// A sigma exp(-t/tau) scipy.special.erf(t/sigma); both sides are built from erf, erfc and exp, a
// few ulps apart.
TEST_F(PeakFitModelTest, ExpGaussMatchesScipy) {
  FiveParameterFit = 1;
  for (int32_t mode : {0, 1}) {
    ExpFitMode = mode;
    const auto rows = GoldenNumbers("peakfit_golden.txt", "expgauss" + std::to_string(mode));
    ASSERT_EQ(rows.size(), mode ? 24u : 18u);
    for (const auto& r : rows) {  // A tau sigma [t0] t F
      SetRecords({0, r[0], r[1], r[2], mode ? r[3] : 0});
      EXPECT_NEAR(ModelAt(&ExpGaussModel, r[3 + mode] + 1, true), r[4 + mode], 1e-12 * r[4 + mode])
          << mode << " " << r[3 + mode];
    }
  }
}

TEST_F(PeakFitModelTest, ExpGaussChannelOnsetAndGuards) {
  FiveParameterFit = 1, ExpFitMode = 1;
  SetRecords({12, 1000, 25, 3, 10});
  Sp(1).Y[114] = 5;
  // t = channel - 1 in every stage: point 14 is channel 114 of the working range 101..400;
  // stage 4 follows ModelChannel between channels.
  double Y = 0, W = 0, F = 0;
  ExpGaussModel(Y, W, F, 14, 1);
  EXPECT_EQ(Y, 5);
  EXPECT_EQ(ModelAt(&ExpGaussModel, 114, true), F);
  EXPECT_NE(ModelAt(&ExpGaussModel, 114.5, true), F);
  EXPECT_EQ(ModelOutput[1], ModelOutput[2]);  // the model value, for the drawing
  EXPECT_EQ(ModelOutput[0], 12);
  // Before the onset only the background.
  EXPECT_EQ(ModelAt(&ExpGaussModel, 10.5, true), 12);
  for (int32_t r = 1; r <= 5; ++r) EXPECT_EQ(Rec(r).Derivative, r == 1 ? 1 : 0);
  // A decay time or width of 0 and a non-finite record give a non-finite F.
  for (const auto& [r, v] : {std::pair{3, 0.0}, {4, 0.0}, {5, NaN}}) {
    Rec(r).value = v;
    EXPECT_TRUE(std::isnan(ModelAt(&ExpGaussModel, 30, true))) << r;
    Rec(r).value = 10;
  }
  ExpFitMode = 2;
  EXPECT_EQ(ModelAt(&ExpGaussModel, 30, true), 12);
  double w = 1;
  EXPECT_EQ(ModelAt(&ExpGaussModel, 0.5, true, &w), 0);
  EXPECT_EQ(w, 0);
}

}  // namespace

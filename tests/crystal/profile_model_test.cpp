// The profile model inside fits: the R-factor sums of the final pass against a sum over the
// model's own points and the chi^2 identity, whatever extra calls the engine makes (F9); the
// structure factors seen by numerical derivatives, drawings and the reflection caches (F8); the
// progress procedure on the scripted stop window; extinction only where record base+10 is no
// width (F17); record 1 as the wavelength of an angular spectrum (F18); and bad input.
#include <gtest/gtest.h>
#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <vector>
#include "core/dialog_toolkit.h"
#include "core/fit_reports.h"
#include "core/messages.h"
#include "core/number_format.h"
#include "core/settings_file.h"
#include "core/small_routines.h"
#include "crystal/profile_model.h"
#include "crystal/profile_setup.h"
#include "crystal/structure_factor.h"

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();

class ProfileModelTest : public ProfileTest {
protected:
  // Zinc oxide on a time-of-flight spectrum (Lorentz, law 0), the counts made by the model at
  // the layout's values with a smooth distortion, errors sqrt(counts); then a few records moved
  // off and left free: background, scale, W0, O's z, both B.
  void SetUpFit() {
    SetUpProfileSpectrum({});
    PhaseCount = 1;
    ASSERT_TRUE(SetUpZincOxide(1));
    ASSERT_GT(FormProfileReflections(1), 10);
    SetPhaseShape(1, ModelLorentz);
    LayOutProfileParameters();
    SetRecord(4, 40), SetRecord(5, 5), SetRecord(ScaleRecord(1), 3);
    TSpectrum& sp = CurrentProfileSpectrum();
    for (int32_t point = 1; point <= FitParameters->NPoints; ++point) {
      double y, w, f;
      RietveldModel(y, w, f, point, 1);
      const int32_t ch = sp.WorkFirst + point - 1;
      sp.Y[ch] = f * (1 + 0.03 * std::sin(0.37 * point));
      sp.E[ch] = std::sqrt(std::max(sp.Y[ch], 1.0));
    }
    FixAllRecords();
    const int32_t free[] = {4, 5, ScaleRecord(1), WidthRecord(1, 0), AtomRecord(1, 2, 4), AtomRecord(1, 1, 5),
                            AtomRecord(1, 2, 5)};
    for (int32_t i : free) FreeRecord(i);
    SetRecord(ScaleRecord(1), 2.9), SetRecord(WidthRecord(1, 0), 5.8), SetRecord(AtomRecord(1, 2, 4), 0.38);
    TParameter& fit = *FitParameters;
    fit.SetFitDefaults();
    fit.CompressedMatrix = 1;
    fit.GNIter = 3;
    fit.EpsReq = 1e-12, fit.FunctionalLimit = 0;
  }

  // The six sums over the points of the fit, each point's Y, W, F and background taken by a
  // drawing call at its channel.
  static std::array<double, 6> SumsOverPoints() {
    std::array<double, 6> s{};
    const TSpectrum& sp = CurrentProfileSpectrum();
    ModelSpectrum = CurrentSpectrum;
    for (int32_t point = 1; point <= FitParameters->NPoints; ++point) {
      ModelChannel = sp.WorkFirst + point - 1;
      double y, w, f;
      RietveldModel(y, w, f, 0, 4);
      const double bg = ModelOutput[0];
      s[0] += std::fabs(y - f), s[1] += std::fabs(y - bg), s[2] += w * (y - f) * (y - f);
      if (w != 0) s[3] += 1 / std::sqrt(w);
      s[4] += std::fabs(y), s[5] += w * y * y;
    }
    return s;
  }
  static std::array<double, 6> ModelSums() {
    const int32_t s = CurrentSpectrum;
    return {RFactorP[s], RFactorB[s], RFactorW[s], RFactorE[s], SumAbsObserved[s], SumWeightedObservedSquares[s]};
  }
  static void ExpectSums(const std::array<double, 6>& expected, const std::string& what) {
    const std::array<double, 6> got = ModelSums();
    const char* names[] = {"RFactorP",       "RFactorB",
                           "RFactorW",       "RFactorE",
                           "SumAbsObserved", "SumWeightedObservedSquares"};
    // The same terms summed in the same order.
    for (int32_t i = 0; i < 6; ++i)
      EXPECT_NEAR(got[i], expected[i], 1e-12 * std::fabs(expected[i])) << what << " " << names[i];
  }
};

TEST_F(ProfileModelTest, FinalPassSumsCountEachPointOnce) {
  SetUpFit();
  if (HasFatalFailure()) return;
  TParameter& fit = *FitParameters;
  fit.Fit(RietveldModel, NoProgress);
  ASSERT_EQ(fit.Status, 1);
  const std::array<double, 6> once = SumsOverPoints();
  ExpectSums(once, "analytic fit");
  // The weighted sum is the final pass's chi^2 (least squares, every weight from the model).
  EXPECT_NEAR(RFactorW[CurrentSpectrum], fit.ChiDf * fit.DegreesOfFreedom, 1e-10 * RFactorW[CurrentSpectrum]);
  EXPECT_GT(once[2], 0);

  // Numerical derivatives, the derivative check, a repeated fit and a text graph add nothing.
  struct Variant {
    const char* what;
    int32_t numDeriv;
    uint8_t check;
    int32_t fits;
  } variants[] = {{"numerical derivatives", 1, 0, 1}, {"derivative check", 0, 1, 1}, {"repeated fit", 0, 0, 2},
                  {"no iteration", 0, 0, 1}};
  for (const Variant& v : variants) {
    fit.NumDerivMode = v.numDeriv, fit.DerivativeCheck = v.check;
    fit.GNIter = std::string(v.what) == "no iteration" ? 0 : 2;
    for (int32_t k = 0; k < v.fits; ++k) fit.Fit(RietveldModel, NoProgress);
    ASSERT_EQ(fit.Status, 1) << v.what;
    const std::array<double, 6> expected = SumsOverPoints();
    ExpectSums(expected, v.what);
    EXPECT_NEAR(RFactorW[CurrentSpectrum], fit.ChiDf * fit.DegreesOfFreedom, 1e-10 * expected[2]) << v.what;
    double ymax = 0;
    PrintTextGraph(fit, RietveldModel, ymax);
    ExpectSums(expected, std::string(v.what) + " and a text graph");
  }
}

TEST_F(ProfileModelTest, NumericalDerivativesAndDrawingsSeeTheCurrentStructureFactors) {
  SetUpFit();
  if (HasFatalFailure()) return;
  TParameter& fit = *FitParameters;
  fit.NumDerivMode = 1;
  // The engine's forward differences at each point against the model's own atom columns, which
  // the wrapper keeps from the point's first call.
  const int32_t atoms[] = {AtomRecord(1, 2, 4), AtomRecord(1, 1, 5), AtomRecord(1, 2, 5)};
  std::vector<std::array<double, 3>> analytic, numerical;
  int32_t last = 0;
  std::array<double, 3> kept{};
  auto model = [&](double& y, double& w, double& f, int32_t point, int32_t stage) {
    const bool first = point != last;
    if (first && last != 0) {
      analytic.push_back(kept);
      numerical.push_back({fit.NumDeriv[atoms[0]], fit.NumDeriv[atoms[1]], fit.NumDeriv[atoms[2]]});
    }
    RietveldModel(y, w, f, point, stage);
    if (first) {
      for (int32_t i = 0; i < 3; ++i) kept[i] = fit.Records[atoms[i]].Derivative;
      last = point;
    }
  };
  fit.Fit(model, NoProgress);
  ASSERT_EQ(fit.Status, 1);
  ASSERT_GT(analytic.size(), 2000u);
  for (int32_t i = 0; i < 3; ++i) {
    double scale = 0;
    for (const auto& a : analytic) scale = std::max(scale, std::fabs(a[i]));
    ASSERT_GT(scale, 0);
    int32_t failures = 0;
    for (size_t k = 0; k < analytic.size(); ++k) {
      // Forward differences with the step value / 1024: a few per cent of the column at most.
      if (!(std::fabs(analytic[k][i] - numerical[k][i]) <= 0.03 * scale) && ++failures <= 3)
        ADD_FAILURE() << "record " << atoms[i] << " call " << k << ": " << analytic[k][i] << " against "
                      << numerical[k][i];
    }
  }
  // The reflection caches hold the structure factors of the final values.
  const int32_t b = PhaseBase(1);
  for (int32_t j = 1; j <= PhaseTable[1].ReflectionCount; ++j) {
    const THklRecord& r = HklTable[j][1];
    double q1, q2, A, B, q;
    HklInverseDSquared(b, 1, j, q1, q2);
    Q0 = std::max(1e-7, q1);
    CalcStructureFactor(1, 1, r.h, r.k, r.l, r.Multiplicity, b, A, B, q);
    EXPECT_NEAR(r.A, A, 1e-12 * std::max(1.0, std::fabs(A))) << j;
    EXPECT_NEAR(r.B, B, 1e-12 * std::max(1.0, std::fabs(B))) << j;
    EXPECT_EQ(r.q, q) << j;
  }
  // A drawing after the atoms changed sees them: O's B moved, the O-weighted reflections change;
  // back to the fitted value, the drawing is the fitted profile again.
  ModelSpectrum = CurrentSpectrum;
  auto draw = [](double channel) {
    ModelChannel = channel;
    double y, w, f;
    RietveldModel(y, w, f, 0, 4);
    return ModelOutput[2];
  };
  std::vector<double> before, moved, again;
  const TSpectrum& sp = CurrentProfileSpectrum();
  for (double ch = sp.WorkFirst; ch <= sp.WorkLast; ch += 0.3333) before.push_back(draw(ch));
  const double bO = RecValue(AtomRecord(1, 2, 5));
  SetRecord(AtomRecord(1, 2, 5), bO + 2);
  for (double ch = sp.WorkFirst; ch <= sp.WorkLast; ch += 0.3333) moved.push_back(draw(ch));
  SetRecord(AtomRecord(1, 2, 5), bO);
  for (double ch = sp.WorkFirst; ch <= sp.WorkLast; ch += 0.3333) again.push_back(draw(ch));
  double change = 0;
  for (size_t k = 0; k < before.size(); ++k) change = std::max(change, std::fabs(moved[k] - before[k]));
  EXPECT_GT(change, 1e-3 * *std::max_element(before.begin(), before.end()));
  EXPECT_EQ(before, again);
}

TEST_F(ProfileModelTest, ProgressLinesAndStopOnTheStopWindow) {
  SetUpFit();
  if (HasFatalFailure()) return;
  TParameter& fit = *FitParameters;
  fit.GNIter = 10;
  CurrentProfileSpectrum().Name = "/data/runs/a_very_long_spectrum_file_name_2024.dat";
  KeepValues<uint8_t> keepStop{&StopButtonOption, 1};
  StopButtonOption = 1;
  ShowStopWindow();
  ShowDialogModeless();
  int32_t checks = 0;
  ui.AtYield(1, [&] {
    std::string chi = FormatNumber(25, 2, fit.ChiDf);
    DeleteSpaces(chi);
    EXPECT_EQ(Form2.Label1.caption, " Iteration= 0     Chi2= " + chi);
    EXPECT_EQ(Form2.Label2.caption, "   Spec=...m_file_name_2024.dat");
    EXPECT_TRUE(Form2.Label1.visible && Form2.Label2.visible);
    EXPECT_EQ(std::vector<int32_t>({Form2.Label1.left, Form2.Label1.top, Form2.Label2.left, Form2.Label2.top}),
              std::vector<int32_t>({Scaled(15), Scaled(30), Scaled(50), Scaled(50)}));
    EXPECT_EQ(Form2.Label1.font.color, WhiteColor);
    EXPECT_EQ(Form2.Label2.font.color, YellowColor);
    EXPECT_EQ(Form2.Label2.color, TextBackgroundColor);
    EXPECT_EQ(DialogCaption, ModeNames[0]);
    // The stored metric follows the records (phase-record order h^2, k^2, l^2, hk, hl, kl).
    const int32_t b = PhaseBase(1);
    EXPECT_EQ(PhaseTable[1].Metric[3], RecValue(b + 7));
    EXPECT_EQ(PhaseTable[1].Metric[5], RecValue(b + 5));
    ++checks;
  });
  ui.StopAtYield(2);
  fit.Fit(RietveldModel, ShowFitProgress);
  EXPECT_EQ(checks, 1);
  EXPECT_EQ(fit.Iterations, 2);  // STOP during the second iteration ends the fit after it
  EXPECT_EQ(ui.YieldCount(), 3);  // two iterations and the final pass

  // Without the option the two lines go to the window's caption, without a pass of the window
  // system.
  StopButtonOption = 0;
  fit.GNIter = 1;
  CurrentProfileSpectrum().Name = "short.dat";
  fit.Fit(RietveldModel, ShowFitProgress);
  std::string chi = FormatNumber(25, 2, fit.ChiDf);
  DeleteSpaces(chi);
  EXPECT_EQ(Form2.caption, " Iteration= 1     Chi2= " + chi + "   Spec=short.dat");
  EXPECT_EQ(ui.YieldCount(), 3);
}

TEST_F(ProfileModelTest, ExtinctionOnlyWhereRecordTenIsNoWidth) {
  // Free against fixed record base+10 at the same value: the profile changes only where it is an
  // extinction coefficient (time of flight, laws 0..2).
  struct Case {
    int32_t axis, law;
    bool extinction;
  } cases[] = {{AxisTimeOfFlight, 0, true}, {AxisTimeOfFlight, 2, true}, {AxisTimeOfFlight, 3, false},
               {AxisAngular, 0, false}, {AxisAngular, 3, false}};
  for (const Case& c : cases) {
    SetUpProfileSpectrum({.axis = c.axis});
    PhaseCount = 1;
    ASSERT_TRUE(SetUpAluminium(1));
    ASSERT_GT(FormProfileReflections(1), 3);
    SetPhaseShape(1, ModelLorentz);
    WidthMode = c.law;
    LayOutProfileParameters();
    const int32_t r = PhaseBase(1) + 10;
    if (c.law >= 2) SetRecord(PhaseBase(1) + 8, 20), SetRecord(PhaseBase(1) + 9, 8);
    SetRecord(r, 0.05);
    auto profile = [] {
      std::vector<double> f;
      for (int32_t point = 1; point <= FitParameters->NPoints; point += 7) {
        double y, w, v;
        RietveldModel(y, w, v, point, 1);
        f.push_back(ModelOutput[2]);
      }
      return f;
    };
    FreeRecord(r);
    const std::vector<double> free = profile();
    FixRecord(r);
    const std::vector<double> fixed = profile();
    const std::string what = "axis " + std::to_string(c.axis) + " law " + std::to_string(c.law);
    if (!c.extinction) {
      EXPECT_EQ(free, fixed) << what;
      continue;
    }
    // Extinction only lowers intensities, by the factor (1 + 2 E X)^(-1/2).
    double lowered = 0;
    for (size_t k = 0; k < free.size(); ++k) {
      EXPECT_LE(free[k], fixed[k] * (1 + 1e-15)) << what;
      if (fixed[k] > 0) lowered = std::max(lowered, 1 - free[k] / fixed[k]);
    }
    EXPECT_GT(lowered, 0.01) << what;
  }
}

TEST_F(ProfileModelTest, RecordOneIsTheWavelengthOfAnAngularSpectrum) {
  for (int32_t axis : {AxisAngular, AxisTimeOfFlight}) {
    TSpectrum& sp = SetUpProfileSpectrum({.axis = axis});
    PhaseCount = 1;
    ASSERT_TRUE(SetUpAluminium(1));
    FormProfileReflections(1);
    LayOutProfileParameters();
    const double lambda = sp.Lambda, path = sp.FlightPath;
    SetRecord(1, 1.6);
    ParametersToSpectrum();
    EXPECT_EQ(sp.Lambda, axis == AxisAngular ? 1.6 : lambda);
    EXPECT_EQ(sp.FlightPath, axis == AxisAngular ? path : 1.6);
  }
}

TEST_F(ProfileModelTest, InverseDSquaredInBothFormsAndTheStoredMetric) {
  SetUpProfileSpectrum({});
  PhaseCount = 1;
  ASSERT_TRUE(SetUpZincOxide(1));
  ASSERT_GT(FormProfileReflections(1), 10);
  const double metric[6] = {PhaseTable[1].Metric[0], PhaseTable[1].Metric[1], PhaseTable[1].Metric[2],
                            PhaseTable[1].Metric[3], PhaseTable[1].Metric[4], PhaseTable[1].Metric[5]};
  for (bool reciprocal : {false, true}) {
    OptionFlags[10] = reciprocal;
    LayOutProfileParameters(reciprocal);
    for (int32_t j = 1; j <= PhaseTable[1].ReflectionCount; ++j) {
      double q1, q2;
      HklInverseDSquared(PhaseBase(1), 1, j, q1, q2);
      // Hexagonal: 1/d^2 = 4 (h^2 + hk + k^2) / 3a^2 + l^2 / c^2; the cell's angles pass through the
      // program's degree constant 57.29578, 1e-8 relative off.
      const THklRecord& r = HklTable[j][1];
      const double a = 3.2495, c = 5.2069;
      const double q = 4.0 * (r.h * r.h + r.h * r.k + r.k * r.k) / (3 * a * a) + r.l * r.l / (c * c);
      EXPECT_NEAR(q1, q, 1e-7 * q) << j;
      EXPECT_EQ(q1, q2);
    }
    // The metric from the records; the cell's cos 90 degrees is 1e-8, not 0, in the reciprocal form.
    std::fill(PhaseTable[1].Metric, PhaseTable[1].Metric + 6, 0.0);
    StoreCurrentMetric(1);
    for (int32_t i = 0; i < 6; ++i)
      EXPECT_NEAR(PhaseTable[1].Metric[i], metric[i], 1e-8) << "reciprocal " << reciprocal << " item " << i;
  }
  double q1 = 1, q2 = 1;
  HklInverseDSquared(PhaseBase(1), 1, MaxReflections + 1, q1, q2);
  EXPECT_EQ(q1 + q2, 0);
  // A peak fit's records are no metric: the phase keeps its own (the peak fits share the
  // progress procedure).
  MainMode = 3;
  SetRecord(PhaseBase(1) + 2, 7.0);
  StoreCurrentMetric(1);
  EXPECT_NE(PhaseTable[1].Metric[0], 7.0);
}

TEST_F(ProfileModelTest, BadInput) {
  TSpectrum& sp = SetUpProfileSpectrum({});
  PhaseCount = 1;
  ASSERT_TRUE(SetUpZincOxide(1));
  ASSERT_GT(FormProfileReflections(1), 10);
  SetPhaseShape(1, ModelLorentz);
  LayOutProfileParameters();
  for (int32_t j = 4; j <= 9; ++j) SetRecord(j, 10.0 * (j - 3));
  double y, w, f;

  // A one-channel working range: u = 0, so the linear background term drops out (F19).
  sp.WorkFirst = sp.WorkLast = 900;
  RietveldModel(y, w, f, 1, 1);
  EXPECT_TRUE(std::isfinite(f));
  EXPECT_EQ(Rec(5).Derivative, 0.0);
  EXPECT_EQ(Rec(6).Derivative, -0.5);
  sp.WorkFirst = 480, sp.WorkLast = 1600;

  // A zero error: weight 0.
  sp.E[500] = 0;
  RietveldModel(y, w, f, 500 - 480 + 1, 1);
  EXPECT_EQ(w, 0);
  EXPECT_GT(f, 0);

  // Drawing calls outside the spectra or the channels: nothing, and no table read outside.
  SpectrumList[2].reset();
  const double spectra[] = {7, -1, kNaN, 2, 1, 1, 1};
  const double channels[] = {900, 900, 900, 900, 0.5, 32769, kNaN};
  for (int32_t k = 0; k < 7; ++k) {
    std::fill(ModelOutput, ModelOutput + 10, 99.0);
    ModelSpectrum = spectra[k], ModelChannel = channels[k];
    y = w = f = 99;
    RietveldModel(y, w, f, 0, 4);
    EXPECT_EQ(std::vector<double>({y, w, f, ModelOutput[0], ModelOutput[1], ModelOutput[2]}),
              std::vector<double>(6, 0.0))
        << k;
  }
  ModelSpectrum = 1, ModelChannel = 900.5;
  RietveldModel(y, w, f, 0, 4);
  EXPECT_GT(f, 0);

  // Non-finite and far-off records: a non-finite F, never a conversion to an integer.
  const int32_t g1 = MetricRecord(1, 1), w0 = WidthRecord(1, 0);
  const double keepG1 = RecValue(g1), keepW0 = RecValue(w0);
  SetRecord(g1, kNaN);
  RietveldModel(y, w, f, 400, 1);
  EXPECT_TRUE(std::isnan(f));
  EXPECT_TRUE(std::isnan(ModelOutput[1]));
  SetRecord(g1, keepG1);
  SetRecord(w0, HUGE_VAL);
  RietveldModel(y, w, f, 400, 1);
  EXPECT_FALSE(std::isfinite(f));
  SetRecord(w0, keepW0);
  SetRecord(3, 1e300);  // every reflection far away: the background alone
  RietveldModel(y, w, f, 400, 1);
  EXPECT_EQ(f, ModelOutput[0]);
  SetRecord(3, 0);

  // Counts beyond the tables: read only up to them.
  PhaseTable[1].AtomCount = MaxAtoms + 50;
  PhaseTable[1].ReflectionCount = MaxReflections + 500;
  PhaseCount = MaxPhases + 3;
  RietveldModel(y, w, f, 400, 1);
  // Powder match with more intensity records than the engine holds: that phase is left out.
  PhaseCount = 1, MainMode = 2;
  PhaseTable[1].AtomCount = 2;
  PhaseTable[1].ReflectionCount = MaxReflections;
  RietveldModel(y, w, f, 400, 1);
  EXPECT_EQ(ModelOutput[2], 0);
  EXPECT_EQ(f, ModelOutput[0]);
}

}  // namespace

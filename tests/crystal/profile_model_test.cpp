// The profile model inside fits: the R-factor sums of the final pass against a sum over the
// model's own points and the chi^2 identity, whatever extra calls the engine makes (F9); the
// structure factors seen by numerical derivatives, drawings and the reflection caches (F8); the
// progress procedure on the scripted stop window; extinction only where record base+10 is no
// width (F17); record 1 as the wavelength of an angular spectrum (F18); and bad input (F19).
#include <gtest/gtest.h>
#include <limits>
#include "core/dialog_toolkit.h"
#include "core/fit_reports.h"
#include "core/messages.h"
#include "core/number_format.h"
#include "core/small_routines.h"
#include "crystal/profile_model.h"
#include "crystal/profile_setup.h"
#include "crystal/structure_factor.h"

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();

// ChiDf as the progress line shows it: FormatNumber(25, 2) without blanks.
std::string Chi2Text(double chi) {
  std::string s = FormatNumber(25, 2, chi);
  DeleteSpaces(s);
  return s;
}

class ProfileModelTest : public ProfileTest {
protected:
  // Zinc oxide or aluminium on a spectrum of the axis kind, the Lorentz shape, its list and layout.
  void SetUpPhaseOn(int32_t axis, bool zincOxide = true) {
    SetUpProfileSpectrum({.axis = axis});
    PhaseCount = 1;
    ASSERT_TRUE(zincOxide ? SetUpZincOxide(1) : SetUpAluminium(1));
    ASSERT_GT(FormProfileReflections(1), 3);
    SetShape(2, ModelLorentz);
    LayOutProfileParameters();
  }
  // Zinc oxide, the counts made by the model with a smooth distortion, errors sqrt(counts); then
  // background, scale, W0, O's z and both B free, some moved off.
  void SetUpFit() {
    SetUpPhaseOn(AxisTimeOfFlight);
    SetRecord(4, 40), SetRecord(5, 5), SetRecord(ScaleRecord(1), 3);
    TSpectrum& sp = CurrentProfileSpectrum();
    for (int32_t point = 1, ch = sp.WorkFirst; point <= FitParameters->NPoints; ++point, ++ch) {
      sp.Y[ch] = ModelAt(&RietveldModel, point) * (1 + 0.03 * std::sin(0.37 * point));
      sp.E[ch] = std::sqrt(std::max(sp.Y[ch], 1.0));
    }
    FixAllRecords();
    FreeRecords(
        {4, 5, ScaleRecord(1), WidthRecord(1, 0), AtomRecord(1, 2, 4), AtomRecord(1, 1, 5), AtomRecord(1, 2, 5)});
    SetRecord(ScaleRecord(1), 2.9), SetRecord(WidthRecord(1, 0), 5.8), SetRecord(AtomRecord(1, 2, 4), 0.38);
    TParameter& fit = *FitParameters;
    fit.SetFitDefaults();
    fit.CompressedMatrix = 1, fit.GNIter = 3, fit.EpsReq = 1e-12, fit.FunctionalLimit = 0;
  }
  // The six sums over the points, each point's Y, W, F and background taken by a drawing call,
  // against the model's: the same terms in the same order.
  static void ExpectSums(const std::string& what) {
    double e[6] = {};
    const TSpectrum& sp = CurrentProfileSpectrum();
    ModelSpectrum = CurrentSpectrum;
    for (int32_t point = 1; point <= FitParameters->NPoints; ++point) {
      double y, w, f;
      ModelChannel = sp.WorkFirst + point - 1;
      RietveldModel(y, w, f, 0, 4);
      e[0] += std::fabs(y - f), e[1] += std::fabs(y - ModelOutput[0]), e[2] += w * (y - f) * (y - f);
      e[3] += w != 0 ? 1 / std::sqrt(w) : 0.0, e[4] += std::fabs(y), e[5] += w * y * y;
    }
    const int32_t s = CurrentSpectrum;
    const double got[6] = {RFactorP[s], RFactorB[s],       RFactorW[s],
                           RFactorE[s], SumAbsObserved[s], SumWeightedObservedSquares[s]};
    for (int32_t i = 0; i < 6; ++i) EXPECT_NEAR(got[i], e[i], 1e-12 * std::fabs(e[i])) << what << " sum " << i;
    EXPECT_GT(e[2], 0);
    // The weighted sum is the final pass's chi^2 (least squares, every weight from the model).
    const TParameter& fit = *FitParameters;
    EXPECT_NEAR(RFactorW[s], fit.ChiDf * fit.DegreesOfFreedom, 1e-10 * e[2]) << what;
  }
};

// Numerical derivatives, the derivative check, a repeated fit, a fit without iterations and a
// text graph after each add nothing to the sums.
TEST_F(ProfileModelTest, FinalPassSumsCountEachPointOnce) {
  SetUpFit();
  TParameter& fit = *FitParameters;
  struct Variant {
    const char* what;
    int32_t numDeriv, check, fits, iterations;
  } variants[] = {{"analytic", 0, 0, 1, 3},         {"numerical derivatives", 1, 0, 1, 2},
                  {"derivative check", 0, 1, 1, 2}, {"repeated fit", 0, 0, 2, 2},
                  {"no iteration", 0, 0, 1, 0}};
  for (const Variant& v : variants) {
    fit.NumDerivMode = v.numDeriv, fit.DerivativeCheck = uint8_t(v.check), fit.GNIter = v.iterations;
    for (int32_t k = 0; k < v.fits; ++k) fit.Fit(RietveldModel, NoProgress);
    ASSERT_EQ(fit.Status, 1) << v.what;
    ExpectSums(v.what);
    double ymax = 0;
    PrintTextGraph(fit, RietveldModel, ymax);
    ExpectSums(std::string(v.what) + " and a text graph");
  }
}

TEST_F(ProfileModelTest, NumericalDerivativesAndDrawingsSeeTheCurrentStructureFactors) {
  SetUpFit();
  TParameter& fit = *FitParameters;
  fit.NumDerivMode = 1;
  // The engine's forward differences at each point against the model's own atom columns, kept
  // from the point's first call; the step value / 1024 allows a few per cent of the column.
  const int32_t atoms[] = {AtomRecord(1, 2, 4), AtomRecord(1, 1, 5), AtomRecord(1, 2, 5)};
  std::vector<std::array<double, 6>> calls;  // analytic and numerical, per point
  int32_t last = 0;
  std::array<double, 6> kept{};
  auto model = [&](double& y, double& w, double& f, int32_t point, int32_t stage) {
    if (point != last && last != 0) {
      for (int32_t i = 0; i < 3; ++i) kept[3 + i] = fit.NumDeriv[atoms[i]];
      calls.push_back(kept);
    }
    RietveldModel(y, w, f, point, stage);
    if (point != last)
      for (int32_t i = 0; i < 3; ++i) kept[i] = fit.Records[atoms[i]].Derivative;
    last = point;
  };
  fit.Fit(model, NoProgress);
  ASSERT_EQ(fit.Status, 1);
  ASSERT_GT(calls.size(), 2000u);
  for (int32_t i = 0; i < 3; ++i) {
    double scale = 0, worst = 0;
    for (const auto& c : calls)
      scale = std::max(scale, std::fabs(c[i])), worst = std::max(worst, std::fabs(c[i] - c[3 + i]));
    EXPECT_GT(scale, 0);
    EXPECT_LE(worst, 0.03 * scale) << "record " << atoms[i];
  }
  // The reflection caches hold the structure factors of the final values.
  for (int32_t j = 1; j <= PhaseTable[1].ReflectionCount; ++j) {
    const THklRecord& r = HklTable[j][1];
    double q1, q2, A, B, q;
    HklInverseDSquared(PhaseBase(1), 1, j, q1, q2);
    Q0 = std::max(1e-7, q1);
    CalcStructureFactor(1, 1, r.h, r.k, r.l, r.Multiplicity, PhaseBase(1), A, B, q);
    EXPECT_NEAR(r.A, A, 1e-12 * std::max(1.0, std::fabs(A))) << j;
    EXPECT_NEAR(r.B, B, 1e-12 * std::max(1.0, std::fabs(B))) << j;
    EXPECT_EQ(r.q, q) << j;
  }
  // A drawing after O's B moved sees it; back at the fitted value it is the fitted profile again.
  ModelSpectrum = CurrentSpectrum;
  auto draw = [] {
    std::vector<double> out;
    for (double ch = CurrentProfileSpectrum().WorkFirst; ch <= CurrentProfileSpectrum().WorkLast; ch += 0.3333)
      ModelAt(&RietveldModel, ch, true), out.push_back(ModelOutput[2]);
    return out;
  };
  const std::vector<double> before = draw();
  const double bO = RecValue(AtomRecord(1, 2, 5));
  SetRecord(AtomRecord(1, 2, 5), bO + 2);
  EXPECT_NE(draw(), before);
  SetRecord(AtomRecord(1, 2, 5), bO);
  EXPECT_EQ(draw(), before);
}

// Within a sweep the model checks and clears only the records that can move at a point: a free
// atom record moved between two points is seen at once, every point's derivatives start from
// zero, and a fixed atom record moved between sweeps is seen at the next sweep's first point.
TEST_F(ProfileModelTest, ASweepSeesWhatMovesBetweenItsPoints) {
  SetUpFit();
  TParameter& fit = *FitParameters;
  const int32_t moved = AtomRecord(1, 2, 4), fixed = AtomRecord(1, 1, 4), half = fit.NPoints / 2;
  const double start = RecValue(moved);
  auto call = [&](int32_t point, std::vector<double>& d) {
    double y, w, f;
    RietveldModel(y, w, f, point, 1);
    d.clear();
    for (int32_t i = 1; i <= fit.NPar; ++i) d.push_back(fit.Records[i].Derivative);
    d.push_back(f);
  };
  std::vector<std::vector<double>> sweep(fit.NPoints + 1);
  for (int32_t point = 1; point <= fit.NPoints; ++point) {
    if (point == half) SetRecord(moved, start + 0.01);
    call(point, sweep[point]);
  }
  std::vector<double> alone, other;
  for (int32_t point = 1; point <= fit.NPoints; point += 37) {
    SetRecord(moved, point < half ? start : start + 0.01);
    call(fit.NPoints, other);  // a later point first: the next call starts a sweep
    call(point, alone);
    ASSERT_EQ(alone.size(), sweep[point].size());
    for (size_t i = 0; i < alone.size(); ++i)
      EXPECT_NEAR(sweep[point][i], alone[i], 1e-12 * std::max(1.0, std::fabs(alone[i]))) << point << " " << i;
  }
  // A fixed coordinate moved between sweeps, or before the same point is asked again (the
  // engine's Hessian moves fixed records): the call sees it.
  call(fit.NPoints, other), call(1, other);
  SetRecord(fixed, RecValue(fixed) + 0.02);
  call(1, alone);
  EXPECT_NE(alone.back(), other.back());
  SetRecord(fixed, RecValue(fixed) + 0.02);
  call(fit.NPoints, other), call(1, other);
  EXPECT_NE(alone.back(), other.back());
}

// The derivative array the engine offers in an analytic sweep is wholly cleared at the sweep's
// first point only; after that each phase sets its own records and clears them where it stops
// reaching the points. Two phases of Gauss peaks come and go along the channels: every point's
// array equals, to the bit, the records of the same sweep made without the offer, and so does F.
// A tie makes the engine add into the array: then the result is the same as well.
TEST_F(ProfileModelTest, DerivativeArrayOfASweepEqualsTheRecords) {
  SetUpProfileSpectrum({.axis = AxisTimeOfFlight});
  PhaseCount = 2;
  ASSERT_TRUE(SetUpZincOxide(1));
  ASSERT_TRUE(SetUpAluminium(2));
  ASSERT_GT(FormProfileReflections(1), 3);
  ASSERT_GT(FormProfileReflections(2), 3);
  SetShape(2, ModelGauss), SetShape(3, ModelGauss);
  LayOutProfileParameters();
  FixAllRecords();
  FreeRecords({3, 4, 5, ScaleRecord(1), MetricRecord(1, 1), WidthRecord(1, 0), WidthRecord(1, 1), AtomRecord(1, 2, 4),
               AtomRecord(1, 1, 5), ScaleRecord(2), MetricRecord(2, 1), WidthRecord(2, 0), AtomRecord(2, 1, 5)});
  SetRecord(WidthRecord(1, 0), 2.5), SetRecord(WidthRecord(2, 0), 2.0);
  TParameter& fit = *FitParameters;
  auto sweep = [&](bool offered) {
    std::vector<std::vector<double>> out;
    int32_t reached[3] = {};
    for (int32_t point = 1; point <= fit.NPoints; ++point) {
      double y, w, f;
      fit.DerivativeArray = nullptr;
      fit.DerivativeArrayOffered = offered;
      RietveldModel(y, w, f, point, 1);
      fit.DerivativeArrayOffered = 0;
      const double* d = fit.DerivativeArray;
      if (offered) {
        EXPECT_NE(d, nullptr);
      }
      std::vector<double> row{f};
      for (int32_t i = 1; i <= fit.NPar; ++i) row.push_back(d ? d[i] : fit.Records[i].Derivative);
      // The engine's tie: the dependent's share folded into its master, in the array itself.
      if (d && !fit.NoDependents) fit.DerivativeArray[AtomRecord(1, 1, 5)] += 0.5 * d[AtomRecord(2, 1, 5)];
      for (int32_t p = 1; p <= 2; ++p) reached[p] += ModelOutput[1 + p] != 0;
      out.push_back(row);
    }
    fit.DerivativeArray = nullptr;
    // Both phases are missing from some points and present at others.
    for (int32_t p = 1; p <= 2; ++p) EXPECT_TRUE(reached[p] > 0 && reached[p] < fit.NPoints) << p << " " << reached[p];
    return out;
  };
  for (int32_t tied : {0, 1}) {
    SCOPED_TRACE(tied);
    fit.NoDependents = tied ? 0 : 1;
    const auto records = sweep(false), array = sweep(true);
    ASSERT_EQ(records.size(), array.size());
    for (size_t k = 0; k < records.size(); ++k) ASSERT_EQ(array[k], records[k]) << "point " << k + 1;
  }
  fit.NoDependents = 1;
}

// With every record fixed the model makes values only: the same F and phase parts, to the bit,
// as with the records free, and a fixed atom coordinate moved between two sweeps still moves F.
TEST_F(ProfileModelTest, EveryRecordFixedGivesTheSameValues) {
  SetUpFit();
  TParameter& fit = *FitParameters;
  auto sweep = [&] {
    std::vector<double> out;
    for (int32_t point = 1; point <= fit.NPoints; ++point) {
      double y, w, f;
      RietveldModel(y, w, f, point, 1);
      out.insert(out.end(), {f, ModelOutput[0], ModelOutput[2]});
    }
    return out;
  };
  const std::vector<double> free = sweep();
  for (int32_t i = 1; i <= fit.NPar; ++i) FixRecord(i);
  EXPECT_EQ(sweep(), free);
  const int32_t x = AtomRecord(1, 1, 2);
  SetRecord(x, RecValue(x) + 0.01);
  EXPECT_NE(sweep(), free);
}

TEST_F(ProfileModelTest, ProgressLinesAndStopOnTheStopWindow) {
  SetUpFit();
  TParameter& fit = *FitParameters;
  fit.GNIter = 10;
  CurrentProfileSpectrum().Name = "/data/runs/a_very_long_spectrum_file_name_2024.dat";
  KeepValues<uint8_t> keepStop{&StopButtonOption, 1};
  StopButtonOption = 1;
  ShowStopWindow();
  ShowDialogModeless();
  int32_t checks = 0;
  ui.AtYield(1, [&] {
    EXPECT_EQ(Form2.Label1.caption, " Iteration= 0     Chi2= " + Chi2Text(fit.ChiDf));
    EXPECT_EQ(Form2.Label2.caption, "   Spec=...m_file_name_2024.dat");
    EXPECT_TRUE(Form2.Label1.visible && Form2.Label2.visible);
    EXPECT_EQ(DialogCaption, ModeNames[0]);
    // The stored metric follows the records (phase-record order h^2, k^2, l^2, hk, hl, kl).
    EXPECT_EQ(PhaseTable[1].Metric[3], RecValue(PhaseBase(1) + 7));
    EXPECT_EQ(PhaseTable[1].Metric[5], RecValue(PhaseBase(1) + 5));
    ++checks;
  });
  ui.StopAtYield(2);
  fit.Fit(RietveldModel, ShowFitProgress);
  EXPECT_EQ(checks, 1);
  EXPECT_EQ(fit.Iterations, 2);   // STOP during the second iteration ends the fit after it
  EXPECT_EQ(ui.YieldCount(), 3);  // two iterations and the final pass
  // Without the option the two lines go to the window's caption, without a yield.
  StopButtonOption = 0;
  fit.GNIter = 1;
  CurrentProfileSpectrum().Name = "short.dat";
  fit.Fit(RietveldModel, ShowFitProgress);
  EXPECT_EQ(Form2.caption, " Iteration= 1     Chi2= " + Chi2Text(fit.ChiDf) + "   Spec=short.dat");
  EXPECT_EQ(ui.YieldCount(), 3);
}

// Free against fixed record base+10 at the same value: the profile changes only where it is an
// extinction coefficient (time of flight, laws 0..2), and then only lowers intensities.
TEST_F(ProfileModelTest, ExtinctionOnlyWhereRecordTenIsNoWidth) {
  const std::array<int32_t, 3> cases[] = {{AxisTimeOfFlight, 0, 1}, {AxisTimeOfFlight, 2, 1}, {AxisTimeOfFlight, 3, 0},
                                          {AxisAngular, 0, 0},      {AxisAngular, 3, 0}};
  for (const auto& [axis, law, extinction] : cases) {
    SCOPED_TRACE("axis " + std::to_string(axis) + " law " + std::to_string(law));
    WidthMode = law;
    SetUpPhaseOn(axis, false);
    const int32_t r = PhaseBase(1) + 10;
    if (law >= 2) SetRecord(PhaseBase(1) + 8, 20), SetRecord(PhaseBase(1) + 9, 8);
    SetRecord(r, 0.05);
    auto phase = [] {  // the phase's part of the profile
      std::vector<double> out;
      for (int32_t point = 1; point <= FitParameters->NPoints; point += 7)
        ModelAt(&RietveldModel, point), out.push_back(ModelOutput[2]);
      return out;
    };
    const std::vector<double> free = phase();
    FixRecord(r);
    const std::vector<double> fixed = phase();
    double lowered = 0, raised = 0;
    for (size_t k = 0; k < free.size(); ++k) {
      lowered = std::max(lowered, fixed[k] > 0 ? 1 - free[k] / fixed[k] : 0.0);
      raised = std::max(raised, free[k] - fixed[k] * (1 + 1e-15));
    }
    if (extinction) {
      EXPECT_TRUE(lowered > 0.01 && raised <= 0) << lowered << " " << raised;
    } else {
      EXPECT_EQ(free, fixed);
    }
  }
}

TEST_F(ProfileModelTest, RecordOneIsTheWavelengthOfAnAngularSpectrum) {
  for (int32_t axis : {AxisAngular, AxisTimeOfFlight}) {
    SetUpPhaseOn(axis, false);
    const TSpectrum& sp = CurrentProfileSpectrum();
    const double lambda = sp.Lambda, path = sp.FlightPath;
    SetRecord(1, 1.6);
    ParametersToSpectrum();
    EXPECT_EQ(sp.Lambda, axis == AxisAngular ? 1.6 : lambda);
    EXPECT_EQ(sp.FlightPath, axis == AxisAngular ? path : 1.6);
  }
}

TEST_F(ProfileModelTest, BadInput) {
  SetUpPhaseOn(AxisTimeOfFlight);
  TSpectrum& sp = CurrentProfileSpectrum();
  for (int32_t j = 4; j <= 9; ++j) SetRecord(j, 10.0 * (j - 3));
  // A one-channel working range: u = 0, so the linear background term drops out (F19).
  sp.WorkFirst = sp.WorkLast = 900;
  EXPECT_TRUE(std::isfinite(ModelAt(&RietveldModel, 1)));
  EXPECT_EQ(Rec(5).Derivative, 0.0);
  EXPECT_EQ(Rec(6).Derivative, -0.5);
  sp.WorkFirst = 480, sp.WorkLast = 1600;
  // Drawing calls outside the spectra or the channels: nothing, and no table read outside.
  SpectrumList[2].reset();
  const std::pair<double, double> outside[] = {{7, 900}, {-1, 900},  {kNaN, 900}, {2, 900},
                                               {1, 0.5}, {1, 32769}, {1, kNaN}};
  for (const auto& [s, c] : outside) {
    std::fill(ModelOutput, ModelOutput + 10, 99.0);
    ModelSpectrum = s, ModelChannel = c;
    double y = 99, w = 99, f = 99;
    RietveldModel(y, w, f, 0, 4);
    EXPECT_EQ(std::vector<double>({y, w, f, ModelOutput[0], ModelOutput[1], ModelOutput[2]}),
              std::vector<double>(6, 0.0))
        << s << " " << c;
  }
  ModelSpectrum = 1;
  EXPECT_GT(ModelAt(&RietveldModel, 900.5, true), 0);
  // Non-finite and far-off records: a non-finite F, never a conversion to an integer; every
  // reflection far away: the background alone.
  const std::pair<int32_t, double> bad[] = {{MetricRecord(1, 1), kNaN}, {WidthRecord(1, 0), HUGE_VAL}, {3, 1e300}};
  for (const auto& [r, v] : bad) {
    const double keep = RecValue(r);
    SetRecord(r, v);
    const double f = ModelAt(&RietveldModel, 400);
    if (r == 3) {
      EXPECT_EQ(f, ModelOutput[0]);
    } else {
      EXPECT_FALSE(std::isfinite(f) || std::isfinite(ModelOutput[1])) << r;
    }
    SetRecord(r, keep);
  }
  // A reflection beyond the table has no 1/d^2; a peak fit's records are no metric.
  double q1 = 1, q2 = 1;
  HklInverseDSquared(PhaseBase(1), 1, MaxReflections + 1, q1, q2);
  EXPECT_EQ(q1 + q2, 0);
  MainMode = 3;
  SetRecord(PhaseBase(1) + 2, 7.0);
  StoreCurrentMetric(1);
  EXPECT_NE(PhaseTable[1].Metric[0], 7.0);
  MainMode = 0;
  // Counts beyond the tables: read only up to them. Powder match with more intensity records
  // than the engine holds: that phase is left out.
  PhaseTable[1].AtomCount = MaxAtoms + 50, PhaseTable[1].ReflectionCount = MaxReflections + 500;
  PhaseCount = MaxPhases + 3;
  ModelAt(&RietveldModel, 400);
  PhaseCount = 1, MainMode = 2;
  PhaseTable[1].AtomCount = 2, PhaseTable[1].ReflectionCount = MaxReflections;
  EXPECT_EQ(ModelAt(&RietveldModel, 400), ModelOutput[0]);
  EXPECT_EQ(ModelOutput[2], 0);
}

}  // namespace

// Relations the profile model must keep whatever its internals: powder match with the structure
// intensities is Rietveld, two identical phases are one phase at twice the scale, the phase
// contributions add up, a drawing at a channel is the fit's point, the order of a reflection list
// and the form of 1/d^2 do not matter, law 1 is law 0 on time of flight; and a noiseless profile
// refined from a displaced start returns to the parameters that made it.
#include <gtest/gtest.h>
#include <algorithm>
#include <cmath>
#include <string>
#include <utility>
#include <vector>
#include "crystal/profile_model.h"
#include "crystal/profile_setup.h"
#include "crystal/structure_factor.h"

namespace {

// One sweep of the model over the working range: Y, W, F, the background and the phase
// contributions at every point.
struct Sweep {
  std::vector<double> y, w, f, bg;
  std::vector<std::array<double, MaxPhases>> phase;
};

Sweep RunModel() {
  Sweep s;
  const int32_t n = FitParameters->NPoints;
  for (int32_t point = 1; point <= n; ++point) {
    double y = 0, w = 0, f = 0;
    RietveldModel(y, w, f, point, 1);
    s.y.push_back(y), s.w.push_back(w), s.f.push_back(f), s.bg.push_back(ModelOutput[0]);
    std::array<double, MaxPhases> c{};
    for (int32_t p = 1; p <= MaxPhases; ++p) c[p - 1] = ModelOutput[1 + p];
    s.phase.push_back(c);
  }
  return s;
}

// b equals a within rel of a's largest value; the first differences are reported.
void ExpectSameProfile(const std::vector<double>& a, const std::vector<double>& b, double rel,
                       const std::string& what) {
  ASSERT_EQ(a.size(), b.size()) << what;
  double largest = 0;
  for (double v : a) largest = std::max(largest, std::fabs(v));
  ASSERT_GT(largest, 0) << what;
  int failures = 0;
  for (size_t i = 0; i < a.size(); ++i)
    if (!(std::fabs(a[i] - b[i]) <= rel * largest) && ++failures <= 5)
      ADD_FAILURE() << what << ", point " << i + 1 << ": " << b[i] << " against " << a[i];
}

// Rounding of sums of some hundred terms in another order: a few ulps of the largest value.
constexpr double Rounding = 1e-12;

class ProfileMetamorphic : public ProfileTest {
protected:
  // A spectrum of the axis kind with the phases named by letters (A aluminium, Z zinc oxide,
  // T a triclinic P-1 phase), Lorentz shapes, width law 0, every record at a typical value
  // and free except record base+10, which is fixed (no extinction).
  void SetUpCase(int32_t axis, const std::string& phases, int32_t mode = 0, bool reciprocalForm = false) {
    ProfileSpectrum s;
    if (axis == AxisAngular)
      s.axis = AxisAngular, s.lambda = 1.54, s.slope = 10, s.offset = -340, s.first = 50, s.last = 950;
    SetUpProfileSpectrum(s);
    PhaseCount = static_cast<int32_t>(phases.size());
    MainMode = mode;
    for (int32_t p = 1; p <= PhaseCount; ++p) {
      const char kind = phases[p - 1];
      const std::vector<TestAtom> triclinic = {IsoAtom(0.35, 0.1, 0.2, 0.3), IsoAtom(0.58, 0.37, 0.81, 0.55, 0.7)};
      const bool made = kind == 'A'   ? SetUpAluminium(p)
                        : kind == 'Z' ? SetUpZincOxide(p)
                                      : SetUpPhase(p, 2, 1, {5.1, 5.7, 6.3, 82, 97, 104}, triclinic);
      ASSERT_TRUE(made) << kind;
      ASSERT_GT(FormProfileReflections(p), 3) << kind;
      SetPhaseShape(p, ModelLorentz);
    }
    LayOutProfileParameters(reciprocalForm);
    const bool angular = axis == AxisAngular;
    SetRecord(2, angular ? 0.0 : 0.03);
    SetRecord(3, angular ? 0.05 : -2.0);
    const double background[6] = {120, -14, 6.5, -3, 1.2, -0.4};
    for (int32_t i = 0; i < 6; ++i) SetRecord(4 + i, background[i]);
    SetRecord(10, 0.2);
    for (int32_t p = 1; p <= PhaseCount; ++p) {
      const char kind = phases[p - 1];
      SetRecord(ScaleRecord(p), kind == 'A' ? 2e-3 : kind == 'Z' ? 0.15 : 0.05);
      SetRecord(WidthRecord(p, 0), 3.0 + 0.3 * p);
      SetRecord(WidthRecord(p, 1), 0.5);
      SetRecord(WidthRecord(p, 2), angular ? 0.3 : 0.0);
      FixRecord(WidthRecord(p, 2));
    }
  }
  // 1/d^2 of reflection j of phase p from its metric records.
  static double RecordQ(int32_t p, int32_t j) {
    const THklRecord& r = HklTable[j][p];
    const double h = r.h, k = r.k, l = r.l;
    const double m[6] = {h * h, k * k, l * l, k * l, h * l, h * k};
    double q = 0;
    for (int32_t i = 0; i < 6; ++i) q += RecValue(MetricRecord(p, i + 1)) * m[i];
    return q;
  }
};

TEST_F(ProfileMetamorphic, PowderMatchWithStructureIntensitiesIsRietveld) {
  for (int32_t axis : {AxisTimeOfFlight, AxisAngular}) {
    SCOPED_TRACE(axis);
    SetUpCase(axis, "AZ");
    const Sweep rietveld = RunModel();
    // The intensities at the records' own 1/d^2 and atoms, and the records that both layouts
    // share.
    std::vector<std::vector<double>> intensity(PhaseCount + 1);
    std::vector<std::array<double, 10>> phaseRecords(PhaseCount + 1);
    for (int32_t p = 1; p <= PhaseCount; ++p) {
      for (int32_t j = 1; j <= PhaseTable[p].ReflectionCount; ++j) {
        const THklRecord& r = HklTable[j][p];
        Q0 = std::max(1e-7, RecordQ(p, j));
        double a = 0, b = 0, q = 0;
        CalcStructureFactor(1, p, r.h, r.k, r.l, r.Multiplicity, PhaseBase(p), a, b, q);
        intensity[p].push_back((a * a + b * b) * q * q);
      }
      for (int32_t i = 0; i < 10; ++i) phaseRecords[p][i] = RecValue(PhaseBase(p) + 1 + i);
    }
    std::vector<double> global(11);
    for (int32_t i = 1; i <= 10; ++i) global[i] = RecValue(i);

    MainMode = 2;
    LayOutProfileParameters();
    for (int32_t i = 1; i <= 10; ++i) SetRecord(i, global[i]);
    for (int32_t p = 1; p <= PhaseCount; ++p) {
      for (int32_t i = 0; i < 10; ++i) SetRecord(PhaseBase(p) + 1 + i, phaseRecords[p][i]);
      FixRecord(WidthRecord(p, 2));
      for (size_t j = 0; j < intensity[p].size(); ++j) SetRecord(IntensityRecord(p, int32_t(j) + 1), intensity[p][j]);
    }
    const Sweep match = RunModel();
    ExpectSameProfile(rietveld.f, match.f, Rounding, "powder match");
  }
}

TEST_F(ProfileMetamorphic, TwoIdenticalPhasesAtScaleOneAreOnePhaseAtScaleTwo) {
  SetUpCase(AxisTimeOfFlight, "Z");
  SetRecord(ScaleRecord(1), 2.0);
  const Sweep one = RunModel();

  SetUpCase(AxisTimeOfFlight, "ZZ");
  for (int32_t p = 1; p <= 2; ++p) {
    SetRecord(ScaleRecord(p), 1.0);
    SetRecord(WidthRecord(p, 0), RecValue(WidthRecord(1, 0)));
  }
  ASSERT_EQ(PhaseTable[2].ReflectionCount, PhaseTable[1].ReflectionCount);
  const Sweep two = RunModel();
  ExpectSameProfile(one.f, two.f, Rounding, "two phases");
  std::vector<double> half(one.f.size()), second(one.f.size());
  for (size_t i = 0; i < one.f.size(); ++i) half[i] = 0.5 * one.phase[i][0], second[i] = two.phase[i][1];
  ExpectSameProfile(half, second, Rounding, "contribution of the second phase");
}

TEST_F(ProfileMetamorphic, PhaseContributionsAddUpToProfileMinusBackground) {
  for (int32_t axis : {AxisTimeOfFlight, AxisAngular}) {
    SCOPED_TRACE(axis);
    SetUpCase(axis, "AZA");
    // A phase without reflections contributes nothing and gets no scale derivative.
    PhaseTable[3].ReflectionCount = 0;  // the Rietveld layout does not depend on it
    const int32_t n = FitParameters->NPoints;
    int failures = 0;
    for (int32_t point = 1; point <= n; ++point) {
      double y = 0, w = 0, f = 0;
      RietveldModel(y, w, f, point, 1);
      const double sum = ModelOutput[2] + ModelOutput[3] + ModelOutput[4];
      const bool ok = ModelOutput[1] == f && std::fabs(sum - (f - ModelOutput[0])) <= Rounding * std::fabs(f) &&
                      ModelOutput[4] == 0 && Rec(ScaleRecord(3)).Derivative == 0;
      if (!ok && ++failures <= 5)
        ADD_FAILURE() << "point " << point << ": F " << f << " background " << ModelOutput[0] << " phases "
                      << ModelOutput[2] << " " << ModelOutput[3] << " " << ModelOutput[4];
    }
  }
}

TEST_F(ProfileMetamorphic, DrawingAtAChannelIsTheFitPoint) {
  for (int32_t axis : {AxisTimeOfFlight, AxisAngular}) {
    SCOPED_TRACE(axis);
    SetUpCase(axis, "AZ");
    TSpectrum& sp = CurrentProfileSpectrum();
    for (int32_t c = sp.WorkFirst; c <= sp.WorkLast; ++c) {
      sp.Y[c] = 100 + c % 7;
      sp.E[c] = c % 97 == 0 ? 0.0 : std::sqrt(sp.Y[c]);
    }
    const Sweep fit = RunModel();
    ModelSpectrum = CurrentSpectrum;
    int failures = 0;
    for (int32_t c = sp.WorkFirst; c <= sp.WorkLast; ++c) {
      const size_t i = size_t(c - sp.WorkFirst);
      double y = 0, w = 0, f = 0;
      ModelChannel = c;
      RietveldModel(y, w, f, 1, 4);
      const double expectedW = sp.E[c] == 0 ? 0.0 : 1 / (sp.E[c] * sp.E[c]);
      bool ok = std::fabs(f - fit.f[i]) <= 1e-14 * std::fabs(fit.f[i]) && y == fit.y[i] && w == fit.w[i] &&
                fit.y[i] == sp.Y[c] && std::fabs(fit.w[i] - expectedW) <= 1e-15 * expectedW &&
                std::fabs(ModelOutput[0] - fit.bg[i]) <= 1e-14 * std::fabs(fit.bg[i]);
      // Between channels Y and W are those of the truncated channel.
      ModelChannel = c + 0.6;
      RietveldModel(y, w, f, 1, 4);
      ok = ok && y == fit.y[i] && w == fit.w[i] && std::isfinite(f);
      if (!ok && ++failures <= 5) ADD_FAILURE() << "channel " << c << ": F " << f << " against " << fit.f[i];
    }
  }
}

TEST_F(ProfileMetamorphic, ReflectionOrderDoesNotMatter) {
  for (int32_t axis : {AxisTimeOfFlight, AxisAngular}) {
    SCOPED_TRACE(axis);
    SetUpCase(axis, "ZA");
    const Sweep sorted = RunModel();
    for (int32_t p = 1; p <= PhaseCount; ++p) {
      const int32_t n = PhaseTable[p].ReflectionCount;
      for (int32_t j = 1; j <= n / 2; ++j) std::swap(HklTable[j][p], HklTable[n + 1 - j][p]);
    }
    ExpectSameProfile(sorted.f, RunModel().f, Rounding, "reversed lists");
  }
}

TEST_F(ProfileMetamorphic, ReciprocalCellFormGivesTheMetricProfile) {
  for (int32_t axis : {AxisTimeOfFlight, AxisAngular}) {
    SCOPED_TRACE(axis);
    SetUpCase(axis, "TZ", 0, true);
    OptionFlags[10] = 1;
    const Sweep reciprocal = RunModel();
    // The metric records of the same cell: G1..G3 = a*^2, b*^2, c*^2, G4 = 2 b* c* cos alpha*,
    // G5 = 2 a* c* cos beta*, G6 = 2 a* b* cos gamma*.
    for (int32_t p = 1; p <= PhaseCount; ++p) {
      double r[6];
      for (int32_t i = 0; i < 6; ++i) r[i] = RecValue(MetricRecord(p, i + 1));
      const double g[6] = {r[0] * r[0], r[1] * r[1], r[2] * r[2], 2 * r[1] * r[2] * r[3], 2 * r[0] * r[2] * r[4],
                           2 * r[0] * r[1] * r[5]};
      for (int32_t i = 0; i < 6; ++i) SetRecord(MetricRecord(p, i + 1), g[i]);
    }
    OptionFlags[10] = 0;
    const Sweep metric = RunModel();
    // 1/d^2 rounds differently in the two forms: positions move by some 1e-13 channels.
    ExpectSameProfile(metric.f, reciprocal.f, 1e-11, "reciprocal-cell form");
  }
}

TEST_F(ProfileMetamorphic, TimeOfFlightLawOneIsLawZero) {
  SetUpCase(AxisTimeOfFlight, "AZ");
  for (int32_t p = 1; p <= PhaseCount; ++p) SetRecord(WidthRecord(p, 2), 0.7), SetRecord(WidthRecord(p, 1), 1.3);
  WidthMode = 0;
  const Sweep law0 = RunModel();
  WidthMode = 1;
  ExpectSameProfile(law0.f, RunModel().f, 1e-15, "law 1");
}

// ---- refinement of a noiseless profile ----

class ProfileRefinement : public ProfileMetamorphic {
protected:
  // Y := the model at the current records, E := sqrt(max(1, Y)); returns the records' values.
  std::vector<double> MakeData() {
    TSpectrum& sp = CurrentProfileSpectrum();
    const Sweep truth = RunModel();
    for (size_t i = 0; i < truth.f.size(); ++i) {
      const int32_t c = sp.WorkFirst + int32_t(i);
      sp.Y[c] = truth.f[i];
      sp.E[c] = std::sqrt(std::max(1.0, truth.f[i]));
    }
    std::vector<double> values(FitParameters->NPar + 1);
    for (int32_t i = 1; i <= FitParameters->NPar; ++i) values[i] = RecValue(i);
    return values;
  }
  // The records listed moved by their relative step, or by their absolute shift (the tied ones
  // follow their master); then the fit.
  void DisplaceAndFit(const std::vector<std::pair<int32_t, double>>& relative,
                      const std::vector<std::pair<int32_t, double>>& shift) {
    for (const auto& [i, f] : relative) SetRecord(i, RecValue(i) * (1 + f));
    for (const auto& [i, f] : shift) SetRecord(i, RecValue(i) + f);
    TParameter& fit = *FitParameters;
    fit.CompressedMatrix = 1;
    fit.GNIter = 40;
    fit.EpsReq = 1e-10;
    fit.Step = 1;
    fit.Damp = 1e-6;
    fit.Skip = 1;
    fit.Fit(RietveldModel, NoProgress);
    EXPECT_EQ(fit.Status, 1);
    EXPECT_NE(fit.MatInv, 0);
  }
  // Every free and tied record back to its value within 1e-6 relative.
  static void ExpectBack(const std::vector<double>& truth) {
    for (int32_t i = 1; i <= FitParameters->NPar; ++i) {
      const ParameterRecord& r = Rec(i);
      if (r.lower == r.upper && r.n == i) continue;
      EXPECT_NEAR(r.value, truth[i], 1e-6 * std::fabs(truth[i])) << "record " << i << " " << r.Name;
    }
  }
};

TEST_F(ProfileRefinement, TimeOfFlightProfileRefinesBackToItsParameters) {
  SetUpCase(AxisTimeOfFlight, "AZ");
  SetPhaseShape(1, ModelGauss), SetPhaseShape(2, ModelGauss);
  for (int32_t p = 1; p <= 2; ++p) SetRecord(WidthRecord(p, 0), 6.0 + p), SetRecord(WidthRecord(p, 1), 0.8);
  FixAllRecords();
  FreeRecords({3, 4, 5, 6, 7, 10});
  for (int32_t p = 1; p <= 2; ++p)
    FreeRecords({ScaleRecord(p), MetricRecord(p, 1), WidthRecord(p, 0), WidthRecord(p, 1)});
  // Aluminium: one cubic edge; extinction (record base+10 free, law 0); B of Al.
  TieRecord(MetricRecord(1, 2), MetricRecord(1, 1)), TieRecord(MetricRecord(1, 3), MetricRecord(1, 1));
  SetRecord(WidthRecord(1, 2), 1.2e-6), FreeRecord(WidthRecord(1, 2));
  FreeRecord(AtomRecord(1, 1, 5));
  // Zinc oxide: a and c (the hk term is a*^2), z of O and both B.
  TieRecord(MetricRecord(2, 2), MetricRecord(2, 1)), TieRecord(MetricRecord(2, 6), MetricRecord(2, 1));
  FreeRecords({MetricRecord(2, 3), AtomRecord(2, 1, 5), AtomRecord(2, 2, 4), AtomRecord(2, 2, 5)});
  const std::vector<double> truth = MakeData();

  DisplaceAndFit({{4, 0.05}, {5, 0.1}, {6, -0.1}, {7, 0.1}, {ScaleRecord(1), 0.05}, {ScaleRecord(2), -0.04},
                  {MetricRecord(1, 1), 3e-4}, {MetricRecord(2, 1), -2e-4}, {MetricRecord(2, 3), 3e-4},
                  {WidthRecord(1, 0), 0.08}, {WidthRecord(2, 0), -0.06}, {WidthRecord(1, 1), 0.2},
                  {WidthRecord(2, 1), -0.2}, {WidthRecord(1, 2), 0.3}, {AtomRecord(1, 1, 5), 0.15},
                  {AtomRecord(2, 1, 5), -0.15}, {AtomRecord(2, 2, 5), 0.2}},
                 {{3, 0.6}, {10, 0.05}, {AtomRecord(2, 2, 4), 0.004}});
  ExpectBack(truth);
}

TEST_F(ProfileRefinement, AngularProfileRefinesBackToItsParameters) {
  SetUpCase(AxisAngular, "AZ");
  FixAllRecords();
  FreeRecords({3, 4, 5, 6, 10});
  for (int32_t p = 1; p <= 2; ++p)
    FreeRecords({ScaleRecord(p), MetricRecord(p, 1), WidthRecord(p, 0), WidthRecord(p, 1), WidthRecord(p, 2)});
  TieRecord(MetricRecord(1, 2), MetricRecord(1, 1)), TieRecord(MetricRecord(1, 3), MetricRecord(1, 1));
  TieRecord(MetricRecord(2, 2), MetricRecord(2, 1)), TieRecord(MetricRecord(2, 6), MetricRecord(2, 1));
  FreeRecords({AtomRecord(1, 1, 5), MetricRecord(2, 3), AtomRecord(2, 1, 5), AtomRecord(2, 2, 4), AtomRecord(2, 2, 5)});
  const std::vector<double> truth = MakeData();

  DisplaceAndFit({{4, 0.05}, {5, 0.1}, {6, -0.1}, {ScaleRecord(1), 0.05}, {ScaleRecord(2), -0.04},
                  {MetricRecord(1, 1), 5e-4}, {MetricRecord(2, 1), -4e-4}, {MetricRecord(2, 3), 4e-4},
                  {WidthRecord(1, 0), 0.08}, {WidthRecord(2, 0), -0.06}, {WidthRecord(1, 1), 0.2},
                  {WidthRecord(2, 1), -0.2}, {WidthRecord(1, 2), 0.2}, {WidthRecord(2, 2), -0.2},
                  {AtomRecord(1, 1, 5), 0.15}, {AtomRecord(2, 1, 5), -0.15}, {AtomRecord(2, 2, 5), 0.2}},
                 {{3, 0.04}, {10, 0.05}, {AtomRecord(2, 2, 4), 0.004}});
  ExpectBack(truth);
}

}  // namespace

// Relations the profile model must keep whatever its internals: powder match with the structure
// intensities is Rietveld, two identical phases are one phase at twice the scale, the phase
// contributions add up, a drawing at a channel is the fit's point, the order of a reflection list
// and the form of 1/d^2 do not matter, law 1 is law 0 on time of flight; and a noiseless profile
// refined from a displaced start returns to the parameters that made it.
#include <gtest/gtest.h>
#include <utility>
#include "crystal/profile_model.h"
#include "crystal/profile_setup.h"
#include "crystal/structure_factor.h"

namespace {

// One sweep of the model over the working range: Y, W, F, the background and the phases' parts.
struct Sweep {
  std::vector<double> y, w, f, bg;
  std::vector<std::array<double, MaxPhases + 2>> out;  // ModelOutput
};

Sweep RunModel() {
  Sweep s;
  for (int32_t point = 1; point <= FitParameters->NPoints; ++point) {
    double y = 0, w = 0, f = 0;
    RietveldModel(y, w, f, point, 1);
    s.y.push_back(y), s.w.push_back(w), s.f.push_back(f), s.bg.push_back(ModelOutput[0]);
    s.out.emplace_back();
    std::copy(ModelOutput, ModelOutput + MaxPhases + 2, s.out.back().begin());
  }
  return s;
}

// b equals a within rel of a's largest value.
void ExpectSameProfile(const std::vector<double>& a, const std::vector<double>& b, double rel,
                       const std::string& what) {
  ASSERT_EQ(a.size(), b.size()) << what;
  double largest = 0, worst = 0;
  for (size_t i = 0; i < a.size(); ++i)
    largest = std::max(largest, std::fabs(a[i])), worst = std::max(worst, std::fabs(a[i] - b[i]));
  EXPECT_GT(largest, 0) << what;
  EXPECT_LE(worst, rel * largest) << what;
}

// Rounding of sums of some hundred terms in another order: a few ulps of the largest value.
constexpr double Rounding = 1e-12;

class ProfileMetamorphic : public ProfileTest {
protected:
  // A spectrum of the axis kind with the phases named by letters (A aluminium, Z zinc oxide,
  // T a triclinic P-1 phase), Lorentz shapes, width law 0, every record at a typical value and
  // free except record base+10, which is fixed (no extinction).
  void SetUpCase(int32_t axis, const std::string& phases, bool reciprocalForm = false) {
    const bool angular = axis == AxisAngular;
    SetUpProfileSpectrum(angular ? ProfileSpectrum{.axis = axis, .first = 50, .last = 950, .slope = 10, .offset = -340}
                                 : ProfileSpectrum{});
    PhaseCount = static_cast<int32_t>(phases.size());
    MainMode = 0;
    for (int32_t p = 1; p <= PhaseCount; ++p) {
      const char kind = phases[p - 1];
      const std::vector<TestAtom> triclinic = {IsoAtom(0.35, 0.1, 0.2, 0.3), IsoAtom(0.58, 0.37, 0.81, 0.55, 0.7)};
      const bool made = kind == 'A'   ? SetUpAluminium(p)
                        : kind == 'Z' ? SetUpZincOxide(p)
                                      : SetUpPhase(p, 2, 1, {5.1, 5.7, 6.3, 82, 97, 104}, triclinic);
      ASSERT_TRUE(made && FormProfileReflections(p) > 3) << kind;
      SetShape(p + 1, ModelLorentz);
    }
    LayOutProfileParameters(reciprocalForm);
    const double global[9] = {angular ? 0.0 : 0.03, angular ? 0.05 : -2.0, 120, -14, 6.5, -3, 1.2, -0.4, 0.2};
    for (int32_t i = 0; i < 9; ++i) SetRecord(2 + i, global[i]);
    for (int32_t p = 1; p <= PhaseCount; ++p) {
      SetRecord(ScaleRecord(p), phases[p - 1] == 'A' ? 2e-3 : phases[p - 1] == 'Z' ? 0.15 : 0.05);
      SetRecord(WidthRecord(p, 0), 3.0 + 0.3 * p), SetRecord(WidthRecord(p, 1), 0.5);
      SetRecord(WidthRecord(p, 2), angular ? 0.3 : 0.0), FixRecord(WidthRecord(p, 2));
    }
  }
};

TEST_F(ProfileMetamorphic, RelationsOnBothAxes) {
  for (int32_t axis : {AxisTimeOfFlight, AxisAngular}) {
    SCOPED_TRACE(axis);
    // Powder match with each intensity record := (A^2 + B^2) q^2 at the records' own 1/d^2 and
    // atoms gives the Rietveld profile; the other records are shared by both layouts.
    SetUpCase(axis, "AZ");
    const Sweep rietveld = RunModel();
    std::vector<double> shared, intensity[3];  // records 1..10 and the first ten of each phase
    for (int32_t p = 0; p <= PhaseCount; ++p)
      for (int32_t i = 1; i <= 10; ++i) shared.push_back(RecValue((p ? PhaseBase(p) : 0) + i));
    for (int32_t p = 1; p <= PhaseCount; ++p)
      for (const THklRecord& r : PhaseReflections(p)) {
        const double m[6] = {1.0 * r.h * r.h, 1.0 * r.k * r.k, 1.0 * r.l * r.l,
                             1.0 * r.k * r.l, 1.0 * r.h * r.l, 1.0 * r.h * r.k};
        Q0 = 0;
        for (int32_t i = 0; i < 6; ++i) Q0 += RecValue(MetricRecord(p, i + 1)) * m[i];
        Q0 = std::max(1e-7, Q0);
        double a = 0, b = 0, q = 0;
        CalcStructureFactor(1, p, r.h, r.k, r.l, r.Multiplicity, PhaseBase(p), a, b, q);
        intensity[p].push_back((a * a + b * b) * q * q);
      }
    MainMode = 2;
    LayOutProfileParameters();
    for (int32_t p = 0; p <= PhaseCount; ++p)
      for (int32_t i = 1; i <= 10; ++i) SetRecord((p ? PhaseBase(p) : 0) + i, shared[10 * p + i - 1]);
    for (int32_t p = 1; p <= PhaseCount; ++p) {
      FixRecord(WidthRecord(p, 2));
      for (size_t j = 0; j < intensity[p].size(); ++j) SetRecord(IntensityRecord(p, int32_t(j) + 1), intensity[p][j]);
    }
    ExpectSameProfile(rietveld.f, RunModel().f, Rounding, "powder match");

    // The phases' parts add up to F minus the background; a phase without reflections adds
    // nothing and has no scale derivative.
    SetUpCase(axis, "AZA");
    PhaseTable[3].ReflectionCount = 0;  // the Rietveld layout does not depend on it
    int failures = 0;
    for (int32_t point = 1; point <= FitParameters->NPoints; ++point) {
      const double f = ModelAt(&RietveldModel, point);
      const double sum = ModelOutput[2] + ModelOutput[3] + ModelOutput[4];
      const bool ok = ModelOutput[1] == f && std::fabs(sum - (f - ModelOutput[0])) <= Rounding * std::fabs(f) &&
                      ModelOutput[4] == 0 && Rec(ScaleRecord(3)).Derivative == 0;
      if (!ok && ++failures <= 5) ADD_FAILURE() << "point " << point << ": F " << f << " background " << ModelOutput[0];
    }

    // A drawing at a channel is the fit's point: F, Y, W = 1/E^2 (0 for E = 0) and background;
    // between channels Y and W are those of the truncated channel.
    SetUpCase(axis, "AZ");
    TSpectrum& sp = CurrentProfileSpectrum();
    for (int32_t c = sp.WorkFirst; c <= sp.WorkLast; ++c)
      sp.Y[c] = 100 + c % 7, sp.E[c] = c % 97 ? std::sqrt(sp.Y[c]) : 0;
    const Sweep fit = RunModel();
    ModelSpectrum = CurrentSpectrum;
    failures = 0;
    for (int32_t c = sp.WorkFirst; c <= sp.WorkLast; ++c) {
      const size_t i = size_t(c - sp.WorkFirst);
      double y = 0, w = 0, f = 0;
      ModelChannel = c;
      RietveldModel(y, w, f, 1, 4);
      const double expectedW = sp.E[c] == 0 ? 0.0 : 1 / (sp.E[c] * sp.E[c]);
      bool ok = std::fabs(f - fit.f[i]) <= 1e-14 * std::fabs(fit.f[i]) && y == fit.y[i] && w == fit.w[i] &&
                fit.y[i] == sp.Y[c] && std::fabs(fit.w[i] - expectedW) <= 1e-15 * expectedW &&
                std::fabs(ModelOutput[0] - fit.bg[i]) <= 1e-14 * std::fabs(fit.bg[i]);
      ModelChannel = c + 0.6;
      RietveldModel(y, w, f, 1, 4);
      ok = ok && y == fit.y[i] && w == fit.w[i] && std::isfinite(f);
      if (!ok && ++failures <= 5) ADD_FAILURE() << "channel " << c << ": F " << f << " against " << fit.f[i];
    }

    // Reversed reflection lists give the same profile.
    for (int32_t p = 1; p <= PhaseCount; ++p)
      for (int32_t j = 1, n = PhaseTable[p].ReflectionCount; j <= n / 2; ++j)
        std::swap(HklTable[j][p], HklTable[n + 1 - j][p]);
    ExpectSameProfile(fit.f, RunModel().f, Rounding, "reversed lists");

    // The reciprocal-cell form gives the profile of the metric records of the same cell, G1..G3 =
    // a*^2, b*^2, c*^2, G4 = 2 b* c* cos alpha*, G5 = 2 a* c* cos beta*, G6 = 2 a* b* cos gamma*. In
    // both forms the stored metric follows the records and 1/d^2 is that of the list's d (the
    // cell's angles pass through the degree constant 57.29578, 1e-8 relative off).
    SetUpCase(axis, "TZ", true);
    OptionFlags[10] = 1;
    const Sweep reciprocal = RunModel();
    for (int32_t form : {1, 0}) {
      OptionFlags[10] = uint8_t(form);
      for (int32_t p = 1; p <= PhaseCount; ++p) {
        std::array<double, 6> r, g;
        for (int32_t i = 0; i < 6; ++i) r[i] = g[i] = RecValue(MetricRecord(p, i + 1));
        if (form) g = {r[0] * r[0], r[1] * r[1], r[2] * r[2], 2 * r[1] * r[2] * r[3], 2 * r[0] * r[2] * r[4],
                       2 * r[0] * r[1] * r[5]};
        StoreCurrentMetric(p);
        const std::array<double, 6> stored = MetricRecordOrder(PhaseTable[p].Metric);
        for (int32_t i = 0; i < 6; ++i) EXPECT_NEAR(stored[i], g[i], 1e-12 * g[0]) << form << " " << i;
        for (int32_t j = 1; j <= PhaseTable[p].ReflectionCount; ++j) {
          double q1, q2;
          HklInverseDSquared(PhaseBase(p), p, j, q1, q2);
          EXPECT_NEAR(q1 * HklTable[j][p].d * HklTable[j][p].d, 1, 1e-7) << form << " " << j;
          EXPECT_EQ(q1, q2);
        }
        for (int32_t i = 0; i < 6 && form; ++i) SetRecord(MetricRecord(p, i + 1), g[i]);
      }
    }
    // 1/d^2 rounds differently in the two forms: positions move by some 1e-13 channels.
    ExpectSameProfile(RunModel().f, reciprocal.f, 1e-11, "reciprocal-cell form");
  }

  // Time of flight: two identical phases at scale 1 are one phase at scale 2, each half of it;
  // law 1 is law 0 (W2 takes no part).
  SetUpCase(AxisTimeOfFlight, "Z");
  SetRecord(ScaleRecord(1), 2.0);
  const Sweep one = RunModel();
  SetUpCase(AxisTimeOfFlight, "ZZ");
  for (int32_t p = 1; p <= 2; ++p)
    SetRecord(ScaleRecord(p), 1.0), SetRecord(WidthRecord(p, 0), RecValue(WidthRecord(1, 0)));
  const Sweep two = RunModel();
  ExpectSameProfile(one.f, two.f, Rounding, "two phases");
  std::vector<double> half, second;
  for (size_t i = 0; i < one.f.size(); ++i) half.push_back(0.5 * one.out[i][2]), second.push_back(two.out[i][3]);
  ExpectSameProfile(half, second, Rounding, "contribution of the second phase");
  SetUpCase(AxisTimeOfFlight, "AZ");
  for (int32_t p = 1; p <= PhaseCount; ++p) SetRecord(WidthRecord(p, 2), 0.7), SetRecord(WidthRecord(p, 1), 1.3);
  const Sweep law0 = RunModel();
  WidthMode = 1;
  ExpectSameProfile(law0.f, RunModel().f, 1e-15, "law 1");
}

// A noiseless profile (E = sqrt(max(1, Y))) refined from a displaced start: every free and tied
// record back to its value within 1e-6 relative. Time of flight with extinction of aluminium,
// angular with W2; cubic and hexagonal cells by ties, z of O and the B of every atom. Gauss
// shapes on both: the Lorentz shape's cut at 15 half widths is a step of 0.4 % of its height,
// and a start whose path to the truth moves a tail's end across a channel stops behind it.
TEST_F(ProfileMetamorphic, NoiselessProfileRefinesBackToItsParameters) {
  for (int32_t axis : {AxisTimeOfFlight, AxisAngular}) {
    SCOPED_TRACE(axis);
    const bool tof = axis == AxisTimeOfFlight;
    SetUpCase(axis, "AZ");
    for (int32_t p = 1; p <= 2; ++p) {
      SetShape(p + 1, ModelGauss);
      if (tof) SetRecord(WidthRecord(p, 0), 6.0 + p), SetRecord(WidthRecord(p, 1), 0.8);
    }
    FixAllRecords();
    FreeRecords({3, 4, 5, 6, 10, AtomRecord(1, 1, 5), MetricRecord(2, 3), AtomRecord(2, 1, 5), AtomRecord(2, 2, 4),
                 AtomRecord(2, 2, 5), tof ? 7 : WidthRecord(2, 2)});
    for (int32_t p = 1; p <= 2; ++p)
      FreeRecords({ScaleRecord(p), MetricRecord(p, 1), WidthRecord(p, 0), WidthRecord(p, 1)});
    TieRecord(MetricRecord(1, 2), MetricRecord(1, 1)), TieRecord(MetricRecord(1, 3), MetricRecord(1, 1));
    TieRecord(MetricRecord(2, 2), MetricRecord(2, 1)), TieRecord(MetricRecord(2, 6), MetricRecord(2, 1));
    if (tof) SetRecord(WidthRecord(1, 2), 1.2e-6);  // extinction of aluminium
    FreeRecord(WidthRecord(1, 2));
    const Sweep truth = RunModel();
    TSpectrum& sp = CurrentProfileSpectrum();
    for (size_t i = 0; i < truth.f.size(); ++i)
      sp.Y[sp.WorkFirst + i] = truth.f[i], sp.E[sp.WorkFirst + i] = std::sqrt(std::max(1.0, truth.f[i]));
    std::vector<double> values(FitParameters->NPar + 1);
    for (int32_t i = 1; i <= FitParameters->NPar; ++i) values[i] = RecValue(i);
    // Relative steps, then absolute shifts (the tied records follow their master).
    const std::pair<int32_t, double> relative[] = {
        {4, 0.05}, {5, 0.1}, {6, -0.1}, {ScaleRecord(1), 0.05}, {ScaleRecord(2), -0.04},
        {MetricRecord(1, 1), tof ? 3e-4 : 5e-4}, {MetricRecord(2, 1), tof ? -2e-4 : -4e-4},
        {MetricRecord(2, 3), tof ? 3e-4 : 4e-4}, {WidthRecord(1, 0), 0.08}, {WidthRecord(2, 0), -0.06},
        {WidthRecord(1, 1), 0.2}, {WidthRecord(2, 1), -0.2}, {WidthRecord(1, 2), tof ? 0.3 : 0.2},
        {tof ? 7 : WidthRecord(2, 2), tof ? 0.1 : -0.2}, {AtomRecord(1, 1, 5), 0.15}, {AtomRecord(2, 1, 5), -0.15},
        {AtomRecord(2, 2, 5), 0.2}};
    for (const auto& [i, f] : relative) SetRecord(i, RecValue(i) * (1 + f));
    for (const auto& [i, f] : {std::pair{3, tof ? 0.6 : 0.04}, {10, 0.05}, {AtomRecord(2, 2, 4), 0.004}})
      SetRecord(i, RecValue(i) + f);
    TParameter& fit = *FitParameters;
    fit.CompressedMatrix = 1, fit.GNIter = 40, fit.EpsReq = 1e-10, fit.Step = 1, fit.Damp = 1e-6, fit.Skip = 1;
    fit.Fit(RietveldModel, NoProgress);
    EXPECT_EQ(fit.Status, 1);
    EXPECT_NE(fit.MatInv, 0);
    for (int32_t i = 1; i <= fit.NPar; ++i)
      if (RecordFree(i) || Rec(i).n != i) {
        EXPECT_NEAR(RecValue(i), values[i], 1e-6 * std::fabs(values[i])) << "record " << i << " " << Rec(i).Name;
      }
  }
}

}  // namespace

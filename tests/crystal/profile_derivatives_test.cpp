// The derivative of the profile by every free record against a central difference of the profile
// itself, for every switch of the model: time of flight and angular, Rietveld and powder match,
// the four width laws, anisotropy, M2, extinction, a magnetic phase, the three backgrounds, the
// reciprocal-cell form, an intensity factor, isotropic and anisotropic atoms, centrosymmetric and
// not, two phases.
#include <gtest/gtest.h>
#include <algorithm>
#include <cmath>
#include <ostream>
#include <string>
#include <vector>
#include "core/random.h"
#include "crystal/profile_model.h"
#include "crystal/profile_setup.h"

namespace {

enum PhaseKind { kAluminium, kZincOxide, kZincOxideAnisotropic, kMagnetic };
enum BackgroundKind { kLegendre, kShape, kTwoDecays };

struct Config {
  const char* name;
  int32_t axis = AxisTimeOfFlight;
  int32_t mode = 0;  // 0 Rietveld, 2 powder match
  int32_t law = 0;
  int32_t shape = ModelLorentz;
  std::vector<PhaseKind> phases = {kAluminium};
  bool anisotropy = false, m2 = false, extinction = false, reciprocal = false, intensityFactor = false;
  BackgroundKind background = kLegendre;
};

// An orthorhombic phase (Pmmm) with one magnetic Mn2+ atom off the special positions, so that the
// moment direction changes q^2.
bool SetUpMagneticPhase(int32_t k) {
  if (!SetUpPhase(k, 47, 1, {4.1, 5.3, 6.2, 90, 90, 90}, {IsoAtom(0.0, 0.11, 0.23, 0.31, 0.4)})) return false;
  PhaseModelFlags[k] = 1;
  ATOM& a = AtomTable[1][k];
  const double j0[7] = {0.422, 17.684, 0.5948, 6.005, 0.0043, -0.609, -0.0219};
  std::copy(j0, j0 + 7, a.FormFactor);
  a.MagneticMoment = 5, a.MagneticFlag = 1;
  PhaseTable[k].MomentDirection[0] = 0.3, PhaseTable[k].MomentDirection[1] = 0.5;
  PhaseTable[k].MomentDirection[2] = 0.8;
  return true;
}

bool SetUpKind(int32_t k, PhaseKind kind) {
  switch (kind) {
    case kAluminium:
      return SetUpAluminium(k);
    case kZincOxide:
      return SetUpZincOxide(k);
    case kZincOxideAnisotropic: {
      TestAtom zn = IsoAtom(0.568, 1.0 / 3, 2.0 / 3, 0.01), o = IsoAtom(0.5803, 1.0 / 3, 2.0 / 3, 0.3825);
      zn.isotropic = o.isotropic = false;
      zn.t = {0.08, 0.03, 0.01, 0.07, 0.02, 0.05};
      o.t = {0.06, 0.02, -0.01, 0.09, 0.015, 0.04};
      return SetUpPhase(k, 186, 1, {3.2495, 3.2495, 5.2069, 90, 90, 120}, {zn, o});
    }
    case kMagnetic:
      return SetUpMagneticPhase(k);
  }
  return false;
}

void PrintTo(const Config& c, std::ostream* os) { *os << c.name; }

class ProfileDerivatives : public ProfileTest, public ::testing::WithParamInterface<Config> {
protected:
  // The spectrum, phases, switches and a parameter array at typical values, every record free
  // (powder match: records 1 and 2 fixed, whose derivative is 0 there by design).
  void SetUpConfig(const Config& c) {
    SetUpProfileSpectrum({.axis = c.axis});
    MainMode = c.mode;
    WidthMode = c.law;
    PhaseCount = static_cast<int32_t>(c.phases.size());
    for (int32_t p = 1; p <= PhaseCount; ++p) {
      ASSERT_TRUE(SetUpKind(p, c.phases[p - 1]));
      ASSERT_GT(FormProfileReflections(p), 3);
      SetPhaseShape(p, c.shape);
      AnisotropicPhases[p] = c.anisotropy;
      PhaseTable[p].PhaseW0 = c.axis == AxisAngular ? 4.0 : 6.0;
      PhaseTable[p].PhaseW1 = c.axis == AxisAngular ? 2.0 : 1.5;
      if (c.anisotropy) {
        const double a[12] = {0.002,  0.003, -0.001, 0.001, 0.002,  0.0015,
                              0.0005, 0.001, 0.0008, 0.001, -0.002, 0.0015};
        std::copy(a, a + 12, PhaseTable[p].Anisotropy);
      }
      if (c.intensityFactor)
        for (int32_t j = 1; j <= PhaseTable[p].ReflectionCount; j += 2) HklTable[j][p].IntensityFactor = 2.5;
    }
    AnisotropyOn = c.anisotropy;
    M2Mode = c.m2;
    M2ModeValues[0] = 0.05, M2ModeValues[1] = 0.02;
    OptionFlags[10] = c.reciprocal;
    BackgroundMode = c.background == kLegendre ? 0 : 1;
    TrevoAutoRun = c.background == kTwoDecays;
    LayOutProfileParameters(c.reciprocal);

    const double legendre[6] = {50, 10, -5, 3, 1, -0.5};
    // Tabulated shape: constant, amplitude b0 + b1 u^2, position, width W0 + W1 u.
    const double shape[6] = {20, 30, 5, 900, 150, 20};
    // Two decays A1 exp(-x / t1) + A2 exp(-x^2 / t2).
    const double decays[6] = {60, 40, 0, 700, 9e5, 0};
    const double* bg = c.background == kLegendre ? legendre : c.background == kShape ? shape : decays;
    for (int32_t j = 0; j < 6; ++j) SetRecord(4 + j, bg[j]);
    SetRecord(10, 0.2);
    if (c.axis == AxisTimeOfFlight) SetRecord(2, 0.3), SetRecord(3, 2.0);
    else SetRecord(3, 0.05);
    for (int32_t p = 1; p <= PhaseCount; ++p) {
      const int32_t b = PhaseBase(p);
      SetRecord(b + 1, 0.7 + 0.2 * p);
      if (c.law >= 2) SetRecord(b + 8, 20), SetRecord(b + 9, 8);
      const bool w2 = c.axis == AxisAngular || c.law == 3;
      SetRecord(b + 10, w2 ? (c.law == 3 ? 1.0 : 0.8) : (c.extinction ? 0.02 : 0.0));
      if (!w2 && !c.extinction) FixRecord(b + 10);
    }
    if (c.mode == 2) FixRecords({1, 2});
    if (c.background == kTwoDecays) FixRecords({6, 9});  // no part in the decays
    if (c.background == kLegendre && c.phases.size() > 1) FixRecord(AtomRecord(1, 1, 3));  // a fixed atom record
  }
};

struct Entry {
  int32_t record;
  double analytic, central, spread, scaleF, step;
};

TEST_P(ProfileDerivatives, AnalyticEqualsCentralDifference) {
  const Config& c = GetParam();
  SetUpConfig(c);
  if (HasFatalFailure()) return;
  TParameter& fit = *FitParameters;
  const int32_t n = fit.NPar;
  const TSpectrum& sp = CurrentProfileSpectrum();
  SetRandomSeeds(4711, 815);
  std::vector<Entry> entries;
  std::vector<double> scale(n + 1, 0.0);
  std::vector<double> analytic(n + 1);
  auto model = [](int32_t point) {
    double y, w, f;
    RietveldModel(y, w, f, point, 1);
    return f;
  };
  const int32_t points = c.shape == ModelLorentz ? 8 : 14;
  for (int32_t k = 0; k < points; ++k) {
    const int32_t point = 1 + RandomIndex(sp.WorkLast - sp.WorkFirst + 1);
    const double F = model(point);
    ASSERT_TRUE(std::isfinite(F));
    for (int32_t i = 1; i <= n; ++i) analytic[i] = fit.Records[i].Derivative;
    for (int32_t i = 1; i <= n; ++i) {
      if (!RecordFree(i)) continue;
      ParameterRecord& r = fit.Records[i];
      const double v = r.value, h = 1e-6 * std::max(1.0, std::fabs(v));
      double f[4];
      const double steps[4] = {h, -h, h / 2, -h / 2};
      for (int32_t s = 0; s < 4; ++s) {
        r.value = v + steps[s];
        f[s] = model(point);
      }
      r.value = v;
      const double d1 = (f[0] - f[1]) / (2 * h), d2 = (f[2] - f[3]) / h;
      // Richardson: the h^2 error of the central difference removed.
      const double central = (4 * d2 - d1) / 3;
      entries.push_back({i, analytic[i], central, std::fabs(d1 - d2), std::fabs(F), h});
      scale[i] = std::max({scale[i], std::fabs(analytic[i]), std::fabs(central)});
    }
  }
  int32_t checked = 0, skipped = 0, failures = 0;
  for (const Entry& e : entries) {
    const double s = scale[e.record];
    if (s == 0) continue;
    // A step across the cut or a table boundary of a tabulated shape: the two differences part.
    if (e.spread > 1e-3 * s) {
      ++skipped;
      continue;
    }
    ++checked;
    // 1e-6 of the column's scale, plus the rounding of F over the step.
    const double tol = 1e-6 * s + 1e-13 * e.scaleF / e.step;
    if (!(std::fabs(e.analytic - e.central) <= tol) && ++failures <= 10)
      ADD_FAILURE() << c.name << ": record " << e.record << " \"" << fit.Records[e.record].Name << "\" analytic "
                    << e.analytic << " central " << e.central << " scale " << s;
  }
  EXPECT_GT(checked, 0);
  EXPECT_LE(skipped, checked / 10) << "too many steps across a discontinuity";
}

const Config kConfigs[] = {
    {.name = "TofLaw0Aluminium"},
    {.name = "TofLaw1ZincOxide", .law = 1, .phases = {kZincOxide}},
    {.name = "TofLaw2Extinction", .law = 2, .extinction = true},
    {.name = "TofLaw0ExtinctionZincOxide", .phases = {kZincOxide}, .extinction = true},
    {.name = "TofLaw3AnisotropicAtoms", .law = 3, .phases = {kZincOxideAnisotropic}},
    {.name = "TofAnisotropy", .phases = {kZincOxide}, .anisotropy = true},
    {.name = "TofLaw2AnisotropyExtinction", .law = 2, .anisotropy = true, .extinction = true},
    {.name = "TofM2Lorentz", .phases = {kZincOxide}, .m2 = true},
    {.name = "TofM2Gauss", .shape = ModelGauss, .m2 = true},
    {.name = "TofGauss", .shape = ModelGauss, .phases = {kZincOxide}},
    {.name = "TofMagnetic", .phases = {kMagnetic}},
    {.name = "TofBackgroundShape", .background = kShape},
    {.name = "TofBackgroundTwoDecays", .background = kTwoDecays},
    {.name = "TofReciprocalForm", .phases = {kZincOxide}, .reciprocal = true},
    {.name = "TofIntensityFactor", .phases = {kZincOxide}, .intensityFactor = true},
    {.name = "TofTwoPhases", .phases = {kAluminium, kZincOxide}},
    {.name = "TofPowderMatch", .mode = 2, .phases = {kZincOxide}},
    {.name = "TofPowderMatchAnisotropyM2", .mode = 2, .anisotropy = true, .m2 = true},
    {.name = "AngularLaw0", .axis = AxisAngular, .phases = {kZincOxide}},
    {.name = "AngularLaw1Gauss", .axis = AxisAngular, .law = 1, .shape = ModelGauss},
    {.name = "AngularLaw2", .axis = AxisAngular, .law = 2, .phases = {kZincOxide}},
    {.name = "AngularLaw3AnisotropicAtoms", .axis = AxisAngular, .law = 3, .phases = {kZincOxideAnisotropic}},
    {.name = "AngularAnisotropyM2", .axis = AxisAngular, .anisotropy = true, .m2 = true},
    {.name = "AngularMagneticReciprocal", .axis = AxisAngular, .phases = {kMagnetic}, .reciprocal = true},
    {.name = "AngularPowderMatch", .axis = AxisAngular, .mode = 2, .phases = {kZincOxide}},
    {.name = "AngularTwoPhasesIntensityFactor", .axis = AxisAngular, .phases = {kZincOxide, kAluminium},
     .intensityFactor = true},
};

INSTANTIATE_TEST_SUITE_P(Switches, ProfileDerivatives, ::testing::ValuesIn(kConfigs),
                         [](const ::testing::TestParamInfo<Config>& p) { return std::string(p.param.name); });

}  // namespace

// The derivative of the profile by every free record against a central difference of the profile
// itself, for every switch of the model: time of flight and angular, Rietveld and powder match,
// the four width laws, anisotropy, M2, extinction, a magnetic phase, the three backgrounds, the
// reciprocal-cell form, an intensity factor, isotropic and anisotropic atoms, centrosymmetric and
// not, two phases.
#include <gtest/gtest.h>
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
  int32_t axis = AxisTimeOfFlight, mode = 0 /* 2: powder match */, law = 0, shape = ModelLorentz;
  std::vector<PhaseKind> phases = {kAluminium};
  bool anisotropy = false, m2 = false, extinction = false, reciprocal = false, intensityFactor = false;
  BackgroundKind background = kLegendre;
};
void PrintTo(const Config& c, std::ostream* os) { *os << c.name; }

bool SetUpKind(int32_t k, PhaseKind kind) {
  if (kind == kAluminium) return SetUpAluminium(k);
  if (kind == kZincOxide) return SetUpZincOxide(k);
  if (kind == kZincOxideAnisotropic) {
    TestAtom zn = IsoAtom(0.568, 1.0 / 3, 2.0 / 3, 0.01), o = IsoAtom(0.5803, 1.0 / 3, 2.0 / 3, 0.3825);
    zn.isotropic = o.isotropic = false;
    zn.t = {0.08, 0.03, 0.01, 0.07, 0.02, 0.05}, o.t = {0.06, 0.02, -0.01, 0.09, 0.015, 0.04};
    return SetUpPhase(k, 186, 1, {3.2495, 3.2495, 5.2069, 90, 90, 120}, {zn, o});
  }
  // Pmmm with one magnetic Mn2+ atom off the special positions: the moment direction changes q^2.
  if (!SetUpPhase(k, 47, 1, {4.1, 5.3, 6.2, 90, 90, 90}, {IsoAtom(0.0, 0.11, 0.23, 0.31, 0.4)})) return false;
  PhaseModelFlags[k] = 1;
  ATOM& a = AtomTable[1][k];
  const double j0[7] = {0.422, 17.684, 0.5948, 6.005, 0.0043, -0.609, -0.0219};
  std::copy(j0, j0 + 7, a.FormFactor);
  a.MagneticMoment = 5, a.MagneticFlag = 1;
  const double direction[3] = {0.3, 0.5, 0.8};
  std::copy(direction, direction + 3, PhaseTable[k].MomentDirection);
  return true;
}

class ProfileDerivatives : public ProfileTest, public ::testing::WithParamInterface<Config> {};

// The spectrum, phases, switches and records at typical values, every record free except those
// without a part: record base+10 where it is neither width nor extinction, records 1 and 2 in
// powder match, the two records the decays do not read; one fixed atom record with two phases.
TEST_P(ProfileDerivatives, AnalyticEqualsCentralDifference) {
  const Config& c = GetParam();
  const bool angular = c.axis == AxisAngular;
  SetUpProfileSpectrum({.axis = c.axis});
  MainMode = c.mode, WidthMode = c.law;
  PhaseCount = static_cast<int32_t>(c.phases.size());
  const double anisotropy[12] = {0.002,  0.003, -0.001, 0.001, 0.002,  0.0015,
                                 0.0005, 0.001, 0.0008, 0.001, -0.002, 0.0015};
  for (int32_t p = 1; p <= PhaseCount; ++p) {
    ASSERT_TRUE(SetUpKind(p, c.phases[p - 1]));
    ASSERT_GT(FormProfileReflections(p), 3);
    SetShape(p + 1, c.shape);
    AnisotropicPhases[p] = c.anisotropy;
    PhaseTable[p].PhaseW0 = angular ? 4.0 : 6.0, PhaseTable[p].PhaseW1 = angular ? 2.0 : 1.5;
    if (c.anisotropy) std::copy(anisotropy, anisotropy + 12, PhaseTable[p].Anisotropy);
    for (int32_t j = 1; c.intensityFactor && j <= PhaseTable[p].ReflectionCount; j += 2)
      HklTable[j][p].IntensityFactor = 2.5;
  }
  AnisotropyOn = c.anisotropy, M2Mode = c.m2;
  M2ModeValues[0] = 0.05, M2ModeValues[1] = 0.02;
  OptionFlags[10] = c.reciprocal;
  BackgroundMode = c.background == kLegendre ? 0 : 1;
  TrevoAutoRun = c.background == kTwoDecays;
  LayOutProfileParameters(c.reciprocal);
  // Legendre; the table shape (constant, amplitude b0 + b1 u^2, position, width W0 + W1 u); the
  // decays A1 exp(-x / t1) + A2 exp(-x^2 / t2).
  const double backgrounds[3][6] = {{50, 10, -5, 3, 1, -0.5}, {20, 30, 5, 900, 150, 20}, {60, 40, 0, 700, 9e5, 0}};
  for (int32_t j = 0; j < 6; ++j) SetRecord(4 + j, backgrounds[c.background][j]);
  SetRecord(10, 0.2);
  SetRecord(2, angular ? 0.0 : 0.3), SetRecord(3, angular ? 0.05 : 2.0);
  for (int32_t p = 1; p <= PhaseCount; ++p) {
    const int32_t b = PhaseBase(p);
    const bool w2 = angular || c.law == 3;
    SetRecord(b + 1, 0.7 + 0.2 * p);
    if (c.law >= 2) SetRecord(b + 8, 20), SetRecord(b + 9, 8);
    SetRecord(b + 10, w2 ? (c.law == 3 ? 1.0 : 0.8) : (c.extinction ? 0.02 : 0.0));
    if (!w2 && !c.extinction) FixRecord(b + 10);
  }
  if (c.mode == 2) FixRecord(1), FixRecord(2);
  if (c.background == kTwoDecays) FixRecord(6), FixRecord(9);
  if (c.background == kLegendre && c.phases.size() > 1) FixRecord(AtomRecord(1, 1, 3));

  std::vector<int32_t> records;
  for (int32_t i = 1; i <= FitParameters->NPar; ++i)
    if (RecordFree(i)) records.push_back(i);
  KeepValues<TRandomSeeds> seeds{&RandomSeeds, 1};
  SetRandomSeeds(4711, 815);
  std::vector<double> points;
  const TSpectrum& sp = CurrentProfileSpectrum();
  for (int32_t k = 0; k < (c.shape == ModelLorentz ? 8 : 14); ++k)
    points.push_back(1 + RandomIndex(sp.WorkLast - sp.WorkFirst + 1));
  ExpectDerivativesAgree(&RietveldModel, points, false, records, c.name);
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

// The preparation of the Rietveld and powder-match parameter arrays, end to end through the
// scripted dialogs: the metric records under the crystal-system table against gemmi's reciprocal
// metric of real cells, the array's soundness over modes, systems and switches (the engine's
// input check is the judge), a prepared array refined back to the truth of a noiseless profile,
// the scale estimate against a scaling of the data, powder-match merging, links over phases, and
// every refused input.
#include <gtest/gtest.h>
#include <cmath>
#include <functional>
#include <map>
#include <string>
#include <tuple>
#include <vector>
#include "core/messages.h"
#include "core/model_switches.h"
#include "core/symmetry_expansion.h"
#include "crystal/parameter_preparation.h"
#include "crystal/preparation_setup.h"
#include "crystal/profile_model.h"
#include "crystal/profile_setup.h"
#include "support/golden_files.h"

namespace {

using Lines = std::vector<std::string>;

// Cells of phase_cells_golden.txt (gemmi) with a group of their system; the free metric records.
// A group file's phase (group 777) holds the group's operations under the other setting: the
// unique axis is the operations' own.
struct SystemCase {
  const char* label;
  int32_t group, setting, freeMetric;
  bool groupFile = false;
};
const SystemCase kSystems[] = {{"triclinic", 1, 1, 6},  {"monoclinic_gamma", 3, 1, 4}, {"monoclinic_beta", 3, 2, 4},
                               {"orthorhombic", 47, 1, 3}, {"tetragonal", 123, 1, 2},   {"cubic", 221, 1, 1},
                               {"hexagonal", 191, 1, 2},  {"rhombohedral", 166, 1, 2},
                               {"monoclinic_beta", 14, 2, 4, true}, {"monoclinic_gamma", 3, 1, 4, true}};

// The golden row of a label: cell [0..5] and gemmi's metric A, B, C, hk, hl, kl [13..18].
std::vector<double> GoldenCell(const std::string& label) {
  std::vector<double> v(19, 1.0);
  for (const Tokens& row : GoldenRows("phase_cells_golden.txt", "crystal"))
    for (size_t i = 2; row.size() == 21 && row[1] == label && i < row.size(); ++i) v[i - 2] = std::stod(row[i]);
  return v;
}

class Preparation : public PreparationFixture {
protected:
  void TearDown() override {
    for (int32_t p = 1; p <= MaxPhases; ++p) ForgetSymmetryExpansion(p);
    PreparationFixture::TearDown();
  }
  // A time-of-flight or angular spectrum with counts 2000 in the first half of the interval and
  // 4000 in the second (|Y - background| = 1000 everywhere).
  static TSpectrum& Spectrum(int32_t axis = AxisTimeOfFlight, double k = 1) {
    ProfileSpectrum s;
    s.axis = axis;
    TSpectrum& sp = SetUpProfileSpectrum(s);
    for (int32_t c = 1; c <= sp.LastChannel; ++c) sp.Y[c] = k * (c < (s.first + s.last) / 2 ? 2000 : 4000);
    return sp;
  }
  // Phase p in the golden cell of a system with a general and a special atom, and its reflections
  // of d from dmin to 2.5 angstrom (powder match takes a record for each).
  static void Phase(int32_t p, const SystemCase& c, bool magnetic = false, double dmin = 1.5) {
    const std::vector<double> g = GoldenCell(c.label);
    ASSERT_TRUE(SetUpPhase(p, c.group, c.setting, {g[0], g[1], g[2], g[3], g[4], g[5]},
                           {IsoAtom(0.6, 0.1, 0.2, 0.3), IsoAtom(0.4, 0, 0, 0.5)}));
    if (c.groupFile) PhaseTable[p].SpaceGroup = NonStandardGroup, PhaseTable[p].Setting = 3 - c.setting;
    PhaseModelFlags[p] = magnetic, PhaseTable[p].MomentDirection[0] = 0.3, PhaseTable[p].MomentDirection[2] = 0.9;
    for (int32_t a = 1; a <= 2 && magnetic; ++a)
      AtomTable[a][p].MagneticFlag = 1, AtomTable[a][p].MagneticMoment = 2, AtomTable[a][p].FormFactor[6] = 1;
    PhaseCount = std::max(PhaseCount, p);
    ASSERT_GT(FormProfileReflections(p, dmin, 2.5), 0);
  }
  // The dialogs of a preparation answered by OK; scaling correction answered `correct`.
  void Script(bool correct = false, std::function<void(int32_t, DialogScript&)> phaseDialog = {}) {
    ui.ExpectDialog("Preparing parameter array").Ok();
    for (int32_t p = 1; p <= PhaseCount; ++p) {
      DialogScript& d = ui.ExpectDialog("Prepare " + ModeNames[MainMode]);
      if (phaseDialog) phaseDialog(p, d);
      d.Ok();
    }
    ui.QueueAnswer(correct);
    ui.ExpectDialog("Prepare").Ok();
  }
  static int32_t Prepare() {
    int32_t check = -1;
    return PrepareParameterArray(check), check;
  }
  // Every record within its bounds or fixed, every tie to an independent earlier master, the
  // engine's records a copy, and the engine's input check passed.
  static void ExpectSoundArray(int32_t n) {
    TParameter& fit = *FitParameters;
    ASSERT_EQ(fit.NPar, n);
    for (int32_t i = 1; i <= n; ++i) {
      const ParameterRecord& r = parar[i];
      SCOPED_TRACE("record " + std::to_string(i) + " " + r.Name);
      EXPECT_TRUE(r.n >= 1 && r.n <= i && parar[r.n].n == r.n) << r.n;
      EXPECT_TRUE(r.lower <= r.value && r.value <= r.upper) << r.lower << " " << r.value << " " << r.upper;
      const ParameterRecord& e = fit.Records[i];
      EXPECT_TRUE(e.n == r.n && e.lower == r.lower && e.value == r.value && e.upper == r.upper && e.a == r.a &&
                  e.b == r.b && e.Name == r.Name);
    }
    fit.NPoints = 100;
    fit.PrepareFit();
    EXPECT_TRUE(fit.CheckFitInput());
    EXPECT_EQ(fit.ContradictionWarning, "");  // no record both tied and fixed
    fit.RestoreFitControls();
  }
};

// Both modes over the seven systems (monoclinic in both settings), with a magnetic second phase,
// anisotropy and m2, angular axis, real background.
TEST_F(Preparation, SoundArrayWithTheGemmiMetricForEveryModeSystemAndSwitch) {
  struct Case {
    int32_t mode, axis;
    bool magnetic, anisotropy, realBackground;
  };
  const Case cases[] = {{0, AxisTimeOfFlight, false, false, false}, {2, AxisTimeOfFlight, false, false, false},
                        {0, AxisAngular, true, true, false},        {2, AxisTimeOfFlight, true, true, false},
                        {0, AxisTimeOfFlight, false, false, true}};
  for (const Case& k : cases)
    for (const SystemCase& c : kSystems) {
      SCOPED_TRACE(std::string(c.label) + " mode " + std::to_string(k.mode) + " axis " + std::to_string(k.axis));
      MainMode = k.mode, PhaseCount = 1;
      TSpectrum& sp = Spectrum(k.axis);
      sp.BackgroundDegree = k.realBackground ? 6 : 3, BackgroundMode = k.realBackground;
      AnisotropyOn = M2Mode = k.anisotropy, AnisotropicPhases[1] = k.anisotropy;
      M2ModeValues[0] = 0.2, M2ModeValues[1] = -0.1;
      Phase(1, c);
      for (int32_t i = 0; i < 12; ++i) PhaseTable[1].Anisotropy[i] = 0.01 * (i + 1);
      if (k.magnetic) Phase(2, c, true);
      Script();
      EXPECT_EQ(Prepare(), 1);
      int32_t n = 0;
      CountParameters(n, MainMode);
      // Powder match leaves the magnetic block out of its count; the array covers it all the same.
      EXPECT_EQ(n + (k.mode == 2 && k.magnetic ? 3 * PhaseCount : 0), ParameterCount(2) + (M2Mode ? 2 : 0));
      ExpectSoundArray(ParameterCount(2) + (M2Mode ? 2 : 0));
      // Values of tied and zeroed records included; the cross terms carry the 1.5e-7 radian of the
      // reciprocal angles: 3e-7 of the largest square. The table leaves the system's free terms.
      const std::vector<double> gc = GoldenCell(c.label);
      const double g[6] = {gc[13], gc[14], gc[15], gc[18], gc[17], gc[16]};  // record order
      int32_t free = 0;
      for (int32_t i = 0; i < 6; ++i) {
        const ParameterRecord& r = parar[MetricRecord(1, i + 1)];
        EXPECT_NEAR(r.value, g[i], 3e-7 * std::max({g[0], g[1], g[2]})) << i;
        free += r.n == MetricRecord(1, i + 1) && r.lower != r.upper;
      }
      EXPECT_EQ(free, c.freeMetric);
      EXPECT_EQ(parar[1].value, k.axis == AxisAngular ? sp.Lambda : sp.FlightPath);
      EXPECT_EQ(parar[WidthRecord(1, 1)].value, sp.W1 - sp.W0);  // the width law reaches Width 1 at abscissa 1
      EXPECT_EQ(std::vector<int>(ParametersPending, ParametersPending + 4), (std::vector<int>{k.mode != 0, 1, k.mode != 2, 1}));
      ui.transcript.clear();
    }
}

// The groundwork of the refinement run: data made by the model at a truth, a phase cell and the
// header widths off it, the array prepared (scale estimated and corrected), then fitted back.
TEST_F(Preparation, PreparedArrayRefinesANoiselessProfileBackToTheTruth) {
  Spectrum();
  ASSERT_TRUE(SetUpAluminium(1));
  ASSERT_TRUE(SetUpPhase(2, 123, 1, {3.9, 3.9, 5.3, 90, 90, 90}, {IsoAtom(0.5, 0, 0, 0), IsoAtom(0.7, 0.5, 0.5, 0.5)}));
  PhaseCount = 2;
  for (int32_t p = 1; p <= 2; ++p) SetShape(p + 1, ModelGauss), FormProfileReflections(p);
  LayOutProfileParameters();
  const std::map<int32_t, double> truth = {
      {4, 300}, {5, 40}, {6, -20}, {7, 5}, {10, 0.02}, {ScaleRecord(1), 40}, {ScaleRecord(2), 25},
      {MetricRecord(1, 1), RecValue(MetricRecord(1, 1))}, {MetricRecord(2, 1), RecValue(MetricRecord(2, 1))},
      {MetricRecord(2, 3), RecValue(MetricRecord(2, 3))}, {WidthRecord(1, 0), 6}, {WidthRecord(2, 0), 7},
      {WidthRecord(1, 1), 0.5}, {WidthRecord(2, 1), -0.4}};
  for (const auto& [i, v] : truth) SetRecord(i, v);
  TSpectrum& sp = CurrentProfileSpectrum();
  for (int32_t c = sp.WorkFirst; c <= sp.WorkLast; ++c) {
    double y, w, f;
    RietveldModel(y, w, f, c - sp.WorkFirst + 1, 1);
    sp.Y[c] = f, sp.E[c] = std::sqrt(f);
  }
  for (int32_t p = 1; p <= 2; ++p) {  // cells 0.1 % off
    for (int32_t i = 0; i < 3; ++i) PhaseTable[p].Cell[i] *= 1.001;
    CellMetric(PhaseTable[p].Cell, PhaseTable[p].ReciprocalCell, PhaseTable[p].ReciprocalVolume, 0);
  }
  sp.W0 = 5, sp.W1 = 5.5;
  Script(true);
  Prepare();
  EXPECT_EQ(LogLines().back().rfind("Scaling has been corrected by ", 0), 0u);
  TParameter& fit = *FitParameters;
  fit.NPoints = sp.WorkLast - sp.WorkFirst + 1;
  fit.CompressedMatrix = 1, fit.GNIter = 40, fit.EpsReq = 1e-10, fit.Step = 1, fit.Damp = 1e-6;
  fit.Fit(RietveldModel, NoProgress);
  ASSERT_EQ(fit.Status, 1);
  for (const auto& [i, v] : truth) EXPECT_NEAR(RecValue(i), v, 1e-6 * std::fabs(v) + 1e-9) << Rec(i).Name;
  EXPECT_EQ(RecValue(MetricRecord(2, 2)), RecValue(MetricRecord(2, 1)));
}

// Data scaled by k scale the estimate by k; a reflection beyond the spectrum's channels adds
// nothing; the lower bound is min(value / 100, 1e-6). Counts without peaks above their
// background give the floor 0.001. (The estimate against the truth of data made from the physics
// is checked by the truth tests.)
TEST_F(Preparation, ScaleEstimateFollowsTheData) {
  double scale[4] = {};
  for (int32_t run = 0; run < 4; ++run) {
    TSpectrum& sp = Spectrum(AxisTimeOfFlight, run == 1 ? 7 : 1);
    Phase(1, kSystems[4]);
    // Peaks of 3000 counts and a few channels' width on the reflections' channels.
    for (int32_t j = 1; j <= PhaseTable[1].ReflectionCount && run != 3; ++j) {
      const double at = sp.DToChannel(HklTable[j][1].d);
      for (int32_t c = sp.WorkFirst; c <= sp.WorkLast; ++c)
        sp.Y[c] += (run == 1 ? 7 : 1) * 3000 * std::exp(-0.5 * (c - at) * (c - at) / 9);
    }
    if (run == 2) HklTable[++PhaseTable[1].ReflectionCount][1] = THklRecord{0, 0, 1, 2, 1, 0, 1, 3.5};
    Script();
    Prepare();
    const ParameterRecord& r = parar[ScaleRecord(1)];
    scale[run] = r.value;
    EXPECT_EQ(r.lower, std::min(r.value / 100, 1e-6)) << run;
    EXPECT_EQ(r.upper, 1e12) << run;
  }
  EXPECT_GT(scale[0], 0.01);
  EXPECT_NEAR(scale[1], 7 * scale[0], 1e-12 * scale[1]);
  EXPECT_EQ(scale[2], scale[0]);
  EXPECT_EQ(scale[3], 0.001);
}

// The width law is W0 + W1 t with t the law's abscissa: u of the working range (TOF) or tan(theta)
// (angular), 1 at the end of a TOF range and at 2theta = 90 deg. The start widths give the
// spectrum's "Width 1" there, not a per-channel slope that leaves the start width constant.
// Spectr.Corr is free on time of flight only. The delay deviation is taken in the unit of the
// delay record and its label names it: channels of a time-of-flight spectrum, degrees of two-theta
// for the zero shift of an angular one, proposed there as 10 steps of the two-theta axis.
TEST_F(Preparation, WidthStartsInTheAbscissaOfTheLawAndTheSpectrumCorrectionByAxis) {
  for (int32_t axis : {AxisTimeOfFlight, AxisAngular}) {
    SCOPED_TRACE(axis);
    TSpectrum& sp = Spectrum(axis);
    Phase(1, kSystems[4]);
    sp.W0 = 5, sp.W1 = 8, sp.Delay = -0.5, DelayDeviation = 0;
    std::string label, proposed;
    Script(false, [&](int32_t, DialogScript& d) {
      d.Inspect([&](TForm2& f) { label = DialogFieldLabels[4], proposed = f.StringGrid1.Cell(0, 3); }).Field(4, 1, "2");
    });
    Prepare();
    const double step = sp.X[sp.WorkFirst + 1] - sp.X[sp.WorkFirst];  // degrees a channel
    EXPECT_EQ(label, axis == AxisAngular ? " Delay parameter deviation (deg)" : " Delay parameter deviation (chan)");
    EXPECT_NEAR(std::stod(proposed), axis == AxisAngular ? 10 * step : 0.0, 1e-9);
    EXPECT_EQ(std::make_tuple(parar[3].lower, parar[3].value, parar[3].upper), std::make_tuple(-2.5, -0.5, 1.5));
    const double w0 = parar[WidthRecord(1, 0)].value, w1 = parar[WidthRecord(1, 1)].value;
    EXPECT_EQ(w0, 5);
    EXPECT_EQ(w0 + w1 * 1.0, 8);
    EXPECT_TRUE(parar[WidthRecord(1, 1)].lower <= w1 && w1 <= parar[WidthRecord(1, 1)].upper);
    // The spectrum correction exp(r c) starts at 0: free on time of flight, fixed on an angular
    // spectrum, where with a fixed wavelength it would trade with the thermal factors.
    const ParameterRecord& c = parar[10];
    EXPECT_EQ(c.value, 0);
    EXPECT_EQ(c.lower, axis == AxisAngular ? 0 : -1);
    EXPECT_EQ(c.upper, axis == AxisAngular ? 0 : 1);
  }
}

// Powder match: the thresholds shown as the shortest texts, reflections 0.3 channel apart sharing the first one's record,
// a reflection outside the interval fixed at 0.
TEST_F(Preparation, PowderMatchMergesCloseReflections) {
  MainMode = 2;
  TSpectrum& sp = Spectrum();
  ASSERT_TRUE(SetUpAluminium(1));
  const double step = 0.3 / (sp.DToChannel(2.0) / 2.0);  // d of 0.3 channel
  const double d[5] = {3.0, 2.0, 2.0 - step, 2.0 - 2 * step, 1.5};
  PhaseTable[1].ReflectionCount = 5, PhaseTable[1].MaxF = 1;
  for (int32_t j = 1; j <= 5; ++j) HklTable[j][1] = THklRecord{j, 0, 0, 1, 0.5, 0, 1, d[j - 1]};
  Script(false, [](int32_t, DialogScript& s) {
    s.Inspect([](TForm2& f) { EXPECT_EQ(f.Edit1.text + " " + f.Edit2.text, "0.5 1"); });
  });
  Prepare();
  const int32_t r = IntensityRecord(1, 0);
  EXPECT_EQ(std::vector<double>({parar[r + 1].upper, double(parar[r + 3].n), double(parar[r + 4].n)}),
            std::vector<double>({0.0, double(r + 2), double(r + 2)}));
  EXPECT_EQ(parar[r + 5].value, 2.5);  // 10 |F|^2, alone
  EXPECT_EQ(parar[ScaleRecord(1)].lower, parar[ScaleRecord(1)].upper);
}

// Links: two tetragonal phases with "Unit cell" linked (B of the right phase follows A of the
// left, not B, which follows A itself); three phases with symmetry links (phase 3 on phase 2 on
// phase 1); two anisotropic phases expanded to their equivalents with links.
TEST_F(Preparation, LinksGoToIndependentMasters) {
  Spectrum();
  Phase(1, kSystems[4]), Phase(2, kSystems[4]);
  Script(false, [this](int32_t p, DialogScript& s) {
    if (p == 2) s.Check(2);
    if (p == 2) ui.ExpectDialog("").Radio(1).Radio2(2).Check(2).Ok();
  });
  Prepare();
  ExpectSoundArray(FitParameters->NPar);
  EXPECT_EQ(parar[MetricRecord(2, 2)].n, MetricRecord(1, 1));
  EXPECT_EQ(parar[MetricRecord(2, 3)].n, MetricRecord(1, 3));
  EXPECT_EQ(parar[MetricRecord(2, 2)].value, parar[MetricRecord(1, 1)].value);

  ui.transcript.clear(), PhaseCount = 3;
  for (int32_t p = 1; p <= 3; ++p) Phase(p, kSystems[0]);
  PhaseTable[1].SpaceGroup = 2, ExpandSpaceGroup(1);  // P-1: x and -x
  PhaseTable[1].AtomCount = 1, AtomTable[1][1].MagneticFlag = 1;
  ExpandAtomsBySymmetry(1, 1), AtomTable[2][2].MagneticFlag = 0, ExpandAtomsBySymmetry(2, 1);
  for (int32_t p = 1; p <= 3; ++p) FormProfileReflections(p);
  Script(false, [](int32_t p, DialogScript& s) { if (p >= 2) s.Check(1); });
  Prepare();
  ExpectSoundArray(FitParameters->NPar);
  EXPECT_EQ(parar[AtomRecord(3, 1, 2)].n, AtomRecord(1, 1, 2));
  EXPECT_EQ(parar[AtomRecord(2, 2, 2)].a, -1);
  for (int32_t i = 2; i <= 4; ++i) EXPECT_EQ(parar[AtomRecord(3, 1, i)].value, parar[AtomRecord(1, 1, i)].value);

  ui.transcript.clear(), PhaseCount = 2;
  AnisotropyOn = 1, AnisotropicPhases[1] = AnisotropicPhases[2] = 1;
  for (int32_t p = 1; p <= 2; ++p) Phase(p, {"monoclinic_beta", 14, 2, 4}), PhaseTable[p].AtomCount = 1;
  ui.ExpectDialog("Preparing parameter array").Check(5).Ok();
  for (int32_t p = 1; p <= 2; ++p) ui.ExpectDialog("Prepare").Ok();
  ui.QueueAnswer(false), ui.ExpectDialog("Prepare").Ok();
  Prepare();
  ExpectSoundArray(FitParameters->NPar);
  for (int32_t p = 1; p <= 2; ++p) {
    ASSERT_EQ(PhaseTable[p].AtomCount, 4);  // P2_1/c: four equivalents
    for (int32_t a = 2; a <= 4; ++a) EXPECT_EQ(parar[AtomRecord(p, a, 2)].n, AtomRecord(p, 1, 2)) << p << " " << a;
  }
  EXPECT_EQ(ui.LastDialog().ListBox1.items.back(), "Symmetry changing took place");
}

// Records of the anisotropy block that were not reset: the lower bound never above the value.
TEST_F(Preparation, AnisotropyBoundsOnRecordsNotReset) {
  Spectrum();
  Phase(1, kSystems[4]);
  AnisotropyOn = 1, AnisotropicPhases[1] = 1, AnisotropyBound = 10;
  const int32_t s = ParameterCount(1);
  PhaseTable[1].Anisotropy[0] = -15, parar[s + 1].value = -15;
  SetAnisotropyRows();
  EXPECT_EQ(std::vector<double>({parar[s + 1].lower, parar[s + 1].upper, double(parar[s + 2].n)}),
            std::vector<double>({-25, -5, double(s + 1)}));
}

// Refusals: the message, checkRequested 0, and the tables and pending flags as they were.
TEST_F(Preparation, BadInputChangesNothing) {
  struct Case {
    const char* what;
    std::function<void()> setUp;
    std::function<void(ScriptedUi&)> script;
    Lines messages;
    bool recordsTouched = false;
  };
  auto first = [](std::string a, std::string b) {
    return [=](ScriptedUi& u) { u.ExpectDialog("Preparing").Cell(0, 0, a).Cell(1, 0, b).Ok(); };
  };
  auto phaseDialog = [](std::function<void(DialogScript&)> f) {
    return [=](ScriptedUi& u) {
      u.ExpectDialog("Preparing").Ok();
      for (int32_t p = 1; p < PhaseCount; ++p) u.ExpectDialog("Prepare").Ok();
      f(u.ExpectDialog("Prepare"));
    };
  };
  auto none = [](ScriptedUi&) {};
  const Case cases[] = {
      {"width law -1", [] { WidthMode = -1; }, none, {"Separate width for each peak is not served by the Rietveld model"}},
      {"axis any", [] { CurrentProfileSpectrum().AxisKind = AxisAny; }, none,
       {"Spectrum axis of any kind is not served by the Rietveld model"}},
      {"2theta step 0", [] { CurrentProfileSpectrum().AxisKind = AxisAngular, CurrentProfileSpectrum().ChanWidth = 0; },
       none, {"Wrong 2theta step of the spectrum: 0.0000"}},
      {"first dialog cancelled", [] {}, [](ScriptedUi& u) { u.ExpectDialog("Preparing").Cancel(); }, {}},
      {"bound below", [] {}, first("0", "900"), {"Wrong spectrum bound - 0"}},
      {"second bound above", [] {}, first("950", "99999"), {"Wrong spectrum bound - 99999"}},
      {"bound not a number", [] {},
       [](ScriptedUi& u) { u.ExpectDialog("Preparing").Cell(0, 0, "9x0").Cell(1, 0, "1000").Press(1).Cancel(); },
       {"Error, Spectrum 1 interval (column 1): \"9x0\" is not a number"}},
      {"two channels", [] {}, first("900", "901"), {"Wrong interval"}},
      {"accuracy cancelled", [] {}, phaseDialog([](DialogScript& s) { s.Cancel(); }), {}},
      {"accuracy not a number", [] {}, phaseDialog([](DialogScript& s) { s.Field(1, 1, "5%").Press(1).Cancel(); }),
       {"Error, For Unit Cell parameters(%): \"5%\" is not a number"}},
      {"cell percentage abc, then Esc", [] {},
       phaseDialog([](DialogScript& s) {
         s.Field(1, 1, "abc").Press(1).Inspect([](TForm2& f) { EXPECT_EQ(f.StringGrid1.Cell(0, 0), "abc"); }).Esc();
       }),
       {"Error, For Unit Cell parameters(%): \"abc\" is not a number"}},
      {"symmetry links on hexagonal", [] { PhaseCount = SetUpZincOxide(2) ? 2 : 0; }, phaseDialog([](DialogScript& s) { s.Check(1).Ok(); }), {"Not applicable to hexagonal symmetry"}},
      {"atoms not the symmetry's", [] { Phase(2, kSystems[0]); }, phaseDialog([](DialogScript& s) { s.Check(1).Ok(); }),
       {"Number of atoms not that of symmetry transforms" + LineBreak + "To form all symmetric atoms make it by key Rietveld"}},
      {"Fitra mode", [] { MainMode = 3; }, none, {}},
      // Powder match: 4 background, 3 phase, 607 intensity records (1.5 channels apart) and the delay.
      {"615 free parameters",
       [] {
         MainMode = 2, DelayDeviation = 1, PhaseTable[1].ReflectionCount = 607;
         const double perAngstrom = CurrentProfileSpectrum().DToChannel(1.0);
         for (int32_t j = 1; j <= 607; ++j) HklTable[j][1] = THklRecord{1, 1, 1, 8, 1, 0, 1, (1410 - 1.5 * j) / perAngstrom};
       },
       phaseDialog([](DialogScript& s) { s.Ok(); }), {"Number of free parameters > 200" + LineBreak + " Take shorter interval"},
       true},
      {"zero structure factors", [] { PhaseTable[1].MaxF = 0; }, phaseDialog([](DialogScript& s) { s.Ok(); }),
       {"Zero structure factors, phase=1"}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WidthMode = 0, PhaseCount = 1, MainMode = 0, DelayDeviation = 0;
    TSpectrum& sp = Spectrum();
    Phase(1, kSystems[5]);
    c.setUp();
    ui.transcript.clear();
    c.script(ui);
    std::vector<ParameterRecord> before(parar, parar + MaxParameters + 1);
    const LATTICE phase = PhaseTable[1];
    const std::vector<int> state = {sp.WorkFirst, sp.WorkLast, sp.BackgroundDegree, ParametersPending[0], FitPending[0]};
    EXPECT_EQ(Prepare(), 0);
    EXPECT_EQ(ui.Messages(), c.messages);
    EXPECT_EQ(PhaseDifferences(phase, PhaseTable[1]), Lines{});
    EXPECT_EQ(state, (std::vector<int>{sp.WorkFirst, sp.WorkLast, sp.BackgroundDegree, ParametersPending[0], FitPending[0]}));
    bool same = true;
    for (int32_t i = 1; i <= MaxParameters; ++i)
      same = same && parar[i].n == before[i].n && parar[i].value == before[i].value && parar[i].lower == before[i].lower;
    EXPECT_EQ(same, !c.recordsTouched);
    for (int32_t i = 1; i <= MaxParameters; ++i) parar[i] = ParameterRecord{};
  }
}

// An available array of the prepared size is kept; of another size it is prepared afresh.
TEST_F(Preparation, UseAvailableArray) {
  Spectrum();
  Phase(1, kSystems[5]);
  Script();
  Prepare();
  const int32_t n = FitParameters->NPar;
  ParametersPending[0] = 1, UseAvailableArray[0] = 1, parar[3].value = 77;
  ui.ExpectDialog("Preparing").Inspect([](TForm2& f) { EXPECT_TRUE(f.CheckListBox1.Checked(0)); }).Ok();
  EXPECT_EQ(Prepare(), 0);
  EXPECT_EQ(std::vector<double>({parar[3].value, double(ParametersPending[0])}), std::vector<double>({77, 0}));

  PreparedParameterCount = n + 5;
  ui.ExpectDialog("Preparing").Ok();
  ui.ExpectMessage("New number of parameters differs from old");
  ui.ExpectDialog("Prepare").Ok();
  ui.QueueAnswer(false), ui.ExpectDialog("Prepare").Ok();
  EXPECT_EQ(Prepare(), 1);
  EXPECT_EQ(std::vector<double>({parar[3].value, double(PreparedParameterCount)}), std::vector<double>({0, double(n)}));
}

}  // namespace

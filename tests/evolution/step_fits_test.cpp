// The per-step fits against known truths: noisy peaks of known positions, a profile made at known
// cells, the committed synthetic sequence; and the rules around the engine.
#include <gtest/gtest.h>
#include <array>
#include <algorithm>
#include <cstdio>
#include <utility>
#include <string>
#include <tuple>
#include "core/spectra_utilities.h"
#include "crystal/parameter_editor.h"
#include "crystal/profile_model.h"
#include "core/messages.h"
#include "evolution/step_display.h"
#include "evolution/sequence_driver.h"
#include "evolution/step_fixture.h"
#include "support/golden_files.h"

namespace {

using Row = std::array<double, 3>;  // lower, value, upper

// A bound the fit ended on moves away from the value on either side of 0 (the mended rule); the
// W0 record and the peak table's bounds hold; only on the first run and with the option.
TEST_F(StepTest, CheckFitWidensBoundsAwayFromTheValue) {
  TParameter& fit = *FitParameters;
  MarkedPointCount = 1, TrevoPeakTable[1].lower = 95, TrevoPeakTable[1].upper = 105;
  for (auto [keep, repeated, chi] : {std::tuple{true, 0, 1.0}, {false, 0, 5.0}, {true, 1, 5.0}}) {
    SetRecords(std::vector<double>(20, 1.0));
    for (const auto& [i, r] : {std::pair{1, Row{10, 10, 20}}, {2, {0, 10, 10}}, {3, {-10, -10, 0}},
                               {4, {-20, -10, -10}}, {8, {100, 100, 110}}, {9, {10, 10, 20}}})
      Rec(i).lower = r[0], Rec(i).value = r[1], Rec(i).upper = r[2];
    fit.ParOnB = fit.Conv = fit.MatInv = 1, fit.ChiDf = chi, fit.ChiPlus = 0.5, fit.Eps = 0, fit.EpsReq = fit.Step = 1;
    KeepParameterBounds = keep, TraceCaption = " Simple FITRA:  ";
    CheckFitAndWidenBounds(repeated);
    const bool widened = keep && repeated == 0;
    EXPECT_EQ(BoundsWidened, widened);
    using Seven = std::array<double, 7>;
    EXPECT_EQ((Seven{Rec(1).lower, Rec(2).upper, Rec(3).lower, Rec(4).upper, Rec(8).lower, Rec(8).upper, Rec(9).lower}),
              (widened ? Seven{8, 12.5, -12.5, -8, 95, 105, 10} : Seven{10, 10, -10, -10, 100, 110, 10}));
    EXPECT_EQ(ControlsRelaxed, chi > 3);  // the quality flag of chi2/df relaxes the controls
  }
  EXPECT_EQ(LogLines()[0], " Simple FITRA:   Chi2/fd=         1.00     chi2+=    0.50");
}

// The close-peak split: starts 0.4 apart get the bounds m -/+ 0.5, each start put inside its own.
TEST_F(StepTest, ClosePeaksSplitTheirBoundsWithTheStartsInside) {
  for (int32_t i = 1; i <= 2; ++i) parar[8 + i].lower = 96.6 + 0.4 * i, parar[8 + i].upper = 102.6 + 0.4 * i;
  parar[9].value = 100, parar[10].value = 100.4;
  SplitCloseBounds(2, 1.0);
  for (auto [got, want] : {std::pair{parar[9].upper, 99.7}, {parar[9].value, 99.7}, {parar[10].lower, 100.7}})
    EXPECT_NEAR(got, want, 1e-12);
  EXPECT_NEAR(parar[10].value, 100.7, 1e-12);
}

// Four Gaussian peaks with Poisson noise: each fitted position within three of its standard
// deviations (scaled by sqrt(chi2/df) when above 1) of the truth, at most one repeat, one block;
// then a step from the previous positions with Regulizer 1, shown in the step graph.
TEST_F(StepTest, SimpleStepRecoversKnownPeaksWithinTheirErrors) {
  const std::vector<double> truth = {180.3, 290.7, 420.2, 515.6};
  PeakSpectrum(truth, {3000, 1500, 2500, 800}, 5.0, 40);
  MarkedPointCount = 4;
  for (int32_t i = 1; i <= 4; ++i) TrevoPeakTable[i] = {truth[i - 1] - 8, truth[i - 1] + 2, truth[i - 1] + 8, 1, 0};
  DialogCaption = "Sequence analysis";
  ui.ExpectDialog("Sequence analysis").Inspect([&](TForm2& f) {  // the step graph: a caret under each peak
    for (int32_t i = 1; i <= 4; ++i) {
      const int32_t x = static_cast<int32_t>(std::nearbyint(Scaled(290) * (parar[10 + i].value - 100) / 500)) + 1;
      EXPECT_EQ(f.Image1.canvas.GetPixel(x - 3, Scaled(StepCaretRow) + 4), YellowColor) << i;
    }
  }).Ok();
  for (int32_t step = 1; step <= 2; ++step) {
    Regulizer = step - 1, CurrentStep = step, DialogWhileFitting = step == 2;
    FitSpectrumSimple(step);
    for (int32_t i = 1; i <= 4; ++i) {
      EXPECT_LT(std::fabs(parar[10 + i].value - truth[i - 1]), 3 * parar[10 + i].Error) << i;
      EXPECT_EQ(TrevoPeakTable[i].previous, parar[10 + i].value);
    }
  }
  const Strings log = LogLines();
  const auto runs = std::count_if(log.begin(), log.end(), [](auto& l) { return l.rfind(" Simple FITRA:  ", 0) == 0; });
  EXPECT_TRUE(runs >= 2 && runs <= 4) << runs;
  EXPECT_NE(QuorinFile.Contents().find("#Step        1\r\n* Spectrum\r\nrun1.dat\r\n    4 peaks processed\r\n"), std::string::npos);
}

// The first Rietveld step: the quiet preparation, the carried cells (0.1 % off) into the metric
// records, one fit of a noiseless profile made at the truth, the refined cells carried on. The
// hexagonal phase guards the order of the cross terms (hk on kl would move its reflections).
TEST_F(StepTest, RietveldStepRefinesTheCarriedCellsToTheTruth) {
  MainMode = 0, PhaseCount = 2, TrevoMode = 2, UseAvailableParameterArray = 0;
  TSpectrum& sp = SetUpProfileSpectrum(ProfileSpectrum{});
  sp.W0 = sp.W1 = 6, sp.Dw0 = 2, sp.BackgroundDegree = 1, IntervalFirst = sp.WorkFirst, IntervalLast = sp.WorkLast;
  ASSERT_TRUE(SetUpAluminium(1));
  ASSERT_TRUE(SetUpPhase(2, 191, 1, {3, 3, 5, 90, 90, 120}, {IsoAtom(0.6, 0, 0, 0), IsoAtom(0.4, 0, 0, 0.5)}));
  const double d1 = sp.ChannelToD(sp.WorkFirst), d2 = sp.ChannelToD(sp.WorkLast);
  for (int32_t p = 1; p <= 2; ++p) SetShape(p + 1, ModelGauss), FormSymmetricHklList(p, std::min(d1, d2), std::max(d1, d2));
  LayOutProfileParameters();
  for (auto [i, v] : {std::pair{4, 300.0}, {11, 40.0}, {31, 25.0}, {18, 6.0}, {38, 6.0}, {19, 0.0}, {39, 0.0}}) SetRecord(i, v);
  for (int32_t c = sp.WorkFirst; c <= sp.WorkLast; ++c)
    sp.Y[c] = ModelAt(RietveldModel, c - sp.WorkFirst + 1), sp.E[c] = std::sqrt(sp.Y[c]);
  for (TTrevoPhase* t : {&TrevoPhases[1], &TrevoPhases[2]}) {
    for (int32_t i = 0; i < 6; ++i) t->Cell[i] = PhaseTable[t - TrevoPhases].Cell[i] * (i < 3 ? 1.001 : 1);
    CellMetric(t->Cell, t->ReciprocalCell, t->Volume, 0);
  }
  const LATTICE truth[3] = {PhaseTable[0], PhaseTable[1], PhaseTable[2]};
  DefaultFitControls.GNIter = 30, DefaultFitControls.Step = 1, DefaultFitControls.Damp = 1e-6;
  ui.QueueAnswer(true);  // the scaling correction of the preparation
  FitSpectrumRietveld(1);
  for (int32_t p = 1; p <= 2; ++p)
    for (int32_t i = 0; i < 3; ++i) EXPECT_NEAR(TrevoPhases[p].Cell[i], truth[p].Cell[i], 1e-6 * truth[p].Cell[i]) << p;
}

// The committed synthetic sequence (tools/gen_trevo_sequence.py) in the Rietveld kind as a user
// would run it: the generator's atoms, cells 0.1 % off, fit controls as an INI file gives them. At
// every step a and the LiFePO4 fraction of the two scales within three (scaled) deviations.
TEST_F(StepTest, RietveldKindFollowsTheSyntheticSequence) {
  const std::vector<Tokens> truth = GoldenRows("sequence/truth.txt", "evolution");
  KeepValues<uint8_t> kept[2] = {{&FitControlsGiven, 1}, {&CorrectForEffectiveSpectrum, 1}};
  SpectrumDir = std::string(VKEST_SOURCE_DIR) + "/tests/evolution/data/sequence";
  TextFile list;
  ReadSpectrumSequence(list, SpectrumDir + "/sequence.lst", SequenceCount, 2);
  TSpectrum& sp = Sp(1);
  sp.FileType = 3, sp.FirstChannel = 1, sp.ChanWidth = 16, sp.FlightPath = 21.13, sp.Theta = 76, sp.Delay = 0;
  sp.WorkFirst = 880, sp.WorkLast = 2560, sp.W0 = sp.W1 = 2.5, sp.Dw0 = 1.5, sp.BackgroundDegree = 3;
  CorrectForEffectiveSpectrum = 0, TrevoMode = 2, MainMode = 0, PhaseCount = 2, isp1 = isp2 = 0;
  FitControlsGiven = 1, DefaultFitControls.GNIter = 25, DefaultFitControls.Step = 1, DefaultFitControls.Damp = 1e-4;
  std::vector<TestAtom> atoms[3];
  std::array<double, 6> cells[3];
  for (const Tokens& r : truth) {
    if (r[0] == "atom") atoms[std::stoi(r[1])].push_back(IsoAtom(std::stod(r[3]), std::stod(r[4]), std::stod(r[5]),
                                                                 std::stod(r[6]), std::stod(r[8]), std::stod(r[7])));
    if (r[0] == "phase")
      for (int32_t i = 0; i < 6; ++i) cells[std::stoi(r[1])][i] = std::stod(r[5 + i]) * (i < 3 ? 1.001 : 1);
  }
  for (int32_t p = 1; p <= 2; ++p) SetShape(p + 1, ModelGauss), TrevoPhases[p].ReflectionCount = 0;
  ASSERT_TRUE(SetUpPhase(1, 62, 1, cells[1], atoms[1]) && SetUpPhase(2, 62, 1, cells[2], atoms[2]));
  ui.ExpectDialog("").Check(6).Ok();  // " Full result output": the cells and scales with their errors
  ui.QueueAnswer(true);  // the scaling correction of the first step's preparation
  EXPECT_TRUE(AnalyzeSpectrumSequence());
  // Per step: the edge a of phase 1 and both scales with their errors from the full result.
  std::vector<std::array<double, 6>> fitted;  // a, sa, scale1, s1, scale2, s2
  std::array<double, 6> v{};
  int32_t p = 0;
  for (const std::string& line : LogLines()) {
    double x = 0, e = 0;
    if (std::sscanf(line.c_str(), "Phase%d %lf", &p, &x) == 2) v[2 * p] = x;
    if (std::sscanf(line.c_str(), "     +- %lf", &e) == 1) v[2 * p + 1] = e;
    if (std::sscanf(line.c_str(), " A     = %lf +- %lf", &x, &e) == 2 && p == 1) v[0] = x, v[1] = e;
    if (std::sscanf(line.c_str(), " A     = %lf", &x) == 1 && p == 2) fitted.push_back(v), v = {};
  }
  ASSERT_EQ(fitted.size(), 20u);
  double sw = 0, sx = 0, sy = 0, sxx = 0, sxy = 0, previous = 0;
  for (const Tokens& r : truth) {
    if (r[0] != "step") continue;
    const int32_t s = std::stoi(r[1]);
    const auto& [a, sa, s1, e1, s2, e2] = fitted[static_cast<size_t>(s - 1)];
    EXPECT_LT(std::fabs(a - std::stod(r[3])), 3 * sa) << s;
    const double f = s2 / (s1 + s2), ef = std::hypot(s2 * e1, s1 * e2) / std::pow(s1 + s2, 2);
    EXPECT_LT(std::fabs(f - std::stod(r[8])), 3 * ef) << s;
    EXPECT_GT(f, std::exchange(previous, f)) << s;
    const double w = 1 / (sa * sa);  // the weighted straight line a(s)
    sw += w, sx += w * s, sy += w * a, sxx += w * s * s, sxy += w * s * a;
  }
  const double slope = (sw * sxy - sx * sy) / (sw * sxx - sx * sx), error = std::sqrt(sw / (sw * sxx - sx * sx));
  EXPECT_LT(std::fabs(slope - (9.863269995 - 9.814199) / 19), 3 * error);
  // 20 blocks, read back by the cell path numbered from isp1 (1).
  ui.ExpectDialog("Display evolution").Edit(1, "1").Ok(), ui.ExpectDialog("Display evolution").Cancel();
  LogFile.RewriteToMemory("log");
  DisplayEvolution();
  EXPECT_EQ(LogLines().size() == 22 ? LogLines()[21].substr(0, 4) : "", "  20");
}

}  // namespace

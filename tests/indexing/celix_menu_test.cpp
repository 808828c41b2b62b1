// The Celix menu and Make through the scripted dialogs (known cells: celix_acceptance_test.cpp):
// preselection and refusals, " Indexing only" with the space group, unit-cell determination, the
// bins with their 64-bit total (fault 2), a second search, the log, the cell update (fault 1).
#include <array>
#include <set>
#include "core/cell_geometry.h"
#include "core/random.h"
#include "indexing/celix_menu.h"
#include "indexing/indexing_results.h"
#include "indexing_setup.h"

namespace {

class CelixMenuTest : public IndexingTest {
protected:
  void Pick(int32_t item) { ui.ExpectDialog("(Celix)").Radio(item).Ok(); }
  void Leave() { ui.ExpectDialog("(Celix)").Cancel(); }
  // Prepare with the automatic options: mode, system and lattice type of phase 1.
  void ScriptPrepare(int32_t mode, int32_t system, int32_t type = 0) {
    Pick(2);
    ui.ExpectDialog(" Phase= 1").Radio(mode).Combo(system).Radio2(type + 1).Ok();
    ui.ExpectDialog(" Phase= 1").Ok();
    ui.ExpectDialog("Set lattice parameters").Ok();
  }
  KeepValues<uint8_t> unsaved_{ResultsUnsaved, ModeCount}, pending_{ParametersPending, ModeCount},
      fitPending_{FitPending, ModeCount};
  KeepValues<int32_t> bins_{&BinCounts[0][0], (MaxPhases + 1) * 7}, binTries_{&BinTriesDefault, 1};
};

TEST_F(CelixMenuTest, PreselectionAndRefusalsFollowTheFlags) {
  auto menu = [this](int32_t shown) -> DialogScript& {
    return ui.ExpectDialog("(Celix)").Inspect([shown](TForm2& f) { EXPECT_EQ(f.RadioGroup1.itemIndex + 1, shown); });
  };
  DSpacingCount = 0;
  menu(1).Radio(2).Ok();
  ui.ExpectMessage("Error, no d-spacings for indexing");
  menu(1).Cancel();
  CelixMain();
  SetLines(GoldenLines());
  ParametersPending[1] = 1, FitPending[1] = 1;
  menu(2).Radio(3).Ok();
  ui.ExpectMessage("First make the preparation");
  menu(2).Radio(5).Ok();
  ui.ExpectMessage("First make the fitting");
  menu(3).Cancel();
  CelixMain();
  ResultsUnsaved[1] = 1;  // unsaved results kept at Prepare leave the menu
  Pick(2);
  ui.ExpectQuestion(ModeNames[1] + " parameters not saved. Still exit?", false);
  CelixMain();
}

// " Indexing only" assigns the prepared cell with no dialog, also with the space group P-1 given
// in the phase editor (no reflection then keeps its inverse); unit-cell determination then fits
// the indices found from a start 3 % off.
TEST_F(CelixMenuTest, IndexingOnlyAndUnitCellDeterminationSucceed) {
  SetLines(GoldenLines());
  NoCrystalInfo = 0;
  const double cell[6] = {5.1, 6.3, 7.7, 90, 90, 90};
  std::copy(cell, cell + 6, PhaseTable[1].Cell);
  for (const bool group : {false, true}) {
    Pick(2);
    if (group) ui.QueueAnswer(true);  // the first results are not saved: go on
    ui.ExpectDialog(" Phase= 1").Radio(1).Combo(1).Check(6, group).Ok();
    ui.ExpectDialog(" Phase= 1").Ok();
    ui.ExpectDialog("Set lattice parameters").Ok();
    if (group) ui.ExpectDialog("Phase information").Field(1, 1, "2").Field(2, 1, "1").Ok();
    Pick(3);
    ui.ExpectMessage("Indexing done");
    Leave();
    CelixMain();
    // 57.29578 degrees per radian leave 90 degrees a cosine of about 1e-8: d within 1e-6.
    for (int32_t i = 1; i <= DSpacingCount; ++i)
      EXPECT_NEAR(DSpacingList[i].DCalc, DSpacingList[i].d, 1e-6 * DSpacingList[i].d) << i;
    EXPECT_EQ(std::vector<int32_t>({TrialCounter, FitPending[1], PhaseTable[1].SpaceGroup}),
              std::vector<int32_t>({1, 0, group ? 2 : 0}));
    std::set<std::array<int32_t, 3>> seen;  // P-1: a reflection and its inverse share one key
    for (int32_t j = 1; j <= PhaseTable[1].ReflectionCount && group; ++j) {
      const THklRecord& r = HklTable[j][1];
      EXPECT_TRUE(seen.insert(std::max<std::array<int32_t, 3>>({r.h, r.k, r.l}, {-r.h, -r.k, -r.l})).second) << j;
    }
  }
  Pick(2);
  ui.QueueAnswer(true);
  ui.ExpectDialog(" Phase= 1").Radio(3).Combo(3).Ok();
  ui.ExpectDialog(" Phase= 1").Ok();
  ui.ExpectDialog("Set lattice parameters").Field(1, 2, "5.25").Field(2, 2, "6.1").Field(3, 2, "7.9").Ok();
  Pick(3);
  // The user's Delta and Beta of the robust weights (far above every residual here).
  ui.ExpectDialog("Check the data and make the fit").Field(5, 1, "1e5").Field(6, 1, "2e5").Ok();
  ui.QueueAnswer(true);
  Leave();
  CelixMain();
  // Within 0.05 %: the iterations end on the accuracy limit 0.1 of the mode.
  for (int32_t e = 0; e < 3; ++e) EXPECT_NEAR(PhaseTable[1].Cell[e], cell[e], 5e-4 * cell[e]) << e;
  EXPECT_EQ(std::make_pair(DefaultFitControls.Delta, DefaultFitControls.Beta), std::make_pair(1e5, 2e5));
}

// A bin that is no number is named and Cancel ends Make; a negative bin is named and typed again
// (not taken as its absolute value); the total of tries is a 64-bit product and No asks for the bins again;
// No to "Stop fitting?" searches again; the log block of the run, which counts the trials run, not
// the eight bins of each search: one of each, since the first trial of the first (with the starts
// from the lines' metrics) and of the second (the best cell) fits the exact lines within 1e-4 A
// and ends it.
TEST_F(CelixMenuTest, BinsTotalsAndRepeatedSearchesReachTheLog) {
  SetLines(GoldenLines());
  ASSERT_TRUE(SetRandomSeeds(4, 5));
  ScriptPrepare(2, 3);
  Pick(3);
  ui.ExpectDialog("Check the data and make the fit").Ok();
  ui.ExpectDialog("Set the bin amounts").Field(1, 1, "x").Press(1).Cancel();
  ui.ExpectMessage("Error, Number of bins in A: \"x\" is not a number");
  Pick(3);
  ui.ExpectDialog("Check the data and make the fit").Ok();
  ui.ExpectDialog("Set the bin amounts").Field(1, 1, "100000").Field(2, 1, "100000").Field(3, 1, "100000").Ok();
  ui.ExpectQuestion("Total N of tries= 1000000000000000", false);
  ui.ExpectDialog("Set the bin amounts").Field(1, 1, "2").Field(2, 1, "-3").Field(3, 1, "2").Press(1)
      .Inspect([](TForm2& f) { EXPECT_EQ(f.StringGrid1.Cell(0, 1), "-3"); }).Field(2, 1, "2").Ok();
  ui.ExpectMessage("Error, Number of bins in B = -3 is out of range (at least 1)");
  ui.ExpectQuestion("Total N of tries= 8", true);
  ui.QueueAnswer(false);  // "Stop fitting?" No: a second search
  ui.QueueAnswer(true);
  Leave();
  CelixMain();
  const std::vector<std::string> log = LogLines();
  ASSERT_GE(log.size(), 7u);
  const std::vector<std::string> want = {std::string(72, '*'),
                                         "* Starting Powder Indexing     Mode=  Full powder indexing",
                                         "* Phase 1  Minimizer =     0.000000  symmetry= orthorhombic",
                                         "  HKL_max/min_ph1    7   0    7   0    7    V_max=   1026   N_ref=  511",
                                         "  Par_max_ph1   15.90   15.90   15.90   90.00   90.00   90.00",
                                         "  Par_min_ph1    2.00    2.00    2.00   90.00   90.00   90.00",
                                         "* N of trials =        2"};
  EXPECT_EQ(std::vector<std::string>(log.end() - 7, log.end()), want);
}

// Esc on the progress window of a long search (4096 grid trials, the window every 100) ends it
// with its best cell so far, which Make offers with "Stop fitting?"; the log counts the 300 trials
// run, not the 4096 the search would have run.
TEST_F(CelixMenuTest, EscOnTheProgressWindowEndsTheSearchWithItsBestCell) {
  std::vector<double> d = GoldenLines();  // noisy: no trial fits within 1e-4 A, no early end
  for (size_t i = 0; i < d.size(); ++i) d[i] *= 1 + 2e-4 * std::sin(2.3 * double(i) + 0.7);
  SetLines(d);
  ASSERT_TRUE(SetRandomSeeds(4, 5));
  DisplayCurrentFit = 1;
  ScriptPrepare(2, 3);
  Pick(3);
  ui.ExpectDialog("Check the data and make the fit").Ok();
  ui.ExpectDialog("Set the bin amounts").Ok();
  ui.QueueAnswer(true);  // "Total N of tries= 4096"
  ui.AtYield(3, [] { Form2.FormKeyPress(27); });
  ui.QueueAnswer(true);  // "Stop fitting?"
  Leave();
  CelixMain();
  EXPECT_EQ(ui.YieldCount(), 3);  // the search ended at the window closed, not after some 40 windows
  EXPECT_EQ(LogLines().back(), "* N of trials =      300");
  for (int32_t m = 1; m <= 6; ++m) EXPECT_EQ(CelixFitter->Records[m].value, BestValues[m]) << m;
  EXPECT_GT(CelixFitter->BestMerit, 0);
}

// Monoclinic setting 1 takes its c-unique form; angle errors sigma_cos x 57.2958 / sin, 0 at a
// cosine of 1 (fault 1); the volume weights use the exponent 0.677777 (numbers by python).
TEST_F(CelixMenuTest, CellUpdateSwapsMonoclinicSettingOneAndGuardsAngleErrors) {
  SetLines(std::vector<double>(8, 1.0));
  TAULSM& fit = *CelixFitter;
  fit.NPar = 12, PhaseCount = 2;
  const double v[12] = {4, 5, 6, 0, -0.25, 0, 4, 4, 4, 1, 0.5, 0.5};
  for (int32_t i = 1; i <= 12; ++i) fit.Records[i].value = v[i - 1], fit.Records[i].Error = 0.01 * i;
  PhaseTable[1].CrystalSystem = 2, PhaseTable[1].Setting = 1, PhaseTable[2].CrystalSystem = 1;
  UpdatePhaseCells();
  const LATTICE& m = PhaseTable[1];
  EXPECT_EQ(std::vector<double>({m.Cell[0], m.Cell[1], m.Cell[2]}), std::vector<double>({4, 6, 5}));
  EXPECT_NEAR(m.Cell[5], 104.4775, 1e-3);  // arccos(-0.25)
  EXPECT_NEAR(m.CellErrors[5], 0.05 * 57.2958 / std::sqrt(1 - 0.0625), 1e-9);
  EXPECT_NEAR(m.CellErrors[4], 0.04 * 57.2958, 1e-9);
  EXPECT_EQ(PhaseTable[2].CellErrors[3], 0);
  SetVolumeWeights();  // v = 64 / 8 for phase 2
  EXPECT_NEAR(VolumeWeights[2], 0.24429038720969262, 1e-12);
}

}  // namespace

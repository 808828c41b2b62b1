// The demonstrations of the test menu as a new user runs them: " TestRietveld" then the
// refinement menu, " Set ZrO2 data" then Celix, " Set small peak spectrum" then Fitra.
#include <gtest/gtest.h>
#include "core/cell_geometry.h"
#include "core/numeric_arrays.h"
#include "core/random.h"
#include "indexing/indexing_results.h"
#include "crystal/truth_setup.h"
#include "indexing/indexing_setup.h"
#include "peaks/fitra_state.h"
#include "support/golden_files.h"
#include "support/session_random.h"

namespace {

class RietveldDemonstration : public TruthTest {
protected:
  RietveldDemonstration() : TruthTest("testdata_demo") {}
  KeepValues<int32_t> keep_[2] = {{&NChannels, 1}, {&MainMode, 1}};
};

TEST_F(RietveldDemonstration, RefinementReturnsTheGeneratingCell) {
  ui.ExpectDialog("Test").Radio(3).Ok();
  TestMenu();
  ASSERT_EQ(GraphMode, 1);
  MainMode = 0;
  ui.QueueAnswer(true);  // not normalized: proceed
  ui.ExpectDialog(ModeNames[0]).Radio(2).Ok();
  ui.ExpectDialog("Preparing parameter array").Ok();
  ui.ExpectDialog("Prepare " + ModeNames[0]).Ok();
  ui.QueueAnswer(true);  // the scaling correction
  ui.ExpectDialog("Prepare").Ok();
  ui.ExpectDialog("Parameter array").Ok();
  ui.ExpectDialog(ModeNames[0]).Radio(3).Ok();
  ui.ExpectDialog("Check the Fit Controls").Field(1, 1, "30").Ok();
  ui.ExpectDialog("").Ok();  // the warnings before the fit
  ui.ExpectDialog(ModeNames[0]).Ok();  // the fit's summary, no repeat
  ui.ExpectDialog(ModeNames[0]).Radio(6).Ok();
  FitActionMenu();
  EXPECT_EQ(std::make_pair(int32_t{FitPending[0]}, FitParameters->MatInv), std::make_pair(0, 1));
  // The data leave the model family only through their incident flux (see the generator): the
  // cell stays within 3 standard deviations and 0.05 % of the generating one.
  const LATTICE& ph = PhaseTable[1];
  const double truth[6] = {5.15367, 5.21982, 5.31867, 90, 99.199, 90};
  for (int i : {0, 1, 2, 4}) {
    EXPECT_NEAR(ph.Cell[i], truth[i], 5e-4 * truth[i]) << i;
    EXPECT_NEAR(ph.Cell[i], truth[i], 3 * ph.CellErrors[i]) << i;
  }
  EXPECT_NEAR(FitParameters->Records[18].value, 7.0, 0.05);  // the header's width
}

class CelixDemonstration : public IndexingTest {
protected:
  KeepValues<uint8_t> unsaved_{ResultsUnsaved, ModeCount};
  KeepValues<std::string> cell_{&TestTrueCell, 1};
};

// Each set of the autoindexing test through Celix as a new user runs it (the true crystal system,
// type P, the automatic options, Save Results): the cell of the stated volume with the stated
// edges, from a new session's random state and from five others (shift 16 once sent the
// orthorhombic set's grid search to a cell of 2/3 the volume that leaves a line unindexed).
struct CelixCase {
  int32_t set, system;
  double volume;
  std::vector<double> edges;  // ascending
};
void PrintTo(const CelixCase& c, std::ostream* os) { *os << "set " << c.set; }

class CelixSets : public CelixDemonstration, public ::testing::WithParamInterface<CelixCase> {};

TEST_P(CelixSets, GiveTheirTrueCellsOnEverySeed) {
  const CelixCase& c = GetParam();
  for (const int32_t shift : {0, 1, 2, 3, 4, 16}) {
    ASSERT_TRUE(SeedAsStartedSession(7919 * shift, 104729 * shift));
    ui.ExpectDialog("Test").Radio(4).Ok();
    ui.ExpectDialog("Set the data for autoindexing test").Radio(c.set).Ok();
    TestMenu();
    ScriptDefaultIndexing(c.system, 1);
    CelixMain();
    ShowIndexingResults(3);
    const ParameterRecord* p = CelixFitter->Records.data();
    std::vector<double> edges{p[1].value, p[2].value, p[3].value};
    std::sort(edges.begin(), edges.end());
    const double v = CellVolumeFromCosines(p[1].value, p[2].value, p[3].value, p[4].value, p[5].value, p[6].value);
    EXPECT_NEAR(v, c.volume, 0.01 * c.volume) << "seed shift " << shift;
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(edges[i], c.edges[i], 0.02) << i << " seed shift " << shift;
  }
}

INSTANTIATE_TEST_SUITE_P(AutoindexingSets, CelixSets,
                         ::testing::Values(CelixCase{1, 2, 141.2, {5.15, 5.22, 5.32}},  // " Set ZrO2 data"
                                           // " Set OrthoRhombic": A=6.98 B=9.18 C=6.50 V=416.6
                                           CelixCase{2, 3, 416.6, {6.50, 6.98, 9.18}},
                                           // " Set Cubic": the primitive cell of a = 2.0268
                                           CelixCase{3, 5, 8.326, {2.0268, 2.0268, 2.0268}}),
                         [](const ::testing::TestParamInfo<CelixCase>& p) { return "Set" + std::to_string(p.param.set); });

class FitraDemonstration : public CelixDemonstration {
  FreshEngine engine_;
  KeepValues<int32_t> graph_{&GraphMode, 1};
};

TEST_F(FitraDemonstration, SmallPeakIsFoundAndFittedWithItsWidth) {
  ui.ExpectDialog("Test").Radio(5).Ok();
  ui.ExpectDialog("Set the data for peak analysis test").Ok();
  TestMenu();
  auto menu = [&](int32_t item) { ui.ExpectDialog("PEAK / EXPONENTIAL  FITTING").Radio(item).Ok(); };
  menu(1), ui.ExpectDialog("Find the Peaks").Ok();  // the default sensitivity reports no noise
  ui.ExpectDialog("Find the Peaks").Ok();
  menu(3), ui.ExpectDialog("Preparing parameter array").Radio(3).Ok();
  ui.ExpectDialog("Parameter array").Ok();
  menu(5), ui.ExpectDialog("Check the Fit Controls").Ok();
  ui.ExpectDialog("Peak Fit").Ok();
  menu(8);
  FitraMenu();
  ASSERT_EQ(MarkedPointCount, 1);
  EXPECT_NEAR(parar[PositionRecord(1, 1)].value, 129, 1);
  // The generator's Gaussian has a full width at half maximum of 6 channels; W0 and W1 of one
  // peak are one width at its place, W0 + W1 u. A peak of about 4000 counts fixes it to about 2 %.
  const double u = (2 * parar[PositionRecord(1, 1)].value - 1 - 1619) / (1619 - 1);
  const double width = parar[WidthW0Record(1, 1)].value + parar[WidthW0Record(1, 1) + 6].value * u;
  EXPECT_NEAR(width, 6.0, 0.3);
}

}  // namespace

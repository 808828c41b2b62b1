// The preparation end to end through the scripted dialogs: the record layout of two phases, the
// automatic bounds and volumes, exchanged bounds, every refusal with its message and the tables
// put back, the rhombohedral reflections against gemmi; the default bins, the line-count test and
// the reset's switches.
#include <gmock/gmock.h>
#include <functional>
#include "core/cell_geometry.h"
#include "core/model_tables.h"
#include "indexing_setup.h"

namespace {

class PreparationTest : public IndexingTest {};

// Ten lines from d1 = 10 to dlast = 1.
std::vector<double> TenLines() { return {10, 9, 8, 7, 6, 5, 4, 3, 2, 1}; }

TEST_F(PreparationTest, TwoPhasesGiveTheRecordLayoutAndBounds) {
  SetLines(TenLines());
  PrepareAuto({3, 5});
  const TAULSM& fit = *CelixFitter;
  EXPECT_EQ(std::vector<int32_t>({ParametersPending[1], MainMode, ParameterArrayMode}), std::vector<int32_t>({0, 1, 1}));
  // |h| = |a . r*| <= a / d: the edges reach 20.5 (phase 1) and 10.25 (phase 2) and d_min is 1;
  // phase 1's 22^3 orthorhombic indices do not fit the table of 4000, 15^3 do; non-negative h, k.
  EXPECT_EQ(std::vector<int32_t>(HklBounds[1], HklBounds[1] + 5), std::vector<int32_t>({14, 0, 14, 0, 14}));
  EXPECT_EQ(std::vector<int32_t>(HklBounds[2], HklBounds[2] + 5), std::vector<int32_t>({11, 0, 11, 0, 11}));
  // 20 reflections above d = 1: 4 pi V / 3 reciprocal points over the holohedry's 8 and 48.
  EXPECT_EQ(std::vector<double>({CellVolumes[1], CellVolumes[2]}),
            std::vector<double>({std::nearbyint(20 * 8 * 3 / (4 * M_PI)), std::nearbyint(20 * 48 * 3 / (4 * M_PI))}));
  EXPECT_EQ(std::vector<int32_t>({fit.NPar, fit.NPoints, fit.NTries}), std::vector<int32_t>({12, 10, 2000 + 1000}));
  for (int32_t i = 1; i <= 12; ++i) {
    const ParameterRecord& r = fit.Records[i];
    EXPECT_EQ(BestValues[i], r.value) << i;
    if ((i - 1) % 6 >= 3) {  // 90 degrees fixed, as a cosine close to 0
      EXPECT_LT(std::fabs(r.value), 1e-6) << i;
      EXPECT_EQ(r.lower, r.upper) << i;
    } else {  // twice the value for phase 1 only; the cubic b and c follow a
      EXPECT_EQ(std::vector<double>({r.lower, r.value, r.upper}), std::vector<double>({2, 10.25, i <= 6 ? 20.5 : 10.25}));
      EXPECT_EQ(r.n, std::min(i, 7)) << i;
    }
  }
  EXPECT_EQ(std::vector<int32_t>({MinimumPhaseLines[1], MinimumPhaseLines[2]}), std::vector<int32_t>({4, 3}));
}

TEST_F(PreparationTest, TriclinicAnglesBecomeOrderedCosinesAndCrossedBoundsAreExchanged) {
  SetLines(TenLines());
  PhaseCount = 1;
  ui.ExpectDialog(" Phase= 1").Combo(1).Ok();
  ui.ExpectDialog(" Phase= 1").Ok();
  ui.ExpectDialog("Set lattice parameters").Field(2, 1, "8").Field(2, 3, "4").Field(4, 1, "80").Field(4, 2, "95").Field(4, 3, "100").Ok();
  ui.ExpectMessage("Wrong parameter bounds 2 Exchanged.");
  PrepareIndexing();
  const TAULSM& fit = *CelixFitter;
  EXPECT_EQ(std::make_pair(fit.Records[2].lower, fit.Records[2].upper), std::make_pair(4.0, 8.0));
  const ParameterRecord& alpha = fit.Records[4];
  EXPECT_NEAR(alpha.value, std::cos(95 * DegToRad), 1e-7);
  EXPECT_NEAR(alpha.lower, std::cos(100 * DegToRad), 1e-7);  // cos falls: the bounds swap
  EXPECT_NEAR(alpha.upper, std::cos(80 * DegToRad), 1e-7);
  EXPECT_EQ(PhaseTable[1].Cell[3], 95);
}

// Each refusal: its message, the parameters of mode 1 still pending, the records and the cell of
// phase 1 as they were.
TEST_F(PreparationTest, RefusalsLeaveTheTablesAsTheyWere) {
  struct Case {
    const char* message;
    std::function<void()> script;
  };
  const std::vector<Case> cases = {
      {"In this mode N of phases = 1", [this] { PhaseCount = 2, ui.ExpectDialog(" Phase= 1").Radio(3).Ok(); }},
      {"No indexed data", [this] { ui.ExpectDialog(" Phase= 1").Radio(3).Ok(); }},
      {"Error, channels(2thetas)=0",
       [this] { DSpacingDataType = 2, ui.ExpectDialog(" Phase= 1").Check(5, false).Ok(); }},
      {"Wrong HKL bounds or cell volume",
       [this] {
         ui.ExpectDialog(" Phase= 1").Ok();
         ui.ExpectDialog(" Phase= 1").Field(6, 1, "0").Ok();
       }},
      {"Wrong lattice parameters",
       [this] {
         ui.ExpectDialog(" Phase= 1").Ok();
         ui.ExpectDialog(" Phase= 1").Ok();
         ui.ExpectDialog("Set lattice parameters").Field(1, 2, "0").Ok();
       }},
      {"Wrong parameters",
       [this] {
         ui.ExpectDialog(" Phase= 1").Check(4).Ok();
         ui.ExpectDialog(" Phase= 1").Ok();
         ui.ExpectDialog("Set lattice parameters").Ok();
         ui.ExpectDialog("Enter cynematic parameters").Field(1, 2, "0").Ok();
       }},
      {"No hkls generated",
       [this] {
         ui.ExpectDialog(" Phase= 1").Ok();
         DialogScript& d = ui.ExpectDialog(" Phase= 1");
         for (int32_t r = 1; r <= 5; ++r) d.Field(r, 1, "0");
         d.Ok();
         ui.ExpectMessage("Wrong HKL bounds or cell volume");  // l_max = 0 only warns
         ui.ExpectDialog("Set lattice parameters").Ok();
       }},
      {"Error, more ds than hkls 10 < 2",
       [this] {
         ui.ExpectDialog(" Phase= 1").Combo(5).Ok();
         DialogScript& d = ui.ExpectDialog(" Phase= 1");
         for (int32_t r = 1; r <= 5; ++r) d.Field(r, 1, "1");
         d.Ok();
         ui.ExpectDialog("Set lattice parameters").Ok();
       }},
      // A monoclinic I cell is no lattice type of the search: the preparation stops there.
      {"Symmetry and type not compatible", [this] { ui.ExpectDialog(" Phase= 1").Combo(2).Radio2(6).Ok(); }},
      {"Too many phases for indexing: at most 4", [] { PhaseCount = 5; }},
  };
  for (const Case& c : cases) {
    SetLines(TenLines());
    PhaseCount = 1, IndexingMode = 0, DSpacingDataType = 0, CynematicFit = 0;
    ParametersPending[1] = 1;
    PhaseTable[1].Cell[0] = 3.5;
    for (int32_t i = 1; i <= IndexingRecordCapacity; ++i) parar[i].value = 0.5 * i;
    c.script();
    ui.ExpectMessage(c.message);
    PrepareIndexing();
    EXPECT_EQ(ParametersPending[1], 1) << c.message;
    EXPECT_EQ(PhaseTable[1].Cell[0], 3.5) << c.message;
    for (int32_t i = 1; i <= IndexingRecordCapacity; ++i) ASSERT_EQ(parar[i].value, 0.5 * i) << c.message << " " << i;
  }
  EXPECT_EQ(PhaseCount, 5);
  // A field that is not a number is named at OK; Cancel then: still pending.
  PhaseCount = 1;
  ui.ExpectDialog(" Phase= 1").Ok();
  ui.ExpectDialog(" Phase= 1").Field(1, 1, "abc").Press(1).Cancel();
  PrepareIndexing();
  EXPECT_EQ(ParametersPending[1], 1);
  EXPECT_THAT(ui.Messages().back(), ::testing::EndsWith(": \"abc\" is not a number"));
}

// A rhombohedral phase (type R on rhombohedral axes) keeps every index: its d-set is that of the
// primitive cell (gemmi, R 3:R has no absences), (1,0,0) and (1,1,0) among them. Its automatic
// angle bounds reach the layered rhombohedra.
TEST_F(PreparationTest, RhombohedralPhaseKeepsEveryIndex) {
  const std::vector<Tokens> head = IndexingGolden("rhombo");
  ASSERT_EQ(head.size(), 1u);
  const double a = Num(head[0][1]), alpha = Num(head[0][2]), dmin = Num(head[0][3]);
  std::vector<double> dset;
  for (const Tokens& row : IndexingGolden("dset")) dset.push_back(Num(row[1]));
  SetLines(dset);
  PrepareAuto({7});
  EXPECT_EQ(PhaseTable[1].LatticeType, 6);
  TAULSM& fit = *CelixFitter;
  EXPECT_EQ(fit.Records[3].n, 1);
  EXPECT_EQ(fit.Records[6].n, 4);
  // The automatic angle range: from the flat 120 degrees down to layered rhombohedra of c/a 11 on
  // hexagonal axes (a_h = 2 a sin(alpha / 2), c_h = a sqrt(3 (1 + 2 cos alpha))).
  const ParameterRecord& angle = fit.Records[4];
  const double acute = std::max(angle.lower, angle.upper);  // cosines
  const double ratio = std::sqrt(3 * (1 + 2 * acute)) / (2 * std::sin(std::acos(acute) / 2));
  EXPECT_TRUE(ratio >= 11 && ratio < 12) << ratio;
  EXPECT_NEAR(std::min(angle.lower, angle.upper), -0.5, 1e-7);  // degrees through 57.2958
  fit.Records[1].value = fit.Records[2].value = fit.Records[3].value = a;
  fit.Records[4].value = fit.Records[5].value = fit.Records[6].value = std::cos(alpha * DegToRad);
  RecalcHklD();
  std::vector<double> found;
  for (int32_t j = 1; j <= PhaseTable[1].ReflectionCount; ++j) {
    const THklRecord& r = HklTable[j][1];
    if (r.d >= dmin * (1 - 1e-9)) found.push_back(r.d);
  }
  std::sort(found.begin(), found.end(), std::greater<>());
  found.erase(std::unique(found.begin(), found.end(), [](double x, double y) { return std::fabs(x - y) < 1e-9 * x; }),
              found.end());
  ASSERT_EQ(found.size(), dset.size());
  for (size_t i = 0; i < dset.size(); ++i) EXPECT_NEAR(found[i] / dset[i], 1, 1e-12) << i;
}

// The minerals of tools/gen_indexing_minerals.py with their system and lattice type: the
// automatic volume limit holds the true cell (the limit of 3 d1^3 did not for F cells: halite 103.6
// against 179.4 A^3) and the index bound m reaches every line, |h| <= a / d_min for every edge a.
// A limit set before (a data set's) is kept; one the preparation set is set again from new lines.
TEST_F(PreparationTest, AutomaticLimitsHoldTheMineralsAndAGivenLimitIsKept) {
  const std::vector<Tokens> rows = GoldenRows("indexing_minerals.txt", "indexing");
  for (size_t r = 0; r < rows.size(); ++r) {
    const Tokens& c = rows[r];
    if (c[0] != "case") continue;
    std::vector<double> d;
    for (size_t k = r + 1; k < rows.size() && rows[k][0] == "l"; ++k) d.push_back(Num(rows[k][1]));
    SetLines(d);
    CellVolumes[1] = DefaultCellVolume;
    ui.ExpectDialog(" Phase= 1").Combo(std::stoi(c[4])).Radio2(std::stoi(c[5]) + 1).Ok();
    ui.ExpectDialog(" Phase= 1").Ok();
    ui.ExpectDialog("Set lattice parameters").Ok();
    PrepareIndexing();
    const double cell[6] = {Num(c[6]), Num(c[7]), Num(c[8]), Num(c[9]), Num(c[10]), Num(c[11])};
    EXPECT_GT(CellVolumes[1], CellVolume(cell)) << c[3];
    // Any edge may be the longest, except the unique axis c of tetragonal and hexagonal cells,
    // whose reach is its own (screw axes): then a and h hold a, c and l hold c.
    const bool unique = c[4] == "4" || c[4] == "6";
    const double longest = std::max({cell[0], cell[1], cell[2]});
    const double ab = unique ? cell[0] : longest, cc = unique ? cell[2] : longest;
    EXPECT_GE(HklBounds[1][0] * d.back(), ab) << c[3];
    EXPECT_GE(HklBounds[1][4] * d.back(), cc) << c[3];
    for (int32_t e = 1; e <= 3; ++e) EXPECT_GE(CelixFitter->Records[e].upper, e == 3 ? cc : ab) << c[3];
    if (c[4] == "7") {  // acute and obtuse rhombohedra (phenakite: 108 degrees) inside the angle's range
      const ParameterRecord& alpha = CelixFitter->Records[4];
      EXPECT_GE(std::cos(cell[3] * DegToRad), std::min(alpha.lower, alpha.upper)) << c[3];
      EXPECT_LE(std::cos(cell[3] * DegToRad), std::max(alpha.lower, alpha.upper)) << c[3];
    }
  }
  const double automatic = CellVolumes[1];
  PhaseTable[1].LatticeType = 0;  // the last mineral's R is no orthorhombic type
  SetLines(TenLines());
  PrepareAuto({3});
  EXPECT_EQ(CellVolumes[1], std::nearbyint(20 * 8 * 3 / (4 * M_PI)));  // set again: 2 x 10 lines above d = 1
  EXPECT_NE(CellVolumes[1], automatic);
  CellVolumes[1] = 500;  // as " Set OrthoRhombic" leaves it
  PrepareAuto({3});
  EXPECT_EQ(CellVolumes[1], 500);
  PrepareAuto({3}, 777);  // typed into the dialog: kept by the next preparation
  PrepareAuto({3});
  EXPECT_EQ(CellVolumes[1], 777);
}

TEST_F(PreparationTest, DefaultBinsLineCountsAndResets) {
  PhaseCount = 2, BinDefaultsSet = 0;
  SetDefaultBins(1, 3);
  EXPECT_EQ(BinDefaultsSet, 0);  // set once the pass reaches the last phase
  SetDefaultBins(2, 5);
  EXPECT_EQ(BinDefaultsSet, 1);
  EXPECT_EQ(std::vector<int32_t>(BinCounts[1] + 1, BinCounts[1] + 7), std::vector<int32_t>({16, 16, 16, 1, 1, 1}));
  EXPECT_EQ(std::vector<int32_t>(BinCounts[2] + 1, BinCounts[2] + 7), std::vector<int32_t>({5, 1, 1, 1, 1, 1}));
  EXPECT_EQ(GridTrialRanges[7].binCount, 5);
  EXPECT_EQ(CelixFitter->TriesPerBin, 1);
  BinCounts[1][1] = 7;
  GridTrialRanges[1].binCount = 1;
  SetDefaultBins(1, 3);  // filled already: only copies
  EXPECT_EQ(std::make_pair(BinCounts[1][1], GridTrialRanges[1].binCount), std::make_pair(7, 7));
  // One phase: enough whatever the counts; two phases need their minimum each.
  MinimumPhaseLines[1] = MinimumPhaseLines[2] = 3;
  PhaseCount = 1;
  SetLines({});
  bool ok = false;
  EnoughLinesPerPhase(ok);
  EXPECT_TRUE(ok);
  PhaseCount = 2;
  ok = true;
  EnoughLinesPerPhase(ok);
  EXPECT_FALSE(ok);
  // The reset clears the search switches; the unit defaults read lines from a file.
  BadReflectionMeasures = 1, UseSpaceGroup = 1, DSpacingSource = 0, DisplayCurrentFit = 0;
  ResetModelState(16);
  DSpacingFileName = "x.dsp";
  InitCelixDefaults();
  EXPECT_EQ(std::vector<int32_t>({BadReflectionMeasures, UseSpaceGroup, DSpacingSource, DisplayCurrentFit}),
            std::vector<int32_t>({0, 0, 1, 1}));
  EXPECT_TRUE(DSpacingFileName.empty());
}

}  // namespace

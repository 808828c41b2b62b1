// The "Form hkl" dialog end to end: what it proposes, the d range it takes (swapped, refused),
// the phases it forms and keeps, the question for a phase without atoms and the report. The
// committed reflections of aluminium are checked against gemmi run now.
#include <gtest/gtest.h>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <tuple>
#include <utility>
#include "core/dialog_toolkit.h"
#include "core/model_switches.h"
#include "core/settings_file.h"
#include "crystal/form_hkl.h"
#include "crystal/phase_setup.h"
#include "crystal/reflection_lists.h"
#include "support/golden_files.h"
#include "support/temp_path.h"

namespace {

using Lines = std::vector<std::string>;

// Aluminium as "Add the aluminium phase" makes it: two atoms, the second a copy of the first
// through the F centring.
bool SetUpAluminium(int32_t k) {
  return SetUpPhase(k, 225, 1, {4.0494, 4.0494, 4.0494, 90, 90, 90},
                    {IsoAtom(0.3449, 0, 0, 0, 0), IsoAtom(0.3449, 0.5, 0.5, 0, 0)});
}

class FormHklTest : public PhaseTest {
protected:
  void SetUp() override {
    PhaseTest::SetUp();
    ScreenScale = 1.0;
    FontSize = 10;
    TofTestSpectrum();
    for (auto& p : ParametersPending) p = 0;
    HklSymmetryChoice = 0;
  }
  // A stale list of phase k that forming would replace.
  static void StaleList(int32_t k) {
    HklTable[1][k].h = 77;
    PhaseTable[k].ReflectionCount = 1;
  }
  static bool Stale(int32_t k) { return PhaseTable[k].ReflectionCount == 1 && HklTable[1][k].h == 77; }
  std::vector<int32_t> Pending() const { return {ParametersPending, ParametersPending + ModeCount}; }

private:
  FreshSpectra spectra_;
  KeepValues<uint8_t> pending_{ParametersPending, ModeCount};
  KeepValues<int32_t> choice_{&HklSymmetryChoice, 1}, formedFirst_{HklFormedFirst, 5}, formedLast_{HklFormedLast, 5};
};

TEST_F(FormHklTest, FormsTheTickedPhasesOverTheSwappedRange) {
  PhaseCount = 2;
  ASSERT_TRUE(SetUpAluminium(1));
  ASSERT_TRUE(SetUpPhase(2, 229, 1, {3.3, 3.3, 3.3, 90, 90, 90}, {IsoAtom(0.95, 0, 0, 0)}));
  StaleList(2);
  ui.ExpectDialog("Form hkl")
      .Inspect([](TForm2& f) {
        EXPECT_EQ(f.caption, " Form hkl");
        EXPECT_EQ(f.RadioGroup1.items, (Lines{"Use the actual symmetry", "Use the triclinic symmetry"}));
        EXPECT_EQ(f.RadioGroup1.itemIndex, 0);
        EXPECT_EQ(f.StringGrid2.Cell(0, 0), "dmin =");
        EXPECT_EQ(f.StringGrid2.Cell(0, 1), "dmax =");
        EXPECT_EQ(f.Label2.caption, "    2600  -      7800");
        EXPECT_EQ(f.Label2.font.color, AquaColor);
        EXPECT_EQ(f.Label3.caption, " hkl forming in d-range                        channels");
        EXPECT_EQ(f.Label4.caption, " hkl forming for the phases: ");
        EXPECT_EQ(f.CheckListBox1.items, (Lines{"   Phase 1", "   Phase 2"}));
        EXPECT_EQ(f.CheckListBox1.checked, (std::vector<bool>{true, true}));
        EXPECT_EQ(std::make_tuple(f.CheckListBox1.left, f.CheckListBox1.top, f.CheckListBox1.width,
                                  f.CheckListBox1.height),
                  std::make_tuple(60, 258, 200, 36));
        EXPECT_EQ(std::make_tuple(f.Bevel1.left, f.Bevel1.top, f.Bevel1.width, f.Bevel1.height),
                  std::make_tuple(5, 120, 325, 100));
        EXPECT_EQ(HelpLineCount, HklRangeHelp.count);
      })
      .Radio(2)
      .Cell(0, 0, "3")
      .Cell(0, 1, "1")
      .Check(2, false)
      .Ok();
  ui.ExpectDialog("Form hkl")
      .Inspect([](TForm2& f) {
        EXPECT_EQ(std::make_tuple(f.ListBox1.left, f.ListBox1.top, f.ListBox1.width, f.ListBox1.height),
                  std::make_tuple(5, 160, 330, 150));
        EXPECT_EQ(f.ListBox1.items, (Lines{"Phase1: 6 hkls formed, d:1.00 - 3.00", "Phase2: 1 hkls formed, d:1.00 - 3.00",
                                           " Altogether 7 hkls"}));
      })
      .Ok();
  FormHklSet();

  EXPECT_EQ(DMin, 1);
  EXPECT_EQ(DMax, 3);
  EXPECT_EQ(HklSymmetryChoice, 1);  // stored; the lists below use the actual symmetry all the same
  EXPECT_TRUE(Stale(2));
  EXPECT_EQ(PhaseTable[1].ReflectionCount, 6);  // 111 200 220 311 222 400: d from 1 to 3 (gemmi in the menu test)
  EXPECT_EQ(Pending(), (std::vector<int32_t>{1, 0, 1, 0}));  // Rietveld and powder match
  EXPECT_EQ(LogLines()[0], "Phase1: 6 hkls formed, d:1.00 - 3.00");
}

TEST_F(FormHklTest, ProposesTheSpectrumRangeOrTheDefaultsAndCancelFormsNothing) {
  ASSERT_TRUE(SetUpAluminium(1));
  StaleList(1);
  HklSymmetryChoice = 1;
  // Time of flight: the working range widened by 3 channels, as the reflection lists take it.
  ui.ExpectDialog("Form hkl")
      .Inspect([](TForm2& f) {
        EXPECT_EQ(f.RadioGroup1.itemIndex, 1);
        EXPECT_EQ(f.StringGrid1.Cell(0, 0), GridCellText(8, SpectrumList[1]->ChannelToD(2597)));
        EXPECT_EQ(f.StringGrid1.Cell(0, 1), GridCellText(8, SpectrumList[1]->ChannelToD(7803)));
      })
      .Cancel();
  FormHklSet();
  // No d range from an axis of kind "any": 0.75 and 20 proposed.
  SpectrumList[1]->AxisKind = AxisAny;
  DMin = 0, DMax = 0;
  ui.ExpectDialog("Form hkl")
      .Inspect([](TForm2& f) {
        EXPECT_EQ(f.StringGrid1.Cell(0, 0), GridCellText(8, 0.75));
        EXPECT_EQ(f.StringGrid1.Cell(0, 1), "      20");
      })
      .Esc();
  FormHklSet();
  EXPECT_EQ(DialogOk, 0);
  EXPECT_TRUE(Stale(1));
  EXPECT_EQ(HklSymmetryChoice, 1);
  EXPECT_EQ(Pending(), (std::vector<int32_t>{0, 0, 0, 0}));
}

TEST_F(FormHklTest, RefusedBoundsAndMistypedFieldsFormNothing) {
  ASSERT_TRUE(SetUpAluminium(1));
  StaleList(1);
  ui.ExpectDialog("Form hkl").Cell(0, 0, "-1").Cell(0, 1, "3").Ok();
  ui.ExpectMessage("Wrong d_min -1");
  FormHklSet();
  EXPECT_EQ(DialogOk, 0);
  ui.ExpectDialog("Form hkl").Cell(0, 0, "1").Cell(0, 1, "3x").Ok();  // not a number: as Cancel
  FormHklSet();
  EXPECT_EQ(DialogOk, 0);
  EXPECT_TRUE(Stale(1));
  EXPECT_EQ(Pending(), (std::vector<int32_t>{0, 0, 0, 0}));
}

TEST_F(FormHklTest, APhaseWithoutAtomsIsFormedOnlyWhenTheUserSaysSo) {
  PhaseCount = 2;
  ASSERT_TRUE(SetUpAluminium(1));
  ASSERT_TRUE(SetUpPhase(2, 221, 1, {4, 4, 4, 90, 90, 90}));
  AtomTable[1][2].ScatteringLength = 0.5;  // a stale atom record beyond the count
  StaleList(2);
  // No: the phase keeps no atoms and its old list, ticked or not.
  ui.ExpectQuestion("No atomic information for phase 2. Still form?", false);
  ui.ExpectDialog("Form hkl").Cell(0, 0, "1").Cell(0, 1, "3").Ok();
  ui.ExpectDialog("Form hkl").Ok();
  FormHklSet();
  EXPECT_EQ(PhaseTable[2].AtomCount, 0);
  EXPECT_TRUE(Stale(2));
  EXPECT_EQ(PhaseTable[1].ReflectionCount, 6);
  // Yes: one atom with the defaults, and a list of P m -3 m (every h k l of 0.98..3 angstrom).
  ui.ExpectQuestion("No atomic information for phase 2. Still form?", true);
  ui.ExpectDialog("Form hkl").Cell(0, 0, "0.98").Cell(0, 1, "3").Ok();
  ui.ExpectDialog("Form hkl").Ok();
  FormHklSet();
  EXPECT_EQ(PhaseTable[2].AtomCount, 1);
  EXPECT_EQ(AtomTable[1][2].ScatteringLength, 1.0);
  EXPECT_EQ(AtomTable[1][2].Occupation, 1.0);
  // 1/d^2 = n / 16 for n = 2..16 with n not 7 or 15: the sums of three squares, 9 twice.
  EXPECT_EQ(PhaseTable[2].ReflectionCount, 14);
}

// The committed aluminium reflections against gemmi now: d from one cell formula, so a re-run
// moves it by rounding only, within a unit of its 10th decimal.
TEST(AluminiumGolden, GeneratorRerunMatchesTheCommittedFile) {
  VKEST_REQUIRE_PYTHON("gemmi");
  const std::string out = TestTempPath("al_phase_golden.txt").string();
  ASSERT_EQ(RunTool("gen_al_phase_golden.py", out), 0);
  const auto mismatches = TokenMismatches(TokenRows(out), GoldenRows("al_phase_golden.txt", "crystal"),
                                          [](const Tokens& row, size_t col) { return LastDigitUnit(row[col]); });
  std::remove(out.c_str());
  EXPECT_TRUE(mismatches.empty()) << JoinLines(mismatches);
}

}  // namespace

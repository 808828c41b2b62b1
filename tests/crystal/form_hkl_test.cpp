// The "Form hkl" dialog end to end: what it proposes, the d range it takes (swapped, refused),
// the phases it forms and keeps, the question for a phase without atoms and the report.
#include <gtest/gtest.h>
#include "core/dialog_toolkit.h"
#include "core/help_texts.h"
#include "crystal/form_hkl.h"
#include "crystal/phase_editor_setup.h"

namespace {

class FormHklTest : public CrystalDialogTest {
protected:
  // Aluminium as "Add the aluminium phase" makes it: the second atom repeats the first through
  // the F centring.
  static void SetUpAluminium(int32_t k) {
    ASSERT_TRUE(SetUpPhase(k, 225, 1, {4.0494, 4.0494, 4.0494, 90, 90, 90},
                           {IsoAtom(0.3449, 0, 0, 0, 0), IsoAtom(0.3449, 0.5, 0.5, 0, 0)}));
  }
  // A stale list of phase k that forming would replace.
  static void StaleList(int32_t k) {
    HklTable[1][k].h = 77;
    PhaseTable[k].ReflectionCount = 1;
  }
  static bool Stale(int32_t k) { return PhaseTable[k].ReflectionCount == 1 && HklTable[1][k].h == 77; }
};

// dmin 3 and dmax 1 are swapped; the triclinic choice is stored and changes nothing; an
// unticked phase keeps its list; Rietveld and powder match marked.
TEST_F(FormHklTest, FormsTheTickedPhasesOverTheSwappedRange) {
  PhaseCount = 2;
  SetUpAluminium(1);
  ASSERT_TRUE(SetUpPhase(2, 229, 1, {3.3, 3.3, 3.3, 90, 90, 90}, {IsoAtom(0.95, 0, 0, 0)}));
  StaleList(2);
  ui.ExpectDialog("Form hkl").Radio(2).Cell(0, 0, "3").Cell(0, 1, "1").Check(2, false).Ok();
  ui.ExpectDialog("Form hkl").Inspect([](TForm2& f) { EXPECT_EQ(f.ListBox1.items.back(), " Altogether 7 hkls"); }).Ok();
  FormHklSet();
  EXPECT_EQ(HelpLineCount, HklRangeHelp.count);
  EXPECT_EQ(std::tuple(DMin, DMax, HklSymmetryChoice), std::tuple(1.0, 3.0, 1));
  EXPECT_TRUE(Stale(2));
  EXPECT_EQ(PhaseTable[1].ReflectionCount, 6);  // 111 200 220 311 222 400 (gemmi in the menu test)
  EXPECT_EQ(Pending(), (std::vector<int>{1, 0, 1, 0}));
}

// Proposed: the time-of-flight working range widened by 3 channels, or 0.75 and 20 without a d
// range. Cancel, a negative bound and a field that is no number form nothing.
TEST_F(FormHklTest, ProposedRangeAndWhatFormsNothing) {
  SetUpAluminium(1);
  StaleList(1);
  HklSymmetryChoice = 1;
  const auto proposes = [](const std::string& dmin, const std::string& dmax) {
    return [=](TForm2& f) {
      EXPECT_EQ(std::tuple(f.StringGrid1.Cell(0, 0), f.StringGrid1.Cell(0, 1), f.RadioGroup1.itemIndex),
                std::tuple(dmin, dmax, 1));
    };
  };
  const TSpectrum& sp = *SpectrumList[1];
  ui.ExpectDialog("Form hkl").Inspect(proposes(GridCellText(8, sp.ChannelToD(2597)), GridCellText(8, sp.ChannelToD(7803))))
      .Cancel();
  ui.ExpectDialog("Form hkl").Cell(0, 0, "-1").Cell(0, 1, "3").Ok();
  ui.ExpectMessage("Wrong d_min -1");
  ui.ExpectDialog("Form hkl").Cell(0, 0, "1").Cell(0, 1, "3x").Press(1).Cancel();
  for (int i = 0; i < 3; ++i) {
    FormHklSet();
    EXPECT_EQ(DialogOk, 0);
  }
  SpectrumList[1]->AxisKind = AxisAny;
  DMin = 0, DMax = 0;
  ui.ExpectDialog("Form hkl").Inspect(proposes(GridCellText(8, 0.75), "      20")).Esc();
  FormHklSet();
  EXPECT_EQ(std::tuple(DialogOk, Stale(1), HklSymmetryChoice, Pending()), std::tuple(0, true, 1, std::vector{0, 0, 0, 0}));
}

// Yes to the question for a phase without atoms: one atom with the defaults and the list of
// P m -3 m. (No, which keeps the phase without atoms and its list, is in the menu test.)
TEST_F(FormHklTest, APhaseWithoutAtomsIsFormedWhenTheUserSaysSo) {
  ASSERT_TRUE(SetUpPhase(1, 221, 1, {4, 4, 4, 90, 90, 90}));
  ui.ExpectQuestion("No atomic information for phase 1. Still form?", true);
  ui.ExpectDialog("Form hkl").Cell(0, 0, "0.98").Cell(0, 1, "3").Ok();
  ui.ExpectDialog("Form hkl").Ok();
  FormHklSet();
  EXPECT_EQ(std::tuple(PhaseTable[1].AtomCount, AtomTable[1][1].ScatteringLength, AtomTable[1][1].Occupation),
            std::tuple(1, 1.0, 1.0));
  // 1/d^2 = n / 16 for n = 2..16 with n not 7 or 15: the sums of three squares, 9 twice.
  EXPECT_EQ(PhaseTable[1].ReflectionCount, 14);
}

}  // namespace

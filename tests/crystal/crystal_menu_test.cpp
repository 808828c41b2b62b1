// The crystal information menu end to end: a whole entry (phases, phase data, atoms, reflections)
// with the preselection after each item, the status line, the items refused or blank, and the
// aluminium phase with its reflections against gemmi (tools/gen_al_phase_golden.py).
#include <gtest/gtest.h>
#include <array>
#include <cmath>
#include "core/dialog_toolkit.h"
#include "core/help_texts.h"
#include "crystal/crystal_menu.h"
#include "crystal/phase_editor_setup.h"

namespace {

using Lines = std::vector<std::string>;

constexpr const char* MenuCaption = "Enter the Crystal Information";

class CrystalMenuTest : public CrystalDialogTest {
protected:
  // The menu, checked to preselect an item, with another item chosen.
  DialogScript& Menu(int32_t preselected, int32_t choice) {
    return ui.ExpectDialog(MenuCaption)
        .Inspect([preselected](TForm2& f) { EXPECT_EQ(f.RadioGroup1.itemIndex + 1, preselected); })
        .Radio(choice);
  }
  // gemmi's reflections of aluminium with DMin <= d <= DMax, by d descending.
  static void ExpectAluminiumList(int32_t k) {
    std::vector<Tokens> truth;
    for (const Tokens& row : GoldenRows("al_phase_golden.txt", "crystal"))
      if (std::stod(row[4]) >= DMin && std::stod(row[4]) <= DMax) truth.push_back(row);
    const auto list = PhaseReflections(k);
    ASSERT_EQ(list.size(), truth.size());
    for (size_t i = 0; i < list.size(); ++i) {
      std::array<int, 3> hkl{std::abs(list[i].h), std::abs(list[i].k), std::abs(list[i].l)};
      std::sort(hkl.rbegin(), hkl.rend());
      EXPECT_EQ(hkl, (std::array<int, 3>{std::stoi(truth[i][1]), std::stoi(truth[i][2]), std::stoi(truth[i][3])}));
      EXPECT_NEAR(list[i].d, std::stod(truth[i][4]), 1e-7 * list[i].d);  // RadToDeg 57.29578
      EXPECT_EQ(list[i].Multiplicity, std::stoi(truth[i][5]));
    }
  }
};

// Items 1, 2, 3, 4 and 6 in turn, each confirmed, each moving the preselection on.
TEST_F(CrystalMenuTest, WholeEntryMovesThePreselectionAlong) {
  PhaseCount = 3;
  Menu(2, 1).Ok();
  ui.ExpectDialog("Set the number of crystal phases").Radio(1).Ok();
  Menu(2, 2).Ok();
  ui.ExpectDialog("Phase information").Field(1, 1, "225").Field(2, 1, "1").Ok();
  ui.ExpectDialog("Check lattice information").Field(1, 1, "4.0494").Ok();
  Menu(3, 3).Ok();
  ui.ExpectDialog("Enter or Edit the atom list;   phase = 1").Memo("Al").Ok();
  ui.ExpectDialog("Atom 1  AL").Field(1, 1, "1").Field(2, 1, "0").Field(3, 1, "0").Field(4, 1, "0").Ok();
  Menu(4, 4).Ok();
  ui.ExpectDialog("Form hkl").Ok();
  ui.ExpectDialog("Form hkl").Ok();
  Menu(6, 6).Inspect([](TForm2&) { EXPECT_EQ(HelpLineCount, CrystalInfoHelp.count); }).Ok();
  EnterCrystalInfo();
  EXPECT_EQ(std::tuple(PhaseCount, NoCrystalInfo, PhaseTable[1].SpaceGroup, PhaseTable[1].AtomCount),
            std::tuple(1, 0, 225, 1));
  EXPECT_EQ(AtomTable[1][1].ScatteringLength, 0.3449);  // b_c of Al, 3.449 fm
  ExpectAluminiumList(1);
}

// The status line: a spectrum that is not present, a mode without crystal data switched to
// Rietveld; powder match keeps its mode, has no atoms to enter, and items 4 and 5 want phase data.
TEST_F(CrystalMenuTest, StatusLineAndTheItemsThatNeedPhaseData) {
  const std::tuple<int32_t, bool, std::string, int32_t> cases[] = {
      {1, false, "No Spectrum 1    Rietveld mode is set", 0},
      {3, true, "    Rietveld mode is set", 0},
      {0, false, "No Spectrum 1", 0},
      {2, true, "", 2},
  };
  for (const auto& [mode, present, status, modeAfter] : cases) {
    MainMode = mode;
    SpectrumList[1]->Present = present ? 1 : 0;
    ui.ExpectDialog(MenuCaption)
        .Inspect([&status](TForm2& f) { EXPECT_EQ(f.Label2.visible ? f.Label2.caption : "", status); })
        .Cancel();
    EnterCrystalInfo();
    EXPECT_EQ(MainMode, modeAfter) << status;
  }
  Menu(2, 3).Inspect([](TForm2& f) { EXPECT_EQ(f.RadioGroup1.items[2], " "); }).Ok();
  Menu(4, 4).Ok();
  ui.ExpectMessage("First enter phase information");
  Menu(2, 5).Ok();
  ui.ExpectMessage("First enter phase information");
  ui.ExpectDialog(MenuCaption).Cancel();
  EnterCrystalInfo();
}

// "Add the aluminium phase" as a second phase over the leftovers of an earlier one, then its
// list formed through "Form the HKL set", where the first phase, still without atoms, is
// declined and kept.
TEST_F(CrystalMenuTest, AluminiumPhaseAndItsReflections) {
  AnisotropyOn = 1;
  HklTable[1][1].h = 77;
  PhaseTable[1].ReflectionCount = 1;
  PhaseModelFlags[2] = 1;
  PhaseTable[2].SourceFlags[0] = PhaseTable[2].SourceFlags[1] = 1;
  AtomTable[1][2].ScatteringLength = 0.5;
  Menu(2, 8).Ok();
  Menu(2, 4).Ok();
  ui.ExpectQuestion("No atomic information for phase 1. Still form?", false);
  ui.ExpectDialog("Form hkl").Ok();
  ui.ExpectDialog("Form hkl").Ok();
  Menu(6, 6).Ok();
  EnterCrystalInfo();
  ASSERT_EQ(PhaseCount, 2);
  const LATTICE& al = PhaseTable[2];
  EXPECT_EQ(std::tuple(al.SpaceGroup, al.Setting, al.CrystalSystem, al.LatticeType, al.AtomCount),
            std::tuple(225, 1, 5, 4, 2));
  EXPECT_NEAR(al.Volume * al.ReciprocalCell[0], 4.0494 * 4.0494, 1e-9);
  // A group from the table, no moments; Form hkl marks Rietveld and powder match, the new phase
  // also indexing.
  EXPECT_EQ(std::tuple(al.SourceFlags[0], al.SourceFlags[1], PhaseModelFlags[2], AnisotropicPhases[2], NoCrystalInfo,
                       Pending()), std::tuple(0, 0, 0, 1, 0, std::vector{1, 1, 1, 0}));
  const double positions[2][3] = {{0, 0, 0}, {0.5, 0.5, 0}};
  for (int32_t a = 1; a <= 2; ++a) {
    const ATOM& atom = AtomTable[a][2];
    EXPECT_EQ(std::tuple(atom.Name, atom.ScatteringLength, atom.X, atom.Y, atom.Z, atom.Occupation),
              std::tuple("AL", 0.3449, positions[a - 1][0], positions[a - 1][1], positions[a - 1][2], 1.0));
  }
  ExpectAluminiumList(2);
  EXPECT_EQ(std::tuple(PhaseTable[1].AtomCount, PhaseTable[1].ReflectionCount, HklTable[1][1].h), std::tuple(0, 1, 77));
}

// With six phases in use there is no room for another: refused, nothing changes.
TEST_F(CrystalMenuTest, SeventhPhaseIsRefused) {
  PhaseCount = MaxPhases;
  NoCrystalInfo = 0;
  ASSERT_TRUE(SetUpPhase(MaxPhases, 14, 2, {5, 6, 7, 90, 100, 90}, {IsoAtom(0.5, 0.1, 0.2, 0.3)}));
  const LATTICE before = PhaseTable[MaxPhases];
  const ATOM atom2 = AtomTable[2][MaxPhases];
  Menu(2, 8).Ok();
  ui.ExpectMessage("Error, 6 phases in use: no room for the aluminium phase");
  ui.ExpectDialog(MenuCaption).Cancel();
  EnterCrystalInfo();
  EXPECT_EQ(PhaseCount, MaxPhases);
  EXPECT_EQ(PhaseDifferences(PhaseTable[MaxPhases], before), Lines{});
  EXPECT_EQ(std::tuple(AtomTable[1][MaxPhases].X, AtomTable[2][MaxPhases].Name), std::tuple(0.1, atom2.Name));
}

}  // namespace

// The crystal information menu end to end: a whole entry (phases, phase data, atoms, reflections)
// with the preselection after each item, the status line, the items refused or blank, and the
// aluminium phase with its reflections against gemmi (tools/gen_al_phase_golden.py).
#include <gtest/gtest.h>
#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <tuple>
#include <utility>
#include "core/dialog_toolkit.h"
#include "core/model_switches.h"
#include "core/neighbour_services.h"
#include "core/settings_file.h"
#include "crystal/crystal_menu.h"
#include "crystal/phase_editor_setup.h"
#include "crystal/phase_setup.h"
#include "crystal/reflection_lists.h"
#include "support/golden_files.h"

namespace {

using Lines = std::vector<std::string>;

constexpr const char* MenuCaption = "Enter the Crystal Information";

class CrystalMenuTest : public PhaseTest {
protected:
  void SetUp() override {
    PhaseTest::SetUp();
    ScreenScale = 1.0;
    FontSize = 10;
    TofTestSpectrum();
    NoCrystalInfo = 1;
    InhibitWarnings = 0;
    AnisotropyOn = 0;
    for (auto& p : ParametersPending) p = 0;
  }
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

private:
  FreshSpectra spectra_;
  KeepValues<uint8_t> pending_{ParametersPending, ModeCount}, inhibit_{&InhibitWarnings, 1},
      anisotropy_{&AnisotropyOn, 1}, anisotropic_{AnisotropicPhases, MaxPhases + 1};
  KeepValues<int32_t> choice_{&HklSymmetryChoice, 1}, formedFirst_{HklFormedFirst, 5}, formedLast_{HklFormedLast, 5};
};

// Items 1, 2, 3, 4 and 6 in turn, each confirmed, each moving the preselection on.
TEST_F(CrystalMenuTest, WholeEntryMovesThePreselectionAlong) {
  PhaseCount = 3;
  Menu(2, 1).Inspect([](TForm2& f) {
    EXPECT_EQ(f.caption, std::string(" ") + MenuCaption);
    EXPECT_EQ(f.Label1.caption, " Select the Option ");
    EXPECT_EQ(f.RadioGroup1.items,
              (Lines{"   Set the number of phases", "Enter the PHASE information", "Enter the ATOMIC information",
                     "Form the HKL set", "Input the hkl set from a file", "Exit ", "   Simulate atomic information",
                     "   Add the aluminium phase"}));
    EXPECT_FALSE(f.Label2.visible);  // no status
    EXPECT_EQ(HelpLineCount, CrystalInfoHelp.count);
  }).Ok();
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
  Menu(6, 6).Ok();
  EnterCrystalInfo();

  EXPECT_EQ(PhaseCount, 1);
  EXPECT_EQ(NoCrystalInfo, 0);
  EXPECT_EQ(PhaseTable[1].SpaceGroup, 225);
  EXPECT_EQ(PhaseTable[1].AtomCount, 1);
  EXPECT_EQ(AtomTable[1][1].ScatteringLength, 0.3449);  // b_c of Al, 3.449 fm
  ExpectAluminiumList(1);
  EXPECT_EQ(ParametersPending[0], 1);
}

// The status line: a spectrum that is not present, a mode without crystal data switched to
// Rietveld; powder match keeps its mode and has no atoms to enter.
TEST_F(CrystalMenuTest, StatusLineAndTheItemsThatNeedPhaseData) {
  struct Case { int32_t mode; bool present; const char* status; int32_t modeAfter; };
  const Case cases[] = {
      {1, false, "No Spectrum 1    Rietveld mode is set", 0},
      {3, true, "    Rietveld mode is set", 0},
      {0, false, "No Spectrum 1", 0},
      {2, true, "", 2},
  };
  for (const Case& c : cases) {
    MainMode = c.mode;
    SpectrumList[1]->Present = c.present ? 1 : 0;
    ui.ExpectDialog(MenuCaption)
        .Inspect([&c](TForm2& f) {
          EXPECT_EQ(f.Label2.visible, *c.status != 0) << c.status;
          if (!f.Label2.visible) return;
          EXPECT_EQ(f.Label2.caption, c.status);
          EXPECT_EQ(std::make_tuple(f.Label2.left, f.Label2.top, f.Label2.font.color, f.Label2.color),
                    std::make_tuple(5, 280, BlueColor, WhiteColor));
        })
        .Cancel();
    EnterCrystalInfo();
    EXPECT_EQ(MainMode, c.modeAfter) << c.status;
  }
  // Powder match: item 3 is blank and does nothing; 4 and 5 want phase data first.
  Menu(2, 3).Inspect([](TForm2& f) { EXPECT_EQ(f.RadioGroup1.items[2], " "); }).Ok();
  Menu(4, 4).Ok();
  ui.ExpectMessage("First enter phase information");
  Menu(2, 5).Ok();
  ui.ExpectMessage("First enter phase information");
  ui.ExpectDialog(MenuCaption).Cancel();
  EnterCrystalInfo();
  EXPECT_EQ(MainMode, 2);
}

// "Add the aluminium phase" as a second phase, then its list formed through "Form the HKL set",
// where the first phase, still without atoms, is declined and kept.
TEST_F(CrystalMenuTest, AluminiumPhaseAndItsReflections) {
  AnisotropyOn = 1;
  HklTable[1][1].h = 77;
  PhaseTable[1].ReflectionCount = 1;
  PhaseModelFlags[2] = 1;
  PhaseTable[2].SourceFlags[0] = PhaseTable[2].SourceFlags[1] = 1;  // left by an earlier phase 2
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
  EXPECT_EQ(std::make_tuple(al.SpaceGroup, al.Setting, al.CrystalSystem, al.LatticeType, al.AtomCount),
            std::make_tuple(225, 1, 5, 4, 2));
  EXPECT_EQ(std::vector<double>(al.Cell, al.Cell + 6), (std::vector<double>{4.0494, 4.0494, 4.0494, 90, 90, 90}));
  EXPECT_NEAR(al.Volume, std::pow(4.0494, 3), 1e-9);
  EXPECT_NEAR(al.ReciprocalCell[0], 1 / 4.0494, 1e-12);
  EXPECT_EQ(al.SourceFlags[0] + al.SourceFlags[1], 0);
  EXPECT_EQ(PhaseModelFlags[2], 0);
  EXPECT_EQ(AnisotropicPhases[2], 1);
  EXPECT_EQ(NoCrystalInfo, 0);
  // Form hkl marks Rietveld and powder match; the new phase also changes the indexing array.
  EXPECT_EQ(std::vector<int>(ParametersPending, ParametersPending + ModeCount), std::vector<int>({1, 1, 1, 0}));
  const double positions[2][3] = {{0, 0, 0}, {0.5, 0.5, 0}};
  for (int32_t a = 1; a <= 2; ++a) {
    const ATOM& atom = AtomTable[a][2];
    EXPECT_EQ(atom.Name, "AL");
    EXPECT_EQ(atom.ScatteringLength, 0.3449);  // b_c of Al, 3.449 fm
    EXPECT_EQ(std::make_tuple(atom.X, atom.Y, atom.Z, atom.Occupation),
              std::make_tuple(positions[a - 1][0], positions[a - 1][1], positions[a - 1][2], 1.0));
  }
  ExpectAluminiumList(2);
  EXPECT_EQ(PhaseTable[1].AtomCount, 0);
  EXPECT_EQ(PhaseTable[1].ReflectionCount, 1);
  EXPECT_EQ(HklTable[1][1].h, 77);
}

// With six phases in use there is no room for another: refused, nothing changes.
TEST_F(CrystalMenuTest, SeventhPhaseIsRefused) {
  PhaseCount = MaxPhases;
  NoCrystalInfo = 0;
  ASSERT_TRUE(SetUpPhase(MaxPhases, 14, 2, {5, 6, 7, 90, 100, 90}, {IsoAtom(0.5, 0.1, 0.2, 0.3)}));
  const LATTICE before = PhaseTable[MaxPhases];
  const ATOM atom1 = AtomTable[1][MaxPhases], atom2 = AtomTable[2][MaxPhases];
  Menu(2, 8).Ok();
  ui.ExpectMessage("Error, 6 phases in use: no room for the aluminium phase");
  ui.ExpectDialog(MenuCaption).Cancel();
  EnterCrystalInfo();
  EXPECT_EQ(PhaseCount, MaxPhases);
  EXPECT_EQ(PhaseDifferences(PhaseTable[MaxPhases], before), Lines{});
  EXPECT_EQ(std::make_tuple(AtomTable[1][MaxPhases].Name, AtomTable[1][MaxPhases].X, AtomTable[2][MaxPhases].X),
            std::make_tuple(atom1.Name, atom1.X, atom2.X));
}

}  // namespace

// The atom information display: the list lines of a nuclear and a magnetic phase written out from
// their widths, one window per atom with the merged positions until Cancel, the full scratch list
// of 48 operations, three centrings and inversion, and a list longer than the information lines.
#include <gtest/gtest.h>
#include <algorithm>
#include <string>
#include <vector>
#include "crystal/atomic_info.h"
#include "crystal/equivalent_positions.h"
#include "crystal/phase_setup.h"

namespace {
class AtomicInfoTest : public PhaseTest {
protected:
  static ATOM& Atom(int32_t p, int32_t j, const std::string& name) {
    PhaseTable[p].AtomCount = std::max(PhaseTable[p].AtomCount, j);
    ATOM& a = AtomTable[j][p] = ATOM{};
    a.Name = name;
    return a;
  }
  std::vector<std::string> Shown(size_t k) const { return ui.dialogs.at(k).ListBox1.items; }
};
}  // namespace

TEST_F(AtomicInfoTest, ListLinesOfNuclearAndMagneticPhasesSaveAndCancel) {
  PhaseCount = 3, PhaseModelFlags[3] = 1;  // phase 1 without atoms
  ATOM& fe = Atom(2, 1, "Fe");
  fe.Occupation = 1, fe.X = 0.125, fe.Y = -0.25, fe.Z = 0.5, fe.T11 = 0.35, fe.T33 = 1.5;
  fe.Weight = 55.845, fe.Radius = 1.26, fe.ScatteringLength = 0.945, fe.Absorption1 = 11.62, fe.Absorption2 = 2.56;
  ATOM& mn = Atom(3, 1, "Mn");
  mn.Occupation = 0.5, mn.X = 1, mn.T12 = -0.125, mn.Weight = 54.938, mn.Radius = 1.39, mn.ScatteringLength = -0.373;
  mn.MagneticMoment = -4.5, mn.IonName = "MN2+";
  const std::vector<std::string> expected = {
      "                        PHASE 2",
      "Fe  (occupation, X, Y, Z, Tij) =",
      "   1.00 0.1250-0.2500 0.5000   0.35   0.00   0.00   0.00   0.00   1.50",
      "Site multiplicity = 1",  // a phase without operations is P1
      "Weight =      55.8  Radius =      1.26  Scatt. =    0.94500",
      "Absor1 =     11.62  Absor2 =      2.56",
      " ",
      "                        PHASE 3",
      "Mn magnetic  (occupation, X, Y, Z, Tij) =",
      "   0.50 1.0000 0.0000 0.0000   0.00  -0.12   0.00   0.00   0.00   0.00",
      "Site multiplicity = 1",
      "Weight =      54.9  Radius =      1.39  Scatt. =    0.00000",  // a magnetic phase shows 0
      "Absor1 =      0.00  Absor2 =      0.00",
      "Mag.moment=   -4.500  Ionname= MN2+",
      " "};
  ui.ExpectMessage("No atoms for phase 1");
  ui.ExpectDialog("Atomic information.").Save().Cancel();  // no window per atom follows
  ShowAtomicInfo();
  ASSERT_EQ(ui.dialogs.size(), 1u);
  const TListBox& list = ui.dialogs[0].ListBox1;
  EXPECT_EQ(list.items, expected);
  std::vector<std::string> saved = expected;
  saved.insert(saved.begin(), " Atomic information.");
  EXPECT_EQ(LogLines(), saved);
}

TEST_F(AtomicInfoTest, WindowPerAtomWithMergedPositionsUntilCancel) {
  // Fm-3m (24 listed operations, three centrings, centre): the origin takes 48 images and six
  // positions 24 each, the inverted copies unreduced: (-0.5, -0.5, 0) apart from (0.5, 0.5, 0).
  ASSERT_TRUE(SetUpPhase(1, 225, 1, {4, 4, 4, 90, 90, 90}, {IsoAtom(0.3, 0, 0, 0), IsoAtom(0.3, 0.1, 0.2, 0.3)}));
  Atom(1, 3, "Never");
  ui.ExpectDialog("Atomic information.").Ok();
  ui.ExpectDialog("Atomic information.").Ok();
  ui.ExpectDialog("Atomic information.").Cancel();  // the third atom's window never comes
  ShowAtomicInfo();
  // F m -3 m: 4 positions of site 4a in the cell (the origin, and the third atom's zeros); 0.1,
  // 0.2, 0.3 (z = x + y) lies on a mirror: 96 positions, as gemmi counts them (192 general).
  const auto list = Shown(0);
  EXPECT_EQ(std::count(list.begin(), list.end(), "Site multiplicity = 4"), 2);
  EXPECT_EQ(std::count(list.begin(), list.end(), "Site multiplicity = 96"), 1);
  const auto origin = Shown(1);
  ASSERT_EQ(origin.size(), 9u);
  EXPECT_EQ(origin[0], "Atom X");
  EXPECT_EQ(origin[1], "Coinciding equivalent atoms (x,y,z, n of coinc.)");
  EXPECT_EQ(origin[2], "1     0.0000     0.0000     0.0000         48");
  std::vector<std::string> six(origin.begin() + 3, origin.end()), want;
  for (std::string s : {"   0.5000", "  -0.5000"})
    for (std::string p : {"   0.0000  " + s + "  " + s, s + "     0.0000  " + s, s + "  " + s + "     0.0000"})
      want.push_back("  " + p + "         24");
  for (size_t i = 0; i < six.size(); ++i) {
    EXPECT_EQ(six[i].substr(0, 1), std::to_string(i + 2));  // running numbers of the shown lines
    six[i] = six[i].substr(1);
  }
  std::sort(six.begin(), six.end()), std::sort(want.begin(), want.end());
  EXPECT_EQ(six, want);
}

TEST_F(AtomicInfoTest, FortyEightOperationsThreeCentringsAndInversionFillTheScratchList) {
  ASSERT_TRUE(SetUpPhase(1, 225, 1, {4, 4, 4, 90, 90, 90}, {IsoAtom(0.3, 0.05, 0.15, 0.4)}));
  LATTICE& p = PhaseTable[1];
  for (int m = 1; m <= 24; ++m)  // the 24 listed operations and their negatives
    for (int r = 0; r < 3; ++r)
      for (int c = 0; c < 3; ++c) p.Rotations[r][c][m + 24] = -p.Rotations[r][c][m];
  p.OperationCount = 48;
  ui.ExpectDialog("Atomic information.").Ok();
  ui.ExpectDialog("Atomic information.").Ok();
  ShowAtomicInfo();
  ASSERT_EQ(EquivalentPositions.count, 384);
  const auto lines = Shown(1);
  double total = 0;
  for (size_t i = 2; i < lines.size(); ++i) total += std::stod(lines[i].substr(lines[i].size() - 9));
  EXPECT_EQ(total, 384);  // every image counted once, on the position it merged into
}

TEST_F(AtomicInfoTest, ListLongerThanTheInformationLinesIsShownAndSavedWhole) {
  PhaseCount = 3;
  for (int p = 1; p <= 3; ++p)
    for (int j = 1; j <= 140; ++j) Atom(p, j, "A" + std::to_string(j));
  ui.ExpectDialog("Atomic information.").Save().Cancel();
  ShowAtomicInfo();
  const auto lines = Shown(0);
  ASSERT_EQ(lines.size(), 3u * (1 + 140 * 6));  // 2523, beyond the 2005 information lines
  EXPECT_EQ(lines[lines.size() - 6], "A140  (occupation, X, Y, Z, Tij) =");
  const auto log = LogLines();
  ASSERT_EQ(log.size(), lines.size() + 1);
  EXPECT_TRUE(std::equal(lines.begin(), lines.end(), log.begin() + 1));
}

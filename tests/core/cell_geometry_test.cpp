// Cell geometry against gemmi (golden values from tools/gen_cell_golden.py) and against the
// identities of the reciprocal lattice.
#include <gtest/gtest.h>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <numbers>
#include <sstream>
#include "core/cell_geometry.h"
#include "core/dialog_state.h"
#include "core/model_tables.h"
#include "core/space_groups.h"
#include "support/golden_files.h"
#include "support/scripted_fixture.h"
#include "support/temp_path.h"

namespace {

// NaN for a token that is not wholly a number, so that no comparison passes.
double Num(const std::string& s) {
  double x = NAN;
  return TokenNumber(s, x) ? x : NAN;
}

const std::vector<Tokens> Committed = GoldenRows("cell_golden.txt");

// Agreement allowed by 57.29578 degrees per radian (8.5e-9 relative, a few times that in a
// volume) and by pi as 3.1415925 in the reciprocal angles (1.5e-7 radian, which a round trip
// through the reciprocal cell carries into lengths and volumes).
constexpr double RelTol = 5e-8, RoundTripTol = 1e-6, AngleTol = 1e-4 /* degrees */;

// Lengths relative, angles absolute; where gemmi has exactly 90 degrees the angle is snapped to it.
void ExpectCell(const double* got, const double* want, double relTol) {
  for (int i = 0; i < 6; ++i)
    EXPECT_NEAR(got[i], want[i], i < 3 ? relTol * want[i] : want[i] == 90 ? 0 : AngleTol) << "field " << i;
}

class CellGeometry : public ScriptedTest {};

}  // namespace

TEST_F(CellGeometry, VolumeAndReciprocalCellAgreeWithGemmi) {
  int cells = 0;
  for (const auto& t : Committed) {
    if (t[0] != "cell") continue;
    ASSERT_EQ(t.size(), 15u);
    ++cells;
    double cell[6], gemmi[6], cosCell[6];
    for (int i = 0; i < 6; ++i) {
      cell[i] = Num(t[1 + i]);
      gemmi[i] = Num(t[8 + i]);
      cosCell[i] = i < 3 ? cell[i] : std::cos(cell[i] / RadToDeg);
    }
    SCOPED_TRACE(t[1] + " " + t[2] + " " + t[3] + " " + t[4] + " " + t[5] + " " + t[6]);
    const double v = CellVolume(cell), wantV = Num(t[7]), wantRv = Num(t[14]);
    EXPECT_NEAR(v, wantV, RelTol * wantV);
    double rec[6], rv = -1;
    CellMetric(cell, rec, rv, 0);
    ExpectCell(rec, gemmi, RelTol);
    EXPECT_NEAR(rv, wantRv, RelTol * wantRv);
    EXPECT_NEAR(rv * v, 1.0, 2 * RelTol);  // V* = 1 / V
    // The relation is symmetric: the reciprocal of the reciprocal cell is the cell.
    double back[6], bv = -1;
    CellMetric(rec, back, bv, 0);
    ExpectCell(back, cell, RoundTripTol);
    EXPECT_NEAR(bv, wantV, RoundTripTol * wantV);
    // With c = 0: "Unit cell error", and only the angle fields written, holding the cosines.
    double flat[6] = {cell[0], cell[1], 0, cell[3], cell[4], cell[5]}, out[6] = {7, 8, 9}, ov = 42;
    CellMetric(flat, out, ov, 0);
    for (int i = 3; i < 6; ++i) EXPECT_NEAR(out[i], std::cos(gemmi[i] / 180 * std::numbers::pi), 1e-7);
    EXPECT_TRUE(out[0] == 7 && out[1] == 8 && out[2] == 9 && ov == 42);
    // Mode 1 takes the cosines in the angle fields; one array may be both cell and reciprocal.
    double rec1[6], rv1 = -1, sv = -1;
    CellMetric(cosCell, rec1, rv1, 1);
    CellMetric(cell, cell, sv, 0);
    for (int i = 0; i < 6; ++i) EXPECT_TRUE(rec1[i] == rec[i] && cell[i] == rec[i]) << i;
    EXPECT_TRUE(rv1 == rv && sv == rv);
  }
  EXPECT_GE(cells, 15);
  EXPECT_EQ(ui.Messages(), std::vector<std::string>(cells, "Unit cell error"));
  EXPECT_EQ(CellVolumeFromCosines(1, 1, 1, 1, 1, -1), 0);  // angles that close no cell: 0, not NaN
}

TEST_F(CellGeometry, SymmetryCodesAgreeWithGemmi) {
  const std::string letters = "PABCFIR";  // lattice type codes 0..6
  int groups = 0;
  for (const auto& t : Committed) {
    if (t[0] != "group") continue;
    ASSERT_EQ(t.size(), 5u);
    ++groups;
    const int n = std::stoi(t[1]), system1 = std::stoi(t[2]);
    EXPECT_EQ(CrystalSystemOfGroup(n, 1), system1) << n;
    EXPECT_EQ(CrystalSystemOfGroup(n, 2), std::stoi(t[3])) << n;
    // The centring of the group (R groups on rhombohedral axes) is admitted by its system.
    EXPECT_TRUE(BravaisTypeAllowed(system1, static_cast<int>(letters.find(t[4][0])))) << n;
  }
  EXPECT_EQ(groups, 230);
  for (int n : {0, 231, -1, -167, 777}) EXPECT_EQ(CrystalSystemOfGroup(n, 1), 1) << n;

  // The 14 Bravais lattices by system (types 0 P, 1 A, 2 B, 3 C, 4 F, 5 I, 6 R): the one-face
  // centrings count in every setting, the rhombohedral lattice is described as P or R.
  const std::string lattices[] = {"", "0", "0123", "012345", "05", "045", "0", "06", "", ""};
  for (int system = -1; system <= 9; ++system)
    for (int type = -1; type <= 8; ++type)
      EXPECT_EQ(BravaisTypeAllowed(system, type),
                system >= 0 && type >= 0 && lattices[system].find('0' + type) != std::string::npos)
          << system << " " << type;
}

TEST_F(CellGeometry, ClampedInverseTrigonometryAndQuarterFractions) {
  constexpr double pi = std::numbers::pi;
  const std::pair<double, double> acos[] = {{1.5, 0},  {1, 0},           {-1, pi},
                                            {-7, pi}, {-0.00005, pi / 2}, {0.0000999, pi / 2}};
  const std::pair<double, double> asin[] = {{1, 1.57079625},  {3, 1.57079625}, {-1, 4.71238875},
                                            {-2, 4.71238875}, {0, 0}};
  for (auto [x, want] : acos) EXPECT_EQ(ArcCosClamped(x), want) << x;
  for (auto [x, want] : asin) EXPECT_EQ(ArcSinAngle(x), want) << x;
  // Against the library: the arc cosine of an obtuse angle is exact (a cell's angle goes to its
  // cosine and back unchanged); the sine's mirrored branch is off by pi - 3.1415925 = 1.54e-7,
  // and a negative sine gives an angle between pi and 3 pi/2.
  for (double x = -0.999; x < 1; x += 0.0137) {
    if (std::fabs(x) < 1e-4) continue;
    EXPECT_NEAR(ArcCosClamped(x), std::acos(x), 1e-14) << x;
    EXPECT_NEAR(ArcSinAngle(x), x < 0 ? pi - std::asin(x) : std::asin(x), x < 0 ? 2e-7 : 1e-14) << x;
  }

  for (double x : {0.0, -0.0, 0.25, -0.25, 0.5, -0.5, 0.75, -0.75, 1.0, -1.0})
    EXPECT_TRUE(IsQuarterFraction(x)) << x;
  for (double x : {0.3, 1.0 / 3, 0.125, 0.2500001, 1.25, 2.0, -1.5, std::nan("")})
    EXPECT_FALSE(IsQuarterFraction(x)) << x;
}

// The table of crystal systems says what CrystalSystemOfGroup and BravaisTypeAllowed do, and the
// second-setting list names exactly the groups the space-group table has a second entry for.
TEST_F(CellGeometry, CrystalSystemTableAndSecondSettings) {
  const std::string letters = "PABCFIR";
  for (int system = 1; system <= 7; ++system) {
    const TCrystalSystemRow& row = CrystalSystemTable[system];
    EXPECT_EQ(&CrystalSystemRow(system), &row);
    std::string admitted = "(";
    for (int type = 0; type < 7; ++type)
      if (BravaisTypeAllowed(system, type)) admitted += letters[type];
    EXPECT_EQ(row.letters, admitted + ")") << row.name;
    // "n-m" or a list "n,m,..": every number given belongs to the system (the rhombohedral
    // groups in setting 1), and every group of the system is given.
    std::vector<int> listed;
    std::string groups = row.groups;
    const size_t dash = groups.find('-');
    if (dash != std::string::npos) {
      for (int n = std::stoi(groups.substr(0, dash)); n <= std::stoi(groups.substr(dash + 1)); ++n) listed.push_back(n);
    } else {
      std::istringstream in(groups);
      for (std::string t; std::getline(in, t, ',');) listed.push_back(std::stoi(t));
    }
    const int setting = system == 7 ? 1 : 2;
    for (int n = 1; n <= 230; ++n) {
      const bool inRow = std::find(listed.begin(), listed.end(), n) != listed.end();
      EXPECT_EQ(CrystalSystemOfGroup(n, setting) == system, inRow) << row.name << " " << n;
    }
  }
  EXPECT_EQ(&CrystalSystemRow(0), &CrystalSystemTable[1]);
  EXPECT_EQ(&CrystalSystemRow(8), &CrystalSystemTable[1]);

  const LATTICE kept = PhaseTable[1];
  int found = 0;
  for (int n = 1; n <= 234; ++n) {
    PhaseTable[1] = LATTICE{};
    PhaseTable[1].SpaceGroup = n;
    PhaseTable[1].Setting = 2;
    ExpandSpaceGroup(1);
    const bool listed = std::find(SecondSettingGroups.begin(), SecondSettingGroups.end(), n) != SecondSettingGroups.end();
    EXPECT_EQ(DialogOk == 1, listed) << n;
    found += DialogOk;
  }
  PhaseTable[1] = kept;
  EXPECT_EQ(found, 44);
}

// The committed golden file is what the generator writes now (where gemmi is installed).
TEST(CellGeometryGolden, GeneratorReproducesCommittedFile) {
  VKEST_REQUIRE_PYTHON("gemmi");
  const std::string out = TestTempPath("cell_golden.txt");
  ASSERT_EQ(RunTool("gen_cell_golden.py", out), 0);
  // gemmi's cell algebra: products and libm's trigonometry on cells far from flat (volume above
  // 0.3 abc, condition below 10): a few ulps, which 1e-13 holds with room.
  EXPECT_EQ(TokenMismatches(TokenRows(out), Committed,
                            [](const Tokens& row, size_t col) { return 1e-13 * std::fabs(Num(row[col])); }),
            Tokens{});
  std::filesystem::remove(out);
}

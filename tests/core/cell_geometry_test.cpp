// Cell geometry against gemmi (golden values from tools/gen_cell_golden.py) and against the
// identities of the reciprocal lattice.
#include <gtest/gtest.h>
#include <unistd.h>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <set>
#include <sstream>
#include <string>
#include <vector>
#include "core/cell_geometry.h"
#include "support/scripted_fixture.h"

namespace {

struct GoldenCell {
  double cell[6];
  double volume;
  double reciprocal[6];
  double reciprocalVolume;
};
struct GoldenGroup {
  int number, system1, system2;
  char centring;
};
struct Golden {
  std::vector<GoldenCell> cells;
  std::vector<GoldenGroup> groups;
  std::vector<std::vector<std::string>> rows;  // every data row as tokens
};

double ToDouble(const std::string& s) {
  double x = 0;
  auto r = std::from_chars(s.data(), s.data() + s.size(), x);
  EXPECT_TRUE(r.ec == std::errc() && r.ptr == s.data() + s.size()) << "bad number " << s;
  return x;
}

Golden ReadGolden(const std::string& path) {
  Golden g;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream ss(line);
    std::vector<std::string> tok;
    for (std::string t; ss >> t;) tok.push_back(t);
    g.rows.push_back(tok);
    if (tok[0] == "cell" && tok.size() == 15) {
      GoldenCell c;
      for (int i = 0; i < 6; ++i) c.cell[i] = ToDouble(tok[1 + i]);
      c.volume = ToDouble(tok[7]);
      for (int i = 0; i < 6; ++i) c.reciprocal[i] = ToDouble(tok[8 + i]);
      c.reciprocalVolume = ToDouble(tok[14]);
      g.cells.push_back(c);
    } else if (tok[0] == "group" && tok.size() == 5) {
      g.groups.push_back({std::stoi(tok[1]), std::stoi(tok[2]), std::stoi(tok[3]), tok[4][0]});
    } else {
      ADD_FAILURE() << "unexpected golden line: " << line;
    }
  }
  return g;
}

const std::string GoldenPath = std::string(VKEST_SOURCE_DIR) + "/tests/core/data/cell_golden.txt";

const Golden& CommittedGolden() {
  static const Golden g = ReadGolden(GoldenPath);
  return g;
}

// Agreement allowed by 57.29578 degrees per radian (8.5e-9 relative, a few times that in a
// volume) and by pi as 3.1415925 in the reciprocal angles (1.5e-7 radian, which a round trip
// through the reciprocal cell carries into lengths and volumes).
constexpr double RelTol = 5e-8;
constexpr double RoundTripTol = 1e-6;
constexpr double AngleTol = 1e-4;  // degrees

void ExpectRel(double got, double want, double tol, const std::string& what) {
  EXPECT_NEAR(got, want, tol * std::fabs(want)) << what;
}

std::string CellText(const double* c) {
  std::string s;
  for (int i = 0; i < 6; ++i) s += std::to_string(c[i]) + " ";
  return s;
}

class CellGeometry : public ScriptedTest {};

}  // namespace

TEST_F(CellGeometry, VolumeAndReciprocalCellAgreeWithGemmi) {
  const Golden& g = CommittedGolden();
  ASSERT_GE(g.cells.size(), 15u);
  for (const GoldenCell& c : g.cells) {
    std::string id = CellText(c.cell);
    double v = CellVolume(c.cell);
    ExpectRel(v, c.volume, RelTol, "volume of " + id);
    EXPECT_EQ(v, CellVolumeFromCosines(c.cell[0], c.cell[1], c.cell[2], std::cos(c.cell[3] / RadToDeg),
                                       std::cos(c.cell[4] / RadToDeg), std::cos(c.cell[5] / RadToDeg)));

    double rec[6] = {-1, -1, -1, -1, -1, -1};
    double rv = -1;
    CellMetric(c.cell, rec, rv, 0);
    for (int i = 0; i < 3; ++i) ExpectRel(rec[i], c.reciprocal[i], RelTol, "a* of " + id);
    for (int i = 3; i < 6; ++i) EXPECT_NEAR(rec[i], c.reciprocal[i], AngleTol) << "alpha* of " << id;
    ExpectRel(rv, c.reciprocalVolume, RelTol, "V* of " + id);
    // V* = 1 / V.
    EXPECT_NEAR(rv * v, 1.0, 2 * RelTol) << id;

    // The relation is symmetric: the reciprocal of the reciprocal cell is the cell.
    double back[6];
    double bv = -1;
    CellMetric(rec, back, bv, 0);
    for (int i = 0; i < 3; ++i) ExpectRel(back[i], c.cell[i], RoundTripTol, "a** of " + id);
    for (int i = 3; i < 6; ++i) EXPECT_NEAR(back[i], c.cell[i], AngleTol) << "alpha** of " << id;
    ExpectRel(bv, c.volume, RoundTripTol, "V** of " + id);

    // Mode 1 takes the cosines in the angle fields: the same result.
    double cosCell[6] = {c.cell[0], c.cell[1], c.cell[2], std::cos(c.cell[3] / RadToDeg),
                         std::cos(c.cell[4] / RadToDeg), std::cos(c.cell[5] / RadToDeg)};
    double rec1[6];
    double rv1 = -1;
    CellMetric(cosCell, rec1, rv1, 1);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(rec1[i], rec[i]) << id;
    EXPECT_EQ(rv1, rv);

    // Mode 2 (cosines too): 1/a and the supplements of the reciprocal angles.
    double rec2[6];
    double rv2 = -1;
    CellMetric(cosCell, rec2, rv2, 2);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(rec2[i], 1 / c.cell[i]);
    for (int i = 3; i < 6; ++i) EXPECT_EQ(rec2[i], 180 - rec[i]);
    EXPECT_EQ(rv2, rv);

    // One array as both cell and reciprocal.
    double same[6];
    std::copy(c.cell, c.cell + 6, same);
    double sv = -1;
    CellMetric(same, same, sv, 0);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(same[i], rec[i]) << id;
  }
  EXPECT_TRUE(ui.Messages().empty());
}

TEST_F(CellGeometry, CrystalSystemOfEveryGroupAgreesWithGemmi) {
  const Golden& g = CommittedGolden();
  ASSERT_EQ(g.groups.size(), 230u);
  for (const GoldenGroup& gr : g.groups) {
    EXPECT_EQ(CrystalSystemOfGroup(gr.number, 1), gr.system1) << "group " << gr.number;
    EXPECT_EQ(CrystalSystemOfGroup(gr.number, 2), gr.system2) << "group " << gr.number;
  }
  EXPECT_EQ(CrystalSystemOfGroup(167, 1), 7);
  EXPECT_EQ(CrystalSystemOfGroup(167, 2), 6);
  EXPECT_EQ(CrystalSystemOfGroup(150, 1), 6);
  for (int n : {0, 231, -1, -167, 777}) EXPECT_EQ(CrystalSystemOfGroup(n, 1), 1) << n;
}

TEST_F(CellGeometry, BravaisTypesAreTheFourteenLattices) {
  // The 14 Bravais lattices in the program's codes (type 0 P, 1 A, 2 B, 3 C, 4 F, 5 I, 6 R); the
  // one-face centrings of monoclinic and orthorhombic cells count in every setting, and the
  // rhombohedral lattice is described primitive (P) or by its R letter.
  const std::set<std::pair<int, int>> lattices = {
      {1, 0},                                          // aP
      {2, 0}, {2, 1}, {2, 2}, {2, 3},                  // mP, mC
      {3, 0}, {3, 1}, {3, 2}, {3, 3}, {3, 4}, {3, 5},  // oP, oC, oF, oI
      {4, 0}, {4, 5},                                  // tP, tI
      {5, 0}, {5, 4}, {5, 5},                          // cP, cF, cI
      {6, 0},                                          // hP
      {7, 0}, {7, 6},                                  // hR
  };
  for (int system = -1; system <= 9; ++system)
    for (int type = -1; type <= 8; ++type)
      EXPECT_EQ(BravaisTypeAllowed(system, type), lattices.count({system, type}) == 1)
          << "system " << system << " type " << type;

  // The centring of every space group (reference setting, R groups on rhombohedral axes) is
  // admitted by its crystal system.
  const std::string letters = "PABCFIR";
  for (const GoldenGroup& gr : CommittedGolden().groups) {
    auto type = static_cast<int>(letters.find(gr.centring));
    ASSERT_NE(type, -1) << gr.centring;
    EXPECT_TRUE(BravaisTypeAllowed(gr.system1, type)) << "group " << gr.number;
  }
}

TEST_F(CellGeometry, SystemAnglesVolumesAndDegenerateCells) {
  struct Case { int system; double want[3]; };
  const Case cases[] = {{1, {71, 82, 93}}, {2, {90, 82, 93}},  {3, {90, 90, 90}}, {4, {90, 90, 90}},
                        {5, {90, 90, 90}}, {6, {90, 90, 120}}, {7, {71, 82, 93}}, {0, {71, 82, 93}}};
  for (const Case& k : cases) {
    double al = 71, be = 82, ga = 93;
    SetSystemAngles(al, be, ga, k.system);
    EXPECT_EQ(al, k.want[0]) << k.system;
    EXPECT_EQ(be, k.want[1]) << k.system;
    EXPECT_EQ(ga, k.want[2]) << k.system;
  }

  const double tri[6] = {4, 5, 6, 80, 95, 100};
  EXPECT_NEAR(CellVolume(tri), 116.18, 0.005);
  const double cube[6] = {2, 2, 2, 90, 90, 90};
  EXPECT_NEAR(CellVolume(cube), 8, 1e-12);
  // Angles that do not close a cell give 0, not NaN.
  EXPECT_EQ(CellVolumeFromCosines(1, 1, 1, 1, 1, -1), 0);
  EXPECT_EQ(CellVolumeFromCosines(3, 4, 5, 0, 0, 0), 60);

  double rec[6];
  double rv = -1;
  CellMetric(cube, rec, rv, 0);
  for (int i = 0; i < 3; ++i) EXPECT_NEAR(rec[i], 0.5, 1e-15);
  for (int i = 3; i < 6; ++i) EXPECT_EQ(rec[i], 90.0);  // snapped exactly
  EXPECT_NEAR(rv, 0.125, 1e-15);
  EXPECT_TRUE(ui.Messages().empty());
}

TEST_F(CellGeometry, ZeroEdgeReportsUnitCellErrorAndWritesOnlyCosines) {
  const double flat[6] = {4, 5, 0, 80, 95, 100};
  double rec[6] = {7, 8, 9, 0, 0, 0};
  double rv = 42;
  CellMetric(flat, rec, rv, 0);
  EXPECT_EQ(ui.Messages(), std::vector<std::string>{"Unit cell error"});
  EXPECT_EQ(rec[0], 7);
  EXPECT_EQ(rec[1], 8);
  EXPECT_EQ(rec[2], 9);
  EXPECT_EQ(rv, 42);
  // The angle fields hold the cosines of the reciprocal angles (gemmi: 99.298263, 86.630538,
  // 80.701737 degrees for this cell with c = 6).
  const double want[3] = {99.29826335395954, 86.63053794672204, 80.70173664604047};
  for (int i = 0; i < 3; ++i) EXPECT_NEAR(rec[3 + i], std::cos(want[i] / 180 * std::numbers::pi), 1e-7);

  ui.Clear();
  const double noA[6] = {0, 5, 6, 0.1, 0.2, 0.3};
  CellMetric(noA, rec, rv, 1);
  EXPECT_EQ(ui.Messages(), std::vector<std::string>{"Unit cell error"});
  EXPECT_EQ(rv, 42);
}

TEST_F(CellGeometry, InverseTrigonometricFunctions) {
  constexpr double pi = std::numbers::pi;
  EXPECT_EQ(ArcCosClamped(1.5), 0);
  EXPECT_EQ(ArcCosClamped(1), 0);
  EXPECT_EQ(ArcCosClamped(-1), pi);
  EXPECT_EQ(ArcCosClamped(-7), pi);
  EXPECT_EQ(ArcCosClamped(-0.00005), pi / 2);
  EXPECT_EQ(ArcCosClamped(0.0000999), pi / 2);
  EXPECT_EQ(ArcSinAngle(1), 1.57079625);
  EXPECT_EQ(ArcSinAngle(3), 1.57079625);
  EXPECT_EQ(ArcSinAngle(-1), 4.71238875);
  EXPECT_EQ(ArcSinAngle(-2), 4.71238875);
  EXPECT_EQ(ArcSinAngle(0), 0);
  EXPECT_NEAR(ArcSinAngle(-0.5), 3.66519, 5e-6);
  EXPECT_NEAR(ArcSinAngle(-0.5), PiLegacy + pi / 6, 1e-15);

  // Against the library: the mirrored branches are off by pi - 3.1415925 = 1.54e-7.
  for (double x = -0.999; x < 1; x += 0.0137) {
    if (std::fabs(x) < 1e-4) continue;
    double tolCos = x < 0 ? 2e-7 : 1e-14;
    EXPECT_NEAR(ArcCosClamped(x), std::acos(x), tolCos) << x;
    double sinWant = x < 0 ? pi - std::asin(x) : std::asin(x);
    EXPECT_NEAR(ArcSinAngle(x), sinWant, x < 0 ? 2e-7 : 1e-14) << x;
    EXPECT_GE(ArcSinAngle(x), 0) << x;
  }
}

TEST_F(CellGeometry, QuarterFractions) {
  for (double x : {0.0, -0.0, 0.25, -0.25, 0.5, -0.5, 0.75, -0.75, 1.0, -1.0})
    EXPECT_TRUE(IsQuarterFraction(x)) << x;
  for (double x : {0.3, 1.0 / 3, 0.125, 0.2500001, 1.25, 2.0, -1.5, std::nan("")})
    EXPECT_FALSE(IsQuarterFraction(x)) << x;
}

// The committed golden file is what the generator writes now (where gemmi is installed).
TEST(CellGeometryGolden, GeneratorReproducesCommittedFile) {
  const std::string python = VKEST_PYTHON;
  if (python.empty() || std::system((python + " -c 'import gemmi' 2>/dev/null").c_str()) != 0)
    GTEST_SKIP() << "gemmi is not importable";
  const std::string out =
      (std::filesystem::temp_directory_path() /
       ("vkest_cell_golden_" + std::to_string(::getpid()) + ".txt"))
          .string();
  const std::string cmd =
      python + " '" + VKEST_SOURCE_DIR + "/tools/gen_cell_golden.py' '" + out + "'";
  ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
  Golden live = ReadGolden(out);
  std::filesystem::remove(out);
  const Golden& committed = CommittedGolden();
  ASSERT_EQ(live.rows.size(), committed.rows.size());
  for (size_t r = 0; r < live.rows.size(); ++r) {
    ASSERT_EQ(live.rows[r].size(), committed.rows[r].size()) << "row " << r;
    for (size_t t = 0; t < live.rows[r].size(); ++t) {
      const std::string& a = live.rows[r][t];
      const std::string& b = committed.rows[r][t];
      if (a == b) continue;
      double x = ToDouble(a), y = ToDouble(b);
      EXPECT_NEAR(x, y, 1e-13 * std::fabs(y)) << "row " << r << " token " << t;
    }
  }
}

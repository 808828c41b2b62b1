// The group-file reader: table entries written by tools/gen_symmetry_golden.py read back as the
// table has them; the cuts, the magnetic second set and spin-plane line, the file question of the
// phase editor; every bad file leaves the phase exactly as it was.
#include <gtest/gtest.h>
#include <array>
#include <fstream>
#include <set>
#include "core/abandon.h"
#include "core/dialog_toolkit.h"
#include "core/settings_file.h"
#include "crystal/group_file.h"
#include "crystal/phase_setup.h"
#include "support/golden_files.h"
#include "support/temp_path.h"

namespace {

const std::string DataDir = VKEST_SOURCE_DIR "/tests/crystal/data/";

// A phase state that no file below gives: distinct values in every symmetry field.
LATTICE Marked() {
  LATTICE g;
  g.SpaceGroup = 777, g.Setting = 3, g.Schoenflies = "C1", g.HermannMauguin = "P?";
  g.ClassCode = 99, g.Centrosymmetric = 1, g.LatticeType = 5, g.CrystalSystem = 4;
  g.OperationCount = 5, g.CentringCount = 2;
  for (int j = 0; j <= MaxOperations; ++j)
    for (int r = 0; r < 3; ++r) {
      g.Translations[r][j] = 0.001 * j + r;
      for (int c = 0; c < 3; ++c) g.Rotations[r][c][j] = j + 3 * r + c;
    }
  for (int v = 0; v < 4; ++v)
    for (int c = 0; c < 3; ++c) g.CentringVectors[c][v] = 0.1 * v + c;
  g.MomentDirection[0] = 0.3, g.MomentDirection[1] = 0.4, g.MomentDirection[2] = 0.5;
  return g;
}

std::vector<double> Moment(int k) { return {PhaseTable[k].MomentDirection, PhaseTable[k].MomentDirection + 3}; }

class GroupFile : public PhaseTest {
protected:
  void TearDown() override {
    for (const auto& f : written_) std::filesystem::remove(f);
    PhaseTest::TearDown();
  }
  // text as a temporary file, which becomes SpaceGroupFileName.
  void File(const std::string& text) {
    written_.push_back(TestTempPath("group_" + std::to_string(written_.size()) + ".spg"));
    std::ofstream(written_.back(), std::ios::binary) << text;
    SpaceGroupFileName = written_.back().string();
  }
  // Phase k (not 1) holds the symmetry of the table entry (negative: setting 2), set up in phase 1.
  static void ExpectTable(int k, int entry) {
    ASSERT_TRUE(SetUpPhase(1, std::abs(entry), entry < 0 ? 2 : 1, {10, 10, 10, 90, 90, 90}));
    const LATTICE &g = PhaseTable[k], &t = PhaseTable[1];
    EXPECT_EQ(std::tuple(g.ClassCode, g.CentringCount, g.OperationCount, g.Centrosymmetric, g.LatticeType, g.CrystalSystem),
              std::tuple(t.ClassCode, t.CentringCount, t.OperationCount, t.Centrosymmetric, t.LatticeType, t.CrystalSystem))
        << entry;
    for (int v = 1; v <= t.CentringCount; ++v)
      for (int c = 0; c < 3; ++c) EXPECT_NEAR(g.CentringVectors[c][v], t.CentringVectors[c][v], 1e-15) << entry;
    for (int j = 1; j <= t.OperationCount; ++j)
      for (int r = 0; r < 3; ++r) {
        EXPECT_NEAR(g.Translations[r][j], t.Translations[r][j], 1e-15) << entry << " op " << j;
        for (int c = 0; c < 3; ++c) EXPECT_EQ(g.Rotations[r][c][j], t.Rotations[r][c][j]) << entry << " op " << j;
      }
  }
  KeepValues<std::string> name_{&SpaceGroupFileName, 1};
  std::vector<std::filesystem::path> written_;
};

}  // namespace

TEST_F(GroupFile, TableEntriesReadBackAsTheTableHasThem) {
  const std::set<std::string> symmetry = {"ClassCode",    "Centrosymmetric", "LatticeType", "CrystalSystem", "OperationCount",
                                          "CentringCount", "Rotations",       "Translations", "CentringVectors"};
  for (int entry : {-14, 19, -141, -166, 166, 176, -227}) {
    PhaseTable[2] = Marked();
    SpaceGroupFileName = DataDir + "group_" + std::to_string(entry) + ".spg";
    ReadNonStandardGroup(2, 1);
    ASSERT_EQ(DialogOk, 1) << entry;
    ExpectTable(2, entry);
    // Only the symmetry changes: number, setting, symbols and the moment direction stay.
    for (const auto& field : PhaseDifferences(PhaseTable[2], Marked())) EXPECT_TRUE(symmetry.count(field)) << entry << field;
  }
  EXPECT_TRUE(ui.Messages().empty());
}

// A magnetic phase reads both sets and the spin line, any other the first set; the phase
// editor's mode (its file question is tested with the editor) reads no spin line.
TEST_F(GroupFile, MagneticSecondSetAndSpinPlane) {
  SpaceGroupFileName = DataDir + "group_magnetic.spg";
  PhaseModelFlags[2] = PhaseModelFlags[4] = 1;
  PhaseTable[2] = PhaseTable[3] = PhaseTable[4] = Marked();
  ReadNonStandardGroup(2, 1);
  ReadNonStandardGroup(3, 1);
  ui.ChooseFile(SpaceGroupFileName);
  ui.ExpectDialog("").Cancel();  // the list that follows: the group was read all the same
  ReadNonStandardGroup(4, 0);
  EXPECT_EQ(DialogOk, 1);
  ExpectTable(2, -14);
  ExpectTable(3, -13);
  ExpectTable(4, -14);
  EXPECT_EQ(std::tuple(Moment(2), Moment(3)[0], Moment(4)[0]), std::tuple(std::vector{0.0, 1.0, 0.0}, 0.3, 0.3));
  EXPECT_TRUE(ui.Messages().empty());
}

TEST_F(GroupFile, CutsCommentsAndSuspiciousSpinPlanes) {
  // 4 translations are 3 and 50 formulas 48: the lines after them are not read.
  std::string formulas;
  for (int k = 1; k <= 50; ++k) formulas += "x, y, z+" + std::to_string(0.01 * k).substr(0, 4) + "\n";
  File("* four translations asked, three kept\n 1 4 50 0 0 1\n*\n0 0.5 0.5\n0.5,0,0.5\n*\n0.5\t0.5\t0\n" + formulas);
  PhaseTable[2] = Marked();
  ReadNonStandardGroup(2, 1);
  const LATTICE& g = PhaseTable[2];
  EXPECT_EQ(std::tuple(DialogOk, g.CentringCount, g.OperationCount, g.Rotations[2][2][48]), std::tuple(1, 3, 48, 1.0));
  EXPECT_EQ(std::tuple(g.CentringVectors[0][2], g.CentringVectors[1][2], g.CentringVectors[2][2]), std::tuple(0.5, 0.0, 0.5));
  EXPECT_NEAR(g.Translations[2][48], 0.48, 1e-15);
  EXPECT_EQ(g.Translations[2][49], Marked().Translations[2][49]);
  // The spin-plane line of a magnetic phase: not three numbers is suspicious, the first three
  // (missing ones 0) are stored all the same.
  PhaseModelFlags[3] = 1;
  const std::pair<std::string, std::vector<double>> spins[] = {
      {"0.5 0.25\n", {0.5, 0.25, 0}}, {"1, 2, 3, 4\n", {1, 2, 3}}, {"", {0, 0, 0}}, {"*\n 0 0 1\n", {0, 0, 1}}};
  for (const auto& [line, want] : spins) {
    File("4.3 0 1 0 0 2\nx,y,z\n*second set\n*\nx,-y,z\n" + line);
    PhaseTable[3] = Marked();
    ReadNonStandardGroup(3, 1);
    EXPECT_EQ(std::tuple(DialogOk, Moment(3), PhaseTable[3].Rotations[1][1][1], PhaseTable[3].ClassCode),
              std::tuple(1, want, -1.0, 4)) << line;
  }
  EXPECT_EQ(ui.Messages(), std::vector<std::string>(3, "Suspicious mag.spin plane info"));
}

TEST_F(GroupFile, BadFilesLeaveThePhaseExactlyAsItWas) {
  const std::string good = "2 1 2 1 5 4\n0.5 0.5 0.5\nx,y,z\n-x,-y,z\n";
  const std::pair<std::string, std::vector<std::string>> bad[] = {
      {"2 1 2 1 5\n0.5 0.5 0.5\nx,y,z\n-x,-y,z\n", {}},           // five numbers
      {"2 1 2 1 5 4 0\n0.5 0.5 0.5\nx,y,z\n-x,-y,z\n", {}},       // seven
      {"2 1 2 1 5 4\n0.5 0.5\nx,y,z\n-x,-y,z\n", {}},             // a translation of two
      {"2 1 2 1 5 4\n0.5 0.5 0.5 0\nx,y,z\n-x,-y,z\n", {}},       // of four
      {"2 1 2 1 7 4\n0.5 0.5 0.5\nx,y,z\n-x,-y,z\n", {}},         // lattice type 7
      {"2 1 2 1 -1 4\n0.5 0.5 0.5\nx,y,z\n-x,-y,z\n", {}},
      {"2 1 2 1 5 0\n0.5 0.5 0.5\nx,y,z\n-x,-y,z\n", {}},         // crystal system 0
      {"2 1 2 1 5 8\n0.5 0.5 0.5\nx,y,z\n-x,-y,z\n", {}},
      {"2 -1 2 1 5 4\nx,y,z\n-x,-y,z\n", {}},                     // negative counts
      {"2 1 -2 1 5 4\n0.5 0.5 0.5\n", {}},
      {"2 1 2 2 5 4\n0.5 0.5 0.5\nx,y,z\n-x,-y,z\n", {}},         // centrosymmetric 2
      {"2 1 2 1e300 5 4\n0.5 0.5 0.5\nx,y,z\n-x,-y,z\n", {}},     // no integer
      {"2 1 2 1 5 4\n0.5 0.5 0.5\nx,y,z\n-x,-y,z+1/2\n", {"Poor syntax= -X -Y,Z+1/2"}},
      {"2 1 2 1 5 4\n0.5 0.5 0.5\nx,y,z\n", {"Error, blank line in space group", "Poor syntax= "}},  // ends early
      {"2 1 2 1 5 4\n0.5 0.5 0.5\nx,y,z\n\n-x,-y,z\n", {"Error, blank line in space group", "Poor syntax= "}},
      {"", {}},
      // A bad second set of a magnetic phase: its good first set is not kept either.
      {good + "x,y\n-x,-y,z\n0 0 1\n", {"Poor syntax= X Y"}},
  };
  PhaseModelFlags[2] = 1;
  const LATTICE before = Marked();
  for (const auto& [text, messages] : bad) {
    File(text);
    PhaseTable[2] = before;
    ui.Clear();
    ReadNonStandardGroup(2, 1);
    EXPECT_EQ(DialogOk, 0) << text;
    EXPECT_EQ(PhaseDifferences(PhaseTable[2], before), std::vector<std::string>{}) << text;
    std::vector<std::string> want = messages;
    want.push_back("Wrong space group data");
    EXPECT_EQ(ui.Messages(), want) << text;
  }
  // The last file without the magnetic flag is good.
  PhaseModelFlags[2] = 0;
  ReadNonStandardGroup(2, 1);
  EXPECT_EQ(std::tuple(DialogOk, PhaseTable[2].LatticeType, PhaseTable[2].CrystalSystem), std::tuple(1, 5, 4));
  // A missing file abandons the operation with its name; the phase stays.
  SpaceGroupFileName = TestTempPath("no_such_group.spg").string();
  PhaseTable[2] = before;
  try {
    ReadNonStandardGroup(2, 1);
    ADD_FAILURE() << "not abandoned";
  } catch (const OperationAbandoned& e) {
    EXPECT_NE(std::string(e.what()).find(SpaceGroupFileName), std::string::npos) << e.what();
  }
  EXPECT_EQ(PhaseDifferences(PhaseTable[2], before), std::vector<std::string>{});
}

// A group whose operations do not keep the metric of the cell the INI command gave (a mirror
// normal to a on a monoclinic cell with beta 100) is refused; the same cell with the two-fold
// axis along b, a six-fold axis on a hexagonal cell and any group on a phase without a cell are
// taken. The metric by the direct formula G' = R^T G R, independent of the phase's reciprocal cell.
TEST_F(GroupFile, OperationsMustKeepTheCellsMetric) {
  const std::string mirror = "1 0 2 0 0 2\nx,y,z\n-x,y,z\n", twofold = "1 0 2 0 0 2\nx,y,z\n-x,y,-z\n",
                    sixfold = "1 0 2 0 0 6\nx,y,z\nx-y,x,z\n";
  struct Case { std::string file; std::array<double, 6> cell; int broken; };
  const Case cases[] = {
      {mirror, {5, 6, 7, 90, 100, 90}, 2},   {twofold, {5, 6, 7, 90, 100, 90}, 0},
      {mirror, {5, 6, 7, 90, 90.005, 90}, 0}, {mirror, {5, 6, 7, 90, 90.1, 90}, 2},
      {sixfold, {4, 4, 9, 90, 90, 90}, 0},   {sixfold, {4, 4.01, 9, 90, 90, 90}, 2},  // gamma set to 120
      {mirror, {0, 0, 0, 0, 0, 0}, 0},
  };
  for (const Case& c : cases) {
    File(c.file);
    LATTICE before = Marked();
    std::copy(c.cell.begin(), c.cell.end(), before.Cell);
    PhaseTable[2] = before;
    ui.Clear();
    ReadNonStandardGroup(2, 1);
    EXPECT_EQ(DialogOk, c.broken ? 0 : 1) << c.file << c.cell[4];
    if (c.broken) {
      EXPECT_EQ(PhaseDifferences(PhaseTable[2], before), std::vector<std::string>{});
      EXPECT_EQ(ui.Messages(), std::vector<std::string>{"Wrong space group data: operation 2 does not keep the cell's metric"});
    } else {
      EXPECT_TRUE(ui.Messages().empty()) << c.file;
    }
  }
}

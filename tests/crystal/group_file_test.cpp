// The group-file reader: table entries written by tools/gen_symmetry_golden.py read back as the
// table has them; the cuts, the magnetic second set and spin-plane line, the file question of the
// phase editor; every bad file leaves the phase exactly as it was.
#include <gtest/gtest.h>
#include <fstream>
#include "core/abandon.h"
#include "core/dialog_toolkit.h"
#include "core/settings_file.h"
#include "crystal/group_file.h"
#include "crystal/phase_setup.h"
#include "support/golden_files.h"
#include "support/temp_path.h"

namespace {

const std::string DataDir = std::string(VKEST_SOURCE_DIR) + "/tests/crystal/data/";

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

class GroupFile : public PhaseTest {
protected:
  void SetUp() override {
    PhaseTest::SetUp();
    saved_ = SpaceGroupFileName;
  }
  void TearDown() override {
    SpaceGroupFileName = saved_;
    for (const auto& f : written_) std::filesystem::remove(f);
    PhaseTest::TearDown();
  }
  // text as a temporary file, which becomes SpaceGroupFileName.
  void File(const std::string& text) {
    const auto path = TestTempPath("group_" + std::to_string(written_.size()) + ".spg");
    std::ofstream(path, std::ios::binary) << text;
    written_.push_back(path);
    SpaceGroupFileName = path.string();
  }
  // The table entry into phase 1 (the expected symmetry).
  void Table(int entry) {
    ASSERT_TRUE(SetUpPhase(1, std::abs(entry), entry < 0 ? 2 : 1, {10, 10, 10, 90, 90, 90}));
  }
  // Phase k's symmetry equals phase 1's (translations from decimals to 1e-15).
  void ExpectTableSymmetry(int k, const std::string& what) {
    const LATTICE &g = PhaseTable[k], &t = PhaseTable[1];
    EXPECT_EQ(std::tuple(g.ClassCode, g.CentringCount, g.OperationCount, g.Centrosymmetric, g.LatticeType),
              std::tuple(t.ClassCode, t.CentringCount, t.OperationCount, t.Centrosymmetric, t.LatticeType))
        << what;
    for (int v = 1; v <= t.CentringCount; ++v)
      for (int c = 0; c < 3; ++c) EXPECT_NEAR(g.CentringVectors[c][v], t.CentringVectors[c][v], 1e-15) << what;
    for (int j = 1; j <= t.OperationCount; ++j)
      for (int r = 0; r < 3; ++r) {
        EXPECT_NEAR(g.Translations[r][j], t.Translations[r][j], 1e-15) << what << " op " << j;
        for (int c = 0; c < 3; ++c) EXPECT_EQ(g.Rotations[r][c][j], t.Rotations[r][c][j]) << what << " op " << j;
      }
  }
  std::string saved_;
  std::vector<std::filesystem::path> written_;
};

// n formula lines "x,y,z+0.01 k", k = 1..n.
std::string Formulas(int n) {
  std::string s;
  for (int k = 1; k <= n; ++k) s += "x, y, z+" + std::to_string(0.01 * k).substr(0, 4) + "\n";
  return s;
}

}  // namespace

TEST_F(GroupFile, TableEntriesReadBackAsTheTableHasThem) {
  for (int entry : {-14, 19, -141, -166, 166, 176, -227}) {
    Table(entry);
    PhaseTable[2] = Marked();
    SpaceGroupFileName = DataDir + "group_" + std::to_string(entry) + ".spg";
    ReadNonStandardGroup(2, 1);
    ASSERT_EQ(DialogOk, 1) << entry;
    ExpectTableSymmetry(2, std::to_string(entry));
    EXPECT_EQ(PhaseTable[2].CrystalSystem, CrystalSystemOfGroup(std::abs(entry), entry < 0 ? 2 : 1)) << entry;
    // Number, setting, symbols and what lies beyond the counts stay.
    LATTICE rest = PhaseTable[2];
    const LATTICE marked = Marked();
    rest.ClassCode = marked.ClassCode, rest.Centrosymmetric = marked.Centrosymmetric;
    rest.LatticeType = marked.LatticeType, rest.CrystalSystem = marked.CrystalSystem;
    rest.OperationCount = marked.OperationCount, rest.CentringCount = marked.CentringCount;
    for (int j = 1; j <= PhaseTable[2].OperationCount; ++j)
      for (int r = 0; r < 3; ++r) {
        rest.Translations[r][j] = marked.Translations[r][j];
        for (int c = 0; c < 3; ++c) rest.Rotations[r][c][j] = marked.Rotations[r][c][j];
      }
    for (int v = 1; v <= PhaseTable[2].CentringCount; ++v)
      for (int c = 0; c < 3; ++c) rest.CentringVectors[c][v] = marked.CentringVectors[c][v];
    EXPECT_EQ(PhaseDifferences(rest, marked), std::vector<std::string>{}) << entry;
  }
  EXPECT_TRUE(ui.Messages().empty());
}

TEST_F(GroupFile, MagneticSecondSetSpinPlaneAndTheEditorsQuestion) {
  const std::string path = DataDir + "group_magnetic.spg";
  SpaceGroupFileName = path;
  PhaseModelFlags[2] = 1;
  PhaseTable[2] = PhaseTable[3] = PhaseTable[4] = Marked();
  ReadNonStandardGroup(2, 1);
  ReadNonStandardGroup(3, 1);  // not magnetic: the first set, no spin line
  Table(-14);
  ExpectTableSymmetry(2, "magnetic");
  EXPECT_EQ(std::vector(std::begin(PhaseTable[2].MomentDirection), std::end(PhaseTable[2].MomentDirection)),
            (std::vector{0.0, 1.0, 0.0}));
  Table(-13);
  ExpectTableSymmetry(3, "first set");
  EXPECT_EQ(PhaseTable[3].MomentDirection[0], 0.3);

  // The phase editor: the open dialog proposes the file name; the magnetic phase reads both
  // sets but no spin line; the list says so; Cancel changes nothing.
  SpaceGroupFileName = "vm.spg";
  PhaseModelFlags[4] = 1;
  ScreenScale = 1.0;
  ui.ChooseFile(path);
  ui.ExpectDialog("").Inspect([](TForm2& f) {
    EXPECT_TRUE(f.ListBox1.visible);
    EXPECT_EQ(f.ListBox1.items, (std::vector<std::string>{"Non-standard group read in.", "See INFO about phase"}));
    EXPECT_EQ(std::tuple(f.ListBox1.left, f.ListBox1.top, f.ListBox1.width, f.ListBox1.height),
              std::tuple(20, 40, 270, 120));
  }).Cancel();
  ReadNonStandardGroup(4, 0);
  EXPECT_EQ(DialogOk, 1);
  EXPECT_EQ(SpaceGroupFileName, path);
  Table(-14);
  ExpectTableSymmetry(4, "editor");
  EXPECT_EQ(PhaseTable[4].MomentDirection[0], 0.3);
  ASSERT_FALSE(ui.transcript.empty());
  EXPECT_NE(ui.transcript.front().find("vm.spg"), std::string::npos) << ui.transcript.front();

  const LATTICE before = PhaseTable[5] = Marked();
  ui.CancelFileDialog();
  ReadNonStandardGroup(5, 0);
  EXPECT_EQ(DialogOk, 0);
  EXPECT_EQ(SpaceGroupFileName, path);
  EXPECT_EQ(PhaseDifferences(PhaseTable[5], before), std::vector<std::string>{});
  EXPECT_TRUE(ui.Messages().empty());
}

TEST_F(GroupFile, CutsCommentsAndSuspiciousSpinPlanes) {
  // 4 translations are 3 and 50 formulas 48: the lines after them are not read.
  File("* four translations asked, three kept\n 1 4 50 0 0 1\n*\n0 0.5 0.5\n0.5,0,0.5\n*\n0.5\t0.5\t0\n" +
       Formulas(50));
  PhaseTable[2] = Marked();
  ReadNonStandardGroup(2, 1);
  const LATTICE& g = PhaseTable[2];
  EXPECT_EQ(DialogOk, 1);
  EXPECT_EQ(std::tuple(g.CentringCount, g.OperationCount), std::tuple(3, 48));
  EXPECT_EQ(std::vector({g.CentringVectors[0][2], g.CentringVectors[1][2], g.CentringVectors[2][2]}),
            std::vector({0.5, 0.0, 0.5}));
  EXPECT_NEAR(g.Translations[2][48], 0.48, 1e-15);
  EXPECT_EQ(g.Rotations[2][2][48], 1);
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
    EXPECT_EQ(DialogOk, 1) << line;
    EXPECT_EQ(std::vector(std::begin(PhaseTable[3].MomentDirection), std::end(PhaseTable[3].MomentDirection)), want)
        << line;
    EXPECT_EQ(PhaseTable[3].Rotations[1][1][1], -1);
    EXPECT_EQ(PhaseTable[3].ClassCode, 4);
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
  };
  for (const auto& [text, messages] : bad) {
    File(text);
    const LATTICE before = PhaseTable[2] = Marked();
    ui.Clear();
    DialogOk = 1;
    ReadNonStandardGroup(2, 1);
    EXPECT_EQ(DialogOk, 0) << text;
    EXPECT_EQ(PhaseDifferences(PhaseTable[2], before), std::vector<std::string>{}) << text;
    std::vector<std::string> want = messages;
    want.push_back("Wrong space group data");
    EXPECT_EQ(ui.Messages(), want) << text;
  }
  // A bad second set of a magnetic phase: its good first set is not kept either.
  PhaseModelFlags[2] = 1;
  File(good + "x,y\n-x,-y,z\n0 0 1\n");
  const LATTICE before = PhaseTable[2] = Marked();
  ReadNonStandardGroup(2, 1);
  EXPECT_EQ(DialogOk, 0);
  EXPECT_EQ(PhaseDifferences(PhaseTable[2], before), std::vector<std::string>{});
  // The same file without the magnetic flag is good.
  PhaseModelFlags[2] = 0;
  ReadNonStandardGroup(2, 1);
  EXPECT_EQ(DialogOk, 1);
  EXPECT_EQ(PhaseTable[2].LatticeType * 10 + PhaseTable[2].CrystalSystem, 54);

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

// The formula parser against gemmi: every operation of every table entry, written as gemmi's
// triplet with decimal translations (tools/gen_symmetry_golden.py), gives gemmi's rotation and
// translation and the table's operation; then the readings kept on purpose and the syntax errors.
#include <gtest/gtest.h>
#include <cmath>
#include <map>
#include "crystal/phase_setup.h"
#include "crystal/symmetry_formula.h"
#include "support/golden_files.h"
#include "support/temp_path.h"

namespace {

class SymmetryFormula : public PhaseTest {};

// A scratch group with operation 1 holding values no formula gives.
LATTICE Preset() {
  LATTICE g;
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 3; ++c) g.Rotations[r][c][1] = 7 + r + c;
    g.Translations[r][1] = 0.125 * (r + 1);
  }
  return g;
}

// Operation j: the rotation row by row, then the translation.
std::array<double, 12> Operation(const LATTICE& g, int j) {
  std::array<double, 12> o;
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 3; ++c) o[3 * r + c] = g.Rotations[r][c][j];
    o[9 + r] = g.Translations[r][j];
  }
  return o;
}

double Number(const std::string& s) {
  double v = 0;
  TokenNumber(s, v);
  return v;
}

}  // namespace

TEST_F(SymmetryFormula, EveryTableOperationFromGemmisTriplet) {
  // entry -> its lines: R (9), translation in 24ths (3), decimals written (3), triplet
  std::map<int, std::vector<Tokens>> entries;
  for (const Tokens& t : GoldenRows("symmetry_formulas.txt", "crystal")) entries[std::stoi(t.at(0))].push_back(t);
  ASSERT_EQ(entries.size(), 277u);
  for (const auto& [entry, ops] : entries) {
    ASSERT_TRUE(SetUpPhase(1, std::abs(entry), entry < 0 ? 2 : 1, {10, 10, 10, 90, 90, 90})) << entry;
    ASSERT_EQ(PhaseTable[1].OperationCount, int(ops.size())) << entry;
    LATTICE parsed;
    for (size_t j = 1; j <= ops.size(); ++j) {
      const Tokens& t = ops[j - 1];
      std::string formula = t.at(16);
      for (size_t w = 17; w < t.size(); ++w) formula += " " + t[w];
      SCOPED_TRACE(std::to_string(entry) + " " + formula);
      ASSERT_TRUE(ParseSymmetryFormula(parsed, int(j), formula));
      const auto got = Operation(parsed, int(j)), table = Operation(PhaseTable[1], int(j));
      for (int i = 0; i < 12; ++i) {
        // The parser's digit-by-digit sum is within a few ulps of the decimal written, which is
        // k/24 rounded to 15 decimals.
        EXPECT_NEAR(got[i], Number(t[i < 9 ? 1 + i : 4 + i]), i < 9 ? 0 : 1e-15);
        EXPECT_NEAR(got[i], Number(t[1 + i]) / (i < 9 ? 1 : 24.0), 2e-15);
        EXPECT_NEAR(got[i], table[i], 2e-15);
      }
    }
  }
  EXPECT_TRUE(ui.Messages().empty());
}

TEST_F(SymmetryFormula, GeneratorReRunGivesTheCommittedFiles) {
  VKEST_REQUIRE_PYTHON("gemmi, spglib");
  const auto dir = TestTempPath("symmetry_golden");
  std::filesystem::create_directories(dir);
  ASSERT_EQ(RunTool("gen_symmetry_golden.py", dir.string()), 0);
  // Integers and decimals written from exact fractions: the files agree byte for byte.
  for (const auto& e : std::filesystem::directory_iterator(VKEST_SOURCE_DIR "/tests/crystal/data")) {
    const std::string name = e.path().filename().string();
    if (name.starts_with("group_") || name == "symmetry_formulas.txt" || name == "equivalent_sites.txt") {
      EXPECT_EQ(ReadWholeFile(dir / name), ReadWholeFile(e.path())) << name;
    }
  }
  std::filesystem::remove_all(dir);
}

TEST_F(SymmetryFormula, ReadingsKeptAndFullPrecision) {
  const std::pair<const char*, std::array<double, 12>> cases[] = {
      {"x,y,z", {1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0}},
      {"-x, y+0.5, -z+0.5", {-1, 0, 0, 0, 1, 0, 0, 0, -1, 0, 0.5, 0.5}},
      // "+L" before "-L" before "L"; a digit before a letter is the constant: 2z is z + 2
      {" X-y , -x+Y ,2z", {1, -1, 0, -1, 1, 0, 0, 0, 1, 0, 0, 2}},
      {"0.25-y,,", {0, -1, 0, 0, 0, 0, 0, 0, 0, 0.25, 0, 0}},
      // the number reader's own readings: a trailing sign opens an empty exponent
      {"x+0.5+,y,z-.75", {1, 0, 0, 0, 1, 0, 0, 0, 1, 0.5, 0, -0.75}},
  };
  for (const auto& [formula, want] : cases) {
    LATTICE g = Preset();
    std::string f = formula;
    ASSERT_TRUE(ParseSymmetryFormula(g, 1, f)) << formula;
    const auto got = Operation(g, 1);
    for (int i = 0; i < 12; ++i) EXPECT_NEAR(got[i], want[i], 1e-15) << formula << " " << i;
  }
  // A preset with twelve decimals stays twelve decimals, not 1/3 and not the two of the display.
  DialogOk = 1;
  std::string f = "-y+0.333333333333, x-y+0.666666666667, z+0.166666666667";
  ParseSymmetryFormula(1, 5, f);
  const auto op = Operation(PhaseTable[1], 5);
  EXPECT_EQ(DialogOk, 1);
  EXPECT_NEAR(op[9], 0.333333333333, 1e-15);
  EXPECT_NEAR(op[10], 0.666666666667, 1e-15);
  EXPECT_NEAR(op[11], 0.166666666667, 1e-15);
  EXPECT_EQ(f, "-Y+0.333333333333 X-Y+0.666666666667,Z+0.166666666667");
  // The third expression is read to 72 characters; the first comma counts within 72.
  LATTICE g = Preset();
  f = "x,y,z+0." + std::string(69, '0') + "5Q";
  EXPECT_TRUE(ParseSymmetryFormula(g, 1, f));
  EXPECT_EQ(g.Translations[2][1], 0.0);
  f = "0." + std::string(68, '0') + "x,y,z";  // comma at 72
  EXPECT_TRUE(ParseSymmetryFormula(g, 1, f));
  EXPECT_TRUE(ui.Messages().empty());
}

TEST_F(SymmetryFormula, PoorSyntaxLeavesTheOperationAsItWas) {
  const std::string zeros(69, '0');
  const std::pair<std::string, std::string> bad[] = {
      {"x,y", "X Y"},                           // one comma
      {"x y z", "XYZ"},                         // none
      {"x,y,z+1/2", "X Y,Z+1/2"},               // a fraction is no number
      {"x,w,z", "X W,Z"},                       // letters other than X, Y, Z
      {"x+x,y,z", "X+X Y,Z"},                   // a term twice
      {"x,-y-y,z", "X -Y-Y,Z"},
      {"x,y,z+0.5e", "X Y,Z+0.5E"},
      {"0." + zeros + "x,y,z", "0." + zeros + "X,Y,Z"},  // first comma at 73
  };
  std::vector<std::string> want;
  for (const auto& [formula, shown] : bad) {
    LATTICE g = Preset();
    std::string f = formula;
    DialogOk = 1;
    EXPECT_FALSE(ParseSymmetryFormula(g, 1, f)) << formula;
    EXPECT_EQ(DialogOk, 0) << formula;
    EXPECT_EQ(Operation(g, 1), Operation(Preset(), 1)) << formula;
    want.push_back("Poor syntax= " + shown);
  }
  // Into the phase table: a failure before a good one keeps DialogOk 0 and the failed operation.
  PhaseTable[2] = Preset();
  DialogOk = 1;
  std::string f = "x,y,z+1/3";
  ParseSymmetryFormula(2, 1, f);
  f = "-x,-y,-z";
  ParseSymmetryFormula(2, 2, f);
  EXPECT_EQ(DialogOk, 0);
  EXPECT_EQ(Operation(PhaseTable[2], 1), Operation(Preset(), 1));
  EXPECT_EQ(PhaseTable[2].Rotations[1][1][2], -1);
  want.push_back("Poor syntax= X Y,Z+1/3");
  // Indices outside the tables write nothing.
  for (auto [phase, op] : {std::pair{7, 1}, {1, 49}, {1, 0}}) {
    f = "x,y,z";
    DialogOk = 1;
    ParseSymmetryFormula(phase, op, f);
    EXPECT_EQ(DialogOk, 0);
  }
  want.insert(want.end(), {"Error, phase index 7 outside 1..6", "Error, operation index 49 outside 1..48",
                           "Error, operation index 0 outside 1..48"});
  EXPECT_EQ(ui.Messages(), want);
}

// The formula parser against gemmi: every operation of every table entry, written as gemmi's
// triplet with decimal translations (tools/gen_symmetry_golden.py), gives gemmi's rotation and
// translation and the table's operation; then the readings kept on purpose and the syntax errors.
#include <gtest/gtest.h>
#include <charconv>
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

bool SameOperation(const LATTICE& a, const LATTICE& b, int j) {
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 3; ++c)
      if (a.Rotations[r][c][j] != b.Rotations[r][c][j]) return false;
    if (a.Translations[r][j] != b.Translations[r][j]) return false;
  }
  return true;
}

double Number(const std::string& s) {
  double v = 0;
  std::from_chars(s.data(), s.data() + s.size(), v);
  return v;
}

}  // namespace

TEST_F(SymmetryFormula, EveryTableOperationFromGemmisTriplet) {
  // entry -> its lines: R (9), translation in 24ths (3), decimals written (3), triplet
  std::map<int, std::vector<Tokens>> entries;
  size_t lines = 0;
  for (const Tokens& t : GoldenRows("symmetry_formulas.txt", "crystal")) {
    ASSERT_GE(t.size(), 17u);
    entries[std::stoi(t[0])].push_back(t), ++lines;
  }
  ASSERT_EQ(entries.size(), 277u);
  ASSERT_EQ(lines, 2408u);
  for (const auto& [entry, ops] : entries) {
    ASSERT_TRUE(SetUpPhase(1, std::abs(entry), entry < 0 ? 2 : 1, {10, 10, 10, 90, 90, 90})) << entry;
    const LATTICE& table = PhaseTable[1];
    ASSERT_EQ(table.OperationCount, int(ops.size())) << entry;
    LATTICE parsed;
    for (size_t j = 1; j <= ops.size(); ++j) {
      const Tokens& t = ops[j - 1];
      std::string formula = t[16];
      for (size_t w = 17; w < t.size(); ++w) formula += " " + t[w];
      const std::string written = formula;
      ASSERT_TRUE(ParseSymmetryFormula(parsed, int(j), formula)) << written;
      for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) EXPECT_EQ(parsed.Rotations[r][c][j], std::stoi(t[1 + 3 * r + c])) << written;
        const double tr = parsed.Translations[r][j];
        // The parser's digit-by-digit sum is within a few ulps of the decimal written, which is
        // k/24 rounded to 15 decimals.
        EXPECT_NEAR(tr, Number(t[13 + r]), 1e-15) << written;
        EXPECT_NEAR(tr, std::stoi(t[10 + r]) / 24.0, 2e-15) << written;
        EXPECT_NEAR(tr, table.Translations[r][j], 2e-15) << entry << " " << written;
        for (int c = 0; c < 3; ++c) EXPECT_EQ(parsed.Rotations[r][c][j], table.Rotations[r][c][j]) << entry << " " << written;
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
  for (const auto& e : std::filesystem::directory_iterator(std::string(VKEST_SOURCE_DIR) + "/tests/crystal/data")) {
    const std::string name = e.path().filename().string();
    if (name.starts_with("group_") || name == "symmetry_formulas.txt" || name == "equivalent_sites.txt") {
      EXPECT_EQ(ReadWholeFile(dir / name), ReadWholeFile(e.path())) << name;
    }
  }
  std::filesystem::remove_all(dir);
}

TEST_F(SymmetryFormula, ReadingsKeptAndFullPrecision) {
  struct Case {
    const char* formula;
    double rows[3][3];
    double t[3];
  };
  const Case cases[] = {
      {"x,y,z", {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}, {0, 0, 0}},
      {"-x, y+0.5, -z+0.5", {{-1, 0, 0}, {0, 1, 0}, {0, 0, -1}}, {0, 0.5, 0.5}},
      // "+L" before "-L" before "L"; a digit before a letter is the constant: 2z is z + 2
      {" X-y , -x+Y ,2z", {{1, -1, 0}, {-1, 1, 0}, {0, 0, 1}}, {0, 0, 2}},
      {"0.25-y,,", {{0, -1, 0}, {0, 0, 0}, {0, 0, 0}}, {0.25, 0, 0}},
      // the number reader's own readings: a trailing sign opens an empty exponent
      {"x+0.5+,y,z-.75", {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}, {0.5, 0, -0.75}},
  };
  for (const Case& c : cases) {
    LATTICE g = Preset();
    std::string f = c.formula;
    ASSERT_TRUE(ParseSymmetryFormula(g, 1, f)) << c.formula;
    for (int r = 0; r < 3; ++r) {
      for (int m = 0; m < 3; ++m) EXPECT_EQ(g.Rotations[r][m][1], c.rows[r][m]) << c.formula;
      EXPECT_DOUBLE_EQ(g.Translations[r][1], c.t[r]) << c.formula;
    }
  }
  // A preset with twelve decimals stays twelve decimals, not 1/3 and not the two of the display.
  DialogOk = 1;
  std::string f = "-y+0.333333333333, x-y+0.666666666667, z+0.166666666667";
  ParseSymmetryFormula(1, 5, f);
  const LATTICE& p = PhaseTable[1];
  EXPECT_EQ(DialogOk, 1);
  EXPECT_NEAR(p.Translations[0][5], 0.333333333333, 1e-15);
  EXPECT_NEAR(p.Translations[1][5], 0.666666666667, 1e-15);
  EXPECT_NEAR(p.Translations[2][5], 0.166666666667, 1e-15);
  EXPECT_GT(std::fabs(p.Translations[0][5] - 1.0 / 3), 3e-13);
  EXPECT_EQ(f, "-Y+0.333333333333 X-Y+0.666666666667,Z+0.166666666667");
  // The third expression is read to 72 characters; the first comma counts within 72.
  f = "x,y,z+0." + std::string(69, '0') + "5Q";
  LATTICE g = Preset();
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
    const LATTICE before = g;
    std::string f = formula;
    DialogOk = 1;
    EXPECT_FALSE(ParseSymmetryFormula(g, 1, f)) << formula;
    EXPECT_EQ(DialogOk, 0) << formula;
    EXPECT_TRUE(SameOperation(g, before, 1)) << formula;
    want.push_back("Poor syntax= " + shown);
  }
  // Into the phase table: a failure after good ones keeps DialogOk 0 and the failed operation.
  PhaseTable[2] = Preset();
  DialogOk = 1;
  std::string f = "x,y,z+1/3";
  ParseSymmetryFormula(2, 1, f);
  f = "-x,-y,-z";
  ParseSymmetryFormula(2, 2, f);
  EXPECT_EQ(DialogOk, 0);
  EXPECT_TRUE(SameOperation(PhaseTable[2], Preset(), 1));
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

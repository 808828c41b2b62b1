// The generators of the single-file goldens re-run: each writes what is committed, within what
// another build of the same libraries may move (relative on every number; 0: the same numbers).
#include <gtest/gtest.h>
#include <cmath>
#include <filesystem>
#include "support/golden_files.h"
#include "support/temp_path.h"

TEST(CrystalGoldenFiles, SingleFileGeneratorsReproduceTheCommittedFiles) {
  struct Case { const char* script; const char* modules; const char* file; double relative, floor; };
  const Case cases[] = {
      // Cells from Python's seeded generator; gemmi's metric tensor is a few double operations.
      {"gen_cell_rows_golden.py", "gemmi", "cell_rows_golden.txt", 1e-13, 0},
      // numpy's 3x3 inverse by another LAPACK: a condition number of about 10.
      {"gen_cell_update_golden.py", "numpy", "cell_update_golden.txt", 1e-11, 1e-18},
      // exp, erf, erfc and the pdf: a few ulps apart between library builds.
      {"gen_peakfit_golden.py", "numpy, scipy", "peakfit_golden.txt", 1e-13, 0},
      // Distances printed from gemmi's positions: the same text.
      {"gen_refinement_distances_golden.py", "gemmi, numpy", "refinement_distances_golden.txt", 0, 0},
      // Multiplicities and null spaces of gemmi's operations: the same text.
      {"gen_site_symmetry_golden.py", "gemmi, numpy", "site_symmetry_golden.txt", 0, 0},
      // Null spaces of gemmi's rotations in reduced row echelon form: the same text.
      {"gen_polar_directions_golden.py", "gemmi, numpy, spglib", "polar_directions_golden.txt", 0, 0},
      // Only another gemmi or libm may move the last digits.
      {"gen_refinement_oracles.py", "gemmi, numpy", "refinement_oracles.txt", 1e-12, 0}};
  int run = 0;
  for (const Case& c : cases) {
    if (const std::string missing = MissingOracle(c.modules); !missing.empty()) {
      if (OraclesRequired()) ADD_FAILURE() << "oracle missing: " << missing;
      continue;
    }
    const std::filesystem::path out = TestTempPath(c.file);
    ASSERT_EQ(RunTool(c.script, out.string()), 0) << c.script;
    const auto mismatches = TokenMismatches(TokenRows(out), GoldenRows(c.file, "crystal"), [&c](const Tokens& row, size_t col) {
      double x = 0;
      return TokenNumber(row[col], x) ? c.relative * std::fabs(x) + c.floor : 0.0;
    });
    EXPECT_TRUE(mismatches.empty()) << c.file << "\n" << JoinLines(mismatches);
    std::filesystem::remove(out);
    ++run;
  }
  if (run == 0) GTEST_SKIP() << "no oracle";
}

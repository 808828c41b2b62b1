// Site symmetry against gemmi's operations (tools/gen_site_symmetry_golden.py): multiplicities and
// the coordinates that the stabiliser fixes or ties, and what the preparation makes of them.
#include <gtest/gtest.h>
#include <cmath>
#include <string>
#include "core/parameter_layout.h"
#include "core/site_symmetry.h"
#include "crystal/parameter_preparation.h"
#include "phase_setup.h"
#include "support/golden_files.h"

namespace {

std::array<double, 6> CellOf(int32_t group, int32_t setting) {
  if (group >= 195) return {5.43, 5.43, 5.43, 90, 90, 90};
  if (group >= 168 || (group >= 143 && setting != 1) || group == 164 || group == 166)
    return {4, 4, group == 166 ? 12.0 : 5.0, 90, 90, 120};
  return {4, 4, 6, 90, 90, 90};
}

class SiteSymmetryTest : public PhaseTest {
protected:
  KeepValues<ParameterRecord> records_{parar, MaxParameters + 1};
};

// Si at 1/8 in F d -3 m origin 2, a 3-fold axis x,x,x, hexagonal 1/3,2/3,z and x,2x,z sites, and a
// general position: gemmi's multiplicity, and per coordinate free, fixed or a * an earlier one.
// Thirds, sixths and twelfths typed to four and to three decimals (0.3333, 0.667) have gemmi's
// site of the exact fractions, hexagonal and rhombohedral with its centring alike.
TEST_F(SiteSymmetryTest, MultiplicityAndConstraintsOfGemmi) {
  int32_t sites = 0;
  for (const Tokens& row : GoldenRows("site_symmetry_golden.txt", "crystal")) {
    ASSERT_EQ(row.size(), 10u);
    SCOPED_TRACE(row[0]);
    const int32_t group = std::stoi(row[1]), setting = std::stoi(row[2]);
    ASSERT_TRUE(SetUpPhase(1, group, setting, CellOf(group, setting)));
    const double x[3] = {std::stod(row[3]), std::stod(row[4]), std::stod(row[5])};
    const SiteSymmetry site = FindSiteSymmetry(PhaseTable[1], x);
    EXPECT_EQ(site.multiplicity, std::stoi(row[6]));
    for (int32_t i = 0; i < 3; ++i) {
      const std::string& kind = row[7 + i];
      if (kind == "free") {
        EXPECT_EQ(site.master[i], i) << i;
      } else if (kind == "fixed") {
        EXPECT_EQ(site.master[i], -1) << i;
      } else {
        EXPECT_EQ(site.master[i], std::stoi(kind.substr(0, 1))) << i;
        EXPECT_NEAR(site.a[i], std::stod(kind.substr(2)), 1e-12) << i;
      }
    }
    ++sites;
  }
  EXPECT_EQ(sites, 39);
}

// The preparation fixes what the site fixes whatever its value (1/8 too), ties x,x,x to x with
// the offset that keeps the position, and gives every free coordinate the same room: the
// accuracy in per cent of the cell edge, not of the value.
TEST_F(SiteSymmetryTest, PreparationFixesAndTiesTheSiteCoordinates) {
  ASSERT_TRUE(SetUpPhase(1, 227, 2, CellOf(227, 2),
                         {IsoAtom(1, 0.125, 0.125, 0.125), IsoAtom(1, 0.3, 0.3, 0.3), IsoAtom(1, 0.0851, 0.125, 0.125),
                          IsoAtom(1, 0.4612, 0.125, 0.125)}));
  PhaseTable[1].AtomAccuracy = 10;
  const int32_t base = PhaseParameterOffset(1);
  for (int32_t i = 1; i <= MaxParameters; ++i) parar[i] = ParameterRecord{}, parar[i].n = i, parar[i].a = 1;
  SetAtomParameterRows(1, base);
  auto rec = [&](int32_t atom, int32_t i) -> const ParameterRecord& { return parar[base + 10 * atom + 2 + i]; };
  for (int32_t i = 0; i < 3; ++i) EXPECT_TRUE(rec(1, i).lower == 0.125 && rec(1, i).upper == 0.125) << i;  // Si 8a
  const int32_t x2 = base + 22;
  EXPECT_TRUE(rec(2, 0).n == x2 && rec(2, 0).lower == 0.3 - 0.1 && rec(2, 0).upper == 0.3 + 0.1);
  for (int32_t i : {1, 2}) EXPECT_TRUE(rec(2, i).n == x2 && rec(2, i).a == 1 && rec(2, i).b == 0 && rec(2, i).value == 0.3);
  // 48f: x free with +-0.1 at 0.0851 and at 0.4612 alike; y, z fixed at 1/8.
  EXPECT_NEAR(rec(3, 0).upper - rec(3, 0).lower, 0.2, 1e-15);
  EXPECT_NEAR(rec(4, 0).upper - rec(4, 0).lower, 0.2, 1e-15);
  for (int32_t a : {3, 4})
    for (int32_t i : {1, 2}) EXPECT_TRUE(rec(a, i).lower == rec(a, i).upper && rec(a, i).value == 0.125);
}

}  // namespace

// Site symmetry against gemmi's operations (tools/gen_site_symmetry_golden.py): multiplicities and
// the coordinates that the stabiliser fixes or ties, and what the preparation makes of them; the
// polar directions of every table entry against gemmi's operations and spglib's crystal classes
// (tools/gen_polar_directions_golden.py), and the origin the preparation holds along them.
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

// Every entry of the table: the origin shifts its operations keep span what gemmi's operations
// keep (the ten polar classes by spglib: 3 directions in P 1, the mirror plane of P m, the axis
// of the others, none where a rotation reverses every direction).
TEST_F(SiteSymmetryTest, PolarDirectionsOfEveryGroupAgainstGemmi) {
  int32_t entries = 0, polar = 0;
  for (const Tokens& row : GoldenRows("polar_directions_golden.txt", "crystal")) {
    const int32_t group = std::stoi(row[0]), setting = std::stoi(row[1]), dimension = std::stoi(row[2]);
    SCOPED_TRACE(row[0] + " setting " + row[1]);
    ASSERT_EQ(row.size(), 3u + 3u * static_cast<size_t>(dimension));
    ASSERT_TRUE(SetUpPhase(1, group, setting, CellOf(group, setting)));
    const FloatingOrigin o = FindFloatingOrigin(PhaseTable[1]);
    ASSERT_EQ(o.dimension, dimension);
    // Each of gemmi's directions lies in the span of the program's: its rejection from it is 0.
    for (int32_t k = 0; k < dimension; ++k) {
      double v[3];
      for (int32_t i = 0; i < 3; ++i) v[i] = std::stod(row[3 + 3 * static_cast<size_t>(k) + i]);
      double basis[3][3] = {};  // Gram-Schmidt of the program's basis
      for (int32_t b = 0; b < o.dimension; ++b) {
        std::copy(o.basis[b], o.basis[b] + 3, basis[b]);
        for (int32_t c = 0; c < b; ++c) {
          const double dot = basis[b][0] * basis[c][0] + basis[b][1] * basis[c][1] + basis[b][2] * basis[c][2];
          for (int32_t i = 0; i < 3; ++i) basis[b][i] -= dot * basis[c][i];
        }
        const double norm = std::hypot(basis[b][0], basis[b][1], basis[b][2]);
        for (double& x : basis[b]) x /= norm;
      }
      for (int32_t b = 0; b < o.dimension; ++b) {
        const double dot = v[0] * basis[b][0] + v[1] * basis[b][1] + v[2] * basis[b][2];
        for (int32_t i = 0; i < 3; ++i) v[i] -= dot * basis[b][i];
      }
      EXPECT_LT(std::hypot(v[0], v[1], v[2]), 1e-9) << "direction " << k;
    }
    ++entries;
    polar += dimension > 0;
  }
  EXPECT_EQ(entries, 277);
  EXPECT_EQ(polar, 80);
}

// The preparation holds one coordinate along each polar direction, the heaviest atom's, whatever
// its site, and no coordinate of a group without one: P 3_1 c (z of the heaviest), R 3 m on
// rhombohedral axes (x of x,x,x, which y and z follow), P 1 2 1 (y), P 1 m 1 (x and z of one
// atom on the mirror), P 1 (x, y, z), P 6_3/m (none).
TEST_F(SiteSymmetryTest, PreparationHoldsThePolarOrigin) {
  struct Case {
    int32_t group, setting;
    std::vector<TestAtom> atoms;
    std::vector<double> weights;
    int32_t heldAtom;       // 0: nothing held
    std::string heldCoordinates;  // of that atom, "XYZ" letters
  };
  const Case cases[] = {
      {159, 1, {IsoAtom(1, 0.08, 0.51, 0.66), IsoAtom(1, 1.0 / 3, 2.0 / 3, 0.59), IsoAtom(1, 0.17, 0.25, 0.0)}, {14, 28.1, 14}, 2, "Z"},
      {160, 1, {IsoAtom(1, 0.1, 0.3, 0.6), IsoAtom(1, 0.27, 0.27, 0.27)}, {16, 207.2}, 2, "X"},
      {3, 2, {IsoAtom(1, 0.1, 0.2, 0.3), IsoAtom(1, 0.5, 0.4, 0.5)}, {12, 40}, 2, "Y"},
      {6, 2, {IsoAtom(1, 0.1, 0.2, 0.3), IsoAtom(1, 0.3, 0.0, 0.7)}, {12, 40}, 2, "XZ"},
      {1, 1, {IsoAtom(1, 0.1, 0.2, 0.3), IsoAtom(1, 0.3, 0.6, 0.7)}, {12, 12}, 1, "XYZ"},
      {176, 1, {IsoAtom(1, 1.0 / 3, 2.0 / 3, 0.25), IsoAtom(1, 0.33, 0.04, 0.25), IsoAtom(1, 0.17, 0.77, 0.06)}, {28, 28, 14}, 0, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.group) + " setting " + std::to_string(c.setting));
    ASSERT_TRUE(SetUpPhase(1, c.group, c.setting, CellOf(c.group, c.setting), c.atoms));
    for (size_t j = 0; j < c.weights.size(); ++j) AtomTable[j + 1][1].Weight = c.weights[j];
    PhaseTable[1].AtomAccuracy = 10;
    const int32_t base = PhaseParameterOffset(1);
    for (int32_t i = 1; i <= MaxParameters; ++i) parar[i] = ParameterRecord{}, parar[i].n = i, parar[i].a = 1;
    // Without the polar hold: the coordinates the site leaves free.
    std::vector<bool> siteFree;
    for (size_t j = 1; j <= c.atoms.size(); ++j) {
      const double x[3] = {c.atoms[j - 1].x, c.atoms[j - 1].y, c.atoms[j - 1].z};
      const SiteSymmetry site = FindSiteSymmetry(PhaseTable[1], x);
      for (int32_t i = 0; i < 3; ++i) siteFree.push_back(site.master[i] == i);
    }
    SetAtomParameterRows(1, base);
    const std::string note = FixFloatingOrigin(1, base);
    EXPECT_EQ(note.empty(), c.heldAtom == 0) << note;
    for (size_t j = 1; j <= c.atoms.size(); ++j)
      for (int32_t i = 0; i < 3; ++i) {
        const int32_t row = base + 10 * static_cast<int32_t>(j) + 2 + i;
        const bool held = static_cast<int32_t>(j) == c.heldAtom && c.heldCoordinates.find("XYZ"[i]) != std::string::npos;
        const bool free = parar[row].n == row && parar[row].lower < parar[row].upper;
        EXPECT_EQ(free, siteFree[3 * (j - 1) + static_cast<size_t>(i)] && !held) << "atom " << j << " coordinate " << i;
        if (held) {
          EXPECT_EQ(parar[row].value, (&c.atoms[j - 1].x)[i]) << "held at its value";
        }
      }
    // The structure factors cannot tell the held origin: what floats is gone, nothing more.
    const FloatingOrigin o = FindFloatingOrigin(PhaseTable[1]);
    EXPECT_EQ(static_cast<int32_t>(c.heldCoordinates.size()), o.dimension);
  }
}

}  // namespace

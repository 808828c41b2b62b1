// The structure-factor sum against the double sum over translations and operations as the
// crystallographer writes it, term by term, with libm's sin and cos: the factored loop must agree
// to rounding for every kind of table entry (centred, centrosymmetric, screw axes, R on both
// axes) and for isotropic and anisotropic atoms. The magnetic amplitude is checked against
// periodictable in the structure goldens, the sum from the parameter records against the atoms'
// in the cell update test.
#include <gtest/gtest.h>
#include <algorithm>
#include <cmath>
#include "core/random.h"
#include "crystal/phase_setup.h"
#include "crystal/reflection_lists.h"
#include "crystal/structure_factor.h"

namespace {

// The written sum: every translation t, every operation o, the rotated coordinates.
void WrittenSum(int32_t p, int32_t h, int32_t k, int32_t l, double& A, double& B) {
  const LATTICE& ph = PhaseTable[p];
  const auto& R = ph.Rotations;
  const int32_t nc = ph.CentringCount + 1;
  A = B = 0;
  for (int32_t a = 1; a <= ph.AtomCount; ++a) {
    const ATOM& at = AtomTable[a][p];
    const double in[3] = {at.X, at.Y, at.Z}, wocc = at.Occupation * ScatteringAmplitude(p, at, Q0 / 4);
    for (int32_t t = 1; t <= nc; ++t)
      for (int32_t o = 1; o <= ph.OperationCount; ++o) {
        double x[3], H[3];
        for (int i = 0; i < 3; ++i) {
          x[i] = R[i][0][o] * in[0] + R[i][1][o] * in[1] + R[i][2][o] * in[2] + ph.Translations[i][o] +
                 (t >= 2 ? ph.CentringVectors[i][t - 1] : 0.0);
          H[i] = (h * R[0][i][o] + k * R[1][i][o] + l * R[2][i][o]) / ph.IndexNormalisers[i];
        }
        const double phi = 2 * M_PI * (h * x[0] + k * x[1] + l * x[2]);
        const double beta = at.T11 * H[0] * H[0] + at.T22 * H[1] * H[1] + at.T33 * H[2] * H[2] +
                            2 * (at.T12 * H[0] * H[1] + at.T13 * H[0] * H[2] + at.T23 * H[1] * H[2]);
        const double T = std::exp(at.IsotropicFlag == 1 ? -at.T11 * Q0 / 4 : -beta);
        const double w = T * wocc * nc;  // n_c on every term, on top of the sum over the translations
        A += (ph.Centrosymmetric ? 2 : 1) * w * std::cos(phi);
        B += ph.Centrosymmetric ? 0 : w * std::sin(phi);
      }
  }
}

class StructureFactorSum : public PhaseTest {};

// The program's F of phase 1 at (h, k, l) against the written sum, to rounding (tol of |F|);
// B into *b.
void ExpectWrittenSum(int32_t h, int32_t k, int32_t l, double* b = nullptr, double tol = 1e-11) {
  Q0 = CellInverseDSquared(PhaseTable[1], h, k, l);
  double A, B, q, A0, B0;
  CalcStructureFactor(0, 1, h, k, l, 1, 0, A, B, q);
  WrittenSum(1, h, k, l, A0, B0);
  const double scale = tol * (1 + std::hypot(A0, B0));
  EXPECT_NEAR(A, A0, scale) << h << " " << k << " " << l;
  EXPECT_NEAR(B, B0, scale) << h << " " << k << " " << l;
  EXPECT_EQ(q, 1.0);
  if (b) *b = B;
}

TEST_F(StructureFactorSum, FactoredLoopEqualsTheWrittenDoubleSum) {
  const std::pair<std::array<int32_t, 2>, std::array<double, 6>> entries[] = {
      {{225, 1}, {5.64, 5.64, 5.64, 90, 90, 90}},   {{227, 1}, {5.43, 5.43, 5.43, 90, 90, 90}},
      {{227, 2}, {5.43, 5.43, 5.43, 90, 90, 90}},   {{19, 1}, {5.1, 6.3, 7.7, 90, 90, 90}},
      {{14, 2}, {5.15, 5.21, 5.31, 90, 99.2, 90}},  {{15, 2}, {9.7, 8.9, 5.3, 90, 105.6, 90}},
      {{167, 1}, {5.13, 5.13, 5.13, 55.3, 55.3, 55.3}}, {{167, 2}, {4.76, 4.76, 12.99, 90, 90, 120}},
      {{154, 1}, {4.91, 4.91, 5.40, 90, 90, 120}},  {{141, 2}, {3.78, 3.78, 9.51, 90, 90, 90}},
      {{2, 1}, {5.1, 6.2, 7.3, 81, 95, 103}},       {{216, 1}, {5.41, 5.41, 5.41, 90, 90, 90}}};
  SetRandomSeeds(12345, 67890);
  for (const auto& [entry, cell] : entries) {
    SCOPED_TRACE(std::to_string(entry[0]) + ":" + std::to_string(entry[1]));
    // Two isotropic atoms and two anisotropic ones with a positive definite tensor of the size of
    // B ~ 1 A^2 on indices divided by the edges.
    std::vector<TestAtom> atoms;
    for (int i = 0; i < 4; ++i) {
      atoms.push_back({0.2 + Random01(), Random01(), Random01(), Random01(), 0.5 + 0.5 * Random01(),
                       {0.8, 0.1, -0.05, 0.9, 0.07, 1.1}, i % 2 == 0});
      if (i % 2 == 0) atoms.back().t = {0.3 + Random01()};
    }
    ASSERT_TRUE(SetUpPhase(1, entry[0], entry[1], cell, atoms));
    std::copy(cell.begin(), cell.begin() + 3, PhaseTable[1].IndexNormalisers);
    for (int32_t h = -3; h <= 3; ++h)
      for (int32_t k = -3; k <= 3; ++k)
        for (int32_t l = -4; l <= 4; ++l) {
          if (h == 0 && k == 0 && l == 0) continue;
          double B = 0;
          ExpectWrittenSum(h, k, l, &B);
          ASSERT_TRUE(PhaseTable[1].Centrosymmetric == 0 || B == 0.0) << B;
        }
  }
}

// The per-atom phase tables at large indices, met in random order so that they grow, with an
// atom moved between reflections (its columns remade) and an index past what a table may hold
// (a sin/cos per term): still the written sum to rounding.
TEST_F(StructureFactorSum, PhaseTablesHoldAtLargeIndicesAndMovedAtoms) {
  const std::pair<std::array<int32_t, 2>, std::array<double, 6>> entries[] = {
      {{194, 1}, {10.1, 10.1, 19.3, 90, 90, 120}}, {{96, 1}, {9.4, 9.4, 13.2, 90, 90, 90}},
      {{227, 2}, {24.1, 24.1, 24.1, 90, 90, 90}},  {{2, 1}, {5.1, 6.2, 7.3, 81, 95, 103}}};
  SetRandomSeeds(2468, 1357);
  for (const auto& [entry, cell] : entries) {
    SCOPED_TRACE(std::to_string(entry[0]));
    std::vector<TestAtom> atoms;
    for (int i = 0; i < 7; ++i)
      atoms.push_back({0.2 + Random01(), Random01(), Random01(), Random01(), 0.5 + 0.5 * Random01(),
                       {0.3 + Random01()}, true});
    atoms[3].isotropic = false, atoms[3].t = {0.01, 0.001, -0.002, 0.012, 0.001, 0.009};
    ASSERT_TRUE(SetUpPhase(1, entry[0], entry[1], cell, atoms));
    std::copy(cell.begin(), cell.begin() + 3, PhaseTable[1].IndexNormalisers);
    for (int32_t i = 0; i < 300; ++i) {
      const int32_t n = 2 + i / 4;  // up to 76, growing as the tables do
      const int32_t h = int32_t(Random01() * (2 * n + 1)) - n, k = int32_t(Random01() * (2 * n + 1)) - n,
                    l = int32_t(Random01() * (2 * n + 1)) - n;
      if (h == 0 && k == 0 && l == 0) continue;
      if (i % 7 == 0) AtomTable[1 + i % 5][1].Y = Random01();
      ExpectWrittenSum(h, k, l);
      ASSERT_FALSE(HasFailure());
    }
    // Far past any table (the thermal factors set aside so that the term survives).
    for (int32_t a = 1; a <= PhaseTable[1].AtomCount; ++a) AtomTable[a][1].IsotropicFlag = 1, AtomTable[a][1].T11 = 0;
    ExpectWrittenSum(3, -5, 60001, nullptr, 1e-8);
  }
}

// The isotropic thermal factor against libm's exp over the held range of its exponent, the
// bounds and a NaN (taken as the upper bound).
TEST(IsotropicThermalFactor, IsLibmExpToRoundingAndHeldAtTheBounds) {
  double worst = 0;
  for (int32_t i = -70000; i <= 70000; ++i) {
    const double e = i * 0.000917 + 1e-7 * (i % 13);  // B Q0 / 4 across [-64.2, 64.2]
    const double want = std::exp(-std::clamp(e, -MaxThermalExponent, MaxThermalExponent));
    worst = std::max(worst, std::fabs(IsotropicThermalFactor(4 * e, 1.0) / want - 1));
  }
  EXPECT_LT(worst, 1e-15);
  EXPECT_EQ(IsotropicThermalFactor(4 * 65.0, 1.0), IsotropicThermalFactor(4 * 64.0, 1.0));
  EXPECT_EQ(IsotropicThermalFactor(std::nan(""), 1.0), IsotropicThermalFactor(4 * 64.0, 1.0));
  EXPECT_NEAR(IsotropicThermalFactor(-1e9, 1.0) / std::exp(64.0), 1.0, 1e-15);
  EXPECT_EQ(IsotropicThermalFactor(0.0, 1.0), 1.0);
}

// Damaged input: L1..L3 still 0 take the current edges, an exponent that grows is held, counts
// past the tables are read only up to them.
TEST_F(StructureFactorSum, DamagedRecordsGiveFiniteValues) {
  const std::array<double, 6> cell = {5.1, 6.3, 7.7, 90, 90, 90};
  ASSERT_TRUE(SetUpPhase(1, 19, 1, cell, {{0.5, 0.1, 0.2, 0.3, 1, {0.8, 0.1, -0.05, 0.9, 0.07, 1.1}, false},
                                          {0.5, 0.3, 0.2, 0.1, 1, {0.4}, true}}));
  Q0 = CellInverseDSquared(PhaseTable[1], 1, 2, 3);
  double A, B, q, A0, B0;
  std::copy(cell.begin(), cell.begin() + 3, PhaseTable[1].IndexNormalisers);
  CalcStructureFactor(0, 1, 1, 2, 3, 1, 0, A0, B0, q);
  std::fill(PhaseTable[1].IndexNormalisers, PhaseTable[1].IndexNormalisers + 3, 0.0);
  CalcStructureFactor(0, 1, 1, 2, 3, 1, 0, A, B, q);
  EXPECT_EQ(std::pair(A, B), std::pair(A0, B0));
  EXPECT_TRUE(std::isfinite(A) && std::isfinite(B) && A != 0.0) << A << " " << B;
  AtomTable[1][1].T11 = AtomTable[2][1].T11 = -1e6;
  PhaseTable[1].OperationCount = 300, PhaseTable[1].CentringCount = 9, PhaseTable[1].AtomCount = 5000;
  CalcStructureFactor(0, 1, 1, 2, 3, 1, 0, A, B, q);
  EXPECT_TRUE(std::isfinite(A) && std::isfinite(B)) << A << " " << B;
}

}  // namespace

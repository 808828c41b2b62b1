// The structure-factor sum against the double sum over translations and operations as the
// crystallographer writes it, term by term, with libm's sin and cos: the factored loop must agree
// to rounding for every kind of table entry (centred, centrosymmetric, screw axes, R on both
// axes) and for isotropic, anisotropic and magnetic atoms.
#include <gtest/gtest.h>
#include <cmath>
#include "core/fit_engine.h"
#include "core/random.h"
#include "crystal/phase_setup.h"
#include "crystal/structure_factor.h"

namespace {

// The written sum: every translation t, every operation o, the rotated coordinates.
void WrittenSum(int32_t p, int32_t h, int32_t k, int32_t l, double& A, double& B) {
  const LATTICE& ph = PhaseTable[p];
  A = B = 0;
  const int32_t nc = ph.CentringCount + 1;
  for (int32_t a = 1; a <= ph.AtomCount; ++a) {
    const ATOM& at = AtomTable[a][p];
    const double wocc = at.Occupation * ScatteringAmplitude(p, at, Q0 / 4);
    for (int32_t t = 1; t <= nc; ++t) {
      for (int32_t o = 1; o <= ph.OperationCount; ++o) {
        const auto& R = ph.Rotations;
        double x[3];
        const double in[3] = {at.X, at.Y, at.Z};
        for (int i = 0; i < 3; ++i) {
          x[i] = R[i][0][o] * in[0] + R[i][1][o] * in[1] + R[i][2][o] * in[2] + ph.Translations[i][o];
          if (t >= 2) x[i] += ph.CentringVectors[i][t - 1];
        }
        const double phi = 2 * M_PI * (h * x[0] + k * x[1] + l * x[2]);
        double T;
        if (at.IsotropicFlag == 1) {
          T = std::exp(-at.T11 * Q0 / 4);
        } else {
          const double H = (h * R[0][0][o] + k * R[1][0][o] + l * R[2][0][o]) / ph.IndexNormalisers[0];
          const double K = (h * R[0][1][o] + k * R[1][1][o] + l * R[2][1][o]) / ph.IndexNormalisers[1];
          const double L = (h * R[0][2][o] + k * R[1][2][o] + l * R[2][2][o]) / ph.IndexNormalisers[2];
          T = std::exp(-(at.T11 * H * H + at.T22 * K * K + at.T33 * L * L + 2 * at.T12 * H * K +
                         2 * at.T13 * H * L + 2 * at.T23 * K * L));
        }
        const double w = T * wocc * nc;
        if (ph.Centrosymmetric) {
          A += 2 * w * std::cos(phi);
        } else {
          A += w * std::cos(phi);
          B += w * std::sin(phi);
        }
      }
    }
  }
}

double Q(int32_t p, int32_t h, int32_t k, int32_t l) {
  const double* m = PhaseTable[p].Metric;
  return m[0] * h * h + m[1] * k * k + m[2] * l * l + m[3] * h * k + m[4] * h * l + m[5] * k * l;
}

struct Entry {
  int32_t group, setting;
  std::array<double, 6> cell;
};

class StructureFactorSum : public PhaseTest {};

TEST_F(StructureFactorSum, FactoredLoopEqualsTheWrittenDoubleSum) {
  const Entry entries[] = {
      {225, 1, {5.64, 5.64, 5.64, 90, 90, 90}},   {227, 1, {5.43, 5.43, 5.43, 90, 90, 90}},
      {227, 2, {5.43, 5.43, 5.43, 90, 90, 90}},   {19, 1, {5.1, 6.3, 7.7, 90, 90, 90}},
      {14, 2, {5.15, 5.21, 5.31, 90, 99.2, 90}},  {15, 2, {9.7, 8.9, 5.3, 90, 105.6, 90}},
      {167, 1, {5.13, 5.13, 5.13, 55.3, 55.3, 55.3}}, {167, 2, {4.76, 4.76, 12.99, 90, 90, 120}},
      {154, 1, {4.91, 4.91, 5.40, 90, 90, 120}},  {141, 2, {3.78, 3.78, 9.51, 90, 90, 90}},
      {2, 1, {5.1, 6.2, 7.3, 81, 95, 103}},       {216, 1, {5.41, 5.41, 5.41, 90, 90, 90}}};
  SetRandomSeeds(12345, 67890);
  for (const Entry& e : entries) {
    std::vector<TestAtom> atoms;
    for (int i = 0; i < 4; ++i) {
      TestAtom a;
      a.b = 0.2 + Random01();
      a.x = Random01(), a.y = Random01(), a.z = Random01();
      a.occ = 0.5 + 0.5 * Random01();
      a.isotropic = i % 2 == 0;
      if (a.isotropic) {
        a.t = {0.3 + Random01(), 0, 0, 0, 0, 0};
      } else {
        // A positive definite tensor of the size of B ~ 1 A^2 on indices divided by the edges.
        a.t = {0.8, 0.1, -0.05, 0.9, 0.07, 1.1};
      }
      atoms.push_back(a);
    }
    ASSERT_TRUE(SetUpPhase(1, e.group, e.setting, e.cell, atoms)) << e.group;
    for (int i = 0; i < 3; ++i) PhaseTable[1].IndexNormalisers[i] = e.cell[i];
    for (int32_t h = -3; h <= 3; ++h)
      for (int32_t k = -3; k <= 3; ++k)
        for (int32_t l = -4; l <= 4; ++l) {
          if (h == 0 && k == 0 && l == 0) continue;
          Q0 = Q(1, h, k, l);
          double A, B, q, A0, B0;
          CalcStructureFactor(0, 1, h, k, l, 1, 0, A, B, q);
          WrittenSum(1, h, k, l, A0, B0);
          const double scale = 1e-11 * (1 + std::hypot(A0, B0));
          ASSERT_NEAR(A, A0, scale) << e.group << ":" << e.setting << " " << h << k << l;
          ASSERT_NEAR(B, B0, scale) << e.group << ":" << e.setting << " " << h << k << l;
          EXPECT_EQ(q, 1.0);
          if (PhaseTable[1].Centrosymmetric) {
            EXPECT_EQ(B, 0.0);
          }
        }
  }
}

// The same sum from the parameter records as from the atom records, and the magnetic amplitude
// 0.539 sign(moment) j0(s) with the form factor at s^2 = Q0 / 4.
TEST_F(StructureFactorSum, RecordsAndMagneticAmplitude) {
  ASSERT_TRUE(SetUpPhase(2, 62, 1, {5.74, 4.96, 7.97, 90, 90, 90},
                         {{0.5, 0.1, 0.25, 0.3, 1, {0.4}}, {0.3, 0.7, 0.25, 0.9, 0.8, {0.6}}}));
  if (!FitParameters) CreateFitParameters();
  const int32_t base = 40;
  for (int32_t a = 1; a <= 2; ++a) {
    const ATOM& at = AtomTable[a][2];
    const double v[10] = {at.Occupation, at.X, at.Y, at.Z, at.T11, 0, 0, 0, 0, 0};
    for (int i = 0; i < 10; ++i) FitParameters->Records[base + 10 * a + 1 + i].value = v[i];
  }
  Q0 = Q(2, 1, 2, 3);
  double A, B, q, Ar, Br, qr;
  CalcStructureFactor(0, 2, 1, 2, 3, 1, 0, A, B, q);
  CalcStructureFactor(1, 2, 1, 2, 3, 1, base, Ar, Br, qr);
  EXPECT_DOUBLE_EQ(A, Ar);
  EXPECT_DOUBLE_EQ(B, Br);

  // Mn2+ form factor (A, a, B, b, C, c, D) as tabulated for j0.
  ATOM mn;
  const double f[7] = {0.4220, 17.6840, 0.5948, 6.0050, 0.0043, -0.6090, -0.0219};
  std::copy(f, f + 7, mn.FormFactor);
  mn.MagneticMoment = -4.6;
  PhaseModelFlags[2] = 1;
  const double s2 = 0.04;
  const double j0 = f[0] * std::exp(-f[1] * s2) + f[2] * std::exp(-f[3] * s2) +
                    f[4] * std::exp(-f[5] * s2) + f[6];
  EXPECT_NEAR(ScatteringAmplitude(2, mn, s2), -0.539 * j0, 1e-15);
  PhaseModelFlags[2] = 0;
  mn.ScatteringLength = -0.373;
  EXPECT_EQ(ScatteringAmplitude(2, mn, s2), -0.373);
}

// Damaged input stays finite: L1..L3 still 0 take the current edges, an exponent that grows is
// held, counts past the tables are read only up to them.
TEST_F(StructureFactorSum, DamagedRecordsGiveFiniteValues) {
  ASSERT_TRUE(SetUpPhase(1, 19, 1, {5.1, 6.3, 7.7, 90, 90, 90},
                         {{0.5, 0.1, 0.2, 0.3, 1, {-1e6, 0, 0, 0, 0, 0}, false},
                          {0.5, 0.3, 0.2, 0.1, 1, {-1e6}, true}}));
  for (double& n : PhaseTable[1].IndexNormalisers) n = 0;
  Q0 = Q(1, 1, 2, 3);
  double A, B, q;
  CalcStructureFactor(0, 1, 1, 2, 3, 1, 0, A, B, q);
  EXPECT_TRUE(std::isfinite(A) && std::isfinite(B));
  EXPECT_NE(A, 0.0);
  PhaseTable[1].OperationCount = 300;
  PhaseTable[1].CentringCount = 9;
  PhaseTable[1].AtomCount = 5000;
  CalcStructureFactor(0, 1, 1, 2, 3, 1, 0, A, B, q);
  EXPECT_TRUE(std::isfinite(A) && std::isfinite(B));
}

}  // namespace

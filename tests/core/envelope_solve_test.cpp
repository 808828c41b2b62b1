// The envelope solve of an iteration's step: for a peak-fit pattern (peaks coupled to their
// neighbours, a few rows shared by all, rows in the engine's order of amplitudes then positions)
// the step satisfies A x = b and the inverse's diagonal from the Takahashi recurrences equals the
// same element of A^-1 reached through the triangular solves (A y = e_i, y_i); the full sweep
// inversion of the engine gives the same numbers. Dense, singular, ill-conditioned or non-finite
// matrices, and small ones the shared rows fill, are declined with nothing written.
#include <gtest/gtest.h>
#include <cmath>
#include <limits>
#include <vector>
#include "core/envelope_solve.h"
#include "core/fit_engine.h"

namespace {

// Order 6 + 2 peaks: rows 1..4 background, 5..4+p amplitudes, 5+p..4+2p positions, the last two
// the width law. Built as sum of w d d^T over channels of a model with peaks of reach 6 channels
// 5 channels apart, so each peak overlaps its neighbours only.
struct PeakMatrix {
  int32_t n = 0;
  std::vector<double> a;  // a[i + (j - 1) n]
  double& At(int32_t i, int32_t j) { return a[static_cast<size_t>(i) + static_cast<size_t>(j - 1) * n]; }
};

PeakMatrix Build(int32_t peaks) {
  PeakMatrix m;
  m.n = 6 + 2 * peaks;
  m.a.assign(static_cast<size_t>(m.n) * m.n + 1, 0.0);
  const int32_t channels = 5 * peaks + 20;
  std::vector<double> d(static_cast<size_t>(m.n) + 1);
  for (int32_t c = 1; c <= channels; ++c) {
    std::fill(d.begin(), d.end(), 0.0);
    const double u = 2.0 * c / channels - 1;
    d[1] = 1, d[2] = u, d[3] = 1.5 * u * u - 0.5, d[4] = (2.5 * u * u - 1.5) * u;
    for (int32_t p = 1; p <= peaks; ++p) {
      const double z = (c - (10.0 + 5 * p + 0.3 * std::sin(p))) / 2.5;
      if (std::fabs(z) > 2.4) continue;
      const double g = std::exp(-z * z), amp = 100 + 10 * p;
      d[static_cast<size_t>(4 + p)] = g;
      d[static_cast<size_t>(4 + peaks + p)] = amp * 2 * z * g / 2.5;
      d[static_cast<size_t>(m.n - 1)] += amp * 2 * z * z * g / 2.5;
      d[static_cast<size_t>(m.n)] += amp * 2 * z * z * g / 2.5 * u;
    }
    const double w = 1.0 / (50 + c);
    for (int32_t j = 1; j <= m.n; ++j)
      for (int32_t i = 1; i <= m.n; ++i) m.At(i, j) += w * d[static_cast<size_t>(i)] * d[static_cast<size_t>(j)];
  }
  for (int32_t i = 1; i <= m.n; ++i) m.At(i, i) *= 1.01;  // the engine's damping
  return m;
}

TEST(EnvelopeSolve, PeakPatternStepAndInverseDiagonal) {
  for (int32_t peaks : {20, 60}) {
    PeakMatrix m = Build(peaks);
    const int32_t n = m.n;
    std::vector<double> b(static_cast<size_t>(n) + 1), x(b.size()), z(b.size()), y(b.size()), zz(b.size());
    for (int32_t i = 1; i <= n; ++i) b[static_cast<size_t>(i)] = std::cos(0.7 * i) * m.At(i, i);
    TEnvelopeSolver solver;
    ASSERT_TRUE(solver.Solve(m.a.data(), n, b.data(), x.data(), z.data())) << peaks;
    double worst = 0;
    for (int32_t i = 1; i <= n; ++i) {
      long double r = -b[static_cast<size_t>(i)], scale = std::fabs(b[static_cast<size_t>(i)]);
      for (int32_t j = 1; j <= n; ++j) {
        r += static_cast<long double>(m.At(i, j)) * x[static_cast<size_t>(j)];
        scale += std::fabs(m.At(i, j) * x[static_cast<size_t>(j)]);
      }
      worst = std::max(worst, double(std::fabs(r) / scale));
    }
    EXPECT_LT(worst, 1e-13) << peaks;
    for (int32_t i = 1; i <= n; ++i) {
      std::vector<double> e(static_cast<size_t>(n) + 1, 0.0);
      e[static_cast<size_t>(i)] = 1;
      ASSERT_TRUE(solver.Solve(m.a.data(), n, e.data(), y.data(), zz.data()));
      EXPECT_NEAR(z[static_cast<size_t>(i)], y[static_cast<size_t>(i)], 1e-12 * y[static_cast<size_t>(i)]) << i;
    }
    // The engine's full sweep on the same matrix: the same diagonal.
    TParameter fit(n, 1, n);
    fit.ResetParameterRecords();
    fit.CompressedMatrix = 1;
    fit.PrepareFit();
    for (int32_t j = 1; j <= n; ++j)
      for (int32_t i = 1; i <= n; ++i) fit.SetMatrixElement(i, j, m.At(i, j));
    fit.InvertNormalMatrix();
    ASSERT_EQ(fit.Inverted, 1);
    for (int32_t i = 1; i <= n; ++i) {
      double c = 0;
      fit.GetMatrixElement(i, i, c);
      EXPECT_NEAR(z[static_cast<size_t>(i)], c, 1e-11 * c) << peaks << " " << i;
    }
  }
}

TEST(EnvelopeSolve, DeclinesWhatTheFullInversionMustJudge) {
  const PeakMatrix base = Build(20);
  const int32_t n = base.n;
  std::vector<double> b(static_cast<size_t>(n) + 1, 1.0), x(b.size(), -7.0), z(b.size(), -7.0);
  TEnvelopeSolver solver;
  auto declined = [&](PeakMatrix m) {
    const bool ok = solver.Solve(m.a.data(), n, b.data(), x.data(), z.data());
    return !ok && x[1] == -7.0 && z[static_cast<size_t>(n)] == -7.0;
  };
  PeakMatrix dense = base;  // every element coupled
  for (int32_t j = 1; j <= n; ++j)
    for (int32_t i = 1; i <= n; ++i)
      if (i != j) dense.At(i, j) = 1e-3 * std::sqrt(dense.At(i, i) * dense.At(j, j)) / n;
  EXPECT_TRUE(declined(dense));
  const PeakMatrix few = Build(3);  // the shared rows make up most of a small matrix
  EXPECT_FALSE(solver.Solve(few.a.data(), few.n, b.data(), x.data(), z.data()));
  PeakMatrix singular = base;  // amplitude 3 a copy of amplitude 2
  for (int32_t k = 1; k <= n; ++k) singular.At(7, k) = singular.At(k, 7) = singular.At(6, k);
  singular.At(7, 7) = singular.At(6, 6);
  singular.At(6, 7) = singular.At(7, 6) = singular.At(6, 6);
  EXPECT_TRUE(declined(singular));
  PeakMatrix collinear = base;  // a correlation of 1 - 1e-9 between amplitudes 2 and 3
  const double c = (1 - 1e-9) * std::sqrt(collinear.At(6, 6) * collinear.At(7, 7));
  collinear.At(6, 7) = collinear.At(7, 6) = c;
  EXPECT_TRUE(declined(collinear));
  PeakMatrix notFinite = base;
  notFinite.At(3, 9) = notFinite.At(9, 3) = std::numeric_limits<double>::quiet_NaN();
  EXPECT_TRUE(declined(notFinite));
  // A huge or infinite element alone among zeros (a peak far from the amplitude it couples to).
  for (const double bad : {1e200, -std::numeric_limits<double>::infinity()}) {
    PeakMatrix far = base;
    far.At(5, 39) = far.At(39, 5) = bad;  // amplitude 1 and position 15 of the 20 peaks
    EXPECT_TRUE(declined(far)) << bad;
  }
  PeakMatrix tiny = base;  // well conditioned, but a smallest eigenvalue near 1e-16
  for (double& v : tiny.a) v *= 1e-14;
  EXPECT_TRUE(declined(tiny));
  // The undisturbed matrix is taken.
  EXPECT_TRUE(solver.Solve(base.a.data(), n, b.data(), x.data(), z.data()));
}

}  // namespace

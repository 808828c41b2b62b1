// Sums over the symmetry operations of every atom's phase factors for one reflection:
//   e(o, a) = exp(2 pi i (hr_o x_a + kr_o y_a + lr_o z_a + h.tau_o)),
// with (hr_o, kr_o, lr_o) = h R_o the rotated index and h.tau_o the operation's phase offset
// (turns). Where the rotated indices are integers, e(o, a) is the product of three entries of
// per-atom tables exp(2 pi i n u) (u = x, y, z; n = 0..N, the conjugate for -n) and
// exp(2 pi i h.tau_o): no sine or cosine per term. The tables of a phase are kept between
// calls and remade column by column where a coordinate changed. Otherwise (a rotation with
// a fractional entry, or an index beyond what a table may hold) every term gets its own sin/cos.
#pragma once
#include <cstdint>
#include <numbers>
#include "core/model_tables.h"

// sin and cos of 2 pi r for a phase r in turns, branch-free so that loops over it vectorise.
// r is reduced to [-1/2, 1/2] turn; the Taylor series to degree 17 of the quarter angle
// (|t| <= pi/4) is exact to 1e-19, and two angle doublings keep the error below 1e-15.
// (x + 1.5 2^52) - 1.5 2^52 rounds to the nearest integer, half to even, for |x| < 2^51.
inline void SinCosTurns(double r, double& s, double& c) {
  constexpr double Round = 0x1.8p52;
  const double t = (0.5 * std::numbers::pi) * (r - ((r + Round) - Round));
  const double t2 = t * t;
  const double sq =
      t * (1.0 + t2 * (-1.0 / 6 + t2 * (1.0 / 120 + t2 * (-1.0 / 5040 + t2 * (1.0 / 362880 +
           t2 * (-1.0 / 39916800 + t2 * (1.0 / 6227020800 + t2 * (-1.0 / 1307674368000.0 +
           t2 * (1.0 / 355687428096000.0)))))))));
  const double cq =
      1.0 + t2 * (-0.5 + t2 * (1.0 / 24 + t2 * (-1.0 / 720 + t2 * (1.0 / 40320 +
      t2 * (-1.0 / 3628800 + t2 * (1.0 / 479001600 + t2 * (-1.0 / 87178291200.0 +
      t2 * (1.0 / 20922789888000.0))))))));
  const double sh = 2 * sq * cq, ch = (cq - sq) * (cq + sq);
  s = 2 * sh * ch;
  c = (ch - sh) * (ch + sh);
}

// One reflection under the operations of its phase.
struct TOperationIndices {
  int32_t ops = 0;
  double hr[MaxOperations], kr[MaxOperations], lr[MaxOperations], offset[MaxOperations];
};

// The sums for atoms a = 0..atoms-1; the arrays are read up to atoms, the term matrix with
// row length stride.
struct TOperationSums {
  int32_t atoms = 0, stride = 0;
  double re[MaxAtoms], im[MaxAtoms];              // sum_o e(o, a)
  double pRe[3][MaxAtoms], pIm[3][MaxAtoms];      // sum_o r_o e(o, a), r = hr, kr, lr
  double termRe[MaxOperations * MaxAtoms];        // e(o, a) at o * stride + a
  double termIm[MaxOperations * MaxAtoms];
};

// The sums of reflection r over atoms (x[a], y[a], z[a]), a = 0..atoms-1 (at most MaxAtoms) of
// phase p (1..MaxPhases, whose tables are used). re and im are always made; pRe and pIm when
// positions is set; the term matrix when terms is set.
void SumOverOperations(int32_t p, const TOperationIndices& r, const double* x, const double* y,
                       const double* z, int32_t atoms, bool positions, bool terms, TOperationSums& out);

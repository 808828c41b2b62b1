#include "core/fourier_transform.h"
#include <cmath>
#include <numbers>
#include "core/numeric_arrays.h"
#include "core/small_routines.h"

namespace {
// exp(i w m), m = 0..N-1, kept for the last N and w; cos and sin side by side, so that one
// cache line serves both.
struct Twiddle {
  double re, im;
};
Twiddle Twiddles[ScratchSize];
int32_t TwiddleN = 0;
double TwiddleW = 0.0;
// The input gathered column by column, and the results of the first pass.
double ColumnRe[ScratchSize], ColumnIm[ScratchSize];
double PassRe[ScratchSize], PassIm[ScratchSize];

void ChooseFactors(int32_t n, int32_t& k1, int32_t& k2) {
  int32_t r = RoundHalfEven(std::sqrt(static_cast<double>(n)));
  int32_t best = 0;
  k1 = k2 = 1;
  for (int32_t a = MaxI(1, r - 3); a <= r + 3; ++a)
    for (int32_t b = MaxI(1, r - 3); b <= r + 3; ++b)
      if (a * b <= n && a * b > best) {
        best = a * b;
        k1 = a;
        k2 = b;
      }
}

// sum_m u[m] exp(i w step m) over m = 0..count-1, the angle index taken modulo total.
inline void TwiddledSum(const double* ur, const double* ui, int32_t count, int32_t step, int32_t total,
                        double& sr, double& si) {
  int32_t idx = 0;
  sr = si = 0.0;
  for (int32_t m = 0; m < count; ++m) {
    const Twiddle t = Twiddles[idx];
    sr += ur[m] * t.re - ui[m] * t.im;
    si += ur[m] * t.im + ui[m] * t.re;
    idx += step;  // step < total
    if (idx >= total) idx -= total;
  }
}

void PrepareTwiddles(int32_t n, double w) {
  if (n == TwiddleN && w == TwiddleW) return;
  for (int32_t m = 0; m < n; ++m) Twiddles[m] = {std::cos(w * m), std::sin(w * m)};
  TwiddleN = n;
  TwiddleW = w;
}
}  // namespace

void FourierTransform(int32_t n, int32_t& k1, int32_t& k2, double direction) {
  if (n < 1 || !ArrayLengthFits(n)) {
    k1 = k2 = 0;
    return;
  }
  if (k1 < 1 || k2 < 1 || static_cast<int64_t>(k1) * k2 > n) ChooseFactors(n, k1, k2);
  const int32_t total = k1 * k2;
  const double w = -2.0 * std::numbers::pi * direction / total;
  PrepareTwiddles(total, w);
  const double* xr = WorkArrays[5] + 1;  // x[j] at xr[j], j = 0..N-1
  const double* xi = WorkArrays[6] + 1;

  // j = b + k2 a, k = c + k1 d:
  // pass 1: Y[b][c] = sum_a x[b + k2 a] exp(i w k2 a c)            (k1 terms)
  // pass 2: X[k] = sum_b Y[b][k mod k1] exp(i w b k)               (k2 terms)
  // The columns x[b + k2 a] are gathered first, so that both inner loops read contiguously.
  for (int32_t b = 0; b < k2; ++b)
    for (int32_t a = 0; a < k1; ++a) {
      ColumnRe[b * k1 + a] = xr[b + k2 * a];
      ColumnIm[b * k1 + a] = xi[b + k2 * a];
    }
  for (int32_t b = 0; b < k2; ++b) {
    const double* ur = ColumnRe + b * k1;
    const double* ui = ColumnIm + b * k1;
    for (int32_t c = 0; c < k1; ++c) {
      double sr, si;
      TwiddledSum(ur, ui, k1, k2 * c, total, sr, si);
      PassRe[c * k2 + b] = sr;  // stored by c, for pass 2
      PassIm[c * k2 + b] = si;
    }
  }
  const double scale = direction >= 0.0 ? 1.0 / total : 1.0;
  double* outR = WorkArrays[7] + 1;
  double* outI = WorkArrays[8] + 1;
  for (int32_t k = 0; k < total; ++k) {
    const double* ur = PassRe + (k % k1) * k2;
    const double* ui = PassIm + (k % k1) * k2;
    double sr, si;
    TwiddledSum(ur, ui, k2, k, total, sr, si);
    outR[k] = sr * scale;
    outI[k] = si * scale;
  }
}

#include "core/smoothers.h"
#include <algorithm>
#include <cmath>
#include <limits>
#include "core/local_analysis.h"
#include "core/numeric_arrays.h"
#include "core/small_routines.h"

namespace {
constexpr int32_t N1 = ScratchSize + 1;
// Private work space: transformed data, result, weights, slopes and elimination sweeps.
double EnvData[N1], EnvResult[N1], EnvBase[N1], EnvWeight[N1], EnvSlope[N1], SweepC[N1], SweepD[N1];
double SmoothWeight[N1], SavedData[N1];
// Pentadiagonal bands of the smoothing system and the eliminated 2 by 2 blocks.
double Band0[N1], Band1[N1], Band2[N1];
constexpr int32_t BlockCount = ScratchSize / 2 + 2;
double BlockInv[BlockCount][4], BlockRhs[BlockCount][2];

// Tridiagonal rows lam w (s - y) + v (k s[i] - s[i-1] - s[i+1]) = 0, k the number of
// neighbours: diagonally dominant, so the sweeps need no pivoting.
void SolveEnvelopeSystem(int32_t n, double lam, const double* y, const double* v, const double* w,
                         double* s) {
  for (int32_t i = 1; i <= n; ++i) {
    double lower = i > 1 ? -v[i] : 0.0;
    double upper = i < n ? -v[i] : 0.0;
    double diag = lam * w[i] - lower - upper;
    double rhs = lam * w[i] * y[i];
    double den = i > 1 ? diag - lower * SweepC[i - 1] : diag;
    SweepC[i] = upper / den;
    SweepD[i] = (i > 1 ? rhs - lower * SweepD[i - 1] : rhs) / den;
  }
  s[n] = SweepD[n];
  for (int32_t i = n - 1; i >= 1; --i) s[i] = SweepD[i] - SweepC[i] * s[i + 1];
}

// Inverse of the 2 by 2 matrix (p q; r t) into out, the determinant held away from 0.
void Inverse2(double p, double q, double r, double t, double* out) {
  double det = p * t - q * r;
  if (std::fabs(det) <= 1e-100) det = std::copysign(1e-100, det);
  out[0] = t / det;
  out[1] = -q / det;
  out[2] = -r / det;
  out[3] = p / det;
}

// Weighted least-squares straight line through y[1..n].
void WeightedLine(int32_t n, const double* y, const double* w, double* s) {
  double sw = 0, sx = 0, sy = 0;
  for (int32_t i = 1; i <= n; ++i) {
    sw += w[i];
    sx += w[i] * i;
    sy += w[i] * y[i];
  }
  if (sw <= 0.0) {
    std::copy(y + 1, y + n + 1, s + 1);
    return;
  }
  double xm = sx / sw, ym = sy / sw, sxx = 0, sxy = 0;
  for (int32_t i = 1; i <= n; ++i) {
    sxx += w[i] * (i - xm) * (i - xm);
    sxy += w[i] * (i - xm) * (y[i] - ym);
  }
  double slope = sxx > 0.0 ? sxy / sxx : 0.0;
  for (int32_t i = 1; i <= n; ++i) s[i] = ym + slope * (i - xm);
}

// Solves (W + lam D2' D2) s = W y over blocks of two unknowns (k-th block: 2k-1, 2k; an odd
// n gets a decoupled dummy unknown n+1). A large lam is divided out of the system, so that
// the products of the pivots cannot overflow.
void SolveSmoothingSystem(int32_t n, double lam, const double* y, const double* w, double* s) {
  const double dataScale = lam > 1.0 ? 1.0 / lam : 1.0;
  const double penalty = lam > 1.0 ? 1.0 : lam;
  int32_t m = n + (n % 2);
  for (int32_t i = 1; i <= m; ++i) Band0[i] = Band1[i] = Band2[i] = 0.0;
  // D2' D2: each second difference r couples points r, r+1, r+2 with 1, -2, 1.
  for (int32_t r = 1; r <= n - 2; ++r) {
    Band0[r] += penalty; Band0[r + 1] += 4.0 * penalty; Band0[r + 2] += penalty;
    Band1[r] += -2.0 * penalty; Band1[r + 1] += -2.0 * penalty;
    Band2[r] += penalty;
  }
  for (int32_t i = 1; i <= n; ++i) Band0[i] += w[i] * dataScale;
  if (m > n) Band0[m] = 1.0;  // the dummy unknown, 0 in the end
  auto rhs = [&](int32_t i) { return i <= n ? w[i] * dataScale * y[i] : 0.0; };
  int32_t blocks = m / 2;
  // Block k: D = (a11 a12; a12 a22) with a11 = Band0[2k-1], a12 = Band1[2k-1], a22 = Band0[2k].
  // Coupling to block k+1: U = (Band2[2k-1] 0; Band1[2k] Band2[2k]); L = U'.
  double prevU[4] = {0, 0, 0, 0};
  for (int32_t k = 1; k <= blocks; ++k) {
    int32_t i = 2 * k - 1;
    double d11 = Band0[i], d12 = Band1[i], d21 = Band1[i], d22 = Band0[i + 1];
    double r1 = rhs(i), r2 = rhs(i + 1);
    if (k > 1) {
      // G = L inv(D'_(k-1)), L = prevU'; D' -= G prevU; r' -= G r'_(k-1).
      const double* inv = BlockInv[k - 1];
      double l11 = prevU[0], l12 = prevU[2], l21 = prevU[1], l22 = prevU[3];
      double g11 = l11 * inv[0] + l12 * inv[2], g12 = l11 * inv[1] + l12 * inv[3];
      double g21 = l21 * inv[0] + l22 * inv[2], g22 = l21 * inv[1] + l22 * inv[3];
      d11 -= g11 * prevU[0] + g12 * prevU[2];
      d12 -= g11 * prevU[1] + g12 * prevU[3];
      d21 -= g21 * prevU[0] + g22 * prevU[2];
      d22 -= g21 * prevU[1] + g22 * prevU[3];
      r1 -= g11 * BlockRhs[k - 1][0] + g12 * BlockRhs[k - 1][1];
      r2 -= g21 * BlockRhs[k - 1][0] + g22 * BlockRhs[k - 1][1];
    }
    Inverse2(d11, d12, d21, d22, BlockInv[k]);
    BlockRhs[k][0] = r1;
    BlockRhs[k][1] = r2;
    prevU[0] = Band2[i];
    prevU[1] = 0.0;
    prevU[2] = Band1[i + 1];
    prevU[3] = Band2[i + 1];
  }
  double x1 = 0.0, x2 = 0.0;  // the solution of the block after the current one
  for (int32_t k = blocks; k >= 1; --k) {
    int32_t i = 2 * k - 1;
    double r1 = BlockRhs[k][0], r2 = BlockRhs[k][1];
    if (k < blocks) {
      r1 -= Band2[i] * x1;
      r2 -= Band1[i + 1] * x1 + Band2[i + 1] * x2;
    }
    const double* inv = BlockInv[k];
    x1 = inv[0] * r1 + inv[1] * r2;
    x2 = inv[2] * r1 + inv[3] * r2;
    s[i] = x1;
    if (i + 1 <= n) s[i + 1] = x2;
  }
}
}  // namespace

void LowerEnvelope(int32_t n, int32_t passes, double a, double b, double smoother) {
  EnvelopeMisfit = EnvelopeRoughness = 0.0;
  if (n < 1 || !ArrayLengthFits(n)) return;
  const double* data = ScratchArray1;
  if (n < 5) {
    std::copy(data + 1, data + n + 1, ScratchArray2 + 1);
    return;
  }
  double* y = EnvData;
  double* s = EnvResult;
  double* v = EnvBase;
  double* w = EnvWeight;
  double top = 1.0;
  for (int32_t i = 1; i <= n; ++i) {
    y[i] = std::copysign(std::sqrt(std::fabs(data[i])), data[i]);
    top = std::fmax(top, y[i]);
  }
  double scale = 1000.0 / top;
  double sumV = 0.0;
  for (int32_t i = 1; i <= n; ++i) {
    y[i] *= scale;
    v[i] = (i == 1 || i == n) ? 1.0 : std::fmax(1e-8, 1.0 / (y[i] * y[i] + 1.0));
    sumV += v[i];
  }
  for (int32_t i = 1; i <= n; ++i) {
    double value, curvature;
    LocalDerivativesOf(y, n, i, value, EnvSlope[i], curvature);
    s[i] = y[i];
    w[i] = 1.0;
  }
  bool envelope = smoother >= 0.0;
  for (int32_t p = 1; p <= passes; ++p) {
    double sumW = 2.0;
    w[1] = w[n] = 1.0;
    for (int32_t i = 2; i <= n - 1; ++i) {
      double d = s[i] - y[i], slope = EnvSlope[i];
      if (p == 1) w[i] = 1.0 / std::fmax(1e-8, b * d + a * std::fabs(slope) + 1.0);
      else if (envelope) w[i] = d >= 0.0 ? 1.0 : 1.0 / (d * d + 1.0);
      else w[i] = 1.0 / (d * d + slope * slope + 1.0);
      sumW += w[i];
    }
    double lam = std::fabs(smoother) * sumV / sumW;
    if (!(lam > 0.0)) {
      // No data term: the flat line at the weighted mean, the limit of a vanishing smoother.
      double sy = 0.0;
      for (int32_t i = 1; i <= n; ++i) sy += w[i] * y[i];
      std::fill(s + 1, s + n + 1, sy / sumW);
    } else if (std::isinf(lam)) {
      std::copy(y + 1, y + n + 1, s + 1);
    } else {
      SolveEnvelopeSystem(n, lam, y, v, w, s);
    }
    if (envelope)
      for (int32_t i = 1; i <= n; ++i) s[i] = std::fmin(s[i], y[i]);
  }
  double q1 = 0.0, q2 = 0.0;
  for (int32_t i = 1; i <= n; ++i) q1 += (s[i] - y[i]) * (s[i] - y[i]) * w[i];
  for (int32_t i = 2; i <= n - 1; ++i) q2 += (s[i + 1] - s[i - 1]) * (s[i + 1] - s[i - 1]) * v[i] / 4.0;
  EnvelopeMisfit = q1;
  EnvelopeRoughness = q2;
  for (int32_t i = 1; i <= n; ++i) {
    double t = s[i] / scale;
    double back = std::copysign(t * t, t);
    // Where the envelope was cut to the data it is the data value itself; elsewhere the square
    // of the square root must not come out a rounding step above the data.
    if (envelope) back = s[i] >= y[i] ? data[i] : std::fmin(back, data[i]);
    ScratchArray2[i] = back;
  }
}

void LowerEnvelopeStart(int32_t n, int32_t passes, double signSource) {
  double sign = signSource < 0.0 ? -1.0 : 1.0;
  double smoother = 0.1 * sign, best = smoother;
  double bestQ2 = std::numeric_limits<double>::infinity();
  for (int32_t k = 0; k < 15; ++k) {
    LowerEnvelope(n, passes, 0.5, 0.5, smoother);
    if (EnvelopeRoughness < bestQ2) {
      bestQ2 = EnvelopeRoughness;
      best = smoother;
    }
    smoother /= 2.0;
  }
  LowerEnvelope(n, passes, 0.5, 0.5, best);
  EnvelopeRoughness = best;
  ProposedSmoother = best;
}

void SmoothArray(int32_t n, int32_t mode, double& fit, double& roughness, double smoother) {
  fit = roughness = 0.0;
  if (n < 1 || !ArrayLengthFits(n)) return;
  const double* y = ScratchArray1;
  double* s = ScratchArray2;
  if (n <= 5) {
    std::copy(y + 1, y + n + 1, s + 1);
    return;
  }
  double* w = SmoothWeight;
  if (mode == 1) {
    for (int32_t i = 1; i <= n; ++i) w[i] = s[i] > 0.0 ? s[i] : 0.0;
  } else {
    double ymax = y[1];
    for (int32_t i = 2; i <= n; ++i) ymax = std::fmax(ymax, y[i]);
    if (ymax == 0.0) ymax = 1.0;
    for (int32_t i = 2; i <= n - 1; ++i) {
      double s3 = std::fabs(y[i - 1]) + std::fabs(y[i]) + std::fabs(y[i + 1]) + 1.0;
      double r = std::fabs(y[i]) / std::fmax(1.0, ymax);
      w[i] = std::fmax(1e-10, 1.0 / (r * s3 + std::sqrt(s3) * std::fabs(1.0 - r)));
    }
    w[1] = w[2];
    w[n] = w[n - 1];
  }
  double lam = smoother / n;
  if (!(lam > 0.0)) std::copy(y + 1, y + n + 1, s + 1);  // no roughness term
  else if (std::isinf(lam)) WeightedLine(n, y, w, s);   // nothing but the roughness term
  else SolveSmoothingSystem(n, lam, y, w, s);

  double sum = 0.0;
  for (int32_t i = 1; i <= n; ++i) sum += (s[i] - y[i]) * (s[i] - y[i]) / std::fmax(std::fabs(y[i]), 1.0);
  fit = sum / n;
  for (int32_t i = 2; i <= n - 1; ++i) {
    double d2 = s[i - 1] - 2.0 * s[i] + s[i + 1];
    double m = (std::fabs(s[i] - s[i + 1]) + std::fabs(s[i - 1] - s[i])) / 2.0;
    roughness += d2 * d2 / (m * m + 1.0);
  }
}

void PrepareSmoothing(int32_t n, int32_t& edge, double target, double blend) {
  edge = 1;
  if (n < 1 || !ArrayLengthFits(n)) return;
  double* y = ScratchArray1;
  int32_t imin, imax;
  double lo, hi;
  MinMaxOfRange(y, n, 1, imin, imax, lo, hi, n);
  edge = (imax == 1 || imax == n || hi <= lo) ? 1 : 0;
  // A maximum of 0 (or below) counts as 1, so the scaling never turns the data over.
  double top = hi > 0.0 ? hi : 1.0;
  double scale = 1000.0 / top;
  std::copy(y + 1, y + n + 1, SavedData + 1);
  for (int32_t i = 1; i <= n; ++i) y[i] *= scale;

  double best = 1000.0, bestRough = std::numeric_limits<double>::infinity();
  double nearest = 1000.0, nearestMiss = std::numeric_limits<double>::infinity();
  bool found = false;
  double fit, rough, smoother = 1000.0;
  for (int32_t k = 0; k < 21; ++k) {
    SmoothArray(n, 0, fit, rough, smoother);
    if (fit >= 0.25 * target && fit <= 0.875 * target && rough < bestRough) {
      best = smoother;
      bestRough = rough;
      found = true;
    }
    if (std::fabs(fit - target) < nearestMiss) {
      nearestMiss = std::fabs(fit - target);
      nearest = smoother;
    }
    smoother /= 2.0;
  }
  // No smoother met the window: go on from the one whose fit came nearest to the target.
  if (!found) best = nearest;
  double b = best, c = b / 1.5;
  for (int32_t k = -10; k <= 10; ++k) {
    smoother = std::fmax(0.0, c + k * (2.0 * b - c) / 20.0);
    SmoothArray(n, 0, fit, rough, smoother);
    if (fit >= 0.25 * target && fit <= target && rough < bestRough) {
      best = smoother;
      bestRough = rough;
    }
  }
  SmoothArray(n, 0, fit, rough, best);
  double mix = std::fmax(0.0, std::fmin(blend, 1.0));
  for (int32_t i = 1; i <= n; ++i) ScratchArray2[i] = (mix * ScratchArray2[i] + (1.0 - mix) * y[i]) / scale;
  std::copy(SavedData + 1, SavedData + n + 1, y + 1);
  ProposedSmoother = best;
}

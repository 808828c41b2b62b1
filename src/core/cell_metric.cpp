#include "core/cell_metric.h"
#include <cmath>
#include <numbers>
#include "core/cell_geometry.h"
#include "core/dialog_state.h"
#include "core/fit_engine.h"
#include "core/messages.h"
#include "core/model_tables.h"
#include "core/parameter_layout.h"
#include "core/small_routines.h"
#include "core/toolbox.h"
#include "core/trevo_records.h"

namespace {

// u G* v for the metric A..F (order hk, hl, kl), each cross coefficient holding its factor 2.
double MetricProduct(const double* g, double u1, double u2, double u3, double v1, double v2,
                     double v3) {
  return g[0] * u1 * v1 + g[1] * u2 * v2 + g[2] * u3 * v3 + 0.5 * g[3] * (u1 * v2 + u2 * v1) +
         0.5 * g[4] * (u1 * v3 + u3 * v1) + 0.5 * g[5] * (u2 * v3 + u3 * v2);
}

// G* v.
void MetricTimes(const double* g, double v1, double v2, double v3, double* out) {
  out[0] = g[0] * v1 + 0.5 * g[3] * v2 + 0.5 * g[4] * v3;
  out[1] = 0.5 * g[3] * v1 + g[1] * v2 + 0.5 * g[5] * v3;
  out[2] = 0.5 * g[4] * v1 + 0.5 * g[5] * v2 + g[2] * v3;
}

// The moment direction of phase k from its record or from its "Cos Phi" records.
void Direction(int32_t k, int32_t fromParameters, double (&m)[3]) {
  for (int32_t i = 0; i < 3; ++i) m[i] = PhaseTable[k].MomentDirection[i];
  if (fromParameters != 1 || !FitParameters) return;
  const int32_t r = ParameterCount(0) + 3 * (k - 1) + 1;
  if (!TableIndexOk(r + 2, 1, FitParameters->RecordCapacity(), "parameter")) return;
  for (int32_t i = 0; i < 3; ++i) m[i] = FitParameters->Records[r + i].value;
}

}  // namespace

void PhaseMetric(int32_t k) {
  if (!TableIndexOk(k, 1, MaxPhases, "phase")) return;
  LATTICE& p = PhaseTable[k];
  const double* r = p.ReciprocalCell;
  const double cosAlpha = std::cos(r[3] / RadToDeg), cosBeta = std::cos(r[4] / RadToDeg),
               cosGamma = std::cos(r[5] / RadToDeg);
  p.CrossTerms[0] = std::fabs(cosGamma) > 1e-7 ? 2 * r[0] * r[1] * cosGamma : 0;
  p.CrossTerms[1] = std::fabs(cosBeta) > 1e-7 ? 2 * r[0] * r[2] * cosBeta : 0;
  p.CrossTerms[2] = std::fabs(cosAlpha) > 1e-7 ? 2 * r[1] * r[2] * cosAlpha : 0;
  for (int32_t i = 0; i < 3; ++i) {
    p.ReciprocalSquares[i] = r[i] * r[i];
    p.Metric[i] = p.ReciprocalSquares[i];
    p.Metric[3 + i] = p.CrossTerms[i];
  }
  if (PhaseModelFlags[k] == 1 && MainMode == 0) {
    const double* m = p.MomentDirection;
    if (!(MetricProduct(p.Metric, m[0], m[1], m[2], m[0], m[1], m[2]) > 0)) ShowMsg("Mag.moment=0");
  }
}

std::array<double, 6> MetricRecordOrder(const double (&metric)[6]) {
  return {metric[0], metric[1], metric[2], metric[5], metric[4], metric[3]};
}

double HklLength(int32_t k, int32_t h, int32_t kk, int32_t l) {
  return MaxD(1e-7, std::sqrt(std::fabs(MetricProduct(PhaseTable[k].Metric, h, kk, l, h, kk, l))));
}

double MomentLength(int32_t k, double x, double y, double z) {
  return MaxD(1e-7, std::sqrt(std::fabs(MetricProduct(PhaseTable[k].Metric, x, y, z, x, y, z))));
}

double HklMomentProduct(int32_t k, int32_t h, int32_t kk, int32_t l, double x, double y, double z) {
  return MetricProduct(PhaseTable[k].Metric, h, kk, l, x, y, z);
}

void MagneticFactor(int32_t k, int32_t fromParameters, int32_t withDerivatives, double& dq1,
                    double& dq2, double& dq3, double& q, int32_t h, int32_t kk, int32_t l) {
  if (!TableIndexOk(k, 1, MaxPhases, "phase") || PhaseModelFlags[k] != 1) {
    q = 1.0;
    return;
  }
  const LATTICE& p = PhaseTable[k];
  double m[3];
  Direction(k, fromParameters, m);
  const double L = MomentLength(k, m[0], m[1], m[2]);
  double gm[3];  // G* m: half the gradient of L^2
  MetricTimes(p.Metric, m[0], m[1], m[2], gm);
  // A phase without operations counts as having the identity alone.
  const int32_t n = MaxI(p.OperationCount, 1);
  const bool identityOnly = p.OperationCount < 1;
  double q2 = 0, d[3] = {0, 0, 0};
  for (int32_t j = 1; j <= n; ++j) {
    int32_t hr[3];
    for (int32_t c = 0; c < 3; ++c)
      hr[c] = identityOnly ? (c == 0 ? h : c == 1 ? kk : l)
                           : RoundHalfEven(h * p.Rotations[0][c][j] + kk * p.Rotations[1][c][j] +
                                           l * p.Rotations[2][c][j]);
    const double H = HklLength(k, hr[0], hr[1], hr[2]);
    const double P = HklMomentProduct(k, hr[0], hr[1], hr[2], m[0], m[1], m[2]);
    const double c = P / (H * L);
    if (!(1 - c * c > 0)) continue;
    q2 += (1 - c * c) / n;
    if (!withDerivatives) continue;
    double gh[3];  // G* h, the gradient of P
    MetricTimes(p.Metric, hr[0], hr[1], hr[2], gh);
    for (int32_t i = 0; i < 3; ++i) {
      const double dc = gh[i] / (H * L) - P * gm[i] / (H * L * L * L);
      d[i] -= 2 * c * dc / n;
    }
  }
  q = std::sqrt(q2);
  if (withDerivatives) dq1 = d[0], dq2 = d[1], dq3 = d[2];
}

void MomentAxisAngles(int32_t k, int32_t fromParameters) {
  if (!TableIndexOk(k, 1, MaxPhases, "phase")) return;
  const double* g = PhaseTable[k].Metric;
  double m[3], gm[3];
  Direction(k, fromParameters, m);
  MetricTimes(g, m[0], m[1], m[2], gm);  // m . a*, m . b*, m . c*
  // L >= 1e-3: a direction of no length has u = 0 and so makes right angles.
  const double L = std::sqrt(MaxD(MetricProduct(g, m[0], m[1], m[2], m[0], m[1], m[2]), 1e-6));
  for (int32_t i = 0; i < 3; ++i) {
    const double u = gm[i] / MaxD(std::sqrt(std::fabs(g[i])), 1e-5);  // m . (unit axis)
    DialogNumbers[1 + i] = ArcCosRounded(u / L) * RadToDeg;
  }
}

double ArcCosRounded(double x) {
  if (std::isnan(x)) return std::numbers::pi / 2;
  if (!(x >= -1 && x < 1)) x = std::nearbyint(x);
  if (x >= 1) return 0;
  if (x <= -1) return std::numbers::pi;
  if (std::fabs(x) <= 1e-4) return std::numbers::pi / 2;
  const double r = std::atan(std::sqrt(1 - x * x) / std::fabs(x));
  return x < 0 ? PiLegacy - r : r;
}

void RelativePhaseValues() {
  const int32_t n = MinI(MaxI(PhaseCount, 0), MaxPhases);
  double v[MaxPhases + 1] = {}, largest = 1e-6;
  for (int32_t k = 1; k <= n; ++k) {
    const LATTICE& p = PhaseTable[k];
    v[k] = PhaseModelFlags[k] == 1 ? p.MaxQ : p.MaxQ * p.MaxF;
    largest = MaxD(largest, v[k]);
  }
  for (int32_t k = 1; k <= n; ++k) NumberBuffer[k] = v[k] / largest;
}

namespace {

// 1/d of identification reflection r of evolution phase k from its carried reciprocal cell: the
// cross terms for every crystal system except orthorhombic, tetragonal and cubic (a monoclinic
// beta* is not 90). Held away from 0, so the reflection 0 0 0 gives d = 1e4.
double SequenceInverseD(int32_t k, int32_t r) {
  const TTrevoPhase& t = TrevoPhases[k];
  const THklRecord& x = t.Reflections[r];
  const double* rc = t.ReciprocalCell;
  const double ha = x.h * rc[0], kb = x.k * rc[1], lc = x.l * rc[2];
  double s = ha * ha + kb * kb + lc * lc;
  const int32_t system = PhaseTable[k].CrystalSystem;
  if (system < 3 || system > 5)
    s += 2 * ha * kb * std::cos(rc[5] / RadToDeg) + 2 * ha * lc * std::cos(rc[4] / RadToDeg) +
         2 * kb * lc * std::cos(rc[3] / RadToDeg);
  return MaxD(1e-4, std::sqrt(MaxD(s, 0)));
}

bool SequenceIndicesOk(int32_t k, int32_t r) {
  return TableIndexOk(k, 1, TrevoPhaseCount, "phase") && TableIndexOk(r, 1, TrevoReflectionCapacity, "reflection");
}

}  // namespace

void SequenceHklDSpacing(int32_t k, int32_t r) {
  if (SequenceIndicesOk(k, r)) TrevoIdentificationD[r][k] = 1 / SequenceInverseD(k, r);
}

void SequenceHklInverseDSquared(int32_t k, int32_t r) {
  if (SequenceIndicesOk(k, r)) TrevoPhases[k].CalculatedD[r] = 1 / SequenceInverseD(k, r);
}

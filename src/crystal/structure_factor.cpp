#include "crystal/structure_factor.h"
#include <algorithm>
#include <cmath>
#include "core/cell_metric.h"
#include "core/fit_engine.h"

double Q0 = 0;

namespace {

constexpr int32_t AtomRecords = 10;  // occupation, X, Y, Z, T11, T12, T13, T22, T23, T33
constexpr int32_t MaxCentrings = 3;

// sin and cos of 2 pi r for a phase r in turns, branch-free so that the loops over operations
// vectorise. r is reduced to [-1/2, 1/2] turn; the Taylor series to degree 17 of the quarter
// angle (|t| <= pi/4) is exact to 1e-19, and two angle doublings keep the error below 1e-15.
// (x + 1.5 2^52) - 1.5 2^52 rounds to the nearest integer, half to even, for |x| < 2^51.
inline void SinCosTurns(double r, double& s, double& c) {
  constexpr double Round = 0x1.8p52;
  const double t = (0.25 * TwoPi) * (r - ((r + Round) - Round));
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

// A NaN exponent (a damaged tensor) counts as the cap: the term vanishes instead of poisoning F.
inline double ClampedExp(double exponent) {
  if (std::isnan(exponent)) exponent = MaxThermalExponent;
  return std::exp(-std::clamp(exponent, -MaxThermalExponent, MaxThermalExponent));
}

// The ten values of an atom: from its record or from its block of parameter records.
struct TAtomValues {
  double occ, x, y, z;
  double t[6];  // T11, T12, T13, T22, T23, T33
};

bool AtomValues(int32_t fromParameters, int32_t phase, int32_t a, int32_t base, TAtomValues& v) {
  if (fromParameters == 1) {
    const int32_t r = base + AtomRecords * a;
    if (!FitParameters || r + AtomRecords > FitParameters->RecordCapacity() || r < 0) return false;
    const ParameterRecord* rec = FitParameters->Records.data() + r;
    v.occ = rec[1].value;
    v.x = rec[2].value;
    v.y = rec[3].value;
    v.z = rec[4].value;
    for (int32_t i = 0; i < 6; ++i) v.t[i] = rec[5 + i].value;
    return true;
  }
  const ATOM& at = AtomTable[a][phase];
  v = {at.Occupation, at.X, at.Y, at.Z, {at.T11, at.T12, at.T13, at.T22, at.T23, at.T33}};
  return true;
}

}  // namespace

double ScatteringAmplitude(int32_t phase, const ATOM& atom, double s2) {
  if (phase < 1 || phase > MaxPhases || PhaseModelFlags[phase] != 1) return atom.ScatteringLength;
  const double* f = atom.FormFactor;
  const double j0 = f[0] * std::exp(-f[1] * s2) + f[2] * std::exp(-f[3] * s2) +
                    f[4] * std::exp(-f[5] * s2) + f[6];
  const double sign = atom.MagneticMoment > 0 ? 1.0 : (atom.MagneticMoment < 0 ? -1.0 : 0.0);
  return 0.539 * sign * j0;
}

double IsotropicThermalFactor(double T11, double q0) { return ClampedExp(T11 * q0 / 4.0); }

double AnisotropicThermalFactor(const double (&t)[6], double H, double K, double L) {
  return ClampedExp(t[0] * H * H + t[3] * K * K + t[5] * L * L +
                    2.0 * (t[1] * H * K + t[2] * H * L + t[4] * K * L));
}

void IndexNormalisersOf(const LATTICE& phase, double (&norm)[3]) {
  for (int32_t i = 0; i < 3; ++i)
    norm[i] = phase.IndexNormalisers[i] != 0 ? phase.IndexNormalisers[i] : phase.Cell[i];
}

void CalcStructureFactor(int32_t fromParameters, int32_t phase, int32_t h, int32_t k, int32_t l,
                         int32_t /*multiplicity*/, int32_t base, double& A, double& B, double& q) {
  A = 0;
  B = 0;
  q = 1;
  if (!TableIndexOk(phase, 1, MaxPhases, "phase")) return;
  const LATTICE& ph = PhaseTable[phase];
  const int32_t ops = std::clamp(ph.OperationCount, 0, MaxOperations);
  const int32_t centrings = std::clamp(ph.CentringCount, 0, MaxCentrings);
  const int32_t atoms = std::clamp(ph.AtomCount, 0, MaxAtoms);
  const double hd = h, kd = k, ld = l;

  // The translations only add 2 pi h.t to every phase: their sum factors out as
  // C = sum_t exp(2 pi i h.t), n_c for an allowed reflection of a centred lattice, 0 for an
  // extinct one.
  double cRe = 1, cIm = 0;
  for (int32_t t = 1; t <= centrings; ++t) {
    double s, c;
    SinCosTurns(hd * ph.CentringVectors[0][t] + kd * ph.CentringVectors[1][t] +
                    ld * ph.CentringVectors[2][t],
                s, c);
    cRe += c;
    cIm += s;
  }

  // Operation o turns h into h R_o and adds h.tau_o (turns) to the phase of every atom.
  double hr[MaxOperations], kr[MaxOperations], lr[MaxOperations], offset[MaxOperations];
  for (int32_t o = 0; o < ops; ++o) {
    const auto& R = ph.Rotations;
    hr[o] = hd * R[0][0][o + 1] + kd * R[1][0][o + 1] + ld * R[2][0][o + 1];
    kr[o] = hd * R[0][1][o + 1] + kd * R[1][1][o + 1] + ld * R[2][1][o + 1];
    lr[o] = hd * R[0][2][o + 1] + kd * R[1][2][o + 1] + ld * R[2][2][o + 1];
    offset[o] = hd * ph.Translations[0][o + 1] + kd * ph.Translations[1][o + 1] +
                ld * ph.Translations[2][o + 1];
  }
  // Products of the normalised rotated index for the anisotropic exponent, made on first need.
  double quad[6][MaxOperations];
  bool quadReady = false;

  const double s2 = Q0 / 4.0;
  const double weight = centrings + 1;  // every term carries n_c besides the sum over t
  double sumRe = 0, sumIm = 0;
  for (int32_t a = 1; a <= atoms; ++a) {
    TAtomValues v;
    if (!AtomValues(fromParameters, phase, a, base, v)) break;
    const ATOM& atom = AtomTable[a][phase];
    const double wocc = v.occ * ScatteringAmplitude(phase, atom, s2);
    if (wocc == 0) continue;
    double re = 0, im = 0;
    if (atom.IsotropicFlag == 1) {
      for (int32_t o = 0; o < ops; ++o) {
        double s, c;
        SinCosTurns(hr[o] * v.x + kr[o] * v.y + lr[o] * v.z + offset[o], s, c);
        re += c;
        im += s;
      }
      const double T = IsotropicThermalFactor(v.t[0], Q0);
      re *= T;
      im *= T;
    } else {
      if (!quadReady) {
        double norm[3];
        IndexNormalisersOf(ph, norm);
        for (int32_t o = 0; o < ops; ++o) {
          const double H = norm[0] != 0 ? hr[o] / norm[0] : 0.0;
          const double K = norm[1] != 0 ? kr[o] / norm[1] : 0.0;
          const double L = norm[2] != 0 ? lr[o] / norm[2] : 0.0;
          quad[0][o] = H * H;
          quad[1][o] = 2 * H * K;
          quad[2][o] = 2 * H * L;
          quad[3][o] = K * K;
          quad[4][o] = 2 * K * L;
          quad[5][o] = L * L;
        }
        quadReady = true;
      }
      for (int32_t o = 0; o < ops; ++o) {
        double s, c;
        SinCosTurns(hr[o] * v.x + kr[o] * v.y + lr[o] * v.z + offset[o], s, c);
        const double T = ClampedExp(v.t[0] * quad[0][o] + v.t[1] * quad[1][o] +
                                    v.t[2] * quad[2][o] + v.t[3] * quad[3][o] +
                                    v.t[4] * quad[4][o] + v.t[5] * quad[5][o]);
        re += T * c;
        im += T * s;
      }
    }
    sumRe += wocc * re;
    sumIm += wocc * im;
  }

  // F = n_c C S; a centrosymmetric phase doubles the real part of its listed half and has B = 0.
  const double fRe = weight * (cRe * sumRe - cIm * sumIm);
  const double fIm = weight * (cRe * sumIm + cIm * sumRe);
  if (ph.Centrosymmetric != 0) {
    A = 2.0 * fRe;
    B = 0;
  } else {
    A = fRe;
    B = fIm;
  }
  double dq1 = 0, dq2 = 0, dq3 = 0;
  MagneticFactor(phase, fromParameters, 0, dq1, dq2, dq3, q, h, k, l);
}

void MaxStructureFactors(double& maxF, double& maxQ, int32_t phase) {
  maxF = 0;
  maxQ = 0;
  if (!TableIndexOk(phase, 1, MaxPhases, "phase")) return;
  const int32_t n = std::clamp(PhaseTable[phase].ReflectionCount, 0, MaxReflections);
  for (int32_t j = 1; j <= n; ++j) {
    const THklRecord& r = HklTable[j][phase];
    maxF = std::max(maxF, std::max(1e-4, std::sqrt(r.A * r.A + r.B * r.B)));
    maxQ = std::max(maxQ, std::max(1e-4, r.q));
  }
}

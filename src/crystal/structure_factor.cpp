#include "crystal/structure_factor.h"
#include <algorithm>
#include <cmath>
#include "core/cell_metric.h"
#include <cstring>
#include "core/cpu_dispatch.h"
#include "core/fit_engine.h"
#include "crystal/operation_sums.h"

double Q0 = 0;

namespace {

constexpr int32_t AtomRecords = 10;  // occupation, X, Y, Z, T11, T12, T13, T22, T23, T33
constexpr int32_t MaxCentrings = 3;

// A NaN exponent (a damaged tensor) counts as the cap: the term vanishes instead of poisoning F.
inline double ClampedExp(double exponent) {
  if (std::isnan(exponent)) exponent = MaxThermalExponent;
  return std::exp(-std::clamp(exponent, -MaxThermalExponent, MaxThermalExponent));
}

typedef double V4 __attribute__((vector_size(32)));
typedef int64_t V4i __attribute__((vector_size(32)));

// exp(-e) of n exponents e, each held to [-64, 64] (a NaN counts as 64), four at a time: the same
// operations in either build, the same bits. exp(x) = 2^k exp(r), x = k ln 2 + r with ln 2 in
// two parts (k ln2Hi exact), |r| <= ln 2 / 2; the Taylor series of exp(r) to degree 13 leaves
// 5e-18 relative.
[[gnu::always_inline]] inline void ThermalFactorsBody(const double* e, int32_t n, double* out) {
  constexpr double Round = 0x1.8p52, InvLn2 = 1.4426950408889634;
  constexpr double Ln2Hi = 6.93147180369123816490e-01, Ln2Lo = 1.90821492927058770002e-10;
  const V4 cap = V4{} + MaxThermalExponent, round = V4{} + Round;
  for (int32_t i = 0; i < n; i += 4) {
    const bool whole = i + 4 <= n;  // the last block goes through a buffer
    double in[4] = {0, 0, 0, 0};
    if (!whole)
      for (int32_t j = 0; i + j < n; ++j) in[j] = e[i + j];
    V4 x;
    std::memcpy(&x, whole ? e + i : in, sizeof x);
    x = x != x ? cap : x;
    x = x > cap ? cap : x;
    x = x < -cap ? -cap : x;
    x = -x;
    const V4 k = (x * InvLn2 + round) - round;
    const V4 r = (x - k * Ln2Hi) - k * Ln2Lo;
    // Estrin's scheme: a short chain of dependent operations for the few atoms of a call.
    const V4 r2 = r * r, r4 = r2 * r2, r8 = r4 * r4;
    const V4 q0 = 1.0 + r, q1 = 0.5 + r * (1.0 / 6), q2 = 1.0 / 24 + r * (1.0 / 120),
             q3 = 1.0 / 720 + r * (1.0 / 5040), q4 = 1.0 / 40320 + r * (1.0 / 362880),
             q5 = 1.0 / 3628800 + r * (1.0 / 39916800), q6 = 1.0 / 479001600 + r * (1.0 / 6227020800);
    V4 p = ((q0 + r2 * q1) + r4 * (q2 + r2 * q3)) + r8 * ((q4 + r2 * q5) + r4 * q6);
    const V4i scale = ((V4i)(k + round) - (V4i)round + 1023) << 52;
    p *= (V4)scale;
    std::memcpy(whole ? out + i : in, &p, sizeof p);
    if (!whole)
      for (int32_t j = 0; i + j < n; ++j) out[i + j] = in[j];
  }
}
void ThermalFactorsBaseline(const double* e, int32_t n, double* out) { ThermalFactorsBody(e, n, out); }
VKEST_AVX2 void ThermalFactorsAvx2(const double* e, int32_t n, double* out) { ThermalFactorsBody(e, n, out); }
const auto ThermalFactors = ChooseByProcessor(ThermalFactorsBaseline, ThermalFactorsAvx2, false);

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

// The values of the first atoms of a phase (up to the first that cannot be read) with their
// coordinates side by side, and the sums over the operations made from them: per thread.
struct TAtomScratch {
  TAtomValues v[MaxAtoms];
  double x[MaxAtoms], y[MaxAtoms], z[MaxAtoms];
  double e[MaxAtoms], T[MaxAtoms];  // the isotropic exponent B Q0 / 4 and its factor
  TOperationSums sums;
};

TAtomScratch& Scratch() {
  static thread_local TAtomScratch s;
  return s;
}

// Reads atoms 1..atoms into s with their isotropic thermal factors at Q0; the count read.
int32_t GatherAtoms(int32_t fromParameters, int32_t phase, int32_t base, int32_t atoms, TAtomScratch& s) {
  int32_t n = 0;
  for (; n < atoms; ++n) {
    TAtomValues& v = s.v[n];
    if (!AtomValues(fromParameters, phase, n + 1, base, v)) break;
    s.x[n] = v.x, s.y[n] = v.y, s.z[n] = v.z;
    s.e[n] = v.t[0] * Q0 / 4.0;
  }
  ThermalFactors(s.e, n, s.T);
  return n;
}

bool AnyAnisotropic(int32_t phase, int32_t atoms) {
  for (int32_t a = 1; a <= atoms; ++a)
    if (AtomTable[a][phase].IsotropicFlag != 1) return true;
  return false;
}

// What a reflection's sum needs besides the atoms: the counts held to the tables, the sum C over
// the centring translations, and per operation the rotated index and the phase offset h.tau_o.
struct TReflectionTerms : TOperationIndices {
  int32_t centrings = 0, atoms = 0;
  double cRe = 1, cIm = 0;
  // Products of the normalised rotated index for the anisotropic exponent, made on first need.
  double quad[6][MaxOperations];
  bool quadReady = false;
};

void PrepareReflection(const LATTICE& ph, int32_t h, int32_t k, int32_t l, TReflectionTerms& t) {
  t.ops = std::clamp(ph.OperationCount, 0, MaxOperations);
  t.centrings = std::clamp(ph.CentringCount, 0, MaxCentrings);
  t.atoms = std::clamp(ph.AtomCount, 0, MaxAtoms);
  const double hd = h, kd = k, ld = l;
  // The translations only add 2 pi h.t to every phase: their sum factors out as
  // C = sum_t exp(2 pi i h.t), n_c for an allowed reflection of a centred lattice, 0 for an
  // extinct one.
  t.cRe = 1, t.cIm = 0;
  for (int32_t c = 1; c <= t.centrings; ++c) {
    double sn, cs;
    SinCosTurns(hd * ph.CentringVectors[0][c] + kd * ph.CentringVectors[1][c] +
                    ld * ph.CentringVectors[2][c],
                sn, cs);
    t.cRe += cs;
    t.cIm += sn;
  }
  // Operation o turns h into h R_o and adds h.tau_o (turns) to the phase of every atom.
  for (int32_t o = 0; o < t.ops; ++o) {
    const auto& R = ph.Rotations;
    t.hr[o] = hd * R[0][0][o + 1] + kd * R[1][0][o + 1] + ld * R[2][0][o + 1];
    t.kr[o] = hd * R[0][1][o + 1] + kd * R[1][1][o + 1] + ld * R[2][1][o + 1];
    t.lr[o] = hd * R[0][2][o + 1] + kd * R[1][2][o + 1] + ld * R[2][2][o + 1];
    t.offset[o] = hd * ph.Translations[0][o + 1] + kd * ph.Translations[1][o + 1] +
                  ld * ph.Translations[2][o + 1];
  }
  t.quadReady = false;
}

void PrepareAnisotropic(const LATTICE& ph, TReflectionTerms& t) {
  if (t.quadReady) return;
  double norm[3];
  IndexNormalisersOf(ph, norm);
  for (int32_t o = 0; o < t.ops; ++o) {
    const double H = norm[0] != 0 ? t.hr[o] / norm[0] : 0.0;
    const double K = norm[1] != 0 ? t.kr[o] / norm[1] : 0.0;
    const double L = norm[2] != 0 ? t.lr[o] / norm[2] : 0.0;
    t.quad[0][o] = H * H;
    t.quad[1][o] = 2 * H * K;
    t.quad[2][o] = 2 * H * L;
    t.quad[3][o] = K * K;
    t.quad[4][o] = 2 * K * L;
    t.quad[5][o] = L * L;
  }
  t.quadReady = true;
}

// The anisotropic exponent of atom v under operation o.
inline double AnisotropicExponent(const TReflectionTerms& t, int32_t o, const TAtomValues& v) {
  return v.t[0] * t.quad[0][o] + v.t[1] * t.quad[1][o] + v.t[2] * t.quad[2][o] +
         v.t[3] * t.quad[3][o] + v.t[4] * t.quad[4][o] + v.t[5] * t.quad[5][o];
}

// The thermal factor moves with its exponent only inside the bounds (a NaN counts as outside).
inline bool ExponentFree(double exponent) {
  return exponent > -MaxThermalExponent && exponent < MaxThermalExponent;
}

// A and B from the atom sum S: F = n_c C S; a centrosymmetric phase doubles the real part of its
// listed half and has B = 0.
void FinalSums(const LATTICE& ph, const TReflectionTerms& t, double sumRe, double sumIm, double& A,
               double& B) {
  const double weight = t.centrings + 1;  // every term carries n_c besides the sum over t
  const double fRe = weight * (t.cRe * sumRe - t.cIm * sumIm);
  const double fIm = weight * (t.cRe * sumIm + t.cIm * sumRe);
  if (ph.Centrosymmetric != 0) {
    A = 2.0 * fRe;
    B = 0;
  } else {
    A = fRe;
    B = fIm;
  }
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

double ScatteringAmplitudeSlope(int32_t phase, const ATOM& atom, double s2) {
  if (phase < 1 || phase > MaxPhases || PhaseModelFlags[phase] != 1) return 0.0;
  const double* f = atom.FormFactor;
  const double dj0 = -f[1] * f[0] * std::exp(-f[1] * s2) - f[3] * f[2] * std::exp(-f[3] * s2) -
                     f[5] * f[4] * std::exp(-f[5] * s2);
  const double sign = atom.MagneticMoment > 0 ? 1.0 : (atom.MagneticMoment < 0 ? -1.0 : 0.0);
  return 0.539 * sign * dj0;
}

double IsotropicThermalFactor(double T11, double q0) {
  const double e = T11 * q0 / 4.0;
  double T;
  ThermalFactors(&e, 1, &T);
  return T;
}

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
  TReflectionTerms t;
  PrepareReflection(ph, h, k, l, t);

  TAtomScratch& s = Scratch();
  t.atoms = GatherAtoms(fromParameters, phase, base, t.atoms, s);
  SumOverOperations(phase, t, s.x, s.y, s.z, t.atoms, false, AnyAnisotropic(phase, t.atoms), s.sums);
  const TOperationSums& S = s.sums;

  const double s2 = Q0 / 4.0;
  const bool magnetic = PhaseModelFlags[phase] == 1;
  double sumRe = 0, sumIm = 0;
  for (int32_t a = 1; a <= t.atoms; ++a) {
    const TAtomValues& v = s.v[a - 1];
    const ATOM& atom = AtomTable[a][phase];
    const double wocc = v.occ * (magnetic ? ScatteringAmplitude(phase, atom, s2) : atom.ScatteringLength);
    if (wocc == 0) continue;
    double re = 0, im = 0;
    if (atom.IsotropicFlag == 1) {
      const double T = s.T[a - 1];
      re = T * S.re[a - 1];
      im = T * S.im[a - 1];
    } else {
      PrepareAnisotropic(ph, t);
      for (int32_t o = 0; o < t.ops; ++o) {
        const double T = ClampedExp(AnisotropicExponent(t, o, v));
        re += T * S.termRe[o * S.stride + a - 1];
        im += T * S.termIm[o * S.stride + a - 1];
      }
    }
    sumRe += wocc * re;
    sumIm += wocc * im;
  }
  FinalSums(ph, t, sumRe, sumIm, A, B);
  double dq1 = 0, dq2 = 0, dq3 = 0;
  MagneticFactor(phase, fromParameters, 0, dq1, dq2, dq3, q, h, k, l);
}

void StructureFactorDerivatives(int32_t phase, int32_t h, int32_t k, int32_t l, int32_t base,
                                const int32_t* offsets, int32_t count, double* dF2, double& A,
                                double& B, double& q, double& dF2dQ0, double (&dq2)[3]) {
  A = 0;
  B = 0;
  q = 1;
  dF2dQ0 = 0;
  dq2[0] = dq2[1] = dq2[2] = 0;
  count = std::clamp(count, 0, MaxGradientRecords);
  for (int32_t i = 0; i < count; ++i) dF2[i] = 0;
  if (!TableIndexOk(phase, 1, MaxPhases, "phase")) return;
  const LATTICE& ph = PhaseTable[phase];
  TReflectionTerms t;
  PrepareReflection(ph, h, k, l, t);

  // dS[2i], dS[2i + 1]: real and imaginary part of the derivative of the atom sum S by the
  // record at offsets[i]; turned into derivatives of A^2 + B^2 once A and B are known.
  static thread_local double dS[2 * MaxGradientRecords];
  const double s2 = Q0 / 4.0;
  const bool magnetic = PhaseModelFlags[phase] == 1;
  TAtomScratch& s = Scratch();
  t.atoms = GatherAtoms(1, phase, base, t.atoms, s);
  bool positions = false;
  for (int32_t i = 0; i < count; ++i) {
    const int32_t item = (offsets[i] - 1) % AtomRecords + 1;
    positions = positions || (offsets[i] > AtomRecords && item >= 2 && item <= 4);
  }
  SumOverOperations(phase, t, s.x, s.y, s.z, t.atoms, positions, AnyAnisotropic(phase, t.atoms), s.sums);
  const TOperationSums& S = s.sums;
  double sumRe = 0, sumIm = 0, dQRe = 0, dQIm = 0;
  int32_t next = 0;
  while (next < count && offsets[next] <= AtomRecords) dS[2 * next] = dS[2 * next + 1] = 0, ++next;
  for (int32_t a = 1; a <= t.atoms; ++a) {
    const TAtomValues& v = s.v[a - 1];
    // This atom's wanted records: offsets[first .. next - 1], items 1..10.
    const int32_t first = next;
    const int32_t last = AtomRecords * (a + 1);
    bool wantPosition = false, wantTensor = false, wantAny = false;
    for (; next < count && offsets[next] <= last; ++next) {
      const int32_t item = offsets[next] - AtomRecords * a;
      wantAny = true;
      wantPosition = wantPosition || (item >= 2 && item <= 4);
      wantTensor = wantTensor || item >= 5;
    }
    const ATOM& atom = AtomTable[a][phase];
    // A nuclear amplitude is the coherent length, whatever s.
    const double b = magnetic ? ScatteringAmplitude(phase, atom, s2) : atom.ScatteringLength;
    const double bSlope = magnetic ? ScatteringAmplitudeSlope(phase, atom, s2) / 4.0 : 0.0;  // db/dQ0
    const double wocc = v.occ * b;
    if (wocc == 0 && !wantAny) continue;
    const bool isotropic = atom.IsotropicFlag == 1;
    // re, im: sum of T e^(i phi); p*: sums of hr, kr, lr times T e^(i phi); tq: the quad sums.
    double re = 0, im = 0;
    double pc[3] = {0, 0, 0}, ps[3] = {0, 0, 0};
    double tc[6] = {0, 0, 0, 0, 0, 0}, ts[6] = {0, 0, 0, 0, 0, 0};
    bool isoFree = false;
    if (isotropic) {
      const double T = s.T[a - 1];
      isoFree = ExponentFree(s.e[a - 1]);
      re = T * S.re[a - 1];
      im = T * S.im[a - 1];
      if (wantPosition)
        for (int32_t i = 0; i < 3; ++i) pc[i] = T * S.pRe[i][a - 1], ps[i] = T * S.pIm[i][a - 1];
    } else {
      PrepareAnisotropic(ph, t);
      for (int32_t o = 0; o < t.ops; ++o) {
        const double sn = S.termIm[o * S.stride + a - 1], cs = S.termRe[o * S.stride + a - 1];
        const double e = AnisotropicExponent(t, o, v);
        const double T = ClampedExp(e);
        const double Tc = T * cs, Ts = T * sn;
        re += Tc;
        im += Ts;
        if (wantPosition) {
          pc[0] += t.hr[o] * Tc, ps[0] += t.hr[o] * Ts;
          pc[1] += t.kr[o] * Tc, ps[1] += t.kr[o] * Ts;
          pc[2] += t.lr[o] * Tc, ps[2] += t.lr[o] * Ts;
        }
        if (wantTensor && ExponentFree(e)) {
          for (int32_t m = 0; m < 6; ++m) tc[m] += t.quad[m][o] * Tc, ts[m] += t.quad[m][o] * Ts;
        }
      }
    }
    sumRe += wocc * re;
    sumIm += wocc * im;
    // Through Q0: the form factor of a magnetic atom and the isotropic thermal factor.
    double gQ = v.occ * bSlope;
    if (isotropic && isoFree) gQ -= wocc * v.t[0] / 4.0;
    dQRe += gQ * re;
    dQIm += gQ * im;
    for (int32_t i = first; i < next; ++i) {
      const int32_t item = offsets[i] - AtomRecords * a;
      double gr = 0, gi = 0;
      if (item == 1) {
        gr = b * re, gi = b * im;
      } else if (item <= 4) {
        const double f = TwoPi * wocc;
        gr = -f * ps[item - 2], gi = f * pc[item - 2];
      } else if (isotropic) {
        if (item == 5 && isoFree) gr = -wocc * Q0 / 4.0 * re, gi = -wocc * Q0 / 4.0 * im;
      } else {
        gr = -wocc * tc[item - 5], gi = -wocc * ts[item - 5];
      }
      dS[2 * i] = gr;
      dS[2 * i + 1] = gi;
    }
  }
  for (int32_t i = next; i < count; ++i) dS[2 * i] = dS[2 * i + 1] = 0;
  FinalSums(ph, t, sumRe, sumIm, A, B);
  // d(A^2 + B^2) = aRe dS_re + aIm dS_im, from dF = n_c C dS and the centrosymmetric rule.
  const double weight = t.centrings + 1;
  double aRe, aIm;
  if (ph.Centrosymmetric != 0) {
    aRe = 4.0 * A * weight * t.cRe;
    aIm = -4.0 * A * weight * t.cIm;
  } else {
    aRe = 2.0 * weight * (A * t.cRe + B * t.cIm);
    aIm = 2.0 * weight * (B * t.cRe - A * t.cIm);
  }
  for (int32_t i = 0; i < count; ++i) dF2[i] = aRe * dS[2 * i] + aIm * dS[2 * i + 1];
  dF2dQ0 = aRe * dQRe + aIm * dQIm;
  MagneticFactor(phase, 1, 1, dq2[0], dq2[1], dq2[2], q, h, k, l);
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

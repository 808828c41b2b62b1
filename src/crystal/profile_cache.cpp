#include "crystal/profile_cache.h"
#include <algorithm>
#include <bit>
#include <cmath>
#include "core/cell_geometry.h"
#include "core/parameter_layout.h"
#include "crystal/extinction.h"
#include "crystal/model_options.h"
#include "crystal/profile_model.h"
#include "crystal/structure_factor.h"

namespace profile_cache {

TCache cache;

uint64_t NewStamp() { return ++cache.counter; }

namespace {

// A 64-bit hash of the table contents a cache was made from.
struct THasher {
  uint64_t h = 0xcbf29ce484222325ull;
  void Word(uint64_t w) { h = (h ^ w) * 0x100000001b3ull, h ^= h >> 29; }
  void Add(double x) { Word(std::bit_cast<uint64_t>(x)); }
  void Add(int32_t x) { Word(static_cast<uint64_t>(static_cast<uint32_t>(x))); }
  template <size_t N>
  void Add(const double (&a)[N]) {
    for (double x : a) Add(x);
  }
};

}  // namespace

int32_t NormalisedLaw() { return WidthMode >= 0 && WidthMode <= 3 ? WidthMode : 0; }

TSwitches CurrentSwitches(int32_t s, const TSpectrum* sp) {
  TSwitches w;
  w.fit = FitParameters.get();
  w.sp = sp;
  w.spectrum = s;
  if (sp) {
    w.axis = sp->AxisKind == AxisAngular ? AxisAngular : AxisTimeOfFlight;
    w.first = std::max(sp->WorkFirst, 1);
    w.last = std::min(sp->WorkLast, MaxChannels);
    w.cw = sp->ChanWidth, w.theta = sp->Theta;
    if (w.axis == AxisAngular) sp->AngleCalibration(w.slope, w.offset);
  }
  w.mainMode = MainMode;
  w.phases = std::clamp(PhaseCount, 0, MaxPhases);
  w.law = NormalisedLaw();
  w.anisotropy = AnisotropyOn != 0, w.m2 = M2Mode != 0, w.reciprocal = OptionFlags[10] != 0;
  w.magneticLayout = HasMagneticPhase();
  w.capacity = w.fit ? w.fit->RecordCapacity() : 0;
  w.count0 = ParameterCount(0), w.count1 = ParameterCount(1), w.count2 = ParameterCount(2);
  for (int32_t p = 1; p <= w.phases; ++p) {
    const LATTICE& L = PhaseTable[p];
    TSwitches::Phase& q = w.ph[p];
    q.base = PhaseParameterOffset(p);
    q.atoms = std::clamp(L.AtomCount, 0, MaxAtoms);
    q.reflections = std::clamp(L.ReflectionCount, 0, MaxReflections);
    q.ops = L.OperationCount, q.centrings = L.CentringCount, q.magnetic = PhaseModelFlags[p];
    q.shape = PeakModels[p + 1].get();
    if (q.shape) q.model = q.shape->ModelNumber, q.negate = q.shape->Negate, q.halfWidth = q.shape->HalfWidth;
  }
  return w;
}

uint64_t PhaseFingerprint(int32_t p, const TSwitches::Phase& q) {
  const LATTICE& L = PhaseTable[p];
  THasher f;
  const int32_t ops = std::clamp(L.OperationCount, 0, MaxOperations);
  for (int32_t o = 1; o <= ops; ++o) {
    for (int32_t i = 0; i < 3; ++i) {
      for (int32_t j = 0; j < 3; ++j) f.Add(L.Rotations[i][j][o]);
      f.Add(L.Translations[i][o]);
    }
  }
  for (int32_t i = 0; i < 3; ++i)
    for (int32_t t = 1; t <= 3; ++t) f.Add(L.CentringVectors[i][t]);
  if (q.shape) {
    f.Add(q.shape->Shape);
    f.Add(q.shape->HalfPoints);
  }
  f.Add(L.IndexNormalisers);
  f.Add(L.Cell);
  f.Add(L.MaxIndex4), f.Add(L.Volume), f.Add(L.Centrosymmetric);
  for (int32_t j = 1; j <= q.reflections; ++j) {
    const THklRecord& r = HklTable[j][p];
    f.Add(r.h), f.Add(r.k), f.Add(r.l), f.Add(r.Multiplicity), f.Add(r.IntensityFactor);
  }
  for (int32_t a = 1; a <= q.atoms; ++a) {
    const ATOM& t = AtomTable[a][p];
    f.Add(t.ScatteringLength), f.Add(t.MagneticMoment), f.Add(int32_t{t.IsotropicFlag});
    f.Add(t.FormFactor);
  }
  return f.h;
}

// Everything from the tables and the records afresh.
void Rebuild(const TSwitches& sw) {
  TCache& C = cache;
  C.sw = sw;
  C.valid = true;
  C.watchRecords = nullptr;  // the next point checks every record
  C.usable = sw.fit != nullptr && sw.sp != nullptr && sw.capacity >= GlobalRecords &&
             (sw.mainMode == 0 || sw.mainMode == 2);
  const int32_t cap = sw.capacity;
  int32_t end = std::min(cap, GlobalRecords);
  auto fits = [&](int64_t last) { return last <= cap; };
  C.m2 = sw.m2 && fits(int64_t{sw.count2} + 2) ? sw.count2 : -1;
  if (C.m2 >= 0) end = std::max(end, C.m2 + 2);
  for (int32_t p = 1; p <= MaxPhases; ++p) {
    TPhase& P = C.ph[p];
    P.active = false;
    if (p > sw.phases || !C.usable) continue;
    const TSwitches::Phase& q = sw.ph[p];
    P.base = q.base;
    P.atoms = sw.mainMode == 0 ? q.atoms : 0;
    P.reflections = q.reflections;
    P.magnetic = sw.mainMode == 0 && q.magnetic == 1;
    P.cosPhi = P.magnetic ? sw.count0 + 3 * (p - 1) : -1;
    P.aniso = sw.anisotropy ? sw.count1 + AnisotropyParameterCount * (p - 1) : -1;
    const int64_t blockEnd = int64_t{P.base} + PhaseRecords +
                             (sw.mainMode == 0 ? int64_t{AtomRecords} * P.atoms : int64_t{P.reflections});
    P.shape = q.shape;
    P.active = P.base >= 0 && fits(blockEnd) && P.shape != nullptr && (P.cosPhi < 0 || fits(P.cosPhi + 3)) &&
               (P.aniso < 0 || fits(P.aniso + AnisotropyParameterCount));
    if (!P.active) continue;
    end = std::max<int32_t>(end, static_cast<int32_t>(blockEnd));
    if (P.cosPhi >= 0) end = std::max(end, P.cosPhi + 3);
    if (P.aniso >= 0) end = std::max(end, P.aniso + AnisotropyParameterCount);
    P.cut = q.model == ModelLorentz ? LorentzReach : q.halfWidth;
    const double area = std::fabs(P.shape->EvaluatedArea(P.cut));
    P.perArea = area > 0 && std::isfinite(area) ? 1 / area : 1.0;
    P.fingerprint = PhaseFingerprint(p, q);
    const LATTICE& L = PhaseTable[p];
    // Reflections from the table, with the anisotropy sums over the operations.
    P.refl.assign(P.reflections, TRefl{});
    double n4 = L.MaxIndex4;
    if (!(n4 > 0)) {
      n4 = 0;
      for (int32_t j = 1; j <= P.reflections; ++j) {
        const THklRecord& r = HklTable[j][p];
        for (int32_t i : {r.h, r.k, r.l}) n4 = std::max(n4, std::pow(double(i), 4));
      }
    }
    const double D = 3.0 * (n4 > 0 ? n4 : 1.0);
    const int32_t ops = std::clamp(L.OperationCount, 0, MaxOperations);
    for (int32_t j = 0; j < P.reflections; ++j) {
      const THklRecord& r = HklTable[j + 1][p];
      TRefl& e = P.refl[j];
      e.h = r.h, e.k = r.k, e.l = r.l;
      e.mult = r.Multiplicity;
      e.sqrtF = std::sqrt(std::fabs(r.IntensityFactor));
      if (P.aniso < 0) continue;
      const auto& R = L.Rotations;
      for (int32_t o = 1; o <= ops; ++o) {
        const double h1 = r.h * R[0][0][o] + r.k * R[1][0][o] + r.l * R[2][0][o];
        const double k1 = r.h * R[0][1][o] + r.k * R[1][1][o] + r.l * R[2][1][o];
        const double l1 = r.h * R[0][2][o] + r.k * R[1][2][o] + r.l * R[2][2][o];
        const double h2 = h1 * h1, k2 = k1 * k1, l2 = l1 * l1;
        e.rawT[0] += h2 * h2, e.rawT[1] += k2 * k2, e.rawT[2] += l2 * l2;
        e.rawS[0] += h2 * h2, e.rawS[1] += k2 * k2, e.rawS[2] += l2 * l2;
        e.rawS[3] += h2 * k2, e.rawS[4] += h2 * l2, e.rawS[5] += k2 * l2;
        e.rawU[0] += h2 * h1 * k1, e.rawU[1] += k2 * k1 * h1, e.rawU[2] += l2 * h1 * k1;
      }
      for (double& x : e.rawT) x /= D;
      for (double& x : e.rawS) x /= D;
      for (double& x : e.rawU) x /= D;
    }
    P.order.resize(P.reflections);
    for (int32_t j = 0; j < P.reflections; ++j) P.order[j] = j;
    P.sortedPos.resize(P.reflections);
    for (int32_t i = 0; i < 6; ++i) P.storedMetric[i] = L.Metric[i];
    P.geomStale = true, P.freeStale = true;
    P.sfGen = NewStamp(), P.intGen = NewStamp();
  }
  C.layoutEnd = C.usable ? end : 0;
  // The kind of every record read, and the copy of the records.
  C.kind.assign(C.layoutEnd + 1, kOther);
  C.kindPhase.assign(C.layoutEnd + 1, 0);
  C.snapValue.resize(C.layoutEnd + 1);
  C.snapFixed.resize(C.layoutEnd + 1);
  if (!C.usable) return;
  for (int32_t i = 1; i <= 3; ++i) C.kind[i] = kInstrument;
  for (int32_t p = 1; p <= sw.phases; ++p) {
    const TPhase& P = C.ph[p];
    if (!P.active) continue;
    auto mark = [&](int32_t first, int32_t last, RecordKind k) {
      for (int32_t i = first; i <= last; ++i) C.kind[i] = k, C.kindPhase[i] = static_cast<uint8_t>(p);
    };
    mark(P.base + 2, P.base + 9, kGeometry);
    mark(P.base + 10, P.base + 10, kExtinction);
    mark(P.base + 11, P.base + 10 + AtomRecords * P.atoms, kAtom);
    if (P.cosPhi >= 0) mark(P.cosPhi + 1, P.cosPhi + 3, kCosPhi);
    if (P.aniso >= 0) mark(P.aniso + 1, P.aniso + AnisotropyParameterCount, kGeometry);
  }
  const ParameterRecord* rec = sw.fit->Records.data();
  for (int32_t i = 1; i <= C.layoutEnd; ++i) {
    C.snapValue[i] = std::bit_cast<uint64_t>(rec[i].value);
    C.snapFixed[i] = rec[i].lower == rec[i].upper;
  }
}

// A record read by the model changed: the layers made from it become stale.
void RecordChanged(int32_t i, bool fixedChanged) {
  TCache& C = cache;
  const int32_t p = C.kindPhase[i];
  switch (C.kind[i]) {
    case kInstrument:
      for (int32_t k = 1; k <= C.sw.phases; ++k) C.ph[k].geomStale = true, C.ph[k].intGen = NewStamp();
      break;
    case kGeometry:
      C.ph[p].geomStale = true;
      break;
    case kExtinction:
      C.ph[p].geomStale = true;
      C.ph[p].intGen = NewStamp();
      break;
    case kAtom:
      C.ph[p].sfGen = NewStamp();
      if (fixedChanged) C.ph[p].freeStale = true;
      break;
    case kCosPhi:
      C.ph[p].sfGen = NewStamp();
      if (fixedChanged) C.ph[p].freeStale = true;
      break;
    default:
      break;
  }
}

// Every Derivative := 0, and the records compared with the copy.
int32_t ClearAndCompareRecords(bool continuing, bool toArray) {
  TCache& C = cache;
  TParameter& fit = *FitParameters;
  ParameterRecord* rec = fit.Records.data();
  const int32_t clearEnd = std::min(fit.RecordCapacity(), std::max(fit.NPar, C.layoutEnd));
  const int32_t n = C.layoutEnd;
  auto check = [&](int32_t i) {
    ParameterRecord& r = rec[i];
    r.Derivative = 0;
    const uint64_t v = std::bit_cast<uint64_t>(r.value);
    const uint8_t fixed = r.lower == r.upper;
    if (v != C.snapValue[i] || fixed != C.snapFixed[i]) {
      const bool fixedChanged = fixed != C.snapFixed[i];
      C.freeRecords += fixedChanged ? (fixed ? -1 : 1) : 0;
      C.snapValue[i] = v, C.snapFixed[i] = fixed;
      RecordChanged(i, fixedChanged);
    }
  };
  // Numerical derivatives move fixed records too (the Hessian's pairs): every record then.
  if (continuing && fit.NumDerivMode == 0 && C.watchRecords == rec && C.watchIteration == fit.Iterations &&
      C.watchClearEnd == clearEnd) {
    if (toArray) return clearEnd;
    // Cleared, and the values compared without a branch; the slow pass only when one moved.
    uint64_t moved = 0;
    for (const int32_t i : C.watch) {
      rec[i].Derivative = 0;
      moved |= std::bit_cast<uint64_t>(rec[i].value) ^ C.snapValue[i];
    }
    if (moved != 0)
      for (const int32_t i : C.watch) check(i);
    // Fixed records take derivatives only when some record is free.
    if (C.freeRecords > 0)
      for (const int32_t i : C.clearOnly) rec[i].Derivative = 0;
    return clearEnd;
  }
  for (int32_t i = 1; i <= n; ++i) check(i);
  for (int32_t i = n + 1; i <= clearEnd; ++i) rec[i].Derivative = 0;
  C.freeRecords = 0;
  for (int32_t i = 1; i <= n; ++i) C.freeRecords += !C.snapFixed[i];
  C.watch.clear();
  C.clearOnly.clear();
  for (int32_t i = 1; i <= n; ++i)
    if (!C.snapFixed[i])
      C.watch.push_back(i);
    else if (C.kind[i] != kAtom)
      C.clearOnly.push_back(i);
  C.watchRecords = rec, C.watchIteration = fit.Iterations, C.watchClearEnd = clearEnd;
  return clearEnd;
}

void RefreshFreeRecords(TPhase& P) {
  const TCache& C = cache;
  P.freeOffsets.clear();
  for (int32_t r = P.base + 11; r <= P.base + 10 + AtomRecords * P.atoms; ++r)
    if (!C.snapFixed[r]) P.freeOffsets.push_back(r - P.base);
  P.cosPhiFree = false;
  if (P.cosPhi >= 0)
    for (int32_t i = 1; i <= 3; ++i) P.cosPhiFree = P.cosPhiFree || !C.snapFixed[P.cosPhi + i];
  P.grad.resize(P.freeOffsets.size() * P.refl.size());
  P.atomAcc.resize(P.freeOffsets.size());
  P.freeStale = false;
  P.sfGen = NewStamp();
}

// Positions, widths and anisotropy of every reflection of phase P, and their order.
void RefreshGeometry(TPhase& P) {
  const TCache& C = cache;
  const TSwitches& sw = C.sw;
  const ParameterRecord* rec = sw.fit->Records.data();
  auto v = [rec](int32_t i) { return rec[i].value; };
  const int32_t b = P.base;
  const bool tof = sw.axis == AxisTimeOfFlight;
  const int32_t law = sw.law;
  double g6[6];
  for (int32_t i = 0; i < 6; ++i) g6[i] = v(b + 2 + i);
  P.metricFree = false;
  for (int32_t i = 0; i < 6; ++i) P.metricFree = P.metricFree || !C.snapFixed[b + 2 + i];
  const double W0 = v(b + 8), W1 = v(b + 9);
  const double W2 = tof ? (law == 3 ? v(b + 10) : 0.0) : v(b + 10);
  P.extActive = sw.mainMode == 0 && tof && law != 3 && !C.snapFixed[b + 10];
  P.E = v(b + 10);
  P.theta = sw.theta + v(2);
  // Time of flight: pos = C d - delay; angular: pos = slope (2 asin(lambda / 2d) - zero) + offset.
  const double k0 = TofConstant / sw.cw;
  const double sd = std::sin(P.theta / RadToDeg), cd = std::cos(P.theta / RadToDeg);
  const double Cpos = k0 * v(1) * sd, dCdL = k0 * sd, dCdTh = k0 * v(1) * cd / RadToDeg;
  const double lambda = v(1), shift = v(3);
  double a[12] = {};
  if (P.aniso >= 0)
    for (int32_t i = 0; i < 12; ++i) a[i] = v(P.aniso + 1 + i);
  const bool match = sw.mainMode == 2;
  bool finite = true;
  double Amax = -HUGE_VAL, Wmax = 0;
  for (TRefl& e : P.refl) {
    const double Q = InverseDSquaredTerms(g6, sw.reciprocal, e.h, e.k, e.l, e.dQdG);
    e.Q0 = AtLeast(InverseDFloor, Q);
    e.Q0on = Q > InverseDFloor ? 1.0 : 0.0;
    const double root = std::sqrt(std::fabs(Q));
    const double g = AtLeast(InverseDFloor, root);
    const double dgdQ = root > InverseDFloor ? (Q < 0 ? -0.5 : 0.5) / g : 0.0;
    if (tof) {
      e.pos = Cpos / g - shift;
      e.dposdQ = -Cpos / (g * g) * dgdQ;
      e.dposdR1 = dCdL / g;
      e.dposdR2 = dCdTh / g;
      e.LFr = e.sqrtF / (e.Q0 * e.Q0);
      e.dLFr = -2.0 * e.LFr / e.Q0;
    } else {
      const double s = lambda * g / 2;
      const bool clamped = !(s < 1);
      const double twoTheta = 2 * RadToDeg * std::asin(std::min(1.0, s)) - shift;  // degrees, observed
      e.pos = sw.slope * twoTheta + sw.offset;
      const double cB = clamped ? 1.0 : std::sqrt(1 - s * s);
      e.dposdQ = clamped ? 0.0 : sw.slope * RadToDeg * lambda / cB * dgdQ;
      e.dposdR1 = clamped ? 0.0 : sw.slope * RadToDeg * g / cB;
      e.dposdR2 = 0;
      // The Lorentz factor 1 / (sin th sin 2th) and the width law's tan(th) at the reflection's
      // own angle th (radians), not at each channel's: the peak's area carries them.
      const double th = twoTheta / 2 / RadToDeg;
      const double dthdQ = clamped ? 0.0 : 0.5 * lambda * dgdQ / cB, dthdR1 = clamped ? 0.0 : 0.5 * g / cB;
      const double dthdR3 = -0.5 / RadToDeg;
      const double sn = std::sin(th), cs = std::cos(th);
      const double LP = 2 * sn * sn * cs, dLP = 4 * sn * cs * cs - 2 * sn * sn * sn;
      const double LF = LP > LorentzBaseFloor ? 1 / LP : std::fabs(LP);
      const double dLF = LP > LorentzBaseFloor ? -dLP / (LP * LP) : (LP < 0 ? -dLP : dLP);
      e.LFr = e.sqrtF * LF;
      e.dLFr = e.sqrtF * dLF * dthdQ;
      e.dLFdR1 = e.sqrtF * dLF * dthdR1, e.dLFdR3 = e.sqrtF * dLF * dthdR3;
      if (law <= 1) {
        const double t = cs <= 0 ? cs : sn / cs, dtdth = cs <= 0 ? -sn : 1 / (cs * cs);
        const double arg = W0 + W1 * t + W2 * t * t;
        const double on = arg > WidthFloor ? 1.0 : 0.0, dWdth = on * (W1 + 2 * W2 * t) * dtdth;
        e.Wr = AtLeast(WidthFloor, arg);
        e.dWrdW[0] = on, e.dWrdW[1] = on * t, e.dWrdW[2] = on * t * t;
        e.dWrdQ0 = dWdth * dthdQ, e.dWdR1 = dWdth * dthdR1, e.dWdR3 = dWdth * dthdR3;
      }
    }
    const double q0 = e.Q0;
    if (law >= 2) {
      const double arg = W0 + W1 / q0 + (law == 3 ? W2 / (q0 * q0) : 0.0);
      e.Wr = std::sqrt(AtLeast(WidthFloor, arg));
      const double on = arg > WidthFloor ? 0.5 / e.Wr : 0.0;
      e.dWrdW[0] = on, e.dWrdW[1] = on / q0, e.dWrdW[2] = law == 3 ? on / (q0 * q0) : 0.0;
      e.dWrdQ0 = on * (-W1 / (q0 * q0) - (law == 3 ? 2 * W2 / (q0 * q0 * q0) : 0.0));
    }
    if (P.aniso >= 0) {
      const double p25 = 1.0 / (q0 * q0 * std::sqrt(q0)), p15 = 1.0 / (q0 * std::sqrt(q0));
      e.K = 1, e.dKdQ0 = 0, e.Aw = 0, e.dAwdQ0 = 0;
      for (int32_t i = 0; i < 3; ++i) {
        e.T[i] = match ? 0.0 : e.rawT[i] * p25;
        e.K += a[i] * e.T[i];
        e.dKdQ0 -= 2.5 * a[i] * e.T[i] / q0;
      }
      for (int32_t i = 0; i < 6; ++i) {
        const bool scaled = tof || i < 3;
        e.S[i] = scaled ? e.rawS[i] * p25 : e.rawS[i];
        e.Aw += a[3 + i] * e.S[i];
        if (scaled) e.dAwdQ0 -= 2.5 * a[3 + i] * e.S[i] / q0;
      }
      for (int32_t i = 0; i < 3; ++i) {
        e.U[i] = e.rawU[i] * p15;
        e.Aw += a[9 + i] * e.U[i];
        e.dAwdQ0 -= 1.5 * a[9 + i] * e.U[i] / q0;
      }
    }
    Amax = std::max(Amax, e.Aw);
    if (WidthPerReflection(law, tof)) {
      const double w = e.Wr + e.Aw;
      e.finalOn = w > WidthFloor ? 1.0 : 0.0;
      e.W = AtLeast(WidthFloor, w);
      Wmax = std::max(Wmax, e.W);
      finite = finite && std::isfinite(e.W);
    }
    finite = finite && std::isfinite(e.pos) && std::isfinite(e.Aw) && std::isfinite(e.K) && std::isfinite(Q);
  }
  P.Amax = P.refl.empty() ? 0.0 : Amax;
  P.Wmax = Wmax;
  P.nonFinite = !finite;
  P.geomStale = false;
  if (!finite) return;
  // Insertion sort from the previous order: a small change of the records leaves it nearly sorted.
  std::vector<int32_t>& o = P.order;
  for (size_t i = 1; i < o.size(); ++i) {
    const int32_t x = o[i];
    const double px = P.refl[x].pos;
    size_t j = i;
    for (; j > 0 && P.refl[o[j - 1]].pos > px; --j) o[j] = o[j - 1];
    o[j] = x;
  }
  for (size_t i = 0; i < o.size(); ++i) P.sortedPos[i] = P.refl[o[i]].pos;
}

// The structure factor and the intensity of reflection j (0-based) of phase p, made when stale.
void EnsureIntensity(TPhase& P, int32_t p, int32_t j) {
  TRefl& e = P.refl[j];
  const size_t nFree = P.freeOffsets.size();
  if (e.sfStamp != P.sfGen || e.sfQ0 != e.Q0) {
    Q0 = e.Q0;
    double A, B, q, dQ, dq2[3];
    StructureFactorDerivatives(p, e.h, e.k, e.l, P.base, P.freeOffsets.data(), static_cast<int32_t>(nFree),
                               P.grad.data() + j * nFree, A, B, q, dQ, dq2);
    e.A = A, e.B = B, e.F2 = A * A + B * B, e.q = q, e.dF2dQ0 = dQ;
    for (int32_t i = 0; i < 3; ++i) e.dq2[i] = dq2[i];
    e.sfStamp = P.sfGen, e.sfQ0 = e.Q0, e.intStamp = 0;
  }
  if (e.intStamp == P.intGen) return;
  const double q2 = e.q * e.q;
  double y = 1, dydw = 0, X = 0;
  if (P.extActive) {
    const TExtinction x = ExtinctionTerms(e.F2, e.Q0, P.theta, PhaseTable[p].Volume, P.E);
    y = x.y, dydw = x.dydw, X = x.X;
  }
  // I = |F|^2 q^2 y(X), X proportional to |F|^2 Q0^-1.5: dI/d|F|^2 = q^2 (y + 2 E X dy/dw).
  e.I = e.F2 * q2 * y;
  e.ifac = q2 * (y + 2 * P.E * X * dydw);
  e.dIdQ0 = e.ifac * e.dF2dQ0 - e.F2 * q2 * 2 * P.E * dydw * 1.5 * X / e.Q0;
  e.dIdE = e.F2 * q2 * 2 * X * dydw;
  e.dIdTh = X != 0 ? e.F2 * q2 * 2 * P.E * dydw * X * ExtinctionAngleSlope(P.theta) : 0.0;
  for (int32_t i = 0; i < 3; ++i) e.dIdC[i] = e.F2 * y * e.dq2[i];
  e.intStamp = P.intGen;
}

// Every reflection at the start of a sweep or a drawing, with the caches of HklTable: they then
// hold the values of the records of the sweep's primary calls, whatever the extra calls of
// numerical derivatives computed in between. Nothing is recomputed for unchanged records.
void RefreshAllIntensities(TPhase& P, int32_t p) {
  for (int32_t j = 0; j < P.reflections; ++j) {
    EnsureIntensity(P, p, j);
    const TRefl& e = P.refl[j];
    THklRecord& r = HklTable[j + 1][p];
    r.A = e.A, r.B = e.B, r.q = e.q;
  }
}

}  // namespace profile_cache

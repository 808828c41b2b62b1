// RietveldModel: the background and the phases at one channel with every derivative, from the
// per-reflection caches of profile_cache.h; the R-factor sums of the final pass.
#include "crystal/profile_model.h"
#include <algorithm>
#include <cmath>
#include <numbers>
#include "core/cell_geometry.h"
#include "core/cpu_dispatch.h"
#include "core/fit_engine.h"
#include "core/model_tables.h"
#include "core/peak_model.h"
#include "core/spectrum.h"
#include "crystal/background_model.h"
#include "crystal/profile_cache.h"
#include "core/spectra_utilities.h"

using namespace profile_cache;

namespace {

void ZeroOutputs() {
  for (int32_t i = 0; i <= 1 + MaxPhases; ++i) ModelOutput[i] = 0;
}

// What the point gives every phase.
struct TPoint {
  double c, u, r, SC, t, m;
  bool tof, match, angular;
};

// Where the derivatives go: the records' Derivative, or the model's own array by record (taken
// up when the engine offers it in an analytic sweep).
struct TRecordSink {
  ParameterRecord* rec;
  double& operator[](int32_t i) const { return rec[i].Derivative; }
};
struct TArraySink {
  double* d;
  double& operator[](int32_t i) const { return d[i]; }
};

// Phase p at the point: returns S x (its sum), adds its derivatives to D (none without Derivs:
// every record fixed).
template <bool Derivs, class Sink>
[[gnu::always_inline]] inline double EvaluatePhase(TPhase& P, int32_t p, const TPoint& x, bool& nonFinite,
                                                   Sink D) {
  const TCache& C = cache;
  const TSwitches& sw = C.sw;
  ParameterRecord* rec = FitParameters->Records.data();
  auto v = [rec](int32_t i) { return rec[i].value; };
  const int32_t b = P.base, law = sw.law;
  const double S = v(b + 1) * x.SC;
  // Laws 0 and 1 on a time-of-flight axis: the width at the point.
  const bool pointWidth = !WidthPerReflection(law, x.tof);
  const double W0 = v(b + 8), W1 = v(b + 9);
  const double wRaw = W0 + W1 * x.t;
  const double baseOn = wRaw > WidthFloor ? 1.0 : 0.0;
  const double wPoint = AtLeast(WidthFloor, wRaw);
  const double reach = P.cut * (pointWidth ? AtLeast(WidthFloor, wPoint + P.Amax) : P.Wmax) * (1 + 1e-12);
  // A diverging width or scale (a step gone wrong) shows as a non-finite F.
  if (P.nonFinite || !std::isfinite(reach) || !std::isfinite(S)) {
    nonFinite = true;
    return 0;
  }
  const bool m2 = C.m2 >= 0, rietveld = !x.match;
  const bool aniso = P.aniso >= 0;
  const size_t nFree = Derivs ? P.freeOffsets.size() : 0;
  if (nFree) std::fill(P.atomAcc.begin(), P.atomAcc.end(), 0.0);
  double psum = 0, accQ[6] = {}, accW[3] = {}, accE = 0, acc1 = 0, acc2 = 0, acc3 = 0, accC[3] = {};
  double accT[3] = {}, accS[6] = {}, accU[3] = {}, accM0 = 0, accM1 = 0;
  bool any = false;
  const TPeakModel& shape = *P.shape;
  // The first position above c - reach, walked to from the previous point's (a sweep moves it
  // by a reflection or two).
  const double* pos = P.sortedPos.data();
  const size_t count = P.sortedPos.size(), lowest = std::min(P.cursor, count);
  size_t first = lowest;
  const double lo = x.c - reach, hi = x.c + reach;
  while (first > 0 && !(pos[first - 1] <= lo)) --first;
  while (first < count && pos[first] <= lo) ++first;
  P.cursor = first;
  for (size_t at = first; at < count && pos[at] < hi; ++at) {
    const int32_t j = P.order[at];
    TRefl& e = P.refl[j];
    double W, finalOn;
    if (pointWidth) {
      const double w = wPoint + e.Aw;
      finalOn = w > WidthFloor ? 1.0 : 0.0;
      W = AtLeast(WidthFloor, w);
    } else {
      W = e.W, finalOn = e.finalOn;
    }
    const double z = (x.c - e.pos) / W;
    if (!(std::fabs(z) < P.cut)) continue;
    double f0, f1, f2;
    shape.PeakModelValue(f0, f1, f2, z);
    const double G = f0 + x.m * f2;
    double I;
    if (rietveld) {
      if (IntensityStale(P, e)) EnsureIntensity(P, p, j);
      I = e.I;
    } else {
      I = v(b + PhaseRecords + j + 1);
    }
    any = true;
    const double LF = e.LFr;
    // The shape per channel: G / (W area) has unit area, so the intensity is the peak's area.
    const double norm = P.perArea / W;
    const double B0 = e.mult * LF * e.K * norm;  // without S
    const double BG = B0 * G;                     // the term per unit intensity
    psum += BG * I;
    if constexpr (!Derivs) continue;
    const double G1 = m2 ? f1 + x.m * shape.PeakModelThirdDerivative(z, f1) : f1;
    const double Dp = B0 * I * G1 / W;            // minus d/dpos
    const double vz = (Dp * z + BG * I / W) * finalOn;  // minus d/dW
    if (P.metricFree) {
      const double dWdQ0 = e.dAwdQ0 + e.dWrdQ0;
      const double cQ = e.Q0on * (e.mult * G * norm * (e.dLFr * e.K * I + e.LFr * e.dKdQ0 * I +
                                                               (rietveld ? e.LFr * e.K * e.dIdQ0 : 0.0)) -
                                  vz * dWdQ0) -
                        Dp * e.dposdQ;
      for (int32_t i = 0; i < 6; ++i) accQ[i] += cQ * e.dQdG[i];
    }
    if (pointWidth) {
      accW[0] -= vz * baseOn;
      accW[1] -= vz * baseOn * x.t;
    } else {
      for (int32_t i = 0; i < 3; ++i) accW[i] -= vz * e.dWrdW[i];
    }
    if (x.tof) {
      acc1 -= Dp * e.dposdR1;
      acc2 -= Dp * e.dposdR2;
      acc3 += Dp;
    } else {
      // The angle moves the position, and the Lorentz factor and width taken there.
      const double BL = e.mult * G * norm * e.K * I;  // d/d(LFr)
      acc1 += BL * e.dLFdR1 - vz * e.dWdR1 - Dp * e.dposdR1;
      acc3 += BL * e.dLFdR3 - vz * e.dWdR3 + Dp * sw.slope;
    }
    if (rietveld) {
      if (P.extActive) {
        accE += BG * e.dIdE;
        acc2 += BG * e.dIdTh;
      }
      if (nFree) {
        const double cA = BG * e.ifac;
        const double* g = P.grad.data() + j * nFree;
        double* acc = P.atomAcc.data();
        for (size_t k = 0; k < nFree; ++k) acc[k] += cA * g[k];
      }
      if (P.cosPhiFree)
        for (int32_t i = 0; i < 3; ++i) accC[i] += BG * e.dIdC[i];
    } else {
      D[b + PhaseRecords + j + 1] += S * BG;
    }
    if (aniso) {
      const double BI = e.mult * LF * I * G * norm;
      for (int32_t i = 0; i < 3; ++i) accT[i] += BI * e.T[i];
      for (int32_t i = 0; i < 6; ++i) accS[i] -= vz * e.S[i];
      for (int32_t i = 0; i < 3; ++i) accU[i] -= vz * e.U[i];
    }
    if (m2) {
      accM0 += B0 * I * f2;
      accM1 += B0 * I * f2 * x.t;
    }
  }
  if constexpr (!Derivs) return any ? S * psum : 0.0;
  // The phase's own records are set (they were cleared, or hold this phase's last point); the
  // records shared by the phases are added to.
  D[b + 1] = psum * x.SC;
  if (!any) {
    if (P.written) {
      for (int32_t i = 2; i <= PhaseRecords; ++i) D[b + i] = 0;
      for (size_t k = 0; k < nFree; ++k) D[b + P.freeOffsets[k]] = 0;
      if (P.cosPhiFree)
        for (int32_t i = 1; i <= 3; ++i) D[P.cosPhi + i] = 0;
      if (aniso)
        for (int32_t i = 1; i <= 12; ++i) D[P.aniso + i] = 0;
      P.written = false;
    }
    return 0;
  }
  P.written = true;
  for (int32_t i = 0; i < 6; ++i) D[b + 2 + i] = S * accQ[i];
  for (int32_t i = 0; i < 3; ++i) D[b + 8 + i] = S * accW[i];
  if (P.extActive) D[b + 10] += S * accE;
  if (rietveld) {
    D[1] += S * acc1;
    D[2] += S * acc2;
  }
  D[3] += S * acc3;
  for (size_t k = 0; k < nFree; ++k) D[b + P.freeOffsets[k]] = S * P.atomAcc[k];
  if (P.cosPhiFree)
    for (int32_t i = 0; i < 3; ++i) D[P.cosPhi + 1 + i] = S * accC[i];
  if (aniso) {
    for (int32_t i = 0; i < 3; ++i) D[P.aniso + 1 + i] = S * accT[i];
    for (int32_t i = 0; i < 6; ++i) D[P.aniso + 4 + i] = S * accS[i];
    for (int32_t i = 0; i < 3; ++i) D[P.aniso + 10 + i] = S * accU[i];
  }
  if (m2) {
    D[C.m2 + 1] += S * accM0;
    D[C.m2 + 2] += S * accM1;
  }
  return S * psum;
}

// The phase's loop built twice: the second with AVX2 vectors (no fused multiply-adds, so the
// same roundings) for the sums over the free atom records; chosen once by the processor.
template <bool Derivs, class Sink>
double PhaseBaseline(TPhase& P, int32_t p, const TPoint& x, bool& nonFinite, Sink D) {
  return EvaluatePhase<Derivs>(P, p, x, nonFinite, D);
}
template <bool Derivs, class Sink>
VKEST_AVX2 double PhaseAvx2(TPhase& P, int32_t p, const TPoint& x, bool& nonFinite, Sink D) {
  return EvaluatePhase<Derivs>(P, p, x, nonFinite, D);
}
template <bool Derivs, class Sink>
const auto Phase = ChooseByProcessor(PhaseBaseline<Derivs, Sink>, PhaseAvx2<Derivs, Sink>, false);

void AddRFactorSums(int32_t s, int32_t point, double Y, double W, double F, double bg) {
  if (s < 0 || s >= RFactorSpectra) return;
  if (point == 1) {
    RFactorP[s] = RFactorB[s] = RFactorW[s] = RFactorE[s] = 0;
    SumAbsObserved[s] = SumWeightedObservedSquares[s] = 0;
  }
  if (W == 0) return;  // no data (a gap of the grid, an error of 0): left out as by the fit
  RFactorP[s] += std::fabs(Y - F);
  RFactorB[s] += std::fabs(Y - bg);
  RFactorW[s] += W * (Y - F) * (Y - F);
  RFactorE[s] += std::sqrt(1 / W);
  SumAbsObserved[s] += std::fabs(Y);
  SumWeightedObservedSquares[s] += W * Y * Y;
}

}  // namespace

void RietveldModel(double& Y, double& W, double& F, int32_t Point, int32_t Stage) {
  Y = W = F = 0;
  TCache& C = cache;
  // The spectrum and the channel.
  int32_t s = CurrentSpectrum;
  double c = 0;
  bool inside = true;
  if (Stage == 4) {
    const double ms = ModelSpectrum;
    inside = ms > -0.5 && ms < SpectrumList.size() - 0.5 && ModelChannel >= 1 && ModelChannel <= MaxChannels;
    s = inside ? static_cast<int32_t>(std::nearbyint(ms)) : -1;
    c = ModelChannel;
  }
  const TSpectrum* sp = SpectrumOrNull(s);
  if (!sp || !FitParameters) inside = false;
  int32_t first = 1, last = 1;
  if (inside) {
    first = std::max(sp->WorkFirst, 1);
    last = std::min(sp->WorkLast, MaxChannels);
    if (Stage != 4) c = static_cast<double>(first) + (static_cast<double>(Point) - 1.0);
    inside = c >= 1 && c <= MaxChannels;
  }
  if (!inside) {
    if (FitParameters) {
      TParameter& fit = *FitParameters;
      for (int32_t i = 1, n = std::min(fit.NPar, fit.RecordCapacity()); i <= n; ++i) fit.Records[i].Derivative = 0;
    }
    ZeroOutputs();
    C.lastValid = false;
    return;
  }
  const int32_t ch = static_cast<int32_t>(c);

  // The caches: the switches at a call that starts something new and at every channel outside a
  // fit's sweep (within one the settings stay), the tables when the switches change.
  TParameter& fit = *FitParameters;
  const bool sameSweep = C.lastValid && C.valid && Stage != 4 && Stage == C.lastStage && s == C.lastSpectrum &&
                         Point > C.lastPoint && fit.SweepSerial == C.lastSerial && C.sw.sp == sp &&
                         C.sw.fit == &fit;
  if (!sameSweep) C.fresh = CurrentSwitches(s, sp);
  const TSwitches& sw = sameSweep ? C.sw : C.fresh;
  const bool continues = C.lastValid && C.valid && Stage == C.lastStage && s == C.lastSpectrum &&
                         (Stage == 4 ? c > C.lastChannel && c - C.lastChannel <= 1.0 : Point >= C.lastPoint);
  bool rebuild = !sameSweep && (!C.valid || !(sw == C.sw));
  if (!rebuild && !continues)
    for (int32_t p = 1; p <= sw.phases && !rebuild; ++p)
      rebuild = C.ph[p].active && PhaseFingerprint(p, sw.ph[p]) != C.ph[p].fingerprint;
  // The next point of a fit's sweep: only the records that can move at a point are checked.
  const bool advancing = continues && !rebuild && Stage != 4 && Point > C.lastPoint;
  if (rebuild) Rebuild(sw);
  C.lastValid = true, C.lastStage = Stage, C.lastPoint = Point, C.lastSpectrum = s, C.lastChannel = c;
  C.lastSerial = fit.SweepSerial;

  Y = sp->Y[ch];
  const double e = sp->E[ch];
  W = e != 0 ? 1 / (e * e) : 0;
  if (!C.usable) {
    for (int32_t i = 1, n = std::min(FitParameters->NPar, FitParameters->RecordCapacity()); i <= n; ++i)
      FitParameters->Records[i].Derivative = 0;
    ZeroOutputs();
    W = 0;
    return;
  }
  // In an analytic sweep of the engine the derivatives go to the model's array, zeroed at the
  // sweep's first point. At the next points of a Rietveld sweep only the records the phases share
  // are zeroed: a phase sets its own records, and zeroes them when it no longer reaches the point.
  // Ties make the engine add a dependent's derivative into its master's, which may belong to a
  // phase that does not reach the next point: every phase then counts as written. A master
  // beyond the layout's records, or in a phase left out, would be zeroed by no phase: then the
  // whole array is.
  const bool toArray = fit.DerivativeArrayOffered != 0 && Stage != 4;
  const int32_t clearEnd = ClearAndCompareRecords(advancing, toArray);
  bool track = toArray && sw.mainMode == 0 && C.freeRecords > 0;
  if (track && !fit.NoDependents) {
    track = fit.NPar <= C.layoutEnd;
    for (int32_t p = 1; p <= sw.phases; ++p) track = track && C.ph[p].active;
  }
  if (toArray) {
    if (C.deriv.size() < static_cast<size_t>(clearEnd) + 1) C.deriv.resize(static_cast<size_t>(clearEnd) + 1);
    double* d = C.deriv.data();
    if (track && advancing && C.writesTracked) {
      d[1] = d[2] = d[3] = 0;
      if (C.m2 >= 0) d[C.m2 + 1] = d[C.m2 + 2] = 0;
    } else {
      std::fill_n(d, clearEnd + 1, 0.0);
      for (TPhase& P : C.ph) P.written = false;
    }
  }
  C.writesTracked = track;
  for (int32_t p = 1; p <= sw.phases; ++p) {
    TPhase& P = C.ph[p];
    if (!P.active) continue;
    if (P.magnetic) {
      const double* m = PhaseTable[p].Metric;
      if (!std::equal(m, m + 6, P.storedMetric)) {
        std::copy(m, m + 6, P.storedMetric);
        P.sfGen = NewStamp();
      }
    }
    if (P.freeStale) RefreshFreeRecords(P);
    if (P.geomStale) RefreshGeometry(P);
    if (!continues && sw.mainMode == 0 && !P.nonFinite) RefreshAllIntensities(P, p);
  }

  // The point.
  const ParameterRecord* rec = FitParameters->Records.data();
  TPoint x;
  x.c = c;
  x.tof = sw.axis == AxisTimeOfFlight;
  x.angular = !x.tof;
  x.match = sw.mainMode == 2;
  x.u = last != first ? (2 * c - first - last) / (last - first) : 0.0;
  const double span = last - first + 1;
  x.r = span != 0 ? (c - first + 1) / span : 0.0;
  // The spectrum correction exp(r c10); c10 is usually 0, and exp(0) is 1 exactly.
  const double c10 = rec[10].value;
  x.SC = c10 == 0 ? 1.0 : std::exp(x.r * c10);
  x.t = x.u;
  if (x.angular) {
    // The m2 term's abscissa stays the channel's tan(theta).
    const double th = sp->X[ch] / 2 / RadToDeg;
    const double ct = std::cos(th);
    x.t = ct <= 0 ? ct : std::tan(th);
  }
  x.m = C.m2 >= 0 ? rec[C.m2 + 1].value + rec[C.m2 + 2].value * x.t : 0.0;
  double bg = 0;
  BackgroundModel(0, bg, c, x.u);

  double total = 0;
  bool nonFinite = false;
  auto phases = [&](auto D) {
    for (int32_t p = 1; p <= sw.phases; ++p) {
      TPhase& P = C.ph[p];
      const double part = !P.active           ? 0.0
                          : C.freeRecords > 0 ? Phase<true, decltype(D)>(P, p, x, nonFinite, D)
                                              : Phase<false, decltype(D)>(P, p, x, nonFinite, D);
      ModelOutput[1 + p] = part;
      total += part;
    }
    D[10] = x.r * total;
  };
  if (toArray) {
    double* d = C.deriv.data();
    for (int32_t i = 4; i <= 9; ++i) d[i] = rec[i].Derivative;  // the background's
    phases(TArraySink{d});
    fit.DerivativeArray = d;
    if (!fit.NoDependents)
      for (int32_t p = 1; p <= sw.phases; ++p) C.ph[p].written = true;
  } else {
    phases(TRecordSink{fit.Records.data()});
  }
  if (nonFinite) C.writesTracked = false;  // a phase stopped before its records
  F = nonFinite ? NaN : total + bg;
  ModelOutput[1] = F;
  if (Stage == 3 && FitParameters->PrimaryFinalPassCall) AddRFactorSums(s, Point, Y, W, F, bg);
}

// The per-reflection caches of the profile model (internal to RietveldModel): what does not
// depend on the channel, with the keys of the values each layer was made from.
//   geometry (every reflection of a phase, refreshed when a record of the instrument, metric,
//     widths or anisotropy changes): Q0, position, Lorentz factor, the width (laws 2 and 3, and
//     every law on an angular axis), the anisotropy terms, their derivatives, and the
//     reflections ordered by position;
//   structure factor (per reflection, on first need): A, B, q and the gradient of |F|^2 by the
//     free atom records, keyed on the phase's atom and Cos Phi records, the stored metric and the
//     reflection's Q0;
//   intensity (per reflection, on first need): I with extinction and its derivatives, keyed on
//     the structure factor, E and the detector angle.
// The records read are compared with a copy at every call; the switches and spectrum header at
// every call; the tables (reflection lists, operations, atom constants) by a fingerprint.
#pragma once
#include <cstdint>
#include <limits>
#include <vector>
#include "core/fit_engine.h"
#include "core/model_tables.h"
#include "core/peak_model.h"
#include "core/spectrum.h"

namespace profile_cache {

constexpr double WidthFloor = 0.001;
constexpr double InverseDFloor = 1e-7;  // of 1/d^2 and of 1/d
constexpr double LorentzBaseFloor = 1e-6;
constexpr int32_t GlobalRecords = 10, PhaseRecords = 10, AtomRecords = 10;
constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

// max(lo, x) that keeps a NaN.
inline double AtLeast(double lo, double x) { return x < lo ? lo : x; }

enum RecordKind : uint8_t { kOther, kInstrument, kGeometry, kExtinction, kAtom, kCosPhi };

struct TRefl {
  // From the tables.
  int32_t h = 0, k = 0, l = 0;
  double mult = 0, sqrtF = 0;
  double rawT[3] = {}, rawS[6] = {}, rawU[3] = {};  // anisotropy sums over the operations / 3 N4
  // Geometry.
  double Q0 = 0, Q0on = 0, dQdG[6] = {};
  double pos = 0, dposdQ = 0, dposdR1 = 0, dposdR2 = 0;
  double LFr = 0, dLFr = 0;                     // by Q0
  double dLFdR1 = 0, dLFdR3 = 0;                // angular: through the reflection's angle
  double Wr = 0, dWrdW[3] = {}, dWrdQ0 = 0;     // laws 2 and 3, and every law on an angular axis
  double dWdR1 = 0, dWdR3 = 0;                  // angular laws 0 and 1: through tan(theta)
  double W = 0, finalOn = 0;                    // the width of those laws and its floor switch
  double T[3] = {}, S[6] = {}, U[3] = {};
  double K = 1, dKdQ0 = 0, Aw = 0, dAwdQ0 = 0;  // intensity factor and width of the anisotropy
  // Structure factor, valid for sfStamp and sfQ0.
  uint64_t sfStamp = 0;
  double sfQ0 = 0, A = 0, B = 0, F2 = 0, q = 1, dF2dQ0 = 0, dq2[3] = {};
  // Intensity, valid for intStamp.
  uint64_t intStamp = 0;
  double I = 0, ifac = 0, dIdQ0 = 0, dIdE = 0, dIdTh = 0, dIdC[3] = {};
};

struct TPhase {
  bool active = false;
  int32_t base = 0, atoms = 0, reflections = 0;
  int32_t cosPhi = -1;   // the record before the three Cos Phi records; -1 none
  int32_t aniso = -1;    // the record before the twelve anisotropy records; -1 none
  bool magnetic = false;
  const TPeakModel* shape = nullptr;
  double cut = 0;  // |z| below which a reflection counts
  double perArea = 1;  // 1 / the shape's area in z within the cut: the peak's area is its intensity
  uint64_t fingerprint = 0;
  std::vector<TRefl> refl;
  std::vector<int32_t> order;      // reflection indices (0-based) by position
  std::vector<double> sortedPos;
  size_t cursor = 0;                 // where the last point's reflections began in sortedPos
  std::vector<int32_t> freeOffsets;  // free atom records, as record - base
  std::vector<double> grad;          // d|F|^2 by the free atom records, per reflection
  std::vector<double> atomAcc;
  bool geomStale = true, freeStale = true, nonFinite = false;
  double Amax = 0, Wmax = 0;
  uint64_t sfGen = 0, intGen = 0;
  double storedMetric[6] = {};
  bool extActive = false;
  double E = 0, theta = 0;
  bool metricFree = false, cosPhiFree = false;
  bool written = false;  // its entries of the derivative array hold the last point's values
};

// The width is the reflection's own (made with the geometry) except under laws 0 and 1 on a
// time-of-flight axis, where it follows the channel.
inline bool WidthPerReflection(int32_t law, bool tof) { return law >= 2 || !tof; }

// The switches and header values read at every call; any change rebuilds every cache.
struct TSwitches {
  const TParameter* fit = nullptr;
  const TSpectrum* sp = nullptr;
  int32_t spectrum = -1, axis = 0, first = 0, last = 0;
  double cw = 0, theta = 0, slope = 0, offset = 0;
  int32_t mainMode = -1, phases = 0, law = 0, count0 = 0, count1 = 0, count2 = 0, capacity = 0;
  uint8_t anisotropy = 0, m2 = 0, reciprocal = 0, magneticLayout = 0;
  struct Phase {
    int32_t base = 0, atoms = 0, reflections = 0, ops = 0, centrings = 0, magnetic = 0, model = 0, negate = 0;
    double halfWidth = 0;
    const TPeakModel* shape = nullptr;
    bool operator==(const Phase&) const = default;
  } ph[MaxPhases + 1];
  bool operator==(const TSwitches&) const = default;
};

struct TCache {
  bool valid = false;
  TSwitches sw;
  TSwitches fresh;  // read at a call that starts something new (a local would be cleared at every call)
  bool usable = false;
  int32_t layoutEnd = 0;  // records read (within the capacity)
  int32_t m2 = -1;        // the record before the M2 pair; -1 none
  std::vector<uint64_t> snapValue;
  std::vector<uint8_t> snapFixed, kind, kindPhase;
  // The records a continuing sweep checks and clears at each point: the free ones (a sweep
  // moves no fixed value), and those it only clears: the fixed ones the model writes a
  // derivative to (all but the atom records). Made by the full pass at a sweep's first point,
  // for those records and that iteration.
  std::vector<int32_t> watch, clearOnly;
  int32_t freeRecords = 0;  // records of the layout not fixed: none, and the model makes values only
  const void* watchRecords = nullptr;
  int32_t watchIteration = -1, watchClearEnd = -1;
  std::vector<double> deriv;  // the derivatives by record when the engine reads them from here
  // The array was wholly cleared at this sweep's start and since then only the phases' own
  // entries (marked by TPhase::written) and the shared ones were written.
  bool writesTracked = false;
  TPhase ph[MaxPhases + 1];
  uint64_t counter = 0;
  // The previous call, to tell a continuing sweep or drawing from a new one.
  bool lastValid = false;
  int32_t lastStage = 0, lastPoint = 0, lastSpectrum = -1;
  double lastChannel = 0;
  uint64_t lastSerial = 0;  // the engine's sweep of the last call
};

extern TCache cache;

uint64_t NewStamp();
int32_t NormalisedLaw();
// The switches and header values of a call on spectrum s.
TSwitches CurrentSwitches(int32_t s, const TSpectrum* sp);
// A hash of the tables phase p's caches are made from.
uint64_t PhaseFingerprint(int32_t p, const TSwitches::Phase& q);
// Everything from the tables and the records afresh.
void Rebuild(const TSwitches& sw);
// Every Derivative := 0, and the records compared with the copy (stale layers marked); at a
// continuing point of a fit's sweep only the values of the free records, and none when the derivatives go
// to the model's array (toArray: an analytic sweep of the engine moves no record between
// points). Returns the last record whose derivative the engine may read.
int32_t ClearAndCompareRecords(bool continuing, bool toArray);
void RefreshFreeRecords(TPhase& P);
// Positions, widths and anisotropy of every reflection of phase P, and their order.
void RefreshGeometry(TPhase& P);
// The structure factor and the intensity of reflection j (0-based) of phase p, made when stale.
void EnsureIntensity(TPhase& P, int32_t p, int32_t j);
inline bool IntensityStale(const TPhase& P, const TRefl& e) {
  return e.sfStamp != P.sfGen || e.sfQ0 != e.Q0 || e.intStamp != P.intGen;
}
// Every reflection, with the caches A, B, q of HklTable.
void RefreshAllIntensities(TPhase& P, int32_t p);

}  // namespace profile_cache

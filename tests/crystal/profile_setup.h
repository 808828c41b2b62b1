// Shared by the profile-model tests: a spectrum of either axis kind, the reflection lists of the
// phases, a Rietveld or powder-match parameter array laid out by hand in FitParameters (every
// record free or fixed as a test asks), two small standard phases, and a fixture that puts back
// the spectra, the engine, the peak models and the model switches.
#pragma once
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <iterator>
#include <memory>
#include <string>
#include <utility>
#include <vector>
#include "core/cell_geometry.h"
#include "core/cell_metric.h"
#include "core/fit_engine.h"
#include "core/model_tables.h"
#include "core/neighbour_services.h"
#include "core/parameter_layout.h"
#include "core/peak_model.h"
#include "core/spectrum.h"
#include "crystal/phase_setup.h"
#include "crystal/reflection_lists.h"
#include "crystal/model_options.h"

// ---- the spectrum ----

// The spectrum the profile model reads. Time of flight: channel = 505.556 L sin(theta) d / cw
// - delay. Angular: channel = slope x two-theta + offset, X[ch] the two-theta of channel ch.
struct ProfileSpectrum {
  int32_t axis = AxisTimeOfFlight;
  int32_t first = 480, last = 1600;  // working range
  double chanWidth = 16.0;           // microseconds (time of flight)
  double flightPath = 21.13;         // metres
  double theta = 76.0;               // Bragg angle of the detector, degrees
  double delay = 0.0;                // channels (time of flight); two-theta zero shift (angular)
  double lambda = 1.54;              // angstrom (angular)
  double slope = 20.0;               // angular: channels per degree of two-theta
  double offset = -200.0;            // angular: channel at two-theta 0
};

// SpectrumList[CurrentSpectrum] (created when missing) with the header of s, every channel
// Y = 0, E = 1, X = the channel (time of flight) or its two-theta (angular), the background and
// spectrum correction 0. Returns the spectrum.
inline TSpectrum& SetUpProfileSpectrum(const ProfileSpectrum& s) {
  CurrentSpectrum = std::clamp(CurrentSpectrum, 1, 4);
  auto& slot = SpectrumList[CurrentSpectrum];
  if (!slot) slot = std::make_unique<TSpectrum>("profile");
  TSpectrum& sp = *slot;
  sp.AxisKind = s.axis;
  sp.FirstChannel = 1, sp.LastChannel = std::min(MaxChannels, s.last + 100);
  sp.WorkFirst = s.first, sp.WorkLast = s.last;
  sp.FlightPath = s.flightPath, sp.Theta = s.theta, sp.Delay = s.delay, sp.Lambda = s.lambda;
  sp.ChanWidth = s.axis == AxisAngular ? 1.0 / s.slope : s.chanWidth;
  sp.AngleToChannelSlope = s.axis == AxisAngular ? s.slope : 0.0;
  sp.AngleToChannelOffset = s.axis == AxisAngular ? s.offset : 0.0;
  std::fill(std::begin(sp.Background), std::end(sp.Background), 0.0);
  sp.SpectrumCorrection = 0;
  for (int32_t c = 0; c <= MaxChannels; ++c) {
    sp.Y[c] = 0, sp.E[c] = 1;
    sp.X[c] = s.axis == AxisAngular ? (c - s.offset) / s.slope : c;
  }
  return sp;
}

inline TSpectrum& CurrentProfileSpectrum() { return *SpectrumList[std::clamp(CurrentSpectrum, 0, 4)]; }

// ---- phases and reflections ----

// Aluminium, Fm-3m, a = 4.0495 angstrom, b = 0.3449 x 10^-12 cm, B = 0.8 angstrom^2.
inline bool SetUpAluminium(int32_t k) {
  return SetUpPhase(k, 225, 1, {4.0495, 4.0495, 4.0495, 90, 90, 90}, {IsoAtom(0.3449, 0, 0, 0, 0.8)});
}

// Zinc oxide (wurtzite), P6_3mc, no centre of symmetry: Zn (0.568) and O (0.5803) at
// (1/3, 2/3, z).
inline bool SetUpZincOxide(int32_t k) {
  return SetUpPhase(k, 186, 1, {3.2495, 3.2495, 5.2069, 90, 90, 120},
                    {IsoAtom(0.568, 1.0 / 3, 2.0 / 3, 0, 0.55), IsoAtom(0.5803, 1.0 / 3, 2.0 / 3, 0.3825, 0.60)});
}

// d of channel c of the current spectrum by its header (time of flight: (c + delay) cw /
// (505.556 L sin(theta)); angular: lambda / (2 sin(theta)) at the channel's two-theta).
inline double ProfileChannelToD(double c) {
  const TSpectrum& sp = CurrentProfileSpectrum();
  if (sp.AxisKind == AxisAngular) {
    const double twoTheta = (c - sp.AngleToChannelOffset) / sp.AngleToChannelSlope + sp.Delay;
    return sp.Lambda / (2 * std::sin(twoTheta / 2 / RadToDeg));
  }
  return (c + sp.Delay) * sp.ChanWidth / (TofConstant * sp.FlightPath * std::sin(sp.Theta / RadToDeg));
}

// The list of phase k by FormSymmetricHklList over dmin..dmax, and N4 = the largest h^4, k^4,
// l^4 of the list (the anisotropy normaliser that the parameter preparation sets). Returns the
// reflection count.
inline int32_t FormProfileReflections(int32_t k, double dmin, double dmax) {
  FormSymmetricHklList(k, dmin, dmax);
  LATTICE& p = PhaseTable[k];
  double n4 = 0;
  for (int32_t j = 1; j <= std::clamp(p.ReflectionCount, 0, MaxReflections); ++j) {
    const THklRecord& r = HklTable[j][k];
    for (int32_t i : {r.h, r.k, r.l}) n4 = std::max(n4, std::pow(double(i), 4));
  }
  p.MaxIndex4 = n4;
  return p.ReflectionCount;
}

// The same over the d range of the working range widened by margin (relative) at both ends.
inline int32_t FormProfileReflections(int32_t k, double margin = 0.02) {
  const TSpectrum& sp = CurrentProfileSpectrum();
  const double d1 = ProfileChannelToD(sp.WorkFirst), d2 = ProfileChannelToD(sp.WorkLast);
  return FormProfileReflections(k, std::min(d1, d2) * (1 - margin), std::max(d1, d2) * (1 + margin));
}

// ---- the parameter array ----

// Record numbers of the profile layout of MainMode (0 Rietveld, 2 powder match).
inline int32_t PhaseBase(int32_t p) { return PhaseParameterOffset(p); }
inline int32_t ScaleRecord(int32_t p) { return PhaseBase(p) + 1; }
inline int32_t MetricRecord(int32_t p, int32_t i) { return PhaseBase(p) + 1 + i; }  // i = 1..6
inline int32_t WidthRecord(int32_t p, int32_t i) { return PhaseBase(p) + 8 + i; }   // i = 0..2
inline int32_t AtomRecord(int32_t p, int32_t a, int32_t i) { return PhaseBase(p) + 10 * a + i; }  // i = 1..10
inline int32_t IntensityRecord(int32_t p, int32_t j) { return PhaseBase(p) + 10 + j; }
inline int32_t CosPhiRecord(int32_t p, int32_t i) { return ParameterCount(0) + 3 * (p - 1) + i; }  // i = 1..3
inline int32_t AnisotropyRecord(int32_t p, int32_t i) { return ParameterCount(1) + 12 * (p - 1) + i; }  // 1..12
inline int32_t M2Record(int32_t i) { return ParameterCount(2) + i; }  // i = 1, 2
// The last record the profile model reads.
inline int32_t ProfileRecordCount() { return ParameterCount(2) + (M2Mode ? 2 : 0); }

// Bounds of a free record.
inline constexpr double FreeBound = 1e15;

inline ParameterRecord& Rec(int32_t i) { return FitParameters->Records[i]; }
inline double RecValue(int32_t i) { return FitParameters->Records[i].value; }

// Record i free (n = i, a = 1, b = 0, bounds +-1e15) or fixed (bounds = value).
inline void FreeRecord(int32_t i) {
  ParameterRecord& r = Rec(i);
  r.n = i, r.a = 1, r.b = 0, r.lower = -FreeBound, r.upper = FreeBound;
}
inline void FixRecord(int32_t i) {
  ParameterRecord& r = Rec(i);
  r.n = i, r.a = 1, r.b = 0, r.lower = r.upper = r.value;
}
// Record i tied to an earlier record: value = a value(master) + b.
inline void TieRecord(int32_t i, int32_t master, double a = 1, double b = 0) {
  ParameterRecord& r = Rec(i);
  r.n = master, r.a = a, r.b = b, r.lower = -FreeBound, r.upper = FreeBound;
  r.value = a * RecValue(master) + b;
}
inline bool RecordFree(int32_t i) { return Rec(i).lower != Rec(i).upper; }
// The value of record i; a fixed record keeps being fixed (its bounds follow).
inline void SetRecord(int32_t i, double v) {
  ParameterRecord& r = Rec(i);
  const bool fixed = r.lower == r.upper;
  r.value = v;
  if (fixed) r.lower = r.upper = v;
}
inline void FixAllRecords() {
  for (int32_t i = 1; i <= FitParameters->NPar; ++i) FixRecord(i);
}
inline void FreeRecords(std::initializer_list<int32_t> list) {
  for (int32_t i : list) FreeRecord(i);
}
inline void FixRecords(std::initializer_list<int32_t> list) {
  for (int32_t i : list) FixRecord(i);
}

// The six records of the reciprocal-cell form of 1/d^2 (OptionFlags[10]) of phase p: a*, b*,
// c*, cos alpha*, cos beta*, cos gamma* from its reciprocal cell.
inline std::array<double, 6> ReciprocalCellRecords(int32_t p) {
  const double* r = PhaseTable[p].ReciprocalCell;
  return {r[0], r[1], r[2], std::cos(r[3] / RadToDeg), std::cos(r[4] / RadToDeg), std::cos(r[5] / RadToDeg)};
}

// The profile layout of MainMode (0 or 2) in FitParameters (created when missing), NPar := its
// record count, NPoints := the working range of the current spectrum. Values: record 1 the
// flight path (time of flight) or the wavelength (angular), 2 zero, 3 the spectrum's delay or
// zero shift, 4..9 its background, 10 its spectrum correction; per phase scale 1, the metric
// G1..G6 in record order (or, with reciprocalForm, ReciprocalCellRecords), W0 = PhaseW0,
// W1 = PhaseW1, W2 = 0; the atoms from AtomTable (Rietveld) or the intensities (A^2 + B^2) q^2 of
// the reflection caches (powder match); the moment directions of magnetic phases, the phases'
// anisotropy values, M2ModeValues. Every record free; the records past the layout cleared.
// Returns the record count.
inline int32_t LayOutProfileParameters(bool reciprocalForm = false) {
  if (!FitParameters) CreateFitParameters();
  TParameter& fit = *FitParameters;
  const int32_t n = ProfileRecordCount();
  fit.NPar = std::min(n, fit.RecordCapacity());
  for (int32_t i = 1; i <= fit.RecordCapacity(); ++i) {
    fit.Records[i] = ParameterRecord{};
    fit.Records[i].n = i, fit.Records[i].a = 1;
  }
  const TSpectrum& sp = CurrentProfileSpectrum();
  fit.NPoints = std::max(0, sp.WorkLast - sp.WorkFirst + 1);
  const bool angular = sp.AxisKind == AxisAngular;
  auto put = [&](int32_t i, double v) {
    if (i >= 1 && i <= fit.NPar) fit.Records[i].value = v;
  };
  put(1, angular ? sp.Lambda : sp.FlightPath);
  put(2, 0.0);
  put(3, sp.Delay);
  for (int32_t j = 1; j <= 6; ++j) put(3 + j, sp.Background[j]);
  put(10, sp.SpectrumCorrection);
  for (int32_t p = 1; p <= std::clamp(PhaseCount, 0, MaxPhases); ++p) {
    const LATTICE& ph = PhaseTable[p];
    const int32_t b = PhaseBase(p);
    put(b + 1, 1.0);
    const std::array<double, 6> g = reciprocalForm ? ReciprocalCellRecords(p) : MetricRecordOrder(ph.Metric);
    for (int32_t i = 0; i < 6; ++i) put(b + 2 + i, g[i]);
    put(b + 8, ph.PhaseW0), put(b + 9, ph.PhaseW1), put(b + 10, 0.0);
    if (MainMode == 0) {
      for (int32_t a = 1; a <= std::clamp(ph.AtomCount, 0, MaxAtoms); ++a) {
        const ATOM& t = AtomTable[a][p];
        const double v[10] = {t.Occupation, t.X, t.Y, t.Z, t.T11, t.T12, t.T13, t.T22, t.T23, t.T33};
        for (int32_t i = 0; i < 10; ++i) put(b + 10 * a + 1 + i, v[i]);
      }
    } else {
      for (int32_t j = 1; j <= std::clamp(ph.ReflectionCount, 0, MaxReflections); ++j) {
        const THklRecord& r = HklTable[j][p];
        put(b + 10 + j, (r.A * r.A + r.B * r.B) * r.q * r.q);
      }
    }
    if (HasMagneticPhase() && PhaseModelFlags[p] == 1)
      for (int32_t i = 1; i <= 3; ++i) put(CosPhiRecord(p, i), ph.MomentDirection[i - 1]);
    if (AnisotropyOn)
      for (int32_t i = 1; i <= AnisotropyParameterCount; ++i) put(AnisotropyRecord(p, i), ph.Anisotropy[i - 1]);
  }
  if (M2Mode) put(M2Record(1), M2ModeValues[0]), put(M2Record(2), M2ModeValues[1]);
  for (int32_t i = 1; i <= fit.NPar; ++i) FreeRecord(i);
  return fit.NPar;
}

// ---- the fixture ----

// PhaseTest with fresh spectra 0..4 (CurrentSpectrum 1, SpectrumCount 1), a fresh engine in
// FitParameters, fresh peak models 1..7 (Gauss), and the model switches at their reset values;
// everything put back at the end.
class ProfileTest : public PhaseTest {
protected:
  void SetUp() override {
    PhaseTest::SetUp();
    for (int32_t m = 1; m <= PeakModelCount; ++m)
      savedModels_[m] = std::exchange(PeakModels[m], std::make_unique<TPeakModel>());
    savedFit_ = std::move(FitParameters);
    savedControls_ = DefaultFitControls;
    CreateFitParameters();
    CurrentSpectrum = 1, SpectrumCount = 1;
    WidthMode = 0, BackgroundMode = 0, AnisotropyOn = 0, M2Mode = 0, TrevoAutoRun = 0;
    M2ModeValues[0] = M2ModeValues[1] = 0;
    std::fill(std::begin(AnisotropicPhases), std::end(AnisotropicPhases), uint8_t{0});
    for (auto& f : OptionFlags) f = 0;
    ModelSpectrum = 1, ModelChannel = 1;
  }
  void TearDown() override {
    for (int32_t m = 1; m <= PeakModelCount; ++m) PeakModels[m] = std::move(savedModels_[m]);
    FitParameters = std::move(savedFit_);
    DefaultFitControls = savedControls_;
    PhaseTest::TearDown();
  }

  // The shape of phase p: model number (ModelGauss, ModelLorentz, ...) tabulated afresh.
  static void SetPhaseShape(int32_t p, int32_t model) {
    TPeakModel& m = *PeakModels[p + 1];
    m.ModelNumber = model, m.Negate = 0;
    m.TabulatePeakModel();
  }

private:
  FreshSpectra spectra_;
  std::unique_ptr<TPeakModel> savedModels_[PeakModelCount + 1];
  std::unique_ptr<TParameter> savedFit_;
  TFitControls savedControls_;
  KeepValues<int32_t> switches_[3] = {{&WidthMode, 1}, {&BackgroundMode, 1}, {&SpectrumCount, 1}};
  KeepValues<uint8_t> flags_[4] = {{&AnisotropyOn, 1}, {&M2Mode, 1}, {&TrevoAutoRun, 1},
                                   {AnisotropicPhases, MaxPhases + 1}};
  KeepValues<double> values_[3] = {{M2ModeValues, 2}, {&ModelSpectrum, 1}, {&ModelChannel, 1}};
  KeepValues<uint8_t> options_{OptionFlags, OptionFlagCount};
};

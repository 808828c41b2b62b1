// Shared by the profile-model, peak-fit, background and fit-summary tests: a spectrum of either
// axis kind, two small standard phases and their reflection lists, the profile and peak-fit
// layouts laid out by hand in FitParameters, the fixtures, and one derivative check of any model
// function against central differences of F computed through the model itself.
#pragma once
#include <cmath>
#include <initializer_list>
#include <iterator>
#include "core/fit_engine.h"
#include "core/model_test_support.h"
#include "core/parameter_layout.h"
#include "core/peak_model.h"
#include "crystal/model_options.h"
#include "crystal/phase_setup.h"
#include "crystal/reflection_lists.h"
#include "support/golden_files.h"

using ModelFn = void (*)(double& Y, double& W, double& F, int32_t Point, int32_t Stage);

// ---- the profile spectrum and phases ----

// Time of flight: channel = 505.556 L sin(theta) d / cw - delay. Angular: channel = slope x
// two-theta + offset, X[ch] the two-theta of channel ch.
struct ProfileSpectrum {
  int32_t axis = AxisTimeOfFlight;
  int32_t first = 480, last = 1600;                           // working range
  double chanWidth = 16.0, flightPath = 21.13, theta = 76.0;  // microseconds, metres, degrees
  double delay = 0.0;  // channels (time of flight); two-theta zero shift (angular)
  double lambda = 1.54, slope = 20.0, offset = -200.0;  // angular: angstrom, channels per degree, channel at 0
};

// SpectrumList[CurrentSpectrum] (made when missing) with the header of s, Y = 0, E = 1, X the
// channel or its two-theta, no background and no spectrum correction.
inline TSpectrum& SetUpProfileSpectrum(const ProfileSpectrum& s) {
  CurrentSpectrum = std::clamp(CurrentSpectrum, 1, 4);
  if (!SpectrumList[CurrentSpectrum]) SpectrumList[CurrentSpectrum] = std::make_unique<TSpectrum>("profile");
  TSpectrum& sp = *SpectrumList[CurrentSpectrum];
  const bool angular = s.axis == AxisAngular;
  sp.AxisKind = s.axis, sp.FirstChannel = 1, sp.LastChannel = std::min(MaxChannels, s.last + 100);
  sp.WorkFirst = s.first, sp.WorkLast = s.last;
  sp.FlightPath = s.flightPath, sp.Theta = s.theta, sp.Delay = s.delay, sp.Lambda = s.lambda;
  sp.ChanWidth = angular ? 1.0 / s.slope : s.chanWidth;
  sp.AngleToChannelSlope = angular ? s.slope : 0.0, sp.AngleToChannelOffset = angular ? s.offset : 0.0;
  std::fill(std::begin(sp.Background), std::end(sp.Background), 0.0), sp.SpectrumCorrection = 0;
  for (int32_t c = 0; c <= MaxChannels; ++c) sp.Y[c] = 0, sp.E[c] = 1, sp.X[c] = angular ? (c - s.offset) / s.slope : c;
  return sp;
}

inline TSpectrum& CurrentProfileSpectrum() { return *SpectrumList[std::clamp(CurrentSpectrum, 0, 4)]; }

// Aluminium, Fm-3m, a = 4.0495 angstrom, b = 0.3449 x 10^-12 cm, B = 0.8 angstrom^2.
inline bool SetUpAluminium(int32_t k) {
  return SetUpPhase(k, 225, 1, {4.0495, 4.0495, 4.0495, 90, 90, 90}, {IsoAtom(0.3449, 0, 0, 0, 0.8)});
}

// Zinc oxide (wurtzite), P6_3mc, no centre of symmetry: Zn and O at (1/3, 2/3, z).
inline bool SetUpZincOxide(int32_t k) {
  return SetUpPhase(k, 186, 1, {3.2495, 3.2495, 5.2069, 90, 90, 120},
                    {IsoAtom(0.568, 1.0 / 3, 2.0 / 3, 0, 0.55), IsoAtom(0.5803, 1.0 / 3, 2.0 / 3, 0.3825, 0.60)});
}

// d of channel c of the current spectrum by its header.
inline double ProfileChannelToD(double c) {
  const TSpectrum& sp = CurrentProfileSpectrum();
  if (sp.AxisKind == AxisAngular) {
    const double twoTheta = (c - sp.AngleToChannelOffset) / sp.AngleToChannelSlope + sp.Delay;
    return sp.Lambda / (2 * std::sin(twoTheta / 2 / RadToDeg));
  }
  return (c + sp.Delay) * sp.ChanWidth / (TofConstant * sp.FlightPath * std::sin(sp.Theta / RadToDeg));
}

// The list of phase k by FormSymmetricHklList over dmin..dmax (without dmax: the working range
// widened by 2 % at both ends) and N4 = the largest h^4, k^4, l^4, as the preparation sets it.
// Returns the reflection count.
inline int32_t FormProfileReflections(int32_t k, double dmin = 0, double dmax = 0) {
  if (dmax == 0) {
    const TSpectrum& sp = CurrentProfileSpectrum();
    const double d1 = ProfileChannelToD(sp.WorkFirst), d2 = ProfileChannelToD(sp.WorkLast);
    dmin = std::min(d1, d2) * 0.98, dmax = std::max(d1, d2) * 1.02;
  }
  FormSymmetricHklList(k, dmin, dmax);
  PhaseTable[k].MaxIndex4 = 0;
  for (const THklRecord& r : PhaseReflections(k))
    for (int32_t i : {r.h, r.k, r.l})
      PhaseTable[k].MaxIndex4 = std::max(PhaseTable[k].MaxIndex4, std::pow(double(i), 4));
  return PhaseTable[k].ReflectionCount;
}

// ---- the parameter arrays ----

// Record numbers of the profile layout of MainMode (0 Rietveld, 2 powder match).
inline int32_t PhaseBase(int32_t p) { return PhaseParameterOffset(p); }
inline int32_t ScaleRecord(int32_t p) { return PhaseBase(p) + 1; }
inline int32_t MetricRecord(int32_t p, int32_t i) { return PhaseBase(p) + 1 + i; }  // i = 1..6
inline int32_t WidthRecord(int32_t p, int32_t i) { return PhaseBase(p) + 8 + i; }   // i = 0..2
inline int32_t AtomRecord(int32_t p, int32_t a, int32_t i) { return PhaseBase(p) + 10 * a + i; }  // i = 1..10
inline int32_t IntensityRecord(int32_t p, int32_t j) { return PhaseBase(p) + 10 + j; }

inline ParameterRecord& Rec(int32_t i) { return FitParameters->Records[i]; }
inline double RecValue(int32_t i) { return FitParameters->Records[i].value; }
inline bool RecordFree(int32_t i) { return Rec(i).lower != Rec(i).upper; }

// Record i free (bounds +-1e15), fixed (bounds = value) or tied: value = a value(master) + b.
inline void TieRecord(int32_t i, int32_t master, double a = 1, double b = 0) {
  ParameterRecord& r = Rec(i);
  r.n = master, r.a = a, r.b = b, r.lower = -1e15, r.upper = 1e15;
  if (master != i) r.value = a * RecValue(master) + b;
}
inline void FreeRecord(int32_t i) { TieRecord(i, i); }
inline void FixRecord(int32_t i) { FreeRecord(i), Rec(i).lower = Rec(i).upper = Rec(i).value; }
inline void FreeRecords(std::initializer_list<int32_t> list) {
  for (int32_t i : list) FreeRecord(i);
}
inline void FixAllRecords() {
  for (int32_t i = 1; i <= FitParameters->NPar; ++i) FixRecord(i);
}
// The value of record i; a fixed record stays fixed.
inline void SetRecord(int32_t i, double v) {
  ParameterRecord& r = Rec(i);
  if (r.lower == r.upper) r.lower = r.upper = v;
  r.value = v;
}

// The profile layout of MainMode (0 or 2), NPar := its record count, NPoints := the working
// range, every record free. Values: record 1 the flight path (time of flight) or the wavelength
// (angular), 3 the delay or zero shift, 4..10 the spectrum's background and correction; per
// phase scale 1, the metric in record order (with reciprocalForm a*, b*, c* and the cosines of
// the reciprocal angles), W0 = PhaseW0, W1 = PhaseW1, W2 = 0; the atoms (Rietveld) or the
// intensities (A^2 + B^2) q^2 of the reflection caches (powder match); the moment directions of
// a magnetic phase, the anisotropy values, M2ModeValues.
inline int32_t LayOutProfileParameters(bool reciprocalForm = false) {
  TParameter& fit = *FitParameters;
  fit.NPar = std::min(ParameterCount(2) + (M2Mode ? 2 : 0), fit.RecordCapacity());
  for (int32_t i = 1; i <= fit.RecordCapacity(); ++i)
    fit.Records[i] = ParameterRecord{}, fit.Records[i].n = i, fit.Records[i].a = 1;
  const TSpectrum& sp = CurrentProfileSpectrum();
  fit.NPoints = std::max(0, sp.WorkLast - sp.WorkFirst + 1);
  auto put = [&](int32_t i, double v) {
    if (i >= 1 && i <= fit.NPar) fit.Records[i].value = v;
  };
  put(1, sp.AxisKind == AxisAngular ? sp.Lambda : sp.FlightPath);
  put(3, sp.Delay);
  for (int32_t j = 1; j <= 6; ++j) put(3 + j, sp.Background[j]);
  put(10, sp.SpectrumCorrection);
  for (int32_t p = 1; p <= std::clamp(PhaseCount, 0, MaxPhases); ++p) {
    const LATTICE& ph = PhaseTable[p];
    const int32_t b = PhaseBase(p);
    const double* r = ph.ReciprocalCell;  // a*, b*, c*, alpha*, beta*, gamma*
    const std::array<double, 6> g =
        reciprocalForm ? std::array<double, 6>{r[0], r[1], r[2], std::cos(r[3] / RadToDeg), std::cos(r[4] / RadToDeg),
                                               std::cos(r[5] / RadToDeg)}
                       : MetricRecordOrder(ph.Metric);
    put(b + 1, 1.0);
    for (int32_t i = 0; i < 6; ++i) put(b + 2 + i, g[i]);
    put(b + 8, ph.PhaseW0), put(b + 9, ph.PhaseW1);
    for (int32_t a = 1; MainMode == 0 && a <= std::clamp(ph.AtomCount, 0, MaxAtoms); ++a) {
      const ATOM& t = AtomTable[a][p];
      const double v[10] = {t.Occupation, t.X, t.Y, t.Z, t.T11, t.T12, t.T13, t.T22, t.T23, t.T33};
      for (int32_t i = 0; i < 10; ++i) put(b + 10 * a + 1 + i, v[i]);
    }
    for (int32_t j = 1; MainMode == 2 && j <= std::clamp(ph.ReflectionCount, 0, MaxReflections); ++j) {
      const THklRecord& h = HklTable[j][p];
      put(b + 10 + j, (h.A * h.A + h.B * h.B) * h.q * h.q);
    }
    for (int32_t i = 0; i < 3 && HasMagneticPhase() && PhaseModelFlags[p] == 1; ++i)
      put(ParameterCount(0) + 3 * (p - 1) + 1 + i, ph.MomentDirection[i]);
    for (int32_t i = 0; i < AnisotropyParameterCount && AnisotropyOn; ++i)
      put(ParameterCount(1) + AnisotropyParameterCount * (p - 1) + 1 + i, ph.Anisotropy[i]);
  }
  if (M2Mode) put(ParameterCount(2) + 1, M2ModeValues[0]), put(ParameterCount(2) + 2, M2ModeValues[1]);
  for (int32_t i = 1; i <= fit.NPar; ++i) FreeRecord(i);
  return fit.NPar;
}

// Records 1..n free with the given values, NPar := n.
inline void SetRecords(const std::vector<double>& values) {
  FitParameters->NPar = FitParameters->RecordCapacity();
  FitParameters->ResetParameterRecords();
  FitParameters->NPar = static_cast<int32_t>(values.size());
  for (int32_t i = 1; i <= FitParameters->NPar; ++i) Rec(i).value = values[i - 1];
}

// The peak-fit layout for peaks of the models (MarkedPointModels), amplitudes and positions:
// background records 1..6, amplitudes from 7, positions, widths (own widths with WidthMode -1,
// else W0 of models 1..6 and W1 = w1 of each), and with M2Mode a0 and a1. Returns the count.
inline int32_t LayOutPeaks(const std::vector<int32_t>& models, const std::vector<double>& amplitudes,
                           const std::vector<double>& positions, const std::vector<double>& widths,
                           std::vector<double> v, double w1 = 0, double a0 = 0, double a1 = 0) {
  const int32_t n = static_cast<int32_t>(models.size());
  MarkedPointCount = n;
  for (int32_t i = 1; i <= n; ++i) MarkedPointModels[i] = models[i - 1];
  v.resize(6, 0.0);
  v.insert(v.end(), amplitudes.begin(), amplitudes.end());
  v.insert(v.end(), positions.begin(), positions.end());
  for (size_t m = 0; m < (WidthMode == -1 ? widths.size() : 6); ++m) v.push_back(m < widths.size() ? widths[m] : 5.0);
  if (WidthMode != -1) v.resize(v.size() + 6, w1);
  if (M2Mode) v.resize(WidthMode == -1 ? 3 * n + 6 : 2 * n + 18, 0.0), v.push_back(a0), v.push_back(a1);  // behind the widths
  SetRecords(v);
  return static_cast<int32_t>(v.size());
}

// The numbers after the key of each row with that key in a committed golden file of the crystal tests.
inline std::vector<std::vector<double>> GoldenNumbers(const std::string& file, const std::string& key) {
  std::vector<std::vector<double>> out;
  for (const Tokens& row : GoldenRows(file, "crystal")) {
    if (row.empty() || row[0] != key) continue;
    out.emplace_back();
    for (size_t i = 1; i < row.size(); ++i) out.back().push_back(std::stod(row[i]));
  }
  return out;
}

// PeakModels[i] (phase p has i = p + 1) as model number model, tabulated afresh.
inline void SetShape(int32_t i, int32_t model) {
  TPeakModel& m = *PeakModels[i];
  m.ModelNumber = model, m.Negate = 0;
  m.TabulatePeakModel();
}

// PeakModels[i] as a Pseudo-Voigt table the way the model editor forms one: Gauss and Lorentz
// parts of equal height, widths 12 and 8 table points (the Lorentz share 2.4 % of the height at the
// table's ends), centred, its tails rolled off, analysed.
inline void SetPseudoVoigtShape(int32_t i) {
  TPeakModel& m = *PeakModels[i];
  m.ModelNumber = ModelPseudoVoigt, m.Negate = 0, m.HalfPoints = PeakModelHalfPoints;
  for (int32_t k = 1; k <= PeakModelPoints; ++k) {
    const double ug = (k - 97) / 12.0, ul = (k - 97) / 8.0;
    PeakModelTable[k] = 500 * std::exp(-ug * ug) + 500 / (1 + ul * ul);
  }
  m.CentreShape(PeakModelPoints), m.TaperTails(), m.AnalyseShape();
}

// ---- the model calls and the derivative check ----

// F of a model at Point = c (stage 1) or at ModelChannel = c (stage 4); W into *W.
inline double ModelAt(ModelFn model, double c, bool stage4 = false, double* W = nullptr) {
  double y = 0, w = 0, f = 0;
  if (stage4) ModelChannel = c;
  model(y, w, f, stage4 ? 1 : static_cast<int32_t>(c), stage4 ? 4 : 1);
  if (W) *W = w;
  return f;
}

// The analytic derivative of every listed record at each point against a central difference of
// F through the model (step h = 1e-6 max(1, |v|), Richardson from h and h/2), within 1e-6 of the
// column's scale (its largest |derivative|) plus the rounding of F over the step. A step across
// a cut or a table point, where the differences at h and h/2 part by more than that tolerance, is
// skipped, at most one check in ten. Returns the scale of each column.
inline std::vector<double> ExpectDerivativesAgree(ModelFn model, const std::vector<double>& points, bool stage4,
                                                  const std::vector<int32_t>& records, const std::string& what) {
  struct Entry {
    size_t k;
    double analytic, central, spread, rounding;
  };
  std::vector<Entry> entries;
  std::vector<double> scale(records.size(), 0.0), analytic(records.size());
  for (double c : points) {
    const double F = ModelAt(model, c, stage4);
    EXPECT_TRUE(std::isfinite(F)) << what << " at " << c;
    for (size_t k = 0; k < records.size(); ++k) analytic[k] = Rec(records[k]).Derivative;
    for (size_t k = 0; k < records.size(); ++k) {
      ParameterRecord& r = Rec(records[k]);
      const double v = r.value, h = 1e-6 * std::max(1.0, std::fabs(v));
      double f[4];
      for (int32_t s = 0; s < 4; ++s)
        r.value = v + (s % 2 ? -h : h) / (s < 2 ? 1 : 2), f[s] = ModelAt(model, c, stage4);
      r.value = v;
      const double d1 = (f[0] - f[1]) / (2 * h), d2 = (f[2] - f[3]) / h, central = (4 * d2 - d1) / 3;
      entries.push_back({k, analytic[k], central, std::fabs(d1 - d2), 1e-13 * std::fabs(F) / h});
      scale[k] = std::max({scale[k], std::fabs(analytic[k]), std::fabs(central)});
    }
  }
  int32_t checked = 0, skipped = 0, failures = 0;
  for (const Entry& e : entries) {
    const double s = scale[e.k];
    // Parted beyond the check's own tolerance: the step straddles a point where the model is
    // not smooth (a cut, or a table point, where a table's curvature has a kink).
    const bool parted = e.spread > 1e-6 * s + e.rounding;
    skipped += s != 0 && parted;
    if (s == 0 || parted) continue;
    ++checked;
    if (!(std::fabs(e.analytic - e.central) <= 1e-6 * s + e.rounding) && ++failures <= 10)
      ADD_FAILURE() << what << ": record " << records[e.k] << " \"" << Rec(records[e.k]).Name << "\" analytic "
                    << e.analytic << " central " << e.central << " scale " << s;
  }
  EXPECT_GT(checked, 0) << what;
  EXPECT_LE(skipped, checked / 10) << what << ": too many steps across a discontinuity";
  return scale;
}

// chi^2 = sum W (Y - F)^2 over the points 1..n of a fit's sweep (stage 1) with record moved by
// k step, k = -40..40, against the trapezoid of its analytic gradient -2 sum W (Y - F) dF/dv at
// each step's ends (a central difference at the step's middle): the worst miss, the largest
// change of a step, and the number of local minima. The record is put back.
struct Chi2Sweep {
  double worst = 0, scale = 0;
  int32_t minima = 0;
};
inline Chi2Sweep SweepChi2(ModelFn model, int32_t n, int32_t record, double step) {
  ParameterRecord& r = Rec(record);
  const double v0 = r.value;
  std::vector<double> chi, grad;
  for (int32_t k = -40; k <= 40; ++k) {
    r.value = v0 + k * step;
    double c2 = 0, g = 0;
    for (int32_t point = 1; point <= n; ++point) {
      double y, w, f;
      model(y, w, f, point, 1);
      c2 += w * (y - f) * (y - f);
      g -= 2 * w * (y - f) * r.Derivative;
    }
    chi.push_back(c2), grad.push_back(g);
  }
  r.value = v0;
  Chi2Sweep s;
  for (size_t k = 1; k < chi.size(); ++k) {
    s.scale = std::max(s.scale, std::fabs(chi[k] - chi[k - 1]));
    s.worst = std::max(s.worst, std::fabs(chi[k] - chi[k - 1] - 0.5 * step * (grad[k] + grad[k - 1])));
    s.minima += k + 1 < chi.size() && chi[k] < chi[k - 1] && chi[k] < chi[k + 1];
  }
  return s;
}

// ---- the fixtures ----

// Fresh Gauss peak models 1..7 and a fresh engine in FitParameters while a fixture lives.
struct FreshEngine {
  FreshEngine() {
    for (int32_t m = 1; m <= PeakModelCount; ++m)
      models[m] = std::exchange(PeakModels[m], std::make_unique<TPeakModel>());
    fit = std::move(FitParameters);
    CreateFitParameters();
  }
  ~FreshEngine() {
    for (int32_t m = 1; m <= PeakModelCount; ++m) PeakModels[m] = std::move(models[m]);
    FitParameters = std::move(fit);
  }
  FreshEngine(const FreshEngine&) = delete;
  FreshEngine& operator=(const FreshEngine&) = delete;
  KeepValues<TFitControls> controls{&DefaultFitControls, 1};
  std::unique_ptr<TPeakModel> models[PeakModelCount + 1];
  std::unique_ptr<TParameter> fit;
};

// PhaseTest with fresh spectra 0..4 (CurrentSpectrum 1), a fresh engine and peak models, and
// the profile model's switches at their reset values; everything put back at the end.
class ProfileTest : public PhaseTest {
protected:
  void SetUp() override {
    PhaseTest::SetUp();
    CurrentSpectrum = 1, SpectrumCount = 1;
    WidthMode = 0, BackgroundMode = 0, AnisotropyOn = 0, M2Mode = 0, TrevoAutoRun = 0;
    M2ModeValues[0] = M2ModeValues[1] = 0;
    std::fill(std::begin(AnisotropicPhases), std::end(AnisotropicPhases), uint8_t{0});
    std::fill(std::begin(OptionFlags), std::end(OptionFlags), uint8_t{0});
    ModelSpectrum = 1, ModelChannel = 1;
  }

private:
  FreshSpectra spectra_;
  FreshEngine engine_;
  KeepValues<int32_t> switches_[3] = {{&WidthMode, 1}, {&BackgroundMode, 1}, {&SpectrumCount, 1}};
  KeepValues<uint8_t> flags_[5] = {{&AnisotropyOn, 1}, {&M2Mode, 1}, {&TrevoAutoRun, 1},
                                   {AnisotropicPhases, MaxPhases + 1}, {OptionFlags, OptionFlagCount}};
  KeepValues<double> values_[3] = {{M2ModeValues, 2}, {&ModelSpectrum, 1}, {&ModelChannel, 1}};
};

// ModelTest (fresh spectra, the model reset) with MainMode 3, a fresh engine and peak models, and
// the peak-fit switches; spectrum 1 has the working range 101..400, Y = 0, E = 2.
class PeakFitTest : public ModelTest {
protected:
  void SetUp() override {
    ModelTest::SetUp();
    MainMode = 3;
    TrevoAutoRun = 0, ExpFitMode = 0, ResolutionWidth = 0, ConvolutionType = 0;
    ModelSpectrum = 1, ModelChannel = 1;
    TSpectrum& sp = Sp(1);
    sp.WorkFirst = 101, sp.WorkLast = 400;
    for (int32_t c = 1; c <= MaxChannels; ++c) sp.Y[c] = 0, sp.E[c] = 2, sp.X[c] = c;
  }

private:
  FreshEngine engine_;
  KeepValues<uint8_t> trevo_{&TrevoAutoRun, 1};
  KeepValues<int32_t> modes_[2] = {{&ExpFitMode, 1}, {&ParameterArrayMode, 1}};
  KeepValues<double> values_[4] = {{&ResolutionWidth, 1}, {&ConvolutionType, 1}, {&ModelSpectrum, 1},
                                   {&ModelChannel, 1}};
};

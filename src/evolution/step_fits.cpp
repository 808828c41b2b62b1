// The fit of one spectrum of a sequence in one of three kinds: independent peaks at the found
// positions steered by the previous step (simple), a peak fit whose positions identify the
// phases' reflections and refine their cells (Fitra), or a Rietveld fit from the carried cells.
// All three run the session's engine on the program's model functions with at most one repeat.
#include "evolution/step_fits.h"
#include <algorithm>
#include <cmath>
#include <numeric>
#include <vector>
#include "core/cell_metric.h"
#include "core/dialog_model.h"
#include "core/dialog_state.h"
#include "core/dialog_toolkit.h"
#include "core/dspacing_list.h"
#include "core/fit_engine.h"
#include "core/fit_reports.h"
#include "core/messages.h"
#include "core/number_format.h"
#include "core/mode_flags.h"
#include "core/model_tables.h"
#include "core/parameter_layout.h"
#include "core/spectra_utilities.h"
#include "core/text_file.h"
#include "crystal/model_options.h"
#include "crystal/parameter_editor.h"
#include "crystal/peak_fit_models.h"
#include "crystal/profile_model.h"
#include "peaks/auto_calibration.h"
#include "peaks/fitra_arrays.h"
#include "peaks/fitra_state.h"

int32_t BoundWideningPercent = 25;
uint8_t BoundsWidened = 0, ControlsRelaxed = 0;
std::string LastAnalysedSpectrumName;

namespace {

constexpr int32_t RietveldMode = 0;
constexpr int32_t PeakMode = 3;
constexpr int32_t RankedPeakLimit = 200;  // found peaks looked at when ranking by count

void Fix(ParameterRecord& r, double v) { r.lower = r.value = r.upper = v; }
void Bounds(ParameterRecord& r, double lower, double value, double upper) {
  r.lower = lower, r.value = value, r.upper = upper;
}
int32_t Phases() { return std::clamp(PhaseCount, 0, MaxPhases); }
int32_t Peaks() { return std::clamp(MarkedPointCount, 0, TrevoPeakCapacity); }

// Count of the spectrum at a channel held to its channels.
double CountAt(const TSpectrum& sp, double channel) {
  const double c = std::clamp(std::nearbyint(channel), double(std::max(sp.FirstChannel, 0)),
                              double(std::clamp(sp.LastChannel, 0, MaxChannels)));
  return sp.Y[static_cast<int32_t>(c)];
}

// The engine's control block as it was before the step, on every way out of it.
class ControlsKept {
public:
  ControlsKept() : saved_(FitParameters->Controls()) {}
  ~ControlsKept() { FitParameters->Controls() = saved_; }
  ControlsKept(const ControlsKept&) = delete;
  ControlsKept& operator=(const ControlsKept&) = delete;

private:
  TFitControls saved_;
};

// The stop window, closed on every way out of the fit.
class FitWindow {
public:
  FitWindow() {
    ShowStopWindow();
    ShowDialogModeless();
  }
  ~FitWindow() { Form2.Close(); }
  FitWindow(const FitWindow&) = delete;
  FitWindow& operator=(const FitWindow&) = delete;
};

// Common set-up steps 1 and 2 of the peak steps: n records, neutral, the default controls. A width
// per peak needs 3N + 6 records, more than 2N + 18 above twelve peaks.
bool SetUpPeakArray(const TSpectrum& sp) {
  BoundWideningPercent = 25;
  const int32_t n = Peaks();
  const int32_t records = std::max(2 * n + 18, WidthMode == -1 ? 3 * n + 6 : 0);
  const int32_t points = sp.WorkLast - sp.WorkFirst + 1;
  if (records > points) {
    ShowMsg("More free parameters than channels");
    DialogOk = 0;
    return false;
  }
  TParameter& fit = *FitParameters;
  fit.NPar = records;
  fit.NPoints = points;
  fit.SetFitDefaults();
  fit.ResetParameterRecords();
  fit.Controls() = DefaultFitControls;
  fit.PrintInterval = OptionFlags[0] ? 1 : 0;
  for (int32_t i = 1; i <= records; ++i) parar[i] = fit.Records[i];
  return true;
}

// Common steps 3 and 4: background and amplitudes from the counts at the start positions.
void SetAmplitudes(const TSpectrum& sp) {
  InitBackgroundParams(1);
  // In the spectrum's own count unit, as the Fitra array takes them: data in other units fit alike.
  int32_t first = 1, last = 1;
  WorkingRange(sp, first, last);
  const double u = CountUnit(sp, first, last);
  for (int32_t i = 1; i <= Peaks(); ++i) {
    const double v = std::max(10.0 * u, CountAt(sp, MarkedPoints[i]));
    Bounds(parar[6 + i], std::sqrt(u * v) / 2, v, 1e10 * u);
  }
}

// The fit with its one repeat, in the peak or the Rietveld model.
void RunFitLoop(const std::string& caption, bool peaks) {
  TParameter& fit = *FitParameters;
  for (int32_t repeated = 0;; ++repeated) {
    if (OptionFlags[8]) EditParameterArray();
    if (peaks)
      fit.Fit(PeakFitModel, ShowFitProgress);
    else
      fit.Fit(RietveldModel, ShowFitProgress), TotalFitIterations += fit.Iterations;
    TraceCaption = caption;
    CheckFitAndWidenBounds(repeated);
    if (!peaks || repeated >= 1 || !(BoundsWidened || ControlsRelaxed)) break;
  }
}

// The widths of the simple step: W0 and W1 of each peak model in use.
void SetModelWidths(const TSpectrum& sp, int32_t n) {
  for (int32_t i = 2 * n + 7; i <= 2 * n + 18; ++i) Fix(parar[i], 0.0);
  int32_t models = 0;
  CheckPeakModelNumbers(models);
  // The widths at the beginning and the end of the range as the law's middle width and half change.
  const TWidthLaw law = WidthLawThrough(sp.W0, sp.W1);
  for (int32_t j = 1; j <= std::clamp(models, 0, 6); ++j) {
    Bounds(parar[2 * n + 6 + j], std::max(0.5, law.w0 - DeltaW0[1]), law.w0, law.w0 + DeltaW0[1]);
    Bounds(parar[2 * n + 12 + j], law.w1 - DeltaW1[1], law.w1, law.w1 + DeltaW1[1]);
  }
}

void CopyToEngine() {
  TParameter& fit = *FitParameters;
  for (int32_t i = 1; i <= fit.NPar; ++i) fit.Records[i] = parar[i];
}

}  // namespace

bool FirstStepOfRun() { return CurrentStep == std::max(1, isp1); }

void ScaleErrorsAndCopyBack() {
  TParameter& fit = *FitParameters;
  const double factor = std::sqrt(std::max(std::fabs(fit.ChiDf), 1.0));
  const int32_t n = std::min({fit.NPar, fit.RecordCapacity(), MaxParameters});
  for (int32_t i = 1; i <= n; ++i) {
    fit.Records[i].Error *= factor;
    parar[i] = fit.Records[i];
  }
}

void InitBackgroundParams(int32_t k) {
  const TSpectrum* s = SpectrumAt(CurrentSpectrum);
  if (!s || !TableIndexOk(k + 5, 1, MaxParameters, "parameter")) return;
  const TSpectrum& sp = *s;
  ParameterRecord* r = parar + k;  // r[0..5]
  for (int32_t i = 0; i < 6; ++i) Bounds(r[i], -1e12, 0.0, 1e12);
  const int32_t f = std::clamp(sp.WorkFirst, 0, MaxChannels - 2), l = std::clamp(sp.WorkLast, 2, MaxChannels);
  const double y1 = std::min({sp.Y[f], sp.Y[f + 1], sp.Y[f + 2]});
  const double y2 = std::min({sp.Y[l - 2], sp.Y[l - 1], sp.Y[l]});
  const int32_t degree = sp.BackgroundDegree;
  if (degree == -1) {
    for (int32_t i = 0; i < 6; ++i) Fix(r[i], 0.0);
  } else if (degree >= 0 && degree <= 5) {
    r[0].value = (y1 + y2) / 2;
    r[1].value = (y2 - y1) / 4;
    for (int32_t i = degree + 1; i <= 5; ++i) Fix(r[i], 0.0);
  } else if (degree == 6) {
    double ym = 0;
    for (int32_t c = f; c <= l; ++c) ym = std::max(ym, sp.Y[c]);
    const double mid = (f + l) / 2;  // integer division, as the channel midpoint
    if (TrevoAutoRun) {
      r[0].value = ym / 2;
      r[1].value = ym / 3;
      Fix(r[2], 0.0);
      Bounds(r[3], mid / 20, mid / 5, l / 2.0);
      Bounds(r[4], mid / 10, mid / 2, l);
    } else {
      r[0].value = (y1 + y2) / 2, r[0].lower = 1;
      r[1].value = ym, r[1].lower = 1;
      r[2].value = 0;
      r[3].value = mid / 2, r[3].upper = l;
      r[4].value = mid, r[4].lower = 1;
    }
    Fix(r[5], 0.0);
  }
}

void CheckFitAndWidenBounds(int32_t repeated) {
  TParameter& fit = *FitParameters;
  LogLine(TraceCaption + " Chi2/fd= " + FormatNumber(12, 2, fit.ChiDf) + "     chi2+=" + FormatNumber(8, 2, fit.ChiPlus));
  const double factor = BoundWideningPercent / 100.0 + 1;
  BoundsWidened = 0;
  ControlsRelaxed = 0;
  const int32_t npar = std::min({fit.NPar, fit.RecordCapacity(), MaxParameters});
  std::vector<uint8_t> excluded(static_cast<size_t>(npar) + 1, 0);
  auto exclude = [&](int32_t i) {
    if (i >= 1 && i <= npar) excluded[i] = 1;
  };
  const int32_t n = Peaks();
  if (MainMode == RietveldMode)
    for (int32_t p = 1; p <= Phases(); ++p) exclude(PhaseParameterOffset(p) + 8), exclude(PhaseParameterOffset(p) + 9);
  if (MainMode == PeakMode) exclude(2 * n + 7), exclude(2 * n + 13);
  if (BoundWideningPercent != 0 && fit.ParOnB != 0 && repeated < 1 && KeepParameterBounds) {
    BoundsWidened = 1;
    for (int32_t i = 1; i <= npar; ++i) {
      ParameterRecord& r = fit.Records[i];
      if (excluded[i] || r.lower == r.upper || r.n != i) continue;
      // Each bound moves away from the value, on either side of 0.
      if (r.value == r.lower)
        r.lower = r.lower > 0 ? r.lower / factor : r.lower * factor;
      else if (r.value == r.upper)
        r.upper = r.upper > 0 ? r.upper * factor : r.upper / factor;
    }
    if (MainMode == PeakMode && TrevoMode == 0)
      for (int32_t i = 1; i <= n && 6 + n + i <= npar; ++i) {
        ParameterRecord& r = fit.Records[6 + n + i];
        r.lower = std::max(TrevoPeakTable[i].lower, r.lower);
        r.upper = std::min(TrevoPeakTable[i].upper, r.upper);
      }
  }
  EvaluateFitQuality(fit);
  if (std::any_of(std::begin(fit.QualityFlags), std::end(fit.QualityFlags), [](uint8_t q) { return q != 0; })) {
    RelaxFitControls(fit.Controls());
    ControlsRelaxed = 1;
  }
}

bool RankFoundPeaks(const double* found, int32_t foundCount, int32_t n, const TSpectrum& sp, double* chosen) {
  if (foundCount <= n) return false;
  const int32_t m = std::min(foundCount, RankedPeakLimit);
  std::vector<int32_t> order(static_cast<size_t>(m));
  std::iota(order.begin(), order.end(), 1);
  std::stable_sort(order.begin(), order.end(),
                   [&](int32_t a, int32_t b) { return CountAt(sp, found[a]) > CountAt(sp, found[b]); });
  for (int32_t i = 1; i <= n; ++i) chosen[i] = found[order[i - 1]];
  std::sort(chosen + 1, chosen + n + 1);
  return true;
}

void SplitCloseBounds(int32_t n, double gap) {
  for (int32_t i = 1; i < n; ++i) {
    ParameterRecord &a = parar[6 + n + i], &b = parar[6 + n + i + 1];
    if (std::fabs(b.value - a.value) >= gap) continue;
    const double m = (a.value + b.value) / 2;
    a.upper = m - gap / 2;
    b.lower = m + gap / 2;
    for (ParameterRecord* r : {&a, &b}) {
      if (r->lower > r->upper) std::swap(r->lower, r->upper);
      // A start outside its own bounds would begin the fit on a wall it cannot leave.
      r->value = std::clamp(r->value, r->lower, r->upper);
    }
  }
}

void IdentifyReflections(int32_t n, const TSpectrum& sp) {
  for (int32_t p = 1; p <= Phases(); ++p)
    std::fill(std::begin(TrevoPhases[p].Amplitudes), std::end(TrevoPhases[p].Amplitudes), 0.0);
  for (int32_t i = 1; i <= n; ++i) {
    const double d = sp.ChannelToD(parar[6 + n + i].value);
    for (int32_t p = 1; p <= Phases(); ++p) {
      const int32_t count = std::clamp(TrevoPhases[p].ReflectionCount, 0, TrevoReflectionCapacity);
      int32_t best = 0;
      double distance = 1e17;
      for (int32_t j = 1; j <= count; ++j) {
        const double e = std::fabs(TrevoIdentificationD[j][p] - d);
        if (e <= distance) distance = e, best = j;  // the later of equal distances
      }
      if (best > 0 && distance < dref) {
        TrevoIdentificationD[best][p] = d;
        TrevoPhases[p].Amplitudes[best] = parar[6 + i].value;
      }
    }
  }
}

void FitSpectrumSimple(int32_t index) {
  TSpectrum* s = SpectrumAt(CurrentSpectrum);
  if (!s || !FitParameters) return;
  const ControlsKept controls;
  TSpectrum& sp = *s;
  MainMode = PeakMode;
  const int32_t n = Peaks();
  if (!SetUpPeakArray(sp)) return;
  if (PRFscale != 1 && PRFscale != 0)
    for (int32_t c = std::max(sp.WorkFirst, 0); c <= std::min(sp.WorkLast, MaxChannels); ++c)
      sp.Y[c] /= PRFscale, sp.E[c] /= PRFscale;

  // The peaks searched again; N stays.
  SetSpectrumRange();
  std::vector<double> found(MarkedPoints, MarkedPoints + std::clamp(MarkedPointCount, 0, MarkedPointCapacity) + 1);
  double chosen[TrevoPeakCapacity + 1] = {};
  if (!RankFoundPeaks(found.data(), static_cast<int32_t>(found.size()) - 1, n, sp, chosen))
    for (int32_t i = 1; i <= n; ++i) chosen[i] = TrevoPeakTable[i].reference;
  MarkedPointCount = n;
  for (int32_t i = 1; i <= n; ++i) {
    // A row without a model number (0) takes model 1; other numbers CheckPeakModelNumbers judges.
    const double m = TrevoPeakTable[i].model;
    MarkedPoints[i] = chosen[i];
    MarkedPointModels[i] = m >= 1 && m <= 1e6 ? static_cast<int32_t>(std::nearbyint(m)) : 1;
  }
  SetAmplitudes(sp);

  for (int32_t i = 1; i <= n; ++i) {
    const TTrevoPeak& t = TrevoPeakTable[i];
    const double start = FirstStepOfRun() ? chosen[i] : Regulizer * t.previous + (1 - Regulizer) * chosen[i];
    Bounds(parar[6 + n + i], t.lower, std::min(std::max(start, t.lower), t.upper), t.upper);
  }
  SetModelWidths(sp, n);
  {
    FitWindow window;
    ParameterNames();
    FitParameters->CompressedMatrix = 1;
    CopyToEngine();
    RunFitLoop(" Simple FITRA:  ", true);
    ScaleErrorsAndCopyBack();
  }
  for (int32_t i = 1; i <= n; ++i) TrevoPeakTable[i].previous = parar[6 + n + i].value;
  FitPending[PeakMode] = 0;
  ShowSequenceStep(3);
  if (FullResultOutput) ShowFitraShortOutput(index);
}

void FitSpectrumFitra(int32_t index) {
  TSpectrum* s = SpectrumAt(CurrentSpectrum);
  if (!s || !FitParameters) return;
  const ControlsKept controls;
  TSpectrum& sp = *s;
  MainMode = PeakMode;
  PrepareSequenceAnalysis(3);
  if (!TrevoAutoRun && index >= 1 && index <= SequenceStepCapacity) {
    const TSequenceStepPeaks& saved = SequenceStepPeaks[index];
    MarkedPointCount = std::clamp(saved.count, 0, TrevoPeakCapacity);
    for (int32_t i = 1; i <= MarkedPointCount; ++i) MarkedPoints[i] = saved.positions[i];
  }
  const int32_t n = Peaks();
  MarkedPointCount = n;
  if (!SetUpPeakArray(sp)) return;
  FitParameters->CompressedMatrix = 1;
  SetAmplitudes(sp);
  const double reach = TrevoAutoRun ? sp.W0 : 3.0;
  for (int32_t i = 1; i <= n; ++i) Bounds(parar[6 + n + i], MarkedPoints[i] - reach, MarkedPoints[i], MarkedPoints[i] + reach);
  if (WidthMode == -1) {
    for (int32_t i = 1; i <= n; ++i) Bounds(parar[2 * n + 6 + i], 1, sp.W0, 5000);
  } else {
    for (int32_t i = 2 * n + 7; i <= 2 * n + 18; ++i) Fix(parar[i], 0.0);
    if (n > 0) {
      const TWidthLaw law = WidthLawThrough(sp.W0, sp.W1);
      Bounds(parar[2 * n + 7], 1, law.w0, 5000);
      Bounds(parar[2 * n + 13], -10000, law.w1, 10000);
    }
  }
  SplitCloseBounds(n, TrevoAutoRun ? 2.0 : 1.0);
  {
    FitWindow window;
    ParameterNames();
    CopyToEngine();
    RunFitLoop(" FITRA:  ", true);
    ScaleErrorsAndCopyBack();
  }
  FitPending[PeakMode] = 0;
  IdentifyReflections(n, sp);
  for (int32_t p = 1; p <= Phases(); ++p) RefineCellFromReflections(p);
  ShowSequenceStep(3);
  if (FullResultOutput || ShortFitraOutput) ShowFitraShortOutput(index);
  if (index >= 1 && index <= SequenceCapacity) LastAnalysedSpectrumName = SequenceFileNames[index].substr(0, 75);
  if (TrevoAutoRun) {
    CalibrationSpectrumName = LastAnalysedSpectrumName;
    AutoCalibration(n, CalibrationPointCount);
  }
}

void FitSpectrumRietveld(int32_t index) {
  (void)index;
  TSpectrum* s = SpectrumAt(CurrentSpectrum);
  if (!s || !FitParameters) return;
  TSpectrum& sp = *s;
  TParameter& fit = *FitParameters;
  const ControlsKept controls;
  fit.NPoints = sp.WorkLast - sp.WorkFirst + 1;
  PrepareSequenceAnalysis(0);
  BoundWideningPercent = 25;
  MainMode = RietveldMode;
  DialogHint = "Rietveld analysis";
  int32_t n = 0;
  CountParameters(n, MainMode);
  fit.NPar = std::clamp(n, 0, fit.RecordCapacity());
  if (!UseAvailableParameterArray && FirstStepOfRun()) {
    PrepareParameterArrayQuiet();
    if (DialogOk == 0) return;
  }
  for (int32_t p = 1; p <= Phases(); ++p) {
    const int32_t o = PhaseParameterOffset(p);
    if (o + 7 > fit.NPar) break;
    double scale = fit.Records[o + 1].value;
    EstimatePhaseScale(p, scale);  // refreshes the phase's mean reflection value; not applied
    PhaseMetric(p);
    const std::array<double, 6> g = MetricRecordOrder(PhaseTable[p].Metric);
    for (int32_t i = 0; i < 6; ++i) {
      ParameterRecord& r = fit.Records[o + 2 + i];
      if (r.lower == r.upper) {
        Fix(r, g[i]);
      } else {
        r.value = g[i];
        r.lower = std::min(r.lower, g[i]), r.upper = std::max(r.upper, g[i]);
      }
    }
  }
  {
    fit.Controls() = DefaultFitControls;
    fit.PrintInterval = OptionFlags[0] ? 1 : 0;
    FitWindow window;
    fit.CompressedMatrix = 1;
    RunFitLoop(" RIETVELD:  ", false);
    ScaleErrorsAndCopyBack();
  }
  FitPending[RietveldMode] = 0;
  ShowRietveldOutput(0, FullResultOutput);
  ShowSequenceStep(0);
}

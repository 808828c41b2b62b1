// The Rietveld parameter array of a sequence step, prepared by fixed rules without questions. It
// shares the reset, the scale estimate, the widths, the magnetic rows, the crystal-system ties and
// the free-parameter check with the preparation that asks, so the two cannot drift apart; it
// differs where a sequence wants it: the delay is fixed and the cross terms of the metric get
// twice the cell percentage.
#include <algorithm>
#include <cmath>
#include <string>
#include "core/dialog_state.h"
#include "core/fit_engine.h"
#include "core/messages.h"
#include "core/mode_flags.h"
#include "core/model_tables.h"
#include "core/parameter_layout.h"
#include "core/spectra_utilities.h"
#include "core/spectrum.h"
#include "core/cell_metric.h"
#include "crystal/metric_constraints.h"
#include "crystal/model_checks.h"
#include "crystal/parameter_preparation.h"
#include "evolution/trevo_state.h"

namespace {

constexpr int32_t RietveldMode = 0;
constexpr int32_t ModeMask = 13;  // Rietveld, powder match and Fitra
constexpr double SnapLimit = 2e-8;  // rounding noise of the metric

void Fix(ParameterRecord& r, double v) { r.lower = r.value = r.upper = v; }

// Records 1..10 from the current spectrum: instrument constants fixed, the delay too.
void SetInstrumentRecords(const TSpectrum& sp) {
  // Record 1 is the wavelength of an angular spectrum, which the model reads there.
  Fix(parar[1], sp.AxisKind == AxisAngular ? sp.Lambda : sp.FlightPath);
  Fix(parar[2], 0.0);
  Fix(parar[3], sp.Delay);
  BackgroundToParameters(4);
  SetSpectrumCorrectionRecord(sp);
}

// A, B, C within c per cent, the cross terms within 2c per cent, then the crystal system's ties.
void SetMetricRecords(int32_t p, int32_t base) {
  PhaseMetric(p);
  const LATTICE& phase = PhaseTable[p];
  const std::array<double, 6> g = MetricRecordOrder(phase.Metric);
  const double c = phase.CellAccuracy;
  for (int32_t i = 0; i < 6; ++i) {
    const double q = (i < 3 ? c / 100 : c / 50);
    ParameterRecord& r = parar[base + 2 + i];
    r.value = g[i];
    r.lower = std::min(g[i] * (1 - q), g[i] * (1 + q));
    r.upper = std::max(g[i] * (1 - q), g[i] * (1 + q));
  }
  ApplyMetricConstraints(parar, base + 2, phase.CrystalSystem, MetricSetting(phase));
}

}  // namespace

void PrepareParameterArrayQuiet() {
  TSpectrum* spectrum = SpectrumAt(CurrentSpectrum);
  if (!spectrum || !FitParameters) return;
  TSpectrum& sp = *spectrum;
  const int32_t mode = std::clamp(MainMode, 0, ModeCount - 1);
  TParameter& fit = *FitParameters;
  int32_t n = 0;
  CountParameters(n, mode);
  n = std::clamp(n, 0, std::min(MaxParameters, fit.RecordCapacity()));
  fit.NPar = n;

  ResetParameterRows(n);
  FitPending[mode] = 1;
  SetInstrumentRecords(sp);
  const int32_t phases = std::clamp(PhaseCount, 0, MaxPhases);
  for (int32_t p = 1; p <= phases; ++p) {
    const int32_t base = PhaseParameterOffset(p);
    if (!TableIndexOk(base + 10, 1, n, "parameter")) return;
    if (!SetPhaseScaleRecord(p, base, sp)) {
      // The fit would run on whatever the engine held: the sequence stops instead.
      DialogOk = 0;
      return;
    }
    SetMetricRecords(p, base);
    SetPhaseWidthRecords(base, sp);
    if (mode == RietveldMode) SetAtomParameterRows(p, base), FixFloatingOrigin(p, base);
  }
  // The equivalent positions, moments and phase links are answers of the preparation's dialog;
  // without it they stay off.
  if (AnisotropyOn || M2Mode) SetAnisotropyRows();
  SetMagneticRows();
  ResolveTies(parar, n);
  ParameterNames();
  SetParametersPending(ModeMask, 1);
  ParametersPending[mode] = 0;
  SetFitPending(ModeMask, 1);
  if (mode != RietveldMode)
    for (int32_t p = 1; p <= phases; ++p) Fix(parar[PhaseParameterOffset(p) + 1], 1.0);

  for (int32_t i = 1; i <= n; ++i) {
    ParameterRecord& r = parar[i];
    for (double* x : {&r.value, &r.lower, &r.upper})
      if (std::fabs(*x) < SnapLimit) *x = 0;
    fit.Records[i] = r;
  }
  ParameterArrayMode = mode;
  PreparedParameterCount = n;
  if (!FreeParameterCountAllowed(fit)) return;
  // The scaling compares the model of the engine's records with the spectrum: after the copy.
  if (mode == RietveldMode) CorrectScaling();
}

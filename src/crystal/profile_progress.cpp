// The shared sums of the profile model, 1/d^2 from the metric records, the stored metric and the
// progress procedure of the profile fits.
#include <algorithm>
#include <cmath>
#include <string>
#include "core/cell_geometry.h"
#include "core/dialog_toolkit.h"
#include "core/fit_engine.h"
#include "core/model_tables.h"
#include "core/number_format.h"
#include "core/parameter_layout.h"
#include "core/settings_file.h"
#include "core/small_routines.h"
#include "core/spectrum.h"
#include "crystal/model_options.h"
#include "crystal/profile_model.h"
#include "core/spectra_utilities.h"

double RFactorP[RFactorSpectra] = {};
double RFactorB[RFactorSpectra] = {};
double RFactorW[RFactorSpectra] = {};
double RFactorE[RFactorSpectra] = {};
double SumAbsObserved[RFactorSpectra] = {};
double SumWeightedObservedSquares[RFactorSpectra] = {};
int32_t TotalFitIterations = 0;

double InverseDSquaredTerms(const double (&g)[6], bool reciprocalForm, int32_t h, int32_t k, int32_t l,
                            double (&dQ)[6]) {
  const double hd = h, kd = k, ld = l;
  if (!reciprocalForm) {
    dQ[0] = hd * hd, dQ[1] = kd * kd, dQ[2] = ld * ld;
    dQ[3] = kd * ld, dQ[4] = hd * ld, dQ[5] = hd * kd;
    return g[0] * dQ[0] + g[1] * dQ[1] + g[2] * dQ[2] + g[3] * dQ[3] + g[4] * dQ[4] + g[5] * dQ[5];
  }
  // a*, b*, c*, cos alpha*, cos beta*, cos gamma*.
  const double ha = hd * g[0], kb = kd * g[1], lc = ld * g[2];
  dQ[0] = 2 * (hd * ha + ld * hd * g[2] * g[4] + hd * kd * g[1] * g[5]);
  dQ[1] = 2 * (kd * kb + kd * ld * g[2] * g[3] + hd * kd * g[0] * g[5]);
  dQ[2] = 2 * (ld * lc + kd * ld * g[1] * g[3] + hd * ld * g[0] * g[4]);
  dQ[3] = 2 * kb * lc;
  dQ[4] = 2 * ha * lc;
  dQ[5] = 2 * ha * kb;
  return ha * ha + kb * kb + lc * lc + 2 * (kb * lc * g[3] + ha * lc * g[4] + ha * kb * g[5]);
}

void HklInverseDSquared(int32_t base, int32_t phase, int32_t reflection, double& Q1, double& Q2) {
  Q1 = Q2 = 0;
  if (!FitParameters || phase < 1 || phase > MaxPhases || reflection < 1 || reflection > MaxReflections ||
      base + 2 < 1 || base + 7 > FitParameters->RecordCapacity())
    return;
  const THklRecord& r = HklTable[reflection][phase];
  double g[6], dQ[6];
  for (int32_t i = 0; i < 6; ++i) g[i] = FitParameters->Records[base + 2 + i].value;
  Q1 = Q2 = InverseDSquaredTerms(g, OptionFlags[10] != 0, r.h, r.k, r.l, dQ);
}

void StoreCurrentMetric(int32_t phase) {
  // Only the profile layouts hold metric records (a peak fit's records there are peaks).
  if (!FitParameters || phase < 1 || phase > MaxPhases || (MainMode != 0 && MainMode != 2)) return;
  const auto& rec = FitParameters->Records;
  const int32_t capacity = FitParameters->RecordCapacity();
  const int32_t b = PhaseParameterOffset(phase);
  if (b + 7 > capacity) return;
  LATTICE& p = PhaseTable[phase];
  double v[6];
  for (int32_t i = 0; i < 6; ++i) v[i] = rec[b + 2 + i].value;
  if (OptionFlags[10] != 0) {
    // The records hold the reciprocal cell: the metric made from it.
    p.Metric[0] = v[0] * v[0], p.Metric[1] = v[1] * v[1], p.Metric[2] = v[2] * v[2];
    p.Metric[3] = 2 * v[0] * v[1] * v[5];
    p.Metric[4] = 2 * v[0] * v[2] * v[4];
    p.Metric[5] = 2 * v[1] * v[2] * v[3];
  } else {
    p.Metric[0] = v[0], p.Metric[1] = v[1], p.Metric[2] = v[2];
    p.Metric[3] = v[5], p.Metric[4] = v[4], p.Metric[5] = v[3];
  }
  if (PhaseModelFlags[phase] == 1) {
    const int32_t m = ParameterCount(0) + 3 * (phase - 1);
    if (m + 3 <= capacity)
      for (int32_t i = 0; i < 3; ++i) p.MomentDirection[i] = rec[m + 1 + i].value;
  }
}

void ShowFitProgress(int32_t) {
  const TParameter* fit = FitParameters.get();
  std::string chi = FormatNumber(25, 2, fit ? fit->ChiDf : 0.0);
  DeleteSpaces(chi);
  std::string name;
  const int32_t s = CurrentSpectrum;
  if (const TSpectrum* sp = SpectrumOrNull(s)) {
    name = sp->Name;
    const size_t slash = name.find_last_of("/\\");
    if (slash != std::string::npos) name.erase(0, slash + 1);
    if (name.size() > 20) name = "..." + name.substr(name.size() - 20);
  }
  const std::string line1 =
      " Iteration= " + std::to_string(fit ? fit->Iterations : 0) + "     Chi2= " + chi;
  const std::string line2 = "   Spec=" + name;
  for (int32_t p = 1, n = std::clamp(PhaseCount, 0, MaxPhases); p <= n; ++p) StoreCurrentMetric(p);
  if (StopButtonOption != 0) {
    DialogCaption = ModeNames[std::clamp(MainMode, 0, ModeCount - 1)];
    PlaceLabel(Form2.Label1, 15, 30, line1, WhiteColor, TextBackgroundColor);
    PlaceLabel(Form2.Label2, 50, 50, line2, YellowColor, TextBackgroundColor);
    // One pass of the window system: the STOP button reaches the engine here.
    TimerYield();
  } else {
    Form2.caption = line1 + line2;
  }
}

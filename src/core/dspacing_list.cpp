#include "core/dspacing_list.h"
#include <utility>
#include "core/messages.h"
#include "core/model_tables.h"
#include "core/number_format.h"
#include "core/small_routines.h"
#include "core/spectra_utilities.h"
#include "core/spectrum.h"

double DefaultDError = 0.001;

void AssignDSpacings() {
  int32_t n = CappedCount(DSpacingCount, MaxDSpacings, "d-spacing");
  TDSpacingRecord* list = DSpacingList;  // [1..n]
  for (int32_t pass = 1; pass < n; ++pass)
    for (int32_t i = 1; i < n; ++i)
      if (list[i].d <= list[i + 1].d) std::swap(list[i], list[i + 1]);
  for (int32_t i = 1; i <= n; ++i) {
    const TDSpacingRecord& r = list[i];
    if (r.d <= 0 || r.Error < 0 || r.X < 0)
      ShowMsg("Warning, d-spacing= d=" + FormatNumber(10, 4, r.d) + " e=" + FormatNumber(10, 4, r.Error) +
              " x=" + FormatNumber(10, 2, r.X));
  }
  for (int32_t i = 1; i < n; ++i)
    if (list[i].d == list[i + 1].d) list[i].d = 0;
  int32_t kept = 0;
  for (int32_t i = 1; i <= n; ++i)
    if (list[i].d != 0) list[++kept] = list[i];
  DSpacingCount = kept;
  double sum = 0;
  for (int32_t i = 1; i <= kept; ++i) sum += list[i].Error;
  AverageDError = sum / MaxI(kept, 1);
  if (sum == 0) {
    DefaultDError = MaxD(1e-5, DefaultDError);
    ShowMsg("D-errors = 0. Assigned " + FormatNumber(8, 5, DefaultDError));
    for (int32_t i = 1; i <= kept; ++i) list[i].Error = DefaultDError;
    AverageDError = DefaultDError;
  }
  // A zero error left beside positive ones takes the default too: the indexing weights each
  // line by 1/error^2.
  for (int32_t i = 1; i <= kept; ++i)
    if (list[i].Error == 0) list[i].Error = DefaultDError;
}

void DRangeToChannels(double& dFirst, double& dLast) {
  TSpectrum* sp = SpectrumAt(CurrentSpectrum);
  if (!sp) return;
  int32_t first, last;
  WorkingRange(*sp, first, last);
  if (sp->AxisKind == AxisTimeOfFlight) {
    dFirst = sp->ChannelToD(MaxI(first - 3, sp->FirstChannel));
    dLast = sp->ChannelToD(MinI(last + 3, sp->LastChannel));
  } else if (sp->AxisKind == AxisAngular) {
    dFirst = sp->ChannelToD(first);
    dLast = sp->ChannelToD(last);
  } else {
    return;
  }
  OrderD(dFirst, dLast);
}

int32_t PhaseReflectionAverage(int32_t k) {
  if (!TableIndexOk(k, 1, MaxPhases, "phase")) return 1;
  LATTICE& phase = PhaseTable[k];
  int32_t n = CappedCount(phase.ReflectionCount, MaxReflections, "reflection");
  double sum = 0;
  for (int32_t j = 1; j <= n; ++j) sum += HklTable[j][k].Multiplicity;
  int32_t divisor = MaxI(n, 1);
  phase.MeanMultiplicity = sum / divisor;
  return divisor;
}

void EstimatePhaseScale(int32_t k, double& scale) {
  TSpectrum* sp = SpectrumAt(CurrentSpectrum);
  if (!sp || !TableIndexOk(k, 1, MaxPhases, "phase")) return;
  int32_t first, last;
  WorkingRange(*sp, first, last);
  double ymax = 0;
  for (int32_t c = first; c <= last; ++c) ymax = MaxD(ymax, sp->Y[c]);
  PhaseReflectionAverage(k);
  const LATTICE& phase = PhaseTable[k];
  double v = (phase.OperationCount + 1) * phase.MeanMultiplicity * (phase.CentringCount + 1);
  scale = ymax / MaxD(1.0, v * v);
}

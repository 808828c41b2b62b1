// The start values of the phase-evolution module and its three default phases.
#include <algorithm>
#include "core/cell_geometry.h"
#include "core/cell_metric.h"
#include "core/model_tables.h"
#include "core/spectra_utilities.h"
#include "evolution/trevo_state.h"

namespace {

struct TDefaultPhase {
  const char* name;
  int32_t count;
  double d[3];     // identification d-spacings (angstrom); entries past count are kept
  double cell[6];  // angstrom, degrees
};

// Graphite (101), (002); FePO4 and LiFePO4 (Pnma) strong lines.
const TDefaultPhase DefaultPhases[3] = {
    {"C-graphite", 2, {2.0321, 3.3512, 0}, {2.4623, 2.4623, 6.7025, 90, 90, 120}},
    {"FePO4", 3, {1.4473, 3.6864, 3.7433}, {9.814199, 5.789299, 4.782, 90, 90, 90}},
    {"LiFePO4", 1, {1.4237, 3.0013, 3.0013}, {10.322, 6.0027, 4.6916, 90, 90, 90}},
};

}  // namespace

void InitTrevoDefaults() {
  ReverseSequence = 0;
  ReflectionsToPeaks = 0;
  CorrectForEffectiveSpectrum = 1;
  ZeroWeightedCounts = 0;
  PrintEmpiricHalfwidths = 0;
  FullResultOutput = 0;
  UseAvailableParameterArray = 1;
  DialogWhileFitting = 1;
  KeepParameterBounds = 0;
  ShortFitraOutput = 0;
  SuppressExponentialBackground = 0;
  Regulizer = 0.1;
  ShortOutputPeakCount = 1;
  ShortOutputPeaks[1] = {1, 1000, 1, 16000, 60};
  TrevoZeroWeightIntervals = {};
  TrevoMode = 2;
  SpectraOnlySequence = 1;
  SequenceCount = 0;
  dref = 0.01;
  ucdif = 0.5;
  compr = 1.0;
  PRFscale = 1.0;
  TrevoAutoRun = 0;

  for (auto& row : TrevoIdentificationD) std::fill(std::begin(row), std::end(row), 0.0);
  for (int32_t p = 1; p <= 3; ++p) {
    const TDefaultPhase& def = DefaultPhases[p - 1];
    TTrevoPhase& t = TrevoPhases[p];
    t.Name = def.name;
    t.ReflectionCount = def.count;
    for (int32_t j = 1; j <= 3; ++j) {
      t.CalculatedD[j] = def.d[j - 1];
      TrevoIdentificationD[j][p] = def.d[j - 1];
    }
    // The cell stands in the phase table with its reciprocal cell, volume and metric; the
    // crystal system stays as the start-up set it.
    LATTICE& ph = PhaseTable[p];
    std::copy(def.cell, def.cell + 6, ph.Cell);
    double reciprocalVolume = 0;
    CellMetric(ph.Cell, ph.ReciprocalCell, reciprocalVolume, 0);
    ph.ReciprocalVolume = reciprocalVolume;
    ph.Volume = CellVolume(ph.Cell);
    PhaseMetric(p);
    std::copy(ph.Cell, ph.Cell + 6, t.Cell);
    std::copy(ph.ReciprocalCell, ph.ReciprocalCell + 6, t.ReciprocalCell);
    t.Volume = ph.Volume;
  }
}

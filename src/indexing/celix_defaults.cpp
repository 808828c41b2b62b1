// The indexing module's settings with their start values, the default bins of the grid trials and
// the test that every phase has enough lines.
#include <algorithm>
#include <cmath>
#include "core/neighbour_services.h"
#include "indexing/indexing_model.h"
#include "indexing/indexing_preparation.h"
#include "indexing/indexing_state.h"
#include "indexing/taulsm.h"

const std::string IndexingTitle = "Powder Indexing";
const LREC IndexingModeOptions = [] {
  LREC r;
  r.captions[1] = " Indexing only";
  r.captions[2] = " Full powder indexing";
  r.captions[3] = " Unit cell determination";
  r.count = 3;
  r.defaultItem = 2;
  return r;
}();

double VolumeWeights[MaxPhases + 1];
int32_t MinimizerKind = 0;
uint8_t AutoHklBounds = 1;
uint8_t AutoCellVolume = 1;
uint8_t AutoInitCell = 1;
int32_t BinCounts[MaxPhases + 1][7];
int32_t BinTriesDefault = 1;
int32_t MinimumPhaseLines[MaxPhases + 1];
int32_t PhaseLineCount[MaxPhases + 1];
std::string DSpacingFileName;

int32_t SystemMinimumLines(int32_t system) {
  switch (system) {
    case 1: return 7;
    case 2: return 5;
    case 3: return 4;
    default: return 3;
  }
}

void SetDefaultBins(int32_t phase, int32_t system) {
  if (phase < 1 || phase > MaxPhases) return;
  int32_t* bins = BinCounts[phase];
  if (BinDefaultsSet == 0) {
    std::fill(bins + 1, bins + 7, 1);
    const bool first = phase == 1;
    switch (system) {
      case 1:
        std::fill(bins + 1, bins + 4, 8);
        std::fill(bins + 4, bins + 7, 2);
        break;
      case 2:
        std::fill(bins + 1, bins + 4, 10);
        bins[5] = 5;
        break;
      case 3:
        std::fill(bins + 1, bins + 4, first ? 16 : 4);
        break;
      case 4:
      case 6: {
        // A c reaching further than a (screw axes) gets as many more bins: the same bin width.
        const int32_t type = PhaseTable[phase].LatticeType;
        const double longer = EdgeReach(phase, system, type, 3) / EdgeReach(phase, system, type, 1);
        bins[1] = first ? 40 : 4;
        bins[3] = static_cast<int32_t>(std::nearbyint(bins[1] * longer));
        break;
      }
      case 5:
        bins[1] = first ? 50 : 5;
        break;
      case 7:
        bins[1] = 40;
        bins[4] = 60;  // alpha 45 to 120 degrees
        break;
      default:
        break;
    }
    BinTriesDefault = 1;
    if (phase >= PhaseCount) BinDefaultsSet = 1;
  }
  const int32_t base = 6 * (phase - 1);
  for (int32_t m = 1; m <= 6 && base + m <= GridTrialCapacity; ++m) GridTrialRanges[base + m].binCount = bins[m];
  if (CelixFitter) CelixFitter->TriesPerBin = BinTriesDefault;
}

void EnoughLinesPerPhase(bool& ok) {
  RecalcIndexingData();
  const int32_t phases = std::clamp(PhaseCount, 0, MaxPhases);
  std::fill(std::begin(PhaseLineCount), std::end(PhaseLineCount), 0);
  for (int32_t i = 1, n = std::clamp(DSpacingCount, 0, MaxDSpacings); i <= n; ++i) {
    const TDSpacingRecord& line = DSpacingList[i];
    if (line.Assigned && line.Phase >= 1 && line.Phase <= phases) ++PhaseLineCount[line.Phase];
  }
  if (phases == 1) {
    ok = true;
    return;
  }
  for (int32_t p = 1; p <= phases; ++p) ok = ok && PhaseLineCount[p] >= MinimumPhaseLines[p];
}

void InitCelixDefaults() {
  DSpacingSource = 1;
  RefineMarkedPositions = 1;
  DSpacingFileName.clear();
  DisplayCurrentFit = 1;
}

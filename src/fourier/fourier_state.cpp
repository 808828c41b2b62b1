// State of the Fourier synthesis and its small shared routines.
#include "fourier/fourier_state.h"
#include <algorithm>
#include "core/dialog_state.h"
#include "core/model_tables.h"
#include "core/text_file.h"

std::vector<FOURIERTERM> FourierIndexList;
int32_t MapNX = MapPoints, MapNY = MapPoints, MapNZ = MapPoints;
int32_t FixedAxis = 0;
int32_t FourierAction = 0;
int32_t FourierTermCount = 0;
double ObservedAmplitudeSum = 0, CalculatedAmplitudeSum = 0;
uint8_t LogOption = 1, MakeAtomsOption = 0;
double MapMax = 0, MapMin = 0;
double ResolutionX = 0, ResolutionY = 0, ResolutionZ = 0;
double CurrentPoint[3] = {};
double NearestPeakDistance = 1e16;
std::vector<std::string> FourierNotes;

void FourierLogLine() {
  if (LogOption != 0) LogLine(DialogHint);
  AddInfoLine(DialogHint);
}

void MapSymmetryOf(int32_t phase, TMapSymmetry& s) {
  s = TMapSymmetry{};
  for (int32_t a = 0; a < 3; ++a) s.R[0][a][a] = 1.0;
  if (phase < 1 || phase > MaxPhases) return;
  const LATTICE& p = PhaseTable[phase];
  if (p.SpaceGroup == 0) return;
  s.centrosymmetric = p.Centrosymmetric != 0;
  const int32_t ops = std::clamp(p.OperationCount, 0, MaxOperations);
  if (ops >= 1) {
    s.ops = ops;
    for (int32_t o = 0; o < ops; ++o)
      for (int32_t r = 0; r < 3; ++r) {
        s.t[o][r] = p.Translations[r][o + 1];
        for (int32_t c = 0; c < 3; ++c) s.R[o][r][c] = p.Rotations[r][c][o + 1];
      }
  }
  s.centrings = 1 + std::clamp(p.CentringCount, 0, 3);
  for (int32_t v = 1; v < s.centrings; ++v)
    for (int32_t r = 0; r < 3; ++r) s.c[v][r] = p.CentringVectors[r][v];
}

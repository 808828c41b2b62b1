// The phase records of the phase-evolution module that the core reads: per phase its name, its
// identification reflections with their calculated d and fitted amplitudes, the carried cell, and
// the table of identification d-spacings.
#pragma once
#include <cstdint>
#include <string>
#include "core/model_tables.h"

constexpr int32_t TrevoPhaseCount = MaxPhases;  // one record per phase of PhaseTable
constexpr int32_t TrevoReflectionCapacity = 60;
constexpr int32_t TrevoIdentificationRows = 75;
constexpr size_t TrevoNameLength = 75;

struct TTrevoPhase {
  std::string Name;                                  // at most 75 characters
  int32_t ReflectionCount = 0;                       // identification reflections in use
  double CalculatedD[TrevoReflectionCapacity + 1] = {};  // [1..60] from the carried cell (angstrom)
  double Amplitudes[TrevoReflectionCapacity + 1] = {};   // [1..60] fitted in this step, 0 = none
  THklRecord Reflections[TrevoReflectionCapacity + 1] = {};  // [1..60], copied from HklTable
  double Cell[6] = {};             // the carried cell: a, b, c (angstrom), angles (degrees)
  double ReciprocalCell[6] = {};   // a*, b*, c* (1/angstrom), alpha*, beta*, gamma* (degrees)
  double Volume = 0;
  double WorkingValues[2] = {};    // two working values of the cell refinement
  double PhaseScale = 0;           // the phase scale of the last Rietveld step
};
extern TTrevoPhase TrevoPhases[TrevoPhaseCount + 1];  // [1..6]
// [reflection 1..75][phase 1..6]: the identification d-spacing (angstrom) of each reflection,
// replaced by the measured d when a fitted peak is assigned to it.
extern double TrevoIdentificationD[TrevoIdentificationRows + 1][TrevoPhaseCount + 1];

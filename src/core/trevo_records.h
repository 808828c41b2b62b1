// The phase records of the phase-evolution module that the core reads: per phase its carried
// cell and its identification reflections, and the table of identification d-spacings.
#pragma once
#include <cstdint>
#include "core/model_tables.h"

constexpr int32_t TrevoPhaseCount = 3;
constexpr int32_t TrevoReflectionCapacity = 60;

struct TTrevoPhase {
  int32_t ReflectionCount = 0;     // identification reflections in use
  double Cell[6] = {};             // the carried cell: a, b, c (angstrom), angles (degrees)
  double ReciprocalCell[6] = {};   // a*, b*, c* (1/angstrom), alpha*, beta*, gamma* (degrees)
  double Volume = 0;
  THklRecord Reflections[TrevoReflectionCapacity + 1] = {};  // [1..60], copied from HklTable
};
extern TTrevoPhase TrevoPhases[TrevoPhaseCount + 1];  // [1..3]
// [reflection 1..60][phase 1..3]: the d-spacing (angstrom) of each identification reflection.
extern double TrevoIdentificationD[TrevoReflectionCapacity + 1][TrevoPhaseCount + 1];

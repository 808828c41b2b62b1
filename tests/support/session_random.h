// The random state a started session leaves for the commands that follow: the program's first
// seeds, then the session start's own draws (the random test atoms of every phase, drawn by the
// model reset and again by the session start itself; tests/mainwin/session_test.cpp holds this
// to what a started session leaves).
#pragma once
#include <cstdint>
#include "core/model_tables.h"
#include "core/numeric_arrays.h"
#include "core/random.h"
#include "support/keep_values.h"

// The generator as a new session leaves it; shift1 and shift2 move the first seeds (other
// sessions' states). The atom table is put back. False when the seeds are refused.
inline bool SeedAsStartedSession(int32_t shift1 = 0, int32_t shift2 = 0) {
  if (!SetRandomSeeds(InitialRandomSeed1 + shift1, InitialRandomSeed2 + shift2)) return false;
  KeepValues<ATOM> atoms{&AtomTable[0][0], (MaxAtoms + 1) * (MaxPhases + 1)};
  RandomizeAtoms();  // the model reset's
  RandomizeAtoms();  // the session start's
  return true;
}

// Small operations the preparation, the refinement menu and the crystal entry share: ties between
// records, links between phases, the scaling correction, the interval and reflection-list checks.
#pragma once
#include <cstdint>
#include "core/fit_engine.h"

// Ties record i of records to record master (value = a * value[master] + b), always to an
// independent master: when master is itself tied, the tie goes to its master with a and b composed.
// Value and bounds of record i are derived from the master as the engine derives them. Masters
// precede their dependents (1 <= master < i); a tie that would come back to i itself, or to no
// record, is not made.
void TieToMaster(ParameterRecord* records, int32_t i, int32_t master, double a = 1.0, double b = 0.0);
// Points every tie among records 1..count at an independent master (one ascending pass).
void ResolveTies(ParameterRecord* records, int32_t count);
// The dialog loop that ties the scale, metric or width records of a right phase to those of a
// left phase, in parar and in the engine's records; fixed right records stay as they are.
void LinkPhases();
// Compares the spectrum's maximum over the working interval with the Rietveld model's over its
// odd channels and, when the user agrees, multiplies every phase's scale record by the ratio.
void CorrectScaling();
// ok := 1 for an interval of at least three and at most 32768 channels; otherwise the message
// (also left in StatusMessage) is shown and ok := 0.
void CheckInterval(int32_t first, int32_t last, uint8_t& ok);
// DialogOk := 1 when every phase has atoms (Rietveld) and 1..2000 reflections; otherwise 0 with
// the last problem in StatusMessage. Stops at the first phase without reflections; shows nothing.
void CheckPhaseHkls();

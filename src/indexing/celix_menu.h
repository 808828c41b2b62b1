// The menu of the powder indexing and its Make step: the search controls, the grid-trial bins,
// the searches until the user is satisfied, the cells written back into the phases and the run's
// block in the result file.
#pragma once
#include <cstdint>

// CelixMain (core/neighbour_services.h): the 13 steps, each followed by the next sensible one.
void MakeIndexing();
// The dialog window as the small live-fit window, without its STOP button, shown without waiting.
void StopFitDisplay();
// VolumeWeights from the current edges: v = abc / lines, 1 / max(v^0.677777, 1) for the
// minimiser kind 0, 1 / max(v, 1) for kind 1.
void SetVolumeWeights();
// TriesPerBin x the product of every bin count of the phases, in 64 bits.
int64_t TotalGridTries();
// Every phase's cell, volume, metric and cell errors from the fitter's records; a monoclinic
// phase in setting 1 (c unique) takes its c-unique form.
void UpdatePhaseCells();
// The block of the run in LogFile: the mode, per phase the minimiser, bounds and reflections,
// the number of trials.
void WriteIndexingLog();

// Peaks of the Fourier map: the grid test, the refinement on the series, the merges, and the
// matching of the peaks with the declared atoms.
#pragma once
#include <cstdint>
#include "fourier/fourier_state.h"

// The peak test of grid point (i, j, k) of FourierMap (1-based).
bool IsMapMaximum(int32_t i, int32_t j, int32_t k);
// Fills FourierPeaks from the map and the series of n terms of phase `phase`.
void FindMapPeaks(int32_t n, int32_t phase);
// max(|X - x|, |Y - y|, |Z - z|) between peak `peak` and CurrentPoint.
double PeakDistance(int32_t peak);
// Removes the peaks of amplitude 0, keeping the order.
void CompactPeakList();

// The free peak (amplitude not 0) nearest to CurrentPoint under the phase's symmetry; peak keeps
// its value when none is free. NearestPeakDistance := the distance, or 1e16.
void FindNearestPeak(int32_t& peak, int32_t phase);
void AssignPeaksToAtoms(int32_t phase);
void PeaksToAtomCoordinates(int32_t phase);

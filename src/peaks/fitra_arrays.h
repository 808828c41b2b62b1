// The parameter arrays of the Fitra fits as plain functions of the shared state: the tidying of
// the marked points, the peak array, the exponential array, the neighbour bounds of close peaks,
// the validation of the peak-search controls and the peaks formed from reflections. The dialogs
// (fitra_prepare.cpp, peak_search_dialog.cpp) call them; so do the tests.
#pragma once
#include <cstdint>
#include <string>
#include "core/fit_engine.h"

class TSpectrum;

// Sorts MarkedPoints[1..n] ascending with their model numbers by a bubble sort of n - 1 passes,
// pass p comparing neighbours i, i + 1 for i = 1..n - p and swapping them when x_i >= x_i+1 (equal
// neighbours too, so two equal points end in reverse of their given order after one pass over
// them); then marks the first of two equal neighbours as -1, and keeps, in order, the points in
// [first, last]. MarkedPointCount := the points kept.
void TidyMarkedPoints(int32_t first, int32_t last);

// The neighbour bounds of peaks i and i + 1 from their start amplitudes a1, a2 and positions:
// d = 2 / sqrt(max(0.5, a1 + a2)); peaks at least 2d apart whose position intervals overlap are
// cut at mid - d and mid + d; closer peaks are held on their own side of each other.
void NeighbourBounds(double a1, double a2, ParameterRecord& p1, ParameterRecord& p2);

// Record i := free, a = 1, b = 0, value 0, bounds -1e12 and 1e12, error 0 (name kept).
void ResetFitraRecord(ParameterRecord& r);

// The spectrum's count unit: the typical (median) E^2 / Y over the channels first..last with Y > 0
// and E > 0: 1 for Poisson counts (E^2 = Y), the factor s for counts multiplied by s (normalised
// counts, counts per microsecond); 1 when no channel has both.
double CountUnit(const TSpectrum& sp, int32_t first, int32_t last);

// The peak array in parar for the marked points of the current spectrum sp (already tidied):
// records reset, background from the spectrum, amplitudes, positions, widths, the M2 pair, the
// neighbour bounds. A peak's start amplitude is the count at its channel, at least 10 count units
// (CountUnit), with the lower bound half its standard deviation, sqrt(unit * start) / 2. Returns the record count (2N + 18, or 3N + 6 with a width per peak, plus 2
// with M2Mode).
int32_t BuildPeakArray(const TSpectrum& sp);

// The channel with the largest count among the first 31 of the working range (first of equal
// maxima; the first channel when none is above 0).
int32_t ProposedExpPosition(const TSpectrum& sp);
// The exponential array of E exponentials in parar (2E + 18 records): positions ExpPositions[k]
// fixed, widths DeltaPosition[k] +- DeltaW0[k], a constant background or none. The start
// amplitude is at least 1 (a background-subtracted spectrum may have no counts there). Returns a
// refusal text ("" when built): a position outside the spectrum's channels builds nothing.
std::string BuildExponentialArray(const TSpectrum& sp, int32_t E, bool constantBackground);

// The seven controls of the peak search: widths at the beginning and end, width accuracy,
// sensitivity, resolution, small statistics, maximum number of peaks.
struct TSearchControls {
  double b = 5.0, e = 6.0, a = 4.0, s = 1.0, r = 1.0, t = 7.0, m = 150.0;
};
// Stores the controls in the Part's order into sp and the search variables; returns the message
// of the first refusal ("Erroneous width", "Erroneous width accuracy", "Erroneous sensitivity":
// the operation ends, later rows unchanged) or the warning "Wrong max peak N" (a maximum outside
// 1..300: kept when below 1, stored above 300), else "". stop := the operation ends.
std::string ApplySearchControls(TSpectrum& sp, TSearchControls c, bool& stop);

// The reflections of every phase (d > 0) whose channel rounds into [first, last] of the current
// spectrum, sorted with their phases as model numbers, neighbours at most 1.0 channel apart
// merged to their mean, as MarkedPoints (at most MarkedPointCapacity; dropped counts returned).
int32_t FormPeaksFromReflections(TSpectrum& sp, int32_t first, int32_t last);

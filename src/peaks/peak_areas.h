// Peak areas of a Fitra fit: each fitted peak integrated channel by channel under the peak-fit
// model, with an error propagated from the fitted records; and where the records of a peak lie.
//
// The records are those of FitParameters after a fit, in the peak layout of peaks/fitra_state.h.
// With a width per peak (WidthMode -1) a peak's width is its own record 6 + 2N + i and it has no
// slope; otherwise W0 and W1 are the records of its model m.
#pragma once
#include <cstdint>

// Record numbers of peak i of n (0 where the layout has no such record or it lies past NPar).
struct TPeakRecords {
  int32_t amplitude = 0, position = 0, w0 = 0, w1 = 0;
  int32_t model = 1;  // the peak-model number 1..6
  bool complete = false;  // amplitude, position and W0 exist
};
TPeakRecords PeakRecordsOf(int32_t i, int32_t n);

// Value and error of record k of FitParameters; 0 for k = 0 or a record past NPar.
double FittedValue(int32_t k);
double FittedError(int32_t k);
// The correlation of records j and k in the engine's last inverse (the covariance, or the
// correlations a report wrote over it), a dependent record taking its master's with the sign of
// its factor; 1 for j = k, 0 when the last fit left no usable inverse or a record has no row.
double FittedCorrelation(int32_t j, int32_t k);

// Per peak i = 1..N (N = MarkedPointCount): the peak's whole area |A| w S, A its amplitude, w the
// width it is drawn with at its own position (W0 + W1 u(P), or its own width; deconvoluted and held
// at the floor as the peak-fit model does), S the whole area of its shape in z (the Lorentz over
// the whole line, a table over its range). One formula whether W1 is 0 or not. Its error is
// sqrt(g' C g) over the peak's records A, P, W0, W1: g the gradient of the area, C their covariance
// from the records' errors and the correlations of the engine's last inverse (none when the last
// fit left no inverse); at least sqrt(area q), q the spectrum's typical E^2 / Y (1 for counts), the
// counting floor in the data's own units. Areas into NumberBuffer[1..N], errors into
// [N+1..2N]; widthsVary := some peak's W1 is not 0. A peak whose records are missing or whose W0
// is not positive gets 0 and 0. OptionFlags[8] traces to LogFile.
void ComputePeakAreas(bool& widthsVary);

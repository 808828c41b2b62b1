// Checks of a freshly read spectrum: its instrument calibration (time of flight or angular),
// the d-spacing axis of a time-of-flight spectrum, Poisson errors and isolated zero channels.
#pragma once
#include <cstdint>

class TSpectrum;

// The calibration dialog of the effective spectrum (mode 0) or of the current spectrum
// (otherwise): "Check the TOF - information:" or "Check the angular information:". Nothing
// happens in peak-fitting mode (MainMode 3) or for an axis kind other than 0 and 1. DialogOk
// tells whether the user confirmed.
void CheckTofInformation(int32_t mode);

// The four calibration values of the dialog: time of flight channel width (microseconds),
// delay (channels), Bragg angle (degrees), flight path (m); angular zero shift (degrees),
// wavelength (angstrom), angle step (degrees) and two-theta of the first channel.
struct TCalibration {
  double v[4] = {0, 0, 0, 0};
  bool takeSpectrum1 = false;  // effective spectrum: take spectrum 1's time-of-flight values
};
// Stores c into sp (time of flight or angular by sp's axis kind); with takeSpectrum1 sp takes
// only spectrum 1's channel width, delay, Bragg angle and flight path. Angular: ChannelsPerX :=
// 1 / step (0 for a zero step), ChannelOffset := WorkFirst - X[WorkFirst] * ChannelsPerX.
void ApplyCalibration(TSpectrum& sp, const TCalibration& c);

// The first n cells of the dialog's value grid into v[1..n]; false, with DialogOk 0, when one
// is not a finite number.
bool ReadGridValues(int32_t n, double* v);

// X[k] := the d-spacing of channel k (ChannelToD) for FirstChannel..LastChannel. A value that is
// not finite leaves its X as it was. True when two neighbouring channels got the same X.
bool FillDSpacingAxis(TSpectrum& sp);

// E[k] := sqrt(|Y[k] + 1|) over FirstChannel..LastChannel.
void SetPoissonErrors(TSpectrum& sp);

// Zero channels of WorkFirst + 1 .. WorkLast - 1: all of them, and those whose two neighbours
// are not zero.
void CountZeroes(const TSpectrum& sp, int32_t& total, int32_t& single);
// Spectrum i's single zeroes: a line to the result file and a message when there is one.
void CountSpectrumZeroes(int32_t i);

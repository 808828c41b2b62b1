// The built-in effective spectrum of the DN2 diffractometer: the incident-flux curve of a
// vanadium measurement, built into spectrum 0 from a table of measured values and two analytic
// wavelength laws for the long-wavelength tail.
#pragma once
#include <array>
#include <cstdint>

// The measured curve T(j), j = 44..254; table index j belongs to the time of flight
// (j - 8.5) * 128 microseconds.
constexpr int32_t Dn2TableFirst = 44, Dn2TableLast = 254;
extern const std::array<double, Dn2TableLast - Dn2TableFirst + 1> Dn2VanadiumTable;

// Spectrum 0 becomes the DN2 curve: 1024 channels of 64 microseconds, flight path 25 m, delay 0,
// named "DN2-vanadium".
void SetUpDn2EffectiveSpectrum();
// Fills Y of channels 1..min(n, end of the curve) of spectrum 0 for a delay (channels), flight
// path (m) and channel width (microseconds), and sets its range and calibration. Errors and
// abscissae are not touched.
void BuildDn2VanadiumSpectrum(int32_t n, double delay, double flightPath, double channelWidth);

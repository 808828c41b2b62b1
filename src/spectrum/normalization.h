// Normalisation of a time-of-flight spectrum by the effective spectrum (SpectrumList entry 0):
// both channel axes are mapped through the time of flight t(j) = (j + delay) * cw.
#pragma once
#include <cstdint>

class TSpectrum;

// The channels I1..I2 of CurrentSpectrum whose times lie inside both spectra (rounded, halves
// to even). False, after "Error, channel width = 0", when the current spectrum's channel width
// is 0 or not finite; I1 and I2 are then unchanged.
bool SpectraTimeOverlap(int32_t& I1, int32_t& I2);
// Spectrum i over I1..I2 divided by the effective spectrum interpolated at the same time, scaled
// by S (the effective spectrum's largest count over I1..I2, at least 1) and keeping the smallest
// count B: Y := (Y - B) / (e / S) + B, E := E / (e / S). Channels that map outside the effective
// spectrum keep count and error. Sets NormalizedFlag. False, after "Error, channel width = 0",
// when a channel width is 0 or not finite (nothing changes). effective names the SpectrumList
// entry divided by (the effective spectrum, 0).
bool NormalizeByEffectiveSpectrum(int32_t i, int32_t I1, int32_t I2, int32_t effective = 0);
// The effective spectrum and the absorption law are functions of the time of flight: true, after
// "Spectrum is angular, no normalization" when say is set, for a spectrum of another axis.
bool NotTimeOfFlight(const TSpectrum& sp, bool say = true);

// Operations on a clicked channel range of the shown spectrum (the sum of an interval, the
// zeroing of weights) and the channel of a reflection's d-spacing.
#pragma once
#include <cstdint>

// "Summing the spectrum interval": area, error, centre and the linear background between the
// 3-channel averages at the ends; four lines to the list box and the result file.
void SumSpectrumInterval(int32_t first, int32_t last);
// "Zeroing the weights": errors of the channels first..last (ordered and held to the current
// spectrum's channels on return) and/or of the zero counts := 0; optional copy to spectrum 4.
void ResetWeights(int32_t& first, int32_t& last);
// The channel of a reflection with q = 1/d (1/angstrom) in spectrum i (0..4); block is the
// offset of the spectrum's global records in the parameter array (flight path or wavelength,
// Bragg-angle shift, delay or zero shift).
double ChannelOfD(int32_t spectrum, int32_t block, double q);

// Loading and correcting one spectrum of the evolution sequence: the pure parts that the tests
// call without dialogs.
#pragma once
#include <cstdint>

class TSpectrum;

// Sums groups of c channels of sp in place: new channel j holds old channels (j - 1) c + 1 .. j c
// clipped to first..last, its error sqrt(sum E^2 + 1); the channel range becomes
// (first - 1) div c + 1 .. (last - 1) div c + 1 and the working range is held inside it.
void CompressSpectrumChannels(TSpectrum& sp, int32_t c);
// The two-point estimate of an exponential background A exp(-i / tau) over working channels
// f..l with the half-width w (channels). False when it cannot be formed (w < 1, equal log counts,
// tau not finite and positive).
bool EstimateExpBackground(const TSpectrum& sp, int32_t f, int32_t l, int32_t w, double& A, double& tau);

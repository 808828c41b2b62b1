// Removal of single-channel spikes and dropouts from a channel interval of a spectrum.
#pragma once
#include <cstdint>

class TSpectrum;

// Pass 1: neighbours agree when t^2 <= 3 Chibc. Pass 2: largest misfit of the line through the
// neighbours.
extern double Chibc;         // 1.25
// Pass 1: smallest spike ratio. Pass 2: smallest chi-square of a replaced channel.
extern double OutlierOrder;  // 10
// Pass 2: smallest neighbour sum at which a non-zero channel is tested (also a count level of
// the peak search).
extern double CountThreshold;  // 10

// 1 / E[k]^2, or 0 when E[k] = 0.
double PointWeight(const TSpectrum& spectrum, int32_t k);

// Corrects channels first+1..last-1 of Y (and, for spikes, E) in place, in increasing order, so
// that a channel is judged against neighbours already corrected. count := the channels changed,
// zeroCount := those changed in the second pass whose count was 0. An interval of fewer than
// three channels is left alone; the interval is held to the channels of the spectrum.
void CorrectOutliers(TSpectrum& spectrum, int32_t first, int32_t last, int32_t& zeroCount, int32_t& count);

// The exponential-decay test fit: A exp(-x / tau) over channels 199..750 of the current spectrum,
// weighting only the points that lie below both neighbours by enough counts; half the fitted
// curve goes to spectrum 2, spectrum 1 minus that half to spectrum 3.
#pragma once
#include <cstdint>

class TParameter;

// Points 1..552 of the fit are channels 199..750.
inline constexpr int32_t ExpDecayFirstChannel = 199;
inline constexpr int32_t ExpDecayPoints = 552;

// The fit with its own engine of 2 records, freed on every way out. A spectrum on which no point
// has weight abandons the operation with the engine's "All errors=0.Fit stopped"; spectra 2 and
// 3 are then left as they were.
void RunExpDecayTestFit();
// The model at point k (x = k, channel k + 198) on records 1 (A) and 2 (tau, channels) of fit.
void ExpDecayTestModel(TParameter& fit, double& Y, double& W, double& F, int32_t point, int32_t stage);

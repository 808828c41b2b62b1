// The background of the profile and peak-fit models at one channel, with its derivatives by the
// six background records.
//
//   BackgroundMode 0 (and any value but 1): Legendre polynomials P0..P5 of u.
//   BackgroundMode 1: the tabulated background shape PeakModels[1] at position value(base+7),
//     width max(1, W0 + W1 u) and amplitude b0 + b1 u^2, on top of the constant value(base+4).
//   BackgroundMode 1 while the phase-evolution driver runs (TrevoAutoRun): two decays
//     A1 exp(-x / t1) + A2 exp(-x^2 / t2), t1 and t2 at least 1.
#pragma once
#include <cstdint>

// Background at channel x with normalised abscissa u (-1 at the first, +1 at the last channel of
// the working range). Reads and writes the Derivative of records base+4..base+9 of FitParameters
// (base 0 for the profile model, -3 for the peak-fit layout whose background is records 1..6);
// ModelOutput[0] := bg. Records outside FitParameters give bg = 0 and touch nothing.
void BackgroundModel(int32_t base, double& bg, double x, double u);

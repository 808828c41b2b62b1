// The convoluted-exponential fit: one exponential decay convolved with a Gaussian resolution,
// plus a constant background, fitted over the working range with ExpGaussModel
// (crystal/peak_fit_models.h). ConvolutedExpoFitting is declared in peaks/fitra_state.h.
//
// Records 1..5: B background, A amplitude, T decay time (channels), Sig resolution (channels),
// t_0 onset (channel - 1). ExpFitMode 0 "Resolution fit", 1 "Fit t_0 mode".
#pragma once
#include <cstdint>

constexpr int32_t ExpFitRecordCount = 5;

// parar[1..5] := the start array (B 10 fixed; A 120000 in 1000..1e15; T 110 in 90..120; Sig 15
// fixed; t_0 45 in 21..70), each free in its own number and named by its grid caption; the
// engine's controls := DefaultFitControls with 200 iterations, Step 0.95, Damp 0.05 and the
// compressed matrix, copied back to DefaultFitControls.
void SetNewExpParameters();

// Fits records 1..5 of parar with ExpGaussModel over the working range of the current spectrum
// (the engine's controls as they stand) and copies them back. In ExpFitMode 0 the model does
// not depend on t_0: a free t_0 is held during the fit, gets its bounds back and error 0.
// False, after a message, when the range has no more channels than free records.
bool RunExpFit();

// InfoLines := the nine lines of the first n (at most 5) records: Chi^2, Chi+, iterations, a
// blank line, then name = value +- error.
void ExponentialAnalysisLines(int32_t n);
// The same lines, and to LogFile an empty line, "    Exponential analysis;" and the lines.
void OutputExponentialAnalysis(int32_t n);

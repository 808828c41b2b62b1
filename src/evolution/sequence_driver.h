// The menu and the sequence analysis of the phase-evolution module: the pure parts that tests
// call without dialogs.
#pragma once
#include <cstdint>
#include <string>

class TSpectrum;

// The side values of the menu and the auxiliary-data grid, as the grids show them.
struct TSideValues {
  double a11 = 0, a22 = 0, compr = 1, prf = 1, sens = 1, res = 1, w0 = 0, w1 = 0, dw0 = 0, dw1 = 0,
         regulizer = 0, dback = 0;
};
// The values of the current spectrum and the module.
TSideValues CurrentSideValues();
// Stores the read-back values into the current spectrum and the module (withWidthSteps also
// DeltaW0[1] and DeltaW1[1]); refused with a message, nothing stored, when the first working
// channel is not below the last.
bool StoreSideValues(const TSideValues& v, bool withWidthSteps);
// PRFscale as the menu takes it: rounded, and 1.0 below 0.01.
double MenuPrfScale(double v);

// The sequence list without blank names (pairs of spectrum and variance in "sp/var"), at most
// 1000 spectra ("sp") or 500 ("sp/var"); SequenceCount := the spectra kept.
void CompactSequenceList();
// The correlation of the identification indices of phases p and q: C / sqrt(max(1e-8, |Sp Sq|)).
double PhaseCorrelation(int32_t p, int32_t q);
// Zero-weight interval i held to the spectrum's channels; false when it is empty there.
bool ZeroWeightInterval(const TSpectrum& sp, int32_t i, int32_t& first, int32_t& last);
// The summary file rewritten from its beginning.
void RestartSummaryFile();
// The analysis of item 2 of the menu; false when the module is to be left.
bool AnalyzeSpectrumSequence();

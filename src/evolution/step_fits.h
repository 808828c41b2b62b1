// The per-step fits of the sequence analysis (declared in evolution/trevo_state.h) and the parts
// of them that tests reach directly.
#pragma once
#include <cstdint>
#include <string>
#include "evolution/trevo_state.h"

// Per cent by which a bound on which a parameter ended is moved away (25 before every fit).
extern int32_t BoundWideningPercent;
// The two reasons of the one repeat of a peak fit, set by CheckFitAndWidenBounds.
extern uint8_t BoundsWidened, ControlsRelaxed;
// The name of the last spectrum analysed by a Fitra step, at most 75 characters.
extern std::string LastAnalysedSpectrumName;

// The first step of the run (isp1, 0 standing for 1), whatever the order of the spectra.
bool FirstStepOfRun();
// Each record's error of the engine multiplied by sqrt(max(|chi2/df|, 1)), then parar := the
// engine's records 1..NPar.
void ScaleErrorsAndCopyBack();
// The N peaks chosen from found positions: with more than n found, the n of largest count at
// their rounded channel (at most 200 looked at; equal counts keep their order), put in ascending
// position so that peak i meets row i of the peak table. Returns false when n or fewer were found.
bool RankFoundPeaks(const double* found, int32_t foundCount, int32_t n, const TSpectrum& sp, double* chosen);
// Pairs of neighbouring peaks (positions records 6 + N + i) closer than gap get split bounds about
// their mean; each start value is then put into its own bounds.
void SplitCloseBounds(int32_t n, double gap);
// The identification of the fitted peaks with the identification reflections of every phase.
void IdentifyReflections(int32_t n, const TSpectrum& sp);

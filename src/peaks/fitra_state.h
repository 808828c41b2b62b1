// The Fitra module (peak and exponential fitting of the working interval): its own state, the
// record layout of its parameter arrays, and its entry points. The shared flags it works on are
// the core's: ParametersPending[3], FitPending[3] (0 = a Fitra fit exists), UseAvailableArray[3]
// (the last fit's array may be reused), ResultsUnsaved[3]; PairedPeakMode (the model variant),
// FiveParameterFit (the convoluted-exponential array), ExponentialCount, UsedPeakModelCount
// (core/neighbour_services.h); TotalFitIterations (crystal/profile_model.h) and
// PreparedParameterCount (crystal/parameter_preparation.h).
//
// Peak layout (N = MarkedPointCount peaks, m the model number 1..6 of a peak), 1-based records:
//   1..6 background, 6 + i amplitude A_i, 6 + N + i position P_i,
//   6 + 2N + m width W0 of model m, 12 + 2N + m width slope W1 of model m   (2N + 18 records)
//   or, with a width per peak (WidthMode -1), 6 + 2N + i the width of peak i (3N + 6 records);
//   with M2Mode two more records after those.
// The exponential array is the peak layout with E = ExponentialCount exponentials in place of the
// peaks (model 6, positions fixed, W0 = two half-lives, W1 fixed at 0).
#pragma once
#include <cstdint>

constexpr int32_t FitraMode = 3;  // the MainMode and flag index of Fitra
constexpr int32_t MaxExponentials = 4;
constexpr int32_t CalibrationRows = 64, CalibrationColumns = 30;

// Start channels of the exponentials [1..4] (the " Position (chan)" row; kept between runs).
extern double ExpPositions[MaxExponentials + 1];
// The result table of the auto-calibration, [1..64][1..30]; cleared by the menu before each run.
extern double CalibrationResults[CalibrationRows + 1][CalibrationColumns + 1];

// ---- record numbers of the peak layout (n peaks) ----
inline int32_t AmplitudeRecord(int32_t n, int32_t i) { return 6 + i; }
inline int32_t PositionRecord(int32_t n, int32_t i) { return 6 + n + i; }
inline int32_t WidthW0Record(int32_t n, int32_t m) { return 6 + 2 * n + m; }  // also the per-peak width of peak m
inline int32_t WidthW1Record(int32_t n, int32_t m) { return 12 + 2 * n + m; }

// Set by MakePeakFitting and PeakFitLoop: at least one fit ran and left finite values (the menu
// marks a fit done only then).
extern bool FitraFitRan;
// A Fitra fit of the current array exists (FitPending[3] = 0).
bool FitraFitExists();

// ---- the menu and the fit run ----
// The "PEAK / EXPONENTIAL  FITTING" menu; DialogOk = 0 afterwards when it was cancelled or a step
// refused to go on.
void FitraMenu();  // declared in core/neighbour_services.h as well
// One fit of the prepared array with its automatic retry, the result dialog and its repeats.
void MakePeakFitting();
// One fit per file of SequenceFileNames[1..SequenceCount], each from the previous file's values.
void PeakFitLoop();
// The progress procedure of the Fitra fits.
void ShowFitIteration(int32_t n);
// The choice of the paired-peak variant (PairedPeakMode 1 or 2).
void UseNonStandardFunction();
// The reflections of all phases inside the working range as marked points.
void TurnHklsToPeaks();

// ---- the two preparations (inside the "Preparing parameter array" dialog) ----
void PreparePeakParameters();
void PrepareExponentialParameters();

// ---- fit output, convoluted-exponential fit and auto-calibration (src/peaks/fit_output.cpp,
// exp_fit.cpp, auto_calibration.cpp) ----
// choice 6 shows the results of the last Fitra fit, choice 7 writes them to LogFile; after a
// convoluted-exponential fit (FiveParameterFit 1) the exponential analysis instead.
void OutputFittingResults(int32_t choice);
// The convoluted-exponential fit; true when at least one fit ran (only then the menu marks a
// Fitra fit done).
bool ConvolutedExpoFitting();
// The calibration of the abscissa from the fitted peaks; referenceCount is the length of the
// reference list (the core's CalibrationPointCount).
void AutoCalibration(int32_t peakCount, int32_t referenceCount);

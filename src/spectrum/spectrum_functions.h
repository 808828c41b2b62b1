// The spectrum functions: compression, marked-outlier correction, smoothing and the envelope
// from below, background through the marked points (spectrum_smoothing.cpp,
// spectrum_compression.cpp, spectrum_background.cpp), the Fourier transform of the working
// interval with periodicities and Fourier smoothing, and the rebinning routines
// (spectrum_fourier.cpp, spectrum_rebinning.cpp), with the settings the functions menu shows
// and stores.
//
// Every routine works on CurrentSpectrum c and writes spectrum r (1..4), which the menu has
// already filled with CopySpectrum(c, r). Refusals are message boxes; spectra keep what they
// held. SmoothSpectrum and BuildBackgroundByMarkedPoints are declared in
// core/neighbour_services.h (the main window calls the background, and the core resets
// Smoother).
#pragma once
#include <cstdint>
#include "core/neighbour_services.h"

// ---- settings of the functions menu (they live until the program ends) ----
// Smoother (declared in core/neighbour_services.h, 1.0 after a model reset): the smoothing
// parameter of SmoothSpectrum.
extern uint8_t SmootherGiven;          // 1 when Smoother > 0: the envelope subtraction keeps >= 0
extern uint8_t SubtractEnvelope;       // 0: the envelope is not subtracted
extern uint8_t FourierFindPeriods;     // " Find periodicities"
extern uint8_t FourierSmooth;          // " Smooth the data"
extern uint8_t FourierMakeReal;        // " Make Real of Fourier"
extern double FourierSmoothFraction;   // 0.5; fraction of the transform removed by the smoothing
extern double InsertValue;             // 1000000.0; "Set to specified value" of the outliers
extern int32_t LastSpectrumFunction;   // item preselected in the functions dialog (0)
extern int32_t LastResultSpectrum;     // item preselected for the result spectrum (0)
extern int32_t NewFirstChannel, NewLastChannel;  // new bounds of rebinning and special analysis

class TSpectrum;
// A result spectrum now holds channels first..last: its range, working range and count range set,
// and it is marked present.
void FinishResultSpectrum(TSpectrum& s, int32_t first, int32_t last);

// Compresses c by the integer factor m into r: channel k of r sums the old channels
// (k - 1) m + 1 .. k m (those past c's last channel count as 0), errors in quadrature, X of the
// block's first channel. show lists the new bounds and maximum. m < 1 gives
// "Wrong compression factor" and DialogOk := 0.
void CompressSpectrum(int32_t m, int32_t r, int32_t show);
// The marked channels of c (not its first and last) set to 0, to the half-sum of their
// neighbours or to InsertValue, as the dialog "Count correction" chooses.
void CorrectMarkedOutliers();
// Mode 0 smoothing (SmoothArray), mode 1 envelope from below (LowerEnvelope) of c's working
// interval into r, tuned in the dialog " Graph of both spectra"; target 0 subtracts the envelope
// into spectrum 4, 1 into c, 2 not at all (and only with SubtractEnvelope set).
//   void SmoothSpectrum(int32_t mode, int32_t r, int32_t target);   (core/neighbour_services.h)
// The background through the marked points into spectrum 2, c minus it into spectrum 4 (and into
// c after Yes).
//   void BuildBackgroundByMarkedPoints();                           (core/neighbour_services.h)

// |Fourier transform| (or its real part) of c's working interval into r channels 1..N/2, with
// the optional periodicity list and the Fourier smoothing into spectra 4 (modulus) and 3 (real
// part).
void FourierPeriodicities(int32_t r);
// c's channels linearly mapped onto NI1..NI2 of r by InterpolateTable. A source whose X is not
// equidistant (a logarithmic time-of-flight grid) is rebinned in X instead: NI1..NI2 become
// equidistant in X from X[I1] to X[I2], each takes the counts of the parts of the source channels
// it covers (a source channel spans the midpoints to its neighbours; counts per unit of X are
// kept) and the sum of their variances; r's X, ChanWidth (the X step) and for time of flight
// Delay ((k + Delay) ChanWidth = X[k]) follow.
void SimpleInterpolation(int32_t r, int32_t NI1, int32_t NI2);
// Mode 0 d spectrum -> channel spectrum, mode 1 channel -> d: each channel of c spread over 100
// sub-steps onto NI1..NI2 of r. A d spectrum not equidistant in d is rebinned in d as above, with
// ChanWidth and Delay of the time of flight 505.556 L sin(theta) d of c's header.
void InterpolateChanToD(int32_t r, int32_t NI1, int32_t NI2, int32_t mode);
// True when X of I1..I2 rises and a step differs from the mean step by more than 1e-6 of it.
bool NonEquidistantAxis(const TSpectrum& c, int32_t i1, int32_t i2);
// A time spectrum rebinned onto an energy-like axis of NI2 - NI1 + 1 channels (1000 sub-steps
// per channel).
void SpecialAnalysis(int32_t r, int32_t NI1, int32_t NI2);

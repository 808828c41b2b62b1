// Services around a finished or running fit: the summary lines of a fit, the model function that
// single-value (stage 4) callers evaluate in the current analysis mode, the model sampled for
// the fitted-curve graph, and the observed structure amplitude with the calculated phase for the
// Fourier synthesis.
#pragma once
#include <cstdint>
#include <vector>

class TSpectrum;

// The summary of the last fit of FitParameters into InfoLines from line n on: a blank line, the
// compression note, one line per quality warning, a blank line, chi^2/df with chi+, and the
// accuracy with TotalFitIterations. On return n and InfoLines.count are the index of the last
// line; lines beyond the capacity of InfoLines are dropped.
void PrintFitSummary(int32_t& n);

// The model function of MainMode for stage-4 calls: RietveldModel in modes 0 and 2; in mode 3
// ExpGaussModel with FiveParameterFit, PairedPeakFitModel with any PairedPeakMode, else
// PeakFitModel. Null in the other modes. Every single-value caller goes through this choice.
using ModelFunction = void (*)(double& Y, double& W, double& F, int32_t Point, int32_t Stage);
ModelFunction Stage4Model();

// One stage-4 evaluation of the mode's model at the real channel (or abscissa) c of spectrum s:
// ModelSpectrum := s, ModelChannel := c. F is the model value, bg the background
// (ModelOutput[0]); false, with F = bg = 0, when the mode has no model.
bool EvaluateModelAt(int32_t s, double c, double& F, double& bg);

// The abscissa at which the mode's model samples channel ch of sp: X[ch] for the peak fits with
// NonEquidistantChannels, else the channel number (the Rietveld and powder-match profiles place
// their reflections on channel numbers whatever the switch).
double ModelAbscissa(const TSpectrum& sp, int32_t ch);

// One point of the fitted curve: the abscissa, the model value and the background.
struct TModelSample {
  double x = 0;
  double model = 0;
  double background = 0;
};
// The model of the current spectrum over channels first..last: three sub-points per channel,
// ModelAbscissa(ch) + k 0.3333, k = 0, 1, 2, only for channels of
// the working range and not beyond its last channel; points with a non-finite value are left
// out. out is cleared first (its storage is reused).
void SampleFittedCurve(int32_t first, int32_t last, std::vector<TModelSample>& out);

// The observed structure amplitude of reflection j of phase k after a powder match: modulus
// sqrt|I_j| of the fitted intensity record, phase of the calculated A + iB (centrosymmetric
// phase: the sign of A, Fi = 0). 0 and 0 when parar does not hold the powder-match layout or j,
// k lie outside the phase's reflections.
void FourierAmplitude(int32_t j, int32_t k, double& Fr, double& Fi);

// The model functions of peak fitting for the least-squares engine (TModelFunc of
// core/fit_engine.h): independent peaks on a background, peaks in symmetric pairs about one
// centre, and a decaying exponential with a Gaussian onset. Each returns the observed Y, the
// weight W (1/E^2, 0 for E = 0) and the model F at a point, writes the derivative of F by every
// record into FitParameters, and leaves its parts in ModelOutput. Stage 4 evaluates the current
// spectrum at the real channel ModelChannel (drawings, profile files).
//
// PeakFitModel records (n = MarkedPointCount peaks, m the peak-model number 1..6 of a peak):
//   1..6            background (BackgroundModel)
//   6 + i           amplitude A_i         6 + n + i    position P_i
//   6 + 2n + i      width of peak i (WidthMode -1), otherwise
//   6 + 2n + m      width W0 of model m   12 + 2n + m  width slope W1 of model m
//   PeakFitM2Record(), +1                 the M2 coefficients a0, a1 (M2Mode)
// A peak is A_i F0(z) + (a0 + a1 u) F2(z), z = (x - P_i) / w, F0 the shape PeakModels[m + 1]
// (F2 its second derivative), w = W0(m) + W1(m) u(P_i) (the law at the peak's position, u of
// BackgroundModel's abscissa: -1 at the first and +1 at the last channel of the working range)
// or the peak's own width; with
// DeconvolutionMode the width becomes eta (w + R) + (1 - eta) sqrt(w^2 + R^2) (R =
// ResolutionWidth, eta = ConvolutionType); widths have the floor 0.1.
//
// PairedPeakFitModel records: 1..n amplitudes; n + 1 .. 2n - 1 half distances d_i; 2n the
// centre c; 2n + 1 .. 3n widths. Peaks 1..n-1 are pairs at c -+ d_i, peak n a single peak at c,
// all of shape PeakModels[2]. Weights are 1 while iterating and 1/E^2 in the final pass.
//
// ExpGaussModel records: 1 background B, 2 amplitude A, 3 decay time tau, 4 resolution sigma,
// 5 onset t0; t = channel - 1 (point k of a fit is channel first + k - 1 of the working range),
// F = B for t < t0, else by ExpFitMode:
//   0: B + A sigma exp(-t / tau) erf(t / sigma)
//   1: B + A exp(-t / tau) Phi(z) / tau, z = (t - sigma^2 / tau - t0) / sigma (an exponentially
//      modified Gaussian of decay tau and width sigma starting at t0, up to a constant factor)
// ModelOutput: [0] B, [1] and [2] the model value.
#pragma once
#include <cstdint>

void PeakFitModel(double& Y, double& W, double& F, int32_t Point, int32_t Stage);
void PairedPeakFitModel(double& Y, double& W, double& F, int32_t Point, int32_t Stage);
void ExpGaussModel(double& Y, double& W, double& F, int32_t Point, int32_t Stage);

// exp(-t / tau), tau the decay record (3) of ExpGaussModel.
double ExpDecay(double t);
// erf(t / s).
double ErfOfRatio(double t, double s);

// The record of the first M2 coefficient (a0) of the peak-fit layout; a1 follows it. The one
// place that says where the pair lies.
int32_t PeakFitM2Record();

// u = -1 at the first and +1 at the last channel of the working range; 0 for a range of one
// channel: the abscissa of the background and of the width law.
double NormalisedAbscissa(double x, int32_t first, int32_t last);

// The width a peak of law width w is drawn with: with DeconvolutionMode eta (w + R) + (1 - eta)
// sqrt(w^2 + R^2), then held at the floor 0.1; chain := d(width drawn)/dw (0 on the floor).
double DrawnPeakWidth(double w, double& chain);

// The width law through the width wBegin at the first and wEnd at the last channel of the working
// range: W0 is the width at the middle (u = 0) and W1 half the change, since u runs from -1 to 1.
struct TWidthLaw {
  double w0 = 0, w1 = 0;
  double At(double u) const { return w0 + w1 * u; }
};
inline TWidthLaw WidthLawThrough(double wBegin, double wEnd) { return {(wBegin + wEnd) / 2, (wEnd - wBegin) / 2}; }

// Default bounds of a width that starts at w with the allowed variation delta (channels): at
// least w - delta .. w + delta, and never narrower than w / 2 .. 2 w, so that widths a search
// measured off the expected ones stay inside; the lower bound is at least 1 channel.
inline void WidthBounds(double w, double delta, double& lower, double& upper) {
  lower = w - delta < w / 2 ? w - delta : w / 2;
  lower = lower > 1.0 ? lower : 1.0;
  upper = w + delta > 2 * w ? w + delta : 2 * w;
}

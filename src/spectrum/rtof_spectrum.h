// The reverse time-of-flight (Fourier chopper) difference spectrum: the positive and negative
// file groups averaged into spectra 2 and 3, spectrum 3 adapted to 2 by a weighted linear
// factor, and their difference as spectrum 1.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// Spectrum s (2 positive, 3 negative) := the mean of the readable files of names (kind 2, read
// through spectrum 1) over first..last; E := Y (the summed counts stand for the variance).
// Returns how many files were read.
int32_t FormRtofSum(int32_t s, const std::vector<std::string>& names, int32_t first, int32_t last);

struct TRtofAdaptation {
  double k0 = 0.0, k1 = 0.0, chi2 = 0.0;
};
// Point k of the fit: p = Y2, q = Y3, w = 1 / max(E2^2 + E3^2, 1), x = (2k - m) / n.
void AdaptationPoint(int32_t k, int32_t m, int32_t n, double& p, double& q, double& w, double& x);
// Fits Y2 by (k0 + k1 x) Y3 over a..b and scales spectrum 3 over first..last; false, after the
// message, for an interval below 1 channel or a zero determinant (nothing changed).
bool AdaptRtofSpectra(int32_t a, int32_t b, bool suppressLinear, int32_t first, int32_t last, TRtofAdaptation& r);
// Spectrum 1 := spectrum 2 - spectrum 3 over first..last, E = min(46340, sqrt|E2 + E3|).
void FormRtofDifference(int32_t first, int32_t last);
// The two information lines of a formed spectrum s (also to LogFile).
void ReportFormedSpectrum(int32_t s, const std::string& word);

// The local fits' model of the partner search: the peak profiles with their analytic derivatives,
// and the damped step's linear solve (for the fits in peak_search_partners.cpp and their tests).
#pragma once
#include <cstdint>

namespace peak_partners {

constexpr double FourLn2 = 2.772588722239781;
constexpr int32_t MaxDims = 5;                    // position, width, two decay lengths, partner
constexpr double MinDecay = 0.1, MaxDecay = 4.0;  // the tails' decay lengths in widths

// A Gaussian of full width w at half maximum convolved with exp(-t / tau), t >= 0, over tau, at the
// distance d towards the tail from the Gaussian's centre; the unit Gaussian as tau / w -> 0.
double Tail(double d, double w, double tau);
// Tail at z with its derivatives dh[0..2] in z, w and tau, given g = exp(-4 ln2 (z / w)^2).
void TailWithDerivatives(double z, double w, double tau, double g, double& h, double* dh);

// The profiles at channel c of theta (the found peak's position, width, decay lengths below and
// above; the partner's position): f[0] the found peak's tailed Gaussian (a Gaussian with both decay
// lengths at MinDecay * lawWidth), f[1] its Lorentzian, f[2] the partner's Gaussian of the law's
// width (partnerWidth, or the law at theta[4] when 0) when `partner`. df, when given, takes the
// derivatives df[v * MaxDims + k] of profile v in theta[k]. gauss and gauss2, when given, are the
// found peak's and the partner's Gaussians at c.
void PeakProfiles(double c, const double* theta, bool partner, double lawWidth, double partnerWidth, double* f,
                  double* df, const double* gauss = nullptr, const double* gauss2 = nullptr);

// Solves the n x n system m | m[.][n] by elimination with partial pivots into x; false when singular.
bool SolvePivoted(int32_t n, double m[MaxDims][MaxDims + 1], double* x);

}  // namespace peak_partners

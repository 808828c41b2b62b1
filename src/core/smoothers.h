// Regularised smoothers of ScratchArray1[1..n] into ScratchArray2[1..n]: the envelope from
// below (or a plain smoothing) on a square-root scale, whose smoother weighs the data term (a
// larger one follows the data more closely), and the weighted smoothing with a second-
// difference roughness penalty, whose smoother weighs the roughness (a larger one smooths more).
#pragma once
#include <cstdint>

// The data are taken to sign(y) sqrt|y| scaled to a largest value of 1000; base weights
// v = 1 / (y^2 + 1) (1 at the ends), V = their sum. Each of `passes` passes sets data weights
// w (first pass: 1 / (a |slope| + 1), the result starting as the data; later passes, with
// d = s - y: envelope 1 for d >= 0 and 1 / (d^2 + 1) below; smoothing 1 / (d^2 + slope^2 + 1))
// and solves the tridiagonal system
//   lambda w[i] (s[i] - y[i]) + v[i] (2 s[i] - s[i-1] - s[i+1]) = 0   (one neighbour at the ends),
// lambda = |smoother| V / W, W the sum of the w. smoother >= 0 makes an envelope from below:
// every result value is cut down to the data. smoother 0 gives the weighted mean. Leaves
// EnvelopeMisfit (Q1) and EnvelopeRoughness (Q2). n < 5 copies the data. ScratchArray1 is not
// changed. Callers pass a = b = 0.5 (b only acts on a result that differs from the data).
void LowerEnvelope(int32_t n, int32_t passes, double a, double b, double smoother);

// Tries the smoothers 0.1, 0.05, ... (15 halvings in all) with the sign of signSource, keeps
// the one of smallest roughness Q2, runs LowerEnvelope with it, and leaves it in
// ProposedSmoother and in the place of Q2 (EnvelopeRoughness).
void LowerEnvelopeStart(int32_t n, int32_t passes, double signSource = 1.0);

// Minimises sum w (s - y)^2 + lambda sum (s[i-1] - 2 s[i] + s[i+1])^2, lambda = smoother / n,
// by block elimination over pairs of values (pivot determinants of magnitude at most 1e-100
// are taken as 1e-100 with their sign). Weights: mode 1 takes them from ScratchArray2
// (negative ones as 0); otherwise, with ymax the largest value (1 when 0),
// s3 = |y[i-1]| + |y[i]| + |y[i+1]| + 1 and r = |y[i]| / max(1, ymax),
// w = max(1e-10, 1 / (r s3 + sqrt(s3) |1 - r|)), the end points taking their neighbours'.
// smoother <= 0 reproduces the data; an infinite one gives the weighted least-squares line.
// fit := mean of (s - y)^2 / max(|y|, 1); roughness := sum over the inner points of
// (s[i-1] - 2 s[i] + s[i+1])^2 / (m^2 + 1), m = (|s[i] - s[i+1]| + |s[i-1] - s[i]|) / 2.
// n <= 5 copies the data (fit and roughness 0).
void SmoothArray(int32_t n, int32_t mode, double& fit, double& roughness, double smoother);

// Chooses a smoother for SmoothArray so that the fit lies near `target` (data scaled to a
// maximum of 1000; 21 halvings from 1000 accepting fits of 0.25..0.875 target, then 21 values
// around the best accepting 0.25..1 target, the smallest roughness winning; when no halving
// meets the window, the one whose fit came nearest to the target is the start), smooths with it,
// mixes the result with the data (result weight min(blend, 1), at least 0) and leaves the
// smoother in ProposedSmoother. edge := 1 (bad data) when the maximum lies at the first or
// last point or does not exceed the minimum.
void PrepareSmoothing(int32_t n, int32_t& edge, double target, double blend);

// The profile model of the Rietveld refinement and the powder match: for one channel of a
// spectrum the background plus, per phase and reflection, an intensity times a peak shape at the
// reflection's position, with the derivative of the profile by every record of FitParameters.
//
//   F(c) = bg(c) + sum_p S_p SC sum_j m_j LF_j K_j I_j [F0(z_j) + M F2(z_j)] / (W_j A),
//   z = (c - pos_j) / W_j,
//
// a reflection counting only where |z| < cut (the shape's HalfWidth, 15 for the Lorentz shape);
// A the area in z of the shape within the cut, so that the area of a reflection over channels is
// S SC m LF K I whatever its width and the model's settings;
// SC = exp(r value(10)) the spectrum correction, K the anisotropic intensity factor, M the M2
// term; I = (A^2 + B^2) q^2 y (Rietveld, y the extinction factor) or the reflection's own record
// (powder match). W is the full width at half maximum in channels (the half width for the
// Lorentz shape).
//
// Positions: time of flight pos = C d - delay, C = 505.556 / cw x L sin(theta + dTheta0);
// angular pos = slope x (2 asin(lambda / 2d) - zero shift) + offset with lambda = record 1.
// Lorentz factor: time of flight d^4; angular 1 / (sin theta sin 2 theta) at the reflection's own
// observed angle (two-theta of its position, zero shift included). Widths of laws 0 and 1: on a
// time-of-flight axis W0 + W1 u at the channel; on an angular one W0 + W1 t + W2 t^2 with t the
// tan(theta) of the reflection, so that every peak keeps its shape and area.
// Extinction y = (1 + 2 E X)^(-1/2) applies only where record base+10 is a free extinction
// coefficient E: time of flight under width laws 0..2.
//
// Everything that does not depend on the channel is kept per reflection and refreshed when the
// records, the stored metric, the spectrum header or the tables it was made from change; the
// structure factors with their gradients only for the reflections a point reaches.
#pragma once
#include <cstdint>

// Spectra whose R-factor sums are kept (the entries of SpectrumList).
constexpr int32_t RFactorSpectra = 5;

// The sums of the final pass per spectrum 0..4: sum |y - F|, sum |y - bg|, sum w (y - F)^2,
// sum 1/sqrt(w) over w <> 0, sum |y|, sum w y^2. Zeroed at the first point of each final pass
// and added to only by the engine's primary call of each point (TParameter::PrimaryFinalPassCall).
extern double RFactorP[RFactorSpectra];
extern double RFactorB[RFactorSpectra];
extern double RFactorW[RFactorSpectra];
extern double RFactorE[RFactorSpectra];
extern double SumAbsObserved[RFactorSpectra];
extern double SumWeightedObservedSquares[RFactorSpectra];
// The iterations of all fits of one refinement run.
extern int32_t TotalFitIterations;

// The model function of the fit contract (core/fit_engine.h). Stage 1 iterating, 3 final pass
// (also the R-factor sums), 4 a single value at the real channel ModelChannel of spectrum
// round(ModelSpectrum) with Y and W of the truncated channel (Point ignored). Writes
// ModelOutput[0] (background), [1] (F) and [1 + p] (phase p). W = 1/E^2, 0 for E = 0 or a point
// outside the spectrum (F = 0 then). A non-finite position or width gives a non-finite F.
void RietveldModel(double& Y, double& W, double& F, int32_t Point, int32_t Stage);

// The progress procedure of the profile fits: the iteration and chi^2/df line and the spectrum
// line, the stored metric of every phase, and with StopButtonOption one pass of the window
// system on the stop window (its STOP ends the fit after the iteration).
void ShowFitProgress(int32_t n);

// 1/d^2 of reflection j of phase p from the metric records base+2..base+7 of FitParameters
// (G1 h^2 + G2 k^2 + G3 l^2 + G4 kl + G5 hl + G6 hk), or with OptionFlags[10] from the same
// records read as a*, b*, c*, cos alpha*, cos beta*, cos gamma*. Both outputs receive it; 0 for
// indices outside the tables.
void HklInverseDSquared(int32_t base, int32_t phase, int32_t reflection, double& Q1, double& Q2);
// The same from six record values g, with dQ[i] := dQ / dg[i].
double InverseDSquaredTerms(const double (&g)[6], bool reciprocalForm, int32_t h, int32_t k, int32_t l,
                            double (&dQ)[6]);

// The phase record's stored metric (order h^2, k^2, l^2, hk, hl, kl) from the metric records of
// phase p (from the reciprocal cell they hold with OptionFlags[10]), and for a magnetic phase its
// moment direction from the "Cos Phi" records. Nothing outside the Rietveld and powder-match
// modes, whose layouts alone hold metric records.
void StoreCurrentMetric(int32_t phase);

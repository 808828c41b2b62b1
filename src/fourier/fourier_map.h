// The Fourier map of one phase: the half space of terms from the reflections and the phase's
// symmetry, the series summed on the grid of FourierSettings, and the series with its
// derivatives at any point.
//
// The density is rho(x) = sum over terms of Re(F e^(-2 pi i h.x)) = A cos(2 pi h.x) + B sin(2 pi h.x)
// for F = sum f e^(+2 pi i h.x), the convention of the calculated structure factors and of
// structure-factor files (one of each Friedel pair is listed; the map is half the full sum).
#pragma once
#include <cstdint>
#include <vector>
#include "fourier/fourier_state.h"

// Fills FourierIndexList from phase `phase`'s reflections (source 0, 1, 3, 4) or keeps the list
// read from a file (source 2), compacts it, sets the resolutions, and sums the map into
// FourierMap scaled to 1000; n := the terms kept. A sum that is not finite is refused with a
// message: FourierMap, MapMax and MapMin keep their values and DialogOk := 0.
void ComputeFourierMap(int32_t& n, int32_t phase, int32_t source);
// Builds the half space of terms of phase `phase` for `source` (steps 1 to 5 of the map).
void GenerateFourierTerms(int32_t phase, int32_t source);
// Term `term` (0-based) of FourierIndexList := F of the reflection, conjugated when conjugate is
// 1, times e^(i phi) (cosPhi, sinPhi).
void GetReflectionFactor(int32_t reflection, int32_t phase, int32_t term, double cosPhi, double sinPhi,
                         int32_t source, int32_t conjugate);
// The series of the first n terms at (x, y, z). With derivatives: WorkVector[1..3] := g = -grad/2 pi
// and WorkMatrix[1..3][1..3] := H = Hessian/2 pi + 1e-5 n on the diagonal, so that H^-1 g is
// the Newton step towards a maximum.
double FourierSumAtPoint(bool withDerivatives, double x, double y, double z, int32_t n);

// The raw sums (before max(0, .), ramp and scaling) on an nx by ny by nz grid starting at
// (x0, y0, z0) with the given steps, z fastest: separable over per-axis phase tables.
void SumSeriesOnGrid(const std::vector<FOURIERTERM>& terms, int32_t nx, int32_t ny, int32_t nz, double x0,
                     double y0, double z0, double sx, double sy, double sz, std::vector<double>& out);
// The same term by term (the reference of the tests and the benchmark).
void SumSeriesDirect(const std::vector<FOURIERTERM>& terms, int32_t nx, int32_t ny, int32_t nz, double x0,
                     double y0, double z0, double sx, double sy, double sz, std::vector<double>& out);

// The shared arrays and state of the numerical library. Every array is 1-based: element 0 is
// never used, so an array of n points takes n + 1 elements.
#pragma once
#include <cstdint>

// Length of the scratch and work arrays: the largest number of points the smoothers, the
// derivatives, the rebinning and the Fourier transform handle at once.
constexpr int32_t ScratchSize = 16384;

// Data in and results out of the smoothing, derivative and rebinning routines.
extern double ScratchArray1[ScratchSize + 1];
extern double ScratchArray2[ScratchSize + 1];

// WorkArrays[1..9][1..16384]. [1]: error estimates of SmoothingFilter; [5], [6]: real and
// imaginary input of FourierTransform; [7], [8]: its real and imaginary output.
constexpr int32_t WorkArrayCount = 9;
extern double WorkArrays[WorkArrayCount + 1][ScratchSize + 1];

// The 3 by 3 work matrix (WorkMatrix[1..3][1..3], rows of three) that Invert3x3 inverts in
// place, and the work vector of three values beside it (WorkVector[1..3]).
extern double WorkMatrix[4][4];
extern double WorkVector[4];

// The points of FitStraightLine, LineFitPoints[1..n].
struct TLineFitPoint {
  double x = 0.0;
  double y = 0.0;
  double weight = 0.0;
};
constexpr int32_t LineFitCapacity = 16384;
extern TLineFitPoint LineFitPoints[LineFitCapacity + 1];

// The state of Random01. Nothing but SetRandomSeeds changes it from outside, so every run
// draws the same sequence.
constexpr int32_t InitialRandomSeed1 = 12345;
constexpr int32_t InitialRandomSeed2 = 67890;
struct TRandomSeeds {
  int32_t s1 = InitialRandomSeed1;
  int32_t s2 = InitialRandomSeed2;
};
extern TRandomSeeds RandomSeeds;

// What LowerEnvelope leaves: the weighted misfit Q1 = sum (s - y)^2 w and the roughness
// Q2 = sum (s[i+1] - s[i-1])^2 v / 4, on its internal square-root scale. LowerEnvelopeStart
// puts its chosen smoother in the place of Q2.
extern double EnvelopeMisfit;
extern double EnvelopeRoughness;
// The smoother that LowerEnvelopeStart or PrepareSmoothing proposes.
extern double ProposedSmoother;

// True when n points fit into an array of `capacity` points; otherwise shows "Too long array".
bool ArrayLengthFits(int32_t n, int32_t capacity = ScratchSize);

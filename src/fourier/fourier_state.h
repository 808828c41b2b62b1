// State of the Fourier synthesis that lives for the whole run: the terms of the series, the grid
// of the map, the choices of the last synthesis and the small shared routines of the module.
// The map itself, the settings and the peaks stay in core/neighbour_services.h (the core reads
// them).
#pragma once
#include <cstdint>
#include <string>
#include <vector>
#include "core/neighbour_services.h"

// One term of the series: F = A + iB of the reflection (h, k, l), with F = sum f e^(+2 pi i h.x).
struct FOURIERTERM {
  int32_t h = 0, k = 0, l = 0;
  double A = 0, B = 0;
};
// The terms of the current synthesis (generated: at most 4000; from a file: any number).
extern std::vector<FOURIERTERM> FourierIndexList;
constexpr int32_t MaxGeneratedTerms = 4000;
constexpr int32_t MapPoints = 30;  // grid points per axis with a range

extern int32_t MapNX, MapNY, MapNZ;  // 30, or 1 for an axis whose bounds are equal
extern int32_t FixedAxis;            // 0, or 1..3: the last axis (x, y, z) with equal bounds
extern int32_t FourierAction;        // 0 synthesis, 1 show the peaks
extern int32_t FourierTermCount;
extern double ObservedAmplitudeSum, CalculatedAmplitudeSum;  // of the difference source
extern uint8_t LogOption, MakeAtomsOption;
extern double MapMax, MapMin;
extern double ResolutionX, ResolutionY, ResolutionZ;  // fractional units
extern double CurrentPoint[3];
extern double NearestPeakDistance;
// Notes of the map and the file reader for the closing list ("Only 4000 of N terms used", an
// incomplete last record); the driver shows them after the peak search empties InfoLines.
extern std::vector<std::string> FourierNotes;

// DialogHint as a line of InfoLines, and of LogFile when LogOption is set.
void FourierLogLine();

// The symmetry a phase contributes to the synthesis: operations (R, t) and centring vectors with
// the null vector first; a phase of group 0 has the identity alone.
struct TMapSymmetry {
  int32_t ops = 1;
  double R[48][3][3] = {};
  double t[48][3] = {};
  int32_t centrings = 1;
  double c[4][3] = {};
  bool centrosymmetric = false;
};
void MapSymmetryOf(int32_t phase, TMapSymmetry& s);

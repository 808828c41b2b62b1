// The built-in test data sets: a two-spectrum ZrO2 refinement set, six indexing sets of measured
// d-spacings with their true cells, and five spectra for peak analysis. Loading a set overwrites
// the spectra, phases, atoms and d-spacings it names without asking.
#pragma once
#include <cstdint>
#include <string>

// The folder named in the file names of the refinement set ("z.spc", "zz.sp"); nothing is read
// from it.
inline constexpr const char* TestDataFolder = "testdata/";

void SetRietveldTestData();
// The reflections of phase p for dmin..dmax with the structure factor of each from the atom
// records, reported; NoCrystalInfo := 0.
void FormPhaseReflections(int32_t p, double dmin, double dmax);

// The dialog of the six indexing sets; Cancel loads nothing.
void SetAutoindexingTestData();
void SetZrO2TestData();
void SetOrthorhombicTestData();
void SetCubicTestData();
void SetTriclinicTestData();
void SetTwoPhaseTestData();
void SetDolgarevTestData();

// The dialog of the five peak spectra; the chosen one goes to the current spectrum.
void SetPeakTestData();
void SetSmallPeakSpectrum();
void SetVismSpectrum();
void SetAsymmetricPeakSpectrum();
void SetExponentialSpectrum();
void SetPelinSpectrum();

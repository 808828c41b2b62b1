// The layout of the parameter array in each analysis mode: how many records there are, where
// each phase's block begins, the name of every record, and the transfers between the records and
// the current spectrum's header and the phase records.
//
//   Rietveld (mode 0): 10 global records (flight path or wavelength, zero angle, delay, six
//     background terms, spectrum correction); per phase 10 (scale, six metric coefficients in the
//     order h^2, k^2, l^2, kl, hl, hk, two widths, third width or extinction) and 10 per atom.
//   DazazeDedev (mode 2): as Rietveld, with one intensity per reflection in place of the atoms.
//   Both then: the magnetic (3 per phase), anisotropy (12 per phase) and M2 (2) blocks.
//   DozoruRovireru (mode 1): 6 per phase (A, B, C and the three cosines), 3 per CynematicFit.
//   Fitra (mode 3, M peaks): 6 background records, M amplitudes, M positions, then the widths.
#pragma once
#include <cstdint>

constexpr int32_t ParameterNameLength = 11;  // longer names are cut

// Any phase in use is magnetic (PhaseModelFlags).
bool HasMagneticPhase();
// The number of records of analysis mode 0..5 (4: 10; 5: the event window's 2 count + 9); at most
// 2000 ("Too many parameters - cut!").
void CountParameters(int32_t& n, int32_t mode);
// The records of MainMode without extension blocks (part 0), with the magnetic block (part 1), or
// with the magnetic and anisotropy blocks of modes 0 and 2 (part 2).
int32_t ParameterCount(int32_t part);
// Records before the block of phase k (1..6) in MainMode.
int32_t PhaseParameterOffset(int32_t k);
// Records before the block of spectrum s (1..4) of a several-spectrum Rietveld analysis.
int32_t SpectrumBlockOffset(int32_t s);
// Names every record of parar that the layout of MainMode covers; the others keep their names.
void ParameterNames();
// Fitted instrument values of FitParameters into the current spectrum's header and the phases.
void ParametersToSpectrum();
// Seeds background records k..k+5 of parar from the current spectrum by its background degree.
void BackgroundToParameters(int32_t k);
// Every atom's isotropic flag, from the atom records (source 0) or the records of FitParameters
// (source 1); any other source clears it.
void UpdateAtomFixFlags(int32_t source);

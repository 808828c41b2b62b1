// The preparation of the indexing fit: the per-phase choices (mode, crystal system, lattice type,
// hkl bounds, volume limit, minimiser, start cell and bounds), the instrument records, the
// reflections of every phase and the fit controls of the mode.
#pragma once
#include <cstdint>

// The dialogs and checks of the preparation. A refusal or a Cancel leaves the parameters of mode 1
// pending; a refusal puts the phases, reflections, parameter records and fitter back as they were.
void PrepareIndexing();
// The constraints of a crystal system on records first+1..first+6 of parar (a, b, c, alpha,
// beta, gamma with the angles in degrees): fixed angles and ties to the master record.
void ApplyCellSymmetry(int32_t first, int32_t system);
// How many times d1 + 0.25 the automatic start cell's edge (1 a, 2 b, 3 c) of phase p reaches.
double EdgeReach(int32_t p, int32_t system, int32_t type, int32_t edge);
// The smallest rhombohedral angle (degrees) of the automatic bounds: c/a 11.4 on hexagonal axes.
constexpr double AcuteRhombohedralLimit = 15;

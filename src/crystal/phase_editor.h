// The phase editor: the chain of dialogs through which a phase's space group, lattice type, cell
// and magnetic moment direction are entered, one phase after another.
#pragma once
#include <cstdint>

// Mode 0: the whole chain; 1: lattice type and cell; 2: the first dialog only.
// Each phase is written only when its own dialogs all succeeded: a refusal ("Wrong setting",
// "Error, wrong space group", "Wrong unit cell parameters", a failed group) or a Cancel leaves
// the phase in hand exactly as it was and ends the chain with DialogOk = 0; earlier phases keep
// what they received.
void EditPhaseInfo(int32_t mode);

// The phase open in the phase editor, 0 when none (the group button shows its group).
extern int32_t EditedPhase;

// Phase p's moment direction from the angles (degrees) it makes with the reciprocal axes a*,
// b*, c*, in DialogNumbers[1..3] (as MomentAxisAngles gives them): the coefficients x of
// x1 a* + x2 b* + x3 c*, x = G (a* cos Phi_a, b* cos Phi_b, c* cos Phi_c) with G the direct
// metric, scaled so that the largest magnitude is 1; components below 1e-6 of it are 0. A cubic
// phase gets (0, 0, 1). Angles whose cosines all vanish give (0, 0, 0).
void SetCellCosines(int32_t p);

// Checks phase p's setting and lattice type against its group: the crystal system from number
// and setting (kept for 143..194); setting 2 of a group without one shows "No 2nd setting for "
// + number and sets DialogOk := 0 and the setting := 1; a lattice type the system does not admit
// or whose letter is not in the Hermann-Mauguin symbol gives a warning (type R of an R group on
// hexagonal axes is admitted).
void CheckSecondSetting(int32_t p);

// Cells after a fit: the fitted metric coefficients of every phase back into its reciprocal and
// direct cell with the cell's standard deviations, the fitted atoms and moment directions back
// into the phase and atom records, and the reflections' d (and, in Rietveld mode, structure
// factors) refreshed for the new cells.
//
// The metric records of a phase block (base = PhaseParameterOffset(k)) are
//   base+2..base+7 = G1..G6 of 1/d^2 = G1 h^2 + G2 k^2 + G3 l^2 + G4 kl + G5 hl + G6 hk,
// so a* = sqrt G1, cos alpha* = G4 / (2 b* c*), cos beta* = G5 / (2 a* c*),
// cos gamma* = G6 / (2 a* b*). The cell errors follow from the records' errors of G1..G6, taken
// as uncorrelated, through the exact Jacobian G -> (a*, b*, c*, cos alpha*, cos beta*,
// cos gamma*) -> (a, b, c, alpha, beta, gamma); an angle that the crystal system prescribes does
// not depend on the records. An error that cannot be formed is -1.
#pragma once

// After a fit (MainMode 0 or 2; in any other mode the records hold no phase blocks and nothing
// changes), for every phase: the cell and its errors from the metric records, the moment
// direction of a magnetic phase, in Rietveld mode the atoms; then the reflections, the
// anisotropy values and the M2 values. Records whose G1..G3 are 0 or not finite ("Wrong unit
// cell parameters") or that form no real cell ("Error, unit cell cosines are wrong.") leave that
// phase, its atoms and its reflections as they were.
void UpdatePhasesFromParameters();

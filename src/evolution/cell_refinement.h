// Cell refinement of an evolution phase from the d-spacings assigned to its identification
// reflections: weighted linear least squares of 1/d^2 on the reciprocal metric.
//   orthorhombic 1/d^2 = u1 h^2 + u2 k^2 + u3 l^2
//   tetragonal   u1 (h^2 + k^2) + u3 l^2        hexagonal u1 (h^2 + k^2 + hk) + u3 l^2
//   rhombohedral u1 (h^2 + k^2 + l^2) + u3 (hk + kl + hl)   cubic u1 (h^2 + k^2 + l^2)
#pragma once
#include <array>
#include <cstdint>

// The coefficients u1..u3 of phase p's system (unused ones 0). False when the system cannot be
// solved: another crystal system, fewer weighted reflections than unknowns, or a determinant of
// the active block below 1e-12 times the product of its diagonal.
bool SolveCellCoefficients(int32_t p, std::array<double, 3>& u);
// The reciprocal cell of crystal system from the coefficients.
void ReciprocalCellFromCoefficients(int32_t system, const std::array<double, 3>& u, double (&reciprocal)[6]);

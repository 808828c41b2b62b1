// The metric symmetry of a lattice given by any cell of it: the rotations of the lattice (integer
// matrices on a reduced basis) that keep its metric within a relative tolerance, and the metric
// averaged over them. A triclinic trial of a lattice of higher metric symmetry refits its metric
// a little off the symmetric one, which splits reflections of equal d; the averaged metric joins
// them again.
#pragma once
#include <array>
#include <cstdint>

using Matrix3 = std::array<std::array<double, 3>, 3>;

// The inverse of g, its cofactors over its determinant, which is returned (a determinant of 0
// leaves infinities or NaN in inverse).
double InvertMatrix3(const Matrix3& g, Matrix3& inverse);

// A rotation of the lattice is kept when it changes the metric by at most this many relative
// errors of the lines (twice that of d).
constexpr double MetricSigmas = 10;

struct MetricSymmetry {
  int32_t order = 1;           // proper rotations kept: 1, 2, 4, 6, 8, 12 or 24
  int32_t freeParameters = 6;  // of a metric that they keep: 6, 4, 3, 2 or 1
  double reciprocal[6] = {};   // A, B, C, D, E, F of the averaged metric in the cell's own basis:
                               // Q = h^2 A + k^2 B + l^2 C + hk D + hl E + kl F (A^-2)
  int32_t rotations[24][3][3] = {};  // the kept rotations on the cell's own basis (rows: images
                                     // of a, b, c in indices of a, b, c)
};

// The cell: a, b, c (A), cosines of alpha, beta, gamma. A rotation is kept when it changes every
// element g_ij of the direct metric by at most tolerance sqrt(g_ii g_jj). False for a cell that
// is not one (volume not positive).
bool FindMetricSymmetry(const double (&cell)[6], double tolerance, MetricSymmetry& out);

// The reciprocal metrics (A..F on the cell's own basis, as in MetricSymmetry::reciprocal) that
// every kept rotation keeps form a space of freeParameters dimensions: an orthonormal basis of it
// into basis, the count returned.
int32_t KeptMetricBasis(const MetricSymmetry& symmetry, double (&basis)[6][6]);

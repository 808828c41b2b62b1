// The site of a point in a phase's group: its multiplicity, and which coordinates the operations
// that map it onto itself (modulo lattice translations) leave free, fix or make equal.
//
// The group's elements are X' = s (R x + t + c) over the sign s (+1, and -1 for a
// centrosymmetric group), the centring vectors c (none, then 1..CentringCount) and the
// operations, as the symmetry expansion writes them.
#pragma once
#include <cstdint>
#include "core/model_tables.h"

struct SiteSymmetry {
  int32_t multiplicity = 1;  // distinct images of the point in the cell
  int32_t order = 1;         // elements of the group that map the point onto itself
  // Per coordinate x, y, z (0..2): its own index when free; -1 when fixed; another index m < own
  // when tied: coordinate = a * coordinate m + a constant.
  int32_t master[3] = {0, 1, 2};
  double a[3] = {1, 1, 1};
};

// Images closer than 1e-3 of the cell edge in every coordinate count as one point, or closer than
// the error of coordinates typed to three decimals (0.333, 0.667 keep the site of 1/3, 2/3). A
// group with no operations is taken as P1.
SiteSymmetry FindSiteSymmetry(const LATTICE& g, const double x[3]);

// The shifts of the origin that leave every operation of a polar group as it was: the vectors
// that all rotations keep. Dimension 0 for a group with a rotation reversing every direction
// (the inversion among them), 1 along the polar axis (P 2, P m m 2, P 3_1 c, R 3 m), 2 in the
// mirror plane of P m, C c, 3 in P 1. The basis is in fractions of the cell edges.
struct FloatingOrigin {
  int32_t dimension = 0;
  double basis[3][3] = {};  // basis[0 .. dimension-1]
};
FloatingOrigin FindFloatingOrigin(const LATTICE& g);

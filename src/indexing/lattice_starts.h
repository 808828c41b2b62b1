// Start cells of a triclinic search for the lattices of higher symmetry. The zone method rarely
// meets them: their first lines are few and dominated by one zone, extinctions take out the axial
// lines, and equal edges leave it one line for two axes. Their Q = 1/d^2 are sums of few terms,
//   cubic         Q = (h^2 + k^2 + l^2) A
//   tetragonal    Q = (h^2 + k^2) A + l^2 C
//   hexagonal     Q = (h^2 + hk + k^2) A + l^2 C
//   orthorhombic  Q = h^2 A + k^2 B + l^2 C,
// so A, (A, C) or (A, B, C) follow from the first lines given small indices. Every conventional
// metric found is made primitive in each centring its system allows (P, I, F, C, A, B; R on
// hexagonal axes) and scored as ZoneMetricMerit scores a zone start.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>
#include "indexing/zone_starts.h"

// A primitive start cell of a lattice of higher symmetry and its merit (ZoneMetricMerit).
struct LatticeStart {
  ZoneCell cell;
  double merit, volume;
};

// Up to count starts, best merit first, each of a lattice of its own, of volume at most
// volumeLimit (A^3; no limit when it is not positive); the lines in order of rising Q.
std::vector<LatticeStart> LatticeStartCells(const std::vector<ZoneLine>& lines, double volumeLimit, size_t count);
// Start cells of a search with the system given (3 orthorhombic, 4 tetragonal, 5 cubic, 6
// hexagonal, 7 rhombohedral) and the lattice type (0 P, 1 A, 2 B, 3 C, 4 F, 5 I): the metrics of
// the system's family scored in the type's centring (R for system 7), up to count cells of
// distinct lattices, best first, as a, b, c and the cosines of the conventional cell (on
// rhombohedral axes for system 7).
std::vector<LatticeStart> SystemStartCells(const std::vector<ZoneLine>& lines, int32_t system, int32_t type,
                                           double volumeLimit, size_t count);

// The reduced cell of the indexing results, taken within the lattice the search found: a centred
// monoclinic cell is shortened only by steps that keep its centring vector a lattice vector of
// the same type, so that the cell written back generates the same reflections.
#pragma once
#include <cstdint>

// Reduces the cell (a, b, c, cosines of alpha, beta, gamma) of a phase of this crystal system and
// lattice type in place; returns its volume and clears CellReduced when it changed the cell.
// Triclinic and primitive monoclinic cells go through ReduceCell; centred monoclinic cells are
// reduced in the a-c plane to their shortest edges and an obtuse beta.
double ReduceCellInLattice(double (&cell)[6], int32_t system, int32_t type);

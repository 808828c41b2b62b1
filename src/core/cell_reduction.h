// Cell reduction: a trial cell of the indexing brought towards its most compact form by replacing
// an edge of a pair by the shorter sum or difference of the pair. Every step keeps the lattice
// (the new edge is a lattice vector) and the volume.
//
// Cells are given by their edges and the cosines of their angles; alpha lies between b and c,
// beta between a and c, gamma between a and b.
#pragma once
#include <cstdint>

// 1 when ReduceCell changed nothing; set by ReduceCell and cleared by any step that changes the
// cell.
extern uint8_t CellReduced;

// Reduces the cell in place and returns its volume. Mode 2 (monoclinic) reduces only in the a-c
// plane, the longer of a and c by the shorter. Other modes make three checks in turn (c longest,
// then b longest, then a longest, on the edges as the previous check left them), each of which,
// when it holds, takes three pair steps in a fixed order.
void ReduceCell(double& a, double& b, double& c, int32_t mode, double& volume, double& cosAlpha,
                double& cosBeta, double& cosGamma);
// One pair step on edges x and y, z the third edge; cx, cy, cz are the cosines of the angles
// opposite x, y, z (between y and z, x and z, x and y). The longer of x, y is replaced by
// x - y or x + y when that is shorter than it, and the two cosines involving it are recomputed.
// Nothing changes when all three angles are within 0.001 radian of 90 degrees.
void ReducePair(double& x, double& y, double& z, double& cx, double& cy, double& cz);
// One step in the plane of edge and other with the angle between them: edge := |edge -+ other|,
// the shorter of the two, when that is shorter than edge; cosAngle follows.
void ReducePlane(double& edge, double& cosAngle, double other);

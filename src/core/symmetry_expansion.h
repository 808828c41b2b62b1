// The symmetry-equivalent copies of a phase's atoms and the parameter links that tie the copies'
// coordinates to their source atoms.
//
// The copies run, outermost first, over the sign s (+1, then -1 for a centrosymmetric group), the
// centring vector c (none, then vectors 1..centring count), the operation and the atom:
// X' = s (R11 x + R12 y + R13 z + t1 + c1), likewise Y' and Z'. Atoms at special positions give
// coinciding copies; they are kept, since the occupations already hold the site multiplicity.
#pragma once
#include <cstdint>

// Copies phase k's atoms (mode 1: only those with the magnetic flag) to all their equivalent
// positions: into phase k + 1 from atom 1 (modes other than 2), or appended to phase k itself
// (mode 2, which leaves out the identity the atoms already stand for). The target phase then
// becomes P1 (group 1, setting 1, crystal system 1, one operation, no centring, not
// centrosymmetric) with the atoms written. A target beyond the phase table is refused with a
// message, and copies beyond 200 atoms are dropped with one.
void ExpandAtomsBySymmetry(int32_t k, int32_t mode);
// Ties the coordinate records of phase k's atoms, made by ExpandAtomsBySymmetry(k - 1, 1), to
// the records of their source atoms in phase k - 1: n := the source record, a := s R, b := s
// (t + c). A record holding 0, 1/4, 1/2, 3/4 or 1 stays free; of several non-zero rotation
// entries in a row the last decides (so trigonal and hexagonal x - y rows are tied to y alone).
void GenerateEquivalentPositions(int32_t k);
// The same links inside phase k for the copies that ExpandAtomsBySymmetry(k, 2) appended, from
// the group the phase had before that expansion (each phase keeps its own). A phase never
// expanded so, or whose group was set anew since, gets no links and a line in the result file.
void GenerateEquivalentMoments(int32_t k);
// Drops what ExpandAtomsBySymmetry(k, 2) kept of phase k's former group; every routine that sets
// the phase's group anew calls it.
void ForgetSymmetryExpansion(int32_t k);

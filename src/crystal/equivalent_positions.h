// The symmetry-equivalent positions of one atom and how many images fall on each: the site
// multiplicity as the atom information display shows it.
//
// The images are R_m x + tau_m + c_t for the centring translations t (the zero vector first,
// then the phase's centring vectors) and the operations m, each coordinate brought once into
// (-1, 1) (1 or more lowered by 1, -1 or less raised by 1); for a centrosymmetric phase their
// negatives follow, not reduced again. Images closer than 0.025 in every coordinate are merged
// into the first. Positions that differ by a whole cell edge (-0.25 and 0.75) stay apart.
#pragma once
#include <cstdint>
#include "core/model_tables.h"

// Images of one atom: (centring vectors + 1) x operations, twice for a centrosymmetric phase.
constexpr int32_t MaxEquivalentPositions = 2 * 4 * MaxOperations;
// The x of an image merged into an earlier one.
constexpr double MergedPosition = 777.0;

struct TEquivalentPosition {
  double x = 0, y = 0, z = 0;
  double count = 0;  // images that fall on this position (itself included)
};

struct TEquivalentPositions {
  int32_t count = 0;  // images generated: records 1..count
  TEquivalentPosition records[MaxEquivalentPositions + 1];  // [1..count]; x = 777 when merged
  // max(|x_i - x_j|, |y_i - y_j|, |z_i - z_j|) of records i and j.
  double CoordinateDifference(int32_t i, int32_t j) const;
  bool Kept(int32_t i) const { return records[i].x != MergedPosition; }
};

// The scratch of the atom information display.
extern TEquivalentPositions EquivalentPositions;

// The images of atom `atom` of phase `phase` into list, merged: for every ordered pair i <> j
// (i outer) closer than 0.025, record j's x := 777 and record i's count + 1. Counts beyond the
// tables (48 operations, 3 centring vectors) are read only up to them; a phase or atom index
// outside the tables gives no records.
void FindEquivalentPositions(int32_t phase, int32_t atom, TEquivalentPositions& list);

// The constraints that a crystal system puts on the six metric records of a phase's parameter
// block (1/d^2 = A h^2 + B k^2 + C l^2 + D kl + E hl + F hk, records in that order).
#pragma once
#include <cstdint>
#include "core/fit_engine.h"

// Records first..first+5 of the 1-based array records (A, B, C, D = kl, E = hl, F = hk) by
// crystal system (1 triclinic .. 7 rhombohedral; other numbers as triclinic):
//
//   system          B      C      D      E                 F
//   triclinic       free   free   free   free              free
//   monoclinic      free   free   0      free if setting 2  0 if setting 2, else free
//   orthorhombic    free   free   0      0                 0
//   tetragonal      = A    free   0      0                 0
//   cubic           = A    = A    0      0                 0
//   hexagonal       = A    free   0      0                 = A
//   rhombohedral    = A    = A    free   = D               = D
//
// Setting 2 of a monoclinic group has the unique axis b (hl survives), any other setting the
// unique axis c (hk survives). The six records are first made independent (n own, a = 1, b = 0);
// "0" sets lower, value and upper to 0; "= A" ties the record to A by TieToMaster, which gives
// it A's lower, value and upper.
void ApplyMetricConstraints(ParameterRecord* records, int32_t first, int32_t crystalSystem, int32_t setting);

struct LATTICE;
// The setting whose monoclinic rule a phase's metric follows. A phase whose operations come from a
// group file (group 777) has the unique axis of those operations: the coordinate that a diagonal
// two-fold axis or mirror keeps apart from the other two (b gives setting 2, c setting 1). Any
// other phase, or operations that show no such axis, its own setting.
int32_t MetricSetting(const LATTICE& phase);

// The non-standard space-group file (default "vm.spg", read only). Lines starting with "*" are
// comments anywhere; numbers are free-field (blanks, commas or tabs between them):
//   six numbers   class code, centring translations T, operations N, centrosymmetric flag
//                 (0, 1), lattice type (0..6, "PABCFIR"), crystal system (1..7); each taken to
//                 the nearest integer, T cut to 3 and N to 48;
//   T lines       three numbers each: centring vector t;
//   N lines       one operation formula each (symmetry_formula.h);
//   N lines       magnetic phase only: a second set of formulas that replaces the first;
//   one line      magnetic phase, INI reading only: the moment (spin-plane) direction.
// Number, setting and symbols of the phase are left to the caller.
#pragma once
#include <cstdint>
#include "core/model_tables.h"

// Reads the group of phase p from SpaceGroupFileName. mode 0 (phase editor) first asks the name
// with the open dialog, proposing SpaceGroupFileName (Cancel: DialogOk := 0; the answer becomes
// SpaceGroupFileName), and after success shows "Non-standard group read in." and "See INFO about
// phase"; mode 1 (INI) asks nothing and reads the spin-plane line of a magnetic phase.
// DialogOk := 1 on success. Bad data shows "Wrong space group data", DialogOk := 0, and the
// phase keeps everything it held. In mode 1 the phase's cell (its angles set for the file's
// crystal system) must be kept by every operation (MetricBrokenBy); the phase editor checks the
// cell it asks next. A file that cannot be opened abandons the operation.
void ReadNonStandardGroup(int32_t p, int32_t mode);
// The first operation (1..OperationCount) of g whose rotation R does not keep the metric G of
// the cell (a, b, c in angstrom, angles in degrees): R^T G R = G to 2e-4 of sqrt(G_ii G_jj),
// the precision of a cell written with 0.01 degree and 4 decimals. 0 when every one keeps it or
// when the cell forms no cell (nothing to check against).
int32_t MetricBrokenBy(const LATTICE& g, const double (&cell)[6]);
// The message of a group refused by MetricBrokenBy.
void ShowMetricBroken(int32_t operation);

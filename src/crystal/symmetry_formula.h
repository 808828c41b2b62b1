// Symmetry operations written as coordinate formulas, as in "-x, y+0.5, -z+0.5": the three
// comma-separated expressions give x', y', z'. Blanks are ignored and letters upper-cased; each
// expression holds at most one term in each of X, Y, Z ("+X" or "X" is +1, "-X" is -1) and one
// decimal constant. Known readings kept as they are: "2Z" is Z + 2 (a digit before a letter is
// part of the constant), "1/2" is not a number, the first comma must stand within the first 72
// characters, and the third expression is read to 72 characters (the rest is ignored).
#pragma once
#include <cstdint>
#include <string>
#include "core/model_tables.h"

// Removes one term of letter (upper case) from s: "+L" gives coefficient 1, else "-L" gives -1,
// else "L" gives 1; the first occurrence is deleted. No term: coefficient 0, s unchanged.
void ParseSymmetryTerm(std::string& s, char letter, double& coefficient);

// Operation `operation` (1..48) of lattice := the formula: its rotation rows and translation (the
// constant as written, every decimal kept). formula comes back without blanks, upper-cased, its
// first comma blanked. A syntax error shows "Poor syntax= " + formula, sets DialogOk := 0 and
// returns false; the operation then keeps what it held. Success leaves DialogOk as it was.
bool ParseSymmetryFormula(LATTICE& lattice, int32_t operation, std::string& formula);
// The same into operation `operation` of phase `phase` (1..6) of PhaseTable.
void ParseSymmetryFormula(int32_t phase, int32_t operation, std::string& formula);

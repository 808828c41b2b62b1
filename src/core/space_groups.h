// The space-group table and the routines that read it: the look-up of a group by its symbol, the
// symmetry of a phase from its group number and setting, and the text of one operation.
//
// SpaceGroupTable holds 277 entries (groups 1..230, the second settings as negative numbers
// right after the first ones, and the extra entries 231, 232, 234) in fixed-column text rows
// (columns 1-based):
//   header     1-4 number, 5-8 class code (Laue class), 9-12 operation count n,
//              13-16 centrosymmetric flag, 17-20 centring count, 26-55 five centring vectors,
//              each fraction as a numerator digit and a denominator digit ("00" is 0);
//   symbol     1-2 lattice type (0 P .. 6 R), 3-26 reflection-condition codes (unused),
//              28-34 Schoenflies symbol, 35-41 Hermann-Mauguin symbol (none for 231 and above);
//   n rows     for each coordinate row: translation numerator and denominator (0 counts as 1)
//              and the three rotation entries, 3 columns each; 46-48 the operation number.
// An entry lists the operations modulo its centring vectors; with the flag set it lists only the
// proper rotations, the inversion through the origin being added by the user of the operations:
// the group is {s (R x + t + c)}, s = +1, -1, c = 0 and the centring vectors.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

constexpr int32_t SpaceGroupRowCount = 2962;
extern const std::array<const char*, SpaceGroupRowCount + 1> SpaceGroupTable;  // [1..2962]

// Columns from..to (1-based, inclusive) of a table row; shorter when the row ends before.
std::string_view Columns(const char* row, size_t from, size_t to);
// The integer in columns from..to; blanks around it, and an empty field, read as 0.
int32_t IntegerAt(const char* row, size_t from, size_t to);

// The first entry whose Hermann-Mauguin symbol equals name (both upper-cased): number := its
// group number (positive) and DialogOk := 1. Otherwise "No space group with name " + name and
// DialogOk := 0; an empty name matches nothing.
void FindSpaceGroup(const std::string& name, int32_t& number);
// Phase k's symmetry fields from the entry of its group number and setting: class code,
// centrosymmetric flag, centring count and vectors, lattice type, the two symbols, the operations.
// Group 0 does nothing. No such entry: "No group " + number + ", setting " + setting,
// DialogOk := 0, and the phase keeps all it held.
void ExpandSpaceGroup(int32_t k);
// Operation i of phase k as text: per coordinate row its terms " -x", " +y" or three blanks and
// the translation in 4 columns ("+.50", blanks for none), the first term of a row without its
// "+"; rows joined by ",  ". -x, y + 1/2, -z + 1/2 gives
// " -x          ,       y   +.50,         -z+.50".
void OperationText(int32_t i, int32_t k, std::string& text);

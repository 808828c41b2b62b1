// Non-standard space groups entered by hand or chosen by name from the named test groups. Both
// work on a copy of the phase and write it only when the whole group was read: a refusal leaves
// the phase exactly as it was and DialogOk = 0.
#pragma once
#include <cstdint>
#include <span>

// "Enter space group info" (Laue class code, setting, centring and operation counts, cut at 3 and
// 48, centrosymmetric or not), then "Enter strings with data": one line per centring vector
// (three numbers) and one formula per operation (symmetry_formula.h), preset with the phase's
// own at full precision. A bad line shows "Wrong space group data".
void EnterNonStandardGroup(int32_t p);

// "Enter the name of non-standard space group": the name (upper-cased, blanks removed) is looked
// up in TestSpaceGroupData; the phase gets that group with number 1, the name as its
// Hermann-Mauguin symbol and no Schoenflies symbol. Not found: "No group " + name.
void NameNonStandardGroup(int32_t p);

// The named test groups, one after the other, each as the entries: name (upper case, no
// blanks); setting, lattice type (0..6), class code, centrosymmetric flag, centring count,
// operation count n (one integer each); the three centring vectors as nine numbers; n formulas.
// As in the space-group table the operations are listed modulo the centring vectors, and only
// the proper ones when the inversion through the origin belongs to the group (flag 1).
extern const std::span<const char* const> TestSpaceGroupData;
// Groups looked at by NameNonStandardGroup.
constexpr int32_t TestSpaceGroupCapacity = 23;

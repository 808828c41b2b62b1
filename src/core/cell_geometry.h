// Small routines of cell geometry shared by the crystal model, the indexing and the INI reader:
// the crystal system of a space-group number, the angles a system fixes, the lattice centrings a
// system admits, cell volumes, the reciprocal cell and clamped inverse trigonometric functions.
//
// A cell is six doubles: a, b, c (angstrom) and alpha, beta, gamma (degrees).
#pragma once
#include <array>
#include <cstdint>
#include <span>

// Degrees per radian as the program has always used it (not 180/pi: results agree with exact
// geometry to about 1e-8 relative).
inline constexpr double RadToDeg = 57.29578;
// Pi as used by the mirror steps of ArcSinAngle and ArcCosRounded (1.5e-7 below pi). ArcCosClamped
// mirrors with pi itself: a cell's angle goes to its cosine and back unchanged.
inline constexpr double PiLegacy = 3.1415925;

// Crystal-system codes: 1 triclinic, 2 monoclinic, 3 orthorhombic, 4 tetragonal, 5 cubic,
// 6 hexagonal (also trigonal), 7 rhombohedral.

// The crystal system of space group 1..230; the trigonal groups are hexagonal except the seven
// R groups in setting 1 (rhombohedral axes), which are rhombohedral. Any other number gives 1.
int32_t CrystalSystemOfGroup(int32_t number, int32_t setting);
// Fixes the angles (degrees) that the system prescribes; monoclinic sets only alpha.
void SetSystemAngles(double& alpha, double& beta, double& gamma, int32_t system);
// Whether the lattice type (0 P, 1 A, 2 B, 3 C, 4 F, 5 I, 6 R) is admitted by the system.
bool BravaisTypeAllowed(int32_t system, int32_t type);

// The 44 groups that have a second setting: the monoclinic groups (unique axis b), the groups
// with two origin choices and the R groups (hexagonal axes).
inline constexpr std::array<int32_t, 44> SecondSettingGroups = {
    3,   4,   5,   6,   7,   8,   9,   10,  11,  12,  13,  14,  15,  48,  50,
    59,  68,  70,  85,  86,  88,  125, 126, 129, 130, 133, 134, 137, 138, 141,
    142, 146, 148, 155, 160, 161, 166, 167, 201, 203, 222, 224, 227, 228};

// One crystal system: its name, the lattice types BravaisTypeAllowed admits ("(PABC)") and the
// group numbers CrystalSystemOfGroup gives it.
struct TCrystalSystemRow {
  const char* name;
  const char* letters;
  const char* groups;
};
// Rows 1..7 by crystal-system code; row 0 is empty.
extern const std::array<TCrystalSystemRow, 8> CrystalSystemTable;
// The row of a system code; a code outside 1..7 gives the triclinic row, as CrystalSystemOfGroup
// gives 1 for a number it does not know.
const TCrystalSystemRow& CrystalSystemRow(int32_t system);

// Volume in cubic angstrom (0 for angles that do not form a cell).
double CellVolume(std::span<const double, 6> cell);
double CellVolumeFromCosines(double a, double b, double c, double cosAlpha, double cosBeta,
                             double cosGamma);

// The reciprocal cell a*, b*, c* (1/angstrom), alpha*, beta*, gamma* (degrees) and its volume.
// Mode 0 takes the cell's angles in degrees; any other mode takes the angle fields of the cell as
// the cosines. Mode 2 then stores 1/a, 1/b, 1/c as the lengths and 180 - angle as the angles.
// Since the relation is symmetric, a reciprocal cell gives the direct cell back.
// When a * b * c = 0 "Unit cell error" is shown and only the angle fields of reciprocal are
// written, holding the reciprocal cosines; its lengths and volume keep what they held.
// cell and reciprocal may be the same array.
void CellMetric(std::span<const double, 6> cell, std::span<double, 6> reciprocal, double& volume,
                int32_t mode);

// arccos in radians, x taken to [-1, 1]; |x| < 1e-4 gives exactly pi/2.
double ArcCosClamped(double x);
// arcsin as an angle in radians, x taken to [-1, 1]; a negative x gives an angle between pi and
// 3 pi/2 (PiLegacy + arcsin|x|), not a negative one.
double ArcSinAngle(double x);
// |x| is exactly 0, 1/4, 1/2, 3/4 or 1: the admissible translations of symmetry operations.
bool IsQuarterFraction(double x);

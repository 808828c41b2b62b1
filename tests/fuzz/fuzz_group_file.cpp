// The non-standard group file as the INI command reads it, into a phase that has a cell. The
// first byte chooses the cell (none, triclinic, monoclinic, hexagonal, cubic) and whether the
// phase is magnetic; the rest is the file. A group taken keeps the metric of the cell and holds
// its counts in range; a group refused leaves the phase as it was.
#include <algorithm>
#include <array>
#include <cmath>
#include "core/cell_geometry.h"
#include "core/dialog_state.h"
#include "core/model_tables.h"
#include "core/settings_file.h"
#include "crystal/group_file.h"
#include "fuzz_support.h"

VKEST_FUZZ_SET_UP()

namespace {
constexpr std::array<std::array<double, 6>, 5> Cells = {{{0, 0, 0, 0, 0, 0},
                                                         {5.1, 6.3, 7.7, 81, 97, 103},
                                                         {5, 6, 7, 90, 100, 90},
                                                         {4, 4, 9, 90, 90, 120},
                                                         {6, 6, 6, 90, 90, 90}}};

uint64_t SymmetryChecksum(const LATTICE& g) {
  uint64_t h = Checksum(g.Rotations, sizeof g.Rotations);
  h = Checksum(g.Translations, sizeof g.Translations, h);
  h = Checksum(g.CentringVectors, sizeof g.CentringVectors, h);
  h = Checksum(g.MomentDirection, sizeof g.MomentDirection, h);
  h = Checksum(g.Cell, sizeof g.Cell, h);
  for (int32_t v : {g.ClassCode, g.CentringCount, g.OperationCount, g.Centrosymmetric, g.LatticeType, g.CrystalSystem})
    h = ChecksumOf(v, h);
  return h;
}
// Cartesian length of the fractional vector v in the cell: a along x, b in the xy plane.
double Length(const double (&cell)[6], const double (&v)[3]) {
  const double r = 3.14159265358979323846 / 180;
  const double ca = std::cos(cell[3] * r), cb = std::cos(cell[4] * r), cg = std::cos(cell[5] * r), sg = std::sin(cell[5] * r);
  const double cy = (ca - cb * cg) / sg, cz = std::sqrt(std::max(0.0, 1 - cb * cb - cy * cy));
  const double x = cell[0] * v[0] + cell[1] * cg * v[1] + cell[2] * cb * v[2];
  const double y = cell[1] * sg * v[1] + cell[2] * cy * v[2];
  const double z = cell[2] * cz * v[2];
  return std::sqrt(x * x + y * y + z * z);
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzSession session;
  FuzzBytes in(data, size);
  const uint8_t options = in.Byte();
  SpaceGroupFileName = FuzzFile(in.Rest(), in.RestSize(), "group.spg");
  LATTICE& g = PhaseTable[2];
  g = LATTICE{};
  const auto& cell = Cells[options % Cells.size()];
  std::copy(cell.begin(), cell.end(), g.Cell);
  PhaseModelFlags[2] = (options >> 4) & 1;
  const uint64_t before = SymmetryChecksum(g);
  ReadNonStandardGroup(2, 1);
  if (DialogOk != 1) {
    FuzzCheck(SymmetryChecksum(g) == before, "a refused group changed the phase");
    return 0;
  }
  FuzzCheck(g.OperationCount >= 0 && g.OperationCount <= MaxOperations, "operation count");
  FuzzCheck(g.CentringCount >= 0 && g.CentringCount <= 3, "centring count");
  FuzzCheck(g.LatticeType >= 0 && g.LatticeType <= 6 && g.CrystalSystem >= 1 && g.CrystalSystem <= 7, "lattice");
  double c[6];
  std::copy(g.Cell, g.Cell + 6, c);
  SetSystemAngles(c[3], c[4], c[5], g.CrystalSystem);
  if (CellVolume(c) <= 0) return 0;
  // The six lengths of the edges and of the face diagonals fix the metric: each operation keeps
  // them (to well within what the reader allows for the cell's precision).
  const double probes[6][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {1, 1, 0}, {1, 0, 1}, {0, 1, 1}};
  for (int32_t n = 1; n <= g.OperationCount; ++n)
    for (const auto& v : probes) {
      double w[3];
      for (int32_t i = 0; i < 3; ++i) w[i] = g.Rotations[i][0][n] * v[0] + g.Rotations[i][1][n] * v[1] + g.Rotations[i][2][n] * v[2];
      const double a = Length(c, v), b = Length(c, w);
      FuzzCheck(std::fabs(a - b) <= 2e-3 * a, "operation " + std::to_string(n) + " changes a length");
    }
  return 0;
}

#include "indexing/lattice_reduction.h"
#include <algorithm>
#include <cmath>
#include "core/cell_geometry.h"
#include "core/cell_reduction.h"

namespace {

// A step counts only when the edge shrinks by more than rounding.
constexpr double Shorter = 1 - 1e-10;

// The least multiple m > 0 of one edge that may be added to the other in the a-c plane: a' = a +
// m c keeps the centring (ta, tb, tc) when m ta is an integer, c' = c + m a when m tc is. A has
// ta = 0, tc = 1/2; C ta = 1/2, tc = 0; B and I both 1/2.
int32_t StepMultiple(int32_t type, bool onA) {
  const bool halfA = type == 2 || type == 3 || type == 5;
  const bool halfC = type == 1 || type == 2 || type == 5;
  return (onA ? halfA : halfC) ? 2 : 1;
}

// The a-c net of a centred monoclinic cell to its shortest edges: x := x + s m y (s = -+1) while
// that shortens x; dot is a . c. Each step keeps the lattice and the volume.
void ReduceCentredPlane(double& a, double& c, double& dot, int32_t type) {
  const double mA = StepMultiple(type, true), mC = StepMultiple(type, false);
  for (int32_t it = 0; it < 200; ++it) {
    // a' = a - s mA c with s the sign of a . c, and likewise for c.
    const double sa = dot >= 0 ? 1 : -1;
    const double a2 = a * a + mA * mA * c * c - 2 * mA * std::fabs(dot);
    const double c2 = c * c + mC * mC * a * a - 2 * mC * std::fabs(dot);
    const double gainA = a * a - a2, gainC = c * c - c2;
    if (a2 < a * a * Shorter && a2 > 0 && gainA >= gainC) {
      dot -= sa * mA * c * c;
      a = std::sqrt(a2);
    } else if (c2 < c * c * Shorter && c2 > 0) {
      dot -= sa * mC * a * a;
      c = std::sqrt(c2);
    } else {
      return;
    }
    CellReduced = 0;
  }
}

}  // namespace

double ReduceCellInLattice(double (&cell)[6], int32_t system, int32_t type) {
  double volume = 0;
  if (system != 2 || type == 0 || type == 4 || type > 5) {
    ReduceCell(cell[0], cell[1], cell[2], system, volume, cell[3], cell[4], cell[5]);
    return volume;
  }
  CellReduced = 1;
  double dot = cell[0] * cell[2] * cell[4];
  ReduceCentredPlane(cell[0], cell[2], dot, type);
  // c -> -c keeps every centring: beta obtuse as the monoclinic setting has it.
  cell[4] = -std::fabs(std::clamp(dot / (cell[0] * cell[2]), -1.0, 1.0));
  return CellVolumeFromCosines(cell[0], cell[1], cell[2], cell[3], cell[4], cell[5]);
}

#include "crystal/equivalent_positions.h"
#include <algorithm>
#include <cmath>

TEquivalentPositions EquivalentPositions;

namespace {

constexpr int32_t MaxCentringVectors = 3;
// Images closer than this in every coordinate (fraction of the edge) are one position.
constexpr double CoincidenceLimit = 0.025;

// One step into (-1, 1), as the display has always done it (not a reduction modulo 1).
double ReducedOnce(double v) {
  if (v >= 1.0) return v - 1.0;
  if (v <= -1.0) return v + 1.0;
  return v;
}

}  // namespace

double TEquivalentPositions::CoordinateDifference(int32_t i, int32_t j) const {
  const TEquivalentPosition &a = records[i], &b = records[j];
  return std::max({std::fabs(a.x - b.x), std::fabs(a.y - b.y), std::fabs(a.z - b.z)});
}

void FindEquivalentPositions(int32_t phase, int32_t atom, TEquivalentPositions& list) {
  list.count = 0;
  if (!TableIndexOk(phase, 1, MaxPhases, "phase") || !TableIndexOk(atom, 1, MaxAtoms, "atom")) return;
  const LATTICE& p = PhaseTable[phase];
  const ATOM& a = AtomTable[atom][phase];
  const double x[3] = {a.X, a.Y, a.Z};
  const int32_t operations = std::clamp(p.OperationCount, 0, MaxOperations);
  const int32_t centrings = std::clamp(p.CentringCount, 0, MaxCentringVectors);
  int32_t n = 0;
  for (int32_t t = 0; t <= centrings; ++t)
    for (int32_t m = 1; m <= operations; ++m) {
      double v[3];
      for (int32_t c = 0; c < 3; ++c) {
        const double shift = t == 0 ? 0.0 : p.CentringVectors[c][t];
        v[c] = ReducedOnce(p.Rotations[c][0][m] * x[0] + p.Rotations[c][1][m] * x[1] +
                           p.Rotations[c][2][m] * x[2] + p.Translations[c][m] + shift);
      }
      list.records[++n] = {v[0], v[1], v[2], 1.0};
    }
  if (p.Centrosymmetric != 0) {
    for (int32_t i = 1, half = n; i <= half; ++i) {
      const TEquivalentPosition& r = list.records[i];
      list.records[++n] = {-r.x, -r.y, -r.z, 1.0};
    }
  }
  list.count = n;
  for (int32_t i = 1; i <= n; ++i)
    for (int32_t j = 1; j <= n; ++j)
      if (i != j && list.CoordinateDifference(i, j) < CoincidenceLimit) {
        list.records[j].x = MergedPosition;
        list.records[i].count += 1;
      }
}

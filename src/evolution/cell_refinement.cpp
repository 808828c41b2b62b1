// Cell refinement from reflection positions and the cell line of the result file.
#include "evolution/cell_refinement.h"
#include <algorithm>
#include <cmath>
#include "core/cell_geometry.h"
#include "core/cell_metric.h"
#include "core/line_fits.h"
#include "core/numeric_arrays.h"
#include "core/spectra_utilities.h"
#include "core/spectrum.h"
#include "core/text_file.h"
#include "core/toolbox.h"
#include "evolution/trevo_state.h"

namespace {

constexpr int32_t Orthorhombic = 3, Tetragonal = 4, Cubic = 5, Hexagonal = 6, Rhombohedral = 7;

int32_t UnknownCount(int32_t system) {
  switch (system) {
    case Orthorhombic: return 3;
    case Tetragonal:
    case Hexagonal:
    case Rhombohedral: return 2;
    case Cubic: return 1;
    default: return 0;
  }
}

double Det3(const double m[3][3]) {
  return m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) - m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
         m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
}

}  // namespace

void ReflectionWeight(double& w, int32_t p, int32_t j) {
  w = 0;
  if (p < 1 || p > TrevoPhaseCount || j < 1 || j > TrevoReflectionCapacity) return;
  const TSpectrum* sp = SpectrumOrNull(CurrentSpectrum);
  const double a = TrevoPhases[p].Amplitudes[j];
  if (!sp || a == 0) return;
  const double sigma = sp->W0 / a;  // position error grows with the width, falls with the amplitude
  if (sigma * sigma == 0 || !std::isfinite(sigma)) return;
  w = 1 / (sigma * sigma);
}

bool SolveCellCoefficients(int32_t p, std::array<double, 3>& u) {
  u = {0, 0, 0};
  if (p < 1 || p > TrevoPhaseCount) return false;
  const TTrevoPhase& t = TrevoPhases[p];
  const int32_t system = PhaseTable[p].CrystalSystem;
  const int32_t unknowns = UnknownCount(system);
  double M[3][3] = {}, V[3] = {};
  int32_t weighted = 0;
  const int32_t n = std::clamp(t.ReflectionCount, 0, TrevoReflectionCapacity);
  for (int32_t j = 1; j <= n; ++j) {
    double w = 0;
    ReflectionWeight(w, p, j);
    const double d = TrevoIdentificationD[j][p];
    if (w <= 0 || !(d > 0)) continue;
    ++weighted;
    const double q = 1 / (d * d);
    const double h = t.Reflections[j].h, k = t.Reflections[j].k, l = t.Reflections[j].l;
    double x[3] = {0, 0, 0};
    switch (system) {
      case Orthorhombic: x[0] = h * h, x[1] = k * k, x[2] = l * l; break;
      case Tetragonal: x[0] = h * h + k * k, x[2] = l * l; break;
      case Hexagonal: x[0] = h * h + k * k + h * k, x[2] = l * l; break;
      case Rhombohedral: x[0] = h * h + k * k + l * l, x[2] = h * k + k * l + h * l; break;
      case Cubic: x[0] = h * h + k * k + l * l; break;
      default: break;
    }
    for (int32_t a = 0; a < 3; ++a) {
      for (int32_t b = a; b < 3; ++b) M[a][b] += w * x[a] * x[b];
      V[a] += w * x[a] * q;
    }
  }
  if (unknowns == 0) return false;
  // The completion: the unused unknowns get a unit diagonal, so the block inverts on its own.
  for (int32_t a = 0; a < 3; ++a)
    for (int32_t b = 0; b < a; ++b) M[a][b] = M[b][a];
  if (unknowns == 2) M[1][1] = 1, M[0][1] = M[1][0] = M[1][2] = M[2][1] = 0;
  if (unknowns == 1) M[1][1] = M[2][2] = 1, M[0][1] = M[1][0] = M[0][2] = M[2][0] = M[1][2] = M[2][1] = 0;
  // Rank: a tiny determinant from rounding would give a nonsense cell.
  const double scale = M[0][0] * M[1][1] * M[2][2];
  if (weighted < unknowns || !(std::fabs(Det3(M)) >= 1e-12 * std::fabs(scale)) || scale == 0) return false;
  for (int32_t a = 0; a < 3; ++a)
    for (int32_t b = 0; b < 3; ++b) WorkMatrix[a + 1][b + 1] = M[a][b];
  int32_t ok = 0;
  double det = 0;
  Invert3x3(ok, 0, det);
  if (!ok) return false;
  for (int32_t a = 0; a < 3; ++a)
    for (int32_t b = 0; b < 3; ++b) u[static_cast<size_t>(a)] += WorkMatrix[a + 1][b + 1] * V[b];
  return true;
}

void ReciprocalCellFromCoefficients(int32_t system, const std::array<double, 3>& u, double (&r)[6]) {
  const double s1 = std::sqrt(std::fabs(u[0])), s2 = std::sqrt(std::fabs(u[1])), s3 = std::sqrt(std::fabs(u[2]));
  r[3] = r[4] = r[5] = 90;
  switch (system) {
    case Orthorhombic: r[0] = s1, r[1] = s2, r[2] = s3; break;
    case Tetragonal: r[0] = r[1] = s1, r[2] = s3; break;
    case Cubic: r[0] = r[1] = r[2] = s1; break;
    case Hexagonal: r[0] = r[1] = s1, r[2] = s3, r[5] = 60; break;
    case Rhombohedral: {
      // u3 (hk + kl + hl) is the cross term 2 a*^2 cos alpha*.
      r[0] = r[1] = r[2] = s1;
      const double c = u[0] != 0 ? std::clamp(u[2] / (2 * u[0]), -1.0, 1.0) : 0.0;
      r[3] = r[4] = r[5] = std::acos(c) * RadToDeg;
      break;
    }
    default: break;
  }
}

void RefineCellFromReflections(int32_t p) {
  if (p < 1 || p > TrevoPhaseCount) return;
  TTrevoPhase& t = TrevoPhases[p];
  std::array<double, 3> u{};
  if (!SolveCellCoefficients(p, u)) {
    std::copy(PhaseTable[p].Cell, PhaseTable[p].Cell + 6, t.Cell);
    return;
  }
  t.WorkingValues[0] = u[0], t.WorkingValues[1] = u[2];
  ReciprocalCellFromCoefficients(PhaseTable[p].CrystalSystem, u, t.ReciprocalCell);
  double reciprocalVolume = 0;
  CellMetric(t.ReciprocalCell, t.Cell, reciprocalVolume, 0);
  t.Volume = CellVolume(t.Cell);
  ShowUnitCell(p, 1);
  PhaseMetric(p);
  const int32_t n = std::clamp(t.ReflectionCount, 0, TrevoReflectionCapacity);
  double s = 0;
  for (int32_t j = 1; j <= n; ++j) {
    t.Reflections[j].d = TrevoIdentificationD[j][p];
    SequenceHklInverseDSquared(p, j);
    s += std::fabs(t.CalculatedD[j] - TrevoIdentificationD[j][p]);
  }
  LogLine("Phase " + FormatInteger(p, 1) + "  sorting accu =" + FormatFixed(9, 4, s / MaxI(1, n)));
}

void ShowUnitCell(int32_t p, int32_t mode) {
  if (p < 1 || p > TrevoPhaseCount) return;
  const TTrevoPhase& t = TrevoPhases[p];
  std::string line = mode == 1 ? "UNIT Cell = " : "";
  if (PhaseTable[p].CrystalSystem == Rhombohedral)
    line += FormatFixed(10, 5, t.Cell[0]) + FormatFixed(9, 2, t.Cell[3]);
  else
    line += FormatFixed(10, 5, t.Cell[0]) + FormatFixed(10, 5, t.Cell[1]) + FormatFixed(10, 5, t.Cell[2]);
  LogLine(line + "   vol= " + FormatFixed(6, 2, t.Volume));
}

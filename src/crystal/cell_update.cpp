#include "crystal/cell_update.h"
#include <algorithm>
#include <cmath>
#include <numbers>
#include "core/cell_geometry.h"
#include "core/cell_metric.h"
#include "core/fit_engine.h"
#include "core/messages.h"
#include "core/parameter_layout.h"
#include "core/small_routines.h"
#include "crystal/reflection_lists.h"
#include "crystal/structure_factor.h"

namespace {

constexpr int32_t AtomRecords = 10;     // occupation, X, Y, Z, T11, T12, T13, T22, T23, T33
constexpr int32_t MagneticRecords = 3;  // Cos Phi_a, _b, _c per phase
// Errors of angles in degrees per radian, exactly (the stored angles use RadToDeg).
constexpr double ErrorDegPerRad = 180.0 / std::numbers::pi;
// The smallest V* / (a* b* c*) accepted: CellMetric holds that factor at least 1e-8, so a
// flatter metric would be turned into some other cell than its own.
constexpr double MinVolumeFactor = 1e-8;

int32_t Phases() { return std::clamp(PhaseCount, 0, MaxPhases); }

// The reciprocal cell formed from the six metric values, before anything is stored.
struct TNewCell {
  double edges[3];    // a*, b*, c*
  double cosines[3];  // cos alpha*, beta*, gamma* as the cell will hold them
  bool fixed[3];      // the angle is set by the crystal system, not by the records
  double angles[3];   // alpha*, beta*, gamma* in degrees
};

enum class TMetricVerdict { Ok, WrongEdges, WrongCosines };

// g = G1..G6 in record order (h^2, k^2, l^2, kl, hl, hk).
TMetricVerdict NewCellFromMetric(const double (&g)[6], int32_t system, TNewCell& cell) {
  for (int32_t i = 0; i < 3; ++i) {
    cell.edges[i] = std::sqrt(std::fabs(g[i]));
    if (!std::isfinite(cell.edges[i]) || cell.edges[i] == 0) return TMetricVerdict::WrongEdges;
  }
  const double* e = cell.edges;
  const double raw[3] = {g[3] / 2 / (e[1] * e[2]), g[4] / 2 / (e[0] * e[2]), g[5] / 2 / (e[0] * e[1])};
  // The angles the system prescribes: SetSystemAngles writes only those.
  double fixedAngles[3] = {-1, -1, -1};
  SetSystemAngles(fixedAngles[0], fixedAngles[1], fixedAngles[2], system);
  if (system == 6) fixedAngles[2] = 60;  // gamma = 120 is gamma* = 60
  for (int32_t i = 0; i < 3; ++i) {
    cell.fixed[i] = fixedAngles[i] >= 0;
    if (cell.fixed[i]) {
      cell.angles[i] = fixedAngles[i];
      cell.cosines[i] = fixedAngles[i] == 90 ? 0.0 : fixedAngles[i] == 60 ? 0.5 : std::cos(fixedAngles[i] / ErrorDegPerRad);
      continue;
    }
    if (std::isnan(raw[i])) return TMetricVerdict::WrongCosines;
    cell.angles[i] = ArcCosClamped(raw[i]) * RadToDeg;
    // ArcCosClamped makes a right angle of a cosine below 1e-4 and clamps beyond 1.
    cell.cosines[i] = std::fabs(raw[i]) < 1e-4 ? 0.0 : std::clamp(raw[i], -1.0, 1.0);
  }
  const double* c = cell.cosines;
  if (std::fabs(c[0]) >= 1 || std::fabs(c[1]) >= 1 || std::fabs(c[2]) >= 1)
    return TMetricVerdict::WrongCosines;
  const double D = 1 - c[0] * c[0] - c[1] * c[1] - c[2] * c[2] + 2 * c[0] * c[1] * c[2];
  if (!(D > MinVolumeFactor * MinVolumeFactor)) return TMetricVerdict::WrongCosines;
  return TMetricVerdict::Ok;
}

// The metric values and their errors of phase block base, in record order.
void MetricRecords(int32_t base, double (&g)[6], double (&sigma)[6]) {
  const auto& rec = FitParameters->Records;
  for (int32_t i = 0; i < 6; ++i) {
    g[i] = rec[base + 2 + i].value;
    sigma[i] = FitParameters->ErrorUndeterminedAt(base + 2 + i) ? std::nan("") : rec[base + 2 + i].Error;
  }
}

// Standard deviations of a, b, c (angstrom), alpha, beta, gamma (degrees) from uncorrelated ones
// of G1..G6, at the reciprocal edges and cosines of nc.
void CellErrorsFromMetric(const TNewCell& nc, const double (&sigma)[6], double (&errors)[6]) {
  const double* e = nc.edges;
  const double* c = nc.cosines;
  // J1: (a*, b*, c*, cos alpha*, cos beta*, cos gamma*) by (G1..G6), with a* = sqrt G1 and
  // cos alpha* = G4 / (2 b* c*) and so on; (i, j, m) runs over (0, 1, 2) and its rotations, the
  // cosine of angle i pairing edges j and m and metric value 3 + i.
  double J1[6][6] = {};
  for (int32_t i = 0; i < 3; ++i) {
    const int32_t j = (i + 1) % 3, m = (i + 2) % 3;
    J1[i][i] = 1 / (2 * e[i]);
    if (nc.fixed[i]) continue;  // a prescribed angle: its cosine is a constant
    J1[3 + i][3 + i] = 1 / (2 * e[j] * e[m]);
    J1[3 + i][j] = -c[i] / (2 * e[j] * e[j]);
    J1[3 + i][m] = -c[i] / (2 * e[m] * e[m]);
  }
  // J2: direct (a, b, c, alpha, beta, gamma) by the reciprocal values. With
  // D = 1 - sum cos^2 + 2 prod cos: a = sin alpha* / (a* sqrt D) and
  // cos alpha = (cos beta* cos gamma* - cos alpha*) / (sin beta* sin gamma*), and so on.
  double s[3], dD[3];
  for (int32_t i = 0; i < 3; ++i) s[i] = std::sqrt(1 - c[i] * c[i]);
  const double D = 1 - c[0] * c[0] - c[1] * c[1] - c[2] * c[2] + 2 * c[0] * c[1] * c[2];
  for (int32_t i = 0; i < 3; ++i) dD[i] = 2 * (c[(i + 1) % 3] * c[(i + 2) % 3] - c[i]);
  double J2[6][6] = {};
  for (int32_t i = 0; i < 3; ++i) {
    const int32_t j = (i + 1) % 3, m = (i + 2) % 3;
    const double L = s[i] / (e[i] * std::sqrt(D));
    J2[i][i] = -L / e[i];
    J2[i][3 + i] = L * (-c[i] / (s[i] * s[i]) - 0.5 * dD[i] / D);
    J2[i][3 + j] = L * (-0.5 * dD[j] / D);
    J2[i][3 + m] = L * (-0.5 * dD[m] / D);
    const double sjm = s[j] * s[m];
    const double cosDirect = (c[j] * c[m] - c[i]) / sjm;
    const double sinDirect = std::sqrt(std::fmax(0.0, 1 - cosDirect * cosDirect));
    // d(angle) = -d(cos) / sin, in degrees; no angle error for a flat angle.
    const double f = sinDirect > 0 ? -ErrorDegPerRad / sinDirect : std::nan("");
    J2[3 + i][3 + i] = f * (-1 / sjm);
    J2[3 + i][3 + j] = f * (c[m] / sjm + cosDirect * c[j] / (s[j] * s[j]));
    J2[3 + i][3 + m] = f * (c[j] / sjm + cosDirect * c[m] / (s[m] * s[m]));
  }
  for (int32_t r = 0; r < 6; ++r) {
    double variance = 0;
    for (int32_t g = 0; g < 6; ++g) {
      double d = 0;
      for (int32_t q = 0; q < 6; ++q) d += J2[r][q] * J1[q][g];
      if (sigma[g] != 0 && d != 0) variance += (d * sigma[g]) * (d * sigma[g]);
    }
    errors[r] = std::sqrt(variance);
    if (!std::isfinite(errors[r])) errors[r] = -1;
  }
}

// Steps of the cell: previous cell and volume, reciprocal cell, direct cell, errors. False with
// the message when the records form no cell; the phase is then untouched.
bool UpdateCell(int32_t k, int32_t base) {
  LATTICE& p = PhaseTable[k];
  double g[6], sigma[6];
  MetricRecords(base, g, sigma);
  TNewCell nc;
  switch (NewCellFromMetric(g, p.CrystalSystem, nc)) {
    case TMetricVerdict::WrongEdges:
      ShowMsg("Wrong unit cell parameters");
      return false;
    case TMetricVerdict::WrongCosines:
      ShowMsg("Error, unit cell cosines are wrong.");
      return false;
    case TMetricVerdict::Ok:
      break;
  }
  double reciprocal[6], cell[6], volume = 0;
  for (int32_t i = 0; i < 3; ++i) reciprocal[i] = nc.edges[i], reciprocal[3 + i] = nc.angles[i];
  CellMetric(reciprocal, cell, volume, 0);
  if (!std::all_of(cell, cell + 6, [](double x) { return std::isfinite(x); }) || !(volume > 0)) {
    ShowMsg("Error, unit cell cosines are wrong.");
    return false;
  }
  std::copy(p.Cell, p.Cell + 6, p.PreviousCell);
  p.PreviousVolume = p.Volume;
  std::copy(reciprocal, reciprocal + 6, p.ReciprocalCell);
  p.ReciprocalVolume = CellVolume(p.ReciprocalCell);
  std::copy(cell, cell + 6, p.Cell);
  p.Volume = volume;
  CellErrorsFromMetric(nc, sigma, p.CellErrors);
  return true;
}

void CopyMomentDirection(int32_t k) {
  const int32_t r = ParameterCount(0) + MagneticRecords * (k - 1) + 1;
  if (!TableIndexOk(r + 2, 1, FitParameters->RecordCapacity(), "parameter")) return;
  for (int32_t i = 0; i < 3; ++i) PhaseTable[k].MomentDirection[i] = FitParameters->Records[r + i].value;
}

// The fitted atoms of phase k back into its atom records.
void UpdateAtoms(int32_t k, int32_t base) {
  const auto& rec = FitParameters->Records;
  const bool magnetic = PhaseModelFlags[k] == 1;
  const int32_t n = std::clamp(PhaseTable[k].AtomCount, 0, MaxAtoms);
  for (int32_t a = 1; a <= n; ++a) {
    const int32_t r = base + AtomRecords * a;
    if (!TableIndexOk(r + AtomRecords, 1, FitParameters->RecordCapacity(), "parameter")) return;
    ATOM& t = AtomTable[a][k];
    // A magnetic phase fits occupation x moment in its first record; the occupation stays.
    if (magnetic)
      t.MagneticMoment = SignOf(t.MagneticMoment) * rec[r + 1].value / (t.Occupation != 0 ? t.Occupation : 1.0);
    else
      t.Occupation = rec[r + 1].value;
    double* values[9] = {&t.X, &t.Y, &t.Z, &t.T11, &t.T12, &t.T13, &t.T22, &t.T23, &t.T33};
    for (int32_t i = 0; i < 9; ++i) *values[i] = rec[r + 2 + i].value;
    for (int32_t i = 0; i < AtomRecords; ++i) t.Errors[i] = FitParameters->KnownError(r + 1 + i);
  }
}

// d of every reflection of phase k from its new cell; in Rietveld mode A, B and q from the
// records and the phase's maxima.
void RefreshReflections(int32_t k, int32_t base, bool rietveld) {
  LATTICE& p = PhaseTable[k];
  const int32_t n = std::clamp(p.ReflectionCount, 0, MaxReflections);
  for (int32_t i = 1; i <= n; ++i) {
    THklRecord& r = HklTable[i][k];
    const double Q = CellInverseDSquared(p, r.h, r.k, r.l);
    r.d = Q > 0 ? 1 / std::sqrt(Q) : 1e-6;
    if (!rietveld) continue;
    Q0 = Q;
    CalcStructureFactor(1, k, r.h, r.k, r.l, r.Multiplicity, base, r.A, r.B, r.q);
  }
  if (rietveld) MaxStructureFactors(p.MaxF, p.MaxQ, k);
}

}  // namespace

void UpdatePhasesFromParameters() {
  // Only the Rietveld and powder-match layouts hold phase blocks.
  if ((MainMode != 0 && MainMode != 2) || !FitParameters) return;
  const bool rietveld = MainMode == 0;
  const int32_t capacity = FitParameters->RecordCapacity();
  const auto& rec = FitParameters->Records;
  const int32_t phases = Phases();
  bool updated[MaxPhases + 1] = {};
  int32_t base[MaxPhases + 1] = {};
  for (int32_t k = 1; k <= phases; ++k) {
    base[k] = PhaseParameterOffset(k);
    if (!TableIndexOk(base[k] + 7, 1, capacity, "parameter")) continue;
    updated[k] = UpdateCell(k, base[k]);
    if (!updated[k]) continue;
    if (PhaseModelFlags[k] == 1) CopyMomentDirection(k);
    PhaseMetric(k);
    if (rietveld) UpdateAtoms(k, base[k]);
  }
  if (rietveld && std::any_of(updated + 1, updated + phases + 1, [](bool u) { return u; })) {
    // The fix flags are set for all phases at once; a phase left as it was keeps its own.
    double keptNormalisers[MaxPhases + 1][3];
    uint8_t keptFlags[MaxAtoms + 1][MaxPhases + 1];
    for (int32_t k = 1; k <= phases; ++k) {
      if (updated[k]) continue;
      std::copy_n(PhaseTable[k].IndexNormalisers, 3, keptNormalisers[k]);
      for (int32_t a = 1; a <= MaxAtoms; ++a) keptFlags[a][k] = AtomTable[a][k].IsotropicFlag;
    }
    UpdateAtomFixFlags(1);
    for (int32_t k = 1; k <= phases; ++k) {
      if (updated[k]) continue;
      std::copy_n(keptNormalisers[k], 3, PhaseTable[k].IndexNormalisers);
      for (int32_t a = 1; a <= MaxAtoms; ++a) AtomTable[a][k].IsotropicFlag = keptFlags[a][k];
    }
  }
  for (int32_t k = 1; k <= phases; ++k)
    if (updated[k]) RefreshReflections(k, base[k], rietveld);
  if (AnisotropyOn) {
    const int32_t m = ParameterCount(1);
    for (int32_t k = 1; k <= phases; ++k) {
      const int32_t r = m + AnisotropyParameterCount * (k - 1);
      if (!updated[k] || !AnisotropicPhases[k]) continue;
      if (!TableIndexOk(r + AnisotropyParameterCount, 1, capacity, "parameter")) break;
      for (int32_t i = 0; i < AnisotropyParameterCount; ++i) PhaseTable[k].Anisotropy[i] = rec[r + 1 + i].value;
    }
  }
  if (M2Mode) {
    const int32_t m = ParameterCount(2);
    if (TableIndexOk(m + 2, 1, capacity, "parameter"))
      M2ModeValues[0] = rec[m + 1].value, M2ModeValues[1] = rec[m + 2].value;
  }
  if (HasMagneticPhase())
    for (int32_t k = 1; k <= phases; ++k)
      if (updated[k] && PhaseModelFlags[k] == 1) CopyMomentDirection(k);
}

// The chosen cell of a triclinic search refitted with its metric held to the rotations the
// lattice keeps. A triclinic fit of a cubic, hexagonal or tetragonal lattice spends six
// parameters on a metric that has one or two: its edges scatter by several relative errors of the
// lines, where the metric with the rotations' ties lands on the lattice's own cell.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include "indexing/indexing_model.h"
#include "indexing/indexing_state.h"
#include "indexing/metric_symmetry.h"
#include "indexing/taulsm.h"
#include "indexing/zone_starts.h"

namespace {

// Q = 1/d^2 of indices h, k, l in the reciprocal metric m = A..F.
double MetricQ(const double (&m)[6], double h, double k, double l) {
  return h * h * m[0] + k * k * m[1] + l * l * m[2] + h * k * m[3] + h * l * m[4] + k * l * m[5];
}

// Solves the symmetric positive system a x = b of order n (Cholesky); false when singular.
bool SolveSmall(double (&a)[6][6], double (&b)[6], int32_t n) {
  for (int32_t j = 0; j < n; ++j) {
    double s = a[j][j];
    for (int32_t k = 0; k < j; ++k) s -= a[j][k] * a[j][k];
    if (!(s > 1e-14 * std::max(a[j][j], 1e-300))) return false;
    a[j][j] = std::sqrt(s);
    for (int32_t i = j + 1; i < n; ++i) {
      double t = a[i][j];
      for (int32_t k = 0; k < j; ++k) t -= a[i][k] * a[j][k];
      a[i][j] = t / a[j][j];
    }
  }
  for (int32_t i = 0; i < n; ++i) {
    for (int32_t k = 0; k < i; ++k) b[i] -= a[i][k] * b[k];
    b[i] /= a[i][i];
  }
  for (int32_t i = n - 1; i >= 0; --i) {
    for (int32_t k = i + 1; k < n; ++k) b[i] -= a[k][i] * b[k];
    b[i] /= a[i][i];
  }
  return true;
}

}  // namespace

bool FitMetric(const double (&basis)[6][6], int32_t k, double (&metric)[6], double& chi, int32_t& used) {
  double a[6][6] = {}, b[6] = {}, yy = 0;
  used = 0;
  for (int32_t i = 1, n = std::clamp(DSpacingCount, 0, MaxDSpacings); i <= n; ++i) {
    const TDSpacingRecord& line = DSpacingList[i];
    const double sigma = LineSigma(line);
    if (!(line.d > 0 && line.Assigned && std::fabs(line.d - line.DCalc) <= IndexedLineSigmas * sigma)) continue;
    const double q = 1 / (line.d * line.d), w = 1 / std::pow(2 * q * sigma / line.d, 2);
    double x[6];
    for (int32_t p = 0; p < k; ++p) x[p] = MetricQ(basis[p], line.h, line.k, line.l);
    for (int32_t p = 0; p < k; ++p) {
      b[p] += w * x[p] * q;
      for (int32_t r = 0; r <= p; ++r) a[p][r] += w * x[p] * x[r];
    }
    yy += w * q * q;
    ++used;
  }
  for (int32_t p = 0; p < k; ++p)
    for (int32_t r = p + 1; r < k; ++r) a[p][r] = a[r][p];
  double rhs[6];
  std::copy(b, b + 6, rhs);
  if (used < k || !SolveSmall(a, rhs, k)) return false;
  // chi^2 = y'Wy - b'p at the solution of the normal equations.
  chi = yy;
  for (int32_t p = 0; p < k; ++p) chi -= rhs[p] * b[p];
  chi = std::max(chi, 0.0);
  std::fill(metric, metric + 6, 0.0);
  for (int32_t p = 0; p < k; ++p)
    for (int32_t m = 0; m < 6; ++m) metric[m] += rhs[p] * basis[p][m];
  return true;
}

bool TiesFitTheLines(const double (&basis)[6][6], int32_t k, double (&metric)[6], bool byErrors) {
  // The six free parameters on the same indices fit the same lines no better than the parameters
  // saved explain: chi^2 rises by at most their number and four standard deviations of it, in
  // units of the free fit's variance. A free triclinic cell of a symmetric lattice splits its
  // equal reflections and lets each line pick the nearest: its own chi^2 is no measure.
  double full[6][6] = {}, fullMetric[6], chiKept = 0, chiFull = 0;
  for (int32_t m = 0; m < 6; ++m) full[m][m] = 1;
  int32_t used = 0, usedFull = 0;
  if (!FitMetric(basis, k, metric, chiKept, used) || !FitMetric(full, 6, fullMetric, chiFull, usedFull) || used <= 6)
    return false;
  const double saved = 6 - k, variance = std::max(1.0, chiFull / (used - 6));
  if (chiKept - chiFull <= variance * (saved + 4 * std::sqrt(2 * saved))) return true;
  if (!byErrors) return false;
  // Or the ties fit the lines within their errors, but for the line they fit worst (a line a few
  // sigma off, which six parameters can follow alone): chi^2 within three standard deviations of
  // its degrees of freedom.
  double worst = 0;
  for (int32_t i = 1, n = std::clamp(DSpacingCount, 0, MaxDSpacings); i <= n; ++i) {
    const TDSpacingRecord& line = DSpacingList[i];
    const double sigma = LineSigma(line);
    if (!(line.d > 0 && line.Assigned && std::fabs(line.d - line.DCalc) <= IndexedLineSigmas * sigma)) continue;
    const double q = 1 / (line.d * line.d), tied = MetricQ(metric, line.h, line.k, line.l);
    worst = std::max(worst, std::pow((q - tied) / (2 * q * sigma / line.d), 2));
  }
  const double freedom = used - 1 - k;
  return chiKept - worst <= variance * (freedom + 3 * std::sqrt(2 * freedom));
}

void TAULSM::RefineKeptMetric() {
  const int32_t n = std::min(std::min(NPar, RecordCapacity()), IndexingRecordCapacity);
  if (PhaseCount != 1 || n < 6 || PhaseTable[1].CrystalSystem != 1 || IndexingMode == 1) return;
  double free[6];
  for (int32_t m = 0; m < 6; ++m) free[m] = Records[m + 1].value;
  MetricSymmetry symmetry;
  if (!FindMetricSymmetry(free, MetricSigmas * 2 * MeanRelativeLineError(), symmetry) || symmetry.order <= 1) return;
  double basis[6][6];
  const int32_t k = KeptMetricBasis(symmetry, basis);
  if (k < 1 || k >= 6) return;
  RecalcIndexingData();
  const int32_t missedFree = MissedLines();
  // The metric with the ties, the lines reassigned after every solution.
  double metric[6], chiKept = 0;
  int32_t used = 0;
  bool fitted = false;
  for (int32_t it = 0; it < 10; ++it) {
    ZoneCell cell;
    double volume = 0;
    if (!FitMetric(basis, k, metric, chiKept, used) || !DirectCell(metric, cell, volume)) break;
    double change = 0;
    for (int32_t m = 0; m < 6; ++m) {
      ParameterRecord& r = Records[m + 1];
      cell[m] = std::clamp(cell[m], std::min(r.lower, r.upper), std::max(r.lower, r.upper));
      change = std::max(change, std::fabs(cell[m] - r.value));
      r.value = cell[m];
    }
    RecalcIndexingData();
    fitted = true;
    if (!(change > 1e-12)) break;
  }
  // Kept when the ties fit the lines (below) and at most one line more is left unindexed.
  const bool keep = fitted && TiesFitTheLines(basis, k, metric, true) && MissedLines() <= missedFree + 1;
  if (!keep) {
    for (int32_t m = 0; m < 6; ++m) Records[m + 1].value = free[m];
    RecalcIndexingData();
  }
  for (int32_t m = 0; m < 6; ++m) BestValues[m + 1] = Records[m + 1].value;
}

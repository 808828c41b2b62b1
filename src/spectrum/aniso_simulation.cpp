// The spectrum of a distribution of cells of phase 1: 21 x 21 cells around the declared one
// (edge c and angle gamma stepped), each model weighted by a convolution function of the two
// step numbers and summed into spectrum 1; spectrum 3 holds the undistorted model, spectrum 2 is
// scratch.
#include <algorithm>
#include <cmath>
#include <string>
#include "core/cell_geometry.h"
#include "core/cell_metric.h"
#include "core/fit_engine.h"
#include "core/messages.h"
#include "core/model_tables.h"
#include "core/number_format.h"
#include "core/parameter_layout.h"
#include "core/random.h"
#include "core/spectra_utilities.h"
#include "core/spectrum.h"
#include "core/text_file.h"
#include "core/toolbox.h"
#include "core/dialog_toolkit.h"
#include "crystal/profile_model.h"
#include "spectrum/simulation.h"

namespace {

constexpr int32_t Steps = 10;  // cells -10..10 along each axis
constexpr int32_t AnisoLastChannel = 1000;

// The declared cell of phase 1 and the steps of the running simulation.
struct AnisoBase {
  double cell[6] = {};
  double stepC = 0, stepGamma = 0;
} base;

// Phase 1's cell, reciprocal cell, metric and its metric records as declared; put back on
// every way out of the simulation.
class DeclaredCellGuard {
public:
  DeclaredCellGuard() : phase_(PhaseTable[1]) {
    const int32_t first = PhaseParameterOffset(1) + 2;
    for (int32_t i = 0; i < 6; ++i) records_[i] = Record(first + i) ? FitParameters->Records[first + i].value : 0;
  }
  ~DeclaredCellGuard() {
    PhaseTable[1] = phase_;
    const int32_t first = PhaseParameterOffset(1) + 2;
    for (int32_t i = 0; i < 6; ++i)
      if (Record(first + i)) FitParameters->Records[first + i].value = records_[i];
  }
  DeclaredCellGuard(const DeclaredCellGuard&) = delete;
  DeclaredCellGuard& operator=(const DeclaredCellGuard&) = delete;
  static bool Record(int32_t r) { return FitParameters && r >= 1 && r <= FitParameters->RecordCapacity(); }

private:
  LATTICE phase_;
  double records_[6] = {};
};

// The weight term (i / w)^2 of one axis; a width of 0 is a delta at step 0.
bool AxisTerm(int32_t i, double w, double& term) {
  if (w == 0) {
    term = 0;
    return i == 0;
  }
  term = double(i) * i / (w * w);
  return true;
}

}  // namespace

double AnisoWeight(int32_t kind, int32_t i, int32_t j, const double (&widths)[4]) {
  const double wi = i <= 0 ? widths[0] : widths[1];
  const double wj = j <= 0 ? widths[2] : widths[3];
  double ti = 0, tj = 0;
  switch (kind) {
    case 0:
      if (!AxisTerm(i, wi, ti) || !AxisTerm(j, wj, tj)) return 0;
      return 2 * std::exp(-ti - tj);
    case 1:
      if (!AxisTerm(i, wi, ti) || !AxisTerm(j, wj, tj)) return 0;
      return 2 / (ti + 1 + tj);
    case 2:
      return 0.1;
    case 3:
      return (i + j + 22) / 22.0;
    case 5:
      return Random01();
    default:
      return 0;
  }
}

void SetAnisoCell(int32_t i, int32_t j) {
  LATTICE& ph = PhaseTable[1];
  for (int32_t k = 0; k < 6; ++k) ph.Cell[k] = base.cell[k];
  ph.Cell[2] = base.cell[2] + i * base.stepC;
  ph.Cell[5] = base.cell[5] + j * base.stepGamma;
  CellMetric(ph.Cell, ph.ReciprocalCell, ph.Volume, 0);
  PhaseMetric(1);
  const std::array<double, 6> records = MetricRecordOrder(ph.Metric);
  const int32_t first = PhaseParameterOffset(1) + 2;
  for (int32_t k = 0; k < 6; ++k)
    if (DeclaredCellGuard::Record(first + k)) FitParameters->Records[first + k].value = records[k];
}

bool SimulateAnisoChannels(double& sum2, double& sum3) {
  sum2 = sum3 = 0;
  const int32_t kind = static_cast<int32_t>(std::nearbyint(NumberBuffer[7]));
  if (kind == 4) {
    ShowMsg("The convolution \"Periodic\" has no weights: choose another");
    return false;
  }
  if (kind < 0 || kind > 5) {
    ShowMsg("Wrong convolution function");
    return false;
  }
  TSpectrum* cur = SpectrumAt(CurrentSpectrum);
  TSpectrum *s1 = SpectrumAt(1), *s2 = SpectrumAt(2), *s3 = SpectrumAt(3);
  if (!cur || !s1 || !s2 || !s3 || !FitParameters) return false;
  if (PhaseTable[1].ReflectionCount <= 0) {
    ShowMsg("No HKLs for phase 1");
    return false;
  }
  cur->WorkLast = std::min(cur->WorkLast, AnisoLastChannel);
  IntervalFirst = std::max(cur->WorkFirst, 1), IntervalLast = cur->WorkLast;
  const int32_t first = IntervalFirst, last = IntervalLast;
  for (int32_t c = first; c <= last; ++c) s1->Y[c] = 0;
  CopySpectrum(1, 3);

  SimulationProgress progress("Anisotropic simulation");
  DeclaredCellGuard guard;
  for (int32_t k = 0; k < 6; ++k) base.cell[k] = PhaseTable[1].Cell[k];
  base.stepC = NumberBuffer[1], base.stepGamma = NumberBuffer[2];
  const double widths[4] = {NumberBuffer[3], NumberBuffer[4], NumberBuffer[5], NumberBuffer[6]};
  const int32_t spectrum = CurrentSpectrum;
  int32_t pass = 0;
  for (int32_t i = -Steps; i <= Steps; ++i)
    for (int32_t j = -Steps; j <= Steps; ++j) {
      SetAnisoCell(i, j);
      for (int32_t c = first; c <= last; ++c) {
        ModelSpectrum = spectrum;
        ModelChannel = c;
        double y = 0, w = 0, f = 0;
        RietveldModel(y, w, f, c - first + 1, 4);
        s2->Y[c] = std::max(f, 0.0);
      }
      ++pass;
      if (pass % 21 == 0) progress.Title(std::to_string(pass) + " out of " + std::to_string(441));
      const double weight = AnisoWeight(kind, i, j, widths);
      for (int32_t c = first; c <= last; ++c) s1->Y[c] += weight * s2->Y[c];
      if (i == 0 && j == 0)
        for (int32_t c = first; c <= last; ++c) s3->Y[c] = s2->Y[c];
    }
  for (int32_t c = first; c <= last; ++c) {
    double y = s1->Y[c];
    const double sigma = std::sqrt(std::fabs(y) + 1);
    if (SimulateWithErrors) {
      double g1 = 0, g2 = 0;
      GaussianPair(g1, g2);
      y += sigma * g1;
    }
    s1->Y[c] = std::max(y, 0.0);
    s1->E[c] = sigma;
    sum2 += s1->Y[c];
    sum3 += s3->Y[c];
  }
  LogLine("Sum2= " + FormatNumber(12, 1, sum2));
  LogLine("Sum3= " + FormatNumber(12, 1, sum3));
  s3->Name = "True_sp";
  s1->Name = "Aniso_sp";
  // The guard restores the declared cell and its records (SetAnisoCell(0, 0) would do the same
  // through the metric) before the count ranges.
  SetAnisoCell(0, 0);
  s1->ComputeYRange(), s2->ComputeYRange(), s3->ComputeYRange();
  double top1 = 0, top3 = 0;
  for (int32_t c = first; c <= last; ++c) top1 = std::max(top1, s1->Y[c]), top3 = std::max(top3, s3->Y[c]);
  // Spectrum 1 to spectrum 3's height; its errors scale with it.
  const double factor = top3 / std::max(top1, 1.0);
  for (int32_t c = first; c <= last; ++c) s1->Y[c] *= factor, s1->E[c] *= factor;
  s1->ComputeYRange();
  return true;
}

void SimulateAnisoSpectrum() {
  double sum2 = 0, sum3 = 0;
  SimulateAnisoChannels(sum2, sum3);
}

#include "peaks/peak_areas.h"
#include <algorithm>
#include <cmath>
#include <string>
#include <vector>
#include "core/fit_engine.h"
#include "core/model_tables.h"
#include "core/neighbour_services.h"
#include "core/peak_model.h"
#include "core/spectra_utilities.h"
#include "core/spectrum.h"
#include "core/text_file.h"
#include "core/toolbox.h"
#include "crystal/model_options.h"
#include "crystal/peak_fit_models.h"
#include "peaks/fitra_arrays.h"
#include "peaks/fitra_state.h"
#include "peaks/peak_search.h"

namespace {

// The highest record that may be read: NPar held to the engine's records.
int32_t ReadableRecords() {
  if (!FitParameters) return 0;
  return std::clamp(FitParameters->NPar, 0, FitParameters->RecordCapacity());
}

int32_t Existing(int32_t k) { return k >= 1 && k <= ReadableRecords() ? k : 0; }

}  // namespace

double FittedValue(int32_t k) { return Existing(k) ? FitParameters->Records[k].value : 0.0; }
double FittedError(int32_t k) { return Existing(k) ? FitParameters->Records[k].Error : 0.0; }

TPeakRecords PeakRecordsOf(int32_t i, int32_t n) {
  TPeakRecords r;
  const int32_t m = i >= 1 && i <= MarkedPointModelCount ? MarkedPointModels[i] : 1;
  r.model = m >= 1 && m <= 6 ? m : 1;
  r.amplitude = Existing(AmplitudeRecord(n, i));
  r.position = Existing(PositionRecord(n, i));
  if (WidthMode == -1) {
    // The peak's own width; no slope record in this layout.
    r.w0 = Existing(WidthW0Record(n, i));
  } else {
    r.w0 = Existing(WidthW0Record(n, r.model));
    r.w1 = Existing(WidthW1Record(n, r.model));
  }
  r.complete = i >= 1 && i <= n && r.amplitude && r.position && r.w0;
  return r;
}

namespace {

// The row of the engine's last inverse that belongs to record k, with the sign of its link (a
// dependent record follows its master); 0 when the record has no row. Full order keeps a row per
// record; the compressed order keeps the free independent records in ascending order.
int32_t CovarianceRow(int32_t k, double& sign) {
  const TParameter& fit = *FitParameters;
  sign = 1.0;
  const ParameterRecord* r = fit.Records.data();
  if (k < 1 || k > ReadableRecords()) return 0;
  if (r[k].n != k && r[k].n >= 1 && r[k].n < k) {
    sign = r[k].a < 0 ? -1.0 : 1.0;
    k = r[k].n;
  }
  if (r[k].n != k || r[k].lower == r[k].upper) return 0;
  if (fit.FullOrder) return k <= fit.NFree ? k : 0;
  int32_t row = 0;
  for (int32_t i = 1; i <= k; ++i) row += r[i].n == i && r[i].lower != r[i].upper;
  return row <= fit.NFree ? row : 0;
}

// The whole area of a shape in units of z: the Lorentz over the whole line, 1 (the fit tapers
// and cuts its tails, the peak has them); a pseudo-Voigt over its table up to where the table's
// tails are rolled off and, beyond, the tails of its Lorentz part, which fall as 1/z^2 from the
// values there; every other shape over its table, beyond which it is 0.
double WholeShapeArea(const TPeakModel& shape) {
  if (shape.ModelNumber == ModelLorentz) return 1.0;
  const int32_t n = shape.HalfPoints;
  if (shape.ModelNumber == ModelPseudoVoigt && n == PeakModelHalfPoints && shape.HalfWidth > 0) {
    // The tail f z_s^2 / z^2 from z_s on adds f z_s.
    const double zs = PeakModelRollFrom * shape.HalfWidth / n;
    double area = shape.EvaluatedArea(zs);
    for (int32_t side : {-1, 1}) {
      const double f = shape.Shape[n + 1 + side * PeakModelRollFrom];
      if (f > 0) area += f * zs;
    }
    return std::fabs(area);
  }
  return std::fabs(shape.EvaluatedArea(shape.HalfWidth));
}

}  // namespace

double FittedCorrelation(int32_t j, int32_t k) {
  if (j == k) return 1.0;
  const TParameter& fit = *FitParameters;
  if (fit.Status != 1 || fit.MatInv != 1) return 0.0;
  double sj = 1, sk = 1;
  const int32_t a = CovarianceRow(j, sj), b = CovarianceRow(k, sk);
  if (!a || !b) return 0.0;
  double cab = 0, caa = 0, cbb = 0;
  fit.GetMatrixElement(a, b, cab);
  fit.GetMatrixElement(a, a, caa);
  fit.GetMatrixElement(b, b, cbb);
  const double d = std::sqrt(std::fabs(caa * cbb));
  const double rho = d > 0 ? sj * sk * cab / d : 0.0;
  return std::isfinite(rho) ? std::clamp(rho, -1.0, 1.0) : 0.0;
}

void ComputePeakAreas(bool& widthsVary) {
  widthsVary = false;
  const int32_t n = std::clamp(MarkedPointCount, 0, MarkedPointCapacity);
  for (int32_t k = 1; k <= 2 * n; ++k) NumberBuffer[k] = 0.0;
  TSpectrum* sp = SpectrumOrNull(CurrentSpectrum);
  if (!FitParameters || !sp || n == 0) return;
  int32_t first = 1, last = 1;
  WorkingRange(*sp, first, last);
  const bool trace = OptionFlags[8] != 0;
  // du(P)/dP of the law's abscissa.
  const double duP = last > first ? 2.0 / (last - first) : 0.0;
  // The counting floor of an area error in the data's own units: sqrt(area) for counts.
  // 1 where the spectrum carries no errors (every E 1): its areas are then taken as counts.
  const double countScale = SpectrumErrorsKnown(*sp, first, last) ? CountUnit(*sp, first, last) : 1.0;

  for (int32_t i = 1; i <= n; ++i) {
    const TPeakRecords pr = PeakRecordsOf(i, n);
    const double w0 = FittedValue(pr.w0), w1 = FittedValue(pr.w1), p = FittedValue(pr.position);
    if (w1 != 0) widthsVary = true;
    const TPeakModel* shape = PeakModels[static_cast<size_t>(pr.model + 1)].get();
    if (!pr.complete || !shape || !(w0 > 0) || !std::isfinite(p)) continue;
    // area = |A| w S: A the amplitude, w the width the peak is drawn with at its own position, S
    // the shape's whole area in z. The same for W1 = 0 (then w = W0) and for a free W1.
    const double u = NormalisedAbscissa(p, first, last);
    double chain = 1.0;
    const double w = DrawnPeakWidth(w0 + w1 * u, chain);
    const double a = FittedValue(pr.amplitude), s = WholeShapeArea(*shape);
    const double area = std::fabs(a) * w * s;
    if (trace) LogLine(FormatNumber(9, 3, w) + "  peak " + FormatNumber(9, 3, p) + FormatNumber(9, 4, s));
    // The variance g' C g of the area through the covariance of the peak's records A, P, W0, W1.
    const int32_t records[4] = {pr.amplitude, pr.position, pr.w0, pr.w1};
    const double slope[4] = {(a < 0 ? -1.0 : 1.0) * w * s, std::fabs(a) * s * chain * w1 * duP,
                             std::fabs(a) * s * chain, std::fabs(a) * s * chain * u};
    double term[4] = {};
    for (int32_t k = 0; k < 4; ++k)
      if (records[k] && FittedError(records[k]) > 0) term[k] = slope[k] * FittedError(records[k]);
    double variance = 0;
    for (int32_t j = 0; j < 4; ++j)
      for (int32_t k = 0; k < 4; ++k)
        if (term[j] != 0 && term[k] != 0) variance += term[j] * term[k] * FittedCorrelation(records[j], records[k]);
    const double error = std::max(std::sqrt(std::fabs(variance)), std::sqrt(area * countScale));
    NumberBuffer[i] = std::isfinite(area) ? area : 0.0;
    NumberBuffer[n + i] = std::isfinite(area) ? error : 0.0;
    if (trace) LogLine(FormatNumber(9, 2, area) + FormatNumber(19, 2, error));
  }
}

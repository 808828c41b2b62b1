#include "peaks/peak_areas.h"
#include <algorithm>
#include <cmath>
#include <string>
#include <vector>
#include "core/fit_engine.h"
#include "core/model_tables.h"
#include "core/neighbour_services.h"
#include "core/spectra_utilities.h"
#include "core/spectrum.h"
#include "core/text_file.h"
#include "core/toolbox.h"
#include "crystal/model_options.h"
#include "crystal/peak_fit_models.h"
#include "peaks/fitra_state.h"

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

// The Simpson sum of |peak i| over channels k1..k2 under the current records, divided by 3: the
// weights 1 at both ends, 4 at even and 2 at odd channels between.
double PeakIntegral(int32_t i, int32_t k1, int32_t k2, bool trace) {
  double sum = 0;
  for (int32_t c = k1; c <= k2; ++c) {
    ModelChannel = c;
    ModelSpectrum = CurrentSpectrum;
    double y = 0, wt = 0, f = 0;
    PeakFitModel(y, wt, f, c, 4);
    const double h = std::fabs(ModelOutput[i + 1]);
    const double g = c == k1 || c == k2 ? 1.0 : (IsOdd(c) ? 2.0 : 4.0);
    sum += h * g;
    if (trace)
      LogLine(FormatNumber(9, 2, h) + FormatNumber(9, 0, y) + FormatNumber(9, 0, f) + FormatNumber(9, 0, sum));
  }
  return sum / 3.0;
}

// The gradient of the area by record k: a central difference over the same channels (the area is
// linear in the amplitude and smooth in the others). The record is put back exactly.
double AreaSlope(int32_t i, int32_t k, int32_t k1, int32_t k2) {
  ParameterRecord& r = FitParameters->Records[k];
  const double v = r.value;
  const double h = 1e-4 * std::max({std::fabs(v), r.Error, 1e-3});
  r.value = v + h;
  const double up = PeakIntegral(i, k1, k2, false);
  r.value = v - h;
  const double down = PeakIntegral(i, k1, k2, false);
  r.value = v;
  return (up - down) / (2 * h);
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
  std::vector<std::string> endLines;

  for (int32_t i = 1; i <= n; ++i) {
    const TPeakRecords pr = PeakRecordsOf(i, n);
    if (!pr.complete) continue;
    const double w0 = FittedValue(pr.w0), w1 = FittedValue(pr.w1), p = FittedValue(pr.position);
    if (w1 != 0) widthsVary = true;
    const double w = w0 + w1 * NormalisedAbscissa(p, first, last);

    int32_t k1 = 1, k2 = 0;  // empty unless W0 and P give a window
    if (w0 > 0 && std::isfinite(p) && std::isfinite(w0)) {
      const double lo = std::max(static_cast<double>(first), p - 3.0 * w0);
      const double hi = std::min(static_cast<double>(last), p + 3.0 * w0);
      if (lo <= hi) {
        k1 = std::max(first, RoundHalfEven(lo));
        k2 = std::min(last, RoundHalfEven(hi));
      }
    }
    if (trace)
      LogLine(FormatNumber(9, 3, w) + "  peak " + FormatNumber(9, 3, p) + FormatNumber(6, 0, k1) +
              FormatNumber(6, 0, k2));
    const double area = PeakIntegral(i, k1, k2, trace);
    // The variance g' C g of the area through the covariance of the peak's records: gradients g
    // by the records, their errors and their correlations in the last fit.
    const int32_t records[4] = {pr.amplitude, pr.position, pr.w0, pr.w1};
    double term[4] = {};
    for (int32_t a = 0; a < 4; ++a)
      if (records[a] && FittedError(records[a]) > 0)
        term[a] = AreaSlope(i, records[a], k1, k2) * FittedError(records[a]);
    double variance = 0;
    for (int32_t a = 0; a < 4; ++a)
      for (int32_t b = 0; b < 4; ++b)
        if (term[a] != 0 && term[b] != 0) variance += term[a] * term[b] * FittedCorrelation(records[a], records[b]);
    const double error = std::max(std::sqrt(std::fabs(variance)), std::sqrt(std::fabs(area)));
    NumberBuffer[i] = area;
    NumberBuffer[n + i] = error;
    if (trace) endLines.push_back(FormatNumber(9, 2, area) + FormatNumber(19, 2, error));
  }
  for (const std::string& line : endLines) LogLine(line);
}

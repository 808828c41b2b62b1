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
  const ParameterRecord* rec = FitParameters->Records.data();

  for (int32_t i = 1; i <= n; ++i) {
    const TPeakRecords pr = PeakRecordsOf(i, n);
    if (!pr.complete) continue;
    const double w0 = FittedValue(pr.w0), sw0 = FittedError(pr.w0);
    const double w1 = FittedValue(pr.w1), sw1 = FittedError(pr.w1);
    const double p = FittedValue(pr.position), sp_ = FittedError(pr.position);
    const double sa = FittedError(pr.amplitude);
    if (w1 != 0) widthsVary = true;
    // l - f + 1 here, while the model's u uses l - f: the values reach result files as they are.
    const double t = (2.0 * p - first - last) / (last - first + 1);
    const double w = w0 + w1 * t;

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
    double sum = 0, errsum = 0;
    for (int32_t c = k1; c <= k2; ++c) {
      ModelChannel = c;
      ModelSpectrum = CurrentSpectrum;
      double y = 0, wt = 0, f = 0;
      PeakFitModel(y, wt, f, c, 4);
      const double h = std::fabs(ModelOutput[i + 1]);
      const double g = c == k1 || c == k2 ? 1.0 : (IsOdd(c) ? 2.0 : 4.0);
      sum += h * g;
      auto term = [&](int32_t k, double sigma) {
        if (!k) return 0.0;
        const double d = rec[k].Derivative * sigma;
        return d * d;
      };
      const double s = term(pr.amplitude, sa) + term(pr.position, sp_) + term(pr.w0, sw0) + term(pr.w1, sw1);
      // s is a variance already; the square of s g is summed as the method has it.
      if (s < h) errsum += (s * g) * (s * g);
      if (trace)
        LogLine(FormatNumber(9, 2, h) + FormatNumber(9, 0, y) + FormatNumber(9, 0, f) + FormatNumber(9, 0, sum));
    }
    const double area = sum / 3.0;
    const double error = std::max(std::sqrt(std::fabs(errsum / 9.0)), std::sqrt(std::fabs(area)));
    NumberBuffer[i] = area;
    NumberBuffer[n + i] = error;
    if (trace) endLines.push_back(FormatNumber(9, 2, area) + FormatNumber(19, 2, error));
  }
  for (const std::string& line : endLines) LogLine(line);
}

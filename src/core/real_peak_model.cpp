// Real peak models: a shape formed from a channel interval of a measured spectrum.
#include <cmath>
#include "core/dialog_state.h"
#include "core/interpolation.h"
#include "core/line_fits.h"
#include "core/messages.h"
#include "core/number_format.h"
#include "core/outlier_correction.h"
#include "core/peak_model.h"
#include "core/smoothers.h"
#include "core/spectrum.h"
#include "core/ui_backend.h"

namespace {
// The background line under the model data, [1..n] (a second work array beside PeakModelTable).
double* const RealModelBackground = WorkArrays[2];
constexpr int32_t RealModelMaxChannels = 1024;

void Refuse(const char* status) {
  StatusMessage = status;
  DialogOk = 0;
}
}  // namespace

void TPeakModel::MakeRealModelFromData(TSpectrum& spectrum, int32_t first, int32_t last) {
  RealModelOptions.First = first;
  RealModelOptions.Last = last;
  int32_t n = 0;
  MakeRealPeakModelData(spectrum, n);
  if (DialogOk == 0) return;
  FormRealModel(n);
}

void TPeakModel::MakeRealPeakModelData(TSpectrum& spectrum, int32_t& n) {
  DialogOk = 1;
  const int32_t first = RealModelOptions.First, last = RealModelOptions.Last;
  const int64_t span = static_cast<int64_t>(last) - first + 1;
  n = static_cast<int32_t>(span < 0 ? 0 : span > RealModelMaxChannels ? RealModelMaxChannels + 1 : span);
  if (n < 9) return Refuse("Error, lack of points (<9) for model");
  if (n > RealModelMaxChannels) return Refuse("Model interval too long, use compression to make < 1024");
  if (first < 1 || last > MaxChannels) return Refuse("Wrong data for real model");

  int32_t zeroCount = 0, corrected = 0;
  CorrectOutliers(spectrum, first, last, zeroCount, corrected);
  const double* y = spectrum.Y;
  double ymax = -1e10;
  for (int32_t c = first; c <= last; ++c) ymax = std::fmax(ymax, y[c]);
  if (3.0 * CountThreshold >= ymax &&
      !Ui().AskYesNo("Low ststistics for the model " + FormatNumberNoBlanks(0, std::nearbyint(ymax)) + LineBreak +
                         " Still proceed?",
                     MsgKind::Confirmation)) {
    DialogOk = 0;
    return;
  }

  // Background: the straight line through b channels at each end of the interval.
  const int32_t b = RealModelOptions.BackgroundChannels;
  double x0 = 0.0, slope = 0.0, level = 0.0;
  if (b > 0) FitLineToSideRanges(y, MaxChannels, first, x0, slope, level, first + b - 1, last - b + 1, last);
  const bool clip = SingleSigned != 0;
  double* t = PeakModelTable;  // ordinates [1..n], then abscissae 1..n
  for (int32_t k = 1; k <= n; ++k) {
    const int32_t c = first + k - 1;
    const double background = b > 0 ? (c - x0) * slope + level : 0.0;
    double v = y[c] - background;
    if (clip && v < 0.0) v = 0.0;
    t[k] = v;
    t[n + k] = k;
    RealModelBackground[k] = background;
  }

  // Short intervals are resampled m-fold to at most 180 points.
  double* data = ScratchArray1;
  const int32_t m = 180 / n;
  if (m > 1) {
    for (int32_t k = 1; k <= n * m; ++k) {
      double v = 0.0;
      InterpolateTable(t, ScratchSize, n, v, static_cast<double>(k) / m);
      if (clip && v < 0.0) v = 0.0;
      data[k] = v;
    }
    n *= m;
  } else {
    for (int32_t k = 1; k <= n; ++k) data[k] = t[k];
  }

  double top = data[1];
  for (int32_t k = 2; k <= n; ++k) top = std::fmax(top, data[k]);
  RealModelOptions.DataMax = top;
  int32_t edge = 0;
  PrepareSmoothing(n, edge, 2.0, RealModelOptions.Smoother);
  if (edge != 0) {
    if (Ui().AskYesNo("Bad data for peak model." + LineBreak + "Still proceed?", MsgKind::Confirmation)) {
      data[1] = data[n] = 0.0;
      ScratchArray2[1] = ScratchArray2[n] = 0.0;
    } else {
      Refuse("Wrong data for real model");
    }
  }
}

void TPeakModel::FormRealModel(int32_t n) {
  double* t = PeakModelTable;
  // With fewer than three points the zeroed ends leave nothing. The trimmed model and its
  // abscissae, 2 (n + 2) values, must fit into the table.
  if (n < 3) return Refuse("Error, zero-valued peak model");
  if (2 * (n + 2) > ScratchSize) return Refuse("Model interval too long, use compression to make < 1024");
  for (int32_t k = 1; k <= n; ++k) t[k] = ScratchArray2[k];
  t[1] = 0.0;
  t[n] = 0.0;
  t[2] = (t[1] + t[3]) / 2.0;
  t[n - 1] = (t[n] + t[n - 2]) / 2.0;

  // Values within the rounding noise of the range become exact zeros.
  double lo = t[1], hi = t[1];
  for (int32_t k = 2; k <= n; ++k) {
    lo = std::fmin(lo, t[k]);
    hi = std::fmax(hi, t[k]);
  }
  const double range = std::fmax(1.0, hi - lo);
  const double noise = std::fmin(0.01, std::sqrt(range) / (2.0 * range));
  for (int32_t k = 1; k <= n; ++k)
    if (std::fabs(t[k]) < noise) t[k] = 0.0;

  int32_t a = 0, b = 0;
  for (int32_t k = 1; k <= n; ++k)
    if (t[k] != 0.0) {
      if (a == 0) a = k;
      b = k;
    }
  if (a == 0) return Refuse("Error, zero-valued peak model");

  // The non-zero part between two zeros, with its abscissae 1..M behind it.
  const int32_t m = b - a + 1;
  for (int32_t k = 0; k < m; ++k) t[2 + k] = t[a + k];
  t[1] = 0.0;
  t[m + 2] = 0.0;
  const int32_t points = m + 2;
  for (int32_t k = 1; k <= points; ++k) t[points + k] = k;

  int32_t p = 1;
  for (int32_t k = 2; k <= points; ++k)
    if (t[k] > t[p]) p = k;
  const int32_t c = a + p - 1;
  const int32_t half = c - 1 > points - c ? c - 1 : points - c;
  const bool clip = SingleSigned != 0;
  double v[PeakModelPoints + 1];
  for (int32_t k = 1; k <= PeakModelPoints; ++k) {
    const double x = static_cast<double>(k - 1) * half / 96.0 + c - half;
    double value = 0.0;
    if (x >= 1.0 && x <= points) {
      InterpolateTable(t, ScratchSize, points, value, x);
      if (clip && value < 0.0) value = 0.0;
    }
    v[k] = value;
  }
  v[1] = 0.0;
  v[PeakModelPoints] = 0.0;

  // The maximum goes to point 97.
  int32_t top = 1;
  for (int32_t k = 2; k <= PeakModelPoints; ++k)
    if (v[k] > v[top]) top = k;
  for (int32_t k = 1; k <= PeakModelPoints; ++k) {
    const int32_t source = k + top - PeakModelCentre;
    Shape[k] = source >= 1 && source <= PeakModelPoints ? v[source] : 0.0;
  }
  HalfPoints = PeakModelHalfPoints;
  ModelNumber = SingleSigned != 0 ? ModelReal : ModelDoubleSigned;
  AnalyseShape();
}

void EdgeFlatness(const TSpectrum& spectrum, int32_t first, int32_t& count, int32_t last) {
  count = 1;
  if (first < 1 || last > MaxChannels) return;
  const double* y = spectrum.Y;
  const double* e = spectrum.E;
  for (int32_t k = 1; k <= 2; ++k) {
    if (first + k > MaxChannels || last - k < 1) return;
    const double dl = std::fabs(y[first + k] - y[first]) / (std::fabs(e[first]) + std::fabs(e[first + k]) + 1.0);
    const double dr = std::fabs(y[last - k] - y[last]) / (std::fabs(e[last]) + std::fabs(e[last - k]) + 1.0);
    if (dl >= 2.0 || dr >= 2.0) return;
    ++count;
  }
}

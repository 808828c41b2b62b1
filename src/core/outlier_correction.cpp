#include "core/outlier_correction.h"
#include <cmath>
#include "core/spectrum.h"

double Chibc = 1.25;
double OutlierOrder = 10.0;
double CountThreshold = 10.0;

double PointWeight(const TSpectrum& spectrum, int32_t k) {
  const double e = spectrum.E[k];
  return e == 0.0 ? 0.0 : 1.0 / (e * e);
}

namespace {
// Spikes: a channel far above both neighbours when the neighbours agree with each other takes
// their mean, and their errors combined in quadrature, halved.
void RemoveSpikes(TSpectrum& sp, int32_t first, int32_t last, int32_t& count) {
  double* y = sp.Y;
  double* e = sp.E;
  for (int32_t i = first + 1; i <= last - 1; ++i) {
    const double u = std::sqrt(e[i - 1] * e[i - 1] + e[i + 1] * e[i + 1] + 1.0);
    const double t = (y[i - 1] - y[i + 1]) / u;
    if (t * t > 3.0 * Chibc || t >= 3.0) continue;
    const double m = (y[i - 1] + y[i + 1]) / u;
    const double v = y[i] / std::sqrt(e[i] * e[i] + 1.0);
    if (!(v / std::fmax(m, 1.0) > OutlierOrder)) continue;
    ++count;
    // Halves first and hypot where the squares overflow: counts near the largest double (an
    // absorption-corrected and normalized spectrum) keep a finite mean and error.
    y[i] = y[i - 1] / 2.0 + y[i + 1] / 2.0;
    const double squares = e[i - 1] * e[i - 1] + e[i + 1] * e[i + 1];
    e[i] = std::isfinite(squares) ? 0.5 * std::sqrt(squares) : std::hypot(e[i - 1] / 2.0, e[i + 1] / 2.0);
  }
}

// Outliers and dropouts: a channel far from its estimate, the neighbours' mean for a flagged
// channel or the line through three neighbours otherwise, takes the estimate; E stays.
void ReplaceOutliers(TSpectrum& sp, int32_t first, int32_t last, int32_t& zeroCount, int32_t& count) {
  double* y = sp.Y;
  for (int32_t i = first + 1; i <= last - 1; ++i) {
    double s = y[i - 1] + y[i + 1];
    const double p = y[i - 1] * y[i + 1];
    const double dl = y[i - 1] - y[i + 1];
    if (p == 0.0) s = 2.0 * std::fabs(dl);
    if (y[i] != 0.0 && s < CountThreshold) continue;
    const double q = p == 0.0 ? 0.0 : std::fabs(dl) / (std::fabs(s) + 1.0);
    // The channels next to the interval ends are always flagged: the line below needs two
    // channels on the left and one beyond on the right.
    const bool flagged = (q < 0.25 && (y[i] > s || 0.25 * s > y[i])) || y[i] == 0.0 || i == first + 1 ||
                         i == last - 1;
    double c;
    if (flagged) {
      c = s / 2.0;
    } else {
      const double w = 2.0 * std::sqrt(std::fabs(s));
      const bool genuinePeak = y[i - 1] - y[i - 2] > w && y[i] - y[i - 1] > w && y[i] - y[i + 1] > w &&
                               y[i + 1] - y[i + 2] > w;
      if (genuinePeak) continue;
      const double a = s + y[i - 2];
      const double b = dl - 2.0 * y[i - 2];
      c = (3.0 * a + b) / 7.0;
      const double g = (3.0 * c - a) / 2.0;
      const double misfit = (c - 2.0 * g - y[i - 2]) * (c - 2.0 * g - y[i - 2]) * PointWeight(sp, i - 2) +
                            (c + g - y[i + 1]) * (c + g - y[i + 1]) * PointWeight(sp, i + 1) +
                            (c - g - y[i - 1]) * (c - g - y[i - 1]) * PointWeight(sp, i - 1);
      if (misfit > Chibc) continue;
    }
    const double chi = (c - y[i]) * (c - y[i]) * PointWeight(sp, i);
    // An estimate that overflowed is no estimate: the channel stays.
    if (chi > OutlierOrder && std::isfinite(c)) {
      if (y[i] == 0.0) ++zeroCount;
      y[i] = std::fmax(0.0, c);
      ++count;
    }
  }
}
}  // namespace

void CorrectOutliers(TSpectrum& spectrum, int32_t first, int32_t last, int32_t& zeroCount, int32_t& count) {
  zeroCount = 0;
  count = 0;
  if (first < 1) first = 1;
  if (last > MaxChannels) last = MaxChannels;
  if (last - first < 2) return;
  RemoveSpikes(spectrum, first, last, count);
  ReplaceOutliers(spectrum, first, last, zeroCount, count);
}

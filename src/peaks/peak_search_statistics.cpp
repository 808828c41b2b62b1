// The counting-statistics test of the points the search found, and the merge of points that
// refined onto one peak.
#include <algorithm>
#include <cmath>
#include <numeric>
#include "core/spectrum.h"
#include "peaks/peak_search.h"

namespace {

constexpr double FourLn2 = 2.772588722239781;  // 4 ln 2: a Gaussian of full width w is exp(-4 ln2 (d/w)^2)
// The asymptotic variance of a sample median is (pi / 2) sigma^2 / n.
constexpr double MedianVariance = 1.5707963267948966;
constexpr double InnerFlank = 1.5, OuterFlank = 5.0;  // widths from the point
constexpr int32_t MinFlankChannels = 4;

double Variance(const TSpectrum& sp, int32_t c, bool errorsKnown) {
  if (errorsKnown && sp.E[c] > 0) return sp.E[c] * sp.E[c];
  return std::max(sp.Y[c], 1.0);
}

// The level of one flank a..b (channels, inside the range): the median of its counts, which
// neither noise nor a neighbour's tail over part of the flank moves much, with the variance of
// that level and the mean variance of one channel.
struct TFlank {
  bool usable = false;
  double centre = 0, level = 0, levelVariance = 0, channelVariance = 0;
};

TFlank FlankLevel(const TSpectrum& sp, int32_t a, int32_t b, bool errorsKnown) {
  TFlank f;
  const int32_t n = b - a + 1;
  if (n < MinFlankChannels) return f;
  static double values[MaxChannels + 1];
  double variance = 0;
  for (int32_t c = a; c <= b; ++c) {
    values[c - a] = sp.Y[c];
    variance += Variance(sp, c, errorsKnown);
  }
  std::nth_element(values, values + n / 2, values + n);
  f.channelVariance = variance / n;
  f.level = values[n / 2];
  f.levelVariance = MedianVariance * f.channelVariance / n;
  f.centre = (a + b) / 2.0;
  f.usable = true;
  return f;
}

double WidthOfLaw(double x) {
  const double w = PeakWidthIntercept + PeakWidthSlope * x;
  return std::isfinite(w) ? std::max(1.0, w) : 1.0;
}

}  // namespace

bool SpectrumErrorsKnown(const TSpectrum& sp, int32_t first, int32_t last) {
  for (int32_t c = std::max(first, 1); c <= std::min(last, MaxChannels); ++c)
    if (sp.E[c] != 1.0) return true;
  return false;
}

TPeakStatistics PeakStatistics(const TSpectrum& sp, int32_t first, int32_t last, bool errorsKnown, double x,
                               double w) {
  TPeakStatistics t;
  first = std::max(first, 1), last = std::min(last, MaxChannels);
  if (!std::isfinite(x) || !std::isfinite(w) || x < first || x > last) return t;
  w = std::max(w, 1.0);
  auto clampChannel = [&](double v) { return static_cast<int32_t>(std::clamp(v, first - 1.0, last + 1.0)); };
  const TFlank left = FlankLevel(sp, std::max(first, clampChannel(std::ceil(x - OuterFlank * w))),
                                 clampChannel(std::floor(x - InnerFlank * w)), errorsKnown);
  const TFlank right = FlankLevel(sp, clampChannel(std::ceil(x + InnerFlank * w)),
                                  std::min(last, clampChannel(std::floor(x + OuterFlank * w))), errorsKnown);
  if (!left.usable && !right.usable) return t;
  // The background at channel c: the line through the two flank levels, or one flank's level.
  double slope = 0, at = 0, varAt = 0, slopeWeight = 0;
  if (left.usable && right.usable) {
    const double u = (x - left.centre) / (right.centre - left.centre);
    at = left.level + (right.level - left.level) * u;
    slope = (right.level - left.level) / (right.centre - left.centre);
    varAt = (1 - u) * (1 - u) * left.levelVariance + u * u * right.levelVariance;
    t.countError = std::sqrt(((1 - u) * left.channelVariance + u * right.channelVariance));
    slopeWeight = 1;
  } else {
    const TFlank& f = left.usable ? left : right;
    at = f.level, varAt = f.levelVariance, t.countError = std::sqrt(f.channelVariance);
  }
  // Matched filter over the channels within one width.
  const int32_t a = std::max(first, static_cast<int32_t>(std::ceil(x - w)));
  const int32_t b = std::min(last, static_cast<int32_t>(std::floor(x + w)));
  double sk = 0, skk = 0, sky = 0, skkv = 0;
  for (int32_t c = a; c <= b; ++c) {
    const double d = (c - x) / w;
    const double k = std::exp(-FourLn2 * d * d);
    const double background = at + slopeWeight * slope * (c - x);
    sk += k, skk += k * k, sky += k * (sp.Y[c] - background);
    skkv += k * k * Variance(sp, c, errorsKnown);
  }
  if (!(skk > 0)) return t;
  t.background = at;
  t.backgroundSlope = slopeWeight * slope;
  t.height = sky / skk;
  t.heightError = std::sqrt(skkv + sk * sk * varAt) / skk;
  t.judged = std::isfinite(t.height) && std::isfinite(t.heightError);
  return t;
}

double ClimbToMaximum(const TSpectrum& sp, int32_t first, int32_t last, double x, double w) {
  first = std::max(first, 1), last = std::min(last, MaxChannels);
  if (!std::isfinite(x) || !std::isfinite(w) || x < first || x > last) return x;
  // Gaussian smoothing of full width w / 2 over +-w / 2 channels (at least the neighbours).
  const double fw = std::max(w / 2, 1.0);
  constexpr int32_t MaxReach = 256;  // channels; wider kernels are cut there
  const int32_t reach = std::clamp(static_cast<int32_t>(std::ceil(fw)), 1, MaxReach);
  double kernel[2 * MaxReach + 1];
  for (int32_t j = -reach; j <= reach; ++j) kernel[j + reach] = std::exp(-FourLn2 * (j / fw) * (j / fw));
  auto smoothed = [&](int32_t c) {
    double s = 0, k = 0;
    for (int32_t j = std::max(first, c - reach); j <= std::min(last, c + reach); ++j) {
      const double g = kernel[j - c + reach];
      s += g * sp.Y[j], k += g;
    }
    return s / k;
  };
  int32_t c = static_cast<int32_t>(std::nearbyint(x));
  double here = smoothed(c);
  const int32_t steps = std::max(4, static_cast<int32_t>(std::ceil(3 * w)));
  for (int32_t k = 0; k < steps; ++k) {
    const double up = c < last ? smoothed(c + 1) : -HUGE_VAL, down = c > first ? smoothed(c - 1) : -HUGE_VAL;
    if (!(std::max(up, down) > here)) break;
    c += up >= down ? 1 : -1;
    here = std::max(up, down);
  }
  return c;
}

double CentredPosition(const TSpectrum& sp, int32_t first, int32_t last, double top, const TPeakStatistics& t,
                       double w) {
  first = std::max(first, 1), last = std::min(last, MaxChannels);
  if (!t.judged) return top;
  double x = top;
  for (int32_t pass = 0; pass < 4; ++pass) {
    // Channel c covers c -+ 1/2: the end channels count with the part inside the window, so the
    // centroid moves smoothly with x.
    const double lo = x - w / 2, hi = x + w / 2;
    const int32_t a = std::max(first, static_cast<int32_t>(std::floor(lo + 0.5)));
    const int32_t b = std::min(last, static_cast<int32_t>(std::ceil(hi - 0.5)));
    double s0 = 0, s1 = 0;
    for (int32_t c = a; c <= b; ++c) {
      const double part = std::clamp(std::min(c + 0.5, hi) - std::max(c - 0.5, lo), 0.0, 1.0);
      const double net = part * (sp.Y[c] - t.background - t.backgroundSlope * (c - top));
      s0 += net, s1 += net * c;
    }
    const double next = s1 / s0;
    if (!(s0 > 0) || !(std::fabs(next - top) <= w / 2)) return top;
    x = next;
  }
  return x;
}

bool SignificantPeak(const TPeakStatistics& t, double sensitivity) {
  if (!t.judged) return true;
  return t.height >= sensitivity * t.countError && t.height >= MinPeakSignificance * t.heightError;
}

void MergeRepeatedPoints() {
  const int32_t n = std::clamp(MarkedPointCount, 0, MarkedPointCapacity);
  static int32_t order[MarkedPointCapacity];
  std::iota(order, order + n, 1);
  std::stable_sort(order, order + n, [](int32_t i, int32_t j) { return MarkedPoints[i] < MarkedPoints[j]; });
  static double x[MarkedPointCapacity + 1], h[MarkedPointCapacity + 1];
  int32_t kept = 0;
  for (int32_t k = 0; k < n; ++k) {
    const double p = MarkedPoints[order[k]], height = PeakHeights[order[k]];
    if (kept > 0 && std::fabs(p - x[kept]) < RepeatFraction * WidthOfLaw(x[kept])) {
      if (height > h[kept]) x[kept] = p, h[kept] = height;
      continue;
    }
    ++kept;
    x[kept] = p, h[kept] = height;
  }
  std::copy(x + 1, x + kept + 1, MarkedPoints + 1);
  std::copy(h + 1, h + kept + 1, PeakHeights + 1);
  MarkedPointCount = kept;
}

// The counting-statistics test of the points the search found, and the merge of points that
// refined onto one peak.
#include <algorithm>
#include <cmath>
#include <numeric>
#include "core/spectrum.h"
#include "peaks/peak_search.h"

namespace {

constexpr double FourLn2 = 2.772588722239781;  // 4 ln 2: a Gaussian of full width w is exp(-4 ln2 (d/w)^2)
constexpr double InnerFlank = 1.5, OuterFlank = 5.0;  // widths from the point
constexpr int32_t MinFlankChannels = 4;
// The Newton steps of the centring end when a step is below 1e-4 channel.
constexpr int32_t CentringPasses = 50;
constexpr double CentringReach = 0.75, MinCentringReach = 0.25;  // widths
constexpr int32_t EndFitPasses = 20;
constexpr double EndWindow = 2.0;  // widths about the point

double Variance(const TSpectrum& sp, int32_t c, bool errorsKnown) {
  if (errorsKnown && sp.E[c] > 0) return sp.E[c] * sp.E[c];
  return std::max(sp.Y[c], 1.0);
}

// The background under a point: a straight line fitted, weighted by the variances, to the
// flank channels 1.5 to 5 widths on both sides, or a parabola where it is significantly concave
// and most of both flanks are kept (under a hump of high counts the line would lie clear below the
// background; a convex curve, as the tails of neighbours make it, is left to the line, which then
// lies above); channels more
// than Clip standard deviations above the curve (neighbouring peaks, however strong, and their
// tails) are left out and the curve fitted again until it keeps the same channels. The first fit
// keeps every channel (a curve above the background), so the curve comes down onto the
// background. Leaving out the upper tail of the noise beyond 2.5 sigma lowers it by 0.02 sigma.
struct TBackgroundLine {
  bool usable = false;
  double at = 0, slope = 0, curvature = 0;  // at + slope d + curvature d^2, d = c - x
  double varAt = 0, channelVariance = 0;
};

constexpr double Clip = 2.5;
constexpr int32_t MaxClipPasses = 20;
constexpr double CurvedBackground = 1.0;  // standard deviations of the fitted curvature

// The weighted least squares of 1, u, u^2 (terms 1 to 3) from the sums s[k] = sum g u^k and
// t[k] = sum g u^k y: the coefficients p and the inverse normal matrix's diagonal; false when
// singular.
bool PolynomialFit(int32_t terms, const double* s, const double* t, double* p, double* inverseDiagonal) {
  // Gauss-Jordan on [N | I | t] at once, N[i][j] = s[i + j].
  double m[3][7] = {};
  for (int32_t i = 0; i < terms; ++i) {
    for (int32_t j = 0; j < terms; ++j) m[i][j] = s[i + j];
    m[i][3 + i] = 1;
    m[i][6] = t[i];
  }
  for (int32_t i = 0; i < terms; ++i) {
    if (!(std::fabs(m[i][i]) > 1e-300)) return false;
    for (int32_t r = 0; r < terms; ++r) {
      if (r == i) continue;
      const double f = m[r][i] / m[i][i];
      for (int32_t j = 0; j < 7; ++j) m[r][j] -= f * m[i][j];
    }
  }
  for (int32_t i = 0; i < terms; ++i) {
    p[i] = m[i][6] / m[i][i];
    inverseDiagonal[i] = m[i][3 + i] / m[i][i];
  }
  return std::isfinite(p[0]) && inverseDiagonal[0] > 0;
}

TBackgroundLine BackgroundLine(const TSpectrum& sp, int32_t first, int32_t last, bool errorsKnown, double x,
                               double w) {
  TBackgroundLine line;
  // The flank channels' offsets, counts and own variances, gathered once for the passes.
  static double us[MaxChannels + 1], ys[MaxChannels + 1], owns[MaxChannels + 1];
  static uint8_t kept[MaxChannels + 1];
  int32_t n = 0, leftOf = 0;
  auto take = [&](double from, double to) {
    const int32_t a = std::max(first, static_cast<int32_t>(std::ceil(from)));
    const int32_t b = std::min(last, static_cast<int32_t>(std::floor(to)));
    for (int32_t c = a; c <= b; ++c, ++n) {
      us[n] = (c - x) / w, ys[n] = sp.Y[c];
      owns[n] = errorsKnown && sp.E[c] > 0 ? sp.E[c] * sp.E[c] : std::max(sp.Y[c], 1.0);
      leftOf += c < x;
    }
  };
  take(x - OuterFlank * w, x - InnerFlank * w);
  const int32_t leftChannels = n;
  take(x + InnerFlank * w, x + OuterFlank * w);
  if (n < MinFlankChannels) return line;
  double p[3] = {HUGE_VAL, 0, 0};  // the curve p0 + p1 u + p2 u^2, u = (c - x) / w
  for (int32_t k = 0; k < n; ++k) kept[k] = 2;  // not yet decided
  double common = 0;  // the mean E^2 of the channels kept in the last pass
  for (int32_t pass = 0; pass < MaxClipPasses; ++pass) {
    bool changed = false;
    double s[5] = {}, t[3] = {}, sv = 0;
    int32_t count = 0, left = 0;
    for (int32_t k = 0; k < n; ++k) {
      const double u = us[k], y = ys[k], own = owns[k];
      const double level = p[0] + (p[1] + p[2] * u) * u;
      // The variance of the curve's count, or the common E^2 of the kept channels: a weight from
      // a channel's own count or error would pull the curve down by about one count. The first
      // pass takes each channel's own.
      const double v = pass == 0 ? own : errorsKnown ? common : std::max(level, 1.0);
      const uint8_t keep = y <= level + Clip * std::sqrt(v);
      changed |= keep != kept[k];
      kept[k] = keep;
      if (!keep) continue;
      const double g = 1 / v;
      double uk = g;
      for (int32_t j = 0; j < 5; ++j) s[j] += uk, uk *= u;
      t[0] += g * y, t[1] += g * u * y, t[2] += g * u * u * y;
      sv += own;
      ++count, left += k < leftOf;
    }
    if (count < MinFlankChannels) return line;
    // A parabola needs three channels on each side, a line two; else the level stays flat.
    const int32_t right = count - left;
    double q[3] = {}, d[3] = {};
    bool fitted = false;
    // The curvature needs most of both flanks (where neighbours took much of one, the line).
    if (2 * left >= leftChannels && 2 * right >= n - leftChannels && left >= 3 && right >= 3 &&
        PolynomialFit(3, s, t, q, d) &&
        -q[2] >= CurvedBackground * std::sqrt(d[2]))
      fitted = true;
    else if (left >= 2 && right >= 2 && PolynomialFit(2, s, t, q, d))
      q[2] = 0, fitted = true;
    if (!fitted) q[0] = t[0] / s[0], q[1] = q[2] = 0, d[0] = 1 / s[0];
    std::copy(q, q + 3, p);
    line.varAt = d[0];
    line.channelVariance = common = sv / count;
    if (!changed) break;
  }
  line.usable = std::isfinite(p[0]);
  line.at = p[0], line.slope = p[1] / w, line.curvature = p[2] / (w * w);
  return line;
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
                               double w, const std::vector<int32_t>& gaps) {
  TPeakStatistics t;
  first = std::max(first, 1), last = std::min(last, MaxChannels);
  if (!std::isfinite(x) || !std::isfinite(w) || x < first || x > last) return t;
  w = std::max(w, 1.0);
  const TBackgroundLine line = BackgroundLine(sp, first, last, errorsKnown, x, w);
  if (!line.usable) return t;
  const double at = line.at, slope = line.slope, curvature = line.curvature, varAt = line.varAt;
  t.countError = std::sqrt(line.channelVariance);
  // Matched filter over the channels within one width.
  const int32_t a = std::max(first, static_cast<int32_t>(std::ceil(x - w)));
  const int32_t b = std::min(last, static_cast<int32_t>(std::floor(x + w)));
  // At a whole channel the filter's taps are those of the last call of the same width.
  constexpr int32_t MaxTaps = 512;
  static double taps[2 * MaxTaps + 1], tapsWidth = NAN;
  const bool whole = x == std::nearbyint(x) && w < MaxTaps;
  if (whole && !(w == tapsWidth)) {
    const int32_t reach = static_cast<int32_t>(w) + 1;
    for (int32_t j = -reach; j <= reach; ++j) taps[j + MaxTaps] = std::exp(-FourLn2 * (j / w) * (j / w));
    tapsWidth = w;
  }
  double sk = 0, skk = 0, sky = 0, skkv = 0;
  auto gap = std::lower_bound(gaps.begin(), gaps.end(), a);
  for (int32_t c = a; c <= b; ++c) {
    if (gap != gaps.end() && *gap == c) {
      ++gap;
      continue;
    }
    const double d = (c - x) / w;
    const double k = whole ? taps[c - static_cast<int32_t>(x) + MaxTaps] : std::exp(-FourLn2 * d * d);
    const double background = at + (slope + curvature * (c - x)) * (c - x);
    sk += k, skk += k * k, sky += k * (sp.Y[c] - background);
    skkv += k * k * Variance(sp, c, errorsKnown);
  }
  if (!(skk > 0)) return t;
  t.background = at;
  t.backgroundSlope = slope;
  t.backgroundCurvature = curvature;
  t.height = sky / skk;
  t.heightError = std::sqrt(skkv + sk * sk * varAt) / skk;
  t.judged = std::isfinite(t.height) && std::isfinite(t.heightError);
  return t;
}

namespace {
// The counts smoothed by a Gaussian of full width w / 2 over +-w / 2 channels (at least the
// neighbours), less a background of the given slope; with the standard deviation of the smoothed
// value from the variances of the counts.
class TSmoothedCounts {
public:
  TSmoothedCounts(const TSpectrum& sp, int32_t first, int32_t last, bool errorsKnown, double w, double slope)
      : sp_(sp), first_(first), last_(last), errorsKnown_(errorsKnown), slope_(slope) {
    const double fw = std::max(w / 2, 1.0);
    reach_ = std::clamp(static_cast<int32_t>(std::ceil(fw)), 1, MaxReach);
    for (int32_t j = -reach_; j <= reach_; ++j) kernel_[j + reach_] = std::exp(-FourLn2 * (j / fw) * (j / fw));
  }
  double operator()(int32_t c) const {
    double s = 0, k = 0;
    for (int32_t j = std::max(first_, c - reach_); j <= std::min(last_, c + reach_); ++j) {
      const double g = kernel_[j - c + reach_];
      s += g * sp_.Y[j], k += g;
    }
    return s / k - slope_ * c;
  }
  double Error(int32_t c) const {
    double v = 0, k = 0;
    for (int32_t j = std::max(first_, c - reach_); j <= std::min(last_, c + reach_); ++j) {
      const double g = kernel_[j - c + reach_];
      v += g * g * Variance(sp_, j, errorsKnown_), k += g;
    }
    return std::sqrt(v) / k;
  }

private:
  static constexpr int32_t MaxReach = 256;  // channels; wider kernels are cut there
  const TSpectrum& sp_;
  int32_t first_, last_;
  bool errorsKnown_;
  double slope_;
  int32_t reach_ = 1;
  double kernel_[2 * MaxReach + 1];
};
}  // namespace

double ClimbToMaximum(const TSpectrum& sp, int32_t first, int32_t last, double x, double w, double slope) {
  first = std::max(first, 1), last = std::min(last, MaxChannels);
  if (!std::isfinite(x) || !std::isfinite(w) || x < first || x > last) return x;
  const TSmoothedCounts smoothed(sp, first, last, false, w, slope);
  int32_t c = static_cast<int32_t>(std::nearbyint(x));
  double here = smoothed(c);
  for (;;) {
    const double up = c < last ? smoothed(c + 1) : -HUGE_VAL, down = c > first ? smoothed(c - 1) : -HUGE_VAL;
    if (!(std::max(up, down) > here)) break;
    c += up >= down ? 1 : -1;
    here = std::max(up, down);
  }
  // A climb that runs into an end of the range found no top.
  return c == first || c == last ? NAN : c;
}

double ProminenceSignificance(const TSpectrum& sp, int32_t first, int32_t last, bool errorsKnown, int32_t top,
                              double w, double slope) {
  first = std::max(first, 1), last = std::min(last, MaxChannels);
  if (top < first || top > last || !std::isfinite(w)) return 0.0;
  const TSmoothedCounts smoothed(sp, first, last, errorsKnown, w, slope);
  const double height = smoothed(top);
  const int32_t reach = static_cast<int32_t>(std::ceil(ProminenceReach * w));
  // The lowest level on each side before higher ground (or the reach, or the range's end).
  double floor[2];
  for (int32_t side = 0; side < 2; ++side) {
    const int32_t step = side == 0 ? -1 : 1;
    double lowest = height;
    for (int32_t k = 1; k <= reach; ++k) {
      const int32_t c = top + step * k;
      if (c < first || c > last) break;
      const double v = smoothed(c);
      if (v > height) break;
      lowest = std::min(lowest, v);
    }
    floor[side] = lowest;
  }
  const double error = smoothed.Error(top) * std::sqrt(2.0);
  return error > 0 ? (height - std::max(floor[0], floor[1])) / error : 0.0;
}

TCurvature CurvatureAt(const TSpectrum& sp, int32_t first, int32_t last, bool errorsKnown, int32_t c, double w) {
  TCurvature r;
  first = std::max(first, 1), last = std::min(last, MaxChannels);
  if (!std::isfinite(w)) return r;
  w = std::max(w, 2.0);
  const double fw = w / 2, d = w / 2;
  constexpr int32_t MaxReach = 512;
  const int32_t reach = static_cast<int32_t>(std::ceil(d + 1.5 * fw));
  if (reach > MaxReach || c - reach < first || c + reach > last) return r;
  // The three Gaussians, each normalised over its taps: the kernel sums to 0 and is symmetric, so
  // a straight background gives 0. The kernel of the last width is kept (a scan meets one width
  // channel after channel where the width does not change).
  static double kernel[2 * MaxReach + 1], kernelWidth = NAN;
  if (!(w == kernelWidth)) {
    double g0[2 * MaxReach + 1], gm[2 * MaxReach + 1], gp[2 * MaxReach + 1];
    double s0 = 0, sm = 0, sPlus = 0;
    for (int32_t j = -reach; j <= reach; ++j) {
      auto g = [&](double t) { return std::exp(-FourLn2 * (t / fw) * (t / fw)); };
      g0[j + reach] = g(j), gm[j + reach] = g(j + d), gp[j + reach] = g(j - d);
      s0 += g0[j + reach], sm += gm[j + reach], sPlus += gp[j + reach];
    }
    for (int32_t j = -reach; j <= reach; ++j)
      kernel[j + reach] = g0[j + reach] / s0 - 0.5 * (gm[j + reach] / sm + gp[j + reach] / sPlus);
    kernelWidth = w;
  }
  double value = 0, variance = 0;
  for (int32_t j = -reach; j <= reach; ++j) {
    const double k = kernel[j + reach];
    value += k * sp.Y[c + j];
    variance += k * k * Variance(sp, c + j, errorsKnown);
  }
  r.value = value;
  r.error = std::sqrt(variance);
  return r;
}

double CentredPosition(const TSpectrum& sp, int32_t first, int32_t last, double top, const TPeakStatistics& t,
                       double w) {
  first = std::max(first, 1), last = std::min(last, MaxChannels);
  if (!t.judged) return top;
  // The maximum of the matched filter M(x) = sum k(c - x) net(c), k a Gaussian of full width w over
  // the channels within one width: Newton steps on M'(x) = 0, each held to a quarter width.
  const double a2 = FourLn2 / (w * w);
  const int32_t lo = std::max(first, static_cast<int32_t>(std::floor(top - 1.5 * w)));
  const int32_t hi = std::min(last, static_cast<int32_t>(std::ceil(top + 1.5 * w)));
  // The window reaches no further than the nearer valley beside the top (a neighbour beyond it
  // would pull), at least a quarter width.
  const TSmoothedCounts smoothed(sp, first, last, false, w, t.backgroundSlope);
  double window = CentringReach * w;
  for (int32_t step : {-1, 1}) {
    const int32_t t0 = static_cast<int32_t>(std::nearbyint(top));
    int32_t c = t0;
    while (std::abs(c - t0) < window && c + step >= first && c + step <= last && smoothed(c + step) < smoothed(c))
      c += step;
    window = std::min(window, std::max(std::abs(c - t0) + 0.5, MinCentringReach * w));
  }
  double x = top;
  for (int32_t pass = 0; pass < CentringPasses; ++pass) {
    // The window stays symmetric about x where an end of the range cuts it.
    const double reach = std::min({window, x - first + 0.5, last + 0.5 - x});
    double m1 = 0, m2 = 0;
    for (int32_t c = lo; c <= hi; ++c) {
      // Channel c covers c -+ 1/2: the end channels count with their part inside the window, so
      // the sums move smoothly with x.
      const double d = c - x, part = std::clamp(std::min(d + 0.5, reach) - std::max(d - 0.5, -reach), 0.0, 1.0);
      if (part == 0) continue;
      const double u = c - top;
      const double net = part * (sp.Y[c] - t.background - (t.backgroundSlope + t.backgroundCurvature * u) * u);
      const double k = std::exp(-a2 * d * d);
      m1 += net * 2 * a2 * d * k;
      m2 += net * (4 * a2 * a2 * d * d - 2 * a2) * k;
    }
    if (!(m2 < 0)) return top;
    const double step = std::clamp(-m1 / m2, -w / 4, w / 4);
    x += step;
    if (!(std::fabs(x - top) <= w / 2)) return top;
    if (std::fabs(step) < 1e-4) return x;
  }
  return x;
}

namespace {
// The share of channel k (its centre k channels from the peak's) of a channel-integrated Gaussian of
// full width fwhm.
double ChannelShare(int32_t k, double fwhm) {
  const double sigma = fwhm / (2 * std::sqrt(2 * std::log(2.0)));
  auto below = [&](double z) { return 0.5 * std::erfc(-z / (sigma * std::sqrt(2.0))); };
  return below(k + 0.5) - below(k - 0.5);
}
}  // namespace

double SpikeNeighbourShare(double w) {
  const double g0 = ChannelShare(0, w / 2), g1 = ChannelShare(1, w / 2), g2 = ChannelShare(2, w / 2);
  return (g1 - g2) / (g0 - g2);
}

bool SpikeAt(const TSpectrum& sp, bool errorsKnown, int32_t c, double r) {
  const double* y = sp.Y;
  if (!(y[c] > y[c - 1] && y[c] > y[c + 1])) return false;
  const double m1 = (y[c - 1] + y[c + 1]) / 2, m2 = (y[c - 2] + y[c + 2]) / 2;
  const double shortfall = r * y[c] - m1 + (1 - r) * m2;
  const double sd = std::sqrt(r * r * Variance(sp, c, errorsKnown) +
                              (Variance(sp, c - 1, errorsKnown) + Variance(sp, c + 1, errorsKnown)) / 4 +
                              (1 - r) * (1 - r) * (Variance(sp, c - 2, errorsKnown) + Variance(sp, c + 2, errorsKnown)) / 4);
  return shortfall > SpikeSignificance * sd;
}

bool OneChannelSpike(const TSpectrum& sp, int32_t first, int32_t last, bool errorsKnown, double x, double w,
                     const TPeakStatistics& t) {
  first = std::max(first, 1), last = std::min(last, MaxChannels);
  if (!t.judged || !std::isfinite(x) || !(w / 2 >= MinSpikeWidth)) return false;
  auto excess = [&](int32_t c) {
    const double d = c - x;
    return sp.Y[c] - (t.background + (t.backgroundSlope + t.backgroundCurvature * d) * d);
  };
  const int32_t reach = std::max(1, static_cast<int32_t>(std::floor(w / 2)));
  const int32_t x0 = static_cast<int32_t>(std::nearbyint(x));
  int32_t c = 0;
  for (int32_t j = std::max(first + 1, x0 - reach); j <= std::min(last - 1, x0 + reach); ++j)
    if (c == 0 || excess(j) > excess(c)) c = j;
  if (c == 0) return false;
  // The neighbours' share of a channel-integrated Gaussian of full width w / 2 centred on c.
  const double r = ChannelShare(1, w / 2) / ChannelShare(0, w / 2);
  const double e0 = excess(c), e1 = (excess(c - 1) + excess(c + 1)) / 2;
  const double shortfall = r * e0 - e1;
  const double sd = std::sqrt(r * r * Variance(sp, c, errorsKnown) +
                              (Variance(sp, c - 1, errorsKnown) + Variance(sp, c + 1, errorsKnown)) / 4);
  if (!(shortfall > SpikeSignificance * sd)) return false;
  // The matched height over the channels within one width of x, channel c left out.
  double skk = 0, sky = 0, skkv = 0;
  for (int32_t j = std::max(first, static_cast<int32_t>(std::ceil(x - w)));
       j <= std::min(last, static_cast<int32_t>(std::floor(x + w))); ++j) {
    if (j == c) continue;
    const double d = (j - x) / w, k = std::exp(-FourLn2 * d * d);
    skk += k * k, sky += k * excess(j), skkv += k * k * Variance(sp, j, errorsKnown);
  }
  return !(skk > 0 && sky >= MinPeakSignificance * std::sqrt(skkv));
}

namespace {
// A line and a Gaussian of the law's width w (its height and centre free) fitted by Gauss-Newton to
// the channels a..b that are no gap (ascending), started at the largest count over the line
// through the window's ends; false when the normal equations are singular, the height falls to 0 or
// the centre leaves EndWindow widths about x.
struct TGaussOnLine {
  double height = 0, centre = 0, heightError = HUGE_VAL, centreError = HUGE_VAL;
};
bool FitGaussOnLine(const TSpectrum& sp, int32_t a, int32_t b, bool errorsKnown, double x, double w,
                    const std::vector<int32_t>& gaps, TGaussOnLine& fit) {
  auto measured = [&](int32_t c) { return !std::binary_search(gaps.begin(), gaps.end(), c); };
  double p[4] = {0, 0, 0, 0};  // line at x, its slope, height, centre
  {
    const double slope = (sp.Y[b] - sp.Y[a]) / (b - a);
    double best = -HUGE_VAL;
    for (int32_t c = a; c <= b; ++c) {
      const double net = sp.Y[c] - sp.Y[a] - slope * (c - a);
      if (measured(c) && net > best) best = net, p[3] = c;
    }
    p[0] = sp.Y[a] + slope * (x - a), p[1] = slope, p[2] = std::max(best, 1.0);
  }
  const double a2 = FourLn2 / (w * w);
  for (int32_t pass = 0; pass < EndFitPasses; ++pass) {
    double n[4][5] = {};
    for (int32_t c = a; c <= b; ++c) {
      if (!measured(c)) continue;
      const double d = c - p[3], k = std::exp(-a2 * d * d), v = Variance(sp, c, errorsKnown);
      const double j[4] = {1, c - x, k, p[2] * k * 2 * a2 * d};
      const double r = sp.Y[c] - (p[0] + p[1] * (c - x) + p[2] * k);
      for (int32_t u = 0; u < 4; ++u) {
        for (int32_t q = 0; q < 4; ++q) n[u][q] += j[u] * j[q] / v;
        n[u][4] += j[u] * r / v;
      }
    }
    // The inverse's diagonal for the errors, the step from the same elimination.
    double m[4][9];
    for (int32_t u = 0; u < 4; ++u) {
      for (int32_t q = 0; q < 4; ++q) m[u][q] = n[u][q], m[u][4 + q] = u == q;
      m[u][8] = n[u][4];
    }
    for (int32_t u = 0; u < 4; ++u) {
      if (!(std::fabs(m[u][u]) > 1e-300)) return false;
      for (int32_t r = 0; r < 4; ++r) {
        if (r == u) continue;
        const double f = m[r][u] / m[u][u];
        for (int32_t q = 0; q < 9; ++q) m[r][q] -= f * m[u][q];
      }
    }
    double step[4];
    for (int32_t u = 0; u < 4; ++u) step[u] = m[u][8] / m[u][u];
    fit.heightError = std::sqrt(std::max(0.0, m[2][6] / m[2][2]));
    fit.centreError = std::sqrt(std::max(0.0, m[3][7] / m[3][3]));
    step[3] = std::clamp(step[3], -w / 4, w / 4);
    for (int32_t u = 0; u < 4; ++u) p[u] += step[u];
    if (!(p[2] > 0) || !(std::fabs(p[3] - x) <= EndWindow * w)) return false;
    if (std::fabs(step[3]) < 1e-3) break;
  }
  fit.height = p[2], fit.centre = p[3];
  return true;
}

// The window of EndWindow widths about x within first..last.
void EndFitWindow(int32_t first, int32_t last, double x, double w, int32_t& a, int32_t& b) {
  a = std::max(first, static_cast<int32_t>(std::floor(x - EndWindow * w)));
  b = std::min(last, static_cast<int32_t>(std::ceil(x + EndWindow * w)));
}
}  // namespace

double TopInsideTheEnd(const TSpectrum& sp, int32_t first, int32_t last, bool errorsKnown, double x, double w) {
  first = std::max(first, 1), last = std::min(last, MaxChannels);
  if (!std::isfinite(x) || !std::isfinite(w) || x < first || x > last) return NAN;
  w = std::max(w, 1.0);
  const bool high = last - x < x - first;
  int32_t a, b;
  EndFitWindow(first, last, x, w, a, b);
  if (b - a < 6) return NAN;
  TGaussOnLine fit;
  if (!FitGaussOnLine(sp, a, b, errorsKnown, x, w, {}, fit)) return NAN;
  // A significant height whose centre lies inside the range's edge (half a channel beyond the end).
  const double inside = high ? last + 0.5 - fit.centre : fit.centre - (first - 0.5);
  return fit.height >= MinPeakSignificance * fit.heightError && inside >= EndInside * fit.centreError && inside >= 1.0
             ? fit.centre
             : NAN;
}

bool SignificantPeak(const TPeakStatistics& t, double sensitivity) {
  if (!t.judged) return true;
  return t.height >= sensitivity * t.countError && t.height >= MinPeakSignificance * t.heightError;
}

double MeasuredTop(const TSpectrum& sp, int32_t first, int32_t last, bool errorsKnown, double x, double w,
                   const std::vector<int32_t>& gaps) {
  first = std::max(first, 1), last = std::min(last, MaxChannels);
  if (!std::isfinite(x) || !std::isfinite(w) || x < first || x > last) return NAN;
  w = std::max(w, 1.0);
  int32_t a, b;
  EndFitWindow(first, last, x, w, a, b);
  TGaussOnLine fit;
  return b > a && FitGaussOnLine(sp, a, b, errorsKnown, x, w, gaps, fit) &&
                 fit.height >= MeasuredTopSignificance * fit.heightError &&
                 std::fabs(fit.centre - x) <= MeasuredTopReach * w
             ? fit.centre
             : NAN;
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

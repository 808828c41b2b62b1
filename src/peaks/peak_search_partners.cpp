// Partners of found peaks: a weaker peak 0.75 to 2.75 widths beside a found one, a shoulder with no
// top of its own or the second of a close pair, which neither the climb nor the curvature's own
// significance parts from its neighbour. The counts about the found peak are fitted twice by least
// squares, weighted by the variances of the counts: a line, the found peak as a Gaussian convolved
// with a back-to-back pair of exponentials plus a Lorentzian, of one free width and position and
// two free decay lengths (any shape between Gauss and Lorentz, and the exponential tails of
// time-of-flight peaks, so that a peak of another shape or width than the law's leaves no residual
// that looks like a partner), and the other found peaks nearby at their positions and the law's
// width; then the same with a Gaussian of the law's width for the partner, its position free,
// started at the largest matched residual of the first fit on that side (or split from the found
// peak, a blend fitted as one broad peak).
// The partner is a peak when its height and the fall of chi^2 it brings are PartnerSignificance of
// their standard deviations, its height is at least PeakSensitivity standard deviations of the
// counts, the counts are not clearly convex at it (as on the tail of a peak), it is no one-channel
// spike, it did not run to the bounds of its reach, and it lowers chi^2 by TailSignificance of its
// standard deviations from the found peak with free tails too (a tail is no partner).
#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <utility>
#include <vector>
#include "core/spectrum.h"
#include "peaks/peak_search.h"

namespace {

constexpr double FourLn2 = 2.772588722239781;
constexpr double NearReach = 0.75, FarReach = 2.75;  // widths from the found peak
constexpr double WindowReach = 4.0;                    // widths about the found peak
constexpr int32_t MaxOthers = 6, MaxTerms = 2 + 2 + 3 * MaxOthers + 1;
constexpr int32_t MaxDims = 5;                    // position, width, two decay lengths, partner
constexpr double MinDecay = 0.1, MaxDecay = 4.0;  // the tails' decay lengths in widths
constexpr double TailSignificance = 4.0;          // standard deviations of the fall of chi^2 over the tails
constexpr int32_t SimplexPasses = 300;
constexpr double MinResidual = 2.0;  // standard deviations of the matched residual

double ChannelVariance(const TSpectrum& sp, int32_t c, bool errorsKnown) {
  return errorsKnown && sp.E[c] > 0 ? sp.E[c] * sp.E[c] : std::max(sp.Y[c], 1.0);
}

double LawWidth(double x) {
  const double w = PeakWidthIntercept + PeakWidthSlope * x;
  return std::isfinite(w) ? std::max(1.0, w) : 1.0;
}

double Gauss(double d, double w) { return std::exp(-FourLn2 * (d / w) * (d / w)); }
double Lorentz(double d, double w) { return 1.0 / (1.0 + 4.0 * (d / w) * (d / w)); }
// A Gaussian of full width w at half maximum convolved with exp(-t / tau), t >= 0, over tau, at the
// distance d towards the tail from the Gaussian's centre; the unit Gaussian as tau / w -> 0.
double Tail(double d, double w, double tau) {
  const double s = w / std::sqrt(2 * FourLn2), r = s / tau;
  return r * 1.2533141373155003 * std::exp(0.5 * r * r - d / tau) * std::erfc((r - d / s) / std::sqrt(2.0));
}
// The Gaussian convolved with exp(t / rise) below 0 and exp(-t / decay) above, over their area.
double BackToBack(double d, double w, double rise, double decay) {
  return (rise * Tail(-d, w, rise) + decay * Tail(d, w, decay)) / (rise + decay);
}

// Inverts the symmetric positive n x n matrix a in place (Gauss-Jordan); false when singular.
bool Invert(int32_t n, double a[MaxTerms][MaxTerms]) {
  double m[MaxTerms][2 * MaxTerms] = {};
  for (int32_t i = 0; i < n; ++i) {
    for (int32_t j = 0; j < n; ++j) m[i][j] = a[i][j];
    m[i][n + i] = 1;
  }
  for (int32_t i = 0; i < n; ++i) {
    int32_t p = i;
    for (int32_t r = i + 1; r < n; ++r)
      if (std::fabs(m[r][i]) > std::fabs(m[p][i])) p = r;
    if (!(std::fabs(m[p][i]) > 1e-300)) return false;
    std::swap(m[i], m[p]);
    const double pivot = m[i][i];
    for (int32_t j = 0; j < 2 * n; ++j) m[i][j] /= pivot;
    for (int32_t r = 0; r < n; ++r) {
      if (r == i || m[r][i] == 0) continue;
      const double f = m[r][i];
      for (int32_t j = 0; j < 2 * n; ++j) m[r][j] -= f * m[i][j];
    }
  }
  for (int32_t i = 0; i < n; ++i)
    for (int32_t j = 0; j < n; ++j) a[i][j] = m[i][n + j];
  return true;
}

// The counts of channels a..b about a found peak at x0 of law width w, with the other found peaks.
class TLocalFit {
public:
  TLocalFit(const TSpectrum& sp, int32_t a, int32_t b, bool errorsKnown, double x0, double w,
            const std::vector<double>& others)
      : sp_(sp), a_(a), b_(b), x0_(x0), w_(w), others_(others) {
    weight_.resize(static_cast<size_t>(b - a + 1));
    for (int32_t c = a; c <= b; ++c) {
      weight_[static_cast<size_t>(c - a)] = 1.0 / ChannelVariance(sp, c, errorsKnown);
    }
  }
  // theta: the found peak's position, width and decay lengths below and above, then the partner's
  // position when `partner`. The weighted chi^2 of the best linear terms; HUGE_VAL outside the
  // reach. Keeps the terms, and the partner's height and its standard deviation.
  double Chi2(const double* theta, bool partner) {
    const double x1 = theta[0], w1 = theta[1];
    if (!(std::fabs(x1 - x0_) <= w_ && w1 >= 0.4 * w_ && w1 <= 2.5 * w_)) return HUGE_VAL;
    for (int32_t k : {2, 3})
      if (!(theta[k] >= MinDecay * w_ && theta[k] <= MaxDecay * w_)) return HUGE_VAL;
    if (partner) {
      // Apart from the found peak's centre, within reach of the found point.
      if (!(std::fabs(theta[4] - x1) >= 0.6 * w_ && std::fabs(theta[4] - x0_) <= 3.0 * w_)) return HUGE_VAL;
    }
    terms_ = 4 + 3 * static_cast<int32_t>(others_.size()) + (partner ? 1 : 0);
    double n[MaxTerms][MaxTerms] = {}, t[MaxTerms] = {}, f[MaxTerms];
    for (int32_t c = a_; c <= b_; ++c) {
      Basis(c, theta, partner, f);
      const double g = weight_[static_cast<size_t>(c - a_)];
      for (int32_t i = 0; i < terms_; ++i) {
        t[i] += g * f[i] * sp_.Y[c];
        for (int32_t j = 0; j <= i; ++j) n[i][j] += g * f[i] * f[j];
      }
    }
    for (int32_t i = 0; i < terms_; ++i)
      for (int32_t j = i + 1; j < terms_; ++j) n[i][j] = n[j][i];
    if (!Invert(terms_, n)) return HUGE_VAL;
    for (int32_t i = 0; i < terms_; ++i) {
      p_[i] = 0;
      for (int32_t j = 0; j < terms_; ++j) p_[i] += n[i][j] * t[j];
    }
    height_ = partner ? p_[terms_ - 1] : 0.0;
    heightError_ = partner ? std::sqrt(std::max(0.0, n[terms_ - 1][terms_ - 1])) : 0.0;
    double chi2 = 0;
    for (int32_t c = a_; c <= b_; ++c) {
      const double r = sp_.Y[c] - Model(c, theta, partner, false);
      chi2 += weight_[static_cast<size_t>(c - a_)] * r * r;
    }
    return std::isfinite(chi2) ? chi2 : HUGE_VAL;
  }
  // The fitted counts at c (the terms of the last Chi2), without the partner when asked.
  double Model(double c, const double* theta, bool partner, bool withoutPartner) const {
    double f[MaxTerms], s = 0;
    Basis(c, theta, partner, f);
    for (int32_t i = 0; i < terms_ - (partner && withoutPartner ? 1 : 0); ++i) s += p_[i] * f[i];
    return s;
  }
  int32_t Terms() const { return terms_; }
  // The fitted line of the last Chi2 at c.
  double Line(double c) const { return p_[0] + p_[1] * (c - x0_) / w_; }
  double height_ = 0, heightError_ = 0;

private:
  void Basis(double c, const double* theta, bool partner, double* f) const {
    const double d = c - theta[0];
    f[0] = 1, f[1] = (c - x0_) / w_, f[2] = BackToBack(d, theta[1], theta[2], theta[3]), f[3] = Lorentz(d, theta[1]);
    int32_t k = 4;
    for (double x : others_) {
      const double w = LawWidth(x);
      // The Gaussian's slope in x takes up a small error of the point's position.
      const double g = Gauss(c - x, w);
      f[k++] = g, f[k++] = Lorentz(c - x, w), f[k++] = g * (c - x) / w;
    }
    if (partner) f[k] = Gauss(c - theta[4], LawWidth(theta[4]));
  }
  const TSpectrum& sp_;
  int32_t a_, b_;
  double x0_, w_;
  std::vector<double> others_, weight_;
  int32_t terms_ = 0;
  double p_[MaxTerms] = {};
};

// The coordinates of theta a minimisation frees: the found peak's position and width, its decay
// lengths, the partner's position.
using TFree = std::initializer_list<int32_t>;
constexpr TFree Symmetric = {0, 1}, Tailed = {0, 1, 2, 3}, SymmetricPair = {0, 1, 4}, TailedPair = {0, 1, 2, 3, 4};

// Nelder-Mead on fit.Chi2 over the coordinates `free` of theta (the others held) from steps
// `step`; theta ends at the best vertex, the result is its chi^2.
double Minimise(TLocalFit& fit, double* theta, const double* step, TFree free, bool partner) {
  const int32_t dims = static_cast<int32_t>(free.size());
  double v[MaxDims + 1][MaxDims], value[MaxDims + 1];
  for (int32_t i = 0; i <= dims; ++i) {
    std::copy(theta, theta + MaxDims, v[i]);
    if (i > 0) v[i][free.begin()[i - 1]] += step[free.begin()[i - 1]];
    value[i] = fit.Chi2(v[i], partner);
  }
  for (int32_t pass = 0; pass < SimplexPasses; ++pass) {
    int32_t lo = 0, hi = 0;
    for (int32_t i = 1; i <= dims; ++i) {
      if (value[i] < value[lo]) lo = i;
      if (value[i] > value[hi]) hi = i;
    }
    int32_t next = lo;  // the highest but one
    for (int32_t i = 0; i <= dims; ++i)
      if (i != hi && value[i] > value[next]) next = i;
    if (value[hi] - value[lo] < 1e-6 * (1 + value[lo])) break;
    double centre[MaxDims], trial[MaxDims], expanded[MaxDims];
    std::copy(theta, theta + MaxDims, centre);
    for (int32_t k : free) centre[k] = 0;
    for (int32_t i = 0; i <= dims; ++i)
      if (i != hi)
        for (int32_t k : free) centre[k] += v[i][k] / dims;
    std::copy(centre, centre + MaxDims, trial);
    std::copy(centre, centre + MaxDims, expanded);
    for (int32_t k : free) trial[k] = 2 * centre[k] - v[hi][k];
    const double t = fit.Chi2(trial, partner);
    if (t < value[lo]) {
      for (int32_t k : free) expanded[k] = 3 * centre[k] - 2 * v[hi][k];
      const double e = fit.Chi2(expanded, partner);
      if (e < t)
        std::copy(expanded, expanded + MaxDims, v[hi]), value[hi] = e;
      else
        std::copy(trial, trial + MaxDims, v[hi]), value[hi] = t;
    } else if (t < value[next]) {
      std::copy(trial, trial + MaxDims, v[hi]), value[hi] = t;
    } else {
      for (int32_t k : free) trial[k] = (centre[k] + v[hi][k]) / 2;
      const double c = fit.Chi2(trial, partner);
      if (c < value[hi]) {
        std::copy(trial, trial + MaxDims, v[hi]), value[hi] = c;
      } else {
        for (int32_t i = 0; i <= dims; ++i) {
          if (i == lo) continue;
          for (int32_t k : free) v[i][k] = (v[i][k] + v[lo][k]) / 2;
          value[i] = fit.Chi2(v[i], partner);
        }
      }
    }
  }
  int32_t lo = 0;
  for (int32_t i = 1; i <= dims; ++i)
    if (value[i] < value[lo]) lo = i;
  std::copy(v[lo], v[lo] + MaxDims, theta);
  return fit.Chi2(theta, partner);  // leaves the terms of the best vertex
}

// The fall of chi^2 from the found peak with free tails alone to that with the partner as well,
// both started from the symmetric fits `single` and `pair`; w the law's width.
double FallOverTails(TLocalFit& fit, const double* single, const double* pair, const double* step, double w,
                     int32_t side) {
  // The single peak from a few starts (decay lengths in widths below and above; the Gaussian's
  // centre moved against the longer tail), the best of them minimised once more.
  double tailed[MaxDims], chi2Tailed = HUGE_VAL;
  for (const auto& [rise, decay] : {std::pair{MinDecay, MinDecay}, {MinDecay, 0.7}, {0.7, MinDecay}, {MinDecay, 2.0},
                                    {2.0, MinDecay}}) {
    double trial[MaxDims] = {single[0] - 0.4 * (decay - rise) * w, 0.8 * single[1], rise * w, decay * w, 0};
    const double c = Minimise(fit, trial, step, Tailed, false);
    if (c < chi2Tailed) chi2Tailed = c, std::copy(trial, trial + MaxDims, tailed);
  }
  chi2Tailed = Minimise(fit, tailed, step, Tailed, false);
  // The pair from the symmetric pair, from the tailed single (the partner kept off its centre, so
  // that the start is no worse than the tailed single), and from its tails at the pair's centre.
  const double x2 = pair[4], apart = tailed[0] + side * std::max((x2 - tailed[0]) * side, 0.7 * w);
  const double starts[3][MaxDims] = {{pair[0], pair[1], pair[2], pair[3], x2},
                                     {tailed[0], tailed[1], tailed[2], tailed[3], apart},
                                     {pair[0], pair[1], tailed[2], tailed[3], x2}};
  double chi2 = HUGE_VAL;
  for (const auto& from : starts) {
    double trial[MaxDims];
    std::copy(from, from + MaxDims, trial);
    chi2 = std::min(chi2, Minimise(fit, trial, step, TailedPair, true));
  }
  return chi2Tailed - chi2;
}

// The partner of the found peak x0 (index i0 in MarkedPoints) on one side: appended, or put in
// place of the one point that stood in its reach. The found peak takes its position in the joint fit.
void PartnerOnSide(const TSpectrum& sp, bool errorsKnown, int32_t i0, int32_t side) {
  const int32_t first = std::max(PeakSearchFirstChannel, 1), last = std::min(PeakSearchLastChannel, MaxChannels);
  const double x0 = MarkedPoints[i0], w = LawWidth(x0);
  int32_t a = std::max(first, static_cast<int32_t>(std::ceil(x0 - WindowReach * w)));
  int32_t b = std::min(last, static_cast<int32_t>(std::floor(x0 + WindowReach * w)));
  // The nearest other found peaks whose counts reach into the window; of those in the partner's
  // reach on this side (at most one, and lower than x0) the partner takes the place.
  std::vector<double> others;
  int32_t inReach = 0, reachIndex = 0;
  for (int32_t i = 1; i <= MarkedPointCount; ++i) {
    const double x = MarkedPoints[i], gap = (x - x0) * side;
    if (i == i0 || !(x > a - 2.0 * LawWidth(x) && x < b + 2.0 * LawWidth(x))) continue;
    if (gap > 0 && gap < FarReach * w) {
      ++inReach, reachIndex = i;
      continue;
    }
    others.push_back(x);
  }
  // The partner is the weaker of the two.
  if (inReach > 1 || (inReach == 1 && PeakHeights[reachIndex] > PeakHeights[i0])) return;
  std::sort(others.begin(), others.end(), [&](double p, double q) { return std::fabs(p - x0) < std::fabs(q - x0); });
  if (others.size() > MaxOthers) others.resize(MaxOthers);
  // The window holds the others whole (1.5 widths about each), so that the fit determines them.
  for (double x : others) {
    a = std::max(first, std::min(a, static_cast<int32_t>(std::ceil(x - 1.5 * LawWidth(x)))));
    b = std::min(last, std::max(b, static_cast<int32_t>(std::floor(x + 1.5 * LawWidth(x)))));
  }
  if (b - a < 12) return;
  TLocalFit fit(sp, a, b, errorsKnown, x0, w, others);
  double single[MaxDims] = {x0, w, MinDecay * w, MinDecay * w, 0};
  const double step[MaxDims] = {0.1 * w, 0.1 * w, 0.3 * w, 0.3 * w, 0.1 * w};
  const double chi2Single = Minimise(fit, single, step, Symmetric, false);
  if (!std::isfinite(chi2Single)) return;
  // The largest matched residual of the single peak on this side; none that stands out by
  // MinResidual of its standard deviations leaves no partner to seek.
  std::vector<double> residual(static_cast<size_t>(b - a + 1));
  for (int32_t c = a; c <= b; ++c) residual[static_cast<size_t>(c - a)] = sp.Y[c] - fit.Model(c, single, false, false);
  double start = NAN, best = 0, significance = 0;
  for (double x = single[0] + side * NearReach * w; std::fabs(x - single[0]) <= FarReach * w; x += side * 0.5) {
    double skk = 0, sky = 0, skkv = 0;
    for (int32_t c = std::max(a, static_cast<int32_t>(std::ceil(x - w)));
         c <= std::min(b, static_cast<int32_t>(std::floor(x + w))); ++c) {
      const double k = Gauss(c - x, w);
      skk += k * k, sky += k * residual[static_cast<size_t>(c - a)], skkv += k * k * ChannelVariance(sp, c, errorsKnown);
    }
    if (skk > 0 && sky / skk > best) best = sky / skk, start = x;
    if (skk > 0 && sky / skk >= best) significance = std::max(significance, sky / std::sqrt(skkv));
  }
  if (!(significance >= MinResidual)) return;
  if (!std::isfinite(start)) return;
  // From the single peak's width, from the law's, and from the found point split into two of the
  // law's width (a blend fitted as one broad peak); the best of the three.
  const double d = MinDecay * w;
  const double starts[3][MaxDims] = {{single[0], single[1], d, d, start}, {single[0], w, d, d, start},
                                     {x0 - side * 0.55 * w, w, d, d, x0 + side * 0.6 * w}};
  double pair[MaxDims], chi2 = HUGE_VAL;
  for (const auto& from : starts) {
    double trial[MaxDims];
    std::copy(from, from + MaxDims, trial);
    const double c = Minimise(fit, trial, step, SymmetricPair, true);
    if (c < chi2) chi2 = c, std::copy(trial, trial + MaxDims, pair);
  }
  if (!std::isfinite(chi2) || !std::isfinite(fit.Chi2(pair, true))) return;
  // The found peak stays within its reach; the partner lies on this side.
  const double x2 = pair[4], gap = (x2 - pair[0]) * side;
  if (!(std::fabs(pair[0] - x0) < 0.9 * w && gap > NearReach * w && gap < FarReach * w)) return;
  const int32_t c2 = static_cast<int32_t>(std::nearbyint(x2));
  if (c2 <= first || c2 >= last) return;
  if (inReach == 1 && !(std::fabs(MarkedPoints[reachIndex] - x2) < RepeatFraction * w)) return;
  const double h = fit.height_, sh = fit.heightError_;
  const double countError = std::sqrt(ChannelVariance(sp, c2, errorsKnown));
  // No higher than the counts over the fitted line there allow (every peak adds counts).
  if (!(h <= sp.Y[c2] - fit.Line(c2) + 3 * countError)) return;
  // The partner's height, and the fall of chi^2 it brings, are significant; where the pair leaves
  // more misfit than the counts allow (peaks the fit does not hold), in units scaled by chi^2 per
  // degree of freedom.
  const int32_t freedom = b - a + 1 - fit.Terms() - 3;
  if (freedom < 1) return;
  const double misfit = std::max(1.0, chi2 / freedom);
  const double z = PartnerSignificance * std::max(1.0, PeakSensitivity);
  if (!(h >= z * sh * std::sqrt(misfit) && chi2Single - chi2 >= z * z * misfit && h >= PeakSensitivity * countError))
    return;
  const double w2 = LawWidth(x2);
  const TCurvature q = CurvatureAt(sp, first, last, errorsKnown, c2, w2);
  if (q.error > 0 && !(q.value > -LowTopCurvature * q.error)) return;
  // The rest of the fit about x2 as the spike test's background.
  TPeakStatistics t;
  t.judged = true;
  const double m0 = fit.Model(x2, pair, true, true), mp = fit.Model(x2 + 1, pair, true, true),
               mm = fit.Model(x2 - 1, pair, true, true);
  t.background = m0, t.backgroundSlope = (mp - mm) / 2, t.backgroundCurvature = (mp - 2 * m0 + mm) / 2;
  if (OneChannelSpike(sp, first, last, errorsKnown, x2, w2, t)) return;
  // The exponential tails of a time-of-flight peak are no partner: the partner must lower chi^2 as
  // well from the single peak with its tails free.
  const double zt = TailSignificance * std::max(1.0, PeakSensitivity);
  if (!(FallOverTails(fit, single, pair, step, w, side) >= zt * zt * misfit)) return;
  MarkedPoints[i0] = pair[0];
  const int32_t k = inReach == 1 ? reachIndex : ++MarkedPointCount;
  MarkedPoints[k] = x2;
  PeakHeights[k] = sp.Y[c2];
}
}  // namespace

void AddHiddenPartners(const TSpectrum& sp, bool errorsKnown) {
  const int32_t found = MarkedPointCount;
  for (int32_t i = 1; i <= found && MarkedPointCount < PeakSearchPointLimit; ++i)
    for (int32_t side : {-1, 1}) PartnerOnSide(sp, errorsKnown, i, side);
}

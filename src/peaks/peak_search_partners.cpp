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
#include "peaks/peak_search_partners_internal.h"

namespace peak_partners {
namespace {
double Gauss(double d, double w) { return std::exp(-FourLn2 * (d / w) * (d / w)); }
double Lorentz(double d, double w) { return 1.0 / (1.0 + 4.0 * (d / w) * (d / w)); }
double LawWidth(double x) {
  const double w = PeakWidthIntercept + PeakWidthSlope * x;
  return std::isfinite(w) ? std::max(1.0, w) : 1.0;
}
}  // namespace

double Tail(double d, double w, double tau) {
  const double s = w / std::sqrt(2 * FourLn2), r = s / tau;
  return r * 1.2533141373155003 * std::exp(0.5 * r * r - d / tau) * std::erfc((r - d / s) / std::sqrt(2.0));
}
// With G the unit Gaussian of the same width (sigma s), dH/dz = (G - H) / tau, dH/ds = s d2H/dz2 +
// H / s, dH/dtau = H (z / tau^2 - 1 / tau) - s^2 (H - G) / tau^3 (H is the Gaussian convolved with
// exp(-t / tau) / tau).
void TailWithDerivatives(double z, double w, double tau, double g, double& h, double* dh) {
  const double s = w / std::sqrt(2 * FourLn2);
  h = Tail(z, w, tau);
  dh[0] = (g - h) / tau;
  const double second = (-z * g / (s * s) - dh[0]) / tau;
  dh[1] = (s * second + h / s) / std::sqrt(2 * FourLn2);
  dh[2] = h * (z / (tau * tau) - 1 / tau) - s * s * (h - g) / (tau * tau * tau);
}

// Beyond 2.5 widths and 15 decay lengths the found peak's Gaussian part is below 1e-7 of its top,
// beyond 3 widths the partner below 1e-10: 0 there.
void PeakProfiles(double c, const double* theta, bool partner, double lawWidth, double partnerWidth, double* f,
                  double* df, const double* gauss, const double* gauss2) {
  const double d = c - theta[0], w1 = theta[1];
  const bool symmetric = theta[2] == MinDecay * lawWidth && theta[3] == MinDecay * lawWidth;
  const double reach = 2.5 * w1 + 15 * (d < 0 ? theta[2] : theta[3]);
  if (df) std::fill(df, df + 3 * MaxDims, 0.0);
  const double u = d / w1;
  if (std::fabs(d) > reach) {
    f[0] = 0;
  } else if (symmetric) {
    f[0] = gauss ? *gauss : Gauss(d, w1);
    if (df) df[0] = f[0] * 2 * FourLn2 * u / w1, df[1] = df[0] * u;
  } else {
    const double rise = theta[2], decay = theta[3], sum = rise + decay;
    double hr, hd, dr[3], dd[3];  // H and its derivatives in z, w and tau
    const double g = gauss ? *gauss : Gauss(d, w1);  // the same on both sides
    TailWithDerivatives(-d, w1, rise, g, hr, dr);
    TailWithDerivatives(d, w1, decay, g, hd, dd);
    f[0] = (rise * hr + decay * hd) / sum;
    if (df) {
      df[0] = -(-rise * dr[0] + decay * dd[0]) / sum;  // d/dx1 = -d/dd
      df[1] = (rise * dr[1] + decay * dd[1]) / sum;
      df[2] = (hr + rise * dr[2] - f[0]) / sum;
      df[3] = (hd + decay * dd[2] - f[0]) / sum;
    }
  }
  f[1] = Lorentz(d, w1);
  if (df) df[MaxDims] = f[1] * f[1] * 8 * u / w1, df[MaxDims + 1] = df[MaxDims] * u;
  if (partner) {
    const double w2 = partnerWidth > 0 ? partnerWidth : LawWidth(theta[4]), d2 = c - theta[4];
    f[2] = std::fabs(d2) <= 3 * w2 ? (gauss2 ? *gauss2 : Gauss(d2, w2)) : 0.0;
    if (df) {
      // The law's width moves with the partner's position.
      const double u2 = d2 / w2, dw2 = PeakWidthIntercept + PeakWidthSlope * theta[4] > 1 ? PeakWidthSlope : 0.0;
      df[2 * MaxDims + 4] = f[2] * 2 * FourLn2 * u2 / w2 * (1 + u2 * dw2);
    }
  }
}

bool SolvePivoted(int32_t n, double m[MaxDims][MaxDims + 1], double* x) {
  for (int32_t j = 0; j < n; ++j) {
    int32_t p = j;
    for (int32_t r = j + 1; r < n; ++r)
      if (std::fabs(m[r][j]) > std::fabs(m[p][j])) p = r;
    std::swap(m[j], m[p]);
    if (!(std::fabs(m[j][j]) > 0)) return false;
    for (int32_t r = j + 1; r < n; ++r) {
      const double f = m[r][j] / m[j][j];
      for (int32_t k = j; k <= n; ++k) m[r][k] -= f * m[j][k];
    }
  }
  for (int32_t j = n - 1; j >= 0; --j) {
    double v = m[j][n];
    for (int32_t k = j + 1; k < n; ++k) v -= m[j][k] * x[k];
    x[j] = v / m[j][j];
  }
  return true;
}

}  // namespace peak_partners

namespace {

using namespace peak_partners;
constexpr double NearReach = 0.75, FarReach = 2.75;  // widths from the found peak
constexpr double WindowReach = 4.0;                    // widths about the found peak
constexpr int32_t MaxOthers = 6, MaxTerms = 2 + 2 + 3 * MaxOthers + 1;
constexpr double TailSignificance = 4.0;          // standard deviations of the fall of chi^2 over the tails
constexpr double MinResidual = 2.0;  // standard deviations of the matched residual

double ChannelVariance(const TSpectrum& sp, int32_t c, bool errorsKnown) {
  return errorsKnown && sp.E[c] > 0 ? sp.E[c] * sp.E[c] : std::max(sp.Y[c], 1.0);
}

// Gauss(c - x, w) at the channels c = a + lo .. a + hi into out[lo..hi], by the recurrence of the
// ratios of neighbouring channels (one exponential a run; within 16 widths of x, where it is no
// denormal, the rounding grows as the square of the run, below 1e-10 of the value).
void GaussRun(double x, double w, int32_t a, int32_t lo, int32_t hi, double* out) {
  const double kappa = FourLn2 / (w * w), d0 = a + lo - x, fall = std::exp(-2 * kappa);
  double g = std::exp(-kappa * d0 * d0), ratio = std::exp(-kappa * (2 * d0 + 1));
  for (int32_t i = lo; i <= hi; ++i) out[i] = g, g *= ratio, ratio *= fall;
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

// Inverts the n x n (n <= 3) block s into inverse (Gauss-Jordan with partial pivots; s is spent);
// false when singular.
bool InvertSmall(int32_t n, double s[3][3], double inverse[3][3]) {
  for (int32_t i = 0; i < 3; ++i)
    for (int32_t j = 0; j < 3; ++j) inverse[i][j] = i == j ? 1 : 0;
  for (int32_t i = 0; i < n; ++i) {
    int32_t p = i;
    for (int32_t r = i + 1; r < n; ++r)
      if (std::fabs(s[r][i]) > std::fabs(s[p][i])) p = r;
    if (!(std::fabs(s[p][i]) > 1e-300)) return false;
    std::swap(s[i], s[p]), std::swap(inverse[i], inverse[p]);
    const double pivot = s[i][i];
    for (int32_t j = 0; j < n; ++j) s[i][j] /= pivot, inverse[i][j] /= pivot;
    for (int32_t r = 0; r < n; ++r) {
      if (r == i) continue;
      const double f = s[r][i];
      for (int32_t j = 0; j < n; ++j) s[r][j] -= f * s[i][j], inverse[r][j] -= f * inverse[i][j];
    }
  }
  return true;
}

// The counts of channels a..b about a found peak at x0 of law width w, with the other found peaks.
class TLocalFit {
public:
  TLocalFit(const TSpectrum& sp, int32_t a, int32_t b, bool errorsKnown, double x0, double w,
            const std::vector<double>& others)
      : sp_(sp), a_(a), b_(b), x0_(x0), w_(w), others_(others) {
    const int32_t n = b - a + 1;
    fixed_ = 2 + 3 * static_cast<int32_t>(others.size());
    weight_.resize(static_cast<size_t>(n));
    basis_.resize(static_cast<size_t>(n) * fixed_);
    peak_.resize(static_cast<size_t>(n) * 3);
    residual_.resize(static_cast<size_t>(n));
    for (int32_t c = a; c <= b; ++c) {
      weight_[static_cast<size_t>(c - a)] = 1.0 / ChannelVariance(sp, c, errorsKnown);
      FixedBasis(c, basis_.data() + static_cast<size_t>(c - a) * fixed_);
    }
    // The normal equations of the fixed terms (the line and the other peaks) once.
    for (int32_t i = 0; i < fixed_; ++i) {
      fixedT_[i] = 0;
      for (int32_t j = 0; j <= i; ++j) fixedN_[i][j] = 0;
    }
    for (int32_t c = a; c <= b; ++c) {
      const double* f = basis_.data() + static_cast<size_t>(c - a) * fixed_;
      const double g = weight_[static_cast<size_t>(c - a)];
      for (int32_t i = 0; i < fixed_; ++i) {
        fixedT_[i] += g * f[i] * sp.Y[c];
        for (int32_t j = 0; j <= i; ++j) fixedN_[i][j] += g * f[i] * f[j];
      }
    }
    // Their Cholesky factor L and L^-1 t, so that each Chi2 solves only the found peak's and the
    // partner's rows (the Schur complement); a singular block leaves the full inversion.
    factored_ = true;
    for (int32_t i = 0; i < fixed_ && factored_; ++i) {
      for (int32_t j = 0; j <= i; ++j) {
        double v = fixedN_[i][j];
        for (int32_t k = 0; k < j; ++k) v -= factor_[i][k] * factor_[j][k];
        if (j < i) {
          factor_[i][j] = v / factor_[j][j];
        } else if (v > 1e-12 * fixedN_[i][i] && v > 0) {
          factor_[i][i] = std::sqrt(v);
        } else {
          factored_ = false;
        }
      }
    }
    if (factored_) Forward(fixedT_, fixedU_);
    Project();
  }
  // theta: the found peak's position, width and decay lengths below and above, then the partner's
  // position when `partner`. The weighted chi^2 of the best linear terms; HUGE_VAL outside the
  // reach. Keeps the terms, and the partner's height and its standard deviation.
  double Chi2(const double* theta, bool partner) {
    if (!InReach(theta, partner)) return HUGE_VAL;
    for (int32_t c = a_; c <= b_; ++c)
      PeakBasis(c, theta, partner, peak_.data() + static_cast<size_t>(c - a_) * 3, nullptr);
    return Solve(partner);
  }
  // The minimisation's chi^2 at theta, with the fixed terms projected out once: with A the weighted
  // profiles of the found peak and the partner, Z = Q'A (Q the orthonormal weighted fixed terms)
  // and y~ the weighted counts off the fixed terms' span, the heights solve (A'A - Z'Z) p = A'y~
  // and chi^2 = |y~|^2 - p'A'y~. Keeps the profiles, their derivatives and the heights for Normal.
  double Evaluate(const double* theta, bool partner) {
    return partner ? EvaluateOf<3>(theta, true) : EvaluateOf<2>(theta, false);
  }
  // Evaluate with the count of heights fixed at compile time, the loops over them unrolled.
  template <int32_t Vary>
  double EvaluateOf(const double* theta, bool partner) {
    if (!InReach(theta, partner)) return HUGE_VAL;
    vary_ = Vary;
    const int32_t n = b_ - a_ + 1;
    double s[3][3] = {}, u[3] = {}, z[3][MaxTerms] = {};  // z local: its rows vectorise over the terms
    // The Gaussians by runs over their reach (within 16 widths; beyond, below 1e-300).
    const double reach = std::min(2.5 * theta[1] + 15 * std::max(theta[2], theta[3]), 16 * theta[1]);
    auto run = [&](double x, double r, double w, double* out) {
      const int32_t lo = std::max(0, static_cast<int32_t>(std::ceil(x - r)) - a_);
      const int32_t hi = std::min(n - 1, static_cast<int32_t>(std::floor(x + r)) - a_);
      std::fill(out, out + n, 0.0);
      if (lo <= hi) GaussRun(x, w, a_, lo, hi, out);
    };
    run(theta[0], reach, theta[1], gauss_.data());
    if (partner) partnerWidth_ = LawWidth(theta[4]), run(theta[4], 3 * partnerWidth_, partnerWidth_, gauss2_.data());
    for (int32_t i = 0; i < n; ++i) {
      double* f = prof_.data() + static_cast<size_t>(i) * 3;
      double* df = dprof_.data() + static_cast<size_t>(i) * 3 * MaxDims;
      PeakBasis(a_ + i, theta, partner, f, df, &gauss_[static_cast<size_t>(i)], &gauss2_[static_cast<size_t>(i)]);
      const double r = root_[static_cast<size_t>(i)];
      const double* q = q_.data() + static_cast<size_t>(i) * rank_;
      // The found peak's profiles move with its four coordinates, the partner's with its position.
      for (int32_t k = 0; k < 4; ++k) df[k] *= r, df[MaxDims + k] *= r;
      df[2 * MaxDims + 4] *= r;
      for (int32_t v = 0; v < Vary; ++v) {
        if (f[v] == 0) continue;
        f[v] *= r;
        u[v] += f[v] * yt_[static_cast<size_t>(i)];
        for (int32_t w = 0; w <= v; ++w) s[v][w] += f[v] * f[w];
        for (int32_t j = 0; j < rank_; ++j) z[v][j] += q[j] * f[v];
      }
    }
    for (int32_t v = 0; v < Vary; ++v) std::copy(z[v], z[v] + rank_, z_[v]);
    partnerWidth_ = 0;
    for (int32_t v = 0; v < Vary; ++v)
      for (int32_t w = 0; w <= v; ++w) {
        for (int32_t j = 0; j < rank_; ++j) s[v][w] -= z_[v][j] * z_[w][j];
        s[w][v] = s[v][w];
      }
    if (!InvertSmall(Vary, s, sinv_)) return HUGE_VAL;
    double chi2 = yy_;
    for (int32_t v = 0; v < Vary; ++v) {
      h_[v] = 0;
      for (int32_t w = 0; w < Vary; ++w) h_[v] += sinv_[v][w] * u[w];
      chi2 -= h_[v] * u[v];
    }
    return std::isfinite(chi2) ? std::max(chi2, 0.0) : HUGE_VAL;
  }
  // The Gauss-Newton normal equations at the last Evaluate over the coordinates free[0..dims-1] of
  // theta, the heights solved at each theta (variable projection): with D_k = sum_v p_v dA_v/dtheta_k
  // the gradient g_k = -r'D_k (the residual r is orthogonal to every term) and a_km = D_k' P D_m,
  // P the projection off all the terms.
  void Normal(const int32_t* free, int32_t dims, double a[MaxDims][MaxDims], double* g) const {
    // The loops unrolled for each count of heights and of free coordinates.
    const int32_t which = 10 * vary_ + dims;
    switch (which) {
      case 22: return NormalOf<2, 2>(free, a, g);
      case 23: return NormalOf<2, 3>(free, a, g);
      case 24: return NormalOf<2, 4>(free, a, g);
      case 25: return NormalOf<2, 5>(free, a, g);
      case 32: return NormalOf<3, 2>(free, a, g);
      case 33: return NormalOf<3, 3>(free, a, g);
      case 34: return NormalOf<3, 4>(free, a, g);
      case 35: return NormalOf<3, 5>(free, a, g);
      default: return NormalOf<0, 0>(free, a, g, dims);
    }
  }
  // Normal with Vary heights and Dims free coordinates fixed at compile time (0: vary_ and dims).
  template <int32_t Vary, int32_t Dims>
  void NormalOf(const int32_t* free, double a[MaxDims][MaxDims], double* g, int32_t dimsGiven = 0) const {
    const int32_t vary = Vary > 0 ? Vary : this->vary_, dims = Dims > 0 ? Dims : dimsGiven;
    double e[MaxDims][MaxTerms] = {}, ad[MaxDims][3] = {}, m[MaxTerms] = {};
    for (int32_t k = 0; k < dims; ++k) {
      g[k] = 0;
      std::fill(a[k], a[k] + dims, 0.0);
    }
    for (int32_t j = 0; j < rank_; ++j)
      for (int32_t v = 0; v < vary; ++v) m[j] += h_[v] * z_[v][j];
    for (int32_t i = 0; i < b_ - a_ + 1; ++i) {
      const double* f = prof_.data() + static_cast<size_t>(i) * 3;
      const double* df = dprof_.data() + static_cast<size_t>(i) * 3 * MaxDims;
      const double* q = q_.data() + static_cast<size_t>(i) * rank_;
      double r = yt_[static_cast<size_t>(i)], d[MaxDims];
      for (int32_t v = 0; v < vary; ++v) r -= h_[v] * f[v];
      for (int32_t j = 0; j < rank_; ++j) r += q[j] * m[j];
      for (int32_t k = 0; k < dims; ++k) {
        d[k] = 0;
        for (int32_t v = 0; v < vary; ++v) d[k] += h_[v] * df[v * MaxDims + free[k]];
      }
      for (int32_t k = 0; k < dims; ++k) {
        if (d[k] == 0) continue;
        g[k] -= r * d[k];
        for (int32_t l = 0; l <= k; ++l) a[k][l] += d[k] * d[l];
        for (int32_t v = 0; v < vary; ++v) ad[k][v] += f[v] * d[k];
        for (int32_t j = 0; j < rank_; ++j) e[k][j] += q[j] * d[k];
      }
    }
    // A'D less its share in the fixed terms' span, then a = D'D - E'E - H' S^-1 H.
    double hd[MaxDims][3];
    for (int32_t k = 0; k < dims; ++k)
      for (int32_t v = 0; v < vary; ++v) {
        hd[k][v] = ad[k][v];
        for (int32_t j = 0; j < rank_; ++j) hd[k][v] -= z_[v][j] * e[k][j];
      }
    for (int32_t k = 0; k < dims; ++k)
      for (int32_t l = 0; l <= k; ++l) {
        double x = a[k][l];
        for (int32_t j = 0; j < rank_; ++j) x -= e[k][j] * e[l][j];
        for (int32_t v = 0; v < vary; ++v)
          for (int32_t w = 0; w < vary; ++w) x -= hd[k][v] * sinv_[v][w] * hd[l][w];
        a[k][l] = a[l][k] = x;
      }
  }

  // The model: the found peak's position within a width of the point, its width 0.4 to 2.5 of the
  // law's, its decay lengths in their bounds; the partner apart from the found peak's centre and
  // within reach of the found point.
  bool InReach(const double* theta, bool partner) const {
    const double x1 = theta[0], w1 = theta[1];
    if (!(std::fabs(x1 - x0_) <= w_ && w1 >= 0.4 * w_ && w1 <= 2.5 * w_)) return false;
    for (int32_t k : {2, 3})
      if (!(theta[k] >= MinDecay * w_ && theta[k] <= MaxDecay * w_)) return false;
    return !partner || (std::fabs(theta[4] - x1) >= 0.6 * w_ && std::fabs(theta[4] - x0_) <= 3.0 * w_);
  }

  // The least squares of the terms with the profiles in peak_.
  double Solve(bool partner) {
    terms_ = fixed_ + 2 + (partner ? 1 : 0);
    // The fixed terms' sums are kept; only the rows of the found peak and the partner are summed.
    const int32_t vary = terms_ - fixed_;
    double rows[3][MaxTerms] = {}, t[MaxTerms];
    std::copy(fixedT_, fixedT_ + fixed_, t);
    std::fill(t + fixed_, t + terms_, 0.0);
    const bool all[3] = {true, true, true};
    Accumulate(peak_.data(), vary, all, rows, t);
    return Solved(partner, rows, t);
  }
  // Adds to rows and t the sums over the window of the varying profiles `profiles`: the rows of
  // the `fresh` ones whole, of the others their products with a fresh one.
  void Accumulate(const double* profiles, int32_t vary, const bool* fresh, double rows[3][MaxTerms],
                  double* t) const {
    for (int32_t c = a_; c <= b_; ++c) {
      const double* fixed = basis_.data() + static_cast<size_t>(c - a_) * fixed_;
      const double* peak = profiles + static_cast<size_t>(c - a_) * 3;
      const double g = weight_[static_cast<size_t>(c - a_)];
      for (int32_t v = 0; v < vary; ++v) {
        // A profile 0 at c (beyond its reach) adds nothing to its row or its products.
        if (peak[v] == 0) continue;
        const double gf = g * peak[v];
        double* row = rows[v];
        if (!fresh[v]) {
          for (int32_t j = 0; j <= v; ++j)
            if (fresh[j]) row[fixed_ + j] += gf * peak[j];
          continue;
        }
        t[fixed_ + v] += gf * sp_.Y[c];
        for (int32_t j = 0; j < fixed_; ++j) row[j] += gf * fixed[j];
        for (int32_t j = 0; j <= v; ++j) row[fixed_ + j] += gf * peak[j];
      }
    }
  }
  // The terms, chi^2 and residuals from the normal equations' varying rows and right-hand side.
  double Solved(bool partner, const double rows[3][MaxTerms], const double* t) {
    const int32_t vary = terms_ - fixed_;
    if (factored_) {
      if (!SolveBySchur(rows, t)) return HUGE_VAL;
    } else {
      double n[MaxTerms][MaxTerms];
      for (int32_t i = 0; i < fixed_; ++i)
        for (int32_t j = 0; j <= i; ++j) n[i][j] = fixedN_[i][j];
      for (int32_t v = 0; v < vary; ++v)
        for (int32_t j = 0; j <= fixed_ + v; ++j) n[fixed_ + v][j] = rows[v][j];
      for (int32_t i = 0; i < terms_; ++i)
        for (int32_t j = i + 1; j < terms_; ++j) n[i][j] = n[j][i];
      if (!Invert(terms_, n)) return HUGE_VAL;
      for (int32_t i = 0; i < terms_; ++i) {
        p_[i] = 0;
        for (int32_t j = 0; j < terms_; ++j) p_[i] += n[i][j] * t[j];
      }
      height_ = partner ? p_[terms_ - 1] : 0.0;
      heightError_ = partner ? std::sqrt(std::max(0.0, n[terms_ - 1][terms_ - 1])) : 0.0;
    }
    double chi2 = 0;
    for (int32_t c = a_; c <= b_; ++c) {
      const size_t k = static_cast<size_t>(c - a_);
      const double* fixed = basis_.data() + k * fixed_;
      const double* peak = peak_.data() + k * 3;
      double model = 0;
      for (int32_t i = 0; i < fixed_; ++i) model += p_[i] * fixed[i];
      for (int32_t i = fixed_; i < terms_; ++i) model += p_[i] * peak[i - fixed_];
      const double r = std::sqrt(weight_[k]) * (sp_.Y[c] - model);
      residual_[k] = r;
      chi2 += r * r;
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
  // The degrees of freedom of the last Evaluate (at least 1).
  int32_t Freedom() const { return std::max(1, b_ - a_ + 1 - rank_ - vary_); }
  // The channels of the window, and the weighted residuals of the last Chi2 over them.
  int32_t Channels() const { return b_ - a_ + 1; }
  const double* Residuals() const { return residual_.data(); }
  // The fitted line of the last Chi2 at c.
  double Line(double c) const { return p_[0] + p_[1] * (c - x0_) / w_; }
  double height_ = 0, heightError_ = 0;

private:
  // The fixed terms' weighted columns orthonormalised (modified Gram-Schmidt; a column that adds
  // less than 1e-12 of its square is dropped), and the weighted counts off their span.
  void Project() {
    const int32_t n = b_ - a_ + 1;
    root_.resize(static_cast<size_t>(n)), yt_.resize(static_cast<size_t>(n));
    prof_.assign(static_cast<size_t>(n) * 3, 0.0), dprof_.assign(static_cast<size_t>(n) * 3 * MaxDims, 0.0);
    gauss_.assign(static_cast<size_t>(n), 0.0), gauss2_.assign(static_cast<size_t>(n), 0.0);
    std::vector<double> columns(static_cast<size_t>(n) * fixed_);
    for (int32_t i = 0; i < n; ++i) {
      root_[static_cast<size_t>(i)] = std::sqrt(weight_[static_cast<size_t>(i)]);
      yt_[static_cast<size_t>(i)] = root_[static_cast<size_t>(i)] * sp_.Y[a_ + i];
    }
    auto orthogonalise = [&](double* v) {
      for (int32_t j = 0; j < rank_; ++j) {
        const double* u = columns.data() + static_cast<size_t>(j) * n;
        double d = 0;
        for (int32_t i = 0; i < n; ++i) d += u[i] * v[i];
        for (int32_t i = 0; i < n; ++i) v[i] -= d * u[i];
      }
    };
    rank_ = 0;
    for (int32_t k = 0; k < fixed_; ++k) {
      double* v = columns.data() + static_cast<size_t>(rank_) * n;
      double before = 0, after = 0;
      for (int32_t i = 0; i < n; ++i) {
        v[i] = root_[static_cast<size_t>(i)] * basis_[static_cast<size_t>(i) * fixed_ + k];
        before += v[i] * v[i];
      }
      orthogonalise(v);
      for (int32_t i = 0; i < n; ++i) after += v[i] * v[i];
      if (!(after > 1e-12 * before)) continue;
      const double scale = 1 / std::sqrt(after);
      for (int32_t i = 0; i < n; ++i) v[i] *= scale;
      ++rank_;
    }
    orthogonalise(yt_.data());
    yy_ = 0;
    for (double y : yt_) yy_ += y * y;
    q_.resize(static_cast<size_t>(n) * rank_);
    for (int32_t i = 0; i < n; ++i)
      for (int32_t j = 0; j < rank_; ++j)
        q_[static_cast<size_t>(i) * rank_ + j] = columns[static_cast<size_t>(j) * n + i];
  }
  // u = L^-1 v over the fixed terms.
  void Forward(const double* v, double* u) const {
    for (int32_t i = 0; i < fixed_; ++i) {
      double x = v[i];
      for (int32_t k = 0; k < i; ++k) x -= factor_[i][k] * u[k];
      u[i] = x / factor_[i][i];
    }
  }
  // The terms from the normal equations n (lower triangle; the fixed block factored) and t: with
  // Z = L^-1 N_fv, the varying terms solve (N_vv - Z'Z) p_v = t_v - Z' L^-1 t_f, then
  // L' p_f = L^-1 t_f - Z p_v. The partner's variance is the last diagonal element of the inverse
  // of N_vv - Z'Z.
  bool SolveBySchur(const double rows[3][MaxTerms], const double* t) {
    const int32_t vary = terms_ - fixed_;
    double z[3][MaxTerms], s[3][3], u[3];
    for (int32_t v = 0; v < vary; ++v) {
      double column[MaxTerms];
      for (int32_t i = 0; i < fixed_; ++i) column[i] = rows[v][i];
      Forward(column, z[v]);
    }
    for (int32_t v = 0; v < vary; ++v) {
      u[v] = t[fixed_ + v];
      for (int32_t i = 0; i < fixed_; ++i) u[v] -= z[v][i] * fixedU_[i];
      for (int32_t w = 0; w <= v; ++w) {
        double x = rows[v][fixed_ + w];
        for (int32_t i = 0; i < fixed_; ++i) x -= z[v][i] * z[w][i];
        s[v][w] = s[w][v] = x;
      }
    }
    double inverse[3][3];
    if (!InvertSmall(vary, s, inverse)) return false;
    for (int32_t v = 0; v < vary; ++v) {
      p_[fixed_ + v] = 0;
      for (int32_t w = 0; w < vary; ++w) p_[fixed_ + v] += inverse[v][w] * u[w];
    }
    double rhs[MaxTerms];
    for (int32_t i = 0; i < fixed_; ++i) {
      rhs[i] = fixedU_[i];
      for (int32_t v = 0; v < vary; ++v) rhs[i] -= z[v][i] * p_[fixed_ + v];
    }
    for (int32_t i = fixed_ - 1; i >= 0; --i) {
      double x = rhs[i];
      for (int32_t k = i + 1; k < fixed_; ++k) x -= factor_[k][i] * p_[k];
      p_[i] = x / factor_[i][i];
    }
    const bool partner = vary == 3;
    height_ = partner ? p_[terms_ - 1] : 0.0;
    heightError_ = partner ? std::sqrt(std::max(0.0, inverse[2][2])) : 0.0;
    return std::all_of(p_, p_ + terms_, [](double v) { return std::isfinite(v); });
  }
  // The line and the other found peaks, then the found peak and the partner.
  void Basis(double c, const double* theta, bool partner, double* f) const {
    FixedBasis(c, f);
    PeakBasis(c, theta, partner, f + fixed_, nullptr);
  }
  void FixedBasis(double c, double* f) const {
    f[0] = 1, f[1] = (c - x0_) / w_;
    int32_t k = 2;
    for (double x : others_) {
      const double w = LawWidth(x);
      // The Gaussian's slope in x takes up a small error of the point's position.
      const double g = Gauss(c - x, w);
      f[k++] = g, f[k++] = Lorentz(c - x, w), f[k++] = g * (c - x) / w;
    }
  }
  // The found peak's and the partner's profiles at c (see PeakProfiles), df their derivatives.
  void PeakBasis(double c, const double* theta, bool partner, double* f, double* df, const double* gauss = nullptr,
                 const double* gauss2 = nullptr) const {
    PeakProfiles(c, theta, partner, w_, partnerWidth_, f, df, gauss, gauss2);
  }
  const TSpectrum& sp_;
  int32_t a_, b_;
  double x0_, w_;
  std::vector<double> others_, weight_, basis_, peak_, residual_;
  // The fast path: the square roots of the weights, the orthonormal weighted fixed terms (rank_ of
  // them a channel), the weighted counts off their span and its square; the profiles and their
  // derivatives of the last Evaluate, its Z, heights and inverse Schur block.
  std::vector<double> root_, q_, yt_, prof_, dprof_, gauss_, gauss2_;
  double yy_ = 0;
  int32_t rank_ = 0, vary_ = 2;
  double partnerWidth_ = 0;  // the partner's law width during an Evaluate
  double z_[3][MaxTerms] = {}, h_[3] = {}, sinv_[3][3] = {};
  int32_t terms_ = 0, fixed_ = 0;
  double fixedT_[MaxTerms] = {}, fixedN_[MaxTerms][MaxTerms] = {};
  double factor_[MaxTerms][MaxTerms] = {}, fixedU_[MaxTerms] = {};
  bool factored_ = false;
  double p_[MaxTerms] = {};
};

// The cheap test before the local fits: the found peak as a Gaussian plus a Lorentzian of one free
// position and width (Gauss-Newton with analytic derivatives), the line and the other found peaks
// as in the local fit; then, for partners of the law's width at positions 0.75 to 2.75 widths on
// one side, the significance of the partner's height in the joint fit linearised about that
// optimum (the partner's profile less its projection onto the single fit's terms and its
// derivatives in position and width). Only where some position reaches ScreenSignificance of
// PartnerSignificance do the simplex fits run. The columns live in buffers kept between calls.
constexpr double ScreenSignificance = 0.7;
constexpr int32_t ScreenPasses = 8;
constexpr double BlendWidth = 1.2;
constexpr double CloseReach = 2.0;

class TScreen {
public:
  // Whether a partner of the found peak x0 (law width w) on `side` may reach significance z.
  bool MayHavePartner(const TSpectrum& sp, int32_t a, int32_t b, bool errorsKnown, double x0, double w,
                      const std::vector<double>& others, int32_t side, double z) {
    // The single fit holds for either side: a call with the window, point, neighbours and counts of
    // the last one takes it from there.
    key_.assign({static_cast<double>(a), static_cast<double>(b), errorsKnown ? 1.0 : 0.0, x0, w});
    key_.insert(key_.end(), others.begin(), others.end());
    for (int32_t c = a; c <= b; ++c) key_.push_back(sp.Y[c]), key_.push_back(errorsKnown ? sp.E[c] : 0.0);
    if (key_ != lastKey_) {
      lastKey_.swap(key_);
      fitted_ = FitSingle(sp, a, b, errorsKnown, x0, w, others);
    }
    if (!fitted_) return true;
    const double x1 = x1_, misfit = misfit_, step = std::max(0.5, w / 10);
    double* k = Column(terms_);
    for (double x = x1 + side * NearReach * w; std::fabs(x - x1) <= FarReach * w; x += side * step) {
      // The partner's Gaussian over the channels within 3 widths of x (beyond, below 2e-11 of its
      // top, as in the local fit), by the recurrence of its ratios from channel to channel.
      const double w2 = LawWidth(x);
      const int32_t lo = std::max(0, static_cast<int32_t>(std::ceil(x - 3 * w2)) - a);
      const int32_t hi = std::min(n_ - 1, static_cast<int32_t>(std::floor(x + 3 * w2)) - a);
      GaussRun(x, w2, a, lo, hi, k);
      double ky = 0, kk = 0;
      for (int32_t i = lo; i <= hi; ++i) {
        k[i] *= root_[static_cast<size_t>(i)];
        ky += k[i] * y_[static_cast<size_t>(i)];
        kk += k[i] * k[i];
      }
      // The projections only lower |k|^2: a partner the residual does not rise to stays insignificant.
      if (!(ky > 0)) continue;
      // |k|^2 less its squared projections onto the orthonormal terms (y_ is orthogonal to them).
      for (int32_t j = 0; j < terms_; ++j) {
        const double* u = Column(j);
        double d = 0;
        for (int32_t i = lo; i <= hi; ++i) d += u[i] * k[i];
        kk -= d * d;
      }
      if (kk > 0 && ky / std::sqrt(kk * misfit) >= ScreenSignificance * z) return true;
    }
    return false;
  }

  // The single peak's position and width the last screen reached (its start where it stopped early).
  double Position() const { return x1_; }
  double Width() const { return w1_; }

private:
  // The single peak's fit; false when it leaves the screen no verdict (a partner may be there).
  bool FitSingle(const TSpectrum& sp, int32_t a, int32_t b, bool errorsKnown, double x0, double w,
                 const std::vector<double>& others) {
    n_ = b - a + 1;
    const int32_t fixed = 2 + 3 * static_cast<int32_t>(others.size());
    q_.resize(static_cast<size_t>(n_) * (fixed + 5));
    y_.resize(static_cast<size_t>(n_)), root_.resize(static_cast<size_t>(n_));
    for (int32_t i = 0; i < n_; ++i) {
      const int32_t c = a + i;
      root_[static_cast<size_t>(i)] = 1 / std::sqrt(ChannelVariance(sp, c, errorsKnown));
      y_[static_cast<size_t>(i)] = sp.Y[c] * root_[static_cast<size_t>(i)];
      double* f = Column(0);
      f[i] = root_[static_cast<size_t>(i)], Column(1)[i] = root_[static_cast<size_t>(i)] * (c - x0) / w;
      int32_t k = 2;
      for (double x : others) {
        const double wo = LawWidth(x), g = Gauss(c - x, wo);
        Column(k++)[i] = root_[static_cast<size_t>(i)] * g;
        Column(k++)[i] = root_[static_cast<size_t>(i)] * Lorentz(c - x, wo);
        Column(k++)[i] = root_[static_cast<size_t>(i)] * g * (c - x) / wo;
      }
    }
    fixed_ = 0;
    for (int32_t k = 0; k < fixed; ++k) fixed_ += Orthonormalise(k, fixed_);
    // The weighted counts off the fixed terms' span, once for every pass.
    projected_.assign(y_.begin(), y_.end());
    for (int32_t m = 0; m < fixed_; ++m) {
      const double* u = Column(m);
      double dot = 0;
      for (int32_t i = 0; i < n_; ++i) dot += u[i] * projected_[static_cast<size_t>(i)];
      for (int32_t i = 0; i < n_; ++i) projected_[static_cast<size_t>(i)] -= dot * u[i];
    }
    // Gauss-Newton on the position and width of the found peak.
    double& x1 = x1_ = x0;
    double& w1 = w1_ = w;
    double coef[4] = {};
    for (int32_t pass = 0; pass < ScreenPasses; ++pass) {
      const bool last = pass == ScreenPasses - 1;
      if (!Single(a, x1, w1, coef, last)) return false;
      if (!(coef[0] != 0 || coef[1] != 0)) return false;
      if (last) break;
      const double dx = std::clamp(coef[2], -0.25 * w, 0.25 * w), dw = std::clamp(coef[3], -0.25 * w, 0.25 * w);
      x1 += dx, w1 = std::clamp(w1 + dw, 0.4 * w, 2.5 * w);
      if (!(std::fabs(x1 - x0) <= w)) return false;
      if (pass > 0 && std::fabs(dx) < 0.01 * w && std::fabs(dw) < 0.01 * w) pass = ScreenPasses - 2;
    }
    // A single peak fitted clearly broader than the law may be a blend that the split start parts.
    if (w1 > BlendWidth * w) return false;
    // The residual of the linearised fit (the data less its projection) and its misfit.
    double chi2 = 0;
    for (int32_t i = 0; i < n_; ++i) chi2 += y_[static_cast<size_t>(i)] * y_[static_cast<size_t>(i)];
    const int32_t freedom = n_ - terms_ - 3;
    if (freedom < 1) return false;
    misfit_ = std::max(1.0, chi2 / freedom);
    return true;
  }
  std::vector<double> key_, lastKey_;
  bool fitted_ = false;
  double misfit_ = 1;
  double* Column(int32_t k) { return q_.data() + static_cast<size_t>(k) * n_; }
  // Removes from column k its projection onto the orthonormal columns 0..k-1.
  void Project(int32_t k) {
    double* v = Column(k);
    for (int32_t j = 0; j < k; ++j) {
      const double* u = Column(j);
      double d = 0;
      for (int32_t i = 0; i < n_; ++i) d += u[i] * v[i];
      for (int32_t i = 0; i < n_; ++i) v[i] -= d * u[i];
    }
  }
  // Orthonormalises column `from` against columns 0..at-1 into column `at`; 0 when it adds nothing.
  int32_t Orthonormalise(int32_t from, int32_t at) {
    if (from != at) std::copy(Column(from), Column(from) + n_, Column(at));
    double before = 0;
    for (int32_t i = 0; i < n_; ++i) before += Column(at)[i] * Column(at)[i];
    Project(at);
    double norm = 0;
    double* v = Column(at);
    for (int32_t i = 0; i < n_; ++i) norm += v[i] * v[i];
    if (!(norm > 1e-20 * before) || !(norm > 0)) return 0;
    const double s = 1 / std::sqrt(norm);
    for (int32_t i = 0; i < n_; ++i) v[i] *= s;
    return 1;
  }
  // The single peak at x1, w1: Gaussian and Lorentzian heights in coef[0..1], the Gauss-Newton
  // steps of position and width in coef[2..3]; y_ left as the residual when `keep`.
  bool Single(int32_t a, double x1, double w1, double* coef, bool keep) {
    // Columns fixed_.. hold G, L, dM/dx1, dM/dw1 (M = coef0 G + coef1 L of the last pass).
    const double g0 = coef[0], l0 = coef[1];
    const bool first = g0 == 0 && l0 == 0;
    std::vector<double>& raw = raw_;
    raw.resize(static_cast<size_t>(4 * n_));
    // The Gaussian by a run within 16 widths (beyond, below 1e-300).
    gauss_.assign(static_cast<size_t>(n_), 0.0);
    const int32_t lo = std::max(0, static_cast<int32_t>(std::ceil(x1 - 16 * w1)) - a);
    const int32_t hi = std::min(n_ - 1, static_cast<int32_t>(std::floor(x1 + 16 * w1)) - a);
    if (lo <= hi) GaussRun(x1, w1, a, lo, hi, gauss_.data());
    for (int32_t i = 0; i < n_; ++i) {
      const double d = a + i - x1, u = d / w1, r = root_[static_cast<size_t>(i)];
      const double g = gauss_[static_cast<size_t>(i)], l = 1 / (1 + 4 * u * u);
      // d/dx1 and d/dw1 of exp(-4 ln2 u^2) and 1 / (1 + 4 u^2), u = (c - x1) / w1.
      const double gx = g * 2 * FourLn2 * u / w1, gw = gx * u, lx = l * l * 8 * u / w1, lw = lx * u;
      raw[static_cast<size_t>(i)] = r * g, raw[static_cast<size_t>(n_ + i)] = r * l;
      raw[static_cast<size_t>(2 * n_ + i)] = r * (g0 * gx + l0 * lx);
      raw[static_cast<size_t>(3 * n_ + i)] = r * (g0 * gw + l0 * lw);
    }
    const int32_t vary = first ? 2 : 4;
    // The heights and steps from the triangular system of the Gram-Schmidt on the varying columns.
    double r[4][4] = {}, t[4] = {};
    int32_t k = fixed_;
    for (int32_t j = 0; j < vary; ++j) {
      double* v = Column(k);
      std::copy(raw.begin() + static_cast<ptrdiff_t>(j) * n_, raw.begin() + static_cast<ptrdiff_t>(j + 1) * n_, v);
      for (int32_t m = 0; m < k; ++m) {
        const double* u = Column(m);
        double dot = 0;
        for (int32_t i = 0; i < n_; ++i) dot += u[i] * v[i];
        if (m >= fixed_) r[m - fixed_][j] = dot;
        for (int32_t i = 0; i < n_; ++i) v[i] -= dot * u[i];
      }
      double norm = 0;
      for (int32_t i = 0; i < n_; ++i) norm += v[i] * v[i];
      if (!(norm > 0)) return false;
      norm = std::sqrt(norm);
      r[j][j] = norm;
      for (int32_t i = 0; i < n_; ++i) v[i] /= norm;
      ++k;
    }
    // t = Q^T y over the varying columns (the fixed ones' share leaves the heights unchanged).
    std::vector<double>& y = work_;
    y.assign(projected_.begin(), projected_.end());
    for (int32_t m = fixed_; m < k; ++m) {
      const double* u = Column(m);
      double dot = 0;
      for (int32_t i = 0; i < n_; ++i) dot += u[i] * y[static_cast<size_t>(i)];
      if (m >= fixed_) t[m - fixed_] = dot;
      for (int32_t i = 0; i < n_; ++i) y[static_cast<size_t>(i)] -= dot * u[i];
    }
    double p[4] = {};
    for (int32_t j = vary - 1; j >= 0; --j) {
      double s = t[j];
      for (int32_t m = j + 1; m < vary; ++m) s -= r[j][m] * p[m];
      p[j] = s / r[j][j];
    }
    if (!std::all_of(p, p + vary, [](double v) { return std::isfinite(v); })) return false;
    if (first) {
      coef[0] = p[0], coef[1] = p[1], coef[2] = coef[3] = 0;
    } else {
      // The derivative columns were scaled by the old heights: their coefficients are the steps.
      coef[0] = p[0], coef[1] = p[1], coef[2] = p[2], coef[3] = p[3];
    }
    terms_ = k;
    if (keep) y_.swap(y);
    return true;
  }

  int32_t n_ = 0, fixed_ = 0, terms_ = 0;
  double x1_ = 0, w1_ = 0;
  std::vector<double> q_, y_, root_, raw_, work_, projected_, gauss_;
};

// The coordinates of theta a minimisation frees: the found peak's position and width, its decay
// lengths, the partner's position.
using TFree = std::initializer_list<int32_t>;
constexpr TFree Symmetric = {0, 1}, Tailed = {0, 1, 2, 3}, SymmetricPair = {0, 1, 4}, TailedPair = {0, 1, 2, 3, 4};

// Levenberg-Marquardt on the weighted residuals of fit (its linear terms solved at each theta) over
// the coordinates `free` of theta (the others held), with the analytic derivatives of Normal;
// theta ends at the best point reached, the result is its chi^2 (and the fit keeps its terms). A
// step that leaves the reach (chi^2 HUGE_VAL) counts as a failed step; a coordinate that a step of
// EdgeStep of `step` down the gradient takes out of the reach is held. A start whose path comes
// within SameStart of `step` of `known` in every free coordinate (the optimum of an earlier start)
// ends there: it would settle where that one did.
constexpr int32_t MaxIterations = 60, MaxDamping = 40;
constexpr double SettledFall = 1e-1;  // chi^2
constexpr double SameStart = 0.2, EdgeStep = 1e-3;

double Minimise(TLocalFit& fit, double* theta, const double* step, TFree free, bool partner,
                const double* known = nullptr) {
  const int32_t dims = static_cast<int32_t>(free.size());
  double chi2 = fit.Evaluate(theta, partner);
  if (!std::isfinite(chi2)) return HUGE_VAL;
  double lambda = 1e-3;
  for (int32_t iteration = 0; iteration < MaxIterations; ++iteration) {
    double a[MaxDims][MaxDims], g[MaxDims];
    fit.Normal(free.begin(), dims, a, g);
    // A coordinate at the edge of the reach whose descent leads out of it is held for this step.
    for (int32_t j = 0; j < dims; ++j) {
      const int32_t k = free.begin()[j];
      double edge[MaxDims];
      std::copy(theta, theta + MaxDims, edge);
      edge[k] -= (g[j] > 0 ? 1 : -1) * EdgeStep * step[k];
      if (fit.InReach(edge, partner)) continue;
      g[j] = 0;
      for (int32_t m = 0; m < dims; ++m) a[j][m] = a[m][j] = 0;
      a[j][j] = 1;
    }
    bool accepted = false;
    double fall = 0;
    for (int32_t damping = 0; damping < MaxDamping && !accepted; ++damping) {
      // (A + lambda diag A) delta = -g by elimination with partial pivots.
      double m[MaxDims][MaxDims + 1] = {};
      for (int32_t j = 0; j < dims; ++j) {
        for (int32_t k = 0; k < dims; ++k) m[j][k] = a[j][k];
        m[j][j] += lambda * (a[j][j] > 0 ? a[j][j] : 1.0);
        m[j][dims] = -g[j];
      }
      double delta[MaxDims], trial[MaxDims];
      const bool solved = SolvePivoted(dims, m, delta);
      std::copy(theta, theta + MaxDims, trial);
      for (int32_t j = 0; j < dims && solved; ++j) trial[free.begin()[j]] = theta[free.begin()[j]] + delta[j];
      const double c = solved ? fit.Evaluate(trial, partner) : HUGE_VAL;
      if (c < chi2) {
        accepted = true, fall = chi2 - c, chi2 = c;
        std::copy(trial, trial + MaxDims, theta);
        lambda = std::max(lambda / 3, 1e-9);
      } else {
        lambda *= 4;
      }
    }
    if (!accepted || fall < SettledFall * std::max(1.0, chi2 / fit.Freedom())) break;
    if (known && std::all_of(free.begin(), free.end(),
                             [&](int32_t k) { return std::fabs(theta[k] - known[k]) <= SameStart * step[k]; }))
      break;
  }
  return fit.Chi2(theta, partner);  // leaves the terms of the best point
}

// Whether chi^2 falls by `need` from the found peak with free tails alone to that with the partner
// as well, both started from the symmetric fits `single` and `pair` (chi^2 chi2Pair); w the law's
// width. The tailed pair holds the symmetric one, so a fall from the tailed single to chi2Pair
// that reaches `need` decides without the tailed pair's fits.
bool FallOverTailsReaches(TLocalFit& fit, const double* single, const double* pair, double chi2Pair,
                          const double* step, double w, int32_t side, double need) {
  // The single peak from a few starts (decay lengths in widths below and above; the Gaussian's
  // centre moved against the longer tail), the best of them minimised once more.
  double tailed[MaxDims], chi2Tailed = HUGE_VAL;
  for (const auto& [rise, decay] : {std::pair{MinDecay, MinDecay}, {MinDecay, 0.7}, {0.7, MinDecay}, {MinDecay, 2.0},
                                    {2.0, MinDecay}}) {
    double trial[MaxDims] = {single[0] - 0.4 * (decay - rise) * w, 0.8 * single[1], rise * w, decay * w, 0};
    const double c = Minimise(fit, trial, step, Tailed, false, std::isfinite(chi2Tailed) ? tailed : nullptr);
    if (c < chi2Tailed) chi2Tailed = c, std::copy(trial, trial + MaxDims, tailed);
  }
  chi2Tailed = Minimise(fit, tailed, step, Tailed, false);
  if (chi2Tailed - chi2Pair >= need) return true;
  // The pair from the symmetric pair, from the tailed single (the partner kept off its centre, so
  // that the start is no worse than the tailed single), and from its tails at the pair's centre.
  const double x2 = pair[4], apart = tailed[0] + side * std::max((x2 - tailed[0]) * side, 0.7 * w);
  const double starts[3][MaxDims] = {{pair[0], pair[1], pair[2], pair[3], x2},
                                     {tailed[0], tailed[1], tailed[2], tailed[3], apart},
                                     {pair[0], pair[1], tailed[2], tailed[3], x2}};
  double chi2 = HUGE_VAL, best[MaxDims];
  for (const auto& from : starts) {
    double trial[MaxDims];
    std::copy(from, from + MaxDims, trial);
    const double c = Minimise(fit, trial, step, TailedPair, true, std::isfinite(chi2) ? best : nullptr);
    if (c < chi2) chi2 = c, std::copy(trial, trial + MaxDims, best);
    if (chi2Tailed - chi2 >= need) return true;
  }
  return false;
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
  // A neighbour in the partner's reach closer than CloseReach widths biases both points: the joint
  // fit places them. Elsewhere the screen (with that neighbour as one of the others) decides whether
  // an excess beside the found peak calls for the local fits.
  static TScreen screen;
  static std::vector<double> screened;
  screened.assign(others.begin(), others.end());
  if (inReach == 1) screened.push_back(MarkedPoints[reachIndex]);
  const bool close = inReach == 1 && std::fabs(MarkedPoints[reachIndex] - x0) < CloseReach * w;
  if (!close && !screen.MayHavePartner(sp, a, b, errorsKnown, x0, w, screened, side,
                                       PartnerSignificance * std::max(1.0, PeakSensitivity)))
    return;
  TLocalFit fit(sp, a, b, errorsKnown, x0, w, others);
  // The single fit starts where the screen's settled (the same model), else at the point.
  double single[MaxDims] = {x0, w, MinDecay * w, MinDecay * w, 0};
  if (!close) single[0] = screen.Position(), single[1] = screen.Width();
  if (!fit.InReach(single, false)) single[0] = x0, single[1] = w;
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
  // The law's width is a start of its own only where the single peak's differs from it by a tenth,
  // the split only where the single peak is broader than a blend would leave it.
  const bool tried[3] = {true, std::fabs(single[1] - w) > 0.1 * w, single[1] > BlendWidth * w};
  double pair[MaxDims], chi2 = HUGE_VAL;
  for (int32_t k = 0; k < 3; ++k) {
    if (!tried[k]) continue;
    const double* from = starts[k];
    double trial[MaxDims];
    std::copy(from, from + MaxDims, trial);
    const double c = Minimise(fit, trial, step, SymmetricPair, true, std::isfinite(chi2) ? pair : nullptr);
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
  // The exponential tails of a time-of-flight peak are no partner: a new partner must lower chi^2
  // as well from the single peak with its tails free (a neighbour already found is only placed).
  const double zt = TailSignificance * std::max(1.0, PeakSensitivity);
  if (inReach == 0 && !FallOverTailsReaches(fit, single, pair, chi2, step, w, side, zt * zt * misfit)) return;
  MarkedPoints[i0] = pair[0];
  const int32_t k = inReach == 1 ? reachIndex : ++MarkedPointCount;
  MarkedPoints[k] = x2;
  PeakHeights[k] = sp.Y[c2];
}
}  // namespace

bool PartnerScreenPasses(const TSpectrum& sp, int32_t a, int32_t b, bool errorsKnown, double x0, double w,
                         const std::vector<double>& others, int32_t side) {
  static TScreen screen;
  return screen.MayHavePartner(sp, a, b, errorsKnown, x0, w, others, side,
                               PartnerSignificance * std::max(1.0, PeakSensitivity));
}

void AddHiddenPartners(const TSpectrum& sp, bool errorsKnown) {
  const int32_t found = MarkedPointCount;
  for (int32_t i = 1; i <= found && MarkedPointCount < PeakSearchPointLimit; ++i)
    for (int32_t side : {-1, 1}) PartnerOnSide(sp, errorsKnown, i, side);
}

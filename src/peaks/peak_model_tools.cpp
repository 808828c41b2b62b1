// The computations of the peak-model tools: the Pseudo-Voigt profile and its random fit, the
// copy of models, the background-model table, the transform arithmetic and the smoothing step.
#include "peaks/peak_model_tools.h"
#include <algorithm>
#include <cmath>
#include "core/array_tools.h"
#include "core/interpolation.h"
#include "core/line_fits.h"
#include "core/local_analysis.h"
#include "core/neighbour_services.h"
#include "core/numeric_arrays.h"
#include "core/random.h"
#include "core/smoothers.h"
#include "core/spectrum.h"
#include "core/toolbox.h"

double SmoothingParameter = 1.0;
TPseudoVoigtParameters PseudoVoigtParameters;
int32_t PseudoVoigtMetric = 0;

namespace {
constexpr int32_t N = PeakModelPoints;
// Interpolation tables of the tools (ordinates, then abscissae).
double ToolTable[2 * MaxChannels + 2];
double TrialProfile[N + 1];
}  // namespace

TPeakModel& ToolModel(int32_t k) { return *PeakModels[static_cast<size_t>(std::clamp(k, 0, 6) + 1)]; }

void PseudoVoigtProfile(const TPseudoVoigt& v, double* total, double* gauss, double* lorentz) {
  const double kMinus = std::fmax(1.0 - v.asymmetry, 0.1), kPlus = std::fmax(1.0 + v.asymmetry, 0.1);
  for (int32_t i = 1; i <= N; ++i) {
    const double kg = i > v.CG ? kPlus : kMinus, kl = i > v.CL ? kPlus : kMinus;
    const double ug = (v.CG - i) / (v.WG * kg), ul = (v.CL - i) / (v.WL * kl);
    const double g = v.AG * std::exp(-ug * ug), l = v.AL / (ul * ul + 1.0);
    total[i] = g + l;
    if (gauss) gauss[i] = g;
    if (lorentz) lorentz[i] = l;
  }
}

void FormPseudoVoigtModel(TPeakModel& model, const double* profile) {
  model.HalfPoints = PeakModelHalfPoints;
  std::copy(profile + 1, profile + N + 1, PeakModelTable + 1);
  model.CentreShape(N);
  model.TaperTails();
  model.AnalyseShape();
}

double ComponentCriterion(const double* F, const double* D, int32_t metric) {
  double c = 0.0;
  for (int32_t i = 1; i <= N; ++i) {
    if (F[i] == 0.0) continue;
    const double d = F[i] - D[i];
    if (metric == 2)
      c += d * d / F[i];
    else if (metric == 1)
      c += std::fabs(d) / std::sqrt(std::fabs(F[i]));
    else
      c = std::fmax(c, std::fabs(d) / std::sqrt(std::fabs(F[i])));
  }
  return c;
}

std::string PseudoVoigtRefusal(const TPseudoVoigt& v) {
  for (double x : {v.AG, v.AL, v.WG, v.WL, v.CG, v.CL, v.asymmetry})
    if (!std::isfinite(x)) return "Wrong number";
  if (!(v.WG > 0.0) || !(v.WL > 0.0)) return "Widths WG, WL must be positive";
  if (v.AG < 0.0 || v.AL < 0.0) return "Amplitudes AG, AL must not be negative";
  return "";
}

void FitComponentsRandom(const double* data) {
  TPseudoVoigtParameters& p = PseudoVoigtParameters;
  for (int32_t trial = 1; trial <= 4000; ++trial) {
    PseudoVoigtProfile(p.values, TrialProfile, nullptr, nullptr);
    const double c = ComponentCriterion(TrialProfile, data, PseudoVoigtMetric);
    if (c < p.bestCriterion) {
      p.bestCriterion = c;
      p.best = p.values;
    }
    const double r = Random01();
    p.values.AG = 700.0 * r;
    p.values.AL = 700.0 - p.values.AG;
    p.values.WG = 24.0 * Random01() + 10.0;
    p.values.WL = 10.0 * Random01() + 5.0;
    p.values.asymmetry = 0.5 * Random01();
  }
  p.values = p.best;
}

bool ComponentDataCurve(const TSpectrum& spectrum, double a1, double a2, const double* profile, double* data) {
  std::fill(data + 1, data + N + 1, 0.0);
  if (!(std::fabs(a2 - a1) >= 10.0)) return false;
  const double lo = std::fmin(a1, a2), hi = std::fmax(a1, a2);
  const int32_t first = RoundHalfEven(std::fmax(lo, 1.0)), last = RoundHalfEven(std::fmin(hi, MaxChannels));
  const int32_t n = last - first + 1;
  if (n < 3 || 2 * n > ScratchSize) return false;
  for (int32_t k = 1; k <= n; ++k) ScratchArray1[k] = spectrum.Y[first + k - 1];
  SmoothingFilter(n, 0, 0, 6.0, 1);
  for (int32_t k = 1; k <= n; ++k) {
    ToolTable[k] = ScratchArray1[k] - ScratchArray2[k];
    ToolTable[n + k] = first + k - 1;
  }
  double* curve = TrialProfile;
  for (int32_t i = 1; i <= N; ++i)
    InterpolateTable(ToolTable, 2 * n, n, curve[i], first + (i - 1) * (last - first) / double(N - 1));
  int32_t dataTop = 1, profileTop = 1;
  for (int32_t i = 2; i <= N; ++i) {
    if (curve[i] > curve[dataTop]) dataTop = i;
    if (profile[i] > profile[profileTop]) profileTop = i;
  }
  const double top = curve[dataTop];
  const double scale = top != 0.0 ? profile[PeakModelCentre] / top : 0.0;
  for (int32_t i = 1; i <= N; ++i) {
    const int32_t source = i - profileTop + dataTop;
    data[i] = source >= 1 && source <= N ? curve[source] * scale : 0.0;
  }
  return true;
}

void CopyPeakModel(int32_t from, int32_t to) {
  if (from == to) return;
  ToolModel(to) = ToolModel(from);
}

std::string BackgroundModelData(const TSpectrum& spectrum, int32_t& n) {
  n = 0;
  const int32_t count = std::clamp(MarkedPointCount, 0, MarkedPointCapacity);
  if (count < 1) return "Error, no clicked points";
  double* x = ToolTable + 2 * MarkedPointCapacity + 2;  // the points behind the table's room
  int32_t k = 0;
  for (int32_t i = 1; i <= count; ++i)
    if (std::isfinite(MarkedPoints[i])) x[++k] = MarkedPoints[i];
  SortUnique(x, MarkedPointCapacity, k, 1);
  // Points of one channel count once; channels outside the spectrum are dropped.
  int32_t m = 0;
  for (int32_t i = 1; i <= k; ++i) {
    const double c = x[i];
    if (c < 1.0 || c > MaxChannels) continue;
    if (m > 0 && RoundHalfEven(c) == RoundHalfEven(x[m])) continue;
    x[++m] = c;
  }
  if (m < 2) return "At least two distinct points are needed";
  const int32_t first = RoundHalfEven(x[1]), last = RoundHalfEven(x[m]);
  n = last - first + 1;
  if (n > ScratchSize) {
    n = 0;
    return "Too long interval between the points";
  }
  for (int32_t i = 1; i <= m; ++i) {
    ToolTable[i] = spectrum.Y[RoundHalfEven(x[i])];
    ToolTable[m + i] = x[i];
  }
  for (int32_t c = first; c <= last; ++c) InterpolateTable(ToolTable, 2 * m, m, ScratchArray1[c - first + 1], c);
  return "";
}

void TransformMix(const double* counts, double* fitted, int32_t n, int32_t& dataPeak, int32_t& fitPeak) {
  dataPeak = fitPeak = 1;
  for (int32_t i = 2; i <= n; ++i) {
    if (counts[i] > counts[dataPeak]) dataPeak = i;
    if (fitted[i] > fitted[fitPeak]) fitPeak = i;
  }
  const int32_t shift = dataPeak - fitPeak;
  double* shifted = ScratchArray1;
  for (int32_t i = 1; i <= n; ++i) shifted[i] = fitted[std::clamp(i - shift, 1, n)];
  for (int32_t i = 1; i <= n; ++i) ScratchArray1[i] = 0.5 * counts[i] + 0.25 * shifted[i];
}

void RemoveEndLine(double* curve, int32_t n, bool oneSigned) {
  double x0 = 0.0, slope = 0.0, level = 0.0;
  FitLineToSideRanges(curve, n, 1, x0, slope, level, MinI(3, n), MaxI(1, n - 2), n);
  for (int32_t i = 1; i <= n; ++i) {
    curve[i] -= level + slope * (i - x0);
    if (oneSigned && curve[i] < 0.0) curve[i] = 0.0;
  }
}

void SmoothModelData(int32_t n, double s) {
  double fit = 0.0, roughness = 0.0;
  SmoothArray(n, 0, fit, roughness, 1.0 / s);
}

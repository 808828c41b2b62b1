// The Fitra parameter arrays and the peak lists they are built from.
#include "peaks/fitra_arrays.h"
#include <algorithm>
#include <cmath>
#include <numeric>
#include <vector>
#include "core/model_tables.h"
#include "core/neighbour_services.h"
#include "core/parameter_layout.h"
#include "core/small_routines.h"
#include "core/spectra_utilities.h"
#include "core/spectrum.h"
#include "crystal/peak_fit_models.h"
#include "peaks/fitra_state.h"
#include "peaks/peak_search.h"

namespace {

constexpr double Unbounded = 1e12;

int32_t Round(double x) { return RoundHalfEven(std::clamp(x, -2.0e9, 2.0e9)); }

int32_t ModelOf(int32_t i) { return i >= 1 && i <= MarkedPointModelCount ? MarkedPointModels[i] : 1; }

void Set(ParameterRecord& r, double lower, double value, double upper) {
  r.lower = lower;
  r.value = value;
  r.upper = upper;
}

void Fix(ParameterRecord& r, double value) { Set(r, value, value, value); }

// The count at channel c, 0 outside the channel arrays.
double CountAt(const TSpectrum& sp, double x) {
  const int32_t c = Round(x);
  return c >= 1 && c <= MaxChannels ? sp.Y[c] : 0.0;
}

// The start amplitude of a peak at a channel of count y, at least 10 count units u, and its lower
// bound, half the standard deviation of that start: sqrt(max(10, y)) / 2 for Poisson counts.
void SetAmplitude(ParameterRecord& r, double y, double u, double floorCounts, double upper) {
  const double start = std::max(floorCounts * u, y);
  Set(r, std::sqrt(std::max(u * start, 0.0)) / 2, start, upper);
}

}  // namespace

double CountUnit(const TSpectrum& sp, int32_t first, int32_t last) {
  std::vector<double> ratio;
  ratio.reserve(static_cast<size_t>(std::max(0, last - first + 1)));
  for (int32_t c = std::max(first, 1); c <= std::min(last, MaxChannels); ++c)
    if (sp.Y[c] > 0 && sp.E[c] > 0 && std::isfinite(sp.E[c] * sp.E[c] / sp.Y[c]))
      ratio.push_back(sp.E[c] * sp.E[c] / sp.Y[c]);
  if (ratio.empty()) return 1.0;
  const auto middle = ratio.begin() + static_cast<std::ptrdiff_t>(ratio.size() / 2);
  std::nth_element(ratio.begin(), middle, ratio.end());
  return *middle > 0 ? *middle : 1.0;
}

void TidyMarkedPoints(int32_t first, int32_t last) {
  const int32_t n = std::clamp(MarkedPointCount, 0, std::min(MarkedPointCapacity, MarkedPointModelCount));
  double* x = MarkedPoints;
  int32_t* m = MarkedPointModels;
  for (int32_t pass = 1; pass < n; ++pass)
    for (int32_t i = 1; i <= n - pass; ++i)
      if (x[i] >= x[i + 1]) {
        std::swap(x[i], x[i + 1]);
        std::swap(m[i], m[i + 1]);
      }
  for (int32_t i = 1; i < n; ++i)
    if (x[i] == x[i + 1]) x[i] = -1;
  int32_t kept = 0;
  for (int32_t i = 1; i <= n; ++i)
    if (x[i] >= first && x[i] <= last) {
      ++kept;
      x[kept] = x[i];
      m[kept] = m[i];
    }
  MarkedPointCount = kept;
}

void NeighbourBounds(double a1, double a2, ParameterRecord& p1, ParameterRecord& p2) {
  const double d = 2.0 / std::sqrt(std::max(0.5, a1 + a2));
  const double mid = (p1.value + p2.value) / 2;
  if (2 * d <= std::fabs(p2.value - p1.value)) {
    if (p1.upper > p2.lower) {
      p1.upper = mid - d;
      p2.lower = mid + d;
    }
  } else {
    p1.upper = p1.value;
    p2.lower = p2.value;
  }
}

void ResetFitraRecord(ParameterRecord& r) {
  std::string name = std::move(r.Name);
  r = ParameterRecord{};
  r.Name = std::move(name);
  r.a = 1;
  Set(r, -Unbounded, 0, Unbounded);
}

int32_t BuildPeakArray(const TSpectrum& sp) {
  int32_t count = 0;
  CountParameters(count, FitraMode);
  count = std::clamp(count, 0, MaxParameters);
  for (int32_t i = 1; i <= count; ++i) {
    ResetFitraRecord(parar[i]);
    parar[i].n = i;
  }
  BackgroundToParameters(1);
  const int32_t n = std::clamp(MarkedPointCount, 0, MarkedPointCapacity);
  int32_t first = 1, last = 1;
  WorkingRange(sp, first, last);
  const bool perPeak = WidthMode == -1;
  const int32_t needed = 6 + (perPeak ? 3 * n : 2 * n + 12) + (M2Mode ? 2 : 0);
  if (needed > count) return count;  // the count was cut at MaxParameters (reported there)
  // Amplitudes and the neighbour bounds in the spectrum's count units, so that the array of a
  // spectrum scaled by any factor is the same array with its amplitudes scaled.
  const double unit = CountUnit(sp, first, last);
  for (int32_t i = 1; i <= n; ++i) {
    const int32_t m = std::clamp(ModelOf(i), 1, 6);
    SetAmplitude(parar[AmplitudeRecord(n, i)], CountAt(sp, MarkedPoints[i]), unit, 10.0, Unbounded);
    const double x = MarkedPoints[i];
    Set(parar[PositionRecord(n, i)], x - DeltaPosition[m], x, x + DeltaPosition[m]);
  }
  // The dialog's widths at the beginning and the end of the range as the law of the model.
  const TWidthLaw law = WidthLawThrough(sp.W0, sp.W1);
  double lower = 0, upper = 0;
  if (perPeak) {
    // Each peak starts at the law's width at its own position.
    for (int32_t i = 1; i <= n; ++i) {
      const double w = law.At(NormalisedAbscissa(MarkedPoints[i], first, last));
      WidthBounds(w, DeltaW0[1], lower, upper);
      Set(parar[WidthW0Record(n, i)], lower, w, upper);
    }
  } else {
    for (int32_t j = 1; j <= 6; ++j) {
      if (j > UsedPeakModelCount) {
        Fix(parar[WidthW0Record(n, j)], 0);
        Fix(parar[WidthW1Record(n, j)], 0);
        continue;
      }
      WidthBounds(law.w0, DeltaW0[j], lower, upper);
      Set(parar[WidthW0Record(n, j)], lower, law.w0, upper);
      Set(parar[WidthW1Record(n, j)], law.w1 - DeltaW1[j], law.w1, law.w1 + DeltaW1[j]);
    }
  }
  if (M2Mode) {
    const int32_t k = PeakFitM2Record();
    if (k >= 1 && k + 1 <= count)
      for (int32_t j = k; j <= k + 1; ++j) Set(parar[j], -1e15, 0, 1e15);
  }
  for (int32_t i = 1; i < n; ++i)
    NeighbourBounds(parar[AmplitudeRecord(n, i)].value / unit, parar[AmplitudeRecord(n, i + 1)].value / unit,
                    parar[PositionRecord(n, i)], parar[PositionRecord(n, i + 1)]);
  return count;
}

int32_t ProposedExpPosition(const TSpectrum& sp) {
  int32_t first = 1, last = 1;
  WorkingRange(sp, first, last);
  int32_t best = first;
  double top = 0;
  for (int32_t c = first; c <= std::min(first + 30, MaxChannels); ++c)
    if (sp.Y[c] > top) top = sp.Y[c], best = c;
  return best;
}

std::string BuildExponentialArray(const TSpectrum& sp, int32_t E, bool constantBackground) {
  E = std::clamp(E, 1, MaxExponentials);
  for (int32_t k = 1; k <= E; ++k) {
    const int32_t c = Round(ExpPositions[k]);
    const bool inside = c >= std::max(1, sp.FirstChannel) && c <= std::min(MaxChannels, sp.LastChannel);
    if (!std::isfinite(ExpPositions[k]) || !inside)
      return "Position of exponential " + std::to_string(k) + " outside the spectrum";
  }
  const int32_t count = 2 * E + 18;
  for (int32_t i = 1; i <= count; ++i) {
    ResetFitraRecord(parar[i]);
    parar[i].n = i;
  }
  for (int32_t j = 1; j <= 6; ++j) Fix(parar[j], 0);
  if (constantBackground) Set(parar[1], 0, 0, Unbounded);
  int32_t first = 1, last = 1;
  WorkingRange(sp, first, last);
  const double unit = CountUnit(sp, first, last);
  for (int32_t k = 1; k <= E; ++k) {
    // Background-subtracted data may hold no counts at the start: keep the start at 1 count unit
    // or above.
    SetAmplitude(parar[AmplitudeRecord(E, k)], CountAt(sp, ExpPositions[k]), unit, 1.0, Unbounded);
    Fix(parar[PositionRecord(E, k)], ExpPositions[k]);
  }
  for (int32_t j = 1; j <= 6; ++j) {
    Fix(parar[WidthW1Record(E, j)], 0);
    if (j > E) {
      Fix(parar[WidthW0Record(E, j)], 0);
      continue;
    }
    const double w = DeltaPosition[j];
    Set(parar[WidthW0Record(E, j)], std::max(1.0, w - DeltaW0[j]), w, w + DeltaW0[j]);
  }
  return "";
}

std::string ApplySearchControls(TSpectrum& sp, TSearchControls c, bool& stop) {
  stop = true;
  if (c.b > 0 && c.e <= 0) c.e = c.b;
  if (!(c.b > 0) || !(c.e > 0)) return "Erroneous width";
  sp.W0 = c.b;
  sp.W1 = c.e;
  if (!(c.a > 0)) return "Erroneous width accuracy";
  sp.Dw0 = c.a;
  if (!(c.s > 0)) return "Erroneous sensitivity";
  PeakSensitivity = c.s;
  PeakResolution = c.r > 0 ? c.r : 1.0;
  SmallStatistics = c.t;
  stop = false;
  const double m = std::isfinite(c.m) ? std::clamp(c.m, -1e9, 1e9) : 0.0;
  const int32_t k = Round(m);
  // A maximum below 1 would empty the search's cut: the previous maximum stays.
  if (k >= 1) MaxPeakCount = k;
  return k >= 1 && k <= 300 ? "" : "Wrong max peak N";
}

int32_t FormPeaksFromReflections(TSpectrum& sp, int32_t first, int32_t last) {
  struct Peak {
    double x;
    int32_t model;
  };
  std::vector<Peak> peaks;
  for (int32_t p = 1; p <= std::clamp(PhaseCount, 0, MaxPhases); ++p)
    for (int32_t j = 1; j <= std::clamp(PhaseTable[p].ReflectionCount, 0, MaxReflections); ++j) {
      const double d = HklTable[j][p].d;
      if (!(d > 0)) continue;  // unset reflections and the -777 marks of dropped equivalents
      const double x = sp.DToChannel(d);
      if (!std::isfinite(x)) continue;
      const int32_t c = Round(x);
      if (c >= first && c <= last) peaks.push_back({x, p});
    }
  std::stable_sort(peaks.begin(), peaks.end(), [](const Peak& a, const Peak& b) { return a.x < b.x; });
  for (size_t i = 0; i + 1 < peaks.size(); ++i)
    if (std::fabs(peaks[i + 1].x - peaks[i].x) <= 1.0) {
      peaks[i + 1].x = (peaks[i].x + peaks[i + 1].x) / 2;
      peaks[i].x = 0;
    }
  std::erase_if(peaks, [](const Peak& q) { return q.x == 0; });
  const int32_t capacity = std::min(MarkedPointCapacity, MarkedPointModelCount);
  const int32_t n = std::min(static_cast<int32_t>(peaks.size()), capacity);
  for (int32_t i = 1; i <= n; ++i) {
    MarkedPoints[i] = peaks[static_cast<size_t>(i - 1)].x;
    MarkedPointModels[i] = peaks[static_cast<size_t>(i - 1)].model;
  }
  MarkedPointCount = n;
  return static_cast<int32_t>(peaks.size()) - n;
}

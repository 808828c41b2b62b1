// FindPeaks: the walk over the sections of the interval, the cleaning of each section before
// its tests, and the final assembly of the found channels with their heights.
#include <algorithm>
#include <cmath>
#include <string>
#include <utility>
#include <vector>
#include "core/array_tools.h"
#include "core/local_analysis.h"
#include "core/numeric_arrays.h"
#include "core/spectrum.h"
#include "core/text_file.h"
#include "core/toolbox.h"
#include "crystal/model_options.h"
#include "peaks/peak_search.h"

double PeakHeights[MarkedPointCapacity + 1];
double PeakWidthSlope = 0.0, PeakWidthIntercept = 0.0;
int32_t PeakSearchFirst = 0, PeakSearchLast = 0, PeakSearchCount = 0;
int32_t PeakSearchFirstChannel = 0, PeakSearchLastChannel = 0;
double PeakSearchCompression = 1.0;

namespace {
bool Protocolling() { return OptionFlags[5] != 0; }

int32_t Round(double x) { return RoundHalfEven(std::clamp(x, -2.0e9, 2.0e9)); }

// Steps 3 to 15 on the section PeakSearchFirst..PeakSearchLast; false when the gate refuses it.
bool SearchSection(TPeakSection& s, const TSpectrum& spectrum, int32_t L) {
  double* y = ScratchArray1;
  int32_t m = PeakSearchLast - PeakSearchFirst + 1;
  for (int32_t c = PeakSearchFirst; c <= PeakSearchLast; ++c)
    y[c - PeakSearchFirst + 1] = std::fmax(0.0, spectrum.Y[c] + 1e-6 * c);
  // Cut at the lowest point of the last third, so that the next section starts in a valley.
  const int32_t third = 2 * (L / 3) + 1;
  if (third < m) {
    int32_t imin, imax;
    double lo, hi;
    MinMaxOfRange(y, ScratchSize, third, imin, imax, lo, hi, m);
    PeakSearchLast = PeakSearchLast - m + imin;
    m = PeakSearchLast - PeakSearchFirst + 1;
  }
  PeakSearchCount = m;
  s.n = 0;
  s.m = m;
  if (s.f > 1.0) {
    int32_t mc = 0;
    RebinArray(m, mc, s.f);
    if (mc < 3) return false;
    std::copy(ScratchArray2 + 1, ScratchArray2 + mc + 1, y + 1);
    m = mc;
    y[1] = y[2];
    y[m] = y[m - 1];
    s.m = m;
  }
  if (m < 3) return false;

  int32_t imin, imax;
  double ymin, ymax;
  MinMaxOfRange(y, ScratchSize, 1, imin, imax, ymin, ymax, m);
  imax = std::clamp(imax, 2, m - 1);
  s.rawMax = ymax;
  if (!(std::fabs(y[imax - 1] + y[imax] + y[imax + 1] - 3.0 * ymin) >=
        3.0 * std::sqrt(std::fabs(3.0 * ymin + 1.0)) * s.sensitivity))
    return false;

  // Poor counts: neighbours paired in place.
  if (ymax <= 5.0 * SmallStatistics) {
    for (int32_t i = 1; i <= m - 1; ++i) y[i] += y[i + 1];
    y[m] += y[m - 1];
    ymax = std::fmax(ymax + y[imax + 1], ymax + y[imax - 1]);
  }
  // Counts above 10000 are scaled down; their noise stays that of the counts, scale sqrt(y / scale).
  double scale = 1.0;
  if (ymax > 10000.0) {
    scale = 10000.0 / std::fmax(1.0, ymax);
    for (int32_t i = 1; i <= m; ++i) y[i] *= scale;
  }
  for (int32_t pass = 1; pass <= 3; ++pass) {
    double slope, curvature;
    for (int32_t i = 1; i <= m; ++i) LocalDerivativesOf(y, m, i, ScratchArray2[i], slope, curvature);
    for (int32_t i = 1; i <= m; ++i) y[i] = std::fmax(0.0, ScratchArray2[i]);
  }
  double* e = TPeakSection::Errors();
  for (int32_t i = 1; i <= m; ++i) e[i] = std::sqrt(scale * (std::fabs(y[i]) + scale));
  const double ws = s.MiddleWidth();
  SmoothingFilter(m, 0, 0, ws, 1);
  for (int32_t i = 1; i <= m; ++i) y[i] = std::fmax(0.0, y[i] - ScratchArray2[i]);

  MinMaxOfRange(y, ScratchSize, 1, imin, imax, ymin, ymax, m);
  s.sectionMax = ymax;
  s.QuasiCurvatureTest(ws);
  if (s.n > 0) {
    s.DeleteWeakPeaks(1.0, ws);
    if (s.sectionMax >= 100.0) {
      s.CalibrateWidths();
      if (s.n > 0) {
        s.AddHiddenPeaks(1.0);
        s.MergeClosePeaks(ws);
      }
    }
  }
  return true;
}

// Step 3 of the final assembly: the lowest heights go first, the first of equal heights first.
void CutToMaxPeakCount() {
  const int32_t excess = MarkedPointCount - MaxI(MaxPeakCount, 0);
  for (int32_t r = 1; r <= excess; ++r) {
    double best = 1e12;
    int32_t k = 0;
    for (int32_t i = 1; i <= MarkedPointCount; ++i)
      if (MarkedPoints[i] != 0.0 && PeakHeights[i] < best) {
        best = PeakHeights[i];
        k = i;
      }
    if (k == 0) break;
    MarkedPoints[k] = 0.0;
  }
  // Points and heights stay parallel.
  int32_t kept = 0;
  for (int32_t i = 1; i <= MarkedPointCount; ++i)
    if (MarkedPoints[i] != 0.0) {
      ++kept;
      MarkedPoints[kept] = MarkedPoints[i];
      PeakHeights[kept] = PeakHeights[i];
    }
  MarkedPointCount = kept;
}

void Append(double x, double height) {
  ++MarkedPointCount;
  MarkedPoints[MarkedPointCount] = x;
  PeakHeights[MarkedPointCount] = height;
}

void ProtocolStatistics(double x, const TPeakStatistics& t, const TCurvature& q, bool peak) {
  if (Protocolling() && t.judged)
    LogLine("Stat" + FormatNumber(10, 2, x) + FormatNumber(10, 1, t.background) + FormatNumber(10, 1, t.height) +
            FormatNumber(9, 1, t.heightError) + FormatNumber(9, 1, t.countError) + FormatNumber(9, 1, q.value) +
            FormatNumber(9, 1, q.error) + (peak ? "  peak" : "  noise"));
}

// A proposed point x (a channel) climbs to the top of its peak on the counts, is centred there
// and is appended (with the largest count near the top as its height) when its counting
// statistics make it a peak and the counts curve down there. A point from the curvature scan
// whose climb leaves it (a shoulder beside a stronger peak, no top of its own) is appended where
// it is when its curvature is significant. A point with no top is dropped.
void AppendIfSignificant(const TSpectrum& spectrum, double x, bool errorsKnown, bool fromCurvature) {
  const double w = std::max(1.0, PeakWidthIntercept + PeakWidthSlope * x);
  const int32_t first = PeakSearchFirstChannel, last = PeakSearchLastChannel;
  // The climb over the background's slope under the point, then under the top it reached.
  double top = ClimbToMaximum(spectrum, first, last, x, w, PeakStatistics(spectrum, first, last, errorsKnown, x, w).backgroundSlope);
  if (std::isfinite(top))
    top = ClimbToMaximum(spectrum, first, last, top, w, PeakStatistics(spectrum, first, last, errorsKnown, top, w).backgroundSlope);
  if (fromCurvature && !(std::fabs(top - x) <= ShoulderDistance * w)) {
    const int32_t c = RoundHalfEven(x);
    const TCurvature q = CurvatureAt(spectrum, first, last, errorsKnown, c, w);
    const TPeakStatistics t = PeakStatistics(spectrum, first, last, errorsKnown, x, w);
    const bool peak = q.error > 0 && q.value >= ShoulderSignificance * std::max(1.0, PeakSensitivity) * q.error &&
                      t.judged && SignificantPeak(t, PeakSensitivity) &&
                      !OneChannelSpike(spectrum, first, last, errorsKnown, x, w, t);
    ProtocolStatistics(x, t, q, peak);
    if (peak) Append(x, spectrum.Y[c]);
    return;
  }
  // A climb that ran into an end, or a top within reach of one, is judged on the fitted centre.
  const bool nearEnd = std::min(x - first, last - x) < EndReach * w ||
                       (std::isfinite(top) && std::min(top - first, last - top) < EndReach * w);
  const double endTop = nearEnd ? TopInsideTheEnd(spectrum, first, last, errorsKnown, x, w) : NAN;
  if (!std::isfinite(top) && std::isfinite(endTop)) top = std::clamp(std::round(endTop), double(first), double(last));
  if (!std::isfinite(top)) return;
  x = CentredPosition(spectrum, first, last, top, PeakStatistics(spectrum, first, last, errorsKnown, top, w), w);
  // The height is the largest count near the top.
  int32_t ok;
  double sum, height, at = top;
  RefinePeakPosition(spectrum.Y, MaxChannels, spectrum.LastChannel, ok, sum, at, height);
  const TPeakStatistics t = PeakStatistics(spectrum, first, last, errorsKnown, x, w);
  const TCurvature q = CurvatureAt(spectrum, first, last, errorsKnown, static_cast<int32_t>(top), w);
  // Within a kernel's reach of an end of the range the curvature is unknown: the top must stand clear.
  double prominence = ProminenceSignificance(spectrum, first, last, errorsKnown, static_cast<int32_t>(top), w,
                                            t.backgroundSlope);
  if (std::isfinite(endTop) && std::fabs(endTop - top) <= ShoulderDistance * w) prominence = std::max(prominence, MinProminence);
  const bool curves = q.error > 0 ? q.value >= TopCurvature * q.error : prominence >= MinProminence;
  const bool peak = SignificantPeak(t, PeakSensitivity) && curves &&
                    (prominence >= MinProminence || q.value >= LowTopCurvature * q.error) &&
                    !OneChannelSpike(spectrum, first, last, errorsKnown, x, w, t);
  ProtocolStatistics(x, t, q, peak);
  if (peak) Append(x, height);
}

// Proposals over the whole range, whatever the sections: the channels where the matched height
// over the local background has a maximum of at least MinPeakSignificance of its standard
// deviations, and the maxima of the curvature that reach ShoulderSignificance of its standard
// deviations (placed on the vertex of a parabola), which a shoulder without a top of its own has.
void ProposeOverTheRange(const TSpectrum& spectrum, bool errorsKnown) {
  const int32_t first = PeakSearchFirstChannel, last = PeakSearchLastChannel;
  static double curvature[MaxChannels + 2], curvatureError[MaxChannels + 2], significance[MaxChannels + 2];
  for (int32_t c = first; c <= last; ++c) {
    const double w = std::max(1.0, PeakWidthIntercept + PeakWidthSlope * c);
    const TCurvature q = CurvatureAt(spectrum, first, last, errorsKnown, c, w);
    curvature[c] = q.value, curvatureError[c] = q.error;
    const TPeakStatistics t = PeakStatistics(spectrum, first, last, errorsKnown, c, w);
    significance[c] = t.judged && t.heightError > 0 ? t.height / t.heightError : 0.0;
  }
  const double k = ShoulderSignificance * std::max(1.0, PeakSensitivity);
  for (int32_t c = first + 1; c <= last - 1; ++c) {
    // The pass proposes the sections' peaks again: their repeats give their places back.
    if (MarkedPointCount >= PeakSearchPointLimit) MergeRepeatedPoints();
    if (MarkedPointCount >= PeakSearchPointLimit) break;
    const double* z = significance;
    if (z[c] >= MinPeakSignificance && z[c] > z[c - 1] && z[c] >= z[c + 1])
      AppendIfSignificant(spectrum, c, errorsKnown, false);
    const double* v = curvature;
    if (!(curvatureError[c] > 0 && v[c] >= k * curvatureError[c] && v[c] > v[c - 1] && v[c] >= v[c + 1])) continue;
    const double bend = v[c - 1] - 2 * v[c] + v[c + 1];
    const double shift = bend < 0 ? std::clamp(0.5 * (v[c - 1] - v[c + 1]) / bend, -0.5, 0.5) : 0.0;
    AppendIfSignificant(spectrum, c + shift, errorsKnown, true);
  }
}

// The one-channel spikes of channels first..last (SpikeAt) set to the mean of their neighbours
// while the search runs, and put back after.
class TSpikesHeld {
public:
  TSpikesHeld(TSpectrum& sp, int32_t first, int32_t last, bool errorsKnown) : sp_(sp) {
    double shareWidth = 0, share = 0;  // the share follows the width law by steps of 1 %
    for (int32_t c = std::max(first, 1) + 2; c <= std::min(last, MaxChannels) - 2; ++c) {
      const double w = std::max(1.0, PeakWidthIntercept + PeakWidthSlope * c);
      if (!(w / 2 >= MinSpikeWidth)) continue;
      if (!(std::fabs(w - shareWidth) <= 0.01 * w)) shareWidth = w, share = SpikeNeighbourShare(w);
      if (!SpikeAt(sp, errorsKnown, c, share)) continue;
      held_.push_back({c, sp.Y[c]});
      sp.Y[c] = (sp.Y[c - 1] + sp.Y[c + 1]) / 2;
    }
  }
  ~TSpikesHeld() {
    for (const auto& [c, y] : held_) sp_.Y[c] = y;
  }
  TSpikesHeld(const TSpikesHeld&) = delete;
  TSpikesHeld& operator=(const TSpikesHeld&) = delete;

private:
  TSpectrum& sp_;
  std::vector<std::pair<int32_t, double>> held_;
};

// A point with gaps within a width of it stays only when its measured channels alone make it a
// peak, and one with a gap within a quarter width moves to the top that the measured counts rise
// to (is dropped when they rise to none within half a width): the bridge across a gap is a
// straight line, above the falling counts on a peak's flank, below them across a peak's top.
void PointsOnGaps(const TSpectrum& spectrum, bool errorsKnown, const std::vector<int32_t>& gaps) {
  if (gaps.empty()) return;
  const int32_t first = PeakSearchFirstChannel, last = PeakSearchLastChannel;
  int32_t kept = 0;
  for (int32_t i = 1; i <= MarkedPointCount; ++i) {
    double x = MarkedPoints[i];
    const double w = std::max(1.0, PeakWidthIntercept + PeakWidthSlope * x);
    const auto near = std::lower_bound(gaps.begin(), gaps.end(), x - w);
    if (near != gaps.end() && *near <= x + w) {
      if (!SignificantPeak(PeakStatistics(spectrum, first, last, errorsKnown, x, w, gaps), PeakSensitivity)) continue;
      const auto top = std::lower_bound(gaps.begin(), gaps.end(), x - w / 4);
      if (top != gaps.end() && *top <= x + w / 4) x = MeasuredTop(spectrum, first, last, errorsKnown, x, w, gaps);
      if (!std::isfinite(x)) continue;
    }
    ++kept;
    MarkedPoints[kept] = x;
    PeakHeights[kept] = PeakHeights[i];
  }
  MarkedPointCount = kept;
}

// On a searched spectrum the points on gaps are judged on the measured channels, and the partners of the found peaks are sought
// unless the points filled MarkedPoints.
void FinalAssembly(const TSpectrum* searched = nullptr, bool errorsKnown = false,
                   const std::vector<int32_t>& gaps = {}, bool partners = false) {
  if (Protocolling())
    for (int32_t i = 1; i <= MarkedPointCount; ++i)
      LogLine(FormatInteger(i, 5) + FormatNumber(10, 2, MarkedPoints[i]));
  MergeRepeatedPoints();
  if (searched && partners && MarkedPointCount < PeakSearchPointLimit) {
    AddHiddenPartners(*searched, errorsKnown);
    MergeRepeatedPoints();
  }
  if (searched && !gaps.empty()) {
    PointsOnGaps(*searched, errorsKnown, gaps);
    MergeRepeatedPoints();
  }
  CutToMaxPeakCount();
}

// The gaps of a measured grid hold no counts: for the search they hold the straight line between
// their neighbours, and their errors likewise, and get their zeros back after it.
class GapsBridged {
public:
  explicit GapsBridged(TSpectrum& sp) : sp_(sp) {
    const int32_t first = MaxI(sp.FirstChannel, 1), last = MinI(sp.LastChannel, MaxChannels);
    gaps_ = sp.GapsIn(first, last);
    TSpectrum::BridgeGaps(sp.Y + first - 1, first, last, gaps_);
    TSpectrum::BridgeGaps(sp.E + first - 1, first, last, gaps_);
  }
  ~GapsBridged() {
    for (int32_t c : gaps_) sp_.Y[c] = sp_.E[c] = 0.0;
  }
  const std::vector<int32_t>& Gaps() const { return gaps_; }
  GapsBridged(const GapsBridged&) = delete;
  GapsBridged& operator=(const GapsBridged&) = delete;

private:
  TSpectrum& sp_;
  std::vector<int32_t> gaps_;
};

}  // namespace

void FindPeaks(TSpectrum& spectrum, int32_t FirstChannel, int32_t LastChannel, double WidthBegin, double WidthEnd,
               double WidthAccuracy) {
  MarkedPointCount = 0;
  const int32_t first = MaxI(2, FirstChannel);
  const int32_t last = std::clamp(LastChannel, 1, MaxChannels + 1) - 1;
  const bool widthsFinite = std::isfinite(WidthBegin) && std::isfinite(WidthEnd) && std::isfinite(WidthAccuracy);
  PeakWidthSlope = widthsFinite ? (WidthEnd - WidthBegin) / MaxI(1, last - first) : 0.0;
  PeakWidthIntercept = widthsFinite ? WidthEnd - last * PeakWidthSlope : 0.0;
  if (Protocolling())
    LogLine(FormatNumber(9, 2, WidthBegin) + FormatNumber(9, 2, WidthEnd) + "kw1 kw0 for width " +
            FormatNumber(9, 4, PeakWidthSlope) + FormatNumber(9, 3, PeakWidthIntercept));
  const int32_t meanWidth = Round((WidthBegin + WidthEnd) / 2.0);
  const GapsBridged bridged(spectrum);
  bool usable = widthsFinite && last - first > meanWidth && PeakResolution != 0.0;
  // Counts that are not numbers make no peaks.
  for (int32_t c = first; usable && c <= last; ++c)
    if (!std::isfinite(spectrum.Y[c])) usable = false;
  if (!usable) return FinalAssembly();

  const bool errorsKnown = SpectrumErrorsKnown(spectrum, first, last);
  const TSpikesHeld spikes(spectrum, first, last, errorsKnown);
  TPeakSection s;
  s.sensitivity = std::min(PeakSensitivity, 1.0);
  s.f = WidthBegin > 8.0 ? WidthBegin / 8.0 : 1.0;
  PeakSearchFirstChannel = first, PeakSearchLastChannel = last;
  s.widthAccuracy = WidthAccuracy;
  PeakSearchCompression = s.f;
  const int32_t L = Round(std::clamp(PeakSearchSectionLength * s.f, double(MinSectionChannels),
                                     double(MaxSectionChannels)));
  // A section needs a few points; a mean width below that would end nothing.
  const int32_t endGap = MaxI(meanWidth, 2);
  PeakSearchFirst = first;
  bool full = false;
  while (last - PeakSearchFirst > endGap) {
    PeakSearchLast = last - PeakSearchFirst + 1 < L ? last : MinI(PeakSearchFirst + L - 1, last);
    if (SearchSection(s, spectrum, L)) {
      PeakSearchCount = Round(s.m * s.f);
      MergeRepeatedPoints();  // the overlaps deliver peaks twice
      if (MarkedPointCount >= PeakSearchPointLimit) break;
      const double* pos = TPeakSection::Positions();
      for (int32_t j = 1; j <= s.n; ++j) {
        if (MarkedPointCount >= MarkedPointCapacity) {
          full = true;
          break;
        }
        AppendIfSignificant(spectrum, SectionPointChannel(pos[j], s.f), errorsKnown, false);
      }
      if (full) {
        if (Protocolling()) LogLine("Marked points full at" + FormatInteger(MarkedPointCapacity, 6));
        break;
      }
    }
    // Sections overlap by a third of their length, so that a peak near one's start or end lies
    // well inside another: what is found does not depend on where the sections begin.
    if (PeakSearchLast >= last) break;
    PeakSearchFirst = MaxI(PeakSearchLast - L / 3, PeakSearchFirst + 2);
  }
  if (!full && MarkedPointCount < PeakSearchPointLimit) ProposeOverTheRange(spectrum, errorsKnown);
  FinalAssembly(&spectrum, errorsKnown, bridged.Gaps(), !full);
}

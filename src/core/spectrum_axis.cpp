// Channel and d-spacing of a spectrum, and its count range.
//
// Time of flight: t = (channel + Delay) * ChanWidth microseconds, and t = K L d sin(theta) with
// K = 2 m_n / h (Bragg's law with the de Broglie wavelength). Angular: X holds two-theta in
// degrees and d = lambda / (2 sin(theta)).
#include <algorithm>
#include <cmath>
#include "core/cell_geometry.h"
#include "core/messages.h"
#include "core/small_routines.h"
#include "core/spectrum.h"

namespace {
// Channel i of lo..hi nearest to x (a non-number gives lo).
int32_t ClampedChannel(double x, int32_t lo, int32_t hi) {
  double r = std::nearbyint(x);
  if (!(r >= lo)) return lo;
  if (r > hi) return hi;
  return static_cast<int32_t>(r);
}
}  // namespace

void TSpectrum::ComputeYRange() {
  Ymax = -1e14;
  Ymin = 1e14;
  const int32_t lo = MaxI(FirstChannel, 1), hi = MinI(LastChannel, MaxChannels);
  for (int32_t c = lo; c <= hi; ++c) {
    if (Y[c] > Ymax) Ymax = Y[c];
    if (Y[c] < Ymin) Ymin = Y[c];
  }
  Ymin = MinD(Ymin, 0.0);
}

bool TSpectrum::IsGap(int32_t c) const {
  return c >= 1 && c <= MaxChannels && Y[c] == 0.0 && E[c] == 0.0 &&
         std::binary_search(GapChannels.begin(), GapChannels.end(), c);
}

std::vector<int32_t> TSpectrum::GapsIn(int32_t first, int32_t last) const {
  std::vector<int32_t> gaps;
  for (auto c = std::lower_bound(GapChannels.begin(), GapChannels.end(), first);
       c != GapChannels.end() && *c <= last; ++c)
    if (IsGap(*c)) gaps.push_back(*c);
  return gaps;
}

void TSpectrum::BridgeGaps(double* y, int32_t first, int32_t last, const std::vector<int32_t>& gaps) {
  auto gap = std::lower_bound(gaps.begin(), gaps.end(), first);
  while (gap != gaps.end() && *gap <= last) {
    // A run of neighbouring gap channels a..b.
    const int32_t a = *gap;
    int32_t b = a;
    while (++gap != gaps.end() && *gap == b + 1 && b + 1 <= last) ++b;
    const bool below = a > first, above = b < last;
    if (!below && !above) return;
    const double ya = below ? y[a - first] : y[b + 2 - first];
    const double yb = above ? y[b + 2 - first] : ya;
    for (int32_t c = a; c <= b; ++c)
      y[c - first + 1] = below && above ? ya + (yb - ya) * (c - a + 1) / (b - a + 2) : ya;
  }
}

double TSpectrum::ChannelToD(double x) const {
  const double c = ChanWidth == 0.0 ? 1.0 : ChanWidth;
  double d;
  switch (AxisKind) {
    case AxisTimeOfFlight:
      d = (x + Delay) * c / MaxD(1e-4, TofConstant * std::sin(Theta / RadToDeg) * FlightPath);
      break;
    case AxisAngular: {
      // The two-theta of the channel itself, no interpolation; the channel is kept inside the
      // loaded range.
      int32_t lo = MaxI(FirstChannel, 1), hi = MinI(LastChannel, MaxChannels);
      if (lo > hi) lo = hi = MinI(MaxI(lo, 1), MaxChannels);
      const int32_t i = ClampedChannel(x, lo, hi);
      d = Lambda * 0.5 / std::sin(MaxD(1e-5, (X[i] + Delay) * 0.5) / RadToDeg);
      break;
    }
    default:
      d = x;
  }
  return MaxD(d, 1e-5);
}

void TSpectrum::AngleCalibration(double& slope, double& offset) const {
  slope = ChanWidth > 1e-10 ? 1.0 / ChanWidth : 0.0;
  const int32_t first = MinI(MaxI(WorkFirst, 1), MaxChannels);
  offset = first - X[first] * slope;
}

void TSpectrum::UpdateAngleCalibration() { AngleCalibration(AngleToChannelSlope, AngleToChannelOffset); }

double TSpectrum::DToChannel(double d) {
  double c = ChanWidth;
  if (c == 0.0) {
    // Once, not for every reflection of a list: the warning stays quiet until the width is set.
    if (!chanWidthWarned_) ShowMsg("Wrong channel width");
    chanWidthWarned_ = true;
    c = 1.0;
  } else {
    chanWidthWarned_ = false;
  }
  switch (AxisKind) {
    case AxisTimeOfFlight:
      return TofConstant * std::sin(Theta / RadToDeg) * d * FlightPath / c - Delay;
    case AxisAngular: {
      const double tt = 2.0 * RadToDeg * ArcSinAngle(MinD(1.0, Lambda * 0.5 / MaxD(d, 1e-5))) - Delay;
      // The first pair of neighbouring channels that brackets tt, in the working range first.
      auto search = [&](int32_t from, int32_t to, double& channel) {
        from = MaxI(from, 1);
        to = MinI(to, MaxChannels);
        for (int32_t i = from; i < to; ++i) {
          if (X[i] <= tt && tt <= X[i + 1]) {
            channel = i + (tt - X[i]) / MaxD(X[i + 1] - X[i], 1e-9);
            return true;
          }
        }
        return false;
      };
      double channel = 0.0;
      if (search(WorkFirst, WorkLast, channel)) return channel;
      if (search(FirstChannel, LastChannel, channel)) return channel;
      return 0.0;
    }
    default:
      return MaxD(1.0, d);
  }
}

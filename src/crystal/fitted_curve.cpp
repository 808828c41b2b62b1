#include "crystal/fitted_curve.h"
#include <algorithm>
#include <array>
#include <cmath>
#include <vector>
#include "core/messages.h"
#include "core/model_switches.h"
#include "core/settings_file.h"
#include "core/spectra_utilities.h"
#include "core/spectrum.h"
#include "crystal/fit_summary.h"

std::function<void(const std::string& caption)> GraphCaptionHook;

namespace {

constexpr int32_t SpectrumSlotCount = 5;
// Sub-point spacing of the model, in channels (as the model is evaluated).
constexpr double SubPointStep = 0.3333;

// Rows and columns of the picture for the shown interval and the y range.
struct TGraphScale {
  double bottom = 0, top = 1;
  double width = 0;   // Scaled(512): pixels for NChannels channels
  double channels = 0;
  int32_t pictureWidth = 0;

  // Row of value v (not NaN) held to the plot rows.
  int32_t Row(double v) const {
    return Scaled(std::clamp(ValueToPixelRow(bottom, top, v), PlotTopRow, PlotBottomRow));
  }
  // Row of difference d by the linear law of the data's range, about the zero line.
  int32_t DifferenceRow(double d) const {
    const double range = std::max(1.0, top - bottom);
    const double row = DifferenceZeroRow - PlotRows * d / range;
    return Scaled(std::nearbyint(std::clamp(row, double(PlotTopRow), double(PlotBottomRow))));
  }
  // Column of (real) channel c; false when it falls outside the picture.
  bool Column(double c, int32_t& x) const {
    const double v = std::nearbyint((c - IntervalFirst + 1) * width / channels);
    if (!(v >= 0 && v < pictureWidth)) return false;
    x = static_cast<int32_t>(v);
    return true;
  }
};

// A polyline drawn segment by segment; a break starts a new one. Every vertex is set, the lines
// between them leave out their end pixel.
class TTrace {
public:
  TTrace(TImageCanvas& c, int32_t colour) : c_(c), colour_(colour) {}
  void Add(int32_t x, int32_t y) {
    c_.Pen.color = colour_;
    if (open_) {
      c_.MoveTo(px_, py_);
      c_.LineTo(x, y);
    }
    c_.SetPixel(x, y, colour_);
    px_ = x, py_ = y, open_ = true;
  }
  void Break() { open_ = false; }

private:
  TImageCanvas& c_;
  int32_t colour_;
  int32_t px_ = 0, py_ = 0;
  bool open_ = false;
};

bool Absent(const TSpectrum* sp) { return !sp || sp->Present == 0; }

bool Loaded(const TSpectrum& sp, int32_t ch) {
  return ch >= std::max(sp.FirstChannel, 1) && ch <= std::min(sp.LastChannel, MaxChannels);
}

// The caption at every tenth of the work and at its end.
class TProgress {
public:
  explicit TProgress(int64_t total) : total_(total) {}
  void Step(int64_t done) {
    const int64_t percent = done * 100 / total_;
    if (percent < next_ && done != total_) return;
    next_ = percent / 10 * 10 + 10;
    if (GraphCaptionHook) GraphCaptionHook("*   " + std::to_string(percent) + "%");
  }

private:
  int64_t total_;
  int64_t next_ = 10;
};

}  // namespace

void DrawFittedCurve(const std::string& selection, double yMax, double yMin) {
  TGraphScale g;
  g.bottom = yMin;
  g.top = (TrimmingCoefficient > 1 ? yMax * TrimmingCoefficient : yMax) + std::sqrt(std::fabs(yMax));
  DrawGraphGrid(g.bottom, g.top);
  TImageCanvas& c = GraphBitmap;
  c.Pen.style = TPenStyle::Solid;
  c.Pen.width = 1;  // one-pixel lines by the canvas's own rasteriser
  g.width = Scaled(512);
  g.channels = NChannels;
  g.pictureWidth = std::min(c.Width(), Scaled(GraphPictureWidth));
  if (!std::isfinite(g.bottom) || !std::isfinite(g.top) || NChannels < 1 || g.width <= 0) return;

  std::array<int32_t, SpectrumSlotCount> shown{};
  int32_t count = 0;
  for (int32_t i = 0; i < SpectrumSlotCount && i < static_cast<int32_t>(selection.size()); ++i)
    if (selection[static_cast<size_t>(i)] == 'x' && !Absent(SpectrumOrNull(i))) shown[count++] = i;
  const int32_t first = std::max(IntervalFirst, 1), last = std::min(IntervalLast, MaxChannels);
  if (count == 0 || last < first) return;

  const int32_t single = shown[0];
  const bool withModel = count == 1 && GraphMode == 2 && single == CurrentSpectrum;
  const int64_t channels = static_cast<int64_t>(last) - first + 1;
  TProgress progress(channels * (withModel ? 2 : 1));

  // The counts (and their bars) first, so that the traces lie on top of them.
  std::array<int32_t, SpectrumSlotCount> plotted{};  // points drawn per curve, for PlotPoint
  for (int32_t ch = first; ch <= last; ++ch) {
    progress.Step(ch - first + 1);
    int32_t x = 0;
    if (!g.Column(ch, x)) continue;
    for (int32_t k = 0; k < count; ++k) {
      const int32_t s = shown[k];
      const TSpectrum& sp = *SpectrumList[s];
      // A gap of a measured grid has no data to draw.
      if (!Loaded(sp, ch) || !std::isfinite(sp.Y[ch]) || sp.IsGap(ch)) continue;
      const int32_t colour = count == 1 ? ExpDataColor : CurveColors[static_cast<size_t>(s + 1)];
      PlotPoint(colour, x, g.Row(sp.Y[ch]), s, ++plotted[k], 1);
      if (count == 1 && GraphFitErrors != 0 && !std::isnan(sp.E[ch])) {
        const double e = std::max(sp.E[ch], 1.0);
        c.Pen.color = ExpDataColor;
        c.MoveTo(x, g.Row(sp.Y[ch] - e));
        c.LineTo(x, g.Row(sp.Y[ch] + e));
        c.SetPixel(x, c.PenY(), ExpDataColor);
      }
    }
  }
  if (!withModel) return;

  // The model at the sub-points of the working range inside the interval. The storage is kept
  // from redraw to redraw.
  struct TPoint {
    int32_t ch, sub;
    double model;
  };
  static std::vector<TModelSample> samples;
  static std::vector<TPoint> points;
  points.clear();
  const TSpectrum& sp = *SpectrumList[single];
  for (int32_t ch = first; ch <= last; ++ch) {
    progress.Step(channels + ch - first + 1);
    SampleFittedCurve(ch, ch, samples);  // empty outside the working range
    const double base = ModelAbscissa(sp, ch);
    for (const TModelSample& p : samples) {
      const int32_t sub = static_cast<int32_t>(std::nearbyint((p.x - base) / SubPointStep));
      if (ch + sub * SubPointStep <= last) points.push_back({ch, sub, p.model});
    }
  }

  // The difference at each channel, then the model over it; a missing point breaks a trace.
  TTrace difference(c, LimeColor), model(c, RedColor);
  int32_t previous = 0;
  for (const TPoint& p : points) {
    int32_t x = 0;
    if (p.sub != 0 || !Loaded(sp, p.ch) || !std::isfinite(sp.Y[p.ch]) || sp.IsGap(p.ch) || !g.Column(p.ch, x))
      continue;
    if (p.ch != previous + 1) difference.Break();
    difference.Add(x, g.DifferenceRow(sp.Y[p.ch] - p.model));
    previous = p.ch;
  }
  int32_t previousSub = -2;  // running sub-point number 3 ch + k of the last vertex
  for (const TPoint& p : points) {
    const int32_t sub = 3 * p.ch + p.sub;
    int32_t x = 0;
    if (!g.Column(p.ch + p.sub * SubPointStep, x)) continue;
    if (sub != previousSub + 1) model.Break();
    model.Add(x, g.Row(p.model));
    previousSub = sub;
  }
}

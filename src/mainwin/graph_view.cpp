#include "mainwin/graph_view.h"
#include <algorithm>
#include <cmath>
#include <vector>
#include "core/dialog_state.h"
#include "core/graph_drawing.h"
#include "core/messages.h"
#include "core/model_switches.h"
#include "core/model_tables.h"
#include "core/number_format.h"
#include "core/parameter_layout.h"
#include "core/settings_file.h"
#include "core/spectra_utilities.h"
#include "core/spectrum.h"
#include "crystal/fit_summary.h"
#include "crystal/fitted_curve.h"
#include "crystal/model_options.h"
#include "crystal/profile_model.h"
#include "mainwin/graph_options.h"
#include "mainwin/graph_point_info.h"
#include "mainwin/interval_operations.h"
#include "mainwin/main_window.h"

double GraphYMin = 0, GraphYMax = 1;
std::vector<TGraphText> GraphTexts;
const int32_t PhaseColors[7] = {0, LimeColor, RedColor, YellowColor, WhiteColor, BlueColor, TealColor};

namespace {

constexpr int32_t SlotCount = 5;
constexpr int32_t StripTop = 284, StripBottom = 295;  // marker rows of the strip
constexpr int32_t LongTop = 1, LongBottom = 296;      // long reflection indicators

bool Marked(const std::string& slots, int32_t i) {
  return i < static_cast<int32_t>(slots.size()) && slots[static_cast<size_t>(i)] == 'x';
}

bool HasData(int32_t i) {
  const TSpectrum* sp = SpectrumOrNull(i);
  return sp && sp->Present != 0;
}

std::string WithoutFolder(const std::string& name) {
  const size_t p = name.find_last_of("/\\");
  return p == std::string::npos ? name : name.substr(p + 1);
}

void Text(TImageCanvas& c, int32_t x, int32_t y, int32_t colour, const std::string& s) {
  c.Font.color = colour;
  c.TextOut(Scaled(x), Scaled(y), s);
  GraphTexts.push_back({x, y, colour, s});
}

// The row of the header's last line ("MODE =") before Scaled.
constexpr int32_t HeaderLastRow = 52;

void DrawHeader(const std::string& slots, double yMax, double yMin, int32_t shown) {
  TImageCanvas& c = GraphBitmap;
  c.Resize(Scaled(620), Scaled(90));
  c.Brush.color = Form1BackColor;
  c.Brush.style = TBrushStyle::Solid;
  c.FillRect(0, 0, c.Width(), c.Height());
  c.Font.size = FontSize;
  c.Font.bold = false;
  c.Font.fixedPitch = false;
  // A value at its column, or after its label where a large font makes the label reach further.
  auto after = [&c](const std::string& label, int32_t column) {
    return std::max(column, static_cast<int32_t>(std::ceil((Scaled(21) + c.TextWidth(label)) / ScreenScale)) + 4);
  };
  if (shown == 1) {
    const std::string label = "SPECTRUM " + std::to_string(CurrentSpectrum) + ";    FILE = ";
    Text(c, 21, 1, LimeColor, label);
    const TSpectrum* sp = SpectrumOrNull(CurrentSpectrum);
    Text(c, after(label, 185), 1, WhiteColor, sp ? sp->Name : "");
  } else {
    std::string numbers(10, ' ');
    for (int32_t i = 0; i < SlotCount; ++i)
      if (Marked(slots, i)) numbers[static_cast<size_t>(2 * i)] = static_cast<char>('0' + i);
    Text(c, 21, 1, LimeColor, "SPECTRA " + numbers);
    for (int32_t i = 1; i < SlotCount; ++i)
      if (Marked(slots, i) && HasData(i))
        Text(c, 185 + 100 * (i - 1), 1, CurveColors[static_cast<size_t>(i + 1)],
             WithoutFolder(SpectrumList[static_cast<size_t>(i)]->Name) + ",");
  }
  Text(c, 21, 18, LimeColor, "CHANNELS  =  ");
  Text(c, 21, 35, LimeColor, "MAX,MIN =");
  Text(c, 21, HeaderLastRow, LimeColor, "MODE =");
  Text(c, after("CHANNELS  =  ", 125), 18, WhiteColor, std::to_string(IntervalFirst) + "  :  " + std::to_string(IntervalLast));
  Text(c, after("MAX,MIN =", 100), 35, WhiteColor, FormatNumberNoBlanks(1, yMax) + ", " + FormatNumberNoBlanks(1, yMin));
  Text(c, after("MODE =", 80), HeaderLastRow, WhiteColor, ModeNames[static_cast<size_t>(std::clamp(MainMode, 0, ModeCount - 1))]);
  Form1.Image1.canvas.Draw(0, 0, c);
}

// Marker rows (unscaled, inclusive) of k: a phase's share of the strip, else the whole strip.
void MarkerRows(int32_t k, int32_t& top, int32_t& bottom) {
  if (LongReflectionIndicators != 0) {
    top = LongTop, bottom = LongBottom;
    return;
  }
  if (k >= 1 && k <= MaxPhases) {
    const int32_t h = std::max(1, 12 / std::clamp(PhaseCount, 1, MaxPhases));
    top = StripTop + (k - 1) * h;
    bottom = StripTop + k * h - 1;
    return;
  }
  top = StripTop, bottom = StripBottom;
}

bool InInterval(double c) {
  const double r = std::nearbyint(c);
  return r >= IntervalFirst && r <= IntervalLast;
}

}  // namespace

int32_t ChannelColumn(double c) {
  if (NChannels < 1) return 0;
  return static_cast<int32_t>(std::nearbyint((std::nearbyint(c) - IntervalFirst + 1) * 512.0 / NChannels));
}

void RedrawGraph() {
  for (int32_t i = 0; i < SlotCount; ++i)
    if (Marked(SpectrumSlots, i) && !HasData(i)) return;
  ResetMainWindow();
  NChannels = IntervalLast - IntervalFirst + 1;
  if (NChannels < 1) return;
  SpectraYRange(SpectrumSlots, GraphYMax, GraphYMin);
  DrawSpectrumGraph(SpectrumSlots, GraphYMax, GraphYMin);
}

void DrawSpectrumGraph(const std::string& slots, double yMax, double yMin) {
  GraphTexts.clear();
  InstallPointInfoHook();
  int32_t shown = 0;
  for (int32_t i = 0; i < SlotCount; ++i) shown += Marked(slots, i) ? 1 : 0;
  LayoutMainWindow(ScreenScale, ScreenScale);
  Form1.Image1.visible = Form1.Image2.visible = Form1.Image3.visible = true;

  GraphBitmap.Resize(Scaled(GraphPictureWidth), Scaled(GraphPictureHeight));
  DrawFittedCurve(slots, yMax, yMin);
  Form1.Image2.canvas.Draw(0, 0, GraphBitmap);
  ToggleXAxis();

  TImageCanvas& side = Form1.Image3.canvas;
  side.Brush.color = Form1BackColor != 128 ? Form1BackColor : GreenColor;
  side.Brush.style = TBrushStyle::Solid;
  side.FillRect(0, 0, side.Width(), side.Height());
  ShowSideButtons();

  DrawHeader(slots, yMax, yMin, shown);
  for (int32_t k = 1; k <= std::clamp(PhaseCount, 0, MaxPhases); ++k) PhasesToPlot[k] = 1;
  PlotForMainMode();
  Form1.Changed();
}

void ToggleXAxis() {
  TImageCanvas& c = Form1.Image2.canvas;
  std::erase_if(GraphTexts, [](const TGraphText& t) { return t.y >= 300; });
  c.Brush.color = BlackColor;
  c.Brush.style = TBrushStyle::Solid;
  c.FillRect(0, Scaled(300), c.Width(), c.Height());
  c.Font.size = 8;
  c.Font.bold = true;
  const TSpectrum* sp = SpectrumOrNull(CurrentSpectrum);
  if (!sp || NChannels < 1) return;
  // d-spacings only for abscissae that convert to them: a data set of another kind, shown after
  // one in d, is shown in its own unit.
  if (sp->AxisKind != AxisTimeOfFlight && sp->AxisKind != AxisAngular) GraphXAxis = 0;
  for (int32_t n = 1; n <= 8; ++n) {
    const double ch = IntervalFirst + (64.0 * (n - 1) + 34) * NChannels / 512;
    const int32_t r = std::clamp(static_cast<int32_t>(std::nearbyint(ch)), 1, MaxChannels);
    std::string label;
    if (GraphXAxis == 1)
      label = FormatNumber(8, 2, sp->ChannelToD(LogXScale != 0 ? 0.0 : ch));
    else if (sp->AxisKind == AxisTimeOfFlight)
      label = FormatNumber(6, 0, ch);
    else
      label = FormatNumber(8, 2, sp->X[r]);
    Text(c, 64 * (n - 1) + 12, 300, WhiteColor, label);
  }
  const char* name = GraphXAxis == 1                    ? "d (angstroem)"
                     : sp->AxisKind == AxisTimeOfFlight ? "Time channels"
                     : sp->AxisKind == AxisAngular      ? "angle (2theta)"
                                                        : "";
  if (*name) Text(c, 200, 309, WhiteColor, name);
  Form1.Changed();
}

void ClampInterval() {
  const TSpectrum* sp = SpectrumOrNull(CurrentSpectrum);
  if (!sp) return;
  const int32_t first = sp->FirstChannel, last = sp->LastChannel;
  if (IntervalFirst < first || IntervalLast < first) {
    IntervalFirst = first;
    IntervalLast = std::min(IntervalFirst + NChannels - 1, last);
  } else if (IntervalLast > last || IntervalFirst > last) {
    IntervalLast = last;
    IntervalFirst = std::max(IntervalLast - NChannels + 1, first);
  }
  RedrawGraph();
}

void DrawChannelMarker(int32_t mode, int32_t k, int32_t colour, double channel) {
  if (LogXScale != 0) return;
  int32_t top = 0, bottom = 0;
  MarkerRows(k, top, bottom);
  TImageCanvas& c = Form1.Image2.canvas;
  const int32_t x = Scaled(ChannelColumn(channel));
  const int32_t col = mode == 1 ? colour : BlackColor;
  for (int32_t y = Scaled(top); y < Scaled(bottom + 1); ++y) c.SetPixel(x, y, col);
}

void ClearMarkerStrip() {
  FillGraphRect(0, 279, 515, BlackColor, 301);
}

void DrawNumberOnGraph(int32_t x, int32_t number, int32_t colour) {
  TImageCanvas& c = Form1.Image2.canvas;
  c.Font.size = 8;
  c.Font.color = colour;
  c.Brush.color = BlackColor;
  c.Brush.style = TBrushStyle::Solid;
  c.TextOut(Scaled(x - 2), Scaled(278), std::to_string(number));
  Form1.Changed();
}

void FillGraphRect(int32_t left, int32_t top, int32_t right, int32_t colour, int32_t bottom) {
  TImageCanvas& c = Form1.Image2.canvas;
  c.Brush.color = colour;
  c.Brush.style = TBrushStyle::Solid;
  c.FillRect(Scaled(left), Scaled(top), Scaled(right), Scaled(bottom));
}

void PlotForMainMode() {
  if (MainMode == 0 || MainMode == 2)
    PlotPhaseReflections();
  else if (MarkedPointCount > 0)
    ShowPointMarkers();
}

void PlotPhaseReflections() {
  ClearMarkerStrip();
  if (CurrentSpectrum == 0) return;
  TSpectrum* sp = SpectrumOrNull(CurrentSpectrum);
  if (!sp) return;
  for (int32_t k = 1; k <= std::clamp(PhaseCount, 0, MaxPhases); ++k) {
    if (PhasesToPlot[k] != 1) continue;
    const int32_t n = std::clamp(PhaseTable[k].ReflectionCount, 0, MaxReflections);
    for (int32_t j = 1; j <= n; ++j) {
      const double d = HklTable[j][k].d;
      if (!(d > 0)) continue;  // -777 marks a dropped reflection
      const double ch = sp->DToChannel(d);
      if (InInterval(ch)) DrawChannelMarker(1, k, PhaseColors[k], ch);
    }
  }
  Form1.Changed();
}

void ShowTheoreticalPositions() {
  if (FitPending[std::clamp(MainMode, 0, ModeCount - 1)] != 0) {
    ShowMsg("No parameters");
    return;
  }
  if (MainMode == 0 || MainMode == 2) {
    for (int32_t k = 1; k <= std::clamp(PhaseCount, 0, MaxPhases); ++k) {
      // The metric records of the parameter array, as ChannelOfD reads its instrument records.
      const int32_t base = PhaseParameterOffset(k);
      if (base + 7 > MaxParameters) continue;
      double g[6], dQ[6];
      for (int32_t i = 0; i < 6; ++i) g[i] = parar[base + 2 + i].value;
      const int32_t n = std::clamp(PhaseTable[k].ReflectionCount, 0, MaxReflections);
      for (int32_t j = 1; j <= n; ++j) {
        const THklRecord& h = HklTable[j][k];
        const double q = std::sqrt(std::fabs(InverseDSquaredTerms(g, OptionFlags[10] != 0, h.h, h.k, h.l, dQ)));
        const double ch = ChannelOfD(CurrentSpectrum, 0, q);
        if (std::isfinite(ch) && InInterval(ch)) DrawChannelMarker(1, k, WhiteColor, ch);
      }
    }
  } else if (MainMode == 3) {
    for (int32_t i = 1; i <= std::clamp(MarkedPointCount, 0, MarkedPointCapacity); ++i)
      if (InInterval(MarkedPoints[i])) DrawChannelMarker(1, 0, LimeColor, MarkedPoints[i]);
  }
  Form1.Changed();
}

void PlotPhaseCurves() {
  if (MainMode == 1) return;
  if (FitPending[std::clamp(MainMode, 0, ModeCount - 1)] != 0 || GraphMode != 2) {
    ShowStatusLine1("No fit");
    PlotForMainMode();
    return;
  }
  if (MainMode == 0 || MainMode == 2) {
    SelectPhasesToPlot(0);
    if (DialogOk != 1) return;
  }
  const int32_t n = MainMode == 3 ? std::clamp(MarkedPointCount, 0, ModelOutputSize - 2)
                                  : std::clamp(PhaseCount, 0, MaxPhases);
  TSpectrum* sp = SpectrumOrNull(CurrentSpectrum);
  if (n <= 1 || !sp) {
    PlotForMainMode();
    return;
  }
  SpectrumSlots = std::string(SlotCount, ' ');
  SpectrumSlots[static_cast<size_t>(std::clamp(CurrentSpectrum, 0, SlotCount - 1))] = 'x';
  SpectraYRange(SpectrumSlots, GraphYMax, GraphYMin);
  const double bottom = GraphYMin;
  const double top = (TrimmingCoefficient > 1 ? GraphYMax * TrimmingCoefficient : GraphYMax) +
                     std::sqrt(std::fabs(GraphYMax));
  TImageCanvas& c = Form1.Image2.canvas;
  std::vector<int32_t> previousRow(static_cast<size_t>(n) + 1, -1);
  int32_t previousX = -1;
  const int32_t first = std::max({IntervalFirst, sp->WorkFirst, 1});
  const int32_t last = std::min({IntervalLast, sp->WorkLast, MaxChannels});
  for (int32_t ch = first; ch <= last; ++ch) {
    double f = 0, bg = 0;
    if (!EvaluateModelAt(CurrentSpectrum, ch, f, bg)) break;
    const int32_t x = Scaled(ChannelColumn(ch));
    for (int32_t k = 1; k <= n; ++k) {
      if (MainMode != 3 && PhasesToPlot[k] != 1) continue;
      const double v = ModelOutput[1 + k] + ModelOutput[0];
      if (!std::isfinite(v)) {
        previousRow[static_cast<size_t>(k)] = -1;
        continue;
      }
      const int32_t y = Scaled(std::clamp(ValueToPixelRow(bottom, top, v), PlotTopRow, PlotBottomRow));
      const int32_t colour = MainMode == 3 ? RedColor : PhaseColors[k];
      c.Pen.color = colour;
      c.Pen.style = TPenStyle::Solid;
      if (previousRow[static_cast<size_t>(k)] >= 0) {
        c.MoveTo(previousX, previousRow[static_cast<size_t>(k)]);
        c.LineTo(x, y);
      }
      c.SetPixel(x, y, colour);
      previousRow[static_cast<size_t>(k)] = y;
    }
    previousX = x;
  }
  PlotForMainMode();
  Form1.Changed();
}

void ShowPointMarkers() {
  ClearMarkerStrip();
  if (GraphMode != 0 && MarkedPointCount > 0) {
    for (int32_t i = 1; i <= std::clamp(MarkedPointCount, 0, MarkedPointCapacity); ++i)
      if (InInterval(MarkedPoints[i])) DrawChannelMarker(1, 0, WhiteColor, MarkedPoints[i]);
  } else if (MarkedPointCount <= 0) {
    ShowStatusLine1(" No points ");
  }
  Form1.Changed();
}

int32_t HeaderTextBottom() {
  TImageCanvas c;
  c.Font.size = FontSize;
  return Scaled(HeaderLastRow) + c.TextHeight("MODE =");
}

#include "mainwin/click_modes.h"
#include <algorithm>
#include <cmath>
#include "core/dialog_state.h"
#include "core/dialog_toolkit.h"
#include "core/graph_drawing.h"
#include "core/messages.h"
#include "core/mode_flags.h"
#include "core/model_switches.h"
#include "core/model_tables.h"
#include "core/settings_file.h"
#include "core/spectra_utilities.h"
#include "core/spectrum.h"
#include "core/toolbox.h"
#include "core/ui_backend.h"
#include "crystal/model_checks.h"
#include "mainwin/graph_point_info.h"
#include "mainwin/graph_view.h"
#include "mainwin/main_window.h"

int32_t ClickPixelX = 0, ClickPixelY = 0;
int32_t CurrentPointIndex = 0, CurrentPointX = 0;
std::string SavedSideButtonMask;

namespace {

// The click pixel of each marked point of "Set of Points", to erase its square on Cancel.
int32_t PointPixelX[MarkedPointCapacity + 1], PointPixelY[MarkedPointCapacity + 1];

// What a click loop changes, put back on every way out (a normal end, a cancelled wait, an
// abandoned operation).
class TClickLoopGuard {
public:
  explicit TClickLoopGuard(const char* mask) : mode_(GraphMode), mask_(SideButtonMask) {
    SavedSideButtonMask = SideButtonMask;
    SideButtonMask = mask;
    RelayButtons();
    EnableMainMenus(false);
  }
  ~TClickLoopGuard() {
    GraphMode = mode_;
    EnableMainMenus(true);
    SideButtonMask = mask_;
    RelayButtons();
    HideStatusLabels();
  }
  TClickLoopGuard(const TClickLoopGuard&) = delete;
  TClickLoopGuard& operator=(const TClickLoopGuard&) = delete;

private:
  static void RelayButtons() {
    for (int32_t i = 1; i <= SideButtonCount; ++i)
      if (Form1.Button(i).visible) PlaceSideButton(i);
    Form1.Changed();
  }
  int32_t mode_;
  std::string mask_;
};

double ClickedChannel() { return PixelToChannel(ClickPixelX) - 1; }

bool InInterval(double c) {
  const double r = std::nearbyint(c);
  return r >= IntervalFirst && r <= IntervalLast;
}

void CountLine() { ShowStatus("Click on the point", "Number of points = " + std::to_string(MarkedPointCount)); }

void Square(int32_t x, int32_t y, int32_t colour) {
  TImageCanvas& c = Form1.Image2.canvas;
  for (int32_t dy = -1; dy <= 1; ++dy)
    for (int32_t dx = -1; dx <= 1; ++dx) c.SetPixel(x + dx, y + dy, colour);
}

}  // namespace

void Image2MouseDown(TMouseButton button, int32_t x, int32_t y) {
  if (button == TMouseButton::Right) {
    if (const TSpectrum* sp = SpectrumOrNull(CurrentSpectrum)) {
      IntervalFirst = sp->WorkFirst;
      IntervalLast = sp->WorkLast;
    }
    RedrawGraph();
    if (MarkedPointCount > 0) ShowPointMarkers();
    return;
  }
  ClickPixelX = x;
  ClickPixelY = y;
  switch (GraphMode) {
    case 1:
    case 2: {
      const double c = ClickedChannel();
      if (LogXScale != 0) return;
      if (InInterval(c)) ShowPointInfo(c);
      ClickFlag = 1;
      break;
    }
    case 3:
    case 4:
      ClickFlag = 1;
      break;
    case 5:
      if (MarkedPointCount > 0 && CurrentPointIndex >= 1 &&
          CurrentPointIndex <= std::min(MarkedPointCount, MarkedPointCapacity)) {
        int32_t& m = MarkedPointModels[CurrentPointIndex];
        m = m >= 6 || m < 1 ? 1 : m + 1;
        DrawNumberOnGraph(CurrentPointX, m, LimeColor);
        DialogOk = 1;
      }
      break;
    case 6: {
      // The inverse of the event map's placement: cell i at x = i / NT 474 + 33, row j at
      // y = 300 - j / NE 297 (pixels before the screen scale).
      const double scale = ScreenScale > 0 ? ScreenScale : 1.0;
      const double i = std::nearbyint((x / scale - 33) / 474.0 * EventGridNT) + EventMapFirstT - 1;
      const double j = std::nearbyint((300 - y / scale) / 297.0 * EventGridNE) + EventMapFirstE - 1;
      ShowMapPointInfo(j, i);
      ClickFlag = 1;
      break;
    }
    default:
      break;
  }
}

void MarkIntervalByClicks(double& x1, double& x2) {
  // Ended by its two clicks: every side button off.
  TClickLoopGuard guard("000000000000");
  GraphMode = 3;
  x1 = x2 = 0;
  ShowStatus("Click on the beginning", "");
  if (!WaitForFlag(ClickFlag)) return;
  x1 = ClickedChannel();
  ShowStatus("Click on the beginning", "Click on the end");
  if (!WaitForFlag(ClickFlag)) return;
  x2 = ClickedChannel();
  if (x2 < x1) std::swap(x1, x2);
  x1 = std::max(1.0, x1);
  if (const TSpectrum* sp = SpectrumOrNull(CurrentSpectrum)) x2 = std::min(x2, double(sp->LastChannel));
  DialogOk = 1;
}

void MarkIntervalBounds() {
  if (LogXScale != 0 || GraphMode == 0) return;
  double x1 = 0, x2 = 0;
  MarkIntervalByClicks(x1, x2);
  if (DialogOk != 1) return;
  const auto first = static_cast<int32_t>(std::nearbyint(x1));
  const auto last = static_cast<int32_t>(std::nearbyint(x2));
  uint8_t ok = 0;
  CheckInterval(first, last, ok);
  TSpectrum* sp = SpectrumOrNull(CurrentSpectrum);
  if (ok != 1 || !sp) return;
  GraphIntervalView = 1;
  IntervalFirst = sp->WorkFirst = first;
  IntervalLast = sp->WorkLast = last;
  SetParametersPending(15, 1);
  SideButtonMask = "001111111111";
  RedrawGraph();
}

void MarkPeakModelBounds() {
  if (LogXScale != 0 || GraphMode == 0) return;
  double x1 = 0, x2 = 0;
  MarkIntervalByClicks(x1, x2);
  if (DialogOk != 1) return;
  PeakModelBoundFirst = static_cast<int32_t>(std::nearbyint(x1));
  PeakModelBoundLast = static_cast<int32_t>(std::nearbyint(x2));
}

// The window's look while points are set: lime bold size 8 on maroon; put back on every way out.
class TPointSetLook {
public:
  TPointSetLook() : font_(Form1.font), color_(Form1.color) {
    Form1.font.color = LimeColor, Form1.font.size = 8, Form1.font.bold = true;
    Form1.color = MaroonColor;
    Form1.Changed();
  }
  ~TPointSetLook() {
    Form1.font = font_, Form1.color = color_;
    Form1.Changed();
  }
  TPointSetLook(const TPointSetLook&) = delete;
  TPointSetLook& operator=(const TPointSetLook&) = delete;

private:
  TFontStyle font_;
  int32_t color_;
};

void MarkSetOfPoints() {
  if (LogXScale != 0 || GraphMode == 0) return;
  // OK (1) ends the loop and Cancel (2) takes back a point: both stay on.
  TClickLoopGuard guard("110000000000");
  const TPointSetLook look;
  DialogOk = 1;
  ClearMarkerStrip();
  if (MarkedPointCount > 0) {
    ShowPointMarkers();
    if (Ui().AskYesNo("Reset the counter?", MsgKind::Warning)) {
      SpectrumSlots = "     ";
      SpectrumSlots[static_cast<size_t>(std::clamp(CurrentSpectrum, 0, 4))] = 'x';
      std::fill(std::begin(MarkedPoints), std::end(MarkedPoints), 0.0);
      std::fill(std::begin(MarkedPointModels), std::end(MarkedPointModels), 1);
      MarkedPointCount = 0;
      RedrawGraph();
      ClearMarkerStrip();
    }
  }
  DialogOk = 1;
  CountLine();
  GraphMode = 4;
  while (DialogOk != 0) {
    // A cancelled wait or OK (DialogOk 0) ends the loop before a point is added at the stale click.
    if (!WaitForFlag(ClickFlag) || DialogOk == 0) break;
    if (MarkedPointCount >= MarkedPointCapacity) {
      ShowStatus("The set of points is full: " + std::to_string(MarkedPointCapacity) + " points",
                 "Number of points = " + std::to_string(MarkedPointCount));
      continue;
    }
    const int32_t n = ++MarkedPointCount;
    const double ch = std::nearbyint(ClickedChannel());
    MarkedPoints[n] = ch;
    PointPixelX[n] = ClickPixelX;
    PointPixelY[n] = ClickPixelY;
    if (InInterval(ch)) DrawChannelMarker(1, 0, WhiteColor, ch);
    Square(ClickPixelX, ClickPixelY, WhiteColor);
    CountLine();
    ShowPointInfo(ch);
  }
}

void RemoveLastMarkedPoint() {
  if (MarkedPointCount <= 0) return;
  const int32_t n = std::min(MarkedPointCount, MarkedPointCapacity);
  if (InInterval(MarkedPoints[n])) DrawChannelMarker(0, 0, BlackColor, MarkedPoints[n]);
  Square(PointPixelX[n], PointPixelY[n], BlackColor);
  MarkedPointCount = n - 1;
  CountLine();
}

void AssignTheModels() {
  if (LogXScale != 0) return;
  if (MarkedPointCount <= 0 || (GraphMode != 1 && GraphMode != 2)) {
    ShowStatusLine1("Error, no graph on the screen or no peaks");
    return;
  }
  // OK (1) goes to the next point and Cancel (2) ends: both stay on.
  TClickLoopGuard guard("110000000000");
  DialogOk = 1;
  ShowPointMarkers();
  ShowStatus("Check the model assignments", "Click on OK for next;  on number - to change the model");
  GraphMode = 5;
  for (int32_t k = 1; k <= std::min(MarkedPointCount, MarkedPointCapacity); ++k) {
    CurrentPointX = ChannelColumn(MarkedPoints[k]);
    DrawNumberOnGraph(CurrentPointX, MarkedPointModels[k], FuchsiaColor);
    CurrentPointIndex = k;
    if (!WaitForFlag(ClickFlag) || DialogOk == 1) break;
  }
}

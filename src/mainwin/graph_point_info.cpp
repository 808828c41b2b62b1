#include "mainwin/graph_point_info.h"
#include <algorithm>
#include <cmath>
#include "core/dialog_state.h"
#include "core/dialog_toolkit.h"
#include "core/local_analysis.h"
#include "core/messages.h"
#include "core/model_tables.h"
#include "core/number_format.h"
#include "core/settings_file.h"
#include "core/spectra_utilities.h"
#include "core/spectrum.h"
#include "mainwin/main_window.h"
#include "spectrum/plane_distribution.h"

std::vector<std::string> PointInfoLines;

namespace {

std::string Stripped(int32_t width, int32_t decimals, double x) {
  std::string s = FormatNumber(width, decimals, x);
  std::erase(s, ' ');
  return s;
}

void Show() {
  Form4.ListBox1.items = PointInfoLines;
  Form4.visible = true;
  Form1.Changed();
}

// The first reflection (phase order, then list order) whose d lies on channel round(c).
bool ReflectionAt(TSpectrum& sp, double c, int32_t& phase, int32_t& j) {
  const double r = std::nearbyint(c);
  for (phase = 1; phase <= std::clamp(PhaseCount, 0, MaxPhases); ++phase) {
    const int32_t n = std::clamp(PhaseTable[phase].ReflectionCount, 0, MaxReflections);
    for (j = 1; j <= n; ++j) {
      const double d = HklTable[j][phase].d;
      if (d > 0 && std::nearbyint(sp.DToChannel(d)) == r) return true;
    }
  }
  return false;
}
}  // namespace

void PlacePointInfoForm(int32_t y) {
  Form4.left = Form1.left + Scaled(420);
  Form4.top = Form1.top + Scaled(y);
  Form4.width = Scaled(200);
  Form4.height = Scaled(90);
  Form4.ListBox1.visible = false;
}

void ShowPointInfoBox() {
  PlacePointInfoForm(44);
  TListBox& l = Form4.ListBox1;
  l.SetBounds(Scaled(5), Scaled(5), Scaled(190), Scaled(80));
  l.items.clear();
  l.font.color = AquaColor;
  l.font.bold = true;
  l.font.fixedPitch = true;
  l.font.size = FontSize;
  l.color = BlackColor;
  l.visible = true;
  PointInfoLines.clear();
}

void ShowChannelInfo(double c) {
  TSpectrum* sp = SpectrumOrNull(CurrentSpectrum);
  if (!sp || !std::isfinite(c)) return;
  ShowPointInfoBox();
  // Every channel read below lies in the spectrum's loaded range.
  const int32_t lo = std::clamp(sp->FirstChannel, 1, MaxChannels);
  const int32_t hi = std::clamp(sp->LastChannel, lo, MaxChannels);
  const int32_t r = std::clamp(static_cast<int32_t>(std::nearbyint(c)), lo, hi);
  std::string channel = Stripped(10, 1, c);
  if (sp->AxisKind == AxisAngular) channel += "-" + Stripped(10, 2, sp->X[r]);
  PointInfoLines.push_back(" Channel =  " + channel);
  PointInfoLines.push_back(" Counts  =  " + Stripped(12, 1, sp->Y[r]));
  if (Form2ClickMode == 4) {
    PointInfoLines.push_back(" Energy  =  " + Stripped(18, 1, sp->X[r]));
  } else if (sp->AxisKind == AxisTimeOfFlight || sp->AxisKind == AxisAngular) {
    PointInfoLines.push_back(" d       =  " + Stripped(10, 4, sp->ChannelToD(c)));
    int32_t phase = 0, j = 0;
    if (ReflectionAt(*sp, c, phase, j)) {
      const THklRecord& h = HklTable[j][phase];
      std::string line = " hkls    =  " + std::to_string(h.h) + " " + std::to_string(h.k) + " " + std::to_string(h.l);
      if (PhaseCount > 1) line += " (" + std::to_string(phase) + ")";
      PointInfoLines.push_back(line);
    }
  } else {
    PointInfoLines.push_back(" X      =  " + Stripped(10, 4, sp->X[r]));
  }
  int32_t ok = 0;
  double sum = 0, position = r;
  RefinePeakPosition(sp->Y, hi, hi, ok, sum, position);
  PointInfoLines.push_back(Stripped(10, 1, position));
  if (ok == 1) {
    double width = 0;
    PeakHalfWidthAt(sp->Y, hi, std::clamp(static_cast<int32_t>(std::nearbyint(position)), lo, hi), width, hi);
    PointInfoLines.push_back(" Width   =  " + Stripped(10, 1, width));
  } else {
    // Second moment of the seven channels about r, held to the loaded channels; normalised by
    // the absolute count of the last of them.
    const int32_t a = std::max(r - 3, lo), b = std::min(r + 3, hi);
    double m = 0;
    for (int32_t i = a; i <= b; ++i) m += std::fabs(sp->Y[i]) * double(i - r) * double(i - r);
    const double mom = std::sqrt(m / std::max(1e-4, std::fabs(sp->Y[b])));
    PointInfoLines.push_back(" 2nd Mom = " + Stripped(10, 1, mom));
  }
  Show();
}

void ShowMapPointInfo(double y, double x) {
  if (!(x >= 1 && x <= std::min(EventGridNT, PlaneGridMax) && y >= 1 && y <= std::min(EventGridNE, PlaneGridMax)))
    return;
  const int32_t cell = static_cast<int32_t>((y - 1) * EventGridNT + x);
  ShowPointInfoBox();
  PointInfoLines.push_back(" Channel X =  " + Stripped(6, 0, x));
  PointInfoLines.push_back(" Channel Y =  " + Stripped(6, 0, y));
  PointInfoLines.push_back(" Value= " + Stripped(8, 0, PlaneWindow.grid[cell]));
  Show();
}

void InstallPointInfoHook() { ShowPointInfoHook = ShowChannelInfo; }

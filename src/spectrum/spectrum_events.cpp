// Events to spectrum: the event file parsed once, one histogram pass per layer, the layer
// centroids, the decay-constant line fit and the small graph of the layer results.
#include "spectrum/spectrum_events.h"
#include <algorithm>
#include <cmath>
#include <string>
#include "core/dialog_toolkit.h"
#include "core/line_fits.h"
#include "core/neighbour_services.h"
#include "core/numeric_arrays.h"
#include "core/settings_file.h"
#include "core/spectra_utilities.h"
#include "core/spectrum.h"
#include "core/text_file.h"
#include "core/toolbox.h"
#include "core/ui_backend.h"
#include "spectrum/spectrum_checks.h"

TEventSettings EventSettings;

namespace {

constexpr size_t ProgressStep = 50000;

struct TLayerResult {
  double value = 0.0, centroid = 0.0, error = 1.0;
};
std::vector<TLayerResult> LayerResults;

double Round2(double x) { return std::nearbyint(x * 100.0) / 100.0; }

bool AskEventSettings(TEventSettings& s) {
  SetHelpLines(EventsToSpectrumHelp);
  DialogCaption = "Transform Events to the Spectrum";
  BeginDialog(1);
  Form2.color = TealColor;
  PlaceLabel(Form2.Label5, 5, 5, "Check the bounds:        Left           Right", YellowColor, TealColor);
  static const char* const captions[7] = {" Range 1", " Range 2", " Range 3", " Range 4", " Energy en1 / en2",
                                          " Time t1 / t2", " delta E /delta T"};
  const double left[7] = {s.low[1], s.low[2], s.low[3], s.low[4], double(s.en1), double(s.t1), double(s.dE)};
  const double right[7] = {s.high[1], s.high[2], s.high[3], s.high[4], double(s.en2), double(s.t2), double(s.dT)};
  for (int32_t i = 1; i <= 7; ++i) {
    DialogFieldLabels[i] = captions[i - 1];
    DialogFieldValues[i][1] = left[i - 1];
    DialogFieldValues[i][2] = right[i - 1];
  }
  DialogColumnWidths[0] = 120, DialogColumnWidths[1] = 80, DialogColumnWidths[2] = 80;
  ShowNumberGrid(20, 25, 7, 10, 2, 7);
  PlaceLabel(Form2.Label6, 5, 200, "Select the sampling" + LineBreak + "column", WhiteColor, TealColor);
  SetDialogOptions({" 1", " 2", " 3", " 4"}, std::clamp(s.column, 1, 4));
  ShowRadioGroup(1, 1, 5, 90, 120, 235);
  PlaceLabel(Form2.Label7, 150, 200, "Select output format", WhiteColor, TealColor);
  SetDialogOptions({" counts", " channel, counts"}, std::clamp(s.format, 1, 2));
  ShowRadioGroup(2, 1, 150, 50, 200, 220);
  DialogEditLabel1 = " Output Spectrum Length= ";
  DialogEditText1 = std::to_string(s.length);
  ShowEditFields(150, 330, 290, 1, 70);
  NumberEdit(1);
  ShowDialogModal();
  if (DialogOk != 1) return false;

  double v[2][8] = {};
  for (int32_t col = 0; col < 2; ++col)
    for (int32_t row = 1; row <= 7; ++row) {
      StrToFloatChecked(Form2.StringGrid1.Cell(col, row - 1), v[col][row]);
      if (!std::isfinite(v[col][row])) DialogOk = 0;
    }
  double len = 0.0;
  StrToFloatChecked(Form2.Edit1.text, len);
  if (DialogOk != 1) return false;
  auto whole = [](double x) { return RoundHalfEven(std::clamp(x, -1.0e9, 1.0e9)); };
  for (int32_t i = 1; i <= 4; ++i) s.low[i] = v[0][i], s.high[i] = v[1][i];
  s.en1 = whole(v[0][5]), s.en2 = whole(v[1][5]);
  s.t1 = whole(v[0][6]), s.t2 = whole(v[1][6]);
  s.dE = whole(v[0][7]), s.dT = whole(v[1][7]);
  s.length = whole(len);
  s.column = Form2.RadioGroup1.itemIndex + 1;
  s.format = std::clamp(Form2.RadioGroup2.itemIndex + 1, 1, 2);
  return true;
}

// The refusals of settings that cannot make layers.
bool SettingsUsable(const TEventSettings& s) {
  if (s.column != 1 && s.column != 2) {
    ShowMsg("Only column 1 (energy) or 2 (time) can be sampled");
    return false;
  }
  if ((s.column == 1 ? s.dE : s.dT) <= 0) {
    ShowMsg("The layer step must be positive");
    return false;
  }
  if (s.length < 1 || s.length > MaxChannels) {
    ShowMsg("Output spectrum length must lie in 1.." + std::to_string(MaxChannels));
    return false;
  }
  return true;
}

void ShowProgress(size_t count) {
  ResetDialogForm(300, 100);
  PlaceLabel(Form2.Label1, 10, 20, "   " + std::to_string(count) + " events read in", WhiteColor, BlackColor);
  ShowDialogModeless();
}

void FitAndPlot() {
  const int32_t n = static_cast<int32_t>(LayerResults.size());
  for (const TLayerResult& r : LayerResults)
    LogLine(FormatFixed(9, 2, r.value) + FormatFixed(9, 2, r.centroid) + FormatFixed(9, 2, r.error));
  for (int32_t k = 1; k <= n; ++k) {
    const TLayerResult& r = LayerResults[static_cast<size_t>(k - 1)];
    LineFitPoints[k] = {r.centroid, std::log(std::fabs(r.value) + 1.0), std::sqrt(1.0 / r.error)};
  }
  TLineFit fit;
  FitStraightLine(n, 0, fit, "comment", LogFile);
  if (fit.ok != 0 && fit.slope != 0.0 && std::isfinite(fit.slope))
    LogLine("tau= " + FormatFixed(9, 2, 1.0 / fit.slope));
  else
    LogLine("tau= undefined: the line fit failed or is flat");
  int32_t m = 1;
  for (int32_t k = 1; k <= n; ++k) {
    LineFitPoints[k].y = std::exp(LineFitPoints[k].y);
    m = std::max(m, 1 + RoundHalfEven(std::clamp(LineFitPoints[k].x, -1.0e9, 1.0e9)));
  }
  PlotLayerResults(n, m);
}

}  // namespace

std::vector<TEventPair> ParseEventFile(TextFile& f) {
  std::vector<TEventPair> events;
  while (!f.Eof()) {
    ReadNextLine(f);
    int32_t n = 0;
    ParseNumbers(n, InputLine);
    // A line without two numbers is no event (it must not repeat the previous one).
    if (n >= 2) events.push_back({NumberBuffer[1], NumberBuffer[2]});
  }
  return events;
}

void HistogramLayer(const TEventPair* events, size_t count, int32_t column, double lo1, double hi1, double lo2,
                    double hi2, double* y) {
  for (size_t i = 0; i < count; ++i) {
    const TEventPair& e = events[i];
    if (e.v1 < lo1 || e.v1 > hi1 || e.v2 < lo2 || e.v2 > hi2) continue;
    const double v = column == 1 ? e.v2 : e.v1;
    if (!(v >= 0.5 && v < MaxChannels + 0.5)) continue;  // channel 1..32768 after rounding
    y[static_cast<int32_t>(std::nearbyint(v))] += 1.0;
  }
}

void LayerCentroid(const double* y, int32_t a, int32_t b, double& centroid, double& error) {
  double s0 = 0.0, s1 = 0.0, s2 = 0.0;
  for (int32_t k = std::max(a, 1); k <= std::min(b, MaxChannels); ++k) {
    const double w = std::max(y[k], 0.0);
    if (w <= 1.0) continue;  // the threshold of the peak search's sensitivity 1.0
    s0 += w, s1 += k * w, s2 += double(k) * k * w;
  }
  centroid = Round2(s1 / std::max(1.0, s0));
  error = Round2(std::sqrt(std::fabs(s2)) / std::max(1.0, s0));
}

void PlotLayerResults(int32_t n, int32_t m) {
  n = std::min(n, LineFitCapacity);
  if (n < 2) {
    ShowMsg("Number of points <2");
    return;
  }
  PrepareDialog(420, 0, 430);
  ShowDialogGraph();
  TImageCanvas& c = Form2.Image1.canvas;
  double ymax = -1e14, ymin = 1e14;
  for (int32_t k = 1; k <= n; ++k) ymax = std::max(ymax, LineFitPoints[k].y), ymin = std::min(ymin, LineFitPoints[k].y);
  for (int32_t i = 0; i < 5; ++i)
    for (int32_t x = 0; x < c.Width(); x += 3) c.SetPixel(x, Scaled(13 + 50 * i), LimeColor);
  for (int32_t i = 1; i <= 4; ++i)
    for (int32_t y = 0; y < c.Height(); y += 3) c.SetPixel(Scaled(7 + 63 * i), y, LimeColor);
  c.Pen.color = WhiteColor;
  for (int32_t k = 1; k <= n; ++k) {
    const int32_t x = Scaled(7 + (LineFitPoints[k].x - 1) * 180 / std::max(1e-4, double(m)));
    const int32_t y = Scaled(203 - (LineFitPoints[k].y - ymin) / std::max(1e-6, ymax - ymin) * 190);
    if (k == 1) c.MoveTo(x, y);
    else c.LineTo(x, y);
    for (int32_t dx = -2; dx <= 2; ++dx)
      for (int32_t dy = -1; dy <= 1; ++dy) c.SetPixel(x + dx, y + dy, YellowColor);
  }
  PlaceLabel(Form2.Label1, 5, 5, "Tested " + std::to_string(n) + " peaks", WhiteColor, BlackColor);
  ShowDialogModal();
}

void EventsToSpectrum() {
  std::string name = EventFileDir.empty() ? "events.dat" : EventFileDir + "/events.dat";
  AskFileName(name, 0);
  if (DialogOk != 1 || name.empty()) return;
  TextFile f;
  if (!f.TryReset(name)) {
    ShowMsg("The event file " + name + " cannot be read");
    return;
  }
  LogLine("The event file = " + name);
  TSpectrum* s1 = SpectrumAt(1);
  if (!s1) return;
  std::fill(s1->Y + 1, s1->Y + 16385, 0.0);
  TEventSettings s = EventSettings;
  if (!AskEventSettings(s)) return;
  EventSettings = s;
  if (!SettingsUsable(s)) return;
  std::string base;
  BaseFileName(name, base);
  LogLine(FormatInteger(2, 3) + " events in each data line");
  const std::vector<TEventPair> events = ParseEventFile(f);
  f.Close();

  const int32_t c = s.column;
  const int32_t stop = c == 1 ? s.en2 : s.t2;
  // Each layer clears 1..L and the whole window of the histogram axis (t2 or en2 may exceed L).
  const int32_t winHi = std::clamp(c == 1 ? s.t2 : s.en2, 1, MaxChannels);
  const int32_t clearTo = std::max(s.length, winHi);
  LayerResults.clear();
  size_t scanned = 0;
  for (int32_t n = 0;; ++n) {
    if (n >= LineFitCapacity) {
      ShowMsg("Too many layers: at most " + std::to_string(LineFitCapacity));
      break;
    }
    const double step = c == 1 ? s.dE : s.dT;
    const double lo = (c == 1 ? s.en1 : s.t1) + n * step, hi = lo + step;
    const double lo1 = c == 1 ? lo : s.en1, hi1 = c == 1 ? hi : s.en2;
    const double lo2 = c == 1 ? s.t1 : lo, hi2 = c == 1 ? s.t2 : hi;
    std::fill(s1->Y + 1, s1->Y + clearTo + 1, 0.0);
    LogLine("Layer" + FormatInteger(n, 5) + "  iout= " + FormatInteger(c, 3));
    for (size_t at = 0; at < events.size(); at += ProgressStep) {
      const size_t chunk = std::min(ProgressStep, events.size() - at);
      HistogramLayer(events.data() + at, chunk, c, lo1, hi1, lo2, hi2, s1->Y);
      if (chunk == ProgressStep) ShowProgress(at + chunk);
    }
    scanned = events.size();
    double centroid = 0.0, error = 0.0;
    LayerCentroid(s1->Y, c == 1 ? s.t1 : s.en1, c == 1 ? s.t2 : s.en2, centroid, error);
    const int32_t v = RoundHalfEven(std::clamp(lo + 50.0, -1.0e9, 1.0e9));
    LogLine(c == 1 ? "Energy " + FormatInteger(v, 9) + "  Time " + FormatFixed(9, 2, centroid) + "  Error " +
                         FormatFixed(9, 2, error)
                   : "Time " + FormatInteger(v, 9) + "  Energy " + FormatFixed(9, 2, centroid) + "  Error " +
                         FormatFixed(9, 2, error));
    std::string g;
    FormatNumberFit(15, g, centroid);
    const std::string question = std::to_string(n) + "th layer" + "   " + base + std::to_string(n) + ".sp" +
                                 LineBreak + std::to_string(v) + "   " + g;
    if (!Ui().AskYesNo(question, MsgKind::Warning)) break;
    LayerResults.push_back({double(v), centroid, std::max(std::fabs(error), 1.0)});
    if (v > stop) break;
  }
  s1->Present = 1;
  s1->ComputeYRange();
  InfoLines.count = 0;
  AddInfoLine(std::to_string(scanned) + " events scanned for column = " + std::to_string(c));
  ShowInfoWindow();
  FitAndPlot();
}

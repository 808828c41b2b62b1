#include "mainwin/gph_file.h"
#include <algorithm>
#include <cmath>
#include <vector>
#include "core/canvas.h"
#include "core/dialog_state.h"
#include "core/dialog_toolkit.h"
#include "core/graph_drawing.h"
#include "core/help_texts.h"
#include "core/info_window.h"
#include "core/messages.h"
#include "core/model_switches.h"
#include "core/model_tables.h"
#include "core/number_format.h"
#include "core/number_parse.h"
#include "core/settings_file.h"
#include "core/spectra_utilities.h"
#include "core/spectrum.h"
#include "core/text_file.h"
#include "core/toolbox.h"
#include "crystal/fit_summary.h"
#include "mainwin/main_window.h"

namespace {

const char* const GphHeader[5] = {"*    Meaning of columns:", "* Channel (or d (angstroem) or angle (2theta))",
                                  "* Exp., Fit and Difference values (scaled to 1000)",
                                  "* d and Peak indicators (0 or 1)", "* Background and single phases"};

// Right-aligned in its field; a text that fills the field (or is wider) gets one blank before it,
// so that the reader, which splits a row at blanks, never sees two columns joined.
void PutText(std::string& line, int32_t width, const std::string& text) {
  if (static_cast<int32_t>(text.size()) < width) line.append(static_cast<size_t>(width) - text.size(), ' ');
  else if (!line.empty() && !text.empty() && text.front() != ' ') line += ' ';
  line += text;
}

// Right-aligned fixed point; a number wider than its field widens it (never asterisks).
void Put(std::string& line, int32_t width, int32_t decimals, double x) { PutText(line, width, FormatFixed(0, decimals, x)); }

// indicator[ch - first]: the first phase with a reflection on channel ch (its d as a channel,
// rounded), 0 when none.
void ReflectionIndicators(TSpectrum& sp, int32_t first, int32_t last, std::vector<uint8_t>& indicator) {
  indicator.assign(static_cast<size_t>(last - first + 1), 0);
  if (MainMode != 0 && MainMode != 2) return;
  for (int32_t k = 1; k <= std::clamp(PhaseCount, 0, MaxPhases); ++k) {
    const int32_t n = std::clamp(PhaseTable[k].ReflectionCount, 0, MaxReflections);
    for (int32_t j = 1; j <= n; ++j) {
      const double d = HklTable[j][k].d;
      if (!(d > 0)) continue;
      const double c = std::nearbyint(sp.DToChannel(d));
      if (!(c >= first && c <= last)) continue;
      uint8_t& slot = indicator[static_cast<size_t>(c - first)];
      if (slot == 0) slot = static_cast<uint8_t>(k);
    }
  }
}

void WriteGph(const std::string& fileName) {
  DialogCaption = "Enter the gph-file name";
  BeginDialog(1);
  SetHelpLines(ProfileFileHelp);
  TSpectrum* sp = SpectrumAt(CurrentSpectrum);
  if (!sp) return;
  SpectrumSlots = "     ";
  SpectrumSlots[static_cast<size_t>(std::clamp(CurrentSpectrum, 0, 4))] = 'x';
  double ymax = 1, ymin = 0;
  SpectraYRange(SpectrumSlots, ymax, ymin);
  const double scale = 1000.0 / std::max(ymax, std::fabs(ymin));  // ymax >= 1
  int32_t first = 0, last = 0;
  WorkingRange(*sp, first, last);

  static std::vector<uint8_t> indicator;
  if (last >= first) ReflectionIndicators(*sp, first, last, indicator);
  const bool fitted = FitPending[std::clamp(MainMode, 0, ModeCount - 1)] == 0;
  const int32_t parts = MainMode == 3 ? std::clamp(MarkedPointCount, 0, ModelOutputSize - 2)
                        : MainMode == 1 ? 0
                                        : std::clamp(PhaseCount, 0, MaxPhases);
  TextFile f;
  f.Rewrite(fileName);
  for (const char* h : GphHeader) f.WriteLine(h);
  static std::string line;
  for (int32_t i = first; i <= last; ++i) {
    double model = 0, bg = 0;
    if (fitted && !EvaluateModelAt(CurrentSpectrum, i, model, bg)) model = bg = 0;
    const double exp = sp->Y[i] * scale, fit = model * scale;
    const double d = std::min(sp->ChannelToD(i), 99.0);
    line.clear();
    std::string dText = sp->AxisKind == AxisAny ? std::string(" 0") : FormatFixed(8, 4, d);
    if (sp->AxisKind == AxisAngular)
      Put(line, 7, 2, sp->X[i]);
    else if (GraphXAxis == 1 && sp->AxisKind == AxisTimeOfFlight)
      PutText(line, 7, dText);
    else if (GraphXAxis == 1)
      Put(line, 7, std::fabs(sp->X[i]) > 999 ? 0 : 3, sp->X[i]);
    else
      Put(line, 7, 0, i);
    Put(line, 8, 0, exp);
    Put(line, 8, 0, fit);
    Put(line, 8, 1, (exp - fit) / std::max(0.01, sp->E[i] * scale));
    PutText(line, 8, dText);
    Put(line, 2, 0, indicator[static_cast<size_t>(i - first)]);
    Put(line, 8, 0, bg * scale);
    for (int32_t k = 1; k <= parts; ++k) Put(line, 8, 0, fitted ? (bg + ModelOutput[1 + k]) * scale : 0.0);
    f.WriteLine(line);
  }
  f.Close();
}

// Five-pixel cross.
void Cross(TImageCanvas& c, int32_t x, int32_t y, int32_t colour) {
  c.SetPixel(x, y, colour);
  c.SetPixel(x - 1, y, colour);
  c.SetPixel(x + 1, y, colour);
  c.SetPixel(x, y - 1, colour);
  c.SetPixel(x, y + 1, colour);
}

struct TGphRow {
  double exp, fit, difference, d;
};

void ReadGph(TImageCanvas& image) {
  DialogCaption = "Enter the gph-file name";
  BeginDialog(0);
  std::string name = WorkDir + "/" + "m.gph";
  AskFileName(name, 0);
  if (DialogOk != 1) return;
  TextFile f;
  if (!f.TryReset(name)) {
    ShowMsg(name + " can not be opened");
    DialogOk = 0;
    return;
  }
  std::vector<TGphRow> rows;
  bool abnormal = false;
  while (!f.Eof()) {
    const std::string text = f.ReadLine();
    if (!text.empty() && text[0] == '*') continue;
    int32_t n = 0;
    ParseNumbers(n, text);
    if (n == 0) continue;
    if (!rows.empty() && (n < 7 || NumberBuffer[2] > 1000 || NumberBuffer[3] > 1000)) abnormal = true;
    rows.push_back({NumberBuffer[2], NumberBuffer[3], NumberBuffer[4], NumberBuffer[5]});
  }
  f.Close();
  // A file without data rows is empty for the drawing, and the interval stays.
  if (rows.empty()) {
    ShowMsg("gph.file is empty");
    DialogOk = 0;
    return;
  }
  if (abnormal) ShowMsg(name + " is not a normal gph.file");
  const auto r = static_cast<int32_t>(rows.size());
  IntervalFirst = 1;
  IntervalLast = r;
  NChannels = r;
  GraphMode = 0;

  image.Brush.color = BlackColor;
  image.Brush.style = TBrushStyle::Solid;
  image.FillRect(0, 0, Scaled(516), Scaled(324));
  image.Font.color = WhiteColor;
  image.Font.size = 8;
  const auto row = [](double v) {
    return Scaled(std::isfinite(v) ? ValueToPixelRow(-10, 1000, v) - 10 : 0);
  };
  // Below eight rows every row gets its d label.
  const int32_t step = std::max(1, r / 8);
  const auto start = static_cast<int32_t>(std::nearbyint(r * 0.06640625));
  int32_t px = 0, py = 0;
  for (int32_t k = 1; k <= r; ++k) {
    const TGphRow& g = rows[static_cast<size_t>(k - 1)];
    const int32_t x = Scaled(static_cast<int32_t>(std::nearbyint(k * 512.0 / r)));
    image.SetPixel(x, row(g.difference), RedColor);
    Cross(image, x, row(g.exp), FuchsiaColor);
    const int32_t y = row(g.fit);
    image.Pen.color = AquaColor;
    image.Pen.style = TPenStyle::Solid;
    if (k > 1) {
      image.MoveTo(px, py);
      image.LineTo(x, y);
    }
    image.SetPixel(x, y, AquaColor);
    px = x, py = y;
    if (k >= start && (k - start) % step == 0) image.TextOut(x - Scaled(22), Scaled(302), FormatNumberNoBlanks(3, g.d));
  }
  for (int32_t k = 1; k <= 8; ++k)
    for (int32_t j = 0; j < 58; ++j) image.SetPixel(Scaled(34 + 64 * (k - 1)), Scaled(5 * j), LimeColor);
  image.Font.size = FontSize;
  Form1.Image2.visible = true;
  Form1.Changed();
}

}  // namespace

void GphFile(TImageCanvas& image, int32_t mode, const std::string& fileName) {
  if (mode == 0)
    WriteGph(fileName);
  else if (mode == 1)
    ReadGph(image);
}

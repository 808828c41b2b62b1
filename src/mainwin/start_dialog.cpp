#include "mainwin/start_dialog.h"
#include <algorithm>
#include <cmath>
#include <string>
#include "core/dialog_toolkit.h"
#include "core/info_window.h"
#include "core/messages.h"
#include "core/settings_file.h"
#include "mainwin/session.h"

uint8_t StartDialogAccepted = 1;

namespace {
// Widths of the demonstration peaks: left flank, right flank, negative tail.
constexpr double kWl = 12.0, kWr = 4.0, kWt = 10.0;
struct DemoPeak {
  double c, e, h, t;
};
constexpr DemoPeak kDemoPeaks[4] = {{80, 85, 100, 40}, {150, 154, 60, 35}, {215, 220, 80, 35}, {232, 236, 50, 35}};

constexpr const char* kModeLines[8] = {
    " RIETVELD ANALYSIS  ", " POWDER MATCH       ", " POWDER INDEXING    ", " PEAK FITTING       ",
    " FOURIER SYNTHESIS  ", " SPECTRUM TRANSFORM ", " PHASE EVOLUTION    ", " EXPONENTIAL FITTING"};

// Demonstration peak k (1..4) at x.
double DemonstrationPeak(int32_t k, double x) {
  const DemoPeak& p = kDemoPeaks[k - 1];
  return PeakShapeValue(x, p.c, p.e, p.h, p.t, kWl, kWr, kWt);
}

int32_t Rounded(double v) { return static_cast<int32_t>(std::nearbyint(v)); }

void Text(TImageCanvas& c, int32_t x, int32_t y, const char* s, int32_t colour, int32_t back) {
  c.Font.color = colour;
  c.Brush.style = TBrushStyle::Solid;
  c.Brush.color = back;
  c.TextOut(x, y, s);
}

// The cell's four lines under the sketch, each at its row or below the line before it (a line's
// cell is filled, so an overlap would cut the line above), all above the product name at row 170:
// the font is made smaller until they fit.
void DrawCellLines(TImageCanvas& c) {
  struct Line {
    int32_t x, y;
    const char* text;
  };
  static constexpr Line kLines[] = {{269, 97, "Unit cell=hexagonal"},
                                    {267, 110, "Screw Axis Symmetry"},
                                    {270, 135, "   a = 7.2464 ang"},
                                    {270, 152, "   c = 18.4432 ang"}};
  constexpr int32_t kBelow = 170;
  auto bottom = [&c] {
    int32_t y = 0;
    for (const Line& l : kLines) y = std::max(l.y, y) + c.TextHeight(l.text);
    return y;
  };
  while (c.Font.size > 6 && bottom() > kBelow) --c.Font.size;
  int32_t y = 0;
  for (const Line& l : kLines) {
    y = std::max(l.y, y);
    Text(c, l.x, y, l.text, YellowColor, BlackColor);
    y += c.TextHeight(l.text);
  }
}

// An atom of the sketch: a disc of radius 4 in fill with an outline in line.
void Atom(TImageCanvas& c, int32_t x, int32_t y, int32_t fill, int32_t line) {
  c.Pen = {line, TPenStyle::Solid, 1};
  c.Brush = {fill, TBrushStyle::Solid};
  c.Ellipse(x - 4, y - 4, x + 5, y + 5);
}

void Line(TImageCanvas& c, int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t colour, TPenStyle style) {
  c.Pen = {colour, style, 1};
  c.MoveTo(x1, y1);
  c.LineTo(x2, y2);
}

// Two flattened hexagons (the base planes of a hexagonal cell seen from above the a axis)
// joined by the vertical edges; atoms at the corners and inside.
void DrawHexagonalCell(TImageCanvas& c) {
  constexpr int32_t xs[6] = {310, 325, 365, 380, 365, 325};
  constexpr int32_t ys[6] = {20, 15, 15, 20, 25, 25};
  constexpr int32_t drop = 70;
  // Corners 1 and 2 are at the back: their edges are dotted.
  auto back = [](int32_t i) { return i == 1 || i == 2; };
  for (int32_t level = 0; level < 2; ++level) {
    const int32_t dy = level * drop;
    for (int32_t i = 0; i < 6; ++i) {
      const int32_t j = (i + 1) % 6;
      const bool dotted = back(i) && back(j);
      Line(c, xs[i], ys[i] + dy, xs[j], ys[j] + dy, WhiteColor, dotted ? TPenStyle::Dot : TPenStyle::Solid);
    }
  }
  for (int32_t i = 0; i < 6; ++i)
    Line(c, xs[i], ys[i], xs[i], ys[i] + drop, WhiteColor, back(i) ? TPenStyle::Dot : TPenStyle::Solid);
  // Atoms inside the cell on the threefold axes, joined to each other and to the corners.
  constexpr int32_t ix[2] = {333, 357}, iy[2] = {45, 65};
  Line(c, ix[0], iy[0], ix[1], iy[1], AquaColor, TPenStyle::Solid);
  Line(c, ix[0], iy[0], xs[0], ys[0] + drop, AquaColor, TPenStyle::Dot);
  Line(c, ix[1], iy[1], xs[3], ys[3], AquaColor, TPenStyle::Dot);
  Line(c, ix[0], iy[0], xs[5], ys[5], AquaColor, TPenStyle::Solid);
  Line(c, ix[1], iy[1], xs[4], ys[4] + drop, AquaColor, TPenStyle::Solid);
  for (int32_t level = 0; level < 2; ++level)
    for (int32_t i = 0; i < 6; ++i) Atom(c, xs[i], ys[i] + level * drop, MaroonColor, YellowColor);
  for (int32_t k = 0; k < 2; ++k) Atom(c, ix[k], iy[k], AquaColor, WhiteColor);
}
}  // namespace

double PeakShapeValue(double x, double c, double e, double h, double t, double wl, double wr, double wt) {
  if (x < 1.0 || x > 300.0) return 0.0;
  if (x <= c) return h * std::exp(-std::pow((x - c) / wl, 2));
  if (x <= e) return h * std::exp(-std::pow((x - c) / wr, 2));
  return -t * std::exp(-std::pow((x - c) / wt, 2));
}

void DrawStartDialog() {
  SetHelpLines(StartHelp);
  ResetDialogForm(Rounded(780 / ScreenScale), Rounded(580 / ScreenScale));
  Form2.caption = kStartBanner;
  TImage& image = Form2.Image1;
  TImageCanvas& c = image.canvas;
  c.Font.size = 12;
  const int32_t savedFontSize = FontSize;
  FontSize = 12;
  PlaceOkCancelHelp(300, 370, 60);
  FontSize = savedFontSize;
  PlaceBevel(Form2.Bevel1, 230, 380, 90, 320);

  // The background: an aqua diagonal-cross hatch on white.
  c.Resize(780, 580);
  c.Brush = {WhiteColor, TBrushStyle::Solid};
  c.FillRect(0, 0, 780, 580);
  c.Brush = {AquaColor, TBrushStyle::DiagCross};
  c.FillRect(0, 0, 780, 580);
  c.Font = {YellowColor, 48, true, false};
  c.Brush.style = TBrushStyle::Clear;
  c.TextOut(200, 250, "VKEST-2017");
  c.Pen = {RedColor, TPenStyle::Solid, 1};
  c.Brush = {RedColor, TBrushStyle::Solid};
  c.Rectangle(240, 400, 540, 460);
  c.Font = {BlackColor, 12, false, false};
  c.TextOut(280, 400, "Click OK to go to the program");
  c.TextOut(280, 418, "Click Cancel to exit");
  c.TextOut(280, 436, "Click Help for introductory info");

  // The analysis modes, for information only.
  InfoLines.count = 0;
  for (const char* line : kModeLines) AddInfoLine(line);
  PlaceListBox(Form2.ListBox1, 465, 5, 170, 245);
  Form2.ListBox1.font = {LimeColor, 12, true, true};
  LoadInfoLines(Form2.ListBox1);

  TCheckBox& box = Form2.CheckBox1;
  box.SetBounds(Scaled(10), Scaled(370), Scaled(180), Scaled(18));
  box.visible = box.enabled = true;
  box.color = BlackColor;
  box.font = {YellowColor, 12, true, false};
  box.caption = kEraseQuorinCaption;
  box.checked = true;

  // The demonstration graph: the sum of the four peaks (aqua, each point a magenta block),
  // then peaks 3 and 4 alone as yellow points.
  c.Pen = {RedColor, TPenStyle::Solid, 1};
  c.Brush = {BlackColor, TBrushStyle::Solid};
  c.Rectangle(0, 0, 370 + 50, Scaled(150) + 50);
  c.Pen = {AquaColor, TPenStyle::Solid, 1};
  c.MoveTo(0, 130);
  for (int32_t i = 1; i <= Scaled(300) - 1; ++i) {
    const int32_t x = i + 8;
    int32_t s = 10;
    for (int32_t k = 1; k <= 4; ++k) s += Rounded(DemonstrationPeak(k, x));
    const int32_t y = 140 - s;
    c.LineTo(x, y);
    for (int32_t dx = -1; dx <= 1; ++dx)
      for (int32_t dy = -1; dy <= 1; ++dy) c.SetPixel(x + dx, y + dy, FuchsiaColor);
  }
  for (int32_t x = 178; x <= 278; ++x)
    for (int32_t k = 3; k <= 4; ++k) c.SetPixel(x, 140 - Rounded(DemonstrationPeak(k, x)), YellowColor);

  DrawHexagonalCell(c);

  c.Font = {WhiteColor, 12, true, false};
  Text(c, 50, 170, kProductName, WhiteColor, BlueColor);
  Text(c, 10, 5, " Fragment of a diffraction spectrum ", WhiteColor, BlueColor);
  Text(c, 110, 45, "Chi2/deg=1.05", YellowColor, BlackColor);
  DrawCellLines(c);

  image.SetBounds(0, 0, 780, 580);
  image.visible = image.enabled = true;
}

bool ShowStartDialog() {
  // Its Help speaks the language the user chose in an earlier session here.
  ReadHelpLanguage(SessionFolder() + SettingsFileName);
  DrawStartDialog();
  ShowDialogModal();
  StartDialogAccepted = DialogOk == 1 ? 1 : 0;
  Form2.color = GrayColor;
  return StartDialogAccepted == 1;
}

#include "core/graph_drawing.h"
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include "core/dialog_state.h"
#include "core/messages.h"
#include "core/neighbour_services.h"
#include "core/number_format.h"
#include "core/numeric_arrays.h"
#include "core/settings_file.h"
#include "core/small_routines.h"
#include "core/toolbox.h"
#include "core/ui_backend.h"

TImageCanvas GraphBitmap;
int32_t GraphScaleMode = 0;
double TrimmingCoefficient = 1.0;
int32_t PixelMode = 0;
uint8_t LongReflectionIndicators = 0;
uint8_t GraphFitErrors = 0;
uint8_t LogXScale = 0;

const std::array<int32_t, 10> CurveColors = {0,         RedColor,   FuchsiaColor, AquaColor,  YellowColor,
                                              LimeColor, WhiteColor, BlueColor,    GreenColor, GrayColor};

namespace {
constexpr int32_t MaxCurves = 7;

// A row or column far outside any picture is kept within what a pixel coordinate can hold, so
// that values beyond the scale are simply not seen.
constexpr double PixelLimit = 32000.0;

int32_t ToPixel(double v) {
  if (std::isnan(v)) return static_cast<int32_t>(PixelLimit);
  return static_cast<int32_t>(std::nearbyint(std::clamp(v, -PixelLimit, PixelLimit)));
}

// A row or column rounded first, then scaled, as every position of the plots.
int32_t ScaledPixel(double v) { return Scaled(ToPixel(v)); }

// The previous point of each curve 0..7 for line drawing.
struct TCurvePoint {
  int32_t x = 0, y = 0;
};
std::array<TCurvePoint, 8> PreviousPoint;

enum class PointStyle { Cross, Pixel, Line, None };

void Square3(TImageCanvas& c, int32_t x, int32_t y, int32_t colour) {
  for (int32_t dy = -1; dy <= 1; ++dy)
    for (int32_t dx = -1; dx <= 1; ++dx) c.SetPixel(x + dx, y + dy, colour);
}

void Cross5(TImageCanvas& c, int32_t x, int32_t y, int32_t colour) {
  c.SetPixel(x, y, colour);
  c.SetPixel(x - 1, y, colour);
  c.SetPixel(x + 1, y, colour);
  c.SetPixel(x, y - 1, colour);
  c.SetPixel(x, y + 1, colour);
}

// A line from the curve's previous point to (x, y); the first point of a curve only starts it.
void LineFromPrevious(TImageCanvas& c, int32_t colour, int32_t x, int32_t y, int32_t curve, bool first) {
  if (curve < 0 || curve >= static_cast<int32_t>(PreviousPoint.size())) return;
  TCurvePoint& p = PreviousPoint[static_cast<size_t>(curve)];
  if (!first) {
    c.Pen.color = colour;
    c.MoveTo(p.x, p.y);
    c.LineTo(x, y);
  }
  p = {x, y};
}

void DrawStyled(TImageCanvas& c, PointStyle style, int32_t pointColour, int32_t lineColour, int32_t x,
                int32_t y, int32_t curve, bool first) {
  switch (style) {
    case PointStyle::Cross: Cross5(c, x, y, pointColour); break;
    case PointStyle::Pixel: c.SetPixel(x, y, pointColour); break;
    case PointStyle::Line: LineFromPrevious(c, lineColour, x, y, curve, first); break;
    case PointStyle::None: break;
  }
}

PointStyle StyleOfPixelMode(int32_t mode) {
  switch (mode) {
    case 0: return PointStyle::Cross;
    case 1: return PointStyle::Pixel;
    case 2: return PointStyle::Line;
    default: return PointStyle::None;
  }
}

void DottedRow(TImageCanvas& c, int32_t y, int32_t x0, int32_t step, int32_t count) {
  for (int32_t j = 0; j < count; ++j) c.SetPixel(Scaled(x0 + step * j), y, LimeColor);
}

void DottedColumn(TImageCanvas& c, int32_t x, int32_t y0, int32_t step, int32_t count) {
  for (int32_t j = 0; j < count; ++j) c.SetPixel(x, Scaled(y0 + step * j), LimeColor);
}

// Places the image control, sizes its picture to the frame and shows it.
TImageCanvas& PlaceImage(TImage& image, int32_t x, int32_t y, int32_t width, int32_t height) {
  image.SetBounds(Scaled(x), Scaled(y), Scaled(width), Scaled(height));
  image.visible = true;
  image.canvas.Resize(image.width, image.height);
  return image.canvas;
}

enum class PlotKind { Plain, Evolution };

PointStyle CurveStyle(PlotKind kind, int32_t curve) {
  if (kind == PlotKind::Plain) return StyleOfPixelMode(PixelMode);
  if (TrevoAutoRun != 0) return PixelMode == 2 ? PointStyle::Line : PointStyle::Cross;
  return curve == 1 ? PointStyle::Cross : PointStyle::Line;
}

void PlotCurves(TImage& image, int32_t npoints, int32_t ncurves, int32_t width, int32_t nmarks,
                PlotKind kind) {
  if (ncurves > MaxCurves) ShowMsg("Error, not more than 7 graphs");
  width = std::clamp(width, 0, 4000);
  const int32_t curves = std::clamp(ncurves, 0, MaxCurves);
  // Points beyond NumberBuffer do not exist.
  const int64_t points = std::max<int64_t>(npoints, 0);
  auto index = [&](int64_t k, int64_t i) { return (k - 1) * points + i; };

  TImageCanvas& c = PlaceImage(image, 5, 0, width, 370);
  c.Pen.style = TPenStyle::Solid;
  c.Brush.style = TBrushStyle::Solid;
  c.Brush.color = GreenColor;
  c.FillRect(0, 0, c.Width(), c.Height());
  c.Brush.color = BackgroundColor;
  c.FillRect(0, Scaled(1), c.Width(), Scaled(290) + 1);
  DialogCaption = "Real peak model and its spectrum pattern";
  if (c.Width() == 0) {
    Ui().ImageChanged(c);
    return;
  }

  double max = -1e14, min = 1e14;
  bool hasValues = false;
  for (int64_t k = 1; k <= curves; ++k)
    for (int64_t i = 1; i <= points && index(k, i) <= NumberBufferSize; ++i) {
      double v = NumberBuffer[index(k, i)];
      if (!std::isfinite(v)) continue;
      max = std::max(max, v);
      min = std::min(min, v);
      hasValues = true;
    }
  const double range = std::max(1e-6, max - min);

  for (int32_t k = 1; k <= width / 60; ++k) DottedRow(c, Scaled(283 - 70 * (k - 1)), 7, 4, (width - 10) / 4);

  if (hasValues) {
    for (int32_t k = 1; k <= curves; ++k) {
      const int32_t pointColour = k == 1 ? FuchsiaColor : k == 2 ? AquaColor : YellowColor;
      const PointStyle style = CurveStyle(kind, k);
      for (int64_t i = 1; i <= points && index(k, i) <= NumberBufferSize; ++i) {
        double v = NumberBuffer[index(k, i)];
        if (!std::isfinite(v)) continue;
        int32_t x = ToPixel(Scaled(static_cast<double>((width - 20) * i)) / static_cast<double>(points)) + 1;
        int32_t y = ScaledPixel(283.0 - 280.0 * (v - min) / range);
        DrawStyled(c, style, pointColour, CurveColors[static_cast<size_t>(k)], x, y, k, i == 1);
      }
    }
    // The row of the value zero.
    int32_t zero = ScaledPixel(283.0 + 280.0 * min / range);
    c.Pen.color = LimeColor;
    c.MoveTo(Scaled(1), zero);
    c.LineTo(Scaled(width), zero);
  }

  for (int32_t k = 1; k <= width / 80 + 1; ++k) DottedColumn(c, Scaled(61 + 63 * (k - 1)), -4, 5, 57);

  c.Font.color = WhiteColor;
  c.Font.bold = true;
  c.Font.size = 8;
  c.Brush.color = GreenColor;
  for (int32_t k = 1; k <= std::min({5, InfoLines.count, InfoLineCapacity}); ++k)
    c.TextOut(Scaled(5), Scaled(295 + 15 * (k - 1)), InfoLines.lines[static_cast<size_t>(k)]);
  if (hasValues) {
    std::string mx = FormatNumber(10, 0, max), mn = FormatNumber(10, 0, min);
    DeleteSpaces(mx);
    DeleteSpaces(mn);
    c.TextOut(Scaled(5), Scaled(369), "Mx= " + mx);
    c.TextOut(Scaled(width - 40), Scaled(369), "Mn= " + mn);
  }

  // Markers follow the last curve given (also when more than seven were given).
  if (points > 0) {
    const int64_t first = std::max<int64_t>(ncurves, 0) * points;
    const int64_t marks = std::llabs(static_cast<int64_t>(nmarks));
    const bool tall = nmarks < 0 || LongReflectionIndicators != 0;
    for (int64_t j = 1; j <= marks && first + j <= NumberBufferSize; ++j) {
      double value = NumberBuffer[first + j];
      if (!std::isfinite(value)) continue;
      double m = std::nearbyint(std::clamp(value, -1e9, 1e9));
      int32_t x = ToPixel(Scaled(width - 20) * std::fabs(m) / static_cast<double>(points)) + 1;
      int32_t top = m < 0 ? (tall ? 145 : 295) : (tall ? 135 : 285);
      int32_t bottom = m < 0 ? 305 : 295;
      c.Pen.color = m > 0 ? YellowColor : RedColor;
      c.MoveTo(x, Scaled(top));
      c.LineTo(x, Scaled(bottom));
    }
  }

  c.Font.size = FontSize;
  if (PictureSaveRequest >= 1) c.SaveBmp(PictureSaveName);
  Ui().ImageChanged(c);
}
}  // namespace

int32_t ValueToPixelRow(double min, double max, double y) {
  const double r = std::max(1.0, max - min);
  double d = y - min;
  if (std::isnan(d)) d = 0.0;
  double f;
  switch (GraphScaleMode) {
    case 1: f = std::sqrt(std::fabs(d) / r); break;
    case 2: f = std::log(std::max(d, 1.0)) / std::log(r + 1.0); break;
    case 3: {
      // The dialog asks for K > 0; anything else is taken as 1, the linear law.
      double k = TrimmingCoefficient > 0.0 && std::isfinite(TrimmingCoefficient) ? TrimmingCoefficient : 1.0;
      double top = r * k;
      f = std::min(top, d) / top;
      break;
    }
    default: f = d / r; break;
  }
  return ToPixel(PlotBottomRow - PlotRows * f);
}

void DrawGraphGrid([[maybe_unused]] double min, [[maybe_unused]] double max) {
  TImageCanvas& c = GraphBitmap;
  c.Pen.style = TPenStyle::Solid;
  c.Pen.color = LimeColor;
  c.Font.bold = true;
  c.Font.size = FontSize;
  c.Brush.style = TBrushStyle::Solid;
  c.Brush.color = BackgroundColor;
  c.FillRect(0, 0, Scaled(GraphPictureWidth), Scaled(GraphPictureHeight));
  for (int32_t k = 0; k <= 4; ++k) DottedRow(c, Scaled(PlotTopRow + k * (PlotRows / 4)), 0, 5, 103);
  for (int32_t k = 1; k <= 8; ++k) DottedColumn(c, Scaled(34 + 64 * (k - 1)), -4, 5, 57);
}

void PlotPoint(int32_t colour, int32_t x, int32_t y, int32_t curve, int32_t i, int32_t first) {
  TImageCanvas& c = GraphBitmap;
  switch (PixelMode) {
    case 0: Square3(c, x, y, colour); break;
    case 1: c.SetPixel(x, y, colour); break;
    case 2: LineFromPrevious(c, colour, x, y, curve, i == first); break;
    default: break;
  }
}

void PlotScratchArrays(TImage& image, int32_t n) {
  n = std::clamp(n, 0, ScratchSize);
  TImageCanvas& c = PlaceImage(image, 5, 80, GraphPictureWidth, GraphPictureHeight);
  c.Brush.style = TBrushStyle::Solid;
  c.Brush.color = BackgroundColor;
  c.FillRect(0, 0, c.Width(), c.Height());
  double max = 0.0, min = 1e18;
  for (int32_t i = 1; i <= n; ++i)
    for (double v : {ScratchArray1[i], ScratchArray2[i]}) {
      if (!std::isfinite(v)) continue;
      max = std::max(max, v);
      min = std::min(min, v);
    }
  if (min > 0.0) min = 0.0;
  for (int32_t i = 1; i <= n; ++i) {
    int32_t x = Scaled(std::nearbyint(i * 512.0 / std::max(1, n)));
    if (std::isfinite(ScratchArray1[i]))
      Square3(c, x, Scaled(ValueToPixelRow(min, max, ScratchArray1[i])), FuchsiaColor);
    if (std::isfinite(ScratchArray2[i]))
      Square3(c, x, Scaled(ValueToPixelRow(min, max, ScratchArray2[i])), AquaColor);
  }
  Ui().ImageChanged(c);
}

void PlotGraphs(TImage& image, int32_t npoints, int32_t ncurves, int32_t width, int32_t nmarks) {
  PlotCurves(image, npoints, ncurves, width, nmarks, PlotKind::Plain);
}

void PlotEvolutionGraphs(TImage& image, int32_t npoints, int32_t ncurves, int32_t width,
                         int32_t nmarks) {
  PlotCurves(image, npoints, ncurves, width, nmarks, PlotKind::Evolution);
}

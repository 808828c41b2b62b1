// The section display of the Fourier map in the dialog window.
#include <algorithm>
#include <cmath>
#include "core/dialog_toolkit.h"
#include "core/messages.h"
#include "core/number_format.h"
#include "core/ui_backend.h"
#include "fourier/fourier_synthesis.h"

namespace {
int32_t CrossX = 0, CrossY = 0;  // the grid point being drawn (unscaled pixels)

void DrawSection() {
  TImageCanvas& c = Form2.Image1.canvas;
  const int32_t z = FourierSettings.slice;
  c.Brush.color = YellowColor;
  c.Brush.style = TBrushStyle::Solid;
  c.FillRect(Scaled(125), Scaled(25), Scaled(280), Scaled(185));
  c.Font.color = LimeColor;
  c.Brush.style = TBrushStyle::Clear;
  c.TextOut(Scaled(110), Scaled(10), "Y");
  c.TextOut(Scaled(285), Scaled(190), "X");
  const double s = FourierSettings.threshold * MapMax;
  for (int32_t i = 1; i <= std::clamp(MapNX, 1, MapPoints); ++i)
    for (int32_t j = 1; j <= std::clamp(MapNY, 1, MapPoints); ++j) {
      const double m = std::abs(FourierMap[i][j][std::clamp(z, 1, FourierGrid)]);
      CrossX = 125 + 5 * i, CrossY = 180 - 5 * j;
      if (m > s) c.SetPixel(Scaled(CrossX), Scaled(CrossY), FuchsiaColor);
      if (m > 0.5 * MapMax) DrawCrossMarker(1, 0, FuchsiaColor);
      if (m > 0.75 * MapMax) {
        DrawCrossMarker(2, 0, FuchsiaColor);
        DrawCrossMarker(1, 1, FuchsiaColor);
      }
    }
  ClearedTextOut(c, 5, 210, 310, "Z= " + FormatNumberNoBlanks(2, (z - 1) * FourierSettings.zStep + FourierSettings.zLow));
  Ui().ImageChanged(c);
}
}  // namespace

void DrawCrossMarker(int32_t a, int32_t b, int32_t colour) {
  TImageCanvas& c = Form2.Image1.canvas;
  c.SetPixel(Scaled(CrossX - a), Scaled(CrossY - b), colour);
  c.SetPixel(Scaled(CrossX + a), Scaled(CrossY + b), colour);
  c.SetPixel(Scaled(CrossX + b), Scaled(CrossY - a), colour);
  c.SetPixel(Scaled(CrossX - b), Scaled(CrossY + a), colour);
}

void ShowFourierMap() {
  // 430 high: the answer row at y 370 lies inside the window.
  PrepareDialog(400, 1, 430);
  const TFourierSettings& f = FourierSettings;
  InfoLines.count = 0;
  AddInfoLine("  Fourier synthesis.  XYZ-Range:");
  AddInfoLine(FormatNumber(5, 2, f.xLow) + FormatNumber(5, 2, f.xHigh) + FormatNumber(7, 2, f.yLow) +
              FormatNumber(5, 2, f.yHigh) + FormatNumber(7, 2, f.zLow) + FormatNumber(5, 2, f.zHigh));
  AddInfoLine("Max amplitude = 1000");
  AddInfoLine(" ");
  AddInfoLine("Click on graph points to get their X,Y");
  AddInfoLine("Use OK and BACK buttons to go along Z");
  Form2ClickMode = 1;
  FourierSettings.slice = 1;
  // Side by side in the answer row: "Save the Map", OK, Cancel, Help, Save (at 265), Back.
  PlaceButton(Form2.Button8, 330, 370, "Back", 20, 50);
  PlaceButton(Form2.Button12, 0, 370, "Save the Map", 20, 95);
  PlaceButton(Form2.Button1, 97, 370, "OK", 20, 43);
  ShowDialogGraph();
  ShowListBox(0, 232, 400, 132);  // the six lines above, under the section's "Z="
  const int32_t nz = std::clamp(MapNZ, 1, MapPoints);
  while (FourierSettings.slice <= nz) {
    DrawSection();
    ShowDialogModal();
    if (DialogOk != 1) break;
    // "Back" took 2 off the slice: the step below brings the previous one.
    FourierSettings.slice = std::max(FourierSettings.slice + 1, 1);
  }
  Form2ClickMode = 0;
}

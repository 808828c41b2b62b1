// The event handlers of the dialog window, the timer yield of long work and the stop request.
#include <charconv>
#include <cmath>
#include "core/dialog_toolkit.h"
#include "core/messages.h"
#include "core/neighbour_services.h"
#include "core/number_format.h"
#include "core/number_parse.h"
#include "core/settings_file.h"
#include "core/spectrum.h"
#include "core/text_file.h"
#include "core/toolbox.h"
#include "core/ui_backend.h"

std::function<void(double channel)> ShowPointInfoHook;

void ShowPointInfo(double channel) {
  if (ShowPointInfoHook) ShowPointInfoHook(channel);
}

void TForm2::FormKeyPress(char key) {
  if (key == 27) Button2Click();
}

void TForm2::ButtonClick(int32_t i) {
  switch (i) {
    case 1: Button1Click(); break;
    case 2: Button2Click(); break;
    case 3: Button3Click(); break;
    case 5: Button5Click(); break;
    case 6: Button6Click(); break;
    case 7: Button7Click(); break;
    case 8: Button8Click(); break;
    case 9: Button9Click(); break;
    default:
      if (i >= 10 && i <= 16 && ExtraButtonHandlers[static_cast<size_t>(i)])
        ExtraButtonHandlers[static_cast<size_t>(i)]();
      break;
  }
}

void TForm2::Button1Click() {
  if (!NumberFieldsHold()) return;  // the window stays open with what was typed
  Close();
  DialogOk = 1;
}

void TForm2::Button2Click() {
  Close();
  DialogOk = 0;
}

void TForm2::CloseBoxClick() { Button2Click(); }

void TForm2::Button3Click() {
  for (int32_t i = 1; i <= 3; ++i) Button(i).enabled = false;
  ShowHelpText(0);  // enables the three again when the help window closes
}

void TForm2::Button5Click() { RequestFitStop(); }

void TForm2::Button6Click() {
  if (ListSavedFlag != 0) return;
  DialogHint = caption;
  LogLine(DialogHint);
  for (const auto& line : ListBox1.items) LogLine(line);
  ListSavedFlag = 1;
}

void TForm2::Button7Click() {
  int32_t rows = std::min(StringGrid1.rowCount, 7);
  for (int32_t r = 0; r < 7; ++r) {
    double v = 0;
    if (r < rows && StringGrid1.colCount > 0) StrToFloatChecked(StringGrid1.Cell(0, r), v);
    DialogNumbers[r + 1] = v;
  }
  // The product of up to seven numbers overflows 32-bit integers: it is formed in floating point.
  double total = std::nearbyint(DialogNumbers[7]) + 0.0;  // + 0.0: a rounded -0.4 shows as 0
  for (int32_t j = 1; j <= 6; ++j) total *= std::max(1.0, std::nearbyint(std::fabs(DialogNumbers[j])));
  char buf[400];
  auto res = std::to_chars(buf, buf + sizeof buf, total, std::chars_format::fixed, 0);
  std::string text(buf, res.ec == std::errc() ? res.ptr : buf);
  PlaceLabel(Label6, 108, 241, " Total N of tries= " + text + " ", WhiteColor, TextBackgroundColor);
}

void TForm2::Button8Click() {
  Close();
  if (Form2ClickMode == 1) FourierSettings.slice -= 2;
}

void TForm2::Button9Click() {
  BrowseRequest = 1;
  Close();
}

void TForm2::RadioGroup1Click() {
  if (ColourSampleSwitch == 0) return;
  int32_t item = RadioGroup1.itemIndex;
  if (item < 0 || item >= static_cast<int32_t>(ColorTable.size())) return;
  PlaceLabel(Label11, 131, 23 * item + 30, std::string(24, ' '), WhiteColor,
             ColorTable[static_cast<size_t>(item)].value);
}

void TForm2::Image1MouseDown(int32_t x, int32_t y) {
  if (Form2ClickMode == 1) {
    int32_t i = static_cast<int32_t>(std::nearbyint(x / ScreenScale));
    int32_t j = static_cast<int32_t>(std::nearbyint(y / ScreenScale));
    if (i < 125 || i > 279 || j < 25 || j > 180) return;
    int32_t u = static_cast<int32_t>(std::nearbyint(std::clamp((i - 130) / 5.0, 1.0, 31.0)));
    int32_t w = static_cast<int32_t>(std::nearbyint(std::clamp((175 - j) / 5.0, 1.0, 31.0)));
    double mx = u * FourierSettings.xStep + FourierSettings.xLow;
    double my = w * FourierSettings.yStep + FourierSettings.yLow;
    TImageCanvas& c = Image1.canvas;
    // Left of the map (x 125): the read-out of the previous click is cleared.
    ClearedTextOut(c, 5, 70, 125, "X,Y= " + FormatNumber(6, 2, mx) + FormatNumber(6, 2, my));
    int32_t z = FourierSettings.slice;
    if (z >= 1 && z <= FourierGrid) {
      std::string amp;
      FormatNumberNoBlanksTo(2, amp, FourierMap[u][w][z]);
      ClearedTextOut(c, 5, 90, 125, "Ampl= " + amp);
    }
    Ui().ImageChanged(c);
  } else if (Form2ClickMode == 3 || Form2ClickMode == 4) {
    int32_t first = 1, last = 16384;
    if (CurrentSpectrum >= 0 && CurrentSpectrum < static_cast<int32_t>(SpectrumList.size()) &&
        SpectrumList[static_cast<size_t>(CurrentSpectrum)]) {
      first = SpectrumList[static_cast<size_t>(CurrentSpectrum)]->WorkFirst;
      last = SpectrumList[static_cast<size_t>(CurrentSpectrum)]->WorkLast;
    }
    double channel = (last - first + 1) / std::max(DialogGraphWidth, 1.0) * (x - 1) + first;
    ShowPointInfo(channel);
    ClickFlag = 1;
  }
}

void TForm2::Timer1Timer() {
  Timer1.interval = 0;
  ClickFlag = 1;
}

bool TimerYield() {
  Form2.Timer1.interval = 1;
  Ui().SetTimer(1);
  bool ok = WaitForFlag(ClickFlag);
  // A wait ended by another event leaves the timer armed; stopped here, it cannot end a later
  // wait with a click that never happened.
  if (Form2.Timer1.interval != 0) {
    Form2.Timer1.interval = 0;
    Ui().SetTimer(0);
  }
  if (!ok) RequestFitStop();
  return ok;
}

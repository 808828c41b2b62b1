#include "mainwin/side_buttons.h"
#include <cmath>
#include <filesystem>
#include "core/dialog_toolkit.h"
#include "core/messages.h"
#include "core/model_switches.h"
#include "core/model_tables.h"
#include "core/spectrum.h"
#include "core/text_file.h"
#include "core/toolbox.h"
#include "mainwin/bmp_picture.h"
#include "mainwin/click_modes.h"
#include "mainwin/gph_file.h"
#include "mainwin/graph_options.h"
#include "mainwin/graph_view.h"
#include "mainwin/main_window.h"
#include "mainwin/menu_commands.h"
#include "mainwin/prf_file.h"

bool AskOutputFileName(const std::string& filter, const std::string& defaultName, const std::string& ext,
                       std::string& name) {
  TFileDialog dialog;
  dialog.filter = filter;
  dialog.initialDir = WorkDir;
  name = WorkDir + "/" + defaultName;
  uint8_t ok = 0;
  RunSaveDialog(dialog, name, ok);
  if (DialogOk != 1 || ok != 1 || name.empty()) return false;
  if (std::filesystem::path(name).filename().string().find('.') == std::string::npos) name += ext;
  return true;
}

void TForm1::Button1Click() {
  DialogOk = 0;
  ClickFlag = 1;
}

void TForm1::Button2Click() {
  if (GraphMode == 4) {
    RemoveLastMarkedPoint();
  } else if (GraphMode == 5) {
    DialogOk = 1;
    ClickFlag = 1;
    TImageCanvas& c = Image2.canvas;
    c.Brush.color = BlackColor;
    c.Brush.style = TBrushStyle::Solid;
    c.FillRect(Scaled(0), Scaled(280), Scaled(515), Scaled(323));
    Changed();
  }
}

void TForm1::Button3Click() {
  IntervalFirst = IntervalLast + 1;
  IntervalLast = IntervalFirst + NChannels - 1;
  ClampInterval();
  WarnOutsideFittedInterval();
}

void TForm1::Button4Click() {
  IntervalLast = IntervalFirst - 1;
  IntervalFirst = IntervalLast - (NChannels - 1);
  ClampInterval();
  WarnOutsideFittedInterval();
}

void TForm1::Button5Click() {
  if (!XScaleLinear()) return;
  GraphXAxis = GraphXAxis == 0 ? 1 : 0;
  ToggleXAxis();
}

void TForm1::Button6Click() {
  if (MainMode == 1) return;
  std::string name;
  if (!AskOutputFileName(GphFileFilter, "m.gph", ".gph", name)) return;
  GphFile(Image2.canvas, 0, name);
}

void TForm1::Button7Click() { SaveGraphPicture(); }

void TForm1::Button8Click() { PlotPhaseCurves(); }

void TForm1::Button9Click() {
  CurrentSpectrum = CurrentSpectrum >= 4 ? 1 : CurrentSpectrum + 1;
  SetGraphRange();
  if (DialogOk == 1) RedrawGraph();
}

void TForm1::Button10Click() {
  CurrentSpectrum = CurrentSpectrum <= 1 ? 4 : CurrentSpectrum - 1;
  SetGraphRange();
  if (DialogOk == 1) RedrawGraph();
}

void TForm1::Button11Click() {
  if (!XScaleLinear()) return;
  double x1 = 0, x2 = 0;
  DialogOk = 1;
  MarkIntervalByClicks(x1, x2);
  if (DialogOk != 1) return;  // the wait ended without the clicks
  IntervalFirst = static_cast<int32_t>(std::nearbyint(x1));
  IntervalLast = static_cast<int32_t>(std::nearbyint(x2));
  NChannels = IntervalLast - IntervalFirst + 1;
  SideButtonMask.resize(12, '0');
  SideButtonMask[2] = SideButtonMask[3] = '1';  // the interval steps
  RedrawGraph();
}

void TForm1::Button12Click() {
  if (MainMode == 1 || !PrfFileAllowed()) return;
  std::string name;
  if (!AskOutputFileName(PrfFileFilter, "m.prf", ".prf", name)) return;
  TextFile f;
  if (!f.TryRewrite(name)) {
    ShowMsg(CannotWriteMessage + name);
    return;
  }
  WritePrfFile(f);
}

void TForm1::Button13Click() {
  SideButton13Left = Button(13).left;
  SideButton13Top = Button(13).top;
}

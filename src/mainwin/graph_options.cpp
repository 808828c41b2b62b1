#include "mainwin/graph_options.h"
#include <algorithm>
#include <filesystem>
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
#include "mainwin/graph_view.h"
#include "mainwin/main_window.h"

std::string GraphCommentLines;

namespace {

constexpr int32_t SlotCount = 5;
constexpr size_t CommentLineLength = 63;
const char* const CommentHead1 = ".enter comments below dashed line; See Help";
const char* const CommentHead2 = "- - - - - - - - - - - - - - - - - - - -";
// The comment colours 1..6 ([0] unused); colour 3 when none is given.
constexpr int32_t CommentColors[7] = {0, RedColor, FuchsiaColor, AquaColor, YellowColor, LimeColor, WhiteColor};

void MarkOnly(std::string& slots, int32_t i) {
  slots = std::string(SlotCount, ' ');
  slots[static_cast<size_t>(std::clamp(i, 0, SlotCount - 1))] = 'x';
}

// The check list of the dialog window with these lines, ticked as given.
void ShowCheckList(const std::vector<std::string>& items, const std::vector<bool>& ticked, int32_t x, int32_t y,
                   int32_t width, int32_t height) {
  DialogOptions.count = std::min(static_cast<int32_t>(items.size()), OptionCapacity);
  for (int32_t i = 1; i <= DialogOptions.count; ++i)
    DialogOptions.captions[static_cast<size_t>(i)] = items[static_cast<size_t>(i - 1)];
  ShowCheckListBox(x, y, width, height);
  for (size_t i = 0; i < ticked.size(); ++i) Form2.CheckListBox1.SetChecked(static_cast<int32_t>(i), ticked[i]);
}

std::string WithoutFolder(const std::string& name) {
  const size_t p = name.find_last_of("/\\");
  return p == std::string::npos ? name : name.substr(p + 1);
}

// A spectrum holds data when it is present with a count in its channel range; one never read
// or computed (all zero) is "none" whatever its name.
bool HoldsData(const TSpectrum* sp) {
  if (!sp || sp->Present == 0) return false;
  const int32_t first = std::max(sp->FirstChannel, 1), last = std::min(sp->LastChannel, MaxChannels);
  for (int32_t k = first; k <= last; ++k)
    if (sp->Y[k] != 0.0) return true;
  return false;
}

// A number of a comment line; false when the text holds no number at all.
bool ReadInteger(const std::string& s, int32_t& v) {
  double x = 0;
  uint8_t ok = 0;
  StrToFloatRobust(s, x, ok);
  if (ok != 1 || !std::isfinite(x) || std::fabs(x) > 1e6) return false;
  v = static_cast<int32_t>(std::nearbyint(x));
  return true;
}

void PutHklLabels(TImageCanvas& image) {
  DialogCaption = " Put hkls on the reflections";
  BeginDialog(1);
  static const char* const labels[3] = {" Phase number ", " Label top (<19)", " Label color (<7)"};
  const double values[3] = {1, 1, 1};
  FillValueColumn(3, labels, values, 150, 60);
  ShowNumberGrid(10, 40, 3, 8, 1, 3);
  ShowDialogModal();
  if (DialogOk != 1) return;
  double v[3] = {};
  for (int32_t i = 0; i < 3; ++i) StrToFloatChecked(Form2.StringGrid1.Cell(0, i), v[i]);
  if (DialogOk != 1) return;
  // Each index is held to its table from both sides.
  const auto hold = [](double x, int32_t hi) {
    return std::isfinite(x) ? static_cast<int32_t>(std::clamp(std::nearbyint(x), 1.0, double(hi))) : 1;
  };
  const int32_t phase = hold(v[0], std::clamp(PhaseCount, 1, MaxPhases));
  const int32_t top = hold(v[1], 18), colour = hold(v[2], 6);
  if (MarkedPointCount <= 0) {
    ShowMsg("No marked points");
    return;
  }
  const int32_t n = std::clamp(PhaseTable[phase].ReflectionCount, 0, MaxReflections);
  if (n == 0) {
    ShowMsg("No formed hkls");
    return;
  }
  const TSpectrum* sp = SpectrumOrNull(CurrentSpectrum);
  if (!sp) return;
  image.Font.size = 8;
  image.Font.color = CommentColors[colour];
  image.Brush.color = BlackColor;
  image.Brush.style = TBrushStyle::Solid;
  for (int32_t i = 1; i <= std::min(MarkedPointCount, MarkedPointCapacity); ++i) {
    const double d = sp->ChannelToD(MarkedPoints[i]);
    int32_t best = 0;
    for (int32_t j = 1; j <= n; ++j)
      if (HklTable[j][phase].d > 0 &&
          (best == 0 || std::fabs(HklTable[j][phase].d - d) < std::fabs(HklTable[best][phase].d - d)))
        best = j;
    if (best == 0) continue;
    const THklRecord& h = HklTable[best][phase];
    // The label's left end a little before the point's column, one text row (16) per label row.
    const int32_t x = ChannelColumn(MarkedPoints[i]) - 8;
    image.TextOut(Scaled(x), Scaled((top - 1) * 16 + 7),
                  std::to_string(h.h) + " " + std::to_string(h.k) + " " + std::to_string(h.l));
  }
  Form1.Changed();
}

void PutUserComment(TImageCanvas& image) {
  DialogCaption = " Put user comment";
  PrepareDialog(620, 0, 430);
  SetHelpLines(GraphCommentsHelp);
  ShowMemo(5, 590);
  std::vector<std::string> lines = {CommentHead1, CommentHead2};
  size_t start = 0;
  while (start < GraphCommentLines.size()) {
    size_t end = GraphCommentLines.find('\n', start);
    if (end == std::string::npos) end = GraphCommentLines.size();
    lines.push_back(GraphCommentLines.substr(start, end - start));
    start = end + 1;
  }
  Form2.Memo1.lines = lines;
  ShowDialogModal();
  if (DialogOk != 1) return;
  GraphCommentLines.clear();
  const std::vector<std::string>& memo = Form2.Memo1.lines;
  for (size_t i = 2; i < memo.size(); ++i) {
    const std::string line = memo[i].substr(0, CommentLineLength);
    if (!GraphCommentLines.empty()) GraphCommentLines += '\n';
    GraphCommentLines += line;
    if (line.empty() || line == " ") continue;
    const TGraphComment c = ParseCommentLine(line);
    if (!c.ok) {
      ShowMsg(" Wrong or absent x,y separators");
      continue;
    }
    const int32_t x = (c.column - 1) * 8, y = (c.row - 1) * 16 + 7;
    if (x > 512 || y > 320 || x < 0 || y < 0) {
      ShowMsg("XY out of range [64 x 20]");
      continue;
    }
    image.Font.size = 8;
    image.Font.color = c.colour;
    image.Brush.color = BlackColor;
    image.Brush.style = TBrushStyle::Solid;
    image.TextOut(Scaled(x), Scaled(y), c.text);
  }
  Form1.Changed();
}

}  // namespace

TGraphComment ParseCommentLine(const std::string& line) {
  TGraphComment c;
  const size_t a = line.find('\\'), b = line.rfind('\\');
  if (a == std::string::npos || a == b) return c;
  c.text = line.substr(0, a);
  std::string rowText = line.substr(b + 1);
  // The colour after the last "C" (or "c") ends the row number.
  size_t cpos = rowText.rfind('C');
  if (cpos == std::string::npos) cpos = rowText.rfind('c');
  int32_t colour = 0;
  if (cpos != std::string::npos) {
    if (!ReadInteger(rowText.substr(cpos + 1), colour)) colour = 0;
    rowText.resize(cpos);
  }
  c.colour = CommentColors[colour >= 1 && colour <= 6 ? colour : 3];
  if (!ReadInteger(line.substr(a + 1, b - a - 1), c.column) || !ReadInteger(rowText, c.row)) return c;
  c.ok = true;
  return c;
}

void SetScaleMode() {
  DialogCaption = " Graph modes";
  BeginDialog(0);
  SetHelpLines(GraphScaleHelp);
  PlaceLabel(Form2.Label5, 30, 10, "Select the scale", WhiteColor, FormColor);
  PlaceLabel(Form2.Label6, 170, 10, "Select the pixel mode", WhiteColor, FormColor);
  SetDialogOptions({"Normal", "SQRT", "LN", "Trimmed"}, std::clamp(GraphScaleMode, 0, 3) + 1);
  ShowRadioGroup(1, 0, 20, 110, 130, 30);
  SetDialogOptions({" 5 points ", " 1 point ", " Line "}, std::clamp(PixelMode, 0, 2) + 1);
  ShowRadioGroup(2, 0, 170, 90, 140, 30);
  DialogEditLabel1 = " Trimming coefficient = ";
  DialogEditText1 = FormatNumber(7, 3, TrimmingCoefficient);
  ShowEditFields(20, 220, 160, 1, 80);
  ShowCheckList({" Graph errors of fitted spectrum", " X scale logarithmic", " Long reflection indicators",
                 " Change the object colors"},
                {GraphFitErrors != 0, LogXScale != 0, LongReflectionIndicators != 0, false}, 20, 200, 330, 90);
  const TCheckListBox& list = Form2.CheckListBox1;
  ShowDialogModal();
  if (DialogOk != 1) return;
  // Nothing is taken unless the trimming coefficient reads.
  double trimming = 0;
  uint8_t ok = 0;
  StrToFloatRobust(Form2.Edit1.text, trimming, ok);
  if (ok != 1 || !std::isfinite(trimming)) {
    ShowMsg("Wrong trimming");
    DialogOk = 0;
    return;
  }
  if (Form2.RadioGroup2.itemIndex >= 0) PixelMode = Form2.RadioGroup2.itemIndex;
  if (Form2.RadioGroup1.itemIndex >= 0) GraphScaleMode = Form2.RadioGroup1.itemIndex;
  TrimmingCoefficient = trimming;
  GraphFitErrors = list.Checked(0) ? 1 : 0;
  LogXScale = list.Checked(1) ? 1 : 0;
  LongReflectionIndicators = list.Checked(2) ? 1 : 0;
  if (!list.Checked(3)) return;
  struct TObject {
    const char* name;
    int32_t* colour;
  };
  const TObject objects[] = {{"GRAPH BACKGROUND", &BackgroundColor}, {"TEXT BACKGROUND", &TextBackgroundColor},
                             {"FITTED CURVE", &FitDataColor},        {"SPECTRUM", &ExpDataColor},
                             {"FORM", &FormColor},                   {"FRAME", &Form1BackColor}};
  ColourSampleSwitch = 1;
  for (const TObject& o : objects) {
    int32_t chosen = 0;
    ChooseObjectColor(o.name, *o.colour, chosen);
    if (DialogOk != 1) break;
    *o.colour = ColorTable[static_cast<size_t>(chosen - 1)].value;
  }
  ColourSampleSwitch = 0;
}

void ChooseObjectColor(const std::string& name, int32_t current, int32_t& chosen) {
  DialogCaption = " Colors";
  BeginDialog(1);
  PlaceLabel(Form2.Label1, 10, 10, "Select the color for the " + name, WhiteColor, FormColor);
  PlaceLabel(Form2.Label2, 150, 30, " ", WhiteColor, FormColor);
  int32_t preselected = 1;
  for (int32_t i = 0; i < 12; ++i)  // White (13) is never preselected
    if (ColorTable[static_cast<size_t>(i)].value == current) {
      preselected = i + 1;
      break;
    }
  DialogOptions.count = static_cast<int32_t>(ColorTable.size());
  for (size_t i = 0; i < ColorTable.size(); ++i) DialogOptions.captions[i + 1] = ColorTable[i].name;
  DialogOptions.defaultItem = preselected;
  ShowRadioGroup(1, 0, 10, 325, 120, 30);
  ShowDialogModal();
  if (DialogOk != 1) return;
  const int32_t item = Form2.RadioGroup1.itemIndex + 1;
  if (item < 1 || item > static_cast<int32_t>(ColorTable.size())) {
    DialogOk = 0;
    return;
  }
  chosen = item;
}

void SetGraphRange() {
  GraphMode = 1;
  DialogOk = 1;
  const TSpectrum* sp = SpectrumOrNull(CurrentSpectrum);
  if (!sp) return;
  if (SideButtonMask.size() < 12) SideButtonMask.resize(12, '0');
  if (GraphIntervalView == 0) {
    MarkOnly(SpectrumSlots, CurrentSpectrum);
    SideButtonMask.replace(0, 11, "00001111111");
    IntervalFirst = sp->FirstChannel;
    IntervalLast = sp->LastChannel;
  } else if (GraphIntervalView == 1) {
    SideButtonMask.replace(0, 11, "00111111111");
    int32_t marked = 0, loaded = 0;
    for (int32_t i = 0; i < SlotCount; ++i) {
      marked += SpectrumSlots.size() > size_t(i) && SpectrumSlots[size_t(i)] == 'x' ? 1 : 0;
      const TSpectrum* s = i >= 1 ? SpectrumOrNull(i) : nullptr;
      loaded += s && s->Present != 0 && s->Name != "DUMMY" ? 1 : 0;
    }
    if (!(marked > 1 && loaded > 1)) MarkOnly(SpectrumSlots, CurrentSpectrum);
    IntervalFirst = sp->WorkFirst;
    IntervalLast = sp->WorkLast;
  }
  NChannels = IntervalLast - IntervalFirst + 1;
}

void SelectSpectraToGraph(std::string& slots) {
  DialogCaption = " Several spectra";
  BeginDialog(0);
  PlaceLabel(Form2.Label1, 35, 30, "Click on the spectra to be graphed", WhiteColor, FormColor);
  std::vector<std::string> items;
  for (int32_t i = 1; i <= 4; ++i) {
    const TSpectrum* sp = SpectrumOrNull(i);
    // A spectrum made here (its name still the folder it started with) has no file name.
    const std::string name = !HoldsData(sp) ? "none" : std::filesystem::is_directory(sp->Name) ? "(no file)" : WithoutFolder(sp->Name);
    items.push_back("  Spectrum " + std::to_string(i) + "     " + name);
  }
  items.push_back("     Intervals only");
  ShowCheckList(items, {false, false, false, false, true}, 35, 60, 330, 110);
  const TCheckListBox& list = Form2.CheckListBox1;
  ShowDialogModal();
  if (DialogOk != 1) return;
  slots = std::string(SlotCount, ' ');
  int32_t lowest = 0;
  for (int32_t i = 1; i <= 4; ++i) {
    if (!list.Checked(i - 1)) continue;
    if (!HoldsData(SpectrumOrNull(i))) {
      DialogOk = 0;
      return;
    }
    slots[static_cast<size_t>(i)] = 'x';
    if (lowest == 0) lowest = i;
  }
  if (lowest == 0) {
    ShowMsg("Error, no spectra marked");
    DialogOk = 0;
    return;
  }
  GraphMode = 1;
  CurrentSpectrum = lowest;
  const TSpectrum& sp = *SpectrumList[static_cast<size_t>(lowest)];
  if (list.Checked(4)) {
    IntervalFirst = sp.WorkFirst;
    IntervalLast = sp.WorkLast;
  } else {
    IntervalFirst = sp.FirstChannel;
    IntervalLast = sp.LastChannel;
  }
  NChannels = IntervalLast - IntervalFirst + 1;
}

void SelectPhasesToPlot(int32_t kind) {
  DialogCaption = " Phases";
  BeginDialog(0);
  PlaceLabel(Form2.Label1, 35, 30, std::string("Click on the phases to be ") + (kind == 1 ? "analysed" : "graphed"),
             WhiteColor, FormColor);
  std::vector<std::string> items;
  std::vector<bool> ticked;
  const int32_t n = std::clamp(PhaseCount, 0, MaxPhases);
  for (int32_t k = 1; k <= n; ++k) {
    items.push_back("  Phase " + std::to_string(k));
    ticked.push_back(PhasesToPlot[k] == 1);
  }
  ShowCheckList(items, ticked, 35, 60, 330, 140);
  const TCheckListBox& list = Form2.CheckListBox1;
  ShowDialogModal();
  if (DialogOk != 1) return;
  for (int32_t k = 1; k <= n; ++k) PhasesToPlot[k] = list.Checked(k - 1) ? 1 : 0;
}

void GraphFittedInterval() {
  if (FitPending[0] != 0 && FitPending[2] != 0 && FitPending[3] != 0) {
    ShowMsg("No fitting has been performed");
    DialogOk = 0;
    return;
  }
  const TSpectrum* sp = SpectrumOrNull(CurrentSpectrum);
  if (!sp) return;
  IntervalFirst = sp->WorkFirst;
  IntervalLast = sp->WorkLast;
  NChannels = IntervalLast - IntervalFirst + 1;
  GraphMode = 2;
  SpectrumSlots = " x   ";
  SpectraYRange(SpectrumSlots, GraphYMax, GraphYMin);
}

void PutCommentsOnGraph(TImageCanvas& image) {
  DialogCaption = " Comments on the graph";
  BeginDialog(0);
  SetHelpLines(GraphCommentsHelp);
  SetDialogOptions({"Put hkls on the reflections", "Put user comment"}, 1);
  ShowRadioGroup(1, 0, 20, 80, 300, 30);
  ShowDialogModal();
  if (DialogOk != 1) return;
  if (Form2.RadioGroup1.itemIndex == 0)
    PutHklLabels(image);
  else if (Form2.RadioGroup1.itemIndex == 1)
    PutUserComment(image);
}

#include "mainwin/settings_dialogs.h"
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <string_view>
#include "core/abandon.h"
#include "core/dialog_toolkit.h"
#include "core/fit_engine.h"
#include "core/help_texts.h"
#include "core/messages.h"
#include "core/model_tables.h"
#include "core/neighbour_services.h"
#include "core/number_format.h"
#include "core/number_parse.h"
#include "core/settings_file.h"
#include "core/spectra_utilities.h"
#include "core/spectrum.h"
#include "core/text_file.h"
#include "core/toolbox.h"
#include "mainwin/session.h"

namespace {
constexpr const char* CfBkFilter = "All|*.*;|H(*.h)|*.h;|D(*.d)|*.d;|SPC(*.spc)|*.spc;|SP(*.sp)|*.sp";
constexpr size_t CfBkBlock = 512;
constexpr size_t CfBkBufferSize = 131072;
// The count is the 14th number of a CF/BK line.
constexpr int32_t CfBkCountItem = 14;

constexpr double Scales[4] = {1.0, 1.25, 1.5, 2.0};
constexpr int32_t FontSizes[4] = {8, 10, 12, 14};

void PlacePrompt(TLabel& label, int32_t x, int32_t y, const std::string& text) {
  PlaceLabel(label, x, y, text, WhiteColor, TextBackgroundColor);
}

std::string FolderPrefix() {
  if (WorkDir.empty() || WorkDir.back() == '/') return WorkDir;
  return WorkDir + "/";
}

// "m" + day, hour and minute ("ddhhnn") + ".res": the name offered for a new result file.
std::string DefaultResFileName() { return "m" + SessionStamp(SessionClock()) + ".res"; }

// The radio item (1-based) of a screen scale; a scale not offered shows as 1.25.
int32_t ScaleItem(double scale) {
  switch (static_cast<int64_t>(std::nearbyint(scale * 100))) {
    case 100: return 1;
    case 150: return 3;
    case 200: return 4;
    default: return 2;
  }
}
}  // namespace

void SetMainMode() {
  DialogCaption.clear();
  BeginDialog(0);
  PlacePrompt(Form2.Label1, 20, 10, "Specify type of the problems to be solved");
  DialogOptions = LREC{};
  for (int32_t m = 0; m < ModeCount; ++m) DialogOptions.captions[static_cast<size_t>(m + 1)] = ModeNames[m];
  DialogOptions.count = ModeCount;
  DialogOptions.defaultItem = std::clamp(MainMode, 0, ModeCount - 1) + 1;
  ShowRadioGroup(1, 1, 20, 120, 300, 40);
  ShowDialogModal();
  const int32_t mode = Form2.RadioGroup1.itemIndex;
  if (DialogOk != 1 || mode < 0 || mode >= ModeCount) return;
  // Leaving the peak fit for a crystal model: the engine's records are the peaks' no more.
  if (MainMode == 3 && (mode == 0 || mode == 2) && FitParameters) FitParameters->NPar = 0;
  MainMode = mode;
  LogLine(ModeNames[mode] + " set up");
}

void SetFormAndFontSizes() {
  DialogCaption.clear();
  SetHelpLines(ScreenScaleHelp);
  BeginDialog(1);
  PlacePrompt(Form2.Label1, 50, 12, "   Set the screen scale ");
  SetDialogOptions({"1", "1.25", "1.5", "2"}, ScaleItem(ScreenScale));
  ShowRadioGroup(1, 1, 50, 100, 250, 32);
  PlacePrompt(Form2.Label2, 50, 140, "   Set the font size ");
  SetDialogOptions({" Small (8)", " Regular (10)", " Large (12)", " LARGE (14)"}, 3);
  ShowRadioGroup(2, 1, 50, 100, 250, 160);
  SetDialogOptions({" Use Russian Helps"});
  ShowCheckListBox(50, 280, 250, 20);
  Form2.CheckListBox1.SetChecked(0, RusHelp != 0);
  ShowDialogModal();
  if (DialogOk != 1) return;
  const int32_t s = Form2.RadioGroup1.itemIndex, f = Form2.RadioGroup2.itemIndex;
  if (s >= 0 && s < 4) {
    ScreenScale = ScaleThatFits(Scales[s]);
    if (ScreenScale < Scales[s])
      ShowMsg("Screen scale " + FormatNumberNoBlanks(2, ScreenScale) + ": a larger one does not fit the screen");
  }
  if (f >= 0 && f < 4) FontSize = FontSizes[f];
  RusHelp = Form2.CheckListBox1.Checked(0) ? 1 : 0;
}

void SetVariousOptions() {
  for (;;) {
    DialogCaption.clear();
    BeginDialog(0);
    SetDialogOptions({"Quit", "Change the name of the Res-file", "Put a comment in the Res-file",
                      "Set the number of CELIX digits", "Set the identical spectrum intervals",
                      "Input the CF / BK spectrum", "Set the ASCII line structure"},
                     1);
    ShowRadioGroup(1, 1, 20, 200, 330, 20);
    Form2.RadioGroup1.caption = " Select the Option ";
    ShowDialogModal();
    if (DialogOk != 1) return;
    uint8_t ok = 0;
    switch (Form2.RadioGroup1.itemIndex + 1) {
      case 2: ChooseResFileName(); break;
      case 3: EnterResComment(ok); break;
      case 4: SetCelixDigits(); break;
      case 5: SetIdenticalIntervals(); break;
      case 6: InputCfBkSpectrumList(); break;
      case 7: AskAsciiColumns(); break;
      default: return;
    }
  }
}

void ChooseResFileName() {
  DialogCaption.clear();
  SetHelpLines(ResultFileNameHelp);
  BeginDialog(1);
  // The label may be as wide as the folder: the field goes below it.
  PlacePrompt(Form2.Label1, 10, 20, "Enter ResFileName; Dir=" + WorkDir);
  PlaceEdit(Form2.Edit1, 10, 45, DefaultResFileName(), 200);
  ShowDialogModal();
  if (DialogOk != 1) return;
  std::string answer = Form2.Edit1.text;
  DeleteSpaces(answer);
  const std::string stem = std::filesystem::path(answer).stem().string();
  if (stem.empty()) {
    ShowMsg("Wrong filename");
    DialogOk = 0;
    return;
  }
  // Always ".res" in WorkDir: the name that results is what must differ from the open file.
  const std::string name = FolderPrefix() + stem + ".res";
  if (name == LogFileName) {
    ShowMsg("Output file name is the same");
    return;
  }
  // The file of an earlier session is replaced only on the user's word.
  if (!ConfirmOverwrite(name)) {
    DialogOk = 0;
    return;
  }
  LogFile.Close();
  if (!LogFile.TryRewrite(name)) {
    const int32_t code = IoResult();
    // The session goes on writing to the file it had (FINISH line included).
    const bool reopened = LogFile.TryAppend(LogFileName);
    ShowMsg("Cannot create " + name + ": " + IoResultText(code) + LineBreak +
            (reopened ? "The results go on to " + LogFileName : "No result file is open"));
    DialogOk = 0;
    return;
  }
  LogFileName = name;
}

void EnterResComment(uint8_t& ok) {
  DialogCaption = " Enter the comments ";
  PrepareDialog(620, 0, 430);
  SetHelpLines(EmptyHelpTopic);
  ShowMemo(5, 590);
  Form2.Memo1.lines.clear();
  ShowDialogModal();
  ok = DialogOk == 1 ? 1 : 0;
  if (ok)
    for (const std::string& line : Form2.Memo1.lines) LogLine(line);
}

void SetCelixDigits() {
  DialogCaption.clear();
  BeginDialog(0);
  PlacePrompt(Form2.Label5, 20, 10, "Set number of digits after comma for CELIX");
  DialogEditLabel1 = "";
  DialogEditText1 = std::to_string(CelixDigits);
  ShowEditFields(20, 20, 40, 1, 80);
  ShowDialogModal();
  if (DialogOk != 1) return;
  double v = 0;
  StrToFloatChecked(Form2.Edit1.text, v);
  if (DialogOk != 1 || std::isnan(v)) {
    DialogOk = 0;
    return;
  }
  CelixDigits = static_cast<int32_t>(std::nearbyint(std::clamp(v, 0.0, 10.0)));
}

void SetIdenticalIntervals() {
  const int32_t first = std::clamp(IntervalFirst, 1, MaxChannels);
  const int32_t last = std::clamp(IntervalLast, 1, MaxChannels);
  for (int32_t i = 1; i <= 4; ++i) {
    TSpectrum* sp = SpectrumOrNull(i);
    if (!sp) continue;
    sp->WorkFirst = first;
    sp->WorkLast = last;
    sp->FirstChannel = std::min(sp->FirstChannel, first);
    sp->LastChannel = std::max(sp->LastChannel, last);
  }
}

void InputCfBkSpectrumList() {
  TSpectrum* sp = SpectrumAt(CurrentSpectrum);
  if (!sp) return;
  std::string name = sp->Name;
  TFileDialog& dialog = Form2.OpenDialog1;
  dialog.title = DialogCaption;
  RunOpenDialog(dialog, name, "*.sp*", CfBkFilter, SpectrumDir);
  if (DialogOk != 1) return;
  ReadCfBkSpectrumList(name);
}

void ReadCfBkSpectrumList(const std::string& fileName) {
  TSpectrum* sp = SpectrumAt(CurrentSpectrum);
  if (!sp) return;
  std::ifstream in(fileName, std::ios::binary);
  if (!in) {
    std::error_code ec;
    SetIoResult(std::filesystem::exists(fileName, ec) ? 5 : 2);
    AbandonFileOperation("Cannot open", fileName);
  }
  std::string text;
  char block[CfBkBlock];
  while (in) {
    in.read(block, CfBkBlock);
    const size_t got = static_cast<size_t>(in.gcount());
    if (got == 0) break;
    if (text.size() + got > CfBkBufferSize) {
      text.append(block, CfBkBufferSize - text.size());
      ShowMsg("Buffer full");
      break;
    }
    text.append(block, got);
  }
  if (in.bad()) {
    SetIoResult(100);
    AbandonFileOperation("Cannot read", fileName);
  }
  std::replace(text.begin(), text.end(), '\r', ' ');

  int32_t n = 0;
  size_t pos = text.find('\n');  // the first line is a header
  while (pos != std::string::npos && n < MaxChannels) {
    const size_t start = pos + 1;
    pos = text.find('\n', start);
    const std::string_view line =
        std::string_view(text).substr(start, pos == std::string::npos ? std::string::npos : pos - start);
    int32_t items = 0;
    ParseNumbers(items, line);
    if (items < CfBkCountItem) continue;  // a short or blank line has no count of its own
    ++n;
    sp->X[n] = NumberBuffer[1];
    sp->Y[n] = NumberBuffer[CfBkCountItem];
    sp->E[n] = std::sqrt(std::fabs(sp->Y[n]) + 1.0);
  }
  LogLine("Input of Cf/Bk spectrum " + fileName + FormatInteger(n, 5) + " items");
  sp->FirstChannel = sp->WorkFirst = 1;
  sp->LastChannel = sp->WorkLast = n;
  sp->ComputeYRange();
  sp->AxisKind = AxisAny;
  MainMode = 3;
}

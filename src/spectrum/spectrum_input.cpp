#include "spectrum/spectrum_input.h"

#include <algorithm>
#include <filesystem>
#include <string>
#include <utility>
#include "core/dialog_toolkit.h"
#include "core/dn2_effective_spectrum.h"
#include "core/help_texts.h"
#include "core/messages.h"
#include "core/model_tables.h"
#include "core/settings_file.h"
#include "core/small_routines.h"
#include "core/spectra_utilities.h"
#include "core/spectrum.h"
#include "core/text_file.h"
#include "core/ui_backend.h"
#include "crystal/analysis_modes.h"
#include "crystal/info_windows.h"
#include "spectrum/spectrum_checks.h"

const std::array<const char*, 8> BackgroundModeNames = {
    "  No background", "Constant", "Linear", "Quadratic", "Cubic", "Of 4th order", "Of 5th order", "  Real shape"};

namespace {

constexpr const char* SpectrumFilter = "All|*.*;|H(*.h)|*.h;|D(*.d)|*.d;|SPC(*.spc)|*.spc;|SP(*.sp)|*.sp";
constexpr int32_t WidthRows = 6;

int32_t RoundedChannel(double x) { return RoundHalfEven(std::clamp(x, -2.0e9, 2.0e9)); }

// "DUMMY" in any case stands for no file; the folder of a chosen name does not count.
bool IsDummy(const std::string& name) {
  std::string part = std::filesystem::path(name).filename().string();
  UpperCaseCyr(part);
  return part == "DUMMY";
}

bool KindFromFile(int32_t kind) { return kind >= 1 && kind <= 3; }

// Mode 0's first choice: read a file, or build the DN2 curve (dn2 := true).
bool AskEffectiveSource(bool& dn2) {
  BeginDialog(1);
  SetDialogOptions({"Read a new effective spectrum", "Set up the DN2 effective spectrum"}, 1);
  ShowRadioGroup(1, 1, 20, 60, 370, 20);
  ShowDialogModal();
  if (DialogOk != 1) return false;
  dn2 = Form2.RadioGroup1.itemIndex == 1;
  return true;
}

bool AskErrorType() {
  BeginDialog(1);
  PlaceLabel(Form2.Label1, 10, 10, "Select the error type:", WhiteColor, TextBackgroundColor);
  SetDialogOptions({" Errors", " Squared errors", " Inversed squared errors"}, 1);
  ShowRadioGroup(1, 1, 10, 80, 300, 35);
  ShowDialogModal();
  if (DialogOk != 1) return false;
  AsciiErrorType = std::clamp(Form2.RadioGroup1.itemIndex, 0, 2);
  return true;
}

// What the spectrum held before a read, to tell a newly read file from the same one read again.
struct ReadBefore {
  std::string name;
  int32_t axisKind, first, last;
};

// A file other than the one read before proposes its own analysis bounds (its whole channel
// range), an X Y E file on an angular axis its own angle step; on another kind of axis than
// before, the zero shift (degrees) or delay (channels) of the earlier data set means nothing.
void ProposeFromFile(TSpectrum& sp, const ReadBefore& before) {
  const bool newAxis = sp.AxisKind != before.axisKind;
  if (newAxis) sp.Delay = 0.0;
  if (!newAxis && sp.Name == before.name && sp.FirstChannel == before.first && sp.LastChannel == before.last)
    return;
  sp.WorkFirst = sp.FirstChannel;
  sp.WorkLast = sp.LastChannel;
  if (sp.FileType == 4 && sp.AxisKind == AxisAngular && sp.XStep > 0.0) sp.ChanWidth = sp.XStep;
}

void SetInfoLine(const std::string& text) {
  InfoLines.lines[1] = text;
  InfoLines.count = 1;
}

// Step 9: the report of what was read, the interval and the flags.
void ReportInput(int32_t mode, int32_t i) {
  TSpectrum* sp = SpectrumAt(i);
  if (!sp) return;
  if (mode == 2) {
    SetInfoLine("Variance read in");
    return;
  }
  if (mode == 0) {
    CheckSpectrumInfo(0, IoOk);
    SetInfoLine("Effective spectrum available");
    return;
  }
  GraphXAxis = 0;
  IntervalFirst = sp->FirstChannel;
  IntervalLast = sp->LastChannel;
  NChannels = IntervalLast - IntervalFirst + 1;
  CheckSpectrumInfo(i, IoOk);
  sp->Present = 1;
  sp->NormalizedFlag = 0;
  sp->AbsorptionCorrectedFlag = 0;
  SetInfoLine(std::string("The spectrum read in.") + (KindFromFile(sp->FileType) ? "  Poisson variance set up" : ""));
  CountSpectrumZeroes(i);
  if (sp->AxisKind == AxisAngular && KindFromFile(sp->FileType)) FillTwoThetaAxis(i);
}

}  // namespace

// ---- the reading dialog ----

bool AskSpectrumReadChoice(int32_t mode, const TSpectrum& sp, TSpectrumReadChoice& c) {
  // A variance file holds no abscissae: the X, Y, error kind is not offered for it.
  const int32_t kinds = mode == 2 ? 3 : 4;
  const int32_t kept = mode == 2 ? sp.VarianceFileType : sp.FileType;
  BeginDialog(1);
  PlaceLabel(Form2.Label1, 10, 5, "Select the file type:", WhiteColor, TextBackgroundColor);
  DialogOptions = LREC{};
  for (int32_t k = 1; k <= kinds; ++k) DialogOptions.captions[static_cast<size_t>(k)] = SpectrumFileTypes[static_cast<size_t>(k)];
  DialogOptions.count = kinds;
  DialogOptions.defaultItem = std::clamp(kept, 1, kinds);
  ShowRadioGroup(1, 1, 10, 22 * kinds, 390, 25);
  if (mode == 1) {
    PlaceLabel(Form2.Label2, 10, 120, "Select the spectrum type:", WhiteColor, TextBackgroundColor);
    SetDialogOptions({" ToF Spectrum", " Angular distribution", " Any spectrum"}, std::clamp(sp.AxisKind, 0, 2) + 1);
    ShowRadioGroup(2, 1, 10, 70, 390, 140);
  }
  SetDialogOptions({" Skip the header ", " Reverse the bytes ", " Starting channel = 1 ", " Specify error type if ASCII"});
  ShowCheckListBox(10, 220, 390, 76);
  Form2.CheckListBox1.SetChecked(0, SkipHeader != 0);
  Form2.CheckListBox1.SetChecked(1, ReverseBytes != 0);
  Form2.CheckListBox1.SetChecked(2, StartingChannelOne != 0);
  TCheckBox& box = Form2.CheckBox1;
  box.SetBounds(Scaled(10), Scaled(310), Scaled(390), Scaled(24));
  box.visible = box.enabled = true;
  box.color = TextBackgroundColor;
  box.font = {YellowColor, 12, true, false};
  box.caption = " Specify ASCII line structure ";
  box.checked = false;
  ShowDialogModal();
  if (DialogOk != 1) return false;

  c.fileKind = std::clamp(Form2.RadioGroup1.itemIndex + 1, 1, kinds);
  c.axisKind = mode == 1 && Form2.RadioGroup2.itemIndex >= 0 ? std::clamp(Form2.RadioGroup2.itemIndex, 0, 2)
                                                             : sp.AxisKind;
  c.skipHeader = Form2.CheckListBox1.Checked(0);
  c.reverseBytes = Form2.CheckListBox1.Checked(1);
  c.startingChannelOne = Form2.CheckListBox1.Checked(2);
  c.askErrorType = Form2.CheckListBox1.Checked(3);
  c.asciiStructure = box.checked;
  return true;
}

// ---- widths and analysis bounds ----

bool AskWidthBounds(const TSpectrum& sp, TWidthBounds& wb) {
  SetHelpLines(AnalysisModesHelp);
  BeginDialog(1);
  PlaceLabel(Form2.Label1, 10, 5, "Check width information, analysis bounds", WhiteColor, TextBackgroundColor);
  static const char* const labels[WidthRows] = {"Width Beg (chan) = ",          "Delta WidthBeg (chan) = ",
                                                "Width End (chan) = ",          "Width 2 = ",
                                                "First channel for analysis = ", "Last channel for analysis = "};
  const double values[WidthRows] = {sp.W0, sp.Dw0, sp.W1, sp.W2, static_cast<double>(sp.WorkFirst),
                                    static_cast<double>(sp.WorkLast)};
  FillValueColumn(WidthRows, labels, values, 180, 70);
  ShowNumberGrid(10, 30, WidthRows, 10, 1, WidthRows);
  PlaceLabel(Form2.Label2, 10, 170, "Select the background mode", WhiteColor, TextBackgroundColor);
  DialogOptions = LREC{};
  for (size_t k = 0; k < BackgroundModeNames.size(); ++k) DialogOptions.captions[k + 1] = BackgroundModeNames[k];
  DialogOptions.count = static_cast<int32_t>(BackgroundModeNames.size());
  DialogOptions.defaultItem = sp.BackgroundDegree + 2;  // out of -1..6: nothing preselected
  ShowRadioGroup(1, 1, 10, 170, 250, 190);
  ShowDialogModal();
  if (DialogOk != 1) return false;

  double v[WidthRows + 1] = {};
  if (!ReadGridValues(WidthRows, v)) return false;
  wb.w0 = v[1], wb.dw0 = v[2], wb.w1 = v[3], wb.w2 = v[4];
  wb.first = v[5], wb.last = v[6];
  // No item chosen (a degree the list does not hold): the degree stays.
  const int32_t item = Form2.RadioGroup1.itemIndex;
  wb.backgroundDegree = item >= 0 ? std::clamp(item + 1, 1, 8) - 2 : sp.BackgroundDegree;
  return true;
}

void ApplyWidthBounds(TSpectrum& sp, const TWidthBounds& wb) {
  sp.W0 = wb.w0;
  sp.Dw0 = wb.dw0;
  sp.W1 = wb.w1;
  sp.W2 = wb.w2;
  sp.BackgroundDegree = wb.backgroundDegree;
  // Ordered first, then held inside the read range: 500 and 100 on channels 1..400 give 100..400.
  int32_t first = RoundedChannel(wb.first), last = RoundedChannel(wb.last);
  if (first > last) std::swap(first, last);
  first = std::max(first, sp.FirstChannel);
  last = std::min(last, sp.LastChannel);
  if (first > last) {
    first = sp.FirstChannel;
    last = sp.LastChannel;
  }
  sp.WorkFirst = first;
  sp.WorkLast = last;
}

int32_t HoldAnalysisBounds(TSpectrum& sp) {
  int32_t first = std::max(sp.WorkFirst, sp.FirstChannel);
  int32_t last = std::min(sp.WorkLast, sp.LastChannel);
  if (last - first <= 1) last = sp.LastChannel;
  // Bounds of a longer spectrum read before can lie beyond this one's end.
  if (first >= last) {
    first = sp.FirstChannel;
    last = sp.LastChannel;
  }
  sp.WorkFirst = first;
  sp.WorkLast = last;
  return last;
}

// ---- reading ----

int32_t ReadSpectrumFile(int32_t mode) {
  TSpectrum* sp = SpectrumAt(mode == 0 ? 0 : CurrentSpectrum);
  if (!sp) {
    IoOk = 0;
    return 0;
  }
  bool ok = false;
  switch (mode == 2 ? sp->VarianceFileType : sp->FileType) {
    case 1: ok = sp->ReadBinarySpectrum2(); break;
    case 2: ok = sp->ReadBinarySpectrum(); break;
    case 3: ok = sp->ReadAsciiSpectrum(sp->FirstChannel, sp->LastChannel); break;
    case 4:
      ok = sp->ReadAsciiTriples(sp->FirstChannel);
      if (!ok) LogLine("Warning, is the spectrum really a channel-counts one?");
      break;
    default: IoOk = 0;  // no reader: nothing read
  }
  // A failed read leaves the spectrum, its count range and its bounds as they were.
  if (!ok) return sp->WorkLast;
  // New counts are neither normalised nor corrected yet (every caller reads through here).
  if (mode != 2) sp->NormalizedFlag = sp->AbsorptionCorrectedFlag = 0;
  sp->ComputeYRange();
  return HoldAnalysisBounds(*sp);
}

// ---- the command ----

void InputSpectrumFile(int32_t mode) {
  DialogOk = 0;
  if (mode < 0 || mode > 2) return;
  const int32_t i = mode == 0 ? 0 : CurrentSpectrum;
  TSpectrum* sp = SpectrumAt(i);
  if (!sp) return;
  static const char* const heads[3] = {"Effective spectrum ", "Spectrum ", "Variance "};
  DialogCaption = heads[mode] + std::to_string(i) + " input";
  SetHelpLines(SpectrumInputHelp);
  DialogOk = 1;

  if (mode == 0) {
    bool dn2 = false;
    if (!AskEffectiveSource(dn2)) return;
    if (dn2) {
      SetUpDn2EffectiveSpectrum();
      ReportInput(mode, i);
      return;
    }
  }
  VarianceMode = mode == 2 ? 1 : 0;

  // The file: the dialog starts from the spectrum file name in every mode.
  const ReadBefore before{sp->Name, sp->AxisKind, sp->FirstChannel, sp->LastChannel};
  std::string name = sp->Name;
  TFileDialog& dialog = Form2.OpenDialog1;
  dialog.title = DialogCaption;
  RunOpenDialog(dialog, name, "*.sp*", SpectrumFilter, SpectrumDir);
  if (DialogOk != 1) return;
  SpectrumDir = std::filesystem::path(name).parent_path().string();
  (mode == 2 ? sp->VarianceName : sp->Name) = name;

  // How to read it.
  TSpectrumReadChoice choice;
  if (!AskSpectrumReadChoice(mode, *sp, choice)) return;
  if (choice.asciiStructure) {
    const std::string caption = DialogCaption;
    AskAsciiColumns();
    if (DialogOk != 1) return;
    DialogCaption = caption;  // the dialogs that follow are the input's again
    SetHelpLines(SpectrumInputHelp);
  }
  (mode == 2 ? sp->VarianceFileType : sp->FileType) = choice.fileKind;
  if (mode == 1) sp->AxisKind = choice.axisKind;
  SkipHeader = choice.skipHeader;
  ReverseBytes = choice.reverseBytes;
  StartingChannelOne = choice.startingChannelOne;
  if (choice.askErrorType && !AskErrorType()) return;

  // The read; "DUMMY" (the spectrum file name, in every mode) is not read.
  if (!IsDummy(sp->Name)) {
    ReadSpectrumFile(mode);
    if (sp->Ymax == 0.0 || IoOk == 0) {
      ShowMsg("++++ Error, wrong reading");
      DialogOk = 0;
      return;
    }
    if (sp->Ymax < 1.0) {
      sp->Ymax = 1.0;
      if (!Ui().AskYesNo("Poor data scale, max < 1", MsgKind::Warning)) {
        DialogOk = 0;
        return;
      }
    }
    MakePoissonVariance(i);
    if (mode == 1) ProposeFromFile(*sp, before);
  }

  if (mode != 2) {
    if (mode == 1) {
      TWidthBounds wb;
      if (!AskWidthBounds(*sp, wb)) return;
      ApplyWidthBounds(*sp, wb);
    }
    if (sp->AxisKind != AxisAny) {
      CheckTofInformation(mode);
      if (DialogOk != 1) return;
      // Once per read, not once per pair of equal neighbours.
      if (KindFromFile(sp->FileType) && sp->AxisKind == AxisTimeOfFlight && FillDSpacingAxis(*sp))
        ShowMsg("Coinciding Xs (ds or thetas)");
    }
  }
  ReportInput(mode, i);
}

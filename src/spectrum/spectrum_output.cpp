#include "spectrum/spectrum_output.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <string>
#include "core/dialog_toolkit.h"
#include "core/help_texts.h"
#include "core/messages.h"
#include "core/model_tables.h"
#include "core/number_format.h"
#include "core/number_parse.h"
#include "core/settings_file.h"
#include "core/spectra_utilities.h"
#include "core/spectrum.h"
#include "core/text_file.h"
#include "crystal/fit_summary.h"
#include "spectrum/spectrum_checks.h"

uint8_t OutputExponentFormat = 0;
uint8_t OutputChannelsAsX = 0;

namespace {

constexpr int32_t MaxOutputDecimals = 15;  // FormatNumber's width 25 holds no more
constexpr double Word2Limit = 32767.0;     // the dialog's own limit of kind 1
constexpr double Word4Limit = 2147483647.0;

const char* AxisName(int32_t axis) {
  switch (axis) {
    case AxisTimeOfFlight: return "ToF";
    case AxisAngular: return "Angular";
    default: return "Any";
  }
}

// What the output dialog chose.
struct TOutputChoice {
  int32_t kind = 4;
  bool interval = false;
  std::string decimalsText;
};

bool AskOutputChoice(TOutputChoice& c) {
  SetHelpLines(NoCommentsHelp);
  BeginDialog(1);
  const std::string which = CurrentSpectrum == 0 ? "effective" : std::to_string(CurrentSpectrum);
  PlaceLabel(Form2.Label1, 10, 5, "Specify the output type.   Current Spectrum= " + which, WhiteColor,
             TextBackgroundColor);
  DialogOptions = LREC{};
  for (size_t k = 1; k <= 4; ++k) DialogOptions.captions[k] = SpectrumFileTypes[k];
  DialogOptions.count = 4;
  DialogOptions.defaultItem = 4;
  ShowRadioGroup(1, 1, 10, 100, 390, 25);
  PlaceButton(Form2.Button9, 320, 135, "Browse", 22, 80);
  PlaceLabel(Form2.Label2, 10, 135, "First set all options", WhiteColor, TextBackgroundColor);
  DialogEditLabel1 = "Digit number after comma =";
  DialogEditText1 = "0";
  ShowEditFields(10, 250, 165, 1, 60);
  SetDialogOptions({" Use format:   +-.zzzzzz+-E", " Output only interval  ", " Output channels as X, e.g. as d ",
                    " Output channels in mksec "});
  ShowCheckListBox(10, 195, 390, 80);
  Form2.CheckListBox1.SetChecked(2, OutputChannelsAsX != 0);
  Form2.CheckListBox1.SetChecked(3, OutputMicroseconds != 0);
  // The simulation's "Save the simulated variance" comes in with VarianceMode 1: errors then.
  SetDialogOptions({"   Output of spectrum counts", "   Output of spectrum errors"}, VarianceMode == 1 ? 2 : 1);
  ShowRadioGroup(2, 1, 10, 55, 390, 290);
  if (OutputSpectrumFileName.empty()) OutputSpectrumFileName = std::filesystem::current_path().string();
  BrowseRequest = 0;
  ShowDialogModal();
  if (DialogOk != 1 && BrowseRequest == 0) return false;
  DialogOk = 1;  // "Browse" closes the dialog like OK

  c.kind = std::clamp(Form2.RadioGroup1.itemIndex + 1, 1, 4);
  VarianceMode = Form2.RadioGroup2.itemIndex == 1 ? 1 : 0;
  OutputExponentFormat = Form2.CheckListBox1.Checked(0);
  c.interval = Form2.CheckListBox1.Checked(1);
  OutputChannelsAsX = Form2.CheckListBox1.Checked(2);
  OutputMicroseconds = Form2.CheckListBox1.Checked(3);
  c.decimalsText = Form2.Edit1.text;
  return true;
}

// The largest modulus of the values to be written (Y, or E^2 for errors); false when one is not
// a finite number (the writer refuses those itself).
bool LargestModulus(const TSpectrum& sp, int32_t first, int32_t last, double& m) {
  m = 0;
  for (int32_t k = first; k <= last; ++k) {
    const double v = VarianceMode == 1 ? sp.E[k] * sp.E[k] : sp.Y[k];
    if (!std::isfinite(v)) return false;
    m = std::max(m, std::fabs(v));
  }
  return true;
}

// The guard of the binary kinds; false, after the message, when the values do not fit.
bool FitsTheWord(const TSpectrum& sp, int32_t kind, int32_t first, int32_t last) {
  if (kind != 1 && kind != 2) return true;
  double m = 0;
  if (!LargestModulus(sp, first, last, m)) return true;
  const double limit = kind == 1 ? Word2Limit : Word4Limit;
  if (m <= limit) return true;
  ShowMsg(std::string("Can not save spectrum as ") + (kind == 1 ? "2" : "4") +
          " byte data, max= " + FormatNumberNoBlanks(0, m));
  return false;
}

void ShowReport(const std::string& first, const std::string& second) {
  InfoLines.count = 0;
  AddInfoLine(first);
  AddInfoLine(second);
  LogLine(first + " " + second);
  BeginDialog(1);
  ShowListBox(10, 10, 390, 60);
  ShowDialogModal();
}

}  // namespace

int32_t OutputDecimals(const std::string& text) {
  double x = 0;
  uint8_t ok = 1;
  StrToFloatRobust(text, x, ok);
  if (ok == 0 || !std::isfinite(x)) {
    ShowMsg("N of digits wrong= " + text);
    return 0;
  }
  const double r = std::nearbyint(x);
  if (r < 0 || r > MaxOutputDecimals) {
    ShowMsg("N of digits wrong= " + text);
    return static_cast<int32_t>(std::clamp(r, 0.0, double(MaxOutputDecimals)));
  }
  return static_cast<int32_t>(r);
}

void OutputSpectrumFile() {
  if (SpectrumMissing(CurrentSpectrum)) return;
  TSpectrum* sp = SpectrumAt(CurrentSpectrum);
  if (!sp) return;
  DialogCaption = "Output of the current spectrum (" + std::to_string(CurrentSpectrum) + ") " + AxisName(sp->AxisKind);
  if (sp->AxisKind == AxisAngular) OutputChannelsAsX = 1;

  TOutputChoice c;
  if (!AskOutputChoice(c)) return;
  int32_t first = sp->FirstChannel, last = sp->LastChannel;
  if (c.interval) WorkingRange(*sp, first, last);

  uint8_t ok = 0;
  Form2.SaveDialog1.filter = "Files(.spc)|*.ini|All|*.*";
  RunSaveDialog(Form2.SaveDialog1, OutputSpectrumFileName, ok);
  if (DialogOk != 1 || ok != 1) return;
  const std::string& name = OutputSpectrumFileName;
  const int32_t decimals = OutputDecimals(c.decimalsText);

  IoOk = 1;
  if (!FitsTheWord(*sp, c.kind, first, last)) {
    IoOk = 0;
    return;
  }
  switch (c.kind) {
    case 1: sp->WriteBinarySpectrum2(first, last, name); break;
    case 2: sp->WriteBinarySpectrum(first, last, name); break;
    case 3: sp->WriteAsciiSpectrum(first, last, name, decimals, OutputExponentFormat != 0); break;
    default:
      sp->WriteAsciiTriples(first, last, name, decimals, OutputExponentFormat != 0, OutputChannelsAsX != 0);
  }
  const std::string head = IoOk != 1          ? std::string("Writing failure. Not ")
                           : VarianceMode == 1 ? "Variance " + std::to_string(CurrentSpectrum)
                                               : "Spectrum " + std::to_string(CurrentSpectrum);
  ShowReport(head, "saved to " + name);
}

// ---- the listing ----

int32_t ListingDecimals(const TSpectrum& sp) {
  const double range = sp.Ymax - sp.Ymin;
  return range < 10 ? 2 : range < 100 ? 1 : 0;
}

std::string ListingLine(const TSpectrum& sp, int32_t k, int32_t decimals) {
  std::string line = FormatInteger(k, 5);
  line += FormatNumber(12, 4, sp.X[k]);
  line += FormatNumber(11, decimals, sp.Y[k]);
  line += FormatNumber(9, decimals, sp.E[k]);
  return line;
}

void ShowSpectrum() {
  const TSpectrum* current = SpectrumAt(CurrentSpectrum);
  if (!current) return;
  DialogCaption = "Spectrum " + std::to_string(CurrentSpectrum) + " " + current->Name;
  BeginDialog(1);
  SetDialogOptions({"   Eff.Spectrum ", "Spectrum 1", "Spectrum 2", "Spectrum 3", "Spectrum 4"}, CurrentSpectrum + 1);
  ShowRadioGroup(1, 1, 10, 130, 200, 30);
  PlaceLabel(Form2.Label1, 10, 5, "Select sp i and i1,i2", WhiteColor, TextBackgroundColor);
  static const char* const labels[2] = {" i1", " i2"};
  const double bounds[2] = {double(current->WorkFirst), double(current->WorkLast)};
  FillValueColumn(2, labels, bounds, 80, 80);
  ShowNumberGrid(230, 30, 2, 10, 1, 2);
  ShowDialogModal();
  if (DialogOk != 1) return;
  const int32_t j = std::clamp(Form2.RadioGroup1.itemIndex, 0, 4);
  double v[3] = {};
  if (!ReadGridValues(2, v)) return;
  // Held to the channel arrays; a reversed pair lists nothing.
  const auto channel = [](double x) {
    return static_cast<int32_t>(std::nearbyint(std::clamp(x, 1.0, double(MaxChannels))));
  };
  const int32_t i1 = channel(v[1]), i2 = channel(v[2]);
  const TSpectrum* sp = SpectrumAt(j);
  if (!sp) return;
  const int32_t decimals = ListingDecimals(*sp);
  for (int32_t start = i1; start <= i2; start += ListingPageLines) {
    InfoLines.count = 0;
    const int32_t end = std::min(i2, start + ListingPageLines - 1);
    for (int32_t k = start; k <= end; ++k) AddInfoLine(ListingLine(*sp, k, decimals));
    BeginDialog(1);
    PlaceLabel(Form2.Label1, 10, 5, " Channel     X-value             Counts        Error", WhiteColor,
               TextBackgroundColor);
    ShowListBox(10, 25, 400, 330);
    ShowDialogModal();
    if (DialogOk != 1) return;
  }
}

// ---- the fit as a spectrum ----

bool FitAvailableForSpectrum() {
  switch (MainMode) {
    case 0:
    case 2:
    case 3: return FitPending[MainMode] == 0;
    case 1: return FitPending[0] == 0 || FitPending[2] == 0 || FitPending[3] == 0;
    default: return false;
  }
}

void TurnFitToSpectrum() {
  if (!FitAvailableForSpectrum()) {
    ShowMsg("No fitting has been performed");
    DialogOk = 0;
    return;
  }
  DialogCaption.clear();
  BeginDialog(1);
  PlaceLabel(Form2.Label1, 10, 5, "A separate spectrum will be built" + LineBreak + "   using the fitted parameters",
             WhiteColor, TextBackgroundColor);
  SetDialogOptions({" 1", " 2", " 3", " 4"}, CurrentSpectrum + 1 > 4 ? 1 : CurrentSpectrum + 1);
  ShowRadioGroup(1, 1, 10, 110, 200, 50);
  ShowDialogModal();
  if (DialogOk != 1) return;
  const int32_t t = std::clamp(Form2.RadioGroup1.itemIndex + 1, 1, 4);
  CopySpectrum(CurrentSpectrum, t);
  TSpectrum* target = SpectrumOrNull(t);
  if (DialogOk != 1 || !target) return;

  // Mode 1 has no profile model: the copied counts stay.
  if (const ModelFunction model = MainMode == 1 ? nullptr : Stage4Model()) {
    int32_t first = 1, last = 0;
    WorkingRange(*target, first, last);
    for (int32_t k = first; k <= last; ++k) {
      ModelSpectrum = t;
      ModelChannel = k;
      double y = 0, w = 1, f = 0;
      model(y, w, f, k - first + 1, 4);
      target->Y[k] = f;
    }
  }
  target->ComputeYRange();
  StatusMessage = "  Fit -> spectrum " + std::to_string(t);
}

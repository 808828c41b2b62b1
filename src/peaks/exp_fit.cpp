#include "peaks/exp_fit.h"
#include <algorithm>
#include <array>
#include <cmath>
#include <string>
#include "core/dialog_toolkit.h"
#include "core/fit_engine.h"
#include "core/help_texts.h"
#include "core/model_tables.h"
#include "core/neighbour_services.h"
#include "core/spectra_utilities.h"
#include "core/spectrum.h"
#include "core/text_file.h"
#include "core/toolbox.h"
#include "crystal/fit_windows.h"
#include "crystal/peak_fit_models.h"
#include "peaks/fitra_state.h"

namespace {

constexpr std::array<const char*, ExpFitRecordCount> GridCaptions = {"B", "A", "T", "Sig", "t_0"};
constexpr std::array<const char*, ExpFitRecordCount> OutputNames = {"Background ", "Amplitude  ", "Halflife   ",
                                                                    "Resolution ", "T_0        "};
constexpr int32_t DecayRecord = 3, ResolutionRecord = 4, OnsetRecord = 5;

struct TStartRecord {
  double value, lower, upper;
};
constexpr std::array<TStartRecord, ExpFitRecordCount> StartRecords = {
    {{10, 10, 10}, {120000, 1000, 1e15}, {110, 90, 120}, {15, 15, 15}, {45, 21, 70}}};

void MakeFree(int32_t k) {
  ParameterRecord& r = parar[k];
  r.n = k;
  r.a = 1;
  r.b = 0;
  r.Name = GridCaptions[k - 1];
}

// Why a grid of bounds and values cannot be fitted; empty when it can. Both model modes divide
// by the decay time and the resolution, so neither may reach 0 within its bounds.
std::string GridRefusal(const double (&v)[ExpFitRecordCount + 1][4]) {
  auto lowest = [&](int32_t k) { return std::min({v[k][1], v[k][2], v[k][3]}); };
  if (!(lowest(DecayRecord) > 0)) return "Error, the half-life T and its bounds must be above 0";
  if (!(lowest(ResolutionRecord) > 0)) return "Error, the resolution Sig and its bounds must be above 0";
  return {};
}

// The grid of lower bound, value and upper bound with the mode choice, until the numbers can be
// fitted; false after Cancel. parar changes only when the grid is accepted.
bool AskExpParameters(const std::string& caption) {
  for (;;) {
    DialogCaption = caption;  // the fit-controls editor sets its own
    BeginDialog(1);
    SetHelpLines(FitraHelp);
    PlaceLabel(Form2.Label1, 5, 10, "Enter initial parameters", BlackColor, DefaultColor);
    PlaceLabel(Form2.Label2, 10, 30, "Par_name   Low_bound   Curr_value  Up_bound", WhiteColor, BlueColor);
    DialogColumnWidths[0] = 50;
    DialogColumnWidths[1] = 80;
    DialogColumnWidths[2] = 80;
    DialogColumnWidths[3] = 90;
    for (int32_t k = 1; k <= ExpFitRecordCount; ++k) {
      DialogFieldLabels[k] = GridCaptions[k - 1];
      DialogFieldValues[k][1] = parar[k].lower;
      DialogFieldValues[k][2] = parar[k].value;
      DialogFieldValues[k][3] = parar[k].upper;
    }
    ShowNumberGrid(10, 50, ExpFitRecordCount, 10, 3, ExpFitRecordCount);
    SetDialogOptions({"Resolution fit", "Fit t_0 mode"}, std::clamp(ExpFitMode, 0, 1) + 1);
    ShowRadioGroup(1, 1, 10, 60, 200, 200);
    ShowDialogModal();
    if (DialogOk != 1) return false;
    const int32_t mode = std::clamp(Form2.RadioGroup1.itemIndex, 0, 1);
    double v[ExpFitRecordCount + 1][4] = {};
    bool numbers = true;
    for (int32_t k = 1; k <= ExpFitRecordCount; ++k)
      for (int32_t c = 1; c <= 3; ++c) {
        uint8_t ok = 1;
        StrToFloatRobust(Form2.StringGrid1.Cell(c - 1, k - 1), v[k][c], ok);
        if (ok != 1 || !std::isfinite(v[k][c])) numbers = false;
      }
    if (!numbers) {
      ShowMsg(OptionPrompts[0]);
      continue;
    }
    const std::string refusal = GridRefusal(v);
    if (!refusal.empty()) {
      ShowMsg(refusal);
      continue;
    }
    ExpFitMode = mode;
    for (int32_t k = 1; k <= ExpFitRecordCount; ++k) {
      parar[k].lower = v[k][1];
      parar[k].value = v[k][2];
      parar[k].upper = v[k][3];
      MakeFree(k);
    }
    return true;
  }
}

}  // namespace

void SetNewExpParameters() {
  for (int32_t k = 1; k <= ExpFitRecordCount; ++k) {
    parar[k] = ParameterRecord{};
    parar[k].value = StartRecords[k - 1].value;
    parar[k].lower = StartRecords[k - 1].lower;
    parar[k].upper = StartRecords[k - 1].upper;
    MakeFree(k);
  }
  if (!FitParameters) return;
  TFitControls& c = FitParameters->Controls();
  c = DefaultFitControls;
  c.GNIter = 200;
  c.Step = 0.95;
  c.Damp = 0.05;
  c.CompressedMatrix = 1;
  DefaultFitControls = c;
}

bool RunExpFit() {
  const TSpectrum* sp = SpectrumOrNull(CurrentSpectrum);
  if (!FitParameters || !sp || FitParameters->RecordCapacity() < ExpFitRecordCount) return false;
  TParameter& f = *FitParameters;
  int32_t first = 1, last = 1;
  WorkingRange(*sp, first, last);
  f.NPar = ExpFitRecordCount;
  f.NPoints = std::max(0, last - first + 1);
  for (int32_t k = 1; k <= ExpFitRecordCount; ++k) f.Records[k] = parar[k];
  // Without an onset derivative (mode 0) a free t_0 would leave an empty row in the matrix.
  ParameterRecord& onset = f.Records[OnsetRecord];
  const double lower = onset.lower, upper = onset.upper;
  const bool holdOnset = ExpFitMode == 0 && lower != upper;
  if (holdOnset) onset.lower = onset.upper = onset.value;
  int32_t free = 0;
  for (int32_t k = 1; k <= ExpFitRecordCount; ++k) free += f.Records[k].lower != f.Records[k].upper;
  if (f.NPoints <= free) {
    onset.lower = lower, onset.upper = upper;
    ShowMsg("Error, the working range has " + std::to_string(f.NPoints) + " channels for " + std::to_string(free) +
            " free parameters");
    return false;
  }
  f.Fit(ExpGaussModel, NoProgress);
  if (holdOnset) {
    onset.lower = lower, onset.upper = upper;
    onset.Error = 0;
  }
  for (int32_t k = 1; k <= ExpFitRecordCount; ++k) parar[k] = f.Records[k];
  return true;
}

void ExponentialAnalysisLines(int32_t n) {
  InfoLines.count = 0;
  if (!FitParameters) return;
  const TParameter& f = *FitParameters;
  n = std::clamp(n, 0, std::min(ExpFitRecordCount, f.RecordCapacity()));
  AddInfoLine("      Chi^2 = " + FormatNumber(12, 2, f.ChiDf));
  AddInfoLine("      Chi+  = " + FormatNumber(10, 2, f.ChiPlus));
  AddInfoLine(std::to_string(f.Iterations) + " iterations");
  AddInfoLine(" ");
  for (int32_t k = 1; k <= n; ++k)
    AddInfoLine(std::string(OutputNames[k - 1]) + " = " + FormatNumber(14, 3, f.Records[k].value) + " +- " +
                (f.ErrorUndeterminedAt(k) ? std::string(9, ' ') + "?" : FormatNumber(10, 3, f.Records[k].Error)));
}

void OutputExponentialAnalysis(int32_t n) {
  ExponentialAnalysisLines(n);
  LogLine("");
  LogLine("    Exponential analysis;");
  for (int32_t k = 1; k <= InfoLines.count; ++k) LogLine(InfoLines.lines[k]);
}

bool ConvolutedExpoFitting() {
  bool fitted = false;
  const std::string caption = DialogCaption;
  BeginDialog(1);
  SetHelpLines(FitraHelp);
  SetDialogOptions({"Create new initial parameters", "Use the old ones"}, 1);
  ShowRadioGroup(1, 1, 20, 240, 270, 60);
  ShowDialogModal();
  if (DialogOk != 1) return false;
  if (Form2.RadioGroup1.itemIndex == 0) SetNewExpParameters();
  for (;;) {
    if (!AskExpParameters(caption)) return fitted;
    EditFitControls();
    if (DialogOk != 1) return fitted;
    if (FitParameters) FitParameters->Controls() = DefaultFitControls;
    if (!RunExpFit()) continue;
    fitted = true;
    DialogCaption = caption;
    PrepareDialog(420, 1, 450);
    SetHelpLines(FitraHelp);
    OutputExponentialAnalysis(ExpFitRecordCount);
    PlaceLabel(Form2.Label1, 5, 5, "Click on OK to continue fitting," + LineBreak + "or on Cancel to go to graphing",
               BlackColor, DefaultColor);
    ShowListBox(10, 45, 390, 300);
    ShowDialogModal();
    if (DialogOk != 1) return fitted;
  }
}

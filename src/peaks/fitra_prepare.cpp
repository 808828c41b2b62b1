// The two preparations of the Fitra menu: the peak array and the exponential array, each asked
// for inside the "Preparing parameter array" dialog that the menu opens.
#include <algorithm>
#include <cmath>
#include <string>
#include "core/dialog_toolkit.h"
#include "core/messages.h"
#include "core/mode_flags.h"
#include "core/model_tables.h"
#include "core/neighbour_services.h"
#include "core/number_parse.h"
#include "core/parameter_layout.h"
#include "core/peak_model.h"
#include "core/spectra_utilities.h"
#include "core/settings_file.h"
#include "core/spectrum.h"
#include "core/ui_backend.h"
#include "crystal/parameter_preparation.h"
#include "crystal/peak_fit_models.h"
#include "peaks/fitra_arrays.h"
#include "peaks/fitra_state.h"
#include "peaks/peak_model_tools.h"
#include "spectrum/spectrum_input.h"

namespace {

constexpr const char* ReuseCaption = "   Use available parameter array";
constexpr const char* CountDiffers = "New number of parameters differs from old";

// The background choice with BackgroundModeNames, item `preselected` (1-based).
void BackgroundOptions(int32_t preselected) {
  DialogOptions.count = static_cast<int32_t>(BackgroundModeNames.size());
  for (size_t k = 0; k < BackgroundModeNames.size(); ++k) DialogOptions.captions[k + 1] = BackgroundModeNames[k];
  DialogOptions.defaultItem = std::clamp(preselected, 1, DialogOptions.count);
}

// Grid cell (row, col), both 1-based, as a number; DialogOk := 0 when it is not one.
double GridNumber(int32_t row, int32_t col) {
  double x = 0;
  StrToFloatChecked(Form2.StringGrid1.Cell(col - 1, row - 1), x);
  if (!std::isfinite(x)) DialogOk = 0;
  return x;
}

// The refusal of a reused array of another size: nothing built, the array stays not prepared.
void RefuseReuse() {
  ShowMsg(CountDiffers);
  ParametersPending[FitraMode] = 1;
  DialogOk = 0;
}

int32_t ExpectedPeakCount(int32_t n) { return (WidthMode == -1 ? 3 * n + 6 : 2 * n + 18) + (M2Mode ? 2 : 0); }

}  // namespace

void PreparePeakParameters() {
  TSpectrum* sp = SpectrumAt(CurrentSpectrum);
  if (!sp) {
    DialogOk = 0;
    return;
  }
  const int32_t n = std::clamp(MarkedPointCount, 0, MarkedPointCapacity);
  ShowBevel(5, 9, 435, 1, 110);
  PlaceLabel(Form2.Label1, 10, 10, "Enter accuracies for positions, width0, width1", AquaColor, TextBackgroundColor);
  PlaceLabel(Form2.Label2, 115, 28, "Mod_1  Mod_2  Mod_3  Mod_4  Mod_5  Mod_6", WhiteColor, TextBackgroundColor);
  static const char* const rows[3] = {"Delta Pos(chan)", "Delta W0(chan)", "Delta W1(chan)"};
  const double* deltas[3] = {DeltaPosition, DeltaW0, DeltaW1};
  DialogColumnWidths[0] = 110;
  for (int32_t r = 1; r <= 3; ++r) {
    DialogFieldLabels[r] = rows[r - 1];
    for (int32_t j = 1; j <= 6; ++j) DialogColumnWidths[j] = 50, DialogFieldValues[r][j] = deltas[r - 1][j];
  }
  ShowNumberGrid(10, 48, 3, 8, 6, 3);
  PlaceLabel(Form2.Label3, 3, 120, "Select the background mode", WhiteColor, TextBackgroundColor);
  if (BackgroundMode == 1) sp->BackgroundDegree = 6;
  BackgroundOptions(sp->BackgroundDegree + 2);
  ShowRadioGroup(1, 1, 5, 210, 150, 136);
  PlaceLabel(Form2.Label4, 220, 148, std::to_string(n) + "  marked peak(s)", WhiteColor, TextBackgroundColor);
  if (n == 0) PlaceLabel(Form2.Label5, 160, 168, "Warning: Only background fitting", YellowColor, TextBackgroundColor);
  InfoLines.count = 0;
  for (const char* line : {" If peaks have different", " models,", " make model assignment", "     Command:",
                           " MARK, assign the models"})
    AddInfoLine(line);
  ShowListBox(170, 210, 210, 90);
  PlaceCheckBox(ReuseCaption, UseAvailableArray[FitraMode] == 1, 170, 310, 260);
  ShowDialogModal();
  if (DialogOk != 1) return;

  const int32_t degree = std::clamp(Form2.RadioGroup1.itemIndex + 1, 1, 8) - 2;
  sp->BackgroundDegree = degree;
  BackgroundMode = degree == 6 ? 1 : 0;
  ExponentialCount = 0;
  // The standard layout is counted without the other Fitra variants.
  FiveParameterFit = 0;
  PairedPeakMode = 0;
  CheckPeakModelNumbers(UsedPeakModelCount);
  for (int32_t j = 1; j <= std::min(UsedPeakModelCount, PeakModelCount - 1); ++j)
    if (PeakModels[j + 1] && PeakModels[j + 1]->ModelNumber == ModelExponential &&
        !Ui().AskYesNo("Peak model " + std::to_string(j) + " exponential. Proceed?", MsgKind::Confirmation)) {
      DialogOk = 0;
      return;
    }
  ParameterArrayMode = FitraMode;
  if (Form2.CheckBox1.checked) {
    if (PreparedParameterCount != ExpectedPeakCount(n)) return RefuseReuse();
  } else {
    double d[4][7] = {};
    for (int32_t r = 1; r <= 3; ++r)
      for (int32_t j = 1; j <= 6; ++j) d[r][j] = GridNumber(r, j);
    if (DialogOk != 1) return;
    std::copy(d[1] + 1, d[1] + 7, DeltaPosition + 1);
    std::copy(d[2] + 1, d[2] + 7, DeltaW0 + 1);
    std::copy(d[3] + 1, d[3] + 7, DeltaW1 + 1);
    int32_t first = 1, last = 1;
    WorkingRange(*sp, first, last);
    FitParameters->NPoints = last - first + 1;
    TidyMarkedPoints(first, last);
    CheckPeakModelNumbers(UsedPeakModelCount);
    if (sp->W0 == 0) {
      ShowMsg("Width0 = 0. See: INFO about spectrum");
      ParametersPending[FitraMode] = 1;
      DialogOk = 0;  // the menu must not take the unbuilt array as prepared
      return;
    }
    BuildPeakArray(*sp);
  }
  CountParameters(PreparedParameterCount, FitraMode);
  FitParameters->NPar = PreparedParameterCount;
}

void PrepareExponentialParameters() {
  TSpectrum* sp = SpectrumAt(CurrentSpectrum);
  if (!sp) {
    DialogOk = 0;
    return;
  }
  SetDialogOptions({ReuseCaption, "   Make standard exponential models"});
  ShowCheckListBox(50, 2, 280, 38);
  Form2.CheckListBox1.SetChecked(0, UseAvailableArray[FitraMode] == 1);
  Form2.CheckListBox1.SetChecked(1, true);
  PlaceLabel(Form2.Label1, 10, 43, "Select the number of exponentials", WhiteColor, TextBackgroundColor);
  SetDialogOptions({" 1", " 2", " 3", " 4"}, std::clamp(ExponentialCount, 1, MaxExponentials));
  ShowRadioGroup(1, 4, 50, 60, 300, 60);
  PlaceLabel(Form2.Label2, 10, 173, "Select the background mode", WhiteColor, TextBackgroundColor);
  BackgroundOptions(sp->BackgroundDegree + 2);
  ShowRadioGroup(2, 1, 100, 60, 200, 190);
  ShowBevel(5, 255, 380, 1, 115);
  PlaceLabel(Form2.Label3, 10, 260, "Enter half-lives and their accuracies", AquaColor, TextBackgroundColor);
  PlaceLabel(Form2.Label4, 130, 280, "Exp_1    Exp_2     Exp_3     Exp_4", WhiteColor, TextBackgroundColor);
  static const char* const rows[3] = {"2 Half-Life(chan)", " Delta (chan)", " Position (chan)"};
  const double proposed = ProposedExpPosition(*sp);
  DialogColumnWidths[0] = 120;
  for (int32_t r = 1; r <= 3; ++r) {
    DialogFieldLabels[r] = rows[r - 1];
    for (int32_t k = 1; k <= 4; ++k) {
      DialogColumnWidths[k] = 60;
      DialogFieldValues[r][k] = r == 1 ? DeltaPosition[k] : r == 2 ? DeltaW0[k] : proposed;
    }
  }
  ShowNumberGrid(10, 298, 3, 8, 4, 3);
  ShowDialogModal();
  if (DialogOk != 1) return;

  const int32_t E = std::clamp(Form2.RadioGroup1.itemIndex + 1, 1, MaxExponentials);
  const bool reuse = Form2.CheckListBox1.Checked(0), standard = Form2.CheckListBox1.Checked(1);
  // The grid first: a field that is not a number counts as a cancel, before anything changed.
  double d[4][MaxExponentials + 1] = {};
  if (!reuse) {
    for (int32_t r = 1; r <= 3; ++r)
      for (int32_t k = 1; k <= E; ++k) d[r][k] = GridNumber(r, k);
    if (DialogOk != 1) return;
  }
  sp->BackgroundDegree = std::min(0, std::clamp(Form2.RadioGroup2.itemIndex + 1, 1, 8) - 2);
  BackgroundMode = 0;
  ExponentialCount = E;
  FiveParameterFit = 0;
  PairedPeakMode = 0;
  ParameterArrayMode = FitraMode;
  for (int32_t k = 1; k <= E; ++k) MarkedPointModels[k] = k;
  MarkedPointCount = E;
  if (standard)
    for (int32_t k = 1; k <= E; ++k) {
      PeakModels[k + 1]->ModelNumber = ModelExponential;
      PeakModels[k + 1]->TabulatePeakModel();
    }
  const int32_t count = 2 * E + 18;
  if (reuse) {
    if (PreparedParameterCount != count) return RefuseReuse();
    FitParameters->NPar = count;
    return;
  }
  for (int32_t k = 1; k <= E; ++k) DeltaPosition[k] = d[1][k], DeltaW0[k] = d[2][k], ExpPositions[k] = d[3][k];
  const std::string refusal = BuildExponentialArray(*sp, E, sp->BackgroundDegree == 0);
  if (!refusal.empty()) {
    ShowMsg(refusal);
    ParametersPending[FitraMode] = 1;
    DialogOk = 0;
    return;
  }
  int32_t first = 1, last = 1;
  WorkingRange(*sp, first, last);
  FitParameters->NPoints = last - first + 1;
  FitParameters->NPar = PreparedParameterCount = count;
}

// The Fitra menu "PEAK / EXPONENTIAL  FITTING": the thirteen options in one modal dialog, each
// run and followed by a preselected next option, until the user leaves.
#include <algorithm>
#include <string>
#include "core/dialog_toolkit.h"
#include "core/fit_engine.h"
#include "core/help_texts.h"
#include "core/info_window.h"
#include "core/messages.h"
#include "core/mode_flags.h"
#include "core/model_switches.h"
#include "core/model_tables.h"
#include "core/neighbour_services.h"
#include "core/parameter_layout.h"
#include "core/spectra_utilities.h"
#include "core/settings_file.h"
#include "core/spectrum.h"
#include "crystal/fit_windows.h"
#include "crystal/parameter_editor.h"
#include "crystal/refinement_results.h"
#include "peaks/fitra_state.h"

namespace {

constexpr int32_t MenuItems = 13;

void SetWorkingInterval() {
  if (const TSpectrum* sp = SpectrumOrNull(CurrentSpectrum)) {
    int32_t first = 1, last = 1;
    WorkingRange(*sp, first, last);
    IntervalFirst = first, IntervalLast = last;
  }
}

// The menu once; the chosen item (1-based) or 0 after Cancel.
int32_t AskMenuItem(int32_t preselected) {
  SetHelpLines(FitraHelp);
  DialogCaption = "PEAK / EXPONENTIAL  FITTING";
  PrepareDialog(460, 0, 430);
  PlaceLabel(Form2.Label1, 5, 10, " Select the Option ", WhiteColor, TextBackgroundColor);
  // The status under the 13 items, clear of the lowest.
  if (!StatusText.empty()) PlaceLabel(Form2.Label2, 50, 310, StatusText, WhiteColor, BlueColor);
  SetDialogOptions({" Find the peaks", " Turn hkls to peaks", " ...Prepare peak parameters",
                    "    Prepare expon. parameters", " Make the fitting", " Show the Fitted Parameters",
                    " Save the Fitted Parameters", " Exit and show graphs", " ...Make convoluted_expo fitting",
                    " ...... Check Parameter Array", " ...... Use Non-Standard Arithm-Function",
                    " ...... Make the Fitting Loop", " AutoCalibration"},
                   preselected);
  ShowRadioGroup(1, 1, 10, 275, 290, 30);
  StatusText.clear();
  ShowDialogModal();
  if (DialogOk != 1) return 0;
  return std::clamp(Form2.RadioGroup1.itemIndex + 1, 1, MenuItems);
}

// Items 3 and 4. False leaves the menu; p is the next preselection.
bool Prepare(int32_t item, int32_t& p) {
  uint8_t ok = 1;
  std::string text;
  ConfirmReplaceUnsaved(ok, text);
  if (!ok) {
    DialogOk = 0;
    return false;
  }
  MainMode = FitraMode;
  CheckSpectrumData(CurrentSpectrum);
  if (DialogOk == 0) return false;
  DialogCaption = "Preparing parameter array";
  PrepareDialog(460, 0, 430);
  if (item == 3) PreparePeakParameters();
  else PrepareExponentialParameters();
  if (DialogOk == 0) return true;  // back to the menu, p unchanged
  ParameterNames();
  TParameter& fit = *FitParameters;
  const int32_t npar = std::clamp(fit.NPar, 0, std::min(fit.RecordCapacity(), MaxParameters));
  std::copy(parar + 1, parar + npar + 1, fit.Records.begin() + 1);
  if (!FitControlsGiven) {
    fit.SetFitDefaults();
    DefaultFitControls = fit.Controls();
    DefaultFitControls.Step = 0.98;
    DefaultFitControls.Damp = 0.02;
    DefaultFitControls.GNIter = 7;
    if (fit.NPar > MaxFreeParameters) DefaultFitControls.CompressedMatrix = 1;
  }
  EditParameterArray();
  StatusText = StatusMessage;
  SideButtonMask = "000011111111";
  SetParametersPending(13, 1);
  ParametersPending[FitraMode] = 0;  // the shared array now belongs to Fitra
  SetFitPending(13, 1);
  p = 5;
  return true;
}

// Items 5 and 12.
void RunFit(int32_t item, int32_t& p) {
  if (ParametersPending[FitraMode] != 0) {
    ShowMsg("First prepare parameters");
    p = 3;
    return;
  }
  EditFitControls();
  FitParameters->Controls() = DefaultFitControls;
  SetHelpLines(FitraHelp);
  FiveParameterFit = 0;
  if (item == 12) PeakFitLoop();
  else MakePeakFitting();
  // Only a fit that ran makes the Fitra results exist.
  if (FitraFitRan) {
    FitPending[FitraMode] = 0;
    SelectExclusive(FitraMode, 1);
    ResultsUnsaved[FitraMode] = 1;
  }
  p = 6;
}

// A peak fit of the Fitra layout exists (not the convoluted-exponential array) with a peak.
bool PeakFitExists() { return FitraFitExists() && FiveParameterFit == 0 && MarkedPointCount >= 1; }

}  // namespace

void FitraMenu() {
  int32_t p = 1;
  if (MarkedPointCount != 0) p = 3;
  if (ExponentialCount != 0) p = 4;
  StatusText.clear();
  SetWorkingInterval();
  FitParameters->NPoints = IntervalLast - IntervalFirst + 1;
  Form2ClickMode = 4;
  while (true) {
    const int32_t item = AskMenuItem(p);
    if (item == 0) {
      DialogOk = 0;
      return;
    }
    CheckPeakModelNumbers(UsedPeakModelCount);
    switch (item) {
      case 1:
        FindPeaksDialog();
        p = 3;
        break;
      case 2:
        TurnHklsToPeaks();
        p = 3;
        break;
      case 3:
      case 4:
        if (!Prepare(item, p)) return;
        break;
      case 5:
      case 12:
        RunFit(item, p);
        break;
      case 6:
      case 7:
        if (!FitraFitExists()) {
          ShowMsg("First make the fitting");
          p = 5;
          break;
        }
        OutputFittingResults(item);
        p = item + 1;
        break;
      case 8:
        if (FitraFitExists()) GraphMode = 2;
        SetWorkingInterval();
        DialogOk = 1;
        return;
      case 9:
        FiveParameterFit = 1;
        MainMode = FitraMode;
        if (ConvolutedExpoFitting()) FitPending[FitraMode] = 0;
        p = 8;
        break;
      case 10:
        EditParameterArray();
        break;
      case 11:
        MainMode = FitraMode;
        UseNonStandardFunction();
        p = 8;
        break;
      case 13:
        // The calibration rewrites spectrum 1's abscissae from the fitted peaks: a peak fit first.
        if (!PeakFitExists()) {
          ShowMsg("First make the fitting");
          p = 5;
          break;
        }
        DialogCaption = "Energy autocalibration ";
        PrepareDialog(530, 0, 400);
        for (auto& row : CalibrationResults) std::fill(std::begin(row), std::end(row), 0.0);
        AutoCalibration(MarkedPointCount, CalibrationPointCount);
        break;
      default:
        break;
    }
  }
}

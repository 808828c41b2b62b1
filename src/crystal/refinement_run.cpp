// The refinement menu and the refinement run of the Rietveld analysis and the powder match.
#include "crystal/refinement_run.h"
#include <algorithm>
#include <cmath>
#include <string>
#include <vector>
#include "core/dialog_toolkit.h"
#include "core/dspacing_list.h"
#include "core/fit_engine.h"
#include "core/fit_reports.h"
#include "core/help_texts.h"
#include "core/messages.h"
#include "core/mode_flags.h"
#include "core/model_switches.h"
#include "core/model_tables.h"
#include "core/neighbour_services.h"
#include "core/number_format.h"
#include "core/parameter_layout.h"
#include "core/settings_file.h"
#include "core/peak_model.h"
#include "core/spectra_utilities.h"
#include "core/spectrum.h"
#include "core/text_file.h"
#include "core/ui_backend.h"
#include "crystal/cell_update.h"
#include "crystal/fit_summary.h"
#include "crystal/form_hkl.h"
#include "crystal/model_checks.h"
#include "crystal/model_options.h"
#include "crystal/parameter_check.h"
#include "crystal/parameter_editor.h"
#include "crystal/parameter_preparation.h"
#include "crystal/profile_model.h"
#include "crystal/reflection_lists.h"
#include "crystal/refinement_results.h"
#include "crystal/fit_windows.h"

const std::string Blanks8(8, ' ');

namespace {

constexpr int32_t MenuItems = 12;

bool Ask(const std::string& text) { return Ui().AskYesNo(text, MsgKind::Warning); }

TSpectrum* Current() { return SpectrumOrNull(CurrentSpectrum); }

// The entry checks of the menu; false leaves it.
bool EnterMenuChecks() {
  TSpectrum* sp = Current();
  if (sp && sp->AxisKind == AxisTimeOfFlight && !(sp->NormalizedFlag && sp->AbsorptionCorrectedFlag)) {
    DialogHint = "Spectrum ";
    if (!sp->NormalizedFlag) DialogHint += " not normalized; ";
    if (!sp->AbsorptionCorrectedFlag) DialogHint += " not corrected for absorption.";
    if (!Ask(DialogHint + " Proceed?")) return false;
    sp->NormalizedFlag = sp->AbsorptionCorrectedFlag = 1;
  }
  CheckPhaseHkls();
  SpectrumCount = 1;
  const int32_t s = std::clamp(CurrentSpectrum, 0, 4);
  if (sp && (HklFormedFirst[s] != sp->WorkFirst || HklFormedLast[s] != sp->WorkLast) &&
      Ask("HKLs formed for other interval. Reform?"))
    FormHklSet();
  for (int32_t p = 1; sp && p <= std::clamp(PhaseCount, 0, MaxPhases); ++p) {
    const int32_t n = std::clamp(PhaseTable[p].ReflectionCount, 0, MaxReflections);
    if (n == 0) continue;  // CheckPhaseHkls has reported it; there is no first reflection
    double low = sp->DToChannel(HklTable[1][p].d), high = sp->DToChannel(HklTable[n][p].d);
    if (low > high) std::swap(low, high);
    if (sp->WorkLast < low || sp->WorkFirst > high) {
      ShowMsg("HKL-range and spec." + std::to_string(CurrentSpectrum) + " interval don't overlap,phase " +
              std::to_string(p) + "   Make new hkls");
      FormHklSet();
    }
  }
  for (int32_t p = 1; p <= std::clamp(PhaseCount, 0, PeakModelCount - 1); ++p)
    if (PeakModels[p + 1] && PeakModels[p + 1]->ModelNumber == ModelExponential &&
        !Ask("Peak model " + std::to_string(p) + " exponential. Proceed?"))
      return false;
  return true;
}

// The menu once; the chosen item (1-based) or 0 after Cancel.
int32_t AskMenuItem(int32_t preselected) {
  const std::string& mode = ModeNames[std::clamp(MainMode, 0, ModeCount - 1)];
  if (TSpectrum* sp = Current()) FitParameters->NPoints = sp->WorkLast - sp->WorkFirst + 1;
  DialogCaption = mode;
  SetHelpLines(RefinementMenuHelp);
  BeginDialog(1);
  if (!StatusText.empty()) PlaceLabel(Form2.Label3, 50, 350, StatusText, WhiteColor, BlueColor);
  PlaceLabel(Form2.Label1, 5, 10, " Select the Option ", WhiteColor, TextBackgroundColor);
  PlaceLabel(Form2.Label2, 200, 10, "Spectrum " + std::to_string(CurrentSpectrum), WhiteColor, BlueColor);
  SetDialogOptions({" ", "", "", "", "", " Exit and show GRAPHS", " ...... Send Parameters to Clipboard", " ",
                    " ...... Save atomic distances", " ...... Load Parameters from Clipboard",
                    " ...... Impose links between phases", " ...... Check Parameter Array"},
                   preselected);
  DialogOptions.captions[2] = " PREPARE the " + mode;
  DialogOptions.captions[3] = " MAKE the " + mode;
  DialogOptions.captions[4] = " SHOW the Quality of " + mode;
  DialogOptions.captions[5] = " SAVE the Results of " + mode;
  ShowRadioGroup(1, 1, 5, 25 * MenuItems + 40, 300, 30);
  ShowDialogModal();
  if (DialogOk != 1) return 0;
  return Form2.RadioGroup1.itemIndex + 1;
}

// The stop window, closed on every way out of the fit.
struct StopWindow {
  StopWindow() {
    ShowStopWindow();
    ShowDialogModeless();
  }
  ~StopWindow() { Form2.Close(); }
  StopWindow(const StopWindow&) = delete;
  StopWindow& operator=(const StopWindow&) = delete;
};

// The engine refused its input or stopped on a non-finite value before an accepted iteration.
bool FitDidNotStart(const TParameter& fit) {
  if (!fit.NoFreeParametersError.empty() || !fit.WrongArrayError.empty()) return true;
  if (fit.Status != 0) return false;
  return fit.Iterations == 0 || (fit.Conv == 0 && fit.Iterations <= 1);
}

// The four R-factors of spectrum s from the sums of the last final pass.
void FinishRFactors(int32_t s) {
  if (s < 0 || s >= RFactorSpectra) return;
  RFactorB[s] = RFactorP[s] / std::max(0.01, RFactorB[s]);
  RFactorP[s] = RFactorP[s] / std::max(0.01, SumAbsObserved[s]);
  RFactorW[s] = std::sqrt(RFactorW[s] / std::max(0.01, SumWeightedObservedSquares[s]));
  RFactorE[s] = RFactorE[s] / std::max(0.01, SumAbsObserved[s]);
}

// The closing dialog; false after Cancel. repeat and update from its two boxes.
bool AskClosingDialog(const TSpectrum& sp, bool& repeat, bool& update) {
  BeginDialog(1);
  InfoLines.count = 0;
  AddInfoLine(" ");
  AddInfoLine("   INTERVAL = " + FormatNumber(6, 0, sp.WorkFirst) + " -" + FormatNumber(6, 0, sp.WorkLast));
  int32_t n = 3;
  PrintFitSummary(n);
  ShowListBox(5, 10, 305, 260);
  ShowBevel(5, 270, 300, 1, 90);
  SetDialogOptions({" Repeat fitting with smaller step", " Update the spectral info"});
  ShowCheckListBox(20, 280, 270, 72);
  Form2.CheckListBox1.SetChecked(1, true);
  ShowDialogModal();
  if (DialogOk != 1) return false;
  repeat = Form2.CheckListBox1.Checked(0);
  update = Form2.CheckListBox1.Checked(1);
  return true;
}

}  // namespace

void AskFixParameter(int32_t i) {
  TParameter& fit = *FitParameters;
  if (i < 1 || i > std::min(fit.NPar, fit.RecordCapacity())) return;
  ParameterRecord& r = fit.Records[i];
  if (!(std::fabs(r.Error) >= 0.5 * std::fabs(r.value) && std::fabs(r.value * r.Error) > 0)) return;
  DialogHint = std::to_string(i) + "th parameter " + r.Name + ":error more than 50%!" + LineBreak + "fix it?";
  if (Ask(DialogHint)) r.lower = r.upper = r.value;
}

void AskFixBadParameters() {
  for (int32_t i = 4; i <= 9; ++i) AskFixParameter(i);
  if (AnisotropyOn)
    for (int32_t p = 1; p <= std::clamp(PhaseCount, 0, MaxPhases); ++p)
      if (AnisotropicPhases[p])
        for (int32_t i = 1; i <= 9; ++i) AskFixParameter(ParameterCount(1) + AnisotropyParameterCount * (p - 1) + i);
  if (M2Mode) AskFixParameter(ParameterCount(2) + 1), AskFixParameter(ParameterCount(2) + 2);
}

void RunFitWithRepeat() {
  CheckParameterArray();
  if (DialogOk == 0) return;
  TParameter& fit = *FitParameters;
  TSpectrum* sp = Current();
  if (!sp) {
    DialogOk = 0;
    return;
  }
  int32_t relaxed = 0;
  TotalFitIterations = 0;
  sp->UpdateAngleCalibration();
  UpdateAtomFixFlags(1);
  int32_t n = 0;
  CountFreeParameters(fit, n);
  if (n > MaxParameters) {
    ShowMsg("More than " + std::to_string(MaxParameters) + " free parameters");
    DialogOk = 0;
    return;
  }
  for (int32_t p = 1; p <= std::clamp(PhaseCount, 0, MaxPhases); ++p) {
    double scale = fit.Records[std::min(PhaseParameterOffset(p) + 1, fit.RecordCapacity())].value;
    EstimatePhaseScale(p, scale);  // refreshes the mean multiplicity; the estimate is not used
  }
  fit.PrintInterval = OptionFlags[0] ? 1 : 0;
  const int32_t s = std::clamp(CurrentSpectrum, 0, RFactorSpectra - 1);
  while (true) {
    bool updated = false;  // the phases follow the records of the last fit
    while (true) {
      updated = false;
      {
        StopWindow window;
        fit.CompressedMatrix = 1;
        fit.Fit(RietveldModel, ShowFitProgress);
      }
      TotalFitIterations += fit.Iterations;
      if (FitDidNotStart(fit)) {
        // Nothing copied, no flag changed, no res-file.
        if (!fit.NoFreeParametersError.empty()) ShowMsg(fit.NoFreeParametersError);
        DialogOk = 0;
        return;
      }
      EvaluateFitQuality(fit);
      const bool good = std::all_of(std::begin(fit.QualityFlags), std::end(fit.QualityFlags),
                                    [](uint8_t f) { return f == 0; });
      if (fit.StopRequest) break;
      if (fit.GNIter <= 1 && !Ask("Repeat fitting?")) break;
      if (MainMode == 2)
        for (int32_t p = 1; p <= std::clamp(PhaseCount, 0, MaxPhases); ++p) {
          const int32_t o = PhaseParameterOffset(p);
          for (int32_t j = 1; j <= std::clamp(PhaseTable[p].ReflectionCount, 0, MaxReflections); ++j) {
            const int32_t i = o + 10 + j;
            if (i > fit.NPar) break;
            ParameterRecord& r = fit.Records[i];
            if (r.lower != r.upper && r.lower == r.value) r.lower /= 3;
          }
        }
      AskFixBadParameters();
      UpdatePhasesFromParameters();
      updated = true;
      if (good || relaxed) break;
      RelaxFitControls(fit.Controls());
      relaxed = 1;
    }
    // STOP and a No to "Repeat fitting?" skip the cell update; the res-file reads the phases.
    if (!updated) UpdatePhasesFromParameters();
    const int32_t npar = std::min({fit.NPar, fit.RecordCapacity(), MaxParameters});
    for (int32_t i = 1; i <= npar; ++i) parar[i] = fit.Records[i];
    for (int32_t j = 1; j <= 6 && 3 + j <= npar; ++j) sp->Background[j] = fit.Records[3 + j].value;
    ResultsUnsaved[MainMode == 0 ? 0 : 2] = 1;
    SelectExclusive(MainMode, 1);
    FinishRFactors(s);
    bool repeat = false, update = true;
    if (!AskClosingDialog(*sp, repeat, update)) {
      DialogOk = 0;
      return;
    }
    if (update) ParametersToSpectrum();
    if (!repeat) break;
    fit.Step = DefaultFitControls.Step * 0.5;
  }
  SetFitPending(13, 1);
  FitPending[MainMode] = 0;
  WriteResFile();
  fit.GNIter = DefaultFitControls.GNIter;
  fit.Step = DefaultFitControls.Step;
  fit.Damp = DefaultFitControls.Damp;
  DialogOk = 1;
}

void MakeDdeParameterText() {
  ShowMemo(5, 290);
  Form2.Memo1.lines.clear();
  std::vector<std::string>& lines = Form2.Memo1.lines;
  lines.push_back("SERVER   =   VKEST");
  lines.push_back("TOPIC    =   PARAMETERS");
  TextFile unused;
  WriteParameterArrayText(unused, lines, 1);
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  Ui().Clipboard(text);
}

void FitActionMenu() {
  StopButtonOption = 1;
  const int32_t m = std::clamp(MainMode, 0, ModeCount - 1);
  int32_t item = ParametersPending[m] == 0 ? 3 : 2;
  StatusText.clear();
  if (!EnterMenuChecks()) return;
  while (true) {
    const int32_t choice = AskMenuItem(item);
    switch (choice) {
      case 0:
        return;
      case 2: {
        uint8_t ok = 1;
        std::string text;
        ConfirmReplaceUnsaved(ok, text);
        if (!ok) return;
        CheckSpectrumData(CurrentSpectrum);
        if (DialogOk == 0) return;
        int32_t check = 0;
        PrepareParameterArray(check);
        if (check) EditParameterArray();
        item = 3;
        break;
      }
      case 3:
        if (ParametersPending[m]) {
          ShowMsg("First make the preparation");
          item = 2;
          break;
        }
        EditFitControls();
        FitParameters->Controls() = DefaultFitControls;
        if (DialogOk == 0) return;
        RunFitWithRepeat();
        if (TSpectrum* sp = Current()) IntervalFirst = sp->WorkFirst, IntervalLast = sp->WorkLast;
        SideButtonMask = "000011111111";
        item = 4;
        break;
      case 4:
        if (FitPending[m]) {
          ShowMsg("First make the fitting");
          item = 3;
          break;
        }
        ShowRietveldResults();
        item = 5;
        break;
      case 5:
        SaveRietveldResults(0);
        item = 6;
        break;
      case 6:
        if (FitPending[m] == 0) GraphMode = 2;
        return;
      case 7:
        if (FitParameters->NPar == 0) {
          ShowMsg("First make the parameter array");
          item = 2;
        } else {
          MakeDdeParameterText();
        }
        break;
      case 8:
        if (FitParameters->NPar == 0) {
          ShowMsg("First make the parameter array");
          item = 2;
        } else {
          ResultsUnsaved[m == 0 ? 0 : 2] = 0;
          item = 6;
        }
        break;
      case 9:
        SaveRietveldResults(1);
        item = 6;
        break;
      case 11:
        if (FitParameters->NPar == 0) {
          ShowMsg("First make the preparation");
          item = 2;
        } else if (PhaseCount == 1) {
          ShowMsg("Only 1 phase");
          item = 4;
        } else {
          LinkPhases();
          item = 4;
        }
        break;
      case 12:
        EditParameterArray();
        break;
      default:  // items 1 and 10 do nothing
        break;
    }
  }
}

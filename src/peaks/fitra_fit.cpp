// The Fitra fit run: one fit with its automatic retry and the repeats at a smaller step, the fit
// over a group of files, the progress display, the choice of the paired-peak variant and the
// peaks formed from reflections.
#include <algorithm>
#include <cmath>
#include <string>
#include "core/abandon.h"
#include "core/dialog_toolkit.h"
#include "core/fit_engine.h"
#include "core/fit_reports.h"
#include "core/messages.h"
#include "core/mode_flags.h"
#include "core/model_tables.h"
#include "core/neighbour_services.h"
#include "core/number_format.h"
#include "core/parameter_layout.h"
#include "core/small_routines.h"
#include "core/spectra_utilities.h"
#include "core/settings_file.h"
#include "core/spectrum.h"
#include "core/text_file.h"
#include "crystal/fit_summary.h"
#include "crystal/model_options.h"
#include "crystal/peak_fit_models.h"
#include "crystal/profile_model.h"
#include "crystal/refinement_results.h"
#include "peaks/fitra_arrays.h"
#include "peaks/fitra_state.h"

bool FitraFitRan = false;

namespace {

// The stop window, closed on every way out of the fit.
struct StopWindow {
  explicit StopWindow(const char* title) {
    StopButtonOption = 1;
    ShowStopWindow();
    Form2.caption = std::string(" ") + title;
    ShowDialogModeless();
  }
  ~StopWindow() { Form2.Close(); }
  StopWindow(const StopWindow&) = delete;
  StopWindow& operator=(const StopWindow&) = delete;
};

// The iterations, Step and Damp of the default controls, undoing a retry and the halving.
void RestoreControls(TParameter& fit) {
  fit.GNIter = DefaultFitControls.GNIter;
  fit.Step = DefaultFitControls.Step;
  fit.Damp = DefaultFitControls.Damp;
}

ModelFunction FitraModel() { return PairedPeakMode == 0 ? PeakFitModel : PairedPeakFitModel; }

// The free records fit the engine's limit; else the message and DialogOk 0.
bool WithinFreeLimit(const TParameter& fit) {
  int32_t n = 0;
  CountFreeParameters(fit, n);
  if (n <= MaxParameters) return true;
  ShowMsg("More than " + std::to_string(MaxParameters) + " free parameters");
  DialogOk = 0;
  return false;
}

// The engine refused its input, or stopped on a non-finite value before an accepted iteration,
// or left values that are not numbers: no fit to report.
bool FitFailed(const TParameter& fit) {
  if (!fit.NoFreeParametersError.empty() || !fit.WrongArrayError.empty()) return true;
  if (fit.Status == 0 && (fit.Iterations == 0 || (fit.Conv == 0 && fit.Iterations <= 1))) return true;
  for (int32_t i = 1; i <= std::min(fit.NPar, fit.RecordCapacity()); ++i)
    if (!std::isfinite(fit.Records[i].value)) return true;
  return !std::isfinite(fit.ChiDf);
}

void ReportFailure(const TParameter& fit) {
  if (!fit.NoFreeParametersError.empty()) ShowMsg(fit.NoFreeParametersError);
  else if (!fit.WrongArrayError.empty()) ShowMsg(fit.WrongArrayError);
  else ShowMsg("Fit failed: no usable result");
}

bool AnyQualityFlag(const TParameter& fit) {
  return std::any_of(std::begin(fit.QualityFlags), std::end(fit.QualityFlags), [](uint8_t f) { return f != 0; });
}

// The result dialog; false after Cancel, repeat from its box.
bool AskResultDialog(const TSpectrum& sp, bool& repeat) {
  PrepareDialog(460, 0, 430);
  InfoLines.count = 0;
  AddInfoLine(" ");
  AddInfoLine("   INTERVAL = " + FormatNumber(6, 0, sp.WorkFirst) + " -" + FormatNumber(6, 0, sp.WorkLast));
  AddInfoLine(" ");
  int32_t n = 3;
  PrintFitSummary(n);
  ShowListBox(5, 10, 305, 260);
  ShowBevel(5, 270, 300, 1, 40);
  SetDialogOptions({" Repeat fitting with smaller step"});
  ShowCheckListBox(20, 280, 270, 24);
  ShowDialogModal();
  if (DialogOk != 1) return false;
  repeat = Form2.CheckListBox1.Checked(0);
  return true;
}

}  // namespace

void ShowFitIteration(int32_t) {
  const TParameter* fit = FitParameters.get();
  std::string chi = FormatNumber(25, 2, fit ? fit->ChiDf : 0.0);
  DeleteSpaces(chi);
  const std::string line1 = " Iteration= " + std::to_string(fit ? fit->Iterations : 0);
  const std::string line2 = "         Chi2= " + chi;
  if (StopButtonOption != 0) {
    DialogCaption = "Peak Fit";
    // One pass of the window system: the STOP button reaches the engine here.
    TimerYield();
    PlaceLabel(Form2.Label1, 15, 30, line1, WhiteColor, TextBackgroundColor);
    PlaceLabel(Form2.Label2, 50, 50, line2, AquaColor, TextBackgroundColor);
  } else {
    Form2.caption = line1 + line2;
  }
}

namespace {

// The current spectrum for a fit run after a preparation that went through (DialogOk 1); no
// fit has run yet. Null, with DialogOk 0 when there is no spectrum.
TSpectrum* FitRunSpectrum() {
  FitraFitRan = false;
  if (DialogOk == 0) return nullptr;
  TSpectrum* sp = SpectrumAt(CurrentSpectrum);
  if (!sp) DialogOk = 0;
  else TotalFitIterations = 0;
  return sp;
}

}  // namespace

void MakePeakFitting() {
  TSpectrum* sp = FitRunSpectrum();
  if (!sp) return;
  TParameter& fit = *FitParameters;
  bool retried = false;
  const ModelFunction model = FitraModel();
  const bool standard = PairedPeakMode == 0 && FiveParameterFit == 0;
  while (true) {
    while (true) {
      if (!WithinFreeLimit(fit)) return RestoreControls(fit);
      fit.PrintInterval = OptionFlags[0] ? 1 : 0;
      {
        StopWindow window("Peak Fit");
        fit.Fit(model, ShowFitIteration);
      }
      TotalFitIterations += fit.Iterations;
      if (FitFailed(fit)) {
        ReportFailure(fit);
        DialogOk = 0;
        return RestoreControls(fit);
      }
      EvaluateFitQuality(fit);
      // STOP ends the fit as it stands; no retry restarts it.
      if (!AnyQualityFlag(fit) || retried || fit.StopRequest) break;
      RelaxFitControls(fit.Controls());
      retried = true;
    }
    FitraFitRan = true;
    const int32_t npar = std::min({fit.NPar, fit.RecordCapacity(), MaxParameters});
    for (int32_t i = 1; i <= npar; ++i) parar[i] = fit.Records[i];
    // Records 1..6 are the background only in the standard layout.
    if (standard)
      for (int32_t j = 1; j <= std::min(6, npar); ++j) sp->Background[j] = fit.Records[j].value;
    bool repeat = false;
    if (!AskResultDialog(*sp, repeat)) return RestoreControls(fit);
    if (!repeat) break;
    fit.Step = DefaultFitControls.Step * 0.5;
  }
  if (standard) ParametersToSpectrum();
  SetFitPending(13, 1);
  FitPending[FitraMode] = 0;
  UseAvailableArray[FitraMode] = 0;
  SpectrumSlots = "     ";
  SpectrumSlots[static_cast<size_t>(std::clamp(CurrentSpectrum, 0, 4))] = 'x';
  RestoreControls(fit);
  DialogOk = 1;
}

void PeakFitLoop() {
  TSpectrum* sp = FitRunSpectrum();
  if (!sp) return;
  TParameter& fit = *FitParameters;
  if (sp->FileType != 1 && sp->FileType != 2) {
    ShowMsg("The fitting loop reads binary spectrum files only");
    DialogOk = 0;
    return;
  }
  if (!WithinFreeLimit(fit)) return;
  fit.PrintInterval = OptionFlags[0] ? 1 : 0;
  fit.CompressedMatrix = 1;
  const ModelFunction model = FitraModel();
  StopWindow window("Peak Fit Loop");
  for (int32_t k = 1; k <= std::clamp(SequenceCount, 0, SequenceCapacity); ++k) {
    sp->Name = SpectrumDir + "/" + SequenceFileNames[static_cast<size_t>(k)];
    const bool read = sp->FileType == 1 ? sp->ReadBinarySpectrum2() : sp->ReadBinarySpectrum();
    if (!read) AbandonOperation("Cannot read the spectrum " + sp->Name);
    sp->ComputeYRange();
    LogLine("");
    LogLine("Spectrum: " + sp->Name + "  Max=" + FormatNumber(9, 0, sp->Ymax));
    fit.Fit(model, ShowFitIteration);
    TotalFitIterations += fit.Iterations;
    Form2.caption = " " + DialogHint;
    if (FitFailed(fit)) {
      ReportFailure(fit);
      DialogOk = 0;
      return;
    }
    EvaluateFitQuality(fit);
    // Every file's parameters reach the result file, not only with the debug print mode.
    PrintFitResults(fit);
    FitraFitRan = true;
    if (fit.StopRequest) break;
  }
  const int32_t npar = std::min({fit.NPar, fit.RecordCapacity(), MaxParameters});
  for (int32_t i = 1; i <= npar; ++i) parar[i] = fit.Records[i];
}

void UseNonStandardFunction() {
  DialogCaption = "";
  BeginDialog(1);
  PlaceLabel(Form2.Label1, 5, 40, " Select the Option ", WhiteColor, TextBackgroundColor);
  SetDialogOptions({"For membrane structure analysis, Var 1", ""}, 1);
  ShowRadioGroup(1, 1, 20, 70, 310, 70);
  ShowDialogModal();
  if (DialogOk != 1) return;
  PairedPeakMode = static_cast<uint8_t>(std::clamp(Form2.RadioGroup1.itemIndex + 1, 1, 2));
  MainMode = FitraMode;
  ParameterArrayMode = FitraMode;
}

void TurnHklsToPeaks() {
  TSpectrum* sp = SpectrumAt(CurrentSpectrum);
  if (!sp) return;
  int32_t first = 1, last = 1;
  WorkingRange(*sp, first, last);
  const int32_t dropped = FormPeaksFromReflections(*sp, first, last);
  if (dropped > 0)
    ShowMsg(std::to_string(dropped) + " peaks beyond the first " + std::to_string(MarkedPointCount) + " dropped");
  StatusText = std::to_string(MarkedPointCount) + " peaks formed";
}

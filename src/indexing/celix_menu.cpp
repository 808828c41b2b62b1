// The Celix menu and the Make step of the powder indexing.
#include "indexing/celix_menu.h"
#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include "core/cell_geometry.h"
#include "core/cell_metric.h"
#include "core/dialog_toolkit.h"
#include "core/fit_engine.h"
#include "core/help_texts.h"
#include "core/messages.h"
#include "core/mode_flags.h"
#include "core/model_tables.h"
#include "core/neighbour_services.h"
#include "core/number_format.h"
#include "core/number_parse.h"
#include "core/settings_file.h"
#include "core/small_routines.h"
#include "core/text_file.h"
#include "core/ui_backend.h"
#include "crystal/cell_rows.h"
#include "crystal/model_options.h"
#include "indexing/dspacing_editing.h"
#include "indexing/flight_path.h"
#include "indexing/indexing_model.h"
#include "indexing/indexing_preparation.h"
#include "indexing/indexing_results.h"
#include "indexing/indexing_state.h"
#include "indexing/interval_reflections.h"
#include "indexing/taulsm.h"

namespace {

constexpr int32_t IndexingModeIndex = 1;
constexpr double Degrees = 57.2958;
constexpr int64_t Int32Max = std::numeric_limits<int32_t>::max();

int32_t Phases() { return std::clamp(PhaseCount, 0, MaxIndexingPhases); }

const std::string& ModeCaption() { return IndexingModeOptions.captions[std::clamp(IndexingMode + 2, 1, 3)]; }

int32_t RoundedCount(double x) { return RoundHalfEven(std::clamp(x, -2e9, 2e9)); }

// The menu once: the chosen item (1..13) or 0 after Cancel.
int32_t AskMenuItem(int32_t preselected) {
  DialogCaption = IndexingTitle + " (Celix)";
  SetHelpLines(IndexingModesHelp);
  BeginDialog(1);
  PlaceLabel(Form2.Label1, 5, 20, " Select the Option ", WhiteColor, TextBackgroundColor);
  SetDialogOptions({"         Enter D-spacings", "", "", " Show Results", " Save Results", " Print all reflections",
                    "         Refine Flight Path (or Lambda)", "         Edit the d-errors", "         Edit d-spacings",
                    "         Edit Cell Parameters", " Delete close d-spacings", " 2thetas -> d", " Exit"},
                   std::clamp(preselected, 1, 13));
  DialogOptions.captions[2] = " Prepare the " + IndexingTitle;
  DialogOptions.captions[3] = " Make the " + IndexingTitle;
  ShowRadioGroup(1, 1, 5, 13 * 22 + 20, 330, 40);
  ShowDialogModal();
  if (DialogOk != 1) return 0;
  return std::clamp(Form2.RadioGroup1.itemIndex + 1, 1, 13);
}

// The search dialog (steps 3 and 4); false when Make ends.
bool AskSearchControls(TAULSM& fit) {
  const bool cellMode = IndexingMode == 1;
  TFitControls& c = DefaultFitControls;
  if (cellMode) {
    for (int32_t i = 1; i <= std::clamp(DSpacingCount, 0, MaxDSpacings); ++i) DSpacingList[i].Phase = 1;
    c.ConvergenceMode = 0;
  }
  for (int32_t p = 1; p <= Phases(); ++p) SetDefaultBins(p, PhaseTable[p].CrystalSystem);
  DialogCaption = "Check the data and make the fit";
  SetHelpLines(IndexingChecksHelp);
  BeginDialog(1);
  PlaceLabel(Form2.Label1, 50, 2, "MODE = " + ModeCaption(), WhiteColor, TextBackgroundColor);
  static const char* const rows[7] = {" N of tries =", " N of Iterations =", " Step =", " Damp =",
                                      " Delta =",      " Beta =",             " Skip ="};
  const double values[7] = {cellMode ? 1.0 : double(fit.NTries), double(c.GNIter), c.Step, c.Damp, c.Delta, c.Beta,
                            double(c.Skip)};
  DialogColumnWidths[0] = 120;
  DialogColumnWidths[1] = 100;
  for (int32_t r = 1; r <= 7; ++r) DialogFieldLabels[r] = rows[r - 1], DialogFieldValues[r][1] = values[r - 1];
  ShowNumberGrid(10, 25, 7, 10, 1, 7);
  PlaceLabel(Form2.Label2, 5, 175, " Selection criterion ", WhiteColor, RedColor);
  PlaceLabel(Form2.Label3, 155, 175, " Volume minimization ", WhiteColor, TealColor);
  SetDialogOptions({"C", "Least modulus", "Least squares"}, std::clamp(c.FittingKind + 1, 1, 3));
  ShowRadioGroup(1, 1, 5, 70, 140, 195);
  SetDialogOptions({" as A^2+B^2+C^2 ", " as ABC "}, std::clamp(MinimizerKind + 1, 1, 2));
  ShowRadioGroup(2, 1, 155, 70, 160, 195);
  TCheckListBox& list = Form2.CheckListBox1;
  if (!cellMode) {
    SetDialogOptions({" Measures against bad reflections", " Deterministic parameter trials", " ALT parametrization ",
                      " Display current fitting", " Use volume restriction"});
    ShowCheckListBox(5, 270, 300, 5 * 18 + 4);
    list.SetChecked(0, BadReflectionMeasures != 0);
    list.SetChecked(1, fit.TriesPerBin != 0 && PhaseCount == 1);
    list.SetChecked(2, false);
    list.SetChecked(3, DisplayCurrentFit != 0);
    list.SetChecked(4, UseVolumeRestriction != 0);
  }
  ShowDialogModal();
  if (DialogOk != 1) return false;
  double v[7];
  for (int32_t r = 0; r < 7; ++r) {
    StrToFloatChecked(Form2.StringGrid1.Cell(0, r), v[r]);
    if (!std::isfinite(v[r])) DialogOk = 0;
  }
  if (DialogOk != 1) return false;
  fit.NTries = RoundedCount(v[0]);
  c.GNIter = RoundedCount(v[1]);
  c.Step = v[2], c.Damp = v[3], c.Delta = v[4], c.Beta = v[5];
  c.Skip = std::max(1, RoundedCount(v[6]));  // a skip of 0 would never leave a sweep
  c.FittingKind = std::clamp(Form2.RadioGroup1.itemIndex, 0, 2);
  MinimizerKind = std::clamp(Form2.RadioGroup2.itemIndex, 0, 1);
  if (cellMode) {
    fit.NTries = 1;
    fit.TriesPerBin = 0;
  } else {
    fit.TriesPerBin = list.Checked(1) ? BinTriesDefault : 0;
    BadReflectionMeasures = list.Checked(0);
    DisplayCurrentFit = list.Checked(3);
    UseVolumeRestriction = list.Checked(4);
  }
  SetVolumeWeights();
  return true;
}

// The bin dialog of phase p (step 5); false when Make ends.
bool AskBins(int32_t p, TAULSM& fit) {
  DialogCaption = "Set the bin amounts";
  BeginDialog(1);
  PlaceButton(Form2.Button7, 150, 320, "Calculate new N", 20, 120);  // below the grid, clear of its values
  static const char* const names[6] = {"A", "B", "C", "alpha", "beta", "gamma"};
  DialogColumnWidths[0] = 230;
  DialogColumnWidths[1] = 70;
  const int32_t rows = p == 1 ? 7 : 6;
  for (int32_t m = 1; m <= 6; ++m) {
    DialogFieldLabels[m] = std::string("Number of bins in ") + names[m - 1];
    DialogFieldValues[m][1] = std::max(1, BinCounts[p][m]);
  }
  DialogFieldLabels[7] = "Number of tries in each bin";
  DialogFieldValues[7][1] = std::max(1, fit.TriesPerBin);
  ShowNumberGrid(10, 40, rows, 10, 1, rows);
  for (int32_t r = 1; r <= rows; ++r) LimitGridRow(r, 1, HUGE_VAL);  // at least one bin and one try
  if (Phases() > 1) PlaceLabel(Form2.Label1, 70, 210, " Phase N " + std::to_string(p), WhiteColor, TextBackgroundColor);
  ShowDialogModal();
  if (DialogOk != 1) return false;
  double v[7] = {};
  for (int32_t r = 0; r < rows; ++r) {
    StrToFloatChecked(Form2.StringGrid1.Cell(0, r), v[r]);
    if (!std::isfinite(v[r])) DialogOk = 0;
  }
  if (DialogOk != 1) {
    ShowMsg(OptionPrompts[0]);
    return false;
  }
  for (int32_t m = 1; m <= 6; ++m) BinCounts[p][m] = std::max(1, RoundedCount(std::fabs(v[m - 1])));
  if (p == 1) BinTriesDefault = RoundedCount(v[6]);
  return true;
}

bool AskAllBins(TAULSM& fit) {
  for (;;) {
    for (int32_t p = 1; p <= Phases(); ++p)
      if (!AskBins(p, fit)) return false;
    for (int32_t p = 1; p <= Phases(); ++p) SetDefaultBins(p, PhaseTable[p].CrystalSystem);
    fit.TriesPerBin = BinTriesDefault;
    if (Ui().AskYesNo("Total N of tries= " + std::to_string(TotalGridTries()), MsgKind::Confirmation)) return true;
  }
}

std::string SearchQuestion(const TAULSM& fit) {
  return "Chi^2 =  " + FormatNumber(12, 2, fit.BestFunctional) + LineBreak + "d-diff(A)=" +
         FormatNumber(10, 5, fit.BestDeviation) + LineBreak + "Stop fitting?";
}

// Step 7: searches until the user is satisfied.
void RunSearches(TAULSM& fit) {
  for (;;) {
    fit.Controls() = DefaultFitControls;
    fit.ConvergenceMode = IndexingMode == 1 ? 0 : 1;
    fit.PrintInterval = OptionFlags[0] != 0 ? 1 : 0;
    fit.SearchTrials();
    RecalcIndexingData();
    TrialCounter = static_cast<int32_t>(std::min(int64_t{TrialCounter} + fit.TrialsRun, Int32Max));
    PlotCurrentFit();
    for (int32_t i = 1; i <= std::min(std::min(fit.NPar, fit.RecordCapacity()), MaxParameters); ++i)
      parar[i] = fit.Records[i];
    if (Ui().AskYesNo(SearchQuestion(fit), MsgKind::Confirmation) || Ui().Quitting()) break;
  }
  TImageCanvas& c = Form2.Image1.canvas;
  c.Brush.color = BlackColor;
  c.Brush.style = TBrushStyle::Solid;
  c.FillRect(0, 0, 516, 50);
  Ui().ImageChanged(c);
}

// Make; true when it ran to its end.
bool RunMake() {
  TAULSM* fit = CelixFitter.get();
  if (!fit) return false;
  TrialCounter = 0;
  if (IndexingMode == -1) {
    RecalcIndexingData();
    TrialCounter = 1;
    StopFitDisplay();
    PlotCurrentFit();
    ShowMsg("Indexing done");
  } else {
    if (!AskSearchControls(*fit)) return false;
    if (fit->TriesPerBin != 0 && !AskAllBins(*fit)) return false;
    if (DisplayCurrentFit != 0) StopFitDisplay();
    RunSearches(*fit);
  }
  UpdatePhaseCells();
  NoCrystalInfo = 0;
  FitPending[IndexingModeIndex] = 0;
  WriteIndexingLog();
  return true;
}

}  // namespace

void StopFitDisplay() {
  StopButtonOption = 1;
  ShowStopWindow();
  Form2.Button5.visible = false;
  ShowDialogModeless();
}

void SetVolumeWeights() {
  const TAULSM* fit = CelixFitter.get();
  for (int32_t p = 1; p <= Phases(); ++p) {
    if (!fit || 6 * p > std::min(fit->NPar, fit->RecordCapacity())) break;
    const ParameterRecord* r = &fit->Records[6 * (p - 1)];
    const double v = r[1].value * r[2].value * r[3].value / std::max(DSpacingCount, 1);
    VolumeWeights[p] = MinimizerKind == 0 ? 1 / std::max(std::pow(v, 0.677777), 1.0) : 1 / std::max(v, 1.0);
  }
}

int64_t TotalGridTries() {
  const TAULSM* fit = CelixFitter.get();
  int64_t total = fit ? std::max(fit->TriesPerBin, 0) : 0;
  constexpr int64_t limit = std::numeric_limits<int64_t>::max();
  for (int32_t p = 1; p <= Phases(); ++p)
    for (int32_t m = 1; m <= 6; ++m) {
      const int64_t n = std::max(BinCounts[p][m], 1);
      total = total > limit / n ? limit : total * n;  // held at the largest 64-bit value
    }
  return total;
}

void UpdatePhaseCells() {
  const TAULSM* fit = CelixFitter.get();
  if (!fit) return;
  for (int32_t p = 1; p <= Phases(); ++p) {
    if (6 * p > std::min(fit->NPar, fit->RecordCapacity())) break;
    const ParameterRecord* r = &fit->Records[6 * (p - 1)];
    double v[6], e[6];
    for (int32_t m = 0; m < 6; ++m) v[m] = r[m + 1].value, e[m] = r[m + 1].Error;
    LATTICE& phase = PhaseTable[p];
    if (phase.CrystalSystem == 2 && phase.Setting == 1) {
      // The fit is b-unique; setting 1 is c-unique: gamma is the monoclinic angle.
      v[5] = v[4], e[5] = e[4];
      v[4] = v[3], e[4] = e[3];
      std::swap(v[1], v[2]), std::swap(e[1], e[2]);
    }
    phase.Volume = CellVolumeFromCosines(v[0], v[1], v[2], v[3], v[4], v[5]);
    for (int32_t m = 0; m < 3; ++m) {
      phase.Cell[m] = v[m];
      phase.CellErrors[m] = e[m];
      phase.Cell[3 + m] = ArcCosClamped(v[3 + m]) * Degrees;
      phase.CellErrors[3 + m] = AngleErrorFromCosine(v[3 + m], e[3 + m]);
    }
    CellMetric(phase.Cell, phase.ReciprocalCell, phase.ReciprocalVolume, 0);
    PhaseMetric(p);
  }
}

void WriteIndexingLog() {
  const TAULSM* fit = CelixFitter.get();
  std::string stars;
  for (int32_t i = 0; i < 24; ++i) stars += "***";
  LogLine(stars);
  LogLine("* Starting " + IndexingTitle + "     Mode= " + ModeCaption());
  for (int32_t p = 1; p <= Phases(); ++p) {
    const int32_t* b = HklBounds[p];
    LogLine("* Phase " + FormatInteger(p, 1) + "  Minimizer = " + FormatNumber(12, 6, VolumeMinimizers[p]) +
            "  symmetry= " + CrystalSystemRow(PhaseTable[p].CrystalSystem).name);
    LogLine("  HKL_max/min_ph" + std::to_string(p) + FormatInteger(b[0], 5) + FormatInteger(b[1], 4) +
            FormatInteger(b[2], 5) + FormatInteger(b[3], 4) + FormatInteger(b[4], 5) + "    V_max=" +
            FormatNumber(7, 0, CellVolumes[p]) + "   N_ref=" + FormatInteger(PhaseTable[p].ReflectionCount, 5));
    if (!fit || 6 * p > std::min(fit->NPar, fit->RecordCapacity())) continue;
    const ParameterRecord* r = &fit->Records[6 * (p - 1)];
    std::string high = "  Par_max_ph" + std::to_string(p), low = "  Par_min_ph" + std::to_string(p);
    for (int32_t e = 1; e <= 3; ++e) high += FormatNumber(8, 2, r[e].upper), low += FormatNumber(8, 2, r[e].lower);
    for (int32_t e = 4; e <= 6; ++e) {
      high += FormatNumber(8, 2, ArcCosClamped(r[e].lower) * Degrees);
      low += FormatNumber(8, 2, ArcCosClamped(r[e].upper) * Degrees);
    }
    LogLine(high);
    LogLine(low);
  }
  LogLine("* N of trials = " + FormatInteger(TrialCounter, 8));
}

void MakeIndexing() { RunMake(); }

void CelixMain() {
  int32_t next = DSpacingCount > 0 ? 2 : 1;
  uint8_t ok = 1;
  std::string text;
  for (;;) {
    const int32_t item = AskMenuItem(next);
    switch (item) {
      case 0:
      case 13: return;
      case 1:
        ConfirmReplaceUnsaved(ok, text);
        FormDSpacings();
        next = DialogOk == 1 ? 2 : 1;
        break;
      case 2:
        ConfirmReplaceUnsaved(ok, text);
        if (ok == 0) return;
        if (DSpacingCount < 1) {
          ShowMsg("Error, no d-spacings for indexing");
          next = 1;
          break;
        }
        CreateCelixFitter();
        PrepareIndexing();
        next = 3;
        break;
      case 3:
        if (ParametersPending[IndexingModeIndex] != 0) {
          ShowMsg("First make the preparation");
          next = 2;
          break;
        }
        if (RunMake()) ResultsUnsaved[IndexingModeIndex] = 1;
        next = 4;
        break;
      case 4:
      case 5:
        if (FitPending[IndexingModeIndex] != 0) {
          ShowMsg("First make the fitting");
          next = 3;
          break;
        }
        ShowIndexingResults(item == 4 ? 2 : 3);
        next = item == 4 ? 5 : 13;
        break;
      case 6:
        RecalcHklD();
        ShowAllReflections();
        next = 13;
        break;
      case 7: RefineFlightPath(); break;
      case 8: TransformDErrors(); break;
      case 9: EditDSpacings(); break;
      case 10:
        if (ParametersPending[IndexingModeIndex] != 0) ShowMsg("Warning: Parameter array not prepared");
        EditCellParameters();
        next = 3;
        break;
      case 11:
        DeleteCloseDSpacings();
        next = 2;
        break;
      default:
        TwoThetasToD();
        next = 2;
        break;
    }
  }
}

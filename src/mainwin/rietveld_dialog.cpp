#include "mainwin/rietveld_dialog.h"
#include <algorithm>
#include "core/dialog_toolkit.h"
#include "core/model_switches.h"
#include "core/model_tables.h"
#include "core/neighbour_services.h"
#include "core/settings_file.h"
#include "core/spectra_utilities.h"
#include "core/spectrum.h"
#include "crystal/analysis_modes.h"
#include "crystal/crystal_menu.h"
#include "crystal/model_checks.h"
#include "crystal/parameter_editor.h"
#include "crystal/refinement_results.h"
#include "crystal/refinement_run.h"
#include "mainwin/graph_view.h"
#include "mainwin/main_window.h"

namespace {
constexpr int32_t AnalysisItemCount = 7;

// The dialog once: the chosen item (1..7), or 0 after Cancel.
int32_t AskAnalysis(int32_t preselected) {
  DialogCaption = "Select the analysis";
  PrepareDialog(460, 0, 430);
  SetHelpLines(RefinementMenuHelp);
  PlaceLabel(Form2.Label1, 5, 10, " Select the Option ", WhiteColor, TextBackgroundColor);
  // What the spectrum functions left, shown once.
  if (!StatusText.empty()) PlaceLabel(Form2.Label3, 50, 290, StatusText, WhiteColor, BlueColor);
  StatusText.clear();
  StatusMessage.clear();
  SetDialogOptions({"   Enter the CRYSTAL Info", " RIETVELD FIT", " POWDER MATCH", "   FOURIER Synthesis",
                    "   SETTINGS", "   Correct the SCALE Parameter", "   Check the PARAMETER ARRAY"},
                   preselected);
  ShowRadioGroup(1, 1, 5, 25 * AnalysisItemCount + 40, 300, 35);
  ShowDialogModal();
  if (DialogOk != 1) return 0;
  const int32_t choice = Form2.RadioGroup1.itemIndex + 1;
  return choice >= 1 && choice <= AnalysisItemCount ? choice : 0;
}

// Items 2 and 3: the fit menu of the mode, then its outcome on the window.
void RunFitMenu(int32_t mode) {
  MainMode = mode;
  FitActionMenu();
  ShowFitOutcome(mode + 1);
}
}  // namespace

int32_t AnalysisPreselection() {
  if (NoCrystalInfo) return 1;
  return MainMode == 0 ? 2 : 3;
}

void RietveldAnalysisDialog() {
  if (const TSpectrum* s = SpectrumOrNull(CurrentSpectrum)) {
    IntervalFirst = s->WorkFirst;
    IntervalLast = s->WorkLast;
    NChannels = IntervalLast - IntervalFirst + 1;
  }
  int32_t item = AnalysisPreselection();
  while (true) {
    switch (AskAnalysis(item)) {
      case 1:
        EnterCrystalInfo();
        item = MainMode == 0 ? 2 : 3;
        break;
      case 2: RunFitMenu(0); return;
      case 3: RunFitMenu(2); return;
      case 4: FourierSynthesis(); return;
      case 5: SetAnalysisModes(); break;
      case 6: CorrectScaling(); break;
      case 7: EditParameterArray(); return;
      default: return;  // Cancel
    }
  }
}

void ShowFitOutcome(int32_t kind) {
  HideStatusLabels();
  if (!StatusMessage.empty()) ShowStatus(StatusMessage, "");
  if (DialogOk != 1 || kind < 1 || kind > ModeCount || FitPending[kind - 1] != 0) return;
  SpectrumSlots = "     ";
  SpectrumSlots[static_cast<size_t>(std::clamp(CurrentSpectrum, 0, 4))] = 'x';
  RedrawGraph();
}

void TForm1::RietveldAnalysis1Click() { RietveldAnalysisDialog(); }

// The menu items of the main window that call one routine of the subsystem owning the operation,
// with what the window adds around it: status lines, redraws, side-button masks, the guards.
#include "mainwin/menu_commands.h"
#include <cmath>
#include "core/dialog_toolkit.h"
#include "core/graph_drawing.h"
#include "core/mode_flags.h"
#include "core/model_switches.h"
#include "core/model_tables.h"
#include "core/neighbour_services.h"
#include "core/number_format.h"
#include "core/settings_file.h"
#include "core/spectra_utilities.h"
#include "core/spectrum.h"
#include "core/text_file.h"
#include "crystal/analysis_modes.h"
#include "crystal/atomic_info.h"
#include "crystal/fit_windows.h"
#include "crystal/info_windows.h"
#include "crystal/parameter_editor.h"
#include "crystal/refinement_run.h"
#include "mainwin/click_modes.h"
#include "mainwin/gph_file.h"
#include "mainwin/graph_options.h"
#include "mainwin/graph_view.h"
#include "mainwin/interval_operations.h"
#include "mainwin/main_window.h"
#include "mainwin/rietveld_dialog.h"
#include "mainwin/settings_dialogs.h"
#include "mainwin/spectrum_commands.h"
#include "indexing/indexing_state.h"
#include "indexing/taulsm.h"
#include "ini/ini_commands.h"
#include "spectrum/simulation.h"

namespace {
bool GraphShown() { return GraphMode != 0; }

int32_t RoundChannel(double x) { return static_cast<int32_t>(std::nearbyint(x)); }

// The operation's one-line result (StatusMessage) in the first status line.
void ShowStatusMessage() { ShowStatusLine1(StatusMessage); }

// Graph "the Spectrum" and "the Spectrum Interval": the view, its mask, the range, the redraw.
void ShowSpectrumView(int32_t intervalView, const char* mask) {
  if (CurrentSpectrum < 1) CurrentSpectrum = 1;
  GraphIntervalView = intervalView;
  SideButtonMask = mask;
  SetGraphRange();
  if (DialogOk == 1) RedrawGraph();
}

// MarkIntervalByClicks; false when the wait ended without the two clicks (DialogOk 0).
bool ClickInterval(double& x1, double& x2) {
  DialogOk = 1;
  MarkIntervalByClicks(x1, x2);
  return DialogOk == 1;
}

// Sets the mask of the side buttons and lays them out again.
void SetSideButtons(const char* mask) {
  SideButtonMask = mask;
  ShowSideButtons();
}
}  // namespace

bool RequireGraph() {
  if (GraphShown()) return true;
  ShowStatusLine1(NoGraphMessage);
  return false;
}

bool XScaleLinear() { return LogXScale == 0; }

void WarnOutsideFittedInterval() {
  const TSpectrum* s = SpectrumOrNull(CurrentSpectrum);
  if (s && (IntervalFirst < s->WorkFirst || IntervalLast > s->WorkLast)) ShowStatusLine1(OutsideFittedMessage);
}

void SimulatedDataSaveLoop() {
  const std::string hint = DialogHint;  // OutputSpectrumFile uses the scratch string
  // The output writes the current spectrum: the simulated one is current while the loop runs.
  struct CurrentAfter {
    int32_t kept = CurrentSpectrum;
    ~CurrentAfter() { CurrentSpectrum = kept; }
  } keepCurrent;
  if (SimulatedSpectrum >= 1 && SimulatedSpectrum <= 4) CurrentSpectrum = SimulatedSpectrum;
  while (true) {
    const TSpectrum* s = SpectrumAt(CurrentSpectrum);
    if (!s) return;
    const std::string name = s->Name.size() > 60 ? LongNameNote : "The simulated spectrum name=" + s->Name;
    InfoLines.count = 0;
    AddInfoLine(hint);
    AddInfoLine("      Max= " + FormatNumberNoBlanks(2, s->Ymax));
    AddInfoLine(name);
    LogLine(InfoLines.lines[1] + InfoLines.lines[2]);
    DialogCaption = " Simulated data";
    BeginDialog(0);
    ShowListBox(5, 10, 400, 70);
    SetDialogOptions({"Save the simulated spectrum", "Save the simulated variance", "Exit"}, 3);
    ShowRadioGroup(1, 1, 20, 110, 300, 100);
    ShowDialogModal();
    const int32_t choice = Form2.RadioGroup1.itemIndex + 1;
    if (DialogOk != 1 || choice < 1 || choice > 2) return;
    // The variance is written from the errors (VarianceMode 1), the spectrum from the counts;
    // the readers find the counts mode again on every way out.
    struct CountsModeAfter {
      ~CountsModeAfter() { VarianceMode = 0; }
    } restore;
    VarianceMode = choice == 2 ? 1 : 0;
    OutputSpectrumFile();
  }
}

// ---- File ----

void TForm1::SimulatetheSpectrum1Click() {
  SimulateSpectrum();
  SimulatedDataSaveLoop();
  if (!GraphShown()) return;
  SelectSpectrum(CurrentSpectrum);
  RedrawGraph();
}

void TForm1::MakeFourierSpectrum1Click() { MakeRtofSpectrum(); }
void TForm1::ShowtheSpectrum1Click() { ShowSpectrum(); }
void TForm1::OutputtheSpectrum1Click() { OutputSpectrumFile(); }

void TForm1::Makefitaspectrum1Click() {
  StatusMessage.clear();
  TurnFitToSpectrum();
  ShowStatusMessage();
  StatusMessage.clear();
}

void TForm1::Assign2thetastochannels1Click() { AssignTwoThetas(CurrentSpectrum); }

void TForm1::OpenModeAnalysis() {
  switch (MainMode) {
    case 0:
    case 2: RietveldAnalysis1Click(); break;
    case 1: Autoindexing1Click(); break;
    case 3: Fitra1Click(); break;
    default: break;
  }
}

void TForm1::InputInifile1Click() {
  ReadIniFile(1);
  if (DialogOk == 1) OpenModeAnalysis();
  if (!GraphShown()) ResetMainWindow();
}

void TForm1::InputKESTdatfile1Click() {
  StatusMessage.clear();
  ReadIniFile(0);
  ShowStatusMessage();
}

void TForm1::SaveInifile1Click() {
  StatusMessage.clear();
  SaveIniFile(1);
  ShowStatusMessage();
}

void TForm1::MakeaFrameofINIFile1Click() { MakeIniFrame(); }

void TForm1::ResettheProgram1Click() {
  // The reset discards the results as an exit would: asked first, No keeps everything.
  uint8_t ok = 1;
  std::string text;
  ConfirmReplaceUnsaved(ok, text);
  if (ok != 1) return;
  ResetModelState(16834);  // sic: the menu passes 16834, not 16384 (the channel count is held inside)
  ResetMainWindow();
}

// ---- Settings ----

void TForm1::SettheMainMode1Click() {
  SetMainMode();
  GraphMode = 0;
  if (MainMode == 3) Form2ClickMode = 4;
  ResetMainWindow();
}

void TForm1::NumberofPhases1Click() { AskNumberOfPhases(); }

void TForm1::ScaleMode1Click() {
  SetScaleMode();
  if (GraphShown()) RedrawGraph();
}

void TForm1::SetWidthBckgModes1Click() { SetAnalysisModes(); }

void TForm1::ResetWeights1Click() {
  if (!RequireGraph()) return;
  double x1 = 0, x2 = 0;
  if (!ClickInterval(x1, x2)) return;
  int32_t first = RoundChannel(x1), last = RoundChannel(x2);
  ResetWeights(first, last);
  RedrawGraph();
}

void TForm1::FormandFontSizes1Click() {
  const bool shown = GraphShown();
  SetFormAndFontSizes();
  LayoutMainWindow(ScreenScale, ScreenScale);
  LayoutGraphWindow(ScreenScale, ScreenScale);
  ResetMainWindow();
  if (shown) RedrawGraph();
}

void TForm1::SetVariousOptions1Click() { SetVariousOptions(); }

// ---- Graph ----

void TForm1::theSpectrum1Click() { ShowSpectrumView(0, "000011111111"); }
void TForm1::theSpectrumInterval1Click() { ShowSpectrumView(1, "001111111111"); }

void TForm1::theFittedInterval1Click() {
  GraphIntervalView = 1;
  GraphFittedInterval();
  if (DialogOk != 1) return;
  EnableMainMenus(true);
  DrawSpectrumGraph(SpectrumSlots, GraphYMax, GraphYMin);
}

void TForm1::thePeakModel1Click() { GraphPeakModel(); }

void TForm1::theEffectiveSpectrum1Click() {
  const TSpectrum* s = SpectrumOrNull(0);
  if (!s || s->Present == 0) return;
  GraphIntervalView = 0;
  CurrentSpectrum = 0;
  SelectSpectrum(0);
  RedrawGraph();
}

void TForm1::SeveralSpectra1Click() {
  SelectSpectraToGraph(SpectrumSlots);
  if (DialogOk != 1) return;
  SideButtonMask = "000011111111";
  EnableMainMenus(true);
  RedrawGraph();
}

void TForm1::PlaneDistribution1Click() {
  SetSideButtons("110000100000");
  PlaneDistribution(Image1.canvas, Image2.canvas, 0);
  if (DialogOk == 1) SetSideButtons("000000100000");
}

void TForm1::Theoreticalhkls1Click() {
  if (!XScaleLinear() || !RequireGraph()) return;
  ShowTheoreticalPositions();
}

void TForm1::aGPHfile1Click() {
  GphFile(Image2.canvas, 1);
  if (DialogOk == 1) SetSideButtons("000000000000");
}

void TForm1::ShowSetofPoints2Click() { ShowPointMarkers(); }

// ---- Mark ----

void TForm1::IntervalBounds1Click() {
  if (!XScaleLinear() || !RequireGraph()) return;
  MarkIntervalBounds();
}

void TForm1::PeakModelBounds1Click() {
  if (!XScaleLinear() || !RequireGraph()) return;
  DialogOk = 1;
  MarkPeakModelBounds();
  if (DialogOk != 1) return;  // the wait ended without the clicks
  FormRealPeakModel(2);
  RedrawGraph();
  ShowStatusMessage();
}

void TForm1::SetofPoints1Click() {
  if (!XScaleLinear() || !RequireGraph()) return;
  MarkSetOfPoints();
}

void TForm1::AssigntheModels1Click() {
  if (!XScaleLinear()) return;
  if ((GraphMode != 1 && GraphMode != 2) || MarkedPointCount == 0) {
    ShowStatusLine1(std::string(NoGraphMessage) + NoPeaksSuffix);
    return;
  }
  AssignTheModels();
}

void TForm1::SumtheSpectrumInterval1Click() {
  if (!XScaleLinear() || !RequireGraph()) return;
  StatusMessage.clear();
  double x1 = 0, x2 = 0;
  if (!ClickInterval(x1, x2)) return;
  SumSpectrumInterval(RoundChannel(x1), RoundChannel(x2));
  RedrawGraph();
  ShowStatusMessage();
}

void TForm1::PutCommentsontheGraph1Click() { PutCommentsOnGraph(Image2.canvas); }

// ---- PeakModels ----

void TForm1::FormSpecialModel1Click() { FormSpecialModel(); }

void TForm1::MakeRealPeakModel1Click() {
  StatusMessage.clear();
  FormRealPeakModel(0);
  ShowStatusMessage();
}

void TForm1::MakeRealBackgroundModel1Click() {
  MakeRealBackgroundModel();
  ShowStatusMessage();
}

void TForm1::MakeDoubleSignedModel1Click() {
  StatusMessage.clear();
  FormRealPeakModel(1);
  ShowStatusMessage();
}

void TForm1::MovethePeakModels1Click() {
  int32_t from = 0, to = 0;
  MovePeakModels(from, to);
  if (DialogOk != 1) return;
  ShowStatusLine1(to == 777 ? "All the models = model 1"
                            : std::to_string(from) + "th model -> " + std::to_string(to));
}

void TForm1::TransformPeakModel1Click() { TransformPeakModel(); }

// ---- Transform ----

void TForm1::NormalizetheSpectrum1Click() { NormalizeSpectrum(); }
void TForm1::FittheTailofEfficSpectrum1Click() { FitEffectiveSpectrumTail(); }
void TForm1::SpectrumFunctions1Click() { SpectrumFunctions(); }
void TForm1::SpectrumArithmetic2Click() { SpectrumArithmetic(); }
void TForm1::GetAbsorptionCoefficients1Click() { GetAbsorptionCoefficients(); }
void TForm1::EventsToSpectrum1Click() { EventsToSpectrum(); }
void TForm1::BuildBackgroundbyMarkedPoints1Click() { BuildBackgroundByMarkedPoints(); }

// ---- Info ----

void TForm1::abouttheSpectrum1Click() { ShowSpectrumInfo(); }
void TForm1::abouttheVariance1Click() { ShowVarianceInfo(); }
void TForm1::aboutPhases1Click() { ShowPhaseInfo(); }
void TForm1::aboutAtoms1Click() { ShowAtomicInfo(); }
void TForm1::aboutHKLs1Click() { ShowHklInfo(); }
void TForm1::aboutParErrors1Click() { ShowParameterErrors(); }
void TForm1::aboutFitControls1Click() { EditFitControls(); }
void TForm1::aboutFitQuality1Click() { ShowFitQuality(); }
void TForm1::aboutdspacings1Click() { ShowDSpacings(); }
void TForm1::aboutINIfile1Click() { EnterIniFileName(); }
void TForm1::aboutSetofMarkedPoints1Click() { ShowMarkedPoints(); }

void TForm1::aboutParameters1Click() {
  StatusMessage.clear();
  EditParameterArray();
  ShowStatusMessage();
}

// ---- the direct items of the menu bar (Rietveld: rietveld_dialog.cpp) ----

void TForm1::Autoindexing1Click() { CelixMain(); }

void TForm1::Fitra1Click() {
  PairedPeakMode = 0;
  // The Fitra menu lays the side buttons out for its own graphs; the window's mask comes back
  // on every way out.
  struct MaskKeeper {
    std::string saved = SideButtonMask;
    ~MaskKeeper() { SideButtonMask = saved; }
  } keeper;
  FitraMenu();
  SideButtonMask = keeper.saved;
  if (DialogOk != 1) return;
  if (FitPending[3] == 0) RedrawGraph();
  ShowPointMarkers();
}

void TForm1::Test1Click() {
  TestMenu();
  if (DialogOk == 1 && GraphShown()) theSpectrum1Click();
}

void TForm1::Trevo1Click() { TrevoMain(); }

void TForm1::KeyRCommand() {
  StatusMessage.clear();
  MainMode = 0;
  FitActionMenu();
  ShowFitOutcome(1);
}

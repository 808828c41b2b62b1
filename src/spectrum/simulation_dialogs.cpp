// "Simulate the Data": the first dialog, the set-up menu of the profile modes and the run of the
// simulation.
#include <algorithm>
#include <cmath>
#include <string>
#include "core/dialog_toolkit.h"
#include "core/settings_file.h"
#include "core/fit_engine.h"
#include "core/help_texts.h"
#include "core/messages.h"
#include "core/model_tables.h"
#include "core/number_parse.h"
#include "core/spectra_utilities.h"
#include "core/spectrum.h"
#include "core/toolbox.h"
#include "core/ui_backend.h"
#include "crystal/analysis_modes.h"
#include "crystal/atom_editor.h"
#include "crystal/form_hkl.h"
#include "crystal/hkl_file.h"
#include "crystal/info_windows.h"
#include "crystal/model_checks.h"
#include "crystal/parameter_editor.h"
#include "crystal/parameter_preparation.h"
#include "crystal/phase_editor.h"
#include "spectrum/simulation.h"

namespace {

// The checks of the first dialog, in their order.
enum Check { WithErrors, Effective, SingleWithBg, SingleNoBg, OnlyTwoThetas, Anisotropic, DoubleSigned };

void SetOptions(const std::string* captions, int32_t n, int32_t defaultItem) {
  DialogOptions = LREC{};
  for (int32_t i = 1; i <= n && i <= OptionCapacity; ++i)
    DialogOptions.captions[static_cast<size_t>(i)] = captions[i - 1];
  DialogOptions.count = std::min(n, OptionCapacity);
  DialogOptions.defaultItem = defaultItem;
}

struct FirstAnswers {
  int32_t mode = 0, target = 1, axis = 0;
  bool checks[7] = {};
  double singlePhase = 1;
};

bool AskFirstDialog(FirstAnswers& a) {
  DialogCaption = "Spectrum simulation";
  SetHelpLines(SimulationHelp);
  BeginDialog(1);
  PlaceLabel(Form2.Label5, 5, 13, " Simulate data for: ", WhiteColor, TextBackgroundColor);
  SetOptions(ModeNames, ModeCount, std::clamp(MainMode, 0, ModeCount - 1) + 1);
  ShowComboBox(140, 11, 160);
  SetDialogOptions({"  Simulate with errors", "  Use the effective spectrum",
                    "  Simulate only single phase with background", "  Simulate single phase without background",
                    "  Simulate only 2thetas", "  Simulate anisotropic spectrum", "  Simulate doublesigned spectrum"});
  ShowCheckListBox(5, 42, 320, 120);
  Form2.CheckListBox1.SetChecked(WithErrors, SimulateWithErrors != 0);
  Form2.CheckListBox1.SetChecked(Anisotropic, AnisotropyOn != 0);
  PlaceLabel(Form2.Label6, 5, 182, " Put the simulated data", WhiteColor, TextBackgroundColor);
  PlaceLabel(Form2.Label7, 5, 200, " to Spectrum:", WhiteColor, TextBackgroundColor);
  SetDialogOptions({" 1", " 2", " 3", " 4"}, std::clamp(CurrentSpectrum, 1, 4));
  ShowRadioGroup(1, 1, 95, 120, 60, 200);
  PlaceLabel(Form2.Label8, 205, 182, "Spectrum type", WhiteColor, TextBackgroundColor);
  const TSpectrum* current = SpectrumOrNull(CurrentSpectrum);
  SetDialogOptions({"ToF", "Angular", "Any"}, current ? std::clamp(current->AxisKind, 0, 2) + 1 : 1);
  ShowRadioGroup(2, 1, 200, 90, 100, 200);
  DialogEditLabel1 = "If single phase, specify which ";
  DialogEditText1 = "1";
  ShowEditFields(10, 230, 350, 1, 40);
  NumberEdit(1);
  ShowDialogModal();
  if (DialogOk != 1) return false;
  a.mode = std::clamp(Form2.ComboBox1.itemIndex, 0, ModeCount - 1);
  for (int32_t i = 0; i < 7; ++i) a.checks[i] = Form2.CheckListBox1.Checked(i);
  a.target = std::clamp(Form2.RadioGroup1.itemIndex + 1, 1, 4);
  a.axis = std::clamp(Form2.RadioGroup2.itemIndex, 0, 2);
  StrToFloatChecked(Form2.Edit1.text, a.singlePhase);
  return DialogOk == 1;
}

// "Select the convolution function" and "Enter data"; false after a Cancel in either.
bool AskConvolution() {
  DialogCaption = "Select the convolution function";
  BeginDialog(0);
  SetDialogOptions({"Gaussian", "Lorentzian", "Constant", "Linear", "Periodic", "Random"},
                   std::clamp(ConvolutionKind, 0, 5) + 1);
  ShowRadioGroup(1, 1, 20, 150, 270, 30);
  ShowDialogModal();
  if (DialogOk != 1) return false;
  const int32_t kind = std::clamp(Form2.RadioGroup1.itemIndex, 0, 5);
  static const char* const labels[6] = {" Step in A",        " Step in Gamma",    " Link left width",
                                        " Link right width", " Angle left width", " Angle right width"};
  const int32_t rows = kind == 2 || kind == 5 ? 2 : 6;
  DialogCaption = "Enter data";
  BeginDialog(0);
  FillValueColumn(rows, labels, &ConvolutionParameters[1], 160, 80);
  ShowNumberGrid(20, 30, rows, 8, 1, rows);
  ShowDialogModal();
  if (DialogOk != 1) return false;
  double v[7] = {};
  for (int32_t i = 1; i <= rows; ++i) StrToFloatChecked(Form2.StringGrid1.Cell(0, i - 1), v[i]);
  if (DialogOk != 1) return false;
  ConvolutionKind = kind;
  for (int32_t i = 1; i <= rows; ++i) ConvolutionParameters[i] = v[i];
  return true;
}

// The set-up step 4 check: the channels of each phase's first and last reflection against the
// working range of the current spectrum.
void CheckHklOverlap() {
  TSpectrum* sp = SpectrumOrNull(CurrentSpectrum);
  if (!sp) return;
  for (int32_t p = 1; p <= std::clamp(PhaseCount, 0, MaxPhases); ++p) {
    const int32_t n = std::clamp(PhaseTable[p].ReflectionCount, 0, MaxReflections);
    if (n == 0) continue;
    const double c1 = sp->DToChannel(HklTable[1][p].d), c2 = sp->DToChannel(HklTable[n][p].d);
    if (std::max(c1, c2) < sp->WorkFirst || std::min(c1, c2) > sp->WorkLast)
      ShowMsg("HKL-range and spec." + std::to_string(CurrentSpectrum) + " interval don't overlap,phase " +
              std::to_string(p) + "\n\r Take other spectrum or diffraction parameters and make new hkls");
  }
}

// The set-up menu; false when it was cancelled (the operation ends).
bool RunSetupMenu(bool anisotropic) {
  while (true) {
    DialogCaption = "Spectrum simulation";
    BeginDialog(1);
    PlaceLabel(Form2.Label5, 50, 10, "Set up (if needed):", WhiteColor, TextBackgroundColor);
    SetDialogOptions({" Set the Number of Phases", " Make Spectral Data", " Make Crystallographic Data",
                      " Make the hkls", " Make Parameter Data", anisotropic ? " Make Convolution" : "",
                      " Make the Simulation and Exit"},
                     std::clamp(SimulationSetupStep, 1, 7));
    ShowRadioGroup(1, 1, 20, 170, 270, 30);
    Form2.CheckBox1.caption = "Disturb initial parameters by 5% after simulation";
    Form2.CheckBox1.checked = DisturbAfterSimulation != 0;
    Form2.CheckBox1.visible = true;
    Form2.CheckBox1.SetBounds(Scaled(5), Scaled(250), Scaled(330), Scaled(20));
    ShowDialogModal();
    if (DialogOk != 1) return false;
    DisturbAfterSimulation = Form2.CheckBox1.checked ? 1 : 0;
    const int32_t step = std::clamp(Form2.RadioGroup1.itemIndex + 1, 1, 7);
    switch (step) {
      case 1:
        AskNumberOfPhases();
        SimulationSetupStep = 2;
        break;
      case 2: {
        TSpectrum* sp = SpectrumAt(CurrentSpectrum);
        if (!sp) break;
        sp->WorkFirst = 300, sp->WorkLast = 1024, sp->FirstChannel = 1, sp->LastChannel = 1024;
        sp->Delay = 0, sp->BackgroundDegree = 0;
        IntervalFirst = 1, IntervalLast = 1024;
        std::string text;
        uint8_t ok = 0;
        EditSpectrumInfo(text, CurrentSpectrum, ok);
        if (ok) SimulationSetupStep = 3;
        break;
      }
      case 3:
        EditPhaseInfo(0);
        if (DialogOk == 1) EditAtomList(0);
        SimulationSetupStep = 4;
        break;
      case 4: {
        DialogCaption = "Spectrum simulation";
        BeginDialog(0);
        SetDialogOptions({"Form the hkls", "Input the hkls from a file"});
        ShowRadioGroup(1, 1, 20, 60, 270, 30);
        ShowDialogModal();
        if (DialogOk != 1) return true;  // straight to the simulation
        if (Form2.RadioGroup1.itemIndex == 1)
          InputHklFile();
        else
          FormHklSet();
        CheckHklOverlap();
        SimulationSetupStep = 5;
        break;
      }
      case 5: {
        const TSpectrum* sp = SpectrumOrNull(CurrentSpectrum);
        if (FitParameters && sp) FitParameters->NPoints = std::max(sp->WorkLast - sp->WorkFirst + 1, 1);
        int32_t check = 0;
        PrepareParameterArray(check);
        if (DialogOk == 1) EditParameterArray();
        SimulationSetupStep = anisotropic ? 6 : 7;
        break;
      }
      case 6:
        if (!anisotropic) break;
        if (!AskConvolution()) return true;
        break;
      default:
        return true;
    }
  }
}

}  // namespace

void SimulateSpectrum() {
  SimulatedSpectrum = 0;
  FirstAnswers a;
  if (!AskFirstDialog(a)) return;
  // A change into or out of the peak mode makes the array of the other layout useless.
  if (FitParameters && ((MainMode == 3 && (a.mode == 0 || a.mode == 2)) || (MainMode != 3 && a.mode == 3)))
    FitParameters->NPar = 0;
  MainMode = a.mode;
  TSpectrum* target = SpectrumAt(a.target);
  if (!target) return;
  target->AxisKind = a.axis;
  SimulateWithErrors = a.checks[WithErrors] ? 1 : 0;
  target->DoubleSigned = a.checks[DoubleSigned] ? 1 : 0;
  if (MainMode == 1) {
    SimulateDSpacings();
    return;
  }
  if (const TSpectrum* current = SpectrumAt(CurrentSpectrum)) {
    IntervalFirst = current->WorkFirst, IntervalLast = current->WorkLast;
    if (a.target != CurrentSpectrum) {
      const uint8_t doubleSigned = target->DoubleSigned;
      const int32_t axis = target->AxisKind;
      CopySpectrum(CurrentSpectrum, a.target);
      target->DoubleSigned = doubleSigned, target->AxisKind = axis;
    }
  }
  if (target->AxisKind == AxisAngular) {
    AssignTwoThetas(a.target);
    if (a.checks[OnlyTwoThetas]) return;
  }
  TSimulationRun run;
  run.mode = MainMode, run.target = a.target, run.withErrors = SimulateWithErrors != 0;
  run.useEffectiveSpectrum = a.checks[Effective];
  run.singleWithBackground = a.checks[SingleWithBg], run.singleWithoutBackground = a.checks[SingleNoBg];
  run.singlePhase = 1;
  if (MainMode != 3)
    run.singlePhase =
        static_cast<int32_t>(std::clamp(std::nearbyint(a.singlePhase), 1.0, double(std::max(PhaseCount, 1))));
  const bool anisotropic = a.checks[Anisotropic];

  while (true) {
    if ((MainMode == 0 || MainMode == 2) && !RunSetupMenu(anisotropic)) return;
    if (MainMode == 0 || MainMode == 2) {
      CheckPhaseHkls();
      if (DialogOk != 1 && Ui().AskYesNo(StatusMessage + " Repeat?", MsgKind::Confirmation)) continue;
      if (!FitParameters || FitParameters->NPar <= 0) {
        if (Ui().AskYesNo("No parameter data. Form?", MsgKind::Confirmation)) continue;
        return;
      }
    }
    break;
  }
  if (DisturbAfterSimulation) DisturbParameters();
  if (anisotropic && MainMode != 3) {
    for (int32_t i = 1; i <= 6; ++i) NumberBuffer[i] = ConvolutionParameters[i];
    NumberBuffer[7] = ConvolutionKind;  // the remembered kind, never a parser's leftover
    SimulateAnisoSpectrum();
    SimulatedSpectrum = 1;  // the distribution of cells always lands in spectrum 1
    return;
  }
  if (MainMode == 0 || MainMode == 2) {
    const int32_t p = run.singlePhase;
    if (PhaseTable[p].ReflectionCount <= 0) {
      ShowMsg("No HKLs for phase " + std::to_string(p));
      return;
    }
    for (int32_t q = 1; q <= std::min(PhaseCount, MaxPhases); ++q)
      if (q != p && PhaseTable[q].ReflectionCount <= 0) ShowMsg("No HKLs for phase " + std::to_string(q));
  } else {
    SetSimulationData();
    if (DialogOk != 1) return;  // a cancelled or refused set-up leaves the target as it was
    // The set-up makes the current spectrum double-signed for sines; the target holds them.
    if (SimulateSinuses) target->DoubleSigned = 1;
  }
  SimulationProgress progress("Spectrum simulation");
  SimulateChannels(run);
  SimulatedSpectrum = run.target;
}

#include "crystal/analysis_modes.h"

#include <algorithm>
#include <cmath>
#include <string>
#include "core/dialog_toolkit.h"
#include "core/help_texts.h"
#include "core/model_switches.h"
#include "core/model_tables.h"
#include "core/number_parse.h"
#include "core/parameter_layout.h"
#include "core/settings_file.h"
#include "core/spectrum.h"
#include "crystal/parameter_preparation.h"

namespace {

TSpectrum* SpectrumAt(int32_t s) { return s >= 0 && s <= 4 ? SpectrumList[s].get() : nullptr; }

// The answers of the mode dialog, stored together once every dialog has been answered.
struct TModeChoice {
  int32_t widthMode = 0;
  int32_t backgroundMode = 0;
  uint8_t anisotropy = 0, m2 = 0, deconvolution = 0;
  uint8_t anisotropic[MaxPhases + 1] = {};
  double resolution = 0, convolution = 0;
};

bool AskModes(TModeChoice& c) {
  DialogCaption.clear();
  SetHelpLines(AnalysisModesHelp);
  BeginDialog(1);
  // A width per peak (-1) has no law of its own to preselect: the first is shown.
  SetDialogOptions({"(0)   W = W0 + W1*x",
                    "(1)   W = W0 + W1*x^2",
                    "(2)   W = SQRT(w0 + W1*d^2)",
                    "(3)   W = SQRT(w0 + W1*d^2 + W2*d^4)"},
                   std::clamp(WidthMode, 0, 3) + 1);
  ShowRadioGroup(1, 1, 10, 110, 400, 5);
  Form2.RadioGroup1.caption = " Set the Width mode ";
  PlaceLabel(Form2.Label1, 10, 120, "Parameter W2 only in mode (3), in others it is extinction", WhiteColor,
             TextBackgroundColor);
  SetDialogOptions({" Polynomial", " Real background"}, std::clamp(BackgroundMode, 0, 1) + 1);
  ShowRadioGroup(2, 1, 10, 60, 250, 145);
  Form2.RadioGroup2.caption = " Set the Background mode ";
  SetDialogOptions({"Set anisotropic mode",
                    "Set m2-mode",
                    "Set the deconvolution mode",
                    "Set mode: separate width for each peak"});
  ShowCheckListBox(10, 220, 400, 80);
  Form2.CheckListBox1.SetChecked(0, AnisotropyOn != 0);
  Form2.CheckListBox1.SetChecked(1, M2Mode != 0);
  Form2.CheckListBox1.SetChecked(2, DeconvolutionMode != 0);
  Form2.CheckListBox1.SetChecked(3, WidthMode == -1);
  ShowDialogModal();
  if (DialogOk != 1) return false;
  c.widthMode = std::clamp(Form2.RadioGroup1.itemIndex, 0, 3);
  c.backgroundMode = std::clamp(Form2.RadioGroup2.itemIndex, 0, 1);
  c.anisotropy = Form2.CheckListBox1.Checked(0);
  c.m2 = Form2.CheckListBox1.Checked(1);
  c.deconvolution = Form2.CheckListBox1.Checked(2);
  if (Form2.CheckListBox1.Checked(3)) c.widthMode = -1;
  return true;
}

// The anisotropic phases of several; the ticks count whichever button closed the dialog.
void AskAnisotropicPhases(int32_t phases, uint8_t (&ticks)[MaxPhases + 1]) {
  DialogCaption = "Tick anisotropic phases";
  BeginDialog(1);
  DialogOptions = LREC{};
  for (int32_t p = 1; p <= phases; ++p) DialogOptions.captions[static_cast<size_t>(p)] = " Phase " + std::to_string(p);
  DialogOptions.count = phases;
  ShowCheckListBox(20, 20, 200, 18 * phases);
  for (int32_t p = 1; p <= phases; ++p) Form2.CheckListBox1.SetChecked(p - 1, ticks[p] != 0);
  ShowDialogModal();
  for (int32_t p = 1; p <= phases; ++p) ticks[p] = Form2.CheckListBox1.Checked(p - 1);
}

}  // namespace

void ShowItemDialog(int32_t n) {
  n = std::clamp(n, 1, DialogNumberCount);
  BeginDialog(1);
  PlaceLabel(Form2.Label1, 10, 20, DialogHint, WhiteColor, TextBackgroundColor);
  DialogColumnWidths[0] = 220;
  DialogColumnWidths[1] = 80;
  ShowNumberGrid(10, 50, n, 10, 1, n);
  ShowDialogModal();
  if (DialogOk != 1) return;
  double v[DialogNumberCount + 1] = {};
  for (int32_t i = 1; i <= n; ++i) {
    StrToFloatChecked(Form2.StringGrid1.Cell(0, i - 1), v[i]);
    if (!std::isfinite(v[i])) DialogOk = 0;
  }
  // A field that is not a number leaves DialogNumbers as they were: the caller stores nothing.
  if (DialogOk != 1) return;
  for (int32_t i = 1; i <= n; ++i) DialogNumbers[i] = v[i];
}

void SetAnalysisModes() {
  TModeChoice c;
  if (!AskModes(c)) return;
  const int32_t phases = std::clamp(PhaseCount, 0, MaxPhases);
  std::copy(std::begin(AnisotropicPhases), std::end(AnisotropicPhases), c.anisotropic);
  if (!c.anisotropy) {
    std::fill(std::begin(c.anisotropic), std::end(c.anisotropic), uint8_t{0});
  } else if (phases == 1) {
    c.anisotropic[1] = 1;
  } else if (phases > 1) {
    AskAnisotropicPhases(phases, c.anisotropic);
  }
  c.resolution = ResolutionWidth;
  c.convolution = ConvolutionType;
  if (c.deconvolution) {
    DialogCaption.clear();
    DialogHint = "Enter resolution and convolution type";
    DialogFieldLabels[1] = "Resolution width";
    DialogFieldLabels[2] = "Convolution type (0=gauss)";
    DialogFieldValues[1][1] = ResolutionWidth;
    DialogFieldValues[2][1] = ConvolutionType;
    ShowItemDialog(2);
    // Cancel or a mistyped number: none of the choices is taken.
    if (DialogOk != 1) return;
    c.resolution = DialogNumbers[1];
    c.convolution = DialogNumbers[2];
  }

  WidthMode = c.widthMode;
  BackgroundMode = c.backgroundMode;
  AnisotropyOn = c.anisotropy;
  M2Mode = c.m2;
  DeconvolutionMode = c.deconvolution;
  std::copy(std::begin(c.anisotropic), std::end(c.anisotropic), AnisotropicPhases);
  ResolutionWidth = c.resolution;
  ConvolutionType = c.convolution;
  if (BackgroundMode == 1)
    if (TSpectrum* sp = SpectrumAt(CurrentSpectrum)) sp->BackgroundDegree = 6;

  if (!FitParameters) return;
  TParameter& fit = *FitParameters;
  int32_t n = 0;
  CountParameters(n, MainMode);
  // Powder match leaves the magnetic block out of its count while the anisotropy and m2
  // records follow it: the engine must reach every record the model reads.
  if (MainMode == 0 || MainMode == 2) n = std::max(n, ParameterCount(2) + (M2Mode ? 2 : 0));
  fit.NPar = std::clamp(n, 0, std::min(fit.RecordCapacity(), MaxParameters));
  if (AnisotropyOn || M2Mode) {
    SetAnisotropyRows();
    ParameterNames();
    for (int32_t i = std::max(ParameterCount(1) + 1, 1); i <= fit.NPar; ++i) fit.Records[i] = parar[i];
  }
}

void FillTwoThetaAxis(int32_t s) {
  TSpectrum* sp = SpectrumAt(s);
  if (!sp) return;
  sp->AxisKind = AxisAngular;
  const int32_t first = std::clamp(sp->FirstChannel, 1, MaxChannels);
  const int32_t last = std::clamp(sp->LastChannel, 1, MaxChannels);
  const double x0 = sp->X[first], step = sp->ChanWidth;
  // From the first channel's angle each time: no rounding error accumulates along the axis.
  for (int32_t ch = first; ch <= last; ++ch) sp->X[ch] = x0 + (ch - first) * step;
}

void AssignTwoThetas(int32_t s) {
  TSpectrum* sp = SpectrumAt(s);
  if (!sp) return;
  const int32_t first = std::clamp(sp->FirstChannel, 1, MaxChannels);
  DialogCaption.clear();
  SetHelpLines(EmptyHelpTopic);
  DialogHint = " Specify 2theta values (in degr.) of: ";
  DialogFieldLabels[1] = "2theta angle of the 1st channel";
  DialogFieldLabels[2] = "2theta step";
  DialogFieldValues[1][1] = sp->X[first];
  DialogFieldValues[2][1] = sp->ChanWidth;
  ShowItemDialog(2);
  if (DialogOk != 1) return;
  const double x0 = DialogNumbers[1], step = DialogNumbers[2];
  sp->X[first] = x0;
  sp->ChanWidth = step;
  // channel = two-theta x slope + offset; a zero step gives no calibration (slope 0).
  sp->AngleToChannelSlope = step != 0 ? 1.0 / step : 0.0;
  sp->AngleToChannelOffset = first - x0 * sp->AngleToChannelSlope;
  FillTwoThetaAxis(s);
}

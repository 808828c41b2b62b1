// The dialogs of the peak-model tools. Each tool works on a copy of the model and puts it in
// place only when every step succeeded, so a cancel or a refusal leaves the models as they were.
#include <algorithm>
#include <cmath>
#include <string>
#include "core/dialog_toolkit.h"
#include "core/graph_drawing.h"
#include "core/help_texts.h"
#include "core/model_tables.h"
#include "core/neighbour_services.h"
#include "core/numeric_arrays.h"
#include "core/settings_file.h"
#include "core/spectra_utilities.h"
#include "core/spectrum.h"
#include "core/text_file.h"
#include "core/toolbox.h"
#include "core/ui_backend.h"
#include "crystal/peak_fit_models.h"
#include "peaks/peak_model_tools.h"
#include "spectrum/spectrum_checks.h"

namespace {
constexpr int32_t FitraMode = 3;
double ComponentProfile[PeakModelPoints + 1], ComponentGauss[PeakModelPoints + 1],
    ComponentLorentz[PeakModelPoints + 1], ComponentData[PeakModelPoints + 1];
double FittedCurve[MaxChannels + 1];

std::string Int(int32_t n) { return std::to_string(n); }

int32_t RoundedValue(double x) { return RoundHalfEven(std::clamp(x, -2.0e9, 2.0e9)); }

// The model-number choice "Model 0(Bckg)" .. "Model 6" with item `preselected` (1-based).
void ModelNumberOptions(int32_t preselected) {
  SetDialogOptions({"Model 0(Bckg)", "Model 1", "Model 2", "Model 3", "Model 4", "Model 5", "Model 6"}, preselected);
}

int32_t ChosenModel(const TRadioGroup& g) { return std::clamp(g.itemIndex, 0, 6); }

// Model shape times 1000 (negated models drawn negative) as curve 1 of NumberBuffer.
void ShapeCurve(const TPeakModel& model, bool withSign) {
  const double sign = withSign && model.Negate == 1 ? -1000.0 : 1000.0;
  for (int32_t i = 1; i <= PeakModelPoints; ++i) NumberBuffer[i] = sign * model.Shape[i];
}

void DrawCurves(int32_t curves, const std::string& legend) {
  InfoLines.count = 0;
  AddInfoLine(legend);
  PlotGraphs(Form2.Image1, PeakModelPoints, curves, 500, 0);
}

// The range of ScratchArray1[1..n] into the model description.
void KeepDataRange(int32_t n) {
  double lo = ScratchArray1[1], hi = ScratchArray1[1];
  for (int32_t i = 2; i <= n; ++i) {
    lo = std::fmin(lo, ScratchArray1[i]);
    hi = std::fmax(hi, ScratchArray1[i]);
  }
  RealModelOptions.DataMin = lo;
  RealModelOptions.DataMax = hi;
}

// A grid cell of the value grid (0-based column and row); false for a bad number.
bool ReadCell(int32_t col, int32_t row, double& v) {
  StrToFloatChecked(Form2.StringGrid1.Cell(col, row), v);
  return DialogOk == 1 && std::isfinite(v);
}
}  // namespace

void PlaceCheckBox(const std::string& caption, bool checked, int32_t x, int32_t y, int32_t width) {
  TCheckBox& box = Form2.CheckBox1;
  box.SetBounds(Scaled(x), Scaled(y), Scaled(width), Scaled(24));
  box.visible = box.enabled = true;
  box.color = TextBackgroundColor;
  box.font = {YellowColor, FontSize, true, false};
  box.caption = caption;
  box.checked = checked;
}

// ---- smoothing ----

void SmoothModelDialog(int32_t n) {
  double s = SmoothingParameter;
  int32_t choice = 3;
  for (;;) {
    SmoothModelData(n, s);
    PrepareDialog(530, 0, 450);
    PlaceOkCancelHelp(175, 410, 60);
    SetDialogOptions({" Less smoothing", " More smoothing", " Quit"}, choice);
    ShowRadioGroup(1, 3, 5, 30, 330, 5);
    // The two lines under the choices, above the graph at row 80 (beside them they would run
    // out of the window).
    PlaceLabel(Form2.Label1, 10, 40, "Click on Less or More, then on OK", WhiteColor, TextBackgroundColor);
    PlaceLabel(Form2.Label2, 10, 58, "If model is good, click on Quit, then on OK", WhiteColor, TextBackgroundColor);
    PlotScratchArrays(Form2.Image1, n);
    ShowDialogModal();
    if (DialogOk != 1) break;
    choice = std::clamp(Form2.RadioGroup1.itemIndex + 1, 1, 3);
    if (choice == 3) break;
    s = choice == 1 ? s * 1.5 : s / 1.5;
  }
  const int32_t ok = DialogOk;
  RealModelOptions.Smoother = s;
  DialogOk = ok;
}

// ---- real models ----

void FormRealPeakModel(int32_t mode) {
  TSpectrum* sp = SpectrumOrNull(CurrentSpectrum);
  if (!sp || sp->Present == 0) {
    StatusMessage = "Error, no spectrum";
    return;
  }
  SetHelpLines(RealPeakModelHelp);
  DialogCaption = "Forming the real peak model";
  BeginDialog(1);
  PlaceLabel(Form2.Label1, 10, 5, "Select the number of the model", WhiteColor, TextBackgroundColor);
  ModelNumberOptions(2);
  ShowRadioGroup(1, 1, 10, 170, 190, 25);
  if (mode == 2) {
    double lowest = 0.0;
    for (int32_t c = std::max(sp->FirstChannel, 1); c <= std::min(sp->LastChannel, MaxChannels); ++c)
      lowest = std::fmin(lowest, sp->Y[c]);
    SetDialogOptions({"Form one-signed model", "Form double-signed model"}, lowest < 0.0 ? 2 : 1);
    ShowRadioGroup(2, 1, 210, 60, 200, 25);
  }
  ShowDialogModal();
  if (DialogOk != 1) return;
  const int32_t k = ChosenModel(Form2.RadioGroup1);
  const int32_t singleSigned = mode == 0 ? 1 : mode == 1 ? 0 : (Form2.RadioGroup2.itemIndex == 1 ? 0 : 1);

  const TRealModelOptions kept = RealModelOptions;
  auto fail = [&] {
    RealModelOptions = kept;
    DialogOk = 0;
  };
  RealModelOptions.First = PeakModelBoundFirst;
  RealModelOptions.Last = PeakModelBoundLast;
  EdgeFlatness(*sp, PeakModelBoundFirst, RealModelOptions.BackgroundChannels, PeakModelBoundLast);

  DialogCaption = "Enter the data for peak model";
  BeginDialog(1);
  static const char* const labels[3] = {"The beginning (in chan.) =", "The end (in chan.) =", "Background channels ="};
  const double values[3] = {double(RealModelOptions.First), double(RealModelOptions.Last),
                            double(RealModelOptions.BackgroundChannels)};
  FillValueColumn(3, labels, values, 190, 80);
  ShowNumberGrid(10, 30, 3, 10, 1, 3);
  ShowDialogModal();
  double v[4] = {};
  if (DialogOk != 1 || !ReadGridValues(3, v)) return fail();
  const int32_t first = RoundedValue(v[1]), last = RoundedValue(v[2]);
  RealModelOptions.First = first;
  RealModelOptions.Last = last;
  RealModelOptions.BackgroundChannels = RoundedValue(v[3]);
  RealModelOptions.Switch = CurrentSpectrum;
  if (first >= last) {
    StatusMessage = "Wrong bounds " + Int(first) + "," + Int(last);
    return fail();
  }
  if (RealModelOptions.BackgroundChannels == 0 && first >= 1 && last <= MaxChannels) {
    const double top = std::fmax(1.0, std::fmax(sp->Y[last], sp->Y[first]));
    if (5.0 * std::sqrt(top) < top && !Ui().AskYesNo("No background channels Still proceed?", MsgKind::Confirmation))
      RealModelOptions.BackgroundChannels = 1;
  }

  TPeakModel work = ToolModel(k);
  work.SingleSigned = singleSigned;
  if (mode == 2) work.ModelNumber = singleSigned == 1 ? ModelReal : ModelDoubleSigned;
  int32_t n = 0;
  work.MakeRealPeakModelData(*sp, n);
  if (DialogOk != 1) return fail();
  SmoothModelDialog(n);
  if (DialogOk != 1) return fail();
  work.FormRealModel(n);
  if (DialogOk != 1) return fail();
  ToolModel(k) = work;
  SelectedPeakModel = k;
  StatusMessage = "Real model " + Int(k) + " formed, [" + Int(first) + "," + Int(last) + "]";
  LogLine(StatusMessage);
}

void MakeRealBackgroundModel() {
  DialogCaption = "Background model given by points";
  TSpectrum* sp = SpectrumOrNull(CurrentSpectrum);
  if (!sp || sp->Present == 0) {
    StatusMessage = "Error, no spectrum";
    return;
  }
  int32_t n = 0;
  const std::string refusal = BackgroundModelData(*sp, n);
  if (!refusal.empty()) {
    ShowMsg(refusal);
    DialogOk = 0;
    return;
  }
  SmoothingParameter = 1.0;
  SmoothModelDialog(n);
  if (DialogOk != 1) return;
  TPeakModel work = ToolModel(0);
  work.FormRealModel(n);
  if (DialogOk != 1) return;
  ToolModel(0) = work;
  StatusMessage = "Real background model formed";
}

// ---- special models ----

bool ReadComponentGrid() {
  TPseudoVoigt v;
  double metric = 0.0, a1 = 0.0, a2 = 0.0;
  double* cells[5][2] = {{&v.AG, &v.AL}, {&v.WG, &v.WL}, {&v.CG, &v.CL}, {&v.asymmetry, &metric}, {&a1, &a2}};
  for (int32_t row = 0; row < 5; ++row)
    for (int32_t col = 0; col < 2; ++col)
      if (!ReadCell(col, row, *cells[row][col])) {
        DialogOk = 0;
        return false;
      }
  std::string refusal = PseudoVoigtRefusal(v);
  const int32_t m = RoundedValue(metric);
  if (refusal.empty() && (m < 0 || m > 2)) refusal = "Metric must be 0, 1 or 2";
  if (!refusal.empty()) {
    ShowMsg(refusal);
    return false;
  }
  TPseudoVoigtParameters& p = PseudoVoigtParameters;
  p.values = v;
  PseudoVoigtMetric = m;
  p.a1 = a1;
  p.a2 = a2;
  p.showGauss = Form2.CheckListBox1.Checked(0);
  p.showLorentz = Form2.CheckListBox1.Checked(1);
  return true;
}

void ShowModelComponents(TPeakModel& model) {
  TPseudoVoigtParameters& p = PseudoVoigtParameters;
  p.bestCriterion = 1e25;
  PseudoVoigtMetric = 0;
  p.showGauss = p.showLorentz = false;
  SetHelpLines(GaussLorentzHelp);
  const TSpectrum* sp = SpectrumOrNull(CurrentSpectrum);
  int32_t choice = 1;
  for (;;) {
    PseudoVoigtProfile(p.values, ComponentProfile, ComponentGauss, ComponentLorentz);
    const bool withData = sp && ComponentDataCurve(*sp, p.a1, p.a2, ComponentProfile, ComponentData);
    for (int32_t i = 1; i <= PeakModelPoints; ++i) {
      NumberBuffer[i] = ComponentProfile[i];
      NumberBuffer[PeakModelPoints + i] = p.showGauss ? ComponentGauss[i] : 0.0;
      NumberBuffer[2 * PeakModelPoints + i] = p.showLorentz ? ComponentLorentz[i] : 0.0;
      NumberBuffer[3 * PeakModelPoints + i] = ComponentData[i];
    }

    DialogCaption = "Pseudo-Voigt model components";
    PrepareDialog(760, 0, 450);
    PlaceOkCancelHelp(540, 410, 60);
    DrawCurves(withData ? 4 : 3, "Model " + Int(SelectedPeakModel) + " = " + PeakModelNames[ModelPseudoVoigt]);
    static const char* const rows[5] = {"AG - AL", "WG - WL", "CG - CL", "Ass - metric", "a1,a2 of Peak"};
    const double grid[5][2] = {{p.values.AG, p.values.AL},
                               {p.values.WG, p.values.WL},
                               {p.values.CG, p.values.CL},
                               {p.values.asymmetry, double(PseudoVoigtMetric)},
                               {p.a1, p.a2}};
    DialogColumnWidths[0] = 110;
    DialogColumnWidths[1] = DialogColumnWidths[2] = 70;
    for (int32_t r = 1; r <= 5; ++r) {
      DialogFieldLabels[r] = rows[r - 1];
      DialogFieldValues[r][1] = grid[r - 1][0];
      DialogFieldValues[r][2] = grid[r - 1][1];
    }
    ShowNumberGrid(530, 5, 5, 8, 2, 5);
    SetDialogOptions({"Display Gaussian", "Display Lorentzian"});
    ShowCheckListBox(530, 120, 220, 44);
    Form2.CheckListBox1.SetChecked(0, p.showGauss);
    Form2.CheckListBox1.SetChecked(1, p.showLorentz);
    SetDialogOptions({"Repeat", "Go to the fitting", "Exit"}, choice);
    ShowRadioGroup(1, 1, 530, 80, 220, 175);
    ShowDialogModal();
    if (DialogOk != 1) return;
    choice = std::clamp(Form2.RadioGroup1.itemIndex + 1, 1, 3);
    // A cell that is not a number ends the editor; refused values are shown again.
    if (!ReadComponentGrid()) {
      if (DialogOk != 1) return;
      continue;
    }
    if (choice == 1) continue;
    PseudoVoigtProfile(p.values, ComponentProfile, nullptr, nullptr);
    if (choice == 2) {
      if (sp) ComponentDataCurve(*sp, p.a1, p.a2, ComponentProfile, ComponentData);
      FitComponentsRandom(ComponentData);
      continue;
    }
    FormPseudoVoigtModel(model, ComponentProfile);
    return;
  }
}

void FormSpecialModel() {
  static bool negative = false;  // the check box keeps its last state
  for (;;) {
    SetHelpLines(SpecialPeakModelHelp);
    DialogCaption = "Select special model type and number";
    BeginDialog(1);
    PlaceLabel(Form2.Label1, 10, 5, " Type ", WhiteColor, TextBackgroundColor);
    const int32_t current = ToolModel(1).ModelNumber;
    DialogOptions = LREC{};
    for (int32_t t = 1; t <= 11; ++t) DialogOptions.captions[static_cast<size_t>(t)] = PeakModelNames[t];
    DialogOptions.count = 11;
    DialogOptions.defaultItem = current >= 1 && current <= 11 ? current : 1;
    ShowRadioGroup(1, 1, 10, 250, 190, 25);
    PlaceLabel(Form2.Label2, 220, 5, " Number ", WhiteColor, TextBackgroundColor);
    ModelNumberOptions(2);
    ShowRadioGroup(2, 1, 220, 170, 190, 25);
    PlaceCheckBox(" Make negative model ", negative, 220, 205, 190);
    DialogFieldLabels[1] = "Enter  r   (Voigt,CoExp= ";
    DialogFieldValues[1][1] = SpecialModelRatio;
    DialogColumnWidths[0] = 220;
    DialogColumnWidths[1] = 80;
    ShowNumberGrid(10, 285, 1, 10, 1, 1);
    PlaceLabel(Form2.Label3, 10, 310, " For Voigt use r<10, for CoExp r<15 ", YellowColor, TextBackgroundColor);
    ShowDialogModal();
    if (DialogOk != 1) return;
    negative = Form2.CheckBox1.checked;
    const int32_t type = std::clamp(Form2.RadioGroup1.itemIndex + 1, 1, 11);
    const int32_t k = ChosenModel(Form2.RadioGroup2);
    double r[2] = {};
    if (!ReadGridValues(1, r)) return;
    const bool ratioShape = type == ModelVoigt || type == ModelConvExp;
    if (ratioShape && !(r[1] > 0.0)) {
      ShowMsg("r must be positive");
      DialogOk = 0;
      return;
    }
    const double keptRatio = SpecialModelRatio;
    SpecialModelRatio = r[1];
    TPeakModel work = ToolModel(k);
    work.ModelNumber = type;
    SelectedPeakModel = k;
    if (type == ModelPseudoVoigt)
      ShowModelComponents(work);
    else
      work.TabulatePeakModel();
    if (DialogOk != 1) {
      SpecialModelRatio = keptRatio;
      return;
    }
    if (negative) work.Negate = 1;
    ToolModel(k) = work;

    const std::string name = type <= 8 ? PeakModelNames[type] : "";
    DialogCaption = "Model" + Int(k) + " = " + name;
    PrepareDialog(530, 0, 450);
    ShapeCurve(work, false);
    DrawCurves(1, DialogCaption);
    ShowDialogModeless();
    if (ratioShape && Ui().AskYesNo("Repeat the model forming?", MsgKind::Confirmation)) continue;
    LogLine(std::string(PeakModelNames[type]) + " model " + Int(k) + " formed, r= " + FormatNumber(6, 1, r[1]));
    return;
  }
}

// ---- moving, correcting and showing ----

void MovePeakModels(int32_t& from, int32_t& to) {
  SetHelpLines(MovePeakModelsHelp);
  DialogCaption = "Peak Model Moving";
  BeginDialog(1);
  PlaceLabel(Form2.Label1, 10, 5, "Left peak model is moved to right one", WhiteColor, TextBackgroundColor);
  ModelNumberOptions(2);
  ShowRadioGroup(1, 1, 10, 170, 190, 25);
  ModelNumberOptions(3);
  ShowRadioGroup(2, 1, 210, 170, 190, 25);
  PlaceCheckBox("Move Model 1 to all the models", false, 10, 210, 390);
  ShowDialogModal();
  if (DialogOk != 1) return;
  if (Form2.CheckBox1.checked) {
    for (int32_t t = 2; t <= 6; ++t) CopyPeakModel(1, t);
    LogLine("Model 1 has been moved to all the models");
    from = 1;
    to = 777;
    return;
  }
  from = ChosenModel(Form2.RadioGroup1);
  to = ChosenModel(Form2.RadioGroup2);
  CopyPeakModel(from, to);
  LogLine("Model " + Int(from) + " -> Model " + Int(to));
}

void TransformPeakModel() {
  if (FitPending[FitraMode] != 0) return ShowMsg("No FITRA fitted peak for model correction");
  if (MarkedPointCount >= 2) return ShowMsg("Only 1 peak should be fitted");
  TSpectrum* sp = SpectrumOrNull(CurrentSpectrum);
  if (!sp) {
    StatusMessage = "Error, no spectrum";
    return;
  }
  SetHelpLines(RealPeakModelHelp);
  DialogCaption = "Correction of peak model by using the spectrum data";
  BeginDialog(1);
  PlaceLabel(Form2.Label1, 10, 5, "Tick the model to be corrected", WhiteColor, TextBackgroundColor);
  SetDialogOptions({"Model 1", "Model 2", "Model 3", "Model 4", "Model 5", "Model 6"}, 1);
  ShowRadioGroup(1, 1, 10, 150, 190, 25);
  PlaceLabel(Form2.Label2, 10, 190, "Spectrum interval with peak model", YellowColor, TextBackgroundColor);
  static const char* const labels[2] = {"Interval beginning", "Interval end"};
  const double values[2] = {double(sp->WorkFirst), double(sp->WorkLast)};
  FillValueColumn(2, labels, values, 120, 100);
  ShowNumberGrid(10, 210, 2, 10, 1, 2);
  ShowDialogModal();
  double v[3] = {};
  if (DialogOk != 1 || !ReadGridValues(2, v)) return;
  const int32_t k = std::clamp(Form2.RadioGroup1.itemIndex + 1, 1, 6);
  int32_t wf = 1, wl = 1;
  WorkingRange(*sp, wf, wl);
  const int32_t a = RoundedValue(v[1]), b = RoundedValue(v[2]);
  const int32_t n = b - a + 1;
  // The model data and their abscissae must fit the interpolation table of FormRealModel.
  if (a >= b || a < wf || b > wl || 2 * (n + 2) > ScratchSize) {
    StatusMessage = "Wrong bounds " + Int(a) + "," + Int(b);
    DialogOk = 0;
    return;
  }

  for (int32_t i = 1; i <= n; ++i) {
    double y, w;
    ModelChannel = a + i - 1;
    PeakFitModel(y, w, FittedCurve[i], 0, 4);
    if (!std::isfinite(FittedCurve[i])) FittedCurve[i] = 0.0;
  }
  int32_t dataPeak = 1, fitPeak = 1;
  TransformMix(sp->Y + a - 1, FittedCurve, n, dataPeak, fitPeak);
  LogLine("Max sp and fit " + FormatInteger(a + dataPeak - 1, 9) + FormatInteger(fitPeak, 7) + " Fmax= " +
          FormatNumber(9, 0, FittedCurve[fitPeak]));
  const TRealModelOptions kept = RealModelOptions;
  KeepDataRange(n);
  int32_t top = 1;
  for (int32_t i = 2; i <= n; ++i)
    if (ScratchArray1[i] > ScratchArray1[top]) top = i;
  LogLine("Max mod " + FormatInteger(top, 7) + " Mmax= " + FormatNumber(10, 1, RealModelOptions.DataMax));
  SmoothingParameter = 1.0;
  SmoothModelDialog(n);
  if (DialogOk != 1) {
    RealModelOptions = kept;
    return;
  }
  TPeakModel work = ToolModel(k);
  RemoveEndLine(ScratchArray2, n, work.SingleSigned != 0);
  for (int32_t i = 1; i <= n; ++i) LogLine(FormatInteger(i, 6) + FormatNumber(12, 2, ScratchArray2[i]));
  work.FormRealModel(n);
  if (DialogOk != 1) {
    RealModelOptions = kept;
    return;
  }
  ToolModel(k) = work;
}

void GraphPeakModel() {
  SetHelpLines(SpecialPeakModelHelp);
  for (int32_t k = 1; k <= 7; ++k) {
    TPeakModel& model = ToolModel(k % 7);
    std::string caption = "Model " + Int(k) + " = " + PeakModelNames[model.ModelNumber];
    if (model.ModelNumber == ModelVoigt || model.ModelNumber == ModelConvExp) {
      std::string r = FormatNumber(12, 5, SpecialModelRatio);
      DeleteSpaces(r);
      caption += "  R=" + r;
    }
    DialogCaption = caption;
    PrepareDialog(530, 0, 450);
    PlaceOkCancelHelp(175, 410, 60);
    ShapeCurve(model, true);
    DrawCurves(1, caption);
    PlaceCheckBox(" Smooth the model ", false, 10, 380, 200);
    ShowDialogModal();
    if (DialogOk != 1) return;
    if (!Form2.CheckBox1.checked) continue;

    ShapeCurve(model, false);
    std::copy(NumberBuffer + 1, NumberBuffer + PeakModelPoints + 1, ScratchArray1 + 1);
    KeepDataRange(PeakModelPoints);
    RealModelOptions.BackgroundChannels = 0;
    SmoothingParameter = 1.0;
    DialogCaption = caption;  // the plot put its own title there
    SmoothModelDialog(PeakModelPoints);
    if (DialogOk != 1) return;
    TPeakModel work = model;
    work.FormRealModel(PeakModelPoints);
    if (DialogOk != 1) return;
    model = work;
  }
}

// The set-up of a peak-mode simulation: interval, background mode, peaks, one width law per peak
// model, background and M2 records, written into FitParameters in the peak layout.
#include <algorithm>
#include <cmath>
#include <sstream>
#include <string>
#include "core/dialog_toolkit.h"
#include "core/settings_file.h"
#include "core/fit_engine.h"
#include "core/messages.h"
#include "core/model_tables.h"
#include "core/neighbour_services.h"
#include "core/number_format.h"
#include "core/number_parse.h"
#include "core/parameter_layout.h"
#include "core/spectra_utilities.h"
#include "core/spectrum.h"
#include "core/toolbox.h"
#include "crystal/peak_fit_models.h"
#include "spectrum/simulation.h"
#include "spectrum/spectrum_input.h"

namespace {

constexpr int32_t PeakModels = 6;
// The most peaks the layout holds: marked points, their models and 2n + 20 records.
constexpr int32_t MaxSimulatedPeaks = std::min(MarkedPointModelCount, (MaxParameters - 20) / 2);

// The grid's rows 1..n back into v[1..n]; false when a field is not a number.
bool ReadColumn(int32_t n, double* v) {
  for (int32_t i = 1; i <= n; ++i) StrToFloatChecked(Form2.StringGrid1.Cell(0, i - 1), v[i]);
  return DialogOk == 1;
}

void ShowColumn(int32_t n, int32_t y) {
  ShowNumberGrid(20, y, std::min(n, 12), 8, 1, n);
}

}  // namespace

void SetSimulationData() {
  TSpectrum* sp = SpectrumAt(CurrentSpectrum);
  if (!sp || !FitParameters) {
    DialogOk = 0;
    return;
  }
  DialogCaption = "  Set the data for spectrum simulation";
  BeginDialog(0);
  PlaceLabel(Form2.Label5, 5, 10,
             "Total spectrum range =" + std::to_string(sp->FirstChannel) + "-" + std::to_string(sp->LastChannel),
             WhiteColor, GreenColor);
  PlaceLabel(Form2.Label6, 5, 40, " Interval for the analysis ", WhiteColor, TextBackgroundColor);
  DialogColumnWidths[0] = 130, DialogColumnWidths[1] = 70;
  DialogFieldLabels[1] = " Beginning(chan) =", DialogFieldLabels[2] = " End(chan) =";
  DialogFieldValues[1][1] = sp->WorkFirst, DialogFieldValues[2][1] = sp->WorkLast;
  ShowNumberGrid(20, 60, 2, 8, 1, 2);
  PlaceLabel(Form2.Label7, 5, 130, " Background mode ", WhiteColor, TextBackgroundColor);
  DialogOptions = LREC{};
  for (size_t k = 0; k < BackgroundModeNames.size(); ++k) DialogOptions.captions[k + 1] = BackgroundModeNames[k];
  DialogOptions.count = static_cast<int32_t>(BackgroundModeNames.size());
  DialogOptions.defaultItem = sp->BackgroundDegree + 2;
  ShowRadioGroup(1, 1, 10, 170, 250, 150);
  SetDialogOptions({"  Simulate sinuses"});
  ShowCheckListBox(10, 325, 250, 20);
  Form2.CheckListBox1.SetChecked(0, SimulateSinuses != 0);
  ShowDialogModal();
  if (DialogOk != 1) return;
  double begin = 0, end = 0;
  StrToFloatChecked(Form2.StringGrid1.Cell(0, 0), begin);
  StrToFloatChecked(Form2.StringGrid1.Cell(0, 1), end);
  if (DialogOk != 1) return;
  if (end <= begin || std::max(std::nearbyint(begin), std::nearbyint(end)) > MaxChannels) {
    ShowMsg("Wrong spectrum bounds");
    DialogOk = 0;
    return;
  }
  const int32_t degree = std::clamp(Form2.RadioGroup1.itemIndex, 0, 7) - 1;
  const bool sinuses = Form2.CheckListBox1.Checked(0);

  // The peaks: position, amplitude and model per line.
  const int32_t np = std::clamp(MarkedPointCount, 0, MaxSimulatedPeaks);
  const int32_t oldCount = std::clamp(FitParameters->NPar, 0, std::min(MaxParameters, FitParameters->RecordCapacity()));
  for (int32_t i = 1; i <= oldCount; ++i) parar[i] = FitParameters->Records[i];
  DialogCaption = "Enter peak positions, amplitudes and model numbers";
  BeginDialog(0);
  ShowMemo(5, 400);
  Form2.Memo1.lines.clear();
  for (int32_t i = 1; i <= np; ++i) {
    const double position = 6 + np + i <= oldCount ? parar[6 + np + i].value : 0;
    const double amplitude = 6 + i <= oldCount ? parar[6 + i].value : 0;
    Form2.Memo1.lines.push_back(FormatNumber(10, 2, position) + FormatNumber(10, 2, amplitude) + "     " +
                                std::to_string(std::clamp(MarkedPointModels[i], 1, PeakModels)));
  }
  ShowDialogModal();
  if (DialogOk != 1) return;
  double positions[MaxSimulatedPeaks + 1] = {}, amplitudes[MaxSimulatedPeaks + 1] = {};
  int32_t models[MaxSimulatedPeaks + 1] = {};
  int32_t n = 0;
  for (const std::string& line : Form2.Memo1.lines) {
    // A line without numbers makes no peak; the buffer is cleared so nothing stale is read.
    std::fill(NumberBuffer, NumberBuffer + 4, 0.0);
    int32_t k = 0;
    ParseNumbers(k, line);
    if (k <= 0) continue;
    if (n == MaxSimulatedPeaks) {
      ShowMsg("Too many peaks: at most " + std::to_string(MaxSimulatedPeaks));
      DialogOk = 0;
      return;
    }
    ++n;
    positions[n] = NumberBuffer[1], amplitudes[n] = NumberBuffer[2];
    const double m = std::nearbyint(NumberBuffer[3]);
    models[n] = m >= 1 && m <= PeakModels ? static_cast<int32_t>(m) : 1;
  }
  if (n == 0) {
    ShowMsg("No peaks entered");
    DialogOk = 0;
    return;
  }

  // From here the set-up writes: the spectrum's interval and mode, then the layout in parar.
  sp->WorkFirst = std::max(static_cast<int32_t>(std::nearbyint(begin)), sp->FirstChannel);
  sp->WorkLast = std::min(static_cast<int32_t>(std::nearbyint(end)), sp->LastChannel);
  sp->BackgroundDegree = degree;
  SimulateSinuses = sinuses ? 1 : 0;
  MarkedPointCount = n;
  int32_t largestModel = 1;
  for (int32_t i = 1; i <= n; ++i) {
    MarkedPointModels[i] = models[i];
    largestModel = std::max(largestModel, models[i]);
  }
  const int32_t count = 2 * n + 18 + (M2Mode ? 2 : 0);
  for (int32_t i = oldCount + 1; i <= count; ++i) {
    parar[i] = ParameterRecord{};
    parar[i].n = i, parar[i].lower = -1e15, parar[i].upper = 1e15, parar[i].a = 1;
  }
  for (int32_t i = 1; i <= n; ++i) parar[6 + i].value = amplitudes[i], parar[6 + n + i].value = positions[i];
  if (sinuses) {
    // The sines are computed from parar; the count follows so that a later set-up knows them.
    FitParameters->NPar = count;
    sp->DoubleSigned = 1;  // the sines swing below 0
    return;
  }

  // One width law per model in use, given by the widths at the beginning and the end.
  DialogCaption = "Enter width for each model";
  BeginDialog(0);
  PlaceLabel(Form2.Label5, 5, 5, "WidthBi(E)-width at beginning(end) of spectrum", WhiteColor, TextBackgroundColor);
  PlaceLabel(Form2.Label6, 5, 25, " i - number of peak model ", WhiteColor, TextBackgroundColor);
  DialogColumnWidths[0] = 130, DialogColumnWidths[1] = 70;
  for (int32_t m = 1; m <= largestModel; ++m) {
    DialogFieldLabels[m] = " WidthB" + std::to_string(m) + " (chan) =";
    DialogFieldLabels[largestModel + m] = " WidthE" + std::to_string(m) + " (chan) =";
    DialogFieldValues[m][1] = DialogFieldValues[largestModel + m][1] = parar[2 * n + 6 + m].value;
  }
  ShowColumn(2 * largestModel, 50);
  ShowDialogModal();
  double widths[2 * PeakModels + 1] = {};
  if (DialogOk != 1 || !ReadColumn(2 * largestModel, widths)) return;
  bool zeroWarned = false;
  for (int32_t m = 1; m <= largestModel; ++m) {
    // The law is centred (u from -1 to 1): W0 the middle width, W1 half the change.
    const TWidthLaw law = WidthLawThrough(widths[m], widths[largestModel + m]);
    parar[2 * n + 6 + m].value = law.w0;
    if (widths[m] == 0 && !zeroWarned) ShowMsg("Warning, width at beginning = 0"), zeroWarned = true;
    parar[2 * n + 12 + m].value = law.w1;
  }

  DialogCaption = "Enter background parameters";
  BeginDialog(0);
  DialogColumnWidths[0] = 130, DialogColumnWidths[1] = 70;
  for (int32_t i = 1; i <= 6; ++i)
    DialogFieldLabels[i] = " Backg." + std::to_string(i), DialogFieldValues[i][1] = parar[i].value;
  ShowColumn(6, 30);
  ShowDialogModal();
  double background[7] = {};
  if (DialogOk != 1 || !ReadColumn(6, background)) return;
  for (int32_t i = 1; i <= 6; ++i) parar[i].value = background[i];

  if (M2Mode) {
    DialogCaption = "Enter m2_mode parameters";
    BeginDialog(0);
    DialogColumnWidths[0] = 130, DialogColumnWidths[1] = 70;
    DialogFieldLabels[1] = " m\"_1", DialogFieldLabels[2] = " m\"_2";
    DialogFieldValues[1][1] = DialogFieldValues[2][1] = 0;
    ShowColumn(2, 30);
    ShowDialogModal();
    double m2[3] = {};
    if (DialogOk != 1 || !ReadColumn(2, m2)) return;
    parar[2 * n + 19].value = m2[1], parar[2 * n + 20].value = m2[2];
  }
  // Only a completed set-up reaches FitParameters (a Cancel above leaves it as it was).
  FitParameters->NPar = count;
  ParameterNames();
  const int32_t copied = std::min(count, FitParameters->RecordCapacity());
  for (int32_t i = 1; i <= copied; ++i) FitParameters->Records[i] = parar[i];
  DialogOk = 1;
}

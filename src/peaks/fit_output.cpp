#include "peaks/fit_output.h"
#include <algorithm>
#include <cmath>
#include <string>
#include "core/dialog_toolkit.h"
#include "core/fit_engine.h"
#include "core/fit_reports.h"
#include "core/help_texts.h"
#include "core/number_format.h"
#include "core/model_tables.h"
#include "core/neighbour_services.h"
#include "core/spectra_utilities.h"
#include "core/spectrum.h"
#include "core/text_file.h"
#include "core/toolbox.h"
#include "core/ui_backend.h"
#include "crystal/peak_fit_models.h"
#include "peaks/exp_fit.h"
#include "peaks/fitra_state.h"
#include "peaks/peak_areas.h"

namespace {

std::string NoBlanks(int32_t width, int32_t decimals, double x) {
  std::string s = FormatNumber(width, decimals, x);
  DeleteSpaces(s);
  return s;
}

std::string Padded(int32_t width, int32_t decimals, double x, int32_t pad) {
  std::string s = FormatNumber(width, decimals, x);
  PadLeft(s, pad);
  return s;
}

std::string Int(int32_t n) { return std::to_string(n); }

// The error of record k in a field of width with decimals: "bound" for a free record on a bound,
// "?" where the fit cannot know it (a fixed record, or errors the fit left undetermined), else
// the number, with the decimals of its first two digits where the column's would show 0.
std::string ErrorField(int32_t k, int32_t width, int32_t decimals) {
  const TParameter* f = FitParameters.get();
  std::string text;
  if (f && k >= 1 && k <= std::min(f->NPar, f->RecordCapacity())) {
    const ParameterRecord& r = f->Records[k];
    const char* note = f->ErrorNote(k);
    const bool bound = (r.n == k && OnBound(r)) || (note && note[0] == 'a');
    if (bound)
      text = "bound";
    else if (note || r.lower == r.upper)
      text = "?";
  }
  if (text.empty()) {
    const double e = FittedError(k);
    if (e > 0 && e < 0.5 * std::pow(10.0, -decimals))
      decimals = std::min(9, static_cast<int32_t>(std::ceil(-std::log10(e))) + 1);
    return FormatNumber(width, decimals, e);
  }
  PadLeft(text, width);
  return text;
}

std::string ErrorNoBlanks(int32_t k, int32_t width, int32_t decimals) {
  std::string s = ErrorField(k, width, decimals);
  DeleteSpaces(s);
  return s;
}

// A control in its column when it fits there, else in the damping's scientific form.
std::string ControlField(int32_t width, int32_t decimals, double x) {
  std::string s = FormatNumber(width, decimals, x);
  if (s.find('*') != std::string::npos) FormatExponent(11, 6, s, x);
  return s;
}

// "  B" after a free record that sits on one of its bounds.
std::string BoundMark(int32_t k) {
  if (!FitParameters || k < 1 || k > std::min(FitParameters->NPar, FitParameters->RecordCapacity())) return {};
  const ParameterRecord& r = FitParameters->Records[k];
  const bool onBound = r.lower != r.upper && (r.lower == r.value || r.value == r.upper);
  return r.n == k && onBound ? "  B" : "";
}

void StatisticsLines() {
  const TParameter& f = *FitParameters;
  AddInfoLine(" Interval " + Int(IntervalFirst) + " - " + Int(IntervalLast) + " " + Int(f.Iterations) +
              " iterations");
  std::string damp;
  FormatExponent(11, 6, damp, f.Damp);
  AddInfoLine("step=" + FormatNumber(7, 4, f.Step) + ", damp= " + damp + ", delta=" + ControlField(6, 2, f.Delta) +
              ", beta=" + ControlField(6, 2, f.Beta));
  AddInfoLine(" Chi^2 = " + FormatNumber(10, 2, f.ChiDf) + "      Chi+ = " + FormatNumber(6, 2, f.ChiPlus));
  AddInfoLine(" ");
}

void StandardLines(int32_t n) {
  AddInfoLine("  Background parameters  ");
  bool widthsVary = false;
  ComputePeakAreas(widthsVary);
  for (int32_t b = 1; b <= 6; ++b)
    AddInfoLine(" Bck_" + Int(b) + " = " + Padded(8, 0, FittedValue(b), 8) + " +- " + ErrorNoBlanks(b, 6, 0));
  AddInfoLine(" ");
  AddInfoLine("  Peak amplitudes (areas if W1=0)");
  for (int32_t i = 1; i <= n; ++i) {
    const TPeakRecords r = PeakRecordsOf(i, n);
    const double a = FittedValue(r.amplitude);
    const std::string saText = ErrorNoBlanks(r.amplitude, 7, 0);
    const double area = NumberBuffer[i], error = NumberBuffer[n + i];
    AddInfoLine(" Amp." + Int(i) + " = " + Padded(8, 0, a, 8) + " +- " + saText + "  (" +
                NoBlanks(12, 0, area) + " +- " + NoBlanks(10, 0, error) + ")");
  }
  AddInfoLine("  Peak positions");
  for (int32_t i = 1; i <= n; ++i) {
    const TPeakRecords r = PeakRecordsOf(i, n);
    AddInfoLine(" Pos." + NoBlanks(4, 0, i) + " mod" + NoBlanks(4, 0, MarkedPointModels[i]) + " = " +
                FormatNumber(9, 2, FittedValue(r.position)) + " +-" + ErrorField(r.position, 7, 2));
  }
  AddInfoLine(" ");
  AddInfoLine("  Widths (2 half-lives) ");
  auto widthLine = [](const std::string& head, int32_t k) {
    AddInfoLine(head + Padded(9, 2, FittedValue(k), 8) + " +- " + ErrorNoBlanks(k, 7, 2));
  };
  if (WidthMode == -1) {
    for (int32_t i = 1; i <= n; ++i) widthLine(" W_0." + Int(i) + " = ", PeakRecordsOf(i, n).w0);
  } else {
    for (int32_t j = 1; j <= 6; ++j) widthLine(" W_0  = ", WidthW0Record(n, j));
    for (int32_t j = 1; j <= 6; ++j) widthLine(" W_1. = ", WidthW1Record(n, j));
  }
  AddInfoLine(" ");
  if (M2Mode) {
    const int32_t k = PeakFitM2Record();
    for (int32_t j = k; j <= k + 1; ++j) {
      const std::string name = j >= 1 && j <= FitParameters->RecordCapacity() ? FitParameters->Records[j].Name : "";
      widthLine(" " + name + " = ", j);
    }
  }
}

// Paired peaks: 1..N amplitudes, N+1..2N-1 distances, 2N the centre, 2N+1..3N widths. The
// brackets give the d-spacing (angstrom) of the channel through the spectrum's own axis.
void PairedLines(int32_t n) {
  AddInfoLine("   Amplitudes (areas)");
  for (int32_t i = 1; i <= n; ++i)
    AddInfoLine(" Ampl_" + Int(i) + " = " + FormatNumber(9, 2, FittedValue(i)) + " +- " +
                ErrorField(i, 7, 2) + BoundMark(i));
  const TSpectrum* sp = SpectrumOrNull(CurrentSpectrum);
  auto dOf = [sp](double channel) { return sp ? sp->ChannelToD(channel) : 0.0; };
  const double centre = FittedValue(2 * n);
  AddInfoLine("   Positions");
  for (int32_t i = 1; i < n; ++i) {
    const int32_t k = n + i;
    AddInfoLine(" Delta_" + Int(i) + " = " + FormatNumber(8, 2, FittedValue(k)) + " +- " +
                ErrorField(k, 6, 2) + "( " + FormatNumber(8, 4, dOf(centre - FittedValue(k))) +
                " A)" + BoundMark(k));
  }
  if (n >= 1)
    AddInfoLine(" Central position = " + FormatNumber(8, 2, centre) + " +- " + ErrorField(2 * n, 6, 2) +
                "( " + FormatNumber(8, 4, dOf(centre)) + " A)" + BoundMark(2 * n));
  AddInfoLine("   Widths");
  for (int32_t i = 1; i <= n; ++i)
    AddInfoLine(" Width_" + Int(i) + " = " + FormatNumber(8, 2, FittedValue(2 * n + i)) + " +- " +
                ErrorField(2 * n + i, 6, 2) + BoundMark(2 * n + i));
}

}  // namespace

int32_t FormFittingResultLines() {
  InfoLines.count = 0;
  if (!FitParameters) return 0;
  const int32_t n = std::clamp(MarkedPointCount, 0, MarkedPointCapacity);
  StatisticsLines();
  if (PairedPeakMode != 0)
    PairedLines(n);
  else
    StandardLines(n);
  return InfoLines.count;
}

void OutputFittingResults(int32_t choice) {
  DialogCaption = "Output of fitting results";
  if (choice == 6) PrepareDialog(460, 1, 430);
  if (choice == 7 && ResultsUnsaved[FitraMode] == 0 &&
      !Ui().AskYesNo("Results already saved Still save?", MsgKind::Confirmation))
    return;
  SetHelpLines(FitraHelp);
  const bool exponential = FiveParameterFit != 0;
  if (choice == 7) {
    if (exponential) {
      OutputExponentialAnalysis(5);  // writes its lines with their heading
    } else {
      FormFittingResultLines();
      for (int32_t k = 1; k <= InfoLines.count; ++k) LogLine(InfoLines.lines[k]);
    }
    ResultsUnsaved[FitraMode] = 0;
    return;
  }
  if (choice != 6) return;
  if (exponential)
    ExponentialAnalysisLines(5);
  else
    FormFittingResultLines();
  ShowListBox(10, 0, 430, 370);
  ShowDialogModal();
  if (DialogOk != 0 && ListSavedFlag != 0) ResultsUnsaved[FitraMode] = 0;
}

// The peak search dialog: the search controls, the search over the working range and the list
// of the peaks found.
#include <algorithm>
#include <cmath>
#include <string>
#include "core/dialog_toolkit.h"
#include "core/help_texts.h"
#include "core/info_window.h"
#include "core/messages.h"
#include "core/mode_flags.h"
#include "core/model_tables.h"
#include "core/neighbour_services.h"
#include "core/number_format.h"
#include "core/number_parse.h"
#include "core/peak_model.h"
#include "core/small_routines.h"
#include "core/spectra_utilities.h"
#include "core/settings_file.h"
#include "core/spectrum.h"
#include "core/ui_backend.h"
#include "peaks/fitra_arrays.h"
#include "peaks/fitra_state.h"
#include "peaks/peak_search.h"

namespace {

std::string Fitted(double x) {
  std::string s;
  FormatNumberFit(10, s, x);
  DeleteSpaces(s);
  return s;
}

void ShowFoundPeaks() {
  PrepareDialog(330, 1, 430);
  PlaceLabel(Form2.Label1, 10, 6, " Edit the list of marked peaks by command: ", BlackColor, WhiteColor);
  PlaceLabel(Form2.Label2, 75, 22, " Info about Set of Points ", BlackColor, WhiteColor);
  InfoLines.count = 0;
  AddInfoLine(std::to_string(MarkedPointCount) + "  peaks found");
  AddInfoLine("Sensitivity= " + Fitted(PeakSensitivity));
  AddInfoLine("Resolution= " + Fitted(PeakResolution));
  for (int32_t i = 1; i <= std::clamp(MarkedPointCount, 0, MarkedPointCapacity); ++i)
    AddInfoLine(std::to_string(RoundHalfEven(std::clamp(MarkedPoints[i], -2.0e9, 2.0e9))));
  ShowListBox(20, 50, 270, 320);
  ShowDialogModal();
}

}  // namespace

void FindPeaksDialog() {
  for (int32_t j = 1; j <= std::min(std::clamp(PhaseCount, 0, MaxPhases), PeakModelCount - 1); ++j)
    if (PeakModels[j + 1] && PeakModels[j + 1]->ModelNumber == ModelExponential &&
        !Ui().AskYesNo("Peak model " + std::to_string(j) + " exponential. Proceed?", MsgKind::Confirmation)) {
      DialogOk = 0;
      return;
    }
  DialogOk = 1;
  if (SpectrumMissing(CurrentSpectrum)) {
    DialogOk = 0;
    return;
  }
  TSpectrum* sp = SpectrumAt(CurrentSpectrum);
  if (!sp) {
    DialogOk = 0;
    return;
  }
  DialogCaption = "Find the Peaks";
  BeginDialog(1);
  SetHelpLines(PeakSearchHelp);
  PlaceLabel(Form2.Label1, 15, 70, "Set the control data for peak search", WhiteColor, TextBackgroundColor);
  static const char* const labels[7] = {" Width at the beginning (chan)", " Width at the end(chan)",
                                        " Width accuracy(chan)", " Sensitivity ", " Resolution ",
                                        " Small statistics ", " Max number of peaks to be found "};
  const double values[7] = {sp->W0, sp->W1, sp->Dw0, PeakSensitivity, PeakResolution, SmallStatistics,
                            static_cast<double>(MaxPeakCount)};
  FillValueColumn(7, labels, values, 220, 80);
  ShowNumberGrid(10, 90, 7, 10, 1, 7);
  InfoLines.count = 0;
  for (const char* line : {"         Warning.", "The quality of peak search", "strongly depends on the accuracy",
                           "of width estimates."})
    AddInfoLine(line);
  ShowListBox(30, 260, 270, 70);
  ShowDialogModal();
  if (DialogOk != 1) return;
  double v[8] = {};
  for (int32_t i = 1; i <= 7; ++i) {
    StrToFloatChecked(Form2.StringGrid1.Cell(0, i - 1), v[i]);
    if (!std::isfinite(v[i])) DialogOk = 0;
  }
  if (DialogOk != 1) return;
  bool stop = false;
  const std::string message = ApplySearchControls(*sp, {v[1], v[2], v[3], v[4], v[5], v[6], v[7]}, stop);
  if (!message.empty()) ShowMsg(message);
  if (stop) {
    DialogOk = 0;
    return;
  }
  MainMode = FitraMode;
  int32_t first = 1, last = 1;
  WorkingRange(*sp, first, last);
  IntervalFirst = first, IntervalLast = last;
  // A one-channel working range has no slope: divide by at least one channel, as the search does.
  PeakWidthSlope = (sp->W1 - sp->W0) / std::max(1, last - first);
  PeakWidthIntercept = sp->W0 - first * PeakWidthSlope;
  FindPeaks(*sp, first, last, sp->W0, sp->W1, sp->Dw0);
  UseAvailableArray[FitraMode] = 0;
  for (int32_t i = 1; i <= std::clamp(MarkedPointCount, 0, MarkedPointModelCount); ++i) MarkedPointModels[i] = 1;
  ShowFoundPeaks();
  SetFitPending(15, 1);
  ParametersPending[FitraMode] = 1;
}

#include "mainwin/spectrum_commands.h"
#include "core/abandon.h"
#include "core/dialog_state.h"
#include "core/model_switches.h"
#include "core/neighbour_services.h"
#include "core/number_format.h"
#include "core/spectrum.h"
#include "core/text_file.h"
#include "mainwin/main_window.h"
#include "mainwin/graph_view.h"

namespace {
TSpectrum& SpectrumAt(int32_t i) {
  if (i < 0 || i > 4 || !SpectrumList[static_cast<size_t>(i)])
    AbandonOperation("Error, no spectrum " + std::to_string(i));
  return *SpectrumList[static_cast<size_t>(i)];
}

std::string InfoLine(int32_t k) { return InfoLines.count >= k ? InfoLines.lines[static_cast<size_t>(k)] : ""; }
}  // namespace

void SelectSpectrum(int32_t i) {
  const TSpectrum& s = SpectrumAt(i);
  IntervalFirst = s.WorkFirst;
  IntervalLast = s.WorkLast;
  GraphMode = 1;
  CurrentSpectrum = i;
  SpectrumSlots = "     ";
  SpectrumSlots[static_cast<size_t>(i)] = 'x';
  SideButtonMask = "000011111111";
}

void ShowSpectrumSummary(const std::string& title, int32_t withCalibration, int32_t i) {
  const TSpectrum& s = SpectrumAt(i);
  bool angular = s.AxisKind == AxisAngular;
  ShowStatus(InfoLine(1), angular ? "  2thetas, channel width=const" : InfoLine(2));
  LogLine(title + s.Name + " input");
  LogLine("Max,min= " + FormatNumberNoBlanks(1, s.Ymax) + "  " + FormatNumberNoBlanks(1, s.Ymin));
  if (withCalibration != 1) return;
  if (s.AxisKind == AxisTimeOfFlight) {
    LogLine("Flight path  delay  ch-width  Bragg angle");
    LogLine(FormatNumber(11, 5, s.FlightPath) + FormatNumber(7, 1, s.Delay) + FormatNumber(10, 1, s.ChanWidth) +
             FormatNumber(11, 3, s.Theta));
  } else if (angular) {
    LogLine("   Lambda    zero ");
    LogLine(FormatNumber(11, 5, s.Lambda) + FormatNumber(7, 1, s.Delay));
  }
}

// ---- the File menu's input items ----

void TForm1::InputtheSpectrum1Click() {
  if (CurrentSpectrum < 1) CurrentSpectrum = 1;
  InputSpectrumFile(1);
  if (DialogOk != 1) return;
  SelectSpectrum(CurrentSpectrum);
  RedrawGraph();
  ShowSpectrumSummary("Spectrum ", 1, CurrentSpectrum);
}

void TForm1::InputtheVariance1Click() {
  if (CurrentSpectrum < 1) CurrentSpectrum = 1;
  InputSpectrumFile(2);
  if (DialogOk == 1) ShowSpectrumSummary("Variance ", 0, CurrentSpectrum);
}

void TForm1::InputEffectiveSpectrum1Click() {
  InputSpectrumFile(0);
  if (DialogOk == 1) ShowSpectrumSummary("Effective spectrum ", 1, 0);
}

void TForm1::InputtheNextSpectrum1Click() {
  CurrentSpectrum = CurrentSpectrum + 1 > 4 ? 1 : CurrentSpectrum + 1;
  InputtheSpectrum1Click();
}

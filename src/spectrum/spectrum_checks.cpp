#include "spectrum/spectrum_checks.h"

#include <algorithm>
#include <cmath>
#include <string>
#include "core/dialog_toolkit.h"
#include "core/messages.h"
#include "core/model_tables.h"
#include "core/neighbour_services.h"
#include "core/number_parse.h"
#include "core/settings_file.h"
#include "core/small_routines.h"
#include "core/spectra_utilities.h"
#include "core/spectrum.h"
#include "core/text_file.h"
#include "core/ui_backend.h"

namespace {

constexpr int32_t CalibrationRows = 4;

// Channels first..last of the read range, inside the channel arrays.
void ReadRange(const TSpectrum& sp, int32_t& first, int32_t& last) {
  first = std::max(sp.FirstChannel, 1);
  last = std::min(sp.LastChannel, MaxChannels);
}

}  // namespace

bool ReadGridValues(int32_t n, double* v) {
  for (int32_t i = 1; i <= n; ++i) {
    StrToFloatChecked(Form2.StringGrid1.Cell(0, i - 1), v[i]);
    if (!std::isfinite(v[i])) DialogOk = 0;
  }
  return DialogOk == 1;
}

// ---- calibration ----

void ApplyCalibration(TSpectrum& sp, const TCalibration& c) {
  if (c.takeSpectrum1) {
    const TSpectrum* one = SpectrumOrNull(1);
    if (!one || one == &sp) return;
    sp.ChanWidth = one->ChanWidth;
    sp.Delay = one->Delay;
    sp.Theta = one->Theta;
    sp.FlightPath = one->FlightPath;
    return;
  }
  if (sp.AxisKind == AxisTimeOfFlight) {
    sp.ChanWidth = c.v[0];
    sp.Delay = c.v[1];
    sp.Theta = c.v[2];
    sp.FlightPath = c.v[3];
    return;
  }
  // Angular: the step and the first channel's two-theta give channel = offset + slope * 2theta.
  sp.Delay = c.v[0];
  sp.Lambda = c.v[1];
  sp.ChanWidth = c.v[2];
  sp.X[std::clamp(sp.FirstChannel, 1, MaxChannels)] = c.v[3];
  sp.ChannelsPerX = c.v[2] != 0.0 ? 1.0 / c.v[2] : 0.0;
  const int32_t w = std::clamp(sp.WorkFirst, 1, MaxChannels);
  sp.ChannelOffset = sp.WorkFirst - sp.X[w] * sp.ChannelsPerX;
}

void CheckTofInformation(int32_t mode) {
  TSpectrum* sp = SpectrumAt(mode == 0 ? 0 : CurrentSpectrum);
  if (!sp) {
    DialogOk = 0;
    return;
  }
  if (MainMode == 3) return;
  const bool tof = sp->AxisKind == AxisTimeOfFlight;
  if (!tof && sp->AxisKind != AxisAngular) return;

  BeginDialog(1);
  DialogHint = tof ? "Check the TOF - information:" : "Check the angular information:";
  PlaceLabel(Form2.Label1, 10, 10, DialogHint, WhiteColor, TextBackgroundColor);
  if (tof) {
    // The effective spectrum is offered the calibration of the spectrum it serves.
    const TSpectrum* shown = sp;
    if (mode == 0)
      if (const TSpectrum* current = SpectrumOrNull(CurrentSpectrum)) shown = current;
    static const char* const labels[CalibrationRows] = {"Channel width (mks) = ", "Spectrum delay (chan) =",
                                                        "Bragg angle (deg) = ", "Flight Path(m) ="};
    const double values[CalibrationRows] = {shown->ChanWidth, shown->Delay, shown->Theta, shown->FlightPath};
    FillValueColumn(CalibrationRows, labels, values, 170, 90);
  } else {
    static const char* const labels[CalibrationRows] = {"Zero shift (deg) =", "Lambda (angst) = ",
                                                        "Angle step (deg) = ", "Angle at chan1 (deg) = "};
    const double values[CalibrationRows] = {sp->Delay, sp->Lambda, sp->ChanWidth,
                                            sp->X[std::clamp(sp->FirstChannel, 1, MaxChannels)]};
    FillValueColumn(CalibrationRows, labels, values, 170, 90);
  }
  ShowNumberGrid(10, 40, CalibrationRows, 10, 1, CalibrationRows);
  if (tof && mode == 0) {
    SetDialogOptions({"Take spectrum 1 TOF data"});
    ShowCheckListBox(10, 140, 270, 22);
  } else if (!tof) {
    PlaceLabel(Form2.Label2, 10, 140, "Warning: the spectrum is 2theta array.", WhiteColor, TextBackgroundColor);
    PlaceLabel(Form2.Label3, 10, 160, "Zero shift also 2theta", WhiteColor, TextBackgroundColor);
  }
  ShowDialogModal();
  if (DialogOk != 1) return;

  TCalibration c;
  c.takeSpectrum1 = tof && mode == 0 && Form2.CheckListBox1.Checked(0);
  if (!c.takeSpectrum1) {
    double v[CalibrationRows + 1] = {};
    if (!ReadGridValues(CalibrationRows, v)) return;
    std::copy(v + 1, v + 1 + CalibrationRows, c.v);
  }
  ApplyCalibration(*sp, c);
}

// ---- the axis and the errors of a read spectrum ----

bool FillDSpacingAxis(TSpectrum& sp) {
  int32_t first = 0, last = 0;
  ReadRange(sp, first, last);
  bool coinciding = false;
  for (int32_t k = first; k <= last; ++k) {
    const double d = sp.ChannelToD(k);
    if (std::isfinite(d)) sp.X[k] = d;
    if (k > first && sp.X[k] == sp.X[k - 1]) coinciding = true;
  }
  return coinciding;
}

void SetPoissonErrors(TSpectrum& sp) {
  int32_t first = 0, last = 0;
  ReadRange(sp, first, last);
  // The gaps of an X Y E grid hold no count: they keep weight 0.
  const std::vector<int32_t> gaps = sp.GapsIn(first, last);
  for (int32_t k = first; k <= last; ++k) sp.E[k] = std::sqrt(std::fabs(sp.Y[k] + 1.0));
  for (int32_t k : gaps) sp.E[k] = 0.0;
}

void MakePoissonVariance(int32_t i) {
  TSpectrum* sp = SpectrumAt(i);
  if (!sp) return;
  int32_t first = 0, last = 0;
  ReadRange(*sp, first, last);
  double sum = 0.0;
  for (int32_t k = first; k <= last; ++k) sum += sp->E[k];
  if (sum == 0.0) ErrorsKnown = 0;
  if (ErrorsKnown == 0 && Ui().AskYesNo("Errors=0. Make Poisson variance?", MsgKind::Warning)) SetPoissonErrors(*sp);
}

// ---- zero channels ----

void CountZeroes(const TSpectrum& sp, int32_t& total, int32_t& single) {
  total = single = 0;
  // Both neighbours of every channel looked at lie inside the arrays.
  const int32_t lo = std::max(sp.WorkFirst + 1, 2), hi = std::min(sp.WorkLast - 1, MaxChannels - 1);
  // A gap of an X Y E grid is no zero count (its channels are not counted, and a channel next
  // to one is not single).
  for (int32_t k = lo; k <= hi; ++k) {
    if (sp.Y[k] != 0.0 || sp.IsGap(k)) continue;
    ++total;
    if (sp.Y[k - 1] != 0.0 && sp.Y[k + 1] != 0.0) ++single;
  }
}

void CountSpectrumZeroes(int32_t i) {
  const TSpectrum* sp = SpectrumAt(i);
  if (!sp) return;
  int32_t total = 0, single = 0;
  CountZeroes(*sp, total, single);
  if (single == 0) return;
  // Width 4, widened for larger counts.
  std::string t = std::to_string(total), s = std::to_string(single);
  PadLeft(t, 4);
  PadLeft(s, 4);
  LogLine("Total number of zeroes= " + t + ", single zeroes= " + s);
  ShowMsg("There are single zeroes in spectrum= " + std::to_string(single));
}

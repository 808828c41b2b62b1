#include "mainwin/interval_operations.h"
#include <algorithm>
#include <cmath>
#include <string>
#include <utility>
#include "core/cell_geometry.h"
#include "core/dialog_toolkit.h"
#include "core/help_texts.h"
#include "core/model_tables.h"
#include "core/number_format.h"
#include "core/number_parse.h"
#include "core/settings_file.h"
#include "core/small_routines.h"
#include "core/spectra_utilities.h"
#include "core/spectrum.h"
#include "core/text_file.h"
#include "core/ui_backend.h"

namespace {
// The loaded channels of sp held inside the arrays; false when there are none.
bool LoadedChannels(const TSpectrum& sp, int32_t& lo, int32_t& hi) {
  lo = std::max(sp.FirstChannel, 1);
  hi = std::min(sp.LastChannel, MaxChannels);
  return lo <= hi;
}

// Two typed channel numbers rounded, held to lo..hi and ordered; false for a field that is not
// a number (DialogOk is then 0).
bool ReadChannelPair(const std::string& t1, const std::string& t2, int32_t lo, int32_t hi, int32_t& a,
                     int32_t& b) {
  double v1 = 0, v2 = 0;
  StrToFloatChecked(t1, v1);
  StrToFloatChecked(t2, v2);
  if (DialogOk != 1 || !std::isfinite(v1) || !std::isfinite(v2)) {
    DialogOk = 0;
    return false;
  }
  a = static_cast<int32_t>(std::nearbyint(std::clamp(v1, double(lo), double(hi))));
  b = static_cast<int32_t>(std::nearbyint(std::clamp(v2, double(lo), double(hi))));
  if (a > b) std::swap(a, b);
  return true;
}

// The mean count of channels c, c + 1, c + 2 that lie inside ..hi.
double EndAverage(const TSpectrum& sp, int32_t c, int32_t hi) {
  const int32_t last = std::min(c + 2, hi);
  double s = 0;
  for (int32_t k = c; k <= last; ++k) s += sp.Y[k];
  return s / (last - c + 1);
}

std::string NoBlanks(std::string s) {
  DeleteSpaces(s);
  return s;
}

// The channel of two-theta tt (degrees) on the X axis of an angular spectrum, as DToChannel
// places it: the first bracketing pair of channels, in the working range first; 0 outside.
double TwoThetaChannel(const TSpectrum& sp, double tt) {
  auto search = [&](int32_t from, int32_t to, double& channel) {
    from = std::max(from, 1);
    to = std::min(to, MaxChannels);
    for (int32_t i = from; i < to; ++i)
      if (sp.X[i] <= tt && tt <= sp.X[i + 1]) {
        channel = i + (tt - sp.X[i]) / std::max(sp.X[i + 1] - sp.X[i], 1e-9);
        return true;
      }
    return false;
  };
  double channel = 0.0;
  if (search(sp.WorkFirst, sp.WorkLast, channel)) return channel;
  if (search(sp.FirstChannel, sp.LastChannel, channel)) return channel;
  return 0.0;
}
}  // namespace

void SumSpectrumInterval(int32_t first, int32_t last) {
  DialogCaption = "Summing the spectrum interval";
  BeginDialog(0);
  static const char* const labels[2] = {"The beginning (in chan.) =", "The end (in chan.) ="};
  const double values[2] = {double(first), double(last)};
  FillValueColumn(2, labels, values, 200, 80);
  ShowNumberGrid(10, 40, 2, 10, 1, 2);
  ShowDialogModal();
  if (DialogOk != 1) return;
  TSpectrum* sp = SpectrumAt(CurrentSpectrum);
  int32_t lo = 0, hi = 0, a = 0, b = 0;
  if (!sp || !LoadedChannels(*sp, lo, hi)) return;
  if (!ReadChannelPair(Form2.StringGrid1.Cell(0, 0), Form2.StringGrid1.Cell(0, 1), lo, hi, a, b)) return;

  // The background is the line through the 3-channel averages at the two ends; an end near the
  // last loaded channel averages only the channels that exist.
  const double left = EndAverage(*sp, a, hi), right = EndAverage(*sp, b, hi);
  const double slope = (right - left) / std::max(b - a, 1);
  const double intercept = left - a * slope;
  double area = 0, variance = 0, background = 0, s1 = 0, s2 = 0;
  for (int32_t c = a; c <= b; ++c) {
    const double y = sp->Y[c];
    area += y;
    variance += sp->E[c] * sp->E[c];
    background += std::min(y, intercept + c * slope);
    s1 += c * y;
    s2 += double(c) * c * y;
  }
  const double err = std::sqrt(variance);
  const double centre = s1 / std::max(1.0, area);
  const double centreErr = std::sqrt(std::fabs(s2)) / std::max(1.0, area);

  InfoLines.count = 0;
  AddInfoLine("Int: " + std::to_string(a) + " - " + std::to_string(b));
  AddInfoLine(" Area = " + NoBlanks(FormatNumber(15, 0, area - background)) + "  err = " +
              NoBlanks(FormatNumber(15, 0, err)));
  AddInfoLine(" Centrum = " + NoBlanks(FormatNumber(15, 2, centre)) + " +- " +
              NoBlanks(FormatNumber(15, 2, centreErr)));
  AddInfoLine(" Background  = " + NoBlanks(FormatNumber(15, 2, background)));
  for (int32_t k = 1; k <= 4; ++k) LogLine(InfoLines.lines[static_cast<size_t>(k)]);
  BeginDialog(0);
  ShowListBox(10, 40, 380, 100);
  ShowDialogModal();
}

void ResetWeights(int32_t& first, int32_t& last) {
  DialogCaption = "Zeroing the weights";
  SetHelpLines(ZeroWeightsHelp);
  BeginDialog(1);
  PlaceLabel(Form2.Label5, 20, 10, "Errors within this range will be = 0", WhiteColor, TextBackgroundColor);
  DialogEditLabel1 = "Beginning =";
  DialogEditText1 = std::to_string(first);
  DialogEditLabel2 = "End =";
  DialogEditText2 = std::to_string(last);
  ShowEditFields(20, 140, 50, 2, 80);
  SetDialogOptions({" Save the current spectrum as Sp.4", " Reset the weights of zero-valued counts"});
  ShowCheckListBox(20, 110, 330, 40);
  ShowDialogModal();
  if (DialogOk != 1) return;
  const bool saveCopy = Form2.CheckListBox1.Checked(0);
  const bool zeroCounts = Form2.CheckListBox1.Checked(1);
  TSpectrum* sp = SpectrumAt(CurrentSpectrum);
  int32_t lo = 0, hi = 0;
  if (!sp || !LoadedChannels(*sp, lo, hi)) {
    DialogOk = 0;
    return;
  }
  // The typed range may lie anywhere: only the spectrum's own channels are written.
  if (!ReadChannelPair(Form2.Edit1.text, Form2.Edit2.text, lo, hi, first, last)) return;

  std::string line1;
  if (saveCopy) {
    CopySpectrum(CurrentSpectrum, 4);
    line1 = "The spectrum " + std::to_string(CurrentSpectrum) + " saved as Spectrum 4";
  }
  bool zeroRange = true;
  if (zeroCounts) {
    for (int32_t c = lo; c <= hi; ++c)
      if (sp->Y[c] == 0.0) sp->E[c] = 0.0;
    zeroRange = Ui().AskYesNo("Should the interval weights be also reset?", MsgKind::Warning);
  }
  if (zeroRange)
    for (int32_t c = first; c <= last; ++c) sp->E[c] = 0.0;

  LogLine("Weights in " + std::to_string(first) + "-" + std::to_string(last) + " reset");
  InfoLines.count = 0;
  AddInfoLine(line1);
  AddInfoLine("The weights have been zeroed");
  BeginDialog(1);
  ShowListBox(20, 40, 330, 60);
  ShowDialogModal();
}

double ChannelOfD(int32_t spectrum, int32_t block, double q) {
  TSpectrum* sp = SpectrumAt(spectrum);
  TSpectrum* one = SpectrumOrNull(1);
  if (!sp || !TableIndexOk(block + 3, 3, MaxParameters, "parameter") || !(q > 0)) return 0.0;
  const bool angular = sp->AxisKind == AxisAngular;
  // Rietveld analysis reads the instrument from its records (record 1 is the wavelength of an
  // angular spectrum); the other modes from spectrum 1's header.
  double L = 0, dT = 0;
  if (MainMode == 0) {
    L = parar[block + 1].value;
    dT = parar[block + 2].value;
  } else if (one) {
    L = angular ? one->Lambda : one->FlightPath;
  }
  const double P = parar[block + 3].value;
  if (sp->AxisKind == AxisTimeOfFlight) {
    const double w = sp->ChanWidth == 0.0 ? 1.0 : sp->ChanWidth;
    return TofConstant * L * std::sin((sp->Theta + dT) / RadToDeg) / w / q - P;
  }
  if (angular) {
    // Bragg's law: two-theta in degrees less the zero shift, found on the spectrum's X axis.
    const double tt = 2.0 * RadToDeg * ArcSinAngle(std::min(1.0, L * q * 0.5)) - P;
    return TwoThetaChannel(*sp, tt);
  }
  return std::max(1.0, 1.0 / q);  // an axis of any kind holds d itself, as DToChannel takes it
}

// Rebinning of the current spectrum onto new channel bounds: the simple interpolation (each new
// channel the mean of the values over its range), the conversion between d and channel spectra
// by 100 sub-steps per channel (by ranges on an uneven d axis), and the special
// analysis that spreads a time spectrum over an energy-like axis by 1000 sub-steps per channel.
//
// The source interval I1..I2 of the first two is rows 2 and 3 of the functions menu
// (DialogNumbers[2], DialogNumbers[3]), held inside the current spectrum's channels.
#include <algorithm>
#include <cmath>
#include <string>
#include <vector>
#include "core/cell_geometry.h"
#include "core/dialog_toolkit.h"
#include "core/neighbour_services.h"
#include "core/settings_file.h"
#include "core/spectra_utilities.h"
#include "core/spectrum.h"
#include "core/toolbox.h"
#include "core/ui_backend.h"
#include "spectrum/spectrum_checks.h"
#include "spectrum/spectrum_functions.h"

namespace {

constexpr int32_t H = 32768 / 2;

int32_t RoundChannel(double x) { return std::isfinite(x) ? RoundHalfEven(std::clamp(x, -2.0e9, 2.0e9)) : 0; }

// I1, I2 from the menu's rows clipped to c's channels; false after "Wrong spectrum bounds".
bool SourceInterval(const TSpectrum& c, int32_t& i1, int32_t& i2) {
  const int32_t first = std::clamp(c.FirstChannel, 1, MaxChannels), last = std::clamp(c.LastChannel, 1, MaxChannels);
  i1 = std::max(RoundChannel(DialogNumbers[2]), first);
  i2 = std::min(RoundChannel(DialogNumbers[3]), last);
  if (i2 <= i1) {
    ShowMsg("Wrong spectrum bounds");
    return false;
  }
  return true;
}

bool NewBoundsValid(int32_t& ni1, int32_t& ni2) {
  ni1 = std::max(ni1, 1);
  ni2 = std::min(ni2, MaxChannels);
  if (ni2 > ni1) return true;
  ShowMsg("Wrong spectrum bounds");
  return false;
}

// I1..I2 of c rebinned onto NI1..NI2 equidistant in the position pos(j) (rising): source j
// covers the range between the midpoints to its neighbours (the end ones half a step beyond),
// new channel m the step about its position. perUnit: Y is a value per unit of the position and
// the new channel takes the mean over the range it covers (an even spectrum stays even);
// otherwise Y counts over the source range and the new channel takes the share it covers. The
// variances count each source's information once: the part of source j of width b over a length
// l of it has the variance E^2 b / l as a value per unit (E^2 l / b as counts), so that a source
// split over several channels weighs as much as before. Returns the step; x the new positions.
template <class Pos>
double Rebin(const TSpectrum& c, Pos pos, int32_t i1, int32_t i2, int32_t ni1, int32_t ni2, bool perUnit,
             std::vector<double>& y, std::vector<double>& e, std::vector<double>& x) {
  const size_t width = static_cast<size_t>(ni2 - ni1 + 1);
  y.assign(width, 0.0), e.assign(width, 0.0), x.assign(width, 0.0);
  std::vector<double> cover(width, 0.0);
  const double step = (pos(i2) - pos(i1)) / (ni2 - ni1);
  for (size_t k = 0; k < width; ++k) x[k] = pos(i1) + static_cast<double>(k) * step;
  auto lower = [&](int32_t j) { return j > i1 ? 0.5 * (pos(j - 1) + pos(j)) : 1.5 * pos(i1) - 0.5 * pos(i1 + 1); };
  auto upper = [&](int32_t j) { return j < i2 ? 0.5 * (pos(j) + pos(j + 1)) : 1.5 * pos(i2) - 0.5 * pos(i2 - 1); };
  size_t k = 0;
  for (int32_t j = i1; j <= i2; ++j) {
    const double lo = lower(j), hi = upper(j), b = hi - lo;
    if (!(b > 0)) continue;
    const double variance = c.E[j] * c.E[j];
    while (k < width && x[k] + 0.5 * step <= lo) ++k;
    for (size_t m = k; m < width && x[m] - 0.5 * step < hi; ++m) {
      const double l = std::min(hi, x[m] + 0.5 * step) - std::max(lo, x[m] - 0.5 * step);
      if (!(l > 0)) continue;
      cover[m] += l;
      y[m] += (perUnit ? l : l / b) * c.Y[j];
      e[m] += (perUnit ? l * b : l / b) * variance;
    }
  }
  for (size_t m = 0; m < width; ++m) {
    const double n = perUnit && cover[m] > 0 ? cover[m] : 1.0;
    y[m] /= n, e[m] = std::sqrt(e[m]) / n;
  }
  return step;
}

// The result of InterpolateChanToD: y, e and the abscissae x that are not NaN into ni1..ni2 of
// the buffer o and the result r; r's other channels emptied, its ChanWidth and Delay set.
void StoreChanToD(TSpectrum& o, TSpectrum& r, int32_t ni1, int32_t ni2, const std::vector<double>& y,
                  const std::vector<double>& e, const std::vector<double>& x, double cw, double delay) {
  for (TSpectrum* t : {&o, &r}) {
    for (int32_t k = ni1; k <= ni2; ++k) {
      const size_t i = static_cast<size_t>(k - ni1);
      t->Y[k] = y[i];
      t->E[k] = e[i];
      if (!std::isnan(x[i])) t->X[k] = x[i];
    }
  }
  for (int32_t k = 1; k < ni1; ++k) r.Y[k] = 0.0;
  for (int32_t k = ni2 + 1; k <= MaxChannels; ++k) r.Y[k] = 0.0;
  r.ChanWidth = cw;
  r.Delay = delay;
  FinishResultSpectrum(r, ni1, ni2);
}

}  // namespace

bool NonEquidistantAxis(const TSpectrum& c, int32_t i1, int32_t i2) {
  i1 = std::max(i1, 1), i2 = std::min(i2, MaxChannels);
  if (i2 - i1 < 2) return false;
  const double mean = (c.X[i2] - c.X[i1]) / (i2 - i1);
  if (!(mean > 0)) return false;
  bool rising = true, uneven = false;
  for (int32_t j = i1 + 1; j <= i2; ++j) {
    const double d = c.X[j] - c.X[j - 1];
    rising = rising && d > 0;
    uneven = uneven || std::fabs(d - mean) > 1e-6 * mean;
  }
  return rising && uneven;
}

void SimpleInterpolation(int32_t r, int32_t NI1, int32_t NI2) {
  TSpectrum* sc = SpectrumAt(CurrentSpectrum);
  TSpectrum* sr = SpectrumAt(r);
  if (!sc || !sr) return;
  int32_t i1 = 0, i2 = 0;
  if (!NewBoundsValid(NI1, NI2) || !SourceInterval(*sc, i1, i2)) return;
  if (H < i2 - i1) {
    i2 = i1 + H - 1;
    ShowMsg("Interpolated array too long; cut to " + std::to_string(H));
  }
  // More channels than the source has only repeat its information.
  if (NI2 - NI1 > i2 - i1) ShowMsg("Warning, N of new channels > N of source channels");
  // Y is a value per unit X (per channel on an equidistant axis): new channel k takes the mean
  // over the range it covers, the linear map of NI1..NI2 onto I1..I2.
  std::vector<double> y, e, x;
  if (NonEquidistantAxis(*sc, i1, i2)) {
    const double step = Rebin(*sc, [sc](int32_t j) { return sc->X[j]; }, i1, i2, NI1, NI2, true, y, e, x);
    for (int32_t k = NI1; k <= NI2; ++k) sr->X[k] = x[static_cast<size_t>(k - NI1)];
    sr->ChanWidth = step;
    if (sc->AxisKind == AxisTimeOfFlight) sr->Delay = x[0] / step - NI1;
  } else {
    Rebin(*sc, [](int32_t j) { return static_cast<double>(j); }, i1, i2, NI1, NI2, true, y, e, x);
  }
  for (int32_t k = NI1; k <= NI2; ++k) {
    const size_t i = static_cast<size_t>(k - NI1);
    sr->Y[k] = y[i], sr->E[k] = e[i];
  }
  FinishResultSpectrum(*sr, NI1, NI2);
}

void InterpolateChanToD(int32_t r, int32_t NI1, int32_t NI2, int32_t mode) {
  const int32_t c = CurrentSpectrum;
  TSpectrum* sc = SpectrumAt(c);
  TSpectrum* sr = SpectrumAt(r);
  if (!sc || !sr) return;
  int32_t i1 = 0, i2 = 0;
  if (!NewBoundsValid(NI1, NI2) || !SourceInterval(*sc, i1, i2)) return;
  int32_t o = r;
  if (r == c) {
    if (!Ui().AskYesNo("Current spectrum is output one. Can spectrum 4 be used as buffer? If no, abort.",
                       MsgKind::Warning))
      return;
    o = 4;
  }
  TSpectrum* so = SpectrumAt(o);
  if (!so) return;
  if (mode == 0)
    for (int32_t j = i1; j <= i2; ++j)
      if (!(sc->X[j] >= 0.1 && sc->X[j] <= 100.0)) {
        ShowMsg("Spectrum is no d-one. Check it");
        return;
      }

  if (mode == 0 && NonEquidistantAxis(*sc, i1, i2)) {
    // Equidistant in d is equidistant in time of flight: t = 505.556 L sin(theta) d.
    std::vector<double> y, e, x;
    const double step = Rebin(*sc, [sc](int32_t j) { return sc->X[j]; }, i1, i2, NI1, NI2, false, y, e, x);
    const double perD = TofConstant * sc->FlightPath * std::sin(sc->Theta / RadToDeg);
    StoreChanToD(*so, *sr, NI1, NI2, y, e, x, perD * step, x[0] / step - NI1);
    return;
  }

  // Accumulated privately: the output may be the source (current and result spectrum both 4).
  const size_t width = static_cast<size_t>(NI2 - NI1 + 1);
  std::vector<double> y(width, 0.0), e(width, 0.0), x(width, std::nan(""));
  // The sub-steps j + 0.01 q of channel j cover (j, j + 1]. New channel k collects
  // u = p + 1.5 in [k, k + 1), and u = s (x - 0.005 - I1) + NI1 maps the sub-step centres of
  // I1..I2 into NI1..NI2 + 1 strictly, so every sub-step lands and the total count is kept.
  const double s = static_cast<double>(NI2 - NI1 + 1) / (i2 - i1 + 1);
  auto p = [&](double v) { return s * (v - 0.005 - i1) + NI1 - 1.5; };
  for (int32_t j = i1; j <= i2; ++j) {
    const double yj = sc->Y[j] / 100.0, ej = sc->E[j] / 100.0;
    for (int32_t q = 1; q <= 100; ++q) {
      const int32_t k = RoundChannel(p(j + 0.01 * q)) + 1;
      if (k >= NI1 && k <= NI2) y[static_cast<size_t>(k - NI1)] += yj, e[static_cast<size_t>(k - NI1)] += ej;
    }
    const int32_t k = RoundChannel(p(j)) + 1;
    if (k >= NI1 && k <= NI2) x[static_cast<size_t>(k - NI1)] = mode == 1 ? sc->ChannelToD(j) : sc->X[j];
  }
  double sumIn = 0.0, sumOut = 0.0;
  for (int32_t j = i1; j <= i2; ++j) sumIn += sc->Y[j];
  for (double v : y) sumOut += v;
  std::string a, b;
  FormatNumberFit(15, a, sumIn);
  FormatNumberFit(15, b, sumOut);
  ShowMsg(a + "   " + b);

  // New channel k takes the time of the old position x with u(x) = k: width cw / s and delay
  // s (I1 + 0.005 + delay) - NI1 keep (k + delay') cw' = (x + delay) cw.
  const double cw = sc->ChanWidth / s, delay = s * (i1 + 0.005 + sc->Delay) - NI1;
  StoreChanToD(*so, *sr, NI1, NI2, y, e, x, cw, delay);
}

void SpecialAnalysis(int32_t r, int32_t NI1, int32_t NI2) {
  if (NI2 <= NI1) {
    ShowMsg("Wrong spectrum bounds");
    return;
  }
  TSpectrum* sc = SpectrumAt(CurrentSpectrum);
  TSpectrum* sr = SpectrumAt(r);
  if (!sc || !sr) return;
  const int32_t first = std::clamp(sc->FirstChannel, 1, MaxChannels);
  int32_t last = std::clamp(sc->LastChannel, first, MaxChannels);
  if (last - first + 1 > H) {
    last = first + H - 1;
    ShowMsg("Interpolated array too long; cut to " + std::to_string(H));
  }
  const int32_t ne = NI2 - NI1 + 1;
  DialogCaption = " Special analysis";
  BeginDialog(0);
  PlaceLabel(Form2.Label1, 5, 30, "Secify the energy channel mode", WhiteColor, TextBackgroundColor);
  SetDialogOptions({" t -> E,  E=(m*C)/t^2 ", " t -> v,  E=(C)/t ", " "}, 1);
  ShowRadioGroup(1, 1, 20, 80, 300, 55);
  static const char* const labels[1] = {" Coefficient C = "};
  const double values[1] = {1.0};
  FillValueColumn(1, labels, values, 120, 100);
  ShowNumberGrid(10, 150, 1, 10, 1, 1);
  PlaceLabel(Form2.Label2, 5, 300, "Number of channels in E-axis = " + std::to_string(ne), WhiteColor,
             TextBackgroundColor);
  ShowDialogModal();
  if (DialogOk != 1) return;
  double v[2] = {0.0, 0.0};
  if (!ReadGridValues(1, v)) return;
  const int32_t option = Form2.RadioGroup1.itemIndex;
  if (option != 0 && option != 1) {
    ShowMsg("This mode has no formula");
    return;
  }
  const double C = v[1];
  if (!(C > 0.0) || !std::isfinite(C)) {
    ShowMsg("Wrong coefficient C");
    return;
  }

  const std::vector<double> y(sc->Y + first, sc->Y + last + 1);  // r may be c
  const double clearTo = std::min(std::nearbyint(C) * ne, static_cast<double>(MaxChannels));
  for (int32_t k = 1; k <= static_cast<int32_t>(clearTo); ++k) sr->Y[k] = 0.0;
  for (int32_t j = first; j <= last; ++j) {
    const double yq = y[static_cast<size_t>(j - first)] / 1000.0;
    for (int32_t q = 0; q <= 999; ++q) {
      const double t = j + 0.001 * q;
      const double x = option == 0 ? (ne / t) * (ne / t) * C : C / t;
      if (!(x < MaxChannels)) continue;
      const int32_t k = RoundHalfEven(x) + 1;
      if (k >= 1 && k <= MaxChannels) {
        sr->Y[k] += yq;
        sr->X[k] = 3.3e6 / (t * t);
      }
    }
  }
  sr->FirstChannel = NI1;
  sr->LastChannel = NI2;
}

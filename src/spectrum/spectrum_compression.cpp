// Compression of a spectrum by an integer factor and the correction of marked outlier channels.
#include <algorithm>
#include <cmath>
#include <string>
#include "core/dialog_toolkit.h"
#include "core/neighbour_services.h"
#include "core/settings_file.h"
#include "core/spectra_utilities.h"
#include "core/spectrum.h"
#include "core/text_file.h"
#include "core/toolbox.h"
#include "spectrum/spectrum_functions.h"

void CompressSpectrum(int32_t m, int32_t r, int32_t show) {
  if (m < 1) {
    ShowMsg("Wrong compression factor");
    DialogOk = 0;
    return;
  }
  const int32_t c = CurrentSpectrum;
  TSpectrum* sc = SpectrumAt(c);
  TSpectrum* sr = SpectrumAt(r);
  if (!sc || !sr) return;
  const int32_t first = std::clamp(sc->FirstChannel, 1, MaxChannels);
  const int32_t last = std::clamp(sc->LastChannel, first, MaxChannels);
  const int32_t q = (first - 1) / m, z = (last - 1) / m;
  // The header values of c are taken before r is written: r may be c.
  const int32_t workFirst = (std::clamp(sc->WorkFirst, 1, MaxChannels) - 1) / m + 1;
  const int32_t workLast = (std::clamp(sc->WorkLast, 1, MaxChannels) - 1) / m + 1;
  const double cw = sc->ChanWidth, delay = sc->Delay, corr = sc->SpectrumCorrection;
  const double w0 = sc->W0, w1 = sc->W1, dw0 = sc->Dw0;

  // Block k reads old channels (k - 1) m + 1 .. k m, all >= k, so writing in place is safe.
  // Channels past c's last channel count as 0 and nothing past the arrays is read.
  for (int32_t k = q + 1; k <= z + 1; ++k) {
    const int64_t b = static_cast<int64_t>(k - 1) * m + 1;
    const int64_t e = std::min<int64_t>(static_cast<int64_t>(k) * m, last);
    double sy = 0.0, se = 0.0;
    for (int64_t i = b; i <= e; ++i) {
      sy += sc->Y[i];
      se += sc->E[i] * sc->E[i];
    }
    const double x = sc->X[b];
    sr->Y[k] = sy;
    sr->E[k] = std::sqrt(se);
    sr->X[k] = x;
  }
  for (int32_t k = 1; k <= q; ++k) sr->Y[k] = 0.0, sr->E[k] = 1.0;
  for (int32_t k = z + 2; k <= last; ++k) sr->Y[k] = 0.0, sr->E[k] = 1.0;

  sr->FirstChannel = q + 1;
  sr->LastChannel = z + 1;
  sr->WorkFirst = workFirst;
  sr->WorkLast = workLast;
  sr->Present = 1;
  sr->ComputeYRange();
  if (sr != sc) {
    sr->NormalizedFlag = sc->NormalizedFlag;
    sr->AbsorptionCorrectedFlag = sc->AbsorptionCorrectedFlag;
    sr->Theta = sc->Theta;
    sr->FlightPath = sc->FlightPath;
    sr->BackgroundDegree = sc->BackgroundDegree;
  }
  // delay / m puts channel k at the time of the last old channel of its block, while X_r takes
  // the block's first X: kept as the instrument software has always done it.
  sr->ChanWidth = m * cw;
  sr->Delay = delay / m;
  sr->SpectrumCorrection = corr / m;
  sr->W0 = w0 / m;
  sr->W1 = w1 / m;
  sr->Dw0 = dw0 / m;

  if (show != 0) {
    InfoLines.count = 0;
    AddInfoLine("Spectrum " + std::to_string(c) + "  " + std::to_string(m) + "-compressed to Spectrum " +
                std::to_string(r));
    AddInfoLine("");
    AddInfoLine("New bounds= " + std::to_string(q + 1) + " - " + std::to_string(z + 1));
    AddInfoLine("New max= " + std::to_string(RoundHalfEven(std::clamp(sr->Ymax, -2.0e9, 2.0e9))));
    ShowInfoWindow();
  }
}

void CorrectMarkedOutliers() {
  if (MarkedPointCount <= 0) {
    ShowMsg("No marked points.");
    DialogOk = 0;
    return;
  }
  TSpectrum* sc = SpectrumAt(CurrentSpectrum);
  if (!sc) return;
  DialogCaption = "Count correction";
  BeginDialog(0);
  PlaceLabel(Form2.Label1, 5, 30, "Specify the correction mode", WhiteColor, TextBackgroundColor);
  SetDialogOptions({"Set to zero", "Replace by halfsum", "Set to specified value"}, 1);
  ShowRadioGroup(1, 1, 20, 90, 300, 60);
  ShowDialogModal();
  if (DialogOk != 1) return;
  const int32_t mode = std::clamp(Form2.RadioGroup1.itemIndex, 0, 2);

  const int32_t n = std::min(MarkedPointCount, MarkedPointCapacity);
  int32_t count = n;
  const int32_t first = std::max(sc->FirstChannel, 1), last = std::min(sc->LastChannel, MaxChannels);
  for (int32_t p = 1; p <= n; ++p) {
    const double x = MarkedPoints[p];
    const int32_t k = std::isfinite(x) ? RoundHalfEven(std::clamp(x, -1.0e9, 1.0e9)) : 0;
    if (k < first + 1 || k > last - 1) {
      --count;
      continue;
    }
    if (mode == 0) {
      sc->Y[k] = 0.0, sc->E[k] = 1.0;
    } else if (mode == 1) {
      sc->Y[k] = (sc->Y[k - 1] + sc->Y[k + 1]) * 0.5;
      sc->E[k] = std::sqrt(sc->E[k - 1] * sc->E[k - 1] + sc->E[k + 1] * sc->E[k + 1]) * 0.5;
    } else {
      sc->Y[k] = InsertValue, sc->E[k] = std::sqrt(std::fabs(InsertValue));
    }
  }
  const std::string text = std::to_string(count) + " spectrum blunder(s) corrected";
  ShowMsg(text);
  LogLine(text);
}

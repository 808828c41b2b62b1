// The Fourier transform of the current spectrum's working interval: |F| or Re F per frequency,
// the periodicities found in |F|, and the Fourier smoothing that removes the high frequencies.
#include <algorithm>
#include <cmath>
#include <string>
#include <vector>
#include "core/dialog_toolkit.h"
#include "core/fourier_transform.h"
#include "core/neighbour_services.h"
#include "core/numeric_arrays.h"
#include "core/spectra_utilities.h"
#include "core/spectrum.h"
#include "core/toolbox.h"
#include "core/ui_backend.h"
#include "crystal/refinement_results.h"
#include "spectrum/spectrum_functions.h"

namespace {

// |a + ib| without overflow for large parts.
double Modulus(double a, double b) {
  const double m = std::max(std::fabs(a), std::fabs(b));
  if (m == 0.0) return 0.0;
  return m * std::sqrt((a / m) * (a / m) + (b / m) * (b / m));
}

void ShowPeriods() {
  InfoLines.count = 0;
  AddInfoLine("    area     pos  width  period");
  const int32_t n = std::clamp(PeriodPeakCount, 0, PeriodPeakCapacity);
  for (int32_t i = 1; i <= n; ++i) {
    const TPeriodPeak& p = PeriodPeaks[i];
    AddInfoLine(FormatFixed(8, 1, p.area) + FormatFixed(8, 1, p.position) + FormatFixed(7, 1, p.width) +
                FormatFixed(8, 1, p.period));
  }
  DialogCaption = "Periods detected";
  PrepareDialog(330, 0, 430);
  PlaceLabel(Form2.Label1, 5, 10, "Periods detected", WhiteColor, BlackColor);
  ShowListBox(5, 30, 310, 330);
  ShowDialogModal();
}

// Zeroes the high-frequency band of the transform held in WorkArrays[7..8] (point i counted from
// 0 is element i + 1), runs the inverse and puts the modulus into spectrum 4, the real part
// into spectrum 3, from channel i1.
void FourierSmoothing(int32_t n, int32_t k1, int32_t k2, int32_t i1) {
  const int32_t half = n / 2;
  const int32_t m = std::min(half - 3, RoundHalfEven(n * std::clamp(FourierSmoothFraction, 0.0, 1.0) / 2.0));
  auto zero = [](int32_t i) {  // i counted from 0
    WorkArrays[7][i + 1] = 0.0;
    WorkArrays[8][i + 1] = 0.0;
  };
  if (n % 2 == 0) {
    zero(half);
    for (int32_t i = 2; i <= m; ++i) zero(half - i + 1), zero(half + i);
  } else {
    for (int32_t i = 1; i <= m; ++i) zero(half - i), zero(half + i - 1);
  }
  std::copy(WorkArrays[7] + 1, WorkArrays[7] + n + 1, WorkArrays[5] + 1);
  std::copy(WorkArrays[8] + 1, WorkArrays[8] + n + 1, WorkArrays[6] + 1);
  FourierTransform(n, k1, k2, -1.0);
  TSpectrum* s4 = SpectrumOrNull(4);
  TSpectrum* s3 = SpectrumOrNull(3);
  for (int32_t k = 1; k <= n; ++k) {
    const int32_t j = i1 + k - 1;
    if (j > MaxChannels) break;
    if (s4) s4->Y[j] = Modulus(WorkArrays[7][k], WorkArrays[8][k]), s4->E[j] = 1.0;
    if (s3) s3->Y[j] = WorkArrays[7][k];
  }
  StatusText += ".   Smooth -> spectr.4";
}

}  // namespace

void FourierPeriodicities(int32_t r) {
  const int32_t c = CurrentSpectrum;
  TSpectrum* sc = SpectrumAt(c);
  TSpectrum* sr = SpectrumAt(r);
  if (!sc || !sr) return;
  int32_t i1 = 0, i2 = 0;
  WorkingRange(*sc, i1, i2);
  int32_t len = i2 - i1 + 1;
  if (len >= ScratchSize) {
    if (!Ui().AskYesNo("Interval too long. Set it to 16384 ?", MsgKind::Warning)) return;
    i2 = std::min(i1 + ScratchSize - 1, i2);
    len = i2 - i1 + 1;
  }
  if (len < 4) {
    ShowMsg("Too few channels for the Fourier transform");
    return;
  }
  // The data are taken before r is written (r may be c, and spectrum 4 is the smoothing's).
  double se = 0.0;
  for (int32_t i = 0; i < len; ++i) {
    WorkArrays[5][i + 1] = sc->Y[i1 + i];
    WorkArrays[6][i + 1] = 0.0;
    se += sc->E[i1 + i] * sc->E[i1 + i];
  }
  const double err = std::sqrt(se / len);
  int32_t k1 = 0, k2 = 0;
  FourierTransform(len, k1, k2, +1.0);
  const int32_t n = k1 * k2;
  if (n < 4) return;
  const int32_t half = n / 2;
  // The coefficients are kept: the periodicity search may use the work arrays.
  const std::vector<double> re(WorkArrays[7] + 1, WorkArrays[7] + n + 1), im(WorkArrays[8] + 1, WorkArrays[8] + n + 1);

  for (int32_t k = 1; k <= half; ++k) {
    const double a = re[static_cast<size_t>(k)], b = im[static_cast<size_t>(k)];
    const double v = FourierMakeReal != 0 ? a : Modulus(a, b);
    sr->Y[k] = v;
    sr->E[k] = FourierMakeReal != 0 ? err : 1.0;
  }
  // The periodicity search reads element p as frequency p - 1 (period 2 half / (p - 1)): the
  // amplitudes go in one place up, with the mean (frequency 0, no period) as 0.
  NumberBuffer[1] = 0.0;
  for (int32_t k = 1; k < half; ++k) NumberBuffer[k + 1] = sr->Y[k];
  FinishResultSpectrum(*sr, 1, half);
  if (FourierMakeReal != 0) sr->Ymin = 0.0, sr->DoubleSigned = 0;
  StatusText = "|Fourier| -> spectr." + std::to_string(r);

  if (FourierFindPeriods != 0 && FourierMakeReal == 0) {
    FindPeaksInArray(half, 3.0, 5.0, 1.0);
    ShowPeriods();
  }
  if (FourierSmooth != 0) {
    CopySpectrum(c, 4);
    std::copy(re.begin(), re.end(), WorkArrays[7] + 1);
    std::copy(im.begin(), im.end(), WorkArrays[8] + 1);
    FourierSmoothing(n, k1, k2, i1);
  }
}

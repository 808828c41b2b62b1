// Loading and correcting one spectrum of the evolution sequence: reading, normalisation,
// compression, the interval with its width law and the peak search, and the suppression of an
// exponential background.
#include "evolution/sequence_loading.h"
#include <algorithm>
#include <cmath>
#include <filesystem>
#include "core/dialog_toolkit.h"
#include "core/settings_file.h"
#include "core/model_tables.h"
#include "core/spectra_utilities.h"
#include "core/spectrum.h"
#include "core/text_file.h"
#include "core/toolbox.h"
#include "evolution/trevo_state.h"
#include "peaks/peak_search.h"
#include "spectrum/absorption.h"
#include "spectrum/normalization.h"

namespace {

constexpr int32_t FitraEntry = 3;

// The channel range of the file as read: the compression narrows the spectrum's range, and the
// reader starts at FirstChannel, so the next step must start where the file starts.
int32_t FileFirstChannel = 0;
bool RangeCompressed = false;

int32_t CompressionFactor() { return std::isfinite(compr) ? std::max(1, RoundHalfEven(compr)) : 1; }

bool FileMissing(const std::string& path) {
  std::error_code ec;
  if (std::filesystem::is_regular_file(path, ec)) return false;
  DialogOk = 0;
  ShowMsg("File doesnt exist " + path);
  return true;
}

}  // namespace

std::string SequenceFilePath(const std::string& name) {
  if (SpectrumDir.empty()) return name;
  return (std::filesystem::path(SpectrumDir) / name).string();
}

void LoadSequenceSpectrum(int32_t index) {
  DialogOk = 1;
  TSpectrum* sp = SpectrumAt(CurrentSpectrum);
  if (!sp || index < 1 || index > SequenceCapacity) {
    DialogOk = 0;
    return;
  }
  const std::string path = SequenceFilePath(SequenceFileNames[static_cast<size_t>(index)]);
  if (FileMissing(path)) return;
  if (RangeCompressed) sp->FirstChannel = FileFirstChannel;
  RangeCompressed = false;
  sp->Name = path;
  VarianceMode = 0;
  ReadSpectrumFile(1);
  // A file that exists but does not read must not leave the previous step's counts in its place.
  if (!IoOk) {
    DialogOk = 0;
    return;
  }
  FileFirstChannel = sp->FirstChannel;
  if (SpectraOnlySequence == 0) {
    const int32_t v = index + SequenceCount;
    if (v > SequenceCapacity) {
      DialogOk = 0;
      return;
    }
    const std::string vpath = SequenceFilePath(SequenceFileNames[static_cast<size_t>(v)]);
    sp->VarianceName = vpath;
    sp->VarianceFileType = sp->FileType;
    if (FileMissing(vpath)) return;
    VarianceMode = 1;
    ReadSpectrumFile(2);
    VarianceMode = 0;
    if (!IoOk) {
      DialogOk = 0;
      return;
    }
  }
  if (CorrectForEffectiveSpectrum && NotTimeOfFlight(*sp, AngularCorrectionSaid == 0)) {
    AngularCorrectionSaid = 1;  // once in the run; the counts stay as read
  } else if (CorrectForEffectiveSpectrum) {
    // The effective spectrum is SpectrumList entry 0.
    NormalizeByEffectiveSpectrum(CurrentSpectrum, sp->FirstChannel, sp->LastChannel, 0);
    CorrectForAbsorption(CurrentSpectrum, sp->FirstChannel, sp->LastChannel);
    sp->ComputeYRange();
  }
}

void CompressSpectrumChannels(TSpectrum& sp, int32_t c) {
  if (c <= 1) return;
  const int32_t first = std::clamp(sp.FirstChannel, 1, MaxChannels);
  const int32_t last = std::clamp(sp.LastChannel, first, MaxChannels);
  const int32_t j1 = (first - 1) / c + 1, j2 = (last - 1) / c + 1;
  // Channel j reads channels at or beyond j, so the sums can be written in place.
  for (int32_t j = j1; j <= j2; ++j) {
    const int32_t a = std::max(first, (j - 1) * c + 1), b = std::min(last, j * c);
    double y = 0, e2 = 0;
    for (int32_t i = a; i <= b; ++i) y += sp.Y[i], e2 += sp.E[i] * sp.E[i];
    sp.Y[j] = y;
    sp.E[j] = std::sqrt(std::fabs(e2) + 1);
  }
  sp.FirstChannel = j1;
  sp.LastChannel = j2;
  sp.WorkFirst = std::clamp(sp.WorkFirst, j1, j2);
  sp.WorkLast = std::clamp(sp.WorkLast, j1, j2);
}

void CorrectForCompression() {
  TSpectrum* sp = SpectrumAt(CurrentSpectrum);
  if (!sp) return;
  const int32_t c = CompressionFactor();
  if (c != 1) {
    if (!RangeCompressed) FileFirstChannel = sp->FirstChannel;
    CompressSpectrumChannels(*sp, c);
    RangeCompressed = true;
  }
  if (compr != 1.0 && CompressionAsked == 0) {
    CompressionAsked = 1;
    DialogCaption = "";
    BeginDialog(0);
    PlaceLabel(Form2.Label5, 20, 10, " Correct for compression:", WhiteColor, TextBackgroundColor);
    SetDialogOptions({" the spectrum interval", " the peaks and their bounds"});
    ShowCheckListBox(20, 35, 250, 40);
    Form2.CheckListBox1.SetChecked(0, true);
    Form2.CheckListBox1.SetChecked(1, true);
    ShowDialogModal();
    if (DialogOk == 1) {
      // Channel numbers scale by the factor actually applied to the counts.
      const double f = c;
      if (Form2.CheckListBox1.Checked(0)) {
        sp->WorkFirst = std::clamp(RoundHalfEven(sp->WorkFirst / f), sp->FirstChannel, sp->LastChannel);
        sp->WorkLast = std::clamp(RoundHalfEven(sp->WorkLast / f), sp->FirstChannel, sp->LastChannel);
      }
      if (Form2.CheckListBox1.Checked(1)) {
        for (int32_t i = 1; i <= std::clamp(MarkedPointCount, 0, MarkedPointCapacity); ++i) MarkedPoints[i] /= f;
        for (int32_t i = 1; i <= std::clamp(MarkedPointCount, 0, TrevoPeakCapacity); ++i) {
          TTrevoPeak& t = TrevoPeakTable[i];
          t.lower /= f, t.reference /= f, t.upper /= f;
        }
      }
    }
    DialogOk = 1;
    Form2.Close();
  }
  int32_t first = 0, last = 0;
  WorkingRange(*sp, first, last);
  PeakSearchCount = std::clamp(last - first + 1, 0, NumberBufferSize);
  for (int32_t i = 1; i <= PeakSearchCount; ++i) NumberBuffer[i] = sp->Y[first + i - 1];
}

void SetSpectrumRange() {
  TSpectrum* sp = SpectrumAt(CurrentSpectrum);
  if (!sp) return;
  MainMode = 3;
  IntervalFirst = sp->WorkFirst;
  IntervalLast = sp->WorkLast;
  NChannels = IntervalLast - IntervalFirst + 1;
  PeakWidthSlope = (sp->W1 - sp->W0) / std::max(1, IntervalLast - IntervalFirst);
  PeakWidthIntercept = sp->W0 - IntervalFirst * PeakWidthSlope;
  if (SuppressExponentialBackground) SuppressExpBackground();
  FindPeaks(*sp, IntervalFirst, IntervalLast, sp->W0, sp->W1, sp->Dw0);
  UseAvailableArray[FitraEntry] = 0;
  MaxPeaksFound = std::max(MaxPeaksFound, MarkedPointCount);
  if (MarkedPointCount > TrevoPeakCapacity) {
    const int32_t drop = MarkedPointCount - TrevoPeakCapacity;
    for (int32_t i = 1; i <= TrevoPeakCapacity; ++i) MarkedPoints[i] = MarkedPoints[i + drop];
    MarkedPointCount = TrevoPeakCapacity;
  }
}

bool EstimateExpBackground(const TSpectrum& sp, int32_t f, int32_t l, int32_t w, double& A, double& tau) {
  if (w < 1 || l - f < 2 * w) return false;
  double m = 1e15;
  for (int32_t i = f + 1; i <= std::min(l, f + 2 * w); ++i) m = std::min(m, sp.Y[i]);
  double mean1 = 0, mean2 = 0;
  for (int32_t i = f; i <= f + w; ++i) mean1 += sp.Y[i] - m;
  for (int32_t i = l - w; i <= l; ++i) mean2 += sp.Y[i];
  mean1 /= w + 1, mean2 /= w + 1;
  const int32_t h = w / 2, k = (l - f) - h;
  const double y1 = std::log(std::fabs(sp.Y[f + h]) + 1), y2 = std::log(std::fabs(sp.Y[f + k]) + 1);
  if (y1 == y2) return false;
  tau = (k - h) / (y1 - y2);
  if (!std::isfinite(tau) || tau <= 0) return false;
  A = (std::exp(h / tau) * mean1 + std::exp(k / tau) * mean2) / 2;
  return std::isfinite(A);
}

void SuppressExpBackground() {
  TSpectrum* sp = SpectrumAt(CurrentSpectrum);
  if (!sp) return;
  int32_t f = 0, l = 0;
  WorkingRange(*sp, f, l);
  double A = 0, tau = 0;
  if (!EstimateExpBackground(*sp, f, l, RoundHalfEven(sp->W0), A, tau)) {
    LogLine("Background exponential not suppressed: no decay found");
    return;
  }
  // The model goes to a spectrum other than the one corrected.
  TSpectrum* model = SpectrumOrNull(CurrentSpectrum == 2 ? 3 : 2);
  for (int32_t i = 1; i <= l - f + 1; ++i) {
    const double b = A * std::exp(-i / tau);
    if (model && f + i <= MaxChannels) model->Y[f + i] = b;
    sp->Y[f + i - 1] = std::max(sp->Y[f + i - 1] - b, 1.0);
  }
  LogLine("Background exponential suppressed, tau= " + FormatFixed(9, 2, tau));
}

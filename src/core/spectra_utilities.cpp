#include "core/spectra_utilities.h"
#include <cmath>
#include <limits>
#include <vector>
#include "core/dialog_state.h"
#include "core/messages.h"
#include "core/model_tables.h"
#include "core/neighbour_services.h"
#include "core/number_format.h"
#include "core/number_parse.h"
#include "core/small_routines.h"
#include "core/spectrum.h"
#include "core/text_file.h"
#include "core/toolbox.h"
#include "core/ui_backend.h"

int32_t SpectraOnlySequence = 1;

namespace {
constexpr int32_t LastSpectrum = 4;

// The decimal value of the characters of s, a non-digit counting as 0; held to int32.
int32_t DigitValue(const std::string& s) {
  int64_t v = 0;
  for (char c : s) {
    v = v * 10 + (c >= '0' && c <= '9' ? c - '0' : 0);
    if (v > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  }
  return static_cast<int32_t>(v);
}

const std::string& SequenceName(int32_t i) {
  static const std::string none;
  return i >= 1 && i <= SequenceCapacity ? SequenceFileNames[i] : none;
}
}  // namespace

TSpectrum* SpectrumAt(int32_t i) {
  if (!TableIndexOk(i, 0, LastSpectrum, "spectrum")) return nullptr;
  TSpectrum* sp = SpectrumList[i].get();
  if (!sp) ShowMsg("No spectrum " + std::to_string(i));
  return sp;
}

TSpectrum* SpectrumOrNull(int32_t i) {
  return i >= 0 && i <= LastSpectrum ? SpectrumList[i].get() : nullptr;
}

void WorkingRange(const TSpectrum& sp, int32_t& first, int32_t& last) {
  first = MaxI(sp.WorkFirst, 1);
  last = MinI(sp.WorkLast, MaxChannels);
}

bool SpectrumMissing(int32_t i) {
  TSpectrum* sp = SpectrumAt(i);
  if (!sp) return true;
  if (sp->Present != 0) return false;
  std::string name = sp->Name;
  UpperCaseCyr(name);
  if (name == "DUMMY") return false;
  ShowMsg("No spectrum " + std::to_string(i));
  return true;
}

void CopySpectrumHeader(int32_t from, int32_t to) {
  TSpectrum* a = SpectrumAt(from);
  TSpectrum* b = SpectrumAt(to);
  if (!a || !b || a == b) return;
  b->Name = a->Name;
  b->VarianceName = a->VarianceName;
  b->FileType = a->FileType;
  b->VarianceFileType = a->VarianceFileType;
  b->FirstChannel = a->FirstChannel;
  b->LastChannel = a->LastChannel;
  b->Ymax = a->Ymax;
  b->Ymin = a->Ymin;
  b->AxisKind = a->AxisKind;
  b->Factor = a->Factor;
  b->Abs1 = a->Abs1;
  b->Abs2 = a->Abs2;
  b->SampleShape = a->SampleShape;
  b->Present = a->Present;
  b->NormalizedFlag = a->NormalizedFlag;
  b->AbsorptionCorrectedFlag = a->AbsorptionCorrectedFlag;
  b->BackgroundDegree = a->BackgroundDegree;
  for (int32_t j = 1; j <= 6; ++j) b->Background[j] = a->Background[j];
  b->SpectrumCorrection = a->SpectrumCorrection;
  b->ChanWidth = a->ChanWidth;
  b->Delay = a->Delay;
  b->Theta = a->Theta;
  b->FlightPath = a->FlightPath;
  b->W0 = a->W0;
  b->Dw0 = a->Dw0;
  b->W1 = a->W1;
  b->W2 = a->W2;
  b->Lambda = a->Lambda;
  b->Spare1 = a->Spare1;
  b->Spare2 = a->Spare2;
  b->XFirst = a->XFirst;
  b->XLast = a->XLast;
  b->XStep = a->XStep;
  b->ChannelOffset = a->ChannelOffset;
  b->ChannelsPerX = a->ChannelsPerX;
  b->DoubleSigned = a->DoubleSigned;
}

void CopySpectrum(int32_t from, int32_t to) {
  if (SpectrumMissing(from)) {
    DialogOk = 0;
    return;
  }
  TSpectrum* a = SpectrumList[from].get();
  TSpectrum* b = SpectrumAt(to);
  if (!b || a == b) return;
  const int32_t n = MinI(a->LastChannel, MaxChannels);
  for (int32_t c = 1; c <= n; ++c) {
    b->Y[c] = a->Y[c];
    b->E[c] = a->E[c];
    b->X[c] = a->X[c];
  }
  CopySpectrumHeader(from, to);
  b->WorkFirst = a->WorkFirst;
  b->WorkLast = a->WorkLast;
}

void ClearChannels(int32_t i, int32_t first, int32_t last) {
  TSpectrum* sp = SpectrumAt(i);
  if (!sp) return;
  if (first < 1 && !TableIndexOk(first, 1, MaxChannels, "channel")) first = 1;
  if (last > MaxChannels && !TableIndexOk(last, 1, MaxChannels, "channel")) last = MaxChannels;
  for (int32_t c = first; c <= last; ++c) {
    sp->Y[c] = 0;
    sp->E[c] = 1.0;
    sp->X[c] = c;
  }
  sp->Present = 1;
}

void SpectraYRange(const std::string& selection, double& ymax, double& ymin) {
  ymax = -1e14;
  ymin = 1e14;
  for (int32_t s = 0; s <= LastSpectrum && s < static_cast<int32_t>(selection.size()); ++s) {
    const TSpectrum* sp = SpectrumList[s].get();
    if (selection[s] == ' ' || !sp) continue;
    int32_t first, last;
    WorkingRange(*sp, first, last);
    for (int32_t c = first; c <= last; ++c) {
      ymax = MaxD(ymax, sp->Y[c]);
      ymin = MinD(ymin, sp->Y[c]);
    }
  }
  if (ymax < 1.0) ymax = 1.0;
  ymin = MinD(0.0, ymin);
}

void CheckSpectrumData(int32_t i) {
  DialogOk = 1;
  TSpectrum* sp = SpectrumAt(i);
  if (!sp) {
    DialogOk = 0;
    return;
  }
  if (MainMode < 3 && sp->AxisKind == AxisAny) ShowMsg("Warning, the spectrum is no TOF/angular one");
  int32_t first, last;
  WorkingRange(*sp, first, last);
  double ymax = 0, emax = 0;
  for (int32_t c = first; c <= last; ++c) {
    ymax = MaxD(ymax, std::fabs(sp->Y[c]));
    emax = MaxD(emax, std::fabs(sp->E[c]));
  }
  if (ymax * emax != 0) return;
  std::string text = std::string("Zero-valued ") + (ymax == 0 ? "counts" : "errors") +
                     " at spectrum interval " + std::to_string(i);
  if (!Ui().AskOkCancel(text, MsgKind::Warning)) DialogOk = 0;
}

double PixelToChannel(int32_t x) {
  const int32_t width = Scaled(512);
  if (width <= 0) return IntervalFirst;
  return static_cast<double>(x) * NChannels / width + IntervalFirst;
}

void PrintInstrumentHeader() {
  const TSpectrum* sp = SpectrumAt(CurrentSpectrum);
  if (!sp) return;
  LogLine("chw delay theta FPath" + FormatNumber(7, 1, sp->ChanWidth) + FormatNumber(8, 1, sp->Delay) +
          FormatNumber(7, 1, sp->Theta) + FormatNumber(8, 3, sp->FlightPath));
  LogLine("W0 W1 dw0 sens res linx" + FormatNumber(8, 2, sp->W0) + FormatNumber(8, 2, sp->W1) +
          FormatNumber(8, 2, sp->Dw0) + FormatNumber(7, 1, PeakSensitivity) +
          FormatNumber(7, 1, PeakResolution) + FormatInteger(PeakSearchSectionLength, 7));
  LogLine("dback abs1  abs2  shape" + FormatInteger(sp->BackgroundDegree, 5) + FormatNumber(9, 4, sp->Abs1) +
          FormatNumber(9, 4, sp->Abs2) + FormatInteger(sp->SampleShape, 8));
}

void ReadSpectrumSequence(TextFile& f, const std::string& name, int32_t& count, int32_t mode) {
  IoOk = f.TryReset(name) ? 1 : 0;
  if (IoOk == 0) {
    CheckIOResult(name);
    return;
  }
  int32_t n = 0;
  bool cut = false;
  while (!f.Eof()) {
    ReadNextLine(f);
    if (IsBlank(InputLine)) continue;
    if (n == SequenceCapacity) {
      cut = true;
      break;
    }
    SequenceFileNames[++n] = InputLine;
  }
  f.Close();
  if (cut)
    ShowMsg("Warning, " + name + " holds more than " + std::to_string(SequenceCapacity) +
            " names; the rest is not read");
  if (SpectraOnlySequence == 0) {
    if (IsOdd(n)) LogLine("Warning, odd number of names in " + name + "; the last one is not used");
    const int32_t half = n / 2;
    std::vector<std::string> spectra, variances;
    for (int32_t i = 1; i <= 2 * half; ++i) (IsOdd(i) ? spectra : variances).push_back(SequenceFileNames[i]);
    for (int32_t i = 1; i <= half; ++i) {
      SequenceFileNames[i] = spectra[i - 1];
      SequenceFileNames[half + i] = variances[i - 1];
    }
    n = half;
  }
  count = n;
  if (mode != 0 && mode != 1) return;
  LogLine("Spectrum sequence = " + SequenceName(1) + " ... " + SequenceName(count));
  if (mode == 1)
    LogLine("Variance sequence = " + SequenceName(count + 1) + " ... " + SequenceName(2 * count));
}

void SplitAtUnderscore(std::string& s, int32_t& prefixNumber, int32_t& number) {
  prefixNumber = 0;
  const size_t underscore = s.find('_');
  if (underscore != std::string::npos) {
    prefixNumber = DigitValue(s.substr(0, underscore));
    s.erase(0, underscore + 1);
  }
  number = DigitValue(s.substr(0, s.find('.')));
}

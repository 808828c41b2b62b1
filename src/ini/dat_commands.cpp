// Handlers of the older dat command files: spectra, weights, fit controls, normalisation,
// absorption and peak models. Keys stand without titles; most value lines are fixed counts of
// numbers, several read only to stay in step. Values are checked before the tables change.
#include <algorithm>
#include <array>
#include <cmath>
#include <string>
#include "core/dialog_state.h"
#include "core/messages.h"
#include "core/model_tables.h"
#include "core/neighbour_services.h"
#include "core/spectrum.h"
#include "crystal/info_windows.h"
#include "ini/ini_commands.h"
#include "ini/ini_reader.h"
#include "ini/ini_spectrum_support.h"
#include "spectrum/absorption.h"
#include "spectrum/normalization.h"

namespace {

constexpr int32_t IntegerLimit = 1000000000;

bool SpectrumNumber(double x, int32_t& s) {
  if (IniInteger(x, 0, SpectrumNumberLast, s) && SpectrumList[s]) return true;
  IniError("Wrong spectrum number (0..4)");
  return false;
}

int32_t UserSpectra() { return std::clamp(SpectrumCount, 1, SpectrumNumberLast); }

}  // namespace

void ReadDatSpectrumInfo() {
  std::array<double, 6> v{};
  const int32_t got = DatReadNumbers(5, v);
  std::string name;
  ReadIniFileName(name);
  if (!FileThere(name)) return IniError("No file " + name);
  KnownCommand = 1;
  int32_t a1 = 0, a2 = 0, type = 0, isp = 0;
  if (got < 5) return IniError("Too few data in IS");
  if (!IniInteger(v[1], 1, MaxChannels, a1) || !IniInteger(v[2], 1, MaxChannels, a2) || a2 <= a1)
    return IniError("Wrong interval");
  if (!IniInteger(v[3], 1, 4, type)) return IniError("Wrong file type in IS");
  if (!SpectrumNumber(v[5], isp)) return;
  TSpectrum& sp = *SpectrumList[isp];
  const HeaderSnapshot before(sp);
  CurrentSpectrum = isp;
  sp.FileType = type, sp.Name = name;
  sp.FirstChannel = a1, sp.LastChannel = a2, sp.WorkFirst = a1, sp.WorkLast = a2;
  sp.AxisKind = AxisTimeOfFlight;
  VarianceMode = 0;
  if (!ReadInto(sp, before, 1)) return;
  IntervalFirst = a1, IntervalLast = a2, NChannels = a2 - a1 + 1;
  uint8_t ok = 0;
  CheckSpectrumInfo(isp, ok);
  if (ok == 1) GraphXAxis = 0;
  else IniReportLocation();
  sp.Present = 1, sp.NormalizedFlag = 0, sp.AbsorptionCorrectedFlag = 0;
  SpectrumCount = std::max(SpectrumCount, CurrentSpectrum);
}

void ReadDatVarianceInfo() {
  std::array<double, 4> v{};
  const int32_t got = DatReadNumbers(3, v);
  std::string name;
  ReadIniFileName(name);
  if (!FileThere(name)) return IniError("No file " + name);
  KnownCommand = 1;
  int32_t type = 0, isp = 0;
  if (got < 3 || !IniInteger(v[1], 1, 4, type)) return IniError("Wrong data in ISV");
  if (!SpectrumNumber(v[3], isp)) return;
  TSpectrum& sp = *SpectrumList[isp];
  const HeaderSnapshot before(sp);
  CurrentSpectrum = isp;
  VarianceMode = 1;
  sp.VarianceFileType = type, sp.VarianceName = name;
  if (ReadInto(sp, before, 2)) ErrorsKnown = 1;
}

void ReadDatNumbers(int32_t n) {
  KnownCommand = 1;
  DatReadNumbers(n);
}

void SkipDatLine() {
  KnownCommand = 1;
  std::string line;
  IniReadText(line);
}

void ReadDatFitControls() {
  KnownCommand = 1;
  std::array<double, 14> v{};
  int32_t skip = 0, iterations = 0, print = 0;
  if (DatReadNumbers(13, v) < 13 || !IniInteger(v[1], 1, IntegerLimit, skip) ||
      !IniInteger(v[2], 0, IntegerLimit, iterations) || !IniInteger(v[10], 0, IntegerLimit, print))
    return IniError("Wrong fit controls");
  TFitControls& c = DefaultFitControls;
  c.Skip = skip, c.GNIter = iterations, c.EpsReq = v[3], c.FunctionalLimit = v[4];
  c.Step = v[8], c.Damp = v[9], c.PrintInterval = print, c.Delta = v[12], c.Beta = v[13];
  FitControlsGiven = 1;
}

void ReadDatIAC() {
  KnownCommand = 1;
  for (int32_t s = 1; s <= UserSpectra(); ++s) {
    std::array<double, 4> v{};
    if (DatReadNumbers(3, v) < 3) return IniError("Too few data in IAC");
    if (!SpectrumList[s]) continue;
    SpectrumList[s]->ChanWidth = v[1], SpectrumList[s]->Theta = v[2];
  }
}

void ReadDatSSIB() {
  KnownCommand = 1;
  for (int32_t s = 1; s <= UserSpectra(); ++s) {
    std::array<double, 3> v{};
    int32_t a11 = 0, a22 = 0;
    if (DatReadNumbers(2, v) < 2 || !IniInteger(v[1], 1, MaxChannels, a11) || !IniInteger(v[2], 1, MaxChannels, a22))
      return IniError("Wrong interval");
    if (!SpectrumList[s]) continue;
    SpectrumList[s]->WorkFirst = a11, SpectrumList[s]->WorkLast = a22;
  }
}

void ReadDatFS() {
  KnownCommand = 1;
  IniReadLine();
  int32_t a11 = 0, a22 = 0;
  if (!IniInteger(NumberBuffer[1], 0, MaxChannels, a11) || !IniInteger(NumberBuffer[2], 0, MaxChannels, a22))
    return IniError("Wrong interval");
  TSpectrum* sp = SpectrumList[std::clamp(CurrentSpectrum, 0, SpectrumNumberLast)].get();
  if (!sp) return;
  if (a11 != 0) sp->WorkFirst = a11;
  if (a22 != 0) sp->WorkLast = a22;
}

void ReadDatSpectrumCount() {
  KnownCommand = 1;
  std::array<double, 2> v{};
  int32_t n = 0;
  if (DatReadNumbers(1, v) < 1 || !IniInteger(v[1], 1, SpectrumNumberLast, n))
    return IniError("Wrong number of spectra (1..4)");
  SpectrumCount = n;
}

void ReadDatZeroWeights() {
  KnownCommand = 1;
  std::array<double, 4> v{};
  int32_t i1 = 0, i2 = 0, isp = 0;
  if (DatReadNumbers(3, v) < 3 || !IniInteger(v[1], 1, MaxChannels, i1) || !IniInteger(v[2], 1, MaxChannels, i2) ||
      i2 < i1)
    return IniError("Wrong data in ZW");
  if (!SpectrumNumber(v[3], isp)) return;
  CurrentSpectrum = isp;
  std::fill(SpectrumList[isp]->E + i1, SpectrumList[isp]->E + i2 + 1, 0.0);
}

void ReadDatWidthMode() {
  KnownCommand = 1;
  std::array<double, 2> v{};
  int32_t w = 0;
  if (DatReadNumbers(1, v) < 1 || !IniInteger(v[1], -1, 3, w)) return IniError("Wrong Width Mode");
  WidthMode = w;
}

void ReadDatIESN() {
  KnownCommand = 1;
  std::array<double, 12> v{};
  const int32_t got = DatReadNumbers(11, v);
  std::string skipped;
  IniReadText(skipped);
  int32_t isp = 0;
  if (got < 11) return IniError("Too few data in IESN");
  if (!SpectrumNumber(v[3], isp)) return;
  CurrentSpectrum = isp;
  NormalizeSpectrumCommand(0);
}

void ReadDatNormalization() {
  KnownCommand = 1;
  std::array<double, 11> v{};
  int32_t isp = 0;
  if (DatReadNumbers(10, v) < 10) return IniError("Too few data in NFS");
  if (!SpectrumNumber(v[7], isp) || !SpectrumList[0]) return;
  SpectrumList[0]->ChanWidth = v[5], SpectrumList[0]->Delay = v[6];
  CurrentSpectrum = isp;
  TSpectrum& sp = *SpectrumList[isp];
  sp.ChanWidth = v[8], sp.Delay = v[9];
  int32_t I1 = sp.FirstChannel, I2 = sp.LastChannel;
  NormalizeByEffectiveSpectrum(isp, I1, I2);
  sp.ComputeYRange();
}

void ReadDatAbsorption() {
  KnownCommand = 1;
  std::array<double, 7> v{};
  int32_t isp = 0, shape = 0;
  if (DatReadNumbers(6, v) < 6 || !IniInteger(v[1], 0, 2, shape)) return IniError("Wrong data in AC");
  if (!SpectrumNumber(v[6], isp)) return;
  CurrentSpectrum = isp;
  TSpectrum& sp = *SpectrumList[isp];
  sp.SampleShape = shape, sp.FlightPath = v[2], sp.Abs1 = v[3], sp.Abs2 = v[4];
  CorrectForAbsorption(isp, sp.FirstChannel, sp.LastChannel);
}

void ReadDatPeakModel(int32_t doubleSigned) {
  KnownCommand = 1;
  std::array<double, 10> v{};
  if (DatReadNumbers(9, v) < 9) return IniError("Wrong data for real model");
  FormRealModel(doubleSigned, v[2], v[3], v[4], v[6], v[5], v[9]);
}

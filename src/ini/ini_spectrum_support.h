// Helpers the spectrum commands of both dialects share.
#pragma once
#include <cstdint>
#include <filesystem>
#include <string>
#include "core/messages.h"
#include "core/model_tables.h"
#include "core/neighbour_services.h"
#include "core/toolbox.h"
#include "core/settings_file.h"
#include "core/spectrum.h"
#include "ini/ini_reader.h"

constexpr int32_t SpectrumNumberLast = 4;  // SpectrumList holds 0..4

// A regular file: the spectrum readers abandon the operation on a path they cannot open.
inline bool FileThere(const std::string& name) {
  std::error_code ec;
  return std::filesystem::is_regular_file(name, ec);
}

// The header fields a spectrum read may change, and the globals around it: put back when the
// read fails.
struct HeaderSnapshot {
  explicit HeaderSnapshot(const TSpectrum& s)
      : name(s.Name), varianceName(s.VarianceName), fileType(s.FileType), varianceType(s.VarianceFileType),
        first(s.FirstChannel), last(s.LastChannel), workFirst(s.WorkFirst), workLast(s.WorkLast),
        axisKind(s.AxisKind), factor(s.Factor), flightPath(s.FlightPath), delay(s.Delay),
        chanWidth(s.ChanWidth), theta(s.Theta), current(CurrentSpectrum), intervalFirst(IntervalFirst),
        intervalLast(IntervalLast), channels(NChannels), varianceMode(VarianceMode) {}
  void Restore(TSpectrum& s) const {
    s.Name = name, s.VarianceName = varianceName, s.FileType = fileType, s.VarianceFileType = varianceType;
    s.FirstChannel = first, s.LastChannel = last, s.WorkFirst = workFirst, s.WorkLast = workLast;
    s.AxisKind = axisKind, s.Factor = factor, s.FlightPath = flightPath, s.Delay = delay;
    s.ChanWidth = chanWidth, s.Theta = theta;
    CurrentSpectrum = current, IntervalFirst = intervalFirst, IntervalLast = intervalLast;
    NChannels = channels, VarianceMode = varianceMode;
  }
  std::string name, varianceName;
  int32_t fileType, varianceType, first, last, workFirst, workLast, axisKind;
  double factor, flightPath, delay, chanWidth, theta;
  int32_t current, intervalFirst, intervalLast, channels, varianceMode;
};

// A spectrum file read through the spectrum input; false (with the header put back) when it failed.
inline bool ReadInto(TSpectrum& sp, const HeaderSnapshot& before, int32_t mode) {
  IoOk = 0;
  ReadSpectrumFile(mode);
  if (IoOk == 1) return true;
  before.Restore(sp);
  IniError("++++ Error, wrong reading");
  return false;
}

// The real peak model index from spectrum channels first..last (IRM, IDRM and the dat FPM, FDSPM):
// the numbers as read, checked here.
void FormRealModel(int32_t doubleSigned, double first, double last, double background, double index, double smoother,
                   double spectrum);

#include "spectrum/dspacing_file.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>
#include "core/dialog_state.h"
#include "core/dspacing_list.h"
#include "core/messages.h"
#include "core/model_tables.h"
#include "core/number_parse.h"
#include "core/spectra_utilities.h"
#include "core/spectrum.h"
#include "core/text_file.h"
#include "core/toolbox.h"
#include "core/ui_backend.h"

namespace {

const char* const DataKinds[4] = {"d-spacings", "thetas", "2-thetas", "channels"};

// Time of flight per angstrom of d and microsecond of channel width: 505.556 sin(theta) L.
double TofFactor(const TSpectrum& sp) { return TofConstant * std::sin(sp.Theta / DSpacingRadToDeg) * sp.FlightPath; }

// False, after the message, when the calibration cannot turn abscissae of type into d.
bool Convertible(const TSpectrum& sp, int32_t type) {
  if ((type == 1 || type == 2) && !(sp.Lambda != 0 && std::isfinite(sp.Lambda))) {
    ShowMsg("Error, wavelength 0: angles can not be turned into d-spacings");
    return false;
  }
  if (type == 3 && !(TofFactor(sp) != 0 && std::isfinite(TofFactor(sp)))) {
    ShowMsg("Error, flight path or Bragg angle 0: channels can not be turned into d-spacings");
    return false;
  }
  return true;
}

// True when every field of the line (blanks or commas between) reads whole as a number.
bool OnlyNumbers(std::string_view line) {
  bool any = false;
  size_t at = 0;
  while (at < line.size()) {
    const size_t end = std::min(line.find_first_of(" \t,;\r", at), line.size());
    if (end > at) {
      double x = 0;
      uint8_t ok = 0;
      StrToFloatRobust(line.substr(at, end - at), x, ok);
      if (ok != 1) return false;
      any = true;
    }
    at = end + 1;
  }
  return any;
}

// A Miller index read as a real, rounded (halves to even) inside the int range.
int32_t MillerIndex(double v) { return RoundHalfEven(std::clamp(v, -1.0e9, 1.0e9)); }

}  // namespace

double AbscissaToD(const TSpectrum& sp, int32_t type, double x, double d) {
  if (type == 1 || type == 2) {
    // Observed two-theta x (or 2x for a theta) plus the zero shift is the true two-theta.
    const double theta = type == 1 ? (x + 0.5 * sp.Delay) / DSpacingRadToDeg : (x + sp.Delay) / (2 * DSpacingRadToDeg);
    return theta != 0 ? 0.5 * sp.Lambda / std::sin(theta) : d;
  }
  if (type == 3) {
    const double c = TofFactor(sp);
    return c != 0 ? (x + sp.Delay) * sp.ChanWidth / c : d;
  }
  return d;
}

void ReadDSpacingFile(const std::string& name) {
  DialogOk = 1;
  const int32_t type = std::clamp(DSpacingDataType, 0, 3);
  TextFile f;
  f.Reset(name);
  ReadNextLine(f);
  int32_t n = 0;
  ParseNumbers(n, InputLine);
  const bool oneColumn = n == 1;
  if (oneColumn) {
    if (!Ui().AskYesNo(std::string("Only one column data. Treated as ") + DataKinds[type], MsgKind::Warning)) {
      DialogOk = 0;
      return;
    }
    f.Close();
    f.Reset(name);  // the first line is an entry too
  } else if (n > 1 && OnlyNumbers(InputLine)) {
    f.Close();
    f.Reset(name);  // a first line of numbers is data, not a heading
  }
  TSpectrum* sp = nullptr;
  if (oneColumn || type != 0) {
    sp = SpectrumAt(CurrentSpectrum);
    if (!sp || !Convertible(*sp, type)) {
      DialogOk = 0;
      return;
    }
  }

  // Read into a copy: the list and its count change only when the whole file was read. The
  // calculated values, phase and assigned flag of each entry stay as they were.
  std::vector<TDSpacingRecord> list(DSpacingList, DSpacingList + MaxDSpacings + 1);
  int32_t count = 0, lines = 0;
  while (!f.Eof()) {
    ReadNextLine(f);
    std::fill(NumberBuffer + 1, NumberBuffer + 7, 0.0);
    ParseNumbers(n, InputLine);
    if (n == 0 || ++lines > MaxDSpacings) continue;  // further lines are only counted
    double d = NumberBuffer[1], error = NumberBuffer[2], x = NumberBuffer[3];
    if (oneColumn) {
      error = DefaultDError;
      if (type != 0) x = d;
    }
    if (d == 0 && x == 0) {
      ShowMsg("Wrong data (ds,chans or angles");
      DialogOk = 0;
      return;
    }
    if (oneColumn && type == 0) x = sp->DToChannel(d);
    if (type != 0) d = AbscissaToD(*sp, type, x, d);
    // A value near the largest number overflows the calibration: refused as wrong data.
    if (!std::isfinite(d) || !std::isfinite(x)) {
      ShowMsg("Wrong data (ds,chans or angles");
      DialogOk = 0;
      return;
    }
    TDSpacingRecord& r = list[static_cast<size_t>(++count)];
    r.d = d, r.Error = error, r.X = x;
    r.h = MillerIndex(NumberBuffer[4]), r.k = MillerIndex(NumberBuffer[5]), r.l = MillerIndex(NumberBuffer[6]);
  }
  f.Close();
  if (count == 0) {
    ShowMsg("Error, no d-spacings in " + name);
    DialogOk = 0;
    return;
  }
  CappedCount(lines, MaxDSpacings, "d-spacings");
  std::copy(list.begin(), list.end(), DSpacingList);
  DSpacingCount = count;
  IndexingMode = 0;
}

// Files the program writes, read back by the program's own readers: every value comes back as
// the writer promises. FUZZ_MODE 0: a spectrum through "Output of the current spectrum" (kinds
// 1 to 4, fixed and exponent form, counts or errors) and the spectrum input; 1: a phase through
// the INI writer and reader; 2: a GPH file written and read.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>
#include "core/abandon.h"
#include "core/canvas.h"
#include "core/dialog_state.h"
#include "core/fit_engine.h"
#include "core/model_tables.h"
#include "core/neighbour_services.h"
#include "core/number_buffer.h"
#include "core/number_parse.h"
#include "core/spectra_utilities.h"
#include "core/spectrum.h"
#include "core/text_file.h"
#include "ini/ini_reader.h"
#include "ini/ini_writer.h"
#include "mainwin/gph_file.h"
#include "mainwin/main_window.h"
#include "fuzz_support.h"

VKEST_FUZZ_SET_UP()

namespace {
double Finite(FuzzBytes& in) {
  const double x = in.Real();
  return std::isfinite(x) ? x : 0.0;
}
std::string Show(double x) {
  std::ostringstream s;
  s.precision(17);
  s << x;
  return s.str();
}

// ---- spectrum output kinds 1 to 4 ----

void SpectrumRoundTrip(FuzzBytes& in) {
  const uint8_t options = in.Byte();
  const int32_t kind = 1 + options % 4;
  const bool exponent = (options >> 2) & 1, useX = (options >> 3) & 1;
  VarianceMode = kind < 4 ? (options >> 4) & 1 : 0;
  const int32_t decimals = in.Byte() % 16;  // the dialog's range
  TSpectrum& sp = FreshSpectrum(1);
  sp.AxisKind = (options >> 5) % 3;
  OutputMicroseconds = (options >> 7) & 1;
  sp.ChanWidth = Finite(in), sp.Delay = Finite(in);
  const int32_t first = 1 + in.Word() % MaxChannels;
  const int32_t last = std::min(MaxChannels, first + in.Byte() % 64);
  for (int32_t c = first; c <= last; ++c) sp.Y[c] = in.Real(), sp.E[c] = in.Real(), sp.X[c] = in.Real();
  // The binary kinds' guard of the output dialog: rounded values within the word (unsigned for 2 bytes).
  if (kind <= 2)
    for (int32_t c = first; c <= last; ++c) {
      const double v = std::nearbyint(VarianceMode == 1 ? sp.E[c] * sp.E[c] : sp.Y[c]);
      if (!(kind == 1 ? v >= 0 && v <= 32767 : std::fabs(v) <= 2147483647.0)) return;
    }
  const std::string path = FuzzDir() + "/out.spc";
  std::remove(path.c_str());
  // What was written, before the read overwrites the spectrum.
  std::vector<double> y(sp.Y + first, sp.Y + last + 1), e(sp.E + first, sp.E + last + 1), x(last - first + 1);
  const bool microseconds = sp.AxisKind == 0 && OutputMicroseconds;
  for (int32_t c = first; c <= last; ++c)
    x[c - first] = microseconds ? (c + sp.Delay) * sp.ChanWidth : useX ? sp.X[c] : c;
  bool finite = true;
  for (int32_t i = 0; i <= last - first; ++i)
    finite = finite && std::isfinite(x[i]) && std::isfinite(y[i]) && std::isfinite(e[i]) &&
             std::isfinite(e[i] * e[i]);
  switch (kind) {
    case 1: sp.WriteBinarySpectrum2(first, last, path); break;
    case 2: sp.WriteBinarySpectrum(first, last, path); break;
    case 3: sp.WriteAsciiSpectrum(first, last, path, decimals, exponent); break;
    default: sp.WriteAsciiTriples(first, last, path, decimals, exponent, useX);
  }
  if (IoOk != 1) {
    // Only a value that is not a number is refused (E^2 counts only where it is written).
    FuzzCheck(!finite, "the writer refused finite values");
    VarianceMode = 0;
    return;
  }
  // Read as the spectrum input does, into the same channels.
  TSpectrum& back = FreshSpectrum(1);
  back.FirstChannel = first, back.LastChannel = last, back.WorkFirst = first, back.WorkLast = last;
  back.Name = back.VarianceName = path;
  (VarianceMode == 1 ? back.VarianceFileType : back.FileType) = kind;
  StartingChannelOne = 1, AsciiColumnX = 1, AsciiColumnY = 2, AsciiColumnE = 3;
  AsciiErrorType = VarianceMode == 1 ? 1 : 0;
  ReadSpectrumFile(VarianceMode == 1 ? 2 : 1);
  // X Y E lines whose X repeats, goes back or leaves a grid are refused, and a grid's gaps are
  // filled with channels: only X on one constant step must come back channel for channel.
  bool evenX = kind != 4 || x.size() < 2 || x[1] != x[0];
  if (kind == 4)
    for (size_t i = 1; i + 1 < x.size(); ++i)
      evenX = evenX && std::fabs((x[i + 1] - x[i]) - (x[1] - x[0])) <= 1e-9 * std::fabs(x[1] - x[0]);
  if (!evenX && (IoOk != 1 || back.LastChannel != last)) {
    VarianceMode = 0;
    return;
  }
  FuzzCheck(IoOk == 1, "the written spectrum was not read");
  const std::string what = "kind " + std::to_string(kind) + (exponent ? " exponent" : " fixed") + " decimals " +
                           std::to_string(decimals) + (VarianceMode == 1 ? " errors" : " counts");
  for (int32_t c = first; c <= last; ++c) {
    const size_t i = static_cast<size_t>(c - first);
    const std::string at = what + ", channel " + std::to_string(c) + ": ";
    if (kind <= 2) {
      // A binary file starts at channel 1; its first channel is never used.
      const int32_t k = c - first + 1;
      if (k == 1) continue;
      const double v = std::nearbyint(VarianceMode == 1 ? e[i] * e[i] : y[i]);
      if (VarianceMode == 0) FuzzCheck(back.Y[k] == v, at + "count " + Show(y[i]) + " came back " + Show(back.Y[k]));
      FuzzCheck(back.E[k] == std::sqrt(std::max(v, 1.0)), at + "error of " + Show(v));
    } else if (kind == 3) {
      if (VarianceMode == 0) {
        FuzzCheck(back.Y[c] == y[i], at + "count " + Show(y[i]) + " came back " + Show(back.Y[c]));
      } else {
        // The variance comes back exactly; its root within an ulp or two of the error.
        const double want = std::sqrt(e[i] * e[i]);
        FuzzCheck(std::fabs(back.E[c] - want) <= 4e-16 * want, at + "error " + Show(e[i]) + " came back " + Show(back.E[c]));
      }
    } else {
      FuzzCheck(back.Y[c] == y[i], at + "count " + Show(y[i]) + " came back " + Show(back.Y[c]));
      // An error of 0 or below is no error: the point comes back at weight 0.
      const double error = e[i] > 0 ? e[i] : 0.0;
      FuzzCheck(back.E[c] == error, at + "error " + Show(e[i]) + " came back " + Show(back.E[c]));
      // The abscissa to 1e-6 of its step (the nearest other abscissa), exactly without a finite one.
      double step = 0;
      for (size_t j : {i - 1, i + 1})
        if (j < x.size() && x[j] != x[i] && (step == 0 || std::fabs(x[j] - x[i]) < step)) step = std::fabs(x[j] - x[i]);
      const double tolerance = std::isfinite(step) ? 1.000001e-6 * step : 0.0;
      FuzzCheck(std::fabs(back.X[c] - x[i]) <= tolerance, at + "abscissa " + Show(x[i]) + " came back " + Show(back.X[c]));
    }
  }
  VarianceMode = 0;
}

// ---- a phase through the INI writer and reader ----

// An atom name as the atom editor keeps it: printable, without blanks, upper case; "*" and "."
// often, as the names that once broke the file.
std::string AtomName(FuzzBytes& in) {
  static const char extra[] = "*.*..*/-+1";
  std::string name;
  for (int32_t n = 1 + in.Byte() % 6; n > 0; --n) {
    const uint8_t b = in.Byte();
    name += b < 96 ? static_cast<char>('A' + b % 26) : b < 192 ? extra[b % 10] : static_cast<char>(33 + b % 94);
  }
  for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return name;
}

void IniRoundTrip(FuzzBytes& in) {
  const int32_t group = 1 + in.Byte() % 230;
  const int32_t atoms = 1 + in.Byte() % 4;
  const bool hexagonal = group >= 143 && group <= 194;
  std::string text = ".......Set the Mode\n0\n.......Set Number of Phases\n1\n.......Info about the Lattice Parameters\n";
  // Cell edges of 2 to 12 angstrom: the written file forms the reflections, whose number a tiny
  // cell would raise past any timeout.
  double cell[3];
  for (double& a : cell) a = 2 + std::fmod(std::fabs(Finite(in)), 10.0);
  text += Show(cell[0]) + " " + Show(cell[1]) + " " + Show(cell[2]) + (hexagonal ? " 90 90 120 " : " 90 90 90 ") +
          std::to_string(group) + " 1 " + std::to_string(atoms) + " 0 0\n";
  text += ".......Info about the Atomic Parameters\n";
  for (int32_t i = 1; i <= atoms; ++i) {
    text += IniNameLine(AtomName(in)) + "\n";
    for (int32_t k = 0; k < 11; ++k) text += Show(Finite(in)) + (k == 10 ? "\n" : " ");
  }
  text += ".......STOP\n";
  FitParameters->NPar = 0;
  // The reflections are formed over the last channels only (the largest d): few of them.
  CurrentSpectrum = 1;
  TSpectrum& sp = FreshSpectrum(1);
  sp.FirstChannel = sp.WorkFirst = 16000, sp.LastChannel = sp.WorkLast = 16384;
  auto read = [](const std::string& t) {
    try {
      ReadIniText(t, 1, true, false, FuzzDir() + "/f.ini");
    } catch (const OperationAbandoned&) {
    }
  };
  read(text);
  if (PhaseCount != 1 || PhaseTable[1].AtomCount != atoms) return;  // a set-up the reader refused
  const LATTICE before = PhaseTable[1];
  std::vector<ATOM> atomsBefore;
  for (int32_t i = 1; i <= atoms; ++i) atomsBefore.push_back(AtomTable[i][1]);

  IniTextFile.RewriteToMemory("w.ini");
  WriteIniSections();
  const std::string written = IniTextFile.Contents();
  IniTextFile.Close();
  read(written);
  FuzzCheck(PhaseCount == 1 && PhaseTable[1].AtomCount == atoms, "phase and atom count");
  FuzzCheck(PhaseTable[1].SpaceGroup == before.SpaceGroup, "space group");
  // Every value to 1e-6 of its magnitude, as the (w:d) fields promise.
  auto same = [](double a, double b) { return std::fabs(a - b) <= 1e-6 * std::fabs(a) * (1 + 1e-12); };
  for (int32_t k = 0; k < 6; ++k)
    FuzzCheck(same(before.Cell[k], PhaseTable[1].Cell[k]), "cell " + std::to_string(k) + " " + Show(before.Cell[k]) +
                                                              " came back " + Show(PhaseTable[1].Cell[k]));
  for (int32_t i = 1; i <= atoms; ++i) {
    const ATOM &a = atomsBefore[static_cast<size_t>(i - 1)], &b = AtomTable[i][1];
    const std::string at = "atom " + std::to_string(i) + " \"" + a.Name + "\": ";
    FuzzCheck(a.Name == b.Name, at + "name came back \"" + b.Name + "\"");
    const double va[11] = {a.Occupation, a.X, a.Y, a.Z, a.T11, a.T12, a.T13, a.T22, a.T23, a.T33, a.ScatteringLength};
    const double vb[11] = {b.Occupation, b.X, b.Y, b.Z, b.T11, b.T12, b.T13, b.T22, b.T23, b.T33, b.ScatteringLength};
    for (int32_t k = 0; k < 11; ++k)
      FuzzCheck(same(va[k], vb[k]), at + "value " + std::to_string(k) + " " + Show(va[k]) + " came back " + Show(vb[k]));
  }
}

// ---- a GPH file written and read ----

void GphRoundTrip(FuzzBytes& in, FuzzUi& ui) {
  TSpectrum& sp = FreshSpectrum(1);
  CurrentSpectrum = 1;
  sp.AxisKind = in.Byte() % 3;
  GraphXAxis = in.Byte() % 2;
  sp.Delay = Finite(in), sp.Lambda = Finite(in);
  const int32_t first = 1 + in.Word() % MaxChannels;
  const int32_t last = std::min(MaxChannels, first + in.Byte() % 32);
  sp.FirstChannel = sp.WorkFirst = first, sp.LastChannel = sp.WorkLast = last;
  for (int32_t c = first; c <= last; ++c) sp.Y[c] = Finite(in), sp.E[c] = Finite(in), sp.X[c] = Finite(in);
  MainMode = 0, PhaseCount = 0, FitPending[0] = 1;  // no fit: the fit and background columns are 0
  const std::string path = FuzzDir() + "/m.gph";
  GphFile(Form1.Image2.canvas, 0, path);
  std::string slots = "     ";
  slots[1] = 'x';
  double ymax = 1, ymin = 0;
  SpectraYRange(slots, ymax, ymin);
  const double scale = 1000.0 / std::max(ymax, std::fabs(ymin));

  // Each row: the columns apart, and exp, fit and difference to their decimals.
  std::ifstream file(path);
  std::string line;
  int32_t rows = 0;
  bool large = false;
  for (int32_t c = first; std::getline(file, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '*') continue;
    FuzzCheck(c <= last, "more rows than channels");
    std::istringstream split(line);
    std::vector<double> v;
    for (std::string t; split >> t;) {
      double x = 0;
      uint8_t ok = 0;
      StrToFloatRobust(t, x, ok);
      FuzzCheck(ok == 1, "row " + std::to_string(c) + ": item \"" + t + "\" is no number: " + line);
      v.push_back(x);
    }
    FuzzCheck(v.size() == 7, "row " + std::to_string(c) + " holds " + std::to_string(v.size()) + " items: " + line);
    const double exp = sp.Y[c] * scale, diff = exp / std::max(0.01, sp.E[c] * scale);
    FuzzCheck(std::fabs(v[1] - exp) <= 0.5 + 1e-9 * std::fabs(exp), "exp of row " + std::to_string(c) + ": " + line);
    FuzzCheck(v[2] == 0, "fit of row " + std::to_string(c));
    FuzzCheck(std::fabs(v[3] - diff) <= 0.05 + 1e-9 * std::fabs(diff), "difference of row " + std::to_string(c) + ": " + line);
    if (rows > 0 && v[1] > 1000) large = true;
    ++rows, ++c;
  }
  FuzzCheck(rows == last - first + 1, "rows written");
  file.close();
  ui.ChooseFile(path);
  GphFile(Form1.Image2.canvas, 1);
  FuzzCheck(DialogOk == 1 && NChannels == rows, "the gph file read back");
  // The reader's own judgement: a normal file unless a count above the first row exceeds 1000.
  const auto shown = ui.Messages();
  const bool abnormal = std::any_of(shown.begin(), shown.end(), [](const std::string& m) {
    return m.find("is not a normal gph.file") != std::string::npos;
  });
  FuzzCheck(abnormal == large, "the gph file judged abnormal");
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzSession session;
  FuzzBytes in(data, size);
  if (FUZZ_MODE == 0)
    SpectrumRoundTrip(in);
  else if (FUZZ_MODE == 1)
    IniRoundTrip(in);
  else
    GphRoundTrip(in, session.ui);
  return 0;
}

// The files the program writes at the end of a session and reads at the next start, written
// from values taken from the input and read back (FUZZ_MODE 1: the settings "vkest.fn", 0: the
// spectrum defaults "vkest.def"). Every value comes back: as it was, as the reader clamps it, or
// to the decimals of its field; a value the reader cannot take (not finite, or 0 in the defaults)
// leaves what was there.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include "core/settings_file.h"
#include "core/small_routines.h"
#include "core/spectrum.h"
#include "core/text_file.h"
#include "fuzz_support.h"

VKEST_FUZZ_SET_UP()

namespace {
int32_t Int(FuzzBytes& in) { return static_cast<int32_t>(in.Word() | uint32_t{in.Word()} << 16); }

// The program's number reader holds magnitudes to about 1e-300..1e300.
bool Readable(double x) { return std::fabs(x) >= 1e-290 && std::fabs(x) <= 1e290; }

// x written with `decimals` in a field (or in the exponent form) and read back as got.
bool CameBack(double x, double got, int32_t decimals) {
  return std::fabs(got - x) <= 0.5000001 * std::pow(10.0, -decimals) + 1e-12 * std::fabs(x);
}

void SettingsRoundTrip(FuzzBytes& in) {
  const double scale = in.Real();
  const int32_t font = Int(in);
  const uint8_t rus = in.Byte();
  int32_t colors[6];
  for (int32_t& c : colors) c = Int(in);
  const std::string name(reinterpret_cast<const char*>(in.Rest()), in.RestSize());
  IniFileName = name, ScreenScale = scale, FontSize = font, RusHelp = rus;
  int32_t* const targets[6] = {&BackgroundColor, &TextBackgroundColor, &FitDataColor, &ExpDataColor, &FormColor, &Form1BackColor};
  for (int i = 0; i < 6; ++i) *targets[i] = colors[i];
  const std::string path = FuzzDir() + "/" + SettingsFileName;
  WriteSettingsFile(path);
  // Other values before the read, to see that each comes from the file.
  IniFileName = "before", ScreenScale = 1.0, FontSize = 10, RusHelp = 7;
  for (int32_t* t : targets) *t = 0x123456;
  ReadSettingsFile(path);
  FuzzCheck(IniFileName == (FitsOneLine(name) ? name : std::string()), "the INI file name");
  if (std::isfinite(scale))
    FuzzCheck(std::fabs(ScreenScale - std::clamp(scale, 0.64, 1.56)) <= 5.0001e-5, "the screen scale");
  else
    FuzzCheck(ScreenScale == 1.0, "a screen scale not a number");
  FuzzCheck(FontSize == RoundHalfEven(std::clamp(static_cast<double>(font), 8.0, 14.0)), "the font size");
  FuzzCheck(RusHelp == (rus == 1 ? 1 : 0), "the help language");
  for (int i = 0; i < 6; ++i) FuzzCheck(*targets[i] == colors[i], "colour " + std::to_string(i));
}

void DefaultsRoundTrip(FuzzBytes& in) {
  double TSpectrum::*const fields[6] = {&TSpectrum::ChanWidth, &TSpectrum::Delay, &TSpectrum::Theta,
                                        &TSpectrum::FlightPath, &TSpectrum::W0, &TSpectrum::Lambda};
  const int32_t decimals[6] = {3, 3, 3, 5, 2, 5};
  TSpectrum& sp = *SpectrumList[1];
  double values[6];
  for (int i = 0; i < 6; ++i) sp.*fields[i] = values[i] = in.Real();
  const std::string dir(reinterpret_cast<const char*>(in.Rest()), in.RestSize());
  SpectrumDir = dir;
  const std::string path = FuzzDir() + "/" + SpectrumDefaultsFileName;
  ReadSpectrumInfo(path, sp, 1);
  SpectrumDir = "before";
  // The defaults of a new spectrum, made once; spectrum 2 takes them before each read (the reader
  // touches only these six).
  static const TSpectrum fresh("DUMMY");
  TSpectrum& back = *SpectrumList[2];
  for (int i = 0; i < 6; ++i) back.*fields[i] = fresh.*fields[i];
  ReadSpectrumInfo(path, back, 0);
  FuzzCheck(SpectrumDir == (FitsOneLine(dir) ? dir : std::string()), "the spectrum folder");
  for (int i = 0; i < 6; ++i) {
    const double x = values[i], got = back.*fields[i];
    if (!std::isfinite(x) || x == 0.0)
      FuzzCheck(got == fresh.*fields[i], "value " + std::to_string(i) + " not kept");
    else if (Readable(x))
      FuzzCheck(CameBack(x, got, decimals[i]), "value " + std::to_string(i) + " " + std::to_string(x) + " came back as " +
                                                   std::to_string(got));
    else
      FuzzCheckFinite(got, "value " + std::to_string(i));
  }
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzSession session;
  FuzzBytes in(data, size);
  if (FUZZ_MODE == 1)
    SettingsRoundTrip(in);
  else
    DefaultsRoundTrip(in);
  FuzzCheck(session.ui.transcript.empty(), "a settings file showed something");
  return 0;
}

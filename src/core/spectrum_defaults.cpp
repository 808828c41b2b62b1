// The spectrum defaults "vkest.def": the folder of the last spectrum file, then one line per
// calibration value, the value first and its label after it. Kept between runs.
#include <array>
#include "core/number_format.h"
#include "core/number_parse.h"
#include "core/spectrum.h"
#include "core/text_file.h"
#include "core/toolbox.h"

namespace {
struct DefaultsLine {
  double TSpectrum::*field;
  int32_t decimals;
  const char* label;
};
constexpr std::array<DefaultsLine, 6> DefaultsLines = {{
    {&TSpectrum::ChanWidth, 3, "   chan.width"},
    {&TSpectrum::Delay, 3, "   delay"},
    {&TSpectrum::Theta, 3, "   theta"},
    {&TSpectrum::FlightPath, 5, "   FlightPath"},
    {&TSpectrum::W0, 2, "   width0"},
    {&TSpectrum::Lambda, 5, "   lambda"},
}};
}  // namespace

void ReadSpectrumInfo(const std::string& fileName, TSpectrum& spectrum, int32_t mode) {
  TextFile f;
  if (mode == 1) {
    // Written at the end of a session; a file that cannot be created is simply not written.
    if (!f.TryRewrite(fileName)) {
      (void)IoResult();
      return;
    }
    f.WriteLine(SpectrumDir);
    for (const DefaultsLine& l : DefaultsLines) f.WriteLine(FormatNumber(12, l.decimals, spectrum.*l.field) + l.label);
    f.Close();
    return;
  }
  if (!f.TryReset(fileName)) {
    (void)IoResult();
    return;
  }
  // Line 1: the folder (the first line that is not a comment).
  bool found = false;
  while (!f.Eof() && !found) {
    std::string line = f.ReadLine();
    if (!line.empty() && line.front() == '*') continue;
    SpectrumDir = line;
    found = true;
  }
  if (!found) return;
  for (const DefaultsLine& l : DefaultsLines) {
    if (f.Eof()) break;
    ReadNextLine(f);
    int32_t n = 0;
    ParseNumbers(n, InputLine);
    // A 0 (or a line without a number) keeps the value the spectrum has.
    if (n >= 1 && NumberBuffer[1] != 0.0) spectrum.*l.field = NumberBuffer[1];
  }
  f.Close();
}

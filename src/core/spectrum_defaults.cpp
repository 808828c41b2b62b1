// The spectrum defaults "vkest.def": the folder of the last spectrum file, then one line per
// calibration value, the value first and its label after it. Kept between runs. The reader takes
// each value by its label; a line without a label is taken by its place among the lines that are
// not comments, as files without labels were read.
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
  const char* label;  // written after three blanks
};
constexpr std::array<DefaultsLine, 6> DefaultsLines = {{
    {&TSpectrum::ChanWidth, 3, "chan.width"},
    {&TSpectrum::Delay, 3, "delay"},
    {&TSpectrum::Theta, 3, "theta"},
    {&TSpectrum::FlightPath, 5, "FlightPath"},
    {&TSpectrum::W0, 2, "width0"},
    {&TSpectrum::Lambda, 5, "lambda"},
}};

// The entry whose label comes first in the line (-1: none) and where the label begins.
int32_t FindLabel(const std::string& line, size_t& at) {
  int32_t found = -1;
  at = std::string::npos;
  for (size_t i = 0; i < DefaultsLines.size(); ++i) {
    const size_t p = line.find(DefaultsLines[i].label);
    if (p < at) at = p, found = static_cast<int32_t>(i);
  }
  return found;
}
}  // namespace

void ReadSpectrumInfo(const std::string& fileName, TSpectrum& spectrum, int32_t mode) {
  TextFile f;
  if (mode == 1) {
    // Written at the end of a session; a file that cannot be created is simply not written.
    if (!f.TryRewrite(fileName)) {
      (void)IoResult();
      return;
    }
    WriteHeadLine(f, SpectrumDir);
    // A value too wide for its field, or too small for its decimals, takes the exponent form.
    for (const DefaultsLine& l : DefaultsLines)
      f.WriteLine(FormatNumberReadBack(12, l.decimals, spectrum.*l.field) + "   " + l.label);
    f.Close();
    return;
  }
  if (!f.TryReset(fileName)) {
    (void)IoResult();
    return;
  }
  if (!ReadHeadLine(f, SpectrumDir)) return;
  int32_t place = 0;
  while (!f.Eof()) {
    const std::string line = f.ReadLine();
    size_t at = 0;
    int32_t i = FindLabel(line, at);
    const bool comment = !line.empty() && line.front() == '*';
    if (!comment) ++place;
    if (i < 0) {
      if (comment || place > static_cast<int32_t>(DefaultsLines.size())) continue;
      i = place - 1, at = line.size();
    }
    int32_t n = 0;
    ParseNumbers(n, std::string_view(line).substr(0, at));
    // A 0 (or a line without a number) keeps the value the spectrum has.
    if (n >= 1 && NumberBuffer[1] != 0.0) spectrum.*DefaultsLines[static_cast<size_t>(i)].field = NumberBuffer[1];
  }
  f.Close();
}

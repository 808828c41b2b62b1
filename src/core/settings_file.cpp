#include "core/settings_file.h"
#include <algorithm>
#include <climits>
#include <cmath>
#include <string_view>
#include "core/abandon.h"
#include "core/number_format.h"
#include "core/number_parse.h"
#include "core/small_routines.h"
#include "core/text_file.h"
#include "core/toolbox.h"

std::string IniFileName;
double ScreenScale = 1.0;
int32_t FontSize = 10;
uint8_t RusHelp = 1;
int32_t BackgroundColor = 0;
int32_t TextBackgroundColor = 128;
int32_t FitDataColor = 0xFFFF00;
int32_t ExpDataColor = 0xFF00FF;
int32_t FormColor = 0x8000;
int32_t Form1BackColor = 128;

const std::array<NamedColor, 13> ColorTable = {{
    {"Black", 0x000000}, {"Maroon", 0x000080}, {"Green", 0x008000}, {"Navy", 0x800000},
    {"Teal", 0x808000},  {"Gray", 0x808080},   {"Red", 0x0000FF},   {"Lime", 0x00FF00},
    {"Yellow", 0x00FFFF}, {"Blue", 0xFF0000},  {"Fuchsia", 0xFF00FF}, {"Aqua", 0xFFFF00},
    {"White", 0xFFFFFF},
}};

namespace {

enum class Clamp { None, ScreenScale, FontSize, RusHelp };

struct SettingLine {
  const char* readKey;
  const char* writtenKey;
  Clamp clamp;
};

// Lines 2 to 10 as written; read by key, in any order.
constexpr SettingLine SettingLines[9] = {
    {"*scrsize", " *scrsize", Clamp::ScreenScale},
    {"*fntsize", " *fntsize", Clamp::FontSize},
    {"*RusHelp", " *RusHelp", Clamp::RusHelp},
    {"*Backg", " *Background color", Clamp::None},
    {"*Text", " *Text background color", Clamp::None},
    {"*Fit.data", " *Fit.data color", Clamp::None},
    {"*Exp.data", " *Exp.data color", Clamp::None},
    {"*Form", " *Form color", Clamp::None},
    {"*Color", " *Color for Form1 back", Clamp::None},
};

int32_t* const ColorSettings[6] = {&BackgroundColor, &TextBackgroundColor, &FitDataColor,
                                   &ExpDataColor,    &FormColor,           &Form1BackColor};

// The number before the key. False for a value that is not a number (or is missing): such a
// line keeps the setting as it is. The settings file is no dialog: DialogOk stays as it is.
bool ReadValue(std::string_view text, double& x) {
  if (IsBlank(text)) return false;
  uint8_t ok = 0;
  StrToFloatRobust(text, x, ok);
  return ok != 0;
}

// A colour of the file; one beyond 32 bits is not a colour and is not taken.
bool RoundColor(double x, int32_t& color) {
  double r = std::nearbyint(x);
  if (r < INT32_MIN || r > INT32_MAX) return false;
  color = static_cast<int32_t>(r);
  return true;
}

void StoreSetting(int index, double x) {
  switch (SettingLines[index].clamp) {
    case Clamp::ScreenScale:
      ScreenScale = std::clamp(x, 0.64, 1.56);
      break;
    case Clamp::FontSize:
      FontSize = RoundHalfEven(std::clamp(x, 8.0, 14.0));
      break;
    case Clamp::RusHelp:
      RusHelp = std::clamp(x, 0.0, 1.0) == 1.0 ? 1 : 0;
      break;
    case Clamp::None:
      RoundColor(x, *ColorSettings[index - 3]);
      break;
  }
}

// The setting whose key comes first in the line (-1: none) and where the key begins.
int FindSettingKey(const std::string& line, size_t& at) {
  int found = -1;
  at = std::string::npos;
  for (int i = 0; i < 9; ++i) {
    const size_t p = line.find(SettingLines[i].readKey);
    if (p < at) at = p, found = i;
  }
  return found;
}

}  // namespace

namespace {
// The settings file's lines; only = -1 takes every setting and the INI file name, otherwise
// the setting of that index alone.
void ReadSettings(const std::string& path, int only) {
  TextFile f;
  if (!f.TryReset(path)) {
    (void)IoResult();  // a missing settings file is no error
    return;
  }
  // The INI file name; a file without it gives one blank, which counts as no name.
  std::string iniName;
  if (!ReadHeadLine(f, iniName)) iniName = " ";
  if (only < 0) IniFileName = iniName;
  // Every further line holding a key sets that setting from the number before the key; a line
  // beginning with "*" holds no number and is a comment.
  while (!f.Eof()) {
    const std::string line = f.ReadLine();
    size_t at = 0;
    const int i = FindSettingKey(line, at);
    double x = 0;
    if (i >= 0 && (only < 0 || i == only) && ReadValue(std::string_view(line).substr(0, at), x)) StoreSetting(i, x);
  }
  f.Close();
}
}  // namespace

void ReadSettingsFile(const std::string& path) { ReadSettings(path, -1); }

void ReadHelpLanguage(const std::string& path) { ReadSettings(path, 2); }

void WriteSettingsFile(const std::string& path) {
  TextFile f;
  if (!f.TryRewrite(path)) {
    (void)IoResult();
    return;
  }
  try {
    WriteHeadLine(f, IniFileName);
    // Every value in a form the reader takes back: a field too narrow widens.
    f.WriteLine(FormatNumberReadBack(10, 4, ScreenScale) + SettingLines[0].writtenKey);
    f.WriteLine(FormatFixed(10, 0, FontSize) + SettingLines[1].writtenKey);
    f.WriteLine(FormatFixed(10, 0, RusHelp == 1 ? 1 : 0) + SettingLines[2].writtenKey);
    for (int i = 0; i < 6; ++i)
      f.WriteLine(FormatFixed(10, 0, *ColorSettings[i]) + SettingLines[3 + i].writtenKey);
    f.Close();
  } catch (const OperationAbandoned&) {
    // Losing the settings is not worth a message at the end of a session.
  }
}

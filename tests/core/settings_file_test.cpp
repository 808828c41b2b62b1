// The settings file "vkest.fn": exact layout, round trip, clamps and damaged files.
#include <gtest/gtest.h>
#include <array>
#include <cmath>
#include <filesystem>
#include <fstream>
#include "core/dialog_state.h"
#include "core/settings_file.h"
#include "core/text_file.h"
#include "support/golden_files.h"
#include "support/scripted_fixture.h"
#include "support/temp_path.h"

namespace {

int32_t* const Colors[6] = {&BackgroundColor, &TextBackgroundColor, &FitDataColor,
                            &ExpDataColor,    &FormColor,           &Form1BackColor};

// The INI name and the settings of lines 2 to 10, in the order of the file.
struct Settings {
  std::string ini;
  std::array<double, 9> v;
  bool operator==(const Settings&) const = default;
};

Settings Current() {
  Settings s{IniFileName, {ScreenScale, 1.0 * FontSize, 1.0 * RusHelp}};
  for (int i = 0; i < 6; ++i) s.v[3 + i] = *Colors[i];
  return s;
}

void Apply(const Settings& s) {
  IniFileName = s.ini;
  ScreenScale = s.v[0];
  FontSize = static_cast<int32_t>(s.v[1]);
  RusHelp = static_cast<uint8_t>(s.v[2]);
  for (int i = 0; i < 6; ++i) *Colors[i] = static_cast<int32_t>(s.v[3 + i]);
}

// The defaults after the start dialog, and the file written from them.
const Settings StartUp = {"/data/run/test.ini", {1.25, 12, 1, 0, 128, 0xFFFF00, 0xFF00FF, 0x8000, 128}};
const std::vector<std::string> StartUpLines = {
    "/data/run/test.ini",         "    1.2500 *scrsize",        "        12 *fntsize",
    "         1 *RusHelp",        "         0 *Background color", "       128 *Text background color",
    "  16776960 *Fit.data color", "  16711935 *Exp.data color",  "     32768 *Form color",
    "       128 *Color for Form1 back"};
// Values unlike those, to see what a read leaves alone.
const Settings Marked = {"/old/marked.ini", {0.9, 11, 0, 11, 12, 13, 14, 15, 16}};

std::string Join(const std::vector<std::string>& lines) {
  std::string s;
  for (const auto& l : lines) s += l + "\r\n";
  return s;
}

class SettingsFile : public ScriptedTest {
protected:
  ~SettingsFile() override {
    std::filesystem::remove(path_);
    Apply(saved_);
    DialogOk = savedDialogOk_;
  }
  // The settings after reading a file of these bytes over Marked.
  Settings ReadFrom(const std::string& bytes) {
    std::ofstream(path_, std::ios::binary) << bytes;
    Apply(Marked);
    ReadSettingsFile(path_);
    return Current();
  }

  const std::string path_ = TestTempPath("settings.fn").string();
  const Settings saved_ = Current();  // restored after the test, with DialogOk
  const int32_t savedDialogOk_ = DialogOk;
};

}  // namespace

// Written in fixed columns with CR LF, byte for byte, and read back whole.
TEST_F(SettingsFile, WriteThenReadReproducesEverySetting) {
  std::vector<std::string> rusHelp0 = StartUpLines;
  rusHelp0[0] = "";
  rusHelp0[3] = "         0 *RusHelp";
  const std::pair<Settings, std::string> cases[] = {
      {StartUp, Join(StartUpLines)},
      {{"", {1.25, 12, 0, 0, 128, 0xFFFF00, 0xFF00FF, 0x8000, 128}}, Join(rusHelp0)},
      {{"/a b/c.dat", {0.64, 8, 0, 0xFFFFFF, 0x800000, 0x00FF00, 0x808080, 0x0000FF, 0x808000}}, ""},
      {{"/w/q.ini", {0.8125, 14, 1, -1, 123456789, 7, 0, 1, 2}}, ""},
  };
  for (const auto& [s, file] : cases) {
    Apply(s);
    WriteSettingsFile(path_);
    const std::string bytes = ReadWholeFile(path_);
    if (!file.empty()) { EXPECT_EQ(bytes, file); }
    EXPECT_EQ(ReadFrom(bytes), s) << s.ini;
  }
}

// One line of the start-up file replaced: that setting clamped and rounded half to even, or
// kept when the value is no number (not taken as 1.001); DialogOk untouched either way.
TEST_F(SettingsFile, EachValueIsClampedRoundedOrKept) {
  const double Kept = std::nan("");
  struct Case { int line; std::string text; double want; };
  const Case cases[] = {
      {1, "2.0 *scrsize", 1.56},   {1, "0.5 *scrsize", 0.64},   {1, "1.1 *scrsize", 1.1},
      {1, "1,5 *scrsize", 1.5},    {1, "abc *scrsize", Kept},   {2, "20 *fntsize", 14},
      {2, "9.5 *fntsize", 10},     {2, "10.5 *fntsize", 10},    {2, "11.5 *fntsize", 12},
      {2, "-4 *fntsize", 8},       {2, "12a3 *fntsize", Kept},  {3, "0.99 *RusHelp", 0},
      {3, "1 *RusHelp", 1},        {3, "5 *RusHelp", 1},        {3, "-2 *RusHelp", 0},
      {3, "yes *RusHelp", Kept},   {4, "254.5 *Backg", 254},    {4, "255.5 *Backg", 256},
      {4, "-77 *Background color", -77}, {4, "black *Background color", Kept},
      {4, "    *Background color", Kept}, {9, " *Color for Form1 back", Kept},
      // Beyond 32 bits a value is no colour.
      {4, "1e12 *Backg", Kept},    {4, "-1e12 *Backg", Kept},
      // A NUL byte in a value is no number; after the key it does not matter.
      {1, std::string("  1.\0" "2500 *scrsize", 18), Kept},
      {2, std::string("        13 *fntsize\0\0", 21), 13},
  };
  for (int32_t dialogOk : {1, 0}) {
    DialogOk = dialogOk;
    for (const Case& c : cases) {
      std::vector<std::string> lines = StartUpLines;
      lines[c.line] = c.text;
      const Settings got = ReadFrom(Join(lines));
      for (int i = 0; i < 9; ++i) {
        double want = i + 1 != c.line ? StartUp.v[i] : std::isnan(c.want) ? Marked.v[i] : c.want;
        EXPECT_DOUBLE_EQ(got.v[i], want) << c.text << ", line " << i + 2;
      }
      EXPECT_EQ(DialogOk, dialogOk) << c.text;
    }
  }
}

TEST_F(SettingsFile, ShortMissingMisplacedAndMixedFiles) {
  // LF and CR LF mixed, comment lines skipped, a Ctrl-Z ends the file after the RusHelp line.
  EXPECT_EQ(ReadFrom("*settings\n/x/y.ini\r\n*scale\r\n   1.0000 *scrsize\n 13 *fntsize\r\n"
                     "         1 *RusHelp\n\x1A         5 *Background color\r\n"),
            (Settings{"/x/y.ini", {1.0, 13, 1, 11, 12, 13, 14, 15, 16}}));
  // Only the first line keeps all nine settings; an empty file delivers the end-of-file blank
  // as the INI name.
  Settings want = Marked;
  want.ini = "/only/first.ini";
  EXPECT_EQ(ReadFrom("/only/first.ini\r\n"), want);
  want.ini = " ";
  EXPECT_EQ(ReadFrom(""), want);

  // No file, or a folder: nothing changes and no file result is left behind.
  std::filesystem::remove(path_);
  for (const std::string& p : {path_, std::filesystem::temp_directory_path().string()}) {
    Apply(Marked);
    ReadSettingsFile(p);
    EXPECT_EQ(Current(), Marked);
    EXPECT_EQ(IoResult(), 0);
  }

  // Read by key: swapped lines keep their settings, an unknown line or a line of asterisks
  // before a key shifts nothing after it.
  std::vector<std::string> lines = StartUpLines;
  std::swap(lines[4], lines[5]);
  lines.insert(lines.begin() + 2, "********** *fntsize");
  lines.insert(lines.begin() + 6, "an unknown line");
  const Settings got = ReadFrom(Join(lines));
  EXPECT_EQ(got.ini, StartUp.ini);
  EXPECT_EQ(got.v, StartUp.v);
  EXPECT_TRUE(ui.Messages().empty());
}

// Values the fixed fields cannot hold widen, and names beginning with "*" or a blank survive
// the comment skipping of the first line (each was lost, shifting every later key).
TEST_F(SettingsFile, WideValuesAndMarkedNamesComeBack) {
  const Settings cases[] = {
      {"*star.ini", {1.25, 12, 1, INT32_MIN, INT32_MAX, -1000000000, 0, -1, 1}},
      {" lead blank.ini", {0.64, 8, 0, 1, 2, 3, 4, 5, 6}},
      {"  ", {1.56, 14, 1, INT32_MIN + 1, 0, 0, 0, 0, INT32_MIN}},
  };
  for (const Settings& s : cases) {
    Apply(s);
    WriteSettingsFile(path_);
    const std::string bytes = ReadWholeFile(path_);
    EXPECT_EQ(bytes.find("**"), std::string::npos) << "no asterisk field: " << bytes;
    EXPECT_EQ(ReadFrom(bytes), s) << bytes;
  }
  // A scale beyond any fixed field comes back clamped, not kept from before.
  for (const auto& [scale, want] : {std::pair{1e300, 1.56}, {1e-9, 0.64}, {-3e12, 0.64}}) {
    Apply(StartUp);
    ScreenScale = scale;
    WriteSettingsFile(path_);
    EXPECT_EQ(ReadFrom(ReadWholeFile(path_)).v[0], want) << scale;
  }
  // A name that would break the line structure is not written; the settings still come back.
  Settings broken = StartUp;
  broken.ini = "a\r\n5 *fntsize\x1a";
  Apply(broken);
  WriteSettingsFile(path_);
  broken.ini = "";
  EXPECT_EQ(ReadFrom(ReadWholeFile(path_)), broken);
}

TEST_F(SettingsFile, FailedWriteIsSilent) {
  Apply(StartUp);
  WriteSettingsFile("/nonexistent-folder-vkest/vkest.fn");
  EXPECT_EQ(IoResult(), 0);
  if (std::filesystem::exists("/dev/full")) WriteSettingsFile("/dev/full");  // the write itself fails
  EXPECT_EQ(IoResult(), 0);
  EXPECT_EQ(Current(), StartUp);
  EXPECT_TRUE(ui.Messages().empty());
}
